// vq film: film strips built from images, inspected, exported as
// animations and split into numbered images.
#include "app/vq/command.h"
#include "core/image.h"
#include "core/messages.h"
#include "core/settings.h"
#include "formats/film.h"
#include "formats/load_save.h"

#include <sys/stat.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

bool parse_switch(const std::string& text, bool& value)
{
    if (text == "0" || text == "1") {
        value = text == "1";
        return true;
    }
    return false;
}

std::string lower_extension(const std::string& name)
{
    std::string ext = file_extension(name.c_str());
    for (char& c : ext)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext;
}

// The colours a film command changes for its run only.
struct ColourScope {
    long back[3];
    ColourScope() { std::memcpy(back, settings().back_color, sizeof back); }
    ~ColourScope() { std::memcpy(settings().back_color, back, sizeof back); }
};

int run_build(vq::Args& args)
{
    std::vector<std::string> words;
    long width = 0, height = 0, frames = -1;
    ColourScope colours;
    while (!args.done()) {
        std::string word = args.next();
        if (word == "--size") {
            if (args.done() || !vq::parse_size(args.next(), width, height))
                return vq::usage_error("film", "--size takes WIDTHxHEIGHT, for example 320x240");
            if (width > kFilmMaxSide || height > kFilmMaxSide)
                return vq::usage_error("film", "a film frame is at most 1024 x 1024");
        } else if (word == "--frames") {
            if (args.done() || !vq::parse_long(args.next(), frames) || frames < 1 || frames > kFilmMaxFrames)
                return vq::usage_error("film", "--frames takes 1 to 4096");
        } else if (word == "--background") {
            uint8_t rgb[4];
            if (args.done() || !vq::parse_colour(args.next(), rgb, false))
                return vq::usage_error("film", "--background takes R,G,B, each 0 to 255");
            std::copy(rgb, rgb + 3, settings().back_color);
        } else if (word.size() > 2 && word[0] == '-' && word[1] == '-') {
            return vq::usage_error("film", "no option " + word);
        } else {
            words.push_back(word);
        }
    }
    if (words.empty())
        return vq::usage_error("film", "build needs OUT.flm and images");
    if (width < 1)
        return vq::usage_error("film", "build needs --size WxH");
    const long images = static_cast<long>(words.size()) - 1;
    if (frames < 0)
        frames = images;
    if (frames < 1)
        return vq::usage_error("film", "build needs images, or --frames N for an empty film");
    if (images > frames)
        return vq::usage_error("film", "more images than --frames slots");
    if (film_create(frames, width, height) != 0)
        return vq::EXIT_FAILED;
    for (long i = 0; i < images; ++i) {
        Image* image = load_image(words[static_cast<size_t>(i) + 1].c_str());
        if (!image)
            return vq::EXIT_FAILED;
        int rc = PlaceFrame(image, i);
        image_free(image);
        if (rc != 0)
            return vq::EXIT_FAILED;
    }
    char name[kImagePathMax];
    if (words[0].size() + 5 >= sizeof name)
        return vq::failure("the name is too long: " + words[0]);
    std::snprintf(name, sizeof name, "%s", words[0].c_str());
    EnsureExtension(name, sizeof name, ".flm");
    if (SaveFilm(name) != 0)
        return vq::EXIT_FAILED;
    std::printf("%s: %ld frame%s of %ld x %ld, %ld placed\n", name, frames, frames == 1 ? "" : "s", width, height, images);
    return vq::EXIT_DONE;
}

int run_info(vq::Args& args)
{
    if (args.done())
        return vq::usage_error("film", "info needs film files");
    int status = vq::EXIT_DONE;
    while (!args.done()) {
        std::string name = args.next();
        FILE* f = std::fopen(name.c_str(), "rb");
        if (!f) {
            message_show(msg::CannotOpenRequested, name.c_str());
            status = vq::EXIT_FAILED;
            continue;
        }
        std::fseek(f, 0, SEEK_END);
        long size = std::ftell(f);
        std::rewind(f);
        LoadRequest request{name.c_str(), f, size};
        ImageInfo info;
        int rc = film_info(request, &info);
        std::fclose(f);
        if (rc != 0) {
            status = vq::EXIT_FAILED;
            continue;
        }
        long long expected = 16 + static_cast<long long>(info.width) * info.height * 3 * info.frames;
        std::printf("%s: film strip, %ld x %ld, %ld frame%s%s\n", name.c_str(), info.width, info.height, info.frames,
                    info.frames == 1 ? "" : "s", size < expected ? " (truncated)" : "");
    }
    return status;
}

int run_export(vq::Args& args)
{
    std::vector<std::string> words;
    FilmExportOptions options;
    while (!args.done()) {
        std::string word = args.next();
        if (word == "--delay") {
            long delay = 0;
            if (args.done() || !vq::parse_long(args.next(), delay) || delay < 0 || delay > 9999)
                return vq::usage_error("film", "--delay takes 0 to 9999 hundredths of a second");
            options.delay = static_cast<int>(delay);
        } else if (word == "--loop" || word == "--pingpong" || word == "--common-palette" || word == "--compress") {
            bool& value = word == "--loop"       ? options.loop
                          : word == "--pingpong" ? options.pingpong
                          : word == "--compress" ? options.mjpeg
                                                 : options.common_palette;
            if (args.done() || !parse_switch(args.next(), value))
                return vq::usage_error("film", word + " takes 0 or 1");
        } else if (word.size() > 2 && word[0] == '-' && word[1] == '-') {
            return vq::usage_error("film", "no option " + word);
        } else {
            words.push_back(word);
        }
    }
    if (words.size() != 2)
        return vq::usage_error("film", "export needs IN and OUT");
    const std::string ext = lower_extension(words[1]);
    int (*exporter)(const char*, const FilmExportOptions&) = ext == ".flc" || ext == ".fli" ? ExportFilmFlic
                                                             : ext == ".gif"                ? ExportFilmGif
                                                             : ext == ".mng"                ? ExportFilmMng
                                                             : ext == ".avi"                ? ExportFilmAvi
                                                                                            : nullptr;
    if (!exporter)
        return vq::usage_error("film", "OUT must end in .flc, .gif, .mng or .avi");
    if (LoadFilm(words[0].c_str()) != 0)
        return vq::EXIT_FAILED;
    return exporter(words[1].c_str(), options) == 0 ? vq::EXIT_DONE : vq::EXIT_FAILED;
}

int run_frames(vq::Args& args)
{
    if (args.done())
        return vq::usage_error("film", "frames needs IN and OUTDIR");
    std::string in = args.next();
    if (args.done())
        return vq::usage_error("film", "frames needs IN and OUTDIR");
    std::string dir = args.next();
    if (!args.done())
        return vq::usage_error("film", "frames takes IN and OUTDIR only");
    if (LoadFilm(in.c_str()) != 0)
        return vq::EXIT_FAILED;
    mkdir(dir.c_str(), 0777);
    struct stat st;
    if (stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return vq::failure("cannot make the folder " + dir);
    Settings& s = settings();
    const long kept_type = s.save_type, kept_depth = s.save_depth;
    s.save_type = FMT_PNG;
    s.save_depth = 2;
    int status = vq::EXIT_DONE;
    long written = 0;
    const FilmState& film = film_state();
    for (long i = 0; i < film.frames && status == vq::EXIT_DONE; ++i) {
        Image* frame = film_frame(i);
        if (!frame)
            continue;
        char name[kImagePathMax];
        if (std::snprintf(name, sizeof name, "%s/f%04ld.png", dir.c_str(), i + 1) >= static_cast<int>(sizeof name) - 5) {
            status = vq::failure("the folder's name is too long: " + dir);
            break;
        }
        if (SaveImageFile(frame, name) != 0)
            status = vq::EXIT_FAILED;
        else
            ++written;
    }
    s.save_type = kept_type;
    s.save_depth = kept_depth;
    if (status == vq::EXIT_DONE)
        std::printf("%s: %ld frame%s of %ld x %ld into %s\n", in.c_str(), written, written == 1 ? "" : "s",
                    film.width, film.height, dir.c_str());
    return status;
}

int run_film(vq::Args& args)
{
    if (args.done())
        return vq::usage_error("film", "needs build, info, export or frames");
    std::string what = args.next();
    if (what == "build")
        return run_build(args);
    if (what == "info")
        return run_info(args);
    if (what == "export")
        return run_export(args);
    if (what == "frames")
        return run_frames(args);
    return vq::usage_error("film", "no film command " + what);
}

const vq::Option kBuildOptions[] = {
    {"--size", "WxH", "the frame size, at most 1024 x 1024", vq::OPT_REQUIRED},
    {"--frames", "N", "a longer strip whose further slots stay empty (saved as black)"},
    {"--background", "R,G,B", "the colour around a fitted image (default: the setting \"BackColor\")"},
};
const vq::Option kExportOptions[] = {
    {"--delay", "CS", "the time a frame is shown in hundredths of a second, 0 to 9999 (default: the setting "
                      "\"FilmSpeed\" in milliseconds)"},
    {"--loop", "0/1", "1 (the default): GIF and MNG animations play for ever"},
    {"--pingpong", "0/1", "1: the frames play forward and back"},
    {"--common-palette", "0/1", "1: every GIF and MNG frame gets one palette made from all frames"},
    {"--compress", "0/1", "AVI: 0 uncompressed 24-bit frames, 1 MJPEG"},
};
const vq::Form kFilmForms[] = {
    {.job = "build", .words = "OUT.flm IMAGE...", .options = kBuildOptions,
     .help = "places the images in order into a new film of WxH frames: each is fitted keeping its proportions "
             "and centred on the background colour; an image with alpha is blended over \"AlphaColor\" while the "
             "preference \"Filmstrip blend alpha\" is on. The film is saved as OUT.flm."},
    {.job = "info", .words = "FILE.flm...", .help = "the size and frame count of film files."},
    {.job = "export", .words = "IN OUT.(flc|gif|mng|avi)", .options = kExportOptions,
     .help = "loads IN (a film file, a FLIC, a GIF or an AVI) into the film and writes it as the animation "
             "OUT's extension names. AVI needs FFmpeg's libraries (vqavi.so)."},
    {.job = "frames", .words = "IN.(flm|flc|gif|avi) OUTDIR",
     .help = "loads IN into the film and writes every frame as OUTDIR/f0001.png, f0002.png, ..."},
};

} // namespace

VQ_COMMAND("film", "film strips: build one from images, export it as FLC, GIF, MNG or AVI, or take its frames apart "
                   "(docs/film.md)",
           "", run_film, kFilmForms);
