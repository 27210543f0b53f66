// The terminal front end's controls: their texts and limits, and the input
// panel.
#include "platform/terminal/terminal_platform.h"

#include "platform/terminal/terminal_layout.h"
#include "platform/terminal/terminal_session.h"

#include <algorithm>

TerminalPlatform::Control* TerminalPlatform::find_control(int32_t control_id) {
    for (Control& control : controls_) {
        if (control.layout.id == control_id) return &control;
    }
    return nullptr;
}

bool TerminalPlatform::set_control_text(WindowHandle dialog, int32_t control_id, const char16_t* text) {
    if (dialog != dialog_) return false;
    Control* control = find_control(control_id);
    if (control == nullptr) return false;
    control->text = text != nullptr ? std::u16string(text) : std::u16string();
    control->caret = static_cast<int32_t>(control->text.size());
    control->scroll = 0;
    return true;
}

int32_t TerminalPlatform::get_control_text(WindowHandle dialog, int32_t control_id, char16_t* buffer, int32_t limit) {
    if (buffer == nullptr || limit < 0) return 0;
    buffer[0] = 0;
    if (dialog != dialog_) return 0;
    const Control* control = find_control(control_id);
    if (control == nullptr) return 0;
    int32_t count = std::min<int32_t>(limit, static_cast<int32_t>(control->text.size()));
    // Never end on half a surrogate pair.
    if (count > 0 && count < static_cast<int32_t>(control->text.size()) &&
        is_high_surrogate(control->text[count - 1])) {
        --count;
    }
    std::copy(control->text.begin(), control->text.begin() + count, buffer);
    buffer[count] = 0;
    return count;
}

bool TerminalPlatform::set_control_text_limit(WindowHandle dialog, int32_t control_id, int32_t limit) {
    if (dialog != dialog_) return false;
    Control* control = find_control(control_id);
    if (control == nullptr || control->layout.class_ordinal != control_class_edit) return false;
    control->text_limit = limit > 0 ? limit : terminal_default_text_limit;
    return true;
}

bool TerminalPlatform::show_input_panel(int32_t show) {
    bool up = show != 0;
    if (up != panel_up_) {
        panel_up_ = up;
        // The panel covers or uncovers part of the window, which is then
        // repainted.
        if (dialog_ != null_window) invalidate_rect(dialog_, nullptr, 1);
    }
    return true;
}

void TerminalPlatform::scroll_box(int32_t control_id, int32_t lines) {
    Control* box = find_control(control_id);
    if (box == nullptr || session_ == nullptr) return;
    const CellControl* cell = find_cell_control(session_->layout, box->layout.id);
    if (cell == nullptr) return;
    int32_t inner_rows = cell->area.rows - 2;
    int32_t total = static_cast<int32_t>(wrap_box_text(box->text, cell->area.cols - 2).size());
    int32_t last = std::max(0, total - inner_rows);
    box->scroll = std::clamp(box->scroll + lines, 0, last);
}
