// What each filter, blur and image-arithmetic operation does, for
// docs/operations.md and the help pages: the effect, each parameter, the
// formula, and how it compares with the filter of the same name elsewhere.
#pragma once

namespace filter_docs {

inline constexpr const char* convolve = R"(The general 3 × 3 convolution: every pixel becomes a weighted sum of
itself and its eight neighbours, computed from the image as it was before the operation.

- `k1` … `k9`: the weights, running down the left column first: k1 (x−1, y−1), k2 (x−1, y),
  k3 (x−1, y+1), k4 (x, y−1), k5 the pixel itself, k6 (x, y+1), k7 (x+1, y−1), k8 (x+1, y),
  k9 (x+1, y+1). The default is a sharpening kernel (k5 = 5, k2 = k4 = k6 = k8 = −1); k5 = 1
  alone leaves the image as it is.
- The dialog and the kernel file (`*.CNV`, one line "k1 … k9 threshold offset thresholding both")
  also set: `threshold` (a fraction of 255), `offset` (a fraction of 255 added to every result),
  the thresholding switch and the both-directions switch.

Per colour channel, summed in single precision: `a = clamp(trunc(Σ kᵢ·pᵢ))`. With both directions,
`b` is the same sum with the transposed kernel and the channel becomes `clamp(trunc(√(a² + b²)))`.
Then `clamp(c + trunc(offset·255))` when the offset is not 0, and with thresholding 255 when
`c/255 > threshold`, else 0. The result is mixed in by the selection's weight m as
`(m·c + (255 − m)·old)/255`; an image with alpha has its alpha scaled by m/255. The outermost rows
and columns do not change; images smaller than 3 × 3 are refused. ImageMagick's `-morphology
Convolve '3x3: …'` computes the same sum, with the kernel written row by row.)";

inline constexpr const char* relief = R"(An emboss: the image becomes a grey relief lit from one side, with
edges standing out as ridges and grooves (each channel separately, so colour edges keep a tint).

- `angle`: where the light comes from, in degrees counter-clockwise from the right (135 = upper left).

Per channel, with the Sobel differences Gx (right minus left) and Gy (top minus bottom):
`clamp(128 + (cos a·Gx + sin a·Gy)/8)`. Edges repeat beyond the image. ImageMagick's `-emboss`
does the same with a Gaussian-weighted kernel and a fixed direction; `-shade` lights in grey only.)";

inline constexpr const char* dither = R"(Reduces every channel to a few levels and spreads the lost
precision as a fine pattern, so that gradients survive as dots.

- `method`: 0 error diffusion (Floyd–Steinberg), 1 ordered (8 × 8 Bayer matrix), 2 random noise.
- `levels`: levels per channel, 2 (pure colours) to 256.
- `serpentine`: error diffusion runs alternate rows right to left (fewer worm-like streaks).
- `mono`: dither the grey (luma) instead of the three channels.
- `seed`: the random method's seed; the same seed gives the same pixels.

Level step s = 255/(levels − 1); a value v becomes `round((v + d)/s)·s`, where d is the carried
error (diffusion: 7/16 right, 3/16 below behind, 5/16 below, 1/16 below ahead), the Bayer threshold
`((B + 0.5)/64 − 0.5)·s` or a uniform random `(u − 0.5)·s`. ImageMagick's `-dither FloydSteinberg
-posterize N` and `-ordered-dither o8x8,N` are the counterparts.)";

inline constexpr const char* elevations = R"(Reads the image as a height map (bright is high) and draws it as
a shaded relief map: water below sea level, then green lowlands, yellow, brown, grey rock and snow,
with contour lines.

- `sea`: the height (0..255) of the shore; lower pixels are water, darker the deeper.
- `interval`: height between contour lines (0 draws none).
- `shading`: strength of the hill shading, lit from the upper left (0 flat colours).

Height h = luma (0.3 R + 0.59 G + 0.11 B). Land colour: the five-colour ramp at `4·(h − sea)/(255 − sea)`,
times `max(0.2, 1 − shading/100·(∂h/∂x + ∂h/∂y)/64)` (central differences). A land pixel whose right
or lower neighbour lies in another band of `interval` is darkened to a third. ImageMagick has no
single counterpart (`-clut` with a gradient for the colours, `-shade` for the light).)";

inline constexpr const char* enhance = R"(Stretches the tonal range so that the darkest pixels become black
and the brightest white (a flat, hazy or under-exposed picture gains contrast).

- `clip`: tenths of a percent of the pixels allowed to clip at each end (10 = 1 %), so that a few
  stray pixels do not hold the stretch back.
- `linked`: 1 stretches the three channels together (colours keep their balance); 0 each channel on
  its own (also removes a colour cast).

With lo and hi the values below and above which `clip` of the pixels lie:
`clamp(255·(v − lo)/(hi − lo))`, rounded. ImageMagick's `-contrast-stretch 1%` (and `-normalize`)
does the same.)";

inline constexpr const char* unsharp = R"(Sharpens by adding back the difference between the image and a
blurred copy of it: edges gain contrast, flat areas stay as they are.

- `radius`: the standard deviation of the Gaussian blur, in pixels.
- `amount`: how much of the difference is added, in percent.
- `threshold`: differences smaller than this (0..255) are left alone, so noise and grain are not
  sharpened.

Per channel, with b the Gaussian blur (see Blur): `d = c − b`; where `|d| ≥ threshold`,
`c' = clamp(c + round(d·amount/100))`. ImageMagick's `-unsharp 0xR+A+T` with A = amount/100 and
T = threshold/255 is the same filter (it compares 2·|d| with its threshold).)";

inline constexpr const char* hremove = R"(Finds horizontal lines that do not belong to the picture (a scanner
streak, a dropped or interlaced video line, a scratch) and fills them in from the rows above and
below.

- `threshold`: how far (largest channel difference) a pixel must lie from the filled-in value to
  count as part of a line.
- `width`: the thickest line removed, in rows.
- `period`, `offset`: 0 finds lines anywhere; otherwise only rows y with `(y − offset) mod period
  < width` are candidates (every other line of interlaced video: period 2).
- `coverage`: the percentage of a row's pixels that must differ for the row to be a line.

A pixel of a run of k ≤ width rows stands out when it lies further than `threshold` (and further
than twice the two sides differ from each other) from the straight blend of the rows just above and
below the run. A run (widest first) is a line when each of its rows has `coverage` percent of such
pixels; those pixels take the blend. ImageMagick has no such filter; a median (`-statistic Median 1x3`)
removes one-row lines but softens the whole picture.)";

inline constexpr const char* vremove = R"(HRemove for vertical lines: columns that do not belong to the
picture (film scratches, a dead sensor column) are found and filled in from the columns left and
right of them.

- `threshold`, `width`, `period`, `offset`, `coverage`: as for HRemove, with columns in place of rows.)";

inline constexpr const char* rip = R"(A raster image processor's screens: the picture is separated into
cyan, magenta, yellow and black inks and each ink printed as a rotated grid of dots whose size
follows the ink's coverage, as a press prints a photograph.

- `mode`: 0 four-colour; 1 black only (a newspaper halftone of the grey).
- For each screen (`c_`, `m_`, `y_`, `k_`): `angle` the screen's rotation (classic 15°, 75°, 0°,
  45°), `cell` the dot spacing in pixels, `shape` the dot (0 round, 1 ellipse, 2 line, 3 square),
  `on` whether the ink prints.
- `gain`: dot gain in percent: ink spreading on paper darkens the mid-tones (negative thins them).
- `soft`: softness of the dot edges (0 hard, 1-bit dots).

Inks: `K = 1 − max(r, g, b)`, `C = (1 − r − K)/(1 − K)` (M, Y likewise). Coverage `v' = v + gain·v(1 − v)`.
A pixel at cell position (u, w) ∈ [−½, ½)² of a screen is inked by `clamp((v' − S(u, w))/soft + ½)`
with the spot function S (round `2(u² + w²)`, line `2|w|`, square `2·max(|u|, |w|)`). Paper:
`R = 255(1 − C)(1 − K)` and so on. GIMP's Newsprint is the counterpart; ImageMagick's
`-ordered-dither h8x8a` screens without angles.)";

inline constexpr const char* ris = R"(Removes isolated specks (dust, salt-and-pepper noise, scanner dirt)
up to a given size, and leaves everything larger untouched.

- `size`: the largest speck removed, in pixels.
- `threshold`: how far (largest channel difference) a pixel must stand out from its neighbourhood's
  median to count as part of a speck.

The median M over a window of radius ⌈√size⌉ is taken per channel. From every pixel with
`max |c − M| > threshold` grows the patch of pixels within `threshold` of its colour (touching at
sides or corners); a patch of at most `size` pixels takes M. Unlike ImageMagick's `-despeckle` or a plain `-median`, lines, text and edges
larger than the speck size stay sharp.)";

inline constexpr const char* ric = R"(Removes isolated colours: colours used by only a few pixels (stray
anti-aliasing pixels, noise in a flat-coloured drawing or a palette image) take the nearest common
colour around them.

- `count`: a colour used by fewer pixels than this (in the area) is rare.
- `tolerance`: the furthest (|Δr| + |Δg| + |Δb|) a replacement may lie; rarer pixels with nothing
  common that close stay.

For each pixel of a rare colour, the 8 and then the 16 pixels around it are searched for the
common colour nearest to it. ImageMagick has no counterpart (`-fill C -opaque` replaces named colours).)";

inline constexpr const char* minimum = R"(Grey-level erosion: every channel takes the darkest value within a
radius, so dark details grow and bright ones shrink.

- `radius`: in pixels (0 changes nothing).
- `disc`: 1 a round neighbourhood, 0 a square of side 2·radius + 1.

`c'(x, y) = min c(x + i, y + j)` over the neighbourhood, edges repeated. The square takes three
comparisons per pixel and pass whatever the radius (van Herk / Gil–Werman); the disc folds its
rows of different widths and costs grow with the radius. ImageMagick: `-morphology Erode
Square:r` or `Disk:r`.)";

inline constexpr const char* maximum = R"(Grey-level dilation: every channel takes the brightest value within a
radius, so bright details grow and dark ones (dust, thin lines) shrink.

- `radius`, `disc`: as for Minimum.

`c'(x, y) = max c(x + i, y + j)` over the neighbourhood. ImageMagick: `-morphology Dilate
Square:r` or `Disk:r`.)";

inline constexpr const char* canvas = R"(Prints the image on a canvas: the source image, tiled, is read as
the relief of the canvas and lights the picture as if painted on it.

- `scale`: the canvas's size in percent.
- `depth`: the relief's strength.
- `angle`: where the light comes from (degrees, counter-clockwise from the right).
- `dx`, `dy`: shift of the canvas.
- `invert`: swaps ridges and grooves.

With h the source's luma at `((x + dx)/scale, (y + dy)/scale)`, tiled: every channel moves by
`depth/200·(cos a·∂h/∂x + sin a·∂h/∂y)`, differences taken one canvas pixel each way. Without a source
the image is its own canvas. GIMP's Apply Canvas and Photoshop's Texturizer do the same with built-in
textures.)";

inline constexpr const char* texture = R"(Lays the source image, tiled from the top left corner, over the
picture as a texture.

- `amount`: how much of the texture shows, in percent.
- `mode`: 0 overlay (the texture's light and shade, picture colours kept), 1 multiply (darkens),
  2 screen (lightens).

Per channel t (picture) and s (texture): overlay `t < 128 ? 2ts/255 : 255 − 2(255 − t)(255 − s)/255`,
multiply `ts/255`, screen `255 − (255 − t)(255 − s)/255`; then `t + amount%·(m − t)`. ImageMagick:
`-compose Overlay` (Multiply, Screen) with `-define compose:args` for the amount and a tiled source.)";

inline constexpr const char* encrypt = R"(Scrambles the selected pixels beyond recognition with a password;
applied again with the same password it restores the image exactly, with a wrong one it does not.

- `password`: the key (any text up to 63 characters; empty is refused).

The password's FNV-1a hash seeds a SplitMix64 generator. It shuffles the list of selected pixels;
neighbours in the shuffled list form pairs. The two pixels of a pair change places and both are
XORed with the pair's own random word (colour channels; alpha in alpha mode; all four bytes on a
warp layer). The selection's weights are not blended (a blend could not be undone): every selected
pixel is scrambled whole. This hides a picture, it is no cipher for secrets. ImageMagick's
`-encipher` does the same job with a real cipher, but its result is not its own inverse.)";

inline constexpr const char* sharpen = R"(The classic sharpen: every pixel is pushed away from the mean of its
neighbours, so edges and fine texture gain contrast.

- `amount`: in percent.
- `eight`: 1 compares with the eight surrounding pixels, 0 with the four beside it.

Per channel: `clamp(c + round(amount/100·(c − mean of the neighbours)))` (a Laplacian, edges
repeated). ImageMagick's `-morphology Convolve Laplacian` is the same kernel; its `-sharpen` is an
unsharp mask (see UnsharpMask).)";

inline constexpr const char* blur = R"(A Gaussian blur: every pixel becomes the average of its surroundings,
weighted by a bell curve.

- `radius`: the standard deviation σ of the Gaussian, in pixels (values below 0.05 change nothing).

Per channel, separable along rows and columns, edges repeated. Below σ = 3 the sampled kernel
`exp(−i²/2σ²)` of radius 3σ is used; from 3 on, the recursive filter of Young and van Vliet run
forward and back, whose cost per pixel does not depend on σ (differences from the exact Gaussian
stay below 1 level in most pixels). Colour is blurred without weighting by alpha. ImageMagick's
`-gaussian-blur 0xσ` and vips `gaussblur σ` compute the same blur.)";

inline constexpr const char* remove = R"(The median filter: every channel takes the middle value of its
neighbourhood, which removes noise and specks while keeping edges.

- `radius`: the window is a square of side 2·radius + 1 (0 changes nothing).

Per channel: the median of the (2r + 1)² values, edges repeated, by a sliding histogram (cost per
pixel grows with the radius, not its square). ImageMagick: `-statistic Median (2r+1)x(2r+1)` (or
`-median r`, which uses a round window).)";

inline constexpr const char* shave = R"(Conservative smoothing: shaves off single-pixel peaks and pits by
keeping every pixel within the range of its eight neighbours; pixels that fit their surroundings do
not change at all.

- `tolerance`: how far beyond the neighbours' range a pixel may stay.
- `mode`: 0 both, 1 peaks only (too bright), 2 pits only (too dark).

Per channel, with lo and hi the smallest and largest of the eight neighbours:
`c' = clamp(c, lo − tolerance, hi + tolerance)`. ImageMagick has no direct counterpart.)";

inline constexpr const char* truncate = R"(Keeps only the top bits of every channel: the image has `2^bits`
levels per channel, spread over the whole range (a posterised look, banding in gradients).

- `bits`: 1 to 8 (8 changes nothing).
- `round`: 1 rounds to the nearest level, 0 truncates (drops the low bits).

With L = 2^bits − 1: `q = round(v·L/255)` (or `v >> (8 − bits)`), then `round(q·255/L)`.
ImageMagick's `-depth bits` rounds in the same way.)";

inline constexpr const char* contour = R"(Draws contour lines where the brightness crosses a level, like a
map's isolines; the image stays beneath, turns white, or is banded.

- `interval`: levels between two lines.
- `offset`: where the first line lies.
- `red`, `green`, `blue`: the line colour; `opacity` in percent.
- `background`: 0 the image, 1 white paper, 2 flat grey bands.
- `channel`: the value followed: 0 luma, 1 red, 2 green, 3 blue (alpha in alpha mode).
- `thickness`: line width in pixels.

Band of a pixel: `⌊(v − offset)/interval⌋`. A pixel is on a line when a pixel up to `thickness`
away (left, right, above, below) lies in a higher band. ImageMagick has no single counterpart;
GIMP's "Edge" on a posterised copy comes close.)";

inline constexpr const char* motion_blur = R"(Blurs along a straight line, as a camera moving during the exposure
does.

- `angle`: the direction of the movement, degrees counter-clockwise from the right.
- `distance`: the length of the streak in pixels.
- `centred`: 1 the streak runs both ways from every pixel, 0 it trails behind it.

The mean of `distance + 1` bilinear samples spaced evenly along the line (edges repeated).
ImageMagick's `-motion-blur 0xσ+angle` weights its one-sided samples by a Gaussian instead of
evenly.)";

inline constexpr const char* spiral_blur = R"(Blurs along a spiral about the centre of the area: a turn blurs
into circles, a zoom into rays, both together into a whirlpool.

- `angle`: the turn covered by the blur, in degrees.
- `zoom`: the change of scale covered, in percent.
- `samples`: samples along each spiral.

For each pixel at offset d from the centre: the mean of samples at `R(t·angle)·d·(1 + t·zoom/100)`
for t evenly from −½ to ½, taken bilinearly. ImageMagick's `-rotational-blur` is the turn alone.)";

inline constexpr const char* explode = R"(A zoom blur: streaks radiate from the centre of the area, as if
the picture flew apart (or the camera zoomed during the exposure).

- `amount`: the length of the streaks, in percent of the distance from the centre.
- `samples`: samples along each streak.

For each pixel at offset d from the centre: the mean of samples at `d·(1 − t·amount/100)` for t
evenly from 0 to 1. GIMP's Zoom Motion Blur is the counterpart.)";

inline constexpr const char* derivative = R"(The image's gradient: edges light up, flat areas go black (or
mid-grey for one direction).

- `operator`: 0 Sobel, 1 Prewitt, 2 simple difference of the two neighbours.
- `scale`: in percent.
- `direction`: 0 the gradient's length, 1 across (x) only, 2 down (y) only, signed about 128.

Per channel, with the operator's differences normalised so a step from 0 to 255 gives 255:
length `clamp(√(Gx² + Gy²)·scale/100)`, one direction `clamp(128 + G·scale/200)`. ImageMagick:
`-morphology Convolve Sobel` (and `-edge`).)";

inline constexpr const char* variance = R"(Local statistics over a square window: how much every neighbourhood
varies (texture and edges bright, flat areas dark), its mean, or the detail left when the mean is
taken away.

- `radius`: the window is a square of side 2·radius + 1, cut at the image's edges.
- `scale`: in percent.
- `mode`: 0 standard deviation, 1 mean (a box blur), 2 detail (`128 + (c − mean)·scale/100`).

Deviation `clamp(2·σ·scale/100)` with `σ² = mean(c²) − mean(c)²`, from summed-area tables (cost per
pixel independent of the radius). ImageMagick: `-statistic StandardDeviation` and `-statistic Mean`.)";

inline constexpr const char* multiply = R"(Multiplies the picture by the source image, channel by channel:
white in the source leaves the picture, black makes it black (shadows and masks).

`c' = round(t·s/255)`. The source lies from the top left corner; pixels it does not reach do not
change. Without a source the picture is multiplied by itself (the mid-tones darken).
ImageMagick: `-compose Multiply -composite`.)";

inline constexpr const char* add_images = R"(Adds a share of the source image to the picture, channel by
channel (light leaks, double exposures).

- `percent`: the share of the source added.

`c' = clamp(t + round(s·percent/100))`. Subtract with the same percent undoes it wherever nothing
was clipped at 255. The source lies from the top left corner; pixels it does not reach do not change.
ImageMagick: `-compose Plus -composite`.)";

inline constexpr const char* subtract = R"(Subtracts a share of the source image from the picture, channel by
channel.

- `percent`: the share of the source taken away.

`c' = clamp(t − round(s·percent/100))`; Add Images with the same percent undoes it wherever nothing
was clipped at 0. ImageMagick: `-compose Minus_Src -composite`.)";

inline constexpr const char* nlog = R"(A logarithmic tone curve: lifts the shadows strongly and compresses
the highlights (negative strengths do the opposite, an exponential curve).

- `strength`: k; 0 changes nothing (refused).

For u = v/255: k > 0 `255·ln(1 + k·u)/ln(1 + k)`; k < 0 `255·((1 + |k|)^u − 1)/|k|`, the inverse
curve. ImageMagick: `-evaluate Log k` for k > 0.)";

inline constexpr const char* combine = R"(Cross-fades the picture with the source image.

- `percent`: how much of the source shows.

`c' = round((t·(100 − percent) + s·percent)/100)`. Pixels the source does not reach do not change.
ImageMagick: `-compose Blend -define compose:args=percent -composite`.)";

} // namespace filter_docs
