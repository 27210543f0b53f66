// The terminal front end: the viewer's dialog on a character terminal, for
// use over SSH and on machines without a display.
//
// Screen: the title row carries the dialog's caption and the shell's done
// button ("[ OK ]"); below it the picture (drawn with libchafa, see
// terminal_render.h) with the caption box under it and, to its right, the
// "<<<" and ">>>" buttons, the search box and the details box, arranged as
// terminal_layout.h describes; the bottom row lists the keys. Boxes wrap
// their text ("\r\n" breaks lines) and scroll when it does not fit. The
// screen follows the terminal's size and says so when it is too small.
//
// Keys: the viewer's key map (platform/key_map.h): Right, Down, Space and
// Page Down press ">>>", Left, Up, Backspace and Page Up "<<<", Home and End
// jump to the first and last picture, "/" or Tab put the focus into the
// search box, "q" or Escape press the done button. In the search box typing
// edits the text (Left, Right, Home, End, Backspace, Delete) and Enter,
// Escape or Tab leave it, keeping the text. Ctrl+C presses the done button
// and Ctrl+L redraws the screen anywhere. Mouse clicks on the buttons, the
// done button and the search box work where the terminal reports them; the
// wheel steps over the picture and scrolls the caption and details boxes
// under the pointer, which is how their hidden lines are reached.
//
// The window system's rules (texts, limits, focus, notifications,
// invalidation) are the dialog model's (platform/dialog_model.h): this
// front end turns keys and clicks into it and draws what it holds. The
// input panel has no keyboard here, so raising it only repaints the window,
// as when a panel covers it; paints are delivered when the window is
// invalid and no key is waiting, or at once by update_window. The window's
// surface is the client area's top-left 240 x 160 pixels, where the viewer
// draws its frame; the picture cells show it in its proportions. An erased
// surface leaves the picture cells blank.
//
// The terminal is restored (normal screen, cursor, mouse reporting off) when
// the dialog ends, when the process exits, and on SIGINT (taken as the done
// button), SIGTERM and SIGHUP (the process then ends by that signal), and
// on crashes. A signal the process was started ignoring (nohup) stays
// ignored; a terminal that hangs up ends the dialog all the same.
//
// Given picture files, the program runs the photo view instead
// (run_photo_view, drawn as terminal_photo_screen.h describes) in a session
// of its own, set up and put back the same way. Its keys are the photo
// view's key map (platform/photo_view.h); Ctrl+C quits and Ctrl+L redraws
// the screen. Where the terminal reports the mouse, the wheel steps (in the
// gallery it scrolls), Ctrl+wheel zooms about the cell under the pointer, a
// double click turns full screen on and off, and in the gallery a click
// chooses a picture and a double click opens it.
//
// MARIVUE_SEED: when set to a number, tick_count() returns it, so the random
// start picture is the same on every run (for tests and demonstrations).
#pragma once

#include "platform/dialog_platform.h"
#include "platform/key_map.h"
#include "platform/terminal/terminal_layout.h"
#include "platform/terminal/terminal_render.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// The part of the client area the picture cells show: where the viewer
// draws its frame.
constexpr int32_t terminal_surface_width = 240;
constexpr int32_t terminal_surface_height = 160;

// Name of the seed variable.
constexpr char terminal_seed_variable[] = "MARIVUE_SEED";

// The value of MARIVUE_SEED: a decimal number 0 to 4294967295, or nothing
// when unset or not such a number.
std::optional<uint32_t> seed_from_environment(const char* value);

// True when standard input and output are both terminals.
bool terminal_attached();

class TerminalPlatform final : public DialogPlatform {
public:
    TerminalPlatform();
    ~TerminalPlatform() override;
    TerminalPlatform(const TerminalPlatform&) = delete;
    TerminalPlatform& operator=(const TerminalPlatform&) = delete;

    // Why the last dialog could not run (the terminal could not be set up),
    // or empty.
    const std::string& failure() const { return failure_; }

    intptr_t dialog_box_indirect(ModuleHandle module, const uint8_t* template_bytes, uint32_t template_size,
                                 WindowHandle owner, DialogProcedure procedure, intptr_t init_argument) override;
    bool shell_init_dialog(const ShellDialogInit& request) override;
    bool set_control_text(WindowHandle dialog, int32_t control_id, const char16_t* text) override;
    bool show_input_panel(int32_t show) override;
    uint32_t tick_count() override;
    // The photo view on this terminal (terminal_photo_screen.h), in a session
    // of its own with the same restoring of the terminal as the dialog's.
    int run_photo_view(PhotoController& controller) override;

private:
    struct Session;  // the ncurses screen and what puts the terminal back, in terminal_session.h

    // What the terminal keeps of a control besides the model's state.
    struct ControlView {
        CellControlKind kind;
        int32_t caret;  // units before the caret (edit controls)
        int32_t scroll;  // first display line (multi-line) or unit (single-line) shown
    };

    DialogModel* dialog_model(WindowHandle window) override { return is_dialog(window) ? dialog_.get() : nullptr; }
    // A copy into the window's context is a picture to draw again.
    bool draw_to_window(const SurfaceContext& destination, SurfaceBitmap& source, int32_t x, int32_t y, int32_t width,
                        int32_t height, int32_t source_x, int32_t source_y) override;

    bool is_dialog(WindowHandle window) const { return dialog_ != nullptr && window == dialog_->handle(); }
    bool dialog_open() const { return dialog_ != nullptr && dialog_->open(); }
    ControlView* view_of(int32_t control_id);

    // The loop that hands input to the dialog and draws the screen between
    // keys, in terminal_run.cpp.
    void run_loop();
    // A control's lines scrolled by `lines`, kept within its text, in
    // terminal_controls.cpp.
    void scroll_box(int32_t control_id, int32_t lines);
    // Input, in terminal_input.cpp.
    void handle_key(int32_t key, bool is_function_key);
    void act(ViewerAction action);
    void handle_mouse();
    void focus_search(bool focus);
    void edit_search(int32_t key, bool is_function_key);
    // Screen, in terminal_screen.cpp.
    void relayout();
    void draw_screen();
    void draw_picture();
    void draw_control(const DialogControl& control, ControlView& view, const CellControl& cell);

    std::string failure_;
    std::unique_ptr<DialogModel> dialog_;
    std::vector<ControlView> views_;  // one per control of the dialog, in its order

    bool picture_dirty_ = true;
    bool panel_up_ = false;

    std::unique_ptr<Session> session_;
};
