// The image record and the image store.
//
// Pixels are four bytes, red, green, blue, alpha (255 opaque), in moveable
// memory that is addressable only while the image is locked.  Pixel (x, y)
// is at pixels + 4 * (rows[y] + x); row 0 is the top row; the block has room
// for four spare rows below the last.  Every record in existence is entered
// in the open-images table so that references between images can be
// cleaned up when one is freed.
#pragma once

#include "core/gmem.h"

#include <cstdint>

struct List;

constexpr int kOpenImageSlots = 4096;
constexpr int kImageSpareRows = 4;

// File format codes and their tags.
enum FileFormat : int16_t {
    FMT_BMP = 0,
    FMT_FLC = 1,
    FMT_IFF = 2,
    FMT_JPG = 3,
    FMT_PCX = 4,
    FMT_TGA = 5,
    FMT_TIFF = 6,
    FMT_TRM = 7,
    FMT_AVI = 8,
    FMT_FS = 9,
    FMT_GIF = 10,
    FMT_PNG = 11,
    FMT_FLM = 12,
    FMT_PPM = 13,
    FMT_RGB = 14,
    FMT_RAW = 15,
    FMT_SGI = 16,
    FMT_PSD = 17,
    FMT_PIC = 18,    // Softimage
    FMT_RLA = 19,    // Wavefront
    FMT_ALIAS = 20,
    FMT_ELF = 21,    // layered file
    FMT_MNG_ANIM = 22,
    FMT_GIF_ANIM = 23,
};

// Layer flag bits.
enum LayerFlag : uint32_t {
    LAYER_VISIBLE = 1u << 0,
    LAYER_LOCALSTACK = 1u << 1,
    LAYER_GLOBALMASK = 1u << 2,
    LAYER_LOCKSTEP = 1u << 5,
    LAYER_WARP = 1u << 7,
};

struct Image {
    uint32_t width;
    int32_t height;
    GHandle pixel_block;  // "iHrgba": width * (height + 4) pixels
    GHandle row_block;    // "iyof": max(width, height + 4) entries
    char name[256];
    uint8_t palette_red[256];
    uint8_t palette_green[256];
    uint8_t palette_blue[256];
    uint8_t* pixels;  // while locked
    uint32_t* rows;   // while locked: rows[y] = y * width
    int32_t hres_num, hres_den;
    int32_t vres_num, vres_den;
    int16_t alpha;  // 1 when the alpha channel carries content

    // Layer state.
    int16_t has_layers;    // a master whose stack is valid
    int16_t is_layer;      // a layer image
    int16_t layer_number;  // position number of a layer
    List* layer_list;      // on a master: the "layerlist", first node = base
    Image* owner;          // on a layer: its master
    int32_t layer_x, layer_y;
    int32_t layer_mode;
    uint32_t layer_flags;
    int32_t layer_opacity;  // 0..100
    int32_t layer_factor;   // 0..30000, 100 neutral
    int32_t recomposite;    // on a master: a layer changed

    Image* parent;
    int32_t parent_x, parent_y;
    char path[256];
    char* annotation;  // "Iann" fixed block of at least 324 bytes, or null
    char format[5];
    uint16_t bits;
    int16_t undo_applied;
    int16_t changes;
    uint16_t frame_timing[2];
    int16_t locks;
    int16_t file_format;
    char author[100];
    char copyright[100];  // "(c) " of IFF files, the copyright text of layered files

    // Working fields of the load dispatch and the views.
    char type_name[16];   // the codec's name of the file type ("FLI/FLC", "FiLM")
    int32_t frame_number; // the frame a multi-frame file was read at
    int32_t frame_count;  // frames in the file the image came from (0 = single)
    int16_t saved_compress;  // compression the image was last saved with
    int16_t saved_quality;   // JPEG quality it was last saved with

    uint8_t* pixel(int x, int y) { return pixels + 4 * (static_cast<size_t>(rows[y]) + static_cast<size_t>(x)); }
    uint8_t* row(int y) { return pixels + 4 * static_cast<size_t>(rows[y]); }
};

Image* image_new(long width, long height, const char* label);
Image* image_new_locked(long width, long height, const char* label);
// 0 when addressable; 1 null image (message 11) or pixel block not locked;
// 4 row table not locked.  The lock count is raised in every case but null.
int image_lock(Image* image);
int image_unlock(Image* image);

// Holds an image locked for the guard's lifetime and unlocks it on every
// way out, failed lock included (image_lock raises the count even when it
// fails).  A failed lock shows `message` (0: nothing) once; the guard then
// tests false.
class ImageLock {
public:
    ImageLock() : image_(nullptr), ok_(false) {}
    explicit ImageLock(Image* image, int message = 0, const char* extra = nullptr);
    ~ImageLock() { release(); }
    // Locks (after releasing what the guard held); false as the guard would test.
    bool acquire(Image* image, int message = 0, const char* extra = nullptr);
    ImageLock(const ImageLock&) = delete;
    ImageLock& operator=(const ImageLock&) = delete;
    explicit operator bool() const { return ok_; }
    // Unlocks now rather than at the end of the scope.
    void release();
    // Keeps the image locked past the guard (its owner unlocks it later).
    Image* keep();

private:
    Image* image_;
    bool ok_;
};
int image_free(Image* image);
int image_rows_rebuild(Image* image);
// Gives `target` the size and pixel planes of `fresh` (both locked, or both
// unlocked) and frees `fresh` with the old planes.  The record itself (its
// locks, names, attributes, layers) stays: operations that change the size
// of an image use it, and undo replaces the image whole.
void image_take_planes(Image* target, Image* fresh);
int image_set_format(Image* image, int code);
int image_annotation_alloc(Image* image, long size);

// The format tag of a code (codes above 17 give null: tag unchanged).
const char* image_format_tag(int code);
// The file formats name their codes: the formats subsystem installs the
// lookup (code → type name, null when unnamed) when it is linked.
void image_set_type_names(const char* (*type_name)(int code));
// The file-type name used when frames are written: "TIF" for 6, "MNG" for
// 22, "GIF" for 23; null for codes it does not know.
const char* image_type_name(int code);

// Name for an image the system makes itself: "NEW_%d", counter raised first.
void image_next_new_name(char* out, size_t size);

// The palette every image starts with.
void image_default_palette(Image* image);

// ---- the open-images table ---------------------------------------------
struct ImageStore {
    Image* slots[kOpenImageSlots];
    int count;
    int new_counter;  // "NEW_%d"
};
ImageStore& image_store();
void image_store_clear();
int image_store_count();
bool image_store_contains(const Image* image);

// ---- image roles: the target, source and brush images ------------------
enum class ImageRole { Target, Source, Brush };
struct ImageRoles {
    Image* target;
    Image* source;
    Image* brush;
};
ImageRoles& image_roles();
Image* image_role(ImageRole role);
void image_set_role(ImageRole role, Image* image);

// Frame-timing values new images take (filled from the settings at start-up).
void image_set_default_timing(uint16_t first, uint16_t second);
