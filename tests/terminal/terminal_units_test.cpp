// The terminal front end as units, for what tmux cannot show: the picture
// against libchafa's rendering cell by cell, the output chosen for other
// terminals, the seed.
#include "platform/terminal/terminal_platform.h"
#include "tests/support/fixtures.h"
#include "tests/terminal/terminal_cells.h"

#include <chafa.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <set>
#include <string>
#include <vector>

namespace {

using namespace terminal_test;

// --- Units -----------------------------------------------------------------------

char term_xterm[] = "TERM=xterm-256color", colorterm[] = "COLORTERM=truecolor", term_kitty[] = "TERM=xterm-kitty",
     kitty_window[] = "KITTY_WINDOW_ID=1", term_vt[] = "TERM=vt100", term_tmux[] = "TERM=tmux-256color",
     tmux_var[] = "TMUX=/tmp/tmux-0/default,1,0", term_screen[] = "TERM=screen.xterm-256color";
char* truecolour_env[] = {term_xterm, colorterm, nullptr};
char* kitty_env[] = {term_kitty, kitty_window, nullptr};
char* vt_env[] = {term_vt, nullptr};
char* tmux_env[] = {term_tmux, tmux_var, nullptr};
char* screen_env[] = {term_screen, nullptr};

// Gradients, a checkerboard, a bright disc and a dark square, as red-green-blue.
std::vector<uint8_t> test_picture_rgb() {
    std::vector<uint8_t> rgb;
    for (int y = 0; y < 160; ++y)
        for (int x = 0; x < 240; ++x) {
            const bool disc =
                (x - 170) * (x - 170) + (y - 60) * (y - 60)<900, square = x> 20 && x < 60 && y > 100 && y < 140;
            for (int v : {x * 255 / 239, y * 255 / 159, ((x / 16 + y / 16) % 2) * 200})
                rgb.push_back(static_cast<uint8_t>(disc ? 250 : square ? 10 : v));
        }
    return rgb;
}

struct RenderCase {
    PictureMode mode;
    ChafaCanvasMode canvas_mode;
    int tags;
    int32_t cols, rows;
};
void PrintTo(const RenderCase& c, std::ostream* out) {
    *out << c.cols << "x" << c.rows << " symbols " << static_cast<int>(c.mode.symbols);
}
class PictureRendering : public ::testing::TestWithParam<RenderCase> {};

TEST_P(PictureRendering, MatchesLibchafaCellByCell) {
    const RenderCase c = GetParam();
    const std::vector<uint8_t> rgb = test_picture_rgb();
    std::vector<uint8_t> bgr = rgb;
    for (size_t i = 0; i < bgr.size(); i += 3) std::swap(bgr[i], bgr[i + 2]);
    const std::vector<std::string> printed =
        PictureRenderer(truecolour_env).render(c.mode, PictureView{bgr.data(), 240, 160, 720}, c.cols, c.rows, 0, 0);
    ASSERT_EQ(static_cast<int32_t>(printed.size()), c.rows);
    // libchafa's own canvas of the same pixels, configured as the front end documents.
    ChafaCanvasConfig* config = chafa_canvas_config_new();
    chafa_canvas_config_set_geometry(config, c.cols, c.rows);
    chafa_canvas_config_set_canvas_mode(config, c.canvas_mode);
    ChafaSymbolMap* symbols = chafa_symbol_map_new();
    chafa_symbol_map_add_by_tags(symbols, static_cast<ChafaSymbolTags>(c.tags));
    chafa_canvas_config_set_symbol_map(config, symbols);
    ChafaCanvas* canvas = chafa_canvas_new(config);
    chafa_canvas_draw_all_pixels(canvas, CHAFA_PIXEL_RGB8, rgb.data(), 240, 160, 720);
    SgrState state;
    int differing = 0;
    std::set<char32_t> seen;
    for (int32_t y = 0; y < c.rows; ++y) {
        const std::vector<Cell> cells = parse_row(printed[static_cast<size_t>(y)], state);
        ASSERT_EQ(static_cast<int32_t>(cells.size()), c.cols) << "row " << y;
        for (int32_t x = 0; x < c.cols; ++x) {
            const Cell& cell = cells[static_cast<size_t>(x)];
            const gunichar symbol = chafa_canvas_get_char_at(canvas, x, y);
            gint fg = 0, bg = 0;
            (c.canvas_mode == CHAFA_CANVAS_MODE_TRUECOLOR ? chafa_canvas_get_colors_at
                                                          : chafa_canvas_get_raw_colors_at)(canvas, x, y, &fg, &bg);
            // A space shows no foreground, a full block no background.
            if ((cell.symbol != symbol || (symbol != U' ' && cell.fg != fg) || (symbol != 0x2588 && cell.bg != bg)) &&
                ++differing <= 3)
                ADD_FAILURE() << "cell " << x << "," << y << ": U+" << std::hex << static_cast<uint32_t>(cell.symbol)
                              << " " << cell.fg << "/" << cell.bg << ", libchafa U+" << symbol << " " << fg << "/"
                              << bg;
            seen.insert(cell.symbol);
        }
    }
    chafa_canvas_unref(canvas);
    chafa_symbol_map_unref(symbols);
    chafa_canvas_config_unref(config);
    EXPECT_EQ(differing, 0);
    EXPECT_EQ(state.unexpected, 0) << "only colour sequences belong in the picture";
    EXPECT_GT(seen.size(), 2u);
    EXPECT_TRUE(c.mode.symbols != PictureSymbols::Ascii || *seen.rbegin() < 0x80) << "ASCII outside UTF-8";
}

constexpr int block_and_sextant = CHAFA_SYMBOL_TAG_BLOCK | CHAFA_SYMBOL_TAG_SEXTANT,
              half_and_quadrant =
                  CHAFA_SYMBOL_TAG_SPACE | CHAFA_SYMBOL_TAG_SOLID | CHAFA_SYMBOL_TAG_HALF | CHAFA_SYMBOL_TAG_QUAD;
INSTANTIATE_TEST_SUITE_P(
    Modes, PictureRendering,
    ::testing::Values(RenderCase{{PictureOutput::Symbols, PictureColours::TrueColour, PictureSymbols::Blocks},
                                 CHAFA_CANVAS_MODE_TRUECOLOR,
                                 half_and_quadrant,
                                 60,
                                 20},
                      RenderCase{{PictureOutput::Symbols, PictureColours::Colours256, PictureSymbols::Sextants},
                                 CHAFA_CANVAS_MODE_INDEXED_256,
                                 block_and_sextant,
                                 93,
                                 31},
                      RenderCase{{PictureOutput::Symbols, PictureColours::Colours256, PictureSymbols::Ascii},
                                 CHAFA_CANVAS_MODE_INDEXED_256,
                                 CHAFA_SYMBOL_TAG_ASCII,
                                 40,
                                 12}));

TEST(PictureMode, PixelsWhereTheTerminalSaysAndCanPlaceThem) {
    struct Row {
        const char* setting;
        const char* answers;  // what the terminal sent back
        int32_t cell_width;  // 0: not known
        bool multiplexer;
        PictureOutput output;
    };
    const std::string da1_sixel = "\033[?63;1;2;4;6;9;15;22c", da1_plain = "\033[?64;1;2;6;9;15;22;28c";
    const std::string kitty_ok = "\033_Gi=31;OK\033\\" + da1_plain;
    for (const Row& r :
         {Row{nullptr, da1_sixel.c_str(), 10, false, PictureOutput::Sixels},
          Row{"AUTO", kitty_ok.c_str(), 10, false, PictureOutput::Kitty},
          Row{"", da1_plain.c_str(), 10, false, PictureOutput::Symbols},
          Row{nullptr, "\033[?1;4", 10, false, PictureOutput::Symbols},  // cut short
          Row{nullptr, da1_sixel.c_str(), 0, false, PictureOutput::Symbols},
          Row{nullptr, kitty_ok.c_str(), 10, true, PictureOutput::Symbols},
          Row{"Sixel", "", 0, true, PictureOutput::Sixels}, Row{"sixels", "", 10, false, PictureOutput::Sixels},
          Row{"kitty", da1_sixel.c_str(), 10, false, PictureOutput::Kitty},
          Row{"text", kitty_ok.c_str(), 10, false, PictureOutput::Symbols},
          Row{"blocks", da1_sixel.c_str(), 10, false, PictureOutput::Symbols},
          Row{"symbols", da1_sixel.c_str(), 10, false, PictureOutput::Symbols}}) {
        const std::optional<GraphicsSetting> setting = parse_graphics_setting(r.setting);
        ASSERT_TRUE(setting) << r.setting;
        EXPECT_EQ(PictureRenderer(vt_env)
                      .choose_mode(*setting, ColourSetting::Auto, parse_terminal_answers(r.answers), true, r.cell_width,
                                   2 * r.cell_width, r.multiplexer)
                      .output,
                  r.output)
            << (r.setting ? r.setting : "unset") << " " << r.cell_width << " " << r.multiplexer;
    }
    for (const char* bad : {"sixel ", "pixels", "1", "on"}) EXPECT_FALSE(parse_graphics_setting(bad)) << bad;
    EXPECT_FALSE(parse_terminal_answers("\033[?4;1c").sixels) << "4 as the terminal's class is no feature";
    EXPECT_TRUE(environment_has_multiplexer(tmux_env) && environment_has_multiplexer(screen_env));
    EXPECT_FALSE(environment_has_multiplexer(kitty_env) || environment_has_multiplexer(nullptr));
    const TerminalAnswers nothing;
    // Half blocks and quadrants unless sextants are asked for; ASCII outside UTF-8.
    const auto symbols = [&](GraphicsSetting setting, bool utf8) {
        return PictureRenderer(vt_env).choose_mode(setting, ColourSetting::Auto, nothing, utf8, 10, 20, false).symbols;
    };
    EXPECT_EQ(symbols(GraphicsSetting::Auto, true), PictureSymbols::Blocks);
    EXPECT_EQ(symbols(*parse_graphics_setting("Sextants"), true), PictureSymbols::Sextants);
    EXPECT_EQ(symbols(GraphicsSetting::Sextants, false), PictureSymbols::Ascii);
    // Pixels need the cell size. (What a sixel image shows: TerminalInXterm.)
    const std::vector<uint8_t> rgb = test_picture_rgb();
    const PictureMode sixels{PictureOutput::Sixels, PictureColours::TrueColour, PictureSymbols::Blocks};
    EXPECT_TRUE(PictureRenderer(vt_env).render(sixels, PictureView{rgb.data(), 240, 160, 720}, 10, 10, 0, 0).empty());
}

TEST(PictureMode, ColoursFromTheDatabaseTheEnvironmentAndTheAnswers) {
    struct Row {
        std::vector<std::string> environment;
        std::string answers;  // what the terminal sent back (device attributes added)
        const char* setting;  // MARIVUE_TTY_COLOURS
        PictureColours colours;
    };
    const std::string tmux_var = "TMUX=/tmp/tmux-0/default,1,0", screen_var = "STY=1.pts-0.host";
    for (const Row& r : {
             Row{{"TERM=xterm-256color"}, "", nullptr, PictureColours::TrueColour},  // the database
             Row{{"TERM=xterm"}, "", "AUTO", PictureColours::Colours256},
             Row{{"TERM=xterm", "COLORTERM=truecolor"}, "", "", PictureColours::TrueColour},
             Row{{"TERM=xterm", "COLORTERM=24bit"}, "", nullptr, PictureColours::TrueColour},
             Row{{"TERM=xterm", "COLORTERM=yes"}, "", nullptr, PictureColours::Colours256},
             // The colour reported back: as xterm and kitty write it, and as a
             // terminal that keeps 256 colours turns it.
             Row{{"TERM=xterm"}, "\033P1$r0;38:2::1:2:3m\033\\", nullptr, PictureColours::TrueColour},
             Row{{"TERM=xterm"}, "\033P1$r38;2;1;2;3m\033\\", nullptr, PictureColours::TrueColour},
             Row{{"TERM=xterm"}, "\033P1$r0;38:5:16m\033\\", nullptr, PictureColours::Colours256},
             // The terminal's description: RGB, or Tc after a missing RGB.
             Row{{"TERM=xterm"}, "\033P1+r524742=8\033\\", nullptr, PictureColours::TrueColour},
             Row{{"TERM=xterm"}, "\033P0+r524742\033\\\033P1+r5463\033\\", nullptr, PictureColours::TrueColour},
             Row{{"TERM=xterm"}, "\033P0+r524742\033\\\033P0+r5463\033\\", nullptr, PictureColours::Colours256},
             // tmux, known from its variables or its TERM (from TMUX and from its answer:
             // TerminalViewer.PicturesInTmuxCarry24BitColours).
             Row{{"TERM=tmux-256color"}, "", nullptr, PictureColours::TrueColour},
             Row{{"TERM=screen-256color", tmux_var}, "", nullptr, PictureColours::TrueColour},
             Row{{"TERM=screen", "TERM_PROGRAM=tmux"}, "", nullptr, PictureColours::TrueColour},
             Row{{"TERM=screen-256color"}, "", nullptr, PictureColours::Colours256},
             // GNU screen, also when COLORTERM or TMUX came in from outside.
             Row{{"TERM=screen-256color", screen_var, "COLORTERM=truecolor"}, "", nullptr, PictureColours::Colours256},
             Row{{"TERM=screen.xterm-256color", screen_var, tmux_var}, "", nullptr, PictureColours::Colours256},
             Row{{"TERM=linux"}, "", nullptr, PictureColours::Colours16},
             // Forced, also beyond what the database credits the terminal with.
             Row{{"TERM=xterm-256color", "COLORTERM=truecolor"}, "", "256", PictureColours::Colours256},
             Row{{"TERM=linux"}, "", "TrueColor", PictureColours::TrueColour},
             Row{{"TERM=linux"}, "", "256", PictureColours::Colours256},
             Row{{"TERM=xterm"}, "\033P1$r0;38:2::1:2:3m\033\\", "16", PictureColours::Colours16},
             Row{{"TERM=tmux-256color", tmux_var}, "", "8", PictureColours::Colours8},
         }) {
        std::vector<std::string> strings = r.environment;
        std::vector<char*> environment;
        for (std::string& s : strings) environment.push_back(s.data());
        environment.push_back(nullptr);
        std::string trace = r.setting ? r.setting : "unset";
        for (const std::string& entry : strings) trace += " " + entry;
        const std::optional<ColourSetting> setting = parse_colour_setting(r.setting);
        ASSERT_TRUE(setting) << trace;
        const PictureRenderer renderer(environment.data());
        const PictureMode mode =
            renderer.choose_mode(GraphicsSetting::Auto, *setting, parse_terminal_answers(r.answers + "\033[?62;22c"),
                                 true, 0, 0, environment_has_multiplexer(environment.data()));
        EXPECT_EQ(mode.colours, r.colours) << trace;
        // The picture is written in those colours, whatever the terminal's
        // description has sequences for.
        const std::vector<uint8_t> rgb = test_picture_rgb();
        const std::vector<std::string> rows =
            renderer.render(mode, PictureView{rgb.data(), 240, 160, 720}, 40, 12, 0, 0);
        const ColourKinds kinds = colour_kinds(std::accumulate(rows.begin(), rows.end(), std::string()));
        const PictureColours written = kinds.direct    ? PictureColours::TrueColour
                                       : kinds.palette ? PictureColours::Colours256
                                       : kinds.bright  ? PictureColours::Colours16
                                                       : PictureColours::Colours8;
        EXPECT_EQ(written, r.colours) << trace;
        EXPECT_TRUE(kinds.direct || kinds.palette || kinds.bright || kinds.basic) << trace;
    }
    for (const char* bad : {"24", "true", "256 ", "rgb", "0", "direct"}) EXPECT_FALSE(parse_colour_setting(bad)) << bad;
}

TEST(TerminalSeed, OnlyPlainDecimalNumbersFixTheStart) {
    EXPECT_EQ(seed_from_environment("4294967295"), 4294967295u);
    for (const char* bad : {"4294967296", "", "-1", "12a", " 1", "0x10"})
        EXPECT_EQ(seed_from_environment(bad), std::nullopt) << bad;
    EXPECT_EQ(seed_from_environment(nullptr), std::nullopt);
}
}  // namespace
