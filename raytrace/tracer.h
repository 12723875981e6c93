// The tracer: primitives prepared from the scene, the hierarchy over them,
// and the shading of every ray.  Once prepared it only reads, so several
// threads may trace the same tracer at once.
#pragma once

#include "raytrace/bvh.h"
#include "raytrace/scene.h"
#include "raytrace/texture.h"
#include "raytrace/vec.h"

#include <cstdint>
#include <vector>

// The maps bound to one surface for a run.
struct SurfaceMaps {
    const uint8_t* map = nullptr;  // RGBA rows of map_w pixels
    const uint32_t* map_rows = nullptr;
    int map_w = 0, map_h = 0;
    const float* xb = nullptr;  // bump gradients, bump_w * bump_h each
    const float* yb = nullptr;
    int bump_w = 0, bump_h = 0;
};

struct Prim {
    Vec3 p0, e1, e2;  // triangle and rectangle: corner and edges; sphere: centre, radius in e1.x
    int kind;
    int surface;
    int object;
};

struct TraceResult {
    double r = 0, g = 0, b = 0, a = 0;
    double distance = 1e10;
};

struct TraceLight {
    Vec3 position;
    Vec3 colour;
};

struct Tracer {
    std::vector<Prim> prims;
    Bvh bvh;
    std::vector<TraceLight> lights;
    const SceneObject* objects = nullptr;
    const Surface* surfaces = nullptr;
    long surface_count = 0;
    std::vector<SurfaceMaps> maps;  // one per surface
    Camera camera{};
    double atmosphere = 1.0;
    long width = 1, height = 1;
    Noise noise{};
    int max_depth = 8;
};

// Builds the primitives and the hierarchy from the scene in scene().
void tracer_prepare(Tracer& t, long width, long height);
// The primary ray through the image position (px, py).
TraceResult tracer_primary(const Tracer& t, double px, double py, uint64_t serial);
// Counts for reports and tests.
long tracer_prim_count(const Tracer& t);
