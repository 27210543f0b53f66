#include "icc.h"

namespace jpeg_decode {

namespace {

uint32_t big32(const std::vector<uint8_t>& p, size_t at) {
    return static_cast<uint32_t>(p[at]) << 24 | static_cast<uint32_t>(p[at + 1]) << 16 |
           static_cast<uint32_t>(p[at + 2]) << 8 | p[at + 3];
}

bool fits(const std::vector<uint8_t>& p, size_t at, size_t count) { return at <= p.size() && count <= p.size() - at; }

void append_utf8(std::string& out, uint32_t c) {
    if (c < 0x20 || c == 0x7F || (c >= 0xD800 && c < 0xE000) || c > 0x10FFFF) return;  // controls, halves
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | c >> 6);
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | c >> 12);
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | c >> 18);
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// ICC v2 textDescriptionType: "desc", 4 reserved bytes, the ASCII count
// (with its terminating zero) and the text.
std::string text_description(const std::vector<uint8_t>& p, size_t at, size_t size) {
    if (size < 12) return {};
    const size_t count = big32(p, at + 8);
    std::string out;
    for (size_t i = 0; i < count && 12 + i < size && p[at + 12 + i] != 0; ++i) append_utf8(out, p[at + 12 + i]);
    return out;
}

// ICC v4 multiLocalizedUnicodeType: "mluc", 4 reserved bytes, the record
// count and size, then records of language, country, length and offset
// (from the tag's start) of UTF-16BE text. The first record is taken.
std::string unicode_description(const std::vector<uint8_t>& p, size_t at, size_t size) {
    if (size < 28 || big32(p, at + 8) == 0 || big32(p, at + 12) < 12) return {};
    const size_t length = big32(p, at + 20), offset = big32(p, at + 24);
    if (offset > size || length > size - offset) return {};
    std::string out;
    for (size_t i = 0; i + 1 < length; i += 2) {
        uint32_t c = static_cast<uint32_t>(p[at + offset + i]) << 8 | p[at + offset + i + 1];
        if (c >= 0xD800 && c < 0xDC00 && i + 3 < length) {  // a surrogate pair
            const uint32_t low = static_cast<uint32_t>(p[at + offset + i + 2]) << 8 | p[at + offset + i + 3];
            if (low >= 0xDC00 && low < 0xE000) {
                c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                i += 2;
            }
        }
        if (c == 0) break;
        append_utf8(out, c);
    }
    return out;
}

}  // namespace

std::string icc_description(const std::vector<uint8_t>& p) {
    // The 128-byte header, then the tag count and 12-byte entries of
    // signature, offset and size.
    if (!fits(p, 128, 4)) return {};
    const size_t tags = big32(p, 128);
    for (size_t i = 0; i < tags && fits(p, 132 + 12 * i, 12); ++i) {
        const size_t entry = 132 + 12 * i;
        if (big32(p, entry) != 0x64657363) continue;  // 'desc'
        const size_t at = big32(p, entry + 4), size = big32(p, entry + 8);
        if (!fits(p, at, size) || size < 4) return {};
        const uint32_t type = big32(p, at);
        if (type == 0x64657363) return text_description(p, at, size);  // 'desc'
        if (type == 0x6D6C7563) return unicode_description(p, at, size);  // 'mluc'
        return {};
    }
    return {};
}

std::string png_profile_name(const std::string& description) {
    std::string name;
    for (size_t i = 0; i < description.size() && name.size() < 79;) {
        // UTF-8 back to code points; Latin-1 keeps those below 256.
        const unsigned char lead = static_cast<unsigned char>(description[i]);
        const size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        uint32_t c = length == 1 ? lead : lead & (0x3F >> (length - 1));
        for (size_t k = 1; k < length && i + k < description.size(); ++k)
            c = c << 6 | (static_cast<unsigned char>(description[i + k]) & 0x3F);
        i += length;
        // PNG keywords hold printable Latin-1 and single spaces.
        const bool printable = (c >= 0x21 && c <= 0x7E) || (c >= 0xA1 && c <= 0xFF);
        if (c == ' ' || !printable) {
            if (c != ' ' && c >= 0x100) {
                name += '?';
            } else if (!name.empty() && name.back() != ' ') {
                name += ' ';
            }
            continue;
        }
        name += static_cast<char>(c);
    }
    while (!name.empty() && name.back() == ' ') name.pop_back();
    return name.empty() ? "ICC profile" : name;
}

}  // namespace jpeg_decode
