// Marivue JPEG decoder: public interface.
//
// A dependency-free, integer-only, row-streaming decoder for Huffman-coded
// baseline, extended sequential and progressive JPEG (8-bit precision, one
// component or three YCbCr components sampled 1x1, 2x1, 1x2 or 2x2).
//
// Lifecycle:
//   JpegDecoder* d = new (std::nothrow) JpegDecoder;   // the record is large
//   d->memory_limit = 64 << 20;    // optional: cap the pool (0 = no cap)
//   open_decoder(*d, source);      // parses up to the frame header
//   if (d->status == 0 && begin(*d) == 0)
//       while (decode_row(*d, &row, &bytes) == 0) { ...use row... }
//   free_pool(*d);                 // detaches the source, frees all memory
//   delete d;                      // then the caller destroys the source
//
// Every failure is reported as a negative DecodeStatus in `status`; no
// exception ever leaves these operations. One decoder is driven by one
// thread at a time; separate decoders share nothing writable.
#pragma once

#include <cstddef>
#include <cstdint>

// Failure codes. 0 is success; every failure is negative.
enum DecodeStatus : int32_t {
    StatusOk = 0,
    HuffCountsTooLarge = -200,      // the 16 code counts of a table exceed 255
    HuffIndexInvalid = -201,        // Huffman table slot 8 or more
    HuffSegmentLength = -202,       // DHT length below 2, or too short for a table
    QuantSegmentLength = -203,      // DQT length below 2
    QuantIndexInvalid = -204,       // quantisation table number 4 or more
    PrecisionNot8 = -205,           // sample precision other than 8
    HeightOutOfRange = -206,        // frame height 0 or above 8192
    WidthOutOfRange = -207,         // frame width 0 or above 8192
    TooManyComponents = -208,       // more than 4 frame components
    FrameHeaderLength = -209,       // SOF length is not 8 + 3 x components
    MarkerLength = -210,            // a skipped segment's length is below 2
    RestartHeaderLength = -211,     // DRI length is not 4
    ScanHeaderLength = -212,        // SOS component count or length wrong
    ScanComponentUnknown = -213,    // scan selector matches no frame component
    HuffTableInvalid = -214,        // Huffman counts over-subscribe the code space
    ArithmeticNotSupported = -215,  // DAC marker or SOF9 frame
    UnexpectedMarker = -216,        // a marker where it cannot stand
    NotJpeg = -217,                 // no start-of-image marker
    UnsupportedFrameType = -218,    // a frame type other than SOF0/1/2
    QuantSegmentShort = -219,       // DQT too short for the table just read
    ScanComponentRepeated = -220,   // a scan names the same component twice
    PoolFull = -221,                // all 100 pool slots are in use
    QuantTableMissing = -222,       // a component's quantisation table is undefined
    HuffTableMissing = -223,        // a Huffman table the scan needs is undefined
    SequentialScanUnsupported = -224,  // first sequential scan lacks components
    UnsupportedComponents = -225,   // component count other than 1 or 3
    UnsupportedSampling = -226,     // sampling factors outside supported layouts
    DecodeError = -227,             // corrupt entropy-coded data
    RestartMarker = -228,           // missing or misnumbered restart marker
    BufferLimit = -229,             // MCU row too wide, or block outside a grid
    SpectralSelection = -230,       // bad Ss/Se in a progressive scan
    SuccessiveApprox = -231,        // bad Ah/Al in a progressive scan
    StreamError = -232,             // the byte source reported an error
    OutOfMemory = -233,             // the system allocator refused
};

// The decoder's input. The decoder calls attach() once before the first
// read(), and detach() once when it lets the source go (free_pool, also
// after any failure). The caller owns the source and destroys it after
// free_pool.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    // Copies up to `max` bytes into `buffer` and returns how many (0..max),
    // or -1 on error. Sets *end_flag to non-zero once there is no more data,
    // either with the last bytes or in a later call that returns 0. Each call
    // must deliver at least one byte, set the end flag, or return -1.
    virtual int32_t read(uint8_t* buffer, int32_t max, uint8_t* end_flag) = 0;
    virtual void attach() {}
    virtual void detach() {}
};

enum OutputScheme : int32_t {
    SchemeGrey = 0,
    SchemeH1V1 = 1,
    SchemeH2V1 = 2,
    SchemeH1V2 = 3,
    SchemeH2V2 = 4,
};

// A built Huffman decode table: one 3328-byte block.
struct HuffDecodeTable {
    int32_t lookahead[256];    // symbol, or negative tree node, by next 8 bits
    uint8_t code_length[256];  // code length of each symbol, 0 if none
    int32_t tree[512];         // two child slots per node: bit 1 first, then bit 0
};
static_assert(sizeof(HuffDecodeTable) == 3328, "HuffDecodeTable is one 3328-byte block");

// A grid of coefficient blocks of one component of a progressive frame.
struct CoeffBuffer {
    int16_t* coeffs;
    int32_t blocks_wide;
    int32_t blocks_high;
    int32_t block_cols;   // coefficients across one block: 1 or 8
    int32_t block_rows;   // coefficients down one block: 1 or 8
    int32_t block_bytes;  // block_cols x block_rows x 2
};

constexpr int pool_slot_count = 100;
constexpr int max_row_blocks = 6144;
constexpr int input_buffer_size = 4096;
constexpr int push_back_room = 128;

// The whole state of decoding one stream. Owners may read `status`,
// `image_width`, `image_height`, `frame_component_count` and
// `bytes_per_pixel`; everything else is the decoder's own.
struct JpegDecoder {
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
    int16_t* row_blocks[max_row_blocks];
    int32_t block_last_nonzero[max_row_blocks];
    uint8_t* sample_rows;
    int32_t cr_to_red[256];
    int32_t cb_to_blue[256];
    int32_t cr_to_green[256];
    int32_t cb_to_green[256];
    uint8_t* out_row_0;
    uint8_t* out_row_1;
    int16_t idct_scratch[64];
    // Per AC table slot (4..7): the run, size, value and total bit count of
    // each code whose code and value bits fit in 9 bits, by the next 9 bits
    // of the stream; 0 where the full decoding path is needed.
    int32_t fast_ac[4][512];
    int32_t status;
    uint8_t ready;
    int32_t zero_reads;  // consecutive reads that returned 0 without the end flag
    // End of the data inside entropy-coded data: set when the entropy reader
    // first fetches synthesised bytes, with the bit counts that tell how many
    // real bits were still unread then, and the fetches made since.
    uint8_t data_exhausted;
    int32_t exhausted_real_bits;
    int32_t exhausted_unread_bits;
    int32_t fetches_since_exhausted;
    // Set by the caller before open_decoder, which keeps it: the most pool
    // memory, in bytes, that this decoder may hold at once (all blocks
    // together, as requested). A request that would go above it fails with
    // OutOfMemory. 0 means no limit. Headers alone can ask for gigabytes (a
    // progressive frame keeps coefficient grids for the whole picture), so a
    // caller that decodes untrusted streams should set it. A new record
    // starts with no limit.
    size_t memory_limit = 0;
    size_t pool_bytes;  // bytes requested from the pool so far
};

// Construction: resets the record, attaches the source and reads the stream
// up to and including the frame header. Always returns; afterwards `status`
// is 0 with the frame header fields set, or holds the failure.
void open_decoder(JpegDecoder& decoder, ByteSource& source);

// Prepares decoding (for a progressive frame, decodes every scan).
// Returns 0 on success, also when called again; -1 on failure.
int32_t begin(JpegDecoder& decoder);

// Delivers the next output row: image_width pixels of bytes_per_pixel bytes
// (red, green, blue, 0; or one grey byte). Returns 0 with *row_out and
// *row_bytes_out set; 1 when every row has been delivered; -1 when begin has
// not completed or an earlier operation failed; -227 when this call failed
// (the cause is in `status`). The row stays valid until the next call.
int32_t decode_row(JpegDecoder& decoder, const uint8_t** row_out, int32_t* row_bytes_out);

// Detaches the source and releases every pool block. Harmless to repeat.
void free_pool(JpegDecoder& decoder);
