// A front end whose dialogs are DialogModels (dialog_model.h): the
// Platform's dialog, control and repaint services answered once, from the
// model of the window they name, over the shared drawing contexts. A front
// end names its dialogs' models (dialog_model) and adds to these services
// only what it shows: its widgets, its cells, its window's paint.
#pragma once

#include "platform/dialog_model.h"
#include "platform/surface.h"

class DialogPlatform : public SurfacePlatform {
public:
    bool end_dialog(WindowHandle dialog, intptr_t result) override;
    bool shell_init_dialog(const ShellDialogInit& request) override;
    // For message_paint: validates the window, erasing what is to be erased.
    intptr_t default_window_procedure(WindowHandle window, uint32_t message, uintptr_t first, intptr_t second) override;
    bool set_control_text(WindowHandle dialog, int32_t control_id, const char16_t* text) override;
    int32_t get_control_text(WindowHandle dialog, int32_t control_id, char16_t* buffer, int32_t limit) override;
    bool set_control_text_limit(WindowHandle dialog, int32_t control_id, int32_t limit) override;
    // The screen's context, or a dialog's window's.
    DrawContext get_screen_context(WindowHandle window) override;
    // Paints into the model's pixels; the paint covers the invalid part.
    DrawContext begin_paint(WindowHandle window, PaintInfo* info) override;
    bool end_paint(WindowHandle window, const PaintInfo* info) override;
    // The handheld's full-screen client area.
    bool get_client_rect(WindowHandle window, Rect* rect) override;
    bool invalidate_rect(WindowHandle window, const Rect* rect, int32_t erase) override;
    bool update_window(WindowHandle window) override;

protected:
    // The model of dialog `window`, or null for any other window.
    virtual DialogModel* dialog_model(WindowHandle window) = 0;
    // A copy into a dialog's window lands in its model's pixels.
    bool draw_to_window(const SurfaceContext& destination, SurfaceBitmap& source, int32_t x, int32_t y, int32_t width,
                        int32_t height, int32_t source_x, int32_t source_y) override;

private:
    DrawContext paint_context_{};  // the window context begin_paint hands out
};
