#include "raytrace/raytrace.h"

#include "core/app.h"
#include "core/image.h"
#include "core/log.h"
#include "core/mem.h"
#include "core/messages.h"
#include "core/progress.h"
#include "core/safe_write.h"
#include "core/settings.h"
#include "formats/load_save.h"
#include "raytrace/scene.h"
#include "raytrace/tracer.h"
#include "ops/catalogue.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <strings.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

RaytraceState g_state;
void (*g_depth_observer)(const float*, long, long) = nullptr;

struct BoundMap {
    Image* image = nullptr;
    float* xb = nullptr;
    float* yb = nullptr;
};

struct RunMaps {
    std::vector<BoundMap> maps;   // per surface: image map
    std::vector<BoundMap> bumps;  // per surface: bump map
    bool loaded_any = false;
};

std::string join(const std::string& dir, const std::string& name)
{
    if (dir.empty())
        return name;
    if (dir.back() == '/')
        return dir + name;
    return dir + "/" + name;
}

// The open image whose full name (its path, which holds the file's name,
// or its folder joined with its name) is `name`.
Image* open_image_named(const std::string& name)
{
    for (Image* image : image_store().slots) {
        if (!image)
            continue;
        if (strcasecmp(image->path, name.c_str()) == 0 ||
            (image->name[0] && strcasecmp(join(image->path, image->name).c_str(), name.c_str()) == 0))
            return image;
    }
    return nullptr;
}

// The image a map names: "source" is the source image; else an open image of
// that name, else the file of that name loaded as a new image (a relative
// name is also looked for beside the scene).  Null when there is none.
Image* find_map_image(const char* name, bool& loaded)
{
    if (strcasecmp(name, "source") == 0)
        return image_role(ImageRole::Source);
    std::vector<std::string> names{name};
    if (name[0] != '/' && scene().scene_dir[0])
        names.push_back(join(scene().scene_dir, name));
    for (const std::string& n : names)
        if (Image* image = open_image_named(n))
            return image;
    for (const std::string& n : names)
        if (access(n.c_str(), R_OK) == 0) {
            Image* image = load_image(n.c_str());
            loaded = loaded || image != nullptr;
            return image;
        }
    for (Image* image : image_store().slots)
        if (image && image->name[0] && strcasecmp(image->name, name) == 0)
            return image;
    return nullptr;
}

void unbind(RunMaps& run)
{
    for (BoundMap& m : run.maps)
        if (m.image) {
            image_unlock(m.image);
            m.image = nullptr;
        }
    for (BoundMap& m : run.bumps) {
        if (m.image) {
            image_unlock(m.image);
            m.image = nullptr;
        }
        m.xb = mem_free_t(m.xb);
        m.yb = mem_free_t(m.yb);
    }
}

bool make_gradients(Image* image, BoundMap& m)
{
    long w = image->width, h = image->height;
    m.xb = static_cast<float*>(mem_alloc(w * h * static_cast<long>(sizeof(float)), "xb"));
    m.yb = static_cast<float*>(mem_alloc(w * h * static_cast<long>(sizeof(float)), "yb"));
    if (!m.xb || !m.yb) {
        m.xb = mem_free_t(m.xb);
        m.yb = mem_free_t(m.yb);
        return false;
    }
    raytrace_gradients(image, m.xb, m.yb);
    return true;
}

void bind_maps(Tracer& tracer, RunMaps& run)
{
    size_t count = static_cast<size_t>(tracer.surface_count);
    run.maps.assign(count, BoundMap{});
    run.bumps.assign(count, BoundMap{});
    for (size_t i = 0; i < count; ++i) {
        const Surface& s = tracer.surfaces[i];
        if (s.imagemap.use && s.imagemap.name[0]) {
            Image* image = find_map_image(s.imagemap.name, run.loaded_any);
            if (image && image_lock(image) == 0) {
                run.maps[i].image = image;
                SurfaceMaps& m = tracer.maps[i];
                m.map = image->pixels;
                m.map_rows = image->rows;
                m.map_w = static_cast<int>(image->width);
                m.map_h = image->height;
            } else {
                if (image)
                    image_unlock(image);
                log_printf("Image map \"%s\" not found; switched off\n", s.imagemap.name);
            }
        }
        if (s.bumpmap.use && s.bumpmap.name[0]) {
            Image* image = find_map_image(s.bumpmap.name, run.loaded_any);
            if (image && image_lock(image) == 0) {
                BoundMap& b = run.bumps[i];
                if (make_gradients(image, b)) {
                    b.image = image;
                    SurfaceMaps& m = tracer.maps[i];
                    m.xb = b.xb;
                    m.yb = b.yb;
                    m.bump_w = static_cast<int>(image->width);
                    m.bump_h = image->height;
                } else {
                    image_unlock(image);
                }
            } else {
                if (image)
                    image_unlock(image);
                log_printf("Bump map \"%s\" not found; switched off\n", s.bumpmap.name);
            }
        }
    }
}

inline uint8_t to_byte(double v)
{
    if (!(v > 0))
        return 0;
    if (v > 1.0)
        v = 1.0;
    return static_cast<uint8_t>(v * 255);
}

// One row of the picture; the same for any thread that renders it.
void render_row(const Tracer& tracer, uint8_t* pixels, float* depth, long width, long y, int aa, uint64_t serial0)
{
    int side = aa + 1;
    int n = side * side;
    double step = 1.0 / side;
    for (long x = 0; x < width; ++x) {
        uint8_t* px = pixels + 4 * (y * width + x);
        uint64_t serial = serial0 + static_cast<uint64_t>(y * width + x) * static_cast<uint64_t>(n);
        if (aa == 0) {
            TraceResult r = tracer_primary(tracer, static_cast<double>(x), static_cast<double>(y), serial);
            if (r.a != 0) {
                px[0] = to_byte(r.r);
                px[1] = to_byte(r.g);
                px[2] = to_byte(r.b);
                px[3] = 255;
            }
            depth[y * width + x] = static_cast<float>(r.distance);
            continue;
        }
        double sum[4] = {0, 0, 0, 0};
        double dist = 0;
        int hits = 0;
        int k = 0;
        for (int j = 0; j < side; ++j)
            for (int i = 0; i < side; ++i, ++k) {
                TraceResult r = tracer_primary(tracer, x + i * step, y + j * step, serial + static_cast<uint64_t>(k));
                dist += r.distance;
                if (r.a != 0) {
                    sum[0] += r.r;
                    sum[1] += r.g;
                    sum[2] += r.b;
                    sum[3] += r.a;
                    ++hits;
                }
            }
        for (int c = 0; c < 4; ++c) {
            double p = px[c] / 255.0;
            px[c] = to_byte(((n - hits) * p + sum[c]) / n);
        }
        depth[y * width + x] = hits ? static_cast<float>(dist / hits) : 1e10f;
    }
}

int thread_count(long rows)
{
    int n = g_state.threads;
    if (n <= 0)
        n = static_cast<int>(std::thread::hardware_concurrency());
    n = std::clamp(n, 1, 64);
    return static_cast<int>(std::min<long>(n, std::max<long>(rows, 1)));
}

// Rows go to whichever thread is free; the interface thread takes rows too
// and keeps the meter going.  Returns false when cancelled.
bool render(const Tracer& tracer, uint8_t* pixels, float* depth, long width, long height, int aa)
{
    uint64_t serial0 = g_state.serial;
    g_state.serial += static_cast<uint64_t>(width) * static_cast<uint64_t>(height) *
                      static_cast<uint64_t>((aa + 1) * (aa + 1));
    std::atomic<long> next_row{0};
    std::atomic<long> rows_done{0};
    std::atomic<bool> stop{false};
    auto work = [&]() {
        for (;;) {
            if (stop.load(std::memory_order_relaxed))
                return;
            long y = next_row.fetch_add(1);
            if (y >= height)
                return;
            render_row(tracer, pixels, depth, width, y, aa, serial0);
            rows_done.fetch_add(1);
        }
    };
    int threads = thread_count(height);
    std::vector<std::thread> helpers;
    for (int i = 1; i < threads; ++i)
        helpers.emplace_back(work);
    progress_open("Tracing", height, 1);
    bool cancelled = false;
    for (;;) {
        if (progress_update(rows_done.load())) {
            cancelled = true;
            stop = true;
            break;
        }
        long y = next_row.fetch_add(1);
        if (y >= height)
            break;
        render_row(tracer, pixels, depth, width, y, aa, serial0);
        rows_done.fetch_add(1);
    }
    for (std::thread& th : helpers)
        th.join();
    progress_update(rows_done.load());
    progress_close();
    g_state.last_rows_done = rows_done.load();
    return !cancelled;
}

void depth_map(uint8_t* pixels, const float* depth, long count, double near, double far)
{
    if (near == far) {
        double lo = 1e30, hi = -1e30;
        for (long i = 0; i < count; ++i)
            if (depth[i] < 1e10f) {
                lo = std::min(lo, static_cast<double>(depth[i]));
                hi = std::max(hi, static_cast<double>(depth[i]));
            }
        if (lo <= hi) {
            near = lo;
            far = hi;
        }
    }
    for (long i = 0; i < count; ++i) {
        double d = depth[i];
        uint8_t grey;
        if (d < near)
            grey = 255;
        else if (d > far)
            grey = 0;
        else if (far > near)
            grey = static_cast<uint8_t>((1 - std::fabs(d - near) / (far - near)) * 255);
        else
            grey = 255;
        uint8_t* px = pixels + 4 * i;
        px[0] = px[1] = px[2] = grey;
        px[3] = 255;
    }
}

bool g_location_taken = false;

// The operation's folder and file start from the preferences.
void take_location()
{
    if (g_location_taken)
        return;
    g_location_taken = true;
    // The folder current at start-up is the default: kept as "" (the current
    // folder), so that the operation's defaults read the same anywhere.
    const std::string& dir = settings().scene_path;
    std::snprintf(g_state.scene_dir, sizeof g_state.scene_dir, "%s",
                  dir == app_start_folder() ? "" : dir.c_str());
    std::snprintf(g_state.scene_file, sizeof g_state.scene_file, "%s",
                  settings().scene_file.empty() ? kRaytraceDefaultScene : settings().scene_file.c_str());
}

OpSlot text_slot(char* buffer, const char* key, const char* label)
{
    OpSlot s{};
    s.var = buffer;
    s.control = 1;
    s.kind = SLOT_TEXT;
    s.label = label;
    s.key = key;
    s.text_size = kRaytracePath;
    return s;
}

// The folder and file are taken once the preferences are read: the hook
// that runs then is chained.
long (*g_next_check)(long) = nullptr;
long after_preferences(long stored)
{
    g_location_taken = false;
    take_location();
    return g_next_check ? g_next_check(stored) : stored;
}

constexpr const char* kRayTraceDoc = R"(Traces a three-dimensional scene, described in a scene file, into
the image, over what it shows: rays that hit nothing leave the pixel as it was, so a scene can be
traced over a photograph. The camera, lights, objects, surfaces, textures and maps are the scene
file's (docs/scene-language.md); the samples are in `data/scenes/`.

- `aa`: anti-aliasing, 0..4: (aa + 1)² rays a pixel; a pixel partly hit is blended over its old value.
- `folder`: the scene's folder; empty is the current folder.
- `scene`: the scene file (`*.w3d`). A name without a folder that is not in the current folder is
  looked for among the samples, so the default, `glass.w3d`, traces from anywhere.

The scene is kept with the preferences ("ScenePath", "SceneFile") when the workstation applies it;
`vq apply` keeps it only with `--save-settings`. A file that is not a scene (a picture named by
mistake) is refused. The whole image is captured for undo; inside an area the old pixels show
outside it.)";

bool register_operation()
{
    if (app_hooks().check_operation != after_preferences) {
        g_next_check = app_hooks().check_operation;
        app_hooks().check_operation = after_preferences;
    }
    static OpSlot slots[3];
    slots[0] = slot_int(&g_state.aa_level, "aa", "Anti-alias level", 0, kRaytraceMaxAA, 0, kRaytraceMaxAA);
    slots[1] = text_slot(g_state.scene_dir, "folder", "Scene folder");
    slots[2] = text_slot(g_state.scene_file, "scene", "Scene file");
    slots[2].browse = "Scenes (*.W3D)|*.W3D|All Files (*.*)|*.*|";
    OpRow b{};
    b.command = opcmd::RayTrace;
    b.worker.whole = raytrace_worker;
    b.slots = slots;
    b.doc = kRayTraceDoc;
    op_register(b);
    return true;
}

void release_operation()
{
    if (app_hooks().check_operation == after_preferences)
        app_hooks().check_operation = g_next_check;
    g_next_check = nullptr;
    g_location_taken = false;
}

struct Registrar {
    Registrar() { app_add_subsystem("raytrace", register_operation, release_operation); }
} g_registrar;

} // namespace

// Named by raytrace/module.cmake so that the linker keeps this file.
extern "C" {
int raytrace_link_anchor = 0;
}

namespace {

} // namespace

void raytrace_gradients(Image* image, float* xb, float* yb)
{
    long w = image->width, h = image->height;
    auto g = [&](long x, long y) { return image->pixel(static_cast<int>(x), static_cast<int>(y))[1] / 255.0f; };
    for (long y = 0; y < h; ++y) {
        long up = y == 0 ? h - 1 : y - 1, down = y == h - 1 ? 0 : y + 1;
        for (long x = 0; x < w; ++x) {
            long left = x == 0 ? w - 1 : x - 1, right = x == w - 1 ? 0 : x + 1;
            xb[y * w + x] = (g(left, y) - g(right, y)) / 2;
            yb[y * w + x] = (g(x, up) - g(x, down)) / 2;
        }
    }
}

RaytraceState& raytrace_state()
{
    return g_state;
}

const char* raytrace_scene_dir()
{
    take_location();
    return g_state.scene_dir;
}

const char* raytrace_scene_file()
{
    take_location();
    return g_state.scene_file;
}

int raytrace_worker(Image* target, uint8_t* mask)
{
    if (!target || !target->pixels)
        return 1;
    long w = target->width, h = target->height;
    // Where the area lets only part through, the old pixels show.
    bool partial = false;
    if (mask)
        for (long y = 0; y < h && !partial; ++y)
            for (long x = 0; x < w; ++x)
                if (mask[target->rows[y] + x] != 255) {
                    partial = true;
                    break;
                }
    std::vector<uint8_t> old;
    if (partial)
        old.assign(target->pixels, target->pixels + 4 * w * h);
    int code = raytrace_run(target, target->pixels, w, h);
    if (partial && code != 1) {
        for (long y = 0; y < h; ++y)
            for (long x = 0; x < w; ++x) {
                int m = mask[target->rows[y] + x];
                uint8_t* p = target->pixel(static_cast<int>(x), static_cast<int>(y));
                const uint8_t* o = &old[4 * (y * w + x)];
                for (int c = 0; c < 4; ++c)
                    p[c] = static_cast<uint8_t>((p[c] * m + o[c] * (255 - m)) / 255);
            }
    }
    // The folder and file go back to the preferences.
    settings().scene_path = g_state.scene_dir;
    settings().scene_file = g_state.scene_file;
    return code == 1 ? 1 : 0;
}

void raytrace_set_depth_observer(void (*observer)(const float*, long, long))
{
    g_depth_observer = observer;
}

namespace {

// The sample scenes: $GLIMVQ_DATA/scenes, else data/scenes of the source tree.
std::string samples_folder()
{
    const char* env = std::getenv("GLIMVQ_DATA");
    std::string data = env && *env ? env : GLIMVQ_DATA_DIR;
    return data + "/scenes";
}

// A scene named without a folder that is not in the current folder is one
// of the samples (the operation's default is one).
std::string resolve_scene(const std::string& path)
{
    if (path.empty() || path.find('/') != std::string::npos || access(path.c_str(), F_OK) == 0)
        return path;
    std::string sample = samples_folder() + "/" + path;
    return access(sample.c_str(), R_OK) == 0 ? sample : path;
}

// A scene is text: a picture or other binary file named by mistake would
// otherwise parse to an empty scene and a black image.  False after the
// user was told why.
bool scene_text_or_say(const std::string& path)
{
    std::string where = "Scene: " + path;
    FILE* f = open_for_reading(path.c_str());
    if (!f) {
        error_box(scene_error_text(SCENE_READ_FAILED), (where + ": " + std::strerror(errno)).c_str());
        return false;
    }
    unsigned char head[4096];
    size_t n = std::fread(head, 1, sizeof head, f);
    std::fclose(f);
    for (size_t i = 0; i < n; ++i)
        if (head[i] == 0 || (head[i] < 32 && !std::strchr("\t\n\r\f\v\x1a", head[i]))) {
            error_box("Not a scene file", (where + ": it holds binary data, not the text of a scene").c_str());
            return false;
        }
    return true;
}

int run_path(const std::string& scene_path, Image* target, uint8_t* pixels, long width, long height, int aa)
{
    aa = std::clamp(aa, 0, kRaytraceMaxAA);
    g_state.last_prims = g_state.last_lights = g_state.last_rows_done = 0;
    g_state.last_depthmap = false;
    (void)target;

    // 1. A fresh scene: defaults, camera, counters.
    scene_begin();
    // 3. The library folder goes in front of a relative scene path, when
    // the scene is there: the folder stays from an earlier run, and a scene
    // named from the current folder must not be looked for inside it.
    std::string path = resolve_scene(scene_path);
    if (scene().libdir[0] && !path.empty() && path[0] != '/') {
        std::string in_library = join(scene().libdir, path);
        if (access(in_library.c_str(), R_OK) == 0)
            path = in_library;
    }
    log_printf("Ray trace : %s %ldx%ld AA %d\n", path.c_str(), width, height, aa);
    if (!scene_text_or_say(path)) {
        scene_release();
        return 1;
    }
    int code = scene_parse_file(path.c_str());
    // 4. A parse that failed is reported, and nothing is drawn.
    if (code != SCENE_OK) {
        if (code != SCENE_CANCELLED) {
            std::string where = "Scene: " + path;
            error_box(scene_error_text(code), where.c_str());
        }
        scene_release();
        return code == SCENE_CANCELLED ? 2 : 1;
    }

    Tracer tracer;
    // 7. Bounds gather their members while the hierarchy is built.
    tracer_prepare(tracer, width, height);
    RunMaps run;
    // 5. The maps the scene names.
    bind_maps(tracer, run);
    // 6. Nothing to bring back to the front here: loading opens no window.
    g_state.last_prims = tracer_prim_count(tracer);
    g_state.last_lights = static_cast<long>(tracer.lights.size());

    // 8. The picture.
    long count = width * height;
    float* depth = static_cast<float*>(mem_alloc(count * static_cast<long>(sizeof(float)), "3-d depth buffer"));
    int result = 0;
    if (!depth) {
        message_show(msg::NoMemoryOperation, "For the depth buffer");
        result = 1;
    } else {
        std::fill(depth, depth + count, 1e10f);
        if (!render(tracer, pixels, depth, width, height, aa))
            result = 2;
    }
    bool want_depthmap = scene().depthmap;
    double near = scene().depth_near, far = scene().depth_far;

    // 9. Maps, gradients and the scene go.
    unbind(run);
    scene_release();

    // 10. The depth map.
    if (depth) {
        if (g_depth_observer)
            g_depth_observer(depth, width, height);
        if (want_depthmap && result == 0) {
            depth_map(pixels, depth, count, near, far);
            g_state.last_depthmap = true;
        }
        depth = mem_free_t(depth);
    }
    return result;
}

} // namespace

int raytrace_run(Image* target, uint8_t* pixels, long width, long height)
{
    // 2. The scene folder and file joined.
    std::string path = join(raytrace_scene_dir(), raytrace_scene_file());
    return run_path(path, target, pixels, width, height, static_cast<int>(g_state.aa_level));
}

int raytrace_image(Image* target, const char* path, int aa)
{
    if (!target)
        return 1;
    ImageLock lock(target, msg::NoRealMemoryOperation);
    if (!lock)
        return 1;
    if (path)
        return run_path(path, target, target->pixels, target->width, target->height, aa);
    return raytrace_run(target, target->pixels, target->width, target->height);
}
