#include "../clean_state.h"

GLIMVQ_CLEAN_STATE_FOR_EVERY_TEST();
