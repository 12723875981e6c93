// The lighting and plasma operations: their parameters, table and workers.
// Their curve profiles live in the profile table ("asterize", "annular" and
// the twelve of Refract).
#pragma once

#include "ops/operation.h"

struct Image;

struct LightingParams {
    // Asterize: a star of light at the area's centre.
    int32_t star_arms;       // 2..64
    int32_t star_length;     // % of the area's smaller half size
    int32_t star_width;      // arm width at its root, % of the length
    int32_t star_turn;       // degrees
    int32_t star_intensity;  // %
    int32_t star_core;       // glow radius of the core, % of the length
    int32_t star_rgb[3];
    int32_t star_twinkle;    // every second arm this % shorter

    // Annular: a ring of light.
    int32_t ring_radius;     // % of the smaller half size
    int32_t ring_width;      // %
    int32_t ring_rgb[3];

    // Refract: the strength of its twelve profiles.
    int32_t refract_amount;  // 0..100

    // Shine: glints on the highlights.
    int32_t shine_threshold; // 0..255
    int32_t shine_length;    // pixels
    int32_t shine_strength;  // %
    int32_t shine_rays;      // 0 soft glow, 2, 4 or 8 streaks

    // Lightning.
    int32_t bolt_from[2];    // % across and down the area
    int32_t bolt_to[2];
    int32_t bolt_roughness;  // 0..100
    int32_t bolt_branches;
    int32_t bolt_thickness;  // pixels
    int32_t bolt_glow;       // pixels
    int32_t bolt_rgb[3];
    int32_t bolt_seed;

    // Aura.
    int32_t aura_source;     // 0 brightness, 1 alpha
    int32_t aura_threshold;
    int32_t aura_size;       // pixels
    int32_t aura_falloff;    // 1..100
    int32_t aura_inner[3];
    int32_t aura_outer[3];
    int32_t aura_strength;   // %
    int32_t aura_turbulence; // %
    int32_t aura_scale;      // pixels
    int32_t aura_phase;      // degrees
    int32_t aura_seed;
    int32_t aura_inside;     // 1: over the shapes too

    // Fire.
    int32_t fire_seed;
    int32_t fire_height;     // % of the area's height
    int32_t fire_intensity;  // %
    int32_t fire_cooling;    // 0..100
    int32_t fire_wind;       // -100..100
    int32_t fire_turbulence; // 0..100
    int32_t fire_scale;      // pixels
    int32_t fire_time;       // frames
    int32_t fire_tongues;
    int32_t fire_spread;     // 0..100
    int32_t fire_smoke;      // 0..100
    int32_t fire_opacity;    // 0..100
    int32_t fire_core[3];
    int32_t fire_mid[3];
    int32_t fire_tip[3];
    int32_t fire_smoke_rgb[3];
};

extern LightingParams g_lighting_params;
inline LightingParams& lighting_params()
{
    return g_lighting_params;
}

struct OpFamily;
extern const OpFamily kLightingFamily;

// Workers and hooks (lights.cpp, plasma.cpp).
int asterize_prepare(Image* target, int view);
void asterize_worker(uint8_t* p, int x, int y, int weight);
int annular_prepare(Image* target, int view);
void annular_worker(uint8_t* p, int x, int y, int weight);
int refract_prepare(Image* target, int view);
void refract_worker(uint8_t* p, int x, int y, int weight);
int shine_prepare(Image* target, int view);
int shine_prepass(Image* target, uint8_t* pixels);
void shine_worker(uint8_t* p, int x, int y, int weight);
int shine_finish(Image* target, int view);
void lights_release();

int lightning_worker(Image* target, uint8_t* mask);
int aura_worker(Image* target, uint8_t* mask);
int fire_worker(Image* target, uint8_t* mask);

// Starting contents of the lighting profiles.
void lighting_profiles_reset();
