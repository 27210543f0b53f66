// Reading the marivue command line and the usage text.
#include "platform/command_line.h"

#include "platform/key_map.h"
#include "platform/photo_view.h"

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

// Seconds as written ("4", "0.5", "2.25"), in milliseconds, within the
// limits.
bool parse_seconds(const char* text, int64_t* milliseconds) {
    if (text == nullptr || *text == 0) return false;
    int64_t whole = 0, fraction = 0, scale = 1000;
    const char* p = text;
    for (; *p >= '0' && *p <= '9'; ++p)
        if ((whole = whole * 10 + (*p - '0')) > command_line_slideshow_maximum / 1000) return false;
    if (*p == '.') {
        ++p;
        if (*p == 0) return false;
        for (; *p >= '0' && *p <= '9'; ++p) fraction += (*p - '0') * (scale /= 10);
    }
    if (*p != 0 || p == text) return false;
    const int64_t total = whole * 1000 + fraction;
    if (total < command_line_slideshow_minimum || total > command_line_slideshow_maximum) return false;
    *milliseconds = total;
    return true;
}

// The value of option `name` given as "--name VALUE" (advancing `i`) or
// "--name=VALUE"; null when missing.
const char* option_value(const std::string& name, const std::string& arg, int argc, char** argv, int& i) {
    if (arg == name) return i + 1 < argc ? argv[++i] : nullptr;
    return argv[i] + name.size() + 1;
}

bool names_option(const std::string& arg, const std::string& name) {
    return arg == name || arg.rfind(name + "=", 0) == 0;
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
        } else if (names_option(arg, "--slideshow")) {
            const char* value = option_value("--slideshow", arg, argc, argv, i);
            if (!parse_seconds(value, &options.slideshow_ms)) {
                options.error = "--slideshow needs a number of seconds from 0.1 to 86400" +
                                (value != nullptr ? std::string(", not '") + value + "'" : std::string());
                return options;
            }
        } else if (names_option(arg, "--scale")) {
            const char* value = option_value("--scale", arg, argc, argv, i);
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
           "   or: marivue [--tty] [--scale N] [--slideshow SECONDS] [--recursive] [--] PATH...\n"
           "Shows JPEG pictures in a photo view: each PATH a picture file or a folder of them.\n"
           "\n"
           "  --tty                use the terminal even when a display is available\n"
           "  --scale N            1 to 16: the collection's window opens with the picture\n"
           "                       N times its size (by default a third of the screen's\n"
           "                       height); the photo view shows the first picture N screen\n"
           "                       pixels per picture pixel\n"
           "  --slideshow SECONDS  start a slideshow, SECONDS (0.1 to 86400) a picture\n"
           "  -r, --recursive      take the pictures in folders' subfolders too, named by\n"
           "                       their path from the folder given\n"
           "  -h, --help           show this text and exit\n"
           "  --version            show the version and exit\n"
           "  --                   end of the options: what follows is a PATH\n"
           "\n"
           "A file named as a PATH is always shown, or over the picture the reason it\n"
           "cannot be (not a JPEG file, no permission, a pipe...); a PATH that does not\n"
           "exist is reported and skipped. A folder gives its files that hold a JPEG\n"
           "picture, whatever their names, in natural order by name (img2 before img10).\n"
           "\n"
           "With a display (DISPLAY or WAYLAND_DISPLAY set) the viewer opens a window,\n"
           "otherwise it draws in the terminal. Pictures fill a dark view, turned as their\n"
           "EXIF orientation says; smaller ones keep their own size unless zoomed. The\n"
           "window's title and a bar that hides itself name the picture and its place\n"
           "(n / N); in the terminal the last row does, and the picture is drawn in sixel\n"
           "or kitty pixels where the terminal has them, else in coloured symbols. The\n"
           "next picture is decoded ahead, so stepping shows it at once. Delete moves a\n"
           "picture to the trash (as file managers do, never removing it) after asking.\n"
           "\n"
           "Keys of the photo view, the same in the window and the terminal (where Ctrl+L\n"
           "also redraws the screen and Ctrl+C quits):\n" +
           photo_key_help(2) +
           "\n"
           "Keys of the collection, the same in the window and the terminal:\n" +
           key_help(2) +
           "\n"
           "Exit status: 0 when the viewer was closed; 1 when it could not start or the\n"
           "PATHs hold no JPEG picture; 2 bad usage, or neither a display nor a terminal\n"
           "to show the viewer on.\n";
}
