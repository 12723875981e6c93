// The operation catalogue: every operation of the system, built once at
// start-up, in group order, ended by a descriptor whose command is 0.
#pragma once

#include "ops/operation.h"

#include <string>

// Command numbers the framework itself refers to.
namespace opcmd {
enum : int32_t {
    Negative = 3115,
    Swirl = 3133,
    ClosedLine = 3167,
    ClosedLinePen = 3168,
    OpenLineEdge = 3169,
    Enlarge = 3173,
    Reduce = 3174,
    Monochrome = 3179,
    Contrast = 3181,
    Brightness = 3182,
    Gamma = 3183,
    Balance = 3184,
    Histogram = 3185,
    ColorFill = 3186,
    Colorize = 3188,
    Remap = 3189,
    MakeArea = 3191,
    Roll = 3221,
    SPercent = 3242,
    SPixel = 3243,
    Convolve = 3574,
    RayTrace = 3579,
    PseudoColor = 3712,
    Antique = 3713,
    FalseColor = 3714,
    Solarize = 3715,
    Glare = 3717,
    AdjustHue = 3722,
    Saturation = 3723,
    AdjustValue = 3724,
    ColorGel = 3725,
    Shear = 3728,
};
} // namespace opcmd

struct OpGroup {
    int32_t command;
    const char* name;       // "Photo Group"
    const char* help_topic; // "photo group"
};
// The fifteen groups in catalogue order.
const OpGroup* op_groups(int* count);
const OpGroup* op_group(int32_t command);
// A group by its name or number, case ignored ("photo", "Photo Group", "3550").
const OpGroup* op_group_find(const std::string& text);

// Sizes the catalogue from the groups' counts, allocates it ("ops") and lets
// every group register its operations.  0 done; 1 when the allocation fails.
int build_catalogue();
void release_catalogue();

OpDescriptor* op_catalogue();  // null before build_catalogue
int op_count();                // operations, not counting the terminator
OpDescriptor* op_at(int index);

// The index of the operation with that command number, or -1.
int find_operation(int32_t command);
OpDescriptor* op_by_command(int32_t command);
// By display name or script keyword, case ignored; null when unknown.
OpDescriptor* op_by_name(const std::string& name);

bool op_uses_source(int32_t command);
bool op_uses_brush(int32_t command);
bool op_full_refresh(int32_t command);
bool op_no_alpha_masking(int32_t command);

// The line tool's switch that makes the three line-drawing commands read
// the source and brush images.
void op_set_line_tool_images(bool on);

// Makes an operation available with the worker and hooks of a module
// outside ops/ (the ray tracer, plug-ins).  May be called before or after
// build_catalogue; the binding is kept for the next build.  False when the
// command is not in the catalogue.
bool op_register(const OpBinding& binding);

// Slot helpers for the families' binding tables.
OpSlot slot_int(int32_t* var, const char* key, const char* label, double slider_min, double slider_max,
                double typed_min, double typed_max, int32_t fifth = 0);
OpSlot slot_range(int32_t* var, const char* key, const char* label, double min, double max);
OpSlot slot_switch(int32_t* var, const char* key, const char* label);
OpSlot slot_float(float* var, const char* key, const char* label, double slider_min, double slider_max,
                  double typed_min, double typed_max);
OpSlot slot_palette(OpPalette* var, int16_t kind, const char* name, const char* key, const char* label);
OpSlot slot_profile(int16_t* var, int16_t kind, const char* name, int32_t high, const char* key,
                    const char* label);

// Value of a number slot as a double (ints and floats); 0 for other kinds.
double slot_get(const OpSlot& slot);
// Stores a number into an int or float slot (ints truncate).
void slot_set(const OpSlot& slot, double value);
