// Helpers of the end-to-end decoder tests: synthetic pictures, encoding and
// decoding with the reference library, decoding with the Marivue decoder,
// and comparison.
#pragma once

#include "jpeg/decoder.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace e2e {

// Interleaved 8-bit samples, rows top to bottom: 3 channels (RGB) or 1 (grey).
struct Picture {
    int width = 0, height = 0, channels = 0;
    std::vector<uint8_t> samples;
};

// A deterministic picture: gradients, noise from `seed`, hard edges and
// saturated patches that drive the colour conversion into its clamps.
Picture make_picture(int width, int height, int channels, uint32_t seed);

enum class Sampling { Grey, H1V1, H2V1, H1V2, H2V2 };
const char* sampling_name(Sampling sampling);

// One scan of a progressive script: component indices (frame order),
// spectral range and successive-approximation bits.
struct Scan {
    std::vector<int> components;
    int ss, se, ah, al;
};

struct EncodeOptions {
    Sampling sampling = Sampling::H2V2;
    int quality = 85;
    bool force_baseline = true;  // false lets tables hold 16-bit values (SOF1)
    bool optimize_huffman = false;
    int restart_rows = 0;  // restart interval in MCU rows
    int restart_mcus = 0;  // restart interval in MCUs (used when restart_rows is 0)
    bool progressive = false;  // the reference library's default script
    std::vector<Scan> script;  // a custom progressive script, when not empty
    bool extra_segments = false;  // APP1, APP2 (one larger than the input buffer) and COM
    int grey_factor = 1;  // declared sampling factors of a grey frame (1 or 2)
    // Sampling factors (H, V) of every component, in place of `sampling`;
    // also for pictures of 2 or 4 channels (4 coded as CMYK).
    std::vector<std::pair<int, int>> factors;
    // RGB coded without colour transform (component ids 'R', 'G', 'B'),
    // marked by an Adobe segment with transform 0, or by the ids alone.
    enum class Rgb { No, Adobe, IdsOnly } rgb = Rgb::No;
    // How 4 channels (C, M, Y, K as Adobe stores them) are coded: CMYK (the
    // library's default, with an Adobe segment of transform 0), YCCK
    // (transform 2), or CMYK without an Adobe segment.
    enum class Four { Cmyk, Ycck, CmykWithoutAdobe } four = Four::Cmyk;
};

// Encodes with the reference library. Throws std::runtime_error on failure.
std::vector<uint8_t> encode(const Picture& picture, const EncodeOptions& options);

// Decodes with the reference library (islow inverse DCT, no fancy
// upsampling); `ok` false when it refused the stream. A stream that ends
// early is decoded the library's way (missing data as zero), with warnings.
// Four components come out as CMYK, inverted as stored (YCCK converted);
// with `luma`, three components as their luma plane.
struct OracleResult {
    bool ok = false, progressive = false;
    std::string message;
    int warnings = 0, components = 0;
    Picture picture;
};
OracleResult oracle_decode(const std::vector<uint8_t>& jpeg, bool luma = false);
// The red, green and blue the decoder documents for CMYK as stored (the
// reference's four-component output): each of C, M and Y times K, over 255,
// rounded.
Picture cmyk_to_rgb(const Picture& cmyk);

// Decodes with the Marivue decoder through its public operations only.
struct MarivueResult {
    int32_t open_status = 0;  // status after open_decoder
    int32_t begin_result = 0;  // result of begin (0 or -1); 0 when not run
    int32_t final_status = 0;  // status at the end
    int32_t stop_result = 0;  // the decode_row result that ended the rows: 1, -1 or -227
    int32_t result_after_stop = 0;  // the result of one further call after that
    int bytes_per_pixel = 0, components = 0;
    int rows = 0;  // rows delivered
    bool row_length_ok = true;  // every row reported image_width x bytes_per_pixel bytes
    bool fourth_bytes_zero = true;
    bool is_rgb = false;  // the decoder's colour decision after open_decoder
    int colour_coding = -1;  // its ColourCoding
    bool data_incomplete = false;  // at the end
    int incomplete_from_row = -1;  // rows delivered before the call after which data_incomplete was first 1
    Picture picture;  // the delivered rows, fourth byte dropped
};
// With `settings` set in the record before open_decoder; the picture is
// the delivered one (output_width x output_height).
MarivueResult marivue_decode(marivue::jpeg::ByteSource& source, const marivue::jpeg::DecodeSettings& settings = {});
MarivueResult marivue_decode(const std::vector<uint8_t>& jpeg, const marivue::jpeg::DecodeSettings& settings = {});

// The first component's DC coefficients as the reference library reads them
// (without decoding any pixel), dequantised: blocks_wide x blocks_high values,
// row by row, over the blocks the component's samples cover.
struct DcGrid {
    int blocks_wide = 0, blocks_high = 0;
    std::vector<int> dc;
};
DcGrid oracle_dc(const std::vector<uint8_t>& jpeg);

// Tolerance against the reference. The inverse DCT passes run in the other
// order (rows first) with the same constants and rounding, so a sample of a
// block with AC coefficients can be one step off in grey; in colour a luma
// and a chroma step (scaled by up to 1.772) add up to 3. Blocks without AC
// coefficients decode exactly alike. The share of differing samples is
// bounded too, for pictures large enough for a share to mean something.
constexpr int max_grey_difference = 1;
constexpr int max_colour_difference = 3;
constexpr double max_grey_differing_fraction = 0.035;
constexpr double max_colour_differing_fraction = 0.06;
constexpr uint64_t min_samples_for_fraction = 4096;

// Succeeds when rows [first_row, first_row + row_count) of a decoded picture
// are within the tolerance of the reference.
testing::AssertionResult matches_reference(const Picture& decoded, const Picture& reference, int first_row,
                                           int row_count);
// The same with a tolerance of the caller's: the largest difference of one
// sample, and the share of samples that may differ at all.
testing::AssertionResult matches_within(const Picture& decoded, const Picture& reference, int max_abs,
                                        double max_fraction);

// The mean of every 2^shift square of a decoded picture, rounded; the
// squares the picture's right or bottom edge cuts are left out (false in
// `whole`): a reduced sample there stands for a whole block, part of which
// the encoder filled in beyond the edge.
Picture box_filtered(const Picture& p, int shift, std::vector<bool>& whole);
// The largest and the mean difference of two pictures' samples where
// `whole` is true (1000 for both when their sizes differ).
struct Difference {
    int max = 0;
    double mean = 0;
};
Difference difference(const Picture& a, const Picture& b, const std::vector<bool>& whole);

// The markers of a stream with codes low..high, and the end of a segment.
struct MarkerPosition {
    size_t offset;  // of the 0xFF
    uint8_t code;
};
std::vector<MarkerPosition> find_markers(const std::vector<uint8_t>& jpeg, uint8_t low = 0x01, uint8_t high = 0xFE);
size_t segment_end(const std::vector<uint8_t>& jpeg, const MarkerPosition& m);

// The first `length` bytes of a stream; a stream with an end-of-image
// marker appended.
std::vector<uint8_t> cut(const std::vector<uint8_t>& jpeg, size_t length);
std::vector<uint8_t> with_eoi(std::vector<uint8_t> jpeg);

// What the library's Decoder gives at 1/scale of the size: its status,
// whether the data was whole, and the rows (RGB, or grey).
struct Decoded {
    int status = 0;
    bool complete = true;
    std::vector<uint8_t> pixels;
    size_t row_bytes = 0;
};
Decoded library_decode(const std::vector<uint8_t>& jpeg, int scale = 1);

// A fresh temporary directory; whole files.
std::string make_temp_dir();
void write_file(const std::string& path, const std::vector<uint8_t>& bytes);
std::vector<uint8_t> read_file(const std::string& path);

}  // namespace e2e
