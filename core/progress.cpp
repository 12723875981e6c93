#include "core/progress.h"

#include "core/platform.h"
#include "core/safe_write.h"

#include <algorithm>
#include <csignal>
#include <signal.h>
#include <cstdio>
#include <string>

namespace {

struct TaskMeter {
    std::string caption;
    long total = 1;
    long position = 0;
    int step = 1;
    int last_percent = -1;
};

struct ProgressMeter {
    TaskMeter task;
    TaskMeter outer;
    bool outer_saved = false;
    int depth = 0;
    bool paused = false;
    bool batch = false;
    bool busy_cursor = false;
    bool title_shows_percent = false;
    int pumping = 0;  // Updates currently dispatching messages
    bool overall_running = false;
    long overall_total = 1;
    long overall_pos = 0;
};

ProgressMeter g_meter;
volatile std::sig_atomic_t g_cancel = 0;
volatile std::sig_atomic_t g_interrupted = 0;

void on_interrupt(int sig)
{
    if (g_cancel) {
        // The job has not stopped since the first press: stop the program,
        // leaving no half-written temporary file behind.
        safe_write_remove_pending();
        std::signal(sig, SIG_DFL);
        std::raise(sig);
        return;
    }
    g_cancel = 1;
    g_interrupted = 1;
}

int overall_percent()
{
    if (!g_meter.overall_running)
        return -1;
    long pos = std::clamp(g_meter.overall_pos, 0L, g_meter.overall_total);
    return static_cast<int>(pos * 100 / g_meter.overall_total);
}

void show()
{
    ui::ProgressDisplay d;
    d.caption = g_meter.paused ? "PAUSED" : g_meter.task.caption.c_str();
    d.percent = g_meter.depth > 0 ? g_meter.task.last_percent : -1;
    if (g_meter.depth > 0 && d.percent < 0)
        d.percent = 0;
    d.overall_percent = overall_percent();
    d.active = g_meter.depth > 0 || g_meter.overall_running;
    ui::platform().progress_show(d);
}

int band_of(int percent)
{
    // 0-12, 13-24, 25-37, 38-49, 50-62, 63-74, 75-87, 88-100
    static const int upper[8] = {12, 24, 37, 49, 62, 74, 87, 100};
    for (int b = 0; b < 8; ++b)
        if (percent <= upper[b])
            return b;
    return 7;
}

} // namespace

void progress_open(const char* caption, long total, int step)
{
    if (g_meter.depth >= 1) {
        g_meter.outer = g_meter.task;
        g_meter.outer_saved = true;
    }
    g_meter.task = TaskMeter{};
    g_meter.task.caption = caption ? caption : "";
    g_meter.task.total = total < 1 ? 1 : total;
    g_meter.task.step = step;
    g_meter.task.last_percent = -1;
    g_meter.depth += 1;
    if (g_meter.busy_cursor)
        ui::platform().busy_cursor(0);
    ui::ProgressDisplay d;
    d.caption = g_meter.task.caption.c_str();
    d.percent = 0;
    d.overall_percent = overall_percent();
    d.active = true;
    ui::platform().progress_show(d);
}

bool progress_update(long position)
{
    if (g_meter.depth <= 0)
        return false;
    TaskMeter& t = g_meter.task;
    t.position = position;
    // A position beyond the total (or before 0) shows as full (or empty).
    long whole = position < 0 ? 0 : std::min(position, t.total);
    int percent = static_cast<int>(whole * 100 / t.total);
    if (g_meter.busy_cursor)
        ui::platform().busy_cursor(band_of(percent));
    if (t.step > 1)
        percent = percent / t.step * t.step;
    if (percent != t.last_percent) {
        t.last_percent = percent;
        if (!g_meter.overall_running && ui::platform().frame_minimised()) {
            char title[64];
            std::snprintf(title, sizeof title, "Glimmerix: V/q %ld%c", static_cast<long>(percent), '%');
            ui::platform().set_frame_title(title);
            g_meter.title_shows_percent = true;
        }
        show();
    }
    if (g_meter.batch)
        return false;
    if (g_meter.pumping < 2) {
        g_meter.pumping += 1;
        ui::platform().pump_messages();
        while (g_meter.paused && g_cancel == 0) {
            if (!ui::platform().wait_while_paused())
                break;
            if (g_meter.paused && g_meter.depth > 0)
                ui::platform().pump_messages();
        }
        g_meter.pumping -= 1;
    }
    return g_cancel != 0;
}

void progress_close()
{
    if (g_meter.depth <= 0)
        return;
    if (g_meter.busy_cursor)
        ui::platform().busy_cursor(-1);
    if (g_meter.title_shows_percent) {
        // The title returns once the percentage has gone.
        ui::platform().set_frame_title("Glimmerix: V/q");
        g_meter.title_shows_percent = false;
    }
    g_meter.task.last_percent = -1;
    g_meter.depth -= 1;
    if (g_meter.outer_saved) {
        g_meter.task = g_meter.outer;
        g_meter.outer_saved = false;
        show();
    } else {
        g_meter.task = TaskMeter{};
        if (g_meter.depth > 0) {
            show();
        } else {
            ui::ProgressDisplay d;
            d.overall_percent = overall_percent();
            d.active = g_meter.overall_running;
            ui::platform().progress_show(d);
        }
    }
    if (g_meter.depth == 0 && !g_meter.overall_running) {
        g_cancel = 0;
        g_meter.paused = false;
    }
}

void progress_toggle_pause()
{
    if (g_meter.depth <= 0 && !g_meter.overall_running)
        return;
    g_meter.paused = !g_meter.paused;
    show();
}

void progress_overall_total(long total)
{
    g_meter.overall_total = total < 1 ? 1 : total;
    g_meter.overall_pos = 0;
    g_meter.overall_running = true;
    show();
}

void progress_overall_position(long position)
{
    g_meter.overall_pos = position;
    show();
}

void progress_overall_end()
{
    g_meter.overall_running = false;
    g_meter.overall_pos = 0;
    if (g_meter.depth == 0) {
        g_cancel = 0;
        g_meter.paused = false;
    }
    show();
}

void progress_install_interrupt()
{
    struct sigaction action {};
    action.sa_handler = on_interrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
}

bool progress_interrupted()
{
    return g_interrupted != 0;
}

void progress_request_cancel()
{
    g_cancel = 1;
}

bool progress_cancel_requested()
{
    return g_cancel != 0;
}

void progress_set_batch(bool batch)
{
    g_meter.batch = batch;
}

void progress_set_busy_cursor(bool enabled)
{
    g_meter.busy_cursor = enabled;
}

ProgressState progress_state()
{
    return {g_meter.depth,           g_meter.task.caption.c_str(), g_meter.task.total,
            g_meter.task.position,   g_meter.task.step,            g_meter.task.last_percent,
            g_meter.paused,          g_meter.overall_running,      g_meter.overall_total,
            g_meter.overall_pos,     g_meter.title_shows_percent,  g_meter.pumping};
}
