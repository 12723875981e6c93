/*
 * gxp.h - writing plug-ins for Glimmerix:V/q.
 *
 * A plug-in is a shared object with the extension ".gxp" that exports one
 * function, "PluginLoad" (or "PLUGINLOAD").  The host loads the library for
 * one call, calls the function with a table of services and the plug-in's
 * parameter record, and unloads it as soon as the function returns: keep no
 * state in static variables between calls, keep it in the record.
 *
 * Build:   cc -shared -fPIC -o sepia.gxp sepia.c
 * Install: vq plugins add sepia.gxp   (or "Load Plug-in..." in glimvq)
 *
 * The header is C99 and needs nothing but the C library.  docs/plugins.md
 * walks through a whole plug-in.
 */
#ifndef GXP_H
#define GXP_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The value a plug-in writes into `handshake` when it answers GXP_IDENTIFY. */
#define GXP_HANDSHAKE 0x040F1820

/* Size of the parameter record in bytes. */
#define GXP_RECORD_SIZE 18032

/* Call codes, found in `call`. */
#define GXP_RESET 0      /* the plug-in operation is reset: put your defaults back */
#define GXP_SETUP 1      /* from the parameters dialog, before the plug-in's own settings */
#define GXP_APPLY 2      /* change the image described by the record; non-zero = failure */
#define GXP_IDENTIFY 3   /* answer with the handshake (and fill in name, version, limits) */
#define GXP_SELECTED 4   /* registered or selected: the host copies the parameters next */

/* Import plug-ins (file readers, see below) get two more codes. */
#define GXP_IMPORT_IDENTIFY 5  /* can you read `file`?  set confidence, width, height, alpha, resolution */
#define GXP_IMPORT_FILL 6      /* fill `pixels` (width x height) from `file`; non-zero = failure */

/* The top byte of `dev_key` says what a plug-in is: 0 an image plug-in (an
 * effect, applied by the Plugin operation), GXP_KIND_IMPORT a file reader,
 * which is installed by putting it in the import plug-in folder. */
#define GXP_KIND_IMPORT 0x01000000
#define GXP_KIND_MASK 0xFF000000u

/* An import plug-in's answer to GXP_IMPORT_IDENTIFY, in `confidence`.  Every
 * load asks the readers for confidence 2 first, then 1, then 0; the first
 * reader that fills the image wins, and the built-in readers come after. */
#define GXP_NOT_MINE (-1)  /* the host's value before the call: not a file of yours */
#define GXP_MAYBE 0        /* you can try (for example: a format without a signature) */
#define GXP_LIKELY 1       /* the name says so (its extension) */
#define GXP_SURE 2         /* the content says so (a signature) */

/* Image service actions. */
#define GXP_IMAGE_TARGET 0  /* the image being changed (as in the record) */
#define GXP_IMAGE_SOURCE 1  /* the source image (the target when none is assigned) */
#define GXP_IMAGE_BRUSH 2   /* the brush image (the target when none is assigned) */
#define GXP_IMAGE_FILE 3    /* an image file named by `name`, read by the host */

/* Message kinds. */
#define GXP_MSG_INFO 0
#define GXP_MSG_WARNING 1
#define GXP_MSG_ERROR 2

/* An image handed out by the image service.  Pixel (x, y) is the four bytes
 * red, green, blue, alpha at pixels + 4 * (y * width + x).  The host keeps it
 * valid until the plug-in returns, then releases it. */
typedef struct GxpImage {
    int32_t width;
    int32_t height;
    int32_t alpha;     /* 1 when the alpha channel carries content */
    int32_t reserved;
    uint8_t* pixels;
} GxpImage;

/* A palette of up to 1024 colours. */
typedef struct GxpPalette {
    uint8_t red[1024];
    uint8_t green[1024];
    uint8_t blue[1024];
    int32_t count;
    uint8_t reserved[60];
} GxpPalette;

/* Curves of 201 values (index 0 to 200): the host's profiles "piprof1" to
 * "piprof12", edited in its curve windows and by scripts. */
#define GXP_PROFILES 12
#define GXP_PROFILE_POINTS 201

/* The parameter record: one per registered plug-in, kept by the host (and in
 * its settings file between runs).  Offsets are fixed; never reorder. */
typedef struct GxpRecord {
    int32_t size;        /*    0: GXP_RECORD_SIZE */
    int32_t level;       /*    4: the host's interface level (1) */
    int32_t handshake;   /*    8: write GXP_HANDSHAKE on GXP_IDENTIFY */
    int32_t call;        /*   12: call code */

    /* Filled by the host before GXP_APPLY. */
    int32_t width;       /*   16 */
    int32_t height;      /*   20 */
    int32_t alpha;       /*   24: the image's alpha flag; set it to 1 when you give it alpha */
    int32_t alpha_mode;  /*   28: 1 when the user works on the alpha channel */
    int32_t x0, y0;      /*   32: the area rectangle, inclusive corners */
    int32_t x1, y1;      /*   40 */
    uint8_t* pixels;     /*   48: the image, 4 bytes a pixel, rows of `width` pixels */
    uint8_t* mask;       /*   56: the area mask, one byte a pixel: 0 outside .. 255 inside */
    int32_t frame;       /*   64: frame of a sequence being generated, from 0 */
    int32_t frames;      /*   68: frames of that sequence (0 when none) */
    int32_t quiet;       /*   72: 1 when the host shows no boxes */

    /* Import plug-ins: the answer to GXP_IMPORT_IDENTIFY (with width, height
     * and alpha above).  The host clears them before the call. */
    int32_t confidence;  /*   76: GXP_SURE, GXP_LIKELY, GXP_MAYBE or GXP_NOT_MINE */
    int32_t xres;        /*   80: dots per inch across; 0 when the file has none */
    int32_t yres;        /*   84: dots per inch down */
    float aspect;        /*   88: without a resolution: a pixel's width / height (0: square) */
    uint8_t host_reserved[316];  /* 92 */

    char error[256];     /*  408: leave a message here to have it shown as "Plug-in Error" */
    char file[4096];     /*  664: import plug-ins: the file to read (full path) */
    uint8_t reserved1[136];      /* 4760 */

    char name[32];       /* 4896: the plug-in's name (the file's name when left empty) */
    int32_t version;     /* 4928 */
    int32_t revision;    /* 4932 */
    int32_t dev_key;     /* 4936: your developer key; its top byte must be 0 */
    uint8_t colors[4][4];        /* 4940: red, green, blue, spare */
    int32_t color_values[4];     /* 4956: the fourth value of each colour */
    int32_t longs[8];    /* 4972: integer parameters */
    int32_t cmin[8];     /* 5004: slider limits of the integers */
    int32_t cmax[8];     /* 5036 */
    int32_t amin[8];     /* 5068: limits of typed values */
    int32_t amax[8];     /* 5100 */
    float floats[8];     /* 5132: number parameters */
    int32_t switches[8]; /* 5164: check boxes, 0 or 1 */
    int32_t radios[5];   /* 5196: radio-group selections */
    char str1[200];      /* 5216 */
    char str2[200];      /* 5416 */
    GxpPalette palettes[2];      /* 5616 */
    int16_t profiles[GXP_PROFILES][GXP_PROFILE_POINTS];  /* 11888 */
    uint8_t reserved2[1320];     /* 16712 */
} GxpRecord;

/* The services the host hands over.  Every one may be called from any code
 * of the plug-in during the call, and from nowhere else. */
typedef int32_t (*GxpProgressStart)(const char* title, int32_t total, int32_t flag);
typedef int32_t (*GxpProgressText)(const char* text, int32_t value, int32_t value2);
/* Returns 1 when the user asked to stop: return a failure then. */
typedef int32_t (*GxpProgressStep)(int32_t value);
typedef int32_t (*GxpProgressEnd)(void);
/* Fills `image`; 0 done.  The host releases the image after the call. */
typedef int32_t (*GxpImageService)(int32_t action, const char* name, GxpImage* image);
/* Memory the host frees after the call if you do not. */
typedef void* (*GxpAlloc)(int32_t size, const char* label);
/* 0 for a block the host did not give out. */
typedef int32_t (*GxpFree)(void* block);
typedef int32_t (*GxpMessage)(int32_t kind, int32_t value, const char* text);

/* The one function a plug-in exports. */
typedef int32_t (*GxpEntry)(void* main_window, void* instance, GxpProgressStart progress_start,
                            GxpProgressText progress_text, GxpProgressStep progress_step,
                            GxpProgressEnd progress_end, GxpImageService image, GxpAlloc alloc, GxpFree release,
                            GxpMessage message, GxpRecord* record);

#if defined(_WIN32)
#define GXP_EXPORT __declspec(dllexport)
#else
#define GXP_EXPORT __attribute__((visibility("default")))
#endif

/* Declare the entry as
 *   GXP_EXPORT int32_t PluginLoad(GXP_ARGS) { ... }
 * to get the eleven parameters with these names. */
#define GXP_ARGS                                                                                     \
    void *main_window, void *instance, GxpProgressStart progress_start, GxpProgressText progress_text, \
        GxpProgressStep progress_step, GxpProgressEnd progress_end, GxpImageService image,             \
        GxpAlloc alloc, GxpFree release, GxpMessage message, GxpRecord *record

/* Marks the eleven parameters used, for a plug-in that needs only some. */
#define GXP_UNUSED_ARGS                                                                                  \
    ((void)main_window, (void)instance, (void)progress_start, (void)progress_text, (void)progress_step, \
     (void)progress_end, (void)image, (void)alloc, (void)release, (void)message, (void)record)

/* Compile-time checks of the layout (C99 has no static assertion). */
#define GXP_CHECK_(name, cond) typedef char gxp_check_##name[(cond) ? 1 : -1]
GXP_CHECK_(size, sizeof(GxpRecord) == GXP_RECORD_SIZE);
GXP_CHECK_(handshake, offsetof(GxpRecord, handshake) == 8);
GXP_CHECK_(call, offsetof(GxpRecord, call) == 12);
GXP_CHECK_(error, offsetof(GxpRecord, error) == 408);
GXP_CHECK_(confidence, offsetof(GxpRecord, confidence) == 76);
GXP_CHECK_(file, offsetof(GxpRecord, file) == 664);
GXP_CHECK_(name, offsetof(GxpRecord, name) == 4896);
GXP_CHECK_(longs, offsetof(GxpRecord, longs) == 4972);
GXP_CHECK_(palettes, offsetof(GxpRecord, palettes) == 5616);
#undef GXP_CHECK_

#ifdef __cplusplus
}
#endif

#endif /* GXP_H */
