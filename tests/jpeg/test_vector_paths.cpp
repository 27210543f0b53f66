// The vector paths must give exactly what the portable code gives: the
// inverse DCT the same samples and the same row results in the block, for
// ordinary and hostile coefficients alike, and colour conversion the colour
// tables' offsets for every chroma pair.
#include "jpeg/internal.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

struct Lcg {
    uint32_t state;
    uint32_t next() { return state = state * 1664525u + 1013904223u; }
};

void expect_same(const int16_t* coefficients, const char* what, int index) {
    int16_t a[64], b[64];
    uint8_t out_a[64], out_b[64];
    std::memcpy(a, coefficients, sizeof a);
    std::memcpy(b, coefficients, sizeof b);
    idct_block(a, out_a);
    idct_block_portable(b, out_b);
    ASSERT_EQ(0, std::memcmp(out_a, out_b, 64)) << what << " block " << index;
    ASSERT_EQ(0, std::memcmp(a, b, sizeof a)) << what << " block " << index << ": row results differ";
}

TEST(IdctVector, MatchesPortableTransform) {
    Lcg rng{12345};
    int16_t block[64];
    for (int i = 0; i < 20000; i++) {
        // Alternate sparse blocks (the shortcuts' territory), blocks of
        // typical magnitudes and blocks of extreme values that overflow the
        // 32-bit sums.
        int kind = i % 4;
        for (int k = 0; k < 64; k++) {
            uint32_t r = rng.next();
            switch (kind) {
                case 0: block[k] = (k == 0 || (r >> 28) == 0) ? static_cast<int16_t>((r >> 8) % 2048 - 1024) : 0; break;
                case 1: block[k] = static_cast<int16_t>((r >> 8) % 512 - 256); break;
                case 2: block[k] = static_cast<int16_t>(r >> 16); break;
                default: block[k] = (r & 1) ? 32767 : -32768; break;
            }
        }
        expect_same(block, "random", i);
    }
}

TEST(IdctVector, MatchesPortableTransformOnSingleCoefficients) {
    const int16_t values[] = {1, -1, 8, -5, 1016, 1020, -1024, 32767, -32768};
    for (int position = 0; position < 64; position++)
        for (int16_t v : values) {
            int16_t block[64] = {};
            block[position] = v;
            expect_same(block, "single", position);
        }
}

}  // namespace

namespace {

// The converters compute the colour tables' offsets with vector arithmetic
// where they can; every chroma pair must give exactly the tables' values.
TEST(ColourVector, OffsetsEqualTheTablesForEveryChromaPair) {
    static JpegDecoder d;
    build_colour_tables(d);
    for (int cb = 0; cb < 256; cb++)
        for (int cr0 = 0; cr0 < 256; cr0 += 8) {
            uint8_t cbs[8], crs[8];
            for (int i = 0; i < 8; i++) {
                cbs[i] = static_cast<uint8_t>(cb);
                crs[i] = static_cast<uint8_t>(cr0 + i);
            }
            int16_t red[8], green[8], blue[8];
            chroma_offsets_8(d, cbs, crs, red, green, blue);
            for (int i = 0; i < 8; i++) {
                int cr = cr0 + i;
                ASSERT_EQ(red[i], d.cr_to_red[cr]) << cb << "," << cr;
                ASSERT_EQ(green[i], (d.cb_to_green[cb] + d.cr_to_green[cr]) >> 16) << cb << "," << cr;
                ASSERT_EQ(blue[i], d.cb_to_blue[cb]) << cb << "," << cr;
            }
        }
}

}  // namespace
