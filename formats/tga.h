// Truevision Targa files: colour-mapped and true-colour pixels, raw and
// run-length coded, with the Targa 2 footer and extension area in which the
// system keeps author, comment, resolution and a postage stamp.
#pragma once

#include "formats/codecs.h"

#include <cstdio>

struct Image;

// `name` is for the messages.
Image* ReadTarga(FILE* stream, const char* name);
// bits 32 writes alpha when the image's alpha flag is set; anything else 24.
int WriteTarga(Image* image, const char* name, int bits, int compress);
int targa_info(const LoadRequest& request, ImageInfo* info);

// Packs one row of `count` pixels of `size` bytes into Targa run-length
// packets; returns the bytes written to `out` (room for count * (size + 1)).
long targa_pack_row(const uint8_t* pixels, long count, int size, uint8_t* out);
