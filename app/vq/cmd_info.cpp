// vq info: what the load dispatch makes of each file.
#include "app/vq/command.h"
#include "app/vq/save_options.h"
#include "core/image.h"
#include "formats/codecs.h"
#include "formats/load_save.h"
#include "layers/layer_manage.h"

#include <cstdio>
#include <string>

namespace {

std::string dpi(double value)
{
    char text[32];
    if (value == static_cast<double>(static_cast<long>(value)))
        std::snprintf(text, sizeof text, "%ld", static_cast<long>(value));
    else
        std::snprintf(text, sizeof text, "%.2f", value);
    return text;
}

int run_info(vq::Args& args)
{
    bool diagnostics = false, attributes = false;
    std::vector<std::string> files;
    while (!args.done()) {
        int taken = vq::take_raw_option("info", args);
        if (taken == vq::EXIT_USAGE)
            return taken;
        if (taken == 1)
            continue;
        std::string word = args.next();
        if (word == "--diag")
            diagnostics = true;
        else if (word == "--attributes")
            attributes = true;
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
        if (file.size() >= sizeof name) {
            load_image(file.c_str());  // tells why
            status = vq::EXIT_FAILED;
            continue;
        }
        std::snprintf(name, sizeof name, "%s", file.c_str());
        FileInfo info;
        int failed = 0;
        Image* loaded = nullptr;
        if (diagnostics || attributes) {
            // The palette statistics and the attributes need a whole load.
            if (Image* image = loaded = LoadImageFile(name)) {
                ImageInfo& i = info.image;
                i.width = image->width;
                i.height = image->height;
                i.bits = image->bits;
                i.alpha = image->alpha != 0;
                i.hres = image->hres_den ? static_cast<double>(image->hres_num) / image->hres_den : 0;
                i.vres = image->vres_den ? static_cast<double>(image->vres_num) / image->vres_den : 0;
                i.frames = image->frame_count > 0 ? image->frame_count : 0;
                i.frame = image->frame_number;
                info.code = image->file_format;
                std::snprintf(info.type_name, sizeof info.type_name, "%s", image->format);
            } else {
                failed = 1;
            }
        } else {
            failed = ImageFileInfo(name, &info);
        }
        if (failed) {
            status = vq::EXIT_FAILED;
            continue;
        }
        // Codes without a type name (the layered file, say) show their codec's title.
        // Files without a code of their own (I-RAW) go by the codec that read them.
        const char* title = info.codec ? info.codec : codec_title_for_code(info.code);
        std::string tag = info.type_name[0] ? info.type_name : title ? title : "code " + std::to_string(info.code);
        const ImageInfo& i = info.image;
        std::printf("%s: %s %ld x %ld, %d bits, alpha %s, %s x %s dpi", name, tag.c_str(), i.width, i.height, i.bits,
                    i.alpha ? "yes" : "no", dpi(i.hres).c_str(), dpi(i.vres).c_str());
        if (i.frames > 0)
            std::printf(", frame %ld of %ld", i.frame, i.frames);
        std::printf("\n");
        // The descriptive attributes, when the file carries them (a whole load).
        if (loaded) {
            if (loaded->author[0])
                std::printf("  Author: %.*s\n", static_cast<int>(sizeof loaded->author), loaded->author);
            if (loaded->copyright[0])
                std::printf("  Copyright: %.*s\n", static_cast<int>(sizeof loaded->copyright), loaded->copyright);
            if (loaded->annotation && loaded->annotation[0])
                std::printf("  Annotation: %s\n", loaded->annotation);
            layers_close(loaded);  // a layered file brings its stack along
        }
    }
    return status;
}

const vq::Option kInfoOptions[] = {
    {"--attributes", nullptr, "load the file and add the author, copyright and annotation it carries, one line each"},
    {"--diag", nullptr, "load the pixels too and write the BMP palette-usage statistics to the log (with --log)"},
    vq::kRawOption,
};
const vq::Form kInfoForms[] = {{.job = nullptr, .words = "FILE...", .options = kInfoOptions}};

} // namespace

VQ_COMMAND("info", "what the load dispatch makes of each image file: format, size, bits, alpha, resolution",
           "Identifies each file as the load dispatch does and tells what it is: format, width x height, bits per "
           "pixel of the file, whether its alpha channel carries content, resolution in dots per inch, and for "
           "animation files the frame read. Formats with a header reader (BMP, PNG, JPEG, TIFF, PPM, I-RAW, "
           "raw and 4-bit pictures, layered files) are not decoded; a raw file needs --raw. Exit status 1 when "
           "any file could not be read.",
           run_info, kInfoForms);
