// The start of the fuzz targets that work on operations: default settings
// and parameters, the catalogue built, no message boxes.
#pragma once

#include "core/messages.h"
#include "core/settings.h"
#include "ops/catalogue.h"
#include "ops/ops.h"

inline int fuzz_catalogue_start()
{
    settings_reset(settings(), ".");
    ops_reset_parameters();
    build_catalogue();
    messages_set_quiet(true);
    return 0;
}
