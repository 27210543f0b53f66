// The inverse DCT: 13-bit fixed point, rows first, then columns, with the
// row results stored as 16-bit values in between. The 1-D transform is the
// classic 12-multiplication factorisation of the 8-point inverse DCT.
//
// Coefficients from a hostile stream can overflow the 32-bit sums, which
// are defined to wrap. The transform therefore runs on unsigned values and
// converts back to signed only where it shifts, which is exact and free of
// undefined behaviour; for valid data the results are the same as with
// plain signed arithmetic.
#include "jpeg/internal.h"

#include <cstring>

namespace {

using u32 = uint32_t;

inline u32 as_u32(int32_t v) { return static_cast<u32>(v); }
inline int32_t as_i32(u32 v) { return static_cast<int32_t>(v); }
inline u32 times(u32 v, int32_t constant) { return v * as_u32(constant); }

// The 1-D transform T over d[0..7] (stride `step` in `in`), 32-bit results.
inline void transform_1d(const int16_t* in, int step, u32 y[8]) {
    u32 d0 = as_u32(in[0]), d1 = as_u32(in[step]), d2 = as_u32(in[2 * step]), d3 = as_u32(in[3 * step]);
    u32 d4 = as_u32(in[4 * step]), d5 = as_u32(in[5 * step]), d6 = as_u32(in[6 * step]), d7 = as_u32(in[7 * step]);

    // Even part.
    u32 z1 = times(d2 + d6, 4433);
    u32 t2 = z1 - times(d6, 15137);
    u32 t3 = z1 + times(d2, 6270);
    u32 t0 = (d0 + d4) << 13;
    u32 t1 = (d0 - d4) << 13;
    u32 t10 = t0 + t3, t13 = t0 - t3, t11 = t1 + t2, t12 = t1 - t2;

    // Odd part.
    z1 = d7 + d1;
    u32 z2 = d5 + d3;
    u32 z3 = d7 + d3;
    u32 z4 = d5 + d1;
    u32 z5 = times(z3 + z4, 9633);
    u32 p0 = times(d7, 2446), p1 = times(d5, 16819), p2 = times(d3, 25172), p3 = times(d1, 12299);
    z1 = times(z1, -7373);
    z2 = times(z2, -20995);
    z3 = z5 - times(z3, 16069);
    z4 = z5 - times(z4, 3196);
    p0 += z1 + z3;
    p1 += z2 + z4;
    p2 += z2 + z3;
    p3 += z1 + z4;

    y[0] = t10 + p3, y[7] = t10 - p3;
    y[1] = t11 + p2, y[6] = t11 - p2;
    y[2] = t12 + p1, y[5] = t12 - p1;
    y[3] = t13 + p0, y[4] = t13 - p0;
}

inline bool higher_terms_zero(const int16_t* in, int step) {
    for (int k = 1; k < 8; k++)
        if (in[k * step] != 0) return false;
    return true;
}

inline uint8_t sample(int16_t s) {
    int32_t v = s + 128;
    return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
}

}  // namespace

void idct_block(int16_t* block, uint8_t* out) {
    u32 y[8];
    for (int row = 0; row < 8; row++) {
        int16_t* r = block + 8 * row;
        if (higher_terms_zero(r, 1)) {
            int16_t dc = low16(r[0] * 4);
            for (int k = 0; k < 8; k++) r[k] = dc;
            continue;
        }
        transform_1d(r, 1, y);
        for (int k = 0; k < 8; k++) r[k] = low16(as_i32(y[k] + 1024u) >> 11);
    }
    for (int col = 0; col < 8; col++) {
        int16_t* c = block + col;
        if (higher_terms_zero(c, 8)) {
            uint8_t v = sample(low16((c[0] + 16) >> 5));
            for (int k = 0; k < 8; k++) out[8 * k + col] = v;
            continue;
        }
        transform_1d(c, 8, y);
        for (int k = 0; k < 8; k++) out[8 * k + col] = sample(low16(as_i32(y[k] + 131072u) >> 18));
    }
}

void transform_row(JpegDecoder& d) {
    // Each block is copied first: the sequential decoder's zero-fill relies
    // on the coefficient blocks surviving the transform.
    for (int32_t i = 0; i < d.row_block_count; i++) {
        std::memcpy(d.idct_scratch, d.row_blocks[i], sizeof d.idct_scratch);
        idct_block(d.idct_scratch, d.sample_rows + 64 * i);
    }
}
