// The plug-in settings reader on damaged files: each input is written to a
// scratch file and read as "GLIMVQpu.ini"; the registered list is rebuilt
// from it every time.
#include "fuzz/scratch_file.h"
#include "core/messages.h"
#include "core/settings.h"
#include "plugins/plugins.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>

namespace {
ScratchFile g_scratch{"pu", ".ini"};
}

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    settings_reset(settings(), ".");
    messages_set_quiet(true);
    plugins_init();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (!g_scratch.write(data, size))
        return 0;
    plugins_load_settings(g_scratch.path());
    return 0;
}
