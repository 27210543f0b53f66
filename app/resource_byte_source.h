// The decoder's byte source over a picture's bytes in the resource store.
#pragma once

#include "marivue/jpeg/byte_source.h"

#include <cstdint>

// Hands out the bytes of one resource, in place: `data` is not owned and must
// stay valid until the source is destroyed (resource memory lives as long as
// the process). The end of the data is reported in the call after the one
// that delivered the last bytes.
class ResourceByteSource : public marivue::jpeg::ByteSource {
public:
    ResourceByteSource(const uint8_t* bytes, int32_t byte_count);
    int32_t read(uint8_t* buffer, int32_t max, uint8_t* end_flag) override;

    const uint8_t* data;
    int32_t size;
    int32_t position;  // bytes already handed out, 0 to size
    uint8_t end_reached;  // every byte has been handed out
    uint8_t failed;  // the source is in error; read then returns -1
};
