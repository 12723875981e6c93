// The operation settings reader on damaged files: each input is written to
// a scratch file and read into the operations' variables.
#include "fuzz/catalogue_start.h"
#include "fuzz/scratch_file.h"
#include "core/messages.h"
#include "core/settings.h"
#include "ops/catalogue.h"
#include "ops/op_settings.h"
#include "ops/profiles.h"
#include "ops/ops.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>

namespace {
ScratchFile g_scratch{"vqs", ".VQS"};
}

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    return fuzz_catalogue_start();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (!g_scratch.write(data, size))
        return 0;
    load_op_settings(g_scratch.path());
    return 0;
}
