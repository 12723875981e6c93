// vq particles: a particle system drawn into a new image, one frame or many.
#include "app/vq/command.h"
#include "app/vq/save_options.h"
#include "core/image.h"
#include "core/messages.h"
#include "formats/load_save.h"
#include "particles/particles.h"
#include "timeline/sequence.h"
#include "timeline/sequence_output.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

namespace {

// Where OUT holds a number pattern ("%d", "%04d", "%ld"): its position and
// length, its width and zero fill.  False when OUT holds a "%" that is not
// one such pattern (or "%%"), or more than one pattern.
struct Pattern {
    bool found = false;
    size_t at = 0, length = 0;
    int width = 0;
    bool zeros = false;
};

bool find_pattern(const std::string& out, Pattern& p)
{
    for (size_t i = 0; i < out.size(); ++i) {
        if (out[i] != '%')
            continue;
        size_t j = i + 1;
        if (j < out.size() && out[j] == '%') {
            i = j;
            continue;
        }
        Pattern q;
        q.at = i;
        if (j < out.size() && out[j] == '0') {
            q.zeros = true;
            ++j;
        }
        while (j < out.size() && out[j] >= '0' && out[j] <= '9' && q.width < 100)
            q.width = q.width * 10 + (out[j++] - '0');
        if (j < out.size() && out[j] == 'l')
            ++j;
        if (j >= out.size() || out[j] != 'd' || p.found || q.width > 20)
            return false;
        q.found = true;
        q.length = j + 1 - i;
        p = q;
        i = j;
    }
    return true;
}

// OUT for frame f: the pattern in OUT takes the number, else "_%04ld" goes
// before the extension.
std::string frame_name(const std::string& out, long frame)
{
    Pattern p;
    find_pattern(out, p);
    char number[64];
    if (p.found) {
        std::snprintf(number, sizeof number, p.zeros ? "%0*ld" : "%*ld", p.width, frame);
        std::string name;
        for (size_t i = 0; i < out.size(); ++i) {
            if (i == p.at) {
                name += number;
                i += p.length - 1;
            } else if (out[i] == '%' && i + 1 < out.size() && out[i + 1] == '%') {
                name += '%';
                ++i;
            } else {
                name += out[i];
            }
        }
        return name;
    }
    size_t dot = out.rfind('.');
    size_t slash = out.rfind('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        dot = out.size();
    std::snprintf(number, sizeof number, "_%04ld", frame);
    return out.substr(0, dot) + number + out.substr(dot);
}

// A new image of the background colour with the system drawn at `frame`;
// null when it could not be made or drawn (the reason was given).
Image* frame_image(const std::string& psy, long w, long h, const uint8_t* background, long frame)
{
    Image* image = image_new(w, h, "iHrgba");
    if (!image) {
        message_show(msg::NoMemoryNewImage);
        return nullptr;
    }
    if (image_lock(image) == 0) {
        for (int y = 0; y < image->height; ++y)
            for (uint32_t x = 0; x < image->width; ++x)
                std::memcpy(image->pixel(static_cast<int>(x), y), background, 4);
        image->alpha = background[3] != 255;
    }
    image_unlock(image);
    int code = particles_render(image, psy.c_str(), frame);
    if (code != 0) {
        if (code == 2)
            std::fprintf(stderr, "vq particles: cancelled at frame %ld\n", frame);
        image_free(image);
        return nullptr;
    }
    return image;
}

int draw_frame(const std::string& psy, long w, long h, const uint8_t* background, long frame, const std::string& out,
               const vq::SaveOptions& save)
{
    Image* image = frame_image(psy, w, h, background, frame);
    if (!image)
        return vq::EXIT_FAILED;
    int status = vq::apply_save_options("particles", save, out, image);
    if (status == vq::EXIT_DONE && save_image(image, out.c_str()) != 0)
        status = vq::EXIT_FAILED;
    image_free(image);
    return status;
}

// The animation or film file OUT names without a number pattern (.gif,
// .mng, .flc, .avi, .flm); false for anything else.
bool animation_output(const std::string& out, SequenceOutput& output)
{
    std::string error;
    return sequence_output_for_name(out, output, error) && output.kind != SequenceOutputKind::Numbered &&
           output.kind != SequenceOutputKind::None;
}

// Frames `first` on into one looping animation, `delay` hundredths of a
// second apart, through the writers sequence generation uses.  A run that
// stops early keeps the frames drawn so far, as a generation does.
int draw_animation(const std::string& psy, long w, long h, const uint8_t* background, long first, long frames,
                   int delay, SequenceOutput output)
{
    output.delay = delay;
    output.loop = true;
    std::unique_ptr<SequenceWriter> writer = sequence_writer(output, frames);
    if (!writer)
        return vq::EXIT_FAILED;
    long i = 0;
    for (; i < frames; ++i) {
        Image* image = frame_image(psy, w, h, background, first + i);
        int code = image ? writer->frame(image, i, first + i) : 1;
        if (image)
            image_free(image);
        if (code != 0)
            break;
    }
    const bool complete = i == frames;
    if (writer->finish(complete) != 0 || !complete)
        return vq::EXIT_FAILED;
    std::printf("%s\n", writer->written().c_str());
    return vq::EXIT_DONE;
}

int run_particles(vq::Args& args)
{
    std::string psy, out;
    vq::SaveOptions save;
    long w = 0, h = 0, frame = -1, frames = 0, delay = 4;
    uint8_t background[4] = {0, 0, 0, 255};
    while (!args.done()) {
        int taken = vq::take_save_option("particles", args, save);
        if (taken == vq::EXIT_USAGE)
            return taken;
        if (taken == 1)
            continue;
        std::string a = args.next();
        auto value = [&]() { return args.done() ? std::string() : args.next(); };
        if (a == "--size") {
            if (!vq::parse_size(value(), w, h) || w < 1 || h < 1 || w > 32768 || h > 32768)
                return vq::usage_error("particles", "--size needs WIDTHxHEIGHT (1 to 32768 each)");
        } else if (a == "--frame") {
            if (!vq::parse_long(value(), frame) || frame < 0 || frame > 1000000)
                return vq::usage_error("particles", "--frame needs a frame number 0 to 1000000");
        } else if (a == "--frames") {
            if (!vq::parse_long(value(), frames) || frames < 1 || frames > 100000)
                return vq::usage_error("particles", "--frames needs a count 1 to 100000");
        } else if (a == "--delay") {
            if (!vq::parse_long(value(), delay) || delay < 0 || delay > 65535)
                return vq::usage_error("particles", "--delay needs hundredths of a second, 0 to 65535");
        } else if (a == "--background") {
            if (!vq::parse_colour(value(), background))
                return vq::usage_error("particles", "--background needs R,G,B[,A] from 0 to 255");
        } else if (a == "-o" || a == "--output") {
            out = value();
            if (out.empty())
                return vq::usage_error("particles", "-o needs a file name");
        } else if (!a.empty() && a[0] == '-') {
            return vq::usage_error("particles", "unknown option " + a);
        } else if (psy.empty()) {
            psy = a;
        } else {
            return vq::usage_error("particles", "one particle-system file only");
        }
    }
    if (psy.empty())
        return vq::usage_error("particles", "no particle-system file");
    if (w == 0)
        return vq::usage_error("particles", "--size WxH is needed");
    if (out.empty())
        return vq::usage_error("particles", "-o OUT is needed");
    Pattern pattern;
    if (!find_pattern(out, pattern))
        return vq::usage_error("particles", "OUT may hold one number pattern (%d, %04d, %ld) and no other %");
    SequenceOutput animation;
    const bool animated = frames > 0 && !pattern.found && save.type < 0 && animation_output(out, animation);
    if (!animated && vq::save_type_for_name(frame_name(out, 0)) < 0 && save.type < 0)
        return vq::usage_error("particles", "the type of " + out + " is not known: give --type or an extension");

    if (int r = vq::refuse_overwrite("particles", out, {psy}); r != vq::EXIT_DONE)
        return r;

    long first = frame >= 0 ? frame : 0;
    if (frames == 0) {
        std::string name = pattern.found ? frame_name(out, first) : out;
        return draw_frame(psy, w, h, background, first, name, save);
    }
    if (animated)
        return draw_animation(psy, w, h, background, first, frames, static_cast<int>(delay), animation);
    // Frame after frame, each into its numbered file; the system is kept
    // between them and advanced one frame at a time.
    for (long f = first; f < first + frames; ++f) {
        std::string name = frame_name(out, f);
        int status = draw_frame(psy, w, h, background, f, name, save);
        if (status != vq::EXIT_DONE)
            return status;
        std::printf("%s\n", name.c_str());
    }
    return vq::EXIT_DONE;
}

const vq::Option kParticlesOptions[] = {
    {"--size", "WxH", "the size of the new image", vq::OPT_REQUIRED},
    {"-o", "OUT", "where the picture goes; the type comes from OUT's extension unless --type names it",
     vq::OPT_REQUIRED},
    {"--output", "OUT", "-o", vq::OPT_HIDDEN},
    {"--frame", "F", "the frame to draw, from 0 (default 0); with --frames, the first frame"},
    {"--frames", "N", "N frames, F to F+N-1, into numbered files: a %d pattern in OUT (out%04d.png), else "
                      "NAME_0000.EXT; each name is printed. OUT ending in .gif, .mng, .flc or .avi without a pattern: "
                      "one looping animation of the N frames; .flm: a film file"},
    {"--delay", "D", "hundredths of a second between the frames of an animation (default 4)"},
    {"--background", "R,G,B[,A]", "the colour of the new image the particles are drawn over (default 0,0,0,255)"},
};
const vq::Form kParticlesForms[] = {
    {.job = nullptr, .words = "FILE.PSY", .options = kParticlesOptions, .save_options = true},
};

} // namespace

VQ_COMMAND("particles", "draw a particle system into new images: one frame, numbered frames, an animation or a film",
           "Draws the particle system of FILE.PSY (docs/particles.md) into a new image of the given size and "
           "writes it to OUT. The same file, size and frame always give the same picture.",
           run_particles, kParticlesForms);
