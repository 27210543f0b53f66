// Sequential decoding: one MCU row of the frame's scan at a time into
// dequantised coefficient blocks that are reused from row to row.
//
// The blocks are not cleared wholesale for every row. block_last_nonzero[b]
// records where the previous decoding of buffer b ended; every zigzag
// position at or above it is already 0, so only positions below it need
// clearing before the buffer is reused.
#include "jpeg/internal.h"

#include <cstring>

namespace marivue::jpeg::detail {

const uint8_t zigzag_order[64] = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48,
    41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23,
    30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63,
};

namespace {

inline int16_t dequantise(int32_t value, int16_t q) { return low16(static_cast<int32_t>(low16(value)) * q); }

// Decodes one Huffman symbol and the s value bits behind it (s is the
// symbol for DC, its low nibble for AC). When code and value bits together
// fit the 16-bit look-ahead window they are consumed in one read, which
// fetches exactly the bytes that two reads would.
template <bool ac>
inline int32_t decode_symbol(JpegDecoder& d, Bits& bits, const HuffDecodeTable& table, int32_t& value) {
    int32_t e = table.lookahead[bits.window >> 56];
    if (e >= 0) {
        int length = table.code_length[e];
        int s = ac ? (e & 15) : e;
        int n = length + s;
        if (s <= 15 && n <= 16 && n > 0) {
            uint32_t field = take_bits(d, bits, n);
            value = s == 0 ? 0 : extend(field & ((1u << s) - 1u), s);
            return e;
        }
        if (length != 0) take_bits(d, bits, length);
        // A code of no symbol (it consumes nothing) met past the end of the
        // scan's data: the fill after it, not data.
        else if (d.data_exhausted)
            d.data_incomplete = 1;
    } else {
        e = huff_decode_long(d, bits, table, e);
    }
    int s = ac ? (e & 15) : e;
    // An 8-bit stream needs DC sizes up to 11; beyond 15 there is no value.
    if (!ac && s > 15) fail(d, DecodeError);
    value = s == 0 ? 0 : extend(take_bits(d, bits, s), s);
    return e;
}

// Clears what the previous use of a block buffer left: the zigzag
// positions below its end mark (the rest is 0 already). The coefficients
// are then written into a clean block, so runs need no clearing of their
// own; the block ends up exactly as with clearing along the way.
inline void clear_block(int16_t* block, int mark) {
    if (mark > 16) {
        std::memset(block, 0, 128);
    } else {
        for (int p = 1; p < mark; p++) block[zigzag_order[p]] = 0;
    }
}

void decode_block(JpegDecoder& d, Bits& bits, int32_t b, int32_t c) {
    int16_t* block = d.row_blocks[b];
    const int16_t* quant = d.quant_tables[d.comp_quant_index[c]];
    clear_block(block, d.block_last_nonzero[b]);

    int32_t difference;
    decode_symbol<false>(d, bits, *d.huff_decode_tables[d.comp_dc_table[c]], difference);
    d.last_dc[c] = wrap_add(d.last_dc[c], difference);
    block[0] = dequantise(d.last_dc[c], quant[0]);

    const HuffDecodeTable& ac_table = *d.huff_decode_tables[d.comp_ac_table[c]];
    const int32_t* fast = d.fast_ac[d.comp_ac_table[c] - 4];
    int k = 1;
    for (; k < 64; k++) {
        int32_t value, rs;
        if (!take_fast_ac(d, bits, fast, rs, value)) rs = decode_symbol<true>(d, bits, ac_table, value);
        int r = rs >> 4;
        if ((rs & 15) != 0) {
            k += r;
            if (k > 63) fail(d, DecodeError);
            block[zigzag_order[k]] = dequantise(value, quant[k]);
        } else if (r == 15) {
            k += 15;  // sixteen zeros
            if (k > 63) fail(d, DecodeError);
        } else {
            break;  // end of block
        }
    }
    d.block_last_nonzero[b] = k;
}

}  // namespace

void decode_row_blocks(JpegDecoder& d) {
    int32_t b = 0;
    Bits bits;
    load(d, bits);
    for (int32_t m = 0; m < d.mcus_across; m++) {
        if (d.restart_interval != 0 && d.restarts_left == 0) {
            save(d, bits);
            handle_restart(d);
            load(d, bits);
        }
        for (int32_t j = 0; j < d.blocks_per_mcu; j++) decode_block(d, bits, b++, d.mcu_block_component[j]);
        d.restarts_left--;
    }
    save(d, bits);
}

}  // namespace marivue::jpeg::detail
