// Sequential decoding of one MCU row: DC prediction, AC runs, dequantisation,
// the incremental zero-fill of reused blocks and restart intervals.
#include "test_util.h"

#include <gtest/gtest.h>

using namespace jt;

namespace {

struct SeqStream {
    int width = 8, height = 8;
    std::vector<Component> comps = grey();
    std::array<int, 64> q0 = Stream::flat(1);
    int q0_precision = 0;
    int q1 = 1;
    int dri = 0;
    HuffDef dc0 = dc_def(), ac0 = ac_def(), dc1 = dc_def(), ac1 = ac_def();
    Bytes entropy;

    Bytes build() const {
        Stream s;
        s.soi().dqt(0, q0, q0_precision).dqt_flat(1, q1);
        s.dht(0, 0, dc0).dht(1, 0, ac0).dht(0, 1, dc1).dht(1, 1, ac1);
        s.sof(0xC0, width, height, comps);
        if (dri) s.dri(dri);
        s.sos(all_components(comps)).raw(entropy).eoi();
        return s.bytes;
    }
};

// A decoder ready to decode the first MCU row of `stream`.
struct Seq : Harness {
    explicit Seq(const SeqStream& stream) : Harness(stream.build()) {
        EXPECT_EQ(open_and_begin(), 0);
    }
    int32_t row() {
        return stage(dec(), [&] { decode_row_blocks(dec()); });
    }
    int16_t at(int block, int zz) const { return d->row_blocks[block][zigzag[zz]]; }
};

std::array<int, 64> ramp_quant() {
    std::array<int, 64> q{};
    for (int k = 0; k < 64; ++k) q[k] = k + 1;
    return q;
}

}  // namespace

TEST(ZigzagOrder, IsTheStandardSequence) {
    for (int k = 0; k < 64; ++k) EXPECT_EQ(zigzag_order[k], zigzag[k]) << k;
}

TEST(DecodeRowBlocks, EndOfBlockFirst) {
    SeqStream st;
    st.q0 = ramp_quant();
    HuffCodes dc(st.dc0), ac(st.ac0);
    BitWriter w;
    w.dc(dc, 5);
    w.symbol(ac, 0x00);
    st.entropy = w.bytes();
    Seq s(st);
    JpegDecoder& d = s.dec();
    ASSERT_EQ(d.block_last_nonzero[0], 64);
    for (int i = 0; i < 64; ++i) d.row_blocks[0][i] = 0x7777;
    ASSERT_EQ(s.row(), 0);
    EXPECT_EQ(d.row_blocks[0][0], 5);
    for (int i = 1; i < 64; ++i) EXPECT_EQ(d.row_blocks[0][i], 0) << i;
    EXPECT_EQ(d.block_last_nonzero[0], 1);
    EXPECT_EQ(d.last_dc[0], 5);
}

TEST(DecodeRowBlocks, DequantisesInZigzagOrder) {
    SeqStream st;
    st.q0 = ramp_quant();
    HuffCodes dc(st.dc0), ac(st.ac0);
    BitWriter w;
    w.dc(dc, -3);
    w.ac(ac, 0, 3);   // k = 1
    w.ac(ac, 0, -2);  // k = 2
    w.ac(ac, 3, 7);   // k = 6
    w.symbol(ac, 0x00);
    st.entropy = w.bytes();
    Seq s(st);
    ASSERT_EQ(s.row(), 0);
    JpegDecoder& d = s.dec();
    EXPECT_EQ(d.row_blocks[0][0], -3);
    EXPECT_EQ(s.at(0, 1), 6);
    EXPECT_EQ(s.at(0, 2), -6);
    EXPECT_EQ(s.at(0, 6), 49);
    EXPECT_EQ(d.row_blocks[0][3], 49);
    EXPECT_EQ(d.row_blocks[0][8], -6);
    for (int k : {3, 4, 5}) EXPECT_EQ(s.at(0, k), 0);
    for (int k = 7; k < 64; ++k) EXPECT_EQ(s.at(0, k), 0);
    EXPECT_EQ(d.block_last_nonzero[0], 7);
}

TEST(DecodeRowBlocks, CoefficientAt63EndsTheBlockWithoutEob) {
    SeqStream st;
    st.width = 16;
    HuffCodes dc(st.dc0), ac(st.ac0);
    BitWriter w;
    w.dc(dc, 1);
    w.ac(ac, 14, 1);  // k 1 -> 15
    w.symbol(ac, 0xF0);  // 16..31
    w.symbol(ac, 0xF0);  // 32..47
    w.ac(ac, 14, 1);  // k 48 -> 62
    w.ac(ac, 0, -1);  // 63
    w.dc(dc, 2);      // straight on with the next block
    w.symbol(ac, 0x00);
    st.entropy = w.bytes();
    Seq s(st);
    ASSERT_EQ(s.row(), 0);
    JpegDecoder& d = s.dec();
    EXPECT_EQ(s.at(0, 15), 1);
    EXPECT_EQ(s.at(0, 62), 1);
    EXPECT_EQ(s.at(0, 63), -1);
    for (int k = 16; k < 62; ++k) EXPECT_EQ(s.at(0, k), 0);
    EXPECT_EQ(d.block_last_nonzero[0], 64);
    EXPECT_EQ(d.row_blocks[1][0], 3);
    EXPECT_EQ(d.block_last_nonzero[1], 1);
}

TEST(DecodeRowBlocks, SixteenZerosAt48) {
    SeqStream st;
    st.width = 16;
    HuffCodes dc(st.dc0), ac(st.ac0);
    BitWriter w;
    w.dc(dc, 0);
    w.ac(ac, 14, 4);     // 15
    w.symbol(ac, 0xF0);  // 16..31
    w.symbol(ac, 0xF0);  // 32..47
    w.symbol(ac, 0xF0);  // 48..63
    w.dc(dc, -4);
    w.symbol(ac, 0x00);
    st.entropy = w.bytes();
    Seq s(st);
    ASSERT_EQ(s.row(), 0);
    EXPECT_EQ(s.at(0, 15), 4);
    EXPECT_EQ(s.dec().block_last_nonzero[0], 64);
    EXPECT_EQ(s.dec().row_blocks[1][0], -4);
}

TEST(DecodeRowBlocks, SixteenZerosAt49Fail) {
    SeqStream st;
    HuffCodes dc(st.dc0), ac(st.ac0);
    BitWriter w;
    w.dc(dc, 0);
    w.ac(ac, 15, 1);     // 16
    w.symbol(ac, 0xF0);  // 17..32
    w.symbol(ac, 0xF0);  // 33..48
    w.symbol(ac, 0xF0);  // 49..64: too far
    st.entropy = w.bytes();
    Seq s(st);
    EXPECT_EQ(s.row(), DecodeError);
}

TEST(DecodeRowBlocks, RunEndingAt63) {
    SeqStream st;
    HuffCodes dc(st.dc0), ac(st.ac0);
    BitWriter w;
    w.dc(dc, 0);
    w.ac(ac, 15, 1);     // 16
    w.symbol(ac, 0xF0);  // 17..32
    w.symbol(ac, 0xF0);  // 33..48
    w.ac(ac, 14, -9);    // 49 + 14 = 63
    st.entropy = w.bytes();
    Seq s(st);
    ASSERT_EQ(s.row(), 0);
    EXPECT_EQ(s.at(0, 16), 1);
    EXPECT_EQ(s.at(0, 63), -9);
    EXPECT_EQ(s.dec().block_last_nonzero[0], 64);
}

TEST(DecodeRowBlocks, RunPast63Fails) {
    SeqStream st;
    HuffCodes dc(st.dc0), ac(st.ac0);
    BitWriter w;
    w.dc(dc, 0);
    w.ac(ac, 15, 1);     // 16
    w.symbol(ac, 0xF0);  // 17..32
    w.symbol(ac, 0xF0);  // 33..48
    w.ac(ac, 15, 1);     // 49 + 15 = 64
    st.entropy = w.bytes();
    Seq s(st);
    EXPECT_EQ(s.row(), DecodeError);
    EXPECT_EQ(s.dec().source, nullptr);
}

TEST(DecodeRowBlocks, ZeroFillBelowThePreviousMarkOnly) {
    SeqStream st;
    HuffCodes dc(st.dc0), ac(st.ac0);
    BitWriter w;
    w.dc(dc, 1);
    w.ac(ac, 4, 2);   // 5
    w.ac(ac, 14, 3);  // 6 + 14 = 20
    w.symbol(ac, 0x00);
    st.entropy = w.bytes();
    Seq s(st);
    JpegDecoder& d = s.dec();
    // The buffer's previous use ended at mark 10; positions from 10 on are
    // known to hold 0, so what is found there here must not be touched.
    d.block_last_nonzero[0] = 10;
    for (int k = 0; k < 10; ++k) d.row_blocks[0][zigzag[k]] = 0x1111;
    for (int k = 10; k < 20; ++k) d.row_blocks[0][zigzag[k]] = 0x7777;
    ASSERT_EQ(s.row(), 0);
    EXPECT_EQ(s.at(0, 0), 1);
    for (int k = 1; k < 5; ++k) EXPECT_EQ(s.at(0, k), 0) << k;
    EXPECT_EQ(s.at(0, 5), 2);
    for (int k = 6; k < 10; ++k) EXPECT_EQ(s.at(0, k), 0) << k;
    for (int k = 10; k < 20; ++k) EXPECT_EQ(s.at(0, k), 0x7777) << k;
    EXPECT_EQ(s.at(0, 20), 3);
    for (int k = 21; k < 64; ++k) EXPECT_EQ(s.at(0, k), 0) << k;
    EXPECT_EQ(d.block_last_nonzero[0], 21);
}

TEST(DecodeRowBlocks, ReusedBlockIsClearedUpToItsOldMark) {
    // Two MCU rows through the same buffer: the second block ends earlier.
    SeqStream st;
    st.height = 16;
    HuffCodes dc(st.dc0), ac(st.ac0);
    BitWriter w;
    w.dc(dc, 2);
    for (int k = 1; k <= 12; ++k) w.ac(ac, 0, k);
    w.symbol(ac, 0x00);
    w.dc(dc, 1);
    w.ac(ac, 2, -5);  // 3
    w.symbol(ac, 0x00);
    st.entropy = w.bytes();
    Seq s(st);
    ASSERT_EQ(s.row(), 0);
    for (int k = 1; k <= 12; ++k) EXPECT_EQ(s.at(0, k), k);
    EXPECT_EQ(s.dec().block_last_nonzero[0], 13);
    ASSERT_EQ(s.row(), 0);
    EXPECT_EQ(s.at(0, 0), 3);
    EXPECT_EQ(s.at(0, 3), -5);
    for (int k = 1; k < 64; ++k)
        if (k != 3) {
            EXPECT_EQ(s.at(0, k), 0) << k;
        }
    EXPECT_EQ(s.dec().block_last_nonzero[0], 4);
}

TEST(DecodeRowBlocks, RestartIntervalThreeWithFiveMcusPerRow) {
    DcPicture pic;
    pic.width = 40;
    pic.height = 16;
    pic.restart_interval = 3;
    pic.dc = [](int, int bx, int by) { return 10 * by + bx + 1; };
    Harness h(pic.encode());
    ASSERT_EQ(h.open_and_begin(), 0);
    JpegDecoder& d = h.dec();
    EXPECT_EQ(d.restarts_left, 3u);
    EXPECT_EQ(d.next_restart_number, 0);
    ASSERT_EQ(stage(d, [&] { decode_row_blocks(d); }), 0);
    for (int m = 0; m < 5; ++m) EXPECT_EQ(d.row_blocks[m][0], m + 1) << m;
    EXPECT_EQ(d.restarts_left, 1u);
    EXPECT_EQ(d.next_restart_number, 1);
    ASSERT_EQ(stage(d, [&] { decode_row_blocks(d); }), 0);
    for (int m = 0; m < 5; ++m) EXPECT_EQ(d.row_blocks[m][0], 11 + m) << m;
    EXPECT_EQ(d.restarts_left, 2u);
    EXPECT_EQ(d.next_restart_number, 3);
    EXPECT_EQ(d.last_dc[0], 15);
}

TEST(DecodeRowBlocks, RestartResetsThePredictor) {
    // One MCU per interval, DC 4 everywhere: every block codes a
    // difference of 4 from a predictor of 0.
    SeqStream st;
    st.width = 24;
    st.dri = 1;
    HuffCodes dc(st.dc0), ac(st.ac0);
    BitWriter w;
    for (int m = 0; m < 3; ++m) {
        if (m) w.marker(0xD0 + m - 1);
        w.dc(dc, 4);
        w.symbol(ac, 0x00);
    }
    st.entropy = w.bytes();
    Seq s(st);
    ASSERT_EQ(s.row(), 0);
    for (int m = 0; m < 3; ++m) EXPECT_EQ(s.dec().row_blocks[m][0], 4) << m;
}

TEST(DecodeRowBlocks, DcSizeAbove15IsRefused) {
    SeqStream st;
    std::vector<uint8_t> sizes;
    for (int i = 0; i <= 16; ++i) sizes.push_back(static_cast<uint8_t>(i));
    st.dc0 = uniform_def(sizes);
    HuffCodes dc(st.dc0), ac(st.ac0);
    BitWriter w;
    w.symbol(dc, 16);
    w.put(0x1234, 16);
    w.symbol(ac, 0x00);
    st.entropy = w.bytes();
    Seq s(st);
    EXPECT_EQ(s.row(), DecodeError);
}

TEST(DecodeRowBlocks, ProductsKeepTheirLow16Bits) {
    SeqStream st;
    st.q0 = Stream::flat(255);
    HuffCodes dc(st.dc0), ac(st.ac0);
    BitWriter w;
    w.dc(dc, 2047);
    w.ac(ac, 0, 1023);
    w.ac(ac, 0, -1023);
    w.symbol(ac, 0x00);
    st.entropy = w.bytes();
    Seq s(st);
    ASSERT_EQ(s.row(), 0);
    EXPECT_EQ(s.at(0, 0), -2303);  // 2047 x 255 = 521985
    EXPECT_EQ(s.at(0, 1), -1279);  // 1023 x 255 = 260865
    EXPECT_EQ(s.at(0, 2), 1279);
}

TEST(DecodeRowBlocks, SixteenBitQuantisationEntries) {
    SeqStream st;
    st.q0 = Stream::flat(0x7FFF);
    st.q0[1] = 0xFFFF;
    st.q0_precision = 1;
    HuffCodes dc(st.dc0), ac(st.ac0);
    BitWriter w;
    w.dc(dc, 2);
    w.ac(ac, 0, 3);
    w.symbol(ac, 0x00);
    st.entropy = w.bytes();
    Seq s(st);
    ASSERT_EQ(s.row(), 0);
    EXPECT_EQ(s.at(0, 0), -2);  // 2 x 32767 = 65534
    EXPECT_EQ(s.at(0, 1), -3);  // 3 x -1
}

TEST(DecodeRowBlocks, StuffedBytesInsideTheData) {
    SeqStream st;
    st.width = 24;
    HuffCodes dc(st.dc0), ac(st.ac0);
    BitWriter w;
    w.dc(dc, 0);
    w.symbol(ac, 0x00);  // 12 bits so far
    w.dc(dc, 2047);      // 1011 then eleven 1-bits: a whole 0xFF byte
    w.symbol(ac, 0x00);
    w.dc(dc, -2047);
    w.symbol(ac, 0x00);
    st.entropy = w.bytes();
    bool stuffed = false;
    for (size_t i = 0; i + 1 < st.entropy.size(); ++i)
        stuffed |= st.entropy[i] == 0xFF && st.entropy[i + 1] == 0x00;
    ASSERT_TRUE(stuffed);
    Seq s(st);
    ASSERT_EQ(s.row(), 0);
    EXPECT_EQ(s.dec().row_blocks[0][0], 0);
    EXPECT_EQ(s.dec().row_blocks[1][0], 2047);
    EXPECT_EQ(s.dec().row_blocks[2][0], 0);
}

TEST(DecodeRowBlocks, PredictionCarriesAcrossRows) {
    DcPicture pic;
    pic.width = 8;
    pic.height = 24;
    pic.dc = [](int, int, int by) { return by == 0 ? 5 : by == 1 ? 8 : -3; };
    Harness h(pic.encode());
    ASSERT_EQ(h.open_and_begin(), 0);
    JpegDecoder& d = h.dec();
    for (int expect : {5, 8, -3}) {
        ASSERT_EQ(stage(d, [&] { decode_row_blocks(d); }), 0);
        EXPECT_EQ(d.row_blocks[0][0], expect);
    }
}

TEST(DecodeRowBlocks, H2V2BlockOrderAndComponentTables) {
    SeqStream st;
    st.width = 32;
    st.height = 16;
    st.comps = ycc(2, 2);
    st.q1 = 3;
    // Chroma DC codes in the opposite order from the luma ones.
    std::vector<uint8_t> reversed;
    for (int i = 11; i >= 0; --i) reversed.push_back(static_cast<uint8_t>(i));
    st.dc1 = uniform_def(reversed);
    st.ac1 = uniform_def({0x00, 0x01, 0x02});
    HuffCodes dc0(st.dc0), ac0(st.ac0), dc1(st.dc1), ac1(st.ac1);
    BitWriter w;
    int last[3] = {0, 0, 0};
    auto block = [&](int c, int value) {
        w.dc(c == 0 ? dc0 : dc1, value - last[c]);
        last[c] = value;
        w.symbol(c == 0 ? ac0 : ac1, 0x00);
    };
    for (int m = 0; m < 2; ++m) {
        for (int i = 0; i < 4; ++i) block(0, 10 * m + i + 1);
        block(1, 10 + m);
        block(2, -7 - m);
    }
    st.entropy = w.bytes();
    Seq s(st);
    ASSERT_EQ(s.dec().blocks_per_mcu, 6);
    ASSERT_EQ(s.row(), 0);
    JpegDecoder& d = s.dec();
    for (int m = 0; m < 2; ++m) {
        for (int i = 0; i < 4; ++i) EXPECT_EQ(d.row_blocks[6 * m + i][0], 10 * m + i + 1);
        EXPECT_EQ(d.row_blocks[6 * m + 4][0], 3 * (10 + m));
        EXPECT_EQ(d.row_blocks[6 * m + 5][0], 3 * (-7 - m));
    }
    EXPECT_EQ(d.last_dc[0], 14);
    EXPECT_EQ(d.last_dc[1], 11);
    EXPECT_EQ(d.last_dc[2], -8);
}
