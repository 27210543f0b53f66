// The two things the album reads from a picture's Exif segment: how the
// picture is to be turned (the orientation tag) and when it was taken.
//
// The parser trusts nothing in the segment: every offset and count is
// checked against the segment's own bytes, it reads only the first image
// directory and the Exif directory it points to (so no chain of links can
// loop), and a value of the wrong type or out of range counts as absent.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

struct ExifFacts {
    // 1 to 8 as the tag defines them: 1 as stored, 2 mirrored left to
    // right, 3 turned half round, 4 mirrored top to bottom, 5 mirrored
    // about the main diagonal, 6 turned a quarter clockwise to show, 7
    // mirrored about the other diagonal, 8 turned a quarter anticlockwise.
    int orientation = 1;
    // "YYYY:MM:DD HH:MM:SS" as the camera wrote the date taken; empty when
    // the segment has none (or not in that form).
    std::string date_taken;
};

// The facts of an APP1 segment's content (the bytes after its length field,
// starting "Exif\0\0"); defaults when it is not an Exif segment.
ExifFacts parse_exif_segment(const uint8_t* data, size_t size);

// The facts of the first Exif segment of the JPEG stream in `file`, read by
// walking its marker segments from the start up to the first scan; defaults
// when there is none or the stream is not JPEG. Leaves the file position
// anywhere.
ExifFacts read_exif(std::FILE* file);
