// The terminal front end in xterm as a VT340, on an X server of its own: the pixel output the
// terminal asks for, read back from screenshots.
#include "tests/support/picture_folder.h"
#include "tests/terminal/terminal_driver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include <stdlib.h>

namespace {

using namespace terminal_test;

// An X screenshot as xwd writes it (32 bits a pixel): each pixel's colour bits.
struct Shot {
    size_t width = 0, height = 0;
    std::vector<uint32_t> pixels;
};
Shot read_xwd(const std::string& bytes) {
    const auto word = [&](size_t at, bool msb_first) {
        uint32_t v = 0;
        for (size_t k = 0; k < 4; ++k)
            v |= uint32_t{static_cast<uint8_t>(bytes[at + k])} << (msb_first ? 24 - 8 * k : 8 * k);
        return v;
    };
    const auto field = [&](size_t i) { return word(i * 4, true); };
    Shot shot;
    if (bytes.size() < 100 || field(11) != 32) return shot;
    const size_t data = field(0) + field(19) * 12, line = field(12);
    const uint32_t mask = field(14) | field(15) | field(16);
    shot.width = field(4), shot.height = field(5);
    if (bytes.size() < data + line * shot.height) return {};
    for (size_t y = 0; y < shot.height; ++y)
        for (size_t x = 0; x < shot.width; ++x)
            shot.pixels.push_back(word(data + y * line + x * 4, field(7) != 0) & mask);
    return shot;
}

// The program in xterm as a VT340, 80 x 24 cells, on an X server of its own, with nothing forced:
// asked, the terminal says it has sixels.
class Xterm {
public:
    // Starts the program with `args`; false (the test then skips) without the tools.
    bool start(const std::string& args) {
        for (const char* tool : {"Xvfb", "xterm", "xwd", "xdotool"})
            if (run(std::string("command -v ") + tool + " >/dev/null && echo yes") != "yes\n") return false;
        std::string pattern = (std::filesystem::temp_directory_path() / "marivue-xterm-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) return false;
        dir = pattern;
        // Xvfb picks a free display and writes its number.
        run("Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp 3>" + file("display") +
            " >/dev/null 2>&1 & echo $! >" + file("xvfb.pid"));
        int display = -1;
        EXPECT_TRUE(poll([&] { return static_cast<bool>(std::ifstream(dir / "display") >> display); }));
        on = "DISPLAY=:" + std::to_string(display) + " ";
        // On a loaded machine xterm now and then fails to connect to a
        // server that has just said it is ready, and ends: it is started
        // again.
        const auto up = [&] { return run(on + "xwininfo -name marivue-xterm >/dev/null 2>&1 && echo up") == "up\n"; };
        for (int attempt = 0; attempt < 3; ++attempt) {
            run(on +
                "xterm -ti vt340 -b 0 -fa 'DejaVu Sans Mono' -fs 10 -geometry 80x24+0+0 -T marivue-xterm -e env -u "
                "MARIVUE_TTY_GRAPHICS -u TMUX -u STY MARIVUE_SEED=1 LC_ALL=C.UTF-8 " +
                quote(MARIVUE_BINARY) + " --tty " + args + " >/dev/null 2>&1 & echo $! >" + file("xterm.pid"));
            poll([&] {
                return up() || run("kill -0 $(cat " + file("xterm.pid") + ") 2>/dev/null || echo gone") == "gone\n";
            });
            if (up()) break;
        }
        return true;
    }
    ~Xterm() {
        if (dir.empty()) return;
        run("kill $(cat " + file("xterm.pid") + " " + file("xvfb.pid") + ") 2>/dev/null");
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
    }
    std::string file(const char* name) const { return quote((dir / name).string()); }
    Shot shot() const { return read_xwd(run(on + "xwd -name marivue-xterm -nobdrs -silent 2>/dev/null")); }
    void keys(const std::string& keys) const { run(on + "xdotool mousemove 100 100 key " + keys); }

    std::filesystem::path dir;
    std::string on;  // DISPLAY=...
};

// Pixels fill the picture's cells: symbols keep one colour in each quarter of a cell (leaving out the
// quarter's edge pixels, which fonts smooth); the picture's pixels vary inside it.
TEST(TerminalInXterm, PixelsFillThePictureAndTheNextOne) {
    Xterm xterm;
    if (!xterm.start("")) GTEST_SKIP() << "Xvfb, xterm, xwd or xdotool is not installed";
    size_t textured = 0, cells = 0;
    Shot shot;
    EXPECT_TRUE(poll([&] {
        shot = xterm.shot();
        const size_t cw = shot.width / 80, ch = shot.height / 24;
        textured = cells = 0;
        for (size_t row = 2; cw > 3 && ch > 3 && row <= 12; ++row)  // well inside the picture at 80 x 24
            for (size_t col = 1; col <= 40; ++col, ++cells) {
                std::set<uint32_t> colours;
                for (size_t y = row * ch + 1; y < row * ch + ch / 2 - 1; ++y)
                    for (size_t x = col * cw + 1; x < col * cw + cw / 2 - 1; ++x)
                        colours.insert(shot.pixels[y * shot.width + x]);
                textured += colours.size() > 1;
            }
        return cells > 0 && textured * 10 >= cells * 9;
    })) << textured
        << " of " << cells << " cells show pixels in a " << shot.width << " x " << shot.height << " window";
    // The next picture fills 124 of the frame's 160 rows, black below: no strip of the first one may
    // show under that black, down any column.
    xterm.keys("Right");
    size_t clean = 0;
    EXPECT_TRUE(poll([&] {
        shot = xterm.shot();
        const size_t cw = shot.width / 80, ch = shot.height / 24;
        clean = 0;
        for (size_t col = 1; cw > 3 && col <= 40; ++col) {
            size_t dark = 0;  // pixels in a row, down the column
            bool black = false, strip = false;
            for (size_t y = 12 * ch; y < shot.height; ++y) {
                const uint32_t p = shot.pixels[y * shot.width + col * cw + cw / 2];
                const uint32_t high = std::max({p >> 16 & 255, p >> 8 & 255, p & 255}),
                               low = std::min({p >> 16 & 255, p >> 8 & 255, p & 255});
                dark = high < 30 ? dark + 1 : 0;
                black = black || dark >= 2 * ch;
                strip = strip || (black && high - low > 20);
            }
            clean += black && !strip;
        }
        return clean == 40;
    })) << clean
        << " of 40 columns black under the picture without a strip";
}

// The photo view sends sixels of the cells' own pixels. The picture, 800 x 600, is red left of x = 400
// and blue right of it, with a green band across its rows 250 to 269; the view is the 80 x 23 cells
// above the status line, W x H pixels. Fitted (scale min(W / 800, H / 600)), the picture fills the
// view's height, centred across it with the window's own background beside it; at 1:1 its middle
// is in the view's middle and it covers the view, the band 20 pixels high; zoomed in once (+, 150%)
// about the view's middle, the band is 30 pixels high and the edge 1.5 times as far from the middle.
TEST(TerminalInXterm, PhotoViewFillsThePictureAreaAndZooms) {
    e2e::PictureFolder f;
    std::string ppm = "P6\n800 600\n255\n";
    for (int y = 0; y < 600; ++y)
        for (int x = 0; x < 800; ++x) {
            const bool band = y >= 250 && y < 270;
            ppm += {char(x < 400 && !band ? 255 : 0), char(band ? 255 : 0), char(x >= 400 && !band ? 255 : 0)};
        }
    std::ofstream(f.at("halves.ppm"), std::ios::binary) << ppm;
    ASSERT_EQ(run("cjpeg -quality 100 -sample 1x1 " + quote(f.at("halves.ppm")) + " > " + quote(f.at("halves.jpg")) +
                  " && echo ok"),
              "ok\n");
    Xterm xterm;
    if (!xterm.start(quote(f.at("halves.jpg")))) GTEST_SKIP() << "Xvfb, xterm, xwd or xdotool is not installed";
    const auto kind = [](uint32_t p) {
        const uint32_t r = p >> 16 & 255, g = p >> 8 & 255, b = p & 255;
        return r > 180 && g < 80 && b < 80   ? 'r'
               : g > 180 && r < 80 && b < 80 ? 'g'
               : b > 180 && r < 80 && g < 80 ? 'b'
                                             : '.';
    };
    struct Row {
        const char* keys;
        double scale, x, y;  // where the picture's top-left goes, before rounding; x < -1e6: centred
    };
    // The view's size from the window's: W = 80 cells, H = 23.
    Shot shot = xterm.shot();
    ASSERT_TRUE(poll([&] { return (shot = xterm.shot()).width >= 80; }));
    const double W = double(shot.width / 80 * 80), H = double(shot.height / 24 * 23);
    const double fit = std::min(W / 800, H / 600), zx = (W - 800) / 2, zy = (H - 600) / 2;
    const Row rows[] = {{"", fit, (W - 800 * fit) / 2, (H - 600 * fit) / 2},
                        {"1", 1, zx, zy},
                        {"plus", 1.5, std::clamp(W / 2 - (W / 2 - zx) * 1.5, W - 1200, 0.0),
                         std::clamp(H / 2 - (H / 2 - zy) * 1.5, H - 900, 0.0)}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.keys);
        if (*row.keys != 0) xterm.keys(row.keys);
        const double x0 = std::round(row.x), y0 = std::round(row.y);
        std::string seen;
        const bool reached = poll([&] {
            shot = xterm.shot();
            if (shot.width < 640 || shot.height < 24) return false;
            const auto at = [&](double x, double y) {
                return kind(shot.pixels[size_t(std::clamp(y, 0.0, double(shot.height - 1))) * shot.width +
                                        size_t(std::clamp(x, 0.0, double(shot.width - 1)))]);
            };
            // The edge along a row well above the band, the band down a column in the red half.
            const double across = y0 + 100 * row.scale, down = std::max(x0, 0.0) + 20;
            size_t edge = 0, band = 0, band_top = 0;
            while (edge < shot.width && at(double(edge), across) != 'b') ++edge;
            for (size_t y = 0; y < shot.height; ++y)
                if (at(down, double(y)) == 'g') band_top = band++ == 0 ? y : band_top;
            seen = "edge " + std::to_string(edge) + ", band " + std::to_string(band) + " from " +
                   std::to_string(band_top) + "; top " + at(down, 1) + ", bottom " + at(down, H - 7) + ", left " +
                   at(x0 - 4, across) + at(x0 + 4, across) + ", right " + at(x0 + 800 * row.scale + 4, across);
            const bool centred = x0 > 4;  // the background beside the picture
            return std::abs(double(edge) - (x0 + 400 * row.scale)) <= 2 &&
                   std::abs(double(band) - 20 * row.scale) <= 2 &&
                   std::abs(double(band_top) - (y0 + 250 * row.scale)) <= 2 && at(down, 1) == 'r' &&
                   at(down, H - 7) == 'r' &&
                   (!centred || (at(x0 - 4, across) == '.' && at(x0 + 4, across) == 'r' &&
                                 at(x0 + 800 * row.scale + 4, across) == '.'));
        });
        EXPECT_TRUE(reached) << seen << " in a " << shot.width << " x " << shot.height << " window";
    }
}

}  // namespace
