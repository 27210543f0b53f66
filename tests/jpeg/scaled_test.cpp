// Decoding at 1/2, 1/4 and 1/8 of the size (the record's scale_shift)
// against independent references: the full decode box-filtered and the DC
// coefficients as the reference library reads them; data that ends early,
// marked as at full size. (The two-thread pipeline at every size:
// JpegApi.TwoThreadsGiveTheOneThreadResult.)
#include "jpeg/internal.h"
#include "marivue/jpeg.hpp"
#include "tests/support/fixtures.h"
#include "tests/support/jpeg_builder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

using namespace marivue::jpeg;

namespace {

using e2e::EncodeOptions;
using e2e::Sampling;

DecodeSettings at_scale(int32_t shift, uint8_t extended = 0) {
    DecodeSettings settings;
    settings.scale_shift = shift;
    settings.extended_layouts = extended;
    return settings;
}

// A picture like a photograph's content: soft shading and colour that
// varies slowly, one hard diagonal edge, mild noise.
e2e::Picture soft_picture(int width, int height, int channels, uint32_t seed) {
    e2e::Picture p{width, height, channels, {}};
    uint32_t state = seed * 2654435761u + 1;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            state = state * 1664525u + 1013904223u;
            const double noise = static_cast<double>((state >> 24) % 7) - 3;
            const double shade =
                110 + 70 * std::sin(x * 0.045 + seed) * std::cos(y * 0.06) + (x + 2 * y > width ? 35 : -35);
            const double colour[4] = {shade + 40 * std::sin(y * 0.02), shade + 30 * std::cos(x * 0.025),
                                      shade - 45 * std::sin((x + y) * 0.015), 200 + 50 * std::sin(x * 0.03)};
            for (int c = 0; c < channels; ++c)
                p.samples.push_back(
                    static_cast<uint8_t>(std::clamp(colour[channels == 1 ? 0 : c] + noise, 0.0, 255.0)));
        }
    return p;
}

using Bytes = std::vector<uint8_t>;
using e2e::cut;
using e2e::library_decode;

// Every layout, sequential and progressive, at odd sizes, against the full
// decode box-filtered. A reduced sample is the box mean of its block's low
// frequencies alone, so what differs is what the frequencies the reduced
// grid cannot hold add to the box mean (the box filter keeps part of them),
// and rounding. Where components are subsampled, the reduced picture's are
// too, in the same ratio, while the box-filtered full picture has their
// full detail: that difference is bounded separately. Measured on these
// pictures: at most 10 and 1.2 on average without subsampling, 17 and 2.2
// with it.
TEST(ScaledDecode, MatchesTheFullDecodeBoxFiltered) {
    using Factors = std::vector<std::pair<int, int>>;
    struct Row {
        const char* name;
        int width, height;
        Sampling sampling;
        Factors factors;  // instead of `sampling`
        int channels;
        bool progressive, subsampled;
        EncodeOptions::Rgb rgb = EncodeOptions::Rgb::No;
    } rows[] = {
        {"grey", 241, 161, Sampling::Grey, {}, 1, false, false},
        {"grey, 4096 blocks and more", 650, 520, Sampling::Grey, {}, 1, false, false},
        {"4:2:0, 4096 blocks and more", 650, 420, Sampling::H2V2, {}, 3, false, true},
        {"4:4:4, 4096 blocks and more", 330, 410, Sampling::H1V1, {}, 3, false, false},
        {"grey progressive", 97, 61, Sampling::Grey, {}, 1, true, false},
        {"4:4:4", 67, 45, Sampling::H1V1, {}, 3, false, false},
        {"4:2:2", 161, 67, Sampling::H2V1, {}, 3, true, true},
        {"4:4:0", 93, 39, Sampling::H1V2, {}, 3, false, true},
        {"4:2:0", 241, 161, Sampling::H2V2, {}, 3, false, true},
        {"4:2:0 progressive", 130, 90, Sampling::H2V2, {}, 3, true, true},
        {"4:1:1", 75, 33, Sampling::H2V2, {{4, 1}, {1, 1}, {1, 1}}, 3, false, true},
        {"CMYK", 45, 29, Sampling::H2V2, {{1, 1}, {1, 1}, {1, 1}, {1, 1}}, 4, false, false},
        {"YCCK", 51, 37, Sampling::H2V2, {{1, 1}, {1, 1}, {1, 1}, {1, 1}}, 4, false, false},
        {"YCCK progressive, Y and K 2x2", 51, 37, Sampling::H2V2, {{2, 2}, {1, 1}, {1, 1}, {2, 2}}, 4, true, true},
        {"RGB", 97, 61, Sampling::H1V1, {}, 3, false, false, EncodeOptions::Rgb::Adobe},
        {"1 x 1", 1, 1, Sampling::H2V2, {}, 3, false, true},
        {"7 x 3", 7, 3, Sampling::H2V2, {}, 3, true, true},
    };
    for (const Row& row : rows) {
        EncodeOptions o;
        o.sampling = row.sampling, o.factors = row.factors, o.progressive = row.progressive, o.quality = 90;
        o.rgb = row.rgb;
        o.four = row.name[0] == 'Y' ? EncodeOptions::Four::Ycck : EncodeOptions::Four::Cmyk;
        const std::vector<uint8_t> jpeg = e2e::encode(soft_picture(row.width, row.height, row.channels, 3), o);
        const e2e::MarivueResult full = e2e::marivue_decode(jpeg, at_scale(0, 1));
        ASSERT_EQ(full.stop_result, 1) << row.name;
        for (int shift = 1; shift <= 3; ++shift) {
            SCOPED_TRACE(std::string(row.name) + " at 1/" + std::to_string(1 << shift));
            const e2e::MarivueResult r = e2e::marivue_decode(jpeg, at_scale(shift, 1));
            ASSERT_EQ(r.stop_result, 1) << "status " << r.final_status;
            EXPECT_EQ(r.picture.width, (row.width + (1 << shift) - 1) >> shift);
            EXPECT_EQ(r.rows, (row.height + (1 << shift) - 1) >> shift);
            EXPECT_TRUE(r.row_length_ok);
            EXPECT_TRUE(r.fourth_bytes_zero);
            std::vector<bool> whole;
            const e2e::Picture box = e2e::box_filtered(full.picture, shift, whole);
            const e2e::Difference d = e2e::difference(r.picture, box, whole);
            EXPECT_LE(d.max, row.subsampled ? 20 : 12);
            EXPECT_LE(d.mean, row.subsampled ? 2.5 : 1.25);
        }
    }
}

// At 1/8 a grey picture's pixel is its block's DC coefficient D
// (dequantised) as clamp(((D + 4) >> 3) + 128), the value the full
// transform gives a block with nothing else: here against the DC values the
// reference library reads from the stream, for sequential and progressive
// pictures, with restart intervals, at sizes that are not whole blocks, and
// large enough (4096 blocks) that the coefficients are passed over.
TEST(ScaledDecode, EighthIsTheDcValueOfEveryBlock) {
    struct Row {
        int width, height;
        bool progressive;
        int restart_mcus, quality;
    } rows[] = {{241, 161, false, 0, 90}, {97, 61, true, 0, 75},  {33, 17, false, 5, 95},   {64, 48, true, 7, 50},
                {1, 1, false, 0, 85},     {9, 250, false, 1, 30}, {650, 520, false, 0, 92}, {601, 557, false, 13, 40}};
    for (const Row& row : rows) {
        SCOPED_TRACE(std::to_string(row.width) + " x " + std::to_string(row.height));
        EncodeOptions o;
        o.sampling = Sampling::Grey, o.progressive = row.progressive, o.restart_mcus = row.restart_mcus;
        o.quality = row.quality;
        const std::vector<uint8_t> jpeg = e2e::encode(e2e::make_picture(row.width, row.height, 1, 5), o);
        const e2e::DcGrid dc = e2e::oracle_dc(jpeg);
        const e2e::MarivueResult r = e2e::marivue_decode(jpeg, at_scale(3));
        ASSERT_EQ(r.stop_result, 1) << "status " << r.final_status;
        ASSERT_EQ(r.picture.width, dc.blocks_wide);
        ASSERT_EQ(r.rows, dc.blocks_high);
        for (int y = 0; y < r.rows; ++y)
            for (int x = 0; x < r.picture.width; ++x) {
                const int value = dc.dc[static_cast<size_t>(y) * dc.blocks_wide + x];
                ASSERT_EQ(r.picture.samples[static_cast<size_t>(y) * r.picture.width + x],
                          std::clamp(((value + 4) >> 3) + 128, 0, 255))
                    << "block " << x << ", " << y;
            }
    }
}

// Blocks whose coefficients all lie within the reduced grid's frequencies
// (the 4 x 4 lowest at 1/2, the 2 x 2 at 1/4, DC at 1/8), small enough that
// no sample is clamped: each reduced sample is the mean of the full
// decode's square to within rounding, 1 at most.
TEST(ScaledDecode, LowFrequencyBlocksGiveTheMeanOfTheFullDecode) {
    // The zigzag positions of those frequencies (DC aside).
    const std::vector<int> within[4] = {{}, {1, 2, 3, 4, 5, 6, 7, 8, 9, 11, 12, 13, 17, 18, 24}, {1, 2, 4}, {}};
    uint32_t state = 99;
    auto below = [&state](int n) {
        state = state * 1664525u + 1013904223u;
        return static_cast<int>((state >> 8) % static_cast<uint32_t>(n));
    };
    for (int shift = 1; shift <= 3; ++shift) {
        SCOPED_TRACE("1/" + std::to_string(1 << shift));
        // A small DC and one of the corner's coefficients in each block, as
        // large as the samples allow without clamping, so that an error in
        // a transform constant shows.
        std::vector<jt::Block> blocks(30 * 20);
        const std::vector<int>& corner = within[shift];
        for (jt::Block& b : blocks) {
            b.dc = below(81) - 40;
            if (corner.empty()) continue;
            const int value = 250 + below(231);
            b.ac.emplace_back(corner[below(static_cast<int>(corner.size()))], below(2) ? value : -value);
        }
        const std::vector<uint8_t> jpeg = jt::grey_stream(240, 160, blocks);
        const e2e::MarivueResult full = e2e::marivue_decode(jpeg);
        const e2e::MarivueResult r = e2e::marivue_decode(jpeg, at_scale(shift));
        ASSERT_EQ(full.stop_result, 1);
        ASSERT_EQ(r.stop_result, 1);
        std::vector<bool> whole;
        const e2e::Picture box = e2e::box_filtered(full.picture, shift, whole);
        EXPECT_LE(e2e::difference(r.picture, box, whole).max, 1);
        EXPECT_EQ(std::count(whole.begin(), whole.end(), true), static_cast<long>(box.samples.size()));
    }
}

// At the reduced sizes every early end is marked as at full size. A
// sequential picture large enough that the coefficients the size does not
// read are passed over (4096 blocks and more), cut in its data, with and
// without an end-of-image marker appended: not whole, its flag rising with
// the MCU row it rises with at full size, and the rows before that one
// those of the whole stream at that size. A progressive picture at 1/8,
// whose AC scans are passed over undecoded: not whole where the stream stops
// inside one or a scan has no data at all, with the rows of the stream cut
// in front of that scan. (An AC scan cut short and closed by an end-of-image
// marker looks whole to the eighth size, which does not decode it; its rows
// are exactly those of the stream cut in front of it.)
TEST(ScaledDecode, EveryEarlyEndIsMarked) {
    EncodeOptions optimised;
    optimised.optimize_huffman = true, optimised.sampling = Sampling::Grey, optimised.quality = 40;
    EncodeOptions progressive;
    progressive.progressive = true;
    const Bytes seq = e2e::encode(e2e::make_picture(520, 420, 3, 11), {}),
                grey_opt = e2e::encode(e2e::make_picture(512, 512, 1, 3), optimised),
                prog = e2e::encode(e2e::make_picture(320, 240, 3, 11), progressive);
    const auto data_of = [](const Bytes& jpeg) {
        return std::pair{e2e::segment_end(jpeg, e2e::find_markers(jpeg, 0xDA, 0xDA)[0]), jpeg.size() - 2};
    };
    struct Row {
        std::string what;
        Bytes stream;
        const Bytes* whole;  // the stream whose rows come before the early end
        bool sequential;
    };
    std::vector<Row> rows;
    for (const Bytes* jpeg : {&seq, &grey_opt}) {
        const auto [from, to] = data_of(*jpeg);
        for (size_t at : {from, from + 2, from + (to - from) / 3, to - 5}) {
            const std::string where = (jpeg == &seq ? "4:2:0" : "grey, optimised tables") + std::string(" cut at ") +
                                      std::to_string(at - from);
            rows.push_back({where, cut(*jpeg, at), jpeg, true});
            rows.push_back({where + ", end-of-image marker appended", e2e::with_eoi(cut(*jpeg, at)), jpeg, true});
        }
    }
    // Every 331st cut inside the optimised tables' data, closed by a marker.
    const auto [grey_from, grey_to] = data_of(grey_opt);
    for (size_t at = grey_from + 1; at < grey_to; at += 331)
        rows.push_back({"grey, optimised tables, EOI after " + std::to_string(at - grey_from),
                        e2e::with_eoi(cut(grey_opt, at)), &grey_opt, true});
    const auto sos = e2e::find_markers(prog, 0xDA, 0xDA);
    ASSERT_GE(sos.size(), 7u);
    const Bytes before_sixth = cut(prog, sos[5].offset), before_third = cut(prog, sos[2].offset);
    rows.push_back({"progressive, EOI after the sixth scan's header",
                    e2e::with_eoi(cut(prog, e2e::segment_end(prog, sos[5]))), &before_sixth, false});
    rows.push_back({"progressive, the sixth scan's header and nothing else", cut(prog, e2e::segment_end(prog, sos[5])),
                    &before_sixth, false});
    rows.push_back({"progressive, cut inside the third scan", cut(prog, (sos[2].offset + sos[3].offset) / 2),
                    &before_third, false});
    rows.push_back({"progressive, cut inside the DC scan, EOI appended",
                    e2e::with_eoi(cut(prog, (e2e::segment_end(prog, sos[0]) + sos[1].offset) / 2)), nullptr, false});
    std::map<std::pair<const Bytes*, int>, e2e::Decoded> wholes;
    for (const Row& row : rows) {
        const int full_from = row.sequential ? e2e::marivue_decode(row.stream).incomplete_from_row : 0;
        ASSERT_GE(full_from, 0) << row.what;
        for (int shift = row.sequential ? 1 : 3; shift <= 3; ++shift) {
            SCOPED_TRACE(row.what + " at 1/" + std::to_string(1 << shift));
            const e2e::Decoded got = library_decode(row.stream, 1 << shift);
            EXPECT_EQ(got.status, 0) << status_name(got.status);
            EXPECT_FALSE(got.complete);
            if (row.whole == nullptr) continue;
            size_t compared = got.pixels.size();
            if (row.sequential) {
                DecodeSettings reduced;
                reduced.scale_shift = shift;
                EXPECT_EQ(e2e::marivue_decode(row.stream, reduced).incomplete_from_row, full_from >> shift);
                compared = got.row_bytes * static_cast<size_t>(full_from >> shift);
            }
            auto found = wholes.find({row.whole, shift});
            if (found == wholes.end())
                found = wholes.emplace(std::pair{row.whole, shift}, library_decode(*row.whole, 1 << shift)).first;
            const e2e::Decoded& want = found->second;
            ASSERT_GE(want.pixels.size(), compared);
            EXPECT_TRUE(
                std::equal(got.pixels.begin(), got.pixels.begin() + static_cast<long>(compared), want.pixels.begin()));
        }
    }
    // The AC scan cut short and closed by a marker: not decoded at 1/8.
    const Bytes cut_third = e2e::with_eoi(cut(prog, (sos[2].offset + sos[3].offset) / 2));
    EXPECT_FALSE(library_decode(cut_third).complete);
    EXPECT_TRUE(library_decode(cut_third, 8).complete);
    EXPECT_EQ(library_decode(cut_third, 8).pixels, library_decode(before_third, 8).pixels);
}

}  // namespace
