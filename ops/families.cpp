// The registration list: every operation family of the system.  A new
// family adds its line here and nothing else.
#include "ops/alpha/alpha.h"
#include "ops/art/art.h"
#include "ops/collage/collage.h"
#include "ops/family.h"
#include "ops/filter/filter.h"
#include "ops/geom/geom.h"
#include "ops/lighting/lighting.h"
#include "ops/pattern/pattern.h"
#include "ops/render/render.h"
#include "ops/standard/standard.h"
#include "ops/tone/tone.h"
#include "ops/video/video.h"

namespace {

const OpFamily* const kFamilies[] = {
    &kToneFamily, &kGeomFamily, &kFilterFamily, &kPatternFamily, &kRenderFamily, &kLightingFamily,
    &kCollageFamily, &kAlphaFamily, &kStandardFamily, &kVideoFamily, &kArtFamily,
};

} // namespace

std::span<const OpFamily* const> op_families()
{
    return kFamilies;
}
