// The blend modes of layers: the fixed table of 93 entries in the order the
// "Mode" list shows them, each with the code that layers, files and scripts
// store and whether the mode uses the layer's factor.
#pragma once

#include <cstddef>

struct BlendMode {
    const char* name;  // display name
    int code;          // the number stored in layers and files
    bool uses_factor;  // the "Factor" field is shown for the mode
};

constexpr int kBlendModeCount = 93;

// Codes the compositor and the layer commands refer to by name.
enum BlendCode : int {
    MODE_NORMAL = 0,
    MODE_ADD = 1,
    MODE_ADD_ON_GRAY = 2,
    MODE_MULTIPLY = 3,
    MODE_DIFFERENCE = 4,
    MODE_ABS_DIFFERENCE = 5,
    MODE_MASK = 6,
    MODE_BRIGHTEN = 7,
    MODE_DARKEN = 8,
    MODE_COLOR = 9,
    MODE_SATURATED_COLOR = 10,
    MODE_VALUE = 11,
    MODE_RGB_NEGATIVE = 12,
    MODE_MONO_NEGATIVE = 13,
    MODE_MONOCHROME = 14,
    MODE_INVERTED_MASK = 15,
    MODE_WARP = 16,
    MODE_RED_CHANNEL = 17,
    MODE_GREEN_CHANNEL = 18,
    MODE_BLUE_CHANNEL = 19,
    MODE_CHANNEL_MAXIMUM = 20,
    MODE_SCREEN = 21,
    MODE_OVERLAY = 22,
    MODE_HARD_LIGHT = 23,
    MODE_DYE = 24,
    MODE_MINIMUM = 25,
    MODE_MAXIMUM = 26,
    MODE_BRIGHTNESS_ADJUST = 27,
    MODE_CONTRAST_ADJUST = 28,
    MODE_HUE_ADJUST = 29,
    MODE_SATURATION_ADJUST = 30,
    MODE_LIGHTEN = 31,
    MODE_GREY_MASK = 32,
    MODE_INVERTED_GREY_MASK = 33,
    MODE_LUMA_KEY_HARD = 34,
    MODE_INV_LUMA_KEY_HARD = 35,
    MODE_LUMA_KEY_SOFT = 36,
    MODE_INV_LUMA_KEY_SOFT = 37,
    MODE_RGB_KEY_HARD = 38,
    MODE_INV_RGB_KEY_HARD = 39,
    MODE_RGB_KEY_SOFT = 40,
    MODE_INV_RGB_KEY_SOFT = 41,
    MODE_HUE_KEY_HARD = 42,
    MODE_INV_HUE_KEY_HARD = 43,
    MODE_HUE_KEY_SOFT = 44,
    MODE_INV_HUE_KEY_SOFT = 45,
    MODE_HS_KEY_HARD = 46,
    MODE_INV_HS_KEY_HARD = 47,
    MODE_HS_KEY_SOFT = 48,
    MODE_INV_HS_KEY_SOFT = 49,
    MODE_CHANNEL_MINIMUM = 50,
    MODE_SATURATION = 51,
    MODE_SOFT_LIGHT = 52,
    MODE_DISSOLVE = 53,
    MODE_SOFT_DISSOLVE = 54,
    MODE_ADD_AS_CYAN = 55,
    MODE_ADD_AS_MAGENTA = 56,
    MODE_ADD_AS_YELLOW = 57,
    MODE_ADD_AS_BLACK = 58,
    MODE_AND = 59,
    MODE_OR = 60,
    MODE_XOR = 61,
    MODE_NAND = 62,
    MODE_NOR = 63,
    MODE_XNOR = 64,
    MODE_LUMA = 65,
    MODE_EXCLUDE = 66,
    MODE_HUE = 67,
    MODE_DODGE = 68,
    MODE_DIVIDE = 69,
    MODE_BEHIND = 70,
    MODE_EXPRESS = 71,
    MODE_BURN_LINEAR = 72,
    MODE_AVERAGE_2_3 = 73,
    MODE_AVERAGE_1_2 = 74,
    MODE_AVERAGE_LOW = 75,
    MODE_ACCUMULATE = 76,
    MODE_ADD_FAINT = 77,
    MODE_HISTOGRAM = 78,
    MODE_RGB_KEY_SOFT_TOL = 79,
    MODE_INV_RGB_KEY_SOFT_TOL = 80,
    MODE_RGB_KEY_HARD_TOL = 81,
    MODE_INV_RGB_KEY_HARD_TOL = 82,
    MODE_MULTIPLY_ADD = 83,
    MODE_DIFFERENCE_TO_GRAY = 84,
    MODE_CHANNEL_MAXIMUMS = 85,
    MODE_CHANNEL_MINIMUMS = 86,
    MODE_VIVID_LIGHT = 87,
    MODE_HOT_LIGHT = 88,
    MODE_BURN = 89,
    MODE_PIN_LIGHT = 90,
    MODE_LINEAR_LIGHT = 91,
    MODE_HARD_MIX = 92,
};

// The table in "Mode" list order.
const BlendMode* blend_modes();
// The entry of a code, or null for a code no mode has.
const BlendMode* blend_mode_by_code(int code);
// The entry whose display name matches, ignoring case, blanks, '_' and '-'
// ("hard light", "Hard_Light", "HARDLIGHT"); null when none does.
const BlendMode* blend_mode_by_name(const char* name);
// The display name of a code, or "unknown".
const char* blend_mode_name(int code);
