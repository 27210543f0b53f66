// The photo view's geometry: the view's size, the zoom, pan and quarter
// turns of the picture on show, and the gallery's grid and scroll. It knows
// no pictures: each call that needs one is given the picture's own size as
// decoded (before the view's turns; zero while unknown).
#pragma once

#include "app/photo_zoom.h"
#include "platform/photo_view.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

class PhotoViewState {
public:
    // `first_zoom`: device pixels per picture pixel for the first picture
    // whose size becomes known; 0 fits it.
    explicit PhotoViewState(int32_t first_zoom) : first_zoom_(first_zoom), zoom_pending_(first_zoom > 0) {}

    const PhotoViewport& viewport() const { return view_; }
    const Zoom& zoom() const { return zoom_; }
    int32_t turns() const { return turns_; }
    ZoomSize view_size() const { return {double(view_.width), double(view_.height)}; }
    // The picture as turned on screen.
    ZoomSize shown_size(ZoomSize picture) const;
    // The part of the picture in view.
    PictureArea visible_part(ZoomSize picture) const;

    // A new size of the view; a zoomed picture keeps the point in the
    // middle of the view there.
    void set_viewport(const PhotoViewport& view, ZoomSize picture);
    // Fitted and upright, for a picture newly on show.
    void reset(ZoomSize picture);
    // Fits again, or settles the zoom, after the view or the picture's size changed.
    void refit(ZoomSize picture);
    void zoom_keys(ZoomSize picture, bool in);
    void zoom_actual(ZoomSize picture);
    void zoom_to_fit(ZoomSize picture);
    void zoom_at(ZoomSize picture, double factor, double x, double y);
    void drag(ZoomSize picture, double dx, double dy);
    // The arrow keys: a tenth of the view per press, in the directions given.
    void pan_key(ZoomSize picture, double dx, double dy);
    void rotate(ZoomSize picture, int quarter_turns);

    // The gallery of `count` cells.
    int32_t gallery_columns() const;
    int32_t gallery_rows_in_view() const;
    int32_t first_row() const { return first_row_; }
    // Where a gallery key takes the choice from position `at`.
    size_t gallery_moved(PhotoCommand command, size_t at, size_t count) const;
    // Scrolls so that the row of position `at` is in view.
    void gallery_keep_in_view(size_t at, size_t count);
    void gallery_scroll(int32_t rows, size_t count);
    // The positions whose cells are in view (a row partly in view counts): [first, second).
    std::pair<size_t, size_t> gallery_in_view(size_t count) const;
    // The position of the cell at view point (x, y), if any.
    std::optional<size_t> gallery_cell_at(double x, double y, size_t count) const;
    // The positions whose thumbnails are worth decoding (the rows in view
    // and a page beyond), nearest the choice at `chosen` first.
    std::vector<size_t> gallery_decode_order(size_t chosen, size_t count) const;

private:
    int32_t first_zoom_;
    bool zoom_pending_;  // first_zoom_ waits for the first picture's size
    PhotoViewport view_;
    Zoom zoom_;
    int32_t turns_ = 0;
    int32_t first_row_ = 0;
};
