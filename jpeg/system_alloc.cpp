// The system allocator behind the decoder's pool. It lives alone in this
// file so that a test program can provide its own system_alloc and
// system_free (in marivue::jpeg::detail): an object file linked directly
// takes precedence over this archive member, which is then never pulled
// in. Normal builds pay nothing.
#include "jpeg/internal.h"

namespace marivue::jpeg::detail {

void* system_alloc(size_t size) { return block_alloc(size); }

void system_free(void* block) { block_free(block); }

}  // namespace marivue::jpeg::detail
