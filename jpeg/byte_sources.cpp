#include "marivue/jpeg/byte_source.h"

#include <cstring>

namespace marivue::jpeg {

MemoryByteSource::MemoryByteSource(const uint8_t* data, size_t size) : data_(data), size_(data ? size : 0) {}

int32_t MemoryByteSource::read(uint8_t* buffer, int32_t max, uint8_t* end_flag) {
    size_t left = size_ - position_;
    if (left == 0) {
        *end_flag = 1;
        return 0;
    }
    // A request for no bytes cannot be met without breaking the rule that
    // a call delivers, ends or fails.
    if (max <= 0 || buffer == nullptr) {
        return -1;
    }
    size_t count = left < static_cast<size_t>(max) ? left : static_cast<size_t>(max);
    std::memcpy(buffer, data_ + position_, count);
    position_ += count;
    // Flag the end together with the last bytes, so the decoder never needs a
    // further call that delivers nothing.
    if (position_ == size_) {
        *end_flag = 1;
    }
    return static_cast<int32_t>(count);
}

FileByteSource::FileByteSource(std::FILE* file) : file_(file) {}

int32_t FileByteSource::read(uint8_t* buffer, int32_t max, uint8_t* end_flag) {
    if (file_ == nullptr) {
        return -1;
    }
    if (max <= 0 || buffer == nullptr) {
        // No room: only a stream already known to have ended may answer
        // without a byte, and it must say so; anything else is an error.
        if (max == 0 && std::feof(file_) && !std::ferror(file_)) {
            *end_flag = 1;
            return 0;
        }
        return -1;
    }
    // fread on a pipe or terminal may return fewer bytes than asked without
    // reaching the end; keep reading until the request is met, the stream
    // ends or it fails, so that a short count is always explained.
    size_t total = 0;
    size_t wanted = static_cast<size_t>(max);
    while (total < wanted) {
        size_t got = std::fread(buffer + total, 1, wanted - total, file_);
        total += got;
        if (got == 0 || total < wanted) {
            if (std::ferror(file_)) {
                return -1;
            }
            if (std::feof(file_)) {
                *end_flag = 1;
                break;
            }
        }
        if (got == 0) {
            // Neither end nor error yet no bytes: report an error rather than
            // break the rule that every call delivers, ends or fails.
            return -1;
        }
    }
    return static_cast<int32_t>(total);
}

}  // namespace marivue::jpeg
