// Drawing contexts and device-independent bitmaps kept in memory, shared by
// every front end: the handle tables, the checks of create_dib_section, the
// selection of bitmaps into off-screen contexts and block copies between
// them.
//
// A front end derives from SurfacePlatform instead of Platform and keeps
// only what is its own: which windows have contexts (get_screen_context,
// begin_paint) and how a copy into a window's context reaches the user
// (draw_to_window; DialogPlatform draws into the dialog model's client-area
// pixels).
//
// The rules every front end then follows:
//   - Handles count up from 1 in each table, and are never reused.
//   - create_dib_section accepts 24-bit uncompressed bitmaps without file
//     mapping, of positive width and non-zero height, whose pixel memory
//     (rows padded to 4 bytes) is at most largest_bitmap_bytes; the memory
//     is zeroed. Memory that cannot be had is a failure, not an exception.
//   - select_object selects a bitmap into an off-screen context only.
//   - block_copy copies with raster_source_copy from an off-screen context
//     that has a bitmap selected, into another off-screen context (its
//     bitmap) or a window context; the block is clipped to both. A copy to
//     the screen context, an empty block or any other request fails.
#pragma once

#include "platform/platform.h"

#include <cstdint>
#include <map>
#include <memory>

// Bitmaps whose pixel memory would exceed this are refused.
constexpr int64_t largest_bitmap_bytes = int64_t{64} << 20;

// A device-independent bitmap made by create_dib_section.
struct SurfaceBitmap {
    int32_t width = 0;
    int32_t height = 0;  // rows, always positive
    bool top_down = false;
    int32_t pitch = 0;  // bytes a row, a multiple of 4
    std::unique_ptr<uint8_t[]> pixels;
};

// A drawing context: the whole screen, a window's client area, or an
// off-screen context drawing into the bitmap selected into it.
struct SurfaceContext {
    enum Kind { Screen, Window, Memory } kind = Memory;
    WindowHandle window{};  // the window of a Window context
    BitmapHandle selected{};
};

// A block of 3-byte pixels (blue, green, red) that a copy reads or writes.
struct PixelPlane {
    uint8_t* pixels;
    int32_t width;
    int32_t height;
    int32_t pitch;  // bytes a row
    bool top_down;

    uint8_t* row(int32_t y) const {
        const int32_t stored = top_down ? y : height - 1 - y;
        return pixels + static_cast<size_t>(stored) * static_cast<size_t>(pitch);
    }
};

PixelPlane plane_of(SurfaceBitmap& bitmap);

// Copies the `width` x `height` block at (source_x, source_y) of `from` to
// (x, y) of `to`, leaving out whatever lies outside either plane. The planes
// may be the same.
void copy_pixels(const PixelPlane& to, int32_t x, int32_t y, const PixelPlane& from, int32_t source_x, int32_t source_y,
                 int32_t width, int32_t height);

class SurfacePlatform : public Platform {
public:
    DrawContext create_compatible_context(DrawContext context) override;
    BitmapHandle create_dib_section(DrawContext context, const BitmapInfoHeader* header, uint32_t colour_use,
                                    uint8_t** pixels, uintptr_t mapping, uint32_t offset) override;
    BitmapHandle select_object(DrawContext context, BitmapHandle bitmap) override;
    bool block_copy(DrawContext destination, int32_t x, int32_t y, int32_t width, int32_t height, DrawContext source,
                    int32_t source_x, int32_t source_y, uint32_t raster) override;

protected:
    SurfacePlatform() = default;

    // A new context of `kind` (for `window` when it is a Window context).
    DrawContext add_context(SurfaceContext::Kind kind, WindowHandle window = null_window);
    SurfaceContext* find_context(DrawContext context);
    SurfaceBitmap* find_bitmap(BitmapHandle bitmap);
    // Forgets every Window context of `window`, once the window is gone.
    void forget_window_contexts(WindowHandle window);

    // Carries out a block copy from `source` into the Window context
    // `destination` (the request's arguments are as block_copy got them,
    // already checked).
    virtual bool draw_to_window(const SurfaceContext& destination, SurfaceBitmap& source, int32_t x, int32_t y,
                                int32_t width, int32_t height, int32_t source_x, int32_t source_y) = 0;

private:
    std::map<uintptr_t, SurfaceContext> contexts_;
    std::map<uintptr_t, SurfaceBitmap> bitmaps_;
    uintptr_t next_context_ = 1;
    uintptr_t next_bitmap_ = 1;
};
