// Labelled memory: the place table and the guarded chunk allocator.
//
// The place table holds every large or long-lived block (image planes,
// buffers of operations, codec tables).  Fixed blocks are locked from birth
// and addressed by pointer; moveable blocks are addressed by a handle and
// locked only while in use.  Locked bytes count as "real", all bytes as
// "virtual".  Reports go to the log.
//
// The guarded chunk allocator serves small and structural allocations.  It
// frames every chunk with DE AD BE EF guards, checks them on release and ties
// chunks into allocation groups that are released together.  Its reports go
// to a trace sink that is silent unless a test listens.
#pragma once

#include "core/gmem.h"

#include <cstddef>
#include <cstdint>
#include <string>

// ---- place table ---------------------------------------------------------

void* mem_alloc(long size, const char* label);
// Returns null when freed; the address unchanged when it is not listed.
void* mem_free(void* address);
void* mem_free_named(void* address, const char* label);
GHandle vmem_alloc(long size, const char* label);
void* vmem_lock(GHandle handle);
int vmem_unlock(GHandle handle);
int vmem_free(GHandle handle);
GHandle mem_handle_of(const void* address);
long mem_virtual_total();
void mem_report();
// The lines of mem_report as text (the workstation's memory window).
std::string mem_report_text();
void mem_close_report();
void mem_auto_free();
// mem_alloc with a label made from a message code ("M%3ld"), with a box on failure.
void* mem_alloc_coded(long size, long code);

template <class T>
T* mem_alloc_as(long count, const char* label)
{
    return static_cast<T*>(mem_alloc(count * static_cast<long>(sizeof(T)), label));
}
// Frees and returns null typed, for the `p = mem_free_t(p)` idiom.
template <class T>
T* mem_free_t(T* address)
{
    return static_cast<T*>(mem_free(address));
}

struct MemCounters {
    long capacity;
    long real_now, virt_now, places_now;
    long real_max, virt_max, places_max;
};
MemCounters mem_counters();
// The maxima start again from what is in use now; with nothing in use the
// table itself goes, and the next block makes a new one (a fresh session).
void mem_reset_statistics();
// The label (four characters) and size of the block at an address or handle;
// false when not listed.  For reports and tests.
bool mem_describe(const void* address, char label[5], long* size);
bool vmem_describe(GHandle handle, char label[5], long* size, int* locks);

// ---- guarded chunks -----------------------------------------------------

void* chunk_alloc(size_t count, size_t size, const char* desc);
void chunk_free(void* address);
void chunk_stats();
void chunk_cleanup();

uint32_t group_new();
int group_alloc(void** cell, size_t count, size_t size, const char* desc, uint32_t group);
void* group_alloc_ptr(size_t count, size_t size, const char* desc, uint32_t group);
void group_free_ptr(void* address);
void group_free_cell(void** cell);
void group_release(uint32_t group);
void group_release_clear(uint32_t group);

template <class T>
int group_alloc(T** cell, size_t count, const char* desc, uint32_t group)
{
    return group_alloc(reinterpret_cast<void**>(cell), count, sizeof(T), desc, group);
}
template <class T>
void group_free_cell(T** cell)
{
    group_free_cell(reinterpret_cast<void**>(cell));
}

struct ChunkCounters {
    long allocs, deallocs, maxptrlist, maxptrs, now, peak;
    long entries;       // chunks outstanding
    long group_entries; // chunks registered in groups
};
ChunkCounters chunk_counters();
// The counters start again from what is outstanding now, and the group ids
// from 1 when no group lives (a fresh session).
void chunk_reset_statistics();

// The trace sink of the guarded allocator; null (the default) discards.
void chunk_set_trace(void (*sink)(const char* line));
// Sets the group id counter (tests of the wrap rule).
void group_set_counter(uint32_t value);
