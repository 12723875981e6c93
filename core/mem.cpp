// The place table: fixed and moveable blocks with labels and statistics.
#include "core/mem.h"

#include "core/log.h"
#include "core/messages.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

struct PlaceTable {
    long capacity = 0;
    GHandle* handle = nullptr;
    void** address = nullptr;
    uint16_t* locks = nullptr;
    long* size = nullptr;
    uint32_t* label = nullptr;
    long real_now = 0, virt_now = 0, places_now = 0;
    long real_max = 0, virt_max = 0, places_max = 0;
};

PlaceTable g_places;
char g_label_text[5];  // shared by the report lines

uint32_t pack_label(const char* label)
{
    char text[4] = {' ', ' ', ' ', ' '};
    if (label)
        for (int i = 0; i < 4 && label[i]; ++i)
            text[i] = label[i];
    return static_cast<uint32_t>(static_cast<uint8_t>(text[0])) |
           static_cast<uint32_t>(static_cast<uint8_t>(text[1])) << 8 |
           static_cast<uint32_t>(static_cast<uint8_t>(text[2])) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(text[3])) << 24;
}

const char* unpack_label(uint32_t packed)
{
    for (int i = 0; i < 4; ++i)
        g_label_text[i] = static_cast<char>((packed >> (8 * i)) & 0xff);
    g_label_text[4] = 0;
    return g_label_text;
}

void raise_maxima()
{
    PlaceTable& t = g_places;
    if (t.real_now > t.real_max)
        t.real_max = t.real_now;
    if (t.virt_now > t.virt_max)
        t.virt_max = t.virt_now;
    if (t.places_now > t.places_max)
        t.places_max = t.places_now;
}

template <class T>
T* new_array(long n)
{
    return static_cast<T*>(std::calloc(static_cast<size_t>(n), sizeof(T)));
}

// Grows the table when places in use >= capacity - 2; on failure the old
// table stays in force.
bool grow_if_needed()
{
    PlaceTable& t = g_places;
    if (t.places_now < t.capacity - 2)
        return true;
    long cap = t.capacity == 0 ? 400 : t.capacity * 3 / 2 + 256;
    GHandle* handle = new_array<GHandle>(cap);
    void** address = new_array<void*>(cap);
    uint16_t* locks = new_array<uint16_t>(cap);
    long* size = new_array<long>(cap);
    uint32_t* label = new_array<uint32_t>(cap);
    if (!handle || !address || !locks || !size || !label) {
        std::free(handle);
        std::free(address);
        std::free(locks);
        std::free(size);
        std::free(label);
        return false;
    }
    if (t.capacity > 0) {
        std::memcpy(handle, t.handle, sizeof(GHandle) * t.capacity);
        std::memcpy(address, t.address, sizeof(void*) * t.capacity);
        std::memcpy(locks, t.locks, sizeof(uint16_t) * t.capacity);
        std::memcpy(size, t.size, sizeof(long) * t.capacity);
        std::memcpy(label, t.label, sizeof(uint32_t) * t.capacity);
    }
    std::free(t.handle);
    std::free(t.address);
    std::free(t.locks);
    std::free(t.size);
    std::free(t.label);
    t.handle = handle;
    t.address = address;
    t.locks = locks;
    t.size = size;
    t.label = label;
    t.capacity = cap;
    return true;
}

// The lowest free place numbered 1 or above, 0 when none.
long free_place()
{
    grow_if_needed();
    for (long i = 1; i < g_places.capacity; ++i)
        if (g_places.handle[i] == 0)
            return i;
    return 0;
}

long place_of_handle(GHandle h)
{
    if (h == 0)
        return 0;
    for (long i = 1; i < g_places.capacity; ++i)
        if (g_places.handle[i] == h)
            return i;
    return 0;
}

long place_of_address(const void* a)
{
    if (!a)
        return 0;
    for (long i = 1; i < g_places.capacity; ++i)
        if (g_places.handle[i] != 0 && g_places.address[i] == a)
            return i;
    return 0;
}

void clear_place(long i)
{
    g_places.handle[i] = 0;
    g_places.address[i] = nullptr;
    g_places.locks[i] = 0;
}

} // namespace

void* mem_alloc(long size, const char* label)
{
    if (size < 0)
        return nullptr;
    long i = free_place();
    if (i == 0) {
        log_printf("Out of memory places\n");
        return nullptr;
    }
    long total = size + 4;
    GHandle h = gmem_alloc(static_cast<size_t>(total));
    if (!h)
        return nullptr;
    void* p = gmem_lock(h);
    if (!p) {
        gmem_free(h);
        return nullptr;
    }
    PlaceTable& t = g_places;
    t.handle[i] = h;
    t.address[i] = p;
    t.locks[i] = 1;
    t.size[i] = total;
    t.label[i] = pack_label(label);
    t.real_now += total;
    t.virt_now += total;
    t.places_now += 1;
    raise_maxima();
    std::memset(p, 0, static_cast<size_t>(total / 4) * 4);
    return p;
}

void* mem_free_named(void* address, const char* label)
{
    long i = place_of_address(address);
    if (i == 0) {
        log_printf("Free again \"%s\"\n", label ? label : "");
        return address;
    }
    PlaceTable& t = g_places;
    while (gmem_unlock(t.handle[i])) {
    }
    gmem_free(t.handle[i]);
    // A fixed block's bytes are real while it lives; a moveable block freed
    // this way counts as real only if it was locked.
    if (t.locks[i] > 0)
        t.real_now -= t.size[i];
    t.virt_now -= t.size[i];
    t.places_now -= 1;
    clear_place(i);
    return nullptr;
}

void* mem_free(void* address)
{
    return mem_free_named(address, "");
}

GHandle vmem_alloc(long size, const char* label)
{
    if (size < 0)
        return 0;
    long i = free_place();
    if (i == 0) {
        log_printf("Out of memory places\n");
        return 0;
    }
    long total = size + 4;
    GHandle h = gmem_alloc(static_cast<size_t>(total));
    if (!h) {
        log_printf("Out of moveable places\n");
        return 0;
    }
    PlaceTable& t = g_places;
    t.handle[i] = h;
    t.address[i] = nullptr;
    t.locks[i] = 0;
    t.size[i] = total;
    t.label[i] = pack_label(label);
    t.virt_now += total;
    t.places_now += 1;
    raise_maxima();
    return h;
}

void* vmem_lock(GHandle handle)
{
    long i = place_of_handle(handle);
    if (i == 0) {
        log_printf("Lock of unlisted virtual memory\n");
        return nullptr;
    }
    PlaceTable& t = g_places;
    if (t.address[i]) {
        t.locks[i] += 1;
        log_printf("Mem: \"%s\" was used %d times at once.\n", unpack_label(t.label[i]), t.locks[i]);
        return t.address[i];
    }
    void* p = gmem_lock(handle);
    if (!p) {
        log_printf("Could not get lock on virtual memory\n");
        return nullptr;
    }
    t.address[i] = p;
    t.locks[i] = 1;
    t.real_now += t.size[i];
    raise_maxima();
    return p;
}

int vmem_unlock(GHandle handle)
{
    long i = place_of_handle(handle);
    if (i == 0) {
        log_printf("Unlock on unlisted memory\n");
        return 1;
    }
    PlaceTable& t = g_places;
    if (!t.address[i] || t.locks[i] == 0) {
        log_printf("Unlock again \"%s\"\n", unpack_label(t.label[i]));
        return 1;
    }
    t.locks[i] -= 1;
    if (t.locks[i] == 0) {
        gmem_unlock(handle);
        t.address[i] = nullptr;
        t.real_now -= t.size[i];
    }
    return 0;
}

int vmem_free(GHandle handle)
{
    long i = place_of_handle(handle);
    if (i == 0) {
        log_printf("Free again of virtual memory.\n");
        return 1;
    }
    PlaceTable& t = g_places;
    if (t.address[i]) {
        log_printf("Memory: \"%s\" was not unlocked before unvirt.\n", unpack_label(t.label[i]));
        while (gmem_unlock(handle)) {
        }
        t.address[i] = nullptr;
        t.locks[i] = 0;
        t.real_now -= t.size[i];
    }
    gmem_free(handle);
    t.handle[i] = 0;
    t.virt_now -= t.size[i];
    t.places_now -= 1;
    return 0;
}

GHandle mem_handle_of(const void* address)
{
    long i = place_of_address(address);
    return i ? g_places.handle[i] : 0;
}

long mem_virtual_total()
{
    return g_places.virt_now;
}

std::string mem_report_text()
{
    const PlaceTable& t = g_places;
    std::string out;
    char line[160];
    long real = 0, virt = 0;
    for (long i = 1; i < t.capacity; ++i) {
        if (t.handle[i] == 0)
            continue;
        bool locked = t.address[i] != nullptr;
        std::snprintf(line, sizeof line, "Mem Locked: %c Size: %7ld Name: %s\n", locked ? 'Y' : 'N', t.size[i],
                      unpack_label(t.label[i]));
        out += line;
        if (locked)
            real += t.size[i];
        virt += t.size[i];
    }
    std::snprintf(line, sizeof line, "Mem Total: Real %7ld Virt %7ld\n", real, virt);
    out += line;
    std::snprintf(line, sizeof line, "\nMax memory used:%8ld real %8ld virtual %3ld places\n", t.real_max, t.virt_max,
                  t.places_max);
    out += line;
    std::snprintf(line, sizeof line, "\nIn use now:     %8ld real %8ld virtual %3ld places\n", t.real_now, t.virt_now,
                  t.places_now);
    out += line;
    return out;
}

void mem_report()
{
    if (log_is_open())
        log_write(mem_report_text().c_str());
}

void mem_close_report()
{
    const PlaceTable& t = g_places;
    log_printf("\nMax memory used:%8ld real %8ld virtual %3ld places\n", t.real_max, t.virt_max, t.places_max);
    log_printf("\nIn use at close:%8ld real %8ld virtual %3ld places\n", t.real_now, t.virt_now, t.places_now);
}

void mem_auto_free()
{
    PlaceTable& t = g_places;
    int removed = 0;
    for (long i = 1; i < t.capacity; ++i) {
        if (t.handle[i] == 0)
            continue;
        if (t.address[i]) {
            log_printf("Auto un-locked : %s (%ld)\n", unpack_label(t.label[i]), t.size[i]);
            while (gmem_unlock(t.handle[i])) {
            }
            t.locks[i] = 0;
            t.real_now -= t.size[i];
        }
        gmem_free(t.handle[i]);
        log_printf("Auto freed    : %s\n", unpack_label(t.label[i]));
        t.virt_now -= t.size[i];
        t.places_now -= 1;
        clear_place(i);
        ++removed;
    }
    log_printf("\nAuto - removed memory places = %d\n", removed);
    if (t.capacity > 0) {
        std::free(t.handle);
        std::free(t.address);
        std::free(t.locks);
        std::free(t.size);
        std::free(t.label);
        t.handle = nullptr;
        t.address = nullptr;
        t.locks = nullptr;
        t.size = nullptr;
        t.label = nullptr;
        t.capacity = 0;
    }
}

void* mem_alloc_coded(long size, long code)
{
    if (size == 0) {
        error_box("Zero allocation asked for");
        return nullptr;
    }
    char label[32];
    std::snprintf(label, sizeof label, "M%3ld", code > 12000 ? code - 12000 : code);
    void* p = mem_alloc(size, label);
    if (!p)
        error_box("Memory alloc failed");
    return p;
}

void mem_reset_statistics()
{
    PlaceTable& t = g_places;
    if (t.places_now == 0) {
        std::free(t.handle);
        std::free(t.address);
        std::free(t.locks);
        std::free(t.size);
        std::free(t.label);
        t = PlaceTable{};
    }
    t.real_max = t.real_now;
    t.virt_max = t.virt_now;
    t.places_max = t.places_now;
}

MemCounters mem_counters()
{
    const PlaceTable& t = g_places;
    return {t.capacity, t.real_now, t.virt_now, t.places_now, t.real_max, t.virt_max, t.places_max};
}

bool mem_describe(const void* address, char label[5], long* size)
{
    long i = place_of_address(address);
    if (i == 0)
        return false;
    std::memcpy(label, unpack_label(g_places.label[i]), 5);
    if (size)
        *size = g_places.size[i];
    return true;
}

bool vmem_describe(GHandle handle, char label[5], long* size, int* locks)
{
    long i = place_of_handle(handle);
    if (i == 0)
        return false;
    std::memcpy(label, unpack_label(g_places.label[i]), 5);
    if (size)
        *size = g_places.size[i];
    if (locks)
        *locks = g_places.locks[i];
    return true;
}
