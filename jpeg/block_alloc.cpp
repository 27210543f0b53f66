// The blocks behind the decoder's pool (system_alloc.cpp hands them out).
//
// Large blocks (a progressive picture's coefficient grids, tens of
// megabytes) are mapped whole on Linux, in huge pages where the system
// allows them. A page first read and later written (as the grids' pages
// are: a scan reads blocks no earlier scan wrote) is first mapped to the
// shared zero page, and replacing that mapping on the write makes the
// kernel interrupt every other core running the process's threads; with
// scans decoded on two threads, that took longer than the decoding itself
// on 4 KB pages. A huge page makes it one interruption per 2 MB, and a few
// hundred faults cost less than tens of thousands.
#include "jpeg/internal.h"

#include <cstdlib>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace marivue::jpeg::detail {

namespace {

// Every block starts with its header: the bytes mapped (0 for a block
// from calloc). 16 bytes keep the block after it aligned as calloc's are.
constexpr size_t header_bytes = 16;
#if defined(__linux__)
constexpr size_t mapped_from = size_t{4} << 20;
constexpr size_t huge_page = size_t{2} << 20;
#endif

}  // namespace

void* block_alloc(size_t size) {
    if (size > SIZE_MAX - 2 * header_bytes) return nullptr;
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    if (size >= mapped_from && size <= SIZE_MAX / 2) {
        // Whole huge pages: the system places a mapping this large on a
        // huge page boundary.
        const size_t length = (size + header_bytes + huge_page - 1) / huge_page * huge_page;
        void* mapped = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (mapped != MAP_FAILED) {
            madvise(mapped, length, MADV_HUGEPAGE);
            auto* header = static_cast<size_t*>(mapped);
            header[0] = length;
            return static_cast<unsigned char*>(mapped) + header_bytes;
        }
    }
#endif
    auto* header = static_cast<size_t*>(std::calloc(1, size + header_bytes));
    if (header == nullptr) return nullptr;
    return reinterpret_cast<unsigned char*>(header) + header_bytes;
}

void block_free(void* block) {
    if (block == nullptr) return;
    void* start = static_cast<unsigned char*>(block) - header_bytes;
    const size_t mapped = *static_cast<size_t*>(start);
#if defined(__linux__)
    if (mapped != 0) {
        munmap(start, mapped);
        return;
    }
#endif
    std::free(start);
}

}  // namespace marivue::jpeg::detail
