// Drawing contexts and bitmaps in memory, and copies between them.
#include "platform/surface.h"

#include <algorithm>
#include <cstring>
#include <new>

PixelPlane plane_of(SurfaceBitmap& bitmap) {
    return PixelPlane{bitmap.pixels.get(), bitmap.width, bitmap.height, bitmap.pitch, bitmap.top_down};
}

void copy_pixels(const PixelPlane& to, int32_t x, int32_t y, const PixelPlane& from, int32_t source_x, int32_t source_y,
                 int32_t width, int32_t height) {
    // Clipped to both planes; 64-bit sums so that large arguments cannot wrap.
    const int64_t left = std::max<int64_t>({0, -static_cast<int64_t>(x), -static_cast<int64_t>(source_x)});
    const int64_t top = std::max<int64_t>({0, -static_cast<int64_t>(y), -static_cast<int64_t>(source_y)});
    const int64_t right =
        std::min<int64_t>({width, static_cast<int64_t>(to.width) - x, static_cast<int64_t>(from.width) - source_x});
    const int64_t bottom =
        std::min<int64_t>({height, static_cast<int64_t>(to.height) - y, static_cast<int64_t>(from.height) - source_y});
    if (right <= left || bottom <= top) return;
    const size_t bytes = static_cast<size_t>(right - left) * 3;
    for (int64_t row = top; row < bottom; ++row) {
        uint8_t* out = to.row(static_cast<int32_t>(y + row)) + (x + left) * 3;
        const uint8_t* in = from.row(static_cast<int32_t>(source_y + row)) + (source_x + left) * 3;
        // The planes may be one bitmap copied onto itself.
        std::memmove(out, in, bytes);
    }
}

DrawContext SurfacePlatform::add_context(SurfaceContext::Kind kind, WindowHandle window) {
    const uintptr_t handle = next_context_++;
    contexts_[handle] = SurfaceContext{kind, kind == SurfaceContext::Window ? window : null_window, null_bitmap};
    return DrawContext{handle};
}

SurfaceContext* SurfacePlatform::find_context(DrawContext context) {
    auto it = contexts_.find(static_cast<uintptr_t>(context));
    return it == contexts_.end() ? nullptr : &it->second;
}

SurfaceBitmap* SurfacePlatform::find_bitmap(BitmapHandle bitmap) {
    auto it = bitmaps_.find(static_cast<uintptr_t>(bitmap));
    return it == bitmaps_.end() ? nullptr : &it->second;
}

void SurfacePlatform::forget_window_contexts(WindowHandle window) {
    std::erase_if(contexts_, [window](const auto& entry) {
        return entry.second.kind == SurfaceContext::Window && entry.second.window == window;
    });
}

DrawContext SurfacePlatform::create_compatible_context(DrawContext context) {
    if (find_context(context) == nullptr) return null_context;
    return add_context(SurfaceContext::Memory);
}

BitmapHandle SurfacePlatform::create_dib_section(DrawContext context, const BitmapInfoHeader* header,
                                                 uint32_t colour_use, uint8_t** pixels, uintptr_t mapping,
                                                 uint32_t offset) {
    if (pixels != nullptr) *pixels = nullptr;
    if (pixels == nullptr || header == nullptr || find_context(context) == nullptr) return null_bitmap;
    if (header->header_size != sizeof(BitmapInfoHeader) || header->width <= 0 || header->height == 0 ||
        header->height == INT32_MIN || header->planes != 1 || header->bits_per_pixel != 24 ||
        header->compression != 0 || colour_use != dib_rgb_colours || mapping != 0 || offset != 0)
        return null_bitmap;
    const int64_t rows = header->height < 0 ? -int64_t{header->height} : header->height;
    const int64_t pitch = (int64_t{header->width} * 3 + 3) / 4 * 4;
    if (pitch * rows > largest_bitmap_bytes) return null_bitmap;

    SurfaceBitmap bitmap;
    bitmap.width = header->width;
    bitmap.height = static_cast<int32_t>(rows);
    bitmap.top_down = header->height < 0;
    bitmap.pitch = static_cast<int32_t>(pitch);
    bitmap.pixels.reset(new (std::nothrow) uint8_t[static_cast<size_t>(pitch * rows)]());
    if (!bitmap.pixels) return null_bitmap;
    *pixels = bitmap.pixels.get();
    const uintptr_t handle = next_bitmap_++;
    bitmaps_[handle] = std::move(bitmap);
    return BitmapHandle{handle};
}

BitmapHandle SurfacePlatform::select_object(DrawContext context, BitmapHandle bitmap) {
    SurfaceContext* c = find_context(context);
    if (c == nullptr || c->kind != SurfaceContext::Memory || find_bitmap(bitmap) == nullptr) return null_bitmap;
    const BitmapHandle previous = c->selected;
    c->selected = bitmap;
    return previous;
}

bool SurfacePlatform::block_copy(DrawContext destination, int32_t x, int32_t y, int32_t width, int32_t height,
                                 DrawContext source, int32_t source_x, int32_t source_y, uint32_t raster) {
    const SurfaceContext* from = find_context(source);
    const SurfaceContext* to = find_context(destination);
    if (from == nullptr || to == nullptr || raster != raster_source_copy || width <= 0 || height <= 0) return false;
    SurfaceBitmap* bitmap = from->kind == SurfaceContext::Memory ? find_bitmap(from->selected) : nullptr;
    if (bitmap == nullptr) return false;
    switch (to->kind) {
        case SurfaceContext::Window:
            return draw_to_window(*to, *bitmap, x, y, width, height, source_x, source_y);
        case SurfaceContext::Memory: {
            SurfaceBitmap* target = find_bitmap(to->selected);
            if (target == nullptr) return false;
            copy_pixels(plane_of(*target), x, y, plane_of(*bitmap), source_x, source_y, width, height);
            return true;
        }
        case SurfaceContext::Screen:
            break;
    }
    return false;  // the screen itself is not drawn on
}
