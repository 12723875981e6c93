#include "app/vq/save_options.h"

#include "core/image.h"
#include "core/settings.h"
#include "formats/codecs.h"
#include "formats/load_save.h"
#include "formats/raw.h"
#include "render/reduce.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <strings.h>

namespace vq {

namespace {

struct TypeName {
    const char* name;
    int type;
};
const TypeName kTypeNames[] = {
    {"bmp", FMT_BMP}, {"dib", FMT_BMP}, {"flc", FMT_FLC}, {"fli", FMT_FLC},  {"iff", FMT_IFF}, {"ilbm", FMT_IFF},
    {"jpg", FMT_JPG}, {"jpeg", FMT_JPG}, {"pcx", FMT_PCX}, {"tga", FMT_TGA}, {"tif", FMT_TIFF}, {"tiff", FMT_TIFF},
    {"trm", FMT_TRM}, {"avi", FMT_AVI}, {"fs", FMT_FS},   {"gif", FMT_GIF},  {"png", FMT_PNG},
};

long type_from_word(const std::string& word)
{
    long number = 0;
    if (parse_long(word, number))
        return codec_for_save_type(static_cast<int>(number)) ? number : -1;
    for (const TypeName& t : kTypeNames)
        if (strcasecmp(word.c_str(), t.name) == 0)
            return t.type;
    return -1;
}

} // namespace

int save_output(const char* command, Image* image, const std::string& out)
{
    char name[kImagePathMax];
    if (out.size() + 6 > sizeof name)
        return failure("the name \"" + out + "\" is too long");
    std::snprintf(name, sizeof name, "%s", out.c_str());
    if (SaveImageFile(image, name) != 0)
        return EXIT_FAILED;
    if (out != name)
        std::fprintf(stderr, "vq %s: written as %s\n", command, name);
    return EXIT_DONE;
}

Image* load_input(const std::string& path)
{
    char name[kImagePathMax];
    if (path.size() >= sizeof name)
        return load_image(path.c_str());  // refused with the system's message
    std::snprintf(name, sizeof name, "%s", path.c_str());
    Image* image = LoadImageFile(name);
    if (image && path != name) {
        const char* slash = std::strrchr(name, '/');
        std::string folder(name, slash ? static_cast<size_t>(slash - name) : 0);
        while (folder.size() > 1 && folder.back() == '/')
            folder.pop_back();
        const char* key = folder == settings().proj_path ? "ProjPath" : "ImagePath";
        std::fprintf(stderr, "vq: %s is not in the current folder; read %s from the folder \"%s\" (%s)\n",
                     path.c_str(), name, folder.c_str(), key);
    }
    return image;
}

long save_type_for_name(const std::string& name)
{
    const char* ext = file_extension(name.c_str());
    return *ext ? type_from_word(ext + 1) : -1;
}

const Option kRawOption = {
    "--raw", "WxH[,CHANNELS[,OFFSET]]",
    "the layout of a raw file (\".raw\", \".red\"), which has no header: width, height, channels (1 grey, 2 grey "
    "and alpha, 3 RGB, the default, 4 RGBA; 8 bits each, interleaved, top row first) and the bytes to skip"};

int take_raw_option(const char* command, Args& args)
{
    if (args.done() || args.peek() != "--raw")
        return 0;
    args.next();
    RawLayout layout;
    if (args.done() || !parse_raw_layout(args.next().c_str(), layout))
        return usage_error(command, "--raw takes WIDTHxHEIGHT[,CHANNELS[,OFFSET]], channels 1 to 4");
    raw_state().preset = true;
    raw_state().layout = layout;
    return 1;
}

int take_save_option(const char* command, Args& args, SaveOptions& o)
{
    if (args.done())
        return 0;
    std::string word = args.peek();
    if (word != "--type" && word != "--depth" && word != "--compress" && word != "--quality" &&
        word != "--reduce" && word != "--dither" && word != "--strength")
        return 0;
    args.next();
    if (args.done())
        return usage_error(command, word + " needs a value");
    std::string value = args.next();
    if (word == "--type") {
        o.type = type_from_word(value);
        if (o.type < 0)
            return usage_error(command, "no file type \"" + value + "\"");
    } else if (word == "--depth") {
        if (!parse_long(value, o.depth) || save_depth_for_bits(static_cast<int>(o.depth)) < 0)
            return usage_error(command, "--depth takes 32, 24, 16, 8, 4 or 1");
    } else if (word == "--compress") {
        if (!parse_long(value, o.compress) || o.compress < 0 || o.compress > 9)
            return usage_error(command, "--compress takes 0 to 9 (TIFF: 0, 1 or 2; PNG: 3 to 9)");
    } else if (word == "--quality") {
        if (!parse_long(value, o.quality) || o.quality < 1 || o.quality > 100)
            return usage_error(command, "--quality takes 1 to 100");
    } else if (word == "--reduce") {
        static const char* const modes[] = {"fixed", "greys", "chosen", "current"};
        o.reduce = -1;
        for (long i = 0; i < 4; ++i)
            if (strcasecmp(value.c_str(), modes[i]) == 0 || value == std::to_string(i))
                o.reduce = i;
        if (o.reduce < 0)
            return usage_error(command, "--reduce takes fixed, greys, chosen or current (0 to 3)");
    } else if (word == "--dither") {
        if (value != "ordered" && value != "diffusion")
            return usage_error(command, "--dither takes ordered or diffusion");
        o.ordered = value == "ordered" ? 1 : 0;
    } else {
        if (!parse_long(value, o.strength) || o.strength < 0 || o.strength > 100)
            return usage_error(command, "--strength takes 0 to 100");
    }
    return 1;
}

int apply_save_options(const char* command, const SaveOptions& o, const std::string& out, const Image* image)
{
    Settings& s = settings();
    long type = o.type >= 0 ? o.type : save_type_for_name(out);
    if (type < 0)
        return usage_error(command, "cannot tell the file type of \"" + out + "\"; name it with --type");
    s.save_type = type;
    long bits = o.depth >= 0 ? o.depth : image && image->alpha ? 32 : 24;
    s.save_depth = save_depth_for_bits(static_cast<int>(bits));
    if (o.compress >= 0)
        s.save_compress = o.compress;
    else if (type == FMT_AVI)
        s.save_compress = 0;  // AVI frames are uncompressed unless MJPEG is asked for
    if (o.quality >= 0)
        s.jpeg_quality = o.quality;
    if (o.ordered >= 0)
        s.ordered = o.ordered;
    if (o.reduce >= 0)
        render_state().palette_mode = static_cast<int>(o.reduce);
    if (o.strength >= 0)
        render_state().strength = static_cast<int>(o.strength);
    return EXIT_DONE;
}

} // namespace vq
