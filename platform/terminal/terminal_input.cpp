// The terminal front end's input: what each key and mouse report does to
// the dialog. The session's loop (terminal_session.cpp) waits for them and
// draws the screen; input never draws.
#include "platform/terminal/terminal_platform.h"

#include "platform/key_map.h"
#include "platform/terminal/terminal_session.h"
#include "platform/utf8.h"

#include <algorithm>
#include <optional>

namespace {

constexpr int32_t key_ctrl_c = 3;
constexpr int32_t key_ctrl_l = 12;
constexpr int32_t key_escape = 27;
constexpr int32_t key_delete_char = 127;
constexpr int32_t key_backspace_char = 8;

// The viewer's name for an ncurses key, if the key map gives it a meaning.
std::optional<ViewerKey> to_viewer_key(int32_t key, bool is_function_key) {
    if (is_function_key) {
        switch (key) {
            case KEY_RIGHT:
                return ViewerKey::Right;
            case KEY_LEFT:
                return ViewerKey::Left;
            case KEY_DOWN:
                return ViewerKey::Down;
            case KEY_UP:
                return ViewerKey::Up;
            case KEY_BACKSPACE:
                return ViewerKey::Backspace;
            case KEY_NPAGE:
                return ViewerKey::PageDown;
            case KEY_PPAGE:
                return ViewerKey::PageUp;
            case KEY_HOME:
                return ViewerKey::Home;
            case KEY_END:
                return ViewerKey::End;
            case KEY_ENTER:
                return ViewerKey::Enter;
            case KEY_F(11):
                return ViewerKey::F11;
            default:
                return std::nullopt;
        }
    }
    switch (key) {
        case ' ':
            return ViewerKey::Space;
        case key_delete_char:
        case key_backspace_char:
            return ViewerKey::Backspace;
        case '/':
            return ViewerKey::Slash;
        case '\t':
            return ViewerKey::Tab;
        case '\r':
        case '\n':
            return ViewerKey::Enter;
        case key_escape:
            return ViewerKey::Escape;
        case 'q':
        case 'Q':
            return ViewerKey::Q;
        default:
            return std::nullopt;
    }
}

}  // namespace

void TerminalPlatform::focus_search(bool focus) {
    const std::vector<DialogControl>& controls = dialog_->controls();
    for (size_t i = 0; i < controls.size() && i < views_.size(); ++i) {
        if (views_[i].kind != CellControlKind::SingleLineEdit || !controls[i].is_editable()) continue;
        const uint16_t id = controls[i].layout.id;
        if (focus)
            dialog_->set_focus(id);
        else if (dialog_->focus() == id)
            dialog_->set_focus(-1);
        return;
    }
}

void TerminalPlatform::handle_key(int32_t key, bool is_function_key) {
    if (session_ == nullptr) return;
    if (is_function_key && key == KEY_MOUSE) {
        handle_mouse();
        return;
    }
    if (!is_function_key && key == key_ctrl_c) {
        dialog_->notify(command_ok, button_clicked);
        return;
    }
    if (!is_function_key && key == key_ctrl_l) {
        session_->full_redraw = true;
        picture_dirty_ = true;
        return;
    }
    // A terminal's answer that came after the start-up queries stopped
    // waiting for it is no Escape key.
    if (!is_function_key && key == key_escape && skip_terminal_answer()) return;
    std::optional<ViewerKey> viewer_key = to_viewer_key(key, is_function_key);
    ViewerAction action = viewer_key ? viewer_action(*viewer_key, dialog_->typing_in_box()) : ViewerAction::None;
    if (action == ViewerAction::None) {
        if (dialog_->typing_in_box()) edit_search(key, is_function_key);
        return;
    }
    act(action);
}

void TerminalPlatform::act(ViewerAction action) {
    // A step leaves the search box first, as a click on a button would.
    if (action == ViewerAction::Forward || action == ViewerAction::Back) focus_search(false);
    if (action == ViewerAction::Search || action == ViewerAction::LeaveSearch)
        focus_search(action == ViewerAction::Search);
    else
        send_viewer_command(*dialog_, action);  // full screen: the terminal's window is not ours to size
}

bool skip_terminal_answer() {
    wtimeout(stdscr, 0);
    wint_t next = 0;
    int got = wget_wch(stdscr, &next);
    if (got == ERR) return false;
    // Control sequence and application program command answers.
    if (got == KEY_CODE_YES) {
        ungetch(static_cast<int>(next));
        return false;
    }
    if (next != '[' && next != '_') {
        unget_wch(static_cast<wchar_t>(next));
        return false;
    }
    bool command = next == '_';
    wint_t previous = next;
    while (wget_wch(stdscr, &next) != ERR) {
        if (command ? (previous == key_escape && next == '\\') : (next >= 0x40 && next <= 0x7E)) break;
        previous = next;
    }
    return true;
}

void TerminalPlatform::edit_search(int32_t key, bool is_function_key) {
    const uint16_t id = static_cast<uint16_t>(dialog_->focus());
    ControlView* view = view_of(id);
    if (view == nullptr) return;
    std::u16string text = dialog_->find_control(id)->text;
    int32_t& caret = view->caret;
    caret = std::clamp<int32_t>(caret, 0, static_cast<int32_t>(text.size()));
    auto step_left = [&](int32_t at) {
        if (at >= 2 && is_low_surrogate(text[at - 1]) && is_high_surrogate(text[at - 2])) return at - 2;
        return at > 0 ? at - 1 : 0;
    };
    auto step_right = [&](int32_t at) {
        int32_t size = static_cast<int32_t>(text.size());
        if (at + 1 < size && is_high_surrogate(text[at]) && is_low_surrogate(text[at + 1])) return at + 2;
        return at < size ? at + 1 : size;
    };

    if (is_function_key) {
        switch (key) {
            case KEY_LEFT:
                caret = step_left(caret);
                return;
            case KEY_RIGHT:
                caret = step_right(caret);
                return;
            case KEY_HOME:
                caret = 0;
                return;
            case KEY_END:
                caret = static_cast<int32_t>(text.size());
                return;
            case KEY_BACKSPACE:
                if (caret > 0) {
                    int32_t from = step_left(caret);
                    text.erase(from, caret - from);
                    caret = from;
                    dialog_->edited(id, text);
                }
                return;
            case KEY_DC:
                if (caret < static_cast<int32_t>(text.size())) {
                    text.erase(caret, step_right(caret) - caret);
                    dialog_->edited(id, text);
                }
                return;
            case KEY_BTAB:
                focus_search(false);
                return;
            default:
                return;
        }
    }
    // Tab moves the focus on, out of the box, as in a window.
    if (key == '\t') {
        focus_search(false);
        return;
    }
    if (key == key_delete_char || key == key_backspace_char) {
        handle_key(KEY_BACKSPACE, true);
        return;
    }
    if (key < 0x20 || (key >= 0x7F && key < 0xA0) || key > 0x10FFFF || (key >= 0xD800 && key <= 0xDFFF)) return;
    std::u16string units;
    if (key >= 0x10000) {
        uint32_t code = static_cast<uint32_t>(key) - 0x10000u;
        units.push_back(static_cast<char16_t>(0xD800u + (code >> 10)));
        units.push_back(static_cast<char16_t>(0xDC00u + (code & 0x3FFu)));
    } else {
        units.push_back(static_cast<char16_t>(key));
    }
    // Input beyond the control's limit is refused.
    const int32_t at = caret;
    caret += static_cast<int32_t>(units.size());
    if (!dialog_->type_units(id, static_cast<size_t>(at), units)) {
        caret = at;
        beep();
    }
}

void TerminalPlatform::handle_mouse() {
    // One KEY_MOUSE can stand for several reports that came in one read (a
    // quick double click, a fast turn of the wheel): the rest wait in the
    // queue, and each is taken.
    const auto one = [this](const MEVENT& event) {
        if (session_ == nullptr) return;
        const TerminalLayout& layout = session_->layout;
        if (layout.too_small) return;
        int32_t row = event.y;
        int32_t col = event.x;
        if ((event.bstate & (BUTTON4_PRESSED | BUTTON5_PRESSED)) != 0) {
            bool up = (event.bstate & BUTTON4_PRESSED) != 0;
            // The wheel scrolls a box under the pointer and steps over the
            // picture.
            for (const CellControl& cell : layout.controls) {
                if (cell.kind == CellControlKind::MultiLineEdit && cell.area.contains(row, col)) {
                    scroll_box(cell.id, up ? -1 : 1);
                }
            }
            if (layout.picture.contains(row, col)) {
                act(viewer_action(up ? ViewerKey::WheelUp : ViewerKey::WheelDown, dialog_->typing_in_box()));
            }
            return;
        }
        if ((event.bstate & BUTTON1_PRESSED) == 0) return;
        if (dialog_->has_done_button() && layout.done_button.contains(row, col)) {
            focus_search(false);
            dialog_->notify(command_ok, button_clicked);
            return;
        }
        for (const CellControl& cell : layout.controls) {
            if (!cell.area.contains(row, col)) continue;
            const DialogControl* control = dialog_->find_control(cell.id);
            if (control == nullptr) return;
            if (cell.kind == CellControlKind::Button) {
                focus_search(false);
                dialog_->notify(cell.id, button_clicked);
            } else if (cell.kind == CellControlKind::SingleLineEdit && control->is_editable()) {
                focus_search(true);
            } else {
                focus_search(false);
            }
            return;
        }
        focus_search(false);
    };
    MEVENT event{};
    while (getmouse(&event) == OK) one(event);
}
