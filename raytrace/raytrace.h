// The ray-trace run: reads a scene file, binds the maps it names, traces
// every pixel of the target (with supersampling) over what is there, and
// turns the result into a depth map when the scene asks for one.
#pragma once

#include <cstdint>

struct Image;

constexpr int kRaytraceMaxAA = 4;
constexpr int kRaytracePath = 300;
// The operation's scene until one is chosen: a sample of data/scenes (a
// name without a folder that is missing from the current folder is looked
// for among the samples).
constexpr const char* kRaytraceDefaultScene = "glass.w3d";

struct RaytraceState {
    // The parameters of the "Ray Trace" operation: the scene folder and file
    // ("ScenePath", "SceneFile") and the anti-aliasing level 0 to 4,
    // (L + 1)^2 samples a pixel.
    char scene_dir[kRaytracePath] = "";
    char scene_file[kRaytracePath] = "";
    int32_t aa_level = 0;
    int threads = 0;       // threads that trace the picture; 0 = one per core
    uint64_t serial = 0;   // primary rays cast so far
    // What the last run did, for reports and tests.
    long last_prims = 0, last_lights = 0;
    long last_rows_done = 0;
    bool last_depthmap = false;
};
RaytraceState& raytrace_state();

// The scene folder and file of the operation, taken from the settings
// ("ScenePath", "SceneFile"; kRaytraceDefaultScene when none is set) until the
// operation's parameters change them.
const char* raytrace_scene_dir();
const char* raytrace_scene_file();

// The "Ray Trace" operation's whole-image worker: a run over the target,
// kept where the area mask lets it through.  0 done (a cancel keeps the
// rows traced); 1 when the scene could not be read.
int raytrace_worker(Image* target, uint8_t* mask);

// A run over the locked pixels of the target image (rows of `width`
// pixels).  0 done; 1 the scene could not be read or parsed (the user has
// been told); 2 cancelled.
int raytrace_run(Image* target, uint8_t* pixels, long width, long height);
// The whole run for an image record: locks it, traces the scene at `path`
// (or the operation's scene file when null) at level `aa`, unlocks it.
int raytrace_image(Image* target, const char* path, int aa);

// The gradients of a bump map from the green channel of a locked image,
// wrapping at the edges: width * height floats each.
void raytrace_gradients(Image* image, float* xb, float* yb);

// The depth buffer of the last run is dropped with it; tests look at it
// through this hook (called before it is freed, with width * height floats).
void raytrace_set_depth_observer(void (*observer)(const float* depth, long width, long height));
