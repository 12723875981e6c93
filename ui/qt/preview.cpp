#include "ui/qt/preview.h"

#include "areas/area_mask.h"
#include "core/image.h"
#include "core/progress.h"
#include "core/settings.h"
#include "core/undo.h"
#include "layers/composite.h"
#include "ops/catalogue.h"
#include "ops/framework.h"
#include "ui/qt/image_view.h"
#include "ui/qt/qt_platform.h"

#include <QElapsedTimer>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace ws {

PreviewOffer preview_offer(int32_t command)
{
    const OpDescriptor* op = op_by_command(command);
    if (!op || !op->available)
        return PreviewOffer::None;
    // Measuring operations change settings rather than pixels, and the
    // ones below change what a copy cannot show (or run other programs).
    if (op->kind == ApplierKind::WholeImageNoUndo)
        return PreviewOffer::None;
    switch (command) {
    case opcmd::Script:
    case opcmd::Plugin:
    case opcmd::Measure:
    case opcmd::AspectRatio:
    case opcmd::DPI:
    case opcmd::AuthorName:
    case opcmd::Annotation:
    case opcmd::Copyright:
        return PreviewOffer::None;
    // Scene renderers take long even on a small copy: offered, not started.
    case opcmd::RayTrace:
    case opcmd::Particles:
    case opcmd::Landscape:
        return PreviewOffer::Off;
    default:
        return PreviewOffer::On;
    }
}

Image* reduced_copy(Image* image, long width, long height)
{
    width = std::max(1L, width);
    height = std::max(1L, height);
    Image* copy = image_new(width, height, "iprv");
    if (!copy)
        return nullptr;
    ImageLock from(image), to(copy);
    if (!from || !to) {
        to.release();
        image_free(copy);
        return nullptr;
    }
    const long sw = image->width, sh = image->height;
    // Every output pixel averages the source pixels its box covers.
    std::vector<long> x0(static_cast<size_t>(width) + 1);
    for (long x = 0; x <= width; ++x)
        x0[static_cast<size_t>(x)] = x * sw / width;
    for (long y = 0; y < height; ++y) {
        long ya = y * sh / height, yb = std::max(ya + 1, (y + 1) * sh / height);
        uint8_t* out = copy->row(static_cast<int>(y));
        for (long x = 0; x < width; ++x, out += 4) {
            long xa = x0[static_cast<size_t>(x)], xb = std::max(xa + 1, x0[static_cast<size_t>(x) + 1]);
            unsigned long sum[4] = {0, 0, 0, 0};
            for (long yy = ya; yy < yb; ++yy) {
                const uint8_t* p = image->pixel(static_cast<int>(xa), static_cast<int>(yy));
                for (long xx = xa; xx < xb; ++xx, p += 4)
                    for (int c = 0; c < 4; ++c)
                        sum[c] += p[c];
            }
            unsigned long n = static_cast<unsigned long>((xb - xa) * (yb - ya));
            for (int c = 0; c < 4; ++c)
                out[c] = static_cast<uint8_t>((sum[c] + n / 2) / n);
        }
    }
    return copy;
}

namespace {

// The fields an operation may read besides the pixels.
void copy_fields(Image* copy, const Image* image)
{
    std::memcpy(copy->name, image->name, sizeof copy->name);
    std::memcpy(copy->palette_red, image->palette_red, sizeof copy->palette_red);
    std::memcpy(copy->palette_green, image->palette_green, sizeof copy->palette_green);
    std::memcpy(copy->palette_blue, image->palette_blue, sizeof copy->palette_blue);
    copy->hres_num = image->hres_num;
    copy->hres_den = image->hres_den;
    copy->vres_num = image->vres_num;
    copy->vres_den = image->vres_den;
    copy->alpha = image->alpha;
    copy->bits = image->bits;
    copy->file_format = image->file_format;
    std::memcpy(copy->format, image->format, sizeof copy->format);
    std::memcpy(copy->author, image->author, sizeof copy->author);
    std::memcpy(copy->copyright, image->copyright, sizeof copy->copyright);
}

Image* full_copy(Image* image)
{
    Image* copy = image_new(image->width, image->height, "iprv");
    if (!copy)
        return nullptr;
    ImageLock from(image), to(copy);
    if (!from || !to) {
        to.release();
        image_free(copy);
        return nullptr;
    }
    for (int y = 0; y < image->height; ++y)
        std::memcpy(copy->row(y), image->row(y), 4 * static_cast<size_t>(image->width));
    return copy;
}

// Everything a run of the framework leaves behind in global state, put back
// when the preview is done: the current operation, the roles, the view
// worked on, the undo stack (the copy's captures go to a stack of their own)
// and the area mask of the real image.
class Sandbox {
public:
    Sandbox(QtPlatform& platform, Image* target) : platform_(platform), target_(target)
    {
        current_ = op_state().current;
        view_ = op_state().view;
        view_index_ = op_state().view_index;
        roles_ = image_roles();
        undo_ = undo_state();
        undo_state() = UndoState{};
        const AreaMask& m = area_mask();
        mask_for_target_ = m.built && m.width == static_cast<long>(target->width) && m.height == target->height;
        work_method_ = settings().work_method;
        platform_.set_quiet(true);
        // No message pumping: nothing can start while the copy is worked on.
        progress_set_batch(true);
        progress_set_busy_cursor(false);
    }
    ~Sandbox()
    {
        image_roles() = roles_;
        // The copy's captures go with it; then the private stack itself.
        for (Image* copy : copies_)
            image_free(copy);
        undo_release();
        undo_state() = undo_;
        settings().work_method = work_method_;
        const AreaMask& m = area_mask();
        if (mask_for_target_ && (m.width != static_cast<long>(target_->width) || m.height != target_->height))
            build_area_mask(target_, settings().with_alpha != 0);
        if (find_operation(current_) >= 0)
            set_current_operation(current_);
        op_state().view = view_;
        op_state().view_index = view_index_;
        progress_set_busy_cursor(true);
        progress_set_batch(false);
        platform_.set_quiet(false);
    }
    Sandbox(const Sandbox&) = delete;
    Sandbox& operator=(const Sandbox&) = delete;

    void own(Image* copy) { copies_.push_back(copy); }
    // Draw First keeps a mask made for the real image; a reduced copy needs
    // the selection made again for its size.
    void rebuild_mask_for_copies() { settings().work_method = 0; }
    const ImageRoles& roles() const { return roles_; }

private:
    QtPlatform& platform_;
    Image* target_;
    int32_t current_;
    Image* view_;
    int view_index_;
    ImageRoles roles_;
    UndoState undo_;
    bool mask_for_target_;
    long work_method_;
    std::vector<Image*> copies_;
};

// The master with the changed copy in its layer's place, as the view would
// show it; the master's pixels and the layer's are put back afterwards.
QImage composite_with(Image* master, Image* layer, Image* copy, bool show_alpha)
{
    QImage picture;
    std::vector<uint8_t> kept;
    {
        ImageLock m(master), l(layer), c(copy);
        if (!m || !l || !c)
            return picture;
        size_t row_bytes = 4 * static_cast<size_t>(master->width);
        kept.resize(row_bytes * static_cast<size_t>(master->height));
        for (int y = 0; y < master->height; ++y)
            std::memcpy(kept.data() + row_bytes * static_cast<size_t>(y), master->row(y), row_bytes);
        for (int y = 0; y < layer->height; ++y)
            std::swap_ranges(layer->row(y), layer->row(y) + 4 * static_cast<size_t>(layer->width), copy->row(y));
    }
    int32_t recomposite = master->recomposite;
    if (composite_layers(master) == 0)
        picture = render_picture(master, show_alpha);
    ImageLock m(master), l(layer), c(copy);
    if (m && l && c) {
        for (int y = 0; y < layer->height; ++y)
            std::swap_ranges(layer->row(y), layer->row(y) + 4 * static_cast<size_t>(layer->width), copy->row(y));
        size_t row_bytes = 4 * static_cast<size_t>(master->width);
        for (int y = 0; y < master->height; ++y)
            std::memcpy(master->row(y), kept.data() + row_bytes * static_cast<size_t>(y), row_bytes);
    }
    master->recomposite = recomposite;
    return picture;
}

} // namespace

PreviewPicture preview_operation(int32_t command, Image* target, Image* shown, bool show_alpha, QtPlatform& platform,
                                 long pixel_budget)
{
    PreviewPicture out;
    if (!target || !shown || op_state().running || !op_by_command(command))
        return out;
    const bool on_layer = target != shown && target->is_layer && target->owner == shown;
    const long w = target->width, h = target->height;
    Sandbox sandbox(platform, target);

    Image* copy = nullptr;
    double scale = 1.0;
    if (on_layer || w * h <= std::max(1L, pixel_budget)) {
        copy = full_copy(target);
    } else {
        scale = std::sqrt(static_cast<double>(pixel_budget) / (static_cast<double>(w) * h));
        copy = reduced_copy(target, std::lround(w * scale), std::lround(h * scale));
        out.reduced = true;
        sandbox.rebuild_mask_for_copies();
    }
    if (!copy)
        return out;
    sandbox.own(copy);
    copy_fields(copy, target);
    const double sx = static_cast<double>(copy->width) / w, sy = static_cast<double>(copy->height) / h;
    // Source and brush stay the user's; an operation whose source is the
    // image itself reads the unchanged image.
    image_roles().source = sandbox.roles().source;
    image_roles().brush = sandbox.roles().brush;

    set_current_operation(command);
    // Alpha or colour is decided by how the view shows the image itself.
    platform.set_stand_in(copy, on_layer ? target : shown);
    QElapsedTimer clock;
    clock.start();
    out.result = perform_operation(copy, 0);
    platform.set_stand_in(nullptr, nullptr);
    out.millis = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    out.pixels = static_cast<long>(copy->width) * copy->height;
    out.note = platform.quiet_note();
    if (out.result != 0)
        return out;

    if (on_layer) {
        if (static_cast<long>(copy->width) != w || copy->height != h) {
            out.note = QStringLiteral("The preview does not show a layer changing its size.");
            return out;
        }
        out.picture = composite_with(shown, target, copy, show_alpha);
        out.logical = QSize(static_cast<int>(shown->width), shown->height);
        return out;
    }
    out.picture = render_picture(copy, show_alpha);
    out.logical = QSize(static_cast<int>(std::lround(copy->width / sx)), static_cast<int>(std::lround(copy->height / sy)));
    return out;
}

} // namespace ws
