#include "core/image.h"

#include "core/list.h"
#include "core/mem.h"
#include "core/messages.h"
#include "core/undo.h"
#include "core/platform.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>

namespace {

const char* (*g_type_name)(int code) = nullptr;

ImageStore g_store;
ImageRoles g_roles;
uint16_t g_default_timing[2] = {70, 70};

void store_enter(Image* image)
{
    for (int i = 0; i < kOpenImageSlots; ++i) {
        if (!g_store.slots[i]) {
            g_store.slots[i] = image;
            g_store.count += 1;
            return;
        }
    }
}

void store_remove(Image* image)
{
    for (int i = 0; i < kOpenImageSlots; ++i) {
        if (g_store.slots[i] == image) {
            g_store.slots[i] = nullptr;
            if (g_store.count > 0)
                g_store.count -= 1;
            return;
        }
    }
}

void write_rows(Image* image)
{
    long entries = std::max<long>(image->width, image->height + kImageSpareRows);
    for (long y = 0; y < entries && y < image->height + kImageSpareRows; ++y)
        image->rows[y] = static_cast<uint32_t>(y * image->width);
}

} // namespace

void image_default_palette(Image* image)
{
    for (int r = 0; r <= 6; ++r)
        for (int g = 0; g <= 7; ++g)
            for (int b = 0; b <= 3; ++b) {
                int i = r * 32 + g * 4 + b;
                image->palette_red[i] = static_cast<uint8_t>(r * 255 / 6);
                image->palette_green[i] = static_cast<uint8_t>(g * 255 / 7);
                image->palette_blue[i] = static_cast<uint8_t>(b * 255 / 3);
            }
    for (int i = 224; i <= 244; ++i) {
        auto grey = static_cast<uint8_t>((i - 224) * 255 / 21);
        image->palette_red[i] = image->palette_green[i] = image->palette_blue[i] = grey;
    }
    for (int i = 245; i <= 255; ++i)
        image->palette_red[i] = image->palette_green[i] = image->palette_blue[i] = 255;
}

Image* image_new(long width, long height, const char* label)
{
    if (width < 1)
        width = 1;
    if (height < 1)
        height = 1;
    // The pixel block must stay addressable by 32-bit row offsets.
    if (width > 0x7fffffffL / 4 || height > 0x7fffffffL - kImageSpareRows ||
        width * (height + kImageSpareRows) > 0xffffffffL / 4)
        return nullptr;
    auto* image = static_cast<Image*>(mem_alloc(sizeof(Image), label));
    if (!image)
        return nullptr;
    image->width = static_cast<uint32_t>(width);
    image->height = static_cast<int32_t>(height);
    long pixel_bytes = width * (height + kImageSpareRows) * 4;
    image->pixel_block = vmem_alloc(pixel_bytes, "iHrgba");
    if (!image->pixel_block) {
        mem_free(image);
        return nullptr;
    }
    long row_entries = std::max(width, height + kImageSpareRows);
    image->row_block = vmem_alloc(row_entries * 4, "iyof");
    if (!image->row_block) {
        vmem_free(image->pixel_block);
        mem_free(image);
        message_show(msg::NoMemoryNewImage);
        return nullptr;
    }
    image_default_palette(image);
    image->hres_num = image->vres_num = 200;
    image->hres_den = image->vres_den = 1;
    image->frame_timing[0] = g_default_timing[0];
    image->frame_timing[1] = g_default_timing[1];

    image->rows = static_cast<uint32_t*>(vmem_lock(image->row_block));
    image->pixels = static_cast<uint8_t*>(vmem_lock(image->pixel_block));
    if (!image->rows || !image->pixels) {
        if (image->rows)
            vmem_unlock(image->row_block);
        if (image->pixels)
            vmem_unlock(image->pixel_block);
        vmem_free(image->row_block);
        vmem_free(image->pixel_block);
        mem_free(image);
        return nullptr;
    }
    write_rows(image);
    // New pixels are black and opaque; the spare rows too, so that edge
    // readers see defined bytes.
    if (!image->alpha) {
        uint32_t* px = reinterpret_cast<uint32_t*>(image->pixels);
        const uint8_t opaque_black[4] = {0, 0, 0, 255};
        uint32_t value;
        std::memcpy(&value, opaque_black, 4);
        std::fill(px, px + width * (height + kImageSpareRows), value);
    }
    vmem_unlock(image->pixel_block);
    vmem_unlock(image->row_block);
    image->pixels = nullptr;
    image->rows = nullptr;
    image->locks = 0;
    store_enter(image);
    return image;
}

Image* image_new_locked(long width, long height, const char* label)
{
    Image* image = image_new(width, height, label);
    if (!image)
        return nullptr;
    ImageLock lock(image);
    if (!lock) {
        lock.release();
        image_free(image);
        return nullptr;
    }
    return lock.keep();
}

int image_lock(Image* image)
{
    if (!image) {
        message_show(msg::NoImagesLoaded);
        return 1;
    }
    image->locks += 1;
    if (!image->pixels) {
        image->pixels = static_cast<uint8_t*>(vmem_lock(image->pixel_block));
        if (!image->pixels)
            return 1;
    }
    if (!image->rows) {
        image->rows = static_cast<uint32_t*>(vmem_lock(image->row_block));
        if (!image->rows)
            return 4;
    }
    return 0;
}

ImageLock::ImageLock(Image* image, int message, const char* extra) : image_(nullptr), ok_(false)
{
    acquire(image, message, extra);
}

bool ImageLock::acquire(Image* image, int message, const char* extra)
{
    release();
    image_ = image;
    if (!image_)
        return false;
    ok_ = image_lock(image_) == 0;
    if (!ok_ && message)
        message_show(message, extra);
    return ok_;
}

void ImageLock::release()
{
    if (image_)
        image_unlock(image_);
    image_ = nullptr;
    ok_ = false;
}

Image* ImageLock::keep()
{
    Image* kept = image_;
    image_ = nullptr;
    return kept;
}

int image_unlock(Image* image)
{
    if (!image)
        return 0;
    if (image->locks > 0) {
        image->locks -= 1;
        if (image->locks == 0) {
            if (image->pixels)
                vmem_unlock(image->pixel_block);
            if (image->rows)
                vmem_unlock(image->row_block);
            image->pixels = nullptr;
            image->rows = nullptr;
        }
    }
    return 0;
}

int image_free(Image* image)
{
    if (!image)
        return 0;
    // Captures of a closed image can never be put back.
    undo_drop_image(image);
    Image** roles[] = {&g_roles.target, &g_roles.source, &g_roles.brush};
    for (Image** role : roles) {
        if (*role == image) {
            Image* fallback = ui::platform().first_viewed_image();
            *role = fallback == image ? nullptr : fallback;
        }
    }
    if (image->pixels)
        vmem_unlock(image->pixel_block);
    vmem_free(image->pixel_block);
    if (image->rows)
        vmem_unlock(image->row_block);
    vmem_free(image->row_block);
    if (image->annotation)
        image->annotation = static_cast<char*>(mem_free(image->annotation));
    // A layer leaves its master's stack, so that no node points at freed
    // memory; the master must be composited again.
    if (image->is_layer && image->owner && image->owner->layer_list) {
        List* stack = image->owner->layer_list;
        int at = list_find(stack, image);
        if (at >= 0)
            list_remove(list_node_at(stack, at));
        image->owner->recomposite = 1;
    }
    if (image->layer_list) {
        list_destroy(image->layer_list);
        image->layer_list = nullptr;
    }
    store_remove(image);
    for (Image* other : g_store.slots) {
        if (!other)
            continue;
        if (other->parent == image)
            other->parent = nullptr;
        // The layers of a freed master become ordinary images.
        if (other->owner == image) {
            other->owner = nullptr;
            other->is_layer = 0;
        }
    }
    mem_free(image);
    return 0;
}

int image_rows_rebuild(Image* image)
{
    if (!image)
        return 1;
    // Rows already present are rewritten in place; otherwise the image is
    // locked for the rewrite.
    ImageLock lock;
    if (!image->rows && !lock.acquire(image))
        return 0;
    write_rows(image);
    return 0;
}

void image_set_type_names(const char* (*type_name)(int code))
{
    g_type_name = type_name;
}

// Codes above 17 leave an image's type name as it was.
const char* image_format_tag(int code)
{
    if (code < 0 || code > FMT_PSD || !g_type_name)
        return nullptr;
    return g_type_name(code);
}

const char* image_type_name(int code)
{
    if (code < 0 || code > FMT_GIF_ANIM || !g_type_name)
        return nullptr;
    // The save lists call TIFF "TIF".
    return code == FMT_TIFF ? "TIF" : g_type_name(code);
}

void image_take_planes(Image* target, Image* fresh)
{
    std::swap(target->width, fresh->width);
    std::swap(target->height, fresh->height);
    std::swap(target->pixel_block, fresh->pixel_block);
    std::swap(target->row_block, fresh->row_block);
    std::swap(target->pixels, fresh->pixels);
    std::swap(target->rows, fresh->rows);
    image_free(fresh);
}

int image_set_format(Image* image, int code)
{
    if (!image)
        return 0;
    image->file_format = static_cast<int16_t>(code);
    if (const char* tag = image_format_tag(code)) {
        std::memset(image->format, 0, sizeof image->format);
        std::memcpy(image->format, tag, std::strlen(tag));
    }
    return 0;
}

int image_annotation_alloc(Image* image, long size)
{
    if (!image)
        return -1;
    if (image->annotation)
        image->annotation = static_cast<char*>(mem_free(image->annotation));
    image->annotation = static_cast<char*>(mem_alloc(std::max<long>(size, 324), "Iann"));
    return image->annotation ? 0 : -2;
}

void image_next_new_name(char* out, size_t size)
{
    g_store.new_counter += 1;
    std::snprintf(out, size, "NEW_%d", g_store.new_counter);
}

ImageStore& image_store()
{
    return g_store;
}

void image_store_clear()
{
    std::fill(std::begin(g_store.slots), std::end(g_store.slots), nullptr);
    g_store.count = 0;
}

int image_store_count()
{
    return g_store.count;
}

bool image_store_contains(const Image* image)
{
    if (!image)
        return false;
    for (const Image* slot : g_store.slots)
        if (slot == image)
            return true;
    return false;
}

ImageRoles& image_roles()
{
    return g_roles;
}

Image* image_role(ImageRole role)
{
    switch (role) {
    case ImageRole::Target: return g_roles.target;
    case ImageRole::Source: return g_roles.source;
    case ImageRole::Brush: return g_roles.brush;
    }
    return nullptr;
}

void image_set_role(ImageRole role, Image* image)
{
    switch (role) {
    case ImageRole::Target: g_roles.target = image; break;
    case ImageRole::Source: g_roles.source = image; break;
    case ImageRole::Brush: g_roles.brush = image; break;
    }
}

void image_set_default_timing(uint16_t first, uint16_t second)
{
    g_default_timing[0] = first;
    g_default_timing[1] = second;
}
