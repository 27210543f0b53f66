// The one-call interface and the Decoder class: the streaming operations
// behind an owner that always frees the pool, and the conversion of the
// caller's pixel formats into the layouts the decoder writes its rows in.
#include "marivue/jpeg.hpp"

#include "jpeg/internal.h"
#include "jpeg/metadata.h"

#include <marivue/jpeg/version.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>
#include <new>
#include <optional>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace marivue::jpeg {

namespace {

// What coefficients that never arrived decode to: rows the data did not
// reach are filled with it.
constexpr std::uint8_t mid_grey = 128;

bool known_format(PixelFormat format) {
    return format == PixelFormat::rgb || format == PixelFormat::rgba || format == PixelFormat::bgra ||
           format == PixelFormat::grey;
}

ColourSpace colour_space_of(int32_t coding) {
    switch (coding) {
        case CodingYCbCr:
            return ColourSpace::ycbcr;
        case CodingRgb:
            return ColourSpace::rgb;
        case CodingCmyk:
            return ColourSpace::cmyk;
        case CodingYcck:
            return ColourSpace::ycck;
        default:
            return ColourSpace::grey;
    }
}

Info info_of(const JpegDecoder& d) {
    Info info;
    info.width = d.image_width;
    info.height = d.image_height;
    info.output_width = d.output_width;
    info.output_height = d.output_height;
    info.colour_space = colour_space_of(d.colour_coding);
    info.components = d.frame_component_count;
    info.progressive = d.is_progressive != 0;
    info.rgb = d.is_rgb != 0;
    info.adobe_transform = d.adobe_transform;
    info.restart_interval = static_cast<int>(d.restart_interval);
    for (int c = 0; c < 4 && c < d.frame_component_count; c++) {
        info.h_factor[c] = d.comp_h_factor[c];
        info.v_factor[c] = d.comp_v_factor[c];
    }
    return info;
}

// The record's row layout that delivers `format`: the decoder writes the
// rows straight into the caller's memory in it.
int32_t layout_of(PixelFormat format) {
    switch (format) {
        case PixelFormat::rgb:
            return LayoutRgb;
        case PixelFormat::rgba:
            return LayoutRgbx;
        case PixelFormat::bgra:
            return LayoutBgrx;
        default:
            return LayoutGrey;
    }
}

void fill_row(std::uint8_t* out, int32_t width, PixelFormat format) {
    const int channels = channels_of(format);
    for (int32_t x = 0; x < width; x++, out += channels) {
        std::memset(out, mid_grey, channels == 4 ? 3 : static_cast<size_t>(channels));
        if (channels == 4) out[3] = 255;
    }
}

// Empties an image but keeps its pixel memory for the next picture.
void clear(Image& image) {
    image.width = image.height = image.channels = 0;
    image.complete = false;
    image.pixels.clear();
}

// Below a megapixel delivered a second thread's start costs more than it
// saves: the transform and conversion it takes over shrink with the scale.
bool wants_two_threads(const Info& info, const Options& options) {
    if (options.threads == 1 || options.threads < 0 || info.output_height <= 8) return false;
    if (options.threads >= 2) return true;
    return static_cast<std::uint64_t>(info.output_width) * static_cast<std::uint64_t>(info.output_height) >= 1000000 &&
           std::thread::hardware_concurrency() >= 2;
}

// The record's scale_shift for a scale of 1, 2, 4 or 8; -1 for any other.
int32_t scale_shift_of(int scale) {
    switch (scale) {
        case 1:
            return 0;
        case 2:
            return 1;
        case 4:
            return 2;
        case 8:
            return 3;
        default:
            return -1;
    }
}

// The words for options the decoder cannot use, or null.
const char* invalid_options(const Options& options) {
    if (options.max_side < 1 || options.max_side > 65535) return "the side limit (max_side) is not 1 to 65535";
    if (scale_shift_of(options.scale) < 0) return "the scale is not 1, 2, 4 or 8";
    return nullptr;
}

}  // namespace

namespace detail {

// Everything a Decoder holds, behind its one pointer, so that none of it
// reaches the library's ABI.
struct DecoderState {
    explicit DecoderState(int code) { set_status(code); }
    ~DecoderState() {
        // The pool first: freeing it lets the source go, which may be `memory`.
        if (record != nullptr) free_pool(*record);
    }
    DecoderState(const DecoderState&) = delete;
    DecoderState& operator=(const DecoderState&) = delete;

    // `words` in place of the status's own where the Decoder refused the
    // picture itself. A failure is final: the record and its pool, which
    // nothing reads any more, are released at once.
    void set_status(int code, const char* words = nullptr) {
        status = code;
        if (words == nullptr && record != nullptr)
            describe_status(*record, code, message, sizeof message);
        else
            std::snprintf(message, sizeof message, "%s", words != nullptr ? words : status_message(code));
        if (code != 0 && record != nullptr) {
            free_pool(*record);
            record.reset();
        }
    }

    std::unique_ptr<JpegDecoder> record;  // about 90 KB: never on the caller's stack
    std::optional<MemoryByteSource> memory;  // the source of a Decoder over memory
    const std::uint8_t* data = nullptr;  // its bytes, which the split decode reads too
    size_t size = 0;
    Options options;  // those it was opened with
    Info info;
    int status = StreamError;
    int rows_done = 0;
    bool complete = true;
    bool filling = false;  // the data ran out: every further row is mid-grey
    char message[256];  // the words for `status`
    // Set by stop() from any thread; the record looks at it while it
    // decodes, next_row before each row.
    std::atomic<bool> stop_requested{false};
};

// Opens a Decoder over memory again on its bytes and options.
void reopen(DecoderState& s);

// Prepares decoding on the first call (begin). The segments it reads up to
// the first scan (up to the last for a progressive picture) may change the
// restart interval that info() tells. With `threads`, a progressive stream
// in memory has its scans decoded on two threads; where that is given up
// (the stream is not the plain case), the stream is opened again and
// decoded on one, which gives what it always gives.
inline bool prepare(DecoderState& s, bool threads = false) {
    if (s.record->ready) return true;
    int32_t begun = begin_in_memory(*s.record, threads ? s.data : nullptr, s.size);
    if (begun > 0) {
        // Given up for a stop, the one-thread decode would stop at its
        // first look, after taking all its memory again: it stops here.
        if (s.stop_requested.load(std::memory_order_relaxed)) {
            s.set_status(Stopped);
            return false;
        }
        reopen(s);
        if (s.status != 0) return false;
        begun = begin(*s.record);
    }
    JpegDecoder& d = *s.record;
    s.info.restart_interval = static_cast<int>(d.restart_interval);
    if (begun != 0) s.set_status(d.status);
    return begun == 0;
}

// The one-call decode's access to a Decoder's record.
struct DecoderRows {
    // Decoder::next_row into `out` (checked by the caller), a pair's second
    // row into `next` where not null (see decode_row_into).
    static int next_row(Decoder& decoder, std::uint8_t* out, std::uint8_t* next, PixelFormat format);

    // The rows from the next one on with a second thread, as next_row would
    // give them: into `pixels` (`stride` bytes apart) where it is not null,
    // else to `consume`. Sets `rows` to how many rows it delivered: 0 when it
    // could not have a second thread or an MCU row is partly delivered, and
    // leaves the rest to next_row, which fills in the rows after data that
    // ended early.
    static int two_threads(Decoder& decoder, RowConsumer consume, void* context, std::uint8_t* pixels, size_t stride,
                           PixelFormat format, int& rows) {
        DecoderState& s = *decoder.state_;
        rows = 0;
        if (s.status != 0 || s.filling) return s.status;
        if (!prepare(s, true)) return s.status;
        JpegDecoder& d = *s.record;
        d.settings.layout = layout_of(format);
        int32_t result = 0;
        // A stream in memory can have its scan's entropy decoding split
        // (rows into `pixels` alone); otherwise the second thread transforms
        // and converts.
        int32_t delivered = decode_rows_split(d, s.data, s.size, result, pixels, stride);
        if (delivered < 0) delivered = decode_rows_two_threads(d, consume, context, result, pixels, stride);
        if (delivered < 0) return 0;
        rows = delivered;
        s.rows_done += delivered;
        if (d.data_incomplete) s.complete = false;
        if (result == 1) return 0;
        if (result == DecodeError && d.status == DecodeError && d.data_incomplete) {
            s.filling = true;
            return 0;
        }
        s.set_status(d.status);
        return s.status;
    }

    // Decoder::decode_rows, with `row` room for one row.
    static int to_sink(Decoder& decoder, Decoder::RowSink sink, void* context, const Options& options,
                       std::uint8_t* row) {
        DecoderState& s = *decoder.state_;
        const PixelFormat format = options.format;
        auto next = [&] {
            const int got = next_row(decoder, row, nullptr, format);
            if (got == 0) sink(context, row, s.rows_done - 1, s.complete);
            return got;
        };
        if (wants_two_threads(s.info, options) && prepare(s, true)) {
            // The second thread starts at an MCU row's first row.
            int got = 0;
            while (got == 0 && !s.filling && s.record->mcu_rows_remaining != 0) got = next();
            if (got != 0) return got < 0 ? got : 0;
            struct Forward {
                Decoder::RowSink sink;
                void* context;
            } forward{sink, context};
            const RowConsumer consume = [](void* to, const JpegDecoder& rows, const std::uint8_t* r, int32_t y) {
                const Forward& f = *static_cast<const Forward*>(to);
                f.sink(f.context, r, y, rows.data_incomplete == 0);
            };
            int rows = 0;
            const int status = two_threads(decoder, consume, &forward, nullptr, 0, format, rows);
            if (status != 0) return status;
        }
        for (;;) {
            const int got = next();
            if (got != 0) return got < 0 ? got : 0;
        }
    }
};

}  // namespace detail

namespace {

using detail::DecoderState;

// What a Decoder without a picture of its own points to: after a move, and
// when not even its state could be allocated. Nothing writes to them, as
// nothing writes to a state whose status is a failure.
DecoderState moved_from_state(StreamError);
DecoderState out_of_memory_state(OutOfMemory);

bool is_shared(const DecoderState* state) { return state == &moved_from_state || state == &out_of_memory_state; }

DecoderState* new_state() {
    DecoderState* state = new (std::nothrow) DecoderState(StatusOk);
    return state != nullptr ? state : &out_of_memory_state;
}

void release(DecoderState* state) {
    if (!is_shared(state)) delete state;
}

Options limited_to(std::size_t memory_limit) {
    Options options;
    options.memory_limit = memory_limit;
    return options;
}

// Reads the stream up to its frame header, and refuses a picture above
// the options' pixel limit before any pixel memory is taken. The library
// decodes every layout the record can (extended_layouts); the record's own
// users, the viewer's frame loader among them, keep the default set.
void open(DecoderState& s, ByteSource& source, const Options& options) {
    if (is_shared(&s)) return;
    if (const char* words = invalid_options(options)) return s.set_status(StreamError, words);
    s.record.reset(new (std::nothrow) JpegDecoder);
    if (s.record == nullptr) return s.set_status(OutOfMemory);
    s.options = options;
    s.record->memory_limit = options.memory_limit;
    s.record->settings.max_side = options.max_side;
    s.record->settings.scale_shift = scale_shift_of(options.scale);
    s.record->settings.extended_layouts = 1;
    s.record->stop_flag = &s.stop_requested;
    // The profile and Exif data come from the segments before the frame
    // header; later segments are not looked at.
    detail::Metadata metadata;
    s.record->segment_sink = detail::Metadata::sink;
    s.record->segment_context = &metadata;
    open_decoder(*s.record, source);
    s.record->segment_sink = nullptr;
    s.record->segment_context = nullptr;
    if (s.record->status != 0) return s.set_status(s.record->status);
    s.info = info_of(*s.record);
    s.info.icc_profile = metadata.take_icc_profile();
    s.info.exif = metadata.take_exif();
    s.info.orientation = detail::exif_orientation(s.info.exif.data(), s.info.exif.size());
    const std::uint64_t pixels = static_cast<std::uint64_t>(s.info.width) * static_cast<std::uint64_t>(s.info.height);
    if (options.max_pixels != 0 && pixels > options.max_pixels) {
        free_pool(*s.record);
        s.set_status(OutOfMemory, "the picture has more pixels than the pixel limit allows");
    }
}

}  // namespace

void detail::reopen(DecoderState& s) {
    free_pool(*s.record);
    s.memory.emplace(s.data, s.size);
    open(s, *s.memory, s.options);
}

static_assert(sizeof(Decoder) == sizeof(void*), "a Decoder is one pointer: its state stays out of the ABI");

Decoder::Decoder(ByteSource& source, std::size_t memory_limit) : Decoder(source, limited_to(memory_limit)) {}

Decoder::Decoder(const void* data, std::size_t size, std::size_t memory_limit)
    : Decoder(data, size, limited_to(memory_limit)) {}

Decoder::Decoder(ByteSource& source, const Options& options) : state_(new_state()) { open(*state_, source, options); }

Decoder::Decoder(const void* data, std::size_t size, const Options& options) : state_(new_state()) {
    if (is_shared(state_)) return;
    state_->memory.emplace(static_cast<const std::uint8_t*>(data), size);
    state_->data = static_cast<const std::uint8_t*>(data);
    state_->size = data != nullptr ? size : 0;
    open(*state_, *state_->memory, options);
}

Decoder::~Decoder() { release(state_); }

Decoder::Decoder(Decoder&& other) noexcept : state_(std::exchange(other.state_, &moved_from_state)) {}

Decoder& Decoder::operator=(Decoder&& other) noexcept {
    if (this != &other) {
        release(state_);
        state_ = std::exchange(other.state_, &moved_from_state);
    }
    return *this;
}

int Decoder::status() const { return state_->status; }

const Info& Decoder::info() const { return state_->info; }

bool Decoder::complete() const { return state_->complete; }

const char* Decoder::message() const { return state_->message; }

int Decoder::decode_image(Image& image, const Options& options) {
    const int refused = !known_format(options.format) ? StreamError
                        : status() != 0               ? status()
                        : state_->rows_done != 0      ? StreamError
                                                      : 0;
    if (refused != 0) {
        clear(image);
        return refused;
    }
    const Info& info = this->info();
    const int channels = channels_of(options.format);
    const size_t stride = static_cast<size_t>(info.output_width) * static_cast<size_t>(channels);
    // Every byte of every row is written below (a row the data did not
    // reach is filled in), so the bytes an image kept from an earlier
    // picture need no clearing first: only new memory is set to zero.
    image.width = image.height = image.channels = 0;
    image.complete = false;
    try {
        image.pixels.resize(stride * static_cast<size_t>(info.output_height));
    } catch (const std::bad_alloc&) {
        clear(image);
        return OutOfMemory;
    }
    std::uint8_t* out = image.pixels.data();
    int result = 0;
    int y = 0;
    if (wants_two_threads(info, options))
        result = detail::DecoderRows::two_threads(*this, nullptr, nullptr, out, stride, options.format, y);
    // Each row goes straight into the image; a pair of rows converted in one
    // pass puts its second row in place at once.
    for (out += stride * static_cast<size_t>(y); y < info.output_height && result == 0; y++, out += stride)
        result = detail::DecoderRows::next_row(*this, out, y + 1 < info.output_height ? out + stride : nullptr,
                                               options.format);
    if (result != 0) {
        clear(image);
        return result < 0 ? result : BufferLimit;  // 1 before the last row would be the decoder's fault
    }
    image.width = info.output_width;
    image.height = info.output_height;
    image.channels = channels;
    image.complete = complete();
    return 0;
}

void Decoder::stop() noexcept {
    if (!is_shared(state_)) state_->stop_requested.store(true, std::memory_order_relaxed);
}

int Decoder::next_row(std::span<std::uint8_t> row, PixelFormat format) {
    const DecoderState& s = *state_;
    if (s.status != 0) return s.status;
    if (!known_format(format) ||
        row.size() < static_cast<size_t>(s.info.output_width) * static_cast<size_t>(channels_of(format)))
        return StreamError;
    return detail::DecoderRows::next_row(*this, row.data(), nullptr, format);
}

int Decoder::decode_rows(RowSink sink, void* context, const Options& options) {
    const DecoderState& s = *state_;
    if (s.status != 0) return s.status;
    if (sink == nullptr || !known_format(options.format)) return StreamError;
    std::vector<std::uint8_t> row;
    try {
        row.resize(static_cast<size_t>(s.info.output_width) * static_cast<size_t>(channels_of(options.format)));
    } catch (const std::bad_alloc&) {
        return OutOfMemory;
    }
    return detail::DecoderRows::to_sink(*this, sink, context, options, row.data());
}

int detail::DecoderRows::next_row(Decoder& decoder, std::uint8_t* out, std::uint8_t* next, PixelFormat format) {
    DecoderState& s = *decoder.state_;
    if (s.status != 0) return s.status;
    if (s.rows_done == s.info.output_height) return 1;
    // Also between the rows of an MCU row, and while filling in rows.
    if (s.stop_requested.load(std::memory_order_relaxed)) {
        s.set_status(Stopped);
        return s.status;
    }
    if (!prepare(s, wants_two_threads(s.info, s.options))) return s.status;
    JpegDecoder& d = *s.record;
    d.settings.layout = layout_of(format);
    const int32_t got = s.filling ? DecodeError : decode_row_into(d, out, next);
    if (d.data_incomplete) s.complete = false;
    if (got != 0 && !s.filling) {
        // A sequential picture whose data ends early can fail at the MCU row
        // that ran out: that row and every one after it are filled in.
        if (got == DecodeError && d.status == DecodeError && d.data_incomplete) {
            s.filling = true;
        } else {
            s.set_status(got == 1 ? BufferLimit : d.status);  // 1 before the last row would be the decoder's fault
            return s.status;
        }
    }
    if (s.filling) fill_row(out, s.info.output_width, format);
    s.rows_done++;
    return 0;
}

int read_info(const void* data, std::size_t size, Info& info) { return read_info(data, size, info, Options{}); }

int read_info(const void* data, std::size_t size, Info& info, const Options& options) {
    Decoder decoder(data, size, options);
    info = decoder.info();
    return decoder.status();
}

int decode(const void* data, std::size_t size, Image& image, PixelFormat format) {
    Options options;
    options.format = format;
    return decode(data, size, image, options);
}

int decode(const void* data, std::size_t size, Image& image, const Options& options) {
    Decoder decoder(data, size, options);
    return decoder.decode_image(image, options);
}

int decode_file(const char* path, Image& image, PixelFormat format) {
    Options options;
    options.format = format;
    return decode_file(path, image, options);
}

int decode_file(const char* path, Image& image, const Options& options) {
    clear(image);
    std::FILE* file = path != nullptr ? std::fopen(path, "rb") : nullptr;
    if (file == nullptr) return StreamError;
    // A regular file is read whole first, so that its scan's entropy
    // decoding can be split between two threads as decode's is; anything
    // else (a pipe, a device) is read as the decoder goes.
    std::error_code error;
    const std::uintmax_t length =
        std::filesystem::is_regular_file(path, error) && !error ? std::filesystem::file_size(path, error) : 0;
    std::vector<std::uint8_t> bytes;
    if (length > 0 && !error && length <= std::numeric_limits<std::size_t>::max() / 2) {
        try {
            bytes.resize(static_cast<std::size_t>(length));
        } catch (const std::bad_alloc&) {
            std::fclose(file);
            return OutOfMemory;
        }
        // A file cut short meanwhile decodes as far as it goes.
        bytes.resize(std::fread(bytes.data(), 1, bytes.size(), file));
        const bool failed = std::ferror(file) != 0;
        std::fclose(file);
        return failed ? StreamError : decode(bytes.data(), bytes.size(), image, options);
    }
    int status;
    {
        FileByteSource source(file);
        Decoder decoder(source, options);
        status = decoder.decode_image(image, options);
    }
    std::fclose(file);
    return status;
}

const char* version() { return MARIVUE_JPEG_VERSION_STRING; }

}  // namespace marivue::jpeg
