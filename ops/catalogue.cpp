#include "ops/catalogue.h"

#include "core/mem.h"
#include "ops/appliers.h"
#include "ops/catalogue_list.h"
#include "ops/tone/tone.h"
#include "ops/variables.h"

#include <cctype>
#include <cstring>
#include <strings.h>
#include <vector>

namespace {

// Each family hands over its bindings; a new family adds its line here.
using FamilyBindings = const OpBinding* (*)(int* count);
const FamilyBindings kFamilies[] = {
    tone_bindings,
};

struct CatalogueState {
    OpDescriptor* ops;  // "ops"
    int count;
    bool line_tool_images;
    std::vector<OpBinding> registered;  // from modules outside ops/
};

CatalogueState g_cat;

std::string help_word_of(const char* name)
{
    std::string w;
    for (const char* p = name; *p; ++p)
        if (std::isalnum(static_cast<unsigned char>(*p)))
            w += static_cast<char>(std::tolower(static_cast<unsigned char>(*p)));
    return w;
}

void install_slots(OpDescriptor& d, const OpSlot* slots, int count)
{
    std::memset(d.slots, 0, sizeof d.slots);
    if (count > kOpSlots)
        count = kOpSlots;
    for (int i = 0; i < count; ++i) {
        d.slots[i] = slots[i];
        d.slots[i].control = 101 + i;
    }
}

void bind(OpDescriptor& d, const OpBinding& b)
{
    d.prepare = b.prepare;
    d.worker = b.worker;
    d.warp = b.warp;
    d.prepass = b.prepass;
    d.mapping = b.mapping;
    d.finish = b.finish;
    if (b.slots)
        install_slots(d, b.slots, b.slot_count);
    d.available = 1;
    d.unavailable = nullptr;
}

// A group registers its operations from the next free index on and returns
// the next free index.
int register_group(const OpGroupList& g, int next)
{
    for (size_t i = 0; i < g.count; ++i) {
        const OpEntry& e = g.entries[i];
        OpDescriptor& d = g_cat.ops[next++];
        d.command = e.command;
        d.group = g.command;
        d.dialog = e.dialog;
        d.applier = applier_for(e.kind);
        d.kind = e.kind;
        d.uses_source = (e.flags & OP_USES_SOURCE) ? 1 : 0;
        d.full_refresh = (e.flags & OP_FULL_REFRESH) ? 1 : 0;
        d.no_alpha_masking = (e.flags & OP_NO_ALPHA_MASKING) ? 1 : 0;
        d.warp_capable = (e.flags & OP_WARP_CAPABLE) ? 1 : 0;
        d.uses_brush = (e.flags & OP_USES_BRUSH) ? 1 : 0;
        d.name = e.name;
        d.keyword = e.keyword;
        d.script_args = e.args;
        d.script_statement = e.statement;
        std::strncpy(d.help_word, help_word_of(e.name).c_str(), sizeof d.help_word - 1);
        d.available = 0;
        d.unavailable = e.command == opcmd::RayTrace
                            ? "The ray tracer is not part of this program yet; Ray Trace cannot run."
                            : "Its worker is not written yet.";
        OpSlot declared[kOpSlots];
        int n = declared_slots(e.command, declared, kOpSlots);
        install_slots(d, declared, n);
    }
    return next;
}

} // namespace

const char* applier_kind_name(ApplierKind kind)
{
    switch (kind) {
    case ApplierKind::PixelMap: return "pixel map";
    case ApplierKind::PixelMapXY: return "pixel map xy";
    case ApplierKind::PixelInPlace: return "pixel in place";
    case ApplierKind::PixelInPlaceXY: return "pixel in place xy";
    case ApplierKind::MultiPass: return "multi-pass";
    case ApplierKind::Geometric: return "geometric";
    case ApplierKind::WholeImage: return "whole image";
    case ApplierKind::WholeImageNoUndo: return "whole image, no undo";
    }
    return "?";
}

int OpDescriptor::slot_count() const
{
    int n = 0;
    for (const OpSlot& s : slots)
        if (s.used())
            ++n;
    return n;
}

const OpGroup* op_groups(int* count)
{
    static OpGroup groups[16];
    int n = 0;
    const OpGroupList* list = catalogue_groups(&n);
    for (int i = 0; i < n; ++i)
        groups[i] = {list[i].command, list[i].name, list[i].help_topic};
    *count = n;
    return groups;
}

const OpGroup* op_group(int32_t command)
{
    int n = 0;
    const OpGroup* g = op_groups(&n);
    for (int i = 0; i < n; ++i)
        if (g[i].command == command)
            return &g[i];
    return nullptr;
}

const OpGroup* op_group_find(const std::string& text)
{
    int n = 0;
    const OpGroup* g = op_groups(&n);
    for (int i = 0; i < n; ++i) {
        std::string name = g[i].name;
        std::string first = name.substr(0, name.find(' '));
        if (strcasecmp(text.c_str(), name.c_str()) == 0 || strcasecmp(text.c_str(), first.c_str()) == 0 ||
            text == std::to_string(g[i].command))
            return &g[i];
    }
    return nullptr;
}

int build_catalogue()
{
    release_catalogue();
    int groups = 0;
    const OpGroupList* list = catalogue_groups(&groups);
    long total = 5;
    for (int i = 0; i < groups; ++i)
        total += static_cast<long>(list[i].count);
    g_cat.ops = static_cast<OpDescriptor*>(mem_alloc(total * static_cast<long>(sizeof(OpDescriptor)), "ops"));
    if (!g_cat.ops)
        return 1;
    std::memset(g_cat.ops, 0, static_cast<size_t>(total) * sizeof(OpDescriptor));
    int next = 0;
    for (int i = 0; i < groups; ++i)
        next = register_group(list[i], next);
    g_cat.count = next;
    // The terminator (command 0) is already zero.

    for (FamilyBindings family : kFamilies) {
        int n = 0;
        const OpBinding* b = family(&n);
        for (int i = 0; i < n; ++i)
            if (OpDescriptor* d = op_by_command(b[i].command))
                bind(*d, b[i]);
    }
    for (const OpBinding& b : g_cat.registered)
        if (OpDescriptor* d = op_by_command(b.command))
            bind(*d, b);
    return 0;
}

void release_catalogue()
{
    if (g_cat.ops)
        g_cat.ops = mem_free_t(g_cat.ops);
    g_cat.count = 0;
}

OpDescriptor* op_catalogue()
{
    return g_cat.ops;
}

int op_count()
{
    return g_cat.count;
}

OpDescriptor* op_at(int index)
{
    if (!g_cat.ops || index < 0 || index >= g_cat.count)
        return nullptr;
    return &g_cat.ops[index];
}

int find_operation(int32_t command)
{
    if (!g_cat.ops || command == 0)
        return -1;
    for (int i = 0; g_cat.ops[i].command != 0; ++i)
        if (g_cat.ops[i].command == command)
            return i;
    return -1;
}

OpDescriptor* op_by_command(int32_t command)
{
    return op_at(find_operation(command));
}

OpDescriptor* op_by_name(const std::string& name)
{
    for (int i = 0; i < g_cat.count; ++i) {
        OpDescriptor& d = g_cat.ops[i];
        if (strcasecmp(d.name, name.c_str()) == 0 || (d.keyword && strcasecmp(d.keyword, name.c_str()) == 0))
            return &d;
    }
    return nullptr;
}

namespace {
bool is_line_command(int32_t command)
{
    return command == opcmd::ClosedLine || command == opcmd::ClosedLinePen || command == opcmd::OpenLineEdge;
}
} // namespace

bool op_uses_source(int32_t command)
{
    if (is_line_command(command) && g_cat.line_tool_images)
        return true;
    const OpDescriptor* d = op_by_command(command);
    return d && d->uses_source;
}

bool op_uses_brush(int32_t command)
{
    if (is_line_command(command) && g_cat.line_tool_images)
        return true;
    const OpDescriptor* d = op_by_command(command);
    return d && d->uses_brush;
}

bool op_full_refresh(int32_t command)
{
    const OpDescriptor* d = op_by_command(command);
    return d && d->full_refresh;
}

bool op_no_alpha_masking(int32_t command)
{
    const OpDescriptor* d = op_by_command(command);
    return d && d->no_alpha_masking;
}

void op_set_line_tool_images(bool on)
{
    g_cat.line_tool_images = on;
}

bool op_register(const OpBinding& binding)
{
    bool known = false;
    int groups = 0;
    const OpGroupList* list = catalogue_groups(&groups);
    for (int i = 0; i < groups && !known; ++i)
        for (size_t k = 0; k < list[i].count; ++k)
            if (list[i].entries[k].command == binding.command)
                known = true;
    if (!known)
        return false;
    bool replaced = false;
    for (OpBinding& b : g_cat.registered)
        if (b.command == binding.command) {
            b = binding;
            replaced = true;
        }
    if (!replaced)
        g_cat.registered.push_back(binding);
    if (OpDescriptor* d = op_by_command(binding.command))
        bind(*d, binding);
    return true;
}

// ---- slots ------------------------------------------------------------------

namespace {
OpSlot base_slot(void* var, int16_t kind, const char* key, const char* label)
{
    OpSlot s{};
    s.var = var;
    s.control = 1;
    s.kind = kind;
    s.key = key;
    s.label = label;
    return s;
}
} // namespace

OpSlot slot_int(int32_t* var, const char* key, const char* label, double slider_min, double slider_max,
                double typed_min, double typed_max, int32_t fifth)
{
    OpSlot s = base_slot(var, SLOT_INT, key, label);
    s.slider_min = slider_min;
    s.slider_max = slider_max;
    s.typed_min = typed_min;
    s.typed_max = typed_max;
    s.fifth = fifth;
    return s;
}

OpSlot slot_range(int32_t* var, const char* key, const char* label, double min, double max)
{
    return slot_int(var, key, label, min, max, min, max);
}

OpSlot slot_switch(int32_t* var, const char* key, const char* label)
{
    return slot_int(var, key, label, 0, 1, 0, 1);
}

OpSlot slot_float(float* var, const char* key, const char* label, double slider_min, double slider_max,
                  double typed_min, double typed_max)
{
    OpSlot s = base_slot(var, SLOT_FLOAT, key, label);
    s.slider_min = slider_min;
    s.slider_max = slider_max;
    s.typed_min = typed_min;
    s.typed_max = typed_max;
    return s;
}

OpSlot slot_palette(OpPalette* var, int16_t kind, const char* name, const char* key, const char* label)
{
    OpSlot s = base_slot(var, kind, key, label);
    std::strncpy(s.name, name, sizeof s.name - 1);
    s.typed_max = s.slider_max = kPaletteColours;
    return s;
}

OpSlot slot_profile(int16_t* var, int16_t kind, const char* name, int32_t high, const char* key, const char* label)
{
    OpSlot s = base_slot(var, kind, key, label);
    std::strncpy(s.name, name, sizeof s.name - 1);
    s.profile_high = high;
    s.typed_max = s.slider_max = high;
    return s;
}

double slot_get(const OpSlot& slot)
{
    if (!slot.var)
        return 0;
    if (slot.kind == SLOT_INT)
        return *static_cast<int32_t*>(slot.var);
    if (slot.kind == SLOT_FLOAT)
        return *static_cast<float*>(slot.var);
    return 0;
}

void slot_set(const OpSlot& slot, double value)
{
    if (!slot.var)
        return;
    if (slot.kind == SLOT_INT) {
        if (value > 2147483647.0)
            value = 2147483647.0;
        if (value < -2147483648.0)
            value = -2147483648.0;
        *static_cast<int32_t*>(slot.var) = static_cast<int32_t>(value);
    } else if (slot.kind == SLOT_FLOAT) {
        *static_cast<float*>(slot.var) = static_cast<float>(value);
    }
}
