// What the library's Decoder reads from a picture's segments besides the
// picture: the embedded ICC colour profile (APP2 "ICC_PROFILE" chunks) and
// the Exif data (APP1 "Exif"), with its orientation. The marker parser hands
// the segments to Metadata::sink; nothing here runs for a record without a
// sink, so the record's own path is unchanged.
#pragma once

#ifndef MARIVUE_JPEG_INTERNALS
#error "jpeg/metadata.h is the decoder's own: link marivue_jpeg_internal"
#endif

#include <cstddef>
#include <cstdint>
#include <vector>

namespace marivue::jpeg::detail {

// The most profile bytes collected from one stream: beyond it there is no
// profile. A profile of 255 chunks of 65,519 bytes, the most the format
// carries, stays under it.
constexpr size_t max_icc_profile_bytes = size_t{16} << 20;

class Metadata {
public:
    // The marker parser's segment sink: `context` is a Metadata. Receives
    // each APP1 and APP2 segment's bytes after its length field, in pieces.
    // Never throws: memory it cannot have means no profile or no Exif data.
    static void sink(void* context, int32_t marker, int32_t offset, const uint8_t* bytes, int32_t count,
                     int32_t length) noexcept;

    // The profile, its chunks joined in sequence order, when every chunk of
    // one consistent set arrived exactly once; empty otherwise (no chunks,
    // counts or numbers that disagree, a chunk missing or repeated, more
    // than max_icc_profile_bytes). Moves the bytes out.
    std::vector<uint8_t> take_icc_profile();
    // The TIFF structure of the first Exif segment (after "Exif\0\0"); empty
    // without one. Moves the bytes out.
    std::vector<uint8_t> take_exif() { return std::move(exif_); }

private:
    void segment_done(int32_t marker);

    std::vector<uint8_t> segment_;  // the segment being received
    bool segment_kept_ = false;  // segment_ holds all of it (not too large)
    std::vector<std::vector<uint8_t>> chunks_;  // by sequence number - 1
    int32_t chunk_count_ = 0;  // as the first chunk declared it
    size_t chunk_bytes_ = 0;
    bool icc_broken_ = false;
    bool exif_seen_ = false;
    std::vector<uint8_t> exif_;
};

// The orientation tag (1..8) of IFD0 in Exif TIFF data; 1 when it is
// missing, not a single SHORT or out of range, or the data is not TIFF.
int exif_orientation(const uint8_t* tiff, size_t size);

}  // namespace marivue::jpeg::detail
