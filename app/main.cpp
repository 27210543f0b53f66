// The marivue program: reads its command line, then runs the viewer (or,
// given pictures or folders, the album) over the first front end that can
// run here, desktop first, then terminal.
#include "app/album.h"
#include "app/picture_list.h"
#include "app/viewer.h"
#include "platform/command_line.h"
#include "platform/front_end.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// The program's module: resources come from the store linked into it.
constexpr ModuleHandle program_module{1};

// Exit status for a malformed command line, and when no front end can show
// the viewer.
constexpr int usage_status = 2;

// Exit status when the paths named hold no picture.
constexpr int no_pictures_status = 1;

}  // namespace

int main(int argc, char** argv) {
    const CommandLine options = parse_command_line(argc, argv);
    if (!options.error.empty()) {
        std::fprintf(stderr, "marivue: %s\nTry 'marivue --help'.\n", options.error.c_str());
        return usage_status;
    }
    if (options.help) {
        std::fputs(usage_text().c_str(), stdout);
        return 0;
    }
    if (options.version) {
        std::printf("marivue %s\n", MARIVUE_VERSION);
        return 0;
    }
    // The pictures are known before any front end starts, so that a folder
    // without any ends the program at once, display or not.
    std::vector<std::string> pictures;
    if (!options.paths.empty()) {
        pictures = build_picture_list(options.paths, options.recursive, [](const std::string& line) {
            std::fprintf(stderr, "marivue: %s\n", line.c_str());
        });
        if (pictures.empty()) {
            std::string named;
            for (const std::string& path : options.paths) named += (named.empty() ? "" : " ") + path;
            std::fprintf(stderr, "marivue: no JPEG pictures in %s\n", named.c_str());
            return no_pictures_status;
        }
    }
    FrontEndChoice front_end = choose_front_end(options, argc, argv);
    if (!front_end.platform) {
        std::fprintf(stderr, "marivue: %s\n", front_end.reason.c_str());
        return usage_status;
    }
    // The entry's own result is the handheld's and always 1; how the dialog
    // ended decides the process's status.
    if (pictures.empty())
        program_entry(*front_end.platform, program_module, null_module, u"", 1);
    else
        album_entry(*front_end.platform, program_module, std::move(pictures));
    const int status = front_end.platform->exit_status();
    if (PicturePrefetch::threads_running() > 0) {
        // A picture fitted ahead did not stop when asked (its file does not
        // answer, or one step of its decode is long): the front end puts the
        // terminal or the window system back, and the process ends without
        // the destructors of what that thread may still be using.
        front_end.platform.reset();
        std::fflush(nullptr);
        std::_Exit(status);
    }
    return status;
}
