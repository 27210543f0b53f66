// Picture files: a folder of pictures written by the reference encoder's
// command (cjpeg) at test time, listed in natural order; the Exif parser
// over hostile segments, each with its exact result; file sizes in words.
#include "app/exif.h"
#include "app/picture_file.h"
#include "app/picture_list.h"
#include "tests/support/fixtures.h"
#include "tests/support/picture_folder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;
using e2e::exif_segment;

TEST(Exif, HostileSegmentsGiveExactFacts) {
    const std::string date = "2024:05:17 14:03:22";
    const std::array<uint32_t, 4> turned{0x112, 3, 1, 6}, pointer{0x8769, 4, 1, 0}, taken{0x9003, 2, 20, 0};
    const Bytes good = exif_segment(false, {turned, pointer}, {taken});
    const auto with = [&good](size_t at, std::initializer_list<uint8_t> bytes) {
        Bytes b = good;
        std::copy(bytes.begin(), bytes.end(), b.begin() + static_cast<std::ptrdiff_t>(at));
        return b;
    };
    // Offsets in `good`: the TIFF header at 6, IFD0 at 14 (entries at 16 and
    // 28), the Exif directory at 44 (its entry at 46), the date at 62.
    struct Row {
        const char* name;
        Bytes segment;
        int orientation;
        std::string date;
    };
    const Row rows[] = {
        {"little-endian", good, 6, date},
        {"big-endian", exif_segment(true, {turned, pointer}, {taken}), 6, date},
        {"orientation 8, no Exif directory", exif_segment(false, {{0x112, 3, 1, 8}}, {}), 8, ""},
        {"orientation 9 is out of range", exif_segment(false, {{0x112, 3, 1, 9}}, {}), 1, ""},
        {"orientation 0 is out of range", exif_segment(false, {{0x112, 3, 1, 0}}, {}), 1, ""},
        {"orientation as a long", exif_segment(false, {{0x112, 4, 1, 6}}, {}), 1, ""},
        {"orientation with two values", exif_segment(false, {{0x112, 3, 2, 6}}, {}), 1, ""},
        {"the first orientation counts", exif_segment(false, {turned, {0x112, 3, 1, 3}}, {}), 6, ""},
        {"cut inside the first entry", Bytes(good.begin(), good.begin() + 27), 1, ""},
        {"cut inside the second entry", Bytes(good.begin(), good.begin() + 39), 6, ""},
        {"cut inside the date", Bytes(good.begin(), good.begin() + 80), 6, ""},
        {"entry count 65535", with(14, {0xFF, 0xFF}), 6, date},
        {"IFD0 past the end", with(10, {0xF0, 0, 0, 0}), 1, ""},
        {"IFD0 at 0xFFFFFFFF", with(10, {0xFF, 0xFF, 0xFF, 0xFF}), 1, ""},
        {"Exif directory past the end", with(36, {0xF0, 0xFF, 0, 0}), 6, ""},
        {"Exif directory is IFD0 (a loop)", with(36, {8, 0, 0, 0}), 6, ""},
        {"Exif pointer as a short", with(30, {3}), 6, ""},
        {"date past the end", with(54, {0xFF, 0xFF, 0xFF, 0xFF}), 6, ""},
        {"date 18 characters long", with(50, {18}), 6, ""},
        {"date as shorts", with(48, {3}), 6, ""},
        {"date not in shape", exif_segment(false, {pointer}, {taken}, "    :  :     :  :  "), 1, ""},
        {"not named Exif", with(0, {'e'}), 1, ""},
        {"byte order IM", with(6, {'I', 'M'}), 1, ""},
        {"not 42", with(8, {43}), 1, ""},
        {"only the name and the byte order", Bytes(good.begin(), good.begin() + 13), 1, ""},
        {"empty", Bytes(), 1, ""},
    };
    for (const Row& row : rows) {
        const ExifFacts facts = parse_exif_segment(row.segment.data(), row.segment.size());
        EXPECT_EQ(facts.orientation, row.orientation) << row.name;
        EXPECT_EQ(facts.date_taken, row.date) << row.name;
    }
}

using Folder = e2e::PictureFolder;
const Folder& pictures() { return e2e::album_pictures(); }

TEST(PictureList, NaturalOrderContentAndUnreadablePaths) {
    const Folder& f = pictures();
    struct Row {
        std::vector<std::string> paths;
        bool recursive;
        std::vector<std::string> listed, reports;
    };
    const std::vector<std::string> top = {"broken.jpg", "Grey.jpg", "img2.jpg", "img10.jpg", "picture", "restart.jpg"};
    std::vector<std::string> all = top;
    all.push_back("sub/inner.jpg");
    for (const Row& row : {Row{{""}, false, top, {}}, Row{{""}, true, all, {}},
                           Row{{"fake.jpg", "missing.jpg", "sub/"},
                               false,
                               {"fake.jpg", "sub/inner.jpg"},
                               {"missing.jpg: No such file or directory"}},
                           // Named files that exist are kept, whatever they are: the viewer says why
                           // it cannot show them. Names that lead nowhere are reported.
                           Row{{"/dev/null", ".odd/pipe.jpg", ".odd/loop.jpg", "fake.jpg/x.jpg", "none/x.jpg"},
                               false,
                               {"/dev/null", ".odd/pipe.jpg", ".odd/loop.jpg"},
                               {"fake.jpg/x.jpg: Not a directory", "none/x.jpg: No such file or directory"}}}) {
        std::vector<std::string> paths, reports;
        for (const std::string& p : row.paths) paths.push_back(p[0] == '/' ? p : f.at(p));
        const auto relative = [&f](const std::string& p) {
            return p.rfind(f.dir, 0) == 0 ? p.substr(f.dir.size() + 1) : p;
        };
        std::vector<std::string> listed = build_picture_list(
            paths, row.recursive, [&](const std::string& line) { reports.push_back(relative(line)); });
        for (std::string& p : listed) p = relative(p);
        std::vector<std::string> expected = row.listed;
        if (row.paths[0].empty()) expected.push_back("turned.jpg");
        EXPECT_EQ(listed, expected) << row.paths[0];
        EXPECT_EQ(reports, row.reports);
    }
    for (const auto& [a, b] :
         std::vector<std::pair<const char*, const char*>>{{"img2", "img10"},
                                                          {"IMG2", "img10"},
                                                          {"a", "B"},
                                                          {"img01", "img1"},
                                                          {"a9b", "a10"},
                                                          {"", "a"},
                                                          {"p99999999999999999999", "p100000000000000000000"},
                                                          {"Zebra", "zebra"}}) {
        EXPECT_TRUE(natural_less(a, b)) << a << " < " << b;
        EXPECT_FALSE(natural_less(b, a)) << b << " < " << a;
    }
}

TEST(PictureFile, SizesInWords) {
    for (const auto& [bytes, text] : std::vector<std::pair<int64_t, std::string>>{
             {1, "1 byte"}, {999, "999 bytes"}, {1000, "1.0 kB"}, {1234567, "1.2 MB"}, {999950, "1.0 MB"}})
        EXPECT_EQ(human_size(bytes), text);
}

}  // namespace
