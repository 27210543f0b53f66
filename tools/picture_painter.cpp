// Procedural underwater pictures.
#include "picture_painter.h"

#include <cmath>

Image paint_picture(int id, int width, int height) {
    Rng rng(0xC0FFEEull * static_cast<uint64_t>(id));
    Image img(width, height);
    double hue = rng.uniform();
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            float* p = img.at(x, y);
            double t = static_cast<double>(y) / height;
            p[0] = static_cast<float>(0.05 + 0.1 * hue * (1 - t));
            p[1] = static_cast<float>(0.3 + 0.3 * (1 - t));
            p[2] = static_cast<float>(0.5 + 0.3 * (1 - t) + 0.05 * std::sin(x * 0.1 + hue * 9));
            p[0] += static_cast<float>(0.08 * rng.uniform());
        }
    return img;
}
