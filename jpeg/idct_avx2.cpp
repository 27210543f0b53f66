// The inverse DCT of two blocks at once with AVX2: the arithmetic of
// idct.cpp's SSE2 transform with one block in each 128-bit half of every
// register, on blocks stored transposed (blocks_transposed), and with each
// pass's 16-bit results taken by a blend instead of a pack. The
// instructions used work within each half, so each block gets exactly the
// SSE2 (and therefore the scalar) results. Compiled for any x86-64 target;
// the functions carry the AVX2 target themselves and run only where the
// processor has it (vector_path).
#include "jpeg/internal.h"

#include <cstring>

#if MARIVUE_AVX2
#include <immintrin.h>

#define MARIVUE_TARGET_AVX2 __attribute__((target("avx2")))

namespace marivue::jpeg::detail {

namespace {

MARIVUE_TARGET_AVX2 inline __m256i pair(int16_t a, int16_t b) {
    return _mm256_set_epi16(b, a, b, a, b, a, b, a, b, a, b, a, b, a, b, a);
}

MARIVUE_TARGET_AVX2 inline void transpose(__m256i* r) {
    __m256i a0 = _mm256_unpacklo_epi16(r[0], r[1]), a1 = _mm256_unpackhi_epi16(r[0], r[1]);
    __m256i a2 = _mm256_unpacklo_epi16(r[2], r[3]), a3 = _mm256_unpackhi_epi16(r[2], r[3]);
    __m256i a4 = _mm256_unpacklo_epi16(r[4], r[5]), a5 = _mm256_unpackhi_epi16(r[4], r[5]);
    __m256i a6 = _mm256_unpacklo_epi16(r[6], r[7]), a7 = _mm256_unpackhi_epi16(r[6], r[7]);
    __m256i b0 = _mm256_unpacklo_epi32(a0, a2), b1 = _mm256_unpackhi_epi32(a0, a2);
    __m256i b2 = _mm256_unpacklo_epi32(a1, a3), b3 = _mm256_unpackhi_epi32(a1, a3);
    __m256i b4 = _mm256_unpacklo_epi32(a4, a6), b5 = _mm256_unpackhi_epi32(a4, a6);
    __m256i b6 = _mm256_unpacklo_epi32(a5, a7), b7 = _mm256_unpackhi_epi32(a5, a7);
    r[0] = _mm256_unpacklo_epi64(b0, b4), r[1] = _mm256_unpackhi_epi64(b0, b4);
    r[2] = _mm256_unpacklo_epi64(b1, b5), r[3] = _mm256_unpackhi_epi64(b1, b5);
    r[4] = _mm256_unpacklo_epi64(b2, b6), r[5] = _mm256_unpackhi_epi64(b2, b6);
    r[6] = _mm256_unpacklo_epi64(b3, b7), r[7] = _mm256_unpackhi_epi64(b3, b7);
}

// idct.cpp's transform_lanes. With `low`, inputs 4 to 7 are 0 in every lane
// (d04 and d26 pair inputs 0 and 2 with 0, d57 is not read): the products
// with them, which add nothing, are left out, and the results are those of
// the whole transform.
template <bool low = false>
MARIVUE_TARGET_AVX2 inline void transform_lanes(__m256i d04, __m256i d26, __m256i d13, __m256i d57, __m256i round,
                                                __m256i* y) {
    __m256i t0 = _mm256_add_epi32(_mm256_madd_epi16(d04, pair(8192, 8192)), round);
    __m256i t1 = low ? t0 : _mm256_add_epi32(_mm256_madd_epi16(d04, pair(8192, -8192)), round);
    __m256i t2 = _mm256_madd_epi16(d26, pair(4433, -10704));
    __m256i t3 = _mm256_madd_epi16(d26, pair(10703, 4433));
    __m256i t10 = _mm256_add_epi32(t0, t3), t13 = _mm256_sub_epi32(t0, t3);
    __m256i t11 = _mm256_add_epi32(t1, t2), t12 = _mm256_sub_epi32(t1, t2);
    __m256i p0 = _mm256_madd_epi16(d13, pair(2260, -6436)), p1 = _mm256_madd_epi16(d13, pair(6437, -11362));
    __m256i p2 = _mm256_madd_epi16(d13, pair(9633, -2259)), p3 = _mm256_madd_epi16(d13, pair(11363, 9633));
    if constexpr (!low) {
        p0 = _mm256_add_epi32(p0, _mm256_madd_epi16(d57, pair(9633, -11363)));
        p1 = _mm256_add_epi32(p1, _mm256_madd_epi16(d57, pair(2261, 9633)));
        p2 = _mm256_add_epi32(p2, _mm256_madd_epi16(d57, pair(-11362, -6436)));
        p3 = _mm256_add_epi32(p3, _mm256_madd_epi16(d57, pair(6437, 2260)));
    }
    y[0] = _mm256_add_epi32(t10, p3), y[7] = _mm256_sub_epi32(t10, p3);
    y[1] = _mm256_add_epi32(t11, p2), y[6] = _mm256_sub_epi32(t11, p2);
    y[2] = _mm256_add_epi32(t12, p1), y[5] = _mm256_sub_epi32(t12, p1);
    y[3] = _mm256_add_epi32(t13, p0), y[4] = _mm256_sub_epi32(t13, p0);
}

template <int shift>
MARIVUE_TARGET_AVX2 inline __m256i rounding() {
    return _mm256_set1_epi32(1 << (shift - 1));
}

// The low 16 bits of (result >> shift) for each 32-bit result of lo and
// hi, without a pack: those of lo stay in the low half of their lane,
// those of hi move to the upper half, and one blend takes both. Lane i of
// the result therefore holds what lane 0, 4, 1, 5, 2, 6, 3, 7 of a pack
// (internal.h's descale_low16) would; evens_then_odds restores the order.
template <int shift>
MARIVUE_TARGET_AVX2 inline __m256i descale_interleaved(__m256i lo, __m256i hi) {
    if constexpr (shift >= 16)
        return _mm256_blend_epi16(_mm256_srai_epi32(lo, shift), _mm256_srai_epi32(hi, shift - 16), 0xAA);
    else
        return _mm256_blend_epi16(_mm256_srli_epi32(lo, shift), _mm256_slli_epi32(hi, 16 - shift), 0xAA);
}

// Registers 0 to 7 take what registers 0, 2, 4, 6, 1, 3, 5, 7 held. After
// an interleaved row pass and the transpose, that puts the registers in
// order. Before the transpose in front of the column pass, it puts the
// columns in the lane order that the column pass's interleaving undoes.
MARIVUE_TARGET_AVX2 inline void evens_then_odds(__m256i* r) {
    const __m256i t[8] = {r[0], r[1], r[2], r[3], r[4], r[5], r[6], r[7]};
    for (int i = 0; i < 4; i++) {
        r[i] = t[2 * i];
        r[i + 4] = t[2 * i + 1];
    }
}

template <int shift>
MARIVUE_TARGET_AVX2 inline void pass(__m256i* d) {
    __m256i lo[8], hi[8];
    transform_lanes(_mm256_unpacklo_epi16(d[0], d[4]), _mm256_unpacklo_epi16(d[2], d[6]),
                    _mm256_unpacklo_epi16(d[1], d[3]), _mm256_unpacklo_epi16(d[5], d[7]), rounding<shift>(), lo);
    transform_lanes(_mm256_unpackhi_epi16(d[0], d[4]), _mm256_unpackhi_epi16(d[2], d[6]),
                    _mm256_unpackhi_epi16(d[1], d[3]), _mm256_unpackhi_epi16(d[5], d[7]), rounding<shift>(), hi);
    for (int k = 0; k < 8; k++) d[k] = descale_interleaved<shift>(lo[k], hi[k]);
}

// pass for blocks whose inputs 4 to 7 are 0 in every lane; with
// `upper_lanes_zero`, lanes 4 to 7 are all 0 as well, and so are their
// results (the rounding alone shifts out to 0).
template <int shift, bool upper_lanes_zero>
MARIVUE_TARGET_AVX2 inline void low_pass(__m256i* d) {
    const __m256i zero = _mm256_setzero_si256();
    __m256i lo[8], hi[8];
    transform_lanes<true>(_mm256_unpacklo_epi16(d[0], zero), _mm256_unpacklo_epi16(d[2], zero),
                          _mm256_unpacklo_epi16(d[1], d[3]), zero, rounding<shift>(), lo);
    if (upper_lanes_zero) {
        for (int k = 0; k < 8; k++) d[k] = descale_interleaved<shift>(lo[k], zero);
        return;
    }
    transform_lanes<true>(_mm256_unpackhi_epi16(d[0], zero), _mm256_unpackhi_epi16(d[2], zero),
                          _mm256_unpackhi_epi16(d[1], d[3]), zero, rounding<shift>(), hi);
    for (int k = 0; k < 8; k++) d[k] = descale_interleaved<shift>(lo[k], hi[k]);
}

// Where each byte of a row of the transposed block (see blocks_transposed)
// comes from in each zigzag-order register of eight: the byte there, or
// -128 (none).
struct Unzigzag {
    alignas(16) int8_t from[8][8][16];  // [row][register][byte]
    uint8_t registers[8];  // for each row, the registers it takes from (bits)
    constexpr Unzigzag() : from{}, registers{} {
        for (auto& row : from)
            for (auto& reg : row)
                for (auto& byte : reg) byte = -128;
        for (int k = 0; k < 64; k++) {
            const int row = zigzag_transposed.at[k] / 8, column = zigzag_transposed.at[k] % 8;
            from[row][k / 8][2 * column] = static_cast<int8_t>(2 * (k % 8));
            from[row][k / 8][2 * column + 1] = static_cast<int8_t>(2 * (k % 8) + 1);
            registers[row] = static_cast<uint8_t>(registers[row] | 1 << (k / 8));
        }
    }
};
constexpr Unzigzag unzigzag;

}  // namespace

MARIVUE_TARGET_AVX2 void dequantise_zigzag_avx2(int16_t* block, const int16_t* ac, int16_t dc, const int16_t* quant) {
    __m128i products[8];
    for (int q = 0; q < 8; q++) {
        products[q] = _mm_mullo_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(ac + 8 * q)),
                                      _mm_loadu_si128(reinterpret_cast<const __m128i*>(quant + 8 * q)));
    }
    // Each row gathers its eight from the three to five registers that hold
    // them; the loops unroll, and the registers a row skips cost nothing.
#pragma GCC unroll 8
    for (int row = 0; row < 8; row++) {
        __m128i natural = _mm_setzero_si128();
#pragma GCC unroll 8
        for (int q = 0; q < 8; q++)
            if (unzigzag.registers[row] >> q & 1)
                natural = _mm_or_si128(
                    natural, _mm_shuffle_epi8(products[q],
                                              _mm_load_si128(reinterpret_cast<const __m128i*>(unzigzag.from[row][q]))));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(block + 8 * row), natural);
    }
    block[0] = low16(dc * quant[0]);
}

MARIVUE_TARGET_AVX2 void idct_two_blocks_avx2(const int16_t* a, const int16_t* b, uint8_t* out_a, uint8_t* out_b) {
    // Stored transposed, register u holds column u of both blocks, lane v
    // its row v: the row pass's input as it is, with no transpose first.
    __m256i r[8];
    for (int u = 0; u < 8; u++)
        r[u] = _mm256_inserti128_si256(
            _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(a + 8 * u))),
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + 8 * u)), 1);
    // Blocks whose coefficients all lie in the 4 x 4 lowest frequencies
    // (most blocks of smooth pictures): three quarters of the row pass's
    // inputs and half of the column pass's are known to be 0.
    const __m256i high_rows = _mm256_set_epi16(-1, -1, -1, -1, 0, 0, 0, 0, -1, -1, -1, -1, 0, 0, 0, 0);
    const __m256i low_columns = _mm256_or_si256(_mm256_or_si256(r[0], r[1]), _mm256_or_si256(r[2], r[3]));
    const __m256i high_columns = _mm256_or_si256(_mm256_or_si256(r[4], r[5]), _mm256_or_si256(r[6], r[7]));
    if (_mm256_testz_si256(_mm256_or_si256(high_columns, _mm256_and_si256(low_columns, high_rows)),
                           _mm256_set1_epi8(-1))) {
        // Among them, blocks with nothing but their DC coefficient are one
        // fill each; when only one of the two is, the transform gives it
        // the same fill.
        const __m256i ac =
            _mm256_or_si256(_mm256_or_si256(r[1], r[2]), _mm256_or_si256(r[3], _mm256_srli_si256(r[0], 2)));
        if (_mm256_testz_si256(ac, ac)) {
            std::memset(out_a, dc_only_sample(a[0]), 64);
            std::memset(out_b, dc_only_sample(b[0]), 64);
            return;
        }
        low_pass<11, true>(r);
        evens_then_odds(r);
        transpose(r);
        evens_then_odds(r);
        low_pass<18, false>(r);
    } else {
        pass<11>(r);
        evens_then_odds(r);
        transpose(r);
        evens_then_odds(r);
        pass<18>(r);
    }
    const __m256i level = _mm256_set1_epi16(128);
    for (int k = 0; k < 8; k += 2) {
        __m256i samples = _mm256_packus_epi16(_mm256_adds_epi16(r[k], level), _mm256_adds_epi16(r[k + 1], level));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out_a + 8 * k), _mm256_castsi256_si128(samples));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out_b + 8 * k), _mm256_extracti128_si256(samples, 1));
    }
}

}  // namespace marivue::jpeg::detail

#endif
