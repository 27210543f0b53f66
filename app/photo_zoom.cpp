#include "app/photo_zoom.h"

#include <algorithm>
#include <cmath>

namespace {

// Scales this close count as the same: a fit computed twice, or 1:1 reached
// by steps.
constexpr double same_scale = 1e-9;

// Half a device pixel: an edge this close to the view's counts as on it.
constexpr double edge_slack = 0.5;

// One axis settled: centred when it fits, else covering the view.
double settle_axis(double position, double extent, double view) {
    if (extent <= view + edge_slack) return (view - extent) / 2;
    return std::clamp(position, view - extent, 0.0);
}

}  // namespace

double fit_scale(ZoomSize picture, ZoomSize view) {
    if (picture.width <= 0 || picture.height <= 0 || view.width <= 0 || view.height <= 0) return 1;
    return std::min({1.0, view.width / picture.width, view.height / picture.height});
}

Zoom zoom_fit(ZoomSize picture, ZoomSize view) {
    const double scale = fit_scale(picture, view);
    return Zoom{true, scale, (view.width - picture.width * scale) / 2, (view.height - picture.height * scale) / 2};
}

Zoom zoom_settle(const Zoom& zoom, ZoomSize picture, ZoomSize view) {
    if (std::abs(zoom.scale - fit_scale(picture, view)) < same_scale) return zoom_fit(picture, view);
    Zoom settled = zoom;
    settled.fit = false;
    settled.x = settle_axis(zoom.x, picture.width * zoom.scale, view.width);
    settled.y = settle_axis(zoom.y, picture.height * zoom.scale, view.height);
    return settled;
}

Zoom zoom_about(const Zoom& zoom, ZoomSize picture, ZoomSize view, double scale, double px, double py) {
    scale = std::clamp(scale, fit_scale(picture, view), zoom_maximum);
    // The picture point under (px, py) before is under it after.
    const double factor = scale / zoom.scale;
    Zoom about{false, scale, px - (px - zoom.x) * factor, py - (py - zoom.y) * factor};
    return zoom_settle(about, picture, view);
}

double zoom_step(double scale, double fit, bool in) {
    double next = in ? scale * 1.5 : scale / 1.5;
    for (const double stop : {1.0, fit})
        if (in ? scale < stop - same_scale && next > stop : scale > stop + same_scale && next < stop) next = stop;
    return next;
}

Zoom zoom_pan(const Zoom& zoom, ZoomSize picture, ZoomSize view, double dx, double dy) {
    Zoom moved = zoom;
    moved.x += dx;
    moved.y += dy;
    if (zoom.fit) return zoom;  // a fitted picture lies still
    return zoom_settle(moved, picture, view);
}

bool zoom_past_view(const Zoom& zoom, ZoomSize picture, ZoomSize view) {
    return picture.width * zoom.scale > view.width + edge_slack ||
           picture.height * zoom.scale > view.height + edge_slack;
}
