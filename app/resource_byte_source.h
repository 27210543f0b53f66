// The decoder's byte source over a picture's bytes in the resource store.
#pragma once

#include "marivue/jpeg/byte_source.h"

#include <cstddef>
#include <cstdint>

// Hands out the bytes of one resource in place, as MemoryByteSource does
// (`bytes` is not owned and must stay valid until the source is destroyed;
// resource memory lives as long as the process), except that the end is
// reported in the call after the one that delivered the last bytes, as the
// frame loader's source always has. The decoder asks whether its source has
// ended when a progressive scan's data runs out, so when the end is reported
// can change how a damaged picture whose last bytes exactly fill the
// decoder's input buffer is read.
class ResourceByteSource : public marivue::jpeg::MemoryByteSource {
public:
    ResourceByteSource(const uint8_t* bytes, size_t byte_count) : MemoryByteSource(bytes, byte_count) {}
    int32_t read(uint8_t* buffer, int32_t max, uint8_t* end_flag) override;

private:
    bool end_held_ = false;  // the last bytes went out without the end flag
};
