// vq info: what the load dispatch makes of each file.
#include "app/vq/command.h"
#include "core/image.h"
#include "formats/codecs.h"
#include "formats/load_save.h"
#include "layers/layer_manage.h"

#include <cstdio>
#include <cstring>
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

struct Texts {
    std::string author, copyright, annotation;
};

void take_texts(const Image* image, Texts& t)
{
    t.author.assign(image->author, strnlen(image->author, sizeof image->author));
    t.copyright.assign(image->copyright, strnlen(image->copyright, sizeof image->copyright));
    t.annotation = image->annotation ? image->annotation : "";
}

// The header readers do not read texts: a file of a format that can carry
// an author, copyright or annotation is read whole for them.
void read_texts(char* name, int code, Texts& t)
{
    if (code != FMT_PNG && code != FMT_JPG && code != FMT_TIFF && code != FMT_ELF)
        return;
    if (Image* image = LoadImageFile(name)) {
        take_texts(image, t);
        layers_close(image);
    }
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
            return vq::usage_error("info", "no option " + word);
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
        Texts texts;
        int failed = 0;
        if (diagnostics) {
            // The palette statistics need the pixels: a whole load.
            if (Image* image = LoadImageFile(name)) {
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
                take_texts(image, texts);
                layers_close(image);  // a layered file brings its stack along
            } else {
                failed = 1;
            }
        } else {
            failed = ImageFileInfo(name, &info);
            if (!failed)
                read_texts(name, info.code, texts);
        }
        if (failed) {
            status = vq::EXIT_FAILED;
            continue;
        }
        // Codes without a type name (the layered file, say) show their codec's title.
        const char* title = codec_title_for_code(info.code);
        std::string tag = info.type_name[0] ? info.type_name : title ? title : "code " + std::to_string(info.code);
        const ImageInfo& i = info.image;
        std::printf("%s: %s %ld x %ld, %d bits, alpha %s, %s x %s dpi", name, tag.c_str(), i.width, i.height, i.bits,
                    i.alpha ? "yes" : "no", dpi(i.hres).c_str(), dpi(i.vres).c_str());
        if (i.frames > 0)
            std::printf(", frame %ld of %ld", i.frame, i.frames);
        std::printf("\n");
        if (!texts.author.empty())
            std::printf("  Author: %s\n", texts.author.c_str());
        if (!texts.copyright.empty())
            std::printf("  Copyright: %s\n", texts.copyright.c_str());
        if (!texts.annotation.empty())
            std::printf("  Annotation: %s\n", texts.annotation.c_str());
    }
    return status;
}

} // namespace

VQ_COMMAND("info", "vq info [--diag] FILE...",
           "Identifies each file as the load dispatch does and tells what it is: format, width x height,\n"
           "bits per pixel of the file, whether its alpha channel carries content, resolution in dots per\n"
           "inch, and for animation files the frame read; then the author, copyright and annotation the\n"
           "file carries, one line each.  Formats with a header reader (BMP, PNG, JPEG, TIFF, PPM,\n"
           "layered files) are not decoded for the first line; PNG, JPEG, TIFF and layered files are read\n"
           "whole for their texts.  --diag loads the pixels and writes the BMP\n"
           "palette-usage statistics to the log (with --log).  Exit status 1 when any file could not be read.",
           run_info);
