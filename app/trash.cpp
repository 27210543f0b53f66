#include "app/trash.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

namespace {

// A trash folder to try, and what the Path lines inside it are relative to
// (empty: they are absolute).
struct Trash {
    std::string folder;
    std::string top;
};

std::string parent_of(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string join(const std::string& folder, const std::string& name) {
    return folder == "/" ? "/" + name : folder + "/" + name;
}

std::string failure(const std::string& what, int error) { return what + ": " + std::strerror(error); }

// Bytes other than letters, digits and - _ . ~ / written as %XX.
std::string percent_encoded(const std::string& path) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : path) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') || (byte >= '0' && byte <= '9') ||
            std::strchr("-_.~/", byte) != nullptr) {
            out += c;
        } else {
            out += '%';
            out += hex[byte >> 4];
            out += hex[byte & 15];
        }
    }
    return out;
}

std::string local_time_now() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    char text[32] = "";
    if (localtime_r(&now, &local) != nullptr) std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
    return text;
}

// The folder the user's data lives in: $XDG_DATA_HOME when it is an
// absolute path, else ~/.local/share.
std::string data_home() {
    const char* xdg = std::getenv("XDG_DATA_HOME");
    if (xdg != nullptr && xdg[0] == '/') return xdg;
    const char* home = std::getenv("HOME");
    if (home == nullptr || home[0] != '/') {
        const passwd* entry = getpwuid(geteuid());
        home = entry != nullptr ? entry->pw_dir : nullptr;
    }
    return home != nullptr ? std::string(home) + "/.local/share" : std::string();
}

// The device of `path`, or of its nearest ancestor that exists.
bool device_of(std::string path, dev_t& device) {
    struct stat info {};
    while (stat(path.c_str(), &info) != 0) {
        if (errno != ENOENT || path == "/" || path == ".") return false;
        path = parent_of(path);
    }
    device = info.st_dev;
    return true;
}

// The top folder of the file system (device `device`) that `folder` (a
// real path) lies on: the highest folder above it still on that device.
std::string mount_top(const std::string& folder, dev_t device) {
    std::string top = folder;
    while (top != "/") {
        const std::string up = parent_of(top);
        struct stat info {};
        if (stat(up.c_str(), &info) != 0 || info.st_dev != device) break;
        top = up;
    }
    return top;
}

// A real folder (not a link) of the user's, made when missing with
// `create` (its missing parents too, private to the user).
bool own_folder(const std::string& path, bool create, std::string& why) {
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0) {
        if (errno != ENOENT || !create) return why = failure(path, errno), false;
        const std::string up = parent_of(path);
        if (up != path && !own_folder(up, true, why)) return false;
        if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return why = failure(path, errno), false;
        if (lstat(path.c_str(), &info) != 0) return why = failure(path, errno), false;
    }
    if (!S_ISDIR(info.st_mode)) return why = path + ": not a folder", false;
    return true;
}

// A trash folder fit to write in: a real folder owned by the user, with
// its files/ and info/ folders.
bool usable_trash(const std::string& folder, std::string& why) {
    if (!own_folder(folder, true, why)) return false;
    struct stat info {};
    if (lstat(folder.c_str(), &info) != 0) return why = failure(folder, errno), false;
    if (info.st_uid != geteuid()) return why = folder + ": belongs to another user", false;
    for (const char* part : {"files", "info"}) {
        const std::string inside = folder + "/" + part;
        if (mkdir(inside.c_str(), 0700) != 0 && errno != EEXIST) return why = failure(inside, errno), false;
        if (lstat(inside.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return why = inside + ": not a folder", false;
    }
    return true;
}

// The name the file takes in the trash on try `n` (from 1): its own, then
// "stem.2.ext", "stem.3.ext" and on.
std::string trashed_name(const std::string& name, int n) {
    if (n == 1) return name;
    const size_t dot = name.find_last_of('.');
    if (dot == std::string::npos || dot == 0) return name + "." + std::to_string(n);
    return name.substr(0, dot) + "." + std::to_string(n) + name.substr(dot);
}

bool write_all(int descriptor, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = write(descriptor, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// Renames without replacing anything that got the name meanwhile, where the
// file system can.
int rename_new(const std::string& from, const std::string& to) {
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS) return errno;
    return rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

// Moves `path` (whose real location is `original`) into `trash`: the info
// file first, which reserves the name, then the rename.
TrashResult move_into(const std::string& path, const std::string& original, const Trash& trash) {
    TrashResult result;
    const std::string name = original.substr(original.find_last_of('/') + 1);
    const std::string written =
        trash.top.empty() ? original : original.substr(trash.top == "/" ? 1 : trash.top.size() + 1);
    for (int n = 1; n < 100000; ++n) {
        const std::string as = trashed_name(name, n);
        const std::string info = trash.folder + "/info/" + as + ".trashinfo";
        const std::string target = trash.folder + "/files/" + as;
        const int descriptor = open(info.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (descriptor < 0 && errno == EEXIST) continue;
        if (descriptor < 0) return result.reason = failure(info, errno), result;
        // A file left in files/ without its info is not to be replaced.
        struct stat taken {};
        if (lstat(target.c_str(), &taken) == 0) {
            close(descriptor);
            unlink(info.c_str());
            continue;
        }
        const bool written_out = write_all(
            descriptor, "[Trash Info]\nPath=" + percent_encoded(written) + "\nDeletionDate=" + local_time_now() + "\n");
        const int write_error = errno;
        if (close(descriptor) != 0 || !written_out) {
            unlink(info.c_str());
            return result.reason = failure(info, written_out ? errno : write_error), result;
        }
        const int error = rename_new(path, target);
        if (error == EEXIST) {
            unlink(info.c_str());
            continue;
        }
        if (error != 0) {
            unlink(info.c_str());
            return result.reason = failure(path, error), result;
        }
        result.moved = true;
        result.trashed = target;
        return result;
    }
    result.reason = trash.folder + ": no free name left";
    return result;
}

}  // namespace

TrashResult move_to_trash(const std::string& path) {
    TrashResult result;
    struct stat file {};
    if (path.empty() || lstat(path.c_str(), &file) != 0) return result.reason = failure(path, errno), result;
    // The real folder it lies in (links on the way resolved), and the file
    // itself as named (a link is trashed, not what it points to).
    char* real = realpath(parent_of(path).c_str(), nullptr);
    if (real == nullptr) return result.reason = failure(parent_of(path), errno), result;
    const std::string folder = real;
    std::free(real);
    const std::string name = path.substr(path.find_last_of('/') + 1);
    if (name.empty() || name == "." || name == "..") return result.reason = path + ": not a file name", result;
    const std::string original = join(folder, name);

    std::vector<Trash> trashes;
    const std::string home = data_home();
    dev_t home_device{};
    if (!home.empty() && device_of(home + "/Trash", home_device) && home_device == file.st_dev) {
        trashes.push_back({home + "/Trash", ""});
    } else {
        const std::string top = mount_top(folder, file.st_dev);
        const std::string uid = std::to_string(geteuid());
        // The administrator's shared trash counts only as a real folder with
        // the sticky bit, so that users cannot take each other's.
        struct stat shared {};
        const std::string shared_trash = join(top, ".Trash");
        if (lstat(shared_trash.c_str(), &shared) == 0 && S_ISDIR(shared.st_mode) && (shared.st_mode & S_ISVTX) != 0)
            trashes.push_back({shared_trash + "/" + uid, top});
        trashes.push_back({join(top, ".Trash-" + uid), top});
    }
    std::string why;
    for (const Trash& trash : trashes) {
        dev_t device{};
        if (!usable_trash(trash.folder, why)) continue;
        if (!device_of(trash.folder, device) || device != file.st_dev) {
            why = trash.folder + ": on another file system";
            continue;
        }
        return move_into(path, original, trash);
    }
    result.reason = "no trash on its file system can take it (" + why + ")";
    return result;
}
