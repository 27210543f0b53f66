// End-to-end decoding of sequential (baseline and extended) streams, compared
// with the reference library row by row.

#include "tests/support/fixtures.h"

#include "jpeg/byte_sources.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using e2e::EncodeOptions;
using e2e::Sampling;

struct SequentialCase {
    std::string name;
    int width;
    int height;
    EncodeOptions options;
};

// Names the case in test output instead of dumping its bytes.
void PrintTo(const SequentialCase& c, std::ostream* os) { *os << c.name; }

int channels_of(Sampling s) { return s == Sampling::Grey ? 1 : 3; }

bool has_marker(const std::vector<uint8_t>& jpeg, uint8_t code) {
    for (const e2e::MarkerPosition& m : e2e::find_markers(jpeg)) {
        if (m.code == code) {
            return true;
        }
    }
    return false;
}

// Checks that a fixture really has the property its case is named for, so
// that a change in the encoder cannot quietly turn a case into another.
void check_fixture(const SequentialCase& c, const std::vector<uint8_t>& jpeg) {
    const bool extended = !c.options.force_baseline && c.options.quality <= 10;
    EXPECT_TRUE(has_marker(jpeg, extended ? 0xC1 : 0xC0)) << "frame type of " << c.name;
    if (c.options.restart_rows > 0 || c.options.restart_mcus > 0) {
        EXPECT_TRUE(has_marker(jpeg, 0xDD)) << "no restart interval in " << c.name;
    }
    if (c.options.extra_segments) {
        EXPECT_TRUE(has_marker(jpeg, 0xE1) && has_marker(jpeg, 0xE2) && has_marker(jpeg, 0xFE))
            << "segments missing in " << c.name;
    }
}

class SequentialDecode : public testing::TestWithParam<SequentialCase> {};

TEST_P(SequentialDecode, MatchesReference) {
    const SequentialCase& c = GetParam();
    const int channels = channels_of(c.options.sampling);
    const e2e::Picture picture =
        e2e::make_picture(c.width, c.height, channels, static_cast<uint32_t>(c.width * 31 + c.height));
    const std::vector<uint8_t> jpeg = e2e::encode(picture, c.options);
    check_fixture(c, jpeg);

    const e2e::OracleResult oracle = e2e::oracle_decode(jpeg);
    ASSERT_TRUE(oracle.ok) << oracle.message;
    ASSERT_EQ(oracle.warnings, 0);

    const e2e::MarivueResult result = e2e::marivue_decode(jpeg);
    ASSERT_EQ(result.open_status, StatusOk);
    ASSERT_EQ(result.begin_result, 0) << "status " << result.final_status;
    EXPECT_EQ(result.components, channels);
    EXPECT_EQ(result.bytes_per_pixel, channels == 1 ? 1 : 4);
    ASSERT_EQ(result.rows, c.height) << "status " << result.final_status;
    EXPECT_EQ(result.stop_result, 1);
    EXPECT_EQ(result.result_after_stop, 1);
    EXPECT_EQ(result.final_status, StatusOk);
    EXPECT_TRUE(result.row_length_ok);
    EXPECT_TRUE(result.fourth_bytes_zero);

    EXPECT_TRUE(e2e::matches_reference(result.picture, oracle.picture, 0, c.height));
}

EncodeOptions options(Sampling s, int quality, bool baseline, bool optimize, int restart_rows,
                      int restart_mcus, bool segments) {
    EncodeOptions o;
    o.sampling = s;
    o.quality = quality;
    o.force_baseline = baseline;
    o.optimize_huffman = optimize;
    o.restart_rows = restart_rows;
    o.restart_mcus = restart_mcus;
    o.extra_segments = segments;
    return o;
}

struct Variant {
    const char* name;
    int quality;
    bool baseline;
    bool optimize;
    int restart_rows;
    int restart_mcus;
    bool segments;
};

// Baseline tables; very low quality without forcing baseline (16-bit
// quantisation tables, hence an extended sequential frame) with optimised
// Huffman tables; restart intervals of one MCU row and of three MCUs;
// application and comment segments, one longer than the input buffer.
const Variant variants[] = {
    {"Baseline", 85, true, false, 0, 0, false},
    {"Extended5", 5, false, true, 0, 0, false},
    {"Extended10", 10, false, false, 0, 0, false},
    {"RestartRow", 75, true, false, 1, 0, false},
    {"Restart3", 92, true, true, 0, 3, false},
    {"Segments", 60, true, false, 0, 0, true},
};

const Sampling samplings[] = {Sampling::Grey, Sampling::H1V1, Sampling::H2V1, Sampling::H1V2,
                              Sampling::H2V2};

std::vector<SequentialCase> all_cases() {
    std::vector<SequentialCase> cases;
    auto add = [&](int w, int h, Sampling s, const Variant& v) {
        cases.push_back({std::string(e2e::sampling_name(s)) + "_" + std::to_string(w) + "x" +
                             std::to_string(h) + "_" + v.name,
                         w, h,
                         options(s, v.quality, v.baseline, v.optimize, v.restart_rows,
                                 v.restart_mcus, v.segments)});
    };
    const int small_sizes[][2] = {{1, 1}, {7, 3}, {17, 9}, {241, 161}};
    for (const auto& size : small_sizes) {
        for (Sampling s : samplings) {
            for (const Variant& v : variants) {
                add(size[0], size[1], s, v);
            }
        }
    }
    for (Sampling s : samplings) {
        add(640, 480, s, variants[0]);
        add(640, 480, s, variants[3]);
    }
    add(640, 480, Sampling::H2V2, variants[1]);
    // Larger than the rest; and the widest frame accepted, whose MCU row of
    // 1024 MCUs with four blocks each is the largest that can occur.
    add(1283, 967, Sampling::H2V2, variants[4]);
    add(1283, 967, Sampling::Grey, variants[1]);
    add(8192, 16, Sampling::H1V2, variants[0]);
    add(8192, 9, Sampling::Grey, variants[3]);
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Corpus, SequentialDecode, testing::ValuesIn(all_cases()),
                         [](const testing::TestParamInfo<SequentialCase>& info) {
                             return info.param.name;
                         });

// A grey frame may declare sampling factors of 2 x 2: its one component still
// has one block per MCU.
TEST(SequentialDecodeGrey, DeclaredFactorsTwoByTwo) {
    const e2e::Picture picture = e2e::make_picture(37, 21, 1, 5);
    EncodeOptions o;
    o.sampling = Sampling::Grey;
    o.grey_factor = 2;
    const std::vector<uint8_t> jpeg = e2e::encode(picture, o);
    const e2e::OracleResult oracle = e2e::oracle_decode(jpeg);
    ASSERT_TRUE(oracle.ok) << oracle.message;
    const e2e::MarivueResult result = e2e::marivue_decode(jpeg);
    ASSERT_EQ(result.rows, 21) << "status " << result.final_status;
    EXPECT_TRUE(e2e::matches_reference(result.picture, oracle.picture, 0, 21));
}

// However the source cuts the stream into reads, and whether it flags the end
// with its last bytes or in a later empty read, the picture is the same.
TEST(SequentialDecodeInput, IndependentOfReadSizes) {
    struct Shape {
        int w, h;
        Sampling s;
        int restart_rows;
    };
    const Shape shapes[] = {{241, 161, Sampling::H2V2, 0}, {97, 45, Sampling::H1V2, 1},
                            {65, 33, Sampling::Grey, 0}};
    for (const Shape& shape : shapes) {
        const e2e::Picture picture = e2e::make_picture(shape.w, shape.h, channels_of(shape.s), 9);
        EncodeOptions o;
        o.sampling = shape.s;
        o.restart_rows = shape.restart_rows;
        o.extra_segments = true;
        const std::vector<uint8_t> jpeg = e2e::encode(picture, o);
        const e2e::MarivueResult whole = e2e::marivue_decode(jpeg);
        ASSERT_EQ(whole.rows, shape.h);
        for (int32_t chunk : {1, 2, 3, 255, 4095, 4096, 4097}) {
            e2e::ChunkedSource source(jpeg, chunk);
            const e2e::MarivueResult r = e2e::marivue_decode(source);
            EXPECT_EQ(r.rows, shape.h) << "chunk " << chunk;
            EXPECT_EQ(r.final_status, StatusOk) << "chunk " << chunk;
            EXPECT_TRUE(r.picture.samples == whole.picture.samples) << "chunk " << chunk;
            EXPECT_EQ(source.attach_calls, 1);
            EXPECT_EQ(source.detach_calls, 1);
        }
    }
}

// The reference library pads a stream with fill bytes nowhere; a stream with
// 0xFF fill bytes before markers must decode the same.
TEST(SequentialDecodeInput, FillBytesBeforeMarkers) {
    const e2e::Picture picture = e2e::make_picture(40, 24, 3, 3);
    EncodeOptions o;
    o.sampling = Sampling::H2V2;
    o.restart_mcus = 2;
    const std::vector<uint8_t> jpeg = e2e::encode(picture, o);
    std::vector<uint8_t> padded;
    size_t next = 0;
    for (const e2e::MarkerPosition& m : e2e::find_markers(jpeg)) {
        if (m.code == 0xD8) {
            continue;
        }
        padded.insert(padded.end(), jpeg.begin() + static_cast<std::ptrdiff_t>(next),
                      jpeg.begin() + static_cast<std::ptrdiff_t>(m.offset));
        padded.push_back(0xFF);
        padded.push_back(0xFF);
        next = m.offset;
    }
    padded.insert(padded.end(), jpeg.begin() + static_cast<std::ptrdiff_t>(next), jpeg.end());
    ASSERT_GT(padded.size(), jpeg.size());
    const e2e::OracleResult oracle = e2e::oracle_decode(padded);
    ASSERT_TRUE(oracle.ok) << oracle.message;
    const e2e::MarivueResult plain = e2e::marivue_decode(jpeg);
    const e2e::MarivueResult result = e2e::marivue_decode(padded);
    ASSERT_EQ(result.rows, 24) << "status " << result.final_status;
    EXPECT_TRUE(result.picture.samples == plain.picture.samples);
}

// Blocks with a DC coefficient only: both inverse DCTs give exactly the
// same samples, and the colour tables are the same, so the pictures must be
// identical, in every scheme and in the partial MCUs at the edges.
TEST(SequentialDecodeExact, FlatTiles) {
    for (Sampling s : samplings) {
        for (int quality : {50, 100}) {
            const int channels = channels_of(s);
            const e2e::Picture picture = e2e::make_flat_tiles(83, 45, channels, 16, 3);
            EncodeOptions o;
            o.sampling = s;
            o.quality = quality;
            const std::vector<uint8_t> jpeg = e2e::encode(picture, o);
            const e2e::OracleResult oracle = e2e::oracle_decode(jpeg);
            ASSERT_TRUE(oracle.ok) << oracle.message;
            const e2e::MarivueResult r = e2e::marivue_decode(jpeg);
            ASSERT_EQ(r.rows, 45) << e2e::sampling_name(s) << ": status " << r.final_status;
            const e2e::SampleDiff diff = e2e::compare_rows(r.picture, oracle.picture, 0, 45);
            EXPECT_EQ(diff.differing, 0u) << e2e::sampling_name(s) << " quality " << quality
                                          << ": max difference " << diff.max_abs;
        }
    }
}

// Layouts the decoder does not deliver are refused with a named status,
// although they are valid streams that the reference library decodes.
TEST(SequentialDecodeRefused, UnsupportedLayouts) {
    const e2e::Picture rgb = e2e::make_picture(40, 24, 3, 12);
    auto with_channels = [&](int channels) {
        e2e::Picture p = rgb;
        p.channels = channels;
        p.samples.clear();
        for (size_t i = 0; i < rgb.samples.size(); i += 3) {
            for (int c = 0; c < channels; ++c) {
                p.samples.push_back(rgb.samples[i + c % 3] ^ static_cast<uint8_t>(c * 40));
            }
        }
        return p;
    };
    struct Case {
        const char* name;
        e2e::Picture picture;
        std::vector<std::pair<int, int>> factors;
        bool arithmetic;
        int32_t open_status;
        int32_t begin_status;
    };
    const Case cases[] = {
        {"luma 4x1", rgb, {{4, 1}, {1, 1}, {1, 1}}, false, StatusOk, UnsupportedSampling},
        {"luma 1x4", rgb, {{1, 4}, {1, 1}, {1, 1}}, false, StatusOk, UnsupportedSampling},
        {"chroma 2x1", rgb, {{2, 2}, {2, 1}, {1, 1}}, false, StatusOk, UnsupportedSampling},
        {"luma 3x1", rgb, {{3, 1}, {1, 1}, {1, 1}}, false, StatusOk, UnsupportedSampling},
        {"four components", with_channels(4), {{1, 1}, {1, 1}, {1, 1}, {1, 1}}, false, StatusOk,
         UnsupportedComponents},
        {"two components", with_channels(2), {{1, 1}, {1, 1}}, false, StatusOk,
         UnsupportedComponents},
        {"arithmetic coding", rgb, {{2, 2}, {1, 1}, {1, 1}}, true, ArithmeticNotSupported, 0},
    };
    for (const Case& c : cases) {
        EncodeOptions o;
        o.factors = c.factors;
        o.arithmetic = c.arithmetic;
        const std::vector<uint8_t> jpeg = e2e::encode(c.picture, o);
        ASSERT_TRUE(e2e::oracle_decode(jpeg).ok) << c.name;
        const e2e::MarivueResult r = e2e::marivue_decode(jpeg);
        EXPECT_EQ(r.open_status, c.open_status) << c.name;
        if (c.open_status == StatusOk) {
            EXPECT_EQ(r.components, c.picture.channels) << c.name;
            EXPECT_EQ(r.begin_result, -1) << c.name;
            EXPECT_EQ(r.final_status, c.begin_status) << c.name;
        }
        EXPECT_EQ(r.rows, 0) << c.name;
    }
}

}  // namespace
