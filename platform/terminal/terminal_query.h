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
// Asking: the kitty graphics query (a one-pixel image the terminal is asked
// to check, not to show) followed by the primary device attributes request,
// which every terminal answers: its answer ends the wait, so a terminal
// that ignores the kitty query is known not to have it without waiting for
// the timeout. A 4 among the attributes means sixels. Echo is off while the
// answers arrive, so nothing shows on the screen.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

enum class GraphicsSetting : int32_t { Auto, Sixels, Kitty, Blocks, Sextants };

// The setting `value` names (null or empty: Auto), or nothing when it names
// none.
std::optional<GraphicsSetting> parse_graphics_setting(const char* value);

// The message for a value parse_graphics_setting refuses.
std::string graphics_setting_error(const char* value);

struct TerminalGraphics {
    bool answered = false;  // the device attributes came back
    bool sixels = false;
    bool kitty = false;
};

// The terminal's answers in `bytes`, as read back after the queries.
TerminalGraphics parse_graphics_answers(const std::string& bytes);

// Sends the queries on `output` and reads the answers from `input` (a
// terminal) for at most `timeout_ms` milliseconds.
TerminalGraphics ask_terminal_graphics(int input, int output, int32_t timeout_ms);
