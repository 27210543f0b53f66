#include "app/album.h"

#include "app/wide_text.h"
#include "platform/key_map.h"

#include <cstdio>
#include <ctime>

AlbumDialog album_dialog;

std::u16string album_details(const PictureFacts& facts) {
    std::string lines;
    const auto add = [&lines](const std::string& line) { lines += (lines.empty() ? "" : "\r\n") + line; };
    if (facts.width > 0) add(std::to_string(facts.width) + " \u00D7 " + std::to_string(facts.height) + " pixels");
    if (facts.file_bytes > 0) add(human_size(facts.file_bytes));
    if (facts.exif.date_taken.size() == 19) {
        // "YYYY:MM:DD HH:MM:SS" as written: the date's colons become dashes.
        std::string date = facts.exif.date_taken;
        date[4] = date[7] = '-';
        add("Taken " + date);
    } else if (facts.modified != 0) {
        std::tm local{};
        char text[32];
        if (localtime_r(&facts.modified, &local) != nullptr &&
            std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local) != 0)
            add(std::string("Modified ") + text);
    }
    return utf16_from_utf8(lines);
}

namespace {

bool passes_filter(const AlbumDialog& album, size_t index) {
    return !album.filter_active || wide_contains(album.names[index].c_str(), album.search_text);
}

// The picture after `index` in `direction` that the filter lets through,
// wrapping at either end; `index` itself when no other one passes.
size_t next_index(const AlbumDialog& album, size_t index, StepDirection direction) {
    const size_t count = album.paths.size();
    size_t next = index;
    for (size_t tried = 0; tried < count; ++tried) {
        next = direction == StepForward ? (next + 1) % count : (next + count - 1) % count;
        if (passes_filter(album, next)) return next;
    }
    return index;
}

// What the picture area says over the frame: nothing for a picture shown in
// full, else the file's name and the reason.
std::u16string picture_message(const AlbumDialog& album) {
    if (album.shown.result == PictureResult::shown && album.shown.reason.empty()) return u"";
    return album.names[album.current] + u": " + utf16_from_utf8(album.shown.reason);
}

// Shows picture `index` (fitted ahead when it was the one in hand), its
// boxes and any message, then starts on the next one in `direction`.
void show(Platform& platform, WindowHandle dialog, size_t index, StepDirection direction) {
    AlbumDialog& album = album_dialog;
    // A step that comes back to the picture on show (the only one, or the
    // only one the filter lets through) keeps it rather than decode it again.
    if (index != album.current || !album.fitted) {
        album.current = index;
        if (!album.prefetch.take(index, album.frame.pixels, album.shown))
            album.shown =
                fit_picture(album.paths[index], FitFrame{album.frame.pixels, album_frame_width, album_frame_height});
        album.fitted = true;
    }
    platform.select_object(album.frame.memory_dc, album.frame.bitmap);
    platform.set_control_text(dialog, control_caption_box, album.names[index].c_str());
    platform.set_control_text(dialog, control_details_box, album_details(album.shown.facts).c_str());
    platform.show_picture_message(dialog, picture_message(album).c_str());
    redraw_dialog(platform, dialog);
    const size_t ahead = next_index(album, index, direction);
    if (ahead != index) album.prefetch.start(ahead, album.paths[ahead]);
}

intptr_t set_up(Platform& platform, WindowHandle dialog) {
    AlbumDialog& album = album_dialog;
    init_dialog_shell(platform, dialog);
    if (const char* failure = create_frame_surface(platform, album_frame_width, album_frame_height, album.frame))
        return abandon_set_up(platform, dialog, failure);
    platform.set_control_text_limit(dialog, control_search_box, search_text_limit);
    platform.show_input_panel(0);
    album.input_panel_up = 0;
    show(platform, dialog, 0, StepForward);
    return 1;
}

// A step press, or with `from_far_end` a jump to the first (forward) or
// last (back) picture the filter lets through.
intptr_t step(Platform& platform, WindowHandle dialog, StepDirection direction, bool from_far_end) {
    AlbumDialog& album = album_dialog;
    if (album.frame.memory_dc == null_context) return 1;
    const ViewerServices services = platform_viewer_services(platform, dialog);
    lower_input_panel(album.input_panel_up, services);
    album.filter_active = decide_filter(
        album.search_text,
        [&album](const char16_t* text) {
            for (const std::u16string& name : album.names)
                if (wide_contains(name.c_str(), text)) return true;
            return false;
        },
        services);
    size_t from = album.current;
    // From one past the far end, the first step lands on the end itself.
    if (from_far_end) from = direction == StepForward ? album.paths.size() - 1 : 0;
    size_t index = next_index(album, from, direction);
    if (from_far_end && !passes_filter(album, index)) index = album.current;
    show(platform, dialog, index, direction);
    return 1;
}

intptr_t search_box_notification(Platform& platform, WindowHandle dialog) {
    AlbumDialog& album = album_dialog;
    return read_search_box(album.search_text, album.input_panel_up, platform_viewer_services(platform, dialog)) ? 1 : 0;
}

// Quitting lets the work ahead go rather than wait for it: its file may not
// answer.
constexpr DialogCommands album_commands{step, search_box_notification, [] { album_dialog.prefetch.let_go(); }};

}  // namespace

intptr_t album_dialog_procedure(Platform& platform, WindowHandle dialog, uint32_t message, uintptr_t first,
                                intptr_t second) {
    AlbumDialog& album = album_dialog;
    switch (message) {
        case message_init_dialog:
            return set_up(platform, dialog);
        case message_paint:
            return paint_frame(platform, dialog, album.frame, album_frame_width, album_frame_height,
                               album.input_panel_up != 0, first, second);
        case message_command:
            return dispatch_command(platform, dialog, first, album_commands);
        default:
            return 0;
    }
}

void album_entry(Platform& platform, ModuleHandle instance, std::vector<std::string> paths) {
    if (paths.empty()) return;  // nothing to show; the program says so before it gets here
    AlbumDialog& album = album_dialog;
    album.prefetch.stop();
    delete album.frame.header;
    album.frame = FrameSurface{};
    album.shown = PictureOutcome{};
    album.current = 0;
    album.fitted = false;
    album.search_text[0] = 0;
    album.filter_active = 0;
    album.input_panel_up = 0;
    album.names.clear();
    for (const std::string& path : paths) {
        const size_t slash = path.find_last_of('/');
        album.names.push_back(utf16_from_utf8(slash == std::string::npos ? path : path.substr(slash + 1)));
    }
    album.paths = std::move(paths);
    run_dialog(platform, instance, viewer_dialog_template_id, album_dialog_procedure);
    // However the dialog ended, the work ahead is stopped or let go.
    album.prefetch.let_go();
}
