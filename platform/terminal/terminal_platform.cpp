// The terminal front end's dialog: messages to the dialog procedure, its
// end, and its window's painting. Running it is terminal_run.cpp's.
#include "platform/terminal/terminal_platform.h"

#include "platform/terminal/terminal_session.h"

#include <algorithm>
#include <cstdlib>

TerminalPlatform::TerminalPlatform() : SurfacePlatform(terminal_surface_width, terminal_surface_height) {}

TerminalPlatform::~TerminalPlatform() = default;

intptr_t TerminalPlatform::send(uint32_t message, uintptr_t first, intptr_t second) {
    if (procedure_ == nullptr || dialog_ == null_window) return 0;
    return procedure_(*this, dialog_, message, first, second);
}

void TerminalPlatform::send_command(uint16_t control_id, uint16_t notification) {
    intptr_t source = 0;
    if (const Control* control = find_control(control_id)) source = static_cast<intptr_t>(control->window);
    send(message_command, make_command(control_id, notification), source);
}

void TerminalPlatform::deliver_pending_paint() {
    if (!invalid_ || !dialog_open_) return;
    send(message_paint, 0, 0);
    // A procedure that did not validate the window gets one paint per
    // request, not an endless stream of them.
    invalid_ = false;
    erase_pending_ = false;
}

bool TerminalPlatform::end_dialog(WindowHandle dialog, intptr_t result) {
    if (dialog != dialog_ || !dialog_open_) return false;
    dialog_result_ = result;
    dialog_open_ = false;
    return true;
}

bool TerminalPlatform::shell_init_dialog(const ShellDialogInit& request) {
    if (request.window != dialog_ || dialog_ == null_window) return false;
    if ((request.mask & shell_init_mask_flags) == 0) return true;
    done_button_ = (request.flags & shell_init_done_button) != 0;
    if ((request.flags & shell_init_sip_down) != 0) panel_up_ = false;
    return true;
}

intptr_t TerminalPlatform::default_window_procedure(WindowHandle window, uint32_t message, uintptr_t, intptr_t) {
    if (message == message_paint && window == dialog_) {
        // The dialog's background, and nothing of the picture.
        PaintInfo info{};
        begin_paint(window, &info);
        erase_surface();
        end_paint(window, &info);
    }
    return 0;
}

// ---------------------------------------------------------------------------
// The window's drawing: its context, painting, and the surface the picture
// cells show

DrawContext TerminalPlatform::get_screen_context(WindowHandle window) {
    if (window != null_window && window != dialog_) return null_context;
    if (window == dialog_ && window_context_ != null_context) return window_context_;
    DrawContext context = add_context(window == null_window ? SurfaceContext::Screen : SurfaceContext::Window, window);
    if (window == dialog_) window_context_ = context;
    return context;
}

DrawContext TerminalPlatform::begin_paint(WindowHandle window, PaintInfo* info) {
    if (window != dialog_ || info == nullptr) return null_context;
    DrawContext context = get_screen_context(window);
    info->context = context;
    info->erase = 0;
    info->paint_rect = Rect{0, 0, terminal_client_width, terminal_client_height};
    // The default handling of the erase request: paint the background.
    if (erase_pending_) erase_surface();
    invalid_ = false;
    erase_pending_ = false;
    return context;
}

bool TerminalPlatform::end_paint(WindowHandle window, const PaintInfo* info) {
    return window == dialog_ && info != nullptr;
}

void TerminalPlatform::erase_surface() {
    std::fill(window_pixels().begin(), window_pixels().end(), 0);
    picture_shown_ = false;
}

bool TerminalPlatform::draw_to_window(const SurfaceContext& destination, SurfaceBitmap& source, int32_t x, int32_t y,
                                      int32_t width, int32_t height, int32_t source_x, int32_t source_y) {
    SurfacePlatform::draw_to_window(destination, source, x, y, width, height, source_x, source_y);
    picture_shown_ = true;
    picture_dirty_ = true;
    return true;
}

bool TerminalPlatform::get_client_rect(WindowHandle window, Rect* rect) {
    if (window != dialog_ || rect == nullptr || dialog_ == null_window) return false;
    *rect = Rect{0, 0, terminal_client_width, terminal_client_height};
    return true;
}

bool TerminalPlatform::invalidate_rect(WindowHandle window, const Rect*, int32_t erase) {
    if (window != dialog_ || dialog_ == null_window) return false;
    invalid_ = true;
    if (erase != 0) erase_pending_ = true;
    return true;
}

bool TerminalPlatform::update_window(WindowHandle window) {
    if (window != dialog_ || dialog_ == null_window) return false;
    deliver_pending_paint();
    return true;
}

uint32_t TerminalPlatform::tick_count() {
    if (std::optional<uint32_t> seed = seed_from_environment(std::getenv(terminal_seed_variable))) return *seed;
    return Platform::tick_count();
}
