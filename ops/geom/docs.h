// What each geometric operation does, for docs/operations.md and the help
// pages: the effect, each parameter and the mapping.
//
// The distortions share one resampler: for every selected pixel (x, y) the
// mapping names a source position (sx, sy) in the picture as it was; the
// colour there is read bilinearly in 1/256 steps (positions past the area's
// edge repeat the edge) and mixed in by the selection's weight.  The area
// has centre (cx, cy) and half sizes (rx, ry); u = (x − cx)/rx and
// v = (y − cy)/ry, r = √(u² + v²) (r = 1 is the ellipse inside the area).
#pragma once

namespace geom_docs {

inline constexpr const char* dome = R"(Looks at the area through a glass dome: the middle of the area's
ellipse swells towards you, the rim stays where it is. Negative strengths pinch the middle
inwards instead. Outside the ellipse nothing moves.

- `strength`: percent; 100 magnifies the centre about 1.65 times, 500 about 12 times; 0 changes
  nothing (refused).

Mapping inside the ellipse (r < 1), with S = strength/100: `k = exp(−S·(1 − r²)/2)`,
`sx = cx + u·k·rx`, `sy = cy + v·k·ry`. Like the Spherize or Bulge filters of other packages,
but the magnification fades smoothly to none at the rim, so no edge shows.)";

inline constexpr const char* caricature = R"(The caricaturist's big head: the upper middle of the area's
ellipse (where a portrait's eyes and forehead are) is blown up and everything round it squeezed
towards the rim, so a face gets a large brow and a small chin. Negative amounts shrink the head.

- `amount`: −200..200 percent (slider −100..100); 0 changes nothing (refused).

With a = 0.6·amount/100, w = (1 − r²)² inside the ellipse and the head at h = (0, −0.35):
`k = 1 − a·w`, `sx = cx + u·k·rx`, `sy = cy + (h + (v − h)·k)·ry`; outside the ellipse nothing
moves.)";

inline constexpr const char* swirl = R"(Twists the area about its centre like water running down a
plug-hole: the centre turns most, the rim of the area's ellipse not at all, and the corners
outside it turn the other way a little.

- `amount`: the twist, −360..360 (typed up to ±99999); a point near the centre turns by almost
  amount/100 radians (90 turns it by about 52°), one half way to the rim by half that. 0 changes
  nothing (refused).

With S = amount/100, θ the angle of (u, v) and θ′ = θ + (1 − r)·S: `sx = cx + cos θ′·r·rx`,
`sy = cy + sin θ′·r·ry`. ImageMagick's `-swirl` turns the centre by its amount in degrees and leaves
everything outside its circle alone; ours follows the area's ellipse and turns the corners outside it
slightly backwards.)";

inline constexpr const char* waves = R"(Ripples the picture with two crossing waves: one shifts the rows
sideways, one shifts the columns up and down.

- `amp_x`, `length_x`, `phase_x`: how far rows move sideways (pixels), the wavelength down the
  picture (pixels) and its phase (degrees).
- `amp_y`, `length_y`, `phase_y`: the same for the up-and-down shift of the columns along x.
- `shape`: 0 sine, 1 triangle, 2 square (the square wave cuts the picture into shifted bands).
- `wrap`: 1 brings what moves out of the area back in on the other side; 0 repeats the edge.
- `shade`: 0..255, brightens the slopes of the waves, as light on water.

`sx = x + amp_x·f(2π·(y − y0)/length_x + phase_x)`, `sy = y + amp_y·f(2π·(x − x0)/length_y +
phase_y)` with f the shape; the shine is `shade·(f′(…) + f′(…))/2` where positive. Compared with
Photoshop's Wave filter there is one generator per direction and nothing is random.)";

inline constexpr const char* radial_wave = R"(Rings of ripples travel out from the area's centre, as on a
pond after a stone fell in; in zigzag mode the rings twist back and forth about the centre.

- `amplitude`: pixels; `length`: the distance between rings (pixels); `phase`: degrees (moves
  the rings outwards as it grows).
- `damping`: 0..100; the ripples die away towards the rim of the area's ellipse (100: nothing at
  the rim).
- `mode`: 0 ripples (pixels move to and from the centre), 1 zigzag (pixels move round it).
- `shade`: 0..255, brightens the rings' crests.

With ρ the distance from the centre in pixels, fade = max(0, 1 − damping·r/100) and
d = amplitude·fade·sin(2πρ/length − phase): ripples move the source d along the radius; zigzag
turns it by the angle d/ρ. Like Photoshop's ZigZag filter in its Pond Ripples and Around Center
styles.)";

inline constexpr const char* turbulence = R"(Stirs the picture with eddies, as if painted on moving water.
The eddies come from a smooth fractal noise and turn without squeezing the picture together.

- `amount`: how far pixels move, in pixels (negative turns the eddies the other way).
- `size`: the size of the largest eddies in pixels.
- `detail`: 1..12 octaves; more adds smaller eddies to the large ones.
- `seed`: another seed gives other eddies; the same seed always the same picture.

Octave o of gradient noise is taken at (x, y)·2^o/size with the weight 2^−o; with gx, gy the sum
of their slopes, the flow is their curl: `sx = x + k·gy`, `sy = y − k·gx`, k = amount/√(Σ 4^−o).
GIMP's Turbulent Displace and Photoshop's Ocean Ripple are akin; this one has no random speckle,
only smooth flow.)";

inline constexpr const char* surface_warp = R"(Distorts the picture by another one, the source image: seen
through glass whose relief is the source's brightness (method 0), or moved by the source's red
and green as a displacement map (method 1). Without a source image the picture distorts itself.

- `amount`: pixels the steepest slope (or the strongest colour) moves a pixel.
- `method`: 0 relief (the brightness's slopes, a 3 × 3 Sobel), 1 displacement map (red across,
  green down, 128 is still).
- `fit`: 1 stretches the source over the area, 0 tiles it from the area's top-left corner.
- `shade`: 0..255, light from the upper left on the relief (method 0).

Relief: `sx = x + amount·gx`, `sy = y + amount·gy` with gx, gy the slopes in −1..1. Map:
`sx = x + amount·(R − 128)/128`, `sy = y + amount·(G − 128)/128`. Method 1 is Photoshop's Displace
filter; method 0 is its Glass filter with the source as the texture.)";

inline constexpr const char* kaleidoscope = R"(A kaleidoscope: one wedge of the picture at the area's
centre is repeated round the circle, mirrored in every other copy.

- `segments`: how many times the pattern repeats round the centre (1..360).
- `angle`: the direction of the wedge used, degrees clockwise from the right.
- `mirror`: 1 mirrors alternate halves (a true kaleidoscope), 0 repeats the wedge turned.

With θ the angle about the centre less `angle`, W = 360°/segments and t = θ mod W (with mirror:
W − t where t > W/2): the source lies at the same distance, at angle `angle + t`. One segment
without mirror changes nothing (refused).)";

inline constexpr const char* roll = R"(Rolls the picture like a cylinder: what leaves one edge comes
back in at the opposite one, so rolling by the image's width changes nothing.

- `dx`, `dy`: the roll in pixels; positive moves the picture left and up.
- `area`: 1 rolls within the area's rectangle instead of the whole image.

`sx = x + dx`, `sy = y + dy`, each brought back into the image (or the area) by adding or
subtracting its width (height). This is Photoshop's Offset filter with Wrap Around.)";

inline constexpr const char* shear = R"(Slants the picture: columns slide up or down in proportion to
how far across they are (or rows sideways by how far down), as a deck of cards pushed askew.

- `amount`: the slide at the far edge as a fraction of the image's height (width); −1..1 on the
  slider.
- `direction`: 0 columns slide by x/W, 1 by 1 − x/W, 2 rows slide by y/H, 3 by 1 − y/H.
- `wrap`: 1 brings what slides out back in at the other side; 0 leaves the old pixels where
  nothing comes.
- `clear`: with wrap off, makes those pixels transparent instead.

With u = x/W, v = y/H: direction 0 `sy = y + a·u·H`, 1 `sy = y + a·(1 − u)·H`, 2
`sx = x + a·v·W`, 3 `sx = x + a·(1 − v)·W`, the product a·u (…) taken in single precision.)";

inline constexpr const char* bend = R"(Bends the rows of the area into arches (or the columns into
bows): the middle moves most, both ends stay put.

- `amount`: percent of the half height (width); positive sags the middle down (or right),
  negative lifts it.
- `direction`: 0 rows, 1 columns.
- `peak`: where across the area the bend is deepest, percent (50 the middle).
- `clear`: makes the pixels that would come from outside the area transparent; otherwise they keep
  their colour.

With t 0..1 across the area, p = peak/100 and d = (p − t)/p before the peak, (t − p)/(1 − p)
after it: depth = amount/100·ry·(1 − d²), `sy = y − depth` (columns: `sx = x − depth` with rx).)";

inline constexpr const char* mirror = R"(Mirrors one half of the area onto the other, for a
symmetric picture.

- `side`: 0 the left half onto the right, 1 the right onto the left, 2 the top onto the bottom,
  3 the bottom onto the top, 4 the top-left quarter onto all four.

With the area from x0 to x1: `sx = x0 + x1 − x` on the mirrored side (likewise for y); the
result is exactly symmetric about the area's middle.)";

inline constexpr const char* polar_rec = R"(Rectangular to polar: the area's rows become rings round
its centre, its top row the centre and its bottom row the rim of the ellipse; the columns go
clockwise round from straight up. A panorama becomes a little planet. No parameters.

With θ the angle clockwise from up (0..2π): `sx = x0 + θ/2π·(x1 − x0)`, `sy = y0 + r·(y1 − y0)`;
beyond the ellipse the bottom row repeats. This is the Rectangular to Polar half of Photoshop's
Polar Coordinates filter.)";

inline constexpr const char* wonk = R"(A wobbly pane of old glass: the middle of the area swings in
an S one way across and the other way down, while the area's frame stays put. No parameters.

`sx = cx + rx·(u + 0.15·sin(πv)·(1 − u²))`, `sy = cy + ry·(v + 0.15·sin(πu)·(1 − v²))`.)";

inline constexpr const char* circe = R"(Draws the whole area into the ellipse inside it (a circle
for a square area), as a round badge; the corners left over become transparent. No parameters.

Inside the ellipse, the disc is mapped to the square by the elliptical grid mapping:
`su = ½√(2 + u² − v² + 2√2u) − ½√(2 + u² − v² − 2√2u)` (sv likewise with u and v exchanged),
`sx = cx + su·rx`, `sy = cy + sv·ry`.)";

inline constexpr const char* melt = R"(The picture melts: columns run down in drips of different
lengths, the top of the area holding, the bottom stretched furthest.

- `amount`: the longest drip in percent of the area's height (or width).
- `size`: the width of the drips in pixels.
- `seed`: another seed gives other drips.
- `direction`: 0 down, 1 up, 2 left, 3 right.

With t 0..1 from the held edge and n(x) a smooth noise in 0..1 across the drips:
`sy = y − amount/100·h·(0.2 + 0.8·n(x/size))·t`, with a slight sideways wiggle growing with t.)";

inline constexpr const char* flip = R"(Flips the area's picture left to right, top to bottom, or
both (a half turn). Flipping twice gives the picture back exactly.

- `horizontal`: 1 mirrors left and right.
- `vertical`: 1 mirrors top and bottom. Neither changes nothing (refused).

`new(x, y) = old(x0 + x1 − x, y)` and/or `old(x, y0 + y1 − y)`, mixed by the selection's weight.
On a warp layer the displacements are flipped with it.)";

inline constexpr const char* turn90 = R"(Turns the whole image a quarter turn; a W × H image becomes
H × W. Four turns give the image back; Undo restores the old size. The selection does not apply.

- `direction`: 0 clockwise, 1 anticlockwise.

Clockwise: `new(x, y) = old(y, H − 1 − x)`; anticlockwise: `new(x, y) = old(W − 1 − y, x)`.)";

inline constexpr const char* rotate = R"(Rotates the area's picture about its centre by any angle,
with smooth (bilinear) sampling and soft edges. What the turned picture does not cover becomes
transparent black.

- `angle`: degrees clockwise; whole turns change nothing (refused). Quarter turns move pixels
  onto pixels exactly.
- `grow`: 1 turns the whole image and gives it the size that holds all of it (its selection does
  not apply); 0 turns within the area.

With c = cos angle, s = sin angle and (px, py) the pixel less the centre:
`sx = cx + c·px + s·py`, `sy = cy − s·px + c·py`.)";

inline constexpr const char* perspective = R"(Puts the source image into four corners on the target,
as a picture on a wall seen at a slant; outside those corners the target stays as it was. Without
a source image the picture is put into the corners itself.

- `tl_x`, `tl_y`, `tr_x`, `tr_y`, `br_x`, `br_y`, `bl_x`, `bl_y`: the top-left, top-right,
  bottom-right and bottom-left corners, in percent of the area's width and height (typed −1000..1000,
  so a corner may lie outside).

The projective map of the unit square onto the four corners is inverted for every pixel
(`u, v` in 0..1 are the source's position as a share of its width and height). Corners that lie
in one line (or three in a line) cover nothing and are refused.)";

} // namespace geom_docs
