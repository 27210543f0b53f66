// YCbCr-to-RGB conversion of 4:2:0 and 4:4:4 rows, sixteen pixels at a
// time with AVX2: the arithmetic of colour.cpp's SSE2 converters, each
// 128-bit half of a register holding what one SSE2 register holds there, so
// the samples are the same. Like idct_avx2.cpp, compiled for any x86-64
// target and run only where the processor has AVX2 (vector_path).
#include "jpeg/internal.h"

#include <cstring>

#if MARIVUE_AVX2
#include <immintrin.h>

#define MARIVUE_TARGET_AVX2 __attribute__((target("avx2")))

namespace marivue::jpeg::detail {

namespace {

struct Offsets16 {
    __m256i red, green, blue;
};

// (a x low factor + b x high factor + 2^15) >> 16 per lane, as 16 bits.
MARIVUE_TARGET_AVX2 inline __m256i scaled(__m256i a, __m256i b, __m256i factors) {
    const __m256i round = _mm256_set1_epi32(32768);
    __m256i lo = _mm256_add_epi32(_mm256_madd_epi16(_mm256_unpacklo_epi16(a, b), factors), round);
    __m256i hi = _mm256_add_epi32(_mm256_madd_epi16(_mm256_unpackhi_epi16(a, b), factors), round);
    return _mm256_packs_epi32(_mm256_srai_epi32(lo, 16), _mm256_srai_epi32(hi, 16));
}

// The chroma offsets of sixteen pixels from chroma in 16-bit lanes (see
// colour_pixels.h's vector_offsets for the factors).
MARIVUE_TARGET_AVX2 inline Offsets16 offsets16(__m256i cb, __m256i cr) {
    const __m256i centre = _mm256_set1_epi16(128);
    const __m256i x_cb = _mm256_sub_epi16(cb, centre), x_cr = _mm256_sub_epi16(cr, centre);
    Offsets16 o;
    // (x f + 2^15) >> 16 for an even factor f is (x (f / 2) + 2^14) >> 15,
    // which one rounding multiply gives for every x of 16 bits.
    o.red = _mm256_add_epi16(x_cr, _mm256_mulhrs_epi16(x_cr, _mm256_set1_epi16(26346 / 2)));
    o.blue = _mm256_add_epi16(_mm256_add_epi16(x_cb, x_cb), _mm256_mulhrs_epi16(x_cb, _mm256_set1_epi16(-14942 / 2)));
    o.green = _mm256_sub_epi16(scaled(x_cb, x_cr, _mm256_set1_epi32((18734 << 16) | (0xFFFF & -22554))), x_cr);
    return o;
}

// Eight chroma samples, each twice, in 16-bit lanes.
MARIVUE_TARGET_AVX2 inline __m256i widen_twice(const uint8_t* p) {
    const __m128i eight = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
    return _mm256_cvtepu8_epi16(_mm_unpacklo_epi8(eight, eight));
}

// Eight samples at a and eight at b in 16-bit lanes.
MARIVUE_TARGET_AVX2 inline __m256i widen(const uint8_t* a, const uint8_t* b) {
    return _mm256_cvtepu8_epi16(_mm_unpacklo_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(a)),
                                                   _mm_loadl_epi64(reinterpret_cast<const __m128i*>(b))));
}

// Where each byte of three consecutive 16-byte stores of sixteen 3-byte
// pixels comes from: the pixel in the colour's vector, or 0x80 (none).
struct Interleave {
    alignas(16) int8_t from[3][3][16];  // [store][colour][byte]
    constexpr Interleave() : from{} {
        for (int v = 0; v < 3; v++)
            for (int colour = 0; colour < 3; colour++)
                for (int j = 0; j < 16; j++) {
                    const int p = 16 * v + j;
                    from[v][colour][j] = static_cast<int8_t>(p % 3 == colour ? p / 3 : -128);
                }
    }
};
constexpr Interleave interleave;

// Sixteen 16-bit lanes of each of two runs clamped to bytes: the first
// run's in the low half, the second's in the high half.
MARIVUE_TARGET_AVX2 inline __m256i to_bytes_twice(__m256i row0, __m256i row1) {
    return _mm256_permute4x64_epi64(_mm256_packus_epi16(row0, row1), 0xD8);
}

// The bytes of store v that come from one colour's vector, in place, in
// each half.
MARIVUE_TARGET_AVX2 inline __m256i pick_twice(__m256i colour, int v, int c) {
    return _mm256_shuffle_epi8(
        colour, _mm256_broadcastsi128_si256(_mm_load_si128(reinterpret_cast<const __m128i*>(interleave.from[v][c]))));
}

// Two runs of sixteen pixels from luma in 16-bit lanes and their offsets,
// in `layout`, exactly 16 x its bytes a pixel each: every 128-bit half of
// the registers that interleave the colours holds one run, so that one
// instruction serves both. Unsigned saturation is the clamp to 0..255.
// Without `both`, the second run is not stored.
template <int32_t layout, bool both = true>
MARIVUE_TARGET_AVX2 inline void put_pixels16_twice(uint8_t* out0, __m256i luma0, const Offsets16& o0, uint8_t* out1,
                                                   __m256i luma1, const Offsets16& o1) {
    const __m256i red = to_bytes_twice(_mm256_add_epi16(luma0, o0.red), _mm256_add_epi16(luma1, o1.red));
    const __m256i green = to_bytes_twice(_mm256_add_epi16(luma0, o0.green), _mm256_add_epi16(luma1, o1.green));
    const __m256i blue = to_bytes_twice(_mm256_add_epi16(luma0, o0.blue), _mm256_add_epi16(luma1, o1.blue));
    constexpr bool blue_first = layout == LayoutBgr || layout == LayoutBgrx;
    const __m256i first = blue_first ? blue : red, third = blue_first ? red : blue;
    auto store = [&](int at, __m256i v) MARIVUE_TARGET_AVX2 {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out0 + at), _mm256_castsi256_si128(v));
        if constexpr (both) _mm_storeu_si128(reinterpret_cast<__m128i*>(out1 + at), _mm256_extracti128_si256(v, 1));
    };
    if constexpr (layout == LayoutRgb || layout == LayoutBgr) {
        for (int v = 0; v < 3; v++)
            store(16 * v, _mm256_or_si256(_mm256_or_si256(pick_twice(first, v, 0), pick_twice(green, v, 1)),
                                          pick_twice(third, v, 2)));
    } else {
        const __m256i fourth = layout == LayoutDefault ? _mm256_setzero_si256() : _mm256_set1_epi8(-1);
        const __m256i near_lo = _mm256_unpacklo_epi8(first, green), near_hi = _mm256_unpackhi_epi8(first, green);
        const __m256i far_lo = _mm256_unpacklo_epi8(third, fourth), far_hi = _mm256_unpackhi_epi8(third, fourth);
        store(0, _mm256_unpacklo_epi16(near_lo, far_lo));
        store(16, _mm256_unpackhi_epi16(near_lo, far_lo));
        store(32, _mm256_unpacklo_epi16(near_hi, far_hi));
        store(48, _mm256_unpackhi_epi16(near_hi, far_hi));
    }
}

// One run of sixteen pixels.
template <int32_t layout>
MARIVUE_TARGET_AVX2 inline void put_pixels16(uint8_t* out, __m256i luma, const Offsets16& o) {
    put_pixels16_twice<layout, false>(out, luma, o, nullptr, luma, o);
}

inline const uint8_t* block_row(const JpegDecoder& d, int32_t block, int32_t row) {
    return d.sample_rows + 64 * block + 8 * row;
}

constexpr int32_t bytes_of(int32_t layout) { return layout == LayoutRgb || layout == LayoutBgr ? 3 : 4; }

template <int32_t layout>
MARIVUE_TARGET_AVX2 void convert_h2v2_avx2(JpegDecoder& d, uint8_t* out0, uint8_t* out1, int32_t m0, int32_t m1) {
    const int32_t r = d.mcu_height - d.mcu_rows_remaining;
    constexpr int32_t step = 16 * bytes_of(layout);
    for (int32_t m = m0; m < m1; m++, out0 += step, out1 += step) {
        const Offsets16 o =
            offsets16(widen_twice(block_row(d, 6 * m + 4, r / 2)), widen_twice(block_row(d, 6 * m + 5, r / 2)));
        const uint8_t* left = block_row(d, 6 * m + 2 * (r / 8), r % 8);
        const uint8_t* right = block_row(d, 6 * m + 2 * (r / 8) + 1, r % 8);
        put_pixels16_twice<layout>(out0, widen(left, right), o, out1, widen(left + 8, right + 8), o);
    }
}

// Row r of the luma of MCUs a and b of a 4:4:4 row, and the chroma offsets.
MARIVUE_TARGET_AVX2 inline __m256i luma_h1v1(const JpegDecoder& d, int32_t r, int32_t a, int32_t b) {
    return widen(block_row(d, 3 * a, r), block_row(d, 3 * b, r));
}
MARIVUE_TARGET_AVX2 inline Offsets16 offsets_h1v1(const JpegDecoder& d, int32_t r, int32_t a, int32_t b) {
    return offsets16(widen(block_row(d, 3 * a + 1, r), block_row(d, 3 * b + 1, r)),
                     widen(block_row(d, 3 * a + 2, r), block_row(d, 3 * b + 2, r)));
}

// Four MCUs at a time, then two; an odd last one is converted beside itself
// into a buffer, of which its own eight pixels are kept.
template <int32_t layout>
MARIVUE_TARGET_AVX2 void convert_h1v1_avx2(JpegDecoder& d, uint8_t* out, uint8_t*, int32_t m0, int32_t m1) {
    const int32_t r = d.mcu_height - d.mcu_rows_remaining;
    constexpr int32_t step = 16 * bytes_of(layout);
    auto pixels16 = [&](int32_t a, int32_t b, uint8_t* to) MARIVUE_TARGET_AVX2 {
        put_pixels16<layout>(to, luma_h1v1(d, r, a, b), offsets_h1v1(d, r, a, b));
    };
    int32_t m = m0;
    for (; m + 3 < m1; m += 4, out += 2 * step)
        put_pixels16_twice<layout>(out, luma_h1v1(d, r, m, m + 1), offsets_h1v1(d, r, m, m + 1), out + step,
                                   luma_h1v1(d, r, m + 2, m + 3), offsets_h1v1(d, r, m + 2, m + 3));
    for (; m + 1 < m1; m += 2, out += step) pixels16(m, m + 1, out);
    if (m < m1) {
        alignas(32) uint8_t both[16 * 4];
        pixels16(m, m, both);
        std::memcpy(out, both, step / 2);
    }
}

}  // namespace

RowConverter avx2_converter(int32_t scheme, int32_t layout) {
    switch (layout) {
        case LayoutRgb:
            return scheme == SchemeH2V2 ? convert_h2v2_avx2<LayoutRgb> : convert_h1v1_avx2<LayoutRgb>;
        case LayoutBgr:
            return scheme == SchemeH2V2 ? convert_h2v2_avx2<LayoutBgr> : convert_h1v1_avx2<LayoutBgr>;
        case LayoutRgbx:
            return scheme == SchemeH2V2 ? convert_h2v2_avx2<LayoutRgbx> : convert_h1v1_avx2<LayoutRgbx>;
        case LayoutBgrx:
            return scheme == SchemeH2V2 ? convert_h2v2_avx2<LayoutBgrx> : convert_h1v1_avx2<LayoutBgrx>;
        default:
            return scheme == SchemeH2V2 ? convert_h2v2_avx2<LayoutDefault> : convert_h1v1_avx2<LayoutDefault>;
    }
}

}  // namespace marivue::jpeg::detail

#endif
