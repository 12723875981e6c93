// vq layers: build layered files from images, list them, add effect layers.
#include "app/vq/command.h"
#include "app/vq/save_options.h"
#include "core/image.h"
#include "core/list.h"
#include "formats/load_save.h"
#include "layers/blend_modes.h"
#include "layers/composite.h"
#include "layers/elf.h"
#include "layers/layer_manage.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <strings.h>
#include <string>
#include <vector>

namespace {

struct FlagName {
    const char* name;
    uint32_t bit;
};
const FlagName kFlags[] = {{"visible", LAYER_VISIBLE},     {"localstack", LAYER_LOCALSTACK},
                           {"globalmask", LAYER_GLOBALMASK}, {"lockstep", LAYER_LOCKSTEP},
                           {"warp", LAYER_WARP}};

std::string flags_text(uint32_t flags)
{
    std::string out;
    for (const FlagName& f : kFlags)
        if (flags & f.bit) {
            out += out.empty() ? "" : ",";
            out += f.name;
            flags &= ~f.bit;
        }
    for (int bit = 0; bit < 32; ++bit)
        if (flags & (1u << bit)) {
            out += out.empty() ? "" : ",";
            out += "bit" + std::to_string(bit);
        }
    return out.empty() ? "-" : out;
}

bool parse_flags(const std::string& text, uint32_t& flags)
{
    long number = 0;
    if (vq::parse_long(text, number))
        return number >= 0 && number <= 255 ? (flags = static_cast<uint32_t>(number), true) : false;
    flags = 0;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(',', start);
        std::string word = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        bool known = false;
        for (const FlagName& f : kFlags)
            if (word == f.name) {
                flags |= f.bit;
                known = true;
            }
        if (!known && !word.empty() && word != "none")
            return false;
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    return true;
}

bool parse_mode(const std::string& text, int& mode)
{
    long code = 0;
    if (vq::parse_long(text, code)) {
        if (!blend_mode_by_code(static_cast<int>(code)))
            return false;
        mode = static_cast<int>(code);
        return true;
    }
    const BlendMode* m = blend_mode_by_name(text.c_str());
    if (!m)
        return false;
    mode = m->code;
    return true;
}

bool parse_coding(vq::Args& args, int& coding, std::string& error)
{
    long c = 0;
    if (args.done() || !vq::parse_long(args.next(), c) || c < 0 || c > 3) {
        error = "--coding takes 0, 1, 2 or 3";
        return false;
    }
    coding = static_cast<int>(c);
    return true;
}

// The name of a file without its folder and extension.
std::string stem(const std::string& path)
{
    std::string base = path.substr(path.find_last_of('/') + 1);
    size_t dot = base.rfind('.');
    return dot == std::string::npos || dot == 0 ? base : base.substr(0, dot);
}

// Layered files are named "*.elf", so that a layered file never lands on a
// picture by a slip of argument order.
bool elf_name(const std::string& out)
{
    return out.size() > 4 && strcasecmp(out.c_str() + out.size() - 4, ".elf") == 0;
}

int save(const std::string& out, Image* master, int coding)
{
    int result = coding < 0 ? elf_save(out.c_str(), master, 1) : elf_save_coded(out.c_str(), master, coding);
    if (result != 0)
        return vq::failure("could not write " + out + ": " + elf_last_error());
    return vq::EXIT_DONE;
}

// A layer setting "key=value" after --layer; false with `error` set.
bool apply_setting(Image* layer, const std::string& word, std::string& error)
{
    size_t eq = word.find('=');
    if (eq == std::string::npos) {
        error = "\"" + word + "\" is not a layer setting (key=value)";
        return false;
    }
    std::string key = word.substr(0, eq), value = word.substr(eq + 1);
    long n = 0;
    if (key == "mode") {
        int mode = 0;
        if (!parse_mode(value, mode)) {
            error = "no blend mode \"" + value + "\" (docs/blend-modes.md lists the names; codes are 0 to 92)";
            return false;
        }
        layer->layer_mode = mode;
    } else if (key == "opacity") {
        if (!vq::parse_long(value, n) || n < 0 || n > 100) {
            error = "opacity takes 0 to 100";
            return false;
        }
        layer->layer_opacity = static_cast<int32_t>(n);
    } else if (key == "factor") {
        if (!vq::parse_long(value, n) || n < 0 || n > 30000) {
            error = "factor takes 0 to 30000";
            return false;
        }
        layer->layer_factor = static_cast<int32_t>(n);
    } else if (key == "x" || key == "y") {
        if (!vq::parse_long(value, n) || n < -1000000 || n > 1000000) {
            error = key + " takes a whole number of pixels";
            return false;
        }
        (key == "x" ? layer->layer_x : layer->layer_y) = static_cast<int32_t>(n);
    } else if (key == "flags") {
        uint32_t flags = 0;
        if (!parse_flags(value, flags)) {
            error = "flags takes visible,localstack,globalmask,lockstep,warp or a number 0 to 255";
            return false;
        }
        layer->layer_flags = flags;
    } else if (key == "name") {
        std::snprintf(layer->name, sizeof layer->name, "%s", value.c_str());
    } else {
        error = "no layer setting \"" + key + "\"";
        return false;
    }
    return true;
}

int run_build(vq::Args& args)
{
    if (args.words.size() < 2)
        return vq::usage_error("layers", "build needs OUT.elf and BASE");
    std::string out = args.next(), base_file = args.next();
    if (!elf_name(out))
        return vq::usage_error("layers", "build writes a layered file: \"" + out +
                                             "\" does not end in \".elf\" (vq layers build OUT.elf BASE ...)");
    int coding = -1;
    std::string error;
    // Check the whole command line before any file is read.
    struct Pending {
        std::string file;
        std::vector<std::string> settings;
    };
    std::vector<Pending> pending;
    while (!args.done()) {
        std::string word = args.next();
        if (word == "--coding") {
            if (!parse_coding(args, coding, error))
                return vq::usage_error("layers", error);
        } else if (word == "--layer") {
            if (args.done())
                return vq::usage_error("layers", "--layer needs an image");
            pending.push_back({args.next(), {}});
        } else if (!pending.empty() && word.find('=') != std::string::npos) {
            // Tried on a blank record first, so that a wrong setting stops
            // the command before any file is read.
            Image probe{};
            if (!apply_setting(&probe, word, error))
                return vq::usage_error("layers", pending.back().file + ": " + error);
            pending.back().settings.push_back(word);
        } else {
            return vq::usage_error("layers", "unexpected \"" + word + "\"");
        }
    }
    std::vector<std::string> inputs{base_file};
    for (const Pending& p : pending)
        inputs.push_back(p.file);
    if (int r = vq::refuse_overwrite("layers", out, inputs); r != vq::EXIT_DONE)
        return r;
    Image* master = vq::load_input(base_file);
    if (!master)
        return vq::EXIT_FAILED;
    if (layer_make_master(master) != 0)
        return vq::EXIT_FAILED;
    std::snprintf(static_cast<Image*>(master->layer_list->head->element)->name, 256, "%s", stem(base_file).c_str());
    std::snprintf(master->name, sizeof master->name, "%s", stem(out).c_str());
    for (const Pending& p : pending) {
        Image* layer = vq::load_input(p.file);
        if (!layer)
            return vq::EXIT_FAILED;
        if (layer_attach(master, layer) != 0)
            return vq::EXIT_FAILED;
        std::snprintf(layer->name, sizeof layer->name, "%s", stem(p.file).c_str());
        for (const std::string& s : p.settings)
            if (!apply_setting(layer, s, error))
                return vq::usage_error("layers", p.file + ": " + error);
        if (layer->layer_mode == MODE_WARP)
            layer->layer_flags |= LAYER_WARP;
    }
    if (composite_layers(master) != 0)
        return vq::EXIT_FAILED;
    return save(out, master, coding);
}

int run_list(vq::Args& args)
{
    if (args.words.size() != 1)
        return vq::usage_error("layers", "list takes one layered file");
    std::string file = args.next();
    Image* master = elf_load(file.c_str());
    if (!master)
        return vq::EXIT_FAILED;
    int count = list_count(master->layer_list);
    std::printf("%s: master \"%s\" %ux%d, %d layer%s%s\n", file.c_str(), master->name, master->width,
                master->height, count, count == 1 ? "" : "s",
                master->has_layers ? "" : " (the stack could not be read to its end)");
    if (count > 0)
        std::printf("%3s  %-24s %-11s %-13s %-34s %7s %6s  %s\n", "#", "name", "size", "offset", "mode", "opacity",
                    "factor", "flags");
    int index = 0;
    for (ListNode* n = master->layer_list->head; n; n = n->ln_succ) {
        auto* l = static_cast<Image*>(n->element);
        char size[32], offset[32], mode[64];
        std::snprintf(size, sizeof size, "%ux%d", l->width, l->height);
        std::snprintf(offset, sizeof offset, "%d,%d", l->layer_x, l->layer_y);
        std::snprintf(mode, sizeof mode, "%s (%d)", blend_mode_name(l->layer_mode), l->layer_mode);
        std::printf("%3d  %-24s %-11s %-13s %-34s %7d %6d  %s\n", ++index, l->name, size, offset, mode,
                    l->layer_opacity, l->layer_factor, flags_text(l->layer_flags).c_str());
    }
    return master->has_layers ? vq::EXIT_DONE : vq::EXIT_FAILED;
}

int run_effect(vq::Args& args)
{
    if (args.words.size() < 3)
        return vq::usage_error("layers", "effect needs FILE.elf, a layer and shadow, glow or emboss");
    std::string file = args.next(), which = args.next(), effect = args.next();
    std::string out = file, error;
    int coding = -1;
    while (!args.done()) {
        std::string word = args.next();
        if (word == "-o" && !args.done())
            out = args.next();
        else if (word == "--coding") {
            if (!parse_coding(args, coding, error))
                return vq::usage_error("layers", error);
        } else
            return vq::usage_error("layers", "unexpected \"" + word + "\"");
    }
    if (effect != "shadow" && effect != "glow" && effect != "emboss")
        return vq::usage_error("layers", "the effects are shadow, glow and emboss");
    if (out != file && !elf_name(out))
        return vq::usage_error("layers", "-o names a layered file: \"" + out + "\" does not end in \".elf\"");
    Image* master = elf_load(file.c_str());
    if (!master)
        return vq::EXIT_FAILED;
    if (!master->has_layers)
        return vq::failure(file + ": the stack is incomplete; it is not written again");
    Image* layer = nullptr;
    long number = 0;
    bool by_number = vq::parse_long(which, number);
    int index = 0;
    for (ListNode* n = master->layer_list->head; n && !layer; n = n->ln_succ) {
        auto* l = static_cast<Image*>(n->element);
        ++index;
        if (by_number ? index == number : which == l->name)
            layer = l;
    }
    if (!layer)
        return vq::failure(file + " has no layer \"" + which + "\"");
    Image* made = effect == "shadow" ? layer_shadow(layer, shadow_parms())
                  : effect == "glow" ? layer_glow(layer, glow_parms())
                                     : layer_emboss(layer, emboss_parms());
    if (!made)
        return vq::EXIT_FAILED;
    return save(out, master, coding);
}

int run_layers(vq::Args& args)
{
    if (args.done())
        return vq::usage_error("layers", "build, list or effect?");
    std::string what = args.next();
    vq::Args rest;
    rest.words.assign(args.words.begin() + static_cast<long>(args.pos), args.words.end());
    if (what == "build")
        return run_build(rest);
    if (what == "list")
        return run_list(rest);
    if (what == "effect")
        return run_effect(rest);
    return vq::usage_error("layers", "no layers job \"" + what + "\" (build, list or effect)");
}

const vq::Option kBuildOptions[] = {
    {"--layer", "IMG [mode=NAME|CODE] [opacity=N] [factor=N] [x=N] [y=N] [flags=LIST] [name=TEXT]",
     "put IMG on top of the stack with the settings that follow it:\n"
     "mode=NAME|CODE: a blend mode by name (\"Hard Light\", hard-light) or code 0 to 92 (default Normal; "
     "docs/blend-modes.md lists them)\n"
     "opacity=0..100 (default 100); factor=0..30000 (default 100, used by some modes)\n"
     "x=N y=N: the offset in the master (default 0 0)\n"
     "flags=LIST: visible,localstack,globalmask,lockstep (or a number 0..255; default visible); a warp mode "
     "adds the warp flag itself\n"
     "name=TEXT: the layer's name (default the file's name)",
     vq::OPT_REPEAT},
    {"--coding", "0|1|2|3", "the pixel coding: 0 raw, 1 run-length, 2 deflate, 3 TRIM (the default; 1 when the "
                            "preference \"High Compression ELF\" is off)"},
};
const vq::Option kEffectOptions[] = {
    {"-o", "OUT.elf", "write the result there instead of writing FILE.elf again"},
    {"--coding", "0|1|2|3", "the pixel coding, as for build"},
};
const vq::Form kLayersForms[] = {
    {.job = "build", .words = "OUT.elf BASE", .options = kBuildOptions,
     .help = "makes a layered file: BASE becomes the master's size and its base layer, each --layer goes on "
             "top of the stack. OUT must end in \".elf\" and is never one of the input files."},
    {.job = "list", .words = "FILE.elf",
     .help = "one line per layer, deepest first: name, size, offset, mode, opacity, factor, flags."},
    {.job = "effect", .words = "FILE.elf LAYER shadow|glow|emboss", .options = kEffectOptions,
     .help = "adds a Shadow, Glow or Emboss layer made from layer LAYER (its number in the list, or its name) "
             "with the settings SHADPARMS, GLOWPARMS, EMBOSSPARMS, and writes FILE.elf again (or OUT.elf)."},
};

} // namespace

VQ_COMMAND("layers", "build, list and add effect layers to layered files (*.elf)",
           "The composite of a layered file is what vq convert FILE.elf OUT.png writes.", run_layers,
           kLayersForms);
