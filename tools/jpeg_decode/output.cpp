#include "output.h"

#include "messages.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace jpeg_decode {

namespace {

constexpr size_t flush_size = 1 << 16;
constexpr int max_link_hops = 40;

// The temporary file of the output being written, for the signal handler:
// an interrupted run leaves no temporary file behind.
char temporary_for_signals[PATH_MAX];
volatile std::sig_atomic_t temporary_registered = 0;

extern "C" void remove_temporary_and_die(int signal_number) {
    if (temporary_registered) {
        unlink(temporary_for_signals);
    }
    std::signal(signal_number, SIG_DFL);
    std::raise(signal_number);
}

void register_temporary(const std::string& path) {
    static bool handlers_installed = false;
    if (!handlers_installed) {
        for (int signal_number : {SIGINT, SIGTERM, SIGHUP}) std::signal(signal_number, remove_temporary_and_die);
        handlers_installed = true;
    }
    temporary_registered = 0;
    if (path.size() < sizeof temporary_for_signals) {
        std::memcpy(temporary_for_signals, path.c_str(), path.size() + 1);
        temporary_registered = 1;
    }
}

std::string directory_of(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string base_of(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Follows symbolic links from `path` to the name that is not one (which may
// not exist yet: a dangling link names the file to create). False with
// errno set when a link cannot be read or the chain is too long.
bool resolve_links(std::string& path) {
    for (int hop = 0; hop < max_link_hops; ++hop) {
        struct stat info;
        if (lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
            return true;
        }
        std::vector<char> target(PATH_MAX + 1);
        ssize_t length = readlink(path.c_str(), target.data(), PATH_MAX);
        if (length < 0) {
            return false;
        }
        std::string next(target.data(), static_cast<size_t>(length));
        path = next.starts_with("/") ? next : directory_of(path) + "/" + next;
    }
    errno = ELOOP;
    return false;
}

bool fail(const Output& output, const char* what, int error) {
    report(output.name, std::string(what) + ": " + std::strerror(error));
    return false;
}

// Creates the temporary file beside the target, with the permission bits
// the finished file must have: an existing file's own, or those of a new
// file (0666 less the umask).
bool open_temporary(Output& output, const struct stat* existing) {
    std::string pattern = directory_of(output.target) + "/." + base_of(output.target) + ".partXXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    int fd = mkstemp(name.data());
    if (fd < 0) {
        return fail(output, "cannot create a file", errno);
    }
    output.temporary = name.data();
    output.fd = fd;
    register_temporary(output.temporary);
    mode_t mode = 0;
    if (existing != nullptr) {
        mode = existing->st_mode & 07777;
        // Keeping the owner needs privileges; without them the file is the
        // caller's, as a copy would be.
        if (fchown(fd, existing->st_uid, existing->st_gid) != 0) {
            mode &= 0777;
        }
    } else {
        mode_t mask = umask(0);
        umask(mask);
        mode = 0666 & ~mask;
    }
    if (fchmod(fd, mode) != 0) {
        int error = errno;
        discard_output(output);
        return fail(output, "cannot create a file", error);
    }
    return true;
}

bool write_all(int fd, const uint8_t* bytes, size_t count, int& error) {
    while (count > 0) {
        ssize_t written = write(fd, bytes, count);
        if (written < 0) {
            if (errno == EINTR) continue;
            error = errno;
            return false;
        }
        bytes += written;
        count -= static_cast<size_t>(written);
    }
    return true;
}

void flush_pending(Output& output) {
    if (output.error == 0 && !output.pending.empty()) {
        write_all(output.fd, output.pending.data(), output.pending.size(), output.error);
    }
    output.pending.clear();
}

}  // namespace

bool open_output(const std::string& name, Output& output) {
    output = Output{};
    output.name = name;
    if (name == "-") {
        output.fd = STDOUT_FILENO;
        return true;
    }
    output.target = name;
    if (!resolve_links(output.target)) {
        return fail(output, "cannot follow the link", errno);
    }
    struct stat info;
    if (stat(output.target.c_str(), &info) != 0) {
        if (errno != ENOENT) {
            return fail(output, "cannot write", errno);
        }
        return open_temporary(output, nullptr);
    }
    if (S_ISDIR(info.st_mode)) {
        return fail(output, "cannot write", EISDIR);
    }
    if (S_ISREG(info.st_mode)) {
        // Replacing the file must be allowed only where writing it would be.
        if (access(output.target.c_str(), W_OK) != 0) {
            return fail(output, "cannot write", errno);
        }
        return open_temporary(output, &info);
    }
    // A device, a pipe or a socket: written in place, in order.
    output.fd = open(output.target.c_str(), O_WRONLY | O_CLOEXEC);
    if (output.fd < 0) {
        return fail(output, "cannot write", errno);
    }
    return true;
}

void write_output(Output& output, const uint8_t* bytes, size_t count) {
    if (output.error != 0) {
        return;
    }
    output.pending.insert(output.pending.end(), bytes, bytes + count);
    if (output.pending.size() >= flush_size) {
        flush_pending(output);
    }
}

bool finish_output(Output& output) {
    flush_pending(output);
    int error = output.error;
    if (output.fd != STDOUT_FILENO && output.fd >= 0) {
        if (close(output.fd) != 0 && error == 0) {
            error = errno;
        }
        output.fd = -1;
    }
    if (error != 0) {
        discard_output(output);
        return fail(output, "cannot write", error);
    }
    if (!output.temporary.empty()) {
        if (std::rename(output.temporary.c_str(), output.target.c_str()) != 0) {
            error = errno;
            discard_output(output);
            return fail(output, "cannot replace the file", error);
        }
        output.temporary.clear();
        temporary_registered = 0;
    }
    return true;
}

void discard_output(Output& output) {
    output.pending.clear();
    if (output.fd >= 0 && output.fd != STDOUT_FILENO) {
        close(output.fd);
    }
    output.fd = -1;
    if (!output.temporary.empty()) {
        unlink(output.temporary.c_str());
        output.temporary.clear();
        temporary_registered = 0;
    }
}

}  // namespace jpeg_decode
