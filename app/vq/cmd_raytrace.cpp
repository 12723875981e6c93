// vq raytrace: a ray-trace run into a new image.
#include "app/vq/command.h"
#include "app/vq/save_options.h"
#include "core/image.h"
#include "core/messages.h"
#include "expr/expr.h"
#include "formats/load_save.h"
#include "raytrace/raytrace.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

// OUT for frame f of a sequence: a printf pattern in OUT takes the number,
// else "_%03ld" goes before the extension.
std::string frame_name(const std::string& out, long frame)
{
    char buf[4096];
    if (out.find('%') != std::string::npos) {
        std::snprintf(buf, sizeof buf, out.c_str(), frame);
        return buf;
    }
    size_t dot = out.rfind('.');
    size_t slash = out.rfind('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        dot = out.size();
    std::snprintf(buf, sizeof buf, "%s_%03ld%s", out.substr(0, dot).c_str(), frame, out.substr(dot).c_str());
    return buf;
}

int render_one(const std::string& scene, long w, long h, int aa, const uint8_t* background, const std::string& out,
               const vq::SaveOptions& save)
{
    Image* image = image_new(w, h, "iHrgba");
    if (!image) {
        message_show(msg::NoMemoryNewImage);
        return vq::EXIT_FAILED;
    }
    if (background && image_lock(image) == 0) {
        for (int y = 0; y < image->height; ++y)
            for (uint32_t x = 0; x < image->width; ++x)
                std::memcpy(image->pixel(static_cast<int>(x), y), background, 4);
        image->alpha = background[3] != 255;
        image_unlock(image);
    }
    int code = raytrace_image(image, scene.c_str(), aa);
    int status = vq::EXIT_DONE;
    if (code == 2) {
        std::fprintf(stderr, "vq raytrace: cancelled; %ld of %ld rows rendered\n", raytrace_state().last_rows_done,
                     h);
        status = vq::EXIT_FAILED;
    } else if (code != 0) {
        status = vq::EXIT_FAILED;
    }
    // A cancelled picture is still written: the rows done are kept.
    if (code != 1) {
        int saving = vq::apply_save_options("raytrace", save, out, image);
        if (saving != vq::EXIT_DONE)
            status = saving;
        else if (save_image(image, out.c_str()) != 0)
            status = vq::EXIT_FAILED;
    }
    image_free(image);
    return status;
}

int run_raytrace(vq::Args& args)
{
    std::string scene, out, source_file;
    vq::SaveOptions save;
    long w = 0, h = 0, aa = 0, frame = -1, frames = 0, threads = 0;
    bool have_background = false;
    uint8_t background[4] = {0, 0, 0, 255};
    while (!args.done()) {
        int taken = vq::take_save_option("raytrace", args, save);
        if (taken == vq::EXIT_USAGE)
            return taken;
        if (taken == 1)
            continue;
        std::string a = args.next();
        auto value = [&](const char* what) -> std::string {
            if (args.done())
                return std::string();
            (void)what;
            return args.next();
        };
        if (a == "--size") {
            if (!vq::parse_size(value("--size"), w, h) || w < 1 || h < 1 || w > 32768 || h > 32768)
                return vq::usage_error("raytrace", "--size needs WIDTHxHEIGHT (1 to 32768 each)");
        } else if (a == "--aa") {
            if (!vq::parse_long(value("--aa"), aa) || aa < 0 || aa > kRaytraceMaxAA)
                return vq::usage_error("raytrace", "--aa needs a level 0 to 4");
        } else if (a == "--frame") {
            if (!vq::parse_long(value("--frame"), frame) || frame < 0)
                return vq::usage_error("raytrace", "--frame needs a frame number from 0");
        } else if (a == "--frames") {
            if (!vq::parse_long(value("--frames"), frames) || frames < 1 || frames > 100000)
                return vq::usage_error("raytrace", "--frames needs a count of at least 1");
        } else if (a == "--threads") {
            if (!vq::parse_long(value("--threads"), threads) || threads < 0 || threads > 64)
                return vq::usage_error("raytrace", "--threads needs a count (0 = one per core)");
        } else if (a == "--background") {
            if (!vq::parse_colour(value("--background"), background))
                return vq::usage_error("raytrace", "--background needs R,G,B[,A] from 0 to 255");
            have_background = true;
        } else if (a == "--source") {
            source_file = value("--source");
            if (source_file.empty())
                return vq::usage_error("raytrace", "--source needs an image file");
        } else if (a == "-o" || a == "--output") {
            out = value("-o");
            if (out.empty())
                return vq::usage_error("raytrace", "-o needs a file name");
        } else if (!a.empty() && a[0] == '-') {
            return vq::unknown_option("raytrace", a);
        } else if (scene.empty()) {
            scene = a;
        } else {
            return vq::usage_error("raytrace", "one scene file only");
        }
    }
    if (scene.empty())
        return vq::usage_error("raytrace", "no scene file");
    if (w == 0)
        return vq::usage_error("raytrace", "--size WxH is needed");
    if (out.empty())
        return vq::usage_error("raytrace", "-o OUT is needed");
    if (frame >= 0 && frames == 0)
        return vq::usage_error("raytrace", "--frame needs --frames");
    if (frames > 0 && frame >= frames)
        return vq::usage_error("raytrace", "--frame must be below --frames");

    if (vq::save_type_for_name(out) < 0 && save.type < 0)
        return vq::usage_error("raytrace", "the type of " + out + " is not known: give --type or an extension");
    if (int r = vq::refuse_overwrite("raytrace", out, {scene, source_file}); r != vq::EXIT_DONE)
        return r;
    raytrace_state().threads = static_cast<int>(threads);
    if (!source_file.empty()) {
        // The image maps named "source" show it.
        Image* source = vq::load_input(source_file);
        if (!source)
            return vq::EXIT_FAILED;
        image_set_role(ImageRole::Source, source);
    }
    const uint8_t* bg = have_background ? background : nullptr;
    ExprSequence& seq = expr_sequence();
    if (frames == 0 || frame >= 0) {
        seq.frames = frames > 0 ? frames : 1;
        seq.frame = frame >= 0 ? frame : 0;
        return render_one(scene, w, h, static_cast<int>(aa), bg, out, save);
    }
    // Every frame of the sequence, into numbered files.
    seq.frames = frames;
    for (long f = 0; f < frames; ++f) {
        seq.frame = f;
        std::string name = frame_name(out, f);
        int status = render_one(scene, w, h, static_cast<int>(aa), bg, name, save);
        if (status != vq::EXIT_DONE)
            return status;
        std::printf("%s\n", name.c_str());
    }
    return vq::EXIT_DONE;
}

const vq::Option kRaytraceOptions[] = {
    {"--size", "WxH", "the size of the new image, 1 to 32768 each", vq::OPT_REQUIRED},
    {"-o", "OUT", "the image to write; the type comes from its extension unless --type names it",
     vq::OPT_REQUIRED},
    {"--aa", "L", "anti-aliasing level 0 to 4: (L+1)^2 rays a pixel (default 0)"},
    {"--frame", "F", "the frame of the sequence to render, from 0 (needs --frames)"},
    {"--frames", "N", "the number of frames; without --frame every frame is rendered into OUT numbered: a %d "
                      "pattern in OUT, else NAME_000.EXT"},
    {"--background", "R,G,B[,A]", "the colour of the new image the scene is traced over (default 0,0,0,255)"},
    {"--threads", "N", "threads that trace (default 0: one per core); the picture is the same"},
    {"--source", "IMG", "the image that maps named \"source\" show"},
    {"--output", "OUT", "", vq::OPT_HIDDEN},
};
const vq::Form kRaytraceForms[] = {
    {.job = nullptr, .words = "SCENE.w3d", .options = kRaytraceOptions, .save_options = true},
};

} // namespace

VQ_COMMAND("raytrace", "ray-trace a scene file into a new image",
           "Renders a scene file (docs/scene-language.md) into a new image of the given size and writes it to "
           "OUT. Rays that hit nothing leave the background as it was. Ctrl-C cancels and keeps the rows done. "
           "A file that is not a scene is refused.",
           run_raytrace, kRaytraceForms);
