// Helpers of the end-to-end decoder tests: synthetic pictures, encoding with
// the reference library, decoding with both the reference library and the
// Marivue decoder, and sample-by-sample comparison.
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
    int width = 0;
    int height = 0;
    int channels = 0;
    std::vector<uint8_t> samples;
};

// A deterministic picture with texture: gradients, noise from `seed`, hard
// edges (stripes, a diagonal, a disc) and saturated patches that drive the
// colour conversion into its clamps.
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
    bool force_baseline = true;      // false lets tables hold 16-bit values (SOF1)
    bool optimize_huffman = false;
    int restart_rows = 0;            // restart interval in MCU rows
    int restart_mcus = 0;            // restart interval in MCUs (used when restart_rows is 0)
    bool progressive = false;        // the reference library's default script
    std::vector<Scan> script;        // a custom progressive script, when not empty
    bool extra_segments = false;     // APP1, APP2 (one larger than the input buffer) and COM
    int grey_factor = 1;             // declared sampling factors of a grey frame (1 or 2)
    // Sampling factors (H, V) of every component, in place of `sampling`;
    // also for pictures of 2 or 4 channels, which the reference library
    // codes as they are (4 as CMYK).
    std::vector<std::pair<int, int>> factors;
    bool arithmetic = false;         // arithmetic instead of Huffman coding
};

// A picture of flat tiles of `tile` x `tile` pixels in colours drawn from
// `seed`: with tiles aligned to the MCU grid every block, chroma included,
// has a DC coefficient only.
Picture make_flat_tiles(int width, int height, int channels, int tile, uint32_t seed);

// Encodes with the reference library. Throws std::runtime_error on failure.
std::vector<uint8_t> encode(const Picture& picture, const EncodeOptions& options);

// Decodes with the reference library: islow inverse DCT, no fancy
// upsampling, RGB for colour and grey for grey. `ok` false when the library
// refused the stream; a stream that merely ends early is decoded the way
// the library does (missing data taken as zero) and counts its warnings.
struct OracleResult {
    bool ok = false;
    std::string message;
    int warnings = 0;
    bool progressive = false;
    int components = 0;
    Picture picture;
};
OracleResult oracle_decode(const std::vector<uint8_t>& jpeg);

// Decodes with the Marivue decoder through its public operations only.
struct MarivueResult {
    int32_t open_status = 0;     // status after open_decoder
    int32_t begin_result = 0;    // result of begin (0 or -1); 0 when not run
    int32_t final_status = 0;    // status at the end
    int32_t stop_result = 0;     // the decode_row result that ended the rows: 1, -1 or -227
    int32_t result_after_stop = 0;  // the result of one further call after that
    int bytes_per_pixel = 0;
    int components = 0;
    int rows = 0;                // rows delivered
    bool row_length_ok = true;   // every row reported image_width x bytes_per_pixel bytes
    bool fourth_bytes_zero = true;
    Picture picture;             // the delivered rows, fourth byte dropped
};
MarivueResult marivue_decode(ByteSource& source);
MarivueResult marivue_decode(const std::vector<uint8_t>& jpeg);

// A source that hands out at most `chunk` bytes per call and reports the end
// only in a separate call that returns 0.
class ChunkedSource : public ByteSource {
public:
    ChunkedSource(const std::vector<uint8_t>& data, int32_t chunk) : data_(data), chunk_(chunk) {}
    int32_t read(uint8_t* buffer, int32_t max, uint8_t* end_flag) override;
    void attach() override { ++attach_calls; }
    void detach() override { ++detach_calls; }
    int attach_calls = 0;
    int detach_calls = 0;

private:
    const std::vector<uint8_t>& data_;
    int32_t chunk_;
    size_t position_ = 0;
};

struct SampleDiff {
    int max_abs = 0;
    uint64_t differing = 0;
    uint64_t total = 0;
    double fraction() const { return total ? static_cast<double>(differing) / total : 0.0; }
};

// Compares rows [first_row, first_row + row_count) of two pictures of the
// same width and channel count.
SampleDiff compare_rows(const Picture& a, const Picture& b, int first_row, int row_count);

// Tolerance of the decoder against the reference. The inverse DCT passes run
// in the opposite order (rows first rather than columns first) with the same
// constants and the same intermediate rounding, so a sample of a block with
// AC coefficients can come out one step off: grey samples differ by at most
// 1. In colour a luma step and a chroma step add up, the chroma one scaled
// by the conversion factors (up to 1.772 for blue): a colour sample may
// differ by up to 3. (The red factor, one unit in 65536 above the
// reference's, changes none of the 256 table entries; blocks without AC
// coefficients therefore decode exactly alike, which FlatTiles tests check.)
// Differences are rare, so the share of differing samples is bounded too,
// for pictures large enough for a share to mean something.
constexpr int max_grey_difference = 1;
constexpr int max_colour_difference = 3;
constexpr double max_grey_differing_fraction = 0.035;
constexpr double max_colour_differing_fraction = 0.06;
constexpr uint64_t min_samples_for_fraction = 4096;

// Compares rows [first_row, first_row + row_count) of a decoded picture with
// the reference, adds the comparison to the totals printed at the end of the
// test program, and succeeds when the difference is within the tolerance.
testing::AssertionResult matches_reference(const Picture& decoded, const Picture& reference,
                                           int first_row, int row_count);

// Positions in a stream.
struct MarkerPosition {
    size_t offset;   // of the 0xFF
    uint8_t code;
};
std::vector<MarkerPosition> find_markers(const std::vector<uint8_t>& jpeg);

// Creates a fresh temporary directory; removed with remove_tree.
std::string make_temp_dir();
void remove_tree(const std::string& path);
void write_file(const std::string& path, const std::vector<uint8_t>& bytes);
std::vector<uint8_t> read_file(const std::string& path);
bool file_exists(const std::string& path);

}  // namespace e2e
