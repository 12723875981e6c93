// The filter family's table.
#include "ops/catalogue.h"
#include "ops/family.h"
#include "ops/filter/filter.h"

#include <cstring>

FilterParams g_filter_params;

namespace {

void filter_params_reset()
{
    FilterParams& p = g_filter_params;
    std::memset(&p, 0, sizeof p);
    p.convolve_kernel[4] = 1.0f;
}

constexpr FilterParams& p = g_filter_params;

constexpr OpSlot kConvolve[] = {
    slot_float(&p.convolve_kernel[0], "k1", "k1", -10, 10, -1000, 1000),
    slot_float(&p.convolve_kernel[1], "k2", "k2", -10, 10, -1000, 1000),
    slot_float(&p.convolve_kernel[2], "k3", "k3", -10, 10, -1000, 1000),
    slot_float(&p.convolve_kernel[3], "k4", "k4", -10, 10, -1000, 1000),
    slot_float(&p.convolve_kernel[4], "k5", "k5", -10, 10, -1000, 1000),
    slot_float(&p.convolve_kernel[5], "k6", "k6", -10, 10, -1000, 1000),
    slot_float(&p.convolve_kernel[6], "k7", "k7", -10, 10, -1000, 1000),
    slot_float(&p.convolve_kernel[7], "k8", "k8", -10, 10, -1000, 1000),
    slot_float(&p.convolve_kernel[8], "k9", "k9", -10, 10, -1000, 1000),
};

// Rows without a worker declare their parameters; the operations are listed
// but cannot run yet.
constexpr OpRow kRows[] = {
    {.command = opcmd::Convolve, .slots = kConvolve},
};

} // namespace

const OpFamily kFilterFamily = {"filter", kRows, filter_params_reset, nullptr, nullptr};
