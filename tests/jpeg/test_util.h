// Helpers for driving the decoder's stages directly in tests.
#pragma once

#include "jpeg/decoder.h"
#include "jpeg/internal.h"
#include "jpeg_builder.h"
#include "test_source.h"

#include <array>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

namespace jt {

// Runs one decoder stage; returns 0 when it completed, or the status that
// its failure stored. A failure that stored no status reports 1.
template <class F>
int32_t stage(JpegDecoder& d, F&& f) {
    try {
        f();
    } catch (const DecodeFailure&) {
        return d.status != 0 ? d.status : 1;
    }
    return 0;
}

// The natural (row-major) index of each zigzag position.
constexpr std::array<int, 64> zigzag = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48,
    41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23,
    30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};

// A decoder record with its source; the pool is released on destruction.
struct Harness {
    std::unique_ptr<JpegDecoder> d{new JpegDecoder{}};
    std::unique_ptr<TestSource> src;

    Harness() : src(new TestSource) {}
    explicit Harness(Bytes data) : src(new TestSource(std::move(data))) {}
    Harness(const Harness&) = delete;
    Harness& operator=(const Harness&) = delete;
    ~Harness() { free_pool(*d); }

    JpegDecoder& dec() { return *d; }
    // Puts the record in its start state over the source (no marker read).
    int32_t init() {
        return stage(*d, [&] { initialize(*d, *src); });
    }
    // Initializes and hands the stream to the entropy reader from its first byte.
    int32_t init_entropy() {
        return stage(*d, [&] {
            initialize(*d, *src);
            prime_entropy_bits(*d);
        });
    }
    // The public construction.
    int32_t open() {
        open_decoder(*d, *src);
        return d->status;
    }
    // Construction and begin; returns the status.
    int32_t open_and_begin() {
        open_decoder(*d, *src);
        if (d->status != 0) return d->status;
        int32_t r = begin(*d);
        if (r != 0 && d->status == 0) return 1;
        return d->status;
    }
};

// Pulls every row; returns the decode_row result that ended the loop and
// the rows delivered before it.
struct RowsResult {
    int32_t last = 0;
    std::vector<Bytes> rows;
    std::vector<const uint8_t*> pointers;
};
inline RowsResult read_rows(JpegDecoder& d, int limit = 1 << 20) {
    RowsResult out;
    for (int i = 0; i < limit; ++i) {
        const uint8_t* row = nullptr;
        int32_t bytes = 0;
        int32_t r = decode_row(d, &row, &bytes);
        if (r != 0) {
            out.last = r;
            return out;
        }
        out.rows.emplace_back(row, row + bytes);
        out.pointers.push_back(row);
    }
    return out;
}

// A sample of a block holding only the dequantised DC value `dc`.
inline int flat_sample(int dc) {
    int s = ((4 * dc + 16) >> 5) + 128;
    return s < 0 ? 0 : s > 255 ? 255 : s;
}

}  // namespace jt
