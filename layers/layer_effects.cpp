// Shadow, Glow and Emboss: new layers made from a layer's alpha.
#include "core/image.h"
#include "core/list.h"
#include "core/messages.h"
#include "core/profile.h"
#include "layers/blend_modes.h"
#include "layers/composite.h"
#include "layers/layer_manage.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// One box pass of radius r along a line of n values `step` apart; values
// beyond the ends count as 0 (outside a layer is transparent).
void box_line(unsigned char* line, long n, long step, long r, std::vector<unsigned char>& tmp)
{
    tmp.resize(static_cast<size_t>(n));
    for (long i = 0; i < n; ++i)
        tmp[static_cast<size_t>(i)] = line[i * step];
    const long span = 2 * r + 1;
    // sum / span, rounded, by a multiplication.
    const uint64_t inv = ((uint64_t{1} << 32) + static_cast<uint64_t>(span) - 1) / static_cast<uint64_t>(span);
    long sum = 0;
    for (long i = 0; i < std::min(r, n); ++i)
        sum += tmp[static_cast<size_t>(i)];
    for (long i = 0; i < n; ++i) {
        long in = i + r, out = i - r - 1;
        if (in < n)
            sum += tmp[static_cast<size_t>(in)];
        if (out >= 0)
            sum -= tmp[static_cast<size_t>(out)];
        line[i * step] = static_cast<unsigned char>(((static_cast<uint64_t>(sum) * 2 + static_cast<uint64_t>(span)) * inv >> 33));
    }
}

struct Plane {
    std::vector<unsigned char> a;
    long w = 0, h = 0;
    unsigned char& at(long x, long y) { return a[static_cast<size_t>(y * w + x)]; }
};

// The alpha of a locked layer placed in a plane with a margin all round.
Plane alpha_plane(Image* layer, long margin)
{
    Plane p;
    p.w = layer->width + 2 * margin;
    p.h = layer->height + 2 * margin;
    p.a.assign(static_cast<size_t>(p.w * p.h), 0);
    for (long y = 0; y < layer->height; ++y)
        for (long x = 0; x < static_cast<long>(layer->width); ++x)
            p.at(x + margin, y + margin) = layer->pixel(static_cast<int>(x), static_cast<int>(y))[3];
    return p;
}

// A new layer from a plane: one colour, the plane as its alpha, or the
// plane as grey with `alpha` as its alpha.
Image* layer_from_plane(Image* source, const Plane& p, const long color[3], const char* suffix)
{
    Image* layer = image_new(p.w, p.h, "layer");
    if (!layer) {
        message_show(msg::NoMemoryNewImage);
        return nullptr;
    }
    {
        ImageLock lock(layer, msg::NoRealMemoryImage);
        if (!lock) {
            lock.release();
            image_free(layer);
            return nullptr;
        }
        for (long y = 0; y < p.h; ++y)
            for (long x = 0; x < p.w; ++x) {
                uint8_t* px = layer->pixel(static_cast<int>(x), static_cast<int>(y));
                for (int c = 0; c < 3; ++c)
                    px[c] = static_cast<uint8_t>(std::clamp<long>(color[c], 0, 255));
                px[3] = p.a[static_cast<size_t>(y * p.w + x)];
            }
    }
    layer_set_defaults(layer, source->owner);
    std::snprintf(layer->name, sizeof layer->name, suffix, source->name);
    return layer;
}

bool source_checked(Image* layer)
{
    if (!layer || !layer->is_layer || !layer->owner || !layer_node(layer)) {
        error_box("This image is not a layer.", layer ? layer->name : nullptr);
        return false;
    }
    if (layer->layer_mode == MODE_WARP) {
        error_box("A warp layer holds no picture to make an effect from.", layer->name);
        return false;
    }
    // The caller unlocks the layer when it has read it.
    ImageLock lock(layer, msg::NoRealMemoryOperation);
    if (!lock)
        return false;
    lock.keep();
    return true;
}

// Links an effect layer next to its source: below it (after the source's
// predecessor) or above it.
Image* place(Image* source, Image* effect, bool above)
{
    Image* master = source->owner;
    ListNode* at = layer_node(source);
    ListNode* node = list_insert_after(master->layer_list, above ? at : at->ln_pred);
    if (!node) {
        image_free(effect);
        message_show(msg::NoMemoryOperation);
        return nullptr;
    }
    node->element = effect;
    master->changes = static_cast<int16_t>(master->changes + 1);
    composite_layers(master);
    return effect;
}

// Three box passes of radius r reach 3 r: the reach stays within the margin.
long box_radius(long reach)
{
    return reach > 0 ? std::max(1L, reach / 3) : 0;
}

long clamp_long(long v, long lo, long hi)
{
    return std::clamp(v, lo, hi);
}

} // namespace

void blur_plane(unsigned char* plane, long width, long height, long radius)
{
    if (radius <= 0 || width <= 0 || height <= 0)
        return;
    std::vector<unsigned char> tmp;
    for (int pass = 0; pass < 3; ++pass) {
        for (long y = 0; y < height; ++y)
            box_line(plane + y * width, width, 1, radius, tmp);
        for (long x = 0; x < width; ++x)
            box_line(plane + x, height, width, radius, tmp);
    }
}

namespace {

LayerSettings g_layer_settings = {{8, 8, 6, 60, {0, 0, 0}}, {10, 40, 80, {255, 255, 160}}, {135, 100, 3}, 110, 15, false};

constexpr const char* kIni = "GLIMVQ.ini";
constexpr const char* kSection = "Glimvq";

// Reads "n n n ..." into `out`; numbers that are missing keep their value.
void read_numbers(const char* key, long* out, int count)
{
    std::string text = profile_get(kSection, key, "", 179, kIni);
    const char* p = text.c_str();
    for (int i = 0; i < count; ++i) {
        char* end = nullptr;
        long v = std::strtol(p, &end, 10);
        if (end == p)
            break;
        out[i] = v;
        p = end;
    }
}

void write_numbers(const char* key, const long* values, int count)
{
    std::string text;
    for (int i = 0; i < count; ++i)
    {
        if (i)
            text += ' ';
        text += std::to_string(values[i]);
    }
    profile_write(kSection, key, text.c_str(), kIni);
}

} // namespace

LayerSettings& layer_settings()
{
    return g_layer_settings;
}

void layer_settings_load()
{
    LayerSettings& s = g_layer_settings;
    long v[7];
    const ShadowParms& sh = s.shadow;
    long shadow[7] = {sh.dx, sh.dy, sh.blur, sh.opacity, sh.color[0], sh.color[1], sh.color[2]};
    std::copy(shadow, shadow + 7, v);
    read_numbers("SHADPARMS", v, 7);
    s.shadow = {v[0], v[1], v[2], v[3], {v[4], v[5], v[6]}};
    long glow[6] = {s.glow.radius, s.glow.spread, s.glow.opacity, s.glow.color[0], s.glow.color[1], s.glow.color[2]};
    read_numbers("GLOWPARMS", glow, 6);
    s.glow = {glow[0], glow[1], glow[2], {glow[3], glow[4], glow[5]}};
    long emboss[3] = {s.emboss.angle, s.emboss.depth, s.emboss.size};
    read_numbers("EMBOSSPARMS", emboss, 3);
    s.emboss = {emboss[0], emboss[1], emboss[2]};
    read_numbers("ZOOMFACT", &s.zoom_fact, 1);
    read_numbers("ROTFACT", &s.rot_fact, 1);
    s.changed = false;
}

void layer_settings_save()
{
    LayerSettings& s = g_layer_settings;
    if (!s.changed)
        return;
    const ShadowParms& sh = s.shadow;
    long shadow[7] = {sh.dx, sh.dy, sh.blur, sh.opacity, sh.color[0], sh.color[1], sh.color[2]};
    write_numbers("SHADPARMS", shadow, 7);
    long glow[6] = {s.glow.radius, s.glow.spread, s.glow.opacity, s.glow.color[0], s.glow.color[1], s.glow.color[2]};
    write_numbers("GLOWPARMS", glow, 6);
    long emboss[3] = {s.emboss.angle, s.emboss.depth, s.emboss.size};
    write_numbers("EMBOSSPARMS", emboss, 3);
    write_numbers("ZOOMFACT", &s.zoom_fact, 1);
    write_numbers("ROTFACT", &s.rot_fact, 1);
    s.changed = false;
}

ShadowParms shadow_parms()
{
    return g_layer_settings.shadow;
}

GlowParms glow_parms()
{
    return g_layer_settings.glow;
}

EmbossParms emboss_parms()
{
    return g_layer_settings.emboss;
}

void set_shadow_parms(const ShadowParms& parms)
{
    g_layer_settings.shadow = parms;
    g_layer_settings.changed = true;
}

void set_glow_parms(const GlowParms& parms)
{
    g_layer_settings.glow = parms;
    g_layer_settings.changed = true;
}

void set_emboss_parms(const EmbossParms& parms)
{
    g_layer_settings.emboss = parms;
    g_layer_settings.changed = true;
}

Image* layer_shadow(Image* layer, const ShadowParms& parms)
{
    if (!source_checked(layer))
        return nullptr;
    long blur = clamp_long(parms.blur, 0, 500);
    Plane p = alpha_plane(layer, blur);
    image_unlock(layer);
    blur_plane(p.a.data(), p.w, p.h, box_radius(blur));
    Image* shadow = layer_from_plane(layer, p, parms.color, "%.248s_shadow");
    if (!shadow)
        return nullptr;
    shadow->layer_x = static_cast<int32_t>(layer->layer_x + clamp_long(parms.dx, -100000, 100000) - blur);
    shadow->layer_y = static_cast<int32_t>(layer->layer_y + clamp_long(parms.dy, -100000, 100000) - blur);
    shadow->layer_opacity = static_cast<int32_t>(clamp_long(parms.opacity, 0, 100));
    return place(layer, shadow, false);
}

Image* layer_glow(Image* layer, const GlowParms& parms)
{
    if (!source_checked(layer))
        return nullptr;
    long radius = clamp_long(parms.radius, 0, 500);
    Plane p = alpha_plane(layer, radius);
    image_unlock(layer);
    blur_plane(p.a.data(), p.w, p.h, box_radius(radius));
    // The spread strengthens the glow so that it reaches out further.
    long gain = 100 + clamp_long(parms.spread, 0, 1000);
    for (unsigned char& a : p.a)
        a = static_cast<unsigned char>(std::min<long>(255, a * gain / 100));
    Image* glow = layer_from_plane(layer, p, parms.color, "%.250s_glow");
    if (!glow)
        return nullptr;
    glow->layer_x = static_cast<int32_t>(layer->layer_x - radius);
    glow->layer_y = static_cast<int32_t>(layer->layer_y - radius);
    glow->layer_opacity = static_cast<int32_t>(clamp_long(parms.opacity, 0, 100));
    return place(layer, glow, false);
}

Image* layer_emboss(Image* layer, const EmbossParms& parms)
{
    if (!source_checked(layer))
        return nullptr;
    long size = clamp_long(parms.size, 0, 500);
    Plane height = alpha_plane(layer, 0);
    Plane alpha = height;
    Plane shade;
    shade.w = height.w;
    shade.h = height.h;
    shade.a.assign(height.a.size(), 128);
    image_unlock(layer);
    blur_plane(height.a.data(), height.w, height.h, box_radius(size));
    // Light from `angle` (y runs down): a slope facing it is lit, the
    // opposite one shaded; flat ground stays 128, neutral in Hard Light.
    double a = static_cast<double>(parms.angle) * M_PI / 180.0;
    double lx = std::cos(a), ly = -std::sin(a);
    double k = static_cast<double>(clamp_long(parms.depth, 0, 1000)) / 400.0;
    for (long y = 0; y < height.h; ++y)
        for (long x = 0; x < height.w; ++x) {
            int left = height.at(std::max(x - 1, 0L), y), right = height.at(std::min(x + 1, height.w - 1), y);
            int up = height.at(x, std::max(y - 1, 0L)), down = height.at(x, std::min(y + 1, height.h - 1));
            double gx = right - left, gy = down - up;
            shade.at(x, y) = static_cast<unsigned char>(std::clamp(std::lround(128.0 - k * (gx * lx + gy * ly)), 0L, 255L));
        }
    const long grey[3] = {128, 128, 128};
    Image* emboss = layer_from_plane(layer, alpha, grey, "%.248s_emboss");
    if (!emboss)
        return nullptr;
    if (image_lock(emboss) == 0) {
        for (long y = 0; y < shade.h; ++y)
            for (long x = 0; x < shade.w; ++x) {
                uint8_t* px = emboss->pixel(static_cast<int>(x), static_cast<int>(y));
                px[0] = px[1] = px[2] = shade.at(x, y);
            }
    }
    image_unlock(emboss);
    emboss->layer_x = layer->layer_x;
    emboss->layer_y = layer->layer_y;
    emboss->layer_mode = MODE_HARD_LIGHT;
    return place(layer, emboss, true);
}
