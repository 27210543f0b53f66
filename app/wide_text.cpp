// Zero-terminated UTF-16 text in fixed buffers, as the viewer keeps it.
#include "app/wide_text.h"

int32_t wide_length(const char16_t* text) {
    int32_t n = 0;
    while (text[n] != 0) ++n;
    return n;
}

void wide_append(char16_t* text, int32_t capacity, const char16_t* tail) {
    int32_t n = wide_length(text);
    while (*tail != 0 && n + 1 < capacity) text[n++] = *tail++;
    text[n] = 0;
}

bool wide_contains(const char16_t* text, const char16_t* needle) {
    if (needle[0] == 0) return true;
    for (const char16_t* start = text; *start != 0; ++start) {
        const char16_t* a = start;
        const char16_t* b = needle;
        while (*a != 0 && *a == *b) {
            ++a;
            ++b;
        }
        if (*b == 0) return true;
        if (*a == 0) return false;  // the rest of the text is shorter than the needle
    }
    return false;
}
