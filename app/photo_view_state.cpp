// The photo view's geometry: zoom, pan and rotation of the picture on
// show, and the gallery's grid.
#include "app/photo_view_state.h"

#include <algorithm>
#include <cstdlib>

namespace {

// Where picture point (px, py) of a `width` x `height` picture lies once
// the view is turned `turns` quarters clockwise, and back.
std::pair<double, double> turned(int32_t turns, double width, double height, double px, double py) {
    switch (turns) {
        case 1:
            return {height - py, px};
        case 2:
            return {width - px, height - py};
        case 3:
            return {py, width - px};
        default:
            return {px, py};
    }
}
std::pair<double, double> unturned(int32_t turns, double width, double height, double sx, double sy) {
    switch (turns) {
        case 1:
            return {sy, height - sx};
        case 2:
            return {width - sx, height - sy};
        case 3:
            return {width - sy, sx};
        default:
            return {sx, sy};
    }
}

}  // namespace

ZoomSize PhotoViewState::shown_size(ZoomSize picture) const {
    if (picture.width <= 0) return {};
    if (turns_ % 2 == 1) return {picture.height, picture.width};
    return picture;
}

PictureArea PhotoViewState::visible_part(ZoomSize picture) const {
    const ZoomSize shown = shown_size(picture);
    // The view's corners on the turned picture, then on the picture itself.
    const auto clamp_to = [](double v, double limit) { return std::clamp(v, 0.0, limit); };
    const double x0 = clamp_to(-zoom_.x / zoom_.scale, shown.width),
                 y0 = clamp_to(-zoom_.y / zoom_.scale, shown.height),
                 x1 = clamp_to((view_.width - zoom_.x) / zoom_.scale, shown.width),
                 y1 = clamp_to((view_.height - zoom_.y) / zoom_.scale, shown.height);
    const auto [px0, py0] = unturned(turns_, picture.width, picture.height, x0, y0);
    const auto [px1, py1] = unturned(turns_, picture.width, picture.height, x1, y1);
    return {std::min(px0, px1), std::min(py0, py1), std::max(px0, px1), std::max(py0, py1)};
}

void PhotoViewState::set_viewport(const PhotoViewport& view, ZoomSize picture) {
    const ZoomSize before = view_size();
    view_ = view;
    if (!zoom_.fit && before.width > 0) {
        zoom_.x += (view_.width - before.width) / 2;
        zoom_.y += (view_.height - before.height) / 2;
    }
    refit(picture);
}

void PhotoViewState::reset(ZoomSize picture) {
    zoom_ = Zoom{};
    turns_ = 0;
    refit(picture);
}

void PhotoViewState::refit(ZoomSize picture) {
    const ZoomSize shown = shown_size(picture), view = view_size();
    if (shown.width <= 0) return;
    if (zoom_pending_) {
        // The first picture at the size asked for on the command line.
        zoom_pending_ = false;
        zoom_ = zoom_about(zoom_fit(shown, view), shown, view, first_zoom_, view.width / 2, view.height / 2);
        return;
    }
    zoom_ = zoom_.fit ? zoom_fit(shown, view) : zoom_settle(zoom_, shown, view);
}

void PhotoViewState::zoom_keys(ZoomSize picture, bool in) {
    const ZoomSize shown = shown_size(picture), view = view_size();
    if (shown.width <= 0) return;
    const double scale = zoom_step(zoom_.scale, fit_scale(shown, view), in);
    zoom_ = zoom_about(zoom_, shown, view, scale, view.width / 2, view.height / 2);
}

void PhotoViewState::zoom_actual(ZoomSize picture) {
    const ZoomSize shown = shown_size(picture), view = view_size();
    if (shown.width > 0) zoom_ = zoom_about(zoom_, shown, view, 1.0, view.width / 2, view.height / 2);
}

void PhotoViewState::zoom_to_fit(ZoomSize picture) { zoom_ = zoom_fit(shown_size(picture), view_size()); }

void PhotoViewState::zoom_at(ZoomSize picture, double factor, double x, double y) {
    zoom_ = zoom_about(zoom_, shown_size(picture), view_size(), zoom_.scale * factor, x, y);
}

void PhotoViewState::drag(ZoomSize picture, double dx, double dy) {
    zoom_ = zoom_pan(zoom_, shown_size(picture), view_size(), dx, dy);
}

void PhotoViewState::pan_key(ZoomSize picture, double dx, double dy) {
    drag(picture, dx * view_.width / 10.0, dy * view_.height / 10.0);
}

void PhotoViewState::rotate(ZoomSize picture, int quarter_turns) {
    const int32_t old_turns = turns_;
    turns_ = (turns_ + quarter_turns + 4) % 4;
    if (picture.width <= 0) return;
    if (zoom_.fit) return refit(picture);
    // The picture point in the middle of the view stays there.
    const ZoomSize view = view_size();
    const double cx = view.width / 2, cy = view.height / 2;
    const auto [px, py] =
        unturned(old_turns, picture.width, picture.height, (cx - zoom_.x) / zoom_.scale, (cy - zoom_.y) / zoom_.scale);
    const auto [sx, sy] = turned(turns_, picture.width, picture.height, px, py);
    zoom_ =
        zoom_settle(Zoom{false, zoom_.scale, cx - sx * zoom_.scale, cy - sy * zoom_.scale}, shown_size(picture), view);
}

int32_t PhotoViewState::gallery_columns() const {
    return view_.cell_width > 0 ? std::max(1, view_.width / view_.cell_width) : 1;
}

int32_t PhotoViewState::gallery_rows_in_view() const {
    return view_.cell_height > 0 ? std::max(1, view_.height / view_.cell_height) : 1;
}

size_t PhotoViewState::gallery_moved(PhotoCommand command, size_t position, size_t count) const {
    const auto n = static_cast<int64_t>(count);
    const int64_t columns = gallery_columns(), page = columns * gallery_rows_in_view();
    int64_t at = static_cast<int64_t>(position);
    if (at >= n) at = 0;
    switch (command) {
        case PhotoCommand::Next:
            at = std::min(at + 1, n - 1);
            break;
        case PhotoCommand::Previous:
            at = std::max<int64_t>(at - 1, 0);
            break;
        case PhotoCommand::RowDown:
            // From the row above the last, down to the last cell when the
            // one below is missing.
            if (at + columns < n)
                at += columns;
            else if (at / columns < (n - 1) / columns)
                at = n - 1;
            break;
        case PhotoCommand::RowUp:
            if (at >= columns) at -= columns;
            break;
        case PhotoCommand::PageDown:
            at = std::min(at + page, n - 1);
            break;
        case PhotoCommand::PageUp:
            at = std::max<int64_t>(at - page, 0);
            break;
        case PhotoCommand::First:
            at = 0;
            break;
        case PhotoCommand::Last:
            at = n - 1;
            break;
        default:
            break;
    }
    return static_cast<size_t>(at);
}

void PhotoViewState::gallery_keep_in_view(size_t position, size_t count) {
    const int32_t columns = gallery_columns(), rows = gallery_rows_in_view();
    const auto at = static_cast<int32_t>(std::min(position, count));
    const int32_t row = at / columns, total_rows = (static_cast<int32_t>(count) + columns - 1) / columns;
    if (row < first_row_) first_row_ = row;
    if (row >= first_row_ + rows) first_row_ = row - rows + 1;
    first_row_ = std::clamp(first_row_, 0, std::max(0, total_rows - rows));
}

void PhotoViewState::gallery_scroll(int32_t rows, size_t count) {
    const int32_t columns = gallery_columns();
    const int32_t total_rows = (static_cast<int32_t>(count) + columns - 1) / columns;
    first_row_ = std::clamp(first_row_ + rows, 0, std::max(0, total_rows - gallery_rows_in_view()));
}

std::pair<size_t, size_t> PhotoViewState::gallery_in_view(size_t count) const {
    const auto columns = size_t(gallery_columns()), rows = size_t(gallery_rows_in_view());
    const size_t from = size_t(first_row_) * columns;
    return {from, std::min(count, (size_t(first_row_) + rows + 1) * columns)};
}

std::optional<size_t> PhotoViewState::gallery_cell_at(double x, double y, size_t count) const {
    const int32_t columns = gallery_columns();
    const double left = (view_.width - columns * view_.cell_width) / 2.0;
    if (view_.cell_width <= 0 || view_.cell_height <= 0 || x < left || y < 0) return std::nullopt;
    const auto column = static_cast<int64_t>((x - left) / view_.cell_width);
    const int64_t row = static_cast<int64_t>(y / view_.cell_height) + first_row_;
    const int64_t at = row * columns + column;
    if (column >= columns || at >= static_cast<int64_t>(count)) return std::nullopt;
    return static_cast<size_t>(at);
}

std::vector<size_t> PhotoViewState::gallery_decode_order(size_t chosen, size_t count) const {
    const int64_t columns = gallery_columns(), rows = gallery_rows_in_view(), n = int64_t(count);
    const int64_t from = std::max<int64_t>(0, (first_row_ - rows) * columns);
    const int64_t to = std::min(n, (first_row_ + 2 * rows + 1) * columns);
    const auto choice = static_cast<int64_t>(chosen);
    std::vector<size_t> order;
    for (int64_t at = from; at < to; ++at) order.push_back(static_cast<size_t>(at));
    std::stable_sort(order.begin(), order.end(), [choice](size_t a, size_t b) {
        return std::abs(int64_t(a) - choice) < std::abs(int64_t(b) - choice);
    });
    return order;
}
