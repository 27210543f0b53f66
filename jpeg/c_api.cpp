// The C interface over the C++ one's Decoder. The one-call decode's pixels
// are decoded into a block of the C allocator, which marivue_jpeg_free
// releases; the streaming decoder is a Decoder with the source it reads.
// Nothing thrown crosses into C (the decoder throws nothing, but a guard
// costs nothing).
#include "marivue/jpeg.h"

#include "marivue/jpeg.hpp"

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

using namespace marivue::jpeg;

namespace {

marivue_jpeg_image empty_image() { return marivue_jpeg_image{0, 0, 0, 0, nullptr, 0}; }

bool format_of(int format, PixelFormat& out) {
    switch (format) {
        case MARIVUE_JPEG_RGB:
            out = PixelFormat::rgb;
            return true;
        case MARIVUE_JPEG_RGBA:
            out = PixelFormat::rgba;
            return true;
        case MARIVUE_JPEG_BGRA:
            out = PixelFormat::bgra;
            return true;
        case MARIVUE_JPEG_GREY:
            out = PixelFormat::grey;
            return true;
        default:
            return false;
    }
}

// Decodes every row of an opened decoder into one block of the C allocator,
// so that C code owns the pixels without a copy.
int decode_rows(Decoder& decoder, PixelFormat format, marivue_jpeg_image* out) {
    if (decoder.status() != 0) return decoder.status();
    const Info& info = decoder.info();
    const size_t stride = static_cast<size_t>(info.output_width) * static_cast<size_t>(channels_of(format));
    const size_t size = stride * static_cast<size_t>(info.output_height);
    auto* pixels = static_cast<unsigned char*>(std::malloc(size));
    if (pixels == nullptr) return OutOfMemory;
    for (int y = 0; y < info.output_height; y++) {
        const int result =
            decoder.next_row(std::span<std::uint8_t>(pixels + stride * static_cast<size_t>(y), stride), format);
        if (result != 0) {
            std::free(pixels);
            return result < 0 ? result : BufferLimit;
        }
    }
    *out = marivue_jpeg_image{
        info.output_width, info.output_height, channels_of(format), decoder.complete() ? 1 : 0, pixels, size};
    return 0;
}

const unsigned char* bytes_of(const std::vector<std::uint8_t>& bytes, size_t* size) {
    if (size != nullptr) *size = bytes.size();
    return bytes.empty() ? nullptr : bytes.data();
}

marivue_jpeg_info info_of(const Info& in) {
    marivue_jpeg_info out{in.width, in.height, in.components, in.progressive ? 1 : 0, in.rgb ? 1 : 0, {}, {}};
    for (int c = 0; c < 4; c++) {
        out.h_factor[c] = in.h_factor[c];
        out.v_factor[c] = in.v_factor[c];
    }
    return out;
}

// A read function as a byte source. Its 0 is the end of the data, after
// which it is not called again.
class CallbackByteSource final : public ByteSource {
public:
    CallbackByteSource(marivue_jpeg_read_fn read, void* user_data) : read_(read), user_data_(user_data) {}

    int32_t read(uint8_t* buffer, int32_t max, uint8_t* end_flag) override {
        if (ended_) {
            *end_flag = 1;
            return 0;
        }
        if (read_ == nullptr || buffer == nullptr || max <= 0) return -1;
        const long got = read_(user_data_, buffer, static_cast<size_t>(max));
        if (got == 0) {
            ended_ = true;
            *end_flag = 1;
        }
        // More than was asked for would have written past the buffer: the
        // read function is broken, and the data is not to be trusted.
        return got < 0 || got > max ? -1 : static_cast<int32_t>(got);
    }

private:
    marivue_jpeg_read_fn read_;
    void* user_data_;
    bool ended_ = false;
};

// The fields of the caller's options that its `size` covers; the others
// keep their defaults. False for options init has not set up.
bool options_of(const marivue_jpeg_options* in, Options& out) {
    out = Options{};
    if (in == nullptr) return true;
    if (in->size < sizeof in->size) return false;
    const auto covers = [&](size_t offset, size_t bytes) { return in->size >= offset + bytes; };
    if (covers(offsetof(marivue_jpeg_options, memory_limit), sizeof in->memory_limit))
        out.memory_limit = in->memory_limit;
    if (covers(offsetof(marivue_jpeg_options, max_pixels), sizeof in->max_pixels)) out.max_pixels = in->max_pixels;
    if (covers(offsetof(marivue_jpeg_options, max_side), sizeof in->max_side)) out.max_side = in->max_side;
    if (covers(offsetof(marivue_jpeg_options, scale), sizeof in->scale)) out.scale = in->scale;
    return true;
}

}  // namespace

// A streaming decoder: a Decoder, over memory or over the caller's read
// function (its source, which outlives it, being declared first).
struct marivue_jpeg_decoder {
    marivue_jpeg_decoder(const unsigned char* data, size_t size, const Options& options)
        : source(nullptr, nullptr), decoder(data, size, options) {}
    marivue_jpeg_decoder(marivue_jpeg_read_fn read, void* user_data, const Options& options)
        : source(read, user_data), decoder(source, options) {}

    CallbackByteSource source;
    Decoder decoder;
};

namespace {

template <typename... Source>
marivue_jpeg_decoder* make_decoder(const marivue_jpeg_options* options, int* status, Source... source) {
    Options read;
    int result = StreamError;
    marivue_jpeg_decoder* decoder = nullptr;
    if (options_of(options, read)) {
        decoder = new (std::nothrow) marivue_jpeg_decoder(source..., read);
        result = decoder != nullptr ? decoder->decoder.status() : OutOfMemory;
    }
    if (status != nullptr) *status = result;
    return decoder;
}

}  // namespace

extern "C" {

int marivue_jpeg_decode(const unsigned char* data, size_t size, int format, marivue_jpeg_image* out) {
    return marivue_jpeg_decode_with_options(data, size, format, nullptr, out);
}

int marivue_jpeg_decode_with_options(const unsigned char* data, size_t size, int format,
                                     const marivue_jpeg_options* options, marivue_jpeg_image* out) {
    PixelFormat pixel_format;
    Options read;
    if (out == nullptr) return StreamError;
    *out = empty_image();
    if (!format_of(format, pixel_format) || !options_of(options, read)) return StreamError;
    try {
        Decoder decoder(data, size, read);
        return decode_rows(decoder, pixel_format, out);
    } catch (...) {
        return OutOfMemory;
    }
}

int marivue_jpeg_decode_file(const char* path, int format, marivue_jpeg_image* out) {
    PixelFormat pixel_format;
    if (out == nullptr) return StreamError;
    *out = empty_image();
    if (!format_of(format, pixel_format)) return StreamError;
    std::FILE* file = path != nullptr ? std::fopen(path, "rb") : nullptr;
    if (file == nullptr) return StreamError;
    int status = OutOfMemory;
    try {
        FileByteSource source(file);
        Decoder decoder(source);
        status = decode_rows(decoder, pixel_format, out);
    } catch (...) {
    }
    std::fclose(file);
    return status;
}

void marivue_jpeg_free(marivue_jpeg_image* image) {
    if (image == nullptr) return;
    std::free(image->pixels);
    *image = empty_image();
}

int marivue_jpeg_read_info(const unsigned char* data, size_t size, marivue_jpeg_info* info) {
    if (info == nullptr) return StreamError;
    Info read;
    const int status = read_info(data, size, read);
    *info = info_of(read);
    return status;
}

const char* marivue_jpeg_status_name(int status) { return status_name(status); }

const char* marivue_jpeg_status_message(int status) { return status_message(status); }

const char* marivue_jpeg_version(void) { return version(); }

void marivue_jpeg_options_init(marivue_jpeg_options* options, size_t size) {
    if (options == nullptr || size < sizeof options->size) return;
    // Fields a later header added beyond this library's are 0.
    std::memset(static_cast<void*>(options), 0, size);
    const Options defaults;
    const marivue_jpeg_options ours{size, defaults.memory_limit, defaults.max_pixels, defaults.max_side,
                                    defaults.scale};
    std::memcpy(static_cast<void*>(options), &ours, std::min(size, sizeof ours));
}

marivue_jpeg_decoder* marivue_jpeg_decoder_open_memory(const unsigned char* data, size_t size,
                                                       const marivue_jpeg_options* options, int* status) {
    return make_decoder(options, status, data, size);
}

marivue_jpeg_decoder* marivue_jpeg_decoder_open_callback(marivue_jpeg_read_fn read, void* user_data,
                                                         const marivue_jpeg_options* options, int* status) {
    if (read == nullptr) {
        if (status != nullptr) *status = StreamError;
        return nullptr;
    }
    return make_decoder(options, status, read, user_data);
}

int marivue_jpeg_decoder_info(const marivue_jpeg_decoder* decoder, marivue_jpeg_info* info) {
    if (decoder == nullptr || info == nullptr) return StreamError;
    *info = info_of(decoder->decoder.info());
    return decoder->decoder.status();
}

int marivue_jpeg_decoder_output_size(const marivue_jpeg_decoder* decoder, int* width, int* height) {
    const Info none;
    const Info& info = decoder != nullptr ? decoder->decoder.info() : none;
    if (width != nullptr) *width = info.output_width;
    if (height != nullptr) *height = info.output_height;
    return decoder != nullptr ? decoder->decoder.status() : StreamError;
}

int marivue_jpeg_decoder_colour_space(const marivue_jpeg_decoder* decoder) {
    if (decoder == nullptr || decoder->decoder.info().components == 0) return -1;
    switch (decoder->decoder.info().colour_space) {
        case ColourSpace::ycbcr:
            return MARIVUE_JPEG_SPACE_YCBCR;
        case ColourSpace::rgb:
            return MARIVUE_JPEG_SPACE_RGB;
        case ColourSpace::cmyk:
            return MARIVUE_JPEG_SPACE_CMYK;
        case ColourSpace::ycck:
            return MARIVUE_JPEG_SPACE_YCCK;
        default:
            return MARIVUE_JPEG_SPACE_GREY;
    }
}

int marivue_jpeg_decoder_next_row(marivue_jpeg_decoder* decoder, unsigned char* row, size_t row_size, int format) {
    PixelFormat pixel_format;
    if (decoder == nullptr || row == nullptr || !format_of(format, pixel_format)) return StreamError;
    return decoder->decoder.next_row(std::span<std::uint8_t>(row, row_size), pixel_format);
}

int marivue_jpeg_decoder_status(const marivue_jpeg_decoder* decoder) {
    return decoder != nullptr ? decoder->decoder.status() : StreamError;
}

int marivue_jpeg_decoder_complete(const marivue_jpeg_decoder* decoder) {
    return decoder != nullptr && decoder->decoder.complete() ? 1 : 0;
}

const char* marivue_jpeg_decoder_message(const marivue_jpeg_decoder* decoder) {
    return decoder != nullptr ? decoder->decoder.message() : status_message(StreamError);
}

const unsigned char* marivue_jpeg_decoder_icc_profile(const marivue_jpeg_decoder* decoder, size_t* size) {
    if (decoder == nullptr) return bytes_of({}, size);
    return bytes_of(decoder->decoder.info().icc_profile, size);
}

const unsigned char* marivue_jpeg_decoder_exif(const marivue_jpeg_decoder* decoder, size_t* size) {
    if (decoder == nullptr) return bytes_of({}, size);
    return bytes_of(decoder->decoder.info().exif, size);
}

int marivue_jpeg_decoder_orientation(const marivue_jpeg_decoder* decoder) {
    return decoder != nullptr ? decoder->decoder.info().orientation : 1;
}

void marivue_jpeg_decoder_stop(marivue_jpeg_decoder* decoder) {
    if (decoder != nullptr) decoder->decoder.stop();
}

void marivue_jpeg_decoder_free(marivue_jpeg_decoder* decoder) { delete decoder; }

}  // extern "C"
