// The entropy reader's inline parts, shared by every scan decoder: the bit
// window the decoding loops keep in registers, and Huffman symbols read
// from it through the tables' look-ups. The rest of the reader (bytes,
// markers, the end of the data) is input.cpp's.
#pragma once

#include "jpeg/decoder.h"

#include <bit>
#include <cstdint>
#include <cstring>

namespace marivue::jpeg::detail {

[[noreturn]] void fail(JpegDecoder& d, int32_t code);

extern const int32_t extend_test[16];
extern const int32_t extend_offset[16];
// Look-up widths of the fast tables (see build_fast_ac and
// build_wide_fast_ac).
constexpr int fast_ac_bits = 9;
constexpr int wide_fast_ac_bits = 11;

// The entropy reader's bit state held in locals, so that a decoding loop
// can keep it in registers: a 64-bit window with the next unread bit at the
// top. The record keeps the reader's state in its own form (bit_buffer,
// bit_count and the input position, as the reader that fetches one 16-bit
// word at a time leaves them); load and save convert, so that every byte
// fetch, every status and every position the marker reader starts from is
// the same as with that reader. The window may run up to two words ahead:
// only words of plain data bytes straight from the input buffer, which save
// gives back to the buffer.
struct Bits {
    uint64_t window;  // unread bits, the next one at bit 63, zeros below them
    int32_t count;  // how many (17..64 between reads)
};

// Brings in one word the way the word-at-a-time reader does: any 0xFF,
// marker, end of buffer or end of data on the way (the uncommon path).
// Takes and returns the state by value, so that the callers' copy never has
// its address taken and stays in registers.
Bits fetch_entropy_word(JpegDecoder& d, Bits bits);

inline void save(JpegDecoder& d, const Bits& bits) {
    // The words beyond the 17..32 bits the word-at-a-time reader would hold.
    int32_t ahead = (bits.count - 17) >> 4;
    int32_t held = bits.count - 16 * ahead;
    int32_t b = held - 16;  // 1..16
    d.in_cursor -= 2 * ahead;
    d.in_count += 2 * ahead;
    d.bit_count = b;
    // bits 15..0: the next 16 bits; the top b bits: the b after those.
    d.bit_buffer =
        static_cast<uint32_t>(bits.window >> 48) | (static_cast<uint32_t>((bits.window << 16) >> (64 - b)) << (32 - b));
}

inline void load(const JpegDecoder& d, Bits& bits) {
    uint64_t buffer = d.bit_buffer;
    int32_t b = d.bit_count;
    bits.window = ((buffer & 0xFFFFu) << 48) | ((buffer >> (32 - b)) << (48 - b));
    bits.count = 16 + b;
}

inline uint64_t byte_swap_64(uint64_t v) {
#if defined(__GNUC__)
    return __builtin_bswap64(v);
#else
    uint64_t r = 0;
    for (int i = 0; i < 8; i++, v >>= 8) r = (r << 8) | (v & 0xFFu);
    return r;
#endif
}

// After a read has left 16 bits or fewer: six plain data bytes in one step
// where the input buffer has them, else one word the long way.
inline void refill_bits(JpegDecoder& d, Bits& bits) {
    if (d.in_count >= 8) [[likely]] {
        uint64_t word;
        std::memcpy(&word, d.in_cursor, 8);
        if constexpr (std::endian::native == std::endian::little) word = byte_swap_64(word);
        // Any 0xFF among the six bytes used (the two below are ignored)?
        uint64_t inverse = ~word | 0xFFFFu;
        bool has_ff = ((inverse - 0x0101010101010101u) & ~inverse & 0x8080808080808080u) != 0;
        if (!has_ff) [[likely]] {
            bits.window |= (word & ~static_cast<uint64_t>(0xFFFFu)) >> bits.count;
            bits.count += 48;
            d.in_cursor += 6;
            d.in_count -= 6;
            return;
        }
    }
    bits = fetch_entropy_word(d, bits);
}

// The next n bits (1..16), first bit most significant.
inline uint32_t take_bits(JpegDecoder& d, Bits& bits, int n) {
    uint32_t result = static_cast<uint32_t>(bits.window >> (64 - n));
    bits.window <<= n;
    bits.count -= n;
    if (bits.count <= 16) refill_bits(d, bits);
    return result;
}

// Decodes a code longer than 8 bits: walks the tree from the lookahead's
// node e and consumes the code.
inline int32_t huff_decode_long(JpegDecoder& d, Bits& bits, const HuffDecodeTable& table, int32_t e) {
    // The window holds at least 17 bits: walk the tree on the 8 after the
    // prefix and consume the code in one read, which leaves the reader as
    // reading it bit by bit would. A built table ends every path within
    // those 8 bits; the loop after them only keeps any table safe.
    uint32_t next = static_cast<uint32_t>(bits.window >> 48);
    for (int length = 9; length <= 16; length++) {
        e = (next >> (16 - length)) & 1 ? table.tree[-e - 1] : table.tree[-e];
        if (e >= 0) {
            take_bits(d, bits, length);
            return e;
        }
    }
    take_bits(d, bits, 16);
    do e = take_bits(d, bits, 1) ? table.tree[-e - 1] : table.tree[-e];
    while (e < 0);
    return e;
}

inline int32_t extend(uint32_t v, int s) {
    int32_t value = static_cast<int32_t>(v);
    return value < extend_test[s] ? value + extend_offset[s] : value;
}

// huff_decode over local bit state.
inline int32_t huff_decode(JpegDecoder& d, Bits& bits, const HuffDecodeTable& table) {
    int32_t e = table.lookahead[bits.window >> 56];
    if (e >= 0) {
        int length = table.code_length[e];
        if (length != 0) take_bits(d, bits, length);
        return e;
    }
    return huff_decode_long(d, bits, table, e);
}

// The AC decoders' common case, shared by the sequential and the first
// progressive pass: when the next fast_ac_bits bits hold a whole code and
// its value bits, consumes them in one read, sets `rs` (the run/size
// symbol) and `value` (the extended value, 0 for end-of-band and ZRL
// symbols) and returns true. Returns false, having consumed nothing, when
// the caller has to decode the symbol the long way, and for the entries
// with any of the `refused` bits (a refinement leaves sizes above 1 so).
template <int index_bits = fast_ac_bits, int32_t refused = 0>
inline bool take_fast_ac(JpegDecoder& d, Bits& bits, const int32_t* fast, int32_t& rs, int32_t& value) {
    int32_t entry = fast[bits.window >> (64 - index_bits)];
    if (entry == 0 || (entry & refused) != 0) [[unlikely]]
        return false;
    // Bits 5-7 of an entry are 0: the shift takes the low byte as it is.
    take_bits(d, bits, entry & 63);
    rs = (entry >> 8) & 0xFF;
    value = entry >> 16;
    return true;
}

// The next n bits (1..16) of entropy-coded data, first bit most significant,
// and one Huffman symbol: the same readers over the record's own state.
inline uint32_t get_bits(JpegDecoder& d, int n) {
    Bits bits;
    load(d, bits);
    uint32_t result = take_bits(d, bits, n);
    save(d, bits);
    return result;
}

inline int32_t huff_decode(JpegDecoder& d, const HuffDecodeTable& table) {
    Bits bits;
    load(d, bits);
    int32_t e = huff_decode(d, bits, table);
    save(d, bits);
    return e;
}

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

}  // namespace marivue::jpeg::detail
