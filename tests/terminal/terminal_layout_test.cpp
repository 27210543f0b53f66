// Cell layout of the viewer's dialog and wrapping of box texts.
#include "platform/terminal_layout.h"

#include "platform/dialog_template.h"
#include "platform/platform.h"
#include "platform/resource_store.h"

#include <gtest/gtest.h>

namespace {

constexpr uint16_t forward_id = 1002;
constexpr uint16_t back_id = 1003;
constexpr uint16_t caption_id = 1004;
constexpr uint16_t details_id = 1006;
constexpr uint16_t search_id = 1008;

DialogTemplate viewer_template() {
    ResourceBytes bytes{nullptr, 0};
    EXPECT_TRUE(find_resource(resource_type_dialog, 104, &bytes));
    DialogTemplate dialog;
    EXPECT_TRUE(parse_dialog_template(bytes.data, bytes.size, &dialog));
    return dialog;
}

bool overlap(const CellRect& a, const CellRect& b) {
    return a.row < b.row + b.rows && b.row < a.row + a.rows && a.col < b.col + b.cols && b.col < a.col + a.cols;
}

bool inside(const CellRect& a, int32_t rows, int32_t cols) {
    return a.row >= 0 && a.col >= 0 && a.row + a.rows <= rows && a.col + a.cols <= cols;
}

TEST(TerminalLayout, FollowsTheDialogOnAUsualTerminal) {
    DialogTemplate dialog = viewer_template();
    TerminalLayout layout = layout_terminal(dialog, 40, 120, 240, 160, 2.0);
    ASSERT_FALSE(layout.too_small);
    const CellControl* forward = find_cell_control(layout, forward_id);
    const CellControl* back = find_cell_control(layout, back_id);
    const CellControl* caption = find_cell_control(layout, caption_id);
    const CellControl* details = find_cell_control(layout, details_id);
    const CellControl* search = find_cell_control(layout, search_id);
    ASSERT_TRUE(forward && back && caption && details && search);

    // Picture at the top left, below the title row, in proportion (3:2 on
    // cells twice as tall as wide: three columns a row).
    EXPECT_EQ(layout.picture.row, 1);
    EXPECT_EQ(layout.picture.col, 0);
    EXPECT_NEAR(static_cast<double>(layout.picture.cols) / layout.picture.rows, 3.0, 0.1);
    EXPECT_GE(layout.picture.rows, 25);

    // The caption box directly below the picture, as wide as it at least.
    EXPECT_EQ(caption->kind, CellControlKind::MultiLineEdit);
    EXPECT_EQ(caption->area.row, layout.picture.row + layout.picture.rows);
    EXPECT_EQ(caption->area.col, 0);
    EXPECT_GE(caption->area.cols, layout.picture.cols);
    EXPECT_EQ(caption->area.row + caption->area.rows, 39);

    // To the right, top to bottom: "<<<", ">>>", the search box, the details box.
    for (const CellControl* right : {back, forward, search, details}) {
        EXPECT_GE(right->area.col, layout.picture.col + layout.picture.cols);
    }
    EXPECT_EQ(back->kind, CellControlKind::Button);
    EXPECT_EQ(forward->kind, CellControlKind::Button);
    EXPECT_EQ(search->kind, CellControlKind::SingleLineEdit);
    EXPECT_EQ(details->kind, CellControlKind::MultiLineEdit);
    EXPECT_LT(back->area.row, forward->area.row);
    EXPECT_LT(forward->area.row, search->area.row);
    EXPECT_LT(search->area.row, details->area.row);
    EXPECT_EQ(search->area.rows, 3);
    EXPECT_EQ(details->area.row + details->area.rows, 39);

    EXPECT_EQ(layout.title.row, 0);
    EXPECT_EQ(layout.hints.row, 39);
    EXPECT_TRUE(layout.done_button.contains(0, 119));
}

TEST(TerminalLayout, NothingOverlapsAndEverythingFitsAtAnyAcceptedSize) {
    DialogTemplate dialog = viewer_template();
    for (int32_t rows = terminal_minimum_rows; rows <= 90; rows += 3) {
        for (int32_t cols = terminal_minimum_cols; cols <= 260; cols += 7) {
            for (double aspect : {2.0, 2.4, 1.0}) {
                TerminalLayout layout = layout_terminal(dialog, rows, cols, 240, 160, aspect);
                SCOPED_TRACE(testing::Message() << cols << " x " << rows << " aspect " << aspect);
                ASSERT_FALSE(layout.too_small);
                ASSERT_EQ(layout.controls.size(), 5u);
                std::vector<CellRect> areas{layout.picture, layout.title, layout.hints};
                for (const CellControl& control : layout.controls) areas.push_back(control.area);
                for (size_t i = 0; i < areas.size(); ++i) {
                    EXPECT_FALSE(areas[i].empty()) << i;
                    EXPECT_TRUE(inside(areas[i], rows, cols)) << i;
                    for (size_t j = i + 1; j < areas.size(); ++j) EXPECT_FALSE(overlap(areas[i], areas[j])) << i << " " << j;
                }
                // Text boxes keep at least two text rows inside their frame.
                EXPECT_GE(find_cell_control(layout, caption_id)->area.rows, 4);
                EXPECT_GE(find_cell_control(layout, details_id)->area.rows, 4);
            }
        }
    }
}

TEST(TerminalLayout, SaysTooSmallBelowTheMinimum) {
    DialogTemplate dialog = viewer_template();
    EXPECT_FALSE(layout_terminal(dialog, terminal_minimum_rows, terminal_minimum_cols, 240, 160, 2.0).too_small);
    EXPECT_TRUE(layout_terminal(dialog, terminal_minimum_rows - 1, 200, 240, 160, 2.0).too_small);
    EXPECT_TRUE(layout_terminal(dialog, 80, terminal_minimum_cols - 1, 240, 160, 2.0).too_small);
    EXPECT_TRUE(layout_terminal(dialog, 0, 0, 240, 160, 2.0).too_small);
    EXPECT_TRUE(layout_terminal(dialog, 40, 120, 0, 160, 2.0).too_small);
    TerminalLayout small = layout_terminal(dialog, 10, 40, 240, 160, 2.0);
    EXPECT_TRUE(small.too_small);
    EXPECT_TRUE(small.controls.empty());
}

TEST(TerminalLayout, ControlKindsComeFromClassAndStyle) {
    DialogControlTemplate control{};
    control.class_ordinal = control_class_button;
    EXPECT_EQ(cell_control_kind(control), CellControlKind::Button);
    control.class_ordinal = control_class_edit;
    control.style = edit_style_multi_line | edit_style_read_only;
    EXPECT_EQ(cell_control_kind(control), CellControlKind::MultiLineEdit);
    control.style = edit_style_auto_horizontal_scroll;
    EXPECT_EQ(cell_control_kind(control), CellControlKind::SingleLineEdit);
    control.class_ordinal = control_class_static;
    EXPECT_EQ(cell_control_kind(control), CellControlKind::Label);
}

TEST(WrapBoxText, BreaksAtLineBreaksAndBetweenWords) {
    using Lines = std::vector<std::u16string>;
    EXPECT_EQ(wrap_box_text(u"", 10), Lines{});
    EXPECT_EQ(wrap_box_text(u"caption\r\nImage #  7", 20), (Lines{u"caption", u"Image #  7"}));
    EXPECT_EQ(wrap_box_text(u"a\rb\nc", 20), (Lines{u"a", u"b", u"c"}));
    EXPECT_EQ(wrap_box_text(u"one\r\n\r\ntwo\r\n", 20), (Lines{u"one", u"", u"two", u""}));
    // The break is the last space that lets the line fill its width.
    EXPECT_EQ(wrap_box_text(u"the quick brown fox", 10), (Lines{u"the quick", u"brown fox"}));
    EXPECT_EQ(wrap_box_text(u"abcde fghij", 5), (Lines{u"abcde", u"fghij"}));
    // A word longer than the width is cut.
    EXPECT_EQ(wrap_box_text(u"photos@marivue.example.org", 10),
              (Lines{u"photos@mar", u"ivue.examp", u"le.org"}));
    // Leading spaces stay (the set-up image line starts with one).
    EXPECT_EQ(wrap_box_text(u"\r\n Image #303", 20), (Lines{u"", u" Image #303"}));
    // Control characters other than line breaks are dropped.
    EXPECT_EQ(wrap_box_text(u"a\tb\x01" u"c", 20), (Lines{u"abc"}));
}

TEST(WrapBoxText, EveryLineFitsAndNoTextIsLost) {
    std::u16string text =
        u"If you can identify this/these animal(s), please email photos@marivue.example.org, specifying: "
        u"\r\nImage #123";
    for (int32_t width = 1; width <= 100; ++width) {
        std::vector<std::u16string> lines = wrap_box_text(text, width);
        std::u16string joined;
        for (const std::u16string& line : lines) {
            EXPECT_LE(static_cast<int32_t>(line.size()), width);
            joined += line;
        }
        std::u16string expected;
        for (char16_t unit : text) {
            if (unit != u' ' && unit != u'\r' && unit != u'\n') expected += unit;
        }
        std::u16string got;
        for (char16_t unit : joined) {
            if (unit != u' ') got += unit;
        }
        EXPECT_EQ(got, expected) << width;
    }
}

TEST(WrapBoxText, KeepsSurrogatePairsWhole) {
    // Three characters outside the basic plane, two to a line.
    std::u16string text = u"\U0001F41F\U0001F420\U0001F421";
    std::vector<std::u16string> lines = wrap_box_text(text, 2);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], u"\U0001F41F\U0001F420");
    EXPECT_EQ(lines[1], u"\U0001F421");
    EXPECT_EQ(to_wide(lines[1]), std::wstring(1, static_cast<wchar_t>(0x1F421)));
    // A lone surrogate is shown as a replacement character.
    EXPECT_EQ(to_wide(std::u16string(1, static_cast<char16_t>(0xD800))), std::wstring(1, L'\uFFFD'));
}

}  // namespace
