// Marivue viewer: the dialog state, its logic operations and the dialog
// procedure that drives them over the platform layer.
//
// The logic (random start, stepping, box texts, caption filter) works on the
// one process-wide ViewerDialog record and reaches the outside world only
// through a ViewerServices record, so it runs without a platform; the dialog
// procedure builds that record from the Platform it is given.
#pragma once

#include "app/catalog.h"
#include "app/frame_loader.h"
#include "platform/platform.h"

#include <cstdint>
#include <functional>

// Dialog template and controls.
constexpr uint16_t viewer_dialog_template_id = 104;
constexpr int32_t control_forward = 1002;  // ">>>"
constexpr int32_t control_back = 1003;  // "<<<"
constexpr int32_t control_caption_box = 1004;
constexpr int32_t control_details_box = 1006;
constexpr int32_t control_search_box = 1008;

// Text buffers hold 256 UTF-16 units; look-ups and reads are cut to 255.
constexpr int32_t text_buffer_units = 256;
constexpr int32_t text_limit = 255;
constexpr int32_t image_line_units = 16;

// The search box accepts at most 250 units, so that the no-match marker
// always fits behind the text in a 256-unit buffer.
constexpr int32_t search_text_limit = 250;
constexpr char16_t no_match_marker[] = u"-NONE";

// First string identifier of the captions searched by the filter.
constexpr uint16_t first_caption_string_id = 5000;

// Single-precision factor of the random start: the float nearest 1/32767.
constexpr uint32_t random_scale_bits = 0x38000100u;

struct ViewerDialog {
    ModuleHandle app_instance{};
    uint16_t current_id = first_picture_id;  // picture on show (2000 to 2303 after set-up)
    uint32_t image_count = 0;  // 304 from set-up on

    // The frame buffer and the platform bitmap that holds it.
    int32_t frame_width = 0;
    int32_t frame_height = 0;
    int32_t frame_bytes = 0;
    BitmapInfoHeader* bitmap_header = nullptr;
    BitmapHandle frame_bitmap{};
    uint8_t* frame_pixels = nullptr;
    DrawContext memory_dc{};  // null until set-up has created it

    // Caption filter.
    char16_t search_text[text_buffer_units] = {};
    uint8_t filter_active = 0;
    uint8_t input_panel_up = 0;
};

// The one dialog of the process. Only the dialog procedure changes it.
extern ViewerDialog viewer_dialog;

// What the logic operations need from outside.
struct ViewerServices {
    // String `id` into `buffer` (limit + 1 units), cut to `limit`; empty when missing.
    std::function<int32_t(uint16_t id, char16_t* buffer, int32_t limit)> load_string;
    // A pseudo-random integer 0 to 32767.
    std::function<int32_t()> random;
    // Decodes picture `id` into the frame buffer; false when refused.
    std::function<bool(uint16_t id)> load_frame;
    // Text of a control of the dialog.
    std::function<void(int32_t control_id, const char16_t* text)> set_control_text;
    std::function<int32_t(int32_t control_id, char16_t* buffer, int32_t limit)> get_control_text;
    // Raises (1) or lowers (0) the input panel.
    std::function<void(int32_t show)> show_input_panel;
};

enum StepDirection : int32_t {
    StepForward = 0,
    StepBack = 1,
};

enum ImageLineKind : int32_t {
    ImageLineSetUp = 0,  // "\r\n Image #%3d"
    ImageLineStep = 1,  // "\r\nImage #%3d"
};

// --- Viewer dialog logic ------------------------------------------------------

// The picture identifier that random value `r` (0 to 32767) selects among
// `count` pictures, in single precision: trunc(float(r) x 1/32767 x
// float(count)) + 2000, low 16 bits. 32767 gives one past the last picture.
uint16_t start_picture_id(int32_t r, uint32_t count);

// Picks current_id at random until load_frame accepts it. After 304 refused
// draws it tries every picture once in order from the last draw, and when
// none loads it leaves current_id at the first picture and returns false.
bool choose_start_picture(ViewerDialog& dialog, const ViewerServices& services);

// The identifier after `id` in `direction`, wrapping from 2303 to 2000 and
// from 2000 to 2303.
uint16_t next_picture_id(uint16_t id, StepDirection direction);

// Moves current_id in `direction` to the next picture that loads and, with
// the filter on, whose caption contains search_text. Gives up after one full
// round of 304 identifiers and returns false; current_id is then back where
// it started.
bool step_picture(ViewerDialog& dialog, StepDirection direction, const ViewerServices& services);

// The caption box text for current_id: caption, line break, image line.
// `text` holds text_buffer_units units.
void compose_caption(const ViewerDialog& dialog, ImageLineKind line, const ViewerServices& services, char16_t* text);

// The details box text for current_id: location, a space, date, line break,
// credit line. `text` holds text_buffer_units units.
void compose_details(const ViewerDialog& dialog, const ViewerServices& services, char16_t* text);

// --- Caption filter ---------------------------------------------------------

// Any notification from the search box: raises the input panel if it is not
// up, and copies the box's text (at most 250 units) into search_text.
bool read_search_box(ViewerDialog& dialog, const ViewerServices& services);

// First thing at every step press: lowers the input panel if it is up.
void lower_input_panel(ViewerDialog& dialog, const ViewerServices& services);

// At every step press, before the step: switches the filter on when some
// caption contains search_text; otherwise switches it off, and for a text
// that matches nothing appends the marker "-NONE" and writes the text back
// to the box.
void update_filter(ViewerDialog& dialog, const ViewerServices& services);

// The same rules over a search text and panel flag of any dialog. The
// filter's decision: on (1) when `any_contains` finds the text, otherwise
// off (0), with the marker appended and written back for a text that
// matches nothing.
bool read_search_box(char16_t* search_text, uint8_t& input_panel_up, const ViewerServices& services);
void lower_input_panel(uint8_t& input_panel_up, const ViewerServices& services);
uint8_t decide_filter(char16_t* search_text, const std::function<bool(const char16_t* text)>& any_contains,
                      const ViewerServices& services);

// --- Platform side ------------------------------------------------------------

// The services record over `platform`, for `dialog` of the viewer.
ViewerServices platform_viewer_services(Platform& platform, WindowHandle dialog);

// The viewer's dialog procedure: set-up, paint and commands.
intptr_t viewer_dialog_procedure(Platform& platform, WindowHandle dialog, uint32_t message, uintptr_t first,
                                 intptr_t second);

// The program entry: runs the viewer dialog modally over `platform` and
// returns 1. A second instance (`previous_instance` not null) returns 1 at
// once. The command line and show mode are ignored.
int32_t program_entry(Platform& platform, ModuleHandle instance, ModuleHandle previous_instance,
                      const char16_t* command_line, int32_t show_mode);
