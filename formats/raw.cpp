// Raw image files.
#include "formats/raw.h"

#include "core/image.h"
#include "core/log.h"
#include "formats/codec_io.h"
#include "formats/load_save.h"

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

using namespace codec_io;

namespace {

constexpr long kMaxSide = 40000;
RawState g_raw;

bool parse_number(const char*& p, long& out)
{
    char* end = nullptr;
    if (*p < '0' || *p > '9')
        return false;
    out = std::strtol(p, &end, 10);
    p = end;
    return true;
}

} // namespace

RawState& raw_state()
{
    return g_raw;
}

bool parse_raw_layout(const char* text, RawLayout& layout)
{
    RawLayout l;
    const char* p = text;
    long channels = 3;
    if (!parse_number(p, l.width) || (*p != 'x' && *p != 'X') || !parse_number(++p, l.height))
        return false;
    if (*p == ',' && !parse_number(++p, channels))
        return false;
    if (*p == ',' && !parse_number(++p, l.offset))
        return false;
    if (*p || channels < 1 || channels > 4)
        return false;
    l.channels = static_cast<int>(channels);
    layout = l;
    return true;
}

RawLayout raw_guess(long file_size)
{
    RawLayout l;
    for (int channels : {3, 1, 4}) {
        long side = std::lround(std::sqrt(static_cast<double>(file_size) / channels));
        if (side > 0 && side * side * channels == file_size) {
            l.width = l.height = side;
            l.channels = channels;
            return l;
        }
    }
    l.width = std::max(1L, std::min(file_size / 3, kMaxSide));
    l.height = 1;
    return l;
}

std::string raw_layout_problem(const RawLayout& l, long file_size)
{
    if (l.width < 1 || l.height < 1 || l.width > kMaxSide || l.height > kMaxSide)
        return "the width and height must be 1 to 40000";
    if (l.channels < 1 || l.channels > 4)
        return "the channels must be 1 to 4";
    if (l.offset < 0)
        return "the offset must not be negative";
    double need = static_cast<double>(l.width) * static_cast<double>(l.height) * l.channels;
    double have = static_cast<double>(file_size - l.offset);
    if (need > have)
        return "the file holds " + std::to_string(std::max(0L, file_size - l.offset)) + " bytes after the offset; " +
               std::to_string(l.width) + " x " + std::to_string(l.height) + " with " + std::to_string(l.channels) +
               " channels needs " + std::to_string(static_cast<long long>(need));
    return "";
}

namespace {

// The layout of a raw file: given beforehand, or asked; false (the user told
// why) when there is none or it does not fit the file.
bool raw_layout_for(const LoadRequest& r, RawLayout& l)
{
    if (g_raw.preset) {
        l = g_raw.layout;
    } else {
        l = raw_guess(r.file_size);
        if (!g_raw.ask) {
            refuse("The layout of the raw file is not known", r.name,
                   "give its width, height, channels and offset");
            return false;
        }
        if (!g_raw.ask(r.name, r.file_size, l)) {
            log_printf("Raw file not loaded: no layout given\n");
            return false;
        }
    }
    std::string problem = raw_layout_problem(l, r.file_size);
    if (!problem.empty()) {
        refuse("The raw file cannot be read", r.name, problem.c_str());
        return false;
    }
    return true;
}

} // namespace

int raw_info(const LoadRequest& r, ImageInfo* info)
{
    RawLayout l;
    if (!raw_layout_for(r, l))
        return 1;
    info->width = l.width;
    info->height = l.height;
    info->bits = 8 * l.channels;
    info->alpha = l.channels == 2 || l.channels == 4;
    return 0;
}

Image* ReadRaw(const LoadRequest& r)
{
    RawLayout l;
    if (!raw_layout_for(r, l))
        return nullptr;
    log_printf("Raw image: %ld x %ld, %d channels at offset %ld\n", l.width, l.height, l.channels, l.offset);
    Image* image = codec_io::new_image(l.width, l.height, "iraw", r.name);
    if (!image)
        return nullptr;
    image->bits = static_cast<uint16_t>(8 * l.channels);
    std::vector<uint8_t> row(static_cast<size_t>(l.width * l.channels));
    std::fseek(r.stream, l.offset, SEEK_SET);
    Meter meter("Reading RAW", l.height);
    for (long y = 0; y < l.height; ++y) {
        if (std::fread(row.data(), 1, row.size(), r.stream) != row.size()) {
            message_show(msg::FileTruncated, r.name);
            return drop(image);
        }
        uint8_t* px = image->row(static_cast<int>(y));
        const uint8_t* s = row.data();
        for (long x = 0; x < l.width; ++x, px += 4, s += l.channels) {
            if (l.channels <= 2) {
                px[0] = px[1] = px[2] = s[0];
                if (l.channels == 2)
                    px[3] = s[1];
            } else {
                px[0] = s[0];
                px[1] = s[1];
                px[2] = s[2];
                if (l.channels == 4)
                    px[3] = s[3];
            }
        }
        if ((y & 7) == 0 && progress_update(y)) {
            log_printf("RAW reading cancelled\n");
            return drop(image);
        }
    }
    image->alpha = l.channels == 2 || l.channels == 4;
    image_unlock(image);
    return image;
}
