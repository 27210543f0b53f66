// A virtual X server with a window manager for the desktop tests, and what
// they drive it with: shell commands (xdotool, xprop), children that end with
// the test, and waiting without depending on how fast anything is.
#pragma once

#include <QApplication>
#include <QTest>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace x_session {

// The programs the tests need and do not find.
inline std::string missing;

inline std::string shell(const std::string& command) {
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    char buffer[512];
    for (size_t got; pipe != nullptr && (got = fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, got);
    if (pipe != nullptr) pclose(pipe);
    return out;
}

// Polls for up to a minute, the toolkit's events going on meanwhile: the
// machine may be busy, so nothing here depends on how fast anything is.
inline bool eventually(const std::function<bool()>& done) { return QTest::qWaitFor(done, 60000); }

// Starts `command` as a child that ends with this process, its standard
// error to `errors`.
inline pid_t spawn(const std::string& command, const std::string& errors = "/dev/null") {
    const pid_t child = fork();
    if (child != 0) return child;
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (std::freopen(errors.c_str(), "w", stderr) != nullptr)
        execl("/bin/sh", "sh", "-c", ("exec " + command).c_str(), static_cast<char*>(nullptr));
    _exit(127);
}

// Xvfb on a display it finds free (its number arrives on a pipe), then
// openbox; true once the window manager runs.
inline bool start() {
    for (const char* program : {"Xvfb", "openbox", "xdotool", "xprop", "xwininfo"})
        if (shell(std::string("command -v ") + program).empty()) missing += std::string(" ") + program;
    int number[2];
    if (!missing.empty() || pipe(number) != 0) return false;
    spawn("Xvfb -displayfd " + std::to_string(number[1]) + " -screen 0 1280x1024x24 -nolisten tcp");
    close(number[1]);
    char display[16] = ":";
    if (read(number[0], display + 1, sizeof display - 2) <= 0) return false;
    setenv("DISPLAY", std::to_string(std::atoi(display + 1)).insert(0, 1, ':').c_str(), 1);
    // On a loaded machine the window manager now and then fails to connect
    // to a server that has just said it is ready: one that ended is started
    // again.
    pid_t manager = spawn("openbox");
    for (int i = 0; i < 600; ++i, usleep(100000)) {
        if (shell("xprop -root _NET_SUPPORTING_WM_CHECK 2>&1").find("window id") != std::string::npos) return true;
        if (waitpid(manager, nullptr, WNOHANG) == manager) manager = spawn("openbox");
    }
    return false;
}

// The first visible window of process `program`, once it has one.
inline std::string window_of(pid_t program) {
    std::string window;
    eventually(
        [&] { return !(window = shell("xdotool search --onlyvisible --pid " + std::to_string(program))).empty(); });
    return window.substr(0, window.find('\n'));
}

// The exit status of `program` once it ends (killed after a minute).
inline int status_of(pid_t program) {
    int status = -1;
    if (!eventually([&] { return waitpid(program, &status, WNOHANG) == program; }))
        kill(program, SIGKILL), waitpid(program, &status, 0);
    return status;
}

// The main function of a test program under X: starts the server unless
// the tests are only listed, and runs them on the toolkit's X platform (or
// its off-screen one, where they skip).
inline int run_tests(int argc, char** argv, const char* program) {
    ::testing::InitGoogleTest(&argc, argv);
    const bool listing = ::testing::GTEST_FLAG(list_tests), under_x = !listing && start();
    if (!listing && !under_x && missing.empty()) {
        std::fprintf(stderr, "%s: Xvfb with openbox did not start\n", program);
        return 1;
    }
    setenv("QT_QPA_PLATFORM", under_x ? "xcb" : "offscreen", 1);
    QApplication application(argc, argv);
    return RUN_ALL_TESTS();
}

}  // namespace x_session
