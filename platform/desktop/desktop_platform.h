// The desktop front end: the viewer's dialog as a Qt Widgets window.
//
// The dialog is built from its template: every control becomes the matching
// widget (push button, multi-line or single-line edit). The window is a
// normal resizable one under the desktop's own title bar; dialog_layout.h
// places the controls at any size from the template, in dialog units of
// the desktop font, and a done button ("ok") ends the column of controls
// when the shell is asked for one. It first opens with the picture about a
// third of the screen's height (or, with a scale, that many times the
// template's size).
//
// The viewer draws in its own pixels (its 240 x 160 frame at the top left):
// the front end shows that drawing smoothly scaled, aspect kept, centred in
// the picture area.
//
// The window system's rules (texts, limits, focus, notifications,
// invalidation) are the dialog model's (platform/dialog_model.h); the
// widgets show it and their signals are turned into it. Messages arrive on
// the Qt thread, inside the dialog's own event loop: message_init_dialog
// once the widgets exist, message_paint from the dialog widget's paint
// event, message_command from button clicks, from the edit controls (focus
// gained, text edited by the user, focus lost), from the done button, from
// closing the window and from the keys of key_map.h.
#pragma once

#include "platform/dialog_platform.h"
#include "platform/key_map.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>

class PhotoWindow;
class QApplication;
class QRectF;
class QSize;
class QWidget;

class DesktopPlatform final : public DialogPlatform {
public:
    // Needs a QApplication. `scale` 0 opens the window with the picture a
    // third of the screen's height; 1 to 16 with the picture that many times
    // its own size. Either way the window is made to fit the screen.
    explicit DesktopPlatform(int32_t scale = 0);
    ~DesktopPlatform() override;

    // Keeps `application` alive as long as the platform (for the program,
    // which creates the application together with the platform).
    void adopt_application(std::unique_ptr<QApplication> application);

    // --- Observations, for the shell and for tests ---------------------------
    // Called once the dialog's window is shown, from inside its event loop.
    std::function<void(DesktopPlatform&, WindowHandle dialog)> on_dialog_shown;
    // Called once the photo view's window is shown, from inside its event loop.
    std::function<void(DesktopPlatform&, PhotoWindow& window)> on_photo_view_shown;
    bool input_panel_raised() const { return input_panel_raised_; }
    QWidget* top_window(WindowHandle dialog) const;
    QWidget* dialog_widget(WindowHandle dialog) const;
    QWidget* control_widget(WindowHandle dialog, int32_t control_id) const;
    QWidget* done_button(WindowHandle dialog) const;
    // Where the dialog's drawing is shown, in the dialog widget's pixels.
    QRectF picture_rect(WindowHandle dialog) const;

    // Delivers a command to the dialog procedure as a control does. Returns
    // the procedure's result; 0 when the dialog is unknown or has ended.
    intptr_t send_command(WindowHandle dialog, uint16_t control_id, uint16_t notification);

    // --- Platform --------------------------------------------------------------
    intptr_t dialog_box_indirect(ModuleHandle module, const uint8_t* template_bytes, uint32_t template_size,
                                 WindowHandle owner, DialogProcedure procedure, intptr_t init_argument) override;
    bool end_dialog(WindowHandle dialog, intptr_t result) override;
    bool shell_init_dialog(const ShellDialogInit& request) override;
    bool set_control_text(WindowHandle dialog, int32_t control_id, const char16_t* text) override;
    bool set_control_text_limit(WindowHandle dialog, int32_t control_id, int32_t limit) override;
    bool show_input_panel(int32_t show) override;
    bool invalidate_rect(WindowHandle window, const Rect* rect, int32_t erase) override;
    bool update_window(WindowHandle window) override;
    // The photo view in a window of its own (photo_window.h).
    int run_photo_view(PhotoController& controller) override;

    // The dialog's widgets and state; defined in desktop_dialog.h.
    struct Dialog;

private:
    // What the widgets' signals are connected to: the client area's paint
    // event; clicks, edit notifications, the done button, closing the
    // window and the shortcuts; what the key map says a key does; placing
    // the widgets for the client area's present size.
    void connect_widgets(Dialog& dialog);
    void connect_controls(Dialog& dialog);
    // The dialog area's paint event: the procedure paints, then what it drew is shown.
    void paint(Dialog& dialog);
    void perform(Dialog& dialog, ViewerAction action);
    void place_controls(Dialog& dialog);

    Dialog* find_dialog(WindowHandle window) const;
    DialogModel* dialog_model(WindowHandle window) override;
    // The window's first size, to fit the screen.
    QSize first_window_size(const Dialog& dialog) const;

    std::unique_ptr<QApplication> application_;
    int32_t scale_ = 0;
    uintptr_t next_handle_ = 1;
    std::map<uintptr_t, std::unique_ptr<Dialog>> dialogs_;
    bool input_panel_raised_ = false;
};
