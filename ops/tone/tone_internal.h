// Workers and hooks of the tone family, shared between its files.
#pragma once

#include <cstdint>

struct Image;

// Standard Group (tables.cpp).
void table_worker(uint8_t* pixel, int weight);
int contrast_prepare(Image*, int);
int remap_prepare(Image*, int);
int brightness_prepare(Image*, int);
int gamma_prepare(Image*, int);
int color_fill_prepare(Image*, int);
int balance_prepare(Image*, int);
bool histogram_measuring();
void histogram_build_tables();
int histogram_measure(Image* target, uint8_t* mask);
void remap_worker(uint8_t* pixel, int weight);
void colorize_worker(uint8_t* pixel, int weight);

// Photo and Art Groups (photo.cpp).
uint32_t mono_worker(uint32_t pixel);
uint32_t negative_worker(uint32_t pixel);
uint32_t negative_warp_worker(uint32_t pixel);
uint32_t hue_worker(uint32_t pixel);
uint32_t saturation_worker(uint32_t pixel);
uint32_t value_worker(uint32_t pixel);
uint32_t glare_worker(uint32_t pixel);
uint32_t antique_worker(uint32_t pixel);
int gel_prepare(Image*, int);
uint32_t gel_worker(uint32_t pixel);
uint32_t pseudo_worker(uint32_t pixel);
uint32_t false_color_worker(uint32_t pixel);
int solarize_prepare(Image*, int);
uint32_t solarize_worker(uint32_t pixel);

// Run forms of the pixel-map workers (photo_runs.cpp): out[i] is the
// worker's colour for the pixel at in + 4i.
void hue_run(const uint8_t* in, uint32_t* out, int count);
void value_run(const uint8_t* in, uint32_t* out, int count);
void saturation_run(const uint8_t* in, uint32_t* out, int count);
void mono_run(const uint8_t* in, uint32_t* out, int count);
void negative_run(const uint8_t* in, uint32_t* out, int count);
