// The caption filter: the search box's text restricts stepping to pictures
// whose caption contains it. Decided afresh at every step press.
#include "app/viewer.h"
#include "app/wide_text.h"

bool read_search_box(char16_t* search_text, uint8_t& input_panel_up, const ViewerServices& services) {
    if (!input_panel_up) {
        services.show_input_panel(1);
        input_panel_up = 1;
    }
    services.get_control_text(control_search_box, search_text, text_limit);
    // The box itself refuses longer input; cut anyway, so the marker always
    // fits even when the text arrived some other way, and never between the
    // halves of a surrogate pair.
    if (wide_length(search_text) > search_text_limit)
        search_text[is_high_surrogate(search_text[search_text_limit - 1]) ? search_text_limit - 1 : search_text_limit] =
            0;
    return true;
}

void lower_input_panel(uint8_t& input_panel_up, const ViewerServices& services) {
    if (input_panel_up) {
        services.show_input_panel(0);
        input_panel_up = 0;
    }
}

uint8_t decide_filter(char16_t* search_text, const std::function<bool(const char16_t* text)>& any_contains,
                      const ViewerServices& services) {
    if (search_text[0] == 0) return 0;
    // The marker means this text has already been found to match nothing.
    if (wide_contains(search_text, no_match_marker)) return 0;
    if (any_contains(search_text)) return 1;
    wide_append(search_text, text_buffer_units, no_match_marker);
    services.set_control_text(control_search_box, search_text);
    return 0;
}

bool read_search_box(ViewerDialog& dialog, const ViewerServices& services) {
    return read_search_box(dialog.search_text, dialog.input_panel_up, services);
}

void lower_input_panel(ViewerDialog& dialog, const ViewerServices& services) {
    lower_input_panel(dialog.input_panel_up, services);
}

void update_filter(ViewerDialog& dialog, const ViewerServices& services) {
    dialog.filter_active = decide_filter(
        dialog.search_text,
        [&](const char16_t* text) {
            // Every caption string is searched, with no early stop.
            uint32_t matches = 0;
            char16_t caption[text_buffer_units];
            for (uint32_t i = 0; i < dialog.image_count; ++i) {
                services.load_string(static_cast<uint16_t>(first_caption_string_id + i), caption, text_limit);
                if (caption[0] != 0 && wide_contains(caption, text)) ++matches;
            }
            return matches > 0;
        },
        services);
}
