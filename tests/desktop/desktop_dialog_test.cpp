// The viewer over the desktop front end, driven as a user drives it: mouse
// clicks, typing and keys delivered to the real widgets.
#include "desktop_test_support.h"

#include <QCloseEvent>
#include <QPushButton>

#include <gtest/gtest.h>

namespace {

QRgb background_of(DesktopPlatform& platform, WindowHandle dialog) {
    return platform.dialog_widget(dialog)->palette().color(QPalette::Window).rgb();
}

void click(DesktopPlatform& platform, WindowHandle dialog, int32_t control_id) {
    QWidget* widget = platform.control_widget(dialog, control_id);
    ASSERT_NE(widget, nullptr) << control_id;
    QTest::mouseClick(widget, Qt::LeftButton);
}

class DesktopViewer : public ::testing::TestWithParam<int32_t> {};

TEST_P(DesktopViewer, ShowsTheFrameBufferAfterStart) {
    const int32_t scale = GetParam();
    DesktopPlatform platform(scale);
    bool ran = false;
    run_viewer(platform, [&](DesktopPlatform& p, WindowHandle dialog) {
        ran = true;
        ASSERT_NE(viewer_dialog.frame_pixels, nullptr);
        ASSERT_GE(viewer_dialog.current_id, first_picture_id);
        ASSERT_LE(viewer_dialog.current_id, last_picture_id);
        const QImage shown = grab_dialog(p, dialog);
        ASSERT_EQ(shown.width(), 317 * scale);
        ASSERT_EQ(shown.height(), 272 * scale);
        EXPECT_EQ(picture_mismatches(shown, viewer_dialog.frame_pixels, scale), 0);
        // The frame is not a flat colour, so the comparison means something.
        EXPECT_GT(picture_pixels_not(shown, shown.pixel(0, 0), scale), 0);
        EXPECT_TRUE(ends_with(narrow(text_of(p, dialog, control_caption_box)),
                              image_line(viewer_dialog.current_id, true)));
        EXPECT_NE(narrow(text_of(p, dialog, control_details_box)).find("\r\n[Credit: "), std::string::npos);
    });
    EXPECT_TRUE(ran);
}

TEST_P(DesktopViewer, ForwardAndBackButtonsStepAndRewriteBothBoxes) {
    const int32_t scale = GetParam();
    DesktopPlatform platform(scale);
    run_viewer(platform, [&](DesktopPlatform& p, WindowHandle dialog) {
        const uint16_t start = viewer_dialog.current_id;
        const std::u16string details_before = text_of(p, dialog, control_details_box);

        click(p, dialog, control_forward);
        EXPECT_EQ(viewer_dialog.current_id, following(start));
        EXPECT_TRUE(ends_with(narrow(text_of(p, dialog, control_caption_box)),
                              image_line(following(start), false)));
        EXPECT_EQ(picture_mismatches(grab_dialog(p, dialog), viewer_dialog.frame_pixels, scale), 0);

        click(p, dialog, control_back);
        click(p, dialog, control_back);
        EXPECT_EQ(viewer_dialog.current_id, preceding(start));
        EXPECT_TRUE(ends_with(narrow(text_of(p, dialog, control_caption_box)),
                              image_line(preceding(start), false)));
        EXPECT_EQ(picture_mismatches(grab_dialog(p, dialog), viewer_dialog.frame_pixels, scale), 0);

        click(p, dialog, control_forward);
        EXPECT_EQ(viewer_dialog.current_id, start);
        EXPECT_EQ(text_of(p, dialog, control_details_box), details_before);
    });
}

INSTANTIATE_TEST_SUITE_P(Scales, DesktopViewer, ::testing::Values(1, 2));

TEST(DesktopViewerBoxes, DetailsFollowThePicture) {
    DesktopPlatform platform(1);
    run_viewer(platform, [&](DesktopPlatform& p, WindowHandle dialog) {
        // Step until picture 303 shows: "Gulf of Aqaba, Red Sea", a space, a
        // one-space date, the credit line.
        for (int i = 0; i < 304 && viewer_dialog.current_id != last_picture_id; ++i) click(p, dialog, control_forward);
        ASSERT_EQ(viewer_dialog.current_id, last_picture_id);
        EXPECT_EQ(narrow(text_of(p, dialog, control_details_box)),
                  "Gulf of Aqaba, Red Sea  \r\n[Credit: www.marivue.example.org]");
        // The multi-line box shows the line break as a new line.
        auto* box = dynamic_cast<QTextEdit*>(p.control_widget(dialog, control_details_box));
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->document()->blockCount(), 2);
        click(p, dialog, control_forward);
        EXPECT_EQ(viewer_dialog.current_id, first_picture_id);
        EXPECT_EQ(narrow(text_of(p, dialog, control_details_box)),
                  "Truk Lagoon  Reef (Chuuk) July 1974\r\n[Credit: www.marivue.example.org]");
    });
}

TEST(DesktopViewerSearch, ANameNoCaptionHoldsGetsTheMarkerAndThePictureWaitsForTheStep) {
    DesktopPlatform platform(1);
    run_viewer(platform, [&](DesktopPlatform& p, WindowHandle dialog) {
        const uint16_t start = viewer_dialog.current_id;
        const int32_t copies_before = p.window_copies();
        auto* search = dynamic_cast<QLineEdit*>(p.control_widget(dialog, control_search_box));
        ASSERT_NE(search, nullptr);

        QTest::mouseClick(search, Qt::LeftButton);
        EXPECT_TRUE(search->hasFocus());
        EXPECT_TRUE(p.input_panel_raised());
        EXPECT_TRUE(viewer_dialog.input_panel_up);

        QTest::keyClicks(search, QStringLiteral("Palau"));
        EXPECT_EQ(narrow(viewer_dialog.search_text), "Palau");
        EXPECT_EQ(viewer_dialog.current_id, start);  // typing alone steps nowhere

        // While the panel is up a repaint erases the picture area only.
        const QImage while_typing = grab_dialog(p, dialog);
        EXPECT_EQ(picture_pixels_not(while_typing, background_of(p, dialog), 1), 0);
        EXPECT_EQ(p.window_copies(), copies_before + 0);

        click(p, dialog, control_forward);
        EXPECT_FALSE(p.input_panel_raised());
        EXPECT_FALSE(viewer_dialog.input_panel_up);
        EXPECT_EQ(search->text(), QStringLiteral("Palau-NONE"));
        EXPECT_FALSE(viewer_dialog.filter_active);
        EXPECT_EQ(viewer_dialog.current_id, following(start));
        EXPECT_EQ(picture_mismatches(grab_dialog(p, dialog), viewer_dialog.frame_pixels, 1), 0);

        // A second press without editing keeps one marker.
        click(p, dialog, control_forward);
        EXPECT_EQ(search->text(), QStringLiteral("Palau-NONE"));
    });
}

TEST(DesktopViewerSearch, AWordOfTheCaptionSwitchesTheFilterOn) {
    DesktopPlatform platform(1);
    run_viewer(platform, [&](DesktopPlatform& p, WindowHandle dialog) {
        const uint16_t start = viewer_dialog.current_id;
        QWidget* search = p.control_widget(dialog, control_search_box);
        QTest::mouseClick(search, Qt::LeftButton);
        QTest::keyClicks(search, QStringLiteral("identify"));
        click(p, dialog, control_back);
        EXPECT_TRUE(viewer_dialog.filter_active);
        EXPECT_EQ(narrow(text_of(p, dialog, control_search_box)), "identify");
        // Every caption holds the word, so the step still moves one picture.
        EXPECT_EQ(viewer_dialog.current_id, preceding(start));

        // The same word capitalised matches nothing.
        QTest::mouseClick(search, Qt::LeftButton);
        static_cast<QLineEdit*>(search)->selectAll();
        QTest::keyClicks(search, QStringLiteral("Identify"));
        click(p, dialog, control_back);
        EXPECT_FALSE(viewer_dialog.filter_active);
        EXPECT_EQ(narrow(text_of(p, dialog, control_search_box)), "Identify-NONE");
    });
}

TEST(DesktopViewerSearch, TheUserCannotTypePastTheLimitButTheProgramsTextIsKept) {
    DesktopPlatform platform(1);
    run_viewer(platform, [&](DesktopPlatform& p, WindowHandle dialog) {
        auto* search = static_cast<QLineEdit*>(p.control_widget(dialog, control_search_box));
        QTest::mouseClick(search, Qt::LeftButton);
        QTest::keyClicks(search, QString(260, QLatin1Char('x')));
        EXPECT_EQ(search->text().size(), search_text_limit);
        EXPECT_EQ(wide_length(viewer_dialog.search_text), search_text_limit);
        // The marker is appended behind the full 250 units.
        click(p, dialog, control_forward);
        EXPECT_EQ(search->text().size(), search_text_limit + 5);
        EXPECT_TRUE(search->text().endsWith(QStringLiteral("-NONE")));
        // Now full: typing is refused, deleting works and the room shrinks.
        QTest::mouseClick(search, Qt::LeftButton);
        search->end(false);
        QTest::keyClick(search, Qt::Key_Z);
        EXPECT_EQ(search->text().size(), search_text_limit + 5);
        QTest::keyClick(search, Qt::Key_Backspace);
        QTest::keyClick(search, Qt::Key_Z);
        EXPECT_EQ(search->text().size(), search_text_limit + 4);
        EXPECT_FALSE(search->text().endsWith(QLatin1Char('Z')));
    });
}

TEST(DesktopViewerKeys, StepKeysSendTheButtonsCommands) {
    DesktopPlatform platform(1);
    run_viewer(platform, [&](DesktopPlatform& p, WindowHandle dialog) {
        QWidget* window = p.top_window(dialog);
        QWidget* focus = p.control_widget(dialog, control_caption_box);
        focus->setFocus();
        uint16_t id = viewer_dialog.current_id;
        for (Qt::Key key : {Qt::Key_Right, Qt::Key_PageDown, Qt::Key_Space}) {
            QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : window, key);
            id = following(id);
            EXPECT_EQ(viewer_dialog.current_id, id) << key;
            EXPECT_TRUE(ends_with(narrow(text_of(p, dialog, control_caption_box)), image_line(id, false)));
        }
        for (Qt::Key key : {Qt::Key_Left, Qt::Key_PageUp}) {
            QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : window, key);
            id = preceding(id);
            EXPECT_EQ(viewer_dialog.current_id, id) << key;
        }
        // On the back button, Space is still the forward key.
        p.control_widget(dialog, control_back)->setFocus();
        QTest::keyClick(p.control_widget(dialog, control_back), Qt::Key_Space);
        EXPECT_EQ(viewer_dialog.current_id, following(id));
        id = following(id);

        // In the search box the keys edit the text instead.
        auto* search = static_cast<QLineEdit*>(p.control_widget(dialog, control_search_box));
        QTest::mouseClick(search, Qt::LeftButton);
        QTest::keyClicks(search, QStringLiteral("ab"));
        QTest::keyClick(search, Qt::Key_Left);
        QTest::keyClick(search, Qt::Key_Space);
        QTest::keyClick(search, Qt::Key_Right);
        QTest::keyClick(search, Qt::Key_PageUp);
        EXPECT_EQ(viewer_dialog.current_id, id);
        EXPECT_EQ(search->text(), QStringLiteral("a b"));
    });
}

TEST(DesktopViewerEnd, DoneButtonEndsTheDialogAndTheEntryReturnsOne) {
    DesktopPlatform platform(1);
    bool shown = false;
    bool still_open_after_done = true;
    const int32_t result = run_viewer(platform, [&](DesktopPlatform& p, WindowHandle dialog) {
        shown = true;
        QWidget* done = p.done_button(dialog);
        ASSERT_NE(done, nullptr);
        EXPECT_TRUE(done->isVisible());  // the shell was asked for it
        QTest::mouseClick(done, Qt::LeftButton);
        // The dialog has ended: further commands are not delivered.
        still_open_after_done = p.send_command(dialog, control_forward, button_clicked) != 0;
    });
    EXPECT_TRUE(shown);
    EXPECT_FALSE(still_open_after_done);
    EXPECT_EQ(result, 1);
}

TEST(DesktopViewerEnd, EscapeCtrlQAndClosingTheWindowAreDone) {
    for (int way = 0; way < 3; ++way) {
        DesktopPlatform platform(1);
        uint16_t id_after = 0;
        const int32_t result = run_viewer(platform, [&](DesktopPlatform& p, WindowHandle dialog) {
            QWidget* search = p.control_widget(dialog, control_search_box);
            QTest::mouseClick(search, Qt::LeftButton);  // the keys work from the search box too
            const uint16_t id = viewer_dialog.current_id;
            if (way == 0) QTest::keyClick(search, Qt::Key_Escape);
            if (way == 1) QTest::keyClick(search, Qt::Key_Q, Qt::ControlModifier);
            if (way == 2) p.top_window(dialog)->close();
            id_after = viewer_dialog.current_id;
            // Ended: a step now changes nothing.
            EXPECT_EQ(p.send_command(dialog, control_forward, button_clicked), 0) << way;
            EXPECT_EQ(viewer_dialog.current_id, id) << way;
        });
        EXPECT_EQ(result, 1) << way;
        EXPECT_NE(id_after, 0) << way;
    }
}

TEST(DesktopViewerEnd, OtherControlsCommandsChangeNothing) {
    DesktopPlatform platform(1);
    run_viewer(platform, [&](DesktopPlatform& p, WindowHandle dialog) {
        const uint16_t id = viewer_dialog.current_id;
        const std::u16string caption = text_of(p, dialog, control_caption_box);
        // Focus moving through the read-only boxes notifies the dialog, which ignores it.
        QTest::mouseClick(p.control_widget(dialog, control_caption_box), Qt::LeftButton);
        QTest::mouseClick(p.control_widget(dialog, control_details_box), Qt::LeftButton);
        EXPECT_EQ(p.send_command(dialog, control_caption_box, edit_set_focus), 0);
        EXPECT_EQ(viewer_dialog.current_id, id);
        EXPECT_EQ(text_of(p, dialog, control_caption_box), caption);
        EXPECT_FALSE(viewer_dialog.input_panel_up);
    });
}

}  // namespace
