// The film strip: the frames of one animation held in memory, its film file
// (FLM, magic "MFLM"), and its exports to FLC, GIF, MNG and AVI.
//
// One film per program.  Slots are equally sized full-colour images; a slot
// is empty until a frame is placed in it.  Sequence generation fills the
// slots one by one, the film-strip window shows and plays them.
#pragma once

#include "formats/codecs.h"

#include <cstdint>

struct Image;

// Limits of a film file.
constexpr long kFilmMaxFrames = 4096;
constexpr long kFilmMaxSide = 1024;

struct FilmState {
    long frames = 0;          // slots
    long width = 0, height = 0;
    Image** slots = nullptr;  // frame array, null until allocated
    uint8_t* used = nullptr;  // "FmUsed": frames + 1024 entries, 1 where a frame was placed
    bool redraw = false;      // the film window must redraw
    long last_drawn = -1;     // the frame the window drew last, -1 none
    long current = 0;         // the window's current frame
    // The film window: told when the film changed (`relayout` when the
    // frame count or the size changed).  Null while no window is open.
    void (*changed)(bool relayout) = nullptr;
};

FilmState& film_state();

// What an export writes besides the frames.
struct FilmExportOptions {
    int delay = -1;               // hundredths of a second a frame; -1: "FilmSpeed"
    bool loop = true;             // play for ever
    bool pingpong = false;        // forward, then back (three frames or more)
    bool common_palette = false;  // one palette for the whole animation
    bool mjpeg = false;           // AVI: MJPEG frames instead of uncompressed 24-bit
};
// The frame delay the options stand for, in hundredths of a second.
int film_delay(const FilmExportOptions& options);

// The workstation's dialog "GIFPARMS" (delay, loop, ping-pong, common
// palette); false when the user cancelled.  Without it the options are
// used as they are.
void film_set_parameters_dialog(bool (*dialog)(FilmExportOptions& options));

// (Re)creates the used flags and the frame array for the current frame
// count, releasing the frames held.  0, or 1 after telling the user why.
int AllocateFilm();
// A new empty film of `frames` slots of `width` x `height` (AllocateFilm).
int film_create(long frames, long width, long height);
// Releases every frame and the arrays.
void film_release();

// Puts an image into slot `index`, fitted and centred on the background
// colour ("BackColor"); with "Filmstrip blend alpha" an image with alpha is
// blended over "AlphaColor".  Indices outside the film are ignored (0).
// 0, or 1 after telling the user why.
int PlaceFrame(Image* image, long index);

// Slots holding a frame.
long film_filled();
// The image of a slot, null when it is empty.
Image* film_frame(long index);

// The film file.  0 on success, 1 after telling the user why.  LoadFilm
// also takes FLIC files (and AVI files when the video library is there),
// whose frames replace the film's.
int SaveFilm(const char* name);
int LoadFilm(const char* name);

// The frame a multi-frame file is read at when it is loaded as one image:
// 0-based, limited to `frames` - 1 when the count is known; negative when
// the user cancelled the frame dialog.
long film_choose_frame(long frames, double seconds_per_frame);

// The load dispatch's reader of one frame of a film file, and its header.
Image* ReadFilmFrame(const LoadRequest& request);
int film_info(const LoadRequest& request, ImageInfo* info);

// The exports.  Each first needs a film with a placed frame (message 19),
// warns when a slot is empty (message 74) and asks for the file name (the
// headless platform takes `suggested`).  An empty slot is written as the
// background colour.  0 on success, 1 after telling the user why; the file
// named is replaced only when the whole export succeeds.
int ExportFilmFlic(const char* suggested, const FilmExportOptions& options);
int ExportFilmAvi(const char* suggested, const FilmExportOptions& options);
int ExportFilmGif(const char* suggested, const FilmExportOptions& options);
int ExportFilmMng(const char* suggested, const FilmExportOptions& options);
// The film dialogs: "Save Film strip" and "Load Film strip".
int film_save_dialog(const char* suggested);
int film_load_dialog(const char* suggested);

// The common palette of the whole film ("Generating palette"): colours in
// the three arrays, their count returned; 0 when memory ran out or the user
// cancelled.
int film_common_palette(uint8_t* red, uint8_t* green, uint8_t* blue);

// The order of the frames an animation export writes: 0..n-1 and, with
// ping-pong and at least three frames, n-2 down to 1.
long film_export_count(long frames, bool pingpong);
long film_export_frame(long step, long frames);
