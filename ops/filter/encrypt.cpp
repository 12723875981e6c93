// encrypt image: a scramble keyed by the user's password that undoes
// itself.  The selected pixels are paired at random (the password seeds the
// pairing); the two pixels of a pair change places and both are XORed with
// the pair's own random word.  Doing that again with the same password swaps
// every pair back and XORs the same word away.
#include "core/image.h"
#include "core/messages.h"
#include "ops/filter/filter_internal.h"
#include "ops/framework.h"

#include <cstring>

namespace filt {

namespace {

uint64_t password_key(const char* text)
{
    uint64_t h = 0xCBF29CE484222325ull;  // FNV-1a, then mixed
    for (size_t i = 0; i < kPasswordSize && text[i]; ++i) {
        h ^= static_cast<uint8_t>(text[i]);
        h *= 0x100000001B3ull;
    }
    Rng mix(h);
    return mix.next();
}

} // namespace

int encrypt_prepare(Image*, int)
{
    const char* pw = filter_params().password;
    if (!pw[0]) {
        note("encrypt image needs a password.");
        return 2;
    }
    return 0;
}

int encrypt_worker(Image* target, uint8_t* mask)
{
    const char* pw = filter_params().password;
    if (!pw[0] || std::memchr(pw, 0, kPasswordSize) == nullptr)
        return 1;
    const Box b = work_box(target);
    long n = 0;
    for (int y = b.y0; y <= b.y1; ++y)
        for (int x = b.x0; x <= b.x1; ++x)
            n += mask[target->rows[y] + x] != 0;
    Buffer<uint32_t> where(n);
    if (!where) {
        message_show(msg::NoMemoryOperation);
        return 1;
    }
    long k = 0;
    for (int y = b.y0; y <= b.y1; ++y)
        for (int x = b.x0; x <= b.x1; ++x)
            if (mask[target->rows[y] + x])
                where[k++] = target->rows[y] + static_cast<uint32_t>(x);
    Rng rng(password_key(pw));
    // Fisher-Yates: the pairs are neighbours in the shuffled order.
    for (long i = n - 1; i > 0; --i)
        std::swap(where[i], where[static_cast<long>(rng.below(static_cast<uint64_t>(i) + 1))]);
    // Warp layers hold vectors in all four bytes; otherwise colour or alpha.
    const uint32_t bits = is_warp_layer(target)   ? 0xFFFFFFFFu
                          : op_state().alpha_mode ? 0xFF000000u
                                                  : 0x00FFFFFFu;
    uint8_t* px = target->pixels;
    for (long i = 0; i < n; i += 2) {
        const uint32_t word = static_cast<uint32_t>(rng.next()) & bits;
        uint8_t* a = px + 4 * static_cast<size_t>(where[i]);
        if (i + 1 == n) {
            pixel_store(a, pixel_load(a) ^ word);
            break;
        }
        uint8_t* c = px + 4 * static_cast<size_t>(where[i + 1]);
        const uint32_t va = pixel_load(a), vc = pixel_load(c);
        pixel_store(a, (va & ~bits) | ((vc ^ word) & bits));
        pixel_store(c, (vc & ~bits) | ((va ^ word) & bits));
    }
    return 0;
}

} // namespace filt
