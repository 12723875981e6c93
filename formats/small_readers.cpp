// The small readers of the load dispatch: I-RAW, PPM "P6" and the 4-bit
// picture files.
#include "core/bytes.h"
#include "core/image.h"
#include "core/log.h"
#include "core/messages.h"
#include "core/progress.h"
#include "formats/codec_io.h"
#include "formats/codecs.h"
#include "formats/load_save.h"
#include "core/platform.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>
#include <vector>

namespace {

// The I-RAW reader's boxes are titled "Error" rather than "Note!".
void error_titled(const char* text, const char* name = nullptr)
{
    std::string s = text;
    if (name && *name)
        s.append("\n").append(name);
    log_printf("MESSAGE: \"%s\"\n", s.c_str());
    if (!messages_quiet())
        ui::platform().message_box("Error", s.c_str(), ui::BoxIcon::Stop);
}

using codec_io::drop;
using codec_io::Meter;

} // namespace

namespace {

// Reads and checks the 12-byte I-RAW header: the pixels it declares must
// all be in the file before anything is made.
bool iraw_header(FILE* stream, long file_size, const char* name, long& width, long& height)
{
    uint8_t h[12];
    if (std::fread(h, 1, sizeof h, stream) != sizeof h) {
        error_titled("I-Raw file damaged", name);
        return false;
    }
    width = static_cast<long>(get_le32(h + 4));
    height = static_cast<long>(get_le32(h + 8));
    double need = static_cast<double>(width) * static_cast<double>(height) * 3.0;
    if (width < 1 || height < 1 || width > 0x7fffffffL || height > 0x7fffffffL ||
        need > static_cast<double>(file_size - 12)) {
        error_titled("I-Raw image damaged", name);
        return false;
    }
    return true;
}

} // namespace

int info_iraw(FILE* stream, long file_size, const char* name, ImageInfo* out)
{
    long width = 0, height = 0;
    if (!iraw_header(stream, file_size, name, width, height))
        return 1;
    out->width = width;
    out->height = height;
    out->bits = 24;
    return 0;
}

Image* read_iraw(FILE* stream, long file_size, const char* name)
{
    long width = 0, height = 0;
    if (!iraw_header(stream, file_size, name, width, height))
        return nullptr;
    Image* image = codec_new_image(width, height, "iirw");
    if (!image || image_lock(image) != 0) {
        drop(image);
        error_titled("Not enough real memory for image");
        return nullptr;
    }
    image->bits = 24;
    Meter meter("I-RAW", width * height);
    std::vector<uint8_t> row(static_cast<size_t>(width) * 3);
    long done = 0;
    for (long y = 0; y < height; ++y) {
        if (std::fread(row.data(), 1, row.size(), stream) != row.size()) {
            drop(image);
            error_titled("I-Raw image damaged", name);
            return nullptr;
        }
        uint8_t* px = image->row(static_cast<int>(y));
        for (long x = 0; x < width; ++x, px += 4, ++done) {
            px[0] = row[3 * x];
            px[1] = row[3 * x + 1];
            px[2] = row[3 * x + 2];
            if (done % 10 == 0 && progress_update(done)) {
                log_printf("I-RAW reading cancelled\n");
                return drop(image);
            }
        }
    }
    image_unlock(image);
    return image;
}

namespace {

// One header field of a netpbm file: skips blanks and comments, reads a
// decimal number.  False when there is none or it is out of range.
bool pnm_number(FILE* f, long& value)
{
    int c = std::fgetc(f);
    for (;;) {
        if (c == '#') {
            while (c != EOF && c != '\n' && c != '\r')
                c = std::fgetc(f);
        } else if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f') {
            c = std::fgetc(f);
        } else {
            break;
        }
    }
    if (c == EOF || !std::isdigit(c))
        return false;
    value = 0;
    while (c != EOF && std::isdigit(c)) {
        value = value * 10 + (c - '0');
        if (value > 100000000)
            return false;
        c = std::fgetc(f);
    }
    // Exactly one blank ends the last field before the pixels.
    return c != EOF && std::isspace(c);
}

} // namespace

Image* read_ppm(FILE* stream, long file_size, const char* name)
{
    char magic[2];
    long width = 0, height = 0, maxval = 0;
    if (std::fread(magic, 1, 2, stream) != 2 || magic[0] != 'P' || magic[1] != '6' || !pnm_number(stream, width) ||
        !pnm_number(stream, height) || !pnm_number(stream, maxval) || width < 1 || height < 1) {
        error_box("PPM file header is damaged.", name);
        return nullptr;
    }
    if (maxval < 1 || maxval > 65535) {
        std::string text = "PPM files with a maximum value of " + std::to_string(maxval) +
                           " cannot be read; 1 to 65535 are.";
        note(text.c_str());
        return nullptr;
    }
    // Samples above 255 take two bytes, most significant first; any other
    // maximum than 255 is scaled to it.
    const int sample = maxval > 255 ? 2 : 1;
    long start = std::ftell(stream);
    if (static_cast<double>(width) * height * 3 * sample > static_cast<double>(file_size - start)) {
        message_show(msg::FileTruncated, name);
        return nullptr;
    }
    Image* image = codec_new_image(width, height, "ippm");
    if (!image || image_lock(image) != 0) {
        drop(image);
        note("Not enough real memory for image");
        return nullptr;
    }
    image->bits = static_cast<uint16_t>(24 * sample);
    Meter meter("Reading PPM", height);
    std::vector<uint8_t> row(static_cast<size_t>(width) * 3 * sample);
    std::vector<uint8_t> scale;
    if (sample == 1 && maxval != 255)
        for (long v = 0; v < 256; ++v)
            scale.push_back(static_cast<uint8_t>(std::min(255L, (v * 255 + maxval / 2) / maxval)));
    for (long y = 0; y < height; ++y) {
        if (std::fread(row.data(), 1, row.size(), stream) != row.size()) {
            message_show(msg::FileTruncated, name);
            return drop(image);
        }
        uint8_t* px = image->row(static_cast<int>(y));
        for (long x = 0; x < width; ++x, px += 4)
            for (int c = 0; c < 3; ++c) {
                long i = 3 * x + c;
                if (sample == 2) {
                    long v = std::min<long>(maxval, row[2 * i] << 8 | row[2 * i + 1]);
                    px[c] = static_cast<uint8_t>((v * 255 + maxval / 2) / maxval);
                } else {
                    px[c] = scale.empty() ? row[i] : scale[row[i]];
                }
            }
        if ((y & 7) == 0 && progress_update(y)) {
            log_printf("PPM reading cancelled\n");
            return drop(image);
        }
    }
    image_unlock(image);
    return image;
}

int info_ppm(FILE* stream, long file_size, const char* name, ImageInfo* out)
{
    char magic[2];
    long width = 0, height = 0, maxval = 0;
    if (std::fread(magic, 1, 2, stream) != 2 || magic[0] != 'P' || magic[1] != '6' || !pnm_number(stream, width) ||
        !pnm_number(stream, height) || !pnm_number(stream, maxval) || width < 1 || height < 1) {
        error_box("PPM file header is damaged.", name);
        return 1;
    }
    if (maxval < 1 || maxval > 65535) {
        std::string text = "PPM files with a maximum value of " + std::to_string(maxval) +
                           " cannot be read; 1 to 65535 are.";
        note(text.c_str());
        return 1;
    }
    const int sample = maxval > 255 ? 2 : 1;
    if (static_cast<double>(width) * height * 3 * sample > static_cast<double>(file_size - std::ftell(stream))) {
        message_show(msg::FileTruncated, name);
        return 1;
    }
    out->width = width;
    out->height = height;
    out->bits = 24 * sample;
    return 0;
}

namespace {

// The 4-bit pictures have no header: the kind fixes the size, and the file
// must hold all the pixels.
struct Picture4 {
    long width, height;
    size_t bytes;
};

bool picture4_size(bool pdx, long file_size, const char* name, Picture4& p)
{
    p = pdx ? Picture4{260, 256, 32768} : Picture4{128, 128, 8192};
    if (file_size < static_cast<long>(p.bytes)) {
        codec_refuse_declared_size("4-bit picture", name ? name : "", p.width, p.height, static_cast<double>(file_size));
        return false;
    }
    return true;
}

} // namespace

int info_picture4(bool pdx, long file_size, const char* name, ImageInfo* out)
{
    Picture4 p{};
    if (!picture4_size(pdx, file_size, name, p))
        return 1;
    out->width = p.width;
    out->height = p.height;
    out->bits = pdx ? 24 : 4;
    return 0;
}

Image* read_picture4(FILE* stream, bool pdx, long file_size, const char* name)
{
    Picture4 p{};
    if (!picture4_size(pdx, file_size, name, p))
        return nullptr;
    const long width = p.width, height = p.height;
    const size_t bytes = p.bytes;
    Image* image = codec_new_image(width, height, pdx ? "sstv4d" : "sstv4");
    if (!image || image_lock(image) != 0) {
        drop(image);
        note("Not enough real memory for image");
        return nullptr;
    }
    image->bits = pdx ? 24 : 4;
    std::vector<uint8_t> data(bytes);
    size_t got = std::fread(data.data(), 1, bytes, stream);
    for (size_t i = 0; i < got * 2; ++i) {
        int v = i & 1 ? data[i / 2] & 15 : data[i / 2] >> 4;
        uint8_t grey = static_cast<uint8_t>(v * 17);
        uint8_t* px = image->pixels + 4 * i;  // rows are contiguous
        px[0] = px[1] = px[2] = grey;
    }
    image_unlock(image);
    return image;
}
