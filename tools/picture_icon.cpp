// The program icon: a small yellow fish on blue water, written as a .ico
// file with a 32 x 32 24-bit image and a 16 x 16 16-colour image.
#include <cmath>
#include <cstdint>
#include <vector>

#include "picture_painter.h"

namespace {

struct Rgb {
    uint8_t r, g, b;
};

void put16(std::vector<uint8_t>& v, uint32_t x) {
    v.push_back(static_cast<uint8_t>(x));
    v.push_back(static_cast<uint8_t>(x >> 8));
}
void put32(std::vector<uint8_t>& v, uint32_t x) {
    put16(v, x & 0xFFFF);
    put16(v, x >> 16);
}

// Colour of the icon at (u, v) in 0..1 (top-left origin).
Rgb icon_colour(double u, double v) {
    // Water: lighter at the top.
    double t = v;
    Rgb c{static_cast<uint8_t>(20 + 30 * (1 - t)), static_cast<uint8_t>(90 + 80 * (1 - t)),
          static_cast<uint8_t>(150 + 80 * (1 - t))};
    // Body: an ellipse centred left of the middle; tail: a triangle on the right.
    double bx = (u - 0.44) / 0.30, by = (v - 0.52) / 0.20;
    bool body = bx * bx + by * by <= 1.0;
    double tu = u - 0.70;
    bool tail = tu >= 0 && tu <= 0.22 && std::fabs(v - 0.52) <= 0.06 + tu * 0.95;
    if (body || tail) c = Rgb{250, 200, 30};
    // A darker stripe across the body and the eye.
    if (body && std::fabs(u - 0.50) < 0.04) c = Rgb{200, 90, 20};
    double ex = (u - 0.27) / 0.055, ey = (v - 0.47) / 0.055;
    if (ex * ex + ey * ey <= 1.0) c = Rgb{10, 10, 20};
    return c;
}

const Rgb palette16[16] = {
    {0, 0, 0},     {128, 0, 0},     {0, 128, 0},     {128, 128, 0},   {0, 0, 128}, {128, 0, 128},
    {0, 128, 128}, {192, 192, 192}, {128, 128, 128}, {255, 0, 0},     {0, 255, 0}, {255, 255, 0},
    {0, 0, 255},   {255, 0, 255},   {0, 255, 255},   {255, 255, 255},
};

int nearest16(Rgb c) {
    int best = 0;
    int best_d = 1 << 30;
    for (int i = 0; i < 16; ++i) {
        int dr = c.r - palette16[i].r, dg = c.g - palette16[i].g, db = c.b - palette16[i].b;
        int d = dr * dr + dg * dg + db * db;
        if (d < best_d) {
            best_d = d;
            best = i;
        }
    }
    return best;
}

// Colour at a pixel, averaged over 4 x 4 sub-samples.
Rgb sample(int x, int y, int size) {
    int r = 0, g = 0, b = 0;
    for (int sy = 0; sy < 4; ++sy)
        for (int sx = 0; sx < 4; ++sx) {
            Rgb c = icon_colour((x + (sx + 0.5) / 4) / size, (y + (sy + 0.5) / 4) / size);
            r += c.r;
            g += c.g;
            b += c.b;
        }
    return Rgb{static_cast<uint8_t>(r / 16), static_cast<uint8_t>(g / 16), static_cast<uint8_t>(b / 16)};
}

// One icon image: BITMAPINFOHEADER, optional palette, bottom-up XOR rows,
// then an all-zero (fully opaque) AND mask.
std::vector<uint8_t> icon_image(int size, int bits) {
    std::vector<uint8_t> v;
    int xor_row = ((size * bits + 31) / 32) * 4;
    int and_row = ((size + 31) / 32) * 4;
    put32(v, 40);
    put32(v, static_cast<uint32_t>(size));
    put32(v, static_cast<uint32_t>(size * 2));
    put16(v, 1);
    put16(v, static_cast<uint32_t>(bits));
    put32(v, 0);
    put32(v, static_cast<uint32_t>((xor_row + and_row) * size));
    put32(v, 0);
    put32(v, 0);
    put32(v, bits == 4 ? 16 : 0);
    put32(v, 0);
    if (bits == 4)
        for (const Rgb& c : palette16) {
            v.push_back(c.b);
            v.push_back(c.g);
            v.push_back(c.r);
            v.push_back(0);
        }
    for (int y = size - 1; y >= 0; --y) {
        std::vector<uint8_t> row(static_cast<size_t>(xor_row), 0);
        for (int x = 0; x < size; ++x) {
            Rgb c = sample(x, y, size);
            if (bits == 24) {
                row[static_cast<size_t>(x) * 3] = c.b;
                row[static_cast<size_t>(x) * 3 + 1] = c.g;
                row[static_cast<size_t>(x) * 3 + 2] = c.r;
            } else {
                // All water in one colour: the gradient would band into two.
                bool water = c.b > c.r + 40 && c.b >= c.g;
                int i = water ? 6 : nearest16(c);
                row[static_cast<size_t>(x / 2)] |= static_cast<uint8_t>(x % 2 ? i : i << 4);
            }
        }
        v.insert(v.end(), row.begin(), row.end());
    }
    v.insert(v.end(), static_cast<size_t>(and_row * size), 0);
    return v;
}

}  // namespace

std::vector<uint8_t> icon_rgb(int size) {
    std::vector<uint8_t> rgb;
    rgb.reserve(static_cast<size_t>(size) * static_cast<size_t>(size) * 3);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            const Rgb c = sample(x, y, size);
            rgb.insert(rgb.end(), {c.r, c.g, c.b});
        }
    return rgb;
}

std::vector<uint8_t> make_icon() {
    std::vector<uint8_t> big = icon_image(32, 24);
    std::vector<uint8_t> small = icon_image(16, 4);
    std::vector<uint8_t> ico;
    put16(ico, 0);
    put16(ico, 1);
    put16(ico, 2);
    uint32_t offset = 6 + 2 * 16;
    auto entry = [&](int size, int colours, int bits, const std::vector<uint8_t>& img) {
        ico.push_back(static_cast<uint8_t>(size));
        ico.push_back(static_cast<uint8_t>(size));
        ico.push_back(static_cast<uint8_t>(colours));
        ico.push_back(0);
        put16(ico, 1);
        put16(ico, static_cast<uint32_t>(bits));
        put32(ico, static_cast<uint32_t>(img.size()));
        put32(ico, offset);
        offset += static_cast<uint32_t>(img.size());
    };
    entry(32, 0, 24, big);
    entry(16, 16, 4, small);
    ico.insert(ico.end(), big.begin(), big.end());
    ico.insert(ico.end(), small.begin(), small.end());
    return ico;
}
