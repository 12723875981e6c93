#include "ops/ops.h"

#include "core/app.h"
#include "core/settings.h"
#include "ops/catalogue.h"
#include "ops/profiles.h"
#include "ops/tone/tone.h"
#include "ops/variables.h"

void ops_install()
{
    app_add_subsystem("ops", ops_init, ops_release);
}

bool ops_init()
{
    profiles_reset();
    op_variables_reset();
    tone_params_reset();
    // Color Fill starts from the colour the preferences keep.
    ToneParams& p = tone_params();
    for (int c = 0; c < 3; ++c)
        p.fill[c] = static_cast<int32_t>(settings().color_fill[c]);
    if (!tone_tables_init())
        return false;
    return build_catalogue() == 0;
}

void ops_release()
{
    ToneParams& p = tone_params();
    for (int c = 0; c < 3; ++c)
        settings().color_fill[c] = p.fill[c];
    release_catalogue();
    tone_tables_release();
}
