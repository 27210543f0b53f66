// The front ends the program can run over, and the choice between them.
// Each front end lives in its own library (marivue_desktop,
// marivue_terminal) that implements the Platform of platform.h and defines
// its factory below; choose_front_end (library marivue_front_end) asks
// every front end the build has, in order.
#pragma once

#include "platform/command_line.h"
#include "platform/platform.h"

#include <memory>
#include <string>

// Each returns the front end's platform, or null when it cannot run in this
// environment (no display, no terminal, or the desktop when --tty asks for
// the terminal); it may then say why on stderr. The arguments are the
// process's, for toolkits that want them.
std::unique_ptr<Platform> create_desktop_front_end(const CommandLine& options, int argc, char** argv);
std::unique_ptr<Platform> create_terminal_front_end(const CommandLine& options);

// The first front end that can run here: the desktop, then the terminal.
// Without one, `platform` is null and `reason` says why, in a sentence
// for the user.
struct FrontEndChoice {
    std::unique_ptr<Platform> platform;
    std::string reason;
};
FrontEndChoice choose_front_end(const CommandLine& options, int argc, char** argv);
