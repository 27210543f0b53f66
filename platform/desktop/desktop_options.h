// The desktop front end's command line and its usage text.
#pragma once

#include <cstdint>
#include <string>

// The command line of the desktop front end.
struct DesktopOptions {
    int32_t scale = 0;  // 0: follow the screen
    bool help = false;
    bool version = false;
    std::string error;  // set when the command line is malformed
};

// Reads --scale N (or --scale=N), --help and --version; other arguments that
// start with "--" are left to the other front ends (--tty) and otherwise
// reported as unknown in `error`.
DesktopOptions parse_desktop_options(int argc, char** argv);

// The usage text printed by --help.
const char* desktop_usage();
