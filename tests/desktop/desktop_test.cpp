// The viewer over the desktop front end, driven in-process as a user drives
// it (mouse clicks, typing and keys delivered to the real widgets) on the
// toolkit's off-screen platform; and the program's command line.
#include "app/viewer.h"
#include "app/wide_text.h"
#include "platform/desktop/desktop_platform.h"
#include "platform/resource_store.h"

#include <QApplication>
#include <QIcon>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTextEdit>

#include <gtest/gtest.h>

#include <functional>
#include <iterator>
#include <string>

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
    load_string(static_cast<uint16_t>(id), buffer, 255);
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

// Pixels of the picture area that differ from the frame buffer enlarged by
// nearest neighbour; -1 when the area shows one flat colour.
int64_t picture_mismatches(int32_t scale) {
    const QImage shown = platform->dialog_widget(dialog)->grab().toImage().convertToFormat(QImage::Format_RGB32);
    int64_t wrong = 0;
    bool flat = true;
    for (int32_t y = 0; y < frame_height * scale; ++y)
        for (int32_t x = 0; x < frame_width * scale; ++x) {
            const uint8_t* bgr =
                viewer_dialog.frame_pixels + (y / scale) * frame_row_bytes + (x / scale) * frame_pixel_bytes;
            const QRgb pixel = shown.pixel(x, y);
            wrong += qBlue(pixel) != bgr[0] || qGreen(pixel) != bgr[1] || qRed(pixel) != bgr[2];
            flat = flat && pixel == shown.pixel(0, 0);
        }
    return flat ? -1 : wrong;
}

uint16_t following(uint16_t id) { return id == last_picture_id ? first_picture_id : static_cast<uint16_t>(id + 1); }
uint16_t preceding(uint16_t id) { return id == first_picture_id ? last_picture_id : static_cast<uint16_t>(id - 1); }

class DesktopWindow : public ::testing::TestWithParam<int32_t> {};

TEST_P(DesktopWindow, StartsWithTheFrameAndTheControlsWhereTheTemplatePutsThem) {
    const int32_t s = GetParam();
    bool ran = false;
    EXPECT_EQ(run_viewer(s,
                         [&] {
                             ran = true;
                             ASSERT_TRUE(viewer_dialog.current_id >= first_picture_id &&
                                         viewer_dialog.current_id <= last_picture_id);
                             EXPECT_EQ(picture_mismatches(s), 0);
                             expect_boxes_for(viewer_dialog.current_id, true);
                             // Template rectangles in pixels at scale 1 (7 x 16 pixels per 4 x 8
                             // dialog units), the widget and its text.
                             struct Row {
                                 int32_t id;
                                 QRect at;
                                 const char* kind;
                                 const char* text;
                             };
                             for (const Row& r : {Row{control_back, {245, 4, 68, 28}, "QPushButton", "<<<"},
                                                  Row{control_forward, {245, 36, 68, 28}, "QPushButton", ">>>"},
                                                  Row{control_search_box, {245, 72, 68, 28}, "QLineEdit", ""},
                                                  Row{control_details_box, {245, 112, 68, 156}, "QTextEdit", nullptr},
                                                  Row{control_caption_box, {0, 172, 243, 96}, "QTextEdit", nullptr}}) {
                                 ASSERT_NE(widget(r.id), nullptr) << r.id;
                                 EXPECT_EQ(widget(r.id)->geometry(),
                                           QRect(r.at.x() * s, r.at.y() * s, r.at.width() * s, r.at.height() * s))
                                     << r.id;
                                 EXPECT_TRUE(widget(r.id)->isVisible()) << r.id;
                                 EXPECT_STREQ(widget(r.id)->metaObject()->className(), r.kind) << r.id;
                                 EXPECT_TRUE(r.text == nullptr || text_of(r.id) == r.text) << r.id;
                                 EXPECT_TRUE(r.text != nullptr || static_cast<QTextEdit*>(widget(r.id))->isReadOnly())
                                     << r.id;
                             }
                             EXPECT_EQ(search_box()->maxLength(), search_text_limit);
                             EXPECT_EQ(static_cast<QTextEdit*>(widget(control_details_box))->document()->blockCount(),
                                       2);  // "\r\n" breaks the line
                             EXPECT_EQ(platform->dialog_widget(dialog)->size(), QSize(317 * s, 272 * s));
                             EXPECT_EQ(QApplication::focusWidget(), widget(control_forward));  // the first tab stop
                             // The window: title, icon, and the done button at the right of the title bar.
                             QWidget* window = platform->top_window(dialog);
                             EXPECT_EQ(window->windowTitle(), QStringLiteral("Marivue"));
                             const QList<QSize> icon_sizes = window->windowIcon().availableSizes();
                             EXPECT_TRUE(icon_sizes.contains(QSize(32, 32)) && icon_sizes.contains(QSize(16, 16)));
                             auto* done = qobject_cast<QPushButton*>(platform->done_button(dialog));
                             ASSERT_NE(done, nullptr);
                             EXPECT_TRUE(done->isVisible());
                             EXPECT_EQ(done->text(), QStringLiteral("ok"));
                             EXPECT_GT(done->mapTo(window, QPoint(0, 0)).x(), window->width() / 2);
                             EXPECT_LT(done->mapTo(window, QPoint(0, 0)).y(),
                                       platform->dialog_widget(dialog)->mapTo(window, QPoint(0, 0)).y());
                         }),
              1);
    EXPECT_TRUE(ran);
}

INSTANTIATE_TEST_SUITE_P(Scales, DesktopWindow, ::testing::Values(1, 2));

TEST(DesktopViewer, ButtonsAndKeysStepAndRewriteBothBoxes) {
    run_viewer(1, [] {
        const auto key = [](Qt::Key k) { return [k] { QTest::keyClick(QApplication::focusWidget(), k); }; };
        struct Row {
            const char* what;
            std::function<void()> act;
            bool forward;
        };
        for (const Row& row : {Row{">>>", [] { click(control_forward); }, true},
                               Row{"<<<", [] { click(control_back); }, false}, Row{"Right", key(Qt::Key_Right), true},
                               Row{"Page Down", key(Qt::Key_PageDown), true}, Row{"Space", key(Qt::Key_Space), true},
                               Row{"Left", key(Qt::Key_Left), false}, Row{"Page Up", key(Qt::Key_PageUp), false},
                               Row{"Space on <<<",
                                   [] {
                                       widget(control_back)->setFocus();
                                       QTest::keyClick(widget(control_back), Qt::Key_Space);
                                   },
                                   true}}) {
            const uint16_t id = row.forward ? following(viewer_dialog.current_id) : preceding(viewer_dialog.current_id);
            row.act();
            ASSERT_EQ(viewer_dialog.current_id, id) << row.what;
            expect_boxes_for(id, false);
            EXPECT_EQ(picture_mismatches(1), 0) << row.what;
        }
    });
}

// Replaces the search box's text as the user does: click, select, type.
void type_search(const QString& text) {
    QTest::mouseClick(search_box(), Qt::LeftButton);
    search_box()->selectAll();
    QTest::keyClicks(search_box(), text);
}

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
        for (int y = 0; y < frame_height; y += 4)
            for (int x = 0; x < frame_width; x += 4) ASSERT_EQ(typing.pixel(x, y), background) << x << "," << y;

        // A location is in no caption: the marker, no filter, one step; the
        // panel goes down and the picture is back.
        click(control_forward);
        EXPECT_FALSE(platform->input_panel_raised());
        EXPECT_EQ(search_box()->text(), QStringLiteral("Palau-NONE"));
        EXPECT_EQ(viewer_dialog.current_id, following(start));
        EXPECT_EQ(picture_mismatches(1), 0);
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
    });
}

TEST(DesktopViewer, DoneEscapeCtrlQAndClosingEndTheDialogWithOne) {
    const std::function<void()> ways[] = {
        [] { QTest::mouseClick(platform->done_button(dialog), Qt::LeftButton); },
        [] { QTest::keyClick(search_box(), Qt::Key_Escape); },
        [] { QTest::keyClick(search_box(), Qt::Key_Q, Qt::ControlModifier); },
        [] { platform->top_window(dialog)->close(); },
    };
    for (size_t way = 0; way < std::size(ways); ++way) {
        bool ended = false;
        EXPECT_EQ(run_viewer(1,
                             [&] {
                                 QTest::mouseClick(search_box(), Qt::LeftButton);  // the keys work there too
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
          Row{"picture.jpg", 2, "marivue: unknown argument 'picture.jpg'" + try_help}}) {
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
