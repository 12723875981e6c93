// The render family's table.
#include "ops/catalogue.h"
#include "ops/family.h"
#include "ops/render/render.h"

#include <cstring>

RenderParams g_render_params;

namespace {

void render_params_reset()
{
    std::memset(&g_render_params, 0, sizeof g_render_params);
}

constexpr RenderParams& p = g_render_params;

constexpr OpSlot kJulia[] = {slot_palette(&p.julia_pal, SLOT_PALETTE, "juliapal", "palette", "Palette")};
constexpr OpSlot kMandelbrot[] = {slot_palette(&p.mand_pal, SLOT_PALETTE, "mandpal", "palette", "Palette")};
constexpr OpSlot kLandscape[] = {slot_palette(&p.land_pal1, SLOT_PALETTE, "landpal1", "palette1", "Palette 1"),
                                 slot_palette(&p.land_pal2, SLOT_PALETTE_B, "landpal2", "palette2", "Palette 2")};
constexpr OpSlot kCrater[] = {slot_profile("crater", SLOT_PROFILE_FIRST, "CRp", 255),
                              slot_profile("ejecta", SLOT_PROFILE_FIRST + 1, "EJp", 255)};

// Rows without a worker declare their parameters; the operations are listed
// but cannot run yet.
constexpr OpRow kRows[] = {
    {.command = opcmd::Julia, .slots = kJulia},
    {.command = opcmd::Mandelbrot, .slots = kMandelbrot},
    {.command = opcmd::Landscape, .slots = kLandscape},
    {.command = opcmd::Crater, .slots = kCrater},
};

} // namespace

const OpFamily kRenderFamily = {"render", kRows, render_params_reset, nullptr, nullptr};
