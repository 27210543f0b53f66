// The decoder record's lifecycle: construction, begin, the row entry checks,
// the memory pool and the single error exit.
#include "jpeg/internal.h"

#include <cstring>

void fail(JpegDecoder& d, int32_t code) {
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
    if (d.memory_limit != 0 && (size > d.memory_limit || d.pool_bytes > d.memory_limit - size))
        fail(d, OutOfMemory);
    void* block = system_alloc(size + 8);
    if (block == nullptr) fail(d, OutOfMemory);
    d.pool_blocks[slot] = block;
    d.pool_bytes += size;
    uintptr_t address = reinterpret_cast<uintptr_t>(block);
    return reinterpret_cast<void*>((address + 7) & ~static_cast<uintptr_t>(7));
}

void free_pool(JpegDecoder& d) {
    if (d.source != nullptr) {
        ByteSource* source = d.source;
        d.source = nullptr;
        source->detach();
    }
    for (void*& block : d.pool_blocks) {
        system_free(block);
        block = nullptr;
    }
    d.pool_bytes = 0;
}

void initialize(JpegDecoder& d, ByteSource& source) {
    // Every field starts at zero or null: tables, geometry, counters, pool
    // slots, input state, push-back room and buffer. Only the caller's
    // memory limit survives.
    size_t memory_limit = d.memory_limit;
    std::memset(static_cast<void*>(&d), 0, sizeof d);
    d.memory_limit = memory_limit;
    d.source = &source;
    d.in_cursor = in_buffer(d);
    source.attach();
    refill_input(d);
    d.bit_buffer = 0;
    prime_header_bits(d);
    for (int32_t& mark : d.block_last_nonzero) mark = 64;
}

void open_decoder(JpegDecoder& d, ByteSource& source) {
    try {
        initialize(d, source);
        find_frame_header(d);
    } catch (const DecodeFailure&) {
    }
}

void prepare_decoding(JpegDecoder& d) {
    start_frame(d);
    if (d.is_progressive)
        decode_all_scans(d);
    else
        start_sequential(d);
}

int32_t begin(JpegDecoder& d) {
    if (d.ready) return 0;
    if (d.status != 0) return -1;
    try {
        prepare_decoding(d);
    } catch (const DecodeFailure&) {
        return -1;
    }
    d.ready = 1;
    return 0;
}

int32_t decode_row(JpegDecoder& d, const uint8_t** row_out, int32_t* row_bytes_out) {
    if (d.status != 0 || !d.ready) return -1;
    return deliver_row(d, row_out, row_bytes_out);
}
