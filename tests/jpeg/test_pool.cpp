// The memory pool, the error exit and the public lifecycle.
#include "alloc_hook.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace jt;

namespace {

class Pool : public ::testing::Test {
protected:
    void SetUp() override { alloc_hook::reset(); }
    void TearDown() override {
        EXPECT_EQ(alloc_hook::live(), 0) << "blocks left after the test";
        alloc_hook::reset();
    }
};

bool pool_empty(const JpegDecoder& d) {
    for (void* p : d.pool_blocks)
        if (p != nullptr) return false;
    return true;
}

int used_slots(const JpegDecoder& d) {
    int n = 0;
    for (void* p : d.pool_blocks) n += p != nullptr;
    return n;
}

Bytes colour_picture(int width = 32, int height = 32) {
    DcPicture pic;
    pic.width = width;
    pic.height = height;
    pic.comps = ycc(2, 2);
    pic.dc = [](int c, int bx, int by) { return (c * 7 + bx * 3 + by) % 20 - 10; };
    return pic.encode();
}

}  // namespace

TEST_F(Pool, BlocksAreZeroedAlignedAndTakeTheFirstFreeSlot) {
    Harness h;
    JpegDecoder& d = h.dec();
    auto* a = static_cast<uint8_t*>(pool_alloc(d, 100));
    EXPECT_EQ(alloc_hook::last_size(), 108u);
    auto* b = static_cast<uint8_t*>(pool_alloc(d, 1));
    EXPECT_EQ(alloc_hook::last_size(), 9u);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(a) % 8, 0u);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(b) % 8, 0u);
    for (int i = 0; i < 100; ++i) EXPECT_EQ(a[i], 0);
    std::memset(a, 0xAB, 100);
    EXPECT_NE(d.pool_blocks[0], nullptr);
    EXPECT_NE(d.pool_blocks[1], nullptr);
    EXPECT_EQ(d.pool_blocks[2], nullptr);
    EXPECT_EQ(used_slots(d), 2);
}

TEST_F(Pool, MisalignedSystemBlockIsRoundedUp) {
    alloc_hook::misalign(true);
    Harness h;
    JpegDecoder& d = h.dec();
    auto* a = static_cast<uint8_t*>(pool_alloc(d, 64));
    auto* raw = static_cast<uint8_t*>(d.pool_blocks[0]);
    ASSERT_NE(raw, nullptr);
    ASSERT_EQ(reinterpret_cast<uintptr_t>(raw) % 8, 4u);
    EXPECT_EQ(a, raw + 4);
    for (int i = 0; i < 64; ++i) EXPECT_EQ(a[i], 0);
    std::memset(a, 0x5C, 64);
    free_pool(d);
    EXPECT_EQ(alloc_hook::live(), 0);
}

TEST_F(Pool, HundredFirstRequestIsPoolFull) {
    Harness h(Bytes{0xFF, 0xD8});
    ASSERT_EQ(h.init(), 0);
    JpegDecoder& d = h.dec();
    for (int i = 0; i < pool_slot_count; ++i) ASSERT_EQ(stage(d, [&] { pool_alloc(d, 16); }), 0);
    EXPECT_EQ(used_slots(d), 100);
    long attempts = alloc_hook::attempts();
    EXPECT_EQ(stage(d, [&] { pool_alloc(d, 16); }), PoolFull);
    // The slots are checked before the system allocator is asked.
    EXPECT_EQ(alloc_hook::attempts(), attempts);
    EXPECT_TRUE(pool_empty(d));
    EXPECT_EQ(alloc_hook::live(), 0);
    EXPECT_EQ(d.source, nullptr);
    EXPECT_EQ(h.src->detaches, 1);
}

TEST_F(Pool, PoolFullWinsOverARefusingAllocator) {
    Harness h;
    JpegDecoder& d = h.dec();
    for (int i = 0; i < pool_slot_count; ++i) ASSERT_EQ(stage(d, [&] { pool_alloc(d, 8); }), 0);
    alloc_hook::fail_all(true);
    EXPECT_EQ(stage(d, [&] { pool_alloc(d, 8); }), PoolFull);
    alloc_hook::fail_all(false);
}

TEST_F(Pool, RefusedAllocationIsOutOfMemory) {
    Harness h(Bytes{0xFF, 0xD8});
    ASSERT_EQ(h.init(), 0);
    JpegDecoder& d = h.dec();
    ASSERT_EQ(stage(d, [&] { pool_alloc(d, 32); }), 0);
    alloc_hook::fail_at(1);
    EXPECT_EQ(stage(d, [&] { pool_alloc(d, 32); }), OutOfMemory);
    EXPECT_TRUE(pool_empty(d));
    EXPECT_EQ(alloc_hook::live(), 0);
    EXPECT_EQ(h.src->detaches, 1);
    EXPECT_EQ(begin(d), -1);
    const uint8_t* row = nullptr;
    int32_t bytes = 0;
    EXPECT_EQ(decode_row(d, &row, &bytes), -1);
    free_pool(d);
    free_pool(d);
    EXPECT_EQ(h.src->detaches, 1);
}

TEST_F(Pool, FailStoresTheCodeAndLeaves) {
    Harness h(Bytes{0xFF, 0xD8});
    ASSERT_EQ(h.init(), 0);
    JpegDecoder& d = h.dec();
    pool_alloc(d, 10);
    bool after = false;
    EXPECT_EQ(stage(d, [&] {
                  fail(d, BufferLimit);
                  after = true;
              }),
              BufferLimit);
    EXPECT_FALSE(after);
    EXPECT_TRUE(pool_empty(d));
    EXPECT_EQ(h.src->detaches, 1);
}

TEST_F(Pool, RefusedAllocationDuringConstruction) {
    Stream s;
    s.soi().dqt_flat(0, 1).sof(0xC0, 8, 8, grey());
    Harness h(s.bytes);
    alloc_hook::fail_at(1);
    EXPECT_EQ(h.open(), OutOfMemory);
    EXPECT_EQ(h.dec().source, nullptr);
    EXPECT_EQ(h.src->detaches, 1);
    EXPECT_TRUE(pool_empty(h.dec()));
    EXPECT_EQ(begin(h.dec()), -1);
    const uint8_t* row = nullptr;
    int32_t bytes = 0;
    EXPECT_EQ(decode_row(h.dec(), &row, &bytes), -1);
}

TEST_F(Pool, EveryRefusedAllocationOfADecodeIsReported) {
    Bytes data = colour_picture();
    long total = 0;
    {
        Harness h(data);
        ASSERT_EQ(h.open_and_begin(), 0);
        RowsResult rows = read_rows(h.dec());
        ASSERT_EQ(rows.last, 1);
        ASSERT_EQ(rows.rows.size(), 32u);
        total = alloc_hook::attempts();
        EXPECT_LE(used_slots(h.dec()), 44);
    }
    ASSERT_GT(total, 3);
    for (long n = 1; n <= total; ++n) {
        alloc_hook::reset();
        alloc_hook::fail_at(n);
        Harness h(data);
        int32_t status = h.open();
        if (status == 0) {
            if (begin(h.dec()) == 0) {
                RowsResult rows = read_rows(h.dec());
                EXPECT_EQ(rows.last, -227) << n;
            }
        }
        EXPECT_EQ(h.dec().status, OutOfMemory) << n;
        EXPECT_EQ(h.src->detaches, 1) << n;
        EXPECT_TRUE(pool_empty(h.dec())) << n;
        EXPECT_EQ(alloc_hook::live(), 0) << n;
    }
}

TEST_F(Pool, FreePoolReleasesEverything) {
    Harness h(colour_picture());
    ASSERT_EQ(h.open_and_begin(), 0);
    EXPECT_GT(alloc_hook::live(), 0);
    free_pool(h.dec());
    EXPECT_EQ(alloc_hook::live(), 0);
    EXPECT_TRUE(pool_empty(h.dec()));
    EXPECT_EQ(h.dec().source, nullptr);
    EXPECT_EQ(h.src->detaches, 1);
    free_pool(h.dec());
    EXPECT_EQ(h.src->detaches, 1);
}

TEST_F(Pool, LifecycleEntryChecks) {
    Harness h(colour_picture());
    ASSERT_EQ(h.open(), 0);
    JpegDecoder& d = h.dec();
    EXPECT_EQ(d.image_width, 32);
    EXPECT_EQ(d.image_height, 32);
    EXPECT_EQ(d.frame_component_count, 3);
    const uint8_t* row = nullptr;
    int32_t bytes = -5;
    EXPECT_EQ(decode_row(d, &row, &bytes), -1);
    EXPECT_EQ(row, nullptr);
    EXPECT_EQ(bytes, -5);
    EXPECT_EQ(d.status, 0);

    ASSERT_EQ(begin(d), 0);
    long attempts = alloc_hook::attempts();
    int reads = h.src->reads;
    int slots = used_slots(d);
    int32_t bit_count = d.bit_count;
    uint32_t bit_buffer = d.bit_buffer;
    EXPECT_EQ(begin(d), 0);
    EXPECT_EQ(alloc_hook::attempts(), attempts);
    EXPECT_EQ(h.src->reads, reads);
    EXPECT_EQ(used_slots(d), slots);
    EXPECT_EQ(d.bit_count, bit_count);
    EXPECT_EQ(d.bit_buffer, bit_buffer);

    RowsResult rows = read_rows(d);
    EXPECT_EQ(rows.last, 1);
    EXPECT_EQ(rows.rows.size(), 32u);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(decode_row(d, &row, &bytes), 1);
    // begin after a completed begin still answers 0.
    EXPECT_EQ(begin(d), 0);
}

TEST_F(Pool, BeginAfterFailedConstruction) {
    Harness h(Bytes{0x00, 0x01, 0x02});
    EXPECT_EQ(h.open(), NotJpeg);
    EXPECT_EQ(begin(h.dec()), -1);
    EXPECT_EQ(h.dec().status, NotJpeg);
}

TEST_F(Pool, FailedBeginLeavesTheDecoderFailed) {
    Stream s;
    s.soi().dqt_flat(0, 1).sof(0xC0, 8, 8, {{1, 1, 1, 0}, {2, 1, 1, 0}}).eoi();
    Harness h(s.bytes);
    ASSERT_EQ(h.open(), 0);
    EXPECT_EQ(begin(h.dec()), -1);
    EXPECT_EQ(h.dec().status, UnsupportedComponents);
    EXPECT_TRUE(pool_empty(h.dec()));
    EXPECT_EQ(h.src->detaches, 1);
    EXPECT_EQ(begin(h.dec()), -1);
    const uint8_t* row = nullptr;
    int32_t bytes = 0;
    EXPECT_EQ(decode_row(h.dec(), &row, &bytes), -1);
}
