// The program's factory for the terminal front end.
#include "platform/front_end.h"
#include "platform/terminal/terminal_platform.h"
#include "platform/terminal/terminal_query.h"

#include <cstdio>
#include <cstdlib>

namespace {

// The status of a malformed command line, which a setting the front end
// cannot follow is treated as.
constexpr int usage_status = 2;

}  // namespace

std::unique_ptr<Platform> create_terminal_front_end(const CommandLine&) {
    // Settings the front end cannot follow are said and ended here, before
    // the screen is taken over: going on would ignore what the user asked
    // for.
    const char* graphics = std::getenv(picture_override_variable);
    if (!parse_graphics_setting(graphics)) {
        std::fprintf(stderr, "marivue: %s\n", graphics_setting_error(graphics).c_str());
        std::exit(usage_status);
    }
    const char* colours = std::getenv(colour_override_variable);
    if (!parse_colour_setting(colours)) {
        std::fprintf(stderr, "marivue: %s\n", colour_setting_error(colours).c_str());
        std::exit(usage_status);
    }
    if (!terminal_attached()) {
        std::fprintf(stderr, "marivue: the terminal front end needs a terminal on standard input and output.\n");
        return nullptr;
    }
    return std::make_unique<TerminalPlatform>();
}
