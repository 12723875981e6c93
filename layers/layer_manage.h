// Layer management: the commands of the layer control dialog.  Each command
// that changes the stack composites the master again.  Results follow the
// system's convention: 0 done, non-zero failed (reported to the user);
// commands that make a layer return it, or null.
#pragma once

struct Image;
struct ListNode;

// Flag of a warp layer that has a zoom integrated (kept in files with the
// other flags).
constexpr unsigned kWarpZoomed = 1u << 3;

// A layer as the system makes it: opacity 100, factor 100, offset (0, 0),
// visible, with alpha, owned by `master`, numbered after the master's last.
void layer_set_defaults(Image* layer, Image* master);
// Gives an image an empty "layerlist" and marks it a master.
int layer_start_stack(Image* image);
// Turns an ordinary image into a master whose base layer holds its pixels
// (nothing changes for an image that is a master already).
int layer_make_master(Image* image);

// A new transparent layer on top of the stack, named "Layer_%d".
Image* layer_create(Image* master, long width, long height);
// A master-sized warp layer of zero displacement on top of the stack.
Image* layer_create_warp(Image* master);
// An open image joins the stack on top.
int layer_attach(Image* master, Image* image);
// The layer leaves its stack and becomes an ordinary image.
int layer_detach(Image* layer);
// The layer leaves its stack and is freed.
int layer_destroy(Image* layer);
// A copy of the layer just above it, named "%s_copy".
Image* layer_duplicate(Image* layer);
// One place nearer the viewer (towards the last node) or deeper.
int layer_nearer(Image* layer);
int layer_deeper(Image* layer);
// Renames a layer or a master (the base).
int layer_rename(Image* image, const char* name);
// Gives the master a new size; every layer moves by (shift_x, shift_y).
int layer_resize_master(Image* master, long width, long height, long shift_x, long shift_y);
// Frees a master and every layer of its stack.
void layers_close(Image* master);

// The node of a layer in its master's stack, or null.
ListNode* layer_node(Image* layer);
// The master of a layer, or the image itself when it is a master; else null.
Image* layer_master_of(Image* image);

// Warp layers: back to zero displacement; a zoom about the layer's centre
// integrated once ("ZOOMFACT", percent); a rotation about it ("ROTFACT",
// degrees, counter-clockwise).
int warp_zero(Image* layer);
int warp_scale(Image* layer, long zoom_percent);
int warp_rotate(Image* layer, double degrees);

// Effect layers made from a layer's alpha.
struct ShadowParms {  // "SHADPARMS"
    long dx, dy;      // offset of the shadow, pixels
    long blur;        // softness radius, pixels
    long opacity;     // 0..100
    long color[3];
};
struct GlowParms {    // "GLOWPARMS"
    long radius;      // how far the glow reaches, pixels
    long spread;      // percent added to the glow's strength
    long opacity;     // 0..100
    long color[3];
};
struct EmbossParms {  // "EMBOSSPARMS"
    long angle;       // direction the light comes from, degrees (135: top left)
    long depth;       // strength, percent
    long size;        // width of the bevel, pixels
};
// The layer dialog's own settings, kept in "GLIMVQ.ini" (section "Glimvq")
// under "SHADPARMS", "GLOWPARMS", "EMBOSSPARMS", "ZOOMFACT" and "ROTFACT":
// read at start-up, written at shut-down when they changed.
struct LayerSettings {
    ShadowParms shadow;
    GlowParms glow;
    EmbossParms emboss;
    long zoom_fact;  // percent, for "Scale Warp"
    long rot_fact;   // degrees, for "Rotate Warp"
    bool changed;
};
LayerSettings& layer_settings();
void layer_settings_load();
void layer_settings_save();
ShadowParms shadow_parms();
GlowParms glow_parms();
EmbossParms emboss_parms();
void set_shadow_parms(const ShadowParms& parms);
void set_glow_parms(const GlowParms& parms);
void set_emboss_parms(const EmbossParms& parms);

// A soft shadow under the layer ("%s_shadow").
Image* layer_shadow(Image* layer, const ShadowParms& parms);
// A glow around and under the layer ("%s_glow").
Image* layer_glow(Image* layer, const GlowParms& parms);
// A Hard Light layer above the layer that lights its edges ("%s_emboss").
Image* layer_emboss(Image* layer, const EmbossParms& parms);

// Blurs a plane of bytes in place with three box passes of the radius
// (close to a gaussian that reaches 3 * radius).
void blur_plane(unsigned char* plane, long width, long height, long radius);
