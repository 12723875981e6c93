// The lighting and plasma operations: their table.  Their curve profiles
// live in the profile table.
#pragma once

struct OpFamily;
extern const OpFamily kLightingFamily;
