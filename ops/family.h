// What an operation family hands the catalogue: one constant table of rows,
// one row per operation it implements.
//
// The catalogue's fixed list (catalogue_list.cpp) names every operation, its
// group, dialog, applier and flags.  A family row adds what only the family
// knows: the worker of the kind the applier calls, the warp worker, the
// geometric mapping, the hooks, and the parameter slots with the variables
// that hold the values.  A row without a worker declares its slots only
// (settings files, scripts and timelines can name the parameters) and the
// operation stays unavailable.
//
// Adding an operation is one row in its family's table (and its worker);
// adding a family is one line in families.cpp.  build_catalogue checks every
// row against the catalogue at start-up (catalogue_check).
#pragma once

#include "ops/operation.h"

#include <span>

struct OpRow {
    int32_t command;
    OpWorkers worker{};  // only the member the operation's applier calls
    OpWorkers warp{};    // the same member, for warp layers; empty when none
    OpMapping mapping = nullptr;
    OpPrepare prepare = nullptr;
    OpPrepass prepass = nullptr;
    OpFinish finish = nullptr;
    std::span<const OpSlot> slots{};
    // What the operation does for its user, in Markdown: the effect, each
    // parameter, and the formula (docs/operations.md and the help pages).
    const char* doc = nullptr;
    // The appliers may hand its rows to several threads: its worker reads
    // only its own pixel (and the capture, the source or tables made before
    // the run) and writes only its own pixel.  Results must not depend on
    // the order of the rows.
    bool parallel = false;
};

struct OpFamily {
    const char* name;  // "tone": for the start-up check's report
    std::span<const OpRow> rows;
    void (*reset)();     // parameters to their starting values; may be null
    bool (*init)();      // tables the workers need; false stops start-up; may be null
    void (*release)();   // gives back what init took; may be null
};

// The registration list (families.cpp).
std::span<const OpFamily* const> op_families();

// ---- slots, for the families' constant tables --------------------------------

namespace slot_detail {
constexpr OpSlot base(void* var, int16_t kind, const char* key, const char* label)
{
    OpSlot s{};
    s.var = var;
    s.control = 1;
    s.kind = kind;
    s.key = key;
    s.label = label;
    return s;
}
constexpr void copy_name(char (&out)[13], const char* name)
{
    int i = 0;
    for (; name && name[i] && i < 12; ++i)
        out[i] = name[i];
    for (; i < 13; ++i)
        out[i] = 0;
}
} // namespace slot_detail

// An integer with a slider range and a wider typed range; `fifth` is 360 for
// hue-like parameters.
constexpr OpSlot slot_int(int32_t* var, const char* key, const char* label, double slider_min, double slider_max,
                          double typed_min, double typed_max, int32_t fifth = 0)
{
    OpSlot s = slot_detail::base(var, SLOT_INT, key, label);
    s.slider_min = slider_min;
    s.slider_max = slider_max;
    s.typed_min = typed_min;
    s.typed_max = typed_max;
    s.fifth = fifth;
    return s;
}

constexpr OpSlot slot_range(int32_t* var, const char* key, const char* label, double min, double max)
{
    return slot_int(var, key, label, min, max, min, max);
}

// A range whose values are choices with names ("Average|Luminance|Red"):
// the dialog offers the names.
constexpr OpSlot slot_choice(int32_t* var, const char* key, const char* label, double min, double max,
                             const char* names)
{
    OpSlot s = slot_int(var, key, label, min, max, min, max);
    s.choices = names;
    return s;
}

constexpr OpSlot slot_switch(int32_t* var, const char* key, const char* label)
{
    return slot_int(var, key, label, 0, 1, 0, 1);
}

constexpr OpSlot slot_float(float* var, const char* key, const char* label, double slider_min, double slider_max,
                            double typed_min, double typed_max)
{
    OpSlot s = slot_detail::base(var, SLOT_FLOAT, key, label);
    s.slider_min = slider_min;
    s.slider_max = slider_max;
    s.typed_min = typed_min;
    s.typed_max = typed_max;
    return s;
}

// A palette slot: `name` is its name in settings files ("linearpal").
constexpr OpSlot slot_palette(OpPalette* var, int16_t kind, const char* name, const char* key, const char* label)
{
    OpSlot s = slot_detail::base(var, kind, key, label);
    slot_detail::copy_name(s.name, name);
    s.typed_max = s.slider_max = kPaletteColours;
    return s;
}

// A curve profile slot.  `table` names the profile of the profile table
// ("asterize") and is its key on the command line unless `key` is given;
// `name` is its name in settings files ("Arm"); `high` its highest value.
// The catalogue points the slot at the profile's values when it is built.
constexpr OpSlot slot_profile(const char* table, int16_t kind, const char* name, int32_t high,
                              const char* label = nullptr, const char* key = nullptr)
{
    OpSlot s = slot_detail::base(nullptr, kind, key ? key : table, label ? label : name);
    s.profile = table;
    slot_detail::copy_name(s.name, name);
    s.profile_high = high;
    s.typed_max = s.slider_max = high;
    return s;
}

// A text slot of `size` bytes (kinds 17, 18, 20; 19 a further text).
constexpr OpSlot slot_text(char* var, int16_t kind, int32_t size, const char* key, const char* label)
{
    OpSlot s = slot_detail::base(var, kind, key, label);
    s.text_size = size;
    return s;
}

// Workers by applier, for the rows.
constexpr OpWorkers worker_map(uint32_t (*f)(uint32_t), void (*run)(const uint8_t*, uint32_t*, int) = nullptr)
{
    OpWorkers w{};
    w.map = f;
    w.map_run = run;
    return w;
}
constexpr OpWorkers worker_map_xy(uint32_t (*f)(uint32_t, int, int))
{
    OpWorkers w{};
    w.map_xy = f;
    return w;
}
constexpr OpWorkers worker_place(void (*f)(uint8_t*, int))
{
    OpWorkers w{};
    w.place = f;
    return w;
}
constexpr OpWorkers worker_place_xy(void (*f)(uint8_t*, int, int, int))
{
    OpWorkers w{};
    w.place_xy = f;
    return w;
}
constexpr OpWorkers worker_whole(int (*f)(Image*, uint8_t*))
{
    OpWorkers w{};
    w.whole = f;
    return w;
}
