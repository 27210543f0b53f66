// Progressive decoding. Every scan is decoded during begin into per-component
// coefficient grids (one DC value per block, and 8 x 8 AC blocks); rows are
// then served from the grids, dequantised only as each MCU row is loaded,
// because refinement passes need the coded values.
#include "jpeg/internal.h"

#if MARIVUE_SSE2
#include <emmintrin.h>
#endif

namespace marivue::jpeg::detail {

namespace {

// Per-component block origins while walking a scan's MCUs. A single-
// component scan moves one block at a time over the component's own block
// grid; an interleaved scan visits each component's H x V blocks of every
// MCU in raster order.
struct BlockWalk {
    int32_t col[4] = {0, 0, 0, 0};
    int32_t x = 0;
    int32_t y = 0;

    void advance(const JpegDecoder& d, int32_t c) {
        if (d.scan_component_count == 1) {
            col[c]++;
            return;
        }
        if (++x == d.comp_h_factor[c]) {
            x = 0;
            if (++y == d.comp_v_factor[c]) {
                y = 0;
                col[c] += d.comp_h_factor[c];
            }
        }
    }
};

// Moves the per-component row origins past one MCU row.
void advance_rows(const JpegDecoder& d, int32_t* rows) {
    if (d.scan_component_count == 1) {
        rows[d.scan_components[0]]++;
        return;
    }
    for (int32_t i = 0; i < d.scan_component_count; i++) {
        int32_t c = d.scan_components[i];
        rows[c] += d.comp_v_factor[c];
    }
}

inline int16_t shifted(int32_t value, int32_t shift) {
    return static_cast<int16_t>(static_cast<uint32_t>(value) << shift);
}

// Reads the end-of-band run length that follows an EOBr symbol.
inline int32_t read_eob_run(JpegDecoder& d, Bits& bits, int32_t r) {
    int32_t run = 1 << r;
    if (r > 0) run += static_cast<int32_t>(take_bits(d, bits, r));
    return run;
}

// One correction bit for a coefficient that is already non-zero.
inline void refine_coefficient(JpegDecoder& d, Bits& bits, int16_t& v, int16_t p1, int16_t m1) {
    if (take_bits(d, bits, 1) && (v & p1) == 0) v = static_cast<int16_t>(v + (v >= 0 ? p1 : m1));
}

// block = the stored coefficients (DC from its own grid) times the
// quantisation table, each product truncated to 16 bits.
inline void dequantise_block(int16_t* block, const int16_t* ac, int16_t dc, const int16_t* quant) {
#if MARIVUE_SSE2
    for (int i = 0; i < 64; i += 8) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(ac + i));
        if (i == 0) v = _mm_insert_epi16(v, dc, 0);
        __m128i q = _mm_load_si128(reinterpret_cast<const __m128i*>(quant + i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(block + i), _mm_mullo_epi16(v, q));
    }
#else
    block[0] = low16(dc * quant[0]);
    for (int i = 1; i < 64; i++) block[i] = low16(ac[i] * quant[i]);
#endif
}

// Leaves the current scan when its data has run out: the blocks not yet
// reached keep what earlier scans gave them.
struct ScanDataEnded {};

// Corrupt entropy data is a DecodeError, unless the stream simply ended and
// the bits were the synthesised end-of-image pattern: a truncated
// progressive stream still yields the picture its complete scans describe.
[[noreturn]] void fail_scan_data(JpegDecoder& d) {
    if (d.data_exhausted) throw ScanDataEnded{};
    fail(d, DecodeError);
}

}  // namespace

CoeffBuffer* coeff_buffer_create(JpegDecoder& d, int32_t blocks_wide, int32_t blocks_high, int32_t block_cols,
                                 int32_t block_rows) {
    auto* buffer = static_cast<CoeffBuffer*>(pool_alloc(d, sizeof(CoeffBuffer)));
    buffer->blocks_wide = blocks_wide;
    buffer->blocks_high = blocks_high;
    buffer->block_cols = block_cols;
    buffer->block_rows = block_rows;
    buffer->block_bytes = block_cols * block_rows * 2;
    size_t bytes =
        static_cast<size_t>(buffer->block_bytes) * static_cast<size_t>(blocks_wide) * static_cast<size_t>(blocks_high);
    buffer->coeffs = static_cast<int16_t*>(pool_alloc(d, bytes));
    return buffer;
}

int16_t* coeff_block_at(JpegDecoder& d, const CoeffBuffer& buffer, int32_t x, int32_t y) {
    if (x < 0 || y < 0 || x >= buffer.blocks_wide || y >= buffer.blocks_high) fail(d, BufferLimit);
    size_t index = static_cast<size_t>(y) * static_cast<size_t>(buffer.blocks_wide) + static_cast<size_t>(x);
    return buffer.coeffs + index * static_cast<size_t>(buffer.block_bytes / 2);
}

void decode_dc_first(JpegDecoder& d, int c, int x, int y) {
    int16_t* p = coeff_block_at(d, *d.dc_coeff_buffers[c], x, y);
    Bits bits;
    load(d, bits);
    int32_t s = huff_decode(d, bits, *d.huff_decode_tables[d.comp_dc_table[c]]);
    if (s > 15) fail_scan_data(d);
    int32_t difference = s == 0 ? 0 : extend(take_bits(d, bits, s), s);
    save(d, bits);
    d.last_dc[c] = wrap_add(d.last_dc[c], difference);
    p[0] = shifted(d.last_dc[c], d.approx_low);
}

void decode_dc_refine(JpegDecoder& d, int c, int x, int y) {
    if (get_bits(d, 1) == 0) return;
    int16_t* p = coeff_block_at(d, *d.dc_coeff_buffers[c], x, y);
    p[0] = static_cast<int16_t>(p[0] | (1 << d.approx_low));
}

void decode_ac_first(JpegDecoder& d, int c, int x, int y) {
    if (d.eob_run > 0) {
        d.eob_run--;
        return;
    }
    int16_t* p = coeff_block_at(d, *d.ac_coeff_buffers[c], x, y);
    const HuffDecodeTable& table = *d.huff_decode_tables[d.comp_ac_table[c]];
    Bits bits;
    load(d, bits);
    const int32_t* fast = d.fast_ac[d.comp_ac_table[c] - 4];
    for (int32_t k = d.spectral_first; k <= d.spectral_last; k++) {
        int32_t rs, value = 0;
        if (!take_fast_ac(d, bits, fast, rs, value)) {
            rs = huff_decode(d, bits, table);
            if (rs & 15) value = extend(take_bits(d, bits, rs & 15), rs & 15);
        }
        int32_t r = rs >> 4, s = rs & 15;
        if (s != 0) {
            k += r;
            if (k > 63) fail_scan_data(d);
            p[zigzag_order[k]] = shifted(value, d.approx_low);
        } else if (r == 15) {
            k += 15;
            if (k > 63) fail_scan_data(d);
        } else {
            d.eob_run = read_eob_run(d, bits, r) - 1;  // this block is the first of the run
            break;
        }
    }
    save(d, bits);
}

void decode_ac_refine(JpegDecoder& d, int c, int x, int y) {
    int16_t* p = coeff_block_at(d, *d.ac_coeff_buffers[c], x, y);
    const int16_t p1 = static_cast<int16_t>(1 << d.approx_low);
    const int16_t m1 = static_cast<int16_t>(static_cast<uint32_t>(-1) << d.approx_low);
    const int32_t last = d.spectral_last;
    int32_t k = d.spectral_first;
    Bits bits;
    load(d, bits);
    if (d.eob_run == 0) {
        const HuffDecodeTable& table = *d.huff_decode_tables[d.comp_ac_table[c]];
        while (k <= last) {
            int32_t rs = huff_decode(d, bits, table);
            int32_t r = rs >> 4, s = rs & 15;
            int16_t value = 0;
            if (s != 0) {
                if (s != 1) fail_scan_data(d);
                value = take_bits(d, bits, 1) ? p1 : m1;
            } else if (r < 15) {
                d.eob_run = read_eob_run(d, bits, r);
                break;
            }
            // Pass over r zero coefficients, giving every non-zero one on the
            // way its correction bit; the new value goes on the next zero.
            while (k <= last) {
                int16_t& coefficient = p[zigzag_order[k]];
                if (coefficient != 0) {
                    refine_coefficient(d, bits, coefficient, p1, m1);
                } else if (--r < 0) {
                    break;
                }
                k++;
            }
            // On corrupt data the walk can run past the band; the value then
            // lands just behind it, still inside the block.
            if (value != 0 && k < 64) p[zigzag_order[k]] = value;
            k++;
        }
    }
    if (d.eob_run > 0) {
        for (; k <= last; k++) {
            int16_t& coefficient = p[zigzag_order[k]];
            if (coefficient != 0) refine_coefficient(d, bits, coefficient, p1, m1);
        }
        d.eob_run--;
    }
    save(d, bits);
}

namespace {

// Has the source ended with nothing but 0xFF bytes (or nothing) left? Then
// no restart marker can follow: the data ran out.
bool only_fill_left(const JpegDecoder& d) {
    if (!d.at_end) return false;
    for (int32_t i = 0; i < d.in_count; i++)
        if (d.in_cursor[i] != 0xFF) return false;
    return true;
}

// Decodes the scan's MCUs; false when its data ran out before the last.
bool walk_scan(JpegDecoder& d, BlockDecoder block_decoder) {
    int32_t rows[4] = {0, 0, 0, 0};
    for (int32_t mcu_row = 0; mcu_row < d.mcus_down; mcu_row++) {
        BlockWalk walk;
        for (int32_t m = 0; m < d.mcus_across; m++) {
            walk.x = 0;
            walk.y = 0;
            // Past the end of the data there is nothing left to decode.
            if (!entropy_data_left(d)) return false;
            if (d.restart_interval != 0 && d.restarts_left == 0) {
                // A stream cut in front of its restart marker, or inside it,
                // has ended too.
                if (only_fill_left(d)) return false;
                handle_restart(d);
            }
            for (int32_t j = 0; j < d.blocks_per_mcu; j++) {
                int32_t c = d.mcu_block_component[j];
                block_decoder(d, c, walk.col[c] + walk.x, rows[c] + walk.y);
                walk.advance(d, c);
            }
            d.restarts_left--;
        }
        advance_rows(d, rows);
    }
    return true;
}

}  // namespace

void decode_progressive_scan(JpegDecoder& d, BlockDecoder block_decoder) {
    try {
        if (walk_scan(d, block_decoder) && !entropy_read_past_end(d)) return;
    } catch (const ScanDataEnded&) {
    }
    d.data_incomplete = 1;
}

void decode_all_scans(JpegDecoder& d) {
    for (int32_t c = 0; c < d.frame_component_count; c++) {
        int32_t wide = d.comp_h_factor[c] * d.mcus_per_row;
        int32_t high = d.comp_v_factor[c] * d.mcus_per_column;
        d.dc_coeff_buffers[c] = coeff_buffer_create(d, wide, high, 1, 1);
        d.ac_coeff_buffers[c] = coeff_buffer_create(d, wide, high, 8, 8);
    }
    while (start_scan(d)) {
        int32_t ss = d.spectral_first, se = d.spectral_last;
        if (ss > se || se > 63) fail(d, SpectralSelection);
        if ((ss == 0 && se != 0) || (ss > 0 && d.scan_component_count != 1)) fail(d, SpectralSelection);
        if (d.approx_high != 0 && d.approx_low != d.approx_high - 1) fail(d, SuccessiveApprox);
        BlockDecoder block_decoder;
        if (ss == 0)
            block_decoder = d.approx_high == 0 ? decode_dc_first : decode_dc_refine;
        else
            block_decoder = d.approx_high == 0 ? decode_ac_first : decode_ac_refine;
        decode_progressive_scan(d, block_decoder);
        prime_header_bits(d);
    }
    // The end-of-image marker that ended the scans was synthesised: the
    // stream stopped early, perhaps in front of further scans.
    if (header_read_past_end(d)) d.data_incomplete = 1;
    // The row passes read every component, including any that no scan
    // named, so every component's quantisation table must exist.
    d.scan_component_count = d.frame_component_count;
    for (int32_t i = 0; i < d.frame_component_count; i++) d.scan_components[i] = i;
    check_quant_tables(d);
    compute_scan_geometry(d);
}

void load_row_from_coeffs(JpegDecoder& d) {
    // Quantisation tables in natural order. Multiplying every coefficient
    // gives the same block as multiplying only the non-zero ones up to the
    // last: the rest are 0 either way.
    alignas(16) int16_t natural_quant[4][64];
    for (int32_t c = 0; c < d.frame_component_count; c++) {
        const int16_t* quant = d.quant_tables[d.comp_quant_index[c]];
        for (int k = 0; k < 64; k++) natural_quant[c][zigzag_order[k]] = quant[k];
    }
    BlockWalk walk;
    int32_t b = 0;
    for (int32_t m = 0; m < d.mcus_across; m++) {
        walk.x = 0;
        walk.y = 0;
        for (int32_t j = 0; j < d.blocks_per_mcu; j++) {
            int32_t c = d.mcu_block_component[j];
            int32_t bx = walk.col[c] + walk.x, by = d.comp_block_row[c] + walk.y;
            const int16_t* ac = coeff_block_at(d, *d.ac_coeff_buffers[c], bx, by);
            const int16_t* dc = coeff_block_at(d, *d.dc_coeff_buffers[c], bx, by);
            dequantise_block(d.row_blocks[b], ac, dc[0], natural_quant[c]);
            b++;
            walk.advance(d, c);
        }
    }
    advance_rows(d, d.comp_block_row);
}

}  // namespace marivue::jpeg::detail
