// Water and scenery. The floor is seen in perspective, or from above; its
// far edge and everything on it fade into the water with distance.
#include "picture_scenery.h"

#include <algorithm>
#include <cmath>

namespace painter {

// ---------------------------------------------------------------------------
// Regions.

Region region_for(uint32_t location) {
    switch (location) {
        case 3000:  // lagoon
            return {rgb(70, 160, 160), rgb(15, 70, 85), rgb(190, 180, 140), 0.7, 0.5, 0.2, 0.5, 0.1};
        case 3001:
        case 3003:
        case 3005:  // institute reef flats
            return {rgb(70, 165, 195), rgb(12, 70, 120), rgb(205, 195, 160), 0.6, 0.4, 0.3, 0.6, 0.0};
        case 3006:
        case 3007:  // Palau
            return {rgb(60, 165, 205), rgb(10, 60, 120), rgb(215, 205, 170), 0.9, 0.3, 0.4, 0.9, 0.3};
        case 3008:
        case 3011:
        case 3012:
        case 3013:  // Hawaii: dark lava rock
            return {rgb(55, 140, 200), rgb(8, 45, 100), rgb(150, 140, 120), 0.4, 0.9, 0.1, 0.85, 0.5};
        case 3010:
        case 3014:
        case 3015:  // atolls
            return {rgb(80, 190, 200), rgb(15, 90, 130), rgb(230, 220, 185), 0.7, 0.3, 0.2, 0.8, 0.7};
        case 3017:
        case 3018:
        case 3019:
        case 3020:
        case 3021:
        case 3022:  // Caribbean
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

namespace {

// Distance (0..1) of the floor at canvas row y.
double floor_distance(const Scene& s, double y) {
    if (s.from_above) return 0.12 + 0.18 * (1 - y / s.h);
    double below = (y - s.horizon) / (s.h - s.horizon + 1);
    return clamp01(0.08 + 0.92 * std::pow(1 - clamp01(below), 2.2));
}

}  // namespace

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
void paint_rock(Scene& s, Canvas& c, Rng& rng, Vec2 base, double width, double height, double dist, Colour tone) {
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

namespace {

// Branching coral: a few generations of tubes.
void paint_branch(Scene& s, Canvas& c, Rng& rng, Vec2 p, double angle, double len, double r, int depth, Colour col,
                  Colour tip, double dist) {
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
        paint_branch(s, c, rng, end, angle + da, len * rng.range(0.55, 0.8), r_end * 0.85, depth - 1, col, tip, dist);
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
    Colour col =
        hsv(rng.chance(0.5) ? rng.range(0.8, 0.95) : rng.range(0.0, 0.06), rng.range(0.5, 0.8), rng.range(0.5, 0.8));
    int strands = 30 + static_cast<int>(rng.below(25));
    double lean = rng.range(-0.3, 0.3);
    for (int i = 0; i < strands; ++i) {
        double a = -pi / 2 + lean + rng.range(-0.9, 0.9);
        double len = size * rng.range(0.5, 1.0);
        std::vector<Vec2> axis = make_axis(base, a, len, rng.range(-0.6, 0.6), rng.range(0, 4), rng.range(0, 6), 10);
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
    Colour col =
        hsv(rng.chance(0.5) ? rng.range(0.75, 0.85) : rng.range(0.05, 0.12), rng.range(0.4, 0.8), rng.range(0.45, 0.8));
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
        for (int y = std::max(0, static_cast<int>(top.y - rr)); y <= std::min(c.h - 1, static_cast<int>(top.y + rr));
             ++y)
            for (int x = std::max(0, static_cast<int>(top.x - rr - 1));
                 x <= std::min(c.w - 1, static_cast<int>(top.x + rr + 1)); ++x) {
                double u = (x + 0.5 - top.x) / rr, v = (y + 0.5 - top.y) / (rr * 0.35);
                double q = std::sqrt(u * u + v * v);
                double a = coverage((q - 1) * rr * 0.35);
                if (a <= 0) continue;
                Colour inside = col * (q < 0.8 ? 0.15 : 0.9);
                c.blend(x, y, seen(s, inside, 1.0, dist, x, y), a);
            }
    }
}

}  // namespace

// Sea grass or soft coral: waving blades.
void paint_weed(Scene& s, Canvas& c, Rng& rng, Vec2 base, double size, double dist) {
    Colour col = rng.chance(0.6) ? hsv(rng.range(0.2, 0.35), rng.range(0.4, 0.7), rng.range(0.35, 0.6))
                                 : hsv(rng.range(0.9, 1.05), rng.range(0.3, 0.6), rng.range(0.5, 0.8));
    int blades = 4 + static_cast<int>(rng.below(8));
    for (int i = 0; i < blades; ++i) {
        Vec2 b = base + Vec2{rng.range(-size * 0.3, size * 0.3), 0};
        double len = size * rng.range(0.5, 1.1);
        double r = size * rng.range(0.025, 0.05);
        std::vector<Vec2> axis = make_axis(b, -pi / 2 + rng.range(-0.4, 0.4), len, rng.range(-1.0, 1.0),
                                           rng.range(2, 8), rng.range(0, 6), 14);
        draw_tube(c, axis, r + 2, [&](const TubeSample& t, int x, int y) {
            if (t.s < 0 || t.s > 1.02) return Fragment{{0, 0, 0}, 0};
            double rr = r * (1 - 0.8 * t.s);
            double shade = round_shade(t.a / std::max(rr, 0.5), t.normal);
            return Fragment{seen(s, col, shade, dist, x, y), coverage(std::fabs(t.a) - rr)};
        });
    }
}

namespace {

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

}  // namespace

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
            if (pick < reg.rock + 0.3)
                paint_rock(s, c, rng, {x, y}, size, size * 0.7, dist, rock_tone);
            else if (pick < reg.rock + 0.3 + reg.coral * 0.5)
                paint_brain_coral(s, c, rng, {x, y}, size * 0.8, dist);
            else
                paint_weed(s, c, rng, {x, y}, size, dist);
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
                    paint_branch(s, c, rng, {x + rng.range(-scale * 0.2, scale * 0.2), y},
                                 -pi / 2 + rng.range(-0.6, 0.6), scale * rng.range(0.25, 0.4), scale * 0.035, 2, col,
                                 tip, dist);
            } else if (which < 0.75) {
                paint_brain_coral(s, c, rng, {x, y}, scale * rng.range(0.3, 0.55), dist);
            } else {
                paint_weed(s, c, rng, {x, y}, scale * 0.6, dist);
            }
        } else if (pick < reg.rock + reg.coral + reg.fans) {
            if (rng.chance(0.5))
                paint_fan(s, c, rng, {x, y}, scale * rng.range(0.6, 1.0), dist);
            else
                paint_sponges(s, c, rng, {x, y}, scale * 0.5, dist);
        } else {
            paint_weed(s, c, rng, {x, y}, scale * 0.5, dist);
        }
    }
}

// ---------------------------------------------------------------------------
// Particles.

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

}  // namespace painter
