// The desktop front end under a real X server and window manager (Xvfb and
// openbox, started here), driven with xdotool as a user drives it: the
// viewer in this process for what its widgets tell, the program for how it
// ends.
#include "app/viewer.h"
#include "platform/desktop/desktop_platform.h"
#include "tests/support/picture_folder.h"

#include <QApplication>
#include <QLineEdit>
#include <QScreen>
#include <QTest>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <functional>
#include <string>

#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

std::string missing;  // the programs the tests need and do not find

std::string shell(const std::string& command) {
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    char buffer[512];
    for (size_t got; pipe != nullptr && (got = fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, got);
    if (pipe != nullptr) pclose(pipe);
    return out;
}

// Polls for up to a minute, the toolkit's events going on meanwhile: the
// machine may be busy, so nothing here depends on how fast anything is.
bool eventually(const std::function<bool()>& done) { return QTest::qWaitFor(done, 60000); }

// Starts `command` as a child that ends with this process, its standard
// error to `errors`.
pid_t spawn(const std::string& command, const std::string& errors = "/dev/null") {
    const pid_t child = fork();
    if (child != 0) return child;
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (std::freopen(errors.c_str(), "w", stderr) != nullptr)
        execl("/bin/sh", "sh", "-c", ("exec " + command).c_str(), static_cast<char*>(nullptr));
    _exit(127);
}

// Xvfb on a display it finds free (its number arrives on a pipe), then
// openbox; true once the window manager runs.
bool start_x_session() {
    for (const char* program : {"Xvfb", "openbox", "xdotool", "xprop", "xwininfo"})
        if (shell(std::string("command -v ") + program).empty()) missing += std::string(" ") + program;
    int number[2];
    if (!missing.empty() || pipe(number) != 0) return false;
    spawn("Xvfb -displayfd " + std::to_string(number[1]) + " -screen 0 1280x1024x24 -nolisten tcp");
    close(number[1]);
    char display[16] = ":";
    if (read(number[0], display + 1, sizeof display - 2) <= 0) return false;
    setenv("DISPLAY", std::to_string(std::atoi(display + 1)).insert(0, 1, ':').c_str(), 1);
    spawn("openbox");
    for (int i = 0; i < 600; ++i, usleep(100000))
        if (shell("xprop -root _NET_SUPPORTING_WM_CHECK 2>&1").find("window id") != std::string::npos) return true;
    return false;
}

// Resizes the window through the window manager, toggles full screen with
// F11 and with a double click, and leaves the search box with Escape.
void drive_window(DesktopPlatform& p, WindowHandle d) {
    QWidget* window = p.top_window(d);
    const std::string id = std::to_string(window->winId());
    shell("xdotool windowactivate " + id);
    ASSERT_TRUE(QTest::qWaitForWindowActive(window, 60000));
    const QRectF first = p.picture_rect(d);
    const QSize caption = p.control_widget(d, control_caption_box)->size();
    const QSize details = p.control_widget(d, control_details_box)->size();
    shell("xdotool windowsize " + id + " 1100 900");
    ASSERT_TRUE(eventually([&] { return window->size() == QSize(1100, 900); }));
    const QRectF grown = p.picture_rect(d);
    EXPECT_NEAR(grown.width() / grown.height(), first.width() / first.height(), 0.01);
    EXPECT_GT(grown.height(), first.height());
    EXPECT_GT(p.control_widget(d, control_caption_box)->width(), caption.width());
    EXPECT_GT(p.control_widget(d, control_details_box)->height(), details.height());
    // F11, and a double click on the picture, each on and off.
    const QPoint middle = p.dialog_widget(d)->mapTo(window, grown.center().toPoint());
    const std::string click = "mousemove --window " + id + " " + std::to_string(middle.x()) + " " +
                              std::to_string(middle.y()) + " click --repeat 2 1";
    for (const std::string& toggle : {std::string("key F11"), click}) {
        shell("xdotool " + toggle);
        EXPECT_TRUE(eventually([&] { return window->geometry() == window->screen()->geometry(); })) << toggle;
        shell("xdotool " + toggle);
        EXPECT_TRUE(eventually([&] { return window->size() == QSize(1100, 900); })) << toggle;
    }
    auto* search = static_cast<QLineEdit*>(p.control_widget(d, control_search_box));
    shell("xdotool key slash type reef");
    ASSERT_TRUE(eventually([&] { return search->text() == QStringLiteral("reef"); }));
    shell("xdotool key Escape");
    EXPECT_TRUE(eventually([&] { return !search->hasFocus() && search->text() == QStringLiteral("reef"); }));
    shell("xdotool key Escape");
    EXPECT_TRUE(eventually([&] { return p.send_command(d, control_forward, button_clicked) == 0; }));
}

TEST(DesktopUnderX, TheWindowManagerResizesAndFullScreensItAndEscapeLeavesTheSearchBox) {
    if (!missing.empty()) GTEST_SKIP() << "needs" << missing << " (tools/setup.sh installs them)";
    DesktopPlatform desktop;
    desktop.on_dialog_shown = [](DesktopPlatform& p, WindowHandle d) {
        drive_window(p, d);
        p.send_command(d, command_ok, button_clicked);  // when a check above stopped early
    };
    program_entry(desktop, ModuleHandle{1}, null_module, u"", 1);
    EXPECT_EQ(desktop.exit_status(), 0);
}

TEST(DesktopUnderX, TheProgramEndsWithStatusZeroAndNothingOnStandardError) {
    if (!missing.empty()) GTEST_SKIP() << "needs" << missing << " (tools/setup.sh installs them)";
    unsetenv("XDG_RUNTIME_DIR");
    unsetenv("QT_QPA_PLATFORM");
    const std::string errors = ::testing::TempDir() + "marivue-x-errors.txt";
    // Escape or Enter in the search box only leaves it: the window still
    // goes full screen after it, and then Escape ends the program.
    for (const std::string keys : {"Escape", "q", "ctrl+q", "alt+F4", "slash r Escape F11", "slash r Return F11"}) {
        const pid_t program = spawn(MARIVUE_BINARY, errors);
        std::string window;
        eventually(
            [&] { return !(window = shell("xdotool search --onlyvisible --pid " + std::to_string(program))).empty(); });
        window = window.substr(0, window.find('\n'));
        shell("xdotool windowactivate --sync " + window + " key --delay 100 " + keys);
        if (keys.find("F11") != std::string::npos) {
            EXPECT_TRUE(
                eventually([&] { return shell("xwininfo -id " + window).find("Width: 1280") != std::string::npos; }));
            shell("xdotool key Escape");
        }
        int status = -1;
        if (!eventually([&] { return waitpid(program, &status, WNOHANG) == program; }))
            kill(program, SIGKILL), waitpid(program, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << keys << ": " << status;
        EXPECT_EQ(shell("cat " + errors), "") << keys;
    }
}

// Quitting the album does not wait for the picture decoded ahead, here one
// whose decode takes minutes.
TEST(DesktopUnderX, TheAlbumEndsAtOnceWhileAPictureIsDecodedAhead) {
    if (!missing.empty()) GTEST_SKIP() << "needs" << missing << " (tools/setup.sh installs them)";
    unsetenv("XDG_RUNTIME_DIR");
    unsetenv("QT_QPA_PLATFORM");
    const e2e::PictureFolder& f = e2e::album_pictures();
    const pid_t program =
        spawn(std::string(MARIVUE_BINARY) + " '" + f.at("Grey.jpg") + "' '" + f.at(".odd/slow.jpg") + "'");
    std::string window;
    eventually(
        [&] { return !(window = shell("xdotool search --onlyvisible --pid " + std::to_string(program))).empty(); });
    window = window.substr(0, window.find('\n'));
    shell("xdotool windowactivate --sync " + window + " key q");
    int status = -1;
    if (!eventually([&] { return waitpid(program, &status, WNOHANG) == program; }))
        kill(program, SIGKILL), waitpid(program, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    const bool listing = ::testing::GTEST_FLAG(list_tests), under_x = !listing && start_x_session();
    if (!listing && !under_x && missing.empty()) {
        std::fprintf(stderr, "x_server_test: Xvfb with openbox did not start\n");
        return 1;
    }
    setenv("QT_QPA_PLATFORM", under_x ? "xcb" : "offscreen", 1);
    QApplication application(argc, argv);
    return RUN_ALL_TESTS();
}
