// What the split scan's two decoders share (split.cpp): where an MCU
// starts, and the handover of the second decoder's store and the join.
#pragma once

#include "jpeg/internal.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <mutex>

namespace marivue::jpeg::detail::split {

// Where a decoder stands at the start of an MCU, before a restart marker
// in front of it is read: everything the MCU's decoding depends on.
struct McuStart {
    int64_t offset;  // stream bytes read: the reader's last word ends there
    uint32_t bit_buffer;
    int32_t bit_count;
    uint32_t restarts_left;
    int32_t next_restart_number;
    int32_t last_dc[4];
};

inline McuStart start_of(const JpegDecoder& d) {
    McuStart s;
    s.offset = d.input_bytes - d.in_count;
    s.bit_buffer = d.bit_buffer;
    s.bit_count = d.bit_count;
    s.restarts_left = d.restarts_left;
    s.next_restart_number = d.next_restart_number;
    std::memcpy(s.last_dc, d.last_dc, sizeof s.last_dc);
    return s;
}

// Orders MCU starts of readers whose words are aligned alike by their bit
// position: a reader holds 17 to 32 bits (bit_count 1..16) of the words
// before `offset`, and the next word is at least two bytes on.
inline int64_t key_of(int64_t offset, int32_t bit_count) { return offset * 32 + (16 - bit_count); }
inline int64_t key_of(const McuStart& s) { return key_of(s.offset, s.bit_count); }
inline int64_t key_of(const JpegDecoder& d) { return key_of(d.input_bytes - d.in_count, d.bit_count); }

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};

// What the two threads share. The second decoder publishes `stored` after
// each MCU (its block and the start after it written first); the first
// decoder publishes the join, or that there is none, under the lock.
struct Shared {
    std::mutex lock;
    std::condition_variable changed;
    std::atomic<int32_t> stored{0};
    std::atomic<bool> decoded{false};  // the second decoder is done: `stored` is final
    std::atomic<int32_t> awaited{INT32_MAX};  // the `stored` a waiting thread needs
    std::atomic<bool> abandon{false};  // no join: the second decoder stops
    bool settled = false;  // joined or abandoned
    bool joined = false;
    int32_t base = 0;  // the first decoder's index of the store's first MCU
    int32_t delta[4] = {};  // DC prediction differences at the join
    std::atomic<int32_t> next_job{0};  // the next stored MCU row to convert
    int32_t job_end = 0;  // rows from here on are the first decoder's
    // The most MCUs the second decoder may store: once joined, no more than
    // the picture has from its first one on.
    std::atomic<int32_t> limit{INT32_MAX};

    // Wakes a waiting thread only once it has what it waits for, not for
    // every MCU. Taking the lock makes sure that a thread about to wait is
    // waiting before it is woken.
    void publish(int32_t count) {
        stored.store(count);
        if (count >= awaited.load()) {
            { std::lock_guard<std::mutex> guard(lock); }
            changed.notify_all();
        }
    }
    // Waits until the store holds `need` MCUs or will hold no more; returns
    // how many of them it holds.
    int32_t wait_stored(int32_t need) {
        if (stored.load() >= need) return need;
        std::unique_lock<std::mutex> guard(lock);
        awaited.store(need);
        changed.wait(guard, [&] { return stored.load() >= need || decoded.load(); });
        awaited.store(INT32_MAX);
        return std::min(stored.load(), need);
    }
    // Waits until the second decoder is done; returns what it stored.
    int32_t wait_decoded() {
        std::unique_lock<std::mutex> guard(lock);
        changed.wait(guard, [&] { return decoded.load(); });
        return stored.load();
    }
    void settle(bool join) {
        {
            std::lock_guard<std::mutex> guard(lock);
            settled = true;
            joined = join;
        }
        if (!join) abandon.store(true);
        changed.notify_all();
    }
};

}  // namespace marivue::jpeg::detail::split
