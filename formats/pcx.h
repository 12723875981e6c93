// ZSoft PCX files: the reader of 1 to 4 planes of 1, 2, 4 or 8 bits
// (monochrome, CGA, EGA 16-colour, 256-colour with the palette trailer,
// 24-bit in three planes), run-length coded or not; the writer at 1, 4, 8
// and 24 bits.
#pragma once

#include "formats/codecs.h"

#include <cstdio>

struct Image;

// `name` is for the messages.
Image* ReadPcx(FILE* stream, const char* name);
// 8, 4 and 1 bits go through the colour reduction; any other count writes 24.
int WritePcx(Image* image, const char* name, int bits);
int pcx_info(const LoadRequest& request, ImageInfo* info);

// Run-length codes one plane line of n bytes into `out` (room for 2n);
// returns the bytes written.
long pcx_pack_line(const uint8_t* line, long n, uint8_t* out);
