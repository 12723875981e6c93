// The catalogue's fixed list, read by build_catalogue.
#pragma once

#include "ops/operation.h"

#include <cstddef>

enum OpFlag : uint16_t {
    OP_USES_SOURCE = 1,
    OP_FULL_REFRESH = 2,
    OP_NO_ALPHA_MASKING = 4,
    OP_WARP_CAPABLE = 8,
    OP_USES_BRUSH = 16,
};

struct OpEntry {
    int32_t command;
    const char* name;
    const char* dialog;
    ApplierKind kind;
    uint16_t flags;
    const char* keyword;  // script command, null when none
    int16_t args;         // its argument count
    int16_t statement = 0;  // 1: a statement (no arguments)
};

struct OpGroupList {
    int32_t command;
    const char* name;
    const char* help_topic;
    const OpEntry* entries;
    size_t count;
};

const OpGroupList* catalogue_groups(int* count);
