// Fitting a picture file into the album's frame: decoded row by row and
// scaled down as the rows arrive, so that no more than the frame and one
// accumulator of the fitted size is ever held, whatever the picture's size;
// a picture smaller than the frame is enlarged to fill it.
#pragma once

#include "app/picture_file.h"

#include <atomic>
#include <cstdint>
#include <string>

// The album's frame: 3:2 like the collection's, six times its sides; 3 bytes
// a pixel (blue, green, red), rows top-down with nothing between them.
constexpr int32_t album_frame_width = 1440;
constexpr int32_t album_frame_height = 960;
constexpr int32_t album_frame_bytes = album_frame_width * album_frame_height * 3;
static_assert(album_frame_width * 3 % 4 == 0, "frame rows must need no bitmap padding");

// Where a picture goes: `width` x `height` pixels as above.
struct FitFrame {
    uint8_t* pixels;
    int32_t width;
    int32_t height;
    // A picture smaller than the frame is enlarged smoothly to fill it (its
    // aspect kept); without, it stays at its own size in the middle.
    bool enlarge = true;
};

// The most working memory the decoder may take for one picture (bytes).
constexpr size_t picture_fit_memory_limit = size_t{256} << 20;

// Decodes the file at `path` into `frame`: turned by its Exif orientation,
// its aspect kept, centred on black, its colours converted to sRGB from its
// embedded ICC profile when it has one (and taken as sRGB when it has none),
// scaled down by averaging the pixels
// that fall on each frame pixel when it is larger than the frame, and
// enlarged by interpolating between its pixels when it is smaller (unless
// the frame says otherwise). `cancel`, when given and set, stops the
// work between two rows.
PictureOutcome fit_picture(const std::string& path, FitFrame frame, const std::atomic<bool>* cancel = nullptr);
