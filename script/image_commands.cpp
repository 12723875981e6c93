// The image functions of the function table, by name and argument count.
//
// The commands that apply operations, read and write pixels, and move
// images and masks come with the image-command module; until it is built in
// their entries have no handler and a call reports that the command is not
// available (after the argument count has been checked).  The small numeric
// helpers and the version queries need no image and work now.
#include "script/engine.h"

#include <cmath>
#include <cstring>

namespace script {

namespace {

constexpr double kPi = 3.1415926539792;  // the same value in RAD and DEG

float number_arg(const Value& v)
{
    return static_cast<float>(to_number(v));
}

void fn_version(int, Value*, Value& r) { r = Value::dbl(7); }
void fn_revision(int, Value*, Value& r) { r = Value::dbl(GLIMVQ_VERSION_MINOR); }
void fn_level(int, Value*, Value& r) { r = Value::string("i"); }

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

#define OP(name, n) {name, T_DBL, n, n, nullptr}

const BuiltinDef kImageFunctions[] = {
    // Operation commands, by argument count.
    OP("PLUGIN", 0), OP("STROKE", 0),
    OP("BRIGHT", 1), OP("CONTRAST", 1), OP("GAMMA", 1), OP("DOME", 1), OP("CARIC", 1), OP("SWIRL", 1),
    OP("MIRROR", 1), OP("RELIEF", 1), OP("BLUR", 1), OP("REMOVE", 1), OP("NLOG", 1), OP("SOFTALPHA", 1),
    OP("SHAVEALPHA", 1), OP("HUE", 1), OP("SAT", 1), OP("VALUE", 1), OP("TURN90", 1), OP("ADD", 1),
    OP("SUBTRACT", 1), OP("COMBINE", 1), OP("PLACE", 1), OP("SWAPRGBA", 1), OP("SAMPLEA", 1),
    OP("MAKEAREA", 1), OP("MONOCHROME", 1), OP("ANTIQUE", 1), OP("REFRACT", 1), OP("HISTO", 1),
    OP("ENCRYPT", 1), OP("PARTICLES", 1), OP("DOF", 1), OP("WATERCOLOR", 1),
    OP("MINIMUM", 2), OP("MAXIMUM", 2), OP("EXPBLUR", 2), OP("FLIP", 2), OP("ROTATE", 2), OP("SHARPEN", 2),
    OP("SHAVE", 2), OP("ADDTEXTURE", 2), OP("EXFOLIATE", 2), OP("CHANMAP", 2), OP("HARDALPHA", 2),
    OP("FLATMAP", 2), OP("REMAP", 2), OP("GLARE", 2), OP("NTSC", 2), OP("MAKEFIELDS", 2), OP("SCANLINE", 2),
    OP("SAMPLE", 2), OP("GOUACHE", 2), OP("RIC", 2), OP("RIS", 2),
    OP("MOTIONBLUR", 3), OP("SPIRALBLUR", 3), OP("KALEIDO", 3), OP("LINFILL", 3), OP("ELEVATIONS", 3),
    OP("DERIVATIVE", 3), OP("VARIANCE", 3), OP("CLIP", 3), OP("MERGE", 3), OP("COLORFILL", 3),
    OP("UNSHARP", 3), OP("CLIPALPHA", 3), OP("GEL", 3), OP("ROLL", 3), OP("FRATE", 3),
    OP("BALANCE", 4), OP("SHINE", 4), OP("TURBULENCE", 4), OP("SURFWARP", 4), OP("SHEAR", 4), OP("BEND", 4),
    OP("MELT", 4), OP("CONCENTRIC", 4), OP("RADIAL", 4), OP("SPERCENT", 4), OP("SPIXEL", 4),
    OP("ENTRAIN", 4), OP("COLORIZE", 4), OP("BUILDPAL", 4), OP("MAKEALPHA", 4), OP("RAYTRACE", 4),
    OP("FLICKER", 4), OP("LANDSCAPE", 4),
    OP("NEGATIVE", 5), OP("DITHER", 5), OP("TRANSITION", 5), OP("CRATER", 5), OP("PROMOTERGB", 5),
    OP("FILMGRAIN", 5), OP("ANNULAR", 5), OP("HREMOVE", 5), OP("VREMOVE", 5),
    OP("RADWAVE", 6), OP("PIXELIZE", 6), OP("CANVAS", 6), OP("MANDELBROT", 6),
    OP("TILER", 7), OP("EXTEND", 7), OP("JULIA", 7), OP("OUTFILL", 7),
    OP("KEYTOALPHA", 8), OP("PERSPECTIVE", 8), OP("NET", 8), OP("CELL", 8), OP("LINED", 8),
    OP("RTILE", 9), OP("CONTOUR", 9), OP("WAVES", 9), OP("KEYIN", 9),
    OP("ASTERIZE", 10), OP("JITTER", 10), OP("STABILIZE", 10),
    OP("PAGECURL", 11), OP("LIGHTNING", 12), OP("CONVOLVE", 13), OP("TEXTURE", 15), OP("AURA", 16),
    OP("BANG", 18), OP("RIP", 19), OP("RULER", 21), OP("FIRE", 24), OP("GRID", 24),
    // Queries, pixels, masks, plug-in parameters and helpers, by argument count.
    {"VERSION", T_DBL, 0, 0, fn_version}, {"REVISION", T_DBL, 0, 0, fn_revision},
    {"LEVEL", T_STR, 0, 0, fn_level}, {"FILENAME", T_STR, 0, 0, nullptr},
    OP("TLPOS", 1), OP("TPOS", 1), OP("GETXW", 1), OP("GETYW", 1), OP("PROGRESS", 1), OP("GETX1", 1),
    OP("GETY1", 1), OP("GETX2", 1), OP("GETY2", 1), OP("GETPALSIZE", 1), OP("GETLI", 1),
    {"RAD", T_SNG, 1, 1, fn_rad}, {"DEG", T_SNG, 1, 1, fn_deg},
    OP("LOADPLUG", 1), OP("PUCMD", 1), OP("FEATHERMASK", 1), OP("SETMASK", 1), OP("SETSEL", 1),
    {"SETCTM", T_STR, 1, 1, nullptr}, {"SETPTM", T_STR, 1, 1, nullptr},
    OP("SETALPHAMASK", 1), OP("SWAPIMAGE", 1), OP("SETOFFSET", 1), OP("STFADE", 1),
    OP("GETRED", 2), OP("GETGREEN", 2), OP("GETBLUE", 2), OP("GETALPHA", 2), OP("GETREDU", 2),
    OP("GETGREENU", 2), OP("GETBLUEU", 2), OP("GETALPHAU", 2), OP("GETPROF", 2), OP("GETLUMA", 2),
    OP("GETLUMAU", 2), OP("GETSAT", 2), OP("GETSATU", 2), OP("GETHUE", 2), OP("GETHUEU", 2), OP("GETM", 2),
    OP("PUPALNC", 2), OP("PUSTRING", 2), OP("PURADIO", 2), OP("PUCHECK", 2), OP("PUFLOAT", 2),
    OP("PUINTEGER", 2),
    {"MIN", T_SNG, 2, 2, fn_min}, {"MAX", T_SNG, 2, 2, fn_max},
    {"CEIL", T_SNG, 2, 2, fn_ceil}, {"FLOOR", T_SNG, 2, 2, fn_floor},
    {"HILIM", T_SNG, 2, 2, fn_min}, {"LOWLIM", T_SNG, 2, 2, fn_max},
    {"STEP", T_SNG, 2, 2, fn_step},
    OP("EXPAND", 2), OP("CONTRACT", 2), OP("STPAL", 2), OP("LANDHAZE", 2), OP("LANDCLIFF", 2),
    OP("PUTRED", 3), OP("PUTGREEN", 3), OP("PUTBLUE", 3), OP("PUTALPHA", 3), OP("SETPROF", 3),
    OP("GETPALETTE", 3), OP("PUTHUE", 3), OP("PUTSAT", 3), OP("PUTLUMA", 3), OP("PUPROFILE", 3),
    OP("PUTM", 3),
    {"CLAMP", T_SNG, 3, 3, fn_clamp}, {"SMOOTHSTEP", T_SNG, 3, 3, fn_smoothstep},
    OP("STAPP", 3), OP("LANDWATER", 3), OP("LANDSCALE", 3),
    OP("SETPALETTE", 4), OP("SELOVAL", 4), OP("SELRECT", 4), OP("STFLIP", 4),
    OP("PURGBA", 5), OP("PUPALRGB", 5), OP("MASKRECT", 5), OP("STPOS", 5), OP("STROTATE", 5),
    OP("STSIZING", 5), OP("STSHADOW", 5),
    OP("LANDROT", 6), OP("STBARREL", 7), OP("LANDTEXT", 7), OP("CALCULATE", 10), OP("TEXTSEL", 11),
};

#undef OP

static_assert(sizeof kImageFunctions / sizeof kImageFunctions[0] == 221, "the image functions number 221");

} // namespace

const BuiltinDef* image_functions(size_t* count)
{
    *count = sizeof kImageFunctions / sizeof kImageFunctions[0];
    return kImageFunctions;
}

StatementFn image_statement(const char* name)
{
    (void)name;
    return nullptr;
}

} // namespace script
