// A picture's colours from its embedded ICC profile to sRGB, the colours the
// front ends show (and what a picture without a profile is taken to be),
// through Little CMS.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

enum class ProfileUse {
    none,  // the picture has no profile: its colours are sRGB as they are
    converted,  // the pixels were converted from the profile to sRGB
    refused,  // Little CMS cannot use the profile for these pixels: left as they are
};

// Converts `width` x `height` pixels of 4 bytes (blue, green, red, and an
// alpha left as it is), rows `stride` bytes apart, in place from `profile`
// to sRGB (perceptual intent).
// An RGB profile serves any picture; a grey profile only a grey one
// (`grey`: its pixels have equal channels). Safe on any thread: every
// call has a Little CMS context of its own.
ProfileUse convert_to_srgb(const std::vector<uint8_t>& profile, uint8_t* pixels, int32_t width, int32_t height,
                           size_t stride, bool grey);

// The profile's own name for itself (its description tag), for a person to
// read; "unnamed" when it has none, "unreadable" when Little CMS cannot
// read it, empty when there is no profile.
std::string profile_name(const std::vector<uint8_t>& profile);
