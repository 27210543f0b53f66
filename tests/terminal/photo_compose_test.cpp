// The photo view's layers composed into one image, against pixels worked out by hand.
#include "platform/photo_compose.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// A grey layer: `width` x `height` pixels of the given levels, showing the picture rectangle
// (left, top, w, h).
struct GreyLayer {
    int32_t width, height;
    std::vector<int> levels;
    double left, top, w, h;
};

struct Row {
    Row(const char* n, std::vector<GreyLayer> l, PhotoMatrix p, int32_t w, int32_t h, int32_t x, int32_t y,
        std::vector<int> e)
        : name(n), layers(std::move(l)), placement(p), width(w), height(h), left(x), top(y), expected(std::move(e)) {}
    const char* name;
    std::vector<GreyLayer> layers;
    PhotoMatrix placement;
    int32_t width, height, left, top;  // the buffer and its place in the view
    std::vector<int> expected;  // grey levels, row by row; 24 is the background
};

TEST(PhotoCompose, LayersPlacedAndResampled) {
    const std::vector<Row> rows = {
        Row("a 2x2 checker at scale 3: 3x3 blocks", {{2, 2, {0, 255, 255, 0}, 0, 0, 2, 2}}, {3, 0, 0, 3, 0, 0}, 6, 6, 0,
            0, {0,   0,   0,   255, 255, 255, 0,   0,   0,   255, 255, 255, 0,   0,   0,   255, 255, 255,
                255, 255, 255, 0,   0,   0,   255, 255, 255, 0,   0,   0,   255, 255, 255, 0,   0,   0}),
        Row("a quarter turn clockwise: the top-left pixel goes to the top-right corner",
            {{3, 2, {200, 0, 0, 0, 0, 0}, 0, 0, 3, 2}}, {0, 1, -1, 0, 2, 0}, 2, 3, 0, 0, {0, 200, 0, 0, 0, 0}),
        Row("half size: each pixel the mean of the four under it",
            {{4, 4, {0, 40, 100, 100, 80, 40, 100, 100, 0, 0, 255, 0, 0, 0, 0, 255}, 0, 0, 4, 4}},
            {0.5, 0, 0, 0.5, 0, 0}, 2, 2, 0, 0, {40, 100, 0, 128}),
        Row("two thirds: the pixels weighted by the area of each under the device pixel",
            {{3, 1, {0, 90, 180}, 0, 0, 3, 1}}, {2.0 / 3, 0, 0, 2.0 / 3, 0, 0}, 2, 1, 0, 0, {30, 150}),
        Row("the background beside the picture; the buffer shows the part of the view at its origin",
            {{2, 2, {10, 20, 30, 40}, 0, 0, 2, 2}}, {1, 0, 0, 1, 1, 0}, 3, 1, 0, 1, {24, 30, 40}),
        Row("detail over the top-right quarter of a preview at half resolution",
            {{2, 2, {0, 100, 100, 0}, 0, 0, 4, 4}, {2, 2, {50, 60, 70, 80}, 2, 0, 2, 2}}, {1, 0, 0, 1, 0, 0}, 4, 4, 0,
            0, {0, 0, 50, 60, 0, 0, 70, 80, 100, 100, 0, 0, 100, 100, 0, 0}),
    };
    for (const Row& row : rows) {
        std::vector<std::vector<uint8_t>> pixels;
        std::vector<PhotoLayer> layers;
        for (const GreyLayer& l : row.layers) {
            std::vector<uint8_t>& bgra = pixels.emplace_back();
            for (const int level : l.levels)
                for (const int channel : {level, level, level, 255}) bgra.push_back(uint8_t(channel));
            layers.push_back({{bgra.data(), l.width, l.height, size_t(l.width) * 4}, l.left, l.top, l.w, l.h});
        }
        for (const int32_t bytes : {3, 4}) {
            std::vector<uint8_t> out(size_t(row.width * row.height * bytes), 7);
            compose_picture(layers, row.placement,
                            {out.data(), row.width, row.height, size_t(row.width * bytes), bytes, row.left, row.top},
                            0x80181818);
            std::vector<int> grey;
            for (size_t i = 0; i < out.size(); i += size_t(bytes)) {
                EXPECT_TRUE(out[i] == out[i + 1] && out[i] == out[i + 2]) << row.name << " pixel " << i / bytes;
                // Opaque but for the background, whose opacity comes with its colour.
                if (bytes == 4) {
                    EXPECT_EQ(out[i + 3], out[i] == 24 ? 0x80 : 255) << row.name;
                }
                grey.push_back(out[i]);
            }
            EXPECT_EQ(grey, row.expected) << row.name << ", " << bytes << " bytes a pixel";
        }
    }
}

}  // namespace
