// The inverse DCT at reduced sizes: an 8 x 8 block straight to 4 x 4, 2 x 2
// or 1 x 1 samples from its lowest 4 x 4, 2 x 2 or 1 x 1 coefficients.
//
// What a reduced sample is: the mean, over the 2 x 2 (4 x 4, 8 x 8) pixels
// it stands for, of what the full transform would give for the block's
// low-frequency part alone. Averaging n neighbours of an 8-point cosine of
// frequency u multiplies it by cos(u pi / 16) for n = 2 and by
// cos(u pi / 16) cos(u pi / 8) for n = 4, and leaves a cosine of the
// reduced grid; so the N-point transform R over d0..d(N-1) is, in the full
// transform's 13-bit scale (8192 = 1.0):
//
//   R(n) = 8192 d0 + sum over u = 1..N-1 of
//          8192 sqrt2 A(u) d(u) cos((2n + 1) u pi / 2N),
//
// with A(u) the factor above. The frequencies the reduced grid cannot hold
// are left out, which is what lets the decoder skip them; a block with
// nothing above them gives the mean of the full transform's samples, before
// clamping, to within rounding. At 1/8 the mean is the DC term alone.
//
// The arithmetic is the full transform's (idct.cpp): rows first, each
// result (y + 1024) >> 11 stored in 16 bits; then columns, (y + 131072) >>
// 18 taken as 16 bits, plus 128, clamped to 0..255; 32-bit sums that wrap,
// arithmetic right shifts. A block with only a DC coefficient therefore
// gives at every size the value the full transform fills its 64 samples
// with (dc_only_sample). The 4 x 4 transform also runs with SSE2, which
// computes the same wrapping sums (see idct_4x4).
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

// The 4-point R, its constants rounded from the formula above:
//   7568 = 8192 cos(pi/8)                  (u = 2 at n = 0; sqrt2 cos(pi/4) = 1)
//   10498, 4348 = 8192 sqrt2 cos(pi/16) x cos(pi/8), cos(3pi/8)     (u = 1)
//   8900, 3686 = 8192 sqrt2 cos(3pi/16) x cos(pi/8), cos(3pi/8)     (u = 3)
inline void transform_4(u32 d0, u32 d1, u32 d2, u32 d3, u32 y[4]) {
    const u32 e0 = d0 << 13, e2 = d2 * 7568u;
    const u32 even0 = e0 + e2, even1 = e0 - e2;
    const u32 odd0 = d1 * 10498u + d3 * 3686u;
    const u32 odd1 = d1 * 4348u - d3 * 8900u;
    y[0] = even0 + odd0;
    y[3] = even0 - odd0;
    y[1] = even1 + odd1;
    y[2] = even1 - odd1;
}

// The 2-point R: 7423 = 8192 sqrt2 cos(pi/16) cos(pi/8) cos(pi/4).
inline void transform_2(u32 d0, u32 d1, u32 y[2]) {
    const u32 e0 = d0 << 13, o = d1 * 7423u;
    y[0] = e0 + o;
    y[1] = e0 - o;
}

inline int16_t row_result(u32 y) { return low16(as_i32(y + 1024u) >> 11); }

inline uint8_t sample_of(u32 y) {
    const int32_t v = low16(as_i32(y + 131072u) >> 18) + 128;
    return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
}

inline u32 at(const int16_t* p, int i) { return as_u32(p[i]); }

}  // namespace

void idct_4x4_portable(const int16_t* block, uint8_t* out) {
    int16_t rows[16];
    u32 y[4];
    for (int v = 0; v < 4; v++) {
        const int16_t* r = block + 8 * v;
        transform_4(at(r, 0), at(r, 1), at(r, 2), at(r, 3), y);
        for (int n = 0; n < 4; n++) rows[4 * v + n] = row_result(y[n]);
    }
    for (int n = 0; n < 4; n++) {
        transform_4(at(rows, n), at(rows, 4 + n), at(rows, 8 + n), at(rows, 12 + n), y);
        for (int k = 0; k < 4; k++) out[8 * k + n] = sample_of(y[k]);
    }
}

#if MARIVUE_SSE2

// The 4-point R written out as a matrix: output n = the sum over u of
// C[n][u] d(u), which in wrapping arithmetic is what transform_4 sums in
// another order. Each pair of products is one multiply-add: 16-bit inputs
// times constants below 2^15, exact in 32 bits.
namespace {

inline __m128i pairs(int16_t a, int16_t b) { return _mm_set_epi16(b, a, b, a, b, a, b, a); }

// (v + round) >> shift of four 32-bit lanes each of a and b, kept to their
// low 16 bits: eight 16-bit values, a's first.
template <int shift>
inline __m128i descale_rounded(__m128i a, __m128i b) {
    return descale_low16<shift>(_mm_add_epi32(a, rounding<shift>()), _mm_add_epi32(b, rounding<shift>()));
}

// The row pass of one row r (four 16-bit inputs in the low half).
inline __m128i row_4(__m128i r) {
    const __m128i c01 = _mm_setr_epi16(8192, 10498, 8192, 4348, 8192, -4348, 8192, -10498);
    const __m128i c23 = _mm_setr_epi16(7568, 3686, -7568, -8900, -7568, 8900, 7568, -3686);
    return _mm_add_epi32(_mm_madd_epi16(_mm_shuffle_epi32(r, 0x00), c01),
                         _mm_madd_epi16(_mm_shuffle_epi32(r, 0x55), c23));
}

// Output row k of the column pass from the interleaved row results.
inline __m128i column_4(__m128i w01, __m128i w23, int16_t c0, int16_t c1, int16_t c2, int16_t c3) {
    return _mm_add_epi32(_mm_madd_epi16(w01, pairs(c0, c1)), _mm_madd_epi16(w23, pairs(c2, c3)));
}

}  // namespace

void idct_4x4(const int16_t* block, uint8_t* out) {
    auto row = [&](int v) { return row_4(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(block + 8 * v))); };
    const __m128i w01 = descale_rounded<11>(row(0), row(1)), w23 = descale_rounded<11>(row(2), row(3));
    // (row 0, row 1) and (row 2, row 3) results, column by column.
    const __m128i x01 = _mm_unpacklo_epi16(w01, _mm_unpackhi_epi64(w01, w01));
    const __m128i x23 = _mm_unpacklo_epi16(w23, _mm_unpackhi_epi64(w23, w23));
    const __m128i y01 =
        descale_rounded<18>(column_4(x01, x23, 8192, 10498, 7568, 3686), column_4(x01, x23, 8192, 4348, -7568, -8900));
    const __m128i y23 = descale_rounded<18>(column_4(x01, x23, 8192, -4348, -7568, 8900),
                                            column_4(x01, x23, 8192, -10498, 7568, -3686));
    const __m128i level = _mm_set1_epi16(128);
    // Saturation is the clamp: s + 128 beyond 255 (or below 0) either way.
    alignas(16) uint8_t samples[16];
    _mm_store_si128(reinterpret_cast<__m128i*>(samples),
                    _mm_packus_epi16(_mm_adds_epi16(y01, level), _mm_adds_epi16(y23, level)));
    for (int k = 0; k < 4; k++) std::memcpy(out + 8 * k, samples + 4 * k, 4);
}

#else

void idct_4x4(const int16_t* block, uint8_t* out) { idct_4x4_portable(block, out); }

#endif

void idct_2x2(const int16_t* block, uint8_t* out) {
    int16_t rows[4];
    u32 y[2];
    for (int v = 0; v < 2; v++) {
        transform_2(at(block, 8 * v), at(block, 8 * v + 1), y);
        rows[2 * v] = row_result(y[0]);
        rows[2 * v + 1] = row_result(y[1]);
    }
    for (int n = 0; n < 2; n++) {
        transform_2(at(rows, n), at(rows, 2 + n), y);
        out[n] = sample_of(y[0]);
        out[8 + n] = sample_of(y[1]);
    }
}

void transform_row_reduced(JpegDecoder& d) {
    int16_t* const* blocks = d.row_block_table;
    uint8_t* out = d.sample_rows;
    switch (d.settings.scale_shift) {
        case 1: {
            // MARIVUE_JPEG_SIMD=none asks for the portable transforms here too.
            const auto transform = vector_path() == VectorPath::portable ? idct_4x4_portable : idct_4x4;
            for (int32_t i = 0; i < d.row_block_count; i++, out += 64) {
                const int16_t* b = blocks[i];
                // Smooth areas: a block with nothing but DC in its 4 x 4
                // corner gives 16 equal samples, the value R gives them.
                bool flat = (b[1] | b[2] | b[3]) == 0;
                for (int v = 1; flat && v < 4; v++) flat = (b[8 * v] | b[8 * v + 1] | b[8 * v + 2] | b[8 * v + 3]) == 0;
                if (!flat) {
                    transform(b, out);
                    continue;
                }
                const uint8_t s = dc_only_sample(b[0]);
                for (int k = 0; k < 4; k++) out[8 * k] = out[8 * k + 1] = out[8 * k + 2] = out[8 * k + 3] = s;
            }
            break;
        }
        case 2:
            for (int32_t i = 0; i < d.row_block_count; i++, out += 64) idct_2x2(blocks[i], out);
            break;
        default:
            for (int32_t i = 0; i < d.row_block_count; i++, out += 64) out[0] = dc_only_sample(blocks[i][0]);
            break;
    }
}

}  // namespace marivue::jpeg::detail
