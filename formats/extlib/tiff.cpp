// vqldtiff.so: the TIFF loader and saver, on libtiff.  Its exports carry
// the upper-case names, which the host accepts as well.
//
// Reading: 8-bit RGB, RGBA, grey (with alpha) and palette strips are read
// as they are; every other form (tiles, 16 bits, CMYK, YCbCr, 1 bit...) goes
// through libtiff's RGBA interface.  Writing: RGB, RGBA (unassociated
// alpha) or grey when every pixel is grey; none, LZW or Deflate.
#include "core/image.h"
#include "formats/extlib/vqext.h"

#include <tiffio.h>

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <numeric>

namespace {

char g_error[400];

void on_error(const char* module, const char* fmt, va_list args)
{
    char text[300];
    std::vsnprintf(text, sizeof text, fmt, args);
    std::snprintf(g_error, sizeof g_error, "%s%s%s", module ? module : "", module ? ": " : "", text);
}

void on_warning(const char*, const char*, va_list) {}

void quiet_libtiff()
{
    TIFFSetErrorHandler(on_error);
    TIFFSetWarningHandler(on_warning);
    g_error[0] = 0;
}

void report_damage(VqMessage message, const char* name)
{
    char text[800];
    std::snprintf(text, sizeof text, "TIFF file cannot be read (%s): %s", g_error[0] ? g_error : "unknown layout",
                  name);
    message(0, 0, text);
}

// Dots per inch as a ratio, from a TIFF resolution and its unit.
void set_resolution(TIFF* tif, Image* image)
{
    float x = 0, y = 0;
    uint16_t unit = RESUNIT_INCH;
    TIFFGetFieldDefaulted(tif, TIFFTAG_RESOLUTIONUNIT, &unit);
    if (!TIFFGetField(tif, TIFFTAG_XRESOLUTION, &x) || !TIFFGetField(tif, TIFFTAG_YRESOLUTION, &y))
        return;
    double scale = unit == RESUNIT_CENTIMETER ? 2.54 : unit == RESUNIT_INCH ? 1.0 : 0.0;
    auto ratio = [&](double v, int32_t& num, int32_t& den) {
        double dpi = v * scale;
        if (!(dpi > 0) || dpi > 1e6)
            return;
        long n = std::lround(dpi * 100), d = 100, g = std::gcd(n, d);
        if (n <= 0)
            return;
        num = static_cast<int32_t>(n / g);
        den = static_cast<int32_t>(d / g);
    };
    ratio(x, image->hres_num, image->hres_den);
    ratio(y, image->vres_num, image->vres_den);
}

// The author, description and copyright tags.
void read_texts(TIFF* tif, Image* image, VqAlloc alloc)
{
    const char* text = nullptr;
    if (TIFFGetField(tif, TIFFTAG_ARTIST, &text) && text)
        std::snprintf(image->author, sizeof image->author, "%s", text);
    text = nullptr;
    if (TIFFGetField(tif, TIFFTAG_COPYRIGHT, &text) && text)
        std::snprintf(image->copyright, sizeof image->copyright, "%s", text);
    text = nullptr;
    if (TIFFGetField(tif, TIFFTAG_IMAGEDESCRIPTION, &text) && text && *text) {
        // The annotation is a host block "Iann" of at least 324 bytes.
        const size_t n = strnlen(text, 65535);
        image->annotation = static_cast<char*>(alloc(static_cast<long>(std::max<size_t>(n + 1, 324)), "Iann"));
        if (image->annotation) {
            std::memcpy(image->annotation, text, n);
            image->annotation[n] = 0;
        }
    }
}

struct Layout {
    uint16_t bits = 1, samples = 1, photometric = PHOTOMETRIC_MINISWHITE, planar = PLANARCONFIG_CONTIG;
    uint16_t extra_count = 0;
    uint16_t* extra = nullptr;
    bool alpha = false;
    bool associated = false;  // colours stored multiplied by alpha
};

// Our images keep colours apart from alpha.
void unpremultiply(uint8_t* p)
{
    if (p[3] > 0 && p[3] < 255)
        for (int c = 0; c < 3; ++c)
            p[c] = static_cast<uint8_t>(std::min(255, (p[c] * 255 + p[3] / 2) / p[3]));
}

// Separate planes (RGB, RGBA, grey with alpha): each plane is read from top
// to bottom in turn, into its channels.
int read_planes(TIFF* tif, Image* image, const Layout& l, VqProgressStep step, uint8_t* line)
{
    long width = image->width, height = image->height;
    bool grey = l.photometric != PHOTOMETRIC_RGB;
    for (int s = 0; s < l.samples; ++s) {
        for (long y = 0; y < height; ++y) {
            if (TIFFReadScanline(tif, line, static_cast<uint32_t>(y), static_cast<uint16_t>(s)) < 0)
                return 1;
            uint8_t* out = image->row(static_cast<int>(y));
            for (long x = 0; x < width; ++x, out += 4) {
                uint8_t v = line[x];
                if (!grey) {
                    out[s] = v;
                } else if (s == 0) {
                    out[0] = out[1] = out[2] = l.photometric == PHOTOMETRIC_MINISWHITE ? static_cast<uint8_t>(255 - v) : v;
                } else {
                    out[3] = v;
                }
            }
            if ((y & 7) == 0 && step((s * height + y) / l.samples))
                return 2;
        }
    }
    if (l.associated)
        for (long y = 0; y < height; ++y) {
            uint8_t* out = image->row(static_cast<int>(y));
            for (long x = 0; x < width; ++x, out += 4)
                unpremultiply(out);
        }
    return 0;
}

// Reads the strips of the simple forms straight into the image; false when
// the file does not have one of them (or a strip cannot be read).
int read_direct(TIFF* tif, Image* image, const Layout& l, VqProgressStep step, uint8_t* line)
{
    long width = image->width, height = image->height;
    uint16_t *red = nullptr, *green = nullptr, *blue = nullptr;
    if (l.photometric == PHOTOMETRIC_PALETTE && !TIFFGetField(tif, TIFFTAG_COLORMAP, &red, &green, &blue))
        return 1;
    // Colour maps are 16-bit; some writers put 8-bit values in them.
    int shift = 8;
    if (red) {
        bool small = true;
        for (int i = 0; i < 256; ++i)
            if (red[i] > 255 || green[i] > 255 || blue[i] > 255)
                small = false;
        if (small)
            shift = 0;
    }
    if (l.planar == PLANARCONFIG_SEPARATE && l.samples > 1)
        return read_planes(tif, image, l, step, line);
    for (long y = 0; y < height; ++y) {
        if (TIFFReadScanline(tif, line, static_cast<uint32_t>(y), 0) < 0)
            return 1;
        uint8_t* out = image->row(static_cast<int>(y));
        const uint8_t* in = line;
        for (long x = 0; x < width; ++x, out += 4, in += l.samples) {
            switch (l.photometric) {
            case PHOTOMETRIC_RGB:
                out[0] = in[0];
                out[1] = in[1];
                out[2] = in[2];
                out[3] = l.alpha ? in[3] : 255;
                if (l.associated)
                    unpremultiply(out);
                break;
            case PHOTOMETRIC_MINISBLACK:
            case PHOTOMETRIC_MINISWHITE: {
                uint8_t v = l.photometric == PHOTOMETRIC_MINISWHITE ? static_cast<uint8_t>(255 - in[0]) : in[0];
                out[0] = out[1] = out[2] = v;
                out[3] = l.alpha ? in[1] : 255;
                if (l.associated)
                    unpremultiply(out);
                break;
            }
            case PHOTOMETRIC_PALETTE:
                out[0] = static_cast<uint8_t>(red[in[0]] >> shift);
                out[1] = static_cast<uint8_t>(green[in[0]] >> shift);
                out[2] = static_cast<uint8_t>(blue[in[0]] >> shift);
                out[3] = 255;
                break;
            }
        }
        if ((y & 7) == 0 && step(y))
            return 2;
    }
    return 0;
}

// Everything else, through libtiff's RGBA interface, a band of rows at a time.
int read_rgba(TIFF* tif, Image* image, VqProgressStep step, bool alpha)
{
    char emsg[1024] = "";
    TIFFRGBAImage img;
    if (!TIFFRGBAImageOK(tif, emsg) || !TIFFRGBAImageBegin(&img, tif, 0, emsg)) {
        std::snprintf(g_error, sizeof g_error, "%.399s", emsg);
        return 1;
    }
    img.req_orientation = ORIENTATION_TOPLEFT;
    long width = image->width, height = image->height;
    const long band = 64;
    int rc = 0;
    for (long y = 0; y < height && rc == 0; y += band) {
        long rows = height - y < band ? height - y : band;
        img.row_offset = static_cast<int>(y);
        img.col_offset = 0;
        auto* raster = reinterpret_cast<uint32_t*>(image->row(static_cast<int>(y)));
        if (!TIFFRGBAImageGet(&img, raster, static_cast<uint32_t>(width), static_cast<uint32_t>(rows))) {
            rc = 1;
            break;
        }
        // The raster holds A B G R from the high byte down: R G B A in memory.
        for (long i = 0; i < width * rows; ++i) {
            uint32_t v = raster[i];
            uint8_t* p = reinterpret_cast<uint8_t*>(raster + i);
            p[0] = static_cast<uint8_t>(TIFFGetR(v));
            p[1] = static_cast<uint8_t>(TIFFGetG(v));
            p[2] = static_cast<uint8_t>(TIFFGetB(v));
            p[3] = static_cast<uint8_t>(TIFFGetA(v));
            // libtiff hands either kind of alpha back multiplied in.
            if (alpha)
                unpremultiply(p);
        }
        if (step(y))
            rc = 2;
    }
    TIFFRGBAImageEnd(&img);
    return rc;
}

long file_size(const char* name)
{
    struct stat st {};
    return stat(name, &st) == 0 ? static_cast<long>(st.st_size) : 0;
}

// A header must not make the loader allocate far beyond what the file can
// hold: uncompressed samples must all be there; compressed data may stand
// for a generous number of pixels a byte (fax codings of 1-bit pages, many
// more).  Pictures of up to 4 megapixels always pass, as with the system's
// own readers.
bool holds_its_pixels(TIFF* tif, const char* name, uint32_t width, uint32_t height, const Layout& l)
{
    uint16_t compression = COMPRESSION_NONE;
    TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);
    const double pixels = static_cast<double>(width) * height;
    const double have = static_cast<double>(file_size(name));
    if (compression == COMPRESSION_NONE) {
        // The last row may lack its padding.
        const double row = static_cast<double>(width) * l.bits * l.samples / 8;
        return row * (height - 1.0) <= have;
    }
    const bool fax = compression == COMPRESSION_CCITTRLE || compression == COMPRESSION_CCITTFAX3 ||
                     compression == COMPRESSION_CCITTFAX4 || compression == COMPRESSION_CCITTRLEW ||
                     compression == COMPRESSION_JBIG;
    return pixels <= 4194304.0 || pixels <= (fax ? 65536.0 : 4096.0) * have;
}

} // namespace

extern "C" __attribute__((visibility("default"))) Image*
IMAGELOAD(const char* name, void* /*window*/, void* /*instance*/, VqProgressBegin begin, VqProgressStep step,
          VqProgressPercent /*percent*/, VqProgressEnd end, VqNewImage new_image, VqAlloc alloc, VqFree release,
          VqMessage message)
{
    quiet_libtiff();
    TIFF* tif = TIFFOpen(name, "r");
    if (!tif) {
        report_damage(message, name);
        return nullptr;
    }
    uint32_t width = 0, height = 0;
    Layout l;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height);
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &l.bits);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &l.samples);
    TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &l.planar);
    TIFFGetFieldDefaulted(tif, TIFFTAG_EXTRASAMPLES, &l.extra_count, &l.extra);
    if (!TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &l.photometric))
        l.photometric = l.samples >= 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK;
    uint16_t kind = l.extra_count > 0 && l.extra ? l.extra[0] : EXTRASAMPLE_UNSPECIFIED;
    l.alpha = l.extra_count > 0 && (kind == EXTRASAMPLE_ASSOCALPHA || kind == EXTRASAMPLE_UNASSALPHA);
    l.associated = l.alpha && kind == EXTRASAMPLE_ASSOCALPHA;
    if (width < 1 || height < 1) {
        std::snprintf(g_error, sizeof g_error, "no image size");
        TIFFClose(tif);
        report_damage(message, name);
        return nullptr;
    }
    if (!holds_its_pixels(tif, name, width, height, l)) {
        char text[600];
        std::snprintf(text, sizeof text,
                      "TIFF file is damaged (it declares %u x %u pixels, more than its %ld bytes of data can hold): %s",
                      width, height, file_size(name), name);
        TIFFClose(tif);
        message(0, 0, text);
        return nullptr;
    }
    Image* image = new_image(static_cast<long>(width), static_cast<long>(height), "itif");
    if (!image) {
        TIFFClose(tif);
        message(0, 0, "Not enough real memory for image");
        return nullptr;
    }
    image->bits = static_cast<uint16_t>(l.bits * l.samples);
    image->alpha = l.alpha ? 1 : 0;
    set_resolution(tif, image);
    read_texts(tif, image, alloc);

    bool direct = !TIFFIsTiled(tif) && l.bits == 8 &&
                  (l.planar == PLANARCONFIG_CONTIG || l.photometric != PHOTOMETRIC_PALETTE) &&
                  ((l.photometric == PHOTOMETRIC_RGB && l.samples == (l.alpha ? 4 : 3)) ||
                   ((l.photometric == PHOTOMETRIC_MINISBLACK || l.photometric == PHOTOMETRIC_MINISWHITE) &&
                    l.samples == (l.alpha ? 2 : 1)) ||
                   (l.photometric == PHOTOMETRIC_PALETTE && l.samples == 1));
    begin("Reading TIFF", static_cast<long>(height));
    int rc;
    if (direct) {
        tmsize_t size = TIFFScanlineSize(tif);
        tmsize_t need = static_cast<tmsize_t>(width) * (l.planar == PLANARCONFIG_SEPARATE ? 1 : l.samples);
        auto* line = size >= need
                         ? static_cast<uint8_t*>(alloc(static_cast<long>(size), "tifr"))
                         : nullptr;
        rc = line ? read_direct(tif, image, l, step, line) : 1;
        if (line)
            release(line);
    } else {
        rc = read_rgba(tif, image, step, l.alpha);
    }
    end();
    TIFFClose(tif);
    if (rc != 0) {
        if (rc == 1)
            report_damage(message, name);
        return nullptr;  // the host releases the image
    }
    return image;
}

extern "C" __attribute__((visibility("default"))) int
IMAGESAVE(const char* name, Image* image, void* /*instance*/, void* /*window*/, long compress, VqProgressBegin begin,
          VqProgressStep step, VqProgressPercent /*percent*/, VqProgressEnd end, VqAlloc alloc, VqFree release,
          VqMessage message)
{
    quiet_libtiff();
    long width = image->width, height = image->height;
    bool alpha = image->alpha != 0;
    bool grey = !alpha;
    for (long y = 0; y < height && grey; ++y) {
        const uint8_t* p = image->row(static_cast<int>(y));
        for (long x = 0; x < width; ++x, p += 4)
            if (p[0] != p[1] || p[1] != p[2]) {
                grey = false;
                break;
            }
    }
    uint16_t samples = grey ? 1 : alpha ? 4 : 3;
    auto* line = static_cast<uint8_t*>(alloc(width * samples + 16, "tifw"));
    if (!line) {
        message(0, 0, "Not enough memory for save");
        return 1;
    }
    TIFF* tif = TIFFOpen(name, "w");
    if (!tif) {
        release(line);
        message(37, 0, name);
        return 1;
    }
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(width));
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(height));
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, samples);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, grey ? PHOTOMETRIC_MINISBLACK : PHOTOMETRIC_RGB);
    TIFFSetField(tif, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
    if (alpha) {
        uint16_t extra[1] = {EXTRASAMPLE_UNASSALPHA};
        TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, extra);
    }
    uint16_t compression = compress == 0 ? COMPRESSION_NONE : compress == 2 ? COMPRESSION_ADOBE_DEFLATE
                                                                            : COMPRESSION_LZW;
    TIFFSetField(tif, TIFFTAG_COMPRESSION, compression);
    if (compression != COMPRESSION_NONE)
        TIFFSetField(tif, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(tif, 0));
    if (image->hres_num > 0 && image->hres_den > 0 && image->vres_num > 0 && image->vres_den > 0) {
        TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
        TIFFSetField(tif, TIFFTAG_XRESOLUTION, static_cast<float>(image->hres_num) / image->hres_den);
        TIFFSetField(tif, TIFFTAG_YRESOLUTION, static_cast<float>(image->vres_num) / image->vres_den);
    }
    TIFFSetField(tif, TIFFTAG_SOFTWARE, "Glimmerix:V/q 7.50");
    if (image->author[0])
        TIFFSetField(tif, TIFFTAG_ARTIST, image->author);
    if (image->annotation && image->annotation[0])
        TIFFSetField(tif, TIFFTAG_IMAGEDESCRIPTION, image->annotation);
    if (image->copyright[0])
        TIFFSetField(tif, TIFFTAG_COPYRIGHT, image->copyright);

    begin("Saving TIFF", height);
    int rc = 0;
    for (long y = 0; y < height; ++y) {
        const uint8_t* p = image->row(static_cast<int>(y));
        uint8_t* out = line;
        for (long x = 0; x < width; ++x, p += 4)
            for (int s = 0; s < samples; ++s)
                *out++ = p[s];
        if (TIFFWriteScanline(tif, line, static_cast<uint32_t>(y), 0) < 0) {
            rc = 1;
            break;
        }
        if ((y & 7) == 0 && step(y)) {
            rc = 2;
            break;
        }
    }
    end();
    if (rc == 0 && !TIFFFlush(tif))
        rc = 1;
    TIFFClose(tif);
    release(line);
    if (rc != 0) {
        std::remove(name);
        if (rc == 1)
            message(26, 0, name);
        return 1;
    }
    return 0;
}

extern "C" __attribute__((visibility("default"))) int IMAGEINFO(const char* name, VqImageInfo* out, VqMessage message)
{
    quiet_libtiff();
    TIFF* tif = TIFFOpen(name, "r");
    if (!tif) {
        report_damage(message, name);
        return 1;
    }
    uint32_t width = 0, height = 0;
    Layout l;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height);
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &l.bits);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &l.samples);
    TIFFGetFieldDefaulted(tif, TIFFTAG_EXTRASAMPLES, &l.extra_count, &l.extra);
    uint16_t kind = l.extra_count > 0 && l.extra ? l.extra[0] : EXTRASAMPLE_UNSPECIFIED;
    l.alpha = l.extra_count > 0 && (kind == EXTRASAMPLE_ASSOCALPHA || kind == EXTRASAMPLE_UNASSALPHA);
    int rc = 0;
    if (width < 1 || height < 1) {
        std::snprintf(g_error, sizeof g_error, "no image size");
        report_damage(message, name);
        rc = 1;
    } else if (!holds_its_pixels(tif, name, width, height, l)) {
        char text[600];
        std::snprintf(text, sizeof text,
                      "TIFF file is damaged (it declares %u x %u pixels, more than its %ld bytes of data can hold): %s",
                      width, height, file_size(name), name);
        message(0, 0, text);
        rc = 1;
    } else {
        out->width = width;
        out->height = height;
        out->bits = l.bits * l.samples;
        out->alpha = l.alpha ? 1 : 0;
        Image probe{};
        set_resolution(tif, &probe);
        out->hres = probe.hres_den ? static_cast<double>(probe.hres_num) / probe.hres_den : 0;
        out->vres = probe.vres_den ? static_cast<double>(probe.vres_num) / probe.vres_den : 0;
    }
    TIFFClose(tif);
    return rc;
}
