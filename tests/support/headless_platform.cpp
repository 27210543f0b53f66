#include "tests/support/headless_platform.h"

#include "platform/utf8.h"

#include <cstdio>

namespace {

constexpr uintptr_t dialog_handle_value = 0x100;

}  // namespace

HeadlessPlatform::HeadlessPlatform() = default;

HeadlessPlatform::~HeadlessPlatform() = default;

DialogModel* HeadlessPlatform::dialog_model(WindowHandle window) {
    return dialog_ != nullptr && window == dialog_->handle() ? dialog_.get() : nullptr;
}

const DialogControl* HeadlessPlatform::control(uint16_t control_id) const {
    return dialog_ != nullptr ? dialog_->find_control(control_id) : nullptr;
}

std::u16string HeadlessPlatform::control_text(uint16_t control_id) const {
    const DialogControl* c = control(control_id);
    return c != nullptr ? c->text : std::u16string();
}

// --- The user's actions --------------------------------------------------------------

bool HeadlessPlatform::done_acting() {
    dialog_->deliver_paint();
    return true;
}

bool HeadlessPlatform::press_button(uint16_t control_id) {
    const DialogControl* c = user_may_act() ? dialog_->find_control(control_id) : nullptr;
    if (c == nullptr || c->control_class != control_class_button) return false;
    dialog_->set_focus(control_id);
    dialog_->notify(control_id, button_clicked);
    return done_acting();
}

bool HeadlessPlatform::press_key_command(uint16_t command) {
    if (!user_may_act()) return false;
    dialog_->notify(command, button_clicked);
    return done_acting();
}

bool HeadlessPlatform::touch_control(uint16_t control_id) {
    if (!user_may_act() || dialog_->find_control(control_id) == nullptr) return false;
    dialog_->set_focus(control_id);
    return done_acting();
}

bool HeadlessPlatform::type_text(uint16_t control_id, const std::u16string& text) {
    const DialogControl* c = user_may_act() ? dialog_->find_control(control_id) : nullptr;
    if (c == nullptr || !c->is_editable()) return false;
    dialog_->set_focus(control_id);
    bool all_taken = true;
    for (size_t i = 0; i < text.size() && dialog_->open(); ++i) {
        const size_t units = is_high_surrogate(text[i]) && i + 1 < text.size() && is_low_surrogate(text[i + 1]) ? 2 : 1;
        all_taken &=
            dialog_->type_units(control_id, dialog_->find_control(control_id)->text.size(), text.substr(i, units));
        i += units - 1;
    }
    if (!dialog_->open()) return false;
    done_acting();
    return all_taken;
}

bool HeadlessPlatform::clear_text(uint16_t control_id) {
    const DialogControl* c = user_may_act() ? dialog_->find_control(control_id) : nullptr;
    if (c == nullptr || !c->is_editable()) return false;
    dialog_->set_focus(control_id);
    dialog_->edited(control_id, u"");
    return done_acting();
}

bool HeadlessPlatform::press_done() {
    if (!user_may_act() || !dialog_->has_done_button()) return false;
    dialog_->notify(command_ok, button_clicked);
    return done_acting();
}

bool HeadlessPlatform::request_repaint() {
    if (!user_may_act()) return false;
    invalidate_rect(dialog_->handle(), nullptr, 1);
    return done_acting();
}

bool HeadlessPlatform::lower_panel_by_shell() {
    if (!user_may_act()) return false;
    panel_up_ = false;
    return true;
}

// --- Dialogs ------------------------------------------------------------------------

intptr_t HeadlessPlatform::dialog_box_indirect(ModuleHandle, const uint8_t* template_bytes, uint32_t template_size,
                                               WindowHandle, DialogProcedure procedure, intptr_t init_argument) {
    if (dialog_open()) return -1;
    std::unique_ptr<DialogModel> dialog =
        DialogModel::from_template(*this, WindowHandle{dialog_handle_value}, procedure, template_bytes, template_size);
    if (dialog == nullptr) return -1;
    dialog_ = std::move(dialog);
    dialog_->initialise(init_argument);
    if (dialog_->open()) dialog_->deliver_paint();
    if (dialog_->open() && user) user(*this);

    const intptr_t result = dialog_->open() ? -1 : dialog_->result();
    dialog_->end_with(result);
    note_dialog_result(result);
    return result;
}

bool HeadlessPlatform::shell_init_dialog(const ShellDialogInit& request) {
    if (!DialogPlatform::shell_init_dialog(request)) return false;
    shell_request_ = request;
    if ((request.mask & shell_init_mask_flags) != 0 && (request.flags & shell_init_sip_down) != 0) panel_up_ = false;
    return true;
}

bool HeadlessPlatform::show_input_panel(int32_t show) {
    panel_calls_.push_back(show != 0 ? 1 : 0);
    panel_up_ = show != 0;
    return true;
}

// --- Drawing ---------------------------------------------------------------------------

DrawContext HeadlessPlatform::get_screen_context(WindowHandle window) {
    return fail_screen_context ? null_context : DialogPlatform::get_screen_context(window);
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

bool HeadlessPlatform::block_copy(DrawContext destination, int32_t x, int32_t y, int32_t width, int32_t height,
                                  DrawContext source, int32_t source_x, int32_t source_y, uint32_t raster) {
    // Every request is recorded, the refused ones too.
    copies_.push_back(BlockCopy{destination, x, y, width, height, source, source_x, source_y, raster});
    return SurfacePlatform::block_copy(destination, x, y, width, height, source, source_x, source_y, raster);
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
