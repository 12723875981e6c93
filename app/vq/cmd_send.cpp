// vq send: a client of the command server.
#include "app/vq/command.h"
#include "app/vq/save_options.h"
#include "core/image.h"
#include "formats/load_save.h"
#include "server/client.h"
#include "server/server.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

int save_rows(server::Client& client, const std::string& out)
{
    long width = 0, height = 0;
    std::string rgba, error;
    if (!server::client_read_rows(client, width, height, rgba, error))
        return vq::failure("send: " + error);
    Image* image = image_new(width, height, "iHrgba");
    if (!image)
        return vq::EXIT_FAILED;  // the memory manager has said why
    int status = vq::EXIT_DONE;
    {
        ImageLock lock(image);
        if (!lock) {
            image_free(image);
            return vq::EXIT_FAILED;
        }
        size_t row_bytes = static_cast<size_t>(width) * 4;
        bool alpha = false;
        for (long y = 0; y < height; ++y) {
            const char* row = rgba.data() + static_cast<size_t>(y) * row_bytes;
            std::memcpy(image->row(static_cast<int>(y)), row, row_bytes);
            for (size_t x = 3; x < row_bytes && !alpha; x += 4)
                alpha = static_cast<unsigned char>(row[x]) != 255;
        }
        image->alpha = alpha ? 1 : 0;
    }
    SaveSettingsScope keep;
    status = vq::apply_save_options("send", vq::SaveOptions {}, out, image);
    if (status == vq::EXIT_DONE)
        status = vq::save_output("send", image, out);
    image_free(image);
    return status;
}

int run_send(vq::Args& args)
{
    std::string path, rows_out, command;
    bool poke = false;
    while (!args.done()) {
        std::string a = args.next();
        if (a == "--socket" || a == "--rows") {
            if (args.done())
                return vq::usage_error("send", a + " needs a path");
            (a == "--socket" ? path : rows_out) = args.next();
        } else if (a == "--poke") {
            poke = true;
        } else {
            command += (command.empty() ? "" : " ") + a;
        }
    }
    if (command.empty() && rows_out.empty())
        return vq::usage_error("send", "nothing to send: give a command or --rows OUT");
    if (!rows_out.empty() && vq::save_type_for_name(rows_out) < 0)
        return vq::usage_error("send", "cannot tell the file type of \"" + rows_out + "\"");

    server::Client client;
    if (!client.open(path.empty() ? server::server_default_socket_path() : path))
        return vq::failure("send: " + client.error());
    if (!command.empty()) {
        bool ok = poke ? client.poke(command) : client.execute(command);
        if (!ok) {
            std::string why = client.error().empty() ? "refused" : client.error();
            return vq::failure("send: \"" + command + "\": " + why);
        }
    }
    if (!rows_out.empty())
        return save_rows(client, rows_out);
    return vq::EXIT_DONE;
}

} // namespace

namespace {
const vq::Option kSendOptions[] = {
    {"--socket", "PATH", "the server's socket, if not the private default"},
    {"--poke", nullptr, "send the command as a poke instead of an execute"},
    {"--rows", "OUT", "then read every row of the first open image and save them as OUT"},
};
const vq::Form kSendForms[] = {{.job = nullptr, .words = "[COMMAND...]", .options = kSendOptions}};
} // namespace

VQ_COMMAND("send", "a command to a running server (vq serve or the workstation); --rows saves the first image's "
                   "rows",
           "Sends a command line to a running server (vq serve or the workstation) as an\n"
           "execute, or with --poke as a poke, and waits for its acknowledgement: exit status 0\n"
           "when it was positive, 1 with the server's reason when it was negative.  The words of\n"
           "COMMAND are joined by blanks: \"Target: /tmp/a.png\", \"Apply: Invert\", \"Save: out.png\".\n"
           "--rows OUT then reads every row of the first open image and saves them as OUT, its\n"
           "type from the extension, acknowledging each row when the server asks for that\n"
           "(\"Ack\").  docs/server.md lists the commands.",
           run_send, kSendForms);
