// What each pattern operation does, for docs/operations.md and the help
// pages: the effect, each parameter and the formula.
#pragma once

namespace pattern_docs {

inline constexpr const char* net = R"(Lays a grid over the area as if drawn on a floor that runs away
to the horizon: a wire net in perspective.

- `cells`: number of cells across the area at its centre.
- `tilt`: 0..89 degrees; 0 looks straight down (a flat grid), larger values lay the plane back
  towards a horizon.
- `turn`: degrees the grid is turned on its plane.
- `width`: line width in pixels.
- `fade`: 0..100, how much distant lines fade.
- `red`, `green`, `blue`: the lines' colour.

A pixel at `(sx, sy) = ((x − cx)/s, (y − cy)/s)` (s the smaller half size) looks along
`(sx, 1.5 sin t − sy cos t, −1.5 cos t − sy sin t)` from a camera one unit above the plane; where
that meets the plane gives the plane coordinates (u, v) in cells, turned by `turn`. A line covers
`clamp(width/2 + ½ − d/g)` of the pixel, with d the distance of u (or v) to the nearest whole
number and g its change per pixel; where lines crowd (g above 0.2) the coverage blends to
`min(1, width·g)`. Distant lines fade by `exp(−0.8·fade/100·(depth/depth₀ − 1))`. Above the
horizon nothing changes.)";

inline constexpr const char* random_tile = R"(Cuts the area into tiles and moves the picture inside each
tile by a random amount (or, with `shuffle`, swaps the tiles about), with gaps between the tiles.

- `width`, `height`: tile size in pixels, from the area's top left corner.
- `shift`: 0..100, the largest shift as % of the tile size.
- `gap`: gap width in pixels.
- `red`, `green`, `blue`: colour of the gaps.
- `seed`: the random shifts and order; the same seed gives the same tiles.
- `shuffle`: 1 gives every tile the picture of another (a shuffle of all of them).

Tile (i, j) shows the picture of its source tile moved by `(shift/100·width·(2a − 1),
shift/100·height·(2b − 1))` with a, b random in 0..1 from the seed and the tile; samples beyond the
area repeat its edge pixels.)";

inline constexpr const char* pixelize = R"(Turns the area into blocks of one colour each: the mean colour
of the pixels the block covers.

- `width`, `height`: block size in pixels.
- `xoffset`, `yoffset`: where the block grid starts, from the area's top left corner.
- `gap`: width of grout lines on the right and bottom of each block, in pixels (0 none).
- `shade`: 0..100, how much darker than the block the grout is.

Blocks have their edges at `x0 + xoffset + k·width` and `y0 + yoffset + k·height`; each block's
colour is the rounded mean `(Σc + n/2)/n` of its n pixels inside the area (alpha mode: of their
alpha).)";

inline constexpr const char* cellular = R"(Breaks the area into irregular cells, like stained glass or
cobbles, with borders between them.

- `size`: average cell size in pixels.
- `jitter`: 0..100, how far the cell centres stray from a regular grid.
- `edge`: border width in pixels (0 none).
- `red`, `green`, `blue`: border colour.
- `fill`: 0 each cell takes the mean colour of its pixels; 1 the colour at the cell's centre
  point; 2 keeps the picture, shaded from light at the centre to dark at the edges.
- `seed`: the cells' layout.

One point lies in each `size` square, at `(i + ½ + jitter·(a − ½))·size` (a random from the seed);
each pixel belongs to its nearest point. The border covers `clamp(edge/2 + ½ − e)` with e the
distance to the bisector of the two nearest points. Fill 2 multiplies the colour by
`clamp(1.25 − 0.75·d/size, 0.45, 1.25)`, d the distance to the cell's point.)";

inline constexpr const char* lined = R"(Redraws the area as parallel lines whose width follows the
darkness of the picture, like an engraving or a line screen.

- `spacing`: distance between the lines in pixels.
- `angle`: direction of the lines in degrees.
- `thickness`: 0..200, line width on black as % of the spacing.
- `wave`: 0..100, how much the lines wave.
- `red`, `green`, `blue`: the ink.
- `paper`: 1 draws the lines on white paper; 0 over the picture.

With `s = (y cos a − x sin a)/spacing + wave/200·sin(2π(x cos a + y sin a)/(8·spacing))`, a pixel
lies `d = |s − round(s)|·spacing` from the nearest line's middle; the line's half width there is
`w = (1 − l/255)·thickness/100·(spacing + 1)/2` (l the brightness) and the ink covers
`clamp(w + ½ − d)·min(1, 2w)`.)";

inline constexpr const char* linear_fill = R"(Fills the area with the colours of the palette, running
in a straight line from one side of the area to the other.

- `angle`: the direction in degrees (0 left to right, 90 top to bottom).
- `repeat`: how many times the palette runs across the area.
- `reflect`: 1 runs every second repeat backwards, so that the colours meet without a seam.
- `linearpal`: the palette; its colours are spread evenly and blended in between. An empty palette
  runs from black to white.

With direction (cos a, sin a) and e half the distance between the area's first and last pixel
centres along it, `t = ((x − cx)cos a + (y − cy)sin a + e)/2e`; the colour is the palette at
`frac(t·repeat)` (the last colour at the far end), or with `reflect` at the triangle wave of
`t·repeat`.)";

inline constexpr const char* concentric = R"(Fills the area with rings of the palette's colours round a
centre.

- `rings`: how many times the palette runs out from the centre to the farthest corner and back.
- `xoffset`, `yoffset`: the centre's offset from the area's centre, % of the half sizes.
- `shape`: 0 circles, 1 ellipses of the area's proportions.
- `cenpal`: the palette; an empty palette runs from black to white.

With `r = √(((x − cx)·sx)² + ((y − cy)·sy)²)/R`, where sx, sy are 1/half-size (ellipses) or 1/the
smaller half size (circles) and R makes the farthest corner 1, the colour is the palette at the
triangle wave of `2·rings·r`.)";

inline constexpr const char* radiating = R"(Rays of light and shade from the centre of the area, like a
sunburst: the rays lighten the picture, the spaces between darken it.

- `rays`: number of rays.
- `turn`: angle of the first ray in degrees.
- `twist`: degrees the rays turn from the centre to the corners, bending them into a spiral.
- `strength`: 0..100.

With `θ = atan2(dy, dx) − turn − twist·r/R` (R the distance to the area's corner) and
`f = tanh(3 cos(rays·θ))/tanh 3`, each channel c becomes `c + (255 − c)·f·s` where f > 0 and
`c·(1 + f·s)` where f < 0, with `s = strength/100`. Strength 0 changes nothing (message 65).)";

inline constexpr const char* outline = R"(Draws bands of the palette's colours that follow the outline
of the selection (or of the picture's shapes) inwards or outwards, like contour lines.

- `width`: width of each band in pixels.
- `bands`: number of bands (0 as many as fit).
- `source`: 0 the selection's outline (the image's edge counts as outside); 1 the outline of the
  pixels at least `threshold` opaque; 2 of those at least `threshold` bright.
- `threshold`: 0..255.
- `side`: 0 bands inside the shapes, 1 outside them, 2 both.
- `offset`: the palette colour of the first band.
- `smooth`: 1 blends each band's colour into the next.
- `outpal`: the palette, used round and round; an empty palette alternates black and white.

With d a pixel's distance from the outline (Euclidean, from the border between pixels), band
`k = ⌊d/width⌋` takes colour `(k + offset) mod n`; with `smooth` the colour at `d/width + offset`
is blended between its two neighbours. Only pixels within the area change.)";

} // namespace pattern_docs
