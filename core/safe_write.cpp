#include "core/safe_write.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <set>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Temporary files in the making, removed if the process is stopped by a
// signal before they are renamed or abandoned.
struct PendingFiles {
    std::mutex lock;
    std::set<std::string> paths;
};

PendingFiles& pending()
{
    static PendingFiles* p = new PendingFiles;  // outlives every static that writes
    return *p;
}

std::string make_temp_name(const std::string& target)
{
    const size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : target.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    const size_t dot = base.rfind('.');
    const std::string ext = dot == std::string::npos || dot == 0 ? "" : base.substr(dot);
    static unsigned serial = 0;
    return folder + "." + base + "." + std::to_string(getpid()) + "-" + std::to_string(++serial) + ".part" + ext;
}

} // namespace

SafeWrite::SafeWrite(const char* target) : target_(target ? target : ""), temp_(make_temp_name(target_))
{
    std::lock_guard<std::mutex> g(pending().lock);
    pending().paths.insert(temp_);
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
    std::lock_guard<std::mutex> g(pending().lock);
    pending().paths.erase(temp_);
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
    std::lock_guard<std::mutex> g(pending().lock);
    pending().paths.erase(temp_);
}

// Called from a signal handler: removes the temporary files still pending.
// (unlink is async-signal-safe; the set is not touched if it is locked.)
extern "C" void safe_write_remove_pending()
{
    PendingFiles& p = pending();
    if (!p.lock.try_lock())
        return;
    for (const std::string& path : p.paths)
        unlink(path.c_str());
    p.lock.unlock();
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
