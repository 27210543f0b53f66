// The terminal front end's controls: their texts and limits through the
// dialog model, what the terminal keeps of each (caret, scrolling), and the
// input panel.
#include "platform/terminal/terminal_platform.h"

#include "platform/terminal/terminal_layout.h"
#include "platform/terminal/terminal_session.h"

#include <algorithm>

TerminalPlatform::ControlView* TerminalPlatform::view_of(int32_t control_id) {
    if (dialog_ == nullptr) return nullptr;
    const std::vector<DialogControl>& controls = dialog_->controls();
    for (size_t i = 0; i < controls.size() && i < views_.size(); ++i)
        if (controls[i].layout.id == control_id) return &views_[i];
    return nullptr;
}

bool TerminalPlatform::set_control_text(WindowHandle dialog, int32_t control_id, const char16_t* text) {
    if (!is_dialog(dialog) || !dialog_->set_text(control_id, text)) return false;
    // A new text is shown from its start, with the caret at its end.
    ControlView* view = view_of(control_id);
    view->caret = static_cast<int32_t>(dialog_->find_control(control_id)->text.size());
    view->scroll = 0;
    return true;
}

int32_t TerminalPlatform::get_control_text(WindowHandle dialog, int32_t control_id, char16_t* buffer, int32_t limit) {
    if (is_dialog(dialog)) return dialog_->copy_text(control_id, buffer, limit);
    if (buffer != nullptr && limit >= 0) buffer[0] = 0;
    return 0;
}

bool TerminalPlatform::set_control_text_limit(WindowHandle dialog, int32_t control_id, int32_t limit) {
    return is_dialog(dialog) && dialog_->set_text_limit(control_id, limit);
}

bool TerminalPlatform::show_input_panel(int32_t show) {
    bool up = show != 0;
    if (up != panel_up_) {
        panel_up_ = up;
        // The panel covers or uncovers part of the window, which is then
        // repainted.
        if (dialog_ != nullptr) invalidate_rect(dialog_->handle(), nullptr, 1);
    }
    return true;
}

void TerminalPlatform::scroll_box(int32_t control_id, int32_t lines) {
    ControlView* view = view_of(control_id);
    if (view == nullptr || session_ == nullptr) return;
    const CellControl* cell = find_cell_control(session_->layout, control_id);
    if (cell == nullptr) return;
    int32_t inner_rows = cell->area.rows - 2;
    int32_t total =
        static_cast<int32_t>(wrap_box_text(dialog_->find_control(control_id)->text, cell->area.cols - 2).size());
    int32_t last = std::max(0, total - inner_rows);
    view->scroll = std::clamp(view->scroll + lines, 0, last);
}
