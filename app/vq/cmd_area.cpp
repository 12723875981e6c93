// vq area: an area file (or a shape in a box) rendered as its selection mask,
// a grey image, so that a selection can be looked at.
#include "app/vq/command.h"
#include "app/vq/save_options.h"
#include "areas/area.h"
#include "areas/area_file.h"
#include "areas/area_mask.h"
#include "core/image.h"
#include "formats/load_save.h"

#include <cstdio>
#include <sstream>
#include <string>

namespace {

bool parse_box(const std::string& text, long box[4])
{
    std::stringstream in(text);
    std::string part;
    int n = 0;
    while (std::getline(in, part, ',')) {
        if (n == 4 || !vq::parse_long(part, box[n]))
            return false;
        ++n;
    }
    return n == 4;
}

// The mask as a grey, opaque image.
Image* mask_image(long width, long height)
{
    Image* grey = codec_new_image(width, height, "MASK");
    if (!grey)
        return nullptr;
    uint8_t* mask = mask_lock();
    if (!mask || image_lock(grey) != 0) {
        mask_unlock();
        image_free(grey);
        return nullptr;
    }
    for (long y = 0; y < height; ++y) {
        uint8_t* p = grey->row(static_cast<int>(y));
        const uint8_t* m = mask + y * width;
        for (long x = 0; x < width; ++x, p += 4) {
            p[0] = p[1] = p[2] = m[x];
            p[3] = 255;
        }
    }
    image_unlock(grey);
    mask_unlock();
    grey->changes = 1;
    return grey;
}

int run_area(vq::Args& args)
{
    std::string area_file, shape_file, image_file, out, save_area;
    long width = 0, height = 0, box[4] = {0, 0, 0, 0};
    bool have_box = false, with_alpha = false;
    int key_space = -1;
    vq::SaveOptions options;
    while (!args.done()) {
        int taken = vq::take_save_option("area", args, options);
        if (taken == vq::EXIT_USAGE)
            return taken;
        if (taken == 1)
            continue;
        std::string word = args.next();
        auto value = [&](const char* what) -> std::string {
            if (args.done()) {
                vq::usage_error("area", word + " needs " + what);
                return {};
            }
            return args.next();
        };
        if (word == "--size") {
            std::string v = value("WIDTHxHEIGHT");
            if (!vq::parse_size(v, width, height) || width > 40000 || height > 40000)
                return vq::usage_error("area", "--size takes WIDTHxHEIGHT, each 1 to 40000");
        } else if (word == "--image") {
            if ((image_file = value("an image file")).empty())
                return vq::EXIT_USAGE;
        } else if (word == "-o" || word == "--output") {
            if ((out = value("the mask file to write")).empty())
                return vq::EXIT_USAGE;
        } else if (word == "--shape") {
            if ((shape_file = value("a shape file")).empty())
                return vq::EXIT_USAGE;
        } else if (word == "--box") {
            if (!parse_box(value("L,T,R,B"), box))
                return vq::usage_error("area", "--box takes LEFT,TOP,RIGHT,BOTTOM");
            have_box = true;
        } else if (word == "--key-space") {
            std::string v = value("rgb or hsl");
            if (v != "rgb" && v != "hsl")
                return vq::usage_error("area", "--key-space takes rgb or hsl");
            key_space = v == "hsl" ? 1 : 0;
        } else if (word == "--with-alpha") {
            with_alpha = true;
        } else if (word == "--save-area") {
            if ((save_area = value("an area file to write")).empty())
                return vq::EXIT_USAGE;
        } else if (word.size() > 1 && word[0] == '-') {
            return vq::unknown_option("area", word);
        } else if (area_file.empty()) {
            area_file = word;
        } else {
            return vq::usage_error("area", "takes one area file");
        }
    }
    if (area_file.empty() == shape_file.empty())
        return vq::usage_error("area", "needs an area file, or --shape FILE.ISH with --box");
    if (!shape_file.empty() && !have_box)
        return vq::usage_error("area", "--shape needs the --box to draw the shape in");
    if (out.empty() && save_area.empty())
        return vq::usage_error("area", "needs -o MASK (or --save-area FILE.ASF)");
    if (!out.empty() && options.type < 0 && vq::save_type_for_name(out) < 0)
        return vq::usage_error("area", "cannot tell the file type of \"" + out + "\"; name it with --type");

    if (int r = vq::refuse_overwrite("area", out, {area_file, shape_file, image_file}); r != vq::EXIT_DONE)
        return r;
    if (int r = vq::refuse_overwrite("area", save_area, {area_file, shape_file, image_file}); r != vq::EXIT_DONE)
        return r;

    // The area: from its file, or the shape drawn in the box.
    area_settings_reset();
    if (!shape_file.empty()) {
        if (shape_load(shape_file.c_str()) != 0)
            return vq::EXIT_FAILED;
        area_shape_into_box(box);
        if (width > 0) {
            area_settings().src_width = width;
            area_settings().src_height = height;
        }
        if (area_select() != 0)
            return vq::EXIT_FAILED;
    } else if (area_load(area_file.c_str()) != 0) {
        return vq::EXIT_FAILED;
    }
    if (key_space >= 0) {
        area_settings().key_space = key_space ? KeySpace::HSL : KeySpace::RGB;
        if (area_select() != 0)
            return vq::EXIT_FAILED;
    }
    if (!save_area.empty() && area_save(save_area.c_str()) != 0)
        return vq::EXIT_FAILED;
    if (out.empty())
        return vq::EXIT_DONE;

    // The target: the image, or a blank one of the size asked for (or the
    // size the area was made on).
    Image* target = nullptr;
    if (!image_file.empty()) {
        target = vq::load_input(image_file);
        if (!target)
            return vq::EXIT_FAILED;
        if (width > 0 && (width != static_cast<long>(target->width) || height != target->height)) {
            image_free(target);
            return vq::usage_error("area", "--size differs from the size of " + image_file);
        }
    } else {
        if (width <= 0) {
            width = area_settings().src_width;
            height = area_settings().src_height;
        }
        if (width <= 0 || height <= 0 || width > 40000 || height > 40000) {
            return vq::usage_error("area", "the area file gives no size: name one with --size or --image");
        }
        target = codec_new_image(width, height, "AREA");
        if (!target)
            return vq::failure("not enough memory for a " + std::to_string(width) + "x" + std::to_string(height) +
                               " image");
    }
    int status = vq::EXIT_DONE;
    if (build_area_mask(target, with_alpha) != 0) {
        status = vq::EXIT_FAILED;
    } else {
        const AreaRect& r = area_mask().rect;
        double selected = 0;
        if (const uint8_t* m = mask_lock()) {
            for (long i = 0, n = static_cast<long>(target->width) * target->height; i < n; ++i)
                selected += m[i];
            mask_unlock();
        }
        Image* grey = mask_image(target->width, target->height);
        if (!grey) {
            status = vq::failure("not enough memory for the mask image");
        } else {
            SaveSettingsScope keep;  // the save options stay with this command
            status = vq::apply_save_options("area", options, out, grey);
            if (status == vq::EXIT_DONE && save_image(grey, out.c_str()) != 0)
                status = vq::EXIT_FAILED;
            // Said only once the mask is written.
            if (status == vq::EXIT_DONE)
                std::printf("%s: %ldx%ld, rectangle %d,%d - %d,%d, %.1f pixels selected\n",
                            area_mode_name(area_settings().mode), static_cast<long>(target->width),
                            static_cast<long>(target->height), r.x0, r.y0, r.x1, r.y1, selected / 255);
            image_free(grey);
        }
    }
    image_free(target);
    return status;
}

const vq::Option kAreaOptions[] = {
    {"-o", "MASK", "the mask image to write; its type comes from the extension"},
    {"--size", "WxH", "the mask's size; an area made on another size is scaled to it (default: the image's size, "
                      "else the Size line of the area file)"},
    {"--image", "IMG", "build on this image: the colour wand (FLOOD) and colour key (KEY) read its pixels"},
    {"--with-alpha", nullptr, "the image's alpha channel multiplies the mask"},
    {"--key-space", "rgb|hsl", "hsl: the wand and key compare hue, saturation and lightness"},
    {"--shape", "FILE.ISH", "instead of an area file: the shape of a shape file, drawn in the --box"},
    {"--box", "L,T,R,B", "the box the --shape is drawn in (a box given right to left or bottom to top mirrors it)"},
    {"--save-area", "OUT.ASF", "write the area as an area file (with or without -o)"},
    {"--output", "MASK", "", vq::OPT_HIDDEN},
};
const vq::Form kAreaForms[] = {
    {.job = nullptr, .words = "FILE.ASF", .options = kAreaOptions, .save_options = true},
};

} // namespace

VQ_COMMAND("area", "an area selection rendered as its mask, a grey image",
           "Builds the selection mask of an area file (or of a shape in a box: vq area --shape FILE.ISH --box "
           "L,T,R,B --size WxH -o MASK) and writes it as a grey image: white is selected, black is not, greys "
           "are partly selected (anti-aliased and feathered edges, transparency). It also prints the area's "
           "mode, size, rectangle and how many pixels it selects.",
           run_area, kAreaForms);
