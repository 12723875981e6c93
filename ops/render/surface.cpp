// Texture, Exfoliation, Entrainment and Pagecurl: whole-image renders that
// make or rework the surface of the picture in the area.
#include "core/image.h"
#include "ops/framework.h"
#include "ops/render/gen.h"
#include "ops/render/render.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;

inline int mask_at(const Image* t, const uint8_t* mask, int x, int y)
{
    return mask[t->rows[y] + static_cast<uint32_t>(x)];
}

inline uint32_t pixel_rgb(const int c[3])
{
    return static_cast<uint32_t>(c[0]) | static_cast<uint32_t>(c[1]) << 8 | static_cast<uint32_t>(c[2]) << 16;
}

// The area's pixels as they were (colour, or alpha as grey in alpha mode),
// read with the edge repeated beyond it.
struct Copy {
    int x0, y0, w, h;
    std::vector<float> px;  // 3 per pixel
    Copy(Image* t, const gen::Area& a, bool alpha) : x0(a.x0), y0(a.y0), w(a.width()), h(a.height())
    {
        px.resize(static_cast<size_t>(w) * h * 3);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                int c[3];
                gen::take(t->pixel(x0 + x, y0 + y), alpha, c);
                float* q = px.data() + (static_cast<size_t>(y) * w + x) * 3;
                q[0] = static_cast<float>(c[0]), q[1] = static_cast<float>(c[1]), q[2] = static_cast<float>(c[2]);
            }
    }
    const float* at(int x, int y) const
    {
        x = std::clamp(x - x0, 0, w - 1);
        y = std::clamp(y - y0, 0, h - 1);
        return px.data() + (static_cast<size_t>(y) * w + x) * 3;
    }
    // Between pixels: the four around weighed by nearness.
    void sample(double x, double y, double out[3]) const
    {
        const double fx = std::floor(x), fy = std::floor(y);
        const int ix = static_cast<int>(fx), iy = static_cast<int>(fy);
        const double u = x - fx, v = y - fy;
        const int lx = ix - x0, ly = iy - y0;
        if (lx >= 0 && ly >= 0 && lx < w - 1 && ly < h - 1) {
            // Inside: the four neighbours without the edge checks.
            const float* a = px.data() + (static_cast<size_t>(ly) * w + static_cast<size_t>(lx)) * 3;
            const float* c = a + static_cast<size_t>(w) * 3;
            for (int k = 0; k < 3; ++k)
                out[k] = (a[k] + (a[k + 3] - a[k]) * u) * (1 - v) + (c[k] + (c[k + 3] - c[k]) * u) * v;
            return;
        }
        const float *a = at(ix, iy), *b = at(ix + 1, iy), *c = at(ix, iy + 1), *d = at(ix + 1, iy + 1);
        for (int k = 0; k < 3; ++k)
            out[k] = (a[k] * (1 - u) + b[k] * u) * (1 - v) + (c[k] * (1 - u) + d[k] * u) * v;
    }
};

} // namespace

// ---- Texture ---------------------------------------------------------------------

int texture_worker(Image* target, uint8_t* mask)
{
    const RenderParams& rp = render_params();
    const gen::Area a = gen::area();
    const bool alpha = op_state().alpha_mode;
    const int type = std::clamp(rp.tex_type, 0, 4);
    const uint64_t seed = static_cast<uint32_t>(rp.tex_seed);
    const double scale = std::max(1, rp.tex_scale);
    const int octaves = std::clamp(rp.tex_octaves, 1, 8);
    const double gain = std::clamp(rp.tex_roughness, 0, 100) / 100.0;
    const double turb = std::clamp(rp.tex_turbulence, 0, 100) / 100.0;
    const double contrast = std::clamp(rp.tex_contrast, 0, 1000) / 100.0;
    const double opacity = std::clamp(rp.tex_opacity, 0, 100) / 100.0;
    const double ang = rp.tex_angle * kPi / 180, ca = std::cos(ang), sa = std::sin(ang);
    for (int y = a.y0; y <= a.y1; ++y) {
        if (gen::progress(y - a.y0, a.height()))
            return 1;
        for (int x = a.x0; x <= a.x1; ++x) {
            const int m = mask_at(target, mask, x, y);
            if (!m)
                continue;
            // Turned coordinates in units of the scale.
            const double u = ((x - a.cx) * ca + (y - a.cy) * sa) / scale;
            const double w = (-(x - a.cx) * sa + (y - a.cy) * ca) / scale;
            double v;
            switch (type) {
            case 0:  // clouds
                v = 0.5 + 0.5 * gen::fbm(seed, u, w, octaves, gain);
                break;
            case 1:  // marble: veins across u, pushed about by the noise
                v = 0.5 + 0.5 * std::sin(2 * kPi * u + turb * 6 * gen::fbm(seed, u, w, octaves, gain));
                break;
            case 2: {  // wood: rings round the centre, stretched along the grain
                const double r = std::hypot(u, w * 0.25) * 3 + turb * 1.5 * gen::fbm(seed, u, w, octaves, gain);
                const double f = r - std::floor(r);
                v = std::pow(f, 0.6);
                break;
            }
            case 3: {  // granite: grains and speckle
                const gen::CellHit c = gen::cells(seed, 0.35, 1.0, u, w);
                const double grain = gen::clamp01((c.d2 - c.d1) / 0.2);
                v = 0.55 * grain + 0.45 * (0.5 + 0.5 * gen::fbm(seed + 9, u * 4, w * 4, octaves, gain));
                v += turb * 0.3 * (gen::hash01(seed, static_cast<int64_t>(c.i1), static_cast<int64_t>(c.j1)) - 0.5);
                break;
            }
            default: {  // ridges
                const double n = 1 - std::fabs(gen::fbm(seed, u, w, octaves, gain));
                v = n * n;
                break;
            }
            }
            v = gen::clamp01(0.5 + (v - 0.5) * contrast);
            uint8_t* p = target->pixel(x, y);
            int c[3];
            gen::take(p, alpha, c);
            for (int k = 0; k < 3; ++k) {
                const double col = rp.tex_rgb1[k] + (rp.tex_rgb2[k] - rp.tex_rgb1[k]) * v;
                c[k] = gen::clamp255(c[k] + (std::clamp(col, 0.0, 255.0) - c[k]) * opacity);
            }
            gen::put(p, c, m, alpha);
        }
    }
    return 0;
}

// ---- Exfoliation -------------------------------------------------------------------

int exfoliation_worker(Image* target, uint8_t* mask)
{
    const RenderParams& rp = render_params();
    const gen::Area a = gen::area();
    const bool alpha = op_state().alpha_mode;
    const double size = std::max(2, rp.exf_size);
    const double amount = std::clamp(rp.exf_amount, 0, 100) / 100.0;
    // The flakes follow from their size; more `amount` only takes more of them.
    const uint64_t seed = gen::hash(0xE8F011A7ull, rp.exf_size);
    auto gone = [&](int64_t i, int64_t j) { return gen::hash01(seed, i, j, 5) < amount; };
    const double shadow_reach = size * 0.2;
    for (int y = a.y0; y <= a.y1; ++y) {
        if (gen::progress(y - a.y0, a.height()))
            return 1;
        for (int x = a.x0; x <= a.x1; ++x) {
            const int m = mask_at(target, mask, x, y);
            if (!m)
                continue;
            const gen::CellHit h = gen::cells(seed, size, 0.85, x + 0.5, y + 0.5);
            const bool here = gone(h.i1, h.j1), next = gone(h.i2, h.j2);
            if (!here && !next)
                continue;
            uint8_t* p = target->pixel(x, y);
            int c[3];
            gen::take(p, alpha, c);
            if (here) {
                // The bare layer beneath: paler and greyer, in the shadow of an edge still standing.
                const int g = gen::luma(c[0], c[1], c[2]);
                static const int kStone[3] = {225, 218, 205};
                double shade = 1;
                if (!next)
                    shade = 1 - 0.55 * std::max(0.0, 1 - h.edge / shadow_reach);
                for (int k = 0; k < 3; ++k) {
                    const double bare = (0.4 * g + 0.6 * c[k]) * 0.65 + kStone[k] * 0.35;
                    c[k] = gen::clamp255(bare * shade);
                }
            } else {
                // The broken edge of a flake that stays catches the light.
                if (h.edge >= 1.5)
                    continue;
                const double lift = 0.5 * (1 - h.edge / 1.5);
                for (int k = 0; k < 3; ++k)
                    c[k] = gen::clamp255(c[k] + (255 - c[k]) * lift);
            }
            gen::put(p, c, m, alpha);
        }
    }
    return 0;
}

// ---- Entrainment ---------------------------------------------------------------------

int entrainment_worker(Image* target, uint8_t* mask)
{
    const RenderParams& rp = render_params();
    const gen::Area a = gen::area();
    const bool alpha = op_state().alpha_mode;
    const int length = std::clamp(rp.ent_length, 0, 1000);
    const double swirl = std::clamp(rp.ent_swirl, -100, 100) / 100.0;
    const double scale = std::max(1, rp.ent_scale);
    const double mixing = std::clamp(rp.ent_mix, 0, 100) / 100.0;
    const uint64_t seed = gen::hash(0xE47A1Aull, rp.ent_scale);
    const int w = a.width(), h = a.height();

    // The flow: eddies from the turns of a smooth noise (it neither gathers nor
    // spreads), plus a whirl round the centre; worked out every 4 pixels.
    constexpr int kStep = 4;
    const int gw = w / kStep + 2, gh = h / kStep + 2;
    std::vector<float> field(static_cast<size_t>(gw) * gh * 2);
    const double radius = std::hypot(a.hw, a.hh);
    for (int j = 0; j < gh; ++j)
        for (int i = 0; i < gw; ++i) {
            const double x = a.x0 + i * kStep, y = a.y0 + j * kStep, e = 0.5;
            auto psi = [&](double px, double py) { return gen::fbm(seed, px / scale, py / scale, 3, 0.5); };
            double vx = (psi(x, y + e) - psi(x, y - e)) / (2 * e) * scale;
            double vy = -(psi(x + e, y) - psi(x - e, y)) / (2 * e) * scale;
            const double dx = x - a.cx, dy = y - a.cy;
            vx += swirl * -dy / radius * 3;
            vy += swirl * dx / radius * 3;
            const double len = std::hypot(vx, vy);
            field[(static_cast<size_t>(j) * gw + i) * 2] = len > 1e-9 ? static_cast<float>(vx / len) : 0.0f;
            field[(static_cast<size_t>(j) * gw + i) * 2 + 1] = len > 1e-9 ? static_cast<float>(vy / len) : 0.0f;
        }
    if (gen::progress(h / 10, h))
        return 1;
    // The picture as it was, four bytes a pixel so that the streamlines stay in
    // the cache; streamlines read their nearest pixel, and the many samples
    // along each one smooth the result.
    std::vector<uint32_t> picture(static_cast<size_t>(w) * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            int c[3];
            gen::take(target->pixel(a.x0 + x, a.y0 + y), alpha, c);
            picture[static_cast<size_t>(y) * w + x] = pixel_rgb(c);
        }
    std::vector<float> weights(static_cast<size_t>(length) + 1);
    float weight_sum = 1;
    for (int step = 1; step <= length; ++step)
        weight_sum += 2 * (weights[static_cast<size_t>(step)] = 1 - step / (length + 1.0f));
    const float gscale = 1.0f / kStep;
    for (int y = 0; y < h; ++y) {
        if (gen::progress(h / 10 + y * 9 / 10, h))
            return 1;
        for (int x = 0; x < w; ++x) {
            const int m = mask_at(target, mask, a.x0 + x, a.y0 + y);
            if (!m)
                continue;
            // The picture smeared along the streamline through the pixel, both ways.
            const uint32_t own = picture[static_cast<size_t>(y) * w + x];
            float sum[3] = {static_cast<float>(own & 255), static_cast<float>((own >> 8) & 255),
                            static_cast<float>((own >> 16) & 255)};
            for (int dir = -1; dir <= 1; dir += 2) {
                float px = static_cast<float>(x), py = static_cast<float>(y);
                for (int step = 1; step <= length; ++step) {
                    const int gi = std::clamp(static_cast<int>(px * gscale + 0.5f), 0, gw - 1);
                    const int gj = std::clamp(static_cast<int>(py * gscale + 0.5f), 0, gh - 1);
                    const float* f = field.data() + (static_cast<size_t>(gj) * gw + static_cast<size_t>(gi)) * 2;
                    px += static_cast<float>(dir) * f[0];
                    py += static_cast<float>(dir) * f[1];
                    const int sx = std::clamp(static_cast<int>(px + 0.5f), 0, w - 1);
                    const int sy = std::clamp(static_cast<int>(py + 0.5f), 0, h - 1);
                    const uint32_t v = picture[static_cast<size_t>(sy) * w + static_cast<size_t>(sx)];
                    const float wgt = weights[static_cast<size_t>(step)];
                    sum[0] += static_cast<float>(v & 255) * wgt;
                    sum[1] += static_cast<float>((v >> 8) & 255) * wgt;
                    sum[2] += static_cast<float>((v >> 16) & 255) * wgt;
                }
            }
            int c[3];
            for (int k = 0; k < 3; ++k) {
                const double o = (own >> (8 * k)) & 255;
                c[k] = gen::clamp255(o + (sum[k] / weight_sum - o) * mixing);
            }
            gen::put(target->pixel(a.x0 + x, a.y0 + y), c, m, alpha);
        }
    }
    return 0;
}

// ---- Pagecurl -------------------------------------------------------------------------

int pagecurl_worker(Image* target, uint8_t* mask)
{
    const RenderParams& rp = render_params();
    const gen::Area a = gen::area();
    const bool alpha = op_state().alpha_mode;
    const double left = a.x0, top = a.y0, right = a.x1 + 1, bottom = a.y1 + 1;
    const int corner = ((rp.curl_corner % 4) + 4) % 4;
    const double kx = corner == 0 || corner == 3 ? left : right, ky = corner < 2 ? top : bottom;
    // From the corner towards the page's middle, turned by the angle.
    const double mx = (left + right) / 2, my = (top + bottom) / 2;
    double dx = mx - kx, dy = my - ky;
    const double diag = 2 * std::hypot(dx, dy);
    const double turn = std::clamp(rp.curl_angle, -89, 89) * kPi / 180;
    {
        const double len = std::hypot(dx, dy), ux = dx / len, uy = dy / len;
        dx = ux * std::cos(turn) - uy * std::sin(turn);
        dy = ux * std::sin(turn) + uy * std::cos(turn);
    }
    // The fold line lies `lift` from the corner; u runs from it towards the corner.
    const double lift = std::clamp(rp.curl_amount, 0, 100) / 100.0 * diag;
    const double radius = std::max(1.0, std::clamp(rp.curl_radius, 0, 100) / 100.0 * std::min(a.width(), a.height()));
    const double shadow = std::clamp(rp.curl_shadow, 0, 100) / 100.0;
    const Copy copy(target, a, alpha);
    auto on_page = [&](double x, double y) { return x >= left && x < right && y >= top && y < bottom; };

    for (int y = a.y0; y <= a.y1; ++y) {
        if (gen::progress(y - a.y0, a.height()))
            return 1;
        for (int x = a.x0; x <= a.x1; ++x) {
            const int m = mask_at(target, mask, x, y);
            if (!m)
                continue;
            const double px = x + 0.5, py = y + 0.5;
            const double u = lift - ((px - kx) * dx + (py - ky) * dy);
            // The page point that lies `arc` along the page from the fold, under this pixel.
            auto page_point = [&](double arc, double* qx, double* qy) {
                const double move = arc - u;  // towards the corner
                *qx = px - dx * move, *qy = py - dy * move;
                return arc > 0 && on_page(*qx, *qy);
            };
            double c[3];
            bool done = false;
            double qx, qy;
            if (u <= radius) {
                // The back of the page: over the cylinder's top and lying flat beyond it.
                const double arc_back = u >= 0 ? radius * (kPi - std::asin(std::min(1.0, u / radius))) : kPi * radius - u;
                if (page_point(arc_back, &qx, &qy)) {
                    double s[3];
                    copy.sample(qx - 0.5, qy - 0.5, s);
                    const double light = u >= 0 ? 0.8 + 0.2 * std::sqrt(std::max(0.0, 1 - u / radius)) : 1.0;
                    for (int k = 0; k < 3; ++k)
                        c[k] = (std::clamp(rp.curl_back_rgb[k], 0, 255) * 0.85 + s[k] * 0.15) * light;
                    done = true;
                }
                if (!done && u >= 0) {
                    // The front of the page where it bends up, darker as it turns away.
                    const double phi = std::asin(std::min(1.0, u / radius));
                    if (page_point(radius * phi, &qx, &qy)) {
                        copy.sample(qx - 0.5, qy - 0.5, c);
                        const double light = 0.55 + 0.45 * std::cos(phi);
                        for (double& v : c)
                            v *= light;
                        done = true;
                    }
                }
            }
            if (!done) {
                if (u > 0) {
                    // Where the page has lifted away: what lies behind it.
                    for (int k = 0; k < 3; ++k)
                        c[k] = std::clamp(rp.curl_bg_rgb[k], 0, 255);
                    if (u < radius * 1.5)
                        for (double& v : c)
                            v *= 1 - shadow * 0.6 * (1 - u / (radius * 1.5));
                } else {
                    const float* o = copy.at(x, y);
                    c[0] = o[0], c[1] = o[1], c[2] = o[2];
                    // The curl's shadow on the page beside it.
                    if (-u < radius * 1.5 && lift > 0)
                        for (double& v : c)
                            v *= 1 - shadow * 0.5 * (1 + u / (radius * 1.5));
                }
            }
            gen::put(target->pixel(x, y), gen::clamp255(c[0]), gen::clamp255(c[1]), gen::clamp255(c[2]), m, alpha);
        }
    }
    return 0;
}
