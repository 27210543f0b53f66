// What the terminal can draw, as the user sets it and as the terminal says
// when asked.
//
// MARIVUE_TTY_GRAPHICS (case does not matter): "auto" (or unset) asks the
// terminal; "sixel" or "sixels" and "kitty" force that pixel output;
// "symbols", "text" or "blocks" force coloured half-block and quadrant
// symbols, which every monospace font has; "sextants" forces the finer
// block and sextant symbols, for fonts that have them. Anything else is
// refused with a message before the screen is touched.
//
// MARIVUE_TTY_COLOURS (case does not matter): "auto" (or unset) lets the
// terminal's description, the environment and the terminal's answers decide
// (terminal_render.h); "truecolor" (or "truecolour", "24bit"), "256", "16"
// and "8" force the colours of symbol pictures. Anything else is refused
// like a bad drawing mode.
//
// Asking, in one round trip: outside a multiplexer the kitty graphics query
// (a one-pixel image the terminal is asked to check, not to show), then a
// 24-bit foreground colour set, reported back (DECRQSS for SGR) and reset,
// then whether the terminal's own description has the "RGB" or "Tc"
// capability (XTGETTCAP); everywhere the terminal's name and version
// (XTVERSION, which tmux answers) and last the primary device attributes
// request, which every terminal answers: its answer ends the wait, so a
// terminal that ignores the other queries is known not to have what they
// ask about without waiting for the timeout. A 4 among the attributes means
// sixels. Under a multiplexer only the queries it answers itself are sent:
// GNU screen hands device control strings on to the terminal outside it,
// whose answers would be about that terminal. Echo is off while the
// answers arrive, so nothing shows on the screen.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

// Names of the override variables.
constexpr char picture_override_variable[] = "MARIVUE_TTY_GRAPHICS";
constexpr char colour_override_variable[] = "MARIVUE_TTY_COLOURS";

enum class GraphicsSetting : int32_t { Auto, Sixels, Kitty, Blocks, Sextants };
enum class ColourSetting : int32_t { Auto, TrueColour, Colours256, Colours16, Colours8 };

// The setting `value` names (null or empty: Auto), or nothing when it names
// none.
std::optional<GraphicsSetting> parse_graphics_setting(const char* value);
std::optional<ColourSetting> parse_colour_setting(const char* value);

// The messages for values the parsers refuse.
std::string graphics_setting_error(const char* value);
std::string colour_setting_error(const char* value);

struct TerminalAnswers {
    bool answered = false;  // the device attributes came back
    bool sixels = false;
    bool kitty = false;
    // The 24-bit colour came back as set, or the terminal's description has
    // RGB or Tc.
    bool direct_colour = false;
    bool tmux = false;  // the terminal is tmux
};

// The terminal's answers in `bytes`, as read back after the queries.
TerminalAnswers parse_terminal_answers(const std::string& bytes);

// Sends the queries on `output` (fewer when `multiplexer`, see above) and
// reads the answers from `input` (a terminal) for at most `timeout_ms`
// milliseconds.
TerminalAnswers ask_terminal(int input, int output, int32_t timeout_ms, bool multiplexer);
