// A platform without a window system, for tests: it holds the dialog's
// window-system state in the DialogModel every front end uses, and records
// what the dialog shows (control texts, the input panel, every block copy
// into an off-screen image of the client area).
//
// A test drives it as a user would: it gives a `user` function that
// dialog_box_indirect runs once the dialog is initialised (and painted); the
// function presses buttons, types into edit controls and finally presses the
// shell's done button. If the user function returns while the dialog is
// still open, dialog_box_indirect returns -1, as when a front end closes.
//
// After every user action the platform delivers a pending paint, as a window
// system does when its input queue is empty.
#pragma once

#include "platform/dialog_platform.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class HeadlessPlatform : public DialogPlatform {
public:
    struct BlockCopy {
        DrawContext destination;
        int32_t x;
        int32_t y;
        int32_t width;
        int32_t height;
        DrawContext source;
        int32_t source_x;
        int32_t source_y;
        uint32_t raster;
    };

    HeadlessPlatform();
    ~HeadlessPlatform() override;

    // --- Injection -----------------------------------------------------------
    // Each defaults to the behaviour of the base Platform when left empty.
    std::function<void(HeadlessPlatform&)> user;
    std::function<int32_t()> random_source;
    std::function<uint32_t()> tick_source;
    std::function<bool(uint16_t type, uint16_t id, const uint8_t** data, uint32_t* size)> resource_source;
    std::function<int32_t(uint16_t id, char16_t* buffer, int32_t limit)> string_source;
    // Set-up resources that fail to be created, for tests of that handling.
    bool fail_screen_context = false;
    bool fail_compatible_context = false;
    bool fail_dib_section = false;

    // --- The user's actions (while the dialog is open) ----------------------
    // Each returns false when the dialog is not open or the control is
    // missing or of the wrong kind.

    // Taps a push button: the focus moves to it, then it reports a click.
    bool press_button(uint16_t control_id);
    // A key that sends a command of its own (Home, End), as a front end's
    // key map does; the focus stays where it is.
    bool press_key_command(uint16_t command);
    // Taps a control: the focus moves to it (an edit control reports gaining
    // it; nothing happens when it has the focus already).
    bool touch_control(uint16_t control_id);
    // Touches an edit control and types `text` one character at a time (a
    // surrogate pair is one); each that fits the control's text limit
    // reports a change, the rest are refused. Returns false if any was
    // refused.
    bool type_text(uint16_t control_id, const std::u16string& text);
    // Erases the whole text of an edit control as the user would (touch,
    // select all, delete): one change report.
    bool clear_text(uint16_t control_id);
    // The shell's done button: command 1.
    bool press_done();
    // Something uncovered the dialog: it is repainted with its background erased.
    bool request_repaint();
    // The user lowers the input panel through the shell, not the program.
    bool lower_panel_by_shell();

    // --- Observations --------------------------------------------------------
    bool dialog_open() const { return dialog_ != nullptr && dialog_->open(); }
    bool dialog_created() const { return dialog_ != nullptr; }
    WindowHandle dialog_window() const { return dialog_ != nullptr ? dialog_->handle() : null_window; }
    const DialogControl* control(uint16_t control_id) const;
    std::u16string control_text(uint16_t control_id) const;
    bool input_panel_up() const { return panel_up_; }
    // Every show_input_panel call, in order (1 raise, 0 lower).
    const std::vector<int32_t>& input_panel_calls() const { return panel_calls_; }
    const std::vector<BlockCopy>& block_copies() const { return copies_; }
    // The screen image of the client area: dialog_client_width x
    // dialog_client_height pixels, 3 bytes each (blue, green, red), rows top-down.
    const std::vector<uint8_t>& screen() const { return dialog_->pixels(); }
    const std::vector<std::string>& diagnostics() const { return diagnostics_; }
    const ShellDialogInit& shell_request() const { return shell_request_; }
    uint32_t seed() const { return seed_; }
    int32_t random_draws() const { return random_draws_; }

    // --- Platform ------------------------------------------------------------
    // Controls and painting are DialogPlatform's, contexts and bitmaps
    // SurfacePlatform's: create_compatible_context, create_dib_section and
    // block_copy here only add the failures asked for above and the record
    // of block copies.
    intptr_t dialog_box_indirect(ModuleHandle module, const uint8_t* template_bytes, uint32_t template_size,
                                 WindowHandle owner, DialogProcedure procedure, intptr_t init_argument) override;
    bool shell_init_dialog(const ShellDialogInit& request) override;
    bool show_input_panel(int32_t show) override;
    DrawContext get_screen_context(WindowHandle window) override;
    DrawContext create_compatible_context(DrawContext context) override;
    BitmapHandle create_dib_section(DrawContext context, const BitmapInfoHeader* header, uint32_t colour_use,
                                    uint8_t** pixels, uintptr_t mapping, uint32_t offset) override;
    bool block_copy(DrawContext destination, int32_t x, int32_t y, int32_t width, int32_t height, DrawContext source,
                    int32_t source_x, int32_t source_y, uint32_t raster) override;
    bool find_resource(ModuleHandle module, uint16_t type, uint16_t id, const uint8_t** data, uint32_t* size) override;
    int32_t load_string(ModuleHandle module, uint16_t id, char16_t* buffer, int32_t limit) override;
    int32_t random() override;
    void seed_random(uint32_t seed) override;
    uint32_t tick_count() override;
    void diagnostic_print(const char* format, int32_t value) override;

private:
    DialogModel* dialog_model(WindowHandle window) override;
    bool user_may_act() const { return dialog_open(); }
    // A user's action is over: a pending paint is delivered.
    bool done_acting();

    std::unique_ptr<DialogModel> dialog_;  // kept once ended, for the tests to look at
    bool panel_up_ = false;
    std::vector<int32_t> panel_calls_;
    std::vector<BlockCopy> copies_;
    std::vector<std::string> diagnostics_;
    ShellDialogInit shell_request_{};
    uint32_t seed_ = 0;
    int32_t random_draws_ = 0;
};
