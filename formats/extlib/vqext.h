// The calling convention between the system and its separately loaded
// loader and saver libraries (vqldjpeg.so, vqsvjpeg.so, vqldtiff.so).
//
// A loader exports "ImageLoad" (or "IMAGELOAD"), a saver "ImageSave" (or
// "IMAGESAVE").  The host hands every service the library needs as a
// call-back, so a library links nothing of the system; it sees the image
// record only through its layout (core/image.h).
#pragma once

struct Image;

extern "C" {

// Progress: begin with a caption and a total, step to a position, step to a
// percentage, end.  The step calls return non-zero when the user cancelled.
typedef void (*VqProgressBegin)(const char* caption, long total);
typedef int (*VqProgressStep)(long position);
typedef int (*VqProgressPercent)(int percent);
typedef void (*VqProgressEnd)(void);
// A new image of the given size, locked; null when there is no memory for it.
typedef Image* (*VqNewImage)(long width, long height, const char* label);
// Labelled memory of the host and its release (returns null).
typedef void* (*VqAlloc)(long size, const char* label);
typedef void* (*VqFree)(void* block);
// A message to the user: `number` > 0 is a numbered message with `text` as
// its second line; 0 shows `text` in a note.  `flag` is reserved (0).
typedef void (*VqMessage)(int number, int flag, const char* text);

// Returns the new image, still locked, or null after reporting why.  An
// image made through `new_image` and not returned is released by the host.
typedef Image* (*VqImageLoad)(const char* name, void* window, void* instance, VqProgressBegin begin,
                              VqProgressStep step, VqProgressPercent percent, VqProgressEnd end,
                              VqNewImage new_image, VqAlloc alloc, VqFree release, VqMessage message);

// Writes the (locked) image; 0 on success.  `parameter` is the JPEG quality
// for the JPEG saver and the "SaveCompress" value for TIFF (0 none, 1 LZW,
// 2 Deflate).  For JPEG the image's alpha flag asks for the high-quality
// form (no chroma subsampling).
typedef int (*VqImageSave)(const char* name, Image* image, void* instance, void* window, long parameter,
                           VqProgressBegin begin, VqProgressStep step, VqProgressPercent percent,
                           VqProgressEnd end, VqAlloc alloc, VqFree release, VqMessage message);

// What a file holds, from its header: a loader may export "ImageInfo" (or
// "IMAGEINFO") that fills this without reading the pixels.  Resolutions in
// dots per inch, 0 when the file gives none.  Returns 0, or non-zero after
// reporting why through `message`.
struct VqImageInfo {
    long width, height;
    int bits;
    int alpha;
    double hres, vres;
};
typedef int (*VqImageInfoRead)(const char* name, struct VqImageInfo* info, VqMessage message);

} // extern "C"
