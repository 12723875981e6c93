// The operation descriptor: what the catalogue holds for every effect.
//
// A descriptor names the operation, its group and dialog, the applier that
// walks the image for it, its worker and hooks, and the parameter slots that
// point at the variables holding its parameters.  Dialogs, settings files,
// scripts, the timeline and `vq` all read and write those same variables.
#pragma once

#include <cstddef>
#include <cstdint>

struct Image;

constexpr int kOpSlots = 55;           // parameter slots per descriptor
constexpr int kOpDialogHooks = 6;
constexpr int kPaletteColours = 1024;  // colours a palette slot holds
constexpr int kProfilePoints = 201;    // values of a curve profile

// Slot kinds.
enum SlotKind : int16_t {
    SLOT_INT = 0,            // 32-bit integer
    SLOT_FLOAT = 1,          // 32-bit floating point
    SLOT_PALETTE = 3,        // OpPalette
    SLOT_PALETTE_B = 4,      // OpPalette (the second palette of an operation)
    SLOT_PROFILE_FIRST = 5,  // 5..16: one of twelve curve profiles (int16_t[201])
    SLOT_PROFILE_LAST = 16,
    SLOT_TEXT = 17,          // 17, 18, 20: text (char[text_size])
    SLOT_TEXT_B = 18,
    SLOT_TEXT_OTHER = 19,
    SLOT_TEXT_C = 20,
};

constexpr bool slot_is_palette(int kind) { return kind == SLOT_PALETTE || kind == SLOT_PALETTE_B; }
constexpr bool slot_is_profile(int kind) { return kind >= SLOT_PROFILE_FIRST && kind <= SLOT_PROFILE_LAST; }
constexpr bool slot_is_text(int kind) { return kind >= SLOT_TEXT && kind <= SLOT_TEXT_C; }
// Slots that take one number (or word) on the operation's settings line.
constexpr bool slot_is_value(int kind) { return kind == SLOT_INT || kind == SLOT_FLOAT || slot_is_text(kind); }

// A palette of up to 1024 colours, as palette slots hold it.
struct OpPalette {
    uint8_t red[kPaletteColours];
    uint8_t green[kPaletteColours];
    uint8_t blue[kPaletteColours];
    int32_t count;
};

struct OpSlot {
    void* var;        // int32_t*, float*, OpPalette*, int16_t[201] or char[]
    int32_t control;  // the dialog control that edits it; 0 = slot empty
    int16_t kind;
    double slider_min, slider_max;
    double typed_min, typed_max;  // may be wider than the slider's
    int32_t fifth;                // 360 for hue-like 0..360 parameters, else 0
    char name[13];                // palette and profile name in settings files
    const char* label;            // shown in dialogs and timelines ("Amount")
    const char* key;              // its short name on the command line ("amount")
    int32_t text_size;            // capacity of a text slot
    int32_t profile_high;         // highest value of a profile slot (255, 256, 360, 100)
    const char* profile;          // a profile slot's profile in the profile table ("asterize")
    const char* choices;          // a choice: the names of its values from slider_min, "|" between
    const char* browse;           // a text slot naming a file: the chooser's filter ("Scenes (*.W3D)|*.W3D|")

    bool used() const { return control != 0; }
};

// The eight appliers.
enum class ApplierKind : int16_t {
    PixelMap,
    PixelMapXY,
    PixelInPlace,
    PixelInPlaceXY,
    MultiPass,
    Geometric,
    WholeImage,
    WholeImageNoUndo,
};
const char* applier_kind_name(ApplierKind kind);

// Workers by applier (only the one the applier calls is set).
struct OpWorkers {
    uint32_t (*map)(uint32_t pixel);                          // pixel map
    uint32_t (*map_xy)(uint32_t pixel, int x, int y);         // pixel map xy
    void (*place)(uint8_t* pixel, int weight);                // pixel in place
    void (*place_xy)(uint8_t* pixel, int x, int y, int weight);  // in place xy, multi-pass, geometric
    int (*whole)(Image* target, uint8_t* mask);               // whole image (pixels of target, locked)
    // Optional beside map: the same mapping for a run of count pixels,
    // out[i] = map(pixel at in + 4i).  The pixel map applier hands colour
    // pixels over a run at a time when it is set (a worker that vectorises
    // saves the call per pixel and does several at once).
    void (*map_run)(const uint8_t* in, uint32_t* out, int count);
};

using OpPrepare = int (*)(Image* target, int view_index);
using OpPrepass = int (*)(Image* target, uint8_t* pixels);
using OpFinish = int (*)(Image* target, int view_index);
using OpApplier = int (*)(Image* target, int view_index);
// The coordinate mapping of the common geometric worker: where the colour of
// target pixel (x, y) comes from, and a brightening amount.
using OpMapping = void (*)(int x, int y, double* sx, double* sy, unsigned* shade);
using OpDialogHook = int (*)(void* dialog, int control, long value);

// The prepare hook's answer that stops an operation with result 3.
constexpr int kPrepareStopQuiet = 21345;

struct OpDescriptor {
    int32_t command;   // menu command; also names the operation (0 ends the catalogue)
    int32_t group;     // command number of its group
    const char* dialog;
    OpPrepare prepare;
    OpPrepass prepass;
    OpApplier applier;
    OpWorkers worker;
    OpWorkers warp;    // used instead of the worker on warp layers
    OpMapping mapping;
    OpFinish finish;
    OpDialogHook dialog_hooks[kOpDialogHooks];  // [0], when set, sets the dialog up itself
    OpSlot slots[kOpSlots];
    int16_t uses_source;
    int16_t full_refresh;
    int16_t no_alpha_masking;
    int16_t warp_capable;
    int16_t uses_brush;

    // What the menus, `vq` and the script commands need beyond that.
    const char* name;          // display name ("Negative")
    ApplierKind kind;
    const char* keyword;       // script command ("NEGATIVE"), null when none
    int16_t script_args;       // arguments the script command takes
    int16_t script_statement;  // 1: a statement without arguments
    int16_t available;         // 1 when its worker is written
    const char* unavailable;   // why it cannot run yet (when not available)
    char help_word[32];        // "negative": its help page is "f_op_negative"
    const char* doc;           // its description in Markdown, from its family; null when none
    int16_t parallel;          // rows may run on several threads (its family says so)

    int slot_count() const;    // used slots
};
