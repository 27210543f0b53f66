#include "app/picture_file.h"

#include "marivue/jpeg.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iterator>

namespace {

PictureOutcome not_a_file(PictureOutcome outcome, mode_t mode) {
    outcome.result = PictureResult::unreadable;
    outcome.reason = S_ISDIR(mode)                    ? "a folder, not a picture file"
                     : S_ISFIFO(mode)                 ? "a named pipe, not a picture file"
                     : S_ISCHR(mode) || S_ISBLK(mode) ? "a device, not a picture file"
                     : S_ISSOCK(mode)                 ? "a socket, not a picture file"
                                                      : "not a regular file";
    return outcome;
}

}  // namespace

PictureOutcome picture_unreadable(PictureOutcome outcome, int error) {
    outcome.result = PictureResult::unreadable;
    outcome.reason = std::strerror(error);
    return outcome;
}

PictureOutcome picture_failed(PictureOutcome outcome, int status, const char* words) {
    outcome.result = PictureResult::decode_failed;
    outcome.status = status;
    outcome.reason = words != nullptr ? words : marivue::jpeg::status_message(status);
    return outcome;
}

// The name is looked at before the open, which then cannot block
// (O_NONBLOCK), and the file opened is looked at again, in case the name
// changed hands in between.
PictureOutcome open_picture(const std::string& path, PictureFile& file, struct stat& info) {
    PictureOutcome outcome;
    if (stat(path.c_str(), &info) != 0) return picture_unreadable(outcome, errno);
    if (!S_ISREG(info.st_mode)) return not_a_file(outcome, info.st_mode);
    const int descriptor = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (descriptor < 0) return picture_unreadable(outcome, errno);
    if (fstat(descriptor, &info) != 0 || !S_ISREG(info.st_mode)) {
        const int error = errno;
        const bool regular = S_ISREG(info.st_mode);
        close(descriptor);
        return regular ? picture_unreadable(outcome, error) : not_a_file(outcome, info.st_mode);
    }
    file.reset(fdopen(descriptor, "rb"));
    if (!file) {
        const int error = errno;
        close(descriptor);
        return picture_unreadable(outcome, error);
    }
    outcome.facts.file_bytes = info.st_size;
    outcome.facts.modified = info.st_mtime;
    return outcome;
}

std::string human_size(int64_t bytes) {
    if (bytes < 1000) return std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes");
    static const char* const units[] = {"kB", "MB", "GB", "TB", "PB"};
    double value = static_cast<double>(bytes) / 1000.0;
    size_t unit = 0;
    // 999.95 would print as 1000.0 of the smaller unit.
    while (value >= 999.95 && unit + 1 < std::size(units)) {
        value /= 1000.0;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.1f %s", value, units[unit]);
    return text;
}
