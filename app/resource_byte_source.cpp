#include "app/resource_byte_source.h"

int32_t ResourceByteSource::read(uint8_t* buffer, int32_t max, uint8_t* end_flag) {
    if (end_held_) {
        *end_flag = 1;
        return 0;
    }
    uint8_t ended = 0;
    const int32_t got = MemoryByteSource::read(buffer, max, &ended);
    if (ended && got > 0)
        end_held_ = true;
    else if (ended)
        *end_flag = 1;
    return got;
}
