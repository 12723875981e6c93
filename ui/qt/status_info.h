// The status bar's fields beside the progress meter: the pointer's position
// in image pixels, the colour under it (R, G, B, A), the view's zoom and the
// image's size and type.
#pragma once

#include <QObject>
#include <QPoint>

class QLabel;

namespace ws {

class ImageView;
class MainWindow;

class StatusInfo : public QObject {
    Q_OBJECT
public:
    explicit StatusInfo(MainWindow* window);
    void attach(ImageView* view);
    // The pointer is over a view at an image position (outside: nothing shown).
    void pointer_at(ImageView* view, QPoint image_pos);
    // The view's zoom, size and type.
    void show_view(ImageView* view);

    QLabel* position() const { return position_; }
    QLabel* colour() const { return colour_; }
    QLabel* zoom() const { return zoom_; }
    QLabel* size() const { return size_; }

private:
    MainWindow* window_;
    QLabel* position_;
    QLabel* swatch_;
    QLabel* colour_;
    QLabel* zoom_;
    QLabel* size_;
};

StatusInfo* status_info();
void install_status_info();

} // namespace ws
