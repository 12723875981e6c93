// vq: the jobs of the workstation, headless, from a shell.
#include "app/vq/command.h"
#include "core/app.h"
#include "core/parallel.h"
#include "core/messages.h"
#include "core/progress.h"
#include "core/safe_write.h"
#include "ops/ops.h"
#include "ui/headless/headless_platform.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

const char* const kVersion = "Glimmerix:V/q 7.50 (vq)";

void print_help()
{
    std::printf("vq - Glimmerix:V/q from the shell\n\n");
    std::printf("usage: vq [common options] COMMAND [arguments]\n\n");
    std::printf("Commands:\n");
    for (const vq::Command& c : vq::commands())
        std::printf("  %s\n", c.synopsis);
    std::printf("\nCommon options (before or after the command):\n");
    std::printf("  --home DIR   folder of the settings files (default $GLIMVQ_HOME,\n");
    std::printf("               else $XDG_CONFIG_HOME/glimvq, else ~/.config/glimvq)\n");
    std::printf("  --log        keep the log VQLOG.txt in the current folder\n");
    std::printf("  --yes, --no  answers to the system's questions (default: proceed)\n");
    std::printf("  --quiet      no progress display and no notes\n");
    std::printf("  --screen WxH the screen size window positions are kept on (1024x768)\n");
    std::printf("  --threads N  threads an operation may use (0 = one per core; default: the\n");
    std::printf("               preference \"Threads\"); the result is the same for any count\n");
    std::printf("  --help       this text; vq help COMMAND tells more of one command\n");
    std::printf("  --version    the version\n\n");
    std::printf("Exit status: 0 done, 1 failed or refused (the message is on stderr), 2 usage error.\n");
}

int help_command(vq::Args& args)
{
    if (args.done()) {
        print_help();
        return vq::EXIT_DONE;
    }
    std::string name = args.next();
    const vq::Command* c = vq::find_command(name);
    if (!c)
        return vq::usage_error("help", "no command \"" + name + "\"");
    std::printf("usage: %s\n\n%s\n", c->synopsis, c->help);
    return vq::EXIT_DONE;
}

VQ_COMMAND("help", "vq help [COMMAND]", "Lists the commands, or tells how to use one.", help_command);

} // namespace

int main(int argc, char** argv)
{
    AppOptions options;
    ui::HeadlessPlatform& plat = ui::headless();
    std::string command;
    vq::Args args;
    bool options_end = false;
    int threads = -1;  // --threads; -1: the preference

    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (!options_end) {
            if (a == "--") {
                options_end = true;
                continue;
            }
            if (a == "--help" || a == "-h") {
                if (command.empty()) {
                    print_help();
                    return vq::EXIT_DONE;
                }
                args.words.insert(args.words.begin(), command);
                command = "help";
                continue;
            }
            if (a == "--version") {
                std::printf("%s\n", kVersion);
                return vq::EXIT_DONE;
            }
            if (a == "--home") {
                if (i + 1 >= argc) {
                    std::fprintf(stderr, "vq: --home needs a folder\n");
                    return vq::EXIT_USAGE;
                }
                options.home = argv[++i];
                continue;
            }
            if (a == "--log") {
                options.keep_log = true;
                continue;
            }
            if (a == "--yes") {
                plat.set_policy(ui::HeadlessPlatform::Policy::Yes);
                continue;
            }
            if (a == "--no") {
                plat.set_policy(ui::HeadlessPlatform::Policy::No);
                continue;
            }
            if (a == "--quiet") {
                plat.set_quiet(true);
                continue;
            }
            if (a == "--threads") {
                long n = -1;
                if (i + 1 >= argc || !vq::parse_long(argv[i + 1], n) || n < 0 || n > 64) {
                    std::fprintf(stderr, "vq: --threads needs a count from 0 (one per core) to 64\n");
                    return vq::EXIT_USAGE;
                }
                threads = static_cast<int>(n);
                ++i;
                continue;
            }
            if (a == "--screen") {
                long w = 0, h = 0;
                if (i + 1 >= argc || !vq::parse_size(argv[i + 1], w, h)) {
                    std::fprintf(stderr, "vq: --screen needs WIDTHxHEIGHT\n");
                    return vq::EXIT_USAGE;
                }
                plat.set_screen(static_cast<int>(w), static_cast<int>(h));
                ++i;
                continue;
            }
        }
        if (command.empty() && !options_end)
            command = a;
        else
            args.words.push_back(a);
    }

    if (command.empty()) {
        print_help();
        return vq::EXIT_USAGE;
    }
    const vq::Command* c = vq::find_command(command);
    if (!c) {
        std::fprintf(stderr, "vq: no command \"%s\"; vq --help lists them\n", command.c_str());
        return vq::EXIT_USAGE;
    }
    if (c->run == help_command)
        return help_command(args);

    ui::platform_install(&plat);
    // Ctrl-C stops a long job at its next progress report; the shut-down
    // that follows still writes the settings and the log.
    progress_install_interrupt();
    // Stopped by a signal while a file is written: the temporary file goes
    // and the old file stays as it was.
    safe_write_install_signal_handlers();
    ops_install();
    if (app_init_instance(options) != 0) {
        std::fprintf(stderr, "vq: start-up failed\n");
        return vq::EXIT_FAILED;
    }
    // After the preferences: the option holds for this run only.
    if (threads >= 0)
        parallel_set_threads(threads);
    int status = c->run(args);
    if (progress_interrupted() && status != vq::EXIT_DONE)
        std::fprintf(stderr, "vq: stopped by Ctrl-C\n");
    if (app_shutdown() != 0) {
        // A program from the shell must end: leave without writing anything.
        std::fprintf(stderr, "vq: the shut-down was cancelled; settings were not saved\n");
        app_abandon();
    }
    return status;
}
