// Undo: captures of the rectangles operations are about to change, kept
// newest first in a stack of "UndoWant" levels.  Undo swaps a capture's
// pixels with the image's, so the same capture then serves to redo.
#pragma once

struct Image;

// Captures the rectangle (clipped to the image) before an operation changes
// it; `operation` names the operation (at most 99 characters kept).
// 0 done; 1 with message 39 (38 with no undo levels).
int undo_capture(long x0, long y0, long x1, long y1, Image* image, const char* operation = nullptr);
// Puts the last capture back into its image (an aborted or failed operation).
int undo_restore_last();
int undo_apply(Image* image);
int undo_redo(Image* image, int entry);
int undo_set_levels(long old_count, long new_count);
int undo_forget(Image* image);
