#include "app/viewer.h"

#include "app/catalog.h"
#include "app/dialog_frame.h"
#include "app/wide_text.h"
#include "platform/key_map.h"

#include <bit>
#include <cstring>
#include <new>

ViewerDialog viewer_dialog;

// --- Picture choice -----------------------------------------------------------------

uint16_t start_picture_id(int32_t r, uint32_t count) {
    // Single precision throughout, as on the handheld: the scaled value of
    // 32767 rounds to exactly 1.0 and so names one past the last picture.
    const float scale = std::bit_cast<float>(random_scale_bits);
    float fraction = static_cast<float>(r) * scale;
    float scaled = fraction * static_cast<float>(count);
    int32_t number = static_cast<int32_t>(scaled);
    return static_cast<uint16_t>(number + first_picture_id);
}

namespace {

// Draws allowed before the start gives up drawing and sweeps instead. Only a
// collection in which few pictures decode gets there; the stored one refuses
// only the one value that names a missing picture.
constexpr int32_t start_draw_limit = static_cast<int32_t>(image_count);

bool in_collection(uint16_t id) { return id >= first_picture_id && id <= last_picture_id; }

}  // namespace

bool choose_start_picture(ViewerDialog& dialog, const ViewerServices& services) {
    for (int32_t draw = 0; draw < start_draw_limit; ++draw) {
        dialog.current_id = start_picture_id(services.random(), dialog.image_count);
        if (services.load_frame(dialog.current_id)) return true;
    }
    // Every draw was refused: try each picture once, so a collection with any
    // readable picture still starts and one with none does not hang.
    uint16_t id = in_collection(dialog.current_id) ? dialog.current_id : first_picture_id;
    for (uint32_t tried = 0; tried < image_count; ++tried) {
        if (services.load_frame(id)) {
            dialog.current_id = id;
            return true;
        }
        id = next_picture_id(id, StepForward);
    }
    dialog.current_id = first_picture_id;
    return false;
}

uint16_t next_picture_id(uint16_t id, StepDirection direction) {
    if (direction == StepForward) {
        uint16_t next = static_cast<uint16_t>(id + 1);
        return next > last_picture_id ? first_picture_id : next;
    }
    uint16_t next = static_cast<uint16_t>(id - 1);
    return next < first_picture_id ? last_picture_id : next;
}

namespace {

// The catalogue entry of the picture on show; 0 (no such string) for an
// identifier outside the collection, which only a failed start leaves behind.
uint16_t caption_string_id(uint16_t id) {
    return in_collection(id) ? static_cast<uint16_t>(image_catalog.caption_ids[id - first_picture_id]) : 0;
}
uint16_t location_string_id(uint16_t id) {
    return in_collection(id) ? static_cast<uint16_t>(image_catalog.location_ids[id - first_picture_id]) : 0;
}
uint16_t date_string_id(uint16_t id) {
    return in_collection(id) ? static_cast<uint16_t>(image_catalog.date_ids[id - first_picture_id]) : 0;
}

}  // namespace

bool step_picture(ViewerDialog& dialog, StepDirection direction, const ViewerServices& services) {
    char16_t caption[text_buffer_units];
    // One full round at most: after image_count moves the identifier is back
    // where it started, and nothing further could be accepted.
    for (uint32_t tried = 0; tried < image_count; ++tried) {
        dialog.current_id = next_picture_id(dialog.current_id, direction);
        if (!services.load_frame(dialog.current_id)) continue;
        services.load_string(caption_string_id(dialog.current_id), caption, text_limit);
        if (dialog.filter_active && !wide_contains(caption, dialog.search_text)) continue;
        return true;
    }
    return false;
}

// --- Box texts ------------------------------------------------------------------

namespace {

// "\r\n Image #%3d" or "\r\nImage #%3d": the number right-aligned in three
// characters, padded with spaces (wider numbers keep all their digits).
void format_image_line(ImageLineKind line, int32_t number, char16_t* out) {
    char16_t digits[12];
    int32_t count = 0;
    uint32_t value = number < 0 ? static_cast<uint32_t>(-static_cast<int64_t>(number)) : static_cast<uint32_t>(number);
    do {
        digits[count++] = static_cast<char16_t>(u'0' + value % 10);
        value /= 10;
    } while (value != 0);
    if (number < 0) digits[count++] = u'-';

    out[0] = 0;
    wide_append(out, image_line_units, line == ImageLineSetUp ? u"\r\n Image #" : u"\r\nImage #");
    int32_t n = wide_length(out);
    for (int32_t pad = count; pad < 3 && n + 1 < image_line_units; ++pad) out[n++] = u' ';
    while (count > 0 && n + 1 < image_line_units) out[n++] = digits[--count];
    out[n] = 0;
}

}  // namespace

void compose_caption(const ViewerDialog& dialog, ImageLineKind line, const ViewerServices& services, char16_t* text) {
    char16_t image_line[image_line_units];
    services.load_string(caption_string_id(dialog.current_id), text, text_limit);
    format_image_line(line, static_cast<int32_t>(dialog.current_id) - first_picture_id, image_line);
    wide_append(text, text_buffer_units, image_line);
}

void compose_details(const ViewerDialog& dialog, const ViewerServices& services, char16_t* text) {
    char16_t date[text_buffer_units];
    services.load_string(date_string_id(dialog.current_id), date, text_limit);
    services.load_string(location_string_id(dialog.current_id), text, text_limit);
    wide_append(text, text_buffer_units, u" ");
    wide_append(text, text_buffer_units, date);
    wide_append(text, text_buffer_units, u"\r\n[Credit: ");
    wide_append(text, text_buffer_units, credit_domain);
    wide_append(text, text_buffer_units, u"]");
}

// --- Platform side ------------------------------------------------------------

ViewerServices platform_viewer_services(Platform& platform, WindowHandle dialog) {
    ViewerServices s;
    s.load_string = [&platform](uint16_t id, char16_t* buffer, int32_t limit) {
        return platform.load_string(viewer_dialog.app_instance, id, buffer, limit);
    };
    s.random = [&platform]() { return platform.random(); };
    s.load_frame = [&platform](uint16_t id) {
        FrameLoaderServices loader;
        loader.find_picture = [&platform](uint16_t picture, const uint8_t** data, uint32_t* size) {
            return platform.find_resource(viewer_dialog.app_instance, resource_type_raw_data, picture, data, size);
        };
        loader.diagnostic = [&platform](const char* format, int32_t value) {
            platform.diagnostic_print(format, value);
        };
        return load_frame(id, FrameBuffer{viewer_dialog.frame_pixels}, loader);
    };
    s.set_control_text = [&platform, dialog](int32_t control_id, const char16_t* text) {
        platform.set_control_text(dialog, control_id, text);
    };
    s.get_control_text = [&platform, dialog](int32_t control_id, char16_t* buffer, int32_t limit) {
        return platform.get_control_text(dialog, control_id, buffer, limit);
    };
    s.show_input_panel = [&platform](int32_t show) { platform.show_input_panel(show); };
    return s;
}

namespace {

// The frame as the shared set-up and paint code see it.
FrameSurface frame_surface(const ViewerDialog& d) {
    return FrameSurface{d.bitmap_header, d.frame_bitmap, d.frame_pixels, d.memory_dc};
}

intptr_t set_up(Platform& platform, WindowHandle dialog) {
    ViewerDialog& d = viewer_dialog;
    ViewerServices services = platform_viewer_services(platform, dialog);

    init_dialog_shell(platform, dialog);
    d.frame_width = frame_width;
    d.frame_height = frame_height;
    d.frame_bytes = d.frame_height * d.frame_width * frame_pixel_bytes;
    d.image_count = image_count;
    FrameSurface surface = frame_surface(d);
    const char* failure = create_frame_surface(platform, frame_width, frame_height, surface);
    d.bitmap_header = surface.header;
    if (failure != nullptr) return abandon_set_up(platform, dialog, failure);
    d.frame_bitmap = surface.bitmap;
    d.frame_pixels = surface.pixels;
    d.memory_dc = surface.memory_dc;

    platform.seed_random(platform.tick_count());
    // The search box refuses input that would leave no room for the marker.
    platform.set_control_text_limit(dialog, control_search_box, search_text_limit);

    char16_t text[text_buffer_units];
    if (choose_start_picture(d, services)) {
        compose_caption(d, ImageLineSetUp, services, text);
        platform.set_control_text(dialog, control_caption_box, text);
        compose_details(d, services, text);
        platform.set_control_text(dialog, control_details_box, text);
    }
    // With no picture at all the frame stays black and the boxes empty.

    platform.show_input_panel(0);
    d.input_panel_up = 0;
    redraw_dialog(platform, dialog);
    return 1;
}

intptr_t paint(Platform& platform, WindowHandle dialog, uintptr_t first, intptr_t second) {
    const ViewerDialog& d = viewer_dialog;
    return paint_frame(platform, dialog, frame_surface(d), d.frame_width, d.frame_height, d.input_panel_up != 0, first,
                       second);
}

// A step press, or with `from_far_end` a jump to the first (forward) or last
// (back) picture: stepping on from the other end of the collection reaches
// the first one the filter lets through.
intptr_t step(Platform& platform, WindowHandle dialog, StepDirection direction, bool from_far_end) {
    ViewerDialog& d = viewer_dialog;
    // Without a frame (set-up failed and the dialog is ending) there is
    // nothing to step through.
    if (d.memory_dc == null_context || d.frame_pixels == nullptr) return 1;
    ViewerServices services = platform_viewer_services(platform, dialog);
    lower_input_panel(d, services);
    update_filter(d, services);
    const uint16_t start_id = d.current_id;
    if (from_far_end) d.current_id = direction == StepForward ? last_picture_id : first_picture_id;
    bool moved = step_picture(d, direction, services);
    if (!moved && from_far_end) {
        // Nothing to jump to: the picture shown before stays.
        d.current_id = start_id;
        services.load_frame(start_id);
    }
    platform.select_object(d.memory_dc, d.frame_bitmap);
    if (moved) {
        char16_t text[text_buffer_units];
        compose_caption(d, ImageLineStep, services, text);
        platform.set_control_text(dialog, control_caption_box, text);
        compose_details(d, services, text);
        platform.set_control_text(dialog, control_details_box, text);
    }
    redraw_dialog(platform, dialog);
    return 1;
}

intptr_t search_box_notification(Platform& platform, WindowHandle dialog) {
    return read_search_box(viewer_dialog, platform_viewer_services(platform, dialog)) ? 1 : 0;
}

constexpr DialogCommands viewer_commands{step, search_box_notification, nullptr};

}  // namespace

intptr_t viewer_dialog_procedure(Platform& platform, WindowHandle dialog, uint32_t message, uintptr_t first,
                                 intptr_t second) {
    switch (message) {
        case message_init_dialog:
            return set_up(platform, dialog);
        case message_paint:
            return paint(platform, dialog, first, second);
        case message_command:
            return dispatch_command(platform, dialog, first, viewer_commands);
        default:
            return 0;
    }
}

int32_t program_entry(Platform& platform, ModuleHandle instance, ModuleHandle previous_instance, const char16_t*,
                      int32_t) {
    if (previous_instance != null_module) return 1;
    // A fresh dialog state for every run (the header is allocated again at set-up).
    delete viewer_dialog.bitmap_header;
    viewer_dialog = ViewerDialog{};
    viewer_dialog.app_instance = instance;

    run_dialog(platform, instance, viewer_dialog_template_id, viewer_dialog_procedure);
    return 1;
}
