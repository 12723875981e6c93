// What each art operation does, for docs/operations.md and the help pages.
#pragma once

namespace art_docs {

inline constexpr const char* gouache = R"(Repaints the picture in flat, opaque strokes of gouache:
a Kuwahara filter forms patches of one colour while keeping the edges sharp, and the colours
settle on 24 levels a channel, as thick paint dries.

- `size`: the brush's radius in pixels.
- `passes`: passes of the brush, each on what the last left (more passes, bigger and flatter
  patches).

Kuwahara: each pixel takes the mean colour of whichever of the four `(size + 1)`-square quadrants
that meet at it has the least variance of brightness; each quadrant's sums come from
summed-area tables, so the size costs nothing extra.)";

inline constexpr const char* toonize = R"(Turns the picture into a cartoon: flat colour areas,
the brightness in five bands and black ink lines along the edges. No parameters.

A Kuwahara filter of radius 3 flattens the picture; each colour is then scaled so that its
brightness becomes the middle of its band (`(band + 0.5)·51`), which keeps its hue; where the
flattened picture's Sobel gradient exceeds 120 the ink darkens it, fully from 240 on.)";

inline constexpr const char* watercolor = R"(Paints the picture in watercolour: washes of
colour with soft edges where the pigment pools darker, lighter paper showing through with its
grain.

- `size`: the size of the washes in pixels.

A Kuwahara filter of radius `size` gives the washes, a box of radius `size/3` softens them; each
colour is lightened towards the paper by `0.12 + 0.05·grain` (a fixed fractal noise) and darkened
by up to 35 % where the washes' gradient is strong: `c' = (c + (255 − c)·paper)·(1 −
0.35·min(1, |∇|/300))`.)";

inline constexpr const char* oil_painting = R"(An oil painting: every pixel takes the colour that
is most common round it, so the picture breaks into blobs of paint.

- `radius`: the neighbourhood, a disc of this radius.
- `levels`: brightness bins the neighbourhood is counted in (256 by default).

Within the disc the pixels are counted by brightness bin; the fullest bin wins (the first found
on a tie) and the pixel takes the mean colour of that bin's pixels. This is ImageMagick's
`-paint radius` (which counts 256 intensity bins in the same way but takes one pixel's colour of
the winning bin), so the result matches it closely at the same radius, a little smoother.)";

inline constexpr const char* blue_print = R"(Turns the picture into a blueprint: white lines where
the picture has edges, on blueprint blue, over a faint grid.

- `strength`: % of the lines' brightness for a given edge; 100 makes a Sobel gradient of 255 a
  full white line.
- `grid`: the grid's spacing in pixels, 0 for none.

The line value `l = min(1, |∇|·strength/100/255)` (at least 0.25 on the grid) mixes the blue
(20, 60, 140) towards (235, 240, 250).)";

} // namespace art_docs
