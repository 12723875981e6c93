// vq ops: the operation catalogue, as text or as the Markdown of
// docs/operations.md.
#include "app/vq/command.h"
#include "core/safe_write.h"
#include "ops/catalogue.h"
#include "ops/op_values.h"

#include <cstdio>
#include <vector>
#include <sys/stat.h>
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
        std::printf("      %-16s %-28s %s\n", (std::string(s.key) + "=" + slot_value_text(s)).c_str(), s.label,
                    slot_range_text(s).c_str());
    }
}

std::string params_cell(const OpDescriptor& d)
{
    std::string params;
    for (const OpSlot& s : d.slots) {
        if (!s.used())
            continue;
        if (!params.empty())
            params += "<br>";
        params.append("`").append(s.key).append("` ").append(s.label);
        params.append(" (").append(slot_value_text(s)).append("; ");
        params.append(slot_range_text(s)).append(")");
    }
    return params.empty() ? "none" : params;
}

// docs/operations.md: per group a table of its operations, then a section
// for each available one with its picture and description.
void print_markdown(bool available_only)
{
    std::printf("# Operations\n\n");
    std::printf("Every operation of the catalogue, group by group, as `vq ops --markdown` prints it.\n"
                "An operation is applied with `vq apply IN OUT NAME [values]` (see the README); its name\n"
                "may be given as the display name (case ignored), its script command or its number.\n"
                "Values go in parameter order or as `key=value`; a value must lie within the typed\n"
                "range (the slider range is what the dialog's slider offers). A palette is given as\n"
                "`key=R,G,B/R,G,B/...`.\n\n"
                "Each picture shows the operation with its default parameters on the sample picture\n"
                "`data/gallery/sample.png` (below); `scripts/gallery.sh` makes them again.\n\n"
                "![The sample picture](gallery/sample.png)\n\n");
    int unavailable = 0;
    for (int i = 0; i < op_count(); ++i)
        unavailable += op_at(i)->available ? 0 : 1;
    if (available_only && unavailable)
        std::printf("%d operation%s not available yet; `vq ops --markdown --all` lists %s too.\n\n", unavailable,
                    unavailable == 1 ? " is" : "s are", unavailable == 1 ? "it" : "them");
    else if (unavailable)
        std::printf("Operations marked *not available* are listed with their numbers so that scripts,\n"
                    "settings files and timelines can name them, but they cannot be applied yet.\n\n");
    int groups = 0;
    const OpGroup* g = op_groups(&groups);
    for (int k = 0; k < groups; ++k) {
        std::vector<const OpDescriptor*> ops;
        for (int i = 0; i < op_count(); ++i) {
            const OpDescriptor& d = *op_at(i);
            if (d.group == g[k].command && (d.available || !available_only))
                ops.push_back(&d);
        }
        if (ops.empty())
            continue;
        std::printf("## %s (%d)\n\n", g[k].name, g[k].command);
        std::printf("| No. | Operation | Script | Applier | Flags | Parameters (default; slider range, typed range) |\n");
        std::printf("|---|---|---|---|---|---|\n");
        for (const OpDescriptor* op : ops) {
            const OpDescriptor& d = *op;
            std::string name = d.name;
            if (d.available && d.doc) {
                name.insert(0, 1, '[');
                name.append("](#").append(d.help_word).append(")");
            }
            if (!d.available)
                name += " *(not available)*";
            std::string flags = flags_of(d);
            std::string script = "-";
            if (d.keyword)
                script = std::string("`").append(script_of(d)).append("`");
            std::printf("| %d | %s | %s | %s | %s | %s |\n", d.command, name.c_str(), script.c_str(),
                        applier_kind_name(d.kind), flags.empty() ? "-" : flags.c_str(), params_cell(d).c_str());
        }
        std::printf("\n");
        for (const OpDescriptor* op : ops) {
            const OpDescriptor& d = *op;
            if (!d.available || !d.doc)
                continue;
            std::printf("<a id=\"%s\"></a>\n### %s\n\n", d.help_word, d.name);
            std::printf("![%s](gallery/%s.png)\n\n", d.name, d.help_word);
            std::string doc = d.doc;
            while (!doc.empty() && (doc.front() == '\n'))
                doc.erase(doc.begin());
            while (!doc.empty() && (doc.back() == '\n' || doc.back() == ' '))
                doc.pop_back();
            std::printf("%s\n\n", doc.c_str());
        }
    }
}

std::string html_escape(const std::string& text)
{
    std::string out;
    for (char c : text) {
        switch (c) {
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '&': out += "&amp;"; break;
        case '"': out += "&quot;"; break;
        default: out += c;
        }
    }
    return out;
}

// The help pages "f_op_<word>.html" the Help menu opens, one per operation,
// and an index.
// One page, replacing the old one only when it was written whole.
bool write_page(const std::string& path, const std::string& text)
{
    SafeWrite out(path.c_str());
    FILE* f = out.open("w");
    return f && std::fputs(text.c_str(), f) >= 0 && out.commit() == 0;
}

int write_html(const std::string& folder)
{
    mkdir(folder.c_str(), 0755);
    std::string index = "<html><head><title>Operations</title></head><body><h1>Operations</h1>\n";
    int groups = 0;
    const OpGroup* g = op_groups(&groups);
    for (int k = 0; k < groups; ++k) {
        index += "<h2>" + html_escape(g[k].name) + "</h2><ul>\n";
        for (int i = 0; i < op_count(); ++i) {
            const OpDescriptor& d = *op_at(i);
            if (d.group != g[k].command)
                continue;
            std::string page = std::string("f_op_") + d.help_word + ".html";
            index += "<li><a href=\"" + page + "\">" + html_escape(d.name) + "</a>" +
                     (d.available ? "" : " (not available)") + "</li>\n";
            std::string html = "<html><head><title>" + html_escape(d.name) + "</title></head><body>\n";
            html += "<h1>" + html_escape(d.name) + "</h1>\n<p>" + html_escape(g[k].name) + ", operation " +
                    std::to_string(d.command) + ". Applier: " + applier_kind_name(d.kind) + ".";
            std::string flags = flags_of(d);
            if (!flags.empty())
                html += " It " + html_escape(flags) + ".";
            html += "</p>\n";
            if (!d.available)
                html += "<p><b>Not available:</b> " + html_escape(d.unavailable ? d.unavailable : "") + "</p>\n";
            if (d.doc)
                html += "<pre style=\"white-space: pre-wrap\">" + html_escape(d.doc) + "</pre>\n";
            if (d.keyword)
                html += "<p>Script command: <code>" + html_escape(script_of(d)) + "</code></p>\n";
            html += "<h2>Parameters</h2>\n";
            if (d.slot_count() == 0) {
                html += "<p>None: the operation applies at once.</p>\n";
            } else {
                html += "<table border=\"1\" cellpadding=\"4\"><tr><th>Parameter</th><th>Key</th>"
                        "<th>Default</th><th>Range</th></tr>\n";
                for (const OpSlot& s : d.slots) {
                    if (!s.used())
                        continue;
                    html += "<tr><td>" + html_escape(s.label ? s.label : "") + "</td><td><code>" +
                            html_escape(s.key ? s.key : "") + "</code></td><td>" +
                            html_escape(slot_value_text(s)) + "</td><td>" + html_escape(slot_range_text(s)) +
                            "</td></tr>\n";
                }
                html += "</table>\n";
            }
            html += "<p>From the shell: <code>vq apply IN OUT \"" + html_escape(d.name) +
                    "\" [values]</code>. <a href=\"index.html\">All operations</a></p>\n</body></html>\n";
            std::string path = folder + "/" + page;
            if (!write_page(path, html))
                return vq::failure("cannot write " + path);
        }
        index += "</ul>\n";
    }
    index += "</body></html>\n";
    std::string path = folder + "/index.html";
    if (!write_page(path, index))
        return vq::failure("cannot write " + path);
    return vq::EXIT_DONE;
}

int run_ops(vq::Args& args)
{
    bool markdown = false, available_only = false, all = false, names = false;
    std::string filter;
    std::string html;
    while (!args.done()) {
        std::string a = args.next();
        if (a == "--html") {
            if (args.done())
                return vq::usage_error("ops", "--html needs a folder");
            html = args.next();
            continue;
        }
        if (a == "--markdown")
            markdown = true;
        else if (a == "--available")
            available_only = true;
        else if (a == "--all")
            all = true;
        else if (a == "--names")
            names = true;
        else if (filter.empty())
            filter = a;
        else
            return vq::usage_error("ops", "one group or operation at a time");
    }
    if (!html.empty())
        return write_html(html);
    if (markdown) {
        if (!filter.empty())
            return vq::usage_error("ops", "--markdown lists the whole catalogue");
        print_markdown(!all);
        return vq::EXIT_DONE;
    }
    if (names) {
        // For scripts: help word, a tab, the display name; available ones only with --available.
        for (int i = 0; i < op_count(); ++i) {
            const OpDescriptor& d = *op_at(i);
            const OpGroup* g = op_group(d.group);
            if ((available_only && !d.available) ||
                (!filter.empty() && (!g || op_group_find(filter) != g)))
                continue;
            std::printf("%s\t%s\n", d.help_word, d.name);
        }
        return vq::EXIT_DONE;
    }
    const OpGroup* group = nullptr;
    const OpDescriptor* one = nullptr;
    if (!filter.empty()) {
        group = op_group_find(filter);
        if (!group)
            one = op_find(filter);
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
            if (op_at(i)->group == g[k].command && (!available_only || op_at(i)->available))
                print_text(*op_at(i));
        std::printf("\n");
    }
    return vq::EXIT_DONE;
}

const vq::Option kOpsOptions[] = {
    {"--available", nullptr, "leave out the operations that cannot be applied yet"},
    {"--names", nullptr, "print only each operation's help word and name"},
    {"--markdown", nullptr, "print the Markdown of docs/operations.md (the available operations)"},
    {"--all", nullptr, "with --markdown: every operation, available or not"},
    {"--html", "FOLDER", "write the help pages the workstation's Help opens (f_op_*.html and index.html) into "
                         "FOLDER"},
};
const vq::Form kOpsForms[] = {{.job = nullptr, .words = "[GROUP | OPERATION]", .options = kOpsOptions}};

} // namespace

VQ_COMMAND("ops", "the operation catalogue: numbers, names, script commands, parameters and their ranges",
           "Lists the operation catalogue: for every operation its number, name, script command, applier, "
           "flags, whether it can be applied yet, and its parameters with their key, current value, slider "
           "range and typed range. GROUP is a group's name (\"photo\", \"Photo Group\") or number; OPERATION a "
           "name, script command or number.",
           run_ops, kOpsForms);
