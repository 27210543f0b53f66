// Huffman decode tables: an 8-bit lookahead resolves every code of up to 8
// bits in one access; longer codes walk a small tree below their 8-bit
// prefix, one bit per level.
#include "jpeg/internal.h"

#include <algorithm>
#include <cstring>

namespace marivue::jpeg::detail {

const int32_t extend_test[16] = {0, 1, 2, 4, 8, 16, 32, 64, 128, 256, 512, 1024, 2048, 4096, 8192, 16384};
const int32_t extend_offset[16] = {0,    -1,   -3,    -7,    -15,   -31,   -63,    -127,
                                   -255, -511, -1023, -2047, -4095, -8191, -16383, -32767};

bool huff_counts_valid(const uint8_t* bits) {
    // Canonical assignment: codes of one length are consecutive, and the
    // next length starts at twice the value after the last code. A code fits
    // when it stays below 2^length.
    uint32_t code = 0;
    for (int length = 1; length <= 16; length++) {
        code += bits[length];
        if (code > (1u << length)) return false;
        code <<= 1;
    }
    return true;
}

void build_huff_table(JpegDecoder& d, int slot, HuffDecodeTable& table) {
    const uint8_t* bits = d.huff_bits[slot];
    const uint8_t* values = d.huff_values[slot];

    uint8_t lengths[257];
    int count = 0;
    for (int length = 1; length <= 16; length++)
        for (int i = 0; i < bits[length] && count < 256; i++) lengths[count++] = static_cast<uint8_t>(length);
    lengths[count] = 0;

    uint32_t codes[256];
    uint32_t code = 0;
    int k = 0;
    int size = lengths[0];
    while (lengths[k] != 0) {
        while (lengths[k] == size) codes[k++] = code++;
        code <<= 1;
        size++;
    }

    std::memset(&table, 0, sizeof table);
    int32_t next_free = -1;
    for (k = 0; k < count; k++) {
        int32_t symbol = values[k];
        int length = lengths[k];
        uint32_t c = codes[k];
        table.code_length[symbol] = static_cast<uint8_t>(length);
        if (length <= 8) {
            uint32_t first = c << (8 - length);
            uint32_t last = (c + 1) << (8 - length);
            // Codes that overflow their length are refused when the table is
            // read; the bound keeps the builder safe on its own as well.
            std::fill(table.lookahead + std::min(first, 256u), table.lookahead + std::min(last, 256u), symbol);
            continue;
        }
        uint32_t prefix = (c >> (length - 8)) & 0xFF;
        int32_t node = table.lookahead[prefix];
        if (node >= 0) {
            if (node > 0 || next_free < -511) continue;  // prefix taken by a shorter code
            node = next_free;
            table.lookahead[prefix] = node;
            next_free -= 2;
        }
        bool dropped = false;
        for (int bit = length - 9; bit >= 1; bit--) {
            int32_t& child = table.tree[(c >> bit) & 1 ? -node - 1 : -node];
            if (child == 0) {
                if (next_free < -511) {
                    dropped = true;
                    break;
                }
                child = next_free;
                next_free -= 2;
            } else if (child > 0) {
                dropped = true;  // path runs into a leaf
                break;
            }
            node = child;
        }
        if (dropped) continue;
        table.tree[c & 1 ? -node - 1 : -node] = symbol;
    }
}

namespace {

// For a DC table (`dc`), whose symbols are value sizes alone, sizes above
// 15 are left to the full decoding, which refuses them.
template <int index_bits, bool dc = false>
void build_fast_ac_bits(const HuffDecodeTable& table, int32_t* fast) {
    // An entry depends only on its look-ahead entry's symbol and code length
    // and on its own index, so each run of look-ahead entries with one symbol
    // (the prefixes of one code, or of a tree node) is filled together: one
    // value per group of entries that share their value bits.
    constexpr uint32_t per_prefix = 1u << (index_bits - 8);
    for (uint32_t prefix = 0; prefix < 256;) {
        const int32_t e = table.lookahead[prefix];
        uint32_t next = prefix + 1;
        while (next < 256 && table.lookahead[next] == e) next++;
        int32_t* const first = fast + prefix * per_prefix;
        int32_t* const last = fast + next * per_prefix;
        prefix = next;
        const int length = e >= 0 ? table.code_length[e] : 0;
        const int r = e >> 4, s = e & 15;
        // Only what huff_decode followed by get_bits(s) would do in one read:
        // the same code length consumed, then the value bits.
        if (length == 0 || length + s > index_bits || (dc && e > 15)) {
            std::fill(first, last, 0);
            continue;
        }
        const uint32_t fixed =
            (static_cast<uint32_t>(r) << 12) | (static_cast<uint32_t>(s) << 8) | static_cast<uint32_t>(length + s);
        if (s == 0) {
            std::fill(first, last, static_cast<int32_t>(fixed));
            continue;
        }
        // The value bits follow the code: entries 2^shift apart differ in
        // them, and an entry's value is the one its own index gives.
        const int shift = index_bits - length - s;
        const uint32_t half = 1u << (s - 1);
        const uint32_t begin = static_cast<uint32_t>(first - fast), end = static_cast<uint32_t>(last - fast);
        const uint32_t size = 1u << (index_bits - length);
        if (end - begin == size && begin % size == 0) {
            // The run is the code's alone (as in every table but one that
            // lists a symbol twice): every pattern of the value bits in
            // turn, counting up from the most negative value, then from
            // 2^(s-1).
            uint32_t entry = (static_cast<uint32_t>(extend_offset[s]) << 16) | fixed;
            int32_t* at = first;
            for (uint32_t bits = 0; bits < 2 * half; bits++, entry += 1u << 16) {
                if (bits == half) entry = (half << 16) | fixed;
                for (int j = 0; j < 1 << shift; j++) *at++ = static_cast<int32_t>(entry);
            }
            continue;
        }
        for (uint32_t index = begin; index < end; index++) {
            const uint32_t bits = (index >> shift) & (2 * half - 1);
            const int32_t value = extend(bits, s);
            fast[index] = static_cast<int32_t>((static_cast<uint32_t>(value) << 16) | fixed);
        }
    }
}

}  // namespace

void build_fast_ac(const HuffDecodeTable& table, int32_t* fast) { build_fast_ac_bits<fast_ac_bits>(table, fast); }

void build_fast_dc(const HuffDecodeTable& table, int32_t* fast) { build_fast_ac_bits<fast_ac_bits, true>(table, fast); }

void build_wide_fast_ac(const HuffDecodeTable& table, int32_t* fast) {
    build_fast_ac_bits<wide_fast_ac_bits>(table, fast);
}

void build_wide_fast_dc(const HuffDecodeTable& table, int32_t* fast) {
    build_fast_ac_bits<wide_fast_ac_bits, true>(table, fast);
}

void build_skip_ac(const HuffDecodeTable& table, uint16_t* skip) {
    // The symbols are decoded exactly as huff_decode would; codes longer
    // than 8 bits end a pattern's symbols, and so does a total advance
    // beyond 63, which no block has room for.
    static_assert(skip_ac_bits >= 8 && skip_ac_bits <= 16, "whole look-ahead bytes, take_bits counts");
    constexpr uint32_t patterns = 1u << skip_ac_bits;
    for (uint32_t p = 0; p < patterns; p++) {
        int used = 0, advance = 0, end = 0;
        while (used < skip_ac_bits) {
            // The next 8 bits, zeros past the pattern's end: a code that fits
            // in what is left is decided by its own bits alone.
            const int32_t e = table.lookahead[((p << used) & (patterns - 1)) >> (skip_ac_bits - 8)];
            const int length = e >= 0 ? table.code_length[e] : 0;
            const int r = e >> 4, size = e & 15;
            const int step = size == 0 && r != 15 ? 0 : size == 0 ? 16 : r + 1;
            if (length == 0 || length + size > skip_ac_bits - used || advance + step > 63) break;
            used += length + size;
            if (step == 0) {
                end = 1;  // an end of block; runs of 1 to 14 without a value end it too
                break;
            }
            advance += step;
        }
        const uint32_t need = used == 0 ? 127 : static_cast<uint32_t>(advance + end);
        skip[p] = static_cast<uint16_t>((need << skip_ac_need_shift) | (end ? skip_ac_end_of_block : 0) |
                                        static_cast<uint32_t>(used));
    }
}

}  // namespace marivue::jpeg::detail
