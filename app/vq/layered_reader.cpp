// The load dispatch reads layered files through its codec table; the
// reader lives above the formats folder, so the program enters it.
#include "formats/codecs.h"
#include "layers/elf.h"

namespace {

Image* read_layered_file(const LoadRequest& request)
{
    return elf_load(request.name);
}

struct LayeredReader {
    LayeredReader() { codec_register(CODEC_LAYERED, read_layered_file, nullptr); }
};
LayeredReader g_layered_reader;

} // namespace
