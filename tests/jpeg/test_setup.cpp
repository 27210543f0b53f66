// Frame set-up (scheme, geometry, buffers, colour tables) and scan set-up
// (scan geometry, table checks, state reset).
#include "test_util.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace jt;

namespace {

struct Factors {
    int h, v;
};

// A bare decoder holding frame header fields only.
struct Frame : Harness {
    Frame(int width, int height, std::vector<Factors> factors) {
        JpegDecoder& d = dec();
        d.image_width = width;
        d.image_height = height;
        d.frame_component_count = static_cast<int32_t>(factors.size());
        for (size_t i = 0; i < factors.size() && i < 4; ++i) {
            d.comp_h_factor[i] = factors[i].h;
            d.comp_v_factor[i] = factors[i].v;
            d.comp_id[i] = static_cast<int32_t>(i + 1);
            d.comp_quant_index[i] = i == 0 ? 0 : 1;
        }
    }
    int32_t start() {
        return stage(dec(), [&] { start_frame(dec()); });
    }
};

std::vector<Factors> h2v2() { return {{2, 2}, {1, 1}, {1, 1}}; }

bool pool_empty(const JpegDecoder& d) {
    for (void* p : d.pool_blocks)
        if (p != nullptr) return false;
    return true;
}

bool aligned8(const void* p) { return reinterpret_cast<uintptr_t>(p) % 8 == 0; }

}  // namespace

// ---- frame set-up -----------------------------------------------------------

TEST(StartFrame, GreyWidthOne) {
    Frame f(1, 1, {{1, 1}});
    ASSERT_EQ(f.start(), 0);
    JpegDecoder& d = f.dec();
    EXPECT_EQ(d.output_scheme, SchemeGrey);
    EXPECT_EQ(d.mcu_width, 8);
    EXPECT_EQ(d.mcu_height, 8);
    EXPECT_EQ(d.blocks_per_output_mcu, 1);
    EXPECT_EQ(d.bytes_per_pixel, 1);
    EXPECT_EQ(d.mcus_per_row, 1);
    EXPECT_EQ(d.mcus_per_column, 1);
    EXPECT_EQ(d.output_row_bytes, 1);
    EXPECT_EQ(d.padded_row_bytes, 16);
    EXPECT_EQ(d.row_block_count, 1);
    EXPECT_EQ(d.rows_remaining, 1);
    EXPECT_EQ(d.mcu_rows_remaining, 0);
}

TEST(StartFrame, H2V2Width240) {
    Frame f(240, 160, h2v2());
    ASSERT_EQ(f.start(), 0);
    JpegDecoder& d = f.dec();
    EXPECT_EQ(d.output_scheme, SchemeH2V2);
    EXPECT_EQ(d.mcu_width, 16);
    EXPECT_EQ(d.mcu_height, 16);
    EXPECT_EQ(d.blocks_per_output_mcu, 6);
    EXPECT_EQ(d.bytes_per_pixel, 4);
    EXPECT_EQ(d.mcus_per_row, 15);
    EXPECT_EQ(d.row_block_count, 90);
    EXPECT_EQ(d.output_row_bytes, 960);
    EXPECT_EQ(d.padded_row_bytes, 960);
    EXPECT_EQ(d.mcus_per_column, 10);
    EXPECT_EQ(d.rows_remaining, 160);
}

TEST(StartFrame, H2V2Width241) {
    Frame f(241, 161, h2v2());
    ASSERT_EQ(f.start(), 0);
    JpegDecoder& d = f.dec();
    EXPECT_EQ(d.mcus_per_row, 16);
    EXPECT_EQ(d.row_block_count, 96);
    EXPECT_EQ(d.output_row_bytes, 964);
    EXPECT_EQ(d.padded_row_bytes, 1024);
    EXPECT_EQ(d.mcus_per_column, 11);
}

TEST(StartFrame, H1V2Width8192) {
    Frame f(8192, 20, {{1, 2}, {1, 1}, {1, 1}});
    ASSERT_EQ(f.start(), 0);
    JpegDecoder& d = f.dec();
    EXPECT_EQ(d.output_scheme, SchemeH1V2);
    EXPECT_EQ(d.mcu_width, 8);
    EXPECT_EQ(d.mcu_height, 16);
    EXPECT_EQ(d.blocks_per_output_mcu, 4);
    EXPECT_EQ(d.mcus_per_row, 1024);
    EXPECT_EQ(d.row_block_count, 4096);
    EXPECT_EQ(d.mcus_per_column, 2);
}

TEST(StartFrame, SchemeChoice) {
    struct Case {
        std::vector<Factors> factors;
        int32_t scheme, mcu_w, mcu_h, blocks;
    };
    for (const Case& c : {Case{{{1, 1}, {1, 1}, {1, 1}}, SchemeH1V1, 8, 8, 3},
                          Case{{{2, 1}, {1, 1}, {1, 1}}, SchemeH2V1, 16, 8, 4},
                          Case{{{1, 2}, {1, 1}, {1, 1}}, SchemeH1V2, 8, 16, 4},
                          Case{{{2, 2}, {1, 1}, {1, 1}}, SchemeH2V2, 16, 16, 6},
                          Case{{{2, 2}}, SchemeGrey, 8, 8, 1}, Case{{{4, 3}}, SchemeGrey, 8, 8, 1}}) {
        Frame f(40, 24, c.factors);
        ASSERT_EQ(f.start(), 0);
        EXPECT_EQ(f.dec().output_scheme, c.scheme);
        EXPECT_EQ(f.dec().mcu_width, c.mcu_w);
        EXPECT_EQ(f.dec().mcu_height, c.mcu_h);
        EXPECT_EQ(f.dec().blocks_per_output_mcu, c.blocks);
        EXPECT_EQ(f.dec().mcus_per_row, (40 + c.mcu_w - 1) / c.mcu_w);
        EXPECT_EQ(f.dec().row_block_count, c.blocks * ((40 + c.mcu_w - 1) / c.mcu_w));
    }
}

TEST(StartFrame, RefusedLayouts) {
    struct Case {
        std::vector<Factors> factors;
        int32_t status;
    };
    for (const Case& c : {Case{{}, UnsupportedComponents},
                          Case{{{1, 1}, {1, 1}}, UnsupportedComponents},
                          Case{{{1, 1}, {1, 1}, {1, 1}, {1, 1}}, UnsupportedComponents},
                          Case{{{2, 2}, {2, 1}, {1, 1}}, UnsupportedSampling},
                          Case{{{1, 1}, {1, 1}, {1, 2}}, UnsupportedSampling},
                          Case{{{4, 1}, {2, 1}, {1, 1}}, UnsupportedSampling},
                          Case{{{3, 3}, {1, 1}, {2, 2}}, UnsupportedSampling},
                          Case{{{4, 1}, {1, 1}, {1, 1}}, UnsupportedSampling},
                          Case{{{1, 3}, {1, 1}, {1, 1}}, UnsupportedSampling},
                          Case{{{0, 1}, {1, 1}, {1, 1}}, UnsupportedSampling},
                          Case{{{0, 1}}, UnsupportedSampling}, Case{{{1, 0}}, UnsupportedSampling},
                          Case{{{0, 0}}, UnsupportedSampling}}) {
        Frame f(16, 16, c.factors);
        EXPECT_EQ(f.start(), c.status) << c.factors.size();
        EXPECT_TRUE(pool_empty(f.dec()));
    }
}

TEST(StartFrame, RowBlockLimit) {
    {
        Frame f(12288, 16, {{1, 2}, {1, 1}, {1, 1}});
        ASSERT_EQ(f.start(), 0);
        EXPECT_EQ(f.dec().row_block_count, 6144);
    }
    {
        Frame f(12296, 16, {{1, 2}, {1, 1}, {1, 1}});
        EXPECT_EQ(f.start(), BufferLimit);
        EXPECT_TRUE(pool_empty(f.dec()));
    }
}

TEST(StartFrame, RowBuffers) {
    Frame f(241, 40, h2v2());
    ASSERT_EQ(f.start(), 0);
    JpegDecoder& d = f.dec();
    int n = d.row_block_count;
    ASSERT_EQ(n, 96);
    ASSERT_NE(d.row_blocks[0], nullptr);
    EXPECT_TRUE(aligned8(d.row_blocks[0]));
    for (int i = 0; i < n; ++i) {
        EXPECT_EQ(reinterpret_cast<uint8_t*>(d.row_blocks[i]),
                  reinterpret_cast<uint8_t*>(d.row_blocks[0]) + 128 * i);
        EXPECT_EQ(d.block_last_nonzero[i], 64);
        for (int k = 0; k < 64; ++k) ASSERT_EQ(d.row_blocks[i][k], 0);
    }
    EXPECT_EQ(d.row_blocks[n], nullptr);
    EXPECT_EQ(d.row_blocks[max_row_blocks - 1], nullptr);
    // The whole block store and sample store are usable.
    std::memset(d.row_blocks[0], 0x11, static_cast<size_t>(n) * 128);
    ASSERT_NE(d.sample_rows, nullptr);
    EXPECT_TRUE(aligned8(d.sample_rows));
    std::memset(d.sample_rows, 0x22, static_cast<size_t>(n) * 64);
    ASSERT_NE(d.out_row_0, nullptr);
    ASSERT_NE(d.out_row_1, nullptr);
    EXPECT_NE(d.out_row_0, d.out_row_1);
    EXPECT_TRUE(aligned8(d.out_row_0));
    EXPECT_TRUE(aligned8(d.out_row_1));
    for (int i = 0; i < d.padded_row_bytes; ++i) {
        ASSERT_EQ(d.out_row_0[i], 0);
        ASSERT_EQ(d.out_row_1[i], 0);
    }
    std::memset(d.out_row_0, 0x33, static_cast<size_t>(d.padded_row_bytes));
    std::memset(d.out_row_1, 0x44, static_cast<size_t>(d.padded_row_bytes));
    EXPECT_EQ(d.sample_rows[0], 0x22);
    EXPECT_EQ(d.row_blocks[n - 1][63], 0x1111);
}

TEST(ColourTables, Values) {
    Frame f(8, 8, {{1, 1}});
    ASSERT_EQ(f.start(), 0);
    JpegDecoder& d = f.dec();
    EXPECT_EQ(d.cr_to_red[128], 0);
    EXPECT_EQ(d.cb_to_blue[128], 0);
    EXPECT_EQ(d.cr_to_green[128], 0);
    EXPECT_EQ(d.cb_to_green[128], 32768);
    EXPECT_EQ(d.cr_to_red[0], -179);
    EXPECT_EQ(d.cr_to_red[255], 178);
    EXPECT_EQ(d.cb_to_blue[0], -227);
    EXPECT_EQ(d.cb_to_blue[255], 225);
    EXPECT_EQ((d.cb_to_green[0] + d.cr_to_green[0]) >> 16, 135);
    EXPECT_EQ((d.cb_to_green[255] + d.cr_to_green[255]) >> 16, -134);
    for (int i = 0; i < 256; ++i) {
        int64_t x = i - 128;
        EXPECT_EQ(d.cr_to_red[i], static_cast<int32_t>((91882 * x + 32768) >> 16)) << i;
        EXPECT_EQ(d.cb_to_blue[i], static_cast<int32_t>((116130 * x + 32768) >> 16)) << i;
        EXPECT_EQ(d.cr_to_green[i], static_cast<int32_t>(-46802 * x)) << i;
        EXPECT_EQ(d.cb_to_green[i], static_cast<int32_t>(-22554 * x + 32768)) << i;
    }
}

// ---- scan geometry ----------------------------------------------------------

namespace {
void set_scan(JpegDecoder& d, std::vector<int> comps) {
    d.scan_component_count = static_cast<int32_t>(comps.size());
    for (size_t i = 0; i < comps.size(); ++i) d.scan_components[i] = comps[i];
}
}  // namespace

TEST(ScanGeometry, SingleComponentScansOf241Wide) {
    Frame f(241, 17, h2v2());
    JpegDecoder& d = f.dec();
    set_scan(d, {1});
    compute_scan_geometry(d);
    EXPECT_EQ(d.comp_blocks_wide[0], 31);
    EXPECT_EQ(d.comp_blocks_wide[1], 16);
    EXPECT_EQ(d.comp_blocks_wide[2], 16);
    EXPECT_EQ(d.comp_blocks_high[0], 3);
    EXPECT_EQ(d.comp_blocks_high[1], 2);
    EXPECT_EQ(d.comp_blocks_high[2], 2);
    EXPECT_EQ(d.mcus_across, 16);
    EXPECT_EQ(d.mcus_down, 2);
    EXPECT_EQ(d.blocks_per_mcu, 1);
    EXPECT_EQ(d.mcu_block_component[0], 1);
    set_scan(d, {0});
    compute_scan_geometry(d);
    EXPECT_EQ(d.mcus_across, 31);
    EXPECT_EQ(d.mcus_down, 3);
    EXPECT_EQ(d.blocks_per_mcu, 1);
    EXPECT_EQ(d.mcu_block_component[0], 0);
}

TEST(ScanGeometry, InterleavedH2V2) {
    Frame f(241, 17, h2v2());
    JpegDecoder& d = f.dec();
    set_scan(d, {0, 1, 2});
    compute_scan_geometry(d);
    EXPECT_EQ(d.blocks_per_mcu, 6);
    const int expect[6] = {0, 0, 0, 0, 1, 2};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(d.mcu_block_component[i], expect[i]) << i;
    EXPECT_EQ(d.mcus_across, 16);
    EXPECT_EQ(d.mcus_down, 2);
}

TEST(ScanGeometry, InterleavedInScanOrder) {
    Frame f(32, 32, h2v2());
    JpegDecoder& d = f.dec();
    set_scan(d, {2, 0});
    compute_scan_geometry(d);
    EXPECT_EQ(d.blocks_per_mcu, 5);
    const int expect[5] = {2, 0, 0, 0, 0};
    for (int i = 0; i < 5; ++i) EXPECT_EQ(d.mcu_block_component[i], expect[i]) << i;
}

TEST(ScanGeometry, GreyWithLargeFactors) {
    Frame f(20, 9, {{2, 2}});
    JpegDecoder& d = f.dec();
    set_scan(d, {0});
    compute_scan_geometry(d);
    EXPECT_EQ(d.blocks_per_mcu, 1);
    EXPECT_EQ(d.mcus_across, 3);
    EXPECT_EQ(d.mcus_down, 2);
}

// ---- table checks -----------------------------------------------------------

namespace {
struct TableFrame : Frame {
    uint8_t bits[8][17] = {};
    uint8_t values[8][256] = {};
    int16_t quant[4][64] = {};
    TableFrame() : Frame(16, 16, h2v2()) {}
    void huff(int slot, const HuffDef& def) {
        for (int i = 0; i < 16; ++i) bits[slot][i + 1] = def.counts[i];
        for (size_t i = 0; i < def.symbols.size(); ++i) values[slot][i] = def.symbols[i];
        dec().huff_bits[slot] = bits[slot];
        dec().huff_values[slot] = values[slot];
    }
    void quant_table(int q) { dec().quant_tables[q] = quant[q]; }
    void scan(int c, int dc, int ac, int ss, int se) {
        set_scan(dec(), {c});
        dec().comp_dc_table[c] = dc;
        dec().comp_ac_table[c] = ac;
        dec().spectral_first = ss;
        dec().spectral_last = se;
    }
    int32_t huff_check() {
        return stage(dec(), [&] { prepare_huff_tables(dec()); });
    }
    int32_t quant_check() {
        return stage(dec(), [&] { check_quant_tables(dec()); });
    }
};
}  // namespace

TEST(HuffTables, DefinedSlotsAreAllBuilt) {
    TableFrame f;
    f.huff(0, dc_def());
    f.huff(4, ac_def());
    f.huff(2, uniform_def({3, 4}));
    f.scan(0, 0, 4, 0, 63);
    ASSERT_EQ(f.huff_check(), 0);
    JpegDecoder& d = f.dec();
    for (int slot : {0, 2, 4}) {
        ASSERT_NE(d.huff_decode_tables[slot], nullptr) << slot;
        HuffDecodeTable expect;
        build_huff_table(d, slot, expect);
        EXPECT_EQ(std::memcmp(&expect, d.huff_decode_tables[slot], sizeof expect), 0) << slot;
    }
    for (int slot : {1, 3, 5, 6, 7}) EXPECT_EQ(d.huff_decode_tables[slot], nullptr) << slot;
}

TEST(HuffTables, RedefinedSlotRebuiltInPlace) {
    TableFrame f;
    f.huff(0, dc_def());
    f.huff(4, ac_def());
    f.scan(0, 0, 4, 0, 63);
    ASSERT_EQ(f.huff_check(), 0);
    JpegDecoder& d = f.dec();
    HuffDecodeTable* before = d.huff_decode_tables[4];
    f.huff(4, uniform_def({0x00, 0x11}));
    ASSERT_EQ(f.huff_check(), 0);
    EXPECT_EQ(d.huff_decode_tables[4], before);
    HuffDecodeTable expect;
    build_huff_table(d, 4, expect);
    EXPECT_EQ(std::memcmp(&expect, before, sizeof expect), 0);
    EXPECT_EQ(before->lookahead[0], 0x00);
    EXPECT_EQ(before->lookahead[255], 0);
}

TEST(HuffTables, MissingTables) {
    {
        TableFrame f;
        f.huff(4, ac_def());
        f.scan(0, 0, 4, 0, 63);
        EXPECT_EQ(f.huff_check(), HuffTableMissing);
    }
    {
        TableFrame f;
        f.huff(0, dc_def());
        f.scan(0, 0, 4, 0, 63);
        EXPECT_EQ(f.huff_check(), HuffTableMissing);
    }
    {
        // An AC band needs no DC table.
        TableFrame f;
        f.huff(5, ac_def());
        f.scan(1, 0, 5, 1, 63);
        EXPECT_EQ(f.huff_check(), 0);
    }
    {
        // A DC scan (first or refinement) needs no AC table, but its DC table.
        TableFrame f;
        f.huff(1, dc_def());
        f.scan(2, 1, 7, 0, 0);
        EXPECT_EQ(f.huff_check(), 0);
        TableFrame g;
        g.scan(2, 1, 7, 0, 0);
        EXPECT_EQ(g.huff_check(), HuffTableMissing);
    }
}

TEST(HuffTables, TableNumberAboveThreeNamesNoTable) {
    {
        // DC number 5 would reach the AC slot 5, which is defined.
        TableFrame f;
        f.huff(5, dc_def());
        f.huff(4, ac_def());
        f.scan(0, 5, 4, 0, 63);
        EXPECT_EQ(f.huff_check(), HuffTableMissing);
    }
    {
        TableFrame f;
        f.huff(0, dc_def());
        for (int s = 4; s < 8; ++s) f.huff(s, ac_def());
        f.scan(0, 0, 8, 0, 63);
        EXPECT_EQ(f.huff_check(), HuffTableMissing);
    }
    {
        TableFrame f;
        f.huff(0, dc_def());
        f.scan(0, 0, 4 + 15, 1, 5);
        EXPECT_EQ(f.huff_check(), HuffTableMissing);
    }
}

TEST(QuantTables, MissingOrOutOfRange) {
    {
        TableFrame f;
        f.quant_table(0);
        set_scan(f.dec(), {0, 1, 2});
        EXPECT_EQ(f.quant_check(), QuantTableMissing);
    }
    {
        TableFrame f;
        f.quant_table(0);
        f.quant_table(1);
        set_scan(f.dec(), {0, 1, 2});
        EXPECT_EQ(f.quant_check(), 0);
    }
    {
        TableFrame f;
        f.quant_table(0);
        set_scan(f.dec(), {0});
        EXPECT_EQ(f.quant_check(), 0);  // component 1's table is not this scan's concern
    }
    {
        TableFrame f;
        for (int q = 0; q < 4; ++q) f.quant_table(q);
        f.dec().comp_quant_index[0] = 4;
        set_scan(f.dec(), {0});
        EXPECT_EQ(f.quant_check(), QuantTableMissing);
    }
    {
        TableFrame f;
        for (int q = 0; q < 4; ++q) f.quant_table(q);
        f.dec().comp_quant_index[0] = 255;
        set_scan(f.dec(), {0});
        EXPECT_EQ(f.quant_check(), QuantTableMissing);
    }
}

// ---- scan start -------------------------------------------------------------

namespace {
// A progressive three-component stream up to and including one scan header
// for the luma DC, followed by `data`.
Bytes luma_dc_scan(bool with_dri, bool with_quant = true, bool with_dc = true) {
    Stream s;
    s.soi();
    if (with_quant) s.dqt_flat(0, 1).dqt_flat(1, 1);
    s.sof(0xC2, 16, 16, ycc(2, 2));
    if (with_dri) s.dri(4);
    if (with_dc) s.dht(0, 0, dc_def());
    s.sos({{1, 0, 0}}, 0, 0, 0, 0).raw({0x12, 0x34, 0x56, 0x78, 0x9A}).eoi();
    return s.bytes;
}

struct ScanStart : Harness {
    explicit ScanStart(const Bytes& data) : Harness(data) {
        EXPECT_EQ(open(), 0);
        EXPECT_EQ(stage(dec(), [&] { start_frame(dec()); }), 0);
        JpegDecoder& d = dec();
        for (int c = 0; c < 3; ++c) d.last_dc[c] = 9 + c;
        d.eob_run = 5;
        d.restarts_left = 77;
        d.next_restart_number = 5;
    }
    int32_t run(bool* found = nullptr) {
        return stage(dec(), [&] {
            bool f = start_scan(dec());
            if (found) *found = f;
        });
    }
};
}  // namespace

TEST(StartScan, ResetsStateAndStartsTheEntropyReader) {
    ScanStart s(luma_dc_scan(false));
    bool found = false;
    ASSERT_EQ(s.run(&found), 0);
    EXPECT_TRUE(found);
    JpegDecoder& d = s.dec();
    for (int c = 0; c < 3; ++c) EXPECT_EQ(d.last_dc[c], 0) << c;
    EXPECT_EQ(d.eob_run, 0);
    // No restart interval: the counters are left alone.
    EXPECT_EQ(d.restarts_left, 77u);
    EXPECT_EQ(d.next_restart_number, 5);
    EXPECT_EQ(d.mcus_across, 2);
    EXPECT_EQ(d.blocks_per_mcu, 1);
    EXPECT_NE(d.huff_decode_tables[0], nullptr);
    EXPECT_EQ(get_bits(d, 16), 0x1234u);
    EXPECT_EQ(get_bits(d, 8), 0x56u);
}

TEST(StartScan, RestartCountersSetWithAnInterval) {
    ScanStart s(luma_dc_scan(true));
    ASSERT_EQ(s.run(), 0);
    EXPECT_EQ(s.dec().restarts_left, 4u);
    EXPECT_EQ(s.dec().next_restart_number, 0);
}

TEST(StartScan, EndOfImage) {
    Stream st;
    st.soi().dqt_flat(0, 1).sof(0xC2, 16, 16, grey()).dht(0, 0, dc_def()).eoi();
    ScanStart s(st.bytes);
    bool found = true;
    ASSERT_EQ(s.run(&found), 0);
    EXPECT_FALSE(found);
}

TEST(StartScan, HuffmanCheckedBeforeQuantisation) {
    ScanStart s(luma_dc_scan(false, false, false));
    EXPECT_EQ(s.run(), HuffTableMissing);
    ScanStart t(luma_dc_scan(false, false, true));
    EXPECT_EQ(t.run(), QuantTableMissing);
}

TEST(StartSequential, EndOfImageBeforeTheScan) {
    Stream s = sequential_head(8, 8, grey());
    s.eoi();
    Harness h(s.bytes);
    EXPECT_EQ(h.open_and_begin(), UnexpectedMarker);
}

TEST(StartSequential, OtherMarkerWhereTheScanMustCome) {
    Stream s = sequential_head(8, 8, grey());
    s.sof(0xC0, 8, 8, grey());
    Harness h(s.bytes);
    EXPECT_EQ(h.open_and_begin(), UnexpectedMarker);
}

TEST(StartSequential, FirstScanMustCarryEveryComponentInFrameOrder) {
    auto status = [](std::vector<ScanComponent> scan) {
        Stream s = sequential_head(16, 16, ycc(1, 1));
        s.sos(scan).raw({0x00, 0x00}).eoi();
        Harness h(s.bytes);
        return h.open_and_begin();
    };
    EXPECT_EQ(status({{1, 0, 0}, {2, 1, 1}, {3, 1, 1}}), 0);
    EXPECT_EQ(status({{1, 0, 0}}), SequentialScanUnsupported);
    EXPECT_EQ(status({{2, 1, 1}}), SequentialScanUnsupported);
    EXPECT_EQ(status({{1, 0, 0}, {3, 1, 1}, {2, 1, 1}}), SequentialScanUnsupported);
    EXPECT_EQ(status({{1, 0, 0}, {2, 1, 1}}), SequentialScanUnsupported);
}

TEST(StartSequential, ScanNamingAComponentTwice) {
    Stream s = sequential_head(16, 16, ycc(1, 1));
    s.sos({{1, 0, 0}, {1, 0, 0}, {2, 1, 1}, {3, 1, 1}}).raw({0x00}).eoi();
    Harness h(s.bytes);
    EXPECT_EQ(h.open_and_begin(), ScanComponentRepeated);
}

TEST(StartSequential, ReadyState) {
    DcPicture pic;
    pic.width = 40;
    pic.height = 20;
    pic.comps = ycc(2, 1);
    Harness h(pic.encode());
    ASSERT_EQ(h.open_and_begin(), 0);
    JpegDecoder& d = h.dec();
    EXPECT_EQ(d.output_scheme, SchemeH2V1);
    EXPECT_EQ(d.rows_remaining, 20);
    EXPECT_EQ(d.mcu_rows_remaining, 0);
    EXPECT_EQ(d.mcus_across, 3);
    EXPECT_EQ(d.blocks_per_mcu, 4);
    EXPECT_EQ(d.spectral_first, 0);
    EXPECT_EQ(d.spectral_last, 63);
}
