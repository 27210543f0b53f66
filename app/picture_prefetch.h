// Fitting the picture the album will most likely show next, on a thread of
// its own while the current one is on screen. The thread works only on
// memory of its own (a frame and an outcome, which it shares with the
// dialog and keeps alive itself) and never calls the platform; the dialog's
// thread takes the result once the thread has ended.
#pragma once

#include "app/picture_fit.h"

#include <atomic>
#include <cstddef>
#include <memory>
#include <string>
#include <thread>

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
    bool take(size_t index, uint8_t* frame, PictureOutcome& outcome);

    // Stops the work in hand (between two rows) and waits for its thread.
    void stop();

    // For quitting, which must not hang on a file: asks the work in hand to
    // stop and gives its thread a tenth of a second to end. A thread still
    // running then (blocked in a read that does not return, or inside one
    // long step of a decode) is left to run on to its end on its own
    // memory; the process must then end without running the destructors of
    // what that thread may still use (see threads_running).
    void let_go();

    // Prefetch threads of the process still running, let go or not.
    static int threads_running();

private:
    struct Work;  // shared by the dialog and the thread
    std::thread thread_;
    std::shared_ptr<Work> work_;
    size_t index_ = 0;
};
