// The ready-made byte sources and the status names.

#include "tests/support/fixtures.h"

#include "jpeg/byte_sources.h"
#include "jpeg/status_names.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace {

// Reads a source to its end the way the decoder does, checking the contract
// on every call: a byte, the end flag, or an error; nothing after the end.
std::vector<uint8_t> drain(ByteSource& source, int32_t max, bool* contract_kept) {
    std::vector<uint8_t> bytes;
    std::vector<uint8_t> buffer(static_cast<size_t>(max));
    uint8_t end = 0;
    *contract_kept = true;
    for (int calls = 0; calls < 100000 && !end; ++calls) {
        const int32_t n = source.read(buffer.data(), max, &end);
        if (n < 0 || n > max || (n == 0 && !end)) {
            *contract_kept = false;
            break;
        }
        bytes.insert(bytes.end(), buffer.begin(), buffer.begin() + n);
    }
    if (!end) {
        *contract_kept = false;
    }
    return bytes;
}

std::vector<uint8_t> sample_bytes(size_t n) {
    std::vector<uint8_t> bytes(n);
    for (size_t i = 0; i < n; ++i) {
        bytes[i] = static_cast<uint8_t>(i * 131 + 7);
    }
    return bytes;
}

TEST(MemoryByteSource, DeliversEverythingAndFlagsTheEndWithTheLastBytes) {
    const std::vector<uint8_t> data = sample_bytes(10000);
    for (int32_t max : {1, 7, 4096, 10000, 20000}) {
        MemoryByteSource source(data.data(), data.size());
        bool kept = false;
        EXPECT_EQ(drain(source, max, &kept), data) << max;
        EXPECT_TRUE(kept) << max;
    }
    MemoryByteSource source(data.data(), data.size());
    std::vector<uint8_t> buffer(10000);
    uint8_t end = 0;
    EXPECT_EQ(source.read(buffer.data(), 9999, &end), 9999);
    EXPECT_EQ(end, 0);
    EXPECT_EQ(source.read(buffer.data(), 9999, &end), 1);
    EXPECT_NE(end, 0) << "the end is flagged with the last byte";
}

// A request for no bytes cannot be met by a delivery: an error before the
// end, the end flag at the end; never 0 without the end flag.
TEST(ByteSources, RequestForNoBytes) {
    const std::vector<uint8_t> data = sample_bytes(5);
    uint8_t buffer[8];
    uint8_t end = 0;
    MemoryByteSource memory(data.data(), data.size());
    EXPECT_EQ(memory.read(buffer, 0, &end), -1);
    EXPECT_EQ(end, 0);
    EXPECT_EQ(memory.read(buffer, 8, &end), 5);
    EXPECT_NE(end, 0);
    end = 0;
    EXPECT_EQ(memory.read(buffer, 0, &end), 0);
    EXPECT_NE(end, 0);

    std::FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    ASSERT_EQ(std::fwrite(data.data(), 1, data.size(), file), data.size());
    std::rewind(file);
    FileByteSource source(file);
    end = 0;
    EXPECT_EQ(source.read(buffer, 0, &end), -1);
    EXPECT_EQ(source.read(buffer, 8, &end), 5);
    EXPECT_NE(end, 0);
    end = 0;
    EXPECT_EQ(source.read(buffer, 0, &end), 0);
    EXPECT_NE(end, 0);
    std::fclose(file);
}

TEST(MemoryByteSource, EmptyFlagsTheEndAtOnce) {
    MemoryByteSource source(nullptr, 0);
    uint8_t buffer[16];
    uint8_t end = 0;
    EXPECT_EQ(source.read(buffer, 16, &end), 0);
    EXPECT_NE(end, 0);
}

TEST(FileByteSource, DeliversEverythingAndFlagsTheEnd) {
    const std::vector<uint8_t> data = sample_bytes(9000);
    for (int32_t max : {1, 100, 4096, 9000, 9001}) {
        std::FILE* file = std::tmpfile();
        ASSERT_NE(file, nullptr);
        ASSERT_EQ(std::fwrite(data.data(), 1, data.size(), file), data.size());
        std::rewind(file);
        FileByteSource source(file);
        bool kept = false;
        EXPECT_EQ(drain(source, max, &kept), data) << max;
        EXPECT_TRUE(kept) << max;
        std::fclose(file);
    }
}

TEST(FileByteSource, EmptyFileFlagsTheEnd) {
    std::FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    FileByteSource source(file);
    uint8_t buffer[8];
    uint8_t end = 0;
    EXPECT_EQ(source.read(buffer, 8, &end), 0);
    EXPECT_NE(end, 0);
    std::fclose(file);
}

// A stream opened for writing only cannot be read: the source reports an
// error, and the decoder turns it into StreamError with the source let go.
TEST(FileByteSource, ReadErrorIsMinusOneAndStreamError) {
    const std::string dir = e2e::make_temp_dir();
    const std::string name = dir + "/write-only";
    std::FILE* file = std::fopen(name.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    {
        FileByteSource source(file);
        uint8_t buffer[8];
        uint8_t end = 0;
        EXPECT_EQ(source.read(buffer, 8, &end), -1);
    }
    std::clearerr(file);
    struct CountingSource : FileByteSource {
        using FileByteSource::FileByteSource;
        void attach() override { ++attached; }
        void detach() override { ++detached; }
        int attached = 0, detached = 0;
    } source(file);
    JpegDecoder* d = new JpegDecoder;
    open_decoder(*d, source);
    EXPECT_EQ(d->status, StreamError);
    EXPECT_EQ(source.attached, 1);
    EXPECT_EQ(source.detached, 1);
    EXPECT_EQ(begin(*d), -1);
    free_pool(*d);
    EXPECT_EQ(source.detached, 1);
    delete d;
    std::fclose(file);
    e2e::remove_tree(dir);
}

// A picture decoded through a file is the one decoded from memory.
TEST(FileByteSource, DecodesLikeMemory) {
    const e2e::Picture picture = e2e::make_picture(150, 70, 3, 1);
    e2e::EncodeOptions o;
    o.sampling = e2e::Sampling::H2V2;
    o.extra_segments = true;
    const std::vector<uint8_t> jpeg = e2e::encode(picture, o);
    std::FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    ASSERT_EQ(std::fwrite(jpeg.data(), 1, jpeg.size(), file), jpeg.size());
    std::rewind(file);
    FileByteSource source(file);
    const e2e::MarivueResult from_file = e2e::marivue_decode(source);
    std::fclose(file);
    const e2e::MarivueResult from_memory = e2e::marivue_decode(jpeg);
    ASSERT_EQ(from_memory.rows, 70) << "status " << from_memory.final_status;
    EXPECT_EQ(from_file.rows, 70);
    EXPECT_TRUE(from_file.picture.samples == from_memory.picture.samples);
}

#define NAMED(code) {code, #code}

TEST(StatusNames, EveryCodeHasItsEnumeratorName) {
    const std::pair<int32_t, const char*> codes[] = {
        NAMED(StatusOk),             NAMED(HuffCountsTooLarge),   NAMED(HuffIndexInvalid),
        NAMED(HuffSegmentLength),    NAMED(QuantSegmentLength),   NAMED(QuantIndexInvalid),
        NAMED(PrecisionNot8),        NAMED(HeightOutOfRange),     NAMED(WidthOutOfRange),
        NAMED(TooManyComponents),    NAMED(FrameHeaderLength),    NAMED(MarkerLength),
        NAMED(RestartHeaderLength),  NAMED(ScanHeaderLength),     NAMED(ScanComponentUnknown),
        NAMED(HuffTableInvalid),     NAMED(ArithmeticNotSupported), NAMED(UnexpectedMarker),
        NAMED(NotJpeg),              NAMED(UnsupportedFrameType), NAMED(QuantSegmentShort),
        NAMED(ScanComponentRepeated), NAMED(PoolFull),            NAMED(QuantTableMissing),
        NAMED(HuffTableMissing),     NAMED(SequentialScanUnsupported), NAMED(UnsupportedComponents),
        NAMED(UnsupportedSampling),  NAMED(DecodeError),          NAMED(RestartMarker),
        NAMED(BufferLimit),          NAMED(SpectralSelection),    NAMED(SuccessiveApprox),
        NAMED(StreamError),          NAMED(OutOfMemory),
    };
    std::set<std::string> descriptions;
    for (const auto& [code, name] : codes) {
        EXPECT_STREQ(status_name(code), name);
        const std::string description = status_description(code);
        EXPECT_NE(description, "Unknown") << name;
        EXPECT_FALSE(description.empty()) << name;
        EXPECT_EQ(description.find('\n'), std::string::npos) << name;
        descriptions.insert(description);
    }
    EXPECT_EQ(descriptions.size(), std::size(codes)) << "two codes share a description";
    EXPECT_STREQ(status_name(-217), "NotJpeg");
}

TEST(StatusNames, UnknownCodes) {
    for (int32_t code : {1, -1, -199, -234, 200, INT32_MIN, INT32_MAX}) {
        EXPECT_STREQ(status_name(code), "Unknown") << code;
        EXPECT_STREQ(status_description(code), "Unknown") << code;
    }
}

}  // namespace
