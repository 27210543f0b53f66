// The frame loader: decodes one picture of the collection into the frame
// buffer that the dialog copies to the screen.
#pragma once

#include "platform/platform.h"

#include <cstddef>
#include <cstdint>
#include <functional>

// The frame: 240 x 160 pixels, 3 bytes each in the order blue, green, red,
// rows top to bottom with nothing between them. 720 bytes a row is already a
// multiple of 4, so it is also the row pitch of a 24-bit bitmap.
constexpr int32_t frame_width = 240;
constexpr int32_t frame_height = 160;
constexpr int32_t frame_pixel_bytes = 3;
constexpr int32_t frame_row_bytes = frame_width * frame_pixel_bytes;
constexpr int32_t frame_bytes = frame_height * frame_row_bytes;
static_assert(frame_row_bytes % 4 == 0, "frame rows must need no bitmap padding");

// The most pool memory a picture's decoder may take (bytes).
constexpr size_t frame_loader_memory_limit = 16u << 20;

// The pixel memory of the frame (frame_bytes bytes). It belongs to the
// platform bitmap; the loader only writes into it.
struct FrameBuffer {
    uint8_t* pixels;
};

// Fills the 40-byte header that describes a top-down 24-bit bitmap of
// `width` x `height` pixels: height negative, 1 plane, no compression, no
// colour table.
void fill_bitmap_header(BitmapInfoHeader* header, int32_t width, int32_t height);
// The same for the frame: width 240, height -160.
void fill_frame_bitmap_header(BitmapInfoHeader* header);

// Yields the bytes of picture `id`, valid for the life of the process; false
// when there is no such picture (or it is empty).
using PictureLookup = std::function<bool(uint16_t id, const uint8_t** data, uint32_t* size)>;

// The platform's diagnostic output: an 8-bit format and one integer.
using DiagnosticPrint = std::function<void(const char* format, int32_t value)>;

struct FrameLoaderServices {
    PictureLookup find_picture;
    DiagnosticPrint diagnostic;
};

// Decodes picture `current_id` into `frame`. True when the frame now holds
// the picture: its first 160 rows, and black below a shorter picture (also
// below the rows delivered before a decoding error). False when the picture
// is missing, cannot be decoded from its header on, is not 240 pixels wide
// or not colour; the frame is then left exactly as it was. A decoder that
// fails while reading the header is reported on the diagnostic output with
// its status code.
bool load_frame(uint16_t current_id, FrameBuffer frame, const FrameLoaderServices& services);
