// Writing a file so that a failure leaves the old one as it was.
//
// The new contents go to a temporary file beside the target (same folder,
// so the final rename cannot cross file systems); only commit() renames it
// over the target.  A writer that fails, returns early or is interrupted
// leaves the target untouched, and the temporary file is removed.
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
    // Flushes and closes the stream opened here (or a writer's own, already
    // closed file when `stream_closed`), then renames the temporary file over
    // the target.  0 done; otherwise an errno value, and the target is as it was.
    int commit();
    // Gives up: closes and removes the temporary file.
    void abandon();

private:
    std::string target_, temp_;
    FILE* stream_ = nullptr;
    bool done_ = false;
};

// fopen for reading that refuses a folder (which fopen opens, and whose
// reads fail later with a reason nobody sees): null with errno EISDIR.
FILE* open_for_reading(const char* path, const char* mode = "rb");
