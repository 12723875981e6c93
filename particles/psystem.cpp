#include "particles/psystem.h"

#include "core/mem.h"
#include "core/messages.h"
#include "core/safe_write.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <strings.h>
#include <sys/stat.h>

namespace {

PsysLimits g_limits;

// ---- key tables -------------------------------------------------------------

struct SysField {
    const char* key;
    int32_t ParticleSystem::*i;
    float ParticleSystem::*f;
    int lo, hi;  // the range of an integer field (lo > hi: any)
};

// The plain fields; particlecount, forcecount, minsize, maxsize, dist,
// palette and force have rules of their own.
constexpr SysField kSysFields[] = {
    {"x", nullptr, &ParticleSystem::x, 1, 0},
    {"y", nullptr, &ParticleSystem::y, 1, 0},
    {"z", nullptr, &ParticleSystem::z, 1, 0},
    {"xw", nullptr, &ParticleSystem::xw, 1, 0},
    {"yw", nullptr, &ParticleSystem::yw, 1, 0},
    {"zw", nullptr, &ParticleSystem::zw, 1, 0},
    {"xv", nullptr, &ParticleSystem::xv, 1, 0},
    {"yv", nullptr, &ParticleSystem::yv, 1, 0},
    {"zv", nullptr, &ParticleSystem::zv, 1, 0},
    {"advancerange", nullptr, &ParticleSystem::advancerange, 1, 0},
    {"timeadvancerange", nullptr, &ParticleSystem::timeadvancerange, 1, 0},
    {"minspacing", nullptr, &ParticleSystem::minspacing, 1, 0},
    {"minsrad", nullptr, &ParticleSystem::minsrad, 1, 0},
    {"maxv", nullptr, &ParticleSystem::maxv, 1, 0},
    {"zscale", nullptr, &ParticleSystem::zscale, 1, 0},
    {"palettewrap", &ParticleSystem::palettewrap, nullptr, 1, 0},
    {"stickypalette", &ParticleSystem::stickypalette, nullptr, 1, 0},
    {"agewrap", &ParticleSystem::agewrap, nullptr, 1, 0},
    {"seed", &ParticleSystem::seed, nullptr, 1, 0},
    {"clip", &ParticleSystem::clip, nullptr, 1, 0},
    {"additive", &ParticleSystem::additive, nullptr, 1, 0},
    {"twodee", &ParticleSystem::twodee, nullptr, 1, 0},
    {"areamode", &ParticleSystem::areamode, nullptr, 0, 6},
};

struct ForceField {
    const char* key;
    int32_t Force::*i;
    float Force::*f;
    int before_code;  // the code when it comes before the first force
};

constexpr ForceField kForceFields[] = {
    {"enable", &Force::enable, nullptr, 32},
    {"fbegin", nullptr, &Force::fbegin, 18},
    {"fend", nullptr, &Force::fend, 19},
    {"fxw", nullptr, &Force::fxw, 13},
    {"fyw", nullptr, &Force::fyw, 13},
    {"fzw", nullptr, &Force::fzw, 13},
    {"fxv", nullptr, &Force::fxv, 13},
    {"fyv", nullptr, &Force::fyv, 14},
    {"fzv", nullptr, &Force::fzv, 15},
    {"fdecay", nullptr, &Force::fdecay, 16},
    {"fseed", &Force::fseed, nullptr, 17},
    {"ftx", nullptr, &Force::ftx, 20},
    {"fty", nullptr, &Force::fty, 21},
    {"ftz", nullptr, &Force::ftz, 22},
    {"ftr", nullptr, &Force::ftr, 23},
    {"fta", nullptr, &Force::fta, 24},
    {"sizestart", nullptr, &Force::sizestart, 26},
    {"sizeend", nullptr, &Force::sizeend, 27},
    {"fadestart", nullptr, &Force::fadestart, 28},
    {"fadeend", nullptr, &Force::fadeend, 29},
    {"turbstart", nullptr, &Force::turbstart, 30},
    {"turbend", nullptr, &Force::turbend, 31},
    {"pastart", nullptr, &Force::pastart, 32},
    {"paend", nullptr, &Force::paend, 33},
    {"vsstart", nullptr, &Force::vsstart, 34},
    {"vsend", nullptr, &Force::vsend, 35},
};

constexpr const char* kTypeWords[] = {"linear", "radial", "constant", "vortex"};

// ---- numbers ------------------------------------------------------------------

bool parse_int(const std::string& text, int32_t& out)
{
    const char* b = text.data();
    const char* e = b + text.size();
    if (b != e && *b == '+')
        ++b;
    int32_t v = 0;
    auto [p, ec] = std::from_chars(b, e, v);
    if (ec != std::errc() || p != e || b == e)
        return false;
    out = v;
    return true;
}

bool parse_float(const std::string& text, float& out)
{
    const char* b = text.data();
    const char* e = b + text.size();
    if (b != e && *b == '+')
        ++b;
    double v = 0;
    auto [p, ec] = std::from_chars(b, e, v, std::chars_format::general);
    if (ec != std::errc() || p != e || b == e || !std::isfinite(v) || std::fabs(v) > std::numeric_limits<float>::max())
        return false;
    out = static_cast<float>(v);
    return true;
}

// "%f" as the C library writes it in the "C" locale, whatever locale the
// program runs in.
void put_float(std::string& out, float v)
{
    char buf[64];
    auto [p, ec] = std::to_chars(buf, buf + sizeof buf, static_cast<double>(v), std::chars_format::fixed, 6);
    if (ec != std::errc()) {
        out += "0.000000";
        return;
    }
    out.append(buf, p);
}

void put_int(std::string& out, long v)
{
    out += std::to_string(v);
}

// ---- the reader ---------------------------------------------------------------

class Reader {
public:
    Reader(const char* path, ParticleSystem& sys, bool gen) : path_(path), sys_(sys), gen_(gen) {}

    int run()
    {
        if (!load())
            return code_;
        std::string key, value;
        bool first = true;
        while (next(key) && next(value)) {
            if (first) {
                first = false;
                if (strcasecmp(key.c_str(), "vqpsystem") != 0)
                    return fail(PSL_NOT_PSYSTEM, "the file does not begin with \"vqpsystem\"");
                continue;
            }
            if (!pair(key, value))
                return code_;
        }
        if (first)
            return fail(PSL_NOT_PSYSTEM, "the file does not begin with \"vqpsystem\"");
        if (sections_ != sys_.forcecount)
            return fail(PSL_FORCE_COUNT_DIFFERS, std::to_string(sections_) + " force sections for a forcecount of " +
                                                     std::to_string(sys_.forcecount));
        return PSL_OK;
    }

private:
    bool load()
    {
        errno = 0;
        FILE* f = std::fopen(path_, "rb");
        struct stat st {};
        if (f && (fstat(fileno(f), &st) != 0 || S_ISDIR(st.st_mode))) {
            std::fclose(f);
            f = nullptr;
            errno = EISDIR;
        }
        if (!f) {
            fail(PSL_OPEN, std::strerror(errno ? errno : ENOENT));
            return false;
        }
        if (st.st_size > g_limits.max_file_bytes) {
            std::fclose(f);
            fail(PSL_BAD_VALUE, "the file is larger than " + std::to_string(g_limits.max_file_bytes) + " bytes");
            return false;
        }
        text_.resize(static_cast<size_t>(st.st_size));
        size_t got = text_.empty() ? 0 : std::fread(text_.data(), 1, text_.size(), f);
        std::fclose(f);
        text_.resize(got);
        return true;
    }

    // The next whitespace-separated word; false at the end.
    bool next(std::string& word)
    {
        auto space = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; };
        while (pos_ < text_.size() && space(text_[pos_]))
            ++pos_;
        if (pos_ >= text_.size())
            return false;
        size_t start = pos_;
        while (pos_ < text_.size() && !space(text_[pos_]))
            ++pos_;
        word.assign(text_, start, pos_ - start);
        return true;
    }

    int fail(int code, const std::string& reason)
    {
        code_ = code;
        std::string where = std::string(path_) + ": " + reason;
        error_box(psys_error_text(code).c_str(), where.c_str());
        return code;
    }

    bool fail_value(const std::string& key, const std::string& value, const char* what)
    {
        fail(PSL_BAD_VALUE, key + ": \"" + value + "\" is not " + what);
        return false;
    }

    bool pair(const std::string& key, const std::string& value)
    {
        const char* k = key.c_str();
        for (const SysField& f : kSysFields)
            if (strcasecmp(k, f.key) == 0) {
                if (f.f)
                    return parse_float(value, sys_.*f.f) || fail_value(f.key, value, "a number");
                int32_t v = 0;
                if (!parse_int(value, v))
                    return fail_value(f.key, value, "an integer");
                if (f.lo <= f.hi && (v < f.lo || v > f.hi))
                    return fail_value(f.key, value,
                                      ("between " + std::to_string(f.lo) + " and " + std::to_string(f.hi)).c_str());
                sys_.*f.i = v;
                return true;
            }
        for (const ForceField& f : kForceFields)
            if (strcasecmp(k, f.key) == 0) {
                if (!current_) {
                    fail(f.before_code, "\"" + std::string(f.key) + "\" before the first force");
                    return false;
                }
                if (f.f)
                    return parse_float(value, current_->*f.f) || fail_value(f.key, value, "a number");
                return parse_int(value, current_->*f.i) || fail_value(f.key, value, "an integer");
            }
        if (strcasecmp(k, "particlecount") == 0)
            return particle_count(value);
        if (strcasecmp(k, "forcecount") == 0)
            return force_count(value);
        if (strcasecmp(k, "force") == 0)
            return force_section();
        if (strcasecmp(k, "ftype") == 0) {
            if (!current_) {
                fail(PSL_FTYPE_BEFORE_FORCE, "\"ftype\" before the first force");
                return false;
            }
            for (int t = 0; t < 4; ++t)
                if (strcasecmp(value.c_str(), kTypeWords[t]) == 0) {
                    current_->ftype = t;
                    return true;
                }
            fail(PSL_BAD_FTYPE, "ftype \"" + value + "\" is not linear, radial, constant or vortex");
            return false;
        }
        if (strcasecmp(k, "minsize") == 0) {
            if (!parse_float(value, sys_.minsize))
                return fail_value("minsize", value, "a number");
            if (sys_.maxsize < sys_.minsize)
                sys_.maxsize = sys_.minsize;
            return true;
        }
        if (strcasecmp(k, "maxsize") == 0) {
            if (!parse_float(value, sys_.maxsize))
                return fail_value("maxsize", value, "a number");
            if (sys_.minsize > sys_.maxsize)
                sys_.minsize = sys_.maxsize;
            return true;
        }
        if (strcasecmp(k, "dist") == 0) {
            if (strcasecmp(value.c_str(), "circular") == 0)
                sys_.circular = 1;
            else if (strcasecmp(value.c_str(), "square") == 0)
                sys_.circular = 0;
            else {
                fail(PSL_BAD_DIST, "dist \"" + value + "\" is not circular or square");
                return false;
            }
            return true;
        }
        if (strcasecmp(k, "palette") == 0) {
            if (value.size() >= sizeof sys_.palette) {
                fail(PSL_BAD_VALUE, "the palette name is longer than " + std::to_string(sizeof sys_.palette - 1) +
                                        " characters");
                return false;
            }
            std::string name = value;
            for (char& c : name)
                if (c == '|')
                    c = ' ';
            std::memcpy(sys_.palette, name.c_str(), name.size() + 1);
            return true;
        }
        fail(PSL_UNKNOWN_KEY, "unknown key \"" + key + "\"");
        return false;
    }

    bool particle_count(const std::string& value)
    {
        if (seen_particles_) {
            fail(PSL_PARTICLECOUNT_TWICE, "particlecount given twice");
            return false;
        }
        seen_particles_ = true;
        int32_t n = 0;
        if (!parse_int(value, n))
            return fail_value("particlecount", value, "an integer");
        if (n < 0 || n > g_limits.max_particles) {
            fail(PSL_NO_MEMORY_PARTICLES, "a particle count of " + value + " (0 to " +
                                              std::to_string(g_limits.max_particles) + ")");
            return false;
        }
        sys_.particlecount = n;
        if (gen_ && n >= 1) {
            sys_.particles = mem_alloc_as<Particle>(n, "parti");
            if (!sys_.particles) {
                fail(PSL_NO_MEMORY_PARTICLES, "no memory for " + value + " particles");
                return false;
            }
            std::memset(static_cast<void*>(sys_.particles), 0, static_cast<size_t>(n) * sizeof(Particle));
        }
        return true;
    }

    bool force_count(const std::string& value)
    {
        if (seen_forces_) {
            fail(PSL_FORCECOUNT_TWICE, "forcecount given twice");
            return false;
        }
        seen_forces_ = true;
        int32_t n = 0;
        if (!parse_int(value, n))
            return fail_value("forcecount", value, "an integer");
        if (n < 0 || n > g_limits.max_forces) {
            fail(PSL_NO_MEMORY_FORCES,
                 "a force count of " + value + " (0 to " + std::to_string(g_limits.max_forces) + ")");
            return false;
        }
        sys_.forcecount = n;
        if (n >= 1) {
            sys_.forces = mem_alloc_as<Force>(n, "force");
            if (!sys_.forces) {
                fail(PSL_NO_MEMORY_FORCES, "no memory for " + value + " forces");
                return false;
            }
            for (int i = 0; i < n; ++i)
                force_defaults(sys_.forces[i]);
        }
        return true;
    }

    bool force_section()
    {
        if (!seen_forces_) {
            fail(PSL_FORCE_BEFORE_COUNT, "\"force\" before \"forcecount\"");
            return false;
        }
        if (sections_ >= sys_.forcecount) {
            fail(PSL_TOO_MANY_FORCES,
                 "more force sections than the forcecount of " + std::to_string(sys_.forcecount));
            return false;
        }
        current_ = &sys_.forces[sections_++];
        force_defaults(*current_);
        return true;
    }

    const char* path_;
    ParticleSystem& sys_;
    bool gen_;
    std::string text_;
    size_t pos_ = 0;
    int code_ = PSL_OK;
    bool seen_particles_ = false, seen_forces_ = false;
    int sections_ = 0;
    Force* current_ = nullptr;
};

void append_bytes(std::string& key, const void* p, size_t n)
{
    key.append(static_cast<const char*>(p), n);
}

} // namespace

PsysLimits& psys_limits()
{
    return g_limits;
}

void force_defaults(Force& f)
{
    std::memset(&f, 0, sizeof f);
    f.ftype = FORCE_CONSTANT;
    f.sizestart = f.sizeend = 1;
    f.fadestart = f.fadeend = 1;
    f.vsstart = f.vsend = 1;
    f.fbegin = 0;
    f.fend = 1000;
    f.enable = 1;
}

void psys_defaults(ParticleSystem& s)
{
    std::memset(static_cast<void*>(&s), 0, sizeof s);
    s.particlecount = 1000;
    s.xw = s.yw = 40;
    s.zscale = 0.002f;
    s.minsize = s.maxsize = 1;
    s.circular = 1;
    s.palettewrap = 1;
    s.seed = 1;
    s.clip = 1;
    s.additive = 1;
}

void psys_free(ParticleSystem& sys)
{
    sys.particles = mem_free_t(sys.particles);
    sys.forces = mem_free_t(sys.forces);
}

bool psys_copy(ParticleSystem& to, const ParticleSystem& from)
{
    if (&to == &from)
        return true;
    psys_free(to);
    to = from;
    to.particles = nullptr;
    to.forces = nullptr;
    if (from.forcecount > 0 && from.forces) {
        to.forces = mem_alloc_as<Force>(from.forcecount, "force");
        if (!to.forces) {
            to.forcecount = 0;
            return false;
        }
        std::memcpy(to.forces, from.forces, static_cast<size_t>(from.forcecount) * sizeof(Force));
    } else {
        to.forcecount = 0;
    }
    return true;
}

bool psys_add_force(ParticleSystem& sys)
{
    if (sys.forcecount >= g_limits.max_forces)
        return false;
    Force* more = mem_alloc_as<Force>(sys.forcecount + 1, "force");
    if (!more)
        return false;
    if (sys.forcecount > 0)
        std::memcpy(more, sys.forces, static_cast<size_t>(sys.forcecount) * sizeof(Force));
    force_defaults(more[sys.forcecount]);
    mem_free(sys.forces);
    sys.forces = more;
    sys.forcecount += 1;
    return true;
}

bool psys_remove_force(ParticleSystem& sys, int index)
{
    if (index < 0 || index >= sys.forcecount)
        return false;
    for (int i = index; i + 1 < sys.forcecount; ++i)
        sys.forces[i] = sys.forces[i + 1];
    sys.forcecount -= 1;
    if (sys.forcecount == 0)
        sys.forces = mem_free_t(sys.forces);
    return true;
}

int psys_read(const char* path, ParticleSystem& sys, bool for_generation)
{
    psys_free(sys);
    psys_defaults(sys);
    if (!path || !path[0])
        return PSL_OPEN;
    Reader reader(path, sys, for_generation);
    int code = reader.run();
    if (code != PSL_OK)
        psys_free(sys);
    return code;
}

std::string psys_format(const ParticleSystem& s)
{
    std::string o;
    auto line3 = [&o](const char* a, float va, const char* b, float vb, const char* c, float vc) {
        o += a;
        o += ' ';
        put_float(o, va);
        o += ' ';
        o += b;
        o += ' ';
        put_float(o, vb);
        if (c) {
            o += ' ';
            o += c;
            o += ' ';
            put_float(o, vc);
        }
        o += '\n';
    };
    auto line1 = [&o](const char* a, float v) {
        o += a;
        o += ' ';
        put_float(o, v);
        o += '\n';
    };
    auto line_int = [&o](const char* a, long v) {
        o += a;
        o += ' ';
        put_int(o, v);
        o += '\n';
    };
    o += "vqpsystem 1\n";
    line_int("particlecount", s.particlecount);
    line_int("forcecount", s.forcecount);
    line3("x", s.x, "y", s.y, "z", s.z);
    line3("xw", s.xw, "yw", s.yw, "zw", s.zw);
    line3("xv", s.xv, "yv", s.yv, "zv", s.zv);
    line1("zscale", s.zscale);
    line3("minsize", s.minsize, "maxsize", s.maxsize, nullptr, 0);
    line3("advancerange", s.advancerange, "timeadvancerange", s.timeadvancerange, nullptr, 0);
    o += s.circular ? "dist circular\n" : "dist square\n";
    line1("minsrad", s.minsrad);
    line_int("areamode", s.areamode);
    line_int("palettewrap", s.palettewrap);
    line_int("stickypalette", s.stickypalette);
    line_int("agewrap", s.agewrap);
    line_int("seed", s.seed);
    line_int("clip", s.clip);
    line_int("additive", s.additive);
    line_int("twodee", s.twodee);
    // Without a palette there is no word to write: the line is left out and
    // the reader keeps its default (no palette).
    if (s.palette[0]) {
        o += "palette ";
        for (const char* p = s.palette; *p; ++p)
            o += (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r' || *p == '\v' || *p == '\f') ? '|' : *p;
        o += '\n';
    }
    for (int n = 0; n < s.forcecount && s.forces; ++n) {
        const Force& f = s.forces[n];
        o += '\n';
        line_int("force", n + 1);
        o += "ftype ";
        o += force_type_word(f.ftype);
        o += '\n';
        line_int("enable", f.enable);
        line3("fbegin", f.fbegin, "fend", f.fend, nullptr, 0);
        line3("fxw", f.fxw, "fyw", f.fyw, "fzw", f.fzw);
        line3("fxv", f.fxv, "fyv", f.fyv, "fzv", f.fzv);
        line3("ftr", f.ftr, "fta", f.fta, nullptr, 0);
        line1("fdecay", f.fdecay);
        line3("sizestart", f.sizestart, "sizeend", f.sizeend, nullptr, 0);
        line3("fadestart", f.fadestart, "fadeend", f.fadeend, nullptr, 0);
        line3("turbstart", f.turbstart, "turbend", f.turbend, nullptr, 0);
        line3("pastart", f.pastart, "paend", f.paend, nullptr, 0);
        line3("vsstart", f.vsstart, "vsend", f.vsend, nullptr, 0);
    }
    return o;
}

int psys_write(const char* path, const ParticleSystem& sys)
{
    if (!path || !path[0])
        return 1;
    std::string text = psys_format(sys);
    SafeWrite out(path);
    FILE* f = out.open("wb");
    if (!f) {
        message_show(msg::CannotCreateRequested, path);
        return 1;
    }
    if (std::fwrite(text.data(), 1, text.size(), f) != text.size() || out.commit() != 0) {
        out.abandon();
        message_show(msg::ProblemWriting, path);
        return 1;
    }
    return 0;
}

const char* force_type_word(int type)
{
    return type >= 0 && type < 4 ? kTypeWords[type] : "constant";
}

std::string force_display_name(const Force& f)
{
    static const char* const names[] = {"Linear", "Radial", "Constant", "Vortex"};
    std::string name = f.ftype >= 0 && f.ftype < 4 ? names[f.ftype] : "Constant";
    if (f.turbstart != 0 || f.turbend != 0)
        name += " (w/Turbulence)";
    return name;
}

std::string psys_error_text(int code)
{
    char buf[80];
    std::snprintf(buf, sizeof buf, "PSL Error #%d - Particle System Creation Failed", code);
    return buf;
}

std::string psys_key(const ParticleSystem& s)
{
    std::string key;
    append_bytes(key, &s.particlecount, sizeof s.particlecount);
    for (const SysField& f : kSysFields) {
        if (f.f)
            append_bytes(key, &(s.*f.f), sizeof(float));
        else
            append_bytes(key, &(s.*f.i), sizeof(int32_t));
    }
    append_bytes(key, &s.minsize, sizeof s.minsize);
    append_bytes(key, &s.maxsize, sizeof s.maxsize);
    append_bytes(key, &s.circular, sizeof s.circular);
    key += s.palette;
    key += '\0';
    for (int n = 0; n < s.forcecount && s.forces; ++n) {
        const Force& f = s.forces[n];
        append_bytes(key, &f.ftype, sizeof f.ftype);
        for (const ForceField& ff : kForceFields) {
            if (ff.f)
                append_bytes(key, &(f.*ff.f), sizeof(float));
            else
                append_bytes(key, &(f.*ff.i), sizeof(int32_t));
        }
    }
    return key;
}
