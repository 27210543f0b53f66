// Text helpers over zero-terminated UTF-16 strings in fixed buffers, shared
// by the viewer's dialog and its caption filter.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

int32_t wide_length(const char16_t* text);
// Appends `tail` to `text` (a buffer of `capacity` units), cutting what does
// not fit; the result is always terminated.
void wide_append(char16_t* text, int32_t capacity, const char16_t* tail);
// Case-sensitive: does `needle` occur anywhere in `text`? An empty needle does.
bool wide_contains(const char16_t* text, const char16_t* needle);

// UTF-8 (as file names come) as UTF-16; each byte that does not start or
// continue a valid sequence becomes U+FFFD.
std::u16string utf16_from_utf8(std::string_view text);
std::u32string utf32_from_utf8(std::string_view text);
// Code points as UTF-8; a value that is no character becomes U+FFFD.
std::string utf8_from_utf32(std::u32string_view text);
