// The decoder against hostile headers and broken byte sources, through its
// public operations only: the caller's memory limit, and sources that break
// their contract at construction, during begin and in the middle of the rows.
#include "jpeg/decoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

Bytes read_fixture(const std::string& name) {
    std::ifstream in(std::string(MARIVUE_HARDENING_FIXTURES) + "/" + name, std::ios::binary);
    Bytes bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_FALSE(bytes.empty()) << name;
    return bytes;
}

// Serves a byte string; from read call `break_on` on (counted from 1) it
// returns `broken_result` without delivering anything or ending.
class BreakingSource : public ByteSource {
public:
    BreakingSource(Bytes data, int32_t chunk, int break_on, int32_t broken_result)
        : data_(std::move(data)), chunk_(chunk), break_on_(break_on), broken_result_(broken_result) {}

    int32_t read(uint8_t* buffer, int32_t max, uint8_t* end_flag) override {
        reads++;
        if (ended) reads_after_end++;
        if (detaches > 0) reads_after_detach++;
        if (break_on_ != 0 && reads >= break_on_) {
            // A result above the room is only reported, never written.
            return broken_result_ == overlong ? max + 1 : broken_result_;
        }
        size_t n = std::min({static_cast<size_t>(max), static_cast<size_t>(chunk_), data_.size() - position_});
        std::memcpy(buffer, data_.data() + position_, n);
        position_ += n;
        if (position_ == data_.size()) {
            *end_flag = 1;
            ended = true;
        }
        return static_cast<int32_t>(n);
    }
    void detach() override { detaches++; }

    static constexpr int32_t overlong = 0x7FFFFFFF;
    int reads = 0;
    int reads_after_end = 0;
    int reads_after_detach = 0;
    int detaches = 0;
    bool ended = false;

private:
    Bytes data_;
    size_t position_ = 0;
    int32_t chunk_;
    int break_on_;
    int32_t broken_result_;
};

struct Decoded {
    int32_t open_status = 0;
    int32_t begin_result = 0;
    int32_t rows = 0;
    int32_t last_result = 0;
    int32_t status = 0;
    Bytes pixels;
};

// Runs every public operation as an owner would, keeping the delivered rows.
Decoded decode_all(ByteSource& source, size_t memory_limit = 0) {
    Decoded out;
    std::unique_ptr<JpegDecoder> d(new JpegDecoder);
    d->memory_limit = memory_limit;
    open_decoder(*d, source);
    out.open_status = d->status;
    out.begin_result = begin(*d);
    const uint8_t* row = nullptr;
    int32_t bytes = 0;
    if (out.begin_result == 0) {
        while ((out.last_result = decode_row(*d, &row, &bytes)) == 0) {
            out.rows++;
            out.pixels.insert(out.pixels.end(), row, row + bytes);
        }
    }
    out.status = d->status;
    free_pool(*d);
    return out;
}

Decoded decode_bytes(const Bytes& bytes, size_t memory_limit = 0) {
    BreakingSource source(bytes, 1 << 30, 0, 0);
    return decode_all(source, memory_limit);
}

// The most pool memory a complete decode of `bytes` holds at once.
size_t pool_bytes_needed(const Bytes& bytes) {
    BreakingSource source(bytes, 1 << 30, 0, 0);
    std::unique_ptr<JpegDecoder> d(new JpegDecoder);
    open_decoder(*d, source);
    EXPECT_EQ(begin(*d), 0);
    const uint8_t* row = nullptr;
    int32_t n = 0;
    while (decode_row(*d, &row, &n) == 0) {
    }
    EXPECT_EQ(d->status, 0);
    size_t used = d->pool_bytes;
    free_pool(*d);
    return used;
}

// SOI, one quantisation table, a progressive 8192 x 8192 grey frame header
// with sampling factors 15 x 15, EOI: 86 bytes that ask for grids of
// 15360 x 15360 blocks.
Bytes hostile_progressive_header() {
    Bytes b = {0xFF, 0xD8, 0xFF, 0xDB, 0x00, 0x43, 0x00};
    for (int i = 0; i < 64; i++) b.push_back(1);
    const uint8_t sof[] = {0xFF, 0xC2, 0x00, 0x0B, 0x08, 0x20, 0x00, 0x20, 0x00, 0x01, 0x01, 0xFF, 0x00};
    b.insert(b.end(), std::begin(sof), std::end(sof));
    b.push_back(0xFF);
    b.push_back(0xD9);
    return b;
}

TEST(MemoryLimit, NewRecordHasNoLimitAndConstructionKeepsTheCallersLimit) {
    std::unique_ptr<JpegDecoder> fresh(new JpegDecoder);
    EXPECT_EQ(fresh->memory_limit, 0u);

    BreakingSource source(read_fixture("prog_2x2.jpg"), 1 << 30, 0, 0);
    std::unique_ptr<JpegDecoder> d(new JpegDecoder);
    // Construction clears everything else in the record, even garbage.
    std::memset(static_cast<void*>(d.get()), 0xA5, sizeof *d);
    d->memory_limit = 123456;
    open_decoder(*d, source);
    EXPECT_EQ(d->status, 0);
    EXPECT_EQ(d->memory_limit, 123456u);
    EXPECT_GT(d->pool_bytes, 0u);  // the tables read so far
    EXPECT_LE(d->pool_bytes, 123456u);
    free_pool(*d);
    EXPECT_EQ(d->pool_bytes, 0u);
    EXPECT_EQ(d->memory_limit, 123456u);
}

TEST(MemoryLimit, HostileProgressiveHeaderFailsWithOutOfMemoryInsteadOfAskingForGigabytes) {
    Bytes stream = hostile_progressive_header();
    BreakingSource source(stream, 1 << 30, 0, 0);
    std::unique_ptr<JpegDecoder> d(new JpegDecoder);
    d->memory_limit = size_t{64} << 20;
    open_decoder(*d, source);
    ASSERT_EQ(d->status, 0);
    EXPECT_EQ(d->image_width, 8192);
    EXPECT_EQ(begin(*d), -1);
    EXPECT_EQ(d->status, OutOfMemory);
    EXPECT_EQ(source.detaches, 1);
    EXPECT_EQ(d->source, nullptr);
    for (void* block : d->pool_blocks) EXPECT_EQ(block, nullptr);
    const uint8_t* row = nullptr;
    int32_t n = 0;
    EXPECT_EQ(decode_row(*d, &row, &n), -1);
    free_pool(*d);
}

TEST(MemoryLimit, ExactlyEnoughDecodesLikeNoLimitAndOneByteLessFails) {
    for (const char* name : {"prog_2x2.jpg", "rst_2x1.jpg", "grey_prog.jpg"}) {
        SCOPED_TRACE(name);
        Bytes stream = read_fixture(name);
        size_t needed = pool_bytes_needed(stream);
        ASSERT_GT(needed, 0u);

        Decoded free_run = decode_bytes(stream, 0);
        ASSERT_EQ(free_run.status, 0);
        ASSERT_EQ(free_run.last_result, 1);
        Decoded exact = decode_bytes(stream, needed);
        EXPECT_EQ(exact.status, 0);
        EXPECT_EQ(exact.last_result, 1);
        EXPECT_EQ(exact.pixels, free_run.pixels);

        Decoded short_run = decode_bytes(stream, needed - 1);
        EXPECT_EQ(short_run.status, OutOfMemory);
        EXPECT_TRUE(short_run.open_status == OutOfMemory || short_run.begin_result == -1);
    }
}

TEST(MemoryLimit, LimitBelowTheFirstTableFailsConstruction) {
    Decoded run = decode_bytes(read_fixture("rst_2x1.jpg"), 16);
    EXPECT_EQ(run.open_status, OutOfMemory);
    EXPECT_EQ(run.begin_result, -1);
}

// A source that returns 0 forever without ending: the decoder gives up with
// StreamError after 64 such reads instead of spinning.
TEST(BrokenSource, ZeroForeverFailsAtConstruction) {
    BreakingSource source(read_fixture("rst_2x1.jpg"), 1 << 30, 1, 0);
    Decoded run = decode_all(source);
    EXPECT_EQ(run.open_status, StreamError);
    EXPECT_EQ(source.reads, 64);
    EXPECT_EQ(source.detaches, 1);
    EXPECT_EQ(source.reads_after_detach, 0);
}

TEST(BrokenSource, ZeroForeverInTheMiddleOfTheRowsEndsTheRows) {
    // 16-byte reads: the first 4096-byte fill takes 256 reads and holds the
    // headers and the first rows of this 5.4 KB picture; the next fill stalls.
    BreakingSource source(read_fixture("noise_2x1_64x64.jpg"), 16, 4096 / 16 + 1, 0);
    Decoded run = decode_all(source);
    EXPECT_EQ(run.open_status, 0);
    EXPECT_EQ(run.begin_result, 0);
    EXPECT_GT(run.rows, 0);
    EXPECT_LT(run.rows, 64);
    EXPECT_EQ(run.last_result, DecodeError);
    EXPECT_EQ(run.status, StreamError);
    EXPECT_EQ(source.reads, 4096 / 16 + 64);
    EXPECT_EQ(source.detaches, 1);
    EXPECT_EQ(source.reads_after_detach, 0);
}

TEST(BrokenSource, TooManyBytesAndBelowMinusOneAreStreamErrors) {
    for (int32_t result : {BreakingSource::overlong, int32_t{-2}, int32_t{-1000}}) {
        SCOPED_TRACE(result);
        BreakingSource first(read_fixture("prog_2x2.jpg"), 1 << 30, 1, result);
        Decoded run = decode_all(first);
        EXPECT_EQ(run.open_status, StreamError);
        EXPECT_EQ(first.reads, 1);
        EXPECT_EQ(first.detaches, 1);

        // Breaking with the second fill, after the frame header: a
        // progressive frame reads all its scans in begin, so begin fails.
        BreakingSource later(read_fixture("noise_prog_64x64.jpg"), 1, 4097, result);
        Decoded run2 = decode_all(later);
        EXPECT_EQ(run2.open_status, 0);
        EXPECT_EQ(run2.begin_result, -1);
        EXPECT_EQ(run2.status, StreamError);
        EXPECT_EQ(later.reads, 4097);
        EXPECT_EQ(later.detaches, 1);
        EXPECT_EQ(later.reads_after_detach, 0);
    }
}

TEST(BrokenSource, RowsBeforeTheBreachAreDeliveredThenTheCallFails) {
    Bytes stream = read_fixture("noise_2x1_64x64.jpg");
    ASSERT_GT(stream.size(), 4096u);
    Decoded whole = decode_bytes(stream);
    ASSERT_EQ(whole.status, 0);
    ASSERT_EQ(whole.rows, 64);
    for (int32_t result : {BreakingSource::overlong, int32_t{-2}}) {
        SCOPED_TRACE(result);
        // One byte per read: the breach comes with the second fill.
        BreakingSource source(stream, 1, 4097, result);
        Decoded run = decode_all(source);
        EXPECT_EQ(run.open_status, 0);
        EXPECT_EQ(run.begin_result, 0);
        EXPECT_GT(run.rows, 0);
        EXPECT_LT(run.rows, 64);
        EXPECT_EQ(run.last_result, DecodeError);
        EXPECT_EQ(run.status, StreamError);
        EXPECT_EQ(source.reads, 4097);
        EXPECT_EQ(source.detaches, 1);
        EXPECT_EQ(source.reads_after_detach, 0);
        // What came before the breach is the picture's own rows.
        ASSERT_LE(run.pixels.size(), whole.pixels.size());
        EXPECT_TRUE(std::equal(run.pixels.begin(), run.pixels.end(), whole.pixels.begin()));
    }
}

TEST(BrokenSource, SixtyThreeStallsInARowAreTolerated) {
    // Stalling reads interleaved with data: never 64 zero reads in a row.
    class Stalling : public ByteSource {
    public:
        explicit Stalling(Bytes data) : data_(std::move(data)) {}
        int32_t read(uint8_t* buffer, int32_t max, uint8_t* end_flag) override {
            if (stalls_ < 63) {
                stalls_++;
                return 0;
            }
            stalls_ = 0;
            size_t n = std::min(static_cast<size_t>(max), std::min<size_t>(7, data_.size() - position_));
            std::memcpy(buffer, data_.data() + position_, n);
            position_ += n;
            if (position_ == data_.size()) *end_flag = 1;
            return static_cast<int32_t>(n);
        }

    private:
        Bytes data_;
        size_t position_ = 0;
        int stalls_ = 0;
    };
    Bytes stream = read_fixture("prog_2x2.jpg");
    Stalling source(stream);
    Decoded run = decode_all(source);
    Decoded plain = decode_bytes(stream);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.last_result, 1);
    EXPECT_EQ(run.pixels, plain.pixels);
}

}  // namespace
