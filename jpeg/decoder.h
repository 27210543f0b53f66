// The decoder record and its operations: the project's own streaming
// interface, which the viewer's frame loader, the library's Decoder class,
// the tests, the benchmark and the fuzzers use. It is not installed and not
// exported from the shared library: programs outside the project use
// marivue/jpeg.hpp or marivue/jpeg.h, whose ABI does not depend on this
// record's layout. Targets that include it link marivue_jpeg_internal.
//
// A dependency-free, integer-only, row-streaming decoder for Huffman-coded
// baseline, extended sequential and progressive JPEG (8-bit precision, one
// component or three components sampled 1x1, 2x1, 1x2 or 2x2, coded as
// YCbCr or, without colour transform, as RGB; with `settings` also sides up
// to 65535, four components (CMYK, YCCK), other sampling factors and rows
// at 1/2, 1/4 or 1/8 of the size).
//
// Lifecycle:
//   JpegDecoder* d = new (std::nothrow) JpegDecoder;   // the record is large
//   d->memory_limit = 64 << 20;    // optional: cap the pool (0 = no cap)
//   d->settings.scale_shift = 3;   // optional: see DecodeSettings
//   open_decoder(*d, source);      // parses up to the frame header
//   if (d->status == 0 && begin(*d) == 0)
//       while (decode_row(*d, &row, &bytes) == 0) { ...use row... }
//   free_pool(*d);                 // detaches the source, frees all memory
//   delete d;                      // then the caller destroys the source
//
// After open_decoder the caller may read `status`, `image_width`,
// `image_height`, `output_width`, `output_height`, `frame_component_count`,
// `saw_jfif`, `adobe_transform`, `is_rgb` and `colour_coding`; after begin
// also `bytes_per_pixel` (of the layout in force, updated by every
// decode_row), and after begin and every decode_row `data_incomplete`.
// Every other field is the decoder's own. decode_row returns 1 once all
// output_height rows (image_height at full size) have been delivered;
// anything else but 0 ends the loop with the cause in `status`.
//
// Failures: every failure is reported as a negative DecodeStatus in
// `status` (the first one only; status.h turns it into a name and words).
// The failing operation has already released all memory and detached the
// source; it returns normally (open_decoder), -1 (begin) or -227
// (decode_row); later decode_row calls return -1, and so does begin unless
// it had completed before. No exception ever leaves these operations.
// free_pool must still be called. A header code (-200 to -220) arises
// where its segment is read: in open_decoder up to the frame header, in
// begin for scan headers and the tables between scans. Frame and scan
// set-up and all progressive scans fail in begin; a sequential picture's
// entropy data fails in decode_row. The work of a progressive picture's
// scans is bounded by the stream: together they may walk at most 16 times
// the frame's blocks plus 256 blocks per byte read; a scan beyond that
// fails with DecodeError before it is walked.
//
// A new record is inert: every field is zero, so begin (-1, StreamError),
// decode_row (-1) and free_pool (nothing to do) are safe before
// open_decoder. open_decoder on a record that holds a stream releases that
// stream first (free_pool), as if the caller had done so. A byte source
// that throws is a source error: the exception ends in StreamError with
// everything released, and goes no further.
//
// Ownership: the caller owns the ByteSource and the JpegDecoder. The source
// must stay alive until free_pool has run and is destroyed by the caller
// afterwards. The decoder owns only the memory it takes from its pool.
//
// Memory: the record itself is about 90 KB of fixed working storage (input
// buffer, one MCU row of block pointers, colour tables): allocate it on the
// heap, not on a thread's stack. On top of it the pool holds the tables
// (up to 8 Huffman decode tables of 3.3 KB each) and buffers that grow with
// the picture: a sequential picture needs two output rows and one MCU row
// of coefficients and samples (192 bytes per 8x8 block of that row, and 12
// more for a row of more than 6144 blocks); a progressive frame also keeps
// the coefficients of the whole picture, 130 bytes per 8x8 block of each
// component over whole MCUs (a 4000 x 3000 4:2:0 frame: about 37 MB; 2 at
// 1/8, which keeps no AC coefficients). A reduced sequential picture adds
// 16 KB of tables per AC table and 8 KB per DC table, and the general
// scheme one row per component. All pool memory is requested by open_decoder and begin
// (decode_row only for tables defined after the last sequential MCU row)
// and released together by free_pool or a failure; memory_limit caps it,
// and is what stands between a caller who raises max_side and a header that
// asks for gigabytes.
//
// Stopping: `stop_flag` (below), set from any thread, ends begin or
// decode_row in Stopped within an MCU row, a scan or 4096 blocks of one.
//
// Threads: one decoder is driven by one thread at a time; it holds no locks.
// Separate decoders share nothing writable, so different threads may decode
// different pictures at once; the only shared data are read-only tables.
#pragma once

// Only targets that link marivue_jpeg_internal may include the decoder's
// internals; the rest of the project and the library's users go through
// its public headers.
#ifndef MARIVUE_JPEG_INTERNALS
#error "jpeg/decoder.h is the decoder's own: link marivue_jpeg_internal, or use <marivue/jpeg.hpp>"
#endif

#include "marivue/jpeg/byte_source.h"
#include "marivue/jpeg/status.h"

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace marivue::jpeg {

enum OutputScheme : int32_t {
    SchemeGrey = 0,
    SchemeH1V1 = 1,
    SchemeH2V1 = 2,
    SchemeH1V2 = 3,
    SchemeH2V2 = 4,
    // Every layout the five above do not serve (four components, other
    // sampling factors) and every layout at a reduced size: each component's
    // samples are gathered into a row by replication, then converted.
    SchemeGeneral = 5,
};

// How a frame's components carry colour, decided by open_decoder from the
// component count and the segments before the frame header.
enum ColourCoding : int32_t {
    CodingGrey = 0,  // one component
    CodingYCbCr = 1,  // three components, converted to RGB
    CodingRgb = 2,  // three components delivered as they are (is_rgb)
    // Four components (delivered only with DecodeSettings::extended_layouts):
    // CMYK as Adobe stores it, inverted (255 = no ink); an Adobe segment with
    // transform 2 marks YCCK, which is YCbCr of 255 minus the first three
    // inverted values, and K as in CMYK. Converted to RGB (colour.cpp).
    CodingCmyk = 3,
    CodingYcck = 4,
};

// How decode_row lays out the pixels of a row (DecodeSettings::layout).
enum PixelLayout : int32_t {
    // Red, green, blue, 0 (four bytes a pixel); a grey picture's rows one
    // grey byte a pixel.
    LayoutDefault = 0,
    LayoutRgb = 1,  // red, green, blue
    LayoutBgr = 2,  // blue, green, red
    LayoutRgbx = 3,  // red, green, blue, 255
    LayoutBgrx = 4,  // blue, green, red, 255
    // One byte a pixel: a grey picture's samples, a YCbCr picture's luma, and
    // for the codings without luma (RGB, CMYK, YCCK)
    // (77 x red + 150 x green + 29 x blue + 128) >> 8 of the colours.
    LayoutGrey = 5,
};

// What a caller may ask beyond the decoder's defaults. Set it in the record
// before open_decoder, which keeps it (like memory_limit); all zero, the
// default, decodes exactly as without it. Values outside the ranges below
// make open_decoder fail with StreamError.
struct DecodeSettings {
    // The largest width and height accepted, 1..65535; 0 means 8192. Wider
    // or taller frames fail with WidthOutOfRange or HeightOutOfRange.
    // memory_limit stays the guard against what large headers ask for.
    int32_t max_side = 0;
    // Rows delivered at 1 / 2^scale_shift of the picture's size (0..3: 1/1,
    // 1/2, 1/4, 1/8): output_width and output_height are the sides divided
    // by the scale and rounded up. Each 8 x 8 block is transformed straight
    // to 8 >> scale_shift samples square (idct_reduced.cpp defines them).
    int32_t scale_shift = 0;
    // 1: also decode four-component frames (CMYK, YCCK) and three- or
    // four-component frames with any sampling factors 1..4 whose ratios to
    // the largest are whole and that have at most 10 blocks per MCU. 0:
    // those fail with UnsupportedComponents or UnsupportedSampling.
    uint8_t extended_layouts = 0;
    // The layout of the delivered rows (a PixelLayout). A grey picture in one
    // of the colour layouts has its samples in all three colours. Unlike the
    // rest of the settings it may also be changed between two decode_row
    // calls: each row comes in the layout in force when it is asked for.
    int32_t layout = LayoutDefault;
};

// Receives the APP1 and APP2 segments the marker parser meets (Exif, ICC
// profile chunks, ...): the bytes after each segment's length field, in
// order, in pieces of up to 512 bytes: `offset` of the piece in the
// segment, `count` bytes at `bytes`, and the segment's `length` (an empty
// segment comes as one call with count 0). Must not throw.
using SegmentSink = void (*)(void* context, int32_t marker, int32_t offset, const uint8_t* bytes, int32_t count,
                             int32_t length);

// A built Huffman decode table: one 3328-byte block.
struct HuffDecodeTable {
    int32_t lookahead[256];  // symbol, or negative tree node, by next 8 bits
    uint8_t code_length[256];  // code length of each symbol, 0 if none
    int32_t tree[512];  // two child slots per node: bit 1 first, then bit 0
};
static_assert(sizeof(HuffDecodeTable) == 3328, "HuffDecodeTable is one 3328-byte block");

// A grid of coefficient blocks of one component of a progressive frame.
struct CoeffBuffer {
    int16_t* coeffs;
    int32_t blocks_wide;
    int32_t blocks_high;
    int32_t block_cols;  // coefficients across one block: 1 or 8
    int32_t block_rows;  // coefficients down one block: 1 or 8
    int32_t block_bytes;  // block_cols x block_rows x 2
};

constexpr int pool_slot_count = 100;
constexpr int max_row_blocks = 6144;
constexpr int input_buffer_size = 4096;
constexpr int push_back_room = 128;

// The whole state of decoding one stream: about 90 KB, all fixed working
// storage, so allocate it on the heap. Owners may read `status`,
// `image_width`, `image_height` (1..8192, or up to settings.max_side),
// `output_width`, `output_height`, `frame_component_count` (1..4; only 1,
// grey, and 3, colour, decode, and 4 with settings.extended_layouts),
// `saw_jfif`, `adobe_transform`, `is_rgb` and `colour_coding`, all set by
// open_decoder, `bytes_per_pixel` (1, 3 or 4 by the layout, set by begin
// and decode_row) and `data_incomplete` (below), and may set `memory_limit`
// and `settings` before open_decoder (settings.layout also later);
// everything else is the decoder's own and pool pointers in it are stale
// after a failure.
struct JpegDecoder {
    // Every field zero (memory_limit: no limit) but the tables at the end.
    JpegDecoder() noexcept;

    int32_t image_width;
    int32_t image_height;
    ByteSource* source;
    int32_t is_progressive;
    uint8_t* huff_bits[8];
    uint8_t* huff_values[8];
    int16_t* quant_tables[4];
    int32_t output_scheme;
    int32_t frame_component_count;
    int32_t comp_h_factor[4];
    int32_t comp_v_factor[4];
    int32_t comp_quant_index[4];
    int32_t comp_id[4];
    int32_t comp_blocks_wide[4];
    int32_t comp_blocks_high[4];
    int32_t scan_component_count;
    int32_t scan_components[4];
    int32_t comp_dc_table[4];
    int32_t comp_ac_table[4];
    int32_t spectral_first;
    int32_t spectral_last;
    int32_t approx_low;
    int32_t approx_high;
    int32_t mcu_width;
    int32_t mcu_height;
    int32_t blocks_per_mcu;
    int32_t row_block_count;
    int32_t mcus_across;
    int32_t mcus_down;
    int32_t mcu_block_component[10];
    int32_t rows_remaining;
    int32_t mcu_rows_remaining;
    int32_t output_row_bytes;
    int32_t padded_row_bytes;
    int32_t bytes_per_pixel;
    void* pool_blocks[pool_slot_count];
    HuffDecodeTable* huff_decode_tables[8];
    CoeffBuffer* dc_coeff_buffers[4];
    CoeffBuffer* ac_coeff_buffers[4];
    int32_t eob_run;
    int32_t comp_block_row[4];
    uint8_t* in_cursor;
    int32_t in_count;
    int32_t eoi_toggle;
    uint8_t at_end;
    // The input buffer (input_buffer_size bytes) preceded by push_back_room
    // bytes into which read bytes can be pushed back in front of it.
    uint8_t in_storage[push_back_room + input_buffer_size];
    int32_t bit_count;
    uint32_t bit_buffer;
    uint32_t restart_interval;
    uint32_t restarts_left;
    int32_t next_restart_number;
    int32_t mcus_per_row;
    int32_t blocks_per_output_mcu;
    int32_t mcus_per_column;
    int32_t last_dc[4];
    uint8_t* sample_rows;
    int32_t cr_to_red[256];
    int32_t cb_to_blue[256];
    int32_t cr_to_green[256];
    int32_t cb_to_green[256];
    uint8_t* out_row_0;
    uint8_t* out_row_1;
    int16_t idct_scratch[64];
    int32_t status;
    uint8_t ready;
    int32_t zero_reads;  // consecutive reads that returned 0 without the end flag
    // End of a scan's data: set when the entropy reader first fetches
    // synthesised bytes or meets a marker other than a restart marker, with
    // the bit counts that tell how many real bits were still unread then,
    // and the fetches made since. Cleared at the start of each scan.
    uint8_t data_exhausted;
    int32_t exhausted_real_bits;
    int32_t exhausted_unread_bits;
    int32_t fetches_since_exhausted;
    int32_t synthesised_bytes;  // synthesised bytes fetched so far (stops counting at 64)
    // Segments seen before the frame header, and the colour coding they
    // give, all set by open_decoder. saw_jfif: 1 after a JFIF APP0 segment.
    // adobe_transform: the transform byte of the last Adobe APP14 segment
    // (0 none, i.e. RGB or CMYK; 1 YCbCr; 2 YCCK), -1 when there was none.
    // is_rgb: 1 when a three-component frame is coded as RGB without colour
    // transform (Adobe transform 0, or no JFIF or Adobe segment and the
    // component ids 'R', 'G', 'B'): its rows then carry the first, second
    // and third component as red, green and blue, the second and third
    // upsampled by replication as chroma would be. 0 for YCbCr and grey.
    uint8_t saw_jfif;
    int32_t adobe_transform;
    uint8_t is_rgb;
    // The marker of the frame header (0xC0..0xCF, set by open_decoder when
    // it reaches one), or 0xF7 for a JPEG-LS frame header, which is passed
    // over as an unknown segment (the stream then fails later for another
    // reason); 0 before either. It changes no status: it only lets a
    // failure's words name the kind of picture refused.
    int32_t frame_marker;
    // 1 when the picture was patched because its data ended early; the
    // statuses stay what they are either way. Progressive (final after
    // begin, which decodes every scan): a scan's entropy-coded data ran out
    // (the stream ended, or a marker other than a restart marker came)
    // before its last block, so blocks it did not reach keep what earlier
    // scans gave them (0 where none did), or the stream ended before its
    // end-of-image marker or inside a segment between two scans, so scans
    // may be missing. Sequential (0 after begin; read it after each
    // decode_row): the MCU row just decoded, or the one whose decoding
    // failed, needed bytes past the end of the data (or past a marker other
    // than a restart marker, whose place the synthesised bytes then take):
    // that MCU row is decoded partly, and every later one wholly, from the
    // synthesised end-of-image bytes (rows before it are whole); once 1 it
    // stays 1, and it is final when decode_row has returned 1 or failed. A
    // complete stream leaves it 0, also with bytes after its end-of-image
    // marker, and so does a sequential stream that lacks only that marker.
    uint8_t data_incomplete;
    // Set by the caller before open_decoder, which keeps it: the most pool
    // memory, in bytes, that this decoder may hold at once (all blocks
    // together, as requested). A request that would go above it fails with
    // OutOfMemory. 0 means no limit. Headers alone can ask for gigabytes (a
    // progressive frame keeps coefficient grids for the whole picture), so a
    // caller that decodes untrusted streams should set it. A new record
    // starts with no limit.
    size_t memory_limit;
    // Set by the caller before open_decoder, which keeps it: a flag of the
    // caller's, which any thread may set to stop the decoding. begin and
    // decode_row then fail with Stopped (the pool released, the source let
    // go) at the next place that looks: each MCU row, each scan of a
    // progressive picture and every 4096 blocks inside one. Null: never.
    const std::atomic<bool>* stop_flag;
    // Set by the caller before open_decoder, which keeps them: where APP1
    // and APP2 segments go (see SegmentSink). Null, the default: they are
    // skipped like any other segment.
    SegmentSink segment_sink;
    void* segment_context;
    size_t pool_bytes;  // bytes requested from the pool so far
    // Set by the caller before open_decoder, which keeps it (see
    // DecodeSettings); a new record starts with the defaults.
    DecodeSettings settings;
    // The delivered picture's size: image_width and image_height divided by
    // the scale and rounded up (equal to them at full size). decode_row
    // delivers output_height rows of output_width pixels. Set, with
    // colour_coding (a ColourCoding), by open_decoder.
    int32_t output_width;
    int32_t output_height;
    int32_t colour_coding;
    // The block pointers and end marks of the current MCU row: row_blocks and
    // block_last_nonzero, or two pool arrays for a row of more blocks than
    // those hold (only with settings.max_side above 8192).
    int16_t** row_block_table;
    int32_t* last_nonzero_table;
    // SchemeGeneral: the index in an MCU of each component's first block, and
    // one row per component of its samples replicated to output pixels,
    // plane_stride bytes apart (pool).
    int32_t comp_first_block[4];
    uint8_t* plane_rows;
    int32_t plane_stride;
    // A sequential frame at a reduced size (pool): per AC table slot (4..7),
    // the table that passes over the coefficients it does not read; and a
    // sequential frame of 4096 blocks or more (pool): per slot (0..7) a
    // look-up of code and value bits 11 bits wide. A copy of the record
    // that may outlive the pool (the split scan's) needs copies of these.
    uint16_t* skip_ac[4];
    int32_t* wide_fast[8];
    uint8_t opened;  // open_decoder has run: begin does the work only then
    int64_t input_bytes;  // bytes the source has delivered
    // Progressive: 1 while the segments between two scans are read, where a
    // segment that the data ended inside ends the scans (what arrived is
    // decoded) instead of failing on synthesised bytes.
    uint8_t between_scans;
    // Progressive: the blocks the scans so far walk, against the work the
    // picture's size and data allow (see decode_all_scans); work_refused is
    // 1 when a scan would have gone beyond it, which fails with DecodeError.
    int64_t scan_block_visits;
    uint8_t work_refused;
    // The vertically subsampled schemes convert two rows at a time: where the
    // second went (out_row_1 or a caller's row) and in which layout.
    uint8_t* pair_row;
    int32_t pair_layout;

    // Last, because neither opening a stream nor the constructor clears them
    // (most of the record, which every small picture would pay for
    // clearing): set-up writes the entries in use before anything reads
    // them. The first is fast_ac.
    //
    // Per AC table slot (4..7): the run, size, value and total bit count of
    // each code whose code and value bits fit in 9 bits, by the next 9 bits
    // of the stream; 0 where the full decoding path is needed. Per DC table
    // slot (0..3) the same for a sequential frame without the wide tables
    // (its size in the size field, the run field 0). Built for every
    // defined table at each scan's set-up.
    int32_t fast_ac[4][512];
    int32_t fast_dc[4][512];
    // The block pointers and end marks of the row (see row_block_table).
    int16_t* row_blocks[max_row_blocks];
    int32_t block_last_nonzero[max_row_blocks];
};

// Construction: resets the record (keeping memory_limit and settings),
// attaches the source and reads the stream up to and including the frame
// header, with the tables before it. Always returns; afterwards `status` is
// 0 with image_width, image_height, output_width, output_height and
// frame_component_count set and no pixel
// decoded yet, or holds the failure (the source is then already detached).
void open_decoder(JpegDecoder& decoder, ByteSource& source);

// Prepares decoding: allocates the row buffers and reads the first scan
// header of a sequential frame; for a progressive frame reads and decodes
// every scan up to the end of the stream (a stream that ends inside a scan
// keeps what its complete data gave). Returns 0 when decoding is prepared,
// also when called again (which does nothing); -1 on failure, or when
// open_decoder failed, with the cause in `status`.
int32_t begin(JpegDecoder& decoder);

// Delivers the next output row, top to bottom: output_width pixels in the
// layout in force (by default red, green, blue, 0, or one grey byte; see
// PixelLayout), so *row_bytes_out is output_width x bytes_per_pixel. Returns
//    0  a row was delivered: *row_out and *row_bytes_out are set;
//    1  every row has been delivered (and on every later call);
//   -1  begin has not completed, or an earlier operation failed;
// -227  this call failed (DecodeError; the cause is in `status`).
// The row belongs to the decoder and stays valid until the next decode_row
// or free_pool call; copy it out to keep it.
int32_t decode_row(JpegDecoder& decoder, const uint8_t** row_out, int32_t* row_bytes_out);

// decode_row into the caller's memory: writes the next row, exactly
// output_width pixels in the layout in force (DecodeSettings::layout), into
// `row`, with the same results. `next_row`, where not null, is where the
// caller will ask for the following row: the schemes that convert two rows
// in one pass write the second there at once (and the next call, given it,
// finds it done), where otherwise it would be copied over from the
// decoder's own buffer. Both must stay valid until the call after next.
int32_t decode_row_into(JpegDecoder& decoder, uint8_t* row, uint8_t* next_row);

// Detaches the source (if a failure has not done so already) and releases
// every pool block. Call it once before destroying the record, also after a
// failure; calling it again is harmless. Afterwards the caller may destroy
// the source.
void free_pool(JpegDecoder& decoder);

}  // namespace marivue::jpeg
