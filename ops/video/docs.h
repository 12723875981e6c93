// What each video operation does, for docs/operations.md and the help pages.
#pragma once

namespace video_docs {

inline constexpr const char* ntsc = R"(Makes colours safe for NTSC broadcast: colours whose
composite signal would swing above the highest level (or below −20 IRE) are brought back in.

- `limit`: the highest composite level in IRE, 100..130 (110 is the usual limit).
- `mode`: 0 lowers the saturation and keeps the brightness, 1 lowers the brightness and keeps the
  colour.

With `Y = 0.299r + 0.587g + 0.114b` and the YIQ chroma `I`, `Q` (r, g, b in 0..1), the signal
swings over `Y ± C` with `C = |(I, Q)|`; a colour with `Y + C > limit/100` has its chroma scaled
by `(limit/100 − Y)/C` (mode 0) or its `Y` lowered to `limit/100 − C` (mode 1), and goes back
to RGB. Safe colours are unchanged. As the "NTSC colors" filters of video editors.)";

inline constexpr const char* frame_rates = R"(The look of a frame-rate conversion that blends
frames: a picture moving `motion` pixels a frame, converted from `from` to `to` frames a
second. Output frame `n` (the sequence's frame, counted from 1; 1 outside a sequence) shows the
source time `t = n·from/to` and blends the picture with itself moved by `motion` by the
fraction of `t`: `out(x) = (1 − f)·p(x) + f·p(x − motion)`, `f = t − ⌊t⌋`.

- `from`, `to`: frames per second; equal rates (or no motion) change nothing.
- `motion`: pixels the picture moves to the right per source frame (negative: to the left).)";

inline constexpr const char* makefields = R"(Makes one field of an interlaced frame: the rows of
one field are kept and the rows of the other are made from them.

- `field`: 0 keeps the even rows (0, 2, …), 1 the odd rows.
- `mode`: the other rows: 0 a copy of the kept row above (line doubling), 1 the mean of the kept
  rows above and below (as a bob deinterlacer), 2 black (the field as it is sent).)";

inline constexpr const char* film_grain = R"(Adds film grain: seeded noise of a given size,
strongest in the midtones as on film. The same settings always give the same grain, so
timelines can hold it still or change the seed per frame.

- `amount`: 0..100 %; at 100 % the grain's standard deviation is 64 levels.
- `size`: the grain's size in pixels; above 1 the grain values lie `size` pixels apart and
  are interpolated between.
- `seed`: the grain pattern.
- `colour`: 1 gives each channel its own grain; 0 the same grain on all (monochrome grain).
- `midtones`: 1 weighs the grain by `0.25 + 0.75·4l(1 − l)` (`l` the channel's level in 0..1),
  so that black and white stay clean.

The grain value is the sum of four seeded uniform numbers, centred and scaled to variance 1 (close
to Gaussian), hashed from the seed and the position. As ImageMagick's
`+noise Gaussian` with a fixed seed.)";

inline constexpr const char* scanline = R"(Darkens every n-th row, as the dark lines between the
scan lines of a video monitor.

- `spacing`: every n-th row of the area (counted from its top, the last of each group) is darkened.
- `dark`: how much darker, %: 100 makes those rows black.)";

inline constexpr const char* jitter = R"(Bad video reception: bands of rows slide sideways by
random amounts, the picture rolls, red and blue drift apart and snow falls. Seeded: the same
settings give the same picture; with `perframe` each frame of a sequence gets its own pattern.

- `amount`: the largest shift in pixels.
- `rows`: % of the bands that move.
- `band`: rows per band.
- `seed`: the pattern.
- `roll`: rows the picture rolls up.
- `split`: pixels red moves left and blue right.
- `noise`: snow, % (a quarter of that share of pixels become random greys).
- `wrap`: 1 brings what slides off one side in at the other; 0 repeats the edge.
- `perframe`: 1 adds the sequence's frame to the seed.
- `vertical`: 1 moves columns up and down instead of rows sideways.)";

inline constexpr const char* flicker = R"(Flicker of old film or a failing lamp: the brightness
jumps from frame to frame by a seeded amount, or a bright bar rolls down the picture. On a single
image it is the first frame's.

- `amount`: the largest change, %: each frame's colours are multiplied by a level in
  `1 ± amount/100`.
- `seed`: the sequence of levels.
- `hold`: frames each level lasts.
- `bar`: 1 instead brightens a soft bar a quarter of the area high (by up to `amount/2` %),
  rolling down by 1/24 of the area each frame.)";

inline constexpr const char* stabilize = R"(Steadies a shaking picture: finds the shift that best
lays the image over the source (the reference frame, stretched to the image) and moves the image
back by it.

- `radius`: the largest shift searched, in pixels.
- `x`, `y`, `width`, `height`: the patch compared (something that should stand still); a width or
  height of 0 compares the whole image.
- `edge`: what fills the side the picture leaves: 0 the edge repeated, 1 transparent, 2 black.
- `horizontal`, `vertical`: the directions searched.
- `levels`: coarse-to-fine levels: the search runs on the patch halved `levels` times over the
  whole reach, then refines by one pixel on each finer level (fast on large reaches).
- `strength`: % of the found shift applied.

The match is the least mean absolute difference of the brightness; shifts that leave less than a
quarter of the patch overlapping are not taken, and among equal matches the smallest shift wins.
No source assigned: the image is its own reference and does not move.)";

} // namespace video_docs
