// Decoder internals shared between the stages. Not part of the public
// interface: callers use jpeg/decoder.h only. Everything here lives in
// marivue::jpeg::detail, so that the library defines no global name beyond
// its interface (a test lists the archive's symbols to keep it so).
#pragma once

#include "jpeg/decoder.h"
#include "jpeg/entropy_reader.h"

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

// Vector paths: SSE2 where the target has it (every x86-64), unless a build
// asks for the portable code alone (MARIVUE_NO_SIMD), as the tests do to
// check that both give the same results.
#if defined(__SSE2__) && !defined(MARIVUE_NO_SIMD)
#define MARIVUE_SSE2 1
// AVX2 as well, in functions compiled for it and chosen at run time where
// the processor has it (vector_path), with compilers that can do that.
#if defined(__GNUC__)
#define MARIVUE_AVX2 1
#endif
#endif

#if MARIVUE_SSE2
#include <emmintrin.h>
#endif

namespace marivue::jpeg::detail {

// ---- decoder.cpp: error exit, memory pool and the row pipeline ------------

// Thrown by fail() and caught only by the public operations, which is how
// the decoder leaves deeply nested code in one step. Carries nothing: the
// status is already in the record.
struct DecodeFailure {};

// Thrown in place of a failure while the segments between two progressive
// scans are read from synthesised bytes (the data ended inside one): the
// scans end there, and what arrived is decoded. Caught by decode_all_scans.
struct ScansEnded {};

// Stores `code`, releases the pool, detaches the source and leaves to the
// public operation that is running. Never returns. Between progressive
// scans, a failure of the data read past its end throws ScansEnded instead.
[[noreturn]] void fail(JpegDecoder& d, int32_t code);

// A copy of the record for another thread to decode with: everything as
// it stands, its input buffer its own, no pool (its failure frees nothing
// of the original's) and no segment sink, and its Huffman decode tables
// copied into `tables` (8).
void copy_record(JpegDecoder& copy, const JpegDecoder& d, HuffDecodeTable* tables);

// At least `size` zeroed bytes aligned to 8, living until free_pool.
// Fails with PoolFull when all slots are taken, OutOfMemory when the system
// allocator refuses. Never returns null.
void* pool_alloc(JpegDecoder& d, size_t size);

// The system allocator behind the pool (system_alloc.cpp). Kept in a
// translation unit of its own so that a test program can link its own
// definitions (in this namespace) in its place and make allocations fail.
void* system_alloc(size_t size);  // zero-filled, or null
void system_free(void* block);
// What the library's system_alloc and system_free do (block_alloc.cpp),
// for a replacement that only counts.
void* block_alloc(size_t size);  // zero-filled, or null
void block_free(void* block);

// Fails with Stopped once the caller's stop flag is set. One relaxed load:
// called per MCU row, per scan and every few thousand blocks.
inline void check_stop(JpegDecoder& d) {
    if (d.stop_flag != nullptr && d.stop_flag->load(std::memory_order_relaxed)) fail(d, Stopped);
}
// How many blocks a progressive scan walks between two looks at the flag.
constexpr int32_t blocks_between_stop_checks = 4096;

void initialize(JpegDecoder& d, ByteSource& source);
// Reads the frame and, for a progressive picture, every scan. With the
// stream's bytes (`data`, not null, the record reading the same from the
// start), a progressive picture's scans are decoded on two threads; false
// where that was given up, which leaves the record to be opened again.
bool prepare_decoding(JpegDecoder& d, const uint8_t* data, size_t size);
// begin with prepare_decoding's `data`: 1 where the two threads were given
// up (open the stream again and begin on one thread).
int32_t begin_in_memory(JpegDecoder& d, const uint8_t* data, size_t size);

// decode_row's two halves. next_mcu_coefficients fills row_blocks with the
// next MCU row's coefficients; false when that failed (status set, and
// data_incomplete where the data ran out), which decode_row reports as
// DecodeError. convert_row, after transform_row, converts the MCU row's
// current row (mcu_rows_remaining counts down from mcu_height) in the
// layout in force into `target` (exactly output_row_bytes), or into
// out_row_0 where it is null, and returns where the row is; the vertically
// subsampled schemes convert two rows in one pass, every other row being the
// second of a pair, converted with the first into `next_target` or
// out_row_1 (see decode_row_into).
// With first_mcu and end_mcu (sequential, full size), only those MCUs of
// the row (see decode_row_blocks): the ones before first_mcu are in the row
// blocks already and the reader stands at its start (split.cpp). The row's
// start checks the data left only at the row's first MCU, the end reads the
// segments after the scan only at its last.
bool next_mcu_coefficients(JpegDecoder& d, int32_t first_mcu = 0, int32_t end_mcu = -1);
const uint8_t* convert_row(JpegDecoder& d, uint8_t* target, uint8_t* next_target);

// ---- status_table.cpp: the words for a status ------------------------------

// Writes the words for `code` into `out` (`size` bytes, cut short if need
// be): status_message()'s, or more exact ones where the record tells the
// actual reason.
void describe_status(const JpegDecoder& d, int32_t code, char* out, size_t size);

// ---- pipeline.cpp: the one-call decode on two threads ---------------------

// Receives each output row in order on the second thread: the row decode_row
// would deliver for picture row y (in the layout in force), and the record
// it was converted in (as decode_row leaves it after that row, its
// data_incomplete included).
using RowConsumer = void (*)(void* context, const JpegDecoder& rows, const uint8_t* row, int32_t y);

// Delivers the rows of a begun decoder as repeated decode_row calls would,
// with the entropy decoding on this thread and the inverse DCT and colour
// conversion of earlier MCU rows on a second one. Returns the number of
// rows delivered and sets `result` to what the next decode_row call would
// return (1 after the last row, or DecodeError with the cause in status);
// -1 when a second thread could not be had, or when the rows of an MCU row
// are still being delivered, nothing having been decoded.
// Where `pixels` is not null, picture row y is written straight to
// pixels + y x stride as decode_row_into writes it, and `consume` (which may
// then be null) is handed that row.
int32_t decode_rows_two_threads(JpegDecoder& d, RowConsumer consume, void* context, int32_t& result,
                                uint8_t* pixels = nullptr, size_t stride = 0);

// ---- split.cpp: one sequential scan's entropy decoding on two threads ------

// What a split decode did, for the benchmark and the tests.
struct SplitReport {
    int32_t started = 0;  // a second decoder ran
    int32_t joined = 0;  // the first decoder met it
    int32_t join_mcus = 0;  // the second decoder's MCUs before the join
    int32_t stored_mcus = 0;  // the second decoder's MCUs in all
    int32_t capacity = 0;  // the store's room in MCUs
    int64_t start_offset = 0;  // the second decoder's first byte in the stream
    int64_t join_bits = 0;  // stream bits from there to the join
};

// decode_rows_two_threads for a begun sequential decoder at full size whose
// source reads `data` (`size` bytes, the whole stream) from its start, with
// the rows going into `pixels`: the entropy decoding itself split between
// two threads (split.cpp). -1 where it does not apply or a second thread
// could not be had, nothing having been decoded. `permille` (1..999) says
// where in the scan's bytes the second decoder starts, 0 the default.
int32_t decode_rows_split(JpegDecoder& d, const uint8_t* data, size_t size, int32_t& result, uint8_t* pixels,
                          size_t stride, int32_t permille = 0, SplitReport* report = nullptr);

// ---- input.cpp: input buffering and bit readers ---------------------------

// The first byte of the input buffer, behind the push-back room.
inline uint8_t* in_buffer(JpegDecoder& d) { return d.in_storage + push_back_room; }

void refill_input(JpegDecoder& d);
int32_t get_byte_raw(JpegDecoder& d);
int32_t get_byte_flagged(JpegDecoder& d, uint8_t& synthesised);
int32_t get_entropy_byte(JpegDecoder& d);
void push_back_byte(JpegDecoder& d, int32_t byte);
// The header side's bit reader (see input.cpp): the next n bits (1..16) as
// stored. Inline while the window holds more than n bits; the word fetch is
// get_bits_raw_fetch's.
uint32_t get_bits_raw_fetch(JpegDecoder& d, int n);
inline uint32_t get_bits_raw(JpegDecoder& d, int n) {
    if (d.bit_count <= n) return get_bits_raw_fetch(d, n);
    uint32_t result = (d.bit_buffer >> (16 - n)) & ((1u << n) - 1u);
    d.bit_count -= n;
    d.bit_buffer = std::rotl(d.bit_buffer, n);
    return result;
}

// False once the entropy reader has delivered every bit of the scan's data
// and is into the synthesised end-of-image bytes or the fill in front of a
// marker. With `code_next` (the next data is a Huffman code, which is never
// all 1-bits), also when the bits left are all 1s: the padding of the last
// byte, or a code the end cut short.
bool entropy_data_left(const JpegDecoder& d, bool code_next);
// True once the entropy reader has consumed synthesised bits: the data it
// decoded ran past the end of the stream.
bool entropy_read_past_end(const JpegDecoder& d);
// True when the header reader has consumed synthesised bytes (the marker it
// just read was not in the stream). Only meaningful for the header reader.
bool header_read_past_end(const JpegDecoder& d);

// Restarts the header reader on the next four stream bytes.
void prime_header_bits(JpegDecoder& d);
// Restarts the entropy reader on the next four stream bytes (after RSTn).
void restart_entropy_bits(JpegDecoder& d);
// Hands the header reader's look-ahead back and starts the entropy reader.
void prime_entropy_bits(JpegDecoder& d);

// ---- markers.cpp: marker parser --------------------------------------------

void find_soi(JpegDecoder& d);
int32_t next_marker(JpegDecoder& d);
int32_t process_markers(JpegDecoder& d);
void read_dht(JpegDecoder& d);
void read_dqt(JpegDecoder& d);
void read_sof(JpegDecoder& d);
void read_sos(JpegDecoder& d);
void read_dri(JpegDecoder& d);
void skip_segment(JpegDecoder& d);
// Reads an APP0 or APP14 segment, noting a JFIF or an Adobe segment.
void read_app(JpegDecoder& d, int32_t code);
// Hands an APP1 or APP2 segment to the caller's segment sink.
void pass_segment(JpegDecoder& d, int32_t code);
void find_frame_header(JpegDecoder& d);
bool find_scan_header(JpegDecoder& d);
// Between progressive scans: throws ScansEnded once the header reader has
// read synthesised bytes, so that a segment the data ended inside is not used.
void end_scans_if_cut(JpegDecoder& d);
void handle_restart(JpegDecoder& d);
// Passes over entropy-coded data, restart markers included, and leaves the
// input in front of the marker that ends it (the end-of-image marker at the
// end of the data). For the header reader: call prime_header_bits next.
// Counts the restart markers it passes in `restart_markers` where not null.
void skip_entropy_data(JpegDecoder& d, int64_t* restart_markers = nullptr);
void finish_image(JpegDecoder& d);

// ---- huffman.cpp: Huffman tables -------------------------------------------

// True when the counts of a table give every code a value that fits its
// length (a prefix-free canonical code).
bool huff_counts_valid(const uint8_t* bits);
void build_huff_table(JpegDecoder& d, int slot, HuffDecodeTable& table);
// Fills a fast_ac table from a built AC table (entries: total bits in bits
// 0-4, the run/size symbol in 8-15, the extended value in 16-31).
void build_fast_ac(const HuffDecodeTable& table, int32_t* fast);
// The same for a DC table, whose symbols are sizes (the run field then 0).
void build_fast_dc(const HuffDecodeTable& table, int32_t* fast);
// The same over wide_fast_ac_bits bits, for the large sequential frames
// (pool, see builds_wide_tables), for AC and DC tables.
void build_wide_fast_ac(const HuffDecodeTable& table, int32_t* fast);
void build_wide_fast_dc(const HuffDecodeTable& table, int32_t* fast);
// Fills a skip table (1 << skip_ac_bits entries) from a built AC table, for
// passing over AC coefficients that a reduced size does not read. Per
// pattern of the next skip_ac_bits bits, for the whole symbols (code and
// value bits) in it up to the first end of block: the bits they take (bits
// 0-5, so that a 64-bit shift can take the entry as it is), whether the
// last one is that end of block (skip_ac_end_of_block), and the positions
// they need (from skip_ac_need_shift up): those they advance, plus one for
// an end of block, which must not be read where the block is already
// complete. A pattern whose first symbol does not fit needs 127: no block
// has room for it. 12 bits (8 KB a table): 13 and 14 took as long on the
// benchmark's 12-megapixel picture (fewer look-ups, more cache misses).
void build_skip_ac(const HuffDecodeTable& table, uint16_t* skip);
constexpr int skip_ac_bits = 12;
constexpr uint32_t skip_ac_end_of_block = 64;
constexpr int skip_ac_need_shift = 8;
// ---- setup.cpp: frame and scan set-up --------------------------------------

void start_frame(JpegDecoder& d);
void build_colour_tables(JpegDecoder& d);
void start_sequential(JpegDecoder& d);
bool start_scan(JpegDecoder& d);
void compute_scan_geometry(JpegDecoder& d);
void prepare_huff_tables(JpegDecoder& d);
void check_quant_tables(JpegDecoder& d);

// ---- sequential.cpp ---------------------------------------------------------

// The natural (row-major) position of each zigzag position.
inline constexpr uint8_t zigzag_order[64] = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48,
    41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23,
    30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63,
};
// The position of each zigzag position in a block stored transposed, column
// by column (row v, column u at 8u + v): how the row blocks hold their
// coefficients where blocks_transposed says.
struct TransposedZigzag {
    uint8_t at[64];
    constexpr TransposedZigzag() : at{} {
        for (int k = 0; k < 64; k++) at[k] = static_cast<uint8_t>(zigzag_order[k] % 8 * 8 + zigzag_order[k] / 8);
    }
};
inline constexpr TransposedZigzag zigzag_transposed;
// Whether the row blocks hold their coefficients transposed: at full size on
// the AVX2 path, whose transform then finds the input of its first pass in
// place instead of transposing the block first. Every writer of row blocks
// asks this (the sequential decoder and the split scan through it, the
// progressive rows), and transform_row reads accordingly.
bool blocks_transposed(const JpegDecoder& d);
// Decodes MCUs first_mcu to end_mcu - 1 (-1: to the end) of the current MCU
// row into its row blocks; at a reduced size that passes over coefficients
// always the whole row.
void decode_row_blocks(JpegDecoder& d, int32_t first_mcu = 0, int32_t end_mcu = -1);
// The split scan's second decoder keeps its MCUs packed: each block as its
// DC (two bytes), the count of AC coefficients that follow, and each as its
// position in the row block (bits 0-5, see blocks_transposed; bit 6: two
// bytes of value follow, else one byte of a value from -128 to 127) and
// value. Most blocks of a photograph take a tenth of their 128 bytes or
// less, which saves the store memory traffic and page faults; at most
// most_packed_block bytes.
constexpr size_t most_packed_block = 192;
constexpr int32_t max_blocks_per_mcu = 10;
// What decoding a block of one of the MCU's blocks takes, looked up once
// for many MCUs rather than through its component for every block.
struct BlockTables {
    int32_t c;
    const int16_t* quant;
    const HuffDecodeTable* dc;
    const HuffDecodeTable* ac;
    const int32_t* fast_dc;
    const int32_t* fast;
};
// The tables decode_mcu_packed uses, from the record's scan set-up.
struct PackedDecoding {
    BlockTables blocks[max_blocks_per_mcu];
    bool wide;
    bool transposed;  // blocks_transposed: how the store's positions are given
};
void prepare_packed_decoding(const JpegDecoder& d, PackedDecoding& coding);
// Decodes one MCU, without restart handling, packed into `out`; returns the
// bytes written.
size_t decode_mcu_packed(JpegDecoder& d, const PackedDecoding& coding, uint8_t* out);
// Unpacks one block into `block` (all 64 coefficients written), with
// dc_add added to its DC; returns the bytes after it.
const uint8_t* unpack_block(const uint8_t* in, int16_t* block, int32_t dc_add);
// decode_row_blocks at a reduced size (sequential_reduced.cpp), for the
// frames that passes_over_coefficients says.
void decode_row_blocks_reduced(JpegDecoder& d);

// Whether a sequential frame has the wide look-up tables (wide_fast, built
// at scan set-up in about as long as decoding a few thousand blocks takes):
// where it has 4096 blocks or more. Every size then decodes with them; the
// smaller frames keep to the 9-bit tables, which are quicker to build.
inline bool builds_wide_tables(const JpegDecoder& d) {
    const int64_t blocks = static_cast<int64_t>(d.mcus_per_row) * d.mcus_per_column * d.blocks_per_output_mcu;
    return !d.is_progressive && blocks >= 4096;
}

// Whether a sequential frame at a reduced size passes over the coefficients
// its transform does not read (with skip tables as well), or decodes them
// all as at full size, which gives the same rows: the former where it has
// the wide tables.
inline bool passes_over_coefficients(const JpegDecoder& d) {
    return d.settings.scale_shift != 0 && builds_wide_tables(d);
}

// ---- progressive.cpp --------------------------------------------------------

using BlockDecoder = void (*)(JpegDecoder& d, int c, int x, int y);

CoeffBuffer* coeff_buffer_create(JpegDecoder& d, int32_t blocks_wide, int32_t blocks_high, int32_t block_cols,
                                 int32_t block_rows);
int16_t* coeff_block_at(JpegDecoder& d, const CoeffBuffer& buffer, int32_t x, int32_t y);
// Called around each MCU row of a scan (rows: the MCU rows done so far),
// for a scan decoded on a thread of its own (scan_threads.cpp).
struct ScanRowGate {
    void (*before)(void* context, int32_t row);
    void (*after)(void* context, int32_t rows);
    void* context;
};
// Takes each scan from decode_all_scans in place of decoding it: called
// with the record at the scan's data, it leaves the reader in front of the
// marker after the data (skip_entropy_data).
struct ScanHandOff {
    void (*take)(void* context, JpegDecoder& d, BlockDecoder block_decoder);
    void* context;
};
void decode_all_scans(JpegDecoder& d, const ScanHandOff* hand_off = nullptr);
void decode_progressive_scan(JpegDecoder& d, BlockDecoder block_decoder, const ScanRowGate* gate = nullptr);
// decode_all_scans on two threads (scan_threads.cpp) for a stream held whole
// in `data`; false where it gave up (see prepare_decoding).
bool decode_all_scans_two_threads(JpegDecoder& d, const uint8_t* data, size_t size);
void decode_dc_first(JpegDecoder& d, int c, int x, int y);
void decode_dc_refine(JpegDecoder& d, int c, int x, int y);
void decode_ac_first(JpegDecoder& d, int c, int x, int y);
void decode_ac_refine(JpegDecoder& d, int c, int x, int y);
// decode_ac_refine with a bit deposit instruction; only where
// fast_bit_deposit().
void decode_ac_refine_deposit(JpegDecoder& d, int c, int x, int y);
void load_row_from_coeffs(JpegDecoder& d);

// ---- idct.cpp ---------------------------------------------------------------

void idct_block(int16_t* block, uint8_t* out);
// The plain scalar transform; idct_block uses vector instructions where the
// target has them and gives the same results.
void idct_block_portable(int16_t* block, uint8_t* out);
void transform_row(JpegDecoder& d);
#if MARIVUE_SSE2
// The rounding a pass adds to its 32-bit sums before the descale.
template <int shift>
inline __m128i rounding() {
    return _mm_set1_epi32(1 << (shift - 1));
}

// v >> shift of sums that carry their rounding, keeping the low 16 bits of
// each result; eight results, lo's four first. The saturating pack is exact
// on values sign-extended from those 16 bits: the shift left moves bits
// shift..shift+15 of the sum to the top half, and the arithmetic shift
// right brings them down with their sign. From a shift of 16 on, the
// shifted value fits 16 bits already and is packed as it is.
template <int shift>
inline __m128i descale_low16(__m128i lo, __m128i hi) {
    if constexpr (shift >= 16) {
        lo = _mm_srai_epi32(lo, shift);
        hi = _mm_srai_epi32(hi, shift);
    } else {
        lo = _mm_srai_epi32(_mm_slli_epi32(lo, 16 - shift), 16);
        hi = _mm_srai_epi32(_mm_slli_epi32(hi, 16 - shift), 16);
    }
    return _mm_packs_epi32(lo, hi);
}
#endif

// ---- idct_reduced.cpp ---------------------------------------------------------

// The transforms of the reduced sizes: 64 coefficients (natural order, left
// as they are) to 4 x 4 or 2 x 2 samples, written with the row stride of 8
// that every block's samples have. idct_4x4 uses SSE2 where the target has
// it and gives what idct_4x4_portable gives.
void idct_4x4(const int16_t* block, uint8_t* out);
void idct_4x4_portable(const int16_t* block, uint8_t* out);
void idct_2x2(const int16_t* block, uint8_t* out);
// transform_row at a reduced size: the same on every vector path.
void transform_row_reduced(JpegDecoder& d);

// ---- idct_avx2.cpp (where MARIVUE_AVX2) -------------------------------------

// The transform of blocks a and b, stored transposed (see
// blocks_transposed) and left as they are, into out_a and out_b; call only
// where vector_path() is avx2.
void idct_two_blocks_avx2(const int16_t* a, const int16_t* b, uint8_t* out_a, uint8_t* out_b);
// block (stored transposed) = ac (zigzag order) times quant (zigzag order),
// each product truncated to 16 bits, with block[0] = dc x quant[0] instead;
// call only where vector_path() is avx2.
void dequantise_zigzag_avx2(int16_t* block, const int16_t* ac, int16_t dc, const int16_t* quant);

// ---- colour.cpp, colour_general.cpp, colour_avx2.cpp ------------------------

// The bytes a pixel takes in `layout` (a PixelLayout) for a picture of
// `components` components.
constexpr int32_t layout_bytes(int32_t layout, int32_t components) {
    return layout == LayoutRgb || layout == LayoutBgr ? 3
           : layout == LayoutGrey                     ? 1
           : layout == LayoutDefault                  ? (components == 1 ? 1 : 4)
                                                      : 4;
}

// Converts MCUs m0 to m1 - 1 of the current output row of the MCU row in
// sample_rows (mcu_rows_remaining counts down from mcu_height) into `out0`,
// their pixels one after another in the converter's layout, exactly
// (m1 - m0) x mcu_width pixels; the vertically subsampled schemes also
// convert the row below it, which shares its chroma, into `out1`.
using RowConverter = void (*)(JpegDecoder& d, uint8_t* out0, uint8_t* out1, int32_t m0, int32_t m1);
// The converter of the frame's fixed scheme (not SchemeGeneral) in `layout`
// (a PixelLayout), on the process's vector path.
RowConverter row_converter(const JpegDecoder& d, int32_t layout);
// SchemeGeneral: the current output row into `out`, whole MCUs of it, in
// `layout`, for every ColourCoding (see colour_general.cpp).
void convert_general(JpegDecoder& d, int32_t layout, uint8_t* out);
// The red, green and blue offsets that eight chroma pairs add to luma, as
// the converters compute them (with vector instructions where available).
void chroma_offsets_8(const JpegDecoder& d, const uint8_t* cb, const uint8_t* cr, int16_t* red, int16_t* green,
                      int16_t* blue);

#if MARIVUE_AVX2
// The 4:2:0 (SchemeH2V2) or 4:4:4 (SchemeH1V1) YCbCr converter sixteen
// pixels at a time, in any layout but grey; call only where vector_path()
// is avx2.
RowConverter avx2_converter(int32_t scheme, int32_t layout);
#endif

// ---- vector_path.cpp ----------------------------------------------------------

// Ordered: each path's processor can run the ones before it.
enum class VectorPath : int32_t { portable = 0, sse2 = 1, avx2 = 2 };
// The path of the inverse DCT and the colour conversion for this process
// (see vector_path.cpp).
VectorPath vector_path();
// Whether the processor deposits bits (BMI2's pdep) in a few cycles, and
// the AVX2 path is in force: not on the AMD families before 19h, which
// take up to hundreds of cycles for it.
bool fast_bit_deposit();

// ---- wrapping arithmetic ------------------------------------------------------
// The pixel path is defined on 32-bit two's-complement values that wrap and
// on 16-bit truncation. Signed overflow is undefined in C++, so additions and
// multiplications that hostile data could overflow go through unsigned
// arithmetic; the conversions back are modular (C++20).

inline int32_t wrap_add(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}
inline int32_t wrap_sub(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
}
inline int32_t wrap_mul(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) * static_cast<uint32_t>(b));
}
inline int16_t low16(int32_t v) { return static_cast<int16_t>(v); }

// The sample every position of a block with only a DC coefficient gets:
// row results of 4 x DC, then the column shortcut.
inline uint8_t dc_only_sample(int16_t dc) {
    int32_t row = low16(dc * 4);
    int32_t v = low16((row + 16) >> 5) + 128;
    return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
}

// ---- what both sequential decoders share -------------------------------------

// The low 16 bits of value x q, where only the low 16 bits of each count: a
// wrapping product has them already, without truncating value first.
inline int16_t dequantise(int32_t value, int16_t q) { return low16(wrap_mul(value, q)); }

// Sets a block's 64 coefficients to 0 with plain vector stores: a memset
// of unknown alignment can become a string instruction, whose start-up
// alone costs more.
inline void zero_block(int16_t* block) {
#if MARIVUE_SSE2
    // Written out: a loop of them can be turned back into a memset.
    const __m128i zero = _mm_setzero_si128();
    __m128i* to = reinterpret_cast<__m128i*>(block);
    _mm_storeu_si128(to, zero), _mm_storeu_si128(to + 1, zero), _mm_storeu_si128(to + 2, zero);
    _mm_storeu_si128(to + 3, zero), _mm_storeu_si128(to + 4, zero), _mm_storeu_si128(to + 5, zero);
    _mm_storeu_si128(to + 6, zero), _mm_storeu_si128(to + 7, zero);
#else
    std::memset(block, 0, 128);
#endif
}

// Clears what the previous use of a block buffer left, where its end mark
// says it held more than a DC coefficient (one wide clearing costs less
// than clearing the few positions below the mark one by one). The
// coefficients are then written into a clean block, so runs need no
// clearing of their own; the block ends up exactly as with clearing along
// the way.
inline void clear_block(int16_t* block, int mark) {
    if (mark > 1) zero_block(block);
}

}  // namespace marivue::jpeg::detail
