#include "areas/area_font.h"

#include "core/log.h"
#include "core/messages.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H

#include <algorithm>
#include <cmath>

namespace {

struct FontEngine {
    FT_Library library = nullptr;
    bool fc_ready = false;
    FT_Face face = nullptr;
    // What the open face was chosen for.
    std::string name;
    long weight = 0;
    bool italic = false;
};

FontEngine g_font;

// Decoding UTF-8; a byte that starts no valid sequence stands for itself.
std::vector<uint32_t> code_points(const std::string& text)
{
    std::vector<uint32_t> out;
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    size_t n = text.size();
    for (size_t i = 0; i < n;) {
        unsigned c = s[i];
        int len = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        bool ok = len > 0 && i + static_cast<size_t>(len) <= n;
        uint32_t cp = len == 1 ? c : len == 2 ? c & 0x1f : len == 3 ? c & 0x0f : c & 0x07;
        for (int k = 1; ok && k < len; ++k) {
            if ((s[i + k] & 0xc0) != 0x80)
                ok = false;
            else
                cp = cp << 6 | (s[i + k] & 0x3f);
        }
        if (!ok) {
            out.push_back(c);
            i += 1;
        } else {
            out.push_back(cp);
            i += len;
        }
    }
    return out;
}

// Collects glyph outlines in font units (y up), flattened.
struct Collector {
    Outline* out;
    double pen_x;       // font units
    double flat_scale;  // pixels per font unit, for the flattening step
    PointF last{0, 0};

    PointF at(const FT_Vector* v) const { return {pen_x + v->x, static_cast<double>(v->y)}; }
    void line(const PointF& p)
    {
        out->contours.back().push_back(p);
        last = p;
    }
    int steps(double units) const { return std::clamp(static_cast<int>(std::ceil(units * flat_scale)), 1, 256); }
};

int move_to(const FT_Vector* to, void* user)
{
    auto* c = static_cast<Collector*>(user);
    c->out->contours.emplace_back();
    c->line(c->at(to));
    return 0;
}

int line_to(const FT_Vector* to, void* user)
{
    auto* c = static_cast<Collector*>(user);
    if (!c->out->contours.empty())
        c->line(c->at(to));
    return 0;
}

int conic_to(const FT_Vector* control, const FT_Vector* to, void* user)
{
    auto* c = static_cast<Collector*>(user);
    if (c->out->contours.empty())
        return 0;
    PointF p0 = c->last, p1 = c->at(control), p2 = c->at(to);
    int n = c->steps(std::hypot(p1.x - p0.x, p1.y - p0.y) + std::hypot(p2.x - p1.x, p2.y - p1.y));
    for (int i = 1; i <= n; ++i) {
        double t = static_cast<double>(i) / n, u = 1 - t;
        c->line({u * u * p0.x + 2 * u * t * p1.x + t * t * p2.x, u * u * p0.y + 2 * u * t * p1.y + t * t * p2.y});
    }
    return 0;
}

int cubic_to(const FT_Vector* c1, const FT_Vector* c2, const FT_Vector* to, void* user)
{
    auto* c = static_cast<Collector*>(user);
    if (c->out->contours.empty())
        return 0;
    PointF p0 = c->last, p1 = c->at(c1), p2 = c->at(c2), p3 = c->at(to);
    int n = c->steps(std::hypot(p1.x - p0.x, p1.y - p0.y) + std::hypot(p2.x - p1.x, p2.y - p1.y) +
                     std::hypot(p3.x - p2.x, p3.y - p2.y));
    for (int i = 1; i <= n; ++i) {
        double t = static_cast<double>(i) / n, u = 1 - t;
        double a = u * u * u, b = 3 * u * u * t, d = 3 * u * t * t, e = t * t * t;
        c->line({a * p0.x + b * p1.x + d * p2.x + e * p3.x, a * p0.y + b * p1.y + d * p2.y + e * p3.y});
    }
    return 0;
}

bool fc_ready()
{
    if (!g_font.fc_ready)
        g_font.fc_ready = FcInit() == FcTrue;
    return g_font.fc_ready;
}

// Opens the face the font description names, reusing the open one when it matches.
bool open_face(const FontSpec& spec, std::string& file)
{
    if (g_font.face && g_font.name == spec.name && g_font.weight == spec.weight && g_font.italic == spec.italic)
        return true;
    if (!g_font.library && FT_Init_FreeType(&g_font.library) != 0) {
        g_font.library = nullptr;
        return false;
    }
    if (g_font.face) {
        FT_Done_Face(g_font.face);
        g_font.face = nullptr;
    }
    file = area_font_file(spec.name, spec.weight, spec.italic);
    if (file.empty())
        return false;
    int index = 0;
    // The index rides after the file name: "file\tindex".
    if (size_t tab = file.find('\t'); tab != std::string::npos) {
        index = std::atoi(file.c_str() + tab + 1);
        file.resize(tab);
    }
    if (FT_New_Face(g_font.library, file.c_str(), index, &g_font.face) != 0) {
        g_font.face = nullptr;
        return false;
    }
    if (!FT_IS_SCALABLE(g_font.face)) {
        FT_Done_Face(g_font.face);
        g_font.face = nullptr;
        return false;
    }
    g_font.name = spec.name;
    g_font.weight = spec.weight;
    g_font.italic = spec.italic;
    log_printf("Font \"%s\": %s\n", spec.name.c_str(), file.c_str());
    return true;
}

} // namespace

std::string area_font_file(const std::string& name, long weight, bool italic)
{
    if (!fc_ready())
        return {};
    FcPattern* pattern = FcPatternCreate();
    if (!pattern)
        return {};
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(name.c_str()));
    FcPatternAddInteger(pattern, FC_WEIGHT, FcWeightFromOpenType(static_cast<int>(std::clamp(weight, 1L, 1000L))));
    FcPatternAddInteger(pattern, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(nullptr, pattern, &result);
    FcPatternDestroy(pattern);
    std::string file;
    if (match) {
        FcChar8* path = nullptr;
        int index = 0;
        if (FcPatternGetString(match, FC_FILE, 0, &path) == FcResultMatch && path) {
            file = reinterpret_cast<const char*>(path);
            if (FcPatternGetInteger(match, FC_INDEX, 0, &index) == FcResultMatch && index > 0) {
                file += '\t';
                file += std::to_string(index);
            }
        }
        FcPatternDestroy(match);
    }
    return file;
}

int area_font_outline(const FontSpec& spec, const std::string& text, Outline& out)
{
    std::string file;
    if (!open_face(spec, file)) {
        error_box("The font for the text area could not be loaded.", file.empty() ? spec.name.c_str() : file.c_str());
        return 1;
    }
    std::vector<uint32_t> cps = code_points(text);
    if (cps.empty())
        return 0;
    FT_Face face = g_font.face;
    const double units = face->units_per_EM > 0 ? face->units_per_EM : 1000;
    const double size = std::clamp(spec.size, 0.0, 20000.0);
    const double scale = size / units;  // pixels per font unit
    const double mx = spec.mag_x, my = spec.mag_y;

    Outline glyphs;
    Collector col{&glyphs, 0, scale * std::max({std::fabs(mx), std::fabs(my), 1e-6}), {0, 0}};
    FT_Outline_Funcs funcs{};
    funcs.move_to = move_to;
    funcs.line_to = line_to;
    funcs.conic_to = conic_to;
    funcs.cubic_to = cubic_to;
    double pen = 0;
    FT_UInt prev = 0;
    const bool kerning = FT_HAS_KERNING(face);
    for (uint32_t cp : cps) {
        FT_UInt index = FT_Get_Char_Index(face, cp);
        if (kerning && prev && index) {
            FT_Vector k{0, 0};
            if (FT_Get_Kerning(face, prev, index, FT_KERNING_UNSCALED, &k) == 0)
                pen += k.x;
        }
        if (FT_Load_Glyph(face, index, FT_LOAD_NO_SCALE | FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP) != 0) {
            prev = index;
            continue;
        }
        if (face->glyph->format == FT_GLYPH_FORMAT_OUTLINE) {
            col.pen_x = pen;
            FT_Outline_Decompose(&face->glyph->outline, &funcs, &col);
        }
        pen += face->glyph->advance.x;
        prev = index;
    }
    // The untransformed text box, in pixels with y down, gives the centre
    // that the transform turns about.
    double x0 = INFINITY, y0 = INFINITY, x1 = -INFINITY, y1 = -INFINITY;
    for (Contour& c : glyphs.contours)
        for (PointF& p : c) {
            p.x *= scale;
            p.y *= -scale;
            x0 = std::min(x0, p.x);
            y0 = std::min(y0, p.y);
            x1 = std::max(x1, p.x);
            y1 = std::max(y1, p.y);
        }
    if (!(x1 >= x0))
        return 0;  // only spaces
    const double tcx = (x0 + x1) / 2, tcy = (y0 + y1) / 2;
    const double a = spec.rotation * 3.14159265358979323846 / 180;
    const double cs = std::cos(a), sn = std::sin(a);
    for (Contour& c : glyphs.contours) {
        for (PointF& p : c) {
            double x = (p.x - tcx) * mx, y = (p.y - tcy) * my;
            x -= spec.shear * y;  // y is down: the top leans right for a positive shear
            p = {spec.cx + x * cs + y * sn, spec.cy - x * sn + y * cs};
        }
        out.contours.push_back(std::move(c));
    }
    return 0;
}

void area_font_release()
{
    if (g_font.face)
        FT_Done_Face(g_font.face);
    if (g_font.library)
        FT_Done_FreeType(g_font.library);
    if (g_font.fc_ready)
        FcFini();
    g_font = FontEngine{};
}
