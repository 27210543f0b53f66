// The marivue command line, read once for every front end.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct CommandLine {
    bool tty = false;  // --tty: the terminal even with a display
    int32_t scale = 0;  // --scale N: the window's first size, the picture N times its own; 0 follows the screen
    bool help = false;  // -h, --help
    bool version = false;  // --version
    bool recursive = false;  // --recursive: folders' subfolders too
    int64_t slideshow_ms = 0;  // --slideshow SECONDS: a slideshow from the start, this long a picture; 0 none
    std::vector<std::string> paths;  // pictures and folders to show; none: the collection
    std::string error;  // set when the command line is malformed, in a sentence for the user
};

// The largest --scale.
constexpr int32_t command_line_scale_maximum = 16;
// The shortest and longest --slideshow time, in milliseconds.
constexpr int64_t command_line_slideshow_minimum = 100;
constexpr int64_t command_line_slideshow_maximum = 86400000;

CommandLine parse_command_line(int argc, char** argv);

// The text --help prints: usage, options, keys, exit statuses.
std::string usage_text();
