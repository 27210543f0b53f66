// What the colour converters (colour.cpp, colour_general.cpp) share: the
// chroma offsets of eight pixels, eight pixels' red, green and blue, and
// their stores in each of the row layouts. Every store writes exactly its
// pixels' bytes, so that a converter can write into a caller's row of the
// picture's exact width.
#pragma once

#include "jpeg/internal.h"

#include <cstring>

#if MARIVUE_SSE2
#include <emmintrin.h>
#endif

namespace marivue::jpeg::detail {

inline uint8_t clamp_sample(int32_t v) { return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v); }

// Per-pixel chroma offsets for eight output pixels. Every offset lies
// within -227..226 and every luma sample within 0..255, so their sums fit
// 16 bits and clamping them gives exactly the 32-bit results.
struct Offsets8 {
    alignas(16) int16_t red[8];
    alignas(16) int16_t green[8];
    alignas(16) int16_t blue[8];
};

#if MARIVUE_SSE2
// The colour tables' values computed eight at a time from chroma in 16-bit
// lanes. Each factor above 2^15 is split into a multiple of 65536, whose
// part of the product shifts out whole, and a rest that the 16-bit
// multiply-add takes; the sums are then the tables' exact entries:
//   91882 x = 65536 x + 26346 x;  116130 x = 131072 x - 14942 x;
//   -22554 b - 46802 r = -22554 b + 18734 r - 65536 r.
inline void vector_offsets(__m128i cb, __m128i cr, Offsets8& o) {
    const __m128i centre = _mm_set1_epi16(128);
    const __m128i half = _mm_set1_epi16(0);
    __m128i x_cb = _mm_sub_epi16(cb, centre), x_cr = _mm_sub_epi16(cr, centre);
    const __m128i round = _mm_set1_epi32(32768);
    auto scaled = [&](__m128i a, __m128i b, __m128i factors) {
        __m128i lo = _mm_add_epi32(_mm_madd_epi16(_mm_unpacklo_epi16(a, b), factors), round);
        __m128i hi = _mm_add_epi32(_mm_madd_epi16(_mm_unpackhi_epi16(a, b), factors), round);
        return _mm_packs_epi32(_mm_srai_epi32(lo, 16), _mm_srai_epi32(hi, 16));
    };
    __m128i red = _mm_add_epi16(x_cr, scaled(x_cr, half, _mm_set1_epi32(26346)));
    __m128i blue = _mm_add_epi16(_mm_add_epi16(x_cb, x_cb), scaled(x_cb, half, _mm_set1_epi32(0xFFFF & -14942)));
    __m128i green = _mm_sub_epi16(scaled(x_cb, x_cr, _mm_set1_epi32((18734 << 16) | (0xFFFF & -22554))), x_cr);
    _mm_store_si128(reinterpret_cast<__m128i*>(o.red), red);
    _mm_store_si128(reinterpret_cast<__m128i*>(o.green), green);
    _mm_store_si128(reinterpret_cast<__m128i*>(o.blue), blue);
}
#else
// The offsets of one chroma pair: the three table-indexed additions and
// the shift, made once for all the pixels the pair covers.
inline void chroma_offsets(const JpegDecoder& d, int32_t cb, int32_t cr, int16_t& red, int16_t& green, int16_t& blue) {
    red = static_cast<int16_t>(d.cr_to_red[cr]);
    green = static_cast<int16_t>((d.cb_to_green[cb] + d.cr_to_green[cr]) >> 16);
    blue = static_cast<int16_t>(d.cb_to_blue[cb]);
}
#endif

// Offsets for eight pixels with one chroma pair each (no horizontal
// subsampling), from chroma samples cb[0..7], cr[0..7].
inline void offsets_full(const JpegDecoder& d, const uint8_t* cb, const uint8_t* cr, Offsets8& o) {
#if MARIVUE_SSE2
    (void)d;
    const __m128i zero = _mm_setzero_si128();
    vector_offsets(_mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(cb)), zero),
                   _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(cr)), zero), o);
#else
    for (int i = 0; i < 8; i++) chroma_offsets(d, cb[i], cr[i], o.red[i], o.green[i], o.blue[i]);
#endif
}

// Offsets for eight pixels sharing each chroma pair between two neighbours,
// from chroma samples cb[0..3], cr[0..3].
inline void offsets_half(const JpegDecoder& d, const uint8_t* cb, const uint8_t* cr, Offsets8& o) {
#if MARIVUE_SSE2
    (void)d;
    const __m128i zero = _mm_setzero_si128();
    auto widen_twice = [&](const uint8_t* p) {
        int32_t four;
        std::memcpy(&four, p, 4);
        __m128i v = _mm_unpacklo_epi8(_mm_cvtsi32_si128(four), zero);
        return _mm_unpacklo_epi16(v, v);
    };
    vector_offsets(widen_twice(cb), widen_twice(cr), o);
#else
    for (int i = 0; i < 4; i++) {
        chroma_offsets(d, cb[i], cr[i], o.red[2 * i], o.green[2 * i], o.blue[2 * i]);
        o.red[2 * i + 1] = o.red[2 * i];
        o.green[2 * i + 1] = o.green[2 * i];
        o.blue[2 * i + 1] = o.blue[2 * i];
    }
#endif
}

// Eight samples of one component, or eight pixels' values of one colour:
// in the low half of a vector register, or as bytes.
#if MARIVUE_SSE2
using Samples8 = __m128i;
inline Samples8 load8(const uint8_t* p) { return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)); }
// Four samples, each twice: a component subsampled horizontally.
inline Samples8 load4_doubled(const uint8_t* p) {
    int32_t four;
    std::memcpy(&four, p, 4);
    __m128i v = _mm_cvtsi32_si128(four);
    return _mm_unpacklo_epi8(v, v);
}
#else
struct Samples8 {
    uint8_t v[8];
};
inline Samples8 load8(const uint8_t* p) {
    Samples8 s;
    std::memcpy(s.v, p, 8);
    return s;
}
inline Samples8 load4_doubled(const uint8_t* p) {
    Samples8 s;
    for (int i = 0; i < 8; i++) s.v[i] = p[i / 2];
    return s;
}
#endif

// Red, green and blue of eight pixels from luma y[0..7] and their offsets.
struct Colours8 {
    Samples8 red, green, blue;
};

inline Colours8 colours_from_luma(const uint8_t* y, const Offsets8& o) {
#if MARIVUE_SSE2
    const __m128i zero = _mm_setzero_si128();
    __m128i luma = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(y)), zero);
    __m128i red = _mm_add_epi16(luma, _mm_load_si128(reinterpret_cast<const __m128i*>(o.red)));
    __m128i green = _mm_add_epi16(luma, _mm_load_si128(reinterpret_cast<const __m128i*>(o.green)));
    __m128i blue = _mm_add_epi16(luma, _mm_load_si128(reinterpret_cast<const __m128i*>(o.blue)));
    // Unsigned saturation is the clamp to 0..255.
    return {_mm_packus_epi16(red, zero), _mm_packus_epi16(green, zero), _mm_packus_epi16(blue, zero)};
#else
    Colours8 c;
    for (int i = 0; i < 8; i++) {
        c.red.v[i] = clamp_sample(y[i] + o.red[i]);
        c.green.v[i] = clamp_sample(y[i] + o.green[i]);
        c.blue.v[i] = clamp_sample(y[i] + o.blue[i]);
    }
    return c;
#endif
}

// The grey of a pixel coded as RGB, which has no luma samples of its own.
inline uint8_t grey_of(int32_t red, int32_t green, int32_t blue) {
    return static_cast<uint8_t>((77 * red + 150 * green + 29 * blue + 128) >> 8);
}

#if MARIVUE_SSE2
// Twelve bytes of four pixels' first three bytes, from sixteen (each
// pixel's fourth byte dropped): the first eight and the last four.
inline void store_twelve(uint8_t* out, __m128i v) {
    const __m128i first_pixel = _mm_set1_epi64x(0xFFFFFF), second_pixel = _mm_set1_epi64x(0xFFFFFF000000);
    const __m128i low_half = _mm_set_epi64x(0, -1), high_half = _mm_set_epi64x(-1, 0);
    const __m128i six = _mm_or_si128(_mm_and_si128(v, first_pixel), _mm_and_si128(_mm_srli_epi64(v, 8), second_pixel));
    const __m128i twelve = _mm_or_si128(_mm_and_si128(six, low_half), _mm_srli_si128(_mm_and_si128(six, high_half), 2));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out), twelve);
    const int32_t last = _mm_cvtsi128_si32(_mm_srli_si128(twelve, 8));
    std::memcpy(out + 8, &last, 4);
}
#endif

// Eight pixels from their red, green and blue, in `layout`: exactly
// 8 x layout_bytes bytes. LayoutGrey is the grey of pixels coded as RGB.
template <int32_t layout>
inline void store8(uint8_t* out, const Colours8& c) {
#if MARIVUE_SSE2
    const __m128i zero = _mm_setzero_si128();
    if constexpr (layout == LayoutGrey) {
        const __m128i r = _mm_unpacklo_epi8(c.red, zero), g = _mm_unpacklo_epi8(c.green, zero);
        const __m128i b = _mm_unpacklo_epi8(c.blue, zero);
        // 77 r + 150 g + 29 b + 128 fits 16 bits unsigned: 65408 at most.
        const __m128i sum = _mm_add_epi16(
            _mm_add_epi16(_mm_mullo_epi16(r, _mm_set1_epi16(77)), _mm_mullo_epi16(g, _mm_set1_epi16(150))),
            _mm_add_epi16(_mm_mullo_epi16(b, _mm_set1_epi16(29)), _mm_set1_epi16(128)));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out), _mm_packus_epi16(_mm_srli_epi16(sum, 8), zero));
    } else {
        constexpr bool blue_first = layout == LayoutBgr || layout == LayoutBgrx;
        const __m128i fourth = layout == LayoutRgbx || layout == LayoutBgrx ? _mm_set1_epi8(-1) : zero;
        const __m128i near = _mm_unpacklo_epi8(blue_first ? c.blue : c.red, c.green);
        const __m128i far = _mm_unpacklo_epi8(blue_first ? c.red : c.blue, fourth);
        const __m128i first = _mm_unpacklo_epi16(near, far), second = _mm_unpackhi_epi16(near, far);
        if constexpr (layout == LayoutRgb || layout == LayoutBgr) {
            store_twelve(out, first);
            store_twelve(out + 12, second);
        } else {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out), first);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16), second);
        }
    }
#else
    for (int i = 0; i < 8; i++) {
        const uint8_t r = c.red.v[i], g = c.green.v[i], b = c.blue.v[i];
        if constexpr (layout == LayoutGrey) {
            out[i] = grey_of(r, g, b);
        } else if constexpr (layout == LayoutRgb || layout == LayoutBgr) {
            out[3 * i] = layout == LayoutRgb ? r : b;
            out[3 * i + 1] = g;
            out[3 * i + 2] = layout == LayoutRgb ? b : r;
        } else {
            constexpr bool blue_first = layout == LayoutBgrx;
            out[4 * i] = blue_first ? b : r;
            out[4 * i + 1] = g;
            out[4 * i + 2] = blue_first ? r : b;
            out[4 * i + 3] = layout == LayoutDefault ? 0 : 255;
        }
    }
#endif
}

// Eight grey samples as pixels of `layout`: as they are in LayoutGrey and
// LayoutDefault, else in every colour and 255 in a fourth byte.
template <int32_t layout>
inline void store_grey8(uint8_t* out, const uint8_t* grey) {
    if constexpr (layout == LayoutGrey || layout == LayoutDefault) {
        std::memcpy(out, grey, 8);
    } else {
        const Samples8 v = load8(grey);
        Colours8 c{v, v, v};
        store8<layout == LayoutBgr ? LayoutRgb : layout == LayoutBgrx ? LayoutRgbx : layout>(out, c);
    }
}

}  // namespace marivue::jpeg::detail
