// The desktop front end under a real X server and window manager (Xvfb and
// openbox, started here), driven with xdotool as a user drives it: the
// viewer in this process for what only its widgets tell, the program
// itself for how it ends.
#include "app/viewer.h"
#include "platform/desktop/desktop_platform.h"

#include <QApplication>
#include <QLineEdit>
#include <QScreen>
#include <QTest>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

std::string missing;  // the programs the tests need and do not find
pid_t server = 0, manager = 0;

// Output of a shell command.
std::string shell(const std::string& command) {
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    char buffer[512];
    for (size_t got; pipe != nullptr && (got = fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, got);
    if (pipe != nullptr) pclose(pipe);
    return out;
}

// Polls `done` (processing the toolkit's events) for up to a minute: the
// machine may be busy, so no test depends on how fast anything is.
template <typename Done>
bool eventually(Done done) {
    return QTest::qWaitFor(done, 60000);
}

// Xvfb on a display number of its own choosing, then openbox; true once the
// window manager runs.
bool start_x_session() {
    for (const char* program : {"Xvfb", "openbox", "xdotool", "xprop"})
        if (shell(std::string("command -v ") + program).empty()) missing += std::string(" ") + program;
    if (!missing.empty()) return false;
    int number[2];
    if (pipe(number) != 0) return false;
    if ((server = fork()) == 0) {
        prctl(PR_SET_PDEATHSIG, SIGTERM);  // gone with the test, however it ends
        const std::string fd = std::to_string(number[1]);
        execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1280x1024x24", "-nolisten", "tcp",
               static_cast<char*>(nullptr));
        _exit(127);
    }
    close(number[1]);
    char text[16] = {};
    pollfd ready{number[0], POLLIN, 0};
    if (poll(&ready, 1, 60000) != 1 || read(number[0], text, sizeof text - 1) <= 0) return false;
    char display[24];
    std::snprintf(display, sizeof display, ":%d", std::atoi(text));
    setenv("DISPLAY", display, 1);
    if ((manager = fork()) == 0) {
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        freopen("/dev/null", "w", stderr);
        execlp("openbox", "openbox", static_cast<char*>(nullptr));
        _exit(127);
    }
    for (int i = 0; i < 600; ++i, usleep(100000))
        if (shell("xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null").find("window id") != std::string::npos)
            return true;
    return false;
}

QWidget* widget(DesktopPlatform& p, WindowHandle d, int32_t id) { return p.control_widget(d, id); }

TEST(DesktopUnderX, TheWindowManagerResizesAndFullScreensItAndEscapeLeavesTheSearchBox) {
    if (!missing.empty()) GTEST_SKIP() << "needs" << missing << " (tools/setup.sh installs them)";
    DesktopPlatform desktop;
    bool ended = false;
    desktop.on_dialog_shown = [&ended](DesktopPlatform& p, WindowHandle d) {
        QWidget* window = p.top_window(d);
        ASSERT_TRUE(QTest::qWaitForWindowActive(window, 60000));
        const std::string id = std::to_string(window->winId());
        const QRectF first = p.picture_rect(d);
        const QRect caption = widget(p, d, control_caption_box)->geometry();
        const QRect details = widget(p, d, control_details_box)->geometry();
        shell("xdotool windowsize " + id + " 1100 900");
        ASSERT_TRUE(eventually([&] { return window->size() == QSize(1100, 900); }));
        const QRectF grown = p.picture_rect(d);
        EXPECT_NEAR(grown.width() / grown.height(), first.width() / first.height(), 0.01);
        EXPECT_GT(grown.height(), first.height());
        EXPECT_GT(widget(p, d, control_caption_box)->width(), caption.width());
        EXPECT_GT(widget(p, d, control_details_box)->height(), details.height());
        for (int32_t c : {control_back, control_forward, control_search_box, control_details_box, control_caption_box})
            EXPECT_TRUE(window->rect().contains(widget(p, d, c)->geometry())) << c;
        // F11 and a double click on the picture, each on and off.
        const QPoint middle = p.dialog_widget(d)->mapTo(window, p.picture_rect(d).center().toPoint());
        for (const std::string& toggle :
             {std::string("key F11"), "mousemove --window " + id + " " + std::to_string(middle.x()) + " " +
                                          std::to_string(middle.y()) + " click --repeat 2 1"}) {
            shell("xdotool " + toggle);
            EXPECT_TRUE(eventually([&] { return window->geometry() == window->screen()->geometry(); })) << toggle;
            shell("xdotool " + toggle);
            EXPECT_TRUE(eventually([&] { return window->size() == QSize(1100, 900); })) << toggle;
        }
        auto* search = static_cast<QLineEdit*>(widget(p, d, control_search_box));
        shell("xdotool key slash type reef");
        ASSERT_TRUE(eventually([&] { return search->text() == QStringLiteral("reef"); }));
        shell("xdotool key Escape");
        EXPECT_TRUE(eventually([&] { return !search->hasFocus() && search->text() == QStringLiteral("reef"); }));
        shell("xdotool key Escape");
        EXPECT_TRUE(ended = eventually([&] { return p.send_command(d, control_forward, button_clicked) == 0; }));
    };
    program_entry(desktop, ModuleHandle{1}, null_module, u"", 1);
    EXPECT_TRUE(ended);
    EXPECT_EQ(desktop.exit_status(), 0);
}

TEST(DesktopUnderX, TheProgramEndsWithStatusZeroAndNothingOnStandardError) {
    if (!missing.empty()) GTEST_SKIP() << "needs" << missing << " (tools/setup.sh installs them)";
    // Escape while searching only leaves the box: the window still goes
    // full screen after it, and then Escape ends the program.
    for (const std::string keys : {"Escape", "q", "ctrl+q", "alt+F4", "slash r Escape F11"}) {
        const std::string errors = ::testing::TempDir() + "marivue-x-errors.txt";
        const pid_t program = fork();
        if (program == 0) {
            unsetenv("XDG_RUNTIME_DIR");
            unsetenv("QT_QPA_PLATFORM");
            freopen(errors.c_str(), "w", stderr);
            execl(MARIVUE_BINARY, MARIVUE_BINARY, static_cast<char*>(nullptr));
            _exit(127);
        }
        std::string window;
        eventually([&] {
            window = shell("xdotool search --onlyvisible --pid " + std::to_string(program) + " 2>/dev/null");
            return !window.empty();
        });
        window = window.substr(0, window.find('\n'));
        ASSERT_FALSE(window.empty()) << keys;
        shell("xdotool windowactivate --sync " + window + " key --delay 100 " + keys);
        if (keys.find("F11") != std::string::npos) {
            EXPECT_TRUE(eventually(
                [&] { return shell("xdotool getwindowgeometry " + window).find("1280x1024") != std::string::npos; }));
            shell("xdotool key Escape");
        }
        int status = -1;
        EXPECT_TRUE(eventually([&] { return waitpid(program, &status, WNOHANG) == program; })) << keys;
        if (!WIFEXITED(status)) kill(program, SIGKILL), waitpid(program, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << keys << ": " << status;
        std::ifstream file(errors);
        EXPECT_EQ((std::ostringstream() << file.rdbuf()).str(), "") << keys;
    }
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    const bool started = !::testing::GTEST_FLAG(list_tests) && start_x_session();
    if (!started && missing.empty() && !::testing::GTEST_FLAG(list_tests)) {
        std::fprintf(stderr, "x_server_test: Xvfb with openbox did not start\n");
        for (pid_t p : {manager, server})
            if (p > 0) kill(p, SIGTERM);
        return 1;
    }
    if (started)
        setenv("QT_QPA_PLATFORM", "xcb", 1);
    else
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    int result = 0;
    {
        QApplication application(argc, argv);
        result = RUN_ALL_TESTS();
    }
    for (pid_t p : {manager, server})
        if (p > 0) kill(p, SIGTERM), waitpid(p, nullptr, 0);
    return result;
}
