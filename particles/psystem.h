// The particle-system record with its forces, and the "*.PSY" file that
// keeps it: a text of key-value pairs, written in a fixed order and read in
// any order the key rules allow.
//
//     ParticleSystem sys;
//     psys_defaults(sys);
//     if (psys_read("fountain.psy", sys, true) == 0) { ... psys_free(sys); }
//
// Every failure of the reader is shown once as the "Note!" box
// "PSL Error #N - Particle System Creation Failed" (with the file and the
// reason on a second line) and leaves no storage behind.
#pragma once

#include <cstdint>
#include <string>

constexpr int kPsysName = 300;  // the palette name, with its terminating zero

enum ForceType : int32_t {
    FORCE_LINEAR = 0,
    FORCE_RADIAL = 1,
    FORCE_CONSTANT = 2,
    FORCE_VORTEX = 3,
};

struct Force {
    int32_t ftype;
    float fxw, fyw, fzw;  // the force's centre
    float fxv, fyv, fzv;  // its push (linear, constant) or axis (vortex)
    float ftx, fty, ftz;  // read only: accepted, not used, not written
    float ftr, fta;       // reach and strength (radial, vortex, linear's reach)
    float fdecay;         // strength lost a frame, 0 to 1
    float sizestart, sizeend;
    float fadestart, fadeend;
    float turbstart, turbend;
    float pastart, paend;
    float vsstart, vsend;
    float fbegin, fend;   // the particle times between which it acts
    int32_t fseed;        // read only
    int32_t enable;
};

struct Particle {
    float x, y, z;
    float vx, vy, vz;
    float size;          // base radius in pixels
    float colour;        // palette position
    float birth_colour;  // where the colour starts again on a re-birth
    float age;           // frames since birth
    float time_advance;  // added to the age for ramps and force windows
    uint32_t rng;        // its own random stream (re-births)
};

struct ParticleSystem {
    int32_t particlecount;
    float x, y, z;
    float xw, yw, zw;
    float xv, yv, zv;
    float minsize, maxsize;
    float advancerange;
    float timeadvancerange;
    float minspacing;  // read only
    int32_t circular;  // "dist": 1 circular, 0 square
    float minsrad;
    float maxv;        // read only
    float zscale;
    int32_t palettewrap;
    int32_t stickypalette;
    int32_t agewrap;
    int32_t seed;
    int32_t clip;
    int32_t additive;
    int32_t twodee;
    int32_t areamode;  // 0 to 6
    Particle* particles = nullptr;  // "parti", particlecount records when generated
    int32_t forcecount;
    Force* forces = nullptr;        // "force", forcecount records
    char palette[kPsysName];
};

// The reader's codes (shown as "PSL Error #N").
enum PslError : int {
    PSL_OK = 0,
    PSL_OPEN = 2,
    PSL_UNKNOWN_KEY = 3,
    PSL_PARTICLECOUNT_TWICE = 4,
    PSL_NO_MEMORY_PARTICLES = 5,
    PSL_FORCECOUNT_TWICE = 6,
    PSL_NO_MEMORY_FORCES = 7,
    PSL_NOT_PSYSTEM = 8,
    PSL_FORCE_BEFORE_COUNT = 9,
    PSL_TOO_MANY_FORCES = 10,
    PSL_BAD_FTYPE = 11,
    PSL_FTYPE_BEFORE_FORCE = 12,
    PSL_FORCE_COUNT_DIFFERS = 24,
    PSL_BAD_DIST = 25,
    PSL_ENABLE_BEFORE_FORCE = 32,
    PSL_BAD_VALUE = 36,  // a value that is not a number, or out of its range
    PSL_CANCELLED = 1000,
};

// Limits that keep a hostile file from asking for the machine.
struct PsysLimits {
    long max_particles = 10'000'000;
    long max_forces = 1000;
    long max_file_bytes = 16L << 20;
};
PsysLimits& psys_limits();

void force_defaults(Force& force);
// The record's defaults; the particle and force pointers become null
// without being freed.
void psys_defaults(ParticleSystem& sys);
// Gives back the particle and force storage; the counts stay.
void psys_free(ParticleSystem& sys);
// Copies the record and its forces (not the particles).  False when the
// forces cannot be allocated (`to` is then left without forces).
bool psys_copy(ParticleSystem& to, const ParticleSystem& from);
// Appends a force with the defaults / removes force `index`.  False when
// there is no memory or no such force.
bool psys_add_force(ParticleSystem& sys);
bool psys_remove_force(ParticleSystem& sys, int index);

// Reads a file into `sys` (reset to its defaults first; what it held
// before is freed).  `for_generation` allocates the particle storage.
// Returns PSL_OK or the code that was shown; an empty name fails with
// PSL_OPEN and no message.
int psys_read(const char* path, ParticleSystem& sys, bool for_generation);
// Writes the record in the file's order through a temporary file.  0 done;
// 1 failed (reported).
int psys_write(const char* path, const ParticleSystem& sys);
// The text the writer writes.
std::string psys_format(const ParticleSystem& sys);

// "linear", "radial", "constant", "vortex" (the file's names).
const char* force_type_word(int type);
// The force dialog's name: "Linear" ... with " (w/Turbulence)" when the
// force has turbulence.
std::string force_display_name(const Force& force);
// The text of an error code: "PSL Error #%d - Particle System Creation Failed".
std::string psys_error_text(int code);

// The bytes of every field the simulation reads, forces included: two
// records that give the same key move and draw alike.
std::string psys_key(const ParticleSystem& sys);
