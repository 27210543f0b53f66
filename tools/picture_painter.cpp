// Procedural underwater photographs.
//
// A picture is painted at twice its size in each direction and reduced at
// the end. The layers, back to front: open water with depth-dependent colour
// and light, light shafts, the sea floor (sand with ripples and caustics,
// rocks, corals, sponges) fading into the water with distance, the subject
// animals, suspended particles; then lens and sensor effects: soft focus,
// vignetting and grain.
#include "picture_painter.h"

#include <algorithm>
#include <cmath>

#include "app/catalog.h"

namespace {

constexpr double pi = 3.14159265358979323846;
constexpr int supersample = 2;

// ---------------------------------------------------------------------------
// Small maths.

struct Vec2 {
    double x, y;
};
Vec2 operator+(Vec2 a, Vec2 b) { return {a.x + b.x, a.y + b.y}; }
Vec2 operator-(Vec2 a, Vec2 b) { return {a.x - b.x, a.y - b.y}; }
Vec2 operator*(Vec2 a, double s) { return {a.x * s, a.y * s}; }
double dot(Vec2 a, Vec2 b) { return a.x * b.x + a.y * b.y; }
double length(Vec2 a) { return std::sqrt(dot(a, a)); }
Vec2 from_angle(double a) { return {std::cos(a), std::sin(a)}; }

struct Colour {
    double r, g, b;
};
Colour operator+(Colour a, Colour b) { return {a.r + b.r, a.g + b.g, a.b + b.b}; }
Colour operator*(Colour a, double s) { return {a.r * s, a.g * s, a.b * s}; }
Colour operator*(Colour a, Colour b) { return {a.r * b.r, a.g * b.g, a.b * b.b}; }
Colour mix(Colour a, Colour b, double t) { return a * (1 - t) + b * t; }
Colour rgb(int r, int g, int b) { return {r / 255.0, g / 255.0, b / 255.0}; }

double clamp01(double v) { return v < 0 ? 0 : (v > 1 ? 1 : v); }
double smoothstep(double e0, double e1, double x) {
    double t = clamp01((x - e0) / (e1 - e0));
    return t * t * (3 - 2 * t);
}
double lerp(double a, double b, double t) { return a + (b - a) * t; }

// Hue (0..1), saturation, value to a colour.
Colour hsv(double h, double s, double v) {
    h = h - std::floor(h);
    double i = std::floor(h * 6), f = h * 6 - i;
    double p = v * (1 - s), q = v * (1 - s * f), t = v * (1 - s * (1 - f));
    switch (static_cast<int>(i) % 6) {
        case 0: return {v, t, p};
        case 1: return {q, v, p};
        case 2: return {p, v, t};
        case 3: return {p, q, v};
        case 4: return {t, p, v};
        default: return {v, p, q};
    }
}

// ---------------------------------------------------------------------------
// Lattice value noise with its own hash, so it is the same everywhere.

uint64_t mix64(uint64_t z) {
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
double caustic(const Noise& n, double x, double y, double t) {
    double wx = x + 0.8 * n.value(x * 0.7 + t, y * 0.7);
    double wy = y + 0.8 * n.value(x * 0.7 - 5.3, y * 0.7 + t);
    double a = 1 - std::fabs(2 * n.value(wx, wy) - 1);
    double b = 1 - std::fabs(2 * n.value(wx * 1.7 + 3.1, wy * 1.7 - 2.2) - 1);
    return std::pow(a, 6) * 0.7 + std::pow(b, 8) * 0.5;
}

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

// ---------------------------------------------------------------------------
// The scene: water, light and the way distance veils things.

struct Scene {
    int w, h;                // canvas size
    Colour water_top;        // water colour near the surface
    Colour water_deep;       // water colour looking down or far
    Colour light;            // colour of the light reaching the subject
    Colour attenuation;      // per-channel loss per unit of distance
    double flash;            // 0..1: how much a strobe restores colour up close
    double sun_x;            // light shafts' source, canvas x
    double turbidity;        // 0..1
    double horizon;          // canvas y of the floor's far edge (may be outside)
    bool has_floor;
    bool from_above;         // the camera looks down on the floor
    Colour sand;
    Noise noise;
    Canvas water;            // the plain water behind everything
    Scene(int w_, int h_) : w(w_), h(h_), water(w_, h_) {}
};

// The colour seen of a surface of colour `albedo`, lit with `shade`, at
// distance `dist` (0 = at the lens, 1 = lost in the water) in front of pixel
// (x, y).
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
std::vector<Vec2> make_axis(Vec2 start, double angle, double len, double bend, double wave,
                            double wave_phase, int n = 24) {
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

// Brightness of a rounded surface: q is the position across (-1..1), n the
// axis normal on screen; light comes from above and the front.
double round_shade(double q, Vec2 n) {
    q = std::clamp(q, -1.0, 1.0);
    double nz = std::sqrt(std::max(0.0, 1 - q * q));
    double up = -(n.y * q);  // screen-up component of the surface normal
    return std::clamp(0.35 + 0.45 * nz + 0.45 * up, 0.12, 1.25);
}

// Opacity from a signed edge distance (negative inside), in canvas pixels.
double coverage(double edge) { return clamp01(0.5 - edge / 1.2); }

// Simple round blob with soft edge.
void draw_disc(Canvas& c, Vec2 centre, double r, Colour col, double alpha, double soft = 1.2) {
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

// ---------------------------------------------------------------------------
// Regions: each part of the collection has its own water and scenery.

struct Region {
    Colour water_top, water_deep, sand;
    double coral;       // how much coral grows
    double rock;        // how rocky the floor is
    double fans;        // sea fans and sponges
    double clarity;     // 0 murky .. 1 clear
    double hue_shift;   // animal colour bias
};

Region region_for(uint32_t location) {
    switch (location) {
        case 3000:  // lagoon
            return {rgb(70, 160, 160), rgb(15, 70, 85), rgb(190, 180, 140), 0.7, 0.5, 0.2, 0.5, 0.1};
        case 3001: case 3003: case 3005:  // institute reef flats
            return {rgb(70, 165, 195), rgb(12, 70, 120), rgb(205, 195, 160), 0.6, 0.4, 0.3, 0.6, 0.0};
        case 3006: case 3007:  // Palau
            return {rgb(60, 165, 205), rgb(10, 60, 120), rgb(215, 205, 170), 0.9, 0.3, 0.4, 0.9, 0.3};
        case 3008: case 3011: case 3012: case 3013:  // Hawaii: dark lava rock
            return {rgb(55, 140, 200), rgb(8, 45, 100), rgb(150, 140, 120), 0.4, 0.9, 0.1, 0.85, 0.5};
        case 3010: case 3014: case 3015:  // atolls
            return {rgb(80, 190, 200), rgb(15, 90, 130), rgb(230, 220, 185), 0.7, 0.3, 0.2, 0.8, 0.7};
        case 3017: case 3018: case 3019: case 3020: case 3021: case 3022:  // Caribbean
            return {rgb(70, 180, 190), rgb(10, 80, 120), rgb(220, 210, 175), 0.6, 0.4, 0.9, 0.7, 0.6};
        case 3023:  // Red Sea
            return {rgb(50, 140, 215), rgb(5, 40, 115), rgb(210, 195, 160), 1.0, 0.4, 0.5, 1.0, 0.9};
        default:  // unnamed sites
            return {rgb(65, 155, 200), rgb(10, 60, 115), rgb(200, 190, 155), 0.6, 0.5, 0.4, 0.7, 0.4};
    }
}

// ---------------------------------------------------------------------------
// Water, light shafts and the surface.

void paint_water(Scene& s, Rng& rng, double depth, bool looking_up) {
    const Noise& n = s.noise;
    double haze_scale = rng.range(0.004, 0.012);
    for (int y = 0; y < s.h; ++y)
        for (int x = 0; x < s.w; ++x) {
            double v = static_cast<double>(y) / s.h;
            double t = clamp01(v * (0.7 + 0.6 * depth) + (looking_up ? -0.25 : 0.0));
            Colour c = mix(s.water_top, s.water_deep, std::pow(t, 0.9));
            // Light from the sun's side of the frame.
            double side = 1 - std::fabs(x - s.sun_x) / (1.5 * s.w);
            c = c * (0.85 + 0.25 * side * (1 - v));
            double haze = n.fbm(x * haze_scale, y * haze_scale * 1.3, 4);
            c = c * (0.9 + 0.2 * haze);
            s.water.at(x, y) = c;
        }
    if (looking_up) {
        // The surface seen from below: a bright wavy band at the top.
        double band = s.h * rng.range(0.08, 0.2);
        for (int y = 0; y < static_cast<int>(band * 1.6) && y < s.h; ++y)
            for (int x = 0; x < s.w; ++x) {
                double ripple = n.fbm(x * 0.02, y * 0.06 + 40, 4);
                double cells = caustic(n, x * 0.012, y * 0.03 + 7, 3.0);
                double k = smoothstep(band * 1.6, 0, y + (ripple - 0.5) * band);
                Colour bright = mix(s.water_top, Colour{0.85, 0.97, 1.0}, 0.55 + 0.3 * cells);
                Colour& p = s.water.at(x, y);
                p = mix(p, bright, k * (0.6 + 0.4 * ripple));
            }
    }
}

void paint_rays(Scene& s, Rng& rng, double strength) {
    if (strength <= 0) return;
    const Noise& n = s.noise;
    Vec2 source{s.sun_x, -s.h * rng.range(0.3, 0.9)};
    double freq = rng.range(9, 22);
    double phase = rng.range(0, 100);
    for (int y = 0; y < s.h; ++y)
        for (int x = 0; x < s.w; ++x) {
            Vec2 d = Vec2{x + 0.5, y + 0.5} - source;
            double ang = std::atan2(d.x, d.y);
            double r = n.fbm(ang * freq + phase, 0.5, 3);
            double ray = std::pow(smoothstep(0.45, 0.85, r), 1.5);
            double fall = std::exp(-static_cast<double>(y) / (s.h * 0.75));
            Colour& p = s.water.at(x, y);
            p = p + Colour{0.55, 0.8, 0.85} * (ray * fall * strength * 0.35);
        }
}

// ---------------------------------------------------------------------------
// The sea floor: perspective sand with ripples and caustics, fading into the
// water towards the horizon.

// Distance (0..1) of the floor at canvas row y.
double floor_distance(const Scene& s, double y) {
    if (s.from_above) return 0.12 + 0.18 * (1 - y / s.h);
    double below = (y - s.horizon) / (s.h - s.horizon + 1);
    return clamp01(0.08 + 0.92 * std::pow(1 - clamp01(below), 2.2));
}

void paint_floor(Scene& s, Canvas& c, Rng& rng, double caustic_strength) {
    if (!s.has_floor) return;
    const Noise& n = s.noise;
    double ripple_freq = rng.range(0.5, 1.4);
    double ripple_angle = rng.range(-0.6, 0.6);
    double grain = rng.range(0.5, 1.0);
    double caustic_scale = rng.range(3.0, 6.0);
    double ripple_depth = rng.range(0.3, 1.0);
    Colour sand2 = s.sand * rng.range(0.75, 0.9);
    int y_start = std::max(0, static_cast<int>(s.horizon) - 2);
    for (int y = y_start; y < s.h; ++y) {
        double dist = floor_distance(s, y + 0.5);
        // Floor coordinates: x spreads out with distance.
        double depth_z = s.from_above ? 1.0 : 1.0 / (0.05 + clamp01((y - s.horizon) / (s.h - s.horizon + 1)));
        for (int x = 0; x < c.w; ++x) {
            double fx = (x - c.w * 0.5) / c.w * depth_z * 3.0;
            double fz = s.from_above ? (s.h - y) / static_cast<double>(c.w) * 3.0 : depth_z;
            double rx = fx * std::cos(ripple_angle) - fz * std::sin(ripple_angle);
            double rz = fx * std::sin(ripple_angle) + fz * std::cos(ripple_angle);
            double warp = n.fbm(rx * 0.8, rz * 0.8, 3);
            // Fine detail fades with distance instead of aliasing.
            double near = std::pow(1 - dist, 1.5);
            double ripple = std::sin((rz * 6.0 * ripple_freq + warp * 5.0) * 2.0) * near * ripple_depth;
            double speck = 0.5 + (n.value(fx * 40, fz * 40) - 0.5) * near;
            double patch = n.fbm(fx * 0.5 + 50, fz * 0.5, 4);
            Colour albedo = mix(sand2, s.sand, patch);
            albedo = albedo * (0.86 + 0.14 * ripple + grain * 0.12 * (speck - 0.5));
            double shade = 0.85 + 0.15 * ripple;
            double cst = caustic(n, fx * caustic_scale, fz * caustic_scale, 11.0) * caustic_strength * near;
            Colour col = seen(s, albedo, shade, dist, x, y);
            col = col + s.light * (cst * 0.4);
            // The floor's far edge melts into the water.
            double edge = s.from_above ? 1.0 : smoothstep(s.horizon - 2, s.horizon + 10, y);
            c.at(x, y) = mix(c.at(x, y), col, edge);
        }
    }
}

// ---------------------------------------------------------------------------
// Scenery standing on the floor.

// A rock: a noisy boulder sitting in the sand, lit from above, with
// encrusting growth and dark crevices.
void paint_rock(Scene& s, Canvas& c, Rng& rng, Vec2 base, double width, double height,
                double dist, Colour tone) {
    const Noise& n = s.noise;
    double seed = rng.range(0, 1000);
    Colour growth = hsv(rng.range(0.0, 1.0), rng.range(0.3, 0.7), rng.range(0.4, 0.8));
    double growth_amount = rng.range(0.2, 0.9);
    Vec2 centre = base - Vec2{0, height * 0.5};
    double ry = height * 0.62;
    int x0 = std::max(0, static_cast<int>(centre.x - width * 1.4));
    int x1 = std::min(c.w - 1, static_cast<int>(centre.x + width * 1.4));
    int y0 = std::max(0, static_cast<int>(centre.y - ry * 1.4));
    int y1 = std::min(c.h - 1, static_cast<int>(base.y + height * 0.12));
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x) {
            double u = (x - centre.x) / width, v = (y - centre.y) / ry;
            double ang = std::atan2(v, u);
            double bump = 0.75 + 0.5 * n.fbm(std::cos(ang) * 1.5 + seed, std::sin(ang) * 1.5, 4);
            double rr = std::sqrt(u * u + v * v) / bump;
            // The bottom is buried: cut off a little below the base line.
            double buried = (y - (base.y + height * 0.08)) / 1.5;
            double edge = std::max((rr - 1) * std::min(width, ry), buried);
            double a = coverage(edge);
            if (a <= 0) continue;
            double nz = std::sqrt(std::max(0.0, 1 - rr * rr));
            double tex = n.fbm(x * 0.05 + seed, y * 0.05, 5);
            double crevice = smoothstep(0.25, 0.05, std::fabs(n.fbm(x * 0.02 - seed, y * 0.03, 3) - 0.5));
            double shade = (0.45 + 0.5 * nz - 0.3 * v) * (0.75 + 0.5 * tex) * (1 - 0.4 * crevice);
            double g = smoothstep(0.5, 0.7, n.fbm(x * 0.03 - seed, y * 0.04, 4)) * growth_amount;
            if (v < -0.2) g = std::max(g, growth_amount * smoothstep(-0.2, -0.7, v) * 0.6);
            Colour albedo = mix(tone, growth, g);
            albedo = albedo * (0.8 + 0.4 * n.value(x * 0.4, y * 0.4));
            // Ambient occlusion where the rock meets the sand.
            shade *= 0.6 + 0.4 * smoothstep(base.y + height * 0.1, base.y - height * 0.3, y);
            c.blend(x, y, seen(s, albedo, std::max(0.08, shade), dist, x, y), a);
        }
}

// Branching coral: a few generations of tubes.
void paint_branch(Scene& s, Canvas& c, Rng& rng, Vec2 p, double angle, double len, double r,
                  int depth, Colour col, Colour tip, double dist) {
    std::vector<Vec2> axis = make_axis(p, angle, len, rng.range(-0.5, 0.5), 0, 0, 6);
    double r_end = r * 0.7;
    draw_tube(c, axis, r + 2, [&](const TubeSample& t, int x, int y) {
        double rr = lerp(r, r_end, clamp01(t.s));
        double edge = std::fabs(t.a) - rr;
        if (t.s < 0) edge = std::max(edge, -t.s * len - 0.5);
        if (t.s > 1) edge = std::max(edge, length(Vec2{(t.s - 1) * len, t.a}) - r_end);
        double a = coverage(edge);
        if (a <= 0) return Fragment{{0, 0, 0}, 0};
        Colour albedo = mix(col, tip, depth == 0 ? smoothstep(0.6, 1.1, t.s) : 0.0);
        double shade = round_shade(t.a / rr, t.normal);
        return Fragment{seen(s, albedo, shade, dist, x, y), a};
    });
    if (depth <= 0) return;
    Vec2 end = axis.back();
    int kids = 2 + static_cast<int>(rng.below(2));
    for (int k = 0; k < kids; ++k) {
        double da = rng.range(-0.8, 0.8);
        paint_branch(s, c, rng, end, angle + da, len * rng.range(0.55, 0.8), r_end * 0.85, depth - 1,
                     col, tip, dist);
    }
}

// A dome of brain coral with meandering grooves.
void paint_brain_coral(Scene& s, Canvas& c, Rng& rng, Vec2 base, double width, double dist) {
    const Noise& n = s.noise;
    double height = width * rng.range(0.5, 0.8);
    Colour col = hsv(rng.range(0.08, 0.17), rng.range(0.3, 0.6), rng.range(0.55, 0.8));
    double freq = rng.range(0.25, 0.45) * supersample / 2;
    double seed = rng.range(0, 500);
    int x0 = std::max(0, static_cast<int>(base.x - width));
    int x1 = std::min(c.w - 1, static_cast<int>(base.x + width));
    int y0 = std::max(0, static_cast<int>(base.y - height));
    int y1 = std::min(c.h - 1, static_cast<int>(base.y));
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x) {
            double u = (x - base.x) / width, v = (base.y - y) / height;
            double rr = u * u + v * v;
            if (rr > 1.05) continue;
            double a = coverage((std::sqrt(rr) - 1) * width);
            double warp = n.fbm(x * 0.02 + seed, y * 0.02, 3) * 12;
            double groove = smoothstep(0.0, 0.5, std::fabs(std::sin((x + y * 0.3) * freq + warp)));
            double nz = std::sqrt(std::max(0.0, 1 - rr));
            double shade = (0.35 + 0.5 * nz + 0.35 * v) * (0.7 + 0.3 * groove);
            c.blend(x, y, seen(s, col, shade, dist, x, y), a);
        }
}

// A sea fan: a flat net of fine branches.
void paint_fan(Scene& s, Canvas& c, Rng& rng, Vec2 base, double size, double dist) {
    Colour col = hsv(rng.chance(0.5) ? rng.range(0.8, 0.95) : rng.range(0.0, 0.06), rng.range(0.5, 0.8),
                     rng.range(0.5, 0.8));
    int strands = 30 + static_cast<int>(rng.below(25));
    double lean = rng.range(-0.3, 0.3);
    for (int i = 0; i < strands; ++i) {
        double a = -pi / 2 + lean + rng.range(-0.9, 0.9);
        double len = size * rng.range(0.5, 1.0);
        std::vector<Vec2> axis = make_axis(base, a, len, rng.range(-0.6, 0.6), rng.range(0, 4),
                                           rng.range(0, 6), 10);
        double r = std::max(0.7, size * 0.008);
        draw_tube(c, axis, r + 2, [&](const TubeSample& t, int x, int y) {
            double edge = std::fabs(t.a) - r * (1.3 - 0.6 * clamp01(t.s));
            if (t.s < 0 || t.s > 1) return Fragment{{0, 0, 0}, 0};
            return Fragment{seen(s, col, 0.9, dist, x, y), coverage(edge) * 0.9};
        });
    }
}

// Tube sponges: upright cylinders with open mouths.
void paint_sponges(Scene& s, Canvas& c, Rng& rng, Vec2 base, double size, double dist) {
    Colour col = hsv(rng.chance(0.5) ? rng.range(0.75, 0.85) : rng.range(0.05, 0.12), rng.range(0.4, 0.8),
                     rng.range(0.45, 0.8));
    int count = 2 + static_cast<int>(rng.below(4));
    for (int i = 0; i < count; ++i) {
        Vec2 b = base + Vec2{rng.range(-size * 0.4, size * 0.4), rng.range(-2, 2)};
        double len = size * rng.range(0.9, 1.8);
        double r = size * rng.range(0.12, 0.2);
        double ang = -pi / 2 + rng.range(-0.25, 0.25);
        std::vector<Vec2> axis = make_axis(b, ang, len, rng.range(-0.15, 0.15), 0, 0, 8);
        draw_tube(c, axis, r * 1.3 + 2, [&](const TubeSample& t, int x, int y) {
            double rr = r * (1 + 0.25 * t.s);
            double edge = std::fabs(t.a) - rr;
            if (t.s < 0) edge = std::max(edge, -t.s * len);
            if (t.s > 1) edge = std::max(edge, 0.5);
            double shade = round_shade(t.a / rr, t.normal) * (0.85 + 0.15 * s.noise.value(x * 0.3, y * 0.3));
            return Fragment{seen(s, col, shade, dist, x, y), coverage(edge)};
        });
        // The mouth: a dark ellipse ringed by the lip.
        Vec2 top = axis.back();
        double rr = r * 1.25;
        for (int y = std::max(0, static_cast<int>(top.y - rr)); y <= std::min(c.h - 1, static_cast<int>(top.y + rr)); ++y)
            for (int x = std::max(0, static_cast<int>(top.x - rr - 1)); x <= std::min(c.w - 1, static_cast<int>(top.x + rr + 1)); ++x) {
                double u = (x + 0.5 - top.x) / rr, v = (y + 0.5 - top.y) / (rr * 0.35);
                double q = std::sqrt(u * u + v * v);
                double a = coverage((q - 1) * rr * 0.35);
                if (a <= 0) continue;
                Colour inside = col * (q < 0.8 ? 0.15 : 0.9);
                c.blend(x, y, seen(s, inside, 1.0, dist, x, y), a);
            }
    }
}

// Sea grass or soft coral: waving blades.
void paint_weed(Scene& s, Canvas& c, Rng& rng, Vec2 base, double size, double dist) {
    Colour col = rng.chance(0.6) ? hsv(rng.range(0.2, 0.35), rng.range(0.4, 0.7), rng.range(0.35, 0.6))
                                 : hsv(rng.range(0.9, 1.05), rng.range(0.3, 0.6), rng.range(0.5, 0.8));
    int blades = 4 + static_cast<int>(rng.below(8));
    for (int i = 0; i < blades; ++i) {
        Vec2 b = base + Vec2{rng.range(-size * 0.3, size * 0.3), 0};
        double len = size * rng.range(0.5, 1.1);
        double r = size * rng.range(0.025, 0.05);
        std::vector<Vec2> axis =
            make_axis(b, -pi / 2 + rng.range(-0.4, 0.4), len, rng.range(-1.0, 1.0), rng.range(2, 8), rng.range(0, 6), 14);
        draw_tube(c, axis, r + 2, [&](const TubeSample& t, int x, int y) {
            if (t.s < 0 || t.s > 1.02) return Fragment{{0, 0, 0}, 0};
            double rr = r * (1 - 0.8 * t.s);
            double shade = round_shade(t.a / std::max(rr, 0.5), t.normal);
            return Fragment{seen(s, col, shade, dist, x, y), coverage(std::fabs(t.a) - rr)};
        });
    }
}

// Distant reef: dark soft silhouettes along the horizon.
void paint_far_reef(Scene& s, Canvas& c, Rng& rng) {
    const Noise& n = s.noise;
    double seed = rng.range(0, 300);
    double base = s.horizon + rng.range(0, 6);
    double height = s.h * rng.range(0.03, 0.09);
    for (int x = 0; x < c.w; ++x) {
        double top = base - height * (n.fbm(x * 0.03 + seed, 1.0, 5) * 1.6 + 0.3 * n.value(x * 0.15, 7.0));
        for (int y = std::max(0, static_cast<int>(top)); y < std::min(c.h, static_cast<int>(base + 20)); ++y) {
            double a = clamp01((y - top) / 3.0) * smoothstep(base + 20, base, y);
            double tex = n.fbm(x * 0.05, y * 0.05 + seed, 3);
            Colour albedo = s.sand * (0.4 + 0.3 * tex);
            c.blend(x, y, seen(s, albedo, 0.7, 0.72, x, y), a);
        }
    }
}

// ---------------------------------------------------------------------------
// Animals.

struct Pose {
    Vec2 at;        // centre, canvas pixels
    double size;    // overall length, canvas pixels
    double angle;   // heading (0 = to the right)
    double dist;    // 0..1
};

enum FishPattern {
    PatternPlain,
    PatternBands,
    PatternStripes,
    PatternSpots,
    PatternClown,
    PatternEyeBand,
    PatternScales,
};

enum TailShape { TailForked, TailRound, TailLunate, TailSquare };

struct FishStyle {
    double height;        // body half-height over length
    double front;         // exponent: <1 puts the deepest point forward
    double bluntness;     // exponent: <1 blunt nose
    double dorsal;        // dorsal fin height over body half-height
    double dorsal_from, dorsal_to;
    double anal;
    double tail_len;      // over body length
    double tail_spread;   // tail half-height over body half-height
    TailShape tail;
    FishPattern pattern;
    Colour back, belly, mark, fin;
    double pattern_freq;
    double silver;        // specular strength
    double seed;
};

// Half-height of a fish body at u (0 nose .. 1 tail root), in body lengths.
double fish_profile(const FishStyle& f, double u) {
    if (u < 0 || u > 1) return 0;
    double core = std::pow(std::sin(pi * std::pow(u, f.front)), f.bluntness);
    double peduncle = 0.22 * smoothstep(0.55, 1.0, u);
    return f.height * std::max(core, peduncle);
}

void paint_fish(Scene& s, Canvas& c, const FishStyle& f, const Pose& pose, double bend, double wave) {
    double len = pose.size;
    // The axis runs nose to tail tip; the body takes the first 1/(1+tail) of it.
    double total = len * (1 + f.tail_len);
    Vec2 dir = from_angle(pose.angle);
    Vec2 nose = pose.at - dir * (len * 0.5);
    std::vector<Vec2> axis = make_axis(nose, pose.angle - bend / 2, total, bend, wave * len * 0.04, 0.3, 28);
    double body_frac = 1 / (1 + f.tail_len);
    // Which side of the axis is the back: the one facing screen-up.
    Vec2 mid_n = from_angle(pose.angle + pi / 2);
    double up_sign = mid_n.y < 0 ? 1 : -1;
    if (std::fabs(mid_n.y) < 0.2) up_sign = 1;
    const Noise spots{static_cast<uint64_t>(f.seed * 1000)};
    double reach = len * f.height * (1 + std::max(f.dorsal, f.tail_spread)) * 1.3 + 3;
    draw_tube(c, axis, reach, [&](const TubeSample& t, int x, int y) {
        double u = t.s / body_frac;               // 0..1 body, >1 tail
        double a = t.a * up_sign / len;           // + towards the back, body lengths
        double half = fish_profile(f, u);
        Fragment none{{0, 0, 0}, 0};
        double px = 1.0 / len;                    // one canvas pixel in body lengths
        // Body.
        if (u >= -0.02 && u <= 1.0) {
            double nose_cap = u < 0.02 ? (0.02 - u) : 0;
            double edge = (std::fabs(a) - half) / px + nose_cap / px;
            double cov = coverage(edge);
            if (cov > 0 && half > 0) {
                double q = a / half;              // -1 belly .. 1 back
                Colour col = mix(f.belly, f.back, smoothstep(-0.7, 0.6, q));
                double mark = 0;
                switch (f.pattern) {
                    case PatternBands:
                        mark = smoothstep(0.35, 0.55, std::sin(u * f.pattern_freq * 2 * pi + f.seed));
                        break;
                    case PatternStripes:
                        mark = smoothstep(0.4, 0.7, std::sin(q * f.pattern_freq * pi + u * 2 + f.seed));
                        break;
                    case PatternSpots: {
                        double sv = spots.value(u * f.pattern_freq * 3, q * f.pattern_freq * 1.2 + 10);
                        mark = smoothstep(0.68, 0.74, sv);
                        break;
                    }
                    case PatternClown: {
                        double b1 = std::fabs(u - 0.22), b2 = std::fabs(u - 0.52), b3 = std::fabs(u - 0.9);
                        double b = std::min(b1, std::min(b2 * 0.8, b3 * 1.3));
                        mark = smoothstep(0.075, 0.055, b);
                        col = mix(col, Colour{0.05, 0.04, 0.03}, smoothstep(0.1, 0.082, b) * (1 - mark));
                        break;
                    }
                    case PatternEyeBand:
                        mark = smoothstep(0.06, 0.04, std::fabs(u - 0.16)) +
                               smoothstep(0.1, 0.07, std::fabs(u - 0.7 - q * 0.15)) * (q > -0.3 ? 1 : 0);
                        break;
                    case PatternScales:
                        mark = 0.5 + 0.5 * std::sin(u * 70 + std::sin(q * 9) * 2) * std::sin(q * 22);
                        mark *= 0.45;
                        break;
                    case PatternPlain:
                        break;
                }
                col = mix(col, f.mark, clamp01(mark));
                // Fine scale texture.
                col = col * (0.965 + 0.035 * std::sin(u * 160 + q * 14) * std::sin(q * 50 - u * 40));
                double shade = round_shade(q * up_sign * 0.85, t.normal);
                Colour out = seen(s, col, shade, pose.dist, x, y);
                // Silvery sheen along the flank.
                double sheen = f.silver * std::exp(-std::pow((q - 0.25) * 3.0, 2)) * 0.35;
                out = out + s.light * sheen;
                // Gill cover line and eye.
                double gill = std::fabs(u - 0.24 - 0.05 * q * q);
                if (gill < 0.008 && std::fabs(q) < 0.8) out = out * 0.75;
                Vec2 eye{0.1 + 0.02 * f.height * 2, 0.28 * fish_profile(f, 0.1)};
                double er = std::max(0.022, f.height * 0.12);
                double ed = length(Vec2{u - eye.x, a - eye.y});
                if (ed < er * 1.35) {
                    double ring = smoothstep(er * 1.35, er * 1.15, ed);
                    out = mix(out, seen(s, Colour{0.85, 0.8, 0.5}, 1.0, pose.dist, x, y), ring * 0.7);
                    double pupil = smoothstep(er, er * 0.8, ed);
                    out = mix(out, Colour{0.02, 0.02, 0.03}, pupil);
                    double glint = smoothstep(er * 0.35, er * 0.1, length(Vec2{u - eye.x + er * 0.3, a - eye.y - er * 0.35}));
                    out = mix(out, Colour{0.9, 0.95, 1.0}, glint * 0.8);
                }
                // Mouth.
                if (u < 0.05 && std::fabs(a - (-0.05 * half)) < px * 0.8) out = out * 0.6;
                // Pectoral fin, translucent over the flank.
                double pu = (u - 0.3) / 0.12, pq = (q + 0.15) / 0.3;
                if (pu * pu + pq * pq < 1 && pu > -0.8) out = mix(out, seen(s, f.fin, 0.9, pose.dist, x, y), 0.35);
                return Fragment{out, cov};
            }
        }
        // Dorsal and anal fins.
        double fin_alpha = 0;
        if (u > f.dorsal_from && u < f.dorsal_to && a > 0) {
            double k = (u - f.dorsal_from) / (f.dorsal_to - f.dorsal_from);
            double top = half + f.dorsal * f.height * std::pow(std::sin(pi * std::pow(k, 0.6)), 0.8);
            fin_alpha = coverage((a - top) / px);
        }
        if (u > 0.55 && u < 0.95 && a < 0) {
            double k = (u - 0.55) / 0.4;
            double bottom = half + f.anal * f.height * std::pow(std::sin(pi * std::pow(k, 0.7)), 0.9);
            fin_alpha = std::max(fin_alpha, coverage((-a - bottom) / px));
        }
        // Tail.
        if (u > 0.95) {
            double k = (u - 1) / (f.tail_len / body_frac * body_frac) * body_frac;  // 0..1 along the tail
            k = (t.s - body_frac) / (1 - body_frac);
            double spread = f.height * f.tail_spread;
            double base = fish_profile(f, 1.0);
            double outer = 0, inner = -1;
            switch (f.tail) {
                case TailForked:
                    outer = lerp(base, spread, std::pow(clamp01(k), 0.8));
                    inner = spread * 1.2 * std::pow(clamp01(k), 1.6) - 0.25 * spread;
                    break;
                case TailLunate:
                    outer = lerp(base, spread, std::pow(clamp01(k), 0.6));
                    inner = spread * 1.1 * std::pow(clamp01(k), 1.2) - 0.5 * spread;
                    break;
                case TailRound:
                    outer = lerp(base, spread, std::sqrt(clamp01(k) * (1.6 - clamp01(k)) / 0.64 * 0.9));
                    outer *= k > 0.75 ? std::sqrt(std::max(0.0, 1 - std::pow((k - 0.75) / 0.25, 2))) : 1;
                    break;
                case TailSquare:
                    outer = lerp(base, spread, std::pow(clamp01(k), 0.7));
                    break;
            }
            if (k >= -0.05 && k <= 1.0) {
                double cov = coverage((std::fabs(a) - outer) / px);
                if (inner > 0) cov *= coverage((inner - std::fabs(a)) / px);
                if (k > 0.98) cov *= coverage((k - 1) * len * (1 - body_frac) * 2);
                fin_alpha = std::max(fin_alpha, cov);
            }
        }
        if (fin_alpha <= 0) return none;
        // Fin rays run out from the body, swept back.
        double rays = 0.9 + 0.1 * std::sin((u - 0.35 * std::fabs(a)) * len * 0.9);
        Colour fc = mix(f.fin, f.mark, f.pattern == PatternClown ? 0.0 : 0.15) * rays;
        return Fragment{seen(s, fc, 0.95, pose.dist, x, y), fin_alpha * 0.75};
    });
}

// Body plans and colourings of the reef fish.
FishStyle random_fish(Rng& rng, int plan, double hue_bias) {
    FishStyle f{};
    f.seed = rng.range(0, 100);
    double hue = rng.uniform() * 0.4 + hue_bias * 0.6;
    switch (plan) {
        case 0:  // deep-bodied butterfly or angelfish
            f.height = rng.range(0.33, 0.42);
            f.front = rng.range(0.75, 0.95);
            f.bluntness = rng.range(0.55, 0.75);
            f.dorsal = rng.range(0.3, 0.7);
            f.dorsal_from = 0.3;
            f.dorsal_to = 0.95;
            f.anal = rng.range(0.3, 0.6);
            f.tail_len = rng.range(0.18, 0.25);
            f.tail_spread = rng.range(0.5, 0.8);
            f.tail = rng.chance(0.5) ? TailSquare : TailRound;
            f.pattern = rng.chance(0.5) ? PatternEyeBand : PatternBands;
            f.back = hsv(rng.chance(0.35) ? rng.range(0.12, 0.16) : rng.uniform(), rng.range(0.5, 0.95), rng.range(0.7, 1.0));
            f.belly = mix(f.back, Colour{1, 1, 0.9}, 0.5);
            f.mark = rng.chance(0.5) ? Colour{0.06, 0.05, 0.07} : hsv(rng.range(0.55, 0.65), 0.7, 0.5);
            f.fin = f.back * 0.9;
            f.pattern_freq = rng.range(2.5, 5);
            f.silver = 0.1;
            break;
        case 1:  // snapper or grouper
            f.height = rng.range(0.17, 0.24);
            f.front = rng.range(0.7, 0.9);
            f.bluntness = rng.range(0.6, 0.8);
            f.dorsal = rng.range(0.25, 0.5);
            f.dorsal_from = 0.25;
            f.dorsal_to = 0.85;
            f.anal = rng.range(0.2, 0.45);
            f.tail_len = rng.range(0.18, 0.26);
            f.tail_spread = rng.range(0.8, 1.3);
            f.tail = rng.chance(0.5) ? TailForked : TailSquare;
            f.pattern = rng.chance(0.45) ? PatternSpots : (rng.chance(0.5) ? PatternStripes : PatternScales);
            f.back = hsv(rng.chance(0.5) ? rng.range(0.0, 0.08) : hue, rng.range(0.4, 0.8), rng.range(0.45, 0.85));
            f.belly = mix(f.back, Colour{0.95, 0.9, 0.85}, 0.6);
            f.mark = rng.chance(0.5) ? hsv(rng.range(0.5, 0.6), 0.6, 0.9) : f.back * 0.45;
            f.fin = f.back * 0.85;
            f.pattern_freq = rng.range(3, 7);
            f.silver = 0.2;
            break;
        case 2:  // long and slender: barracuda, needlefish, trumpetfish
            f.height = rng.range(0.06, 0.09);
            f.front = rng.range(0.85, 1.1);
            f.bluntness = rng.range(0.9, 1.3);
            f.dorsal = rng.range(0.5, 1.0);
            f.dorsal_from = 0.55;
            f.dorsal_to = 0.75;
            f.anal = rng.range(0.4, 0.8);
            f.tail_len = rng.range(0.12, 0.18);
            f.tail_spread = rng.range(1.6, 2.4);
            f.tail = TailForked;
            f.pattern = rng.chance(0.6) ? PatternBands : PatternPlain;
            f.back = hsv(rng.range(0.5, 0.6), rng.range(0.15, 0.35), rng.range(0.5, 0.75));
            f.belly = Colour{0.9, 0.92, 0.95};
            f.mark = f.back * 0.55;
            f.fin = f.back * 0.8;
            f.pattern_freq = rng.range(8, 16);
            f.silver = 0.9;
            break;
        case 3:  // clownfish
            f.height = rng.range(0.22, 0.26);
            f.front = 0.85;
            f.bluntness = 0.6;
            f.dorsal = 0.45;
            f.dorsal_from = 0.3;
            f.dorsal_to = 0.9;
            f.anal = 0.4;
            f.tail_len = 0.22;
            f.tail_spread = 0.75;
            f.tail = TailRound;
            f.pattern = PatternClown;
            f.back = hsv(rng.range(0.03, 0.07), rng.range(0.85, 1.0), rng.range(0.85, 1.0));
            f.belly = f.back * 1.05;
            f.mark = Colour{0.97, 0.97, 0.95};
            f.fin = f.back;
            f.pattern_freq = 1;
            f.silver = 0.05;
            break;
        case 4:  // puffer or boxfish: nearly round
            f.height = rng.range(0.3, 0.38);
            f.front = rng.range(0.85, 1.0);
            f.bluntness = rng.range(0.35, 0.5);
            f.dorsal = 0.25;
            f.dorsal_from = 0.7;
            f.dorsal_to = 0.9;
            f.anal = 0.25;
            f.tail_len = 0.2;
            f.tail_spread = 0.55;
            f.tail = TailRound;
            f.pattern = PatternSpots;
            f.back = hsv(rng.chance(0.5) ? rng.range(0.1, 0.16) : hue, rng.range(0.4, 0.9), rng.range(0.5, 0.9));
            f.belly = Colour{0.92, 0.9, 0.85};
            f.mark = rng.chance(0.5) ? Colour{0.1, 0.08, 0.08} : Colour{0.95, 0.95, 0.9};
            f.fin = f.back;
            f.pattern_freq = rng.range(4, 7);
            f.silver = 0.05;
            break;
        case 5:  // parrotfish or wrasse: colourful scales
            f.height = rng.range(0.15, 0.21);
            f.front = 0.8;
            f.bluntness = rng.range(0.5, 0.7);
            f.dorsal = rng.range(0.2, 0.35);
            f.dorsal_from = 0.2;
            f.dorsal_to = 0.92;
            f.anal = 0.25;
            f.tail_len = rng.range(0.18, 0.24);
            f.tail_spread = rng.range(0.9, 1.2);
            f.tail = rng.chance(0.5) ? TailLunate : TailSquare;
            f.pattern = rng.chance(0.6) ? PatternScales : PatternStripes;
            f.back = hsv(rng.range(0.38, 0.55), rng.range(0.5, 0.8), rng.range(0.5, 0.85));
            f.belly = mix(f.back, hsv(rng.range(0.9, 1.0), 0.4, 0.9), 0.5);
            f.mark = hsv(rng.range(0.85, 1.0), 0.6, 0.85);
            f.fin = mix(f.back, f.mark, 0.5);
            f.pattern_freq = rng.range(2, 4);
            f.silver = 0.1;
            break;
        default:  // small schooling fish: fusiliers, anthias, chromis
            f.height = rng.range(0.14, 0.2);
            f.front = 0.8;
            f.bluntness = 0.75;
            f.dorsal = 0.3;
            f.dorsal_from = 0.3;
            f.dorsal_to = 0.75;
            f.anal = 0.3;
            f.tail_len = 0.28;
            f.tail_spread = 1.3;
            f.tail = TailForked;
            f.pattern = rng.chance(0.5) ? PatternStripes : PatternPlain;
            f.back = hsv(rng.chance(0.5) ? rng.range(0.52, 0.62) : rng.range(0.92, 1.02), rng.range(0.5, 0.8),
                         rng.range(0.6, 0.95));
            f.belly = mix(f.back, Colour{1, 0.95, 0.9}, 0.6);
            f.mark = hsv(rng.range(0.1, 0.16), 0.8, 0.95);
            f.fin = f.back;
            f.pattern_freq = 1.5;
            f.silver = 0.5;
            break;
    }
    return f;
}

// A school of small fish heading roughly one way.
void paint_school(Scene& s, Canvas& c, Rng& rng, Vec2 centre, double spread, double fish_len, double dist) {
    FishStyle f = random_fish(rng, 6, rng.uniform());
    double heading = rng.chance(0.5) ? rng.range(-0.3, 0.3) : pi + rng.range(-0.3, 0.3);
    int count = 12 + static_cast<int>(rng.below(30));
    struct Member {
        Pose pose;
        double bend;
    };
    std::vector<Member> school;
    for (int i = 0; i < count; ++i) {
        Vec2 off{rng.range(-1, 1) * spread, rng.range(-0.5, 0.5) * spread};
        double d = clamp01(dist + rng.range(-0.15, 0.25));
        double len = fish_len * (1.15 - d) * rng.range(0.85, 1.1);
        school.push_back({Pose{centre + off, len, heading + rng.range(-0.15, 0.15), d}, rng.range(-0.4, 0.4)});
    }
    std::sort(school.begin(), school.end(), [](const Member& a, const Member& b) { return a.pose.dist > b.pose.dist; });
    for (const Member& m : school) paint_fish(s, c, f, m.pose, m.bend, 0.5);
}

// Jellyfish: a translucent bell, frilled oral arms and fine tentacles.
void paint_jellyfish(Scene& s, Canvas& c, Rng& rng, const Pose& pose) {
    Colour col = rng.chance(0.5) ? hsv(rng.range(0.75, 0.95), rng.range(0.2, 0.5), 1.0)
                                 : hsv(rng.range(0.05, 0.13), rng.range(0.3, 0.6), 1.0);
    double r = pose.size * 0.5;
    double tilt = rng.range(-0.4, 0.4);
    double squash = rng.range(0.55, 0.85);
    Vec2 up = from_angle(-pi / 2 + tilt), side = from_angle(tilt);
    // Tentacles first: they hang behind the bell.
    int tentacles = 8 + static_cast<int>(rng.below(10));
    for (int i = 0; i < tentacles; ++i) {
        double k = rng.range(-0.95, 0.95);
        Vec2 root = pose.at + side * (k * r) - up * (r * 0.05);
        double len = pose.size * rng.range(0.8, 2.4);
        std::vector<Vec2> axis = make_axis(root, pi / 2 + tilt + rng.range(-0.2, 0.2), len,
                                           rng.range(-0.8, 0.8), rng.range(3, 10), rng.range(0, 6), 16);
        double w = std::max(0.6, pose.size * 0.006);
        draw_tube(c, axis, w + 2, [&](const TubeSample& t, int x, int y) {
            if (t.s < 0 || t.s > 1) return Fragment{{0, 0, 0}, 0};
            double a = coverage(std::fabs(t.a) - w) * (1 - t.s) * 0.55;
            return Fragment{seen(s, col, 1.1, pose.dist, x, y), a};
        });
    }
    int arms = 3 + static_cast<int>(rng.below(3));
    for (int i = 0; i < arms; ++i) {
        Vec2 root = pose.at + side * rng.range(-0.3 * r, 0.3 * r);
        double len = pose.size * rng.range(0.6, 1.3);
        std::vector<Vec2> axis = make_axis(root, pi / 2 + tilt + rng.range(-0.25, 0.25), len,
                                           rng.range(-0.6, 0.6), rng.range(4, 12), rng.range(0, 6), 16);
        double w = pose.size * rng.range(0.04, 0.07);
        draw_tube(c, axis, w * 1.6 + 2, [&](const TubeSample& t, int x, int y) {
            if (t.s < 0 || t.s > 1) return Fragment{{0, 0, 0}, 0};
            double frill = 1 + 0.5 * std::sin(t.s * 40 + (t.a > 0 ? 0 : 2));
            double ww = w * (1 - 0.7 * t.s) * frill;
            double a = coverage(std::fabs(t.a) - ww) * 0.6;
            return Fragment{seen(s, col * 0.95, 1.0, pose.dist, x, y), a};
        });
    }
    // The bell: translucent, brighter at its rim, veined radially, with the
    // four gonads of a moon jelly showing through in some.
    int x0 = std::max(0, static_cast<int>(pose.at.x - r * 1.3)), x1 = std::min(c.w - 1, static_cast<int>(pose.at.x + r * 1.3));
    int y0 = std::max(0, static_cast<int>(pose.at.y - r * 1.3)), y1 = std::min(c.h - 1, static_cast<int>(pose.at.y + r * 0.4));
    double veins = 8 + rng.below(8);
    bool gonads = rng.chance(0.5);
    double lobes = 20 + rng.below(16);
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x) {
            Vec2 d = Vec2{x + 0.5, y + 0.5} - pose.at;
            double u = dot(d, side) / r, v = dot(d, up) / (r * squash);
            if (v < -0.15) continue;
            double rr = std::sqrt(u * u + v * v);
            double ang = std::atan2(v, u);
            double scallop = v < 0.15 ? 0.012 * std::fabs(std::sin(ang * lobes)) : 0.0;
            double edge = (rr - 1 + scallop) * r;
            // The bell's lower margin curls slightly inwards.
            double margin = (-v - 0.08 + 0.12 * u * u) * r * squash;
            double a = coverage(std::max(edge, margin));
            if (a <= 0) continue;
            double rim = smoothstep(0.75, 1.0, rr);
            double vein = std::pow(std::fabs(std::sin(ang * veins * 0.5)), 16) * 0.25 * rr;
            double glow = 0.28 + 0.5 * rim + vein + 0.2 * smoothstep(0.3, 1.0, v);
            Colour body = col;
            if (gonads) {
                for (int g = 0; g < 4; ++g) {
                    Vec2 gc{std::cos(g * pi / 2 + 0.785) * 0.35, 0.35 + std::sin(g * pi / 2 + 0.785) * 0.18};
                    double gd = length(Vec2{u - gc.x, (v - gc.y) * 1.6});
                    double ring = smoothstep(0.1, 0.04, std::fabs(gd - 0.14));
                    glow += ring * 0.45;
                    body = mix(body, hsv(0.85, 0.5, 1.0), ring * 0.5);
                }
            }
            Colour out = seen(s, body, 1.0 + 0.3 * v, pose.dist, x, y);
            c.blend(x, y, out, a * clamp01(glow));
        }
}

// Sea turtle: shell with scutes, head and four flippers.
void paint_turtle(Scene& s, Canvas& c, Rng& rng, const Pose& pose) {
    const Noise& n = s.noise;
    Colour shell = hsv(rng.range(0.07, 0.12), rng.range(0.45, 0.7), rng.range(0.35, 0.6));
    Colour skin = hsv(rng.range(0.1, 0.16), rng.range(0.2, 0.4), rng.range(0.55, 0.75));
    Vec2 fwd = from_angle(pose.angle), side = from_angle(pose.angle + pi / 2);
    double L = pose.size * 0.5;  // shell half-length
    double W = L * rng.range(0.7, 0.82);
    // Flippers: the front pair long and swept, the rear pair short.
    double stroke = rng.range(-0.6, 0.6);
    for (int sgn = -1; sgn <= 1; sgn += 2) {
        Vec2 root = pose.at + fwd * (L * 0.45) + side * (W * 0.7 * sgn);
        double ang = pose.angle + sgn * (pi / 2 + 0.5 + stroke * 0.5);
        std::vector<Vec2> axis = make_axis(root, ang, L * 1.3, -sgn * 0.9, 0, 0, 14);
        double w = L * 0.2;
        draw_tube(c, axis, w + 3, [&](const TubeSample& t, int x, int y) {
            double ww = w * std::sin(pi * clamp01(t.s * 0.9 + 0.1)) * (1 - 0.5 * t.s);
            double edge = std::fabs(t.a) - ww;
            if (t.s < 0 || t.s > 1) edge = std::max(edge, 1.0);
            double scale = 0.8 + 0.2 * n.value(x * 0.25, y * 0.25);
            return Fragment{seen(s, skin * scale, round_shade(t.a / std::max(ww, 0.5), t.normal), pose.dist, x, y),
                            coverage(edge)};
        });
        Vec2 rroot = pose.at - fwd * (L * 0.7) + side * (W * 0.5 * sgn);
        std::vector<Vec2> raxis = make_axis(rroot, pose.angle + pi + sgn * -0.6, L * 0.45, 0, 0, 0, 8);
        draw_tube(c, raxis, L * 0.15 + 3, [&](const TubeSample& t, int x, int y) {
            double ww = L * 0.13 * std::sin(pi * clamp01(t.s * 0.8 + 0.2));
            double edge = std::fabs(t.a) - ww;
            if (t.s < 0 || t.s > 1) edge = std::max(edge, 1.0);
            return Fragment{seen(s, skin, 0.8, pose.dist, x, y), coverage(edge)};
        });
    }
    // Head and neck.
    std::vector<Vec2> neck = make_axis(pose.at + fwd * (L * 0.8), pose.angle + rng.range(-0.3, 0.3), L * 0.55, 0, 0, 0, 8);
    draw_tube(c, neck, L * 0.3, [&](const TubeSample& t, int x, int y) {
        double ww = L * (0.17 + 0.06 * std::sin(pi * clamp01(t.s)));
        double edge = std::fabs(t.a) - ww;
        if (t.s > 1) edge = std::max(edge, length(Vec2{(t.s - 1) * L * 0.55, t.a}) - ww);
        if (t.s < 0) edge = 1;
        double tile = std::sin(x * 0.5) * std::sin(y * 0.5);
        Colour col = mix(skin, shell * 0.6, 0.3 + 0.3 * tile);
        Colour out = seen(s, col, round_shade(t.a / ww, t.normal), pose.dist, x, y);
        if (t.s > 0.72 && t.s < 0.86 && std::fabs(t.a - ww * 0.3) < ww * 0.18) out = out * 0.2;
        return Fragment{out, coverage(edge)};
    });
    // Shell: a central row of five scutes, four on each side, small
    // marginal scutes round the rim; seams where two cells meet.
    std::vector<Vec2> seeds;
    for (int i = 0; i < 5; ++i) seeds.push_back({0.62 - i * 0.31, 0});
    for (int i = 0; i < 4; ++i) {
        seeds.push_back({0.5 - i * 0.33, 0.5});
        seeds.push_back({0.5 - i * 0.33, -0.5});
    }
    for (int i = 0; i < 26; ++i) {
        double t = i * 2 * pi / 26;
        seeds.push_back({std::cos(t) * 0.97, std::sin(t) * 0.97});
    }
    int ext = static_cast<int>(L * 1.1);
    for (int y = std::max(0, static_cast<int>(pose.at.y) - ext); y <= std::min(c.h - 1, static_cast<int>(pose.at.y) + ext); ++y)
        for (int x = std::max(0, static_cast<int>(pose.at.x) - ext); x <= std::min(c.w - 1, static_cast<int>(pose.at.x) + ext); ++x) {
            Vec2 d = Vec2{x + 0.5, y + 0.5} - pose.at;
            double u = dot(d, fwd) / L, v = dot(d, side) / W;
            double taper = 1 - 0.15 * u;
            double rr = std::sqrt(u * u + (v * taper) * (v * taper));
            double a = coverage((rr - 1) * W);
            if (a <= 0) continue;
            double best = 1e9, second = 1e9;
            Vec2 nearest{0, 0};
            for (Vec2 q : seeds) {
                double dd = length(Vec2{(u - q.x) * 1.0, (v - q.y) * 0.85});
                if (dd < best) {
                    second = best;
                    best = dd;
                    nearest = q;
                } else if (dd < second) {
                    second = dd;
                }
            }
            double seam = smoothstep(0.015, 0.06, second - best);
            double tone = 0.75 + 0.35 * n.fbm(x * 0.05, y * 0.05, 4);
            // Growth rings and streaks inside each scute.
            double rings = 0.5 + 0.5 * std::sin(best * 60);
            double streak = n.value(std::atan2(v - nearest.y, u - nearest.x) * 3, best * 8);
            Colour plate = mix(shell, hsv(0.1, 0.6, 0.75), 0.35 * streak);
            Colour col = plate * tone * (0.45 + 0.55 * seam) * (0.9 + 0.12 * rings);
            double nz = std::sqrt(std::max(0.0, 1 - rr * rr));
            double shade = 0.45 + 0.55 * nz - 0.2 * dot(d, Vec2{0, 1}) / L;
            c.blend(x, y, seen(s, col, shade, pose.dist, x, y), a);
        }
}

// Octopus: a bulbous mantle and eight curling arms with suckers.
void paint_octopus(Scene& s, Canvas& c, Rng& rng, const Pose& pose) {
    const Noise& n = s.noise;
    Colour skin = rng.chance(0.5) ? hsv(rng.range(0.0, 0.06), rng.range(0.45, 0.7), rng.range(0.7, 0.95))
                                  : hsv(rng.range(0.06, 0.11), rng.range(0.3, 0.55), rng.range(0.7, 0.95));
    Colour sucker = mix(skin, Colour{1, 0.9, 0.85}, 0.6);
    double R = pose.size * 0.16;
    Vec2 head = pose.at + Vec2{0, -R * 0.9};
    for (int i = 0; i < 8; ++i) {
        double base_ang = pi / 2 + (i - 3.5) * rng.range(0.28, 0.42) + rng.range(-0.15, 0.15);
        Vec2 root = pose.at + from_angle(base_ang) * (R * 0.5);
        double len = pose.size * rng.range(0.45, 0.8);
        double curl = rng.range(1.2, 3.5) * (rng.chance(0.5) ? 1 : -1);
        std::vector<Vec2> axis = make_axis(root, base_ang + rng.range(-0.5, 0.5), len, curl, rng.range(0, 5), rng.range(0, 6), 30);
        double w = R * 0.32;
        draw_tube(c, axis, w + 3, [&](const TubeSample& t, int x, int y) {
            double ww = w * (1 - 0.88 * clamp01(t.s)) + 0.6;
            double edge = std::fabs(t.a) - ww;
            if (t.s < 0) edge = std::max(edge, -t.s * len);
            if (t.s > 1) edge = std::max(edge, (t.s - 1) * len);
            double q = t.a / ww;
            double tex = 0.8 + 0.3 * n.value(x * 0.3, y * 0.3);
            Colour col = skin * tex;
            // Suckers along one edge.
            double row = std::sin(t.s * len / (w * 0.45) * pi);
            if (q < -0.35 && row > 0.4) col = mix(col, sucker, smoothstep(0.4, 0.8, row));
            return Fragment{seen(s, col, round_shade(q, t.normal), pose.dist, x, y), coverage(edge)};
        });
    }
    // Mantle.
    int ext = static_cast<int>(R * 1.8);
    for (int y = std::max(0, static_cast<int>(head.y) - ext); y <= std::min(c.h - 1, static_cast<int>(head.y) + ext); ++y)
        for (int x = std::max(0, static_cast<int>(head.x) - ext); x <= std::min(c.w - 1, static_cast<int>(head.x) + ext); ++x) {
            Vec2 d = Vec2{x + 0.5, y + 0.5} - head;
            double u = d.x / R, v = d.y / (R * 1.35);
            double rr = std::sqrt(u * u + v * v);
            double a = coverage((rr - 1 - 0.08 * n.value(x * 0.1, y * 0.1)) * R);
            if (a <= 0) continue;
            double nz = std::sqrt(std::max(0.0, 1 - rr * rr));
            double tex = 0.75 + 0.4 * n.fbm(x * 0.08, y * 0.08, 4);
            Colour col = skin * tex;
            double shade = 0.4 + 0.6 * nz - 0.3 * v;
            Colour out = seen(s, col, shade, pose.dist, x, y);
            // Eyes low on the mantle.
            for (int e = -1; e <= 1; e += 2) {
                double ed = length(Vec2{(u - e * 0.62) * 1.3, v - 0.62});
                if (ed < 0.16) out = mix(out, seen(s, Colour{0.75, 0.7, 0.45}, 0.9, pose.dist, x, y), smoothstep(0.16, 0.12, ed));
                if (ed < 0.12 && std::fabs(v - 0.62) < 0.03) out = out * 0.2;
            }
            // Warts and skin folds.
            double wart = std::pow(n.value(x * 0.25 + 3, y * 0.25), 4);
            out = out * (0.9 + 0.35 * wart);
            c.blend(x, y, out, a);
        }
}

// Starfish seen from above: five tapering arms with knobbly skin.
void paint_starfish(Scene& s, Canvas& c, Rng& rng, const Pose& pose) {
    const Noise& n = s.noise;
    Colour col = rng.chance(0.6) ? hsv(rng.range(0.0, 0.08), rng.range(0.6, 0.9), rng.range(0.65, 0.95))
                                 : hsv(rng.range(0.55, 0.75), rng.range(0.5, 0.8), rng.range(0.5, 0.8));
    double R = pose.size * 0.5;
    double rot = rng.range(0, 2 * pi);
    double fat = rng.range(0.22, 0.35);
    double wobble[5];
    for (double& w : wobble) w = rng.range(-0.15, 0.15);
    int ext = static_cast<int>(R * 1.2);
    // A shadow under it first.
    draw_disc(c, pose.at + Vec2{R * 0.08, R * 0.1}, R * 0.75, c.at(std::clamp(static_cast<int>(pose.at.x), 0, c.w - 1),
                                                              std::clamp(static_cast<int>(pose.at.y), 0, c.h - 1)) * 0.6, 0.35, R * 0.4);
    for (int y = std::max(0, static_cast<int>(pose.at.y) - ext); y <= std::min(c.h - 1, static_cast<int>(pose.at.y) + ext); ++y)
        for (int x = std::max(0, static_cast<int>(pose.at.x) - ext); x <= std::min(c.w - 1, static_cast<int>(pose.at.x) + ext); ++x) {
            Vec2 d = Vec2{x + 0.5, y + 0.5} - pose.at;
            double r = length(d) / R;
            double ang = std::atan2(d.y, d.x) - rot;
            double sector = ang * 5 / (2 * pi);
            int arm = ((static_cast<int>(std::floor(sector + 0.5)) % 5) + 5) % 5;
            double off = (sector - std::floor(sector + 0.5)) * 2 * pi / 5;  // angle from arm centre
            double arm_len = 1 + wobble[arm];
            double half_w = fat * (1 - r / arm_len) + 0.04;
            double across = r * std::sin(std::fabs(off));
            double edge = (across - half_w) * R;
            if (r > arm_len) edge = std::max(edge, (r - arm_len) * R);
            double a = coverage(edge);
            if (a <= 0) continue;
            double ridge = 1 - clamp01(across / std::max(half_w, 0.01));
            double knob = std::pow(n.value(x * 0.35, y * 0.35), 3);
            Colour albedo = mix(col, Colour{0.95, 0.9, 0.8}, knob * 0.6);
            double shade = 0.55 + 0.45 * ridge + 0.15 * (n.value(x * 0.7, y * 0.7) - 0.5);
            c.blend(x, y, seen(s, albedo, shade, pose.dist, x, y), a);
        }
}

// Seahorse: curled tail, arched body, snout and a small fin.
void paint_seahorse(Scene& s, Canvas& c, Rng& rng, const Pose& pose) {
    Colour col = hsv(rng.chance(0.5) ? rng.range(0.08, 0.15) : rng.range(0.9, 1.05), rng.range(0.5, 0.9), rng.range(0.6, 0.95));
    double H = pose.size;
    double facing = rng.chance(0.5) ? 1 : -1;
    // Axis from the top of the head down the belly to the curled tail.
    std::vector<Vec2> axis;
    Vec2 top = pose.at + Vec2{0, -H * 0.45};
    int steps = 40;
    for (int i = 0; i < steps; ++i) {
        double t = static_cast<double>(i) / (steps - 1);
        double x, y;
        if (t < 0.55) {
            double k = t / 0.55;
            x = facing * H * (0.08 * std::sin(k * pi) - 0.05 * k);
            y = H * 0.6 * k;
        } else {
            double k = (t - 0.55) / 0.45;
            double ang = k * 1.6 * pi;
            double rad = H * 0.14 * (1 - 0.6 * k);
            x = facing * (-H * 0.05 - rad * std::sin(ang) - H * 0.02);
            y = H * 0.6 + H * 0.14 - rad * std::cos(ang);
        }
        axis.push_back(top + Vec2{x, y});
    }
    draw_tube(c, axis, H * 0.16, [&](const TubeSample& t, int x, int y) {
        double w;
        if (t.s < 0.12) w = H * (0.07 + 0.02 * t.s / 0.12);
        else if (t.s < 0.5) w = H * (0.09 + 0.05 * std::sin((t.s - 0.12) / 0.38 * pi));
        else w = H * 0.09 * (1 - 0.8 * (t.s - 0.5) / 0.5);
        double edge = std::fabs(t.a) - w;
        if (t.s < 0) edge = std::max(edge, -t.s * H - w * 0.5);
        if (t.s > 1) edge = std::max(edge, 1.0);
        double ring = 0.8 + 0.2 * std::pow(std::fabs(std::sin(t.s * 70)), 0.5);
        Colour out = seen(s, col * ring, round_shade(t.a / w, t.normal), pose.dist, x, y);
        return Fragment{out, coverage(edge)};
    });
    // Snout and eye.
    Vec2 head = axis[3];
    std::vector<Vec2> snout = make_axis(head, facing > 0 ? 0.35 : pi - 0.35, H * 0.22, 0, 0, 0, 6);
    draw_tube(c, snout, H * 0.06, [&](const TubeSample& t, int x, int y) {
        double w = H * (0.035 - 0.01 * clamp01(t.s));
        double edge = std::fabs(t.a) - w;
        if (t.s < 0 || t.s > 1) edge = std::max(edge, 0.5);
        return Fragment{seen(s, col * 0.9, round_shade(t.a / w, t.normal), pose.dist, x, y), coverage(edge)};
    });
    draw_disc(c, head + Vec2{facing * H * 0.02, -H * 0.01}, H * 0.022, Colour{0.05, 0.04, 0.04}, 1.0);
    draw_disc(c, head + Vec2{facing * H * 0.025, -H * 0.018}, H * 0.006, Colour{0.9, 0.9, 0.9}, 0.8);
    // Crown.
    draw_disc(c, axis[0] + Vec2{-facing * H * 0.02, -H * 0.02}, H * 0.035, seen(s, col, 0.9, pose.dist, 0, 0), 1.0);
    // Dorsal fin on the back.
    Vec2 back = axis[20] + Vec2{-facing * H * 0.13, 0};
    draw_disc(c, back, H * 0.06, seen(s, mix(col, Colour{1, 1, 1}, 0.4), 1.0, pose.dist, 0, 0), 0.5);
}

// Crab: a wide carapace, jointed legs and two claws.
void paint_crab(Scene& s, Canvas& c, Rng& rng, const Pose& pose) {
    const Noise& n = s.noise;
    Colour shell = hsv(rng.range(0.0, 0.1), rng.range(0.55, 0.85), rng.range(0.55, 0.9));
    double W = pose.size * 0.3, Hc = W * rng.range(0.6, 0.75);
    Vec2 body = pose.at;
    auto limb = [&](Vec2 root, double a1, double l1, double a2, double l2, double w) {
        std::vector<Vec2> axis = {root, root + from_angle(a1) * l1};
        axis.push_back(axis[1] + from_angle(a2) * l2);
        draw_tube(c, axis, w + 3, [&](const TubeSample& t, int x, int y) {
            double ww = w * (1 - 0.5 * clamp01(t.s));
            double edge = std::fabs(t.a) - ww;
            if (t.s < 0 || t.s > 1) edge = std::max(edge, 0.8);
            return Fragment{seen(s, shell * 0.9, round_shade(t.a / ww, t.normal), pose.dist, x, y), coverage(edge)};
        });
        return axis.back();
    };
    for (int sgn = -1; sgn <= 1; sgn += 2) {
        for (int i = 0; i < 4; ++i) {
            double base = (sgn > 0 ? 0.0 : pi) + sgn * (0.15 + i * 0.3);
            Vec2 root = body + Vec2{sgn * W * 0.7, Hc * 0.1 + i * Hc * 0.12};
            limb(root, base - sgn * 0.5, W * 0.55, base + sgn * 0.9, W * 0.65, W * 0.08);
        }
        // Claw arm and pincer.
        Vec2 root = body + Vec2{sgn * W * 0.55, -Hc * 0.45};
        Vec2 wrist = limb(root, -pi / 2 + sgn * 0.9, W * 0.5, -pi / 2 + sgn * 0.2, W * 0.35, W * 0.11);
        double claw_ang = -pi / 2 - sgn * 0.3;
        std::vector<Vec2> pincer = make_axis(wrist, claw_ang, W * 0.5, 0, 0, 0, 6);
        draw_tube(c, pincer, W * 0.25, [&](const TubeSample& t, int x, int y) {
            double ww = W * 0.2 * std::sqrt(std::max(0.0, 1 - std::pow(clamp01(t.s) * 1.1 - 0.1, 2)));
            double edge = std::fabs(t.a) - ww;
            if (t.s < 0 || t.s > 1) edge = std::max(edge, 0.8);
            if (t.s > 0.55 && std::fabs(t.a) < W * 0.03) edge = std::max(edge, 0.5);
            return Fragment{seen(s, shell, round_shade(t.a / std::max(ww, 0.5), t.normal), pose.dist, x, y), coverage(edge)};
        });
    }
    int ext = static_cast<int>(W * 1.2);
    for (int y = std::max(0, static_cast<int>(body.y) - ext); y <= std::min(c.h - 1, static_cast<int>(body.y) + ext); ++y)
        for (int x = std::max(0, static_cast<int>(body.x) - ext); x <= std::min(c.w - 1, static_cast<int>(body.x) + ext); ++x) {
            Vec2 d = Vec2{x + 0.5, y + 0.5} - body;
            double u = d.x / W, v = d.y / Hc;
            double rr = std::sqrt(u * u + v * v * (v < 0 ? 0.9 : 1.3));
            double a = coverage((rr - 1) * Hc);
            if (a <= 0) continue;
            double nz = std::sqrt(std::max(0.0, 1 - rr * rr));
            double tex = 0.8 + 0.3 * n.fbm(x * 0.1, y * 0.1, 4);
            Colour out = seen(s, shell * tex, 0.4 + 0.6 * nz - 0.2 * v, pose.dist, x, y);
            for (int e = -1; e <= 1; e += 2) {
                double ed = length(Vec2{u - e * 0.25, v + 0.85});
                if (ed < 0.12) out = mix(out, Colour{0.03, 0.03, 0.03}, smoothstep(0.12, 0.08, ed));
            }
            c.blend(x, y, out, a);
        }
}

// Ray: wide wings, seen from above over sand (stingray) or from below in
// open water (manta, dark back and pale edges).
void paint_ray(Scene& s, Canvas& c, Rng& rng, const Pose& pose, bool manta) {
    const Noise& n = s.noise;
    Colour top = manta ? hsv(0.6, 0.25, 0.2) : hsv(rng.range(0.07, 0.12), rng.range(0.2, 0.45), rng.range(0.5, 0.75));
    double span = pose.size * 0.5;
    Vec2 fwd = from_angle(pose.angle), side = from_angle(pose.angle + pi / 2);
    double flap = rng.range(-0.2, 0.2);
    bool spotted = !manta && rng.chance(0.5);
    Colour spot = rng.chance(0.6) ? Colour{0.2, 0.55, 0.9} : Colour{0.15, 0.12, 0.1};
    double p = rng.range(1.25, 1.6);
    if (!manta) {
        // Its shadow on the sand, offset away from the light.
        Vec2 sh = pose.at + Vec2{span * 0.12, span * 0.18};
        draw_disc(c, sh, span * 0.75, c.at(std::clamp(static_cast<int>(sh.x), 0, c.w - 1), std::clamp(static_cast<int>(sh.y), 0, c.h - 1)) * 0.45,
                  0.55, span * 0.35);
    }
    // Tail.
    std::vector<Vec2> tail = make_axis(pose.at - fwd * (span * (manta ? 0.3 : 0.75)), pose.angle + pi, span * (manta ? 0.7 : 1.4),
                                       rng.range(-0.6, 0.6), span * 0.05, rng.range(0, 6), 14);
    draw_tube(c, tail, span * 0.08, [&](const TubeSample& t, int x, int y) {
        double w = span * 0.045 * (1 - 0.85 * clamp01(t.s)) + 0.5;
        double edge = std::fabs(t.a) - w;
        if (t.s < 0 || t.s > 1) edge = std::max(edge, 0.5);
        return Fragment{seen(s, top * 0.9, round_shade(t.a / w, t.normal), pose.dist, x, y), coverage(edge)};
    });
    int ext = static_cast<int>(span * 1.3);
    for (int y = std::max(0, static_cast<int>(pose.at.y) - ext); y <= std::min(c.h - 1, static_cast<int>(pose.at.y) + ext); ++y)
        for (int x = std::max(0, static_cast<int>(pose.at.x) - ext); x <= std::min(c.w - 1, static_cast<int>(pose.at.x) + ext); ++x) {
            Vec2 d = Vec2{x + 0.5, y + 0.5} - pose.at;
            double u = dot(d, fwd) / span, v = dot(d, side) / span;
            double av = std::fabs(v);
            double edge;
            if (manta) {
                // Swept wings: leading and trailing edges meet at the tips.
                double sweep = -0.38 * av + flap * av * av;
                double front = 0.42 * (1 - std::pow(av, 1.6)) + sweep;
                double rear = -0.28 * std::sqrt(std::max(0.0, 1 - av * av)) + sweep + 0.1 * av * av;
                edge = std::max(std::max(u - front, rear - u), av - 1.0) * span;
                // Two cephalic fins, rolled lobes in front of the head.
                double lobe = length(Vec2{(u - 0.38) / 0.11, (av - 0.12) / 0.04}) - 1;
                edge = std::min(edge, lobe * 0.045 * span);
            } else {
                // A rounded rhombus, a little longer than wide, snout pointed.
                double uu = (u - 0.05) / 0.85;
                double r = std::pow(std::pow(std::fabs(uu), p) + std::pow(av, p), 1 / p);
                edge = (r - 1) * span;
            }
            double a = coverage(edge);
            if (a <= 0) continue;
            double body = std::exp(-std::pow(v / 0.32, 2)) * std::exp(-std::pow((u + 0.05) / 0.5, 2));
            Colour col = top;
            if (spotted && n.value(x * 0.1, y * 0.1) > 0.74) col = spot;
            if (manta) {
                // Seen from below: a pale belly with dusky margins and
                // blotches, and the gill slits behind the head.
                double inner = -edge / span;
                double margin = smoothstep(0.1, 0.0, inner) + smoothstep(0.45, 0.9, av);
                double blotch = smoothstep(0.6, 0.7, n.value(u * 6 + 4, v * 6)) * 0.7;
                col = mix(Colour{0.82, 0.84, 0.86}, top, clamp01(margin + blotch));
                for (int g = 0; g < 5; ++g) {
                    double gu = 0.22 - g * 0.045;
                    if (std::fabs(u - gu) < 0.008 && av > 0.1 && av < 0.17) col = col * 0.45;
                }
            }
            double tex = 0.85 + 0.25 * n.fbm(x * 0.07, y * 0.07, 3);
            double shade = 0.5 + 0.55 * body - 0.15 * av + 0.1 * (tex - 0.85);
            Colour out = seen(s, col * tex, shade, pose.dist, x, y);
            if (!manta) {
                // Eyes and spiracles behind the snout.
                for (int e = -1; e <= 1; e += 2) {
                    double ed = length(Vec2{u - 0.32, v - e * 0.13});
                    if (ed < 0.07) out = mix(out, out * 0.35, smoothstep(0.07, 0.04, ed));
                    double sd = length(Vec2{u - 0.22, v - e * 0.15});
                    if (sd < 0.05) out = mix(out, out * 0.6, smoothstep(0.05, 0.02, sd));
                }
            }
            c.blend(x, y, out, a);
        }
}

// Moray eel: a long mottled body coming out of a rock, head raised.
void paint_eel(Scene& s, Canvas& c, Rng& rng, const Pose& pose) {
    const Noise& n = s.noise;
    Colour skin = rng.chance(0.5) ? hsv(rng.range(0.18, 0.28), rng.range(0.4, 0.7), rng.range(0.45, 0.7))
                                  : hsv(rng.range(0.08, 0.12), rng.range(0.5, 0.8), rng.range(0.5, 0.8));
    Colour mottle = skin * 0.4;
    double L = pose.size;
    double facing = std::cos(pose.angle) >= 0 ? 1 : -1;
    Vec2 tail_end = pose.at - from_angle(pose.angle) * (L * 0.5);
    std::vector<Vec2> axis = make_axis(tail_end, pose.angle + 0.5 * facing, L, -0.9 * facing, L * 0.06, rng.range(0, 6), 36);
    double w = L * rng.range(0.045, 0.06);
    draw_tube(c, axis, w * 1.6, [&](const TubeSample& t, int x, int y) {
        double k = clamp01(t.s);
        double ww = w * (0.55 + 0.45 * std::sin(pi * std::pow(k, 0.5) * 0.9 + 0.1));
        double head = smoothstep(0.9, 1.0, t.s);
        ww *= 1 - 0.35 * head;
        double edge = std::fabs(t.a) - ww;
        if (t.s > 1) edge = std::max(edge, length(Vec2{(t.s - 1) * L, t.a}) - ww * 0.6);
        if (t.s < 0) edge = std::max(edge, 1.0);
        double q = t.a / ww;
        double m = smoothstep(0.45, 0.65, n.fbm(x * 0.12, y * 0.12, 3));
        Colour col = mix(skin, mottle, m);
        // Dorsal fin ridge along the top.
        Colour out = seen(s, col, round_shade(q, t.normal), pose.dist, x, y);
        // Eye and mouth near the head end.
        double eu = (t.s - 0.965) * L, ea = t.a - (t.normal.y < 0 ? 1 : -1) * ww * 0.35;
        double ed = length(Vec2{eu, ea});
        if (ed < w * 0.22) out = mix(out, Colour{0.05, 0.05, 0.04}, smoothstep(w * 0.22, w * 0.15, ed));
        if (ed < w * 0.22 && ed > w * 0.15) out = mix(out, Colour{0.8, 0.8, 0.5}, 0.5);
        if (t.s > 0.975 && std::fabs(t.a + (t.normal.y < 0 ? 1 : -1) * ww * 0.15) < w * 0.06) out = out * 0.3;
        return Fragment{out, coverage(edge)};
    });
}

// Nudibranch: a small soft slug with a bright mantle edge, two rhinophores
// and a gill plume.
void paint_nudibranch(Scene& s, Canvas& c, Rng& rng, const Pose& pose) {
    const Noise& n = s.noise;
    Colour body = hsv(rng.range(0, 1), rng.range(0.6, 0.95), rng.range(0.7, 1.0));
    Colour rim = hsv(rng.range(0, 1), rng.range(0.7, 1.0), rng.range(0.8, 1.0));
    Colour dots = rng.chance(0.5) ? Colour{0.98, 0.98, 0.95} : hsv(rng.range(0, 1), 0.9, 0.9);
    double L = pose.size;
    Vec2 fwd = from_angle(pose.angle);
    Vec2 start = pose.at - fwd * (L * 0.5);
    std::vector<Vec2> axis = make_axis(start, pose.angle, L, rng.range(-0.5, 0.5), L * 0.03, rng.range(0, 6), 20);
    double w = L * rng.range(0.13, 0.19);
    draw_tube(c, axis, w * 1.3, [&](const TubeSample& t, int x, int y) {
        double k = clamp01(t.s);
        double ww = w * (0.6 + 0.4 * std::sin(pi * (0.1 + 0.85 * k)));
        ww *= 1 + 0.06 * std::sin(t.s * 50);
        double edge = std::fabs(t.a) - ww;
        if (t.s < 0) edge = std::max(edge, length(Vec2{t.s * L, t.a}) - ww);
        if (t.s > 1) edge = std::max(edge, length(Vec2{(t.s - 1) * L, t.a}) - ww * 0.6);
        double q = t.a / ww;
        Colour col = mix(body, rim, smoothstep(0.7, 0.85, std::fabs(q)));
        if (n.value(x * 0.25, y * 0.25) > 0.75 && std::fabs(q) < 0.65) col = dots;
        return Fragment{seen(s, col, round_shade(q * 0.7, t.normal), pose.dist, x, y), coverage(edge)};
    });
    // Rhinophores near the front.
    Vec2 head = axis[3];
    for (int sgn = -1; sgn <= 1; sgn += 2) {
        Vec2 root = head + from_angle(pose.angle + pi / 2) * (w * 0.3 * sgn);
        std::vector<Vec2> stalk = make_axis(root, -pi / 2 + sgn * 0.35 + rng.range(-0.1, 0.1), w * 1.1, 0, 0, 0, 6);
        draw_tube(c, stalk, w * 0.3, [&](const TubeSample& t, int x, int y) {
            double ww = w * 0.14 * (1 - 0.4 * clamp01(t.s));
            double edge = std::fabs(t.a) - ww;
            if (t.s < 0) edge = std::max(edge, 0.5);
            if (t.s > 1) edge = std::max(edge, length(Vec2{(t.s - 1) * w * 1.1, t.a}) - ww);
            double ring = 0.75 + 0.25 * std::sin(t.s * 30);
            return Fragment{seen(s, rim * ring, round_shade(t.a / ww, t.normal), pose.dist, x, y), coverage(edge)};
        });
    }
    // Gill plume at the back: a small feathery crown.
    Vec2 gills = axis[axis.size() - 5];
    for (int i = 0; i < 7; ++i) {
        double ang = -pi / 2 + (i - 3) * 0.3;
        std::vector<Vec2> g = make_axis(gills, ang, w * 0.9, rng.range(-0.4, 0.4), 0, 0, 5);
        draw_tube(c, g, w * 0.2, [&](const TubeSample& t, int x, int y) {
            double ww = w * 0.07;
            double edge = std::fabs(t.a) - ww;
            if (t.s < 0 || t.s > 1) edge = std::max(edge, 0.5);
            return Fragment{seen(s, mix(rim, Colour{1, 1, 1}, 0.3), 1.0, pose.dist, x, y), coverage(edge) * 0.9};
        });
    }
}

// Anemone: a column topped by a dense crown of thick, blunt tentacles.
void paint_anemone(Scene& s, Canvas& c, Rng& rng, const Pose& pose) {
    double hue_pick = rng.uniform();
    Colour tent = hue_pick < 0.3 ? hsv(rng.range(0.12, 0.2), rng.range(0.25, 0.5), rng.range(0.8, 1.0))
                : hue_pick < 0.6 ? hsv(rng.range(0.85, 1.0), rng.range(0.3, 0.6), rng.range(0.8, 1.0))
                : hue_pick < 0.8 ? hsv(rng.range(0.25, 0.4), rng.range(0.3, 0.6), rng.range(0.6, 0.85))
                                 : hsv(rng.range(0.72, 0.82), rng.range(0.3, 0.6), rng.range(0.7, 0.95));
    Colour tip = mix(tent, Colour{1, 1, 1}, rng.range(0.2, 0.5));
    Colour column = hsv(rng.range(0.0, 0.1), rng.range(0.4, 0.7), rng.range(0.5, 0.8));
    double R = pose.size * 0.5;
    // The column under the crown.
    std::vector<Vec2> col_axis = {pose.at + Vec2{0, R * 0.2}, pose.at - Vec2{0, R * 0.15}};
    draw_tube(c, col_axis, R * 0.5, [&](const TubeSample& t, int x, int y) {
        double ww = R * (0.22 + 0.16 * clamp01(t.s));
        double edge = std::fabs(t.a) - ww;
        if (t.s < 0 || t.s > 1) edge = std::max(edge, 0.5);
        double folds = 0.8 + 0.2 * std::sin(t.a / ww * 9);
        return Fragment{seen(s, column * folds, round_shade(t.a / ww, t.normal) * 0.8, pose.dist, x, y), coverage(edge)};
    });
    int count = 90 + static_cast<int>(rng.below(90));
    double sway = rng.range(-0.5, 0.5);
    struct T {
        Vec2 root;
        double ang, len, depth;
    };
    std::vector<T> ts;
    for (int i = 0; i < count; ++i) {
        double k = rng.range(-1, 1);
        double depth = rng.uniform();
        Vec2 root = pose.at + Vec2{k * R * 0.6, (depth - 0.5) * R * 0.3 - R * 0.15};
        double ang = -pi / 2 + k * 1.3 + rng.range(-0.35, 0.35);
        ts.push_back({root, ang, R * rng.range(0.25, 0.5), depth});
    }
    std::sort(ts.begin(), ts.end(), [](const T& a, const T& b) { return a.depth < b.depth; });
    for (const T& t0 : ts) {
        double outward = std::cos(t0.ang) * 0.6;
        std::vector<Vec2> axis = make_axis(t0.root, t0.ang, t0.len, sway + outward + rng.range(-0.4, 0.4), R * 0.02, rng.range(0, 6), 8);
        double w = R * rng.range(0.05, 0.075);
        double shade_k = 0.65 + 0.35 * t0.depth;
        draw_tube(c, axis, w + 3, [&](const TubeSample& t, int x, int y) {
            double ww = w * (1 - 0.25 * clamp01(t.s));
            double edge = std::fabs(t.a) - ww;
            if (t.s < 0) edge = std::max(edge, 0.5);
            if (t.s > 1) edge = std::max(edge, length(Vec2{(t.s - 1) * t0.len, t.a}) - ww);
            Colour col = mix(tent, tip, smoothstep(0.75, 1.05, t.s));
            double shade = round_shade(t.a / ww, t.normal) * shade_k;
            return Fragment{seen(s, col, shade, pose.dist, x, y), coverage(edge)};
        });
    }
}

// Shrimp: a curved, banded, partly translucent body with long antennae.
void paint_shrimp(Scene& s, Canvas& c, Rng& rng, const Pose& pose) {
    Colour body = rng.chance(0.5) ? Colour{0.95, 0.92, 0.88} : hsv(rng.range(0.0, 0.08), 0.6, 0.95);
    Colour band = hsv(rng.range(0.98, 1.03), 0.85, 0.8);
    double L = pose.size;
    double facing = std::cos(pose.angle) >= 0 ? 1 : -1;
    Vec2 head = pose.at + Vec2{facing * L * 0.35, 0};
    std::vector<Vec2> axis = make_axis(head, pose.angle + pi - facing * 0.3, L * 0.8, facing * 1.4, 0, 0, 20);
    double w = L * 0.1;
    // Antennae.
    for (int i = 0; i < 2; ++i) {
        std::vector<Vec2> ant = make_axis(head, pose.angle - facing * (0.4 + i * 0.5), L * rng.range(0.9, 1.5),
                                          facing * rng.range(0.3, 1.2), L * 0.03, rng.range(0, 6), 16);
        draw_tube(c, ant, 2.5, [&](const TubeSample& t, int x, int y) {
            if (t.s < 0 || t.s > 1) return Fragment{{0, 0, 0}, 0};
            return Fragment{seen(s, mix(body, band, 0.5), 1.0, pose.dist, x, y), coverage(std::fabs(t.a) - 0.6) * 0.8};
        });
    }
    // Legs.
    for (int i = 0; i < 5; ++i) {
        Vec2 root = axis[4 + i * 2];
        std::vector<Vec2> leg = make_axis(root, pi / 2 - facing * 0.2, L * 0.22, facing * 0.4, 0, 0, 5);
        draw_tube(c, leg, 2.5, [&](const TubeSample& t, int x, int y) {
            if (t.s < 0 || t.s > 1) return Fragment{{0, 0, 0}, 0};
            return Fragment{seen(s, body, 0.9, pose.dist, x, y), coverage(std::fabs(t.a) - 0.8) * 0.8};
        });
    }
    draw_tube(c, axis, w * 1.5, [&](const TubeSample& t, int x, int y) {
        double k = clamp01(t.s);
        double ww = w * (1 - 0.6 * k);
        if (t.s > 0.9) ww = w * 0.4 + w * 0.6 * (t.s - 0.9) / 0.1;  // tail fan
        double edge = std::fabs(t.a) - ww;
        if (t.s < 0) edge = std::max(edge, length(Vec2{t.s * L, t.a}) - ww);
        if (t.s > 1) edge = std::max(edge, 1.0);
        double seg = std::sin(t.s * 28);
        Colour col = mix(body, band, smoothstep(0.2, 0.6, seg) * 0.8);
        double shade = round_shade(t.a / ww, t.normal) * (0.9 + 0.1 * seg);
        return Fragment{seen(s, col, shade, pose.dist, x, y), coverage(edge) * 0.88};
    });
    draw_disc(c, head + Vec2{facing * w * 0.1, -w * 0.4}, w * 0.22, Colour{0.05, 0.03, 0.03}, 1.0);
}

// ---------------------------------------------------------------------------
// Particles, lens and sensor.

void paint_particles(Scene& s, Canvas& c, Rng& rng) {
    int count = static_cast<int>(rng.range(60, 260) * (0.5 + s.turbidity) * c.w * c.h / (480.0 * 360.0));
    for (int i = 0; i < count; ++i) {
        Vec2 p{rng.range(0, c.w), rng.range(0, c.h)};
        double r = rng.range(0.5, 1.8) * supersample / 2;
        double bright = rng.range(0.15, 0.6);
        Colour col = mix(s.water.at(static_cast<int>(p.x), static_cast<int>(p.y)), Colour{0.9, 0.95, 0.9}, 0.6);
        draw_disc(c, p, r, col, bright);
    }
    // A few large out-of-focus specks close to the lens.
    int bokeh = static_cast<int>(rng.below(8));
    for (int i = 0; i < bokeh; ++i) {
        Vec2 p{rng.range(0, c.w), rng.range(0, c.h)};
        double r = rng.range(5, 14) * supersample / 2;
        draw_disc(c, p, r, Colour{0.85, 0.95, 1.0}, rng.range(0.04, 0.12), r * 0.4);
    }
}

// ---------------------------------------------------------------------------
// Subjects and composition.

enum Subject {
    SubjectReefFish,
    SubjectDiscFish,
    SubjectSlenderFish,
    SubjectClownfish,
    SubjectPuffer,
    SubjectParrotfish,
    SubjectSchool,
    SubjectJellyfish,
    SubjectTurtle,
    SubjectOctopus,
    SubjectStarfish,
    SubjectSeahorse,
    SubjectCrab,
    SubjectStingray,
    SubjectManta,
    SubjectEel,
    SubjectNudibranch,
    SubjectAnemone,
    SubjectShrimp,
    SubjectCount
};

Subject choose_subject(Rng& rng, double aspect) {
    // Weighted draw; tall frames favour upright subjects, wide ones long ones.
    static const double weight[SubjectCount] = {
        1.4, 1.2, 0.7, 0.8, 0.7, 1.0, 0.9, 0.7, 0.8, 0.7, 0.7, 0.6, 0.7, 0.6, 0.5, 0.7, 0.5, 0.7, 0.6};
    double w[SubjectCount];
    double total = 0;
    for (int i = 0; i < SubjectCount; ++i) {
        w[i] = weight[i];
        Subject k = static_cast<Subject>(i);
        if (aspect > 0.9 && (k == SubjectSeahorse || k == SubjectJellyfish || k == SubjectAnemone)) w[i] *= 2;
        if (aspect < 0.6 && (k == SubjectEel || k == SubjectSlenderFish || k == SubjectStingray || k == SubjectSchool)) w[i] *= 2;
        total += w[i];
    }
    double r = rng.uniform() * total;
    for (int i = 0; i < SubjectCount; ++i) {
        r -= w[i];
        if (r < 0) return static_cast<Subject>(i);
    }
    return SubjectReefFish;
}

// Which framing suits a subject: 0 open water, 1 reef with floor, 2 looking
// down on the floor.
int framing_for(Subject k, Rng& rng) {
    switch (k) {
        case SubjectStarfish: case SubjectCrab: case SubjectNudibranch:
            return rng.chance(0.7) ? 2 : 1;
        case SubjectStingray:
            return 2;
        case SubjectJellyfish: case SubjectManta:
            return 0;
        case SubjectSchool: case SubjectSlenderFish: case SubjectTurtle:
            return rng.chance(0.4) ? 0 : 1;
        default:
            return rng.chance(0.15) ? 0 : 1;
    }
}

void paint_scenery(Scene& s, Canvas& c, Rng& rng, const Region& reg, int framing) {
    if (framing == 0 || !s.has_floor) return;
    Colour rock_tone = reg.rock > 0.8 ? Colour{0.28, 0.26, 0.25} : mix(s.sand * 0.7, Colour{0.42, 0.37, 0.33}, 0.5);
    if (!s.from_above) paint_far_reef(s, c, rng);
    // Items from far to near.
    int items = 4 + static_cast<int>(rng.below(6)) + static_cast<int>(reg.coral * 6);
    std::vector<double> depths;
    for (int i = 0; i < items; ++i) depths.push_back(rng.uniform());
    std::sort(depths.begin(), depths.end());
    for (double k : depths) {
        // Near items stand lower in the frame.
        double y = s.from_above ? rng.range(0, c.h) : lerp(s.horizon + 6, c.h * 1.05, std::pow(k, 0.8));
        double dist = s.from_above ? 0.2 : floor_distance(s, y);
        double scale = (1.15 - dist) * c.w * 0.28;
        double x = rng.range(-0.1, 1.1) * c.w;
        double pick = rng.uniform() * (reg.coral + reg.rock + reg.fans + 0.3);
        if (s.from_above) {
            // Seen from above: rocks and coral heads as low mounds.
            double size = scale * rng.range(0.08, 0.45);
            if (pick < reg.rock + 0.3) paint_rock(s, c, rng, {x, y}, size, size * 0.7, dist, rock_tone);
            else if (pick < reg.rock + 0.3 + reg.coral * 0.5) paint_brain_coral(s, c, rng, {x, y}, size * 0.8, dist);
            else paint_weed(s, c, rng, {x, y}, size, dist);
            continue;
        }
        if (pick < reg.rock) {
            paint_rock(s, c, rng, {x, y}, scale * rng.range(0.4, 0.9), scale * rng.range(0.3, 0.7), dist, rock_tone);
        } else if (pick < reg.rock + reg.coral) {
            double which = rng.uniform();
            if (which < 0.4) {
                Colour col = hsv(rng.range(0.05, 0.14), rng.range(0.3, 0.6), rng.range(0.55, 0.85));
                Colour tip = rng.chance(0.5) ? hsv(rng.range(0.6, 0.9), 0.5, 0.9) : col * 1.2;
                int stems = 2 + static_cast<int>(rng.below(4));
                for (int b = 0; b < stems; ++b)
                    paint_branch(s, c, rng, {x + rng.range(-scale * 0.2, scale * 0.2), y}, -pi / 2 + rng.range(-0.6, 0.6),
                                 scale * rng.range(0.25, 0.4), scale * 0.035, 2, col, tip, dist);
            } else if (which < 0.75) {
                paint_brain_coral(s, c, rng, {x, y}, scale * rng.range(0.3, 0.55), dist);
            } else {
                paint_weed(s, c, rng, {x, y}, scale * 0.6, dist);
            }
        } else if (pick < reg.rock + reg.coral + reg.fans) {
            if (rng.chance(0.5)) paint_fan(s, c, rng, {x, y}, scale * rng.range(0.6, 1.0), dist);
            else paint_sponges(s, c, rng, {x, y}, scale * 0.5, dist);
        } else {
            paint_weed(s, c, rng, {x, y}, scale * 0.5, dist);
        }
    }
}

void paint_subject(Scene& s, Canvas& c, Rng& rng, Subject k, const Region& reg, int framing) {
    double W = c.w, H = c.h;
    double scale = rng.range(0.75, 1.15);
    Vec2 centre{W * rng.range(0.35, 0.65), H * rng.range(0.38, 0.62)};
    double heading = rng.chance(0.5) ? rng.range(-0.35, 0.35) : pi + rng.range(-0.35, 0.35);
    double dist = rng.range(0.03, 0.12);
    double hue = reg.hue_shift;
    auto fish = [&](int plan, double size_frac) {
        // Perhaps a companion further off, drawn first.
        if (rng.chance(0.35)) {
            FishStyle f2 = random_fish(rng, plan, hue);
            Pose p2{{W * rng.range(0.1, 0.9), H * rng.range(0.2, 0.8)}, W * size_frac * 0.5, heading + rng.range(-0.4, 0.4), dist + 0.3};
            paint_fish(s, c, f2, p2, rng.range(-0.3, 0.3), rng.range(0, 1));
        }
        FishStyle f = random_fish(rng, plan, hue);
        Pose p{centre, W * size_frac * scale, heading, dist};
        paint_fish(s, c, f, p, rng.range(-0.5, 0.5), rng.range(0, 1));
    };
    switch (k) {
        case SubjectReefFish: fish(1, 0.55); break;
        case SubjectDiscFish: fish(0, 0.45); break;
        case SubjectSlenderFish: fish(2, 0.8); break;
        case SubjectClownfish:
            if (rng.chance(0.6)) paint_anemone(s, c, rng, Pose{{centre.x, H * 0.95}, W * 0.9, 0, dist + 0.05});
            fish(3, 0.35);
            break;
        case SubjectPuffer: fish(4, 0.42); break;
        case SubjectParrotfish: fish(5, 0.6); break;
        case SubjectSchool:
            paint_school(s, c, rng, centre, W * 0.45, W * rng.range(0.1, 0.18), dist + 0.1);
            break;
        case SubjectJellyfish: {
            int n = rng.chance(0.3) ? 2 + static_cast<int>(rng.below(3)) : 1;
            for (int i = 1; i < n; ++i)
                paint_jellyfish(s, c, rng, Pose{{W * rng.range(0.1, 0.9), H * rng.range(0.15, 0.6)}, W * rng.range(0.1, 0.2), 0, 0.45});
            paint_jellyfish(s, c, rng, Pose{{centre.x, H * rng.range(0.25, 0.4)}, W * 0.35 * scale, 0, dist});
            break;
        }
        case SubjectTurtle:
            paint_turtle(s, c, rng, Pose{centre, W * 0.5 * scale, heading + rng.range(-0.3, 0.3), dist});
            break;
        case SubjectOctopus:
            paint_octopus(s, c, rng, Pose{{centre.x, H * rng.range(0.45, 0.6)}, std::min(W, H) * 0.9 * scale, 0, dist});
            break;
        case SubjectStarfish: {
            double size = std::min(W, H) * 0.55 * scale;
            paint_starfish(s, c, rng, Pose{centre, size, 0, dist + 0.05});
            if (rng.chance(0.3))
                paint_starfish(s, c, rng, Pose{{W * rng.range(0.05, 0.95), H * rng.range(0.1, 0.9)}, size * 0.5, 0, dist + 0.1});
            break;
        }
        case SubjectSeahorse:
            if (framing != 0 && rng.chance(0.6)) paint_weed(s, c, rng, {centre.x + W * 0.15, H * 1.02}, H * 0.9, dist + 0.1);
            paint_seahorse(s, c, rng, Pose{{centre.x, H * 0.5}, H * 0.85 * scale, 0, dist});
            break;
        case SubjectCrab:
            paint_crab(s, c, rng, Pose{centre, std::min(W, H) * 0.75 * scale, 0, dist});
            break;
        case SubjectStingray:
            paint_ray(s, c, rng, Pose{centre, W * 0.55 * scale, rng.range(0, 2 * pi), dist + 0.05}, false);
            break;
        case SubjectManta:
            paint_ray(s, c, rng, Pose{centre, W * 0.8 * scale, -pi / 2 + rng.range(-0.6, 0.6), dist + 0.15}, true);
            break;
        case SubjectEel: {
            Vec2 lair{centre.x - std::cos(heading) * W * 0.3, centre.y + H * 0.2};
            Colour tone = reg.rock > 0.8 ? Colour{0.2, 0.19, 0.18} : s.sand * 0.55;
            paint_rock(s, c, rng, lair + Vec2{0, H * 0.3}, W * 0.35, H * 0.45, dist + 0.05, tone);
            paint_eel(s, c, rng, Pose{centre, W * 0.9 * scale, heading - 0.3 * std::cos(heading), dist});
            break;
        }
        case SubjectNudibranch:
            paint_nudibranch(s, c, rng, Pose{centre, W * 0.36 * scale, heading * 0.3 + rng.range(-0.3, 0.3), dist});
            break;
        case SubjectAnemone:
            paint_anemone(s, c, rng, Pose{{centre.x, H * 0.9}, W * 0.8 * scale, 0, dist});
            if (rng.chance(0.5)) {
                FishStyle f = random_fish(rng, 3, hue);
                paint_fish(s, c, f, Pose{{centre.x + W * rng.range(-0.2, 0.2), H * rng.range(0.25, 0.45)}, W * 0.22, heading, dist}, 0.3, 0.5);
            }
            break;
        case SubjectShrimp:
            paint_shrimp(s, c, rng, Pose{centre, W * 0.5 * scale, heading, dist});
            break;
        case SubjectCount: break;
    }
}

}  // namespace

Image paint_picture(int id, int width, int height, double detail) {
    Rng rng(0x5EA5CA9E00000000ull ^ (static_cast<uint64_t>(id) * 0x9E3779B97F4A7C15ull));
    int number = id - first_picture_id;
    Region reg = region_for(image_catalog.location_ids[std::clamp(number, 0, static_cast<int>(image_count) - 1)]);
    int W = width * supersample, H = height * supersample;
    Scene s(W, H);
    s.noise = Noise{rng.next()};
    double aspect = static_cast<double>(height) / width;
    Subject subject = choose_subject(rng, aspect);
    int framing = framing_for(subject, rng);

    double depth = rng.range(0.1, 0.9);
    double murk = (1 - reg.clarity) * rng.range(0.3, 1.0) + rng.range(0, 0.25);
    s.turbidity = clamp01(murk);
    // Water colour: the region's, darker and bluer with depth, varied a little.
    Colour tint = hsv(rng.range(0.45, 0.6), rng.range(0.0, 0.15), 1.0);
    s.water_top = mix(reg.water_top, reg.water_deep, depth * 0.35) * tint * rng.range(0.85, 1.1);
    s.water_deep = reg.water_deep * (1.0 - 0.45 * depth) * rng.range(0.85, 1.15);
    s.light = Colour{0.62 - 0.3 * depth, 0.86 - 0.12 * depth, 0.95} * (1.15 - 0.3 * depth);
    s.attenuation = Colour{2.2 + 1.5 * depth, 0.7, 0.45};
    s.flash = rng.chance(0.8) ? rng.range(0.55, 1.0) : rng.range(0.0, 0.35);
    s.sun_x = rng.range(-0.2, 1.2) * W;
    s.sand = reg.sand * rng.range(0.85, 1.1);
    s.has_floor = framing != 0;
    s.from_above = framing == 2;
    s.horizon = framing == 1 ? H * rng.range(0.25, 0.6) : (framing == 2 ? -1.0 : H * 2.0);
    bool looking_up = framing == 0 && rng.chance(0.6);

    paint_water(s, rng, depth, looking_up);
    paint_rays(s, rng, framing == 2 ? rng.range(0.0, 0.3) : rng.range(0.2, 1.0) * (1 - 0.6 * depth));

    Canvas c(W, H);
    c.px = s.water.px;
    paint_floor(s, c, rng, rng.range(0.3, 1.0) * (1 - depth * 0.7));
    paint_scenery(s, c, rng, reg, framing);
    // The background is out of focus behind the subject.
    blur(c, rng.range(0.8, 2.2) * supersample / 2);

    paint_subject(s, c, rng, subject, reg, framing);
    paint_particles(s, c, rng);

    // Soft focus of the lens.
    blur(c, (lerp(1.5, 0.6, detail) + rng.range(-0.15, 0.15)) * supersample / 2);

    // Reduce, vignette, grain.
    Image img(width, height);
    double vignette = rng.range(0.15, 0.4);
    double grain = (0.003 + 0.028 * std::pow(detail, 1.5)) * rng.range(0.9, 1.1);
    double exposure = rng.range(0.92, 1.1);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            Colour sum{0, 0, 0};
            for (int sy = 0; sy < supersample; ++sy)
                for (int sx = 0; sx < supersample; ++sx) sum = sum + c.at(x * supersample + sx, y * supersample + sy);
            Colour p = sum * (1.0 / (supersample * supersample)) * exposure;
            double dx = (x + 0.5) / width - 0.5, dy = (y + 0.5) / height - 0.5;
            double v = 1 - vignette * (dx * dx + dy * dy) * 2.2;
            double g = (rng.uniform() + rng.uniform() + rng.uniform() - 1.5) * grain * 2;
            float* out = img.at(x, y);
            out[0] = static_cast<float>(p.r * v + g + (rng.uniform() - 0.5) * grain * 0.5);
            out[1] = static_cast<float>(p.g * v + g);
            out[2] = static_cast<float>(p.b * v + g + (rng.uniform() - 0.5) * grain * 0.5);
        }
    return img;
}
