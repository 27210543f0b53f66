// Marks the names the decoder library exports. The shared library is built
// with hidden visibility, so only what carries MARIVUE_JPEG_API is visible
// to programs that link it; the static library is unaffected.
#pragma once

#if defined(__GNUC__) || defined(__clang__)
#define MARIVUE_JPEG_API __attribute__((visibility("default")))
#else
#define MARIVUE_JPEG_API
#endif
