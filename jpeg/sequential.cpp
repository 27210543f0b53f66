// Sequential decoding: one MCU row of the frame's scan at a time into
// dequantised coefficient blocks that are reused from row to row.
//
// The blocks are not cleared wholesale for every row. block_last_nonzero[b]
// records where the previous decoding of buffer b ended; every zigzag
// position at or above it is already 0, so a buffer that held only its DC
// coefficient needs no clearing before it is reused.
#include "jpeg/internal.h"

#include <cstring>

namespace marivue::jpeg::detail {

namespace {

// `wide`: the frame has the wide look-up tables (builds_wide_tables), which
// leave fewer symbols to the long way than the 9-bit fast_dc and fast_ac
// tables do. Either kind takes a DC difference with its code in one read.
template <bool wide>
void look_up_tables(const JpegDecoder& d, BlockTables* tables) {
    for (int32_t j = 0; j < d.blocks_per_mcu; j++) {
        const int32_t c = d.mcu_block_component[j];
        tables[j] = {c,
                     d.quant_tables[d.comp_quant_index[c]],
                     d.huff_decode_tables[d.comp_dc_table[c]],
                     d.huff_decode_tables[d.comp_ac_table[c]],
                     wide ? d.wide_fast[d.comp_dc_table[c]] : d.fast_dc[d.comp_dc_table[c]],
                     wide ? d.wide_fast[d.comp_ac_table[c]] : d.fast_ac[d.comp_ac_table[c] - 4]};
    }
}

// Where a block's coefficients go: `dc` comes first, then `put` for each
// AC coefficient in zigzag order, then `end` with where the block ended.
template <bool wide, typename Store>
inline void decode_block(JpegDecoder& d, Bits& bits, Store& store, const BlockTables& t) {
    constexpr int fast_bits = wide ? wide_fast_ac_bits : fast_ac_bits;
    const int16_t* quant = t.quant;
    int32_t difference, size;
    if (!take_fast_ac<fast_bits>(d, bits, t.fast_dc, size, difference))
        decode_symbol<false>(d, bits, *t.dc, difference);
    d.last_dc[t.c] = wrap_add(d.last_dc[t.c], difference);
    store.dc(dequantise(d.last_dc[t.c], quant[0]));

    const HuffDecodeTable& ac_table = *t.ac;
    const int32_t* fast = t.fast;
    // The next position; one comparison per coefficient tells both whether
    // it lies in the block and whether it is the last position.
    ptrdiff_t k = 1;
    for (;;) {
        int32_t value, rs;
        if (!take_fast_ac<fast_bits>(d, bits, fast, rs, value)) rs = decode_symbol<true>(d, bits, ac_table, value);
        const int r = rs >> 4;
        if ((rs & 15) != 0) [[likely]] {
            k += r;
            if (k >= 63) [[unlikely]] {
                if (k > 63) fail(d, DecodeError);
                store.put(63, dequantise(value, quant[63]));
                k = 64;
                break;
            }
            store.put(k, dequantise(value, quant[k]));
            k++;
        } else if (r == 15) {
            k += 16;  // sixteen zeros
            if (k >= 64) {
                if (k > 64) fail(d, DecodeError);
                break;
            }
        } else {
            break;  // end of block
        }
    }
    store.end(static_cast<int>(k));
}

// Where zigzag position k of a block goes: its natural position, or with
// `transposed` that of the transposed block (see blocks_transposed).
template <bool transposed>
constexpr const uint8_t* block_order() {
    return transposed ? zigzag_transposed.at : zigzag_order;
}

// A row block; `mark` is where its previous decoding ended (see above).
template <bool transposed>
struct RowBlock {
    int16_t* block;
    int32_t& mark;
    void dc(int16_t v) {
        clear_block(block, mark);
        block[0] = v;
    }
    void put(ptrdiff_t k, int16_t v) { block[block_order<transposed>()[k]] = v; }
    void end(int k) { mark = k; }
};

// The packed form unpack_block reads.
template <bool transposed>
struct PackedBlock {
    uint8_t* at;
    uint8_t* count = nullptr;
    void dc(int16_t v) {
        std::memcpy(at, &v, 2);
        count = at + 2;
        *count = 0;
        at += 3;
    }
    void put(ptrdiff_t k, int16_t v) {
        const uint8_t where = block_order<transposed>()[k];
        ++*count;
        if (v >= -128 && v <= 127) {
            at[0] = where;
            at[1] = static_cast<uint8_t>(v);
            at += 2;
        } else {
            at[0] = static_cast<uint8_t>(where | 64);
            std::memcpy(at + 1, &v, 2);
            at += 3;
        }
    }
    void end(int) {}
};

template <bool wide, bool transposed>
void decode_blocks(JpegDecoder& d, int32_t first_mcu, int32_t end_mcu) {
    BlockTables tables[max_blocks_per_mcu];
    look_up_tables<wide>(d, tables);
    int32_t b = first_mcu * d.blocks_per_mcu;
    Bits bits;
    load(d, bits);
    const int32_t end = end_mcu < 0 || end_mcu > d.mcus_across ? d.mcus_across : end_mcu;
    for (int32_t m = first_mcu; m < end; m++) {
        if (d.restart_interval != 0 && d.restarts_left == 0) {
            save(d, bits);
            handle_restart(d);
            load(d, bits);
        }
        for (int32_t j = 0; j < d.blocks_per_mcu; j++, b++) {
            RowBlock<transposed> block{d.row_block_table[b], d.last_nonzero_table[b]};
            decode_block<wide>(d, bits, block, tables[j]);
        }
        d.restarts_left--;
    }
    save(d, bits);
}

template <bool wide, bool transposed>
size_t decode_packed(JpegDecoder& d, const PackedDecoding& coding, uint8_t* out) {
    Bits bits;
    load(d, bits);
    PackedBlock<transposed> block{out};
    for (int32_t j = 0; j < d.blocks_per_mcu; j++) decode_block<wide>(d, bits, block, coding.blocks[j]);
    save(d, bits);
    return static_cast<size_t>(block.at - out);
}

}  // namespace

void decode_row_blocks(JpegDecoder& d, int32_t first_mcu, int32_t end_mcu) {
    if (passes_over_coefficients(d)) {
        decode_row_blocks_reduced(d);
        return;
    }
    const bool transposed = blocks_transposed(d);
    if (builds_wide_tables(d)) {
        if (transposed)
            decode_blocks<true, true>(d, first_mcu, end_mcu);
        else
            decode_blocks<true, false>(d, first_mcu, end_mcu);
    } else {
        if (transposed)
            decode_blocks<false, true>(d, first_mcu, end_mcu);
        else
            decode_blocks<false, false>(d, first_mcu, end_mcu);
    }
}

bool blocks_transposed(const JpegDecoder& d) {
    return d.settings.scale_shift == 0 && vector_path() == VectorPath::avx2;
}

void prepare_packed_decoding(const JpegDecoder& d, PackedDecoding& coding) {
    coding.wide = builds_wide_tables(d);
    coding.transposed = blocks_transposed(d);
    if (coding.wide)
        look_up_tables<true>(d, coding.blocks);
    else
        look_up_tables<false>(d, coding.blocks);
}

size_t decode_mcu_packed(JpegDecoder& d, const PackedDecoding& coding, uint8_t* out) {
    if (coding.transposed)
        return coding.wide ? decode_packed<true, true>(d, coding, out) : decode_packed<false, true>(d, coding, out);
    return coding.wide ? decode_packed<true, false>(d, coding, out) : decode_packed<false, false>(d, coding, out);
}

const uint8_t* unpack_block(const uint8_t* in, int16_t* block, int32_t dc_add) {
    zero_block(block);
    int16_t dc;
    std::memcpy(&dc, in, 2);
    block[0] = low16(wrap_add(dc, dc_add));
    const int32_t count = in[2];
    in += 3;
    for (int32_t i = 0; i < count; i++) {
        if (in[0] & 64) {
            int16_t v;
            std::memcpy(&v, in + 1, 2);
            block[in[0] & 63] = v;
            in += 3;
        } else {
            block[in[0]] = static_cast<int8_t>(in[1]);
            in += 2;
        }
    }
    return in;
}

}  // namespace marivue::jpeg::detail
