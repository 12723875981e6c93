// Alias PIX files: a 10-byte header and runs of 24-bit (blue, green, red)
// or 8-bit grey pixels.
#pragma once

#include "formats/codecs.h"

Image* ReadAliasPix(const LoadRequest& request);
int alias_pix_info(const LoadRequest& request, ImageInfo* info);
