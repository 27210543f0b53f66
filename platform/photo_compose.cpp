// Composing the photo view's layers into one image.
#include "platform/photo_compose.h"

#include <algorithm>
#include <cmath>

namespace {

// Where a view point falls in one layer's pixels: u = u0 + ux X + uy Y,
// likewise v, in layer pixels (pixel i spans [i, i + 1)).
struct LayerMap {
    const PhotoPixels* pixels;
    double u0, ux, uy, v0, vx, vy;
    bool smooth;
};

// A pixel of `colour` (blue, green, red, opacity) in the buffer's layout.
void put(uint8_t* out, int32_t bytes_per_pixel, const uint8_t* colour) {
    out[0] = colour[0];
    out[1] = colour[1];
    out[2] = colour[2];
    if (bytes_per_pixel == 4) out[3] = colour[3];
}

const uint8_t* pixel_at(const PhotoPixels& p, int32_t x, int32_t y) {
    return p.bgra + p.stride * static_cast<size_t>(y) + static_cast<size_t>(x) * 4;
}

// The average of the layer's pixels under [u_lo, u_hi) x [v_lo, v_hi),
// each weighted by the area of it that lies inside.
void average(const PhotoPixels& p, double u_lo, double u_hi, double v_lo, double v_hi, uint8_t* bgr) {
    u_lo = std::max(u_lo, 0.0), u_hi = std::min(u_hi, double(p.width));
    v_lo = std::max(v_lo, 0.0), v_hi = std::min(v_hi, double(p.height));
    double sum[3] = {0, 0, 0}, weight = 0;
    for (auto y = static_cast<int32_t>(std::floor(v_lo)); y < v_hi; ++y) {
        const double wy = std::min(y + 1.0, v_hi) - std::max(double(y), v_lo);
        for (auto x = static_cast<int32_t>(std::floor(u_lo)); x < u_hi; ++x) {
            const double w = wy * (std::min(x + 1.0, u_hi) - std::max(double(x), u_lo));
            const uint8_t* s = pixel_at(p, x, y);
            for (int c = 0; c < 3; ++c) sum[c] += w * s[c];
            weight += w;
        }
    }
    for (int c = 0; c < 3; ++c)
        bgr[c] = weight > 0 ? static_cast<uint8_t>(std::clamp(std::lround(sum[c] / weight), 0L, 255L)) : 0;
}

}  // namespace

void compose_picture(const std::vector<PhotoLayer>& layers, const PhotoMatrix& m, const ComposeBuffer& buffer,
                     uint32_t background) {
    if (buffer.pixels == nullptr || buffer.width <= 0 || buffer.height <= 0) return;
    const uint8_t fill[4] = {uint8_t(background), uint8_t(background >> 8), uint8_t(background >> 16),
                             uint8_t(background >> 24)};
    // The view point to the picture point: the placement's inverse.
    const double det = m.m11 * m.m22 - m.m21 * m.m12;
    std::vector<LayerMap> maps;
    for (const PhotoLayer& layer : layers) {
        const PhotoPixels& p = layer.pixels;
        if (det == 0 || p.bgra == nullptr || p.width <= 0 || p.height <= 0 || !(layer.width > 0) || !(layer.height > 0))
            continue;
        const double su = p.width / layer.width, sv = p.height / layer.height;
        LayerMap map{&p,
                     ((m.m21 * m.dy - m.m22 * m.dx) / det - layer.left) * su,
                     m.m22 / det * su,
                     -m.m21 / det * su,
                     ((m.m12 * m.dx - m.m11 * m.dy) / det - layer.top) * sv,
                     -m.m12 / det * sv,
                     m.m11 / det * sv,
                     false};
        // Device pixels per layer pixel along each of the layer's axes.
        // Pixels drawn within a pixel of their own size are drawn at it.
        const double along = std::hypot(m.m11, m.m12) / su, down = std::hypot(m.m21, m.m22) / sv;
        const bool own_size = std::abs(along * p.width - p.width) < 1 && std::abs(down * p.height - p.height) < 1;
        map.smooth = !own_size && std::max(along, down) < 1;
        maps.push_back(map);
    }
    for (int32_t y = 0; y < buffer.height; ++y) {
        uint8_t* out = buffer.pixels + buffer.stride * static_cast<size_t>(y);
        const double cy = buffer.top + y + 0.5;
        for (int32_t x = 0; x < buffer.width; ++x, out += buffer.bytes_per_pixel) {
            const double cx = buffer.left + x + 0.5;
            const uint8_t* colour = fill;
            uint8_t found[4] = {0, 0, 0, 255};
            for (auto map = maps.rbegin(); map != maps.rend(); ++map) {
                const double u = map->u0 + map->ux * cx + map->uy * cy, v = map->v0 + map->vx * cx + map->vy * cy;
                const PhotoPixels& p = *map->pixels;
                if (!(u >= 0 && u < p.width && v >= 0 && v < p.height)) continue;
                if (map->smooth) {
                    // The device pixel's footprint: the box around the
                    // layer points its corners go to.
                    const double du = (std::abs(map->ux) + std::abs(map->uy)) / 2,
                                 dv = (std::abs(map->vx) + std::abs(map->vy)) / 2;
                    average(p, u - du, u + du, v - dv, v + dv, found);
                } else {
                    const uint8_t* at = pixel_at(p, std::min(static_cast<int32_t>(u), p.width - 1),
                                                 std::min(static_cast<int32_t>(v), p.height - 1));
                    std::copy(at, at + 3, found);
                }
                colour = found;
                break;
            }
            put(out, buffer.bytes_per_pixel, colour);
        }
    }
}
