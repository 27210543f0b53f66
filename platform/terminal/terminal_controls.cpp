// The terminal front end's controls: what the terminal keeps of each
// besides the dialog model's state (caret, scrolling), and the input panel.
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
    if (!DialogPlatform::set_control_text(dialog, control_id, text)) return false;
    // A new text is shown from its start, with the caret at its end.
    ControlView* view = view_of(control_id);
    view->caret = static_cast<int32_t>(dialog_->find_control(control_id)->text.size());
    view->scroll = 0;
    return true;
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
