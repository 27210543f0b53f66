// The C interface over the C++ one's Decoder. The pixels are decoded into a
// block of the C allocator, which marivue_jpeg_free releases; nothing thrown
// crosses into C (the decoder throws nothing, but a guard costs nothing).
#include "marivue/jpeg.h"

#include "marivue/jpeg.hpp"

#include <cstdio>
#include <cstdlib>

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
    const size_t stride = static_cast<size_t>(info.width) * static_cast<size_t>(channels_of(format));
    const size_t size = stride * static_cast<size_t>(info.height);
    auto* pixels = static_cast<unsigned char*>(std::malloc(size));
    if (pixels == nullptr) return OutOfMemory;
    for (int y = 0; y < info.height; y++) {
        const int result =
            decoder.next_row(std::span<std::uint8_t>(pixels + stride * static_cast<size_t>(y), stride), format);
        if (result != 0) {
            std::free(pixels);
            return result < 0 ? result : BufferLimit;
        }
    }
    *out = marivue_jpeg_image{info.width, info.height, channels_of(format), decoder.complete() ? 1 : 0, pixels, size};
    return 0;
}

}  // namespace

extern "C" {

int marivue_jpeg_decode(const unsigned char* data, size_t size, int format, marivue_jpeg_image* out) {
    PixelFormat pixel_format;
    if (out == nullptr) return StreamError;
    *out = empty_image();
    if (!format_of(format, pixel_format)) return StreamError;
    try {
        Decoder decoder(data, size);
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
    *info =
        marivue_jpeg_info{read.width, read.height, read.components, read.progressive ? 1 : 0, read.rgb ? 1 : 0, {}, {}};
    for (int c = 0; c < 4; c++) {
        info->h_factor[c] = read.h_factor[c];
        info->v_factor[c] = read.v_factor[c];
    }
    return status;
}

const char* marivue_jpeg_status_name(int status) { return status_name(status); }

const char* marivue_jpeg_status_message(int status) { return status_message(status); }

const char* marivue_jpeg_version(void) { return version(); }

}  // extern "C"
