// What each render operation does, for docs/operations.md and the help
// pages: the effect, each parameter and the formula.
#pragma once

namespace render_docs {

inline constexpr const char* landscape = R"(Renders a fractal landscape in perspective into the area:
hills and mountains coloured by height, lakes and seas at the water level, haze towards the
horizon and the sky above. Flat Map shows the same terrain from above.

- `seed`: the terrain; the same seed and roughness give the same land.
- `roughness`: 0..100, from rolling hills to jagged peaks.
- `water`: % of the height range that lies under water.
- `relief`: % height of the mountains.
- `ground` ("landpal1"): the ground's colours from the shore up to the peaks.
- `sky` ("landpal2"): the sky's colours from the horizon up; its first colour is also the haze.
  Empty palettes run from black to white.
- `haze`: % mixed towards the haze at the far end (85); `haze_start`: % of the distance seen
  clear before the haze begins.
- `cliff`: the slope (height units per map unit, in %) from which bare rock shows, 0 none;
  `cliff_dark`: % darker the rock is than the grey of the ground's colour.
- `reflect`: % of the haze that water mirrors close by (25); `depth`: % of the deep-water colour
  reached at the greatest depth (100).
- `breadth`: % size of the land's features across (the map stretched under the camera);
  `distance`: % of the viewing distance of 720 units.
- `heading`: the camera's direction in degrees from north, clockwise; `cam_x`, `cam_y`: its
  place on the map (256, 504); `cam_height`: its height above the ground, 0 for the automatic
  one below; `horizon`: % of the area's height from the top; `fov`: the field of view in degrees.
- `grain`: % of a texture grain on the ground, 0 none; `grain_size`: its size in map units;
  `grain_seed`: its pattern.
- `snow`: % of the height range above which snow of colour `snow_red`, `snow_green`,
  `snow_blue` lies (100: none).

The terrain is a 512 × 512 height map that wraps round, made by diamond-square: each level halves
the step and adds random offsets scaled by `0.35 + 0.4·roughness/100` of the level before; the
heights are then stretched to 0..1. By default the camera stands at the south edge, 25 units plus
a quarter of the highest peak above the ground, looking north with a 70° field of view and the
horizon at 35% of the area's height. Each column is marched from near to far (steps growing by 1.2%, up to
720 units); the ground at height `g·120·relief/100` is drawn where it rises above what is already
drawn, lit from the left by its slope, water mirroring the haze more with distance, and mixed
towards the haze by `haze/100·(z/720)^1.5`. Progress is shown column by column and a cancel leaves the
image as it was.)";

inline constexpr const char* exfoliation = R"(The picture flakes away like weathered paint or rock peeling
in sheets: some flakes are gone, showing a pale bare layer beneath in the shadow of the flakes
still standing, whose broken edges catch the light.

- `size`: the flakes' size in pixels.
- `amount`: % of the flakes that are gone. The flakes follow from the size alone, so that raising
  the amount frame by frame takes more and more of the same flakes.

The flakes are the cells of a jittered grid of `size` squares (jitter 0.85); a flake is gone when
a random number from its square is below `amount/100`. The bare layer is
`0.65·(0.4·l + 0.6·c) + 0.35·stone` (l the brightness, stone a pale grey), darkened by up to 55%
within `0.2·size` of a standing flake; a standing flake's edge within 1.5 pixels of a gap is
lightened by up to half.)";

inline constexpr const char* entrainment = R"(Draws the picture out into streaks along a swirling flow,
as if carried away by moving water or wind.

- `length`: how far each streak reaches both ways, in pixels (0 changes nothing).
- `swirl`: −100..100, a whirl round the area's centre (negative turns the other way).
- `scale`: size of the flow's eddies in pixels; the flow follows from it.
- `mix`: %, how much of the streaked picture replaces the picture.

The flow is the curl `(∂ψ/∂y, −∂ψ/∂x)` of a smooth noise ψ (three layers at `x/scale`), plus
`3·swirl/100·(−dy, dx)/R` round the centre, taken at unit length and worked out every four
pixels. Each pixel averages the picture along the flow `length` steps of one pixel each way (each
step takes the nearest pixel), the step i weighted `1 − i/(length + 1)`.)";

inline constexpr const char* ruler = R"(Draws a measuring ruler along the top (or side) of the area:
a band, an edge line, short, middle and long ticks at exact pixel positions, and numbers at the
long ticks.

- `x`, `y`: the origin, in pixels from the area's top left corner: the edge line runs through it
  and tick 0 lies on it.
- `direction`: 0 along the top (ticks across), 1 down the side, 2 both.
- `spacing`: pixels from one tick to the next.
- `major`, `mid`: every n-th tick is long, every m-th middling (0 none).
- `minor_len`, `mid_len`, `major_len`: tick lengths in pixels.
- `thickness`: width of the ticks and the edge line in pixels.
- `red`, `green`, `blue`: the ink.
- `band`: 1 fills a band `band_size` pixels deep under the ticks with `band_red`, `band_green`,
  `band_blue`.
- `numbers`: 1 writes `k·unit` beside long tick k.
- `unit`: the value of one tick step.
- `side`: 0 the ticks grow down (or right) from the edge line, 1 up (or left).

Tick k covers the columns `x0 + x + k·spacing` to `x0 + x + k·spacing + thickness − 1` (rows for
the side ruler) and runs its length from the edge line; ticks continue before the origin with
negative k.)";

inline constexpr const char* grid = R"(Draws a grid of lines over the area at exact pixel positions,
with heavier major lines, dashes or dots, a border and a checkerboard tint.

- `xspace`, `yspace`: distance between the vertical and between the horizontal lines.
- `xoffset`, `yoffset`: where the first lines lie, from the area's top left corner.
- `width`: line width in pixels; `red`, `green`, `blue`, `opacity` (%): their colour.
- `major`: every n-th line (counted from the offset line) is major (0 none);
  `major_width`, `major_red`, `major_green`, `major_blue`, `major_opacity` likewise.
- `style`: 0 solid lines, 1 dashes of `dash` pixels, 2 only the dots where lines cross.
- `horizontal`, `vertical`: which lines to draw.
- `border`: 1 draws the area's edge as a line too.
- `checker`: % tint of `checker_red`, `checker_green`, `checker_blue` on every second cell.

Vertical line k covers the columns `x0 + xoffset + k·xspace` to that plus the width − 1
(horizontal lines the same with rows); lines continue both ways across the whole area.)";

inline constexpr const char* texture = R"(Fills the area with a procedural texture between a dark and a
light colour: clouds, marble, wood, granite or ridges.

- `type`: 0 clouds, 1 marble, 2 wood, 3 granite, 4 ridges.
- `seed`: the pattern; the same seed gives the same texture.
- `scale`: size of the pattern in pixels.
- `octaves`: 1..8 layers of detail.
- `roughness`: 0..100, strength of each finer layer against the one before.
- `turbulence`: 0..100, how much the noise disturbs veins, rings and grains.
- `contrast`: %, around the middle.
- `dark_red`..`dark_blue`, `light_red`..`light_blue`: the two colours.
- `opacity`: %.
- `angle`: degrees the pattern is turned (the veins and the grain).

With (u, w) the coordinates from the area's centre turned by the angle and divided by the scale,
and n fractal noise (octaves, gain roughness/100): clouds `v = ½ + ½n`; marble
`½ + ½ sin(2πu + 6·turbulence·n)`; wood `f^0.6` with f the fraction of
`3·√(u² + (w/4)²) + 1.5·turbulence·n`; granite cells of 0.35 units with speckle; ridges
`(1 − |n|)²`. Then `v = ½ + (v − ½)·contrast/100` and the colour `dark + (light − dark)·v` is laid
over with the opacity.)";

inline constexpr const char* bang = R"(A comic-book explosion: a jagged star burst filled from a hot
centre colour to an outer colour, with an outline and a glow.

- `spikes`: number of points.
- `inner`, `outer`: radius of the valleys and of the points, % of the area's half sizes.
- `random`: 0..100, how unequal the points are in length and spacing.
- `seed`: the random shape.
- `turn`: degrees, where the first point lies.
- `inred`..`inblue`: colour at the centre; `outred`..`outblue` at the edge and in the glow.
- `linered`..`lineblue`, `line_width`: the outline.
- `opacity`: %.
- `glow`: size of the glow outside, in pixels (0 none).

Corner i of the 2·spikes corners lies at angle `turn + i·180°/spikes` (moved by up to
`0.4·random` of a step) and radius `outer·(1 − 0.6·random·a)` for points, `inner·(1 − 0.4·random·a)`
for valleys (a random), scaled by the area's half sizes. Inside, the fill runs from the inner to
the outer colour as `r/(r + d)` (d the distance to the edge); the outline covers
`clamp(line_width/2 + ½ − d)`; outside, the glow adds `0.8·exp(−d/glow)` of the outer colour as
light.)";

inline constexpr const char* julia = R"(Draws the Julia set of z → z² + c over the area: points whose
orbit stays bounded are the set (black); the others take the palette's colours by how quickly they
escape.

- `cre`, `cim`: the constant c.
- `x`, `y`: the point at the area's centre.
- `zoom`: at 1 the area's shorter side spans −2..2; each doubling halves it. A zoom of 0 or less
  is refused with a message.
- `iterations`: how long an orbit is followed before the point counts as in the set (0 makes
  every point black).
- `cycle`: iterations per sweep through the palette.
- `palette` ("juliapal"): swept forth and back; an empty palette runs from black to white.

Pixel (x, y) stands for `z₀ = (x_c + (x − cx)·s) + i(y_c − (y − cy)·s)` with
`s = 2/(zoom·min(hw, hh))`. The orbit is followed until `|z| > 256` or the iterations run out;
an escape after n steps has the smooth count `ν = n + 1 − log₂(ln|z|)`, coloured at the triangle
wave of `ν/cycle`. Progress is shown row by row and a cancel leaves the image as it was.)";

inline constexpr const char* mandelbrot = R"(Draws the Mandelbrot set over the area: the points c for
which the orbit of 0 under z → z^power + c stays bounded are the set (black); the others take the
palette's colours by how quickly they escape.

- `x`, `y`: the point at the area's centre.
- `zoom`: at 1 the area's shorter side spans −2..2. A zoom of 0 or less is refused with a
  message.
- `iterations`: how long an orbit is followed before the point counts as in the set (0 makes
  every point black).
- `cycle`: iterations per sweep through the palette.
- `power`: 2 the Mandelbrot set, 3..8 its multibrot kin.
- `palette` ("mandpal"): swept forth and back; an empty palette runs from black to white.

Pixel (x, y) stands for `c = (x_c + (x − cx)·s) + i(y_c − (y − cy)·s)` with
`s = 2/(zoom·min(hw, hh))`; z starts at 0 and is followed until `|z| > 256` or the iterations run
out (for power 2, points in the main cardioid and the period-2 disc are known members and skip
the loop). An escape after n steps has the smooth count `ν = n + 1 − ln(ln|z|)/ln(power)`,
coloured at the triangle wave of `ν/cycle`. Progress is shown row by row and a cancel leaves the
image as it was.)";

inline constexpr const char* pagecurl = R"(Curls a corner of the area over like the corner of a page
being turned: the back of the page shows on the curl, what lies behind shows where the page has
lifted, and the curl throws a shadow.

- `corner`: 0 top left, 1 top right, 2 bottom right, 3 bottom left.
- `amount`: % of the area's diagonal the fold lies from the corner.
- `angle`: −45..45 degrees the fold is turned from square to the diagonal.
- `radius`: radius of the curl, % of the area's smaller side.
- `back_red`, `back_green`, `back_blue`: the back of the page (15% of the picture shows through).
- `behind_red`, `behind_green`, `behind_blue`: what lies behind the page.
- `shadow`: 0..100.

With u the distance of a pixel from the fold towards the corner and R the radius, the page beyond
the fold is wound round a cylinder of radius R on the fold: a pixel with 0 ≤ u ≤ R shows the back
of the page point `R(π − asin(u/R))` along from the fold if that point is on the page, else the
front of the point `R·asin(u/R)` shaded by `0.55 + 0.45cos`; a pixel with u < 0 shows the back of
the point `πR − u` if it is on the page, else the flat page, darkened near the curl by the
shadow; pixels with u > R that nothing covers show the colour behind.)";

inline constexpr const char* flat_map = R"(Draws Landscape's terrain as a map seen from above: water
shading from shallow to deep, the ground coloured by height with Landscape's ground palette, hill
shading and contour lines. Landscape's `seed`, `roughness`, `water` and `relief` and its "landpal1"
apply.

- `shading`: 0..100, hill shading with the light from the top left.
- `contours`: the contour interval, % of the height range (0 none).

The 512 × 512 map is stretched over the area. Above water the colour is the ground palette at
`(h − water)/(1 − water)`, multiplied by `clamp(1 − (∂h/∂x + ∂h/∂y)·40·shading/100·relief/100,
0.3, 1.6)`; below it, shallow to deep blue by `√((water − h)/water)`. A contour pixel, where
`h/interval` passes a whole number within half a pixel, is darkened to 60%.)";

inline constexpr const char* crater = R"(Presses an impact crater into the picture at the area's
centre: a bowl with a raised rim lit from one side, and bright rays of thrown-out rock round it.

- `radius`: the crater's radius, % of the area's smaller half size.
- `depth`: %, how strongly the slopes are shaded.
- `light`: the direction the light comes from, degrees clockwise from the right (225: top left),
  45° above the ground.
- `reach`: how far the rays reach beyond the rim, % of the radius.
- `seed`: the pattern of the rays.
- `crater` (curve "CRp", 0..255): the height across the crater from its centre (point 0) to its
  edge (point 200); 128 is the level ground.
- `ejecta` (curve "EJp", 0..255): the rays' brightness from the rim (point 0) out to their reach.

Inside the radius, the slope of the crater curve over the radius, `s = dCRp/dρ/255`, tilts the
surface normal `(−k·dx/r, −k·dy/r, 1)` with `k = 0.5·s·depth/100`; the pixel is multiplied by
`(¼ + ¾·max(0, n·L))/(¼ + ¾·sin 45°)` (the light on that normal over the light on flat ground, a
quarter of it from the sky), and the floor below 128 is darkened by up to half.
Beyond the rim, the pixel is lightened by `0.7·EJp(t)/255·(0.25 + 0.75·ray)` towards white, ray
being noise round the circle. A flat crater curve with no rays changes nothing (message 65).)";

} // namespace render_docs
