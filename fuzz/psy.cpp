// The particle-system reader on damaged files, and a few frames of what it
// read: the first byte chooses the frame and the area; the rest is the file.
// A file that reads is written and read again to the same text, and nothing
// may remain allocated afterwards.
#include "core/mem.h"
#include "core/messages.h"
#include "core/progress.h"
#include "particles/psystem.h"
#include "particles/simulate.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

namespace {
std::string g_path, g_out;
}

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    messages_set_quiet(true);
    progress_set_batch(true);
    // Enough to reach every rule (and the default count), not enough to
    // spend the fuzzer's time.
    psys_limits().max_particles = 1000;
    psys_limits().max_forces = 8;
    g_path = "/tmp/glimvq-fuzz-psy-" + std::to_string(getpid()) + ".psy";
    g_out = "/tmp/glimvq-fuzz-psy-out-" + std::to_string(getpid()) + ".psy";
    std::atexit([] {
        std::remove(g_path.c_str());
        std::remove(g_out.c_str());
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    FILE* f = std::fopen(g_path.c_str(), "wb");
    if (!f)
        return 0;
    std::fwrite(data + 1, 1, size - 1, f);
    std::fclose(f);
    long places = mem_counters().places_now;
    {
        PsysRun run;
        if (psys_read(g_path.c_str(), run.sys, true) == PSL_OK) {
            ParticleSystem again;
            psys_defaults(again);
            if (psys_write(g_out.c_str(), run.sys) != 0 || psys_read(g_out.c_str(), again, false) != PSL_OK ||
                psys_format(again) != psys_format(run.sys))
                __builtin_trap();
            psys_free(again);

            const long w = 16, h = 12;
            std::vector<uint8_t> mask(static_cast<size_t>(w * h), 255);
            if (data[0] & 0x80)
                for (size_t i = 0; i < mask.size(); ++i)
                    mask[i] = static_cast<uint8_t>(i * 37 % 5 == 0 ? 0 : i * 11);
            // The start advance runs each particle ahead: kept short here.
            run.sys.advancerange = std::clamp(run.sys.advancerange, -200.0f, 200.0f);
            palette_white(run.palette);
            run.palette.count = 1 + (data[0] & 3);
            run.stage.width = w;
            run.stage.height = h;
            run.stage.mask = mask.data();
            run.stage.x0 = 2, run.stage.y0 = 3, run.stage.x1 = 9, run.stage.y1 = 7;
            if (psys_generate(run, false) == PSL_OK) {
                std::vector<uint8_t> pixels(static_cast<size_t>(4 * w * h), 0);
                psys_advance(run, (data[0] >> 2) & 7, false);
                psys_draw(run, pixels.data(), w, h, (data[0] & 0x40) ? mask.data() : nullptr, false);
            }
        }
        psys_release(run);
    }
    if (mem_counters().places_now != places)
        __builtin_trap();
    return 0;
}
