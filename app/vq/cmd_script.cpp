// vq script: runs a script program headless.
#include "app/vq/command.h"
#include "app/vq/save_options.h"
#include "core/image.h"
#include "core/settings.h"
#include "core/undo.h"
#include "formats/load_save.h"
#include "script/script.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

// Why FILE (or FILE.gxs) cannot be read as a program, or "" when it can.
std::string unreadable(const std::string& file)
{
    std::string why;
    for (const std::string& name : {file, file + ".gxs"}) {
        struct stat st {};
        errno = 0;
        if (stat(name.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
            errno = EISDIR;
        else if (FILE* f = std::fopen(name.c_str(), "rb")) {
            std::fclose(f);
            return "";
        }
        if (why.empty())
            why = std::strerror(errno);  // the reason for the name as given
    }
    return why;
}

int run_script(vq::Args& args)
{
    std::string file, image_in, image_out;
    std::vector<std::string> program_args;
    vq::SaveOptions save;
    bool options_end = false;
    while (!args.done()) {
        if (!options_end) {
            int taken = vq::take_save_option("script", args, save);
            if (taken == vq::EXIT_USAGE)
                return taken;
            if (taken == 1)
                continue;
        }
        std::string a = args.next();
        if (!options_end && a == "--") {
            options_end = true;
            continue;
        }
        if (!options_end && (a == "--image" || a == "-o")) {
            if (args.done())
                return vq::usage_error("script", a + " needs a file name");
            (a == "-o" ? image_out : image_in) = args.next();
            continue;
        }
        if (file.empty())
            file = a;
        else
            program_args.push_back(a);
    }
    if (file.empty())
        return vq::usage_error("script", "no script file named");
    if (!image_out.empty() && image_in.empty())
        return vq::usage_error("script", "-o needs --image: it names where the changed image goes");
    if (!image_out.empty() && save.type < 0 && vq::save_type_for_name(image_out) < 0)
        return vq::usage_error("script", "cannot tell the file type of \"" + image_out + "\"; name it with --type");

    // The interpreter would only say "Failed to open"; the system's reason
    // tells a missing file from a folder or one that may not be read.
    if (std::string why = unreadable(file); !why.empty()) {
        std::fprintf(stderr, "vq script: Failed to open %s: %s\n", file.c_str(), why.c_str());
        return vq::EXIT_FAILED;
    }

    if (!image_out.empty())
        if (int r = vq::refuse_overwrite("script", image_out, {image_in, file}); r != vq::EXIT_DONE)
            return r;

    // As vq apply: the whole image unless the script selects, no undo.
    vq::HeadlessRun headless;

    // The image the image commands work on, as the active image of the
    // workstation would be.
    Image* image = nullptr;
    if (!image_in.empty()) {
        image = vq::load_input(image_in);
        if (!image)
            return vq::EXIT_FAILED;  // the load dispatch has said why
        image_set_role(ImageRole::Target, image);
        script_set_image(image);
    }

    std::vector<const char*> argv;
    argv.push_back("vq");
    argv.push_back(file.c_str());
    for (const std::string& a : program_args)
        argv.push_back(a.c_str());
    int status = script_run(static_cast<int>(argv.size()), argv.data());
    script_set_image(nullptr);
    int exit = vq::EXIT_DONE;
    if (status != 0) {
        const std::string& why = script_last_error();
        std::fprintf(stderr, "vq script: %s: %s\n", file.c_str(),
                     why.empty() ? "the script could not be run" : why.c_str());
        exit = vq::EXIT_FAILED;
        if (image && !image_out.empty())
            std::fprintf(stderr, "vq script: %s not written\n", image_out.c_str());
    } else if (image && !image_out.empty()) {
        SaveSettingsScope keep;  // the save options stay with this command
        exit = vq::apply_save_options("script", save, image_out, image);
        if (exit == vq::EXIT_DONE && save_image(image, image_out.c_str()) != 0)
            exit = vq::EXIT_FAILED;
    }
    if (image)
        image_free(image);
    return exit;
}

const vq::Option kScriptOptions[] = {
    {"--image", "IN", "load the image the image commands work on (any format the load dispatch reads)"},
    {"-o", "OUT", "save that image after a run that ended well, with the type of OUT's extension"},
};
const vq::Form kScriptForms[] = {
    {.job = nullptr, .words = "FILE.gxs [ARGS...]", .options = kScriptOptions, .save_options = true},
};

} // namespace

VQ_COMMAND("script", "run a script program (on an image); its output lines go to stdout",
           "Runs a script program headless (docs/script-language.md). Each line of its console output (the "
           "\"Script Output\" boxes of the workstation) is one line on stdout; LIST and TRON/TROFF write to "
           "stderr; INPUT reads stdin. FILE is tried again with \".gxs\" appended. The words after FILE reach "
           "the program as COMMAND$ (all of them, joined by blanks), ARGC and ARGV$(1..ARGC) (ARGV$(0) is "
           "FILE); put \"--\" before them when one begins with a dash.\n"
           "Exit status 0 after END, STOP or the last line; 1 after an error that no ON ERROR handler caught, "
           "or a break (Ctrl-C).",
           run_script, kScriptForms);
