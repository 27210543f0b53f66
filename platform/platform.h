// Marivue platform layer: the window-system and runtime services the viewer
// uses, gathered behind one interface.
//
// The viewer was written for a small handheld window system: a dialog
// procedure that receives numbered messages with two arguments, controls
// addressed by identifier, drawing contexts, device-independent bitmaps and a
// soft input panel. This header keeps that shape so the viewer logic stays as
// it was written, and each front end (headless for tests, desktop, terminal)
// derives from `Platform` and implements the window-system half (its drawing
// contexts and bitmaps through the shared SurfacePlatform of surface.h). The
// runtime half (resources, strings, random numbers, ticks, diagnostics) has
// working defaults here that every front end can keep.
//
// Conventions every implementation must follow:
//   - One thread: every call, and every message delivered to the dialog
//     procedure, happens on the thread that called dialog_box_indirect.
//   - Handles are opaque integers; 0 is the null handle and means failure
//     where a function returns one.
//   - Text is UTF-16 (char16_t), zero-terminated. A `limit` is the greatest
//     number of units copied, not counting the terminator: the buffer must
//     hold limit + 1 units, and the result is always terminated.
//   - Messages are delivered the way a window system delivers them:
//     message_init_dialog first, before any other message to the dialog;
//     message_paint whenever part of the client area is invalid and either
//     update_window is called or the front end has no user input pending;
//     message_command for button clicks and edit notifications.
//   - A command message carries the control identifier in the low 16 bits of
//     the first argument and the notification code in the high 16 bits; the
//     second argument is the control's window handle (0 for commands that do
//     not come from a control, such as the shell's done button).
//   - Edit controls notify edit_set_focus when they gain the keyboard focus,
//     edit_change after every change the user makes to their text, and
//     edit_kill_focus when they lose the focus. Text written by the program
//     with set_control_text produces no notification.
//   - A control's text limit (set_control_text_limit) bounds what the user can
//     type; input beyond it is refused. Text set by the program is not cut.
#pragma once

#include <cstdint>

// ---------------------------------------------------------------------------
// Handles

enum class ModuleHandle : uintptr_t {};  // the program module: resources, strings
enum class WindowHandle : uintptr_t {};  // a dialog or a control
enum class DrawContext : uintptr_t {};  // a drawing context, on screen or off screen
enum class BitmapHandle : uintptr_t {};  // a bitmap that can be selected into a context

constexpr ModuleHandle null_module{};
constexpr WindowHandle null_window{};
constexpr DrawContext null_context{};
constexpr BitmapHandle null_bitmap{};

// ---------------------------------------------------------------------------
// Plain records passed to the services

struct Rect {
    int32_t left;
    int32_t top;
    int32_t right;  // exclusive
    int32_t bottom;  // exclusive
};

// What begin_paint hands back; end_paint takes it again.
struct PaintInfo {
    DrawContext context;  // the window's paint context, valid until end_paint
    int32_t erase;  // non-zero when the background still has to be erased
    Rect paint_rect;  // the part of the client area to repaint
};

// The 40-byte bitmap information header of a device-independent bitmap, with
// no colour table following. A negative height means rows top-down.
struct BitmapInfoHeader {
    uint32_t header_size;  // 40
    int32_t width;
    int32_t height;
    uint16_t planes;  // 1
    uint16_t bits_per_pixel;  // 24 is the only depth the viewer uses
    uint32_t compression;  // 0: uncompressed
    uint32_t image_size;  // may be 0 for uncompressed bitmaps
    int32_t x_pixels_per_metre;
    int32_t y_pixels_per_metre;
    uint32_t colours_used;
    uint32_t colours_important;
};
static_assert(sizeof(BitmapInfoHeader) == 40, "a bitmap information header is 40 bytes");

// The shell's dialog initialisation request.
struct ShellDialogInit {
    uint32_t mask;  // shell_init_mask_flags: `flags` is valid
    WindowHandle window;
    uint32_t flags;  // a combination of the shell_init_* flags
};

// ---------------------------------------------------------------------------
// Constants

// Messages delivered to a dialog procedure.
constexpr uint32_t message_paint = 0x000F;
constexpr uint32_t message_init_dialog = 0x0110;
constexpr uint32_t message_command = 0x0111;

// Command identifier of the dialog's OK, sent by the shell's done button.
constexpr uint16_t command_ok = 1;

// Notification codes (high 16 bits of a command's first argument).
constexpr uint16_t button_clicked = 0x0000;
constexpr uint16_t edit_set_focus = 0x0100;
constexpr uint16_t edit_kill_focus = 0x0200;
constexpr uint16_t edit_change = 0x0300;

// Shell dialog initialisation.
constexpr uint32_t shell_init_mask_flags = 0x0001;
constexpr uint32_t shell_init_done_button = 0x0001;
constexpr uint32_t shell_init_size_dialog = 0x0004;
constexpr uint32_t shell_init_sip_down = 0x0008;
constexpr uint32_t shell_init_full_screen_no_menu = 0x0010;

// Raster operation of block_copy: plain copy of the source.
constexpr uint32_t raster_source_copy = 0x00CC0020;

// Colour use of create_dib_section: the header describes RGB values directly.
constexpr uint32_t dib_rgb_colours = 0;

// Window-system styles the viewer's template uses and front ends interpret.
constexpr uint32_t style_visible = 0x10000000;
constexpr uint32_t style_vertical_scroll = 0x00200000;
constexpr uint32_t style_border = 0x00800000;
constexpr uint32_t edit_style_centre = 0x0001;
constexpr uint32_t edit_style_multi_line = 0x0004;
constexpr uint32_t edit_style_auto_horizontal_scroll = 0x0080;
constexpr uint32_t edit_style_read_only = 0x0800;
constexpr uint32_t button_style_default_push = 0x0001;

// Predefined control classes of a dialog template (ordinal form).
constexpr uint16_t control_class_button = 0x0080;
constexpr uint16_t control_class_edit = 0x0081;
constexpr uint16_t control_class_static = 0x0082;

// Resource types of the program module.
constexpr uint16_t resource_type_dialog = 5;
constexpr uint16_t resource_type_raw_data = 10;

// Greatest value random() returns.
constexpr int32_t random_maximum = 32767;

class Platform;
class PhotoController;

// What Platform::run_photo_view returns on a front end without a photo view.
constexpr int photo_view_unsupported = -1;

// A dialog procedure: handles one message sent to `dialog` and returns its
// result (non-zero when it handled the message; for message_paint passed on
// to default_window_procedure, that procedure's result).
using DialogProcedure = intptr_t (*)(Platform& platform, WindowHandle dialog, uint32_t message, uintptr_t first,
                                     intptr_t second);

// Packs and unpacks a command's first argument.
constexpr uintptr_t make_command(uint16_t control_id, uint16_t notification) {
    return static_cast<uintptr_t>(control_id) | (static_cast<uintptr_t>(notification) << 16);
}
constexpr uint16_t command_control_id(uintptr_t first) { return static_cast<uint16_t>(first & 0xFFFF); }
constexpr uint16_t command_notification(uintptr_t first) { return static_cast<uint16_t>((first >> 16) & 0xFFFF); }

// ---------------------------------------------------------------------------
// The services

class Platform {
public:
    virtual ~Platform() = default;

    // --- Dialogs -----------------------------------------------------------

    // Builds a dialog from the standard dialog template at `template_bytes`
    // (see dialog_template.h), sends it message_init_dialog with `second` =
    // `init_argument`, then delivers its messages until end_dialog is called
    // for it. Returns the result given to end_dialog, or -1 when the dialog
    // could not be built (or the front end closed without it ending).
    virtual intptr_t dialog_box_indirect(ModuleHandle module, const uint8_t* template_bytes, uint32_t template_size,
                                         WindowHandle owner, DialogProcedure procedure, intptr_t init_argument) = 0;

    // Marks `dialog` as ended with `result`; dialog_box_indirect returns once
    // the message being handled is done. Returns false for an unknown window.
    virtual bool end_dialog(WindowHandle dialog, intptr_t result) = 0;

    // The shell's dialog initialisation: with the flags the viewer passes,
    // a done button that sends command_ok, a full-screen dialog without a
    // menu bar, and the input panel lowered. Returns false on failure.
    virtual bool shell_init_dialog(const ShellDialogInit& request) = 0;

    // What a dialog procedure passes on for messages it does not draw itself;
    // for message_paint it validates the window and erases the background.
    virtual intptr_t default_window_procedure(WindowHandle window, uint32_t message, uintptr_t first,
                                              intptr_t second) = 0;

    // --- Controls ----------------------------------------------------------

    // Replaces the text of control `control_id` of `dialog`. False when there
    // is no such control.
    virtual bool set_control_text(WindowHandle dialog, int32_t control_id, const char16_t* text) = 0;

    // Copies at most `limit` units of the control's text, plus a terminator,
    // into `buffer` (limit + 1 units). Returns the number of units copied; 0
    // with an empty buffer when there is no such control.
    virtual int32_t get_control_text(WindowHandle dialog, int32_t control_id, char16_t* buffer, int32_t limit) = 0;

    // Limits how many units the user can type into edit control `control_id`.
    virtual bool set_control_text_limit(WindowHandle dialog, int32_t control_id, int32_t limit) = 0;

    // Raises (1) or lowers (0) the soft input panel (on-screen keyboard).
    virtual bool show_input_panel(int32_t show) = 0;

    // --- Drawing -----------------------------------------------------------

    // The drawing context of `window`'s client area, or of the whole screen
    // for null_window.
    virtual DrawContext get_screen_context(WindowHandle window) = 0;

    // An off-screen context compatible with `context`; it draws into the
    // bitmap selected into it.
    virtual DrawContext create_compatible_context(DrawContext context) = 0;

    // A device-independent bitmap described by `header` (24 bits per pixel,
    // uncompressed; rows padded to 4 bytes; top-down for a negative height).
    // The platform allocates the pixel memory, zeroes it, and stores its
    // address in *pixels; it stays valid until the process ends. `mapping`
    // and `offset` must be 0 (no file mapping). Returns null_bitmap and sets
    // *pixels to null on failure.
    virtual BitmapHandle create_dib_section(DrawContext context, const BitmapInfoHeader* header, uint32_t colour_use,
                                            uint8_t** pixels, uintptr_t mapping, uint32_t offset) = 0;

    // Selects `bitmap` into the off-screen `context`; returns the bitmap that
    // was selected before (null_bitmap when none or on failure).
    virtual BitmapHandle select_object(DrawContext context, BitmapHandle bitmap) = 0;

    // Starts repainting `window`: fills *info and validates the client area.
    virtual DrawContext begin_paint(WindowHandle window, PaintInfo* info) = 0;
    virtual bool end_paint(WindowHandle window, const PaintInfo* info) = 0;

    // Copies a `width` x `height` block from `source` at (source_x, source_y)
    // to `destination` at (x, y) with raster operation `raster` (only
    // raster_source_copy is required).
    virtual bool block_copy(DrawContext destination, int32_t x, int32_t y, int32_t width, int32_t height,
                            DrawContext source, int32_t source_x, int32_t source_y, uint32_t raster) = 0;

    // The client area of `window` in its own coordinates (left and top 0).
    virtual bool get_client_rect(WindowHandle window, Rect* rect) = 0;

    // Marks `rect` (the whole client area for null) as needing a repaint,
    // with the background erased first when `erase` is non-zero.
    virtual bool invalidate_rect(WindowHandle window, const Rect* rect, int32_t erase) = 0;

    // Delivers message_paint to `window` at once when any of it is invalid,
    // before returning.
    virtual bool update_window(WindowHandle window) = 0;

    // --- The photo view ------------------------------------------------------

    // Runs the photo view (platform/photo_view.h) over `controller`: starts
    // it, draws its scene and passes it the user's input until it finishes,
    // then returns the process's exit status. The default has no photo view
    // and returns photo_view_unsupported at once.
    virtual int run_photo_view(PhotoController& controller);

    // --- Runtime -----------------------------------------------------------

    // The bytes of resource `id` of kind `type` (resource_type_dialog or
    // resource_type_raw_data). The bytes stay valid for the life of the
    // process. False, with *data null and *size 0, when it is missing or
    // empty. The default reads the program's resource store.
    virtual bool find_resource(ModuleHandle module, uint16_t type, uint16_t id, const uint8_t** data, uint32_t* size);

    // Loads string `id` into `buffer` (limit + 1 units), cut to `limit`
    // units; an empty text when the string does not exist. Returns the
    // number of units. The default reads the program's resource store.
    virtual int32_t load_string(ModuleHandle module, uint16_t id, char16_t* buffer, int32_t limit);

    // Pseudo-random integers 0 to random_maximum, and their seed. The default
    // is the classic linear congruential generator of the handheld's C
    // runtime: state = state * 214013 + 2531011, result (state >> 16) & 0x7FFF.
    virtual int32_t random();
    virtual void seed_random(uint32_t seed);

    // Milliseconds since an arbitrary fixed moment (the device's start).
    virtual uint32_t tick_count();

    // The platform's diagnostic output: `format` is an 8-bit printf format
    // with at most one integer conversion, applied to `value`. Never shown
    // to the user. The default writes to the standard error stream.
    virtual void diagnostic_print(const char* format, int32_t value);

    // The process's exit status once the program's entry has returned,
    // after the host's conventions: 0 when a dialog ran and was ended with a
    // positive result (the done button, a close, a key), 1 when none could
    // start or its set-up ended it (result 0 or -1).
    int exit_status() const { return last_dialog_result_ > 0 ? 0 : 1; }

protected:
    // Each dialog_box_indirect reports how its dialog ended.
    void note_dialog_result(intptr_t result) { last_dialog_result_ = result; }

private:
    uint32_t random_state_ = 1;
    intptr_t last_dialog_result_ = -1;
};
