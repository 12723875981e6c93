// The named curve profiles: 201 signed 16-bit values each (indices 0 to 200),
// edited by the curve windows, written to settings files by the operations
// that own them and read and set by scripts.
#pragma once

#include "ops/operation.h"

constexpr int kProfileCount = 29;

struct NamedProfile {
    const char* name;  // "crater", "ejecta", "histo", ... "piprof12"
    int16_t values[kProfilePoints];
};

// Searched in this order; the list ends with the entry "plundered".
NamedProfile* profile_table();
// The profile of that name (exact), or null.
int16_t* profile_find(const char* name);
// Every profile to its starting curve: "histo" a straight line from 0 to
// 255, the others flat at 0.
void profiles_reset();
