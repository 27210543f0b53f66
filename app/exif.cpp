#include "app/exif.h"

#include <utility>
#include <vector>

namespace {

// Tags and field types the viewer reads.
constexpr uint16_t tag_make = 0x010F;
constexpr uint16_t tag_model = 0x0110;
constexpr uint16_t tag_orientation = 0x0112;
constexpr uint16_t tag_exposure_time = 0x829A;
constexpr uint16_t tag_f_number = 0x829D;
constexpr uint16_t tag_exif_directory = 0x8769;
constexpr uint16_t tag_iso = 0x8827;
constexpr uint16_t tag_date_taken = 0x9003;
constexpr uint16_t tag_focal_length = 0x920A;
constexpr uint16_t type_ascii = 2;
constexpr uint16_t type_short = 3;
constexpr uint16_t type_long = 4;
constexpr uint16_t type_rational = 5;
constexpr uint16_t type_directory = 13;

constexpr size_t text_limit = 64;

constexpr char date_shape[] = "dddd:dd:dd dd:dd:dd";  // d: a digit
constexpr size_t date_length = sizeof date_shape - 1;

// The TIFF structure inside the segment: its bytes and their byte order.
struct Tiff {
    const uint8_t* data;
    size_t size;
    bool big_endian;

    bool has(size_t offset, size_t count) const { return offset <= size && count <= size - offset; }
    uint16_t u16(size_t at) const {
        return big_endian ? static_cast<uint16_t>(data[at] << 8 | data[at + 1])
                          : static_cast<uint16_t>(data[at + 1] << 8 | data[at]);
    }
    uint32_t u32(size_t at) const {
        const uint32_t high = u16(at), low = u16(at + 2);
        return big_endian ? high << 16 | low : low << 16 | high;
    }
};

// One 12-byte directory entry.
struct Entry {
    uint16_t tag, type;
    uint32_t count;
    size_t value_at;  // the entry's 4-byte value field
};

// Calls `visit` for each entry of the directory at `offset` whose 12 bytes lie
// inside the structure; a count larger than what fits is cut to it.
template <typename Visit>
void each_entry(const Tiff& tiff, uint32_t offset, Visit visit) {
    if (!tiff.has(offset, 2)) return;
    const uint32_t count = tiff.u16(offset);
    for (uint32_t i = 0; i < count; ++i) {
        const size_t at = size_t{offset} + 2 + size_t{i} * 12;
        if (!tiff.has(at, 12)) return;
        visit(Entry{tiff.u16(at), tiff.u16(at + 2), tiff.u32(at + 4), at + 8});
    }
}

std::string read_date(const Tiff& tiff, const Entry& entry) {
    // The value (20 bytes with its terminator) lies outside the entry.
    if (entry.type != type_ascii || entry.count < date_length) return {};
    const uint32_t offset = tiff.u32(entry.value_at);
    if (!tiff.has(offset, date_length)) return {};
    std::string date(reinterpret_cast<const char*>(tiff.data + offset), date_length);
    for (size_t i = 0; i < date_length; ++i) {
        const bool digit = date[i] >= '0' && date[i] <= '9';
        if (date_shape[i] == 'd' ? !digit : date[i] != date_shape[i]) return {};
    }
    return date;
}

// A text value: up to 4 bytes stand in the entry itself, longer ones at an
// offset. Cut at its terminator, trailing spaces dropped, anything but
// printable ASCII shown as '?'.
std::string read_text(const Tiff& tiff, const Entry& entry) {
    if (entry.type != type_ascii || entry.count == 0) return {};
    const size_t at = entry.count <= 4 ? entry.value_at : tiff.u32(entry.value_at);
    if (!tiff.has(at, entry.count)) return {};
    std::string text;
    for (size_t i = 0; i < entry.count && text.size() < text_limit; ++i) {
        const uint8_t c = tiff.data[at + i];
        if (c == 0) break;
        text += c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?';
    }
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

// An unsigned fraction (two 32-bit numbers at an offset); its first value
// when the entry has several.
ExifFacts::Fraction read_fraction(const Tiff& tiff, const Entry& entry) {
    if (entry.type != type_rational || entry.count == 0) return {};
    const uint32_t at = tiff.u32(entry.value_at);
    if (!tiff.has(at, 8)) return {};
    return {tiff.u32(at), tiff.u32(size_t{at} + 4)};
}

// An APP1 segment may hold other things than Exif (XMP, for one).
bool named_exif(const uint8_t* data, size_t size) {
    static constexpr uint8_t exif_name[6] = {'E', 'x', 'i', 'f', 0, 0};
    if (data == nullptr || size < sizeof exif_name) return false;
    for (size_t i = 0; i < sizeof exif_name; ++i)
        if (data[i] != exif_name[i]) return false;
    return true;
}

}  // namespace

ExifFacts parse_exif_segment(const uint8_t* data, size_t size) {
    ExifFacts facts;
    if (!named_exif(data, size) || size < 6 + 8) return facts;
    Tiff tiff{data + 6, size - 6, data[6] == 'M'};
    const bool little = tiff.data[0] == 'I' && tiff.data[1] == 'I';
    const bool big = tiff.data[0] == 'M' && tiff.data[1] == 'M';
    if ((!little && !big) || tiff.u16(2) != 42) return facts;

    bool orientation_seen = false, make_seen = false, model_seen = false;
    uint32_t exif_directory = 0;
    each_entry(tiff, tiff.u32(4), [&](const Entry& e) {
        if (e.tag == tag_make && !make_seen) {
            make_seen = true;
            facts.make = read_text(tiff, e);
        } else if (e.tag == tag_model && !model_seen) {
            model_seen = true;
            facts.model = read_text(tiff, e);
        } else if (e.tag == tag_orientation && !orientation_seen && e.type == type_short && e.count == 1) {
            orientation_seen = true;
            const uint16_t value = tiff.u16(e.value_at);
            if (value >= 1 && value <= 8) facts.orientation = value;
        } else if (e.tag == tag_exif_directory && exif_directory == 0 && e.count == 1 &&
                   (e.type == type_long || e.type == type_directory)) {
            exif_directory = tiff.u32(e.value_at);
        }
    });
    // The Exif directory only; the links onward are not followed.
    if (exif_directory != 0) {
        bool exposure_seen = false, f_number_seen = false, focal_seen = false, iso_seen = false;
        const auto first = [](bool& seen) { return !std::exchange(seen, true); };
        each_entry(tiff, exif_directory, [&](const Entry& e) {
            if (e.tag == tag_date_taken && facts.date_taken.empty()) {
                facts.date_taken = read_date(tiff, e);
            } else if (e.tag == tag_exposure_time && first(exposure_seen)) {
                facts.exposure_time = read_fraction(tiff, e);
            } else if (e.tag == tag_f_number && first(f_number_seen)) {
                facts.f_number = read_fraction(tiff, e);
            } else if (e.tag == tag_focal_length && first(focal_seen)) {
                facts.focal_length = read_fraction(tiff, e);
            } else if (e.tag == tag_iso && first(iso_seen) && e.count >= 1) {
                // Several values may follow; the first is the one in use. Two
                // shorts stand in the entry, more at an offset.
                if (e.type == type_short && e.count <= 2) facts.iso = tiff.u16(e.value_at);
                if (e.type == type_short && e.count > 2 && tiff.has(tiff.u32(e.value_at), 2))
                    facts.iso = tiff.u16(tiff.u32(e.value_at));
                if (e.type == type_long && e.count == 1) facts.iso = tiff.u32(e.value_at);
            }
        });
    }
    return facts;
}

ExifFacts read_exif(std::FILE* file) {
    if (file == nullptr || std::fgetc(file) != 0xFF || std::fgetc(file) != 0xD8) return {};
    for (;;) {
        int c = std::fgetc(file);
        if (c != 0xFF) return {};
        // Fill bytes may stand before a marker code.
        while ((c = std::fgetc(file)) == 0xFF) {
        }
        if (c == EOF || c == 0xDA || c == 0xD9) return {};  // the first scan, the end, or no more data
        if (c == 0x01 || (c >= 0xD0 && c <= 0xD7)) continue;  // markers without a segment
        const int high = std::fgetc(file), low = std::fgetc(file);
        if (high == EOF || low == EOF) return {};
        const int length = high << 8 | low;
        if (length < 2) return {};
        const size_t content = static_cast<size_t>(length - 2);
        if (c == 0xE1) {
            std::vector<uint8_t> segment(content);
            if (std::fread(segment.data(), 1, content, file) != content) return {};
            if (named_exif(segment.data(), content)) return parse_exif_segment(segment.data(), content);
        } else if (std::fseek(file, static_cast<long>(content), SEEK_CUR) != 0) {
            return {};
        }
    }
}
