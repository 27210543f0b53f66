// The resource store over the embedded resource file, and the parser over
// damaged and hand-made files.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "app/catalog.h"
#include "platform/resource_store.h"

namespace {

std::u16string load(uint16_t id, int32_t limit = 255) {
    std::vector<char16_t> buffer(static_cast<size_t>(limit) + 1, u'#');
    int32_t n = load_string(id, buffer.data(), limit);
    EXPECT_GE(n, 0);
    EXPECT_LE(n, limit);
    EXPECT_EQ(buffer[static_cast<size_t>(n)], u'\0') << "string " << id << " not terminated";
    return std::u16string(buffer.data(), static_cast<size_t>(n));
}

std::string narrow(const std::u16string& s) {
    std::string out;
    for (char16_t c : s) out += c < 128 ? static_cast<char>(c) : '?';
    return out;
}

uint16_t u16_at(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t u32_at(const uint8_t* p) {
    return static_cast<uint32_t>(u16_at(p)) | static_cast<uint32_t>(u16_at(p + 2)) << 16;
}

std::vector<uint8_t> embedded_copy() {
    ResourceBytes file = embedded_resource_file();
    return std::vector<uint8_t>(file.data, file.data + file.size);
}

// --- the embedded file --------------------------------------------------------

TEST(EmbeddedResources, ParsesCleanly) {
    ResourceBytes file = embedded_resource_file();
    ASSERT_GT(file.size, 2000000u);
    ResourceDirectory dir;
    std::string error;
    ASSERT_TRUE(parse_resource_file(file.data, file.size, &dir, &error)) << error;
    EXPECT_EQ(dir.entries.size(), embedded_resources().entries.size());
}

TEST(EmbeddedResources, EveryPictureIsPresentAndPlausible) {
    for (int id = first_picture_id; id <= last_picture_id; ++id) {
        ResourceBytes bytes{nullptr, 0};
        ASSERT_TRUE(find_resource(resource_type_raw_data, static_cast<uint16_t>(id), &bytes))
            << id;
        EXPECT_GE(bytes.size, 3341u) << id;
        EXPECT_LE(bytes.size, 18707u) << id;
        ASSERT_NE(bytes.data, nullptr);
        EXPECT_EQ(bytes.data[0], 0xFF);
        EXPECT_EQ(bytes.data[1], 0xD8);
    }
    ResourceBytes none{nullptr, 0};
    EXPECT_FALSE(find_resource(resource_type_raw_data, 2304, &none));
    EXPECT_FALSE(find_resource(resource_type_raw_data, 1999, &none));
    // The identifier alone does not find a resource of another type.
    EXPECT_FALSE(find_resource(resource_type_dialog, 2000, &none));
}

TEST(EmbeddedResources, ResourcePointersAreStable) {
    ResourceBytes a{nullptr, 0}, b{nullptr, 0};
    ASSERT_TRUE(find_resource(resource_type_raw_data, 2100, &a));
    ASSERT_TRUE(find_resource(resource_type_raw_data, 2100, &b));
    EXPECT_EQ(a.data, b.data);
    EXPECT_EQ(a.size, b.size);
    ResourceBytes file = embedded_resource_file();
    EXPECT_GE(a.data, file.data);
    EXPECT_LE(a.data + a.size, file.data + file.size);
}

// --- strings --------------------------------------------------------------------

TEST(EmbeddedStrings, SampleLookups) {
    // Picture 0.
    EXPECT_EQ(load(static_cast<uint16_t>(image_catalog.location_ids[0])),
              u"Truk Lagoon  Reef (Chuuk)");
    EXPECT_EQ(load(static_cast<uint16_t>(image_catalog.date_ids[0])), u"July 1974");
    // Picture 303.
    EXPECT_EQ(load(static_cast<uint16_t>(image_catalog.location_ids[303])),
              u"Gulf of Aqaba, Red Sea");
    EXPECT_EQ(load(static_cast<uint16_t>(image_catalog.date_ids[303])), u" ");
    // Picture 10.
    EXPECT_EQ(load(static_cast<uint16_t>(image_catalog.location_ids[10])), u" ");
    EXPECT_EQ(load(static_cast<uint16_t>(image_catalog.date_ids[10])), u" ");
    // A few more with punctuation, and the year-first dates.
    EXPECT_EQ(load(3006), u"Helen's Reef");
    EXPECT_EQ(load(3020), u"Guanajo, British Honduras, Caribbean Sea");
    EXPECT_EQ(load(3001), u"Roviviruva do Zideza Institute of Marine Biology");
    EXPECT_EQ(load(4004), u"1981 November");
    EXPECT_EQ(load(4043), u"1994 April");
    EXPECT_EQ(load(4052), u"1987 August");
}

TEST(EmbeddedStrings, EveryCatalogueStringExists) {
    for (uint16_t id = 3000; id <= 3023; ++id) EXPECT_FALSE(load(id).empty()) << id;
    for (uint16_t id = 4000; id <= 4053; ++id) EXPECT_FALSE(load(id).empty()) << id;
    // Neighbours of the ranges are absent.
    EXPECT_TRUE(load(2999).empty());
    EXPECT_TRUE(load(3024).empty());
    EXPECT_TRUE(load(3999).empty());
    EXPECT_TRUE(load(4054).empty());
}

TEST(EmbeddedStrings, CaptionAndNothingAfterIt) {
    std::u16string caption = load(5000);
    std::string text = narrow(caption);
    const std::string head = "If you can identify this/these animal(s), please email ";
    const std::string tail = ", specifying: ";
    ASSERT_GT(text.size(), head.size() + tail.size());
    EXPECT_EQ(text.substr(0, head.size()), head);
    EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
    std::string address = text.substr(head.size(), text.size() - head.size() - tail.size());
    EXPECT_NE(address.find('@'), std::string::npos) << address;
    EXPECT_NE(address.find(".example."), std::string::npos) << address;
    // With the 13-unit image line the caption fits a 256-unit buffer.
    EXPECT_LE(caption.size() + 13, 255u);
    for (uint16_t id = 5001; id <= 5303; ++id) EXPECT_TRUE(load(id).empty()) << id;
}

TEST(EmbeddedStrings, LimitCutsAndTerminates) {
    EXPECT_EQ(load(3000, 5), u"Truk ");
    EXPECT_EQ(load(3000, 0), u"");
    EXPECT_EQ(load(3000, 25), u"Truk Lagoon  Reef (Chuuk)");
    EXPECT_EQ(load(3000, 24), u"Truk Lagoon  Reef (Chuuk");
    char16_t one[1] = {u'x'};
    EXPECT_EQ(load_string(3000, one, -3), 0);
    EXPECT_EQ(one[0], u'\0');
    EXPECT_EQ(load_string(3000, nullptr, 10), 0);
}

TEST(EmbeddedStrings, DetailsTextFitsItsBuffer) {
    // Longest location + " " + longest date + "\r\n[Credit: " + domain + "]".
    size_t longest_location = 0, longest_date = 0;
    for (uint16_t id = 3000; id <= 3023; ++id) longest_location = std::max(longest_location, load(id).size());
    for (uint16_t id = 4000; id <= 4053; ++id) longest_date = std::max(longest_date, load(id).size());
    size_t credit = std::char_traits<char16_t>::length(credit_domain) + 12;
    EXPECT_LE(longest_location + 1 + longest_date + credit, 255u);
}

// --- dialog template 104 ------------------------------------------------------------

// Reads a dialog template field by field, bounds-checked.
struct TemplateReader {
    ResourceBytes bytes;
    size_t at = 0;
    bool overrun = false;
    uint16_t word() {
        if (at + 2 > bytes.size) {
            overrun = true;
            return 0;
        }
        uint16_t v = u16_at(bytes.data + at);
        at += 2;
        return v;
    }
    uint32_t dword() {
        uint32_t lo = word();
        return lo | static_cast<uint32_t>(word()) << 16;
    }
    std::u16string text() {
        std::u16string s;
        for (uint16_t c = word(); c != 0 && !overrun; c = word()) s += static_cast<char16_t>(c);
        return s;
    }
    void align4() { at = (at + 3) & ~static_cast<size_t>(3); }
};

struct ExpectedItem {
    uint16_t id;
    uint16_t class_atom;
    const char16_t* text;
    uint32_t style, exstyle;
    int16_t x, y, cx, cy;
};

TEST(EmbeddedDialog, TemplateMatchesLayout) {
    ResourceBytes bytes{nullptr, 0};
    ASSERT_TRUE(find_resource(resource_type_dialog, 104, &bytes));
    TemplateReader r{bytes};
    EXPECT_EQ(r.dword(), 0x80C800C0u) << "style";
    EXPECT_EQ(r.dword(), 0u) << "extended style";
    ASSERT_EQ(r.word(), 5) << "item count";
    EXPECT_EQ(r.word(), 0) << "x";
    EXPECT_EQ(r.word(), 0) << "y";
    EXPECT_EQ(r.word(), 181) << "cx";
    EXPECT_EQ(r.word(), 136) << "cy";
    EXPECT_EQ(r.word(), 0) << "no menu";
    EXPECT_EQ(r.word(), 0) << "default class";
    EXPECT_EQ(r.text(), u"Marivue");
    EXPECT_EQ(r.word(), 8) << "point size";
    EXPECT_EQ(r.text(), u"System");

    const ExpectedItem items[5] = {
        {1002, 0x0080, u">>>", 0x50010001, 0, 140, 18, 39, 14},
        {1003, 0x0080, u"<<<", 0x50010001, 0, 140, 2, 39, 14},
        {1004, 0x0081, u"", 0x50210805, 0x00020200, 0, 86, 139, 48},
        {1006, 0x0081, u"", 0x50210805, 0x00020200, 140, 56, 39, 78},
        {1008, 0x0081, u"", 0x50810080, 0, 140, 36, 39, 14},
    };
    for (const ExpectedItem& e : items) {
        SCOPED_TRACE(e.id);
        r.align4();
        EXPECT_EQ(r.dword(), e.style);
        EXPECT_EQ(r.dword(), e.exstyle);
        EXPECT_EQ(static_cast<int16_t>(r.word()), e.x);
        EXPECT_EQ(static_cast<int16_t>(r.word()), e.y);
        EXPECT_EQ(static_cast<int16_t>(r.word()), e.cx);
        EXPECT_EQ(static_cast<int16_t>(r.word()), e.cy);
        EXPECT_EQ(r.word(), e.id);
        EXPECT_EQ(r.word(), 0xFFFF) << "class given by atom";
        EXPECT_EQ(r.word(), e.class_atom);
        EXPECT_EQ(r.text(), std::u16string(e.text));
        EXPECT_EQ(r.word(), 0) << "no creation data";
    }
    EXPECT_FALSE(r.overrun);
    EXPECT_LE(r.at, bytes.size);
    EXPECT_GE(r.at + 3, bytes.size) << "trailing bytes after the last item";
}

// --- icon group 111 ------------------------------------------------------------------

TEST(EmbeddedIcon, GroupHasTwoImages) {
    ResourceBytes group{nullptr, 0};
    ASSERT_TRUE(find_resource(resource_type_icon_group, 111, &group));
    ASSERT_EQ(group.size, 6u + 2 * 14);
    EXPECT_EQ(u16_at(group.data), 0);
    EXPECT_EQ(u16_at(group.data + 2), 1) << "icon type";
    ASSERT_EQ(u16_at(group.data + 4), 2) << "image count";
    struct Want { int size, colours, bits; uint16_t id; };
    const Want want[2] = {{32, 0, 24, 1}, {16, 16, 4, 2}};
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        const uint8_t* e = group.data + 6 + 14 * i;
        EXPECT_EQ(e[0], want[i].size);
        EXPECT_EQ(e[1], want[i].size);
        EXPECT_EQ(e[2], want[i].colours);
        EXPECT_EQ(u16_at(e + 4), 1) << "planes";
        EXPECT_EQ(u16_at(e + 6), want[i].bits);
        EXPECT_EQ(u16_at(e + 12), want[i].id);
        ResourceBytes image{nullptr, 0};
        ASSERT_TRUE(find_resource(resource_type_icon, want[i].id, &image));
        EXPECT_EQ(u32_at(e + 8), image.size);
        // The image is a bitmap header of the declared size and depth.
        ASSERT_GE(image.size, 40u);
        EXPECT_EQ(u32_at(image.data), 40u);
        EXPECT_EQ(u32_at(image.data + 4), static_cast<uint32_t>(want[i].size));
        EXPECT_EQ(u32_at(image.data + 8), static_cast<uint32_t>(want[i].size * 2));
        EXPECT_EQ(u16_at(image.data + 14), want[i].bits);
        int palette = want[i].bits == 4 ? 64 : 0;
        int xor_row = ((want[i].size * want[i].bits + 31) / 32) * 4;
        int and_row = ((want[i].size + 31) / 32) * 4;
        EXPECT_EQ(image.size,
                  static_cast<uint32_t>(40 + palette + (xor_row + and_row) * want[i].size));
    }
}

// --- the parser over damaged files -----------------------------------------------------

TEST(ResourceParser, RefusesEmptyAndForeignData) {
    ResourceDirectory dir;
    std::string error;
    EXPECT_FALSE(parse_resource_file(nullptr, 0, &dir, &error));
    EXPECT_FALSE(error.empty());
    std::vector<uint8_t> zeros(64, 0);
    error.clear();
    EXPECT_FALSE(parse_resource_file(zeros.data(), zeros.size(), &dir, &error));
    EXPECT_NE(error.find("not a resource file"), std::string::npos) << error;
    ResourceBytes picture{nullptr, 0};
    ASSERT_TRUE(find_resource(resource_type_raw_data, 2000, &picture));
    EXPECT_FALSE(parse_resource_file(picture.data, picture.size, &dir, &error));
    EXPECT_TRUE(dir.entries.empty());
}

// Every prefix is either refused or parses to entries that lie inside it. The
// prefixes are exact-size copies, so an overrun is caught by the sanitizers.
TEST(ResourceParser, TruncationsAreRefusedOrComplete) {
    std::vector<uint8_t> whole = embedded_copy();
    std::vector<size_t> lengths;
    for (size_t n = 0; n < 8192 && n < whole.size(); ++n) lengths.push_back(n);
    for (size_t n = whole.size() - 2048; n < whole.size(); ++n) lengths.push_back(n);
    size_t refused = 0;
    for (size_t n : lengths) {
        std::vector<uint8_t> prefix(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(n));
        ResourceDirectory dir;
        std::string error;
        bool ok = parse_resource_file(prefix.data(), prefix.size(), &dir, &error);
        if (!ok) {
            ++refused;
            EXPECT_FALSE(error.empty());
            EXPECT_TRUE(dir.entries.empty());
            continue;
        }
        for (const ResourceEntry& e : dir.entries) {
            ASSERT_GE(e.bytes.data, prefix.data());
            ASSERT_LE(e.bytes.data + e.bytes.size, prefix.data() + prefix.size());
        }
    }
    // Nearly every cut falls inside an entry.
    EXPECT_GT(refused, lengths.size() * 9 / 10);
    // A cut in the middle of a picture names the fault.
    size_t cut = whole.size() / 2;
    ResourceDirectory dir;
    std::string error;
    EXPECT_FALSE(parse_resource_file(whole.data(), cut, &dir, &error));
    EXPECT_NE(error.find("past the end"), std::string::npos) << error;
}

TEST(ResourceParser, RefusesBadSizes) {
    std::vector<uint8_t> whole = embedded_copy();
    // Locate the entry of picture 2000 by walking the headers.
    ResourceBytes picture{nullptr, 0};
    ResourceDirectory dir;
    std::string error;
    ASSERT_TRUE(parse_resource_file(whole.data(), whole.size(), &dir, &error));
    ASSERT_TRUE(find_in_directory(dir, resource_type_raw_data, 2000, &picture));
    // Ordinal type and name: the header is 32 bytes.
    size_t at = static_cast<size_t>(picture.data - whole.data()) - 32;
    ASSERT_EQ(u32_at(whole.data() + at), picture.size);
    ASSERT_EQ(u32_at(whole.data() + at + 4), 32u);

    struct Case { size_t field; uint32_t value; const char* says; };
    const Case cases[] = {
        {4, 8, "bad header size"},
        {4, 30, "bad header size"},
        {4, 0xFFFFFFFC, "header runs past"},
        {0, 0xFFFFFFF0, "data runs past"},
        {0, static_cast<uint32_t>(whole.size()), "data runs past"},
        {4, 36, "does not match"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.says);
        std::vector<uint8_t> bad = whole;
        for (int k = 0; k < 4; ++k)
            bad[at + c.field + static_cast<size_t>(k)] = static_cast<uint8_t>(c.value >> (8 * k));
        ResourceDirectory out;
        std::string why;
        EXPECT_FALSE(parse_resource_file(bad.data(), bad.size(), &out, &why));
        EXPECT_NE(why.find(c.says), std::string::npos) << why;
        EXPECT_TRUE(out.entries.empty());
    }
}

TEST(ResourceParser, RefusesDamagedStringBlock) {
    std::vector<uint8_t> whole = embedded_copy();
    ResourceDirectory dir;
    std::string error;
    ASSERT_TRUE(parse_resource_file(whole.data(), whole.size(), &dir, &error));
    ResourceBytes block{nullptr, 0};
    ASSERT_TRUE(find_in_directory(dir, resource_type_string, 5000 / 16 + 1, &block));
    size_t at = static_cast<size_t>(block.data - whole.data());
    // String 5000 is entry 8 of its block: lengths of the 8 before are 0.
    size_t len_at = at + 2 * (5000 % 16);
    ASSERT_EQ(u16_at(whole.data() + len_at - 2), 0);
    whole[len_at] = 0xFF;
    whole[len_at + 1] = 0x7F;
    EXPECT_FALSE(parse_resource_file(whole.data(), whole.size(), &dir, &error));
    EXPECT_NE(error.find("string block"), std::string::npos) << error;
}

TEST(ResourceParser, DamagedFileGivesDiagnosticAndNoResources) {
    std::vector<uint8_t> whole = embedded_copy();
    testing::internal::CaptureStderr();
    ResourceDirectory dir = open_resource_file(whole.data(), whole.size() - 3, "test file");
    std::string said = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(dir.entries.empty());
    EXPECT_NE(said.find("test file"), std::string::npos) << said;
    EXPECT_NE(said.find("damaged"), std::string::npos) << said;
    char16_t buffer[8] = {u'x'};
    EXPECT_EQ(load_string_from(dir, 3000, buffer, 7), 0);
    EXPECT_EQ(buffer[0], u'\0');
    ResourceBytes none{nullptr, 0};
    EXPECT_FALSE(find_in_directory(dir, resource_type_raw_data, 2000, &none));
}

// --- hand-made files --------------------------------------------------------------------

void put16(std::vector<uint8_t>& v, uint32_t x) {
    v.push_back(static_cast<uint8_t>(x));
    v.push_back(static_cast<uint8_t>(x >> 8));
}
void put32(std::vector<uint8_t>& v, uint32_t x) {
    put16(v, x & 0xFFFF);
    put16(v, x >> 16);
}

// Appends one entry; an empty `type_name` means the ordinal `type`.
void add_entry(std::vector<uint8_t>& file, uint16_t type, const std::u16string& type_name,
               uint16_t id, const std::vector<uint8_t>& data) {
    std::vector<uint8_t> header;
    if (type_name.empty()) {
        put16(header, 0xFFFF);
        put16(header, type);
    } else {
        for (char16_t c : type_name) put16(header, c);
        put16(header, 0);
    }
    put16(header, 0xFFFF);
    put16(header, id);
    while ((header.size() + 8) % 4) header.push_back(0);
    put32(header, 0);
    put16(header, 0x1030);
    put16(header, 0x0409);
    put32(header, 0);
    put32(header, 0);
    put32(file, static_cast<uint32_t>(data.size()));
    put32(file, static_cast<uint32_t>(header.size() + 8));
    file.insert(file.end(), header.begin(), header.end());
    file.insert(file.end(), data.begin(), data.end());
    while (file.size() % 4) file.push_back(0);
}

std::vector<uint8_t> empty_file() {
    std::vector<uint8_t> file;
    add_entry(file, 0, u"", 0, {});
    // The marker's type and name are ordinals 0 with the same 32-byte header.
    return file;
}

std::vector<uint8_t> string_block(const std::vector<std::u16string>& texts) {
    std::vector<uint8_t> data;
    for (int i = 0; i < 16; ++i) {
        std::u16string t = i < static_cast<int>(texts.size()) ? texts[static_cast<size_t>(i)] : u"";
        put16(data, static_cast<uint32_t>(t.size()));
        for (char16_t c : t) put16(data, c);
    }
    return data;
}

TEST(ResourceParser, HandMadeFile) {
    std::vector<uint8_t> file = empty_file();
    add_entry(file, 0, u"CUSTOM", 7, {1, 2, 3});  // named type: not kept
    add_entry(file, resource_type_raw_data, u"", 7, {9, 8, 7, 6, 5});
    // Block 1 holds strings 0..15: string 1 = "ab", string 15 = "z".
    const std::vector<std::u16string> texts = {u"", u"ab", u"", u"", u"", u"", u"", u"",
                                               u"", u"", u"", u"", u"", u"", u"", u"z"};
    add_entry(file, resource_type_string, u"", 1, string_block(texts));
    ResourceDirectory dir;
    std::string error;
    ASSERT_TRUE(parse_resource_file(file.data(), file.size(), &dir, &error)) << error;
    ASSERT_EQ(dir.entries.size(), 2u);
    ResourceBytes raw{nullptr, 0};
    ASSERT_TRUE(find_in_directory(dir, resource_type_raw_data, 7, &raw));
    ASSERT_EQ(raw.size, 5u);
    EXPECT_EQ(raw.data[0], 9);
    EXPECT_EQ(raw.data[4], 5);
    char16_t buffer[4];
    EXPECT_EQ(load_string_from(dir, 1, buffer, 3), 2);
    EXPECT_EQ(std::u16string(buffer), u"ab");
    EXPECT_EQ(load_string_from(dir, 15, buffer, 3), 1);
    EXPECT_EQ(std::u16string(buffer), u"z");
    EXPECT_EQ(load_string_from(dir, 2, buffer, 3), 0);
    EXPECT_EQ(load_string_from(dir, 16, buffer, 3), 0);

    // The same file without the last entry's padding is still sound.
    std::vector<uint8_t> unpadded = empty_file();
    add_entry(unpadded, resource_type_raw_data, u"", 7, {9, 8, 7, 6, 5});
    unpadded.resize(unpadded.size() - 3);
    EXPECT_TRUE(parse_resource_file(unpadded.data(), unpadded.size(), &dir, &error)) << error;
    // A name that runs past its header is refused.
    std::vector<uint8_t> bad = empty_file();
    add_entry(bad, 0, u"ABCDEFGHIJKL", 7, {});
    bad[32 + 4] = 32;  // header size now ends inside the name
    EXPECT_FALSE(parse_resource_file(bad.data(), bad.size(), &dir, &error));
    EXPECT_NE(error.find("runs past the header"), std::string::npos) << error;
}

}  // namespace
