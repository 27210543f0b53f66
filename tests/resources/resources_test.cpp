// The program's resources as the viewer finds them: every picture of the
// collection decodes to a frame-wide colour picture, every string the
// catalogue names exists, the dialog template and the icon are the ones the
// resource script declares; and the resource file and dialog template
// parsers refuse damaged copies of them.
#include "app/catalog.h"
#include "platform/dialog_template.h"
#include "platform/resource_store.h"
#include "tests/support/fixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>
#include <set>
#include <string>
#include <vector>

namespace {

std::vector<uint8_t> resource(uint16_t type, uint16_t id) {
    ResourceBytes bytes{nullptr, 0};
    if (!find_embedded_resource(type, id, &bytes)) return {};
    return std::vector<uint8_t>(bytes.data, bytes.data + bytes.size);
}

TEST(Collection, EveryPictureDecodesToA240WideColourPicture) {
    std::set<std::string> distinct;
    int shorter = 0, exact = 0, taller = 0, lowest = 1 << 30, highest = 0;
    for (int id = first_picture_id; id <= last_picture_id; ++id) {
        SCOPED_TRACE(id);
        std::vector<uint8_t> bytes = resource(resource_type_raw_data, static_cast<uint16_t>(id));
        EXPECT_TRUE(bytes.size() > 2000 && bytes.size() < 32768) << bytes.size();
        EXPECT_TRUE(distinct.insert(std::string(bytes.begin(), bytes.end())).second) << "repeats an earlier picture";
        e2e::MarivueResult r = e2e::marivue_decode(bytes);
        // Opened, begun, colour, 240 wide, every row whole, ended normally.
        EXPECT_EQ(std::vector<int>({r.open_status, r.begin_result, r.components, r.picture.width, r.picture.channels,
                                    r.row_length_ok, r.stop_result}),
                  std::vector<int>({0, 0, 3, 240, 3, 1, 1}));
        (r.rows < 160 ? shorter : r.rows == 160 ? exact : taller) += 1;
        lowest = std::min(lowest, r.rows);
        highest = std::max(highest, r.rows);
    }
    // Heights across the range the frame must handle: black below the
    // shorter pictures, the taller ones cut.
    EXPECT_TRUE(shorter > 10 && exact > 10 && taller > 10) << shorter << " " << exact << " " << taller;
    EXPECT_EQ(std::vector<int>({lowest, highest}), std::vector<int>({120, 250}));
    EXPECT_TRUE(resource(resource_type_raw_data, last_picture_id + 1).empty());
}

std::u16string load(uint16_t id, int32_t limit = 255) {
    std::vector<char16_t> buffer(static_cast<size_t>(limit) + 1, u'#');
    int32_t n = load_embedded_string(id, buffer.data(), limit);
    EXPECT_EQ(buffer[static_cast<size_t>(n)], u'\0') << "string " << id << " not terminated";
    return std::u16string(buffer.data(), static_cast<size_t>(n));
}

// Every string the catalogue names exists; strings are cut to the caller's
// limit; there are none beside the catalogue's.
TEST(Strings, CatalogueStringsExistAndAreCutToTheLimit) {
    for (uint32_t n = 0; n < image_count; ++n) {
        for (uint32_t id : {image_catalog.location_ids[n], image_catalog.caption_ids[n], image_catalog.date_ids[n]})
            EXPECT_FALSE(load(static_cast<uint16_t>(id)).empty()) << "picture " << n << ", string " << id;
    }
    struct Row {
        uint16_t id;
        int32_t limit;
        std::u16string text;
    };
    for (const Row& row : {Row{3000, 255, u"Truk Lagoon  Reef (Chuuk)"}, Row{3000, 24, u"Truk Lagoon  Reef (Chuuk"},
                           Row{3000, 0, u""}, Row{4043, 255, u"1994 April"}, Row{2999, 255, u""}, Row{3024, 255, u""},
                           Row{4054, 255, u""}, Row{5001, 255, u""}})
        EXPECT_EQ(load(row.id, row.limit), row.text) << row.id << " cut at " << row.limit;
}

// Each control as "id class text style extended-style x,y,width,height".
std::string describe(const DialogControlTemplate& c) {
    char text[128];
    std::snprintf(text, sizeof text, "%u %u %s %08X %08X %d,%d,%d,%d%s", c.id, c.class_ordinal,
                  std::string(c.text.begin(), c.text.end()).c_str(), c.style, c.extended_style, c.x, c.y, c.width,
                  c.height, c.text_ordinal + c.class_name.size() + c.creation_data.size() != 0 ? " +" : "");
    return text;
}

TEST(DialogTemplate, StoredLayout) {
    std::vector<uint8_t> bytes = resource(resource_type_dialog, 104);
    DialogTemplate t;
    ASSERT_TRUE(parse_dialog_template(bytes.data(), static_cast<uint32_t>(bytes.size()), &t));
    EXPECT_EQ(std::vector<int64_t>({t.style, t.extended_style, t.x, t.y, t.width, t.height, t.menu_ordinal,
                                    t.class_ordinal, t.font_points}),
              std::vector<int64_t>({0x80C800C0, 0, 0, 0, 181, 136, 0, 0, 8}));
    EXPECT_EQ(t.menu_name + t.class_name + u"|" + t.caption + u"|" + t.font_name, u"|Marivue|System");
    std::vector<std::string> controls;
    for (const DialogControlTemplate& c : t.controls) controls.push_back(describe(c));
    EXPECT_EQ(controls, std::vector<std::string>(
                            {"1002 128 >>> 50010001 00000000 140,18,39,14",
                             "1003 128 <<< 50010001 00000000 140,2,39,14", "1004 129  50210805 00020200 0,86,139,48",
                             "1006 129  50210805 00020200 140,56,39,78", "1008 129  50810080 00000000 140,36,39,14"}));
}

// The icon group 111 and its images hold what the icon file holds: the
// same directory entries (an image identifier in place of the file offset)
// and the same image bytes.
TEST(Icon, GroupAndImagesMatchTheIconFile) {
    std::ifstream in(MARIVUE_ICON_FILE, std::ios::binary);
    const std::vector<uint8_t> file{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const std::vector<uint8_t> group = resource(resource_type_icon_group, 111);
    auto u16 = [](const std::vector<uint8_t>& v, size_t at) { return size_t{v.at(at)} | size_t{v.at(at + 1)} << 8; };
    auto slice = [](const std::vector<uint8_t>& v, size_t at, size_t n) {
        if (n > v.size() || at > v.size() - n) return std::vector<uint8_t>(1, 0);  // never a resource
        return std::vector<uint8_t>(v.begin() + static_cast<std::ptrdiff_t>(at),
                                    v.begin() + static_cast<std::ptrdiff_t>(at + n));
    };
    const size_t count = file.size() >= 6 ? u16(file, 4) : 0;
    ASSERT_GE(count, 1u);
    ASSERT_EQ(group.size(), 6 + 14 * count);
    EXPECT_EQ(slice(group, 0, 6), slice(file, 0, 6));
    for (size_t i = 0; i < count; ++i) {
        EXPECT_EQ(slice(group, 6 + 14 * i, 12), slice(file, 6 + 16 * i, 12)) << i;
        const size_t size = u16(file, 6 + 16 * i + 8) | u16(file, 6 + 16 * i + 10) << 16;
        const size_t offset = u16(file, 6 + 16 * i + 12) | u16(file, 6 + 16 * i + 14) << 16;
        EXPECT_EQ(resource(resource_type_icon, static_cast<uint16_t>(u16(group, 6 + 14 * i + 12))),
                  slice(file, offset, size))
            << i;
    }
}

void put32(std::vector<uint8_t>& v, size_t at, uint32_t value) {
    for (size_t k = 0; k < 4; ++k) v.at(at + k) = static_cast<uint8_t>(value >> (8 * k));
}

TEST(Parsers, RefuseDamagedInput) {
    // The entry header of picture 2000 has ordinal type and name: 32 bytes
    // before its data, data size first, header size next.
    const ResourceBytes file = embedded_resource_file();
    ResourceBytes picture_data{nullptr, 0}, string_block{nullptr, 0};
    ASSERT_TRUE(find_embedded_resource(resource_type_raw_data, 2000, &picture_data));
    ASSERT_TRUE(find_embedded_resource(resource_type_string, 5000 / 16 + 1, &string_block));
    const std::vector<uint8_t> whole(file.data, file.data + file.size);
    const size_t picture = static_cast<size_t>(picture_data.data - file.data) - 32;
    const size_t strings = static_cast<size_t>(string_block.data - file.data);
    struct Row {
        const char* name;
        bool dialog_template;  // else the resource file
        std::function<void(std::vector<uint8_t>&)> damage;
        const char* says;  // part of the resource parser's reason
    };
    const Row rows[] = {
        {"empty", false, [](auto& v) { v.clear(); }, "empty resource file"},
        {"shorter than the leading entry", false, [](auto& v) { v.resize(20); }, "too short"},
        {"a picture", false, [&](auto& v) { v = std::vector<uint8_t>(&v[picture + 32], &v[picture + 2032]); },
         "not a resource file"},
        {"cut in entry sizes", false, [](auto& v) { v.resize(36); }, "truncated entry sizes"},
        {"cut in a picture", false, [](auto& v) { v.resize(v.size() / 2); }, "past the end"},
        {"header size too small", false, [&](auto& v) { put32(v, picture + 4, 8); }, "bad header size"},
        {"header size past the end", false, [&](auto& v) { put32(v, picture + 4, 0xFFFFFFFC); }, "header runs past"},
        {"data size past the end", false, [&](auto& v) { put32(v, picture, 0xFFFFFFF0); }, "data runs past"},
        {"header size beyond its fields", false, [&](auto& v) { put32(v, picture + 4, 36); }, "does not match"},
        {"name without an end", false,
         [&](auto& v) { std::fill_n(v.begin() + static_cast<std::ptrdiff_t>(picture + 8), 24, 0x41); },
         "runs past the header"},
        // String 5000 is the ninth of its block; its length now runs past the block.
        {"string longer than its block", false, [&](auto& v) { v.at(strings + 16) = 0xFF, v.at(strings + 17) = 0x7F; },
         "damaged string block"},
        {"extended template", true, [](auto& v) { v[0] = 1, v[1] = 0, v[2] = 0xFF, v[3] = 0xFF; }, ""},
        // The template ends with the last control's creation-data count.
        {"creation data past the end", true, [](auto& v) { v[v.size() - 2] = 0x40; }, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::vector<uint8_t> bytes = row.dialog_template ? resource(resource_type_dialog, 104) : whole;
        row.damage(bytes);
        std::vector<uint8_t> input(bytes);  // exactly the damaged size
        if (row.dialog_template) {
            DialogTemplate t;
            EXPECT_FALSE(parse_dialog_template(input.data(), static_cast<uint32_t>(input.size()), &t));
            continue;
        }
        ResourceDirectory dir;
        std::string error;
        EXPECT_FALSE(parse_resource_file(input.data(), input.size(), &dir, &error));
        EXPECT_NE(error.find(row.says), std::string::npos) << error;
        // Opened as the program opens it: one line naming the file, no resources.
        testing::internal::CaptureStderr();
        dir = open_resource_file(input.data(), input.size(), "test file");
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_NE(said.find("test file is damaged"), std::string::npos) << said;
        char16_t text[8] = {u'x'};
        EXPECT_EQ(load_string_from(dir, 3000, text, 7) + text[0], 0);
    }
}

// Every cut of the template is refused.
TEST(Parsers, CutTemplateIsRefused) {
    const std::vector<uint8_t> dialog = resource(resource_type_dialog, 104);
    ASSERT_GT(dialog.size(), 100u);
    for (size_t n = 0; n < dialog.size(); ++n) {
        std::vector<uint8_t> cut(dialog.begin(), dialog.begin() + static_cast<std::ptrdiff_t>(n));
        DialogTemplate t;
        EXPECT_FALSE(parse_dialog_template(cut.data(), static_cast<uint32_t>(cut.size()), &t)) << n;
    }
}

}  // namespace
