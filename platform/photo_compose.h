// The photo view's picture as one image: the scene's layers, placed by its
// matrix, resampled into a buffer that shows a part of the view. For front
// ends that hand a finished image on (the terminal's renderers) instead of
// drawing each layer with a painter of their own.
#pragma once

#include "platform/photo_view.h"

#include <cstddef>
#include <cstdint>
#include <vector>

struct ComposeBuffer {
    uint8_t* pixels = nullptr;  // blue, green, red, and with 4 bytes a pixel its opacity
    int32_t width = 0;
    int32_t height = 0;
    size_t stride = 0;
    int32_t bytes_per_pixel = 3;  // 3 or 4
    // The view point (device pixels) of the buffer's top-left corner.
    int32_t left = 0;
    int32_t top = 0;
};

// Fills `buffer` with the part of the view it covers. Each pixel comes from
// the last layer whose picture rectangle holds the pixel's centre: the
// layer's pixel under that centre where the layer is drawn at its own size
// or larger (sharp pixels), else the average of the layer's pixels under
// the whole device pixel, each weighted by the area it covers (smooth, as
// a picture drawn smaller should be), opaque. Pixels no layer covers get
// `background` (0xAARRGGBB; its opacity A only with 4 bytes a pixel, where
// 0 lets the terminal's own background show).
void compose_picture(const std::vector<PhotoLayer>& layers, const PhotoMatrix& placement, const ComposeBuffer& buffer,
                     uint32_t background);
