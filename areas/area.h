// Area selections: the current area settings that the area tools, area files
// and timeline cells fill, and the area description record that captures
// them.
//
// The current settings describe one area (a rectangle, an outline, a flood
// seed ...).  Selecting it makes it the current selection; an area whose
// combination setting is not "none" is combined with the selection already
// in force, so the selection is a chain of areas that is rebuilt for each
// target (a flood or a colour key depends on the target's pixels, and an
// area drawn on an image of another size is scaled to the target).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct List;

// The area tools that describe a shape, in the order of the area file's modes.
enum class AreaMode : int {
    FREEHAND,
    POLYGON,
    ISHAPE,
    RECT,
    ROUNDRECT,
    ELLIPSE,
    POLYARC,
    SPLINE,
    BEZIER,
    NUMRECT,
    FLOOD,
    ENTIRE,
    FONT,
    REDO,
    KEY,
};
constexpr int kAreaModeCount = 15;

// The mode's word in area files ("FREEHAND", "ROUNDRECT" ...).
const char* area_mode_name(AreaMode mode);
// Recognises a mode word by its beginning, ignoring case; false when it
// matches none.
bool area_mode_parse(const char* word, AreaMode* mode);

// How an area meets the selection already in force.
enum AreaCombination : int16_t {
    COMBINE_NONE = 0,          // replaces it
    COMBINE_UNION = 1,
    COMBINE_INTERSECTION = 2,
    COMBINE_EXCLUDE = 3,       // cut out of it
};

// Colour space the colour wand and colour key compare in.
enum class KeySpace : int { RGB = 0, HSL = 1 };

// A point of an outline.  m = 0 starts a contour, 255 continues one; a list
// whose markers are all 0 is one contour.
struct AreaPoint {
    int32_t x, y;
    int16_t m;
};

// Longest text of the FONT tool, and the most points an area keeps.
constexpr int kAreaTextMax = 200;
constexpr long kAreaMaxPoints = 1000000;
// Largest feather, grow width and the like, in pixels.
constexpr long kAreaMaxWidth = 1000;

struct AreaSettings {
    AreaMode mode = AreaMode::ENTIRE;
    long src_width = 0, src_height = 0;  // image the area was made on; 0 = as is
    long pos_x = 0, pos_y = 0;           // centre, flood seed, text centre
    bool pos_set = false;                // a position was given (FONT centres on the image otherwise)
    long rad_x = 0, rad_y = 0;           // RECT, ROUNDRECT, ELLIPSE, NUMRECT
    long roundness = 20;                 // ROUNDRECT corner radius in pixels
    long box[4] = {0, 0, 0, 0};          // ISHAPE: left, top, right, bottom (swapped = mirrored)
    std::string font_name = "Arial";
    long font_size = 23;                 // points; one point is one pixel
    long font_weight = 400;              // 400 regular, 700 bold
    bool font_italic = false;
    std::string text;
    double rotation = 0;                 // degrees, anticlockwise
    double mag_x = 1, mag_y = 1;
    double shear = 0;                    // horizontal shift per unit of height
    long tran_level = 0;                 // transparency of the area, percent
    long tran_edge = 0;                  // transparency at the outline, percent
    long tran_grow = 0;                  // width over which edge turns to level, pixels
    long feather = 0;                    // soft edge inside the outline, pixels
    std::vector<AreaPoint> points;       // FREEHAND, POLYGON, ISHAPE outline
    std::vector<AreaPoint> control;      // POLYARC, SPLINE, BEZIER control points
    long key[3] = {0, 0, 0};             // KEY colour
    long range[3] = {20, 20, 20};        // KEY and FLOOD tolerance per channel
    KeySpace key_space = KeySpace::RGB;
    int16_t combination1 = COMBINE_NONE;  // AreaCombination
    int16_t combination2 = 0;             // complement the area first
};

// The area description record ("area"); its text is "atxt" and its points
// "apts".
struct AreaDesc {
    int32_t kind;  // always 3
    AreaMode mode;
    int32_t src_width, src_height;
    int32_t pos_x, pos_y;
    int32_t left, top, right, bottom;
    char font_name[64];
    int32_t font_size;
    char* text;
    double rotation, mag_x, mag_y, shear;
    int32_t roundness;
    int32_t tran_level, tran_edge, tran_grow;
    int32_t feather;
    int32_t point_count;
    AreaPoint* points;
    int32_t key_r, key_g, key_b;
    int32_t range_r, range_g, range_b;
    int16_t combination1, combination2;
    // Beyond the record's fields, so that a capture restores everything.
    int16_t pos_set;
    int16_t key_space;
    int16_t font_italic;
    int32_t font_weight;
};

// The shape of the ISHAPE tool: points in a 0..1000 square, y down.
struct AreaShape {
    std::string name;
    std::vector<AreaPoint> points;
};

struct AreaState {
    AreaSettings current;
    bool present = false;     // an area is selected; none means the entire image
    List* chain = nullptr;    // the selection: AreaDesc elements, first one uncombined
    AreaDesc* previous = nullptr;  // the area selected before the current one (REDO)
    AreaShape shape;
    long generation = 0;      // raised whenever the selection changes
    // Hold constraints of the drawing tools.
    bool hold_square = false, hold_aspect = false, hold_source = false;
};

AreaState& area_state();
AreaSettings& area_settings();

// Back to the neutral settings (nothing selected, no feather); keeps the shape.
void area_settings_reset();
// The workstation's start values from the preferences ("AreaMode",
// "Feathering", "RGBRange", "Font", "Points", "Weight", "Italic").
void area_settings_from_prefs();

// A description of the current settings, or null when memory is short (a
// failed point allocation leaves it without points).
AreaDesc* area_capture();
AreaDesc* area_desc_copy(const AreaDesc* desc);
// Frees a description; returns null for `d = area_desc_free(d)`.
AreaDesc* area_desc_free(AreaDesc* desc);
// Puts a description back into the current settings.
void area_restore(const AreaDesc* desc);

// Makes the current settings the selection (combined with the selection in
// force when their combination asks for it).  0 done, 1 no memory (reported).
int area_select();
// Drops the selection: operations work on the entire image again.
void area_clear();
// The number of areas in the selection chain.
int area_chain_length();

// The ISHAPE box of an area mode: RECT-like modes give position +- radius.
void area_box_of(const AreaSettings& s, long box[4]);
// Fills the ISHAPE outline from the current shape scaled into the box
// (left > right or top > bottom mirrors it).  False without a shape.
bool area_shape_into_box(const long box[4]);

// The drawing constraints: adjusts the dragged corner (x1, y1) of a box from
// (x0, y0) to a square, to `aspect` (width / height) or to the source size.
void area_constrain_box(long x0, long y0, long* x1, long* y1, double aspect);

// Releases everything the area subsystem holds (shut-down).
void area_release();
