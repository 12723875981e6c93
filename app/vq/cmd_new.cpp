// vq new: a new image as the system makes it, saved.
#include "app/vq/command.h"
#include "app/vq/save_options.h"
#include "core/image.h"
#include "formats/load_save.h"

#include <string>

namespace {

int run_new(vq::Args& args)
{
    std::vector<std::string> words;
    vq::SaveOptions options;
    uint8_t rgba[4] = {0, 0, 0, 255};
    while (!args.done()) {
        int taken = vq::take_save_option("new", args, options);
        if (taken == vq::EXIT_USAGE)
            return taken;
        if (taken == 1)
            continue;
        std::string word = args.next();
        if (word == "--color" || word == "--colour") {
            if (args.done() || !vq::parse_colour(args.next(), rgba))
                return vq::usage_error("new", "--color takes R,G,B or R,G,B,A, each 0 to 255");
        } else if (word.size() > 1 && word[0] == '-' && word[1] == '-') {
            return vq::unknown_option("new", word);
        } else {
            words.push_back(word);
        }
    }
    long width = 0, height = 0;
    if (words.size() != 2)
        return vq::usage_error("new", "needs a size WxH and an output file");
    size_t x = words[0].find_first_of("xX");
    if (x == std::string::npos || !vq::parse_long(words[0].substr(0, x), width) ||
        !vq::parse_long(words[0].substr(x + 1), height))
        return vq::usage_error("new", "the size must be WIDTHxHEIGHT, for example 640x480, not \"" + words[0] + "\"");
    if (width < 1 || height < 1 || width > 40000 || height > 40000)
        return vq::usage_error("new", "the width and height must each be 1 to 40000, not " + words[0]);

    Image* image = image_new(width, height, "NEW");
    if (!image || image_lock(image) != 0) {
        if (image)
            image_free(image);
        return vq::failure("not enough memory for a " + words[0] + " image");
    }
    image_next_new_name(image->name, sizeof image->name);
    for (long y = 0; y < height; ++y) {
        uint8_t* p = image->row(static_cast<int>(y));
        for (long x = 0; x < width; ++x, p += 4)
            std::copy(rgba, rgba + 4, p);
    }
    image->alpha = rgba[3] < 255 ? 1 : 0;
    image->changes = 1;
    image_unlock(image);

    SaveSettingsScope keep;
    int status = vq::apply_save_options("new", options, words[1], image);
    if (status == vq::EXIT_DONE)
        status = vq::save_output("new", image, words[1]);
    image_free(image);
    return status;
}

const vq::Option kNewOptions[] = {
    {"--color", "R,G,B[,A]", "the colour, each 0 to 255 (default opaque black); an alpha below 255 makes an "
                             "image with alpha, saved at 32 bits where the type can"},
    {"--colour", "R,G,B[,A]", "", vq::OPT_HIDDEN},
};
const vq::Form kNewForms[] = {{.job = nullptr, .words = "WxH OUT", .options = kNewOptions, .save_options = true}};

} // namespace

VQ_COMMAND("new", "a new image of one colour, saved",
           "Makes a new image of WIDTH x HEIGHT pixels (1 to 40000 each) filled with one colour and saves it as "
           "OUT.",
           run_new, kNewForms);
