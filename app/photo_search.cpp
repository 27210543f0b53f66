#include "app/photo_search.h"

char32_t fold_case(char32_t c) {
    if (c < 0x80) return c >= 'A' && c <= 'Z' ? c + 32 : c;
    // Latin-1: À to Þ but the multiplication sign.
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 32;
    // Latin Extended-A pairs capitals and small letters: even-odd from
    // U+0100, odd-even from U+0139 and from U+0179, with a few loners.
    if (c == 0x130) return U'i';
    if (c == 0x178) return 0xFF;
    if (c == 0x17F) return U's';
    if ((c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177)) return c | 1;
    if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) return c % 2 == 1 ? c + 1 : c;
    // Greek capitals (none at U+03A2), and final sigma.
    if (c >= 0x391 && c <= 0x3A9 && c != 0x3A2) return c + 32;
    if (c == 0x3C2) return 0x3C3;
    // Cyrillic: Ѐ to Џ, А to Я.
    if (c >= 0x400 && c <= 0x40F) return c + 80;
    if (c >= 0x410 && c <= 0x42F) return c + 32;
    return c;
}

std::u32string fold_case(std::u32string_view text) {
    std::u32string folded(text);
    for (char32_t& c : folded) c = fold_case(c);
    return folded;
}

bool name_matches(std::u32string_view folded_name, std::u32string_view folded_needle) {
    return folded_name.find(folded_needle) != std::u32string_view::npos;
}
