// The geometric family's table: one row per operation with its worker, warp
// worker, mapping, hooks and parameter slots.
//
// The geometric rows run the common resampler with their mapping inlined
// (geom_resample_with); the published mapping is the same function, so the
// common worker reading it (geom_resample) gives the same pixels.
#include "ops/catalogue.h"
#include "ops/family.h"
#include "ops/geom/docs.h"
#include "ops/geom/geom.h"
#include "ops/geom/geom_internal.h"
#include "ops/geom/mappings.h"

#include <cstring>

GeomParams g_geom_params;

namespace {

using namespace geom_map;

void geom_params_reset()
{
    GeomParams& p = g_geom_params;
    std::memset(&p, 0, sizeof p);
    p.dome_strength = 200;
    p.caricature_amount = 80;
    p.swirl_amount = 90;
    p.waves_amp_x = 6, p.waves_length_x = 48;
    p.waves_amp_y = 4, p.waves_length_y = 64, p.waves_phase_y = 90;
    p.radial_amp = 5, p.radial_length = 24, p.radial_damping = 60, p.radial_shade = 48;
    p.turbulence_amount = 6, p.turbulence_size = 60, p.turbulence_detail = 3, p.turbulence_seed = 1;
    p.surface_amount = 10, p.surface_fit = 1;
    p.kaleido_segments = 6, p.kaleido_mirror = 1;
    p.roll_dx = 80, p.roll_dy = 40;
    p.shear_amount = 0.25f, p.shear_wrap = 1;
    p.bend_amount = 30, p.bend_peak = 50;
    p.melt_amount = 15, p.melt_size = 16, p.melt_seed = 1;
    p.flip_horizontal = 1;
    p.rotate_angle = 30;
    const int32_t corners[8] = {20, 10, 80, 10, 100, 100, 0, 100};
    std::memcpy(p.persp, corners, sizeof corners);
}

constexpr GeomParams& p = g_geom_params;
constexpr double kWide = 99999;

constexpr OpSlot kDome[] = {slot_int(&p.dome_strength, "strength", "Strength", 0, 500, -9000, 9000)};
constexpr OpSlot kCaricature[] = {slot_int(&p.caricature_amount, "amount", "Amount", -100, 100, -200, 200)};
constexpr OpSlot kSwirl[] = {slot_int(&p.swirl_amount, "amount", "Amount", -360, 360, -kWide, kWide)};
constexpr OpSlot kWaves[] = {
    slot_int(&p.waves_amp_x, "amp_x", "Sideways amplitude", 0, 50, -1000, 1000),
    slot_int(&p.waves_length_x, "length_x", "Sideways wavelength", 2, 400, 1, kWide),
    slot_int(&p.waves_phase_x, "phase_x", "Sideways phase", 0, 360, -kWide, kWide, 360),
    slot_int(&p.waves_amp_y, "amp_y", "Up-down amplitude", 0, 50, -1000, 1000),
    slot_int(&p.waves_length_y, "length_y", "Up-down wavelength", 2, 400, 1, kWide),
    slot_int(&p.waves_phase_y, "phase_y", "Up-down phase", 0, 360, -kWide, kWide, 360),
    slot_range(&p.waves_shape, "shape", "Shape (0 sine, 1 triangle, 2 square)", 0, 2),
    slot_switch(&p.waves_wrap, "wrap", "Wrap within the area"),
    slot_range(&p.waves_shade, "shade", "Shine on the crests", 0, 255)};
constexpr OpSlot kRadialWave[] = {
    slot_int(&p.radial_amp, "amplitude", "Amplitude", 0, 50, -1000, 1000),
    slot_int(&p.radial_length, "length", "Wavelength", 2, 200, 1, kWide),
    slot_int(&p.radial_phase, "phase", "Phase", 0, 360, -kWide, kWide, 360),
    slot_range(&p.radial_damping, "damping", "Damping towards the rim", 0, 100),
    slot_range(&p.radial_mode, "mode", "Mode (0 ripples, 1 zigzag)", 0, 1),
    slot_range(&p.radial_shade, "shade", "Shine on the crests", 0, 255)};
constexpr OpSlot kTurbulence[] = {
    slot_int(&p.turbulence_amount, "amount", "Amount", 0, 60, -9000, 9000),
    slot_int(&p.turbulence_size, "size", "Eddy size", 4, 400, 1, kWide),
    slot_int(&p.turbulence_detail, "detail", "Detail", 1, 8, 1, 12),
    slot_int(&p.turbulence_seed, "seed", "Seed", 0, 9999, 0, kWide)};
constexpr OpSlot kSurfaceWarp[] = {
    slot_int(&p.surface_amount, "amount", "Amount", -50, 50, -9000, 9000),
    slot_range(&p.surface_method, "method", "Method (0 relief, 1 displacement map)", 0, 1),
    slot_switch(&p.surface_fit, "fit", "Stretch the source over the area"),
    slot_range(&p.surface_shade, "shade", "Light on the relief", 0, 255)};
constexpr OpSlot kKaleidoscope[] = {
    slot_int(&p.kaleido_segments, "segments", "Segments", 1, 24, 1, 360),
    slot_int(&p.kaleido_angle, "angle", "Angle", 0, 360, -kWide, kWide, 360),
    slot_switch(&p.kaleido_mirror, "mirror", "Mirrored")};
constexpr OpSlot kRoll[] = {slot_range(&p.roll_dx, "dx", "Horizontal roll", -9000, 9000),
                            slot_range(&p.roll_dy, "dy", "Vertical roll", -9000, 9000),
                            slot_switch(&p.roll_switch, "area", "Roll within the area")};
constexpr OpSlot kShear[] = {slot_float(&p.shear_amount, "amount", "Amount", -1, 1, -100, 100),
                             slot_range(&p.shear_direction, "direction", "Direction", 0, 3),
                             slot_switch(&p.shear_wrap, "wrap", "Wrap"),
                             slot_switch(&p.shear_switch, "clear", "Clear what comes from outside")};
constexpr OpSlot kBend[] = {slot_int(&p.bend_amount, "amount", "Amount", -100, 100, -1000, 1000),
                            slot_range(&p.bend_direction, "direction", "Direction (0 rows, 1 columns)", 0, 1),
                            slot_range(&p.bend_peak, "peak", "Deepest at (percent across)", 0, 100),
                            slot_switch(&p.bend_clear, "clear", "Clear what comes from outside")};
constexpr OpSlot kMirror[] = {slot_range(&p.mirror_side, "side", "Side", 0, 4)};
constexpr OpSlot kMelt[] = {slot_int(&p.melt_amount, "amount", "Amount", 0, 100, 0, 1000),
                            slot_int(&p.melt_size, "size", "Drip size", 1, 200, 1, 9999),
                            slot_int(&p.melt_seed, "seed", "Seed", 0, 9999, 0, kWide),
                            slot_range(&p.melt_direction, "direction", "Direction (0 down, 1 up, 2 left, 3 right)", 0, 3)};
constexpr OpSlot kFlip[] = {slot_switch(&p.flip_horizontal, "horizontal", "Left to right"),
                            slot_switch(&p.flip_vertical, "vertical", "Top to bottom")};
constexpr OpSlot kTurn90[] = {slot_switch(&p.turn_direction, "direction", "Direction (0 clockwise, 1 anticlockwise)")};
constexpr OpSlot kRotate[] = {slot_float(&p.rotate_angle, "angle", "Angle (degrees clockwise)", -180, 180, -kWide, kWide),
                              slot_switch(&p.rotate_grow, "grow", "Grow the image to hold it")};
constexpr OpSlot kPerspective[] = {slot_int(&p.persp[0], "tl_x", "Top left across", 0, 100, -1000, 1000),
                                   slot_int(&p.persp[1], "tl_y", "Top left down", 0, 100, -1000, 1000),
                                   slot_int(&p.persp[2], "tr_x", "Top right across", 0, 100, -1000, 1000),
                                   slot_int(&p.persp[3], "tr_y", "Top right down", 0, 100, -1000, 1000),
                                   slot_int(&p.persp[4], "br_x", "Bottom right across", 0, 100, -1000, 1000),
                                   slot_int(&p.persp[5], "br_y", "Bottom right down", 0, 100, -1000, 1000),
                                   slot_int(&p.persp[6], "bl_x", "Bottom left across", 0, 100, -1000, 1000),
                                   slot_int(&p.persp[7], "bl_y", "Bottom left down", 0, 100, -1000, 1000)};

// One geometric row: the resampler and the warp resampler with the mapping
// inlined, and the mapping itself.  The designed mappings (Snap) are snapped
// to 1/65536 of a pixel; Roll, Shear and Swirl are used as they stand.
template <GeomMap M, bool Snap>
constexpr OpRow geometric(int32_t command, OpPrepare prepare, std::span<const OpSlot> slots, const char* doc)
{
    return {.command = command,
            .worker = worker_place_xy(geom_resample_with<M, Snap>),
            .warp = worker_place_xy(geom_warp_with<M, Snap>),
            .mapping = geom_mapping_of<M, Snap>,
            .prepare = prepare,
            .slots = slots,
            .doc = doc,
            // Each pixel reads the capture (or the source) and the state the
            // prepare hook left, and writes itself alone.
            .parallel = true};
}

// Roll and Mirror land on whole pixels: the same resampler without fractions.
template <GeomIntMap I, GeomMap M>
constexpr OpRow whole_pixels(int32_t command, OpPrepare prepare, std::span<const OpSlot> slots, const char* doc)
{
    OpRow row = geometric<M, false>(command, prepare, slots, doc);
    row.worker = worker_place_xy(geom_resample_int<I>);
    return row;
}

constexpr OpRow kRows[] = {
    geometric<map_dome, true>(opcmd::Dome, dome_prepare, kDome, geom_docs::dome),
    geometric<map_caricature, true>(opcmd::Caricature, caricature_prepare, kCaricature, geom_docs::caricature),
    geometric<map_swirl, false>(opcmd::Swirl, swirl_prepare, kSwirl, geom_docs::swirl),
    geometric<map_waves, true>(opcmd::Waves, waves_prepare, kWaves, geom_docs::waves),
    geometric<map_radial_wave, true>(opcmd::RadialWave, radial_wave_prepare, kRadialWave, geom_docs::radial_wave),
    geometric<map_turbulence, true>(opcmd::Turbulence, turbulence_prepare, kTurbulence, geom_docs::turbulence),
    geometric<map_surface_warp, true>(opcmd::SurfaceWarp, surface_warp_prepare, kSurfaceWarp, geom_docs::surface_warp),
    geometric<map_kaleidoscope, true>(opcmd::Kaleidoscope, kaleidoscope_prepare, kKaleidoscope, geom_docs::kaleidoscope),
    whole_pixels<roll_int, map_roll>(opcmd::Roll, roll_prepare, kRoll, geom_docs::roll),
    geometric<map_shear, false>(opcmd::Shear, shear_prepare, kShear, geom_docs::shear),
    geometric<map_bend, true>(opcmd::Bend, bend_prepare, kBend, geom_docs::bend),
    whole_pixels<mirror_int, map_mirror>(opcmd::Mirror, area_prepare, kMirror, geom_docs::mirror),
    geometric<map_polar, true>(opcmd::PolarRec, area_prepare, {}, geom_docs::polar_rec),
    geometric<map_wonk, true>(opcmd::Wonk, area_prepare, {}, geom_docs::wonk),
    geometric<map_circe, true>(opcmd::Circe, circe_prepare, {}, geom_docs::circe),
    geometric<map_melt, true>(opcmd::Melt, melt_prepare, kMelt, geom_docs::melt),
    // Whole image: the workers read the applier's capture of the image.
    {.command = opcmd::Flip, .worker = worker_whole(flip_worker), .warp = worker_whole(flip_warp),
     .prepare = flip_prepare, .slots = kFlip, .doc = geom_docs::flip},
    {.command = opcmd::Turn90, .worker = worker_whole(turn90_worker), .warp = worker_whole(turn90_warp),
     .finish = turn90_finish, .slots = kTurn90, .doc = geom_docs::turn90},
    {.command = opcmd::Rotate, .worker = worker_whole(rotate_worker), .prepare = rotate_prepare,
     .finish = rotate_finish, .slots = kRotate, .doc = geom_docs::rotate},
    {.command = opcmd::Perspective, .worker = worker_whole(perspective_worker), .prepare = perspective_prepare,
     .slots = kPerspective, .doc = geom_docs::perspective},
};

} // namespace

const OpFamily kGeomFamily = {"geom", kRows, geom_params_reset, nullptr, nullptr};
