// The program in a tmux session of a fixed size, for the terminal tests: keys, mouse reports and
// signals sent to it as a user sends them, and the screen read back with capture-pane.
#pragma once

#include "tests/terminal/terminal_cells.h"
#include "tests/terminal/terminal_driver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

namespace terminal_test {

// The screen as capture-pane shows it: text, and cells with their colours.
struct Screen {
    std::string raw, text;
    std::vector<std::string> rows;
    std::vector<std::vector<Cell>> cells;
    int symbols = 0;  // picture symbols

    // Row and cell column of `needle`.
    std::optional<std::pair<size_t, size_t>> find(const std::string& needle) const {
        for (size_t r = 0; r < rows.size(); ++r)
            if (const size_t at = rows[r].find(needle); at != std::string::npos)
                return std::make_pair(
                    r, static_cast<size_t>(std::count_if(rows[r].begin(), rows[r].begin() + static_cast<long>(at),
                                                         [](char c) { return (c & 0xC0) != 0x80; })));
        return std::nullopt;
    }
    bool contains(const std::string& needle) const { return text.find(needle) != std::string::npos; }
};

inline Screen read_screen(const std::string& raw) {
    Screen s;
    s.raw = raw;
    std::istringstream lines(raw);
    for (std::string line; std::getline(lines, line);) {
        SgrState state;  // capture-pane starts every row afresh
        s.cells.push_back(parse_row(line, state));
        std::string& row = s.rows.emplace_back();
        for (size_t i = 0; i < line.size(); ++i)
            line[i] == '\033' ? void(i = std::min(line.find('m', i), line.size())) : void(row += line[i]);
        s.text += row + "\n";
        for (const Cell& cell : s.cells.back()) s.symbols += is_picture_symbol(cell.symbol);
    }
    return s;
}

// One program in one tmux server, with its socket, configuration and exit status in a temporary
// directory of its own. The program runs with TERM=xterm-256color, COLORTERM=truecolor, a UTF-8
// locale and pictures drawn in symbols, then with `env` (arguments of env), under `wrap`.
class Session {
public:
    Session(int cols, int rows, const std::string& args, const std::string& env, bool ignore_hangup,
            const std::string& wrap = "") {
        std::string pattern = (std::filesystem::temp_directory_path() / "marivue-tmux-XXXXXX").string();
        dir_ = mkdtemp(pattern.data()) != nullptr ? pattern : std::string();
        // Terminals attached to it are taken to show 24-bit colours, as users with such terminals set
        // tmux up; its cells, which capture-pane reads, keep the colours the program wrote.
        std::ofstream(dir_ / "conf") << "set -g remain-on-exit on\nset -g status off\n"
                                        "set -as terminal-features ',*:RGB'\n";
        // Sanitizer reports end the program with statuses of their own; the
        // shell stays so that the terminal's state can be read afterwards.
        const std::string program =
            std::string(ignore_hangup ? "trap '' HUP; " : "") +
            "ulimit -c 0; export ASAN_OPTIONS=\"${ASAN_OPTIONS:+$ASAN_OPTIONS:}exitcode=86\" "
            "UBSAN_OPTIONS=\"${UBSAN_OPTIONS:+$UBSAN_OPTIONS:}exitcode=87\"; env "
            "TERM=xterm-256color COLORTERM=truecolor LC_ALL=C.UTF-8 MARIVUE_TTY_GRAPHICS=symbols env " +
            env + " " + wrap + " " + quote(MARIVUE_BINARY) + " " + args + "; echo $? > " +
            quote((dir_ / "status").string()) + (ignore_hangup ? "" : "; exec sleep 600");
        tmux("new-session -d -s viewer -x " + std::to_string(cols) + " -y " + std::to_string(rows) + " " +
             quote("sh -c " + quote(program)));
    }
    ~Session() {
        tmux("kill-server");
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }

    std::string tmux(const std::string& arguments) const {
        return run("tmux -u -S " + quote((dir_ / "socket").string()) + " -f " + quote((dir_ / "conf").string()) + " " +
                   arguments + " 2>/dev/null");
    }
    // Trailing spaces kept: reverse video reaches the right edge.
    Screen capture() const { return read_screen(tmux("capture-pane -p -e -N -t viewer")); }
    bool wait_for(const std::function<bool(const Screen&)>& condition, Screen* last) const {
        return poll([&] { return condition(*last = capture()); });
    }
    // The program's exit status as its shell reports it; -1 while it runs on.
    int exit_status() const {
        int status = -1;
        poll([&] { return static_cast<bool>(std::ifstream(dir_ / "status") >> status); });
        return status;
    }
    // Whether the terminal is as it was: normal screen, cursor shown, no mouse reports.
    bool terminal_restored() const {
        return tmux(
                   "display-message -p -t viewer '#{alternate_on}#{cursor_flag} "
                   "#{mouse_any_flag}#{mouse_button_flag}#{mouse_standard_flag}'") == "01 000\n";
    }
    // A mouse report as the terminal sends it with SGR reporting: `button` (0 the left one, 64 and 65
    // the wheel up and down, plus 16 with Ctrl) pressed, and released unless a wheel, over `row`, `col`;
    // `times` of them in one write, as a terminal sends a quick double click, so that it is one
    // however busy the machine.
    void mouse(int button, size_t row, size_t col, int times = 1) const {
        const std::string report =
            "\033[<" + std::to_string(button) + ";" + std::to_string(col + 1) + ";" + std::to_string(row + 1);
        std::string reports;
        for (int i = 0; i < times; i++) reports += report + "M" + (button >= 64 ? "" : report + "m");
        tmux("send-keys -t viewer -l " + quote(reports));
    }
    // Sends `step` to the program: tmux key names; "type TEXT"; "click TEXT" and "double-click TEXT"
    // (on the text's first cell), "wheel up|down [TEXT]" (over the text, else cell 5, 5); "kill SIGNAL";
    // "tmux COMMAND". False when the text is not on `screen`.
    bool send(const std::string& step, const Screen& screen) const {
        const std::string verb = step.substr(0, step.find(' ')),
                          rest = step.substr(verb.size() + (verb.size() < step.size()));
        if (verb == "click" || verb == "double-click" || verb == "wheel") {
            const bool wheel = verb == "wheel", down = rest.rfind("down", 0) == 0;
            const std::string text =
                wheel ? rest.substr(rest.find(' ') == std::string::npos ? rest.size() : rest.find(' ') + 1) : rest;
            const auto at = text.empty() ? std::optional(std::make_pair(size_t{5}, size_t{5})) : screen.find(text);
            if (!at) return false;
            mouse(!wheel ? 0 : down ? 65 : 64, at->first, at->second + 1, verb == "double-click" ? 2 : 1);
        } else if (verb == "kill") {  // to the program, the shell's child
            const pid_t pid = std::atoi(
                run("cat /proc/" + std::to_string(std::stoi(tmux("display-message -p -t viewer '#{pane_pid}'"))) +
                    "/task/*/children")
                    .c_str());
            return pid > 0 && kill(pid, std::stoi(rest)) == 0;
        } else if (verb == "type") {
            tmux("send-keys -t viewer -l " + quote(rest));
        } else if (verb == "tmux") {
            tmux(rest);
        } else if (!verb.empty()) {
            tmux("send-keys -t viewer " + step);
        }
        return true;
    }

private:
    std::filesystem::path dir_;
};

}  // namespace terminal_test
