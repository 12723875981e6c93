// The undo history (dockable): the captures held for the active view's image
// and its layers, oldest first, each named by its operation, below the
// state before the oldest of them.  Clicking a row undoes or redoes
// everything between the present state and that one.
#pragma once

#include <QWidget>

class QDockWidget;
class QListWidget;
class QTimer;
struct Image;

namespace ws {

class MainWindow;

// Undo and De-Undo of an image together with its layers' captures, newest
// first (a layer's master is composited again).  0 done, 1 nothing to do or
// the swap failed.
int undo_step(Image* image);
int redo_step(Image* image);
// Captures held for the image and its layers, and how many of them are in
// force (not undone).
int history_count(Image* image, int* in_force = nullptr);

class HistoryWindow : public QWidget {
    Q_OBJECT
public:
    explicit HistoryWindow(MainWindow* window);
    Image* image() const;
    void set_image(Image* image);
    void rebuild();
    // Goes to the state of a row: 0 before every capture held, n after the nth.
    bool step_to(int row);
    QListWidget* list() const { return list_; }

private:
    MainWindow* window_;
    Image* image_ = nullptr;
    QListWidget* list_;
    QTimer* rebuild_timer_;
    bool stepping_ = false;
};

HistoryWindow* history_window();
QDockWidget* history_dock();
void install_history_window();

} // namespace ws
