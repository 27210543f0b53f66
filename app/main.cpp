// The marivue program: reads its command line, then runs the viewer (or,
// given pictures or folders, the photo view) over the first front end that
// can run here, desktop first, then terminal.
#include "app/photo_model.h"
#include "app/picture_list.h"
#include "app/viewer.h"
#include "platform/command_line.h"
#include "platform/front_end.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
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

// The photo view over `pictures`; the process's exit status.
int show_pictures(Platform& platform, const CommandLine& options, std::vector<PictureEntry> pictures) {
    PhotoOptions photo;
    photo.slideshow = options.slideshow_ms > 0;
    if (photo.slideshow) photo.slideshow_ms = options.slideshow_ms;
    photo.zoom = options.scale;
    if (char* folder = getcwd(nullptr, 0)) {
        photo.working_folder = folder;
        std::free(folder);
    }
    PhotoModel model(std::move(pictures), photo, make_picture_work());
    const int status = platform.run_photo_view(model);
    if (status != photo_view_unsupported) return status;
    std::fprintf(stderr, "marivue: this front end cannot show picture files\n");
    return usage_status;
}

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
    std::vector<PictureEntry> pictures;
    if (!options.paths.empty()) {
        pictures = build_picture_entries(options.paths, options.recursive, [](const std::string& line) {
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
    int status = 0;
    if (pictures.empty()) {
        program_entry(*front_end.platform, program_module, null_module, u"", 1);
        status = front_end.platform->exit_status();
    } else {
        status = show_pictures(*front_end.platform, options, std::move(pictures));
    }
    if (picture_work_threads_running() > 0) {
        // A picture's decode did not stop when asked (its file does not
        // answer, or one step of its decode is long), or a file is still on
        // its way to the trash: the front end puts the terminal or the
        // window system back, and the process ends without the destructors
        // of what that thread may still be using.
        front_end.platform.reset();
        std::fflush(nullptr);
        std::_Exit(status);
    }
    return status;
}
