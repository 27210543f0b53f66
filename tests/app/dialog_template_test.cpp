// The dialog template parser, over the stored template 104 and damaged copies.
#include "platform/dialog_template.h"
#include "platform/platform.h"
#include "platform/resource_store.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<uint8_t> stored_template() {
    ResourceBytes bytes{nullptr, 0};
    if (!find_resource(resource_type_dialog, 104, &bytes)) return {};
    return std::vector<uint8_t>(bytes.data, bytes.data + bytes.size);
}

TEST(DialogTemplate, StoredViewerDialog) {
    std::vector<uint8_t> bytes = stored_template();
    ASSERT_FALSE(bytes.empty());
    DialogTemplate t;
    ASSERT_TRUE(parse_dialog_template(bytes.data(), static_cast<uint32_t>(bytes.size()), &t));
    EXPECT_EQ(t.style, 0x80C800C0u);
    EXPECT_EQ(t.extended_style, 0u);
    EXPECT_EQ(t.x, 0);
    EXPECT_EQ(t.y, 0);
    EXPECT_EQ(t.width, 181);
    EXPECT_EQ(t.height, 136);
    EXPECT_EQ(t.menu_ordinal, 0);
    EXPECT_TRUE(t.menu_name.empty());
    EXPECT_EQ(t.class_ordinal, 0);
    EXPECT_TRUE(t.class_name.empty());
    EXPECT_EQ(t.caption, u"Marivue");
    EXPECT_EQ(t.font_points, 8);
    EXPECT_EQ(t.font_name, u"System");

    struct Expected {
        uint16_t id;
        uint16_t class_ordinal;
        const char16_t* text;
        uint32_t style;
        uint32_t extended_style;
        int16_t x, y, width, height;
    };
    const Expected expected[] = {
        {1002, control_class_button, u">>>", 0x50010001, 0, 140, 18, 39, 14},
        {1003, control_class_button, u"<<<", 0x50010001, 0, 140, 2, 39, 14},
        {1004, control_class_edit, u"", 0x50210805, 0x00020200, 0, 86, 139, 48},
        {1006, control_class_edit, u"", 0x50210805, 0x00020200, 140, 56, 39, 78},
        {1008, control_class_edit, u"", 0x50810080, 0, 140, 36, 39, 14},
    };
    ASSERT_EQ(t.controls.size(), 5u);
    for (size_t i = 0; i < 5; ++i) {
        SCOPED_TRACE(expected[i].id);
        const DialogControlTemplate& c = t.controls[i];
        EXPECT_EQ(c.id, expected[i].id);
        EXPECT_EQ(c.class_ordinal, expected[i].class_ordinal);
        EXPECT_EQ(c.text, expected[i].text);
        EXPECT_EQ(c.text_ordinal, 0);
        EXPECT_EQ(c.style, expected[i].style);
        EXPECT_EQ(c.extended_style, expected[i].extended_style);
        EXPECT_EQ(c.x, expected[i].x);
        EXPECT_EQ(c.y, expected[i].y);
        EXPECT_EQ(c.width, expected[i].width);
        EXPECT_EQ(c.height, expected[i].height);
        EXPECT_TRUE(c.creation_data.empty());
    }
}

TEST(DialogTemplate, TruncatedTemplatesAreRefused) {
    std::vector<uint8_t> bytes = stored_template();
    ASSERT_GT(bytes.size(), 8u);
    // Every cut that loses part of the last control is refused; the checker
    // build also proves nothing is read beyond the cut.
    for (size_t size = 0; size + 4 <= bytes.size(); ++size) {
        std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(size));
        DialogTemplate t;
        EXPECT_FALSE(parse_dialog_template(cut.data(), static_cast<uint32_t>(cut.size()), &t)) << size;
    }
}

TEST(DialogTemplate, ExtendedAndMalformedTemplatesAreRefused) {
    // An extended template: version 1, signature 0xFFFF.
    std::vector<uint8_t> extended = {0x01, 0x00, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                     0,    0,    0,    0,    0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    DialogTemplate t;
    EXPECT_FALSE(parse_dialog_template(extended.data(), static_cast<uint32_t>(extended.size()), &t));

    // A caption that never ends.
    std::vector<uint8_t> endless = {0xC0, 0, 0, 0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 'M', 0, 'a', 0};
    EXPECT_FALSE(parse_dialog_template(endless.data(), static_cast<uint32_t>(endless.size()), &t));

    // Creation data longer than what remains.
    std::vector<uint8_t> bytes = stored_template();
    ASSERT_FALSE(bytes.empty());
    std::vector<uint8_t> damaged = bytes;
    // The stored template ends with the last control's creation-data count.
    ASSERT_EQ(bytes[bytes.size() - 2], 0);
    ASSERT_EQ(bytes[bytes.size() - 1], 0);
    damaged[bytes.size() - 2] = 0x40;  // claims 64 bytes that do not exist
    EXPECT_FALSE(parse_dialog_template(damaged.data(), static_cast<uint32_t>(damaged.size()), &t));

    EXPECT_FALSE(parse_dialog_template(nullptr, 10, &t));
}

TEST(DialogTemplate, OrdinalsAndNamedClasses) {
    // A hand-made template: no font, a menu ordinal, a named control class,
    // a text given by ordinal and two bytes of creation data.
    std::vector<uint8_t> b;
    auto u16 = [&b](uint16_t v) {
        b.push_back(static_cast<uint8_t>(v));
        b.push_back(static_cast<uint8_t>(v >> 8));
    };
    auto u32 = [&u16](uint32_t v) {
        u16(static_cast<uint16_t>(v));
        u16(static_cast<uint16_t>(v >> 16));
    };
    u32(0x80C80000);  // no set-font bit
    u32(0);
    u16(1);
    u16(1); u16(2); u16(30); u16(40);
    u16(0xFFFF); u16(77);  // menu 77
    u16(0);                // default class
    u16('T'); u16(0);      // caption
    while (b.size() % 4 != 0) b.push_back(0);
    u32(0x50000000);
    u32(0);
    u16(3); u16(4); u16(5); u16(6);
    u16(42);
    u16('m'); u16('y'); u16(0);  // class "my"
    u16(0xFFFF); u16(9);         // text by ordinal
    u16(2); b.push_back(0xAB); b.push_back(0xCD);

    DialogTemplate t;
    ASSERT_TRUE(parse_dialog_template(b.data(), static_cast<uint32_t>(b.size()), &t));
    EXPECT_EQ(t.menu_ordinal, 77);
    EXPECT_EQ(t.caption, u"T");
    EXPECT_EQ(t.font_points, 0);
    ASSERT_EQ(t.controls.size(), 1u);
    EXPECT_EQ(t.controls[0].id, 42);
    EXPECT_EQ(t.controls[0].class_ordinal, 0);
    EXPECT_EQ(t.controls[0].class_name, u"my");
    EXPECT_EQ(t.controls[0].text_ordinal, 9);
    EXPECT_EQ(t.controls[0].creation_data, (std::vector<uint8_t>{0xAB, 0xCD}));
}

}  // namespace
