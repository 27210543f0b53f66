// --info: a picture's properties, in words or as one JSON object.
#pragma once

#include "marivue/jpeg/decoder.h"

#include <cstdint>
#include <string>

namespace jpeg_decode {

// What is known of a parsed picture. `refusal` is 0 when begin succeeded,
// otherwise the status it failed with.
struct PictureInfo {
    std::string file;
    int32_t width = 0, height = 0, components = 0;
    bool progressive = false;
    std::string sampling;  // "4:2:0", "grey", or the factors "4x1, 1x1, 1x1"
    uint32_t restart_interval = 0;  // in MCUs; 0: none
    std::string colour_transform;  // "YCbCr", "RGB", "YCCK" (four components) or "none"
    int32_t refusal = 0;
};

// Reads the properties off a decoder on which open_decoder succeeded and
// begin was called (with the status it left).
PictureInfo describe(const std::string& file, const marivue::jpeg::JpegDecoder& decoder, int32_t refusal);

// One "name: value" line per property.
void print_words(const PictureInfo& info);
// The same as one JSON object on one line.
void print_json(const PictureInfo& info);

// "241 x 161, colour (4:2:0), progressive": the summary line's words.
std::string summary(const PictureInfo& info);

}  // namespace jpeg_decode
