// The choice of front end. The build defines MARIVUE_DESKTOP_FRONT_END and
// MARIVUE_TERMINAL_FRONT_END for the front ends it has.
#include "platform/front_end.h"

FrontEndChoice choose_front_end(const CommandLine& options, int argc, char** argv) {
    FrontEndChoice choice;
    bool built_any = false;
#ifdef MARIVUE_DESKTOP_FRONT_END
    built_any = true;
    choice.platform = create_desktop_front_end(options, argc, argv);
#endif
#ifdef MARIVUE_TERMINAL_FRONT_END
    built_any = true;
    if (!choice.platform) choice.platform = create_terminal_front_end(options);
#endif
    (void)options;
    (void)argc;
    (void)argv;
    if (!choice.platform) {
        choice.reason = built_any ? "no front end is available: no display for the desktop front end and no "
                                    "terminal for the terminal one."
                                  : "no front end is available: this build has neither the desktop nor the "
                                    "terminal front end.";
    }
    return choice;
}
