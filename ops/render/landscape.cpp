// Landscape and Flat Map: one fractal terrain, seen in perspective and from
// above.
//
// The terrain (a 512 x 512 height map that wraps round) is kept between runs
// for the seed and roughness it was made with, so that a sequence of frames
// or a Flat Map after a Landscape does not make it again; terrain_release
// gives it back.  Flat Map's prepare hook takes it and the palette into the
// prepared state; its worker only reads them.
#include "core/image.h"
#include "ops/framework.h"
#include "ops/render/gen.h"
#include "ops/render/render.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

namespace {

constexpr int kMapBits = 9;
constexpr int kMap = 1 << kMapBits;  // 512
constexpr int kMapMask = kMap - 1;

struct Terrain {
    bool made = false;
    int32_t seed = 0, roughness = 0;
    std::vector<float> h;  // kMap x kMap, 0..1
    float at(int x, int y) const { return h[static_cast<size_t>(y & kMapMask) * kMap + static_cast<size_t>(x & kMapMask)]; }
    double sample(double x, double y) const
    {
        const double fx = std::floor(x), fy = std::floor(y);
        const int ix = static_cast<int>(fx), iy = static_cast<int>(fy);
        const double u = x - fx, v = y - fy;
        const double a = at(ix, iy), b = at(ix + 1, iy), c = at(ix, iy + 1), d = at(ix + 1, iy + 1);
        return a + (b - a) * u + (c - a) * v + (a - b - c + d) * u * v;
    }
} g_terrain;

// Diamond-square on a wrapping grid: every level halves the step and scales
// the random displacement by the roughness.
const Terrain& terrain(int32_t seed, int32_t roughness)
{
    Terrain& t = g_terrain;
    roughness = std::clamp(roughness, 0, 100);
    if (t.made && t.seed == seed && t.roughness == roughness)
        return t;
    t.h.assign(static_cast<size_t>(kMap) * kMap, 0.0f);
    gen::Rng rng(static_cast<uint64_t>(static_cast<uint32_t>(seed)) * 0x9E3779B1ull + 17);
    auto cell = [&](int x, int y) -> float& {
        return t.h[static_cast<size_t>(y & kMapMask) * kMap + static_cast<size_t>(x & kMapMask)];
    };
    const double gain = 0.35 + 0.4 * roughness / 100.0;
    double amp = 1;
    for (int step = kMap; step > 1; step /= 2, amp *= gain) {
        const int half = step / 2;
        // Squares: the middle of each square from its four corners.
        for (int y = 0; y < kMap; y += step)
            for (int x = 0; x < kMap; x += step) {
                const double mean = (cell(x, y) + cell(x + step, y) + cell(x, y + step) + cell(x + step, y + step)) / 4;
                cell(x + half, y + half) = static_cast<float>(mean + amp * rng.range(-1, 1));
            }
        // Diamonds: the middle of each edge from its four neighbours.
        for (int y = 0; y < kMap; y += half)
            for (int x = (y / half % 2 == 0) ? half : 0; x < kMap; x += step) {
                const double mean = (cell(x - half, y) + cell(x + half, y) + cell(x, y - half) + cell(x, y + half)) / 4;
                cell(x, y) = static_cast<float>(mean + amp * rng.range(-1, 1));
            }
    }
    const auto [lo, hi] = std::minmax_element(t.h.begin(), t.h.end());
    const float low = *lo, span = std::max(1e-6f, *hi - *lo);
    for (float& v : t.h)
        v = (v - low) / span;
    t.made = true;
    t.seed = seed;
    t.roughness = roughness;
    return t;
}

constexpr int kDeepWater[3] = {12, 40, 80};
constexpr int kShallowWater[3] = {60, 120, 170};

struct FlatMap {
    gen::Area area;
    const Terrain* terrain;
    double water, shading, contour;
    bool alpha;
    std::unique_ptr<gen::Ramp> ground;
} g_map;

// Colour of the ground at height h (0..1) over water level w.
void ground_colour(const gen::Ramp& ramp, double h, double w, int c[3])
{
    if (h < w) {
        const double depth = w > 0 ? (w - h) / w : 0;
        for (int k = 0; k < 3; ++k)
            c[k] = gen::clamp255(kShallowWater[k] + (kDeepWater[k] - kShallowWater[k]) * std::sqrt(depth));
        return;
    }
    ramp.at(w < 1 ? (h - w) / (1 - w) : 0, c);
}

} // namespace

void terrain_release()
{
    g_terrain = Terrain();
    g_map.ground.reset();
}

// ---- Landscape ---------------------------------------------------------------

int landscape_worker(Image* target, uint8_t* mask)
{
    const RenderParams& rp = render_params();
    const gen::Area a = gen::area();
    const bool alpha = op_state().alpha_mode;
    const Terrain& t = terrain(rp.land_seed, rp.land_roughness);
    const gen::Ramp ground(rp.land_pal1);
    const gen::Ramp sky(rp.land_pal2);
    const int w = a.width(), h = a.height();

    const double relief = std::clamp(rp.land_relief, 1, 1000) / 100.0;
    const double top = 120 * relief;                      // the highest peak, in map units
    const double water = std::clamp(rp.land_water, 0, 100) / 100.0;
    const double water_level = water * top;
    // Broader land: the same map stretched under the camera.
    const double breadth = std::clamp(rp.land_breadth, 1, 10000) / 100.0;
    auto land = [&](double x, double y) { return t.sample(x / breadth, y / breadth); };
    // The camera stands where it is put (at the south edge by default),
    // looking along its heading, well above the ground unless told otherwise.
    const double camx = std::clamp(rp.land_cam[0], -100000, 100000), camy = std::clamp(rp.land_cam[1], -100000, 100000);
    const double heading = std::clamp(rp.land_heading, -36000, 36000) * 3.14159265358979323846 / 180;
    const double fwd_x = std::sin(heading), fwd_y = -std::cos(heading);
    const double right_x = std::cos(heading), right_y = std::sin(heading);
    double ground_under = 0;
    for (int dy = -4; dy <= 4; ++dy)
        for (int dx = -4; dx <= 4; ++dx)
            ground_under = std::max(ground_under, land(camx + dx, camy + dy) * top);
    const double camh = rp.land_cam_height > 0 ? std::max(ground_under, water_level) + std::min(rp.land_cam_height, 10000)
                                               : std::max(ground_under, water_level) + 25 + 0.25 * top;
    const double horizon = h * (std::clamp(rp.land_horizon, 0, 100) / 100.0);
    const double half_fov = std::clamp(rp.land_fov, 1, 170) / 2.0;
    const double focal = (w / 2.0) / std::tan(half_fov * 3.14159265358979323846 / 180);
    const double far = 720 * (std::clamp(rp.land_distance, 1, 1000) / 100.0);
    const double haze_amount = std::clamp(rp.land_haze, 0, 100) / 100.0;
    const double haze_start = std::clamp(rp.land_haze_start, 0, 99) / 100.0;
    const double reflect = std::clamp(rp.land_reflect, 0, 100) / 100.0;
    const double depth_share = std::clamp(rp.land_depth, 0, 100) / 100.0;
    const double cliff = std::clamp(rp.land_cliff, 0, 10000) / 100.0;
    const double cliff_dark = std::clamp(rp.land_cliff_dark, 0, 100) / 100.0;
    const double grain = std::clamp(rp.land_grain, 0, 100) / 100.0;
    const double grain_size = std::clamp(rp.land_grain_size, 1, 512);
    const uint64_t grain_seed = static_cast<uint64_t>(static_cast<uint32_t>(rp.land_grain_seed));
    const double snow = std::clamp(rp.land_snow, 0, 100) / 100.0;
    int horizon_c[3];
    sky.at(0, horizon_c);

    std::vector<uint8_t> picture(static_cast<size_t>(w) * h * 3);
    auto paint = [&](int col, int from, int to, const int c[3]) {
        for (int y = std::max(0, from); y < std::min(h, to); ++y) {
            uint8_t* q = picture.data() + (static_cast<size_t>(y) * w + col) * 3;
            q[0] = static_cast<uint8_t>(c[0]), q[1] = static_cast<uint8_t>(c[1]), q[2] = static_cast<uint8_t>(c[2]);
        }
    };
    for (int col = 0; col < w; ++col) {
        if ((col & 15) == 0 && gen::progress(col, w))
            return 1;
        const double spread = (col + 0.5 - w / 2.0) / focal;
        const double ray_x = right_x * spread + fwd_x, ray_y = right_y * spread + fwd_y;
        int lowest = h;  // rows from here down are drawn
        for (double z = 1, dz = 0.4; z < far && lowest > 0; z += dz, dz *= 1.012) {
            const double mx = camx + ray_x * z, my = camy + ray_y * z;
            const double g = land(mx, my) * top;
            const double surface = std::max(g, water_level);
            const int sy = static_cast<int>(std::floor(horizon + (camh - surface) * focal / z));
            if (sy >= lowest)
                continue;
            int c[3];
            if (g < water_level) {
                // Water mirrors the sky more the flatter it is seen.
                const double depth = water_level > 0 ? (water_level - g) / water_level : 0;
                const double mirror = gen::clamp01(reflect + z / far);
                for (int k = 0; k < 3; ++k) {
                    const double body =
                        kShallowWater[k] + (kDeepWater[k] - kShallowWater[k]) * std::sqrt(depth) * depth_share;
                    c[k] = gen::clamp255(body + (horizon_c[k] - body) * mirror);
                }
            } else {
                ground.at(water < 1 ? (g / top - water) / (1 - water) : 0, c);
                if (snow < 1 && g / top > snow) {
                    const double cover = gen::clamp01((g / top - snow) / 0.05);
                    for (int k = 0; k < 3; ++k)
                        c[k] = gen::clamp255(c[k] + (std::clamp(rp.land_snow_rgb[k], 0, 255) - c[k]) * cover);
                }
                if (cliff > 0) {
                    // Bare rock where the ground is steeper than the cliff slope.
                    const double sx = (land(mx + 1, my) - land(mx - 1, my)) / 2 * top;
                    const double sy2 = (land(mx, my + 1) - land(mx, my - 1)) / 2 * top;
                    const double rock = gen::clamp01((std::hypot(sx, sy2) - cliff) / (0.25 * cliff + 0.01));
                    const double grey = (c[0] + c[1] + c[2]) / 3.0 * (1 - cliff_dark);
                    for (int k = 0; k < 3; ++k)
                        c[k] = gen::clamp255(c[k] + (grey - c[k]) * rock);
                }
                if (grain > 0) {
                    const double n = gen::noise(grain_seed, mx / grain_size, my / grain_size);
                    for (int k = 0; k < 3; ++k)
                        c[k] = gen::clamp255(c[k] * (1 + 0.5 * grain * n));
                }
                // Light from the left and behind the viewer.
                const double slope = (land(mx - 1, my) - land(mx + 1, my)) * 0.8 +
                                     (land(mx, my + 1) - land(mx, my - 1)) * 0.5;
                const double light = std::clamp(0.9 + slope * top * 0.12, 0.35, 1.4);
                for (int k = 0; k < 3; ++k)
                    c[k] = gen::clamp255(c[k] * light);
            }
            // Haze towards the horizon's colour with distance.
            double seen = z / far;
            if (haze_start > 0)
                seen = std::max(0.0, (seen - haze_start) / (1 - haze_start));
            const double haze = std::pow(seen, 1.5) * haze_amount;
            for (int k = 0; k < 3; ++k)
                c[k] = gen::clamp255(c[k] + (horizon_c[k] - c[k]) * haze);
            paint(col, sy, lowest, c);
            lowest = std::max(0, sy);
        }
        // The sky above whatever the ground left open.
        for (int y = 0; y < lowest; ++y) {
            int c[3];
            sky.at(gen::clamp01((horizon - y) / std::max(1.0, horizon)), c);
            paint(col, y, y + 1, c);
        }
    }
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int m = mask[target->rows[a.y0 + y] + static_cast<uint32_t>(a.x0 + x)];
            const uint8_t* q = picture.data() + (static_cast<size_t>(y) * w + x) * 3;
            gen::put(target->pixel(a.x0 + x, a.y0 + y), q[0], q[1], q[2], m, alpha);
        }
    return 0;
}

// ---- Flat Map -------------------------------------------------------------------

int flat_map_prepare(Image*, int)
{
    const RenderParams& rp = render_params();
    FlatMap& f = g_map;
    f.area = gen::area();
    f.alpha = op_state().alpha_mode;
    f.terrain = &terrain(rp.land_seed, rp.land_roughness);
    f.water = std::clamp(rp.land_water, 0, 100) / 100.0;
    f.shading = std::clamp(rp.map_shading, 0, 100) / 100.0 * std::clamp(rp.land_relief, 0, 1000) / 100.0;
    f.contour = std::clamp(rp.map_contours, 0, 100) / 100.0;
    f.ground = std::make_unique<gen::Ramp>(rp.land_pal1);
    return 0;
}

void flat_map_worker(uint8_t* p, int x, int y, int m)
{
    const FlatMap& f = g_map;
    // The whole map is stretched over the area.
    const double sx = kMap / static_cast<double>(f.area.width()), sy = kMap / static_cast<double>(f.area.height());
    const double mx = (x - f.area.x0 + 0.5) * sx, my = (y - f.area.y0 + 0.5) * sy;
    const Terrain& t = *f.terrain;
    const double h = t.sample(mx, my);
    int c[3];
    ground_colour(*f.ground, h, f.water, c);
    // Light from the top left; water lies flat.
    const double gx = (t.sample(mx + 1, my) - t.sample(mx - 1, my)) / 2;
    const double gy = (t.sample(mx, my + 1) - t.sample(mx, my - 1)) / 2;
    if (h >= f.water && f.shading > 0) {
        const double light = std::clamp(1 - (gx + gy) * 40 * f.shading, 0.3, 1.6);
        for (int k = 0; k < 3; ++k)
            c[k] = gen::clamp255(c[k] * light);
    }
    if (f.contour > 0 && h >= f.water) {
        // A line where the height passes a multiple of the interval, one pixel wide.
        const double level = h / f.contour;
        const double grad = std::hypot(gx * sx, gy * sy) / f.contour;
        const double d = std::fabs(level - std::round(level));
        if (grad > 0 && d / grad < 0.5)
            for (int k = 0; k < 3; ++k)
                c[k] = c[k] * 3 / 5;
    }
    gen::put(p, c, m, f.alpha);
}
