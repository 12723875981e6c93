// The Convolve kernel file reader on damaged files: each input is written to
// a scratch file and read into the convolution settings; what was read must
// be thirteen finite numbers.
#include "fuzz/catalogue_start.h"
#include "fuzz/scratch_file.h"
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
ScratchFile g_scratch{"cnv", ".CNV"};
}

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    return fuzz_catalogue_start();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (!g_scratch.write(data, size))
        return 0;
    if (convolve_load(g_scratch.path()) == 0) {
        const FilterParams& p = filter_params();
        for (float k : p.convolve_kernel)
            if (!std::isfinite(k))
                std::abort();
        if (!std::isfinite(p.convolve_threshold) || !std::isfinite(p.convolve_offset))
            std::abort();
    }
    return 0;
}
