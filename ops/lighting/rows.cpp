// The lighting family's table: the Lighting and Plasma Groups.
#include "ops/catalogue.h"
#include "ops/family.h"
#include "ops/lighting/docs.h"
#include "ops/lighting/lighting.h"
#include "ops/profiles.h"

#include <algorithm>
#include <cmath>
#include <cstring>

LightingParams g_lighting_params;

namespace {

void set3(int32_t (&v)[3], int r, int g, int b)
{
    v[0] = r, v[1] = g, v[2] = b;
}

void lighting_params_reset()
{
    LightingParams& p = g_lighting_params;
    std::memset(&p, 0, sizeof p);
    p.star_arms = 6;
    p.star_length = 80;
    p.star_width = 8;
    p.star_turn = 15;
    p.star_intensity = 100;
    p.star_core = 12;
    set3(p.star_rgb, 255, 240, 210);
    p.star_twinkle = 40;
    p.ring_radius = 50;
    p.ring_width = 20;
    set3(p.ring_rgb, 255, 200, 120);
    p.refract_amount = 100;
    p.shine_threshold = 215;
    p.shine_length = 40;
    p.shine_strength = 200;
    p.shine_rays = 4;
    p.bolt_from[0] = 30, p.bolt_from[1] = 0;
    p.bolt_to[0] = 60, p.bolt_to[1] = 100;
    p.bolt_roughness = 50;
    p.bolt_branches = 4;
    p.bolt_thickness = 3;
    p.bolt_glow = 16;
    set3(p.bolt_rgb, 170, 190, 255);
    p.bolt_seed = 1;
    p.aura_threshold = 215;
    p.aura_size = 24;
    p.aura_falloff = 40;
    set3(p.aura_inner, 255, 240, 160);
    set3(p.aura_outer, 255, 60, 0);
    p.aura_strength = 80;
    p.aura_turbulence = 40;
    p.aura_scale = 24;
    p.aura_seed = 1;
    p.fire_seed = 1;
    p.fire_height = 60;
    p.fire_intensity = 100;
    p.fire_cooling = 40;
    p.fire_turbulence = 60;
    p.fire_scale = 40;
    p.fire_tongues = 7;
    p.fire_spread = 50;
    p.fire_smoke = 30;
    p.fire_opacity = 100;
    set3(p.fire_core, 255, 250, 210);
    set3(p.fire_mid, 255, 150, 20);
    set3(p.fire_tip, 190, 30, 0);
    set3(p.fire_smoke_rgb, 50, 45, 45);
    lighting_profiles_reset();
}

constexpr LightingParams& p = g_lighting_params;
constexpr double kWide = 1000000;
constexpr double kSeeds = 2147483647;

#define RGB_SLOTS(var, prefix, label)                                                   \
    slot_range(&var[0], prefix "red", label " red", 0, 255),                           \
        slot_range(&var[1], prefix "green", label " green", 0, 255),                   \
        slot_range(&var[2], prefix "blue", label " blue", 0, 255)

constexpr OpSlot kAsterize[] = {
    slot_int(&p.star_arms, "arms", "Arms", 2, 64, 1, 64),
    slot_int(&p.star_length, "length", "Length (%)", 1, 200, 0, 1000),
    slot_int(&p.star_width, "width", "Width (% of length)", 0, 100, 0, 1000),
    slot_int(&p.star_turn, "turn", "Turn", 0, 360, -3600, 3600, 360),
    slot_int(&p.star_intensity, "intensity", "Intensity (%)", 0, 200, 0, 1000),
    slot_int(&p.star_core, "core", "Core (% of length)", 0, 100, 0, 1000),
    slot_range(&p.star_rgb[0], "red", "Red", 0, 255),
    slot_range(&p.star_rgb[1], "green", "Green", 0, 255),
    slot_range(&p.star_rgb[2], "blue", "Blue", 0, 255),
    slot_range(&p.star_twinkle, "twinkle", "Twinkle (%)", 0, 100),
    slot_profile("asterize", SLOT_PROFILE_FIRST, "Arm", 255),
};
constexpr OpSlot kAnnular[] = {
    slot_int(&p.ring_radius, "radius", "Radius (%)", 0, 200, 0, 1000),
    slot_int(&p.ring_width, "width", "Width (%)", 1, 200, 0, 1000),
    slot_range(&p.ring_rgb[0], "red", "Red", 0, 255),
    slot_range(&p.ring_rgb[1], "green", "Green", 0, 255),
    slot_range(&p.ring_rgb[2], "blue", "Blue", 0, 255),
    slot_profile("annular", SLOT_PROFILE_FIRST, "Shape", 256),
};
// Colour and power curves of hue, saturation and lightness, along the rings
// and round the rays; hue runs to 360.
constexpr OpSlot kRefract[] = {
    slot_range(&p.refract_amount, "amount", "Amount", 0, 100),
    slot_profile("CHprof", SLOT_PROFILE_FIRST + 0, "CcH", 360, "Ring hue"),
    slot_profile("CSprof", SLOT_PROFILE_FIRST + 1, "CcS", 100, "Ring saturation"),
    slot_profile("CLprof", SLOT_PROFILE_FIRST + 2, "CcL", 100, "Ring lightness"),
    slot_profile("CHPprof", SLOT_PROFILE_FIRST + 3, "CpH", 360, "Ring hue power"),
    slot_profile("CSPprof", SLOT_PROFILE_FIRST + 4, "CpS", 100, "Ring saturation power"),
    slot_profile("CLPprof", SLOT_PROFILE_FIRST + 5, "CpL", 100, "Ring lightness power"),
    slot_profile("RHprof", SLOT_PROFILE_FIRST + 6, "RcH", 360, "Ray hue"),
    slot_profile("RSprof", SLOT_PROFILE_FIRST + 7, "RcS", 100, "Ray saturation"),
    slot_profile("RLprof", SLOT_PROFILE_FIRST + 8, "RcL", 100, "Ray lightness"),
    slot_profile("RHPprof", SLOT_PROFILE_FIRST + 9, "RpH", 360, "Ray hue power"),
    slot_profile("RSPprof", SLOT_PROFILE_FIRST + 10, "RpS", 100, "Ray saturation power"),
    slot_profile("RLPprof", SLOT_PROFILE_FIRST + 11, "RpL", 100, "Ray lightness power"),
};
constexpr OpSlot kShine[] = {
    slot_range(&p.shine_threshold, "threshold", "Threshold", 0, 255),
    slot_int(&p.shine_length, "length", "Length", 1, 200, 1, 1000),
    slot_int(&p.shine_strength, "strength", "Strength (%)", 0, 300, 0, 1000),
    slot_range(&p.shine_rays, "rays", "Rays (0 glow, 2, 4, 8)", 0, 8),
};
constexpr OpSlot kLightning[] = {
    slot_range(&p.bolt_from[0], "fromx", "From across (%)", 0, 100),
    slot_range(&p.bolt_from[1], "fromy", "From down (%)", 0, 100),
    slot_range(&p.bolt_to[0], "tox", "To across (%)", 0, 100),
    slot_range(&p.bolt_to[1], "toy", "To down (%)", 0, 100),
    slot_range(&p.bolt_roughness, "roughness", "Roughness", 0, 100),
    slot_int(&p.bolt_branches, "branches", "Branches", 0, 20, 0, 100),
    slot_int(&p.bolt_thickness, "thickness", "Thickness", 1, 20, 1, 100),
    slot_int(&p.bolt_glow, "glow", "Glow", 0, 100, 0, 1000),
    slot_range(&p.bolt_rgb[0], "red", "Red", 0, 255),
    slot_range(&p.bolt_rgb[1], "green", "Green", 0, 255),
    slot_range(&p.bolt_rgb[2], "blue", "Blue", 0, 255),
    slot_int(&p.bolt_seed, "seed", "Seed", 0, 9999, 0, kSeeds),
};
constexpr OpSlot kAura[] = {
    slot_switch(&p.aura_source, "source", "Source (0 brightness, 1 alpha)"),
    slot_range(&p.aura_threshold, "threshold", "Threshold", 0, 255),
    slot_int(&p.aura_size, "size", "Size", 1, 200, 1, 10000),
    slot_range(&p.aura_falloff, "falloff", "Falloff", 1, 100),
    RGB_SLOTS(p.aura_inner, "in", "Inner"),
    RGB_SLOTS(p.aura_outer, "out", "Outer"),
    slot_range(&p.aura_strength, "strength", "Strength (%)", 0, 100),
    slot_range(&p.aura_turbulence, "turbulence", "Turbulence (%)", 0, 100),
    slot_int(&p.aura_scale, "scale", "Scale", 1, 200, 1, 10000),
    slot_int(&p.aura_phase, "phase", "Phase", 0, 360, -kWide, kWide, 360),
    slot_int(&p.aura_seed, "seed", "Seed", 0, 9999, 0, kSeeds),
    slot_switch(&p.aura_inside, "inside", "Inside too"),
};
constexpr OpSlot kFire[] = {
    slot_int(&p.fire_seed, "seed", "Seed", 0, 9999, 0, kSeeds),
    slot_range(&p.fire_height, "height", "Height (%)", 0, 100),
    slot_int(&p.fire_intensity, "intensity", "Intensity (%)", 0, 300, 0, 300),
    slot_range(&p.fire_cooling, "cooling", "Cooling", 0, 100),
    slot_range(&p.fire_wind, "wind", "Wind", -100, 100),
    slot_range(&p.fire_turbulence, "turbulence", "Turbulence", 0, 100),
    slot_int(&p.fire_scale, "scale", "Scale", 2, 400, 1, 10000),
    slot_int(&p.fire_time, "time", "Time (frame)", 0, 1000, -kWide, kWide),
    slot_int(&p.fire_tongues, "tongues", "Tongues", 1, 64, 1, 1000),
    slot_range(&p.fire_spread, "spread", "Spread", 0, 100),
    slot_range(&p.fire_smoke, "smoke", "Smoke", 0, 100),
    slot_range(&p.fire_opacity, "opacity", "Opacity", 0, 100),
    RGB_SLOTS(p.fire_core, "core", "Core"),
    RGB_SLOTS(p.fire_mid, "mid", "Middle"),
    RGB_SLOTS(p.fire_tip, "tip", "Tip"),
    RGB_SLOTS(p.fire_smoke_rgb, "smoke", "Smoke"),
};

#undef RGB_SLOTS

constexpr OpRow kRows[] = {
    {.command = opcmd::Asterize, .worker = worker_place_xy(asterize_worker), .prepare = asterize_prepare,
     .slots = kAsterize, .doc = lighting_docs::asterize,
     .parallel = true},
    {.command = opcmd::Annular, .worker = worker_place_xy(annular_worker), .prepare = annular_prepare,
     .slots = kAnnular, .doc = lighting_docs::annular,
     .parallel = true},
    {.command = opcmd::Refract, .worker = worker_place_xy(refract_worker), .prepare = refract_prepare,
     .slots = kRefract, .doc = lighting_docs::refract,
     .parallel = true},
    {.command = opcmd::Shine, .worker = worker_place_xy(shine_worker), .prepare = shine_prepare,
     .prepass = shine_prepass, .finish = shine_finish, .slots = kShine, .doc = lighting_docs::shine,
     .parallel = true},
    {.command = opcmd::Lightning, .worker = worker_whole(lightning_worker), .slots = kLightning,
     .doc = lighting_docs::lightning},
    {.command = opcmd::Aura, .worker = worker_whole(aura_worker), .slots = kAura, .doc = lighting_docs::aura},
    {.command = opcmd::Fire, .worker = worker_whole(fire_worker), .slots = kFire, .doc = lighting_docs::fire},
};

} // namespace

void lighting_profiles_reset()
{
    const double pi = 3.14159265358979323846;
    auto fill = [](const char* name, auto f) {
        if (int16_t* v = profile_find(name))
            for (int i = 0; i < kProfilePoints; ++i)
                v[i] = static_cast<int16_t>(std::lround(f(i / 200.0)));
    };
    fill("asterize", [](double t) { return 255 * std::pow(1 - t, 1.5); });
    fill("annular", [pi](double t) { return 256 * std::pow(std::sin(pi * t), 2); });
    // A rainbow ring over the outer part of the area; the rays start powerless.
    auto band = [](double t) { return std::exp(-std::pow((t - 0.7) / 0.15, 2)); };
    fill("CHprof", [](double t) { return 300 * std::clamp((t - 0.45) / 0.5, 0.0, 1.0); });
    fill("CSprof", [](double) { return 90; });
    fill("CLprof", [](double) { return 60; });
    fill("CHPprof", [band](double t) { return 360 * band(t); });
    fill("CSPprof", [band](double t) { return 100 * band(t); });
    fill("CLPprof", [band](double t) { return 40 * band(t); });
    fill("RHprof", [](double t) { return 360 * t; });
    fill("RSprof", [](double) { return 100; });
    fill("RLprof", [](double) { return 50; });
    fill("RHPprof", [](double) { return 0; });
    fill("RSPprof", [](double) { return 0; });
    fill("RLPprof", [](double) { return 0; });
}

const OpFamily kLightingFamily = {"lighting", kRows, lighting_params_reset, nullptr, lights_release};
