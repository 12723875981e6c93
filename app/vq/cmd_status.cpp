// vq status: what the system is and where it keeps its files.
#include "app/vq/command.h"
#include "core/app.h"
#include "core/image.h"
#include "core/log.h"
#include "core/mem.h"
#include "core/settings.h"

#include <cstdio>

namespace {

int run_status(vq::Args& args)
{
    if (!args.done())
        return vq::usage_error("status", "takes no arguments");
    MemCounters m = mem_counters();
    std::printf("Glimmerix:V/q 7.50\n");
    std::printf("settings folder: %s\n", app_config_folder().c_str());
    std::printf("start folder:    %s\n", app_start_folder().c_str());
    std::printf("log:             %s\n", log_is_open() ? log_path().c_str() : "off");
    std::printf("open images:     %d\n", image_store_count());
    std::printf("memory places:   %ld in use of %ld, %ld bytes virtual, %ld real\n", m.places_now, m.capacity,
                m.virt_now, m.real_now);
    if (log_is_open()) {
        log_printf("Status asked for\n");
        mem_report();
    }
    return vq::EXIT_DONE;
}

} // namespace

namespace {
const vq::Form kStatusForms[] = {{.job = nullptr, .words = ""}};
} // namespace

VQ_COMMAND("status", "version, settings folder, log, open images and memory in use",
           "Shows the version, the settings folder, the log and the memory in use.", run_status, kStatusForms);
