// The plug-in settings reader on damaged files: each input is written to a
// scratch file and read as "GLIMVQpu.ini"; the registered list is rebuilt
// from it every time.
#include "core/messages.h"
#include "core/settings.h"
#include "plugins/plugins.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>

namespace {
std::string g_path;
}

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    settings_reset(settings(), ".");
    messages_set_quiet(true);
    plugins_init();
    g_path = "/tmp/glimvq-fuzz-pu-" + std::to_string(getpid()) + ".ini";
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FILE* f = std::fopen(g_path.c_str(), "wb");
    if (!f)
        return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);
    plugins_load_settings(g_path.c_str());
    return 0;
}
