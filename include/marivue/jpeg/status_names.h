// Names and one-line meanings of the decoder's status codes, for messages.
#pragma once

#include "marivue/jpeg/export.h"

#include <cstdint>

namespace marivue::jpeg {

// The enumerator name of a DecodeStatus code ("NotJpeg", "StatusOk", ...),
// or "Unknown" for any other value.
MARIVUE_JPEG_API const char* status_name(int32_t code);

// A one-line meaning of a DecodeStatus code, or "Unknown" for any other value.
MARIVUE_JPEG_API const char* status_description(int32_t code);

}  // namespace marivue::jpeg
