// The terminal platform's services that need no screen: the seed variable,
// bitmaps and block copies into the window's surface.
#include "platform/terminal.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

TEST(TerminalSeed, ReadsOnlyPlainDecimalNumbers) {
    EXPECT_EQ(seed_from_environment("0"), 0u);
    EXPECT_EQ(seed_from_environment("12345"), 12345u);
    EXPECT_EQ(seed_from_environment("4294967295"), 4294967295u);
    EXPECT_EQ(seed_from_environment("4294967296"), std::nullopt);
    EXPECT_EQ(seed_from_environment(""), std::nullopt);
    EXPECT_EQ(seed_from_environment(nullptr), std::nullopt);
    EXPECT_EQ(seed_from_environment("-1"), std::nullopt);
    EXPECT_EQ(seed_from_environment("12a"), std::nullopt);
    EXPECT_EQ(seed_from_environment(" 1"), std::nullopt);
}

TEST(TerminalSeed, TickCountHonoursTheVariable) {
    TerminalPlatform platform;
    ASSERT_EQ(setenv(terminal_seed_variable, "777", 1), 0);
    EXPECT_EQ(platform.tick_count(), 777u);
    EXPECT_EQ(platform.tick_count(), 777u);
    ASSERT_EQ(setenv(terminal_seed_variable, "not a number", 1), 0);
    uint32_t first = platform.tick_count();
    EXPECT_GE(platform.tick_count(), first);
    unsetenv(terminal_seed_variable);
}

BitmapInfoHeader header(int32_t width, int32_t height) {
    BitmapInfoHeader h{};
    h.header_size = sizeof(BitmapInfoHeader);
    h.width = width;
    h.height = height;
    h.planes = 1;
    h.bits_per_pixel = 24;
    return h;
}

TEST(TerminalBitmaps, RefusesWhatItCannotHold) {
    TerminalPlatform platform;
    DrawContext screen = platform.get_screen_context(null_window);
    ASSERT_NE(screen, null_context);
    DrawContext memory = platform.create_compatible_context(screen);
    ASSERT_NE(memory, null_context);
    uint8_t* pixels = reinterpret_cast<uint8_t*>(1);
    BitmapInfoHeader bad = header(240, -160);
    bad.bits_per_pixel = 32;
    EXPECT_EQ(platform.create_dib_section(memory, &bad, dib_rgb_colours, &pixels, 0, 0), null_bitmap);
    EXPECT_EQ(pixels, nullptr);
    BitmapInfoHeader good = header(240, -160);
    EXPECT_EQ(platform.create_dib_section(memory, &good, dib_rgb_colours, &pixels, 1, 0), null_bitmap);
    EXPECT_EQ(platform.create_dib_section(memory, &good, 1, &pixels, 0, 0), null_bitmap);
    BitmapInfoHeader huge = header(1 << 20, 1 << 20);
    EXPECT_EQ(platform.create_dib_section(memory, &huge, dib_rgb_colours, &pixels, 0, 0), null_bitmap);
    BitmapInfoHeader flat = header(240, 0);
    EXPECT_EQ(platform.create_dib_section(memory, &flat, dib_rgb_colours, &pixels, 0, 0), null_bitmap);
    EXPECT_EQ(platform.create_dib_section(DrawContext{99}, &good, dib_rgb_colours, &pixels, 0, 0), null_bitmap);
    EXPECT_EQ(platform.create_compatible_context(DrawContext{99}), null_context);

    BitmapHandle bitmap = platform.create_dib_section(memory, &good, dib_rgb_colours, &pixels, 0, 0);
    ASSERT_NE(bitmap, null_bitmap);
    ASSERT_NE(pixels, nullptr);
    for (size_t i = 0; i < 240u * 160u * 3u; ++i) ASSERT_EQ(pixels[i], 0) << i;
    EXPECT_EQ(platform.select_object(memory, bitmap), null_bitmap);
    EXPECT_EQ(platform.select_object(memory, bitmap), bitmap);
    EXPECT_EQ(platform.select_object(screen, bitmap), null_bitmap) << "only off-screen contexts take bitmaps";
}

// Copies a bitmap whose every row has its own colour and checks where each
// lands on the surface.
void expect_rows_land_in_order(bool top_down) {
    TerminalPlatform platform;
    DrawContext screen = platform.get_screen_context(null_window);
    DrawContext memory = platform.create_compatible_context(screen);
    BitmapInfoHeader h = header(240, top_down ? -160 : 160);
    uint8_t* pixels = nullptr;
    BitmapHandle bitmap = platform.create_dib_section(memory, &h, dib_rgb_colours, &pixels, 0, 0);
    ASSERT_NE(bitmap, null_bitmap);
    platform.select_object(memory, bitmap);
    for (int32_t y = 0; y < 160; ++y) {
        // Row y of the picture, as stored in memory.
        int32_t stored = top_down ? y : 159 - y;
        for (int32_t x = 0; x < 240; ++x) {
            uint8_t* p = pixels + stored * 720 + x * 3;
            p[0] = static_cast<uint8_t>(y);
            p[1] = static_cast<uint8_t>(x);
            p[2] = 0x5A;
        }
    }
    ASSERT_TRUE(platform.block_copy(screen, 0, 0, 240, 160, memory, 0, 0, raster_source_copy));
    EXPECT_TRUE(platform.picture_shown());
    const std::vector<uint8_t>& surface = platform.surface();
    for (int32_t y = 0; y < 160; y += 7) {
        for (int32_t x = 0; x < 240; x += 11) {
            const uint8_t* p = &surface[(static_cast<size_t>(y) * 240 + x) * 3];
            ASSERT_EQ(p[0], y);
            ASSERT_EQ(p[1], x);
            ASSERT_EQ(p[2], 0x5A);
        }
    }
}

TEST(TerminalBlockCopy, TopDownBitmapKeepsItsRows) { expect_rows_land_in_order(true); }
TEST(TerminalBlockCopy, BottomUpBitmapIsTurnedTheRightWayUp) { expect_rows_land_in_order(false); }

TEST(TerminalBlockCopy, ClipsToBothSides) {
    TerminalPlatform platform;
    DrawContext screen = platform.get_screen_context(null_window);
    DrawContext memory = platform.create_compatible_context(screen);
    BitmapInfoHeader h = header(16, -16);
    uint8_t* pixels = nullptr;
    BitmapHandle bitmap = platform.create_dib_section(memory, &h, dib_rgb_colours, &pixels, 0, 0);
    ASSERT_NE(bitmap, null_bitmap);
    // Without a selected bitmap there is nothing to copy from.
    EXPECT_FALSE(platform.block_copy(screen, 0, 0, 16, 16, memory, 0, 0, raster_source_copy));
    platform.select_object(memory, bitmap);
    std::fill(pixels, pixels + 16 * 48, 0xEE);
    EXPECT_FALSE(platform.block_copy(screen, 0, 0, 16, 16, memory, 0, 0, 0x00EE0086)) << "only a plain copy";
    // Partly off every edge, and with extreme coordinates: no byte outside
    // either plane is touched (the sanitizers watch), the overlap is copied.
    EXPECT_TRUE(platform.block_copy(screen, -8, -8, 16, 16, memory, 0, 0, raster_source_copy));
    EXPECT_TRUE(platform.block_copy(screen, 232, 152, 100, 100, memory, 0, 0, raster_source_copy));
    EXPECT_TRUE(platform.block_copy(screen, 0, 0, INT32_MAX, INT32_MAX, memory, INT32_MIN, INT32_MIN,
                                    raster_source_copy));
    EXPECT_TRUE(platform.block_copy(screen, INT32_MIN, INT32_MAX, 10, 10, memory, 0, 0, raster_source_copy));
    const std::vector<uint8_t>& surface = platform.surface();
    auto at = [&](int32_t x, int32_t y) { return surface[(static_cast<size_t>(y) * 240 + x) * 3]; };
    EXPECT_EQ(at(0, 0), 0xEE);
    EXPECT_EQ(at(7, 7), 0xEE);
    EXPECT_EQ(at(8, 8), 0x00);
    EXPECT_EQ(at(239, 159), 0xEE);
    EXPECT_EQ(at(231, 159), 0x00);
}

TEST(TerminalControls, NothingAnswersBeforeTheDialogExists) {
    TerminalPlatform platform;
    char16_t buffer[8] = {u'x', u'x'};
    EXPECT_EQ(platform.get_control_text(WindowHandle{1}, 1008, buffer, 7), 0);
    EXPECT_EQ(buffer[0], 0);
    EXPECT_FALSE(platform.set_control_text(WindowHandle{1}, 1008, u"text"));
    EXPECT_FALSE(platform.invalidate_rect(WindowHandle{1}, nullptr, 1));
    Rect rect{};
    EXPECT_FALSE(platform.get_client_rect(WindowHandle{1}, &rect));
    EXPECT_EQ(platform.dialog_box_indirect(null_module, nullptr, 0, null_window, nullptr, 0), -1);
}

}  // namespace
