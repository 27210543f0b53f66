// Procedural painting of the underwater pictures and the program icon.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// A small deterministic generator (splitmix64): the same seed gives the same
// sequence on every platform and library.
struct Rng {
    uint64_t state;
    explicit Rng(uint64_t seed) : state(seed) {}
    uint64_t next() {
        uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // Uniform in [0, 1).
    double uniform() { return static_cast<double>(next() >> 11) * (1.0 / 9007199254740992.0); }
    double range(double lo, double hi) { return lo + (hi - lo) * uniform(); }
    uint32_t below(uint32_t n) { return static_cast<uint32_t>((next() >> 32) * n >> 32); }
    bool chance(double p) { return uniform() < p; }
};

// Linear RGB floats in 0..1, rows top to bottom.
struct Image {
    int width = 0;
    int height = 0;
    std::vector<float> pixels;
    Image(int w, int h) : width(w), height(h), pixels(static_cast<size_t>(w) * h * 3, 0.0f) {}
    float* at(int x, int y) { return &pixels[(static_cast<size_t>(y) * width + x) * 3]; }
    const float* at(int x, int y) const { return &pixels[(static_cast<size_t>(y) * width + x) * 3]; }
};

// Paints picture `id` at the given size; the same arguments always give the
// same picture. `detail` (0..1) sets how much fine texture and grain it has,
// which decides how large it encodes.
Image paint_picture(int id, int width, int height, double detail);

// The program icon as the bytes of a .ico file: a 32 x 32 24-bit image and a
// 16 x 16 4-bit image of a small fish on water.
std::vector<uint8_t> make_icon();

// The same fish as a `size` x `size` image for the desktop's icon theme:
// red, green, blue bytes, rows top-down.
std::vector<uint8_t> icon_rgb(int size);
