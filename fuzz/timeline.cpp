// The timeline reader on damaged files: each input is written to a scratch
// file and loaded; whatever was read is written again and released, and
// nothing may remain of it.
#include "fuzz/catalogue_start.h"
#include "fuzz/scratch_file.h"
#include "core/mem.h"
#include "core/messages.h"
#include "core/settings.h"
#include "ops/catalogue.h"
#include "ops/ops.h"
#include "timeline/timeline.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {
ScratchFile g_scratch{"tml", ".tml"}, g_out{"tml-out", ".tml"};
}

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    return fuzz_catalogue_start();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (!g_scratch.write(data, size))
        return 0;
    timeline_new();
    long places = mem_counters().places_now;
    if (timeline_load(g_scratch.path()) == 0) {
        // What was read is written and read once more.
        timeline_save(g_out.path());
        timeline_load(g_out.path());
    }
    timeline_clear();
    if (mem_counters().places_now != places) {
        std::fprintf(stderr, "the timeline left %ld blocks behind\n", mem_counters().places_now - places);
        std::abort();
    }
    return 0;
}
