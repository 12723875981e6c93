// vq ops: the operation catalogue, as text or as the Markdown of
// docs/operations.md.
#include "app/vq/command.h"
#include "app/vq/op_values.h"
#include "ops/catalogue.h"

#include <cstdio>
#include <string>

namespace {

std::string flags_of(const OpDescriptor& d)
{
    std::string f;
    auto add = [&f](bool on, const char* name) {
        if (!on)
            return;
        if (!f.empty())
            f += ", ";
        f += name;
    };
    add(d.uses_source, "uses source");
    add(d.uses_brush, "uses brush");
    add(d.full_refresh, "full refresh");
    add(d.no_alpha_masking, "no alpha masking");
    add(d.warp_capable, "warp capable");
    return f;
}

std::string script_of(const OpDescriptor& d)
{
    if (!d.keyword)
        return "-";
    if (d.script_statement)
        return std::string(d.keyword) + " (statement)";
    return std::string(d.keyword) + "(" + std::to_string(d.script_args) + ")";
}

void print_text(const OpDescriptor& d)
{
    std::printf("%4d  %-18s %-16s %-22s %s\n", d.command, d.name, script_of(d).c_str(), applier_kind_name(d.kind),
                d.available ? "available" : "not available");
    std::string f = flags_of(d);
    if (!f.empty())
        std::printf("      %s\n", f.c_str());
    if (!d.available)
        std::printf("      %s\n", d.unavailable);
    for (const OpSlot& s : d.slots) {
        if (!s.used())
            continue;
        std::printf("      %-16s %-28s %s\n", (std::string(s.key) + "=" + vq::slot_value_text(s)).c_str(), s.label,
                    vq::slot_range_text(s).c_str());
    }
}

void print_markdown()
{
    std::printf("# Operations\n\n");
    std::printf("Every operation of the catalogue, group by group, as `vq ops --markdown` prints it.\n"
                "An operation is applied with `vq apply IN OUT NAME [values]` (see the README); its name\n"
                "may be given as the display name (case ignored), its script command or its number.\n"
                "Values go in parameter order or as `key=value`; a value must lie within the typed\n"
                "range (the slider range is what the dialog's slider offers). A palette is given as\n"
                "`key=R,G,B/R,G,B/...`. Operations marked *not available* are listed with their\n"
                "numbers so that scripts, settings files and timelines can name them, but they cannot\n"
                "be applied yet.\n\n");
    int groups = 0;
    const OpGroup* g = op_groups(&groups);
    for (int k = 0; k < groups; ++k) {
        std::printf("## %s (%d)\n\n", g[k].name, g[k].command);
        std::printf("| No. | Operation | Script | Applier | Flags | Parameters (default; slider range, typed range) |\n");
        std::printf("|---|---|---|---|---|---|\n");
        for (int i = 0; i < op_count(); ++i) {
            const OpDescriptor& d = *op_at(i);
            if (d.group != g[k].command)
                continue;
            std::string params;
            for (const OpSlot& s : d.slots) {
                if (!s.used())
                    continue;
                if (!params.empty())
                    params += "<br>";
                params.append("`").append(s.key).append("` ").append(s.label);
                params.append(" (").append(vq::slot_value_text(s)).append("; ");
                params.append(vq::slot_range_text(s)).append(")");
            }
            if (params.empty())
                params = "none";
            std::string name = d.name;
            if (!d.available)
                name += " *(not available)*";
            std::string flags = flags_of(d);
            std::string script = "-";
            if (d.keyword)
                script = std::string("`").append(script_of(d)).append("`");
            std::printf("| %d | %s | %s | %s | %s | %s |\n", d.command, name.c_str(), script.c_str(),
                        applier_kind_name(d.kind), flags.empty() ? "-" : flags.c_str(), params.c_str());
        }
        std::printf("\n");
    }
}

int run_ops(vq::Args& args)
{
    bool markdown = false;
    std::string filter;
    while (!args.done()) {
        std::string a = args.next();
        if (a == "--markdown")
            markdown = true;
        else if (filter.empty())
            filter = a;
        else
            return vq::usage_error("ops", "one group or operation at a time");
    }
    if (markdown) {
        if (!filter.empty())
            return vq::usage_error("ops", "--markdown lists the whole catalogue");
        print_markdown();
        return vq::EXIT_DONE;
    }
    const OpGroup* group = nullptr;
    const OpDescriptor* one = nullptr;
    if (!filter.empty()) {
        group = op_group_find(filter);
        if (!group)
            one = vq::find_op(filter);
        if (!group && !one)
            return vq::usage_error("ops", "no group or operation \"" + filter + "\"");
    }
    if (one) {
        const OpGroup* g = op_group(one->group);
        std::printf("%s (%d)\n", g ? g->name : "", one->group);
        print_text(*one);
        return vq::EXIT_DONE;
    }
    int groups = 0;
    const OpGroup* g = op_groups(&groups);
    for (int k = 0; k < groups; ++k) {
        if (group && group != &g[k])
            continue;
        std::printf("%s (%d)\n", g[k].name, g[k].command);
        for (int i = 0; i < op_count(); ++i)
            if (op_at(i)->group == g[k].command)
                print_text(*op_at(i));
        std::printf("\n");
    }
    return vq::EXIT_DONE;
}

} // namespace

VQ_COMMAND("ops", "vq ops [GROUP | OPERATION] [--markdown]",
           "Lists the operation catalogue: for every operation its number, name, script command,\n"
           "applier, flags, whether it can be applied yet, and its parameters with their key, current\n"
           "value, slider range and typed range.  GROUP is a group's name (\"photo\", \"Photo Group\")\n"
           "or number; OPERATION a name, script command or number.  --markdown prints the whole\n"
           "catalogue as the Markdown of docs/operations.md.",
           run_ops);
