// The desktop front end: the viewer's dialog as a Qt Widgets window.
//
// The dialog is built from its template: every control becomes the matching
// widget (push button, multi-line or single-line edit) at its template
// position, converted from dialog units with base units of 7 x 16 pixels per
// 4 x 8 units. Above it sits the shell's title bar with the caption and the
// done button ("ok"), which sends command_ok, as closing the window does.
//
// The viewer sees a dialog of unscaled pixels (317 x 272 for its template):
// the front end multiplies every position and size by an integer scale and
// draws the frame bitmap with nearest-neighbour enlargement, so the picture
// stays sharp at any scale.
//
// Messages arrive on the Qt thread, inside the dialog's own event loop:
// message_init_dialog once the widgets exist, message_paint from the dialog
// widget's paint event, message_command from button clicks, from the edit
// controls (focus gained, text edited by the user, focus lost), from the
// done button, from closing the window and from the keyboard shortcuts.
#pragma once

#include "platform/dialog_template.h"
#include "platform/platform.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

class QApplication;
class QIcon;
class QWidget;

// Horizontal and vertical base units: pixels per 4 horizontal and per 8
// vertical dialog units.
constexpr int32_t dialog_base_unit_x = 7;
constexpr int32_t dialog_base_unit_y = 16;

// Greatest --scale the front end accepts.
constexpr int32_t desktop_scale_maximum = 16;

// The pixel rectangle of a template rectangle at `scale`: each edge is
// converted from dialog units (rounded to the nearest pixel) and then
// multiplied by `scale`, so neighbouring controls keep their gaps.
Rect dialog_units_to_pixels(int32_t x, int32_t y, int32_t width, int32_t height, int32_t scale);

// The window icon made from icon group `group_id` of the resource store: one
// image per ICON resource the group names. An empty icon when the group is
// missing or damaged.
QIcon icon_from_resources(uint16_t group_id);

// One single-image icon file per image of an icon group resource, for
// toolkits that read icon files. Empty when the group or any of its images
// is missing or damaged. `find_icon` yields the bytes of one ICON resource.
std::vector<std::string> icon_files_from_group(
    const uint8_t* group, uint32_t group_size,
    const std::function<bool(uint16_t id, const uint8_t** data, uint32_t* size)>& find_icon);

// The command line of the desktop front end.
struct DesktopOptions {
    int32_t scale = 0;  // 0: follow the screen
    bool help = false;
    bool version = false;
    std::string error;  // set when the command line is malformed
};

// Reads --scale N (or --scale=N), --help and --version; other arguments that
// start with "--" are left to the other front ends (--tty) and otherwise
// reported as unknown in `error`.
DesktopOptions parse_desktop_options(int argc, char** argv);

// The usage text printed by --help.
const char* desktop_usage();

class DesktopPlatform final : public Platform {
public:
    // Needs a QApplication. `scale` 0 follows the primary screen: one
    // dialog pixel per device-independent pixel for each 96 dots per inch of
    // logical resolution (the toolkit already applies the device pixel
    // ratio), lowered until the window fits the screen.
    explicit DesktopPlatform(int32_t scale = 0);
    ~DesktopPlatform() override;

    // Keeps `application` alive as long as the platform (for the program,
    // which creates the application together with the platform).
    void adopt_application(std::unique_ptr<QApplication> application);

    int32_t scale() const { return scale_; }

    // --- Observations, for the shell and for tests ---------------------------
    // Called once the dialog's window is shown, from inside its event loop.
    std::function<void(DesktopPlatform&, WindowHandle dialog)> on_dialog_shown;
    bool input_panel_raised() const { return input_panel_raised_; }
    // Number of message_paint deliveries and of block copies to the window.
    int32_t paint_messages() const { return paint_messages_; }
    int32_t window_copies() const { return window_copies_; }
    QWidget* top_window(WindowHandle dialog) const;
    QWidget* dialog_widget(WindowHandle dialog) const;
    QWidget* control_widget(WindowHandle dialog, int32_t control_id) const;
    QWidget* done_button(WindowHandle dialog) const;
    const DialogTemplate* dialog_layout(WindowHandle dialog) const;

    // Delivers a command to the dialog procedure as a control does. Returns
    // the procedure's result; 0 when the dialog is unknown or has ended.
    intptr_t send_command(WindowHandle dialog, uint16_t control_id, uint16_t notification);

    // --- Platform --------------------------------------------------------------
    intptr_t dialog_box_indirect(ModuleHandle module, const uint8_t* template_bytes, uint32_t template_size,
                                 WindowHandle owner, DialogProcedure procedure, intptr_t init_argument) override;
    bool end_dialog(WindowHandle dialog, intptr_t result) override;
    bool shell_init_dialog(const ShellDialogInit& request) override;
    intptr_t default_window_procedure(WindowHandle window, uint32_t message, uintptr_t first,
                                      intptr_t second) override;
    bool set_control_text(WindowHandle dialog, int32_t control_id, const char16_t* text) override;
    int32_t get_control_text(WindowHandle dialog, int32_t control_id, char16_t* buffer, int32_t limit) override;
    bool set_control_text_limit(WindowHandle dialog, int32_t control_id, int32_t limit) override;
    bool show_input_panel(int32_t show) override;
    DrawContext get_screen_context(WindowHandle window) override;
    DrawContext create_compatible_context(DrawContext context) override;
    BitmapHandle create_dib_section(DrawContext context, const BitmapInfoHeader* header, uint32_t colour_use,
                                    uint8_t** pixels, uintptr_t mapping, uint32_t offset) override;
    BitmapHandle select_object(DrawContext context, BitmapHandle bitmap) override;
    DrawContext begin_paint(WindowHandle window, PaintInfo* info) override;
    bool end_paint(WindowHandle window, const PaintInfo* info) override;
    bool block_copy(DrawContext destination, int32_t x, int32_t y, int32_t width, int32_t height,
                    DrawContext source, int32_t source_x, int32_t source_y, uint32_t raster) override;
    bool get_client_rect(WindowHandle window, Rect* rect) override;
    bool invalidate_rect(WindowHandle window, const Rect* rect, int32_t erase) override;
    bool update_window(WindowHandle window) override;
    // Milliseconds since the machine started, as the handheld counts them,
    // so that each run starts on another picture.
    uint32_t tick_count() override;

    // The dialog's widgets and state; defined in desktop.cpp.
    struct Dialog;

    // Called by the dialog widget's paint event.
    void deliver_paint(Dialog& dialog);
    // Called by the widgets for clicks, edit notifications, the done button,
    // closing the window and the shortcuts.
    intptr_t deliver_command(Dialog& dialog, uint16_t control_id, uint16_t notification, intptr_t source);

private:
    struct Bitmap;
    struct Context;

    Dialog* find_dialog(WindowHandle window) const;
    Context* find_context(DrawContext context);
    Bitmap* find_bitmap(BitmapHandle bitmap);
    uintptr_t new_handle() { return next_handle_++; }

    std::unique_ptr<QApplication> application_;
    int32_t scale_ = 1;
    uintptr_t next_handle_ = 1;
    std::map<uintptr_t, std::unique_ptr<Dialog>> dialogs_;
    std::map<uintptr_t, std::unique_ptr<Bitmap>> bitmaps_;
    std::map<uintptr_t, std::unique_ptr<Context>> contexts_;
    bool input_panel_raised_ = false;
    int32_t paint_messages_ = 0;
    int32_t window_copies_ = 0;
};

// The scale that suits the primary screen (see DesktopPlatform).
int32_t screen_scale();
