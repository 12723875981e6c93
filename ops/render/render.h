// The render operations (fractals, landscape, craters, rulers and the
// rest): their parameters, table and workers.
#pragma once

#include "ops/operation.h"

struct Image;

struct RenderParams {
    // Landscape and Flat Map share the terrain.
    int32_t land_seed;
    int32_t land_roughness;  // 0..100
    int32_t land_water;      // % of the height range under water
    int32_t land_relief;     // % vertical scale
    OpPalette land_pal1;     // "landpal1": the ground from the shore to the peaks
    OpPalette land_pal2;     // "landpal2": the sky from the horizon up
    int32_t land_haze;        // % haze at the far end
    int32_t land_haze_start;  // % of the distance seen clear before the haze begins
    int32_t land_cliff;       // slope (% rise over run) from which bare rock shows; 0 none
    int32_t land_cliff_dark;  // % darker the rock is than the ground's colour
    int32_t land_reflect;     // % of the sky that water mirrors close by
    int32_t land_depth;       // % of the deep-water colour at the greatest depth
    int32_t land_breadth;     // % horizontal size of the land's features
    int32_t land_distance;    // % of the standard viewing distance (720 units)
    int32_t land_heading;     // camera: degrees from north, clockwise
    int32_t land_cam[2];      // camera position on the 512 x 512 map
    int32_t land_cam_height;  // camera height above the ground; 0 automatic
    int32_t land_horizon;     // horizon at % of the area's height from the top
    int32_t land_fov;         // degrees across
    int32_t land_grain;       // % texture grain on the ground; 0 none
    int32_t land_grain_size;  // its size in map units
    int32_t land_grain_seed;
    int32_t land_snow;        // % of the height range above which snow lies; 100 none
    int32_t land_snow_rgb[3];
    int32_t map_shading;     // Flat Map: 0..100 hill shading
    int32_t map_contours;    // Flat Map: contour interval in % of the heights, 0 none

    // Exfoliation.
    int32_t exf_size;        // flake size in pixels
    int32_t exf_amount;      // % of the flakes gone

    // Entrainment.
    int32_t ent_length;      // streak length in pixels
    int32_t ent_swirl;       // -100..100
    int32_t ent_scale;       // size of the flow's eddies in pixels
    int32_t ent_mix;         // 0..100

    // Ruler.
    int32_t ruler_origin[2];   // pixels from the area's top left corner
    int32_t ruler_direction;   // 0 across, 1 down, 2 both
    int32_t ruler_spacing;     // pixels between ticks
    int32_t ruler_major;       // every n-th tick is long
    int32_t ruler_mid;         // every n-th tick is middling
    int32_t ruler_len[3];      // minor, middle, major tick lengths
    int32_t ruler_thickness;
    int32_t ruler_rgb[3];
    int32_t ruler_band;        // 1: a filled band under the ticks
    int32_t ruler_band_rgb[3];
    int32_t ruler_band_size;
    int32_t ruler_numbers;     // 1: numbers at the long ticks
    int32_t ruler_unit;        // value of one tick step
    int32_t ruler_side;        // 0 ticks grow down (right), 1 up (left)

    // Grid.
    int32_t grid_space[2];
    int32_t grid_offset[2];
    int32_t grid_width;
    int32_t grid_rgb[3];
    int32_t grid_opacity;
    int32_t grid_major;        // every n-th line (0 none)
    int32_t grid_major_width;
    int32_t grid_major_rgb[3];
    int32_t grid_major_opacity;
    int32_t grid_style;        // 0 solid, 1 dashed, 2 dots at the crossings
    int32_t grid_dash;
    int32_t grid_horizontal;
    int32_t grid_vertical;
    int32_t grid_border;
    int32_t grid_checker;      // opacity of the tint on every second cell
    int32_t grid_checker_rgb[3];

    // Texture.
    int32_t tex_type;          // 0 clouds, 1 marble, 2 wood, 3 granite, 4 ridges
    int32_t tex_seed;
    int32_t tex_scale;
    int32_t tex_octaves;
    int32_t tex_roughness;
    int32_t tex_turbulence;
    int32_t tex_contrast;
    int32_t tex_rgb1[3];
    int32_t tex_rgb2[3];
    int32_t tex_opacity;
    int32_t tex_angle;

    // Bang.
    int32_t bang_spikes;
    int32_t bang_inner;        // % of the area's half sizes
    int32_t bang_outer;
    int32_t bang_random;       // 0..100
    int32_t bang_seed;
    int32_t bang_turn;
    int32_t bang_in_rgb[3];
    int32_t bang_out_rgb[3];
    int32_t bang_line_rgb[3];
    int32_t bang_line;         // outline width in pixels
    int32_t bang_opacity;
    int32_t bang_glow;         // pixels

    // Julia and Mandelbrot.
    float julia_c[2];
    float julia_centre[2];
    float julia_zoom;
    int32_t julia_iterations;
    int32_t julia_cycle;       // iterations per palette sweep
    OpPalette julia_pal;       // "juliapal"
    float mand_centre[2];
    float mand_zoom;
    int32_t mand_iterations;
    int32_t mand_cycle;
    int32_t mand_power;
    OpPalette mand_pal;        // "mandpal"

    // Pagecurl.
    int32_t curl_corner;       // 0 top left, 1 top right, 2 bottom right, 3 bottom left
    int32_t curl_amount;       // % of the diagonal
    int32_t curl_angle;        // degrees off the diagonal
    int32_t curl_radius;       // % of the smaller side
    int32_t curl_back_rgb[3];
    int32_t curl_bg_rgb[3];
    int32_t curl_shadow;

    // Crater.
    int32_t crater_radius;     // % of the smaller half size
    int32_t crater_depth;      // % shading
    int32_t crater_light;      // degrees the light comes from
    int32_t crater_ejecta;     // % of the radius beyond the rim
    int32_t crater_seed;
};

extern RenderParams g_render_params;
inline RenderParams& render_params()
{
    return g_render_params;
}

struct OpFamily;
extern const OpFamily kRenderFamily;

// Whole-image workers.
int landscape_worker(Image* target, uint8_t* mask);
int exfoliation_worker(Image* target, uint8_t* mask);
int entrainment_worker(Image* target, uint8_t* mask);
int ruler_worker(Image* target, uint8_t* mask);
int grid_worker(Image* target, uint8_t* mask);
int texture_worker(Image* target, uint8_t* mask);
int bang_worker(Image* target, uint8_t* mask);
int julia_worker(Image* target, uint8_t* mask);
int mandelbrot_worker(Image* target, uint8_t* mask);
int pagecurl_worker(Image* target, uint8_t* mask);
int fractal_prepare(Image* target, int view);

// Pixel in place xy.
int flat_map_prepare(Image* target, int view);
void flat_map_worker(uint8_t* p, int x, int y, int weight);
int crater_prepare(Image* target, int view);
void crater_worker(uint8_t* p, int x, int y, int weight);
void terrain_release();

// The escape time of one point: the iterations before |z| passed the
// bailout radius (iterations when it never did), and the smooth count
// through `smooth` (for colouring).  Exposed for the tests and the bench.
int mandelbrot_escape(double cr, double ci, int iterations, int power, double* smooth);
int julia_escape(double zr, double zi, double cr, double ci, int iterations, double* smooth);
// The point a pixel of the area stands for, as the fractal workers map it.
void fractal_point(double x, double y, double centre_r, double centre_i, double zoom, double* re, double* im);

// Starting contents of the crater profiles.
void render_profiles_reset();
