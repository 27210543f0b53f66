// Decoding for the photo view against the reference commands: every EXIF
// orientation against djpeg's pixels of the picture jpegtran turns the same
// way, parts of pictures, sizes for a box against the mean of djpeg's
// pixels, and what a file that cannot be shown gives.
#include "app/photo_facts.h"
#include "app/photo_loader.h"
#include "app/picture_decode.h"
#include "marivue/jpeg.hpp"
#include "tests/support/jpeg_builder.h"
#include "tests/support/picture_folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;
using e2e::exif_segment;

void run(const std::string& command) { ASSERT_EQ(std::system(command.c_str()), 0) << command; }

// The `left`, `top`, `width` x `height` part of `picture` (blue, green,
// red), each output pixel the rounded mean of the `step` x `step` pixels it
// stands for.
e2e::Picture part_of(const e2e::Picture& picture, int left, int top, int width, int height, int step = 1) {
    e2e::Picture out{width / step, height / step, 3, {}};
    for (int y = 0; y < out.height; ++y)
        for (int x = 0; x < out.width; ++x)
            for (int c = 0; c < 3; ++c) {
                int sum = 0;
                for (int dy = 0; dy < step; ++dy)
                    for (int dx = 0; dx < step; ++dx)
                        sum += picture.samples[size_t(
                            ((top + y * step + dy) * picture.width + left + x * step + dx) * 3 + c)];
                out.samples.push_back(static_cast<uint8_t>((sum + step * step / 2) / (step * step)));
            }
    return out;
}

// The decoded image as blue, green, red, checking that every pixel is opaque.
e2e::Picture bgr_of(const PictureImage& image) {
    e2e::Picture out{image.width, image.height, 3, {}};
    for (size_t i = 0; i < image.bgra.size(); i += 4) {
        out.samples.insert(out.samples.end(), image.bgra.begin() + long(i), image.bgra.begin() + long(i) + 3);
        EXPECT_EQ(image.bgra[i + 3], 255);
    }
    return out;
}

DecodedPicture decode(const std::string& path, PictureRequest request) {
    DecodeStop keep_going;
    return decode_picture(path, request, keep_going);
}

PictureRequest box(int width, int height) {
    PictureRequest r;
    r.box_width = width, r.box_height = height;
    return r;
}

TEST(PictureDecode, TurnsCutsAndShrinksLikeTheReference) {
    e2e::PictureFolder f;
    // 4:4:4 at full quality, so that djpeg's pixels need no upsampling.
    f.encode("p.jpg", 64, 48, "-quality 100 -sample 1x1");
    const char* transforms[] = {"",           "-flip horizontal", "-rotate 180", "-flip vertical",
                                "-transpose", "-rotate 90",       "-transverse", "-rotate 270"};
    struct Row {
        PictureRequest request;
        int left, top, width, height, step;  // of the upright reference
        // A whole picture wanted at 1/step or less is decoded reduced in
        // the transform: the reference is the library's reduced decode of
        // the upright file (tested against the full decode in the
        // decoder's own tests); a box filter of the full picture is up to
        // 50 away on this picture's fine detail.
        bool reduced = false;
    };
    const auto part = [](int left, int top, int width, int height, int box_width, int box_height) {
        PictureRequest r;
        r.left = left, r.top = top, r.width = width, r.height = height;
        r.box_width = box_width, r.box_height = box_height;
        return r;
    };
    for (int orientation = 1; orientation <= 8; ++orientation) {
        SCOPED_TRACE(orientation);
        const std::string name = std::to_string(orientation) + ".jpg";
        run("cp '" + f.at("p.jpg") + "' '" + f.at(name) + "'");
        f.insert_exif(name, exif_segment(false, {{0x112, 3, 1, static_cast<uint32_t>(orientation)}}, {}));
        run("jpegtran " + std::string(transforms[orientation - 1]) + " '" + f.at("p.jpg") + "' > '" + f.at("t.jpg") +
            "'");
        const e2e::Picture upright = f.reference(f.at("t.jpg"));
        const int w = upright.width, h = upright.height;
        const Row rows[] = {
            {box(1000, 1000), 0, 0, w, h, 1},  // whole, at its own size
            {part(8, 16, 24, 8, 24, 8), 8, 16, 24, 8, 1},  // a part
            {part(-5, -5, 21, 13, 100, 100), 0, 0, 16, 8, 1},  // cut to the picture
            {box(w / 2, h / 2), 0, 0, w, h, 2, true},  // half size
            {box(w / 4, 100), 0, 0, w, h, 4, true},  // the width binds
            {box(w / 8, h / 8), 0, 0, w, h, 8, true},  // an eighth
            {part(w / 2, h / 2, w / 2, h / 2, w / 8, h / 8), w / 2, h / 2, w / 2, h / 2, 4},  // a part, shrunk
        };
        for (const Row& row : rows) {
            const DecodedPicture d = decode(f.at(name), row.request);
            ASSERT_EQ(d.outcome.result, PictureResult::shown) << d.outcome.reason;
            ASSERT_TRUE(d.image);
            EXPECT_EQ(d.outcome.facts.width, w);
            EXPECT_EQ(d.outcome.facts.height, h);
            EXPECT_EQ(d.outcome.facts.exif.orientation, orientation);
            const PictureImage& image = *d.image;
            EXPECT_EQ((std::vector<int>{image.left, image.top, image.part_width, image.part_height}),
                      (std::vector<int>{row.left, row.top, row.width, row.height}));
            if (row.reduced) {
                marivue::jpeg::Options options;
                options.scale = row.step;
                options.format = marivue::jpeg::PixelFormat::bgra;
                marivue::jpeg::Image scaled;
                ASSERT_EQ(marivue::jpeg::decode_file(f.at("t.jpg").c_str(), scaled, options), 0);
                PictureImage reference;
                reference.width = scaled.width, reference.height = scaled.height, reference.bgra = scaled.pixels;
                // Exact, but for the turned orientations: the transform
                // works on rows before columns, so a transposed file's
                // roundings fall elsewhere (within 2).
                const int tolerance = orientation >= 5 ? 2 : 0;
                EXPECT_TRUE(e2e::matches_within(bgr_of(image), bgr_of(reference), tolerance, 1.0)) << row.step;
                continue;
            }
            // Within the decoders' tolerance of each other (fixtures.h).
            EXPECT_TRUE(e2e::matches_reference(
                bgr_of(image), part_of(upright, row.left, row.top, row.width, row.height, row.step), 0, image.height))
                << row.request.left << " " << row.request.width << " " << row.request.box_width;
        }
    }
    std::filesystem::remove_all(f.dir);
}

TEST(PictureDecode, SaysWhyAFileCannotBeShown) {
    const e2e::PictureFolder& f = e2e::album_pictures();
    struct Row {
        const char* name;
        PictureResult result;
        std::string reason;
        bool image;
    };
    const Row rows[] = {
        {"img10.jpg", PictureResult::shown, "", true},
        {"broken.jpg", PictureResult::incomplete, "the picture's data ends early; the missing part is filled in", true},
        {"fake.jpg", PictureResult::decode_failed, "not a JPEG file", false},
        {".odd/pipe.jpg", PictureResult::unreadable, "a named pipe, not a picture file", false},
        {".odd/loop.jpg", PictureResult::unreadable, "Too many levels of symbolic links", false},
        {"sub", PictureResult::unreadable, "a folder, not a picture file", false},
        {"missing.jpg", PictureResult::unreadable, "No such file or directory", false},
    };
    for (const Row& row : rows) {
        const DecodedPicture d = decode(f.at(row.name), box(100, 100));
        EXPECT_EQ(d.outcome.result, row.result) << row.name;
        EXPECT_EQ(d.outcome.reason, row.reason) << row.name;
        EXPECT_EQ(bool(d.image), row.image) << row.name;
    }
    // Wider than the decoder's default side limit: shown, fitted.
    const DecodedPicture wide = decode(MARIVUE_EXTENDED_FIXTURES "/wide_1x2_13000x16.jpg", box(1300, 100));
    EXPECT_EQ(wide.outcome.result, PictureResult::shown) << wide.outcome.reason;
    EXPECT_EQ((std::vector<int>{wide.outcome.facts.width, wide.outcome.facts.height}), (std::vector<int>{13000, 16}));
    ASSERT_TRUE(wide.image);
    EXPECT_EQ((std::vector<int>{wide.image->width, wide.image->height}), (std::vector<int>{1300, 2}));
    // A large sequential picture whole at its own size, read into memory and
    // decoded on two threads, whole and cut short: the library's pixels.
    e2e::PictureFolder large;
    large.encode("large.jpg", 1200, 900, "-quality 90");
    const Bytes bytes = e2e::read_file(large.at("large.jpg"));
    e2e::write_file(large.at("cut.jpg"), Bytes(bytes.begin(), bytes.begin() + long(bytes.size() * 3 / 5)));
    for (const char* name : {"large.jpg", "cut.jpg"}) {
        marivue::jpeg::Image expected;
        ASSERT_EQ(marivue::jpeg::decode_file(large.at(name).c_str(), expected, marivue::jpeg::PixelFormat::bgra), 0);
        const DecodedPicture d = decode(large.at(name), box(1200, 900));
        EXPECT_EQ(d.outcome.result, expected.complete ? PictureResult::shown : PictureResult::incomplete) << name;
        ASSERT_TRUE(d.image) << name;
        EXPECT_TRUE(d.image->bgra == expected.pixels) << name;
    }
    std::filesystem::remove_all(large.dir);
    // A picture the decoder refuses: the reason names its kind.
    const std::string dir = e2e::make_temp_dir(), refused = dir + "/arithmetic-progressive.jpg";
    e2e::write_file(refused, jt::head(8, 8, jt::grey(), 0xCA).bytes);
    EXPECT_EQ(decode(refused, box(100, 100)).outcome.reason, "arithmetic-coded progressive pictures are not supported");
    std::filesystem::remove_all(dir);
    // A decode asked to stop ends without a picture.
    DecodeStop stop;
    stop.request();
    const DecodedPicture stopped = decode_picture(f.at("img2.jpg"), box(100, 100), stop);
    EXPECT_EQ(stopped.outcome.result, PictureResult::cancelled);
    EXPECT_FALSE(stopped.image);
}

// Pictures with an embedded profile are decoded converted to sRGB: the
// pixels against jpgicc's conversion of the same file (decoded by djpeg),
// tile by tile. jpgicc writes a new JPEG (at quality 100 here), and the
// decode converts its output pixels rather than the file's, so the means of
// 24 x 24 tiles are compared, within 1 level; without the conversion the
// same tiles are more than 20 apart. A profile Little CMS cannot use leaves
// the picture as it is, with a note; a picture without one is sRGB already.
TEST(PictureDecode, ColoursConvertedFromTheProfileLikeJpgicc) {
    e2e::PictureFolder f;
    constexpr int width = 1440, height = 960;
    f.encode("p.jpg", width, height, "-quality 95 -sample 1x1");
    f.encode("grey.jpg", width, height, "-quality 95 -grayscale");
    const auto run = [](const std::string& command) { ASSERT_EQ(std::system(command.c_str()), 0) << command; };
    const auto profile = [](const char* name) { return e2e::read_file(std::string("/usr/share/color/icc/") + name); };
    const auto tag = [&](const std::string& from, const std::string& name, const std::vector<uint8_t>& icc) {
        e2e::write_file(f.at(name), jt::tagged(e2e::read_file(f.at(from)), {jt::icc_chunk(icc, 0, icc.size(), 1, 1)}));
    };
    // Blue, green and red of a decoded picture, as the reference gives them.
    const auto bgr = [](const DecodedPicture& d) {
        std::vector<uint8_t> out;
        for (size_t i = 0; d.image && i < d.image->bgra.size(); i += 4)
            out.insert(out.end(), d.image->bgra.begin() + long(i), d.image->bgra.begin() + long(i) + 3);
        return out;
    };
    // Means of 24 x 24 tiles of two pictures' channels: the largest difference.
    const auto worst_tile = [](const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
        double worst = 0;
        for (int ty = 0; ty < height / 24; ++ty)
            for (int tx = 0; tx < width / 24; ++tx)
                for (int c = 0; c < 3; ++c) {
                    double sum = 0;
                    for (int y = ty * 24; y < ty * 24 + 24; ++y)
                        for (int x = tx * 24; x < tx * 24 + 24; ++x) {
                            const size_t at = (static_cast<size_t>(y) * width + x) * 3 + c;
                            sum += static_cast<double>(a[at]) - b[at];
                        }
                    worst = std::max(worst, std::abs(sum) / (24 * 24));
                }
        return worst;
    };
    tag("p.jpg", "adobe.jpg", profile("compatibleWithAdobeRGB1998.icc"));
    tag("p.jpg", "lstar.jpg", profile("LStar-RGB.icc"));
    tag("grey.jpg", "grey-gamma.jpg", profile("Gray.icc"));
    tag("p.jpg", "garbage.jpg", std::vector<uint8_t>(400, 0x5A));
    tag("p.jpg", "grey-profile-on-colour.jpg", profile("Gray.icc"));
    // A CMYK picture with its inks' profile: the decoder turns the inks into
    // RGB itself, so the profile has nothing to apply to and no note is due.
    run("cp '" MARIVUE_EXTENDED_FIXTURES "/cmyk_45x29.jpg' '" + f.at("cmyk.jpg") + "'");
    tag("cmyk.jpg", "cmyk-profile.jpg", profile("ghostscript/ps_cmyk.icc"));
    const char* note = "its colour profile cannot be used, so its colours are shown unconverted";
    struct Row {
        const char* file;
        const char* plain;  // the same picture without the profile
        bool converted;
        const char* note;  // the outcome's reason
        const char* name;  // the profile's, for the info panel
    } rows[] = {
        {"adobe.jpg", "p.jpg", true, "", "Compatible with Adobe RGB (1998)"},
        {"lstar.jpg", "p.jpg", true, "", "Lstar-RGB.icc"},
        {"grey-gamma.jpg", "grey.jpg", true, "", "Gray"},
        {"garbage.jpg", "p.jpg", false, note, "unreadable"},
        {"grey-profile-on-colour.jpg", "p.jpg", false, note, "Gray"},
        {"cmyk-profile.jpg", "cmyk.jpg", false, "", "Artifex PS CMYK Profile"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.file);
        const DecodedPicture d = decode(f.at(row.file), box(width, height));
        EXPECT_EQ(d.outcome.result, PictureResult::shown);
        EXPECT_EQ(d.outcome.reason, row.note);
        const InfoLines lines = picture_info(row.file, f.at(row.file), "/", &d.outcome);
        const auto named =
            std::find_if(lines.begin(), lines.end(), [](const auto& l) { return l.first == "Colour profile"; });
        ASSERT_NE(named, lines.end());
        EXPECT_EQ(named->second, row.name);
        const std::vector<uint8_t> shown = bgr(d), plain = bgr(decode(f.at(row.plain), box(width, height)));
        if (!row.converted) {
            EXPECT_TRUE(shown == plain);
            continue;
        }
        run("jpgicc -q100 '" + f.at(row.file) + "' '" + f.at("srgb.jpg") + "'");
        const e2e::Picture reference = f.reference(f.at("srgb.jpg"));
        ASSERT_EQ(reference.samples.size(), shown.size());
        EXPECT_LE(worst_tile(shown, reference.samples), 1.0);
        EXPECT_GE(worst_tile(plain, reference.samples), 20.0);  // the conversion is not a no-op
    }
    // Without a profile: no note, no line.
    const DecodedPicture untagged = decode(f.at("p.jpg"), box(width, height));
    EXPECT_EQ(untagged.outcome.reason, "");
    for (const auto& line : picture_info("p.jpg", f.at("p.jpg"), "/", &untagged.outcome))
        EXPECT_NE(line.first, "Colour profile");
    std::filesystem::remove_all(f.dir);
}

// The worker threads: the decodes wanted, in order, each once; a wake for
// each result; a move to the trash; nothing more after letting go.
TEST(PictureWork, DecodesWhatIsWantedInOrderAndMovesToTheTrash) {
    const e2e::PictureFolder& f = e2e::album_pictures();
    e2e::PictureFolder local;
    local.encode("gone.jpg", 16, 16, "");
    setenv("XDG_DATA_HOME", (local.dir + "/data").c_str(), 1);
    std::mutex mutex;
    std::condition_variable woken;
    int wakes = 0;
    std::unique_ptr<PictureWork> work = make_picture_work();
    work->start([&] {
        std::lock_guard<std::mutex> lock(mutex);
        ++wakes;
        woken.notify_all();
    });
    const auto job = [&f](uint32_t id, const char* name, int box_size) {
        return PictureJob{id, PictureJobKind::screen, box(box_size, box_size), f.at(name)};
    };
    work->want({job(1, "img2.jpg", 150), job(2, "Grey.jpg", 60), job(3, "fake.jpg", 10)});
    // Asked again while at it: the same jobs are not done twice.
    work->want({job(1, "img2.jpg", 150), job(2, "Grey.jpg", 60), job(3, "fake.jpg", 10)});
    work->trash(4, local.at("gone.jpg"));
    std::vector<PictureJobDone> pictures, all;
    std::vector<TrashJobDone> moved, moves;
    std::unique_lock<std::mutex> lock(mutex);
    while (all.size() < 3 || moves.empty()) {
        woken.wait(lock, [&] { return wakes > 0; });
        wakes = 0;
        lock.unlock();
        work->take(pictures, moved);
        all.insert(all.end(), pictures.begin(), pictures.end());
        moves.insert(moves.end(), moved.begin(), moved.end());
        lock.lock();
    }
    lock.unlock();
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all[0].job.id, 1u);
    EXPECT_EQ(all[0].picture.image->width, 150);
    EXPECT_EQ(all[0].picture.image->height, 100);
    EXPECT_EQ(all[1].job.id, 2u);
    EXPECT_EQ(all[1].picture.image->width, 60);
    EXPECT_EQ(all[2].picture.outcome.reason, "not a JPEG file");
    ASSERT_EQ(moves.size(), 1u);
    EXPECT_EQ(moves[0].id, 4u);
    EXPECT_TRUE(moves[0].moved) << moves[0].reason;
    EXPECT_TRUE(std::filesystem::exists(local.dir + "/data/Trash/files/gone.jpg"));
    work->let_go();
    work->want({job(5, "img10.jpg", 50)});
    work->take(pictures, moved);
    EXPECT_TRUE(pictures.empty());
    work.reset();
    EXPECT_EQ(picture_work_threads_running(), 0);
    std::filesystem::remove_all(local.dir);
}

// The data after an Exif segment's directories (see e2e::exif_segment, which
// writes it where its date text goes), in the segment's byte order; offsets
// count from the TIFF header like the segment's own.
struct ExifData {
    bool big;
    uint32_t base;  // where the data starts
    std::string bytes;
    uint32_t text(const std::string& value) {
        const auto at = static_cast<uint32_t>(base + bytes.size());
        bytes += value + '\0';
        return at;
    }
    uint32_t fraction(uint32_t numerator, uint32_t denominator) {
        const auto at = static_cast<uint32_t>(base + bytes.size());
        for (const uint32_t v : {numerator, denominator})
            for (int i = 0; i < 4; ++i) bytes += static_cast<char>(v >> 8 * (big ? 3 - i : i));
        return at;
    }
};

TEST(PictureFacts, CameraFactsFromTheExifSegmentInWords) {
    e2e::PictureFolder f;
    f.encode("p.jpg", 32, 24, "");
    using Entries = std::vector<std::array<uint32_t, 4>>;
    struct Row {
        const char* name;
        bool big;
        std::function<void(ExifData&, Entries& ifd0, Entries& exif)> write;
        InfoLines lines;  // from the camera on
    };
    const Row rows[] = {
        {"little-endian, the model naming the maker",
         false,
         [](ExifData& d, Entries& ifd0, Entries& exif) {
             ifd0 = {{0x10F, 2, 6, d.text("Canon")}, {0x110, 2, 13, d.text("Canon EOS R5")}};
             exif = {{0x829A, 5, 1, d.fraction(1, 250)},
                     {0x829D, 5, 1, d.fraction(28, 10)},
                     {0x920A, 5, 1, d.fraction(35, 1)},
                     {0x8827, 3, 1, 200}};
         },
         {{"Camera", "Canon EOS R5"},
          {"Exposure", "1/250 s"},
          {"Aperture", "f/2.8"},
          {"Focal length", "35 mm"},
          {"ISO", "200"}}},
        {"big-endian, long times, ISO as a long",
         true,
         [](ExifData& d, Entries& ifd0, Entries& exif) {
             ifd0 = {{0x10F, 2, 18, d.text("NIKON CORPORATION")}, {0x110, 2, 10, d.text("NIKON Z 6")}};
             exif = {{0x829A, 5, 1, d.fraction(2, 1)},
                     {0x829D, 5, 1, d.fraction(8, 1)},
                     {0x920A, 5, 1, d.fraction(43, 10)},
                     {0x8827, 4, 1, 12800}};
         },
         {{"Camera", "NIKON CORPORATION NIKON Z 6"},
          {"Exposure", "2 s"},
          {"Aperture", "f/8"},
          {"Focal length", "4.3 mm"},
          {"ISO", "12800"}}},
        {"hostile values",
         false,
         [](ExifData& d, Entries& ifd0, Entries& exif) {
             ifd0 = {{0x10F, 2, 3, 'L' | 'G' << 8},  // in the entry itself
                     {0x110, 2, 8,
                      d.text("A\x01"
                             "B\xFFz  ")},  // unprintable bytes, trailing spaces
                     {0x110, 2, 4, d.text("two")}};  // a second model
             exif = {{0x829A, 5, 1, 0xFFFFFFF0},  // past the end
                     {0x829D, 5, 1, d.fraction(28, 0)},  // no denominator
                     {0x920A, 3, 1, 35},  // not a fraction
                     {0x8827, 3, 3, d.fraction(400, 0)},  // three shorts at an offset: the first counts
                     {0x829A, 5, 1, d.fraction(1, 60)}};  // a second exposure does not count
         },
         {{"Camera", "LG A?B?z"}, {"ISO", "400"}}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        // The data's offset depends only on how many entries there are:
        // write once to count them, then for real.
        Entries ifd0, exif;
        ExifData probe{row.big, 0, ""};
        row.write(probe, ifd0, exif);
        ifd0.push_back({0x8769, 4, 1, 0});
        exif.push_back({0x9003, 2, 20, 0});
        ExifData data{row.big, static_cast<uint32_t>(8 + 2 + 12 * ifd0.size() + 4 + 2 + 12 * exif.size() + 4), ""};
        data.text("2024:05:17 14:03:22");
        row.write(data, ifd0, exif);
        ifd0.push_back({0x8769, 4, 1, 0});
        exif.push_back({0x9003, 2, 20, 0});
        const std::string name = std::string(row.big ? "big" : "little") + std::to_string(&row - rows) + ".jpg";
        std::system(("cp '" + f.at("p.jpg") + "' '" + f.at(name) + "'").c_str());
        // The data goes where the segment builder puts its date text.
        f.insert_exif(name, exif_segment(row.big, ifd0, exif, data.bytes));
        const DecodedPicture d = decode(f.at(name), box(10, 10));
        ASSERT_EQ(d.outcome.result, PictureResult::shown);
        const InfoLines lines = picture_info(name, f.at(name), "/", &d.outcome);
        const auto camera = std::find_if(lines.begin(), lines.end(), [](const auto& l) { return l.first == "Camera"; });
        EXPECT_EQ(InfoLines(camera, lines.end()), row.lines);
        const auto taken = std::find_if(lines.begin(), lines.end(), [](const auto& l) { return l.first == "Taken"; });
        ASSERT_NE(taken, lines.end());
        EXPECT_EQ(taken->second, "2024-05-17 14:03:22");
        EXPECT_EQ(lines[1], (std::pair<std::string, std::string>{"Folder", f.dir}));
    }
    std::filesystem::remove_all(f.dir);
}

}  // namespace
