// The scene model and the reader of scene files ("*.W3D").
//
// A scene file is plain text; everything happens in tags "<keyword args>".
// The reader keeps one attribute state that keywords set; objects take a
// snapshot of it when they are made.  Traits are named copies of the state,
// axes are local origins, key sets are named values that change over the
// frames of a sequence.
#pragma once

#include <cstddef>
#include <cstdint>

struct List;

constexpr int kSceneKeyMax = 200;       // a keyword this long ends the parse
constexpr int kSceneArgsMax = 200;      // characters of numeric arguments looked at
constexpr int kSceneStringMax = 500;    // quoted strings
constexpr int kSceneStackDepth = 1024;  // attribute states and axes
constexpr int kSceneKeySetName = 32;
constexpr int kSceneLibDepth = 32;      // libraries including libraries

// Parse results.
enum SceneCode : int {
    SCENE_OK = 0,
    SCENE_KEY_TOO_LONG = 1,
    SCENE_READ_FAILED = 2,
    SCENE_BAD_OBJECT = 3,
    SCENE_CANCELLED = 4,
};
// The "Note!" text of a parse result ("" for 0 and 4).
const char* scene_error_text(int code);

template <int N>
struct AttrD {
    double v[N];
    bool set;
};
template <int N>
struct AttrF {
    float v[N];
    bool set;
};
struct AttrI {
    int v;
    bool set;
};

enum TextureSlotIndex : int { TEX_SOLID = 0, TEX_SOLID2 = 1, TEX_SURFACE = 2, TEX_DISPLACE = 3 };

// Solid textures (texturemap, texturemap2).
enum SolidTexture : int {
    SOLID_NONE = 0, SOLID_SPECKS, SOLID_SINEX, SOLID_SINEXY, SOLID_CLOUD, SOLID_MARBLE,
    SOLID_WOOD, SOLID_SEDIMENT, SOLID_IRIS, SOLID_CHECKER, SOLID_SPOTS,
};
// Surface textures (uvtexture) and displacement textures (dmap).
enum SurfaceTexture : int { SURF_NONE = 0, SURF_WAVES, SURF_SINES, SURF_DUNES, SURF_PLASMA };
enum DisplaceTexture : int { DISP_NONE = 0, DISP_CHECKER, DISP_NOISE };

struct TextureSlot {
    int kind;
    double p[3];
    bool set;
};

struct MapSlot {
    char name[kSceneStringMax + 1];
    bool use;
};

// The surface part of the attribute state: what objects keep for shading.
struct Surface {
    AttrD<3> color[6];
    AttrD<1> ambient, diffuse, brilliance, specular, roughness, reflectivity;
    AttrD<1> transparency, translucency, refraction, distance, ambithresh;
    AttrF<3> imagescale, bumpscale;
    AttrF<1> bumpdrama;
    AttrF<2> tile, btile;
    AttrI metal, lightsource;
    TextureSlot texture[4];
    MapSlot imagemap, bumpmap;
    bool ssxar, ssyar, sszar;
};

// The whole attribute state: one fixed-size record, copied whole.
struct AttrState {
    AttrD<3> vtx[3], nrm[3];
    AttrD<3> position;
    AttrD<1> radius;
    AttrF<1> width, height;
    AttrD<3> translate;
    AttrF<4> scale;
    AttrD<3> rotation;
    AttrI splined;
    Surface surface;
    char trait_name[kSceneStringMax + 1];
};

void attr_defaults(AttrState& a);
// Copies every attribute set in `from` into `to`, marking it set.
void attr_apply(AttrState& to, const AttrState& from);
void attr_clear_flags(AttrState& a);

enum ObjectKind : int { OBJ_SPHERE = 1, OBJ_TRIANGLE, OBJ_RECT, OBJ_LIGHT, OBJ_BOUND };

struct SceneObject {
    int kind;
    int structure;
    int material;  // index into the scene's surfaces
    int name;      // index into the scene's names
    double p[3][3];  // sphere: centre; triangle: vertices; rectangle: corner and its two edge ends
    double n[3][3];  // triangle: vertex normals (all zero: flat)
    double c[3][3];  // triangle: vertex colours; light: colour in c[0]
    double radius;
};

struct Trait {
    AttrState state;
};

struct Axis {
    char name[kSceneStringMax + 1];
    double origin[3];
    double rotation[3];
    double lo[3], hi[3];  // extent of what was made while it was active
    long first_object;
};

struct KeySet {
    char name[kSceneKeySetName + 1];
    bool constant;
    int splined;
    long frames;  // the frames the keys were set for: the last key's frame
    int count;    // keys, the doubled ends included
    double* frame;
    double* value;
};

struct Camera {
    double location[3];
    double target[3];
    double forward[3], right[3], up[3];
};

// A growing array in a chunk group.
struct SceneArray {
    void* data;
    long count, capacity;
};

struct Scene {
    AttrState attr;
    AttrState* stack;  // kSceneStackDepth states ("3-d state stack")
    int stack_depth;

    SceneArray objects;    // SceneObject
    SceneArray surfaces;   // Surface, shared by consecutive objects alike
    SceneArray names;      // char[...] strings, packed
    SceneArray keysets;    // KeySet
    long lights;

    List* traitlist;
    List* axislist;
    Axis* active_axis;
    Axis* axis_stack[kSceneStackDepth];
    int axis_depth;

    double atmosphere;
    long seed;
    int structure;
    Camera camera;
    bool depthmap;
    double depth_near, depth_far;
    char libdir[kSceneStringMax + 1];  // kept between runs
    char scene_dir[kSceneStringMax + 1];  // folder of the scene being read

    uint32_t group;  // every allocation of the scene
    bool expr_noted;  // one note per parse for a bad expression
    int lib_depth;
};

Scene& scene();

// Loads the defaults and clears the scene-wide values (the library folder
// stays); the camera returns to (0, 0, -14) looking at the origin.
void scene_begin();
// Releases objects, traits, axes and key sets.
void scene_release();

// Parses scene text into the model.  0 or a SceneCode.
int scene_parse(const char* text, size_t length);
// Reads and parses a whole file; SCENE_READ_FAILED when it cannot be read.
int scene_parse_file(const char* path);

// The camera basis from location and target.
void scene_camera_update(Camera& cam);

// The value of a key set at the current frame; false when no set has that name.
bool scene_keyset_value(const char* name, double* value);

inline SceneObject* scene_objects() { return static_cast<SceneObject*>(scene().objects.data); }
inline long scene_object_count() { return scene().objects.count; }
inline const Surface* scene_surfaces() { return static_cast<const Surface*>(scene().surfaces.data); }
const char* scene_object_name(const SceneObject& o);
