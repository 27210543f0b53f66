// The photo model's decoding: what it asks the worker threads for, in which
// order, what it keeps of their results, and what it lets go.
#include "app/photo_model.h"

#include <algorithm>
#include <cmath>

namespace {

bool failed(const PictureOutcome& outcome) {
    return outcome.result == PictureResult::decode_failed || outcome.result == PictureResult::unreadable;
}

size_t image_bytes(const PictureImage& image) { return image.bgra.size(); }

// A picture at its own size serves every box it fits in.
bool serves(const PictureImage& image, const PictureRequest& request, const PictureFacts& facts) {
    return image.width == facts.width && image.height == facts.height && image.width <= request.box_width &&
           image.height <= request.box_height;
}

}  // namespace

bool PhotoModel::displayed(const Held& held) const {
    return held.screen || held.preview || (held.outcome && failed(*held.outcome));
}

size_t PhotoModel::ahead() const {
    if (shown_.size() < 2 || current() == nullptr) return current_;
    const size_t n = shown_.size(), at = position_of(current_);
    return shown_[direction_ > 0 ? (at + 1) % n : (at + n - 1) % n];
}

PictureRequest PhotoModel::screen_request(const Entry&) const {
    PictureRequest request;
    const bool across = turns_ % 2 == 1;
    request.box_width = across ? view_.height : view_.width;
    request.box_height = across ? view_.width : view_.height;
    return request;
}

PhotoModel::Part PhotoModel::visible_part() const {
    const ZoomSize shown = shown_size();
    const bool across = turns_ % 2 == 1;
    const double width = across ? shown.height : shown.width, height = across ? shown.width : shown.height;
    // The view's corners on the turned picture, then on the picture itself.
    const auto clamp_to = [](double v, double limit) { return std::clamp(v, 0.0, limit); };
    const double x0 = clamp_to(-zoom_.x / zoom_.scale, shown.width),
                 y0 = clamp_to(-zoom_.y / zoom_.scale, shown.height),
                 x1 = clamp_to((view_.width - zoom_.x) / zoom_.scale, shown.width),
                 y1 = clamp_to((view_.height - zoom_.y) / zoom_.scale, shown.height);
    double px[2], py[2];
    for (int corner = 0; corner < 2; ++corner) {
        const double sx = corner == 0 ? x0 : x1, sy = corner == 0 ? y0 : y1;
        switch (turns_) {
            case 1:
                px[corner] = sy, py[corner] = height - sx;
                break;
            case 2:
                px[corner] = width - sx, py[corner] = height - sy;
                break;
            case 3:
                px[corner] = width - sy, py[corner] = sx;
                break;
            default:
                px[corner] = sx, py[corner] = sy;
        }
    }
    return {std::min(px[0], px[1]), std::min(py[0], py[1]), std::max(px[0], px[1]), std::max(py[0], py[1])};
}

std::optional<PictureRequest> PhotoModel::wanted_detail(const Held& held) const {
    if (!held.outcome || !held.screen || held.outcome->facts.width <= 0) return std::nullopt;
    const PictureFacts& facts = held.outcome->facts;
    const double screen_resolution = double(held.screen->width) / facts.width;
    if (zoom_.scale <= screen_resolution * 1.001) return std::nullopt;
    PictureRequest request;
    // From half size up the whole picture at full resolution serves every
    // zoom, when it fits the budget; smaller scales would alias drawn from it.
    if (zoom_.scale >= 0.5 && int64_t{facts.width} * facts.height * 4 <= options_.memory.full_resolution_bytes) {
        request.box_width = facts.width;
        request.box_height = facts.height;
        return request;
    }
    // Else the part in view with half of it again on each side, at the
    // resolution the zoom needs.
    const Part seen = visible_part();
    const double margin_x = (seen.right - seen.left) / 2, margin_y = (seen.bottom - seen.top) / 2;
    const auto left = static_cast<int32_t>(std::max(0.0, std::floor(seen.left - margin_x)));
    const auto top = static_cast<int32_t>(std::max(0.0, std::floor(seen.top - margin_y)));
    const auto right = static_cast<int32_t>(std::min<double>(facts.width, std::ceil(seen.right + margin_x)));
    const auto bottom = static_cast<int32_t>(std::min<double>(facts.height, std::ceil(seen.bottom + margin_y)));
    const double resolution = std::min(1.0, zoom_.scale);
    request.left = left, request.top = top;
    request.width = std::max(1, right - left), request.height = std::max(1, bottom - top);
    request.box_width = std::max(1, static_cast<int32_t>(std::ceil(request.width * resolution)));
    request.box_height = std::max(1, static_cast<int32_t>(std::ceil(request.height * resolution)));
    return request;
}

bool PhotoModel::detail_serves(const Held& held, const PictureRequest& wanted) const {
    if (!held.detail) return false;
    if (held.detail_request == wanted) return true;
    // A part that covers the view at about the resolution wanted (not so
    // fine that drawing it smaller would alias) saves a decode.
    const PictureImage& d = *held.detail;
    const double resolution = double(d.width) / d.part_width;
    const double wanted_resolution = double(wanted.box_width) / (wanted.width > 0 ? wanted.width : d.width);
    const Part seen = visible_part();
    return d.left <= seen.left + 0.5 && d.top <= seen.top + 0.5 && d.left + d.part_width >= seen.right - 0.5 &&
           d.top + d.part_height >= seen.bottom - 0.5 && resolution >= wanted_resolution * 0.999 &&
           resolution <= wanted_resolution * 2.001;
}

bool PhotoModel::waiting() const {
    const Entry* entry = current();
    if (gallery_ || entry == nullptr) return false;
    const auto found = held_.find(entry->id);
    // Only a preview on show is still a wait for the picture.
    static const Held nothing;
    const Held& held = found == held_.end() ? nothing : found->second;
    if (!displayed(held)) return true;
    if (held.preview && !held.screen && !(held.outcome && failed(*held.outcome))) return true;
    const std::optional<PictureRequest> detail = wanted_detail(held);
    return detail && !detail_serves(held, *detail);
}

void PhotoModel::ask_for_work() {
    if (host_ == nullptr || finished_ || view_.width <= 0 || view_.height <= 0) return;
    std::vector<PictureJob> jobs;
    const auto add = [&jobs](const Entry& entry, PictureJobKind kind, const PictureRequest& request) {
        jobs.push_back({entry.id, kind, request, entry.path});
    };
    // The picture at the view's size, unless a good one is held.
    const auto want_screen = [&](const Entry& entry, bool with_preview) {
        const Held& held = held_[entry.id];
        if (held.outcome && failed(*held.outcome)) return;
        const PictureRequest request = screen_request(entry);
        if (held.screen && (held.screen_request == request || serves(*held.screen, request, held.outcome->facts)))
            return;
        if (with_preview && !held.screen && !held.preview) {
            PictureRequest preview;
            preview.box_width = std::max(1, request.box_width / 4);
            preview.box_height = std::max(1, request.box_height / 4);
            add(entry, PictureJobKind::preview, preview);
        }
        add(entry, PictureJobKind::screen, request);
    };
    if (gallery_) {
        // The thumbnails in view and a page beyond, nearest the choice first.
        const int64_t columns = gallery_columns(), rows = gallery_rows_in_view(), n = int64_t(shown_.size());
        const int64_t from = std::max<int64_t>(0, (first_row_ - rows) * columns);
        const int64_t to = std::min(n, (first_row_ + 2 * rows + 1) * columns);
        const auto choice = static_cast<int64_t>(position_of(selected_));
        std::vector<int64_t> order;
        for (int64_t at = from; at < to; ++at) order.push_back(at);
        std::stable_sort(order.begin(), order.end(),
                         [choice](int64_t a, int64_t b) { return std::abs(a - choice) < std::abs(b - choice); });
        PictureRequest request;
        request.box_width = std::max(1, view_.thumbnail_width);
        request.box_height = std::max(1, view_.thumbnail_height);
        for (const int64_t at : order) {
            const Entry& entry = entries_[shown_[static_cast<size_t>(at)]];
            const auto held = held_.find(entry.id);
            if (held != held_.end() && held->second.outcome && failed(*held->second.outcome)) continue;
            const auto thumbnail = thumbnails_.find(entry.id);
            if (thumbnail == thumbnails_.end() || thumbnail->second.request != request)
                add(entry, PictureJobKind::thumbnail, request);
        }
    } else if (const Entry* entry = current()) {
        want_screen(*entry, true);
        const Held& held = held_[entry->id];
        if (const std::optional<PictureRequest> detail = wanted_detail(held); detail && !detail_serves(held, *detail))
            add(*entry, PictureJobKind::detail, *detail);
        // The next picture only once this one shows: a jump must not wait
        // for work ahead.
        if (ahead() != current_ && displayed(held)) want_screen(entries_[ahead()], false);
    }
    work_->want(std::move(jobs));
}

void PhotoModel::keep_only_what_is_needed() {
    const Entry* entry = current();
    const uint32_t on_show = entry != nullptr ? entry->id : 0;
    const uint32_t next = entry != nullptr && ahead() != current_ ? entries_[ahead()].id : 0;
    const bool zoomed = entry != nullptr && !zoom_.fit;
    for (auto& [id, held] : held_) {
        if (id != on_show || !zoomed) held.detail.reset();
        if (id != on_show) held.preview.reset();
        if (id != on_show && id != next) held.screen.reset();
    }
    // The thumbnails seen longest ago go first.
    int64_t bytes = 0;
    for (const auto& [id, thumbnail] : thumbnails_) bytes += int64_t(image_bytes(*thumbnail.image));
    while (bytes > options_.memory.thumbnail_bytes && !thumbnails_.empty()) {
        auto oldest = std::min_element(thumbnails_.begin(), thumbnails_.end(),
                                       [](const auto& a, const auto& b) { return a.second.used < b.second.used; });
        bytes -= int64_t(image_bytes(*oldest->second.image));
        thumbnails_.erase(oldest);
    }
}

void PhotoModel::store(PictureJobDone& done) {
    const PictureJob& job = done.job;
    if (std::none_of(entries_.begin(), entries_.end(), [&job](const Entry& e) { return e.id == job.id; })) return;
    Held& held = held_[job.id];
    const bool size_was_known = held.outcome && held.outcome->facts.width > 0;
    const PictureOutcome& outcome = done.picture.outcome;
    // A part decoded for zooming stops at its last row, so only the whole
    // picture tells whether the data ends early.
    if (!held.outcome || failed(outcome) || job.kind != PictureJobKind::detail) held.outcome = outcome;
    const std::shared_ptr<const PictureImage>& image = done.picture.image;
    if (image) {
        switch (job.kind) {
            case PictureJobKind::preview:
                held.preview = image;
                break;
            case PictureJobKind::screen:
                held.screen = image;
                held.screen_request = job.request;
                held.preview.reset();
                break;
            case PictureJobKind::detail:
                held.detail = image;
                held.detail_request = job.request;
                break;
            case PictureJobKind::thumbnail:
                thumbnails_[job.id] = {image, job.request, ++thumbnail_clock_};
                break;
        }
    }
    const Entry* entry = current();
    if (entry != nullptr && entry->id == job.id && !size_was_known) refit();
}
