// Applying operations: the single entry point every menu command, script,
// timeline cell and plug-in call goes through, and the state it publishes
// for the appliers and workers while an operation runs.
#pragma once

#include "ops/operation.h"

struct Image;

struct OpState {
    int32_t current;          // the current operation's command number
    OpApplier current_applier;

    // The view worked on.
    Image* view;
    int view_index;

    // Published for the applier and the workers while an operation runs.
    const OpDescriptor* op;
    OpWorkers worker, warp;
    OpMapping mapping;
    OpPrepass prepass;
    OpFinish finish;
    bool warp_capable;
    bool alpha_mode;      // work on the alpha channel rather than the colour
    bool running;         // from the start of perform_operation to its return
    int passes;           // multi-pass applier: passes wanted (the prepare hook sets it)
    Image* capture;       // geometric applier: the undo capture of the rectangle (locked)
    long capture_x, capture_y;  // where the capture's top-left pixel lies in the target
    bool clear_outside;   // geometric: pixels mapped from outside become transparent
    bool outside;         // geometric: the mapping's outside flag for the current pixel

    Image* source;        // locked while the operation runs, when it uses one
    long src_width, src_height;
    uint32_t* src_rows;
    uint8_t* src_pixels;
    Image* brush;
    long brush_width, brush_height;
    uint32_t* brush_rows;
    uint8_t* brush_pixels;

    // Sequence generation (the timeline sets these around its calls).
    bool generating;
    long frame, level;    // counted from 0
    bool first_level;
};

OpState& op_state();

// Records the operation that perform_operation applies next.  0 done; 1 when
// the catalogue does not hold the command.
int set_current_operation(int32_t command);

// Applies the current operation to the image of a view.  A null view means
// the target image (or the first image shown in a view).  0 done; 1 nothing
// done or failed; 2 the prepare hook refused; 3 it stopped quietly; other
// values are the applier's.
int perform_operation(Image* view = nullptr, int view_index = 0);

// Sequence generation switches the no-change message off and the mask
// building over to the timeline.
void op_set_generating(bool on, long frame = 0, long level = 0, bool first_level = false);

// The prepare hooks' refusal: message 65 unless a sequence is generated.
// Returns 2 (the result that stops the operation).
int op_refuse_no_change();

// A warp layer holds displacement vectors, not colours.
bool is_warp_layer(const Image* image);

// ---- hooks of modules above or beside the framework --------------------

// Called after an operation changed a layer image (the layer module marks
// the master for recompositing).  Without a hook the master's recomposite
// mark is set and its views redrawn.
void op_set_layer_hook(void (*changed)(Image* layer));
// Called after an operation when the film strip window is open and no
// sequence is generated: the film strip refreshes its current frame.
void op_set_film_hook(void (*refresh)(Image* target));

// Histogram applies its curves instead of measuring when its measuring
// switch is off: the tone family hands the framework how.
struct CurveApply {
    bool (*measuring)();
    void (*build_tables)();
    void (*worker)(uint8_t* pixel, int weight);
};
void op_set_curve_apply(const CurveApply* curves);
