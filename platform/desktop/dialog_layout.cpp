// The desktop dialog's layout at any window size.
#include "platform/desktop/dialog_layout.h"

#include "platform/desktop/dialog_widgets.h"
#include "platform/platform.h"

#include <algorithm>
#include <cmath>

namespace {

// The template's shape: the column is the controls in its right half, the
// strip the others.
struct Shape {
    int32_t column_left = 0;  // dialog units
    int32_t column_width = 0;
    int32_t strip_top = 0;
    int32_t strip_height = 0;  // the strip controls' heights added up
    bool has_column = false;
    bool has_strip = false;
};

bool in_column(const DialogTemplate& t, const DialogControlTemplate& c) { return c.x * 2 >= t.width; }

bool stretches(const DialogControlTemplate& c) {
    return control_class(c) == control_class_edit && (c.style & edit_style_multi_line) != 0;
}

Shape shape_of(const DialogTemplate& t) {
    Shape s;
    s.column_left = t.width;
    s.strip_top = t.height;
    for (const DialogControlTemplate& c : t.controls) {
        if (in_column(t, c)) {
            s.has_column = true;
            s.column_left = std::min<int32_t>(s.column_left, c.x);
            s.column_width = std::max<int32_t>(s.column_width, c.width);
        } else {
            s.has_strip = true;
            s.strip_top = std::min<int32_t>(s.strip_top, c.y);
            s.strip_height += c.height;
        }
    }
    return s;
}

// The gap between neighbours and at the window's edges.
int32_t gap(const DialogUnits& u) { return std::max(2, u.x(2)); }

int32_t done_height(const DialogUnits& u, bool with_done) { return with_done ? u.y(14) : 0; }

// The column's width: its template share of the window, at least room for
// a dozen and a half average characters and at most three dozen.
int32_t column_width(const Shape& s, const DialogTemplate& t, const DialogUnits& u, int32_t window_width) {
    if (!s.has_column) return 0;
    const int32_t least = std::max(u.x(s.column_width), 18 * u.base_x);
    const int32_t most = std::max(least, 36 * u.base_x);
    return std::clamp<int32_t>(window_width * s.column_width / std::max<int32_t>(1, t.width), least, most);
}

// The strip's height: each control at least its template height, and half
// its template share of the window's height.
int32_t strip_control_height(const DialogControlTemplate& c, const DialogTemplate& t, const DialogUnits& u,
                             int32_t window_height) {
    return std::max(u.y(c.height), window_height * c.height / std::max<int32_t>(1, 2 * t.height));
}

// The column's controls from the top, with the template's gaps.
std::vector<size_t> column_order(const DialogTemplate& t) {
    std::vector<size_t> order;
    for (size_t i = 0; i < t.controls.size(); ++i)
        if (in_column(t, t.controls[i])) order.push_back(i);
    std::stable_sort(order.begin(), order.end(),
                     [&t](size_t a, size_t b) { return t.controls[a].y < t.controls[b].y; });
    return order;
}

// The column's height without its stretching boxes, and their number.
int32_t column_fixed_height(const DialogTemplate& t, const DialogUnits& u, bool with_done, int32_t* stretching) {
    int32_t height = gap(u) + (with_done ? done_height(u, true) + gap(u) : 0);
    int32_t bottom = 0;
    *stretching = 0;
    for (size_t i : column_order(t)) {
        const DialogControlTemplate& c = t.controls[i];
        height += u.y(std::max<int32_t>(0, c.y - bottom));
        bottom = c.y + c.height;
        if (stretches(c))
            ++*stretching;
        else
            height += u.y(c.height);
    }
    return height;
}

// A stretching box's least height: three lines.
int32_t least_stretch(const DialogUnits& u) { return u.y(24); }

}  // namespace

QSize template_picture_size(const DialogTemplate& layout) {
    const Shape s = shape_of(layout);
    const DialogUnits handheld;
    return QSize(handheld.x(s.column_left), handheld.y(s.strip_top));
}

DialogLayout layout_dialog(const DialogTemplate& t, const DialogUnits& u, QSize window, bool with_done) {
    const Shape s = shape_of(t);
    const int32_t g = gap(u);
    const int32_t width = window.width(), height = window.height();
    DialogLayout out;
    out.controls.resize(t.controls.size());

    // The column at the right.
    const int32_t column_w = column_width(s, t, u, width);
    const int32_t column_x = std::max(0, width - g - column_w);
    int32_t stretching = 0;
    const int32_t fixed = column_fixed_height(t, u, with_done, &stretching);
    const int32_t stretch_each = stretching > 0 ? std::max(0, height - fixed) / stretching : 0;
    int32_t y = 0, bottom_units = 0;
    for (size_t i : column_order(t)) {
        const DialogControlTemplate& c = t.controls[i];
        y += u.y(std::max<int32_t>(0, c.y - bottom_units));
        bottom_units = c.y + c.height;
        const int32_t h = stretches(c) ? stretch_each : u.y(c.height);
        out.controls[i] = QRect(column_x, y, column_w, h);
        y += h;
    }
    if (with_done) {
        const int32_t h = done_height(u, true);
        out.done = QRect(column_x, std::max(y + g, height - g - h), column_w, h);
    }

    // The strip under the picture, spanning the width left of the column.
    const int32_t left_w = std::max(0, column_x - 2 * g);
    int32_t strip_h = 0;
    for (const DialogControlTemplate& c : t.controls)
        if (!in_column(t, c)) strip_h += strip_control_height(c, t, u, height) + g;
    int32_t strip_y = std::max(g, height - strip_h);
    for (size_t i = 0; i < t.controls.size(); ++i) {
        const DialogControlTemplate& c = t.controls[i];
        if (in_column(t, c)) continue;
        const int32_t h = strip_control_height(c, t, u, height);
        out.controls[i] = QRect(g, strip_y, left_w, h);
        strip_y += h + g;
    }
    out.picture_area = QRect(g, g, left_w, std::max(0, height - strip_h - 2 * g));
    return out;
}

QSize dialog_size_for_picture(const DialogTemplate& t, const DialogUnits& u, int32_t picture_height, bool with_done) {
    const Shape s = shape_of(t);
    const QSize free = template_picture_size(t);
    const int32_t g = gap(u);
    const int32_t picture_width = picture_height * free.width() / std::max(1, free.height());
    // The column takes its share of the width it is part of.
    const double share = s.has_column ? double(s.column_width) / std::max<int32_t>(1, t.width) : 0.0;
    const int32_t guess = static_cast<int32_t>(std::lround((picture_width + 3 * g) / (1.0 - share)));
    const int32_t width = picture_width + column_width(s, t, u, guess) + 3 * g;
    // The strip likewise, with each control at least its template height.
    const double strip_share = double(s.strip_height) / std::max<int32_t>(1, 2 * t.height);
    int32_t height = static_cast<int32_t>(std::lround((picture_height + 3 * g) / (1.0 - strip_share)));
    height = std::max(height, picture_height + u.y(s.strip_height) + 3 * g);
    const QSize least = smallest_dialog_size(t, u, with_done);
    return QSize(std::max(width, least.width()), std::max(height, least.height()));
}

QSize smallest_dialog_size(const DialogTemplate& t, const DialogUnits& u, bool with_done) {
    const Shape s = shape_of(t);
    const QSize free = template_picture_size(t);
    const int32_t g = gap(u);
    int32_t stretching = 0;
    const int32_t column = column_fixed_height(t, u, with_done, &stretching) + stretching * least_stretch(u);
    const int32_t left = free.height() + u.y(s.strip_height) + 3 * g;
    return QSize(free.width() + column_width(s, t, u, 0) + 3 * g, std::max(column, left));
}
