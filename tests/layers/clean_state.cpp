#include "../clean_state.h"
#include "layers/layer_manage.h"

namespace {

// The effect settings as the program starts with them.
void reset_layer_settings()
{
    static const LayerSettings built = layer_settings();
    layer_settings() = built;
}

} // namespace

GLIMVQ_CLEAN_STATE_FOR_EVERY_TEST(reset_layer_settings);
