// Cell layout of the dialog and text wrapping for the terminal front end.
#include "platform/terminal/terminal_layout.h"

#include "platform/platform.h"
#include "platform/utf8.h"

#include <algorithm>
#include <cmath>
#include <string_view>

namespace {

// Rows a control needs at least: a frame takes two, and a multi-line box
// shows three lines, enough for a caption and its image line at 80 columns.
int32_t minimum_rows(CellControlKind kind) {
    switch (kind) {
        case CellControlKind::MultiLineEdit:
            return 5;
        case CellControlKind::SingleLineEdit:
            return 3;
        case CellControlKind::Button:
        case CellControlKind::Label:
            return 1;
    }
    return 1;
}

struct Stacked {
    size_t index;  // into the template's controls
    CellControlKind kind;
    int16_t y;
};

// Stacks `items` top to bottom in `area`: fixed-height controls get their
// rows, multi-line boxes share what is left, and a blank row separates
// neighbours when there is room for all separators. False when the minimum
// heights do not fit.
bool stack_controls(const std::vector<Stacked>& items, const CellRect& area, std::vector<CellControl>* out,
                    const DialogTemplate& dialog) {
    if (items.empty()) return true;
    int32_t needed = 0;
    int32_t growing = 0;
    for (const Stacked& item : items) {
        needed += minimum_rows(item.kind);
        if (item.kind == CellControlKind::MultiLineEdit) ++growing;
    }
    if (needed > area.rows) return false;
    int32_t spare = area.rows - needed;
    int32_t gaps = static_cast<int32_t>(items.size()) - 1;
    int32_t gap = 0;
    if (gaps > 0 && spare >= gaps + 4 * growing) {
        gap = 1;
        spare -= gaps;
    }
    int32_t row = area.row;
    int32_t grown = 0;
    for (const Stacked& item : items) {
        int32_t height = minimum_rows(item.kind);
        if (item.kind == CellControlKind::MultiLineEdit && growing > 0) {
            ++grown;
            int32_t share = spare / growing;
            if (grown == growing) share = spare - share * (growing - 1);
            height += share;
        }
        CellControl control;
        control.id = dialog.controls[item.index].id;
        control.kind = item.kind;
        control.area = CellRect{row, area.col, height, area.cols};
        out->push_back(control);
        row += height + gap;
    }
    return true;
}

}  // namespace

CellControlKind cell_control_kind(const DialogControlTemplate& control) {
    if (control.class_ordinal == control_class_button) return CellControlKind::Button;
    if (control.class_ordinal == control_class_edit) {
        return (control.style & edit_style_multi_line) != 0 ? CellControlKind::MultiLineEdit
                                                            : CellControlKind::SingleLineEdit;
    }
    return CellControlKind::Label;
}

TerminalLayout layout_terminal(const DialogTemplate& dialog, int32_t rows, int32_t cols, int32_t picture_width,
                               int32_t picture_height, double cell_aspect) {
    TerminalLayout layout;
    layout.screen_rows = rows;
    layout.screen_cols = cols;
    if (rows < terminal_minimum_rows || cols < terminal_minimum_cols || picture_width <= 0 || picture_height <= 0 ||
        !(cell_aspect > 0.0)) {
        return layout;
    }

    // Controls at the dialog's left edge go under the picture, the others
    // into the right-hand column; each group keeps its vertical order.
    std::vector<Stacked> left;
    std::vector<Stacked> right;
    for (size_t i = 0; i < dialog.controls.size(); ++i) {
        const DialogControlTemplate& control = dialog.controls[i];
        if ((control.style & style_visible) == 0) continue;
        Stacked item{i, cell_control_kind(control), control.y};
        (control.x <= 0 ? left : right).push_back(item);
    }
    auto by_y = [](const Stacked& a, const Stacked& b) { return a.y < b.y; };
    std::stable_sort(left.begin(), left.end(), by_y);
    std::stable_sort(right.begin(), right.end(), by_y);

    const int32_t body_top = 1;
    const int32_t body_rows = rows - 2;
    const int32_t right_cols = right.empty() ? 0 : std::clamp(cols * 2 / 9, 20, 32);
    const int32_t left_cols = right.empty() ? cols : cols - right_cols - 1;

    int32_t left_needed = 0;
    for (const Stacked& item : left) left_needed += minimum_rows(item.kind);

    // The picture: as many rows as leave room for the controls below it and
    // whose proportional width fits the left column.
    const double cols_per_row = cell_aspect * picture_width / picture_height;
    int32_t picture_rows =
        std::min(body_rows - left_needed, static_cast<int32_t>(std::floor(left_cols / cols_per_row)));
    if (picture_rows < 4) return layout;
    int32_t picture_cols = std::clamp(static_cast<int32_t>(std::lround(picture_rows * cols_per_row)), 1, left_cols);

    std::vector<CellControl> placed;
    CellRect below{body_top + picture_rows, 0, body_rows - picture_rows, left_cols};
    CellRect column{body_top, left_cols + 1, body_rows, right_cols};
    if (!stack_controls(left, below, &placed, dialog)) return layout;
    if (!stack_controls(right, column, &placed, dialog)) return layout;

    // Back in template order, which is the order controls are looked up in.
    std::vector<CellControl> ordered;
    for (const DialogControlTemplate& control : dialog.controls) {
        for (const CellControl& cell : placed) {
            if (cell.id == control.id) ordered.push_back(cell);
        }
    }

    layout.too_small = false;
    layout.title = CellRect{0, 0, 1, cols};
    layout.done_button = CellRect{0, cols - 6, 1, 6};
    layout.hints = CellRect{rows - 1, 0, 1, cols};
    layout.picture = CellRect{body_top, 0, picture_rows, picture_cols};
    layout.controls = std::move(ordered);
    return layout;
}

const CellControl* find_cell_control(const TerminalLayout& layout, uint16_t id) {
    for (const CellControl& control : layout.controls) {
        if (control.id == id) return &control;
    }
    return nullptr;
}

namespace {

// Characters a long word may break after: those that join the parts of
// addresses, paths and compounds.
bool breaks_after(const std::u16string& character) {
    return character.size() == 1 && std::u16string_view(u"./-_@,;:?&=").find(character[0]) != std::u16string_view::npos;
}

// Splits one logical line into display lines; each element of `chars` is
// one character (one unit, or a surrogate pair).
void wrap_line(const std::vector<std::u16string>& chars, int32_t width, std::vector<std::u16string>* out) {
    size_t start = 0;
    const size_t count = chars.size();
    if (count == 0) {
        out->emplace_back();
        return;
    }
    const size_t w = static_cast<size_t>(width);
    while (start < count) {
        if (count - start <= w) {
            std::u16string line;
            for (size_t i = start; i < count; ++i) line += chars[i];
            out->push_back(line);
            return;
        }
        // The last space at or before the width, so that the text before
        // it fills the line.
        size_t space = count;
        for (size_t i = start + w; i > start; --i) {
            if (chars[i] == u" ") {
                space = i;
                break;
            }
        }
        size_t end = start + w;
        if (space != count) {
            end = space;
        } else {
            // A word longer than the line (an address) breaks after its
            // last punctuation that fits, and only without one inside it.
            for (size_t i = start + w; i > start; --i) {
                if (breaks_after(chars[i - 1])) {
                    end = i;
                    break;
                }
            }
        }
        std::u16string line;
        for (size_t i = start; i < end; ++i) line += chars[i];
        out->push_back(line);
        start = space != count ? space + 1 : end;
    }
}

}  // namespace

std::vector<std::u16string> wrap_box_text(const std::u16string& text, int32_t width) {
    std::vector<std::u16string> lines;
    if (text.empty() || width <= 0) return lines;
    std::vector<std::u16string> chars;
    for (size_t i = 0; i < text.size(); ++i) {
        char16_t unit = text[i];
        if (unit == u'\r' || unit == u'\n') {
            if (unit == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ++i;
            wrap_line(chars, width, &lines);
            chars.clear();
            continue;
        }
        if (unit < 0x20 || unit == 0x7F) continue;
        if (is_high_surrogate(unit) && i + 1 < text.size() && is_low_surrogate(text[i + 1])) {
            chars.push_back(text.substr(i, 2));
            ++i;
            continue;
        }
        if (is_high_surrogate(unit) || is_low_surrogate(unit)) {
            chars.push_back(std::u16string(1, u'\uFFFD'));
            continue;
        }
        chars.push_back(std::u16string(1, unit));
    }
    wrap_line(chars, width, &lines);
    return lines;
}

std::wstring to_wide(const std::u16string& text) {
    std::wstring wide;
    wide.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char16_t unit = text[i];
        if (is_high_surrogate(unit) && i + 1 < text.size() && is_low_surrogate(text[i + 1])) {
            uint32_t code = 0x10000u + ((static_cast<uint32_t>(unit) - 0xD800u) << 10) +
                            (static_cast<uint32_t>(text[i + 1]) - 0xDC00u);
            wide.push_back(static_cast<wchar_t>(code));
            ++i;
        } else if (is_high_surrogate(unit) || is_low_surrogate(unit)) {
            wide.push_back(L'\uFFFD');
        } else {
            wide.push_back(static_cast<wchar_t>(unit));
        }
    }
    return wide;
}
