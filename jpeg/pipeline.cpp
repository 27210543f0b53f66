// The one-call decode on two threads. The calling thread does what only it
// can do in order, the entropy decoding (or, for a progressive picture, the
// loading of the grids) of one MCU row after another, and hands each row's
// coefficients over; a second thread transforms and converts them and
// passes the rows on. The second thread works on a copy of the record with
// buffers of its own, and the functions it runs are the ones decode_row
// runs, in the same order for every MCU row, so the rows are the same. The
// streaming interface does not use this: it stays on its caller's thread.
#include "jpeg/internal.h"

#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

namespace marivue::jpeg::detail {

namespace {

// Slots in flight: the one being transformed, and room for the entropy
// side to run ahead where one takes longer than another.
constexpr int slot_count = 3;
// A slot carries as many MCU rows as make about this many blocks, so that
// the threads meet (and wake each other) a few hundred times per picture
// rather than once per MCU row.
constexpr int32_t blocks_per_slot = 4096;
constexpr int32_t most_mcu_rows_per_slot = 16;

struct Slot {
    std::vector<int16_t> coefficients;  // mcu_rows x row_block_count blocks of 64
    int32_t mcu_rows = 0;
    int32_t first_row = 0;  // the picture row of the first MCU row's first row
    int32_t rows = 0;  // picture rows in all, the last MCU row's perhaps fewer than mcu_height
    // The first rows of those whose data the stream had in full: the MCU
    // rows decoded before the entropy reader ran past the end of the data.
    int32_t complete_rows = 0;
};

struct Handover {
    std::mutex lock;
    std::condition_variable changed;
    int64_t filled = 0;  // slots handed over so far
    int64_t done = 0;  // slots the second thread has finished
    bool finished = false;  // no more slots will come
};

struct Worker {
    JpegDecoder* rows;  // the second thread's copy of the record
    Slot* slots;
    Handover* handover;
    RowConsumer consume;
    void* context;
    uint8_t* pixels;  // where not null, the rows go straight here
    size_t stride;

    void run() {
        for (;;) {
            {
                std::unique_lock<std::mutex> guard(handover->lock);
                handover->changed.wait(guard, [&] { return handover->done < handover->filled || handover->finished; });
                if (handover->done == handover->filled) return;
            }
            // Once the caller has asked to stop, the calling thread fails at
            // its next MCU row; the slots in flight are only counted off.
            const std::atomic<bool>* stop = rows->stop_flag;
            if (stop == nullptr || !stop->load(std::memory_order_relaxed)) convert(slots[handover->done % slot_count]);
            {
                std::lock_guard<std::mutex> guard(handover->lock);
                handover->done++;
            }
            handover->changed.notify_all();
        }
    }

    // What decode_row does for each MCU row: the transform, then row by
    // row the conversion and the count-down.
    void convert(Slot& slot) {
        JpegDecoder& d = *rows;
        int32_t y = slot.first_row;
        const int32_t end = slot.first_row + slot.rows;
        for (int32_t m = 0; m < slot.mcu_rows; m++) {
            int16_t* blocks = slot.coefficients.data() + static_cast<size_t>(m) * d.row_block_count * 64;
            for (int32_t i = 0; i < d.row_block_count; i++) d.row_block_table[i] = blocks + 64 * i;
            transform_row(d);
            d.mcu_rows_remaining = d.mcu_height;
            for (int32_t r = 0; r < d.mcu_height && y < end; r++, y++) {
                uint8_t* target = pixels == nullptr ? nullptr : pixels + stride * static_cast<size_t>(y);
                uint8_t* next = target == nullptr || y + 1 >= end ? nullptr : target + stride;
                const uint8_t* row = convert_row(d, target, next);
                d.mcu_rows_remaining--;
                d.rows_remaining--;
                // As decode_row leaves the flag after this row.
                if (y >= slot.first_row + slot.complete_rows) d.data_incomplete = 1;
                if (consume != nullptr) consume(context, d, row, y);
            }
        }
    }
};

}  // namespace

int32_t decode_rows_two_threads(JpegDecoder& d, RowConsumer consume, void* context, int32_t& result, uint8_t* pixels,
                                size_t stride) {
    if (d.status != 0 || !d.ready || d.mcu_rows_remaining != 0) return -1;
    // The second thread's record: geometry, tables and scheme as they are,
    // its own block pointers, sample, component and output rows. It never
    // fails and never touches the pool, so the pool pointers it carries are
    // only copies.
    std::unique_ptr<JpegDecoder> copy(new (std::nothrow) JpegDecoder);
    if (copy == nullptr) return -1;
    std::memcpy(static_cast<void*>(copy.get()), &d, sizeof d);
    std::vector<uint8_t> samples, out_0, out_1, planes;
    std::vector<int16_t*> block_table;
    Slot slots[slot_count];
    int32_t mcu_rows_per_slot = blocks_per_slot / (d.row_block_count > 0 ? d.row_block_count : 1);
    if (mcu_rows_per_slot < 1) mcu_rows_per_slot = 1;
    if (mcu_rows_per_slot > most_mcu_rows_per_slot) mcu_rows_per_slot = most_mcu_rows_per_slot;
    try {
        samples.resize(static_cast<size_t>(d.row_block_count) * 64 + 8);
        out_0.resize(static_cast<size_t>(d.padded_row_bytes) + 8);
        out_1.resize(static_cast<size_t>(d.padded_row_bytes) + 8);
        block_table.resize(static_cast<size_t>(d.row_block_count));
        if (d.output_scheme == SchemeGeneral)
            planes.resize(static_cast<size_t>(d.frame_component_count) * static_cast<size_t>(d.plane_stride) + 8);
        for (Slot& slot : slots)
            slot.coefficients.resize(static_cast<size_t>(mcu_rows_per_slot) * d.row_block_count * 64);
    } catch (const std::bad_alloc&) {
        return -1;
    }
    copy->sample_rows = samples.data();
    copy->out_row_0 = out_0.data();
    copy->out_row_1 = out_1.data();
    copy->row_block_table = block_table.data();
    copy->plane_rows = planes.data();

    Handover handover;
    Worker worker{copy.get(), slots, &handover, consume, context, pixels, stride};
    std::thread second;
    try {
        second = std::thread([&worker] { worker.run(); });
    } catch (const std::system_error&) {
        return -1;
    }

    // The coefficient rows the transform reads: at a reduced size only the
    // top 8 >> scale_shift rows of each block.
    const size_t bytes = size_t{128} >> d.settings.scale_shift;
    int32_t delivered = 0;
    result = 1;
    while (d.rows_remaining > 0 && result == 1) {
        {
            std::unique_lock<std::mutex> guard(handover.lock);
            handover.changed.wait(guard, [&] { return handover.filled - handover.done < slot_count; });
        }
        Slot& slot = slots[handover.filled % slot_count];
        slot.mcu_rows = 0;
        slot.first_row = d.output_height - d.rows_remaining;
        slot.rows = 0;
        slot.complete_rows = 0;
        while (slot.mcu_rows < mcu_rows_per_slot && d.rows_remaining > 0) {
            if (!next_mcu_coefficients(d)) {
                result = DecodeError;
                break;
            }
            int16_t* blocks = slot.coefficients.data() + static_cast<size_t>(slot.mcu_rows) * d.row_block_count * 64;
            for (int32_t i = 0; i < d.row_block_count; i++) std::memcpy(blocks + 64 * i, d.row_block_table[i], bytes);
            const int32_t rows = d.rows_remaining < d.mcu_height ? d.rows_remaining : d.mcu_height;
            // The count-down decode_row would have made over these rows, so
            // that the next MCU row sees the same state.
            d.rows_remaining -= rows;
            slot.rows += rows;
            if (!d.data_incomplete) slot.complete_rows = slot.rows;
            slot.mcu_rows++;
        }
        if (slot.mcu_rows == 0) break;
        delivered += slot.rows;
        {
            std::lock_guard<std::mutex> guard(handover.lock);
            handover.filled++;
        }
        handover.changed.notify_all();
    }
    {
        std::lock_guard<std::mutex> guard(handover.lock);
        handover.finished = true;
    }
    handover.changed.notify_all();
    second.join();
    return delivered;
}

}  // namespace marivue::jpeg::detail
