// The timeline reader on damaged files: each input is written to a scratch
// file and loaded; whatever was read is written again and released, and
// nothing may remain of it.
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
std::string g_path, g_out;
}

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    settings_reset(settings(), ".");
    ops_reset_parameters();
    build_catalogue();
    messages_set_quiet(true);
    g_path = "/tmp/glimvq-fuzz-tml-" + std::to_string(getpid()) + ".tml";
    g_out = "/tmp/glimvq-fuzz-tml-out-" + std::to_string(getpid()) + ".tml";
    std::atexit([] {
        std::remove(g_path.c_str());
        std::remove(g_out.c_str());
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FILE* f = std::fopen(g_path.c_str(), "wb");
    if (!f)
        return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);
    timeline_new();
    long places = mem_counters().places_now;
    if (timeline_load(g_path.c_str()) == 0) {
        // What was read is written and read once more.
        timeline_save(g_out.c_str());
        timeline_load(g_out.c_str());
    }
    timeline_clear();
    if (mem_counters().places_now != places) {
        std::fprintf(stderr, "the timeline left %ld blocks behind\n", mem_counters().places_now - places);
        std::abort();
    }
    return 0;
}
