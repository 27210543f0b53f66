// Drawing the frame with libchafa.
#include "platform/terminal/terminal_render.h"

#include <chafa.h>

#include <cctype>
#include <cstring>

struct PictureRenderer::Terminal {
    ChafaTermInfo* info = nullptr;
    bool colorterm_direct = false;  // COLORTERM says 24-bit colours
    bool gnu_screen = false;  // GNU screen is the terminal
    bool tmux = false;  // tmux is
};

namespace {

const char* environment_value(char** environment, const char* name) {
    if (environment == nullptr) return nullptr;
    size_t length = std::strlen(name);
    for (char** entry = environment; *entry != nullptr; ++entry) {
        if (std::strncmp(*entry, name, length) == 0 && (*entry)[length] == '=') return *entry + length + 1;
    }
    return nullptr;
}

ChafaCanvasMode canvas_mode_for(PictureColours colours) {
    switch (colours) {
        case PictureColours::TrueColour:
            return CHAFA_CANVAS_MODE_TRUECOLOR;
        case PictureColours::Colours256:
            return CHAFA_CANVAS_MODE_INDEXED_256;
        case PictureColours::Colours16:
            return CHAFA_CANVAS_MODE_INDEXED_16;
        case PictureColours::Colours8:
            return CHAFA_CANVAS_MODE_INDEXED_8;
    }
    return CHAFA_CANVAS_MODE_INDEXED_256;
}

// Splits chafa's symbol output into its rows. Whatever follows the last
// line break (a closing attribute reset) stays with the last row.
std::vector<std::string> split_rows(const char* text, size_t length, int32_t rows) {
    std::vector<std::string> out;
    size_t start = 0;
    for (size_t i = 0; i < length; ++i) {
        if (text[i] == '\n') {
            out.emplace_back(text + start, i - start);
            start = i + 1;
        }
    }
    if (start < length) {
        if (static_cast<int32_t>(out.size()) >= rows && !out.empty()) {
            out.back().append(text + start, length - start);
        } else {
            out.emplace_back(text + start, length - start);
        }
    }
    return out;
}

// The sequence that sets both colours of a cell in `colours`.
ChafaTermSeq colour_sequence(PictureColours colours) {
    switch (colours) {
        case PictureColours::TrueColour:
            return CHAFA_TERM_SEQ_SET_COLOR_FGBG_DIRECT;
        case PictureColours::Colours256:
            return CHAFA_TERM_SEQ_SET_COLOR_FGBG_256;
        case PictureColours::Colours16:
            return CHAFA_TERM_SEQ_SET_COLOR_FGBG_16;
        case PictureColours::Colours8:
            return CHAFA_TERM_SEQ_SET_COLOR_FGBG_8;
    }
    return CHAFA_TERM_SEQ_SET_COLOR_FGBG_256;
}

// The terminal's description, with the sequences of the output or colours
// added when they were chosen for a terminal the database does not credit
// with them (forced, or said by the environment or the terminal): chafa
// writes no colour it has no sequence for. The caller releases the result.
ChafaTermInfo* info_for(ChafaTermInfo* info, const PictureMode& mode) {
    ChafaTermInfo* result = chafa_term_info_copy(info);
    ChafaTermSeq needed = mode.output == PictureOutput::Kitty    ? CHAFA_TERM_SEQ_BEGIN_KITTY_IMMEDIATE_IMAGE_V1
                          : mode.output == PictureOutput::Sixels ? CHAFA_TERM_SEQ_BEGIN_SIXELS
                                                                 : colour_sequence(mode.colours);
    if (!chafa_term_info_have_seq(result, needed)) {
        // Terminals the database knows for each kind of pixels, and one with
        // every depth of colours.
        char kitty[] = "TERM=xterm-kitty";
        char sixels[] = "TERM=foot";
        char colours[] = "TERM=xterm-256color";
        char direct[] = "COLORTERM=truecolor";
        char* environment[] = {mode.output == PictureOutput::Kitty    ? kitty
                               : mode.output == PictureOutput::Sixels ? sixels
                                                                      : colours,
                               direct, nullptr};
        ChafaTermInfo* source = chafa_term_db_detect(chafa_term_db_get_default(), environment);
        if (source != nullptr) {
            chafa_term_info_supplement(result, source);
            chafa_term_info_unref(source);
        }
    }
    return result;
}

bool starts_with(const char* text, const char* prefix) {
    return text != nullptr && std::strncmp(text, prefix, std::strlen(prefix)) == 0;
}

bool equals_lowered(const char* text, const char* lower) {
    if (text == nullptr) return false;
    for (; *text != '\0' && *lower != '\0'; ++text, ++lower) {
        if (std::tolower(static_cast<unsigned char>(*text)) != *lower) return false;
    }
    return *text == '\0' && *lower == '\0';
}

ChafaSymbolTags symbol_tags(PictureSymbols symbols) {
    switch (symbols) {
        case PictureSymbols::Blocks:
            return static_cast<ChafaSymbolTags>(CHAFA_SYMBOL_TAG_SPACE | CHAFA_SYMBOL_TAG_SOLID |
                                                CHAFA_SYMBOL_TAG_HALF | CHAFA_SYMBOL_TAG_QUAD);
        case PictureSymbols::Sextants:
            return static_cast<ChafaSymbolTags>(CHAFA_SYMBOL_TAG_BLOCK | CHAFA_SYMBOL_TAG_SEXTANT);
        case PictureSymbols::Ascii:
            return CHAFA_SYMBOL_TAG_ASCII;
    }
    return CHAFA_SYMBOL_TAG_ASCII;
}

}  // namespace

bool environment_has_multiplexer(char** environment) {
    if (environment_value(environment, "TMUX") != nullptr) return true;
    if (environment_value(environment, "STY") != nullptr) return true;
    const char* term = environment_value(environment, "TERM");
    if (term == nullptr) return false;
    return std::strncmp(term, "screen", 6) == 0 || std::strncmp(term, "tmux", 4) == 0;
}

PictureRenderer::PictureRenderer(char** environment) : terminal_(std::make_unique<Terminal>()) {
    const char* colorterm = environment_value(environment, "COLORTERM");
    terminal_->colorterm_direct = equals_lowered(colorterm, "truecolor") || equals_lowered(colorterm, "24bit");
    // Only tmux names its panes' terminal tmux-something; otherwise the
    // innermost of GNU screen and tmux, when both variables were handed on,
    // is not known, and screen, the more careful guess, wins.
    const char* term = environment_value(environment, "TERM");
    const bool tmux_term = starts_with(term, "tmux");
    terminal_->gnu_screen = environment_value(environment, "STY") != nullptr && !tmux_term;
    terminal_->tmux = tmux_term || (!terminal_->gnu_screen &&
                                    (environment_value(environment, "TMUX") != nullptr ||
                                     equals_lowered(environment_value(environment, "TERM_PROGRAM"), "tmux")));

    // The database takes TMUX as tmux's word; inside GNU screen it is only
    // a variable handed on, and is left out.
    std::vector<char*> looked_up;
    for (char** entry = environment; entry != nullptr && *entry != nullptr; ++entry) {
        if (!terminal_->gnu_screen || (!starts_with(*entry, "TMUX") && !starts_with(*entry, "TERM_PROGRAM="))) {
            looked_up.push_back(*entry);
        }
    }
    looked_up.push_back(nullptr);
    ChafaTermDb* database = chafa_term_db_get_default();
    terminal_->info = chafa_term_db_detect(database, looked_up.data());
    if (terminal_->info == nullptr) terminal_->info = chafa_term_db_get_fallback_info(database);
}

PictureRenderer::~PictureRenderer() {
    if (terminal_->info != nullptr) chafa_term_info_unref(terminal_->info);
}

PictureColours PictureRenderer::choose_colours(ColourSetting setting, const TerminalAnswers& answers) const {
    switch (setting) {
        case ColourSetting::TrueColour:
            return PictureColours::TrueColour;
        case ColourSetting::Colours256:
            return PictureColours::Colours256;
        case ColourSetting::Colours16:
            return PictureColours::Colours16;
        case ColourSetting::Colours8:
            return PictureColours::Colours8;
        case ColourSetting::Auto:
            break;
    }
    const ChafaTermInfo* info = terminal_->info;
    const bool database_direct =
        info != nullptr && chafa_term_info_have_seq(info, CHAFA_TERM_SEQ_SET_COLOR_FGBG_DIRECT);
    if (database_direct || (terminal_->colorterm_direct && !terminal_->gnu_screen) || answers.direct_colour ||
        answers.tmux || terminal_->tmux) {
        return PictureColours::TrueColour;
    }
    if (info != nullptr && chafa_term_info_have_seq(info, CHAFA_TERM_SEQ_SET_COLOR_FGBG_256)) {
        return PictureColours::Colours256;
    }
    if (info != nullptr && chafa_term_info_have_seq(info, CHAFA_TERM_SEQ_SET_COLOR_FGBG_16)) {
        return PictureColours::Colours16;
    }
    return PictureColours::Colours8;
}

PictureMode PictureRenderer::choose_mode(GraphicsSetting graphics, ColourSetting colours,
                                         const TerminalAnswers& answers, bool utf8, int32_t cell_width,
                                         int32_t cell_height, bool multiplexer) const {
    PictureMode mode;
    mode.colours = choose_colours(colours, answers);
    if (!utf8) {
        mode.symbols = PictureSymbols::Ascii;
    } else if (graphics == GraphicsSetting::Sextants) {
        mode.symbols = PictureSymbols::Sextants;
    }
    bool pixels_possible = cell_width > 0 && cell_height > 0 && !multiplexer;
    if (graphics == GraphicsSetting::Kitty || (graphics == GraphicsSetting::Auto && pixels_possible && answers.kitty)) {
        mode.output = PictureOutput::Kitty;
    } else if (graphics == GraphicsSetting::Sixels ||
               (graphics == GraphicsSetting::Auto && pixels_possible && answers.sixels)) {
        mode.output = PictureOutput::Sixels;
    }
    if (mode.output != PictureOutput::Symbols) mode.colours = PictureColours::TrueColour;
    return mode;
}

std::vector<std::string> PictureRenderer::render(const PictureMode& mode, const PictureView& picture, int32_t cols,
                                                 int32_t rows, int32_t cell_width, int32_t cell_height) const {
    std::vector<std::string> out;
    if (cols <= 0 || rows <= 0 || picture.pixels == nullptr || picture.width <= 0 || picture.height <= 0 ||
        picture.stride < picture.width * (picture.alpha ? 4 : 3)) {
        return out;
    }
    bool pixels = mode.output != PictureOutput::Symbols;
    if (pixels && (cell_width <= 0 || cell_height <= 0)) return out;

    ChafaCanvasConfig* config = chafa_canvas_config_new();
    chafa_canvas_config_set_geometry(config, cols, rows);
    chafa_canvas_config_set_canvas_mode(config, canvas_mode_for(mode.colours));
    chafa_canvas_config_set_optimizations(config, CHAFA_OPTIMIZATION_REUSE_ATTRIBUTES);
    ChafaSymbolMap* symbols = chafa_symbol_map_new();
    chafa_symbol_map_add_by_tags(symbols, symbol_tags(mode.symbols));
    chafa_canvas_config_set_symbol_map(config, symbols);
    if (pixels) {
        chafa_canvas_config_set_pixel_mode(
            config, mode.output == PictureOutput::Kitty ? CHAFA_PIXEL_MODE_KITTY : CHAFA_PIXEL_MODE_SIXELS);
        chafa_canvas_config_set_cell_geometry(config, cell_width, cell_height);
    }

    ChafaCanvas* canvas = chafa_canvas_new(config);
    chafa_canvas_draw_all_pixels(canvas, picture.alpha ? CHAFA_PIXEL_BGRA8_UNASSOCIATED : CHAFA_PIXEL_BGR8,
                                 picture.pixels, picture.width, picture.height, picture.stride);
    ChafaTermInfo* info = info_for(terminal_->info, mode);
    GString* printed = chafa_canvas_print(canvas, info);
    chafa_term_info_unref(info);
    if (pixels) {
        out.emplace_back(printed->str, printed->len);
    } else {
        out = split_rows(printed->str, printed->len, rows);
    }
    g_string_free(printed, TRUE);
    chafa_canvas_unref(canvas);
    chafa_symbol_map_unref(symbols);
    chafa_canvas_config_unref(config);
    return out;
}
