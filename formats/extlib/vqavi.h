// The calling convention between the system and vqavi.so, its video
// library on FFmpeg.  The library exports "AviInterface", which returns the
// table below; it links nothing of the system.  Every failure comes back as
// a text for the host to show.
#pragma once

#include <cstdint>

extern "C" {

constexpr int kVqAviVersion = 1;

struct VqAviInfo {
    long width, height;
    long frames;            // from the container; 0 when it does not say
    int rate_num, rate_den; // frames per second as a fraction; 0 when unknown
    char codec[32];         // the decoder's name
};

struct VqAviApi {
    int version;
    // Reading: null with the reason in `error` (at most `size` bytes).
    void* (*open_read)(const char* name, VqAviInfo* info, char* error, int size);
    // The next frame as width x height RGBA pixels (alpha 255): 1 a frame,
    // 0 the end of the stream, -1 an error (the reason in `error`).
    int (*read_next)(void* reader, uint8_t* rgba, char* error, int size);
    void (*close_read)(void* reader);
    // Writing an AVI of uncompressed 24-bit frames, or MJPEG with `mjpeg`,
    // at rate_num / rate_den frames per second.
    void* (*open_write)(const char* name, long width, long height, int rate_num, int rate_den, int mjpeg,
                        char* error, int size);
    // One frame of width x height RGBA pixels: 0, else -1 with the reason.
    int (*write_frame)(void* writer, const uint8_t* rgba, char* error, int size);
    // With `finish` the stream is ended and the file closed (0, else -1
    // with the reason); without, everything is given up.
    int (*close_write)(void* writer, int finish, char* error, int size);
};

typedef const VqAviApi* (*VqAviInterface)(void);

} // extern "C"
