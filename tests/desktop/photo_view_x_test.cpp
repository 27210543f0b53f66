// The desktop's photo view under a real X server and window manager (Xvfb
// and openbox, started here), driven with xdotool as a user drives it and
// read back from the screen: the view in this process for what its scene
// tells, the program for the slideshow and the trash.
#include "app/photo_model.h"
#include "marivue/jpeg.hpp"
#include "platform/desktop/desktop_platform.h"
#include "platform/desktop/photo_window.h"
#include "tests/desktop/x_session.h"
#include "tests/support/picture_folder.h"
#include "tests/support/trash_info.h"

#include <QApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace {

using namespace x_session;
using Bytes = std::vector<uint8_t>;

// Pictures for these tests, written once by cjpeg: a 1600 x 1200 photo-like
// picture stored on its side (1200 x 1600, EXIF orientation 6), one of the
// screen's shape at twice its size, and three small ones.
const e2e::PictureFolder& pictures() {
    static e2e::PictureFolder* folder = [] {
        auto* f = new e2e::PictureFolder;
        f->encode("side.jpg", 1200, 1600, "-quality 90");
        f->insert_exif("side.jpg", e2e::exif_segment(false, {{0x112, 3, 1, 6}}, {}));
        f->encode("screen.jpg", 2560, 2048, "-quality 90");
        for (const char* name : {"a.jpg", "b.jpg", "c.jpg"}) f->encode(name, 400 + name[0], 300, "");
        std::atexit([] { std::filesystem::remove_all(pictures().dir); });
        return f;
    }();
    return *folder;
}

// Runs the photo view over `names` in this process; `user` acts once the
// window is shown and active.
void run_view(const std::vector<std::string>& names, const std::function<void(PhotoWindow&, PhotoModel&)>& user) {
    std::vector<PictureEntry> entries;
    for (const std::string& name : names) entries.push_back({pictures().at(name), name});
    PhotoModel model(entries, {}, make_picture_work());
    DesktopPlatform desktop;
    desktop.on_photo_view_shown = [&](DesktopPlatform&, PhotoWindow& window) {
        shell("xdotool windowactivate --sync " + std::to_string(window.winId()));
        // Out of the way: a pointer at rest lets the bar hide.
        shell("xdotool mousemove 0 0");
        if (QTest::qWaitForWindowActive(&window, 60000)) user(window, model);
        model.command(PhotoCommand::Quit);
        window.follow_scene();
    };
    EXPECT_EQ(desktop.run_photo_view(model), 0);
}

QImage screen_shot() {
    return QGuiApplication::primaryScreen()->grabWindow(0).toImage().convertToFormat(QImage::Format_RGB32);
}

// Presses keys in the active window (xdotool key syntax).
void keys(const std::string& names) { shell("xdotool key --delay 50 " + names); }

// The picture point under view point (x, y) of the scene.
std::pair<double, double> under(const PhotoScene& scene, double x, double y) {
    const PhotoMatrix& m = scene.placement;
    const double det = m.m11 * m.m22 - m.m12 * m.m21, dx = x - m.dx, dy = y - m.dy;
    return {(m.m22 * dx - m.m21 * dy) / det, (m.m11 * dy - m.m12 * dx) / det};
}

TEST(PhotoViewUnderX, AtOneToOneTheScreenShowsTheDecodersPixelsExactly) {
    if (!missing.empty()) GTEST_SKIP() << "needs" << missing << " (tools/setup.sh installs them)";
    // The decoder's pixels of the picture as stored, turned upright here.
    marivue::jpeg::Image stored;
    ASSERT_EQ(marivue::jpeg::decode_file(pictures().at("side.jpg").c_str(), stored), 0);
    const auto upright = [&stored](int x, int y) {
        return &stored.pixels[size_t(((stored.height - 1 - x) * stored.width + y) * 3)];
    };
    run_view({"side.jpg"}, [&](PhotoWindow& window, PhotoModel& model) {
        keys("1");
        ASSERT_TRUE(eventually([&] { return model.scene().scale == 1 && model.scene().layers.size() == 2; }));
        const QPoint origin = window.mapToGlobal(QPoint(0, 0));
        int differing = -1;
        // Until the bar has hidden itself, every pixel of the view is the
        // picture's.
        EXPECT_TRUE(eventually([&] {
            const QImage shot = screen_shot();
            differing = 0;
            for (int y = 0; y < window.height(); ++y)
                for (int x = 0; x < window.width(); ++x) {
                    const auto [px, py] = under(model.scene(), x + 0.5, y + 0.5);
                    const uint8_t* want = upright(int(px), int(py));
                    const QRgb got = shot.pixel(origin.x() + x, origin.y() + y);
                    differing += qRed(got) != want[0] || qGreen(got) != want[1] || qBlue(got) != want[2];
                }
            return differing == 0;
        })) << differing
            << " pixels differ";
        EXPECT_EQ(window.windowTitle(), QStringLiteral("side.jpg — 1 / 1 — Marivue"));
    });
}

TEST(PhotoViewUnderX, CtrlWheelKeepsThePointUnderThePointer) {
    if (!missing.empty()) GTEST_SKIP() << "needs" << missing << " (tools/setup.sh installs them)";
    run_view({"side.jpg"}, [&](PhotoWindow& window, PhotoModel& model) {
        ASSERT_TRUE(eventually([&] { return !model.scene().layers.empty(); }));
        const double fit = model.scene().scale;
        const std::string id = std::to_string(window.winId());
        for (const auto& [x, y] : std::vector<std::pair<int, int>>{{300, 200}, {700, 500}, {120, 600}}) {
            shell("xdotool mousemove --window " + id + " " + std::to_string(x) + " " + std::to_string(y));
            const auto before = under(model.scene(), x, y);
            const double scale = model.scene().scale;
            shell("xdotool keydown ctrl click 4 click 4 click 4 keyup ctrl");
            ASSERT_TRUE(eventually([&] { return std::abs(model.scene().scale - scale * 1.953125) < 1e-9; }));
            const auto after = under(model.scene(), x, y);
            // Whole device pixels before and after: within a pixel and a half
            // of the pointer at the new scale.
            EXPECT_NEAR(after.first, before.first, 1.5 / model.scene().scale) << x << ", " << y;
            EXPECT_NEAR(after.second, before.second, 1.5 / model.scene().scale) << x << ", " << y;
            keys("0");
            ASSERT_TRUE(eventually([&] { return model.scene().scale == fit; }));
        }
    });
}

TEST(PhotoViewUnderX, FullScreenCoversTheScreenWithPicturePixelsOnly) {
    if (!missing.empty()) GTEST_SKIP() << "needs" << missing << " (tools/setup.sh installs them)";
    run_view({"screen.jpg"}, [&](PhotoWindow& window, PhotoModel& model) {
        keys("f");
        const QSize screen = window.screen()->size();
        // The picture fitted to the whole screen, drawn pixel for pixel.
        ASSERT_TRUE(eventually([&] {
            return window.isFullScreen() && window.geometry() == QRect(QPoint(0, 0), screen) &&
                   !model.scene().layers.empty() && model.scene().layers[0].pixels.width == screen.width();
        }));
        const PhotoPixels& p = model.scene().layers[0].pixels;
        ASSERT_EQ(p.height, screen.height());
        int differing = -1;
        EXPECT_TRUE(eventually([&] {
            const QImage shot = screen_shot();
            differing = 0;
            for (int y = 0; y < p.height; ++y)
                for (int x = 0; x < p.width; ++x)
                    differing += (shot.pixel(x, y) & 0xFFFFFF) !=
                                 (reinterpret_cast<const uint32_t*>(p.bgra + size_t(y) * p.stride)[x] & 0xFFFFFF);
            return differing == 0;
        })) << differing
            << " pixels differ";
        keys("Escape");
        EXPECT_TRUE(eventually([&] { return !window.isFullScreen(); }));
    });
}

TEST(PhotoViewUnderX, TheGalleryShowsThumbnailsAndAClickOpensOne) {
    if (!missing.empty()) GTEST_SKIP() << "needs" << missing << " (tools/setup.sh installs them)";
    run_view({"a.jpg", "b.jpg", "c.jpg"}, [&](PhotoWindow& window, PhotoModel& model) {
        keys("g");
        const auto thumbnails_in = [&model] {
            int n = 0;
            for (const GalleryCell& c : model.scene().cells) n += c.thumbnail.bgra != nullptr;
            return n;
        };
        ASSERT_TRUE(
            eventually([&] { return model.scene().mode == PhotoScene::Mode::gallery && thumbnails_in() == 3; }));
        // Each thumbnail is on the screen, pixel for pixel.
        const auto find = [](const QImage& shot, const PhotoPixels& t) -> std::optional<QPoint> {
            const auto pixel = [&t](int x, int y) {
                return reinterpret_cast<const uint32_t*>(t.bgra + size_t(y) * t.stride)[x] & 0xFFFFFF;
            };
            for (int y = 0; y + t.height <= shot.height(); ++y)
                for (int x = 0; x + t.width <= shot.width(); ++x) {
                    bool same = true;
                    for (int j = 0; same && j < t.height; ++j)
                        for (int i = 0; same && i < t.width; ++i)
                            same = (shot.pixel(x + i, y + j) & 0xFFFFFF) == pixel(i, j);
                    if (same) return QPoint(x + t.width / 2, y + t.height / 2);
                }
            return std::nullopt;
        };
        std::vector<QPoint> found;
        EXPECT_TRUE(eventually([&] {
            const QImage shot = screen_shot();
            found.clear();
            for (const GalleryCell& cell : model.scene().cells)
                if (const std::optional<QPoint> at = find(shot, cell.thumbnail)) found.push_back(*at);
            return found.size() == 3;
        }));
        ASSERT_EQ(found.size(), 3u);
        EXPECT_LT(found[0].x(), found[1].x());
        // A click on the second thumbnail opens its picture.
        shell("xdotool mousemove " + std::to_string(found[1].x()) + " " + std::to_string(found[1].y()) + " click 1");
        EXPECT_TRUE(eventually([&] { return model.scene().mode == PhotoScene::Mode::picture; }));
        EXPECT_TRUE(eventually([&] { return window.windowTitle() == QStringLiteral("b.jpg — 2 / 3 — Marivue"); }));
    });
}

TEST(PhotoViewUnderX, TheSlideshowAdvances) {
    if (!missing.empty()) GTEST_SKIP() << "needs" << missing << " (tools/setup.sh installs them)";
    unsetenv("QT_QPA_PLATFORM");
    const e2e::PictureFolder& f = pictures();
    const pid_t program = spawn(std::string(MARIVUE_BINARY) + " --slideshow 1 '" + f.at("a.jpg") + "' '" +
                                f.at("b.jpg") + "' '" + f.at("c.jpg") + "'");
    const std::string window = window_of(program);
    // The second picture, then the third, whenever they come.
    for (const char* title : {"b.jpg — 2 / 3 — Marivue\n", "c.jpg — 3 / 3 — Marivue\n"})
        EXPECT_TRUE(eventually([&] { return shell("xdotool getwindowname " + window) == title; })) << title;
    shell("xdotool windowactivate --sync " + window + " key q");
    const int status = status_of(program);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

TEST(PhotoViewUnderX, DeleteAsksThenMovesTheFileToTheTrashAndNothingElse) {
    if (!missing.empty()) GTEST_SKIP() << "needs" << missing << " (tools/setup.sh installs them)";
    unsetenv("QT_QPA_PLATFORM");
    namespace fs = std::filesystem;
    e2e::PictureFolder f;
    for (const char* name : {"a.jpg", "b.jpg", "c.jpg"}) fs::copy_file(pictures().at(name), f.at(name));
    const std::string data = f.dir + "/data", listed = f.dir + "/photos";
    fs::create_directory(listed);
    for (const char* name : {"a.jpg", "b.jpg", "c.jpg"}) fs::rename(f.at(name), listed + "/" + name);
    const auto files = [&listed] {
        std::vector<std::pair<std::string, Bytes>> out;
        for (const auto& e : fs::directory_iterator(listed))
            out.push_back({e.path().filename(), e2e::read_file(e.path())});
        std::sort(out.begin(), out.end());
        return out;
    };
    auto before = files();
    const pid_t program = spawn("env XDG_DATA_HOME='" + data + "' " + MARIVUE_BINARY + " '" + listed + "'");
    const std::string window = window_of(program);
    shell("xdotool windowactivate --sync " + window + " key Right");
    EXPECT_TRUE(eventually([&] { return shell("xdotool getwindowname " + window) == "b.jpg — 2 / 3 — Marivue\n"; }));
    // Escape answers no; then Enter yes.
    for (const char* answer : {"Escape", "Return"}) {
        shell("xdotool key Delete");
        std::string question;
        EXPECT_TRUE(eventually(
            [&] { return !(question = shell("xdotool search --onlyvisible --name '^Move to Trash$'")).empty(); }));
        shell("xdotool windowactivate --sync " + question.substr(0, question.find('\n')) + " key " + answer);
        EXPECT_TRUE(eventually([&] { return shell("xdotool search --onlyvisible --name '^Move to Trash$'").empty(); }));
        if (std::string(answer) == "Escape") {
            EXPECT_EQ(files(), before);
            EXPECT_FALSE(fs::exists(data));
        }
        shell("xdotool windowactivate --sync " + window);
    }
    EXPECT_TRUE(eventually([&] { return shell("xdotool getwindowname " + window) == "c.jpg — 2 / 2 — Marivue\n"; }));
    shell("xdotool key q");
    const int status = status_of(program);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    // b.jpg is in the trash, whole, with a valid .trashinfo naming where it
    // was; the other files are as they were.
    before.erase(before.begin() + 1);
    EXPECT_EQ(files(), before);
    EXPECT_EQ(e2e::read_file(data + "/Trash/files/b.jpg"), e2e::read_file(pictures().at("b.jpg")));
    const Bytes info = e2e::read_file(data + "/Trash/info/b.jpg.trashinfo");
    EXPECT_EQ(e2e::trashinfo_path(std::string(info.begin(), info.end())), fs::canonical(listed).string() + "/b.jpg")
        << std::string(info.begin(), info.end());
    size_t in_trash = 0;
    for (const auto& e : fs::recursive_directory_iterator(data)) in_trash += e.is_regular_file();
    EXPECT_EQ(in_trash, 2u);
    fs::remove_all(f.dir);
}

}  // namespace

int main(int argc, char** argv) { return x_session::run_tests(argc, argv, "photo_view_x_test"); }
