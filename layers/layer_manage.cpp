#include "layers/layer_manage.h"

#include "core/image.h"
#include "core/list.h"
#include "core/messages.h"
#include "core/settings.h"
#include "core/undo.h"
#include "layers/blend_modes.h"
#include "layers/composite.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

const char* const kZoomTwice = "You can't integrate a zoom to the same warp twice. Add another warp.";

void copy_name(char* out, const char* name)
{
    std::snprintf(out, 256, "%s", name ? name : "");
}

// Fills every pixel (spare rows too) with one value; the image is locked.
void fill(Image* image, const uint8_t value[4])
{
    size_t n = static_cast<size_t>(image->width) * static_cast<size_t>(image->height + kImageSpareRows);
    for (size_t i = 0; i < n; ++i)
        std::memcpy(image->pixels + 4 * i, value, 4);
}

// A new layer image of the given size, filled, or null (reported).
Image* new_layer_image(long width, long height, const uint8_t value[4])
{
    Image* layer = image_new(width, height, "layer");
    if (!layer) {
        message_show(msg::NoMemoryNewImage);
        return nullptr;
    }
    {
        ImageLock lock(layer, msg::NoRealMemoryImage);
        if (!lock) {
            lock.release();
            image_free(layer);
            return nullptr;
        }
        fill(layer, value);
    }
    return layer;
}

// Puts a layer into the stack after `after` (at the bottom when null).
int link_layer(Image* master, Image* layer, ListNode* after)
{
    ListNode* node = list_insert_after(master->layer_list, after);
    if (!node) {
        message_show(msg::NoMemoryOperation);
        return 1;
    }
    node->element = layer;
    return 0;
}

Image* owner_checked(Image* layer)
{
    if (!layer || !layer->is_layer || !layer->owner || !layer_node(layer)) {
        error_box("This image is not a layer.", layer ? layer->name : nullptr);
        return nullptr;
    }
    return layer->owner;
}

bool is_warp(const Image* layer)
{
    return layer && layer->is_layer && layer->layer_mode == MODE_WARP;
}

int restack(Image* master)
{
    master->changes = static_cast<int16_t>(master->changes + 1);
    return composite_layers(master);
}

} // namespace

// ---- stacks -----------------------------------------------------------

void layer_set_defaults(Image* layer, Image* master)
{
    layer->is_layer = 1;
    layer->has_layers = 0;
    layer->owner = master;
    layer->alpha = 1;
    layer->layer_x = layer->layer_y = 0;
    layer->layer_mode = MODE_NORMAL;
    layer->layer_flags = LAYER_VISIBLE;
    layer->layer_opacity = 100;
    layer->layer_factor = 100;
    if (master) {
        master->layer_number = static_cast<int16_t>(master->layer_number + 1);
        layer->layer_number = master->layer_number;
        layer->hres_num = master->hres_num, layer->hres_den = master->hres_den;
        layer->vres_num = master->vres_num, layer->vres_den = master->vres_den;
    }
}

int layer_start_stack(Image* image)
{
    if (!image)
        return 1;
    if (!image->layer_list && list_create(&image->layer_list, "layerlist", nullptr, nullptr) != 0) {
        message_show(msg::NoMemoryOperation);
        return 1;
    }
    image->has_layers = 1;
    image->is_layer = 0;
    image->alpha = 1;
    return 0;
}

int layer_make_master(Image* image)
{
    if (!image) {
        message_show(msg::NoImagesLoaded);
        return 1;
    }
    if (image->has_layers)
        return 0;
    if (image->is_layer) {
        error_box("A layer cannot hold layers of its own.", image->name);
        return 1;
    }
    const uint8_t clear[4] = {255, 255, 255, 0};
    Image* base = new_layer_image(image->width, image->height, clear);
    if (!base)
        return 1;
    {
        ImageLock from(image), to(base);
        if (!from || !to) {
            from.release();
            to.release();
            image_free(base);
            message_show(msg::NoRealMemoryImage);
            return 1;
        }
        std::memcpy(base->pixels, image->pixels,
                    4 * static_cast<size_t>(image->width) * static_cast<size_t>(image->height));
    }
    copy_name(base->name, image->name[0] ? image->name : "base");
    if (layer_start_stack(image) != 0) {
        image_free(base);
        return 1;
    }
    layer_set_defaults(base, image);
    base->alpha = image->alpha;
    if (link_layer(image, base, nullptr) != 0) {
        image_free(base);
        return 1;
    }
    return composite_layers(image);
}

ListNode* layer_node(Image* layer)
{
    if (!layer || !layer->owner || !layer->owner->layer_list)
        return nullptr;
    return list_node_at(layer->owner->layer_list, list_find(layer->owner->layer_list, layer));
}

Image* layer_master_of(Image* image)
{
    if (!image)
        return nullptr;
    if (image->has_layers)
        return image;
    if (image->is_layer && image->owner && image->owner->has_layers)
        return image->owner;
    return nullptr;
}

Image* layer_create(Image* master, long width, long height)
{
    if (layer_make_master(master) != 0)
        return nullptr;
    const uint8_t clear[4] = {255, 255, 255, 0};
    Image* layer = new_layer_image(width, height, clear);
    if (!layer)
        return nullptr;
    layer_set_defaults(layer, master);
    std::snprintf(layer->name, sizeof layer->name, "Layer_%d", layer->layer_number);
    if (link_layer(master, layer, master->layer_list->tail) != 0) {
        image_free(layer);
        return nullptr;
    }
    restack(master);
    return layer;
}

Image* layer_create_warp(Image* master)
{
    if (layer_make_master(master) != 0)
        return nullptr;
    const uint8_t zero[4] = {128, 0, 128, 0};
    Image* layer = new_layer_image(master->width, master->height, zero);
    if (!layer)
        return nullptr;
    layer_set_defaults(layer, master);
    layer->layer_mode = MODE_WARP;
    layer->layer_flags |= LAYER_WARP;
    std::snprintf(layer->name, sizeof layer->name, "Warp_%d", layer->layer_number);
    if (link_layer(master, layer, master->layer_list->tail) != 0) {
        image_free(layer);
        return nullptr;
    }
    restack(master);
    return layer;
}

int layer_attach(Image* master, Image* image)
{
    if (!master || !image) {
        message_show(msg::NoImagesLoaded);
        return 1;
    }
    if (image == master || image->has_layers || image->is_layer) {
        error_box("Only an ordinary image can be attached as a layer.", image->name);
        return 1;
    }
    if (layer_make_master(master) != 0)
        return 1;
    layer_set_defaults(image, master);
    if (link_layer(master, image, master->layer_list->tail) != 0) {
        image->is_layer = 0;
        image->owner = nullptr;
        return 1;
    }
    return restack(master);
}

int layer_detach(Image* layer)
{
    Image* master = owner_checked(layer);
    if (!master)
        return 1;
    list_remove(layer_node(layer));
    layer_forget_caches(layer);
    layer->is_layer = 0;
    layer->owner = nullptr;
    return restack(master);
}

int layer_destroy(Image* layer)
{
    Image* master = owner_checked(layer);
    if (!master)
        return 1;
    list_remove(layer_node(layer));
    layer_forget_caches(layer);
    layer->owner = nullptr;
    layer->is_layer = 0;
    image_free(layer);
    return restack(master);
}

Image* layer_duplicate(Image* layer)
{
    Image* master = owner_checked(layer);
    if (!master)
        return nullptr;
    const uint8_t clear[4] = {255, 255, 255, 0};
    Image* copy = new_layer_image(layer->width, layer->height, clear);
    if (!copy)
        return nullptr;
    {
        ImageLock from(layer), to(copy);
        if (!from || !to) {
            from.release();
            to.release();
            image_free(copy);
            message_show(msg::NoRealMemoryImage);
            return nullptr;
        }
        std::memcpy(copy->pixels, layer->pixels,
                    4 * static_cast<size_t>(layer->width) * static_cast<size_t>(layer->height));
    }
    layer_set_defaults(copy, master);
    copy->layer_x = layer->layer_x;
    copy->layer_y = layer->layer_y;
    copy->layer_mode = layer->layer_mode;
    copy->layer_flags = layer->layer_flags;
    copy->layer_opacity = layer->layer_opacity;
    copy->layer_factor = layer->layer_factor;
    copy->alpha = layer->alpha;
    std::snprintf(copy->name, sizeof copy->name, "%.249s_copy", layer->name);
    if (link_layer(master, copy, layer_node(layer)) != 0) {
        image_free(copy);
        return nullptr;
    }
    restack(master);
    return copy;
}

int layer_nearer(Image* layer)
{
    Image* master = owner_checked(layer);
    if (!master)
        return 1;
    if (!list_move_down(layer_node(layer)))
        return 0;  // already the nearest
    return restack(master);
}

int layer_deeper(Image* layer)
{
    Image* master = owner_checked(layer);
    if (!master)
        return 1;
    if (!list_move_up(layer_node(layer)))
        return 0;  // already the deepest
    return restack(master);
}

int layer_rename(Image* image, const char* name)
{
    if (!image || !name) {
        message_show(msg::NoImagesLoaded);
        return 1;
    }
    copy_name(image->name, name);
    image->changes = static_cast<int16_t>(image->changes + 1);
    ui::platform().redraw(image, nullptr);
    return 0;
}

int layer_resize_master(Image* master, long width, long height, long shift_x, long shift_y)
{
    if (!master || !master->has_layers) {
        error_box("This image has no layers.", master ? master->name : nullptr);
        return 1;
    }
    if (master->locks > 0) {
        message_show(msg::OperationInProgress);
        return 1;
    }
    // A new record takes the new pixel blocks; the master takes them over
    // and the old blocks go with the spare record.
    Image* spare = image_new(width, height, "Elf");
    if (!spare) {
        message_show(msg::NoMemoryNewImage);
        return 1;
    }
    std::swap(master->width, spare->width);
    std::swap(master->height, spare->height);
    std::swap(master->pixel_block, spare->pixel_block);
    std::swap(master->row_block, spare->row_block);
    image_free(spare);
    undo_forget(master);
    for (ListNode* n = master->layer_list->head; n; n = n->ln_succ) {
        auto* layer = static_cast<Image*>(n->element);
        layer->layer_x = static_cast<int32_t>(std::clamp<long>(layer->layer_x + shift_x, INT32_MIN, INT32_MAX));
        layer->layer_y = static_cast<int32_t>(std::clamp<long>(layer->layer_y + shift_y, INT32_MIN, INT32_MAX));
    }
    return restack(master);
}

void layers_close(Image* master)
{
    if (!master)
        return;
    if (master->layer_list) {
        while (master->layer_list->tail) {
            ListNode* node = master->layer_list->tail;
            auto* layer = static_cast<Image*>(node->element);
            list_remove(node);
            if (layer) {
                layer_forget_caches(layer);
                layer->owner = nullptr;
                layer->is_layer = 0;
                image_free(layer);
            }
        }
    }
    image_free(master);
}

// ---- warp layers ----------------------------------------------------------

namespace {

// Adds the displacement `shift(x, y)` (master coordinates, in sixteenths of
// a pixel) to every pixel of a warp layer.
template <class Shift>
int warp_add(Image* layer, Shift&& shift)
{
    {
        ImageLock lock(layer, msg::NoRealMemoryOperation);
        if (!lock)
            return 1;
        for (int y = 0; y < layer->height; ++y)
            for (int x = 0; x < static_cast<int>(layer->width); ++x) {
                uint8_t* p = layer->pixel(x, y);
                int dx16, dy16;
                warp_decode(p, dx16, dy16);
                double sx = 0, sy = 0;
                shift(layer->layer_x + x, layer->layer_y + y, sx, sy);
                warp_encode(p, dx16 + std::lround(sx * 16), dy16 + std::lround(sy * 16));
            }
    }
    layer->changes = static_cast<int16_t>(layer->changes + 1);
    return 0;
}

bool warp_checked(Image* layer)
{
    if (!is_warp(layer) || !layer->owner) {
        error_box("This layer is not a warp layer.", layer ? layer->name : nullptr);
        return false;
    }
    return true;
}

} // namespace

int warp_zero(Image* layer)
{
    if (!warp_checked(layer))
        return 1;
    {
        ImageLock lock(layer, msg::NoRealMemoryOperation);
        if (!lock)
            return 1;
        const uint8_t zero[4] = {128, 0, 128, 0};
        fill(layer, zero);
    }
    layer->layer_flags &= ~kWarpZoomed;
    layer->changes = static_cast<int16_t>(layer->changes + 1);
    return restack(layer->owner);
}

int warp_scale(Image* layer, long zoom_percent)
{
    if (!warp_checked(layer))
        return 1;
    if (layer->layer_flags & kWarpZoomed) {
        error_box(kZoomTwice);
        return 1;
    }
    if (zoom_percent < 1 || zoom_percent > 10000) {
        error_box("The zoom must lie between 1 and 10000 percent.");
        return 1;
    }
    double cx = layer->layer_x + (layer->width - 1) / 2.0;
    double cy = layer->layer_y + (layer->height - 1) / 2.0;
    // The pixel at p shows what lay at c + (p - c) / zoom.
    double k = 100.0 / static_cast<double>(zoom_percent) - 1.0;
    if (warp_add(layer, [&](int x, int y, double& sx, double& sy) {
            sx = (x - cx) * k;
            sy = (y - cy) * k;
        }) != 0)
        return 1;
    layer->layer_flags |= kWarpZoomed;
    return restack(layer->owner);
}

int warp_rotate(Image* layer, double degrees)
{
    if (!warp_checked(layer))
        return 1;
    double cx = layer->layer_x + (layer->width - 1) / 2.0;
    double cy = layer->layer_y + (layer->height - 1) / 2.0;
    double a = degrees * M_PI / 180.0;
    double ca = std::cos(a), sa = std::sin(a);
    // The pixel at p shows what lay at p turned back about the centre (y
    // runs down, so a positive angle turns the picture counter-clockwise).
    if (warp_add(layer, [&](int x, int y, double& sx, double& sy) {
            double ux = x - cx, uy = y - cy;
            sx = (ca * ux - sa * uy) - ux;
            sy = (sa * ux + ca * uy) - uy;
        }) != 0)
        return 1;
    return restack(layer->owner);
}
