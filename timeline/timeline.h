// The timeline: an animation described as a grid of up to 100 levels, each
// a row of frames.  For every level and frame five grids may hold an entry:
// the image to act on (action), the source and brush images, the area to
// select and the operation to apply.  An entry held over frames f to g is
// its record at f, continuation markers at f + 1 .. g - 1 and an end marker
// at g.  Operation variables and three settings of each level may vary over
// the frames through trends (expr/trend.h).
//
// The sequence generator walks the grid frame by frame and level by level
// (timeline_effective gives the entry in force at a frame).
#pragma once

#include "areas/area.h"
#include "expr/trend.h"

#include <cstdint>
#include <string>

constexpr int kTimelineLevels = 100;
constexpr int kTimelineVars = 55;           // variables of an operation record
constexpr int kTimelineNameMax = 315;       // a file reference's name
constexpr int kTimelinePfileMax = 255;      // an operation record's parameter file
constexpr long kTimelineFreshFrames = 7;
// The most frames a timeline holds: a file asking for more is cut to this.
constexpr long kTimelineMaxFrames = 30000;

// The five grids, in the order the file writes a frame's cells.
enum class Grid : int { Source = 0, Brush = 1, Area = 2, Op = 3, Action = 4 };
constexpr int kGridCount = 5;
// "SRC", "BRU", "AREA", "OP", "ACT".
const char* grid_word(Grid grid);
// A grid by its word or its name ("source", "brush", "action", "area", "op"), case ignored.
bool grid_parse(const char* word, Grid* grid);

// A cell: empty, one of the two markers, or a record the cell owns (the
// value is the record's address, so cells are pointer-sized).
using Cell = uintptr_t;
constexpr Cell CELL_EMPTY = 0;
constexpr Cell CELL_CONTINUE = 1;  // "=": the entry of an earlier frame goes on
constexpr Cell CELL_END = 2;       // "==": it goes on and ends here
constexpr bool cell_is_record(Cell c) { return c > 10; }

enum TimelineRecordKind : uint16_t { TL_FILE = 1, TL_OP = 2, TL_AREA = 3 };

// A file reference ("tfile") of the source, brush and action grids.
struct TimelineFile {
    uint16_t kind;     // TL_FILE
    int16_t reload;    // V: read the file again rather than reuse an open image of it
    int32_t start;     // S: the frame of a multi-frame file at the entry's first frame, from 1
    int32_t increment; // I: frames of the file to advance per timeline frame
    char name[kTimelineNameMax + 1];  // a path, or "Level(n)": level n's result (from 1)
};

// One variable of an operation record: which parameter slot it sets and
// the value.  Unused variables have slot -1.
struct TimelineVar {
    int16_t slot;      // index into the operation's parameter slots
    int32_t value;
    int32_t command;   // the operation the slot belongs to
};

// An operation record ("opset").
struct TimelineOp {
    uint16_t kind;     // TL_OP
    int32_t command;
    int16_t interpolate;  // 1: interpolate the variables between keyed frames
    TimelineVar vars[kTimelineVars];
    char pfile[kTimelinePfileMax + 1];  // "Pfile": a parameter file, empty when none
};

// An area record ("tarea"): the area description as the timeline keeps it.
// Modes are those of the mode names below; 14 ("Edit Area") has no tool of
// its own and is selected as "Redo".
struct TimelineArea {
    uint16_t kind;     // TL_AREA
    int16_t mode;      // index into timeline_area_mode_name
    int32_t image_w, image_h;     // "Image": the size the area was made on
    int32_t center_x, center_y;   // "Center"
    int32_t pos[4];               // "Pos": left, top, right, bottom
    double font_w, font_h, font_rot, font_shear;
    char font_name[64];
    int32_t font_point;
    int32_t font_pos_x, font_pos_y;
    char font_text[kAreaTextMax + 1];
    char shape_name[64];
    int32_t roundness;
    int32_t tran_level, tran_edge, tran_grow;
    int16_t interpolate, splined, prompt;
    int16_t modify;               // how the area meets the selection in force (AreaCombination)
    int16_t exclude;              // the area is complemented first
    int16_t key[3], range[3];
    int16_t use;
    int32_t feather;
    int16_t range2[3];            // the wand's and key's second range line
    int16_t on_hue;
    int16_t key_space;            // 0 RGB, 1 HSL
    int32_t posf_x, posf_y;       // the wand's seed point
    int32_t point_count;
    AreaPoint* points;            // "tapt"
};
constexpr int kTimelineAreaModes = 16;
// "Freehand", "Polygon", "I-shape", "Rectangle", "Round Rect", "Ellipse",
// "Poly-arc", "Spline", "Bezier", "Num Rect", "Color Wand", "Entire",
// "Font", "Redo", "Edit Area", "Color Key"; null beyond.
const char* timeline_area_mode_name(int mode);
int timeline_area_mode_of(AreaMode mode);

// The three settings of a level that level trends drive.
enum LevelVariable : int { LEVEL_MIX = 0, LEVEL_REPEAT = 1, LEVEL_FEATHER = 2 };
constexpr int kLevelVariables = 3;
struct LevelVariableInfo {
    const char* name;   // "Mix", "Repeat", "Feather"
    int32_t low, high, fresh;
};
const LevelVariableInfo& level_variable_info(int index);
// -1 when the name (case ignored) is none of them.
int level_variable_find(const char* name);

struct TimelineState {
    long frames;                      // 7 fresh, never below 2 after loading
    Cell** grids[kGridCount];         // 100 level rows each; all five made on the first cell set
    bool changed;                     // set by edits, cleared by a successful save
    bool generating;                  // a sequence is being generated
    std::string path;                 // the file last loaded or saved
    long first_frame, last_frame;     // the range to generate, from 1
    int32_t level_values[kLevelVariables];  // the level settings trends drive (their identity)
};
TimelineState& timeline();

// ---- the grid ------------------------------------------------------------

// Sets a cell (level and frame from 0; a negative frame is taken as 0).  A
// record the cell held before is released.  0 done; 1 when the level is
// out of range or the frame not below the frame count, or the row cannot be
// made (message 22 with "loading TimeLine"); the value is then not taken.
int timeline_set_cell(long level, long frame, Grid grid, Cell value);
Cell timeline_cell(long level, long frame, Grid grid);
bool timeline_has_row(long level, Grid grid);
// The highest level with any row, plus one.
int timeline_levels_in_use();
bool timeline_has_grids();

// The grids from n to m frames (rows only).  1 when a row could not be made.
int timeline_resize(long old_frames, long new_frames);
// Changes the frame count: the grids, the trends and the range to generate.
int timeline_set_frames(long frames);

// Holds a record over frames first .. last with the markers.  An entry that
// ran into these frames ends before them; markers after them that carried
// an entry now cut off are cleared.  The record is the cell's (released
// when this fails).  0 done; 1 refused as timeline_set_cell.
int timeline_hold(long level, long first, long last, Grid grid, Cell record);
// Empties frames first .. last of a row, as timeline_hold tidies.
int timeline_clear_cells(long level, long first, long last, Grid grid);
// The frame of the record in force at a frame (walking the row from frame
// 0: a record makes itself current, markers keep it, an empty cell clears
// it), or -1 when there is none.
long timeline_effective(long level, long frame, Grid grid);

// Releases rows, records and trends; the frame count stays.
void timeline_clear();
// An empty timeline of that many frames (at least 2), unchanged.
void timeline_new(long frames = kTimelineFreshFrames);
void timeline_mark_changed();

// ---- records ---------------------------------------------------------------

TimelineFile* timeline_file_new(const char* name);
TimelineOp* timeline_op_new(int32_t command);
TimelineArea* timeline_area_new();
// A copy of a record (CELL_EMPTY when memory is short); a file reference's
// start moves on by `advance` frames of its increment.
Cell timeline_record_copy(Cell record, long advance = 0);
// Releases any record (file, operation or area).
void timeline_record_free(Cell record);
inline Cell as_cell(const void* record) { return reinterpret_cast<Cell>(record); }
template <class T>
T* cell_record(Cell c)
{
    return cell_is_record(c) ? reinterpret_cast<T*>(c) : nullptr;
}

// Sets a variable of an operation record: the slot's variable when it has
// one, else the next unused one.  1 when the slot is not a whole-number
// parameter of the operation or all 55 are used.
int timeline_op_set(TimelineOp* op, int slot, int32_t value);
// An operation record holding every whole-number parameter of the operation
// at its current value; null for an unknown operation or no memory.
TimelineOp* timeline_op_capture(int32_t command);
// The variable's name (the slot's label), "" when unused.
const char* timeline_var_name(const TimelineVar& var);
int timeline_op_var_count(const TimelineOp* op);
// The parameter a variable sets (its identity for trends), or null.
int32_t* timeline_var_parameter(const TimelineVar& var);

// The record of the current area settings, and back.
TimelineArea* timeline_area_capture(const AreaSettings& settings, const char* shape_name);
void timeline_area_restore(const TimelineArea* area, AreaSettings& settings);

// ---- trends of the timeline --------------------------------------------

// The trend of an operation variable on a level, made when there is none.
Trend* timeline_var_trend(long level, int32_t command, int slot);
// The trend of a level setting, made when there is none.
Trend* timeline_level_trend(long level, int variable);

// ---- files -----------------------------------------------------------------

// Writes the timeline.  0, or 1 when the file cannot be made (message 84 with
// the path) or written (message 26).  A successful save clears the changed flag.
int timeline_save(const char* path);
// Reads a timeline in place of the current one.  0, or 1: not opened
// (message 71 with the path), no lines (14), not a timeline (17); a row that
// cannot be made stops the reading (22) and keeps what was read.
int timeline_load(const char* path);

// Message 85 when levels are in use and the timeline changed: save,
// discard or cancel.  0 go on; 1 cancelled or the save failed.
int timeline_ask_save();
