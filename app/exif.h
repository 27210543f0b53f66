// What the viewer reads from a picture's Exif segment: how the picture is to
// be turned (the orientation tag), when it was taken, and the camera's
// make, model and settings for the info panel.
//
// The parser trusts nothing in the segment: every offset and count is
// checked against the segment's own bytes, it reads only the first image
// directory and the Exif directory it points to (so no chain of links can
// loop), and a value of the wrong type or out of range counts as absent.
// The first of two entries with the same tag counts.
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
    // The camera's maker and model as written (printable ASCII, at most 64
    // characters, trailing spaces cut); empty when absent.
    std::string make;
    std::string model;
    // Exposure time in seconds, the f-number and the focal length in
    // millimetres as the fractions written; a denominator of 0 when absent.
    struct Fraction {
        uint32_t numerator = 0;
        uint32_t denominator = 0;
    };
    Fraction exposure_time;
    Fraction f_number;
    Fraction focal_length;
    uint32_t iso = 0;  // the sensitivity (ISO speed), 0 when absent
};

// The facts of an APP1 segment's content (the bytes after its length field,
// starting "Exif\0\0"); defaults when it is not an Exif segment.
ExifFacts parse_exif_segment(const uint8_t* data, size_t size);

// The facts of the first Exif segment of the JPEG stream in `file`, read by
// walking its marker segments from the start up to the first scan; defaults
// when there is none or the stream is not JPEG. Leaves the file position
// anywhere.
ExifFacts read_exif(std::FILE* file);
