// The extended layer file ("*.ELF"): a master image, its texts and every
// layer of its stack with placement, blend mode, opacity, factor, flags and
// pixels.  All numbers are big-endian.
#pragma once

#include <cstdint>

struct Image;
struct ImageInfo;

constexpr uint32_t kElfMagic = 0x1BAB00FE;
constexpr uint32_t kElfLayerMagic = 0x62951413;
constexpr uint32_t kElfVersion = 3;
constexpr long kElfHeaderSize = 1316;
constexpr long kElfRecordSize = 308;
// Largest image the reader makes (master or layer): sides and pixels.
constexpr long kElfMaxSide = 65535;
constexpr long kElfMaxPixels = 1L << 26;

enum ElfCoding : int {
    ELF_RAW = 0,      // planes as they are
    ELF_RUNS = 1,     // ByteRun1 (PackBits) planes
    ELF_DEFLATE = 2,  // zlib planes, level 9
    ELF_TRIM = 3,     // the whole layer as a TRIM image chunk
};

// Writes the master of `image` (or of the layer's owner) and its layers:
// packed 0 writes coding 0, otherwise coding 1, or coding 3 when the
// preference "High Compression ELF" is on.  0 done; 1 failed (nothing is
// reported here: the caller reports the failed save, elf_last_error says
// why); 2 the image is neither a master nor a layer (nothing written).
int elf_save(const char* name, Image* image, int packed);
// The same with the coding chosen by the caller.
int elf_save_coded(const char* name, Image* image, int coding);
// The "Save Extended Layer Files" dialog; 0 saved, 1 cancelled or not layered.
int elf_save_as(Image* image);
// Why the last elf_save failed, for the caller's report.
const char* elf_last_error();

// The composited master, or null (the reason already reported).  A master
// whose layer could not be made or read comes back without its stack
// marked valid (has_layers 0) and is not composited.
Image* elf_load(const char* name);
// The master's size and resolution from the header alone.  0 done; 1 after
// telling the user why.
int elf_info(const char* name, ImageInfo* info);
// Whether the file begins with a layered-file header.
bool elf_probe(const char* name);
