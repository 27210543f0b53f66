// One sequential scan's entropy decoding on two threads, for the one-call
// decode of a stream held whole in memory.
//
// The calling thread (the first decoder) decodes, transforms and converts
// the MCU rows from the top. A second decoder, a copy of the record with a
// reader of its own, starts at a byte well inside the scan and decodes from
// there into a store of coefficient blocks, one MCU after another, noting
// where each MCU starts. With restart markers it starts just after one, at
// a known MCU with DC predictions 0. Without them it does not know where it
// stands: it decodes as if an MCU started there. Huffman codes fall back
// into step with the real ones after a short run of bits, and from the
// first MCU start the two decoders share, the second one's MCUs are exactly
// those the first would decode, but for the DC predictions, which are
// additive: the difference of the two decoders' predictions there, added
// to every later DC coefficient, mends them. The first decoder, once near
// the second one's start, compares each of its MCU starts with the noted
// ones; the first equal one is the join. Both readers fetch 16-bit words at
// the same even distances from the scan's start (the second one's start is
// chosen so), so that the reader's state at a bit position is the same in
// both: equal input position and bit count mean the same position, and
// either decoder can carry on from the other's state.
//
// After the join both threads transform and convert the stored MCU rows.
// Where the store ends before the picture does (its memory bound, a
// failure, a marker or the end of the data in the second decoder), the first
// decoder takes up the second one's state at the store's last MCU start and
// decodes the rest itself, failures and all, as it would have alone. No join
// (the second decoder never fell into step, or the first one failed before
// it) leaves the first decoder to go on alone. Either way the rows, the
// result and the status are those of the one-thread decode.
#include "jpeg/split_shared.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <system_error>
#include <thread>
#include <vector>

namespace marivue::jpeg::detail {

namespace {

using namespace split;

// The second decoder's store: at most this much, and never more than the
// caller's memory limit leaves beside the pool.
constexpr size_t most_store_bytes = size_t{64} << 20;
// The first decoder gives up the join after this many MCU starts past the
// second decoder's first one: the codes fall into step long before.
constexpr int32_t most_join_mcus = 4096;
// Where the second decoder starts, in thousandths of the scan's bytes. The
// first decoder also transforms and converts its part while the second
// only decodes, and the second can convert nothing before the join: the
// two reach the join at about the same time when the first takes the
// smaller part, the smaller the less of the work decoding is. That goes
// with the bits a pixel takes: about 0.35 of the scan in a smooth picture
// of half a bit a pixel or less, 0.49 from two bits a pixel up (measured
// on the benchmark's 4:2:0, 4:4:4 and grey photographs; the second decoder
// packs what it decodes and is the slower of the two).
int32_t default_permille(const JpegDecoder& d, size_t size) {
    const int64_t pixels = static_cast<int64_t>(d.image_width) * d.image_height;
    const int64_t millibits =
        pixels > 0 ? static_cast<int64_t>(std::min<size_t>(size, INT64_MAX / 8000)) * 8000 / pixels : 0;
    return static_cast<int32_t>(350 + (std::clamp<int64_t>(millibits, 500, 2000) - 500) * 140 / 1500);
}

struct Split {
    Split(JpegDecoder& first, const uint8_t* bytes, size_t count, uint8_t* rows, size_t row_stride)
        : d(first), data(bytes), size(count), pixels(rows), stride(row_stride) {}

    JpegDecoder& d;  // the first decoder
    const uint8_t* data;
    size_t size;
    uint8_t* pixels;
    size_t stride;
    Shared shared;
    // The second decoder: its record, source, tables and buffers.
    std::unique_ptr<JpegDecoder> second;
    std::optional<MemoryByteSource> second_source;
    HuffDecodeTable huff_copies[8];
    std::vector<int16_t> quant_copies;
    std::vector<int32_t> wide_copies;  // the wide look-up tables, where the frame has them
    std::vector<uint8_t> samples, out_0, out_1, planes;
    std::vector<int16_t*> second_table, first_table;
    // The stored MCUs, packed (see pack), and where each one starts.
    std::unique_ptr<uint8_t[], FreeDeleter> packed;
    size_t packed_room = 0;
    std::vector<uint32_t> mcu_at;  // capacity + 1
    std::vector<McuStart> starts;  // the first MCU starts, for the join
    McuStart final_start{};  // where the second decoder stopped: the start of MCU `stored`
    std::vector<int16_t> second_blocks, first_blocks;
    int32_t capacity = 0;
    int16_t dc_step[4] = {};  // each component's DC quantiser
    int64_t planned_offset = 0;  // where the second decoder's data starts at first
    int64_t start_offset = 0;  // and where it starts in the end (the second thread's)
    int32_t first_mcu = -1;  // its first MCU, where restart markers tell

    // Unpacks stored MCUs first to end - 1 into `blocks` (one after another),
    // with the DC prediction differences added: the difference times the
    // quantiser, in the dequantisation's 16-bit arithmetic.
    void unpack_mcus(int32_t first, int32_t end, int16_t* const* blocks) const {
        int32_t add[4];
        for (int32_t c = 0; c < 4; c++) add[c] = wrap_mul(shared.delta[c], dc_step[c]);
        const uint8_t* in = packed.get() + mcu_at[static_cast<size_t>(first)];
        int32_t b = 0;
        for (int32_t m = first; m < end; m++)
            for (int32_t j = 0; j < d.blocks_per_mcu; j++)
                in = unpack_block(in, blocks[b++], add[d.mcu_block_component[j]]);
    }

    // The second thread: decodes until its store is full, it fails, the
    // data ends or the join is abandoned; then converts stored rows. Without
    // restart markers, a failure among the first MCUs is taken for codes
    // not yet in step: it starts again a little further on, having
    // published nothing yet.
    void run_second() {
        JpegDecoder& s = *second;
        const int32_t probation = first_mcu >= 0 ? 0 : 32;
        const size_t most_mcu = most_packed_block * static_cast<size_t>(d.blocks_per_mcu);
        int32_t retries = 0;
        size_t used = 0;
        int32_t i = 0;
        // The caller's stop ends it too: the first decoder waits for it
        // before it can fail.
        const std::atomic<bool>* stop = d.stop_flag;
        PackedDecoding coding;
        prepare_packed_decoding(s, coding);
        for (; i < capacity && i < shared.limit.load(std::memory_order_relaxed) &&
               !shared.abandon.load(std::memory_order_relaxed);
             i++) {
            if (packed_room - used < most_mcu) break;
            if (stop != nullptr && stop->load(std::memory_order_relaxed)) break;
            bool failed = false;
            try {
                if (s.restart_interval != 0 && s.restarts_left == 0) handle_restart(s);
                const size_t bytes = decode_mcu_packed(s, coding, packed.get() + used);
                mcu_at[static_cast<size_t>(i)] = static_cast<uint32_t>(used);
                used += bytes;
                s.restarts_left--;
            } catch (const DecodeFailure&) {
                failed = true;
            }
            // Only starts without the end of the data in sight are kept: the
            // first decoder takes up the state at the store's end as it is.
            if (failed || s.data_exhausted) {
                if (i >= probation || s.data_exhausted || ++retries > 64) break;
                const int64_t at = word_start(start_offset, s.input_bytes - s.in_count + 1);
                if (at < 0 || !start_second(at)) break;
                used = 0;
                i = -1;
                continue;
            }
            mcu_at[static_cast<size_t>(i) + 1] = static_cast<uint32_t>(used);
            final_start = start_of(s);
            if (static_cast<size_t>(i) + 1 < starts.size()) starts[static_cast<size_t>(i) + 1] = final_start;
            if (i + 1 >= probation) shared.publish(i + 1);
        }
        if (i < probation) shared.publish(i);
        {
            std::lock_guard<std::mutex> guard(shared.lock);
            shared.decoded.store(true);
        }
        shared.changed.notify_all();
        {
            std::unique_lock<std::mutex> guard(shared.lock);
            shared.changed.wait(guard, [&] { return shared.settled; });
            if (!shared.joined) return;
        }
        convert_jobs(s, second_table, second_blocks);
    }

    // Transforms and converts MCU row `row` from `r`'s row blocks (as
    // decode_row does, row after row) into the pixels.
    void convert_rows(JpegDecoder& r, int32_t row) const {
        transform_row(r);
        r.mcu_rows_remaining = r.mcu_height;
        const int32_t first = row * r.mcu_height;
        const int32_t end = std::min(first + r.mcu_height, r.output_height);
        for (int32_t y = first; y < end; y++) {
            uint8_t* target = pixels + stride * static_cast<size_t>(y);
            convert_row(r, target, y + 1 < end ? target + stride : nullptr);
            r.mcu_rows_remaining--;
        }
    }

    // Converts stored MCU rows, taken in turn with the other thread, until
    // none is left that the store holds whole. `table` and `blocks` are room
    // for one row's blocks.
    void convert_jobs(JpegDecoder& r, std::vector<int16_t*>& table, std::vector<int16_t>& blocks) {
        int16_t** own = r.row_block_table;
        r.row_block_table = table.data();
        for (int32_t b = 0; b < d.row_block_count; b++) table[static_cast<size_t>(b)] = blocks.data() + 64 * b;
        for (;;) {
            if (r.stop_flag != nullptr && r.stop_flag->load(std::memory_order_relaxed)) break;
            const int32_t row = shared.next_job.fetch_add(1);
            if (row >= shared.job_end) break;
            const int32_t first = row * d.mcus_across - shared.base;
            const int32_t need = first + d.mcus_across;
            if (shared.wait_stored(need) < need) break;
            unpack_mcus(first, need, table.data());
            convert_rows(r, row);
        }
        r.row_block_table = own;
    }

    bool prepare_second(int32_t permille);
    int64_t word_start(int64_t from, int64_t target) const;
    bool start_second(int64_t at);
    int32_t run(int32_t& result, SplitReport* report);
    bool take_up(int32_t row, int32_t column, int32_t& result, bool& alone);
};

// Runs a step of the first decoder's that can fail as next_mcu_coefficients
// runs its own: false on failure, data_incomplete set where the data ran out.
template <typename Step>
bool guarded(JpegDecoder& d, Step step) {
    try {
        step();
    } catch (const DecodeFailure&) {
        if (d.data_exhausted) d.data_incomplete = 1;
        return false;
    }
    return true;
}

int64_t Split::word_start(int64_t from, int64_t target) const {
    // An even number of data bytes (a stuffed 0xFF 0x00 is one) on from
    // `from`, and not just after a 0xFF.
    const int64_t end = static_cast<int64_t>(size);
    int64_t q = from, n = 0;  // q: where data byte n starts
    while (q < target && q < end) {
        const void* ff = std::memchr(data + q, 0xFF, static_cast<size_t>(std::min(target, end) - q));
        const int64_t next = ff != nullptr ? static_cast<int64_t>(static_cast<const uint8_t*>(ff) - data) : target;
        n += next - q;
        q = next;
        if (q >= target) break;
        q += q + 1 < end && data[q + 1] == 0 ? 2 : 1;
        n++;
    }
    for (;;) {
        if (q + 8 >= end) return -1;
        if ((n & 1) == 0 && data[q - 1] != 0xFF) return q;
        q += data[q] == 0xFF && data[q + 1] == 0 ? 2 : 1;
        n++;
    }
}

bool Split::start_second(int64_t at) {
    JpegDecoder& s = *second;
    start_offset = at;
    second_source.emplace(data + at, size - static_cast<size_t>(at));
    s.source = &*second_source;
    s.in_cursor = in_buffer(s);
    s.in_count = 0;
    s.at_end = 0;
    s.input_bytes = at;
    s.zero_reads = 0;
    s.eoi_toggle = 0;
    s.synthesised_bytes = 0;
    s.data_exhausted = 0;
    s.fetches_since_exhausted = 0;
    for (int32_t& dc : s.last_dc) dc = 0;
    if (!guarded(s, [&] { restart_entropy_bits(s); }) || s.data_exhausted) return false;
    starts[0] = start_of(s);
    return true;
}

bool Split::prepare_second(int32_t permille) {
    // The first decoder stands at the scan's first MCU; its reader's words
    // end at `begin`.
    const int64_t begin = d.input_bytes - d.in_count;
    const int64_t end = static_cast<int64_t>(size);
    if (begin <= 0 || begin >= end) return false;
    const int64_t target = begin + (end - begin) * permille / 1000;
    int64_t at = -1;
    uint32_t restarts_left = 0;
    int32_t next_restart = 0;
    if (d.restart_interval != 0) {
        // Just after the first restart marker from `target` on: the n-th
        // marker (from 0) of the scan is in front of MCU (n + 1) x interval.
        int64_t markers = 0;
        for (int64_t q = begin; at < 0;) {
            const void* ff = std::memchr(data + q, 0xFF, static_cast<size_t>(end - q));
            if (ff == nullptr) return false;
            q = static_cast<int64_t>(static_cast<const uint8_t*>(ff) - data);
            if (q + 2 >= end) return false;
            const uint8_t code = data[q + 1];
            if (code == 0 || code == 0xFF) {
                q += code == 0 ? 2 : 1;
                continue;
            }
            if (code < 0xD0 || code > 0xD7) return false;  // the scan ends first
            if (q + 2 >= target) {
                const int64_t mcu = (markers + 1) * static_cast<int64_t>(d.restart_interval);
                if ((code & 7) != (markers & 7) || mcu >= static_cast<int64_t>(d.mcus_across) * d.mcus_down)
                    return false;
                at = q + 2;
                first_mcu = static_cast<int32_t>(mcu);
                restarts_left = d.restart_interval;
                next_restart = (code + 1) & 7;
            }
            markers++;
            q += 2;
        }
    } else {
        at = word_start(begin, target);
        if (at < 0) return false;
    }
    planned_offset = at;

    // The second record: geometry, tables and scheme as they are, tables
    // and buffers of its own (it reads nothing of the pool, which a failure
    // of the first decoder frees), a reader over the bytes from `at`.
    second.reset(new (std::nothrow) JpegDecoder);
    if (second == nullptr) return false;
    JpegDecoder& s = *second;
    copy_record(s, d, huff_copies);
    s.stop_flag = nullptr;
    s.restarts_left = restarts_left;
    s.next_restart_number = next_restart;
    const size_t total_mcus = static_cast<size_t>(d.mcus_across) * static_cast<size_t>(d.mcus_down);
    const size_t most_mcu = most_packed_block * static_cast<size_t>(d.blocks_per_mcu);
    size_t bound = most_store_bytes;
    if (d.memory_limit != 0) bound = std::min(bound, d.memory_limit > d.pool_bytes ? d.memory_limit - d.pool_bytes : 0);
    // Room for the part after `at`, a quarter more for a denser start, and
    // never more than the picture.
    size_t wanted = total_mcus - std::min(total_mcus, total_mcus * static_cast<size_t>(permille) / 1000);
    wanted = std::min(total_mcus, wanted + wanted / 4 + static_cast<size_t>(d.mcus_across));
    if (first_mcu > 0) wanted = total_mcus - static_cast<size_t>(first_mcu);
    wanted = std::min({wanted, bound / (sizeof(uint32_t) + most_mcu / 8), static_cast<size_t>(INT32_MAX / 2)});
    if (wanted < static_cast<size_t>(d.mcus_across)) return false;
    capacity = static_cast<int32_t>(wanted);
    // Whole blocks at worst, an eighth of that at most in bytes: the pages
    // the store never reaches are never touched.
    packed_room = std::min(bound - sizeof(uint32_t) * (wanted + 1), wanted * most_mcu);
    try {
        quant_copies.resize(4 * 64);
        wide_copies.resize(8 * (size_t{1} << wide_fast_ac_bits));
        mcu_at.resize(wanted + 1);
        starts.resize(std::min(wanted, static_cast<size_t>(most_join_mcus)) + 1);
        second_blocks.resize(64 * static_cast<size_t>(d.row_block_count));
        first_blocks.resize(64 * static_cast<size_t>(d.row_block_count));
        samples.resize(static_cast<size_t>(d.row_block_count) * 64 + 8);
        out_0.resize(static_cast<size_t>(d.padded_row_bytes) + 8);
        out_1.resize(static_cast<size_t>(d.padded_row_bytes) + 8);
        second_table.resize(static_cast<size_t>(d.row_block_count));
        first_table.resize(static_cast<size_t>(d.row_block_count));
        if (d.output_scheme == SchemeGeneral)
            planes.resize(static_cast<size_t>(d.frame_component_count) * static_cast<size_t>(d.plane_stride) + 8);
    } catch (const std::bad_alloc&) {
        return false;
    }
    packed.reset(static_cast<uint8_t*>(std::malloc(packed_room)));
    if (packed == nullptr) return false;
    for (int i = 0; i < 4; i++)
        if (d.quant_tables[i] != nullptr) {
            std::memcpy(&quant_copies[64 * i], d.quant_tables[i], 128);
            s.quant_tables[i] = &quant_copies[64 * i];
        }
    constexpr size_t wide_entries = size_t{1} << wide_fast_ac_bits;
    for (int i = 0; i < 8; i++)
        if (d.wide_fast[i] != nullptr) {
            std::memcpy(&wide_copies[wide_entries * i], d.wide_fast[i], sizeof(int32_t) * wide_entries);
            s.wide_fast[i] = &wide_copies[wide_entries * i];
        }
    for (int32_t c = 0; c < d.frame_component_count; c++) dc_step[c] = d.quant_tables[d.comp_quant_index[c]][0];
    s.sample_rows = samples.data();
    s.out_row_0 = out_0.data();
    s.out_row_1 = out_1.data();
    s.plane_rows = planes.data();
    s.row_block_table = second_table.data();
    return start_second(at);
}

// Makes the first decoder finish MCU row `row` from MCU `column` on: the
// stored MCUs as far as the store reaches, then, where the store ends
// inside the row or the row is the picture's last, from the second
// decoder's state at that MCU on its own. False on failure (result set).
bool Split::take_up(int32_t row, int32_t column, int32_t& result, bool& alone) {
    const int32_t first = row * d.mcus_across + column - shared.base;
    const int32_t need = (row + 1) * d.mcus_across - shared.base;
    const int32_t got = std::max(first, shared.wait_stored(need));
    const int32_t b = column * d.blocks_per_mcu;
    if (got > first) unpack_mcus(first, got, d.row_block_table + b);
    for (int32_t i = b; i < b + (got - first) * d.blocks_per_mcu; i++) d.last_nonzero_table[i] = 64;
    const int32_t resume = column + (got - first);
    if (resume == d.mcus_across && d.rows_remaining > d.mcu_height) return true;
    alone = true;
    // From the store's end: the wait returned short (the second decoder is
    // done), or this is the last row, which the store holds whole only where
    // the second decoder stopped at the picture's end (`limit`).
    if (shared.wait_decoded() != got) {
        result = DecodeError;
        d.status = DecodeError;
        free_pool(d);
        return false;
    }
    const McuStart& s = final_start;
    const bool moved = guarded(d, [&] {
        // The first reader's input moves on to where the second one's is.
        const int64_t at = d.input_bytes - d.in_count;
        if (s.offset - at <= d.in_count) {
            d.in_cursor += s.offset - at;
            d.in_count -= static_cast<int32_t>(s.offset - at);
        } else {
            while (d.input_bytes < s.offset && !d.at_end) refill_input(d);
            const int64_t beyond = d.input_bytes - s.offset;
            if (beyond < 0 || beyond > d.in_count) fail(d, StreamError);
            d.in_cursor += d.in_count - beyond;
            d.in_count = static_cast<int32_t>(beyond);
        }
    });
    if (!moved) {
        result = DecodeError;
        return false;
    }
    d.bit_buffer = s.bit_buffer;
    d.bit_count = s.bit_count;
    d.restarts_left = s.restarts_left;
    d.next_restart_number = s.next_restart_number;
    for (int32_t c = 0; c < 4; c++) d.last_dc[c] = wrap_add(s.last_dc[c], shared.delta[c]);
    if (!next_mcu_coefficients(d, resume)) {
        result = DecodeError;
        return false;
    }
    return true;
}

int32_t Split::run(int32_t& result, SplitReport* report) {
    const int32_t across = d.mcus_across;
    const int32_t last_row = d.mcus_down - 1;
    std::thread thread;
    try {
        thread = std::thread([this] { run_second(); });
    } catch (const std::system_error&) {
        return -1;
    }
    result = 1;
    int32_t row = 0;
    int64_t widest_row = 0;  // the most bytes an MCU row took so far
    int32_t checked = 0;  // MCU starts compared at or past the second's first
    int32_t seen = 0;  // noted starts passed over
    bool open = true;  // a join is still possible
    int32_t join = -1;  // the store's MCU at the join
    int32_t join_column = 0;
    int64_t first_key = -1;  // known once the second decoder publishes
    // Joins at the store's MCU j, unless the second decoder may already
    // have gone past the picture's last MCU (data beyond the scan's end that
    // decodes), where the state at that MCU would be lost.
    auto joins = [&](int32_t j, int32_t column) {
        const int32_t base = row * across + column - j;
        const int32_t limit = d.mcus_across * d.mcus_down - base;
        shared.limit.store(limit);
        if (shared.stored.load() >= limit) {
            open = false;
            return false;
        }
        join = j;
        join_column = column;
        return true;
    };
    // Compares the first decoder's MCU start with the noted ones; true on
    // the join (`join` set).
    auto meets = [&](int32_t column) {
        if (first_key < 0) {
            if (shared.wait_stored(1) < 1) {
                open = false;
                return false;
            }
            first_key = key_of(starts[0]);
        }
        const int64_t key = key_of(d);
        if (key < first_key || d.data_exhausted) return false;
        if (++checked > most_join_mcus) {
            open = false;
            return false;
        }
        const int32_t noted = static_cast<int32_t>(starts.size()) - 1;
        for (;;) {
            const int32_t have = std::min(shared.stored.load(), noted);
            while (seen < have && key_of(starts[static_cast<size_t>(seen)]) < key) seen++;
            if (seen < have) return key_of(starts[static_cast<size_t>(seen)]) == key && joins(seen, column);
            if (seen >= noted || shared.wait_stored(seen + 1) <= seen) {
                open = false;  // the store ends before this point
                return false;
            }
        }
    };
    for (; row <= last_row && result == 1 && join < 0; row++) {
        d.rows_remaining = d.output_height - row * d.mcu_height;
        const int64_t at = d.input_bytes - d.in_count;
        const bool near = open && (d.restart_interval != 0 ? first_mcu >= row * across && first_mcu < (row + 1) * across
                                                           : at + 2 * widest_row + 64 >= planned_offset);
        if (!near) {
            if (!next_mcu_coefficients(d)) result = DecodeError;
        } else {
            for (int32_t column = 0; column < across && result == 1; column++) {
                if (d.restart_interval == 0) {
                    if (open && meets(column)) break;
                } else if (row * across + column == first_mcu) {
                    // Past the restart marker the first decoder reads there, it
                    // stands where the second decoder started.
                    open = false;
                    if (d.restarts_left == 0 && !guarded(d, [&] { handle_restart(d); })) {
                        result = DecodeError;
                        break;
                    }
                    if (shared.wait_stored(1) >= 1 && key_of(d) == key_of(starts[0]) &&
                        d.restarts_left == starts[0].restarts_left &&
                        d.next_restart_number == starts[0].next_restart_number && !d.data_exhausted && joins(0, column))
                        break;
                }
                if (!next_mcu_coefficients(d, column, column + 1)) result = DecodeError;
            }
        }
        if (result != 1 || join >= 0) break;
        widest_row = std::max(widest_row, d.input_bytes - d.in_count - at);
        convert_rows(d, row);
        if (!open && !shared.settled) shared.settle(false);
    }
    if (join >= 0) {
        {
            std::lock_guard<std::mutex> guard(shared.lock);
            shared.base = row * across + join_column - join;
            for (int32_t c = 0; c < 4; c++)
                shared.delta[c] = wrap_sub(d.last_dc[c], starts[static_cast<size_t>(join)].last_dc[c]);
            shared.next_job.store(row + 1);
            shared.job_end = last_row;
        }
        shared.settle(true);
        if (report != nullptr) {
            const McuStart& s = starts[static_cast<size_t>(join)];
            report->joined = 1;
            report->join_mcus = join;
            report->join_bits = 8 * (s.offset - start_offset) - (16 + s.bit_count);
        }
        // The join's row, then the stored rows with the other thread, then
        // from the store's end on alone.
        bool alone = false;
        if (take_up(row, join_column, result, alone)) {
            convert_rows(d, row);
            row++;
            if (!alone) {
                convert_jobs(d, first_table, first_blocks);
                const int32_t stored = shared.wait_decoded();
                const int32_t tail = std::min(last_row, (shared.base + stored) / across);
                row = std::max(row, tail);
                d.rows_remaining = d.output_height - row * d.mcu_height;
                if (take_up(row, 0, result, alone)) {
                    convert_rows(d, row);
                    row++;
                }
            }
            for (; row <= last_row && result == 1; row++) {
                d.rows_remaining = d.output_height - row * d.mcu_height;
                if (!next_mcu_coefficients(d)) {
                    result = DecodeError;
                    break;
                }
                convert_rows(d, row);
            }
        }
    }
    if (!shared.settled) shared.settle(false);
    thread.join();
    if (report != nullptr) {
        report->started = 1;
        report->start_offset = start_offset;
        report->stored_mcus = shared.stored.load();
        report->capacity = capacity;
    }
    if (result == 1) {
        d.rows_remaining = 0;
        return d.output_height;
    }
    return row * d.mcu_height;
}

}  // namespace

int32_t decode_rows_split(JpegDecoder& d, const uint8_t* data, size_t size, int32_t& result, uint8_t* pixels,
                          size_t stride, int32_t permille, SplitReport* report) {
    if (d.status != 0 || !d.ready || d.is_progressive || d.settings.scale_shift != 0 || pixels == nullptr ||
        data == nullptr || d.mcu_rows_remaining != 0 || d.rows_remaining != d.output_height || d.mcus_down < 2 ||
        d.mcus_across != d.mcus_per_row || d.blocks_per_mcu != d.blocks_per_output_mcu || d.data_exhausted)
        return -1;
    if (permille <= 0 || permille >= 1000) permille = default_permille(d, size);
    std::unique_ptr<Split> split(new (std::nothrow) Split(d, data, size, pixels, stride));
    if (split == nullptr || !split->prepare_second(permille)) return -1;
    return split->run(result, report);
}

}  // namespace marivue::jpeg::detail
