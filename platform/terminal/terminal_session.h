// The terminal session of a running dialog: the ncurses screen, the picture
// renderer chosen for this terminal, and what puts the terminal back when
// the dialog ends, on a stop signal (SIGINT, SIGTERM, SIGHUP), at exit and
// on crashes. The terminal's own helpers that the screen and the dialog's loop
// share are declared here too.
#pragma once

#include "platform/terminal/terminal_platform.h"

#include <csignal>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include <curses.h>

struct TerminalPlatform::Session {
    SCREEN* screen = nullptr;
    std::unique_ptr<PictureRenderer> renderer;
    PictureMode mode;
    TerminalLayout layout;
    int32_t cell_width = 0;  // pixels, 0 when unknown
    int32_t cell_height = 0;
    bool full_redraw = true;
    bool kitty_image = false;  // a kitty image is on the screen
    bool picture_on_screen = false;
    int32_t cursor_row = 0;
    int32_t cursor_col = 0;
    struct sigaction previous_stop[3];
    bool stop_ignored[3] = {false, false, false};
    bool handlers_installed = false;
    struct sigaction previous_crash[5];

    ~Session() { put_back(); }

    // Sets up the screen and the signal handlers; false, with the reason in
    // *failure, when this terminal cannot be used.
    bool set_up(std::string* failure);
    // Puts the terminal and the signal handlers back as they were.
    void put_back();
    void measure_cells();
    // Whether the process was started ignoring `signal_number` (nohup);
    // known once the terminal is put back.
    bool stop_was_ignored(int signal_number) const;
};

// The stop signal that arrived and waits for the dialog's loop, or 0.
int pending_stop_signal();
void set_pending_stop_signal(int signal_number);

// A terminfo string capability, or null when the terminal has none.
const char* capability(const char* name);

// After an Escape key: reads and drops the rest of a terminal's answer that
// follows it (one that came after the start-up queries stopped waiting);
// false, with nothing read, when no answer follows.
bool skip_terminal_answer();

// Whether the terminal has gone (hung up, or its input at its end).
bool terminal_hung_up();

// The sequence that removes every kitty image from the screen.
constexpr char kitty_remove_images[] = "\033_Ga=d\033\\";
