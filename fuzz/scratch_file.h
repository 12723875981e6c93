// The file each input is written to for the readers that take a file name;
// one per fuzzer process, removed when the process ends.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>

class ScratchFile {
public:
    ScratchFile(const char* tag, const char* extension)
        : path_("/tmp/glimvq-fuzz-" + std::string(tag) + "-" + std::to_string(getpid()) + extension)
    {
    }
    ~ScratchFile() { std::remove(path_.c_str()); }
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;

    const char* path() const { return path_.c_str(); }
    // The file holds exactly these bytes afterwards; false when it could not be written.
    bool write(const uint8_t* data, size_t size) const
    {
        FILE* f = std::fopen(path_.c_str(), "wb");
        if (!f)
            return false;
        bool whole = std::fwrite(data, 1, size, f) == size;
        return std::fclose(f) == 0 && whole;
    }

private:
    std::string path_;
};
