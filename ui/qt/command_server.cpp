#include "ui/qt/command_server.h"

#include "core/app.h"
#include "core/image.h"
#include "core/log.h"
#include "ops/framework.h"
#include "server/server.h"
#include "ui/qt/history_window.h"
#include "ui/qt/image_view.h"
#include "ui/qt/layers_window.h"
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
    std::unique_ptr<QTimer> ack_timer;  // the server's acknowledgement timers run out
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
    int timer = server::server_timer_ms();
    if (timer >= 0) {
        if (!s.ack_timer) {
            s.ack_timer = std::make_unique<QTimer>();
            s.ack_timer->setSingleShot(true);
            QObject::connect(s.ack_timer.get(), &QTimer::timeout, [] { schedule(); });
        }
        s.ack_timer->start(timer);
    } else if (s.ack_timer) {
        s.ack_timer->stop();
    }
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

bool holds_role(const Image* image)
{
    const ImageRoles& r = image_roles();
    return r.target == image || r.source == image || r.brush == image;
}

// The views of the role's previous image show the new one, which is shown
// in any case; an image that still holds another role (the target that was
// also the source) keeps its views.  The previous image, left without a
// view: kept in a view of its own when it has changes (nothing is lost),
// released when it is as its file holds it and no role needs it any more.
// A new view makes its image the target: the target stays what the command
// made it.
void role_changed(Image* old_image, Image* image)
{
    MainWindow* w = state().window;
    if (!w || !image || old_image == image)
        return;
    Image* target = image_role(ImageRole::Target);
    std::vector<ImageView*> switched;
    if (old_image && image_store_contains(old_image) && !old_image->is_layer && !holds_role(old_image))
        switched = w->views_of(old_image);
    for (ImageView* v : switched)
        v->set_image(image);
    if (w->views_of(image).empty())
        w->add_view(image);
    if (!switched.empty()) {
        if (old_image->changes != 0 || old_image->has_layers)
            w->add_view(old_image);
        else
            image_free(old_image);
    }
    if (target && image_store_contains(target))
        image_set_role(ImageRole::Target, target);
    ImageView* active = w->active_view();
    if (!switched.empty() && active && active->image() == image) {
        if (LayersWindow* lw = layers_window())
            lw->set_image(image);
        if (HistoryWindow* hw = history_window())
            hw->set_image(image);
    }
}

// "Apply": as the operation's Apply button does, on the target.
int apply(Image* target, std::string& error)
{
    if (layer_is_locked(target)) {
        error = std::string("the layer \"") + target->name + "\" is locked";
        return 1;
    }
    return perform_operation(target, 0);
}

} // namespace

bool command_server_start(MainWindow* window, const std::string& path)
{
    CommandServerState& s = state();
    s.window = window;
    s.scheduled = false;
    server::ServerHooks hooks;
    hooks.front = front;
    hooks.iconify = iconify;
    hooks.restore = restore;
    hooks.close = close_window;
    hooks.role_changed = role_changed;
    hooks.apply = apply;
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
    s.ack_timer.reset();
    // A round posted to the window goes with it: the next start must not wait for it.
    s.scheduled = false;
    server::server_stop();
    server::server_set_hooks({});
    s.window = nullptr;
}

bool command_server_running()
{
    return server::server_running();
}

} // namespace ws
