// The photo view's search: names compared without regard to case.
#pragma once

#include <string>
#include <string_view>

// `c` in lower case where it is a capital of the Latin, Greek or Cyrillic
// alphabets (final sigma as sigma, long s as s); anything else as it is.
char32_t fold_case(char32_t c);

// Every character of `text` folded.
std::u32string fold_case(std::u32string_view text);

// Does folded `name` contain folded `needle`? An empty needle is in every name.
bool name_matches(std::u32string_view folded_name, std::u32string_view folded_needle);
