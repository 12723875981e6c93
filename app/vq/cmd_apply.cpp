// vq apply: one or more operations of the catalogue on an image file,
// through the same entry point the workstation's menus use.
#include "app/vq/command.h"
#include "app/vq/save_options.h"
#include "areas/area.h"
#include "areas/area_file.h"
#include "core/image.h"
#include "core/settings.h"
#include "core/undo.h"
#include "formats/load_save.h"
#include "ops/catalogue.h"
#include "ops/framework.h"
#include "ops/op_settings.h"
#include "ops/op_values.h"
#include "ops/tone/tone.h"
#include "plugins/plugins.h"

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace {

struct Step {
    std::string operation;
    std::vector<std::string> values;
};

struct ApplyJob {
    std::string in, out;
    std::vector<Step> steps;
    std::vector<std::string> settings_files;  // read before the values are set
    std::string save_settings;
    std::string source, brush;
    long alpha_mode = -1;  // -1: the preference "ModAlpha"
    long with_alpha = -1;  // -1: the preference "WithAlpha"
    vq::SaveOptions save;
    // Work an option does on the loaded image before the first operation
    // (an area selection, say); nonzero stops the job.
    std::vector<std::function<int(Image*)>> before;
};

// The options of `vq apply` besides the save options.  Each takes its
// value (when it has one) into the job.
struct ApplyOption {
    const char* name;
    const char* value;  // what the value is, null for a switch
    int (*take)(ApplyJob& job, const std::string& value);
};

int take_switch(const char* name, const std::string& v, long& into)
{
    long n = 0;
    if (!vq::parse_long(v, n) || n < 0 || n > (std::string(name) == "--alpha-mode" ? 2 : 1))
        return vq::usage_error("apply", std::string(name) + " takes " +
                                            (std::string(name) == "--alpha-mode" ? "0, 1 or 2" : "0 or 1"));
    into = n;
    return vq::EXIT_DONE;
}

// What each option of kApplyOptions (below) does.
const ApplyOption kOptions[] = {
    {"--settings", "FILE.VQS",
     [](ApplyJob& j, const std::string& v) {
         j.settings_files.push_back(v);
         return 0;
     }},
    {"--save-settings", "FILE.VQS",
     [](ApplyJob& j, const std::string& v) {
         j.save_settings = v;
         return 0;
     }},
    {"--source", "IMG",
     [](ApplyJob& j, const std::string& v) {
         j.source = v;
         return 0;
     }},
    {"--brush", "IMG",
     [](ApplyJob& j, const std::string& v) {
         j.brush = v;
         return 0;
     }},
    {"--area", "FILE.ASF",
     [](ApplyJob& j, const std::string& v) {
         // The area is selected once the image is loaded, so that a colour
         // wand or key reads it; without one the whole image is worked on.
         j.before.push_back([v](Image*) {
             area_settings_reset();
             return area_load(v.c_str());
         });
         return 0;
     }},
    {"--alpha-mode", "0/1/2", [](ApplyJob& j, const std::string& v) { return take_switch("--alpha-mode", v, j.alpha_mode); }},
    {"--with-alpha", "0/1", [](ApplyJob& j, const std::string& v) { return take_switch("--with-alpha", v, j.with_alpha); }},
};

const ApplyOption* find_option(const std::string& word)
{
    for (const ApplyOption& o : kOptions)
        if (word == o.name)
            return &o;
    return nullptr;
}

int parse(vq::Args& args, ApplyJob& job)
{
    std::vector<std::string> positional;
    Step* step = nullptr;
    while (!args.done()) {
        int taken = vq::take_save_option("apply", args, job.save);
        if (taken == vq::EXIT_USAGE)
            return taken;
        if (taken == 1)
            continue;
        std::string word = args.next();
        if (word == "--then") {
            if (job.steps.empty())
                return vq::usage_error("apply", "--then follows a first operation");
            if (args.done())
                return vq::usage_error("apply", "--then needs an operation");
            job.steps.push_back({args.next(), {}});
            step = &job.steps.back();
            continue;
        }
        if (word.size() > 2 && word[0] == '-' && word[1] == '-') {
            const ApplyOption* o = find_option(word);
            if (!o)
                return vq::unknown_option("apply", word);
            std::string value;
            if (o->value) {
                if (args.done())
                    return vq::usage_error("apply", word + " needs " + o->value);
                value = args.next();
            }
            if (int r = o->take(job, value); r != 0)
                return r;
            continue;
        }
        if (step) {
            step->values.push_back(word);
        } else if (positional.size() < 2) {
            positional.push_back(word);
        } else {
            job.steps.push_back({word, {}});
            step = &job.steps.back();
        }
    }
    if (positional.size() < 2 || job.steps.empty())
        return vq::usage_error("apply", "needs an input file, an output file and an operation");
    job.in = positional[0];
    job.out = positional[1];
    return vq::EXIT_DONE;
}

// The alpha preferences a run changes go back as they were before they are
// written (vq::HeadlessRun keeps the others).
struct RunSettings {
    long mod_alpha = settings().mod_alpha, with_alpha = settings().with_alpha;
    ~RunSettings()
    {
        settings().mod_alpha = mod_alpha;
        settings().with_alpha = with_alpha;
    }
};

Image* load_role(const std::string& path, ImageRole role)
{
    Image* img = vq::load_input(path);
    if (img)
        image_set_role(role, img);
    return img;
}

void print_histogram()
{
    const HistogramCounts& h = histogram_counts();
    static const char* const names[4] = {"red", "green", "blue", "alpha"};
    std::printf("Histogram of %llu pixels\n", static_cast<unsigned long long>(h.pixels));
    for (int c = 0; c < 4; ++c) {
        int lo = -1, hi = -1;
        unsigned long long sum = 0;
        for (int v = 0; v < 256; ++v) {
            if (!h.counts[c][v])
                continue;
            if (lo < 0)
                lo = v;
            hi = v;
            sum += static_cast<unsigned long long>(h.counts[c][v]) * static_cast<unsigned long long>(v);
        }
        double mean = h.pixels ? static_cast<double>(sum) / static_cast<double>(h.pixels) : 0.0;
        std::printf("  %-5s min %3d  max %3d  mean %.2f\n", names[c], lo < 0 ? 0 : lo, hi < 0 ? 0 : hi, mean);
    }
}

int run_apply(vq::Args& args)
{
    ApplyJob job;
    if (int r = parse(args, job); r != vq::EXIT_DONE)
        return r;

    // Every operation and value is checked before any file is read.
    std::vector<OpDescriptor*> ops;
    for (const Step& s : job.steps) {
        OpDescriptor* d = op_find(s.operation);
        if (!d)
            return vq::usage_error("apply", "no operation \"" + s.operation + "\" (vq ops lists them)");
        if (!d->available)
            return vq::failure(std::string("\"") + d->name + "\" cannot be applied yet: " + d->unavailable);
        ops.push_back(d);
    }
    for (const std::string& f : job.settings_files) {
        int32_t held = 0;
        if (load_op_settings(f.c_str(), &held) != 0)
            return vq::EXIT_FAILED;
        // A settings file of another operation would change nothing here.
        bool used = false;
        for (const OpDescriptor* d : ops)
            used = used || d->command == held;
        if (!used) {
            const OpDescriptor* other = held ? op_by_command(held) : nullptr;
            return vq::failure(f + ": " +
                               (other ? "holds the settings of \"" + std::string(other->name) + "\"" :
                                        std::string("holds no operation's settings")) +
                               ", not of \"" + ops.front()->name + "\"" + (ops.size() > 1 ? " or the operations after it" : ""));
        }
    }
    for (size_t i = 0; i < ops.size(); ++i) {
        // The plug-in a Plugin step names starts from its stored parameters.
        if (ops[i]->command == opcmd::Plugin)
            for (const std::string& v : job.steps[i].values)
                if (v.rfind("name=", 0) == 0)
                    if (PluginEntry* e = plugin_find(v.c_str() + 5); e && plugin_select(e) != 0)
                        return vq::EXIT_FAILED;
        std::string error;
        if (!op_set_values(*ops[i], job.steps[i].values, error))
            return vq::usage_error("apply", error);
    }
    if (job.save.type < 0 && vq::save_type_for_name(job.out) < 0)
        return vq::usage_error("apply", "cannot tell the file type of \"" + job.out + "\"; name it with --type");

    if (int r = vq::refuse_overwrite("apply", job.out, {job.in, job.source, job.brush}); r != vq::EXIT_DONE)
        return r;
    if (!job.save_settings.empty()) {
        if (job.save_settings == job.out)
            return vq::usage_error("apply", "--save-settings and the output both name \"" + job.out +
                                                "\": name the settings file another way (*.VQS)");
        if (int r = vq::refuse_overwrite("apply", job.save_settings, {job.in, job.out, job.source, job.brush});
            r != vq::EXIT_DONE)
            return r;
    }

    // The operations' stored values (the Ray Trace scene, the Color Fill
    // colour, the current operation) are the user's: a run keeps them only
    // when --save-settings asks, and never after a failure.
    struct KeepStored {
        Settings before = settings();
        bool keep = false;
        ~KeepStored()
        {
            if (!keep)
                settings() = before;
        }
    } stored;
    RunSettings keep;
    vq::HeadlessRun headless;
    Settings& s = settings();
    if (job.alpha_mode >= 0)
        s.mod_alpha = job.alpha_mode;
    if (job.with_alpha >= 0)
        s.with_alpha = job.with_alpha;

    Image* image = vq::load_input(job.in);
    if (!image)
        return vq::EXIT_FAILED;
    if (!job.source.empty() && !load_role(job.source, ImageRole::Source))
        return vq::EXIT_FAILED;
    if (!job.brush.empty() && !load_role(job.brush, ImageRole::Brush))
        return vq::EXIT_FAILED;
    image_set_role(ImageRole::Target, image);
    for (auto& before : job.before)
        if (before(image) != 0)
            return vq::EXIT_FAILED;

    for (OpDescriptor* d : ops) {
        set_current_operation(d->command);
        if (perform_operation(image, 0) != 0)
            return vq::EXIT_FAILED;  // the system's message is on stderr
        if (d->command == opcmd::Histogram && tone_params().hist_measure)
            print_histogram();
    }
    if (!job.save_settings.empty() && save_op_settings(job.save_settings.c_str(), ops.back()->command) != 0)
        return vq::EXIT_FAILED;
    SaveSettingsScope keep_save;  // the save options stay with this command
    int status = vq::apply_save_options("apply", job.save, job.out, image);
    if (status == vq::EXIT_DONE)
        status = vq::save_output("apply", image, job.out);
    stored.keep = status == vq::EXIT_DONE && !job.save_settings.empty();
    return status;
}

const vq::Option kApplyOptions[] = {
    {"--then", "OPERATION [VALUE...]", "apply a further operation to the result", vq::OPT_REPEAT},
    {"--area", "FILE.ASF", "work inside the area of an area file (docs/areas.md): weights between 0 and 255 on "
                           "its edges blend the result with the image"},
    {"--settings", "FILE.VQS", "read an operation settings file first; values given on the command line win",
     vq::OPT_REPEAT},
    {"--save-settings", "FILE.VQS", "write the last operation's settings to FILE.VQS after applying it, and keep "
                                    "them as the operation's stored values (without it a run leaves the stored "
                                    "values as they were)"},
    {"--alpha-mode", "0/1/2", "0 colour, 1 alpha channel, 2 alpha when the view shows it (the preference "
                              "\"ModAlpha\"; headless there is no view: colour)"},
    {"--with-alpha", "0/1", "1: the image's alpha weighs the selection (the preference \"WithAlpha\")"},
    {"--source", "IMG", "the source image of operations that use one (else IN itself)"},
    {"--brush", "IMG", "the brush image likewise"},
};
const vq::Form kApplyForms[] = {
    {.job = nullptr, .words = "IN OUT OPERATION [VALUE... | KEY=VALUE...]", .options = kApplyOptions,
     .save_options = true},
};

} // namespace

VQ_COMMAND("apply", "apply operations of the catalogue to an image file",
           "Loads IN, applies the operation to the whole image (or inside an area) and saves the result as "
           "OUT. OPERATION is a display name (case ignored, quoted when it has blanks), a script command or a "
           "number (vq ops lists them). Values set its parameters in order, or by key as KEY=VALUE; a palette is "
           "KEY=R,G,B/R,G,B/..., a colour KEY=R,G,B or KEY=#RRGGBB. A value outside the parameter's typed range is refused with its range.\n"
           "An operation that refuses (\"The settings for this operation will produce no change.\") or fails "
           "ends the run with status 1 and OUT is not written. OUT is never one of the input files. Histogram "
           "with measure=1 prints the channels' minimum, maximum and mean.",
           run_apply, kApplyForms);
