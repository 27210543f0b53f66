#include "tests/support/headless_platform.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

constexpr uintptr_t dialog_handle_value = 0x100;
constexpr uintptr_t control_handle_base = 0x10000;

bool is_edit(const HeadlessPlatform::Control& c) { return c.layout.class_ordinal == control_class_edit; }
bool is_button(const HeadlessPlatform::Control& c) { return c.layout.class_ordinal == control_class_button; }

Rect intersect(const Rect& a, const Rect& b) {
    Rect r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right), std::min(a.bottom, b.bottom)};
    if (r.right < r.left) r.right = r.left;
    if (r.bottom < r.top) r.bottom = r.top;
    return r;
}

Rect unite(const Rect& a, const Rect& b) {
    return Rect{std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
                std::max(a.bottom, b.bottom)};
}

}  // namespace

HeadlessPlatform::HeadlessPlatform() : SurfacePlatform(client_width, client_height) {}

HeadlessPlatform::~HeadlessPlatform() = default;

// --- Message delivery -----------------------------------------------------------

intptr_t HeadlessPlatform::send(uint32_t message, uintptr_t first, intptr_t second) {
    if (procedure_ == nullptr) return 0;
    if (message == message_paint) ++paint_messages_;
    // Logged in the order of delivery; the result is filled in on return.
    size_t entry = messages_.size();
    messages_.push_back(DeliveredMessage{message, first, second, 0});
    intptr_t result = procedure_(*this, dialog_, message, first, second);
    messages_[entry].result = result;
    return result;
}

void HeadlessPlatform::deliver_pending_paint() {
    if (!dialog_open_ || !invalid_) return;
    send(message_paint, 0, 0);
    // A window system keeps asking until the window is validated; here one
    // paint message per request is enough and keeps a faulty procedure from
    // looping.
    invalid_ = false;
    erase_pending_ = false;
}

bool HeadlessPlatform::user_may_act() const { return dialog_open_ && procedure_ != nullptr; }

HeadlessPlatform::Control* HeadlessPlatform::find_control(int32_t control_id) {
    for (Control& c : controls_)
        if (c.layout.id == control_id) return &c;
    return nullptr;
}

const HeadlessPlatform::Control* HeadlessPlatform::control(uint16_t control_id) const {
    for (const Control& c : controls_)
        if (c.layout.id == control_id) return &c;
    return nullptr;
}

std::u16string HeadlessPlatform::control_text(uint16_t control_id) const {
    const Control* c = control(control_id);
    return c != nullptr ? c->text : std::u16string();
}

void HeadlessPlatform::move_focus(int32_t control_id) {
    if (focus_ == control_id) return;
    int32_t old = focus_;
    focus_ = control_id;
    if (Control* c = find_control(old); c != nullptr && is_edit(*c))
        send(message_command, make_command(c->layout.id, edit_kill_focus), static_cast<intptr_t>(c->window));
    if (!dialog_open_) return;
    if (Control* c = find_control(control_id); c != nullptr && is_edit(*c))
        send(message_command, make_command(c->layout.id, edit_set_focus), static_cast<intptr_t>(c->window));
}

// --- The user's actions --------------------------------------------------------------

bool HeadlessPlatform::press_button(uint16_t control_id) {
    if (!user_may_act()) return false;
    Control* c = find_control(control_id);
    if (c == nullptr || !is_button(*c)) return false;
    move_focus(control_id);
    if (dialog_open_) send(message_command, make_command(control_id, button_clicked), static_cast<intptr_t>(c->window));
    deliver_pending_paint();
    return true;
}

bool HeadlessPlatform::press_key_command(uint16_t command) {
    if (!user_may_act()) return false;
    send(message_command, make_command(command, button_clicked), 0);
    deliver_pending_paint();
    return true;
}

bool HeadlessPlatform::touch_control(uint16_t control_id) {
    if (!user_may_act()) return false;
    if (find_control(control_id) == nullptr) return false;
    move_focus(control_id);
    deliver_pending_paint();
    return true;
}

bool HeadlessPlatform::type_text(uint16_t control_id, const std::u16string& text) {
    if (!user_may_act()) return false;
    Control* c = find_control(control_id);
    if (c == nullptr || !is_edit(*c) || (c->layout.style & edit_style_read_only) != 0) return false;
    move_focus(control_id);
    bool all_taken = true;
    for (char16_t unit : text) {
        if (!dialog_open_) return false;
        c = find_control(control_id);
        if (static_cast<int32_t>(c->text.size()) >= c->text_limit) {
            all_taken = false;  // refused, as an edit control refuses input beyond its limit
            continue;
        }
        c->text.push_back(unit);
        send(message_command, make_command(control_id, edit_change), static_cast<intptr_t>(c->window));
    }
    deliver_pending_paint();
    return all_taken;
}

bool HeadlessPlatform::clear_text(uint16_t control_id) {
    if (!user_may_act()) return false;
    Control* c = find_control(control_id);
    if (c == nullptr || !is_edit(*c) || (c->layout.style & edit_style_read_only) != 0) return false;
    move_focus(control_id);
    c = find_control(control_id);
    if (dialog_open_ && !c->text.empty()) {
        c->text.clear();
        send(message_command, make_command(control_id, edit_change), static_cast<intptr_t>(c->window));
    }
    deliver_pending_paint();
    return true;
}

bool HeadlessPlatform::leave_focus() {
    if (!user_may_act()) return false;
    move_focus(-1);
    deliver_pending_paint();
    return true;
}

bool HeadlessPlatform::press_done() {
    if (!user_may_act() || !shell_initialised_ || (shell_request_.flags & shell_init_done_button) == 0) return false;
    send(message_command, make_command(command_ok, button_clicked), 0);
    deliver_pending_paint();
    return true;
}

bool HeadlessPlatform::request_repaint() {
    if (!user_may_act()) return false;
    invalidate_rect(dialog_, nullptr, 1);
    deliver_pending_paint();
    return true;
}

bool HeadlessPlatform::lower_panel_by_shell() {
    if (!user_may_act()) return false;
    panel_up_ = false;
    return true;
}

// --- Dialogs ------------------------------------------------------------------------

intptr_t HeadlessPlatform::dialog_box_indirect(ModuleHandle, const uint8_t* template_bytes, uint32_t template_size,
                                               WindowHandle, DialogProcedure procedure, intptr_t init_argument) {
    if (dialog_open_ || procedure == nullptr) return -1;
    DialogTemplate layout;
    if (!parse_dialog_template(template_bytes, template_size, &layout)) return -1;

    layout_ = std::move(layout);
    controls_.clear();
    for (const DialogControlTemplate& item : layout_.controls) {
        Control c{item, WindowHandle{control_handle_base + item.id}, item.text, default_text_limit};
        controls_.push_back(std::move(c));
    }
    dialog_ = WindowHandle{dialog_handle_value};
    procedure_ = procedure;
    dialog_open_ = true;
    dialog_result_ = -1;
    focus_ = -1;
    invalid_ = false;

    // The control that would get the focus: the first tab stop.
    WindowHandle first_tab_stop = null_window;
    int32_t first_tab_id = -1;
    for (const Control& c : controls_) {
        if ((c.layout.style & 0x00010000u) != 0) {
            first_tab_stop = c.window;
            first_tab_id = c.layout.id;
            break;
        }
    }
    intptr_t focus_default = send(message_init_dialog, static_cast<uintptr_t>(first_tab_stop), init_argument);
    // The dialog is shown once initialised; a non-zero result gives the
    // default control the focus.
    if (dialog_open_) {
        invalidate_rect(dialog_, nullptr, 1);
        if (focus_default != 0 && first_tab_id >= 0) move_focus(first_tab_id);
        deliver_pending_paint();
    }
    if (dialog_open_ && user) user(*this);

    intptr_t result = dialog_open_ ? -1 : dialog_result_;
    dialog_open_ = false;
    procedure_ = nullptr;
    note_dialog_result(result);
    return result;
}

bool HeadlessPlatform::end_dialog(WindowHandle dialog, intptr_t result) {
    if (dialog != dialog_ || !dialog_open_) return false;
    dialog_open_ = false;
    dialog_result_ = result;
    return true;
}

bool HeadlessPlatform::shell_init_dialog(const ShellDialogInit& request) {
    if (request.window != dialog_ || dialog_ == null_window) return false;
    shell_request_ = request;
    shell_initialised_ = true;
    if ((request.mask & shell_init_mask_flags) != 0 && (request.flags & shell_init_sip_down) != 0) panel_up_ = false;
    return true;
}

intptr_t HeadlessPlatform::default_window_procedure(WindowHandle window, uint32_t message, uintptr_t, intptr_t) {
    if (message == message_paint) {
        PaintInfo info{};
        begin_paint(window, &info);
        end_paint(window, &info);
    }
    return 0;
}

// --- Controls ------------------------------------------------------------------------

bool HeadlessPlatform::set_control_text(WindowHandle dialog, int32_t control_id, const char16_t* text) {
    if (dialog != dialog_) return false;
    Control* c = find_control(control_id);
    if (c == nullptr) return false;
    c->text = text != nullptr ? std::u16string(text) : std::u16string();
    return true;
}

int32_t HeadlessPlatform::get_control_text(WindowHandle dialog, int32_t control_id, char16_t* buffer, int32_t limit) {
    if (buffer == nullptr) return 0;
    buffer[0] = 0;
    if (dialog != dialog_ || limit <= 0) return 0;
    const Control* c = find_control(control_id);
    if (c == nullptr) return 0;
    int32_t n = std::min<int32_t>(limit, static_cast<int32_t>(c->text.size()));
    std::copy(c->text.begin(), c->text.begin() + n, buffer);
    buffer[n] = 0;
    return n;
}

bool HeadlessPlatform::set_control_text_limit(WindowHandle dialog, int32_t control_id, int32_t limit) {
    if (dialog != dialog_) return false;
    Control* c = find_control(control_id);
    if (c == nullptr || !is_edit(*c)) return false;
    c->text_limit = limit > 0 ? limit : default_text_limit;
    return true;
}

bool HeadlessPlatform::show_input_panel(int32_t show) {
    panel_calls_.push_back(show != 0 ? 1 : 0);
    panel_up_ = show != 0;
    return true;
}

// --- Drawing ---------------------------------------------------------------------------

DrawContext HeadlessPlatform::get_screen_context(WindowHandle window) {
    if (fail_screen_context) return null_context;
    return add_context(window == null_window ? SurfaceContext::Screen : SurfaceContext::Window, window);
}

DrawContext HeadlessPlatform::create_compatible_context(DrawContext context) {
    if (fail_compatible_context) return null_context;
    return SurfacePlatform::create_compatible_context(context);
}

BitmapHandle HeadlessPlatform::create_dib_section(DrawContext context, const BitmapInfoHeader* header,
                                                  uint32_t colour_use, uint8_t** pixels, uintptr_t mapping,
                                                  uint32_t offset) {
    if (fail_dib_section) {
        if (pixels != nullptr) *pixels = nullptr;
        return null_bitmap;
    }
    return SurfacePlatform::create_dib_section(context, header, colour_use, pixels, mapping, offset);
}

void HeadlessPlatform::erase_rect(const Rect& rect) {
    Rect r = intersect(rect, Rect{0, 0, client_width, client_height});
    std::vector<uint8_t>& screen = window_pixels();
    for (int32_t y = r.top; y < r.bottom; ++y)
        std::memset(&screen[(static_cast<size_t>(y) * client_width + r.left) * 3], background_level,
                    static_cast<size_t>(r.right - r.left) * 3);
}

DrawContext HeadlessPlatform::begin_paint(WindowHandle window, PaintInfo* info) {
    if (window != dialog_ || info == nullptr) return null_context;
    Rect area = invalid_ ? invalid_rect_ : Rect{0, 0, 0, 0};
    // The default handling of the erase request: paint the background.
    if (invalid_ && erase_pending_) erase_rect(area);
    if (paint_context_ == null_context) paint_context_ = add_context(SurfaceContext::Window, window);
    info->context = paint_context_;
    info->erase = 0;
    info->paint_rect = area;
    invalid_ = false;
    erase_pending_ = false;
    return info->context;
}

bool HeadlessPlatform::end_paint(WindowHandle window, const PaintInfo* info) {
    return window == dialog_ && info != nullptr;
}

bool HeadlessPlatform::block_copy(DrawContext destination, int32_t x, int32_t y, int32_t width, int32_t height,
                                  DrawContext source, int32_t source_x, int32_t source_y, uint32_t raster) {
    // Every request is recorded, the refused ones too.
    copies_.push_back(BlockCopy{destination, x, y, width, height, source, source_x, source_y, raster});
    return SurfacePlatform::block_copy(destination, x, y, width, height, source, source_x, source_y, raster);
}

bool HeadlessPlatform::get_client_rect(WindowHandle window, Rect* rect) {
    if (window != dialog_ || rect == nullptr) return false;
    *rect = Rect{0, 0, client_width, client_height};
    return true;
}

bool HeadlessPlatform::invalidate_rect(WindowHandle window, const Rect* rect, int32_t erase) {
    if (window != dialog_) return false;
    Rect area = intersect(rect != nullptr ? *rect : Rect{0, 0, client_width, client_height},
                          Rect{0, 0, client_width, client_height});
    invalid_rect_ = invalid_ ? unite(invalid_rect_, area) : area;
    invalid_ = true;
    if (erase != 0) erase_pending_ = true;
    return true;
}

bool HeadlessPlatform::update_window(WindowHandle window) {
    if (window != dialog_) return false;
    deliver_pending_paint();
    return true;
}

// --- Runtime ----------------------------------------------------------------------------

bool HeadlessPlatform::find_resource(ModuleHandle module, uint16_t type, uint16_t id, const uint8_t** data,
                                     uint32_t* size) {
    if (!resource_source) return Platform::find_resource(module, type, id, data, size);
    *data = nullptr;
    *size = 0;
    if (!resource_source(type, id, data, size) || *data == nullptr || *size == 0) {
        *data = nullptr;
        *size = 0;
        return false;
    }
    return true;
}

int32_t HeadlessPlatform::load_string(ModuleHandle module, uint16_t id, char16_t* buffer, int32_t limit) {
    if (!string_source) return Platform::load_string(module, id, buffer, limit);
    if (buffer == nullptr) return 0;
    buffer[0] = 0;
    if (limit <= 0) return 0;
    return string_source(id, buffer, limit);
}

int32_t HeadlessPlatform::random() {
    ++random_draws_;
    if (!random_source) return Platform::random();
    return random_source() & random_maximum;
}

void HeadlessPlatform::seed_random(uint32_t seed) {
    seed_ = seed;
    Platform::seed_random(seed);
}

uint32_t HeadlessPlatform::tick_count() { return tick_source ? tick_source() : Platform::tick_count(); }

void HeadlessPlatform::diagnostic_print(const char* format, int32_t value) {
    if (format == nullptr) return;
    char line[512];
    // The format is the program's own, with at most one integer conversion.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    std::snprintf(line, sizeof line, format, value);
#pragma GCC diagnostic pop
    diagnostics_.emplace_back(line);
    std::fputs(line, stderr);
}
