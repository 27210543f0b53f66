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

#if MARIVUE_SSE2
#include <emmintrin.h>
#endif

namespace marivue::jpeg::detail {

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

void idct_block_portable(int16_t* block, uint8_t* out) {
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

#if MARIVUE_SSE2

// The same transform on eight rows (then eight columns) at once. Expanding
// the factorisation gives every product as a pair of 16-bit inputs times a
// pair of constants below 2^15, which is what the multiply-add instruction
// computes exactly in 32 bits; sums then wrap like the 32-bit arithmetic
// above, so the results are bit-identical to idct_block_portable. The two
// shortcuts are not needed: they equal the full transform.
namespace {

inline __m128i pair(int16_t a, int16_t b) { return _mm_set_epi16(b, a, b, a, b, a, b, a); }

// Transposes eight rows of eight 16-bit values in place.
inline void transpose(__m128i* r) {
    __m128i a0 = _mm_unpacklo_epi16(r[0], r[1]), a1 = _mm_unpackhi_epi16(r[0], r[1]);
    __m128i a2 = _mm_unpacklo_epi16(r[2], r[3]), a3 = _mm_unpackhi_epi16(r[2], r[3]);
    __m128i a4 = _mm_unpacklo_epi16(r[4], r[5]), a5 = _mm_unpackhi_epi16(r[4], r[5]);
    __m128i a6 = _mm_unpacklo_epi16(r[6], r[7]), a7 = _mm_unpackhi_epi16(r[6], r[7]);
    __m128i b0 = _mm_unpacklo_epi32(a0, a2), b1 = _mm_unpackhi_epi32(a0, a2);
    __m128i b2 = _mm_unpacklo_epi32(a1, a3), b3 = _mm_unpackhi_epi32(a1, a3);
    __m128i b4 = _mm_unpacklo_epi32(a4, a6), b5 = _mm_unpackhi_epi32(a4, a6);
    __m128i b6 = _mm_unpacklo_epi32(a5, a7), b7 = _mm_unpackhi_epi32(a5, a7);
    r[0] = _mm_unpacklo_epi64(b0, b4), r[1] = _mm_unpackhi_epi64(b0, b4);
    r[2] = _mm_unpacklo_epi64(b1, b5), r[3] = _mm_unpackhi_epi64(b1, b5);
    r[4] = _mm_unpacklo_epi64(b2, b6), r[5] = _mm_unpackhi_epi64(b2, b6);
    r[6] = _mm_unpacklo_epi64(b3, b7), r[7] = _mm_unpackhi_epi64(b3, b7);
}

// T over four lanes: e, o hold interleaved input pairs (d0,d4), (d2,d6),
// (d1,d3), (d5,d7); y receives the eight 32-bit results, each plus
// `round`. Every result is t0 or t1 plus or minus further terms, so the
// rounding is added to those two alone (the sums wrap, and wrapping
// addition does not depend on the order).
inline void transform_lanes(__m128i d04, __m128i d26, __m128i d13, __m128i d57, __m128i round, __m128i* y) {
    __m128i t0 = _mm_add_epi32(_mm_madd_epi16(d04, pair(8192, 8192)), round);
    __m128i t1 = _mm_add_epi32(_mm_madd_epi16(d04, pair(8192, -8192)), round);
    __m128i t2 = _mm_madd_epi16(d26, pair(4433, -10704));
    __m128i t3 = _mm_madd_epi16(d26, pair(10703, 4433));
    __m128i t10 = _mm_add_epi32(t0, t3), t13 = _mm_sub_epi32(t0, t3);
    __m128i t11 = _mm_add_epi32(t1, t2), t12 = _mm_sub_epi32(t1, t2);
    __m128i p0 = _mm_add_epi32(_mm_madd_epi16(d13, pair(2260, -6436)), _mm_madd_epi16(d57, pair(9633, -11363)));
    __m128i p1 = _mm_add_epi32(_mm_madd_epi16(d13, pair(6437, -11362)), _mm_madd_epi16(d57, pair(2261, 9633)));
    __m128i p2 = _mm_add_epi32(_mm_madd_epi16(d13, pair(9633, -2259)), _mm_madd_epi16(d57, pair(-11362, -6436)));
    __m128i p3 = _mm_add_epi32(_mm_madd_epi16(d13, pair(11363, 9633)), _mm_madd_epi16(d57, pair(6437, 2260)));
    y[0] = _mm_add_epi32(t10, p3), y[7] = _mm_sub_epi32(t10, p3);
    y[1] = _mm_add_epi32(t11, p2), y[6] = _mm_sub_epi32(t11, p2);
    y[2] = _mm_add_epi32(t12, p1), y[5] = _mm_sub_epi32(t12, p1);
    y[3] = _mm_add_epi32(t13, p0), y[4] = _mm_sub_epi32(t13, p0);
}

// One pass over eight lanes: d[k] holds input k of every lane.
template <int shift>
inline void pass(__m128i* d) {
    __m128i lo[8], hi[8];
    transform_lanes(_mm_unpacklo_epi16(d[0], d[4]), _mm_unpacklo_epi16(d[2], d[6]), _mm_unpacklo_epi16(d[1], d[3]),
                    _mm_unpacklo_epi16(d[5], d[7]), rounding<shift>(), lo);
    transform_lanes(_mm_unpackhi_epi16(d[0], d[4]), _mm_unpackhi_epi16(d[2], d[6]), _mm_unpackhi_epi16(d[1], d[3]),
                    _mm_unpackhi_epi16(d[5], d[7]), rounding<shift>(), hi);
    for (int k = 0; k < 8; k++) d[k] = descale_low16<shift>(lo[k], hi[k]);
}

}  // namespace

void idct_block(int16_t* block, uint8_t* out) {
    __m128i r[8];
    for (int k = 0; k < 8; k++) r[k] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 8 * k));
    // A block with nothing but its DC coefficient (common in smooth areas)
    // takes both shortcuts everywhere: every row result of row 0 is 4 x DC,
    // the other rows are 0, and all 64 samples are equal.
    __m128i ac = _mm_or_si128(_mm_or_si128(_mm_or_si128(r[1], r[2]), _mm_or_si128(r[3], r[4])),
                              _mm_or_si128(_mm_or_si128(r[5], r[6]), r[7]));
    ac = _mm_or_si128(ac, _mm_srli_si128(r[0], 2));
    if (_mm_movemask_epi8(_mm_cmpeq_epi8(ac, _mm_setzero_si128())) == 0xFFFF) {
        int16_t dc = low16(block[0] * 4);
        std::memset(out, dc_only_sample(block[0]), 64);
        for (int k = 0; k < 8; k++) block[k] = dc;
        return;
    }
    // Rows first: with the block transposed, lane i carries row i.
    transpose(r);
    pass<11>(r);
    // r[k] now holds result k of every row, i.e. column k; transposing
    // again gives rows, so that lane j carries column j.
    transpose(r);
    // Like the scalar version, leave the row results in the block.
    for (int k = 0; k < 8; k++) _mm_storeu_si128(reinterpret_cast<__m128i*>(block + 8 * k), r[k]);
    pass<18>(r);
    const __m128i level = _mm_set1_epi16(128);
    for (int k = 0; k < 8; k += 2) {
        __m128i a = _mm_adds_epi16(r[k], level), b = _mm_adds_epi16(r[k + 1], level);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 8 * k), _mm_packus_epi16(a, b));
    }
}

#else

void idct_block(int16_t* block, uint8_t* out) { idct_block_portable(block, out); }

#endif

void transform_row(JpegDecoder& d) {
    if (d.settings.scale_shift != 0) {
        transform_row_reduced(d);
        return;
    }
    int16_t* const* blocks = d.row_block_table;
    const VectorPath path = vector_path();
    int32_t i = 0;
#if MARIVUE_AVX2
    if (path == VectorPath::avx2) {
        // Two blocks at a time, read where they are (stored transposed, see
        // blocks_transposed): this transform leaves its input alone. An odd
        // last block goes with itself, its second result thrown away.
        for (; i + 1 < d.row_block_count; i += 2)
            idct_two_blocks_avx2(blocks[i], blocks[i + 1], d.sample_rows + 64 * i, d.sample_rows + 64 * (i + 1));
        if (i < d.row_block_count) {
            uint8_t unused[64];
            idct_two_blocks_avx2(blocks[i], blocks[i], d.sample_rows + 64 * i, unused);
        }
        return;
    }
#endif
    // Each block is copied first: the sequential decoder's zero-fill relies
    // on the coefficient blocks surviving the transform.
    for (; i < d.row_block_count; i++) {
        std::memcpy(d.idct_scratch, blocks[i], sizeof d.idct_scratch);
        if (path == VectorPath::portable)
            idct_block_portable(d.idct_scratch, d.sample_rows + 64 * i);
        else
            idct_block(d.idct_scratch, d.sample_rows + 64 * i);
    }
}

}  // namespace marivue::jpeg::detail
