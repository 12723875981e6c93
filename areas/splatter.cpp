#include "areas/splatter.h"

#include "areas/area_mask.h"
#include "core/image.h"
#include "core/log.h"
#include "core/settings.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace {

struct Place {
    double dx, dy, scale;
};

struct SplatterLayout {
    std::vector<Place> places;
    double cx = 0, cy = 0;  // the selection's centre, where it was drawn
};
SplatterLayout g_layout;

// splitmix64: the same layout from the same seed on every machine.
struct Random {
    uint64_t state;
    uint64_t next()
    {
        uint64_t z = (state += 0x9e3779b97f4a7c15ull);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
        return z ^ (z >> 31);
    }
    double unit() { return static_cast<double>(next() >> 11) / 9007199254740992.0; }  // [0, 1)
};

} // namespace

SplatterSettings splatter_settings()
{
    const long* s = settings().splatter;
    return {std::clamp(s[0], 1L, 10000L), s[1], s[2] != 0, std::clamp(s[3], 0L, 1000L), s[4] != 0,
            std::clamp(s[5], 0L, 100L)};
}

int splatter_prepare(Image* target)
{
    g_layout = SplatterLayout{};
    area_placement() = AreaPlacement{};
    const SplatterSettings s = splatter_settings();
    double box[4];
    if (!s.on || !target)
        return 1;
    if (!area_selection_box(target, box)) {
        log_printf("Splatter: no area to scatter, applied once\n");
        return 1;
    }
    Random rnd{static_cast<uint64_t>(s.seed)};
    long count = s.count;
    if (s.vary_count)
        count = 1 + static_cast<long>(rnd.unit() * s.count);
    g_layout.cx = (box[0] + box[2]) / 2;
    g_layout.cy = (box[1] + box[3]) / 2;
    const double w = target->width, h = target->height, spread = s.spread / 100.0;
    for (long i = 0; i < count; ++i) {
        Place p;
        double x = w / 2 + (rnd.unit() - 0.5) * spread * w;
        double y = h / 2 + (rnd.unit() - 0.5) * spread * h;
        // Whole pixels: a crisp area stays crisp where it lands.
        p.dx = std::round(x - g_layout.cx);
        p.dy = std::round(y - g_layout.cy);
        p.scale = std::max(0.05, 1 + (rnd.unit() * 2 - 1) * s.vary_size / 100.0);
        g_layout.places.push_back(p);
    }
    // A single copy is still moved.  The framework repeats (and so places
    // and ends) only for two or more; this copy is placed here, for the
    // mask that Immediate Painting builds next, and ends with that build.
    if (count == 1 && settings().work_method == 0) {
        splatter_place(0);
        area_placement().once = true;
    }
    return static_cast<int>(count);
}

void splatter_place(int index)
{
    AreaPlacement& p = area_placement();
    if (index < 0 || index >= static_cast<int>(g_layout.places.size())) {
        p = AreaPlacement{};
        return;
    }
    const Place& q = g_layout.places[static_cast<size_t>(index)];
    p.active = true;
    p.cx = g_layout.cx;
    p.cy = g_layout.cy;
    p.dx = q.dx;
    p.dy = q.dy;
    p.scale = q.scale;
}

void splatter_end()
{
    area_placement() = AreaPlacement{};
    g_layout = SplatterLayout{};
}
