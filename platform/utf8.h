// UTF-8 text (file names, the photo view's scene) to and from code points,
// and the halves of UTF-16's surrogate pairs, for the viewer and the front
// ends alike.
#pragma once

#include <string>
#include <string_view>

// UTF-8 as UTF-16 or UTF-32; each byte that does not start or continue a
// valid sequence becomes U+FFFD.
std::u16string utf16_from_utf8(std::string_view text);
std::u32string utf32_from_utf8(std::string_view text);
// Code points as UTF-8; a value that is no character becomes U+FFFD.
std::string utf8_from_utf32(std::u32string_view text);

// The halves of a UTF-16 surrogate pair.
constexpr bool is_high_surrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
constexpr bool is_low_surrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }
