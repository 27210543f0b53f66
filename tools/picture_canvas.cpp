// The drawing kit's larger pieces: colour conversion, caustics, blur, the
// veil of the water, tube axes, shading and discs.
#include "picture_canvas.h"

namespace painter {

Colour hsv(double h, double s, double v) {
    h = h - std::floor(h);
    double i = std::floor(h * 6), f = h * 6 - i;
    double p = v * (1 - s), q = v * (1 - s * f), t = v * (1 - s * (1 - f));
    switch (static_cast<int>(i) % 6) {
        case 0:
            return {v, t, p};
        case 1:
            return {q, v, p};
        case 2:
            return {p, v, t};
        case 3:
            return {p, q, v};
        case 4:
            return {t, p, v};
        default:
            return {v, p, q};
    }
}

double caustic(const Noise& n, double x, double y, double t) {
    double wx = x + 0.8 * n.value(x * 0.7 + t, y * 0.7);
    double wy = y + 0.8 * n.value(x * 0.7 - 5.3, y * 0.7 + t);
    double a = 1 - std::fabs(2 * n.value(wx, wy) - 1);
    double b = 1 - std::fabs(2 * n.value(wx * 1.7 + 3.1, wy * 1.7 - 2.2) - 1);
    return std::pow(a, 6) * 0.7 + std::pow(b, 8) * 0.5;
}

void blur(Canvas& c, double sigma) {
    if (sigma < 0.3) return;
    int r = static_cast<int>(std::ceil(sigma * 2.5));
    std::vector<double> k(static_cast<size_t>(2 * r + 1));
    double sum = 0;
    for (int i = -r; i <= r; ++i) sum += k[static_cast<size_t>(i + r)] = std::exp(-0.5 * i * i / (sigma * sigma));
    for (double& v : k) v /= sum;
    std::vector<Colour> line(static_cast<size_t>(std::max(c.w, c.h)));
    for (int y = 0; y < c.h; ++y) {
        for (int x = 0; x < c.w; ++x) {
            Colour s{0, 0, 0};
            for (int i = -r; i <= r; ++i) {
                int xx = std::clamp(x + i, 0, c.w - 1);
                s = s + c.at(xx, y) * k[static_cast<size_t>(i + r)];
            }
            line[static_cast<size_t>(x)] = s;
        }
        for (int x = 0; x < c.w; ++x) c.at(x, y) = line[static_cast<size_t>(x)];
    }
    for (int x = 0; x < c.w; ++x) {
        for (int y = 0; y < c.h; ++y) {
            Colour s{0, 0, 0};
            for (int i = -r; i <= r; ++i) {
                int yy = std::clamp(y + i, 0, c.h - 1);
                s = s + c.at(x, yy) * k[static_cast<size_t>(i + r)];
            }
            line[static_cast<size_t>(y)] = s;
        }
        for (int y = 0; y < c.h; ++y) c.at(x, y) = line[static_cast<size_t>(y)];
    }
}

Colour seen(const Scene& s, Colour albedo, double shade, double dist, int x, int y) {
    Colour lit = mix(s.light, Colour{1, 1, 1}, s.flash * clamp01(1 - dist * 2.2));
    Colour c = albedo * lit * shade;
    Colour loss{std::exp(-s.attenuation.r * dist), std::exp(-s.attenuation.g * dist),
                std::exp(-s.attenuation.b * dist)};
    c = c * loss;
    int cx = std::clamp(x, 0, s.w - 1), cy = std::clamp(y, 0, s.h - 1);
    double veil = clamp01(1 - std::exp(-(1.4 + 2.5 * s.turbidity) * dist));
    return mix(c, s.water.at(cx, cy), veil);
}

std::vector<Vec2> make_axis(Vec2 start, double angle, double len, double bend, double wave, double wave_phase, int n) {
    std::vector<Vec2> pts;
    Vec2 p = start;
    double a = angle;
    double step = len / (n - 1);
    for (int i = 0; i < n; ++i) {
        double t = static_cast<double>(i) / (n - 1);
        Vec2 side = from_angle(a + pi / 2);
        double w = wave * std::sin(t * pi * 1.6 + wave_phase) * t;
        pts.push_back(p + side * w);
        p = p + from_angle(a) * step;
        a += bend / (n - 1);
    }
    return pts;
}

double round_shade(double q, Vec2 n) {
    q = std::clamp(q, -1.0, 1.0);
    double nz = std::sqrt(std::max(0.0, 1 - q * q));
    double up = -(n.y * q);  // screen-up component of the surface normal
    return std::clamp(0.35 + 0.45 * nz + 0.45 * up, 0.12, 1.25);
}

void draw_disc(Canvas& c, Vec2 centre, double r, Colour col, double alpha, double soft) {
    int x0 = std::max(0, static_cast<int>(centre.x - r - soft - 1));
    int x1 = std::min(c.w - 1, static_cast<int>(centre.x + r + soft + 1));
    int y0 = std::max(0, static_cast<int>(centre.y - r - soft - 1));
    int y1 = std::min(c.h - 1, static_cast<int>(centre.y + r + soft + 1));
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x) {
            double d = length(Vec2{x + 0.5, y + 0.5} - centre) - r;
            double a = clamp01(0.5 - d / soft);
            if (a > 0) c.blend(x, y, col, a * alpha);
        }
}

}  // namespace painter
