// The resource store: the program's resources (pictures, strings, dialog
// template, icons) read from the compiled resource file that is linked into
// the executable. Lookups are by resource type and numeric identifier.
#pragma once

#include "platform/platform.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The resource types besides those of the program module (platform.h).
constexpr uint16_t resource_type_icon = 3;
constexpr uint16_t resource_type_string = 6;
constexpr uint16_t resource_type_icon_group = 14;

struct ResourceBytes {
    const uint8_t* data;
    uint32_t size;
};

// One resource of a resource file, pointing into the file's bytes.
struct ResourceEntry {
    uint16_t type;
    uint16_t id;
    uint16_t language;
    ResourceBytes bytes;
};

// The resources of one file with numeric type and identifier; resources
// named by strings are not kept (the program uses none).
struct ResourceDirectory {
    std::vector<ResourceEntry> entries;
};

// Parses a compiled resource file (.res) of `size` bytes. On success fills
// *dir (entries point into `data`, which must outlive it) and returns true.
// On a damaged file returns false, leaves *dir empty and says why in *error.
// Never reads outside data[0, size).
bool parse_resource_file(const uint8_t* data, size_t size, ResourceDirectory* dir, std::string* error);

// Finds a resource of `dir` by type and identifier, in any language.
bool find_in_directory(const ResourceDirectory& dir, uint16_t type, uint16_t id, ResourceBytes* out);

// Loads string `id` of `dir`: see load_embedded_string.
int32_t load_string_from(const ResourceDirectory& dir, uint16_t id, char16_t* buffer, int32_t limit);

// Parses `data` as a resource file; on failure writes one diagnostic line
// naming `what` and the fault to stderr and returns an empty directory.
ResourceDirectory open_resource_file(const uint8_t* data, size_t size, const char* what);

// The bytes of the resource file linked into the program.
ResourceBytes embedded_resource_file();

// The embedded file's directory, parsed on first use. Empty (with a
// diagnostic on stderr) when the embedded file is damaged.
const ResourceDirectory& embedded_resources();

// Finds a resource of the embedded .res by type and numeric id (any
// language). The pointer is valid for the process lifetime. False when absent.
bool find_embedded_resource(uint16_t type, uint16_t id, ResourceBytes* out);

// Loads string `id` as UTF-16 into buffer: at most `limit` units then a 0
// terminator (buffer holds limit+1); a missing id gives an empty text.
// Returns the units copied.
int32_t load_embedded_string(uint16_t id, char16_t* buffer, int32_t limit);
