// The frame loader and its byte source, over test pictures and the real
// collection.
#include "app/frame_loader.h"
#include "app/resource_byte_source.h"
#include "app/catalog.h"
#include "jpeg/decoder.h"
#include "platform/resource_store.h"
#include "support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

// ---- ResourceByteSource ------------------------------------------------------

TEST(ResourceByteSource, TenBytesInRequestsOfFour) {
    const uint8_t bytes[10] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    ResourceByteSource source(bytes, 10);
    uint8_t buffer[4] = {};
    uint8_t end_flag = 0;

    EXPECT_EQ(source.read(buffer, 4, &end_flag), 4);
    EXPECT_EQ(buffer[0], 1);
    EXPECT_EQ(buffer[3], 4);
    EXPECT_EQ(end_flag, 0);
    EXPECT_EQ(source.read(buffer, 4, &end_flag), 4);
    EXPECT_EQ(buffer[0], 5);
    EXPECT_EQ(end_flag, 0);
    EXPECT_FALSE(source.end_reached);

    // The last two bytes: the source knows it is done, the caller not yet.
    EXPECT_EQ(source.read(buffer, 4, &end_flag), 2);
    EXPECT_EQ(buffer[0], 9);
    EXPECT_EQ(buffer[1], 10);
    EXPECT_TRUE(source.end_reached);
    EXPECT_EQ(source.position, 10);
    EXPECT_EQ(end_flag, 0);

    EXPECT_EQ(source.read(buffer, 4, &end_flag), 0);
    EXPECT_NE(end_flag, 0);
    end_flag = 0;
    EXPECT_EQ(source.read(buffer, 4, &end_flag), 0);
    EXPECT_NE(end_flag, 0);
}

TEST(ResourceByteSource, RequestEqualToTheRemainderEndsTheData) {
    const uint8_t bytes[10] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    ResourceByteSource source(bytes, 10);
    uint8_t buffer[10] = {};
    uint8_t end_flag = 0;
    EXPECT_EQ(source.read(buffer, 6, &end_flag), 6);
    EXPECT_FALSE(source.end_reached);
    EXPECT_EQ(source.read(buffer, 4, &end_flag), 4);
    EXPECT_EQ(buffer[3], 10);
    EXPECT_TRUE(source.end_reached);
    EXPECT_EQ(end_flag, 0);
    EXPECT_EQ(source.read(buffer, 4, &end_flag), 0);
    EXPECT_NE(end_flag, 0);
}

TEST(ResourceByteSource, FailedSourceReportsAnError) {
    const uint8_t bytes[4] = {1, 2, 3, 4};
    ResourceByteSource source(bytes, 4);
    EXPECT_FALSE(source.failed);
    source.failed = 1;
    uint8_t buffer[4];
    uint8_t end_flag = 0;
    EXPECT_EQ(source.read(buffer, 2, &end_flag), -1);
    EXPECT_EQ(end_flag, 0);
    EXPECT_EQ(source.position, 0);
}

TEST(ResourceByteSource, NegativeRequestIsAnErrorNotACopy) {
    const uint8_t bytes[4] = {1, 2, 3, 4};
    ResourceByteSource source(bytes, 4);
    uint8_t buffer[4];
    uint8_t end_flag = 0;
    EXPECT_EQ(source.read(buffer, -1, &end_flag), -1);
    EXPECT_EQ(source.position, 0);
}

// ---- Frame header --------------------------------------------------------------

TEST(FrameBitmapHeader, DescribesATopDown24BitFrame) {
    BitmapInfoHeader h;
    std::memset(&h, 0x5A, sizeof h);
    fill_frame_bitmap_header(&h);
    const uint8_t expected[40] = {40, 0, 0, 0, 240, 0, 0, 0, 0x60, 0xFF, 0xFF, 0xFF, 1, 0, 24, 0,
                                  0,  0, 0, 0, 0,   0, 0, 0, 0,    0,    0,    0,    0, 0, 0,  0,
                                  0,  0, 0, 0, 0,   0, 0, 0};
    EXPECT_EQ(std::memcmp(&h, expected, 40), 0);
    EXPECT_EQ(frame_bytes, 115200);
    EXPECT_EQ(frame_row_bytes, 720);
}

// ---- load_frame ------------------------------------------------------------------

// A frame filled with a marker value, to tell untouched bytes from written ones.
std::vector<uint8_t> marked_frame() { return std::vector<uint8_t>(frame_bytes, 0xA5); }

bool untouched(const std::vector<uint8_t>& frame) {
    return std::all_of(frame.begin(), frame.end(), [](uint8_t b) { return b == 0xA5; });
}

bool rows_zero(const std::vector<uint8_t>& frame, int from_row) {
    return std::all_of(frame.begin() + static_cast<std::ptrdiff_t>(from_row) * frame_row_bytes, frame.end(),
                       [](uint8_t b) { return b == 0; });
}

class LoadFrameHeights : public ::testing::TestWithParam<int> {};

TEST_P(LoadFrameHeights, CopiesRowsAsBlueGreenRedAndClearsBelow) {
    const int height = GetParam();
    TestCollection collection;
    collection.pictures[2100] = encode_test_picture(240, height, 3);
    std::vector<std::string> diagnostics;
    std::vector<uint8_t> frame = marked_frame();
    AllocationWatch watch;

    ASSERT_TRUE(load_frame(2100, FrameBuffer{frame.data()}, test_loader_services(collection, &diagnostics)));
    DirectDecode reference = decode_directly(collection.pictures[2100], frame_height);
    ASSERT_EQ(reference.rows.size(), static_cast<size_t>(std::min(height, frame_height)));
    EXPECT_EQ(frame, expected_frame(reference));
    if (height < frame_height) {
        EXPECT_TRUE(rows_zero(frame, height));
    }
    EXPECT_TRUE(diagnostics.empty());
    EXPECT_EQ(watch.decoders_made, 1);
    EXPECT_EQ(watch.sources_made, 1);
}

INSTANTIATE_TEST_SUITE_P(Heights, LoadFrameHeights, ::testing::Values(120, 160, 250, 1));

TEST(LoadFrame, ProgressivePictureLoadsToo) {
    TestCollection collection;
    collection.pictures[2000] = encode_test_picture(240, 200, 3, true);
    std::vector<std::string> diagnostics;
    std::vector<uint8_t> frame = marked_frame();
    ASSERT_TRUE(load_frame(2000, FrameBuffer{frame.data()}, test_loader_services(collection, &diagnostics)));
    EXPECT_EQ(frame, expected_frame(decode_directly(collection.pictures[2000], frame_height)));
}

TEST(LoadFrame, WrongWidthIsRefusedAndTheFrameKept) {
    TestCollection collection;
    collection.pictures[2000] = encode_test_picture(320, 160, 3);
    collection.pictures[2001] = encode_test_picture(239, 160, 3);
    std::vector<std::string> diagnostics;
    std::vector<uint8_t> frame = marked_frame();
    AllocationWatch watch;
    EXPECT_FALSE(load_frame(2000, FrameBuffer{frame.data()}, test_loader_services(collection, &diagnostics)));
    EXPECT_FALSE(load_frame(2001, FrameBuffer{frame.data()}, test_loader_services(collection, &diagnostics)));
    EXPECT_TRUE(untouched(frame));
    EXPECT_TRUE(diagnostics.empty());
    EXPECT_EQ(watch.decoders_made, 2);  // the header was read: a decoder existed (and was freed)
}

TEST(LoadFrame, GreyPictureIsRefusedAfterBegin) {
    TestCollection collection;
    collection.pictures[2000] = encode_test_picture(240, 160, 1);
    DirectDecode grey = decode_directly(collection.pictures[2000], 1);
    ASSERT_EQ(grey.open_status, 0);
    ASSERT_EQ(grey.begin_result, 0);  // a sound picture: refused for its components only
    std::vector<std::string> diagnostics;
    std::vector<uint8_t> frame = marked_frame();
    EXPECT_FALSE(load_frame(2000, FrameBuffer{frame.data()}, test_loader_services(collection, &diagnostics)));
    EXPECT_TRUE(untouched(frame));
    EXPECT_TRUE(diagnostics.empty());
}

TEST(LoadFrame, PictureTheDecoderCannotBeginIsRefusedQuietly) {
    TestCollection collection;
    collection.pictures[2000] = encode_test_picture(240, 64, 4);  // four components
    DirectDecode cmyk = decode_directly(collection.pictures[2000], 1);
    ASSERT_EQ(cmyk.open_status, 0);
    ASSERT_NE(cmyk.begin_result, 0);
    std::vector<std::string> diagnostics;
    std::vector<uint8_t> frame = marked_frame();
    EXPECT_FALSE(load_frame(2000, FrameBuffer{frame.data()}, test_loader_services(collection, &diagnostics)));
    EXPECT_TRUE(untouched(frame));
    EXPECT_TRUE(diagnostics.empty());
}

TEST(LoadFrame, MissingPictureCreatesNoDecoder) {
    TestCollection collection;
    collection.pictures[2303] = encode_test_picture(240, 160, 3);
    collection.pictures[2200] = {};  // present but empty
    std::vector<std::string> diagnostics;
    std::vector<uint8_t> frame = marked_frame();
    AllocationWatch watch;
    EXPECT_FALSE(load_frame(2304, FrameBuffer{frame.data()}, test_loader_services(collection, &diagnostics)));
    EXPECT_FALSE(load_frame(2200, FrameBuffer{frame.data()}, test_loader_services(collection, &diagnostics)));
    EXPECT_EQ(collection.lookups, 2);
    EXPECT_EQ(watch.decoders_made, 0);
    EXPECT_EQ(watch.sources_made, 0);
    EXPECT_TRUE(untouched(frame));
    EXPECT_TRUE(diagnostics.empty());
}

TEST(LoadFrame, StreamWithoutStartOfImageGivesTheDiagnostic) {
    TestCollection collection;
    std::vector<uint8_t> junk(2000);
    for (size_t i = 0; i < junk.size(); ++i) junk[i] = static_cast<uint8_t>(i * 7 + 1);
    for (size_t i = 0; i + 1 < junk.size(); ++i)
        if (junk[i] == 0xFF && junk[i + 1] == 0xD8) junk[i + 1] = 0;
    collection.pictures[2000] = junk;
    std::vector<std::string> diagnostics;
    std::vector<uint8_t> frame = marked_frame();
    EXPECT_FALSE(load_frame(2000, FrameBuffer{frame.data()}, test_loader_services(collection, &diagnostics)));
    ASSERT_EQ(diagnostics.size(), 1u);
    EXPECT_EQ(diagnostics[0], "Error: Decoder failed! Error status: -217\n");
    EXPECT_TRUE(untouched(frame));
}

// Overwrites scan data in the middle of `picture` until our decoder meets a
// decoding error part-way down; returns the damaged copy (empty if none found).
std::vector<uint8_t> damage_mid_picture(const std::vector<uint8_t>& picture, DirectDecode* decoded) {
    // The scan starts after the SOS segment; damage well inside it.
    size_t sos = 0;
    for (size_t i = 2; i + 3 < picture.size(); ++i)
        if (picture[i] == 0xFF && picture[i + 1] == 0xDA) {
            sos = i;
            break;
        }
    if (sos == 0) return {};
    size_t scan = sos + 2 + (static_cast<size_t>(picture[sos + 2]) << 8 | picture[sos + 3]);
    for (size_t at = scan + (picture.size() - scan) / 3; at + 64 < picture.size() - 2; at += 37) {
        for (uint8_t fill : {uint8_t{0xFE}, uint8_t{0xF7}, uint8_t{0x7F}}) {
            std::vector<uint8_t> damaged = picture;
            std::fill(damaged.begin() + static_cast<std::ptrdiff_t>(at),
                      damaged.begin() + static_cast<std::ptrdiff_t>(at + 48), fill);
            *decoded = decode_directly(damaged, frame_height);
            if (decoded->last_result == DecodeError && decoded->rows.size() > 16 && decoded->rows.size() < 150)
                return damaged;
        }
    }
    return {};
}

TEST(LoadFrame, DecodingErrorKeepsTheRowsSoFarAndClearsTheRest) {
    std::vector<uint8_t> picture = encode_test_picture(240, 160, 3);
    DirectDecode decoded;
    std::vector<uint8_t> damaged = damage_mid_picture(picture, &decoded);
    ASSERT_FALSE(damaged.empty()) << "no damage found that the decoder reports mid-picture";

    TestCollection collection;
    collection.pictures[2000] = damaged;
    std::vector<std::string> diagnostics;
    std::vector<uint8_t> frame = marked_frame();
    EXPECT_TRUE(load_frame(2000, FrameBuffer{frame.data()}, test_loader_services(collection, &diagnostics)));
    EXPECT_EQ(frame, expected_frame(decoded));
    EXPECT_TRUE(rows_zero(frame, static_cast<int>(decoded.rows.size())));
    EXPECT_TRUE(diagnostics.empty());
}

TEST(LoadFrame, AllocationFailureRefusesWithoutTouchingTheFrame) {
    TestCollection collection;
    collection.pictures[2000] = encode_test_picture(240, 160, 3);
    std::vector<std::string> diagnostics;
    std::vector<uint8_t> frame = marked_frame();
    {
        AllocationWatch watch;
        watch.refuse_decoders = true;
        EXPECT_FALSE(load_frame(2000, FrameBuffer{frame.data()}, test_loader_services(collection, &diagnostics)));
        EXPECT_EQ(watch.sources_made, 1);  // made, then released (the leak checker would say otherwise)
    }
    {
        AllocationWatch watch;
        watch.refuse_sources = true;
        EXPECT_FALSE(load_frame(2000, FrameBuffer{frame.data()}, test_loader_services(collection, &diagnostics)));
        EXPECT_EQ(watch.decoders_made, 0);
    }
    EXPECT_TRUE(untouched(frame));
    EXPECT_TRUE(diagnostics.empty());
}

// ---- The stored collection -------------------------------------------------------

FrameLoaderServices store_services(std::vector<std::string>* diagnostics) {
    FrameLoaderServices s;
    s.find_picture = [](uint16_t id, const uint8_t** data, uint32_t* size) {
        ResourceBytes bytes{nullptr, 0};
        if (!find_resource(resource_type_raw_data, id, &bytes)) return false;
        *data = bytes.data;
        *size = bytes.size;
        return true;
    };
    s.diagnostic = [diagnostics](const char*, int32_t value) { diagnostics->push_back(std::to_string(value)); };
    return s;
}

std::vector<uint8_t> stored_picture(uint16_t id) {
    ResourceBytes bytes{nullptr, 0};
    if (!find_resource(resource_type_raw_data, id, &bytes)) return {};
    return std::vector<uint8_t>(bytes.data, bytes.data + bytes.size);
}

TEST(LoadFrameCollection, ShortestExactAndTallestPictures) {
    struct Case {
        uint16_t id;
        int height;
    };
    for (Case c : {Case{2054, 120}, Case{2000, 160}, Case{2273, 250}}) {
        SCOPED_TRACE(c.id);
        std::vector<uint8_t> bytes = stored_picture(c.id);
        ASSERT_FALSE(bytes.empty());
        std::vector<std::string> diagnostics;
        std::vector<uint8_t> frame = marked_frame();
        ASSERT_TRUE(load_frame(c.id, FrameBuffer{frame.data()}, store_services(&diagnostics)));
        DirectDecode reference = decode_directly(bytes, frame_height);
        EXPECT_EQ(reference.rows.size(), static_cast<size_t>(std::min(c.height, frame_height)));
        EXPECT_EQ(frame, expected_frame(reference));
        if (c.height < frame_height) {
            EXPECT_TRUE(rows_zero(frame, c.height));
            EXPECT_FALSE(rows_zero(frame, c.height - 1));
        }
        EXPECT_TRUE(diagnostics.empty());
    }
}

TEST(LoadFrameCollection, OnePastTheLastPictureIsAbsent) {
    std::vector<std::string> diagnostics;
    std::vector<uint8_t> frame = marked_frame();
    AllocationWatch watch;
    EXPECT_FALSE(load_frame(last_picture_id + 1, FrameBuffer{frame.data()}, store_services(&diagnostics)));
    EXPECT_EQ(watch.decoders_made, 0);
    EXPECT_TRUE(untouched(frame));
}

}  // namespace
