// The photo model's geometry: zoom, pan and rotation of the picture on
// show, and the gallery's grid.
#include "app/photo_model.h"

#include <algorithm>
#include <utility>

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

ZoomSize PhotoModel::shown_size() const {
    const Entry* entry = current();
    const auto held = entry != nullptr ? held_.find(entry->id) : held_.end();
    if (held == held_.end() || !held->second.outcome || held->second.outcome->facts.width <= 0) return {};
    const PictureFacts& facts = held->second.outcome->facts;
    if (turns_ % 2 == 1) return {double(facts.height), double(facts.width)};
    return {double(facts.width), double(facts.height)};
}

ZoomSize PhotoModel::view_size() const { return {double(view_.width), double(view_.height)}; }

void PhotoModel::refit() {
    if (shown_size().width <= 0) return;
    if (zoom_pending_) {
        // The first picture at the size asked for on the command line.
        zoom_pending_ = false;
        const Zoom fitted = zoom_fit(shown_size(), view_size());
        zoom_ = zoom_about(fitted, shown_size(), view_size(), options_.zoom, view_.width / 2.0, view_.height / 2.0);
        return;
    }
    zoom_ = zoom_.fit ? zoom_fit(shown_size(), view_size()) : zoom_settle(zoom_, shown_size(), view_size());
}

void PhotoModel::zoom_keys(bool in) {
    const ZoomSize picture = shown_size(), view = view_size();
    if (picture.width <= 0) return;
    const double scale = zoom_step(zoom_.scale, fit_scale(picture, view), in);
    zoom_ = zoom_about(zoom_, picture, view, scale, view.width / 2, view.height / 2);
}

void PhotoModel::zoom_actual() {
    const ZoomSize picture = shown_size(), view = view_size();
    if (picture.width > 0) zoom_ = zoom_about(zoom_, picture, view, 1.0, view.width / 2, view.height / 2);
}

void PhotoModel::pan_key(double dx, double dy) {
    // A tenth of the view per press.
    zoom_ = zoom_pan(zoom_, shown_size(), view_size(), dx * view_.width / 10.0, dy * view_.height / 10.0);
}

void PhotoModel::rotate(int quarter_turns) {
    const ZoomSize before = shown_size();
    const int32_t old_turns = turns_;
    turns_ = (turns_ + quarter_turns + 4) % 4;
    if (before.width <= 0) return;
    if (zoom_.fit) return refit();
    // The picture point in the middle of the view stays there.
    const ZoomSize after = shown_size(), view = view_size();
    const double width = old_turns % 2 == 1 ? before.height : before.width;
    const double height = old_turns % 2 == 1 ? before.width : before.height;
    const double cx = view.width / 2, cy = view.height / 2;
    const auto [px, py] =
        unturned(old_turns, width, height, (cx - zoom_.x) / zoom_.scale, (cy - zoom_.y) / zoom_.scale);
    const auto [sx, sy] = turned(turns_, width, height, px, py);
    zoom_ = zoom_settle(Zoom{false, zoom_.scale, cx - sx * zoom_.scale, cy - sy * zoom_.scale}, after, view);
}

int32_t PhotoModel::gallery_columns() const {
    return view_.cell_width > 0 ? std::max(1, view_.width / view_.cell_width) : 1;
}

int32_t PhotoModel::gallery_rows_in_view() const {
    return view_.cell_height > 0 ? std::max(1, view_.height / view_.cell_height) : 1;
}

void PhotoModel::gallery_move(PhotoCommand command) {
    if (shown_.empty()) return;
    const int64_t n = static_cast<int64_t>(shown_.size()), columns = gallery_columns();
    const int64_t page = columns * gallery_rows_in_view();
    int64_t at = static_cast<int64_t>(position_of(selected_));
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
    selected_ = shown_[static_cast<size_t>(at)];
    gallery_keep_in_view();
}

void PhotoModel::gallery_keep_in_view() {
    const int32_t columns = gallery_columns(), rows = gallery_rows_in_view();
    const auto count = static_cast<int32_t>(shown_.size());
    const int32_t at = static_cast<int32_t>(std::min(position_of(selected_), shown_.size()));
    const int32_t row = at / columns, total_rows = (count + columns - 1) / columns;
    if (row < first_row_) first_row_ = row;
    if (row >= first_row_ + rows) first_row_ = row - rows + 1;
    first_row_ = std::clamp(first_row_, 0, std::max(0, total_rows - rows));
}
