// Text on the terminal's cells, shared by the dialog's screen and the photo
// view's: cursor moves and erases written out directly (beside ncurses,
// around pictures), and texts measured and cut to the columns the terminal
// shows them in.
#pragma once

#include "platform/terminal/terminal_layout.h"
#include "platform/utf8.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <curses.h>

// The sequence that moves the cursor to `row`, `col` (empty when the
// terminal cannot).
std::string cursor_to(int32_t row, int32_t col);

// Erases `count` cells from `row`, `col` on and leaves the cursor there.
// Terminals without an erase-characters capability (tmux's and screen's
// descriptions have none) get spaces, which move the cursor along, so it
// is put back: the caller's next text belongs at the start of the cells.
// An erase also takes a sixel image's pixels off the cells.
std::string erase_cells(int32_t row, int32_t col, int32_t count);

// `text` cut to at most `width` columns as the terminal shows them;
// characters it cannot show become "?". *used, when given, receives the
// columns taken.
std::wstring fit_columns(const std::wstring& text, int32_t width, int32_t* used = nullptr);

// `text` in at most `width` columns: whole when it fits, else its start
// and end around a "…" (".." where the locale has no such character).
std::wstring elide_middle(const std::wstring& text, int32_t width);

// A message's lines: wrapped between words to `width` columns, each cut to
// that width, at most `max_lines` of them.
std::vector<std::wstring> message_lines(std::string_view utf8, int32_t width, int32_t max_lines);

// A box drawn around `area` (at least 2 x 2 cells) in ncurses' window, its
// lines in `attributes`.
void draw_frame(const CellRect& area, attr_t attributes);
