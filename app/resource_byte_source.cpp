#include "app/resource_byte_source.h"

#include <cstring>

ResourceByteSource::ResourceByteSource(const uint8_t* bytes, int32_t byte_count)
    : data(bytes), size(byte_count < 0 ? 0 : byte_count), position(0), end_reached(0), failed(0) {}

int32_t ResourceByteSource::read(uint8_t* buffer, int32_t max, uint8_t* end_flag) {
    if (end_reached) {
        *end_flag = 1;
        return 0;
    }
    if (failed) return -1;
    // A negative request is a caller error, not a request for nothing.
    if (max < 0 || buffer == nullptr) return -1;
    // Compared in 64 bits so a huge request cannot overflow the sum.
    if (static_cast<int64_t>(position) + max < size) {
        std::memcpy(buffer, data + position, static_cast<size_t>(max));
        position += max;
        return max;
    }
    // The request reaches the end, exactly or beyond: hand out the rest and
    // report the end in the next call.
    int32_t rest = size - position;
    if (rest > 0) std::memcpy(buffer, data + position, static_cast<size_t>(rest));
    position = size;
    end_reached = 1;
    return rest;
}
