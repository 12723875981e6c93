// SGI image files (".sgi", ".rgb"): 1 to 4 channels of 8 or 16 bits,
// verbatim or run-length coded.
#pragma once

#include "formats/codecs.h"

Image* ReadSgi(const LoadRequest& request);
int sgi_info(const LoadRequest& request, ImageInfo* info);
