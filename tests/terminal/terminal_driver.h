// Driving programs from the terminal tests: shell commands, their quoting,
// and waiting for what they show.
#pragma once

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>

namespace terminal_test {

// The output of the shell `command`; its wait status in *status.
inline std::string run(const std::string& command, int* status = nullptr) {
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    char buffer[4096];
    for (size_t got; pipe != nullptr && (got = fread(buffer, 1, sizeof buffer, pipe)) > 0;) output.append(buffer, got);
    const int result = pipe == nullptr ? -1 : pclose(pipe);
    if (status != nullptr) *status = result;
    return output;
}

// `text` as one shell word.
inline std::string quote(const std::string& text) {
    std::string out = "'";
    for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// Polls until `done` holds; false after the wait limit.
inline bool poll(const std::function<bool()>& done) {
    for (const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);;
         std::this_thread::sleep_for(std::chrono::milliseconds(20))) {
        if (done()) return true;
        if (std::chrono::steady_clock::now() > deadline) return false;
    }
}

}  // namespace terminal_test
