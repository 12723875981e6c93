// The render operations (fractals, landscape, craters and the rest): their
// parameters and table.
#pragma once

#include "ops/operation.h"

struct RenderParams {
    OpPalette julia_pal;  // "juliapal"
    OpPalette mand_pal;   // "mandpal"
    OpPalette land_pal1;  // "landpal1"
    OpPalette land_pal2;  // "landpal2"
};

extern RenderParams g_render_params;

struct OpFamily;
extern const OpFamily kRenderFamily;
