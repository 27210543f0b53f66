// The terminal front end's screen: the layout on the terminal's cells, the
// title row, the controls, the key hints and the picture.
#include "platform/terminal/terminal_output.h"
#include "platform/terminal/terminal_platform.h"

#include "platform/terminal/terminal_session.h"
#include "platform/terminal/terminal_text.h"

#include <unistd.h>
#include <algorithm>
#include <cwchar>
#include <string>

void TerminalPlatform::relayout() {
    if (session_ == nullptr) return;
    session_->measure_cells();
    double aspect = 2.0;
    if (session_->cell_width > 0 && session_->cell_height > 0) {
        aspect = static_cast<double>(session_->cell_height) / session_->cell_width;
    }
    session_->layout =
        layout_terminal(dialog_->layout(), LINES, COLS, terminal_surface_width, terminal_surface_height, aspect);
    for (size_t i = 0; i < views_.size(); ++i) {
        if (views_[i].kind == CellControlKind::MultiLineEdit) scroll_box(dialog_->controls()[i].layout.id, 0);
    }
    session_->full_redraw = true;
    picture_dirty_ = true;
}

namespace {

void put_text(int32_t row, int32_t col, const std::wstring& text, int32_t width) {
    if (width <= 0) return;
    mvaddnwstr(row, col, text.c_str(), std::min<int32_t>(width, static_cast<int32_t>(text.size())));
}

std::u16string decimal(int32_t value) {
    std::string digits = std::to_string(value);
    return std::u16string(digits.begin(), digits.end());
}

// The key hints for the bottom row: the longest wording that fits `width`.
std::wstring fitting_hints(bool searching, int32_t width) {
    static const wchar_t* const outside[] = {
        L" Arrows, Space, Backspace, PgUp/PgDn: step   Home/End: first/last   /: search   Esc/q: quit",
        L" Arrows, Space, Backspace: step   Home/End: first, last   /: search   q: quit",
        L" Arrows: step   Home/End: first, last   /: search   q: quit",
    };
    static const wchar_t* const inside[] = {
        L" Typing a search text. Enter or Esc: leave the box, keeping it   Ctrl+C: quit",
        L" Typing a search text. Enter or Esc: leave the box   Ctrl+C: quit",
        L" Typing. Enter/Esc: leave the box   Ctrl+C: quit",
    };
    const wchar_t* const* wordings = searching ? inside : outside;
    for (size_t i = 0; i + 1 < 3; ++i) {
        if (static_cast<int32_t>(std::wcslen(wordings[i])) <= width) return wordings[i];
    }
    return wordings[2];
}

}  // namespace

void TerminalPlatform::draw_control(const DialogControl& control, ControlView& view, const CellControl& cell) {
    const CellRect& area = cell.area;
    switch (cell.kind) {
        case CellControlKind::Button: {
            std::wstring label = to_wide(control.text);
            int32_t pad = std::max(0, (area.cols - static_cast<int32_t>(label.size())) / 2);
            attron(A_REVERSE | A_BOLD);
            mvhline(area.row, area.col, ' ', area.cols);
            put_text(area.row, area.col + pad, label, area.cols - pad);
            attroff(A_REVERSE | A_BOLD);
            return;
        }
        case CellControlKind::Label:
            put_text(area.row, area.col, to_wide(control.text), area.cols);
            return;
        case CellControlKind::SingleLineEdit: {
            bool focused = dialog_->focus() == control.layout.id;
            bool active = focused;
            draw_frame(area, active ? A_BOLD : A_NORMAL);
            std::wstring title = focused ? L" search: typing " : L" search ";
            if (area.cols > 4) {
                attron(active ? A_BOLD : A_DIM);
                put_text(area.row, area.col + 2, title, area.cols - 4);
                attroff(active ? A_BOLD : A_DIM);
            }
            int32_t inner = area.cols - 2;
            int32_t caret = std::clamp<int32_t>(view.caret, 0, static_cast<int32_t>(control.text.size()));
            // Scrolls sideways to keep the caret in view.
            if (caret < view.scroll) view.scroll = caret;
            if (caret - view.scroll >= inner) view.scroll = caret - inner + 1;
            view.scroll = std::clamp<int32_t>(view.scroll, 0, static_cast<int32_t>(control.text.size()));
            std::u16string shown = control.text.substr(static_cast<size_t>(view.scroll));
            if (shown.empty() && !focused) {
                attron(A_DIM);
                put_text(area.row + 1, area.col + 1, L"/ to type", inner);
                attroff(A_DIM);
            } else {
                put_text(area.row + 1, area.col + 1, to_wide(shown), inner);
            }
            if (focused) {
                session_->cursor_row = area.row + 1;
                session_->cursor_col = area.col + 1 + caret - view.scroll;
            }
            return;
        }
        case CellControlKind::MultiLineEdit: {
            draw_frame(area, A_NORMAL);
            int32_t inner_cols = area.cols - 2;
            int32_t inner_rows = area.rows - 2;
            std::vector<std::u16string> lines = wrap_box_text(control.text, inner_cols);
            int32_t total = static_cast<int32_t>(lines.size());
            int32_t first = std::clamp(view.scroll, 0, std::max(0, total - inner_rows));
            bool centre = (control.layout.style & edit_style_centre) != 0;
            for (int32_t i = 0; i < inner_rows && first + i < total; ++i) {
                std::wstring line = to_wide(lines[static_cast<size_t>(first + i)]);
                int32_t pad = centre ? std::max(0, (inner_cols - static_cast<int32_t>(line.size())) / 2) : 0;
                put_text(area.row + 1 + i, area.col + 1 + pad, line, inner_cols - pad);
            }
            if (first > 0) mvadd_wch(area.row, area.col + area.cols - 2, WACS_UARROW);
            if (first + inner_rows < total) mvadd_wch(area.row + area.rows - 1, area.col + area.cols - 2, WACS_DARROW);
            return;
        }
    }
}

void TerminalPlatform::draw_screen() {
    Session& session = *session_;
    const TerminalLayout& layout = session.layout;
    bool was_on_screen = session.picture_on_screen;
    if (session.full_redraw) {
        clearok(curscr, TRUE);
        session.picture_on_screen = false;
    }
    werase(stdscr);
    session.cursor_row = 0;
    session.cursor_col = 0;

    if (layout.too_small) {
        std::u16string text = u"The terminal is too small for Marivue.\nIt has " + decimal(COLS) + u" x " +
                              decimal(LINES) + u" cells; it needs at least " + decimal(terminal_minimum_cols) + u" x " +
                              decimal(terminal_minimum_rows) + u".\nEnlarge it, or press q to quit.";
        // Broken between words to the width, so that no number is cut off.
        std::vector<std::u16string> lines = wrap_box_text(text, COLS);
        int32_t count = static_cast<int32_t>(lines.size());
        int32_t top = std::max(0, (LINES - count) / 2);
        for (int32_t i = 0; i < count && top + i < LINES; ++i) {
            std::wstring line = to_wide(lines[static_cast<size_t>(i)]);
            int32_t pad = std::max(0, (COLS - static_cast<int32_t>(line.size())) / 2);
            put_text(top + i, pad, line, COLS - pad);
        }
    } else {
        // Title row: the dialog's caption and the shell's done button.
        attron(A_REVERSE);
        mvhline(layout.title.row, 0, ' ', layout.title.cols);
        put_text(layout.title.row, 1, to_wide(dialog_->layout().caption), layout.title.cols - 8);
        if (dialog_->has_done_button()) put_text(layout.done_button.row, layout.done_button.col, L"[ OK ]", 6);
        attroff(A_REVERSE);

        for (const CellControl& cell : layout.controls) {
            const DialogControl* control = dialog_->find_control(cell.id);
            if (control != nullptr && view_of(cell.id) != nullptr) draw_control(*control, *view_of(cell.id), cell);
        }

        if (!dialog_->picture_shown() && !layout.picture.empty()) {
            std::wstring note = panel_up_ ? L"(picture hidden until the next step)" : L"";
            int32_t pad = std::max(0, (layout.picture.cols - static_cast<int32_t>(note.size())) / 2);
            attron(A_DIM);
            put_text(layout.picture.row + layout.picture.rows / 2, layout.picture.col + pad, note,
                     layout.picture.cols - pad);
            attroff(A_DIM);
        }

        std::wstring hints = fitting_hints(dialog_->typing_in_box(), layout.hints.cols);
        attron(A_DIM);
        put_text(layout.hints.row, 0, hints, layout.hints.cols);
        attroff(A_DIM);
    }

    // Pixel images that are no longer wanted go before ncurses draws.
    bool want_picture = dialog_->picture_shown() && !layout.too_small;
    if (session.kitty_image && (!want_picture || picture_dirty_ || session.full_redraw)) {
        write_all(STDOUT_FILENO, kitty_remove_images, sizeof(kitty_remove_images) - 1);
        session.kitty_image = false;
    }
    if (was_on_screen && !want_picture && !session.full_redraw) {
        // Cells ncurses believes blank still show the picture.
        clearok(curscr, TRUE);
    }

    bool focused = dialog_->typing_in_box() && !layout.too_small;
    curs_set(focused ? 1 : 0);
    move(session.cursor_row, session.cursor_col);
    wnoutrefresh(stdscr);
    doupdate();
    bool redrawn = session.full_redraw;
    session.full_redraw = false;

    if (want_picture && (picture_dirty_ || redrawn || !session.picture_on_screen)) {
        draw_picture();
    } else if (!want_picture) {
        session.picture_on_screen = false;
    }
}

void TerminalPlatform::draw_picture() {
    Session& session = *session_;
    const CellRect& area = session.layout.picture;
    PictureView view{dialog_->pixels().data(), terminal_surface_width, terminal_surface_height,
                     dialog_client_width * 3};
    std::vector<std::string> rows =
        session.renderer->render(session.mode, view, area.cols, area.rows, session.cell_width, session.cell_height);
    std::string out;
    if (session.mode.output == PictureOutput::Symbols) {
        for (size_t i = 0; i < rows.size() && static_cast<int32_t>(i) < area.rows; ++i) {
            out += cursor_to(area.row + static_cast<int32_t>(i), area.col);
            out += rows[i];
        }
    } else if (!rows.empty()) {
        // The cells are erased first: a terminal keeps what an earlier
        // image left where the new one does not paint.
        for (int32_t row = area.row; row < area.row + area.rows; ++row) out += erase_cells(row, area.col, area.cols);
        out += cursor_to(area.row, area.col);
        out += rows.front();
        session.kitty_image = session.mode.output == PictureOutput::Kitty;
    }
    if (const char* reset = capability("sgr0")) out += reset;
    // Back to where ncurses left the cursor, so that its next update lines up.
    out += cursor_to(session.cursor_row, session.cursor_col);
    write_all(STDOUT_FILENO, out.data(), out.size());
    picture_dirty_ = false;
    session.picture_on_screen = true;
}
