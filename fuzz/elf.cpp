// The layered-file reader on damaged files: each input is written to a
// scratch file and loaded; whatever comes back is freed again.
#include "fuzz/scratch_file.h"
#include "core/messages.h"
#include "core/settings.h"
#include "layers/elf.h"
#include "layers/layer_manage.h"
#include "layers/layer_tables.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>

namespace {
ScratchFile g_scratch{"elf", ".elf"};
}

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    settings_reset(settings(), ".");
    layer_tables_init();
    messages_set_quiet(true);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Masters of millions of pixels are legal but slow to fill; the fuzzer
    // spends its time on the records and pixel codings instead.
    if (size >= 1296) {
        uint64_t w = static_cast<uint64_t>(data[1288]) << 24 | data[1289] << 16 | data[1290] << 8 | data[1291];
        uint64_t h = static_cast<uint64_t>(data[1292]) << 24 | data[1293] << 16 | data[1294] << 8 | data[1295];
        if (w * h > (1u << 20))
            return 0;
    }
    if (!g_scratch.write(data, size))
        return 0;
    layers_close(elf_load(g_scratch.path()));
    return 0;
}
