// The Attrib Group: the finish hooks edit the image's attributes (its
// resolution, author, annotation and copyright, which the file formats that
// can hold them write and read back); the pixels are left as they are.  The
// edits come after the undo capture, which keeps the attributes before them,
// so that undo puts them back; the prepare hooks only refuse bad settings.
#include "core/image.h"
#include "core/messages.h"
#include "ops/catalogue.h"
#include "ops/framework.h"
#include "ops/standard/standard.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <numeric>

namespace {

StandardParams& P()
{
    return g_standard_params;
}

// The text of a text slot, never beyond its size.
void copy_text(char* out, size_t size, const char* text, size_t text_size)
{
    const size_t n = strnlen(text, text_size);
    const size_t keep = std::min(n, size - 1);
    std::memcpy(out, text, keep);
    out[keep] = 0;
}

} // namespace

int aspect_prepare(Image*, int)
{
    const StandardParams& p = P();
    if (p.aspect_x < 1 || p.aspect_y < 1) {
        error_box("Aspect Ratio: both sides of the ratio must be at least 1.");
        return 2;
    }
    return 0;
}

int aspect_finish(Image* t, int)
{
    const StandardParams& p = P();
    // Pixels aspect_x wide for every aspect_y high: the vertical resolution
    // is the horizontal one scaled by x/y.
    const long g = std::gcd(p.aspect_x, p.aspect_y);
    const long x = p.aspect_x / g, y = p.aspect_y / g;
    const long hn = t->hres_num > 0 ? t->hres_num : 200, hd = t->hres_den > 0 ? t->hres_den : 1;
    long num = hn * x, den = hd * y;
    const long k = std::gcd(num, den);
    num /= k;
    den /= k;
    while (num > 2147483647L || den > 2147483647L) {
        num /= 2;
        den = std::max(1L, den / 2);
    }
    t->hres_num = static_cast<int32_t>(hn);
    t->hres_den = static_cast<int32_t>(hd);
    t->vres_num = static_cast<int32_t>(num);
    t->vres_den = static_cast<int32_t>(den);
    return 0;
}

int dpi_prepare(Image*, int)
{
    const StandardParams& p = P();
    if (p.dpi_h < 1 || p.dpi_v < 1) {
        error_box("DPI: the resolution must be at least 1 dot per inch.");
        return 2;
    }
    return 0;
}

int dpi_finish(Image* t, int)
{
    const StandardParams& p = P();
    t->hres_num = p.dpi_h;
    t->hres_den = 1;
    t->vres_num = p.dpi_v;
    t->vres_den = 1;
    return 0;
}

// Empty text clears the attribute.
int author_finish(Image* t, int)
{
    copy_text(t->author, sizeof t->author, P().author, sizeof P().author);
    return 0;
}

int copyright_finish(Image* t, int)
{
    copy_text(t->copyright, sizeof t->copyright, P().copyright, sizeof P().copyright);
    return 0;
}

int annotation_finish(Image* t, int)
{
    const char* text = P().annotation;
    const size_t n = strnlen(text, sizeof P().annotation);
    if (n == 0) {
        if (t->annotation)
            t->annotation[0] = 0;
        return 0;
    }
    if (image_annotation_alloc(t, static_cast<long>(n + 1)) != 0) {
        message_show(msg::NoMemoryOperation);
        return 2;
    }
    std::memcpy(t->annotation, text, n);
    t->annotation[n] = 0;
    return 0;
}

// The pixels do not change: the hooks did the work.
int attrib_worker(Image*, uint8_t*)
{
    return 0;
}
