// Folders of pictures written by the reference encoder's command (cjpeg) at
// test time, for the tests of picture files and the front ends' runs over a
// folder.
#pragma once

#include "tests/support/fixtures.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace e2e {

// An Exif segment's content: IFD0 with `ifd0` entries (tag, type, count,
// value; value 0 for the Exif pointer is filled in), then the Exif directory
// with `exif` entries, then the date text (a value of 0 points at it).
std::vector<uint8_t> exif_segment(bool big, const std::vector<std::array<uint32_t, 4>>& ifd0,
                                  const std::vector<std::array<uint32_t, 4>>& exif,
                                  const std::string& date = "2024:05:17 14:03:22");

// The reference commands over pictures in a folder of their own.
struct PictureFolder {
    std::string dir = make_temp_dir();
    std::string at(const std::string& name) const { return dir + "/" + name; }

    // A PPM of a test picture, coded by cjpeg with `options` as `name`.
    void encode(const std::string& name, int width, int height, const std::string& options);
    // The file with an APP1 segment holding `segment` just after its SOI.
    void insert_exif(const std::string& name, const std::vector<uint8_t>& segment);
    // The same with any segment: marker `code` (0xE2 for an ICC profile chunk).
    void insert_segment(const std::string& name, int code, const std::vector<uint8_t>& segment);
    // djpeg's pixels of a file (colour, no smoothing) as blue, green, red.
    Picture reference(const std::string& file, const std::string& options = "") const;
};

// One folder for the whole test program, removed at exit: img2.jpg
// (baseline), img10.jpg (progressive), Grey.jpg, restart.jpg (restart
// intervals, 2x1 sampling), "picture" (no extension), turned.jpg (Exif
// orientation 6, date taken), broken.jpg (cut short), .hidden.jpg, fake.jpg
// (not a JPEG), sub/inner.jpg and the loop sub/loop -> ".."; and in .odd/
// files that cannot be opened: the named pipe pipe.jpg, loop.jpg (a link
// to itself) and secret.jpg (a picture of mode 000); and .odd/slow.jpg, a
// progressive picture whose decode takes many minutes.
const PictureFolder& album_pictures();

}  // namespace e2e
