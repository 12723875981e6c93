// Trends: one integer parameter animated over the frames of a sequence.
//
// The user places keys (frame, value); the trend gives a value for every
// frame, by straight lines between the keys or by a spline through them.
// A trend is tied to its parameter (the address of the variable it drives)
// and to a timeline level.  The timeline owns the frame count and hands it
// to the trends with trend_set_frames / trend_rescale_all.
#pragma once

#include <cstdint>
#include <cstdio>

struct Trend {
    const void* parameter;        // the trended variable: its identity
    long owner;                   // given at creation (the operation's command, 0 for a level setting)
    void* window;                 // the trend window showing it, or null
    int32_t range_low, range_high;  // given at creation, saved with the trend
    int32_t limit_low, limit_high;  // the clamp of spline values
    int32_t key_count;
    int32_t* key_frames;          // "trnx": frames + 2 places, strictly increasing
    int32_t* key_values;          // "trny"
    int32_t* values;              // "trna": the value of every frame 0 .. frames - 1
    int16_t creation;             // given at creation, saved with the trend
    int16_t splined;              // spline (non-zero) or straight lines
    long level;                   // the timeline level it belongs to (from 0)
    long frames;                  // frames its arrays were made for
    char name[64];                // the parameter's name ("Amount")
};

// What the timeline and the trend windows contribute.
struct TrendHooks {
    // Adds keys from the timeline's cells that set the trend's parameter.
    void (*seed)(Trend* trend) = nullptr;
    // A trend whose keys or size changed: its window redraws.
    void (*redraw)(Trend* trend) = nullptr;
    // A trend about to go: its window closes (trend->window is set).
    void (*forget_window)(Trend* trend) = nullptr;
};

struct TrendList {
    Trend** items;     // "trds" (grown: "ttds")
    int count;
    int capacity;
    long frames;       // the frame count trends are computed over (at least 1)
    bool per_level;    // trends are found on the current level only
    long current_level;
    TrendHooks hooks;
};

TrendList& trend_list();
// The frame count new trends are made for; existing trends are not touched
// (trend_rescale_all rescales them).
void trend_set_frames(long frames);

// The last trend of the parameter; with per-level trends on, only trends of
// the current level count.
Trend* trend_find(const void* parameter);
// The last trend with both the parameter and the level.
Trend* trend_find_at(const void* parameter, long level);

// The trend of the parameter on the current level, made when there is none:
// two keys, at frame 0 and the last frame, with the parameter's current
// value (*parameter, a 32-bit integer), then keys seeded from the timeline.
// Null (memory shortage reported, nothing kept) when memory is short.
Trend* trend_make(const int32_t* parameter, long owner, const char* text, int32_t range_low, int32_t range_high,
                  int16_t creation);

// Puts a key at a frame (replacing the value of a key already there) and
// recomputes.  1 when the frame lies outside 0 .. frames - 1.
int trend_add_key(Trend* trend, long frame, int32_t value);
// Replaces all keys (pairs need not be in order; a repeated frame keeps its
// last value; frames outside the trend are dropped) and recomputes.  1 when
// no pair was usable: the keys stay as they were.
int trend_set_keys(Trend* trend, const int32_t* frames, const int32_t* values, int count);
// Moves key `index` to (frame, value); the frame is kept strictly between
// its neighbours' frames.  Returns the frame it got.
long trend_move_key(Trend* trend, int index, long frame, int32_t value);
// Removes a key; the first and last keys and a trend of two keys keep theirs.
// 1 when refused.
int trend_remove_key(Trend* trend, int index);
// The key at a frame, or -1.
int trend_key_at(const Trend* trend, long frame);

void trend_recompute(Trend* trend);
// The value at a frame (frames beyond the table take the nearest end).
int32_t trend_value(const Trend* trend, long frame);

// Frame count m to n (m > 1): each key frame x becomes x (n - 1) / (m - 1),
// a key landing on its predecessor's frame goes, the tables are made for n
// frames and recomputed.  1 when memory ran short (reported; the trends that
// could not grow keep their old tables).
int trend_rescale_all(long old_frames, long new_frames);

// "Trend[%s] ..." with the keys twenty to a line, or "NoTrend[%s]".
void trend_write(FILE* stream, const void* parameter, const char* name);

// Removes one trend (its window is told first).
void trend_remove(Trend* trend);
// Removes every trend (the list is made again for the next).
void trend_clear_all();
// Releases everything (shut-down).
void trend_release();
