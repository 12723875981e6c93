// vq info: what the load dispatch makes of each file.
#include "app/vq/command.h"
#include "core/image.h"
#include "formats/codecs.h"
#include "formats/load_save.h"
#include "layers/layer_manage.h"

#include <cstdio>
#include <string>

namespace {

std::string dpi(int32_t num, int32_t den)
{
    char text[32];
    if (den == 1)
        std::snprintf(text, sizeof text, "%d", num);
    else
        std::snprintf(text, sizeof text, "%.2f", den ? static_cast<double>(num) / den : 0.0);
    return text;
}

int run_info(vq::Args& args)
{
    bool diagnostics = false;
    std::vector<std::string> files;
    while (!args.done()) {
        std::string word = args.next();
        if (word == "--diag")
            diagnostics = true;
        else if (word.size() > 1 && word[0] == '-' && word[1] == '-')
            return vq::unknown_option("info", word);
        else
            files.push_back(word);
    }
    if (files.empty())
        return vq::usage_error("info", "names no file");
    formats_state().diagnostics = diagnostics;
    int status = vq::EXIT_DONE;
    for (const std::string& file : files) {
        // The dispatch may find the file in the project or image folder instead.
        char name[kImagePathMax];
        std::snprintf(name, sizeof name, "%s", file.c_str());
        Image* image = file.size() < sizeof name ? LoadImageFile(name) : load_image(file.c_str());
        if (!image) {
            status = vq::EXIT_FAILED;
            continue;
        }
        // Codes without a type name (the layered file, say) show their codec's title.
        const char* title = codec_title_for_code(image->file_format);
        std::string tag = image->format[0] ? image->format
                          : title           ? title
                                            : "code " + std::to_string(image->file_format);
        std::printf("%s: %s %u x %d, %u bits, alpha %s, %s x %s dpi", name, tag.c_str(), image->width,
                    image->height, image->bits, image->alpha ? "yes" : "no",
                    dpi(image->hres_num, image->hres_den).c_str(), dpi(image->vres_num, image->vres_den).c_str());
        if (image->frame_count > 0)
            std::printf(", frame %d of %d", image->frame_number, image->frame_count);
        std::printf("\n");
        layers_close(image);  // a layered file brings its stack along
    }
    return status;
}

const vq::Option kInfoOptions[] = {
    {"--diag", nullptr, "write the BMP palette-usage statistics to the log (with --log)"},
};
const vq::Form kInfoForms[] = {{.job = nullptr, .words = "FILE...", .options = kInfoOptions}};

} // namespace

VQ_COMMAND("info", "what the load dispatch makes of each image file: format, size, bits, alpha, resolution",
           "Loads each file through the load dispatch and tells what it is: format, width x height, bits per "
           "pixel of the file, whether its alpha channel carries content, resolution in dots per inch, and for "
           "animation files the frame read. Exit status 1 when any file could not be read.",
           run_info, kInfoForms);
