// What each alpha operation does, for docs/operations.md and the help pages.
#pragma once

namespace alpha_docs {

inline constexpr const char* make_alpha = R"(Makes the image's alpha channel from the source image (a
matte): bright parts of the source become opaque, dark parts clear. The source is stretched to the
image; with no source the image makes its own alpha from its brightness.

- `channel`: what is read: 0 brightness `(77r + 150g + 29b)/256`, 1 red, 2 green, 3 blue, 4 the
  source's alpha.
- `invert`: 1 makes dark parts opaque.
- `low`, `high`: levels: values at or below `low` give 0, at or above `high` give 255, and those
  between `255·(v − low)/(high − low)`.

The new alpha is mixed into the old by the mask weight. Like ImageMagick's
`-compose CopyOpacity -composite` with a grey matte.)";

inline constexpr const char* key_to_alpha = R"(Makes the pixels near a key colour transparent (a green
or blue screen turned into a cut-out).

- `red`, `green`, `blue`: the key colour (green at the start).
- `tolerance`: distance from the key within which a pixel is wholly clear (RGB distance 0..442, or
  degrees of hue with `hue`).
- `soft`: distance beyond the tolerance over which alpha rises back to opaque.
- `invert`: 1 keeps the key colour and clears the rest.
- `hue`: 1 compares hues only (greys never match).
- `keep`: 1 multiplies the old alpha instead of replacing it.

Alpha is `255·clamp((d − tolerance)/soft, 0, 1)`, as ImageMagick's `-fuzz` with
`-transparent` but with a soft edge.)";

inline constexpr const char* invert_alpha = R"(Turns the alpha channel over: `a' = 255 − a`, mixed by
the mask weight. Opaque pixels become clear and clear ones opaque; twice is no change. No
parameters.)";

inline constexpr const char* harden_alpha = R"(Makes soft alpha edges hard: alpha goes through a
steep S-curve round the threshold.

- `threshold`: the alpha that becomes the middle of the curve.
- `soft`: the width of the curve; 0 gives only 0 and 255 (at or above the threshold is opaque).

`a' = 255·smoothstep(threshold − soft/2, threshold + soft/2, a)`. An image without alpha (opaque throughout) is
left as it is, with the no-change message.)";

inline constexpr const char* soften_alpha = R"(Softens the alpha channel's edges (feathering a
cut-out): alpha is blurred, the colours stay.

- `radius`: the blur's reach in pixels; 0 changes nothing.

Three passes of a box of radius `radius/2` (at least 1) across and down, which come close to a
Gaussian, on the alpha as it was before; the edges of the image repeat. An image without alpha (opaque throughout) is
left as it is, with the no-change message.)";

inline constexpr const char* shave_alpha = R"(Shaves pixels off the edges of the opaque parts (an
erosion of the alpha channel), taking away fringes round a cut-out.

- `amount`: pixels shaved; 0 changes nothing.

Each alpha becomes the least alpha in the square of radius `amount` round it, as ImageMagick's
`-channel A -morphology Erode Square:amount`. An image without alpha (opaque throughout) is
left as it is, with the no-change message.)";

inline constexpr const char* promote_rgb = R"(Brings the colours forward over the transparency.

- `red`, `green`, `blue`: the background colour of mode 0.
- `mode`: 0 flattens: each colour over the background by its alpha,
  `c' = (c·a + bg·(255 − a))/255`; 1 spreads colours: every clear pixel (alpha 0) takes the colour
  of the nearest pixel with alpha (by city-block distance), so that later blurs and resizes do not
  pull a dark fringe in from the clear parts.
- `opaque`: 1 makes the result opaque (alpha 255).

Mode 0 is ImageMagick's `-background C -flatten`.)";

inline constexpr const char* sample_a = R"(Shows the alpha channel in the colours, so that it can be
seen and worked on as a picture.

- `mode`: 0 the alpha as grey, 1 the colour times alpha (premultiplied: clear parts go black),
  2 the colour over a checkerboard of 8-pixel squares (greys 153 and 204), as viewers show
  transparency.

Alpha itself is kept.)";

inline constexpr const char* clip_alpha = R"(Clips the alpha channel's levels: faint alpha goes
clear and nearly full alpha goes opaque.

- `low`: alpha below it becomes 0.
- `high`: alpha above it becomes 255.
- `stretch`: 1 stretches the values between to 0..255, `255·(a − low)/(high − low)`; 0 keeps
  them.

An image without alpha (opaque throughout) is left as it is, with the no-change message.)";

inline constexpr const char* make_area = R"(Makes an area selection of the pixels whose alpha is at
least the threshold: exactly those pixels, with no soft edge. The selection is an outline along
the pixels' edges (a freehand area of several contours, holes included), so it can be saved as an
area file, combined with other areas and used on other images. The image is not changed and
there is nothing to undo.

- `threshold`: the least alpha that is selected, 1..255.

A picture with no pixel at the threshold is refused with a message.)";

} // namespace alpha_docs
