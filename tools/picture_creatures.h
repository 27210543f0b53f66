// The animals of the pictures. Fish of every kind are drawn by one routine
// from a style drawn out of their kind's preset (picture_fish.cpp); the other
// animals each have their own shape: those that swim in open water in
// picture_swimmers.cpp, those that live on the reef and the floor in
// picture_bottom_dwellers.cpp.
#pragma once

#include "picture_canvas.h"

namespace painter {

// Where and how large an animal is drawn.
struct Pose {
    Vec2 at;  // centre, canvas pixels
    double size;  // overall length, canvas pixels
    double angle;  // heading (0 = to the right)
    double dist;  // 0..1
};

// ---------------------------------------------------------------------------
// Fish.

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

// The kinds of fish, each a row of the preset table in picture_fish.cpp.
enum FishKind {
    FishDeepBodied,  // butterfly or angelfish
    FishSnapper,  // snapper or grouper
    FishSlender,  // barracuda, needlefish, trumpetfish
    FishClown,  // clownfish
    FishPuffer,  // puffer or boxfish: nearly round
    FishParrot,  // parrotfish or wrasse: colourful scales
    FishSchooling,  // small schooling fish: fusiliers, anthias, chromis
    FishKindCount
};

// One fish's body, fins and colouring.
struct FishStyle {
    double height;  // body half-height over length
    double front;  // exponent: <1 puts the deepest point forward
    double bluntness;  // exponent: <1 blunt nose
    double dorsal;  // dorsal fin height over body half-height
    double dorsal_from, dorsal_to;
    double anal;
    double tail_len;  // over body length
    double tail_spread;  // tail half-height over body half-height
    TailShape tail;
    FishPattern pattern;
    Colour back, belly, mark, fin;
    double pattern_freq;
    double silver;  // specular strength
    double seed;
};

// A fish of `kind`, its colours leaning towards `hue_bias` where the kind
// takes the region's hue.
FishStyle random_fish(Rng& rng, FishKind kind, double hue_bias);
// Draws the fish, its body bent by `bend` radians and undulating by `wave`.
void paint_fish(Scene& s, Canvas& c, const FishStyle& f, const Pose& pose, double bend, double wave);
// A school of small fish heading roughly one way.
void paint_school(Scene& s, Canvas& c, Rng& rng, Vec2 centre, double spread, double fish_len, double dist);

// ---------------------------------------------------------------------------
// Swimmers in open water.

void paint_jellyfish(Scene& s, Canvas& c, Rng& rng, const Pose& pose);
void paint_turtle(Scene& s, Canvas& c, Rng& rng, const Pose& pose);
// A stingray over sand, or a manta seen from below.
void paint_ray(Scene& s, Canvas& c, Rng& rng, const Pose& pose, bool manta);

// ---------------------------------------------------------------------------
// Dwellers of the reef and the floor.

void paint_octopus(Scene& s, Canvas& c, Rng& rng, const Pose& pose);
void paint_starfish(Scene& s, Canvas& c, Rng& rng, const Pose& pose);
void paint_seahorse(Scene& s, Canvas& c, Rng& rng, const Pose& pose);
void paint_crab(Scene& s, Canvas& c, Rng& rng, const Pose& pose);
void paint_eel(Scene& s, Canvas& c, Rng& rng, const Pose& pose);
void paint_nudibranch(Scene& s, Canvas& c, Rng& rng, const Pose& pose);
void paint_anemone(Scene& s, Canvas& c, Rng& rng, const Pose& pose);
void paint_shrimp(Scene& s, Canvas& c, Rng& rng, const Pose& pose);

}  // namespace painter
