// The program's factory for the terminal front end.
#include "platform/front_end.h"
#include "platform/terminal/terminal_platform.h"

#include <cstdio>

std::unique_ptr<Platform> create_terminal_front_end(const CommandLine&) {
    if (!terminal_attached()) {
        std::fprintf(stderr, "marivue: the terminal front end needs a terminal on standard input and output.\n");
        return nullptr;
    }
    return std::make_unique<TerminalPlatform>();
}
