// The frame loader caps its decoder's memory. A few bytes of progressive
// grey header with 15 x 15 sampling factors would otherwise make it ask
// for about 900 MB before refusing the picture as grey.
#include "app/frame_loader.h"
#include "jpeg/internal.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

// This program's system allocator, in place of the library's: it records
// the largest request.
namespace {
size_t largest_request = 0;
}  // namespace

namespace marivue::jpeg::detail {

void* system_alloc(size_t size) {
    largest_request = std::max(largest_request, size);
    return std::calloc(1, size);
}

void system_free(void* block) { std::free(block); }

}  // namespace marivue::jpeg::detail

namespace {

TEST(FrameLoaderMemory, HostileProgressiveHeaderIsRefusedWithinTheLimit) {
    std::ifstream in(std::string(MARIVUE_REGRESSIONS) + "/frame_loader/grey_prog_15x15_240x8192-loaded0",
                     std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_FALSE(bytes.empty());
    std::vector<uint8_t> frame(frame_bytes, 0x5A);
    FrameLoaderServices services;
    services.find_picture = [&](uint16_t, const uint8_t** data, uint32_t* size) {
        *data = bytes.data();
        *size = static_cast<uint32_t>(bytes.size());
        return true;
    };
    services.diagnostic = [](const char*, int32_t) {};
    largest_request = 0;
    EXPECT_FALSE(load_frame(2000, FrameBuffer{frame.data()}, services));
    EXPECT_GT(largest_request, 0u);  // the hook saw the decoder's requests
    EXPECT_LE(largest_request, frame_loader_memory_limit);
    EXPECT_TRUE(std::all_of(frame.begin(), frame.end(), [](uint8_t b) { return b == 0x5A; }));
}

}  // namespace
