// Where the terminal front end puts things: the dialog's picture and controls
// arranged on a grid of character cells, and the wrapping of text into the
// boxes. Pure functions over plain records, so they run without a terminal.
//
// The arrangement follows the dialog template: the picture at the top left,
// the controls that start at the dialog's left edge stacked below it, and
// the other controls stacked in a column to its right in template order of
// their vertical position. A title row (the dialog's caption and the shell's
// done button) is on top and a row of key hints at the bottom.
#pragma once

#include "platform/dialog_template.h"

#include <cstdint>
#include <string>
#include <vector>

struct CellRect {
    int32_t row = 0;
    int32_t col = 0;
    int32_t rows = 0;
    int32_t cols = 0;

    bool contains(int32_t r, int32_t c) const { return r >= row && r < row + rows && c >= col && c < col + cols; }
    bool empty() const { return rows <= 0 || cols <= 0; }
};

// What a control is drawn as.
enum class CellControlKind : int32_t {
    Button,  // one row, its text centred
    SingleLineEdit,  // a framed box of one text row
    MultiLineEdit,  // a framed box of several text rows
    Label,  // any other class: its text on one row
};

struct CellControl {
    uint16_t id = 0;
    CellControlKind kind = CellControlKind::Label;
    CellRect area;  // including the frame of an edit box
};

struct TerminalLayout {
    bool too_small = true;
    int32_t screen_rows = 0;
    int32_t screen_cols = 0;
    CellRect title;  // the dialog caption row
    CellRect done_button;  // within the title row
    CellRect hints;  // the key hint row
    CellRect picture;  // cells that show the frame
    std::vector<CellControl> controls;  // in template order
};

// Smallest terminal the layout accepts.
constexpr int32_t terminal_minimum_cols = 60;
constexpr int32_t terminal_minimum_rows = 16;

// What kind of cell a template control becomes.
CellControlKind cell_control_kind(const DialogControlTemplate& control);

// Lays out `dialog` on a `rows` x `cols` terminal. The picture, of
// `picture_width` x `picture_height` pixels, keeps its proportions on cells
// that are `cell_aspect` times as tall as they are wide (2 for the usual
// terminal font). too_small is set, with no other area filled, when the
// controls or a useful picture do not fit.
TerminalLayout layout_terminal(const DialogTemplate& dialog, int32_t rows, int32_t cols, int32_t picture_width,
                               int32_t picture_height, double cell_aspect);

// The control placed for `id`, or null.
const CellControl* find_cell_control(const TerminalLayout& layout, uint16_t id);

// Text of a box broken into display lines of at most `width` characters:
// "\r\n" (and a lone "\r" or "\n") ends a line; a line too long breaks at
// its last space that fits; a word longer than the width breaks after its
// last punctuation that fits (".", "/", "-", "@" and the like), or inside
// the word when it has none. Other
// control characters are dropped. Characters outside the basic plane are
// kept whole (one display line never splits a surrogate pair).
std::vector<std::u16string> wrap_box_text(const std::u16string& text, int32_t width);

// The display text of a UTF-16 string as wide characters.
std::wstring to_wide(const std::u16string& text);
