// Text on the terminal's cells.
#include "platform/terminal/terminal_text.h"

#include "platform/terminal/terminal_session.h"

#include <algorithm>
#include <cwchar>

std::string cursor_to(int32_t row, int32_t col) {
    const char* cup = capability("cup");
    if (cup == nullptr) return {};
    const char* moved = tiparm(cup, row, col);
    return moved != nullptr ? std::string(moved) : std::string();
}

std::string erase_cells(int32_t row, int32_t col, int32_t count) {
    const std::string to_start = cursor_to(row, col);
    const char* ech = capability("ech");
    // tiparm reuses one buffer: the erase is taken before anything else is
    // formatted.
    const char* erase = ech != nullptr ? tiparm(ech, count) : nullptr;
    if (erase != nullptr) return to_start + erase;
    return to_start + std::string(static_cast<size_t>(count), ' ') + to_start;
}

std::wstring fit_columns(const std::wstring& text, int32_t width, int32_t* used) {
    std::wstring line;
    int32_t taken = 0;
    for (wchar_t c : text) {
        if (wcwidth(c) < 0) c = L'?';
        const int columns = wcwidth(c);
        if (taken + columns > width) break;
        line += c;
        taken += columns;
    }
    if (used != nullptr) *used = taken;
    return line;
}

std::wstring elide_middle(const std::wstring& text, int32_t width) {
    int32_t whole = 0;
    fit_columns(text, 1 << 30, &whole);
    if (whole <= width) return fit_columns(text, width);
    // The ellipsis where the locale can write it.
    char bytes[MB_LEN_MAX];
    std::mbstate_t state{};
    const std::wstring mark = std::wcrtomb(bytes, L'\u2026', &state) != static_cast<size_t>(-1) ? L"\u2026" : L"..";
    const int32_t room = width - static_cast<int32_t>(mark.size());
    if (room <= 0) return fit_columns(mark, width);
    int32_t head_used = 0;
    const std::wstring head = fit_columns(text, room - room / 2, &head_used);
    // The end: as many of the last characters as fit what is left.
    std::wstring tail;
    int32_t tail_used = 0;
    for (size_t i = text.size(); i-- > 0;) {
        const int columns = std::max(0, wcwidth(text[i]) < 0 ? 1 : wcwidth(text[i]));
        if (head_used + tail_used + columns > room) break;
        tail.insert(tail.begin(), wcwidth(text[i]) < 0 ? L'?' : text[i]);
        tail_used += columns;
    }
    return head + mark + tail;
}

std::vector<std::wstring> message_lines(std::string_view utf8, int32_t width, int32_t max_lines) {
    std::vector<std::wstring> lines;
    if (width <= 0) return lines;
    for (const std::u16string& wrapped : wrap_box_text(utf16_from_utf8(utf8), width)) {
        if (static_cast<int32_t>(lines.size()) >= max_lines) break;
        lines.push_back(fit_columns(to_wide(wrapped), width));
    }
    return lines;
}

void draw_frame(const CellRect& area, attr_t attributes) {
    if (area.rows < 2 || area.cols < 2) return;
    const int32_t bottom = area.row + area.rows - 1, right = area.col + area.cols - 1;
    attron(attributes);
    // The wide forms draw Unicode box lines in a UTF-8 locale and fall back
    // to the terminal's line-drawing set elsewhere.
    mvadd_wch(area.row, area.col, WACS_ULCORNER);
    mvadd_wch(area.row, right, WACS_URCORNER);
    mvadd_wch(bottom, area.col, WACS_LLCORNER);
    mvadd_wch(bottom, right, WACS_LRCORNER);
    mvhline_set(area.row, area.col + 1, WACS_HLINE, area.cols - 2);
    mvhline_set(bottom, area.col + 1, WACS_HLINE, area.cols - 2);
    mvvline_set(area.row + 1, area.col, WACS_VLINE, area.rows - 2);
    mvvline_set(area.row + 1, right, WACS_VLINE, area.rows - 2);
    attroff(attributes);
}
