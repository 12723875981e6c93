#include "ops/catalogue.h"

#include "core/mem.h"
#include "core/messages.h"
#include "ops/appliers.h"
#include "ops/catalogue_list.h"
#include "ops/profiles.h"

#include <cctype>
#include <cstring>
#include <set>
#include <string>
#include <strings.h>
#include <vector>

namespace {

struct CatalogueState {
    OpDescriptor* ops;  // "ops"
    int count;
    bool line_tool_images;
    std::vector<OpRow> registered;  // from modules outside ops/
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

// Slots take dialog control numbers from 101 on; a profile slot is pointed
// at its profile's values.
void install_slots(OpDescriptor& d, std::span<const OpSlot> slots)
{
    std::memset(d.slots, 0, sizeof d.slots);
    const size_t count = std::min(slots.size(), static_cast<size_t>(kOpSlots));
    for (size_t i = 0; i < count; ++i) {
        d.slots[i] = slots[i];
        d.slots[i].control = static_cast<int32_t>(101 + i);
        if (slot_is_profile(slots[i].kind) && !slots[i].var)
            d.slots[i].var = profile_find(slots[i].profile);
    }
}

bool has_worker(const OpWorkers& w)
{
    return w.map || w.map_xy || w.place || w.place_xy || w.whole || w.map_run;
}

void bind(OpDescriptor& d, const OpRow& row, bool keep_declared_slots)
{
    d.prepare = row.prepare;
    d.worker = row.worker;
    d.warp = row.warp;
    d.prepass = row.prepass;
    d.mapping = row.mapping;
    d.finish = row.finish;
    if (row.doc)
        d.doc = row.doc;
    d.parallel = row.parallel ? 1 : 0;
    if (!row.slots.empty() || !keep_declared_slots)
        install_slots(d, row.slots);
    d.available = has_worker(row.worker) ? 1 : 0;
    d.unavailable = d.available ? nullptr : "Its worker is not written yet.";
}

// A group enters its operations from the next free index on and returns the
// next free index.
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
        d.unavailable = "Its worker is not written yet.";
    }
    return next;
}

const OpEntry* list_entry(int32_t command)
{
    int groups = 0;
    const OpGroupList* list = catalogue_groups(&groups);
    for (int i = 0; i < groups; ++i)
        for (size_t k = 0; k < list[i].count; ++k)
            if (list[i].entries[k].command == command)
                return &list[i].entries[k];
    return nullptr;
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
    std::string problems;
    if (catalogue_check(op_families(), &problems) != 0) {
        error_box("The operation catalogue is inconsistent.", problems.c_str());
        return 1;
    }
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

    for (const OpFamily* family : op_families())
        for (const OpRow& row : family->rows)
            if (OpDescriptor* d = op_by_command(row.command))
                bind(*d, row, false);
    for (const OpRow& row : g_cat.registered)
        if (OpDescriptor* d = op_by_command(row.command))
            bind(*d, row, true);
    return 0;
}

void release_catalogue()
{
    if (g_cat.ops)
        g_cat.ops = mem_free_t(g_cat.ops);
    g_cat.count = 0;
}

void forget_registered_operations()
{
    g_cat.registered.clear();
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

bool op_register(const OpRow& row)
{
    const OpEntry* e = list_entry(row.command);
    if (!e || !op_row_fits(row, e->kind, (e->flags & OP_WARP_CAPABLE) != 0, nullptr))
        return false;
    bool replaced = false;
    for (OpRow& r : g_cat.registered)
        if (r.command == row.command) {
            r = row;
            replaced = true;
        }
    if (!replaced)
        g_cat.registered.push_back(row);
    if (OpDescriptor* d = op_by_command(row.command))
        bind(*d, row, true);
    return true;
}

// ---- the start-up check ---------------------------------------------------------

namespace {

// The one member of the workers each applier calls.
enum WorkerMember : unsigned { W_MAP = 1, W_MAP_XY = 2, W_PLACE = 4, W_PLACE_XY = 8, W_WHOLE = 16, W_RUN = 32 };

unsigned members(const OpWorkers& w)
{
    return (w.map ? W_MAP : 0u) | (w.map_xy ? W_MAP_XY : 0u) | (w.place ? W_PLACE : 0u) |
           (w.place_xy ? W_PLACE_XY : 0u) | (w.whole ? W_WHOLE : 0u) | (w.map_run ? W_RUN : 0u);
}

unsigned member_for(ApplierKind kind)
{
    switch (kind) {
    case ApplierKind::PixelMap: return W_MAP;
    case ApplierKind::PixelMapXY: return W_MAP_XY;
    case ApplierKind::PixelInPlace: return W_PLACE;
    case ApplierKind::PixelInPlaceXY:
    case ApplierKind::MultiPass:
    case ApplierKind::Geometric: return W_PLACE_XY;
    case ApplierKind::WholeImage:
    case ApplierKind::WholeImageNoUndo: return W_WHOLE;
    }
    return 0;
}

const char* member_name(unsigned m)
{
    switch (m) {
    case W_MAP: return "map";
    case W_MAP_XY: return "map_xy";
    case W_PLACE: return "place";
    case W_PLACE_XY: return "place_xy";
    case W_WHOLE: return "whole";
    }
    return "?";
}

} // namespace

bool op_row_fits(const OpRow& row, ApplierKind kind, bool warp_capable, std::string* why)
{
    const unsigned want = member_for(kind);
    // The run form goes only with a pixel map worker.
    const unsigned allowed = want | (want == W_MAP ? W_RUN : 0u);
    const unsigned have = members(row.worker);
    auto fail = [&](const std::string& text) {
        if (why)
            *why = text;
        return false;
    };
    if (have & ~allowed)
        return fail(std::string("its worker is not the ") + member_name(want) + " worker its " +
                    applier_kind_name(kind) + " applier calls");
    if ((have & W_RUN) && !(have & W_MAP))
        return fail("a run form without its pixel map worker");
    const unsigned warp = members(row.warp);
    if (warp && !warp_capable)
        return fail("a warp worker on an operation that is not warp capable");
    if (warp & ~want)
        return fail(std::string("its warp worker is not the ") + member_name(want) + " worker");
    if (row.mapping && kind != ApplierKind::Geometric)
        return fail("a mapping on an operation that is not geometric");
    if (row.prepass && kind != ApplierKind::MultiPass)
        return fail("a pre-pass hook on an operation that is not multi-pass");
    if (row.slots.size() > static_cast<size_t>(kOpSlots))
        return fail("more than 55 parameter slots");
    return true;
}

int catalogue_check(std::span<const OpFamily* const> families, std::string* report)
{
    int problems = 0;
    auto problem = [&](const std::string& text) {
        ++problems;
        if (report)
            *report += text + "\n";
    };
    int groups = 0;
    const OpGroupList* list = catalogue_groups(&groups);
    std::set<int32_t> listed;
    for (int i = 0; i < groups; ++i)
        for (size_t k = 0; k < list[i].count; ++k)
            if (!listed.insert(list[i].entries[k].command).second)
                problem("command " + std::to_string(list[i].entries[k].command) + " is listed twice");

    std::set<int32_t> rowed;
    for (const OpFamily* family : families) {
        for (const OpRow& row : family->rows) {
            const std::string where = std::string(family->name) + " row " + std::to_string(row.command);
            const OpEntry* e = list_entry(row.command);
            if (!e) {
                problem(where + ": the command is not in the catalogue");
                continue;
            }
            if (!rowed.insert(row.command).second)
                problem(where + " (" + e->name + "): the operation has another row");
            std::string why;
            if (!op_row_fits(row, e->kind, (e->flags & OP_WARP_CAPABLE) != 0, &why))
                problem(where + " (" + e->name + "): " + why);
            std::set<std::string> keys;
            for (const OpSlot& slot : row.slots) {
                const char* key = slot.key ? slot.key : "";
                if (!*key)
                    problem(where + " (" + e->name + "): a slot without a key");
                else if (!keys.insert(key).second)
                    problem(where + " (" + e->name + "): the slot key \"" + key + "\" is used twice");
                if (slot_is_profile(slot.kind) && !slot.var && !profile_find(slot.profile))
                    problem(where + " (" + e->name + "): no profile is named \"" +
                            (slot.profile ? slot.profile : "") + "\"");
                if ((slot_is_palette(slot.kind) || slot_is_profile(slot.kind)) && !slot.name[0])
                    problem(where + " (" + e->name + "): a palette or profile slot without its file name");
                if (!slot_is_profile(slot.kind) && !slot.var)
                    problem(where + " (" + e->name + "): the slot \"" + key + "\" has no variable");
            }
        }
    }
    return problems;
}

// ---- slots ------------------------------------------------------------------

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
