// The photo view's decoding: what it asks the worker threads for, in which
// order, what it keeps of their results, and what it lets go.
#include "app/photo_jobs.h"

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

// A detail held that covers the part in view at about the resolution
// wanted (not so fine that drawing it smaller would alias) saves a decode.
bool detail_serves(const HeldPicture& held, const PictureRequest& wanted, const PictureArea& seen) {
    if (!held.detail) return false;
    if (held.detail_request == wanted) return true;
    const PictureImage& d = *held.detail;
    const double resolution = double(d.width) / d.part_width;
    const double wanted_resolution = double(wanted.box_width) / (wanted.width > 0 ? wanted.width : d.width);
    return d.left <= seen.left + 0.5 && d.top <= seen.top + 0.5 && d.left + d.part_width >= seen.right - 0.5 &&
           d.top + d.part_height >= seen.bottom - 0.5 && resolution >= wanted_resolution * 0.999 &&
           resolution <= wanted_resolution * 2.001;
}

}  // namespace

bool HeldPicture::failed() const { return outcome && ::failed(*outcome); }

bool HeldPicture::displayed() const { return screen || preview || failed(); }

const HeldPicture& PhotoJobs::held(uint32_t id) const {
    static const HeldPicture nothing;
    const auto found = held_.find(id);
    return found == held_.end() ? nothing : found->second;
}

const PictureImage* PhotoJobs::thumbnail(uint32_t id) const {
    const auto found = thumbnails_.find(id);
    return found == thumbnails_.end() ? nullptr : found->second.image.get();
}

std::optional<PictureRequest> PhotoJobs::wanted_detail(const HeldPicture& held, const PhotoNeeds& needs) const {
    if (!held.outcome || !held.screen || held.outcome->facts.width <= 0) return std::nullopt;
    const PictureFacts& facts = held.outcome->facts;
    const double screen_resolution = double(held.screen->width) / facts.width;
    if (needs.scale <= screen_resolution * 1.001) return std::nullopt;
    PictureRequest request;
    // From half size up the whole picture at full resolution serves every
    // zoom, when it fits the budget; smaller scales would alias drawn from it.
    if (needs.scale >= 0.5 && int64_t{facts.width} * facts.height * 4 <= memory_.full_resolution_bytes) {
        request.box_width = facts.width;
        request.box_height = facts.height;
        return request;
    }
    // Else the part in view with half of it again on each side, at the
    // resolution the zoom needs.
    const PictureArea& seen = needs.seen;
    const double margin_x = (seen.right - seen.left) / 2, margin_y = (seen.bottom - seen.top) / 2;
    const auto left = static_cast<int32_t>(std::max(0.0, std::floor(seen.left - margin_x)));
    const auto top = static_cast<int32_t>(std::max(0.0, std::floor(seen.top - margin_y)));
    const auto right = static_cast<int32_t>(std::min<double>(facts.width, std::ceil(seen.right + margin_x)));
    const auto bottom = static_cast<int32_t>(std::min<double>(facts.height, std::ceil(seen.bottom + margin_y)));
    const double resolution = std::min(1.0, needs.scale);
    request.left = left, request.top = top;
    request.width = std::max(1, right - left), request.height = std::max(1, bottom - top);
    request.box_width = std::max(1, static_cast<int32_t>(std::ceil(request.width * resolution)));
    request.box_height = std::max(1, static_cast<int32_t>(std::ceil(request.height * resolution)));
    return request;
}

bool PhotoJobs::waiting(const PhotoNeeds& needs) const {
    if (needs.on_show == nullptr) return false;
    // Only a preview on show is still a wait for the picture.
    const HeldPicture& held = this->held(needs.on_show->id);
    if (!held.displayed()) return true;
    if (held.preview && !held.screen && !held.failed()) return true;
    const std::optional<PictureRequest> detail = wanted_detail(held, needs);
    return detail && !detail_serves(held, *detail, needs.seen);
}

void PhotoJobs::want_pictures(PictureWork& work, const PhotoNeeds& needs) const {
    std::vector<PictureJob> jobs;
    const auto add = [&jobs](const PhotoEntry& entry, PictureJobKind kind, const PictureRequest& request) {
        jobs.push_back({entry.id, kind, request, entry.path});
    };
    // The picture at the view's size, unless a good one is held.
    const auto want_screen = [&](const PhotoEntry& entry, bool with_preview) {
        const HeldPicture& held = this->held(entry.id);
        if (held.failed()) return;
        const PictureRequest& request = needs.screen;
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
    if (const PhotoEntry* entry = needs.on_show) {
        want_screen(*entry, true);
        const HeldPicture& held = this->held(entry->id);
        if (const std::optional<PictureRequest> detail = wanted_detail(held, needs);
            detail && !detail_serves(held, *detail, needs.seen))
            add(*entry, PictureJobKind::detail, *detail);
        // The next picture only once this one shows: a jump must not wait
        // for work ahead.
        if (needs.ahead != nullptr && held.displayed()) want_screen(*needs.ahead, false);
    }
    work.want(std::move(jobs));
}

void PhotoJobs::want_thumbnails(PictureWork& work, const std::vector<const PhotoEntry*>& entries,
                                const PictureRequest& box) const {
    std::vector<PictureJob> jobs;
    for (const PhotoEntry* entry : entries) {
        if (held(entry->id).failed()) continue;
        const auto thumbnail = thumbnails_.find(entry->id);
        if (thumbnail == thumbnails_.end() || thumbnail->second.request != box)
            jobs.push_back({entry->id, PictureJobKind::thumbnail, box, entry->path});
    }
    work.want(std::move(jobs));
}

void PhotoJobs::keep_only(const PhotoNeeds& needs) {
    const uint32_t on_show = needs.on_show != nullptr ? needs.on_show->id : 0;
    const uint32_t next = needs.ahead != nullptr ? needs.ahead->id : 0;
    for (auto& [id, held] : held_) {
        if (id != on_show || !needs.zoomed) held.detail.reset();
        if (id != on_show) held.preview.reset();
        if (id != on_show && id != next) held.screen.reset();
    }
    // The thumbnails seen longest ago go first.
    int64_t bytes = 0;
    for (const auto& [id, thumbnail] : thumbnails_) bytes += int64_t(image_bytes(*thumbnail.image));
    while (bytes > memory_.thumbnail_bytes && !thumbnails_.empty()) {
        auto oldest = std::min_element(thumbnails_.begin(), thumbnails_.end(),
                                       [](const auto& a, const auto& b) { return a.second.used < b.second.used; });
        bytes -= int64_t(image_bytes(*oldest->second.image));
        thumbnails_.erase(oldest);
    }
}

bool PhotoJobs::store(const PictureJobDone& done) {
    const PictureJob& job = done.job;
    HeldPicture& held = held_[job.id];
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
    return !size_was_known && held.outcome->facts.width > 0;
}

void PhotoJobs::seen(const std::vector<uint32_t>& ids) {
    ++thumbnail_clock_;
    for (const uint32_t id : ids)
        if (auto thumbnail = thumbnails_.find(id); thumbnail != thumbnails_.end())
            thumbnail->second.used = thumbnail_clock_;
}

void PhotoJobs::forget(uint32_t id) {
    held_.erase(id);
    thumbnails_.erase(id);
}
