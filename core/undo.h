// Undo: captures of the rectangles operations are about to change, kept
// newest first in a stack of "UndoWant" levels.  Undo swaps a capture's
// pixels with the image's, so the same capture then serves to redo.
//
// A capture is an image record of its own (label "iund"): its parent is the
// image it was taken from, parent x/y the rectangle's corner (-1 when it
// holds the whole image), its name the image's, its path the operation's
// name, and `undo_applied` is 1 while it has been swapped back (undone).
#pragma once

#include <cstdint>

struct Image;

constexpr long kUndoMaxLevels = 32000;
// The stack has this many slots beyond the levels.
constexpr long kUndoSpareSlots = 4;

struct UndoState {
    Image** slots;    // fixed block "undo", slot 0 the newest; null until first used
    long slot_count;  // levels + 4
    long levels;      // the levels the stack serves (0 still keeps one capture)
    Image* last;      // the capture undo_restore_last puts back
    // A separate alpha plane waiting to be merged into the next capture of
    // an image of its size (fixed block, owned here).
    uint8_t* pending_alpha;
    long alpha_width, alpha_height;
};
UndoState& undo_state();

// Captures the rectangle (clipped to the image, corners in any order) before
// an operation changes it; `operation` names the operation (at most 99
// characters kept).  A rectangle covering the whole image is kept without a
// position, so that undoing an operation that resized the image replaces the
// image whole.  0 done; 1 with message 39 (38 with no undo levels).
int undo_capture(long x0, long y0, long x1, long y1, Image* image, const char* operation = nullptr);
// Puts the last capture back into its image and drops it (an aborted or
// failed operation); the change count is left alone.  1 when there is none.
int undo_restore_last();
// The last capture taken (scripts read the pixels before the run from it).
Image* undo_last_capture();

// Undoes the newest capture of the image that is not undone yet; with an
// entry (a slot, as the "UndoChoose" dialog offers), every capture of the
// image from the newest down to that slot.  Lowers the change count.
// 0 done; 1 when there is nothing to undo or a swap failed (message 106 or 52).
int undo_apply(Image* image, long entry = -1);
// Redoes the chosen undone capture (a slot, as "DeUndoChoose" offers) and the
// undone captures newer than it; -1 redoes the last one undone alone (the
// menu's "De-Undo").  Raises the change count.  As undo_apply.
int undo_redo(Image* image, int entry);
// The number of levels from now on (0 to 32000).  0; 1 with message 39 when
// the larger stack cannot be had (the count stays old).
int undo_set_levels(long old_count, long new_count);
// Releases every capture of the image (its pixels no longer match them: a
// resized layer master, say); with 0 levels, slot 0 too.  Returns 0.
int undo_forget(Image* image);
// Before a new change of the image: drops its stale captures (the undone
// ones, whose redo the change ends); with 0 levels, slot 0.  Returns 0.
int undo_drop_stale(Image* image);
// The image is being closed: drops every capture of it; the later ones move up.
int undo_drop_image(Image* image);

// Takes over a separate alpha plane (a block from mem_alloc, width * height
// bytes) whose values become the alpha bytes of the next capture of an image
// of that size.
void undo_set_pending_alpha(uint8_t* plane, long width, long height);

// The slots, for the choose dialogs and reports.
long undo_slot_count();
Image* undo_slot(long index);

// Shut-down: releases every capture, the pending alpha and the stack.
void undo_release();
