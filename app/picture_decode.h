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
#include <string>
#include <utility>
#include <vector>

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

// Asks a decode in hand to end early; any thread may ask.
class DecodeStop {
public:
    void request() { requested_.store(true, std::memory_order_relaxed); }
    bool requested() const { return requested_.load(std::memory_order_relaxed); }

private:
    std::atomic<bool> requested_{false};
};

// Whether a small box decodes faster than a large one (the decoder's
// reduced-size decoding). Until it does, a quick preview costs as much as
// the picture itself, and the view asks for none.
constexpr bool picture_decode_reduces = false;

// The most working memory the decoder may take for one picture (bytes).
constexpr size_t picture_decode_memory_limit = size_t{256} << 20;

// `width` x `height` fitted into a `box_width` x `box_height` box: its
// aspect kept (sides rounded, at least 1), never enlarged.
std::pair<int32_t, int32_t> fitted_size(int32_t width, int32_t height, int32_t box_width, int32_t box_height);

// Decodes what `request` asks of the file at `path`. The outcome says how it
// went and what the file tells (its facts as far as they were learnt); the
// image is there when the result is shown or incomplete; a shown picture
// whose colour profile cannot be used has a reason that says so. A request
// to `stop` ends the work between two rows with cancelled.
DecodedPicture decode_picture(const std::string& path, const PictureRequest& request, const DecodeStop& stop);
