#include "core/gmem.h"

#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

// A handle is (generation << 20) | (slot + 1): a stale handle of a reused
// slot is refused instead of reaching the new block.
constexpr uint32_t kSlotBits = 20;
constexpr uint32_t kSlotMask = (1u << kSlotBits) - 1;

struct Block {
    void* data = nullptr;
    size_t size = 0;
    uint32_t locks = 0;
    uint32_t generation = 1;
    bool used = false;
};

struct MoveableHeap {
    std::vector<Block> blocks;
    std::vector<uint32_t> free_slots;
    long fail_after = -1;
    bool refuse_locks = false;
};

MoveableHeap g_heap;

// Image planes are large and touched whole: huge pages spare the kernel
// thousands of page faults for each.  Asked for the 2 MB-aligned inside of
// big blocks only; where the system gives none, nothing changes.
constexpr size_t kHugePage = 2u << 20;
void prefer_huge_pages(void* data, size_t size)
{
    if (size < 4 * kHugePage)
        return;
    const uintptr_t start = (reinterpret_cast<uintptr_t>(data) + kHugePage - 1) & ~(kHugePage - 1);
    const uintptr_t end = (reinterpret_cast<uintptr_t>(data) + size) & ~(kHugePage - 1);
    if (end > start)
        madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
}

Block* find(GHandle h)
{
    if (h == 0)
        return nullptr;
    uint32_t slot = (h & kSlotMask) - 1;
    if (slot >= g_heap.blocks.size())
        return nullptr;
    Block& b = g_heap.blocks[slot];
    if (!b.used || b.generation != (h >> kSlotBits))
        return nullptr;
    return &b;
}

} // namespace

GHandle gmem_alloc(size_t size)
{
    if (g_heap.fail_after == 0)
        return 0;
    if (g_heap.fail_after > 0)
        --g_heap.fail_after;
    void* data = std::malloc(size ? size : 1);
    if (!data)
        return 0;
    prefer_huge_pages(data, size);
    uint32_t slot;
    if (!g_heap.free_slots.empty()) {
        slot = g_heap.free_slots.back();
        g_heap.free_slots.pop_back();
    } else {
        if (g_heap.blocks.size() >= kSlotMask) {
            std::free(data);
            return 0;
        }
        slot = static_cast<uint32_t>(g_heap.blocks.size());
        g_heap.blocks.emplace_back();
    }
    Block& b = g_heap.blocks[slot];
    b.data = data;
    b.size = size;
    b.locks = 0;
    b.used = true;
    return (b.generation << kSlotBits) | (slot + 1);
}

void* gmem_lock(GHandle h)
{
    Block* b = find(h);
    if (!b || g_heap.refuse_locks)
        return nullptr;
    ++b->locks;
    return b->data;
}

bool gmem_unlock(GHandle h)
{
    Block* b = find(h);
    if (!b || b->locks == 0)
        return false;
    --b->locks;
    return true;
}

bool gmem_free(GHandle h)
{
    Block* b = find(h);
    if (!b)
        return false;
    std::free(b->data);
    b->data = nullptr;
    b->size = 0;
    b->locks = 0;
    b->used = false;
    b->generation = (b->generation + 1) & ((1u << (32 - kSlotBits)) - 1);
    if (b->generation == 0)
        b->generation = 1;
    g_heap.free_slots.push_back((h & kSlotMask) - 1);
    return true;
}

size_t gmem_size(GHandle h)
{
    Block* b = find(h);
    return b ? b->size : 0;
}

void gmem_fail_after(long n)
{
    g_heap.fail_after = n;
}

void gmem_refuse_locks(bool refuse)
{
    g_heap.refuse_locks = refuse;
}
