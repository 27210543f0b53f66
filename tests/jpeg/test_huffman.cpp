// Huffman decode tables: building, symbol decoding and the extend rule.
#include "test_util.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace jt;

namespace {

// Table definitions held by the test and a decoder that points at them.
struct Tables {
    uint8_t bits[8][17] = {};
    uint8_t values[8][256] = {};
    void define(JpegDecoder& d, int slot, const HuffDef& def) {
        bits[slot][0] = 0;
        for (int i = 0; i < 16; ++i) bits[slot][i + 1] = def.counts[i];
        std::memset(values[slot], 0, 256);
        for (size_t i = 0; i < def.symbols.size(); ++i) values[slot][i] = def.symbols[i];
        d.huff_bits[slot] = bits[slot];
        d.huff_values[slot] = values[slot];
    }
};

HuffDef example_def() {
    HuffDef def;
    def.counts = {0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0};
    for (int i = 0; i < 12; ++i) def.symbols.push_back(static_cast<uint8_t>(i));
    return def;
}

// One code of each length 1 to 15 and one of length 16; symbol = length.
HuffDef staircase_def() {
    HuffDef def;
    for (int i = 0; i < 16; ++i) {
        def.counts[i] = 1;
        def.symbols.push_back(static_cast<uint8_t>(i + 1));
    }
    return def;
}

HuffDecodeTable built(JpegDecoder& d, int slot, uint8_t garbage = 0x5A) {
    HuffDecodeTable t;
    std::memset(&t, garbage, sizeof t);
    build_huff_table(d, slot, t);
    return t;
}

// A decoder whose entropy reader starts on the bits of `text` followed by
// 0x5A bytes, so consumption can be checked on what comes next.
struct BitStream : Harness {
    explicit BitStream(const char* text) : Harness(encode(text)) { EXPECT_EQ(init_entropy(), 0); }
    static Bytes encode(const char* text) {
        BitWriter w;
        w.put_bits(text);
        size_t n = w.bit_count();
        while (n % 8 != 0) {
            w.put(0, 1);
            ++n;
        }
        for (int i = 0; i < 8; ++i) w.put(0x5A, 8);
        return w.bytes();
    }
};

}  // namespace

TEST(BuildHuffTable, ExampleTable) {
    JpegDecoder d{};
    Tables tables;
    tables.define(d, 1, example_def());
    HuffDecodeTable t = built(d, 1);
    for (int i = 0; i < 64; ++i) EXPECT_EQ(t.lookahead[i], 0) << i;
    for (int s = 1; s <= 5; ++s)
        for (int i = 0; i < 32; ++i) EXPECT_EQ(t.lookahead[32 + 32 * s + i], s);
    for (int i = 224; i < 240; ++i) EXPECT_EQ(t.lookahead[i], 6);
    for (int i = 240; i < 248; ++i) EXPECT_EQ(t.lookahead[i], 7);
    for (int i = 248; i < 252; ++i) EXPECT_EQ(t.lookahead[i], 8);
    EXPECT_EQ(t.lookahead[252], 9);
    EXPECT_EQ(t.lookahead[253], 9);
    EXPECT_EQ(t.lookahead[254], 10);
    EXPECT_EQ(t.lookahead[255], -1);
    EXPECT_EQ(t.tree[0], 0);
    EXPECT_EQ(t.tree[1], 11);
    for (int i = 2; i < 512; ++i) EXPECT_EQ(t.tree[i], 0) << i;
    const int lengths[12] = {2, 3, 3, 3, 3, 3, 4, 5, 6, 7, 8, 9};
    for (int s = 0; s < 12; ++s) EXPECT_EQ(t.code_length[s], lengths[s]) << s;
    for (int s = 12; s < 256; ++s) EXPECT_EQ(t.code_length[s], 0) << s;
}

TEST(HuffDecode, ExampleTableStreams) {
    Tables tables;
    struct Case {
        const char* bits;
        int symbol;
        int consumed;
    };
    for (Case c : {Case{"111111110", 11, 9}, Case{"111111111", 0, 9}, Case{"00", 0, 2},
                   Case{"0010110", 0, 2}, Case{"010", 1, 3}, Case{"110", 5, 3},
                   Case{"1110", 6, 4}, Case{"11111110", 10, 8}}) {
        BitStream bs(c.bits);
        JpegDecoder& d = bs.dec();
        tables.define(d, 4, example_def());
        HuffDecodeTable t = built(d, 4);
        EXPECT_EQ(huff_decode(d, t), c.symbol) << c.bits;
        // What follows starts right after the consumed bits.
        std::string rest = std::string(c.bits).substr(c.consumed);
        BitWriter w;
        w.put_bits(rest.c_str());
        size_t n = rest.size();
        uint32_t expect = 0;
        for (char ch : rest) expect = expect << 1 | (ch == '1');
        int pad = static_cast<int>((8 - (std::strlen(c.bits) % 8)) % 8);
        expect <<= pad;  // zero bits up to the byte boundary
        expect = expect << 8 | 0x5A;
        int width = static_cast<int>(n) + pad + 8;
        EXPECT_EQ(get_bits(d, width), expect) << c.bits;
    }
}

TEST(BuildHuffTable, SingleOneBitCode) {
    JpegDecoder d{};
    Tables tables;
    HuffDef def;
    def.counts[0] = 1;
    def.symbols = {5};
    tables.define(d, 0, def);
    HuffDecodeTable t = built(d, 0);
    for (int i = 0; i < 128; ++i) EXPECT_EQ(t.lookahead[i], 5);
    for (int i = 128; i < 256; ++i) EXPECT_EQ(t.lookahead[i], 0);
    EXPECT_EQ(t.code_length[5], 1);
    EXPECT_EQ(t.code_length[0], 0);
}

TEST(HuffDecode, UnmatchedShortCodeConsumesNothing) {
    BitStream bs("10110011");
    JpegDecoder& d = bs.dec();
    Tables tables;
    HuffDef def;
    def.counts[0] = 1;
    def.symbols = {5};
    tables.define(d, 0, def);
    HuffDecodeTable t = built(d, 0);
    EXPECT_EQ(huff_decode(d, t), 0);
    EXPECT_EQ(huff_decode(d, t), 0);
    EXPECT_EQ(get_bits(d, 8), 0xB3u);
    // A 0 bit is the code of symbol 5.
    EXPECT_EQ(huff_decode(d, t), 5);
    EXPECT_EQ(get_bits(d, 7), 0x5Au & 0x7F);
}

TEST(BuildHuffTable, SixteenBitCodeTree) {
    JpegDecoder d{};
    Tables tables;
    tables.define(d, 7, staircase_def());
    HuffDecodeTable t = built(d, 7);
    EXPECT_EQ(t.lookahead[255], -1);
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(t.tree[2 * i + 1], 9 + i) << i;
        EXPECT_EQ(t.tree[2 * i], i < 7 ? -(2 * i + 3) : 0) << i;
    }
    for (int i = 16; i < 512; ++i) EXPECT_EQ(t.tree[i], 0);
    for (int s = 1; s <= 16; ++s) EXPECT_EQ(t.code_length[s], s);
}

TEST(HuffDecode, SixteenBitCode) {
    Tables tables;
    {
        BitStream bs("1111111111111110");
        tables.define(bs.dec(), 7, staircase_def());
        HuffDecodeTable t = built(bs.dec(), 7);
        EXPECT_EQ(huff_decode(bs.dec(), t), 16);
        EXPECT_EQ(get_bits(bs.dec(), 8), 0x5Au);
    }
    {
        // All ones: no code; the walk ends at the empty slot after 8 steps.
        BitStream bs("1111111111111111");
        tables.define(bs.dec(), 7, staircase_def());
        HuffDecodeTable t = built(bs.dec(), 7);
        EXPECT_EQ(huff_decode(bs.dec(), t), 0);
        EXPECT_EQ(get_bits(bs.dec(), 8), 0x5Au);
    }
    {
        BitStream bs("111111111110 1010");
        tables.define(bs.dec(), 7, staircase_def());
        HuffDecodeTable t = built(bs.dec(), 7);
        EXPECT_EQ(huff_decode(bs.dec(), t), 12);
        EXPECT_EQ(get_bits(bs.dec(), 4), 0xAu);
    }
}

TEST(BuildHuffTable, AllZeroCounts) {
    JpegDecoder d{};
    Tables tables;
    tables.define(d, 2, HuffDef{});
    HuffDecodeTable t = built(d, 2);
    HuffDecodeTable zero;
    std::memset(&zero, 0, sizeof zero);
    EXPECT_EQ(std::memcmp(&t, &zero, sizeof t), 0);

    BitStream bs("10100101");
    tables.define(bs.dec(), 2, HuffDef{});
    EXPECT_EQ(huff_decode(bs.dec(), t), 0);
    EXPECT_EQ(huff_decode(bs.dec(), t), 0);
    EXPECT_EQ(get_bits(bs.dec(), 8), 0xA5u);
}

TEST(BuildHuffTable, RebuildGivesTheSameTable) {
    JpegDecoder d{};
    Tables tables;
    tables.define(d, 3, example_def());
    tables.define(d, 5, staircase_def());
    HuffDecodeTable first = built(d, 3, 0x00);
    HuffDecodeTable t;
    std::memset(&t, 0xEE, sizeof t);
    build_huff_table(d, 5, t);  // a different table in the same block
    build_huff_table(d, 3, t);
    EXPECT_EQ(std::memcmp(&first, &t, sizeof t), 0);
    build_huff_table(d, 3, t);
    EXPECT_EQ(std::memcmp(&first, &t, sizeof t), 0);
}

TEST(BuildHuffTable, SymbolListedTwiceKeepsItsLastLength) {
    JpegDecoder d{};
    Tables tables;
    HuffDef def;
    def.counts[0] = 1;
    def.counts[1] = 1;
    def.symbols = {7, 7};
    tables.define(d, 0, def);
    HuffDecodeTable t = built(d, 0);
    EXPECT_EQ(t.code_length[7], 2);
    for (int i = 0; i < 192; ++i) EXPECT_EQ(t.lookahead[i], 7);
    for (int i = 192; i < 256; ++i) EXPECT_EQ(t.lookahead[i], 0);
}

TEST(HuffCounts, Validity) {
    auto valid = [](std::initializer_list<std::pair<int, int>> counts) {
        uint8_t bits[17] = {};
        for (auto [len, n] : counts) bits[len] = static_cast<uint8_t>(n);
        return huff_counts_valid(bits);
    };
    EXPECT_TRUE(valid({}));
    EXPECT_TRUE(valid({{2, 1}, {3, 5}, {4, 1}, {5, 1}, {6, 1}, {7, 1}, {8, 1}, {9, 1}}));
    EXPECT_TRUE(valid({{1, 2}}));
    EXPECT_FALSE(valid({{1, 3}}));
    EXPECT_TRUE(valid({{2, 4}}));
    EXPECT_FALSE(valid({{2, 5}}));
    EXPECT_FALSE(valid({{1, 2}, {2, 1}}));
    EXPECT_TRUE(valid({{8, 162}}));
    EXPECT_TRUE(valid({{8, 255}}));
    uint8_t stairs[17] = {0, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 2};
    EXPECT_TRUE(huff_counts_valid(stairs));
    stairs[16] = 3;
    EXPECT_FALSE(huff_counts_valid(stairs));
}

TEST(Extend, Values) {
    EXPECT_EQ(extend(0, 1), -1);
    EXPECT_EQ(extend(1, 1), 1);
    EXPECT_EQ(extend(2, 3), -5);
    EXPECT_EQ(extend(6, 3), 6);
    EXPECT_EQ(extend(0, 15), -32767);
    EXPECT_EQ(extend(16384, 15), 16384);
    EXPECT_EQ(extend(32767, 15), 32767);
    EXPECT_EQ(extend(0, 0), 0);
    for (int s = 1; s < 16; ++s) {
        EXPECT_EQ(extend_test[s], 1 << (s - 1)) << s;
        EXPECT_EQ(extend_offset[s], 1 - (1 << s)) << s;
    }
    EXPECT_EQ(extend_test[0], 0);
    EXPECT_EQ(extend_offset[0], 0);
}
