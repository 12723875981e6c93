// The pattern family's table.
#include "ops/catalogue.h"
#include "ops/family.h"
#include "ops/pattern/pattern.h"

#include <cstring>

PatternParams g_pattern_params;

namespace {

void pattern_params_reset()
{
    std::memset(&g_pattern_params, 0, sizeof g_pattern_params);
}

constexpr PatternParams& p = g_pattern_params;

constexpr OpSlot kLinearFill[] = {slot_palette(&p.linear_pal, SLOT_PALETTE, "linearpal", "palette", "Palette")};
constexpr OpSlot kConcentric[] = {slot_palette(&p.cen_pal, SLOT_PALETTE, "cenpal", "palette", "Palette")};
constexpr OpSlot kOutline[] = {slot_palette(&p.out_pal, SLOT_PALETTE, "outpal", "palette", "Palette")};

// Rows without a worker declare their parameters; the operations are listed
// but cannot run yet.
constexpr OpRow kRows[] = {
    {.command = opcmd::LinearFill, .slots = kLinearFill},
    {.command = opcmd::Concentric, .slots = kConcentric},
    {.command = opcmd::Outline, .slots = kOutline},
};

} // namespace

const OpFamily kPatternFamily = {"pattern", kRows, pattern_params_reset, nullptr, nullptr};
