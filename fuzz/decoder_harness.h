// Drives the decoder's public operations over one input the way an owner
// would, through a byte source that splits the stream into chunks chosen by
// the input itself, and aborts when the decoder breaks a promise it makes to
// its owner or to its source. Shared by the fuzzer and by the regression
// tests that replay its findings.
//
// Input layout: 6 control bytes, then the stream.
//   byte 0  bit 0: report the end in a later call that returns 0 instead of
//                  with the last bytes
//           bit 1: before every chunk, one read that returns 0 without the
//                  end flag (a source that stalls now and then)
//           bit 2: a tight memory limit (256 KiB) instead of the usual one
//           bit 3: the record's extended settings: sides up to 65535, the
//                  extended layouts (CMYK, YCCK, other sampling factors)
//           bits 4-5: the scale shift (1/1, 1/2, 1/4, 1/8)
//           bits 6-7: how rows are asked for: 0 decode_row; 1 decode_row_into
//                     in blue, green, red, the following row's place given;
//                     2 the same in red, green, blue, 255 without it; 3 in
//                     another layout each row (RGB, BGR, RGBX, BGRX, grey),
//                     the following row's place given
//   byte 1  0: no source error; n: the n-th read returns -1
//   bytes 2..5  chunk sizes, used in turn: 0 delivers all that is asked,
//               1..127 that many bytes, 128..255 (v - 127) x 64 bytes
#pragma once

#include "jpeg/decoder.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

namespace fuzz_harness {

using marivue::jpeg::ByteSource;
using marivue::jpeg::DecodeError;
using marivue::jpeg::JpegDecoder;
using marivue::jpeg::LayoutBgr;
using marivue::jpeg::LayoutBgrx;
using marivue::jpeg::LayoutGrey;
using marivue::jpeg::LayoutRgb;
using marivue::jpeg::LayoutRgbx;

constexpr size_t control_bytes = 6;
constexpr size_t default_memory_limit = size_t{48} << 20;
constexpr size_t tight_memory_limit = size_t{256} << 10;
// Rows are decoded until this many output bytes have been delivered; a
// hostile header can declare 8192 x 8192 pixels whose rows all decode from
// synthesised end-of-image bytes, which says nothing new after a while.
constexpr int64_t max_output_bytes = int64_t{1} << 24;

[[noreturn]] inline void broken(const char* what, long a = 0, long b = 0) {
    std::fprintf(stderr, "decoder harness: %s (%ld, %ld)\n", what, a, b);
    std::abort();
}

#define HARNESS_CHECK(cond, ...)                                                    \
    do {                                                                            \
        if (!(cond)) ::fuzz_harness::broken("check failed: " #cond, ##__VA_ARGS__); \
    } while (0)

class ChunkedSource : public ByteSource {
public:
    ChunkedSource(const uint8_t* control, const uint8_t* data, size_t size) : data_(data), size_(size) {
        late_end_ = (control[0] & 1) != 0;
        stall_ = (control[0] & 2) != 0;
        error_read_ = control[1];
        for (int i = 0; i < 4; i++) {
            int v = control[2 + i];
            chunks_[i] = v < 128 ? v : (v - 127) * 64;
        }
    }

    int32_t read(uint8_t* buffer, int32_t max, uint8_t* end_flag) override {
        HARNESS_CHECK(attaches == 1 && detaches == 0, attaches, detaches);
        HARNESS_CHECK(!end_reported_, reads);
        HARNESS_CHECK(buffer != nullptr && max > 0, max);
        reads++;
        if (error_read_ != 0 && reads == error_read_) return -1;
        if (stall_ && !stalled_) {
            stalled_ = true;
            return 0;
        }
        stalled_ = false;
        size_t left = size_ - position_;
        size_t want = static_cast<size_t>(max);
        int chunk = chunks_[chunk_index_++ % 4];
        if (chunk != 0) want = std::min(want, static_cast<size_t>(chunk));
        size_t n = std::min(want, left);
        if (n > 0) std::memcpy(buffer, data_ + position_, n);
        position_ += n;
        if (position_ == size_ && (!late_end_ || n == 0)) {
            *end_flag = 1;
            end_reported_ = true;
        }
        return static_cast<int32_t>(n);
    }
    void attach() override { attaches++; }
    void detach() override {
        HARNESS_CHECK(attaches == 1, attaches);
        detaches++;
    }

    int attaches = 0;
    int detaches = 0;
    long reads = 0;

private:
    const uint8_t* data_;
    size_t size_;
    size_t position_ = 0;
    bool late_end_ = false;
    bool stall_ = false;
    bool stalled_ = false;
    bool end_reported_ = false;
    long error_read_ = 0;
    int chunks_[4] = {0, 0, 0, 0};
    unsigned chunk_index_ = 0;
};

struct Outcome {
    int32_t open_status = 0;
    int32_t begin_result = 0;
    int32_t rows = 0;
    int32_t final_status = 0;
    bool finished = false;  // decode_row returned 1
    unsigned row_sum = 0;  // sum of every delivered row byte
};

// A failed decoder has released everything and let its source go.
inline void check_failed_state(const JpegDecoder& d, const ChunkedSource& source) {
    HARNESS_CHECK(d.status < 0, d.status);
    HARNESS_CHECK(d.source == nullptr && source.detaches == 1, source.detaches);
    for (void* block : d.pool_blocks) HARNESS_CHECK(block == nullptr);
}

inline Outcome run_decoder(const uint8_t* input, size_t size) {
    Outcome outcome;
    uint8_t control[control_bytes] = {0, 0, 0, 0, 0, 0};
    if (size >= control_bytes) {
        std::memcpy(control, input, control_bytes);
        input += control_bytes;
        size -= control_bytes;
    } else {
        size = 0;
    }
    ChunkedSource source(control, input, size);
    std::unique_ptr<JpegDecoder> owned(new (std::nothrow) JpegDecoder);
    if (!owned) return outcome;
    JpegDecoder& d = *owned;
    d.memory_limit = (control[0] & 4) ? tight_memory_limit : default_memory_limit;
    const size_t limit = d.memory_limit;
    const bool extended = (control[0] & 8) != 0;
    d.settings.max_side = extended ? 65535 : 0;
    d.settings.extended_layouts = extended ? 1 : 0;
    d.settings.scale_shift = (control[0] >> 4) & 3;
    const int32_t max_side = extended ? 65535 : 8192;

    open_decoder(d, source);
    HARNESS_CHECK(d.memory_limit == limit);
    HARNESS_CHECK(source.attaches == 1);
    HARNESS_CHECK(d.pool_bytes <= limit);
    outcome.open_status = d.status;
    const uint8_t* row = nullptr;
    int32_t row_bytes = 0;
    if (d.status != 0) {
        check_failed_state(d, source);
        HARNESS_CHECK(begin(d) == -1);
        HARNESS_CHECK(decode_row(d, &row, &row_bytes) == -1);
    } else {
        HARNESS_CHECK(d.image_width >= 1 && d.image_width <= max_side, d.image_width);
        HARNESS_CHECK(d.image_height >= 1 && d.image_height <= max_side, d.image_height);
        const int32_t scale = 1 << d.settings.scale_shift;
        HARNESS_CHECK(d.output_width == (d.image_width + scale - 1) / scale, d.output_width);
        HARNESS_CHECK(d.output_height == (d.image_height + scale - 1) / scale, d.output_height);
        HARNESS_CHECK(source.detaches == 0);
        HARNESS_CHECK(decode_row(d, &row, &row_bytes) == -1);  // not begun yet
        outcome.begin_result = begin(d);
        HARNESS_CHECK(outcome.begin_result == 0 || outcome.begin_result == -1, outcome.begin_result);
        HARNESS_CHECK(d.pool_bytes <= limit);
        if (outcome.begin_result != 0) {
            check_failed_state(d, source);
            HARNESS_CHECK(begin(d) == -1);
            HARNESS_CHECK(decode_row(d, &row, &row_bytes) == -1);
        } else {
            HARNESS_CHECK(d.status == 0, d.status);
            HARNESS_CHECK(begin(d) == 0);  // a second begin does nothing
            HARNESS_CHECK(d.bytes_per_pixel == (d.frame_component_count == 1 ? 1 : 4), d.bytes_per_pixel);
            int32_t expected_bytes = d.output_width * d.bytes_per_pixel;
            int64_t delivered = 0;
            unsigned sum = 0;
            // Rows into the harness's own memory: exactly a row each where the
            // layout stays, so that the sanitizers see a byte written beyond.
            const int asking = control[0] >> 6;
            const int32_t fixed_layout = asking == 1 ? LayoutBgr : LayoutRgbx;
            const size_t room = static_cast<size_t>(d.output_width) * (asking == 1 ? 3 : 4);
            std::vector<uint8_t> rows[2] = {std::vector<uint8_t>(room), std::vector<uint8_t>(room)};
            for (;;) {
                int32_t r;
                if (asking == 0) {
                    r = decode_row(d, &row, &row_bytes);
                } else {
                    constexpr int32_t cycle[] = {LayoutRgb, LayoutBgr, LayoutRgbx, LayoutBgrx, LayoutGrey};
                    d.settings.layout = asking == 3 ? cycle[outcome.rows % 5] : fixed_layout;
                    uint8_t* place = rows[outcome.rows % 2].data();
                    r = decode_row_into(d, place, asking == 2 ? nullptr : rows[(outcome.rows + 1) % 2].data());
                    row = place;
                    row_bytes = d.output_width * d.bytes_per_pixel;
                    const int32_t layout = d.settings.layout;
                    expected_bytes = d.output_width * (layout == LayoutGrey                         ? 1
                                                       : layout == LayoutRgb || layout == LayoutBgr ? 3
                                                                                                    : 4);
                }
                HARNESS_CHECK(d.pool_bytes <= limit);
                if (r == 0) {
                    HARNESS_CHECK(row != nullptr && row_bytes == expected_bytes, row_bytes, expected_bytes);
                    HARNESS_CHECK(outcome.rows < d.output_height, outcome.rows, d.output_height);
                    // Touch every byte so that the sanitizers see the whole row.
                    for (int32_t i = 0; i < row_bytes; i++) sum += row[i];
                    outcome.rows++;
                    delivered += row_bytes;
                    if (delivered >= max_output_bytes) break;
                    continue;
                }
                if (r == 1) {
                    HARNESS_CHECK(outcome.rows == d.output_height, outcome.rows, d.output_height);
                    HARNESS_CHECK(decode_row(d, &row, &row_bytes) == 1);
                    outcome.finished = true;
                    break;
                }
                HARNESS_CHECK(r == DecodeError, r);
                check_failed_state(d, source);
                HARNESS_CHECK(decode_row(d, &row, &row_bytes) == -1);
                break;
            }
            outcome.row_sum = sum;
        }
    }
    outcome.final_status = d.status;
    free_pool(d);
    HARNESS_CHECK(d.source == nullptr && source.detaches == 1, source.detaches);
    for (void* block : d.pool_blocks) HARNESS_CHECK(block == nullptr);
    free_pool(d);  // harmless to repeat
    HARNESS_CHECK(source.detaches == 1, source.detaches);
    return outcome;
}

}  // namespace fuzz_harness
