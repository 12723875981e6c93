#include "particles/simulate.h"

#include "core/mem.h"
#include "core/messages.h"
#include "core/progress.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr float kPi = 3.14159265358979f;
constexpr float kGoldenAngle = 2.39996323f;
constexpr long kMaxStartAdvance = 10000;  // frames a particle may be run ahead at generation

// A counter-based generator: every particle carries its own counter, so
// that one particle's draws never shift another's.
inline uint32_t mix(uint32_t x)
{
    x ^= x >> 16;
    x *= 0x7feb352dU;
    x ^= x >> 15;
    x *= 0x846ca68bU;
    x ^= x >> 16;
    return x;
}

inline float next01(uint32_t& state)
{
    state += 0x9E3779B9U;
    return static_cast<float>(mix(state) >> 8) * (1.0f / 16777216.0f);
}

inline float next11(uint32_t& state)
{
    return next01(state) * 2.0f - 1.0f;
}

inline float lerp(float a, float b, float u)
{
    return a + (b - a) * u;
}

// Where a particle of time t stands in a force's window, 0 to 1.
inline float ramp_pos(const Force& f, float t)
{
    if (!(f.fend > f.fbegin))
        return t >= f.fbegin ? 1.0f : 0.0f;
    float u = (t - f.fbegin) / (f.fend - f.fbegin);
    return u < 0 ? 0.0f : u > 1 ? 1.0f : u;
}

inline float falloff(float d, float reach)
{
    if (!(reach > 0))
        return 1.0f;
    float f = 1.0f - d / reach;
    return f > 0 ? f : 0.0f;
}

inline float clamp01(float v)
{
    return v < 0 ? 0.0f : v > 1 ? 1.0f : v;
}

// A point of the emitter's unit shape: the square [-1, 1]^k or the unit
// disc or ball, with the middle out to `minsrad` left empty.
void unit_point(const ParticleSystem& s, uint32_t& rng, bool flat, float& cx, float& cy, float& cz)
{
    float m = clamp01(s.minsrad);
    if (s.circular) {
        if (flat) {
            float r = std::sqrt(m * m + next01(rng) * (1 - m * m));
            float a = 2 * kPi * next01(rng);
            cx = r * std::cos(a);
            cy = r * std::sin(a);
            cz = 0;
            next01(rng);
        } else {
            float r = std::cbrt(m * m * m + next01(rng) * (1 - m * m * m));
            float z = next11(rng);
            float a = 2 * kPi * next01(rng);
            float rr = std::sqrt(std::max(0.0f, 1 - z * z));
            cx = r * rr * std::cos(a);
            cy = r * rr * std::sin(a);
            cz = r * z;
        }
        return;
    }
    for (int tries = 0;; ++tries) {
        cx = next11(rng);
        cy = next11(rng);
        cz = flat ? 0.0f : next11(rng);
        float big = std::max({std::fabs(cx), std::fabs(cy), std::fabs(cz)});
        if (big >= m)
            return;
        if (tries == 16) {
            // A thin shell: the last point goes out onto it.
            float k = big > 0 ? m / big : 0;
            cx = big > 0 ? cx * k : m;
            cy *= k;
            cz *= k;
            return;
        }
    }
}

// A point of a rectangle of the picture, turned into system coordinates at
// depth z (where it is seen at that picture point).
void picture_point(const PsysRun& run, uint32_t& rng, float left, float top, float width, float height, float z,
                   Particle& p)
{
    float cx, cy, cz;
    unit_point(run.sys, rng, true, cx, cy, cz);
    float px = left + (cx + 1) * 0.5f * width;
    float py = top + (cy + 1) * 0.5f * height;
    float depth = run.sys.twodee ? 1.0f : 1 + z * run.sys.zscale;
    if (!(depth > 1e-3f))
        depth = 1;
    p.x = (px - run.stage.width * 0.5f) * depth;
    p.y = (py - run.stage.height * 0.5f) * depth;
    p.z = z;
}

void place(const PsysRun& run, Particle& p, uint32_t index)
{
    const ParticleSystem& s = run.sys;
    const bool flat2d = s.twodee != 0;
    uint32_t& rng = p.rng;
    float cx = 0, cy = 0, cz = 0;
    switch (s.areamode) {
    default:
    case 0:
        unit_point(s, rng, flat2d || s.zw == 0, cx, cy, cz);
        break;
    case 1: {
        // Evenly over the emitter: a sunflower spiral or a grid.
        float n = static_cast<float>(std::max(1, s.particlecount));
        float m = clamp01(s.minsrad);
        if (s.circular) {
            float r = std::sqrt((static_cast<float>(index) + 0.5f) / n);
            r = std::sqrt(m * m + r * r * (1 - m * m));
            float a = static_cast<float>(index) * kGoldenAngle;
            cx = r * std::cos(a);
            cy = r * std::sin(a);
        } else {
            float aspect = std::max(std::fabs(s.xw), 1e-3f) / std::max(std::fabs(s.yw), 1e-3f);
            double wide = std::min(std::sqrt(static_cast<double>(n) * aspect), static_cast<double>(n));
            long cols = std::clamp(std::lround(wide), 1L, static_cast<long>(n));
            long rows = (static_cast<long>(n) + cols - 1) / cols;
            cx = -1 + (2.0f * static_cast<float>(index % cols) + 1) / static_cast<float>(cols);
            cy = -1 + (2.0f * static_cast<float>(index / cols) + 1) / static_cast<float>(rows);
        }
        cz = flat2d ? 0.0f : next11(rng);
        break;
    }
    case 2:
        cx = next11(rng);
        break;
    case 3:
        cy = next11(rng);
        break;
    case 4:
    case 5:
    case 6: {
        float z = flat2d ? 0.0f : s.z + next11(rng) * s.zw * 0.5f;
        float w = static_cast<float>(run.stage.width), h = static_cast<float>(run.stage.height);
        if (s.areamode == 6 && !run.mask_weights.empty() && run.mask_weights.back() > 0) {
            uint64_t total = run.mask_weights.back();
            uint64_t high = mix(rng += 0x9E3779B9U);
            uint64_t low = mix(rng += 0x9E3779B9U);
            uint64_t pick = ((high << 32) | low) % total;
            size_t at = static_cast<size_t>(
                std::upper_bound(run.mask_weights.begin(), run.mask_weights.end(), pick) - run.mask_weights.begin());
            uint32_t cell = run.mask_cells[std::min(at, run.mask_cells.size() - 1)];
            float left = static_cast<float>(cell % static_cast<uint32_t>(run.stage.width));
            float top = static_cast<float>(cell / static_cast<uint32_t>(run.stage.width));
            picture_point(run, rng, left, top, 1, 1, z, p);
        } else if (s.areamode == 5 && run.stage.x1 >= run.stage.x0 && run.stage.y1 >= run.stage.y0) {
            picture_point(run, rng, static_cast<float>(run.stage.x0), static_cast<float>(run.stage.y0),
                          static_cast<float>(run.stage.x1 - run.stage.x0 + 1),
                          static_cast<float>(run.stage.y1 - run.stage.y0 + 1), z, p);
        } else {
            picture_point(run, rng, 0, 0, w, h, z, p);
        }
        return;
    }
    }
    p.x = s.x + cx * s.xw * 0.5f;
    p.y = s.y + cy * s.yw * 0.5f;
    p.z = flat2d ? 0.0f : s.z + cz * s.zw * 0.5f;
}

void rebirth(const PsysRun& run, Particle& p, uint32_t index)
{
    const ParticleSystem& s = run.sys;
    place(run, p, index);
    p.vx = s.xv;
    p.vy = s.yv;
    p.vz = s.twodee ? 0.0f : s.zv;
    p.age = 0;
    p.colour = p.birth_colour;
}

// Rotates v about the unit axis k by the angle whose cosine and sine are given.
inline void rotate(float& x, float& y, float& z, const float k[3], float c, float sn)
{
    float kx = k[0], ky = k[1], kz = k[2];
    float dot = kx * x + ky * y + kz * z;
    float cx = ky * z - kz * y, cy = kz * x - kx * z, cz = kx * y - ky * x;
    float nx = x * c + cx * sn + kx * dot * (1 - c);
    float ny = y * c + cy * sn + ky * dot * (1 - c);
    float nz = z * c + cz * sn + kz * dot * (1 - c);
    x = nx;
    y = ny;
    z = nz;
}

// One particle, one frame: forces push and turn it, it moves by its
// velocity scaled by the velocity-scale ramps, its colour advances, it
// ages and, past the age wrap, is born again.
void step_one(const PsysRun& run, Particle& p, uint32_t index, long frame)
{
    const ParticleSystem& s = run.sys;
    const bool flat2d = s.twodee != 0;
    const float t = p.age + p.time_advance;
    float ax = 0, ay = 0, az = 0, vs = 1, pa = 0;
    for (int n = 0; n < s.forcecount; ++n) {
        const Force& f = s.forces[n];
        if (!f.enable)
            continue;
        float u = ramp_pos(f, t);
        vs *= lerp(f.vsstart, f.vsend, u);
        if (t < f.fbegin || t > f.fend)
            continue;
        float k = 1;
        if (f.fdecay > 0)
            k = std::pow(1 - std::min(f.fdecay, 1.0f), t - f.fbegin);
        pa += lerp(f.pastart, f.paend, u);
        float rx = f.fxw - p.x, ry = f.fyw - p.y, rz = flat2d ? 0.0f : f.fzw - p.z;
        switch (f.ftype) {
        case FORCE_CONSTANT:
            ax += f.fxv * k;
            ay += f.fyv * k;
            az += f.fzv * k;
            break;
        case FORCE_LINEAR: {
            float g = k * falloff(std::sqrt(rx * rx + ry * ry + rz * rz), f.ftr);
            ax += f.fxv * g;
            ay += f.fyv * g;
            az += f.fzv * g;
            break;
        }
        case FORCE_RADIAL: {
            float d = std::sqrt(rx * rx + ry * ry + rz * rz);
            if (d > 1e-4f) {
                float g = f.fta * k * falloff(d, f.ftr) / d;
                ax += rx * g;
                ay += ry * g;
                az += rz * g;
            }
            break;
        }
        case FORCE_VORTEX: {
            float axis[3] = {0, 0, 1};
            if (!flat2d) {
                float len = std::sqrt(f.fxv * f.fxv + f.fyv * f.fyv + f.fzv * f.fzv);
                if (len > 1e-6f) {
                    axis[0] = f.fxv / len;
                    axis[1] = f.fyv / len;
                    axis[2] = f.fzv / len;
                }
            }
            // The reach is measured from the axis, not from the centre.
            float ox = -rx, oy = -ry, oz = -rz;
            float along = ox * axis[0] + oy * axis[1] + oz * axis[2];
            float px = ox - along * axis[0], py = oy - along * axis[1], pz = oz - along * axis[2];
            float angle = f.fta * k * falloff(std::sqrt(px * px + py * py + pz * pz), f.ftr) * (kPi / 180);
            if (angle != 0) {
                float c = std::cos(angle), sn = std::sin(angle);
                rotate(ox, oy, oz, axis, c, sn);
                p.x = f.fxw + ox;
                p.y = f.fyw + oy;
                if (!flat2d)
                    p.z = f.fzw + oz;
                rotate(p.vx, p.vy, p.vz, axis, c, sn);
                if (flat2d)
                    p.vz = 0;
            }
            break;
        }
        default:
            break;
        }
        float turb = lerp(f.turbstart, f.turbend, u) * k;
        if (turb != 0) {
            uint32_t h = mix(static_cast<uint32_t>(s.seed) ^
                             mix(static_cast<uint32_t>(frame) ^ mix(index ^ mix(static_cast<uint32_t>(n) + 0x3C6EF372U))));
            ax += next11(h) * turb;
            ay += next11(h) * turb;
            az += next11(h) * turb;
        }
    }
    if (flat2d)
        az = 0;
    p.vx += ax;
    p.vy += ay;
    p.vz += az;
    p.x += p.vx * vs;
    p.y += p.vy * vs;
    p.z += p.vz * vs;
    // The colour stays within the palette so that it never loses precision.
    float count = static_cast<float>(std::max(1, run.palette.count));
    p.colour += pa;
    if (s.palettewrap) {
        p.colour = std::fmod(p.colour, count);
        if (p.colour < 0)
            p.colour += count;
    } else {
        p.colour = std::clamp(p.colour, 0.0f, count - 1);
    }
    if (!std::isfinite(p.colour))
        p.colour = 0;
    p.age += 1;
    if (s.agewrap > 0 && p.age >= static_cast<float>(s.agewrap))
        rebirth(run, p, index);
}

void build_mask_table(PsysRun& run)
{
    run.mask_cells.clear();
    run.mask_weights.clear();
    const PsysStage& st = run.stage;
    if (run.sys.areamode != 6 || !st.mask || st.width <= 0 || st.height <= 0)
        return;
    uint64_t total = 0;
    long count = st.width * st.height;
    for (long i = 0; i < count; ++i)
        if (st.mask[i]) {
            total += st.mask[i];
            run.mask_cells.push_back(static_cast<uint32_t>(i));
            run.mask_weights.push_back(total);
        }
}

inline uint8_t add_sat(int a, int b)
{
    int v = a + b;
    return static_cast<uint8_t>(v > 255 ? 255 : v);
}

struct Disc {
    float sx, sy, r, amp;
    uint8_t rgb[3];
};

void draw_disc(const Disc& d, uint8_t* pixels, long width, long height, const uint8_t* mask, bool clip,
               bool additive)
{
    float re = std::max(d.r, 0.7f);
    float amp = d.amp;
    if (d.r < re)
        amp *= (d.r * d.r) / (re * re);  // a small particle is dimmer, not gone
    float re2 = re * re;
    float inv = 1.0f / re2;
    float a256 = amp * 256.0f;
    long xa = static_cast<long>(std::floor(d.sx - re)), xb = static_cast<long>(std::floor(d.sx + re));
    long ya = static_cast<long>(std::floor(d.sy - re)), yb = static_cast<long>(std::floor(d.sy + re));
    if (clip) {
        xa = std::max(xa, 0L);
        ya = std::max(ya, 0L);
        xb = std::min(xb, width - 1);
        yb = std::min(yb, height - 1);
    } else {
        xb = std::min(xb, xa + width - 1);
        yb = std::min(yb, ya + height - 1);
    }
    const int cr = d.rgb[0], cg = d.rgb[1], cb = d.rgb[2];
    for (long y = ya; y <= yb; ++y) {
        float dy = static_cast<float>(y) + 0.5f - d.sy;
        float dy2 = dy * dy;
        if (dy2 >= re2)
            continue;
        long yy = clip ? y : ((y % height) + height) % height;
        uint8_t* row = pixels + 4 * yy * width;
        const uint8_t* mrow = mask ? mask + yy * width : nullptr;
        for (long x = xa; x <= xb; ++x) {
            float dx = static_cast<float>(x) + 0.5f - d.sx;
            float d2 = dx * dx + dy2;
            if (d2 >= re2)
                continue;
            float q = 1 - d2 * inv;
            int w = static_cast<int>(q * q * a256 + 0.5f);
            long xx = clip ? x : ((x % width) + width) % width;
            if (mrow)
                w = (w * mrow[xx] + 127) / 255;
            if (w <= 0)
                continue;
            uint8_t* p = row + 4 * xx;
            if (additive) {
                p[0] = add_sat(p[0], (cr * w + 128) >> 8);
                p[1] = add_sat(p[1], (cg * w + 128) >> 8);
                p[2] = add_sat(p[2], (cb * w + 128) >> 8);
                p[3] = add_sat(p[3], (255 * w + 128) >> 8);
            } else {
                p[0] = static_cast<uint8_t>(p[0] + (((cr - p[0]) * w) >> 8));
                p[1] = static_cast<uint8_t>(p[1] + (((cg - p[1]) * w) >> 8));
                p[2] = static_cast<uint8_t>(p[2] + (((cb - p[2]) * w) >> 8));
                p[3] = static_cast<uint8_t>(p[3] + (((255 - p[3]) * w + 128) >> 8));
            }
        }
    }
}

} // namespace

int psys_alloc_particles(ParticleSystem& sys)
{
    sys.particles = mem_free_t(sys.particles);
    if (sys.particlecount <= 0)
        return PSL_OK;
    if (sys.particlecount > psys_limits().max_particles ||
        !(sys.particles = mem_alloc_as<Particle>(sys.particlecount, "parti"))) {
        std::string why = "no memory for " + std::to_string(sys.particlecount) + " particles";
        error_box(psys_error_text(PSL_NO_MEMORY_PARTICLES).c_str(), why.c_str());
        return PSL_NO_MEMORY_PARTICLES;
    }
    std::memset(static_cast<void*>(sys.particles), 0, static_cast<size_t>(sys.particlecount) * sizeof(Particle));
    return PSL_OK;
}

int psys_generate(PsysRun& run, bool progress)
{
    ParticleSystem& s = run.sys;
    run.frame = 0;
    build_mask_table(run);
    const long n = s.particles ? s.particlecount : 0;
    const uint32_t seed = mix(static_cast<uint32_t>(s.seed) ^ 0x5bd1e995U);
    const long every = std::max(1L, n / 50);
    const bool sizes = s.minsize != 1.0f || s.maxsize != 1.0f;
    const float colours = static_cast<float>(std::max(1, run.palette.count));
    if (progress)
        progress_open("Gen particles", n);
    for (long i = 0; i < n; ++i) {
        if (progress && i % every == 0 && progress_update(i)) {
            progress_close();
            s.particles = mem_free_t(s.particles);
            error_box(psys_error_text(PSL_CANCELLED).c_str());
            return PSL_CANCELLED;
        }
        Particle& p = s.particles[i];
        const uint32_t index = static_cast<uint32_t>(i);
        p.rng = mix(seed + mix(index * 0x9E3779B9U + 0x632BE5ABU));
        // The same four draws for every particle, used or not, so that one
        // setting never reshuffles the others.
        float u_size = next01(p.rng), u_time = next01(p.rng), u_start = next01(p.rng), u_colour = next01(p.rng);
        p.size = sizes ? lerp(s.minsize, s.maxsize, u_size) : 1.0f;
        p.time_advance = s.timeadvancerange != 0 ? u_time * s.timeadvancerange : 0.0f;
        long start = 0;
        if (s.advancerange != 0)
            start = static_cast<long>(std::min(u_start * std::fabs(s.advancerange), static_cast<float>(kMaxStartAdvance)));
        p.birth_colour = s.stickypalette ? std::min(u_colour * colours, colours - 1e-3f) : 0.0f;
        rebirth(run, p, index);
        for (long j = 0; j < start; ++j)
            step_one(run, p, index, j - start);
    }
    if (progress) {
        progress_update(n);
        progress_close();
    }
    return PSL_OK;
}

void psys_step(PsysRun& run)
{
    ParticleSystem& s = run.sys;
    if (s.particles)
        for (long i = 0; i < s.particlecount; ++i)
            step_one(run, s.particles[i], static_cast<uint32_t>(i), run.frame);
    run.frame += 1;
}

bool psys_advance(PsysRun& run, long frame, bool progress)
{
    long steps = frame - run.frame;
    if (steps <= 0)
        return true;
    bool meter = progress && steps > 1;
    if (meter)
        progress_open("Calc particles", steps);
    bool done = true;
    for (long k = 0; k < steps; ++k) {
        if (meter && progress_update(k)) {
            done = false;
            break;
        }
        psys_step(run);
    }
    if (meter)
        progress_close();
    return done;
}

bool psys_draw(const PsysRun& run, uint8_t* pixels, long width, long height, const uint8_t* mask, bool progress)
{
    const ParticleSystem& s = run.sys;
    if (!s.particles || s.particlecount <= 0 || !pixels || width <= 0 || height <= 0)
        return true;
    const long n = s.particlecount;
    const bool flat2d = s.twodee != 0;
    // Laid over one another, the far ones go first.
    // The depth turned into an unsigned key that sorts far first, with the
    // particle's number below it, so that equal depths keep their order.
    std::vector<uint64_t> order;
    if (!s.additive && !flat2d) {
        order.resize(static_cast<size_t>(n));
        for (long i = 0; i < n; ++i) {
            uint32_t bits;
            float z = std::isnan(s.particles[i].z) ? 0.0f : s.particles[i].z;
            std::memcpy(&bits, &z, sizeof bits);
            uint32_t rising = (bits & 0x80000000U) ? ~bits : bits | 0x80000000U;
            order[static_cast<size_t>(i)] = (static_cast<uint64_t>(~rising) << 32) | static_cast<uint32_t>(i);
        }
        std::sort(order.begin(), order.end());
    }
    const float limit = 4.0f * static_cast<float>(std::max(width, height));
    const long every = 16384;
    if (progress)
        progress_open("Draw particles", n);
    bool done = true;
    for (long k = 0; k < n; ++k) {
        if (progress && k % every == 0 && progress_update(k)) {
            done = false;
            break;
        }
        const Particle& p = s.particles[order.empty() ? k : static_cast<long>(order[static_cast<size_t>(k)] & 0xffffffffU)];
        const float t = p.age + p.time_advance;
        float size_mul = 1, fade = 1;
        for (int i = 0; i < s.forcecount; ++i) {
            const Force& f = s.forces[i];
            if (!f.enable)
                continue;
            float u = ramp_pos(f, t);
            size_mul *= lerp(f.sizestart, f.sizeend, u);
            fade *= lerp(f.fadestart, f.fadeend, u);
        }
        float scale = 1;
        if (!flat2d) {
            float depth = 1 + p.z * s.zscale;
            if (!(depth > 1e-3f))
                continue;  // behind the viewer
            scale = 1 / depth;
        }
        Disc d;
        d.sx = static_cast<float>(width) * 0.5f + p.x * scale;
        d.sy = static_cast<float>(height) * 0.5f + p.y * scale;
        d.r = std::min(p.size * size_mul * scale, limit);
        d.amp = clamp01(fade);
        if (!(d.r > 0) || !(d.amp > 0) || !std::isfinite(d.sx) || !std::isfinite(d.sy))
            continue;
        if (s.clip) {
            float re = std::max(d.r, 0.7f);
            if (d.sx + re < 0 || d.sy + re < 0 || d.sx - re > static_cast<float>(width) ||
                d.sy - re > static_cast<float>(height))
                continue;
        } else {
            if (std::fabs(d.sx) > 1e9f || std::fabs(d.sy) > 1e9f)
                continue;
            d.sx = std::fmod(d.sx, static_cast<float>(width));
            d.sy = std::fmod(d.sy, static_cast<float>(height));
            if (d.sx < 0)
                d.sx += static_cast<float>(width);
            if (d.sy < 0)
                d.sy += static_cast<float>(height);
        }
        psys_colour(s, run.palette, p.colour, d.rgb);
        draw_disc(d, pixels, width, height, mask, s.clip != 0, s.additive != 0);
    }
    if (progress)
        progress_close();
    return done;
}

void psys_release(PsysRun& run)
{
    psys_free(run.sys);
    run.mask_cells = {};
    run.mask_weights = {};
    run.frame = 0;
}

void psys_colour(const ParticleSystem& s, const PsysPalette& pal, float position, uint8_t rgb[3])
{
    int count = std::max(1, pal.count);
    if (pal.count <= 0) {
        rgb[0] = rgb[1] = rgb[2] = 255;
        return;
    }
    float pos = std::isfinite(position) ? position : 0.0f;
    if (s.palettewrap) {
        pos = std::fmod(pos, static_cast<float>(count));
        if (pos < 0)
            pos += static_cast<float>(count);
    } else {
        pos = std::clamp(pos, 0.0f, static_cast<float>(count - 1));
    }
    int i = std::min(static_cast<int>(pos), count - 1);
    float frac = pos - static_cast<float>(i);
    int j = i + 1 < count ? i + 1 : (s.palettewrap ? 0 : i);
    const uint8_t* chans[3] = {pal.red, pal.green, pal.blue};
    for (int c = 0; c < 3; ++c)
        rgb[c] = static_cast<uint8_t>(std::lround(lerp(chans[c][i], chans[c][j], frac)));
}
