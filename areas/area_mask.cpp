#include "areas/area_mask.h"

#include "core/image.h"
#include "core/mem.h"
#include "core/messages.h"

#include <algorithm>
#include <cstring>

namespace {
AreaMask g_mask;
}

AreaMask& area_mask()
{
    return g_mask;
}

int ensure_mask(long width, long height)
{
    if (g_mask.block && g_mask.width == width && g_mask.height == height)
        return 0;
    mask_release();
    g_mask.block = vmem_alloc(width * height, "Mask");
    if (!g_mask.block) {
        message_show(msg::NoMemoryMask);
        return 1;
    }
    g_mask.width = width;
    g_mask.height = height;
    g_mask.built = false;
    uint8_t* bytes = mask_lock();
    if (!bytes) {
        message_show(msg::NoRealMemoryMask);
        return 1;
    }
    std::memset(bytes, 255, static_cast<size_t>(width * height));
    mask_unlock();
    return 0;
}

uint8_t* mask_lock()
{
    if (!g_mask.block)
        return nullptr;
    if (!g_mask.bytes)
        g_mask.bytes = static_cast<uint8_t*>(vmem_lock(g_mask.block));
    return g_mask.bytes;
}

void mask_unlock()
{
    if (g_mask.block && g_mask.bytes) {
        vmem_unlock(g_mask.block);
        g_mask.bytes = nullptr;
    }
}

void mask_release()
{
    mask_unlock();
    if (g_mask.block)
        vmem_free(g_mask.block);
    g_mask.block = 0;
    g_mask.width = g_mask.height = 0;
    g_mask.built = false;
}

void area_rect_update(AreaRect& rect)
{
    rect.cx = (rect.x0 + rect.x1) / 2;
    rect.cy = (rect.y0 + rect.y1) / 2;
    rect.half_w = (rect.x1 - rect.x0 + 1) / 2;
    rect.half_h = (rect.y1 - rect.y0 + 1) / 2;
}

void area_rect_whole(const Image* image, AreaRect& rect)
{
    rect.x0 = 0;
    rect.y0 = 0;
    rect.x1 = static_cast<int32_t>(image->width) - 1;
    rect.y1 = image->height - 1;
    area_rect_update(rect);
}

bool area_rect_clip(const Image* image, AreaRect& rect)
{
    if (rect.x0 > rect.x1)
        std::swap(rect.x0, rect.x1);
    if (rect.y0 > rect.y1)
        std::swap(rect.y0, rect.y1);
    int32_t w = static_cast<int32_t>(image->width), h = image->height;
    if (rect.x1 < 0 || rect.y1 < 0 || rect.x0 >= w || rect.y0 >= h)
        return false;
    rect.x0 = std::max(rect.x0, 0);
    rect.y0 = std::max(rect.y0, 0);
    rect.x1 = std::min(rect.x1, w - 1);
    rect.y1 = std::min(rect.y1, h - 1);
    return true;
}

int build_area_mask(Image* target, bool fold_alpha)
{
    if (!target)
        return 1;
    if (ensure_mask(target->width, target->height) != 0)
        return 1;
    uint8_t* mask = mask_lock();
    if (!mask) {
        message_show(msg::NoRealMemoryMask);
        return 1;
    }
    bool locked = image_lock(target) == 0;
    if (!locked) {
        image_unlock(target);
        mask_unlock();
        message_show(msg::NoRealMemoryOperation);
        return 1;
    }
    // The entire image, with the target's alpha folded in when asked.
    long n = static_cast<long>(target->width) * target->height;
    if (fold_alpha && target->alpha) {
        for (long y = 0; y < target->height; ++y) {
            const uint8_t* px = target->row(static_cast<int>(y));
            uint8_t* m = mask + target->rows[y];
            for (uint32_t x = 0; x < target->width; ++x)
                m[x] = px[4 * x + 3];
        }
    } else {
        std::memset(mask, 255, static_cast<size_t>(n));
    }
    image_unlock(target);
    mask_unlock();
    area_rect_whole(target, g_mask.rect);
    g_mask.built = true;
    return 0;
}
