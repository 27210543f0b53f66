// Reading the marivue command line and the usage text.
#include "platform/command_line.h"

#include "platform/key_map.h"

#include <cstring>

namespace {

bool parse_scale(const char* text, int32_t* scale) {
    if (text == nullptr || *text == 0) return false;
    int32_t value = 0;
    for (const char* p = text; *p != 0; ++p) {
        if (*p < '0' || *p > '9') return false;
        value = value * 10 + (*p - '0');
        if (value > command_line_scale_maximum) return false;
    }
    if (value < 1) return false;
    *scale = value;
    return true;
}

}  // namespace

CommandLine parse_command_line(int argc, char** argv) {
    CommandLine options;
    bool options_ended = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i] == nullptr ? std::string() : std::string(argv[i]);
        // After "--", and for anything not starting with '-' (a lone "-" too),
        // the argument names a picture or a folder.
        if (options_ended || arg.empty() || arg[0] != '-' || arg == "-") {
            options.paths.push_back(arg);
        } else if (arg == "--") {
            options_ended = true;
        } else if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else if (arg == "--version") {
            options.version = true;
        } else if (arg == "--tty") {
            options.tty = true;
        } else if (arg == "--recursive" || arg == "-r") {
            options.recursive = true;
        } else if (arg == "--scale" || arg.rfind("--scale=", 0) == 0) {
            const char* value = nullptr;
            if (arg == "--scale")
                value = i + 1 < argc ? argv[++i] : nullptr;
            else
                value = argv[i] + std::strlen("--scale=");
            if (!parse_scale(value, &options.scale)) {
                options.error = "--scale needs a whole number from 1 to " + std::to_string(command_line_scale_maximum) +
                                (value != nullptr ? std::string(", not '") + value + "'" : std::string());
                return options;
            }
        } else {
            options.error = "unknown argument '" + arg + "'";
            return options;
        }
    }
    return options;
}

std::string usage_text() {
    return "Usage: marivue [--tty] [--scale N]\n"
           "Shows the marine picture collection carried inside the program.\n"
           "   or: marivue [--tty] [--scale N] [--recursive] [--] PATH...\n"
           "Shows JPEG pictures: each PATH a picture file or a folder of them.\n"
           "\n"
           "  --tty            use the terminal even when a display is available\n"
           "  --scale N        open the window with the picture N times its size (1 to\n"
           "                   16; by default it is a third of the screen's height)\n"
           "  -r, --recursive  take the pictures in folders' subfolders too\n"
           "  -h, --help       show this text and exit\n"
           "  --version        show the version and exit\n"
           "  --               end of the options: what follows is a PATH\n"
           "\n"
           "A file named as a PATH is always shown, or over the picture the reason it\n"
           "cannot be (not a JPEG file, no permission, a pipe...); a PATH that does not\n"
           "exist is reported and skipped. A folder gives its files that hold a JPEG\n"
           "picture, whatever their names, in natural order by name (img2 before img10).\n"
           "Each picture is fitted to the picture area and turned as its EXIF orientation\n"
           "says; the boxes show the file name, the picture's size, the file's size and\n"
           "the date it was taken (else the file's date).\n"
           "\n"
           "With a display (DISPLAY or WAYLAND_DISPLAY set) the viewer opens a window,\n"
           "otherwise it draws in the terminal. The box under the picture restricts\n"
           "stepping to pictures whose caption (file name) contains its text.\n"
           "\n"
           "Keys, the same in the window and the terminal:\n" +
           key_help(2) +
           "\n"
           "Exit status: 0 when the viewer was closed; 1 when it could not start or the\n"
           "PATHs hold no JPEG picture; 2 bad usage, or neither a display nor a terminal\n"
           "to show the viewer on.\n";
}
