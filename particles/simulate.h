// The motion and drawing of a particle system.
//
// Coordinates are pixels with the origin in the middle of the picture, x to
// the right, y down and z away from the viewer.  Generation places every
// particle from the system's seed (the emitter, its distribution and the
// area mode); each frame advances every particle once under the enabled
// forces; drawing projects the particles (z scale) and lays soft discs
// into the picture, added or laid over, coloured from the palette.  The
// same system, picture size, area and frame always give the same pixels.
#pragma once

#include "particles/palette.h"
#include "particles/psystem.h"

#include <cstdint>
#include <vector>

// Where a system is drawn: the picture's size and, for the area modes 4 to
// 6, the area rectangle and the area mask.
struct PsysStage {
    long width = 0, height = 0;
    const uint8_t* mask = nullptr;  // width * height weights; null: the whole picture
    int x0 = 0, y0 = 0, x1 = -1, y1 = -1;  // the area rectangle, inclusive; empty: the whole picture
};

// A generated system and how far it has been advanced.
struct PsysRun {
    ParticleSystem sys{};  // sys.particles holds the particles
    PsysPalette palette;
    PsysStage stage;       // its mask is not kept (see mask_cells)
    std::vector<uint32_t> mask_cells;    // area mode 6: the pixels with weight
    std::vector<uint64_t> mask_weights;  // their running weight totals
    long frame = 0;        // frames advanced since generation
};

// Allocates the particle storage of a record read without it ("parti").
// PSL_OK, or PSL_NO_MEMORY_PARTICLES (shown).
int psys_alloc_particles(ParticleSystem& sys);

// Places every particle and runs each one's start advance.  The record must
// hold its particles; the palette and stage must be set.  PSL_OK, or
// PSL_CANCELLED when the "Gen particles" meter was cancelled (shown; the
// particle storage is freed).
int psys_generate(PsysRun& run, bool progress = true);
// Advances every particle one frame.
void psys_step(PsysRun& run);
// Advances to `frame` (not below the run's frame); false when the
// "Calc particles" meter was cancelled (the run stays at a whole frame).
bool psys_advance(PsysRun& run, long frame, bool progress = true);
// Draws the particles into pixels of `width` x `height` (rows of `width`
// pixels).  `mask`, when given, weighs every particle's pixels.  False when
// the "Draw particles" meter was cancelled.
bool psys_draw(const PsysRun& run, uint8_t* pixels, long width, long height, const uint8_t* mask = nullptr,
               bool progress = true);
// Gives back the particles and forces of a run.
void psys_release(PsysRun& run);

// The palette colour at a palette position (wrapped or held at the ends
// as the system says), blended between neighbouring entries.
void psys_colour(const ParticleSystem& sys, const PsysPalette& palette, float position, uint8_t rgb[3]);
