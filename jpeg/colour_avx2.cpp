// YCbCr-to-RGB conversion of 4:2:0 rows, sixteen pixels at a time with
// AVX2: the arithmetic of colour.cpp's SSE2 converter, each 128-bit half of
// a register holding what one SSE2 register holds there, so the samples are
// the same. Like idct_avx2.cpp, compiled for any x86-64 target and run only
// where the processor has AVX2 (vector_path).
#include "jpeg/internal.h"

#if MARIVUE_AVX2
#include <immintrin.h>

#define MARIVUE_TARGET_AVX2 __attribute__((target("avx2")))

namespace marivue::jpeg::detail {

namespace {

struct Offsets16 {
    __m256i red, green, blue;
};

// Eight chroma samples, each twice, in 16-bit lanes.
MARIVUE_TARGET_AVX2 inline __m256i widen_twice(const uint8_t* p) {
    const __m128i eight = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
    return _mm256_cvtepu8_epi16(_mm_unpacklo_epi8(eight, eight));
}

// (a x low factor + b x high factor + 2^15) >> 16 per lane, as 16 bits.
MARIVUE_TARGET_AVX2 inline __m256i scaled(__m256i a, __m256i b, __m256i factors) {
    const __m256i round = _mm256_set1_epi32(32768);
    __m256i lo = _mm256_add_epi32(_mm256_madd_epi16(_mm256_unpacklo_epi16(a, b), factors), round);
    __m256i hi = _mm256_add_epi32(_mm256_madd_epi16(_mm256_unpackhi_epi16(a, b), factors), round);
    return _mm256_packs_epi32(_mm256_srai_epi32(lo, 16), _mm256_srai_epi32(hi, 16));
}

// The chroma offsets of sixteen pixels from eight chroma pairs, each pair
// serving two neighbours (see colour.cpp's vector_offsets for the factors).
MARIVUE_TARGET_AVX2 inline Offsets16 offsets_doubled(const uint8_t* cb, const uint8_t* cr) {
    const __m256i centre = _mm256_set1_epi16(128);
    const __m256i x_cb = _mm256_sub_epi16(widen_twice(cb), centre), x_cr = _mm256_sub_epi16(widen_twice(cr), centre);
    const __m256i half = _mm256_setzero_si256();
    Offsets16 o;
    o.red = _mm256_add_epi16(x_cr, scaled(x_cr, half, _mm256_set1_epi32(26346)));
    o.blue = _mm256_add_epi16(_mm256_add_epi16(x_cb, x_cb), scaled(x_cb, half, _mm256_set1_epi32(0xFFFF & -14942)));
    o.green = _mm256_sub_epi16(scaled(x_cb, x_cr, _mm256_set1_epi32((18734 << 16) | (0xFFFF & -22554))), x_cr);
    return o;
}

// Sixteen red, green, blue, 0 pixels from luma left[0..7], right[0..7].
MARIVUE_TARGET_AVX2 inline void put_pixels16(uint8_t* out, const uint8_t* left, const uint8_t* right,
                                             const Offsets16& o) {
    const __m128i luma8 = _mm_unpacklo_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(left)),
                                             _mm_loadl_epi64(reinterpret_cast<const __m128i*>(right)));
    const __m256i luma = _mm256_cvtepu8_epi16(luma8);
    const __m256i zero = _mm256_setzero_si256();
    // Unsigned saturation is the clamp to 0..255.
    const __m256i red = _mm256_packus_epi16(_mm256_add_epi16(luma, o.red), zero);
    const __m256i green = _mm256_packus_epi16(_mm256_add_epi16(luma, o.green), zero);
    const __m256i blue = _mm256_packus_epi16(_mm256_add_epi16(luma, o.blue), zero);
    const __m256i rg = _mm256_unpacklo_epi8(red, green), bz = _mm256_unpacklo_epi8(blue, zero);
    // Per half: pixels 0-3 and 4-7 of that half's eight.
    const __m256i first = _mm256_unpacklo_epi16(rg, bz), second = _mm256_unpackhi_epi16(rg, bz);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), _mm256_permute2x128_si256(first, second, 0x20));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 32), _mm256_permute2x128_si256(first, second, 0x31));
}

inline const uint8_t* block_row(const JpegDecoder& d, int32_t block, int32_t row) {
    return d.sample_rows + 64 * block + 8 * row;
}

}  // namespace

MARIVUE_TARGET_AVX2 void convert_h2v2_avx2(JpegDecoder& d) {
    const int32_t r = d.mcu_height - d.mcu_rows_remaining;
    for (int32_t m = 0; m < d.mcus_per_row; m++) {
        const Offsets16 o = offsets_doubled(block_row(d, 6 * m + 4, r / 2), block_row(d, 6 * m + 5, r / 2));
        const uint8_t* left = block_row(d, 6 * m + 2 * (r / 8), r % 8);
        const uint8_t* right = block_row(d, 6 * m + 2 * (r / 8) + 1, r % 8);
        put_pixels16(d.out_row_0 + 64 * m, left, right, o);
        put_pixels16(d.out_row_1 + 64 * m, left + 8, right + 8, o);
    }
}

}  // namespace marivue::jpeg::detail

#endif
