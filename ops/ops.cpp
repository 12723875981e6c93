#include "ops/ops.h"

#include "core/app.h"
#include "core/settings.h"
#include "ops/catalogue.h"
#include "ops/framework.h"
#include "ops/profiles.h"
#include "ops/tone/tone.h"
#include "ops/variables.h"

namespace {

// After the preferences are read: the stored current operation must be one
// of the catalogue, and Color Fill starts from the colour kept with them.
long after_preferences(long stored)
{
    ToneParams& p = tone_params();
    for (int c = 0; c < 3; ++c)
        p.fill[c] = static_cast<int32_t>(settings().color_fill[c]);
    long command = find_operation(static_cast<int32_t>(stored)) >= 0 ? stored : (op_count() ? op_at(0)->command : 0);
    set_current_operation(static_cast<int32_t>(command));
    return command;
}

} // namespace

void ops_install()
{
    app_add_subsystem("ops", ops_init, ops_release);
    app_hooks().check_operation = after_preferences;
}

bool ops_init()
{
    profiles_reset();
    op_variables_reset();
    tone_params_reset();
    if (!tone_tables_init())
        return false;
    return build_catalogue() == 0;
}

void ops_release()
{
    release_catalogue();
    tone_tables_release();
}
