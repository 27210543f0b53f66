// The desktop front end's command line.
#include "platform/desktop/desktop_options.h"

#include "platform/desktop/dialog_units.h"

#include <cstring>
#include <string>

namespace {

bool parse_scale(const char* text, int32_t* scale) {
    if (text == nullptr || *text == 0) return false;
    int32_t value = 0;
    for (const char* p = text; *p != 0; ++p) {
        if (*p < '0' || *p > '9') return false;
        value = value * 10 + (*p - '0');
        if (value > desktop_scale_maximum) return false;
    }
    if (value < 1) return false;
    *scale = value;
    return true;
}

}  // namespace

const char* desktop_usage() {
    return "Usage: marivue [--scale N] [--tty]\n"
           "Shows the marine picture collection carried inside the program.\n"
           "\n"
           "  --scale N   enlarge the window N times (1 to 16; the default follows\n"
           "              the screen's resolution)\n"
           "  --tty       use the terminal even when a display is available\n"
           "  -h, --help  show this text and exit\n"
           "  --version   show the version and exit\n"
           "\n"
           "With a display (DISPLAY or WAYLAND_DISPLAY set) the viewer opens a window:\n"
           ">>> and <<< (or Right, Page Down, Space and Left, Page Up) step through the\n"
           "pictures, the small box under them restricts stepping to pictures whose\n"
           "caption contains its text, and ok (or Escape, Ctrl+Q) ends the viewer.\n"
           "\n"
           "Exit status: 1 once the viewer has ended; 0 after --help or --version;\n"
           "2 bad usage, or neither a display nor a terminal to show the viewer on.\n";
}

DesktopOptions parse_desktop_options(int argc, char** argv) {
    DesktopOptions options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i] == nullptr ? std::string() : std::string(argv[i]);
        if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else if (arg == "--version") {
            options.version = true;
        } else if (arg == "--scale" || arg.rfind("--scale=", 0) == 0) {
            const char* value = nullptr;
            if (arg == "--scale")
                value = i + 1 < argc ? argv[++i] : nullptr;
            else
                value = argv[i] + std::strlen("--scale=");
            if (!parse_scale(value, &options.scale)) {
                options.error = "--scale needs a whole number from 1 to " + std::to_string(desktop_scale_maximum) +
                                (value != nullptr ? std::string(", not '") + value + "'" : std::string());
                return options;
            }
        } else if (arg == "--tty") {
            // The terminal front end's.
        } else {
            options.error = "unknown argument '" + arg + "'";
            return options;
        }
    }
    return options;
}
