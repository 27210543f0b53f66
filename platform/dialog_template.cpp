#include "platform/dialog_template.h"

namespace {

// A bounds-checked little-endian reader over the template bytes. Any read past
// the end sets `bad` and yields zeros, so the parser can check once per item.
struct TemplateReader {
    const uint8_t* data;
    uint32_t size;
    uint32_t offset;
    bool bad;
};

uint16_t read_u16(TemplateReader& r) {
    if (r.bad || r.offset > r.size || r.size - r.offset < 2) {
        r.bad = true;
        return 0;
    }
    uint16_t v = static_cast<uint16_t>(r.data[r.offset] | (r.data[r.offset + 1] << 8));
    r.offset += 2;
    return v;
}

uint32_t read_u32(TemplateReader& r) {
    uint32_t low = read_u16(r);
    uint32_t high = read_u16(r);
    return low | (high << 16);
}

int16_t read_i16(TemplateReader& r) { return static_cast<int16_t>(read_u16(r)); }

void read_string(TemplateReader& r, std::u16string* out) {
    out->clear();
    for (;;) {
        uint16_t unit = read_u16(r);
        if (r.bad || unit == 0) return;
        out->push_back(static_cast<char16_t>(unit));
    }
}

// A field that is either absent (0x0000), an ordinal (0xFFFF then the value)
// or a string.
void read_name_or_ordinal(TemplateReader& r, uint16_t* ordinal, std::u16string* name) {
    *ordinal = 0;
    name->clear();
    if (r.bad || r.offset > r.size || r.size - r.offset < 2) {
        r.bad = true;
        return;
    }
    uint16_t first = static_cast<uint16_t>(r.data[r.offset] | (r.data[r.offset + 1] << 8));
    if (first == 0x0000) {
        r.offset += 2;
    } else if (first == 0xFFFF) {
        r.offset += 2;
        *ordinal = read_u16(r);
    } else {
        read_string(r, name);
    }
}

}  // namespace

bool parse_dialog_template(const uint8_t* data, uint32_t size, DialogTemplate* out) {
    if (data == nullptr || out == nullptr) return false;
    TemplateReader r{data, size, 0, false};

    DialogTemplate t{};
    t.style = read_u32(r);
    t.extended_style = read_u32(r);
    if (r.bad) return false;
    // An extended template starts with version 1 and signature 0xFFFF.
    if ((t.style & 0xFFFF) == 0x0001 && (t.style >> 16) == 0xFFFF) return false;
    uint16_t count = read_u16(r);
    t.x = read_i16(r);
    t.y = read_i16(r);
    t.width = read_i16(r);
    t.height = read_i16(r);
    read_name_or_ordinal(r, &t.menu_ordinal, &t.menu_name);
    read_name_or_ordinal(r, &t.class_ordinal, &t.class_name);
    read_string(r, &t.caption);
    if (t.style & dialog_style_set_font) {
        t.font_points = read_u16(r);
        read_string(r, &t.font_name);
    }
    if (r.bad) return false;

    t.controls.reserve(count);
    for (uint16_t i = 0; i < count; ++i) {
        r.offset = (r.offset + 3u) & ~3u;
        if (r.offset > r.size) return false;
        DialogControlTemplate c{};
        c.style = read_u32(r);
        c.extended_style = read_u32(r);
        c.x = read_i16(r);
        c.y = read_i16(r);
        c.width = read_i16(r);
        c.height = read_i16(r);
        c.id = read_u16(r);
        read_name_or_ordinal(r, &c.class_ordinal, &c.class_name);
        read_name_or_ordinal(r, &c.text_ordinal, &c.text);
        uint16_t extra = read_u16(r);
        if (r.bad) return false;
        if (extra > r.size - r.offset) return false;
        c.creation_data.assign(data + r.offset, data + r.offset + extra);
        r.offset += extra;
        t.controls.push_back(std::move(c));
    }
    *out = std::move(t);
    return true;
}
