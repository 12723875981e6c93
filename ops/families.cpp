// The registration list: every operation family of the system.  A new
// family adds its line here and nothing else.
#include "ops/family.h"
#include "ops/filter/filter.h"
#include "ops/geom/geom.h"
#include "ops/lighting/lighting.h"
#include "ops/pattern/pattern.h"
#include "ops/render/render.h"
#include "ops/tone/tone.h"

namespace {

const OpFamily* const kFamilies[] = {
    &kToneFamily, &kGeomFamily, &kFilterFamily, &kPatternFamily, &kRenderFamily, &kLightingFamily,
};

} // namespace

std::span<const OpFamily* const> op_families()
{
    return kFamilies;
}
