#include "particles/palette.h"

#include "core/messages.h"
#include "core/settings.h"

#include <cerrno>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr long kPaletteFileLimit = 1L << 20;

std::string folder_of(const char* path)
{
    std::string p = path ? path : "";
    size_t slash = p.rfind('/');
    return slash == std::string::npos ? std::string() : p.substr(0, slash);
}

std::string join(const std::string& dir, const char* name)
{
    if (dir.empty())
        return name;
    return dir.back() == '/' ? dir + name : dir + "/" + name;
}

bool is_file(const std::string& path)
{
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// The lines of a text, without their ends.
class Lines {
public:
    Lines(const uint8_t* data, size_t size) : text_(reinterpret_cast<const char*>(data), size) {}
    bool next(std::string_view& line)
    {
        if (pos_ >= text_.size())
            return false;
        size_t end = text_.find('\n', pos_);
        if (end == std::string_view::npos)
            end = text_.size();
        line = text_.substr(pos_, end - pos_);
        pos_ = end + 1;
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
            line.remove_suffix(1);
        while (!line.empty() && (line.front() == ' ' || line.front() == '\t'))
            line.remove_prefix(1);
        return true;
    }

private:
    std::string_view text_;
    size_t pos_ = 0;
};

// Up to `want` decimal numbers at the start of a line; how many were read.
int numbers(std::string_view line, long* out, int want)
{
    int n = 0;
    size_t i = 0;
    while (n < want) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t'))
            ++i;
        if (i >= line.size() || line[i] < '0' || line[i] > '9')
            break;
        long v = 0;
        while (i < line.size() && line[i] >= '0' && line[i] <= '9') {
            v = v * 10 + (line[i] - '0');
            if (v > 100000)
                v = 100000;
            ++i;
        }
        if (i < line.size() && line[i] != ' ' && line[i] != '\t')
            break;
        out[n++] = v;
    }
    return n;
}

bool put(PsysPalette& pal, const long rgb[3], std::string& why)
{
    for (int c = 0; c < 3; ++c)
        if (rgb[c] > 255) {
            why = "a colour value above 255 in entry " + std::to_string(pal.count);
            return false;
        }
    pal.red[pal.count] = static_cast<uint8_t>(rgb[0]);
    pal.green[pal.count] = static_cast<uint8_t>(rgb[1]);
    pal.blue[pal.count] = static_cast<uint8_t>(rgb[2]);
    pal.count += 1;
    return true;
}

bool parse_jasc(const uint8_t* data, size_t size, PsysPalette& pal, std::string& why)
{
    Lines lines(data, size);
    std::string_view line;
    lines.next(line);  // "JASC-PAL"
    if (!lines.next(line) || line != "0100") {
        why = "a JASC palette of a version other than 0100";
        return false;
    }
    long count = 0;
    if (!lines.next(line) || numbers(line, &count, 1) != 1 || count < 1 || count > kPaletteColours) {
        why = "a JASC palette whose colour count is not 1 to 1024";
        return false;
    }
    while (pal.count < count) {
        long rgb[3];
        if (!lines.next(line)) {
            why = "a JASC palette of " + std::to_string(count) + " colours that holds " + std::to_string(pal.count);
            return false;
        }
        if (numbers(line, rgb, 3) != 3) {
            why = "entry " + std::to_string(pal.count) + " is not three numbers";
            return false;
        }
        if (!put(pal, rgb, why))
            return false;
    }
    return true;
}

bool parse_gimp(const uint8_t* data, size_t size, PsysPalette& pal, std::string& why)
{
    Lines lines(data, size);
    std::string_view line;
    lines.next(line);  // "GIMP Palette"
    while (lines.next(line) && pal.count < kPaletteColours) {
        if (line.empty() || line[0] == '#' || line.substr(0, 5) == "Name:" || line.substr(0, 8) == "Columns:")
            continue;
        long rgb[3];
        if (numbers(line, rgb, 3) != 3) {
            why = "a GIMP palette line that is not \"R G B name\"";
            return false;
        }
        if (!put(pal, rgb, why))
            return false;
    }
    if (pal.count == 0) {
        why = "a GIMP palette without colours";
        return false;
    }
    return true;
}

uint32_t le32(const uint8_t* p)
{
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

bool parse_riff(const uint8_t* data, size_t size, PsysPalette& pal, std::string& why)
{
    size_t end = std::min<size_t>(size, 8 + static_cast<size_t>(le32(data + 4)));
    size_t pos = 12;
    while (pos + 8 <= end) {
        uint32_t len = le32(data + pos + 4);
        if (std::memcmp(data + pos, "data", 4) == 0) {
            if (len < 4 || len > end - pos - 8) {
                why = "a RIFF palette whose data chunk runs past the file";
                return false;
            }
            const uint8_t* d = data + pos + 8;
            long count = d[2] | (d[3] << 8);
            if (count < 1 || count > kPaletteColours || 4 + 4 * static_cast<uint32_t>(count) > len) {
                why = "a RIFF palette of " + std::to_string(count) + " colours in " + std::to_string(len) + " bytes";
                return false;
            }
            for (long i = 0; i < count; ++i) {
                long rgb[3] = {d[4 + 4 * i], d[5 + 4 * i], d[6 + 4 * i]};
                put(pal, rgb, why);
            }
            return true;
        }
        if (len > end - pos - 8)
            break;
        pos += 8 + len + (len & 1);
    }
    why = "a RIFF palette without a data chunk";
    return false;
}

bool parse_act(const uint8_t* data, size_t size, PsysPalette& pal)
{
    long count = 256;
    if (size == 772) {
        long stored = (data[768] << 8) | data[769];
        if (stored >= 1 && stored <= 256)
            count = stored;
    }
    for (long i = 0; i < count; ++i) {
        pal.red[i] = data[3 * i];
        pal.green[i] = data[3 * i + 1];
        pal.blue[i] = data[3 * i + 2];
    }
    pal.count = static_cast<int>(count);
    return true;
}

} // namespace

std::string psys_palette_path(const char* name, const char* system_path)
{
    if (!name || !name[0])
        return std::string();
    if (name[0] == '/')
        return name;
    std::string candidates[3] = {join(folder_of(system_path), name), join(settings().parti_pal_path, name), name};
    for (const std::string& c : candidates)
        if (is_file(c))
            return c;
    return candidates[0];
}

bool palette_parse(const uint8_t* data, size_t size, PsysPalette& pal, std::string& why)
{
    pal.count = 0;
    auto starts = [&](const char* magic) {
        size_t n = std::strlen(magic);
        return size >= n && std::memcmp(data, magic, n) == 0;
    };
    bool ok;
    if (starts("JASC-PAL"))
        ok = parse_jasc(data, size, pal, why);
    else if (starts("GIMP Palette"))
        ok = parse_gimp(data, size, pal, why);
    else if (size >= 12 && starts("RIFF") && std::memcmp(data + 8, "PAL ", 4) == 0)
        ok = parse_riff(data, size, pal, why);
    else if (size == 768 || size == 772)
        ok = parse_act(data, size, pal);
    else {
        why = "not a JASC, GIMP, RIFF or Adobe palette";
        ok = false;
    }
    if (!ok)
        pal.count = 0;
    return ok;
}

int palette_read(const char* path, PsysPalette& pal)
{
    pal.count = 0;
    FILE* f = std::fopen(path, "rb");
    struct stat st {};
    if (f && (fstat(fileno(f), &st) != 0 || !S_ISREG(st.st_mode))) {
        std::fclose(f);
        f = nullptr;
        errno = EISDIR;
    }
    if (!f) {
        std::string extra = std::string(path) + ": " + std::strerror(errno ? errno : ENOENT);
        message_show(msg::CannotOpenRequested, extra.c_str());
        return 1;
    }
    std::string why;
    bool ok = false;
    if (st.st_size > kPaletteFileLimit) {
        why = "larger than any palette";
    } else {
        std::string bytes(static_cast<size_t>(st.st_size), '\0');
        size_t got = bytes.empty() ? 0 : std::fread(bytes.data(), 1, bytes.size(), f);
        ok = palette_parse(reinterpret_cast<const uint8_t*>(bytes.data()), got, pal, why);
    }
    std::fclose(f);
    if (!ok) {
        std::string extra = std::string(path) + ": " + why;
        message_show(msg::FileTypeMismatch, extra.c_str());
        return 1;
    }
    return 0;
}

void palette_white(PsysPalette& pal)
{
    pal.count = 1;
    pal.red[0] = pal.green[0] = pal.blue[0] = 255;
}
