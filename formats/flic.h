// Autodesk FLI and FLC animations: one chosen frame read as an image, and
// files written one frame at a time (a new one-frame file, or a further
// delta-compressed frame appended with a new ring frame).
#pragma once

#include "formats/codecs.h"

#include <cstdint>
#include <cstdio>

struct Image;

// The 128-byte file header.
struct FlicHeader {
    long size;
    int magic;  // 0xAF11 FLI, 0xAF12 FLC
    long frames;
    int width, height, depth, flags;
    long speed;           // FLC: milliseconds a frame; FLI: 1/70 s in the low 16 bits
    long frame1, frame2;  // offsets of frames 1 and 2 (FLC)
};

// Reads the header at offset 0: 0; 1 when it is short; 2 when it carries
// neither magic.  Nothing is shown.
int flic_read_header(FILE* stream, FlicHeader* header);

// The decoding state of one file: the index frame after the frame `at`
// (0-based) and its palette, frame 1 and its palette (the ring frame leads
// back to it), and where the next frame chunk starts.
struct FlicState {
    long width = 0, height = 0;
    long at = -1;      // the frame shown, -1 none yet
    long next = 128;   // where the next frame chunk starts
    long second = 0;   // where frame 2 starts, 0 while unknown
    uint8_t* frame = nullptr;  // "area": width x height indices
    uint8_t* first = nullptr;  // "ring": frame 1, once decoded
    uint8_t palette[768] = {};
    uint8_t first_palette[768] = {};
    // The file it belongs to.
    unsigned long device = 0, inode = 0;
    long size = 0;
    long long mtime = 0;

    ~FlicState() { release(); }
    void release();
    bool allocate(long width, long height);  // false when memory ran out (nothing shown)
};

// Frames of a FLIC file decoded in order.  The state after the last frame
// decoded is kept when the reader closes, for the same file (same inode,
// size and modification time): reading the frames of a long animation in
// order, or appending frame after frame, never decodes from the start again.
class FlicFrames {
public:
    FlicFrames() = default;
    ~FlicFrames();
    FlicFrames(const FlicFrames&) = delete;
    FlicFrames& operator=(const FlicFrames&) = delete;

    // Opens the file (or reads `stream`, which stays the caller's) and
    // reads its header; 0, else after telling the user why (message 6 or
    // 24, or the note about the magic).
    int open(const char* name, FILE* stream = nullptr);
    const FlicHeader& header() const { return header_; }

    // Decodes up to frame `index` (0-based; limited to the header's count
    // minus 1, and to 0).  Returns the frame now shown; a frame that fails
    // to decode ends the decoding there ("Problem at FLC frame" in the
    // log), keeping what it drew.  -1 when memory ran out (reported).
    long seek(long index);
    bool failed() const { return failed_; }
    // Frame 1 could not be read at all: there is no picture.
    bool empty() const { return empty_; }
    // Gives up the state instead of keeping it.
    void discard();
    const FlicState& state() const { return st_; }

    // A new image of the frame shown (label "iflc"); null after telling why.
    Image* image();

private:
    bool start();

    FILE* file_ = nullptr;
    bool own_file_ = false;
    const char* name_ = "";
    long file_size_ = 0;
    FlicHeader header_{};
    FlicState st_;
    bool failed_ = false;
    bool empty_ = false;
};

// The load dispatch's reader: the frame chosen through formats_state()
// (the workstation's frame dialog, else the frame asked for, else the
// first), limited to the last frame.  The image's frame number is the frame
// read (1 the first), its frame count that of the file.
Image* ReadFlic(const LoadRequest& request);
int flic_info(const LoadRequest& request, ImageInfo* info);

// Writes the image as frame `position` + 1 of an FLC file into `name`.
// With position 0, or when `existing` (the file added to) does not exist, a
// one-frame file; otherwise frames 1 to `position` of `existing` (all it
// holds when it has fewer), a delta frame of the image and a new ring frame
// leading back to frame 1.  `existing` is only read, unless it is `name`
// itself: a file of the caller's own (a temporary one) then grows in place
// instead of being copied for every frame.  Messages name
// `shown` (by default `existing` when adding, else `name`).  0 on success,
// 1 after telling the user why.
int WriteFlicFrame(Image* image, const char* name, long position, const char* existing = nullptr,
                   const char* shown = nullptr);
// The save entry's writer: the frame position kept in formats_state().
int write_flic(Image* image, const char* name, const SaveRequest& request);

// Forgets the kept decoding state (shut-down, tests).
void flic_forget();

// ---- the packers -------------------------------------------------------------
// Byte-run coding of a whole frame (type 15); `out` holds at least
// flic_brun_bound(width, height) bytes.  Returns the bytes used.
long flic_brun_bound(long width, long height);
long flic_pack_brun(const uint8_t* frame, long width, long height, uint8_t* out);
// Word-delta coding (type 7) of `frame` against `last`; `out` holds at least
// flic_delta_bound(width, height) bytes.  Returns the bytes used.
long flic_delta_bound(long width, long height);
long flic_pack_delta(const uint8_t* frame, const uint8_t* last, long width, long height, uint8_t* out);
// Decodes one sub-chunk of `type` (4, 7, 11, 12, 13, 15, 16; others are
// skipped) into the index frame and palette; false when the frame must stop.
bool flic_decode_chunk(int type, const uint8_t* data, long size, uint8_t* frame, long width, long height,
                       uint8_t* palette);
