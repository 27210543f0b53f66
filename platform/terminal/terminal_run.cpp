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
    if (dialog_open_ || procedure == nullptr || template_bytes == nullptr) return -1;
    DialogTemplate layout;
    if (!parse_dialog_template(template_bytes, template_size, &layout)) {
        failure_ = "the dialog template is damaged";
        std::fprintf(stderr, "marivue: %s\n", failure_.c_str());
        return -1;
    }
    layout_ = std::move(layout);
    dialog_ = WindowHandle{1};
    controls_.clear();
    for (size_t i = 0; i < layout_.controls.size(); ++i) {
        const DialogControlTemplate& t = layout_.controls[i];
        Control control{t, WindowHandle{2 + i}, cell_control_kind(t), t.text, terminal_default_text_limit, 0, 0};
        controls_.push_back(control);
    }
    procedure_ = procedure;
    focus_ = -1;
    done_button_ = false;
    invalid_ = false;
    erase_pending_ = false;
    picture_shown_ = false;
    picture_dirty_ = true;

    session_ = std::make_unique<Session>();
    if (!session_->set_up(&failure_)) {
        session_.reset();
        std::fprintf(stderr, "marivue: %s\n", failure_.c_str());
        dialog_ = null_window;
        procedure_ = nullptr;
        return -1;
    }
    relayout();

    dialog_open_ = true;
    dialog_result_ = -1;
    send(message_init_dialog, 0, init_argument);
    if (dialog_open_) run_loop();

    int stop = pending_stop_signal();
    session_->put_back();
    bool ignored = session_->stop_was_ignored(stop);
    session_.reset();
    dialog_open_ = false;
    dialog_ = null_window;
    procedure_ = nullptr;
    if ((stop == SIGTERM || stop == SIGHUP) && !ignored) {
        // The terminal is back to normal: end the way the signal asked.
        std::signal(stop, SIG_DFL);
        std::raise(stop);
    }
    set_pending_stop_signal(0);
    note_dialog_result(dialog_result_);
    return dialog_result_;
}

// The dialog's loop: input and the screen meet here and nowhere else. A
// terminal's new size goes to the screen, every other key to the input.
void TerminalPlatform::run_loop() {
    while (dialog_open_) {
        if (pending_stop_signal() != 0) {
            int stop = pending_stop_signal();
            if (stop == SIGINT) {
                // Ctrl+C from outside: the same as the done button.
                set_pending_stop_signal(0);
                send_command(command_ok, button_clicked);
                if (dialog_open_) continue;
            }
            return;
        }
        // Keys already waiting are handled before anything is repainted.
        wtimeout(stdscr, 0);
        wint_t key = 0;
        int got = wget_wch(stdscr, &key);
        if (got == ERR) {
            deliver_pending_paint();
            if (!dialog_open_) return;
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
