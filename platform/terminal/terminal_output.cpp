#include "platform/terminal/terminal_output.h"

#include <cerrno>

#include <unistd.h>

void write_all(int fd, const char* bytes, size_t length) {
    while (length > 0) {
        ssize_t written = ::write(fd, bytes, length);
        if (written < 0) {
            if (errno == EINTR) continue;
            return;  // nothing more can be written: the terminal is gone
        }
        bytes += written;
        length -= static_cast<size_t>(written);
    }
}
