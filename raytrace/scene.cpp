#include "raytrace/scene.h"

#include "raytrace/vec.h"

#include "core/list.h"
#include "core/log.h"
#include "core/mem.h"
#include "core/messages.h"
#include "core/progress.h"
#include "expr/expr.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

Scene g_scene;

constexpr double kDegToRad = 3.141592654 / 180.0;

// ---- arrays in the scene's chunk group ------------------------------------

bool array_reserve(SceneArray& a, long count, size_t size, const char* label)
{
    if (count <= a.capacity)
        return true;
    long cap = a.capacity ? a.capacity : 64;
    while (cap < count)
        cap *= 2;
    void* data = group_alloc_ptr(static_cast<size_t>(cap), size, label, g_scene.group);
    if (!data)
        return false;
    if (a.data) {
        std::memcpy(data, a.data, static_cast<size_t>(a.count) * size);
        group_free_ptr(a.data);
    }
    a.data = data;
    a.capacity = cap;
    return true;
}

void array_free(SceneArray& a)
{
    if (a.data)
        group_free_ptr(a.data);
    a = SceneArray{};
}

// ---- attribute state --------------------------------------------------------

template <class F>
void each_attr(AttrState& a, const AttrState& b, F f)
{
    for (int i = 0; i < 3; ++i) {
        f(a.vtx[i], b.vtx[i]);
        f(a.nrm[i], b.nrm[i]);
    }
    f(a.position, b.position);
    f(a.radius, b.radius);
    f(a.width, b.width);
    f(a.height, b.height);
    f(a.translate, b.translate);
    f(a.scale, b.scale);
    f(a.rotation, b.rotation);
    f(a.splined, b.splined);
    Surface& s = a.surface;
    const Surface& t = b.surface;
    for (int i = 0; i < 6; ++i)
        f(s.color[i], t.color[i]);
    f(s.ambient, t.ambient);
    f(s.diffuse, t.diffuse);
    f(s.brilliance, t.brilliance);
    f(s.specular, t.specular);
    f(s.roughness, t.roughness);
    f(s.reflectivity, t.reflectivity);
    f(s.transparency, t.transparency);
    f(s.translucency, t.translucency);
    f(s.refraction, t.refraction);
    f(s.distance, t.distance);
    f(s.ambithresh, t.ambithresh);
    f(s.imagescale, t.imagescale);
    f(s.bumpscale, t.bumpscale);
    f(s.bumpdrama, t.bumpdrama);
    f(s.tile, t.tile);
    f(s.btile, t.btile);
    f(s.metal, t.metal);
    f(s.lightsource, t.lightsource);
}

template <int N>
void setd(AttrD<N>& a, std::initializer_list<double> v)
{
    int i = 0;
    for (double x : v)
        a.v[i++] = x;
    a.set = false;
}
template <int N>
void setf(AttrF<N>& a, std::initializer_list<float> v)
{
    int i = 0;
    for (float x : v)
        a.v[i++] = x;
    a.set = false;
}

// ---- names and case ---------------------------------------------------------

bool same_name(const char* a, const char* b)
{
    return strcasecmp(a, b) == 0;
}

// ---- key sets ---------------------------------------------------------------

KeySet* keysets() { return static_cast<KeySet*>(g_scene.keysets.data); }

KeySet* find_keyset(const char* name)
{
    for (long i = 0; i < g_scene.keysets.count; ++i)
        if (same_name(keysets()[i].name, name))
            return &keysets()[i];
    return nullptr;
}

// Catmull-Rom through four values, the middle two at s = 0 and 1.
double spline4(double p0, double p1, double p2, double p3, double s)
{
    double s2 = s * s, s3 = s2 * s;
    return 0.5 * (2 * p1 + (-p0 + p2) * s + (2 * p0 - 5 * p1 + 4 * p2 - p3) * s2 + (-p0 + 3 * p1 - 3 * p2 + p3) * s3);
}

// The curve at parameter t in [0, 1]: the first and last keys, stored
// twice, act as end controls.
double curve_at(const KeySet& k, double t)
{
    int n = k.count;
    int spans = n - 3;
    if (spans <= 0)
        return k.value[1];
    t = std::clamp(t, 0.0, 1.0);
    double f = t * spans;
    int i = std::min(static_cast<int>(f), spans - 1);
    double s = f - i;
    const double* v = k.value;
    return spline4(v[i], v[i + 1], v[i + 2], v[i + 3], s);
}

double keyset_value(const KeySet& k)
{
    if (k.constant)
        return k.value[0];
    const ExprSequence& seq = expr_sequence();
    double scale = 1;
    if (k.frames > 0 && seq.frames > 0 && k.frames != seq.frames)
        scale = static_cast<double>(seq.frames) / static_cast<double>(k.frames);
    double now = static_cast<double>(seq.frame + 1);  // keys count frames from 1
    int n = k.count;
    auto key_frame = [&](int i) { return std::trunc(k.frame[i] * scale); };
    if (now <= key_frame(1))
        return k.value[1];
    if (now >= key_frame(n - 2))
        return k.value[n - 2];
    int spans = n - 3;
    for (int i = 1; i < n - 2; ++i) {
        double f0 = key_frame(i), f1 = key_frame(i + 1);
        if (now >= f0 && now < f1) {
            double frac = f1 > f0 ? (now - f0) / (f1 - f0) : 0;
            if (!k.splined)
                return k.value[i] + (k.value[i + 1] - k.value[i]) * frac;
            return curve_at(k, (i - 1 + frac) / spans);
        }
    }
    return k.value[n - 2];
}

bool lookup_variable(const char* name, double* value)
{
    return scene_keyset_value(name, value);
}

// ---- the tag reader ---------------------------------------------------------

enum CharClass { CH_END, CH_BLANK, CH_COMMA, CH_QUOTE, CH_OTHER };

CharClass char_class(char c)
{
    switch (c) {
    case 0:
    case '>': return CH_END;
    case '\t':
    case '\n':
    case '\r':
    case ' ': return CH_BLANK;
    case ',': return CH_COMMA;
    case '"': return CH_QUOTE;
    default: return CH_OTHER;
    }
}

struct Reader {
    const char* text;
    size_t length;
    size_t pos;

    char at(size_t i) const { return i < length ? text[i] : 0; }
};

constexpr int kMaxNumbers = kSceneArgsMax;

struct Numbers {
    double v[kMaxNumbers];
    int count;
};

void note_expression(const char* token, int code)
{
    const ExprState& e = expr_state();
    char line[700];
    std::snprintf(line, sizeof line, "Expression error in \"%s\": %s at %d (\"%s\")", token, expr_error_text(code),
                  e.error_position, e.error_token);
    log_printf("%s\n", line);
    if (!g_scene.expr_noted) {
        g_scene.expr_noted = true;
        error_box(line);
    }
}

// Whether a word is a number: the digit rule comes before the '!' rule, so
// "0.2!0.8" is the number 0.2.
bool starts_number(char c)
{
    return c == '-' || c == '.' || (c >= '0' && c <= '9');
}

// One argument word: a number, a "!" expression or the name of a key set.
double token_value(const char* begin, const char* end)
{
    char c = *begin;
    if (starts_number(c)) {
        double v = 0;
        auto [ptr, ec] = std::from_chars(begin, end, v);
        if (ec == std::errc::result_out_of_range) {
            // Beyond what a double holds: as the C library reads it.
            std::string t(begin, end);
            return std::strtod(t.c_str(), nullptr);
        }
        if (ptr == begin && c == '.') {
            // ".5" is a number; from_chars wants a digit first.
            std::string t(begin, end);
            t.insert(t.begin(), '0');
            return std::strtod(t.c_str(), nullptr);
        }
        return ptr == begin ? 0 : v;
    }
    const char* bang = static_cast<const char*>(std::memchr(begin, '!', static_cast<size_t>(end - begin)));
    if (bang) {
        std::string e(bang + 1, end);
        double r = 0;
        int assigned = 0;
        int code = expr_evaluate(e.data(), &r, &assigned);
        if (code) {
            note_expression(std::string(begin, end).c_str(), code);
            return 0;
        }
        return r;
    }
    std::string name(begin, end);
    double v = 0;
    if (!scene_keyset_value(name.c_str(), &v))
        v = 0;
    return v;
}

// The ')' that closes the '(' at `open`, or `end` when none does before it.
size_t matching_paren(const char* text, size_t open, size_t end)
{
    int depth = 0;
    for (size_t i = open; i < end; ++i) {
        if (text[i] == '(')
            ++depth;
        else if (text[i] == ')' && --depth == 0)
            return i;
    }
    return end;
}

// Reads the numbers from `from` up to the '>' or '"' that ends them.
void read_numbers(const Reader& r, size_t from, Numbers& out)
{
    out.count = 0;
    size_t end = from;
    while (end - from < static_cast<size_t>(kSceneArgsMax)) {
        CharClass k = char_class(r.at(end));
        if (k == CH_END || k == CH_QUOTE)
            break;
        ++end;
    }
    size_t i = from;
    while (i < end && out.count < kMaxNumbers) {
        while (i < end && (char_class(r.text[i]) == CH_BLANK || char_class(r.text[i]) == CH_COMMA))
            ++i;
        if (i >= end)
            break;
        size_t start = i;
        bool expression = false;
        bool number = starts_number(r.text[i]);
        while (i < end) {
            char c = r.text[i];
            CharClass k = char_class(c);
            if (k == CH_BLANK || k == CH_COMMA)
                break;
            if (c == '!' && !number)
                expression = true;
            // An expression keeps a parenthesised stretch together (function
            // arguments hold commas); an unclosed one groups nothing, so the
            // numbers after it stay numbers of their own.
            if (expression && c == '(') {
                size_t close = matching_paren(r.text, i, end);
                if (close < end) {
                    i = close + 1;
                    continue;
                }
            }
            ++i;
        }
        out.v[out.count++] = token_value(r.text + start, r.text + i);
    }
}

// The first quoted string after `from` within the tag; false when none.
bool read_string(const Reader& r, size_t from, char* out, size_t* after)
{
    size_t i = from;
    while (char_class(r.at(i)) != CH_END && r.at(i) != '"')
        ++i;
    if (r.at(i) != '"')
        return false;
    ++i;
    size_t n = 0;
    while (i < r.length && r.at(i) != '"' && r.at(i) != 0) {
        if (n < static_cast<size_t>(kSceneStringMax))
            out[n++] = r.at(i);
        ++i;
    }
    out[n] = 0;
    if (r.at(i) == '"')
        ++i;
    if (after)
        *after = i;
    return true;
}

template <int N>
void take(AttrD<N>& a, const Numbers& n)
{
    if (n.count == 0)
        return;
    for (int i = 0; i < N && i < n.count; ++i)
        a.v[i] = n.v[i];
    a.set = true;
}
template <int N>
void takef(AttrF<N>& a, const Numbers& n)
{
    if (n.count == 0)
        return;
    for (int i = 0; i < N && i < n.count; ++i)
        a.v[i] = static_cast<float>(std::isnan(n.v[i]) ? 0.0 : std::clamp(n.v[i], -3e38, 3e38));
    a.set = true;
}

// ---- objects ----------------------------------------------------------------

void rotate(double v[3], const double angles[3])
{
    double ax = angles[0] * kDegToRad, ay = angles[1] * kDegToRad, az = angles[2] * kDegToRad;
    if (ax != 0) {
        double c = std::cos(ax), s = std::sin(ax);
        double y = v[1] * c - v[2] * s, z = v[1] * s + v[2] * c;
        v[1] = y;
        v[2] = z;
    }
    if (ay != 0) {
        double c = std::cos(ay), s = std::sin(ay);
        double x = v[0] * c + v[2] * s, z = -v[0] * s + v[2] * c;
        v[0] = x;
        v[2] = z;
    }
    if (az != 0) {
        double c = std::cos(az), s = std::sin(az);
        double x = v[0] * c - v[1] * s, y = v[0] * s + v[1] * c;
        v[0] = x;
        v[1] = y;
    }
}

void axis_origin(double o[3])
{
    for (int i = 0; i < 3; ++i)
        o[i] = g_scene.active_axis ? g_scene.active_axis->origin[i] : 0;
}

int intern_name(const char* name)
{
    SceneArray& a = g_scene.names;
    // Meshes name their triangles alike: reuse the last name.
    if (a.count > 0) {
        const char* base = static_cast<const char*>(a.data);
        long last = a.count - 1;
        while (last > 0 && base[last - 1] != 0)
            --last;
        if (std::strcmp(base + last, name) == 0)
            return static_cast<int>(last);
    }
    long len = static_cast<long>(std::strlen(name)) + 1;
    if (!array_reserve(a, a.count + len, 1, "3-d names"))
        return -1;
    std::memcpy(static_cast<char*>(a.data) + a.count, name, static_cast<size_t>(len));
    long at = a.count;
    a.count += len;
    return static_cast<int>(at);
}

int intern_surface(const Surface& s)
{
    SceneArray& a = g_scene.surfaces;
    Surface* base = static_cast<Surface*>(a.data);
    if (a.count > 0 && std::memcmp(&base[a.count - 1], &s, sizeof s) == 0)
        return static_cast<int>(a.count - 1);
    if (!array_reserve(a, a.count + 1, sizeof(Surface), "3-d surfaces"))
        return -1;
    base = static_cast<Surface*>(a.data);
    std::memcpy(&base[a.count], &s, sizeof s);
    return static_cast<int>(a.count++);
}

void grow_extent(const double p[3], double r)
{
    Axis* ax = g_scene.active_axis;
    if (!ax)
        return;
    for (int i = 0; i < 3; ++i) {
        ax->lo[i] = std::min(ax->lo[i], p[i] - r);
        ax->hi[i] = std::max(ax->hi[i], p[i] + r);
    }
}

SceneObject* new_object(int kind, const char* name)
{
    SceneArray& a = g_scene.objects;
    if (!array_reserve(a, a.count + 1, sizeof(SceneObject), "3-d objects")) {
        if (kind == OBJ_TRIANGLE)
            error_box("no memory for maketriangle()");
        else
            message_show(msg::NoMemoryOperation, name);
        return nullptr;
    }
    int name_at = intern_name(name);
    int material = intern_surface(g_scene.attr.surface);
    if (name_at < 0 || material < 0) {
        message_show(msg::NoMemoryOperation, name);
        return nullptr;
    }
    SceneObject* o = &static_cast<SceneObject*>(a.data)[a.count++];
    std::memset(o, 0, sizeof *o);
    o->kind = kind;
    o->structure = g_scene.structure;
    o->material = material;
    o->name = name_at;
    return o;
}

void transform_point(double v[3], const AttrState& a)
{
    for (int i = 0; i < 3; ++i)
        v[i] = v[i] * a.scale.v[i] + a.translate.v[i];
    rotate(v, a.rotation.v);
}

void make_object(const char* kind, const char* name)
{
    AttrState& a = g_scene.attr;
    if (same_name(kind, "sphere")) {
        SceneObject* o = new_object(OBJ_SPHERE, name);
        if (o) {
            double origin[3];
            axis_origin(origin);
            for (int i = 0; i < 3; ++i)
                o->p[0][i] = a.scale.v[i] * a.position.v[i] + origin[i] + a.translate.v[i];
            o->radius = a.scale.v[3] * a.radius.v[0];
            std::memcpy(o->c[0], a.surface.color[0].v, sizeof o->c[0]);
            grow_extent(o->p[0], std::fabs(o->radius));
        }
        a.surface.imagemap.use = false;
        a.surface.bumpmap.use = false;
        a.surface.ssxar = a.surface.ssyar = a.surface.sszar = false;
    } else if (same_name(kind, "tri")) {
        SceneObject* o = new_object(OBJ_TRIANGLE, name);
        if (o) {
            bool normals = a.nrm[0].set && a.nrm[1].set && a.nrm[2].set;
            for (int k = 0; k < 3; ++k) {
                std::memcpy(o->p[k], a.vtx[k].v, sizeof o->p[k]);
                transform_point(o->p[k], a);
                std::memcpy(o->c[k], a.surface.color[k].v, sizeof o->c[k]);
                if (normals) {
                    // Normals follow the inverse scale, then the rotation.
                    for (int i = 0; i < 3; ++i)
                        o->n[k][i] = a.scale.v[i] != 0 ? a.nrm[k].v[i] / a.scale.v[i] : a.nrm[k].v[i];
                    rotate(o->n[k], a.rotation.v);
                }
                grow_extent(o->p[k], 0);
            }
        }
        for (int k = 0; k < 3; ++k)
            a.nrm[k].set = false;
        a.surface.imagemap.use = false;
    } else if (same_name(kind, "rect")) {
        SceneObject* o = new_object(OBJ_RECT, name);
        if (o) {
            double e1[3], e2[3];
            for (int i = 0; i < 3; ++i) {
                e1[i] = a.vtx[1].v[i] - a.vtx[0].v[i];
                e2[i] = a.vtx[2].v[i] - a.vtx[0].v[i];
            }
            // A width or height given sizes the edge along its direction.
            auto resize = [](double e[3], const AttrF<1>& size) {
                double len = std::sqrt(e[0] * e[0] + e[1] * e[1] + e[2] * e[2]);
                if (size.set && len > 0)
                    for (int i = 0; i < 3; ++i)
                        e[i] *= size.v[0] / len;
            };
            resize(e1, a.width);
            resize(e2, a.height);
            for (int i = 0; i < 3; ++i) {
                o->p[0][i] = a.vtx[0].v[i];
                o->p[1][i] = a.vtx[0].v[i] + e1[i];
                o->p[2][i] = a.vtx[0].v[i] + e2[i];
            }
            for (int k = 0; k < 3; ++k) {
                transform_point(o->p[k], a);
                grow_extent(o->p[k], 0);
            }
            std::memcpy(o->c[0], a.surface.color[0].v, sizeof o->c[0]);
        }
        a.surface.imagemap.use = false;
    } else if (same_name(kind, "light")) {
        SceneObject* o = new_object(OBJ_LIGHT, name);
        if (o) {
            double origin[3];
            axis_origin(origin);
            for (int i = 0; i < 3; ++i)
                o->p[0][i] = a.position.v[i] + origin[i];
            std::memcpy(o->c[0], a.surface.color[0].v, sizeof o->c[0]);
            g_scene.lights += 1;
        }
    } else if (same_name(kind, "bound")) {
        new_object(OBJ_BOUND, name);
    }
}

// ---- traits, stack, axes, key sets -----------------------------------------

void push_state()
{
    if (g_scene.stack_depth >= kSceneStackDepth || !g_scene.stack)
        return;
    std::memcpy(&g_scene.stack[g_scene.stack_depth++], &g_scene.attr, sizeof(AttrState));
}

void pop_state()
{
    if (g_scene.stack_depth <= 0)
        return;
    std::memcpy(&g_scene.attr, &g_scene.stack[--g_scene.stack_depth], sizeof(AttrState));
}

void* trait_alloc() { return chunk_alloc(1, sizeof(Trait), "trait container"); }
void* axis_alloc() { return chunk_alloc(1, sizeof(Axis), "axis container"); }
void element_free(void* p) { chunk_free(p); }

void end_trait()
{
    if (!g_scene.traitlist && list_create(&g_scene.traitlist, "traitlist", trait_alloc, element_free) != LIST_OK)
        g_scene.traitlist = nullptr;
    if (g_scene.traitlist) {
        ListNode* node = list_add_tail(g_scene.traitlist);
        if (node)
            std::memcpy(&static_cast<Trait*>(node->element)->state, &g_scene.attr, sizeof(AttrState));
    }
    pop_state();
}

void apply_trait(const char* name)
{
    if (!g_scene.traitlist)
        return;
    for (ListNode* n = g_scene.traitlist->head; n; n = n->ln_succ) {
        const Trait* t = static_cast<const Trait*>(n->element);
        if (same_name(t->state.trait_name, name)) {
            attr_apply(g_scene.attr, t->state);
            return;
        }
    }
}

void open_axis(const Numbers& n, const char* name)
{
    double base[3] = {0, 0, 0};
    if (g_scene.active_axis) {
        // A full stack keeps its newest place for the newest axis.
        if (g_scene.axis_depth < kSceneStackDepth)
            g_scene.axis_stack[g_scene.axis_depth++] = g_scene.active_axis;
        else
            g_scene.axis_stack[kSceneStackDepth - 1] = g_scene.active_axis;
        std::memcpy(base, g_scene.active_axis->origin, sizeof base);
    }
    if (!g_scene.axislist && list_create(&g_scene.axislist, "axislist", axis_alloc, element_free) != LIST_OK)
        g_scene.axislist = nullptr;
    ListNode* node = g_scene.axislist ? list_add_tail(g_scene.axislist) : nullptr;
    if (!node)
        return;
    Axis* ax = static_cast<Axis*>(node->element);
    std::memset(ax, 0, sizeof *ax);
    std::snprintf(ax->name, sizeof ax->name, "%s", name);
    const AttrState& a = g_scene.attr;
    for (int i = 0; i < 3; ++i) {
        double v = i < n.count ? n.v[i] : 0;
        ax->origin[i] = base[i] + a.translate.v[i] + a.scale.v[i] * v;
        ax->rotation[i] = a.rotation.v[i];
        ax->lo[i] = 1e30;
        ax->hi[i] = -1e30;
    }
    rotate(ax->origin, ax->rotation);
    ax->first_object = g_scene.objects.count;
    g_scene.active_axis = ax;
}

void close_axis()
{
    Axis* ax = g_scene.active_axis;
    if (!ax)
        return;
    if (ax->lo[0] > ax->hi[0])
        for (int i = 0; i < 3; ++i)
            ax->lo[i] = ax->hi[i] = ax->origin[i];
    ax->origin[2] = -ax->origin[2];
    Axis* outer = g_scene.axis_depth > 0 ? g_scene.axis_stack[--g_scene.axis_depth] : nullptr;
    // The outer axis encloses what the inner one holds.
    if (outer)
        for (int i = 0; i < 3; ++i) {
            outer->lo[i] = std::min(outer->lo[i], ax->lo[i]);
            outer->hi[i] = std::max(outer->hi[i], ax->hi[i]);
        }
    g_scene.active_axis = outer;
}

void define_keys(const char* name, const Numbers& n)
{
    if (n.count == 0 || (n.count > 1 && n.count % 2 != 0))
        return;
    SceneArray& a = g_scene.keysets;
    if (!array_reserve(a, a.count + 1, sizeof(KeySet), "3-d key sets"))
        return;
    KeySet k{};
    // Key-set names keep their first 32 characters.
    std::memcpy(k.name, name, std::min(std::strlen(name), sizeof k.name - 1));
    k.splined = g_scene.attr.splined.v;
    if (n.count == 1) {
        k.constant = true;
        k.count = 1;
    } else {
        k.count = n.count / 2 + 2;
    }
    k.frame = static_cast<double*>(group_alloc_ptr(static_cast<size_t>(k.count), sizeof(double), "keys", g_scene.group));
    k.value = static_cast<double*>(group_alloc_ptr(static_cast<size_t>(k.count), sizeof(double), "keys", g_scene.group));
    if (!k.frame || !k.value) {
        if (k.frame)
            group_free_ptr(k.frame);
        if (k.value)
            group_free_ptr(k.value);
        return;
    }
    if (k.constant) {
        k.frame[0] = 0;
        k.value[0] = n.v[0];
    } else {
        int pairs = n.count / 2;
        for (int i = 0; i < pairs; ++i) {
            k.frame[i + 1] = static_cast<double>(clamp_whole(n.v[2 * i], -(1L << 30), 1L << 30));
            k.value[i + 1] = n.v[2 * i + 1];
        }
        k.frame[0] = k.frame[1];
        k.value[0] = k.value[1];
        k.frame[pairs + 1] = k.frame[pairs];
        k.value[pairs + 1] = k.value[pairs];
        // The keys span the frames up to the last one; a sequence of
        // another length stretches them to fit.
        k.frames = static_cast<long>(clamp_whole(k.frame[pairs], 0, 1L << 30));
    }
    static_cast<KeySet*>(a.data)[a.count++] = k;
}

// ---- smoothing --------------------------------------------------------------

struct PosKey {
    double x, y, z;
    bool operator==(const PosKey& o) const { return x == o.x && y == o.y && z == o.z; }
};
struct PosHash {
    size_t operator()(const PosKey& k) const
    {
        std::hash<double> h;
        return h(k.x) ^ (h(k.y) * 31) ^ (h(k.z) * 1000003);
    }
};

void face_normal(const SceneObject& o, double n[3])
{
    double e1[3], e2[3];
    for (int i = 0; i < 3; ++i) {
        e1[i] = o.p[1][i] - o.p[0][i];
        e2[i] = o.p[2][i] - o.p[0][i];
    }
    n[0] = e1[1] * e2[2] - e1[2] * e2[1];
    n[1] = e1[2] * e2[0] - e1[0] * e2[2];
    n[2] = e1[0] * e2[1] - e1[1] * e2[0];
}

// Vertex normals from the faces around each vertex, weighted by area; faces
// turned more than 60 degrees away keep their edge sharp.
int smooth_structure()
{
    SceneObject* objs = scene_objects();
    long count = scene_object_count();
    std::vector<long> tris;
    for (long i = 0; i < count; ++i)
        if (objs[i].kind == OBJ_TRIANGLE && objs[i].structure == g_scene.structure)
            tris.push_back(i);
    if (tris.empty())
        return 0;
    std::vector<double> fn(tris.size() * 3);
    std::unordered_map<PosKey, std::vector<long>, PosHash> around;
    for (size_t t = 0; t < tris.size(); ++t) {
        face_normal(objs[tris[t]], &fn[3 * t]);
        for (int k = 0; k < 3; ++k) {
            const double* p = objs[tris[t]].p[k];
            around[PosKey{p[0], p[1], p[2]}].push_back(static_cast<long>(t));
        }
    }
    progress_open("Smoothing Triangles", static_cast<long>(tris.size()), 1);
    const double crease = std::cos(60.0 * kDegToRad);
    int code = 0;
    for (size_t t = 0; t < tris.size(); ++t) {
        if (t % 1024 == 0 && progress_update(static_cast<long>(t))) {
            code = SCENE_CANCELLED;
            break;
        }
        SceneObject& o = objs[tris[t]];
        const double* own = &fn[3 * t];
        double own_len = std::sqrt(own[0] * own[0] + own[1] * own[1] + own[2] * own[2]);
        if (own_len == 0)
            continue;
        for (int k = 0; k < 3; ++k) {
            double sum[3] = {0, 0, 0};
            for (long f : around[PosKey{o.p[k][0], o.p[k][1], o.p[k][2]}]) {
                const double* n = &fn[3 * f];
                double len = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
                if (len == 0)
                    continue;
                double c = (n[0] * own[0] + n[1] * own[1] + n[2] * own[2]) / (len * own_len);
                if (c < crease)
                    continue;
                for (int i = 0; i < 3; ++i)
                    sum[i] += n[i];
            }
            double len = std::sqrt(sum[0] * sum[0] + sum[1] * sum[1] + sum[2] * sum[2]);
            for (int i = 0; i < 3; ++i)
                o.n[k][i] = len > 0 ? sum[i] / len : own[i] / own_len;
        }
    }
    progress_close();
    return code;
}

// ---- keywords ---------------------------------------------------------------

enum Kw {
    K_VTX, K_NRM, K_OBJECT, K_COLOR, K_COLORN, K_POSITION, K_RADIUS, K_WIDTH, K_HEIGHT, K_TRANSLATE, K_SCALE,
    K_ROTATION, K_STRUCTURE, K_AXIS, K_ENDAXIS, K_NORMALIZE, K_AMBIENT, K_DIFFUSE, K_SPECULAR, K_REFLECTIVITY,
    K_BRILLIANCE, K_ROUGHNESS, K_TRAIT, K_ENDTRAIT, K_APPLY, K_IMAGEMAP, K_BUMPMAP, K_IMAGESCALE, K_BUMPSCALE,
    K_BUMPDRAMA, K_TRANSPARENCY, K_TRANSLUCENCY, K_REFRACTION, K_ATMOSPHERE, K_LIB, K_LIBPATH, K_TEXTUREMAP,
    K_TEXTUREMAP2, K_SEED, K_SSXAR, K_SSYAR, K_SSZAR, K_SMOOTH, K_DISTANCE, K_METAL, K_PUSH, K_POP, K_KEYS,
    K_SPLINED, K_UVTEXTURE, K_DMAP, K_TILE, K_BTILE, K_LIGHTSOURCE, K_AMBITHRESH, K_VIEWLOCATION, K_VIEWTARGET,
    K_DEPTHMAP,
};

struct Keyword {
    const char* word;
    Kw kind;
    int index;
};

const Keyword kKeywords[] = {
    {"vtx0", K_VTX, 0}, {"vtx1", K_VTX, 1}, {"vtx2", K_VTX, 2},
    {"nrm0", K_NRM, 0}, {"nrm1", K_NRM, 1}, {"nrm2", K_NRM, 2},
    {"object", K_OBJECT, 0},
    {"color", K_COLOR, 0},
    {"color0", K_COLORN, 0}, {"color1", K_COLORN, 1}, {"color2", K_COLORN, 2},
    {"color3", K_COLORN, 3}, {"color4", K_COLORN, 4}, {"color5", K_COLORN, 5},
    {"position", K_POSITION, 0},
    {"radius", K_RADIUS, 0},
    {"width", K_WIDTH, 0}, {"height", K_HEIGHT, 0},
    {"translate", K_TRANSLATE, 0}, {"unitvector", K_TRANSLATE, 0},
    {"scale", K_SCALE, 0},
    {"rotation", K_ROTATION, 0}, {"rotate", K_ROTATION, 0},
    {"structure", K_STRUCTURE, 0}, {"/structure", K_STRUCTURE, 0},
    {"axis", K_AXIS, 0}, {"/axis", K_ENDAXIS, 0},
    {"normalize", K_NORMALIZE, 0},
    {"ambient", K_AMBIENT, 0}, {"diffuse", K_DIFFUSE, 0}, {"specular", K_SPECULAR, 0},
    {"reflectivity", K_REFLECTIVITY, 0},
    {"brilliance", K_BRILLIANCE, 0}, {"roughness", K_ROUGHNESS, 0},
    {"trait", K_TRAIT, 0}, {"/trait", K_ENDTRAIT, 0}, {"apply", K_APPLY, 0},
    {"imagemap", K_IMAGEMAP, 0}, {"bumpmap", K_BUMPMAP, 0},
    {"imagescale", K_IMAGESCALE, 0}, {"bumpscale", K_BUMPSCALE, 0},
    {"bumpdrama", K_BUMPDRAMA, 0},
    {"transparency", K_TRANSPARENCY, 0}, {"translucency", K_TRANSLUCENCY, 0}, {"refraction", K_REFRACTION, 0},
    {"atmosphere", K_ATMOSPHERE, 0},
    {"lib", K_LIB, 0}, {"libpath", K_LIBPATH, 0},
    {"texturemap", K_TEXTUREMAP, 0}, {"texturemap2", K_TEXTUREMAP2, 0},
    {"seed", K_SEED, 0},
    {"ssxar", K_SSXAR, 0}, {"ssyar", K_SSYAR, 0}, {"sszar", K_SSZAR, 0},
    {"smooth", K_SMOOTH, 0},
    {"distance", K_DISTANCE, 0},
    {"metal", K_METAL, 0},
    {"stack", K_PUSH, 0}, {"push", K_PUSH, 0},
    {"unstack", K_POP, 0}, {"pull", K_POP, 0}, {"pop", K_POP, 0},
    {"keys", K_KEYS, 0},
    {"splined", K_SPLINED, 0},
    {"uvtexture", K_UVTEXTURE, 0},
    {"dmap", K_DMAP, 0},
    {"tile", K_TILE, 0}, {"btile", K_BTILE, 0},
    {"lightsource", K_LIGHTSOURCE, 0},
    {"ambithresh", K_AMBITHRESH, 0},
    {"viewlocation", K_VIEWLOCATION, 0}, {"viewtarget", K_VIEWTARGET, 0},
    {"depthmap", K_DEPTHMAP, 0},
};

const char* const kSolidNames[] = {"specks", "sinex", "sinexy", "cloud", "marble",
                                   "wood",   "sediment", "iris", "checker", "spots"};
const char* const kSurfaceNames[] = {"waves", "sines", "dunes", "plasma"};
const char* const kDisplaceNames[] = {"checker", "noise"};

int texture_kind(const char* name, const char* const* names, int count)
{
    for (int i = 0; i < count; ++i)
        if (same_name(name, names[i]))
            return i + 1;
    return 0;
}

void set_texture(int slot, const Reader& r, size_t from)
{
    char name[kSceneStringMax + 1] = "";
    size_t after = from;
    read_string(r, from, name, &after);
    Numbers n;
    read_numbers(r, after, n);
    TextureSlot& t = g_scene.attr.surface.texture[slot];
    int kind = 0;
    if (slot == TEX_SOLID || slot == TEX_SOLID2)
        kind = texture_kind(name, kSolidNames, 10);
    else if (slot == TEX_SURFACE)
        kind = texture_kind(name, kSurfaceNames, 4);
    else
        kind = texture_kind(name, kDisplaceNames, 2);
    t.kind = kind;
    if (kind == 0) {
        t.set = false;
        return;
    }
    for (int i = 0; i < 3; ++i)
        t.p[i] = i < n.count ? n.v[i] : 0;
    t.set = true;
}

int parse_text(const char* text, size_t length, bool library);

std::string join_path(const char* dir, const char* name)
{
    std::string path = dir;
    if (!path.empty() && path.back() != '/')
        path += '/';
    return path + name;
}

// Reads a library: the library folder and the name joined, else (for a
// relative name) beside the scene.  Unreadable libraries are skipped.
int include_library(const char* name)
{
    if (g_scene.lib_depth >= kSceneLibDepth) {
        log_printf("Library \"%s\" nested too deep; skipped\n", name);
        return 0;
    }
    std::string path = join_path(g_scene.libdir, name);
    long len = 0;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f && name[0] != '/' && g_scene.scene_dir[0]) {
        path = join_path(g_scene.scene_dir, join_path(g_scene.libdir, name).c_str());
        f = std::fopen(path.c_str(), "rb");
    }
    if (!f) {
        log_printf("Library \"%s\" could not be read; skipped\n", path.c_str());
        return 0;
    }
    bool ok = std::fseek(f, 0, SEEK_END) == 0 && (len = std::ftell(f)) >= 0 && std::fseek(f, 0, SEEK_SET) == 0;
    char* buffer = ok ? static_cast<char*>(mem_alloc(len + 10, "3-d library file buffer")) : nullptr;
    if (!buffer || std::fread(buffer, 1, static_cast<size_t>(len), f) != static_cast<size_t>(len)) {
        std::fclose(f);
        buffer = mem_free_t(buffer);
        log_printf("Library \"%s\" could not be read; skipped\n", path.c_str());
        return 0;
    }
    std::fclose(f);
    std::memset(buffer + len, 0, 10);
    g_scene.lib_depth += 1;
    int code = parse_text(buffer, static_cast<size_t>(len), true);
    g_scene.lib_depth -= 1;
    buffer = mem_free_t(buffer);
    return code;
}

// One tag whose keyword starts at `from`; returns the parse code.
int do_keyword(const Keyword& kw, const Reader& r, size_t from)
{
    AttrState& a = g_scene.attr;
    Surface& s = a.surface;
    Numbers n;
    char str[kSceneStringMax + 1] = "";
    switch (kw.kind) {
    case K_VTX: {
        read_numbers(r, from, n);
        take(a.vtx[kw.index], n);
        double origin[3];
        axis_origin(origin);
        for (int i = 0; i < 3; ++i)
            a.vtx[kw.index].v[i] += origin[i];
        a.vtx[kw.index].set = true;
        break;
    }
    case K_NRM:
        read_numbers(r, from, n);
        take(a.nrm[kw.index], n);
        a.nrm[kw.index].set = true;
        break;
    case K_OBJECT: {
        // The kind word, then the quoted name.
        size_t i = from;
        while (char_class(r.at(i)) == CH_BLANK)
            ++i;
        std::string word;
        while (i < r.length && char_class(r.at(i)) == CH_OTHER) {
            word += r.at(i);
            if (word.size() > static_cast<size_t>(kSceneKeyMax))
                return SCENE_BAD_OBJECT;
            ++i;
        }
        while (char_class(r.at(i)) == CH_BLANK || char_class(r.at(i)) == CH_COMMA)
            ++i;
        if (i >= r.length || r.at(i) != '"')
            return SCENE_BAD_OBJECT;
        read_string(r, i, str, nullptr);
        make_object(word.c_str(), str);
        break;
    }
    case K_COLOR:
        read_numbers(r, from, n);
        for (int k = 0; k < 3; ++k)
            take(s.color[k], n);
        break;
    case K_COLORN: read_numbers(r, from, n); take(s.color[kw.index], n); break;
    case K_POSITION: read_numbers(r, from, n); take(a.position, n); break;
    case K_RADIUS: read_numbers(r, from, n); take(a.radius, n); break;
    case K_WIDTH: read_numbers(r, from, n); takef(a.width, n); break;
    case K_HEIGHT: read_numbers(r, from, n); takef(a.height, n); break;
    case K_TRANSLATE: read_numbers(r, from, n); take(a.translate, n); break;
    case K_SCALE: read_numbers(r, from, n); takef(a.scale, n); break;
    case K_ROTATION: read_numbers(r, from, n); take(a.rotation, n); break;
    case K_STRUCTURE: g_scene.structure += 1; break;
    case K_AXIS: {
        read_numbers(r, from, n);
        read_string(r, from, str, nullptr);
        open_axis(n, str);
        break;
    }
    case K_ENDAXIS: close_axis(); break;
    case K_NORMALIZE:
        for (int i = 0; i < 3; ++i) {
            a.translate.v[i] = 0;
            a.rotation.v[i] = 0;
        }
        for (float& v : a.scale.v)
            v = 1;
        a.translate.set = a.rotation.set = a.scale.set = true;
        break;
    case K_AMBIENT: read_numbers(r, from, n); take(s.ambient, n); break;
    case K_DIFFUSE: read_numbers(r, from, n); take(s.diffuse, n); break;
    case K_SPECULAR: read_numbers(r, from, n); take(s.specular, n); break;
    case K_REFLECTIVITY: read_numbers(r, from, n); take(s.reflectivity, n); break;
    case K_BRILLIANCE:
        read_numbers(r, from, n);
        take(s.brilliance, n);
        s.brilliance.v[0] = std::min(s.brilliance.v[0], 50.0);
        break;
    case K_ROUGHNESS:
        read_numbers(r, from, n);
        take(s.roughness, n);
        s.roughness.v[0] = std::min(s.roughness.v[0], 50.0);
        break;
    case K_TRAIT:
        read_string(r, from, str, nullptr);
        push_state();
        attr_clear_flags(a);
        std::snprintf(a.trait_name, sizeof a.trait_name, "%s", str);
        break;
    case K_ENDTRAIT: end_trait(); break;
    case K_APPLY:
        read_string(r, from, str, nullptr);
        apply_trait(str);
        break;
    case K_IMAGEMAP:
        if (read_string(r, from, s.imagemap.name, nullptr))
            s.imagemap.use = true;
        break;
    case K_BUMPMAP:
        if (read_string(r, from, s.bumpmap.name, nullptr))
            s.bumpmap.use = true;
        break;
    case K_IMAGESCALE: read_numbers(r, from, n); takef(s.imagescale, n); break;
    case K_BUMPSCALE: read_numbers(r, from, n); takef(s.bumpscale, n); break;
    case K_BUMPDRAMA: read_numbers(r, from, n); takef(s.bumpdrama, n); break;
    case K_TRANSPARENCY: read_numbers(r, from, n); take(s.transparency, n); break;
    case K_TRANSLUCENCY: read_numbers(r, from, n); take(s.translucency, n); break;
    case K_REFRACTION: read_numbers(r, from, n); take(s.refraction, n); break;
    case K_ATMOSPHERE:
        read_numbers(r, from, n);
        if (n.count)
            g_scene.atmosphere = n.v[0];
        break;
    case K_LIB:
        if (read_string(r, from, str, nullptr) && str[0])
            return include_library(str);
        break;
    case K_LIBPATH:
        read_string(r, from, g_scene.libdir, nullptr);
        break;
    case K_TEXTUREMAP: set_texture(TEX_SOLID, r, from); break;
    case K_TEXTUREMAP2: set_texture(TEX_SOLID2, r, from); break;
    case K_UVTEXTURE: set_texture(TEX_SURFACE, r, from); break;
    case K_DMAP: set_texture(TEX_DISPLACE, r, from); break;
    case K_SEED:
        read_numbers(r, from, n);
        if (n.count)
            g_scene.seed = static_cast<long>(clamp_whole(std::floor(n.v[0]), -(1L << 31), 1L << 31));
        break;
    case K_SSXAR: s.ssxar = true; break;
    case K_SSYAR: s.ssyar = true; break;
    case K_SSZAR: s.sszar = true; break;
    case K_SMOOTH: return smooth_structure();
    case K_DISTANCE: read_numbers(r, from, n); take(s.distance, n); break;
    case K_METAL:
        read_numbers(r, from, n);
        if (n.count) {
            s.metal.v = n.v[0] >= 0.5 ? 1 : 0;
            s.metal.set = true;
        }
        break;
    case K_PUSH: push_state(); break;
    case K_POP: pop_state(); break;
    case K_KEYS: {
        size_t after = from;
        if (!read_string(r, from, str, &after))
            break;
        read_numbers(r, after, n);
        define_keys(str, n);
        break;
    }
    case K_SPLINED:
        read_numbers(r, from, n);
        if (n.count) {
            a.splined.v = static_cast<int>(clamp_whole(n.v[0], -(1L << 30), 1L << 30));
            a.splined.set = true;
        }
        break;
    case K_TILE: read_numbers(r, from, n); takef(s.tile, n); break;
    case K_BTILE: read_numbers(r, from, n); takef(s.btile, n); break;
    case K_LIGHTSOURCE:
        read_numbers(r, from, n);
        if (n.count) {
            s.lightsource.v = static_cast<int>(clamp_whole(n.v[0], -(1L << 30), 1L << 30));
            s.lightsource.set = true;
        }
        break;
    case K_AMBITHRESH: read_numbers(r, from, n); take(s.ambithresh, n); break;
    case K_VIEWLOCATION:
    case K_VIEWTARGET: {
        read_numbers(r, from, n);
        double* dst = kw.kind == K_VIEWLOCATION ? g_scene.camera.location : g_scene.camera.target;
        for (int i = 0; i < 3 && i < n.count; ++i)
            dst[i] = n.v[i];
        scene_camera_update(g_scene.camera);
        break;
    }
    case K_DEPTHMAP:
        read_numbers(r, from, n);
        g_scene.depthmap = true;
        g_scene.depth_near = n.count > 0 ? n.v[0] : 0;
        g_scene.depth_far = n.count > 1 ? n.v[1] : g_scene.depth_near;
        break;
    }
    return 0;
}

const Keyword* find_keyword(const char* word)
{
    for (const Keyword& k : kKeywords)
        if (same_name(k.word, word))
            return &k;
    return nullptr;
}

int parse_text(const char* text, size_t length, bool library)
{
    Reader r{text, length, 0};
    progress_open(library ? "Parse Libfile" : "Parse Scene", static_cast<long>(length < 1 ? 1 : length), 1);
    size_t every = length < 100 ? 1 : length / 100;
    size_t next_report = 0;
    int code = 0;
    while (r.pos < length) {
        if (r.pos >= next_report) {
            if (progress_update(static_cast<long>(r.pos))) {
                code = SCENE_CANCELLED;
                break;
            }
            next_report = r.pos + every;
        }
        if (text[r.pos] != '<') {
            ++r.pos;
            continue;
        }
        size_t start = r.pos + 1;
        size_t i = start;
        char word[kSceneKeyMax + 1];
        int n = 0;
        while (i < length && char_class(text[i]) == CH_OTHER) {
            // 200 characters or more cannot be a keyword.
            if (n + 1 >= kSceneKeyMax) {
                code = SCENE_KEY_TOO_LONG;
                break;
            }
            word[n++] = text[i++];
        }
        if (code)
            break;
        word[n] = 0;
        if (const Keyword* kw = find_keyword(word)) {
            code = do_keyword(*kw, r, i);
            if (code)
                break;
        }
        // The rest of the tag is skipped.
        while (i < length && text[i] != '>' && text[i] != 0)
            ++i;
        r.pos = i + 1;
    }
    progress_close();
    return code;
}

} // namespace

// ---- public -----------------------------------------------------------------

const char* scene_error_text(int code)
{
    switch (code) {
    case SCENE_OK:
    case SCENE_CANCELLED: return "";
    case SCENE_KEY_TOO_LONG: return "Key Too Long";
    case SCENE_READ_FAILED: return "Could not read data";
    case SCENE_BAD_OBJECT: return "Bad Object Found";
    default: return "Unspecified Raytrace Error";
    }
}

void attr_defaults(AttrState& a)
{
    std::memset(&a, 0, sizeof a);
    for (int k = 0; k < 3; ++k) {
        double v = k + 1;
        setd(a.vtx[k], {v, v, v});
        setd(a.nrm[k], {0, 0, 0});
    }
    Surface& s = a.surface;
    for (auto& c : s.color)
        setd(c, {1.0, 1.0, 1.0});
    setd(a.position, {0, 0, 0});
    setd(a.radius, {15.0});
    setf(a.width, {10.0f});
    setf(a.height, {10.0f});
    setd(a.translate, {0, 0, 0});
    setf(a.scale, {1, 1, 1, 1});
    setd(a.rotation, {0, 0, 0});
    setd(s.ambient, {0.1});
    setd(s.diffuse, {0.7});
    setd(s.brilliance, {50.0});
    setd(s.specular, {0.9});
    setd(s.roughness, {50.0});
    setd(s.reflectivity, {1.0});
    setd(s.transparency, {1.0});
    setd(s.translucency, {0});
    setd(s.refraction, {1.0});
    setd(s.distance, {10.0});
    setf(s.imagescale, {1, 1, 1});
    setf(s.bumpscale, {1, 1, 1});
    setf(s.bumpdrama, {0.25f});
    setf(s.tile, {1, 1});
    setf(s.btile, {1, 1});
    s.metal = {0, false};
    s.lightsource = {0, false};
    setd(s.ambithresh, {0});
    a.splined = {0, false};
}

void attr_apply(AttrState& to, const AttrState& from)
{
    each_attr(to, from, [](auto& dst, const auto& src) {
        if (src.set) {
            std::memcpy(&dst, &src, sizeof dst);
            dst.set = true;
        }
    });
    Surface& s = to.surface;
    const Surface& t = from.surface;
    for (int i = 0; i < 4; ++i)
        if (t.texture[i].set)
            s.texture[i] = t.texture[i];
    if (t.imagemap.use)
        std::memcpy(&s.imagemap, &t.imagemap, sizeof s.imagemap);
    if (t.bumpmap.use)
        std::memcpy(&s.bumpmap, &t.bumpmap, sizeof s.bumpmap);
    s.ssxar = s.ssxar || t.ssxar;
    s.ssyar = s.ssyar || t.ssyar;
    s.sszar = s.sszar || t.sszar;
}

void attr_clear_flags(AttrState& a)
{
    each_attr(a, a, [](auto& dst, const auto&) { dst.set = false; });
    for (TextureSlot& t : a.surface.texture)
        t.set = false;
    a.surface.imagemap.use = false;
    a.surface.bumpmap.use = false;
    a.surface.ssxar = a.surface.ssyar = a.surface.sszar = false;
}

Scene& scene()
{
    return g_scene;
}

void scene_camera_update(Camera& cam)
{
    auto normalise = [](double v[3]) {
        double len = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
        if (len == 0) {
            v[0] = v[1] = v[2] = 0.01;
            return;
        }
        for (int i = 0; i < 3; ++i)
            v[i] /= len;
    };
    double* f = cam.forward;
    for (int i = 0; i < 3; ++i)
        f[i] = cam.target[i] - cam.location[i];
    normalise(f);
    // right = (0, 1, 0) x forward
    double* r = cam.right;
    r[0] = 1 * f[2] - 0 * f[1];
    r[1] = 0 * f[0] - 0 * f[2];
    r[2] = 0 * f[1] - 1 * f[0];
    normalise(r);
    double* u = cam.up;
    u[0] = f[1] * r[2] - f[2] * r[1];
    u[1] = f[2] * r[0] - f[0] * r[2];
    u[2] = f[0] * r[1] - f[1] * r[0];
}

void scene_begin()
{
    scene_release();
    attr_defaults(g_scene.attr);
    g_scene.atmosphere = 1.0;
    g_scene.seed = 0;
    g_scene.structure = 0;
    g_scene.lights = 0;
    g_scene.depthmap = false;
    g_scene.depth_near = g_scene.depth_far = 0;
    g_scene.expr_noted = false;
    g_scene.lib_depth = 0;
    g_scene.camera = Camera{};
    g_scene.camera.location[2] = -14;
    scene_camera_update(g_scene.camera);
    g_scene.group = group_new();
    g_scene.stack = static_cast<AttrState*>(
        group_alloc_ptr(kSceneStackDepth, sizeof(AttrState), "3-d state stack", g_scene.group));
    g_scene.stack_depth = 0;
    expr_set_variable_source(lookup_variable);
}

void scene_release()
{
    if (g_scene.traitlist)
        list_destroy(g_scene.traitlist);
    if (g_scene.axislist)
        list_destroy(g_scene.axislist);
    g_scene.traitlist = nullptr;
    g_scene.axislist = nullptr;
    g_scene.active_axis = nullptr;
    g_scene.axis_depth = 0;
    array_free(g_scene.objects);
    array_free(g_scene.surfaces);
    array_free(g_scene.names);
    array_free(g_scene.keysets);
    if (g_scene.group)
        group_release(g_scene.group);
    g_scene.group = 0;
    g_scene.stack = nullptr;
    g_scene.stack_depth = 0;
    g_scene.lights = 0;
}

int scene_parse(const char* text, size_t length)
{
    if (!g_scene.group)
        scene_begin();
    return parse_text(text, length, false);
}

int scene_parse_file(const char* path)
{
    FILE* f = std::fopen(path, "rb");
    if (!f)
        return SCENE_READ_FAILED;
    long len = -1;
    if (std::fseek(f, 0, SEEK_END) == 0)
        len = std::ftell(f);
    if (len <= 0 || std::fseek(f, 0, SEEK_SET) != 0) {
        std::fclose(f);
        return SCENE_READ_FAILED;
    }
    char* buffer = static_cast<char*>(mem_alloc(len + 10, "3-d scene file buffer"));
    if (!buffer) {
        std::fclose(f);
        return SCENE_READ_FAILED;
    }
    bool ok = std::fread(buffer, 1, static_cast<size_t>(len), f) == static_cast<size_t>(len);
    std::fclose(f);
    int code = SCENE_READ_FAILED;
    if (ok) {
        std::memset(buffer + len, 0, 10);
        std::string dir = path;
        size_t slash = dir.rfind('/');
        dir = slash == std::string::npos ? std::string() : dir.substr(0, slash);
        std::snprintf(g_scene.scene_dir, sizeof g_scene.scene_dir, "%s", dir.c_str());
        code = scene_parse(buffer, static_cast<size_t>(len));
    }
    buffer = mem_free_t(buffer);
    return code;
}

bool scene_keyset_value(const char* name, double* value)
{
    const KeySet* k = find_keyset(name);
    if (!k)
        return false;
    *value = keyset_value(*k);
    return true;
}

const char* scene_object_name(const SceneObject& o)
{
    if (!g_scene.names.data || o.name < 0 || o.name >= g_scene.names.count)
        return "";
    return static_cast<const char*>(g_scene.names.data) + o.name;
}
