// Colour conversion, upsampling and row delivery.
#include "test_util.h"

#include <gtest/gtest.h>

using namespace jt;

namespace {

int clamp255(int64_t v) { return v < 0 ? 0 : v > 255 ? 255 : static_cast<int>(v); }

struct Rgb {
    int r, g, b;
    bool operator==(const Rgb& o) const { return r == o.r && g == o.g && b == o.b; }
};

Rgb expected_rgb(int y, int cb, int cr) {
    int64_t xr = cr - 128, xb = cb - 128;
    int64_t red = (91882 * xr + 32768) >> 16;
    int64_t blue = (116130 * xb + 32768) >> 16;
    int64_t green = ((-22554 * xb + 32768) + (-46802 * xr)) >> 16;
    return {clamp255(y + red), clamp255(y + green), clamp255(y + blue)};
}

std::ostream& operator<<(std::ostream& os, const Rgb& c) {
    return os << "(" << c.r << "," << c.g << "," << c.b << ")";
}

struct Layout {
    int h, v;  // luma factors; 0 for grey
};

// A bare decoder after frame set-up, with its sample rows filled with
// distinct values.
struct Converter : Harness {
    Converter(int width, Layout layout) {
        JpegDecoder& d = dec();
        d.image_width = width;
        d.image_height = 32;
        if (layout.h == 0) {
            d.frame_component_count = 1;
            d.comp_h_factor[0] = d.comp_v_factor[0] = 1;
        } else {
            d.frame_component_count = 3;
            d.comp_h_factor[0] = layout.h;
            d.comp_v_factor[0] = layout.v;
            for (int c = 1; c < 3; ++c) d.comp_h_factor[c] = d.comp_v_factor[c] = 1;
        }
        EXPECT_EQ(stage(d, [&] { start_frame(d); }), 0);
        uint32_t state = 17;
        for (int i = 0; i < d.row_block_count * 64; ++i) {
            state = state * 1103515245u + 12345u;
            d.sample_rows[i] = static_cast<uint8_t>(state >> 16);
        }
    }
    uint8_t sample(int block, int row, int col) const {
        return d->sample_rows[64 * block + 8 * row + col];
    }
    Rgb pixel(const uint8_t* row, int x) const {
        EXPECT_EQ(row[4 * x + 3], 0) << "fourth byte of pixel " << x;
        return {row[4 * x], row[4 * x + 1], row[4 * x + 2]};
    }
    void at_row(int r) { d->mcu_rows_remaining = d->mcu_height - r; }
};

}  // namespace

TEST(Convert, NeutralAndExtremes) {
    EXPECT_EQ(expected_rgb(128, 128, 128), (Rgb{128, 128, 128}));
    EXPECT_EQ(expected_rgb(255, 128, 255).r, 255);
    EXPECT_EQ(expected_rgb(0, 0, 128).b, 0);
    Converter c(8, {1, 1});
    JpegDecoder& d = c.dec();
    struct Case {
        int y, cb, cr;
        Rgb rgb;
    };
    for (Case k : {Case{128, 128, 128, {128, 128, 128}}, Case{255, 128, 255, {255, 164, 255}},
                   Case{0, 0, 128, {0, 44, 0}}, Case{0, 0, 0, {0, 135, 0}},
                   Case{255, 255, 255, {255, 121, 255}}}) {
        for (int i = 0; i < 64; ++i) {
            d.sample_rows[i] = static_cast<uint8_t>(k.y);
            d.sample_rows[64 + i] = static_cast<uint8_t>(k.cb);
            d.sample_rows[128 + i] = static_cast<uint8_t>(k.cr);
        }
        c.at_row(0);
        convert_h1v1(d);
        EXPECT_EQ(expected_rgb(k.y, k.cb, k.cr), k.rgb);
        for (int x = 0; x < 8; ++x) EXPECT_EQ(c.pixel(d.out_row_0, x), k.rgb) << x;
    }
}

TEST(Convert, Grey) {
    Converter c(20, {0, 0});
    JpegDecoder& d = c.dec();
    for (int r = 0; r < 8; ++r) {
        c.at_row(r);
        copy_grey(d);
        for (int x = 0; x < 24; ++x) ASSERT_EQ(d.out_row_0[x], c.sample(x / 8, r, x % 8)) << r << "," << x;
    }
}

TEST(Convert, H1V1) {
    Converter c(20, {1, 1});
    JpegDecoder& d = c.dec();
    for (int r = 0; r < 8; ++r) {
        c.at_row(r);
        convert_h1v1(d);
        for (int x = 0; x < 24; ++x) {
            int m = x / 8, b = x % 8;
            Rgb want = expected_rgb(c.sample(3 * m, r, b), c.sample(3 * m + 1, r, b),
                                    c.sample(3 * m + 2, r, b));
            ASSERT_EQ(c.pixel(d.out_row_0, x), want) << r << "," << x;
        }
    }
}

TEST(Convert, H2V1) {
    Converter c(40, {2, 1});
    JpegDecoder& d = c.dec();
    for (int r = 0; r < 8; ++r) {
        c.at_row(r);
        convert_h2v1(d);
        for (int x = 0; x < 48; ++x) {
            int m = x / 16, j = (x % 16) / 8, b = x % 8;
            Rgb want = expected_rgb(c.sample(4 * m + j, r, b), c.sample(4 * m + 2, r, 4 * j + b / 2),
                                    c.sample(4 * m + 3, r, 4 * j + b / 2));
            ASSERT_EQ(c.pixel(d.out_row_0, x), want) << r << "," << x;
        }
    }
}

TEST(Convert, H1V2) {
    Converter c(20, {1, 2});
    JpegDecoder& d = c.dec();
    for (int r = 0; r < 16; r += 2) {
        c.at_row(r);
        convert_h1v2(d);
        for (int x = 0; x < 24; ++x) {
            int m = x / 8, b = x % 8;
            for (int half = 0; half < 2; ++half) {
                const uint8_t* row = half ? d.out_row_1 : d.out_row_0;
                Rgb want = expected_rgb(c.sample(4 * m + r / 8, r % 8 + half, b),
                                        c.sample(4 * m + 2, r / 2, b), c.sample(4 * m + 3, r / 2, b));
                ASSERT_EQ(c.pixel(row, x), want) << r + half << "," << x;
            }
        }
    }
}

TEST(Convert, H2V2) {
    Converter c(40, {2, 2});
    JpegDecoder& d = c.dec();
    for (int r = 0; r < 16; r += 2) {
        c.at_row(r);
        convert_h2v2(d);
        for (int x = 0; x < 48; ++x) {
            int m = x / 16, j = (x % 16) / 8, b = x % 8;
            for (int half = 0; half < 2; ++half) {
                const uint8_t* row = half ? d.out_row_1 : d.out_row_0;
                Rgb want = expected_rgb(c.sample(6 * m + 2 * (r / 8) + j, r % 8 + half, b),
                                        c.sample(6 * m + 4, r / 2, 4 * j + b / 2),
                                        c.sample(6 * m + 5, r / 2, 4 * j + b / 2));
                ASSERT_EQ(c.pixel(row, x), want) << r + half << "," << x;
            }
        }
    }
}

// ---- row delivery -----------------------------------------------------------

namespace {

// Luma sample 128 + bx + 4 by in block (bx, by); chroma flat at the given samples.
DcPicture graded_picture(int width, int height, Layout layout, int cb, int cr) {
    DcPicture pic;
    pic.width = width;
    pic.height = height;
    pic.comps = layout.h == 0 ? grey() : ycc(layout.h, layout.v);
    pic.dc = [cb, cr](int c, int bx, int by) {
        if (c == 0) return 8 * ((bx + 4 * by) % 100);
        return 8 * ((c == 1 ? cb : cr) - 128);
    };
    return pic;
}

int luma_at(int x, int y) { return 128 + (x / 8 + 4 * (y / 8)) % 100; }

}  // namespace

TEST(DecodeRow, EveryLayoutDeliversExactPixels) {
    for (Layout layout : {Layout{0, 0}, Layout{1, 1}, Layout{2, 1}, Layout{1, 2}, Layout{2, 2}}) {
        SCOPED_TRACE(testing::Message() << "layout " << layout.h << "x" << layout.v);
        const int width = 37, height = 35, cb = 90, cr = 170;
        Harness h(graded_picture(width, height, layout, cb, cr).encode());
        ASSERT_EQ(h.open_and_begin(), 0);
        ASSERT_EQ(h.dec().bytes_per_pixel, layout.h == 0 ? 1 : 4);
        RowsResult rows = read_rows(h.dec());
        EXPECT_EQ(rows.last, 1);
        ASSERT_EQ(rows.rows.size(), static_cast<size_t>(height));
        for (int y = 0; y < height; ++y) {
            const Bytes& row = rows.rows[y];
            ASSERT_EQ(row.size(), static_cast<size_t>(width * (layout.h == 0 ? 1 : 4)));
            for (int x = 0; x < width; ++x) {
                if (layout.h == 0) {
                    ASSERT_EQ(row[x], luma_at(x, y)) << x << "," << y;
                } else {
                    Rgb want = expected_rgb(luma_at(x, y), cb, cr);
                    Rgb got{row[4 * x], row[4 * x + 1], row[4 * x + 2]};
                    ASSERT_EQ(got, want) << x << "," << y;
                    ASSERT_EQ(row[4 * x + 3], 0);
                }
            }
        }
    }
}

TEST(DecodeRow, RowPointersAlternateForTwoRowLayouts) {
    for (Layout layout : {Layout{0, 0}, Layout{1, 1}, Layout{2, 1}, Layout{1, 2}, Layout{2, 2}}) {
        Harness h(graded_picture(24, 32, layout, 128, 128).encode());
        ASSERT_EQ(h.open_and_begin(), 0);
        JpegDecoder& d = h.dec();
        bool two = layout.v == 2;
        for (int y = 0; y < 32; ++y) {
            const uint8_t* row = nullptr;
            int32_t bytes = 0;
            ASSERT_EQ(decode_row(d, &row, &bytes), 0);
            EXPECT_EQ(row, two && y % 2 ? d.out_row_1 : d.out_row_0) << layout.h << layout.v << " " << y;
        }
    }
}

TEST(DecodeRow, Width241ConvertsWholeMcus) {
    Harness h(graded_picture(241, 16, {2, 2}, 128, 128).encode());
    ASSERT_EQ(h.open_and_begin(), 0);
    JpegDecoder& d = h.dec();
    EXPECT_EQ(d.padded_row_bytes, 1024);
    const uint8_t* row = nullptr;
    int32_t bytes = 0;
    ASSERT_EQ(decode_row(d, &row, &bytes), 0);
    EXPECT_EQ(bytes, 964);
    // Pixels 241 to 255 were converted too (block column 30 and 31).
    for (int x = 241; x < 256; ++x) {
        int y = luma_at(x, 0);
        EXPECT_EQ(row[4 * x], y) << x;
        EXPECT_EQ(row[4 * x + 1], y) << x;
        EXPECT_EQ(row[4 * x + 2], y) << x;
        EXPECT_EQ(row[4 * x + 3], 0) << x;
    }
}

TEST(DecodeRow, LastMcuRowOf161Rows) {
    DcPicture pic = graded_picture(16, 161, {2, 2}, 128, 128);
    Stream after;
    after.dqt_flat(3, 5);
    pic.after_scan = after.bytes;
    Harness h(pic.encode());
    ASSERT_EQ(h.open_and_begin(), 0);
    JpegDecoder& d = h.dec();
    for (int y = 0; y < 161; ++y) {
        const uint8_t* row = nullptr;
        int32_t bytes = 0;
        ASSERT_EQ(decode_row(d, &row, &bytes), 0) << y;
        // The markers after the scan are read when the last MCU row is decoded.
        EXPECT_EQ(d.quant_tables[3] != nullptr, y == 160) << y;
        if (y == 160) {
            EXPECT_EQ(row, d.out_row_0);
            EXPECT_EQ(d.quant_tables[3][0], 5);
            EXPECT_EQ(row[0], luma_at(0, 160));
        }
    }
    const uint8_t* row = nullptr;
    int32_t bytes = 0;
    EXPECT_EQ(decode_row(d, &row, &bytes), 1);
    EXPECT_EQ(decode_row(d, &row, &bytes), 1);
}

TEST(DecodeRow, OneRowGreyPicture) {
    DcPicture pic = graded_picture(8, 1, {0, 0}, 128, 128);
    Stream after;
    after.dqt_flat(3, 6);
    pic.after_scan = after.bytes;
    Harness h(pic.encode());
    ASSERT_EQ(h.open_and_begin(), 0);
    JpegDecoder& d = h.dec();
    EXPECT_EQ(d.quant_tables[3], nullptr);
    const uint8_t* row = nullptr;
    int32_t bytes = 0;
    ASSERT_EQ(decode_row(d, &row, &bytes), 0);
    EXPECT_NE(d.quant_tables[3], nullptr);
    EXPECT_EQ(bytes, 8);
    EXPECT_EQ(row[0], 128);
    EXPECT_EQ(decode_row(d, &row, &bytes), 1);
}

TEST(DecodeRow, DecodeErrorInTheFifthMcuRow) {
    Stream s = sequential_head(8, 40, grey());
    s.sos(all_components(grey()));
    HuffCodes dc(dc_def()), ac(ac_def());
    BitWriter w;
    for (int i = 0; i < 4; ++i) {
        w.dc(dc, i == 0 ? 8 : 0);
        w.symbol(ac, 0x00);
    }
    w.dc(dc, 0);
    w.ac(ac, 15, 1);
    for (int i = 0; i < 3; ++i) w.symbol(ac, 0xF0);
    s.raw(w.bytes()).eoi();
    Harness h(s.bytes);
    ASSERT_EQ(h.open_and_begin(), 0);
    RowsResult rows = read_rows(h.dec());
    EXPECT_EQ(rows.rows.size(), 32u);
    EXPECT_EQ(rows.last, -227);
    EXPECT_EQ(h.dec().status, DecodeError);
    EXPECT_EQ(h.src->detaches, 1);
    for (const Bytes& row : rows.rows) EXPECT_EQ(row[0], 129);
    const uint8_t* row = nullptr;
    int32_t bytes = 0;
    EXPECT_EQ(decode_row(h.dec(), &row, &bytes), -1);
    EXPECT_EQ(decode_row(h.dec(), &row, &bytes), -1);
}

TEST(DecodeRow, CorruptRestartMarkerMidPicture) {
    Stream s = sequential_head(8, 24, grey());
    s.dri(1).sos(all_components(grey()));
    HuffCodes dc(dc_def()), ac(ac_def());
    BitWriter w;
    w.dc(dc, 16);
    w.symbol(ac, 0x00);
    w.marker(0xD0);
    w.dc(dc, 16);
    w.symbol(ac, 0x00);
    w.marker(0xD5);  // RST1 expected
    w.dc(dc, 16);
    w.symbol(ac, 0x00);
    s.raw(w.bytes()).eoi();
    Harness h(s.bytes);
    ASSERT_EQ(h.open_and_begin(), 0);
    RowsResult rows = read_rows(h.dec());
    EXPECT_EQ(rows.rows.size(), 16u);
    EXPECT_EQ(rows.last, -227);
    EXPECT_EQ(h.dec().status, RestartMarker);
    for (const Bytes& row : rows.rows) EXPECT_EQ(row[0], 130);
    const uint8_t* row = nullptr;
    int32_t bytes = 0;
    EXPECT_EQ(decode_row(h.dec(), &row, &bytes), -1);
}

TEST(DecodeRow, RestartMarkersAcrossRows) {
    DcPicture pic = graded_picture(40, 24, {2, 1}, 100, 150);
    pic.restart_interval = 2;
    Harness h(pic.encode());
    ASSERT_EQ(h.open_and_begin(), 0);
    RowsResult rows = read_rows(h.dec());
    ASSERT_EQ(rows.last, 1);
    ASSERT_EQ(rows.rows.size(), 24u);
    for (int y = 0; y < 24; ++y)
        for (int x = 0; x < 40; ++x) {
            Rgb want = expected_rgb(luma_at(x, y), 100, 150);
            Rgb got{rows.rows[y][4 * x], rows.rows[y][4 * x + 1], rows.rows[y][4 * x + 2]};
            ASSERT_EQ(got, want) << x << "," << y;
        }
}

TEST(DecodeRow, SecondScanOfASequentialFrameIsNotRead) {
    DcPicture pic = graded_picture(16, 16, {0, 0}, 128, 128);
    Stream after;
    after.sos(all_components(grey())).raw({0x12, 0x34, 0xFF, 0x00, 0x56});
    pic.after_scan = after.bytes;
    Harness h(pic.encode());
    ASSERT_EQ(h.open_and_begin(), 0);
    RowsResult rows = read_rows(h.dec());
    EXPECT_EQ(rows.last, 1);
    ASSERT_EQ(rows.rows.size(), 16u);
    EXPECT_EQ(rows.rows[15][15], luma_at(15, 15));
    EXPECT_EQ(h.dec().status, 0);
}

TEST(DecodeRow, GreyFrameWithAZeroSamplingFactor) {
    Stream s = sequential_head(8, 8, grey(0, 1));
    s.sos(all_components(grey(0, 1))).raw({0x00, 0x00}).eoi();
    Harness h(s.bytes);
    EXPECT_EQ(h.open_and_begin(), UnsupportedSampling);
    const uint8_t* row = nullptr;
    int32_t bytes = 0;
    EXPECT_EQ(decode_row(h.dec(), &row, &bytes), -1);
}
