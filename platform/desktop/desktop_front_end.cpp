// Starting the desktop front end: its command line, the display check and
// the toolkit's application object.
#include "platform/desktop/desktop_platform.h"
#include "platform/front_end.h"

#include <QApplication>
#include <QDir>

#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

bool non_empty(const char* text) { return text != nullptr && *text != 0; }

// Can a client connect to the local socket at `path`? Linux X servers also
// listen on the same name in the abstract namespace.
bool socket_answers(const std::string& path, bool try_abstract) {
    for (int attempt = 0; attempt < (try_abstract ? 2 : 1); ++attempt) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const size_t room = sizeof(address.sun_path) - 1;
        const size_t skip = attempt == 0 ? 0 : 1;  // the abstract name starts with a 0 byte
        if (path.size() + skip > room) return false;
        std::memcpy(address.sun_path + skip, path.data(), path.size());
        const socklen_t length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + skip + path.size());
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0) return false;
        const bool connected = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), length) == 0;
        ::close(fd);
        if (connected) return true;
    }
    return false;
}

// An X display named ":N", ":N.S" or "unix:N" is a local socket; one on
// another host is left to the toolkit to reach.
bool x_display_answers(const std::string& display) {
    const size_t colon = display.rfind(':');
    if (colon == std::string::npos) return false;
    const std::string host = display.substr(0, colon);
    if (!host.empty() && host != "unix") return true;
    std::string number = display.substr(colon + 1);
    number = number.substr(0, number.find('.'));
    if (number.empty() || number.find_first_not_of("0123456789") != std::string::npos) return false;
    return socket_answers("/tmp/.X11-unix/X" + number, true);
}

bool wayland_display_answers(const std::string& name) {
    std::string path = name;
    if (path.front() != '/') {
        const char* runtime = std::getenv("XDG_RUNTIME_DIR");
        if (!non_empty(runtime)) return false;
        path = std::string(runtime) + "/" + name;
    }
    return socket_answers(path, false);
}

// The toolkit wants a private runtime directory and, where the session has
// none (root without a login session, a bare X server), warns on standard
// error and falls back to TMPDIR/runtime-USER. That same directory is set
// up here, so that a normal start says nothing: made private to the user
// if it is new, and used only if it is a real directory the user owns that
// nobody else may enter. Otherwise the toolkit's own warning stands.
void provide_runtime_directory() {
    if (non_empty(std::getenv("XDG_RUNTIME_DIR"))) return;
    const uid_t user = ::geteuid();
    const passwd* entry = ::getpwuid(user);
    const std::string name = entry != nullptr && non_empty(entry->pw_name) ? entry->pw_name : std::to_string(user);
    const std::string path = QDir::tempPath().toStdString() + "/runtime-" + name;
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return;
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != user) return;
    if ((info.st_mode & 0777) != 0700 && ::chmod(path.c_str(), 0700) != 0) return;
    ::setenv("XDG_RUNTIME_DIR", path.c_str(), 1);
}

}  // namespace

std::unique_ptr<Platform> create_desktop_front_end(const CommandLine& options, int argc, char** argv) {
    if (options.tty) return nullptr;

    // A platform named outright (offscreen, vnc, ...) needs no display.
    const char* chosen = std::getenv("QT_QPA_PLATFORM");
    if (!non_empty(chosen)) {
        const char* x_display = std::getenv("DISPLAY");
        const char* wayland = std::getenv("WAYLAND_DISPLAY");
        if (!non_empty(x_display) && !non_empty(wayland)) return nullptr;
        const bool x_ok = non_empty(x_display) && x_display_answers(x_display);
        const bool wayland_ok = non_empty(wayland) && wayland_display_answers(wayland);
        if (!x_ok && !wayland_ok) {
            std::fprintf(stderr,
                         "marivue: the desktop front end needs a running X11 or Wayland display, but %s%s%s%s%s "
                         "does not answer.\n",
                         non_empty(x_display) ? "DISPLAY=" : "", non_empty(x_display) ? x_display : "",
                         non_empty(x_display) && non_empty(wayland) ? " and " : "",
                         non_empty(wayland) ? "WAYLAND_DISPLAY=" : "", non_empty(wayland) ? wayland : "");
            return nullptr;
        }
        if (!x_ok)
            qputenv("QT_QPA_PLATFORM", "wayland");
        else if (!wayland_ok)
            qputenv("QT_QPA_PLATFORM", "xcb");
    }

    // The application keeps a reference to its argument count.
    static int application_argc = 0;
    application_argc = argc;
    QCoreApplication::setApplicationName(QStringLiteral("Marivue"));
    QCoreApplication::setApplicationVersion(QStringLiteral(MARIVUE_VERSION));
    QGuiApplication::setDesktopFileName(QStringLiteral("marivue"));
    provide_runtime_directory();
    auto application = std::make_unique<QApplication>(application_argc, argv);
    auto platform = std::make_unique<DesktopPlatform>(options.scale);
    platform->adopt_application(std::move(application));
    return platform;
}
