// Colour conversion of the transformed samples into output rows, in the
// row layout asked for: YCbCr to RGB, or RGB samples interleaved as they
// are, grey samples copied or replicated. Chroma is upsampled by
// replication; the offsets computed for one chroma pair serve every pixel
// it covers, which is why the vertically subsampled schemes convert two
// rows in one pass. A converter takes a range of MCUs and writes exactly
// their pixels, so that whole MCUs can go straight into a caller's row and
// only a last partial one through a buffer.
//
// Grey output of a picture coded as YCbCr is its luma samples; of one coded
// as RGB, (77 R + 150 G + 29 B + 128) >> 8.
#include "jpeg/colour_pixels.h"

namespace marivue::jpeg::detail {

namespace {

inline int32_t current_row(const JpegDecoder& d) { return d.mcu_height - d.mcu_rows_remaining; }

inline const uint8_t* block_row(const JpegDecoder& d, int32_t block, int32_t row) {
    return d.sample_rows + 64 * block + 8 * row;
}

template <int32_t layout>
constexpr int32_t pixel_bytes = layout_bytes(layout, 3);

// Eight pixels from luma and offsets: their colours, or for grey output the
// luma as it is.
template <int32_t layout>
inline void put_pixels8(uint8_t* out, const uint8_t* y, const Offsets8& o) {
    if constexpr (layout == LayoutGrey)
        std::memcpy(out, y, 8);
    else
        store8<layout>(out, colours_from_luma(y, o));
}

template <int32_t layout>
void copy_grey(JpegDecoder& d, uint8_t* out, uint8_t*, int32_t m0, int32_t m1) {
    const int32_t r = current_row(d);
    constexpr int32_t step = 8 * layout_bytes(layout, 1);
    for (int32_t m = m0; m < m1; m++, out += step) store_grey8<layout>(out, block_row(d, m, r));
}

template <int32_t layout>
void convert_h1v1(JpegDecoder& d, uint8_t* out, uint8_t*, int32_t m0, int32_t m1) {
    const int32_t r = current_row(d);
    Offsets8 o;
    for (int32_t m = m0; m < m1; m++, out += 8 * pixel_bytes<layout>) {
        if constexpr (layout != LayoutGrey) offsets_full(d, block_row(d, 3 * m + 1, r), block_row(d, 3 * m + 2, r), o);
        put_pixels8<layout>(out, block_row(d, 3 * m, r), o);
    }
}

template <int32_t layout>
void convert_h2v1(JpegDecoder& d, uint8_t* out, uint8_t*, int32_t m0, int32_t m1) {
    const int32_t r = current_row(d);
    Offsets8 o;
    for (int32_t m = m0; m < m1; m++) {
        const uint8_t* cb = block_row(d, 4 * m + 2, r);
        const uint8_t* cr = block_row(d, 4 * m + 3, r);
        for (int j = 0; j < 2; j++, out += 8 * pixel_bytes<layout>) {
            if constexpr (layout != LayoutGrey) offsets_half(d, cb + 4 * j, cr + 4 * j, o);
            put_pixels8<layout>(out, block_row(d, 4 * m + j, r), o);
        }
    }
}

template <int32_t layout>
void convert_h1v2(JpegDecoder& d, uint8_t* out0, uint8_t* out1, int32_t m0, int32_t m1) {
    const int32_t r = current_row(d);
    Offsets8 o;
    for (int32_t m = m0; m < m1; m++, out0 += 8 * pixel_bytes<layout>, out1 += 8 * pixel_bytes<layout>) {
        const uint8_t* y0 = block_row(d, 4 * m + r / 8, r % 8);
        if constexpr (layout != LayoutGrey)
            offsets_full(d, block_row(d, 4 * m + 2, r / 2), block_row(d, 4 * m + 3, r / 2), o);
        put_pixels8<layout>(out0, y0, o);
        put_pixels8<layout>(out1, y0 + 8, o);
    }
}

template <int32_t layout>
void convert_h2v2(JpegDecoder& d, uint8_t* out0, uint8_t* out1, int32_t m0, int32_t m1) {
    const int32_t r = current_row(d);
    Offsets8 o;
    for (int32_t m = m0; m < m1; m++) {
        const uint8_t* cb = block_row(d, 6 * m + 4, r / 2);
        const uint8_t* cr = block_row(d, 6 * m + 5, r / 2);
        for (int j = 0; j < 2; j++, out0 += 8 * pixel_bytes<layout>, out1 += 8 * pixel_bytes<layout>) {
            const uint8_t* y0 = block_row(d, 6 * m + 2 * (r / 8) + j, r % 8);
            if constexpr (layout != LayoutGrey) offsets_half(d, cb + 4 * j, cr + 4 * j, o);
            put_pixels8<layout>(out0, y0, o);
            put_pixels8<layout>(out1, y0 + 8, o);
        }
    }
}

// The RGB converters: the same layouts, with the second and third
// components replicated where chroma would be, and no arithmetic.
template <int32_t layout>
void convert_rgb_h1v1(JpegDecoder& d, uint8_t* out, uint8_t*, int32_t m0, int32_t m1) {
    const int32_t r = current_row(d);
    for (int32_t m = m0; m < m1; m++, out += 8 * pixel_bytes<layout>)
        store8<layout>(
            out, {load8(block_row(d, 3 * m, r)), load8(block_row(d, 3 * m + 1, r)), load8(block_row(d, 3 * m + 2, r))});
}

template <int32_t layout>
void convert_rgb_h2v1(JpegDecoder& d, uint8_t* out, uint8_t*, int32_t m0, int32_t m1) {
    const int32_t r = current_row(d);
    for (int32_t m = m0; m < m1; m++) {
        const uint8_t* green = block_row(d, 4 * m + 2, r);
        const uint8_t* blue = block_row(d, 4 * m + 3, r);
        for (int j = 0; j < 2; j++, out += 8 * pixel_bytes<layout>)
            store8<layout>(
                out, {load8(block_row(d, 4 * m + j, r)), load4_doubled(green + 4 * j), load4_doubled(blue + 4 * j)});
    }
}

template <int32_t layout>
void convert_rgb_h1v2(JpegDecoder& d, uint8_t* out0, uint8_t* out1, int32_t m0, int32_t m1) {
    const int32_t r = current_row(d);
    for (int32_t m = m0; m < m1; m++, out0 += 8 * pixel_bytes<layout>, out1 += 8 * pixel_bytes<layout>) {
        const uint8_t* red = block_row(d, 4 * m + r / 8, r % 8);
        Samples8 green = load8(block_row(d, 4 * m + 2, r / 2)), blue = load8(block_row(d, 4 * m + 3, r / 2));
        store8<layout>(out0, {load8(red), green, blue});
        store8<layout>(out1, {load8(red + 8), green, blue});
    }
}

template <int32_t layout>
void convert_rgb_h2v2(JpegDecoder& d, uint8_t* out0, uint8_t* out1, int32_t m0, int32_t m1) {
    const int32_t r = current_row(d);
    for (int32_t m = m0; m < m1; m++) {
        const uint8_t* green = block_row(d, 6 * m + 4, r / 2);
        const uint8_t* blue = block_row(d, 6 * m + 5, r / 2);
        for (int j = 0; j < 2; j++, out0 += 8 * pixel_bytes<layout>, out1 += 8 * pixel_bytes<layout>) {
            const uint8_t* red = block_row(d, 6 * m + 2 * (r / 8) + j, r % 8);
            Samples8 g = load4_doubled(green + 4 * j), b = load4_doubled(blue + 4 * j);
            store8<layout>(out0, {load8(red), g, b});
            store8<layout>(out1, {load8(red + 8), g, b});
        }
    }
}

// The converter of a scheme and coding in one layout.
template <int32_t layout>
RowConverter converter_in(const JpegDecoder& d) {
    const bool rgb = d.is_rgb != 0;
#if MARIVUE_AVX2
    // Grey output of YCbCr is a copy, which needs no vector path.
    if constexpr (layout != LayoutGrey) {
        if (vector_path() == VectorPath::avx2 && !rgb) {
            if (d.output_scheme == SchemeH1V1 || d.output_scheme == SchemeH2V2)
                return avx2_converter(d.output_scheme, layout);
        }
    }
#endif
    switch (d.output_scheme) {
        case SchemeGrey:
            return copy_grey<layout>;
        case SchemeH1V1:
            return rgb ? convert_rgb_h1v1<layout> : convert_h1v1<layout>;
        case SchemeH2V1:
            return rgb ? convert_rgb_h2v1<layout> : convert_h2v1<layout>;
        case SchemeH1V2:
            return rgb ? convert_rgb_h1v2<layout> : convert_h1v2<layout>;
        default:
            return rgb ? convert_rgb_h2v2<layout> : convert_h2v2<layout>;
    }
}

}  // namespace

RowConverter row_converter(const JpegDecoder& d, int32_t layout) {
    switch (layout) {
        case LayoutRgb:
            return converter_in<LayoutRgb>(d);
        case LayoutBgr:
            return converter_in<LayoutBgr>(d);
        case LayoutRgbx:
            return converter_in<LayoutRgbx>(d);
        case LayoutBgrx:
            return converter_in<LayoutBgrx>(d);
        case LayoutGrey:
            return converter_in<LayoutGrey>(d);
        default:
            return converter_in<LayoutDefault>(d);
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
