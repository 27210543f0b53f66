// The Platform's dialog services over the dialog model.
#include "platform/dialog_platform.h"

bool DialogPlatform::end_dialog(WindowHandle dialog, intptr_t result) {
    DialogModel* model = dialog_model(dialog);
    return model != nullptr && model->end_with(result);
}

bool DialogPlatform::shell_init_dialog(const ShellDialogInit& request) {
    DialogModel* model = dialog_model(request.window);
    return model != nullptr && model->shell_init(request);
}

intptr_t DialogPlatform::default_window_procedure(WindowHandle window, uint32_t message, uintptr_t, intptr_t) {
    if (message == message_paint && dialog_model(window) != nullptr) {
        PaintInfo info{};
        begin_paint(window, &info);
        end_paint(window, &info);
    }
    return 0;
}

bool DialogPlatform::set_control_text(WindowHandle dialog, int32_t control_id, const char16_t* text) {
    DialogModel* model = dialog_model(dialog);
    return model != nullptr && model->set_text(control_id, text);
}

int32_t DialogPlatform::get_control_text(WindowHandle dialog, int32_t control_id, char16_t* buffer, int32_t limit) {
    if (DialogModel* model = dialog_model(dialog)) return model->copy_text(control_id, buffer, limit);
    if (buffer != nullptr && limit >= 0) buffer[0] = 0;
    return 0;
}

bool DialogPlatform::set_control_text_limit(WindowHandle dialog, int32_t control_id, int32_t limit) {
    DialogModel* model = dialog_model(dialog);
    return model != nullptr && model->set_text_limit(control_id, limit);
}

DrawContext DialogPlatform::get_screen_context(WindowHandle window) {
    if (window != null_window && dialog_model(window) == nullptr) return null_context;
    return add_context(window == null_window ? SurfaceContext::Screen : SurfaceContext::Window, window);
}

DrawContext DialogPlatform::begin_paint(WindowHandle window, PaintInfo* info) {
    DialogModel* model = dialog_model(window);
    if (model == nullptr || info == nullptr) return null_context;
    const PaintRequest paint = model->validate();
    // The default handling of the erase request: paint the background.
    if (paint.erase) model->erase_background(paint.rect);
    const SurfaceContext* context = find_context(paint_context_);
    if (context == nullptr || context->window != window) paint_context_ = add_context(SurfaceContext::Window, window);
    *info = PaintInfo{paint_context_, 0, paint.rect};
    return paint_context_;
}

bool DialogPlatform::draw_to_window(const SurfaceContext& destination, SurfaceBitmap& source, int32_t x, int32_t y,
                                    int32_t width, int32_t height, int32_t source_x, int32_t source_y) {
    DialogModel* model = dialog_model(destination.window);
    if (model == nullptr) return false;
    model->copy_in(plane_of(source), x, y, width, height, source_x, source_y);
    return true;
}

bool DialogPlatform::end_paint(WindowHandle window, const PaintInfo* info) {
    return dialog_model(window) != nullptr && info != nullptr;
}

bool DialogPlatform::get_client_rect(WindowHandle window, Rect* rect) {
    if (dialog_model(window) == nullptr || rect == nullptr) return false;
    *rect = Rect{0, 0, dialog_client_width, dialog_client_height};
    return true;
}

bool DialogPlatform::invalidate_rect(WindowHandle window, const Rect* rect, int32_t erase) {
    DialogModel* model = dialog_model(window);
    if (model == nullptr) return false;
    model->invalidate(rect, erase != 0);
    return true;
}

bool DialogPlatform::update_window(WindowHandle window) {
    DialogModel* model = dialog_model(window);
    if (model == nullptr) return false;
    model->deliver_paint();
    return true;
}
