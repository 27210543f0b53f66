// The photo view's scene: what the front end draws, rebuilt from the
// view's parts after every change.
#include "app/photo_scene.h"

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

std::string picture_message(const PhotoEntry& entry, const HeldPicture& held) {
    if (!held.outcome || held.outcome->reason.empty()) return "";
    return entry.name + ": " + held.outcome->reason;
}

void add_picture(PhotoScene& s, const PhotoEntry& entry, const PhotoViewState& view, const PhotoJobs& jobs) {
    const HeldPicture& held = jobs.held(entry.id);
    if (!held.outcome || held.outcome->facts.width <= 0) return;
    const PictureFacts& facts = held.outcome->facts;
    const Zoom& zoom = view.zoom();
    s.picture_width = facts.width;
    s.picture_height = facts.height;
    s.scale = zoom.scale;
    s.quarter_turns = view.turns();
    // Whole device pixels, so that 1:1 is exact.
    s.placement =
        placement(view.turns(), zoom.scale, std::round(zoom.x), std::round(zoom.y), facts.width, facts.height);
    s.arrows_pan = zoom_past_view(zoom, view.shown_size({double(facts.width), double(facts.height)}), view.view_size());
    if (held.screen)
        s.layers.push_back(layer_of(*held.screen));
    else if (held.preview)
        s.layers.push_back(layer_of(*held.preview));
    if (held.detail) s.layers.push_back(layer_of(*held.detail));
    s.status += "   " + std::to_string(std::lround(zoom.scale * 100)) + "%   " + std::to_string(facts.width) +
                " \u00D7 " + std::to_string(facts.height);
}

void add_gallery(PhotoScene& s, const PhotoSelection& selection, const PhotoViewState& view, const PhotoJobs& jobs) {
    const PhotoViewport& viewport = view.viewport();
    const std::vector<size_t>& shown = selection.shown();
    s.columns = view.gallery_columns();
    s.first_row = view.first_row();
    s.cell_width = viewport.cell_width;
    s.cell_height = viewport.cell_height;
    s.gallery_left = (viewport.width - s.columns * viewport.cell_width) / 2;
    s.gallery_count = static_cast<int32_t>(shown.size());
    const auto [from, to] = view.gallery_in_view(shown.size());
    for (size_t at = from; at < to; ++at) {
        const PhotoEntry& entry = selection.entries()[shown[at]];
        GalleryCell cell;
        cell.name = entry.name;
        cell.selected = shown[at] == selection.selected();
        cell.failed = jobs.held(entry.id).failed();
        if (const PictureImage* image = jobs.thumbnail(entry.id))
            cell.thumbnail = {image->bgra.data(), image->width, image->height, size_t(image->width) * 4};
        s.cells.push_back(std::move(cell));
    }
}

}  // namespace

PhotoScene build_photo_scene(const PhotoModes& modes, const PhotoSelection& selection, const PhotoViewState& view,
                             const PhotoJobs& jobs) {
    PhotoScene s;
    s.revision = modes.revision;
    s.mode = modes.gallery ? PhotoScene::Mode::gallery : PhotoScene::Mode::picture;
    s.full_screen = modes.full_screen;
    s.searching = modes.searching;
    s.search_text = utf8_from_utf32(selection.search());
    if (!selection.search().empty())
        s.search_count = selection.filtering() ? count_text(selection.shown().size(), "match", "matches") : "no match";
    s.info = modes.info;
    s.bar_visible = modes.bar_visible;
    s.busy = modes.busy;

    const std::vector<PhotoEntry>& entries = selection.entries();
    const size_t shown_entry = modes.gallery ? selection.selected() : selection.current_index();
    if (shown_entry < entries.size()) {
        const PhotoEntry& entry = entries[shown_entry];
        const std::string place =
            std::to_string(selection.position_of(shown_entry) + 1) + " / " + std::to_string(selection.shown().size());
        s.title = entry.name + " \u2014 " + place;
        s.status = entry.name + "   " + place;
        if (modes.asking_trash != nullptr)
            s.confirmation = "Move \u201C" + modes.asking_trash->name + "\u201D to the trash?";
    } else {
        s.title = "no pictures";
        s.status = "no pictures left";
    }
    const PhotoEntry* current = selection.current();
    if (modes.gallery) {
        add_gallery(s, selection, view, jobs);
    } else if (current != nullptr) {
        add_picture(s, *current, view, jobs);
    }
    if (modes.slideshow) s.status += "   slideshow";
    if (selection.filtering()) s.status += "   /" + s.search_text;
    if (modes.trashing) s.status += "   moving to the trash\u2026";
    const std::string notice(modes.notice);
    if (current != nullptr) {
        s.message = notice.empty() ? picture_message(*current, jobs.held(current->id)) : notice;
        if (modes.info) {
            const HeldPicture& held = jobs.held(current->id);
            s.info_lines = picture_info(current->name, current->path, std::string(modes.working_folder),
                                        held.outcome ? &*held.outcome : nullptr);
        }
    } else {
        s.message = notice.empty() ? "No pictures left" : notice;
    }
    return s;
}
