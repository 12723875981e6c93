#include "timeline/timeline.h"

#include "core/app.h"
#include "core/log.h"
#include "core/mem.h"
#include "core/messages.h"
#include "ops/catalogue.h"
#include "timeline/sequence.h"

#include <algorithm>
#include <cstring>
#include <strings.h>
#include <vector>

namespace {

TimelineState g_timeline{kTimelineFreshFrames, {}, false, false, {}, 1, kTimelineFreshFrames, {100, 1, 0}};

const char* const kGridWords[kGridCount] = {"SRC", "BRU", "AREA", "OP", "ACT"};
const char* const kGridNames[kGridCount] = {"source", "brush", "area", "op", "action"};
const char* const kGridLabels[kGridCount] = {"srcs", "brus", "areas", "opts", "targs"};

const char* const kAreaModeNames[kTimelineAreaModes] = {
    "Freehand", "Polygon", "I-shape", "Rectangle", "Round Rect", "Ellipse", "Poly-arc", "Spline",
    "Bezier", "Num Rect", "Color Wand", "Entire", "Font", "Redo", "Edit Area", "Color Key"};
constexpr int kEditArea = 14;
constexpr int kColorKey = 15;

// Mix: how much of the level's operation result is kept (percent).  Repeat:
// how many times the level's operation is applied a frame.  Feather: pixels
// of feathering added to the level's area.
const LevelVariableInfo kLevelInfo[kLevelVariables] = {
    {"Mix", 0, 100, 100},
    {"Repeat", 1, 100, 1},
    {"Feather", 0, 1000, 0},
};

Cell* row_of(long level, Grid grid)
{
    Cell** rows = g_timeline.grids[static_cast<int>(grid)];
    return rows && level >= 0 && level < kTimelineLevels ? rows[level] : nullptr;
}

// The five grids are made together on the first cell set.
bool make_grids()
{
    if (timeline_has_grids())
        return true;
    for (int g = 0; g < kGridCount; ++g) {
        g_timeline.grids[g] = mem_alloc_as<Cell*>(kTimelineLevels, kGridLabels[g]);
        if (!g_timeline.grids[g]) {
            for (int k = 0; k < g; ++k)
                g_timeline.grids[k] = mem_free_t(g_timeline.grids[k]);
            return false;
        }
    }
    return true;
}

const OpSlot* whole_number_slot(int32_t command, int slot)
{
    const OpDescriptor* d = op_by_command(command);
    if (!d || slot < 0 || slot >= kOpSlots)
        return nullptr;
    const OpSlot& s = d->slots[slot];
    return s.used() && s.var && s.kind == SLOT_INT ? &s : nullptr;
}

// The trend hooks' seeding: keys at the frames whose operation cell on the
// trend's level sets its parameter.
void seed_trend(Trend* t)
{
    Cell* row = row_of(t->level, Grid::Op);
    if (!row)
        return;
    for (long f = 0; f < g_timeline.frames && f < t->frames; ++f) {
        const TimelineOp* op = cell_record<TimelineOp>(row[f]);
        if (!op)
            continue;
        for (const TimelineVar& v : op->vars)
            if (v.slot >= 0 && timeline_var_parameter(v) == t->parameter)
                trend_add_key(t, f, v.value);
    }
}

int32_t clamp32(long v)
{
    return static_cast<int32_t>(std::clamp<long>(v, INT32_MIN, INT32_MAX));
}

bool start_timeline()
{
    trend_list().hooks.seed = seed_trend;
    app_hooks().ask_timeline = timeline_ask_save;
    g_timeline.generating = false;
    g_timeline.path.clear();
    for (int i = 0; i < kLevelVariables; ++i)
        g_timeline.level_values[i] = kLevelInfo[i].fresh;
    timeline_new(kTimelineFreshFrames);
    return true;
}

void release_timeline()
{
    timeline_clear();
    trend_release();
    if (app_hooks().ask_timeline == timeline_ask_save)
        app_hooks().ask_timeline = nullptr;
}

struct TimelineSubsystem {
    TimelineSubsystem() { app_add_subsystem("timeline", start_timeline, release_timeline); }
};
TimelineSubsystem g_register;

} // namespace

const char* grid_word(Grid grid)
{
    return kGridWords[static_cast<int>(grid)];
}

bool grid_parse(const char* word, Grid* grid)
{
    for (int g = 0; g < kGridCount; ++g)
        if (strcasecmp(word, kGridWords[g]) == 0 || strcasecmp(word, kGridNames[g]) == 0) {
            *grid = static_cast<Grid>(g);
            return true;
        }
    return false;
}

const char* timeline_area_mode_name(int mode)
{
    return mode >= 0 && mode < kTimelineAreaModes ? kAreaModeNames[mode] : nullptr;
}

int timeline_area_mode_of(AreaMode mode)
{
    return mode == AreaMode::KEY ? kColorKey : static_cast<int>(mode);
}

const LevelVariableInfo& level_variable_info(int index)
{
    return kLevelInfo[std::clamp(index, 0, kLevelVariables - 1)];
}

int level_variable_find(const char* name)
{
    for (int i = 0; i < kLevelVariables; ++i)
        if (strcasecmp(name, kLevelInfo[i].name) == 0)
            return i;
    return -1;
}

TimelineState& timeline()
{
    return g_timeline;
}

// ---- the grid ------------------------------------------------------------------

namespace {

// The row of a level, made (with the grids) when it has none yet.
Cell* ensure_row(long level, Grid grid)
{
    if (Cell* row = row_of(level, grid))
        return row;
    Cell* row = make_grids() ? mem_alloc_as<Cell>(g_timeline.frames, "trow") : nullptr;
    if (!row) {
        message_show(msg::NoMemoryOperation, "loading TimeLine");
        return nullptr;
    }
    g_timeline.grids[static_cast<int>(grid)][level] = row;
    return row;
}

} // namespace

int timeline_set_cell(long level, long frame, Grid grid, Cell value)
{
    frame = std::max(0L, frame);
    if (level < 0 || level >= kTimelineLevels || frame >= g_timeline.frames)
        return 1;
    Cell* row = ensure_row(level, grid);
    if (!row)
        return 1;
    if (row[frame] != value && cell_is_record(row[frame]))
        timeline_record_free(row[frame]);
    row[frame] = value;
    g_timeline.changed = true;
    return 0;
}

Cell timeline_cell(long level, long frame, Grid grid)
{
    Cell* row = row_of(level, grid);
    return row && frame >= 0 && frame < g_timeline.frames ? row[frame] : CELL_EMPTY;
}

bool timeline_has_row(long level, Grid grid)
{
    return row_of(level, grid) != nullptr;
}

bool timeline_has_grids()
{
    for (Cell** g : g_timeline.grids)
        if (g)
            return true;
    return false;
}

int timeline_levels_in_use()
{
    for (int level = kTimelineLevels - 1; level >= 0; --level)
        for (int g = 0; g < kGridCount; ++g)
            if (row_of(level, static_cast<Grid>(g)))
                return level + 1;
    return 0;
}

int timeline_resize(long n, long m)
{
    if (m == n || m < 1 || !timeline_has_grids())
        return 0;
    std::vector<Cell**> places;
    for (Cell** rows : g_timeline.grids)
        for (int level = 0; rows && level < kTimelineLevels; ++level)
            if (rows[level])
                places.push_back(&rows[level]);
    if (m < n) {
        for (Cell** place : places) {
            Cell* row = *place;
            for (long f = m; f < n; ++f) {
                if (cell_is_record(row[f]))
                    timeline_record_free(row[f]);
                row[f] = CELL_EMPTY;
            }
            if (row[m - 1] == CELL_CONTINUE)
                row[m - 1] = CELL_END;
        }
        g_timeline.changed = true;
        return 0;
    }
    // Every row grows, or none does.
    std::vector<Cell*> grown(places.size(), nullptr);
    for (size_t i = 0; i < places.size(); ++i) {
        grown[i] = mem_alloc_as<Cell>(m, "trow");
        if (!grown[i]) {
            for (Cell*& g : grown)
                g = mem_free_t(g);
            message_show(msg::NoMemoryOperation, "loading TimeLine");
            return 1;
        }
    }
    for (size_t i = 0; i < places.size(); ++i) {
        Cell* row = *places[i];
        std::memcpy(grown[i], row, sizeof(Cell) * static_cast<size_t>(n));
        if (n > 0 && row[n - 1] == CELL_END) {
            for (long f = n - 1; f < m - 1; ++f)
                grown[i][f] = CELL_CONTINUE;
            grown[i][m - 1] = CELL_END;
        }
        mem_free(row);
        *places[i] = grown[i];
    }
    g_timeline.changed = true;
    return 0;
}

int timeline_set_frames(long frames)
{
    frames = std::clamp(frames, 2L, kTimelineMaxFrames);
    long old = g_timeline.frames;
    if (frames == old)
        return 0;
    // The rows grow all or not at all: on failure everything stays as it was.
    if (timeline_resize(old, frames) != 0)
        return 1;
    g_timeline.frames = frames;
    int status = trend_rescale_all(old, frames);
    trend_set_frames(frames);
    g_timeline.first_frame = 1;
    g_timeline.last_frame = frames;
    g_timeline.changed = true;
    return status;
}

namespace {

bool is_marker(Cell c)
{
    return c == CELL_CONTINUE || c == CELL_END;
}

// Frames first .. last of a row become `record` held over them (or empty
// when it is CELL_EMPTY).  An entry running into them from before ends at
// first - 1; one running on past them goes on from last + 1 with a copy of
// its record (a file reference advanced to the frame it would have reached
// there); markers whose record was overwritten are cleared.
void write_span(Cell* row, long first, long last, Cell record)
{
    long tail_from = -1;
    if (last + 1 < g_timeline.frames && is_marker(row[last + 1])) {
        tail_from = -2;  // markers to clear unless a record before `first` leads them
        for (long f = last; f >= 0; --f) {
            if (cell_is_record(row[f])) {
                tail_from = f < first ? f : -2;
                break;
            }
            if (row[f] == CELL_EMPTY)
                break;
        }
    }
    for (long f = first; f <= last; ++f) {
        if (cell_is_record(row[f]))
            timeline_record_free(row[f]);
        row[f] = record == CELL_EMPTY ? CELL_EMPTY : f == first ? record : f == last ? CELL_END : CELL_CONTINUE;
    }
    if (first > 0 && row[first - 1] == CELL_CONTINUE)
        row[first - 1] = CELL_END;
    if (tail_from == -1)
        return;
    Cell copy = tail_from >= 0 ? timeline_record_copy(row[tail_from], last + 1 - tail_from) : CELL_EMPTY;
    if (copy != CELL_EMPTY) {
        row[last + 1] = copy;
        return;
    }
    for (long f = last + 1; f < g_timeline.frames && is_marker(row[f]); ++f)
        row[f] = CELL_EMPTY;
}

} // namespace

int timeline_hold(long level, long first, long last, Grid grid, Cell record)
{
    first = std::max(0L, first);
    if (last < first)
        last = first;
    if (level < 0 || level >= kTimelineLevels || last >= g_timeline.frames || !cell_is_record(record) ||
        !ensure_row(level, grid)) {
        timeline_record_free(record);
        return 1;
    }
    write_span(row_of(level, grid), first, last, record);
    g_timeline.changed = true;
    return 0;
}

int timeline_clear_cells(long level, long first, long last, Grid grid)
{
    first = std::max(0L, first);
    last = std::min(last, g_timeline.frames - 1);
    Cell* row = row_of(level, grid);
    if (!row || last < first)
        return 1;
    write_span(row, first, last, CELL_EMPTY);
    g_timeline.changed = true;
    return 0;
}

long timeline_effective(long level, long frame, Grid grid)
{
    const Cell* row = row_of(level, grid);
    if (!row)
        return -1;
    long current = -1;
    for (long f = 0; f <= frame && f < g_timeline.frames; ++f) {
        if (cell_is_record(row[f]))
            current = f;
        else if (row[f] == CELL_EMPTY)
            current = -1;
    }
    return current;
}

void timeline_clear()
{
    trend_clear_all();
    // The level results kept from the last frame belong to this timeline.
    sequence_forget_levels();
    for (Cell**& rows : g_timeline.grids) {
        if (!rows)
            continue;
        for (int level = 0; level < kTimelineLevels; ++level) {
            Cell* row = rows[level];
            if (!row)
                continue;
            for (long f = 0; f < g_timeline.frames; ++f)
                if (cell_is_record(row[f]))
                    timeline_record_free(row[f]);
            rows[level] = mem_free_t(row);
        }
        rows = mem_free_t(rows);
    }
}

void timeline_new(long frames)
{
    timeline_clear();
    g_timeline.frames = std::clamp(frames, 2L, kTimelineMaxFrames);
    trend_set_frames(g_timeline.frames);
    g_timeline.first_frame = 1;
    g_timeline.last_frame = g_timeline.frames;
    g_timeline.changed = false;
    g_timeline.path.clear();
}

void timeline_mark_changed()
{
    g_timeline.changed = true;
}

// ---- records -------------------------------------------------------------------

TimelineFile* timeline_file_new(const char* name)
{
    auto* r = mem_alloc_as<TimelineFile>(1, "tfile");
    if (!r)
        return nullptr;
    r->kind = TL_FILE;
    r->reload = 0;
    r->start = 1;
    r->increment = 0;
    std::snprintf(r->name, sizeof r->name, "%s", name ? name : "");
    return r;
}

TimelineOp* timeline_op_new(int32_t command)
{
    auto* r = mem_alloc_as<TimelineOp>(1, "opset");
    if (!r)
        return nullptr;
    r->kind = TL_OP;
    r->command = command;
    for (TimelineVar& v : r->vars)
        v.slot = -1;
    return r;
}

TimelineArea* timeline_area_new()
{
    auto* r = mem_alloc_as<TimelineArea>(1, "tarea");
    if (!r)
        return nullptr;
    r->kind = TL_AREA;
    r->mode = static_cast<int16_t>(timeline_area_mode_of(AreaMode::ENTIRE));
    std::snprintf(r->font_name, sizeof r->font_name, "Arial");
    r->font_w = r->font_h = 1;
    r->use = 1;
    return r;
}

Cell timeline_record_copy(Cell record, long advance)
{
    if (!cell_is_record(record))
        return CELL_EMPTY;
    const uint16_t kind = *reinterpret_cast<const uint16_t*>(record);
    if (kind == TL_FILE) {
        auto* r = mem_alloc_as<TimelineFile>(1, "tfile");
        if (!r)
            return CELL_EMPTY;
        *r = *reinterpret_cast<const TimelineFile*>(record);
        r->start = clamp32(static_cast<long>(r->start) + static_cast<long>(r->increment) * advance);
        return as_cell(r);
    }
    if (kind == TL_OP) {
        auto* r = mem_alloc_as<TimelineOp>(1, "opset");
        if (r)
            *r = *reinterpret_cast<const TimelineOp*>(record);
        return as_cell(r);
    }
    const auto* a = reinterpret_cast<const TimelineArea*>(record);
    auto* r = mem_alloc_as<TimelineArea>(1, "tarea");
    if (!r)
        return CELL_EMPTY;
    *r = *a;
    r->points = nullptr;
    if (a->points && a->point_count > 0) {
        r->points = mem_alloc_as<AreaPoint>(a->point_count, "tapt");
        if (!r->points) {
            mem_free(r);
            return CELL_EMPTY;
        }
        std::copy(a->points, a->points + a->point_count, r->points);
    }
    return as_cell(r);
}

void timeline_record_free(Cell record)
{
    if (!cell_is_record(record))
        return;
    auto* kind = reinterpret_cast<uint16_t*>(record);
    if (*kind == TL_AREA)
        mem_free(reinterpret_cast<TimelineArea*>(record)->points);
    mem_free(reinterpret_cast<void*>(record));
}

int timeline_op_set(TimelineOp* op, int slot, int32_t value)
{
    const OpSlot* s = whole_number_slot(op->command, slot);
    if (!s)
        return 1;
    value = clamp32(std::clamp<long>(value, static_cast<long>(std::max<double>(s->typed_min, INT32_MIN)),
                                     static_cast<long>(std::min<double>(s->typed_max, INT32_MAX))));
    for (TimelineVar& v : op->vars)
        if (v.slot == slot) {
            v.value = value;
            return 0;
        }
    for (TimelineVar& v : op->vars)
        if (v.slot < 0) {
            v.slot = static_cast<int16_t>(slot);
            v.value = value;
            v.command = op->command;
            return 0;
        }
    return 1;
}

TimelineOp* timeline_op_capture(int32_t command)
{
    const OpDescriptor* d = op_by_command(command);
    if (!d)
        return nullptr;
    TimelineOp* op = timeline_op_new(command);
    if (!op)
        return nullptr;
    for (int i = 0; i < kOpSlots; ++i)
        if (whole_number_slot(command, i))
            timeline_op_set(op, i, *static_cast<const int32_t*>(d->slots[i].var));
    return op;
}

const char* timeline_var_name(const TimelineVar& var)
{
    const OpSlot* s = var.slot >= 0 ? whole_number_slot(var.command, var.slot) : nullptr;
    return s && s->label ? s->label : "";
}

int timeline_op_var_count(const TimelineOp* op)
{
    int n = 0;
    for (const TimelineVar& v : op->vars)
        n += v.slot >= 0;
    return n;
}

int32_t* timeline_var_parameter(const TimelineVar& var)
{
    const OpSlot* s = var.slot >= 0 ? whole_number_slot(var.command, var.slot) : nullptr;
    return s ? static_cast<int32_t*>(s->var) : nullptr;
}

TimelineArea* timeline_area_capture(const AreaSettings& s, const char* shape_name)
{
    TimelineArea* a = timeline_area_new();
    if (!a)
        return nullptr;
    const bool curve = s.mode == AreaMode::POLYARC || s.mode == AreaMode::SPLINE || s.mode == AreaMode::BEZIER;
    const std::vector<AreaPoint>& pts = curve ? s.control : s.points;
    if (!pts.empty()) {
        a->points = mem_alloc_as<AreaPoint>(static_cast<long>(pts.size()), "tapt");
        if (!a->points) {
            timeline_record_free(as_cell(a));
            return nullptr;
        }
        std::copy(pts.begin(), pts.end(), a->points);
        a->point_count = static_cast<int32_t>(pts.size());
    }
    a->mode = static_cast<int16_t>(timeline_area_mode_of(s.mode));
    a->image_w = clamp32(s.src_width);
    a->image_h = clamp32(s.src_height);
    a->center_x = clamp32(s.pos_x);
    a->center_y = clamp32(s.pos_y);
    long box[4];
    area_box_of(s, box);
    for (int i = 0; i < 4; ++i)
        a->pos[i] = clamp32(box[i]);
    a->font_w = s.mag_x;
    a->font_h = s.mag_y;
    a->font_rot = s.rotation;
    a->font_shear = s.shear;
    std::snprintf(a->font_name, sizeof a->font_name, "%s", s.font_name.c_str());
    a->font_point = clamp32(s.font_size);
    a->font_pos_x = a->center_x;
    a->font_pos_y = a->center_y;
    std::snprintf(a->font_text, sizeof a->font_text, "%s", s.text.c_str());
    std::snprintf(a->shape_name, sizeof a->shape_name, "%s", shape_name ? shape_name : "");
    a->roundness = clamp32(s.roundness);
    a->tran_level = clamp32(s.tran_level);
    a->tran_edge = clamp32(s.tran_edge);
    a->tran_grow = clamp32(s.tran_grow);
    a->modify = s.combination1;
    a->exclude = s.combination2;
    for (int c = 0; c < 3; ++c) {
        a->key[c] = static_cast<int16_t>(std::clamp(s.key[c], 0L, 255L));
        a->range[c] = a->range2[c] = static_cast<int16_t>(std::clamp(s.range[c], 0L, 255L));
    }
    a->feather = clamp32(s.feather);
    a->key_space = static_cast<int16_t>(s.key_space);
    a->posf_x = a->center_x;
    a->posf_y = a->center_y;
    return a;
}

void timeline_area_restore(const TimelineArea* a, AreaSettings& s)
{
    int mode = a->mode == kEditArea ? static_cast<int>(AreaMode::REDO)
               : a->mode == kColorKey ? static_cast<int>(AreaMode::KEY)
                                      : std::clamp<int>(a->mode, 0, kAreaModeCount - 1);
    s.mode = static_cast<AreaMode>(mode);
    s.src_width = a->image_w;
    s.src_height = a->image_h;
    const bool flood = s.mode == AreaMode::FLOOD || s.mode == AreaMode::KEY;
    s.pos_x = flood ? a->posf_x : s.mode == AreaMode::FONT ? a->font_pos_x : a->center_x;
    s.pos_y = flood ? a->posf_y : s.mode == AreaMode::FONT ? a->font_pos_y : a->center_y;
    s.pos_set = true;
    s.rad_x = (static_cast<long>(a->pos[2]) - a->pos[0]) / 2;
    s.rad_y = (static_cast<long>(a->pos[3]) - a->pos[1]) / 2;
    for (int i = 0; i < 4; ++i)
        s.box[i] = a->pos[i];
    s.mag_x = a->font_w;
    s.mag_y = a->font_h;
    s.rotation = a->font_rot;
    s.shear = a->font_shear;
    s.font_name = a->font_name;
    s.font_size = a->font_point;
    s.text = a->font_text;
    s.roundness = a->roundness;
    s.tran_level = a->tran_level;
    s.tran_edge = a->tran_edge;
    s.tran_grow = a->tran_grow;
    s.feather = a->feather;
    s.combination1 = a->modify;
    s.combination2 = a->exclude;
    for (int c = 0; c < 3; ++c) {
        s.key[c] = a->key[c];
        s.range[c] = a->range[c];
    }
    s.key_space = a->key_space ? KeySpace::HSL : KeySpace::RGB;
    const bool curve = s.mode == AreaMode::POLYARC || s.mode == AreaMode::SPLINE || s.mode == AreaMode::BEZIER;
    std::vector<AreaPoint>& pts = curve ? s.control : s.points;
    pts.assign(a->points, a->points + (a->points ? a->point_count : 0));
}

// ---- trends --------------------------------------------------------------------

Trend* timeline_var_trend(long level, int32_t command, int slot)
{
    const OpSlot* s = whole_number_slot(command, slot);
    if (!s || level < 0 || level >= kTimelineLevels)
        return nullptr;
    trend_list().current_level = level;
    auto low = static_cast<int32_t>(std::max<double>(s->typed_min, INT32_MIN));
    auto high = static_cast<int32_t>(std::min<double>(s->typed_max, INT32_MAX));
    Trend* t = trend_make(static_cast<const int32_t*>(s->var), command, s->label, low, high, 0);
    if (t)
        g_timeline.changed = true;
    return t;
}

Trend* timeline_level_trend(long level, int variable)
{
    if (variable < 0 || variable >= kLevelVariables || level < 0 || level >= kTimelineLevels)
        return nullptr;
    trend_list().current_level = level;
    const LevelVariableInfo& info = kLevelInfo[variable];
    Trend* t = trend_make(&g_timeline.level_values[variable], 0, info.name, info.low, info.high, 0);
    if (t)
        g_timeline.changed = true;
    return t;
}

int timeline_ask_save()
{
    if (timeline_levels_in_use() == 0 || !g_timeline.changed)
        return 0;
    ui::Answer a = message_ask(msg::TimelineChanged, ui::Ask::SaveDiscardCancel,
                               g_timeline.path.empty() ? nullptr : g_timeline.path.c_str());
    if (a == ui::Answer::Cancel)
        return 1;
    if (a != ui::Answer::Save)
        return 0;
    std::string path = ui::platform().choose_file(true, "Save TimeLine", "TimeLine (*.tml)", g_timeline.path);
    if (path.empty())
        return 1;
    return timeline_save(path.c_str()) == 0 ? 0 : 1;
}
