// Writing a file so that a failure leaves the old one as it was.
//
// The new contents go to a temporary file beside the target (same folder,
// so the final rename cannot cross file systems); only commit() renames it
// over the target.  A writer that fails, returns early or is interrupted
// leaves the target untouched, and the temporary file is removed; a process
// stopped by a signal removes it from its handler (safe_write_remove_pending).
#pragma once

#include <cstdio>
#include <string>

class SafeWrite {
public:
    explicit SafeWrite(const char* target);
    ~SafeWrite();
    SafeWrite(const SafeWrite&) = delete;
    SafeWrite& operator=(const SafeWrite&) = delete;

    // The temporary file's path (it keeps the target's extension, for
    // writers that look at it).
    const char* temp_path() const { return temp_.c_str(); }
    const char* target() const { return target_.c_str(); }
    // Opens the temporary file; null on failure (errno tells why).
    FILE* open(const char* mode = "wb");
    // Copies the current target, when there is one, into the temporary file
    // first (writers that add to a file).  False on a read or write failure.
    bool start_from_target();
    // Flushes and closes the stream opened here (a writer that opened the
    // temporary file itself has closed it), then renames the temporary file
    // over the target.  0 done; otherwise an errno value, and the target is
    // as it was.
    int commit();
    // Gives up: closes and removes the temporary file.
    void abandon();

private:
    std::string target_, temp_;
    FILE* stream_ = nullptr;
    int slot_ = -1;  // in the table of pending files
    bool done_ = false;
};

// Commits `out`; when that fails, shows message `message` with the target
// and the system's reason.  0 done, 1 failed (the target is as it was).
int safe_write_commit(SafeWrite& out, int message);

// fopen for reading that refuses a folder (which fopen opens, and whose
// reads fail later with a reason nobody sees): null with errno EISDIR.
FILE* open_for_reading(const char* path, const char* mode = "rb");

// A text for the user: every temporary file named in it is named by its
// target instead (a writer reports on the file it was handed, but the user
// knows the file by the name they gave).
std::string safe_write_shown(const char* text);

extern "C" {
// Removes the temporary files still pending.  Async-signal-safe: for a
// handler of SIGTERM and the like, before the process ends.
void safe_write_remove_pending();
// Installs handlers of SIGTERM, SIGHUP, SIGQUIT and SIGPIPE that remove the
// pending temporary files and then end the process as the signal would
// have; a file-size limit (SIGXFSZ) makes the write fail instead of ending
// the process.  For programs without handlers of their own.
void safe_write_install_signal_handlers();
}
