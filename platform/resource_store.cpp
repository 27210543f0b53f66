#include "platform/resource_store.h"

#include <cstdio>
#include <cstring>

// Delimit the embedded resource file (see resources/embedded_res.S.in).
extern "C" const uint8_t marivue_res_start[];
extern "C" const uint8_t marivue_res_end[];

namespace {

// A .res file is a sequence of entries, each aligned to 4 bytes:
//   u32 data size, u32 header size,
//   type and name (each 0xFFFF + u16 ordinal, or a 0-terminated UTF-16 string),
//   padding to 4, u32 data version, u16 memory flags, u16 language,
//   u32 version, u32 characteristics, then the data padded to 4.
// The first entry is an empty marker: data size 0, header size 32, type 0, name 0.
constexpr size_t entry_fixed_tail = 16;  // data version .. characteristics
constexpr size_t min_header_size = 8 + 4 + 4 + entry_fixed_tail;
constexpr int strings_per_block = 16;

uint16_t get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t get32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

// A type or name field: an ordinal, or a string (which this store skips).
struct NameField {
    bool is_ordinal;
    uint16_t ordinal;
};

// Reads a type or name field at header offset *at (header is `limit` bytes).
bool read_name(const uint8_t* header, size_t limit, size_t* at, NameField* out) {
    if (*at + 2 > limit) return false;
    if (get16(header + *at) == 0xFFFF) {
        if (*at + 4 > limit) return false;
        out->is_ordinal = true;
        out->ordinal = get16(header + *at + 2);
        *at += 4;
        return true;
    }
    out->is_ordinal = false;
    out->ordinal = 0;
    for (;;) {
        if (*at + 2 > limit) return false;
        uint16_t unit = get16(header + *at);
        *at += 2;
        if (unit == 0) return true;
    }
}

// Checks that a string block holds 16 counted strings within its data.
bool string_block_sound(ResourceBytes block) {
    size_t at = 0;
    for (int i = 0; i < strings_per_block; ++i) {
        if (block.size - at < 2) return false;
        size_t units = get16(block.data + at);
        at += 2;
        if ((block.size - at) / 2 < units) return false;
        at += units * 2;
    }
    return true;
}

std::string entry_error(size_t index, size_t offset, const char* what) {
    char text[160];
    std::snprintf(text, sizeof text, "resource entry %zu at byte %zu: %s", index, offset, what);
    return text;
}

}  // namespace

bool parse_resource_file(const uint8_t* data, size_t size, ResourceDirectory* dir, std::string* error) {
    dir->entries.clear();
    std::vector<ResourceEntry> entries;
    auto refuse = [&](std::string why) {
        if (error) *error = std::move(why);
        return false;
    };
    if (data == nullptr || size == 0) return refuse("empty resource file");
    if (size < 32) return refuse("too short for a resource file (" + std::to_string(size) + " bytes)");
    // The leading marker's sizes, type and name; its remaining fields vary.
    static const uint8_t marker[16] = {0, 0, 0, 0, 32, 0, 0, 0, 0xFF, 0xFF, 0, 0, 0xFF, 0xFF, 0, 0};
    if (std::memcmp(data, marker, sizeof marker) != 0) return refuse("not a resource file (no leading empty entry)");

    size_t offset = 32;
    size_t index = 1;
    while (offset < size) {
        if (size - offset < 8) return refuse(entry_error(index, offset, "truncated entry sizes"));
        const uint8_t* entry = data + offset;
        uint32_t data_size = get32(entry);
        uint32_t header_size = get32(entry + 4);
        if (header_size < min_header_size || header_size % 4 != 0)
            return refuse(entry_error(index, offset, "bad header size"));
        if (header_size > size - offset)
            return refuse(entry_error(index, offset, "header runs past the end of the file"));
        if (data_size > size - offset - header_size)
            return refuse(entry_error(index, offset, "data runs past the end of the file"));

        size_t at = 8;
        NameField type, name;
        if (!read_name(entry, header_size, &at, &type) || !read_name(entry, header_size, &at, &name))
            return refuse(entry_error(index, offset, "type or name runs past the header"));
        at = (at + 3) & ~static_cast<size_t>(3);
        if (at + entry_fixed_tail != header_size)
            return refuse(entry_error(index, offset, "header size does not match its fields"));
        uint16_t language = get16(entry + at + 6);

        ResourceBytes bytes{entry + header_size, data_size};
        if (type.is_ordinal && name.is_ordinal) {
            if (type.ordinal == resource_type_string && !string_block_sound(bytes))
                return refuse(entry_error(index, offset, "damaged string block"));
            entries.push_back(ResourceEntry{type.ordinal, name.ordinal, language, bytes});
        }

        size_t end = offset + header_size + data_size;
        size_t padded = (end + 3) & ~static_cast<size_t>(3);
        // The last entry's padding may be missing.
        offset = padded < size ? padded : size;
        if (padded > size && end < size) return refuse(entry_error(index, offset, "stray bytes after the last entry"));
        ++index;
    }
    dir->entries = std::move(entries);
    return true;
}

bool find_in_directory(const ResourceDirectory& dir, uint16_t type, uint16_t id, ResourceBytes* out) {
    for (const ResourceEntry& e : dir.entries) {
        if (e.type == type && e.id == id) {
            if (out) *out = e.bytes;
            return true;
        }
    }
    return false;
}

int32_t load_string_from(const ResourceDirectory& dir, uint16_t id, char16_t* buffer, int32_t limit) {
    if (buffer == nullptr) return 0;
    if (limit < 0) limit = 0;
    int32_t copied = 0;
    ResourceBytes block;
    uint16_t block_id = static_cast<uint16_t>(id / strings_per_block + 1);
    if (find_in_directory(dir, resource_type_string, block_id, &block)) {
        // Blocks were checked when the directory was parsed; the bounds are
        // checked again so that a hand-made directory cannot overrun.
        size_t at = 0;
        for (int i = 0; i < strings_per_block; ++i) {
            if (block.size - at < 2) break;
            size_t units = get16(block.data + at);
            at += 2;
            if ((block.size - at) / 2 < units) break;
            if (i == id % strings_per_block) {
                size_t n = units < static_cast<size_t>(limit) ? units : static_cast<size_t>(limit);
                for (size_t k = 0; k < n; ++k) buffer[k] = static_cast<char16_t>(get16(block.data + at + 2 * k));
                copied = static_cast<int32_t>(n);
                break;
            }
            at += units * 2;
        }
    }
    buffer[copied] = 0;
    return copied;
}

ResourceDirectory open_resource_file(const uint8_t* data, size_t size, const char* what) {
    ResourceDirectory dir;
    std::string error;
    if (!parse_resource_file(data, size, &dir, &error))
        std::fprintf(stderr, "marivue: %s is damaged, no resources available: %s\n", what, error.c_str());
    return dir;
}

ResourceBytes embedded_resource_file() {
    // The two symbols belong to one assembled block, so the distance between
    // their addresses is the file's length.
    uintptr_t start = reinterpret_cast<uintptr_t>(marivue_res_start);
    uintptr_t end = reinterpret_cast<uintptr_t>(marivue_res_end);
    return ResourceBytes{marivue_res_start, static_cast<uint32_t>(end - start)};
}

const ResourceDirectory& embedded_resources() {
    static const ResourceDirectory dir = [] {
        ResourceBytes file = embedded_resource_file();
        return open_resource_file(file.data, file.size, "the embedded resource file");
    }();
    return dir;
}

bool find_embedded_resource(uint16_t type, uint16_t id, ResourceBytes* out) {
    return find_in_directory(embedded_resources(), type, id, out);
}

int32_t load_embedded_string(uint16_t id, char16_t* buffer, int32_t limit) {
    return load_string_from(embedded_resources(), id, buffer, limit);
}
