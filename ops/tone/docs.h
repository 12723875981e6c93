// What each tone and colour operation does, for docs/operations.md and the
// help pages: the effect, each parameter and the formula.
#pragma once

namespace tone_docs {

inline constexpr const char* contrast = R"(Stretches every channel away from mid-grey (positive amounts) or
pulls it towards mid-grey (negative amounts).

- `amount`: −100 makes the image a flat grey 128, 0 changes nothing (refused), +100 doubles the
  distance from 128.

Per channel c: `clamp((c − 128)·(amount + 100)/100 + 128)`, through a 256-entry table.)";

inline constexpr const char* brightness = R"(Scales every channel: darker for negative amounts, brighter for
positive ones.

- `amount`: −100 gives black, 0 changes nothing (refused), +100 doubles each channel.

Per channel c: `clamp((amount + 100)·c/100)`.)";

inline constexpr const char* gamma = R"(Lifts (positive amounts) or lowers (negative amounts) the mid-tones
while black and white stay where they are, like a gamma curve.

- `amount`: −200..200; 0 changes nothing (refused).

Per channel c: `clamp(c − amount·k(c)/200)` with the fixed 256-entry curve k, which is 0 at both
ends and −78 near c = 192.)";

inline constexpr const char* color_fill = R"(Fills the selection with one colour, blended into the image by the
selection's weight (a feathered selection fades the colour out).

- `red`, `green`, `blue`: the colour, 0..255 each.)";

inline constexpr const char* balance = R"(Moves the colour balance, per channel, through a bent line (pivot
method) or clips and stretches the tonal range (levels method).

- `method`: 0 pivot, 1 levels.
- Pivot method: `pivot1..3` is the input level of red, green and blue that goes to `level1..3`;
  below the pivot the line runs from 0, above it to 255. Equal pivot and level change nothing.
- Levels method: `level1` is the low level (everything below goes to 0), `level2` the high level
  (everything above goes to 255); between them the values are stretched.)";

inline constexpr const char* histogram = R"(Applies the red, green and blue curves of the Histogram dialog to
the image, or, with `measure` on, counts the image's values per channel (`vq apply` prints the
counts) and changes nothing.

- `measure`: 1 measures, 0 applies the curves.
- `curve`: the grey curve of 201 points (0..255) used when the three channel curves are locked.)";

inline constexpr const char* remap = R"(Replaces colours of one palette by those of another, keeping the
detail around them: a pixel within `tolerance` of a "from" colour is moved by the difference to the
matching "to" colour.

- `tolerance`: the largest |Δr| + |Δg| + |Δb| that still matches.
- `offset`: the "to" colour taken is the matched index plus this, modulo the palette size.
- `from`, `to`: the two palettes (`from=R,G,B/R,G,B/...`). An empty "from" palette changes nothing.)";

inline constexpr const char* colorize = R"(Tints the image with one hue, keeping its lightness, like a toned
photograph.

- `hue`: 0..360 (0 red, 120 green, 240 blue).
- `saturation`: 0..100, used when `set_saturation` is on; otherwise each pixel keeps its own.

Each pixel goes to hue-lightness-saturation, takes the hue (and saturation) and comes back.)";

inline constexpr const char* monochrome = R"(Makes the image grey.

- `method`: 0 average of red, green and blue; 1 luminance 0.3 R + 0.59 G + 0.11 B; 2 red only;
  3 green only; 4 blue only; 5 mean of red and green; 6 mean of red and blue; 7 mean of green and
  blue; 8 keeps the colour but lowers the value to the green component where green is smaller.)";

inline constexpr const char* negative = R"(Inverts the image.

- `mode`: 0 inverts the channels switched on below; 1 grey negative of the average; 2 grey
  negative of the luminance; 3 negative of the colour with the darkest part kept (film-like);
  4 inverts hue, lightness and saturation as switched; 5 the same in hue, saturation and value.
- `red`, `green`, `blue`: the channels (or, in modes 4 and 5, the components) inverted.

Mode 0 on a channel c: `255 − c`. On a warp layer it turns the displacements round.)";

inline constexpr const char* adjust_hue = R"(Turns every colour round the colour wheel.

- `shift`: degrees, −180..180 (120 turns red into green).)";

inline constexpr const char* saturation = R"(Makes colours stronger (positive amounts) or greyer (negative).

- `amount`: −100 gives grey, +100 doubles each channel's distance from the pixel's average.

Per channel c with avg = (r + g + b)/3: `clamp(c + (c − avg)·amount/100)`.)";

inline constexpr const char* adjust_value = R"(Brightens or darkens while keeping hue and saturation.

- `amount`: −100..100; the value V of hue-saturation-value becomes `clamp(V·(amount + 100)/100)`.)";

inline constexpr const char* glare = R"(Burns out (or darkens) the bright parts of the image, as a strong light
does.

- `direction`: 1 brightens the bright parts, 0 darkens them.
- `amount`: 0..100; higher amounts start at a lower brightness.

With threshold T = |10·amount − 1100| and s = r + g + b: where s > T, each channel moves by
(s − T)/(T/100).)";

inline constexpr const char* antique = R"(Gives the image the brown of an old print, or (direction 0) takes
that tone away again.

- `direction`: 1 tones: green ×215/255, blue ×175/255; 0 the reverse.)";

inline constexpr const char* color_gel = R"(Lays a coloured gel over the image: the switched channels keep
more of the brightness than the others.

- `red`, `green`, `blue`: the channels of the gel; all on or all off changes nothing (refused).

With s = r + g + b: a gel channel becomes `clamp(511·s/765 − 256)`, another `clamp(300·s/765 − 256)`.)";

inline constexpr const char* pseudo_color = R"(Maps dark, middle and bright tones of each channel to three
different colours, as a thermal camera's false-colour view does. No parameters.)";

inline constexpr const char* false_color = R"(Rotates the channels: (r, g, b) becomes (b, r, g). Applied three
times it gives the image back. No parameters.)";

inline constexpr const char* solarize = R"(Reverses part of the tonal range, as over-exposed film does: the
sum s = r + g + b is spread over red (s below 256), green (256..511) and blue (512 and above).
No parameters.)";

} // namespace tone_docs
