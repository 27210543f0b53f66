// End-to-end decoding against the reference library: one table of encoded
// pictures (every sampling, odd sizes, restarts, optimised and 16-bit
// tables, extra segments, progressive scripts), exact pictures where both
// decoders must agree bit for bit, and hand-built streams.
#include "tests/support/fixtures.h"
#include "tests/support/jpeg_builder.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

using namespace marivue::jpeg;

namespace {

using e2e::EncodeOptions;
using e2e::Sampling;
using e2e::Scan;

const Sampling samplings[] = {Sampling::Grey, Sampling::H1V1, Sampling::H2V1, Sampling::H1V2, Sampling::H2V2};
int channels_of(Sampling s) { return s == Sampling::Grey ? 1 : 3; }

// Two levels of successive approximation for DC and AC, the luma AC band
// split, chroma in separate scans, refinements of every band.
const std::vector<Scan> colour_approximation = {
    {{0, 1, 2}, 0, 0, 0, 2}, {{0}, 1, 5, 0, 2},       {{2}, 1, 63, 0, 1}, {{1}, 1, 63, 0, 1},
    {{0}, 6, 63, 0, 2},      {{0, 1, 2}, 0, 0, 2, 1}, {{0}, 1, 63, 2, 1}, {{0, 1, 2}, 0, 0, 1, 0},
    {{2}, 1, 63, 1, 0},      {{1}, 1, 63, 1, 0},      {{0}, 1, 63, 1, 0}};
// DC scans of one component each, bands in an unusual order.
const std::vector<Scan> colour_bands = {{{1}, 0, 0, 0, 0}, {{0}, 0, 0, 0, 0},  {{2}, 0, 0, 0, 0}, {{0}, 10, 63, 0, 0},
                                        {{0}, 1, 2, 0, 0}, {{1}, 1, 63, 0, 0}, {{0}, 3, 9, 0, 0}, {{2}, 1, 63, 0, 0}};
const std::vector<Scan> grey_approximation = {{{0}, 0, 0, 0, 2}, {{0}, 1, 1, 0, 2},  {{0}, 2, 63, 0, 2},
                                              {{0}, 0, 0, 2, 1}, {{0}, 1, 63, 2, 1}, {{0}, 0, 0, 1, 0},
                                              {{0}, 1, 63, 1, 0}};

struct Case {
    std::string name;
    int width, height;
    EncodeOptions options;
    DecodeSettings settings = {};  // for pictures above the default side limit
};
void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

// One variant of the encoder's options: sequential (baseline; 16-bit
// quantisation tables in an extended frame, with optimised codes; restart
// intervals of one MCU row and of three MCUs; APP/COM segments, one longer
// than the input buffer) and progressive (the default script, with
// restarts; successive approximation; separate bands).
struct Variant {
    const char* name;
    int quality, baseline, optimize, restart_rows, restart_mcus, segments, progressive, script;  // 1 approx, 2 bands
};
const Variant variants[] = {
    {"Baseline", 85, 1, 0, 0, 0, 0, 0, 0},
    {"Extended5", 5, 0, 1, 0, 0, 0, 0, 0},
    {"RestartRow", 75, 1, 0, 1, 0, 0, 0, 0},
    {"Restart3", 92, 1, 1, 0, 3, 0, 0, 0},
    {"Segments", 60, 1, 0, 0, 0, 1, 0, 0},
    {"Progressive", 85, 1, 0, 0, 0, 0, 1, 0},
    {"ProgressiveRestartRow", 85, 1, 0, 1, 0, 0, 1, 0},
    {"Approximation", 85, 1, 0, 0, 0, 0, 0, 1},
    {"ApproximationRestart2", 85, 1, 0, 0, 2, 0, 0, 1},
    {"Bands", 85, 1, 0, 0, 0, 0, 0, 2},
    {"Progressive8", 8, 0, 0, 0, 0, 0, 1, 0},
};

std::vector<Case> all_cases() {
    std::vector<Case> cases;
    auto add = [&](int w, int h, Sampling s, const Variant& v, int grey_factor = 1) {
        if (v.script == 2 && s == Sampling::Grey) return;
        EncodeOptions o;
        o.sampling = s, o.quality = v.quality, o.force_baseline = v.baseline, o.optimize_huffman = v.optimize;
        o.restart_rows = v.restart_rows, o.restart_mcus = v.restart_mcus, o.extra_segments = v.segments;
        o.progressive = v.progressive, o.grey_factor = grey_factor;
        if (v.script)
            o.script = s == Sampling::Grey ? grey_approximation : v.script == 1 ? colour_approximation : colour_bands;
        cases.push_back({std::string(e2e::sampling_name(s)) + "_" + std::to_string(w) + "x" + std::to_string(h) + "_" +
                             v.name + (grey_factor > 1 ? "_Factors2x2" : ""),
                         w, h, o});
    };
    for (auto [w, h] : {std::pair{1, 1}, {7, 3}, {17, 9}, {33, 17}, {241, 161}})
        for (Sampling s : samplings)
            for (int v = 0; v < 10; ++v) add(w, h, s, variants[v]);
    for (Sampling s : samplings) add(241, 161, s, variants[10]), add(640, 480, s, variants[2]);
    // Larger pictures; the widest frame, whose MCU row is the longest possible;
    // a grey frame that declares 2 x 2 sampling.
    add(1283, 967, Sampling::H2V2, {"ApproximationRestartRow", 85, 1, 0, 1, 0, 0, 0, 1});
    add(1283, 967, Sampling::Grey, variants[1]);
    add(8192, 16, Sampling::H1V2, variants[0]);
    add(8192, 9, Sampling::Grey, variants[2]);
    add(37, 21, Sampling::Grey, variants[0], 2);
    add(45, 27, Sampling::Grey, variants[7], 2);
    // Above the default side limit of 8192, with the limit raised: wide and
    // tall, grey and colour, sequential and progressive; 13000 wide at 1 x 2
    // has 6500 blocks in an MCU row, more than the record's own tables hold.
    for (auto [w, h, s, v] : {std::tuple{12000, 16, Sampling::Grey, 0},
                              {12000, 16, Sampling::H2V2, 0},
                              {9000, 40, Sampling::H2V2, 2},
                              {9000, 40, Sampling::H2V2, 5},
                              {12000, 16, Sampling::Grey, 5},
                              {13000, 16, Sampling::H1V2, 3},
                              {16, 9000, Sampling::Grey, 0},
                              {24, 8500, Sampling::H2V1, 6}}) {
        add(w, h, s, variants[v]);
        cases.back().settings.max_side = 65535;
    }
    // RGB without colour transform, marked by an Adobe segment (every
    // sampling) or by the component ids alone.
    using Rgb = EncodeOptions::Rgb;
    for (auto [s, v, rgb] : {std::tuple{Sampling::H1V1, 0, Rgb::Adobe},
                             {Sampling::H2V1, 3, Rgb::Adobe},
                             {Sampling::H1V2, 5, Rgb::Adobe},
                             {Sampling::H2V2, 7, Rgb::Adobe},
                             {Sampling::H1V1, 5, Rgb::IdsOnly},
                             {Sampling::H2V2, 0, Rgb::IdsOnly}}) {
        add(241, 161, s, variants[v]);
        cases.back().options.rgb = rgb;
        cases.back().name += rgb == Rgb::Adobe ? "_RgbAdobe" : "_RgbIds";
    }
    return cases;
}

class OracleDecode : public testing::TestWithParam<Case> {};

TEST_P(OracleDecode, MatchesReference) {
    const Case& c = GetParam();
    const int channels = channels_of(c.options.sampling);
    const auto picture = e2e::make_picture(c.width, c.height, channels, static_cast<uint32_t>(c.width * 31 + c.height));
    const std::vector<uint8_t> jpeg = e2e::encode(picture, c.options);
    // The fixture has the property its case is named for.
    const bool progressive = c.options.progressive || !c.options.script.empty();
    const uint8_t frame = progressive ? 0xC2 : c.options.force_baseline ? 0xC0 : 0xC1;
    EXPECT_EQ(e2e::find_markers(jpeg, frame, frame).size(), 1u);
    if (c.options.restart_rows || c.options.restart_mcus) {
        EXPECT_FALSE(e2e::find_markers(jpeg, 0xDD, 0xDD).empty());
    }
    if (c.options.extra_segments) {
        EXPECT_EQ(e2e::find_markers(jpeg, 0xE1, 0xFE).size(), 3u);
    }
    const bool rgb = c.options.rgb != EncodeOptions::Rgb::No;
    EXPECT_EQ(e2e::find_markers(jpeg, 0xE0, 0xE0).size(), rgb ? 0u : 1u);  // JFIF
    EXPECT_EQ(e2e::find_markers(jpeg, 0xEE, 0xEE).size(), c.options.rgb == EncodeOptions::Rgb::Adobe ? 1u : 0u);

    const e2e::OracleResult oracle = e2e::oracle_decode(jpeg);
    ASSERT_TRUE(oracle.ok) << oracle.message;
    ASSERT_EQ(oracle.warnings, 0);
    if (c.width > 8192 || c.height > 8192) {  // refused without the raised limit
        EXPECT_EQ(e2e::marivue_decode(jpeg).open_status, c.width > 8192 ? WidthOutOfRange : HeightOutOfRange);
    }
    const e2e::MarivueResult r = e2e::marivue_decode(jpeg, c.settings);
    ASSERT_EQ(r.open_status, StatusOk);
    ASSERT_EQ(r.begin_result, 0) << "status " << r.final_status;
    EXPECT_EQ(r.components, channels);
    EXPECT_EQ(r.bytes_per_pixel, channels == 1 ? 1 : 4);
    ASSERT_EQ(r.rows, c.height) << "status " << r.final_status;
    EXPECT_EQ(r.stop_result, 1);
    EXPECT_EQ(r.result_after_stop, 1);
    EXPECT_EQ(r.final_status, StatusOk);
    EXPECT_TRUE(r.row_length_ok);
    EXPECT_TRUE(r.fourth_bytes_zero);
    EXPECT_EQ(r.is_rgb, rgb);
    EXPECT_FALSE(r.data_incomplete);
    EXPECT_TRUE(e2e::matches_reference(r.picture, oracle.picture, 0, c.height));
}

INSTANTIATE_TEST_SUITE_P(Corpus, OracleDecode, testing::ValuesIn(all_cases()),
                         [](const testing::TestParamInfo<Case>& info) { return info.param.name; });

// Layouts beyond the five common ones, which decode with the record's
// extended_layouts setting and are refused without it: three components
// sampled in other whole ratios, and four components (CMYK, YCCK, CMYK
// without an Adobe segment). The reference decodes four components to CMYK
// as stored (255 = no ink, YCCK converted with its own tables); the test
// turns that into RGB by the decoder's documented product (cmyk_to_rgb).
// Both decoders replicate subsampled samples.
// Tolerance: three components as in every oracle test; four components
// carry each decoder's inverse DCT rounding (one step a sample, as in grey)
// through the product: up to 3 for CMYK, and up to 5 for YCCK, whose R', G',
// B' differ by up to 3 as in colour before the product.
TEST(OracleExtended, OtherLayoutsAndFourComponents) {
    using Four = EncodeOptions::Four;
    using Factors = std::vector<std::pair<int, int>>;
    struct Row {
        const char* name;
        int width, height, channels;
        Factors factors;
        Four four;
        bool progressive;
    } rows[] = {
        {"4:1:1", 45, 27, 3, {{4, 1}, {1, 1}, {1, 1}}, {}, false},
        {"4:1:1 progressive", 67, 19, 3, {{4, 1}, {1, 1}, {1, 1}}, {}, true},
        {"all 2x1", 33, 17, 3, {{2, 1}, {2, 1}, {2, 1}}, {}, false},
        {"luma 1x1, chroma 1x2", 37, 21, 3, {{1, 1}, {1, 2}, {1, 2}}, {}, false},
        {"luma 1x1, chroma 1x2, progressive", 37, 21, 3, {{1, 1}, {1, 2}, {1, 2}}, {}, true},
        {"luma 3x2, chroma 1x1", 61, 37, 3, {{3, 2}, {1, 1}, {1, 1}}, {}, true},
        {"luma 4x2, chroma 1x1: 10 blocks", 70, 35, 3, {{4, 2}, {1, 1}, {1, 1}}, {}, false},
        {"luma 4x1, chroma 2x1", 70, 35, 3, {{4, 1}, {2, 1}, {2, 1}}, {}, false},
        {"CMYK", 45, 27, 4, {{1, 1}, {1, 1}, {1, 1}, {1, 1}}, Four::Cmyk, false},
        {"CMYK progressive", 41, 23, 4, {{1, 1}, {1, 1}, {1, 1}, {1, 1}}, Four::Cmyk, true},
        {"YCCK, Y and K 2x2", 45, 27, 4, {{2, 2}, {1, 1}, {1, 1}, {2, 2}}, Four::Ycck, false},
        {"YCCK progressive", 29, 31, 4, {{2, 1}, {1, 1}, {1, 1}, {2, 1}}, Four::Ycck, true},
        {"CMYK, no Adobe", 33, 9, 4, {{2, 1}, {1, 1}, {1, 1}, {1, 1}}, Four::CmykWithoutAdobe, false},
        {"CMYK 1 x 1", 1, 1, 4, {{1, 2}, {1, 1}, {1, 1}, {1, 2}}, Four::Cmyk, false},
    };
    DecodeSettings extended;
    extended.extended_layouts = 1;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        e2e::Picture picture = e2e::make_picture(row.width, row.height, row.channels, 11);
        for (size_t i = 3; row.channels == 4 && i < picture.samples.size(); i += 4)
            picture.samples[i] = static_cast<uint8_t>(255 - (i / 4) % 97);  // some black everywhere
        EncodeOptions o;
        o.factors = row.factors, o.four = row.four, o.progressive = row.progressive;
        const std::vector<uint8_t> jpeg = e2e::encode(picture, o);
        EXPECT_EQ(e2e::find_markers(jpeg, 0xEE, 0xEE).size(), row.channels == 4 && row.four != Four::CmykWithoutAdobe);
        const e2e::OracleResult oracle = e2e::oracle_decode(jpeg);
        ASSERT_TRUE(oracle.ok) << oracle.message;
        ASSERT_EQ(oracle.picture.channels, row.channels == 4 ? 4 : 3);

        const e2e::MarivueResult refused = e2e::marivue_decode(jpeg);
        EXPECT_EQ(refused.begin_result, -1);
        EXPECT_EQ(refused.final_status, row.channels == 4 ? UnsupportedComponents : UnsupportedSampling);
        const e2e::MarivueResult r = e2e::marivue_decode(jpeg, extended);
        ASSERT_EQ(r.stop_result, 1) << "status " << r.final_status;
        EXPECT_EQ(r.colour_coding, row.channels == 3 ? CodingYCbCr : row.four == Four::Ycck ? CodingYcck : CodingCmyk);
        EXPECT_EQ(r.rows, row.height);
        EXPECT_EQ(r.bytes_per_pixel, 4);
        EXPECT_TRUE(r.row_length_ok);
        EXPECT_TRUE(r.fourth_bytes_zero);
        if (row.channels == 3) {
            EXPECT_TRUE(e2e::matches_reference(r.picture, oracle.picture, 0, row.height));
            continue;
        }
        EXPECT_TRUE(e2e::matches_within(r.picture, e2e::cmyk_to_rgb(oracle.picture), row.four == Four::Ycck ? 5 : 3,
                                        e2e::max_colour_differing_fraction));
    }
}

// Blocks of one colour decode exactly alike in both decoders, so the CMYK
// product is checked to the last bit, on 544 blocks of different C, M, Y
// and K (at full quality, where a flat block's DC is exact).
TEST(OracleExtended, FlatCmykBlocksConvertExactly) {
    e2e::Picture picture{8 * 32, 8 * 17, 4, {}};
    for (int y = 0; y < picture.height; ++y)
        for (int x = 0; x < picture.width; ++x) {
            const int block = (y / 8) * 32 + x / 8;  // 0..543
            picture.samples.insert(picture.samples.end(),
                                   {static_cast<uint8_t>(block % 256), static_cast<uint8_t>((block * 7) % 256),
                                    static_cast<uint8_t>(255 - block % 256), static_cast<uint8_t>(block / 2)});
        }
    EncodeOptions o;
    o.factors.assign(4, {1, 1}), o.quality = 100;
    const std::vector<uint8_t> jpeg = e2e::encode(picture, o);
    const e2e::OracleResult oracle = e2e::oracle_decode(jpeg);
    ASSERT_TRUE(oracle.ok) << oracle.message;
    ASSERT_EQ(oracle.picture.samples, picture.samples);  // flat blocks come back exactly
    DecodeSettings extended;
    extended.extended_layouts = 1;
    const e2e::MarivueResult r = e2e::marivue_decode(jpeg, extended);
    ASSERT_EQ(r.stop_result, 1) << "status " << r.final_status;
    EXPECT_TRUE(e2e::matches_within(r.picture, e2e::cmyk_to_rgb(picture), 0, 0));
}

// A hand-built grey stream whose DC codes take 1 to 12 bits decodes like the
// reference decodes it; with a complete code tree (no all-ones code left
// free, which the reference refuses) it decodes to the same picture.
TEST(OracleBuilt, LongCodesAndCompleteCodeTree) {
    std::vector<jt::Block> blocks;
    for (int i = 0; i < 20; ++i)
        blocks.push_back({(i * 37) % 200 - 100, i % 2 ? std::vector<std::pair<int, int>>{{1, 3}, {18, -5}, {63, -2}}
                                                      : std::vector<std::pair<int, int>>{{17, 120}, {34, -1}}});
    jt::HuffDef long_dc, complete;
    for (int i = 0; i < 12; ++i) long_dc.counts[i] = 1, long_dc.symbols.push_back(static_cast<uint8_t>(i));
    complete = long_dc;
    complete.counts[10] = 2, complete.counts[11] = 0;  // lengths 1..10 once, 11 twice
    const std::vector<uint8_t> stream = jt::grey_stream(160, 8, blocks, long_dc);
    const e2e::OracleResult oracle = e2e::oracle_decode(stream);
    ASSERT_TRUE(oracle.ok) << oracle.message;
    const e2e::MarivueResult r = e2e::marivue_decode(stream);
    ASSERT_EQ(r.stop_result, 1) << "status " << r.final_status;
    EXPECT_TRUE(e2e::matches_reference(r.picture, oracle.picture, 0, 8));
    const e2e::MarivueResult full = e2e::marivue_decode(jt::grey_stream(160, 8, blocks, complete));
    EXPECT_EQ(full.stop_result, 1) << "status " << full.final_status;
    EXPECT_EQ(full.picture.samples, r.picture.samples);
}

// The segments decide the colour coding of three components, as they do
// for the reference: an Adobe transform of 1 means YCbCr whatever the ids,
// one of 0 means RGB whatever the ids; a JFIF segment means YCbCr; an
// APP14 segment with another identifier is no Adobe segment.
TEST(OracleBuilt, ColourCodingFollowsTheSegments) {
    EncodeOptions o;
    o.sampling = Sampling::H2V1;
    o.rgb = EncodeOptions::Rgb::Adobe;
    const std::vector<uint8_t> adobe = e2e::encode(e2e::make_picture(37, 19, 3, 9), o);
    const size_t app14 = e2e::find_markers(adobe, 0xEE, 0xEE).at(0).offset;
    const size_t sof = e2e::find_markers(adobe, 0xC0, 0xC0).at(0).offset;
    const size_t sos = e2e::find_markers(adobe, 0xDA, 0xDA).at(0).offset;
    const std::vector<uint8_t> jfif = {0xFF, 0xE0, 0, 16, 'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0};
    struct Edit {
        const char* name;
        std::vector<std::pair<size_t, uint8_t>> bytes;
        bool insert_jfif, rgb;
    } edits[] = {{"Transform1", {{app14 + 15, 1}}, false, false},
                 {"Transform0Ids123",
                  {{sof + 10, 1}, {sof + 13, 2}, {sof + 16, 3}, {sos + 5, 1}, {sos + 7, 2}, {sos + 9, 3}},
                  false,
                  true},
                 {"OtherIdentifier", {{app14 + 8, 'f'}}, false, true},
                 {"JfifAndAdobe0", {}, true, false}};
    for (const Edit& e : edits) {
        std::vector<uint8_t> jpeg = adobe;
        for (auto [offset, value] : e.bytes) jpeg.at(offset) = value;
        if (e.insert_jfif) jpeg.insert(jpeg.begin() + 2, jfif.begin(), jfif.end());
        const e2e::OracleResult oracle = e2e::oracle_decode(jpeg);
        ASSERT_TRUE(oracle.ok) << e.name << ": " << oracle.message;
        const e2e::MarivueResult r = e2e::marivue_decode(jpeg);
        ASSERT_EQ(r.stop_result, 1) << e.name << ": status " << r.final_status;
        EXPECT_EQ(r.is_rgb, e.rgb) << e.name;
        EXPECT_TRUE(e2e::matches_reference(r.picture, oracle.picture, 0, 19)) << e.name;
    }
}

}  // namespace
