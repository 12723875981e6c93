// vq timeline: make and edit timeline files without the workstation.
#include "app/vq/command.h"
#include "app/vq/save_options.h"
#include "areas/area.h"
#include "areas/area_file.h"
#include "core/image.h"
#include "core/settings.h"
#include "core/undo.h"
#include "formats/load_save.h"
#include "ops/catalogue.h"
#include "ops/op_values.h"
#include "render/reduce.h"
#include "timeline/sequence.h"
#include "timeline/timeline.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <strings.h>
#include <vector>

namespace {

int usage(const std::string& text)
{
    return vq::usage_error("timeline", text);
}

// The option value after `word`; empty (usage reported) when missing.
bool take(vq::Args& args, const std::string& word, std::string& out)
{
    if (args.done() || args.peek().empty()) {
        usage(word + " needs a value");
        return false;
    }
    out = args.next();
    return true;
}

bool parse_frames(const std::string& text, long& frames)
{
    return vq::parse_long(text, frames) && frames >= 2 && frames <= kTimelineMaxFrames;
}

const char* const kFramesRange = "--frames takes a number of 2 to 30000";

// Loads the timeline a job works on.
bool load(const std::string& file)
{
    return timeline_load(file.c_str()) == 0;
}

// Every job ends with the file written (or left alone): nothing is asked at
// shut-down.
int finish(int status)
{
    timeline_new();
    return status;
}

int save(const std::string& file)
{
    return finish(timeline_save(file.c_str()) == 0 ? vq::EXIT_DONE : vq::EXIT_FAILED);
}

bool valid_name(const std::string& name, std::string& error)
{
    if (name.empty() || name.size() > static_cast<size_t>(kTimelineNameMax)) {
        error = "a file name of 1 to 315 characters";
        return false;
    }
    if (name.find_first_of("\"\n\r") != std::string::npos) {
        error = "a file name without double quotes or line breaks";
        return false;
    }
    return true;
}

// ---- new, resize ----------------------------------------------------------------

int run_new(vq::Args& args)
{
    std::string file, value;
    long frames = kTimelineFreshFrames;
    while (!args.done()) {
        std::string w = args.next();
        if (w == "--frames") {
            if (!take(args, w, value))
                return vq::EXIT_USAGE;
            if (!parse_frames(value, frames))
                return usage(kFramesRange);
        } else if (w.size() > 1 && w[0] == '-') {
            return vq::unknown_option("timeline", w);
        } else if (file.empty()) {
            file = w;
        } else {
            return usage("new takes one file");
        }
    }
    if (file.empty())
        return usage("new needs the timeline file to write");
    timeline_new(frames);
    return save(file);
}

int run_resize(vq::Args& args)
{
    std::string file, value;
    long frames = 0;
    while (!args.done()) {
        std::string w = args.next();
        if (w == "--frames") {
            if (!take(args, w, value))
                return vq::EXIT_USAGE;
            if (!parse_frames(value, frames))
                return usage(kFramesRange);
        } else if (w.size() > 1 && w[0] == '-') {
            return vq::unknown_option("timeline", w);
        } else if (file.empty()) {
            file = w;
        } else {
            return usage("resize takes one file");
        }
    }
    if (file.empty() || frames == 0)
        return usage("resize needs a timeline file and --frames N");
    if (!load(file))
        return finish(vq::EXIT_FAILED);
    if (timeline_set_frames(frames) != 0)
        return finish(vq::EXIT_FAILED);
    return save(file);
}

// ---- set ------------------------------------------------------------------------

// "F" or "F-G", from 1.
bool parse_span(const std::string& text, long& first, long& last)
{
    size_t dash = text.find('-', 1);
    if (dash == std::string::npos)
        return vq::parse_long(text, first) && (last = first, true);
    return vq::parse_long(text.substr(0, dash), first) && vq::parse_long(text.substr(dash + 1), last);
}

// The whole-number slots NAME=VALUE words (or values in order) set; false
// with `error` when one would set a parameter a timeline cannot hold.
bool check_whole_numbers(const OpDescriptor& op, const std::vector<std::string>& words, std::string& error)
{
    int next = 0;
    for (const std::string& w : words) {
        const OpSlot* s = nullptr;
        size_t eq = w.find('=');
        if (eq != std::string::npos && eq > 0) {
            std::string key = w.substr(0, eq);
            for (const OpSlot& x : op.slots)
                if (x.used() && ((x.key && strcasecmp(x.key, key.c_str()) == 0) ||
                                 (x.label && strcasecmp(x.label, key.c_str()) == 0)))
                    s = &x;
            if (!s)
                continue;  // the value setter names it
        } else {
            while (next < kOpSlots && !(op.slots[next].used() && slot_is_value(op.slots[next].kind)))
                ++next;
            if (next >= kOpSlots)
                continue;
            s = &op.slots[next++];
        }
        if (s->kind != SLOT_INT) {
            error = std::string(op.name) + ": " + (s->key ? s->key : "?") +
                    " is not a whole number; a timeline holds whole-number parameters only";
            return false;
        }
    }
    return true;
}

int run_set(vq::Args& args)
{
    std::string file, value, what_value, op_name, pfile;
    long level = 0, first = 0, last = 0, interpolate = -1, start = 1, increment = 0;
    bool reload = false, have_frame = false;
    int what = -1;  // the grid set, or kGridCount + grid for --clear
    std::vector<std::string> op_words;
    while (!args.done()) {
        std::string w = args.next();
        Grid g;
        if (w == "--level") {
            if (!take(args, w, value))
                return vq::EXIT_USAGE;
            if (!vq::parse_long(value, level) || level < 1 || level > kTimelineLevels)
                return usage("--level takes a level of 1 to 100");
        } else if (w == "--frame") {
            if (!take(args, w, value))
                return vq::EXIT_USAGE;
            if (!parse_span(value, first, last) || first < 1 || last < first)
                return usage("--frame takes F or F-G, frames from 1 with G not before F");
            have_frame = true;
        } else if (w == "--source" || w == "--brush" || w == "--action" || w == "--area" || w == "--op") {
            if (what >= 0)
                return usage("set takes one of --source, --brush, --action, --area, --op and --clear");
            if (!take(args, w, what_value))
                return vq::EXIT_USAGE;
            grid_parse(w.c_str() + 2, &g);
            what = static_cast<int>(g);
            if (g == Grid::Op)
                while (!args.done() && args.peek().rfind("--", 0) != 0)
                    op_words.push_back(args.next());
        } else if (w == "--clear") {
            if (what >= 0)
                return usage("set takes one of --source, --brush, --action, --area, --op and --clear");
            if (!take(args, w, value))
                return vq::EXIT_USAGE;
            if (!grid_parse(value.c_str(), &g))
                return usage("--clear takes a grid: source, brush, action, area or op");
            what = kGridCount + static_cast<int>(g);
        } else if (w == "--interpolate") {
            if (!take(args, w, value))
                return vq::EXIT_USAGE;
            if (!vq::parse_long(value, interpolate) || interpolate < 0 || interpolate > 1)
                return usage("--interpolate takes 0 or 1");
        } else if (w == "--reload") {
            reload = true;
        } else if (w == "--start" || w == "--increment") {
            if (!take(args, w, value))
                return vq::EXIT_USAGE;
            long& dst = w == "--start" ? start : increment;
            if (!vq::parse_long(value, dst) || dst < (w == "--start" ? 1 : -100000) || dst > 100000)
                return usage(w + (w == "--start" ? " takes a frame of 1 to 100000" : " takes -100000 to 100000"));
        } else if (w == "--pfile") {
            if (!take(args, w, pfile))
                return vq::EXIT_USAGE;
            if (pfile.size() > static_cast<size_t>(kTimelinePfileMax) || pfile.find_first_of("\"\n\r") != std::string::npos)
                return usage("--pfile takes a file name of at most 255 characters without double quotes");
        } else if (w.size() > 1 && w[0] == '-') {
            return vq::unknown_option("timeline", w);
        } else if (file.empty()) {
            file = w;
        } else {
            return usage("set takes one file (operation values follow --op)");
        }
    }
    if (file.empty() || level == 0 || !have_frame || what < 0)
        return usage("set needs a timeline file, --level, --frame and what to put there");

    // The operation and its values are checked before anything is read.
    const OpDescriptor* op = nullptr;
    if (what == static_cast<int>(Grid::Op)) {
        op = op_find(what_value);
        if (!op)
            return usage("no operation \"" + what_value + "\" (vq ops lists them)");
        std::string error;
        if (!check_whole_numbers(*op, op_words, error) || !op_set_values(*op, op_words, error))
            return usage(error);
    } else if (what < kGridCount && what != static_cast<int>(Grid::Area)) {
        std::string error;
        if (!valid_name(what_value, error))
            return usage("--" + std::string(what == 0 ? "source" : what == 1 ? "brush" : "action") + " takes " + error);
    }

    if (!load(file))
        return finish(vq::EXIT_FAILED);
    const long frames = timeline().frames;
    if (last > frames)
        return finish(usage(file + " has " + std::to_string(frames) + " frames; --frame must lie in 1.." +
                            std::to_string(frames)));
    if (what >= kGridCount) {
        timeline_clear_cells(level - 1, first - 1, last - 1, static_cast<Grid>(what - kGridCount));
        return save(file);
    }

    Cell record = CELL_EMPTY;
    Grid grid = static_cast<Grid>(what);
    if (grid == Grid::Op) {
        TimelineOp* r = timeline_op_capture(op->command);
        if (r) {
            r->interpolate = static_cast<int16_t>(std::max(0L, interpolate));
            std::snprintf(r->pfile, sizeof r->pfile, "%s", pfile.c_str());
        }
        record = as_cell(r);
    } else if (grid == Grid::Area) {
        area_settings_reset();
        if (area_load(what_value.c_str()) != 0)
            return finish(vq::EXIT_FAILED);
        TimelineArea* r = timeline_area_capture(area_settings(), area_state().shape.name.c_str());
        if (r)
            r->interpolate = static_cast<int16_t>(std::max(0L, interpolate));
        record = as_cell(r);
    } else {
        TimelineFile* r = timeline_file_new(what_value.c_str());
        if (r) {
            r->reload = reload ? 1 : 0;
            r->start = static_cast<int32_t>(start);
            r->increment = static_cast<int32_t>(increment);
        }
        record = as_cell(r);
    }
    if (record == CELL_EMPTY)
        return finish(vq::failure("not enough memory for the timeline entry"));
    if (timeline_hold(level - 1, first - 1, last - 1, grid, record) != 0)
        return finish(vq::EXIT_FAILED);
    return save(file);
}

// ---- trend ------------------------------------------------------------------------

bool parse_keys(const std::string& text, std::vector<int32_t>& frames, std::vector<int32_t>& values)
{
    size_t i = 0;
    while (i <= text.size()) {
        size_t comma = text.find(',', i);
        std::string pair = text.substr(i, comma == std::string::npos ? std::string::npos : comma - i);
        size_t colon = pair.find(':');
        long f = 0, v = 0;
        if (colon == std::string::npos || !vq::parse_long(pair.substr(0, colon), f) ||
            !vq::parse_long(pair.substr(colon + 1), v) || v < INT32_MIN || v > INT32_MAX || f < 1 ||
            f > kTimelineMaxFrames)
            return false;
        frames.push_back(static_cast<int32_t>(f - 1));
        values.push_back(static_cast<int32_t>(v));
        if (comma == std::string::npos)
            break;
        i = comma + 1;
    }
    return !frames.empty();
}

int run_trend(vq::Args& args)
{
    std::string file, value, op_name, var;
    long level = 0;
    bool splined = false;
    std::vector<int32_t> frames, values;
    while (!args.done()) {
        std::string w = args.next();
        if (w == "--level") {
            if (!take(args, w, value))
                return vq::EXIT_USAGE;
            if (!vq::parse_long(value, level) || level < 1 || level > kTimelineLevels)
                return usage("--level takes a level of 1 to 100");
        } else if (w == "--op") {
            if (!take(args, w, op_name))
                return vq::EXIT_USAGE;
        } else if (w == "--var") {
            if (!take(args, w, var))
                return vq::EXIT_USAGE;
        } else if (w == "--keys") {
            if (!take(args, w, value))
                return vq::EXIT_USAGE;
            if (!parse_keys(value, frames, values))
                return usage("--keys takes F:V,F:V,... with frames from 1");
        } else if (w == "--splined") {
            splined = true;
        } else if (w.size() > 1 && w[0] == '-') {
            return vq::unknown_option("timeline", w);
        } else if (file.empty()) {
            file = w;
        } else {
            return usage("trend takes one file");
        }
    }
    if (file.empty() || level == 0 || var.empty() || frames.empty())
        return usage("trend needs a timeline file, --level, --var and --keys");

    const OpDescriptor* op = nullptr;
    int slot = -1, variable = -1;
    if (!op_name.empty()) {
        op = op_find(op_name);
        if (!op)
            return usage("no operation \"" + op_name + "\" (vq ops lists them)");
        for (int i = 0; i < kOpSlots && slot < 0; ++i) {
            const OpSlot& s = op->slots[i];
            if (s.used() && s.kind == SLOT_INT &&
                ((s.label && strcasecmp(s.label, var.c_str()) == 0) || (s.key && strcasecmp(s.key, var.c_str()) == 0)))
                slot = i;
        }
        if (slot < 0)
            return usage(std::string(op->name) + " has no whole-number parameter \"" + var + "\"");
    } else if ((variable = level_variable_find(var.c_str())) < 0) {
        return usage("without --op, --var names a level setting: Mix, Repeat or Feather");
    }

    if (!load(file))
        return finish(vq::EXIT_FAILED);
    for (int32_t f : frames)
        if (f >= timeline().frames)
            return finish(usage(file + " has " + std::to_string(timeline().frames) + " frames; key frame " +
                                std::to_string(f + 1) + " lies beyond"));
    Trend* trend = nullptr;
    if (op) {
        // The trend is kept with the operation records that set the parameter.
        bool found = false;
        for (long f = 0; f < timeline().frames && !found; ++f)
            if (const TimelineOp* r = cell_record<TimelineOp>(timeline_cell(level - 1, f, Grid::Op)))
                for (const TimelineVar& v : r->vars)
                    found = found || (r->command == op->command && v.slot == slot);
        if (!found)
            return finish(vq::failure(file + ": no " + op->name + " on level " + std::to_string(level) + " sets " +
                                      var + " (vq timeline set ... --op first)"));
        trend = timeline_var_trend(level - 1, op->command, slot);
    } else {
        trend = timeline_level_trend(level - 1, variable);
    }
    if (!trend)
        return finish(vq::EXIT_FAILED);
    for (int32_t v : values)
        if (v < trend->range_low || v > trend->range_high)
            return finish(usage(var + " takes values in " + std::to_string(trend->range_low) + ".." +
                                std::to_string(trend->range_high) + ", not " + std::to_string(v)));
    trend->splined = splined ? 1 : 0;
    trend_set_keys(trend, frames.data(), values.data(), static_cast<int>(frames.size()));
    timeline_mark_changed();
    return save(file);
}

// ---- show -----------------------------------------------------------------------

std::string describe(Grid grid, Cell c)
{
    char buf[512];
    if (grid == Grid::Op) {
        const TimelineOp* op = cell_record<TimelineOp>(c);
        const OpDescriptor* d = op_by_command(op->command);
        std::string s = std::string("op \"") + (d ? d->name : "?") + "\", interpolate " + std::to_string(op->interpolate);
        if (op->pfile[0])
            s += std::string(", parameter file \"") + op->pfile + "\"";
        for (const TimelineVar& v : op->vars)
            if (v.slot >= 0)
                s += std::string(", ") + timeline_var_name(v) + "=" + std::to_string(v.value);
        return s;
    }
    if (grid == Grid::Area) {
        const TimelineArea* a = cell_record<TimelineArea>(c);
        const char* mode = timeline_area_mode_name(a->mode);
        std::snprintf(buf, sizeof buf, "area %s on %dx%d, centre %d,%d, box %d,%d - %d,%d, %d points, feather %d",
                      mode ? mode : "?", a->image_w, a->image_h, a->center_x, a->center_y, a->pos[0], a->pos[1],
                      a->pos[2], a->pos[3], a->point_count, a->feather);
        return buf;
    }
    const TimelineFile* r = cell_record<TimelineFile>(c);
    const char* role = grid == Grid::Source ? "source" : grid == Grid::Brush ? "brush" : "action";
    std::snprintf(buf, sizeof buf, "%s \"%s\", reload %d, start %d, increment %d", role, r->name, r->reload, r->start,
                  r->increment);
    return buf;
}

int run_show(vq::Args& args)
{
    std::string file;
    while (!args.done()) {
        std::string w = args.next();
        if (w.size() > 1 && w[0] == '-')
            return vq::unknown_option("timeline", w);
        if (!file.empty())
            return usage("show takes one file");
        file = w;
    }
    if (file.empty())
        return usage("show needs a timeline file");
    if (!load(file))
        return finish(vq::EXIT_FAILED);
    const long frames = timeline().frames;
    const int levels = timeline_levels_in_use();
    std::printf("%s: %ld frames, %d level%s in use\n", file.c_str(), frames, levels, levels == 1 ? "" : "s");
    if (levels == 0)
        return finish(vq::EXIT_DONE);

    // Record names first, so that the column width fits them.
    std::map<Cell, std::string> names;
    std::vector<std::string> lines;
    static const Grid order[kGridCount] = {Grid::Source, Grid::Brush, Grid::Area, Grid::Op, Grid::Action};
    for (long l = 0; l < levels; ++l)
        for (Grid g : order)
            for (long f = 0; f < frames; ++f) {
                Cell c = timeline_cell(l, f, g);
                if (!cell_is_record(c))
                    continue;
                char name[24];
                std::snprintf(name, sizeof name, "R%zu", names.size() + 1);
                names[c] = name;
                char place[96];
                std::snprintf(place, sizeof place, "%s  level %ld, frame %ld: ", name, l + 1, f + 1);
                lines.push_back(place + describe(g, c));
            }
    size_t width = std::max<size_t>(3, std::to_string(frames).size());
    width = std::max(width, std::to_string(names.size()).size() + 1);
    // One row: the cells padded to the width, no blanks at the end.
    auto print_row = [&](std::string row, const std::vector<std::string>& cells) {
        for (const std::string& cell : cells) {
            row += ' ';
            row += cell;
            row.append(width - std::min(width, cell.size()), ' ');
        }
        row.erase(row.find_last_not_of(' ') + 1);
        std::printf("%s\n", row.c_str());
    };
    std::vector<std::string> cells;
    for (long f = 0; f < frames; ++f)
        cells.push_back(std::to_string(f + 1));
    std::printf("\n");
    print_row("level grid ", cells);
    for (long l = 0; l < levels; ++l)
        for (Grid g : order) {
            if (!timeline_has_row(l, g))
                continue;
            cells.clear();
            for (long f = 0; f < frames; ++f) {
                Cell c = timeline_cell(l, f, g);
                cells.push_back(c == CELL_EMPTY ? "." : c == CELL_CONTINUE ? "=" : c == CELL_END ? "==" : names[c]);
            }
            char head[32];
            std::snprintf(head, sizeof head, "%-5ld %-5s", l + 1, grid_word(g));
            print_row(head, cells);
        }
    if (!lines.empty())
        std::printf("\n");
    for (const std::string& line : lines)
        std::printf("%s\n", line.c_str());

    const TrendList& list = trend_list();
    if (list.count > 0)
        std::printf("\ntrends (keys as frame:value)\n");
    for (int i = 0; i < list.count; ++i) {
        const Trend* t = list.items[i];
        const OpDescriptor* d = t->owner ? op_by_command(static_cast<int32_t>(t->owner)) : nullptr;
        std::printf("level %ld, %s%s%s, %s:", t->level + 1, d ? d->name : "level", d ? ": " : " ", t->name,
                    t->splined ? "spline" : "straight");
        for (int k = 0; k < t->key_count; ++k)
            std::printf(" %d:%d", t->key_frames[k] + 1, t->key_values[k]);
        std::printf("\n  values:");
        for (long f = 0; f < t->frames; ++f)
            std::printf(" %d", t->values[f]);
        std::printf("\n");
    }
    return finish(vq::EXIT_DONE);
}


bool parse_range(const std::string& text, long& first, long& last)
{
    size_t dash = text.find('-');
    if (dash == std::string::npos)
        return vq::parse_long(text, first) && (last = first) >= 1;
    return vq::parse_long(text.substr(0, dash), first) && vq::parse_long(text.substr(dash + 1), last) && first >= 1 &&
           last >= first;
}

// vq timeline FILE.tml -o OUT ...: the sequence generated into OUT.
int run_generate(const std::string& file, vq::Args& args)
{
    std::string out, image_file, value;
    long first = 0, last = 0, delay = -1, loop = 1;
    vq::SaveOptions save;
    while (!args.done()) {
        int taken = vq::take_save_option("timeline", args, save);
        if (taken == vq::EXIT_USAGE)
            return taken;
        if (taken == 1)
            continue;
        std::string w = args.next();
        if (w == "-o" || w == "--output") {
            if (!take(args, w, out))
                return vq::EXIT_USAGE;
        } else if (w == "--range") {
            if (!take(args, w, value))
                return vq::EXIT_USAGE;
            if (!parse_range(value, first, last))
                return usage("--range takes A-B, frames from 1 with A not above B");
        } else if (w == "--image") {
            if (!take(args, w, image_file))
                return vq::EXIT_USAGE;
        } else if (w == "--delay") {
            if (!take(args, w, value))
                return vq::EXIT_USAGE;
            if (!vq::parse_long(value, delay) || delay < 0 || delay > 9999)
                return usage("--delay takes 0 to 9999 hundredths of a second");
        } else if (w == "--loop") {
            if (!take(args, w, value))
                return vq::EXIT_USAGE;
            if (!vq::parse_long(value, loop) || loop < 0 || loop > 1)
                return usage("--loop takes 0 or 1");
        } else if (w.size() > 1 && w[0] == '-') {
            return usage("no option " + w);
        } else {
            return usage("one timeline file at a time (\"" + w + "\" is one too many)");
        }
    }
    if (out.empty())
        return usage("generating a sequence needs -o OUT");
    SequenceRequest rq;
    std::string error;
    if (!sequence_output_for_name(out, rq.output, error))
        return usage(error);
    if (rq.output.kind == SequenceOutputKind::Numbered) {
        if (save.type >= 0)
            rq.output.type = save.type;
        if (rq.output.type < 0)
            return usage("cannot tell the file type of \"" + out + "\"; name it with --type");
        rq.output.depth = save.depth >= 0 ? save_depth_for_bits(static_cast<int>(save.depth)) : -2;
        rq.output.compress = save.compress;
        rq.output.quality = save.quality;
    } else if (rq.output.kind == SequenceOutputKind::Avi && save.type < 0 && save.depth < 0 && save.quality < 0) {
        rq.output.compress = save.compress;  // 1: MJPEG frames
    } else if (save.type >= 0 || save.depth >= 0 || save.compress >= 0 || save.quality >= 0) {
        return usage("--type, --depth, --compress and --quality are for numbered files (--compress 1 also for AVI)");
    }
    rq.output.delay = static_cast<int>(delay);
    rq.output.loop = loop != 0;
    rq.first = first;
    rq.last = last;

    if (!load(file))
        return finish(vq::EXIT_FAILED);
    SaveSettingsScope keep_save;  // the reduction options stay with this command
    if (save.ordered >= 0)
        settings().ordered = save.ordered;
    if (save.reduce >= 0)
        render_state().palette_mode = static_cast<int>(save.reduce);
    if (save.strength >= 0)
        render_state().strength = static_cast<int>(save.strength);
    // A command-line run keeps no undo and works on the whole image unless an area says otherwise.
    const long undo = settings().undo_want;
    undo_set_levels(undo, 0);
    Image* image = nullptr;
    if (!image_file.empty()) {
        image = load_image(image_file.c_str());
        if (!image) {
            undo_set_levels(0, undo);
            return finish(vq::EXIT_FAILED);
        }
        image_set_role(ImageRole::Target, image);
    }
    const long frames = timeline().frames;
    if (first > frames || last > frames)
        std::fprintf(stderr, "vq timeline: %s has %ld frames; the range is cut to them\n", file.c_str(), frames);
    SequenceReport report;
    int rc = sequence_generate(rq, &report);
    undo_set_levels(settings().undo_want, undo);
    if (image)
        image_free(image);
    if (report.frames > 0)
        std::printf("%ld frame%s (%ld to %ld) written to %s\n", report.frames, report.frames == 1 ? "" : "s",
                    report.first, report.first + report.frames - 1,
                    rq.output.kind == SequenceOutputKind::Numbered ? out.c_str() : report.written.c_str());
    if (rc == SEQ_STOPPED)
        std::fprintf(stderr, "vq timeline: stopped after %ld of %ld frames\n", report.frames,
                     report.last - report.first + 1);
    return finish(rc == SEQ_DONE ? vq::EXIT_DONE : vq::EXIT_FAILED);
}

int run_timeline(vq::Args& args)
{
    if (args.done())
        return usage("a timeline file to generate, or new, set, trend, show or resize?");
    std::string what = args.next();
    vq::Args rest;
    rest.words.assign(args.words.begin() + static_cast<long>(args.pos), args.words.end());
    if (what == "new")
        return run_new(rest);
    if (what == "set")
        return run_set(rest);
    if (what == "trend")
        return run_trend(rest);
    if (what == "show")
        return run_show(rest);
    if (what == "resize")
        return run_resize(rest);
    if (what.size() > 1 && what[0] == '-')
        return usage("the timeline file comes first: vq timeline FILE.tml -o OUT");
    return run_generate(what, rest);
}

const vq::Option kNewOptions[] = {{"--frames", "N", "the number of frames, 2 to 30000 (default 7)"}};
const vq::Option kResizeOptions[] = {{"--frames", "N", "the new number of frames, 2 to 30000", vq::OPT_REQUIRED}};
const vq::Option kSetOptions[] = {
    {"--level", "L", "the level, 1 to 100", vq::OPT_REQUIRED},
    {"--frame", "F[-G]", "the frames the entry is held over (one frame without -G)", vq::OPT_REQUIRED},
    {"--source", "PATH", "an image file as the level's source; \"Level(n)\" names the result of level n"},
    {"--brush", "PATH", "an image file as the level's brush, likewise"},
    {"--action", "PATH", "an image file as the level's action image, likewise"},
    {"--area", "FILE.ASF", "the area of an area file"},
    {"--op", "OPERATION [NAME=VALUE...]", "an operation (name, script command or number) with all its "
                                          "whole-number parameters, as given or at their defaults"},
    {"--clear", "GRID", "empty the cells of a grid: source, brush, action, area or op"},
    {"--interpolate", "0/1", "1: interpolate an operation's (or area's) values between keyed frames"},
    {"--reload", nullptr, "read the image file again each frame"},
    {"--start", "S", "take frame S of an animation file first"},
    {"--increment", "I", "advance I frames of the animation file per timeline frame"},
    {"--pfile", "FILE", "a parameter file for the operation"},
};
const vq::Option kTrendOptions[] = {
    {"--level", "L", "the level, 1 to 100", vq::OPT_REQUIRED},
    {"--var", "NAME", "the parameter: a variable of an operation record (its label or key), or without --op one "
                      "of the level's own settings, Mix (0..100), Repeat (1..100) or Feather (0..1000)",
     vq::OPT_REQUIRED},
    {"--keys", "F:V,F:V,...", "the keys: frame and value", vq::OPT_REQUIRED},
    {"--op", "OPERATION", "the operation whose record on the level holds the variable"},
    {"--splined", nullptr, "a spline through the keys instead of straight lines"},
};
const vq::Option kGenerateOptions[] = {
    {"-o", "OUT", "a numbered pattern (out/f%04d.png: one file per frame, numbered from 1 by the timeline's "
                  "frames, type from the extension or --type), an animation (.gif, .mng, .flc, .avi) or a film "
                  "file (.flm)",
     vq::OPT_REQUIRED},
    {"--range", "A-B", "frames A to B only (clamped to the timeline); a frame comes out the same alone as in a "
                       "full run, so ranges can run as separate jobs"},
    {"--image", "IN", "the image levels without an action entry work on"},
    {"--delay", "CS", "animations: hundredths of a second a frame (default: \"FilmSpeed\")"},
    {"--loop", "0/1", "animations: play once or for ever (default 1)"},
};
const vq::Form kTimelineForms[] = {
    {.job = "new", .words = "FILE.tml", .options = kNewOptions, .help = "writes an empty timeline."},
    {.job = "set", .words = "FILE.tml", .options = kSetOptions,
     .help = "puts an entry (one of --source, --brush, --action, --area, --op, --clear) at level L over frames F "
             "to G and writes the file again. An entry that ran into frames F to G ends before them; one that "
             "ran on past G goes on after it."},
    {.job = "trend", .words = "FILE.tml", .options = kTrendOptions,
     .help = "gives a parameter a trend on level L: straight lines between the keys, or a spline."},
    {.job = "show", .words = "FILE.tml",
     .help = "prints the grid: one row per level and grid in use, a column per frame (a record as R1, R2 ..., "
             "\"=\" where its entry goes on, \"==\" where it ends), then the records and trends."},
    {.job = "resize", .words = "FILE.tml", .options = kResizeOptions,
     .help = "changes the number of frames: cells beyond a shorter end go, an entry that ended at the old last "
             "frame runs to the new one, trend keys are spread over the new frames."},
    {.job = nullptr, .words = "FILE.tml", .options = kGenerateOptions, .save_options = true,
     .help = "generates the sequence: frame by frame, level by level, the entries in force load their images, "
             "select their areas and apply their operations with the values their trends give for the frame. "
             "The save options set the numbered files' type and depth (--compress 1 also makes an AVI of MJPEG "
             "frames) and the colour reduction of 8-bit and animation frames. An existing output asks \"The "
             "sequence output file already exists.\" (--no refuses); a timeline without entries asks \"There are "
             "no operations in the Time Line.\". Ctrl-C stops after the frame being made; the frames written "
             "stay.",
     .heading = "generate"},
};

} // namespace

VQ_COMMAND("timeline", "make, edit and show timeline files (docs/timeline.md)",
           "Levels (L) and frames (F, G, and the frames of --keys) count from 1, as the cell lines of the file "
           "do.",
           run_timeline, kTimelineForms);
