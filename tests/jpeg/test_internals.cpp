// What no stream can reach: the pool's slot limit and block alignment, the
// buffer bounds behind the frame layouts that set-up accepts, a system
// allocator that refuses each allocation of a decode in turn, and the
// vector paths against the portable code.
#include "jpeg/internal.h"
#include "marivue/jpeg/byte_source.h"
#include "tests/support/jpeg_builder.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

using namespace marivue::jpeg;

// This program's system allocator in place of the library's: it counts the
// blocks, refuses a chosen attempt and can hand out blocks 4 bytes past a
// multiple of 8 (each block remembers its allocation in front of it).
namespace alloc_hook {
long attempts = 0, live = 0, fail_at = 0;
bool misalign = false;
void reset(long n = 0) { attempts = 0, fail_at = n; }
}  // namespace alloc_hook

namespace marivue::jpeg::detail {

void* system_alloc(size_t size) {
    if (++alloc_hook::attempts == alloc_hook::fail_at) return nullptr;
    auto* base = static_cast<uint8_t*>(std::calloc(size + 24, 1));
    uint8_t* block = base + 16 + (alloc_hook::misalign ? 4 : 0);
    std::memcpy(block - 12, &base, sizeof base);
    ++alloc_hook::live;
    return block;
}

void system_free(void* block) {
    if (block == nullptr) return;
    void* base = nullptr;
    std::memcpy(&base, static_cast<uint8_t*>(block) - 12, sizeof base);
    --alloc_hook::live;
    std::free(base);
}

}  // namespace marivue::jpeg::detail

namespace {

using namespace marivue::jpeg::detail;

struct Record {
    std::unique_ptr<JpegDecoder> d{new JpegDecoder{}};
    ~Record() { free_pool(*d); }
    template <class F>
    int32_t stage(F f) {  // the status a failure of f stored, or 0
        try {
            f();
        } catch (const DecodeFailure&) {
            return d->status;
        }
        return 0;
    }
};

TEST(Pool, BlocksAreZeroedAndAlignedUntilTheHundredAndFirstSlot) {
    alloc_hook::reset();
    alloc_hook::misalign = true;
    Record r;
    for (int i = 0; i < pool_slot_count; ++i) {
        auto* block = static_cast<uint8_t*>(pool_alloc(*r.d, 24));
        EXPECT_EQ(reinterpret_cast<uintptr_t>(block) % 8, 0u);
        for (int k = 0; k < 24; ++k) {
            ASSERT_EQ(block[k], 0);
        }
        block[23] = 0xFF;
    }
    alloc_hook::misalign = false;
    EXPECT_EQ(r.stage([&] { pool_alloc(*r.d, 8); }), PoolFull);
    EXPECT_EQ(alloc_hook::live, 0);
}

TEST(Pool, BufferBoundsBeyondEveryAcceptedLayout) {
    Record r;
    JpegDecoder& d = *r.d;
    // A row of more blocks than the row table holds.
    d.frame_component_count = 1, d.comp_h_factor[0] = d.comp_v_factor[0] = 1, d.image_width = 8 * max_row_blocks + 8;
    d.image_height = 8;
    EXPECT_EQ(r.stage([&] { start_frame(d); }), BufferLimit);
    // An interleaved MCU of more than ten blocks.
    d.status = 0, d.frame_component_count = 3, d.scan_component_count = 3;
    for (int c = 0; c < 3; ++c) d.comp_h_factor[c] = d.comp_v_factor[c] = 2, d.scan_components[c] = c;
    EXPECT_EQ(r.stage([&] { compute_scan_geometry(d); }), BufferLimit);
    // A block outside a coefficient grid.
    d.status = 0;
    CoeffBuffer* grid = nullptr;
    EXPECT_EQ(r.stage([&] { grid = coeff_buffer_create(d, 3, 2, 8, 8); }), 0);
    EXPECT_EQ(coeff_block_at(d, *grid, 2, 1) - coeff_block_at(d, *grid, 0, 0), 5 * 64);
    const CoeffBuffer copy = *grid;  // the first failure releases the pool
    for (const auto& at : {std::pair{3, 0}, {0, 2}, {-1, 0}, {0, -1}})
        EXPECT_EQ(r.stage([&] { coeff_block_at(d, copy, at.first, at.second); }), BufferLimit)
            << at.first << "," << at.second;
}

// Every allocation a decode makes, refused in turn, ends it with
// OutOfMemory, everything released and the source let go once.
TEST(Pool, EveryRefusedAllocationOfADecodeIsOutOfMemory) {
    std::vector<jt::Block> blocks(8);
    const std::vector<uint8_t> sequential = jt::grey_stream(32, 16, blocks);
    jt::Stream p = jt::head(16, 16, jt::ycc(2, 2), 0xC2);
    p.sos(jt::all_components(jt::ycc(2, 2)), 0, 0).raw(std::vector<uint8_t>(8, 0));
    p.dht(1, 2, jt::ac_def()).sos({{1, 0, 2}}, 1, 63).raw(std::vector<uint8_t>(8, 0));
    const std::vector<uint8_t> progressive = p.eoi().bytes;
    // The same streams with the settings' own allocations: reduced-size
    // tables (1/2), no AC grids (1/8), a row longer than the record's tables.
    const std::vector<uint8_t> wide = jt::grey_stream(8 * 6200, 8, std::vector<jt::Block>(6200));
    DecodeSettings half, eighth, long_rows;
    half.scale_shift = 1, eighth.scale_shift = 3, long_rows.max_side = 65535;
    const std::pair<const std::vector<uint8_t>*, DecodeSettings> decodes[] = {
        {&sequential, {}}, {&progressive, {}}, {&sequential, half}, {&progressive, eighth}, {&wide, long_rows}};
    for (const auto& [stream, settings] : decodes) {
        long n = 1;
        for (;; ++n) {
            struct : MemoryByteSource {
                using MemoryByteSource::MemoryByteSource;
                void detach() override { ++detaches; }
                int detaches = 0;
            } source{stream->data(), stream->size()};
            std::unique_ptr<JpegDecoder> d(new JpegDecoder);
            d->settings = settings;
            alloc_hook::reset(n);
            open_decoder(*d, source);
            const uint8_t* row = nullptr;
            int32_t bytes = 0, result = 0;
            if (begin(*d) == 0)
                while ((result = decode_row(*d, &row, &bytes)) == 0) {
                }
            const int32_t status = d->status;
            EXPECT_EQ(source.detaches, status == StatusOk ? 0 : 1) << n;
            free_pool(*d);
            EXPECT_EQ(alloc_hook::live, 0) << n;
            if (status == StatusOk) {
                EXPECT_EQ(result, 1);
                // The run that refused nothing made n - 1 allocations.
                EXPECT_EQ(alloc_hook::attempts, n - 1);
                break;
            }
            EXPECT_EQ(status, OutOfMemory) << n;
        }
        EXPECT_GE(n, 9);  // tables, row buffers and decode tables
    }
    alloc_hook::reset();
}

// The vector paths give exactly what the portable code gives: the inverse
// DCT the same samples (and row results in the block) for ordinary, sparse
// and extreme coefficients, over the whole block and in its 4 x 4 corner
// alone, and colour conversion the colour tables' offsets
// for every chroma pair.
TEST(VectorPaths, InverseDctMatchesThePortableTransform) {
    uint32_t state = 12345;
    int16_t previous[64] = {};
    uint8_t previous_out[64];
    idct_block_portable(previous, previous_out);
    for (int i = 0; i < 20000 + 64 * 4; i++) {
        int16_t a[64] = {}, b[64];
        const int16_t alone[] = {1, -5, 1020, -32768};  // one coefficient at every position
        if (i >= 20000) {
            a[(i - 20000) / 4] = alone[i % 4];
        } else {
            for (int k = 0; k < 64; k++) {
                const uint32_t r = state = state * 1664525u + 1013904223u;
                // Sparse, typical, any 16-bit value, extremes.
                const uint32_t kinds[] = {(k == 0 || (r >> 28) == 0) ? (r >> 8) % 2048 - 1024 : 0, (r >> 8) % 512 - 256,
                                          r >> 16, (r & 1) ? 32767u : 0x8000u};
                // Every other run of four: the 4 x 4 lowest frequencies alone.
                const bool kept = (i / 4) % 2 == 0 || (k < 32 && k % 8 < 4);
                a[k] = kept ? static_cast<int16_t>(kinds[i % 4]) : 0;
            }
        }
        std::memcpy(b, a, sizeof a);
        int16_t input[64];
        std::memcpy(input, a, sizeof a);
        uint8_t out_a[64], out_b[64];
        idct_block(a, out_a);
        idct_block_portable(b, out_b);
        ASSERT_EQ(0, std::memcmp(out_a, out_b, 64)) << "block " << i;
        ASSERT_EQ(0, std::memcmp(a, b, sizeof a)) << "block " << i << ": row results differ";
#if MARIVUE_AVX2
        if (vector_path() == VectorPath::avx2) {  // this block paired with the one before, both stored transposed
            int16_t input_t[64], previous_t[64];
            for (int k = 0; k < 64; k++) {
                input_t[k % 8 * 8 + k / 8] = input[k];
                previous_t[k % 8 * 8 + k / 8] = previous[k];
            }
            uint8_t out_pair[2][64];
            idct_two_blocks_avx2(input_t, previous_t, out_pair[0], out_pair[1]);
            ASSERT_EQ(0, std::memcmp(out_pair[0], out_b, 64)) << "block " << i << " (AVX2)";
            ASSERT_EQ(0, std::memcmp(out_pair[1], previous_out, 64)) << "block " << i - 1 << " (AVX2)";
        }
#endif
        std::memcpy(previous, input, sizeof input);
        std::memcpy(previous_out, out_b, 64);
    }
}

// The 4 x 4 transform of the half size likewise, for the same kinds of
// coefficients in the block's 4 x 4 corner and beyond it (which it ignores).
TEST(VectorPaths, HalfSizeTransformMatchesThePortableTransform) {
    uint32_t state = 777;
    for (int i = 0; i < 20000; i++) {
        int16_t block[64];
        for (int16_t& v : block) {
            const uint32_t r = state = state * 1664525u + 1013904223u;
            v = i % 3 == 0   ? static_cast<int16_t>(r >> 16)
                : i % 3 == 1 ? static_cast<int16_t>((r >> 8) % 512 - 256)
                : (r & 1)    ? 32767
                             : -32768;
        }
        uint8_t vector_out[64] = {}, portable_out[64] = {};
        idct_4x4(block, vector_out);
        idct_4x4_portable(block, portable_out);
        ASSERT_EQ(0, std::memcmp(vector_out, portable_out, 64)) << "block " << i;
    }
}

TEST(VectorPaths, ColourOffsetsEqualTheTablesForEveryChromaPair) {
    static JpegDecoder d;
    build_colour_tables(d);
    for (int cb = 0; cb < 256; cb++)
        for (int cr0 = 0; cr0 < 256; cr0 += 8) {
            uint8_t cbs[8], crs[8];
            int16_t red[8], green[8], blue[8];
            for (int i = 0; i < 8; i++) cbs[i] = static_cast<uint8_t>(cb), crs[i] = static_cast<uint8_t>(cr0 + i);
            chroma_offsets_8(d, cbs, crs, red, green, blue);
            for (int i = 0; i < 8; i++) {
                ASSERT_EQ(red[i], d.cr_to_red[cr0 + i]) << cb << "," << cr0 + i;
                ASSERT_EQ(green[i], (d.cb_to_green[cb] + d.cr_to_green[cr0 + i]) >> 16) << cb << "," << cr0 + i;
                ASSERT_EQ(blue[i], d.cb_to_blue[cb]) << cb << "," << cr0 + i;
            }
        }
}

}  // namespace
