#include "particles/particles.h"

#include "areas/area_mask.h"
#include "core/app.h"
#include "core/image.h"
#include "core/log.h"
#include "core/messages.h"
#include "core/settings.h"
#include "ops/catalogue.h"
#include "ops/framework.h"
#include "particles/palette.h"
#include "particles/simulate.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

ParticlesState g_state;

// The run kept between draws, and what it was made from.
struct Kept {
    PsysRun run;
    std::string key;
    bool valid = false;
};
Kept g_kept;

constexpr const char* kDoc = R"(Draws a particle system into the image: a cloud of soft discs
made from a particle-system file ("*.PSY", see docs/particles.md), at the current frame of the
sequence being generated, or at frame 0 outside a sequence. Over the frames of a timeline the
particles move, so that a sequence of 60 frames shows the system in motion.

- `file`: the particle-system file. Empty takes the preferences' particle folder and file
  ("PartiPath", "ParticleSystem").

The particles are placed from the system's seed inside its emitter (or over the picture, the area
rectangle or the area itself, by its area mode), advanced one frame at a time under its forces
(constant, linear, radial and vortex forces, each acting on a particle between its begin and end
times, with decay and turbulence, and ramping the particle's size, fade, colour and speed), and
drawn as discs of radius `size` whose weight falls off as `(1 - d²/r²)²`, added to the picture or
laid over it, coloured from the system's palette. In 3-D a particle at depth `z` is drawn at
`1/(1 + z·zscale)` of its size and distance from the middle. The same file, picture size, area
and frame always give the same picture; a sequence keeps the system between frames and advances
it one frame at a time.)";

uint64_t fnv(const uint8_t* p, size_t n, uint64_t h = 1469598103934665603ULL)
{
    for (size_t i = 0; i < n; ++i) {
        h ^= p[i];
        h *= 1099511628211ULL;
    }
    return h;
}

template <class T>
void append(std::string& key, const T& v)
{
    key.append(reinterpret_cast<const char*>(&v), sizeof v);
}

bool load_palette(const ParticleSystem& sys, const char* path, PsysPalette& pal)
{
    if (!sys.palette[0]) {
        palette_white(pal);
        return true;
    }
    std::string file = psys_palette_path(sys.palette, path);
    return palette_read(file.c_str(), pal) == 0;
}

std::string folder_of(const std::string& path)
{
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string name_of(const std::string& path)
{
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool register_operation()
{
    static OpSlot slots[1];
    slots[0] = slot_text(g_state.file, SLOT_TEXT, kPsysName, "file", "Particle system file");
    OpRow row{};
    row.command = opcmd::Particles;
    row.worker.whole = particles_worker;
    row.prepare = particles_prepare;
    row.slots = slots;
    row.doc = kDoc;
    op_register(row);
    return true;
}

void release_operation()
{
    particles_forget();
}

struct Registrar {
    Registrar() { app_add_subsystem("particles", register_operation, release_operation); }
} g_registrar;

} // namespace

// Named by particles/module.cmake so that the linker keeps this file.
extern "C" {
int particles_link_anchor = 0;
}

ParticlesState& particles_state()
{
    return g_state;
}

const char* particles_file()
{
    static std::string from_settings;
    if (g_state.file[0])
        return g_state.file;
    const Settings& s = settings();
    if (s.particle_system.empty())
        return "";
    from_settings = s.parti_path.empty() || s.particle_system[0] == '/'
                        ? s.particle_system
                        : (s.parti_path.back() == '/' ? s.parti_path : s.parti_path + "/") + s.particle_system;
    return from_settings.c_str();
}

void particles_forget()
{
    psys_release(g_kept.run);
    g_kept.key.clear();
    g_kept.valid = false;
}

int particles_render(Image* target, const char* path, long frame, const uint8_t* mask, const AreaRect* rect)
{
    if (!target)
        return 1;
    if (!path || !path[0]) {
        message_show(msg::CannotOpenRequested, "No particle-system file is given.");
        return 1;
    }
    if (frame < 0)
        frame = 0;
    ParticleSystem sys;
    psys_defaults(sys);
    if (psys_read(path, sys, false) != PSL_OK)
        return 1;
    PsysPalette palette;
    if (!load_palette(sys, path, palette)) {
        psys_free(sys);
        return 1;
    }
    ImageLock lock(target, msg::NoRealMemoryOperation);
    if (!lock) {
        psys_free(sys);
        return 1;
    }
    const long w = target->width, h = target->height;

    PsysStage stage;
    stage.width = w;
    stage.height = h;
    stage.mask = mask;
    if (rect) {
        stage.x0 = std::max(0, rect->x0);
        stage.y0 = std::max(0, rect->y0);
        stage.x1 = std::min(static_cast<int>(w) - 1, rect->x1);
        stage.y1 = std::min(static_cast<int>(h) - 1, rect->y1);
    }
    // The key: the record, the palette's colours and what of the stage the
    // placement reads.
    std::string key = psys_key(sys);
    append(key, palette.count);
    key.append(reinterpret_cast<const char*>(palette.red), static_cast<size_t>(palette.count));
    key.append(reinterpret_cast<const char*>(palette.green), static_cast<size_t>(palette.count));
    key.append(reinterpret_cast<const char*>(palette.blue), static_cast<size_t>(palette.count));
    append(key, w);
    append(key, h);
    if (sys.areamode == 5) {
        append(key, stage.x0);
        append(key, stage.y0);
        append(key, stage.x1);
        append(key, stage.y1);
    }
    if (sys.areamode == 6 && mask)
        append(key, fnv(mask, static_cast<size_t>(w * h)));

    g_state.last_generated = false;
    if (!(g_kept.valid && g_kept.key == key && frame >= g_kept.run.frame)) {
        particles_forget();
        g_kept.run.sys = sys;  // the forces go with it
        sys.forces = nullptr;
        g_kept.run.palette = palette;
        g_kept.run.stage = stage;
        if (psys_alloc_particles(g_kept.run.sys) != PSL_OK) {
            particles_forget();
            return 1;
        }
        int code = psys_generate(g_kept.run, true);
        g_kept.run.stage.mask = nullptr;  // only its table is kept
        if (code != PSL_OK) {
            particles_forget();
            return code == PSL_CANCELLED ? 2 : 1;
        }
        g_kept.key = key;
        g_kept.valid = true;
        g_state.last_generated = true;
    } else {
        psys_free(sys);
    }
    long from = g_kept.run.frame;
    if (!psys_advance(g_kept.run, frame, true))
        return 2;
    g_state.last_steps = g_kept.run.frame - from;
    g_state.last_frame = frame;

    // A mask that lets everything through weighs nothing.
    const uint8_t* weigh = nullptr;
    if (mask)
        for (long i = 0; i < w * h; ++i)
            if (mask[i] != 255) {
                weigh = mask;
                break;
            }
    log_printf("Particles : %s frame %ld, %d particles\n", path, frame, g_kept.run.sys.particlecount);
    if (!psys_draw(g_kept.run, target->pixels, w, h, weigh, true))
        return 2;
    return 0;
}

int particles_prepare(Image*, int)
{
    const char* path = particles_file();
    if (!path[0]) {
        message_show(msg::CannotOpenRequested, "No particle-system file is given.");
        return 2;
    }
    // A file that cannot be read stops the operation before anything is
    // captured; the reader has said why.
    ParticleSystem sys;
    psys_defaults(sys);
    if (psys_read(path, sys, false) != PSL_OK)
        return 2;
    PsysPalette palette;
    bool ok = load_palette(sys, path, palette);
    psys_free(sys);
    return ok ? 0 : 2;
}

int particles_worker(Image* target, uint8_t* mask)
{
    const OpState& op = op_state();
    long frame = op.generating ? op.frame : 0;
    std::string path = particles_file();
    int code = particles_render(target, path.c_str(), frame, mask, &area_mask().rect);
    if (code == 0 && !g_state.file[0]) {
        // A file taken from the preferences becomes the parameter.
        std::snprintf(g_state.file, sizeof g_state.file, "%s", path.c_str());
    }
    if (code == 0) {
        settings().parti_path = folder_of(path);
        settings().particle_system = name_of(path);
    }
    return code == 0 ? 0 : 1;
}
