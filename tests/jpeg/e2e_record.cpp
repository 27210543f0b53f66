// The record's interface: a record over garbage, a record opened twice, byte
// sources that throw, and the caller's memory limit.
#include "tests/support/fixtures.h"

#include "marivue/jpeg.hpp"
#include "marivue/jpeg/byte_source.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

using namespace marivue::jpeg;

namespace {

using Bytes = std::vector<uint8_t>;

Bytes fixture(const char* name) { return e2e::read_file(std::string(MARIVUE_HARDENING_FIXTURES) + "/" + name); }

// A byte source that throws from the call named by `where` (the n-th read,
// attach or detach), like a program's source whose own reading failed.
struct ThrowingSource : MemoryByteSource {
    ThrowingSource(const Bytes& bytes, int read_, bool attach_ = false, bool detach_ = false)
        : MemoryByteSource(bytes.data(), bytes.size()) {
        throw_on_read = read_, throw_on_attach = attach_, throw_on_detach = detach_;
    }
    int32_t read(uint8_t* buffer, int32_t max, uint8_t* end_flag) override {
        if (++reads == throw_on_read) throw std::runtime_error("the disk went away");
        return MemoryByteSource::read(buffer, max < 64 ? max : 64, end_flag);  // many reads
    }
    void attach() override {
        if (throw_on_attach) throw std::bad_alloc();
    }
    void detach() override {
        ++detaches;
        if (throw_on_detach) throw 42;
    }
    int throw_on_read, reads = 0, detaches = 0;
    bool throw_on_attach, throw_on_detach;
};

// Hazards of the record's interface: a record allocated over garbage is
// inert until it is opened, a record opened twice lets its first stream go,
// and a byte source that throws ends the decode in StreamError with
// everything released (the sanitizer build checks that nothing leaks),
// also through Decoder's constructor.
TEST(RecordInterface, InertRecordsReopeningAndThrowingSources) {
    const Bytes sequential = fixture("noise_2x1_64x64.jpg"), progressive = fixture("noise_prog_64x64.jpg");
    {
        // Garbage where the record goes, as a fresh heap block may hold.
        void* raw = ::operator new(sizeof(JpegDecoder));
        std::memset(raw, 0xA5, sizeof(JpegDecoder));
        JpegDecoder* d = new (raw) JpegDecoder;
        const uint8_t* row = nullptr;
        int32_t bytes = 0;
        free_pool(*d);
        EXPECT_EQ(decode_row(*d, &row, &bytes), -1);
        EXPECT_EQ(begin(*d), -1);
        EXPECT_EQ(d->status, StreamError);
        free_pool(*d);
        // Then opened, it decodes like any other.
        MemoryByteSource source(sequential.data(), sequential.size());
        open_decoder(*d, source);
        EXPECT_EQ(begin(*d), 0);
        EXPECT_EQ(decode_row(*d, &row, &bytes), 0);
        free_pool(*d);
        d->~JpegDecoder();
        ::operator delete(raw);
    }
    for (const Bytes* first : {&sequential, &progressive}) {
        // Opened again in the middle of a picture: the first stream is let go.
        ThrowingSource a(*first, 0), b(sequential, 0);
        std::unique_ptr<JpegDecoder> d(new JpegDecoder);
        open_decoder(*d, a);
        const uint8_t* row = nullptr;
        int32_t bytes = 0;
        ASSERT_EQ(begin(*d), 0);
        ASSERT_EQ(decode_row(*d, &row, &bytes), 0);
        open_decoder(*d, b);
        EXPECT_EQ(a.detaches, 1);
        EXPECT_EQ(b.detaches, 0);
        EXPECT_EQ(e2e::marivue_decode(sequential).picture.samples.size(), 64u * 64 * 3);
        int rows = 0;
        if (begin(*d) == 0)
            while (decode_row(*d, &row, &bytes) == 0) ++rows;
        EXPECT_EQ(rows, 64);
        free_pool(*d);
        EXPECT_EQ(a.detaches, 1);
        EXPECT_EQ(b.detaches, 1);
    }
    struct Row {
        const char* what;
        const Bytes* stream;
        int throw_on_read;
        bool attach, detach;
        int32_t open, begin, status;  // status after open, begin's result, status at the end
        int detaches;
    };
    const Row rows[] = {
        {"first read", &sequential, 1, false, false, StreamError, -1, StreamError, 1},
        {"attach", &sequential, 0, true, false, StreamError, -1, StreamError, 0},
        {"read inside the progressive scans", &progressive, 70, false, false, 0, -1, StreamError, 1},
        {"read among the sequential rows", &sequential, 70, false, false, 0, 0, StreamError, 1},
        {"detach at the end", &sequential, 0, false, true, 0, 0, 0, 1},
        {"detach at a failure", &sequential, 1, false, true, StreamError, -1, StreamError, 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        ASSERT_GT(row.stream->size(), 64u * 70);
        ThrowingSource source(*row.stream, row.throw_on_read, row.attach, row.detach);
        e2e::MarivueResult r;
        EXPECT_NO_THROW(r = e2e::marivue_decode(source));
        EXPECT_EQ(r.open_status, row.open);
        EXPECT_EQ(r.open_status == 0 ? r.begin_result : -1, row.begin);
        EXPECT_EQ(r.final_status, row.status);
        if (row.open == 0 && row.begin == 0 && row.status != 0) {
            EXPECT_GT(r.rows, 0);
            EXPECT_EQ(r.stop_result, -227);
        }
        EXPECT_EQ(source.detaches, row.detaches);
        // Decoder's constructor and rows take the same way out.
        ThrowingSource again(*row.stream, row.throw_on_read, row.attach, row.detach);
        int status = 0;
        EXPECT_NO_THROW({
            Decoder decoder(again);
            std::vector<uint8_t> pixels(64 * 3);
            while (decoder.next_row(pixels) == 0) {
            }
            status = decoder.status();
        });
        EXPECT_EQ(status, row.status);
        EXPECT_EQ(again.detaches, row.detaches);
    }
}

// The most pool memory a decode holds at once is enough as a limit; one
// byte less fails with OutOfMemory. open_decoder keeps the caller's limit.
TEST(MemoryLimit, ExactlyEnoughDecodesAndOneByteLessFails) {
    for (const Bytes& jpeg : {fixture("prog_2x2.jpg"), fixture("rst_2x1.jpg"), fixture("grey_prog.jpg")}) {
        auto run = [&](size_t limit, size_t* used) {
            MemoryByteSource earlier(jpeg.data(), jpeg.size()), source(jpeg.data(), jpeg.size());
            std::unique_ptr<JpegDecoder> d(new JpegDecoder);
            open_decoder(*d, earlier);  // a record that held a stream: reopening clears the rest
            begin(*d);
            d->memory_limit = limit;
            d->settings = {};
            open_decoder(*d, source);
            EXPECT_EQ(d->memory_limit, limit);
            const uint8_t* row = nullptr;
            int32_t bytes = 0, rows = 0;
            if (begin(*d) == 0)
                while (decode_row(*d, &row, &bytes) == 0) ++rows;
            if (used) *used = d->pool_bytes;
            const int32_t status = d->status;
            free_pool(*d);
            return std::pair{status, rows};
        };
        size_t needed = 0;
        ASSERT_EQ(run(0, &needed).first, StatusOk);
        ASSERT_GT(needed, 0u);
        EXPECT_EQ(run(needed, nullptr).first, StatusOk);
        EXPECT_EQ(run(needed - 1, nullptr), (std::pair{int32_t{OutOfMemory}, 0}));
        EXPECT_EQ(run(16, nullptr), (std::pair{int32_t{OutOfMemory}, 0}));
    }
}

}  // namespace
