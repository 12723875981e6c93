// Pixel access, the image and mask stacks and the mask edits of the script's
// image commands, and the state they keep for one run.
#include "script/image_run.h"

#include "areas/area.h"
#include "areas/area_mask.h"
#include "core/image.h"
#include "core/list.h"
#include "core/mem.h"
#include "core/platform.h"
#include "core/progress.h"
#include "core/settings.h"
#include "ops/tone/colour_space.h"
#include "script/script.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace script {

namespace {

ImageRun g_run;

// ---- coordinates and locking ----------------------------------------------------

// Coordinates outside the image read and write at 0 on that axis.
void place(const Image* img, const Value& vx, const Value& vy, long& x, long& y)
{
    x = to_int(vx);
    y = to_int(vy);
    if (x < 0 || x >= static_cast<long>(img->width))
        x = 0;
    if (y < 0 || y >= img->height)
        y = 0;
}

// Reads channel c (0 red .. 3 alpha) of the pixel at (x, y).
void get_channel(Value* a, Value& r, int c)
{
    Image* img = current_image();
    r = Value::dbl(0);
    if (!img)
        return;
    long x, y;
    place(img, a[0], a[1], x, y);
    ImageLock lock(img);
    if (!lock)
        return;
    r = Value::dbl(img->pixel(static_cast<int>(x), static_cast<int>(y))[c]);
}

// The same from the pixels before the run, without locking the image.
void get_channel_before(Value* a, Value& r, int c)
{
    Image* img = current_image();
    Image* before = g_run.before;
    r = Value::dbl(0);
    if (!img || !before)
        return;
    long x, y;
    place(before, a[0], a[1], x, y);
    ImageLock lock(before);
    if (!lock)
        return;
    r = Value::dbl(before->pixel(static_cast<int>(x), static_cast<int>(y))[c]);
}

// The mask weight at a pixel; 255 where there is no mask for the image.
int weight_at(const Image* img, long x, long y)
{
    const AreaMask& m = area_mask();
    if (!m.block || m.width != static_cast<long>(img->width) || m.height != img->height)
        return 255;
    uint8_t* bytes = mask_lock();
    return bytes ? bytes[y * m.width + x] : 255;
}

// Writes channel c through the mask: (m * v + (255 - m) * old) / 255.
void put_channel(Value* a, Value& r, int c)
{
    Image* img = current_image();
    r = Value::dbl(0);
    if (!img)
        return;
    long x, y;
    place(img, a[0], a[1], x, y);
    int v = to_int(a[2]) & 0xFF;
    ImageLock lock(img);
    if (!lock)
        return;
    uint8_t* p = img->pixel(static_cast<int>(x), static_cast<int>(y));
    int old = p[c];
    int m = weight_at(img, x, y);
    p[c] = static_cast<uint8_t>((m * v + (255 - m) * old) / 255);
    if (p[c] != old)
        g_run.pixels_changed = true;
    r = Value::dbl(old);
}

// Hue (0..360), saturation and lightness (0..100) of a pixel.
HlsColour hls_of(const uint8_t* p)
{
    HlsColour h{};
    h.r = p[0];
    h.g = p[1];
    h.b = p[2];
    rgb_to_hls(h);
    return h;
}

int component(const HlsColour& h, int which)
{
    return which == 0 ? h.hue : (which == 1 ? h.saturation : h.lightness);
}

void get_hls(Value* a, Value& r, int which, bool before)
{
    Image* img = before ? g_run.before : current_image();
    r = Value::dbl(0);
    if (!img || !current_image())
        return;
    long x, y;
    place(img, a[0], a[1], x, y);
    ImageLock lock(img);
    if (!lock)
        return;
    r = Value::dbl(component(hls_of(img->pixel(static_cast<int>(x), static_cast<int>(y))), which));
}

void put_hls(Value* a, Value& r, int which)
{
    Image* img = current_image();
    r = Value::dbl(0);
    if (!img)
        return;
    long x, y;
    place(img, a[0], a[1], x, y);
    int v = to_int(a[2]);
    ImageLock lock(img);
    if (!lock)
        return;
    uint8_t* p = img->pixel(static_cast<int>(x), static_cast<int>(y));
    HlsColour h = hls_of(p);
    r = Value::dbl(component(h, which));
    if (which == 0)
        h.hue = static_cast<int16_t>(((v % 360) + 360) % 360);
    else if (which == 1)
        h.saturation = static_cast<int16_t>(std::clamp(v, 0, 100));
    else
        h.lightness = static_cast<int16_t>(std::clamp(v, 0, 100));
    hls_to_rgb(h);
    int m = weight_at(img, x, y);
    const int n[3] = {h.r, h.g, h.b};
    for (int c = 0; c < 3; ++c) {
        int old = p[c];
        p[c] = static_cast<uint8_t>((m * std::clamp(n[c], 0, 255) + (255 - m) * old) / 255);
        if (p[c] != old)
            g_run.pixels_changed = true;
    }
}

// ---- stacks -------------------------------------------------------------------------

void slot_free(StackSlot& s)
{
    s.bytes = mem_free_t(s.bytes);
    s.width = s.height = 0;
}

// Pushes a copy of `bytes`; false when full or out of memory.
bool push(StackSlot* stack, int& top, const uint8_t* bytes, long width, long height, long per_pixel)
{
    if (top <= 0)
        return false;
    long size = width * height * per_pixel;
    auto* copy = static_cast<uint8_t*>(mem_alloc(size > 0 ? size : 1, per_pixel == 4 ? "simg" : "smsk"));
    if (!copy)
        fail(E_MEMORY);
    if (size > 0)
        std::memcpy(copy, bytes, static_cast<size_t>(size));
    --top;
    stack[top] = StackSlot{copy, width, height};
    return true;
}

void drop(StackSlot* stack, int& top)
{
    if (top >= kStackSlots)
        return;
    slot_free(stack[top]);
    ++top;
}

[[noreturn]] void size_differs(const char* what, const StackSlot& s, long w, long h)
{
    char text[160];
    std::snprintf(text, sizeof text, "%s of %ldx%ld does not fit the image of %ldx%ld", what, s.width, s.height, w, h);
    fail_text(text, E_ARGUMENT);
}

void image_changed(Image* img)
{
    img->changes = static_cast<int16_t>(img->changes + 1);
    g_run.pixels_changed = true;
    ui::platform().redraw(img, nullptr);
}

// The top slot of a stack for the current image: null when there is no
// image or the stack is empty; a slot of another size ends the run.
StackSlot* top_slot_for(Image* img, StackSlot* slots, int top, const char* what)
{
    if (!img || top >= kStackSlots)
        return nullptr;
    StackSlot& s = slots[top];
    if (s.width != static_cast<long>(img->width) || s.height != img->height)
        size_differs(what, s, static_cast<long>(img->width), img->height);
    return &s;
}

StackSlot* top_image_for(Image* img)
{
    return top_slot_for(img, g_run.images, g_run.image_top, "The image on the stack");
}

StackSlot* top_mask_for(Image* img)
{
    return top_slot_for(img, g_run.masks, g_run.mask_top, "The mask on the stack");
}

Line* st_pushimage(Line* line)
{
    line->cursor = expect_end(line->text, line->cursor);
    Image* img = current_image();
    if (!img || g_run.image_top <= 0)
        return line;
    ImageLock lock(img);
    if (lock)
        push(g_run.images, g_run.image_top, img->pixels, static_cast<long>(img->width), img->height, 4);
    return line;
}

Line* st_popimage(Line* line)
{
    line->cursor = expect_end(line->text, line->cursor);
    Image* img = current_image();
    StackSlot* s = top_image_for(img);
    if (!s)
        return line;
    ImageLock lock(img);
    if (!lock)
        return line;
    std::memcpy(img->pixels, s->bytes, static_cast<size_t>(s->width * s->height * 4));
    drop(g_run.images, g_run.image_top);
    image_changed(img);
    return line;
}

Line* st_exgimage(Line* line)
{
    line->cursor = expect_end(line->text, line->cursor);
    Image* img = current_image();
    StackSlot* s = top_image_for(img);
    if (!s)
        return line;
    ImageLock lock(img);
    if (!lock)
        return line;
    std::vector<uint8_t> swap(s->bytes, s->bytes + s->width * s->height * 4);
    std::memcpy(s->bytes, img->pixels, swap.size());
    std::memcpy(img->pixels, swap.data(), swap.size());
    image_changed(img);
    return line;
}

Line* st_dupimage(Line* line)
{
    line->cursor = expect_end(line->text, line->cursor);
    if (g_run.image_top >= kStackSlots || g_run.image_top <= 0)
        return line;
    StackSlot s = g_run.images[g_run.image_top];
    push(g_run.images, g_run.image_top, s.bytes, s.width, s.height, 4);
    return line;
}

Line* st_dropimage(Line* line)
{
    line->cursor = expect_end(line->text, line->cursor);
    drop(g_run.images, g_run.image_top);
    return line;
}

// The mask as an image: grey of the weight, opaque.
Line* st_pushmai(Line* line)
{
    line->cursor = expect_end(line->text, line->cursor);
    Image* img = current_image();
    if (!img || g_run.image_top <= 0)
        return line;
    bool made = !area_mask().block;
    uint8_t* m = run_mask();
    if (!m)
        return line;
    const long w = static_cast<long>(img->width), h = img->height;
    std::vector<uint8_t> grey(static_cast<size_t>(w * h * 4));
    for (long i = 0; i < w * h; ++i) {
        grey[static_cast<size_t>(4 * i)] = grey[static_cast<size_t>(4 * i + 1)] = grey[static_cast<size_t>(4 * i + 2)] = m[i];
        grey[static_cast<size_t>(4 * i + 3)] = 255;
    }
    mask_unlock();
    if (made)
        mask_release();  // made only for the push
    push(g_run.images, g_run.image_top, grey.data(), w, h, 4);
    return line;
}

// The current image's grey, (red + green + blue) / 3, onto the mask stack.
Line* st_pushiam(Line* line)
{
    line->cursor = expect_end(line->text, line->cursor);
    Image* img = current_image();
    if (!img || g_run.mask_top <= 0)
        return line;
    ImageLock lock(img);
    if (!lock)
        return line;
    const long w = static_cast<long>(img->width), h = img->height;
    std::vector<uint8_t> grey(static_cast<size_t>(w * h));
    for (long i = 0; i < w * h; ++i) {
        const uint8_t* p = img->pixels + 4 * i;
        grey[static_cast<size_t>(i)] = static_cast<uint8_t>((p[0] + p[1] + p[2]) / 3);
    }
    push(g_run.masks, g_run.mask_top, grey.data(), w, h, 1);
    return line;
}

// The top image's grey becomes the mask; the image is popped.
Line* st_popiam(Line* line)
{
    line->cursor = expect_end(line->text, line->cursor);
    Image* img = current_image();
    StackSlot* s = top_image_for(img);
    if (!s)
        return line;
    uint8_t* m = run_mask();
    if (!m)
        return line;
    for (long i = 0; i < s->width * s->height; ++i) {
        const uint8_t* p = s->bytes + 4 * i;
        m[i] = static_cast<uint8_t>((p[0] + p[1] + p[2]) / 3);
    }
    mask_edited();
    drop(g_run.images, g_run.image_top);
    return line;
}

// The top mask becomes the current image's grey (alpha kept); it is popped.
Line* st_popmai(Line* line)
{
    line->cursor = expect_end(line->text, line->cursor);
    Image* img = current_image();
    StackSlot* s = top_mask_for(img);
    if (!s)
        return line;
    ImageLock lock(img);
    if (!lock)
        return line;
    for (long i = 0; i < s->width * s->height; ++i) {
        uint8_t* p = img->pixels + 4 * i;
        p[0] = p[1] = p[2] = s->bytes[i];
    }
    drop(g_run.masks, g_run.mask_top);
    image_changed(img);
    return line;
}

// ---- the mask stack and mask edits --------------------------------------------------------

Line* st_pushmask(Line* line)
{
    line->cursor = expect_end(line->text, line->cursor);
    Image* img = current_image();
    if (!img || g_run.mask_top <= 0)
        return line;
    uint8_t* m = run_mask();
    if (m)
        push(g_run.masks, g_run.mask_top, m, static_cast<long>(img->width), img->height, 1);
    return line;
}

Line* st_popmask(Line* line)
{
    line->cursor = expect_end(line->text, line->cursor);
    Image* img = current_image();
    StackSlot* s = top_mask_for(img);
    if (!s)
        return line;
    uint8_t* m = run_mask();
    if (!m)
        return line;
    std::memcpy(m, s->bytes, static_cast<size_t>(s->width * s->height));
    mask_edited();
    drop(g_run.masks, g_run.mask_top);
    return line;
}

Line* st_delmask(Line* line)
{
    line->cursor = expect_end(line->text, line->cursor);
    drop(g_run.masks, g_run.mask_top);
    return line;
}

Line* st_exgmask(Line* line)
{
    line->cursor = expect_end(line->text, line->cursor);
    Image* img = current_image();
    StackSlot* s = top_mask_for(img);
    if (!s)
        return line;
    uint8_t* m = run_mask();
    if (!m)
        return line;
    std::swap_ranges(m, m + s->width * s->height, s->bytes);
    mask_edited();
    return line;
}

// Edits of the whole mask: f(mask, width, height).
template <class F>
Line* mask_statement(Line* line, F f)
{
    line->cursor = expect_end(line->text, line->cursor);
    Image* img = current_image();
    if (!img)
        return line;
    uint8_t* m = run_mask();
    if (!m)
        return line;
    f(m, static_cast<long>(img->width), static_cast<long>(img->height));
    mask_edited();
    return line;
}

// HFMASK: the mask mirrored left to right.
Line* st_hfmask(Line* line)
{
    return mask_statement(line, [](uint8_t* m, long w, long h) {
        for (long y = 0; y < h; ++y)
            std::reverse(m + y * w, m + (y + 1) * w);
    });
}

// NFMASK: no feathering: weights from 128 up become 255, the others 0.
Line* st_nfmask(Line* line)
{
    return mask_statement(line, [](uint8_t* m, long w, long h) {
        for (long i = 0; i < w * h; ++i)
            m[i] = m[i] >= 128 ? 255 : 0;
    });
}

Line* st_invertmask(Line* line)
{
    return mask_statement(line, [](uint8_t* m, long w, long h) {
        for (long i = 0; i < w * h; ++i)
            m[i] = static_cast<uint8_t>(255 - m[i]);
    });
}

// INVERTSEL: the selection itself is complemented, so that the operations
// that build the mask from it work outside it from now on.
Line* st_invertsel(Line* line)
{
    line->cursor = expect_end(line->text, line->cursor);
    Image* img = current_image();
    if (!img)
        return line;
    AreaState& st = area_state();
    if (st.present && st.chain && st.chain->head && st.chain->head->element) {
        auto* first = static_cast<AreaDesc*>(st.chain->head->element);
        first->combination2 = first->combination2 ? 0 : 1;
        ++st.generation;
        if (build_area_mask(img, settings().with_alpha != 0) == 0)
            g_run.mask_owned = false;
        return line;
    }
    // The entire image complemented is nothing.
    if (uint8_t* m = run_mask()) {
        std::memset(m, 0, static_cast<size_t>(img->width) * static_cast<size_t>(img->height));
        mask_edited();
    }
    return line;
}

Line* st_maskchanged(Line* line)
{
    line->cursor = expect_end(line->text, line->cursor);
    if (current_image() && run_mask())
        mask_edited();
    return line;
}

// SMASKCOMBINE: the top of the mask stack combined into the mask by the
// area tool's combination (replace, union, intersection, exclusion), popped.
Line* st_smaskcombine(Line* line)
{
    line->cursor = expect_end(line->text, line->cursor);
    Image* img = current_image();
    StackSlot* s = top_mask_for(img);
    if (!s)
        return line;
    uint8_t* m = run_mask();
    if (!m)
        return line;
    const int how = area_settings().combination1;
    for (long i = 0; i < s->width * s->height; ++i) {
        int a = m[i], b = s->bytes[i];
        switch (how) {
        case COMBINE_UNION: m[i] = static_cast<uint8_t>(std::max(a, b)); break;
        case COMBINE_INTERSECTION: m[i] = static_cast<uint8_t>(std::min(a, b)); break;
        case COMBINE_EXCLUDE: m[i] = static_cast<uint8_t>(a * (255 - b) / 255); break;
        default: m[i] = static_cast<uint8_t>(b); break;
        }
    }
    mask_edited();
    drop(g_run.masks, g_run.mask_top);
    return line;
}

struct NamedStatement {
    const char* name;
    StatementFn fn;
};
const NamedStatement kStackStatements[] = {
    {"PUSHMASK", st_pushmask},       {"POPMASK", st_popmask},     {"DELMASK", st_delmask},
    {"DROPMASK", st_delmask},        {"EXGMASK", st_exgmask},     {"HFMASK", st_hfmask},
    {"NFMASK", st_nfmask},           {"INVERTMASK", st_invertmask}, {"INVERTSEL", st_invertsel},
    {"MASKCHANGED", st_maskchanged}, {"SMASKCOMBINE", st_smaskcombine},
    {"PUSHIMAGE", st_pushimage},     {"POPIMAGE", st_popimage},   {"PULLIMAGE", st_popimage},
    {"EXGIMAGE", st_exgimage},       {"DUPIMAGE", st_dupimage},   {"DROPIMAGE", st_dropimage},
    {"PUSHMAI", st_pushmai},         {"PUSHIAM", st_pushiam},     {"POPIAM", st_popiam},
    {"PULLIAM", st_popiam},          {"POPMAI", st_popmai},       {"PULLMAI", st_popmai},
};

// Grows (largest) or shrinks (smallest) every weight over a box of dx by dy
// pixels each side: two passes of one dimension each.
void morph(uint8_t* m, long w, long h, long dx, long dy, bool grow)
{
    auto pick = [grow](uint8_t a, uint8_t b) { return grow ? std::max(a, b) : std::min(a, b); };
    std::vector<uint8_t> line;
    if (dx > 0) {
        line.resize(static_cast<size_t>(w));
        for (long y = 0; y < h; ++y) {
            uint8_t* row = m + y * w;
            std::copy(row, row + w, line.begin());
            for (long x = 0; x < w; ++x) {
                uint8_t v = line[static_cast<size_t>(x)];
                for (long k = std::max(0L, x - dx); k <= std::min(w - 1, x + dx); ++k)
                    v = pick(v, line[static_cast<size_t>(k)]);
                row[x] = v;
            }
        }
    }
    if (dy > 0) {
        line.resize(static_cast<size_t>(h));
        for (long x = 0; x < w; ++x) {
            for (long y = 0; y < h; ++y)
                line[static_cast<size_t>(y)] = m[y * w + x];
            for (long y = 0; y < h; ++y) {
                uint8_t v = line[static_cast<size_t>(y)];
                for (long k = std::max(0L, y - dy); k <= std::min(h - 1, y + dy); ++k)
                    v = pick(v, line[static_cast<size_t>(k)]);
                m[y * w + x] = v;
            }
        }
    }
}

// A mask function: f(mask, width, height); returns 0.
template <class F>
void mask_function(Value& r, F f)
{
    r = Value::dbl(0);
    Image* img = current_image();
    if (!img)
        return;
    uint8_t* m = run_mask();
    if (!m)
        return;
    f(m, static_cast<long>(img->width), static_cast<long>(img->height));
    mask_edited();
}

// Selects the current area settings after `setup` changed them, and builds
// the mask from the selection.
void select_area(Value& r, void (*setup)(AreaSettings&, Value*), Value* a)
{
    r = Value::dbl(0);
    Image* img = current_image();
    AreaSettings& s = area_settings();
    setup(s, a);
    s.src_width = s.src_height = 0;
    if (area_select() != 0)
        return;
    if (img && build_area_mask(img, settings().with_alpha != 0) == 0) {
        g_run.mask_owned = false;
        r = Value::dbl(1);
    }
}

void box_settings(AreaSettings& s, Value* a, AreaMode mode)
{
    long x0 = to_int(a[0]), y0 = to_int(a[1]), x1 = to_int(a[2]), y1 = to_int(a[3]);
    if (x0 > x1)
        std::swap(x0, x1);
    if (y0 > y1)
        std::swap(y0, y1);
    s.mode = mode;
    s.pos_x = (x0 + x1) / 2;
    s.pos_y = (y0 + y1) / 2;
    s.pos_set = true;
    s.rad_x = (x1 - x0) / 2;
    s.rad_y = (y1 - y0) / 2;
    s.box[0] = x0;
    s.box[1] = y0;
    s.box[2] = x1;
    s.box[3] = y1;
}

} // namespace

ImageRun& image_run()
{
    return g_run;
}

Image* current_image()
{
    Image* img = g_run.image;
    return img && image_store_contains(img) ? img : nullptr;
}

uint8_t* run_mask()
{
    Image* img = current_image();
    if (!img || ensure_mask(img->width, img->height) != 0)
        return nullptr;
    return mask_lock();
}

void mask_edited()
{
    Image* img = current_image();
    AreaMask& m = area_mask();
    uint8_t* bytes = mask_lock();
    if (!img || !bytes)
        return;
    const long w = m.width, h = m.height;
    long x0 = w, y0 = h, x1 = -1, y1 = -1;
    for (long y = 0; y < h; ++y) {
        const uint8_t* row = bytes + y * w;
        for (long x = 0; x < w; ++x) {
            if (!row[x])
                continue;
            x0 = std::min(x0, x);
            x1 = std::max(x1, x);
            y0 = std::min(y0, y);
            y1 = std::max(y1, y);
        }
    }
    AreaRect& r = m.rect;
    if (x1 < 0) {
        r = AreaRect{0, 0, 0, 0, 0, 0, 0, 0};
    } else {
        r.x0 = static_cast<int32_t>(x0);
        r.y0 = static_cast<int32_t>(y0);
        r.x1 = static_cast<int32_t>(x1);
        r.y1 = static_cast<int32_t>(y1);
        area_rect_update(r);
    }
    m.built = true;
    g_run.mask_owned = true;
}

StatementFn stack_statement(const char* name)
{
    for (const NamedStatement& s : kStackStatements)
        if (std::strcmp(s.name, name) == 0)
            return s.fn;
    return nullptr;
}

bool image_run_begin()
{
    g_run.image = script_image();
    g_run.before = nullptr;
    g_run.image_top = g_run.mask_top = kStackSlots;
    for (int i = 0; i < kStackSlots; ++i)
        g_run.images[i] = g_run.masks[i] = StackSlot{nullptr, 0, 0};
    g_run.mask_owned = false;
    g_run.pixels_changed = false;
    g_run.progress_open = false;
    g_run.mode = 0;
    Image* img = current_image();
    if (!img)
        return true;
    // The pixels before the run, for the "U" functions.
    ImageLock lock(img);
    if (!lock)
        return true;
    g_run.before = image_new(static_cast<long>(img->width), img->height, "sund");
    if (!g_run.before)
        return false;
    {
        ImageLock copy(g_run.before);
        if (!copy)
            return false;
        std::memcpy(g_run.before->pixels, img->pixels, static_cast<size_t>(img->width) * static_cast<size_t>(img->height) * 4);
    }
    lock.release();
    // The mask of the selection, as the pixel writes and the operations see it.
    if (settings().work_method == 0)
        build_area_mask(img, settings().with_alpha != 0);
    else
        ensure_mask(img->width, img->height);
    return true;
}

void image_run_end()
{
    for (int i = 0; i < kStackSlots; ++i) {
        slot_free(g_run.images[i]);
        slot_free(g_run.masks[i]);
    }
    g_run.image_top = g_run.mask_top = kStackSlots;
    if (g_run.before) {
        image_free(g_run.before);
        g_run.before = nullptr;
    }
    if (g_run.progress_open) {
        progress_close();
        g_run.progress_open = false;
    }
    mask_unlock();
    Image* img = current_image();
    if (img && g_run.pixels_changed) {
        img->changes = static_cast<int16_t>(img->changes + 1);
        ui::platform().redraw(img, nullptr);
    }
    g_run.pixels_changed = false;
    g_run.image = nullptr;
}

// ---- the functions -------------------------------------------------------------------

void fn_getred(int, Value* a, Value& r) { get_channel(a, r, 0); }
void fn_getgreen(int, Value* a, Value& r) { get_channel(a, r, 1); }
void fn_getblue(int, Value* a, Value& r) { get_channel(a, r, 2); }
void fn_getalpha(int, Value* a, Value& r) { get_channel(a, r, 3); }
void fn_getredu(int, Value* a, Value& r) { get_channel_before(a, r, 0); }
void fn_getgreenu(int, Value* a, Value& r) { get_channel_before(a, r, 1); }
void fn_getblueu(int, Value* a, Value& r) { get_channel_before(a, r, 2); }
void fn_getalphau(int, Value* a, Value& r) { get_channel_before(a, r, 3); }
void fn_putred(int, Value* a, Value& r) { put_channel(a, r, 0); }
void fn_putgreen(int, Value* a, Value& r) { put_channel(a, r, 1); }
void fn_putblue(int, Value* a, Value& r) { put_channel(a, r, 2); }
void fn_putalpha(int, Value* a, Value& r) { put_channel(a, r, 3); }
void fn_gethue(int, Value* a, Value& r) { get_hls(a, r, 0, false); }
void fn_getsat(int, Value* a, Value& r) { get_hls(a, r, 1, false); }
void fn_getluma(int, Value* a, Value& r) { get_hls(a, r, 2, false); }
void fn_gethueu(int, Value* a, Value& r) { get_hls(a, r, 0, true); }
void fn_getsatu(int, Value* a, Value& r) { get_hls(a, r, 1, true); }
void fn_getlumau(int, Value* a, Value& r) { get_hls(a, r, 2, true); }
void fn_puthue(int, Value* a, Value& r) { put_hls(a, r, 0); }
void fn_putsat(int, Value* a, Value& r) { put_hls(a, r, 1); }
void fn_putluma(int, Value* a, Value& r) { put_hls(a, r, 2); }

void fn_getm(int, Value* a, Value& r)
{
    Image* img = current_image();
    r = Value::dbl(0);
    if (!img)
        return;
    long x, y;
    place(img, a[0], a[1], x, y);
    uint8_t* m = run_mask();
    if (m)
        r = Value::dbl(m[y * static_cast<long>(img->width) + x]);
}

void fn_putm(int, Value* a, Value& r)
{
    Image* img = current_image();
    r = Value::dbl(0);
    if (!img)
        return;
    long x, y;
    place(img, a[0], a[1], x, y);
    int v = std::clamp(to_int(a[2]), 0, 255);
    uint8_t* m = run_mask();
    if (!m)
        return;
    uint8_t& cell = m[y * static_cast<long>(img->width) + x];
    r = Value::dbl(cell);
    cell = static_cast<uint8_t>(v);
    mask_edited();
}

// SWAPIMAGE (n): the top image and the one n places below it change places;
// 1 when they did.
void fn_swapimage(int, Value* a, Value& r)
{
    int n = to_int(a[0]);
    int top = g_run.image_top;
    r = Value::dbl(0);
    if (top >= kStackSlots || n <= 0 || n >= kStackSlots - top)
        return;
    std::swap(g_run.images[top], g_run.images[top + n]);
    r = Value::dbl(1);
}

// FEATHERMASK (n): softens the mask's edges over n pixels (a box blur of
// radius n, twice).
void fn_feathermask(int, Value* a, Value& r)
{
    long n = std::clamp(to_int(a[0]), 0, 1000);
    mask_function(r, [n](uint8_t* m, long w, long h) {
        if (n <= 0)
            return;
        std::vector<uint32_t> line;
        for (int pass = 0; pass < 2; ++pass) {
            line.resize(static_cast<size_t>(w + 1));
            for (long y = 0; y < h; ++y) {
                uint8_t* row = m + y * w;
                line[0] = 0;
                for (long x = 0; x < w; ++x)
                    line[static_cast<size_t>(x + 1)] = line[static_cast<size_t>(x)] + row[x];
                for (long x = 0; x < w; ++x) {
                    long lo = std::max(0L, x - n), hi = std::min(w - 1, x + n);
                    row[x] = static_cast<uint8_t>((line[static_cast<size_t>(hi + 1)] - line[static_cast<size_t>(lo)]) /
                                                  static_cast<uint32_t>(hi - lo + 1));
                }
            }
            line.resize(static_cast<size_t>(h + 1));
            for (long x = 0; x < w; ++x) {
                line[0] = 0;
                for (long y = 0; y < h; ++y)
                    line[static_cast<size_t>(y + 1)] = line[static_cast<size_t>(y)] + m[y * w + x];
                for (long y = 0; y < h; ++y) {
                    long lo = std::max(0L, y - n), hi = std::min(h - 1, y + n);
                    m[y * w + x] = static_cast<uint8_t>((line[static_cast<size_t>(hi + 1)] - line[static_cast<size_t>(lo)]) /
                                                        static_cast<uint32_t>(hi - lo + 1));
                }
            }
        }
    });
}

// SETMASK (v): every weight becomes v.
void fn_setmask(int, Value* a, Value& r)
{
    int v = std::clamp(to_int(a[0]), 0, 255);
    mask_function(r, [v](uint8_t* m, long w, long h) { std::memset(m, v, static_cast<size_t>(w * h)); });
}

// SETOFFSET (v): every weight of the mask moves by v (limited to 0..255);
// the result is the number of weights that changed.
void fn_setoffset(int, Value* a, Value& r)
{
    const int v = std::clamp(to_int(a[0]), -255, 255);
    long changed = 0;
    mask_function(r, [v, &changed](uint8_t* m, long w, long h) {
        for (long i = 0; i < w * h; ++i) {
            const int now = std::clamp(m[i] + v, 0, 255);
            changed += now != m[i];
            m[i] = static_cast<uint8_t>(now);
        }
    });
    r = Value::dbl(static_cast<double>(changed));
}

// CALCULATE (channel, kr, kg, kb, ka, k, divisor, lo, hi, from undo): inside
// the mask, a channel (0 red, 1 green, 2 blue, 3 alpha, 4 the three colours)
// becomes (kr R + kg G + kb B + ka A + k) / divisor, limited to lo..hi and
// blended by the weight.  R, G, B, A are the pixel's own, or the undo copy's
// when the last argument is not 0.  The result is the number of pixels changed.
void fn_calculate(int, Value* a, Value& r)
{
    r = Value::dbl(0);
    Image* img = current_image();
    if (!img)
        return;
    const int channel = to_int(a[0]);
    if (channel < 0 || channel > 4)
        return;
    double k[5];
    for (int i = 0; i < 5; ++i)
        k[i] = std::clamp(to_number(a[1 + i]), -1e6, 1e6);
    double divisor = to_number(a[6]);
    if (!(std::fabs(divisor) >= 1e-9))
        divisor = 1;
    const int lo = std::clamp(to_int(a[7]), 0, 255), hi = std::clamp(to_int(a[8]), 0, 255);
    Image* before = to_int(a[9]) != 0 ? g_run.before : nullptr;
    if (before && (before->width != img->width || before->height != img->height))
        before = nullptr;
    ImageLock lock(img);
    if (!lock)
        return;
    ImageLock before_lock(before);
    if (before && !before_lock)
        return;
    const long w = static_cast<long>(img->width), h = img->height;
    const AreaMask& am = area_mask();
    const uint8_t* weights = am.block && am.width == w && am.height == h ? mask_lock() : nullptr;
    long changed = 0;
    for (long y = 0; y < h; ++y)
        for (long x = 0; x < w; ++x) {
            const int m = weights ? weights[y * w + x] : 255;
            if (m == 0)
                continue;
            uint8_t* p = img->pixel(static_cast<int>(x), static_cast<int>(y));
            const uint8_t* s = before ? before->pixel(static_cast<int>(x), static_cast<int>(y)) : p;
            const double sum = k[0] * s[0] + k[1] * s[1] + k[2] * s[2] + k[3] * s[3] + k[4];
            const int v = std::clamp(static_cast<int>(std::lround(std::clamp(sum / divisor, -1e6, 1e6))),
                                     std::min(lo, hi), std::max(lo, hi));
            bool any = false;
            for (int c = channel == 4 ? 0 : channel; c <= (channel == 4 ? 2 : channel); ++c) {
                const int old = p[c];
                p[c] = static_cast<uint8_t>((m * v + (255 - m) * old) / 255);
                any |= p[c] != old;
            }
            changed += any;
        }
    if (changed)
        g_run.pixels_changed = true;
    r = Value::dbl(static_cast<double>(changed));
}

// SETSEL (on): 0 drops the selection (the whole image again); otherwise the
// area tool's current settings are selected.  1 when a mask was built.
void fn_setsel(int, Value* a, Value& r)
{
    int on = to_int(a[0]);
    r = Value::dbl(0);
    Image* img = current_image();
    if (on == 0)
        area_clear();
    else if (area_select() != 0)
        return;
    if (img && build_area_mask(img, settings().with_alpha != 0) == 0) {
        g_run.mask_owned = false;
        r = Value::dbl(1);
    }
}

// SETALPHAMASK (how): 0 the mask takes the alpha channel, 1 its complement,
// 2 the alpha weighs the mask.
void fn_setalphamask(int, Value* a, Value& r)
{
    int how = to_int(a[0]);
    Image* img = current_image();
    r = Value::dbl(0);
    if (!img)
        return;
    ImageLock lock(img);
    if (!lock)
        return;
    const uint8_t* px = img->pixels;
    mask_function(r, [how, px](uint8_t* m, long w, long h) {
        for (long i = 0; i < w * h; ++i) {
            int alpha = px[4 * i + 3];
            m[i] = static_cast<uint8_t>(how == 0 ? alpha : (how == 1 ? 255 - alpha : m[i] * alpha / 255));
        }
    });
}

// EXPAND (dx, dy) and CONTRACT (dx, dy): the selection grows or shrinks by
// dx pixels across and dy down.
void fn_expand(int, Value* a, Value& r)
{
    long dx = std::clamp(to_int(a[0]), 0, 1000), dy = std::clamp(to_int(a[1]), 0, 1000);
    mask_function(r, [dx, dy](uint8_t* m, long w, long h) { morph(m, w, h, dx, dy, true); });
}
void fn_contract(int, Value* a, Value& r)
{
    long dx = std::clamp(to_int(a[0]), 0, 1000), dy = std::clamp(to_int(a[1]), 0, 1000);
    mask_function(r, [dx, dy](uint8_t* m, long w, long h) { morph(m, w, h, dx, dy, false); });
}

// SELOVAL and SELRECT (x0, y0, x1, y1): an ellipse or rectangle with those
// corners becomes the selection (combined as the area tool's settings say).
void fn_seloval(int, Value* a, Value& r)
{
    select_area(r, [](AreaSettings& s, Value* v) { box_settings(s, v, AreaMode::ELLIPSE); }, a);
}
void fn_selrect(int, Value* a, Value& r)
{
    select_area(r, [](AreaSettings& s, Value* v) { box_settings(s, v, AreaMode::RECT); }, a);
}

// MASKRECT (x0, y0, x1, y1, v): the weights of a rectangle become v.
void fn_maskrect(int, Value* a, Value& r)
{
    long x0 = to_int(a[0]), y0 = to_int(a[1]), x1 = to_int(a[2]), y1 = to_int(a[3]);
    int v = std::clamp(to_int(a[4]), 0, 255);
    mask_function(r, [=](uint8_t* m, long w, long h) {
        long ax = std::max(0L, std::min(x0, x1)), bx = std::min(w - 1, std::max(x0, x1));
        long ay = std::max(0L, std::min(y0, y1)), by = std::min(h - 1, std::max(y0, y1));
        for (long y = ay; y <= by; ++y)
            for (long x = ax; x <= bx; ++x)
                m[y * w + x] = static_cast<uint8_t>(v);
    });
}

// TEXTSEL (x, y, size, weight, italic, rotation, mag x %, mag y %, shear %,
// feather, combination): the area tool's text becomes the selection, in the
// area tool's font, centred on (x, y).
void fn_textsel(int, Value* a, Value& r)
{
    select_area(
        r,
        [](AreaSettings& s, Value* v) {
            s.mode = AreaMode::FONT;
            s.pos_x = to_int(v[0]);
            s.pos_y = to_int(v[1]);
            s.pos_set = true;
            s.font_size = std::clamp(to_int(v[2]), 1, 4000);
            s.font_weight = std::clamp(to_int(v[3]), 100, 900);
            s.font_italic = to_int(v[4]) != 0;
            s.rotation = to_number(v[5]);
            s.mag_x = std::clamp(to_number(v[6]), -100000.0, 100000.0) / 100;
            s.mag_y = std::clamp(to_number(v[7]), -100000.0, 100000.0) / 100;
            s.shear = std::clamp(to_number(v[8]), -100000.0, 100000.0) / 100;
            s.feather = std::clamp(to_int(v[9]), 0, static_cast<int>(kAreaMaxWidth));
            s.combination1 = static_cast<int16_t>(std::clamp(to_int(v[10]), 0, 3));
        },
        a);
}

} // namespace script
