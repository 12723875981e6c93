// The timeline file ("*.tml"): plain text, one line per cell entry, with
// the records' detail on "- " lines after their cell line.
#include "timeline/timeline.h"

#include "core/log.h"
#include "core/mem.h"
#include "core/messages.h"
#include "core/safe_write.h"
#include "core/words.h"
#include "ops/catalogue.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <strings.h>
#include <vector>

namespace {

// Lines are read in pieces of at most this many characters.
constexpr size_t kLineMax = 1023;
// Keys on one trend line before the line goes on on a "- " line of its own.
constexpr int kKeysPerLine = 20;

struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<FILE, FileCloser>;

std::string base_name(const std::string& path)
{
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// ---- writing ---------------------------------------------------------------------

void write_keys(FILE* f, const Trend* t)
{
    for (int k = 0; k < t->key_count; ++k) {
        if (k > 0 && k % kKeysPerLine == 0)
            std::fputs("\n-", f);
        std::fprintf(f, " %ld,%ld", static_cast<long>(t->key_frames[k]), static_cast<long>(t->key_values[k]));
    }
    std::fputc('\n', f);
}

void write_file_ref(FILE* f, const char* word, long level, long frame, const TimelineFile* r)
{
    std::fprintf(f, "%s L:%ld F:%ld V:%d S:%ld I:%ld %s%s%s\n", word, level + 1, frame + 1, r->reload,
                 static_cast<long>(r->start), static_cast<long>(r->increment), "\"", r->name, "\"");
}

bool mode_is(const TimelineArea* a, std::initializer_list<const char*> names)
{
    const char* mode = timeline_area_mode_name(a->mode);
    for (const char* n : names)
        if (mode && std::strcmp(mode, n) == 0)
            return true;
    return false;
}

void write_area(FILE* f, long level, long frame, const TimelineArea* a)
{
    const char* mode = timeline_area_mode_name(a->mode);
    std::fprintf(f, "AREA L:%ld F:%ld\n", level + 1, frame + 1);
    std::fprintf(f, "- Mode:%s\n", mode ? mode : "Entire");
    std::fprintf(f, "- Image:%ld,%ld\n", static_cast<long>(a->image_w), static_cast<long>(a->image_h));
    if (!mode_is(a, {"Entire", "Redo"}))
        std::fprintf(f, "- Center:%ld,%ld\n", static_cast<long>(a->center_x), static_cast<long>(a->center_y));
    if (mode_is(a, {"Rectangle", "Round Rect", "Ellipse", "Num Rect", "Font", "I-shape"}))
        std::fprintf(f, "- Pos:%ld,%ld,%ld,%ld\n", static_cast<long>(a->pos[0]), static_cast<long>(a->pos[1]),
                     static_cast<long>(a->pos[2]), static_cast<long>(a->pos[3]));
    if (mode_is(a, {"Font"})) {
        std::fprintf(f, "- FontW:%8.3f\n", a->font_w);
        std::fprintf(f, "- FontH:%8.3f\n", a->font_h);
        std::fprintf(f, "- FontRot:%8.3f\n", a->font_rot);
        std::fprintf(f, "- FontShear:%8.3f\n", a->font_shear);
        std::fprintf(f, "- FontName:\"%s\"\n", a->font_name);
        std::fprintf(f, "- FontPoint:%ld\n", static_cast<long>(a->font_point));
        std::fprintf(f, "- FontPos:%ld,%ld\n", static_cast<long>(a->font_pos_x), static_cast<long>(a->font_pos_y));
        std::fprintf(f, "- FontText:%s\n", a->font_text);
    }
    if (mode_is(a, {"I-shape"}))
        std::fprintf(f, "- ShapeName:%s\n", a->shape_name);
    if (mode_is(a, {"Round Rect"}))
        std::fprintf(f, "- Roundness:%ld\n", static_cast<long>(a->roundness));
    std::fprintf(f, "- TranLevel:%ld\n", static_cast<long>(a->tran_level));
    std::fprintf(f, "- TranEdge:%ld\n", static_cast<long>(a->tran_edge));
    std::fprintf(f, "- TranGrow:%ld\n", static_cast<long>(a->tran_grow));
    std::fprintf(f, "- Interpolate:%d\n", a->interpolate);
    std::fprintf(f, "- Splined:%d\n", a->splined);
    std::fprintf(f, "- Prompt:%d\n", a->prompt);
    std::fprintf(f, "- Modify:%d\n", a->modify);
    std::fprintf(f, "- Exclude:%d\n", a->exclude);
    std::fprintf(f, "- Key:%d,%d,%d\n", a->key[0], a->key[1], a->key[2]);
    std::fprintf(f, "- Range:%d,%d,%d\n", a->range[0], a->range[1], a->range[2]);
    std::fprintf(f, "- Use:%d\n", a->use);
    std::fprintf(f, "- Feather:%ld\n", static_cast<long>(a->feather));
    if (mode_is(a, {"Color Key", "Color Wand"})) {
        std::fprintf(f, "- Range:%d,%d,%d\n", a->range2[0], a->range2[1], a->range2[2]);
        std::fprintf(f, "- OnHue:%d\n", a->on_hue);
        std::fprintf(f, "- Key Space:%d\n", a->key_space);
        std::fprintf(f, "- PosF:%ld,%ld\n", static_cast<long>(a->posf_x), static_cast<long>(a->posf_y));
    }
    if (mode_is(a, {"Freehand", "Polygon", "I-shape", "Poly-arc", "Spline", "Bezier"}) && a->points)
        for (int32_t i = 0; i < a->point_count; ++i)
            std::fprintf(f, "- Point:%ld,%ld,%ld,%d\n", static_cast<long>(i), static_cast<long>(a->points[i].x),
                         static_cast<long>(a->points[i].y), a->points[i].m);
}

void write_op(FILE* f, long level, long frame, const TimelineOp* op)
{
    const OpDescriptor* d = op_by_command(op->command);
    std::fprintf(f, "OP L:%ld F:%ld \"%s\"\n", level + 1, frame + 1, d ? d->name : "");
    std::fprintf(f, "- Interpolate:%d\n", op->interpolate);
    if (op->pfile[0])
        std::fprintf(f, "- Pfile:\"%s\"\n", op->pfile);
    bool trends = false;
    const TrendList& list = trend_list();
    for (const TimelineVar& v : op->vars) {
        if (v.slot < 0)
            continue;
        std::fprintf(f, "- Var:\"%s\",%ld\n", timeline_var_name(v), static_cast<long>(v.value));
        const void* parameter = timeline_var_parameter(v);
        for (int i = 0; i < list.count; ++i) {
            const Trend* t = list.items[i];
            if (t->parameter != parameter || t->level != level)
                continue;
            std::fprintf(f, "- Trend Var:\"%s\" Splined:%d", timeline_var_name(v), t->splined);
            write_keys(f, t);
            trends = true;
        }
    }
    if (trends)
        std::fputc('\n', f);
}

void write_cell(FILE* f, Grid grid, long level, long frame, Cell c)
{
    if (c == CELL_EMPTY)
        return;
    if (c == CELL_CONTINUE || c == CELL_END) {
        std::fprintf(f, "%s L:%ld F:%ld %s\n", grid_word(grid), level + 1, frame + 1, c == CELL_END ? "==" : "=");
        return;
    }
    switch (grid) {
    case Grid::Area:
        write_area(f, level, frame, cell_record<TimelineArea>(c));
        break;
    case Grid::Op:
        write_op(f, level, frame, cell_record<TimelineOp>(c));
        break;
    default:
        write_file_ref(f, grid_word(grid), level, frame, cell_record<TimelineFile>(c));
        break;
    }
}

void write_timeline(FILE* f, const std::string& path)
{
    const TimelineState& tl = timeline();
    std::fprintf(f, "TIMELINE - %s\n", base_name(path).c_str());
    std::fprintf(f, "Frames:%ld\n", tl.frames);
    if (!timeline_has_grids()) {
        std::fprintf(f, "* Empty TimeLine\n");
        return;
    }
    const TrendList& list = trend_list();
    const int levels = timeline_levels_in_use();
    for (long level = 0; level < levels; ++level) {
        for (int i = 0; i < list.count; ++i) {
            const Trend* t = list.items[i];
            if (t->level != level || t->parameter < tl.level_values || t->parameter >= tl.level_values + kLevelVariables)
                continue;
            int variable = static_cast<int>(static_cast<const int32_t*>(t->parameter) - tl.level_values);
            std::fprintf(f, "Trend Var:\"%s\" Splined:%d Level:%ld", level_variable_info(variable).name, t->splined,
                         level);
            write_keys(f, t);
        }
        static const Grid order[kGridCount] = {Grid::Source, Grid::Brush, Grid::Area, Grid::Op, Grid::Action};
        for (long frame = 0; frame < tl.frames; ++frame)
            for (Grid g : order)
                write_cell(f, g, level, frame, timeline_cell(level, frame, g));
    }
}

// ---- reading ---------------------------------------------------------------------

struct Word {
    std::string text;
    bool quoted = false;
};

bool word_char(unsigned char c)
{
    return std::isalnum(c) || std::strchr(".-_:/\\<>=", c) != nullptr;
}

// Words: runs of letters, digits and . - _ : / \ < > =; a part in double
// quotes is one word or part of one, without its quotes.
std::vector<Word> words_of(const std::string& line)
{
    std::vector<Word> out;
    Word cur;
    bool open = false;
    for (size_t i = 0; i < line.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(line[i]);
        if (c == '"') {
            size_t end = line.find('"', i + 1);
            if (end == std::string::npos)
                end = line.size();
            cur.text += line.substr(i + 1, end - i - 1);
            cur.quoted = true;
            open = true;
            i = end;
        } else if (c && word_char(c)) {
            cur.text += static_cast<char>(c);
            open = true;
        } else if (open) {
            out.push_back(std::move(cur));
            cur = Word{};
            open = false;
        }
    }
    if (open)
        out.push_back(std::move(cur));
    return out;
}

// The part of a word after its first ':' or '='.
std::string value_of(const std::string& word)
{
    size_t at = word.find_first_of(":=");
    return at == std::string::npos ? std::string() : word.substr(at + 1);
}

int32_t to32(long v)
{
    return static_cast<int32_t>(std::clamp<long>(v, INT32_MIN, INT32_MAX));
}

int16_t to16(long v)
{
    return static_cast<int16_t>(std::clamp<long>(v, INT16_MIN, INT16_MAX));
}

bool starts_with(const std::string& s, const char* prefix)
{
    return s.compare(0, std::strlen(prefix), prefix) == 0;
}

// The numbers of a comma list ("12,-4,7"), up to `max`; how many were read.
int numbers_of(const std::string& text, long* out, int max)
{
    int n = 0;
    size_t i = 0;
    while (n < max && i <= text.size()) {
        size_t comma = text.find(',', i);
        std::string part = text.substr(i, comma == std::string::npos ? std::string::npos : comma - i);
        size_t a = part.find_first_not_of(" \t");
        size_t b = part.find_last_not_of(" \t");
        if (a == std::string::npos || !word_to_long(part.substr(a, b - a + 1), out[n]))
            break;
        ++n;
        if (comma == std::string::npos)
            break;
        i = comma + 1;
    }
    return n;
}

class Reader {
public:
    explicit Reader(FILE* f) : f_(f) {}

    // The next line, or a piece of at most kLineMax characters of a longer one.
    bool next(std::string& line)
    {
        if (pending_) {
            line = std::move(held_);
            pending_ = false;
            return true;
        }
        line.clear();
        int c = 0;
        bool any = false;
        while (line.size() < kLineMax && (c = std::fgetc(f_)) != EOF) {
            any = true;
            if (c == '\n')
                break;
            line.push_back(static_cast<char>(c));
        }
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        return any;
    }
    // Gives a line back: the next call returns it again.
    void push_back(std::string line)
    {
        held_ = std::move(line);
        pending_ = true;
    }

private:
    FILE* f_;
    std::string held_;
    bool pending_ = false;
};

// Keys gathered for one trend while its lines are read.
struct PendingTrend {
    Trend* trend = nullptr;
    std::vector<int32_t> frames, values;
    bool odd = false;
    long odd_frame = 0;

    void add_numbers(const std::vector<Word>& w, size_t from)
    {
        for (size_t i = from; i < w.size(); ++i) {
            long v = 0;
            if (!word_to_long(w[i].text, v))
                continue;
            if (!odd) {
                odd_frame = v;
                odd = true;
            } else {
                frames.push_back(to32(odd_frame));
                values.push_back(to32(v));
                odd = false;
            }
        }
    }
    void finish()
    {
        if (trend && !frames.empty())
            trend_set_keys(trend, frames.data(), values.data(), static_cast<int>(frames.size()));
        *this = PendingTrend{};
    }
};

// L and F of a cell line, from 1 in the file, from 0 back.
bool cell_place(const std::vector<Word>& w, long& level, long& frame)
{
    long l = 0, f = 0;
    if (w.size() < 3 || !word_to_long(value_of(w[1].text), l) || !word_to_long(value_of(w[2].text), f))
        return false;
    level = l - 1;
    frame = f - 1;
    return true;
}

bool marker_of(const std::vector<Word>& w, Cell& marker)
{
    if (w.size() < 4 || w[3].quoted || w[3].text.empty() || w[3].text[0] != '=')
        return false;
    marker = w[3].text == "==" ? CELL_END : CELL_CONTINUE;
    return true;
}

class Loader {
public:
    Loader(Reader& in) : in_(in) {}

    // 0 done; 1 a row could not be made (reading stops).
    int line(const std::string& line)
    {
        std::vector<Word> w = words_of(line);
        if (w.empty())
            return 0;
        const std::string& head = w[0].text;
        if (starts_with(head, "Frames")) {
            long n = 0;
            if (word_to_long(value_of(head), n)) {
                if (n > kTimelineMaxFrames)
                    log_printf("TimeLine: %ld frames cut to %ld\n", n, kTimelineMaxFrames);
                n = std::clamp(n, 2L, kTimelineMaxFrames);
                if (n != timeline().frames)
                    timeline_set_frames(n);
            }
            return 0;
        }
        Grid grid;
        if (head == "SRC" || head == "BRU" || head == "ACT") {
            grid_parse(head.c_str(), &grid);
            return file_ref(w, grid);
        }
        if (head == "AREA")
            return area(w);
        if (head == "OP")
            return operation(w);
        if (head == "Trend")
            return level_trend(w);
        return 0;  // other lines are ignored
    }

private:
    Reader& in_;

    static int out_of_memory()
    {
        message_show(msg::NoMemoryOperation, "loading TimeLine");
        return 1;
    }

    // Stores a record or marker; a refused place releases the record.
    int store(long level, long frame, Grid grid, Cell value)
    {
        frame = std::max(0L, frame);
        if (level < 0 || level >= kTimelineLevels || frame >= timeline().frames) {
            timeline_record_free(value);
            return 0;  // out of the grid: ignored
        }
        if (timeline_set_cell(level, frame, grid, value) != 0) {
            timeline_record_free(value);
            return 1;
        }
        return 0;
    }

    int file_ref(const std::vector<Word>& w, Grid grid)
    {
        long level, frame;
        if (!cell_place(w, level, frame))
            return 0;
        Cell marker;
        if (marker_of(w, marker))
            return store(level, frame, grid, marker);
        TimelineFile* r = timeline_file_new("");
        if (!r)
            return out_of_memory();
        for (size_t i = 3; i < w.size(); ++i) {
            const Word& x = w[i];
            long v = 0;
            if (!x.quoted && starts_with(x.text, "V:") && word_to_long(value_of(x.text), v)) {
                r->reload = to16(v);
            } else if (!x.quoted && starts_with(x.text, "S:") && word_to_long(value_of(x.text), v)) {
                r->start = to32(v);
            } else if (!x.quoted && starts_with(x.text, "I:") && word_to_long(value_of(x.text), v)) {
                r->increment = to32(v);
            } else if (!x.quoted && x.text == "Level" && i + 1 < w.size() && word_to_long(w[i + 1].text, v)) {
                std::snprintf(r->name, sizeof r->name, "Level(%ld)", v);
                ++i;
            } else if (x.text.size() <= static_cast<size_t>(kTimelineNameMax)) {
                std::snprintf(r->name, sizeof r->name, "%s", x.text.c_str());
            }
        }
        return store(level, frame, grid, as_cell(r));
    }

    // The "- " lines that follow a record's line, given to `take`.
    template <class Take>
    void detail_lines(Take take)
    {
        std::string line;
        while (in_.next(line)) {
            if (line.empty() || line[0] != '-') {
                in_.push_back(std::move(line));
                return;
            }
            take(line);
        }
    }

    int area(const std::vector<Word>& w)
    {
        long level, frame;
        if (!cell_place(w, level, frame)) {
            detail_lines([](const std::string&) {});
            return 0;
        }
        Cell marker;
        if (marker_of(w, marker))
            return store(level, frame, Grid::Area, marker);
        TimelineArea* a = timeline_area_new();
        std::vector<AreaPoint> points;
        int ranges = 0;
        detail_lines([&](const std::string& line) {
            if (!a)
                return;
            size_t at = line.find_first_not_of("- ");
            if (at == std::string::npos)
                return;
            std::string rest = line.substr(at);
            size_t colon = rest.find(':');
            if (colon == std::string::npos)
                return;
            std::string key = rest.substr(0, colon);
            std::string value = rest.substr(colon + 1);
            long n[4] = {0, 0, 0, 0};
            int got = numbers_of(value, n, 4);
            auto text_into = [&](char* dst, size_t size) {
                std::string t = value;
                if (t.size() >= 2 && t.front() == '"' && t.back() == '"')
                    t = t.substr(1, t.size() - 2);
                if (t.size() < size)
                    std::snprintf(dst, size, "%s", t.c_str());
            };
            auto real = [&](double& dst) {
                char* end = nullptr;
                double d = std::strtod(value.c_str(), &end);
                if (end != value.c_str() && std::isfinite(d))
                    dst = d;
            };
            if (key == "Mode") {
                for (int m = 0; m < kTimelineAreaModes; ++m)
                    if (value == timeline_area_mode_name(m))
                        a->mode = static_cast<int16_t>(m);
            } else if (key == "Image" && got == 2) {
                a->image_w = to32(n[0]), a->image_h = to32(n[1]);
            } else if (key == "Center" && got == 2) {
                a->center_x = to32(n[0]), a->center_y = to32(n[1]);
            } else if (key == "Pos" && got == 4) {
                for (int i = 0; i < 4; ++i)
                    a->pos[i] = to32(n[i]);
            } else if (key == "FontW") {
                real(a->font_w);
            } else if (key == "FontH") {
                real(a->font_h);
            } else if (key == "FontRot") {
                real(a->font_rot);
            } else if (key == "FontShear") {
                real(a->font_shear);
            } else if (key == "FontName") {
                text_into(a->font_name, sizeof a->font_name);
            } else if (key == "FontPoint" && got == 1) {
                a->font_point = to32(n[0]);
            } else if (key == "FontPos" && got == 2) {
                a->font_pos_x = to32(n[0]), a->font_pos_y = to32(n[1]);
            } else if (key == "FontText") {
                if (value.size() <= static_cast<size_t>(kAreaTextMax))
                    std::snprintf(a->font_text, sizeof a->font_text, "%s", value.c_str());
            } else if (key == "ShapeName") {
                if (value.size() < sizeof a->shape_name)
                    std::snprintf(a->shape_name, sizeof a->shape_name, "%s", value.c_str());
            } else if (key == "Roundness" && got == 1) {
                a->roundness = to32(n[0]);
            } else if (key == "TranLevel" && got == 1) {
                a->tran_level = to32(n[0]);
            } else if (key == "TranEdge" && got == 1) {
                a->tran_edge = to32(n[0]);
            } else if (key == "TranGrow" && got == 1) {
                a->tran_grow = to32(n[0]);
            } else if (key == "Interpolate" && got == 1) {
                a->interpolate = to16(n[0]);
            } else if (key == "Splined" && got == 1) {
                a->splined = to16(n[0]);
            } else if (key == "Prompt" && got == 1) {
                a->prompt = to16(n[0]);
            } else if (key == "Modify" && got == 1) {
                a->modify = to16(n[0]);
            } else if (key == "Exclude" && got == 1) {
                a->exclude = to16(n[0]);
            } else if (key == "Key" && got == 3) {
                for (int i = 0; i < 3; ++i)
                    a->key[i] = to16(n[i]);
            } else if (key == "Range" && got == 3) {
                int16_t* dst = ranges++ == 0 ? a->range : a->range2;
                for (int i = 0; i < 3; ++i)
                    dst[i] = to16(n[i]);
            } else if (key == "Use" && got == 1) {
                a->use = to16(n[0]);
            } else if (key == "Feather" && got == 1) {
                a->feather = to32(n[0]);
            } else if (key == "OnHue" && got == 1) {
                a->on_hue = to16(n[0]);
            } else if (key == "Key Space" && got == 1) {
                a->key_space = to16(n[0]);
            } else if (key == "PosF" && got == 2) {
                a->posf_x = to32(n[0]), a->posf_y = to32(n[1]);
            } else if (key == "Point" && got == 4 && static_cast<long>(points.size()) < kAreaMaxPoints) {
                points.push_back({to32(n[1]), to32(n[2]), to16(n[3])});
            }
        });
        if (!a)
            return out_of_memory();
        if (!points.empty()) {
            a->points = mem_alloc_as<AreaPoint>(static_cast<long>(points.size()), "tapt");
            if (!a->points) {
                timeline_record_free(as_cell(a));
                return out_of_memory();
            }
            std::copy(points.begin(), points.end(), a->points);
            a->point_count = static_cast<int32_t>(points.size());
        }
        return store(level, frame, Grid::Area, as_cell(a));
    }

    // The slot of the operation a variable name names: its label, else its
    // key (case ignored); -1 when none.
    static int slot_named(const OpDescriptor* d, const std::string& name)
    {
        for (int pass = 0; pass < 2; ++pass)
            for (int i = 0; i < kOpSlots; ++i) {
                const OpSlot& s = d->slots[i];
                if (!s.used() || s.kind != SLOT_INT)
                    continue;
                const char* n = pass == 0 ? s.label : s.key;
                if (n && strcasecmp(n, name.c_str()) == 0)
                    return i;
            }
        return -1;
    }

    int operation(const std::vector<Word>& w)
    {
        long level = 0, frame = 0;
        bool placed = cell_place(w, level, frame);
        Cell marker;
        if (placed && marker_of(w, marker))
            return store(level, frame, Grid::Op, marker);
        const OpDescriptor* d = nullptr;
        for (size_t i = 3; i < w.size() && !d; ++i)
            if (w[i].quoted)
                d = op_by_name(w[i].text);
        bool in_grid = placed && level >= 0 && level < kTimelineLevels && std::max(0L, frame) < timeline().frames;
        if (!d && placed && w.size() > 3)
            log_printf("TimeLine: no operation \"%s\"\n", w[3].text.c_str());
        TimelineOp* op = d && in_grid ? timeline_op_new(d->command) : nullptr;
        PendingTrend pending;
        detail_lines([&](const std::string& line) {
            if (!op)
                return;
            std::vector<Word> lw = words_of(line);
            std::string second = lw.size() > 1 ? lw[1].text : std::string();
            if (starts_with(second, "Int")) {
                long v = 0;
                if (word_to_long(value_of(second), v))
                    op->interpolate = to16(v);
            } else if (starts_with(second, "Pfile")) {
                std::string p = value_of(second);
                if (p.size() <= static_cast<size_t>(kTimelinePfileMax))
                    std::snprintf(op->pfile, sizeof op->pfile, "%s", p.c_str());
            } else if (starts_with(second, "Var")) {
                pending.finish();
                long v = 0;
                int slot = slot_named(d, value_of(second));
                if (slot >= 0 && lw.size() > 2 && word_to_long(lw[2].text, v))
                    timeline_op_set(op, slot, to32(v));  // beyond 55 variables: ignored
            } else if (starts_with(second, "Trend")) {
                pending.finish();
                int slot = lw.size() > 2 ? slot_named(d, value_of(lw[2].text)) : -1;
                if (slot < 0)
                    return;
                pending.trend = timeline_var_trend(level, d->command, slot);
                long splined = 0;
                if (pending.trend && lw.size() > 3 && word_to_long(value_of(lw[3].text), splined))
                    pending.trend->splined = splined ? 1 : 0;
                pending.add_numbers(lw, 4);
            } else if (line.size() > 2 && line[2] != 'I' && line[2] != 'V' && pending.trend) {
                pending.add_numbers(lw, 0);
            }
        });
        pending.finish();
        if (!op)
            return 0;
        return store(level, frame, Grid::Op, as_cell(op));
    }

    int level_trend(const std::vector<Word>& w)
    {
        PendingTrend pending;
        long level = -1, splined = 0;
        int variable = w.size() > 1 ? level_variable_find(value_of(w[1].text).c_str()) : -1;
        if (w.size() > 3 && word_to_long(value_of(w[3].text), level) && level >= 0 && level < kTimelineLevels &&
            variable >= 0) {
            pending.trend = timeline_level_trend(level, variable);
            if (pending.trend && word_to_long(value_of(w[2].text), splined))
                pending.trend->splined = splined ? 1 : 0;
            pending.add_numbers(w, 4);
        }
        // Long key lists go on on "- " lines.
        std::string line;
        while (in_.next(line)) {
            if (line.size() < 3 || line[0] != '-' || line[2] == 'I' || line[2] == 'V') {
                in_.push_back(std::move(line));
                break;
            }
            pending.add_numbers(words_of(line), 0);
        }
        pending.finish();
        return 0;
    }
};

} // namespace

int timeline_save(const char* path)
{
    if (!path || !*path) {
        message_show(msg::CannotCreateRequested, path);
        return 1;
    }
    SafeWrite out(path);
    FILE* f = out.open("w");
    if (!f) {
        message_show_file(msg::CannotCreateRequested, path);
        return 1;
    }
    write_timeline(f, path);
    if (std::ferror(f) || out.commit() != 0) {
        message_show(msg::ProblemWriting, path);
        return 1;
    }
    timeline().changed = false;
    timeline().path = path;
    return 0;
}

int timeline_load(const char* path)
{
    File f(open_for_reading(path));
    if (!f) {
        message_show_file(msg::CannotOpenRequested, path);
        return 1;
    }
    Reader in(f.get());
    std::string line;
    if (!in.next(line)) {
        message_show(msg::FileEmpty, path);
        return 1;
    }
    if (!starts_with(line, "TIMELINE")) {
        message_show(msg::IncorrectFileType, path);
        return 1;
    }
    timeline_clear();
    trend_set_frames(timeline().frames);
    Loader loader(in);
    int status = 0;
    while (in.next(line))
        if (loader.line(line) != 0) {
            status = 1;
            break;
        }
    // Every trend is set up over the frames the timeline has now.
    TrendList& list = trend_list();
    for (int i = 0; i < list.count; ++i)
        trend_recompute(list.items[i]);
    timeline().path = path;
    timeline().changed = status != 0;
    return status;
}
