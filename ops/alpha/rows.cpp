// The alpha family's table.
#include "ops/alpha/alpha.h"
#include "ops/alpha/docs.h"
#include "ops/catalogue.h"
#include "ops/collage/canvas.h"
#include "ops/family.h"

#include <cstring>

int alpha_mark_prepare(Image* t, int);
int reshape_alpha_prepare(Image* t, int);
int make_alpha_worker(Image* t, uint8_t* mask);
void key_to_alpha_worker(uint8_t* px, int weight);
void invert_alpha_worker(uint8_t* px, int weight);
void harden_alpha_worker(uint8_t* px, int weight);
int soften_alpha_prepare(Image* t, int);
int shave_alpha_prepare(Image* t, int);
void plane_worker(uint8_t* px, int x, int y, int weight);
int promote_rgb_worker(Image* t, uint8_t* mask);
int sample_a_worker(Image* t, uint8_t* mask);
int clip_alpha_worker(Image* t, uint8_t* mask);
int make_area_worker(Image* t, uint8_t* mask);
void alpha_release();

namespace {

void alpha_reset()
{
    AlphaParams& p = g_alpha_params;
    std::memset(&p, 0, sizeof p);
    p.make_high = 255;
    p.key_rgb[1] = 255;  // green screen
    p.key_tol = 80;
    p.key_soft = 60;
    p.hard_threshold = 128;
    p.hard_soft = 32;
    p.soft_radius = 4;
    p.shave_amount = 2;
    p.promote_rgb[0] = p.promote_rgb[1] = p.promote_rgb[2] = 255;
    p.promote_opaque = 1;
    p.clip_low = 16;
    p.clip_high = 240;
    p.area_threshold = 128;
}

AlphaParams& p = g_alpha_params;

constexpr OpSlot kMakeAlpha[] = {
    slot_range(&p.make_channel, "channel", "From (0 brightness, 1 red, 2 green, 3 blue, 4 alpha)", 0, 4),
    slot_switch(&p.make_invert, "invert", "Invert"),
    slot_range(&p.make_low, "low", "Clear at or below", 0, 255),
    slot_range(&p.make_high, "high", "Opaque at or above", 0, 255),
};
constexpr OpSlot kKeyToAlpha[] = {
    slot_range(&p.key_rgb[0], "red", "Key red", 0, 255),
    slot_range(&p.key_rgb[1], "green", "Key green", 0, 255),
    slot_range(&p.key_rgb[2], "blue", "Key blue", 0, 255),
    slot_int(&p.key_tol, "tolerance", "Tolerance", 0, 200, 0, 442),
    slot_int(&p.key_soft, "soft", "Softness", 0, 200, 0, 442),
    slot_switch(&p.key_invert, "invert", "Invert"),
    slot_switch(&p.key_hue, "hue", "Compare hues"),
    slot_switch(&p.key_keep, "keep", "Keep the old alpha"),
};
constexpr OpSlot kHarden[] = {
    slot_range(&p.hard_threshold, "threshold", "Threshold", 0, 255),
    slot_range(&p.hard_soft, "soft", "Softness", 0, 255),
};
constexpr OpSlot kSoften[] = {slot_int(&p.soft_radius, "radius", "Radius", 0, 50, 0, 1000)};
constexpr OpSlot kShave[] = {slot_int(&p.shave_amount, "amount", "Pixels", 0, 50, 0, 1000)};
constexpr OpSlot kPromote[] = {
    slot_range(&p.promote_rgb[0], "red", "Background red", 0, 255),
    slot_range(&p.promote_rgb[1], "green", "Background green", 0, 255),
    slot_range(&p.promote_rgb[2], "blue", "Background blue", 0, 255),
    slot_range(&p.promote_mode, "mode", "Mode (0 flatten, 1 spread colours)", 0, 1),
    slot_switch(&p.promote_opaque, "opaque", "Opaque result"),
};
constexpr OpSlot kSampleA[] = {
    slot_range(&p.sample_mode, "mode", "Show (0 alpha, 1 colour times alpha, 2 over checks)", 0, 2),
};
constexpr OpSlot kClipAlpha[] = {
    slot_range(&p.clip_low, "low", "Clear below", 0, 255),
    slot_range(&p.clip_high, "high", "Opaque above", 0, 255),
    slot_switch(&p.clip_stretch, "stretch", "Stretch between"),
};
constexpr OpSlot kMakeArea[] = {slot_range(&p.area_threshold, "threshold", "Alpha at least", 1, 255)};

constexpr OpRow kRows[] = {
    {.command = opcmd::MakeAlpha, .worker = worker_whole(canvas::guarded<make_alpha_worker>), .slots = kMakeAlpha,
     .doc = alpha_docs::make_alpha},
    {.command = opcmd::KeyToAlpha, .worker = worker_place(key_to_alpha_worker), .prepare = alpha_mark_prepare,
     .slots = kKeyToAlpha, .doc = alpha_docs::key_to_alpha, .parallel = true},
    {.command = opcmd::InvertAlpha, .worker = worker_place(invert_alpha_worker), .prepare = alpha_mark_prepare,
     .doc = alpha_docs::invert_alpha, .parallel = true},
    {.command = opcmd::HardenAlpha, .worker = worker_place(harden_alpha_worker), .prepare = reshape_alpha_prepare, .slots = kHarden,
     .doc = alpha_docs::harden_alpha, .parallel = true},
    {.command = opcmd::SoftenAlpha, .worker = worker_place_xy(plane_worker), .prepare = soften_alpha_prepare,
     .slots = kSoften, .doc = alpha_docs::soften_alpha, .parallel = true},
    {.command = opcmd::ShaveAlpha, .worker = worker_place_xy(plane_worker), .prepare = shave_alpha_prepare,
     .slots = kShave, .doc = alpha_docs::shave_alpha, .parallel = true},
    {.command = opcmd::PromoteRGB, .worker = worker_whole(canvas::guarded<promote_rgb_worker>), .slots = kPromote,
     .doc = alpha_docs::promote_rgb},
    {.command = opcmd::SampleA, .worker = worker_whole(canvas::guarded<sample_a_worker>), .slots = kSampleA,
     .doc = alpha_docs::sample_a},
    {.command = opcmd::ClipAlpha, .worker = worker_whole(canvas::guarded<clip_alpha_worker>), .prepare = reshape_alpha_prepare,
     .slots = kClipAlpha,
     .doc = alpha_docs::clip_alpha},
    {.command = opcmd::MakeArea, .worker = worker_whole(canvas::guarded<make_area_worker>), .slots = kMakeArea,
     .doc = alpha_docs::make_area},
};

} // namespace

const OpFamily kAlphaFamily = {"alpha", kRows, alpha_reset, nullptr, alpha_release};
