// A picture file as the viewer meets it: opened without ever waiting on it,
// what it tells besides its pixels, and how showing it went.
#pragma once

#include "app/exif.h"

#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <memory>
#include <string>

enum class PictureResult {
    shown,  // the picture is there
    incomplete,  // the picture is there, but its data ended early and the rest is filled in
    decode_failed,  // the decoder refused the picture: `status`
    unreadable,  // the file could not be opened or examined: `reason` from errno
    cancelled,  // stopped on request
};

// What the viewer tells about a file besides its picture.
struct PictureFacts {
    int32_t width = 0;  // the picture as shown, turned by its orientation
    int32_t height = 0;
    int64_t file_bytes = 0;
    std::time_t modified = 0;  // the file's modification time
    ExifFacts exif;  // orientation, date taken, camera
    std::string colour_profile;  // the embedded profile's name; empty without one
};

struct PictureOutcome {
    PictureResult result = PictureResult::unreadable;
    int status = 0;  // the decoder's status for decode_failed, else 0
    // In words, for every result but shown; for a shown picture whose colour
    // profile could not be used, a note saying so (else empty).
    std::string reason;
    PictureFacts facts;  // as far as they were learnt
};

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using PictureFile = std::unique_ptr<std::FILE, FileCloser>;

// Opens the file at `path` for reading, only when it is a regular file and
// without ever waiting on it: a named pipe or a device (say, a listed file
// replaced by one) could block the open or the reads for good. On success
// `file` is set, `info` describes it and the outcome's facts hold its size
// and date; otherwise the outcome says why (unreadable).
PictureOutcome open_picture(const std::string& path, PictureFile& file, struct stat& info);

// The outcome with decode_failed, `status` and the decoder's words for it
// (`words`, or the status table's when null).
PictureOutcome picture_failed(PictureOutcome outcome, int status, const char* words = nullptr);

// The outcome with unreadable and the words for `error` (an errno value).
PictureOutcome picture_unreadable(PictureOutcome outcome, int error);

// A file size for people: "512 bytes", "1.5 kB", "12.3 MB" (powers of 1000).
std::string human_size(int64_t bytes);
