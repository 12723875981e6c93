// The geometric family's table.
#include "ops/catalogue.h"
#include "ops/family.h"
#include "ops/geom/geom.h"

#include <cstring>

GeomParams g_geom_params;

namespace {

void geom_params_reset()
{
    GeomParams& p = g_geom_params;
    std::memset(&p, 0, sizeof p);
    p.roll_dx = 10;
    p.shear_amount = 0.25f;
    p.swirl_amount = 90;
    p.dome_strength = 100;
}

constexpr GeomParams& p = g_geom_params;

constexpr OpSlot kRoll[] = {slot_range(&p.roll_dx, "dx", "Horizontal roll", -9000, 9000),
                            slot_range(&p.roll_dy, "dy", "Vertical roll", -9000, 9000),
                            slot_switch(&p.roll_switch, "switch", "Switch")};
constexpr OpSlot kShear[] = {slot_float(&p.shear_amount, "amount", "Amount", -1, 1, -100, 100),
                             slot_range(&p.shear_direction, "direction", "Direction", 0, 3),
                             slot_switch(&p.shear_wrap, "wrap", "Wrap"), slot_switch(&p.shear_switch, "switch", "Switch")};
constexpr OpSlot kSwirl[] = {slot_int(&p.swirl_amount, "amount", "Amount", -360, 360, -99999, 99999)};
constexpr OpSlot kDome[] = {slot_int(&p.dome_strength, "strength", "Strength", 0, 500, -9000, 9000)};

// Rows without a worker declare their parameters; the operations are listed
// but cannot run yet.
constexpr OpRow kRows[] = {
    {.command = opcmd::Roll, .slots = kRoll},
    {.command = opcmd::Shear, .slots = kShear},
    {.command = opcmd::Swirl, .slots = kSwirl},
    {.command = opcmd::Dome, .slots = kDome},
};

} // namespace

const OpFamily kGeomFamily = {"geom", kRows, geom_params_reset, nullptr, nullptr};
