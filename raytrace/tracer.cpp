#include "raytrace/tracer.h"

#include <algorithm>
#include <cfloat>
#include <cmath>

namespace {

constexpr double kPi = 3.141592654;
constexpr double kMinWeight = 1.0 / 512;
constexpr int kStackSize = 256;

struct Ray {
    Vec3 o, d;
    float of[3], inv[3];
    uint64_t serial;
};

Ray make_ray(const Vec3& o, const Vec3& d, uint64_t serial)
{
    Ray r;
    r.o = o;
    r.d = d;
    r.of[0] = static_cast<float>(o.x);
    r.of[1] = static_cast<float>(o.y);
    r.of[2] = static_cast<float>(o.z);
    for (int i = 0; i < 3; ++i) {
        double c = d[i];
        r.inv[i] = c != 0 ? static_cast<float>(1.0 / c) : (std::signbit(c) ? -FLT_MAX : FLT_MAX);
    }
    r.serial = serial;
    return r;
}

struct Hit {
    double t = 1e30;
    double u = 0, v = 0;
    int prim = -1;
};

inline bool box_hit(const BvhNode& n, const Ray& r, float tmax, float& tnear)
{
    float t0 = 0, t1 = tmax;
    for (int i = 0; i < 3; ++i) {
        float a = (n.lo[i] - r.of[i]) * r.inv[i];
        float b = (n.hi[i] - r.of[i]) * r.inv[i];
        if (a > b)
            std::swap(a, b);
        t0 = a > t0 ? a : t0;
        t1 = b < t1 ? b : t1;
    }
    // A little slack: the boxes are floats, the rays doubles.
    tnear = t0;
    return t0 <= t1 * 1.00001f + 1e-6f;
}

// Möller-Trumbore, as the scene format defines it; rectangles take the
// same test with v up to 1 instead of u + v up to 1.
inline bool hit_flat(const Prim& p, const Ray& r, double tmin, Hit& h, int index, bool rect)
{
    Vec3 pvec = cross(r.d, p.e2);
    double det = dot(p.e1, pvec);
    if (det > -1e-6 && det < 1e-6)
        return false;
    double inv = 1.0 / det;
    Vec3 tvec = r.o - p.p0;
    double u = dot(tvec, pvec) * inv;
    if (u < 0 || u > 1)
        return false;
    Vec3 qvec = cross(tvec, p.e1);
    double v = dot(r.d, qvec) * inv;
    if (v < 0 || (rect ? v > 1 : u + v > 1))
        return false;
    double t = dot(p.e2, qvec) * inv;
    if (t <= tmin || t >= h.t)
        return false;
    h.t = t;
    h.u = u;
    h.v = v;
    h.prim = index;
    return true;
}

inline bool hit_sphere(const Prim& p, const Ray& r, double tmin, Hit& h, int index)
{
    Vec3 oc = r.o - p.p0;
    double rad = p.e1.x;
    double b = dot(oc, r.d);
    double c = dot(oc, oc) - rad * rad;
    double disc = b * b - c;
    if (disc < 0)
        return false;
    double s = std::sqrt(disc);
    double t = -b - s;
    if (t <= tmin)
        t = -b + s;
    if (t <= tmin || t >= h.t)
        return false;
    h.t = t;
    h.prim = index;
    return true;
}

inline bool hit_prim(const Prim& p, const Ray& r, double tmin, Hit& h, int index)
{
    switch (p.kind) {
    case OBJ_TRIANGLE: return hit_flat(p, r, tmin, h, index, false);
    case OBJ_RECT: return hit_flat(p, r, tmin, h, index, true);
    case OBJ_SPHERE: return hit_sphere(p, r, tmin, h, index);
    }
    return false;
}

bool closest(const Tracer& t, const Ray& r, double tmin, Hit& h)
{
    if (t.bvh.root < 0)
        return false;
    int32_t stack[kStackSize];
    int sp = 0;
    stack[sp++] = t.bvh.root;
    const BvhNode* nodes = t.bvh.nodes.data();
    float tn = 0;
    if (!box_hit(nodes[t.bvh.root], r, FLT_MAX, tn))
        return false;
    while (sp > 0) {
        const BvhNode& n = nodes[stack[--sp]];
        if (n.leaf()) {
            for (int32_t i = n.a, end = n.a - n.b; i < end; ++i) {
                int32_t pi = t.bvh.items[i];
                hit_prim(t.prims[pi], r, tmin, h, pi);
            }
            continue;
        }
        float tmax = h.t < 1e30 ? static_cast<float>(h.t) : FLT_MAX;
        float ta = 0, tb = 0;
        bool ha = box_hit(nodes[n.a], r, tmax, ta);
        bool hb = box_hit(nodes[n.b], r, tmax, tb);
        if (sp + 2 > kStackSize)
            continue;
        if (ha && hb) {
            if (ta < tb) {
                stack[sp++] = n.b;
                stack[sp++] = n.a;
            } else {
                stack[sp++] = n.a;
                stack[sp++] = n.b;
            }
        } else if (ha) {
            stack[sp++] = n.a;
        } else if (hb) {
            stack[sp++] = n.b;
        }
    }
    return h.prim >= 0;
}

const Surface& surface_of(const Tracer& t, const Prim& p)
{
    return t.surfaces[p.surface];
}

double transparency_of(const Surface& s)
{
    return s.transparency.set ? std::clamp(s.transparency.v[0], 0.0, 1.0) : 0.0;
}

// How much light passes from `o` along `d` over `dist`: 0 behind anything
// opaque, the filter colours of transparent things along the way.
Vec3 transmission(const Tracer& t, const Vec3& o, const Vec3& d, double dist, double tmin)
{
    Vec3 pass(1, 1, 1);
    if (t.bvh.root < 0)
        return pass;
    Ray r = make_ray(o, d, 0);
    int32_t stack[kStackSize];
    int sp = 0;
    stack[sp++] = t.bvh.root;
    const BvhNode* nodes = t.bvh.nodes.data();
    float limit = static_cast<float>(dist);
    while (sp > 0) {
        const BvhNode& n = nodes[stack[--sp]];
        float tn = 0;
        if (!box_hit(n, r, limit, tn))
            continue;
        if (!n.leaf()) {
            if (sp + 2 <= kStackSize) {
                stack[sp++] = n.a;
                stack[sp++] = n.b;
            }
            continue;
        }
        for (int32_t i = n.a, end = n.a - n.b; i < end; ++i) {
            int32_t pi = t.bvh.items[i];
            const Prim& p = t.prims[pi];
            Hit h;
            h.t = dist;
            if (!hit_prim(p, r, tmin, h, pi))
                continue;
            const Surface& s = surface_of(t, p);
            if (s.lightsource.v != 0)
                continue;  // glowing things cast no shadow
            double tr = transparency_of(s);
            if (tr <= 0)
                return Vec3(0, 0, 0);
            const SceneObject& ob = t.objects[p.object];
            pass = pass * (Vec3(ob.c[0]) * tr);
            if (max_component(pass) < 1e-4)
                return Vec3(0, 0, 0);
        }
    }
    return pass;
}

struct Shade {
    Vec3 P, Ng, N;
    Vec3 base;
    Vec3 local;  // object-space point for solid textures
    double mu = 0, mv = 0;  // map coordinates
    Vec3 dpdu, dpdv;
    bool back = false;
};

double wrap01(double x)
{
    return x - std::floor(x);
}

Vec3 sample_map(const SurfaceMaps& m, double u, double v, double& alpha)
{
    if (!std::isfinite(u) || !std::isfinite(v)) {
        alpha = 0;
        return Vec3();
    }
    double x = wrap01(u) * m.map_w - 0.5, y = wrap01(v) * m.map_h - 0.5;
    double fx = std::floor(x), fy = std::floor(y);
    double ax = x - fx, ay = y - fy;
    int x0 = static_cast<int>(fx), y0 = static_cast<int>(fy);
    Vec3 c(0, 0, 0);
    alpha = 0;
    for (int j = 0; j < 2; ++j)
        for (int i = 0; i < 2; ++i) {
            int xi = ((x0 + i) % m.map_w + m.map_w) % m.map_w;
            int yj = ((y0 + j) % m.map_h + m.map_h) % m.map_h;
            const uint8_t* px = m.map + 4 * (static_cast<size_t>(m.map_rows[yj]) + static_cast<size_t>(xi));
            double w = (i ? ax : 1 - ax) * (j ? ay : 1 - ay);
            c += Vec3(px[0], px[1], px[2]) * (w / 255.0);
            alpha += w * px[3] / 255.0;
        }
    return c;
}

void sample_bump(const SurfaceMaps& m, double u, double v, double& gx, double& gy)
{
    gx = gy = 0;
    if (!std::isfinite(u) || !std::isfinite(v))
        return;
    // Bilinear between the four nearest gradients, wrapping like the map.
    double x = wrap01(u) * m.bump_w - 0.5, y = wrap01(v) * m.bump_h - 0.5;
    double fx = std::floor(x), fy = std::floor(y);
    double ax = x - fx, ay = y - fy;
    int x0 = static_cast<int>(fx), y0 = static_cast<int>(fy);
    for (int j = 0; j < 2; ++j)
        for (int i = 0; i < 2; ++i) {
            int xi = ((x0 + i) % m.bump_w + m.bump_w) % m.bump_w;
            int yj = ((y0 + j) % m.bump_h + m.bump_h) % m.bump_h;
            size_t at = static_cast<size_t>(yj) * static_cast<size_t>(m.bump_w) + static_cast<size_t>(xi);
            double w = (i ? ax : 1 - ax) * (j ? ay : 1 - ay);
            gx += w * m.xb[at];
            gy += w * m.yb[at];
        }
}

void surface_point(const Tracer& t, const Prim& p, const Hit& h, const Ray& r, Shade& s)
{
    const SceneObject& ob = t.objects[p.object];
    const Surface& sf = surface_of(t, p);
    s.P = r.o + r.d * h.t;
    switch (p.kind) {
    case OBJ_SPHERE: {
        double rad = std::fabs(p.e1.x);
        Vec3 rel = s.P - p.p0;
        s.Ng = rad > 0 ? rel / rad : Vec3(0, 1, 0);
        s.N = s.Ng;
        s.base = Vec3(ob.c[0]);
        s.local = rel;
        // The pole of the map: y, or x / z when the sphere asked for it.
        Vec3 n = s.Ng;
        Vec3 pole(0, 1, 0), ref(1, 0, 0);
        if (sf.ssxar) {
            pole = Vec3(1, 0, 0);
            ref = Vec3(0, 0, 1);
        } else if (sf.sszar) {
            pole = Vec3(0, 0, 1);
            ref = Vec3(1, 0, 0);
        }
        Vec3 side = cross(pole, ref);
        double py = std::clamp(dot(n, pole), -1.0, 1.0);
        double phi = std::atan2(dot(n, side), dot(n, ref));
        s.mu = 0.5 + phi / (2 * kPi);
        s.mv = std::acos(py) / kPi;
        s.dpdu = normalise(cross(pole, n));
        if (dot(s.dpdu, s.dpdu) == 0)
            s.dpdu = ref;
        s.dpdv = normalise(cross(n, s.dpdu)) * -1.0;
        break;
    }
    case OBJ_TRIANGLE: {
        s.Ng = normalise(cross(p.e1, p.e2));
        double w = 1 - h.u - h.v;
        Vec3 n0(ob.n[0]), n1(ob.n[1]), n2(ob.n[2]);
        Vec3 ns = n0 * w + n1 * h.u + n2 * h.v;
        s.N = dot(ns, ns) > 1e-20 ? normalise(ns) : s.Ng;
        s.base = Vec3(ob.c[0]) * w + Vec3(ob.c[1]) * h.u + Vec3(ob.c[2]) * h.v;
        s.local = s.P;
        // Planar projection along the axis the face turns to most.
        Vec3 a(std::fabs(s.Ng.x), std::fabs(s.Ng.y), std::fabs(s.Ng.z));
        if (a.z >= a.x && a.z >= a.y) {
            s.mu = s.P.x;
            s.mv = -s.P.y;
            s.dpdu = Vec3(1, 0, 0);
            s.dpdv = Vec3(0, -1, 0);
        } else if (a.y >= a.x) {
            s.mu = s.P.x;
            s.mv = -s.P.z;
            s.dpdu = Vec3(1, 0, 0);
            s.dpdv = Vec3(0, 0, -1);
        } else {
            s.mu = s.P.z;
            s.mv = -s.P.y;
            s.dpdu = Vec3(0, 0, 1);
            s.dpdv = Vec3(0, -1, 0);
        }
        break;
    }
    case OBJ_RECT: {
        s.Ng = normalise(cross(p.e1, p.e2));
        s.N = s.Ng;
        s.base = Vec3(ob.c[0]);
        s.local = s.P;
        s.mu = h.u;
        s.mv = 1 - h.v;
        s.dpdu = normalise(p.e1);
        s.dpdv = normalise(p.e2) * -1.0;
        break;
    }
    }
}

struct Context {
    int depth;
    double weight;
    double ior;                  // index of the medium the ray travels in
    const Surface* inside;       // the transparent thing it travels through
    const Vec3* inside_colour;
};

TraceResult trace(const Tracer& t, const Ray& r, const Context& ctx);

Vec3 refract_dir(const Vec3& d, const Vec3& n, double eta, bool& total)
{
    double cosi = -dot(d, n);
    double k = 1 - eta * eta * (1 - cosi * cosi);
    if (k < 0) {
        total = true;
        return Vec3();
    }
    total = false;
    return normalise(d * eta + n * (eta * cosi - std::sqrt(k)));
}

Vec3 shade(const Tracer& t, const Prim& p, const Hit& h, const Ray& r, const Context& ctx)
{
    const Surface& sf = surface_of(t, p);
    const SurfaceMaps& maps = t.maps[p.surface];
    Shade s;
    surface_point(t, p, h, r, s);

    Vec3 colour = s.base;
    if (sf.texture[TEX_SOLID].kind)
        colour = solid_texture(t.noise, sf.texture[TEX_SOLID], sf, s.local, colour);
    if (sf.texture[TEX_SOLID2].kind)
        colour = solid_texture(t.noise, sf.texture[TEX_SOLID2], sf, s.local, colour);
    if (maps.map) {
        double su = sf.imagescale.v[0] != 0 ? sf.imagescale.v[0] : 1;
        double sv = sf.imagescale.v[1] != 0 ? sf.imagescale.v[1] : 1;
        double alpha = 0;
        Vec3 m = sample_map(maps, s.mu * sf.tile.v[0] / su, s.mv * sf.tile.v[1] / sv, alpha);
        colour = colour + (m - colour) * alpha;
    }
    if (sf.lightsource.v != 0)
        return colour;

    // Face the normals towards the ray.
    if (dot(s.Ng, r.d) > 0) {
        s.Ng = -s.Ng;
        s.N = -s.N;
        s.back = true;
    }
    if (dot(s.N, r.d) > 0)
        s.N = s.Ng;
    Vec3 N = s.N;
    if (sf.texture[TEX_SURFACE].kind)
        N = bump_texture(t.noise, TEX_SURFACE, sf.texture[TEX_SURFACE], s.local, N);
    if (sf.texture[TEX_DISPLACE].kind)
        N = bump_texture(t.noise, TEX_DISPLACE, sf.texture[TEX_DISPLACE], s.local, N);
    if (maps.xb) {
        double su = sf.bumpscale.v[0] != 0 ? sf.bumpscale.v[0] : 1;
        double sv = sf.bumpscale.v[1] != 0 ? sf.bumpscale.v[1] : 1;
        double gx = 0, gy = 0;
        sample_bump(maps, s.mu * sf.btile.v[0] / su, s.mv * sf.btile.v[1] / sv, gx, gy);
        double k = sf.bumpdrama.v[0] * 8;
        Vec3 bent = normalise(N + (s.dpdu * gx + s.dpdv * gy) * k);
        if (dot(bent, bent) > 0)
            N = bent;
    }

    double ambient = sf.ambient.v[0];
    double diffuse = sf.diffuse.v[0];
    double specular = sf.specular.v[0];
    double rough = std::max(sf.roughness.v[0], 1.0);
    double exponent = 1 + sf.brilliance.v[0] * sf.brilliance.v[0] / rough;
    double translucency = sf.translucency.set ? sf.translucency.v[0] : 0;
    double ambithresh = sf.ambithresh.v[0];
    bool metal = sf.metal.v != 0;
    double transparency = transparency_of(sf);
    double opaque = 1 - transparency;

    Vec3 eps_off = s.Ng * (1e-7 * (1 + std::fabs(s.P.x) + std::fabs(s.P.y) + std::fabs(s.P.z)));
    Vec3 above = s.P + eps_off;
    Vec3 below = s.P - eps_off;

    Vec3 result = colour * ambient;
    Vec3 hl_colour = metal ? colour : Vec3(1, 1, 1);
    for (const TraceLight& L : t.lights) {
        Vec3 to = L.position - s.P;
        double dist = length(to);
        if (dist <= 0)
            continue;
        Vec3 l = to / dist;
        double ndl = dot(N, l);
        bool front = dot(s.Ng, l) > 0;
        if (ndl <= 0 && translucency <= 0 && ambithresh <= 0)
            continue;
        Vec3 pass = transmission(t, front ? above : below, l, dist, 1e-9);
        if (max_component(pass) <= 0)
            continue;
        Vec3 light = L.colour * pass;
        double lambert = std::max(ndl, ambithresh);
        if (lambert > 0)
            result += colour * light * (diffuse * lambert);
        if (ndl < 0 && translucency > 0)
            result += colour * light * (translucency * -ndl);
        if (ndl > 0 && specular > 0) {
            Vec3 hv = normalise(l - r.d);
            double nh = dot(N, hv);
            if (nh > 0)
                result += hl_colour * light * (specular * std::pow(nh, exponent));
        }
    }
    result = result * opaque;

    if (ctx.depth >= t.max_depth)
        return result;

    // Reflection: what the surface asks for, and for clear things that bend
    // light, the share the angle reflects.
    double reflect = sf.reflectivity.set ? std::clamp(sf.reflectivity.v[0], 0.0, 1.0) : 0;
    double n1 = ctx.ior;
    double n2 = s.back ? t.atmosphere : (sf.refraction.set ? sf.refraction.v[0] : ctx.ior);
    if (n2 <= 0)
        n2 = 1;
    double cosi = -dot(r.d, N);
    if (transparency > 0 && n1 != n2) {
        double r0 = (n1 - n2) / (n1 + n2);
        r0 *= r0;
        double f = r0 + (1 - r0) * std::pow(1 - std::clamp(cosi, 0.0, 1.0), 5);
        reflect = std::max(reflect, f * transparency);
    }
    Vec3 rdir = normalise(r.d + N * (2 * cosi));
    if (transparency > 0) {
        bool total = false;
        Vec3 tdir = n1 == n2 ? r.d : refract_dir(r.d, N, n1 / n2, total);
        if (total) {
            reflect = std::max(reflect, transparency);
        } else {
            double w = transparency * (1 - reflect);
            if (ctx.weight * w > kMinWeight) {
                Context c = ctx;
                c.depth += 1;
                c.weight *= w;
                c.ior = n2;
                // Entering a clear thing tints the light by its colour, at
                // once, or over `distance` when one is set.
                Vec3 filter(1, 1, 1);
                if (s.back) {
                    c.inside = nullptr;
                } else if (sf.distance.set && sf.distance.v[0] > 0) {
                    c.inside = &sf;
                    c.inside_colour = &colour;
                } else {
                    c.inside = nullptr;
                    filter = colour;
                }
                Vec3 start = dot(tdir, s.Ng) < 0 ? below : above;
                TraceResult tr = trace(t, make_ray(start, tdir, r.serial), c);
                result += Vec3(tr.r, tr.g, tr.b) * filter * w;
            }
        }
    }
    if (reflect > 0 && ctx.weight * reflect > kMinWeight) {
        Context c = ctx;
        c.depth += 1;
        c.weight *= reflect;
        Vec3 start = dot(rdir, s.Ng) < 0 ? below : above;
        TraceResult tr = trace(t, make_ray(start, rdir, r.serial), c);
        result += Vec3(tr.r, tr.g, tr.b) * (metal ? colour : Vec3(1, 1, 1)) * reflect;
    }
    return result;
}

TraceResult trace(const Tracer& t, const Ray& r, const Context& ctx)
{
    TraceResult out;
    Hit h;
    if (!closest(t, r, 1e-9, h))
        return out;
    Vec3 c = shade(t, t.prims[h.prim], h, r, ctx);
    if (ctx.inside && ctx.inside_colour) {
        // Light fades to the thing's colour over its `distance`.
        double k = h.t / ctx.inside->distance.v[0];
        const Vec3& ic = *ctx.inside_colour;
        c = c * Vec3(std::pow(std::max(ic.x, 1e-6), k), std::pow(std::max(ic.y, 1e-6), k),
                     std::pow(std::max(ic.z, 1e-6), k));
    }
    out.r = c.x;
    out.g = c.y;
    out.b = c.z;
    out.a = 1;
    out.distance = h.t;
    return out;
}

BvhBox box_of(const Prim& p)
{
    Vec3 lo, hi;
    if (p.kind == OBJ_SPHERE) {
        double r = std::fabs(p.e1.x);
        lo = p.p0 - Vec3(r, r, r);
        hi = p.p0 + Vec3(r, r, r);
    } else {
        Vec3 pts[4] = {p.p0, p.p0 + p.e1, p.p0 + p.e2, p.p0 + p.e1 + p.e2};
        int n = p.kind == OBJ_RECT ? 4 : 3;
        lo = hi = pts[0];
        for (int i = 1; i < n; ++i) {
            lo = Vec3(std::min(lo.x, pts[i].x), std::min(lo.y, pts[i].y), std::min(lo.z, pts[i].z));
            hi = Vec3(std::max(hi.x, pts[i].x), std::max(hi.y, pts[i].y), std::max(hi.z, pts[i].z));
        }
    }
    BvhBox b;
    const double pad = 1e-6;
    for (int i = 0; i < 3; ++i) {
        b.lo[i] = std::nextafter(static_cast<float>(lo[i] - pad * (1 + std::fabs(lo[i]))), -FLT_MAX);
        b.hi[i] = std::nextafter(static_cast<float>(hi[i] + pad * (1 + std::fabs(hi[i]))), FLT_MAX);
    }
    return b;
}

} // namespace

void tracer_prepare(Tracer& t, long width, long height)
{
    Scene& sc = scene();
    t.prims.clear();
    t.lights.clear();
    t.objects = scene_objects();
    t.surfaces = scene_surfaces();
    t.surface_count = sc.surfaces.count;
    t.maps.assign(static_cast<size_t>(std::max(0L, t.surface_count)), SurfaceMaps{});
    t.camera = sc.camera;
    t.atmosphere = sc.atmosphere > 0 ? sc.atmosphere : 1.0;
    t.width = width < 1 ? 1 : width;
    t.height = height < 1 ? 1 : height;
    noise_init(t.noise, sc.seed);

    const SceneObject* objs = scene_objects();
    long count = scene_object_count();
    // Bounds gather the objects that carry their structure number.
    std::vector<int> bounded_structures;
    for (long i = 0; i < count; ++i)
        if (objs[i].kind == OBJ_BOUND)
            bounded_structures.push_back(objs[i].structure);
    std::sort(bounded_structures.begin(), bounded_structures.end());
    std::vector<int> group;
    std::vector<BvhBox> boxes;
    for (long i = 0; i < count; ++i) {
        const SceneObject& o = objs[i];
        if (o.kind == OBJ_LIGHT) {
            if (finite3(Vec3(o.p[0])) && finite3(Vec3(o.c[0])))
                t.lights.push_back({Vec3(o.p[0]), Vec3(o.c[0])});
            continue;
        }
        Prim p{};
        p.kind = o.kind;
        p.surface = o.material;
        p.object = static_cast<int>(i);
        if (o.kind == OBJ_SPHERE) {
            p.p0 = Vec3(o.p[0]);
            p.e1 = Vec3(std::fabs(o.radius), 0, 0);
        } else if (o.kind == OBJ_TRIANGLE || o.kind == OBJ_RECT) {
            p.p0 = Vec3(o.p[0]);
            p.e1 = Vec3(o.p[1]) - p.p0;
            p.e2 = Vec3(o.p[2]) - p.p0;
        } else {
            continue;
        }
        // Geometry out of all measure is left out rather than let it
        // spoil the hierarchy.
        const double far = 1e18;
        if (!finite3(p.p0) || !finite3(p.e1) || !finite3(p.e2) || std::fabs(p.p0.x) > far ||
            std::fabs(p.p0.y) > far || std::fabs(p.p0.z) > far || length(p.e1) > far || length(p.e2) > far)
            continue;
        t.prims.push_back(p);
        boxes.push_back(box_of(p));
        group.push_back(std::binary_search(bounded_structures.begin(), bounded_structures.end(), o.structure)
                            ? o.structure
                            : -1);
    }
    bvh_build(t.bvh, boxes, group);
}

TraceResult tracer_primary(const Tracer& t, double px, double py, uint64_t serial)
{
    const Camera& c = t.camera;
    double w = static_cast<double>(t.width), h = static_cast<double>(t.height);
    double u = (px - w / 2) / w;
    double v = ((h - 1) - py - h / 2) / h;
    Vec3 d = Vec3(c.right) * u + Vec3(c.up) * v + Vec3(c.forward);
    double len = length(d);
    d = len > 0 ? d / len : Vec3(0.01, 0.01, 0.01);
    Context ctx{0, 1.0, t.atmosphere, nullptr, nullptr};
    return trace(t, make_ray(Vec3(c.location), d, serial), ctx);
}

long tracer_prim_count(const Tracer& t)
{
    return static_cast<long>(t.prims.size());
}
