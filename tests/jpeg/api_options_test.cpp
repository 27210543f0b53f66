// The options through every interface of the library: a raised side limit,
// the reduced sizes and every format, for the common layouts and those
// beyond them (four components among them), against the reference library
// and the record.
#include "marivue/jpeg.h"
#include "marivue/jpeg.hpp"

#include "tests/jpeg/api_helpers.h"
#include "tests/support/fixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

using namespace marivue::jpeg;
using namespace api_test;

namespace {

// Every entry, every format and every scale: the one-call decode, from a
// file, the C one-call decode and the C streaming decoder give the rows the
// record delivers at that size, in the caller's layout (grey from four
// components the luma of their red, green and blue). The record's rows are
// the reference library's (OracleExtended.OtherLayoutsAndFourComponents).
TEST(JpegApi, EveryFormatAndScaleHoldsTheStreamedPixelsThroughEveryEntry) {
    for (const char* name : fixtures) {
        const auto data = fixture(name);
        for (int shift = 0; shift <= 3; shift++) {
            const Streamed s = stream(data, shift);
            ASSERT_GT(s.height, 0) << name;
            for (int f = 0; f < 4; f++) {
                SCOPED_TRACE(std::string(name) + " at 1/" + std::to_string(1 << shift) + ", format " +
                             std::to_string(f));
                Options options;
                options.format = formats[f];
                options.scale = 1 << shift;
                Image image;
                ASSERT_EQ(decode(data.data(), data.size(), image, options), 0);
                EXPECT_EQ(image.width, s.width);
                EXPECT_EQ(image.height, s.height);
                EXPECT_EQ(image.channels, channels_of(formats[f]));
                EXPECT_TRUE(image.complete);
                if (formats[f] == PixelFormat::grey && s.bpp == 4 && !s.rgb) {
                    EXPECT_TRUE(is_reference_luma(image, data, shift));
                } else {
                    EXPECT_EQ(image.pixels, expected_pixels(s, formats[f]));
                }
                Image from_file;
                EXPECT_EQ(decode_file((rows_dir + "/" + name).c_str(), from_file, options), 0);
                EXPECT_EQ(from_file.pixels, image.pixels);
                marivue_jpeg_options c_options;
                marivue_jpeg_options_init(&c_options, sizeof c_options);
                c_options.scale = 1 << shift;
                marivue_jpeg_image c;
                ASSERT_EQ(shift == 0 ? marivue_jpeg_decode(data.data(), data.size(), c_formats[f], &c)
                                     : marivue_jpeg_decode_with_options(data.data(), data.size(), c_formats[f],
                                                                        &c_options, &c),
                          0);
                EXPECT_EQ(std::vector<uint8_t>(c.pixels, c.pixels + c.size), image.pixels);
                EXPECT_EQ(c.width * 1000 + c.height, s.width * 1000 + s.height);
                EXPECT_EQ(c.width * c.height * c.channels, static_cast<int>(c.size));
                EXPECT_EQ(c.complete, 1);
                marivue_jpeg_free(&c);
                EXPECT_EQ(c.pixels, nullptr);
                int status = 1, width = 0, height = 0;
                marivue_jpeg_decoder* d =
                    marivue_jpeg_decoder_open_memory(data.data(), data.size(), &c_options, &status);
                ASSERT_EQ(status, 0);
                EXPECT_EQ(marivue_jpeg_decoder_output_size(d, &width, &height), 0);
                EXPECT_EQ(width * 1000 + height, s.width * 1000 + s.height);
                std::vector<uint8_t> rows, line(image.pixels.size() / static_cast<size_t>(image.height));
                while (marivue_jpeg_decoder_next_row(d, line.data(), line.size(), c_formats[f]) == 0)
                    rows.insert(rows.end(), line.begin(), line.end());
                EXPECT_EQ(rows, image.pixels);
                marivue_jpeg_decoder_free(d);
            }
        }
    }
}

// A YCbCr picture of grey content has neutral chroma (128 exactly), so its
// red, green and blue are its luma samples unchanged: grey output must be
// its red channel, byte for byte, at every size, in every layout, on one
// thread and on two.
TEST(JpegApi, GreyFromYCbCrIsItsLumaAtEveryScale) {
    const e2e::Picture grey = e2e::make_picture(403, 215, 1, 6);
    e2e::Picture neutral{grey.width, grey.height, 3, {}};
    for (uint8_t v : grey.samples) neutral.samples.insert(neutral.samples.end(), {v, v, v});
    for (e2e::Sampling sampling : {e2e::Sampling::H2V2, e2e::Sampling::H2V1, e2e::Sampling::H1V2, e2e::Sampling::H1V1})
        for (bool progressive : {false, true}) {
            e2e::EncodeOptions o;
            o.sampling = sampling, o.progressive = progressive;
            const std::vector<uint8_t> jpeg = e2e::encode(neutral, o);
            for (int scale : {1, 2, 4, 8})
                for (int threads : {1, 2}) {
                    SCOPED_TRACE(std::string(e2e::sampling_name(sampling)) + (progressive ? " progressive" : "") +
                                 " at 1/" + std::to_string(scale) + " on " + std::to_string(threads));
                    Options options;
                    options.scale = scale, options.threads = threads;
                    Image rgb, luma;
                    ASSERT_EQ(decode(jpeg.data(), jpeg.size(), rgb, options), 0);
                    options.format = PixelFormat::grey;
                    ASSERT_EQ(decode(jpeg.data(), jpeg.size(), luma, options), 0);
                    ASSERT_EQ(luma.pixels.size() * 3, rgb.pixels.size());
                    size_t differing = 0;
                    for (size_t i = 0; i < luma.pixels.size(); i++)
                        differing += luma.pixels[i] != rgb.pixels[3 * i] || rgb.pixels[3 * i] != rgb.pixels[3 * i + 2];
                    EXPECT_EQ(differing, 0u);
                }
        }
}

// A panorama of 12000 x 4000 pixels: refused under the default side limit
// of 8192 and under 11999 (by read_info, decode, a Decoder and C); decoded
// with the limit raised, at full size as the reference library decodes it,
// and at 1/8 through C (which passes max_side and scale on to a Decoder) as
// its blocks' DC values.
TEST(JpegApi, APanoramaDecodesWithARaisedSideLimit) {
    e2e::EncodeOptions o;
    o.sampling = e2e::Sampling::Grey, o.quality = 50;
    const std::vector<uint8_t> jpeg = e2e::encode(e2e::make_picture(12000, 4000, 1, 9), o);
    Options raised, too_low;
    raised.max_side = 12000, raised.format = PixelFormat::grey;
    too_low.max_side = 11999;
    Info info;
    Image image;
    EXPECT_EQ(read_info(jpeg.data(), jpeg.size(), info), WidthOutOfRange);
    EXPECT_EQ(decode(jpeg.data(), jpeg.size(), image), WidthOutOfRange);
    Decoder refused(jpeg.data(), jpeg.size(), too_low);
    EXPECT_EQ(refused.status(), WidthOutOfRange);
    EXPECT_STREQ(refused.message(), "the picture's width, 12000, is above the side limit of 11999");
    int status = 1;
    marivue_jpeg_decoder* c = marivue_jpeg_decoder_open_memory(jpeg.data(), jpeg.size(), nullptr, &status);
    EXPECT_EQ(status, WidthOutOfRange);
    EXPECT_STREQ(marivue_jpeg_decoder_message(c), "the picture's width, 12000, is above the side limit of 8192");
    marivue_jpeg_decoder_free(c);

    ASSERT_EQ(decode(jpeg.data(), jpeg.size(), image, raised), 0);
    const e2e::OracleResult oracle = e2e::oracle_decode(jpeg);
    ASSERT_TRUE(oracle.ok);
    EXPECT_TRUE(e2e::matches_reference({image.width, image.height, 1, image.pixels}, oracle.picture, 0, 4000));

    const e2e::DcGrid dc = e2e::oracle_dc(jpeg);
    ASSERT_EQ(dc.dc.size(), 1500u * 500u);
    std::vector<uint8_t> want, rows, line(1500);
    for (int value : dc.dc) want.push_back(static_cast<uint8_t>(std::clamp(((value + 4) >> 3) + 128, 0, 255)));
    marivue_jpeg_options options;
    marivue_jpeg_options_init(&options, sizeof options);
    options.max_side = 12000, options.scale = 8;
    c = marivue_jpeg_decoder_open_memory(jpeg.data(), jpeg.size(), &options, &status);
    ASSERT_EQ(status, 0);
    int width = 0, height = 0;
    EXPECT_EQ(marivue_jpeg_decoder_output_size(c, &width, &height), 0);
    EXPECT_EQ(width * 100000 + height, 1500 * 100000 + 500);
    while (marivue_jpeg_decoder_next_row(c, line.data(), line.size(), MARIVUE_JPEG_GREY) == 0)
        rows.insert(rows.end(), line.begin(), line.end());
    EXPECT_TRUE(rows == want);
    marivue_jpeg_decoder_free(c);
}

}  // namespace
