// A tool window of the frame in a dock on the right, made with each frame:
// `current` and `dock` follow the window while it lives, and it starts on
// the active view's image.
#pragma once

#include "ui/qt/image_view.h"
#include "ui/qt/main_window.h"

#include <QDockWidget>

namespace ws {

template <class Window>
void install_docked_window(const char* title, const char* object_name, Window*& current, QDockWidget*& dock)
{
    MainWindow::add_menu_builder([title, object_name, &current, &dock](MainWindow& w) {
        auto* d = new QDockWidget(title, &w);
        d->setObjectName(object_name);
        auto* window = new Window(&w);
        d->setWidget(window);
        w.addDockWidget(Qt::RightDockWidgetArea, d);
        d->show();  // the frame is shown already: a new dock is not
        current = window;
        dock = d;
        QObject::connect(window, &QObject::destroyed, [window, &current, &dock] {
            if (current == window) {
                current = nullptr;
                dock = nullptr;
            }
        });
        if (ImageView* v = w.active_view())
            window->set_image(v->image());
    });
}

} // namespace ws
