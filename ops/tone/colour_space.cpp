#include "ops/tone/colour_space.h"

#include "core/bytes.h"

#include <algorithm>

namespace {

int16_t byte16(int v)
{
    return static_cast<int16_t>(clamp255(v));
}

} // namespace

void rgb_to_hls(HlsColour& c)
{
    const int r = c.r, g = c.g, b = c.b;
    const int mx = std::max({r, g, b});
    const int mn = std::min({r, g, b});
    const int lightness = (mx + mn) * 100 / 510;
    c.lightness = static_cast<int16_t>(lightness);
    if (mx == mn) {
        c.saturation = 0;
        c.hue = 0;
        return;
    }
    const int delta = mx - mn;
    c.saturation = static_cast<int16_t>(lightness < 50 ? div_small(delta * 100, mx + mn) : div_small(delta * 100, 510 - mx - mn));
    int hue;
    if (mx == r)
        hue = div_signed((g - b) * 60, delta);
    else if (mx == g)
        hue = div_signed((b - r) * 60, delta) + 120;
    else
        hue = div_signed((r - g) * 60, delta) + 240;
    if (hue < 0)
        hue += 360;
    if (hue > 360)
        hue -= 360;
    c.hue = static_cast<int16_t>(hue);
}

void hls_to_rgb(HlsColour& c)
{
    const int l = c.lightness, s = c.saturation;
    const int m2 = l > 50 ? l + s - l * s / 100 : (s + 100) * l / 100;
    const int M2 = m2 * 255 / 100;
    if (M2 <= 0) {
        c.r = c.g = c.b = 0;
        return;
    }
    const int M1 = l * 510 / 100 - M2;
    int hue = c.hue;
    const int sector = hue / 60;
    int within = hue % 60;
    if (within < 0)
        within += 60;
    const int t = (M2 - M1) * within / 60;
    const int up = M1 + t, down = M2 - t;
    int r, g, b;
    switch (sector) {
    case 1: r = down, g = M2, b = M1; break;
    case 2: r = M1, g = M2, b = up; break;
    case 3: r = M1, g = down, b = M2; break;
    case 4: r = up, g = M1, b = M2; break;
    case 5: r = M2, g = M1, b = down; break;
    default: r = M2, g = up, b = M1; break;  // 0 and 6
    }
    c.r = byte16(r);
    c.g = byte16(g);
    c.b = byte16(b);
}
