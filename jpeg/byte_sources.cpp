#include "jpeg/byte_sources.h"

MemoryByteSource::MemoryByteSource(const uint8_t* data, size_t size)
    : data_(data), size_(data ? size : 0) {}

int32_t MemoryByteSource::read(uint8_t* buffer, int32_t max, uint8_t* end_flag) {
    if (max < 0 || (max > 0 && buffer == nullptr)) {
        return -1;
    }
    size_t left = size_ - position_;
    size_t count = left < static_cast<size_t>(max) ? left : static_cast<size_t>(max);
    for (size_t i = 0; i < count; ++i) {
        buffer[i] = data_[position_ + i];
    }
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
    if (file_ == nullptr || max < 0 || (max > 0 && buffer == nullptr)) {
        return -1;
    }
    if (max == 0) {
        // Nothing asked for: only a stream already known to have ended may
        // answer without a byte, and it must say so.
        if (std::feof(file_)) {
            *end_flag = 1;
            return 0;
        }
        return std::ferror(file_) ? -1 : 0;
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
