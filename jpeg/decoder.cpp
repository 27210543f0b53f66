// The decoder record's lifecycle: construction, begin, the memory pool and
// the single error exit; and the row pipeline behind decode_row, which
// drives the stages in their order: entropy decoding (or loading from the
// progressive grids), the trailing markers, the inverse DCT, the colour
// conversion.
#include "jpeg/internal.h"

#include <cstddef>
#include <cstring>

namespace marivue::jpeg::detail {

void fail(JpegDecoder& d, int32_t code) {
    // A segment between progressive scans that fails on bytes the data did
    // not have is no reason to drop the scans that arrived. The source, the
    // memory and the caller are another matter.
    if (d.between_scans && header_read_past_end(d) && code != StreamError && code != OutOfMemory && code != PoolFull &&
        code != Stopped)
        throw ScansEnded{};
    d.status = code;
    free_pool(d);
    throw DecodeFailure{};
}

void* pool_alloc(JpegDecoder& d, size_t size) {
    int slot = 0;
    while (slot < pool_slot_count && d.pool_blocks[slot] != nullptr) slot++;
    if (slot == pool_slot_count) fail(d, PoolFull);
    // Refuse sizes whose padded total would wrap around.
    if (size > SIZE_MAX - 8) fail(d, OutOfMemory);
    if (d.memory_limit != 0 && (size > d.memory_limit || d.pool_bytes > d.memory_limit - size)) fail(d, OutOfMemory);
    void* block = system_alloc(size + 8);
    if (block == nullptr) fail(d, OutOfMemory);
    d.pool_blocks[slot] = block;
    d.pool_bytes += size;
    uintptr_t address = reinterpret_cast<uintptr_t>(block);
    return reinterpret_cast<void*>((address + 7) & ~static_cast<uintptr_t>(7));
}

void initialize(JpegDecoder& d, ByteSource& source) {
    // Every field up to the look-up tables at the end starts at zero or null: tables,
    // geometry, counters, pool slots, input state, push-back room and buffer.
    // Only the caller's memory limit, settings, stop flag and segment sink
    // survive. The tables at the record's end are left as they are.
    const size_t memory_limit = d.memory_limit;
    const DecodeSettings settings = d.settings;
    const std::atomic<bool>* stop_flag = d.stop_flag;
    SegmentSink segment_sink = d.segment_sink;
    void* segment_context = d.segment_context;
    std::memset(static_cast<void*>(&d), 0, offsetof(JpegDecoder, fast_ac));
    d.memory_limit = memory_limit;
    d.settings = settings;
    d.stop_flag = stop_flag;
    d.segment_sink = segment_sink;
    d.segment_context = segment_context;
    d.source = &source;
    d.opened = 1;
    d.in_cursor = in_buffer(d);
    d.adobe_transform = -1;
    d.row_block_table = d.row_blocks;
    d.last_nonzero_table = d.block_last_nonzero;
    // A source that throws is one that cannot be read.
    try {
        source.attach();
    } catch (...) {
        d.source = nullptr;  // never attached, so not detached either
        fail(d, StreamError);
    }
    // Settings out of range are arguments the decoder cannot use.
    if (settings.max_side < 0 || settings.max_side > 65535 || settings.scale_shift < 0 || settings.scale_shift > 3 ||
        settings.layout < LayoutDefault || settings.layout > LayoutGrey)
        fail(d, StreamError);
    refill_input(d);
    d.bit_buffer = 0;
    prime_header_bits(d);
}

bool prepare_decoding(JpegDecoder& d, const uint8_t* data, size_t size) {
    start_frame(d);
    if (!d.is_progressive)
        start_sequential(d);
    else if (data == nullptr || d.settings.scale_shift == 3)
        decode_all_scans(d);  // the eighth size passes over the AC scans
    else
        return decode_all_scans_two_threads(d, data, size);
    return true;
}

namespace {

// Fills the row blocks with the coefficients of the next MCU row: from the
// scan (sequential) or from the grids that begin filled (progressive).
// With the MCU row that holds the picture's last rows, a sequential
// picture's segments after the scan are read too (finish_image), within the
// same call and its error exit.
void decode_mcu_coefficients(JpegDecoder& d, int32_t first_mcu, int32_t end_mcu) {
    check_stop(d);
    if (d.is_progressive) {
        load_row_from_coeffs(d);
    } else {
        // An MCU row that starts where the scan's data has ended is made up
        // from what follows (synthesised bytes, or the fill in front of a
        // marker), even where its codes consume no bit.
        if (first_mcu == 0 && !entropy_data_left(d, true)) d.data_incomplete = 1;
        decode_row_blocks(d, first_mcu, end_mcu);
        if (entropy_read_past_end(d)) d.data_incomplete = 1;
        if (end_mcu >= 0 && end_mcu < d.mcus_across) return;
    }
    if (d.rows_remaining <= d.mcu_height) finish_image(d);
}

}  // namespace

bool next_mcu_coefficients(JpegDecoder& d, int32_t first_mcu, int32_t end_mcu) {
    try {
        decode_mcu_coefficients(d, first_mcu, end_mcu);
    } catch (const DecodeFailure&) {
        // A row that fails after the reader met the end of the data
        // failed because the data ended (or ends without its marker).
        if (d.data_exhausted && !d.is_progressive) d.data_incomplete = 1;
        return false;
    }
    return true;
}

namespace {

bool converts_pairs(const JpegDecoder& d) { return d.output_scheme == SchemeH1V2 || d.output_scheme == SchemeH2V2; }

}  // namespace

const uint8_t* convert_row(JpegDecoder& d, uint8_t* target, uint8_t* next_target) {
    const int32_t layout = d.settings.layout;
    d.bytes_per_pixel = layout_bytes(layout, d.frame_component_count);
    d.output_row_bytes = d.output_width * d.bytes_per_pixel;
    const size_t bytes = static_cast<size_t>(d.output_row_bytes);
    if (d.output_scheme == SchemeGeneral) {
        // Whole MCUs of any size at once, into the padded buffer.
        convert_general(d, layout, d.out_row_0);
        if (target == nullptr) return d.out_row_0;
        std::memcpy(target, d.out_row_0, bytes);
        return target;
    }
    const bool paired = converts_pairs(d);
    const bool second_of_pair = paired && (d.mcu_rows_remaining & 1) != 0;
    if (second_of_pair && d.pair_layout == layout) {
        // Converted with the row above.
        if (target == nullptr || target == d.pair_row) return d.pair_row;
        std::memcpy(target, d.pair_row, bytes);
        return target;
    }
    // A second row whose layout changed since its pair was converted is
    // converted again, alone: the pair's second row goes to out_row_1.
    uint8_t* row0 = target != nullptr ? target : d.out_row_0;
    uint8_t* row1 = !paired ? nullptr : !second_of_pair && next_target != nullptr ? next_target : d.out_row_1;
    const RowConverter convert = row_converter(d, layout);
    const bool exact0 = row0 != d.out_row_0, exact1 = row1 != nullptr && row1 != d.out_row_1;
    if (!exact0 && !exact1) {
        convert(d, row0, row1, 0, d.mcus_per_row);
    } else {
        // Whole MCUs straight into the rows; a last partial one through the
        // padded buffers, then only its pixels inside the picture.
        const int32_t whole = d.output_width / d.mcu_width;
        convert(d, row0, row1, 0, whole);
        if (whole < d.mcus_per_row) {
            const size_t done = static_cast<size_t>(whole) * static_cast<size_t>(d.mcu_width * d.bytes_per_pixel);
            uint8_t* tail0 = exact0 ? d.out_row_0 : row0 + done;
            uint8_t* tail1 = row1 == nullptr ? nullptr : exact1 ? d.out_row_1 : row1 + done;
            convert(d, tail0, tail1, whole, d.mcus_per_row);
            if (exact0) std::memcpy(row0 + done, tail0, bytes - done);
            if (exact1) std::memcpy(row1 + done, tail1, bytes - done);
        }
    }
    if (paired) {
        d.pair_row = row1;
        d.pair_layout = second_of_pair ? -1 : layout;
    }
    return row0;
}

}  // namespace marivue::jpeg::detail

namespace marivue::jpeg {

using namespace detail;

JpegDecoder::JpegDecoder() noexcept { std::memset(static_cast<void*>(this), 0, offsetof(JpegDecoder, fast_ac)); }

void detail::copy_record(JpegDecoder& copy, const JpegDecoder& d, HuffDecodeTable* tables) {
    std::memcpy(static_cast<void*>(&copy), &d, sizeof d);
    copy.in_cursor = copy.in_storage + (d.in_cursor - d.in_storage);
    for (void*& block : copy.pool_blocks) block = nullptr;
    copy.pool_bytes = 0;
    copy.segment_sink = nullptr;
    for (int i = 0; i < 8; i++)
        if (d.huff_decode_tables[i] != nullptr) {
            tables[i] = *d.huff_decode_tables[i];
            copy.huff_decode_tables[i] = &tables[i];
        }
}

void free_pool(JpegDecoder& d) {
    if (d.source != nullptr) {
        ByteSource* source = d.source;
        d.source = nullptr;
        // Nothing thrown leaves the decoder; the memory is freed either way.
        try {
            source->detach();
        } catch (...) {
        }
    }
    for (void*& block : d.pool_blocks) {
        system_free(block);
        block = nullptr;
    }
    d.pool_bytes = 0;
}

void open_decoder(JpegDecoder& d, ByteSource& source) {
    // A record still holding a stream lets it go first, so nothing leaks.
    free_pool(d);
    try {
        initialize(d, source);
        find_frame_header(d);
    } catch (const DecodeFailure&) {
    }
}

int32_t begin(JpegDecoder& d) { return detail::begin_in_memory(d, nullptr, 0); }

int32_t detail::begin_in_memory(JpegDecoder& d, const uint8_t* data, size_t size) {
    if (d.ready) return 0;
    if (d.status != 0) return -1;
    if (!d.opened) {
        d.status = StreamError;  // no stream to begin on
        return -1;
    }
    try {
        if (!prepare_decoding(d, data, size)) return 1;
    } catch (const DecodeFailure&) {
        return -1;
    }
    d.ready = 1;
    return 0;
}

namespace {

// decode_row and decode_row_into: the row into `target`, or the decoder's
// own buffer where it is null.
int32_t next_row(JpegDecoder& d, uint8_t* target, uint8_t* next_target, const uint8_t** row_out) {
    if (d.status != 0 || !d.ready) return -1;
    if (d.rows_remaining == 0) return 1;
    if (d.settings.layout < LayoutDefault || d.settings.layout > LayoutGrey) {
        d.status = StreamError;  // a layout the decoder does not have
        free_pool(d);
        return -1;
    }
    if (d.mcu_rows_remaining == 0) {
        if (!next_mcu_coefficients(d)) return DecodeError;
        transform_row(d);
        d.mcu_rows_remaining = d.mcu_height;
    }
    *row_out = convert_row(d, target, next_target);
    d.mcu_rows_remaining--;
    d.rows_remaining--;
    return 0;
}

}  // namespace

int32_t decode_row(JpegDecoder& d, const uint8_t** row_out, int32_t* row_bytes_out) {
    const int32_t result = next_row(d, nullptr, nullptr, row_out);
    if (result == 0) *row_bytes_out = d.output_row_bytes;
    return result;
}

int32_t decode_row_into(JpegDecoder& d, uint8_t* row, uint8_t* next_row_target) {
    const uint8_t* unused;
    return next_row(d, row, next_row_target, &unused);
}

}  // namespace marivue::jpeg
