// The photo view's zoom and pan: where a picture of a given size lies in a
// view of a given size. Plain arithmetic over device pixels, in the
// picture's coordinates as shown on screen (after the view's own rotation).
#pragma once

struct ZoomSize {
    double width = 0, height = 0;
};

struct Zoom {
    bool fit = true;  // follows the view: the whole picture, never enlarged
    double scale = 1;  // device pixels per picture pixel
    double x = 0, y = 0;  // the view point of the picture's top-left corner
};

// A part of the picture, in its own pixels (before the view's turns).
struct PictureArea {
    double left = 0, top = 0, right = 0, bottom = 0;
};

// The most a picture is enlarged.
constexpr double zoom_maximum = 32;

// The scale that shows all of `picture` in `view`; never above 1.
double fit_scale(ZoomSize picture, ZoomSize view);

// The picture fitted and centred.
Zoom zoom_fit(ZoomSize picture, ZoomSize view);

// The picture at `scale` (kept between the fit and zoom_maximum), the
// picture point under view point (px, py) staying there; then settled.
Zoom zoom_about(const Zoom& zoom, ZoomSize picture, ZoomSize view, double scale, double px, double py);

// The scale a step of the zoom keys goes to from `scale`: times or over
// 1.5, stopping at 1:1 and at the fit on the way.
double zoom_step(double scale, double fit, bool in);

// Moved by (dx, dy), then settled.
Zoom zoom_pan(const Zoom& zoom, ZoomSize picture, ZoomSize view, double dx, double dy);

// On each axis: a picture no larger than the view is centred on it; a
// larger one covers it (no gap at either edge). A zoom at the fit scale
// becomes the fit.
Zoom zoom_settle(const Zoom& zoom, ZoomSize picture, ZoomSize view);

// Does the picture reach past the view on either axis?
bool zoom_past_view(const Zoom& zoom, ZoomSize picture, ZoomSize view);
