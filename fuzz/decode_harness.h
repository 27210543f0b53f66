// Drives the library's public interface over one input and aborts when two
// ways to the same picture disagree or a promise of the interface is
// broken: the one-call decode on one thread and on two, the C one-call
// decode and the C streaming decoder, and a Decoder stopped at a row chosen
// by the input. Shared by the fuzzer and the replay of its findings.
//
// Input layout: 2 control bytes, then the stream.
//   byte 0  bits 0-1: the pixel format (rgb, rgba, bgra, grey)
//           bit 2: a tight memory limit (256 KiB) instead of 48 MiB
//           bits 3-4: the scale, 1 << bits (1/1, 1/2, 1/4, 1/8)
//   byte 1  the row after which the Decoder is stopped (255: before the
//           first row is asked for)
#pragma once

#include "marivue/jpeg.h"
#include "marivue/jpeg.hpp"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <span>
#include <vector>

namespace fuzz_decode {

using namespace marivue::jpeg;

constexpr size_t control_bytes = 2;
// Pictures above this many pixels are refused at once (OutOfMemory): a
// hostile header can declare 8192 x 8192 pixels whose rows all come from
// synthesised bytes, and four decodes of those say nothing new.
constexpr std::uint64_t max_pixels = std::uint64_t{1} << 21;

[[noreturn]] inline void broken(const char* what, long a = 0, long b = 0) {
    std::fprintf(stderr, "decode harness: %s (%ld, %ld)\n", what, a, b);
    std::abort();
}

#define DECODE_CHECK(cond, ...)                                                    \
    do {                                                                           \
        if (!(cond)) ::fuzz_decode::broken("check failed: " #cond, ##__VA_ARGS__); \
    } while (0)

struct Outcome {
    int status = 0;  // of the one-call decode
    bool complete = false;
    int stopped_after = -1;  // rows the stopped Decoder delivered before Stopped; -1 when it did not stop
};

inline Outcome run_decode(const uint8_t* input, size_t size) {
    uint8_t control[control_bytes] = {0, 0};
    if (size >= control_bytes) {
        std::memcpy(control, input, control_bytes);
        input += control_bytes;
        size -= control_bytes;
    } else {
        size = 0;
    }
    Options options;
    options.format = static_cast<PixelFormat>(control[0] & 3);
    options.memory_limit = (control[0] & 4) ? std::size_t{256} << 10 : std::size_t{48} << 20;
    options.max_pixels = max_pixels;
    options.scale = 1 << ((control[0] >> 3) & 3);
    const int c_format = control[0] & 3;  // the C formats are numbered alike
    const int channels = channels_of(options.format);

    // One thread and two: the same status, completeness and pixels.
    Image one, two;
    options.threads = 1;
    const int status = decode(input, size, one, options);
    options.threads = 2;
    DECODE_CHECK(decode(input, size, two, options) == status, status);
    DECODE_CHECK(one.complete == two.complete && one.pixels == two.pixels);
    DECODE_CHECK(status <= 0 && status != Stopped, status);
    if (status == 0) {
        DECODE_CHECK(one.width > 0 && one.height > 0 && one.channels == channels, one.width, one.height);
        DECODE_CHECK(one.pixels.size() == static_cast<size_t>(one.width) * one.height * channels);
    } else {
        DECODE_CHECK(one.pixels.empty() && one.width == 0);
    }

    // The C one-call decode (default options but the scale) agrees where
    // the limits are the same.
    if ((control[0] & 4) == 0 && (status == 0 || status != OutOfMemory)) {
        marivue_jpeg_options scaled;
        marivue_jpeg_options_init(&scaled, sizeof scaled);
        scaled.scale = options.scale;
        marivue_jpeg_image c;
        const int c_status = marivue_jpeg_decode_with_options(size > 0 ? input : nullptr, size, c_format, &scaled, &c);
        if (status == 0 && c_status == 0) {
            DECODE_CHECK(c.size == one.pixels.size() && std::memcmp(c.pixels, one.pixels.data(), c.size) == 0);
            DECODE_CHECK(c.complete == (one.complete ? 1 : 0));
        } else if (status != 0) {
            DECODE_CHECK(c_status == status, c_status, status);
        }
        marivue_jpeg_free(&c);
    }

    // The C streaming decoder with the same limits: the same rows.
    marivue_jpeg_options c_options;
    marivue_jpeg_options_init(&c_options, sizeof c_options);
    c_options.memory_limit = options.memory_limit;
    c_options.max_pixels = options.max_pixels;
    c_options.scale = options.scale;
    int c_status = 1;
    marivue_jpeg_decoder* c_decoder = marivue_jpeg_decoder_open_memory(input, size, &c_options, &c_status);
    DECODE_CHECK(c_decoder != nullptr);
    marivue_jpeg_info info{};
    DECODE_CHECK(marivue_jpeg_decoder_info(c_decoder, &info) == c_status);
    int width = 0, height = 0;
    DECODE_CHECK(marivue_jpeg_decoder_output_size(c_decoder, &width, &height) == c_status);
    if (c_status == 0) {
        DECODE_CHECK(width == (info.width + options.scale - 1) / options.scale, width, info.width);
        DECODE_CHECK(height == (info.height + options.scale - 1) / options.scale, height, info.height);
        if (status == 0) DECODE_CHECK(width == one.width && height == one.height, width, one.width);
        const size_t stride = static_cast<size_t>(width) * channels;
        std::vector<uint8_t> row(stride);
        int result = 0, y = 0;
        while ((result = marivue_jpeg_decoder_next_row(c_decoder, row.data(), row.size(), c_format)) == 0) {
            DECODE_CHECK(y < height, y);
            if (status == 0) DECODE_CHECK(std::memcmp(row.data(), one.pixels.data() + stride * y, stride) == 0, y);
            y++;
        }
        c_status = result == 1 ? 0 : result;
        if (result == 1) DECODE_CHECK(y == height, y, height);
    }
    DECODE_CHECK(c_status == status, c_status, status);
    DECODE_CHECK(marivue_jpeg_decoder_status(c_decoder) == status);
    marivue_jpeg_decoder_free(c_decoder);

    // A Decoder stopped after row `stop_row`: the rows before are the
    // one-call decode's, then Stopped for good.
    Outcome outcome{status, one.complete, -1};
    options.threads = 1;
    Decoder decoder(input, size, options);
    if (decoder.status() != 0) {
        DECODE_CHECK(decoder.status() == status, decoder.status(), status);
        return outcome;
    }
    const int stop_row = control[1] == 255 ? -1 : control[1];
    const size_t stride = static_cast<size_t>(decoder.info().output_width) * channels;
    std::vector<uint8_t> row(stride);
    if (stop_row < 0) decoder.stop();
    int result = 0, y = 0;
    while ((result = decoder.next_row(row, options.format)) == 0) {
        if (status == 0) DECODE_CHECK(std::memcmp(row.data(), one.pixels.data() + stride * y, stride) == 0, y);
        if (++y == stop_row + 1) decoder.stop();
    }
    if (result == Stopped) {
        DECODE_CHECK(y == stop_row + 1, y, stop_row);
        DECODE_CHECK(decoder.status() == Stopped && decoder.next_row(row, options.format) == Stopped);
        outcome.stopped_after = y;
    } else {
        // Done or failed before the stop (a stop after the last row changes
        // nothing).
        DECODE_CHECK(y <= stop_row + 1, y, stop_row);
        DECODE_CHECK(result == (status == 0 ? 1 : status), result, status);
    }
    decoder.stop();  // harmless again
    return outcome;
}

}  // namespace fuzz_decode
