// The options through every interface of the library: the reduced sizes
// and every format, for the common layouts and those
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
                if (formats[f] == PixelFormat::grey && s.channels == 3 && !s.rgb) {
                    EXPECT_TRUE(is_reference_luma(image, data, shift));
                } else {
                    EXPECT_EQ(image.pixels, expected_pixels(s, formats[f]));
                }
                // A file is read whole, so two threads split its scan where they can.
                Options two = options;
                two.threads = 2;
                Image from_file;
                EXPECT_EQ(decode_file((rows_dir + "/" + name).c_str(), from_file, two), 0);
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

}  // namespace
