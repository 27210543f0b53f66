// The decoder's input: the ByteSource interface, and ready-made sources over
// bytes in memory and over a C stream.
#pragma once

#include "marivue/jpeg/export.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace marivue::jpeg {

// The decoder's input. A decoder calls attach() once when it takes the
// source, before the first read(), and detach() once when it lets the source
// go: at its first failure or when it is released, whichever comes first.
// The caller owns the source: it must outlive the decoder's use of it, and
// it serves one decoder at a time.
class MARIVUE_JPEG_API ByteSource {
public:
    virtual ~ByteSource() = default;
    // Copies up to `max` bytes into `buffer` and returns how many (0..max),
    // or -1 on error. Sets *end_flag to non-zero once there is no more data,
    // either with the last bytes or in a later call that returns 0. Each call
    // must deliver at least one byte, set the end flag, or return -1.
    virtual int32_t read(uint8_t* buffer, int32_t max, uint8_t* end_flag) = 0;
    virtual void attach() {}
    virtual void detach() {}
};

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
