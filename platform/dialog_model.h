// One running dialog as the window system keeps it, whatever shows it: its
// controls built from the template, their texts and text limits, the
// focus, the notifications the controls send, whether it has ended, what
// of its client area waits for a repaint, and the client area's pixels as
// the dialog has drawn them. Every front end holds one
// per dialog, shows it its own way and turns its user's input into the
// calls below, so that the rules written here are the ones every front end
// (and the tests' headless double) follows:
//   - Control handles are the dialog's handle plus 1, 2, ... in template
//     order.
//   - A new edit control's text limit is default_text_limit; a limit of 0
//     or less restores it.
//   - Text set by the program is kept whole, without a notification.
//   - copy_text() cuts at the caller's limit, but never between the two halves
//     of a surrogate pair: the result then ends one unit short.
//   - The user's typing is refused when the text would pass the limit; the
//     user may always delete, even from a text the program made longer.
//   - Focus moves notify edit_kill_focus to the edit control losing it
//     first, then edit_set_focus to the one gaining it.
//   - Invalid parts of the client area add up until a paint validates
//     them; one paint is delivered per request even to a procedure that
//     does not validate, so that a faulty one cannot loop.
//   - Erasing paints the background, which shows no picture until the
//     dialog copies one in again.
#pragma once

#include "platform/dialog_template.h"
#include "platform/platform.h"
#include "platform/surface.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// A new edit control's text limit, as on the handheld.
constexpr int32_t default_text_limit = 30000;

// The client area of a full-screen dialog on the handheld: a 240 x 320
// screen less its 26-pixel title bar.
constexpr int32_t dialog_client_width = 240;
constexpr int32_t dialog_client_height = 294;
// What erasing the background paints, on each of blue, green, red.
constexpr uint8_t dialog_background = 0xFF;

// Window and control styles beyond those platform.h names.
constexpr uint32_t style_disabled = 0x08000000;
constexpr uint32_t style_tab_stop = 0x00010000;

// The control class of a template entry: its ordinal, or the predefined
// class its name stands for; 0 for a class no front end knows.
uint16_t control_class(const DialogControlTemplate& control);

struct DialogControl {
    DialogControlTemplate layout;
    uint16_t control_class;  // control_class_*, or 0
    WindowHandle window;
    std::u16string text;
    int32_t text_limit;

    bool is_edit() const { return control_class == control_class_edit; }
    // An edit control the user can type into.
    bool is_editable() const { return is_edit() && (layout.style & edit_style_read_only) == 0; }
};

// What a paint is to cover, and whether the background is to be erased first.
struct PaintRequest {
    Rect rect;
    bool erase;
};

class DialogModel {
public:
    // Builds the dialog from `size` template bytes; null when they are no
    // complete standard template. Its messages go to `procedure` with
    // `platform`.
    static std::unique_ptr<DialogModel> from_template(Platform& platform, WindowHandle handle,
                                                      DialogProcedure procedure, const uint8_t* template_bytes,
                                                      uint32_t size);

    WindowHandle handle() const { return handle_; }
    const DialogTemplate& layout() const { return layout_; }
    const std::vector<DialogControl>& controls() const { return controls_; }
    DialogControl* find_control(int32_t id);
    const DialogControl* find_control(int32_t id) const;
    // The first enabled, visible tab stop: the control the focus goes to.
    const DialogControl* first_tab_stop() const;

    // --- The dialog's life -----------------------------------------------------
    // Sends message_init_dialog; when the procedure asks for it (a non-zero
    // result), the first tab stop gets the focus. The dialog, now shown, is
    // invalid as a whole.
    void initialise(intptr_t init_argument);
    bool open() const { return open_; }
    intptr_t result() const { return result_; }
    // Ends the dialog with `result`; false once it has ended.
    bool end_with(intptr_t result);
    // The shell's request: false for another window.
    bool shell_init(const ShellDialogInit& request);
    bool has_done_button() const { return done_button_; }

    // --- Messages --------------------------------------------------------------
    // Delivers a message to the procedure while the dialog is open; 0 once
    // it has ended.
    intptr_t deliver(uint32_t message, uintptr_t first, intptr_t second);
    // A command from control `id` (its window as the second argument), or
    // from no control (command_ok, the shell's done button; a key's command).
    intptr_t notify(uint16_t id, uint16_t notification);

    // --- Texts -----------------------------------------------------------------
    bool set_text(int32_t id, const char16_t* text);
    // Copies at most `limit` units and a terminator into `buffer`; the
    // number of units. Nothing is written for a negative limit or without
    // a buffer.
    int32_t copy_text(int32_t id, char16_t* buffer, int32_t limit) const;
    bool set_text_limit(int32_t id, int32_t limit);
    // How many units the user's text may have now: the limit, or the text
    // set by the program when that is longer.
    int32_t typing_room(int32_t id) const;
    // The user typed `units` at unit `at` of an editable control: refused
    // (false) when they would pass its limit, else inserted and notified.
    bool type_units(int32_t id, size_t at, const std::u16string& units);
    // The user's edit left the control holding `text`: notified when it
    // changed anything.
    bool edited(int32_t id, const std::u16string& text);

    // --- Focus -----------------------------------------------------------------
    int32_t focus() const { return focus_; }
    // Whether an edit control the user types into has the focus.
    bool typing_in_box() const;
    // Moves the focus to control `id` (-1: to no control).
    void set_focus(int32_t id);

    // --- Invalidation -----------------------------------------------------------
    // Marks `rect` (null: the whole client area) as invalid, to be erased
    // before the paint when `erase` is set.
    void invalidate(const Rect* rect, bool erase);
    bool invalid() const { return invalid_; }
    // Validates the client area, and says what the paint covers.
    PaintRequest validate();
    // Delivers message_paint when part of the dialog is invalid.
    void deliver_paint();

    // --- The client area's pixels -------------------------------------------------
    // dialog_client_width x dialog_client_height, blue, green, red, rows
    // top-down; black until drawn.
    const std::vector<uint8_t>& pixels() const { return pixels_; }
    // Whether they show a picture: a copy has come in since the last erase.
    bool picture_shown() const { return picture_shown_; }
    // The block the copies have covered so far; empty before the first.
    const Rect& drawn() const { return drawn_; }
    void erase_background(const Rect& rect);
    // Copies a block of `from` in at (x, y), clipped to both.
    void copy_in(const PixelPlane& from, int32_t x, int32_t y, int32_t width, int32_t height, int32_t source_x,
                 int32_t source_y);

private:
    DialogModel(Platform& platform, WindowHandle handle, DialogProcedure procedure, DialogTemplate layout);

    Platform& platform_;
    WindowHandle handle_;
    DialogProcedure procedure_;
    DialogTemplate layout_;
    std::vector<DialogControl> controls_;
    bool open_ = true;
    intptr_t result_ = -1;
    bool done_button_ = false;
    int32_t focus_ = -1;
    bool invalid_ = false;
    bool erase_ = false;
    Rect invalid_rect_{0, 0, 0, 0};
    std::vector<uint8_t> pixels_;
    bool picture_shown_ = false;
    Rect drawn_{0, 0, 0, 0};
};
