// Small pieces every codec of this folder uses: scopes that close the
// progress meter, unlock an image and remove an unfinished file on every way
// out, and a bounds-checked reader over bytes held in memory.
#pragma once

#include "core/image.h"
#include "core/mem.h"
#include "core/messages.h"
#include "core/progress.h"
#include "formats/load_save.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

namespace codec_io {

// The thumbnail size the writers of Targa stamps and TRIM thumbnails start from.
constexpr long kThumbWidth = 36;
constexpr long kThumbHeight = 32;

struct Meter {
    Meter(const char* caption, long total) { progress_open(caption, total); }
    ~Meter() { progress_close(); }
    Meter(const Meter&) = delete;
    Meter& operator=(const Meter&) = delete;
};

// Unlocks the image when the scope ends (the writers lock it for the whole write).
struct Unlock {
    Image* image;
    ~Unlock() { image_unlock(image); }
};

// Unlocks and frees an image a reader gives up on; null for the caller to return.
inline Image* drop(Image* image)
{
    if (image) {
        image_unlock(image);
        image_free(image);
    }
    return nullptr;
}

// A new image for a reader, locked: null after telling the user why (no
// record of that size, or no memory to lock its pixels).  `name` is the file.
inline Image* new_image(long width, long height, const char* label, const char* name)
{
    Image* image = codec_new_image(width, height, label);
    if (!image) {
        message_show(msg::NoMemoryNewImage, name);
        return nullptr;
    }
    if (image_lock(image) != 0) {
        drop(image);
        message_show(msg::NoRealMemoryImage, name);
        return nullptr;
    }
    return image;
}

// Tells the user why a file is refused: "`title`" and "name: problem".
inline void refuse(const char* title, const char* name, const char* problem)
{
    error_box(title, (std::string(name) + ": " + problem).c_str());
}

// A labelled block freed on every way out.
struct Block {
    uint8_t* p = nullptr;
    Block(long size, const char* label) : p(size > 0 ? static_cast<uint8_t*>(mem_alloc(size, label)) : nullptr) {}
    ~Block()
    {
        if (p)
            mem_free(p);
    }
    Block(const Block&) = delete;
    Block& operator=(const Block&) = delete;
};

// The output file of a writer: closed on every way out, and removed unless
// the writer got to the end.
struct OutFile {
    FILE* f = nullptr;
    const char* name = nullptr;
    bool keep = false;
    explicit OutFile(const char* path) : f(std::fopen(path, "wb")), name(path) {}
    ~OutFile()
    {
        if (f) {
            std::fclose(f);
            if (!keep)
                std::remove(name);
        }
    }
    bool put(const void* data, size_t n) { return std::fwrite(data, 1, n, f) == n; }
    // Flushes; true when everything reached the file.
    bool finish()
    {
        bool ok = std::fflush(f) == 0 && !std::ferror(f);
        keep = ok;
        return ok;
    }
    OutFile(const OutFile&) = delete;
    OutFile& operator=(const OutFile&) = delete;
};

// The length of a stream, leaving it at offset 0; -1 when it cannot be told.
inline long stream_size(FILE* f)
{
    if (std::fseek(f, 0, SEEK_END) != 0)
        return -1;
    long n = std::ftell(f);
    std::fseek(f, 0, SEEK_SET);
    return n;
}

// Reads `count` bytes at `offset` into a new labelled block; null when they
// are not all there or the block cannot be had (`got` tells how many were read).
inline uint8_t* read_block(FILE* f, long offset, long count, const char* label, long* got = nullptr)
{
    if (got)
        *got = 0;
    if (count <= 0 || std::fseek(f, offset, SEEK_SET) != 0)
        return nullptr;
    auto* p = static_cast<uint8_t*>(mem_alloc(count, label));
    if (!p)
        return nullptr;
    long n = static_cast<long>(std::fread(p, 1, static_cast<size_t>(count), f));
    if (got)
        *got = n;
    return p;
}

// A cursor over bytes in memory that never reads past their end.
struct Bytes {
    const uint8_t* data;
    long size;
    long pos = 0;
    long left() const { return size - pos; }
    bool has(long n) const { return n >= 0 && n <= size - pos; }
    int byte() { return pos < size ? data[pos++] : -1; }
    // Copies n bytes; false (nothing copied) when fewer are left.
    bool take(uint8_t* out, long n)
    {
        if (!has(n))
            return false;
        std::memcpy(out, data + pos, static_cast<size_t>(n));
        pos += n;
        return true;
    }
};

} // namespace codec_io
