// The identification tests of the load dispatch, one per kind of file.
// Each looks at the header bytes the dispatch read (and, for a few, at the
// name or at further bytes of the stream); the codec rows name them with the
// step at which the dispatch tries them.
#include "formats/codecs.h"

#include "core/bytes.h"

#include <cctype>
#include <cstring>

namespace {

bool equal_nocase(const char* a, const char* b)
{
    for (; *a && *b; ++a, ++b)
        if (std::tolower(static_cast<unsigned char>(*a)) != std::tolower(static_cast<unsigned char>(*b)))
            return false;
    return *a == *b;
}

bool starts(const uint8_t* p, const char* text)
{
    return std::memcmp(p, text, std::strlen(text)) == 0;
}

bool jfif_at(const uint8_t* p)
{
    static const uint8_t soi[4] = {0xFF, 0xD8, 0xFF, 0xE0};
    return std::memcmp(p, soi, 4) == 0 && std::memcmp(p + 6, "JFIF", 4) == 0;
}
bool exif_at(const uint8_t* p)
{
    static const uint8_t soi[4] = {0xFF, 0xD8, 0xFF, 0xE1};
    return std::memcmp(p, soi, 4) == 0 && std::toupper(p[6]) == 'E' && std::toupper(p[7]) == 'X' &&
           std::toupper(p[8]) == 'I' && std::toupper(p[9]) == 'F';
}

} // namespace

bool is_iraw(const ProbeHeader& f) { return starts(f.h, "I24"); }
bool is_avi(const ProbeHeader& f) { return starts(f.h, "RIFF") && std::memcmp(f.h + 8, "AVI", 3) == 0; }
bool is_mng(const ProbeHeader& f)
{
    static const uint8_t tail[4] = {0x0D, 0x0A, 0x1A, 0x0A};
    return f.h[0] == 0x8A && std::toupper(f.h[1]) == 'M' && std::toupper(f.h[2]) == 'N' &&
           std::toupper(f.h[3]) == 'G' && std::memcmp(f.h + 4, tail, 4) == 0;
}
bool is_bmp(const ProbeHeader& f) { return starts(f.h, "BM"); }
bool is_sgi(const ProbeHeader& f) { return f.h[0] == 0x01 && f.h[1] == 0xDA; }
bool is_gif(const ProbeHeader& f) { return starts(f.h, "GIF"); }
bool is_iff(const ProbeHeader& f) { return starts(f.h, "FORM") || starts(f.h, "ILBM"); }
bool is_tiff(const ProbeHeader& f)
{
    if (equal_nocase(f.ext, ".tif"))
        return true;
    if (!equal_nocase(f.ext, ".orf"))
        return false;
    auto tiff_order = [](const uint8_t* p) { return starts(p, "II") || starts(p, "MM"); };
    // Canon's raw files carry a TIFF byte order too, but are no TIFF.
    bool canon = std::memcmp(f.h + 6, "HEAPCCDR", 8) == 0 || std::memcmp(f.g + 6, "HEAPCCDR", 8) == 0;
    return (tiff_order(f.h) || tiff_order(f.g)) && !canon;
}
bool is_film(const ProbeHeader& f) { return starts(f.h, "MFLM"); }
bool is_ppm(const ProbeHeader& f) { return starts(f.h, "P6"); }
bool is_psd(const ProbeHeader& f) { return starts(f.h, "8BPS") && get_be16(f.h + 4) == 1; }
bool is_layered(const ProbeHeader& f)
{
    return get_be32(f.h) == 0x1BAB00FEu && get_be32(f.h + 4) <= 3;
}
bool is_softimage(const ProbeHeader& f)
{
    static const uint8_t magic[4] = {0x53, 0x80, 0xF6, 0x34};
    uint8_t pict[4];
    return std::memcmp(f.h, magic, 4) == 0 && probe_read_at(f.stream, 88, pict, 4) && std::memcmp(pict, "PICT", 4) == 0;
}
bool is_rla(const ProbeHeader& f)
{
    // The window rectangles, channel counts and revision of a 740-byte header.
    uint8_t r[28];
    if (!probe_read_at(f.stream, 0, r, sizeof r) || std::fseek(f.stream, 739, SEEK_SET) != 0 ||
        std::fgetc(f.stream) == EOF)
        return false;
    auto s16 = [&](int at) { return static_cast<int16_t>(get_be16(r + at)); };
    int left = s16(0), right = s16(2), bottom = s16(4), top = s16(6);
    int aleft = s16(8), aright = s16(10), abottom = s16(12), atop = s16(14);
    int storage = s16(18), channels = s16(20), mattes = s16(22), revision = get_be16(r + 26);
    return right >= left && top >= bottom && aright >= aleft && atop >= abottom && aleft >= left &&
           aright <= right && abottom >= bottom && atop <= top && storage == 0 && channels >= 1 && channels <= 3 &&
           mattes >= 0 && mattes <= 1 && revision == 0xFFFE;
}
bool is_alias(const ProbeHeader& f)
{
    size_t n = std::strlen(f.name);
    int depth = get_be16(f.h + 8);
    return n >= 4 && equal_nocase(f.name + n - 4, ".pix") && (depth == 8 || depth == 24) && get_be16(f.h) > 0 &&
           get_be16(f.h + 2) > 0;
}
bool is_flic(const ProbeHeader& f) { return f.h[5] == 0xAF && (f.h[4] == 0x11 || f.h[4] == 0x12); }
bool is_pcx(const ProbeHeader& f) { return f.h[0] == 10; }
bool is_jfif(const ProbeHeader& f) { return jfif_at(f.h) || jfif_at(f.g); }
bool is_exif(const ProbeHeader& f) { return exif_at(f.h) || exif_at(f.g); }
bool is_jpeg_stream(const ProbeHeader& f) { return std::strcmp(f.s82, "JPEGStrm") == 0; }
bool is_mpeg(const ProbeHeader& f)
{
    static const uint8_t pack[4] = {0x00, 0x00, 0x01, 0xBA};
    return std::memcmp(f.h, pack, 4) == 0;
}
bool is_targa(const ProbeHeader& f) { return f.h[2] == 1 || f.h[2] == 2 || f.h[2] == 9 || f.h[2] == 10; }
// The name tests look at the extension alone: a PNG in "shots.pixar/" or
// named "my.pixel.png" is a PNG.
bool is_pix(const ProbeHeader& f) { return std::strcmp(f.ext, ".pix") == 0; }
bool is_pdx(const ProbeHeader& f) { return std::strcmp(f.ext, ".pdx") == 0; }
bool is_png(const ProbeHeader& f)
{
    static const uint8_t signature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    return std::memcmp(f.h, signature, 8) == 0;
}
bool is_raw(const ProbeHeader& f)
{
    for (const char* ext : {".raw", ".RAW", ".red", ".RED"})
        if (std::strcmp(f.ext, ext) == 0)
            return true;
    return false;
}
bool is_late_jpeg(const ProbeHeader& f)
{
    uint8_t g[12];
    probe_read_at(f.stream, 2780, g, sizeof g);
    return std::memcmp(g + 6, "JFIF", 4) == 0 || std::memcmp(g + 4, "JFIF", 4) == 0 ||
           (f.h[0] == 0xFF && f.h[1] == 0xD8 && f.h[2] == 0xFF);
}


bool probe_read_at(FILE* stream, long offset, uint8_t* out, size_t count)
{
    std::memset(out, 0, count);
    if (std::fseek(stream, offset, SEEK_SET) != 0)
        return false;
    return std::fread(out, 1, count, stream) == count;
}
