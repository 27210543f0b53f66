// The marker parser: finds the start of the image, walks the segments
// between entropy-coded data, stores tables and headers in the record, and
// checks restart markers. Every field is read through the header bit reader.
#include "jpeg/internal.h"

#include <cstring>

namespace marivue::jpeg::detail {

namespace {

inline int32_t read8(JpegDecoder& d) { return static_cast<int32_t>(get_bits_raw(d, 8)); }
inline int32_t read16(JpegDecoder& d) { return static_cast<int32_t>(get_bits_raw(d, 16)); }

// Marker codes this parser treats specially.
constexpr int32_t marker_sof0 = 0xC0, marker_sof1 = 0xC1, marker_sof2 = 0xC2;
constexpr int32_t marker_sof9 = 0xC9;
constexpr int32_t marker_soi = 0xD8, marker_eoi = 0xD9, marker_sos = 0xDA;
constexpr int32_t marker_app0 = 0xE0, marker_app1 = 0xE1, marker_app2 = 0xE2, marker_app14 = 0xEE;
constexpr int32_t marker_sof55 = 0xF7;  // JPEG-LS, another format: an unknown segment here

// The colour coding of a three-component frame: YCbCr unless the picture
// says it was written without colour transform, either in an Adobe segment
// (transform 0) or, with neither a JFIF nor an Adobe segment, by naming its
// components 'R', 'G', 'B'. A JFIF segment always means YCbCr.
uint8_t frame_is_rgb(const JpegDecoder& d) {
    if (d.frame_component_count != 3 || d.saw_jfif) return 0;
    if (d.adobe_transform >= 0) return d.adobe_transform == 0;
    return d.comp_id[0] == 'R' && d.comp_id[1] == 'G' && d.comp_id[2] == 'B';
}

// Four components are YCCK only where an Adobe segment says so (transform
// 2); otherwise, with another transform or none, they are taken as CMYK,
// inverted as Adobe stores it, since the programs that write four
// components almost all write that segment and store CMYK so.
ColourCoding frame_coding(const JpegDecoder& d) {
    if (d.frame_component_count == 4) return d.adobe_transform == 2 ? CodingYcck : CodingCmyk;
    if (d.frame_component_count == 3) return d.is_rgb ? CodingRgb : CodingYCbCr;
    return CodingGrey;
}

}  // namespace

void find_soi(JpegDecoder& d) {
    int32_t previous = read8(d);
    int32_t current = read8(d);
    if (previous == 0xFF && current == marker_soi) return;
    // Tolerate up to 511 bytes of leading junk, but then insist that a
    // marker follows so that a stray FF D8 inside junk is not taken.
    for (int i = 0; i < 511; i++) {
        previous = current;
        current = read8(d);
        if (previous == 0xFF && current == marker_soi) {
            if (((d.bit_buffer >> 8) & 0xFF) != 0xFF) fail(d, NotJpeg);
            return;
        }
    }
    fail(d, NotJpeg);
}

int32_t next_marker(JpegDecoder& d) {
    for (;;) {
        int32_t c = read8(d);
        while (c != 0xFF) c = read8(d);
        do c = read8(d);
        while (c == 0xFF);
        if (c != 0) return c;
    }
}

int32_t process_markers(JpegDecoder& d) {
    for (;;) {
        int32_t code = next_marker(d);
        if (code == 0x01) fail(d, UnexpectedMarker);  // TEM
        if (code <= 0xBF) {
            skip_segment(d);
            continue;
        }  // reserved
        if (code <= 0xC3) return code;  // SOF0-SOF3
        if (code == 0xC4) {
            read_dht(d);
            end_scans_if_cut(d);
            continue;
        }
        if (code <= 0xC7) return code;  // SOF5-SOF7
        if (code == 0xC8) fail(d, UnexpectedMarker);  // JPG
        if (code <= 0xCB) return code;  // SOF9-SOF11
        if (code == 0xCC) fail(d, ArithmeticNotSupported);  // DAC
        if (code <= 0xCF) return code;  // SOF13-SOF15
        if (code <= 0xD7) fail(d, UnexpectedMarker);  // RST0-RST7
        if (code <= 0xDA) return code;  // SOI, EOI, SOS
        if (code == 0xDB) {
            read_dqt(d);
            continue;
        }
        if (code == 0xDC) {
            skip_segment(d);
            continue;
        }  // DNL
        if (code == 0xDD) {
            read_dri(d);
            end_scans_if_cut(d);
            continue;
        }
        if (code == marker_app0 || code == marker_app14) {
            read_app(d, code);
            continue;
        }
        if ((code == marker_app1 || code == marker_app2) && d.segment_sink != nullptr) {
            pass_segment(d, code);
            continue;
        }
        if (code == marker_sof55 && d.frame_marker == 0) d.frame_marker = code;
        skip_segment(d);  // other APPn, COM, ...
    }
}

void read_app(JpegDecoder& d, int32_t code) {
    // APP0 names a JFIF picture with its 5-byte identifier; APP14 carries
    // the Adobe identifier, two version and two flag bytes each, and the
    // transform byte, 12 bytes in all. A segment too short for them (or
    // with another identifier) is skipped like any other.
    static const uint8_t jfif[5] = {'J', 'F', 'I', 'F', 0};
    static const uint8_t adobe[5] = {'A', 'd', 'o', 'b', 'e'};
    int32_t length = read16(d);
    if (length < 2) fail(d, MarkerLength);
    int32_t left = length - 2;
    const bool is_jfif = code == marker_app0;
    if (left >= (is_jfif ? 5 : 12)) {
        bool match = true;
        for (int i = 0; i < 5; i++) match = (read8(d) == (is_jfif ? jfif : adobe)[i]) && match;
        left -= 5;
        if (match && is_jfif) {
            d.saw_jfif = 1;
        } else if (match) {
            for (int i = 0; i < 6; i++) read8(d);  // version, flags0, flags1
            d.adobe_transform = read8(d);
            left -= 7;
        }
    }
    for (; left > 0; left--) read8(d);
}

void pass_segment(JpegDecoder& d, int32_t code) {
    int32_t length = read16(d);
    if (length < 2) fail(d, MarkerLength);
    length -= 2;
    uint8_t piece[512];
    int32_t offset = 0;
    do {
        int32_t count = length - offset < 512 ? length - offset : 512;
        for (int32_t i = 0; i < count; i++) piece[i] = static_cast<uint8_t>(read8(d));
        d.segment_sink(d.segment_context, code, offset, piece, count, length);
        offset += count;
    } while (offset < length);
}

void skip_segment(JpegDecoder& d) {
    int32_t length = read16(d);
    if (length < 2) fail(d, MarkerLength);
    for (int32_t i = 2; i < length; i++) read8(d);
}

void read_dht(JpegDecoder& d) {
    int32_t length = read16(d);
    if (length < 2) fail(d, HuffSegmentLength);
    int32_t left = length - 2;
    while (left != 0) {
        int32_t class_and_number = read8(d);
        uint8_t counts[17];
        counts[0] = 0;
        int32_t total = 0;
        for (int i = 1; i <= 16; i++) {
            counts[i] = static_cast<uint8_t>(read8(d));
            total += counts[i];
        }
        if (total > 255) fail(d, HuffCountsTooLarge);
        uint8_t symbols[256];
        for (int32_t i = 0; i < total; i++) symbols[i] = static_cast<uint8_t>(read8(d));
        if (left < 17 + total) fail(d, HuffSegmentLength);
        left -= 17 + total;
        int slot = (class_and_number & 0x0F) + 4 * ((class_and_number >> 4) & 1);
        if (slot >= 8) fail(d, HuffIndexInvalid);
        // Counts whose canonical codes overflow their lengths cannot be
        // decoded and would not fit the decode table; refuse them here.
        if (!huff_counts_valid(counts)) fail(d, HuffTableInvalid);
        if (d.huff_bits[slot] == nullptr) d.huff_bits[slot] = static_cast<uint8_t*>(pool_alloc(d, 17));
        if (d.huff_values[slot] == nullptr) d.huff_values[slot] = static_cast<uint8_t*>(pool_alloc(d, 256));
        for (int i = 0; i < 17; i++) d.huff_bits[slot][i] = counts[i];
        for (int32_t i = 0; i < total; i++) d.huff_values[slot][i] = symbols[i];
    }
}

void read_dqt(JpegDecoder& d) {
    int32_t length = read16(d);
    if (length < 2) fail(d, QuantSegmentLength);
    int32_t left = length - 2;
    while (left != 0) {
        int32_t precision_and_number = read8(d);
        int32_t number = precision_and_number & 0x0F;
        if (number >= 4) fail(d, QuantIndexInvalid);
        bool wide = (precision_and_number >> 4) != 0;
        if (d.quant_tables[number] == nullptr) d.quant_tables[number] = static_cast<int16_t*>(pool_alloc(d, 128));
        // Read whole before it replaces the table: a table the data ended
        // inside, between progressive scans, is not used.
        int16_t table[64];
        for (int i = 0; i < 64; i++) {
            int32_t value = read8(d);
            if (wide) value = (value << 8) | read8(d);
            table[i] = static_cast<int16_t>(value);
        }
        int32_t size = wide ? 129 : 65;
        if (left < size) fail(d, QuantSegmentShort);
        left -= size;
        end_scans_if_cut(d);
        std::memcpy(d.quant_tables[number], table, sizeof table);
    }
}

void read_sof(JpegDecoder& d) {
    int32_t length = read16(d);
    if (read8(d) != 8) fail(d, PrecisionNot8);
    const int32_t max_side = d.settings.max_side != 0 ? d.settings.max_side : 8192;
    // Stored before the check: a height of 0 is left to a DNL segment, and
    // the failure's words say so.
    d.image_height = read16(d);
    if (d.image_height < 1 || d.image_height > max_side) fail(d, HeightOutOfRange);
    d.image_width = read16(d);
    if (d.image_width < 1 || d.image_width > max_side) fail(d, WidthOutOfRange);
    // The delivered size rounds up: a last block column or row only partly
    // inside the picture still gives a pixel.
    const int32_t shift = d.settings.scale_shift;
    d.output_width = (d.image_width + (1 << shift) - 1) >> shift;
    d.output_height = (d.image_height + (1 << shift) - 1) >> shift;
    d.frame_component_count = read8(d);
    if (d.frame_component_count > 4) fail(d, TooManyComponents);
    if (length != 8 + 3 * d.frame_component_count) fail(d, FrameHeaderLength);
    for (int32_t i = 0; i < d.frame_component_count; i++) {
        d.comp_id[i] = read8(d);
        int32_t factors = read8(d);
        d.comp_h_factor[i] = factors >> 4;
        d.comp_v_factor[i] = factors & 0x0F;
        d.comp_quant_index[i] = read8(d);
    }
}

void find_frame_header(JpegDecoder& d) {
    find_soi(d);
    int32_t code = process_markers(d);
    // SOF0..SOF15: the other codes up to 0xCF never come back from
    // process_markers.
    if (code <= 0xCF) d.frame_marker = code;
    if (code == marker_sof0 || code == marker_sof1) {
        read_sof(d);
    } else if (code == marker_sof2) {
        d.is_progressive = 1;
        read_sof(d);
    } else if (code == marker_sof9) {
        fail(d, ArithmeticNotSupported);
    } else {
        fail(d, UnsupportedFrameType);
    }
    d.is_rgb = frame_is_rgb(d);
    d.colour_coding = frame_coding(d);
}

void read_sos(JpegDecoder& d) {
    int32_t length = read16(d);
    d.scan_component_count = read8(d);
    if (d.scan_component_count < 1 || d.scan_component_count > 4 || length != 6 + 2 * d.scan_component_count)
        fail(d, ScanHeaderLength);
    // Read every selector first: a scan naming a component twice would make
    // its MCU larger than any frame layout allows, and it is refused before
    // any component's table fields are touched.
    int32_t components[4], tables[4];
    for (int32_t i = 0; i < d.scan_component_count; i++) {
        int32_t selector = read8(d);
        tables[i] = read8(d);
        int32_t j = 0;
        while (j < d.frame_component_count && d.comp_id[j] != selector) j++;
        if (j == d.frame_component_count) fail(d, ScanComponentUnknown);
        for (int32_t k = 0; k < i; k++)
            if (components[k] == j) fail(d, ScanComponentRepeated);
        components[i] = j;
    }
    for (int32_t i = 0; i < d.scan_component_count; i++) {
        int32_t j = components[i];
        d.scan_components[i] = j;
        d.comp_dc_table[j] = tables[i] >> 4;
        d.comp_ac_table[j] = (tables[i] & 0x0F) + 4;
    }
    d.spectral_first = read8(d);
    d.spectral_last = read8(d);
    int32_t approx = read8(d);
    d.approx_high = approx >> 4;
    d.approx_low = approx & 0x0F;
    if (!d.is_progressive) {
        d.spectral_first = 0;
        d.spectral_last = 63;
    }
}

void read_dri(JpegDecoder& d) {
    if (read16(d) != 4) fail(d, RestartHeaderLength);
    d.restart_interval = static_cast<uint32_t>(read16(d));
}

bool find_scan_header(JpegDecoder& d) {
    int32_t code = process_markers(d);
    if (code == marker_eoi) return false;
    if (code != marker_sos) fail(d, UnexpectedMarker);
    read_sos(d);
    end_scans_if_cut(d);
    return true;
}

void end_scans_if_cut(JpegDecoder& d) {
    if (d.between_scans && header_read_past_end(d)) throw ScansEnded{};
}

void handle_restart(JpegDecoder& d) {
    // Whatever the entropy reader still holds is dropped; it never consumed
    // the marker, so the marker is next in the input.
    int32_t passed = 0;
    int32_t c = get_byte_raw(d);
    while (c != 0xFF) {
        if (++passed >= 1536) fail(d, RestartMarker);
        c = get_byte_raw(d);
    }
    c = get_byte_raw(d);
    while (c == 0xFF) {
        if (++passed >= 1536) fail(d, RestartMarker);
        c = get_byte_raw(d);
    }
    if (c != 0xD0 + d.next_restart_number) fail(d, RestartMarker);
    for (int32_t i = 0; i < d.frame_component_count; i++) d.last_dc[i] = 0;
    d.eob_run = 0;
    d.restarts_left = d.restart_interval;
    d.next_restart_number = (d.next_restart_number + 1) & 7;
    restart_entropy_bits(d);
}

void skip_entropy_data(JpegDecoder& d, int64_t* restart_markers) {
    // Whatever the entropy reader holds is data and is dropped; it never
    // consumes a marker, so the one that ends the data is still ahead.
    for (;;) {
        if (d.in_count > 0) {
            const void* ff = std::memchr(d.in_cursor, 0xFF, static_cast<size_t>(d.in_count));
            const int32_t plain =
                ff != nullptr ? static_cast<int32_t>(static_cast<const uint8_t*>(ff) - d.in_cursor) : d.in_count;
            d.in_cursor += plain;
            d.in_count -= plain;
        }
        int32_t c = get_byte_raw(d);
        if (c != 0xFF) continue;
        do c = get_byte_raw(d);
        while (c == 0xFF);
        if (c == 0) continue;  // a stuffed zero
        if (c >= 0xD0 && c <= 0xD7) {  // a restart marker inside the data
            if (restart_markers != nullptr) ++*restart_markers;
            continue;
        }
        push_back_byte(d, c);
        push_back_byte(d, 0xFF);
        return;
    }
}

void finish_image(JpegDecoder& d) {
    if (d.is_progressive) return;
    prime_header_bits(d);
    process_markers(d);
}

}  // namespace marivue::jpeg::detail
