// The picture in the terminal: the frame drawn with libchafa in the best way
// the terminal offers.
//
// Output kinds, best first: kitty graphics or sixels (real pixels), then
// Unicode symbols, coloured in true colour (24-bit), 256, 16 or 8 colours.
// Which pixels the terminal takes is asked of the terminal
// (terminal_query.h). Pixel output is only chosen when the terminal also
// reports its cell size in pixels and runs outside a multiplexer (which
// does not pass the images through); otherwise symbols are drawn.
//
// Symbols are drawn in true colour when any of these says the terminal
// takes it: chafa's terminal database (from TERM and the variables
// terminals set, COLORTERM among them); COLORTERM set to "truecolor" or
// "24bit"; the terminal, asked, reporting a 24-bit colour back as it was
// set or its own description having "RGB" or "Tc"; tmux in between (TMUX,
// TERM_PROGRAM=tmux, a TERM of tmux's, or its answer to the version
// query), since tmux keeps 24-bit colours and fits them to each terminal
// attached to it: in full where it knows the terminal takes them (its RGB
// or Tc feature), else in its nearest 256 colours. Inside GNU screen (STY)
// COLORTERM is not taken at its word: screen hands its starter's
// environment on and drops 24-bit colours before version 5. Otherwise the
// database's depth stays: 256, 16 or 8 colours.
//
// MARIVUE_TTY_GRAPHICS and MARIVUE_TTY_COLOURS override the choices (see
// terminal_query.h); the colours are those of symbol pictures, pixels are
// always sent in true colour.
//
// Symbol rendering, in full (so that it can be reproduced): a chafa canvas
// of the picture's cells with the space, solid, half-block and quadrant
// symbols (block and sextant symbols when sextants are asked for, ASCII
// symbols when the locale is not UTF-8), chafa's default colour
// extraction, colour space, work factor and dithering, only the
// attribute-reuse optimisation, and the frame's pixels drawn onto the
// whole canvas as packed BGR.
#pragma once

#include "platform/terminal/terminal_query.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

enum class PictureOutput : int32_t { Symbols, Sixels, Kitty };
enum class PictureColours : int32_t { TrueColour, Colours256, Colours16, Colours8 };
// Symbol sets: half blocks and quadrants, which every monospace font has;
// all block elements and sextants, which need a font that has them; ASCII.
enum class PictureSymbols : int32_t { Blocks, Sextants, Ascii };

struct PictureMode {
    PictureOutput output = PictureOutput::Symbols;
    PictureColours colours = PictureColours::Colours256;
    PictureSymbols symbols = PictureSymbols::Blocks;
};

// A packed picture: `width` x `height` pixels, blue, green, red (and with
// `alpha` a fourth byte, the opacity: the terminal's background shows
// through transparent pixels), rows top-down `stride` bytes apart.
struct PictureView {
    const uint8_t* pixels = nullptr;
    int32_t width = 0;
    int32_t height = 0;
    int32_t stride = 0;
    bool alpha = false;
};

class PictureRenderer {
public:
    // Looks the terminal up in chafa's database from `environment` (a
    // null-terminated array of "NAME=value", e.g. environ).
    explicit PictureRenderer(char** environment);
    ~PictureRenderer();
    PictureRenderer(const PictureRenderer&) = delete;
    PictureRenderer& operator=(const PictureRenderer&) = delete;

    // What this terminal gets: `graphics` and `colours` are the user's
    // settings, `answers` what the terminal said when asked, `utf8` whether
    // the locale encodes UTF-8, `cell_width` and `cell_height` the cell size
    // in pixels (0 when the terminal does not say), `multiplexer` whether a
    // multiplexer runs between us and the terminal.
    PictureMode choose_mode(GraphicsSetting graphics, ColourSetting colours, const TerminalAnswers& answers, bool utf8,
                            int32_t cell_width, int32_t cell_height, bool multiplexer) const;

    // Renders `picture` onto `cols` x `rows` cells. Symbols: one string per
    // cell row, each to be written at the start of its row, colours carried
    // from row to row. Pixels: one string to be written at the top-left cell;
    // `cell_width` x `cell_height` is the pixel size of a cell. Empty when
    // the geometry is unusable.
    std::vector<std::string> render(const PictureMode& mode, const PictureView& picture, int32_t cols, int32_t rows,
                                    int32_t cell_width, int32_t cell_height) const;

private:
    PictureColours choose_colours(ColourSetting setting, const TerminalAnswers& answers) const;

    struct Terminal;
    std::unique_ptr<Terminal> terminal_;
};

// True when a variable of `environment` says a multiplexer (tmux or screen)
// is in between.
bool environment_has_multiplexer(char** environment);
