// Moveable memory: blocks on the C heap addressed by 32-bit handles, locked
// to an address only while in use.  This is what the place table rests on.
#pragma once

#include <cstddef>
#include <cstdint>

using GHandle = uint32_t;  // 0 is never a valid handle

GHandle gmem_alloc(size_t size);  // contents undefined; 0 when refused
void* gmem_lock(GHandle h);       // null for an unknown handle
bool gmem_unlock(GHandle h);      // false for an unknown or unlocked handle
bool gmem_free(GHandle h);        // false for an unknown handle
size_t gmem_size(GHandle h);

// Fault injection for tests: refuse the allocation after `n` more succeed
// (n < 0 switches it off), or refuse every lock while `refuse` is set.
void gmem_fail_after(long n);
void gmem_refuse_locks(bool refuse);
