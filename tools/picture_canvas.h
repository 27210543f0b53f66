// The painter's drawing kit: small maths and colours, deterministic value
// noise, the supersampled canvas, the scene's water and light, and tubes
// (shapes drawn around a curved axis) with the helpers every subject uses.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "picture_painter.h"

namespace painter {

constexpr double pi = 3.14159265358979323846;
constexpr int supersample = 2;

// ---------------------------------------------------------------------------
// Small maths.

struct Vec2 {
    double x, y;
};
inline Vec2 operator+(Vec2 a, Vec2 b) { return {a.x + b.x, a.y + b.y}; }
inline Vec2 operator-(Vec2 a, Vec2 b) { return {a.x - b.x, a.y - b.y}; }
inline Vec2 operator*(Vec2 a, double s) { return {a.x * s, a.y * s}; }
inline double dot(Vec2 a, Vec2 b) { return a.x * b.x + a.y * b.y; }
inline double length(Vec2 a) { return std::sqrt(dot(a, a)); }
inline Vec2 from_angle(double a) { return {std::cos(a), std::sin(a)}; }

struct Colour {
    double r, g, b;
};
inline Colour operator+(Colour a, Colour b) { return {a.r + b.r, a.g + b.g, a.b + b.b}; }
inline Colour operator*(Colour a, double s) { return {a.r * s, a.g * s, a.b * s}; }
inline Colour operator*(Colour a, Colour b) { return {a.r * b.r, a.g * b.g, a.b * b.b}; }
inline Colour mix(Colour a, Colour b, double t) { return a * (1 - t) + b * t; }
inline Colour rgb(int r, int g, int b) { return {r / 255.0, g / 255.0, b / 255.0}; }

inline double clamp01(double v) { return v < 0 ? 0 : (v > 1 ? 1 : v); }
inline double smoothstep(double e0, double e1, double x) {
    double t = clamp01((x - e0) / (e1 - e0));
    return t * t * (3 - 2 * t);
}
inline double lerp(double a, double b, double t) { return a + (b - a) * t; }

// Hue (0..1), saturation, value to a colour.
Colour hsv(double h, double s, double v);

// ---------------------------------------------------------------------------
// Lattice value noise with its own hash, so it is the same everywhere.

inline uint64_t mix64(uint64_t z) {
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

struct Noise {
    uint64_t seed;
    double lattice(int64_t x, int64_t y) const {
        uint64_t h = mix64(seed ^ mix64(static_cast<uint64_t>(x) * 0x9E3779B97F4A7C15ull ^
                                        static_cast<uint64_t>(y) * 0xC2B2AE3D27D4EB4Full));
        return static_cast<double>(h >> 11) * (1.0 / 9007199254740992.0);
    }
    // Smooth noise in 0..1 with features about one unit apart.
    double value(double x, double y) const {
        double fx = std::floor(x), fy = std::floor(y);
        int64_t ix = static_cast<int64_t>(fx), iy = static_cast<int64_t>(fy);
        double tx = x - fx, ty = y - fy;
        tx = tx * tx * (3 - 2 * tx);
        ty = ty * ty * (3 - 2 * ty);
        double a = lattice(ix, iy), b = lattice(ix + 1, iy);
        double c = lattice(ix, iy + 1), d = lattice(ix + 1, iy + 1);
        return lerp(lerp(a, b, tx), lerp(c, d, tx), ty);
    }
    // Fractal sum, roughly 0..1.
    double fbm(double x, double y, int octaves) const {
        double sum = 0, amp = 0.5, norm = 0;
        for (int i = 0; i < octaves; ++i) {
            sum += amp * value(x, y);
            norm += amp;
            x = x * 2.03 + 17.1;
            y = y * 2.03 - 9.7;
            amp *= 0.5;
        }
        return sum / norm;
    }
};

// Caustic network: bright thin lines where two warped ridged noises meet.
double caustic(const Noise& n, double x, double y, double t);

// ---------------------------------------------------------------------------
// The canvas: supersampled floating-point colour.

struct Canvas {
    int w, h;
    std::vector<Colour> px;
    Canvas(int w_, int h_) : w(w_), h(h_), px(static_cast<size_t>(w_) * h_, Colour{0, 0, 0}) {}
    Colour& at(int x, int y) { return px[static_cast<size_t>(y) * w + x]; }
    const Colour& at(int x, int y) const { return px[static_cast<size_t>(y) * w + x]; }
    void blend(int x, int y, Colour c, double a) {
        if (x < 0 || y < 0 || x >= w || y >= h || a <= 0) return;
        Colour& p = at(x, y);
        p = mix(p, c, a > 1 ? 1 : a);
    }
    void add(int x, int y, Colour c) {
        if (x < 0 || y < 0 || x >= w || y >= h) return;
        Colour& p = at(x, y);
        p = p + c;
    }
};

// Separable Gaussian blur, in place.
void blur(Canvas& c, double sigma);

// ---------------------------------------------------------------------------
// The scene: water, light and the way distance veils things.

struct Scene {
    int w, h;  // canvas size
    Colour water_top;  // water colour near the surface
    Colour water_deep;  // water colour looking down or far
    Colour light;  // colour of the light reaching the subject
    Colour attenuation;  // per-channel loss per unit of distance
    double flash;  // 0..1: how much a strobe restores colour up close
    double sun_x;  // light shafts' source, canvas x
    double turbidity;  // 0..1
    double horizon;  // canvas y of the floor's far edge (may be outside)
    bool has_floor;
    bool from_above;  // the camera looks down on the floor
    Colour sand;
    Noise noise;
    Canvas water;  // the plain water behind everything
    Scene(int w_, int h_) : w(w_), h(h_), water(w_, h_) {}
};

// The colour seen of a surface of colour `albedo`, lit with `shade`, at
// distance `dist` (0 = at the lens, 1 = lost in the water) in front of pixel
// (x, y).
Colour seen(const Scene& s, Colour albedo, double shade, double dist, int x, int y);

// ---------------------------------------------------------------------------
// Tubes: shapes built around a curved axis. Fish, eels, arms, tentacles,
// coral branches and legs are all drawn this way. For each canvas pixel near
// the axis the shader gets the position along the axis (s, 0 at the first
// point and 1 at the last, beyond that outside) and the signed distance
// across it (a, canvas pixels, positive to the left of the direction of
// travel), and the axis normal at that point; it returns a colour and an
// opacity.

struct Fragment {
    Colour c;
    double alpha;
};

struct TubeSample {
    double s;
    double a;
    Vec2 normal;  // unit, pointing to the positive-a side
};

template <class Shader>
void draw_tube(Canvas& canvas, const std::vector<Vec2>& axis, double reach, Shader shade) {
    if (axis.size() < 2) return;
    std::vector<double> cum(axis.size(), 0.0);
    for (size_t i = 1; i < axis.size(); ++i) cum[i] = cum[i - 1] + length(axis[i] - axis[i - 1]);
    double total = cum.back();
    if (total <= 0) return;
    double x0 = 1e9, y0 = 1e9, x1 = -1e9, y1 = -1e9;
    for (Vec2 p : axis) {
        x0 = std::min(x0, p.x);
        y0 = std::min(y0, p.y);
        x1 = std::max(x1, p.x);
        y1 = std::max(y1, p.y);
    }
    int ix0 = std::max(0, static_cast<int>(x0 - reach) - 1);
    int iy0 = std::max(0, static_cast<int>(y0 - reach) - 1);
    int ix1 = std::min(canvas.w - 1, static_cast<int>(x1 + reach) + 1);
    int iy1 = std::min(canvas.h - 1, static_cast<int>(y1 + reach) + 1);
    size_t last = axis.size() - 2;
    for (int y = iy0; y <= iy1; ++y)
        for (int x = ix0; x <= ix1; ++x) {
            Vec2 p{x + 0.5, y + 0.5};
            double best = 1e18;
            TubeSample hit{0, 0, {0, 0}};
            for (size_t i = 0; i + 1 < axis.size(); ++i) {
                Vec2 d = axis[i + 1] - axis[i];
                double len2 = dot(d, d);
                if (len2 <= 0) continue;
                double t = dot(p - axis[i], d) / len2;
                // The end segments extend past the ends so shaders can round them.
                double tc = t;
                if (!(i == 0 && t < 0) && !(i == last && t > 1)) tc = std::clamp(t, 0.0, 1.0);
                Vec2 q = axis[i] + d * tc;
                double dist2 = dot(p - q, p - q);
                if (dist2 < best) {
                    best = dist2;
                    double len = std::sqrt(len2);
                    Vec2 n{-d.y / len, d.x / len};
                    hit.s = (cum[i] + tc * len) / total;
                    hit.a = dot(p - q, n);
                    hit.normal = n;
                }
            }
            if (best > reach * reach) continue;
            Fragment f = shade(hit, x, y);
            if (f.alpha > 0) canvas.blend(x, y, f.c, f.alpha);
        }
}

// An axis from `start` heading `angle`, `len` long, bending by `bend`
// radians in all and undulating with amplitude `wave` (pixels).
std::vector<Vec2> make_axis(Vec2 start, double angle, double len, double bend, double wave, double wave_phase,
                            int n = 24);

// Brightness of a rounded surface: q is the position across (-1..1), n the
// axis normal on screen; light comes from above and the front.
double round_shade(double q, Vec2 n);

// Opacity from a signed edge distance (negative inside), in canvas pixels.
inline double coverage(double edge) { return clamp01(0.5 - edge / 1.2); }

// Simple round blob with soft edge.
void draw_disc(Canvas& c, Vec2 centre, double r, Colour col, double alpha, double soft = 1.2);

}  // namespace painter
