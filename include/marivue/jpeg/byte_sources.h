// Ready-made byte sources: over bytes in memory and over a C stream.
#pragma once

#include "marivue/jpeg/decoder.h"
#include "marivue/jpeg/export.h"

#include <cstdint>
#include <cstdio>

namespace marivue::jpeg {

// Reads `size` bytes starting at `data`, which the caller keeps alive and
// unchanged until the decoder has let the source go. Sets the end flag in the
// call that delivers the last bytes (at once for an empty buffer). A request
// for no bytes before the end is an error (-1).
class MARIVUE_JPEG_API MemoryByteSource : public ByteSource {
public:
    MemoryByteSource(const uint8_t* data, size_t size);
    int32_t read(uint8_t* buffer, int32_t max, uint8_t* end_flag) override;

private:
    const uint8_t* data_;
    size_t size_;
    size_t position_ = 0;
};

// Reads an open C stream, which the caller owns and closes. A read error of
// the stream gives -1; the end of the stream sets the end flag, in the call
// that delivers the last bytes or in a later call that returns 0. A request
// for no bytes before the end is an error (-1).
class MARIVUE_JPEG_API FileByteSource : public ByteSource {
public:
    explicit FileByteSource(std::FILE* file);
    int32_t read(uint8_t* buffer, int32_t max, uint8_t* end_flag) override;

private:
    std::FILE* file_;
};

}  // namespace marivue::jpeg
