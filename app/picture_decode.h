// Decoding a picture file for the photo view: the whole picture or a part of
// it, at the size a box asks for, turned upright as its EXIF orientation
// says, its colours converted to sRGB from its embedded ICC profile when it
// has one (a picture without one is taken as sRGB). Rows are scaled down as
// they arrive (each output pixel the mean of the picture pixels that fall on
// it), so nothing larger than the output and one row of the picture is held,
// whatever the picture's size.
//
// This is the one place that drives the decoder for the view; the worker
// threads call nothing else, so that reduced-size decoding, stopping the
// decoder and colour profiles stay a change to this file.
#pragma once

#include "app/picture_file.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace marivue::jpeg {
class Decoder;
}

// What is wanted of a picture. Coordinates are the picture's pixels as
// shown (upright).
struct PictureRequest {
    // The part of the picture; a width of 0 asks for all of it. A part
    // reaching past the picture is cut to it.
    int32_t left = 0, top = 0, width = 0, height = 0;
    // The box the output fits into, aspect kept; it is never larger than
    // the part's own pixels.
    int32_t box_width = 0, box_height = 0;

    bool operator==(const PictureRequest&) const = default;
};

// Pixels of a part of a picture: blue, green, red, 255, rows of width x 4
// bytes top to bottom.
struct PictureImage {
    std::vector<uint8_t> bgra;
    int32_t width = 0, height = 0;
    // The part they show, in picture pixels (as shown).
    int32_t left = 0, top = 0, part_width = 0, part_height = 0;
};

struct DecodedPicture {
    PictureOutcome outcome;
    std::shared_ptr<const PictureImage> image;  // set when shown or incomplete
};

// Asks a decode in hand to end early; any thread may ask. A decoder at work
// is told at once (it looks between its blocks, also inside a progressive
// picture's scans), so a picture being decoded never holds up a jump.
class DecodeStop {
public:
    void request();
    bool requested() const { return requested_.load(std::memory_order_relaxed); }

    // decode_picture's: the decoder at work, told of a request; null when
    // it is done with.
    void attach(marivue::jpeg::Decoder* decoder);

private:
    std::atomic<bool> requested_{false};
    std::mutex mutex_;  // guards decoder_ against its end
    marivue::jpeg::Decoder* decoder_ = nullptr;
};

// The largest reduced size decode_picture takes a whole picture at: the
// decoder reduces it in the transform (1/2, 1/4, 1/8), so that a preview
// or a thumbnail costs a fraction of the picture's decode.
constexpr int picture_decode_largest_reduction = 8;

// The most working memory the decoder may take for one picture (bytes):
// a progressive picture keeps its coefficients, 130 bytes per 8 x 8 block
// of each component, so this takes a 67-megapixel 4:4:4 one (about 410 MB).
// Only one picture is decoded at a time.
constexpr size_t picture_decode_memory_limit = size_t{512} << 20;

// The largest side decode_picture takes (the decoder's limit).
constexpr int picture_decode_max_side = 65535;

// `width` x `height` fitted into a `box_width` x `box_height` box: its
// aspect kept (sides rounded, at least 1), never enlarged.
std::pair<int32_t, int32_t> fitted_size(int32_t width, int32_t height, int32_t box_width, int32_t box_height);

// Decodes what `request` asks of the file at `path`. The outcome says how it
// went and what the file tells (its facts as far as they were learnt); the
// image is there when the result is shown or incomplete; a shown picture
// whose colour profile cannot be used has a reason that says so. A request
// to `stop` ends the work between two rows with cancelled.
DecodedPicture decode_picture(const std::string& path, const PictureRequest& request, DecodeStop& stop);
