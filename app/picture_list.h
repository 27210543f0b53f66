// The pictures a command line names: its files, and the JPEG files of its
// folders, in the order the viewer steps through them.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

// Natural order of names: runs of digits compare by their value ("img2"
// before "img10"), everything else without regard to ASCII case; names
// equal that way fall back to byte order, so the order is total.
bool natural_less(std::string_view a, std::string_view b);

// Does the file's content start with a JPEG start of image (FF D8 FF)?
// -1 when it cannot be opened or read (errno says why).
int starts_as_jpeg(const std::string& path);

// Receives one line for the user (without "marivue: " or a line end) about
// a path that was skipped.
using PictureListReport = std::function<void(const std::string& line)>;

// The pictures of `paths`, in their order: a file is listed as named, also
// when it cannot be opened or is not a regular file (the viewer says why
// when it cannot show it); a folder gives its regular files whose content
// starts as a JPEG, hidden ones left out, in natural order by name, and
// with `recursive` its subfolders' pictures at their place in that order
// (each folder visited once, so links cannot loop). A path that does not
// exist, and a folder or folder entry that cannot be read, is reported and
// skipped.
struct PictureEntry {
    std::string path;
    // The name to show: a named file's own name; a folder's file by its path
    // from that folder ("2024/img1.jpg" with --recursive).
    std::string name;
};
std::vector<PictureEntry> build_picture_entries(const std::vector<std::string>& paths, bool recursive,
                                                const PictureListReport& report);

// The same, paths only.
std::vector<std::string> build_picture_list(const std::vector<std::string>& paths, bool recursive,
                                            const PictureListReport& report);
