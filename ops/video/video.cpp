// The Video Group's workers.
#include "ops/video/video.h"

#include "core/image.h"
#include "ops/appliers.h"
#include "ops/collage/canvas.h"
#include "ops/framework.h"
#include "ops/render/gen.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

VideoParams g_video_params;

namespace {

VideoParams& P()
{
    return g_video_params;
}

StabilizeResult g_stab;

inline uint8_t* at(Image* t, long x, long y)
{
    return t->pixel(static_cast<int>(x), static_cast<int>(y));
}

// The frame a sequence is at (0 outside one), for the frame-dependent effects.
long frame_now()
{
    return op_state().generating ? op_state().frame : 0;
}

} // namespace

const StabilizeResult& stabilize_result()
{
    return g_stab;
}

// ---- NTSC Filter -------------------------------------------------------------------

// With Y = luma, I and Q the chroma of the YIQ space, the composite signal
// swings from Y − C to Y + C (C = |(I, Q)|), in IRE where Y = 1 is 100.
uint32_t ntsc_worker(uint32_t px, int, int)
{
    const VideoParams& p = P();
    const double r = pixel_r(px) / 255.0, g = pixel_g(px) / 255.0, b = pixel_b(px) / 255.0;
    double y = 0.299 * r + 0.587 * g + 0.114 * b;
    double i = 0.596 * r - 0.274 * g - 0.322 * b;
    double q = 0.211 * r - 0.523 * g + 0.312 * b;
    const double c = std::hypot(i, q);
    const double limit = std::clamp(p.ntsc_limit, 100, 130) / 100.0;
    const double low = -0.2;  // the signal may dip to -20 IRE
    if (y + c <= limit && y - c >= low)
        return px;
    if (p.ntsc_mode == 1) {
        // Keep the colour, lower the brightness until the peak fits.
        y = std::min(y, limit - c);
        if (y - c < low)
            y = low + c;
    } else {
        // Keep the brightness, lower the saturation until the peak fits.
        const double room = std::max(0.0, std::min(limit - y, y - low));
        const double k = c > 0 ? std::min(1.0, room / c) : 1;
        i *= k;
        q *= k;
    }
    const double nr = y + 0.956 * i + 0.621 * q, ng = y - 0.272 * i - 0.647 * q, nb = y - 1.106 * i + 1.703 * q;
    return pixel_make(canvas::clamp8(nr * 255), canvas::clamp8(ng * 255), canvas::clamp8(nb * 255), pixel_a(px));
}

// ---- Frame Rates ----------------------------------------------------------------------

int frame_rates_prepare(Image*, int)
{
    const VideoParams& p = P();
    if (p.rate_from < 1 || p.rate_to < 1 || p.rate_from == p.rate_to || p.rate_motion == 0)
        return op_refuse_no_change();
    return 0;
}

int frame_rates_worker(Image* t, uint8_t* mask)
{
    const VideoParams& p = P();
    const gen::Area a = gen::area();
    // Output frame n shows source time n·from/to; the frames either side blend
    // by its fraction (what a blending converter does), and the picture moves
    // `motion` pixels from one source frame to the next.
    const long n = frame_now() + 1;
    const double tsrc = static_cast<double>(n) * p.rate_from / p.rate_to;
    const double phase = tsrc - std::floor(tsrc);
    canvas::Pixels copy;
    if (!canvas::copy(canvas::of(t), copy))
        return 1;
    const bool alpha = canvas::alpha_mode();
    for (int y = a.y0; y <= a.y1; ++y)
        for (int x = a.x0; x <= a.x1; ++x) {
            const int m = mask[t->rows[y] + static_cast<uint32_t>(x)];
            if (!m)
                continue;
            const long sx = std::clamp<long>(x - p.rate_motion, 0, copy.width - 1);
            const uint8_t* here = copy.at(x, y);
            const uint8_t* next = copy.at(sx, y);
            uint8_t out[4];
            for (int k = 0; k < 4; ++k)
                out[k] = canvas::clamp8(here[k] * (1 - phase) + next[k] * phase);
            canvas::put(at(t, x, y), out, m, alpha);
        }
    return 0;
}

// ---- Makefields --------------------------------------------------------------------------

int makefields_worker(Image* t, uint8_t* mask)
{
    const VideoParams& p = P();
    const gen::Area a = gen::area();
    const int keep = p.field_which & 1;
    const int mode = std::clamp(p.field_mode, 0, 2);
    canvas::Pixels copy;
    if (!canvas::copy(canvas::of(t), copy))
        return 1;
    const bool alpha = canvas::alpha_mode();
    const long h = t->height;
    for (int y = a.y0; y <= a.y1; ++y) {
        if ((y & 1) == keep)
            continue;  // a row of the kept field
        // The kept rows above and below (inside the image).
        long up = y - 1, down = y + 1;
        if (up < 0 || (up & 1) != keep)
            up = down;
        if (down >= h || (down & 1) != keep)
            down = up;
        if (up < 0 || up >= h)
            continue;  // a one-row image keeps its row
        for (int x = a.x0; x <= a.x1; ++x) {
            const int m = mask[t->rows[y] + static_cast<uint32_t>(x)];
            if (!m)
                continue;
            uint8_t out[4];
            const uint8_t* u = copy.at(x, up);
            const uint8_t* d = copy.at(x, down);
            for (int k = 0; k < 4; ++k)
                out[k] = mode == 0 ? u[k] : mode == 1 ? static_cast<uint8_t>((u[k] + d[k] + 1) / 2) : (k == 3 ? u[3] : 0);
            canvas::put(at(t, x, y), out, m, alpha);
        }
    }
    return 0;
}

// ---- Film Grain ---------------------------------------------------------------------------

int film_grain_worker(Image* t, uint8_t* mask)
{
    const VideoParams& p = P();
    const gen::Area a = gen::area();
    const double amount = std::clamp(p.grain_amount, 0, 100) / 100.0 * 64;  // standard deviation at 100 %
    const double size = std::max(1, p.grain_size);
    const uint64_t seed = static_cast<uint64_t>(p.grain_seed);
    const bool alpha = canvas::alpha_mode();
    // A unit-variance grain value at a place: the sum of four uniform
    // samples is close to normal; sizes above a pixel interpolate between
    // grains a `size` apart.
    auto grain = [seed](int64_t gx, int64_t gy, int ch) {
        double s = 0;
        for (int k = 0; k < 4; ++k)
            s += gen::hash01(seed + static_cast<uint64_t>(k * 7919 + ch * 104729), gx, gy);
        return (s - 2) * std::sqrt(3.0);
    };
    for (int y = a.y0; y <= a.y1; ++y) {
        if (canvas::cancelled(y - a.y0, a.height()))
            return 1;
        for (int x = a.x0; x <= a.x1; ++x) {
            const int m = mask[t->rows[y] + static_cast<uint32_t>(x)];
            if (!m)
                continue;
            uint8_t* px = at(t, x, y);
            uint8_t out[4] = {px[0], px[1], px[2], px[3]};
            const double fx = x / size, fy = y / size;
            const int64_t ix = static_cast<int64_t>(std::floor(fx)), iy = static_cast<int64_t>(std::floor(fy));
            const double u = fx - ix, v = fy - iy;
            for (int ch = 0; ch < 3; ++ch) {
                const int c = p.grain_colour ? ch : 0;
                double g;
                if (size <= 1) {
                    g = grain(x, y, c);
                } else {
                    const double g00 = grain(ix, iy, c), g10 = grain(ix + 1, iy, c), g01 = grain(ix, iy + 1, c),
                                 g11 = grain(ix + 1, iy + 1, c);
                    g = (g00 * (1 - u) + g10 * u) * (1 - v) + (g01 * (1 - u) + g11 * u) * v;
                    g *= 1.5;  // interpolation softens the spread
                }
                const int base = alpha ? px[3] : px[ch];
                double weight = 1;
                if (p.grain_midtones) {
                    const double l = base / 255.0;
                    weight = 4 * l * (1 - l) * 0.75 + 0.25;
                }
                out[ch] = canvas::clamp8(base + g * amount * weight);
            }
            canvas::put(px, out, m, alpha);
        }
    }
    return 0;
}

// ---- Scanline ------------------------------------------------------------------------------

int scanline_worker(Image* t, uint8_t* mask)
{
    const VideoParams& p = P();
    const gen::Area a = gen::area();
    const int spacing = std::max(2, p.scan_spacing);
    const int keep = 100 - std::clamp(p.scan_dark, 0, 100);
    const bool alpha = canvas::alpha_mode();
    for (int y = a.y0; y <= a.y1; ++y) {
        if ((y - a.y0) % spacing != spacing - 1)
            continue;
        for (int x = a.x0; x <= a.x1; ++x) {
            const int m = mask[t->rows[y] + static_cast<uint32_t>(x)];
            if (!m)
                continue;
            uint8_t* px = at(t, x, y);
            uint8_t out[4] = {static_cast<uint8_t>(px[0] * keep / 100), static_cast<uint8_t>(px[1] * keep / 100),
                              static_cast<uint8_t>(px[2] * keep / 100), px[3]};
            if (alpha)
                out[0] = out[1] = out[2] = static_cast<uint8_t>(px[3] * keep / 100);
            canvas::put(px, out, m, alpha);
        }
    }
    return 0;
}

// ---- Jitter ----------------------------------------------------------------------------------

int jitter_worker(Image* t, uint8_t* mask)
{
    const VideoParams& p = P();
    const gen::Area a = gen::area();
    canvas::Pixels copy;
    if (!canvas::copy(canvas::of(t), copy))
        return 1;
    const uint64_t seed = static_cast<uint64_t>(p.jit_seed) + (p.jit_frame ? static_cast<uint64_t>(frame_now()) * 7777 : 0);
    const long band = std::max(1, p.jit_band);
    const double chance = std::clamp(p.jit_rows, 0, 100) / 100.0;
    const long amount = std::max(0, p.jit_amount);
    const double noise = std::clamp(p.jit_noise, 0, 100) / 100.0;
    const bool vertical = p.jit_vertical != 0;
    const long w = copy.width, h = copy.height;
    const bool alpha = canvas::alpha_mode();
    auto fetch = [&](long x, long y) -> const uint8_t* {
        if (p.jit_wrap) {
            x = ((x % w) + w) % w;
            y = ((y % h) + h) % h;
        } else {
            x = std::clamp(x, 0L, w - 1);
            y = std::clamp(y, 0L, h - 1);
        }
        return copy.at(x, y);
    };
    for (int y = a.y0; y <= a.y1; ++y) {
        if (canvas::cancelled(y - a.y0, a.height()))
            return 1;
        for (int x = a.x0; x <= a.x1; ++x) {
            const int m = mask[t->rows[y] + static_cast<uint32_t>(x)];
            if (!m)
                continue;
            // The band this pixel's row (or column) lies in, and its shift.
            const long line = vertical ? x : y;
            const long b = line / band;
            long shift = 0;
            if (gen::hash01(seed, b, 1) < chance)
                shift = static_cast<long>(std::lround((gen::hash01(seed, b, 2) * 2 - 1) * amount));
            long sx = x, sy = y + p.jit_roll;
            if (vertical)
                sy += shift;
            else
                sx += shift;
            uint8_t out[4];
            std::memcpy(out, fetch(sx, sy), 4);
            if (p.jit_split) {
                // Red and blue drift apart, as a badly converged tube.
                out[0] = fetch(sx - p.jit_split, sy)[0];
                out[2] = fetch(sx + p.jit_split, sy)[2];
            }
            if (noise > 0 && gen::hash01(seed, x, y, 3) < noise * 0.25) {
                const uint8_t snow = static_cast<uint8_t>(gen::hash01(seed, x, y, 4) * 255);
                out[0] = out[1] = out[2] = snow;
            }
            canvas::put_rgba(at(t, x, y), out, m, alpha);
        }
    }
    return 0;
}

// ---- Flicker ----------------------------------------------------------------------------------

int flicker_worker(Image* t, uint8_t* mask)
{
    const VideoParams& p = P();
    const gen::Area a = gen::area();
    const double amount = std::clamp(p.flick_amount, 0, 100) / 100.0;
    const long hold = std::max(1, p.flick_hold);
    const long step = frame_now() / hold;
    const uint64_t seed = static_cast<uint64_t>(p.flick_seed);
    // This frame's brightness: a seeded level in 1 ± amount, or the rolling bar's place.
    const double level = 1 + amount * (gen::hash01(seed, step, 11) * 2 - 1);
    const double bar_at = gen::hash01(seed, step, 12) * a.height() + static_cast<double>(frame_now()) * a.height() / 24.0;
    const bool alpha = canvas::alpha_mode();
    for (int y = a.y0; y <= a.y1; ++y) {
        double k = level;
        if (p.flick_bar) {
            // A soft bright bar a quarter of the area high, rolling down the frames.
            const double d = std::fmod(y - a.y0 - bar_at + 10.0 * a.height(), static_cast<double>(a.height()));
            const double u = d / a.height();
            k = 1 + amount * 0.5 * (u < 0.25 ? std::sin(u * 4 * M_PI) : 0);
        }
        for (int x = a.x0; x <= a.x1; ++x) {
            const int m = mask[t->rows[y] + static_cast<uint32_t>(x)];
            if (!m)
                continue;
            uint8_t* px = at(t, x, y);
            uint8_t out[4];
            for (int c = 0; c < 3; ++c)
                out[c] = canvas::clamp8((alpha ? px[3] : px[c]) * k);
            out[3] = px[3];
            canvas::put(px, out, m, alpha);
        }
    }
    return 0;
}

// ---- Stabilize ----------------------------------------------------------------------------------

namespace {

// Grey planes of the target and the reference, halved `level` times.
struct Plane {
    std::vector<int16_t> v;
    long w = 0, h = 0;
    int16_t at(long x, long y) const { return v[static_cast<size_t>(y) * static_cast<size_t>(w) + static_cast<size_t>(x)]; }
};

Plane grey(const resample::Block& b)
{
    Plane p;
    p.w = b.width;
    p.h = b.height;
    p.v.resize(static_cast<size_t>(p.w) * static_cast<size_t>(p.h));
    for (long y = 0; y < p.h; ++y)
        for (long x = 0; x < p.w; ++x)
            p.v[static_cast<size_t>(y * p.w + x)] =
                static_cast<int16_t>(canvas::luma(b.pixels + 4 * (static_cast<size_t>(y) * static_cast<size_t>(b.stride) + static_cast<size_t>(x))));
    return p;
}

Plane half(const Plane& in)
{
    Plane p;
    p.w = std::max(1L, in.w / 2);
    p.h = std::max(1L, in.h / 2);
    p.v.resize(static_cast<size_t>(p.w) * static_cast<size_t>(p.h));
    for (long y = 0; y < p.h; ++y)
        for (long x = 0; x < p.w; ++x) {
            const long x0 = std::min(2 * x, in.w - 1), x1 = std::min(2 * x + 1, in.w - 1);
            const long y0 = std::min(2 * y, in.h - 1), y1 = std::min(2 * y + 1, in.h - 1);
            p.v[static_cast<size_t>(y * p.w + x)] =
                static_cast<int16_t>((in.at(x0, y0) + in.at(x1, y0) + in.at(x0, y1) + in.at(x1, y1) + 2) / 4);
        }
    return p;
}

// Mean absolute difference of the region of `t` shifted by (dx, dy) against `r`.
double difference(const Plane& t, const Plane& r, long rx, long ry, long rw, long rh, long dx, long dy)
{
    long n = 0;
    long sum = 0;
    for (long y = ry; y < ry + rh; ++y) {
        const long ty = y + dy;
        if (y < 0 || y >= r.h || ty < 0 || ty >= t.h)
            continue;
        for (long x = rx; x < rx + rw; ++x) {
            const long tx = x + dx;
            if (x < 0 || x >= r.w || tx < 0 || tx >= t.w)
                continue;
            sum += std::abs(t.at(tx, ty) - r.at(x, y));
            ++n;
        }
    }
    // Shifts that leave too little overlap do not count.
    return n * 4 >= rw * rh ? static_cast<double>(sum) / n : std::numeric_limits<double>::infinity();
}

} // namespace

int stabilize_worker(Image* t, uint8_t* mask)
{
    const VideoParams& p = P();
    const gen::Area a = gen::area();
    const resample::Block src = canvas::source();
    if (!src.pixels)
        return 1;
    canvas::Pixels ref, copy;
    if (!canvas::stretched(src, t->width, t->height, ref) || !canvas::copy(canvas::of(t), copy))
        return 1;
    long rx = p.stab_region[0], ry = p.stab_region[1], rw = p.stab_region[2], rh = p.stab_region[3];
    if (rw <= 0 || rh <= 0) {
        rx = ry = 0;
        rw = t->width;
        rh = t->height;
    }
    rx = std::clamp<long>(rx, 0, t->width - 1);
    ry = std::clamp<long>(ry, 0, t->height - 1);
    rw = std::clamp<long>(rw, 1, t->width - rx);
    rh = std::clamp<long>(rh, 1, t->height - ry);
    const int levels = std::clamp(p.stab_levels, 0, 4);
    std::vector<Plane> tp{grey(copy.block())}, rp{grey(ref.block())};
    for (int l = 0; l < levels; ++l) {
        tp.push_back(half(tp.back()));
        rp.push_back(half(rp.back()));
    }
    // Coarse to fine: the full reach on the smallest planes, then ±1 about
    // the doubled shift on each finer one.
    long dx = 0, dy = 0;
    double best = 0;
    for (int l = levels; l >= 0; --l) {
        const long scale = 1L << l;
        const long reach = l == levels ? std::max(0L, static_cast<long>(p.stab_radius) / scale + 1) : 1;
        const long cx = dx, cy = dy;
        best = std::numeric_limits<double>::infinity();
        for (long oy = -reach; oy <= reach; ++oy)
            for (long ox = -reach; ox <= reach; ++ox) {
                const long sx = p.stab_horizontal ? cx + ox : 0, sy = p.stab_vertical ? cy + oy : 0;
                if (std::abs(sx) * scale > p.stab_radius + scale || std::abs(sy) * scale > p.stab_radius + scale)
                    continue;
                const double d = difference(tp[static_cast<size_t>(l)], rp[static_cast<size_t>(l)], rx / scale,
                                            ry / scale, std::max(1L, rw / scale), std::max(1L, rh / scale), sx, sy);
                if (d < best || (d == best && std::abs(sx) + std::abs(sy) < std::abs(dx) + std::abs(dy))) {
                    best = d;
                    dx = sx;
                    dy = sy;
                }
            }
        if (l > 0) {
            dx *= 2;
            dy *= 2;
        }
    }
    dx = std::clamp<long>(dx, -p.stab_radius, p.stab_radius);
    dy = std::clamp<long>(dy, -p.stab_radius, p.stab_radius);
    g_stab = {dx, dy, best};
    // Move the picture back by the found shift (scaled by the strength).
    const double k = std::clamp(p.stab_strength, 0, 100) / 100.0;
    const long mx = std::lround(dx * k), my = std::lround(dy * k);
    if (mx == 0 && my == 0)
        return 0;
    const bool alpha = canvas::alpha_mode();
    const int edge = std::clamp(p.stab_edge, 0, 2);
    for (int y = a.y0; y <= a.y1; ++y)
        for (int x = a.x0; x <= a.x1; ++x) {
            const int m = mask[t->rows[y] + static_cast<uint32_t>(x)];
            if (!m)
                continue;
            long sx = x + mx, sy = y + my;
            uint8_t out[4];
            if (sx >= 0 && sy >= 0 && sx < copy.width && sy < copy.height) {
                std::memcpy(out, copy.at(sx, sy), 4);
            } else if (edge == 0) {
                std::memcpy(out, copy.at(std::clamp(sx, 0L, copy.width - 1), std::clamp(sy, 0L, copy.height - 1)), 4);
            } else {
                out[0] = out[1] = out[2] = 0;
                out[3] = edge == 1 ? 0 : 255;
                if (edge == 1)
                    t->alpha = 1;
            }
            canvas::put_rgba(at(t, x, y), out, m, alpha);
        }
    return 0;
}
