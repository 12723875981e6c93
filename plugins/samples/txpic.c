/*
 * txpic.c - an import plug-in: reads TXPIC pictures, a text format small
 * enough to write by hand:
 *
 *   TXPIC 3 2          the signature, width and height (1 to 16384)
 *   dpi 300 300        optional: the resolution (or "aspect 1.5": a pixel's width / height)
 *   ff0000 00ff00 0000ff
 *   ffffff 000000 80808080
 *
 * then width x height colours, RRGGBB or RRGGBBAA in hexadecimal, row by row
 * from the top, separated by blanks or line ends.  Everything after ";" on a
 * line is a comment.  A colour with alpha gives the image an alpha channel.
 *
 * Install: put txpic.gxp in the import plug-in folder (the "ImporterPath"
 * preference, else "importers" in the settings folder).
 */
#include "gxp.h"

#include <ctype.h>
#include <stdio.h>
#include <string.h>

#define TXPIC_MAX_SIDE 16384L

/* Reads the next token into buf (comments skipped); 0 at the end. */
static int next_token(FILE* f, char* buf, size_t size)
{
    int c;
    size_t n = 0;
    for (;;) {
        c = fgetc(f);
        if (c == ';') {
            while (c != EOF && c != '\n')
                c = fgetc(f);
        }
        if (c == EOF)
            return 0;
        if (!isspace(c))
            break;
    }
    while (c != EOF && !isspace(c) && c != ';') {
        if (n + 1 < size)
            buf[n++] = (char)c;
        else
            return 0; /* no token of ours is that long */
        c = fgetc(f);
    }
    if (c == ';')
        ungetc(c, f);
    buf[n] = 0;
    return 1;
}

static int parse_long(const char* s, long lo, long hi, long* out)
{
    long v = 0;
    if (!*s)
        return 0;
    for (; *s; ++s) {
        if (!isdigit((unsigned char)*s))
            return 0;
        v = v * 10 + (*s - '0');
        if (v > hi)
            return 0;
    }
    if (v < lo)
        return 0;
    *out = v;
    return 1;
}

static int hex_digit(int c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    c = tolower(c);
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

/* The header: signature, size and the optional resolution line.  Leaves the
 * stream at the first colour (in *pending when a token was read ahead). */
static int read_header(FILE* f, GxpRecord* r, char* why, size_t why_size, char* pending, size_t pending_size)
{
    char tok[64];
    long w, h, a, b;
    pending[0] = 0;
    if (!next_token(f, tok, sizeof tok) || strcmp(tok, "TXPIC") != 0) {
        snprintf(why, why_size, "it does not begin with \"TXPIC\"");
        return 0;
    }
    if (!next_token(f, tok, sizeof tok) || !parse_long(tok, 1, TXPIC_MAX_SIDE, &w) ||
        !next_token(f, tok, sizeof tok) || !parse_long(tok, 1, TXPIC_MAX_SIDE, &h)) {
        snprintf(why, why_size, "its size is not two numbers from 1 to %ld", TXPIC_MAX_SIDE);
        return 0;
    }
    r->width = (int32_t)w;
    r->height = (int32_t)h;
    if (!next_token(f, tok, sizeof tok))
        return 1;
    if (strcmp(tok, "dpi") == 0) {
        if (!next_token(f, tok, sizeof tok) || !parse_long(tok, 1, 1000000, &a) ||
            !next_token(f, tok, sizeof tok) || !parse_long(tok, 1, 1000000, &b)) {
            snprintf(why, why_size, "its \"dpi\" line needs two numbers from 1 to 1000000");
            return 0;
        }
        r->xres = (int32_t)a;
        r->yres = (int32_t)b;
    } else if (strcmp(tok, "aspect") == 0) {
        float ratio = 0;
        if (!next_token(f, tok, sizeof tok) || sscanf(tok, "%f", &ratio) != 1 || !(ratio > 0.01f && ratio < 100.0f)) {
            snprintf(why, why_size, "its \"aspect\" line needs a number from 0.01 to 100");
            return 0;
        }
        r->aspect = ratio;
    } else {
        snprintf(pending, pending_size, "%s", tok);
    }
    return 1;
}

static int fill(FILE* f, GxpRecord* r, GxpProgressStep step)
{
    char tok[64], pending[64], why[160];
    long count, i;
    int any_alpha = 0;
    const int32_t width = r->width, height = r->height; /* the image the host made */
    if (!read_header(f, r, why, sizeof why, pending, sizeof pending)) {
        snprintf(r->error, sizeof r->error, "%.*s is no TXPIC picture: %s.", 60, r->file, why);
        return 1;
    }
    if (r->width != width || r->height != height) {
        snprintf(r->error, sizeof r->error, "The TXPIC picture %.*s changed while it was read.", 60, r->file);
        r->width = width;
        r->height = height;
        return 1;
    }
    count = (long)r->width * r->height;
    for (i = 0; i < count; ++i) {
        uint8_t* p = r->pixels + 4 * i;
        size_t n, k;
        if (i == 0 && pending[0]) {
            memcpy(tok, pending, sizeof tok);
        } else if (!next_token(f, tok, sizeof tok)) {
            snprintf(r->error, sizeof r->error, "The TXPIC picture %.*s ends after %ld of its %ld colours.", 60,
                     r->file, i, count);
            return 1;
        }
        n = strlen(tok);
        if (n != 6 && n != 8) {
            snprintf(r->error, sizeof r->error, "The TXPIC picture %.*s has \"%.12s\" where a colour belongs.", 60,
                     r->file, tok);
            return 1;
        }
        p[3] = 255;
        for (k = 0; k < n; k += 2) {
            int hi = hex_digit((unsigned char)tok[k]), lo = hex_digit((unsigned char)tok[k + 1]);
            if (hi < 0 || lo < 0) {
                snprintf(r->error, sizeof r->error, "The TXPIC picture %.*s has \"%.12s\" where a colour belongs.",
                         60, r->file, tok);
                return 1;
            }
            p[k / 2] = (uint8_t)(hi * 16 + lo);
        }
        if (n == 8)
            any_alpha = 1;
        if (i % 4096 == 0 && step((int32_t)(i / r->width)))
            return 1; /* the user stopped it */
    }
    r->alpha = any_alpha;
    return 0;
}

GXP_EXPORT int32_t PluginLoad(GXP_ARGS)
{
    FILE* f;
    int32_t result = 0;
    (void)main_window, (void)instance, (void)progress_text, (void)image, (void)alloc, (void)release,
        (void)message;

    if (record->call == GXP_IDENTIFY) {
        record->handshake = GXP_HANDSHAKE;
        strcpy(record->name, "TXPIC reader");
        record->version = 1;
        record->revision = 0;
        record->dev_key = GXP_KIND_IMPORT | 1;
        return 0;
    }
    if (record->call != GXP_IMPORT_IDENTIFY && record->call != GXP_IMPORT_FILL)
        return 0;

    f = fopen(record->file, "rb");
    if (!f) {
        if (record->call == GXP_IMPORT_FILL)
            snprintf(record->error, sizeof record->error, "The TXPIC picture %.*s cannot be opened.", 60,
                     record->file);
        return 1;
    }
    if (record->call == GXP_IMPORT_IDENTIFY) {
        char why[160], pending[64];
        size_t n = strlen(record->file);
        int32_t w = 0, h = 0;
        /* The signature makes it sure; the extension alone only likely
         * (the file is then damaged, and filling it says why). */
        if (read_header(f, record, why, sizeof why, pending, sizeof pending)) {
            record->confidence = GXP_SURE;
        } else if (n > 4 && (strcmp(record->file + n - 4, ".txp") == 0 || strcmp(record->file + n - 4, ".TXP") == 0)) {
            w = record->width > 0 ? record->width : 1;
            h = record->height > 0 ? record->height : 1;
            record->width = w;
            record->height = h;
            record->confidence = GXP_LIKELY;
        }
    } else {
        progress_start("TXPIC", record->height, 1);
        result = fill(f, record, progress_step);
        progress_end();
    }
    fclose(f);
    return result;
}
