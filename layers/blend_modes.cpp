#include "layers/blend_modes.h"

#include <cctype>
#include <string>

namespace {

// The "Mode" list, in the order it is shown.
const BlendMode kModes[kBlendModeCount] = {
    {"Absolute Difference", 5, true},
    {"Accumulate", 76, true},
    {"Add", 1, true},
    {"Add as Black", 58, false},
    {"Add as Cyan", 55, false},
    {"Add as Magenta", 56, false},
    {"Add as Yellow", 57, false},
    {"Add on Gray", 2, true},
    {"Add Faint", 77, true},
    {"And", 59, false},
    {"Average 2/3", 73, true},
    {"Average 1/2", 74, true},
    {"Average Low", 75, true},
    {"Behind", 70, false},
    {"Blue Channel", 19, false},
    {"Brighten", 7, false},
    {"Brightness Adjust", 27, true},
    {"Burn", 89, false},
    {"Burn (linear)", 72, false},
    {"Channel Maximum", 20, false},
    {"Channel Maximums", 85, false},
    {"Channel Minimum", 50, false},
    {"Channel Minimums", 86, false},
    {"Color", 9, false},
    {"Contrast Adjust", 28, true},
    {"Darken", 8, false},
    {"Difference", 4, true},
    {"Difference to Gray", 84, true},
    {"Dissolve", 53, false},
    {"Divide", 69, false},
    {"Dodge", 68, false},
    {"Dye", 24, false},
    {"Exclude", 66, true},
    {"Express", 71, false},
    {"Green Channel", 18, false},
    {"Grey Mask", 32, true},
    {"Hard Light", 23, false},
    {"Hard Mix", 92, false},
    {"Histogram", 78, true},
    {"Hot Light", 88, false},
    {"Hue", 67, false},
    {"Hue Adjust", 29, false},
    {"Hue Key (hard)", 42, false},
    {"Hue Key (soft)", 44, true},
    {"Hue/Saturation Key (hard)", 46, false},
    {"Hue/Saturation Key (soft)", 48, true},
    {"Inverted Grey Mask", 33, true},
    {"Inverted Hue Key (hard)", 43, false},
    {"Inverted Hue Key (soft)", 45, true},
    {"Inverted Hue/Saturation Key (hard)", 47, false},
    {"Inverted Hue/Saturation Key (soft)", 49, true},
    {"Inverted Luma Key (hard)", 35, false},
    {"Inverted Luma Key (soft)", 37, true},
    {"Inverted Mask", 15, true},
    {"Inverted RGB Key (hard)", 39, false},
    {"Inverted RGB Key (soft)", 41, true},
    {"Inverted RGB Key (hard tol)", 82, true},
    {"Inverted RGB Key (soft tol)", 80, true},
    {"Lighten", 31, false},
    {"Linear light", 91, false},
    {"Luma", 65, false},
    {"Luma Key (hard)", 34, false},
    {"Luma Key (soft)", 36, true},
    {"Mask", 6, true},
    {"Maximum", 26, false},
    {"Minimum", 25, false},
    {"Monochrome", 14, false},
    {"Mono Negative", 13, false},
    {"Multiply", 3, false},
    {"Multiply & Add", 83, false},
    {"Nand", 62, false},
    {"Nor", 63, false},
    {"Normal", 0, false},
    {"Or", 60, false},
    {"Overlay", 22, false},
    {"Pin light", 90, false},
    {"Red Channel", 17, false},
    {"RGB Key (hard)", 38, false},
    {"RGB Key (soft)", 40, true},
    {"RGB Key (hard tol)", 81, true},
    {"RGB Key (soft tol)", 79, true},
    {"RGB Negative", 12, false},
    {"Saturation", 51, false},
    {"Saturated Color", 10, false},
    {"Saturation Adjust", 30, true},
    {"Screen", 21, false},
    {"Soft Dissolve", 54, false},
    {"Soft Light", 52, false},
    {"Value", 11, false},
    {"Vivid Light", 87, false},
    {"Warp", 16, false},
    {"Xor", 61, false},
    {"Xnor", 64, false},
};

// Lower case without blanks, '_' and '-', so that names typed in a shell match.
std::string folded(const char* text)
{
    std::string out;
    for (const char* p = text; *p; ++p) {
        if (*p == ' ' || *p == '_' || *p == '-')
            continue;
        out += static_cast<char>(std::tolower(static_cast<unsigned char>(*p)));
    }
    return out;
}

} // namespace

const BlendMode* blend_modes()
{
    return kModes;
}

const BlendMode* blend_mode_by_code(int code)
{
    for (const BlendMode& m : kModes)
        if (m.code == code)
            return &m;
    return nullptr;
}

const BlendMode* blend_mode_by_name(const char* name)
{
    if (!name)
        return nullptr;
    std::string want = folded(name);
    for (const BlendMode& m : kModes)
        if (folded(m.name) == want)
            return &m;
    return nullptr;
}

const char* blend_mode_name(int code)
{
    const BlendMode* m = blend_mode_by_code(code);
    return m ? m->name : "unknown";
}
