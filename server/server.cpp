#include "server/server.h"

#include "core/app.h"
#include "core/image.h"
#include "core/log.h"
#include "core/platform.h"
#include "core/settings.h"
#include "formats/load_save.h"
#include "ops/catalogue.h"
#include "ops/framework.h"
#include "ops/op_values.h"
#include "plugins/plugins.h"
#include "script/script.h"
#include "server/command_line.h"
#include "timeline/sequence.h"
#include "timeline/timeline.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <poll.h>
#include <strings.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace server {
namespace {

// A conversation holds no more than this much unsent output before it is
// read again: a client that sends requests and never reads cannot make
// the server hold the whole image for it.
constexpr size_t kOutputBacklog = 1u << 20;
constexpr size_t kReadChunk = 64 * 1024;
constexpr size_t kMaxConversations = 128;
// What this server understands beyond the verb table, told in the
// acknowledgement of an initiate.
constexpr char kExtensions[] = "Apply Save Script Ack";

struct Conversation {
    int fd = -1;
    bool initiated = false;
    bool at_end = false;  // the client closed its side or the socket failed
    bool broken = false;  // nothing more can be written
    std::string in;       // bytes read and not yet handled, from in_pos
    size_t in_pos = 0;
    size_t skip = 0;      // bytes of an over-long message still to drop
    std::string out;      // answers not yet written, from out_pos
    size_t out_pos = 0;
    // The client acknowledges every data answer (it asked for it in its
    // initiate); the timer runs while any is unacknowledged.
    bool acknowledges = false;
    long unacknowledged = 0;
    std::chrono::steady_clock::time_point deadline {};

    ~Conversation()
    {
        if (fd >= 0)
            ::close(fd);
    }
    size_t backlog() const { return out.size() - out_pos; }
};

struct ServerState {
    int listen_fd = -1;
    std::string path;
    ino_t socket_inode = 0;  // the socket this server made, the only one it removes
    std::vector<std::unique_ptr<Conversation>> conversations;
    long row_counter = 0;
    Image* reading = nullptr;  // the image handed out row by row, locked
    std::string last_argument;
    ServerHooks hooks;
    bool close_requested = false;
    bool in_command = false;  // a command pumps messages: no second one meanwhile
    unsigned long commands = 0;
    int ack_wait_ms = -1;       // -1: the "ServerAckWait" setting
    unsigned long failures = 0;  // data sends that failed, not yet shown
    unsigned long failures_shown = 0;
    bool reporting = false;      // the box is up: no second one over it
};

ServerState& state()
{
    static ServerState s;
    return s;
}

// ---- the image handed out row by row ----------------------------------------

void release_reading()
{
    ServerState& s = state();
    if (s.reading && image_store_contains(s.reading))
        image_unlock(s.reading);
    s.reading = nullptr;
    s.row_counter = 0;
}

Image* first_open_image()
{
    for (Image* image : image_store().slots)
        if (image)
            return image;
    return nullptr;
}

// ---- verbs ------------------------------------------------------------------------

bool holds_role(const Image* image)
{
    const ImageRoles& r = image_roles();
    return image && (r.target == image || r.source == image || r.brush == image);
}

Image* open_image_named(const std::string& name)
{
    for (Image* image : image_store().slots) {
        if (!image)
            continue;
        if (image->path[0] ? name == image->path : name == image->name)
            return image;
    }
    return nullptr;
}

// "Level(n)", case ignored, n a whole number from 1.
bool level_number(const std::string& name, long& level)
{
    const char* digits = name.c_str() + 6;
    char* end = nullptr;
    errno = 0;
    level = std::strtol(digits, &end, 10);
    return errno == 0 && end != digits && *digits >= '0' && *digits <= '9' && end[0] == ')' && end[1] == 0 &&
           level >= 1 && level <= kTimelineLevels;
}

bool set_role(ImageRole role, const std::string& name, std::string& reason)
{
    if (name.empty()) {
        reason = "no image named";
        return false;
    }
    Image* image = nullptr;
    if (strncasecmp(name.c_str(), "Level(", 6) == 0) {
        // A level's result of the last frame the timeline generated.
        long level = 0;
        if (!level_number(name, level)) {
            reason = "\"" + name + "\" names no level: Level(n) takes n from 1 to " + std::to_string(kTimelineLevels);
            return false;
        }
        image = sequence_level_image(level, reason);
        if (!image)
            return false;
    } else {
        image = open_image_named(name);
        if (!image)
            image = load_image(name.c_str());
        if (!image) {
            reason = "\"" + name + "\" could not be loaded";
            return false;
        }
    }
    ServerState& s = state();
    Image* old = image_role(role);
    image_set_role(role, image);
    if (role == ImageRole::Target && (!script_image() || script_image() == old))
        script_set_image(image);
    if (old != image) {
        if (old && old == s.reading && !holds_role(old))
            release_reading();
        if (s.hooks.role_changed)
            s.hooks.role_changed(old, image);
    }
    return true;
}

bool sheet(const CommandLine& line, std::string& reason)
{
    if (line.first.empty()) {
        reason = "no timeline file named";
        return false;
    }
    if (timeline().generating) {
        reason = "a sequence is being generated";
        return false;
    }
    if (timeline_load(line.first.c_str()) != 0) {
        reason = "the timeline \"" + line.first + "\" could not be loaded";
        return false;
    }
    // The results kept from another timeline's frame are not this one's.
    sequence_forget_levels();
    if (line.second.empty())
        return true;
    // Frame 0 and below give the first frame, beyond the end the last.
    long frame = std::strtol(line.second.c_str(), nullptr, 10);
    long frames = timeline().frames;
    if (frame < 1)
        frame = 1;
    if (frame > frames)
        frame = frames;
    ServerState& s = state();
    std::string error;
    if (!s.hooks.render_frame) {
        // Exactly that frame, to where the sequence output settings send frames.
        SequenceRequest request;
        request.first = request.last = frame;
        request.output = sequence_output_from_settings();
        if (sequence_generate(request) == SEQ_DONE)
            return true;
        reason = "frame " + std::to_string(frame) + " could not be generated";
        return false;
    }
    if (s.hooks.render_frame(frame, error) != 0) {
        reason = error.empty() ? "frame " + std::to_string(frame) + " could not be generated" : error;
        return false;
    }
    return true;
}

std::string trimmed(const std::string& text)
{
    size_t a = text.find_first_not_of(" \t\r\n");
    if (a == std::string::npos)
        return {};
    size_t b = text.find_last_not_of(" \t\r\n");
    return text.substr(a, b - a + 1);
}

// "OPERATION, NAME=VALUE, ...": values are split at commas; a piece without
// "=" after a named one continues it, so that palettes (R,G,B/R,G,B) pass.
bool apply_command(const std::string& rest, std::string& reason)
{
    std::vector<std::string> pieces;
    size_t at = 0;
    while (true) {
        size_t comma = rest.find(',', at);
        pieces.push_back(trimmed(rest.substr(at, comma == std::string::npos ? std::string::npos : comma - at)));
        if (comma == std::string::npos)
            break;
        at = comma + 1;
    }
    std::string operation = pieces.front();
    if (operation.empty()) {
        reason = "no operation named";
        return false;
    }
    std::vector<std::string> values;
    bool named = false;
    for (size_t i = 1; i < pieces.size(); ++i) {
        const std::string& p = pieces[i];
        bool has_name = p.find('=') != std::string::npos;
        if (!has_name && named && !values.empty()) {
            values.back() += "," + p;
            continue;
        }
        if (p.empty())
            continue;
        named = named || has_name;
        values.push_back(p);
    }
    Image* target = image_role(ImageRole::Target);
    if (!target) {
        reason = "there is no target image";
        return false;
    }
    OpDescriptor* d = op_find(operation);
    if (!d) {
        reason = "no operation \"" + operation + "\"";
        return false;
    }
    if (!d->available) {
        reason = std::string("\"") + d->name + "\" cannot be applied yet: " + d->unavailable;
        return false;
    }
    // The plug-in a Plugin step names starts from its stored parameters.
    if (d->command == opcmd::Plugin)
        for (const std::string& v : values)
            if (v.rfind("name=", 0) == 0)
                if (PluginEntry* e = plugin_find(v.c_str() + 5); e && plugin_select(e) != 0) {
                    reason = "the plug-in \"" + v.substr(5) + "\" could not be selected";
                    return false;
                }
    if (!op_set_values(*d, values, reason))
        return false;
    if (set_current_operation(d->command) != 0) {
        reason = "no operation \"" + operation + "\"";
        return false;
    }
    ServerState& s = state();
    std::string error;
    int rc = s.hooks.apply ? s.hooks.apply(target, error) : perform_operation(target, 0);
    if (rc != 0) {
        reason = error.empty() ? std::string("\"") + d->name + "\" was not applied (" + std::to_string(rc) + ")" : error;
        return false;
    }
    return true;
}

bool save_command(const std::string& path, std::string& reason)
{
    Image* target = image_role(ImageRole::Target);
    if (!target) {
        reason = "there is no target image";
        return false;
    }
    if (path.empty()) {
        reason = "no file named";
        return false;
    }
    ServerState& s = state();
    std::string error;
    int rc = s.hooks.save ? s.hooks.save(target, path, error) : save_image(target, path.c_str());
    if (rc != 0) {
        reason = error.empty() ? "\"" + path + "\" was not written" : error;
        return false;
    }
    return true;
}

bool run_script(const std::string& path, std::string& reason)
{
    if (path.empty()) {
        reason = "no script named";
        return false;
    }
    if (script_running()) {
        reason = "a script is running";
        return false;
    }
    Image* before = script_image();
    script_set_image(image_role(ImageRole::Target));
    const char* argv[] = {"server", path.c_str()};
    int rc = script_run(2, argv);
    script_set_image(before && image_store_contains(before) ? before : image_role(ImageRole::Target));
    if (rc != 0) {
        const std::string& why = script_last_error();
        reason = "\"" + path + "\": " + (why.empty() ? std::string("the script did not finish") : why);
        return false;
    }
    return true;
}

// ---- the wire -------------------------------------------------------------------

void put_message(Conversation& c, char kind, const std::string& payload)
{
    if (c.broken)
        return;
    uint32_t n = static_cast<uint32_t>(payload.size() + 1);
    char head[5] = {static_cast<char>(n >> 24), static_cast<char>(n >> 16), static_cast<char>(n >> 8),
                    static_cast<char>(n), kind};
    c.out.append(head, sizeof head);
    c.out += payload;
}

void put_ack(Conversation& c, bool positive, const std::string& text = {})
{
    std::string payload(1, positive ? '\1' : '\0');
    payload += text;
    put_message(c, kAcknowledge, payload);
}

int ack_wait_ms()
{
    const ServerState& s = state();
    if (s.ack_wait_ms >= 0)
        return s.ack_wait_ms;
    long seconds = settings().server_ack_wait;
    return seconds <= 0 ? 0 : static_cast<int>(std::min(seconds, 3600L) * 1000);
}

// A data answer went out: the timer starts unless it runs already.
void await_acknowledgement(Conversation& c)
{
    if (!c.acknowledges || ack_wait_ms() == 0)
        return;
    if (c.unacknowledged++ == 0)
        c.deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ack_wait_ms());
}

// A data send failed: the timer stops, the failure is shown once the
// round is over (a box must not open in the middle of one).
void send_failed(Conversation& c, const char* why)
{
    ServerState& s = state();
    c.unacknowledged = 0;
    s.failures += 1;
    if (log_is_open())
        log_printf("SERVER: DDE send data failed: %s\n", why);
}

void check_timers()
{
    const auto now = std::chrono::steady_clock::now();
    for (const auto& c : state().conversations)
        if (c->unacknowledged > 0 && now >= c->deadline)
            send_failed(*c, "no acknowledgement in time");
}

// Milliseconds until the first timer runs out; -1 when none runs.
int next_timer_ms()
{
    long best = -1;
    const auto now = std::chrono::steady_clock::now();
    for (const auto& c : state().conversations)
        if (c->unacknowledged > 0) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(c->deadline - now).count();
            left = std::max<long>(0, left + 1);
            best = best < 0 ? left : std::min(best, static_cast<long>(left));
        }
    return static_cast<int>(best);
}

void report_failures()
{
    ServerState& s = state();
    if (s.reporting || s.failures == 0)
        return;
    s.failures_shown += s.failures;
    s.failures = 0;
    s.reporting = true;
    ui::platform().message_box("Server", "DDE send data failed", ui::BoxIcon::Stop);
    s.reporting = false;
}

void flush(Conversation& c)
{
    while (!c.broken && c.backlog() > 0) {
        ssize_t n = ::send(c.fd, c.out.data() + c.out_pos, c.backlog(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            c.out_pos += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            break;
        // The client went away in the middle of an answer: what it did not
        // take is dropped.
        c.broken = true;
        c.at_end = true;
    }
    if (c.out_pos == c.out.size()) {
        c.out.clear();
        c.out_pos = 0;
    } else if (c.out_pos > kOutputBacklog) {
        c.out.erase(0, c.out_pos);
        c.out_pos = 0;
    }
}

std::string printable(const char* text, size_t length)
{
    std::string out;
    for (size_t i = 0; i < length && i < kServerCommandMax; ++i) {
        unsigned char ch = static_cast<unsigned char>(text[i]);
        if (!ch)
            break;
        out += ch >= 32 && ch < 127 ? static_cast<char>(ch) : '?';
    }
    return out;
}

void log_command(const char* what, const char* text, size_t length, bool ok, const std::string& reason)
{
    if (!log_is_open())
        return;
    log_printf("SERVER: %s \"%s\" %s%s%s\n", what, printable(text, length).c_str(), ok ? "done" : "refused",
               reason.empty() ? "" : ": ", reason.c_str());
}

// Handles one whole message.
void handle(Conversation& c, char kind, const char* payload, size_t length)
{
    if (kind == kInitiate) {
        // "service NUL topic": either may be empty.
        const char* nul = static_cast<const char*>(std::memchr(payload, 0, length));
        std::string service(payload, nul ? static_cast<size_t>(nul - payload) : length);
        std::string topic = nul ? std::string(nul + 1, length - static_cast<size_t>(nul + 1 - payload)) : std::string();
        // "service NUL topic NUL options": "Ack" asks the server to wait
        // for an acknowledgement of every data answer.
        std::string options(1, ' ');
        if (size_t end = topic.find('\0'); end != std::string::npos) {
            options.append(topic, end + 1, std::string::npos);
            topic.erase(end);
        }
        options += ' ';
        for (char& ch : options)
            if (ch == '\0' || ch == '\t')
                ch = ' ';
        if ((!service.empty() && strcasecmp(service.c_str(), "Glimvq") != 0) ||
            (!topic.empty() && strcasecmp(topic.c_str(), "Vq") != 0)) {
            put_ack(c, false, "this is the service \"Glimvq\", topic \"Vq\"");
            return;
        }
        c.initiated = true;
        c.acknowledges = strcasestr(options.c_str(), " Ack ") != nullptr;
        put_ack(c, true, std::string("Glimvq\0Vq\0", 10) + kExtensions);
        return;
    }
    if (kind == kTerminate)
        return;  // the conversation ends when the client closes its side
    if (kind == kAcknowledge) {
        if (length > 0 && payload[0] == 0) {
            std::string why = "negative acknowledgement";
            if (length > 1)
                why += ": " + printable(payload + 1, length - 1);
            send_failed(c, why.c_str());
        } else if (c.unacknowledged > 0 && --c.unacknowledged > 0) {
            // Each acknowledgement gives the next answer its full time.
            c.deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ack_wait_ms());
        }
        return;
    }
    if (!c.initiated) {
        put_ack(c, false, "no conversation: send initiate first");
        return;
    }
    switch (kind) {
    case kRequest:
        // The item "Size" is an extension; any other item is a row.
        if (length == 4 && strncasecmp(payload, "Size", 4) == 0)
            put_message(c, kData, server_size_answer());
        else
            put_message(c, kData, server_row_answer());
        await_acknowledgement(c);
        return;
    case kExecute:
    case kPoke: {
        std::string reason;
        bool ok = false;
        if (kind == kExecute && length == 0)
            reason = "the command string cannot be read";
        else
            ok = server_command(payload, length, kind == kPoke, reason);
        log_command(kind == kPoke ? "poke" : "execute", payload, length, ok, reason);
        put_ack(c, ok, reason);
        return;
    }
    default:
        put_ack(c, false, std::string("no message of the kind '") + printable(&kind, 1) + "'");
        return;
    }
}

// Takes the next whole message out of the conversation's input, when one
// is there.  Over-long messages are skipped and refused.
bool next_message(Conversation& c)
{
    if (c.skip > 0) {
        size_t drop = std::min(c.skip, c.in.size() - c.in_pos);
        c.in_pos += drop;
        c.skip -= drop;
        if (c.skip > 0)
            return false;
    }
    size_t have = c.in.size() - c.in_pos;
    if (have < 4)
        return false;
    const auto* p = reinterpret_cast<const unsigned char*>(c.in.data() + c.in_pos);
    uint32_t n = static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
                 static_cast<uint32_t>(p[2]) << 8 | p[3];
    if (n == 0) {
        c.in_pos += 4;
        put_ack(c, false, "a message without a kind");
        return true;
    }
    if (n > kMaxMessage) {
        c.in_pos += 4;
        c.skip = n;
        put_ack(c, false, "the message is longer than " + std::to_string(kMaxMessage) + " bytes");
        next_message(c);  // drops what is already here
        return true;
    }
    if (have - 4 < n)
        return false;
    const char* body = c.in.data() + c.in_pos + 4;
    c.in_pos += 4 + n;
    handle(c, body[0], body + 1, n - 1);
    return true;
}

bool has_whole_message(const Conversation& c)
{
    size_t have = c.in.size() - c.in_pos;
    if (c.skip > 0)
        return have > 0;
    if (have < 4)
        return false;
    const auto* p = reinterpret_cast<const unsigned char*>(c.in.data() + c.in_pos);
    uint32_t n = static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
                 static_cast<uint32_t>(p[2]) << 8 | p[3];
    return n == 0 || n > kMaxMessage || have - 4 >= n;
}

bool wants_read(const Conversation& c)
{
    return !c.at_end && c.backlog() < kOutputBacklog && !has_whole_message(c);
}

void read_some(Conversation& c)
{
    if (c.in_pos > 0 && c.in_pos * 2 >= c.in.size()) {
        c.in.erase(0, c.in_pos);
        c.in_pos = 0;
    }
    size_t old = c.in.size();
    c.in.resize(old + kReadChunk);
    ssize_t n;
    do
        n = ::recv(c.fd, c.in.data() + old, kReadChunk, MSG_DONTWAIT);
    while (n < 0 && errno == EINTR);
    c.in.resize(old + (n > 0 ? static_cast<size_t>(n) : 0));
    if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK))
        c.at_end = true;
}

void accept_clients()
{
    ServerState& s = state();
    for (int i = 0; i < 32; ++i) {
        int fd = ::accept4(s.listen_fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0)
            return;
        struct ucred cred {};
        socklen_t len = sizeof cred;
        if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &len) != 0 || cred.uid != ::geteuid()) {
            // Only the user the server runs as may drive it.
            if (log_is_open())
                log_printf("SERVER: refused a client of user %ld\n", static_cast<long>(cred.uid));
            ::close(fd);
            continue;
        }
        if (s.conversations.size() >= kMaxConversations) {
            ::close(fd);
            continue;
        }
        auto c = std::make_unique<Conversation>();
        c->fd = fd;
        s.conversations.push_back(std::move(c));
    }
}

bool make_private_folder(const std::string& dir, std::string& error)
{
    if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
        error = "cannot make the folder " + dir + ": " + std::strerror(errno);
        return false;
    }
    struct stat st {};
    if (::lstat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        error = dir + " is not a folder";
        return false;
    }
    if (st.st_uid != ::geteuid()) {
        error = "the folder " + dir + " belongs to another user";
        return false;
    }
    if ((st.st_mode & 0777) != 0700 && ::chmod(dir.c_str(), 0700) != 0) {
        error = "cannot make the folder " + dir + " private: " + std::strerror(errno);
        return false;
    }
    return true;
}

std::string parent_folder(const std::string& path)
{
    size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

} // namespace

void server_set_hooks(const ServerHooks& hooks)
{
    state().hooks = hooks;
}

std::string server_default_socket_path()
{
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    std::string folder;
    if (runtime && *runtime)
        folder = std::string(runtime) + "/glimvq";
    else
        folder = app_config_folder() + "/server";
    return folder + "/Glimvq.Vq";
}

int server_start(const std::string& asked, std::string& error)
{
    ServerState& s = state();
    if (s.listen_fd >= 0) {
        error = "the server is already listening on " + s.path;
        return 1;
    }
    std::string path = asked.empty() ? server_default_socket_path() : asked;
    sockaddr_un addr {};
    addr.sun_family = AF_UNIX;
    if (path.size() >= sizeof addr.sun_path) {
        error = "the socket name " + path + " is longer than " + std::to_string(sizeof addr.sun_path - 1) + " bytes";
        return 1;
    }
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    if (asked.empty() && !make_private_folder(parent_folder(path), error))
        return 1;

    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0) {
        if (!S_ISSOCK(st.st_mode)) {
            error = path + " exists and is not a socket";
            return 1;
        }
        // A server that answers is alive; one that refuses crashed.
        int probe = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (probe < 0) {
            error = std::string("cannot make a socket: ") + std::strerror(errno);
            return 1;
        }
        bool live = ::connect(probe, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 || errno == EAGAIN;
        ::close(probe);
        if (live) {
            error = "another server is already listening on " + path;
            return 1;
        }
        if (::unlink(path.c_str()) != 0) {
            error = "cannot remove the stale socket " + path + ": " + std::strerror(errno);
            return 1;
        }
    }

    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error = std::string("cannot make a socket: ") + std::strerror(errno);
        return 1;
    }
    // Made private from the start: no moment in which another user could connect.
    mode_t old_mask = ::umask(0177);
    int bound = ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    int bind_errno = errno;
    ::umask(old_mask);
    if (bound != 0) {
        error = "cannot listen on " + path + ": " + std::strerror(bind_errno);
        ::close(fd);
        return 1;
    }
    if (::chmod(path.c_str(), 0600) != 0 || ::listen(fd, 64) != 0 || ::lstat(path.c_str(), &st) != 0) {
        error = "cannot listen on " + path + ": " + std::strerror(errno);
        ::close(fd);
        ::unlink(path.c_str());
        return 1;
    }
    s.listen_fd = fd;
    s.path = path;
    s.socket_inode = st.st_ino;
    s.close_requested = false;
    if (log_is_open())
        log_printf("SERVER: listening on %s\n", path.c_str());
    return 0;
}

void server_stop()
{
    ServerState& s = state();
    s.conversations.clear();
    release_reading();
    if (s.listen_fd >= 0) {
        ::close(s.listen_fd);
        s.listen_fd = -1;
        struct stat st {};
        if (::lstat(s.path.c_str(), &st) == 0 && S_ISSOCK(st.st_mode) && st.st_ino == s.socket_inode)
            ::unlink(s.path.c_str());
    }
    s.path.clear();
    s.last_argument.clear();
}

bool server_running()
{
    return state().listen_fd >= 0;
}

const std::string& server_socket_path()
{
    return state().path;
}

std::vector<WatchedSocket> server_sockets(bool* busy)
{
    ServerState& s = state();
    std::vector<WatchedSocket> out;
    if (busy)
        *busy = false;
    if (s.listen_fd < 0)
        return out;
    out.push_back({s.listen_fd, true, false});
    for (const auto& c : s.conversations) {
        if (busy && c->backlog() < kOutputBacklog && (has_whole_message(*c) || c->at_end))
            *busy = true;
        out.push_back({c->fd, wants_read(*c), c->backlog() > 0 && !c->broken});
    }
    return out;
}

bool server_poll(int timeout_ms)
{
    ServerState& s = state();
    if (s.listen_fd < 0)
        return false;
    if (s.in_command)
        return true;
    bool busy = false;
    std::vector<WatchedSocket> watched = server_sockets(&busy);
    std::vector<pollfd> fds;
    for (const WatchedSocket& w : watched)
        fds.push_back({w.fd, static_cast<short>((w.read ? POLLIN : 0) | (w.write ? POLLOUT : 0)), 0});
    // An acknowledgement timer that runs out ends the wait.
    int wait = busy ? 0 : timeout_ms;
    if (int timer = next_timer_ms(); timer >= 0 && (wait < 0 || timer < wait))
        wait = timer;
    int ready = ::poll(fds.data(), fds.size(), wait);
    if (ready < 0) {
        check_timers();
        report_failures();
        return errno == EINTR;
    }

    // fds[0] is the listening socket, fds[i + 1] conversation i.
    size_t known = s.conversations.size();
    for (size_t i = 0; i < known; ++i) {
        Conversation& c = *s.conversations[i];
        short ev = fds[i + 1].revents;
        if (ev & POLLOUT)
            flush(c);
        if (ev & POLLIN)
            read_some(c);
        else if (ev & (POLLERR | POLLHUP | POLLNVAL))
            c.at_end = true;
    }
    if (fds[0].revents & POLLIN)
        accept_clients();

    // One message from each conversation, so that none waits behind another's stream.
    for (size_t i = 0; i < known; ++i) {
        Conversation& c = *s.conversations[i];
        if (c.backlog() < kOutputBacklog && !c.broken)
            next_message(c);
        flush(c);
        if (s.listen_fd < 0)
            return false;  // a command stopped the server
    }
    // A conversation ends when its client has closed and nothing it sent is left.
    std::erase_if(s.conversations, [](const std::unique_ptr<Conversation>& c) {
        return c->broken || (c->at_end && !has_whole_message(*c) && c->backlog() == 0);
    });
    check_timers();
    // Last, with the round's state settled: the box lets the event loop
    // (and so this function) run again while it is up.
    report_failures();
    return s.listen_fd >= 0;
}

void server_set_ack_wait(int ms)
{
    state().ack_wait_ms = ms < 0 ? -1 : ms;
}

int server_ack_wait_ms()
{
    return ack_wait_ms();
}

int server_timer_ms()
{
    return next_timer_ms();
}

unsigned long server_send_failures()
{
    const ServerState& s = state();
    return s.failures_shown + s.failures;
}

bool server_close_requested()
{
    return state().close_requested;
}

long server_row_counter()
{
    return state().row_counter;
}

const std::string& server_last_argument()
{
    return state().last_argument;
}

size_t server_conversations()
{
    return state().conversations.size();
}

unsigned long server_commands()
{
    return state().commands;
}

bool server_command(const char* text, size_t length, bool poke, std::string& reason)
{
    ServerState& s = state();
    if (s.in_command) {
        reason = "another command is running";
        return false;
    }
    struct Running {
        ServerState& s;
        explicit Running(ServerState& st) : s(st) { s.in_command = true; }
        ~Running() { s.in_command = false; }
    } running(s);
    s.commands += 1;
    reason.clear();
    if (!text)
        length = 0;
    if (poke && length >= 5 && strncasecmp(text, "Front", 5) == 0) {
        if (s.hooks.front)
            s.hooks.front();
        return true;
    }
    CommandLine line = parse_command_line(text, length);
    s.last_argument = line.third;
    switch (server_verb(line.verb)) {
    case ServerVerb::None: return true;
    case ServerVerb::Sheet: return sheet(line, reason);
    case ServerVerb::Close:
        if (s.hooks.close)
            s.hooks.close();
        else
            s.close_requested = true;
        return true;
    case ServerVerb::Iconify:
        if (s.hooks.iconify)
            s.hooks.iconify();
        return true;
    case ServerVerb::Restore:
        if (s.hooks.restore)
            s.hooks.restore();
        return true;
    case ServerVerb::Front:
        if (s.hooks.front)
            s.hooks.front();
        return true;
    case ServerVerb::Source: return set_role(ImageRole::Source, line.first, reason);
    case ServerVerb::Brush: return set_role(ImageRole::Brush, line.first, reason);
    case ServerVerb::Target: return set_role(ImageRole::Target, line.first, reason);
    case ServerVerb::Apply: return apply_command(line.rest, reason);
    case ServerVerb::Save: return save_command(line.rest, reason);
    case ServerVerb::Script: return run_script(line.rest, reason);
    }
    return true;
}

std::string server_size_answer()
{
    Image* first = first_open_image();
    if (!first || first->height <= 0 || first->width == 0)
        return std::string("Empty", 6);
    char text[48];
    std::snprintf(text, sizeof text, "Size %lu %ld", static_cast<unsigned long>(first->width),
                  static_cast<long>(first->height));
    return std::string(text, std::strlen(text) + 1);
}

std::string server_row_answer()
{
    ServerState& s = state();
    Image* first = first_open_image();
    if (s.reading && (s.reading != first || !image_store_contains(s.reading)))
        release_reading();
    if (!first || first->height <= 0 || first->width == 0)
        return std::string("Empty", 6);
    if (!s.reading) {
        if (image_lock(first) != 0) {
            image_unlock(first);
            return std::string("Empty", 6);
        }
        s.reading = first;
        s.row_counter = 0;
    }
    if (s.row_counter >= first->height)
        s.row_counter = 0;  // the image became shorter since the last request
    char text[32];
    std::snprintf(text, sizeof text, "Line %ld", s.row_counter);
    std::string answer(text, std::strlen(text) + 1);
    answer.append(reinterpret_cast<const char*>(first->row(static_cast<int>(s.row_counter))),
                  static_cast<size_t>(first->width) * 4);
    s.row_counter += 1;
    if (s.row_counter >= first->height)
        release_reading();
    return answer;
}

} // namespace server
