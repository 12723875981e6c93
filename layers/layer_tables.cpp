#include "layers/layer_tables.h"

#include "core/app.h"
#include "core/mem.h"
#include "core/messages.h"

namespace {

LayerTables g_tables;

} // namespace

LayerTables& layer_tables()
{
    return g_tables;
}

bool layer_tables_ready()
{
    return g_tables.div100 != nullptr;
}

bool layer_tables_init()
{
    if (layer_tables_ready())
        return true;
    LayerTables t{};
    t.div100 = mem_alloc_as<uint8_t>(32768, "div100");
    t.yab_union = mem_alloc_as<uint8_t>(65536, "yabeta");
    t.yab_ratio = mem_alloc_as<uint8_t>(65536, "yabeta");
    t.alphasum = mem_alloc_as<uint8_t>(512, "alphasum");
    t.div255 = mem_alloc_as<uint8_t>(65536, "div255");
    t.recip = mem_alloc_as<uint64_t>(1024, "recip");
    if (!t.div100 || !t.yab_union || !t.yab_ratio || !t.alphasum || !t.div255 || !t.recip) {
        g_tables = t;
        layer_tables_release();
        message_show(msg::NoMemoryOperation);
        return false;
    }
    for (int i = 0; i < 32768; ++i)
        t.div100[i] = static_cast<uint8_t>(i <= 25500 ? i / 100 : 255);
    for (int d = 0; d < 256; ++d)
        for (int w = 0; w < 256; ++w) {
            // floor(w + d - w*d/255) = w + d - ceil(w*d/255), exactly.
            t.yab_union[d * 256 + w] = static_cast<uint8_t>(w + d - (w * d + 254) / 255);
            // floor(255 w / u); only w <= u is asked for, the rest saturates.
            int r = d == 0 ? (w == 0 ? 0 : 255) : 255 * w / d;
            t.yab_ratio[d * 256 + w] = static_cast<uint8_t>(r > 255 ? 255 : r);
        }
    for (int i = 0; i < 512; ++i)
        t.alphasum[i] = static_cast<uint8_t>(i < 255 ? i : 255);
    for (int i = 0; i < 65536; ++i)
        t.div255[i] = static_cast<uint8_t>(i / 255 < 255 ? i / 255 : 255);
    t.recip[0] = 0;
    for (uint64_t n = 1; n < 1024; ++n)
        t.recip[n] = ((uint64_t{1} << 32) + n - 1) / n;
    g_tables = t;
    return true;
}

void layer_tables_release()
{
    LayerTables& t = g_tables;
    t.div100 = mem_free_t(t.div100);
    t.yab_union = mem_free_t(t.yab_union);
    t.yab_ratio = mem_free_t(t.yab_ratio);
    t.alphasum = mem_free_t(t.alphasum);
    t.div255 = mem_free_t(t.div255);
    t.recip = mem_free_t(t.recip);
}
