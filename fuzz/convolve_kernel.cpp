// The Convolve kernel file reader on damaged files: each input is written to
// a scratch file and read into the convolution settings; what was read must
// be thirteen finite numbers.
#include "core/messages.h"
#include "core/settings.h"
#include "ops/catalogue.h"
#include "ops/filter/filter.h"
#include "ops/ops.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {
std::string g_path;
}

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    settings_reset(settings(), ".");
    ops_reset_parameters();
    build_catalogue();
    messages_set_quiet(true);
    g_path = "/tmp/glimvq-fuzz-cnv-" + std::to_string(getpid()) + ".CNV";
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FILE* f = std::fopen(g_path.c_str(), "wb");
    if (!f)
        return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);
    if (convolve_load(g_path.c_str()) == 0) {
        const FilterParams& p = filter_params();
        for (float k : p.convolve_kernel)
            if (!std::isfinite(k))
                std::abort();
        if (!std::isfinite(p.convolve_threshold) || !std::isfinite(p.convolve_offset))
            std::abort();
    }
    return 0;
}
