// Marivue JPEG decoder: the C++ interface. The one-call decode, and the
// Decoder class, which streams a picture row by row; both give pixels in a
// layout of the caller's choice, at the picture's size or at 1/2, 1/4 or
// 1/8 of it (Options::scale).
//
//   marivue::jpeg::Image image;
//   int status = marivue::jpeg::decode_file("photo.jpg", image, marivue::jpeg::PixelFormat::rgba);
//   if (status != 0) std::fprintf(stderr, "%s\n", marivue::jpeg::status_message(status));
//
// Every function returns 0 or a negative DecodeStatus (marivue/jpeg/status.h)
// and throws nothing. Besides the decoder's own failures:
//   NotJpeg       null data or size 0 (no start-of-image marker, as for any
//                 other stream without one);
//   StreamError   a file that cannot be opened or read, or arguments the call
//                 cannot use (an unknown pixel format, a null output, a row
//                 buffer too small, Options::max_side or Options::scale out
//                 of range);
//   OutOfMemory   the system refused memory, the decoder's working memory
//                 would pass Options::memory_limit, or the picture has more
//                 pixels than Options::max_pixels;
//   Stopped       Decoder::stop() was called (marivue_jpeg_decoder_stop in C).
// A picture whose data ends early still decodes: what the data gave is kept,
// rows it did not reach are mid-grey (128) and `complete` is false.
//
// What decodes: grey and three-component colour pictures (YCbCr, or RGB
// without colour transform) with any sampling factors 1..4 in whole ratios
// and at most 10 blocks to an MCU (4:4:4, 4:2:2, 4:2:0, 4:4:0, 4:1:1, ...),
// and four-component pictures: CMYK as Adobe stores it (inverted, 255 = no
// ink) and YCCK (an Adobe segment with transform 2). Those come as red,
// green and blue by the naive product, red = (C x K + 127) / 255 with C and
// K as stored (integer division), green from M, blue from Y; YCCK's Y, Cb,
// Cr first become R', G', B' as a YCbCr picture's pixels do, then C, M, Y
// are 255 - R', 255 - G', 255 - B'. No colour profile is applied (the
// profile is in Info::icc_profile for the caller's colour management).
//
// Pixel formats: rows are packed top to bottom, width x channels bytes each.
// Colour from a grey picture replicates the grey sample. Grey from a YCbCr
// picture is its luma (Y) sample as decoded, before any colour conversion;
// every other colour picture (RGB, CMYK, YCCK) has none, and its grey is the
// integer luma of the red, green and blue it decodes to,
// (77 R + 150 G + 29 B + 128) >> 8. Alpha is 255.
#pragma once

#include "marivue/jpeg/byte_source.h"
#include "marivue/jpeg/export.h"
#include "marivue/jpeg/status.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace marivue::jpeg {

enum class PixelFormat { rgb, rgba, bgra, grey };

// How a picture's components carry colour: one grey component; three as
// YCbCr, or as RGB without colour transform; four as CMYK or YCCK.
enum class ColourSpace { grey, ycbcr, rgb, cmyk, ycck };

// Bytes per pixel of a format: 3, 4, 4 or 1.
constexpr int channels_of(PixelFormat format) {
    return format == PixelFormat::grey ? 1 : format == PixelFormat::rgb ? 3 : 4;
}

struct Image {
    // The delivered size: the picture's at Options::scale (Info::output_width
    // and output_height).
    int width = 0;
    int height = 0;
    int channels = 0;
    std::vector<std::uint8_t> pixels;  // width x channels bytes per row, rows top to bottom
    bool complete = false;  // false when the data ended early and rows were filled in
};

struct Info {
    // The frame's size, whatever the scale.
    int width = 0;
    int height = 0;
    int components = 0;  // 1 grey, 3 or 4 colour (2 is read but does not decode)
    bool progressive = false;
    bool rgb = false;  // colour coded as RGB rather than YCbCr
    // Sampling factors of each component (1 to 4 where they decode): 2, 2 for
    // the first and 1, 1 for the others is 4:2:0; unused entries are 0.
    int h_factor[4] = {};
    int v_factor[4] = {};
    // The colour transform of the picture's Adobe segment (0 none: RGB or
    // CMYK; 1 YCbCr; 2 YCCK), -1 without one.
    int adobe_transform = -1;
    // MCUs from one restart marker to the next, 0 without restart markers:
    // as the segments before the frame header set it, and on a Decoder,
    // once the first row has been asked for, as the first scan has it (the
    // last scan of a progressive picture).
    int restart_interval = 0;
    // From the segments before the frame header. The embedded ICC colour
    // profile: its APP2 "ICC_PROFILE" chunks joined in sequence order; empty
    // without one, and also when the chunks are inconsistent (numbers or
    // counts that disagree, a chunk missing or repeated) or add up to more
    // than 16 MiB: no profile rather than a wrong one. Pixels are never
    // converted: the profile is for the caller's colour management.
    std::vector<std::uint8_t> icc_profile{};
    // The Exif orientation (IFD0 tag 0x0112): 1 as stored, 2 mirrored left
    // to right, 3 turned half round, 4 mirrored top to bottom, 5 mirrored
    // about the main diagonal, 6 to be turned a quarter clockwise, 7
    // mirrored about the other diagonal, 8 to be turned a quarter
    // anticlockwise; 1 when absent or invalid. Rows are delivered as stored.
    int orientation = 1;
    // The first APP1 "Exif" segment's TIFF data (the bytes after
    // "Exif\0\0"), for reading camera facts; empty without one.
    std::vector<std::uint8_t> exif{};
    // The size of the rows delivered: width and height divided by
    // Options::scale and rounded up (equal to them at 1/1). Image, next_row
    // and decode_image take this size.
    int output_width = 0;
    int output_height = 0;
    // From the component count and the segments before the frame header
    // (see ColourSpace and the conversions above).
    ColourSpace colour_space = ColourSpace::grey;
};

struct Options {
    PixelFormat format = PixelFormat::rgb;
    // The most working memory the decoder may hold (0: no limit), beside the
    // image itself. The default keeps a hostile header from taking gigabytes.
    // Sequential pictures need little; a progressive one keeps 130 bytes per
    // 8x8 block of each component (4000 x 3000 at 4:2:0: about 37 MB), so
    // only progressive pictures of more than about 130 million samples over
    // all components go above it.
    std::size_t memory_limit = std::size_t{256} << 20;
    // Pictures with more pixels are refused with OutOfMemory before any pixel
    // memory is taken (0: no limit beyond max_side x max_side). The
    // picture's own pixels count, whatever the scale: a reduced size takes
    // less output memory, but the decoder still reads every block of the
    // picture.
    std::uint64_t max_pixels = 0;
    // Threads for decode and decode_file, a Decoder's decode_image and
    // decode_rows, and the first row of a Decoder over memory (the
    // constructor's options): 1 keeps to the calling thread; 2 (or more)
    // adds a second one that transforms and converts the rows the calling
    // thread has entropy-decoded, and for a picture in memory shares the
    // entropy decoding too (a sequential picture's scan at the full size, a
    // progressive picture's scans at every size but 1/8); 0 chooses 2 for
    // pictures of a megapixel or more (as decoded) on a machine with two
    // cores or more, else 1. The image, the status and `complete` are the
    // same whatever the choice.
    int threads = 0;
    // The largest width and height accepted, 1 to 65535; wider or taller
    // pictures are refused with WidthOutOfRange or HeightOutOfRange (and
    // words that name the limit). Values outside 1..65535 give StreamError.
    // Raising it costs nothing by itself: what a larger picture needs
    // stays bounded by memory_limit (a progressive 12000 x 4000 4:2:0
    // picture needs about 146 MB, a 4:4:4 one about 292 MB, which the
    // default limit refuses), and its decode takes time in proportion to its
    // pixels. Above 8192 pixels an MCU row's block pointers come from that
    // memory too, 17.4 MB at most (65535 wide; README).
    int max_side = 8192;
    // Rows at 1/scale of the picture's size: 1, 2, 4 or 8; other values give
    // StreamError. Width and height are the picture's divided by the scale
    // and rounded up (Info::output_width, output_height). Each 8 x 8 block is
    // transformed straight to 4 x 4, 2 x 2 or 1 sample from its lowest
    // frequencies alone (at 1/8 exactly the block's average, its DC value),
    // colour converted and upsampled at the reduced size; the results are
    // the same on every processor and with one thread or two, and close to
    // the full picture box-filtered (README gives the measured differences).
    // Costs: a sequential picture's entropy data is still read in full, the
    // coefficients the size does not need passed over without being stored
    // (on a 12-megapixel photograph decode took about 0.7 of the full
    // size's time at 1/2, 0.35 at 1/8); a progressive picture decodes every
    // scan at 1/2 and 1/4 (little faster), and at 1/8 only its DC scans,
    // keeping 2 bytes a block instead of 130 (10 to 14 times as fast). At 1/8 a
    // progressive picture's AC scans are passed over undecoded: one that the
    // data ends inside, closed by an appended end-of-image marker, leaves
    // `complete` true (README).
    int scale = 1;
};

// Reads the stream up to its frame header: with the default options, or
// with the options' max_side, scale (for output_width and output_height)
// and max_pixels.
MARIVUE_JPEG_API int read_info(const void* data, std::size_t size, Info& info);
MARIVUE_JPEG_API int read_info(const void* data, std::size_t size, Info& info, const Options& options);

// Decodes a whole picture into `image`, replacing what it held; on failure
// `image` is left empty (its memory is kept for reuse either way).
// decode_file reads a regular file whole first, as decode takes it; other
// files (pipes, devices) are read as the decoding goes.
MARIVUE_JPEG_API int decode(const void* data, std::size_t size, Image& image, PixelFormat format = PixelFormat::rgb);
MARIVUE_JPEG_API int decode(const void* data, std::size_t size, Image& image, const Options& options);
MARIVUE_JPEG_API int decode_file(const char* path, Image& image, PixelFormat format = PixelFormat::rgb);
MARIVUE_JPEG_API int decode_file(const char* path, Image& image, const Options& options);

// The library's version, "MAJOR.MINOR.PATCH".
MARIVUE_JPEG_API const char* version();

namespace detail {
struct DecoderState;  // what a Decoder holds
struct DecoderRows;  // the one-call decode's way to a Decoder's rows
}  // namespace detail

// Decodes one picture row by row. Construction reads the stream up to its
// frame header (status() and info() then tell what it is); the first
// next_row call prepares decoding, which for a progressive picture decodes
// every scan. All memory is released when the object is destroyed, also in
// the middle of a picture. A source passed by reference must outlive the
// Decoder; memory passed as data and size must stay unchanged as long.
// A moved-from Decoder holds no picture: its status is StreamError. The
// object is one pointer to state of the library's own, so that what the
// decoder keeps can change without changing the library's ABI.
class MARIVUE_JPEG_API Decoder {
public:
    explicit Decoder(ByteSource& source, std::size_t memory_limit = Options{}.memory_limit);
    Decoder(const void* data, std::size_t size, std::size_t memory_limit = Options{}.memory_limit);
    // With the options' memory_limit, max_pixels (which refuses a larger
    // picture here, with OutOfMemory), max_side and scale (StreamError here
    // for values out of range). `format` is for decode and decode_file
    // only: next_row takes its format with each row. `threads`, over
    // memory, for the progressive picture's scans the first next_row
    // decodes. The constructors without options use the defaults (with
    // their memory limit).
    Decoder(ByteSource& source, const Options& options);
    Decoder(const void* data, std::size_t size, const Options& options);
    ~Decoder();
    Decoder(Decoder&& other) noexcept;
    Decoder& operator=(Decoder&& other) noexcept;
    Decoder(const Decoder&) = delete;
    Decoder& operator=(const Decoder&) = delete;

    // 0, or the first failure.
    int status() const;
    // What the frame header says, once construction has read it.
    const Info& info() const;
    // False once the data has been found to end early (final after the last row).
    bool complete() const;
    // The words for status() a person reads: status_message()'s, or more
    // exact ones where the decoder knows the actual reason. The text lives
    // as long as the Decoder and changes only when status() does.
    const char* message() const;

    // Writes the next row in `format` into the first info().output_width x
    // channels_of(format) bytes of `row`. Returns 0 when a row was written,
    // 1 once every row has been, or the negative status (StreamError for a
    // span too short, which consumes no row). The format may change from
    // row to row.
    int next_row(std::span<std::uint8_t> row, PixelFormat format = PixelFormat::rgb);

    // The one-call decode on this decoder: every row into `image`, in
    // options.format, on one or two threads as options.threads says (the
    // other options are the constructor's). Only before the first next_row;
    // StreamError after it. Returns 0 or the status, as decode() does.
    int decode_image(Image& image, const Options& options = Options{});

    // Receives decode_rows' rows: picture row y (from 0), output_width x
    // channels_of(format) bytes valid during the call only, and whether the
    // data reached it (false from the first row decoded past the end of the
    // data or filled in, and for every row of a progressive picture whose
    // data ended early). Must not throw.
    using RowSink = void (*)(void* context, const std::uint8_t* row, int y, bool complete);
    // Hands every row not yet delivered, in order, to `sink` in
    // options.format: the rows next_row calls would give. On one or two
    // threads as options.threads says (the other options are the
    // constructor's); with two, the calling thread decodes the entropy data
    // and the rows reach `sink` one at a time on a second thread, which
    // transforms and converts them. Returns 0 once every row has been
    // delivered, or the status (StreamError without a sink).
    int decode_rows(RowSink sink, void* context, const Options& options = Options{});

    // Ends the decoding in progress: callable from any thread, also while
    // another is inside next_row or decode_image, which then return Stopped
    // at the next place the decoder looks: within an MCU row, a progressive
    // scan's header or 4096 blocks of one (about 2 ms of the decoding
    // thread's time at most on a 12 MP progressive picture, README). Every later call returns
    // Stopped too, and the decoder's memory is released at once; the object
    // itself stays valid until it is destroyed. Harmless when called again,
    // after the last row or after a failure.
    void stop() noexcept;

private:
    friend struct detail::DecoderRows;
    detail::DecoderState* state_;
};

}  // namespace marivue::jpeg
