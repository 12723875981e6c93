#include "core/profile.h"

#include "core/app.h"
#include "core/log.h"
#include "core/mem.h"
#include "core/safe_write.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string_view>
#include <sys/stat.h>
#include <unordered_map>
#include <vector>

namespace {

// Nothing the system writes comes near this; a larger file is not ours.
constexpr long kMaxIniBytes = 16L << 20;

struct ProfileCache {
    std::string path;
    std::vector<std::string> lines;
    bool loaded = false;
    bool held = false;
    bool dirty = false;
    // How the file looked when it was read, to notice changes made by others.
    long long stamp_size = -1;
    long long stamp_mtime_ns = -1;
};

struct FastWriter {
    std::unique_ptr<SafeWrite> out;
    std::FILE* file = nullptr;
    std::string path;
    bool failed = false;
    std::string text;  // what was written, to leave an identical file alone
};

struct FastReader {
    std::string path;
    bool loaded = false;
    char* block = nullptr;  // "ini_dat_tmp"
    long size = 0;
    // "section\nkey" (lower case) -> offset and length of the value
    std::unordered_map<std::string, std::pair<long, long>> index;
};

struct ProfileState {
    ProfileCache cache;
    FastWriter writer;
    FastReader reader;
};

ProfileState g_profile;

bool blank(char c)
{
    return c == ' ' || c == '\t';
}

std::string_view trim(std::string_view s)
{
    while (!s.empty() && blank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && blank(s.back()))
        s.remove_suffix(1);
    return s;
}

bool same_name(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

std::string lower(std::string_view s)
{
    std::string out(s);
    for (char& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

enum class LineKind { Other, Section, Key };

struct Line {
    LineKind kind = LineKind::Other;
    std::string_view name;   // section or key
    std::string_view value;  // of a key
};

Line classify(std::string_view text)
{
    Line line;
    std::string_view t = trim(text);
    if (t.empty() || t.front() == ';' || t.front() == '#')
        return line;
    if (t.front() == '[') {
        size_t close = t.find(']');
        if (close == std::string_view::npos)
            return line;
        line.kind = LineKind::Section;
        line.name = trim(t.substr(1, close - 1));
        return line;
    }
    size_t eq = t.find('=');
    if (eq == std::string_view::npos)
        return line;
    std::string_view key = trim(t.substr(0, eq));
    if (key.empty())
        return line;
    line.kind = LineKind::Key;
    line.name = key;
    line.value = trim(t.substr(eq + 1));
    return line;
}

// A value ends at its first line break; a file line cannot hold more.
std::string_view one_line(const char* value)
{
    std::string_view v(value);
    size_t nl = v.find_first_of("\r\n");
    return nl == std::string_view::npos ? v : v.substr(0, nl);
}

// Reads a whole file of at most kMaxIniBytes; false when it cannot be read.
bool read_file(const std::string& path, std::string& out)
{
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return false;
    out.clear();
    char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) {
        if (static_cast<long>(out.size() + n) > kMaxIniBytes) {
            log_printf("Settings file \"%s\" is larger than %ld bytes: not read\n", path.c_str(), kMaxIniBytes);
            std::fclose(f);
            out.clear();
            return false;
        }
        out.append(buf, n);
    }
    std::fclose(f);
    return true;
}

void stamp_of(const std::string& path, long long& size, long long& mtime_ns)
{
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) {
        size = -1;
        mtime_ns = -1;
        return;
    }
    size = st.st_size;
    mtime_ns = static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
}

void load_cache(const std::string& path)
{
    ProfileCache& c = g_profile.cache;
    c.path = path;
    c.lines.clear();
    c.dirty = false;
    c.loaded = true;
    stamp_of(path, c.stamp_size, c.stamp_mtime_ns);
    std::string text;
    if (!read_file(path, text))
        return;
    size_t start = 0;
    while (start < text.size()) {
        size_t nl = text.find('\n', start);
        size_t end = nl == std::string::npos ? text.size() : nl;
        size_t stop = end;
        if (stop > start && text[stop - 1] == '\r')
            --stop;
        c.lines.emplace_back(text, start, stop - start);
        start = end + 1;
    }
}

// The cached lines of the file, read again when someone else changed it.
ProfileCache& cache_for(const std::string& path)
{
    ProfileCache& c = g_profile.cache;
    if (c.loaded && c.path == path) {
        if (c.held)
            return c;
        long long size, mtime;
        stamp_of(path, size, mtime);
        if (size == c.stamp_size && mtime == c.stamp_mtime_ns)
            return c;
    }
    if (c.held && c.path != path) {
        // Another file is read while one is held: give the held one out first.
        profile_release();
    }
    load_cache(path);
    return c;
}

bool write_lines(ProfileCache& c)
{
    SafeWrite out(c.path.c_str());
    std::FILE* f = out.open("wb");
    if (!f) {
        log_printf("Could not write \"%s\": %s\n", c.path.c_str(), std::strerror(errno));
        return false;
    }
    bool ok = true;
    for (const std::string& line : c.lines) {
        if (std::fwrite(line.data(), 1, line.size(), f) != line.size() || std::fputc('\n', f) == EOF)
            ok = false;
    }
    int err = ok ? out.commit() : EIO;
    if (err != 0) {
        log_printf("Could not write \"%s\": %s\n", c.path.c_str(), std::strerror(err));
        return false;
    }
    c.dirty = false;
    stamp_of(c.path, c.stamp_size, c.stamp_mtime_ns);
    return true;
}

// Index of the line after the last key of the section starting at `header`.
size_t section_end(const ProfileCache& c, size_t header)
{
    size_t end = header + 1;
    for (size_t i = header + 1; i < c.lines.size(); ++i) {
        Line l = classify(c.lines[i]);
        if (l.kind == LineKind::Section)
            break;
        if (!trim(c.lines[i]).empty())
            end = i + 1;
    }
    return end;
}

long copy_out(std::string_view value, char* buffer, long length)
{
    if (!buffer || length <= 0)
        return 0;
    long n = std::min(static_cast<long>(value.size()), length - 1);
    std::memcpy(buffer, value.data(), static_cast<size_t>(n));
    buffer[n] = 0;
    // Binary junk: the text ends at a zero byte.
    return static_cast<long>(std::strlen(buffer));
}

bool find_in_cache(const ProfileCache& c, const char* section, const char* key, std::string_view& value)
{
    bool in_section = false;
    for (const std::string& text : c.lines) {
        Line l = classify(text);
        if (l.kind == LineKind::Section)
            in_section = same_name(l.name, section);
        else if (in_section && l.kind == LineKind::Key && same_name(l.name, key)) {
            value = l.value;
            return true;
        }
    }
    return false;
}

void load_reader(const std::string& path)
{
    FastReader& r = g_profile.reader;
    fast_ini_read_close();
    r.path = path;
    r.loaded = true;
    std::string text;
    if (!read_file(path, text))
        return;
    r.block = static_cast<char*>(mem_alloc(static_cast<long>(text.size()) + 1, "ini_dat_tmp"));
    if (!r.block)
        return;
    std::memcpy(r.block, text.data(), text.size());
    r.block[text.size()] = 0;
    r.size = static_cast<long>(text.size());

    std::string section;
    long start = 0;
    while (start < r.size) {
        const char* nl = static_cast<const char*>(std::memchr(r.block + start, '\n', static_cast<size_t>(r.size - start)));
        long end = nl ? nl - r.block : r.size;
        long stop = end;
        if (stop > start && r.block[stop - 1] == '\r')
            --stop;
        std::string_view text_line(r.block + start, static_cast<size_t>(stop - start));
        Line l = classify(text_line);
        if (l.kind == LineKind::Section) {
            section = lower(l.name);
        } else if (l.kind == LineKind::Key) {
            long offset = l.value.data() - r.block;
            r.index.emplace(section + '\n' + lower(l.name), std::make_pair(offset, static_cast<long>(l.value.size())));
        }
        start = end + 1;
    }
}

} // namespace

std::string profile_path(const char* file)
{
    std::string name = file ? file : "";
    if (name.find('/') != std::string::npos)
        return name;
    return app_config_folder() + "/" + name;
}

long profile_read(const char* section, const char* key, const char* fallback, char* buffer, long length,
                  const char* file)
{
    if (!section || !key)
        return copy_out(fallback ? fallback : "", buffer, length);
    ProfileCache& c = cache_for(profile_path(file));
    std::string_view value;
    if (!find_in_cache(c, section, key, value))
        value = fallback ? fallback : "";
    return copy_out(value, buffer, length);
}

std::string profile_get(const char* section, const char* key, const char* fallback, long max_length,
                        const char* file)
{
    std::string buffer(static_cast<size_t>(std::max(0L, max_length)) + 1, '\0');
    long n = profile_read(section, key, fallback, buffer.data(), max_length + 1, file);
    buffer.resize(static_cast<size_t>(n));
    return buffer;
}

bool profile_write(const char* section, const char* key, const char* value, const char* file)
{
    if (!section)
        return false;
    if (key && (std::strchr(key, '=') || std::strpbrk(key, "\r\n")))
        return false;
    ProfileCache& c = cache_for(profile_path(file));

    // A write that leaves every line as it was does not touch the file:
    // shut-down rewrites all the settings, most of them unchanged.
    bool changed = false;
    size_t header = c.lines.size();
    for (size_t i = 0; i < c.lines.size(); ++i) {
        Line l = classify(c.lines[i]);
        if (l.kind == LineKind::Section && same_name(l.name, section)) {
            header = i;
            break;
        }
    }
    if (header == c.lines.size()) {
        if (!key || !value)
            return true;  // nothing to remove
        if (!c.lines.empty() && !trim(c.lines.back()).empty())
            c.lines.emplace_back();
        std::string header_line = "[";
        header_line.append(section).append("]");
        c.lines.push_back(std::move(header_line));
        header = c.lines.size() - 1;
        changed = true;
    }

    if (!key) {
        size_t end = header + 1;
        while (end < c.lines.size() && classify(c.lines[end]).kind != LineKind::Section)
            ++end;
        c.lines.erase(c.lines.begin() + static_cast<long>(header), c.lines.begin() + static_cast<long>(end));
        changed = true;
    } else {
        size_t found = c.lines.size();
        for (size_t i = header + 1; i < c.lines.size(); ++i) {
            Line l = classify(c.lines[i]);
            if (l.kind == LineKind::Section)
                break;
            if (l.kind == LineKind::Key && same_name(l.name, key)) {
                found = i;
                break;
            }
        }
        std::string line;
        if (value) {
            line = key;
            line += '=';
            line += one_line(value);
        }
        if (found < c.lines.size()) {
            if (!value) {
                c.lines.erase(c.lines.begin() + static_cast<long>(found));
                changed = true;
            } else if (c.lines[found] != line) {
                c.lines[found] = line;
                changed = true;
            }
        } else if (value) {
            c.lines.insert(c.lines.begin() + static_cast<long>(section_end(c, header)), line);
            changed = true;
        }
    }
    if (!changed)
        return true;
    c.dirty = true;
    if (c.held)
        return true;
    return write_lines(c);
}

void profile_hold(const char* file)
{
    ProfileCache& c = cache_for(profile_path(file));
    c.held = true;
}

bool profile_release()
{
    ProfileCache& c = g_profile.cache;
    bool was_held = c.held;
    c.held = false;
    if (!was_held || !c.dirty)
        return true;
    return write_lines(c);
}

void profile_forget()
{
    g_profile.cache = ProfileCache{};
}

int fast_ini_write(const char* section, const char* key, const char* value, const char* file)
{
    FastWriter& w = g_profile.writer;
    std::string path = profile_path(file);
    if (w.file && w.path != path)
        fast_ini_write_close();
    if (!w.file) {
        w.path = path;
        w.failed = false;
        w.out = std::make_unique<SafeWrite>(path.c_str());
        w.file = w.out->open("wb");
        if (!w.file) {
            log_printf("Could not create \"%s\": %s\n", path.c_str(), std::strerror(errno));
            w.out.reset();
            return 1;
        }
        w.text.clear();
        w.text.append("[").append(section ? section : "").append("]\n");
        if (std::fputs(w.text.c_str(), w.file) < 0)
            w.failed = true;
    }
    if (key) {
        std::string_view v = one_line(value ? value : "");
        const size_t from = w.text.size();
        w.text.append(key).append("=").append(v).append("\n");
        if (std::fwrite(w.text.data() + from, 1, w.text.size() - from, w.file) != w.text.size() - from)
            w.failed = true;
    }
    return w.failed ? 1 : 0;
}

int fast_ini_write_close()
{
    FastWriter& w = g_profile.writer;
    if (!w.file)
        return 0;
    // A file that already says the same is not replaced (nor its time changed).
    std::string old;
    const bool same = !w.failed && read_file(w.path, old) && old == w.text;
    int err = w.failed ? EIO : same ? 0 : w.out->commit();
    w.out.reset();  // abandons what was not committed
    w.text.clear();
    w.file = nullptr;
    const bool ok = err == 0;
    if (!ok)
        log_printf("Could not write \"%s\": %s\n", w.path.c_str(), std::strerror(err));
    // A cached copy of the old file is out of date now.
    if (g_profile.cache.path == w.path && !g_profile.cache.held)
        g_profile.cache = ProfileCache{};
    if (g_profile.reader.path == w.path)
        fast_ini_read_close();
    return ok ? 0 : 1;
}

long fast_ini_read(const char* section, const char* key, const char* fallback, char* buffer, long length,
                   const char* file)
{
    FastReader& r = g_profile.reader;
    std::string path = profile_path(file);
    if (!r.loaded || r.path != path)
        load_reader(path);
    if (r.block && section && key) {
        auto it = r.index.find(lower(section) + '\n' + lower(key));
        if (it != r.index.end())
            return copy_out(std::string_view(r.block + it->second.first, static_cast<size_t>(it->second.second)),
                            buffer, length);
    }
    return copy_out(fallback ? fallback : "", buffer, length);
}

void fast_ini_read_close()
{
    FastReader& r = g_profile.reader;
    if (r.block)
        r.block = static_cast<char*>(mem_free(r.block));
    r.index.clear();
    r.path.clear();
    r.loaded = false;
    r.size = 0;
}
