// The front ends the program can run over. Each lives in its own library
// (marivue_desktop, marivue_terminal) that implements the Platform of
// platform/platform.h and defines its factory below; the build links every
// front end that exists and defines MARIVUE_DESKTOP_FRONT_END or
// MARIVUE_TERMINAL_FRONT_END for it.
#pragma once

#include "platform/platform.h"

#include <memory>

// Each returns the front end's platform, or null when it cannot run in this
// environment (no display, no terminal); it may then say why on stderr.
// The arguments are the process's, for toolkits that want them.
std::unique_ptr<Platform> create_desktop_front_end(int argc, char** argv);
std::unique_ptr<Platform> create_terminal_front_end(int argc, char** argv);
