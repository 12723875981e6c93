// The filter family's table: the Filter, Blur and Math Groups.
#include "ops/catalogue.h"
#include "ops/family.h"
#include "ops/filter/docs.h"
#include "ops/filter/filter.h"
#include "ops/filter/filter_internal.h"

#include <cstring>

FilterParams g_filter_params;

using namespace filt;

namespace {

void filter_params_reset()
{
    FilterParams& p = g_filter_params;
    std::memset(&p, 0, sizeof p);
    // A sharpening kernel shows what Convolve does; the identity is k5 = 1 alone.
    const float sharpen[9] = {0, -1, 0, -1, 5, -1, 0, -1, 0};
    std::memcpy(p.convolve_kernel, sharpen, sizeof sharpen);
    p.convolve_threshold = 0.5f;
    p.relief_angle = 135;
    p.dither_levels = 2;
    p.dither_serpentine = 1;
    p.dither_seed = 1;
    p.elev_sea = 70, p.elev_interval = 24, p.elev_shading = 60;
    p.enhance_clip = 10, p.enhance_linked = 1;
    p.usm_radius = 2.0f, p.usm_amount = 150, p.usm_threshold = 0;
    p.hrem_threshold = p.vrem_threshold = 24;
    p.hrem_width = p.vrem_width = 2;
    p.hrem_coverage = p.vrem_coverage = 50;
    const int angles[4] = {15, 75, 0, 45};
    for (int s = 0; s < 4; ++s) {
        p.rip_angle[s] = angles[s];
        p.rip_cell[s] = 6;
        p.rip_on[s] = 1;
    }
    p.rip_soft = 30;
    p.ris_size = 4, p.ris_threshold = 40;
    p.ric_count = 4, p.ric_tolerance = 96;
    p.min_radius = p.max_radius = 3;
    p.min_shape = p.max_shape = 1;
    p.canvas_scale = 100, p.canvas_depth = 40, p.canvas_angle = 135;
    p.texture_amount = 50;
    std::strcpy(p.password, "Glimmerix");
    p.sharpen_amount = 100, p.sharpen_neighbours = 1;
    p.blur_radius = 3.0f;
    p.remove_radius = 2;
    p.shave_tolerance = 8;
    p.trunc_bits = 3, p.trunc_round = 1;
    p.contour_interval = 32, p.contour_opacity = 100, p.contour_thickness = 1;
    p.motion_angle = 30, p.motion_distance = 20, p.motion_centred = 1;
    p.spiral_angle = 20, p.spiral_zoom = 10, p.spiral_samples = 24;
    p.explode_amount = 25, p.explode_samples = 24;
    p.deriv_scale = 100;
    p.var_radius = 3, p.var_scale = 200;
    p.add_percent = p.sub_percent = 50;
    p.nlog_strength = 20;
    p.combine_percent = 50;
}

void filter_release()
{
    pass_release();
    contour_release();
}

constexpr FilterParams& p = g_filter_params;
constexpr double kWide = 99999;

constexpr OpSlot kConvolve[] = {
    slot_float(&p.convolve_kernel[0], "k1", "k1", -10, 10, -1000, 1000),
    slot_float(&p.convolve_kernel[1], "k2", "k2", -10, 10, -1000, 1000),
    slot_float(&p.convolve_kernel[2], "k3", "k3", -10, 10, -1000, 1000),
    slot_float(&p.convolve_kernel[3], "k4", "k4", -10, 10, -1000, 1000),
    slot_float(&p.convolve_kernel[4], "k5", "k5", -10, 10, -1000, 1000),
    slot_float(&p.convolve_kernel[5], "k6", "k6", -10, 10, -1000, 1000),
    slot_float(&p.convolve_kernel[6], "k7", "k7", -10, 10, -1000, 1000),
    slot_float(&p.convolve_kernel[7], "k8", "k8", -10, 10, -1000, 1000),
    slot_float(&p.convolve_kernel[8], "k9", "k9", -10, 10, -1000, 1000),
};
constexpr OpSlot kRelief[] = {slot_int(&p.relief_angle, "angle", "Light angle", 0, 360, 0, 360, 360)};
constexpr OpSlot kDither[] = {slot_range(&p.dither_method, "method", "Method (0 diffusion, 1 ordered, 2 random)", 0, 2),
                              slot_int(&p.dither_levels, "levels", "Levels per channel", 2, 16, 2, 256),
                              slot_switch(&p.dither_serpentine, "serpentine", "Serpentine"),
                              slot_switch(&p.dither_mono, "mono", "Grey"),
                              slot_int(&p.dither_seed, "seed", "Seed", 0, 9999, 0, 2147483647)};
constexpr OpSlot kElevations[] = {slot_range(&p.elev_sea, "sea", "Sea level", 0, 255),
                                  slot_range(&p.elev_interval, "interval", "Contour interval", 0, 128),
                                  slot_range(&p.elev_shading, "shading", "Hill shading", 0, 100)};
constexpr OpSlot kEnhance[] = {slot_int(&p.enhance_clip, "clip", "Clip (tenths of a percent)", 0, 100, 0, 499),
                               slot_switch(&p.enhance_linked, "linked", "Channels together")};
constexpr OpSlot kUnsharp[] = {slot_float(&p.usm_radius, "radius", "Radius", 0.5, 20, 0, 200),
                               slot_int(&p.usm_amount, "amount", "Amount (%)", 0, 500, 0, 5000),
                               slot_range(&p.usm_threshold, "threshold", "Threshold", 0, 255)};
constexpr OpSlot kHRemove[] = {slot_range(&p.hrem_threshold, "threshold", "Threshold", 0, 255),
                               slot_int(&p.hrem_width, "width", "Widest line", 1, 16, 1, 64),
                               slot_int(&p.hrem_period, "period", "Period (0 anywhere)", 0, 64, 0, 9999),
                               slot_int(&p.hrem_offset, "offset", "Offset", 0, 63, 0, 9999),
                               slot_range(&p.hrem_coverage, "coverage", "Coverage (%)", 1, 100)};
constexpr OpSlot kVRemove[] = {slot_range(&p.vrem_threshold, "threshold", "Threshold", 0, 255),
                               slot_int(&p.vrem_width, "width", "Widest line", 1, 16, 1, 64),
                               slot_int(&p.vrem_period, "period", "Period (0 anywhere)", 0, 64, 0, 9999),
                               slot_int(&p.vrem_offset, "offset", "Offset", 0, 63, 0, 9999),
                               slot_range(&p.vrem_coverage, "coverage", "Coverage (%)", 1, 100)};
constexpr OpSlot kRip[] = {
    slot_range(&p.rip_mode, "mode", "Mode (0 CMYK, 1 black only)", 0, 1),
    slot_int(&p.rip_angle[0], "c_angle", "Cyan angle", 0, 180, 0, 360, 360),
    slot_int(&p.rip_cell[0], "c_cell", "Cyan cell", 2, 32, 2, 256),
    slot_range(&p.rip_shape[0], "c_shape", "Cyan dot (0 round, 1 ellipse, 2 line, 3 square)", 0, 3),
    slot_switch(&p.rip_on[0], "c_on", "Cyan"),
    slot_int(&p.rip_angle[1], "m_angle", "Magenta angle", 0, 180, 0, 360, 360),
    slot_int(&p.rip_cell[1], "m_cell", "Magenta cell", 2, 32, 2, 256),
    slot_range(&p.rip_shape[1], "m_shape", "Magenta dot", 0, 3),
    slot_switch(&p.rip_on[1], "m_on", "Magenta"),
    slot_int(&p.rip_angle[2], "y_angle", "Yellow angle", 0, 180, 0, 360, 360),
    slot_int(&p.rip_cell[2], "y_cell", "Yellow cell", 2, 32, 2, 256),
    slot_range(&p.rip_shape[2], "y_shape", "Yellow dot", 0, 3),
    slot_switch(&p.rip_on[2], "y_on", "Yellow"),
    slot_int(&p.rip_angle[3], "k_angle", "Black angle", 0, 180, 0, 360, 360),
    slot_int(&p.rip_cell[3], "k_cell", "Black cell", 2, 32, 2, 256),
    slot_range(&p.rip_shape[3], "k_shape", "Black dot", 0, 3),
    slot_switch(&p.rip_on[3], "k_on", "Black"),
    slot_int(&p.rip_gain, "gain", "Dot gain (%)", -50, 50, -100, 100),
    slot_range(&p.rip_soft, "soft", "Softness", 0, 100),
};
constexpr OpSlot kRis[] = {slot_int(&p.ris_size, "size", "Largest speck (pixels)", 1, 100, 1, 10000),
                           slot_range(&p.ris_threshold, "threshold", "Threshold", 0, 255)};
constexpr OpSlot kRic[] = {slot_int(&p.ric_count, "count", "Fewest pixels of a colour", 1, 1000, 1, 1000000),
                           slot_range(&p.ric_tolerance, "tolerance", "Tolerance", 0, 765)};
constexpr OpSlot kMinimum[] = {slot_int(&p.min_radius, "radius", "Radius", 0, 50, 0, 500),
                               slot_switch(&p.min_shape, "disc", "Disc (0 square)")};
constexpr OpSlot kMaximum[] = {slot_int(&p.max_radius, "radius", "Radius", 0, 50, 0, 500),
                               slot_switch(&p.max_shape, "disc", "Disc (0 square)")};
constexpr OpSlot kCanvas[] = {slot_int(&p.canvas_scale, "scale", "Scale (%)", 10, 400, 1, 10000),
                              slot_int(&p.canvas_depth, "depth", "Depth", 0, 100, 0, 1000),
                              slot_int(&p.canvas_angle, "angle", "Light angle", 0, 360, 0, 360, 360),
                              slot_int(&p.canvas_dx, "dx", "Horizontal offset", -1000, 1000, -kWide, kWide),
                              slot_int(&p.canvas_dy, "dy", "Vertical offset", -1000, 1000, -kWide, kWide),
                              slot_switch(&p.canvas_invert, "invert", "Invert")};
constexpr OpSlot kTexture[] = {slot_range(&p.texture_amount, "amount", "Amount (%)", 0, 100),
                               slot_range(&p.texture_mode, "mode", "Mode (0 overlay, 1 multiply, 2 screen)", 0, 2)};
constexpr OpSlot kEncrypt[] = {slot_text(p.password, SLOT_TEXT, kPasswordSize, "password", "Password")};
constexpr OpSlot kSharpen[] = {slot_int(&p.sharpen_amount, "amount", "Amount (%)", 0, 500, 0, 5000),
                               slot_switch(&p.sharpen_neighbours, "eight", "Eight neighbours (0 four)")};
constexpr OpSlot kBlur[] = {slot_float(&p.blur_radius, "radius", "Radius", 0.5, 50, 0, 250)};
constexpr OpSlot kRemove[] = {slot_int(&p.remove_radius, "radius", "Radius", 1, 20, 0, 200)};
constexpr OpSlot kShave[] = {slot_range(&p.shave_tolerance, "tolerance", "Tolerance", 0, 255),
                             slot_range(&p.shave_mode, "mode", "Mode (0 both, 1 peaks, 2 pits)", 0, 2)};
constexpr OpSlot kTruncate[] = {slot_range(&p.trunc_bits, "bits", "Bits", 1, 8),
                                slot_switch(&p.trunc_round, "round", "Round")};
constexpr OpSlot kContour[] = {
    slot_int(&p.contour_interval, "interval", "Interval", 2, 128, 1, 255),
    slot_range(&p.contour_offset, "offset", "Offset", 0, 255),
    slot_range(&p.contour_rgb[0], "red", "Line red", 0, 255),
    slot_range(&p.contour_rgb[1], "green", "Line green", 0, 255),
    slot_range(&p.contour_rgb[2], "blue", "Line blue", 0, 255),
    slot_range(&p.contour_opacity, "opacity", "Line opacity (%)", 0, 100),
    slot_range(&p.contour_background, "background", "Background (0 image, 1 white, 2 bands)", 0, 2),
    slot_range(&p.contour_channel, "channel", "Channel (0 luma, 1 red, 2 green, 3 blue)", 0, 3),
    slot_range(&p.contour_thickness, "thickness", "Thickness", 1, 8),
};
constexpr OpSlot kMotion[] = {slot_int(&p.motion_angle, "angle", "Angle", 0, 360, 0, 360, 360),
                              slot_int(&p.motion_distance, "distance", "Distance", 0, 200, 0, 5000),
                              slot_switch(&p.motion_centred, "centred", "Centred")};
constexpr OpSlot kSpiral[] = {slot_int(&p.spiral_angle, "angle", "Turn (degrees)", -180, 180, -3600, 3600),
                              slot_int(&p.spiral_zoom, "zoom", "Zoom (%)", -100, 100, -1000, 1000),
                              slot_int(&p.spiral_samples, "samples", "Samples", 2, 64, 1, 256)};
constexpr OpSlot kExplode[] = {slot_range(&p.explode_amount, "amount", "Amount (%)", 0, 100),
                               slot_int(&p.explode_samples, "samples", "Samples", 2, 64, 1, 256)};
constexpr OpSlot kDerivative[] = {slot_range(&p.deriv_operator, "operator", "Operator (0 Sobel, 1 Prewitt, 2 difference)", 0, 2),
                                  slot_int(&p.deriv_scale, "scale", "Scale (%)", 1, 1000, 0, 100000),
                                  slot_range(&p.deriv_direction, "direction", "Direction (0 both, 1 across, 2 down)", 0, 2)};
constexpr OpSlot kVariance[] = {slot_int(&p.var_radius, "radius", "Radius", 1, 50, 0, 1000),
                                slot_int(&p.var_scale, "scale", "Scale (%)", 0, 1000, 0, 100000),
                                slot_range(&p.var_mode, "mode", "Mode (0 deviation, 1 mean, 2 detail)", 0, 2)};
constexpr OpSlot kAdd[] = {slot_int(&p.add_percent, "percent", "Percent of the source", 0, 200, 0, 10000)};
constexpr OpSlot kSubtract[] = {slot_int(&p.sub_percent, "percent", "Percent of the source", 0, 200, 0, 10000)};
constexpr OpSlot kNLog[] = {slot_int(&p.nlog_strength, "strength", "Strength", -100, 100, -100000, 100000)};
constexpr OpSlot kCombine[] = {slot_range(&p.combine_percent, "percent", "Percent of the source", 0, 100)};

namespace d = filter_docs;
// Rows marked parallel only blend in what the pre-pass or the prepare hook
// computed before the run, or read their own pixel and the source.

constexpr OpRow kRows[] = {
    // Filter Group.
    {.command = opcmd::Relief, .worker = worker_whole(relief_worker), .slots = kRelief, .doc = d::relief},
    {.command = opcmd::Dither, .worker = worker_whole(dither_worker), .slots = kDither, .doc = d::dither},
    {.command = opcmd::Elevations, .worker = worker_whole(elevations_worker), .slots = kElevations, .doc = d::elevations},
    {.command = opcmd::Enhance, .worker = worker_whole(enhance_worker), .slots = kEnhance, .doc = d::enhance},
    {.command = opcmd::UnsharpMask, .worker = worker_whole(unsharp_worker), .slots = kUnsharp, .doc = d::unsharp},
    {.command = opcmd::HRemove, .worker = worker_whole(hremove_worker), .slots = kHRemove, .doc = d::hremove},
    {.command = opcmd::VRemove, .worker = worker_whole(vremove_worker), .slots = kVRemove, .doc = d::vremove},
    {.command = opcmd::RIP, .worker = worker_whole(rip_worker), .slots = kRip, .doc = d::rip},
    {.command = opcmd::RIS, .worker = worker_whole(ris_worker), .slots = kRis, .doc = d::ris},
    {.command = opcmd::RIC, .worker = worker_whole(ric_worker), .slots = kRic, .doc = d::ric},
    {.command = opcmd::Minimum, .worker = worker_whole(minimum_worker), .slots = kMinimum, .doc = d::minimum},
    {.command = opcmd::Maximum, .worker = worker_whole(maximum_worker), .slots = kMaximum, .doc = d::maximum},
    {.command = opcmd::ApplyCanvas, .worker = worker_whole(canvas_worker), .slots = kCanvas, .doc = d::canvas},
    {.command = opcmd::AddTexture, .worker = worker_whole(texture_worker), .slots = kTexture, .doc = d::texture},
    {.command = opcmd::EncryptImage, .worker = worker_whole(encrypt_worker), .prepare = encrypt_prepare,
     .slots = kEncrypt, .doc = d::encrypt},
    {.command = opcmd::Sharpen, .worker = worker_place_xy(pass_blend), .prepass = sharpen_prepass,
     .finish = pass_finish, .slots = kSharpen, .doc = d::sharpen, .parallel = true},
    {.command = opcmd::Blur, .worker = worker_place_xy(pass_blend), .prepass = blur_prepass, .finish = pass_finish,
     .slots = kBlur, .doc = d::blur, .parallel = true},
    {.command = opcmd::Remove, .worker = worker_place_xy(pass_blend), .prepass = remove_prepass,
     .finish = pass_finish, .slots = kRemove, .doc = d::remove, .parallel = true},
    {.command = opcmd::Shave, .worker = worker_place_xy(pass_blend), .prepass = shave_prepass, .finish = pass_finish,
     .slots = kShave, .doc = d::shave, .parallel = true},
    {.command = opcmd::Truncate, .worker = worker_place_xy(truncate_worker), .slots = kTruncate, .doc = d::truncate, .parallel = true},
    {.command = opcmd::Contour, .worker = worker_place_xy(contour_worker), .prepare = contour_prepare,
     .finish = contour_finish, .slots = kContour, .doc = d::contour, .parallel = true},
    // Blur Group.
    {.command = opcmd::MotionBlur, .worker = worker_place_xy(pass_blend), .prepass = motion_prepass,
     .finish = pass_finish, .slots = kMotion, .doc = d::motion_blur, .parallel = true},
    {.command = opcmd::SpiralBlur, .worker = worker_place_xy(pass_blend), .prepass = spiral_prepass,
     .finish = pass_finish, .slots = kSpiral, .doc = d::spiral_blur, .parallel = true},
    {.command = opcmd::Explode, .worker = worker_place_xy(pass_blend), .prepass = explode_prepass,
     .finish = pass_finish, .slots = kExplode, .doc = d::explode, .parallel = true},
    // Math Group.
    {.command = opcmd::Derivative, .worker = worker_whole(derivative_worker), .slots = kDerivative, .doc = d::derivative},
    {.command = opcmd::Variance, .worker = worker_whole(variance_worker), .slots = kVariance, .doc = d::variance},
    {.command = opcmd::Multiply, .worker = worker_whole(multiply_worker), .doc = d::multiply},
    {.command = opcmd::AddImages, .worker = worker_whole(add_worker), .slots = kAdd, .doc = d::add_images},
    {.command = opcmd::Subtract, .worker = worker_whole(subtract_worker), .slots = kSubtract, .doc = d::subtract},
    {.command = opcmd::Convolve, .worker = worker_whole(convolve_worker), .prepare = convolve_prepare,
     .slots = kConvolve, .doc = d::convolve},
    {.command = opcmd::NLog, .worker = worker_place_xy(nlog_worker), .prepare = nlog_prepare, .slots = kNLog, .doc = d::nlog, .parallel = true},
    {.command = opcmd::Combine, .worker = worker_map_xy(combine_worker), .slots = kCombine, .doc = d::combine, .parallel = true},
};

} // namespace

const OpFamily kFilterFamily = {"filter", kRows, filter_params_reset, nullptr, filter_release};
