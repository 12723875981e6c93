// The "Particles" operation: draws the particle system of its file into the
// target at the current frame of the sequence being generated (frame 0
// outside one).  A run is kept between calls, so that the frames of a
// sequence advance the system one step at a time instead of from the start.
#pragma once

#include "particles/psystem.h"

#include <cstdint>

struct Image;
struct AreaRect;

struct ParticlesState {
    // The operation's parameter: the particle-system file.  Empty takes the
    // folder and name of the preferences ("PartiPath", "ParticleSystem").
    char file[kPsysName] = "";
    // What the last draw did, for reports and tests.
    long last_frame = 0;
    long last_steps = 0;       // frames advanced for it
    bool last_generated = false;
};
ParticlesState& particles_state();

// The file the operation draws: its parameter, else the preferences'.
const char* particles_file();

// Draws the system of `path` at `frame` over the pixels of `target`
// (locked here).  `mask` weighs the drawing (null: everywhere); `rect` is the
// area rectangle for the area modes (null: the whole picture).  0 done; 1
// the file, its palette or memory failed (reported); 2 cancelled.
int particles_render(Image* target, const char* path, long frame, const uint8_t* mask = nullptr,
                     const AreaRect* rect = nullptr);

// The operation's whole-image worker and prepare hook.
int particles_worker(Image* target, uint8_t* mask);
int particles_prepare(Image* target, int view_index);

// Forgets the kept run (the next draw starts from generation).
void particles_forget();
