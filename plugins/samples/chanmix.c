/* Channel Mixer: each colour channel from a mix of two channels.
 *
 * Its eight integers:
 *   0, 1, 2  red from red, green from green, blue from blue, in percent
 *   3        red from green, percent
 *   4        green from blue, percent
 *   5        blue from red, percent
 *   6        a constant added to every channel (-255 .. 255)
 *   7        1: the result in grey (the mean of the three channels)
 * The host's mask weighs the result; in alpha mode the alpha channel is mixed
 * from the red, green and blue rules' mean instead. */
#include "gxp.h"

#include <stdio.h>
#include <string.h>

static const int32_t kDefaults[8] = {100, 100, 100, 0, 0, 0, 0, 0};
static const int32_t kMin[8] = {-200, -200, -200, -200, -200, -200, -255, 0};
static const int32_t kMax[8] = {200, 200, 200, 200, 200, 200, 255, 1};

static int clamp255(int v)
{
    return v < 0 ? 0 : (v > 255 ? 255 : v);
}

static int32_t apply(GxpRecord* r, GxpProgressStep step)
{
    const int32_t* k = r->longs;
    int i, x, y;
    for (i = 0; i < 8; ++i) {
        if (k[i] < kMin[i] || k[i] > kMax[i]) {
            snprintf(r->error, sizeof r->error, "Channel Mixer: integer %d must lie between %d and %d.", i,
                     (int)kMin[i], (int)kMax[i]);
            return 1;
        }
    }
    for (y = r->y0; y <= r->y1; ++y) {
        if (step && step(y - r->y0))
            return 1;
        for (x = r->x0; x <= r->x1; ++x) {
            size_t at = (size_t)y * (size_t)r->width + (size_t)x;
            uint8_t* p = r->pixels + 4 * at;
            int m = r->mask ? r->mask[at] : 255;
            int red = p[0], green = p[1], blue = p[2];
            int n[3], c;
            if (m == 0)
                continue;
            n[0] = clamp255((k[0] * red + k[3] * green) / 100 + k[6]);
            n[1] = clamp255((k[1] * green + k[4] * blue) / 100 + k[6]);
            n[2] = clamp255((k[2] * blue + k[5] * red) / 100 + k[6]);
            if (k[7] || r->alpha_mode) {
                int grey = (n[0] + n[1] + n[2]) / 3;
                n[0] = n[1] = n[2] = grey;
            }
            if (r->alpha_mode) {
                p[3] = (uint8_t)((n[0] * m + p[3] * (255 - m)) / 255);
                continue;
            }
            for (c = 0; c < 3; ++c)
                p[c] = (uint8_t)((n[c] * m + p[c] * (255 - m)) / 255);
        }
    }
    return 0;
}

GXP_EXPORT int32_t PluginLoad(GXP_ARGS)
{
    int32_t result = 0;
    int i;
    GXP_UNUSED_ARGS;
    switch (record->call) {
    case GXP_IDENTIFY:
        record->handshake = GXP_HANDSHAKE;
        strcpy(record->name, "Channel Mixer");
        record->version = 1;
        record->revision = 2;
        for (i = 0; i < 8; ++i) {
            record->cmin[i] = record->amin[i] = kMin[i];
            record->cmax[i] = record->amax[i] = kMax[i];
        }
        /* A first identify finds all zeros: start from the plain mix. */
        if (!record->longs[0] && !record->longs[1] && !record->longs[2])
            memcpy(record->longs, kDefaults, sizeof kDefaults);
        break;
    case GXP_RESET:
        memcpy(record->longs, kDefaults, sizeof kDefaults);
        break;
    case GXP_APPLY:
        if (progress_start)
            progress_start("Channel Mixer", record->y1 - record->y0 + 1, 1);
        result = apply(record, progress_step);
        if (progress_end)
            progress_end();
        break;
    default:
        break;
    }
    return result;
}
