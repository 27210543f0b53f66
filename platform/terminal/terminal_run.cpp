// Running the terminal's dialog: its controls from the template, the
// session around it, and the loop where the input and the screen meet: each
// key goes to the input (terminal_input.cpp), a new terminal size and the
// pauses between keys to the screen (terminal_screen.cpp); neither calls the
// other.
#include "platform/terminal/terminal_platform.h"

#include "platform/terminal/terminal_session.h"

#include <csignal>
#include <cstdio>

intptr_t TerminalPlatform::dialog_box_indirect(ModuleHandle, const uint8_t* template_bytes, uint32_t template_size,
                                               WindowHandle, DialogProcedure procedure, intptr_t init_argument) {
    failure_.clear();
    if (dialog_open() || procedure == nullptr || template_bytes == nullptr) return -1;
    std::unique_ptr<DialogModel> dialog =
        DialogModel::from_template(*this, WindowHandle{1}, procedure, template_bytes, template_size);
    if (dialog == nullptr) {
        failure_ = "the dialog template is damaged";
        std::fprintf(stderr, "marivue: %s\n", failure_.c_str());
        return -1;
    }
    views_.clear();
    for (const DialogControl& control : dialog->controls())
        views_.push_back(ControlView{cell_control_kind(control.layout), 0, 0});
    picture_dirty_ = true;

    session_ = std::make_unique<Session>();
    if (!session_->set_up(&failure_)) {
        session_.reset();
        std::fprintf(stderr, "marivue: %s\n", failure_.c_str());
        return -1;
    }
    dialog_ = std::move(dialog);
    relayout();

    dialog_->initialise(init_argument);
    if (dialog_->open()) run_loop();

    int stop = pending_stop_signal();
    session_->put_back();
    bool ignored = session_->stop_was_ignored(stop);
    session_.reset();
    const intptr_t result = dialog_->open() ? -1 : dialog_->result();
    dialog_.reset();
    if ((stop == SIGTERM || stop == SIGHUP) && !ignored) {
        // The terminal is back to normal: end the way the signal asked.
        std::signal(stop, SIG_DFL);
        std::raise(stop);
    }
    set_pending_stop_signal(0);
    note_dialog_result(result);
    return result;
}

// The dialog's loop: input and the screen meet here and nowhere else. A
// terminal's new size goes to the screen, every other key to the input.
void TerminalPlatform::run_loop() {
    while (dialog_->open()) {
        if (pending_stop_signal() != 0) {
            int stop = pending_stop_signal();
            if (stop == SIGINT) {
                // Ctrl+C from outside: the same as the done button.
                set_pending_stop_signal(0);
                dialog_->notify(command_ok, button_clicked);
                if (dialog_->open()) continue;
            }
            return;
        }
        // Keys already waiting are handled before anything is repainted.
        wtimeout(stdscr, 0);
        wint_t key = 0;
        int got = wget_wch(stdscr, &key);
        if (got == ERR) {
            dialog_->deliver_paint();
            if (!dialog_->open()) return;
            draw_screen();
            wtimeout(stdscr, 200);
            got = wget_wch(stdscr, &key);
            if (got == ERR) {
                // A terminal that hung up reads as an endless stream of
                // nothing: end as on SIGHUP rather than spin.
                if (terminal_hung_up() && pending_stop_signal() == 0) set_pending_stop_signal(SIGHUP);
                continue;
            }
        }
        if (got == KEY_CODE_YES && key == KEY_RESIZE)
            relayout();
        else
            handle_key(static_cast<int32_t>(key), got == KEY_CODE_YES);
    }
}
