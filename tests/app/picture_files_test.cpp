// Picture files: a folder of pictures written by the reference encoder's
// command (cjpeg) at test time, listed in natural order, and fitted into a
// frame against the reference decoder's command (djpeg), turned by the
// reference transformer (jpegtran) for each Exif orientation; the Exif
// parser over hostile segments, each with its exact result; file sizes in
// words.
#include "app/exif.h"
#include "app/picture_fit.h"
#include "app/picture_list.h"
#include "tests/support/fixtures.h"
#include "tests/support/picture_folder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;
using e2e::exif_segment;

void run(const std::string& command) { ASSERT_EQ(std::system(command.c_str()), 0) << command; }

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

// The frame fit_picture makes of `path`.
Bytes fitted(const std::string& path, bool enlarge = true) {
    Bytes frame(album_frame_bytes);
    fit_picture(path, FitFrame{frame.data(), album_frame_width, album_frame_height, enlarge});
    return frame;
}

TEST(PictureFile, SizesInWords) {
    for (const auto& [bytes, text] : std::vector<std::pair<int64_t, std::string>>{
             {1, "1 byte"}, {999, "999 bytes"}, {1000, "1.0 kB"}, {1234567, "1.2 MB"}, {999950, "1.0 MB"}})
        EXPECT_EQ(human_size(bytes), text);
}

// Each orientation against djpeg's pixels of the picture jpegtran turns the
// same way, placed in the middle of a black frame; and a picture twice the
// frame's size against djpeg's own halving.
TEST(PictureFit, TurnsAndShrinksLikeTheReference) {
    Folder f;
    f.encode("p.jpg", 64, 48, "-quality 95");
    const char* transforms[] = {"",           "-flip horizontal", "-rotate 180", "-flip vertical",
                                "-transpose", "-rotate 90",       "-transverse", "-rotate 270"};
    const auto expect_near = [](const Bytes& frame, const e2e::Picture& want, int tolerance) {
        const int left = (album_frame_width - want.width) / 2, top = (album_frame_height - want.height) / 2;
        int worst = 0;
        for (int y = 0; y < album_frame_height; ++y)
            for (int x = 0; x < album_frame_width * 3; ++x) {
                const bool inside = y >= top && y < top + want.height && x >= left * 3 && x < (left + want.width) * 3;
                const int expected =
                    inside ? want.samples[static_cast<size_t>((y - top) * want.width * 3 + x - left * 3)] : 0;
                worst = std::max(worst, std::abs(frame[static_cast<size_t>(y * album_frame_width * 3 + x)] - expected));
            }
        EXPECT_LE(worst, tolerance);
    };
    for (int orientation = 1; orientation <= 8; ++orientation) {
        SCOPED_TRACE(orientation);
        const std::string name = std::to_string(orientation) + ".jpg";
        run("cp '" + f.at("p.jpg") + "' '" + f.at(name) + "'");
        f.insert_exif(name, exif_segment(true, {{0x112, 3, 1, static_cast<uint32_t>(orientation)}}, {}));
        run("jpegtran " + std::string(transforms[orientation - 1]) + " '" + f.at("p.jpg") + "' > '" + f.at("t.jpg") +
            "'");
        expect_near(fitted(f.at(name), false), f.reference(f.at("t.jpg")), 4);
    }
    // Enlarged twenty times to fill the frame's height: the middle of each
    // 20 x 20 tile is about the pixel it grew from.
    const Bytes big = fitted(f.at("p.jpg"));
    const e2e::Picture want = f.reference(f.at("p.jpg"));
    int worst = 0;
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64 * 3; ++x) {
            const size_t at = static_cast<size_t>((y * 20 + 10) * album_frame_width + 80 + x / 3 * 20 + 10) * 3;
            worst = std::max(worst, std::abs(big[at + x % 3] - want.samples[static_cast<size_t>(y * 64 * 3 + x)]));
        }
    EXPECT_LE(worst, 16);
    EXPECT_EQ(big[0], 0);  // the bars beside it stay black
    f.encode("big.jpg", 2880, 1920, "-quality 95 -sample 1x1");
    // djpeg halves in the frequency domain, fit_picture averages pixels.
    expect_near(fitted(f.at("big.jpg")), f.reference(f.at("big.jpg"), "-scale 1/2"), 10);
    std::filesystem::remove_all(f.dir);
}

// Pictures with an embedded profile are shown converted to sRGB: the
// album's frame against jpgicc's conversion of the same file (decoded by
// djpeg), tile by tile. jpgicc writes a new JPEG (at quality 100 here), and
// the album converts the fitted pixels rather than the file's, so the
// means of 24 x 24 tiles are compared, within 1 level (0.05 to 0.14 here);
// without the conversion the same tiles are 72 to 88 levels apart at worst,
// and the test checks that they are more than 20 apart. A profile Little CMS cannot use leaves the picture as it is,
// with a note; a picture without one is sRGB already.
TEST(PictureFit, ColoursConvertedFromTheProfileLikeJpgicc) {
    Folder f;
    f.encode("p.jpg", 1440, 960, "-quality 95 -sample 1x1");
    f.encode("grey.jpg", 1440, 960, "-quality 95 -grayscale");
    const auto profile = [](const char* name) { return e2e::read_file(std::string("/usr/share/color/icc/") + name); };
    const auto tag = [&](const std::string& from, const std::string& name, const Bytes& icc) {
        run("cp '" + f.at(from) + "' '" + f.at(name) + "'");
        const std::string name_and_numbers("ICC_PROFILE\0\1\1", 14);
        Bytes chunk(name_and_numbers.begin(), name_and_numbers.end());
        chunk.resize(14 + icc.size());
        std::copy(icc.begin(), icc.end(), chunk.begin() + 14);
        f.insert_segment(name, 0xE2, chunk);
    };
    // Means of 24 x 24 tiles of two frames' channels: the largest difference.
    const auto worst_tile = [](const Bytes& a, const Bytes& b) {
        double worst = 0;
        for (int ty = 0; ty < album_frame_height / 24; ++ty)
            for (int tx = 0; tx < album_frame_width / 24; ++tx)
                for (int c = 0; c < 3; ++c) {
                    double sum = 0;
                    for (int y = ty * 24; y < ty * 24 + 24; ++y)
                        for (int x = tx * 24; x < tx * 24 + 24; ++x) {
                            const size_t at = (static_cast<size_t>(y) * album_frame_width + x) * 3 + c;
                            sum += static_cast<double>(a[at]) - b[at];
                        }
                    worst = std::max(worst, std::abs(sum) / (24 * 24));
                }
        return worst;
    };
    const Bytes garbage(400, 0x5A);
    tag("p.jpg", "adobe.jpg", profile("compatibleWithAdobeRGB1998.icc"));
    tag("p.jpg", "lstar.jpg", profile("LStar-RGB.icc"));
    tag("grey.jpg", "grey-gamma.jpg", profile("Gray.icc"));
    tag("p.jpg", "garbage.jpg", garbage);
    tag("p.jpg", "grey-profile-on-colour.jpg", profile("Gray.icc"));
    const std::string note = "its colour profile cannot be used, so its colours are shown unconverted";
    struct Row {
        const char* file;
        const char* plain;  // the same picture without the profile
        bool converted;
    } rows[] = {
        {"adobe.jpg", "p.jpg", true},
        {"lstar.jpg", "p.jpg", true},
        {"grey-gamma.jpg", "grey.jpg", true},
        {"garbage.jpg", "p.jpg", false},
        {"grey-profile-on-colour.jpg", "p.jpg", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.file);
        Bytes frame(album_frame_bytes);
        const PictureOutcome outcome =
            fit_picture(f.at(row.file), FitFrame{frame.data(), album_frame_width, album_frame_height});
        EXPECT_EQ(outcome.result, PictureResult::shown);
        const Bytes plain = fitted(f.at(row.plain));
        if (!row.converted) {
            EXPECT_EQ(outcome.reason, note);
            EXPECT_TRUE(frame == plain);
            continue;
        }
        EXPECT_EQ(outcome.reason, "");
        run("jpgicc -q100 '" + f.at(row.file) + "' '" + f.at("srgb.jpg") + "'");
        const e2e::Picture reference = f.reference(f.at("srgb.jpg"));
        ASSERT_EQ(reference.samples.size(), frame.size());
        EXPECT_LE(worst_tile(frame, reference.samples), 1.0);
        EXPECT_GE(worst_tile(plain, reference.samples), 20.0);  // the conversion is not a no-op
    }
    Bytes frame(album_frame_bytes);
    EXPECT_EQ(fit_picture(f.at("p.jpg"), FitFrame{frame.data(), album_frame_width, album_frame_height}).reason, "");
    std::filesystem::remove_all(f.dir);
}

}  // namespace
