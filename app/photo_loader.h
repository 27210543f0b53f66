// The photo view's work off the UI thread: decoding pictures (previews,
// pictures for the screen, detail for zooming, thumbnails) and moving files
// to the trash. The view says which decodes it wants, most wanted first,
// whenever that changes; a decode in hand that is no longer wanted is
// stopped. Results wait until the view takes them.
#pragma once

#include "app/picture_decode.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

enum class PictureJobKind : uint8_t { preview, screen, detail, thumbnail };

struct PictureJob {
    uint32_t id = 0;  // the picture's, in the view's list
    PictureJobKind kind = PictureJobKind::screen;
    PictureRequest request;
    std::string path;

    bool same(const PictureJob& other) const {
        return id == other.id && kind == other.kind && request == other.request;
    }
};

struct PictureJobDone {
    PictureJob job;
    DecodedPicture picture;
};

struct TrashJobDone {
    uint32_t id = 0;
    bool moved = false;
    std::string reason;  // why not, when not moved
};

// What the view asks of its worker threads; the view calls it on its thread.
class PictureWork {
public:
    virtual ~PictureWork() = default;
    // Starts the work; `wake` is called (from a worker thread) whenever a
    // result is ready to be taken.
    virtual void start(std::function<void()> wake) = 0;
    // The decodes wanted now, most wanted first, replacing those asked for
    // before. Results not yet taken are not done again.
    virtual void want(std::vector<PictureJob> jobs) = 0;
    // Moves the file to the trash.
    virtual void trash(uint32_t id, const std::string& path) = 0;
    // The results since the last take.
    virtual void take(std::vector<PictureJobDone>& pictures, std::vector<TrashJobDone>& trashed) = 0;
    // Stops everything for good, without waiting on a file: work that does
    // not stop within a tenth of a second is left to end on its own (no
    // result is given after this returns).
    virtual void let_go() = 0;
};

// The work on threads of its own: one that decodes, one per trash move.
std::unique_ptr<PictureWork> make_picture_work();

// Threads of the process's picture work still running, let go or not.
int picture_work_threads_running();
