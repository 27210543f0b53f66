// What jpeg-decode tells of a picture's ICC colour profile: the profile's
// own description, and the name a PNG file's iCCP chunk gives it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace jpeg_decode {

// The profile's description (its 'desc' tag, of type 'desc' or 'mluc') as
// UTF-8 with control characters left out; empty when it has none that can
// be read.
std::string icc_description(const std::vector<uint8_t>& profile);

// A PNG iCCP profile name: the description in Latin-1 (other characters as
// '?'), spaces never leading, trailing or doubled, at most 79 bytes; "ICC
// profile" when nothing is left of it.
std::string png_profile_name(const std::string& description);

}  // namespace jpeg_decode
