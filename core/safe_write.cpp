#include "core/safe_write.h"

#include "core/messages.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <atomic>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Temporary files in the making, removed if the process is stopped by a
// signal before they are renamed or abandoned.  A fixed table of atomic
// slots, so that a signal handler can walk it at any moment without a lock.
constexpr int kPendingSlots = 64;
constexpr size_t kPathBytes = 4096;
struct PendingSlot {
    std::atomic<int> state;  // 0 free, 1 being filled or emptied, 2 pending
    char temp[kPathBytes];
    char target[kPathBytes];
};
PendingSlot g_pending[kPendingSlots];
std::atomic<unsigned> g_serial{0};

int claim_slot(const std::string& temp, const std::string& target)
{
    if (temp.size() >= kPathBytes || target.size() >= kPathBytes)
        return -1;
    for (int i = 0; i < kPendingSlots; ++i) {
        int expected = 0;
        if (!g_pending[i].state.compare_exchange_strong(expected, 1))
            continue;
        std::memcpy(g_pending[i].temp, temp.c_str(), temp.size() + 1);
        std::memcpy(g_pending[i].target, target.c_str(), target.size() + 1);
        g_pending[i].state.store(2);
        return i;
    }
    return -1;  // more writes at once than slots: only the signal path misses them
}

void release_slot(int& slot)
{
    if (slot < 0)
        return;
    g_pending[slot].state.store(1);
    g_pending[slot].temp[0] = 0;
    g_pending[slot].state.store(0);
    slot = -1;
}

std::string make_temp_name(const std::string& target)
{
    const size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : target.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    const size_t dot = base.rfind('.');
    const std::string ext = dot == std::string::npos || dot == 0 ? "" : base.substr(dot);
    return folder + "." + base + "." + std::to_string(getpid()) + "-" + std::to_string(++g_serial) + ".part" + ext;
}

void on_fatal_signal(int sig)
{
    safe_write_remove_pending();
    // The handler was reset on entry: the signal now ends the process as it would have.
    raise(sig);
}

} // namespace

SafeWrite::SafeWrite(const char* target) : target_(target ? target : ""), temp_(make_temp_name(target_))
{
    slot_ = claim_slot(temp_, target_);
}

SafeWrite::~SafeWrite()
{
    if (!done_)
        abandon();
}

FILE* SafeWrite::open(const char* mode)
{
    if (stream_)
        return stream_;
    stream_ = std::fopen(temp_.c_str(), mode);
    return stream_;
}

bool SafeWrite::start_from_target()
{
    FILE* in = std::fopen(target_.c_str(), "rb");
    if (!in)
        return errno == ENOENT;
    FILE* out = open("w+b");
    bool ok = out != nullptr;
    char buffer[1 << 16];
    size_t n;
    while (ok && (n = std::fread(buffer, 1, sizeof buffer, in)) > 0)
        ok = std::fwrite(buffer, 1, n, out) == n;
    ok = ok && !std::ferror(in) && std::fflush(out) == 0;
    std::fclose(in);
    if (ok)
        std::rewind(out);
    return ok;
}

int safe_write_commit(SafeWrite& out, int message)
{
    const int err = out.commit();
    if (err == 0)
        return 0;
    const std::string text = std::string(out.target()) + "\n" + std::strerror(err);
    message_show(message, text.c_str());
    return 1;
}

int SafeWrite::commit()
{
    if (done_)
        return EINVAL;
    int err = 0;
    if (stream_) {
        if (std::fflush(stream_) != 0 || std::ferror(stream_))
            err = errno ? errno : EIO;
        if (std::fclose(stream_) != 0 && !err)
            err = errno ? errno : EIO;
        stream_ = nullptr;
    }
    // A new file gets the permissions a plain fopen would have given it; a
    // replaced one keeps its own.
    if (!err) {
        struct stat st;
        if (stat(target_.c_str(), &st) == 0) {
            chmod(temp_.c_str(), st.st_mode & 07777);
        } else {
            mode_t mask = umask(0);
            umask(mask);
            chmod(temp_.c_str(), 0666 & ~mask);
        }
    }
    if (!err && std::rename(temp_.c_str(), target_.c_str()) != 0)
        err = errno ? errno : EIO;
    if (err) {
        abandon();
        return err;
    }
    done_ = true;
    release_slot(slot_);
    return 0;
}

void SafeWrite::abandon()
{
    if (stream_) {
        std::fclose(stream_);
        stream_ = nullptr;
    }
    std::remove(temp_.c_str());
    done_ = true;
    release_slot(slot_);
}

std::string safe_write_shown(const char* text)
{
    std::string out = text ? text : "";
    for (PendingSlot& p : g_pending) {
        if (p.state.load() != 2)
            continue;
        const size_t n = std::strlen(p.temp);
        for (size_t at = out.find(p.temp); n && at != std::string::npos; at = out.find(p.temp, at)) {
            out.replace(at, n, p.target);
            at += std::strlen(p.target);
        }
    }
    return out;
}

extern "C" void safe_write_remove_pending()
{
    for (PendingSlot& p : g_pending)
        if (p.state.load() == 2)
            unlink(p.temp);
}

extern "C" void safe_write_install_signal_handlers()
{
    for (int sig : {SIGTERM, SIGHUP, SIGQUIT, SIGPIPE}) {
        struct sigaction old {};
        // A signal the caller chose to ignore stays ignored.
        if (sigaction(sig, nullptr, &old) != 0 || old.sa_handler != SIG_DFL)
            continue;
        struct sigaction action {};
        action.sa_handler = on_fatal_signal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESETHAND | SA_NODEFER;
        sigaction(sig, &action, nullptr);
    }
    // Beyond the file-size limit a write fails (EFBIG) and is reported.
    signal(SIGXFSZ, SIG_IGN);
}

FILE* open_for_reading(const char* path, const char* mode)
{
    FILE* f = path ? std::fopen(path, mode) : nullptr;
    struct stat st {};
    if (f && fstat(fileno(f), &st) == 0 && S_ISDIR(st.st_mode)) {
        std::fclose(f);
        errno = EISDIR;
        return nullptr;
    }
    return f;
}
