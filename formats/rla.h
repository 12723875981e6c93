// Wavefront RLA files: a 740-byte header, a table of scan-line offsets and
// run-length coded 8-bit colour and matte channels, bottom row first.
#pragma once

#include "formats/codecs.h"

Image* ReadRla(const LoadRequest& request);
int rla_info(const LoadRequest& request, ImageInfo* info);
