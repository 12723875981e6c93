// The palette files a particle system names: where a name is looked for and
// how the file is read.
//
// A relative name is looked for beside the system's own file first, then in
// the particle palette folder ("PartiPalPath"), then in the current folder;
// an absolute name is taken as it is.  Four kinds of file are read, told
// apart by their contents: JASC-PAL text ("JASC-PAL", "0100", the count,
// then one "R G B" line a colour), GIMP palettes ("GIMP Palette", then
// "R G B name" lines), RIFF palettes ("RIFF" ... "PAL " with a "data"
// chunk) and Adobe colour tables (768 bytes of RGB, or 772 with the count).
#pragma once

#include "ops/operation.h"

#include <cstdint>
#include <string>

struct PsysPalette {
    int count = 0;  // 1 to 1024 once read
    uint8_t red[kPaletteColours];
    uint8_t green[kPaletteColours];
    uint8_t blue[kPaletteColours];
};

// The file a palette name stands for (the first candidate that exists;
// the name itself when none does).  `system_path` is the system's file.
std::string psys_palette_path(const char* name, const char* system_path);

// Reads a palette file.  0 done; 1 failed, with message 71 ("Could not open
// the requested file.") or 42 ("File does not match the type requested.")
// naming the file and the reason.
int palette_read(const char* path, PsysPalette& palette);
// The same from bytes in memory; `why` says what is wrong when it fails.
bool palette_parse(const uint8_t* data, size_t size, PsysPalette& palette, std::string& why);

// One white colour: the palette of a system that names none.
void palette_white(PsysPalette& palette);
