// What every reader fuzzer shares: quiet boxes, a small image limit, and
// the check that a read, whatever its outcome, leaves nothing allocated.
#pragma once

#include "core/image.h"
#include "core/mem.h"
#include "core/messages.h"
#include "core/progress.h"
#include "formats/flic.h"
#include "formats/load_save.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

inline void fuzz_setup()
{
    messages_set_quiet(true);
    progress_set_batch(true);
    // Hostile headers may ask for any size; the readers must refuse what
    // does not fit, and the fuzzer must not spend its memory on the rest.
    formats_state().max_image_bytes = 16L << 20;
}

// Runs one read; the image it returns is released, and nothing may remain.
template <class Read>
void fuzz_read(Read read)
{
    long places = mem_counters().places_now;
    Image* image = read();
    if (image) {
        if (image->locks != 0 || image->pixels)
            std::abort();  // readers return their images unlocked
        image_free(image);
    }
    flic_forget();  // the decoding state a FLIC read keeps for the next read
    if (mem_counters().places_now != places || image_store_count() != 0) {
        std::fprintf(stderr, "the reader left %ld blocks and %d images behind\n",
                     mem_counters().places_now - places, image_store_count());
        std::abort();
    }
}

// The bytes as a read-only stream.
inline FILE* fuzz_stream(const uint8_t* data, size_t size)
{
    static const uint8_t empty = 0;
    return fmemopen(const_cast<uint8_t*>(size ? data : &empty), size ? size : 1, "rb");
}
