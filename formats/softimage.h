// Softimage PIC files: channel packets of red, green, blue and alpha,
// uncompressed, pure run-length or mixed run-length coded.
#pragma once

#include "formats/codecs.h"

Image* ReadSoftimage(const LoadRequest& request);
int softimage_info(const LoadRequest& request, ImageInfo* info);
