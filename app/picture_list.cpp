#include "app/picture_list.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <set>
#include <utility>

namespace {

char lower_ascii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }

// -1, 0 or 1: `a` before, level with or after `b` in natural order, case
// and leading zeros aside.
int natural_compare(std::string_view a, std::string_view b) {
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (is_digit(a[i]) && is_digit(b[j])) {
            // Values of any length: without leading zeros, the longer run is
            // the larger, and runs of one length compare digit by digit.
            while (i < a.size() && a[i] == '0') ++i;
            while (j < b.size() && b[j] == '0') ++j;
            size_t end_a = i, end_b = j;
            while (end_a < a.size() && is_digit(a[end_a])) ++end_a;
            while (end_b < b.size() && is_digit(b[end_b])) ++end_b;
            if (end_a - i != end_b - j) return end_a - i < end_b - j ? -1 : 1;
            const int digits = a.substr(i, end_a - i).compare(b.substr(j, end_b - j));
            if (digits != 0) return digits < 0 ? -1 : 1;
            i = end_a;
            j = end_b;
            continue;
        }
        const unsigned char x = static_cast<unsigned char>(lower_ascii(a[i]));
        const unsigned char y = static_cast<unsigned char>(lower_ascii(b[j]));
        if (x != y) return x < y ? -1 : 1;
        ++i;
        ++j;
    }
    if (i < a.size()) return 1;
    if (j < b.size()) return -1;
    return 0;
}

struct Lister {
    bool recursive;
    const PictureListReport& report;
    std::set<std::pair<dev_t, ino_t>> visited;  // folders already listed
    std::vector<PictureEntry> pictures;

    void fail(const std::string& path, int error) { report(path + ": " + std::strerror(error)); }

    // `shown` is the folder's name relative to the folder named on the
    // command line ("" for that folder itself, else ending in a slash).
    void list_folder(const std::string& folder, const struct stat& info, const std::string& shown) {
        if (!visited.insert({info.st_dev, info.st_ino}).second) return;
        DIR* dir = opendir(folder.c_str());
        if (dir == nullptr) return fail(folder, errno);
        std::vector<std::string> names;
        errno = 0;
        while (const dirent* entry = readdir(dir)) {
            if (entry->d_name[0] != '.') names.emplace_back(entry->d_name);
            errno = 0;
        }
        const int error = errno;
        closedir(dir);
        if (error != 0) fail(folder, error);
        std::sort(names.begin(), names.end(), natural_less);
        const std::string prefix = folder.empty() || folder.back() == '/' ? folder : folder + "/";
        for (const std::string& name : names) {
            const std::string path = prefix + name;
            struct stat entry_info {};
            if (stat(path.c_str(), &entry_info) != 0) {
                fail(path, errno);
            } else if (S_ISDIR(entry_info.st_mode)) {
                if (recursive) list_folder(path, entry_info, shown + name + "/");
            } else if (S_ISREG(entry_info.st_mode)) {  // a folder's pipes and devices are no pictures
                const int jpeg = starts_as_jpeg(path);
                if (jpeg < 0) fail(path, errno);
                if (jpeg > 0) pictures.push_back({path, shown + name});
            }
        }
    }

    void list_path(const std::string& path) {
        struct stat info {};
        if (stat(path.c_str(), &info) != 0) {
            // A name that leads nowhere is no picture to show; one that is
            // there but cannot be looked at (a folder on the way without
            // permission, a loop of links) is shown with its reason.
            if (errno == ENOENT || errno == ENOTDIR) return fail(path, errno);
        } else if (S_ISDIR(info.st_mode)) {
            return list_folder(path, info, "");
        }
        // A named file is listed as it is, even when it cannot be opened
        // (no permission, a pipe, a device): the photo view says why over the
        // picture, where the user looks, rather than on a standard error
        // that the terminal view hides. It is not opened here: a pipe would
        // block.
        const size_t slash = path.find_last_of('/');
        pictures.push_back({path, slash == std::string::npos ? path : path.substr(slash + 1)});
    }
};

}  // namespace

bool natural_less(std::string_view a, std::string_view b) {
    const int order = natural_compare(a, b);
    return order != 0 ? order < 0 : a < b;
}

int starts_as_jpeg(const std::string& path) {
    const int descriptor = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (descriptor < 0) return -1;
    // A name that became a pipe or a device since it was listed is none.
    struct stat info {};
    if (fstat(descriptor, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(descriptor);
        return 0;
    }
    unsigned char head[3] = {};
    size_t got = 0;
    while (got < sizeof head) {
        const ssize_t n = read(descriptor, head + got, sizeof head - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            const int error = errno;
            close(descriptor);
            errno = error;
            return -1;
        }
        if (n == 0) break;
        got += static_cast<size_t>(n);
    }
    close(descriptor);
    return got == sizeof head && head[0] == 0xFF && head[1] == 0xD8 && head[2] == 0xFF ? 1 : 0;
}

std::vector<PictureEntry> build_picture_entries(const std::vector<std::string>& paths, bool recursive,
                                                const PictureListReport& report) {
    Lister lister{recursive, report, {}, {}};
    for (const std::string& path : paths) lister.list_path(path);
    return std::move(lister.pictures);
}

std::vector<std::string> build_picture_list(const std::vector<std::string>& paths, bool recursive,
                                            const PictureListReport& report) {
    std::vector<std::string> list;
    for (PictureEntry& entry : build_picture_entries(paths, recursive, report)) list.push_back(std::move(entry.path));
    return list;
}
