#include "app/picture_decode.h"

#include "app/colour_profile.h"
#include "marivue/jpeg.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <optional>
#include <span>
#include <system_error>
#include <thread>

using namespace marivue::jpeg;

namespace {

// The whole of an open file from its start into `bytes`; false where it
// cannot be had, the file then where it was, to be read as the decoding goes.
bool read_whole(std::FILE* file, std::vector<uint8_t>& bytes) {
    const long at = std::ftell(file);
    if (at < 0 || std::fseek(file, 0, SEEK_SET) != 0) return false;
    try {
        uint8_t chunk[1 << 16];
        for (size_t got; (got = std::fread(chunk, 1, sizeof chunk, file)) > 0;)
            bytes.insert(bytes.end(), chunk, chunk + got);
    } catch (const std::bad_alloc&) {
        bytes.clear();
    }
    const bool whole = std::ferror(file) == 0 && !bytes.empty();
    if (!whole) {
        std::clearerr(file);
        std::fseek(file, at, SEEK_SET);
    }
    return whole;
}

// Where the output pixels go. The output is first laid out as the picture
// is stored (`width` x `height`, output column c and row r); orientation
// then puts pixel (c, r) at `start(r) + c * step` of the upright image,
// whose rows are `upright_width` pixels long.
struct Placement {
    int orientation = 1;
    int32_t width = 0, height = 0;  // the output as stored
    int32_t upright_width = 0;

    bool turned() const { return orientation >= 5; }
    // Pixel offsets into the upright image, for the eight orientations:
    // mirrored columns (2, 3, 7, 8) walk backwards, turned ones (5 to 8)
    // walk down a column.
    ptrdiff_t start(int32_t r) const {
        const ptrdiff_t w = upright_width, last_c = width - 1, row = r, last_r = height - 1 - r;
        switch (orientation) {
            case 2:
                return row * w + last_c;
            case 3:
                return last_r * w + last_c;
            case 4:
                return last_r * w;
            case 5:
                return row;
            case 6:
                return last_r;
            case 7:
                return last_c * w + last_r;
            case 8:
                return last_c * w + row;
            default:
                return row * w;
        }
    }
    ptrdiff_t step() const {
        switch (orientation) {
            case 2:
            case 3:
                return -1;
            case 5:
            case 6:
                return upright_width;
            case 7:
            case 8:
                return -static_cast<ptrdiff_t>(upright_width);
            default:
                return 1;
        }
    }
};

// The stored point of upright point (x, y) of a `width` x `height` stored
// picture (continuous coordinates, so that a rectangle's corners map to
// the corners of its stored rectangle).
std::pair<int64_t, int64_t> stored_point(int orientation, int64_t width, int64_t height, int64_t x, int64_t y) {
    switch (orientation) {
        case 2:
            return {width - x, y};
        case 3:
            return {width - x, height - y};
        case 4:
            return {x, height - y};
        case 5:
            return {y, x};
        case 6:
            return {y, height - x};
        case 7:
            return {width - y, height - x};
        case 8:
            return {width - y, x};
        default:
            return {x, y};
    }
}

// Gathers the stored rows of a part into output rows: each output pixel the
// rounded mean of the part's pixels that fall on it (column x of the part
// falls on output column x * out / in, and rows alike). One output row of
// sums is kept; a row is written out when the next one starts.
class Gatherer {
public:
    Gatherer(int32_t part_width, int32_t part_height, const Placement& placement, uint8_t* upright)
        : placement_(placement), upright_(reinterpret_cast<uint32_t*>(upright)), part_height_(part_height) {
        const int32_t out_width = placement.width;
        column_of_.resize(static_cast<size_t>(part_width));
        column_count_.assign(static_cast<size_t>(out_width), 0);
        for (int32_t x = 0; x < part_width; ++x) {
            const auto c = static_cast<int32_t>(int64_t{x} * out_width / part_width);
            column_of_[static_cast<size_t>(x)] = c;
            ++column_count_[static_cast<size_t>(c)];
        }
        same_size_ = out_width == part_width && placement.height == part_height;
        if (!same_size_) sums_.assign(static_cast<size_t>(out_width) * 3, 0);
    }

    // Row `y` of the part, its pixels blue, green, red, alpha.
    void add(const uint8_t* row, int32_t y) {
        if (same_size_) return place(y, [row](int32_t c) { return load(row + size_t(c) * 4); });
        const auto r = static_cast<int32_t>(int64_t{y} * placement_.height / part_height_);
        if (r != row_ && row_ >= 0) flush();
        if (r != row_) rows_in_ = 0;
        row_ = r;
        ++rows_in_;
        const int32_t* column = column_of_.data();
        for (size_t x = 0; x < column_of_.size(); ++x, row += 4) {
            uint64_t* sum = &sums_[size_t(column[x]) * 3];
            sum[0] += row[0], sum[1] += row[1], sum[2] += row[2];
        }
    }

    void finish() {
        if (!same_size_ && row_ >= 0) flush();
    }

private:
    static uint32_t load(const uint8_t* p) {
        uint32_t v;
        std::memcpy(&v, p, 4);
        return v;
    }

    template <typename Pixel>
    void place(int32_t r, Pixel pixel) {
        const ptrdiff_t step = placement_.step();
        uint32_t* out = upright_ + placement_.start(r);
        for (int32_t c = 0; c < placement_.width; ++c, out += step) *out = pixel(c);
    }

    void flush() {
        place(row_, [this](int32_t c) {
            uint64_t* sum = &sums_[size_t(c) * 3];
            const uint64_t n = uint64_t{column_count_[size_t(c)]} * rows_in_;
            uint8_t bgra[4] = {static_cast<uint8_t>((sum[0] + n / 2) / n), static_cast<uint8_t>((sum[1] + n / 2) / n),
                               static_cast<uint8_t>((sum[2] + n / 2) / n), 255};
            sum[0] = sum[1] = sum[2] = 0;
            return load(bgra);
        });
    }

    Placement placement_;
    uint32_t* upright_;
    int32_t part_height_;
    bool same_size_ = false;
    std::vector<int32_t> column_of_;
    std::vector<uint32_t> column_count_;
    std::vector<uint64_t> sums_;
    int32_t row_ = -1;
    uint32_t rows_in_ = 0;
};

// Images from this size up are released on a thread of their own when
// their decode is stopped.
constexpr size_t picture_release_aside_bytes = size_t{16} << 20;

// The largest reduction (1, 2, 4 or 8) at which a `width` x `height`
// picture still has at least `out_width` x `out_height` pixels.
int reduction(int32_t width, int32_t height, int32_t out_width, int32_t out_height) {
    int scale = 1;
    while (scale < picture_decode_largest_reduction) {
        const int next = scale * 2;
        if ((width + next - 1) / next < out_width || (height + next - 1) / next < out_height) break;
        scale = next;
    }
    return scale;
}

}  // namespace

std::pair<int32_t, int32_t> fitted_size(int32_t width, int32_t height, int32_t box_width, int32_t box_height) {
    int64_t w = width, h = height;
    box_width = std::max(box_width, 1);
    box_height = std::max(box_height, 1);
    if (w > box_width || h > box_height) {
        if (w * box_height >= h * box_width) {
            h = std::max<int64_t>(1, (h * box_width * 2 + w) / (w * 2));
            w = box_width;
        } else {
            w = std::max<int64_t>(1, (w * box_height * 2 + h) / (h * 2));
            h = box_height;
        }
    }
    return {static_cast<int32_t>(w), static_cast<int32_t>(h)};
}

void DecodeStop::request() {
    requested_.store(true, std::memory_order_relaxed);
    const std::lock_guard<std::mutex> lock(mutex_);
    if (decoder_ != nullptr) decoder_->stop();
}

void DecodeStop::attach(Decoder* decoder) {
    const std::lock_guard<std::mutex> lock(mutex_);
    decoder_ = decoder;
    // A request made before the decoder was there reaches it now.
    if (decoder_ != nullptr && requested()) decoder_->stop();
}

DecodedPicture decode_picture(const std::string& path, const PictureRequest& request, DecodeStop& stop) {
    DecodedPicture done;
    PictureOutcome& outcome = done.outcome;
    PictureFile file;
    struct stat info {};
    outcome = open_picture(path, file, info);
    if (!file) return done;
    outcome.facts.exif = read_exif(file.get());
    if (std::fseek(file.get(), 0, SEEK_SET) != 0) {
        outcome = picture_unreadable(outcome, errno);
        return done;
    }
    std::optional<FileByteSource> source(std::in_place, file.get());
    Options options;
    options.memory_limit = picture_decode_memory_limit;
    options.max_side = picture_decode_max_side;
    std::optional<Decoder> decoder(std::in_place, *source, options);
    if (decoder->status() != 0) {
        outcome = picture_failed(outcome, decoder->status(), decoder->message());
        return done;
    }
    const int orientation = outcome.facts.exif.orientation;
    const bool turned = orientation >= 5;
    const int32_t width = decoder->info().width, height = decoder->info().height;
    outcome.facts.width = turned ? height : width;
    outcome.facts.height = turned ? width : height;
    outcome.facts.colour_profile = profile_name(decoder->info().icc_profile);

    // The part, upright and cut to the picture, and where it lies as stored.
    auto image = std::make_shared<PictureImage>();
    const int64_t left = std::clamp<int64_t>(request.left, 0, outcome.facts.width - 1);
    const int64_t top = std::clamp<int64_t>(request.top, 0, outcome.facts.height - 1);
    int64_t right = request.width > 0 ? int64_t{request.left} + request.width : outcome.facts.width;
    int64_t bottom = request.width > 0 ? int64_t{request.top} + request.height : outcome.facts.height;
    right = std::clamp<int64_t>(right, left + 1, outcome.facts.width);
    bottom = std::clamp<int64_t>(bottom, top + 1, outcome.facts.height);
    image->left = static_cast<int32_t>(left), image->top = static_cast<int32_t>(top);
    image->part_width = static_cast<int32_t>(right - left), image->part_height = static_cast<int32_t>(bottom - top);
    const auto [x0, y0] = stored_point(orientation, width, height, left, top);
    const auto [x1, y1] = stored_point(orientation, width, height, right, bottom);
    const auto part_x = static_cast<int32_t>(std::min(x0, x1)), part_y = static_cast<int32_t>(std::min(y0, y1));
    const auto part_width = static_cast<int32_t>(std::max(x0, x1) - part_x);
    const auto part_height = static_cast<int32_t>(std::max(y0, y1) - part_y);

    std::tie(image->width, image->height) =
        fitted_size(image->part_width, image->part_height, request.box_width, request.box_height);
    Placement placement{orientation, turned ? image->height : image->width, turned ? image->width : image->height,
                        image->width};

    // A whole picture wanted smaller than itself is decoded at the largest
    // reduced size that still has a pixel for each output pixel: the file
    // is read again from its start by a decoder told the scale.
    int scale = 1;
    if (part_width == width && part_height == height) {
        scale = reduction(width, height, placement.width, placement.height);
        if (scale > 1) {
            options.scale = scale;
            decoder.reset();
            if (std::fseek(file.get(), 0, SEEK_SET) != 0) {
                outcome = picture_unreadable(outcome, errno);
                return done;
            }
            source.emplace(file.get());
            decoder.emplace(*source, options);
            if (decoder->status() != 0) {
                outcome = picture_failed(outcome, decoder->status(), decoder->message());
                return done;
            }
        }
    }
    const int32_t decoded_width = decoder->info().output_width, decoded_height = decoder->info().output_height;
    const int32_t first_row = part_y / scale, rows = (part_y + part_height + scale - 1) / scale - first_row;
    const int32_t first_column = part_x / scale, columns = (part_x + part_width + scale - 1) / scale - first_column;

    // The whole picture upright at its decoded size: the one-call decode
    // writes the rows straight into it, on two threads for a large picture.
    const bool direct = orientation == 1 && columns == decoded_width && rows == decoded_height &&
                        placement.width == decoded_width && placement.height == decoded_height;
    // A picture of a megapixel or more as decoded is read into memory first
    // where the decoder can then share its entropy decoding between two
    // threads: such a sequential picture's scan at its full size (the
    // one-call decode), a progressive picture's scans at every size but the
    // eighth (before its first row, whichever way the rows are taken).
    const bool progressive = decoder->info().progressive;
    std::vector<uint8_t> bytes;
    if ((progressive ? scale != 8 : direct && scale == 1) && int64_t{decoded_width} * decoded_height >= 1000000 &&
        read_whole(file.get(), bytes)) {
        decoder.emplace(bytes.data(), bytes.size(), options);
        if (decoder->status() != 0) {
            outcome = picture_failed(outcome, decoder->status(), decoder->message());
            return done;
        }
    }
    std::vector<uint8_t> row;
    try {
        if (!direct) {
            image->bgra.resize(size_t(image->width) * size_t(image->height) * 4);
            row.resize(size_t(decoded_width) * 4);
        }
    } catch (const std::bad_alloc&) {
        outcome = picture_failed(outcome, OutOfMemory);
        return done;
    }
    Gatherer gatherer(columns, rows, placement, image->bgra.data());
    // The stop reaches the decoder at work, also inside a progressive
    // picture's scans, until it is done with.
    stop.attach(&*decoder);
    struct Detach {
        DecodeStop& stop;
        ~Detach() { stop.attach(nullptr); }
    } detach{stop};
    // Handing back hundreds of megabytes takes the system tens of
    // milliseconds, which a stopped decode must not spend before the work
    // that was asked for instead: a large image goes on a thread of its own.
    const auto cancelled = [&] {
        outcome.result = PictureResult::cancelled;
        try {
            if (image->bgra.capacity() >= picture_release_aside_bytes)
                std::thread([gone = std::move(image)] {}).detach();
        } catch (const std::system_error&) {
            // No thread to spare: it is released here after all.
        }
        return std::move(done);
    };
    if (direct) {
        Image whole;
        Options decoding;
        decoding.format = PixelFormat::bgra;
        const int got = decoder->decode_image(whole, decoding);
        // An image that failed is empty, its memory kept: released as above.
        image->bgra = std::move(whole.pixels);
        if (got == Stopped || (got != 0 && stop.requested())) return cancelled();
        if (got != 0) {
            outcome = picture_failed(outcome, got, got == decoder->status() ? decoder->message() : nullptr);
            return done;
        }
    }
    for (int32_t y = 0; !direct && y < first_row + rows; ++y) {
        if (stop.requested()) return cancelled();
        const int got = decoder->next_row(row, PixelFormat::bgra);
        if (got == Stopped || (got != 0 && stop.requested())) return cancelled();
        if (got != 0) {
            outcome = picture_failed(outcome, got < 0 ? got : BufferLimit,
                                     got == decoder->status() ? decoder->message() : nullptr);
            return done;
        }
        if (y >= first_row) gatherer.add(row.data() + size_t(first_column) * 4, y - first_row);
    }
    gatherer.finish();
    // The colours from the picture's profile to sRGB, on the output pixels
    // (at most the box's), not on every pixel of a large picture.
    const ProfileUse profile =
        convert_to_srgb(decoder->info().icc_profile, image->bgra.data(), image->width, image->height,
                        size_t(image->width) * 4, decoder->info().components == 1);
    // Rows below the part are not decoded, so the data's end is known only
    // for parts that reach the picture's last row.
    outcome.result = decoder->complete() ? PictureResult::shown : PictureResult::incomplete;
    if (!decoder->complete()) outcome.reason = "the picture's data ends early; the missing part is filled in";
    // A four-component picture's profile describes its inks, which the
    // decoder has already turned into RGB: there is nothing to apply it to.
    if (profile == ProfileUse::refused && decoder->info().components != 4)
        outcome.reason += std::string(outcome.reason.empty() ? "" : "; ") +
                          "its colour profile cannot be used, so its colours are shown unconverted";
    done.image = std::move(image);
    return done;
}
