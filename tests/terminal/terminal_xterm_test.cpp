// The terminal front end in xterm as a VT340, on an X server of its own: the pixel output the
// terminal asks for, read back from screenshots.
#include "tests/terminal/terminal_driver.h"

#include <gtest/gtest.h>

#include <algorithm>
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

// The program in xterm as a VT340, on an X server of its own, with nothing forced: asked, the
// terminal says it has sixels, and pixels fill the picture's cells. Symbols keep one colour in each
// quarter of a cell (leaving out the quarter's edge pixels, which fonts smooth); the picture's pixels
// vary inside it.
TEST(TerminalInXterm, PixelsFillThePictureAndTheNextOne) {
    for (const char* tool : {"Xvfb", "xterm", "xwd", "xdotool"})
        if (run(std::string("command -v ") + tool + " >/dev/null && echo yes") != "yes\n")
            GTEST_SKIP() << tool << " is not installed";
    struct Processes {
        std::filesystem::path dir;
        ~Processes() {
            run("kill $(cat " + quote((dir / "xterm.pid").string()) + " " + quote((dir / "xvfb.pid").string()) +
                ") 2>/dev/null");
            std::error_code ignored;
            std::filesystem::remove_all(dir, ignored);
        }
    } processes;
    std::string pattern = (std::filesystem::temp_directory_path() / "marivue-xterm-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    const std::filesystem::path dir = processes.dir = pattern;
    const auto file = [&](const char* name) { return quote((dir / name).string()); };
    // Xvfb picks a free display and writes its number.
    run("Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp 3>" + file("display") + " >/dev/null 2>&1 & echo $! >" +
        file("xvfb.pid"));
    int display = -1;
    ASSERT_TRUE(poll([&] { return static_cast<bool>(std::ifstream(dir / "display") >> display); }));
    const std::string on = "DISPLAY=:" + std::to_string(display) + " ";
    run(on +
        "xterm -ti vt340 -b 0 -fa 'DejaVu Sans Mono' -fs 10 -geometry 80x24+0+0 -T marivue-xterm -e env -u "
        "MARIVUE_TTY_GRAPHICS -u TMUX -u STY MARIVUE_SEED=1 LC_ALL=C.UTF-8 " +
        quote(MARIVUE_BINARY) + " --tty >/dev/null 2>&1 & echo $! >" + file("xterm.pid"));
    size_t textured = 0, cells = 0;
    Shot shot;
    EXPECT_TRUE(poll([&] {
        shot = read_xwd(run(on + "xwd -name marivue-xterm -nobdrs -silent 2>/dev/null"));
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
    run(on + "xdotool mousemove 100 100 key Right");
    size_t clean = 0;
    EXPECT_TRUE(poll([&] {
        shot = read_xwd(run(on + "xwd -name marivue-xterm -nobdrs -silent 2>/dev/null"));
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

}  // namespace
