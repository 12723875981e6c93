// Photoshop files: the merged composite that follows the layers, in
// bitmap, grey, indexed or RGB mode, 8 or 16 bits, raw or run-length coded.
#pragma once

#include "formats/codecs.h"

Image* ReadPsd(const LoadRequest& request);
int psd_info(const LoadRequest& request, ImageInfo* info);
