// An image view: one MDI child showing an image at a zoom, with its alpha
// channel on a checkerboard or the alpha colour when alpha display is on.
#pragma once

#include <QImage>
#include <QPainterPath>
#include <QScrollArea>
#include <QWidget>

struct Image;

namespace ws {

class ImageView;

// The widget that paints the image at the view's zoom.
class ImageCanvas : public QWidget {
    Q_OBJECT
public:
    explicit ImageCanvas(ImageView* view);
    QSize sizeHint() const override;

    // Panning: the space bar held or the middle button drags the picture.
    bool panning() const { return pan_active_; }

Q_SIGNALS:
    void mouse_pressed(QPoint image_pos, Qt::MouseButton button, Qt::KeyboardModifiers mods);
    void mouse_moved(QPoint image_pos, Qt::MouseButtons buttons);
    void mouse_released(QPoint image_pos, Qt::MouseButton button);
    void mouse_double_clicked(QPoint image_pos);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    QPoint to_image(QPointF widget_pos) const;
    void update_cursor();
    ImageView* view_;
    bool space_down_ = false;
    bool pan_active_ = false;
    QPoint pan_last_;
};

// The picture of an image as a view shows it: alpha over the alpha colour or
// the checkerboard when `show_alpha`, else the colour channels alone.
QImage render_picture(Image* image, bool show_alpha);
// A small picture of an image within size x size, its alpha over a
// checkerboard (the layers and tool windows show these).
QImage image_thumbnail(Image* image, int size);

class ImageView : public QScrollArea {
    Q_OBJECT
public:
    explicit ImageView(Image* image, QWidget* parent = nullptr);
    ~ImageView() override;

    Image* image() const { return image_; }
    double zoom() const { return zoom_; }
    void set_zoom(double zoom);
    // Zooms keeping the image point under `viewport_pos` where it is.
    void zoom_at(double zoom, QPointF viewport_pos);
    void zoom_in();
    void zoom_out();
    void zoom_fit();
    // The next zoom step above or below a zoom.
    static double step_up(double zoom);
    static double step_down(double zoom);
    bool shows_alpha() const { return show_alpha_; }
    void set_show_alpha(bool on);

    // The image's pixels changed (null rect: all of them).
    void image_changed(const QRect* rect = nullptr);
    // The title: the image's name, a modified mark and the zoom.
    QString title() const;
    // The picture as shown (alpha composited), built from the pixels, or the
    // preview while one is set.
    const QImage& picture();
    // The size in image pixels the canvas shows (the preview's may differ
    // when an operation changes the size).
    QSize shown_size() const;

    // A parameter dialog's preview: `picture` stands for `logical` image
    // pixels (a reduced preview is drawn enlarged).  The image is untouched.
    void set_preview(const QImage& picture, QSize logical);
    void clear_preview();
    bool has_preview() const { return !preview_.isNull(); }

    // Revert: the view shows another image record from now on.
    void set_image(Image* image);
    ImageCanvas* canvas() const { return canvas_; }

    // Overlay drawn on top of the picture in image coordinates (the area
    // tool's outline); empty for none.
    void set_overlay(const QPainterPath& path, bool closed);
    const QPainterPath& overlay() const { return overlay_; }
    bool overlay_closed() const { return overlay_closed_; }
    int ants_phase() const { return ants_phase_; }

Q_SIGNALS:
    void title_changed();
    void zoom_changed();

protected:
    void timerEvent(QTimerEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    void rebuild();

    Image* image_;
    ImageCanvas* canvas_;
    double zoom_ = 1.0;
    bool show_alpha_ = false;
    bool dirty_ = true;
    QImage picture_;
    QImage preview_;
    QSize preview_size_;
    QPainterPath overlay_;
    bool overlay_closed_ = false;
    int ants_phase_ = 0;
    int ants_timer_ = 0;
};

} // namespace ws
