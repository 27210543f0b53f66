// The general scheme's conversion: every layout the fixed schemes of
// colour.cpp do not serve (four components, other sampling factors) and
// every layout at a reduced size. Each component's samples are gathered
// into a row, each repeated over the output pixels it covers, then the rows
// are converted pixel by pixel: YCbCr with the same offsets and code as the
// fixed schemes, RGB as it is, and the four-component codings to red, green,
// blue by the naive product, with Adobe's inverted values (255 = no ink) as
// stored:
//   CMYK  red = (C x K + 127) / 255, green = (M x K + 127) / 255,
//         blue = (Y x K + 127) / 255 (integer division: the product / 255
//         rounded to nearest);
//   YCCK  first R', G', B' from Y, Cb, Cr exactly as for YCbCr (clamped to
//         0..255), then C = 255 - R', M = 255 - G', Y = 255 - B' and the
//         CMYK formula with K as stored.
// Grey output is the luma samples as they are of a grey or YCbCr picture;
// of the other codings, which carry no luma, it is computed from the
// colours.
#include "jpeg/colour_pixels.h"

namespace marivue::jpeg::detail {

namespace {

inline int32_t current_row(const JpegDecoder& d) { return d.mcu_height - d.mcu_rows_remaining; }

inline const uint8_t* block_row(const JpegDecoder& d, int32_t block, int32_t row) {
    return d.sample_rows + 64 * block + 8 * row;
}

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

inline uint8_t clamp_byte(int32_t v) { return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v); }

// The naive product of an inverted ink value and the inverted black.
inline uint8_t ink_product(int32_t ink, int32_t black) { return static_cast<uint8_t>((ink * black + 127) / 255); }

// Eight pixels of the four-component codings, from the gathered rows at x.
template <int32_t layout>
void put_ink8(const JpegDecoder& d, const uint8_t* const* plane, int32_t x, uint8_t* out) {
    alignas(16) uint8_t rgb[3][8];
    if (d.colour_coding == CodingCmyk) {
        for (int32_t i = 0; i < 8; i++)
            for (int32_t c = 0; c < 3; c++) rgb[c][i] = ink_product(plane[c][x + i], plane[3][x + i]);
    } else {  // CodingYcck
        Offsets8 o;
        offsets_full(d, plane[1] + x, plane[2] + x, o);
        for (int32_t i = 0; i < 8; i++) {
            const int32_t luma = plane[0][x + i], black = plane[3][x + i];
            rgb[0][i] = ink_product(255 - clamp_byte(luma + o.red[i]), black);
            rgb[1][i] = ink_product(255 - clamp_byte(luma + o.green[i]), black);
            rgb[2][i] = ink_product(255 - clamp_byte(luma + o.blue[i]), black);
        }
    }
    store8<layout>(out, {load8(rgb[0]), load8(rgb[1]), load8(rgb[2])});
}

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

template <int32_t layout>
bool convert_half_h2(JpegDecoder& d, int32_t r, uint8_t* out) {
    if (!is_half_h2(d)) return false;
    const bool h2v2 = d.blocks_per_output_mcu == 6;
    const int32_t luma_block = h2v2 ? 2 * (r / 4) : 0, luma_row = r % 4, chroma_row = h2v2 ? r / 2 : r;
    const int32_t step = d.blocks_per_output_mcu, chroma = h2v2 ? 4 : 2;
    Offsets8 o;
    alignas(8) uint8_t luma[8];
    for (int32_t m = 0; m < d.mcus_per_row; m++, out += 8 * layout_bytes(layout, 3)) {
        const int32_t first = step * m;
        std::memcpy(luma, block_row(d, first + luma_block, luma_row), 4);
        std::memcpy(luma + 4, block_row(d, first + luma_block + 1, luma_row), 4);
        if constexpr (layout == LayoutGrey) {
            std::memcpy(out, luma, 8);
        } else {
            offsets_half(d, block_row(d, first + chroma, chroma_row), block_row(d, first + chroma + 1, chroma_row), o);
            store8<layout>(out, colours_from_luma(luma, o));
        }
    }
    return true;
}

template <int32_t layout>
void convert_general_in(JpegDecoder& d, uint8_t* out) {
    const int32_t r = current_row(d);
    if (convert_half_h2<layout>(d, r, out)) return;
    const int32_t pixels = d.mcus_per_row * d.mcu_width;
    const bool grey_out = layout == LayoutGrey || (layout == LayoutDefault && d.colour_coding == CodingGrey);
    if (grey_out && (d.colour_coding == CodingGrey || d.colour_coding == CodingYCbCr)) {
        // The luma samples as they are.
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
    constexpr int32_t step = 8 * layout_bytes(layout, 3);
    switch (d.colour_coding) {
        case CodingGrey:
            for (int32_t x = 0; x < pixels; x += 8, out += step) store_grey8<layout>(out, plane[0] + x);
            break;
        case CodingYCbCr:
            for (int32_t x = 0; x < pixels; x += 8, out += step) {
                Offsets8 o;
                offsets_full(d, plane[1] + x, plane[2] + x, o);
                store8<layout>(out, colours_from_luma(plane[0] + x, o));
            }
            break;
        case CodingRgb:
            for (int32_t x = 0; x < pixels; x += 8, out += step)
                store8<layout>(out, {load8(plane[0] + x), load8(plane[1] + x), load8(plane[2] + x)});
            break;
        default:  // CodingCmyk, CodingYcck
            for (int32_t x = 0; x < pixels; x += 8, out += step) put_ink8<layout>(d, plane, x, out);
            break;
    }
}

}  // namespace

void convert_general(JpegDecoder& d, int32_t layout, uint8_t* out) {
    switch (layout) {
        case LayoutRgb:
            return convert_general_in<LayoutRgb>(d, out);
        case LayoutBgr:
            return convert_general_in<LayoutBgr>(d, out);
        case LayoutRgbx:
            return convert_general_in<LayoutRgbx>(d, out);
        case LayoutBgrx:
            return convert_general_in<LayoutBgrx>(d, out);
        case LayoutGrey:
            return convert_general_in<LayoutGrey>(d, out);
        default:
            return convert_general_in<LayoutDefault>(d, out);
    }
}

}  // namespace marivue::jpeg::detail
