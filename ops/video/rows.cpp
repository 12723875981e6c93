// The video family's table.
#include "ops/catalogue.h"
#include "ops/collage/canvas.h"
#include "ops/family.h"
#include "ops/video/docs.h"
#include "ops/video/video.h"

#include <cstring>

uint32_t ntsc_worker(uint32_t px, int x, int y);
int frame_rates_prepare(Image* t, int);
int frame_rates_worker(Image* t, uint8_t* mask);
int makefields_worker(Image* t, uint8_t* mask);
int film_grain_worker(Image* t, uint8_t* mask);
int scanline_worker(Image* t, uint8_t* mask);
int jitter_worker(Image* t, uint8_t* mask);
int flicker_worker(Image* t, uint8_t* mask);
int stabilize_worker(Image* t, uint8_t* mask);

namespace {

void video_reset()
{
    VideoParams& p = g_video_params;
    std::memset(&p, 0, sizeof p);
    p.ntsc_limit = 110;
    p.rate_from = 30;
    p.rate_to = 24;
    p.rate_motion = 8;
    p.field_mode = 1;
    p.grain_amount = 30;
    p.grain_size = 1;
    p.grain_seed = 1;
    p.grain_midtones = 1;
    p.scan_spacing = 2;
    p.scan_dark = 40;
    p.jit_amount = 12;
    p.jit_rows = 30;
    p.jit_band = 4;
    p.jit_seed = 1;
    p.jit_split = 2;
    p.jit_noise = 5;
    p.jit_frame = 1;
    p.flick_amount = 20;
    p.flick_seed = 1;
    p.flick_hold = 1;
    p.stab_radius = 16;
    p.stab_horizontal = p.stab_vertical = 1;
    p.stab_levels = 2;
    p.stab_strength = 100;
}

VideoParams& p = g_video_params;

constexpr OpSlot kNtsc[] = {
    slot_range(&p.ntsc_limit, "limit", "Highest level (IRE)", 100, 130),
    slot_range(&p.ntsc_mode, "mode", "Lower (0 saturation, 1 brightness)", 0, 1),
};
constexpr OpSlot kFrameRates[] = {
    slot_int(&p.rate_from, "from", "From (frames/s)", 1, 60, 1, 1000),
    slot_int(&p.rate_to, "to", "To (frames/s)", 1, 60, 1, 1000),
    slot_int(&p.rate_motion, "motion", "Motion (pixels per frame)", -64, 64, -10000, 10000),
};
constexpr OpSlot kMakefields[] = {
    slot_range(&p.field_which, "field", "Field kept (0 even, 1 odd)", 0, 1),
    slot_range(&p.field_mode, "mode", "Other rows (0 doubled, 1 interpolated, 2 black)", 0, 2),
};
constexpr OpSlot kGrain[] = {
    slot_range(&p.grain_amount, "amount", "Amount (%)", 0, 100),
    slot_int(&p.grain_size, "size", "Grain size", 1, 8, 1, 100),
    slot_int(&p.grain_seed, "seed", "Seed", 0, 1000, 0, 2147483647),
    slot_switch(&p.grain_colour, "colour", "Colour grain"),
    slot_switch(&p.grain_midtones, "midtones", "Strongest in the midtones"),
};
constexpr OpSlot kScanline[] = {
    slot_int(&p.scan_spacing, "spacing", "Every n-th row", 2, 16, 2, 1000),
    slot_range(&p.scan_dark, "dark", "Darkness (%)", 0, 100),
};
constexpr OpSlot kJitter[] = {
    slot_int(&p.jit_amount, "amount", "Shift (pixels)", 0, 100, 0, 10000),
    slot_range(&p.jit_rows, "rows", "Bands moved (%)", 0, 100),
    slot_int(&p.jit_band, "band", "Band height", 1, 32, 1, 10000),
    slot_int(&p.jit_seed, "seed", "Seed", 0, 1000, 0, 2147483647),
    slot_int(&p.jit_roll, "roll", "Roll (rows)", -100, 100, -40000, 40000),
    slot_int(&p.jit_split, "split", "Colour split (pixels)", 0, 16, 0, 1000),
    slot_range(&p.jit_noise, "noise", "Snow (%)", 0, 100),
    slot_switch(&p.jit_wrap, "wrap", "Wrap round"),
    slot_switch(&p.jit_frame, "perframe", "New pattern every frame"),
    slot_switch(&p.jit_vertical, "vertical", "Columns instead of rows"),
};
constexpr OpSlot kFlicker[] = {
    slot_range(&p.flick_amount, "amount", "Amount (%)", 0, 100),
    slot_int(&p.flick_seed, "seed", "Seed", 0, 1000, 0, 2147483647),
    slot_int(&p.flick_hold, "hold", "Frames each level holds", 1, 25, 1, 10000),
    slot_switch(&p.flick_bar, "bar", "Rolling bar"),
};
constexpr OpSlot kStabilize[] = {
    slot_int(&p.stab_radius, "radius", "Search reach (pixels)", 0, 64, 0, 1000),
    slot_int(&p.stab_region[0], "x", "Patch x", 0, 1000, 0, 40000),
    slot_int(&p.stab_region[1], "y", "Patch y", 0, 1000, 0, 40000),
    slot_int(&p.stab_region[2], "width", "Patch width (0 all)", 0, 1000, 0, 40000),
    slot_int(&p.stab_region[3], "height", "Patch height (0 all)", 0, 1000, 0, 40000),
    slot_range(&p.stab_edge, "edge", "Uncovered (0 edge, 1 transparent, 2 black)", 0, 2),
    slot_switch(&p.stab_horizontal, "horizontal", "Horizontal"),
    slot_switch(&p.stab_vertical, "vertical", "Vertical"),
    slot_range(&p.stab_levels, "levels", "Coarse levels", 0, 4),
    slot_range(&p.stab_strength, "strength", "Strength (%)", 0, 100),
};

constexpr OpRow kRows[] = {
    {.command = opcmd::NTSCFilter, .worker = worker_map_xy(ntsc_worker), .slots = kNtsc, .doc = video_docs::ntsc,
     .parallel = true},
    {.command = opcmd::FrameRates, .worker = worker_whole(canvas::guarded<frame_rates_worker>), .prepare = frame_rates_prepare,
     .slots = kFrameRates, .doc = video_docs::frame_rates},
    {.command = opcmd::Makefields, .worker = worker_whole(canvas::guarded<makefields_worker>), .slots = kMakefields,
     .doc = video_docs::makefields},
    {.command = opcmd::FilmGrain, .worker = worker_whole(canvas::guarded<film_grain_worker>), .slots = kGrain,
     .doc = video_docs::film_grain},
    {.command = opcmd::Scanline, .worker = worker_whole(canvas::guarded<scanline_worker>), .slots = kScanline,
     .doc = video_docs::scanline},
    {.command = opcmd::Jitter, .worker = worker_whole(canvas::guarded<jitter_worker>), .slots = kJitter, .doc = video_docs::jitter},
    {.command = opcmd::Flicker, .worker = worker_whole(canvas::guarded<flicker_worker>), .slots = kFlicker, .doc = video_docs::flicker},
    {.command = opcmd::Stabilize, .worker = worker_whole(canvas::guarded<stabilize_worker>), .slots = kStabilize,
     .doc = video_docs::stabilize},
};

} // namespace

const OpFamily kVideoFamily = {"video", kRows, video_reset, nullptr, nullptr};
