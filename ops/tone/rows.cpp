// The tone and colour family's table: one row per operation, with its
// worker, hooks and parameter slots.
#include "ops/catalogue.h"
#include "ops/family.h"
#include "ops/framework.h"
#include "ops/tone/docs.h"
#include "ops/tone/tone.h"
#include "ops/tone/tone_internal.h"

#include <cstring>

ToneParams g_tone_params;

namespace {

void tone_params_reset()
{
    ToneParams& p = g_tone_params;
    std::memset(&p, 0, sizeof p);
    p.contrast = 25;
    p.brightness = 25;
    p.gamma = 50;
    p.fill[0] = 25, p.fill[1] = 100, p.fill[2] = 0;
    p.balance_level[0] = 140, p.balance_level[1] = 128, p.balance_level[2] = 116;
    p.balance_pivot[0] = p.balance_pivot[1] = p.balance_pivot[2] = 128;
    p.remap_tolerance = 30;
    p.colorize_hue = 30;
    p.colorize_saturation = 50;
    p.colorize_set_saturation = 1;
    p.mono_method = 1;
    p.negative_select[0] = p.negative_select[1] = p.negative_select[2] = 1;
    p.hue_shift = 30;
    p.saturation = 25;
    p.value = 20;
    p.glare_direction = 1;
    p.glare_amount = 50;
    p.antique_direction = 1;
    p.gel[0] = 1;
    for (int c = 0; c < 3; ++c)
        for (int i = 0; i < 256; ++i)
            p.hist_curve[c][i] = static_cast<uint8_t>(i);
    p.hist_locked = 1;
}

// Histogram applies its curves through the framework when it is not
// measuring; the tables live here.
bool tone_init()
{
    static const CurveApply curves = {histogram_measuring, histogram_build_tables, table_worker};
    op_set_curve_apply(&curves);
    return tone_tables_init();
}

constexpr ToneParams& p = g_tone_params;
constexpr double kWide = 99999;

constexpr OpSlot kContrast[] = {slot_int(&p.contrast, "amount", "Amount", -100, 100, -kWide, kWide)};
constexpr OpSlot kBrightness[] = {slot_int(&p.brightness, "amount", "Amount", -100, 100, -kWide, kWide)};
constexpr OpSlot kGamma[] = {slot_int(&p.gamma, "amount", "Amount", -200, 200, -kWide, kWide)};
constexpr OpSlot kColorFill[] = {slot_range(&p.fill[0], "red", "Red", 0, 255),
                                 slot_range(&p.fill[1], "green", "Green", 0, 255),
                                 slot_range(&p.fill[2], "blue", "Blue", 0, 255)};
constexpr OpSlot kBalance[] = {slot_switch(&p.balance_method, "method", "Method (0 pivot, 1 levels)"),
                               slot_range(&p.balance_level[0], "level1", "Red output / low level", 0, 255),
                               slot_range(&p.balance_level[1], "level2", "Green output / high level", 0, 255),
                               slot_range(&p.balance_level[2], "level3", "Blue output", 0, 255),
                               slot_range(&p.balance_pivot[0], "pivot1", "Red pivot", 0, 255),
                               slot_range(&p.balance_pivot[1], "pivot2", "Green pivot", 0, 255),
                               slot_range(&p.balance_pivot[2], "pivot3", "Blue pivot", 0, 255)};
constexpr OpSlot kHistogram[] = {slot_switch(&p.hist_measure, "measure", "Measure"),
                                 slot_profile("histo", SLOT_PROFILE_FIRST, "Histo", 255, "Curve", "curve")};
constexpr OpSlot kRemap[] = {slot_range(&p.remap_tolerance, "tolerance", "Tolerance", 0, 255),
                             slot_range(&p.remap_offset, "offset", "Offset", 0, 255),
                             slot_palette(&p.remap_from, SLOT_PALETTE, "remappal1", "from", "From palette"),
                             slot_palette(&p.remap_to, SLOT_PALETTE_B, "remappal2", "to", "To palette")};
constexpr OpSlot kColorize[] = {slot_int(&p.colorize_hue, "hue", "Hue", 0, 360, 0, 360, 360),
                                slot_range(&p.colorize_saturation, "saturation", "Saturation", 0, 100),
                                slot_switch(&p.colorize_set_saturation, "set_saturation", "Set saturation")};
constexpr OpSlot kMonochrome[] = {
    slot_choice(&p.mono_method, "method", "Method", 0, 8,
                "Average|Luminance|Red|Green|Blue|Red and green|Red and blue|Green and blue|Value to green")};
constexpr OpSlot kNegative[] = {slot_choice(&p.negative_mode, "mode", "Mode", 0, 5,
                                            "Channels|Grey of average|Grey of luminance|Film|HLS|HSV"),
                                slot_switch(&p.negative_select[0], "red", "Red"),
                                slot_switch(&p.negative_select[1], "green", "Green"),
                                slot_switch(&p.negative_select[2], "blue", "Blue")};
constexpr OpSlot kAdjustHue[] = {slot_range(&p.hue_shift, "shift", "Shift", -180, 180)};
constexpr OpSlot kSaturation[] = {slot_range(&p.saturation, "amount", "Amount", -100, 100)};
constexpr OpSlot kAdjustValue[] = {slot_range(&p.value, "amount", "Amount", -100, 100)};
constexpr OpSlot kGlare[] = {slot_switch(&p.glare_direction, "direction", "Direction"),
                             slot_range(&p.glare_amount, "amount", "Amount", 0, 100)};
constexpr OpSlot kAntique[] = {slot_switch(&p.antique_direction, "direction", "Direction")};
constexpr OpSlot kColorGel[] = {slot_switch(&p.gel[0], "red", "Red"), slot_switch(&p.gel[1], "green", "Green"),
                                slot_switch(&p.gel[2], "blue", "Blue")};

constexpr OpRow kRows[] = {
    // Standard Group: tables built by the prepare hooks, applied in place.
    {.command = opcmd::Contrast, .worker = worker_place(table_worker), .prepare = contrast_prepare, .slots = kContrast, .doc = tone_docs::contrast, .parallel = true},
    {.command = opcmd::Brightness, .worker = worker_place(table_worker), .prepare = brightness_prepare,
     .slots = kBrightness, .doc = tone_docs::brightness, .parallel = true},
    {.command = opcmd::Gamma, .worker = worker_place(table_worker), .prepare = gamma_prepare, .slots = kGamma, .doc = tone_docs::gamma, .parallel = true},
    {.command = opcmd::ColorFill, .worker = worker_place(table_worker), .prepare = color_fill_prepare,
     .slots = kColorFill, .doc = tone_docs::color_fill, .parallel = true},
    {.command = opcmd::Balance, .worker = worker_place(table_worker), .prepare = balance_prepare, .slots = kBalance, .doc = tone_docs::balance, .parallel = true},
    // Measuring is what the descriptor does; applying the curves is the
    // framework's Histogram case.
    {.command = opcmd::Histogram, .worker = worker_whole(histogram_measure), .slots = kHistogram, .doc = tone_docs::histogram, .parallel = true},
    {.command = opcmd::Remap, .worker = worker_place(remap_worker), .prepare = remap_prepare, .slots = kRemap, .doc = tone_docs::remap, .parallel = true},
    {.command = opcmd::Colorize, .worker = worker_place(colorize_worker), .slots = kColorize, .doc = tone_docs::colorize, .parallel = true},
    // Photo Group.
    {.command = opcmd::Monochrome, .worker = worker_map(mono_worker, mono_run), .slots = kMonochrome, .doc = tone_docs::monochrome, .parallel = true},
    {.command = opcmd::Negative, .worker = worker_map(negative_worker, negative_run),
     .warp = worker_map(negative_warp_worker), .slots = kNegative, .doc = tone_docs::negative, .parallel = true},
    {.command = opcmd::AdjustHue, .worker = worker_map(hue_worker, hue_run), .slots = kAdjustHue, .doc = tone_docs::adjust_hue, .parallel = true},
    {.command = opcmd::Saturation, .worker = worker_map(saturation_worker, saturation_run), .slots = kSaturation, .doc = tone_docs::saturation, .parallel = true},
    {.command = opcmd::AdjustValue, .worker = worker_map(value_worker, value_run), .slots = kAdjustValue, .doc = tone_docs::adjust_value, .parallel = true},
    {.command = opcmd::Glare, .worker = worker_map(glare_worker), .slots = kGlare, .doc = tone_docs::glare, .parallel = true},
    {.command = opcmd::Antique, .worker = worker_map(antique_worker), .slots = kAntique, .doc = tone_docs::antique, .parallel = true},
    {.command = opcmd::ColorGel, .worker = worker_map(gel_worker), .prepare = gel_prepare, .slots = kColorGel, .doc = tone_docs::color_gel, .parallel = true},
    // Art Group's pixel maps.
    {.command = opcmd::PseudoColor, .worker = worker_map(pseudo_worker), .doc = tone_docs::pseudo_color, .parallel = true},
    {.command = opcmd::FalseColor, .worker = worker_map(false_color_worker), .doc = tone_docs::false_color, .parallel = true},
    {.command = opcmd::Solarize, .worker = worker_map(solarize_worker), .prepare = solarize_prepare, .doc = tone_docs::solarize, .parallel = true},
};

} // namespace

const OpFamily kToneFamily = {"tone", kRows, tone_params_reset, tone_init, tone_tables_release};
