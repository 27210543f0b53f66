// Terminal output read back as cells: the SGR colour sequences a terminal
// carries from cell to cell, and the symbols that draw the picture.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace terminal_test {

// A cell as a terminal shows it: colours 0xRRGGBB, a palette index, or -1
// (reverse video already applied).
struct Cell {
    char32_t symbol;
    int64_t fg, bg;
    bool inverse;
};

// SGR state, carried from row to row as a terminal carries it; `unexpected`
// counts sequences and attributes other than colours.
struct SgrState {
    int64_t fg = -1, bg = -1;
    bool inverse = false;
    int unexpected = 0;
};

inline std::vector<Cell> parse_row(const std::string& row, SgrState& s) {
    std::vector<Cell> cells;
    for (size_t i = 0; i < row.size();) {
        const auto c = static_cast<unsigned char>(row[i]);
        if (c == 0x1B) {
            size_t end = i + 2;
            while (end < row.size() && (row[end] < 0x40 || row[end] > 0x7E)) ++end;
            std::vector<int64_t> p{0};
            for (size_t k = i + 2; k < end && k < row.size(); ++k)
                row[k] == ';' ? p.push_back(0) : void(p.back() = p.back() * 10 + row[k] - '0');
            s.unexpected += row[i + 1] != '[' || end >= row.size() || row[end] != 'm';
            for (size_t k = 0; k < p.size(); ++k) {
                const int64_t v = p[k];
                if (v == 0)
                    s = SgrState{-1, -1, false, s.unexpected};
                else if (v == 7 || v == 27)
                    s.inverse = v == 7;
                else if (v == 39 || v == 49)
                    (v == 39 ? s.fg : s.bg) = -1;
                else if ((v == 38 || v == 48) && k + 4 < p.size() && p[k + 1] == 2)
                    (v == 38 ? s.fg : s.bg) = (p[k + 2] << 16) | (p[k + 3] << 8) | p[k + 4], k += 4;
                else if ((v == 38 || v == 48) && k + 2 < p.size() && p[k + 1] == 5)
                    (v == 38 ? s.fg : s.bg) = p[k + 2], k += 2;
                else if ((v >= 30 && v <= 37) || (v >= 90 && v <= 97))
                    s.fg = v >= 90 ? v - 82 : v - 30;
                else if ((v >= 40 && v <= 47) || (v >= 100 && v <= 107))
                    s.bg = v >= 100 ? v - 92 : v - 40;
                else
                    ++s.unexpected;
            }
            i = end + 1;
            continue;
        }
        s.unexpected += c < 0x20;
        const size_t extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
        char32_t symbol = extra == 0 ? c : c & (0x3F >> extra);
        for (size_t k = 1; k <= extra && i + k < row.size(); ++k)
            symbol = (symbol << 6) | (static_cast<unsigned char>(row[i + k]) & 0x3F);
        i += 1 + extra;
        cells.push_back(Cell{symbol, s.inverse ? s.bg : s.fg, s.inverse ? s.fg : s.bg, s.inverse});
    }
    return cells;
}

// The kinds of colour the SGR sequences in `text` set.
struct ColourKinds {
    bool direct = false;  // 38;2;R;G;B and 48;2;R;G;B
    bool palette = false;  // 38;5;N and 48;5;N
    bool bright = false;  // 90-97 and 100-107
    bool basic = false;  // 30-37 and 40-47
};

inline ColourKinds colour_kinds(const std::string& text) {
    ColourKinds kinds;
    for (size_t at = text.find("\033["); at != std::string::npos; at = text.find("\033[", at + 1)) {
        size_t end = at + 2;
        while (end < text.size() && (text[end] < 0x40 || text[end] > 0x7E)) ++end;
        if (end >= text.size() || text[end] != 'm') continue;
        std::vector<int64_t> p{0};
        for (size_t k = at + 2; k < end; ++k)
            text[k] == ';' || text[k] == ':' ? p.push_back(0) : void(p.back() = p.back() * 10 + text[k] - '0');
        for (size_t k = 0; k < p.size(); ++k) {
            if ((p[k] == 38 || p[k] == 48) && k + 1 < p.size()) {
                (p[k + 1] == 2 ? kinds.direct : kinds.palette) = true;
                k += p[k + 1] == 2 ? 4 : 2;
            } else {
                kinds.bright = kinds.bright || (p[k] >= 90 && p[k] <= 97) || (p[k] >= 100 && p[k] <= 107);
                kinds.basic = kinds.basic || (p[k] >= 30 && p[k] <= 37) || (p[k] >= 40 && p[k] <= 47);
            }
        }
    }
    return kinds;
}

inline bool is_picture_symbol(char32_t c) { return (c >= 0x2580 && c <= 0x259F) || (c >= 0x1FB00 && c <= 0x1FB3B); }

}  // namespace terminal_test
