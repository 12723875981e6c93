// vq plugins: the registered plug-ins, and registering new ones.
#include "app/vq/command.h"
#include "plugins/plugins.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

void print_plugin(const PluginEntry& e, bool selected)
{
    const GxpRecord& r = *e.record;
    std::printf("%s %s  v%d.%d  key %d  %s\n", selected ? "*" : " ", r.name, r.version, r.revision, r.dev_key, e.path);
    for (int i = 0; i < 8; ++i)
        if (r.cmin[i] < r.cmax[i] || r.longs[i] != 0)
            std::printf("    i%d = %d  (%d..%d, typed %d..%d)\n", i, r.longs[i], r.cmin[i], r.cmax[i], r.amin[i], r.amax[i]);
    for (int i = 0; i < 8; ++i)
        if (r.floats[i] != 0)
            std::printf("    f%d = %g\n", i, static_cast<double>(r.floats[i]));
    for (int i = 0; i < 8; ++i)
        if (r.switches[i])
            std::printf("    c%d = %d\n", i, r.switches[i]);
    for (int i = 0; i < 5; ++i)
        if (r.radios[i])
            std::printf("    r%d = %d\n", i, r.radios[i]);
    if (r.str1[0])
        std::printf("    s0 = \"%.199s\"\n", r.str1);
    if (r.str2[0])
        std::printf("    s1 = \"%.199s\"\n", r.str2);
}

int run_plugins(vq::Args& args)
{
    if (args.done())
        return vq::usage_error("plugins", "needs list, add FILE.gxp or remove NAME");
    std::string what = args.next();
    if (what == "list") {
        if (!args.done())
            return vq::usage_error("plugins", "list takes no arguments");
        int n = plugin_count();
        if (n == 0)
            std::printf("No plug-ins are registered.\n");
        for (int i = 0; i < n; ++i)
            if (PluginEntry* e = plugin_at(i))
                print_plugin(*e, e == plugin_host().selected);
        const int readers = importer_count();
        if (readers > 0)
            std::printf("Import plug-ins in %s:\n", importer_folder().c_str());
        for (int i = 0; i < readers; ++i)
            if (PluginEntry* e = importer_at(i))
                std::printf("  %s  v%d.%d  %s\n", e->record->name, e->record->version, e->record->revision, e->path);
        return vq::EXIT_DONE;
    }
    if (what == "add") {
        if (args.done())
            return vq::usage_error("plugins", "add needs a plug-in file");
        int status = vq::EXIT_DONE;
        while (!args.done()) {
            std::string file = args.next();
            PluginEntry* e = nullptr;
            if (plugin_add_file(file.c_str(), &e) != 0) {
                status = vq::EXIT_FAILED;  // the host has said why
                continue;
            }
            std::printf("Registered %s (%s)\n", e->record->name, e->path);
        }
        if (plugins_save_settings() != 0)
            status = vq::EXIT_FAILED;
        return status;
    }
    if (what == "remove") {
        if (args.done())
            return vq::usage_error("plugins", "remove needs a plug-in name");
        std::string name = args.next();
        PluginEntry* e = plugin_find(name.c_str());
        if (!e)
            return vq::failure("no plug-in \"" + name + "\" is registered");
        plugin_remove(e);
        return plugins_save_settings() == 0 ? vq::EXIT_DONE : vq::EXIT_FAILED;
    }
    return vq::usage_error("plugins", "no subcommand \"" + what + "\"");
}

const vq::Form kPluginsForms[] = {
    {.job = "list", .words = "",
     .help = "each registered plug-in: name, version, developer key, file, and the parameters it has stored "
             "(the one selected last is marked *)."},
    {.job = "add", .words = "FILE.gxp...",
     .help = "registers plug-in libraries: each is loaded, asked to identify itself, and kept in the settings "
             "file GLIMVQpu.ini with its parameters; a plug-in of the same name is replaced (its parameters are "
             "kept)."},
    {.job = "remove", .words = "NAME", .help = "forgets a plug-in."},
};

} // namespace

VQ_COMMAND("plugins", "list, register and forget plug-ins (docs/plugins.md)",
           "Apply a plug-in with: vq apply IN OUT Plugin name=NAME [i0=.. f0=.. c0=.. r0=.. s0=..]", run_plugins,
           kPluginsForms);
