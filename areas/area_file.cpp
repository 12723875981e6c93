#include "areas/area_file.h"

#include "areas/area.h"
#include "core/log.h"
#include "core/messages.h"
#include "core/progress.h"
#include "core/safe_write.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <strings.h>
#include <vector>

namespace {

// Lines are read in pieces of at most this many characters.
constexpr int kLineMax = 198;

struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<FILE, FileCloser>;

// One piece of a line, as fgets reads it into a buffer of kLineMax + 1.
bool read_piece(FILE* f, std::string& line)
{
    line.clear();
    int c;
    while (line.size() < static_cast<size_t>(kLineMax) && (c = std::fgetc(f)) != EOF) {
        line.push_back(static_cast<char>(c));
        if (c == '\n')
            break;
    }
    return !line.empty();
}

std::vector<std::string> words_of(const std::string& line)
{
    std::vector<std::string> out;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && std::isspace(static_cast<unsigned char>(line[i])))
            ++i;
        size_t start = i;
        while (i < line.size() && !std::isspace(static_cast<unsigned char>(line[i])))
            ++i;
        if (i > start)
            out.push_back(line.substr(start, i - start));
    }
    return out;
}

// The value words after the key; a missing or malformed one keeps `value`.
struct Values {
    std::vector<std::string> words;

    bool get(size_t i, long& value) const
    {
        if (i + 1 >= words.size())
            return false;
        const char* s = words[i + 1].c_str();
        char* end = nullptr;
        errno = 0;
        long v = std::strtol(s, &end, 10);
        if (end == s)
            return false;
        value = v;
        return true;
    }
    bool get(size_t i, double& value) const
    {
        if (i + 1 >= words.size())
            return false;
        const char* s = words[i + 1].c_str();
        char* end = nullptr;
        double v = std::strtod(s, &end);
        if (end == s || !std::isfinite(v))
            return false;
        value = v;
        return true;
    }
};

int32_t to32(long v)
{
    return static_cast<int32_t>(std::clamp<long>(v, INT32_MIN, INT32_MAX));
}

// The keys in the order the reader tries them.
enum Key { TRANL, TRANE, TRANG, MODE, SIZE, POS, RAD, ROUND, RANG, COL, TEXT, ROT, MAG, SHEAR, FEATH, PKEY, SKEY };
const char* const kKeys[] = {"TranL", "TranE", "TranG", "Mode", "Size", "Pos", "Rad", "Round", "Rang",
                             "Col",   "Text",  "Rot",   "Mag",  "Shear", "Feath", "P",  "S"};

int key_of(const std::string& line)
{
    for (int k = 0; k < static_cast<int>(std::size(kKeys)); ++k)
        if (strncasecmp(line.c_str(), kKeys[k], std::strlen(kKeys[k])) == 0)
            return k;
    return -1;
}

// The text after "Text" and its colon, without the line end.
std::string text_value(const std::string& line)
{
    size_t i = 4;
    if (i < line.size() && line[i] == ':')
        ++i;
    if (i < line.size() && line[i] == ' ')
        ++i;
    std::string t = line.substr(std::min(i, line.size()));
    while (!t.empty() && (t.back() == '\n' || t.back() == '\r'))
        t.pop_back();
    if (t.size() > static_cast<size_t>(kAreaTextMax))
        t.resize(kAreaTextMax);
    return t;
}

void read_point(const Values& v, std::vector<AreaPoint>& list, bool& first, bool& full)
{
    if (first) {
        list.clear();
        first = false;
    }
    long x, y, m = list.empty() ? 0 : 255;
    if (!v.get(0, x) || !v.get(1, y))
        return;
    v.get(2, m);
    if (static_cast<long>(list.size()) >= kAreaMaxPoints) {
        if (!full)
            log_printf("Area file: more than %ld points, the rest are skipped\n", kAreaMaxPoints);
        full = true;
        return;
    }
    AreaPoint p{to32(x), to32(y), static_cast<int16_t>(std::clamp<long>(m, INT16_MIN, INT16_MAX))};
    list.push_back(p);
    log_printf("X: %4ld ", static_cast<long>(p.x));
    log_printf("Y: %4ld ", static_cast<long>(p.y));
    log_printf("M: %4ld \n", static_cast<long>(p.m));
}

std::string base_name(const char* path)
{
    std::string s = path;
    size_t slash = s.find_last_of('/');
    if (slash != std::string::npos)
        s = s.substr(slash + 1);
    size_t dot = s.find('.');
    if (dot != std::string::npos)
        s.resize(dot);
    return s;
}

// Points whose markers are all 0 are one contour: mark the rest as continuing.
std::vector<AreaPoint> marked(const std::vector<AreaPoint>& pts)
{
    std::vector<AreaPoint> out = pts;
    bool any = false;
    for (size_t i = 1; i < out.size(); ++i)
        any = any || out[i].m != 0;
    for (size_t i = 0; i < out.size(); ++i)
        if (i == 0)
            out[i].m = 0;
        else if (!any)
            out[i].m = 255;
    return out;
}

} // namespace

int area_save(const char* path)
{
    // The old file stays as it was unless the whole file is written.
    SafeWrite out(path);
    FILE* o = out.open("w");
    if (!o) {
        message_show_file(msg::CannotOpenRequested, path);
        return 1;
    }
    const AreaSettings& s = area_settings();
    std::fprintf(o, "AREASELECT Glimmerix:V/q File\n\n");
    std::fprintf(o, "TranLevel: %4ld\n", s.tran_level);
    std::fprintf(o, "TranEdge:  %4ld\n", s.tran_edge);
    std::fprintf(o, "TranGrow:  %4ld\n\n", s.tran_grow);
    std::fprintf(o, "Mode: %s\n", area_mode_name(s.mode));
    std::fprintf(o, "Size: %4ld %4ld\n", s.src_width, s.src_height);
    switch (s.mode) {
    case AreaMode::FREEHAND:
    case AreaMode::POLYGON:
    case AreaMode::ISHAPE:
        for (const AreaPoint& p : s.points)
            std::fprintf(o, "P: %4ld %4ld %4d\n", static_cast<long>(p.x), static_cast<long>(p.y), p.m);
        break;
    case AreaMode::RECT:
    case AreaMode::ROUNDRECT:
    case AreaMode::ELLIPSE:
    case AreaMode::NUMRECT:
        std::fprintf(o, "Pos: %4ld %4ld\n", s.pos_x, s.pos_y);
        std::fprintf(o, "Rad: %4ld %4ld\n", s.rad_x, s.rad_y);
        if (s.mode == AreaMode::ROUNDRECT)
            std::fprintf(o, "Roundness: %4d\n", static_cast<int>(s.roundness));
        break;
    case AreaMode::POLYARC:
    case AreaMode::SPLINE:
    case AreaMode::BEZIER:
        for (const AreaPoint& p : s.control)
            std::fprintf(o, "S: %4ld %4ld %4d\n", static_cast<long>(p.x), static_cast<long>(p.y), p.m);
        break;
    case AreaMode::FLOOD:
        std::fprintf(o, "Pos: %4ld %4ld\n", s.pos_x, s.pos_y);
        std::fprintf(o, "Range: %3ld %3ld %3ld\n", s.range[0], s.range[1], s.range[2]);
        break;
    case AreaMode::KEY:
        std::fprintf(o, "Color: %3ld %3ld %3ld\n", s.key[0], s.key[1], s.key[2]);
        std::fprintf(o, "Range: %3ld %3ld %3ld\n", s.range[0], s.range[1], s.range[2]);
        break;
    case AreaMode::FONT:
        std::fprintf(o, "Text: %s\n", s.text.c_str());
        std::fprintf(o, "Rot: %8.2lf\n", s.rotation);
        std::fprintf(o, "Mag: %8.2lf %8.2lf\n", s.mag_x, s.mag_y);
        std::fprintf(o, "Shear: %8.2lf\n", s.shear);
        break;
    case AreaMode::ENTIRE:
    case AreaMode::REDO:
        break;
    }
    std::fprintf(o, "Feather: %4ld\n", s.feather);
    if (std::ferror(o) || out.commit() != 0) {
        message_show(msg::ProblemWriting, path);
        return 1;
    }
    return 0;
}

int area_load(const char* path)
{
    File f(open_for_reading(path, "r"));
    if (!f) {
        message_show_file(msg::CannotOpenRequested, path);
        return 1;
    }
    std::string line;
    if (!read_piece(f.get(), line) || line.compare(0, 7, "AREASEL") != 0) {
        message_show(msg::FileTypeMismatch, path);
        return 1;
    }
    // Read into a copy, so that a value that does not parse keeps the setting.
    AreaSettings s = area_settings();
    bool first_p = true, first_s = true, full_p = false, full_s = false;
    while (read_piece(f.get(), line)) {
        const int key = key_of(line);
        if (key < 0)
            continue;
        Values v{words_of(line)};
        switch (key) {
        case TRANL:
            v.get(0, s.tran_level);
            log_printf("TranLevel: %4ld\n", s.tran_level);
            break;
        case TRANE:
            v.get(0, s.tran_edge);
            log_printf("TranEdge:  %4ld\n", s.tran_edge);
            break;
        case TRANG:
            v.get(0, s.tran_grow);
            log_printf("TranGrow:  %4ld\n", s.tran_grow);
            break;
        case MODE:
            // A misspelt mode would otherwise select the entire image.
            if (v.words.size() < 2 || !area_mode_parse(v.words[1].c_str(), &s.mode)) {
                std::string text = std::string(path) + ": no area mode \"" +
                                   (v.words.size() > 1 ? v.words[1] : std::string()) + "\" (docs/areas.md lists them)";
                message_show(msg::FileTypeMismatch, text.c_str());
                return 1;
            }
            log_printf("Mode: %s\n", area_mode_name(s.mode));
            break;
        case SIZE:
            v.get(0, s.src_width);
            v.get(1, s.src_height);
            log_printf("Size: %4ld %4ld\n", s.src_width, s.src_height);
            break;
        case POS: {
            // Both are read, whichever is missing.
            const bool x = v.get(0, s.pos_x);
            const bool y = v.get(1, s.pos_y);
            if (x || y)
                s.pos_set = true;
            log_printf("Pos: %4ld %4ld\n", s.pos_x, s.pos_y);
            break;
        }
        case RAD:
            v.get(0, s.rad_x);
            v.get(1, s.rad_y);
            log_printf("Rad: %4ld %4ld\n", s.rad_x, s.rad_y);
            break;
        case ROUND:
            v.get(0, s.roundness);
            log_printf("Roundness: %4d\n", static_cast<int>(s.roundness));
            break;
        case RANG:
            for (size_t i = 0; i < 3; ++i)
                v.get(i, s.range[i]);
            log_printf("Range: %3ld %3ld %3ld\n", s.range[0], s.range[1], s.range[2]);
            break;
        case COL:
            for (size_t i = 0; i < 3; ++i)
                v.get(i, s.key[i]);
            log_printf("Color: %3ld %3ld %3ld\n", s.key[0], s.key[1], s.key[2]);
            break;
        case TEXT:
            s.text = text_value(line);
            log_printf("Text: %s\n", s.text.c_str());
            break;
        case ROT:
            v.get(0, s.rotation);
            log_printf("Rot: %8.2lf\n", s.rotation);
            break;
        case MAG:
            v.get(0, s.mag_x);
            v.get(1, s.mag_y);
            log_printf("Mag: %8.2lf %8.2lf\n", s.mag_x, s.mag_y);
            break;
        case SHEAR:
            v.get(0, s.shear);
            log_printf("Shear: %8.2lf\n", s.shear);
            break;
        case FEATH:
            v.get(0, s.feather);
            log_printf("Feather: %4ld\n", s.feather);
            break;
        case PKEY:
            read_point(v, s.points, first_p, full_p);
            break;
        case SKEY:
            read_point(v, s.control, first_s, full_s);
            break;
        }
    }
    // An ISHAPE read from a file is its outline; its box is the points' box.
    if (s.mode == AreaMode::ISHAPE && !s.points.empty()) {
        AreaSettings poly = s;
        poly.mode = AreaMode::POLYGON;
        area_box_of(poly, s.box);
    }
    area_settings() = std::move(s);
    return area_select();
}

int shape_save(const char* path)
{
    const AreaSettings& s = area_settings();
    if (s.points.empty()) {
        error_box("There are no freehand or polygon points to save as a shape.", path);
        return 1;
    }
    SafeWrite out(path);
    FILE* o = out.open("w");
    if (!o) {
        message_show_file(msg::CannotOpenRequested, path);
        return 1;
    }
    std::vector<AreaPoint> pts = marked(s.points);
    long left = pts[0].x, top = pts[0].y, right = left, bottom = top;
    for (const AreaPoint& p : pts) {
        left = std::min<long>(left, p.x);
        top = std::min<long>(top, p.y);
        right = std::max<long>(right, p.x);
        bottom = std::max<long>(bottom, p.y);
    }
    const long width = std::max(1L, right - left), height = std::max(1L, bottom - top);
    AreaShape shape;
    shape.name = base_name(path);
    std::fprintf(o, "ISHAPE\n%s\n", shape.name.c_str());
    progress_open("-Saving shape file-", static_cast<long>(pts.size()));
    for (size_t i = 0; i < pts.size(); ++i) {
        const AreaPoint& p = pts[i];
        const long x = (p.x - left) * 1000 / width;
        const long y = (p.y - top) * 1000 / height;
        if (p.m == 0)
            std::fprintf(o, "\n");
        std::fprintf(o, "%4ld %4ld\n", x, 1000 - y);
        shape.points.push_back({to32(x), to32(y), p.m});
        if ((i & 1023) == 0)
            progress_update(static_cast<long>(i));
    }
    progress_close();
    if (std::ferror(o) || out.commit() != 0) {
        message_show(msg::ProblemWriting, path);
        return 1;
    }
    area_state().shape = std::move(shape);
    return 0;
}

int shape_load(const char* path)
{
    File f(open_for_reading(path, "r"));
    if (!f) {
        message_show_file(msg::IShapeNotFound, path);
        return 1;
    }
    std::string line;
    if (!read_piece(f.get(), line) || strncasecmp(line.c_str(), "ISHAPE", 6) != 0) {
        message_show(msg::FileTypeMismatch, path);
        return 1;
    }
    // The rest of a first line longer than a piece is no point.
    while (!line.empty() && line.back() != '\n' && read_piece(f.get(), line)) {
    }
    struct Raw {
        double x, y;
        bool starts;
    };
    std::vector<Raw> raw;
    bool named = false, after_gap = true, full = false;
    double x0 = INFINITY, y0 = INFINITY, x1 = -INFINITY, y1 = -INFINITY;
    // First pass: the points and their box.
    for (;;) {
        // Whole lines: a point line longer than a piece is still one line.
        std::string whole;
        bool got = false;
        while (read_piece(f.get(), line)) {
            got = true;
            whole += line;
            if (line.back() == '\n' || whole.size() > 4096)
                break;
        }
        if (!got)
            break;
        while (!whole.empty() && (whole.back() == '\n' || whole.back() == '\r'))
            whole.pop_back();
        if (whole.empty()) {
            after_gap = true;
            continue;
        }
        if (whole[0] == '*')
            continue;
        if (!named) {
            named = true;  // the shape's name line
            continue;
        }
        const char* s = whole.c_str();
        char* end = nullptr;
        double x = std::strtod(s, &end);
        if (end == s)
            continue;
        const char* s2 = end;
        double y = std::strtod(s2, &end);
        if (end == s2 || !std::isfinite(x) || !std::isfinite(y))
            continue;
        if (static_cast<long>(raw.size()) >= kAreaMaxPoints) {
            if (!full)
                log_printf("Shape file %s: more than %ld points, the rest are skipped\n", path, kAreaMaxPoints);
            full = true;
            continue;
        }
        raw.push_back({x, y, after_gap || raw.empty()});
        after_gap = false;
        x0 = std::min(x0, x);
        y0 = std::min(y0, y);
        x1 = std::max(x1, x);
        y1 = std::max(y1, y);
    }
    if (raw.empty()) {
        message_show(msg::IShapeNoPoints, path);
        return 1;
    }
    const double w = std::max(x1 - x0, 0.001), h = std::max(y1 - y0, 0.001);
    // Second pass: into the 0..1000 square, y flipped back to growing down.
    AreaShape shape;
    shape.name = base_name(path);
    shape.points.reserve(raw.size());
    progress_open("- Loading Shape File -", static_cast<long>(raw.size()));
    for (size_t i = 0; i < raw.size(); ++i) {
        const Raw& r = raw[i];
        AreaPoint p;
        p.x = to32(std::lround((r.x - x0) * 1000 / w));
        p.y = to32(std::lround(1000 - (r.y - y0) * 1000 / h));
        p.m = r.starts ? 0 : 255;
        shape.points.push_back(p);
        if ((i & 1023) == 0)
            progress_update(static_cast<long>(i));
    }
    progress_close();
    area_state().shape = std::move(shape);
    return 0;
}
