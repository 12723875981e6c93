#include "ops/ops.h"

#include "core/app.h"
#include "core/settings.h"
#include "ops/catalogue.h"
#include "ops/framework.h"
#include "ops/profiles.h"
#include "ops/tone/tone.h"
#include "ops/family.h"

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

void ops_reset_parameters()
{
    profiles_reset();
    for (const OpFamily* family : op_families())
        if (family->reset)
            family->reset();
}

bool ops_init()
{
    ops_reset_parameters();
    for (const OpFamily* family : op_families())
        if (family->init && !family->init())
            return false;
    return build_catalogue() == 0;
}

void ops_release()
{
    release_catalogue();
    forget_registered_operations();
    for (const OpFamily* family : op_families())
        if (family->release)
            family->release();
}
