// A progressive picture's scans decoded on two threads, for the one-call
// decode of a stream held whole in memory.
//
// The calling thread first reads every scan header the way decode_all_scans
// does, passing over each scan's data; for each scan it keeps a copy of the
// record as the scan starts (its tables, its geometry and a reader of its
// own at the scan's data). Then both threads take the scans in stream order
// and decode them into the shared coefficient grids. A scan reads and
// writes the blocks' coefficients of its own components and band only, and
// block by block; so it depends only on the earlier scans that share a
// component and a coefficient position with it (a refinement on the pass
// before it), and only at the same blocks. Each scan tells how many of its
// MCU rows it has done, and waits before each of its own rows until the
// scans it depends on have done the block rows that row covers: a
// refinement follows the pass before it a few rows behind, on the other
// core. As scans are taken in order, the earliest one not done never
// waits.
//
// The coefficients are then those the one-thread decode gives. What is not
// the plain case (a failure, data that ends early, a marker inside a scan's
// data, a stop, more scans than kept) makes the whole attempt void: the
// caller opens the stream again and decodes it on one thread, which gives
// the same result and status as ever.
#include "jpeg/internal.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <condition_variable>
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

// More scans than this (encoders write about ten) are left to one thread:
// each one keeps a record of its own until it is decoded.
constexpr size_t most_scans = 64;

// Ends a scan's decoding early once another scan has failed.
struct Abandoned {};

// An earlier scan this one waits for: before its own MCU row r it needs
// ceil((r + 1) * own / theirs) of that scan's MCU rows, where `own` and
// `theirs` are the block rows of a shared component that one MCU row of
// each scan covers (its vertical factor in an interleaved scan, else 1).
struct Wait {
    int32_t scan;
    int32_t own;
    int32_t theirs;
};

struct Scan {
    std::unique_ptr<JpegDecoder> record;  // as the scan starts
    std::optional<MemoryByteSource> source;
    HuffDecodeTable tables[8];  // copies of the record's
    BlockDecoder block_decoder = nullptr;
    std::vector<Wait> waits;
    int64_t restart_markers = 0;  // in its data
    int64_t cost = 0;  // what decoding it takes, roughly
    int64_t chain = 0;  // its cost and that of the costliest chain of scans waiting for it
    bool taken = false;
    bool clean = false;
    std::atomic<int32_t> rows_done{0};  // INT32_MAX once it has ended
    std::atomic<int32_t> watchers{0};
};

struct Scans {
    Scans(const uint8_t* bytes, size_t count) : data(bytes), size(count) {}
    const uint8_t* data;
    size_t size;
    std::vector<std::unique_ptr<Scan>> scans;
    bool overflow = false;  // a scan was not kept
    std::atomic<bool> failed{false};  // a scan did not end cleanly: the rest stop
    std::mutex lock;  // over `taken`
    // A thread waiting for another scan's rows waits here.
    std::mutex progress_lock;
    std::condition_variable progress;

    // Taking the lock makes sure that a thread about to wait is waiting
    // before it is woken.
    void wake() {
        { std::lock_guard<std::mutex> guard(progress_lock); }
        progress.notify_all();
    }
};

// The block rows of component c that one MCU row of the record's scan covers.
int32_t rows_per_mcu_row(const JpegDecoder& r, int32_t c) {
    return r.scan_component_count == 1 ? 1 : r.comp_v_factor[c];
}

bool shares_blocks(const JpegDecoder& a, const JpegDecoder& b, int32_t& component) {
    if (a.spectral_last < b.spectral_first || b.spectral_last < a.spectral_first) return false;
    for (int32_t i = 0; i < a.scan_component_count; i++)
        for (int32_t j = 0; j < b.scan_component_count; j++)
            if (a.scan_components[i] == b.scan_components[j]) {
                component = a.scan_components[i];
                return true;
            }
    return false;
}

// Keeps the scan the record stands at, then passes over its data.
void keep_scan(void* context, JpegDecoder& d, BlockDecoder block_decoder) {
    Scans& all = *static_cast<Scans*>(context);
    // The copies count against the caller's memory limit beside the pool.
    const size_t kept = (all.scans.size() + 1) * (sizeof(JpegDecoder) + 8 * sizeof(HuffDecodeTable));
    const bool too_much =
        d.memory_limit != 0 && (d.pool_bytes > d.memory_limit || kept > d.memory_limit - d.pool_bytes);
    // The record's reader has fetched the stream up to input_bytes; the
    // copy reads on from there on a source of its own.
    const int64_t fetched = d.input_bytes;
    std::unique_ptr<Scan> scan;
    if (!all.overflow && all.scans.size() < most_scans && !too_much && fetched >= 0 &&
        static_cast<uint64_t>(fetched) <= all.size) {
        scan.reset(new (std::nothrow) Scan);
        if (scan != nullptr) scan->record.reset(new (std::nothrow) JpegDecoder);
    }
    if (scan == nullptr || scan->record == nullptr) {
        all.overflow = true;
        skip_entropy_data(d);
        return;
    }
    JpegDecoder& r = *scan->record;
    // It owns no memory: the grids it writes are the record's.
    copy_record(r, d, scan->tables);
    scan->source.emplace(all.data + fetched, all.size - static_cast<size_t>(fetched));
    r.source = &*scan->source;
    r.data_incomplete = 0;
    scan->block_decoder = block_decoder;
    for (size_t i = 0; i < all.scans.size(); i++) {
        const JpegDecoder& earlier = *all.scans[i]->record;
        int32_t c = 0;
        if (shares_blocks(r, earlier, c))
            scan->waits.push_back({static_cast<int32_t>(i), rows_per_mcu_row(r, c), rows_per_mcu_row(earlier, c)});
    }
    const int64_t start = d.input_bytes - d.in_count;
    skip_entropy_data(d, &scan->restart_markers);
    // A refinement's bits take about twice as long as a first pass's, and
    // every block walked costs about as much as two bytes of data.
    const int64_t bytes = d.input_bytes - d.in_count - start;
    scan->cost = (r.spectral_first > 0 && r.approx_high != 0 ? 2 * bytes : bytes) +
                 2 * static_cast<int64_t>(r.mcus_across) * r.mcus_down * r.blocks_per_mcu;
    all.scans.push_back(std::move(scan));
}

struct Gate {
    Scans& all;
    Scan& scan;

    static void before(void* context, int32_t row) {
        Gate& g = *static_cast<Gate*>(context);
        if (g.all.failed.load(std::memory_order_relaxed)) throw Abandoned{};
        for (const Wait& w : g.scan.waits) {
            Scan& earlier = *g.all.scans[static_cast<size_t>(w.scan)];
            const int64_t need = ((static_cast<int64_t>(row) + 1) * w.own + w.theirs - 1) / w.theirs;
            if (earlier.rows_done.load() >= need) continue;
            // Announced before the count is read again, so that the other
            // thread, storing its count, sees a watcher to wake.
            earlier.watchers.fetch_add(1);
            {
                std::unique_lock<std::mutex> guard(g.all.progress_lock);
                g.all.progress.wait(guard, [&] { return earlier.rows_done.load() >= need; });
            }
            earlier.watchers.fetch_sub(1);
            if (g.all.failed.load(std::memory_order_relaxed)) throw Abandoned{};
        }
    }

    static void after(void* context, int32_t rows) {
        Gate& g = *static_cast<Gate*>(context);
        g.scan.rows_done.store(rows);
        if (g.scan.watchers.load() != 0) g.all.wake();
    }
};

void decode_scan(Scans& all, Scan& scan) {
    JpegDecoder& r = *scan.record;
    Gate gate{all, scan};
    const ScanRowGate hooks{Gate::before, Gate::after, &gate};
    try {
        decode_progressive_scan(r, scan.block_decoder, &hooks);
        // Restart markers beyond those its MCUs read would be found by the
        // marker search after the scan, in place of the one that ends it.
        const int64_t mcus = static_cast<int64_t>(r.mcus_across) * r.mcus_down;
        const int64_t markers = r.restart_interval != 0 ? (mcus - 1) / r.restart_interval : 0;
        scan.clean = r.data_incomplete == 0 && scan.restart_markers == markers;
    } catch (const DecodeFailure&) {
    } catch (const Abandoned&) {
    }
    if (!scan.clean) all.failed.store(true);
    scan.rows_done.store(INT32_MAX);
    all.wake();
}

void weigh_chains(Scans& all) {
    for (size_t i = all.scans.size(); i-- > 0;) {
        Scan& scan = *all.scans[i];
        scan.chain += scan.cost;
        for (const Wait& w : scan.waits) {
            Scan& earlier = *all.scans[static_cast<size_t>(w.scan)];
            earlier.chain = std::max(earlier.chain, scan.chain);
        }
    }
}

// The scan with the costliest chain not yet taken among those whose
// earlier scans it waits for are all taken; null when every scan is taken.
// The first scan not taken always qualifies, so a scan only ever waits for
// scans being decoded, and the earliest of those waits for none: no thread
// waits forever. The costliest chain first starts the long refinements at
// the end of a script early, each behind the pass it refines.
Scan* take(Scans& all) {
    std::lock_guard<std::mutex> guard(all.lock);
    Scan* best = nullptr;
    for (const std::unique_ptr<Scan>& scan : all.scans) {
        if (scan->taken) continue;
        const bool ready = std::all_of(scan->waits.begin(), scan->waits.end(),
                                       [&](const Wait& w) { return all.scans[static_cast<size_t>(w.scan)]->taken; });
        if (ready && (best == nullptr || scan->chain > best->chain)) best = scan.get();
    }
    if (best != nullptr) best->taken = true;
    return best;
}

void work(Scans& all) {
    while (Scan* scan = take(all)) decode_scan(all, *scan);
}

}  // namespace

bool decode_all_scans_two_threads(JpegDecoder& d, const uint8_t* data, size_t size) {
    Scans all(data, size);
    all.scans.reserve(most_scans);
    const ScanHandOff hand_off{keep_scan, &all};
    try {
        decode_all_scans(d, &hand_off);
    } catch (const DecodeFailure&) {
        return false;
    }
    if (all.overflow || d.data_incomplete) return false;
    weigh_chains(all);
    std::thread second;
    try {
        second = std::thread([&all] { work(all); });
    } catch (const std::system_error&) {
    }
    work(all);
    if (second.joinable()) second.join();
    return std::all_of(all.scans.begin(), all.scans.end(), [](const std::unique_ptr<Scan>& s) { return s->clean; });
}

}  // namespace marivue::jpeg::detail
