// The desktop front end under a real X server and window manager (Xvfb and
// openbox, started here), driven with xdotool as a user drives it: the
// viewer in this process for what its widgets tell, the program for how it
// ends.
#include "app/viewer.h"
#include "platform/desktop/desktop_platform.h"
#include "tests/support/picture_folder.h"

#include "tests/desktop/x_session.h"

#include <QApplication>
#include <QLineEdit>
#include <QScreen>
#include <QTest>

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace x_session;

// Resizes the window through the window manager (how the picture and the
// boxes follow a new size: DesktopWindow.GrowsWithThePicture...), toggles
// full screen with F11 and with a double click, and leaves the search box
// with Escape.
void drive_window(DesktopPlatform& p, WindowHandle d) {
    QWidget* window = p.top_window(d);
    const std::string id = std::to_string(window->winId());
    shell("xdotool windowactivate " + id);
    ASSERT_TRUE(QTest::qWaitForWindowActive(window, 60000));
    shell("xdotool windowsize " + id + " 1100 900");
    ASSERT_TRUE(eventually([&] { return window->size() == QSize(1100, 900); }));
    const QRectF grown = p.picture_rect(d);
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
    // A name of this process's own: other runs of the suite may share the directory.
    const std::string errors = ::testing::TempDir() + "marivue-x-errors-" + std::to_string(getpid()) + ".txt";
    const std::string picture = " '" + e2e::album_pictures().at("img2.jpg") + "'";
    struct Row {
        std::string arguments, keys;
        bool full_screen;  // the keys end in full screen, which Escape leaves before it quits
    };
    // The collection: Escape or Enter in the search box only leaves it, and
    // the window still goes full screen after it. The photo view: Escape
    // clears the search, leaves full screen, then quits.
    for (const Row& row :
         {Row{"", "Escape", false}, Row{"", "q", false}, Row{"", "ctrl+q", false}, Row{"", "alt+F4", false},
          Row{"", "slash r Escape F11", true}, Row{"", "slash r Return F11", true}, Row{picture, "Escape", false},
          Row{picture, "q", false}, Row{picture, "ctrl+q", false}, Row{picture, "alt+F4", false},
          Row{picture, "f", true}, Row{picture, "slash r Escape F11", true}}) {
        const pid_t program = spawn(MARIVUE_BINARY + row.arguments, errors);
        const std::string window = window_of(program);
        shell("xdotool windowactivate --sync " + window + " key --delay 100 " + row.keys);
        if (row.full_screen) {
            EXPECT_TRUE(
                eventually([&] { return shell("xwininfo -id " + window).find("Width: 1280") != std::string::npos; }));
            shell("xdotool key Escape");
            if (!row.arguments.empty()) {
                EXPECT_TRUE(eventually(
                    [&] { return shell("xwininfo -id " + window).find("Width: 1280") == std::string::npos; }));
                shell("xdotool key Escape");
            }
        }
        const int status = status_of(program);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << row.keys << ": " << status;
        EXPECT_EQ(shell("cat " + errors), "") << row.arguments << " " << row.keys;
    }
    std::remove(errors.c_str());
}

// Quitting the photo view waits neither for the picture on show nor for
// the one decoded ahead, here one whose decode takes minutes.
TEST(DesktopUnderX, ThePhotoViewEndsAtOnceWhileAPictureIsDecoded) {
    if (!missing.empty()) GTEST_SKIP() << "needs" << missing << " (tools/setup.sh installs them)";
    unsetenv("XDG_RUNTIME_DIR");
    unsetenv("QT_QPA_PLATFORM");
    const e2e::PictureFolder& f = e2e::album_pictures();
    const std::string grey = " '" + f.at("Grey.jpg") + "'", slow = " '" + f.at(".odd/slow.jpg") + "'";
    for (const std::string& pictures : {grey + slow, slow + grey}) {
        const pid_t program = spawn(MARIVUE_BINARY + pictures);
        shell("xdotool windowactivate --sync " + window_of(program) + " key q");
        const int status = status_of(program);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << pictures << ": " << status;
    }
}

}  // namespace

int main(int argc, char** argv) { return x_session::run_tests(argc, argv, "x_server_test"); }
