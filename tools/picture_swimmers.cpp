// Animals that swim in open water: jellyfish, turtles and rays.
#include <algorithm>
#include <cmath>

#include "picture_creatures.h"

namespace painter {

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
        std::vector<Vec2> axis = make_axis(root, pi / 2 + tilt + rng.range(-0.2, 0.2), len, rng.range(-0.8, 0.8),
                                           rng.range(3, 10), rng.range(0, 6), 16);
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
        std::vector<Vec2> axis = make_axis(root, pi / 2 + tilt + rng.range(-0.25, 0.25), len, rng.range(-0.6, 0.6),
                                           rng.range(4, 12), rng.range(0, 6), 16);
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
    int x0 = std::max(0, static_cast<int>(pose.at.x - r * 1.3)),
        x1 = std::min(c.w - 1, static_cast<int>(pose.at.x + r * 1.3));
    int y0 = std::max(0, static_cast<int>(pose.at.y - r * 1.3)),
        y1 = std::min(c.h - 1, static_cast<int>(pose.at.y + r * 0.4));
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
    std::vector<Vec2> neck =
        make_axis(pose.at + fwd * (L * 0.8), pose.angle + rng.range(-0.3, 0.3), L * 0.55, 0, 0, 0, 8);
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
    for (int y = std::max(0, static_cast<int>(pose.at.y) - ext);
         y <= std::min(c.h - 1, static_cast<int>(pose.at.y) + ext); ++y)
        for (int x = std::max(0, static_cast<int>(pose.at.x) - ext);
             x <= std::min(c.w - 1, static_cast<int>(pose.at.x) + ext); ++x) {
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
        draw_disc(
            c, sh, span * 0.75,
            c.at(std::clamp(static_cast<int>(sh.x), 0, c.w - 1), std::clamp(static_cast<int>(sh.y), 0, c.h - 1)) * 0.45,
            0.55, span * 0.35);
    }
    // Tail.
    std::vector<Vec2> tail =
        make_axis(pose.at - fwd * (span * (manta ? 0.3 : 0.75)), pose.angle + pi, span * (manta ? 0.7 : 1.4),
                  rng.range(-0.6, 0.6), span * 0.05, rng.range(0, 6), 14);
    draw_tube(c, tail, span * 0.08, [&](const TubeSample& t, int x, int y) {
        double w = span * 0.045 * (1 - 0.85 * clamp01(t.s)) + 0.5;
        double edge = std::fabs(t.a) - w;
        if (t.s < 0 || t.s > 1) edge = std::max(edge, 0.5);
        return Fragment{seen(s, top * 0.9, round_shade(t.a / w, t.normal), pose.dist, x, y), coverage(edge)};
    });
    int ext = static_cast<int>(span * 1.3);
    for (int y = std::max(0, static_cast<int>(pose.at.y) - ext);
         y <= std::min(c.h - 1, static_cast<int>(pose.at.y) + ext); ++y)
        for (int x = std::max(0, static_cast<int>(pose.at.x) - ext);
             x <= std::min(c.w - 1, static_cast<int>(pose.at.x) + ext); ++x) {
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

}  // namespace painter
