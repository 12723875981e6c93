// The image functions and operation statements of the script language.
//
// The commands that apply operations are made from the operation catalogue:
// every entry with a script keyword is a function taking its argument count,
// or a statement when the catalogue says so, so that an operation becomes
// scriptable with its catalogue entry alone.  The other image functions
// (queries, pixels, masks, profiles, plug-in parameters, helpers) follow in
// a fixed list.
#include "script/image_run.h"

#include "areas/area.h"
#include "areas/area_mask.h"
#include "core/image.h"
#include "core/messages.h"
#include "core/platform.h"
#include "core/progress.h"
#include "core/settings.h"
#include "layers/blend_modes.h"
#include "ops/catalogue.h"
#include "ops/catalogue_list.h"
#include "ops/framework.h"
#include "ops/profiles.h"
#include "plugins/plugins.h"
#include "script/script.h"
#include "timeline/timeline.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

namespace script {

namespace {

constexpr double kPi = 3.1415926539792;  // the same value in RAD and DEG

// ---- operation commands --------------------------------------------------------

// The catalogue's entries with a script keyword, in catalogue order.
template <class F>
void for_each_scripted(F f)
{
    int groups = 0;
    const OpGroupList* g = catalogue_groups(&groups);
    for (int i = 0; i < groups; ++i)
        for (size_t k = 0; k < g[i].count; ++k)
            if (g[i].entries[k].keyword)
                f(g[i].entries[k]);
}

// One handler per operation function: the handler's index names the
// operation, since a handler is called with its arguments only.
constexpr int kMaxOperationFunctions = 256;
int32_t g_function_command[kMaxOperationFunctions];

template <int K>
void op_function(int argc, Value* args, Value& result)
{
    apply_operation(g_function_command[K], argc, args);
    result = Value::dbl(0);
}

template <int... K>
constexpr std::array<FunctionFn, sizeof...(K)> make_op_functions(std::integer_sequence<int, K...>)
{
    return {op_function<K>...};
}
constexpr auto kOpFunctions = make_op_functions(std::make_integer_sequence<int, kMaxOperationFunctions>{});

float number_arg(const Value& v)
{
    return static_cast<float>(to_number(v));
}

const std::string& string_arg(const Value& v)
{
    if (!v.is_string())
        fail(E_TYPE);
    return v.s;
}

// ---- queries ------------------------------------------------------------------------

void fn_version(int, Value*, Value& r) { r = Value::dbl(7); }
void fn_revision(int, Value*, Value& r) { r = Value::dbl(GLIMVQ_VERSION_MINOR); }
void fn_level(int, Value*, Value& r) { r = Value::string("i"); }

void fn_filename(int, Value*, Value& r)
{
    Image* img = current_image();
    if (img && img->is_layer && img->owner && image_store_contains(img->owner))
        img = img->owner;
    r = Value::string(img ? img->path : "");
}

void fn_getxw(int, Value* a, Value& r)
{
    (void)to_number(a[0]);
    Image* img = current_image();
    r = Value::dbl(img ? static_cast<double>(img->width) : 0);
}

void fn_getyw(int, Value* a, Value& r)
{
    (void)to_number(a[0]);
    Image* img = current_image();
    r = Value::dbl(img ? img->height : 0);
}

// GETX1 ... GETY2 (which): 0 the rectangle the last operation worked in,
// 1 the box of the selection as drawn (the whole image without one).
void corner(Value* a, Value& r, int which)
{
    int kind = to_int(a[0]);
    Image* img = current_image();
    double v[4] = {0, 0, 0, 0};
    if (img) {
        if (kind == 1) {
            double box[4];
            if (area_selection_box(img, box)) {
                v[0] = std::floor(box[0]);
                v[1] = std::floor(box[1]);
                v[2] = std::ceil(box[2]) - 1;
                v[3] = std::ceil(box[3]) - 1;
            } else {
                v[2] = static_cast<double>(img->width) - 1;
                v[3] = img->height - 1;
            }
        } else {
            const AreaRect& rect = area_mask().rect;
            v[0] = rect.x0;
            v[1] = rect.y0;
            v[2] = rect.x1;
            v[3] = rect.y1;
        }
    }
    r = Value::dbl(v[which]);
}
void fn_getx1(int, Value* a, Value& r) { corner(a, r, 0); }
void fn_gety1(int, Value* a, Value& r) { corner(a, r, 1); }
void fn_getx2(int, Value* a, Value& r) { corner(a, r, 2); }
void fn_gety2(int, Value* a, Value& r) { corner(a, r, 3); }

void fn_progress(int, Value* a, Value& r)
{
    int p = to_int(a[0]);
    ImageRun& run = image_run();
    if (!run.progress_open) {
        progress_open("Script", 100, 1);
        run.progress_open = true;
    }
    r = Value::dbl(progress_update(p) ? 1 : 0);
}

// ---- the sequence --------------------------------------------------------------------

double frame_now()
{
    const OpState& s = op_state();
    return s.generating ? static_cast<double>(s.frame) : 0;
}

void fn_tlpos(int, Value* a, Value& r)
{
    double x = to_number(a[0]);
    double frames = static_cast<double>(timeline().frames);
    r = Value::dbl(frames > 0 ? x * frame_now() / frames : 0);
}

void fn_tpos(int, Value* a, Value& r)
{
    double x = to_number(a[0]);
    double frames = static_cast<double>(timeline().frames) - 1;
    r = Value::dbl(frames > 0 ? x * frame_now() / frames : 0);
}

// GETLI (n): 0 the frame being generated (from 0), 1 the timeline's frames,
// 2 the level being generated (from 0).
void fn_getli(int, Value* a, Value& r)
{
    int n = to_int(a[0]);
    const OpState& s = op_state();
    double v = 0;
    if (n == 0)
        v = frame_now();
    else if (n == 1)
        v = static_cast<double>(timeline().frames);
    else if (n == 2)
        v = s.generating ? static_cast<double>(s.level) : 0;
    r = Value::dbl(v);
}

// ---- numeric helpers (single precision) ---------------------------------------------

void fn_min(int, Value* a, Value& r)
{
    float x = number_arg(a[0]), y = number_arg(a[1]);
    r = Value::single(x < y ? x : y);
}
void fn_max(int, Value* a, Value& r)
{
    float x = number_arg(a[0]), y = number_arg(a[1]);
    r = Value::single(x > y ? x : y);
}
void fn_clamp(int, Value* a, Value& r)
{
    float v = number_arg(a[0]), lo = number_arg(a[1]), hi = number_arg(a[2]);
    r = Value::single(v < lo ? lo : (v > hi ? hi : v));
}
void fn_step(int, Value* a, Value& r)
{
    float x = number_arg(a[0]), edge = number_arg(a[1]);
    r = Value::single(edge < x ? 1 : 0);
}
void fn_smoothstep(int, Value* a, Value& r)
{
    float x = number_arg(a[0]), lo = number_arg(a[1]), hi = number_arg(a[2]);
    float v;
    if (lo == hi)
        v = 0.5f;
    else if (x < lo)
        v = 0;
    else if (x >= hi)
        v = 1;
    else {
        float t = (x - lo) / (hi - lo);
        v = t * t * (3 - 2 * t);
    }
    r = Value::single(v);
}
void fn_rad(int, Value* a, Value& r) { r = Value::single(number_arg(a[0]) * kPi / 180); }
void fn_deg(int, Value* a, Value& r) { r = Value::single(number_arg(a[0]) * 180 / kPi); }
// CEIL and FLOOR round to a multiple of their second argument (a step of 0
// rounds to a whole number).
void fn_ceil(int, Value* a, Value& r)
{
    float x = number_arg(a[0]), m = number_arg(a[1]);
    r = Value::single(m == 0 ? std::ceil(x) : std::ceil(x / m) * m);
}
void fn_floor(int, Value* a, Value& r)
{
    float x = number_arg(a[0]), m = number_arg(a[1]);
    r = Value::single(m == 0 ? std::floor(x) : std::floor(x / m) * m);
}

// ---- profiles -----------------------------------------------------------------------

void fn_getprof(int, Value* a, Value& r)
{
    const std::string& name = string_arg(a[0]);
    int i = to_int(a[1]);
    int16_t* p = profile_find(name.c_str());
    r = Value::dbl(p && i >= 0 && i < kProfilePoints ? p[i] : 0);
}

void fn_setprof(int, Value* a, Value& r)
{
    const std::string& name = string_arg(a[0]);
    int i = to_int(a[1]);
    int v = to_int(a[2]);
    int16_t* p = profile_find(name.c_str());
    double old = 0;
    if (p && i >= 0 && i < kProfilePoints) {
        old = p[i];
        p[i] = static_cast<int16_t>(std::clamp(v, -32768, 32767));
    }
    r = Value::dbl(old);
}

// ---- compositing mode --------------------------------------------------------------

// SETCTM and SETPTM: the current image's compositing mode (a layer's own;
// the run keeps one for an image that is no layer).
void fn_setctm(int, Value* a, Value& r)
{
    const std::string& name = string_arg(a[0]);
    Image* img = current_image();
    ImageRun& run = image_run();
    int current = img && img->is_layer ? img->layer_mode : run.mode;
    r = Value::string(blend_mode_name(current));
    if (const BlendMode* m = blend_mode_by_name(name.c_str())) {
        if (img && img->is_layer) {
            img->layer_mode = m->code;
            if (img->owner && image_store_contains(img->owner)) {
                img->owner->recomposite = 1;
                ui::platform().redraw(img->owner, nullptr);
            }
            ui::platform().redraw(img, nullptr);
        } else {
            run.mode = m->code;
        }
    }
}

// ---- palettes --------------------------------------------------------------------------
// Palette 0 is the current image's own (256 colours); 1, 2, ... are the
// palette parameters of the operations in catalogue order (`vq ops` lists
// them).

struct PaletteRef {
    uint8_t* red = nullptr;
    uint8_t* green = nullptr;
    uint8_t* blue = nullptr;
    int32_t* count = nullptr;  // null: a fixed 256 colours
    int size = 0;
};

PaletteRef palette_of(int n)
{
    PaletteRef p;
    if (n == 0) {
        Image* img = current_image();
        if (img) {
            p.red = img->palette_red;
            p.green = img->palette_green;
            p.blue = img->palette_blue;
            p.size = 256;
        }
        return p;
    }
    int seen = 0;
    for (int i = 0; i < op_count(); ++i) {
        OpDescriptor* d = op_at(i);
        for (OpSlot& s : d->slots) {
            if (!s.used() || !slot_is_palette(s.kind) || !s.var)
                continue;
            if (++seen == n) {
                auto* pal = static_cast<OpPalette*>(s.var);
                p.red = pal->red;
                p.green = pal->green;
                p.blue = pal->blue;
                p.count = &pal->count;
                p.size = kPaletteColours;
                return p;
            }
        }
    }
    return p;
}

void fn_getpalsize(int, Value* a, Value& r)
{
    PaletteRef p = palette_of(to_int(a[0]));
    r = Value::dbl(!p.red ? 0 : (p.count ? std::clamp(*p.count, 0, kPaletteColours) : p.size));
}

uint8_t* channel(PaletteRef& p, int c)
{
    return c == 0 ? p.red : (c == 1 ? p.green : p.blue);
}

// GETPALETTE (n, i, c): colour i's channel c (0 red, 1 green, 2 blue).
void fn_getpalette(int, Value* a, Value& r)
{
    PaletteRef p = palette_of(to_int(a[0]));
    int i = to_int(a[1]), c = to_int(a[2]);
    r = Value::dbl(p.red && i >= 0 && i < p.size && c >= 0 && c <= 2 ? channel(p, c)[i] : 0);
}

// SETPALETTE (n, i, c, v): sets it; a palette parameter grows to hold colour i.
void fn_setpalette(int, Value* a, Value& r)
{
    PaletteRef p = palette_of(to_int(a[0]));
    int i = to_int(a[1]), c = to_int(a[2]), v = to_int(a[3]);
    double old = 0;
    if (p.red && i >= 0 && i < p.size && c >= 0 && c <= 2) {
        old = channel(p, c)[i];
        channel(p, c)[i] = static_cast<uint8_t>(std::clamp(v, 0, 255));
        if (p.count && *p.count <= i)
            *p.count = i + 1;
    }
    r = Value::dbl(old);
}

// ---- plug-in parameters -------------------------------------------------------------------

GxpRecord& params()
{
    return plugin_host().params;
}

void fn_puinteger(int, Value* a, Value& r)
{
    int n = std::clamp(to_int(a[0]), 0, 7);
    params().longs[n] = to_int(a[1]);
    r = Value::dbl(0);
}
void fn_pufloat(int, Value* a, Value& r)
{
    int n = std::clamp(to_int(a[0]), 0, 7);
    params().floats[n] = number_arg(a[1]);
    r = Value::dbl(0);
}
void fn_pucheck(int, Value* a, Value& r)
{
    int n = std::clamp(to_int(a[0]), 0, 7);
    params().switches[n] = to_int(a[1]) != 0 ? 1 : 0;
    r = Value::dbl(0);
}
void fn_puradio(int, Value* a, Value& r)
{
    int n = std::clamp(to_int(a[0]), 0, 4);
    params().radios[n] = to_int(a[1]);
    r = Value::dbl(0);
}
// PUSTRING (n, text$): n 0 the first text, 1 the second.
void fn_pustring(int, Value* a, Value& r)
{
    int n = std::clamp(to_int(a[0]), 0, 1);
    const std::string& s = string_arg(a[1]);
    char* dst = n == 0 ? params().str1 : params().str2;
    std::snprintf(dst, sizeof params().str1, "%s", s.c_str());
    r = Value::dbl(0);
}
// PUPALNC (p, count): palette p's (0 or 1) number of colours.
void fn_pupalnc(int, Value* a, Value& r)
{
    int p = std::clamp(to_int(a[0]), 0, 1);
    params().palettes[p].count = std::clamp(to_int(a[1]), 0, kPaletteColours);
    r = Value::dbl(0);
}
// PUPALRGB (p, i, red, green, blue).
void fn_pupalrgb(int, Value* a, Value& r)
{
    int p = std::clamp(to_int(a[0]), 0, 1);
    int i = to_int(a[1]);
    if (i >= 0 && i < kPaletteColours) {
        GxpPalette& pal = params().palettes[p];
        pal.red[i] = static_cast<uint8_t>(std::clamp(to_int(a[2]), 0, 255));
        pal.green[i] = static_cast<uint8_t>(std::clamp(to_int(a[3]), 0, 255));
        pal.blue[i] = static_cast<uint8_t>(std::clamp(to_int(a[4]), 0, 255));
    }
    r = Value::dbl(0);
}
// PURGBA (n, red, green, blue, value): colour n of four.
void fn_purgba(int, Value* a, Value& r)
{
    int n = std::clamp(to_int(a[0]), 0, 3);
    for (int c = 0; c < 3; ++c)
        params().colors[n][c] = static_cast<uint8_t>(std::clamp(to_int(a[1 + c]), 0, 255));
    params().color_values[n] = to_int(a[4]);
    r = Value::dbl(0);
}
// PUPROFILE (n, i, v): entry i of the plug-ins' profile n (0 to 11), the
// profile table's "piprof1" to "piprof12".
void fn_puprofile(int, Value* a, Value& r)
{
    int n = to_int(a[0]), i = to_int(a[1]), v = to_int(a[2]);
    int16_t* p = nullptr;
    if (n >= 0 && n < GXP_PROFILES) {
        char name[24];
        std::snprintf(name, sizeof name, "piprof%d", n + 1);
        p = profile_find(name);
    }
    if (p && i >= 0 && i < kProfilePoints)
        p[i] = static_cast<int16_t>(std::clamp(v, -32768, 32767));
    r = Value::dbl(0);
}

// LOADPLUG (name$): selects a registered plug-in (or registers a file);
// 1 when it is ready, 0 when not.
void fn_loadplug(int, Value* a, Value& r)
{
    const std::string& name = string_arg(a[0]);
    // A run without file access (the fuzz pass) loads no library.
    r = Value::dbl(engine().file_access && plugin_load(name.c_str()) == 0 ? 1 : 0);
}

// PUCMD (n): sends call code n to the plug-in; code 2 applies it as PLUGIN does.
void fn_pucmd(int, Value* a, Value& r)
{
    int code = to_int(a[0]);
    if (code == GXP_APPLY) {
        apply_operation(opcmd::Plugin, 0, nullptr);
        r = Value::dbl(0);
        return;
    }
    r = Value::dbl(plugin_command(code));
}

// ---- operation parameter commands ----------------------------------------------------------

// Sets number parameters of an operation by their keys, in the order of the
// arguments, each limited to what the parameter takes.  The result is the
// first parameter's value before.
void set_op_parameters(int32_t command, std::initializer_list<const char*> keys, Value* args, Value& r)
{
    r = Value::dbl(0);
    const OpDescriptor* d = op_by_command(command);
    std::vector<const OpSlot*> slots;
    for (const char* key : keys) {
        const OpSlot* found = nullptr;
        if (d)
            for (const OpSlot& s : d->slots)
                if (s.used() && s.key && std::strcmp(s.key, key) == 0 && slot_is_value(s.kind) && !slot_is_text(s.kind))
                    found = &s;
        slots.push_back(found);
    }
    for (size_t i = 0; i < slots.size(); ++i)
        if (args[i].is_string())
            fail(E_TYPE);
    bool first = true;
    for (size_t i = 0; i < slots.size(); ++i) {
        const OpSlot* s = slots[i];
        if (!s)
            continue;
        double v = s->kind == SLOT_FLOAT ? static_cast<double>(static_cast<float>(to_number(args[i])))
                                         : static_cast<double>(to_int(args[i]));
        if (!(v >= s->typed_min))
            v = s->typed_min;
        if (v > s->typed_max)
            v = s->typed_max;
        if (first)
            r = Value::dbl(slot_get(*s));
        first = false;
        slot_set(*s, v);
    }
}

// The landscape's settings, for the LANDSCAPE command that follows.
void fn_landhaze(int, Value* a, Value& r) { set_op_parameters(opcmd::Landscape, {"haze", "haze_start"}, a, r); }
void fn_landcliff(int, Value* a, Value& r) { set_op_parameters(opcmd::Landscape, {"cliff", "cliff_dark"}, a, r); }
void fn_landwater(int, Value* a, Value& r)
{
    set_op_parameters(opcmd::Landscape, {"water", "reflect", "depth"}, a, r);
}
void fn_landscale(int, Value* a, Value& r)
{
    set_op_parameters(opcmd::Landscape, {"relief", "breadth", "distance"}, a, r);
}
void fn_landrot(int, Value* a, Value& r)
{
    set_op_parameters(opcmd::Landscape, {"heading", "cam_x", "cam_y", "cam_height", "horizon", "fov"}, a, r);
}
void fn_landtext(int, Value* a, Value& r)
{
    set_op_parameters(opcmd::Landscape,
                      {"grain", "grain_size", "grain_seed", "snow", "snow_red", "snow_green", "snow_blue"}, a, r);
}

// The brush stroke's settings, for the STROKE command that follows.
void fn_stpos(int, Value* a, Value& r)
{
    set_op_parameters(opcmd::Stroke, {"spacing", "jitter_x", "jitter_y", "offset_x", "offset_y"}, a, r);
}
void fn_stapp(int, Value* a, Value& r) { set_op_parameters(opcmd::Stroke, {"opacity", "every", "threshold"}, a, r); }
void fn_stpal(int, Value* a, Value& r) { set_op_parameters(opcmd::Stroke, {"tint", "tint_amount"}, a, r); }
void fn_stfade(int, Value* a, Value& r) { set_op_parameters(opcmd::Stroke, {"fade"}, a, r); }
void fn_stflip(int, Value* a, Value& r)
{
    set_op_parameters(opcmd::Stroke, {"flip_x", "flip_y", "alternate", "random_flip"}, a, r);
}
void fn_strotate(int, Value* a, Value& r)
{
    set_op_parameters(opcmd::Stroke, {"angle", "angle_end", "follow", "angle_jitter", "spin"}, a, r);
}
void fn_stsizing(int, Value* a, Value& r)
{
    set_op_parameters(opcmd::Stroke, {"scale", "scale_end", "scale_jitter", "scale_min", "scale_max"}, a, r);
}
void fn_stshadow(int, Value* a, Value& r)
{
    set_op_parameters(opcmd::Stroke, {"shadow_x", "shadow_y", "shadow", "shadow_soft", "shadow_colour"}, a, r);
}
void fn_stbarrel(int, Value* a, Value& r)
{
    set_op_parameters(opcmd::Stroke,
                      {"barrel", "barrel4", "barrel_x", "barrel_y", "barrel_h", "barrel_v", "barrel_shade"}, a, r);
}

// ---- the table ----------------------------------------------------------------------------

// The image functions besides the operations, by argument count; a null
// handler is a command this version does not carry out.
const BuiltinDef kOtherFunctions[] = {
    {"VERSION", T_DBL, 0, 0, fn_version}, {"REVISION", T_DBL, 0, 0, fn_revision},
    {"LEVEL", T_STR, 0, 0, fn_level}, {"FILENAME", T_STR, 0, 0, fn_filename},
    {"TLPOS", T_DBL, 1, 1, fn_tlpos}, {"TPOS", T_DBL, 1, 1, fn_tpos},
    {"GETXW", T_DBL, 1, 1, fn_getxw}, {"GETYW", T_DBL, 1, 1, fn_getyw},
    {"PROGRESS", T_DBL, 1, 1, fn_progress},
    {"GETX1", T_DBL, 1, 1, fn_getx1}, {"GETY1", T_DBL, 1, 1, fn_gety1},
    {"GETX2", T_DBL, 1, 1, fn_getx2}, {"GETY2", T_DBL, 1, 1, fn_gety2},
    {"GETPALSIZE", T_DBL, 1, 1, fn_getpalsize}, {"GETLI", T_DBL, 1, 1, fn_getli},
    {"RAD", T_SNG, 1, 1, fn_rad}, {"DEG", T_SNG, 1, 1, fn_deg},
    {"LOADPLUG", T_DBL, 1, 1, fn_loadplug}, {"PUCMD", T_DBL, 1, 1, fn_pucmd},
    {"FEATHERMASK", T_DBL, 1, 1, fn_feathermask}, {"SETMASK", T_DBL, 1, 1, fn_setmask},
    {"SETSEL", T_DBL, 1, 1, fn_setsel},
    {"SETCTM", T_STR, 1, 1, fn_setctm}, {"SETPTM", T_STR, 1, 1, fn_setctm},
    {"SETALPHAMASK", T_DBL, 1, 1, fn_setalphamask}, {"SWAPIMAGE", T_DBL, 1, 1, fn_swapimage},
    {"SETOFFSET", T_DBL, 1, 1, fn_setoffset}, {"STFADE", T_DBL, 1, 1, fn_stfade},
    {"GETRED", T_DBL, 2, 2, fn_getred}, {"GETGREEN", T_DBL, 2, 2, fn_getgreen},
    {"GETBLUE", T_DBL, 2, 2, fn_getblue}, {"GETALPHA", T_DBL, 2, 2, fn_getalpha},
    {"GETREDU", T_DBL, 2, 2, fn_getredu}, {"GETGREENU", T_DBL, 2, 2, fn_getgreenu},
    {"GETBLUEU", T_DBL, 2, 2, fn_getblueu}, {"GETALPHAU", T_DBL, 2, 2, fn_getalphau},
    {"GETPROF", T_DBL, 2, 2, fn_getprof}, {"GETLUMA", T_DBL, 2, 2, fn_getluma},
    {"GETLUMAU", T_DBL, 2, 2, fn_getlumau}, {"GETSAT", T_DBL, 2, 2, fn_getsat},
    {"GETSATU", T_DBL, 2, 2, fn_getsatu}, {"GETHUE", T_DBL, 2, 2, fn_gethue},
    {"GETHUEU", T_DBL, 2, 2, fn_gethueu}, {"GETM", T_DBL, 2, 2, fn_getm},
    {"PUPALNC", T_DBL, 2, 2, fn_pupalnc}, {"PUSTRING", T_DBL, 2, 2, fn_pustring},
    {"PURADIO", T_DBL, 2, 2, fn_puradio}, {"PUCHECK", T_DBL, 2, 2, fn_pucheck},
    {"PUFLOAT", T_DBL, 2, 2, fn_pufloat}, {"PUINTEGER", T_DBL, 2, 2, fn_puinteger},
    {"MIN", T_SNG, 2, 2, fn_min}, {"MAX", T_SNG, 2, 2, fn_max},
    {"CEIL", T_SNG, 2, 2, fn_ceil}, {"FLOOR", T_SNG, 2, 2, fn_floor},
    {"HILIM", T_SNG, 2, 2, fn_min}, {"LOWLIM", T_SNG, 2, 2, fn_max},
    {"STEP", T_SNG, 2, 2, fn_step},
    {"EXPAND", T_DBL, 2, 2, fn_expand}, {"CONTRACT", T_DBL, 2, 2, fn_contract},
    {"STPAL", T_DBL, 2, 2, fn_stpal}, {"LANDHAZE", T_DBL, 2, 2, fn_landhaze}, {"LANDCLIFF", T_DBL, 2, 2, fn_landcliff},
    {"PUTRED", T_DBL, 3, 3, fn_putred}, {"PUTGREEN", T_DBL, 3, 3, fn_putgreen},
    {"PUTBLUE", T_DBL, 3, 3, fn_putblue}, {"PUTALPHA", T_DBL, 3, 3, fn_putalpha},
    {"SETPROF", T_DBL, 3, 3, fn_setprof}, {"GETPALETTE", T_DBL, 3, 3, fn_getpalette},
    {"PUTHUE", T_DBL, 3, 3, fn_puthue}, {"PUTSAT", T_DBL, 3, 3, fn_putsat},
    {"PUTLUMA", T_DBL, 3, 3, fn_putluma}, {"PUPROFILE", T_DBL, 3, 3, fn_puprofile},
    {"PUTM", T_DBL, 3, 3, fn_putm},
    {"CLAMP", T_SNG, 3, 3, fn_clamp}, {"SMOOTHSTEP", T_SNG, 3, 3, fn_smoothstep},
    {"STAPP", T_DBL, 3, 3, fn_stapp}, {"LANDWATER", T_DBL, 3, 3, fn_landwater}, {"LANDSCALE", T_DBL, 3, 3, fn_landscale},
    {"SETPALETTE", T_DBL, 4, 4, fn_setpalette}, {"SELOVAL", T_DBL, 4, 4, fn_seloval},
    {"SELRECT", T_DBL, 4, 4, fn_selrect}, {"STFLIP", T_DBL, 4, 4, fn_stflip},
    {"PURGBA", T_DBL, 5, 5, fn_purgba}, {"PUPALRGB", T_DBL, 5, 5, fn_pupalrgb},
    {"MASKRECT", T_DBL, 5, 5, fn_maskrect}, {"STPOS", T_DBL, 5, 5, fn_stpos},
    {"STROTATE", T_DBL, 5, 5, fn_strotate}, {"STSIZING", T_DBL, 5, 5, fn_stsizing}, {"STSHADOW", T_DBL, 5, 5, fn_stshadow},
    {"LANDROT", T_DBL, 6, 6, fn_landrot}, {"STBARREL", T_DBL, 7, 7, fn_stbarrel}, {"LANDTEXT", T_DBL, 7, 7, fn_landtext},
    {"CALCULATE", T_DBL, 10, 10, fn_calculate}, {"TEXTSEL", T_DBL, 11, 11, fn_textsel},
};

std::vector<BuiltinDef> build_image_functions()
{
    std::vector<const OpEntry*> ops;
    for_each_scripted([&](const OpEntry& e) {
        if (!e.statement)
            ops.push_back(&e);
    });
    // By argument count; within one count in catalogue order.
    std::stable_sort(ops.begin(), ops.end(), [](const OpEntry* a, const OpEntry* b) { return a->args < b->args; });
    std::vector<BuiltinDef> table;
    int k = 0;
    for (const OpEntry* e : ops) {
        if (k >= kMaxOperationFunctions || e->args > kMaxArgs)
            continue;  // cannot happen with the catalogue's sizes; the table test counts them
        g_function_command[k] = e->command;
        table.push_back(BuiltinDef{e->keyword, T_DBL, static_cast<int8_t>(e->args), static_cast<int8_t>(e->args),
                                   kOpFunctions[static_cast<size_t>(k)]});
        ++k;
    }
    for (const BuiltinDef& b : kOtherFunctions)
        table.push_back(b);
    return table;
}

int32_t statement_command(const char* keyword)
{
    int32_t found = 0;
    for_each_scripted([&](const OpEntry& e) {
        if (e.statement && std::strcmp(e.keyword, keyword) == 0)
            found = e.command;
    });
    return found;
}

} // namespace

const BuiltinDef* image_functions(size_t* count)
{
    static const std::vector<BuiltinDef> table = build_image_functions();
    *count = table.size();
    return table.data();
}

size_t operation_statements(const char** names, size_t max)
{
    size_t n = 0;
    for_each_scripted([&](const OpEntry& e) {
        if (e.statement && n < max)
            names[n++] = e.keyword;
    });
    return n;
}

Line* st_operation(Line* line)
{
    size_t count = 0;
    const StatementDef& s = statement_table(&count)[line->stmt_index];
    line->cursor = expect_end(line->text, line->cursor);
    apply_operation(statement_command(s.name), 0, nullptr);
    return line;
}

StatementFn image_statement(const char* name)
{
    return stack_statement(name);
}

// ---- applying an operation --------------------------------------------------------------

void apply_operation(int32_t command, int argc, Value* args)
{
    const OpDescriptor* d = op_by_command(command);
    // The value parameters in order, as the arguments go to them.
    std::vector<const OpSlot*> slots;
    if (d)
        for (const OpSlot& s : d->slots)
            if (s.used() && slot_is_value(s.kind) && s.var)
                slots.push_back(&s);
    const int taken = std::min(argc, static_cast<int>(slots.size()));
    for (int i = 0; i < taken; ++i)
        if (slot_is_text(slots[static_cast<size_t>(i)]->kind) != args[i].is_string())
            fail(E_TYPE);
    for (int i = 0; i < taken; ++i) {
        const OpSlot& s = *slots[static_cast<size_t>(i)];
        if (slot_is_text(s.kind)) {
            if (s.text_size > 0)
                std::snprintf(static_cast<char*>(s.var), static_cast<size_t>(s.text_size), "%s", args[i].s.c_str());
            continue;
        }
        double v = s.kind == SLOT_FLOAT ? static_cast<double>(static_cast<float>(to_number(args[i])))
                                        : static_cast<double>(to_int(args[i]));
        // The workers count on their parameters' ranges.
        if (!(v >= s.typed_min))
            v = s.typed_min;
        if (v > s.typed_max)
            v = s.typed_max;
        slot_set(s, v);
    }

    OpState& state = op_state();
    const int32_t previous = state.current;
    Image* img = current_image();
    if (!img) {
        message_show(msg::NoImagesLoaded, "To apply the effect.");
        return;
    }
    if (!d || set_current_operation(command) != 0) {
        error_box("No operation is chosen to apply.");
        return;
    }
    ImageRun& run = image_run();
    Settings& set = settings();
    long method = set.work_method;
    if (run.mask_owned)
        set.work_method = 1;  // the mask as the script left it
    perform_operation(img, 0);
    set.work_method = method;
    if (previous && op_by_command(previous))
        set_current_operation(previous);
    else
        state.current = previous;
}

} // namespace script
