#include "output.h"

#include "messages.h"

#include <algorithm>
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

// Every signal whose default action ends the process and that a handler can
// catch, but for those of the program's own faults (SIGSEGV, SIGBUS, SIGFPE,
// SIGILL, SIGABRT, SIGTRAP, SIGSYS), which keep their usual report. SIGXFSZ
// is ignored instead (see ignore_file_size_signal).
sigset_t ending_signals() {
    sigset_t set;
    sigemptyset(&set);
    for (int signal_number : {SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGUSR1, SIGUSR2, SIGALRM, SIGPIPE, SIGVTALRM, SIGPROF,
                              SIGXCPU, SIGIO, SIGPWR, SIGSTKFLT})
        sigaddset(&set, signal_number);
    for (int signal_number = SIGRTMIN; signal_number <= SIGRTMAX; ++signal_number) sigaddset(&set, signal_number);
    return set;
}

// Only async-signal-safe calls: unlink, sigaction, raise. The signal stays
// blocked while the handler runs, so the raise takes effect, with the
// default action, as the handler returns: the process ends as the signal
// says, as if it had not been caught.
extern "C" void remove_temporary_and_die(int signal_number) {
    if (temporary_registered) unlink(temporary_for_signals);
    struct sigaction default_action {};
    default_action.sa_handler = SIG_DFL;
    sigemptyset(&default_action.sa_mask);
    sigaction(signal_number, &default_action, nullptr);
    raise(signal_number);
}

void install_signal_handlers() {
    static bool installed = false;
    if (installed) return;
    installed = true;
    struct sigaction action {};
    action.sa_handler = remove_temporary_and_die;
    // One handler at a time: a second signal waits until the first has ended
    // the process.
    action.sa_mask = ending_signals();
    for (int signal_number = 1; signal_number < NSIG; ++signal_number) {
        if (sigismember(&action.sa_mask, signal_number) != 1) continue;
        struct sigaction previous {};
        // A signal the command was started ignoring (nohup) stays ignored.
        if (sigaction(signal_number, nullptr, &previous) != 0 || previous.sa_handler == SIG_IGN) continue;
        sigaction(signal_number, &action, nullptr);
    }
}

// Holds back the ending signals while a temporary file is created and
// registered, or renamed and forgotten, so that none arrives in between.
class SignalsHeld {
public:
    SignalsHeld() {
        const sigset_t set = ending_signals();
        sigprocmask(SIG_BLOCK, &set, &previous_);
    }
    ~SignalsHeld() { sigprocmask(SIG_SETMASK, &previous_, nullptr); }
    SignalsHeld(const SignalsHeld&) = delete;
    SignalsHeld& operator=(const SignalsHeld&) = delete;

private:
    sigset_t previous_;
};

void register_temporary(const std::string& path) {
    install_signal_handlers();
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

// The temporary file's name in `directory`: hidden, after the target's own
// name, which is cut (at a character boundary) when the whole would pass the
// file system's limit on a name.
std::string temporary_pattern(const std::string& directory, const std::string& base) {
    const char* const suffix = ".partXXXXXX";
    const long name_max = pathconf(directory.c_str(), _PC_NAME_MAX);
    const size_t limit = name_max > 0 ? static_cast<size_t>(name_max) : NAME_MAX;
    const size_t room = std::max<size_t>(limit, 32) - 1 - std::strlen(suffix);
    size_t keep = std::min(base.size(), room);
    while (keep > 0 && keep < base.size() && (static_cast<unsigned char>(base[keep]) & 0xC0) == 0x80) --keep;
    return directory + "/." + base.substr(0, keep) + suffix;
}

// Creates the temporary file beside the target, with the permission bits
// the finished file must have: an existing file's own, or those of a new
// file (0666 less the umask).
bool open_temporary(Output& output, const struct stat* existing) {
    std::string pattern = temporary_pattern(directory_of(output.target), base_of(output.target));
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    SignalsHeld held;
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

void ignore_file_size_signal() { std::signal(SIGXFSZ, SIG_IGN); }

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
        SignalsHeld held;
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
        SignalsHeld held;
        unlink(output.temporary.c_str());
        output.temporary.clear();
        temporary_registered = 0;
    }
}

}  // namespace jpeg_decode
