// Text outlines for the FONT area tool.  Fonts are found by name through
// fontconfig ("Arial" resolves to a metric-compatible free font) and their
// glyph outlines read with FreeType.
#pragma once

#include "areas/area_raster.h"

#include <string>

struct FontSpec {
    std::string name = "Arial";
    double size = 23;  // pixels per em (one point is one pixel)
    long weight = 400;  // 400 regular, 700 bold
    bool italic = false;
    double rotation = 0;  // degrees, anticlockwise
    double mag_x = 1, mag_y = 1;
    double shear = 0;  // slant: horizontal shift per unit of height
    double cx = 0, cy = 0;  // where the centre of the text's box goes
};

// Appends the outline of `text` (UTF-8, one line) to `out`.  0 done (an
// empty text gives no contours); 1 the font could not be loaded (reported).
int area_font_outline(const FontSpec& spec, const std::string& text, Outline& out);
// The file fontconfig chooses for a font name; empty when none.
std::string area_font_file(const std::string& name, long weight, bool italic);
// Releases the font engine (shut-down).
void area_font_release();
