// The window system's rules for one dialog, kept once for every front end.
#include "platform/dialog_model.h"

#include "platform/utf8.h"

#include <algorithm>
#include <string_view>

namespace {

// A control class's name, compared without regard to ASCII case.
bool names_class(const std::u16string& name, std::u16string_view class_name) {
    return std::equal(name.begin(), name.end(), class_name.begin(), class_name.end(), [](char16_t a, char16_t b) {
        return (a >= u'A' && a <= u'Z' ? static_cast<char16_t>(a - u'A' + u'a') : a) == b;
    });
}

Rect intersect(const Rect& a, const Rect& b) {
    Rect r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right), std::min(a.bottom, b.bottom)};
    r.right = std::max(r.right, r.left);
    r.bottom = std::max(r.bottom, r.top);
    return r;
}

Rect unite(const Rect& a, const Rect& b) {
    return Rect{std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
                std::max(a.bottom, b.bottom)};
}

}  // namespace

uint16_t control_class(const DialogControlTemplate& c) {
    if (c.class_ordinal != 0) return c.class_ordinal;
    if (names_class(c.class_name, u"button")) return control_class_button;
    if (names_class(c.class_name, u"edit")) return control_class_edit;
    if (names_class(c.class_name, u"static")) return control_class_static;
    return 0;
}

DialogModel::DialogModel(Platform& platform, WindowHandle handle, DialogProcedure procedure, DialogTemplate layout)
    : platform_(platform),
      handle_(handle),
      procedure_(procedure),
      layout_(std::move(layout)),
      pixels_(static_cast<size_t>(dialog_client_width) * dialog_client_height * 3, 0) {
    uintptr_t next = static_cast<uintptr_t>(handle) + 1;
    for (const DialogControlTemplate& t : layout_.controls)
        controls_.push_back(DialogControl{t, control_class(t), WindowHandle{next++}, t.text, default_text_limit});
}

std::unique_ptr<DialogModel> DialogModel::from_template(Platform& platform, WindowHandle handle,
                                                        DialogProcedure procedure, const uint8_t* template_bytes,
                                                        uint32_t size) {
    DialogTemplate layout;
    if (procedure == nullptr || template_bytes == nullptr || !parse_dialog_template(template_bytes, size, &layout))
        return nullptr;
    return std::unique_ptr<DialogModel>(new DialogModel(platform, handle, procedure, std::move(layout)));
}

DialogControl* DialogModel::find_control(int32_t id) {
    for (DialogControl& c : controls_)
        if (c.layout.id == id) return &c;
    return nullptr;
}

const DialogControl* DialogModel::find_control(int32_t id) const {
    return const_cast<DialogModel*>(this)->find_control(id);
}

const DialogControl* DialogModel::first_tab_stop() const {
    for (const DialogControl& c : controls_) {
        const uint32_t s = c.layout.style;
        if ((s & style_tab_stop) && (s & style_visible) && !(s & style_disabled)) return &c;
    }
    return nullptr;
}

// --- The dialog's life -----------------------------------------------------------

void DialogModel::initialise(intptr_t init_argument) {
    const DialogControl* first = first_tab_stop();
    const int32_t first_id = first != nullptr ? first->layout.id : -1;
    const intptr_t focus_default =
        deliver(message_init_dialog, first != nullptr ? static_cast<uintptr_t>(first->window) : 0, init_argument);
    if (!open_) return;
    invalidate(nullptr, true);
    if (focus_default != 0 && first_id >= 0) set_focus(first_id);
}

bool DialogModel::end_with(intptr_t result) {
    if (!open_) return false;
    open_ = false;
    result_ = result;
    return true;
}

bool DialogModel::shell_init(const ShellDialogInit& request) {
    if (request.window != handle_) return false;
    // Without the flags there is nothing to do.
    if ((request.mask & shell_init_mask_flags) != 0) done_button_ = (request.flags & shell_init_done_button) != 0;
    return true;
}

// --- Messages ------------------------------------------------------------------------

intptr_t DialogModel::deliver(uint32_t message, uintptr_t first, intptr_t second) {
    if (!open_) return 0;
    return procedure_(platform_, handle_, message, first, second);
}

intptr_t DialogModel::notify(uint16_t id, uint16_t notification) {
    const DialogControl* c = find_control(id);
    return deliver(message_command, make_command(id, notification),
                   c != nullptr ? static_cast<intptr_t>(c->window) : 0);
}

// --- Texts -------------------------------------------------------------------------------

bool DialogModel::set_text(int32_t id, const char16_t* text) {
    DialogControl* c = find_control(id);
    if (c == nullptr) return false;
    c->text = text != nullptr ? std::u16string(text) : std::u16string();
    return true;
}

int32_t DialogModel::copy_text(int32_t id, char16_t* buffer, int32_t limit) const {
    if (buffer == nullptr || limit < 0) return 0;
    buffer[0] = 0;
    const DialogControl* c = find_control(id);
    if (c == nullptr) return 0;
    const int32_t size = static_cast<int32_t>(c->text.size());
    int32_t count = std::min(limit, size);
    // Half a character is no text: a cut that would end on the first half
    // of a pair leaves the whole pair out.
    if (count > 0 && count < size && is_high_surrogate(c->text[count - 1])) --count;
    std::copy(c->text.begin(), c->text.begin() + count, buffer);
    buffer[count] = 0;
    return count;
}

bool DialogModel::set_text_limit(int32_t id, int32_t limit) {
    DialogControl* c = find_control(id);
    if (c == nullptr || !c->is_edit()) return false;
    c->text_limit = limit > 0 ? limit : default_text_limit;
    return true;
}

int32_t DialogModel::typing_room(int32_t id) const {
    const DialogControl* c = find_control(id);
    if (c == nullptr) return 0;
    return std::max(c->text_limit, static_cast<int32_t>(c->text.size()));
}

bool DialogModel::type_units(int32_t id, size_t at, const std::u16string& units) {
    DialogControl* c = find_control(id);
    if (c == nullptr || !c->is_editable() || !open_) return false;
    if (static_cast<int64_t>(c->text.size()) + static_cast<int64_t>(units.size()) > c->text_limit) return false;
    c->text.insert(std::min(at, c->text.size()), units);
    notify(c->layout.id, edit_change);
    return true;
}

bool DialogModel::edited(int32_t id, const std::u16string& text) {
    DialogControl* c = find_control(id);
    if (c == nullptr || !c->is_edit()) return false;
    if (c->text == text) return true;
    c->text = text;
    notify(c->layout.id, edit_change);
    return true;
}

// --- Focus -------------------------------------------------------------------------------

bool DialogModel::typing_in_box() const {
    const DialogControl* c = find_control(focus_);
    return c != nullptr && c->is_editable();
}

void DialogModel::set_focus(int32_t id) {
    if (focus_ == id) return;
    const int32_t old = focus_;
    focus_ = id;
    if (const DialogControl* c = find_control(old); c != nullptr && c->is_edit()) notify(c->layout.id, edit_kill_focus);
    if (const DialogControl* c = find_control(id); c != nullptr && c->is_edit()) notify(c->layout.id, edit_set_focus);
}

// --- Invalidation ------------------------------------------------------------------------

void DialogModel::invalidate(const Rect* rect, bool erase) {
    const Rect client{0, 0, dialog_client_width, dialog_client_height};
    const Rect area = intersect(rect != nullptr ? *rect : client, client);
    invalid_rect_ = invalid_ ? unite(invalid_rect_, area) : area;
    invalid_ = true;
    erase_ = erase_ || erase;
}

PaintRequest DialogModel::validate() {
    const PaintRequest request{invalid_ ? invalid_rect_ : Rect{0, 0, 0, 0}, invalid_ && erase_};
    invalid_ = false;
    erase_ = false;
    return request;
}

void DialogModel::deliver_paint() {
    if (!open_ || !invalid_) return;
    deliver(message_paint, 0, 0);
    validate();
}

// --- The client area's pixels ------------------------------------------------------------

void DialogModel::erase_background(const Rect& rect) {
    const Rect r = intersect(rect, Rect{0, 0, dialog_client_width, dialog_client_height});
    for (int32_t y = r.top; y < r.bottom; ++y)
        std::fill_n(pixels_.begin() + (static_cast<ptrdiff_t>(y) * dialog_client_width + r.left) * 3,
                    (r.right - r.left) * 3, dialog_background);
    picture_shown_ = false;
}

void DialogModel::copy_in(const PixelPlane& from, int32_t x, int32_t y, int32_t width, int32_t height, int32_t source_x,
                          int32_t source_y) {
    const PixelPlane to{pixels_.data(), dialog_client_width, dialog_client_height, dialog_client_width * 3, true};
    copy_pixels(to, x, y, from, source_x, source_y, width, height);
    // The block that came in: what of the source there was, where it landed.
    const Rect source =
        intersect(Rect{source_x, source_y, source_x + width, source_y + height}, Rect{0, 0, from.width, from.height});
    const Rect block = intersect(Rect{x + source.left - source_x, y + source.top - source_y,
                                      x + source.right - source_x, y + source.bottom - source_y},
                                 Rect{0, 0, dialog_client_width, dialog_client_height});
    if (block.right > block.left && block.bottom > block.top)
        drawn_ = drawn_.right > drawn_.left ? unite(drawn_, block) : block;
    picture_shown_ = true;
}
