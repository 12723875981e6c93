// IFF files: the ILBM reader (1 to 8 palette planes, HAM, Extra-Halfbrite,
// HAM-E, 24- and 32-plane deep images, ByteRun1), the system's own TRIM form
// (a compressed full-colour image and a thumbnail), and the writers of both.
#pragma once

#include "formats/codecs.h"

#include <cstdint>
#include <cstdio>

struct Image;

// Format code 2 for ILBM, 7 for TRIM.  `name` is for the messages.
Image* ReadIff(FILE* stream, const char* name);
// TRIM: the TRIM form, always compressed.  ILBM: 24 planes, or 1, 4 or 8
// palette planes through the colour reduction when `bits` asks for them.
int WriteIff(Image* image, const char* name, bool trim, int compress, int bits = 24);
int iff_info(const LoadRequest& request, ImageInfo* info);

// ByteRun1: packs n bytes into `out` (room for n + n / 128 + 1); returns the bytes written.
long byterun1_pack(const uint8_t* in, long n, uint8_t* out);
