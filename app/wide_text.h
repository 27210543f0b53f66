// Text helpers over zero-terminated UTF-16 strings in fixed buffers, shared
// by the viewer's dialog and its caption filter.
#pragma once

#include "platform/utf8.h"

#include <cstdint>

int32_t wide_length(const char16_t* text);
// Appends `tail` to `text` (a buffer of `capacity` units), cutting what does
// not fit; the result is always terminated.
void wide_append(char16_t* text, int32_t capacity, const char16_t* tail);
// Case-sensitive: does `needle` occur anywhere in `text`? An empty needle does.
bool wide_contains(const char16_t* text, const char16_t* needle);
