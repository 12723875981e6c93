// AVI files through the separately loaded video library vqavi.so (FFmpeg's
// libavformat, libavcodec and libswscale), so that nothing else needs
// FFmpeg: one chosen frame read as an image, every frame read in order (the
// film strip), and animations written with uncompressed 24-bit frames or
// MJPEG.  Without the library every entry refuses with a message naming
// the packages to install.
#pragma once

#include "formats/codecs.h"

#include <cstdint>

struct Image;
struct VqAviApi;
class SafeWrite;

// The load dispatch's reader (the frame asked for, else the first), its
// header entry and the save entry's writer (a one-frame file).
Image* ReadAvi(const LoadRequest& request);
int avi_info(const LoadRequest& request, ImageInfo* info);
int write_avi(Image* image, const char* name, const SaveRequest& request);

// The library's entry points; null after telling the user that it is missing.
const VqAviApi* avi_library();
// Looks for the library again at the next use (it stays loaded).
void avi_library_forget();

// The frames of a file decoded in order.
class AviReader {
public:
    AviReader() = default;
    ~AviReader();
    AviReader(const AviReader&) = delete;
    AviReader& operator=(const AviReader&) = delete;
    // 0, else after telling the user why.
    int open(const char* name);
    long width() const { return width_; }
    long height() const { return height_; }
    long frames() const { return frames_; }  // from the header; 0 when it does not say
    double seconds_per_frame() const { return rate_num_ > 0 ? double(rate_den_) / rate_num_ : 0.0; }
    // Decodes the next frame into a locked image of the file's size: 1 a
    // frame, 0 no further frame, -1 failed (the user was told).
    int next(Image* into);

private:
    const VqAviApi* api_ = nullptr;
    void* reader_ = nullptr;
    const char* name_ = "";
    long width_ = 0, height_ = 0, frames_ = 0;
    int rate_num_ = 0, rate_den_ = 0;
};

// An animation written frame by frame into `name` (a temporary file beside
// it that replaces it when finish succeeds).
class AviWriter {
public:
    AviWriter() = default;
    ~AviWriter();
    AviWriter(const AviWriter&) = delete;
    AviWriter& operator=(const AviWriter&) = delete;
    // Frames per second rate_num / rate_den.  0, else after telling why.
    int open(const char* name, long width, long height, int rate_num, int rate_den, bool mjpeg);
    // A locked image of the animation's size.  0, else after telling why.
    int write(Image* image);
    // Ends the file and puts it in place.  0, else after telling why.
    int finish();

private:
    const VqAviApi* api_ = nullptr;
    void* writer_ = nullptr;
    SafeWrite* out_ = nullptr;
    long width_ = 0, height_ = 0;
    uint8_t* rgba_ = nullptr;
};
