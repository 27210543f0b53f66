#include "messages.h"

#include "marivue/jpeg/status.h"

#include <cstdio>

#include <unistd.h>

using namespace marivue::jpeg;

namespace jpeg_decode {

const char* const program = "jpeg-decode";

namespace {

bool progress_shown = false;

int rank(int status) {
    switch (status) {
        case exit_ok:
            return 0;
        case exit_warning:
            return 1;
        case exit_undecodable:
            return 2;
        default:
            return 3;
    }
}

}  // namespace

int worse(int a, int b) { return rank(a) >= rank(b) ? a : b; }

std::string status_words(int32_t code, const std::string& words) {
    // The command reads its files itself, with no memory limit: a read
    // error or a lack of memory means just that here.
    if (code == StreamError) return "the file could not be read";
    if (code == OutOfMemory) return "not enough memory";
    return words;
}

int report_status(const std::string& file, int32_t code, const std::string& words) {
    clear_progress();
    std::fprintf(stderr, "%s: %s: %s (%s, %d)\n", program, file.c_str(), status_words(code, words).c_str(),
                 status_name(code), static_cast<int>(code));
    // A read error of the input is a file error, not a fault of its content.
    return code == StreamError ? exit_usage : exit_undecodable;
}

void report(const std::string& file, const std::string& what) {
    clear_progress();
    std::fprintf(stderr, "%s: %s: %s\n", program, file.c_str(), what.c_str());
}

void warn(const std::string& file, const std::string& what) {
    clear_progress();
    std::fprintf(stderr, "%s: warning: %s: %s\n", program, file.c_str(), what.c_str());
}

void show_progress(int index, int count, const std::string& file) {
    if (!isatty(STDERR_FILENO)) {
        return;
    }
    std::fprintf(stderr, "\r%s: [%d/%d] %s\033[K", program, index, count, file.c_str());
    std::fflush(stderr);
    progress_shown = true;
}

void clear_progress() {
    if (progress_shown) {
        std::fputs("\r\033[K", stderr);
        progress_shown = false;
    }
}

}  // namespace jpeg_decode
