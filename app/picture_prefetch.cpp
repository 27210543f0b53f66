#include "app/picture_prefetch.h"

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <new>
#include <system_error>
#include <vector>

namespace {

// Trivially destructible, so that it stays usable while the process ends.
std::atomic<int> running_threads{0};

// How long quitting waits for work that was asked to stop: enough for a
// decode to reach its next row, short enough to feel immediate.
constexpr std::chrono::milliseconds grace_on_quitting{100};

}  // namespace

struct PicturePrefetch::Work {
    std::atomic<bool> cancel{false};
    std::vector<uint8_t> pixels;
    PictureOutcome outcome;
    std::mutex mutex;
    std::condition_variable ended_signal;
    bool ended = false;  // under mutex
};

int PicturePrefetch::threads_running() { return running_threads.load(); }

void PicturePrefetch::start(size_t index, const std::string& path) {
    // Already at it (a step that kept the picture on show asks again).
    if (thread_.joinable() && index == index_) return;
    stop();
    bool counted = false;
    try {
        if (!work_) work_ = std::make_shared<Work>();
        Work& work = *work_;
        work.pixels.resize(album_frame_bytes);
        work.cancel.store(false);
        work.ended = false;  // no thread shares the work now
        index_ = index;
        running_threads.fetch_add(1);
        counted = true;
        thread_ = std::thread([shared = work_, path] {
            Work& w = *shared;
            w.outcome = fit_picture(path, FitFrame{w.pixels.data(), album_frame_width, album_frame_height}, &w.cancel);
            {
                std::lock_guard<std::mutex> lock(w.mutex);
                w.ended = true;
            }
            w.ended_signal.notify_all();
            running_threads.fetch_sub(1);
        });
    } catch (const std::bad_alloc&) {
        // Without memory or a thread the next picture is simply fitted when
        // it is asked for.
        if (counted) running_threads.fetch_sub(1);
    } catch (const std::system_error&) {
        if (counted) running_threads.fetch_sub(1);
    }
}

bool PicturePrefetch::take(size_t index, uint8_t* frame, PictureOutcome& outcome) {
    if (!thread_.joinable() || index != index_) {
        stop();
        return false;
    }
    thread_.join();
    if (work_->outcome.result == PictureResult::cancelled) return false;
    std::memcpy(frame, work_->pixels.data(), album_frame_bytes);
    outcome = work_->outcome;
    return true;
}

void PicturePrefetch::stop() {
    if (!thread_.joinable()) return;
    work_->cancel.store(true);
    thread_.join();
}

void PicturePrefetch::let_go() {
    if (!thread_.joinable()) return;
    Work& work = *work_;
    work.cancel.store(true);
    bool ended = false;
    {
        std::unique_lock<std::mutex> lock(work.mutex);
        ended = work.ended_signal.wait_for(lock, grace_on_quitting, [&work] { return work.ended; });
    }
    if (ended) {
        thread_.join();
        return;
    }
    // The thread keeps its own share of the work; the next start makes new.
    thread_.detach();
    work_.reset();
}
