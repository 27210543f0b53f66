// The one-call interface, the Decoder class and the C interface against the
// streaming interface they are built on.
#include "marivue/jpeg.h"
#include "marivue/jpeg.hpp"
#include "marivue/jpeg/version.h"

#include "tests/jpeg/api_helpers.h"
#include "tests/support/fixtures.h"
#include "tests/support/jpeg_builder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

using namespace marivue::jpeg;
using namespace api_test;

namespace {

// The frame as an Info or the C interface's info tells it.
template <class T>
std::string frame_of(const T& i) {
    char text[128];
    std::snprintf(text, sizeof text, "%d x %d, %d %dx%d %dx%d %dx%d %dx%d, %s%s", i.width, i.height, i.components,
                  i.h_factor[0], i.v_factor[0], i.h_factor[1], i.v_factor[1], i.h_factor[2], i.v_factor[2],
                  i.h_factor[3], i.v_factor[3], i.progressive ? "progressive" : "sequential", i.rgb ? ", RGB" : "");
    return text;
}

TEST(JpegApi, InfoTellsTheFrame) {
    struct Row {
        const char* name;
        const char* frame;
        ColourSpace space;
        int c_space;
    } rows[] = {
        {"base_2x2_241x161.jpg", "241 x 161, 3 2x2 1x1 1x1 0x0, sequential", ColourSpace::ycbcr,
         MARIVUE_JPEG_SPACE_YCBCR},
        {"prog_grey_17x9.jpg", "17 x 9, 1 1x1 0x0 0x0 0x0, progressive", ColourSpace::grey, MARIVUE_JPEG_SPACE_GREY},
        {"rgb_1x2_241x161.jpg", "241 x 161, 3 1x2 1x1 1x1 0x0, sequential, RGB", ColourSpace::rgb,
         MARIVUE_JPEG_SPACE_RGB},
        {"../extended/cmyk_45x29.jpg", "45 x 29, 4 1x1 1x1 1x1 1x1, sequential", ColourSpace::cmyk,
         MARIVUE_JPEG_SPACE_CMYK},
        {"../extended/ycck_prog_41x23.jpg", "41 x 23, 4 2x1 1x1 1x1 2x1, progressive", ColourSpace::ycck,
         MARIVUE_JPEG_SPACE_YCCK}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const auto data = fixture(row.name);
        Info info;
        marivue_jpeg_info c;
        ASSERT_EQ(read_info(data.data(), data.size(), info), 0);
        ASSERT_EQ(marivue_jpeg_read_info(data.data(), data.size(), &c), 0);
        EXPECT_EQ(frame_of(info), row.frame);
        EXPECT_EQ(frame_of(c), row.frame);
        EXPECT_EQ(info.colour_space, row.space);
        EXPECT_EQ(info.output_width * 10000 + info.output_height, info.width * 10000 + info.height);
        int status = 1;
        marivue_jpeg_decoder* d = marivue_jpeg_decoder_open_memory(data.data(), data.size(), nullptr, &status);
        EXPECT_EQ(marivue_jpeg_decoder_colour_space(d), row.c_space);
        marivue_jpeg_decoder_free(d);
    }
}

TEST(JpegApi, DataEndingEarlyDecodesWithTheRestFilledIn) {
    for (const char* name : {"base_truncated.jpg", "prog_truncated.jpg"}) {
        const auto data = fixture(name);
        const Streamed s = stream(data);
        ASSERT_TRUE(s.incomplete) << name;
        Image image;
        image.pixels.assign(size_t{1} << 20, 0xAB);  // an earlier picture's bytes, which must not show
        ASSERT_EQ(decode(data.data(), data.size(), image, PixelFormat::rgb), 0) << name;
        EXPECT_FALSE(image.complete) << name;
        // Rows the streaming decoder delivered are kept; the rest is mid-grey.
        const auto delivered = expected_pixels(s, PixelFormat::rgb);
        ASSERT_LE(delivered.size(), image.pixels.size());
        EXPECT_TRUE(std::equal(delivered.begin(), delivered.end(), image.pixels.begin())) << name;
        EXPECT_TRUE(std::all_of(image.pixels.begin() + static_cast<long>(delivered.size()), image.pixels.end(),
                                [](uint8_t v) { return v == 128; }))
            << name;
        marivue_jpeg_image c;
        ASSERT_EQ(marivue_jpeg_decode(data.data(), data.size(), MARIVUE_JPEG_GREY, &c), 0);
        EXPECT_EQ(c.complete, 0);
        marivue_jpeg_free(&c);
    }
}

TEST(JpegApi, BadInputGivesAStatusAndAnEmptyImage) {
    const auto good = fixture("base_2x2_241x161.jpg");
    const std::vector<uint8_t> cut(good.begin(), good.begin() + 300);  // inside the Huffman tables
    const std::vector<uint8_t> text{'G', 'I', 'F', '8', '9', 'a'};
    auto sof2 = jt::head(8192, 8192, jt::ycc(1, 1), 0xC2);
    const auto hostile = sof2.sos(jt::all_components(jt::ycc(1, 1)), 0, 0, 0, 0).eoi().bytes;
    const auto huge_sequential = jt::head(8192, 8192, jt::grey()).sos(jt::all_components(jt::grey())).eoi().bytes;
    Options limited;
    limited.max_pixels = 241 * 161 - 1;
    const auto sized = [](int max_side, int scale) {
        Options options;
        options.max_side = max_side, options.scale = scale;
        return options;
    };
    struct Row {
        const char* what;
        const void* data;
        size_t size;
        Options options;
        int status;
    } rows[] = {
        {"null data", nullptr, 100, {}, NotJpeg},
        {"size 0", good.data(), 0, {}, NotJpeg},
        {"cut in the header", cut.data(), cut.size(), {}, UnexpectedMarker},
        {"not a JPEG", text.data(), text.size(), {}, NotJpeg},
        {"progressive 8192 x 8192 asking for 400 MB", hostile.data(), hostile.size(), {}, OutOfMemory},
        {"above max_pixels", good.data(), good.size(), limited, OutOfMemory},
        {"8192 x 8192 above max_pixels", huge_sequential.data(), huge_sequential.size(),
         Options{PixelFormat::rgb, 0, 1 << 20}, OutOfMemory},
        {"unknown format", good.data(), good.size(), Options{static_cast<PixelFormat>(7), 0, 0}, StreamError},
        {"max_side 0", good.data(), good.size(), sized(0, 1), StreamError},
        {"max_side 65536", good.data(), good.size(), sized(65536, 1), StreamError},
        {"max_side 240, below the width", good.data(), good.size(), sized(240, 1), WidthOutOfRange},
        {"scale 0", good.data(), good.size(), sized(8192, 0), StreamError},
        {"scale 3", good.data(), good.size(), sized(8192, 3), StreamError},
        {"scale 16", good.data(), good.size(), sized(8192, 16), StreamError},
        {"scale -2", good.data(), good.size(), sized(8192, -2), StreamError},
    };
    for (const Row& row : rows) {
        Image image;
        image.width = 5;
        image.pixels.assign(10, 1);
        EXPECT_EQ(decode(row.data, row.size, image, row.options), row.status)
            << row.what << ": " << status_name(decode(row.data, row.size, image, row.options));
        EXPECT_TRUE(image.pixels.empty() && image.width == 0) << row.what;
        EXPECT_STRNE(status_message(row.status), "unknown status");
    }
    limited.max_pixels = 241 * 161;
    Image image;
    EXPECT_EQ(decode(good.data(), good.size(), image, limited), 0);
    // The pixel limit counts the picture's pixels, whatever the scale.
    limited.max_pixels = 241 * 161 - 1, limited.scale = 8;
    EXPECT_EQ(decode(good.data(), good.size(), image, limited), OutOfMemory);
    // Options out of range, through read_info and C, with words naming the option (those
    // of a Decoder: StatusTable).
    marivue_jpeg_options c_options;
    marivue_jpeg_options_init(&c_options, sizeof c_options);
    for (const auto& [options, words] : {std::pair{sized(65536, 1), "the side limit (max_side) is not 1 to 65535"},
                                         std::pair{sized(8192, 3), "the scale is not 1, 2, 4 or 8"}}) {
        Info info;
        EXPECT_EQ(read_info(good.data(), good.size(), info, options), StreamError);
        c_options.max_side = options.max_side, c_options.scale = options.scale;
        int status = 1;
        marivue_jpeg_decoder* d = marivue_jpeg_decoder_open_memory(good.data(), good.size(), &c_options, &status);
        EXPECT_EQ(status, StreamError);
        EXPECT_STREQ(marivue_jpeg_decoder_message(d), words);
        marivue_jpeg_decoder_free(d);
        marivue_jpeg_image c;
        EXPECT_EQ(marivue_jpeg_decode_with_options(good.data(), good.size(), MARIVUE_JPEG_RGB, &c_options, &c),
                  StreamError);
        EXPECT_EQ(c.pixels, nullptr);
    }
    EXPECT_EQ(decode_file("/nonexistent/picture.jpg", image), StreamError);
    marivue_jpeg_image c;
    EXPECT_EQ(marivue_jpeg_decode(hostile.data(), hostile.size(), MARIVUE_JPEG_RGB, &c), OutOfMemory);
    EXPECT_EQ(c.pixels, nullptr);
    EXPECT_EQ(marivue_jpeg_decode(good.data(), good.size(), 9, &c), StreamError);
    EXPECT_EQ(marivue_jpeg_decode(good.data(), good.size(), MARIVUE_JPEG_RGB, nullptr), StreamError);
    EXPECT_EQ(marivue_jpeg_decode_file("/nonexistent/picture.jpg", MARIVUE_JPEG_RGB, &c), StreamError);
    EXPECT_STREQ(marivue_jpeg_status_name(OutOfMemory), "OutOfMemory");
    EXPECT_STREQ(status_message(-1000), "unknown status");
}

// decode with a second thread gives what it gives on one, at every size,
// also where the data ends early, is corrupt or breaks its restart markers:
// the same status, pixels and `complete`.
// What decode_rows hands its sink.
struct Collected {
    size_t row_bytes = 0;
    std::vector<uint8_t> pixels;
    int first_incomplete = -1;
    int status = 0;
};
void collect(void* to, const uint8_t* row, int y, bool complete) {
    Collected& c = *static_cast<Collected*>(to);
    EXPECT_EQ(c.pixels.size(), c.row_bytes * static_cast<size_t>(y));  // in order, none left out
    c.pixels.insert(c.pixels.end(), row, row + c.row_bytes);
    if (!complete && c.first_incomplete < 0) c.first_incomplete = y;
}

TEST(JpegApi, TwoThreadsGiveTheOneThreadResult) {
    const e2e::Picture colour = e2e::make_picture(643, 481, 3, 7), grey = e2e::make_picture(500, 377, 1, 8);
    e2e::EncodeOptions restarts, progressive, grey_options, cmyk, h4v1;
    restarts.restart_mcus = 7;
    progressive.progressive = true;
    h4v1.factors = {{4, 1}, {1, 1}, {1, 1}}, h4v1.progressive = true;
    grey_options.sampling = e2e::Sampling::Grey;
    grey_options.restart_rows = 2;
    cmyk.factors.assign(4, {1, 1});
    const struct {
        const char* name;
        std::vector<uint8_t> data;
    } pictures[] = {
        {"4:2:0 with restarts", e2e::encode(colour, restarts)},
        {"progressive", e2e::encode(colour, progressive)},
        {"grey", e2e::encode(grey, grey_options)},
        {"CMYK", e2e::encode(e2e::make_picture(331, 203, 4, 9), cmyk)},
        {"4:1:1 progressive", e2e::encode(e2e::make_picture(521, 347, 3, 8), h4v1)},
    };
    for (const auto& picture : pictures) {
        const auto& whole = picture.data;
        std::vector<uint8_t> cut(whole.begin(), whole.begin() + static_cast<long>(whole.size() * 11 / 20));
        std::vector<uint8_t> cut_late(whole.begin(), whole.end() - 40);
        std::vector<uint8_t> corrupt = whole, broken_marker = whole;
        for (size_t at = whole.size() / 2; at < whole.size() / 2 + 40; at += 13) corrupt[at] ^= 0x5A;
        for (size_t at = whole.size() / 3; at + 1 < whole.size(); at++)  // the first restart marker after a third
            if (broken_marker[at] == 0xFF && broken_marker[at + 1] >= 0xD0 && broken_marker[at + 1] <= 0xD7) {
                broken_marker[at + 1] ^= 0x03;
                break;
            }
        const std::pair<const char*, const std::vector<uint8_t>*> variants[] = {
            {"whole", &whole},
            {"cut", &cut},
            {"cut late", &cut_late},
            {"corrupt", &corrupt},
            {"restart marker out of order", &broken_marker}};
        for (const auto& [variant, data] : variants)
            for (PixelFormat format : {PixelFormat::rgb, PixelFormat::grey})
                for (int scale : {1, 2, 4, 8}) {
                    Options one, two;
                    one.format = two.format = format;
                    one.scale = two.scale = scale;
                    one.threads = 1;
                    two.threads = 2;
                    // `b` carries an earlier picture's bytes, more of them than
                    // this one needs, which must not show.
                    Image a, b;
                    b.pixels.assign(size_t{3} << 20, 0xAB);
                    const int status_one = decode(data->data(), data->size(), a, one);
                    const int status_two = decode(data->data(), data->size(), b, two);
                    const std::string what = std::string(picture.name) + ", " + variant + " at 1/" +
                                             std::to_string(scale) + ": " + status_name(status_one);
                    EXPECT_EQ(status_one, status_two) << what << " / " << status_name(status_two);
                    EXPECT_EQ(a.complete, b.complete) << what;
                    EXPECT_EQ(a.width, b.width) << what;
                    EXPECT_TRUE(a.pixels == b.pixels) << what;
                    // decode_rows on one thread and on two, from the first row
                    // and from the fourth (inside an MCU row): decode()'s rows,
                    // and the same row first flagged as past the data's end.
                    for (int already : {0, 3}) {
                        Collected by[2];
                        for (int t = 0; t < 2; t++) {
                            Decoder decoder(data->data(), data->size(), one);
                            by[t].row_bytes = static_cast<size_t>(decoder.info().output_width) *
                                              static_cast<size_t>(channels_of(format));
                            std::vector<uint8_t> row(by[t].row_bytes);
                            for (int y = 0; y < already && decoder.next_row(row, format) == 0; y++)
                                by[t].pixels.insert(by[t].pixels.end(), row.begin(), row.end());
                            by[t].status = decoder.decode_rows(collect, &by[t], t == 0 ? one : two);
                        }
                        EXPECT_EQ(by[0].status, by[1].status) << what << " from row " << already;
                        EXPECT_EQ(by[0].first_incomplete, by[1].first_incomplete) << what << " from row " << already;
                        if (status_one == 0) {
                            EXPECT_TRUE(by[1].pixels == a.pixels) << what << " from row " << already;
                        }
                    }
                }
    }
}

// A source that tells whether the decoder still holds it.
struct WatchedSource : MemoryByteSource {
    using MemoryByteSource::MemoryByteSource;
    int attached = 0;
    void attach() override { attached++; }
    void detach() override { attached--; }
};

TEST(JpegApi, DecoderOwnsItsPictureThroughMovesAndLetsGoMidPicture) {
    const auto data = fixture("prog_241x161.jpg");
    const auto expected = expected_pixels(stream(data), PixelFormat::bgra);
    std::vector<uint8_t> pixels, row(241 * 4);
    WatchedSource source(data.data(), data.size());
    {
        Decoder first(source);
        ASSERT_EQ(first.status(), 0);
        EXPECT_EQ(first.info().width, 241);
        EXPECT_EQ(first.next_row(std::span<uint8_t>(row.data(), row.size() - 1), PixelFormat::bgra), StreamError);
        for (int y = 0; y < 100; y++) {
            ASSERT_EQ(first.next_row(row, PixelFormat::bgra), 0);
            pixels.insert(pixels.end(), row.begin(), row.end());
        }
        Decoder second(std::move(first));
        EXPECT_EQ(first.next_row(row, PixelFormat::bgra), StreamError);
        Decoder third(data.data(), data.size());
        third = std::move(second);
        while (third.next_row(row, PixelFormat::bgra) == 0) pixels.insert(pixels.end(), row.begin(), row.end());
        EXPECT_EQ(third.next_row(row, PixelFormat::bgra), 1);
        EXPECT_EQ(source.attached, 1);
    }
    EXPECT_EQ(pixels, expected);
    EXPECT_EQ(source.attached, 0);
    WatchedSource again(data.data(), data.size());
    {
        Decoder abandoned(again);  // destroyed with its coefficient grids full
        ASSERT_EQ(abandoned.next_row(row, PixelFormat::rgb), 0);
        EXPECT_EQ(again.attached, 1);
    }
    EXPECT_EQ(again.attached, 0);
}

// A read function over a buffer: at most `chunk` bytes a call; -1 from
// byte `fail_at` on; or, `overfill`, one byte more than it was asked for.
struct Reader {
    const std::vector<uint8_t>* data = nullptr;
    size_t at = 0, chunk = 7, fail_at = SIZE_MAX;
    bool overfill = false;
    static long read(void* self, unsigned char* buffer, size_t max) {
        Reader& r = *static_cast<Reader*>(self);
        if (r.at >= r.fail_at) return -1;
        if (r.overfill) return static_cast<long>(max + 1);
        const size_t n = std::min({max, r.chunk, r.data->size() - r.at});
        std::copy_n(r.data->begin() + static_cast<long>(r.at), n, buffer);
        r.at += n;
        return static_cast<long>(n);
    }
};

// The C streaming decoder from memory and through a read function, in every
// format: the one-call decode's pixels, also where the data ends early;
// hostile streams and faulty read functions with their exact status and
// message, the options, and row buffers it cannot use.
TEST(JpegApi, CStreamingDecoderRowsStatusesAndMessages) {
    enum Source { memory, callback };
    struct Row {
        std::string what;
        std::vector<uint8_t> data;
        int status;  // at the end; 0: every row delivered
        int complete;
        const char* message;  // null: status_message(status)
        Reader reader;
        marivue_jpeg_options options;
    };
    marivue_jpeg_options defaults, limited, old_header, unset{};
    marivue_jpeg_options_init(&defaults, sizeof defaults);
    limited = defaults, limited.max_pixels = 241 * 161 - 1;
    // A program built when the options ended before max_pixels: its size
    // leaves the field out, which keeps its default whatever lies there.
    old_header = limited, old_header.size = offsetof(marivue_jpeg_options, max_pixels);
    // One built before max_side and scale: whatever lies there, 8192 and 1.
    marivue_jpeg_options before_scale = defaults;
    before_scale.max_side = 0, before_scale.scale = 3, before_scale.size = offsetof(marivue_jpeg_options, max_side);
    std::vector<Row> rows;
    for (const char* name : fixtures) rows.push_back({name, fixture(name), 0, 1, nullptr, {}, defaults});
    for (const char* name : {"base_truncated.jpg", "prog_truncated.jpg"})
        rows.push_back({name, fixture(name), 0, 0, nullptr, {}, defaults});
    const auto good = fixture("base_2x2_241x161.jpg");
    rows.push_back({"text", {'G', 'I', 'F', '8'}, NotJpeg, 1, nullptr, {}, defaults});
    const char* too_many = "the picture has more pixels than the pixel limit allows";
    rows.push_back({"above max_pixels", good, OutOfMemory, 1, too_many, {}, limited});
    rows.push_back({"max_pixels beyond an older header's size", good, 0, 1, nullptr, {}, old_header});
    rows.push_back({"max_side and scale beyond an older header's size", good, 0, 1, nullptr, {}, before_scale});
    rows.push_back({"options not set up", good, StreamError, 1, nullptr, {}, unset});
    Reader failing, overfilling;
    failing.fail_at = good.size() / 2, overfilling.overfill = true;
    rows.push_back({"read function failing halfway", good, StreamError, 1, nullptr, failing, defaults});
    rows.push_back({"read function returning more than asked", good, StreamError, 1, nullptr, overfilling, defaults});
    for (const Row& row : rows)
        for (Source source : {memory, callback})
            for (int format : c_formats) {
                const bool faulty_reader = row.reader.fail_at != SIZE_MAX || row.reader.overfill;
                if (source == memory && faulty_reader) continue;
                SCOPED_TRACE(row.what + (source == memory ? ", memory" : ", callback") + ", format " +
                             std::to_string(format));
                Reader reader = row.reader;
                reader.data = &row.data;
                int status = 1;
                marivue_jpeg_decoder* d =
                    source == memory
                        ? marivue_jpeg_decoder_open_memory(row.data.data(), row.data.size(), &row.options, &status)
                        : marivue_jpeg_decoder_open_callback(Reader::read, &reader, &row.options, &status);
                if (row.options.size == 0) {
                    EXPECT_EQ(d, nullptr);
                    EXPECT_EQ(status, StreamError);
                    continue;
                }
                ASSERT_NE(d, nullptr);
                marivue_jpeg_info info{};
                EXPECT_EQ(marivue_jpeg_decoder_info(d, &info), status);
                std::vector<uint8_t> pixels, line(static_cast<size_t>(info.width) * 4 + 1);
                const size_t line_size = static_cast<size_t>(info.width) * channels_of(formats[format]);
                int result = status;
                if (status == 0) {
                    EXPECT_EQ(marivue_jpeg_decoder_next_row(d, line.data(), line_size - 1, format), StreamError);
                    EXPECT_EQ(marivue_jpeg_decoder_next_row(d, line.data(), line.size(), 9), StreamError);
                    while ((result = marivue_jpeg_decoder_next_row(d, line.data(), line_size, format)) == 0)
                        pixels.insert(pixels.end(), line.begin(), line.begin() + static_cast<long>(line_size));
                }
                EXPECT_EQ(result, row.status == 0 ? 1 : row.status) << marivue_jpeg_status_name(result);
                EXPECT_EQ(marivue_jpeg_decoder_status(d), row.status);
                EXPECT_EQ(marivue_jpeg_decoder_complete(d), row.complete);
                EXPECT_STREQ(marivue_jpeg_decoder_message(d),
                             row.message != nullptr ? row.message : status_message(row.status));
                marivue_jpeg_decoder_free(d);
                if (row.status != 0) continue;
                ASSERT_EQ(pixels.size(), line_size * static_cast<size_t>(info.height));
                // EveryFormatAndScaleHoldsTheStreamedPixels... holds these to the record's rows, and
                // the oracle tests the record's rows to the reference library's.
                marivue_jpeg_image whole;
                ASSERT_EQ(marivue_jpeg_decode(row.data.data(), row.data.size(), format, &whole), 0);
                EXPECT_EQ(std::vector<uint8_t>(whole.pixels, whole.pixels + whole.size), pixels);
                marivue_jpeg_free(&whole);
            }
    EXPECT_EQ(marivue_jpeg_decoder_open_callback(nullptr, nullptr, nullptr, nullptr), nullptr);
    EXPECT_EQ(marivue_jpeg_decoder_status(nullptr), StreamError);
    EXPECT_EQ(marivue_jpeg_decoder_colour_space(nullptr), -1);
    EXPECT_EQ(marivue_jpeg_decoder_output_size(nullptr, nullptr, nullptr), StreamError);
    marivue_jpeg_decoder_free(nullptr);
}

// Reads at most 256 bytes a call and runs `stop` once, in the read that
// reaches `stop_at`: the decoder is then stopped at a place in the stream
// chosen by the test, not by timing. Counts attaches less detaches.
struct StoppingSource : MemoryByteSource {
    StoppingSource(const std::vector<uint8_t>& bytes, size_t at)
        : MemoryByteSource(bytes.data(), bytes.size()), stop_at(at) {}
    int32_t read(uint8_t* buffer, int32_t max, uint8_t* end_flag) override {
        const int32_t got = MemoryByteSource::read(buffer, std::min(max, 256), end_flag);
        if (got > 0 && (position += static_cast<size_t>(got)) >= stop_at && stop) std::exchange(stop, nullptr)();
        return got;
    }
    void attach() override { attached++; }
    void detach() override { attached--; }
    size_t stop_at, position = 0;
    int attached = 0;
    std::function<void()> stop;
};

// The C read function over the same source.
long read_stopping(void* source, unsigned char* buffer, size_t max) {
    uint8_t end = 0;
    const int32_t got =
        static_cast<StoppingSource*>(source)->read(buffer, static_cast<int32_t>(std::min<size_t>(max, 4096)), &end);
    return got;
}

// stop() ends a decode wherever it is: inside a progressive picture's scans
// (which the first row decodes), among a sequential picture's MCU rows, in
// the one-call decode's two-thread path, from C, and in the record the
// viewer drives. The exact status, no row after it, the source let go, and
// every later call Stopped too; the sanitizer build checks that nothing
// leaks. Stopped before the first row, or after the last, is the same.
TEST(JpegApi, StopEndsTheDecodeWhereverItIs) {
    e2e::EncodeOptions progressive, sequential;
    progressive.progressive = true;
    sequential.restart_rows = 3;
    const e2e::Picture picture = e2e::make_picture(643, 481, 3, 5);
    const std::vector<uint8_t> prog = e2e::encode(picture, progressive), seq = e2e::encode(picture, sequential);
    const auto scans = e2e::find_markers(prog, 0xDA, 0xDA);
    ASSERT_GE(scans.size(), 6u);
    enum How { rows, two_threads, c_rows, record };
    struct Row {
        const char* what;
        const std::vector<uint8_t>* data;
        size_t stop_at;
        How how;
        int rows_before;  // rows delivered before the stop: exactly, or -1 for some but not all
    } table[] = {
        {"inside the third progressive scan", &prog, scans[2].offset + 300, rows, 0},
        {"inside the last progressive scan", &prog, scans.back().offset + 100, rows, 0},
        {"among the sequential rows", &seq, seq.size() / 2, rows, -1},
        {"in the two-thread decode", &seq, seq.size() / 2, two_threads, 0},
        {"in the two-thread decode of a progressive picture", &prog, scans[3].offset + 50, two_threads, 0},
        {"from C inside the scans", &prog, scans[4].offset + 10, c_rows, 0},
        {"from C among the rows", &seq, seq.size() * 3 / 4, c_rows, -1},
        {"in the record inside the scans", &prog, scans[1].offset + 200, record, 0},
        {"in the record among the rows", &seq, seq.size() / 3, record, -1},
        {"before the first row", &seq, 1, rows, 0},
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.what);
        StoppingSource source(*row.data, row.stop_at);
        std::vector<uint8_t> line(643 * 4);
        int result = 0, delivered = 0;
        if (row.how == record) {
            std::atomic<bool> stop{false};
            auto d = std::make_unique<JpegDecoder>();
            d->stop_flag = &stop;
            source.stop = [&stop] { stop = true; };
            open_decoder(*d, source);
            ASSERT_EQ(d->status, 0);
            const uint8_t* pixels;
            int32_t bytes;
            if (begin(*d) == 0)
                while ((result = decode_row(*d, &pixels, &bytes)) == 0) delivered++;
            EXPECT_EQ(d->status, Stopped);
            EXPECT_EQ(decode_row(*d, &pixels, &bytes), -1);
            EXPECT_EQ(source.attached, 0);
            for (void* block : d->pool_blocks) EXPECT_EQ(block, nullptr);
            free_pool(*d);
        } else if (row.how == c_rows) {
            int status = 1;
            marivue_jpeg_decoder* d = marivue_jpeg_decoder_open_callback(read_stopping, &source, nullptr, &status);
            ASSERT_EQ(status, 0);
            source.stop = [d] { marivue_jpeg_decoder_stop(d); };
            while ((result = marivue_jpeg_decoder_next_row(d, line.data(), line.size(), MARIVUE_JPEG_RGB)) == 0)
                delivered++;
            EXPECT_EQ(result, Stopped);
            EXPECT_EQ(marivue_jpeg_decoder_next_row(d, line.data(), line.size(), MARIVUE_JPEG_RGB), Stopped);
            EXPECT_EQ(marivue_jpeg_decoder_status(d), Stopped);
            EXPECT_STREQ(marivue_jpeg_decoder_message(d), "the decoding was stopped on request");
            marivue_jpeg_decoder_stop(d);
            marivue_jpeg_decoder_free(d);
        } else {
            Decoder decoder(source);
            ASSERT_EQ(decoder.status(), 0);
            source.stop = [&decoder] { decoder.stop(); };
            if (row.stop_at == 1) decoder.stop();  // construction read past it already
            if (row.how == two_threads) {
                Image image;
                Options options;
                options.threads = 2;
                result = decoder.decode_image(image, options);
                EXPECT_TRUE(image.pixels.empty());
            } else {
                while ((result = decoder.next_row(line)) == 0) delivered++;
            }
            EXPECT_EQ(result, Stopped);
            EXPECT_EQ(decoder.status(), Stopped);
            EXPECT_EQ(decoder.next_row(line), Stopped);
            EXPECT_STREQ(decoder.message(), status_message(Stopped));
            EXPECT_EQ(source.attached, 0);  // its memory released before the Decoder goes
            decoder.stop();
        }
        if (row.stop_at > 1) {
            EXPECT_EQ(source.stop, nullptr);  // the stop came from the read
        }
        if (row.rows_before >= 0) {
            EXPECT_EQ(delivered, row.rows_before);
        } else {
            EXPECT_TRUE(delivered > 0 && delivered < 481) << delivered;
        }
        EXPECT_EQ(source.attached, 0);
    }
    // After the last row a stop changes nothing.
    Decoder whole(seq.data(), seq.size());
    std::vector<uint8_t> line(643 * 3);
    while (whole.next_row(line) == 0) {
    }
    whole.stop();
    EXPECT_EQ(whole.next_row(line), 1);
    EXPECT_EQ(whole.status(), 0);
}

TEST(JpegApi, VersionIsTheOneTheHeadersCarry) {
    const std::string headers = std::to_string(MARIVUE_JPEG_VERSION_MAJOR) + "." +
                                std::to_string(MARIVUE_JPEG_VERSION_MINOR) + "." +
                                std::to_string(MARIVUE_JPEG_VERSION_PATCH);
    EXPECT_EQ(version(), headers);
    EXPECT_STREQ(marivue_jpeg_version(), version());
}

}  // namespace
