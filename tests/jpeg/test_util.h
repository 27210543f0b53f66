// Helpers for driving the decoder's stages directly in tests.
#pragma once

#include "jpeg/decoder.h"
#include "jpeg/internal.h"
#include "tests/support/jpeg_builder.h"
#include "test_source.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>
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

// A sequential picture whose blocks carry DC values only (every block ends
// with EOB at once), encoded with the tables of sequential_head.
struct DcPicture {
    int width = 8, height = 8;
    std::vector<Component> comps = grey();
    int q0 = 1, q1 = 1;
    int restart_interval = 0;
    // Quantised DC value of block (bx, by) of component c.
    std::function<int(int c, int bx, int by)> dc = [](int, int, int) { return 0; };
    Bytes after_scan;  // segments between the entropy-coded data and EOI
    bool eoi = true;

    Bytes encode() const {
        Stream s = sequential_head(width, height, comps, q0, q1);
        if (restart_interval) s.dri(restart_interval);
        s.sos(all_components(comps));
        s.raw(entropy());
        s.raw(after_scan);
        if (eoi) s.eoi();
        return s.bytes;
    }

    Bytes entropy() const {
        HuffCodes dc_codes(dc_def()), ac_codes(ac_def());
        int hmax = 1, vmax = 1;
        for (const Component& c : comps) {
            hmax = std::max(hmax, c.h);
            vmax = std::max(vmax, c.v);
        }
        bool single = comps.size() == 1;
        int across = single ? (width + 7) / 8 : ((width + 7) / 8 + hmax - 1) / hmax;
        int down = single ? (height + 7) / 8 : ((height + 7) / 8 + vmax - 1) / vmax;
        BitWriter w;
        std::vector<int> last(comps.size(), 0);
        int mcu = 0, rst = 0;
        for (int my = 0; my < down; ++my) {
            for (int mx = 0; mx < across; ++mx, ++mcu) {
                if (restart_interval && mcu > 0 && mcu % restart_interval == 0) {
                    w.marker(0xD0 + (rst++ & 7));
                    std::fill(last.begin(), last.end(), 0);
                }
                for (size_t c = 0; c < comps.size(); ++c) {
                    int hh = single ? 1 : comps[c].h, vv = single ? 1 : comps[c].v;
                    for (int v = 0; v < vv; ++v)
                        for (int h = 0; h < hh; ++h) {
                            int value = dc(static_cast<int>(c), mx * hh + h, my * vv + v);
                            w.dc(dc_codes, value - last[c]);
                            last[c] = value;
                            w.symbol(ac_codes, 0x00);
                        }
                }
            }
        }
        return w.bytes();
    }
};

}  // namespace jt
