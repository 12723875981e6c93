// The guarded chunk allocator and its allocation groups.
#include "core/mem.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unordered_map>
#include <vector>

namespace {

const uint8_t kGuard[4] = {0xDE, 0xAD, 0xBE, 0xEF};

struct ChunkEntry {
    uint8_t* block;
    size_t size;
    const char* desc;
};

struct GroupEntry {
    void** cell;
    uint32_t group;
};

struct ChunkState {
    // The chunk table, with an index from block address to slot so that a
    // release does not scan (the ray tracer holds hundreds of thousands).
    std::vector<ChunkEntry> table;
    std::unordered_map<uint8_t*, size_t> slot_of;
    long capacity = 0;  // grows by 100 entries, as the counters report
    long allocs = 0, deallocs = 0, maxptrlist = 0, maxptrs = 0, now = 0, peak = 0;

    // The group registry: chunk -> {owner cell, group}; members per group in
    // the order they were registered.
    std::unordered_map<void*, GroupEntry> registry;
    std::unordered_map<uint32_t, std::vector<void*>> members;
    uint32_t id_counter = 1;
    bool wrapped = false;

    void (*trace_sink)(const char*) = nullptr;
};

ChunkState g_chunks;

void trace(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
void trace(const char* fmt, ...)
{
    // Every line is formatted, even when the sink discards it.
    char line[512];
    va_list args;
    va_start(args, fmt);
    std::vsnprintf(line, sizeof line, fmt, args);
    va_end(args);
    if (g_chunks.trace_sink)
        g_chunks.trace_sink(line);
}

void trace_counters()
{
    const ChunkState& s = g_chunks;
    trace("maxptrlist=%ld, maxptrs=%ld, allocs=%ld, deallocs=%ld, peak=%ld now=%ld", s.maxptrlist, s.maxptrs,
          s.allocs, s.deallocs, s.peak, s.now);
}

bool guard_ok(const uint8_t* at)
{
    return std::memcmp(at, kGuard, 4) == 0;
}

// Removes the table entry of `block` and releases it, checking the guards.
void release_block(uint8_t* block)
{
    ChunkState& s = g_chunks;
    auto it = s.slot_of.find(block);
    if (it == s.slot_of.end()) {
        trace("attempted free of unknown pointer!");
        return;
    }
    size_t slot = it->second;
    ChunkEntry entry = s.table[slot];
    s.slot_of.erase(it);
    if (slot + 1 != s.table.size()) {
        s.table[slot] = s.table.back();
        s.slot_of[s.table[slot].block] = slot;
    }
    s.table.pop_back();
    s.now -= static_cast<long>(entry.size);

    const uint8_t* user = block + 8;
    if (!guard_ok(user + entry.size))
        trace("%s ChunkName=\"%s\", %d Bytes, ptr=$%08lx", "Memory Over-run!!!", entry.desc ? entry.desc : "",
              static_cast<int>(entry.size), static_cast<unsigned long>(reinterpret_cast<uintptr_t>(block)));
    if (!guard_ok(user - 4))
        trace("%s ChunkName=\"%s\", %d Bytes, ptr=$%08lx", "Memory Under-run!!!", entry.desc ? entry.desc : "",
              static_cast<int>(entry.size), static_cast<unsigned long>(reinterpret_cast<uintptr_t>(block)));
    s.deallocs += 1;
    std::free(block);
}

void unregister(void* chunk)
{
    ChunkState& s = g_chunks;
    auto it = s.registry.find(chunk);
    if (it == s.registry.end())
        return;
    uint32_t group = it->second.group;
    s.registry.erase(it);
    auto m = s.members.find(group);
    if (m != s.members.end()) {
        std::vector<void*>& v = m->second;
        for (size_t i = v.size(); i-- > 0;) {
            if (v[i] == chunk) {
                v.erase(v.begin() + static_cast<long>(i));
                break;
            }
        }
        if (v.empty())
            s.members.erase(m);
    }
}

void register_chunk(void* chunk, void** cell, uint32_t group)
{
    g_chunks.registry[chunk] = {cell, group};
    g_chunks.members[group].push_back(chunk);
}

void release_group(uint32_t group, bool clear_cells)
{
    ChunkState& s = g_chunks;
    auto m = s.members.find(group);
    if (m == s.members.end())
        return;
    std::vector<void*> chunks = std::move(m->second);
    s.members.erase(m);
    for (size_t i = chunks.size(); i-- > 0;) {
        auto it = s.registry.find(chunks[i]);
        if (it == s.registry.end())
            continue;
        void** cell = it->second.cell;
        s.registry.erase(it);
        chunk_free(chunks[i]);
        if (clear_cells && cell)
            *cell = nullptr;
    }
}

} // namespace

void* chunk_alloc(size_t count, size_t size, const char* desc)
{
    ChunkState& s = g_chunks;
    if (!desc)
        trace("Warning - memory allocation without label! (desc==NULL)");
    else if (!desc[0])
        trace("Warning - memory allocation with empty label! (desc[0]==0)");
    if (size != 0 && count > (SIZE_MAX - 16) / size)
        return nullptr;
    size_t user = count * size;
    size_t bytes = (user + 16) / 4 * 4;
    auto* block = static_cast<uint8_t*>(std::calloc(1, bytes));
    if (!block)
        return nullptr;
    if (static_cast<long>(s.table.size()) >= s.capacity)
        s.capacity += 100;
    s.table.push_back({block, user, desc});
    s.slot_of[block] = s.table.size() - 1;

    s.now += static_cast<long>(user);
    if (s.now > s.peak)
        s.peak = s.now;
    if (static_cast<long>(s.table.size()) > s.maxptrs)
        s.maxptrs = static_cast<long>(s.table.size());
    if (s.capacity > s.maxptrlist)
        s.maxptrlist = s.capacity;
    uint32_t user32 = static_cast<uint32_t>(user);
    std::memcpy(block, &user32, 4);
    std::memcpy(block + 4, kGuard, 4);
    std::memcpy(block + 8 + user, kGuard, 4);
    s.allocs += 1;
    return block + 8;
}

void chunk_free(void* address)
{
    if (!address) {
        trace("attempted free of unknown pointer!");
        return;
    }
    release_block(static_cast<uint8_t*>(address) - 8);
}

void chunk_stats()
{
    trace_counters();
}

void chunk_cleanup()
{
    ChunkState& s = g_chunks;
    if (!s.table.empty()) {
        trace_counters();
        trace("memtot nonzero - commencing autocleanup");
        while (!s.table.empty()) {
            ChunkEntry e = s.table.back();
            trace("unfreed pointer: \"%s\" of size %d", e.desc ? e.desc : "", static_cast<int>(e.size));
            release_block(e.block);
        }
        trace_counters();
    }
    s.table = {};
    s.slot_of = {};
    s.capacity = 0;
    s.registry = {};
    s.members = {};
}

uint32_t group_new()
{
    ChunkState& s = g_chunks;
    ++s.id_counter;
    if (s.id_counter == 0) {
        s.wrapped = true;
        s.id_counter = 1;
    }
    if (s.wrapped) {
        while (s.members.count(s.id_counter)) {
            ++s.id_counter;
            if (s.id_counter == 0)
                s.id_counter = 1;
        }
    }
    return s.id_counter;
}

int group_alloc(void** cell, size_t count, size_t size, const char* desc, uint32_t group)
{
    void* p = chunk_alloc(count, size, desc);
    if (cell)
        *cell = p;
    if (!p)
        return 1;
    register_chunk(p, cell, group);
    return 0;
}

void* group_alloc_ptr(size_t count, size_t size, const char* desc, uint32_t group)
{
    void* p = chunk_alloc(count, size, desc);
    if (p)
        register_chunk(p, nullptr, group);
    return p;
}

void group_free_ptr(void* address)
{
    if (!address || !g_chunks.registry.count(address))
        return;
    unregister(address);
    chunk_free(address);
}

void group_free_cell(void** cell)
{
    if (!cell || !*cell || !g_chunks.registry.count(*cell))
        return;
    void* p = *cell;
    unregister(p);
    chunk_free(p);
    *cell = nullptr;
}

void group_release(uint32_t group)
{
    release_group(group, false);
}

void group_release_clear(uint32_t group)
{
    release_group(group, true);
}

void chunk_reset_statistics()
{
    ChunkState& s = g_chunks;
    if (s.table.empty())
        s.capacity = 0;
    s.allocs = s.deallocs = 0;
    s.maxptrlist = s.capacity;
    s.maxptrs = static_cast<long>(s.table.size());
    s.peak = s.now;
    if (s.members.empty()) {
        s.id_counter = 1;
        s.wrapped = false;
    }
}

ChunkCounters chunk_counters()
{
    const ChunkState& s = g_chunks;
    return {s.allocs, s.deallocs, s.maxptrlist, s.maxptrs, s.now, s.peak, static_cast<long>(s.table.size()),
            static_cast<long>(s.registry.size())};
}

void chunk_set_trace(void (*sink)(const char* line))
{
    g_chunks.trace_sink = sink;
}

void group_set_counter(uint32_t value)
{
    g_chunks.id_counter = value;
}
