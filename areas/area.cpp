#include "areas/area.h"

#include "areas/area_font.h"
#include "areas/area_mask.h"
#include "core/app.h"
#include "core/list.h"
#include "core/log.h"
#include "core/mem.h"
#include "core/messages.h"
#include "core/settings.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <strings.h>

namespace {

// Mode words of the area file, and the beginnings the reader knows them by.
struct ModeWord {
    AreaMode mode;
    const char* name;
    const char* prefix;
};
const ModeWord kModeWords[] = {
    {AreaMode::FREEHAND, "FREEHAND", "FREE"},   {AreaMode::POLYGON, "POLYGON", "POLYG"},
    {AreaMode::ISHAPE, "ISHAPE", "ISH"},        {AreaMode::RECT, "RECT", "RECT"},
    {AreaMode::ROUNDRECT, "ROUNDRECT", "ROUN"}, {AreaMode::ELLIPSE, "ELLIPSE", "ELLI"},
    {AreaMode::POLYARC, "POLYARC", "POLYA"},    {AreaMode::SPLINE, "SPLINE", "SPLI"},
    {AreaMode::BEZIER, "BEZIER", "BEZ"},        {AreaMode::NUMRECT, "NUMRECT", "NUM"},
    {AreaMode::FLOOD, "FLOOD", "FLOO"},         {AreaMode::KEY, "KEY", "KEY"},
    {AreaMode::ENTIRE, "ENTIRE", "ENT"},        {AreaMode::FONT, "FONT", "FONT"},
    {AreaMode::REDO, "REDO", "REDO"},
};

AreaState& state_storage()
{
    static AreaState s;
    return s;
}

int32_t clamp32(long v)
{
    return static_cast<int32_t>(std::clamp<long>(v, INT32_MIN, INT32_MAX));
}

void* desc_alloc_element()
{
    auto* d = static_cast<AreaDesc*>(mem_alloc(sizeof(AreaDesc), "area"));
    if (d)
        std::memset(d, 0, sizeof *d);
    return d;
}

void desc_free_element(void* element)
{
    area_desc_free(static_cast<AreaDesc*>(element));
}

// Fills a zeroed description from settings; false when the point list could
// not be allocated (the description stays without points).
bool fill_desc(AreaDesc* d, const AreaSettings& s)
{
    d->kind = 3;
    d->mode = s.mode;
    d->src_width = clamp32(s.src_width);
    d->src_height = clamp32(s.src_height);
    d->pos_x = clamp32(s.pos_x);
    d->pos_y = clamp32(s.pos_y);
    long box[4];
    area_box_of(s, box);
    d->left = clamp32(box[0]);
    d->top = clamp32(box[1]);
    d->right = clamp32(box[2]);
    d->bottom = clamp32(box[3]);
    std::snprintf(d->font_name, sizeof d->font_name, "%s", s.font_name.c_str());
    d->font_size = clamp32(s.font_size);
    d->text = static_cast<char*>(mem_alloc(kAreaTextMax + 1, "atxt"));
    if (d->text)
        std::snprintf(d->text, kAreaTextMax + 1, "%s", s.text.c_str());
    d->rotation = s.rotation;
    d->mag_x = s.mag_x;
    d->mag_y = s.mag_y;
    d->shear = s.shear;
    d->roundness = clamp32(s.roundness);
    d->tran_level = clamp32(s.tran_level);
    d->tran_edge = clamp32(s.tran_edge);
    d->tran_grow = clamp32(s.tran_grow);
    d->feather = clamp32(s.feather);
    const bool curve = s.mode == AreaMode::POLYARC || s.mode == AreaMode::SPLINE || s.mode == AreaMode::BEZIER;
    const std::vector<AreaPoint>& pts = curve ? s.control : s.points;
    d->point_count = 0;
    d->points = nullptr;
    bool ok = true;
    if (!pts.empty()) {
        d->points = mem_alloc_as<AreaPoint>(static_cast<long>(pts.size()), "apts");
        if (d->points) {
            std::copy(pts.begin(), pts.end(), d->points);
            d->point_count = static_cast<int32_t>(pts.size());
        } else {
            ok = false;
        }
    }
    d->key_r = clamp32(s.key[0]);
    d->key_g = clamp32(s.key[1]);
    d->key_b = clamp32(s.key[2]);
    d->range_r = clamp32(s.range[0]);
    d->range_g = clamp32(s.range[1]);
    d->range_b = clamp32(s.range[2]);
    d->combination1 = s.combination1;
    d->combination2 = s.combination2;
    d->pos_set = s.pos_set ? 1 : 0;
    d->key_space = static_cast<int16_t>(s.key_space);
    d->font_italic = s.font_italic ? 1 : 0;
    d->font_weight = clamp32(s.font_weight);
    return ok;
}

void settings_from_desc(AreaSettings& s, const AreaDesc* d)
{
    s.mode = d->mode;
    s.src_width = d->src_width;
    s.src_height = d->src_height;
    s.pos_x = d->pos_x;
    s.pos_y = d->pos_y;
    s.pos_set = d->pos_set != 0;
    // The radii come back from the box, which is position +- radius.
    if (d->mode == AreaMode::ISHAPE) {
        s.box[0] = d->left;
        s.box[1] = d->top;
        s.box[2] = d->right;
        s.box[3] = d->bottom;
    } else if (d->mode == AreaMode::RECT || d->mode == AreaMode::ROUNDRECT || d->mode == AreaMode::ELLIPSE ||
               d->mode == AreaMode::NUMRECT) {
        s.rad_x = (static_cast<long>(d->right) - d->left) / 2;
        s.rad_y = (static_cast<long>(d->bottom) - d->top) / 2;
    }
    s.font_name = d->font_name;
    s.font_size = d->font_size;
    s.font_weight = d->font_weight;
    s.font_italic = d->font_italic != 0;
    s.text = d->text ? d->text : "";
    s.rotation = d->rotation;
    s.mag_x = d->mag_x;
    s.mag_y = d->mag_y;
    s.shear = d->shear;
    s.roundness = d->roundness;
    s.tran_level = d->tran_level;
    s.tran_edge = d->tran_edge;
    s.tran_grow = d->tran_grow;
    s.feather = d->feather;
    std::vector<AreaPoint> pts;
    if (d->points && d->point_count > 0)
        pts.assign(d->points, d->points + d->point_count);
    const bool curve = d->mode == AreaMode::POLYARC || d->mode == AreaMode::SPLINE || d->mode == AreaMode::BEZIER;
    (curve ? s.control : s.points) = std::move(pts);
    s.key[0] = d->key_r;
    s.key[1] = d->key_g;
    s.key[2] = d->key_b;
    s.range[0] = d->range_r;
    s.range[1] = d->range_g;
    s.range[2] = d->range_b;
    s.key_space = d->key_space == 1 ? KeySpace::HSL : KeySpace::RGB;
    s.combination1 = d->combination1;
    s.combination2 = d->combination2;
}

void chain_destroy()
{
    AreaState& st = state_storage();
    if (st.chain) {
        list_destroy(st.chain);
        st.chain = nullptr;
    }
}

// Registered before start-up so that shut-down gives everything back.
struct AreaSubsystem {
    AreaSubsystem() { app_add_subsystem("areas", nullptr, area_release); }
} g_area_subsystem;

} // namespace

const char* area_mode_name(AreaMode mode)
{
    for (const ModeWord& w : kModeWords)
        if (w.mode == mode)
            return w.name;
    return "ENTIRE";
}

bool area_mode_parse(const char* word, AreaMode* mode)
{
    if (!word)
        return false;
    for (const ModeWord& w : kModeWords) {
        size_t n = std::strlen(w.prefix);
        if (strncasecmp(word, w.prefix, n) == 0) {
            *mode = w.mode;
            return true;
        }
    }
    return false;
}

AreaState& area_state()
{
    return state_storage();
}

AreaSettings& area_settings()
{
    return state_storage().current;
}

void area_settings_reset()
{
    state_storage().current = AreaSettings{};
}

void area_settings_from_prefs()
{
    const Settings& p = settings();
    AreaSettings& s = area_settings();
    // "AreaMode" counts the area tools from 1 in menu order, in which font
    // comes before entire.
    static const AreaMode kMenu[] = {AreaMode::FREEHAND, AreaMode::POLYGON, AreaMode::ISHAPE,  AreaMode::RECT,
                                     AreaMode::ROUNDRECT, AreaMode::ELLIPSE, AreaMode::POLYARC, AreaMode::SPLINE,
                                     AreaMode::BEZIER,   AreaMode::NUMRECT, AreaMode::FLOOD,   AreaMode::FONT,
                                     AreaMode::ENTIRE,   AreaMode::REDO};
    if (p.area_mode >= 1 && p.area_mode <= static_cast<long>(std::size(kMenu)))
        s.mode = kMenu[p.area_mode - 1];
    s.feather = std::clamp<long>(p.feathering, 0, kAreaMaxWidth);
    for (int i = 0; i < 3; ++i)
        s.range[i] = std::clamp<long>(p.rgb_range[i], 0, 255);
    if (!p.font.empty())
        s.font_name = p.font;
    if (p.points > 0)
        s.font_size = p.points;
    if (p.weight > 0)
        s.font_weight = p.weight;
    s.font_italic = p.italic != 0;
}

AreaDesc* area_capture()
{
    auto* d = static_cast<AreaDesc*>(desc_alloc_element());
    if (!d)
        return nullptr;
    if (!fill_desc(d, area_settings()))
        log_printf("Area capture: no memory for %zu points\n", area_settings().points.size());
    return d;
}

AreaDesc* area_desc_copy(const AreaDesc* desc)
{
    if (!desc)
        return nullptr;
    AreaSettings s;
    settings_from_desc(s, desc);
    auto* d = static_cast<AreaDesc*>(desc_alloc_element());
    if (!d)
        return nullptr;
    fill_desc(d, s);
    // The box of an ISHAPE is the record's own; keep it as it was.
    d->left = desc->left;
    d->top = desc->top;
    d->right = desc->right;
    d->bottom = desc->bottom;
    return d;
}

AreaDesc* area_desc_free(AreaDesc* desc)
{
    if (!desc)
        return nullptr;
    if (desc->text)
        desc->text = mem_free_t(desc->text);
    if (desc->points)
        desc->points = mem_free_t(desc->points);
    return mem_free_t(desc);
}

void area_restore(const AreaDesc* desc)
{
    if (desc && desc->kind == 3)
        settings_from_desc(area_settings(), desc);
}

int area_select()
{
    AreaState& st = state_storage();
    const AreaSettings& s = st.current;
    AreaDesc* chosen = nullptr;
    if (s.mode == AreaMode::REDO) {
        // The previous area again; without one, the entire image.
        if (st.previous) {
            chosen = area_desc_copy(st.previous);
        } else {
            AreaSettings entire;
            entire.mode = AreaMode::ENTIRE;
            chosen = static_cast<AreaDesc*>(desc_alloc_element());
            if (chosen)
                fill_desc(chosen, entire);
            log_printf("Area REDO: no previous area, the entire image is used\n");
        }
    } else {
        chosen = area_capture();
    }
    if (!chosen) {
        message_show(msg::NoMemoryOperation);
        return 1;
    }
    if (s.mode != AreaMode::REDO) {
        // The area in force becomes the previous one.
        if (st.chain && st.chain->tail && st.chain->tail->element) {
            AreaDesc* last = area_desc_copy(static_cast<AreaDesc*>(st.chain->tail->element));
            if (last) {
                area_desc_free(st.previous);
                st.previous = last;
            }
        }
    }
    // A plain area (or the first one) starts the chain anew.
    if (chosen->combination1 == COMBINE_NONE || !st.present || !st.chain)
        chain_destroy();
    if (!st.chain && list_create(&st.chain, "area selection", desc_alloc_element, desc_free_element) != LIST_OK) {
        area_desc_free(chosen);
        st.chain = nullptr;
        message_show(msg::NoMemoryOperation);
        return 1;
    }
    ListNode* node = list_add_tail(st.chain);
    if (!node) {
        area_desc_free(chosen);
        message_show(msg::NoMemoryOperation);
        return 1;
    }
    area_desc_free(static_cast<AreaDesc*>(node->element));
    node->element = chosen;
    st.present = true;
    st.generation += 1;
    return 0;
}

void area_clear()
{
    AreaState& st = state_storage();
    chain_destroy();
    st.present = false;
    st.generation += 1;
}

int area_chain_length()
{
    return list_count(state_storage().chain);
}

void area_box_of(const AreaSettings& s, long box[4])
{
    switch (s.mode) {
    case AreaMode::RECT:
    case AreaMode::ROUNDRECT:
    case AreaMode::ELLIPSE:
    case AreaMode::NUMRECT:
        box[0] = s.pos_x - s.rad_x;
        box[1] = s.pos_y - s.rad_y;
        box[2] = s.pos_x + s.rad_x;
        box[3] = s.pos_y + s.rad_y;
        break;
    case AreaMode::ISHAPE:
        std::copy(s.box, s.box + 4, box);
        break;
    default: {
        // The points' bounding box, or the position.
        const bool curve = s.mode == AreaMode::POLYARC || s.mode == AreaMode::SPLINE || s.mode == AreaMode::BEZIER;
        const std::vector<AreaPoint>& pts = curve ? s.control : s.points;
        if ((s.mode == AreaMode::FREEHAND || s.mode == AreaMode::POLYGON || curve) && !pts.empty()) {
            box[0] = box[2] = pts[0].x;
            box[1] = box[3] = pts[0].y;
            for (const AreaPoint& p : pts) {
                box[0] = std::min<long>(box[0], p.x);
                box[1] = std::min<long>(box[1], p.y);
                box[2] = std::max<long>(box[2], p.x);
                box[3] = std::max<long>(box[3], p.y);
            }
        } else {
            box[0] = box[2] = s.pos_x;
            box[1] = box[3] = s.pos_y;
        }
    }
    }
}

bool area_shape_into_box(const long box[4])
{
    AreaState& st = state_storage();
    if (st.shape.points.empty())
        return false;
    AreaSettings& s = st.current;
    std::copy(box, box + 4, s.box);
    const double w = static_cast<double>(box[2]) - box[0];
    const double h = static_cast<double>(box[3]) - box[1];
    s.points.clear();
    s.points.reserve(st.shape.points.size());
    for (const AreaPoint& p : st.shape.points) {
        AreaPoint q;
        q.x = clamp32(std::lround(box[0] + p.x * w / 1000.0));
        q.y = clamp32(std::lround(box[1] + p.y * h / 1000.0));
        q.m = p.m;
        s.points.push_back(q);
    }
    s.mode = AreaMode::ISHAPE;
    return true;
}

void area_constrain_box(long x0, long y0, long* x1, long* y1, double aspect)
{
    const AreaState& st = state_storage();
    long dx = *x1 - x0, dy = *y1 - y0;
    long ax = std::labs(dx), ay = std::labs(dy);
    if (st.hold_square) {
        long side = std::max(ax, ay);
        ax = ay = side;
    } else if ((st.hold_aspect || st.hold_source) && aspect > 0) {
        // Keep the larger drag and fit the other side to the aspect.
        if (ax >= ay * aspect)
            ay = std::lround(ax / aspect);
        else
            ax = std::lround(ay * aspect);
    } else {
        return;
    }
    *x1 = x0 + (dx < 0 ? -ax : ax);
    *y1 = y0 + (dy < 0 ? -ay : ay);
}

void area_release()
{
    AreaState& st = state_storage();
    chain_destroy();
    st.previous = area_desc_free(st.previous);
    st.present = false;
    st.current = AreaSettings{};
    st.shape = AreaShape{};
    mask_release();
    area_font_release();
}
