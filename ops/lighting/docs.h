// What each lighting and plasma operation does, for docs/operations.md and
// the help pages: the effect, each parameter and the formula.
#pragma once

namespace lighting_docs {

inline constexpr const char* asterize = R"(A star of light at the centre of the area: thin arms of light
with a glowing core, added to the image the way light adds (bright parts stay bright, dark parts
take the colour).

- `arms`: number of arms, spread evenly round the centre.
- `length`: arm length, % of the area's smaller half size.
- `width`: the width of an arm at its root, % of its length; arms taper to a point.
- `turn`: angle of the first arm, degrees clockwise from pointing right.
- `intensity`: %, scales all the light.
- `core`: radius of the round glow at the centre, % of the arm length (0 none).
- `red`, `green`, `blue`: colour of the light.
- `twinkle`: every second arm is this % shorter.
- `asterize` (curve "Arm", 0..255): brightness along an arm, from the centre (point 0) to the
  tip (point 200).

For an arm at angle a with length L, a pixel at offset (dx, dy) from the centre lies at
`s = dx·cos a + dy·sin a` along it and `q = |dy·cos a − dx·sin a|` across; with `t = s/L` and the
half width `w = max(0.7, width/100·L·(1 − t)/2)` it gets `Arm(t)/255·(1 − q/w)²`. The core adds
`exp(−(r/c)²)` with c the core radius. Each channel becomes `v + I·colour·(255 − v)/255` where I
is the sum times `intensity/100`. A profile of zeros with no core, zero intensity or a black
colour change nothing (message 65).)";

inline constexpr const char* annular = R"(A ring of light round the centre of the area, added like light.
The curve shapes the ring's cross-section.

- `radius`: radius of the ring's middle, % of the area's smaller half size.
- `width`: width of the ring, % of the same (at least one pixel).
- `red`, `green`, `blue`: colour of the light.
- `annular` (curve "Shape", 0..256): brightness across the ring from its inner edge (point 0) to
  its outer edge (point 200); 256 is the full colour.

With `u = (r − radius + width/2)/width` for a pixel at distance r from the centre, pixels with
u in 0..1 get `I = Shape(u)/256` and each channel becomes `v + I·colour·(255 − v)/255`. A curve of
zeros or a black colour change nothing (message 65).)";

inline constexpr const char* refract = R"(Colours the image as light split by a prism: hue, saturation and
lightness are pulled towards the values of twelve curves, six along the rings from the centre of
the area to its edge and six round the rays from the centre. The starting curves lay a rainbow
ring over the outer part of the area.

- `amount`: 0..100, scales every power curve.
- Ring curves (point 0 at the centre, point 200 on the area's edge and beyond): `CHprof` (hue
  0..360), `CSprof` (saturation 0..100), `CLprof` (lightness 0..100) give the colour;
  `CHPprof`, `CSPprof`, `CLPprof` give how strongly each is pulled there (the curve's top value
  means fully).
- Ray curves (point 0 pointing right, going clockwise round to point 200): `RHprof`, `RSprof`,
  `RLprof` and their powers `RHPprof`, `RSPprof`, `RLPprof`, the same way.

For each pixel, with ring position `ρ = min(1, √((dx/hw)² + (dy/hh)²))` and ray position
`θ = atan2(dy, dx)/2π` (0..1), the pixel's hue, saturation and lightness X first move to
`X + (C(ρ) − X)·P(ρ)/top·amount/100` (hue the shorter way round the circle), then the same with
the ray curves at θ. Power curves that are all zero change nothing (message 65).)";

inline constexpr const char* shine = R"(Makes the highlights shine: light from the pixels brighter than
a threshold streaks out along rays (or spreads as a soft glow) and is added to its neighbours.

- `threshold`: brightness (0..255) above which a pixel gives light.
- `length`: how far the light reaches, in pixels (it falls to 5% there).
- `strength`: %, how much of the light is added.
- `rays`: 0 a soft glow; 2 streaks across; 4 across and up and down; 8 the diagonals too.

A pixel of brightness `l = (77r + 150g + 29b)/256` above the threshold T gives the light
`c·(l − T)/l` per channel c. Along each direction the light travels both ways falling by
`k = exp(−3/length)` per pixel; what reaches a pixel from its neighbours, times
`strength/100·½`, is added as `v + L·(255 − v)/255`. Light from up to three lengths outside the
area reaches into it.)";

inline constexpr const char* lightning = R"(A forked lightning bolt drawn across the area: a white-hot core
with a coloured glow, and side branches.

- `fromx`, `fromy`: where the bolt starts, % across and down the area.
- `tox`, `toy`: where it ends.
- `roughness`: 0..100, how far the path zigzags.
- `branches`: number of side branches.
- `thickness`: width of the core in pixels (branches half of it).
- `glow`: size of the glow in pixels (0 none).
- `red`, `green`, `blue`: colour of the glow.
- `seed`: the random path; the same seed gives the same bolt.

The path is made by midpoint displacement: every piece longer than 3 pixels is split at its middle,
which moves sideways by a random share (−1..1) of `0.35·roughness/100` of the piece's length.
Branches leave the main path between 10% and 80% of its way at 20°–46° and are 25–55% of the rest
of its length long. A pixel at distance d from the nearest piece gets the core
`clamp(thickness/2 + ½ − d)` and the glow `(1 − d/(3·glow))³` (branches at 65%), added as
`v + L·(255 − v)/255`: the glow in the colour, the core in white.)";

inline constexpr const char* aura = R"(A flickering glow round the bright (or opaque) shapes of the
image, shading from an inner colour at the shapes' edges to an outer colour where it fades.

- `source`: 0 the shapes are the pixels at least `threshold` bright, 1 those at least
  `threshold` opaque.
- `threshold`: 0..255.
- `size`: how far the aura reaches, in pixels.
- `falloff`: 1..100, how quickly it fades (the exponent `0.5 + falloff/25`).
- `inred`, `ingreen`, `inblue`: colour at the shapes' edges.
- `outred`, `outgreen`, `outblue`: colour where the aura ends.
- `strength`: %.
- `turbulence`: %, how much the noise pushes the aura in and out.
- `scale`: size of the flicker in pixels.
- `phase`: degrees; stepping it frame by frame animates the flicker (0 and 360 are the same).
- `seed`: the flicker pattern.
- `inside`: 1 lays half the inner colour over the shapes too.

With d the distance to the nearest shape pixel, `t = d/size·(1 + 0.8·turbulence/100·n)` where n is
fractal noise (three layers) at `(x/scale + 2cos φ, y/scale + 2sin φ)`; pixels with t < 1 get the
light `(1 − t)^e·strength/100` of the colour `inner + (outer − inner)·t`, added as
`v + L·(255 − v)/255`. Without any shape pixel nothing changes.)";

inline constexpr const char* fire = R"(Flames rising from the bottom of the area: tongues of fire
shading from a hot core through the middle colour to the tips, with smoke above.

- `seed`: the flames' pattern.
- `height`: % of the area's height the tallest tongues reach.
- `intensity`: %, the heat.
- `cooling`: 0..100, how quickly the flames die away upwards.
- `wind`: −100..100, bends the flames left or right as they rise.
- `turbulence`: 0..100, how much the noise tears the flames.
- `scale`: size of the flames' detail in pixels.
- `time`: frame number; stepping it makes the flames rise (one frame moves the pattern a quarter
  of `scale` up).
- `tongues`: number of tongues across the area.
- `spread`: 0..100, how unequal the tongues are.
- `smoke`: 0..100, the smoke above the flames.
- `opacity`: 0..100.
- `corered`..`coreblue`, `midred`..`midblue`, `tipred`..`tipblue`: the flame colours at heat
  0.8 and above, 0.4 and 0.
- `smokered`, `smokegreen`, `smokeblue`: the smoke's colour.

At height `v = (y1 − y)/(height·h)` above the base and `x' = x − wind·v·height·h·0.6`, the
tongue shape is `A·(0.7 + 0.3cos 2π(f − ½))` with f the position within a tongue and A the tongue's
random height; the heat is `(shape − (v + 0.35·turbulence·n·(0.3 + v))·(0.5 + cooling/100))·
intensity/100` with n fractal noise at `(x'/scale, (y + time·scale/4)/scale)`. Heat above 0 is
added as light with opacity `clamp(heat/0.12)`; just above the flames (heat −0.6..0) the smoke
colour is laid over.)";

} // namespace lighting_docs
