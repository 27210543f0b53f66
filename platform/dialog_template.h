// Parsing a standard (not extended) in-memory dialog template into a plain
// record, for front ends that build the dialog's controls themselves.
//
// Layout, all little-endian, strings UTF-16 and zero-terminated:
//   header: style u32, extended style u32, control count u16,
//           x, y, width, height i16 (dialog units);
//           menu, class: each 0x0000 (none), 0xFFFF + ordinal u16, or a string;
//           caption string;
//           when the style has the set-font bit: point size u16, face string.
//   then per control, starting on a 4-byte boundary from the template start:
//           style u32, extended style u32, x, y, width, height i16, id u16;
//           class: 0xFFFF + predefined class ordinal, or a string;
//           text: 0xFFFF + resource ordinal, or a string;
//           creation data: byte count u16 followed by that many bytes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

constexpr uint32_t dialog_style_set_font = 0x00000040;

struct DialogControlTemplate {
    uint32_t style;
    uint32_t extended_style;
    int16_t x;
    int16_t y;
    int16_t width;
    int16_t height;
    uint16_t id;
    uint16_t class_ordinal;  // control_class_* of platform.h, or 0 for a named class
    std::u16string class_name;  // the name of a named class; empty for an ordinal
    uint16_t text_ordinal;  // a resource ordinal given instead of a text, or 0
    std::u16string text;
    std::vector<uint8_t> creation_data;
};

struct DialogTemplate {
    uint32_t style;
    uint32_t extended_style;
    int16_t x;
    int16_t y;
    int16_t width;
    int16_t height;
    uint16_t menu_ordinal;  // 0 when none or named
    std::u16string menu_name;
    uint16_t class_ordinal;  // 0 for the default dialog class or a named class
    std::u16string class_name;
    std::u16string caption;
    uint16_t font_points;  // 0 without the set-font style
    std::u16string font_name;
    std::vector<DialogControlTemplate> controls;
};

// Parses `size` bytes at `data`. Returns true and fills *out when the bytes
// hold a complete standard template; false for an extended template, a
// truncated one, or a string that runs past the end. Never reads beyond
// data + size.
bool parse_dialog_template(const uint8_t* data, uint32_t size, DialogTemplate* out);
