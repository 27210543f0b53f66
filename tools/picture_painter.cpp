// Procedural underwater photographs: which scene each picture shows.
//
// A picture is painted at twice its size in each direction and reduced at
// the end. The layers, back to front: open water with depth-dependent colour
// and light, light shafts, the sea floor (sand with ripples and caustics,
// rocks, corals, sponges) fading into the water with distance, the subject
// animals, suspended particles; then lens and sensor effects: soft focus,
// vignetting and grain. Every choice is drawn from one generator seeded with
// the picture's number.
//
// picture_canvas.h has the drawing kit, picture_scenery.h the water and
// scenery, picture_creatures.h the animals.
#include "picture_painter.h"

#include <algorithm>
#include <cmath>

#include "app/catalog.h"
#include "picture_creatures.h"
#include "picture_scenery.h"

namespace painter {
namespace {

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
    static const double weight[SubjectCount] = {1.4, 1.2, 0.7, 0.8, 0.7, 1.0, 0.9, 0.7, 0.8, 0.7,
                                                0.7, 0.6, 0.7, 0.6, 0.5, 0.7, 0.5, 0.7, 0.6};
    double w[SubjectCount];
    double total = 0;
    for (int i = 0; i < SubjectCount; ++i) {
        w[i] = weight[i];
        Subject k = static_cast<Subject>(i);
        if (aspect > 0.9 && (k == SubjectSeahorse || k == SubjectJellyfish || k == SubjectAnemone)) w[i] *= 2;
        if (aspect < 0.6 && (k == SubjectEel || k == SubjectSlenderFish || k == SubjectStingray || k == SubjectSchool))
            w[i] *= 2;
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
        case SubjectStarfish:
        case SubjectCrab:
        case SubjectNudibranch:
            return rng.chance(0.7) ? 2 : 1;
        case SubjectStingray:
            return 2;
        case SubjectJellyfish:
        case SubjectManta:
            return 0;
        case SubjectSchool:
        case SubjectSlenderFish:
        case SubjectTurtle:
            return rng.chance(0.4) ? 0 : 1;
        default:
            return rng.chance(0.15) ? 0 : 1;
    }
}

void paint_subject(Scene& s, Canvas& c, Rng& rng, Subject k, const Region& reg, int framing) {
    double W = c.w, H = c.h;
    double scale = rng.range(0.75, 1.15);
    Vec2 centre{W * rng.range(0.35, 0.65), H * rng.range(0.38, 0.62)};
    double heading = rng.chance(0.5) ? rng.range(-0.35, 0.35) : pi + rng.range(-0.35, 0.35);
    double dist = rng.range(0.03, 0.12);
    double hue = reg.hue_shift;
    auto fish = [&](FishKind kind, double size_frac) {
        // Perhaps a companion further off, drawn first.
        if (rng.chance(0.35)) {
            FishStyle f2 = random_fish(rng, kind, hue);
            Pose p2{{W * rng.range(0.1, 0.9), H * rng.range(0.2, 0.8)},
                    W * size_frac * 0.5,
                    heading + rng.range(-0.4, 0.4),
                    dist + 0.3};
            paint_fish(s, c, f2, p2, rng.range(-0.3, 0.3), rng.range(0, 1));
        }
        FishStyle f = random_fish(rng, kind, hue);
        Pose p{centre, W * size_frac * scale, heading, dist};
        paint_fish(s, c, f, p, rng.range(-0.5, 0.5), rng.range(0, 1));
    };
    switch (k) {
        case SubjectReefFish:
            fish(FishSnapper, 0.55);
            break;
        case SubjectDiscFish:
            fish(FishDeepBodied, 0.45);
            break;
        case SubjectSlenderFish:
            fish(FishSlender, 0.8);
            break;
        case SubjectClownfish:
            if (rng.chance(0.6)) paint_anemone(s, c, rng, Pose{{centre.x, H * 0.95}, W * 0.9, 0, dist + 0.05});
            fish(FishClown, 0.35);
            break;
        case SubjectPuffer:
            fish(FishPuffer, 0.42);
            break;
        case SubjectParrotfish:
            fish(FishParrot, 0.6);
            break;
        case SubjectSchool:
            paint_school(s, c, rng, centre, W * 0.45, W * rng.range(0.1, 0.18), dist + 0.1);
            break;
        case SubjectJellyfish: {
            int n = rng.chance(0.3) ? 2 + static_cast<int>(rng.below(3)) : 1;
            for (int i = 1; i < n; ++i)
                paint_jellyfish(
                    s, c, rng,
                    Pose{{W * rng.range(0.1, 0.9), H * rng.range(0.15, 0.6)}, W * rng.range(0.1, 0.2), 0, 0.45});
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
                paint_starfish(s, c, rng,
                               Pose{{W * rng.range(0.05, 0.95), H * rng.range(0.1, 0.9)}, size * 0.5, 0, dist + 0.1});
            break;
        }
        case SubjectSeahorse:
            if (framing != 0 && rng.chance(0.6))
                paint_weed(s, c, rng, {centre.x + W * 0.15, H * 1.02}, H * 0.9, dist + 0.1);
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
                FishStyle f = random_fish(rng, FishClown, hue);
                paint_fish(
                    s, c, f,
                    Pose{{centre.x + W * rng.range(-0.2, 0.2), H * rng.range(0.25, 0.45)}, W * 0.22, heading, dist},
                    0.3, 0.5);
            }
            break;
        case SubjectShrimp:
            paint_shrimp(s, c, rng, Pose{centre, W * 0.5 * scale, heading, dist});
            break;
        case SubjectCount:
            break;
    }
}

}  // namespace
}  // namespace painter

Image paint_picture(int id, int width, int height, double detail) {
    using namespace painter;
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
