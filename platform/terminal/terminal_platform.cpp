// The terminal front end's dialog: messages to the dialog procedure, its
// end, and its window's painting. Running it is terminal_run.cpp's.
#include "platform/terminal/terminal_platform.h"

#include "platform/terminal/terminal_session.h"

#include <algorithm>
#include <cstdlib>

TerminalPlatform::TerminalPlatform() : SurfacePlatform(terminal_surface_width, terminal_surface_height) {}

TerminalPlatform::~TerminalPlatform() = default;

void TerminalPlatform::send_command(uint16_t control_id, uint16_t notification) {
    if (dialog_ != nullptr) dialog_->notify(control_id, notification);
}

bool TerminalPlatform::end_dialog(WindowHandle dialog, intptr_t result) {
    return is_dialog(dialog) && dialog_->end_with(result);
}

bool TerminalPlatform::shell_init_dialog(const ShellDialogInit& request) {
    if (dialog_ == nullptr || !dialog_->shell_init(request)) return false;
    if ((request.mask & shell_init_mask_flags) != 0 && (request.flags & shell_init_sip_down) != 0) panel_up_ = false;
    return true;
}

intptr_t TerminalPlatform::default_window_procedure(WindowHandle window, uint32_t message, uintptr_t, intptr_t) {
    if (message == message_paint && is_dialog(window)) {
        PaintInfo info{};
        begin_paint(window, &info);
        end_paint(window, &info);
    }
    return 0;
}

// ---------------------------------------------------------------------------
// The window's drawing: its context, painting, and the surface the picture
// cells show

DrawContext TerminalPlatform::get_screen_context(WindowHandle window) {
    if (window != null_window && !is_dialog(window)) return null_context;
    if (window != null_window && window_context_ != null_context) return window_context_;
    DrawContext context = add_context(window == null_window ? SurfaceContext::Screen : SurfaceContext::Window, window);
    if (window != null_window) window_context_ = context;
    return context;
}

DrawContext TerminalPlatform::begin_paint(WindowHandle window, PaintInfo* info) {
    if (!is_dialog(window) || info == nullptr) return null_context;
    const PaintRequest paint = dialog_->validate();
    // The default handling of the erase request: paint the background,
    // which leaves no picture to show.
    if (paint.erase) {
        erase_window(paint.rect);
        picture_shown_ = false;
    }
    *info = PaintInfo{get_screen_context(window), 0, paint.rect};
    return info->context;
}

bool TerminalPlatform::end_paint(WindowHandle window, const PaintInfo* info) {
    return is_dialog(window) && info != nullptr;
}

bool TerminalPlatform::draw_to_window(const SurfaceContext& destination, SurfaceBitmap& source, int32_t x, int32_t y,
                                      int32_t width, int32_t height, int32_t source_x, int32_t source_y) {
    SurfacePlatform::draw_to_window(destination, source, x, y, width, height, source_x, source_y);
    picture_shown_ = true;
    picture_dirty_ = true;
    return true;
}

bool TerminalPlatform::get_client_rect(WindowHandle window, Rect* rect) {
    if (!is_dialog(window) || rect == nullptr) return false;
    *rect = Rect{0, 0, dialog_client_width, dialog_client_height};
    return true;
}

bool TerminalPlatform::invalidate_rect(WindowHandle window, const Rect* rect, int32_t erase) {
    if (!is_dialog(window)) return false;
    dialog_->invalidate(rect, erase != 0, Rect{0, 0, dialog_client_width, dialog_client_height});
    return true;
}

bool TerminalPlatform::update_window(WindowHandle window) {
    if (!is_dialog(window)) return false;
    dialog_->deliver_paint();
    return true;
}

uint32_t TerminalPlatform::tick_count() {
    if (std::optional<uint32_t> seed = seed_from_environment(std::getenv(terminal_seed_variable))) return *seed;
    return Platform::tick_count();
}
