// The terminal front end's dialog: the shell's request, the picture to draw
// again, and the seed. Running it is terminal_run.cpp's.
#include "platform/terminal/terminal_platform.h"

#include "platform/terminal/terminal_session.h"

#include <algorithm>
#include <cstdlib>

TerminalPlatform::TerminalPlatform() = default;

TerminalPlatform::~TerminalPlatform() = default;

bool TerminalPlatform::shell_init_dialog(const ShellDialogInit& request) {
    if (!DialogPlatform::shell_init_dialog(request)) return false;
    if ((request.mask & shell_init_mask_flags) != 0 && (request.flags & shell_init_sip_down) != 0) panel_up_ = false;
    return true;
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
