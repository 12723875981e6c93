// Raw image files (".raw", ".red"): pixels without a header, whose layout
// the user gives: width, height, channels (1 grey, 2 grey and alpha, 3 RGB,
// 4 RGBA, each 8 bits, interleaved, top row first) and the bytes to skip
// before them.
#pragma once

#include "formats/codecs.h"

#include <string>

struct RawLayout {
    long width = 0, height = 0;
    int channels = 3;
    long offset = 0;
};

// Where the reader gets a layout: one the command line preset for the files
// it loads, else the dialog the workstation installs (false: cancelled).
struct RawState {
    bool preset = false;
    RawLayout layout;
    bool (*ask)(const char* name, long file_size, RawLayout& layout) = nullptr;
};
RawState& raw_state();

// "WxH[,channels[,offset]]"; false when the text is not of that form.
bool parse_raw_layout(const char* text, RawLayout& layout);
// A likely layout for a file of this size: a square of 3 channels (or 1, or
// 4), else one row.
RawLayout raw_guess(long file_size);
// Why the layout cannot be read from a file of this size, or "" when it can.
std::string raw_layout_problem(const RawLayout& layout, long file_size);

Image* ReadRaw(const LoadRequest& request);
int raw_info(const LoadRequest& request, ImageInfo* info);
