// The operation settings reader on damaged files: each input is written to
// a scratch file and read into the operations' variables.
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
std::string g_path;
}

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    settings_reset(settings(), ".");
    ops_reset_parameters();
    build_catalogue();
    messages_set_quiet(true);
    g_path = "/tmp/glimvq-fuzz-vqs-" + std::to_string(getpid()) + ".VQS";
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FILE* f = std::fopen(g_path.c_str(), "wb");
    if (!f)
        return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);
    load_op_settings(g_path.c_str());
    return 0;
}
