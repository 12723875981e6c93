// What each collage operation does, for docs/operations.md and the help pages.
#pragma once

#include <cstddef>

namespace collage_docs {

// Two texts joined at compile time (the resizing operations share a part).
template <size_t A, size_t B>
struct Joined {
    char text[A + B - 1];
};
template <size_t A, size_t B>
constexpr Joined<A, B> join(const char (&a)[A], const char (&b)[B])
{
    Joined<A, B> j{};
    for (size_t i = 0; i + 1 < A; ++i)
        j.text[i] = a[i];
    for (size_t i = 0; i < B; ++i)
        j.text[A - 1 + i] = b[i];
    return j;
}

inline constexpr const char* clip = R"(Cuts the image down to the area: the image becomes the area
rectangle's pixels and takes its size. Undo gives the whole image back.

- `margin`: pixels kept round the area on every side (as far as the image reaches).
- `bounds`: 1 cuts to the bounding box of the pixels the selection weighs above 0 instead of the
  area rectangle (an elliptical selection's box, say).
- `outside`: 1 makes the pixels the selection leaves out transparent: alpha becomes
  `alpha·m/255` for mask weight `m`.

Like ImageMagick's `-crop WxH+X+Y +repage` with the area's rectangle. The whole image with no
switch on changes nothing and is refused.)";

inline constexpr const char* transition = R"(A still of a transition from the image to the source:
a dissolve, a wipe, an iris, dots or blinds, part of the way along. Scripts and timelines step
`amount` from 0 to 100 over the frames to animate it. The source is stretched to the area.

- `type`: 0 dissolve (a cross-fade), 1 wipe from left to right, 2 wipe from top to bottom, 3 iris
  opening from the area's middle, 4 random dots of 4 × 4 pixels, 5 blinds (eight bands each wiping
  down).
- `amount`: 0..100 % of the way: 0 is the image, 100 the source.
- `soft`: the width of the moving edge in % of the way.
- `seed`: the dots' layout.
- `reverse`: the wipe runs the other way (right to left, bottom up, iris closing).

Each pixel has an order `o` in 0..1 (its x for the wipe, its distance from the middle over the
half diagonal for the iris, a seeded hash for the dots). With `s = soft/100` and `a = amount/100`
the front is `f = a·(1 + s) − s` and the source weighs `clamp((f + s − o)/s, 0, 1)`; the
dissolve weighs `a` everywhere.)";

inline constexpr const char* tiler = R"(Tiles the area with copies of the source, like a contact
sheet or a tiled wall; the image shows through the gaps.

- `columns`, `rows`: tiles across and down; each tile is the source stretched to
  `(area width − gap·(columns − 1))/columns` by the like height.
- `gap`: pixels between the tiles.
- `layout`: 0 grid, 1 brick (every second row half a tile along), 2 random: each tile slides by a
  seeded offset of up to `jitter`% of its size (wrapping inside its cell) and is mirrored at
  random.
- `mirror`: every second column mirrored left to right, every second row upside down (a seamless
  wallpaper from any picture).
- `seed`: the random layout; the same seed gives the same tiles.
- `jitter`: the random layout's offsets, % of a tile.

Tiles are put over the image by the source's alpha.)";

inline constexpr const char* merge = R"(Blends the source (stretched to the image) into the image.

- `amount`: 0..100 % of the blended result.
- `mode`: 0 normal (the source), 1 multiply `a·b/255`, 2 screen `255 − (255 − a)(255 − b)/255`,
  3 darken `min`, 4 lighten `max`, 5 difference `|a − b|`, 6 add `min(255, a + b)`, 7 overlay
  (multiply below 128, screen above).
- `alpha`: 1 lets the source's alpha weigh the blend too.

The result per channel is `r = blend(a, b)` mixed into `a` by `amount·m/100` (times the source's
alpha / 255 with `alpha`), as GIMP's layer modes at that opacity.)";

inline constexpr const char* keyin = R"(Chroma key: where the image shows the key colour (a blue
or green screen), the source shows instead.

- `red`, `green`, `blue`: the key colour.
- `tolerance`: distance to the key within which a pixel is wholly replaced (RGB distance 0..442,
  or degrees of hue with `hue`).
- `soft`: the distance beyond the tolerance over which the replacement fades out.
- `dx`, `dy`: where the source's top left corner lies on the image (it is not stretched).
- `hue`: 1 compares hues only (lighting changes on the screen matter less; greys never match).
- `invert`: 1 puts the source where the image is not the key.

The source weighs `1` within the tolerance, `1 − (d − tolerance)/soft` beyond it, and is put over
the image by its alpha.)";

inline constexpr const char* place = R"(Puts the source into the area rectangle, over the image by
the source's alpha.

- `fit`: 0 stretches the source to the rectangle, 1 fits it inside keeping its aspect (centred),
  2 puts it at its own size, centred and cut at the rectangle.)";

inline constexpr const char* stroke = R"(Paints the brush image along the edge of the selection
(the border of the image when nothing is selected). The brush is stamped centred on edge pixels
(selected ones, with a weight of at least 128, next to one that is not), one stamp per square of
the spacing's width, over the image by its alpha. No brush assigned: the image itself is the
brush. The stamps are put in order along the edge (from its first pixel in reading order to the
nearest stamp not yet visited within two squares, a new stretch where there is none); `t` runs
from 0 at the first stamp to 1 at the last, `k` counts the stamps from 0.

- `spacing`: the squares' width, % of the brush's smaller side at the mean of `scale` and
  `scale_end` (at least a pixel): `max(1, floor(side × spacing × (scale + scale_end) / 20000))`.
- `jitter_x`, `jitter_y`: each stamp strays by up to ± that % of the brush's width (height),
  rounded to whole pixels; `offset_x`, `offset_y`: pixels every stamp is moved.
- `opacity`: % of the stamps' strength; `every`: only stamps with `k mod every = 0` are put;
  `threshold`: brush pixels whose alpha is below it paint nothing.
- `tint`, `tint_amount`: each brush colour `c` moves towards the tint scaled by the pixel's
  luma `L`: `c + amount × (tint × L / 255 − c)`.
- `fade`: the strength falls along the stroke, `weight = 255 × opacity × (1 − fade × t)`.
- `flip_x`, `flip_y` mirror every stamp; `alternate` mirrors every second one (1 left-right,
  2 top-bottom, 3 both), `random_flip` mirrors each stamp with that % chance on each axis.
- Turn (degrees, counter-clockwise): `angle + (angle_end − angle) × t + spin × k`, plus the
  stroke's direction there with `follow` (the brush's right side pointing along the stroke),
  plus up to ± `angle_jitter`.
- Size (%): `(scale + (scale_end − scale) × t) × (1 ± scale_jitter)`, limited to
  `scale_min` … `scale_max`. Turned or sized stamps are resampled bilinearly.
- `shadow` (% opacity; 0 none), `shadow_x`, `shadow_y`, `shadow_soft`, `shadow_colour`: a
  shadow of every stamp's alpha, moved by the offset and blurred by two box blurs of that radius,
  painted before (under) all the stamps.
- Barrel: in the stamp's own coordinates (−1 … 1 over its half sides, before the turn), a point
  at distance `r` from the centre `c = (barrel_x, barrel_y) %` shows the brush at
  `c + d × (1 + a × (g − 1))` with `g = (1 + k1 r² + k2 r⁴) / max(0.1, 1 + k1 + k2)`,
  `k1 = barrel %`, `k2 = barrel4 %`, and `a` the share `barrel_h` across and `barrel_v` down.
  Positive values bulge the middle out, negative ones pinch it; the rim on the axes stays and
  the stamp keeps its frame. `barrel_shade` darkens it as `1 − shade × r²`, a lit cylinder.
- `seed`: the same settings and seed give the same stroke.)";

inline constexpr const char* closed_line = R"(Draws the outline of the area as a closed line, a
pixel wide, in the pen colour (Color Fill's colour preference, "ColorFill"). The outline is the
drawn points of a freehand, polygon or shape area, the control points of a curve, the rim of an
ellipse, else the area rectangle. With the line tool's switch on, the line takes its colours from
the source image at each pixel.)";

inline constexpr const char* closed_line_pen = R"(Draws the area's outline as a closed line three
pixels wide in the pen colour; with the line tool's switch on, the brush image is stamped along
it every quarter of its smaller side.)";

inline constexpr const char* open_line = R"(Draws the area's outline as an open line: from its
first point to its last, without the closing edge. A pixel wide in the pen colour; with the line
tool's switch on, the brush is stamped along it.)";

inline constexpr const char* extend = R"(Adds a border to the image (or trims it): the image gets
`left + right` more columns and `top + bottom` more rows. Negative values cut that many pixels
away. The new size must stay within 1..40000 pixels a side; all four 0 changes nothing.

- `left`, `top`, `right`, `bottom`: pixels added on each side.
- `mode`: what fills the border: 0 the colour, 1 the edge pixels repeated, 2 the image mirrored,
  3 the image tiled, 4 transparent.
- `colour`: 0xRRGGBB (16777215 white) for mode 0.
- `opacity`: the colour's alpha.

As ImageMagick's `-bordercolor C -border` (mode 0), `-virtual-pixel edge/mirror/tile` with
`-extent`. Undo gives the old size back.)";



inline constexpr char resize_common[] = R"(

Filters (`filter`): 0 auto picks, per axis, the area average when reducing and Lanczos-3 when
enlarging; 1 Lanczos-3 (`sinc(x)·sinc(x/3)`, |x| < 3), 2 bicubic (Catmull-Rom), 3 bilinear,
4 nearest, 5 area average. Reducing stretches the kernel by the reduction, so every source pixel
counts. The area average weighs each source pixel by the part of it that falls under the output
pixel: reducing by a whole factor is the plain mean of each block. Resampling is separable (rows
then columns) with 14-bit fixed-point weights, on every core.

With `resize` on (the start), the image becomes the area's picture at the new size (with nothing
selected: the whole image resized) and undo gives the old size back. With `resize` off, the
image keeps its size and the resized picture of the area is put back into it within the
selection. Sizes must stay within 1..40000 pixels; the same size again changes nothing.

Comparable to `vips resize` (which reduces with Lanczos-3 by default; our area average is its
`--kernel linear` on whole factors) and ImageMagick's `-resize` (Lanczos for reducing,
Mitchell for enlarging); docs/performance.md compares the speed.)";

inline constexpr char enlarge_head[] = R"(Enlarges the image (or the area) by a percentage.

- `percent`: the new size in % of the old, 100..100000.
- `resize`, `filter`: below.)";
inline constexpr auto enlarge = join(enlarge_head, resize_common);

inline constexpr char reduce_head[] = R"(Reduces the image (or the area) to a percentage.

- `percent`: the new size in % of the old, 1..100.
- `resize`, `filter`: below.)";
inline constexpr auto reduce = join(reduce_head, resize_common);

inline constexpr char spercent_head[] = R"(Scales the width and the height by their own
percentages.

- `width`, `height`: % of the old width and height; a size that rounds to 0 pixels is refused.
- `resize`, `filter`: below. With `resize` off the scaled picture is put at the area's top left.)";
inline constexpr auto spercent = join(spercent_head, resize_common);

inline constexpr char spixel_head[] = R"(Scales to a size in pixels.

- `width`, `height`: the new size, 1..40000.
- `resize`, `filter`: below. With `resize` off the scaled picture is put at the area's top left.)";
inline constexpr auto spixel = join(spixel_head, resize_common);

inline constexpr const char* dof = R"(Depth of field: the source is a depth map (its brightness,
stretched to the image), and the image is blurred more the further a pixel's depth lies from the
depth in focus, which is the depth under the middle of the area.

- `radius`: the blur radius at the greatest difference (255 levels), in pixels.

Each pixel becomes the mean of the box of radius `round(radius·|d − focus|/255)` round it, taken
from a summed-area table of the image before the change, so every radius costs the same.)";

} // namespace collage_docs
