// The catalogue's list: every operation with its number, name, dialog
// template, applier, flags and script command, group by group.
#include "ops/catalogue_list.h"

namespace {

using K = ApplierKind;
constexpr uint16_t SRC = OP_USES_SOURCE, FULL = OP_FULL_REFRESH, NOA = OP_NO_ALPHA_MASKING,
                   WARP = OP_WARP_CAPABLE, BRU = OP_USES_BRUSH;

// Command numbers not fixed elsewhere were chosen once to collide with no
// other command; scripts, settings files and timelines refer to them, so
// they never change.

const OpEntry kLighting[] = {
    {3111, "Asterize", "ASTDLG", K::PixelInPlaceXY, 0, "ASTERIZE", 10},
    {3112, "Annular", "AnnDlg", K::PixelInPlaceXY, 0, "ANNULAR", 5},
    {3113, "Refract", "RefDlg", K::PixelInPlaceXY, 0, "REFRACT", 1},
    {3114, "Shine", "C4Dlg", K::MultiPass, 0, "SHINE", 4},
};

const OpEntry kPlasma[] = {
    {3211, "Lightning", "LigDlg", K::WholeImage, 0, "LIGHTNING", 12},
    {3212, "Aura", "AurDlg", K::WholeImage, FULL, "AURA", 16},
    {3213, "Fire", "FirDlg", K::WholeImage, FULL, "FIRE", 24},
};

const OpEntry kBlur[] = {
    {3121, "Motion Blur", "C3Dlg", K::MultiPass, FULL, "MOTIONBLUR", 3},
    {3122, "Spiral Blur", "SpirDlg", K::MultiPass, FULL, "SPIRALBLUR", 3},
    {3123, "Explode", "ExpDlg", K::MultiPass, FULL, "EXPBLUR", 2},
};

const OpEntry kGeom[] = {
    {3131, "Dome", "DomeDlg", K::Geometric, NOA | WARP, "DOME", 1},
    {3132, "Caricature", "CaricDlg", K::Geometric, NOA | WARP, "CARIC", 1},
    {3133, "Swirl", "SwirlDlg", K::Geometric, NOA | WARP, "SWIRL", 1},
    {3134, "Waves", "WavDlg", K::Geometric, NOA | WARP, "WAVES", 9},
    {3135, "Radial Wave", "C6Dlg", K::Geometric, NOA | WARP, "RADWAVE", 6},
    {3137, "Turbulence", "TurDlg", K::Geometric, NOA | WARP, "TURBULENCE", 4},
    {3138, "Surface Warp", "WrpDlg", K::Geometric, NOA | WARP | SRC, "SURFWARP", 4},
    {3139, "Kaleidoscope", "KaiDlg", K::Geometric, NOA | WARP, "KALEIDO", 3},
    {3221, "Roll", "ROLLGEOM", K::Geometric, NOA | WARP, "ROLL", 3},
    {3728, "Shear", "SHEAR", K::Geometric, NOA | WARP, "SHEAR", 4},
    {3222, "Bend", "BEND", K::Geometric, NOA | WARP, "BEND", 4},
    {3223, "Mirror", "MirDlg", K::Geometric, NOA | WARP, "MIRROR", 1},
    {3224, "Polar/Rec", "POLARDLG", K::Geometric, NOA | WARP, "POLARREC", 0, 1},
    {3225, "Wonk", "WONKDLG", K::Geometric, NOA | WARP, "WONK", 0, 1},
    {3226, "Circe", "CIRCEDLG", K::Geometric, NOA | WARP, "CIRCE", 0, 1},
    {3227, "Melt", "MELTDLG", K::Geometric, NOA | WARP, "MELT", 4},
    {3228, "Flip", "FlpDlg", K::WholeImage, NOA | WARP, "FLIP", 2},
    {3229, "Turn 90", "R90Dlg", K::WholeImage, NOA | WARP, "TURN90", 1},
    {3230, "Rotate", "RotDlg", K::WholeImage, NOA, "ROTATE", 2},
    {3231, "Perspective", "PersDlg", K::WholeImage, NOA | SRC, "PERSPECTIVE", 8},
};

const OpEntry kPattern[] = {
    {3141, "3-D Net", "NetDlg", K::WholeImage, 0, "NET", 8},
    {3142, "Random Tile", "TilDlg", K::WholeImage, 0, "RTILE", 9},
    {3143, "Pixelize", "PixDlg", K::WholeImage, 0, "PIXELIZE", 6},
    {3144, "Cellular", "CellDlg", K::WholeImage, 0, "CELL", 8},
    {3145, "Lined", "LineDlg", K::WholeImage, 0, "LINED", 8},
    {3146, "Linear Fill", "BanDlg", K::MultiPass, WARP, "LINFILL", 3},
    {3147, "Concentric", "CenDlg", K::MultiPass, WARP, "CONCENTRIC", 4},
    {3148, "Radiating", "RadfDlg", K::MultiPass, WARP, "RADIAL", 4},
    {3149, "Outline", "OutDlg", K::MultiPass, FULL | WARP, "OUTFILL", 7},
};

const OpEntry kFilter[] = {
    {3151, "Relief", "RelfDlg", K::WholeImage, 0, "RELIEF", 1},
    {3152, "Dither", "DithDlg", K::WholeImage, 0, "DITHER", 5},
    {3153, "Elevations", "GeogDlg", K::WholeImage, 0, "ELEVATIONS", 3},
    {3154, "Enhance", "ENHANCEDLG", K::WholeImage, FULL, nullptr, 0},
    {3155, "UnsharpMask", "USMDLG", K::WholeImage, FULL, "UNSHARP", 3},
    {3156, "HRemove", "HREMOVEDLG", K::WholeImage, 0, "HREMOVE", 5},
    {3157, "VRemove", "VREMOVEDLG", K::WholeImage, 0, "VREMOVE", 5},
    {3158, "RIP", "riptDLG", K::WholeImage, FULL, "RIP", 19},
    {3159, "RIS", "risDLG", K::WholeImage, FULL, "RIS", 2},
    {3251, "RIC", "ricDLG", K::WholeImage, FULL, "RIC", 2},
    {3252, "Minimum", "minimumDLG", K::WholeImage, FULL, "MINIMUM", 2},
    {3253, "Maximum", "maximumDLG", K::WholeImage, FULL, "MAXIMUM", 2},
    {3254, "Apply Canvas", "AppDlg", K::WholeImage, SRC, "CANVAS", 6},
    {3255, "Add Texture", "TEXTDlg", K::WholeImage, SRC, "ADDTEXTURE", 2},
    {3256, "encrypt image", "encryptDLG", K::WholeImage, FULL | WARP, "ENCRYPT", 1},
    {3257, "Sharpen", "SharpDlg", K::MultiPass, 0, "SHARPEN", 2},
    {3258, "Blur", "GblurDlg", K::MultiPass, 0, "BLUR", 1},
    {3259, "Remove", "RemoDlg", K::MultiPass, 0, "REMOVE", 1},
    {3260, "Shave", "ShaveDlg", K::MultiPass, 0, "SHAVE", 2},
    {3261, "Truncate", "TRUNCDIALOG", K::MultiPass, 0, nullptr, 0},
    {3262, "Contour", "ContourDlg", K::PixelInPlaceXY, 0, "CONTOUR", 9},
};

const OpEntry kMath[] = {
    {3161, "Derivative", "DerDlg", K::WholeImage, 0, "DERIVATIVE", 3},
    {3162, "Variance", "VarDlg", K::WholeImage, 0, "VARIANCE", 3},
    {3163, "Multiply", "MulDlg", K::WholeImage, SRC, "MULTIPLY", 0, 1},
    {3164, "Add Images", "AddDlg", K::WholeImage, SRC, "ADD", 1},
    {3165, "Subtract", "SubDlg", K::WholeImage, SRC, "SUBTRACT", 1},
    {3574, "Convolve", "CONVDLG", K::WholeImage, 0, "CONVOLVE", 13},
    {3166, "NLog", "LOGDLG", K::MultiPass, 0, "NLOG", 1},
    {3271, "Combine", "ComDlg", K::PixelMapXY, SRC, "COMBINE", 1},
};

const OpEntry kCollage[] = {
    {3171, "Clip", "ClipDlg", K::WholeImage, 0, "CLIP", 3},
    {3172, "Transition", "TRGENDLG", K::WholeImage, FULL | SRC, "TRANSITION", 5},
    {3175, "Tiler", "TILERDLG", K::WholeImage, FULL | SRC, "TILER", 7},
    {3176, "Merge", "MergDlg", K::WholeImage, SRC, "MERGE", 3},
    {3177, "Key In", "KeyinDlg", K::WholeImage, SRC, "KEYIN", 9},
    {3178, "Place", "PlaceDlg", K::WholeImage, SRC, "PLACE", 1},
    {3281, "Stroke", "StrokeDlg", K::WholeImage, FULL | BRU, "STROKE", 0},
    {3167, "Closed Line", "CLineDlg", K::WholeImage, 0, nullptr, 0},
    {3168, "Closed Line Pen", "CLinePenDlg", K::WholeImage, 0, nullptr, 0},
    {3169, "Open Line Edge", "OLineDlg", K::WholeImage, 0, nullptr, 0},
    {3282, "Extend", "ExtendDlg", K::WholeImage, 0, "EXTEND", 7},
    {3173, "Enlarge", "SizeDlg", K::WholeImage, NOA, nullptr, 0},
    {3174, "Reduce", "Size2Dlg", K::WholeImage, NOA, nullptr, 0},
    {3242, "SPercent", "SPERCENTDLG", K::WholeImage, FULL, "SPERCENT", 4},
    {3243, "SPixel", "SPIXELDLG", K::WholeImage, FULL, "SPIXEL", 4},
    {3283, "DOF", "DOFDLG", K::WholeImage, FULL | SRC, "DOF", 1},
};

const OpEntry kRender[] = {
    {3571, "Landscape", "MorgDlg", K::WholeImage, FULL, "LANDSCAPE", 4},
    {3572, "Exfoliation", "DLG_THERM", K::WholeImage, FULL, "EXFOLIATE", 2},
    {3573, "Entrainment", "GAK", K::WholeImage, FULL, "ENTRAIN", 4},
    {3575, "Ruler", "RULERDLG", K::WholeImage, FULL, "RULER", 21},
    {3576, "Grid", "gridDLG", K::WholeImage, FULL, "GRID", 24},
    {3577, "Texture", "TEXTUREDLG", K::WholeImage, 0, "TEXTURE", 15},
    {3578, "Bang", "BANGDLG", K::WholeImage, 0, "BANG", 18},
    {3579, "Ray Trace", "RTDLG", K::WholeImage, FULL, "RAYTRACE", 4},
    {3580, "Julia", "JULIAD", K::WholeImage, FULL, "JULIA", 7},
    {3581, "Mandelbrot", "MANDELD", K::WholeImage, FULL, "MANDELBROT", 6},
    {3582, "Pagecurl", "PAGECURL", K::WholeImage, 0, "PAGECURL", 11},
    {3583, "Particles", "PARTIDLG", K::WholeImage, FULL, "PARTICLES", 1},
    {3584, "Flat Map", "LMAP", K::PixelInPlaceXY, FULL, "FLATMAP", 2},
    {3585, "Crater", "DLG_CRATZ", K::PixelInPlaceXY, FULL, "CRATER", 5},
};

const OpEntry kStandard[] = {
    {3186, "Color Fill", "ColorDlg", K::PixelInPlace, 0, "COLORFILL", 3},
    {3188, "Colorize", "HueDlg", K::PixelInPlace, 0, "COLORIZE", 4},
    {3181, "Contrast", "C1Dlg", K::PixelInPlace, 0, "CONTRAST", 1},
    {3182, "Brightness", "BrightDlg", K::PixelInPlace, 0, "BRIGHT", 1},
    {3183, "Gamma", "GammaDlg", K::PixelInPlace, 0, "GAMMA", 1},
    {3184, "Balance", "BalDlg", K::PixelInPlace, 0, "BALANCE", 4},
    {3189, "Remap", "RemapDlg", K::PixelInPlace, 0, "REMAP", 2},
    {3187, "Script", "SCRIPTDLG", K::WholeImage, FULL | WARP, nullptr, 0},
    {3291, "Plugin", "PLUGIN", K::WholeImage, FULL | WARP | SRC | BRU, "PLUGIN", 0},
    {3292, "Measure", "measureDLG", K::WholeImage, FULL, nullptr, 0},
    {3293, "ForceDyn", "FORCEDDLG", K::WholeImage, 0, "FORCED", 0, 1},
    {3294, "ChannelMap", "cmapDLG", K::WholeImage, FULL, "CHANMAP", 2},
    {3295, "SwapRGBA", "SWAPDIALOG", K::MultiPass, 0, "SWAPRGBA", 1},
    {3185, "Histogram", "HistDlg", K::WholeImageNoUndo, 0, "HISTO", 1},
    {3296, "Sample", "SamDlg", K::WholeImageNoUndo, 0, "SAMPLE", 2},
    {3297, "Build Palette", "PlbDlg", K::WholeImageNoUndo, 0, "BUILDPAL", 4},
};

const OpEntry kAlpha[] = {
    {3192, "Make Alpha", "AlphaDlg", K::WholeImage, NOA | SRC, "MAKEALPHA", 4},
    {3193, "Key to Alpha", "KalDlg", K::PixelInPlace, NOA, "KEYTOALPHA", 8},
    {3194, "Invert Alpha", "NoneDlg", K::PixelInPlace, NOA, "INVALPHA", 0, 1},
    {3195, "Harden Alpha", "C2Dlg", K::PixelInPlace, NOA, "HARDALPHA", 2},
    {3196, "Soften Alpha", "A1Dlg", K::PixelInPlaceXY, NOA, "SOFTALPHA", 1},
    {3197, "Shave Alpha", "ShaveaDlg", K::PixelInPlaceXY, NOA, "SHAVEALPHA", 1},
    {3198, "Promote RGB", "PROMOTERGB", K::WholeImage, NOA, "PROMOTERGB", 5},
    {3199, "Sample A", "SAMPLEALPHA", K::WholeImage, 0, "SAMPLEA", 1},
    {3301, "Clip Alpha", "ClipADlg", K::WholeImage, NOA, "CLIPALPHA", 3},
    {3191, "Make Area", "AreDlg", K::WholeImageNoUndo, 0, "MAKEAREA", 1},
};

const OpEntry kArt[] = {
    {3801, "Gouache", "GUADLG", K::MultiPass, 0, "GOUACHE", 2},
    {3802, "Toonize", "BENTOONDLG", K::WholeImage, 0, "TOONIZE", 0, 1},
    {3803, "Watercolor", "watercolorDLG", K::WholeImage, FULL, "WATERCOLOR", 1},
    {3804, "Oil Painting", "OilDLG", K::PixelMapXY, 0, nullptr, 0},
    {3712, "Pseudo Color", "None2Dlg", K::PixelMap, 0, "PSEUDO", 0, 1},
    {3714, "False Color", "None3Dlg", K::PixelMap, 0, "FALSEC", 0, 1},
    {3715, "Solarize", "None4Dlg", K::PixelMap, 0, "SOLARIZE", 0, 1},
    {3805, "Blue Print", "BprintDlg", K::PixelInPlaceXY, 0, nullptr, 0},
};

const OpEntry kPhoto[] = {
    {3179, "Monochrome", "MonDlg", K::PixelMap, 0, "MONOCHROME", 1},
    {3115, "Negative", "NegDlg", K::PixelMap, WARP, "NEGATIVE", 5},
    {3722, "Adjust Hue", "HUESDlg", K::PixelMap, 0, "HUE", 1},
    {3723, "Saturation", "SATDlg", K::PixelMap, 0, "SAT", 1},
    {3724, "Adjust Value", "VALDlg", K::PixelMap, 0, "VALUE", 1},
    {3717, "Glare", "REGDlg", K::PixelMap, 0, "GLARE", 2},
    {3713, "Antique", "TiqDlg", K::PixelMap, 0, "ANTIQUE", 1},
    {3725, "Color Gel", "GelDlg", K::PixelMap, 0, "GEL", 3},
};

const OpEntry kVideo[] = {
    {3901, "NTSC Filter", "NTSCDlg", K::PixelMapXY, 0, "NTSC", 2},
    {3902, "Frame Rates", "FrmDlg", K::WholeImage, 0, "FRATE", 3},
    {3903, "Makefields", "MAKEFIELDS", K::WholeImage, 0, "MAKEFIELDS", 2},
    {3904, "Film Grain", "GrainDlg", K::WholeImage, 0, "FILMGRAIN", 5},
    {3905, "Scanline", "SCANLINEDLG", K::WholeImage, 0, "SCANLINE", 2},
    {3906, "Jitter", "jitterDLG", K::WholeImage, FULL, "JITTER", 10},
    {3907, "Flicker", "flickerDLG", K::WholeImage, FULL, "FLICKER", 4},
    {3908, "Stabilize", "STABDLG", K::WholeImage, FULL | SRC, "STABILIZE", 10},
};

const OpEntry kAttrib[] = {
    {3561, "Aspect Ratio", "ASPECTDlg", K::WholeImage, 0, nullptr, 0},
    {3562, "DPI", "DPIDlg", K::WholeImage, 0, nullptr, 0},
    {3563, "Author Name", "AuthorDlg", K::WholeImage, 0, nullptr, 0},
    {3564, "Annotation", "AnnoDlg", K::WholeImage, 0, nullptr, 0},
    {3565, "Copyright", "COPYRDlg", K::WholeImage, 0, nullptr, 0},
};

#define GROUP(cmd, name, topic, list) {cmd, name, topic, list, sizeof(list) / sizeof(list[0])}

// Registration order of the groups.
const OpGroupList kGroups[] = {
    GROUP(3110, "Lighting Group", "lighting group", kLighting),
    GROUP(3210, "Plasma Group", "plasma group", kPlasma),
    GROUP(3120, "Blur Group", "blur group", kBlur),
    GROUP(3130, "Geom Group", "geom group", kGeom),
    GROUP(3140, "Pattern Group", "pattern group", kPattern),
    GROUP(3150, "Filter Group", "filter group", kFilter),
    GROUP(3160, "Math Group", "math group", kMath),
    GROUP(3170, "Collage Group", "collage group", kCollage),
    GROUP(3570, "Render Group", "render group", kRender),
    GROUP(3180, "Standard Group", "standard group", kStandard),
    GROUP(3190, "Alpha Group", "alpha group", kAlpha),
    GROUP(3800, "Art Group", "art group", kArt),
    GROUP(3550, "Photo Group", "photo group", kPhoto),
    GROUP(3900, "Video Group", "video group", kVideo),
    GROUP(3560, "Attrib Group", "attrib group", kAttrib),
};

} // namespace

const OpGroupList* catalogue_groups(int* count)
{
    *count = static_cast<int>(sizeof kGroups / sizeof kGroups[0]);
    return kGroups;
}
