#include "app/picture_fit.h"

#include "app/colour_profile.h"
#include "app/exif.h"
#include "marivue/jpeg.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

using namespace marivue::jpeg;

namespace {

// Where the picture lands in the frame, and which frame pixel each stored
// pixel adds to. A stored column x adds to frame coordinate `along[x]` (a
// column, or for a turned picture a row) and a stored row y to `across(y)`.
struct Placement {
    bool turned = false;  // orientations 5 to 8 swap rows and columns
    int32_t shown_width = 0, shown_height = 0;  // the picture turned
    int32_t fitted_width = 0, fitted_height = 0;
    int32_t left = 0, top = 0;  // of the fitted picture in the frame
    std::vector<int32_t> along;  // per stored column
    std::vector<int32_t> column_count, row_count;  // shown pixels per fitted column and row
    bool reverse_rows = false;  // stored rows run against the frame coordinate they map to
    int32_t stored_height = 0;

    int32_t across(int32_t y) const {
        const int64_t shown = reverse_rows ? stored_height - 1 - y : y;
        return turned ? static_cast<int32_t>(shown * fitted_width / shown_width)
                      : static_cast<int32_t>(shown * fitted_height / shown_height);
    }
};

// How `width` x `height` stored pixels in `orientation` fit a frame.
Placement place(int32_t width, int32_t height, int orientation, const FitFrame& frame) {
    Placement p;
    p.turned = orientation >= 5;
    p.shown_width = p.turned ? height : width;
    p.shown_height = p.turned ? width : height;
    p.stored_height = height;
    int64_t w = p.shown_width, h = p.shown_height;
    // Larger pictures shrink to the frame's width or height, whichever binds;
    // smaller ones keep their size (enlarging would only invent detail).
    if (w > frame.width || h > frame.height) {
        if (w * frame.height >= h * frame.width) {
            h = std::max<int64_t>(1, (h * frame.width * 2 + w) / (w * 2));
            w = frame.width;
        } else {
            w = std::max<int64_t>(1, (w * frame.height * 2 + h) / (h * 2));
            h = frame.height;
        }
    }
    p.fitted_width = static_cast<int32_t>(w);
    p.fitted_height = static_cast<int32_t>(h);
    p.left = (frame.width - p.fitted_width) / 2;
    p.top = (frame.height - p.fitted_height) / 2;

    // Mirrored columns: 2, 3 (as stored) and 7, 8 (turned); mirrored rows:
    // 3, 4 (as stored) and 6, 7 (turned).
    const bool reverse_columns = orientation == 2 || orientation == 3 || orientation == 7 || orientation == 8;
    p.reverse_rows = orientation == 3 || orientation == 4 || orientation == 6 || orientation == 7;
    const int32_t along_fitted = p.turned ? p.fitted_height : p.fitted_width;
    p.along.resize(static_cast<size_t>(width));
    for (int32_t x = 0; x < width; ++x) {
        const int64_t shown = reverse_columns ? width - 1 - x : x;
        p.along[static_cast<size_t>(x)] = static_cast<int32_t>(shown * along_fitted / width);
    }
    p.column_count.assign(static_cast<size_t>(p.fitted_width), 0);
    p.row_count.assign(static_cast<size_t>(p.fitted_height), 0);
    for (int64_t x = 0; x < p.shown_width; ++x) ++p.column_count[static_cast<size_t>(x * w / p.shown_width)];
    for (int64_t y = 0; y < p.shown_height; ++y) ++p.row_count[static_cast<size_t>(y * h / p.shown_height)];
    return p;
}

void clear(const FitFrame& frame) {
    std::memset(frame.pixels, 0, static_cast<size_t>(frame.width) * static_cast<size_t>(frame.height) * 3);
}

// Where frame pixel `i` of `to` samples a side of `from` pixels: the two
// neighbours and the second one's weight in 256ths (pixel centres aligned).
struct Tap {
    int32_t first, second, weight;
};
std::vector<Tap> taps(int32_t from, int32_t to) {
    std::vector<Tap> out(static_cast<size_t>(to));
    for (int32_t i = 0; i < to; ++i) {
        const int64_t at = std::max<int64_t>(0, (int64_t{2 * i + 1} * from * 256) / (int64_t{2} * to) - 128);
        const int32_t first = static_cast<int32_t>(std::min<int64_t>(at >> 8, from - 1));
        out[static_cast<size_t>(i)] = {first, std::min(first + 1, from - 1), static_cast<int32_t>(at & 255)};
    }
    return out;
}

// Enlarges the `width` x `height` picture in the middle of the frame until
// it fills the frame's width or height, interpolating between its pixels.
void enlarge(const FitFrame& frame, int32_t width, int32_t height) {
    int64_t w = frame.width, h = frame.height;
    if (int64_t{width} * frame.height >= int64_t{height} * frame.width)
        h = std::max<int64_t>(1, (int64_t{height} * frame.width * 2 + width) / (int64_t{width} * 2));
    else
        w = std::max<int64_t>(1, (int64_t{width} * frame.height * 2 + height) / (int64_t{height} * 2));
    if (w <= width && h <= height) return;
    const size_t frame_row = static_cast<size_t>(frame.width) * 3;
    const size_t left = static_cast<size_t>((frame.width - width) / 2),
                 top = static_cast<size_t>((frame.height - height) / 2);
    std::vector<uint8_t> small;
    try {
        small.resize(static_cast<size_t>(width) * static_cast<size_t>(height) * 3);
    } catch (const std::bad_alloc&) {
        return;  // shown at its own size
    }
    for (size_t y = 0; y < static_cast<size_t>(height); ++y)
        std::memcpy(&small[y * static_cast<size_t>(width) * 3], frame.pixels + (top + y) * frame_row + left * 3,
                    static_cast<size_t>(width) * 3);
    clear(frame);
    const std::vector<Tap> across = taps(width, static_cast<int32_t>(w)), down = taps(height, static_cast<int32_t>(h));
    const size_t to_left = static_cast<size_t>((frame.width - w) / 2),
                 to_top = static_cast<size_t>((frame.height - h) / 2);
    for (size_t y = 0; y < down.size(); ++y) {
        const uint8_t* upper = &small[static_cast<size_t>(down[y].first) * static_cast<size_t>(width) * 3];
        const uint8_t* lower = &small[static_cast<size_t>(down[y].second) * static_cast<size_t>(width) * 3];
        const int32_t wy = down[y].weight;
        uint8_t* out = frame.pixels + (to_top + y) * frame_row + to_left * 3;
        for (const Tap& t : across)
            for (size_t c = 0; c < 3; ++c, ++out) {
                const size_t a = static_cast<size_t>(t.first) * 3 + c, b = static_cast<size_t>(t.second) * 3 + c;
                const int32_t top_mix = upper[a] * (256 - t.weight) + upper[b] * t.weight;
                const int32_t bottom_mix = lower[a] * (256 - t.weight) + lower[b] * t.weight;
                *out = static_cast<uint8_t>((top_mix * (256 - wy) + bottom_mix * wy + 32768) >> 16);
            }
    }
}

}  // namespace

PictureOutcome fit_picture(const std::string& path, FitFrame frame, const std::atomic<bool>* cancel) {
    clear(frame);
    PictureFile file;
    struct stat info {};
    PictureOutcome outcome = open_picture(path, file, info);
    if (!file) return outcome;
    const ExifFacts exif = read_exif(file.get());
    outcome.facts.exif = exif;
    if (std::fseek(file.get(), 0, SEEK_SET) != 0) return picture_unreadable(outcome, errno);

    FileByteSource source(file.get());
    Decoder decoder(source, picture_fit_memory_limit);
    if (decoder.status() != 0) return picture_failed(outcome, decoder.status(), decoder.message());
    const int32_t width = decoder.info().width, height = decoder.info().height;
    const Placement p = place(width, height, exif.orientation, frame);
    outcome.facts.width = p.shown_width;
    outcome.facts.height = p.shown_height;

    // Sums of up to 12 x 9 pixels (the largest share one fitted pixel gets
    // of an 8192-pixel side) of 255 each fit 16 bits.
    std::vector<uint16_t> sums;
    std::vector<uint8_t> row;
    try {
        sums.assign(static_cast<size_t>(p.fitted_width) * static_cast<size_t>(p.fitted_height) * 3, 0);
        row.resize(static_cast<size_t>(width) * 3);
    } catch (const std::bad_alloc&) {
        return picture_failed(outcome, OutOfMemory);
    }
    // Where each stored column's sums lie from the start of its row's (or,
    // turned, its column's) first sum.
    std::vector<size_t> column_offsets(static_cast<size_t>(width));
    const size_t fitted_row_sums = static_cast<size_t>(p.fitted_width) * 3;
    for (size_t x = 0; x < column_offsets.size(); ++x)
        column_offsets[x] = static_cast<size_t>(p.along[x]) * (p.turned ? fitted_row_sums : 3);
    for (int32_t y = 0; y < height; ++y) {
        if (cancel != nullptr && cancel->load(std::memory_order_relaxed)) {
            outcome.result = PictureResult::cancelled;
            return outcome;
        }
        const int got = decoder.next_row(row);
        if (got != 0) {
            clear(frame);
            return picture_failed(outcome, got < 0 ? got : BufferLimit,
                                  got == decoder.status() ? decoder.message() : nullptr);
        }
        const size_t across = static_cast<size_t>(p.across(y));
        uint16_t* base = sums.data() + (p.turned ? across * 3 : across * fitted_row_sums);
        const uint8_t* in = row.data();
        for (size_t x = 0; x < column_offsets.size(); ++x, in += 3) {
            uint16_t* sum = base + column_offsets[x];
            sum[0] = static_cast<uint16_t>(sum[0] + in[0]);
            sum[1] = static_cast<uint16_t>(sum[1] + in[1]);
            sum[2] = static_cast<uint16_t>(sum[2] + in[2]);
        }
    }

    // Each fitted pixel is the rounded mean of the pixels it gathered, stored
    // blue, green, red.
    const size_t frame_row_bytes = static_cast<size_t>(frame.width) * 3;
    for (int32_t y = 0; y < p.fitted_height; ++y) {
        uint8_t* out =
            frame.pixels + static_cast<size_t>(p.top + y) * frame_row_bytes + static_cast<size_t>(p.left) * 3;
        const uint16_t* sum = &sums[static_cast<size_t>(y) * static_cast<size_t>(p.fitted_width) * 3];
        for (int32_t x = 0; x < p.fitted_width; ++x, out += 3, sum += 3) {
            const uint32_t n = static_cast<uint32_t>(p.column_count[static_cast<size_t>(x)]) *
                               static_cast<uint32_t>(p.row_count[static_cast<size_t>(y)]);
            for (int c = 0; c < 3; ++c) out[2 - c] = static_cast<uint8_t>((sum[c] + n / 2) / n);
        }
    }
    // The colours from the picture's profile to sRGB, on the fitted pixels
    // (at most the frame's), not on every pixel of a large picture.
    const ProfileUse profile = convert_to_srgb(
        decoder.info().icc_profile, frame.pixels + static_cast<size_t>(p.top) * frame_row_bytes + p.left * 3,
        p.fitted_width, p.fitted_height, frame_row_bytes, decoder.info().components == 1);
    if (frame.enlarge) enlarge(frame, p.fitted_width, p.fitted_height);
    outcome.result = decoder.complete() ? PictureResult::shown : PictureResult::incomplete;
    if (!decoder.complete()) outcome.reason = "the picture's data ends early; the missing part is filled in";
    if (profile == ProfileUse::refused)
        outcome.reason += std::string(outcome.reason.empty() ? "" : "; ") +
                          "its colour profile cannot be used, so its colours are shown unconverted";
    return outcome;
}
