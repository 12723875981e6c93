#include "ops/framework.h"

#include "areas/area_mask.h"
#include "areas/splatter.h"
#include "core/image.h"
#include "core/log.h"
#include "core/messages.h"
#include "core/progress.h"
#include "core/settings.h"
#include "ops/appliers.h"
#include "ops/catalogue.h"
#include "core/platform.h"

#include <algorithm>
#include <string>

namespace {

struct FrameworkHooks {
    void (*layer_changed)(Image*);
    void (*film_refresh)(Image*);
    CurveApply curves;
    bool has_curves;
};

OpState g_state;
FrameworkHooks g_hooks;

// The title of a view's window: the image's name, else its file.
std::string window_title(const Image* image)
{
    if (image->name[0])
        return image->name;
    if (image->path[0])
        return image->path;
    return "Untitled";
}

bool decide_alpha_mode(Image* target)
{
    switch (settings().mod_alpha) {
    case 0: return false;
    case 1: return true;
    default: return ui::platform().view_shows_alpha(target);
    }
}

void publish(const OpDescriptor& d)
{
    g_state.op = &d;
    g_state.worker = d.worker;
    g_state.warp = d.warp;
    g_state.mapping = d.mapping;
    g_state.prepass = d.prepass;
    g_state.finish = d.finish;
    g_state.warp_capable = d.warp_capable != 0;
}

// Locks a source or brush image and publishes it; the target stands in when
// none is assigned.  False when it cannot be locked (message 2).
bool lock_role(ImageRole role, Image* target, Image*& image, long& w, long& h, uint32_t*& rows, uint8_t*& px)
{
    Image* r = image_role(role);
    if (!r || !image_store_contains(r))
        r = target;
    // Locked even when it is the target, so that its pixels stay addressable;
    // unlock_role lets it go.
    ImageLock lock(r, msg::SourceNoLock);
    if (!lock)
        return false;
    image = lock.keep();
    w = static_cast<long>(r->width);
    h = r->height;
    rows = r->rows;
    px = r->pixels;
    return true;
}

void unlock_role(Image*& image)
{
    if (image)
        image_unlock(image);
    image = nullptr;
}

void redraw_after(Image* target, int result, const OpDescriptor* d, OpApplier applier)
{
    ui::Platform& p = ui::platform();
    if (applier == apply_whole_image_no_undo) {
        p.redraw(target, nullptr);
        return;
    }
    if (result != 0) {
        p.redraw(target, nullptr);
        return;
    }
    target->changes = static_cast<int16_t>(target->changes + 1);
    if ((d && d->full_refresh) || (g_state.generating && g_state.first_level)) {
        p.redraw(target, nullptr);
    } else {
        const AreaRect& r = area_mask().rect;
        ui::Rect grown;
        grown.x0 = std::max(0, r.x0 - 1);
        grown.y0 = std::max(0, r.y0 - 1);
        grown.x1 = std::min(static_cast<int>(target->width) - 1, r.x1 + 1);
        grown.y1 = std::min(target->height - 1, r.y1 + 1);
        p.redraw(target, &grown);
    }
    if (!g_state.generating && g_hooks.film_refresh)
        g_hooks.film_refresh(target);
}

void mark_layer_master(Image* target)
{
    if (!target->is_layer || !target->owner)
        return;
    if (g_hooks.layer_changed) {
        g_hooks.layer_changed(target);
        return;
    }
    target->owner->recomposite = 1;
    ui::platform().redraw(target->owner, nullptr);
}

} // namespace

OpState& op_state()
{
    return g_state;
}

bool is_warp_layer(const Image* image)
{
    return image && image->is_layer && (image->layer_mode == 16 || (image->layer_flags & LAYER_WARP));
}

int set_current_operation(int32_t command)
{
    const OpDescriptor* d = op_by_command(command);
    if (!d)
        return 1;
    g_state.current = command;
    g_state.current_applier = d->applier;
    settings().operation = command;
    return 0;
}

void op_set_generating(bool on, long frame, long level, bool first_level)
{
    g_state.generating = on;
    g_state.frame = frame;
    g_state.level = level;
    g_state.first_level = first_level;
}

int op_refuse_no_change()
{
    if (!g_state.generating)
        message_show(msg::NoChange);
    return 2;
}

void op_set_layer_hook(void (*changed)(Image*))
{
    g_hooks.layer_changed = changed;
}

void op_set_film_hook(void (*refresh)(Image*))
{
    g_hooks.film_refresh = refresh;
}

void op_set_curve_apply(const CurveApply* curves)
{
    g_hooks.has_curves = curves && curves->measuring && curves->build_tables && curves->worker;
    g_hooks.curves = g_hooks.has_curves ? *curves : CurveApply{};
}

int perform_operation(Image* view, int view_index)
{
    // The view worked on: the one asked for, else the target, else the first one shown.
    if (!view)
        view = image_role(ImageRole::Target);
    if (!view || !image_store_contains(view))
        view = ui::platform().first_viewed_image();
    if (!view) {
        message_show(msg::NoImagesLoaded, "To apply the effect.");
        return 1;
    }
    if (view_index < 0)
        view_index = 0;
    g_state.view = view;
    g_state.view_index = view_index;
    Image* target = view;
    image_set_role(ImageRole::Target, target);

    OpDescriptor* d = op_by_command(g_state.current);
    if (!d) {
        error_box("No operation is chosen to apply.");
        return 1;
    }

    // The log names the operation (with frame and level during a sequence) and the view.
    if (log_is_open()) {
        if (g_state.generating)
            log_printf("Operation : %s Frame: %ld Level: %ld\n", d->name, g_state.frame + 1, g_state.level + 1);
        else
            log_printf("Operation : %s\n", d->name);
        log_printf("On : %s\n", window_title(target).c_str());
    }
    if (!d->available) {
        std::string what = std::string("The operation \"") + d->name + "\" cannot be applied.";
        error_box(what.c_str(), d->unavailable);
        return 1;
    }

    // Colour or alpha; alpha mode gives the target an alpha channel.
    g_state.alpha_mode = decide_alpha_mode(target);
    if (g_state.alpha_mode && !target->alpha)
        target->alpha = 1;

    // Views and the timeline read this while the operation runs.
    g_state.running = true;

    // Splatter repeats the operation at positions the area module lays out.
    int repetitions = 1;
    bool splatter = false;
    if (d->command != opcmd::MakeArea) {
        int n = splatter_prepare(target);
        if (n > 1) {
            repetitions = n;
            splatter = true;
        }
    }
    bool splatter_meter = splatter && progress_state().depth == 0;
    if (splatter_meter)
        progress_open("Splatter", repetitions, 1);

    const bool histogram_curves =
        d->command == opcmd::Histogram && g_hooks.has_curves && !g_hooks.curves.measuring();
    int result = 0;
    bool stopped = false;  // returns at once, without the redraw of step 8
    OpApplier applier = d->applier;
    for (int rep = 0; rep < repetitions; ++rep) {
        // Each repetition moves the area to its place; a cancel ends the repetitions.
        if (splatter) {
            if (splatter_meter && progress_update(rep))
                break;
            splatter_place(rep);
        }
        // Immediate Painting builds the mask for every operation.
        if (!g_state.generating && settings().work_method == 0) {
            bool fold = settings().with_alpha != 0 && !d->no_alpha_masking;
            if (build_area_mask(target, fold) != 0) {
                ui::platform().redraw(target, nullptr);
                result = 1;
                stopped = true;
                break;
            }
        }
        // 6c. Draw First without a mask yet works on the whole image.
        AreaMask& mask = area_mask();
        if (!mask.built || mask.width != static_cast<long>(target->width) || mask.height != target->height)
            area_rect_whole(target, mask.rect);
        // Corners dragged right to left work as left to right; the rectangle stays on the image.
        if (!area_rect_clip(target, mask.rect)) {
            result = 1;
            break;
        }
        area_rect_update(mask.rect);
        // The prepare hook may refuse: nothing is changed and the views are redrawn.
        d = op_by_command(g_state.current);
        g_state.passes = 1;
        g_state.clear_outside = false;
        g_state.outside = false;
        applier = d->applier;
        if (histogram_curves) {
            g_hooks.curves.build_tables();
        } else if (d->prepare) {
            int refused = d->prepare(target, view_index);
            if (refused != 0) {
                ui::platform().redraw(target, nullptr);
                result = refused == kPrepareStopQuiet ? 3 : 2;
                stopped = true;
                break;
            }
        }
        // The appliers and workers read the operation from the published state.
        publish(*d);
        if (histogram_curves) {
            g_state.worker = OpWorkers{};
            g_state.worker.place = g_hooks.curves.worker;
            applier = apply_pixel_in_place;
        }
        // Source and brush stay locked (and published) while the applier runs.
        if (d->uses_source || op_uses_source(d->command)) {
            if (!lock_role(ImageRole::Source, target, g_state.source, g_state.src_width, g_state.src_height,
                           g_state.src_rows, g_state.src_pixels)) {
                result = 1;
                break;
            }
        }
        if (d->uses_brush || op_uses_brush(d->command)) {
            if (!lock_role(ImageRole::Brush, target, g_state.brush, g_state.brush_width, g_state.brush_height,
                           g_state.brush_rows, g_state.brush_pixels)) {
                unlock_role(g_state.source);
                result = 1;
                break;
            }
        }
        // A warp layer is left alone by operations that cannot work on displacements.
        if (is_warp_layer(target) && !d->warp_capable) {
            result = 1;
        } else {
            result = applier(target, view_index);
            if (result == 0 && d->finish) {
                if (ImageLock lock{target})
                    d->finish(target, view_index);
            }
        }

        unlock_role(g_state.source);
        unlock_role(g_state.brush);
        if (result != 0)
            break;
    }

    if (splatter) {
        if (splatter_meter)
            progress_close();
        splatter_end();
    }

    // Redraw what changed, count the change, and mark a layer's master for recompositing.
    if (!stopped) {
        redraw_after(target, result, d, applier);
        if (result == 0)
            mark_layer_master(target);
    }

    g_state.op = nullptr;
    g_state.running = false;
    return result;
}
