// The lighting family's table.
#include "ops/catalogue.h"
#include "ops/family.h"
#include "ops/lighting/lighting.h"

namespace {

constexpr OpSlot kAsterize[] = {slot_profile("asterize", SLOT_PROFILE_FIRST, "Arm", 255)};
constexpr OpSlot kAnnular[] = {slot_profile("annular", SLOT_PROFILE_FIRST, "Shape", 256)};
// Colour and position profiles of hue, saturation and lightness; hue runs to 360.
constexpr OpSlot kRefract[] = {
    slot_profile("CHprof", SLOT_PROFILE_FIRST + 0, "CcH", 360),
    slot_profile("CSprof", SLOT_PROFILE_FIRST + 1, "CcS", 100),
    slot_profile("CLprof", SLOT_PROFILE_FIRST + 2, "CcL", 100),
    slot_profile("CHPprof", SLOT_PROFILE_FIRST + 3, "CpH", 360),
    slot_profile("CSPprof", SLOT_PROFILE_FIRST + 4, "CpS", 100),
    slot_profile("CLPprof", SLOT_PROFILE_FIRST + 5, "CpL", 100),
    slot_profile("RHprof", SLOT_PROFILE_FIRST + 6, "RcH", 360),
    slot_profile("RSprof", SLOT_PROFILE_FIRST + 7, "RcS", 100),
    slot_profile("RLprof", SLOT_PROFILE_FIRST + 8, "RcL", 100),
    slot_profile("RHPprof", SLOT_PROFILE_FIRST + 9, "RpH", 360),
    slot_profile("RSPprof", SLOT_PROFILE_FIRST + 10, "RpS", 100),
    slot_profile("RLPprof", SLOT_PROFILE_FIRST + 11, "RpL", 100),
};

// Rows without a worker declare their parameters; the operations are listed
// but cannot run yet.
constexpr OpRow kRows[] = {
    {.command = opcmd::Asterize, .slots = kAsterize},
    {.command = opcmd::Annular, .slots = kAnnular},
    {.command = opcmd::Refract, .slots = kRefract},
};

} // namespace

const OpFamily kLightingFamily = {"lighting", kRows, nullptr, nullptr, nullptr};
