// The marivue program: runs the viewer over the first front end that can
// run here, desktop first, then terminal.
#include "app/viewer.h"
#include "platform/front_end.h"

#include <cstdio>

namespace {

// The program's module: resources come from the store linked into it.
constexpr ModuleHandle program_module{1};

// Exit status when no front end can show the viewer.
constexpr int no_front_end_status = 2;

}  // namespace

int main(int argc, char** argv) {
    FrontEndChoice front_end = choose_front_end(argc, argv);
    if (!front_end.platform) {
        std::fprintf(stderr, "marivue: %s\n", front_end.reason.c_str());
        return no_front_end_status;
    }
    return program_entry(*front_end.platform, program_module, null_module, u"", 1);
}
