// Procedural textures of the ray tracer: solid textures that colour a
// surface, surface and displacement textures that bend its normal.
#pragma once

#include "raytrace/scene.h"
#include "raytrace/vec.h"

#include <cstdint>

// Gradient noise, its tables made from the scene's seed.
struct Noise {
    uint8_t perm[512];
    Vec3 grad[256];
};
void noise_init(Noise& n, long seed);
double noise3(const Noise& n, const Vec3& p);     // about -1..1
double fbm(const Noise& n, const Vec3& p, int octaves);
double turbulence(const Noise& n, const Vec3& p, int octaves);  // 0..about 1
// Distance to the nearest of the random points, one per unit cell.
double cell_distance(const Noise& n, const Vec3& p);

// The colour of a solid texture at `p` (object space) over `base`.
Vec3 solid_texture(const Noise& n, const TextureSlot& t, const Surface& s, const Vec3& p, const Vec3& base);
// The normal bent by a surface (uvtexture) or displacement (dmap) texture.
Vec3 bump_texture(const Noise& n, int slot, const TextureSlot& t, const Vec3& p, const Vec3& normal);
