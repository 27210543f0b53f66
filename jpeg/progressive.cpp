// Progressive decoding. Every scan is decoded during begin into per-component
// coefficient grids (one DC value per block, and 8 x 8 AC blocks); rows are
// then served from the grids, dequantised only as each MCU row is loaded,
// because refinement passes need the coded values. A grid block keeps its
// AC coefficients in zigzag order, the order every scan walks them in, so
// that a refinement pass finds the non-zero ones of its band from a bit mask
// instead of visiting every position.
#include "jpeg/internal.h"

#include <bit>
#include <cstring>

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

// Bit k set where coefficient k (zigzag order) of the block is not 0.
inline uint64_t nonzero_mask(const int16_t* p) {
#if MARIVUE_SSE2
    const __m128i zero = _mm_setzero_si128();
    uint64_t mask = 0;
    for (int i = 0; i < 64; i += 16) {
        __m128i a = _mm_cmpeq_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i)), zero);
        __m128i b = _mm_cmpeq_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i + 8)), zero);
        uint32_t zeros = static_cast<uint32_t>(_mm_movemask_epi8(_mm_packs_epi16(a, b)));
        mask |= static_cast<uint64_t>(~zeros & 0xFFFFu) << i;
    }
    return mask;
#else
    uint64_t mask = 0;
    for (int k = 0; k < 64; k++)
        if (p[k] != 0) mask |= static_cast<uint64_t>(1) << k;
    return mask;
#endif
}

// block (natural order) = the stored coefficients (zigzag order, DC from
// its own grid) times the quantisation table, each product truncated to 16
// bits. Only the non-zero ones are multiplied and placed; the rest are 0
// either way.
// `wanted` leaves out the positions a reduced transform does not read.
inline void dequantise_block(int16_t* block, const int16_t* ac, int16_t dc, const int16_t* quant, uint64_t wanted) {
    zero_block(block);
    block[0] = low16(dc * quant[0]);
    for (uint64_t rest = nonzero_mask(ac) & wanted & ~static_cast<uint64_t>(1); rest != 0; rest &= rest - 1) {
        const int k = std::countr_zero(rest);
        block[zigzag_order[k]] = low16(ac[k] * quant[k]);
    }
}

// Positions first..last (0 <= first, last <= 63) as a mask; empty when
// first > last.
inline uint64_t band_mask(int32_t first, int32_t last) {
    if (first > last) return 0;
    uint64_t upto_last = last == 63 ? ~static_cast<uint64_t>(0) : (static_cast<uint64_t>(1) << (last + 1)) - 1;
    return upto_last & (~static_cast<uint64_t>(0) << first);
}

// Gives every coefficient in `positions` its correction bit, in order:
// up to 16 bits in one read, which leaves the reader as reading them one by
// one would, applied without a branch on the (unpredictable) bit.
inline void refine_positions(JpegDecoder& d, Bits& bits, int16_t* p, uint64_t positions, int16_t p1, int16_t m1) {
    while (positions != 0) {
        int16_t* targets[16];
        int n = 0;
        do {
            targets[n++] = p + std::countr_zero(positions);
            positions &= positions - 1;
        } while (positions != 0 && n < 16);
        uint32_t field = take_bits(d, bits, n);
        for (int j = 0; j < n; j++) {
            int16_t v = *targets[j];
            // A set bit adds p1 to the magnitude unless that bit is set already.
            int32_t apply = static_cast<int32_t>((field >> (n - 1 - j)) & 1u) & static_cast<int32_t>((v & p1) == 0);
            int32_t step = v >= 0 ? p1 : m1;
            *targets[j] = static_cast<int16_t>(v + (step & -apply));
        }
    }
}

// Leaves the current scan when its data has run out: the blocks not yet
// reached keep what earlier scans gave them.
struct ScanDataEnded {};

// A code that matches no symbol (it consumes no bits, and decodes as symbol
// 0) once the scan's data has ended is the fill after it: the data ran out
// in this block, which keeps what earlier scans gave it.
inline void check_code(const JpegDecoder& d, const HuffDecodeTable& table, int32_t symbol) {
    if (d.data_exhausted && table.code_length[symbol] == 0) throw ScanDataEnded{};
}

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
    const HuffDecodeTable& table = *d.huff_decode_tables[d.comp_dc_table[c]];
    int32_t s = huff_decode(d, bits, table);
    check_code(d, table, s);
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
            check_code(d, table, rs);
            if (rs & 15) value = extend(take_bits(d, bits, rs & 15), rs & 15);
        }
        int32_t r = rs >> 4, s = rs & 15;
        if (s != 0) {
            k += r;
            if (k > 63) fail_scan_data(d);
            p[k] = shifted(value, d.approx_low);
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

namespace {

// The lowest set bit of x after its n lowest (0 where x has no more): by
// clearing them one by one, or with one bit deposit (see
// fast_bit_deposit), which takes no branch on n, a run length of the data.
template <bool deposit>
inline uint64_t nth_set_bit(uint64_t x, int32_t n) {
#if MARIVUE_AVX2 && defined(__x86_64__)
    if constexpr (deposit) {
        uint64_t bit;
        asm("pdep %2, %1, %0" : "=r"(bit) : "r"(uint64_t{1} << n), "rm"(x));
        return bit;
    }
#endif
    for (; n > 0 && x != 0; n--) x &= x - 1;
    return x & (~x + 1);
}

template <bool deposit>
void refine_block(JpegDecoder& d, int c, int x, int y) {
    int16_t* p = coeff_block_at(d, *d.ac_coeff_buffers[c], x, y);
    const int16_t p1 = static_cast<int16_t>(1 << d.approx_low);
    const int16_t m1 = static_cast<int16_t>(static_cast<uint32_t>(-1) << d.approx_low);
    const int32_t last = d.spectral_last;
    int32_t k = d.spectral_first;
    // Non-zero coefficients stay non-zero under refinement, and every new
    // one is added to the mask, so it stays true through the block.
    uint64_t nonzero = nonzero_mask(p);
    Bits bits;
    load(d, bits);
    if (d.eob_run == 0) {
        const HuffDecodeTable& table = *d.huff_decode_tables[d.comp_ac_table[c]];
        const int32_t* fast = d.fast_ac[d.comp_ac_table[c] - 4];
        while (k <= last) {
            int32_t rs, sign;
            // A short code and its sign bit in one read; sizes above 1
            // (entry bits 9-11) the long way, which fails on them.
            if (!take_fast_ac<fast_ac_bits, 0xE00>(d, bits, fast, rs, sign)) {
                rs = huff_decode(d, bits, table);
                check_code(d, table, rs);
                if ((rs & 15) > 1) fail_scan_data(d);
                sign = (rs & 15) == 0 ? 0 : take_bits(d, bits, 1) ? 1 : -1;
            }
            int32_t r = rs >> 4;
            const int16_t value = sign == 0 ? 0 : sign > 0 ? p1 : m1;
            if (sign == 0 && r < 15) {
                d.eob_run = read_eob_run(d, bits, r);
                break;
            }
            // Pass over r zero coefficients, giving every non-zero one on the
            // way its correction bit; the new value goes on the next zero.
            // On corrupt data the walk can run past the band; the value then
            // lands just behind it, still inside the block.
            const uint64_t next = nth_set_bit<deposit>(~nonzero & band_mask(k, last), r);
            int32_t stop = next != 0 ? std::countr_zero(next) : last + 1;
            refine_positions(d, bits, p, nonzero & band_mask(k, stop - 1), p1, m1);
            k = stop;
            if (value != 0 && k < 64) {
                p[k] = value;
                nonzero |= static_cast<uint64_t>(1) << k;
            }
            k++;
        }
    }
    if (d.eob_run > 0) {
        refine_positions(d, bits, p, nonzero & band_mask(k, last), p1, m1);
        d.eob_run--;
    }
    save(d, bits);
}

}  // namespace

void decode_ac_refine(JpegDecoder& d, int c, int x, int y) { refine_block<false>(d, c, x, y); }
void decode_ac_refine_deposit(JpegDecoder& d, int c, int x, int y) { refine_block<true>(d, c, x, y); }

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
bool walk_scan(JpegDecoder& d, BlockDecoder block_decoder, const ScanRowGate* gate) {
    int32_t rows[4] = {0, 0, 0, 0};
    int32_t until_stop_check = blocks_between_stop_checks;
    for (int32_t mcu_row = 0; mcu_row < d.mcus_down; mcu_row++) {
        if (gate != nullptr) gate->before(gate->context, mcu_row);
        BlockWalk walk;
        for (int32_t m = 0; m < d.mcus_across; m++) {
            walk.x = 0;
            walk.y = 0;
            if ((until_stop_check -= d.blocks_per_mcu) <= 0) {
                check_stop(d);
                until_stop_check = blocks_between_stop_checks;
            }
            // Past the end of the data there is nothing left to decode,
            // unless an end-of-band run, which needs no bits, covers the
            // blocks that follow.
            if (d.eob_run == 0 && !entropy_data_left(d, block_decoder != decode_dc_refine)) return false;
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
        if (gate != nullptr) gate->after(gate->context, mcu_row + 1);
    }
    return true;
}

}  // namespace

void decode_progressive_scan(JpegDecoder& d, BlockDecoder block_decoder, const ScanRowGate* gate) {
    try {
        if (walk_scan(d, block_decoder, gate) && !entropy_read_past_end(d)) return;
    } catch (const ScanDataEnded&) {
    }
    d.data_incomplete = 1;
}

namespace {

// The next scan's header and set-up; false at the end of the scans, which
// is also where the data ended inside a segment between two scans.
bool next_scan(JpegDecoder& d) {
    d.between_scans = 1;
    try {
        const bool found = start_scan(d);
        d.between_scans = 0;
        return found;
    } catch (const ScansEnded&) {
        d.between_scans = 0;
        d.data_incomplete = 1;
        return false;
    }
}

// The work a stream may ask of the scans: every scan walks its blocks
// whatever its data, so a short stream of many scans (thousands of empty
// refinement scans) could keep the decoder busy for minutes. The scans
// together may walk 16 times the blocks of the frame, enough for every
// script an encoder writes, plus 256 blocks per byte of the stream read so
// far. A scan that would go beyond that fails, before it is walked.
constexpr int64_t visits_per_frame_block = 16;
constexpr int64_t visits_per_input_byte = 256;

void charge_scan(JpegDecoder& d, int64_t frame_blocks) {
    d.scan_block_visits += static_cast<int64_t>(d.mcus_across) * d.mcus_down * d.blocks_per_mcu;
    const int64_t bytes_read = d.input_bytes - d.in_count;
    if (d.scan_block_visits > visits_per_frame_block * frame_blocks + visits_per_input_byte * bytes_read) {
        d.work_refused = 1;
        fail(d, DecodeError);
    }
}

}  // namespace

void decode_all_scans(JpegDecoder& d, const ScanHandOff* hand_off) {
    // At the eighth size the transform reads DC coefficients alone: AC scans
    // are passed over undecoded and no AC grid is needed. (At other reduced
    // sizes every scan is decoded: a refinement scan's bits depend on every
    // coefficient of its band, needed or not.)
    const bool dc_only = d.settings.scale_shift == 3;
    int64_t frame_blocks = 0;
    for (int32_t c = 0; c < d.frame_component_count; c++) {
        int32_t wide = d.comp_h_factor[c] * d.mcus_per_row;
        int32_t high = d.comp_v_factor[c] * d.mcus_per_column;
        d.dc_coeff_buffers[c] = coeff_buffer_create(d, wide, high, 1, 1);
        if (!dc_only) d.ac_coeff_buffers[c] = coeff_buffer_create(d, wide, high, 8, 8);
        frame_blocks += static_cast<int64_t>(wide) * high;
    }
    for (;;) {
        check_stop(d);
        if (!next_scan(d)) break;
        int32_t ss = d.spectral_first, se = d.spectral_last;
        if (ss > se || se > 63) fail(d, SpectralSelection);
        if ((ss == 0 && se != 0) || (ss > 0 && d.scan_component_count != 1)) fail(d, SpectralSelection);
        if (d.approx_high != 0 && d.approx_low != d.approx_high - 1) fail(d, SuccessiveApprox);
        if (ss > 0 && dc_only) {
            // Passed over undecoded, a scan can be told to end early only
            // where it has no data at all (the stream's end, or only fill,
            // in front of the next marker): its first block needs a code,
            // and no code is all 1-bits. A stream that stops inside it
            // ends the scans on synthesised bytes, which is marked below.
            if (!entropy_data_left(d, true)) d.data_incomplete = 1;
            skip_entropy_data(d);
            prime_header_bits(d);
            continue;
        }
        BlockDecoder block_decoder;
        if (ss == 0)
            block_decoder = d.approx_high == 0 ? decode_dc_first : decode_dc_refine;
        else
            block_decoder = d.approx_high == 0   ? decode_ac_first
                            : fast_bit_deposit() ? decode_ac_refine_deposit
                                                 : decode_ac_refine;
        charge_scan(d, frame_blocks);
        if (hand_off != nullptr)
            hand_off->take(hand_off->context, d, block_decoder);
        else
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
    BlockWalk walk;
    int32_t b = 0;
    const bool dc_only = d.ac_coeff_buffers[0] == nullptr;  // the eighth size
    // Zigzag positions 0..24 hold the 4 x 4 lowest frequencies, 0..4 the 2 x 2.
    const uint64_t wanted = d.settings.scale_shift == 1   ? (uint64_t{1} << 25) - 1
                            : d.settings.scale_shift == 2 ? uint64_t{31}
                                                          : ~uint64_t{0};
    // Every coefficient at full size, all of them at once, into blocks
    // stored transposed.
    [[maybe_unused]] const bool whole_vector = blocks_transposed(d);
    for (int32_t m = 0; m < d.mcus_across; m++) {
        walk.x = 0;
        walk.y = 0;
        for (int32_t j = 0; j < d.blocks_per_mcu; j++) {
            int32_t c = d.mcu_block_component[j];
            int32_t bx = walk.col[c] + walk.x, by = d.comp_block_row[c] + walk.y;
            const int16_t* dc = coeff_block_at(d, *d.dc_coeff_buffers[c], bx, by);
            const int16_t* quant = d.quant_tables[d.comp_quant_index[c]];
            if (dc_only) {
                // The AC positions stay 0 from the blocks' allocation.
                d.row_block_table[b][0] = low16(dc[0] * quant[0]);
            } else {
                const int16_t* ac = coeff_block_at(d, *d.ac_coeff_buffers[c], bx, by);
#if MARIVUE_AVX2
                if (whole_vector) {
                    dequantise_zigzag_avx2(d.row_block_table[b], ac, dc[0], quant);
                } else
#endif
                    dequantise_block(d.row_block_table[b], ac, dc[0], quant, wanted);
            }
            b++;
            walk.advance(d, c);
        }
    }
    advance_rows(d, d.comp_block_row);
}

}  // namespace marivue::jpeg::detail
