#include "ops/variables.h"

#include "ops/catalogue.h"
#include "ops/profiles.h"

#include <cstring>

namespace {
OpVariables g_vars;
}

OpVariables& op_variables()
{
    return g_vars;
}

void op_variables_reset()
{
    std::memset(&g_vars, 0, sizeof g_vars);
    g_vars.swirl_amount = 90;
    g_vars.dome_strength = 100;
    g_vars.roll_dx = 10;
    g_vars.shear_amount = 0.25f;
    g_vars.convolve_kernel[4] = 1.0f;
}

int declared_slots(int32_t command, OpSlot* out, int max)
{
    OpVariables& v = g_vars;
    int n = 0;
    auto add = [&](const OpSlot& s) {
        if (n < max)
            out[n++] = s;
    };
    auto profile = [&](const char* file_name, const char* table_name, int16_t kind, int32_t high) {
        add(slot_profile(profile_find(table_name), kind, file_name, high, table_name, file_name));
    };
    switch (command) {
    case 3111:  // Asterize
        profile("Arm", "asterize", 5, 255);
        break;
    case 3112:  // Annular
        profile("Shape", "annular", 5, 256);
        break;
    case 3113: {  // Refract: colour and position profiles of hue, saturation and lightness
        static const char* const files[12] = {"CcH", "CcS", "CcL", "CpH", "CpS", "CpL",
                                              "RcH", "RcS", "RcL", "RpH", "RpS", "RpL"};
        static const char* const tables[12] = {"CHprof", "CSprof", "CLprof", "CHPprof", "CSPprof", "CLPprof",
                                               "RHprof", "RSprof", "RLprof", "RHPprof", "RSPprof", "RLPprof"};
        for (int i = 0; i < 12; ++i)
            profile(files[i], tables[i], static_cast<int16_t>(SLOT_PROFILE_FIRST + i), i % 3 == 0 ? 360 : 100);
        break;
    }
    case 3585:  // Crater
        profile("CRp", "crater", 5, 255);
        profile("EJp", "ejecta", 6, 255);
        break;
    case opcmd::Roll:
        add(slot_range(&v.roll_dx, "dx", "Horizontal roll", -9000, 9000));
        add(slot_range(&v.roll_dy, "dy", "Vertical roll", -9000, 9000));
        add(slot_switch(&v.roll_switch, "switch", "Switch"));
        break;
    case opcmd::Shear:
        add(slot_float(&v.shear_amount, "amount", "Amount", -1, 1, -100, 100));
        add(slot_range(&v.shear_direction, "direction", "Direction", 0, 3));
        add(slot_switch(&v.shear_wrap, "wrap", "Wrap"));
        add(slot_switch(&v.shear_switch, "switch", "Switch"));
        break;
    case opcmd::Swirl:
        add(slot_int(&v.swirl_amount, "amount", "Amount", -360, 360, -99999, 99999));
        break;
    case 3131:  // Dome
        add(slot_int(&v.dome_strength, "strength", "Strength", 0, 500, -9000, 9000));
        break;
    case opcmd::Convolve: {
        static const char* const keys[9] = {"k1", "k2", "k3", "k4", "k5", "k6", "k7", "k8", "k9"};
        for (int i = 0; i < 9; ++i)
            add(slot_float(&v.convolve_kernel[i], keys[i], keys[i], -10, 10, -1000, 1000));
        break;
    }
    case 3146:  // Linear Fill
        add(slot_palette(&v.linear_pal, SLOT_PALETTE, "linearpal", "palette", "Palette"));
        break;
    case 3147:  // Concentric
        add(slot_palette(&v.cen_pal, SLOT_PALETTE, "cenpal", "palette", "Palette"));
        break;
    case 3149:  // Outline
        add(slot_palette(&v.out_pal, SLOT_PALETTE, "outpal", "palette", "Palette"));
        break;
    case 3580:  // Julia
        add(slot_palette(&v.julia_pal, SLOT_PALETTE, "juliapal", "palette", "Palette"));
        break;
    case 3581:  // Mandelbrot
        add(slot_palette(&v.mand_pal, SLOT_PALETTE, "mandpal", "palette", "Palette"));
        break;
    case 3571:  // Landscape
        add(slot_palette(&v.land_pal1, SLOT_PALETTE, "landpal1", "palette1", "Palette 1"));
        add(slot_palette(&v.land_pal2, SLOT_PALETTE_B, "landpal2", "palette2", "Palette 2"));
        break;
    default:
        break;
    }
    return n;
}
