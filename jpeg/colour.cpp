// Colour conversion and row delivery. Chroma is upsampled by replication;
// the table look-ups for one chroma pair serve every pixel it covers, which
// is why the vertically subsampled schemes convert two rows in one pass.
#include "jpeg/internal.h"

namespace {

inline uint8_t clamp_sample(int32_t v) { return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v); }

// The three offsets that one chroma pair adds to luma.
struct Chroma {
    int32_t red, green, blue;
};

inline Chroma chroma_terms(const JpegDecoder& d, int32_t cb, int32_t cr) {
    return {d.cr_to_red[cr], (d.cb_to_green[cb] + d.cr_to_green[cr]) >> 16, d.cb_to_blue[cb]};
}

// Writes red, green, blue; the fourth byte of each pixel is never written
// and keeps the 0 the buffer was allocated with.
inline void put_pixel(uint8_t* p, int32_t y, const Chroma& k) {
    p[0] = clamp_sample(y + k.red);
    p[1] = clamp_sample(y + k.green);
    p[2] = clamp_sample(y + k.blue);
}

inline int32_t current_row(const JpegDecoder& d) { return d.mcu_height - d.mcu_rows_remaining; }

inline const uint8_t* block_row(const JpegDecoder& d, int32_t block, int32_t row) {
    return d.sample_rows + 64 * block + 8 * row;
}

}  // namespace

void copy_grey(JpegDecoder& d) {
    int32_t r = current_row(d);
    uint8_t* out = d.out_row_0;
    for (int32_t m = 0; m < d.mcus_per_row; m++) {
        const uint8_t* y = block_row(d, m, r);
        for (int b = 0; b < 8; b++) out[8 * m + b] = y[b];
    }
}

void convert_h1v1(JpegDecoder& d) {
    int32_t r = current_row(d);
    uint8_t* out = d.out_row_0;
    for (int32_t m = 0; m < d.mcus_per_row; m++) {
        const uint8_t* y = block_row(d, 3 * m, r);
        const uint8_t* cb = block_row(d, 3 * m + 1, r);
        const uint8_t* cr = block_row(d, 3 * m + 2, r);
        for (int b = 0; b < 8; b++) put_pixel(out + 4 * (8 * m + b), y[b], chroma_terms(d, cb[b], cr[b]));
    }
}

void convert_h2v1(JpegDecoder& d) {
    int32_t r = current_row(d);
    uint8_t* out = d.out_row_0;
    for (int32_t m = 0; m < d.mcus_per_row; m++) {
        const uint8_t* cb = block_row(d, 4 * m + 2, r);
        const uint8_t* cr = block_row(d, 4 * m + 3, r);
        for (int j = 0; j < 2; j++) {
            const uint8_t* y = block_row(d, 4 * m + j, r);
            uint8_t* p = out + 4 * (16 * m + 8 * j);
            for (int b = 0; b < 8; b += 2) {
                Chroma k = chroma_terms(d, cb[4 * j + b / 2], cr[4 * j + b / 2]);
                put_pixel(p + 4 * b, y[b], k);
                put_pixel(p + 4 * (b + 1), y[b + 1], k);
            }
        }
    }
}

void convert_h1v2(JpegDecoder& d) {
    int32_t r = current_row(d);
    uint8_t* out0 = d.out_row_0;
    uint8_t* out1 = d.out_row_1;
    for (int32_t m = 0; m < d.mcus_per_row; m++) {
        const uint8_t* y0 = block_row(d, 4 * m + r / 8, r % 8);
        const uint8_t* y1 = y0 + 8;
        const uint8_t* cb = block_row(d, 4 * m + 2, r / 2);
        const uint8_t* cr = block_row(d, 4 * m + 3, r / 2);
        for (int b = 0; b < 8; b++) {
            Chroma k = chroma_terms(d, cb[b], cr[b]);
            put_pixel(out0 + 4 * (8 * m + b), y0[b], k);
            put_pixel(out1 + 4 * (8 * m + b), y1[b], k);
        }
    }
}

void convert_h2v2(JpegDecoder& d) {
    int32_t r = current_row(d);
    uint8_t* out0 = d.out_row_0;
    uint8_t* out1 = d.out_row_1;
    for (int32_t m = 0; m < d.mcus_per_row; m++) {
        const uint8_t* cb = block_row(d, 6 * m + 4, r / 2);
        const uint8_t* cr = block_row(d, 6 * m + 5, r / 2);
        for (int j = 0; j < 2; j++) {
            const uint8_t* y0 = block_row(d, 6 * m + 2 * (r / 8) + j, r % 8);
            const uint8_t* y1 = y0 + 8;
            uint8_t* p0 = out0 + 4 * (16 * m + 8 * j);
            uint8_t* p1 = out1 + 4 * (16 * m + 8 * j);
            for (int b = 0; b < 8; b += 2) {
                Chroma k = chroma_terms(d, cb[4 * j + b / 2], cr[4 * j + b / 2]);
                put_pixel(p0 + 4 * b, y0[b], k);
                put_pixel(p0 + 4 * (b + 1), y0[b + 1], k);
                put_pixel(p1 + 4 * b, y1[b], k);
                put_pixel(p1 + 4 * (b + 1), y1[b + 1], k);
            }
        }
    }
}

int32_t deliver_row(JpegDecoder& d, const uint8_t** row_out, int32_t* row_bytes_out) {
    if (d.rows_remaining == 0) return 1;
    if (d.mcu_rows_remaining == 0) {
        try {
            if (d.is_progressive)
                load_row_from_coeffs(d);
            else
                decode_row_blocks(d);
            if (d.rows_remaining <= d.mcu_height) finish_image(d);
            transform_row(d);
        } catch (const DecodeFailure&) {
            return DecodeError;
        }
        d.mcu_rows_remaining = d.mcu_height;
    }
    const uint8_t* row = d.out_row_0;
    switch (d.output_scheme) {
        case SchemeGrey: copy_grey(d); break;
        case SchemeH1V1: convert_h1v1(d); break;
        case SchemeH2V1: convert_h2v1(d); break;
        case SchemeH1V2:
        case SchemeH2V2:
            if (d.mcu_rows_remaining & 1) {
                row = d.out_row_1;  // converted with the previous row
            } else if (d.output_scheme == SchemeH1V2) {
                convert_h1v2(d);
            } else {
                convert_h2v2(d);
            }
            break;
    }
    *row_out = row;
    *row_bytes_out = d.output_row_bytes;
    d.mcu_rows_remaining--;
    d.rows_remaining--;
    return 0;
}
