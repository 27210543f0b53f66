// Fish: one routine draws every kind, from a style whose numbers and
// colours are drawn from the kind's row of the preset table.
#include <algorithm>
#include <cmath>

#include "picture_creatures.h"

namespace painter {

namespace {

// Half-height of a fish body at u (0 nose .. 1 tail root), in body lengths.
double fish_profile(const FishStyle& f, double u) {
    if (u < 0 || u > 1) return 0;
    double core = std::pow(std::sin(pi * std::pow(u, f.front)), f.bluntness);
    double peduncle = 0.22 * smoothstep(0.55, 1.0, u);
    return f.height * std::max(core, peduncle);
}

}  // namespace

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
        double u = t.s / body_frac;  // 0..1 body, >1 tail
        double a = t.a * up_sign / len;  // + towards the back, body lengths
        double half = fish_profile(f, u);
        Fragment none{{0, 0, 0}, 0};
        double px = 1.0 / len;  // one canvas pixel in body lengths
        // Body.
        if (u >= -0.02 && u <= 1.0) {
            double nose_cap = u < 0.02 ? (0.02 - u) : 0;
            double edge = (std::fabs(a) - half) / px + nose_cap / px;
            double cov = coverage(edge);
            if (cov > 0 && half > 0) {
                double q = a / half;  // -1 belly .. 1 back
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
                    double glint =
                        smoothstep(er * 0.35, er * 0.1, length(Vec2{u - eye.x + er * 0.3, a - eye.y - er * 0.35}));
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

namespace {

// ---------------------------------------------------------------------------
// The kinds of fish as presets: what each draws, and from which ranges.

// A number a preset asks for: fixed, drawn evenly from [lo, hi), or the
// hue the region leans to.
struct Amount {
    enum Source { Fixed, Drawn, RegionHue } source;
    double lo, hi;
};
constexpr Amount fixed(double v) { return {Amount::Fixed, v, v}; }
constexpr Amount between(double lo, double hi) { return {Amount::Drawn, lo, hi}; }
constexpr Amount region_hue{Amount::RegionHue, 0, 0};

double draw(Rng& rng, const Amount& a, double hue) {
    switch (a.source) {
        case Amount::Drawn:
            return rng.range(a.lo, a.hi);
        case Amount::RegionHue:
            return hue;
        case Amount::Fixed:
            break;
    }
    return a.lo;
}

// One of up to three values: the first with probability odds[0], else the
// second with odds[1], else the third. Odds of 0 take that value without a
// draw, so a fixed value costs the generator nothing.
template <class T>
struct Choice {
    T value[3];
    double odds[2];
};
template <class T>
constexpr Choice<T> always(T v) {
    return {{v, v, v}, {0, 0}};
}
template <class T>
constexpr Choice<T> either(double odds, T a, T b) {
    return {{a, b, b}, {odds, 0}};
}
template <class T>
constexpr Choice<T> one_of(double odds_a, T a, double odds_b, T b, T c) {
    return {{a, b, c}, {odds_a, odds_b}};
}

template <class T>
T choose(Rng& rng, const Choice<T>& c) {
    for (int i = 0; i < 2; ++i)
        if (c.odds[i] == 0 || rng.chance(c.odds[i])) return c.value[i];
    return c.value[2];
}

// A colour a preset asks for: fixed, drawn in hue, saturation and value,
// the back colour times a factor, or the mark colour.
struct Tint {
    enum Source { Fixed, Hsv, Back, Mark } source;
    Colour colour;
    Choice<Amount> hue;
    Amount saturation, value;
    double scale;
};
constexpr Choice<Amount> no_hue = always(fixed(0));
constexpr Tint colour(double r, double g, double b) { return {Tint::Fixed, {r, g, b}, no_hue, fixed(0), fixed(0), 0}; }
constexpr Tint hsv_tint(Choice<Amount> h, Amount s, Amount v) { return {Tint::Hsv, {0, 0, 0}, h, s, v, 0}; }
constexpr Tint hsv_tint(Amount h, Amount s, Amount v) { return hsv_tint(always(h), s, v); }
constexpr Tint back_times(double k) { return {Tint::Back, {0, 0, 0}, no_hue, fixed(0), fixed(0), k}; }
constexpr Tint mark_tint{Tint::Mark, {0, 0, 0}, no_hue, fixed(0), fixed(0), 0};

// The back colour times `scale`, mixed towards `towards` by `by`.
struct Blend {
    double scale;
    Tint towards;
    double by;
};
constexpr Blend back_blend(double scale) { return {scale, colour(0, 0, 0), 0}; }
constexpr Blend back_blend(Tint towards, double by) { return {1, towards, by}; }

// A kind of fish: the ranges of a FishStyle's numbers and how its colours
// are drawn. The fields are drawn in this order.
struct FishPreset {
    Amount height, front, bluntness, dorsal;
    double dorsal_from, dorsal_to;
    Amount anal, tail_len, tail_spread;
    Choice<TailShape> tail;
    Choice<FishPattern> pattern;
    Tint back;
    Blend belly;
    Choice<Tint> mark;
    Blend fin;
    Amount pattern_freq;
    double silver;
};

constexpr FishPreset fish_presets[FishKindCount] = {
    // FishDeepBodied: butterfly or angelfish.
    {between(0.33, 0.42), between(0.75, 0.95), between(0.55, 0.75), between(0.3, 0.7), 0.3, 0.95, between(0.3, 0.6),
     between(0.18, 0.25), between(0.5, 0.8), either(0.5, TailSquare, TailRound),
     either(0.5, PatternEyeBand, PatternBands),
     hsv_tint(either(0.35, between(0.12, 0.16), between(0, 1)), between(0.5, 0.95), between(0.7, 1.0)),
     back_blend(colour(1, 1, 0.9), 0.5),
     either(0.5, colour(0.06, 0.05, 0.07), hsv_tint(between(0.55, 0.65), fixed(0.7), fixed(0.5))), back_blend(0.9),
     between(2.5, 5), 0.1},
    // FishSnapper: snapper or grouper.
    {between(0.17, 0.24), between(0.7, 0.9), between(0.6, 0.8), between(0.25, 0.5), 0.25, 0.85, between(0.2, 0.45),
     between(0.18, 0.26), between(0.8, 1.3), either(0.5, TailForked, TailSquare),
     one_of(0.45, PatternSpots, 0.5, PatternStripes, PatternScales),
     hsv_tint(either(0.5, between(0.0, 0.08), region_hue), between(0.4, 0.8), between(0.45, 0.85)),
     back_blend(colour(0.95, 0.9, 0.85), 0.6),
     either(0.5, hsv_tint(between(0.5, 0.6), fixed(0.6), fixed(0.9)), back_times(0.45)), back_blend(0.85),
     between(3, 7), 0.2},
    // FishSlender: barracuda, needlefish, trumpetfish.
    {between(0.06, 0.09), between(0.85, 1.1), between(0.9, 1.3), between(0.5, 1.0), 0.55, 0.75, between(0.4, 0.8),
     between(0.12, 0.18), between(1.6, 2.4), always(TailForked), either(0.6, PatternBands, PatternPlain),
     hsv_tint(between(0.5, 0.6), between(0.15, 0.35), between(0.5, 0.75)), back_blend(colour(0.9, 0.92, 0.95), 1),
     always(back_times(0.55)), back_blend(0.8), between(8, 16), 0.9},
    // FishClown: clownfish.
    {between(0.22, 0.26), fixed(0.85), fixed(0.6), fixed(0.45), 0.3, 0.9, fixed(0.4), fixed(0.22), fixed(0.75),
     always(TailRound), always(PatternClown), hsv_tint(between(0.03, 0.07), between(0.85, 1.0), between(0.85, 1.0)),
     back_blend(1.05), always(colour(0.97, 0.97, 0.95)), back_blend(1), fixed(1), 0.05},
    // FishPuffer: puffer or boxfish, nearly round.
    {between(0.3, 0.38), between(0.85, 1.0), between(0.35, 0.5), fixed(0.25), 0.7, 0.9, fixed(0.25), fixed(0.2),
     fixed(0.55), always(TailRound), always(PatternSpots),
     hsv_tint(either(0.5, between(0.1, 0.16), region_hue), between(0.4, 0.9), between(0.5, 0.9)),
     back_blend(colour(0.92, 0.9, 0.85), 1), either(0.5, colour(0.1, 0.08, 0.08), colour(0.95, 0.95, 0.9)),
     back_blend(1), between(4, 7), 0.05},
    // FishParrot: parrotfish or wrasse, colourful scales.
    {between(0.15, 0.21), fixed(0.8), between(0.5, 0.7), between(0.2, 0.35), 0.2, 0.92, fixed(0.25),
     between(0.18, 0.24), between(0.9, 1.2), either(0.5, TailLunate, TailSquare),
     either(0.6, PatternScales, PatternStripes), hsv_tint(between(0.38, 0.55), between(0.5, 0.8), between(0.5, 0.85)),
     back_blend(hsv_tint(between(0.9, 1.0), fixed(0.4), fixed(0.9)), 0.5),
     always(hsv_tint(between(0.85, 1.0), fixed(0.6), fixed(0.85))), back_blend(mark_tint, 0.5), between(2, 4), 0.1},
    // FishSchooling: fusiliers, anthias, chromis.
    {between(0.14, 0.2), fixed(0.8), fixed(0.75), fixed(0.3), 0.3, 0.75, fixed(0.3), fixed(0.28), fixed(1.3),
     always(TailForked), either(0.5, PatternStripes, PatternPlain),
     hsv_tint(either(0.5, between(0.52, 0.62), between(0.92, 1.02)), between(0.5, 0.8), between(0.6, 0.95)),
     back_blend(colour(1, 0.95, 0.9), 0.6), always(hsv_tint(between(0.1, 0.16), fixed(0.8), fixed(0.95))),
     back_blend(1), fixed(1.5), 0.5},
};

Colour draw_tint(Rng& rng, const Tint& t, const FishStyle& f, double hue) {
    switch (t.source) {
        case Tint::Hsv: {
            // Value, saturation, then hue: the order in which the collection
            // was painted, when these were drawn as hsv()'s arguments and the
            // compiler evaluated those right to left.
            double v = draw(rng, t.value, hue);
            double s = draw(rng, t.saturation, hue);
            double h = draw(rng, choose(rng, t.hue), hue);
            return hsv(h, s, v);
        }
        case Tint::Back:
            return f.back * t.scale;
        case Tint::Mark:
            return f.mark;
        case Tint::Fixed:
            break;
    }
    return t.colour;
}

Colour draw_blend(Rng& rng, const Blend& b, const FishStyle& f, double hue) {
    return mix(f.back * b.scale, draw_tint(rng, b.towards, f, hue), b.by);
}

}  // namespace

FishStyle random_fish(Rng& rng, FishKind kind, double hue_bias) {
    const FishPreset& k = fish_presets[kind];
    FishStyle f{};
    f.seed = rng.range(0, 100);
    double hue = rng.uniform() * 0.4 + hue_bias * 0.6;
    f.height = draw(rng, k.height, hue);
    f.front = draw(rng, k.front, hue);
    f.bluntness = draw(rng, k.bluntness, hue);
    f.dorsal = draw(rng, k.dorsal, hue);
    f.dorsal_from = k.dorsal_from;
    f.dorsal_to = k.dorsal_to;
    f.anal = draw(rng, k.anal, hue);
    f.tail_len = draw(rng, k.tail_len, hue);
    f.tail_spread = draw(rng, k.tail_spread, hue);
    f.tail = choose(rng, k.tail);
    f.pattern = choose(rng, k.pattern);
    f.back = draw_tint(rng, k.back, f, hue);
    f.belly = draw_blend(rng, k.belly, f, hue);
    f.mark = draw_tint(rng, choose(rng, k.mark), f, hue);
    f.fin = draw_blend(rng, k.fin, f, hue);
    f.pattern_freq = draw(rng, k.pattern_freq, hue);
    f.silver = k.silver;
    return f;
}

void paint_school(Scene& s, Canvas& c, Rng& rng, Vec2 centre, double spread, double fish_len, double dist) {
    FishStyle f = random_fish(rng, FishSchooling, rng.uniform());
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

}  // namespace painter
