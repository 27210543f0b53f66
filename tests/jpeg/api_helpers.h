// What the tests of the library's interfaces share: the committed row
// fixtures, the record's rows to compare the interfaces with, and the rules
// of each pixel format.
#pragma once

#include "marivue/jpeg.h"
#include "marivue/jpeg.hpp"

#include "tests/support/fixtures.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace api_test {

using namespace marivue::jpeg;

inline const std::string rows_dir = MARIVUE_ROW_FIXTURES;
inline std::vector<uint8_t> fixture(const std::string& name) { return e2e::read_file(rows_dir + "/" + name); }

// The streaming decoder's rows (red, green and blue, or grey) at 1 / 2^shift
// of the size, with the layouts the library decodes.
struct Streamed {
    int width = 0, height = 0, channels = 0;  // the delivered size
    bool rgb = false, incomplete = false;
    std::vector<uint8_t> rows;
};
inline Streamed stream(const std::vector<uint8_t>& data, int shift = 0) {
    DecodeSettings settings;
    settings.scale_shift = shift, settings.extended_layouts = 1;
    const e2e::MarivueResult r = e2e::marivue_decode(data, settings);
    return {r.picture.width,   r.rows,           r.picture.channels, r.colour_coding != CodingYCbCr,
            r.data_incomplete, r.picture.samples};
}

// What each format must hold, per the documented rules, from streamed rows.
inline std::vector<uint8_t> expected_pixels(const Streamed& s, PixelFormat format) {
    std::vector<uint8_t> out;
    for (size_t i = 0; i < s.rows.size(); i += static_cast<size_t>(s.channels)) {
        const uint8_t* p = &s.rows[i];
        const uint8_t r = p[0], g = s.channels == 3 ? p[1] : p[0], b = s.channels == 3 ? p[2] : p[0];
        if (format == PixelFormat::grey)
            out.push_back(s.channels == 1 ? r : static_cast<uint8_t>((77 * r + 150 * g + 29 * b + 128) >> 8));
        else if (format == PixelFormat::bgra)
            out.insert(out.end(), {b, g, r, 255});
        else if (format == PixelFormat::rgba)
            out.insert(out.end(), {r, g, b, 255});
        else
            out.insert(out.end(), {r, g, b});
    }
    return out;
}

// The common layouts, and those beyond them (four components, other
// samplings) from the extended fixtures beside these.
inline const char* const fixtures[] = {"grey_241x161.jpg",
                                       "base_2x2_241x161.jpg",
                                       "base_2x1_17x9.jpg",
                                       "base_1x2_7x3.jpg",
                                       "base_1x1_64x48.jpg",
                                       "prog_241x161.jpg",
                                       "prog_grey_17x9.jpg",
                                       "rgb_2x2_241x161.jpg",
                                       "restart_3.jpg",
                                       "../extended/cmyk_45x29.jpg",
                                       "../extended/cmyk_no_adobe_33x9.jpg",
                                       "../extended/ycck_2x2_51x37.jpg",
                                       "../extended/ycck_prog_41x23.jpg",
                                       "../extended/sample_4x1_97x37.jpg",
                                       "../extended/prog_4x2_97x37.jpg"};
inline const marivue::jpeg::PixelFormat formats[] = {PixelFormat::rgb, PixelFormat::rgba, PixelFormat::bgra,
                                                     PixelFormat::grey};
inline const int c_formats[] = {MARIVUE_JPEG_RGB, MARIVUE_JPEG_RGBA, MARIVUE_JPEG_BGRA, MARIVUE_JPEG_GREY};

// Grey from a YCbCr picture is its luma samples, not luma of rounded RGB:
// at full size the reference library's luma plane; at a reduced size, that
// plane box-filtered, which the reduced transform comes close to (measured
// on these noisy fixtures: at most 31, and 4.4 on average; exact at 1/8).
// GreyFromYCbCrIsItsLumaAtEveryScale checks the reduced sizes exactly.
inline testing::AssertionResult is_reference_luma(const Image& image, const std::vector<uint8_t>& data, int shift) {
    const e2e::Picture grey{image.width, image.height, 1, image.pixels};
    if (shift == 0) return e2e::matches_reference(grey, e2e::oracle_decode(data, true).picture, 0, image.height);
    std::vector<bool> whole;
    const e2e::Difference d =
        e2e::difference(grey, e2e::box_filtered(e2e::oracle_decode(data, true).picture, shift, whole), whole);
    if (d.max <= (shift == 3 ? 1 : 32) && d.mean <= 4.5) return testing::AssertionSuccess();
    return testing::AssertionFailure() << "differs from the reference luma box-filtered by " << d.max << " at most, "
                                       << d.mean << " on average";
}

}  // namespace api_test
