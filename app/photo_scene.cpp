// The photo model's scene: what the front end draws, rebuilt from the
// model's state after every change.
#include "app/photo_model.h"

#include "app/photo_facts.h"
#include "app/wide_text.h"

#include <cmath>

namespace {

// Picture point (px, py) of a `width` x `height` picture to view point:
// turned `turns` quarters clockwise, scaled, its turned top-left at (x, y).
PhotoMatrix placement(int32_t turns, double scale, double x, double y, double width, double height) {
    switch (turns) {
        case 1:  // (height - py, px)
            return {0, scale, -scale, 0, x + scale * height, y};
        case 2:  // (width - px, height - py)
            return {-scale, 0, 0, -scale, x + scale * width, y + scale * height};
        case 3:  // (py, width - px)
            return {0, -scale, scale, 0, x, y + scale * width};
        default:
            return {scale, 0, 0, scale, x, y};
    }
}

PhotoLayer layer_of(const PictureImage& image) {
    return {{image.bgra.data(), image.width, image.height, size_t(image.width) * 4},
            double(image.left),
            double(image.top),
            double(image.part_width),
            double(image.part_height)};
}

std::string count_text(size_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

}  // namespace

std::string PhotoModel::picture_message(const Entry& entry) const {
    const auto held = held_.find(entry.id);
    if (held == held_.end() || !held->second.outcome) return "";
    const PictureOutcome& outcome = *held->second.outcome;
    if (outcome.reason.empty()) return "";
    return entry.name + ": " + outcome.reason;
}

void PhotoModel::refresh() {
    PhotoScene s;
    s.revision = scene_.revision + 1;
    s.mode = gallery_ ? PhotoScene::Mode::gallery : PhotoScene::Mode::picture;
    s.full_screen = full_screen_;
    s.searching = searching_;
    s.search_text = utf8_from_utf32(search_);
    if (!search_.empty()) s.search_count = filtering_ ? count_text(shown_.size(), "match", "matches") : "no match";
    s.info = info_;
    const int64_t time = now();
    s.bar_visible = time < bar_until_;

    // The busy mark: once the picture (or its detail) has been awaited for
    // a while.
    if (!waiting()) {
        waiting_since_ = -1;
    } else if (waiting_since_ < 0) {
        waiting_since_ = time;
    }
    s.busy = waiting_since_ >= 0 && time - waiting_since_ >= photo_busy_ms;

    const size_t shown_entry = gallery_ ? selected_ : current_;
    if (shown_entry < entries_.size()) {
        const Entry& entry = entries_[shown_entry];
        const std::string place = std::to_string(position_of(shown_entry) + 1) + " / " + std::to_string(shown_.size());
        s.title = entry.name + " \u2014 " + place;
        s.status = entry.name + "   " + place;
        if (asking_trash_) {
            for (const Entry& e : entries_)
                if (e.id == *asking_trash_) s.confirmation = "Move \u201C" + e.name + "\u201D to the trash?";
        }
        // The picture on show at the first: until it is displayed, it
        // appears with its picture.
        if (current() != nullptr && displayed(held_[current()->id]) && shown_at_ < 0) shown_at_ = time;
    } else {
        s.title = "no pictures";
        s.status = "no pictures left";
    }
    if (gallery_) {
        build_gallery_scene(s);
    } else {
        build_picture_scene(s);
    }
    if (slideshow_) s.status += "   slideshow";
    if (filtering_) s.status += "   /" + s.search_text;
    if (!trashing_.empty()) s.status += "   moving to the trash\u2026";
    if (const Entry* entry = current()) {
        s.message = notice_.empty() ? picture_message(*entry) : notice_;
        if (info_) {
            const auto held = held_.find(entry->id);
            const PictureOutcome* outcome =
                held != held_.end() && held->second.outcome ? &*held->second.outcome : nullptr;
            s.info_lines = picture_info(entry->name, entry->path, options_.working_folder, outcome);
        }
    } else {
        s.message = notice_.empty() ? "No pictures left" : notice_;
    }
    scene_ = std::move(s);
}

void PhotoModel::build_picture_scene(PhotoScene& s) {
    const Entry* entry = current();
    if (entry == nullptr) return;
    const Held& held = held_[entry->id];
    if (!held.outcome || held.outcome->facts.width <= 0) return;
    const PictureFacts& facts = held.outcome->facts;
    s.picture_width = facts.width;
    s.picture_height = facts.height;
    s.scale = zoom_.scale;
    s.quarter_turns = turns_;
    // Whole device pixels, so that 1:1 is exact.
    s.placement = placement(turns_, zoom_.scale, std::round(zoom_.x), std::round(zoom_.y), facts.width, facts.height);
    s.arrows_pan = zoom_past_view(zoom_, shown_size(), view_size());
    if (held.screen)
        s.layers.push_back(layer_of(*held.screen));
    else if (held.preview)
        s.layers.push_back(layer_of(*held.preview));
    if (held.detail) s.layers.push_back(layer_of(*held.detail));
    s.status += "   " + std::to_string(std::lround(zoom_.scale * 100)) + "%   " + std::to_string(facts.width) +
                " \u00D7 " + std::to_string(facts.height);
}

void PhotoModel::build_gallery_scene(PhotoScene& s) {
    const int32_t columns = gallery_columns(), rows = gallery_rows_in_view();
    s.columns = columns;
    s.first_row = first_row_;
    s.cell_width = view_.cell_width;
    s.cell_height = view_.cell_height;
    s.gallery_left = (view_.width - columns * view_.cell_width) / 2;
    s.gallery_count = static_cast<int32_t>(shown_.size());
    const size_t from = size_t(first_row_) * size_t(columns);
    const size_t to = std::min(shown_.size(), size_t(first_row_ + rows + 1) * size_t(columns));
    ++thumbnail_clock_;
    for (size_t at = from; at < to; ++at) {
        const Entry& entry = entries_[shown_[at]];
        GalleryCell cell;
        cell.name = entry.name;
        cell.selected = shown_[at] == selected_;
        const auto held = held_.find(entry.id);
        cell.failed = held != held_.end() && held->second.outcome &&
                      (held->second.outcome->result == PictureResult::decode_failed ||
                       held->second.outcome->result == PictureResult::unreadable);
        if (auto thumbnail = thumbnails_.find(entry.id); thumbnail != thumbnails_.end()) {
            const PictureImage& image = *thumbnail->second.image;
            cell.thumbnail = {image.bgra.data(), image.width, image.height, size_t(image.width) * 4};
            thumbnail->second.used = thumbnail_clock_;
        }
        s.cells.push_back(std::move(cell));
    }
}
