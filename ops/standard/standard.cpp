// Measure, ForceDyn, ChannelMap, SwapRGBA, Sample and Build Palette.
#include "ops/standard/standard.h"

#include "core/image.h"
#include "ops/appliers.h"
#include "core/log.h"
#include "core/messages.h"
#include "core/platform.h"
#include "core/settings.h"
#include "ops/catalogue.h"
#include "ops/collage/canvas.h"
#include "ops/framework.h"
#include "ops/render/gen.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <vector>

StandardParams g_standard_params;

namespace {

StandardParams& P()
{
    return g_standard_params;
}

MeasureResult g_measure;
uint8_t g_sample[4];

inline uint8_t& mask_of(Image* t, uint8_t* mask, int x, int y)
{
    return mask[t->rows[y] + static_cast<uint32_t>(x)];
}

} // namespace

const MeasureResult& measure_result()
{
    return g_measure;
}

const uint8_t* sample_result()
{
    return g_sample;
}

// ---- Measure -------------------------------------------------------------------

int measure_worker(Image* t, uint8_t* mask)
{
    const gen::Area a = gen::area();
    MeasureResult r{};
    r.x0 = a.x0, r.y0 = a.y0, r.x1 = a.x1, r.y1 = a.y1;
    double sum[4] = {}, sq[4] = {};
    for (int k = 0; k < 4; ++k)
        r.min[k] = 255, r.max[k] = 0;
    for (int y = a.y0; y <= a.y1; ++y)
        for (int x = a.x0; x <= a.x1; ++x) {
            if (!mask_of(t, mask, x, y))
                continue;
            const uint8_t* p = t->pixel(x, y);
            ++r.pixels;
            for (int k = 0; k < 4; ++k) {
                sum[k] += p[k];
                sq[k] += static_cast<double>(p[k]) * p[k];
                r.min[k] = std::min<double>(r.min[k], p[k]);
                r.max[k] = std::max<double>(r.max[k], p[k]);
            }
        }
    for (int k = 0; k < 4; ++k) {
        if (r.pixels == 0) {
            r.min[k] = r.max[k] = 0;
            continue;
        }
        r.mean[k] = sum[k] / r.pixels;
        r.deviation[k] = std::sqrt(std::max(0.0, sq[k] / r.pixels - r.mean[k] * r.mean[k]));
    }
    r.length = std::hypot(a.x1 - a.x0, a.y1 - a.y0);
    r.angle = std::atan2(-(a.y1 - a.y0), a.x1 - a.x0) * 180 / M_PI;
    g_measure = r;
    char text[512];
    std::snprintf(text, sizeof text,
                  "Area %ld,%ld - %ld,%ld: %ld x %ld pixels, %ld selected\n"
                  "Diagonal %.2f pixels at %.2f degrees\n"
                  "Mean R %.2f G %.2f B %.2f A %.2f\n"
                  "Minimum R %.0f G %.0f B %.0f A %.0f\n"
                  "Maximum R %.0f G %.0f B %.0f A %.0f\n"
                  "Deviation R %.2f G %.2f B %.2f A %.2f",
                  r.x0, r.y0, r.x1, r.y1, r.x1 - r.x0 + 1, r.y1 - r.y0 + 1, r.pixels, r.length, r.angle, r.mean[0],
                  r.mean[1], r.mean[2], r.mean[3], r.min[0], r.min[1], r.min[2], r.min[3], r.max[0], r.max[1], r.max[2],
                  r.max[3], r.deviation[0], r.deviation[1], r.deviation[2], r.deviation[3]);
    log_printf("Measure:\n%s\n", text);
    if (!op_state().generating)
        ui::platform().message_box("Measure", text, ui::BoxIcon::Information);
    return 0;
}

// ---- ForceDyn: every channel stretched to the full range --------------------------

int forcedyn_worker(Image* t, uint8_t* mask)
{
    const gen::Area a = gen::area();
    const bool alpha = canvas::alpha_mode();
    int lo[3] = {255, 255, 255}, hi[3] = {0, 0, 0};
    for (int y = a.y0; y <= a.y1; ++y)
        for (int x = a.x0; x <= a.x1; ++x) {
            if (!mask_of(t, mask, x, y))
                continue;
            const uint8_t* p = t->pixel(x, y);
            for (int k = 0; k < 3; ++k) {
                const int v = alpha ? p[3] : p[k];
                lo[k] = std::min(lo[k], v);
                hi[k] = std::max(hi[k], v);
            }
        }
    uint8_t table[3][256];
    bool change = false;
    for (int k = 0; k < 3; ++k)
        for (int v = 0; v < 256; ++v) {
            table[k][v] = hi[k] > lo[k] ? canvas::clamp8((v - lo[k]) * 255 / (hi[k] - lo[k])) : static_cast<uint8_t>(v);
            change |= table[k][v] != v && v >= lo[k] && v <= hi[k];
        }
    if (!change)
        return 0;
    for (int y = a.y0; y <= a.y1; ++y)
        for (int x = a.x0; x <= a.x1; ++x) {
            const int m = mask_of(t, mask, x, y);
            if (!m)
                continue;
            uint8_t* p = t->pixel(x, y);
            uint8_t n[4];
            if (alpha) {
                n[0] = n[1] = n[2] = table[0][p[3]];
            } else {
                for (int k = 0; k < 3; ++k)
                    n[k] = table[k][p[k]];
            }
            n[3] = p[3];
            canvas::put(p, n, m, alpha);
        }
    return 0;
}

// ---- ChannelMap ---------------------------------------------------------------------

int channel_map_worker(Image* t, uint8_t* mask)
{
    const StandardParams& s = P();
    const int from = std::clamp(s.map_from, 0, 4), to = std::clamp(s.map_to, 0, 4);
    const gen::Area a = gen::area();
    for (int y = a.y0; y <= a.y1; ++y)
        for (int x = a.x0; x <= a.x1; ++x) {
            const int m = mask_of(t, mask, x, y);
            if (!m)
                continue;
            uint8_t* p = t->pixel(x, y);
            const int v = from == 4 ? canvas::luma(p) : p[from];
            if (to == 0) {
                for (int k = 0; k < 3; ++k)
                    p[k] = static_cast<uint8_t>(gen::mix_int(v, p[k], m));
            } else {
                p[to - 1] = static_cast<uint8_t>(gen::mix_int(v, p[to - 1], m));
            }
        }
    if (to == 4)
        t->alpha = 1;
    return 0;
}

// ---- SwapRGBA --------------------------------------------------------------------------

namespace {
int g_swap_from[4];
}

int swap_prepare(Image* t, int)
{
    int order = P().swap_order;
    bool identity = true;
    for (int k = 3; k >= 0; --k) {
        const int digit = order % 10;
        order /= 10;
        g_swap_from[k] = std::clamp(digit, 0, 3);
        identity &= g_swap_from[k] == k;
    }
    if (identity)
        return op_refuse_no_change();
    if (g_swap_from[3] != 3)
        t->alpha = 1;
    return 0;
}

void swap_worker(uint8_t* p, int, int, int weight)
{
    if (weight <= 0)
        return;
    const uint8_t o[4] = {p[0], p[1], p[2], p[3]};
    for (int k = 0; k < 4; ++k)
        p[k] = static_cast<uint8_t>(gen::mix_int(o[g_swap_from[k]], o[k], weight));
}

// ---- Sample -----------------------------------------------------------------------------

int sample_worker(Image* t, uint8_t*)
{
    const StandardParams& s = P();
    const int x = std::clamp(s.sample_x, 0, static_cast<int>(t->width) - 1);
    const int y = std::clamp(s.sample_y, 0, t->height - 1);
    std::memcpy(g_sample, t->pixel(x, y), 4);
    // The colour becomes the pen colour and Color Fill's colour.
    Settings& st = settings();
    for (int k = 0; k < 3; ++k)
        st.color_fill[k] = g_sample[k];
    if (OpDescriptor* fill = op_by_command(opcmd::ColorFill))
        for (int k = 0; k < 3; ++k)
            if (fill->slots[k].used())
                slot_set(fill->slots[k], g_sample[k]);
    log_printf("Sample: %d,%d is %d %d %d alpha %d\n", x, y, g_sample[0], g_sample[1], g_sample[2], g_sample[3]);
    return 0;
}

// ---- Build Palette -----------------------------------------------------------------------

namespace {

struct Box {
    size_t first, count;
    int lo[3], hi[3];
    void fit(const std::vector<uint32_t>& colours)
    {
        for (int k = 0; k < 3; ++k)
            lo[k] = 255, hi[k] = 0;
        for (size_t i = first; i < first + count; ++i)
            for (int k = 0; k < 3; ++k) {
                const int v = static_cast<int>((colours[i] >> (8 * k)) & 255);
                lo[k] = std::min(lo[k], v);
                hi[k] = std::max(hi[k], v);
            }
    }
    int widest() const
    {
        int best = 0;
        for (int k = 1; k < 3; ++k)
            if (hi[k] - lo[k] > hi[best] - lo[best])
                best = k;
        return best;
    }
    int span() const { return hi[widest()] - lo[widest()]; }
};

// Median cut: the box with the widest channel is split at its median until
// there are `n` boxes; each gives the mean of its colours.
void median_cut(std::vector<uint32_t>& colours, int n, std::vector<uint32_t>& out)
{
    std::vector<Box> boxes;
    Box all{0, colours.size(), {}, {}};
    all.fit(colours);
    boxes.push_back(all);
    while (static_cast<int>(boxes.size()) < n) {
        size_t pick = boxes.size();
        for (size_t i = 0; i < boxes.size(); ++i)
            if (boxes[i].count > 1 && boxes[i].span() > 0 && (pick == boxes.size() || boxes[i].span() > boxes[pick].span()))
                pick = i;
        if (pick == boxes.size())
            break;
        Box b = boxes[pick];
        const int k = b.widest();
        auto first = colours.begin() + static_cast<long>(b.first);
        auto mid = first + static_cast<long>(b.count / 2);
        std::nth_element(first, mid, first + static_cast<long>(b.count),
                         [k](uint32_t x, uint32_t y) { return ((x >> (8 * k)) & 255) < ((y >> (8 * k)) & 255); });
        Box left{b.first, b.count / 2, {}, {}}, right{b.first + b.count / 2, b.count - b.count / 2, {}, {}};
        left.fit(colours);
        right.fit(colours);
        boxes[pick] = left;
        boxes.push_back(right);
    }
    for (const Box& b : boxes) {
        uint64_t s[3] = {};
        for (size_t i = b.first; i < b.first + b.count; ++i)
            for (int k = 0; k < 3; ++k)
                s[k] += (colours[i] >> (8 * k)) & 255;
        uint32_t c = 0;
        for (int k = 0; k < 3; ++k)
            c |= static_cast<uint32_t>((s[k] + b.count / 2) / std::max<size_t>(1, b.count)) << (8 * k);
        out.push_back(c);
    }
}

} // namespace

int build_palette_worker(Image* t, uint8_t* mask)
{
    const StandardParams& s = P();
    const int n = std::clamp(s.pal_colours, 2, 256);
    const gen::Area a = gen::area();
    std::vector<uint32_t> colours;
    const int x0 = s.pal_area ? a.x0 : 0, x1 = s.pal_area ? a.x1 : static_cast<int>(t->width) - 1;
    const int y0 = s.pal_area ? a.y0 : 0, y1 = s.pal_area ? a.y1 : t->height - 1;
    colours.reserve(static_cast<size_t>(x1 - x0 + 1) * static_cast<size_t>(y1 - y0 + 1));
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x)
            if (!s.pal_area || mask_of(t, mask, x, y))
                colours.push_back(pixel_load(t->pixel(x, y)) & 0x00FFFFFFu);
    if (colours.empty()) {
        error_box("Build Palette: the selection holds no pixel.");
        return 1;
    }
    std::vector<uint32_t> pal;
    const int method = std::clamp(s.pal_method, 0, 2);
    if (method == 0) {
        median_cut(colours, n, pal);
    } else if (method == 1) {
        // The most frequent colours, counted at 5 bits a channel so that near
        // colours pool; each bin gives its mean.
        struct Bin {
            uint64_t count = 0;
            uint64_t sum[3] = {0, 0, 0};
        };
        std::map<uint32_t, Bin> bins;
        for (uint32_t c : colours) {
            const uint32_t key = ((c >> 3) & 31) | (((c >> 11) & 31) << 5) | (((c >> 19) & 31) << 10);
            Bin& b = bins[key];
            ++b.count;
            for (int k = 0; k < 3; ++k)
                b.sum[k] += (c >> (8 * k)) & 255;
        }
        std::vector<std::pair<uint64_t, uint32_t>> order;
        for (const auto& [key, b] : bins) {
            uint32_t c = 0;
            for (int k = 0; k < 3; ++k)
                c |= static_cast<uint32_t>(b.sum[k] / b.count) << (8 * k);
            order.emplace_back(b.count, c);
        }
        std::stable_sort(order.begin(), order.end(), [](const auto& x, const auto& y) { return x.first > y.first; });
        for (size_t i = 0; i < order.size() && static_cast<int>(i) < n; ++i)
            pal.push_back(order[i].second);
    } else {
        // Uniform: a cube of levels per channel that fits n colours.
        int levels = 2;
        while ((levels + 1) * (levels + 1) * (levels + 1) <= n)
            ++levels;
        for (int r = 0; r < levels; ++r)
            for (int g = 0; g < levels; ++g)
                for (int b = 0; b < levels; ++b)
                    pal.push_back(static_cast<uint32_t>(r * 255 / (levels - 1)) |
                                  static_cast<uint32_t>(g * 255 / (levels - 1)) << 8 |
                                  static_cast<uint32_t>(b * 255 / (levels - 1)) << 16);
    }
    if (s.pal_sort)
        std::stable_sort(pal.begin(), pal.end(), [](uint32_t x, uint32_t y) {
            auto l = [](uint32_t c) { return (c & 255) * 77 + ((c >> 8) & 255) * 150 + ((c >> 16) & 255) * 29; };
            return l(x) < l(y);
        });
    // The rest of the 256 entries repeat the last colour, so that an
    // indexed save of fewer colours finds nothing stray.
    for (int i = 0; i < 256; ++i) {
        const uint32_t c = pal[std::min(static_cast<size_t>(i), pal.size() - 1)];
        t->palette_red[i] = static_cast<uint8_t>(c & 255);
        t->palette_green[i] = static_cast<uint8_t>((c >> 8) & 255);
        t->palette_blue[i] = static_cast<uint8_t>((c >> 16) & 255);
    }
    log_printf("Build Palette: %zu colours from %zu pixels\n", pal.size(), colours.size());
    return 0;
}
