// Control of the test program's system allocator (alloc_hook.cpp), which
// takes the place of the library's own at link time.
#pragma once

#include <cstddef>

namespace alloc_hook {

// Forgets all counters and plans.
void reset();
// The n-th allocation attempt from now (counted from 1) returns null;
// 0 cancels the plan.
void fail_at(long n);
// Every allocation attempt returns null while set.
void fail_all(bool on);
// Hand out blocks whose address is 4 bytes past a multiple of 8.
void misalign(bool on);

long attempts();     // allocation calls since reset
long allocations();  // allocation calls that returned a block
long frees();        // release calls with a block
long null_frees();   // release calls with null
long live();         // blocks handed out and not yet released
size_t last_size();  // size asked for by the latest allocation call

}  // namespace alloc_hook
