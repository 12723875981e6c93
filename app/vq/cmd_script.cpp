// vq script: runs a script program headless.
#include "app/vq/command.h"
#include "script/script.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

int run_script(vq::Args& args)
{
    std::string file, image_in, image_out;
    std::vector<std::string> program_args;
    bool options_end = false;
    while (!args.done()) {
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
    if (!image_in.empty())
        return vq::failure("script: --image needs the image file formats, which this version does not have yet");

    std::vector<const char*> argv;
    argv.push_back("vq");
    argv.push_back(file.c_str());
    for (const std::string& a : program_args)
        argv.push_back(a.c_str());
    int status = script_run(static_cast<int>(argv.size()), argv.data());
    if (status == 0)
        return vq::EXIT_DONE;
    const std::string& why = script_last_error();
    std::fprintf(stderr, "vq script: %s: %s\n", file.c_str(),
                 why.empty() ? "the script could not be run" : why.c_str());
    return vq::EXIT_FAILED;
}

} // namespace

VQ_COMMAND("script", "vq script FILE.gxs [--image IN] [-o OUT] [ARGS...]",
           "Runs a script program headless.  Each line of its console output (the \"Script Output\"\n"
           "boxes of the workstation) is one line on stdout; LIST and TRON/TROFF write to stderr;\n"
           "INPUT reads stdin.  FILE is tried again with \".gxs\" appended.  The words after FILE\n"
           "reach the program as COMMAND$ (all of them, joined by blanks), ARGC and ARGV$(1..ARGC)\n"
           "(ARGV$(0) is FILE); put \"--\" before words that begin with a dash.\n"
           "--image IN names the image the image commands work on, and -o OUT where it is saved\n"
           "afterwards.  Exit status 0 after END, STOP or the last line; 1 after an error that\n"
           "no ON ERROR handler caught, or a break (Ctrl-C).",
           run_script);
