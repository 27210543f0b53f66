// The terminal front end's dialog: the shell's request, and its window's
// context and surface. Running it is terminal_run.cpp's.
#include "platform/terminal/terminal_platform.h"

#include "platform/terminal/terminal_session.h"

#include <algorithm>
#include <cstdlib>

TerminalPlatform::TerminalPlatform() = default;

TerminalPlatform::~TerminalPlatform() = default;

void TerminalPlatform::send_command(uint16_t control_id, uint16_t notification) {
    if (dialog_ != nullptr) dialog_->notify(control_id, notification);
}

bool TerminalPlatform::shell_init_dialog(const ShellDialogInit& request) {
    if (!DialogPlatform::shell_init_dialog(request)) return false;
    if ((request.mask & shell_init_mask_flags) != 0 && (request.flags & shell_init_sip_down) != 0) panel_up_ = false;
    return true;
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

bool TerminalPlatform::draw_to_window(const SurfaceContext& destination, SurfaceBitmap& source, int32_t x, int32_t y,
                                      int32_t width, int32_t height, int32_t source_x, int32_t source_y) {
    picture_dirty_ = true;
    return DialogPlatform::draw_to_window(destination, source, x, y, width, height, source_x, source_y);
}

uint32_t TerminalPlatform::tick_count() {
    if (std::optional<uint32_t> seed = seed_from_environment(std::getenv(terminal_seed_variable))) return *seed;
    return Platform::tick_count();
}
