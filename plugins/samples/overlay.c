/* Overlay: lays a second image over the one being changed.
 *
 * The second image is the file named by text 0 when it is set, else the
 * source image; it is tiled when it is smaller.  Integer 0 is its opacity in
 * percent; switch 0 makes the second image's alpha weigh it as well.  The
 * image comes through the host's image service and a row buffer through its
 * allocation service: the host gives both back after the call. */
#include "gxp.h"

#include <stdio.h>
#include <string.h>

static int32_t apply(GxpRecord* r, GxpImageService image, GxpAlloc alloc, GxpFree release, GxpProgressStep step)
{
    GxpImage second;
    int opacity = r->longs[0];
    int x, y;
    uint8_t* row;
    if (opacity < 0 || opacity > 100) {
        strcpy(r->error, "Overlay: the opacity must lie between 0 and 100.");
        return 1;
    }
    if (r->str1[0] ? image(GXP_IMAGE_FILE, r->str1, &second) : image(GXP_IMAGE_SOURCE, NULL, &second)) {
        snprintf(r->error, sizeof r->error, "Overlay: the image \"%.150s\" could not be opened.",
                 r->str1[0] ? r->str1 : "(source)");
        return 1;
    }
    if (second.width <= 0 || second.height <= 0 || !second.pixels) {
        strcpy(r->error, "Overlay: the second image is empty.");
        return 1;
    }
    /* One row of the second image at a time, so that the second image may be
     * the target itself. */
    row = (uint8_t*)alloc(4 * second.width, "overlay row");
    if (!row) {
        strcpy(r->error, "Overlay: not enough memory.");
        return 1;
    }
    for (y = r->y0; y <= r->y1; ++y) {
        if (step && step(y - r->y0))
            break;
        memcpy(row, second.pixels + 4 * (size_t)(y % second.height) * (size_t)second.width, 4 * (size_t)second.width);
        for (x = r->x0; x <= r->x1; ++x) {
            size_t at = (size_t)y * (size_t)r->width + (size_t)x;
            uint8_t* p = r->pixels + 4 * at;
            const uint8_t* q = row + 4 * (x % second.width);
            int m = r->mask ? r->mask[at] : 255;
            int w = m * opacity / 100, c;
            if (r->switches[0])
                w = w * q[3] / 255;
            for (c = 0; c < 3; ++c)
                p[c] = (uint8_t)((q[c] * w + p[c] * (255 - w)) / 255);
        }
    }
    release(row);
    return 0;
}

GXP_EXPORT int32_t PLUGINLOAD(GXP_ARGS)
{
    int32_t result = 0;
    GXP_UNUSED_ARGS;
    switch (record->call) {
    case GXP_IDENTIFY:
        record->handshake = GXP_HANDSHAKE;
        strcpy(record->name, "Overlay");
        record->version = 1;
        record->cmin[0] = record->amin[0] = 0;
        record->cmax[0] = record->amax[0] = 100;
        break;
    case GXP_RESET:
        record->longs[0] = 50;
        record->switches[0] = 1;
        record->str1[0] = 0;
        break;
    case GXP_APPLY:
        result = apply(record, image, alloc, release, progress_step);
        break;
    default:
        break;
    }
    return result;
}
