#include "ui/qt/command_server.h"

#include "core/app.h"
#include "core/image.h"
#include "core/log.h"
#include "server/server.h"
#include "ui/qt/image_view.h"
#include "ui/qt/main_window.h"

#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>

#include <cstdio>
#include <memory>
#include <vector>

namespace ws {
namespace {

struct CommandServerState {
    QPointer<MainWindow> window;
    std::vector<std::unique_ptr<QSocketNotifier>> notifiers;
    bool scheduled = false;
};

CommandServerState& state()
{
    static CommandServerState s;
    return s;
}

void watch();

// A round of the server, out of the notifier's own signal: the notifiers
// are made anew after it.
void schedule()
{
    CommandServerState& s = state();
    if (s.scheduled || !s.window)
        return;
    s.scheduled = true;
    QTimer::singleShot(0, s.window, [] {
        state().scheduled = false;
        if (!server::server_running() || !app_running() || app_shutting_down())
            return;
        server::server_poll(0);
        watch();
    });
}

void watch()
{
    CommandServerState& s = state();
    s.notifiers.clear();
    bool busy = false;
    for (const server::WatchedSocket& w : server::server_sockets(&busy)) {
        for (QSocketNotifier::Type type : {QSocketNotifier::Read, QSocketNotifier::Write}) {
            if ((type == QSocketNotifier::Read && !w.read) || (type == QSocketNotifier::Write && !w.write))
                continue;
            auto n = std::make_unique<QSocketNotifier>(w.fd, type);
            QObject::connect(n.get(), &QSocketNotifier::activated, n.get(), [] { schedule(); });
            s.notifiers.push_back(std::move(n));
        }
    }
    if (busy)
        schedule();
}

void front()
{
    if (MainWindow* w = state().window) {
        if (w->isMinimized())
            w->showNormal();
        w->raise();
        w->activateWindow();
    }
}

void iconify()
{
    if (MainWindow* w = state().window)
        w->showMinimized();
}

void restore()
{
    if (MainWindow* w = state().window)
        w->showNormal();
}

void close_window()
{
    // After the acknowledgement has gone: closing runs the shut-down.
    if (MainWindow* w = state().window)
        QTimer::singleShot(0, w, [w] { w->close(); });
}

// The new image of a role is shown; the old one keeps its view.
void role_changed(Image*, Image* image)
{
    MainWindow* w = state().window;
    if (w && image && w->views_of(image).empty())
        w->add_view(image);
}

} // namespace

bool command_server_start(MainWindow* window, const std::string& path)
{
    CommandServerState& s = state();
    s.window = window;
    server::ServerHooks hooks;
    hooks.front = front;
    hooks.iconify = iconify;
    hooks.restore = restore;
    hooks.close = close_window;
    hooks.role_changed = role_changed;
    server::server_set_hooks(hooks);
    std::string error;
    if (server::server_start(path, error) != 0) {
        // Not a box: a second workstation still works, only without serving.
        std::fprintf(stderr, "glimvq: the command server is off: %s\n", error.c_str());
        if (log_is_open())
            log_printf("SERVER: not started: %s\n", error.c_str());
        return false;
    }
    watch();
    return true;
}

void command_server_stop()
{
    CommandServerState& s = state();
    s.notifiers.clear();
    server::server_stop();
    server::server_set_hooks({});
    s.window = nullptr;
}

bool command_server_running()
{
    return server::server_running();
}

} // namespace ws
