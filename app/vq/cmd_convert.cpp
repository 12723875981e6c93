// vq convert: load through the dispatch, save through the save entry.
#include "app/vq/command.h"
#include "app/vq/save_options.h"
#include "core/image.h"
#include "formats/load_save.h"
#include "formats/raw.h"
#include "layers/layer_manage.h"

#include <string>

namespace {

int run_convert(vq::Args& args)
{
    std::vector<std::string> files;
    vq::SaveOptions options;
    long frame = 0;
    while (!args.done()) {
        int taken = vq::take_save_option("convert", args, options);
        if (taken == 0)
            taken = vq::take_raw_option("convert", args);
        if (taken == vq::EXIT_USAGE)
            return taken;
        if (taken == 1)
            continue;
        std::string word = args.next();
        if (word == "--frame") {
            if (args.done() || !vq::parse_long(args.next(), frame) || frame < 1)
                return vq::usage_error("convert", "--frame needs a frame number from 1");
            continue;
        }
        if (word.size() > 1 && word[0] == '-' && word[1] == '-')
            return vq::unknown_option("convert", word);
        files.push_back(word);
    }
    if (files.size() != 2)
        return vq::usage_error("convert", "needs an input and an output file");
    // The type must be known before the input is read.
    if (options.type < 0 && vq::save_type_for_name(files[1]) < 0)
        return vq::usage_error("convert", "cannot tell the file type of \"" + files[1] + "\"; name it with --type");
    if (int r = vq::refuse_overwrite("convert", files[1], {files[0]}); r != vq::EXIT_DONE)
        return r;
    formats_set_read_frame(frame);
    Image* image = vq::load_input(files[0]);
    if (!image)
        return vq::EXIT_FAILED;
    SaveSettingsScope keep;
    int status = vq::apply_save_options("convert", options, files[1], image);
    if (status == vq::EXIT_DONE)
        status = vq::save_output("convert", image, files[1]);
    layers_close(image);  // a layered file brings its stack along
    return status;
}

const vq::Option kConvertOptions[] = {
    vq::kRawOption,
    {"--frame", "N", "read frame N of an animation (FLC, GIF; 1 the first, beyond the last the last) instead of "
                     "the first"},
};
const vq::Form kConvertForms[] = {{.job = nullptr, .words = "IN OUT", .options = kConvertOptions, .save_options = true}};

} // namespace

VQ_COMMAND("convert", "load any image file the system reads, save it in another type or depth",
           "Loads IN through the load dispatch (any format it reads) and saves it as OUT through the save "
           "entry. The type comes from OUT's extension unless --type names it; OUT is given the type's "
           "extension when it lacks it. The depth is 32 bits for an image with alpha, else 24, unless --depth "
           "names it; 8, 4 and 1 bits go through the colour reduction. A layered file is flattened. OUT is "
           "never IN.",
           run_convert, kConvertForms);
