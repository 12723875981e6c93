// Programs of arbitrary text through the file check, the loader and the
// interpreter.  The runs open, delete and rename no file and stop after
// 2000 lines, so that a fuzzed program can neither touch the disk nor loop
// for ever.
#include "fuzz/scratch_file.h"
#include "script/engine.h"
#include "script/script.h"
#include "ui/headless/headless_platform.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

struct Quiet : ui::HeadlessPlatform {
    void output_box(const char*) override {}
    void console_write(const char*) override {}
    void message_box(const char*, const char*, ui::BoxIcon) override {}
    bool console_read_line(std::string& line) override
    {
        line = "1, two";
        return ++reads_ % 3 != 0;  // some answers, then the end of input
    }
    int reads_ = 0;
};

ScratchFile g_scratch{"script", ".gxs"};

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    static Quiet quiet;
    ui::platform_install(&quiet);
    script::Engine& e = script::engine();
    e.file_access = false;
    e.line_budget = 2000;
    e.max_string = 1 << 16;
    e.max_elements = 1 << 16;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (!g_scratch.write(data, size))
        return 0;
    const char* argv[] = {"fuzz", g_scratch.path(), "word", "two words"};
    script_run(4, argv);
    return 0;
}
