// Resolution in the image record is dots per inch as a ratio; files keep
// pixels per metre.
#pragma once

#include "core/image.h"

#include <cstdlib>
#include <numeric>

// Sets both resolutions from pixels per metre (ppm × 127 / 5000 dpi).  A
// value within half a pixel per metre of whole dots per inch is taken as
// those, so that 72 dpi written as 2835 reads back as 72.  Values that are
// not positive or beyond any real device give 0, which the load dispatch
// turns into 72 dpi.
inline void set_resolution_ppm(Image* image, long xppm, long yppm)
{
    auto ratio = [](long ppm, int32_t& num, int32_t& den) {
        if (ppm <= 0 || ppm > 16000000) {
            num = 0;
            den = 1;
            return;
        }
        long whole = (ppm * 127 + 2500) / 5000;
        if (whole > 0 && std::labs(whole * 5000 - ppm * 127) * 2 <= 127) {
            num = static_cast<int32_t>(whole);
            den = 1;
            return;
        }
        long n = ppm * 127, d = 5000, g = std::gcd(n, d);
        num = static_cast<int32_t>(n / g);
        den = static_cast<int32_t>(d / g);
    };
    ratio(xppm, image->hres_num, image->hres_den);
    ratio(yppm, image->vres_num, image->vres_den);
}

// Pixels per metre of a resolution ratio, rounded; 0 when it has none.
inline long resolution_ppm(int32_t num, int32_t den)
{
    if (num <= 0 || den <= 0)
        return 0;
    return static_cast<long>(static_cast<double>(num) / den * 10000.0 / 254.0 + 0.5);
}
