// The art family's table (Pseudo Color, False Color and Solarize belong to
// the tone family).
#include "ops/art/art.h"
#include "ops/art/docs.h"
#include "ops/catalogue.h"
#include "ops/collage/canvas.h"
#include "ops/family.h"

#include <cstring>

int gouache_prepare(Image* t, int);
int gouache_prepass(Image* t, uint8_t* pixels);
void gouache_worker(uint8_t* px, int x, int y, int weight);
int toonize_worker(Image* t, uint8_t* mask);
int watercolor_worker(Image* t, uint8_t* mask);
int oil_prepare(Image* t, int);
uint32_t oil_worker(uint32_t px, int x, int y);
int blue_print_prepare(Image* t, int);
void blue_print_worker(uint8_t* px, int x, int y, int weight);
void art_release();

namespace {

void art_reset()
{
    ArtParams& p = g_art_params;
    std::memset(&p, 0, sizeof p);
    p.gouache_size = 3;
    p.gouache_passes = 1;
    p.water_size = 4;
    p.oil_radius = 3;
    p.oil_levels = 256;
    p.blue_strength = 100;
    p.blue_grid = 32;
}

ArtParams& p = g_art_params;

constexpr OpSlot kGouache[] = {
    slot_int(&p.gouache_size, "size", "Brush size", 1, 12, 1, 50),
    slot_range(&p.gouache_passes, "passes", "Passes", 1, 8),
};
constexpr OpSlot kWatercolor[] = {slot_int(&p.water_size, "size", "Wash size", 1, 16, 1, 50)};
constexpr OpSlot kOil[] = {
    slot_int(&p.oil_radius, "radius", "Radius", 1, 10, 1, 25),
    slot_range(&p.oil_levels, "levels", "Brightness levels", 2, 256),
};
constexpr OpSlot kBluePrint[] = {
    slot_int(&p.blue_strength, "strength", "Line strength (%)", 0, 400, 0, 400),
    slot_int(&p.blue_grid, "grid", "Grid spacing (0 none)", 0, 100, 0, 10000),
};

constexpr OpRow kRows[] = {
    {.command = opcmd::Gouache, .worker = worker_place_xy(gouache_worker), .prepare = gouache_prepare,
     .prepass = gouache_prepass, .slots = kGouache, .doc = art_docs::gouache},
    {.command = opcmd::Toonize, .worker = worker_whole(canvas::guarded<toonize_worker>), .doc = art_docs::toonize},
    {.command = opcmd::Watercolor, .worker = worker_whole(canvas::guarded<watercolor_worker>), .slots = kWatercolor,
     .doc = art_docs::watercolor},
    {.command = opcmd::OilPainting, .worker = worker_map_xy(oil_worker), .prepare = oil_prepare, .slots = kOil,
     .doc = art_docs::oil_painting, .parallel = true},
    {.command = opcmd::BluePrint, .worker = worker_place_xy(blue_print_worker), .prepare = canvas::guarded<blue_print_prepare>,
     .slots = kBluePrint, .doc = art_docs::blue_print, .parallel = true},
};

} // namespace

const OpFamily kArtFamily = {"art", kRows, art_reset, nullptr, art_release};
