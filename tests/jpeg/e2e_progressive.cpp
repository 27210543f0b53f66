// End-to-end decoding of progressive streams: the reference library's default
// script, custom scripts with spectral splits and successive approximation,
// grey frames, restart intervals and odd sizes.

#include "tests/support/fixtures.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using e2e::EncodeOptions;
using e2e::Sampling;
using e2e::Scan;

// Two levels of successive approximation for DC and AC, the luma AC band
// split in two and the chroma bands in one, refinements of every band.
const std::vector<Scan> colour_approximation_script = {
    {{0, 1, 2}, 0, 0, 0, 2},
    {{0}, 1, 5, 0, 2},
    {{2}, 1, 63, 0, 1},
    {{1}, 1, 63, 0, 1},
    {{0}, 6, 63, 0, 2},
    {{0, 1, 2}, 0, 0, 2, 1},
    {{0}, 1, 63, 2, 1},
    {{0, 1, 2}, 0, 0, 1, 0},
    {{2}, 1, 63, 1, 0},
    {{1}, 1, 63, 1, 0},
    {{0}, 1, 63, 1, 0},
};

// DC scans of one component each, several spectral bands without
// approximation, bands sent in an unusual order.
const std::vector<Scan> colour_band_script = {
    {{1}, 0, 0, 0, 0},
    {{0}, 0, 0, 0, 0},
    {{2}, 0, 0, 0, 0},
    {{0}, 10, 63, 0, 0},
    {{0}, 1, 2, 0, 0},
    {{1}, 1, 63, 0, 0},
    {{0}, 3, 9, 0, 0},
    {{2}, 1, 63, 0, 0},
};

const std::vector<Scan> grey_approximation_script = {
    {{0}, 0, 0, 0, 2},
    {{0}, 1, 1, 0, 2},
    {{0}, 2, 63, 0, 2},
    {{0}, 0, 0, 2, 1},
    {{0}, 1, 63, 2, 1},
    {{0}, 0, 0, 1, 0},
    {{0}, 1, 63, 1, 0},
};

struct ProgressiveCase {
    std::string name;
    int width;
    int height;
    EncodeOptions options;
};

// Names the case in test output instead of dumping its bytes.
void PrintTo(const ProgressiveCase& c, std::ostream* os) { *os << c.name; }

int channels_of(Sampling s) { return s == Sampling::Grey ? 1 : 3; }

size_t count_markers(const std::vector<uint8_t>& jpeg, uint8_t code) {
    size_t n = 0;
    for (const e2e::MarkerPosition& m : e2e::find_markers(jpeg)) {
        n += m.code == code;
    }
    return n;
}

void expect_matches_reference(const ProgressiveCase& c) {
    const int channels = channels_of(c.options.sampling);
    const e2e::Picture picture = e2e::make_picture(c.width, c.height, channels,
                                                   static_cast<uint32_t>(c.width * 7 + c.height));
    const std::vector<uint8_t> jpeg = e2e::encode(picture, c.options);
    // The fixture is what the case says: a progressive frame with the script's scans.
    ASSERT_EQ(count_markers(jpeg, 0xC2), 1u);
    if (!c.options.script.empty()) {
        ASSERT_EQ(count_markers(jpeg, 0xDA), c.options.script.size());
    }
    if (c.options.restart_rows > 0 || c.options.restart_mcus > 0) {
        // An interval in MCU rows is written anew before scans whose MCU
        // rows differ in length.
        ASSERT_GE(count_markers(jpeg, 0xDD), 1u);
    }

    const e2e::OracleResult oracle = e2e::oracle_decode(jpeg);
    ASSERT_TRUE(oracle.ok) << oracle.message;
    ASSERT_TRUE(oracle.progressive);
    ASSERT_EQ(oracle.warnings, 0);

    const e2e::MarivueResult result = e2e::marivue_decode(jpeg);
    ASSERT_EQ(result.open_status, StatusOk);
    ASSERT_EQ(result.begin_result, 0) << "status " << result.final_status;
    ASSERT_EQ(result.rows, c.height) << "status " << result.final_status;
    EXPECT_EQ(result.stop_result, 1);
    EXPECT_EQ(result.result_after_stop, 1);
    EXPECT_EQ(result.final_status, StatusOk);
    EXPECT_TRUE(result.row_length_ok);
    EXPECT_TRUE(result.fourth_bytes_zero);

    EXPECT_TRUE(e2e::matches_reference(result.picture, oracle.picture, 0, c.height));
}

class ProgressiveDecode : public testing::TestWithParam<ProgressiveCase> {};

TEST_P(ProgressiveDecode, MatchesReference) { expect_matches_reference(GetParam()); }

const Sampling samplings[] = {Sampling::Grey, Sampling::H1V1, Sampling::H2V1, Sampling::H1V2,
                              Sampling::H2V2};

std::vector<ProgressiveCase> all_cases() {
    std::vector<ProgressiveCase> cases;
    auto add = [&](int w, int h, Sampling s, const char* variant, EncodeOptions o) {
        o.sampling = s;
        cases.push_back({std::string(e2e::sampling_name(s)) + "_" + std::to_string(w) + "x" +
                             std::to_string(h) + "_" + variant,
                         w, h, o});
    };
    EncodeOptions simple;
    simple.progressive = true;
    EncodeOptions simple_low = simple;
    simple_low.quality = 8;
    simple_low.force_baseline = false;
    EncodeOptions simple_restart_row = simple;
    simple_restart_row.restart_rows = 1;
    EncodeOptions simple_restart_2 = simple;
    simple_restart_2.restart_mcus = 2;

    const int sizes[][2] = {{1, 1}, {7, 3}, {17, 9}, {33, 17}, {241, 161}};
    for (const auto& size : sizes) {
        for (Sampling s : samplings) {
            add(size[0], size[1], s, "Simple", simple);
            add(size[0], size[1], s, "RestartRow", simple_restart_row);
            EncodeOptions script = simple;
            script.progressive = false;
            script.script = s == Sampling::Grey ? grey_approximation_script
                                                : colour_approximation_script;
            add(size[0], size[1], s, "Approximation", script);
            if (s != Sampling::Grey) {
                script.script = colour_band_script;
                add(size[0], size[1], s, "Bands", script);
            }
            EncodeOptions script_restart = script;
            script_restart.script = s == Sampling::Grey ? grey_approximation_script
                                                        : colour_approximation_script;
            script_restart.restart_mcus = 2;
            add(size[0], size[1], s, "ApproximationRestart2", script_restart);
        }
    }
    for (Sampling s : samplings) {
        add(241, 161, s, "Simple5", simple_low);
        add(241, 161, s, "Restart2", simple_restart_2);
    }
    add(640, 480, Sampling::H2V2, "Simple", simple);
    add(640, 480, Sampling::Grey, "Simple", simple);
    EncodeOptions big = simple;
    big.script = colour_approximation_script;
    big.progressive = false;
    big.restart_rows = 1;
    add(1283, 967, Sampling::H2V2, "ApproximationRestartRow", big);
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Corpus, ProgressiveDecode, testing::ValuesIn(all_cases()),
                         [](const testing::TestParamInfo<ProgressiveCase>& info) {
                             return info.param.name;
                         });

// Blocks with a DC coefficient only, sent in two successive-approximation
// steps: the pictures must be identical.
TEST(ProgressiveDecodeExact, FlatTiles) {
    for (Sampling s : samplings) {
        const int channels = channels_of(s);
        const e2e::Picture picture = e2e::make_flat_tiles(83, 45, channels, 16, 4);
        EncodeOptions o;
        o.sampling = s;
        o.script = s == Sampling::Grey ? grey_approximation_script : colour_approximation_script;
        const std::vector<uint8_t> jpeg = e2e::encode(picture, o);
        const e2e::OracleResult oracle = e2e::oracle_decode(jpeg);
        ASSERT_TRUE(oracle.ok) << oracle.message;
        const e2e::MarivueResult r = e2e::marivue_decode(jpeg);
        ASSERT_EQ(r.rows, 45) << e2e::sampling_name(s) << ": status " << r.final_status;
        const e2e::SampleDiff diff = e2e::compare_rows(r.picture, oracle.picture, 0, 45);
        EXPECT_EQ(diff.differing, 0u) << e2e::sampling_name(s) << ": max difference " << diff.max_abs;
    }
}

// A grey progressive frame that declares 2 x 2 sampling: its coefficient
// grids are larger than needed, yet rows come one block per MCU.
TEST(ProgressiveDecodeGrey, DeclaredFactorsTwoByTwo) {
    EncodeOptions o;
    o.sampling = Sampling::Grey;
    o.grey_factor = 2;
    o.script = grey_approximation_script;
    expect_matches_reference({"Grey2x2", 45, 27, o});
}

}  // namespace
