// Input buffering and the two bit readers.
//
// The header side (get_byte_raw, get_bits_raw) sees the stream as stored.
// The entropy side (get_entropy_byte, get_bits) drops the zero stuffed after
// each 0xFF and never consumes a marker: in front of one it delivers 0xFF
// bytes, leaving the marker for the header side. Past the end of the data
// both sides see synthesised 0xFF 0xD9 pairs, so the stream always ends in
// end-of-image markers and no reader has to handle running out.
#include "jpeg/internal.h"

#include <bit>

namespace marivue::jpeg::detail {

namespace {

// Reads that return 0 without reporting the end are a broken source; after
// this many in a row the decoder gives up instead of spinning forever.
constexpr int32_t max_zero_reads = 64;

inline int32_t synthesise_byte(JpegDecoder& d) {
    if (d.synthesised_bytes < 64) d.synthesised_bytes++;
    int32_t toggle = d.eoi_toggle;
    d.eoi_toggle ^= 1;
    return toggle ? 0xD9 : 0xFF;
}

}  // namespace

void refill_input(JpegDecoder& d) {
    d.in_count = 0;
    d.in_cursor = in_buffer(d);
    if (d.at_end) return;
    do {
        int32_t room = input_buffer_size - d.in_count;
        int32_t got = -1;
        // A source that throws is one that cannot be read.
        try {
            got = d.source->read(in_buffer(d) + d.in_count, room, &d.at_end);
        } catch (...) {
            got = -1;
        }
        // -1 is the source's error report; anything else outside 0..room
        // breaks its contract and cannot be trusted either.
        if (got < 0 || got > room) fail(d, StreamError);
        if (got == 0 && !d.at_end) {
            if (++d.zero_reads >= max_zero_reads) fail(d, StreamError);
        } else {
            d.zero_reads = 0;
        }
        d.in_count += got;
        d.input_bytes += got;
    } while (d.in_count < input_buffer_size && !d.at_end);
}

int32_t get_byte_raw(JpegDecoder& d) {
    if (d.in_count == 0) refill_input(d);
    if (d.in_count == 0) return synthesise_byte(d);
    d.in_count--;
    return *d.in_cursor++;
}

int32_t get_byte_flagged(JpegDecoder& d, uint8_t& synthesised) {
    if (d.in_count == 0) refill_input(d);
    if (d.in_count == 0) {
        synthesised = 1;
        return synthesise_byte(d);
    }
    synthesised = 0;
    d.in_count--;
    return *d.in_cursor++;
}

void push_back_byte(JpegDecoder& d, int32_t byte) {
    d.in_cursor--;
    *d.in_cursor = static_cast<uint8_t>(byte);
    d.in_count++;
}

int32_t get_entropy_byte(JpegDecoder& d) {
    uint8_t synthesised;
    int32_t c = get_byte_flagged(d, synthesised);
    if (synthesised) {
        d.data_exhausted = 1;
        return c;
    }
    if (c != 0xFF) return c;
    int32_t next = get_byte_flagged(d, synthesised);
    if (synthesised) {
        d.data_exhausted = 1;
        push_back_byte(d, 0xFF);
        return 0xFF;
    }
    if (next == 0) return 0xFF;  // stuffed zero
    // A marker: leave it in the input for the header side. Any marker but a
    // restart marker ends the scan's data as the end of the stream does: a
    // scan that needs bits beyond it (a cut file with an end-of-image marker
    // after it, a scan header with no data) is marked like a cut one.
    if (next < 0xD0 || next > 0xD7) d.data_exhausted = 1;
    push_back_byte(d, next);
    push_back_byte(d, 0xFF);
    return 0xFF;
}

// Both readers keep bits 15..0 of bit_buffer equal to the next 16 stream
// bits; the upper half holds the word fetched last. Reading n bits rotates
// them out of the window (get_bits_raw, inline); when the earlier word runs
// out the next two bytes are fetched into the upper half (here). The
// entropy reader works on a wider window in locals (Bits in
// entropy_reader.h) and leaves the record in this form; its common case is
// inline, its word fetch is here.
uint32_t get_bits_raw_fetch(JpegDecoder& d, int n) {
    uint32_t result = (d.bit_buffer >> (16 - n)) & ((1u << n) - 1u);
    int old = d.bit_count;
    d.bit_count = old - n;
    uint32_t buffer = std::rotl(d.bit_buffer, old);
    uint32_t b1 = static_cast<uint32_t>(get_byte_raw(d));
    uint32_t b2 = static_cast<uint32_t>(get_byte_raw(d));
    buffer = (buffer & 0xFFFFu) | (b1 << 24) | (b2 << 16);
    d.bit_buffer = std::rotl(buffer, n - old);
    d.bit_count += 16;
    return result;
}

Bits fetch_entropy_word(JpegDecoder& d, Bits bits) {
    // refill_bits has already taken the common case, plain data bytes
    // straight from the buffer; here a 0xFF (stuffing or a marker) or the
    // end of the buffer. The window holds no word ahead now (count <= 16).
    bool was_exhausted = d.data_exhausted;
    uint32_t b1 = static_cast<uint32_t>(get_entropy_byte(d));
    bool first_real = !d.data_exhausted;
    uint32_t b2 = static_cast<uint32_t>(get_entropy_byte(d));
    bool second_real = !d.data_exhausted;
    if (was_exhausted) {
        d.fetches_since_exhausted++;
    } else if (d.data_exhausted) {
        // After this fetch the reader holds what was left (count bits, all
        // data) and the new word, of which only the real bytes are data.
        d.exhausted_unread_bits = bits.count + 16;
        d.exhausted_real_bits = bits.count + 8 * (first_real + second_real);
    }
    bits.window |= static_cast<uint64_t>((b1 << 8) | b2) << (48 - bits.count);
    bits.count += 16;
    return bits;
}

bool entropy_data_left(const JpegDecoder& d, bool code_next) {
    if (!d.data_exhausted) return true;
    int32_t unread = d.bit_count + 16;
    int32_t consumed = d.exhausted_unread_bits + 16 * d.fetches_since_exhausted - unread;
    int32_t left = d.exhausted_real_bits - consumed;
    if (left <= 0) return false;
    if (!code_next || left > unread) return true;
    // The unread bits as the entropy reader holds them (see load), the next
    // one at the top: past the data they are 1s (fill, or the synthesised
    // 0xFF that comes first), and a code that decodes to no symbol would
    // otherwise keep the scan going on them without consuming a bit.
    Bits bits;
    load(d, bits);
    return (~bits.window >> (64 - left)) != 0;
}

bool entropy_read_past_end(const JpegDecoder& d) {
    if (!d.data_exhausted) return false;
    int32_t unread = d.bit_count + 16;
    int32_t consumed = d.exhausted_unread_bits + 16 * d.fetches_since_exhausted - unread;
    return consumed > d.exhausted_real_bits;
}

bool header_read_past_end(const JpegDecoder& d) {
    // The header reader holds bit_count + 16 bits it has fetched but not
    // consumed; synthesised bytes beyond those have been consumed.
    return d.synthesised_bytes > (d.bit_count + 16) / 8;
}

void prime_header_bits(JpegDecoder& d) {
    d.bit_count = 16;
    get_bits_raw(d, 16);
    get_bits_raw(d, 16);
}

void restart_entropy_bits(JpegDecoder& d) {
    d.bit_count = 16;
    get_bits(d, 16);
    get_bits(d, 16);
}

void prime_entropy_bits(JpegDecoder& d) {
    // The header reader has fetched up to four bytes beyond the scan header;
    // give them back in stream order so the entropy reader sees them again,
    // now with unstuffing and marker detection.
    if (d.bit_count == 16) push_back_byte(d, (d.bit_buffer >> 16) & 0xFF);
    if (d.bit_count >= 8) push_back_byte(d, d.bit_buffer >> 24);
    push_back_byte(d, d.bit_buffer & 0xFF);
    push_back_byte(d, (d.bit_buffer >> 8) & 0xFF);
    // Each scan's data has its own end (the marker after it).
    d.data_exhausted = 0;
    d.fetches_since_exhausted = 0;
    restart_entropy_bits(d);
}

}  // namespace marivue::jpeg::detail
