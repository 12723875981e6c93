// The dialog of the raw reader: the width, height, channels and offset of
// a file of pixels without a header.
#pragma once

struct RawLayout;

namespace ws {

// Proposes `layout` and lets the user change it; false when cancelled.
// Unattended (tests, batch runs) the proposal is taken as it is.
bool ask_raw_layout(const char* name, long file_size, RawLayout& layout);

} // namespace ws
