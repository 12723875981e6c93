#include "ui/qt/history_window.h"

#include "core/image.h"
#include "core/undo.h"
#include "layers/composite.h"
#include "ui/qt/docked_window.h"
#include "ui/qt/image_view.h"
#include "ui/qt/main_window.h"

#include <QDockWidget>
#include <QLabel>
#include <QListWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <vector>

namespace ws {

namespace {

HistoryWindow* g_history = nullptr;
QDockWidget* g_dock = nullptr;

bool in_family(const Image* capture, const Image* image)
{
    const Image* p = capture ? capture->parent : nullptr;
    return p && image && (p == image || (p->is_layer && p->owner == image));
}

// The slots of the image's captures, oldest first.
std::vector<long> family_slots(Image* image)
{
    std::vector<long> out;
    for (long i = undo_slot_count(); i-- > 0;)
        if (in_family(undo_slot(i), image))
            out.push_back(i);
    return out;
}

void after_swap(Image* changed, Image* image)
{
    if (changed != image)
        layer_mark_master(changed);
    if (MainWindow* w = main_window())
        w->redraw(image, nullptr);
}

} // namespace

int history_count(Image* image, int* in_force)
{
    std::vector<long> slots = family_slots(image);
    if (in_force) {
        *in_force = 0;
        for (long s : slots)
            if (!undo_slot(s)->undo_applied)
                ++*in_force;
    }
    return static_cast<int>(slots.size());
}

int undo_step(Image* image)
{
    // The newest capture in force, whichever of the stack it belongs to.
    for (long i = 0; i < undo_slot_count(); ++i) {
        Image* c = undo_slot(i);
        if (in_family(c, image) && !c->undo_applied) {
            Image* parent = c->parent;
            int result = undo_apply(parent, i);
            if (result == 0)
                after_swap(parent, image);
            return result;
        }
    }
    return 1;
}

int redo_step(Image* image)
{
    // The oldest capture undone: the first undo to take back.
    for (long i = undo_slot_count(); i-- > 0;) {
        Image* c = undo_slot(i);
        if (in_family(c, image) && c->undo_applied) {
            Image* parent = c->parent;
            int result = undo_redo(parent, -1);
            if (result == 0)
                after_swap(parent, image);
            return result;
        }
    }
    return 1;
}

HistoryWindow* history_window()
{
    return g_history;
}

QDockWidget* history_dock()
{
    return g_dock;
}

HistoryWindow::HistoryWindow(MainWindow* window) : QWidget(window), window_(window)
{
    setObjectName("history_window");
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    list_ = new QListWidget(this);
    list_->setObjectName("history");
    list_->setToolTip("Click a step to go back (or forward) to it");
    layout->addWidget(list_);
    setFocusProxy(list_);
    auto go = [this](QListWidgetItem* item) {
        if (!stepping_)
            step_to(list_->row(item));
    };
    connect(list_, &QListWidget::itemClicked, this, go);
    connect(list_, &QListWidget::itemActivated, this, go);
    rebuild_timer_ = new QTimer(this);
    rebuild_timer_->setSingleShot(true);
    rebuild_timer_->setInterval(0);
    connect(rebuild_timer_, &QTimer::timeout, this, &HistoryWindow::rebuild);
    connect(window_, &MainWindow::view_activated, this, [this](ImageView* view) { set_image(view->image()); });
    auto attach = [this](ImageView* view) {
        // Operations and undo redraw the views: the list follows.
        connect(view, &ImageView::title_changed, this, [this] {
            if (!stepping_)
                rebuild_timer_->start();
        });
        // Afterwards: the view is half gone while it is destroyed.
        connect(view, &QObject::destroyed, this, [this] {
            QTimer::singleShot(0, this, [this] {
                ImageView* active = window_->active_view();
                set_image(active ? active->image() : nullptr);
            });
        });
    };
    for (ImageView* v : window_->views())
        attach(v);
    connect(window_, &MainWindow::view_added, this, attach);
    setMinimumSize(160, 80);
}

Image* HistoryWindow::image() const
{
    return image_ && image_store_contains(image_) ? image_ : nullptr;
}

void HistoryWindow::set_image(Image* image)
{
    image_ = image;
    rebuild();
}

void HistoryWindow::rebuild()
{
    QSignalBlocker block(list_);
    list_->clear();
    Image* img = image();
    if (!img)
        return;
    std::vector<long> slots = family_slots(img);
    auto* first = new QListWidgetItem(slots.empty() ? QStringLiteral("No changes") : QStringLiteral("Before the changes"),
                                      list_);
    first->setToolTip("The image before the oldest change held for undo");
    int in_force = 0;
    for (long s : slots) {
        Image* c = undo_slot(s);
        QString name = c->path[0] ? QString::fromLocal8Bit(c->path) : QStringLiteral("Change");
        if (c->parent != img)
            name += QStringLiteral(" (%1)").arg(QString::fromLocal8Bit(c->parent->name));
        auto* item = new QListWidgetItem(name, list_);
        if (c->undo_applied) {
            // Undone: De-Undo brings it back.
            QFont f = item->font();
            f.setItalic(true);
            item->setFont(f);
            item->setForeground(palette().brush(QPalette::Disabled, QPalette::Text));
        } else {
            ++in_force;
        }
    }
    QListWidgetItem* now = list_->item(in_force);
    QFont bold = now->font();
    bold.setBold(true);
    now->setFont(bold);
    list_->setCurrentRow(in_force);
}

bool HistoryWindow::step_to(int row)
{
    Image* img = image();
    if (!img || row < 0)
        return false;
    int in_force = 0;
    int count = history_count(img, &in_force);
    row = std::min(row, count);
    stepping_ = true;
    bool ok = true;
    while (ok && in_force > row)
        ok = undo_step(img) == 0 && (--in_force, true);
    while (ok && in_force < row)
        ok = redo_step(img) == 0 && (++in_force, true);
    stepping_ = false;
    rebuild();
    return ok;
}

void install_history_window()
{
    install_docked_window("History", "history_dock", g_history, g_dock);
}

} // namespace ws
