// Fitting the picture the album will most likely show next, on a thread of
// its own while the current one is on screen. The thread works only on
// memory of its own (a frame and an outcome) and never calls the platform;
// the dialog's thread takes the result once the thread has ended.
#pragma once

#include "app/picture_fit.h"

#include <atomic>
#include <cstddef>
#include <string>
#include <thread>
#include <vector>

class PicturePrefetch {
public:
    PicturePrefetch() = default;
    PicturePrefetch(const PicturePrefetch&) = delete;
    PicturePrefetch& operator=(const PicturePrefetch&) = delete;
    ~PicturePrefetch() { stop(); }

    // Starts fitting picture `index` (the file at `path`) into a private
    // frame of the album's size, after stopping any earlier work.
    void start(size_t index, const std::string& path);

    // When the work in hand is picture `index`: waits for it to end, copies
    // its frame into `frame` (the album's size) and its outcome into
    // `outcome`, and returns true. Otherwise stops the work and returns false.
    bool take(size_t index, uint8_t* frame, FitOutcome& outcome);

    // Stops the work in hand (between two rows) and waits for its thread.
    void stop();

private:
    std::thread thread_;
    std::atomic<bool> cancel_{false};
    size_t index_ = 0;
    std::vector<uint8_t> pixels_;
    FitOutcome outcome_;
};
