// What each standard and attribute operation does, for docs/operations.md
// and the help pages.
#pragma once

namespace standard_docs {

inline constexpr const char* measure = R"(Measures the area and reports it in a "Measure" box and
the log: the area rectangle's corners and size, the number of selected pixels, the diagonal's
length and angle (degrees anticlockwise from the x axis), and each channel's mean, minimum,
maximum and standard deviation over the selected pixels (`sqrt(E[v²] − E[v]²)`). The image is not
changed. No parameters.)";

inline constexpr const char* forcedyn = R"(Forces the full dynamic range: each colour channel is
stretched so that its darkest selected value becomes 0 and its brightest 255,
`v' = 255·(v − lo)/(hi − lo)` (a channel of one value is left alone). As ImageMagick's
`-channel RGB -normalize` without clipping any pixels, or GIMP's Auto Stretch Contrast. No
parameters.)";

inline constexpr const char* channel_map = R"(Copies one channel into another.

- `from`: 0 red, 1 green, 2 blue, 3 alpha, 4 brightness `(77r + 150g + 29b)/256`.
- `to`: 0 all three colours (a grey picture of the channel), 1 red, 2 green, 3 blue, 4 alpha.

Mixed by the mask weight. As ImageMagick's `-channel-fx 'r=>g'`.)";

inline constexpr const char* swap_rgba = R"(Rearranges the four channels.

- `order`: four digits giving, for red, green, blue and alpha in turn, the channel each takes its
  value from (0 red, 1 green, 2 blue, 3 alpha): `0123` changes nothing and is refused, `2103`
  swaps red and blue (RGB to BGR), `3333` turns alpha into a grey picture with itself as alpha.
  Digits above 3 count as 3; fewer than four digits are padded with leading zeros.

Mixed by the mask weight, as ImageMagick's `-channel-fx 'red<=>blue'`.)";

inline constexpr const char* sample = R"(Samples the colour of one pixel and makes it the pen
colour (the "ColorFill" preference that the line commands draw with) and Color Fill's colour. The
image is not changed and there is nothing to undo.

- `x`, `y`: the pixel, clamped to the image.)";

inline constexpr const char* build_palette = R"(Builds the image's 256-entry palette (the one indexed
file formats and displays use) from the image's colours. The pixels are not changed and there is
nothing to undo.

- `colours`: how many colours, 2..256; the entries beyond repeat the last.
- `method`: 0 median cut (the box of colours with the widest channel split at its median until
  there are enough, each giving its mean, as Heckbert's algorithm and ImageMagick's `-colors`
  tree), 1 most frequent (colours pooled at 5 bits a channel, the fullest pools first), 2 uniform
  (a colour cube of equal levels).
- `area`: 1 takes only the selected pixels.
- `sort`: 1 orders the palette from dark to light.)";

inline constexpr const char* aspect_ratio = R"(Sets the pixel aspect ratio through the resolution:
the vertical resolution becomes the horizontal one times `x/y`, so a pixel is `x` units wide for
every `y` high. The pixels are not changed. PNG, TIFF, JPEG, BMP and the layered file keep it.

- `x`, `y`: the ratio, each at least 1.)";

inline constexpr const char* dpi = R"(Sets the image's resolution in dots per inch, which
PNG (pHYs), TIFF (XResolution, YResolution), JPEG (JFIF density), BMP (pixels per metre) and the
layered file keep and `vq info` shows. The pixels are not changed.

- `horizontal`, `vertical`: dots per inch, at least 1.)";

inline constexpr const char* author = R"(Sets the image's author, kept by PNG (the "Author" text),
TIFF (Artist), JPEG (a comment "Author: …") and the layered file, and shown by `vq info`. Empty
text clears it; text longer than 99 characters is cut there.

- `text`: the author's name.)";

inline constexpr const char* annotation = R"(Sets the image's annotation (a description), kept by
PNG (the "Description" text), TIFF (ImageDescription), JPEG (a comment) and the layered file (254
characters), and shown by `vq info`. Empty text clears it; at most 1023 characters.

- `text`: the annotation.)";

inline constexpr const char* copyright = R"(Sets the image's copyright notice, kept by PNG (the
"Copyright" text), TIFF (Copyright), JPEG (a comment "Copyright: …") and the layered file, and
shown by `vq info`. Empty text clears it; text longer than 99 characters is cut there.

- `text`: the notice.)";

} // namespace standard_docs
