// Sequential decoding at the reduced sizes: the coefficients the reduced
// transform reads are decoded and stored as at full size; the others are
// passed over with the same checks and the same bits consumed, several
// Huffman symbols per table look-up where they fit, and never stored. Kept
// apart from sequential.cpp so that the full-size decoder's code stays as
// it is.
#include "jpeg/internal.h"

#include <cstring>

namespace marivue::jpeg::detail {

namespace {

// What decoding a block of one component takes, looked up once per MCU row
// at the reduced sizes.
struct BlockCoding {
    const HuffDecodeTable* dc;
    const HuffDecodeTable* ac;
    const int32_t* fast;
    const int32_t* fast_dc;
    const uint16_t* skip;
    const int16_t* quant;
};

// Passes over the AC symbols of a block from position k to its end, with
// the checks and the bits of the usual decoding and nothing stored: several
// symbols per look-up where they fit the skip table, one at a time where
// they do not (a long code or value, or an end of block that would be read
// past position 63, where the block ends without one).
inline void skip_to_block_end(JpegDecoder& d, Bits& bits, const BlockCoding& t, int k) {
    while (k < 64) {
        const uint32_t entry = t.skip[bits.window >> (64 - skip_ac_bits)];
        const int need = static_cast<int>(entry >> skip_ac_need_shift);
        if (k + need <= 64) {
            // take_bits, with the shift straight from the entry.
            bits.window <<= entry & 63;
            bits.count -= static_cast<int32_t>(entry & 63);
            if (bits.count <= 16) refill_bits(d, bits);
            if (entry & skip_ac_end_of_block) return;
            k += need;
            continue;
        }
        int32_t value, rs;
        if (!take_fast_ac<wide_fast_ac_bits>(d, bits, t.fast, rs, value))
            rs = decode_symbol<true>(d, bits, *t.ac, value);
        const int r = rs >> 4;
        if ((rs & 15) == 0 && r != 15) return;  // end of block
        k += (rs & 15) != 0 ? r : 15;
        if (k > 63) fail(d, DecodeError);
        k++;
    }
}

inline void decode_dc(JpegDecoder& d, Bits& bits, const BlockCoding& t, int32_t c, int16_t* block) {
    int32_t difference, size;
    if (!take_fast_ac<wide_fast_ac_bits>(d, bits, t.fast_dc, size, difference))
        decode_symbol<false>(d, bits, *t.dc, difference);
    d.last_dc[c] = wrap_add(d.last_dc[c], difference);
    block[0] = dequantise(d.last_dc[c], t.quant[0]);
}

// A block at a reduced size, whose transform reads no coefficient past
// zigzag position `last` (24 at 1/2, 4 at 1/4, 0 at 1/8): those up to it
// are decoded and stored as in decode_block, the rest passed over. The end
// mark is then at most last + 1.
void decode_block_reduced(JpegDecoder& d, Bits& bits, const BlockCoding& t, int32_t b, int32_t c, int last) {
    int16_t* block = d.row_block_table[b];
    if (last == 0) {
        // The eighth size: the AC positions stay 0 from the allocation.
        decode_dc(d, bits, t, c, block);
        skip_to_block_end(d, bits, t, 1);
        return;
    }
    clear_block(block, d.last_nonzero_table[b]);
    decode_dc(d, bits, t, c, block);
    int k = 1;
    for (; k <= last; k++) {
        int32_t value, rs;
        if (!take_fast_ac<wide_fast_ac_bits>(d, bits, t.fast, rs, value))
            rs = decode_symbol<true>(d, bits, *t.ac, value);
        const int r = rs >> 4;
        if ((rs & 15) != 0) {
            k += r;
            if (k > 63) fail(d, DecodeError);
            if (k <= last) block[zigzag_order[k]] = dequantise(value, t.quant[k]);
        } else if (r == 15) {
            k += 15;  // sixteen zeros
            if (k > 63) fail(d, DecodeError);
        } else {
            d.last_nonzero_table[b] = k;  // end of block
            return;
        }
    }
    d.last_nonzero_table[b] = last + 1;
    skip_to_block_end(d, bits, t, k);
}

}  // namespace

void decode_row_blocks_reduced(JpegDecoder& d) {
    static constexpr int last_read[4] = {63, 24, 4, 0};
    const int last = last_read[d.settings.scale_shift];
    BlockCoding coding[10];
    for (int32_t j = 0; j < d.blocks_per_mcu; j++) {
        const int32_t c = d.mcu_block_component[j];
        coding[j] = {d.huff_decode_tables[d.comp_dc_table[c]], d.huff_decode_tables[d.comp_ac_table[c]],
                     d.wide_fast[d.comp_ac_table[c]],          d.wide_fast[d.comp_dc_table[c]],
                     d.skip_ac[d.comp_ac_table[c] - 4],        d.quant_tables[d.comp_quant_index[c]]};
    }
    int32_t b = 0;
    Bits bits;
    load(d, bits);
    for (int32_t m = 0; m < d.mcus_across; m++) {
        if (d.restart_interval != 0 && d.restarts_left == 0) {
            save(d, bits);
            handle_restart(d);
            load(d, bits);
        }
        for (int32_t j = 0; j < d.blocks_per_mcu; j++)
            decode_block_reduced(d, bits, coding[j], b++, d.mcu_block_component[j], last);
        d.restarts_left--;
    }
    save(d, bits);
}

}  // namespace marivue::jpeg::detail
