// Water and scenery: the regions' water and floors, light shafts, the sea
// floor with rocks, corals, fans, sponges and weed, and the particles that
// float in front of everything.
#pragma once

#include <cstdint>

#include "picture_canvas.h"

namespace painter {

// Each part of the collection has its own water and scenery.
struct Region {
    Colour water_top, water_deep, sand;
    double coral;  // how much coral grows
    double rock;  // how rocky the floor is
    double fans;  // sea fans and sponges
    double clarity;  // 0 murky .. 1 clear
    double hue_shift;  // animal colour bias
};

// The region a picture's location lies in.
Region region_for(uint32_t location);

// The open water behind everything, with the surface when `looking_up`.
void paint_water(Scene& s, Rng& rng, double depth, bool looking_up);
// Light shafts from the sun's side.
void paint_rays(Scene& s, Rng& rng, double strength);
// The sand of the floor, when the scene has one.
void paint_floor(Scene& s, Canvas& c, Rng& rng, double caustic_strength);
// What stands on the floor, far to near, for a framing (0 open water, 1 reef
// with floor, 2 looking down on the floor).
void paint_scenery(Scene& s, Canvas& c, Rng& rng, const Region& reg, int framing);

// A rock sitting in the sand at `base`.
void paint_rock(Scene& s, Canvas& c, Rng& rng, Vec2 base, double width, double height, double dist, Colour tone);
// Sea grass or soft coral growing from `base`.
void paint_weed(Scene& s, Canvas& c, Rng& rng, Vec2 base, double size, double dist);

// Suspended particles and out-of-focus specks close to the lens.
void paint_particles(Scene& s, Canvas& c, Rng& rng);

}  // namespace painter
