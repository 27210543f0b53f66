// Shared helpers of the viewer tests: test pictures made with the reference
// encoder, a direct decode for comparison, and allocation counting.
#pragma once

#include "app/frame_loader.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

// A JPEG of `width` x `height` with 1 (grey), 3 (colour) or 4 (CMYK)
// components and a smooth, position-dependent pattern.
std::vector<uint8_t> encode_test_picture(int width, int height, int components, bool progressive = false);

// Rows as our decoder delivers them, up to `max_rows`, and how it stopped:
// the last decode_row result (0 when stopped at max_rows).
struct DirectDecode {
    int32_t open_status = 0;
    int32_t begin_result = 0;
    int32_t last_result = 0;
    int32_t bytes_per_pixel = 0;
    std::vector<std::vector<uint8_t>> rows;
};
DirectDecode decode_directly(const std::vector<uint8_t>& bytes, int max_rows);

// The frame a correct load of `decoded` leaves: its rows converted to blue,
// green, red, zero below.
std::vector<uint8_t> expected_frame(const DirectDecode& decoded);

// Pictures by identifier for an injected lookup.
struct TestCollection {
    std::map<uint16_t, std::vector<uint8_t>> pictures;
    int lookups = 0;
    PictureLookup lookup();
};

// Loader services over `collection` that record diagnostics as formatted lines.
FrameLoaderServices test_loader_services(TestCollection& collection, std::vector<std::string>* diagnostics);

// Counts and, on request, refuses the nothrow allocations of decoder
// records and byte sources made through operator new.
struct AllocationWatch {
    static int decoders_made;
    static int sources_made;
    static bool refuse_decoders;
    static bool refuse_sources;
    AllocationWatch();   // resets everything
    ~AllocationWatch();  // stops refusing
};
