// Splatter: an operation repeated over copies of the selection scattered
// across the image.  The operation framework asks for the number of
// repetitions, places the selection for each one, builds the mask there and
// applies the operation.
//
// The "Splatter" preference holds six numbers: the count, the random seed,
// the switch, the spread (percent of the image over which the copies land,
// around its middle), whether the count is drawn at random from 1..count,
// and the size variation (percent by which each copy is larger or smaller).
#pragma once

struct Image;

struct SplatterSettings {
    long count;
    long seed;
    bool on;
    long spread;
    bool vary_count;
    long vary_size;
};
SplatterSettings splatter_settings();

// Draws the layout for the target and returns the number of repetitions:
// 1 when splatter is off or there is no selection to scatter.
int splatter_prepare(Image* target);
// Moves the selection to the place of repetition `index` (from 0).
void splatter_place(int index);
// Puts the selection back where it was drawn.
void splatter_end();
