// The photo view's pictures on the terminal: where the picture and the
// thumbnails go in cells, composed and rendered there, and what an image
// leaves behind taken off.
#include "platform/terminal/terminal_photo_screen.h"

#include "platform/photo_compose.h"
#include "platform/terminal/terminal_session.h"
#include "platform/terminal/terminal_text.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>

namespace {

// The row spans of one column.
using Spans = std::vector<std::pair<int32_t, int32_t>>;

CellRect intersect(const CellRect& a, const CellRect& b) {
    const int32_t top = std::max(a.row, b.row), left = std::max(a.col, b.col);
    const int32_t bottom = std::min(a.row + a.rows, b.row + b.rows), right = std::min(a.col + a.cols, b.col + b.cols);
    return CellRect{top, left, std::max(0, bottom - top), std::max(0, right - left)};
}

// The cells of `rect` outside every one of `holes`, as rectangles: columns
// with the same rows left go together, so that the rectangles meet side by
// side. (Sixel images come in bands of six pixel rows and may stop short
// of their cells' bottom: one above another would leave a seam.)
std::vector<CellRect> subtract(const CellRect& rect, const std::vector<CellRect>& holes) {
    std::vector<CellRect> out;
    Spans previous;
    int32_t since = rect.col;
    const auto flush = [&](int32_t col) {
        for (const auto& [from, to] : previous) out.push_back(CellRect{from, since, to - from, col - since});
    };
    for (int32_t col = rect.col; col <= rect.col + rect.cols; ++col) {
        Spans spans;
        if (col < rect.col + rect.cols && !rect.empty()) {
            spans.emplace_back(rect.row, rect.row + rect.rows);
            for (const CellRect& hole : holes) {
                if (col < hole.col || col >= hole.col + hole.cols || hole.rows <= 0) continue;
                Spans cut;
                for (const auto& [from, to] : spans) {
                    if (from < hole.row) cut.emplace_back(from, std::min(to, hole.row));
                    if (to > hole.row + hole.rows) cut.emplace_back(std::max(from, hole.row + hole.rows), to);
                }
                spans = std::move(cut);
            }
        }
        if (spans != previous || col == rect.col + rect.cols) {
            flush(col);
            previous = std::move(spans);
            since = col;
        }
    }
    return out;
}

std::string number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.17g,", value);
    return text;
}

// What a layer shows, as far as the key of its image goes.
std::string layer_key(const PhotoLayer& layer) {
    return number(double(reinterpret_cast<uintptr_t>(layer.pixels.bgra))) + number(layer.pixels.width) +
           number(layer.pixels.height) + number(layer.left) + number(layer.top) + number(layer.width) +
           number(layer.height);
}

std::string matrix_key(const PhotoMatrix& m) {
    return number(m.m11) + number(m.m12) + number(m.m21) + number(m.m22) + number(m.dx) + number(m.dy);
}

bool same_place(const CellRect& a, const CellRect& b) {
    return a.row == b.row && a.col == b.col && a.rows == b.rows && a.cols == b.cols;
}

}  // namespace

std::vector<TerminalPhotoScreen::Image> TerminalPhotoScreen::plan_images(const PhotoScene& scene,
                                                                         const Overlays& overlays) const {
    std::vector<Image> images;
    // Each part of `whole` (cells) that the area shows and no text covers.
    const auto add = [&](const CellRect& whole, Image image) {
        for (const CellRect& part : subtract(intersect(whole, area_), overlays.covered)) {
            image.rect = part;
            images.push_back(image);
        }
    };
    const std::string cell = number(cell_width_) + number(cell_height_);
    if (scene.mode == PhotoScene::Mode::picture) {
        if (scene.layers.empty() || scene.picture_width <= 0 || scene.picture_height <= 0) return images;
        // The picture's corners in the view, and the cells around them.
        const PhotoMatrix& m = scene.placement;
        double left = 1e300, top = 1e300, right = -1e300, bottom = -1e300;
        for (const double px : {0.0, double(scene.picture_width)})
            for (const double py : {0.0, double(scene.picture_height)}) {
                const double x = m.m11 * px + m.m21 * py + m.dx, y = m.m12 * px + m.m22 * py + m.dy;
                left = std::min(left, x), right = std::max(right, x), top = std::min(top, y),
                bottom = std::max(bottom, y);
            }
        // Whole cells, however far off the view the picture reaches.
        const auto cells = [](double cells) { return static_cast<int32_t>(std::clamp(cells, -1e6, 1e6)); };
        const int32_t col = cells(std::floor(left / cell_width_)), row = cells(std::floor(top / cell_height_));
        const int32_t col_end = cells(std::ceil(right / cell_width_)),
                      row_end = cells(std::ceil(bottom / cell_height_));
        Image image;
        image.key = scene.title + "|" + cell + matrix_key(m);
        for (const PhotoLayer& layer : scene.layers) image.key.append("|").append(layer_key(layer));
        image.layers = &scene.layers;
        image.placement = m;
        image.frame_row = area_.row;
        image.frame_col = area_.col;
        add(CellRect{area_.row + row, area_.col + col, row_end - row, col_end - col}, image);
        return images;
    }
    const int32_t left = scene.gallery_left / cell_width_;
    for (size_t i = 0; i < scene.cells.size() && scene.columns > 0; ++i) {
        const PhotoPixels& thumbnail = scene.cells[i].thumbnail;
        if (thumbnail.bgra == nullptr || thumbnail.width <= 0 || thumbnail.height <= 0) continue;
        // The thumbnail at its own size, in the middle of the fewest cells
        // that hold it, in the middle of its box.
        const int32_t cols = std::clamp((thumbnail.width + cell_width_ - 1) / cell_width_, 1, photo_thumbnail_cols);
        const int32_t rows = std::clamp((thumbnail.height + cell_height_ - 1) / cell_height_, 1, photo_thumbnail_rows);
        const CellRect whole{area_.row + static_cast<int32_t>(i / size_t(scene.columns)) * photo_gallery_cell_rows + 1 +
                                 (photo_thumbnail_rows - rows) / 2,
                             left + static_cast<int32_t>(i % size_t(scene.columns)) * photo_gallery_cell_cols + 1 +
                                 (photo_thumbnail_cols - cols) / 2,
                             rows, cols};
        Image image;
        image.single = PhotoLayer{thumbnail, 0, 0, double(thumbnail.width), double(thumbnail.height)};
        image.placement = PhotoMatrix{1,
                                      0,
                                      0,
                                      1,
                                      double((cols * cell_width_ - thumbnail.width) / 2),
                                      double((rows * cell_height_ - thumbnail.height) / 2)};
        image.frame_row = whole.row;
        image.frame_col = whole.col;
        image.key =
            scene.cells[i].name + "|" + cell + number(whole.row) + number(whole.col) + "|" + layer_key(image.single);
        add(whole, image);
    }
    return images;
}

std::string TerminalPhotoScreen::render(const Image& image) const {
    const bool pixels = mode_.output != PictureOutput::Symbols;
    const int32_t width = image.rect.cols * cell_width_;
    int32_t height = image.rect.rows * cell_height_;
    // Sixels come in bands of six rows: the image is cut to whole bands
    // rather than scaled to them.
    if (mode_.output == PictureOutput::Sixels) height = height / 6 * 6;
    if (width <= 0 || height <= 0) return {};
    std::vector<uint8_t> buffer(size_t(width) * size_t(height) * 4);
    const std::vector<PhotoLayer> single{image.single};
    compose_picture(image.layers != nullptr ? *image.layers : single, image.placement,
                    ComposeBuffer{buffer.data(), width, height, size_t(width) * 4, 4,
                                  (image.rect.col - image.frame_col) * cell_width_,
                                  (image.rect.row - image.frame_row) * cell_height_},
                    0x00000000);  // the terminal's background beside the picture
    const std::vector<std::string> printed =
        renderer_.render(mode_, PictureView{buffer.data(), width, height, width * 4, true}, image.rect.cols,
                         image.rect.rows, pixels ? cell_width_ : 0, pixels ? cell_height_ : 0);
    std::string out;
    if (pixels) {
        if (!printed.empty()) out = cursor_to(image.rect.row, image.rect.col) + printed.front();
        return out;
    }
    for (size_t i = 0; i < printed.size() && static_cast<int32_t>(i) < image.rect.rows; ++i)
        out += cursor_to(image.rect.row + static_cast<int32_t>(i), image.rect.col) + printed[i];
    return out;
}

std::string TerminalPhotoScreen::clear_stale(const std::vector<Image>& images, bool force) {
    std::string out;
    const auto drawn = [this](const Image& image) {
        return std::any_of(drawn_.begin(), drawn_.end(), [&image](const Image& old) {
            return same_place(old.rect, image.rect) && old.key == image.key;
        });
    };
    if (mode_.output == PictureOutput::Kitty) {
        // Kitty's images lie over the cells: any change takes them all off
        // and puts them back.
        const bool changed =
            force || images.size() != drawn_.size() || !std::all_of(images.begin(), images.end(), drawn);
        if (changed && kitty_on_screen_) out += kitty_remove_images;
        if (changed) {
            kitty_on_screen_ = false;
            drawn_.clear();
        }
        return out;
    }
    // ncurses clears the whole screen for a forced frame.
    if (force) {
        drawn_.clear();
        return out;
    }
    // A new image covers what was there, but a sixel image only where its
    // pixels are opaque: cells under a changed one are erased too.
    std::vector<CellRect> kept;
    for (const Image& image : images)
        if (mode_.output != PictureOutput::Sixels || drawn(image)) kept.push_back(image.rect);
    for (const Image& old : drawn_)
        for (const CellRect& gone : subtract(old.rect, kept))
            for (int32_t row = gone.row; row < gone.row + gone.rows; ++row)
                out += erase_cells(row, gone.col, gone.cols);
    return out;
}

std::string TerminalPhotoScreen::draw_images(std::vector<Image> images, bool force) {
    std::string out;
    for (Image& image : images) {
        const bool shown = !force && std::any_of(drawn_.begin(), drawn_.end(), [&image](const Image& old) {
            return same_place(old.rect, image.rect) && old.key == image.key;
        });
        if (!shown) out += render(image);
        if (!shown && mode_.output == PictureOutput::Kitty) kitty_on_screen_ = true;
        // Only where and what is kept: the pixels go with the scene.
        image.layers = nullptr;
        image.single = PhotoLayer{};
    }
    drawn_ = std::move(images);
    return out;
}
