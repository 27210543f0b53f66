// The viewer over the desktop front end, driven in-process as a user drives
// it (mouse clicks, typing and keys delivered to the real widgets) on the
// toolkit's off-screen platform; and the program's command line.
#include "app/photo_model.h"
#include "app/picture_list.h"
#include "app/viewer.h"
#include "app/wide_text.h"
#include "platform/desktop/desktop_platform.h"
#include "platform/desktop/photo_window.h"
#include "platform/resource_store.h"
#include "tests/support/picture_folder.h"

#include <QApplication>
#include <QIcon>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTextBlock>
#include <QTextEdit>
#include <QTextLayout>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include <sys/wait.h>

namespace {

// The running viewer's platform and dialog.
DesktopPlatform* platform = nullptr;
WindowHandle dialog{};

// Runs the viewer; `user` acts once the window is shown, and when it returns
// with the dialog still open the done button is pressed. Returns the
// program entry's result.
int32_t run_viewer(int32_t scale, const std::function<void()>& user) {
    DesktopPlatform desktop(scale);
    desktop.on_dialog_shown = [&user](DesktopPlatform& p, WindowHandle shown) {
        platform = &p;
        dialog = shown;
        (void)QTest::qWaitForWindowExposed(p.top_window(shown));
        user();
        p.send_command(shown, command_ok, button_clicked);
    };
    return program_entry(desktop, ModuleHandle{1}, null_module, u"", 1);
}

QWidget* widget(int32_t id) { return platform->control_widget(dialog, id); }
QLineEdit* search_box() { return static_cast<QLineEdit*>(widget(control_search_box)); }
void click(int32_t id) { QTest::mouseClick(widget(id), Qt::LeftButton); }

std::string text_of(int32_t id) {
    char16_t buffer[text_buffer_units];
    platform->get_control_text(dialog, id, buffer, text_limit);
    return QString::fromStdU16String(buffer).toStdString();
}

std::string string_resource(uint32_t id) {
    char16_t buffer[256];
    load_embedded_string(static_cast<uint16_t>(id), buffer, 255);
    return QString::fromStdU16String(buffer).toStdString();
}

// Both boxes for picture `id`, from the string table: the caption and the
// image line; location, date and the credit line.
void expect_boxes_for(uint16_t id, bool set_up) {
    const int n = id - first_picture_id;
    char line[32];
    std::snprintf(line, sizeof line, set_up ? "\r\n Image #%3d" : "\r\nImage #%3d", n);
    EXPECT_EQ(text_of(control_caption_box), string_resource(image_catalog.caption_ids[n]) + line);
    EXPECT_EQ(text_of(control_details_box), string_resource(image_catalog.location_ids[n]) + " " +
                                                string_resource(image_catalog.date_ids[n]) +
                                                "\r\n[Credit: www.marivue.example.org]");
}

// The mean difference per channel between the frame and the picture shown
// at `at`, each frame pixel sampled where its middle lands.
double picture_error(const QRectF& at) {
    const QImage shown = platform->dialog_widget(dialog)->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const double zoom = at.width() / frame_width;
    int64_t sum = 0;
    for (int32_t y = 0; y < frame_height; ++y)
        for (int32_t x = 0; x < frame_width; ++x) {
            const uint8_t* bgr = viewer_dialog.frame_pixels + y * frame_row_bytes + x * frame_pixel_bytes;
            const QRgb p = shown.pixel(QPointF(at.x() + (x + 0.5) * zoom, at.y() + (y + 0.5) * zoom).toPoint());
            sum += std::abs(qBlue(p) - bgr[0]) + std::abs(qGreen(p) - bgr[1]) + std::abs(qRed(p) - bgr[2]);
        }
    return double(sum) / (3.0 * frame_width * frame_height);
}
double picture_error() { return picture_error(platform->picture_rect(dialog)); }

// Lines of a text box that end inside a word: not at a space, a hyphen or
// a break the box added before an address's punctuation.
int32_t words_cut(int32_t id) {
    int32_t cut = 0;
    auto* box = static_cast<QTextEdit*>(widget(id));
    for (QTextBlock b = box->document()->begin(); b.isValid(); b = b.next())
        for (int32_t i = 0; i + 1 < b.layout()->lineCount(); ++i) {
            const int32_t end = b.layout()->lineAt(i).textStart() + b.layout()->lineAt(i).textLength();
            const QChar before = b.text().at(end - 1);
            cut += !before.isSpace() && before != QChar(0x200B) && before != QLatin1Char('-');
        }
    return cut;
}

uint16_t following(uint16_t id) { return id == last_picture_id ? first_picture_id : static_cast<uint16_t>(id + 1); }
uint16_t preceding(uint16_t id) { return id == first_picture_id ? last_picture_id : static_cast<uint16_t>(id - 1); }

TEST(DesktopWindow, GrowsWithThePictureScaledAspectKeptAndTheBoxesWithIt) {
    run_viewer(0, [] {
        QWidget* window = platform->top_window(dialog);
        EXPECT_EQ(window->windowTitle(), QStringLiteral("Marivue"));
        const QList<QSize> icon_sizes = window->windowIcon().availableSizes();
        EXPECT_TRUE(icon_sizes.contains(QSize(32, 32)) && icon_sizes.contains(QSize(16, 16)));
        auto* done = qobject_cast<QPushButton*>(platform->done_button(dialog));
        ASSERT_NE(done, nullptr);
        EXPECT_TRUE(done->isVisible() && done->text() == QStringLiteral("ok"));
        // The first size: the picture a third of the screen's height.
        const int32_t screen = QGuiApplication::primaryScreen()->availableSize().height();
        EXPECT_NEAR(platform->picture_rect(dialog).height(), screen / 3.0, screen / 30.0);
        std::array<int, 3> last{};  // picture width, caption box width, details box height
        for (const QSize size : {window->minimumSize(), window->size(), QSize(900, 700), QSize(1400, 1000)}) {
            window->resize(size);
            QApplication::processEvents();
            const QRectF at = platform->picture_rect(dialog);
            const QRect caption = widget(control_caption_box)->geometry();
            EXPECT_NEAR(at.width() / at.height(), 1.5, 0.01) << size.width();
            EXPECT_LT(picture_error(at), 12.0) << size.width();
            // Centred above the caption box, touching the room on two sides.
            EXPECT_NEAR(at.center().x(), caption.center().x() + 0.5, 1.0) << size.width();
            EXPECT_NEAR(at.top(), caption.top() - at.bottom(), 1.0) << size.width();
            // Every control inside the window, none over another.
            std::vector<QRect> placed = {done->geometry()};
            for (int32_t id :
                 {control_back, control_forward, control_search_box, control_details_box, control_caption_box}) {
                const QRect r = widget(id)->geometry();
                EXPECT_TRUE(platform->dialog_widget(dialog)->rect().contains(r) && widget(id)->isVisible()) << id;
                for (const QRect& other : placed) EXPECT_FALSE(r.intersects(other)) << id;
                placed.push_back(r);
            }
            const std::array<int, 3> now{int(at.width()), caption.width(), widget(control_details_box)->height()};
            EXPECT_TRUE(now[0] > last[0] && now[1] > last[1] && now[2] > last[2]) << size.width();
            last = now;
            // Long words and addresses wrap whole or at their punctuation.
            for (int steps = 0; steps < 3; ++steps, click(control_forward))
                EXPECT_EQ(words_cut(control_caption_box) + words_cut(control_details_box), 0) << size.width();
        }
    });
}

void type_search(const QString& text) {
    QTest::mouseClick(search_box(), Qt::LeftButton);
    search_box()->selectAll();
    QTest::keyClicks(search_box(), text);
}

// The photo view on its window, keys and typing delivered to its widgets:
// the search field filtering as it is typed in; the info panel. (Why a
// file cannot be shown: PictureDecode.SaysWhyAFileCannotBeShown for the
// reasons, PhotoModel for the message, TerminalPhotoView for the message
// on a screen.)
TEST(DesktopPhotoView, SearchesAsYouTypeAndInforms) {
    const e2e::PictureFolder& f = e2e::album_pictures();
    std::vector<PictureEntry> entries;
    for (const char* name : {".odd/pipe.jpg", ".odd/loop.jpg", "Grey.jpg", "broken.jpg", "img2.jpg"})
        entries.push_back({f.at(name), std::string(name).substr(std::string(name).find_last_of('/') + 1)});
    PhotoModel model(entries, {}, make_picture_work());
    DesktopPlatform desktop;
    desktop.on_photo_view_shown = [&](DesktopPlatform&, PhotoWindow& window) {
        (void)QTest::qWaitForWindowExposed(&window);
        EXPECT_TRUE(QTest::qWaitFor([&model] { return !model.scene().message.empty(); }, 60000));
        // Typing filters at once, without regard to case; Escape clears it.
        QTest::keyClick(&window, Qt::Key_Slash);
        ASSERT_TRUE(window.search_field()->isVisible());
        QTest::keyClicks(window.search_field(), QStringLiteral("GR"));
        EXPECT_EQ(model.scene().search_count, "1 match");
        EXPECT_EQ(window.windowTitle(), QStringLiteral("Grey.jpg — 1 / 1 — Marivue"));
        QTest::keyClick(window.search_field(), Qt::Key_Escape);
        EXPECT_FALSE(window.search_field()->isVisible());
        EXPECT_EQ(window.windowTitle(), QStringLiteral("Grey.jpg — 3 / 5 — Marivue"));
        EXPECT_TRUE(QTest::qWaitFor([&model] { return !model.scene().layers.empty(); }, 60000));  // its size known
        QTest::keyClick(&window, Qt::Key_I);
        ASSERT_TRUE(model.scene().info);
        ASSERT_GE(model.scene().info_lines.size(), 3u);
        EXPECT_EQ(model.scene().info_lines[0], (std::pair<std::string, std::string>{"Name", "Grey.jpg"}));
        EXPECT_EQ(model.scene().info_lines[2], (std::pair<std::string, std::string>{"Size", "120 × 80 pixels"}));
        QTest::keyClick(&window, Qt::Key_Q);
    };
    EXPECT_EQ(desktop.run_photo_view(model), 0);
    EXPECT_TRUE(model.finished());
}

TEST(DesktopViewer, ButtonsKeysAndWheelStepAndRewriteBothBoxes) {
    run_viewer(1, [] {
        const auto key = [](Qt::Key k) { return [k] { QTest::keyClick(QApplication::focusWidget(), k); }; };
        const auto wheel = [](int turn) {
            return [turn] {
                QWidget* area = platform->dialog_widget(dialog);
                const QPointF at = platform->picture_rect(dialog).center();
                QWheelEvent event(at, area->mapToGlobal(at), {}, {0, turn}, Qt::NoButton, {}, Qt::NoScrollPhase, false);
                QApplication::sendEvent(area, &event);
            };
        };
        struct Row {
            const char* what;
            std::function<void()> act;
            int step;  // +1 forward, -1 back, 0 to the first picture, 2 to the last
        };
        for (const Row& row :
             {Row{">>>", [] { click(control_forward); }, 1}, Row{"<<<", [] { click(control_back); }, -1},
              Row{"Right", key(Qt::Key_Right), 1}, Row{"Down", key(Qt::Key_Down), 1},
              Row{"Page Down", key(Qt::Key_PageDown), 1}, Row{"Space", key(Qt::Key_Space), 1},
              Row{"wheel down", wheel(-120), 1}, Row{"Left", key(Qt::Key_Left), -1}, Row{"Up", key(Qt::Key_Up), -1},
              Row{"Page Up", key(Qt::Key_PageUp), -1}, Row{"Backspace", key(Qt::Key_Backspace), -1},
              Row{"wheel up", wheel(120), -1}, Row{"Home", key(Qt::Key_Home), 0}, Row{"End", key(Qt::Key_End), 2},
              Row{"Space on <<<",
                  [] {
                      widget(control_back)->setFocus();
                      QTest::keyClick(widget(control_back), Qt::Key_Space);
                  },
                  1}}) {
            const uint16_t now = viewer_dialog.current_id;
            const uint16_t id = row.step == 1    ? following(now)
                                : row.step == -1 ? preceding(now)
                                : row.step == 0  ? first_picture_id
                                                 : last_picture_id;
            row.act();
            ASSERT_EQ(viewer_dialog.current_id, id) << row.what;
            expect_boxes_for(id, false);
            EXPECT_LT(picture_error(), 12.0) << row.what;
        }
    });
}

// Replaces the search box's text as the user does: click, select, type.
TEST(DesktopViewer, SearchBoxMarkerFilterHiddenPictureAndTypingLimit) {
    run_viewer(1, [] {
        const uint16_t start = viewer_dialog.current_id;
        type_search(QStringLiteral("Pal au"));  // the step keys edit the text here
        EXPECT_TRUE(search_box()->hasFocus());
        EXPECT_TRUE(platform->input_panel_raised());
        for (Qt::Key key : {Qt::Key_Left, Qt::Key_Left, Qt::Key_Backspace, Qt::Key_PageUp})
            QTest::keyClick(search_box(), key);
        EXPECT_EQ(search_box()->text(), QStringLiteral("Palau"));
        EXPECT_EQ(viewer_dialog.current_id, start);
        // While the input panel is up a repaint erases the picture.
        const QImage typing = platform->dialog_widget(dialog)->grab().toImage();
        const QRgb background = platform->dialog_widget(dialog)->palette().color(QPalette::Window).rgb();
        const QRect at = platform->picture_rect(dialog).toRect();
        for (int y = at.top(); y < at.bottom(); y += 4)
            for (int x = at.left(); x < at.right(); x += 4) ASSERT_EQ(typing.pixel(x, y), background) << x << "," << y;

        // A location is in no caption: the marker, no filter, one step; the
        // panel goes down and the picture is back.
        click(control_forward);
        EXPECT_FALSE(platform->input_panel_raised());
        EXPECT_EQ(search_box()->text(), QStringLiteral("Palau-NONE"));
        EXPECT_EQ(viewer_dialog.current_id, following(start));
        EXPECT_LT(picture_error(), 12.0);
        click(control_forward);
        EXPECT_EQ(search_box()->text(), QStringLiteral("Palau-NONE"));  // one marker only
        // A word of every caption: the filter is on and every picture passes.
        type_search(QStringLiteral("identify"));
        click(control_back);
        EXPECT_TRUE(viewer_dialog.filter_active);
        EXPECT_EQ(search_box()->text(), QStringLiteral("identify"));
        EXPECT_EQ(viewer_dialog.current_id, following(start));
        type_search(QStringLiteral("Identify"));  // case matters
        click(control_back);
        EXPECT_FALSE(viewer_dialog.filter_active);
        EXPECT_EQ(search_box()->text(), QStringLiteral("Identify-NONE"));
        EXPECT_EQ(viewer_dialog.current_id, start);

        // The user types at most 250 units; the marker still fits behind them.
        type_search(QString(260, QLatin1Char('x')));
        EXPECT_EQ(wide_length(viewer_dialog.search_text), search_text_limit);
        click(control_forward);
        EXPECT_EQ(search_box()->text(), QString(search_text_limit, QLatin1Char('x')) + QStringLiteral("-NONE"));
        // Full now: typing is refused; deleting makes room for one less.
        QTest::mouseClick(search_box(), Qt::LeftButton);
        search_box()->end(false);
        for (Qt::Key key : {Qt::Key_Z, Qt::Key_Backspace, Qt::Key_Z}) QTest::keyClick(search_box(), key);
        EXPECT_EQ(search_box()->text(), QString(search_text_limit, QLatin1Char('x')) + QStringLiteral("-NON"));
        // A character outside the basic plane (two units) goes in whole or not at all.
        const auto type_fish = [] {
            QKeyEvent fish(QEvent::KeyPress, 0, Qt::NoModifier, QString::fromUtf16(u"\U0001F41F"));
            QApplication::sendEvent(search_box(), &fish);
            return text_of(control_search_box);
        };
        type_search(QString(search_text_limit - 2, QLatin1Char('x')));
        EXPECT_EQ(type_fish(), std::string(search_text_limit - 2, 'x') + "\U0001F41F");
        for (Qt::Key key : {Qt::Key_Backspace, Qt::Key_X}) QTest::keyClick(search_box(), key);
        EXPECT_EQ(type_fish(), std::string(search_text_limit - 1, 'x'));
    });
}

// The keys that end it are driven under the X server (x_server_test.cpp).
TEST(DesktopViewer, DoneAndClosingEndTheDialogWithOne) {
    const std::function<void()> ways[] = {
        [] { QTest::mouseClick(platform->done_button(dialog), Qt::LeftButton); },
        [] { platform->top_window(dialog)->close(); },
    };
    for (size_t way = 0; way < std::size(ways); ++way) {
        bool ended = false;
        EXPECT_EQ(run_viewer(1,
                             [&] {
                                 const uint16_t id = viewer_dialog.current_id;
                                 ways[way]();
                                 ended = platform->send_command(dialog, control_forward, button_clicked) == 0 &&
                                         viewer_dialog.current_id == id;
                             }),
                  1)
            << way;
        EXPECT_TRUE(ended) << way;
    }
}

std::string run(const std::string& command, int* status) {
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    char buffer[4096];
    for (size_t got; pipe != nullptr && (got = fread(buffer, 1, sizeof buffer, pipe)) > 0;) output.append(buffer, got);
    *status = pipe == nullptr ? -1 : pclose(pipe);
    return output;
}

TEST(DesktopProgram, CommandLineMessagesAndStatuses) {
    const std::string version = "marivue " MARIVUE_TEST_VERSION "\n", try_help = "\nTry 'marivue --help'.\n",
                      scale = "marivue: --scale needs a whole number from 1 to 16";
    struct Row {
        const char* arguments;
        int status;
        std::string output;
    };
    for (const Row& r :
         {Row{"--version", 0, version}, Row{"--scale 16 --version", 0, version},
          Row{"--help", 0, "Usage: marivue [--tty] [--scale N]\nShows the marine picture collection"},
          Row{"--scale 0", 2, scale + ", not '0'" + try_help}, Row{"--scale=17", 2, scale + ", not '17'" + try_help},
          Row{"--scale 2x", 2, scale + ", not '2x'" + try_help}, Row{"--scale", 2, scale + try_help},
          Row{"--frobnicate", 2, "marivue: unknown argument '--frobnicate'" + try_help},
          Row{"missing.jpg", 1,
              "marivue: missing.jpg: No such file or directory\nmarivue: no JPEG pictures in missing.jpg\n"}}) {
        int status = -1;
        const std::string output =
            run("env QT_QPA_PLATFORM=offscreen " MARIVUE_BINARY " " + std::string(r.arguments) + " </dev/null 2>&1",
                &status);
        EXPECT_EQ(output.substr(0, r.output.size()), r.output) << r.arguments;
        EXPECT_TRUE(r.output.back() != '\n' || output.size() == r.output.size()) << r.arguments << ": " << output;
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == r.status) << r.arguments << ": " << status;
    }
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication application(argc, argv);
    return RUN_ALL_TESTS();
}
