// The marivue program: runs the viewer over the first front end that can
// run here, desktop first, then terminal.
#include "app/front_ends.h"
#include "app/viewer.h"

#include <cstdio>
#include <memory>

namespace {

// The program's module: resources come from the store linked into it.
constexpr ModuleHandle program_module{1};

// Exit status when no front end can show the viewer.
constexpr int no_front_end_status = 2;

}  // namespace

int main(int argc, char** argv) {
    std::unique_ptr<Platform> platform;
    bool built_any = false;
#ifdef MARIVUE_DESKTOP_FRONT_END
    built_any = true;
    platform = create_desktop_front_end(argc, argv);
#endif
#ifdef MARIVUE_TERMINAL_FRONT_END
    built_any = true;
    if (!platform) platform = create_terminal_front_end(argc, argv);
#endif
    (void)argc;
    (void)argv;
    if (!platform) {
        std::fprintf(stderr, built_any
                                 ? "marivue: no front end is available: no display for the desktop front end and "
                                   "no terminal for the terminal one.\n"
                                 : "marivue: no front end is available: this build has neither the desktop nor "
                                   "the terminal front end.\n");
        return no_front_end_status;
    }
    return program_entry(*platform, program_module, null_module, u"", 1);
}
