// The vector inverse DCT must give exactly the portable transform's samples
// and leave exactly the same row results in the block, for ordinary and for
// hostile coefficients alike.
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
