/* Sepia: tones the image brown, as old photographs are.
 *
 * Integer 0 is the strength in percent (0 leaves the image alone, 100 is
 * full sepia).  Inside a soft selection the host's mask weighs the result. */
#include "gxp.h"

#include <string.h>

static void identify(GxpRecord* r)
{
    r->handshake = GXP_HANDSHAKE;
    strcpy(r->name, "Sepia");
    r->version = 1;
    r->revision = 0;
    r->dev_key = 0x00000001;
    /* The dialog shows integer 0 as a slider from 0 to 100. */
    r->cmin[0] = 0;
    r->cmax[0] = 100;
    r->amin[0] = 0;
    r->amax[0] = 100;
}

static int clamp255(int v)
{
    return v < 0 ? 0 : (v > 255 ? 255 : v);
}

static int32_t apply(GxpRecord* r, GxpProgressStep step)
{
    int strength = r->longs[0];
    int x, y;
    if (strength < 0 || strength > 100) {
        strcpy(r->error, "Sepia: the strength must lie between 0 and 100.");
        return 1;
    }
    for (y = r->y0; y <= r->y1; ++y) {
        if (step && step(y - r->y0))
            return 1; /* the user stopped it */
        for (x = r->x0; x <= r->x1; ++x) {
            uint8_t* p = r->pixels + 4 * ((size_t)y * (size_t)r->width + (size_t)x);
            int m = r->mask ? r->mask[(size_t)y * (size_t)r->width + (size_t)x] : 255;
            int grey, s[3], c;
            if (m == 0)
                continue;
            grey = (p[0] * 77 + p[1] * 150 + p[2] * 29) >> 8;
            s[0] = clamp255(grey + 40);
            s[1] = clamp255(grey + 20);
            s[2] = clamp255(grey - 20);
            for (c = 0; c < 3; ++c) {
                int toned = p[c] + (s[c] - p[c]) * strength / 100;
                p[c] = (uint8_t)((toned * m + p[c] * (255 - m)) / 255);
            }
        }
    }
    return 0;
}

GXP_EXPORT int32_t PluginLoad(GXP_ARGS)
{
    int32_t result = 0;
    GXP_UNUSED_ARGS;
    switch (record->call) {
    case GXP_IDENTIFY:
        identify(record);
        break;
    case GXP_RESET:
        record->longs[0] = 80;
        break;
    case GXP_APPLY:
        if (progress_start)
            progress_start("Sepia", record->y1 - record->y0 + 1, 1);
        result = apply(record, progress_step);
        if (progress_end)
            progress_end();
        break;
    default:
        break;
    }
    return result;
}
