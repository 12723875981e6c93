#include "timeline/sequence.h"

#include "areas/area.h"
#include "areas/area_mask.h"
#include "core/image.h"
#include "core/list.h"
#include "core/log.h"
#include "core/mem.h"
#include "core/messages.h"
#include "core/progress.h"
#include "core/settings.h"
#include "core/undo.h"
#include "expr/expr.h"
#include "formats/codecs.h"
#include "formats/gif.h"
#include "formats/load_save.h"
#include "ops/catalogue.h"
#include "ops/framework.h"
#include "ops/op_settings.h"
#include "timeline/sequence_output.h"
#include "timeline/timeline.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

SequenceHooks g_hooks;
volatile std::sig_atomic_t g_stop = 0;

// The levels' results of the last frame finished, kept after the run so
// that other programs can take "Level(n)" (the command server).  Plain
// pixels, not images: they take no slot of the open-images table.
struct LevelPicture {
    bool present = false;
    uint32_t width = 0;
    int32_t height = 0;
    int16_t alpha = 0;
    std::vector<uint8_t> rgba;
};
struct KeptLevels {
    long frame = 0;  // from 1; 0: nothing kept
    int levels = 0;
    std::vector<LevelPicture> pictures;  // the frame being made fills `making`
    std::vector<LevelPicture> making;
};
KeptLevels g_kept;

void take_level_picture(long level, Image* image)
{
    if (level < 0 || level >= kTimelineLevels)
        return;
    if (g_kept.making.size() < static_cast<size_t>(kTimelineLevels))
        g_kept.making.resize(kTimelineLevels);
    LevelPicture& p = g_kept.making[static_cast<size_t>(level)];
    p.present = false;
    if (!image)
        return;
    ImageLock lock(image);
    if (!lock)
        return;
    p.width = image->width;
    p.height = image->height;
    p.alpha = image->alpha;
    // assign() reuses the buffer of the frame before: no allocation per frame.
    const size_t bytes = static_cast<size_t>(image->width) * static_cast<size_t>(image->height) * 4;
    p.rgba.assign(image->pixels, image->pixels + bytes);
    p.present = true;
}

void keep_level_pictures(long frame, int levels)
{
    std::swap(g_kept.pictures, g_kept.making);
    g_kept.frame = frame;
    g_kept.levels = levels;
}

bool file_exists(const std::string& path)
{
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// A name that is not absolute is looked for beside the timeline file first.
std::string resolve_name(const char* name)
{
    std::string n = name;
    const std::string& tml = timeline().path;
    if (n.empty() || n[0] == '/' || tml.empty())
        return n;
    size_t slash = tml.rfind('/');
    if (slash == std::string::npos)
        return n;
    std::string beside = tml.substr(0, slash + 1) + n;
    return file_exists(beside) ? beside : n;
}

bool same_file(const std::string& a, const char* b)
{
    if (a == b)
        return true;
    char ra[PATH_MAX], rb[PATH_MAX];
    return ::realpath(a.c_str(), ra) && ::realpath(b, rb) && std::strcmp(ra, rb) == 0;
}

// A copy of an image's pixels and the attributes a view and the writers read.
Image* copy_image(const Image* from, const char* label)
{
    auto* src = const_cast<Image*>(from);
    ImageLock in(src, msg::NoRealMemoryOperation);
    if (!in)
        return nullptr;
    Image* to = image_new(from->width, from->height, label);
    if (!to) {
        message_show(msg::NoMemoryNewImage);
        return nullptr;
    }
    ImageLock out(to, msg::NoRealMemoryOperation);
    if (!out) {
        out.release();
        image_free(to);
        return nullptr;
    }
    std::memcpy(to->pixels, src->pixels, static_cast<size_t>(from->width) * static_cast<size_t>(from->height) * 4);
    std::memcpy(to->name, from->name, sizeof to->name);
    std::memcpy(to->path, from->path, sizeof to->path);
    std::memcpy(to->palette_red, from->palette_red, sizeof to->palette_red);
    std::memcpy(to->palette_green, from->palette_green, sizeof to->palette_green);
    std::memcpy(to->palette_blue, from->palette_blue, sizeof to->palette_blue);
    std::memcpy(to->format, from->format, sizeof to->format);
    to->hres_num = from->hres_num;
    to->hres_den = from->hres_den;
    to->vres_num = from->vres_num;
    to->vres_den = from->vres_den;
    to->alpha = from->alpha;
    to->bits = from->bits;
    to->file_format = from->file_format;
    to->frame_number = from->frame_number;
    to->frame_count = from->frame_count;
    to->frame_timing[0] = from->frame_timing[0];
    to->frame_timing[1] = from->frame_timing[1];
    return to;
}

// ---- what the run puts back ------------------------------------------------------

// The values of an operation's parameter slots, kept so that every
// application starts from the same parameters and the user gets them back.
struct ParamSnapshot {
    std::vector<uint8_t> bytes;
};

size_t slot_bytes(const OpSlot& s)
{
    if (!s.used() || !s.var)
        return 0;
    if (s.kind == SLOT_INT || s.kind == SLOT_FLOAT)
        return 4;
    if (slot_is_palette(s.kind))
        return sizeof(OpPalette);
    if (slot_is_profile(s.kind))
        return sizeof(int16_t) * kProfilePoints;
    if (slot_is_text(s.kind) || s.kind == SLOT_TEXT_OTHER)
        return s.text_size > 0 ? static_cast<size_t>(s.text_size) : 0;
    return 0;
}

ParamSnapshot take_params(const OpDescriptor& d)
{
    ParamSnapshot snap;
    for (const OpSlot& s : d.slots) {
        size_t n = slot_bytes(s);
        const auto* p = static_cast<const uint8_t*>(s.var);
        if (n)
            snap.bytes.insert(snap.bytes.end(), p, p + n);
    }
    return snap;
}

void put_params(const OpDescriptor& d, const ParamSnapshot& snap)
{
    size_t at = 0;
    for (const OpSlot& s : d.slots) {
        size_t n = slot_bytes(s);
        if (!n || at + n > snap.bytes.size())
            continue;
        std::memcpy(s.var, snap.bytes.data() + at, n);
        at += n;
    }
}

// The area selection: the current settings, the chain of areas and the
// area selected before them.
struct AreaSnapshot {
    AreaSettings current;
    bool present = false;
    std::vector<AreaDesc*> chain;
    AreaDesc* previous = nullptr;

    void take()
    {
        AreaState& st = area_state();
        current = st.current;
        present = st.present;
        if (st.chain)
            for (ListNode* n = st.chain->head; n; n = n->ln_succ)
                if (auto* d = static_cast<AreaDesc*>(n->element))
                    chain.push_back(area_desc_copy(d));
        previous = area_desc_copy(st.previous);
    }
    // Makes the selection what it was; 1 when memory ran short (reported).
    int put() const
    {
        AreaState& st = area_state();
        area_clear();
        int rc = 0;
        if (present)
            for (const AreaDesc* d : chain) {
                if (!d)
                    continue;
                area_restore(d);
                if (area_select() != 0) {
                    rc = 1;
                    break;
                }
            }
        st.present = present && !chain.empty() && rc == 0;
        st.current = current;
        area_desc_free(st.previous);
        st.previous = area_desc_copy(previous);
        return rc;
    }
    ~AreaSnapshot()
    {
        for (AreaDesc* d : chain)
            area_desc_free(d);
        area_desc_free(previous);
    }
};

// ---- the records in force ----------------------------------------------------------

struct FileEntry {
    bool present = false;
    long frame = -1;  // the frame of the record
    TimelineFile rec{};
};

struct OpEntry {
    bool present = false;
    long frame = -1;
    TimelineOp rec{};
};

struct AreaEntry {
    bool present = false;
    long frame = -1;
    TimelineArea rec{};
    std::vector<AreaPoint> points;
};

// The records are copied: the workstation's events run while a frame is
// made, and the cells must not be read through pointers kept across them.
FileEntry file_entry(long level, long frame, Grid grid)
{
    FileEntry e;
    e.frame = timeline_effective(level, frame, grid);
    if (e.frame < 0)
        return e;
    if (const auto* r = cell_record<TimelineFile>(timeline_cell(level, e.frame, grid)); r && r->kind == TL_FILE) {
        e.rec = *r;
        e.present = true;
    }
    return e;
}

OpEntry op_entry(long level, long frame)
{
    OpEntry e;
    e.frame = timeline_effective(level, frame, Grid::Op);
    if (e.frame < 0)
        return e;
    if (const auto* r = cell_record<TimelineOp>(timeline_cell(level, e.frame, Grid::Op)); r && r->kind == TL_OP) {
        e.rec = *r;
        e.present = true;
    }
    return e;
}

void copy_area(const TimelineArea* r, AreaEntry& e)
{
    e.rec = *r;
    e.points.assign(r->points, r->points + (r->points && r->point_count > 0 ? r->point_count : 0));
    e.rec.points = nullptr;
    e.rec.point_count = static_cast<int32_t>(e.points.size());
}

AreaEntry area_entry(long level, long frame)
{
    AreaEntry e;
    e.frame = timeline_effective(level, frame, Grid::Area);
    if (e.frame < 0)
        return e;
    if (const auto* r = cell_record<TimelineArea>(timeline_cell(level, e.frame, Grid::Area)); r && r->kind == TL_AREA) {
        copy_area(r, e);
        e.present = true;
    }
    return e;
}

// The next record of a row after a frame, or -1.
long next_record(long level, long after, Grid grid)
{
    for (long f = after + 1; f < timeline().frames; ++f)
        if (cell_is_record(timeline_cell(level, f, grid)))
            return f;
    return -1;
}

// Straight lines between keyed frames, the quotient truncated as trends do.
long between(long v0, long v1, long f0, long f1, long f)
{
    if (f1 <= f0)
        return v0;
    return v0 + (f - f0) * (v1 - v0) / (f1 - f0);
}

// "Level(n)": n from 1, 0 when the name is no level reference.
int level_reference(const char* name)
{
    if (strncasecmp(name, "Level(", 6) != 0)
        return 0;
    char* end = nullptr;
    long n = std::strtol(name + 6, &end, 10);
    if (!end || *end != ')' || n < 1 || n > kTimelineLevels)
        return 0;
    return static_cast<int>(n);
}

// ---- the run -----------------------------------------------------------------------

struct CachedImage {
    std::string path;
    long number;  // the frame asked for
    Image* image;
    bool used;    // named by an entry of the frame being made
};

class Run {
public:
    explicit Run(const SequenceRequest& request) : request_(request) {}
    ~Run() { restore(); }
    Run(const Run&) = delete;
    Run& operator=(const Run&) = delete;

    int generate(SequenceReport& report);

private:
    void save();
    void restore();
    void adjust_undo(long frame);
    int make_frame(long frame);
    int make_level(long level, long frame);
    Image* entry_image(const FileEntry& e, long level, long frame, bool& failed);
    Image* own(Image* image);
    Image* working_copy(Image* image);
    bool named_later(const Image* image, long level, long frame) const;
    bool run_owned(const Image* image) const;
    int select_area(long level, long frame);
    int apply_operation(const OpEntry& e, long level, long frame);
    void set_variables(const OpEntry& e, long level, long frame);
    int32_t level_value(long level, int variable, long frame);
    void end_frame();
    bool stop_requested();

    const SequenceRequest& request_;
    int levels_ = 0;
    Image* start_ = nullptr;  // the image of the current view when the run began (a copy)
    Image* current_ = nullptr;
    Image* results_[kTimelineLevels] = {};
    std::vector<Image*> frame_images_;  // made for the frame being generated
    std::vector<CachedImage> cache_;    // files read, kept while frames name them
    std::unique_ptr<SequenceWriter> writer_;

    // What is put back after the run.
    bool saved_ = false;
    int32_t operation_ = 0;
    Image* roles_[3] = {};
    std::map<int32_t, ParamSnapshot> params_;
    AreaSnapshot area_;
    long area_generation_ = -1;  // the selection as area_ left it
    long undo_levels_ = 0;
    long read_frame_ = 0, frame_position_ = 0;
    ExprSequence expr_{};
    long trend_level_ = 0;
    int32_t level_values_[kLevelVariables] = {};
};

bool Run::stop_requested()
{
    return g_stop != 0 || progress_cancel_requested();
}

void Run::save()
{
    const ImageRoles& r = image_roles();
    roles_[0] = r.target;
    roles_[1] = r.source;
    roles_[2] = r.brush;
    operation_ = op_state().current;
    // All of them: a parameter file read for one operation may set another's.
    for (int i = 0; i < op_count(); ++i)
        if (const OpDescriptor* d = op_at(i))
            params_.emplace(d->command, take_params(*d));
    area_.take();
    area_generation_ = -1;
    undo_levels_ = settings().undo_want;
    read_frame_ = formats_state().read_frame;
    frame_position_ = formats_state().frame_position;
    expr_ = expr_sequence();
    trend_level_ = trend_list().current_level;
    std::copy(std::begin(timeline().level_values), std::end(timeline().level_values), level_values_);
    saved_ = true;
}

void Run::restore()
{
    if (!saved_)
        return;
    saved_ = false;
    writer_.reset();
    end_frame();
    for (CachedImage& c : cache_)
        image_free(c.image);
    cache_.clear();
    if (start_)
        image_free(start_);
    start_ = nullptr;
    for (auto& [command, snap] : params_)
        if (const OpDescriptor* d = op_by_command(command))
            put_params(*d, snap);
    params_.clear();
    area_.put();
    if (settings().undo_want != undo_levels_)
        undo_set_levels(settings().undo_want, undo_levels_);
    formats_set_read_frame(read_frame_);
    formats_set_frame_position(frame_position_);
    expr_sequence() = expr_;
    trend_list().current_level = trend_level_;
    std::copy(std::begin(level_values_), std::end(level_values_), timeline().level_values);
    op_set_generating(false);
    if (operation_)
        set_current_operation(operation_);
    const ImageRole roles[3] = {ImageRole::Target, ImageRole::Source, ImageRole::Brush};
    for (int i = 0; i < 3; ++i)
        image_set_role(roles[i], roles_[i] && image_store_contains(roles_[i]) ? roles_[i] : nullptr);
    timeline().generating = false;
    if (g_hooks.running)
        g_hooks.running(false);
}

// The undo levels follow the frame: a frame whose first level with an action
// or an operation works on an image of its own needs no more than the user
// asked for; one that goes on working on an image needs a level per level.
void Run::adjust_undo(long frame)
{
    long want = undo_levels_;
    for (long l = 0; l < levels_; ++l) {
        bool action = timeline_effective(l, frame, Grid::Action) >= 0;
        bool op = timeline_effective(l, frame, Grid::Op) >= 0;
        if (!action && !op)
            continue;
        if (!action)
            want = std::max<long>(undo_levels_, levels_);
        break;
    }
    if (settings().undo_want != want)
        undo_set_levels(settings().undo_want, want);
}

// Whether a level after `level` names, at the frame, the result of an
// earlier level that is this image (which the level is about to change).
bool Run::named_later(const Image* image, long level, long frame) const
{
    for (long l = level + 1; l < levels_; ++l)
        for (Grid g : {Grid::Source, Grid::Brush, Grid::Action}) {
            long rf = timeline_effective(l, frame, g);
            if (rf < 0)
                continue;
            const auto* r = cell_record<TimelineFile>(timeline_cell(l, rf, g));
            int n = r && r->kind == TL_FILE ? level_reference(r->name) : 0;
            if (n > 0 && n - 1 < level && results_[n - 1] == image)
                return true;
        }
    return false;
}

Image* Run::own(Image* image)
{
    if (image)
        frame_images_.push_back(image);
    return image;
}

Image* Run::working_copy(Image* image)
{
    return own(copy_image(image, "iseq"));
}

bool Run::run_owned(const Image* image) const
{
    if (image == start_)
        return true;
    for (const Image* i : frame_images_)
        if (i == image)
            return true;
    for (const CachedImage& c : cache_)
        if (c.image == image)
            return true;
    return false;
}

// The image a file entry names at a frame: a level's result, an open image
// of that file, or the file read (at frame S + I x (f - the record's frame)
// of an animation).  Null with `failed` set after telling the user why.
Image* Run::entry_image(const FileEntry& e, long level, long frame, bool& failed)
{
    failed = false;
    if (int n = level_reference(e.rec.name)) {
        if (n - 1 >= level || !results_[n - 1]) {
            char text[160];
            std::snprintf(text, sizeof text,
                          "Level(%d) has no result at frame %ld: level %ld can only take the result of a level before it.",
                          n, frame + 1, level + 1);
            error_box(text);
            failed = true;
            return nullptr;
        }
        return results_[n - 1];
    }
    const long number = std::max(1L, static_cast<long>(e.rec.start) + static_cast<long>(e.rec.increment) * (frame - e.frame));
    const std::string path = resolve_name(e.rec.name);
    if (!e.rec.reload) {
        for (CachedImage& c : cache_)
            if (c.path == path && (c.image->frame_count <= 1 || c.number == number)) {
                c.used = true;
                return c.image;
            }
        // An open image of that file that nobody has changed serves as it is.
        const ImageStore& store = image_store();
        for (Image* img : store.slots) {
            if (!img || run_owned(img) || img->changes != 0 || img->is_layer)
                continue;
            bool named = img->path[0] ? same_file(path, img->path) : path == img->name;
            if (named && (img->frame_count <= 1 || img->frame_number == std::min(number, static_cast<long>(img->frame_count))))
                return img;
        }
    }
    formats_set_read_frame(number);
    Image* img = load_image(path.c_str());
    formats_set_read_frame(read_frame_);
    if (!img) {
        failed = true;
        return nullptr;
    }
    if (e.rec.reload)
        return own(img);
    cache_.push_back({path, number, img, true});
    return img;
}

int32_t Run::level_value(long level, int variable, long frame)
{
    const LevelVariableInfo& info = level_variable_info(variable);
    trend_list().current_level = level;
    const Trend* t = trend_find(&timeline().level_values[variable]);
    if (!t)
        return info.fresh;
    return std::clamp(trend_value(t, frame), info.low, info.high);
}

// The selection of a level: the one the run started with, or the level's
// area entry (interpolated towards the next one when it asks), with the
// level's feathering added.
int Run::select_area(long level, long frame)
{
    AreaEntry e = area_entry(level, frame);
    const int32_t feather = level_value(level, LEVEL_FEATHER, frame);
    if (!e.present && feather == 0 && area_state().generation == area_generation_)
        return 0;
    if (area_.put() != 0)
        return 1;
    if (e.present) {
        if (e.rec.interpolate) {
            long nf = next_record(level, e.frame, Grid::Area);
            const auto* next = nf >= 0 ? cell_record<TimelineArea>(timeline_cell(level, nf, Grid::Area)) : nullptr;
            if (next && next->kind == TL_AREA && next->mode == e.rec.mode) {
                auto mix = [&](auto& v, auto w) { v = static_cast<std::remove_reference_t<decltype(v)>>(between(v, w, e.frame, nf, frame)); };
                mix(e.rec.center_x, next->center_x);
                mix(e.rec.center_y, next->center_y);
                for (int i = 0; i < 4; ++i)
                    mix(e.rec.pos[i], next->pos[i]);
                mix(e.rec.font_pos_x, next->font_pos_x);
                mix(e.rec.font_pos_y, next->font_pos_y);
                mix(e.rec.posf_x, next->posf_x);
                mix(e.rec.posf_y, next->posf_y);
                mix(e.rec.roundness, next->roundness);
                mix(e.rec.feather, next->feather);
                mix(e.rec.tran_level, next->tran_level);
                mix(e.rec.tran_edge, next->tran_edge);
                mix(e.rec.tran_grow, next->tran_grow);
                if (next->points && next->point_count == static_cast<int32_t>(e.points.size()))
                    for (size_t i = 0; i < e.points.size(); ++i) {
                        mix(e.points[i].x, next->points[i].x);
                        mix(e.points[i].y, next->points[i].y);
                    }
            }
        }
        e.rec.points = e.points.empty() ? nullptr : e.points.data();
        e.rec.point_count = static_cast<int32_t>(e.points.size());
        timeline_area_restore(&e.rec, area_settings());
        if (area_select() != 0)
            return 1;
    }
    // Feathering softens the edge of the level's area; the entire image has none.
    if (feather > 0 && area_state().present) {
        AreaState& st = area_state();
        if (st.chain && st.chain->tail)
            if (auto* d = static_cast<AreaDesc*>(st.chain->tail->element))
                d->feather = static_cast<int32_t>(std::min<long>(kAreaMaxWidth, static_cast<long>(d->feather) + feather));
        st.generation += 1;
    }
    // The next level starts from the run's selection again unless nothing changed it.
    area_generation_ = e.present || feather > 0 ? -1 : area_state().generation;
    return 0;
}

// The variables of the operation record for the frame: a trend of the level
// gives the value; without one, an interpolating record goes in straight
// lines towards the next record of the same operation.
void Run::set_variables(const OpEntry& e, long level, long frame)
{
    trend_list().current_level = level;
    const TimelineOp* next = nullptr;
    long next_frame = -1;
    if (e.rec.interpolate) {
        next_frame = next_record(level, e.frame, Grid::Op);
        next = next_frame >= 0 ? cell_record<TimelineOp>(timeline_cell(level, next_frame, Grid::Op)) : nullptr;
        if (next && (next->kind != TL_OP || next->command != e.rec.command))
            next = nullptr;
    }
    for (const TimelineVar& v : e.rec.vars) {
        if (v.slot < 0)
            continue;
        int32_t* param = timeline_var_parameter(v);
        if (!param)
            continue;
        long value = v.value;
        if (const Trend* t = trend_find(param)) {
            value = trend_value(t, frame);
        } else if (next) {
            for (const TimelineVar& w : next->vars)
                if (w.slot == v.slot) {
                    value = between(v.value, w.value, e.frame, next_frame, frame);
                    break;
                }
        }
        const OpDescriptor* d = op_by_command(v.command);
        if (d) {
            const OpSlot& s = d->slots[v.slot];
            value = std::clamp<long>(value, static_cast<long>(std::max<double>(s.typed_min, INT32_MIN)),
                                     static_cast<long>(std::min<double>(s.typed_max, INT32_MAX)));
        }
        *param = static_cast<int32_t>(value);
    }
}

// Applies the level's operation as often as its Repeat says and keeps Mix
// percent of the result over the image it started from.  A refusal that
// explained nothing (the settings change nothing at this frame) leaves the
// frame as it is; any other failure stops the run.
int Run::apply_operation(const OpEntry& e, long level, long frame)
{
    OpDescriptor* d = op_by_command(e.rec.command);
    if (!d || set_current_operation(e.rec.command) != 0) {
        char text[96];
        std::snprintf(text, sizeof text, "The timeline names operation %d, which this system does not have.",
                      static_cast<int>(e.rec.command));
        error_box(text);
        return 1;
    }
    // Every application starts from the parameters the run began with.
    if (auto it = params_.find(d->command); it != params_.end())
        put_params(*d, it->second);
    if (e.rec.pfile[0] && load_op_settings(resolve_name(e.rec.pfile).c_str()) != 0)
        return 1;
    set_variables(e, level, frame);

    const int32_t mix = level_value(level, LEVEL_MIX, frame);
    const int32_t repeat = level_value(level, LEVEL_REPEAT, frame);
    Image* before = mix < 100 ? copy_image(current_, "iseq") : nullptr;
    if (mix < 100 && !before)
        return 1;

    bool fold = settings().with_alpha != 0 && !d->no_alpha_masking;
    int rc = 0;
    for (int32_t r = 0; r < repeat && rc == 0; ++r) {
        op_set_generating(true, frame, level, level == 0);
        if (build_area_mask(current_, fold) != 0) {
            rc = 1;
            break;
        }
        unsigned long told = messages_reported();
        int result = perform_operation(current_, 0);
        if (result == 2 || result == 3) {
            if (messages_reported() != told)
                rc = 1;
            break;  // nothing changes, however often it is asked
        }
        if (result != 0)
            rc = 1;
    }
    if (rc == 0 && before && before->width == current_->width && before->height == current_->height) {
        ImageLock a(before), b(current_);
        if (a && b) {
            size_t n = static_cast<size_t>(before->width) * static_cast<size_t>(before->height) * 4;
            const uint8_t* o = before->pixels;
            uint8_t* p = current_->pixels;
            for (size_t i = 0; i < n; ++i)
                p[i] = static_cast<uint8_t>((p[i] * mix + o[i] * (100 - mix)) / 100);
        }
    }
    if (before)
        image_free(before);
    return rc;
}

int Run::make_level(long level, long frame)
{
    // The records in force, read once.
    FileEntry src = file_entry(level, frame, Grid::Source);
    FileEntry bru = file_entry(level, frame, Grid::Brush);
    FileEntry act = file_entry(level, frame, Grid::Action);
    OpEntry op = op_entry(level, frame);
    bool failed = false;

    Image* source = src.present ? entry_image(src, level, frame, failed) : roles_[1];
    if (failed)
        return 1;
    Image* brush = bru.present ? entry_image(bru, level, frame, failed) : roles_[2];
    if (failed)
        return 1;
    // A level works on a copy of a file's image, so that the image read
    // serves the next frames as it is; and on a copy of a level's result
    // when that result is named again further down or is also the level's
    // source or brush.
    auto keeps = [&](Image* img) {
        return !level_reference(act.rec.name) || img == source || img == brush || named_later(img, level, frame);
    };
    if (act.present) {
        Image* img = entry_image(act, level, frame, failed);
        if (failed)
            return 1;
        current_ = keeps(img) ? working_copy(img) : img;
        if (!current_)
            return 1;
    } else if (current_ && (current_ == source || current_ == brush || named_later(current_, level, frame))) {
        // The level goes on with the image the level before it made.
        current_ = working_copy(current_);
        if (!current_)
            return 1;
    }
    // Roles the run started with may have gone while the frame was made.
    if (source && !image_store_contains(source))
        source = nullptr;
    if (brush && !image_store_contains(brush))
        brush = nullptr;
    image_set_role(ImageRole::Source, source);
    image_set_role(ImageRole::Brush, brush);

    if (!current_ && start_) {
        current_ = working_copy(start_);
        if (!current_)
            return 1;
    }
    if (select_area(level, frame) != 0)
        return 1;
    if (op.present) {
        if (!current_) {
            message_show(msg::NoTimelineImage);
            return 1;
        }
        if (apply_operation(op, level, frame) != 0)
            return 1;
    }
    results_[level] = current_;
    take_level_picture(level, current_);
    return 0;
}

int Run::make_frame(long frame)
{
    current_ = nullptr;
    std::fill(std::begin(results_), std::end(results_), nullptr);
    for (LevelPicture& p : g_kept.making)
        p.present = false;
    for (CachedImage& c : cache_)
        c.used = false;
    for (long level = 0; level < levels_; ++level) {
        if (stop_requested())
            return SEQ_STOPPED;
        if (make_level(level, frame) != 0)
            return stop_requested() ? SEQ_STOPPED : SEQ_FAILED;
    }
    // Without levels (or without any image named) the frame is the image the run started on.
    if (!current_ && start_)
        current_ = working_copy(start_);
    if (!current_) {
        message_show(msg::NoTimelineImage);
        return SEQ_FAILED;
    }
    return SEQ_DONE;
}

// The frame's images go; files read stay while the frames go on naming them.
void Run::end_frame()
{
    for (Image* img : frame_images_)
        if (image_store_contains(img))
            image_free(img);
    frame_images_.clear();
    current_ = nullptr;
    std::fill(std::begin(results_), std::end(results_), nullptr);
    for (size_t i = cache_.size(); i-- > 0;)
        if (!cache_[i].used) {
            image_free(cache_[i].image);
            cache_.erase(cache_.begin() + static_cast<long>(i));
        }
}

int Run::generate(SequenceReport& report)
{
    TimelineState& tl = timeline();
    report.first = request_.first;
    report.last = request_.last;
    levels_ = timeline_levels_in_use();

    save();
    // The image of the current view, or the first image open: what frames
    // without an action of their own work on.
    Image* view = image_role(ImageRole::Target);
    if (!view || !image_store_contains(view))
        view = ui::platform().first_viewed_image();
    if (!view || !image_store_contains(view)) {
        view = nullptr;
        for (Image* img : image_store().slots)
            if (img && !img->is_layer) {
                view = img;
                break;
            }
    }
    if (view && !(start_ = copy_image(view, "iseq")))
        return SEQ_FAILED;

    undo_release();
    tl.generating = true;
    g_stop = 0;
    if (g_hooks.running)
        g_hooks.running(true);
    writer_ = sequence_writer(request_.output, request_.last - request_.first + 1);
    if (request_.output.kind != SequenceOutputKind::None && !writer_)
        return SEQ_FAILED;

    const long count = request_.last - request_.first + 1;
    progress_open("Sequence", count);
    progress_overall_total(count);
    int rc = SEQ_DONE;
    ExprSequence& seq = expr_sequence();
    for (long f = request_.first - 1; f < request_.last; ++f) {
        const long index = f - (request_.first - 1);
        if (progress_update(index) || g_stop) {
            rc = SEQ_STOPPED;
            break;
        }
        progress_overall_position(index);
        adjust_undo(f);
        seq.frame = f;
        seq.frames = tl.frames;
        op_set_generating(true, f, 0, true);
        rc = make_frame(f);
        if (rc != SEQ_DONE)
            break;
        if (writer_ && writer_->frame(current_, index, f) != 0) {
            rc = SEQ_FAILED;
            break;
        }
        if (sequence_film_place(current_, f, request_.film) != 0) {
            rc = SEQ_FAILED;
            break;
        }
        keep_level_pictures(f + 1, levels_);
        if (g_hooks.frame_done)
            g_hooks.frame_done(current_, f);
        report.frames += 1;
        end_frame();
    }
    end_frame();
    if (writer_) {
        if (writer_->finish(rc == SEQ_DONE) != 0 && rc == SEQ_DONE)
            rc = SEQ_FAILED;
        report.written = writer_->written();
        writer_.reset();
    }
    progress_overall_end();
    progress_close();
    if (rc == SEQ_STOPPED)
        log_printf("Sequence stopped after %ld frames\n", report.frames);
    return rc;
}

} // namespace

bool sequence_output_for_name(const std::string& name, SequenceOutput& out, std::string& error)
{
    return sequence_output_parse(name, out, error);
}

void sequence_request_stop()
{
    g_stop = 1;
}

void sequence_set_hooks(const SequenceHooks& hooks)
{
    g_hooks = hooks;
}

int sequence_generate(const SequenceRequest& request, SequenceReport* report)
{
    SequenceReport local;
    SequenceReport& rep = report ? *report : local;
    rep = SequenceReport{};
    TimelineState& tl = timeline();
    if (tl.generating) {
        message_show(msg::OperationInProgress);
        return SEQ_REFUSED;
    }
    SequenceRequest rq = request;
    long first = rq.first > 0 ? rq.first : tl.first_frame;
    long last = rq.last > 0 ? rq.last : tl.last_frame;
    rq.first = std::clamp(first, 1L, tl.frames);
    rq.last = std::clamp(last, rq.first, tl.frames);
    rep.first = rq.first;
    rep.last = rq.last;

    // The questions come before anything is done.
    if (rq.output.kind != SequenceOutputKind::None) {
        std::string last_name = sequence_output_file(rq.output, rq.last);
        if (file_exists(last_name) &&
            message_ask(msg::SequenceFileExists, ui::Ask::Replace, last_name.c_str()) != ui::Answer::Yes)
            return SEQ_REFUSED;
    }
    if (timeline_levels_in_use() == 0 &&
        message_ask(msg::NoTimelineOperations, ui::Ask::Proceed) != ui::Answer::Yes)
        return SEQ_REFUSED;

    log_printf("Sequence: frames %ld to %ld of %ld\n", rq.first, rq.last, tl.frames);
    Run run(rq);
    return run.generate(rep);
}

long sequence_kept_frame()
{
    return g_kept.frame;
}

void sequence_forget_levels()
{
    g_kept = KeptLevels {};
}

Image* sequence_level_image(long level, std::string& error)
{
    const std::string name = "Level(" + std::to_string(level) + ")";
    if (g_kept.frame < 1) {
        error = name + ": no frame of the timeline has been generated";
        return nullptr;
    }
    const std::string frame = "frame " + std::to_string(g_kept.frame);
    if (level < 1 || level > g_kept.levels) {
        error = name + ": the timeline's " + frame + " has " + (g_kept.levels == 0 ? std::string("no levels") :
                g_kept.levels == 1 ? std::string("one level") : std::to_string(g_kept.levels) + " levels");
        return nullptr;
    }
    const LevelPicture& p = g_kept.pictures[static_cast<size_t>(level - 1)];
    if (!p.present) {
        error = name + ": level " + std::to_string(level) + " made no image at " + frame;
        return nullptr;
    }
    Image* image = image_new(p.width, p.height, "iseq");
    if (!image) {
        message_show(msg::NoMemoryNewImage);
        error = name + ": no memory for a " + std::to_string(p.width) + " x " + std::to_string(p.height) + " image";
        return nullptr;
    }
    {
        ImageLock lock(image);
        if (!lock) {
            lock.release();
            image_free(image);
            error = name + ": no memory for its pixels";
            return nullptr;
        }
        std::memcpy(image->pixels, p.rgba.data(), p.rgba.size());
    }
    image->alpha = p.alpha;
    std::snprintf(image->name, sizeof image->name, "%s", name.c_str());
    image->changes = 1;  // no file holds it
    return image;
}
