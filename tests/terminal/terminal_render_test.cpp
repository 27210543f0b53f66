// The picture as symbols: what the front end writes must put libchafa's
// rendering of the frame into the cells, cell by cell.
#include "platform/terminal_render.h"

#include <chafa.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int32_t frame_width = 240;
constexpr int32_t frame_height = 160;

// A frame with gradients, hard edges and a few flat areas, blue-green-red.
std::vector<uint8_t> test_frame_bgr() {
    std::vector<uint8_t> frame(static_cast<size_t>(frame_width) * frame_height * 3);
    for (int32_t y = 0; y < frame_height; ++y) {
        for (int32_t x = 0; x < frame_width; ++x) {
            uint8_t* p = &frame[(static_cast<size_t>(y) * frame_width + x) * 3];
            uint8_t red = static_cast<uint8_t>(x * 255 / (frame_width - 1));
            uint8_t green = static_cast<uint8_t>(y * 255 / (frame_height - 1));
            uint8_t blue = static_cast<uint8_t>(((x / 16 + y / 16) % 2) * 200);
            if ((x - 170) * (x - 170) + (y - 60) * (y - 60) < 900) red = green = blue = 250;
            if (x > 20 && x < 60 && y > 100 && y < 140) red = green = blue = 10;
            p[0] = blue;
            p[1] = green;
            p[2] = red;
        }
    }
    return frame;
}

struct Cell {
    uint32_t symbol = 0;
    int64_t fg = -1;  // packed 0xRRGGBB, or a palette index; -1 for the default
    int64_t bg = -1;
};

// A small terminal: reads the rows as a terminal would, with the colours
// set by SGR sequences carried from one row to the next (each row is
// written at the start of its own line). Anything else fails the test.
std::vector<std::vector<Cell>> read_rows(const std::vector<std::string>& rows) {
    std::vector<std::vector<Cell>> cells;
    int64_t fg = -1;
    int64_t bg = -1;
    bool inverse = false;
    for (const std::string& row : rows) {
        std::vector<Cell> line;
        size_t i = 0;
        while (i < row.size()) {
            unsigned char c = static_cast<unsigned char>(row[i]);
            if (c == 0x1B) {
                EXPECT_LT(i + 1, row.size());
                EXPECT_EQ(row[i + 1], '[') << "only CSI sequences are expected";
                size_t end = i + 2;
                while (end < row.size() && (row[end] < 0x40 || row[end] > 0x7E)) ++end;
                EXPECT_LT(end, row.size());
                if (end >= row.size()) return cells;
                EXPECT_EQ(row[end], 'm') << "unexpected sequence " << row.substr(i + 1, end - i);
                std::vector<int64_t> params;
                std::string body = row.substr(i + 2, end - i - 2);
                int64_t value = 0;
                bool have = false;
                for (char d : body) {
                    if (d == ';') {
                        params.push_back(have ? value : 0);
                        value = 0;
                        have = false;
                    } else {
                        value = value * 10 + (d - '0');
                        have = true;
                    }
                }
                params.push_back(have ? value : 0);
                for (size_t k = 0; k < params.size(); ++k) {
                    int64_t p = params[k];
                    if (p == 0) {
                        fg = bg = -1;
                        inverse = false;
                    } else if (p == 7) {
                        inverse = true;
                    } else if (p == 27) {
                        inverse = false;
                    } else if (p == 39) {
                        fg = -1;
                    } else if (p == 49) {
                        bg = -1;
                    } else if ((p == 38 || p == 48) && k + 1 < params.size() && params[k + 1] == 2 &&
                               k + 4 < params.size()) {
                        int64_t rgb = (params[k + 2] << 16) | (params[k + 3] << 8) | params[k + 4];
                        (p == 38 ? fg : bg) = rgb;
                        k += 4;
                    } else if ((p == 38 || p == 48) && k + 2 < params.size() && params[k + 1] == 5) {
                        (p == 38 ? fg : bg) = params[k + 2];
                        k += 2;
                    } else if (p >= 30 && p <= 37) {
                        fg = p - 30;
                    } else if (p >= 40 && p <= 47) {
                        bg = p - 40;
                    } else if (p >= 90 && p <= 97) {
                        fg = p - 90 + 8;
                    } else if (p >= 100 && p <= 107) {
                        bg = p - 100 + 8;
                    } else {
                        ADD_FAILURE() << "unexpected attribute " << p;
                    }
                }
                i = end + 1;
                continue;
            }
            EXPECT_GE(c, 0x20) << "control character in a row";
            uint32_t symbol = c;
            size_t extra = 0;
            if (c >= 0xF0) {
                symbol = c & 0x07;
                extra = 3;
            } else if (c >= 0xE0) {
                symbol = c & 0x0F;
                extra = 2;
            } else if (c >= 0xC0) {
                symbol = c & 0x1F;
                extra = 1;
            }
            for (size_t k = 1; k <= extra && i + k < row.size(); ++k) {
                symbol = (symbol << 6) | (static_cast<unsigned char>(row[i + k]) & 0x3F);
            }
            i += 1 + extra;
            Cell cell;
            cell.symbol = symbol;
            cell.fg = inverse ? bg : fg;
            cell.bg = inverse ? fg : bg;
            line.push_back(cell);
        }
        cells.push_back(line);
    }
    return cells;
}

// libchafa's own rendering of the same pixels, configured as the front end
// documents, from red-green-blue pixels.
ChafaCanvas* reference_canvas(const std::vector<uint8_t>& bgr, int32_t cols, int32_t rows, ChafaCanvasMode mode,
                              ChafaSymbolTags tags) {
    std::vector<uint8_t> rgb(bgr.size());
    for (size_t i = 0; i < bgr.size(); i += 3) {
        rgb[i] = bgr[i + 2];
        rgb[i + 1] = bgr[i + 1];
        rgb[i + 2] = bgr[i];
    }
    ChafaCanvasConfig* config = chafa_canvas_config_new();
    chafa_canvas_config_set_geometry(config, cols, rows);
    chafa_canvas_config_set_canvas_mode(config, mode);
    ChafaSymbolMap* symbols = chafa_symbol_map_new();
    chafa_symbol_map_add_by_tags(symbols, tags);
    chafa_canvas_config_set_symbol_map(config, symbols);
    ChafaCanvas* canvas = chafa_canvas_new(config);
    chafa_canvas_draw_all_pixels(canvas, CHAFA_PIXEL_RGB8, rgb.data(), frame_width, frame_height, frame_width * 3);
    chafa_symbol_map_unref(symbols);
    chafa_canvas_config_unref(config);
    return canvas;
}

char env_term[] = "TERM=xterm-256color";
char env_colorterm[] = "COLORTERM=truecolor";
char* test_environment[] = {env_term, env_colorterm, nullptr};

void expect_same_cells(const PictureMode& mode, ChafaCanvasMode canvas_mode, ChafaSymbolTags tags, int32_t cols,
                       int32_t rows) {
    std::vector<uint8_t> frame = test_frame_bgr();
    PictureRenderer renderer(test_environment);
    std::vector<std::string> printed =
        renderer.render(mode, PictureView{frame.data(), frame_width, frame_height, frame_width * 3}, cols, rows, 0, 0);
    ASSERT_EQ(static_cast<int32_t>(printed.size()), rows);
    std::vector<std::vector<Cell>> cells = read_rows(printed);
    ASSERT_EQ(static_cast<int32_t>(cells.size()), rows);

    ChafaCanvas* canvas = reference_canvas(frame, cols, rows, canvas_mode, tags);
    bool palette = canvas_mode != CHAFA_CANVAS_MODE_TRUECOLOR;
    int32_t differing = 0;
    int32_t distinct_symbols = 0;
    uint32_t first_symbol = 0;
    for (int32_t y = 0; y < rows; ++y) {
        ASSERT_EQ(static_cast<int32_t>(cells[y].size()), cols) << "row " << y;
        for (int32_t x = 0; x < cols; ++x) {
            const Cell& cell = cells[y][x];
            gunichar symbol = chafa_canvas_get_char_at(canvas, x, y);
            gint fg = 0;
            gint bg = 0;
            if (palette) {
                chafa_canvas_get_raw_colors_at(canvas, x, y, &fg, &bg);
            } else {
                chafa_canvas_get_colors_at(canvas, x, y, &fg, &bg);
            }
            bool same = cell.symbol == symbol;
            // A space shows no foreground, a full block no background.
            if (symbol != U' ') same = same && cell.fg == fg;
            if (symbol != 0x2588) same = same && cell.bg == bg;
            if (!same && ++differing <= 5) {
                ADD_FAILURE() << "cell " << x << "," << y << ": printed U+" << std::hex << cell.symbol << " fg "
                              << cell.fg << " bg " << cell.bg << ", chafa U+" << symbol << " fg " << fg << " bg "
                              << bg;
            }
            if (x == 0 && y == 0) first_symbol = cell.symbol;
            if (cell.symbol != first_symbol) ++distinct_symbols;
        }
    }
    chafa_canvas_unref(canvas);
    EXPECT_EQ(differing, 0);
    // The frame has edges, so the rendering is not one repeated symbol.
    EXPECT_GT(distinct_symbols, 0);
}

TEST(PictureRendering, TrueColourSymbolsMatchLibchafaCellByCell) {
    PictureMode mode;
    mode.output = PictureOutput::Symbols;
    mode.colours = PictureColours::TrueColour;
    mode.unicode = true;
    expect_same_cells(mode, CHAFA_CANVAS_MODE_TRUECOLOR,
                      static_cast<ChafaSymbolTags>(CHAFA_SYMBOL_TAG_BLOCK | CHAFA_SYMBOL_TAG_SEXTANT), 60, 20);
}

TEST(PictureRendering, PaletteSymbolsMatchLibchafaCellByCell) {
    PictureMode mode;
    mode.output = PictureOutput::Symbols;
    mode.colours = PictureColours::Colours256;
    mode.unicode = true;
    expect_same_cells(mode, CHAFA_CANVAS_MODE_INDEXED_256,
                      static_cast<ChafaSymbolTags>(CHAFA_SYMBOL_TAG_BLOCK | CHAFA_SYMBOL_TAG_SEXTANT), 93, 31);
}

TEST(PictureRendering, AsciiOutsideUtf8) {
    PictureMode mode;
    mode.output = PictureOutput::Symbols;
    mode.colours = PictureColours::Colours256;
    mode.unicode = false;
    expect_same_cells(mode, CHAFA_CANVAS_MODE_INDEXED_256, CHAFA_SYMBOL_TAG_ASCII, 40, 12);
    std::vector<uint8_t> frame = test_frame_bgr();
    PictureRenderer renderer(test_environment);
    for (const std::string& row :
         renderer.render(mode, PictureView{frame.data(), frame_width, frame_height, frame_width * 3}, 40, 12, 0, 0)) {
        for (char c : row) EXPECT_LT(static_cast<unsigned char>(c), 0x80);
    }
}

TEST(PictureRendering, RefusesUnusableGeometry) {
    std::vector<uint8_t> frame = test_frame_bgr();
    PictureRenderer renderer(test_environment);
    PictureMode symbols;
    PictureView view{frame.data(), frame_width, frame_height, frame_width * 3};
    EXPECT_TRUE(renderer.render(symbols, view, 0, 10, 0, 0).empty());
    EXPECT_TRUE(renderer.render(symbols, view, 10, -1, 0, 0).empty());
    EXPECT_TRUE(renderer.render(symbols, PictureView{nullptr, 240, 160, 720}, 10, 10, 0, 0).empty());
    EXPECT_TRUE(renderer.render(symbols, PictureView{frame.data(), 240, 160, 100}, 10, 10, 0, 0).empty());
    // Pixels need the cell size.
    PictureMode sixels;
    sixels.output = PictureOutput::Sixels;
    EXPECT_TRUE(renderer.render(sixels, view, 10, 10, 0, 0).empty());
    std::vector<std::string> image = renderer.render(sixels, view, 24, 8, 10, 20);
    ASSERT_EQ(image.size(), 1u);
    EXPECT_EQ(image[0].rfind("\033P", 0), 0u) << "a sixel image starts with a device control string";
}

char kitty_term[] = "TERM=xterm-kitty";
char kitty_window[] = "KITTY_WINDOW_ID=1";
char* kitty_environment[] = {kitty_term, kitty_window, nullptr};
char vt_term[] = "TERM=vt100";
char* vt_environment[] = {vt_term, nullptr};
char tmux_term[] = "TERM=tmux-256color";
char tmux_socket[] = "TMUX=/tmp/tmux-0/default,1,0";
char* tmux_environment[] = {tmux_term, tmux_socket, nullptr};

TEST(PictureMode, PixelsOnlyWhereTheTerminalCanPlaceThem) {
    PictureRenderer kitty(kitty_environment);
    EXPECT_EQ(kitty.choose_mode(nullptr, true, 10, 20, false).output, PictureOutput::Kitty);
    // Without the cell size, or behind a multiplexer: symbols.
    EXPECT_EQ(kitty.choose_mode(nullptr, true, 0, 0, false).output, PictureOutput::Symbols);
    EXPECT_EQ(kitty.choose_mode(nullptr, true, 10, 20, true).output, PictureOutput::Symbols);
    // The override wins either way.
    EXPECT_EQ(kitty.choose_mode("symbols", true, 10, 20, false).output, PictureOutput::Symbols);
    EXPECT_EQ(kitty.choose_mode("sixels", true, 0, 0, true).output, PictureOutput::Sixels);
    EXPECT_EQ(kitty.choose_mode("auto", true, 10, 20, false).output, PictureOutput::Kitty);
    EXPECT_TRUE(kitty.choose_mode("symbols", true, 10, 20, false).unicode);
    EXPECT_FALSE(kitty.choose_mode("symbols", false, 10, 20, false).unicode);

    PictureRenderer truecolour(test_environment);
    PictureMode mode = truecolour.choose_mode(nullptr, true, 0, 0, false);
    EXPECT_EQ(mode.output, PictureOutput::Symbols);
    EXPECT_EQ(mode.colours, PictureColours::TrueColour);

    PictureRenderer vt(vt_environment);
    PictureMode plain = vt.choose_mode(nullptr, true, 10, 20, false);
    EXPECT_EQ(plain.output, PictureOutput::Symbols);
    EXPECT_NE(plain.colours, PictureColours::TrueColour);
}

TEST(PictureMode, MultiplexerFromTheEnvironment) {
    EXPECT_TRUE(environment_has_multiplexer(tmux_environment));
    EXPECT_FALSE(environment_has_multiplexer(test_environment));
    EXPECT_FALSE(environment_has_multiplexer(kitty_environment));
    char screen_term[] = "TERM=screen.xterm-256color";
    char* screen_environment[] = {screen_term, nullptr};
    EXPECT_TRUE(environment_has_multiplexer(screen_environment));
    EXPECT_FALSE(environment_has_multiplexer(nullptr));
}

}  // namespace
