// The inverse DCT of one block and of a whole MCU row.
#include "test_util.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

using namespace jt;

namespace {

// The 1-D transform in plain 32-bit wrapping arithmetic, without shortcuts.
void transform(const int32_t d[8], int32_t y[8]) {
    auto u = [](int32_t v) { return static_cast<uint32_t>(v); };
    auto s = [](uint32_t v) { return static_cast<int32_t>(v); };
    uint32_t z1 = (u(d[2]) + u(d[6])) * 4433u;
    uint32_t t2 = z1 - u(d[6]) * 15137u;
    uint32_t t3 = z1 + u(d[2]) * 6270u;
    uint32_t t0 = (u(d[0]) + u(d[4])) * 8192u;
    uint32_t t1 = (u(d[0]) - u(d[4])) * 8192u;
    uint32_t t10 = t0 + t3, t13 = t0 - t3, t11 = t1 + t2, t12 = t1 - t2;
    uint32_t o1 = u(d[7]) + u(d[1]);
    uint32_t o2 = u(d[5]) + u(d[3]);
    uint32_t o3 = u(d[7]) + u(d[3]);
    uint32_t o4 = u(d[5]) + u(d[1]);
    uint32_t z5 = (o3 + o4) * 9633u;
    uint32_t p0 = u(d[7]) * 2446u, p1 = u(d[5]) * 16819u, p2 = u(d[3]) * 25172u,
             p3 = u(d[1]) * 12299u;
    o1 = o1 * u(-7373);
    o2 = o2 * u(-20995);
    o3 = z5 - o3 * 16069u;
    o4 = z5 - o4 * 3196u;
    p0 = p0 + o1 + o3;
    p1 = p1 + o2 + o4;
    p2 = p2 + o2 + o3;
    p3 = p3 + o1 + o4;
    y[0] = s(t10 + p3);
    y[7] = s(t10 - p3);
    y[1] = s(t11 + p2);
    y[6] = s(t11 - p2);
    y[2] = s(t12 + p1);
    y[5] = s(t12 - p1);
    y[3] = s(t13 + p0);
    y[4] = s(t13 - p0);
}

int32_t add(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}

void reference(const int16_t in[64], uint8_t out[64]) {
    int16_t ws[64];
    int32_t d[8], y[8];
    for (int r = 0; r < 8; ++r) {
        for (int k = 0; k < 8; ++k) d[k] = in[8 * r + k];
        transform(d, y);
        for (int k = 0; k < 8; ++k) ws[8 * r + k] = static_cast<int16_t>(add(y[k], 1024) >> 11);
    }
    for (int c = 0; c < 8; ++c) {
        for (int k = 0; k < 8; ++k) d[k] = ws[8 * k + c];
        transform(d, y);
        for (int k = 0; k < 8; ++k) {
            int s = static_cast<int16_t>(add(y[k], 131072) >> 18) + 128;
            out[8 * k + c] = static_cast<uint8_t>(s < 0 ? 0 : s > 255 ? 255 : s);
        }
    }
}

struct Block {
    int16_t c[64] = {};
};

std::array<uint8_t, 64> run_idct(const Block& b) {
    Block copy = b;
    std::array<uint8_t, 64> out;
    out.fill(0xCD);
    idct_block(copy.c, out.data());
    return out;
}

std::array<uint8_t, 64> run_reference(const Block& b) {
    std::array<uint8_t, 64> out{};
    reference(b.c, out.data());
    return out;
}

uint32_t lcg(uint32_t& state) {
    state = state * 1664525u + 1013904223u;
    return state >> 8;
}

}  // namespace

TEST(IdctBlock, AllZeroGives128) {
    auto out = run_idct(Block{});
    for (uint8_t v : out) EXPECT_EQ(v, 128);
}

TEST(IdctBlock, DcOnlyBlocks) {
    struct Case {
        int dc, sample;
    };
    for (Case c : {Case{8, 129}, Case{-1, 128}, Case{-5, 127}, Case{1016, 255}, Case{1020, 255},
                   Case{-1024, 0}, Case{0, 128}, Case{31, 132}}) {
        Block b;
        b.c[0] = static_cast<int16_t>(c.dc);
        auto out = run_idct(b);
        for (int i = 0; i < 64; ++i) ASSERT_EQ(out[i], c.sample) << "dc " << c.dc << " at " << i;
    }
}

TEST(IdctBlock, FirstColumnOnly) {
    Block b;
    b.c[0] = 40;
    b.c[8] = -120;
    b.c[24] = 37;
    b.c[56] = 9;
    auto out = run_idct(b);
    EXPECT_EQ(out, run_reference(b));
    // Nothing varies across a row.
    for (int r = 0; r < 8; ++r)
        for (int c = 1; c < 8; ++c) EXPECT_EQ(out[8 * r + c], out[8 * r]);
    EXPECT_NE(out[0], out[56]);
}

TEST(IdctBlock, FirstRowOnly) {
    Block b;
    b.c[0] = -60;
    b.c[1] = 200;
    b.c[5] = -33;
    b.c[7] = 14;
    auto out = run_idct(b);
    EXPECT_EQ(out, run_reference(b));
    // Nothing varies down a column.
    for (int r = 1; r < 8; ++r)
        for (int c = 0; c < 8; ++c) EXPECT_EQ(out[8 * r + c], out[c]);
    EXPECT_NE(out[0], out[7]);
}

TEST(IdctBlock, MatchesTheFullTransform) {
    uint32_t state = 12345;
    for (int n = 0; n < 500; ++n) {
        Block b;
        int density = n % 4;
        for (int i = 0; i < 64; ++i) {
            uint32_t r = lcg(state);
            bool set = density == 0 || r % (2 + 8 * density) == 0;
            if (set) b.c[i] = static_cast<int16_t>(static_cast<int>(lcg(state) % 2048) - 1024);
        }
        ASSERT_EQ(run_idct(b), run_reference(b)) << "block " << n;
    }
}

TEST(IdctBlock, ExtremeCoefficientsWrapWithoutFault) {
    uint32_t state = 777;
    for (int n = 0; n < 200; ++n) {
        Block b;
        for (int i = 0; i < 64; ++i) {
            uint32_t r = lcg(state) % 3;
            b.c[i] = r == 0 ? 32767 : r == 1 ? -32768 : static_cast<int16_t>(lcg(state));
        }
        ASSERT_EQ(run_idct(b), run_reference(b)) << "block " << n;
    }
}

TEST(IdctBlock, CloseToTheExactTransform) {
    uint32_t state = 99;
    const double pi = std::acos(-1.0);
    for (int n = 0; n < 100; ++n) {
        Block b;
        for (int i = 0; i < 64; ++i)
            if (lcg(state) % 3 == 0) b.c[i] = static_cast<int16_t>(static_cast<int>(lcg(state) % 201) - 100);
        auto out = run_idct(b);
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x) {
                double sum = 0;
                for (int v = 0; v < 8; ++v)
                    for (int u = 0; u < 8; ++u) {
                        double cu = u == 0 ? std::sqrt(0.5) : 1.0;
                        double cv = v == 0 ? std::sqrt(0.5) : 1.0;
                        sum += cu * cv * b.c[8 * v + u] * std::cos((2 * x + 1) * u * pi / 16) *
                               std::cos((2 * y + 1) * v * pi / 16);
                    }
                double exact = std::clamp(sum / 4 + 128, 0.0, 255.0);
                EXPECT_NEAR(out[8 * y + x], exact, 1.5) << "block " << n << " at " << x << "," << y;
            }
    }
}

TEST(IdctBlock, SamplesAreClamped) {
    Block b;
    b.c[0] = 0;
    b.c[1] = 1200;
    auto out = run_idct(b);
    EXPECT_EQ(out, run_reference(b));
    EXPECT_EQ(out[0], 255);
    EXPECT_EQ(out[7], 0);
    Block low;
    low.c[0] = -1200;
    low.c[9] = 300;
    auto out2 = run_idct(low);
    EXPECT_EQ(out2, run_reference(low));
    EXPECT_EQ(*std::min_element(out2.begin(), out2.end()), 0);
    EXPECT_GT(*std::max_element(out2.begin(), out2.end()), 0);
}

TEST(TransformRow, TransformsEveryBlockAndKeepsTheCoefficients) {
    Harness h;
    JpegDecoder& d = h.dec();
    d.image_width = 40;
    d.image_height = 16;
    d.frame_component_count = 3;
    d.comp_h_factor[0] = 2;
    d.comp_v_factor[0] = 1;
    for (int c = 1; c < 3; ++c) d.comp_h_factor[c] = d.comp_v_factor[c] = 1;
    ASSERT_EQ(stage(d, [&] { start_frame(d); }), 0);
    int n = d.row_block_count;
    ASSERT_EQ(n, 12);
    uint32_t state = 5;
    std::vector<Block> blocks(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        for (int k = 0; k < 64; ++k)
            if (lcg(state) % 5 == 0)
                blocks[i].c[k] = static_cast<int16_t>(static_cast<int>(lcg(state) % 1024) - 512);
        std::memcpy(d.row_blocks[i], blocks[i].c, 128);
    }
    transform_row(d);
    for (int i = 0; i < n; ++i) {
        EXPECT_EQ(std::memcmp(d.row_blocks[i], blocks[i].c, 128), 0) << "block " << i;
        auto expect = run_reference(blocks[i]);
        EXPECT_EQ(std::memcmp(d.sample_rows + 64 * i, expect.data(), 64), 0) << "block " << i;
    }
}
