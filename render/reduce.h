// Colour reduction: turns an RGBA image into the pixel data a file writer
// stores, with its palette.  24-bit colour, 256 colours, 256 greys,
// 16 colours, 16 greys or black and white; the palette fixed, grey, chosen
// for the image, the current one or the caller's; dithering by ordered
// patterns or by serpentine error diffusion with a strength.
//
// How a writer uses it (an 8-bit BMP, say):
//
//     uint8_t red[256], green[256], blue[256];
//     ReduceInfo info;
//     uint8_t* data = render_reduce_default(image, REDUCE_256, red, green, blue, &info);
//     if (!data)
//         return 1;                  // already reported (or cancelled: info.cancelled)
//     // info.colours palette entries, rows of info.stride bytes, top row first
//     ...
//     data = mem_free_t(data);
//
// The 16-colour, 16-grey and black-and-white kinds hold one index per byte;
// packing them into 4 or 1 bits is the writer's business.
#pragma once

#include <cstdint>

struct Image;

// What the caller asks for.
enum ReduceType : int {
    REDUCE_24 = 0,         // 24 bits: blue, green, red per pixel, rows padded to 4 bytes
    REDUCE_256 = 1,        // 8 bits, 256 colours (with the grey palette mode: 256 greys)
    REDUCE_256_GREYS = 2,  // 8 bits, entry i is (i, i, i), the grey of the pixel, no dithering
    REDUCE_16 = 3,         // 4 bits, 16 colours (with the grey palette mode: 16 greys)
    REDUCE_16_GREYS = 4,   // 4 bits, entry i is (17i, 17i, 17i)
    REDUCE_BW = 5,         // 1 bit, entry 0 black, 1 white
    REDUCE_24_RGB = 6,     // 24 bits: red, green, blue per pixel, rows of 3 * width bytes
    REDUCE_ALPHA = 7,      // 8 bits: the alpha channel, rows of width bytes, no palette
    REDUCE_32 = 8,         // 32 bits: blue, green, red, alpha per pixel, rows of 4 * width bytes
};

// Where the palette comes from.
enum PaletteMode : int {
    PALETTE_FIXED = 0,     // the fixed system palette (256) or the fixed 16-colour palette
    PALETTE_GREYS = 1,     // greys: 256 colours render as 256 greys, 16 as 16 greys
    PALETTE_CHOSEN = 2,    // colours chosen for this image
    PALETTE_CURRENT = 3,   // the current palette (render_state())
    PALETTE_SUPPLIED = 4,  // the caller's arrays
};

// What a reduction produced.
struct ReduceInfo {
    int kind = 0;        // the kind rendered (REDUCE_256 with PALETTE_GREYS renders REDUCE_256_GREYS)
    int bits = 0;        // 24, 8, 4, 1 or 32: what one pixel needs in the file
    int colours = 0;     // palette entries in use, 0 for 24 and 32 bits and the alpha plane
    long stride = 0;     // bytes from one row of the buffer to the next
    bool cancelled = false;  // the user cancelled the reduction (no buffer, no message)
};

// Reduces the image to `type`.  With PALETTE_SUPPLIED the arrays (256
// entries each) give the palette; otherwise they receive the palette used
// (the current palette first, then the entries in use).  `ordered` chooses
// ordered dithering over error diffusion for 256 colours; the other indexed
// kinds always diffuse.  `strength` is the dither strength in percent
// (0 carries no error, 100 the whole error).  With `store_palette` the
// palette used becomes the current palette.
//
// Returns the buffer, a labelled block of the place table the caller frees
// with mem_free: (width + 4) * height bytes, three times that for 24 bits,
// four times for 32.  Null on failure: "Not enough memory to render" was
// shown, or the image could not be locked (nothing shown), or the user
// cancelled.  The image is locked for the call when it was not.
uint8_t* render_reduce(Image* image, uint8_t* red, uint8_t* green, uint8_t* blue, int type, int palette_mode,
                       bool ordered, bool store_palette, int strength, ReduceInfo* info = nullptr);

// render_reduce with the user's current choices: render_state().palette_mode,
// render_state().strength and the "Ordered" preference; the palette is not stored.
uint8_t* render_reduce_default(Image* image, int type, uint8_t* red, uint8_t* green, uint8_t* blue,
                               ReduceInfo* info = nullptr);

// The output type for an indexed file depth: 8 gives REDUCE_256, 4 REDUCE_16,
// 1 REDUCE_BW; 24 gives REDUCE_24, 32 REDUCE_32; -1 for anything else.
int reduce_type_for_bits(int bits);

// ---- the subsystem's state ------------------------------------------------
struct RenderState {
    uint8_t red[256], green[256], blue[256];  // the current palette
    int colours;                              // its colour count, 2..256
    int palette_mode;                         // the user's palette mode for file output
    int strength;                             // the user's dither strength, percent
};
RenderState& render_state();
// Back to the start-up state: the fixed system palette, chosen colours, full strength.
void render_reset();
// Makes a palette current (colours clamped to 2..256).
void render_set_current_palette(const uint8_t* red, const uint8_t* green, const uint8_t* blue, int colours);

// ---- pieces other subsystems use --------------------------------------------
// The grey of a colour: floor(85R/255) + floor(105G/255) + floor(65B/255).
int render_grey(int r, int g, int b);
// The fixed system palette (256 entries) and the fixed 16-colour palette.
void render_fixed_palette(uint8_t* red, uint8_t* green, uint8_t* blue);
void render_fixed16_palette(uint8_t* red, uint8_t* green, uint8_t* blue);

// Chooses up to `colours` (2..256) colours for the image, which must be
// locked.  Returns how many it chose (fewer when the image has fewer
// distinct colours: those are then kept exactly), 0 when memory ran out
// (nothing shown) or the user cancelled.
int render_choose_palette(Image* image, int colours, uint8_t* red, uint8_t* green, uint8_t* blue);

// The nearest palette entry of a colour, exact (squared RGB distance, the
// lowest index on ties), without a search of the whole palette per pixel.
class PaletteLookup {
public:
    PaletteLookup() = default;
    ~PaletteLookup();
    PaletteLookup(const PaletteLookup&) = delete;
    PaletteLookup& operator=(const PaletteLookup&) = delete;

    // False when memory ran out (nothing shown).
    bool build(const uint8_t* red, const uint8_t* green, const uint8_t* blue, int colours);
    int nearest(int r, int g, int b);
    int colours() const { return count_; }

private:
    int fill_cell(int cell);
    int fill_coarse(int cell);
    int make_list(const int lo[3], int span, const uint8_t* cand, int n, uint32_t* off);
    int linear(int r, int g, int b) const;

    uint8_t pal_[3][256]{};
    int count_ = 0;
    uint8_t* block_ = nullptr;        // the cell tables and the cache, one block
    uint32_t* cell_off_ = nullptr;    // per cell of 8 x 8 x 8 values: where its candidates start
    uint16_t* cell_n_ = nullptr;      // per cell: how many candidates, 0 not built yet
    uint32_t* coarse_off_ = nullptr;  // the same for cells of 16 x 16 x 16 values, which
    uint16_t* coarse_n_ = nullptr;    // give the fine cells their first candidates
    uint32_t* cache_ = nullptr;       // recent answers: colour << 8 | entry
    uint32_t* lists_ = nullptr;       // candidate lists: red | green << 8 | blue << 16 | entry << 24
    long lists_used_ = 0, lists_size_ = 0;
};
