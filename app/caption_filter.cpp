// The caption filter: the search box's text restricts stepping to pictures
// whose caption contains it. Decided afresh at every step press.
#include "app/viewer.h"
#include "app/wide_text.h"

bool read_search_box(ViewerDialog& dialog, const ViewerServices& services) {
    if (!dialog.input_panel_up) {
        services.show_input_panel(1);
        dialog.input_panel_up = 1;
    }
    services.get_control_text(control_search_box, dialog.search_text, text_limit);
    // The box itself refuses longer input; cut anyway, so the marker always
    // fits even when the text arrived some other way.
    if (wide_length(dialog.search_text) > search_text_limit) dialog.search_text[search_text_limit] = 0;
    return true;
}

void lower_input_panel(ViewerDialog& dialog, const ViewerServices& services) {
    if (dialog.input_panel_up) {
        services.show_input_panel(0);
        dialog.input_panel_up = 0;
    }
}

void update_filter(ViewerDialog& dialog, const ViewerServices& services) {
    if (dialog.search_text[0] == 0) {
        dialog.filter_active = 0;
        return;
    }
    // The marker means this text has already been found to match nothing.
    if (wide_contains(dialog.search_text, no_match_marker)) {
        dialog.filter_active = 0;
        return;
    }
    // Every caption string is searched, with no early stop.
    uint32_t matches = 0;
    char16_t caption[text_buffer_units];
    for (uint32_t i = 0; i < dialog.image_count; ++i) {
        services.load_string(static_cast<uint16_t>(first_caption_string_id + i), caption, text_limit);
        if (caption[0] != 0 && wide_contains(caption, dialog.search_text)) ++matches;
    }
    if (matches > 0) {
        dialog.filter_active = 1;
        return;
    }
    wide_append(dialog.search_text, text_buffer_units, no_match_marker);
    services.set_control_text(control_search_box, dialog.search_text);
    dialog.filter_active = 0;
}
