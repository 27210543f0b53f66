// --info: a picture's properties, in words or as one JSON object.
#pragma once

#include "marivue/jpeg.hpp"

#include <cstdint>
#include <string>

namespace jpeg_decode {

// What is known of a parsed picture. `refusal` is 0 when it decodes,
// otherwise the status it failed with, and `reason` the decoder's words.
struct PictureInfo {
    std::string file;
    int32_t width = 0, height = 0, components = 0;
    int scale = 1;  // the picture is decoded at 1/scale of its size,
    int32_t output_width = 0, output_height = 0;  // to this size
    bool progressive = false;
    std::string sampling;  // "4:2:0", "grey", or the factors "4x1, 1x1, 1x1"
    uint32_t restart_interval = 0;  // in MCUs; 0: none
    std::string colour_transform;  // "YCbCr", "RGB", "YCCK" (four components) or "none"
    std::string colour_space;  // "grey", "YCbCr", "RGB", "CMYK" or "YCCK"
    size_t profile_bytes = 0;  // the embedded ICC profile's size, 0 without one
    std::string profile_description;  // its description, UTF-8; may be empty
    int orientation = 1;  // Exif
    int32_t refusal = 0;
    std::string reason;
};

// Reads the properties off a decoder's Info, after its first row was asked
// for (so that the restart interval is the first scan's); `scale` is the
// decoder's.
PictureInfo describe(const std::string& file, const marivue::jpeg::Info& info, int scale, int32_t refusal = 0,
                     const std::string& reason = "");

// One "name: value" line per property.
void print_words(const PictureInfo& info);
// The same as one JSON object on one line.
void print_json(const PictureInfo& info);

// "241 x 161, colour (4:2:0, YCbCr), progressive", or scaled "31 x 21 (1/8
// of 241 x 161), ...": the summary line's words.
std::string summary(const PictureInfo& info);

}  // namespace jpeg_decode
