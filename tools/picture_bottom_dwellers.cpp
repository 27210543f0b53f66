// Animals of the reef and the floor: octopus, starfish, seahorse, crab,
// moray eel, nudibranch, anemone and shrimp.
#include <algorithm>
#include <cmath>

#include "picture_creatures.h"

namespace painter {

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
        std::vector<Vec2> axis =
            make_axis(root, base_ang + rng.range(-0.5, 0.5), len, curl, rng.range(0, 5), rng.range(0, 6), 30);
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
    for (int y = std::max(0, static_cast<int>(head.y) - ext); y <= std::min(c.h - 1, static_cast<int>(head.y) + ext);
         ++y)
        for (int x = std::max(0, static_cast<int>(head.x) - ext);
             x <= std::min(c.w - 1, static_cast<int>(head.x) + ext); ++x) {
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
                if (ed < 0.16)
                    out = mix(out, seen(s, Colour{0.75, 0.7, 0.45}, 0.9, pose.dist, x, y), smoothstep(0.16, 0.12, ed));
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
    draw_disc(
        c, pose.at + Vec2{R * 0.08, R * 0.1}, R * 0.75,
        c.at(std::clamp(static_cast<int>(pose.at.x), 0, c.w - 1), std::clamp(static_cast<int>(pose.at.y), 0, c.h - 1)) *
            0.6,
        0.35, R * 0.4);
    for (int y = std::max(0, static_cast<int>(pose.at.y) - ext);
         y <= std::min(c.h - 1, static_cast<int>(pose.at.y) + ext); ++y)
        for (int x = std::max(0, static_cast<int>(pose.at.x) - ext);
             x <= std::min(c.w - 1, static_cast<int>(pose.at.x) + ext); ++x) {
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
    Colour col =
        hsv(rng.chance(0.5) ? rng.range(0.08, 0.15) : rng.range(0.9, 1.05), rng.range(0.5, 0.9), rng.range(0.6, 0.95));
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
        if (t.s < 0.12)
            w = H * (0.07 + 0.02 * t.s / 0.12);
        else if (t.s < 0.5)
            w = H * (0.09 + 0.05 * std::sin((t.s - 0.12) / 0.38 * pi));
        else
            w = H * 0.09 * (1 - 0.8 * (t.s - 0.5) / 0.5);
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
            return Fragment{seen(s, shell, round_shade(t.a / std::max(ww, 0.5), t.normal), pose.dist, x, y),
                            coverage(edge)};
        });
    }
    int ext = static_cast<int>(W * 1.2);
    for (int y = std::max(0, static_cast<int>(body.y) - ext); y <= std::min(c.h - 1, static_cast<int>(body.y) + ext);
         ++y)
        for (int x = std::max(0, static_cast<int>(body.x) - ext);
             x <= std::min(c.w - 1, static_cast<int>(body.x) + ext); ++x) {
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

// Moray eel: a long mottled body coming out of a rock, head raised.
void paint_eel(Scene& s, Canvas& c, Rng& rng, const Pose& pose) {
    const Noise& n = s.noise;
    Colour skin = rng.chance(0.5) ? hsv(rng.range(0.18, 0.28), rng.range(0.4, 0.7), rng.range(0.45, 0.7))
                                  : hsv(rng.range(0.08, 0.12), rng.range(0.5, 0.8), rng.range(0.5, 0.8));
    Colour mottle = skin * 0.4;
    double L = pose.size;
    double facing = std::cos(pose.angle) >= 0 ? 1 : -1;
    Vec2 tail_end = pose.at - from_angle(pose.angle) * (L * 0.5);
    std::vector<Vec2> axis =
        make_axis(tail_end, pose.angle + 0.5 * facing, L, -0.9 * facing, L * 0.06, rng.range(0, 6), 36);
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
    Colour tent = hue_pick < 0.3   ? hsv(rng.range(0.12, 0.2), rng.range(0.25, 0.5), rng.range(0.8, 1.0))
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
        return Fragment{seen(s, column * folds, round_shade(t.a / ww, t.normal) * 0.8, pose.dist, x, y),
                        coverage(edge)};
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
        std::vector<Vec2> axis =
            make_axis(t0.root, t0.ang, t0.len, sway + outward + rng.range(-0.4, 0.4), R * 0.02, rng.range(0, 6), 8);
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

}  // namespace painter
