#include "core/undo.h"

#include "core/image.h"
#include "core/log.h"
#include "core/mem.h"
#include "core/messages.h"
#include "core/progress.h"
#include "core/settings.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace {

UndoState g_undo;

long wanted_levels()
{
    return std::clamp(settings().undo_want, 0L, kUndoMaxLevels);
}

long levels_now()
{
    return g_undo.slots ? g_undo.levels : wanted_levels();
}

bool make_stack(long levels)
{
    long count = levels + kUndoSpareSlots;
    auto** slots = static_cast<Image**>(mem_alloc(count * static_cast<long>(sizeof(Image*)), "undo"));
    if (!slots)
        return false;
    g_undo.slots = slots;
    g_undo.slot_count = count;
    g_undo.levels = levels;
    return true;
}

void free_capture(Image* capture)
{
    if (!capture)
        return;
    if (g_undo.last == capture)
        g_undo.last = nullptr;
    image_free(capture);
}

// Releases slot i and moves the later slots up into the gap.
void drop_slot(long i)
{
    Image* capture = g_undo.slots[i];
    std::move(g_undo.slots + i + 1, g_undo.slots + g_undo.slot_count, g_undo.slots + i);
    g_undo.slots[g_undo.slot_count - 1] = nullptr;
    free_capture(capture);
}

bool has_position(const Image* capture)
{
    return capture->parent_x >= 0 && capture->parent_y >= 0;
}

// The whole image is replaced (not swapped rectangle-wise) when the capture
// holds the whole image or no longer fits it.
bool replaces_whole(const Image* capture, const Image* image)
{
    return !has_position(capture) || capture->width > image->width || capture->height > image->height;
}

// Exchanges the pixel planes and sizes of two records; the layer state of
// each stays its own.  Both are locked, so their addresses travel along.
void exchange_planes(Image* a, Image* b)
{
    std::swap(a->width, b->width);
    std::swap(a->height, b->height);
    std::swap(a->pixel_block, b->pixel_block);
    std::swap(a->row_block, b->row_block);
    std::swap(a->pixels, b->pixels);
    std::swap(a->rows, b->rows);
}

// The descriptive attributes travel with the pixels, so that undoing an
// operation that set the author, say, puts the old author back.
void exchange_attributes(Image* a, Image* b)
{
    std::swap(a->hres_num, b->hres_num);
    std::swap(a->hres_den, b->hres_den);
    std::swap(a->vres_num, b->vres_num);
    std::swap(a->vres_den, b->vres_den);
    std::swap(a->author, b->author);
    std::swap(a->copyright, b->copyright);
    std::swap(a->annotation, b->annotation);  // both blocks are "Iann" blocks or null
}

// Between progress reports the interface may have closed either image; the
// caller must not touch them then.
bool both_open(const Image* image, const Image* capture)
{
    return image_store_contains(image) && image_store_contains(capture);
}

enum class Move { Swap, CopyBack };

// Swaps (or copies back) the capture's pixels with the image's.  0 done;
// 1 failed, reported, nothing changed; 2 the images went away meanwhile.
int exchange(Image* image, Image* capture, const char* title, Move move)
{
    if (!image_store_contains(image)) {
        message_show(msg::UndoImageClosed);
        return 1;
    }
    ImageLock image_held(image, msg::UndoImageClosed);
    if (!image_held)
        return 1;
    ImageLock capture_held(capture, msg::NoRealMemoryUndo);
    if (!capture_held)
        return 1;

    long x0 = 0, y0 = 0, w = capture->width, h = capture->height;
    bool whole = replaces_whole(capture, image);
    if (whole && (capture->width != image->width || capture->height != image->height)) {
        exchange_planes(image, capture);
        h = 0;  // nothing left to copy
    } else if (!whole) {
        x0 = capture->parent_x;
        y0 = capture->parent_y;
        // A capture reaching past the image (which shrank meanwhile) is
        // swapped where it still lies on it.
        w = std::min<long>(w, static_cast<long>(image->width) - x0);
        h = std::min<long>(h, image->height - y0);
        if (w < 0)
            w = 0;
        if (h < 0)
            h = 0;
    }

    if (h > 0 && w > 0) {
        progress_open(title, h);
        long every = std::max(1L, h / 100);
        for (long y = 0; y < h; ++y) {
            uint8_t* dst = image->pixel(static_cast<int>(x0), static_cast<int>(y0 + y));
            uint8_t* src = capture->row(static_cast<int>(y));
            if (move == Move::Swap)
                std::swap_ranges(dst, dst + 4 * w, src);
            else
                std::memcpy(dst, src, static_cast<size_t>(4 * w));
            if (y % every == 0) {
                // The swap is not cancellable: half a swap would lose both states.
                progress_update(y);
                if (!both_open(image, capture)) {
                    // A closed image is freed: only the one still open is unlocked.
                    if (!image_store_contains(image))
                        image_held.keep();
                    if (!image_store_contains(capture))
                        capture_held.keep();
                    progress_close();
                    log_printf("Undo: image closed during \"%s\"\n", title);
                    return 2;
                }
            }
        }
        progress_close();
    }
    std::swap(image->alpha, capture->alpha);
    exchange_attributes(image, capture);
    return 0;
}

long slot_of(const Image* capture)
{
    for (long i = 0; i < g_undo.slot_count; ++i)
        if (g_undo.slots[i] == capture)
            return i;
    return -1;
}

void copy_fields(Image* capture, const Image* image, const char* operation)
{
    capture->parent = const_cast<Image*>(image);
    capture->hres_num = image->hres_num;
    capture->hres_den = image->hres_den;
    capture->vres_num = image->vres_num;
    capture->vres_den = image->vres_den;
    capture->alpha = image->alpha;
    // The scalar layer fields only: the stack and owner belong to the image.
    capture->is_layer = image->is_layer;
    capture->layer_number = image->layer_number;
    capture->layer_x = image->layer_x;
    capture->layer_y = image->layer_y;
    capture->layer_mode = image->layer_mode;
    capture->layer_flags = image->layer_flags;
    capture->layer_opacity = image->layer_opacity;
    capture->layer_factor = image->layer_factor;
    std::memcpy(capture->author, image->author, sizeof capture->author);
    std::memcpy(capture->copyright, image->copyright, sizeof capture->copyright);
    if (image->annotation && image->annotation[0] &&
        image_annotation_alloc(capture, static_cast<long>(std::strlen(image->annotation)) + 1) == 0)
        std::strcpy(capture->annotation, image->annotation);
    std::memcpy(capture->name, image->name, sizeof capture->name);
    capture->name[sizeof capture->name - 1] = 0;
    std::memset(capture->path, 0, sizeof capture->path);
    if (operation)
        std::strncpy(capture->path, operation, 99);
    capture->undo_applied = 0;
}

void raise_changes(Image* image)
{
    if (image->changes < INT16_MAX)
        image->changes = static_cast<int16_t>(image->changes + 1);
}

} // namespace

UndoState& undo_state()
{
    return g_undo;
}

int undo_capture(long x0, long y0, long x1, long y1, Image* image, const char* operation)
{
    if (!image) {
        message_show(msg::NoImagesLoaded);
        return 1;
    }
    const int no_memory = levels_now() > 0 ? msg::NoMemoryUndo : msg::NoMemoryUndoRequired;
    if (x0 > x1)
        std::swap(x0, x1);
    if (y0 > y1)
        std::swap(y0, y1);
    x0 = std::max(x0, 0L);
    y0 = std::max(y0, 0L);
    x1 = std::min(x1, static_cast<long>(image->width) - 1);
    y1 = std::min(y1, static_cast<long>(image->height) - 1);
    if (x0 > x1 || y0 > y1) {
        // Nothing of it lies on the image, so nothing will change.
        g_undo.last = nullptr;
        return 0;
    }
    if (!g_undo.slots && !make_stack(wanted_levels())) {
        message_show(no_memory);
        return 1;
    }

    long w = x1 - x0 + 1, h = y1 - y0 + 1;
    Image* capture = image_new(w, h, "iund");
    if (!capture) {
        message_show(no_memory);
        return 1;
    }
    {
        ImageLock image_held(image), capture_held(capture);
        if (!image_held || !capture_held) {
            capture_held.release();
            image_free(capture);
            message_show(no_memory);
            return 1;
        }
        for (long y = 0; y < h; ++y)
            std::memcpy(capture->row(static_cast<int>(y)), image->pixel(static_cast<int>(x0), static_cast<int>(y0 + y)),
                        static_cast<size_t>(4 * w));
        if (g_undo.pending_alpha && g_undo.alpha_width == image->width && g_undo.alpha_height == image->height) {
            for (long y = 0; y < h; ++y) {
                const uint8_t* a = g_undo.pending_alpha + (y0 + y) * g_undo.alpha_width + x0;
                uint8_t* p = capture->row(static_cast<int>(y));
                for (long x = 0; x < w; ++x)
                    p[4 * x + 3] = a[x];
            }
            g_undo.pending_alpha = mem_free_t(g_undo.pending_alpha);
            g_undo.alpha_width = g_undo.alpha_height = 0;
        }
    }

    copy_fields(capture, image, operation);
    bool whole = w == static_cast<long>(image->width) && h == image->height;
    capture->parent_x = whole ? -1 : static_cast<int32_t>(x0);
    capture->parent_y = whole ? -1 : static_cast<int32_t>(y0);

    // The oldest capture the levels allow goes; with 0 levels the one
    // capture kept is replaced.
    long last = g_undo.levels > 0 ? g_undo.levels - 1 : 0;
    last = std::min(last, g_undo.slot_count - 1);
    free_capture(g_undo.slots[last]);
    for (long i = last; i > 0; --i)
        g_undo.slots[i] = g_undo.slots[i - 1];
    g_undo.slots[0] = capture;
    g_undo.last = capture;
    return 0;
}

int undo_restore_last()
{
    Image* capture = g_undo.last;
    if (!capture || !g_undo.slots)
        return 1;
    long slot = slot_of(capture);
    Image* image = capture->parent;
    int result = 1;
    if (!image) {
        message_show(msg::UndoImageClosed);
    } else {
        result = exchange(image, capture, "Undo", Move::CopyBack);
        if (result == 2)
            return 1;
    }
    if (result == 0 && slot >= 0)
        drop_slot(slot);
    g_undo.last = nullptr;
    return result;
}

Image* undo_last_capture()
{
    return g_undo.last;
}

int undo_apply(Image* image, long entry)
{
    if (!image || !g_undo.slots)
        return 1;
    long newest = -1;
    for (long i = 0; i < g_undo.slot_count; ++i) {
        Image* c = g_undo.slots[i];
        if (c && c->parent == image && !c->undo_applied) {
            newest = i;
            break;
        }
    }
    if (newest < 0)
        return 1;
    long oldest = newest;
    if (entry >= 0) {
        if (entry >= g_undo.slot_count || entry < newest)
            return 1;
        Image* chosen = g_undo.slots[entry];
        if (!chosen || chosen->parent != image || chosen->undo_applied)
            return 1;
        oldest = entry;
    }
    for (long i = newest; i <= oldest; ++i) {
        Image* c = g_undo.slots[i];
        if (!c || c->parent != image || c->undo_applied)
            continue;
        if (exchange(image, c, "Undo", Move::Swap) != 0)
            return 1;
        // Counted against the saved state: undoing past a save makes the
        // image differ from its file again (below zero).
        if (image->changes > INT16_MIN)
            image->changes = static_cast<int16_t>(image->changes - 1);
        c->undo_applied = 1;
    }
    return 0;
}

int undo_redo(Image* image, int entry)
{
    if (!image || !g_undo.slots)
        return 1;
    long chosen = entry;
    if (chosen < 0) {
        // The last capture undone: the oldest of the image's undone ones.
        for (long i = 0; i < g_undo.slot_count; ++i) {
            Image* c = g_undo.slots[i];
            if (c && c->parent == image && c->undo_applied)
                chosen = i;
        }
        if (chosen < 0)
            return 1;
    }
    if (chosen >= g_undo.slot_count)
        return 1;
    Image* first = g_undo.slots[chosen];
    if (!first || first->parent != image || !first->undo_applied)
        return 1;
    // The menu's De-Undo takes back the last undo alone; a chosen entry
    // brings the newer undone ones along, oldest first, the order the
    // changes were made in.
    long newest = entry < 0 ? chosen : 0;
    for (long i = chosen; i >= newest; --i) {
        Image* c = g_undo.slots[i];
        if (!c || c->parent != image || !c->undo_applied)
            continue;
        if (exchange(image, c, "De-Undo", Move::Swap) != 0)
            return 1;
        raise_changes(image);
        c->undo_applied = 0;
    }
    return 0;
}

int undo_set_levels(long old_count, long new_count)
{
    new_count = std::clamp(new_count, 0L, kUndoMaxLevels);
    if (!g_undo.slots) {
        settings().undo_want = new_count;
        return 0;
    }
    if (old_count != g_undo.levels)
        log_printf("Undo levels were %ld, not %ld\n", g_undo.levels, old_count);
    if (new_count + kUndoSpareSlots <= g_undo.slot_count) {
        // Shrinking keeps the block; with 0 levels one capture stays.
        for (long i = g_undo.slot_count - 1; i >= std::max(new_count, 1L); --i) {
            Image* c = g_undo.slots[i];
            g_undo.slots[i] = nullptr;
            free_capture(c);
        }
    } else {
        long count = new_count + kUndoSpareSlots;
        auto** slots = static_cast<Image**>(mem_alloc(count * static_cast<long>(sizeof(Image*)), "undo"));
        if (!slots) {
            message_show(msg::NoMemoryUndo);
            return 1;
        }
        std::copy(g_undo.slots, g_undo.slots + g_undo.slot_count, slots);
        g_undo.slots = mem_free_t(g_undo.slots);
        g_undo.slots = slots;
        g_undo.slot_count = count;
    }
    g_undo.levels = new_count;
    settings().undo_want = new_count;
    return 0;
}

int undo_forget(Image* image)
{
    if (!g_undo.slots)
        return 0;
    undo_drop_image(image);
    if (g_undo.levels == 0)
        free_capture(std::exchange(g_undo.slots[0], nullptr));
    return 0;
}

int undo_drop_stale(Image* image)
{
    if (!g_undo.slots)
        return 0;
    for (long i = 0; i < g_undo.slot_count;) {
        Image* c = g_undo.slots[i];
        if (c && image && c->parent == image && c->undo_applied)
            drop_slot(i);
        else
            ++i;
    }
    if (g_undo.levels == 0)
        free_capture(std::exchange(g_undo.slots[0], nullptr));
    return 0;
}

int undo_drop_image(Image* image)
{
    if (!g_undo.slots || !image)
        return 0;
    for (long i = 0; i < g_undo.slot_count;) {
        Image* c = g_undo.slots[i];
        if (c && c->parent == image)
            drop_slot(i);
        else
            ++i;
    }
    return 0;
}

void undo_set_pending_alpha(uint8_t* plane, long width, long height)
{
    if (g_undo.pending_alpha && g_undo.pending_alpha != plane)
        g_undo.pending_alpha = mem_free_t(g_undo.pending_alpha);
    g_undo.pending_alpha = plane;
    g_undo.alpha_width = plane ? width : 0;
    g_undo.alpha_height = plane ? height : 0;
}

long undo_slot_count()
{
    return g_undo.slots ? g_undo.slot_count : 0;
}

Image* undo_slot(long index)
{
    if (!g_undo.slots || index < 0 || index >= g_undo.slot_count)
        return nullptr;
    return g_undo.slots[index];
}

void undo_release()
{
    if (g_undo.slots) {
        for (long i = 0; i < g_undo.slot_count; ++i) {
            Image* c = g_undo.slots[i];
            g_undo.slots[i] = nullptr;
            free_capture(c);
        }
        g_undo.slots = mem_free_t(g_undo.slots);
    }
    if (g_undo.pending_alpha)
        g_undo.pending_alpha = mem_free_t(g_undo.pending_alpha);
    g_undo = UndoState{};
}
