// Colour conversion of the transformed samples into output rows: YCbCr to
// RGB, or RGB samples interleaved as they are. Chroma is upsampled by
// replication; the table look-ups for one chroma pair serve every pixel it
// covers, which is why the vertically subsampled schemes convert two rows
// in one pass.
//
// The general scheme (every other layout, and every layout at a reduced
// size) first gathers one row per component, each sample repeated over the
// output pixels it covers, then converts the rows pixel by pixel: YCbCr
// with the same tables and code as the schemes above, RGB as it is, and the
// four-component codings to red, green, blue by the naive product, with
// Adobe's inverted values (255 = no ink) as stored:
//   CMYK  red = (C x K + 127) / 255, green = (M x K + 127) / 255,
//         blue = (Y x K + 127) / 255 (integer division: the product / 255
//         rounded to nearest);
//   YCCK  first R', G', B' from Y, Cb, Cr exactly as for YCbCr (clamped to
//         0..255), then C = 255 - R', M = 255 - G', Y = 255 - B' and the
//         CMYK formula with K as stored.
#include "jpeg/internal.h"

#include <cstring>

#if MARIVUE_SSE2
#include <emmintrin.h>
#endif

namespace marivue::jpeg::detail {

namespace {

#if !MARIVUE_SSE2
inline uint8_t clamp_sample(int32_t v) { return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v); }
#endif

// Per-pixel chroma offsets for eight output pixels. Every offset lies
// within -227..226 and every luma sample within 0..255, so their sums fit
// 16 bits and clamping them gives exactly the 32-bit results.
struct Offsets8 {
    alignas(16) int16_t red[8];
    alignas(16) int16_t green[8];
    alignas(16) int16_t blue[8];
};

#if !MARIVUE_SSE2
// The offsets of one chroma pair: the three table-indexed additions and
// the shift, made once for all the pixels the pair covers.
inline void chroma_offsets(const JpegDecoder& d, int32_t cb, int32_t cr, int16_t& red, int16_t& green, int16_t& blue) {
    red = static_cast<int16_t>(d.cr_to_red[cr]);
    green = static_cast<int16_t>((d.cb_to_green[cb] + d.cr_to_green[cr]) >> 16);
    blue = static_cast<int16_t>(d.cb_to_blue[cb]);
}
#endif

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

// Writes eight red, green, blue, 0 pixels from luma y[0..7] and offsets.
inline void put_pixels8(uint8_t* out, const uint8_t* y, const Offsets8& o) {
#if MARIVUE_SSE2
    const __m128i zero = _mm_setzero_si128();
    __m128i luma = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(y)), zero);
    __m128i red = _mm_add_epi16(luma, _mm_load_si128(reinterpret_cast<const __m128i*>(o.red)));
    __m128i green = _mm_add_epi16(luma, _mm_load_si128(reinterpret_cast<const __m128i*>(o.green)));
    __m128i blue = _mm_add_epi16(luma, _mm_load_si128(reinterpret_cast<const __m128i*>(o.blue)));
    // Unsigned saturation is the clamp to 0..255.
    __m128i rg = _mm_unpacklo_epi8(_mm_packus_epi16(red, zero), _mm_packus_epi16(green, zero));
    __m128i bz = _mm_unpacklo_epi8(_mm_packus_epi16(blue, zero), zero);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_unpacklo_epi16(rg, bz));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16), _mm_unpackhi_epi16(rg, bz));
#else
    for (int i = 0; i < 8; i++) {
        out[4 * i] = clamp_sample(y[i] + o.red[i]);
        out[4 * i + 1] = clamp_sample(y[i] + o.green[i]);
        out[4 * i + 2] = clamp_sample(y[i] + o.blue[i]);
        out[4 * i + 3] = 0;
    }
#endif
}

// Eight samples of one component for the RGB converters: in the low half
// of a vector register, or as bytes.
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
inline void put_rgb8(uint8_t* out, Samples8 red, Samples8 green, Samples8 blue) {
    __m128i rg = _mm_unpacklo_epi8(red, green);
    __m128i bz = _mm_unpacklo_epi8(blue, _mm_setzero_si128());
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_unpacklo_epi16(rg, bz));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16), _mm_unpackhi_epi16(rg, bz));
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
inline void put_rgb8(uint8_t* out, const Samples8& red, const Samples8& green, const Samples8& blue) {
    for (int i = 0; i < 8; i++) {
        out[4 * i] = red.v[i];
        out[4 * i + 1] = green.v[i];
        out[4 * i + 2] = blue.v[i];
        out[4 * i + 3] = 0;
    }
}
#endif

inline int32_t current_row(const JpegDecoder& d) { return d.mcu_height - d.mcu_rows_remaining; }

inline const uint8_t* block_row(const JpegDecoder& d, int32_t block, int32_t row) {
    return d.sample_rows + 64 * block + 8 * row;
}

}  // namespace

void copy_grey(JpegDecoder& d) {
    int32_t r = current_row(d);
    uint8_t* out = d.out_row_0;
    for (int32_t m = 0; m < d.mcus_per_row; m++) std::memcpy(out + 8 * m, block_row(d, m, r), 8);
}

void convert_h1v1(JpegDecoder& d) {
    int32_t r = current_row(d);
    Offsets8 o;
    for (int32_t m = 0; m < d.mcus_per_row; m++) {
        offsets_full(d, block_row(d, 3 * m + 1, r), block_row(d, 3 * m + 2, r), o);
        put_pixels8(d.out_row_0 + 32 * m, block_row(d, 3 * m, r), o);
    }
}

void convert_h2v1(JpegDecoder& d) {
    int32_t r = current_row(d);
    Offsets8 o;
    for (int32_t m = 0; m < d.mcus_per_row; m++) {
        const uint8_t* cb = block_row(d, 4 * m + 2, r);
        const uint8_t* cr = block_row(d, 4 * m + 3, r);
        for (int j = 0; j < 2; j++) {
            offsets_half(d, cb + 4 * j, cr + 4 * j, o);
            put_pixels8(d.out_row_0 + 4 * (16 * m + 8 * j), block_row(d, 4 * m + j, r), o);
        }
    }
}

void convert_h1v2(JpegDecoder& d) {
    int32_t r = current_row(d);
    Offsets8 o;
    for (int32_t m = 0; m < d.mcus_per_row; m++) {
        const uint8_t* y0 = block_row(d, 4 * m + r / 8, r % 8);
        offsets_full(d, block_row(d, 4 * m + 2, r / 2), block_row(d, 4 * m + 3, r / 2), o);
        put_pixels8(d.out_row_0 + 32 * m, y0, o);
        put_pixels8(d.out_row_1 + 32 * m, y0 + 8, o);
    }
}

void convert_h2v2(JpegDecoder& d) {
    int32_t r = current_row(d);
    Offsets8 o;
    for (int32_t m = 0; m < d.mcus_per_row; m++) {
        const uint8_t* cb = block_row(d, 6 * m + 4, r / 2);
        const uint8_t* cr = block_row(d, 6 * m + 5, r / 2);
        for (int j = 0; j < 2; j++) {
            const uint8_t* y0 = block_row(d, 6 * m + 2 * (r / 8) + j, r % 8);
            offsets_half(d, cb + 4 * j, cr + 4 * j, o);
            put_pixels8(d.out_row_0 + 4 * (16 * m + 8 * j), y0, o);
            put_pixels8(d.out_row_1 + 4 * (16 * m + 8 * j), y0 + 8, o);
        }
    }
}

// The RGB converters: the same layouts, with the second and third
// components replicated where chroma would be, and no arithmetic.
void convert_rgb_h1v1(JpegDecoder& d) {
    int32_t r = current_row(d);
    for (int32_t m = 0; m < d.mcus_per_row; m++)
        put_rgb8(d.out_row_0 + 32 * m, load8(block_row(d, 3 * m, r)), load8(block_row(d, 3 * m + 1, r)),
                 load8(block_row(d, 3 * m + 2, r)));
}

void convert_rgb_h2v1(JpegDecoder& d) {
    int32_t r = current_row(d);
    for (int32_t m = 0; m < d.mcus_per_row; m++) {
        const uint8_t* green = block_row(d, 4 * m + 2, r);
        const uint8_t* blue = block_row(d, 4 * m + 3, r);
        for (int j = 0; j < 2; j++)
            put_rgb8(d.out_row_0 + 4 * (16 * m + 8 * j), load8(block_row(d, 4 * m + j, r)),
                     load4_doubled(green + 4 * j), load4_doubled(blue + 4 * j));
    }
}

void convert_rgb_h1v2(JpegDecoder& d) {
    int32_t r = current_row(d);
    for (int32_t m = 0; m < d.mcus_per_row; m++) {
        const uint8_t* red = block_row(d, 4 * m + r / 8, r % 8);
        Samples8 green = load8(block_row(d, 4 * m + 2, r / 2)), blue = load8(block_row(d, 4 * m + 3, r / 2));
        put_rgb8(d.out_row_0 + 32 * m, load8(red), green, blue);
        put_rgb8(d.out_row_1 + 32 * m, load8(red + 8), green, blue);
    }
}

void convert_rgb_h2v2(JpegDecoder& d) {
    int32_t r = current_row(d);
    for (int32_t m = 0; m < d.mcus_per_row; m++) {
        const uint8_t* green = block_row(d, 6 * m + 4, r / 2);
        const uint8_t* blue = block_row(d, 6 * m + 5, r / 2);
        for (int j = 0; j < 2; j++) {
            const uint8_t* red = block_row(d, 6 * m + 2 * (r / 8) + j, r % 8);
            Samples8 g = load4_doubled(green + 4 * j), b = load4_doubled(blue + 4 * j);
            put_rgb8(d.out_row_0 + 4 * (16 * m + 8 * j), load8(red), g, b);
            put_rgb8(d.out_row_1 + 4 * (16 * m + 8 * j), load8(red + 8), g, b);
        }
    }
}

namespace {

inline uint8_t clamp_byte(int32_t v) { return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v); }

// How many output pixels across and rows down one sample of component c
// covers, and the component's blocks across an MCU. A lone component's
// factors do not shape its MCU: one block, one sample per pixel.
struct Coverage {
    int32_t blocks_across, across, down;
};

Coverage coverage_of(const JpegDecoder& d, int32_t c) {
    if (d.frame_component_count == 1) return {1, 1, 1};
    int32_t h_max = 1, v_max = 1;
    for (int32_t i = 0; i < d.frame_component_count; i++) {
        h_max = d.comp_h_factor[i] > h_max ? d.comp_h_factor[i] : h_max;
        v_max = d.comp_v_factor[i] > v_max ? d.comp_v_factor[i] : v_max;
    }
    return {d.comp_h_factor[c], h_max / d.comp_h_factor[c], v_max / d.comp_v_factor[c]};
}

// `side` samples, each twice, into out; returns the end of what it wrote.
template <int side>
inline uint8_t* doubled(const uint8_t* samples, uint8_t* out) {
#if MARIVUE_SSE2
    __m128i v;
    if constexpr (side == 8) {
        v = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(samples));
    } else {
        int32_t four = 0;
        std::memcpy(&four, samples, side);
        v = _mm_cvtsi32_si128(four);
    }
    alignas(16) uint8_t pairs[16];
    _mm_store_si128(reinterpret_cast<__m128i*>(pairs), _mm_unpacklo_epi8(v, v));
    std::memcpy(out, pairs, 2 * side);
#else
    for (int j = 0; j < side; j++) out[2 * j] = out[2 * j + 1] = samples[j];
#endif
    return out + 2 * side;
}

// The samples of `blocks` block rows, `side` (a constant) across each and
// `step` bytes apart, each repeated `across` times.
template <int side>
inline uint8_t* gather_blocks(const uint8_t* samples, int32_t blocks, size_t step, int32_t across, uint8_t* out) {
    for (int32_t i = 0; i < blocks; i++, samples += step) {
        if (across == 1) {
            std::memcpy(out, samples, side);
            out += side;
        } else if (across == 2) {
            out = doubled<side>(samples, out);
        } else {
            for (int j = 0; j < side; j++)
                for (int32_t n = 0; n < across; n++) *out++ = samples[j];
        }
    }
    return out;
}

// Component c's samples for row r of the current MCU row into `out`, each
// repeated over the pixels it covers: mcus_per_row x mcu_width pixels.
void gather_row(const JpegDecoder& d, int32_t c, int32_t r, uint8_t* out) {
    const Coverage k = coverage_of(d, c);
    const int32_t shift = d.settings.scale_shift, side = 8 >> shift;  // samples across a block
    const int32_t row = r / k.down;  // the component's sample row in the MCU row
    const uint8_t* first = block_row(d, d.comp_first_block[c] + (row / side) * k.blocks_across, row % side);
    const size_t mcu_bytes = 64 * static_cast<size_t>(d.blocks_per_output_mcu);
    for (int32_t m = 0; m < d.mcus_per_row; m++, first += mcu_bytes) {
        switch (shift) {
            case 0:
                out = gather_blocks<8>(first, k.blocks_across, 64, k.across, out);
                break;
            case 1:
                out = gather_blocks<4>(first, k.blocks_across, 64, k.across, out);
                break;
            case 2:
                out = gather_blocks<2>(first, k.blocks_across, 64, k.across, out);
                break;
            default:
                out = gather_blocks<1>(first, k.blocks_across, 64, k.across, out);
                break;
        }
    }
}

// The naive product of an inverted ink value and the inverted black.
inline uint8_t ink_product(int32_t ink, int32_t black) { return static_cast<uint8_t>((ink * black + 127) / 255); }

}  // namespace

namespace {

// The half size of the two horizontally subsampled layouts, 4:2:2 and 4:2:0
// (the common photographs' preview size), without gathering: each MCU
// gives eight pixels, luma from the four samples of two blocks, chroma four
// samples each serving two pixels. The same arithmetic as the general
// conversion, so the same rows.
bool is_half_h2(const JpegDecoder& d) {
    const bool h2v2 = d.blocks_per_output_mcu == 6;
    return d.settings.scale_shift == 1 && d.colour_coding == CodingYCbCr && d.frame_component_count == 3 &&
           d.comp_h_factor[0] == 2 && d.comp_h_factor[1] == 1 && d.comp_h_factor[2] == 1 && d.comp_v_factor[1] == 1 &&
           d.comp_v_factor[2] == 1 && d.comp_v_factor[0] == (h2v2 ? 2 : 1);
}

bool convert_half_h2(JpegDecoder& d, int32_t r) {
    if (!is_half_h2(d)) return false;
    const bool h2v2 = d.blocks_per_output_mcu == 6;
    const int32_t luma_block = h2v2 ? 2 * (r / 4) : 0, luma_row = r % 4, chroma_row = h2v2 ? r / 2 : r;
    const int32_t step = d.blocks_per_output_mcu, chroma = h2v2 ? 4 : 2;
    Offsets8 o;
    alignas(8) uint8_t luma[8];
    for (int32_t m = 0; m < d.mcus_per_row; m++) {
        const int32_t first = step * m;
        std::memcpy(luma, block_row(d, first + luma_block, luma_row), 4);
        std::memcpy(luma + 4, block_row(d, first + luma_block + 1, luma_row), 4);
        offsets_half(d, block_row(d, first + chroma, chroma_row), block_row(d, first + chroma + 1, chroma_row), o);
        put_pixels8(d.out_row_0 + 32 * m, luma, o);
    }
    return true;
}

}  // namespace

void convert_general(JpegDecoder& d) {
    const int32_t r = current_row(d);
    if (convert_half_h2(d, r)) return;
    const int32_t pixels = d.mcus_per_row * d.mcu_width;
    uint8_t* out = d.out_row_0;
    if (d.colour_coding == CodingGrey) {
        gather_row(d, 0, r, out);
        return;
    }
    const uint8_t* plane[4] = {};
    for (int32_t c = 0; c < d.frame_component_count; c++) {
        uint8_t* row = d.plane_rows + static_cast<size_t>(c) * static_cast<size_t>(d.plane_stride);
        gather_row(d, c, r, row);
        plane[c] = row;
    }
    // Eight pixels at a time: the rows are padded to a multiple of 16.
    Offsets8 o;
    switch (d.colour_coding) {
        case CodingYCbCr:
            for (int32_t x = 0; x < pixels; x += 8, out += 32) {
                offsets_full(d, plane[1] + x, plane[2] + x, o);
                put_pixels8(out, plane[0] + x, o);
            }
            break;
        case CodingRgb:
            for (int32_t x = 0; x < pixels; x += 8, out += 32)
                put_rgb8(out, load8(plane[0] + x), load8(plane[1] + x), load8(plane[2] + x));
            break;
        case CodingCmyk:
            for (int32_t x = 0; x < pixels; x++, out += 4) {
                const int32_t black = plane[3][x];
                out[0] = ink_product(plane[0][x], black);
                out[1] = ink_product(plane[1][x], black);
                out[2] = ink_product(plane[2][x], black);
                out[3] = 0;
            }
            break;
        default:  // CodingYcck
            for (int32_t x = 0; x < pixels; x += 8) {
                offsets_full(d, plane[1] + x, plane[2] + x, o);
                for (int32_t i = 0; i < 8; i++, out += 4) {
                    const int32_t luma = plane[0][x + i], black = plane[3][x + i];
                    out[0] = ink_product(255 - clamp_byte(luma + o.red[i]), black);
                    out[1] = ink_product(255 - clamp_byte(luma + o.green[i]), black);
                    out[2] = ink_product(255 - clamp_byte(luma + o.blue[i]), black);
                    out[3] = 0;
                }
            }
            break;
    }
}

// The luma samples of the row decode_row delivered last, for grey output of
// a YCbCr picture: the same blocks the converters above read luma from.
void copy_luma(const JpegDecoder& d, uint8_t* out) {
    const int32_t r = d.mcu_height - d.mcu_rows_remaining - 1;
    if (d.output_scheme == SchemeGeneral && is_half_h2(d)) {
        // convert_half_h2 gathers nothing: four luma samples from each of
        // the two blocks it reads, as it reads them.
        const int32_t luma_block = d.blocks_per_output_mcu == 6 ? 2 * (r / 4) : 0;
        for (int32_t x = 0; x < d.output_width; x += 4) {
            const int32_t m = x / 8, j = (x / 4) % 2;
            const uint8_t* luma = block_row(d, d.blocks_per_output_mcu * m + luma_block + j, r % 4);
            std::memcpy(out + x, luma, static_cast<size_t>(d.output_width - x < 4 ? d.output_width - x : 4));
        }
        return;
    }
    if (d.output_scheme == SchemeGeneral) {
        // The general scheme gathered them for that row.
        std::memcpy(out, d.frame_component_count == 1 ? d.out_row_0 : d.plane_rows,
                    static_cast<size_t>(d.output_width));
        return;
    }
    const bool two_across = d.output_scheme == SchemeH2V1 || d.output_scheme == SchemeH2V2;
    for (int32_t x = 0; x < d.output_width; x += 8) {
        const int32_t m = two_across ? x / 16 : x / 8;
        const int32_t j = two_across ? (x / 8) % 2 : 0;
        const uint8_t* luma = nullptr;
        switch (d.output_scheme) {
            case SchemeH1V1:
                luma = block_row(d, 3 * m, r);
                break;
            case SchemeH2V1:
                luma = block_row(d, 4 * m + j, r);
                break;
            case SchemeH1V2:
                luma = block_row(d, 4 * m + r / 8, r % 8);
                break;
            case SchemeH2V2:
                luma = block_row(d, 6 * m + 2 * (r / 8) + j, r % 8);
                break;
            default:
                luma = block_row(d, m, r);
                break;
        }
        std::memcpy(out + x, luma, static_cast<size_t>(d.output_width - x < 8 ? d.output_width - x : 8));
    }
}

void chroma_offsets_8(const JpegDecoder& d, const uint8_t* cb, const uint8_t* cr, int16_t* red, int16_t* green,
                      int16_t* blue) {
    Offsets8 o;
    offsets_full(d, cb, cr, o);
    std::memcpy(red, o.red, sizeof o.red);
    std::memcpy(green, o.green, sizeof o.green);
    std::memcpy(blue, o.blue, sizeof o.blue);
}

}  // namespace marivue::jpeg::detail
