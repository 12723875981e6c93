// The operation catalogue: every operation of the system, built once at
// start-up, in group order, ended by a descriptor whose command is 0.
#pragma once

#include "ops/family.h"
#include "ops/operation.h"

#include <span>

#include <string>

// Every operation's command number, by its display name.  The numbers are
// fixed: scripts, settings files and timelines refer to them.
namespace opcmd {
enum : int32_t {
    Asterize = 3111,
    Annular = 3112,
    Refract = 3113,
    Shine = 3114,
    Lightning = 3211,
    Aura = 3212,
    Fire = 3213,
    MotionBlur = 3121,
    SpiralBlur = 3122,
    Explode = 3123,
    Dome = 3131,
    Caricature = 3132,
    Swirl = 3133,
    Waves = 3134,
    RadialWave = 3135,
    Turbulence = 3137,
    SurfaceWarp = 3138,
    Kaleidoscope = 3139,
    Roll = 3221,
    Shear = 3728,
    Bend = 3222,
    Mirror = 3223,
    PolarRec = 3224,
    Wonk = 3225,
    Circe = 3226,
    Melt = 3227,
    Flip = 3228,
    Turn90 = 3229,
    Rotate = 3230,
    Perspective = 3231,
    ThreeDNet = 3141,
    RandomTile = 3142,
    Pixelize = 3143,
    Cellular = 3144,
    Lined = 3145,
    LinearFill = 3146,
    Concentric = 3147,
    Radiating = 3148,
    Outline = 3149,
    Relief = 3151,
    Dither = 3152,
    Elevations = 3153,
    Enhance = 3154,
    UnsharpMask = 3155,
    HRemove = 3156,
    VRemove = 3157,
    RIP = 3158,
    RIS = 3159,
    RIC = 3251,
    Minimum = 3252,
    Maximum = 3253,
    ApplyCanvas = 3254,
    AddTexture = 3255,
    EncryptImage = 3256,
    Sharpen = 3257,
    Blur = 3258,
    Remove = 3259,
    Shave = 3260,
    Truncate = 3261,
    Contour = 3262,
    Derivative = 3161,
    Variance = 3162,
    Multiply = 3163,
    AddImages = 3164,
    Subtract = 3165,
    Convolve = 3574,
    NLog = 3166,
    Combine = 3271,
    Clip = 3171,
    Transition = 3172,
    Tiler = 3175,
    Merge = 3176,
    KeyIn = 3177,
    Place = 3178,
    Stroke = 3281,
    ClosedLine = 3167,
    ClosedLinePen = 3168,
    OpenLineEdge = 3169,
    Extend = 3282,
    Enlarge = 3173,
    Reduce = 3174,
    SPercent = 3242,
    SPixel = 3243,
    DOF = 3283,
    Landscape = 3571,
    Exfoliation = 3572,
    Entrainment = 3573,
    Ruler = 3575,
    Grid = 3576,
    Texture = 3577,
    Bang = 3578,
    RayTrace = 3579,
    Julia = 3580,
    Mandelbrot = 3581,
    Pagecurl = 3582,
    Particles = 3583,
    FlatMap = 3584,
    Crater = 3585,
    ColorFill = 3186,
    Colorize = 3188,
    Contrast = 3181,
    Brightness = 3182,
    Gamma = 3183,
    Balance = 3184,
    Remap = 3189,
    Script = 3187,
    Plugin = 3291,
    Measure = 3292,
    ForceDyn = 3293,
    ChannelMap = 3294,
    SwapRGBA = 3295,
    Histogram = 3185,
    Sample = 3296,
    BuildPalette = 3297,
    MakeAlpha = 3192,
    KeyToAlpha = 3193,
    InvertAlpha = 3194,
    HardenAlpha = 3195,
    SoftenAlpha = 3196,
    ShaveAlpha = 3197,
    PromoteRGB = 3198,
    SampleA = 3199,
    ClipAlpha = 3301,
    MakeArea = 3191,
    Gouache = 3801,
    Toonize = 3802,
    Watercolor = 3803,
    OilPainting = 3804,
    PseudoColor = 3712,
    FalseColor = 3714,
    Solarize = 3715,
    BluePrint = 3805,
    Monochrome = 3179,
    Negative = 3115,
    AdjustHue = 3722,
    Saturation = 3723,
    AdjustValue = 3724,
    Glare = 3717,
    Antique = 3713,
    ColorGel = 3725,
    NTSCFilter = 3901,
    FrameRates = 3902,
    Makefields = 3903,
    FilmGrain = 3904,
    Scanline = 3905,
    Jitter = 3906,
    Flicker = 3907,
    Stabilize = 3908,
    AspectRatio = 3561,
    DPI = 3562,
    AuthorName = 3563,
    Annotation = 3564,
    Copyright = 3565,
};
} // namespace opcmd

struct OpGroup {
    int32_t command;
    const char* name;       // "Photo Group"
    const char* help_topic; // "photo group"
};
// The fifteen groups in catalogue order.
const OpGroup* op_groups(int* count);
const OpGroup* op_group(int32_t command);
// A group by its name or number, case ignored ("photo", "Photo Group", "3550").
const OpGroup* op_group_find(const std::string& text);

// Sizes the catalogue from the groups' counts, allocates it ("ops") and lets
// every group register its operations.  0 done; 1 when the allocation fails.
int build_catalogue();
void release_catalogue();
// Shut-down: the rows of modules outside ops/ are dropped (they register
// again at the next start-up).
void forget_registered_operations();

OpDescriptor* op_catalogue();  // null before build_catalogue
int op_count();                // operations, not counting the terminator
OpDescriptor* op_at(int index);

// The index of the operation with that command number, or -1.
int find_operation(int32_t command);
OpDescriptor* op_by_command(int32_t command);
// By display name or script keyword, case ignored; null when unknown.
OpDescriptor* op_by_name(const std::string& name);

bool op_uses_source(int32_t command);
bool op_uses_brush(int32_t command);
bool op_full_refresh(int32_t command);
bool op_no_alpha_masking(int32_t command);

// The line tool's switch that makes the three line-drawing commands read
// the source and brush images.
void op_set_line_tool_images(bool on);

// Makes an operation available with the worker and hooks of a module
// outside ops/ (the ray tracer, plug-ins).  May be called before or after
// build_catalogue; the row is kept for the next build.  False when the
// command is not in the catalogue or the row does not fit its applier.
bool op_register(const OpRow& row);

// Checks the families' rows against the catalogue's list: every command of
// the list once; every row's command in the list and in one row only; each
// row's worker the one its applier calls and nothing else; a warp worker only
// on warp-capable operations; slot keys unique within an operation; profile
// slots naming a profile.  Returns the number of problems, one line each in
// `report`.
int catalogue_check(std::span<const OpFamily* const> families, std::string* report);
// Whether a row's workers fit an applier kind; why not in `why`.
bool op_row_fits(const OpRow& row, ApplierKind kind, bool warp_capable, std::string* why);

// Value of a number slot as a double (ints and floats); 0 for other kinds.
double slot_get(const OpSlot& slot);
// Stores a number into an int or float slot (ints truncate).
void slot_set(const OpSlot& slot, double value);
