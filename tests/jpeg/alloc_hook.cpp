// The decoder's system allocator for test programs. Linked as an object file
// it wins over the library's own definitions, so a test can count blocks and
// refuse chosen allocations.
#include "alloc_hook.h"

#include "jpeg/internal.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

long attempt_count = 0;
long allocation_count = 0;
long free_count = 0;
long null_free_count = 0;
long fail_target = 0;
bool failing = false;
bool misaligned = false;
size_t latest_size = 0;

// Every block carries a header in front of it that remembers where the
// underlying allocation starts.
constexpr size_t header_bytes = 16;

}  // namespace

namespace alloc_hook {

void reset() {
    attempt_count = 0;
    allocation_count = 0;
    free_count = 0;
    null_free_count = 0;
    fail_target = 0;
    failing = false;
    misaligned = false;
    latest_size = 0;
}

void fail_at(long n) { fail_target = n == 0 ? 0 : attempt_count + n; }
void fail_all(bool on) { failing = on; }
void misalign(bool on) { misaligned = on; }
long attempts() { return attempt_count; }
long allocations() { return allocation_count; }
long frees() { return free_count; }
long null_frees() { return null_free_count; }
long live() { return allocation_count - free_count; }
size_t last_size() { return latest_size; }

}  // namespace alloc_hook

void* system_alloc(size_t size) {
    ++attempt_count;
    latest_size = size;
    if (failing || attempt_count == fail_target) return nullptr;
    auto* base = static_cast<uint8_t*>(std::calloc(size + header_bytes + 8, 1));
    if (base == nullptr) return nullptr;
    uint8_t* block = base + header_bytes + (misaligned ? 4 : 0);
    std::memcpy(block - sizeof(void*) - (misaligned ? 4 : 0), &base, sizeof(void*));
    ++allocation_count;
    return block;
}

void system_free(void* block) {
    if (block == nullptr) {
        ++null_free_count;
        return;
    }
    auto* p = static_cast<uint8_t*>(block);
    // Blocks are either 16-aligned or 4 bytes past that.
    size_t shift = (reinterpret_cast<uintptr_t>(p) % 8 == 4) ? 4 : 0;
    void* base = nullptr;
    std::memcpy(&base, p - sizeof(void*) - shift, sizeof(void*));
    ++free_count;
    std::free(base);
}
