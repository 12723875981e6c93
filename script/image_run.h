// The image commands' state for one run: the current image, its copy from
// before the run (read by the "U" pixel functions), the image and mask
// stacks and what the run changed in the system's settings.
#pragma once

#include "script/engine.h"

#include <cstdint>

struct Image;

namespace script {

constexpr int kStackSlots = 100;

// A stack entry: a copy of pixels (4 bytes each) or of mask bytes.
struct StackSlot {
    uint8_t* bytes;
    long width, height;
};

struct ImageRun {
    Image* image;   // the current image: the active one when the run began
    Image* before;  // its pixels when the run began ("sund")
    // Both stacks count down from kStackSlots (empty) on a push.
    StackSlot images[kStackSlots];
    int image_top;
    StackSlot masks[kStackSlots];
    int mask_top;
    // The script changed the mask itself: operations use it as it stands
    // (Draw First) instead of building it from the selection.
    bool mask_owned;
    long work_method;      // the setting before the run
    bool work_method_set;  // changed for an operation
    bool pixels_changed;   // views to redraw at the end
    bool progress_open;    // PROGRESS opened the script's meter
    int mode;              // compositing mode when the image is no layer
};
ImageRun& image_run();

// The current image, or null when there is none (or it was closed).
Image* current_image();

// The area mask of the current image, locked, sized to it (made, filled
// with 255, when it is missing or of another size); null without an image.
uint8_t* run_mask();
// After the script changed the mask: the rectangle follows it and the
// operations use it as it is.
void mask_edited();

// Applies an operation of the catalogue with the arguments in the order of
// its parameters (numbers truncated or kept as floats as the parameter
// wants, texts where it takes a text).  Type mismatch before anything is
// changed; a failing operation reports through the framework.
void apply_operation(int32_t command, int argc, Value* args);

// The handlers of the stack statements (image_pixels.cpp), by name.
StatementFn stack_statement(const char* name);

// The functions of image_pixels.cpp the table names.
#define SCRIPT_FUNCTION(name) void name(int argc, Value* a, Value& r)
SCRIPT_FUNCTION(fn_getred);
SCRIPT_FUNCTION(fn_getgreen);
SCRIPT_FUNCTION(fn_getblue);
SCRIPT_FUNCTION(fn_getalpha);
SCRIPT_FUNCTION(fn_getredu);
SCRIPT_FUNCTION(fn_getgreenu);
SCRIPT_FUNCTION(fn_getblueu);
SCRIPT_FUNCTION(fn_getalphau);
SCRIPT_FUNCTION(fn_putred);
SCRIPT_FUNCTION(fn_putgreen);
SCRIPT_FUNCTION(fn_putblue);
SCRIPT_FUNCTION(fn_putalpha);
SCRIPT_FUNCTION(fn_getluma);
SCRIPT_FUNCTION(fn_getlumau);
SCRIPT_FUNCTION(fn_getsat);
SCRIPT_FUNCTION(fn_getsatu);
SCRIPT_FUNCTION(fn_gethue);
SCRIPT_FUNCTION(fn_gethueu);
SCRIPT_FUNCTION(fn_putluma);
SCRIPT_FUNCTION(fn_putsat);
SCRIPT_FUNCTION(fn_puthue);
SCRIPT_FUNCTION(fn_getm);
SCRIPT_FUNCTION(fn_putm);
SCRIPT_FUNCTION(fn_swapimage);
SCRIPT_FUNCTION(fn_feathermask);
SCRIPT_FUNCTION(fn_setmask);
SCRIPT_FUNCTION(fn_setsel);
SCRIPT_FUNCTION(fn_setalphamask);
SCRIPT_FUNCTION(fn_expand);
SCRIPT_FUNCTION(fn_contract);
SCRIPT_FUNCTION(fn_seloval);
SCRIPT_FUNCTION(fn_selrect);
SCRIPT_FUNCTION(fn_maskrect);
SCRIPT_FUNCTION(fn_textsel);
SCRIPT_FUNCTION(fn_setoffset);
SCRIPT_FUNCTION(fn_calculate);

} // namespace script
