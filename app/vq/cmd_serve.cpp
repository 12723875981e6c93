// vq serve: the command server headless, in the foreground.
#include "app/vq/command.h"
#include "app/vq/save_options.h"
#include "core/image.h"
#include "core/log.h"
#include "core/settings.h"
#include "core/undo.h"
#include "formats/load_save.h"
#include "server/server.h"

#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

namespace {

volatile std::sig_atomic_t g_stop = 0;
struct sigaction g_previous_int {};

void on_signal(int sig)
{
    g_stop = 1;
    // Ctrl-C also breaks off the command under way, as in every vq command.
    if (sig == SIGINT && g_previous_int.sa_handler != SIG_DFL && g_previous_int.sa_handler != SIG_IGN &&
        !(g_previous_int.sa_flags & SA_SIGINFO))
        g_previous_int.sa_handler(sig);
}

// As vq apply writes its output: the type of the name's extension, 32 bits
// for an image with alpha, else 24.
int save_hook(Image* image, const std::string& path, std::string& error)
{
    if (vq::save_type_for_name(path) < 0) {
        error = "cannot tell the file type of \"" + path + "\" from its extension";
        return 1;
    }
    SaveSettingsScope keep;
    if (vq::apply_save_options("serve", vq::SaveOptions {}, path, image) != vq::EXIT_DONE)
        return 1;
    char name[kImagePathMax];
    if (path.size() + 6 > sizeof name) {
        error = "the name \"" + path + "\" is too long";
        return 1;
    }
    std::snprintf(name, sizeof name, "%s", path.c_str());
    return SaveImageFile(image, name) != 0;
}

// Without views an image that lost its last role is of no more use.
void role_changed_hook(Image* old_image, Image*)
{
    const ImageRoles& r = image_roles();
    if (old_image && r.target != old_image && r.source != old_image && r.brush != old_image &&
        image_store_contains(old_image) && !old_image->is_layer && !old_image->has_layers)
        image_free(old_image);
}

int run_serve(vq::Args& args)
{
    std::string path;
    int ack_wait_ms = -1;
    while (!args.done()) {
        std::string a = args.next();
        if (a == "--socket") {
            if (args.done())
                return vq::usage_error("serve", "--socket needs a path");
            path = args.next();
        } else if (a == "--ack-wait") {
            double seconds = 0;
            if (args.done() || !vq::parse_double(args.next(), seconds) || seconds < 0 || seconds > 3600)
                return vq::usage_error("serve", "--ack-wait takes seconds from 0 to 3600");
            ack_wait_ms = static_cast<int>(seconds * 1000 + 0.5);
        } else {
            return vq::usage_error("serve", "no option " + a);
        }
    }

    vq::HeadlessRun headless;

    server::ServerHooks hooks;
    hooks.save = save_hook;
    hooks.role_changed = role_changed_hook;
    server::server_set_hooks(hooks);
    server::server_set_ack_wait(ack_wait_ms);

    std::string error;
    if (server::server_start(path, error) != 0)
        return vq::failure("serve: " + error);
    std::fprintf(stderr, "vq serve: listening on %s\n", server::server_socket_path().c_str());

    struct sigaction sa {};
    sa.sa_handler = on_signal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = 0;  // no restart: the wait ends at once
    struct sigaction old_term {}, old_hup {};
    sigaction(SIGINT, &sa, &g_previous_int);
    sigaction(SIGTERM, &sa, &old_term);
    sigaction(SIGHUP, &sa, &old_hup);

    while (!g_stop && !server::server_close_requested() && server::server_poll(-1)) {
    }
    bool by_signal = g_stop != 0;
    sigaction(SIGINT, &g_previous_int, nullptr);
    sigaction(SIGTERM, &old_term, nullptr);
    sigaction(SIGHUP, &old_hup, nullptr);
    if (log_is_open())
        log_printf("SERVER: %s after %lu commands\n", by_signal ? "stopped by a signal" : "closed",
                   server::server_commands());
    server::server_stop();
    server::server_set_hooks({});
    server::server_set_ack_wait(-1);
    return vq::EXIT_DONE;
}

} // namespace

namespace {
const vq::Option kServeOptions[] = {
    {"--socket", "PATH", "listen on this socket instead of the private default"},
    {"--ack-wait", "SECONDS", "how long a client that acknowledges has to acknowledge a data answer (0: no "
                              "timer; default: the setting ServerAckWait, 5)"},
};
const vq::Form kServeForms[] = {{.job = nullptr, .words = "", .options = kServeOptions}};
} // namespace

VQ_COMMAND("serve", "the command server, headless: other programs drive the system over a private socket "
                    "(docs/server.md)",
           "Runs the command server in the foreground until a client sends \"Close\" or the\n"
           "process gets SIGINT, SIGTERM or SIGHUP.  Other programs drive it over a Unix-domain\n"
           "socket (docs/server.md): set the target, source and brush images from files, apply\n"
           "operations, run scripts, save, and read the first open image row by row.\n"
           "The socket is $XDG_RUNTIME_DIR/glimvq/Glimvq.Vq (else server/Glimvq.Vq in the settings\n"
           "folder), private to the user; --socket names another.  A second server on the same\n"
           "socket refuses to start.  With --log each command is one line of VQLOG.txt.\n"
           "Operations work on the whole image and keep no undo, as in vq apply; saved files\n"
           "take the type of their extension.  A client that asked to acknowledge data answers\n"
           "and does not within --ack-wait seconds, or acknowledges one negatively, gets\n"
           "\"Server: DDE send data failed\" on stderr; serving goes on.",
           run_serve, kServeForms);
