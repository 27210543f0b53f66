#include "app/picture_prefetch.h"

#include <cstring>
#include <new>
#include <system_error>

void PicturePrefetch::start(size_t index, const std::string& path) {
    // Already at it (a step that kept the picture on show asks again).
    if (thread_.joinable() && index == index_) return;
    stop();
    try {
        pixels_.resize(album_frame_bytes);
        index_ = index;
        cancel_.store(false);
        thread_ = std::thread([this, path] {
            outcome_ = fit_picture(path, FitFrame{pixels_.data(), album_frame_width, album_frame_height}, &cancel_);
        });
    } catch (const std::bad_alloc&) {
        // Without memory or a thread the next picture is simply fitted when
        // it is asked for.
    } catch (const std::system_error&) {
    }
}

bool PicturePrefetch::take(size_t index, uint8_t* frame, FitOutcome& outcome) {
    if (!thread_.joinable() || index != index_) {
        stop();
        return false;
    }
    thread_.join();
    if (outcome_.result == FitResult::cancelled) return false;
    std::memcpy(frame, pixels_.data(), album_frame_bytes);
    outcome = outcome_;
    return true;
}

void PicturePrefetch::stop() {
    if (!thread_.joinable()) return;
    cancel_.store(true);
    thread_.join();
}
