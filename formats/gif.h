// GIF files: the first image or any frame of an animation read as an image,
// single images written (SaveType 10), and animations written frame by
// frame with per-frame delays, a loop count, transparency where the frames
// have alpha, only the changed rectangle of each frame and one global
// palette while the frames share it.  giflib does the block structure and
// the LZW coding.
#pragma once

#include "formats/codecs.h"

#include <cstdint>
#include <cstdio>

struct Image;
struct GifFileType;

// The frames of a GIF file, decoded in order onto a canvas of the logical
// screen's size with each frame's disposal applied.
//
// The canvas starts filled with the background colour (opaque).  Frame 1
// is drawn as the file's first image is read: its transparent pixels keep
// the colour of their index with alpha 0.  Later frames leave the canvas
// under their transparent pixels.  Disposal 2 restores the frame's
// rectangle to the background colour, transparent when the frame had a
// transparent index; disposal 3 to what it was before the frame.
class GifFrames {
public:
    GifFrames() = default;
    ~GifFrames();
    GifFrames(const GifFrames&) = delete;
    GifFrames& operator=(const GifFrames&) = delete;

    // Opens the file (or reads `stream`, which stays the caller's) and
    // reads the logical screen; 0, else after telling the user why.
    int open(const char* name, FILE* stream = nullptr);
    long width() const { return width_; }
    long height() const { return height_; }
    int bits() const { return bits_; }  // of the global table, 8 without one
    // A non-zero aspect byte: the system reads no such file.
    bool aspect_refused() const { return aspect_ != 0; }

    // Decodes the next frame onto the canvas.  1: a frame was drawn; 0: the
    // file holds no further frame; 2: the frame was damaged and drawn as far
    // as its data went (the user was told), and nothing follows it.
    int next();
    long frame() const { return frame_; }  // the frame shown, 0-based; -1 none yet
    int delay() const { return delay_; }   // its delay, 1/100 s
    bool transparent() const { return shown_transparent_; }  // it had a transparent index
    int loop_count() const { return loop_; }  // the loop extension's count so far; -1 none
    // A 0 byte stood where the first image was looked for.
    bool stray_zero() const { return stray_zero_; }
    // The file's trailer was reached.
    bool trailer() const { return trailer_; }
    // The first image could make no picture (its code size); the user was told.
    bool refused() const { return refused_; }
    // The canvas as a first image would start it: the background colour.
    void fill_background();
    const uint8_t* canvas() const { return canvas_; }  // RGBA rows of width() pixels

    // Counts the frames after the one shown, skipping their data;
    // `transparent` tells whether the first of them has a transparent index.
    long count_rest(bool* transparent = nullptr);

    // A new image of the canvas (label "igif"); null after telling why.
    Image* image();

private:
    int record(int* type);
    void fill(const uint8_t* rgb);
    bool read_image();
    void dispose();
    void skip_data();

    const char* name_ = "";
    FILE* file_ = nullptr;
    bool own_file_ = false;
    GifFileType* gif_ = nullptr;
    long width_ = 0, height_ = 0;
    int bits_ = 8, aspect_ = 0, background_ = 0;
    uint8_t global_[768] = {};
    uint8_t palette_[768] = {};
    uint8_t* canvas_ = nullptr;  // "gifc"
    uint8_t* saved_ = nullptr;   // "gifp": what disposal 3 restores
    uint16_t* lzw_ = nullptr;    // "gifz": the code tables and the string stack
    long frame_ = -1;
    bool ended_ = false;
    // The graphic control extension before the next image.
    int gce_disposal_ = 0, gce_delay_ = 0, gce_transparent_ = -1;
    // The frame shown: its rectangle (clipped), disposal and delay.
    long left_ = 0, top_ = 0, right_ = 0, bottom_ = 0;
    int disposal_ = 0, delay_ = 0;
    bool shown_transparent_ = false;
    int loop_ = -1;
    bool stray_zero_ = false;
    bool trailer_ = false;
    bool refused_ = false;

    friend int gif_input(GifFileType*, unsigned char*, int);
    long position_ = 0;
    int last_byte_ = -1;
    bool patch_stamp_ = false;
};

// The load dispatch's reader: the first image, or the frame asked for
// through formats_state() (beyond the last, the last).  The image's frame
// number is the frame read (1 the first) and its frame count that of the file.
Image* ReadGif(const LoadRequest& request);
int gif_info(const LoadRequest& request, ImageInfo* info);

// A single image (SaveType 10): 0, or 1 when the indexed image cannot be
// built or the file not written (the user was told).
int WriteGif(Image* image, const char* name);
int write_gif(Image* image, const char* name, const SaveRequest& request);

// ---- animations --------------------------------------------------------------
struct GifAnimationOptions {
    int delay = 0;          // 1/100 s after each frame, unless WriteGifFrame names one
    bool loop = true;       // write the loop extension
    int loop_count = 0;     // its count: 0 for ever
    bool optimise = true;   // only changed rectangles, unchanged pixels transparent where smaller
};

// Opens an animation of `width` x `height` frames written to `name` (through
// a temporary file that replaces it when the animation is closed).  An
// animation still open is closed first.  0 on success, else after the note
// "Unable to open output file.".
int gif_animation_open(const char* name, long width, long height, const GifAnimationOptions& options);
// The same with the delay and the loop switch (count 0); `frames` is the
// number of frames the caller will write.
int OpenGifAnimation(long frames, long width, long height, const char* name, int delay, int loop);
// Adds a frame: 0; 1 when it cannot be locked or has another size (the
// user was told), 2 when its indexed image cannot be built.  `delay` in
// 1/100 s, negative for the animation's.
int WriteGifFrame(Image* image, long index, int delay = -1);
// Writes the trailer and puts the file in place: 0, else after telling why.
int CloseGifAnimation();
// Gives up the animation being written; the file named stays as it was.
void gif_animation_abandon();
