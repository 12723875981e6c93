#include "ui/qt/image_view.h"

#include "core/image.h"
#include "core/settings.h"
#include "layers/composite.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScrollBar>
#include <QTimerEvent>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace ws {

namespace {

const double kZoomSteps[] = {0.0625, 0.125, 0.25, 1.0 / 3, 0.5, 2.0 / 3, 1.0, 1.5, 2, 3, 4, 6, 8, 12, 16};

QColor colour_of(const long rgb[3])
{
    return QColor(std::clamp<long>(rgb[0], 0, 255), std::clamp<long>(rgb[1], 0, 255),
                  std::clamp<long>(rgb[2], 0, 255));
}

} // namespace

// ---------------------------------------------------------------- canvas

ImageCanvas::ImageCanvas(ImageView* view) : QWidget(view), view_(view)
{
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
}

QSize ImageCanvas::sizeHint() const
{
    QSize shown = view_->shown_size();
    return QSize(std::max(1, static_cast<int>(std::lround(shown.width() * view_->zoom()))),
                 std::max(1, static_cast<int>(std::lround(shown.height() * view_->zoom()))));
}

QPoint ImageCanvas::to_image(QPointF p) const
{
    return QPoint(static_cast<int>(std::floor(p.x() / view_->zoom())),
                  static_cast<int>(std::floor(p.y() / view_->zoom())));
}

void ImageCanvas::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    painter.fillRect(event->rect(), palette().dark());
    const QImage& pic = view_->picture();
    double z = view_->zoom();
    QSize shown = view_->shown_size();
    // A reduced preview stands for more image pixels than it has.
    double sx = pic.width() > 0 ? shown.width() * z / pic.width() : z;
    double sy = pic.height() > 0 ? shown.height() * z / pic.height() : z;
    // Only the exposed part of the image is scaled.
    QRectF target = QRectF(event->rect()).intersected(QRectF(0, 0, shown.width() * z, shown.height() * z));
    if (!target.isEmpty()) {
        QRectF source(target.x() / sx, target.y() / sy, target.width() / sx, target.height() / sy);
        painter.setRenderHint(QPainter::SmoothPixmapTransform, sx < 1.0);
        painter.drawImage(target, pic, source);
    }
    const QPainterPath& overlay = view_->overlay();
    if (!overlay.isEmpty()) {
        painter.setRenderHint(QPainter::Antialiasing, false);
        QTransform t = QTransform::fromScale(z, z);
        QPainterPath path = t.map(overlay);
        // Marching ants: two dashed strokes, the dash pattern moving.
        QPen light(QColor(255, 255, 255), 1, Qt::CustomDashLine);
        light.setDashPattern({4, 4});
        light.setDashOffset(view_->ants_phase());
        QPen dark(QColor(0, 0, 0), 1, Qt::CustomDashLine);
        dark.setDashPattern({4, 4});
        dark.setDashOffset(view_->ants_phase() + 4);
        painter.setPen(light);
        painter.drawPath(path);
        painter.setPen(dark);
        painter.drawPath(path);
    }
}

void ImageCanvas::mousePressEvent(QMouseEvent* event)
{
    // The middle button, or any button with the space bar held, drags the picture.
    if (event->button() == Qt::MiddleButton || (space_down_ && event->button() == Qt::LeftButton)) {
        pan_active_ = true;
        pan_last_ = event->globalPosition().toPoint();
        update_cursor();
        return;
    }
    Q_EMIT mouse_pressed(to_image(event->position()), event->button(), event->modifiers());
}

void ImageCanvas::mouseMoveEvent(QMouseEvent* event)
{
    if (pan_active_) {
        QPoint now = event->globalPosition().toPoint();
        QPoint d = now - pan_last_;
        pan_last_ = now;
        view_->horizontalScrollBar()->setValue(view_->horizontalScrollBar()->value() - d.x());
        view_->verticalScrollBar()->setValue(view_->verticalScrollBar()->value() - d.y());
    }
    Q_EMIT mouse_moved(to_image(event->position()), event->buttons());
}

void ImageCanvas::mouseReleaseEvent(QMouseEvent* event)
{
    if (pan_active_) {
        if (event->button() == Qt::MiddleButton || event->button() == Qt::LeftButton) {
            pan_active_ = false;
            update_cursor();
        }
        return;
    }
    Q_EMIT mouse_released(to_image(event->position()), event->button());
}

void ImageCanvas::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Space) {
        if (!event->isAutoRepeat()) {
            space_down_ = true;
            update_cursor();
        }
        return;
    }
    QWidget::keyPressEvent(event);
}

void ImageCanvas::keyReleaseEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Space) {
        if (!event->isAutoRepeat()) {
            space_down_ = false;
            update_cursor();
        }
        return;
    }
    QWidget::keyReleaseEvent(event);
}

void ImageCanvas::leaveEvent(QEvent* event)
{
    // The status bar stops showing a pixel when the pointer leaves.
    Q_EMIT mouse_moved(QPoint(-1, -1), Qt::NoButton);
    QWidget::leaveEvent(event);
}

void ImageCanvas::update_cursor()
{
    if (pan_active_)
        setCursor(Qt::ClosedHandCursor);
    else if (space_down_)
        setCursor(Qt::OpenHandCursor);
    else
        unsetCursor();
}

void ImageCanvas::mouseDoubleClickEvent(QMouseEvent* event)
{
    Q_EMIT mouse_double_clicked(to_image(event->position()));
}

// ---------------------------------------------------------------- view

ImageView::ImageView(Image* image, QWidget* parent) : QScrollArea(parent), image_(image)
{
    canvas_ = new ImageCanvas(this);
    setWidget(canvas_);
    setAlignment(Qt::AlignCenter);
    setBackgroundRole(QPalette::Dark);
    canvas_->resize(canvas_->sizeHint());
    setFocusProxy(canvas_);
    ants_timer_ = startTimer(150);
}

ImageView::~ImageView() = default;

void ImageView::set_zoom(double zoom)
{
    // Keep the centre of the viewport where it was.
    zoom_at(zoom, QPointF(viewport()->width() / 2.0, viewport()->height() / 2.0));
}

void ImageView::zoom_at(double zoom, QPointF at)
{
    zoom = std::clamp(zoom, kZoomSteps[0], kZoomSteps[std::size(kZoomSteps) - 1]);
    if (zoom == zoom_)
        return;
    // The image point under `at` (the canvas may be centred in a larger viewport).
    QPointF on_canvas = canvas_->mapFrom(viewport(), at.toPoint());
    double ix = on_canvas.x() / zoom_, iy = on_canvas.y() / zoom_;
    zoom_ = zoom;
    // The scroll range follows the canvas's new size at once (resize event).
    canvas_->resize(canvas_->sizeHint());
    horizontalScrollBar()->setValue(static_cast<int>(std::lround(ix * zoom_ - at.x())));
    verticalScrollBar()->setValue(static_cast<int>(std::lround(iy * zoom_ - at.y())));
    canvas_->update();
    Q_EMIT title_changed();
    Q_EMIT zoom_changed();
}

double ImageView::step_up(double zoom)
{
    for (double step : kZoomSteps)
        if (step > zoom + 1e-9)
            return step;
    return zoom;
}

double ImageView::step_down(double zoom)
{
    for (size_t i = std::size(kZoomSteps); i-- > 0;)
        if (kZoomSteps[i] < zoom - 1e-9)
            return kZoomSteps[i];
    return zoom;
}

void ImageView::zoom_in()
{
    set_zoom(step_up(zoom_));
}

void ImageView::zoom_out()
{
    set_zoom(step_down(zoom_));
}

void ImageView::wheelEvent(QWheelEvent* event)
{
    if (event->modifiers() & Qt::ControlModifier) {
        int delta = event->angleDelta().y();
        if (delta == 0) {
            event->ignore();
            return;
        }
        zoom_at(delta > 0 ? step_up(zoom_) : step_down(zoom_), event->position());
        event->accept();
        return;
    }
    QScrollArea::wheelEvent(event);
}

void ImageView::zoom_fit()
{
    QSize room = maximumViewportSize();
    double zx = static_cast<double>(room.width()) / std::max(1u, image_->width);
    double zy = static_cast<double>(room.height()) / std::max(1, image_->height);
    set_zoom(std::min(zx, zy));
}

void ImageView::set_show_alpha(bool on)
{
    if (on == show_alpha_)
        return;
    show_alpha_ = on;
    image_changed();
}

void ImageView::image_changed(const QRect* rect)
{
    dirty_ = true;
    if (canvas_->size() != canvas_->sizeHint())
        canvas_->resize(canvas_->sizeHint());
    if (rect) {
        QRect r(static_cast<int>(std::floor(rect->x() * zoom_)), static_cast<int>(std::floor(rect->y() * zoom_)),
                static_cast<int>(std::ceil(rect->width() * zoom_)) + 2,
                static_cast<int>(std::ceil(rect->height() * zoom_)) + 2);
        canvas_->update(r);
    } else {
        canvas_->update();
    }
    Q_EMIT title_changed();
}

QString ImageView::title() const
{
    QString name = image_->name[0] ? QString::fromLocal8Bit(image_->name) : QStringLiteral("Untitled");
    if (image_->changes != 0)
        name += QStringLiteral(" *");
    if (std::abs(zoom_ - 1.0) > 1e-9)
        name += QStringLiteral(" (%1%)").arg(std::lround(zoom_ * 100));
    return name;
}

const QImage& ImageView::picture()
{
    if (!preview_.isNull())
        return preview_;
    if (dirty_)
        rebuild();
    return picture_;
}

QSize ImageView::shown_size() const
{
    if (!preview_.isNull())
        return preview_size_;
    return QSize(static_cast<int>(image_->width), image_->height);
}

void ImageView::set_preview(const QImage& picture, QSize logical)
{
    preview_ = picture;
    preview_size_ = logical;
    if (canvas_->size() != canvas_->sizeHint())
        canvas_->resize(canvas_->sizeHint());
    canvas_->update();
}

void ImageView::clear_preview()
{
    if (preview_.isNull())
        return;
    preview_ = QImage();
    if (canvas_->size() != canvas_->sizeHint())
        canvas_->resize(canvas_->sizeHint());
    canvas_->update();
}

void ImageView::set_image(Image* image)
{
    image_ = image;
    preview_ = QImage();
    image_changed();
}

void ImageView::rebuild()
{
    dirty_ = false;
    // A master whose layers changed is composited before it is drawn.
    if (image_->has_layers && image_->recomposite)
        layers_refresh(image_);
    picture_ = render_picture(image_, show_alpha_);
}

QImage render_picture(Image* image, bool show_alpha)
{
    int w = static_cast<int>(image->width), h = image->height;
    QImage picture(std::max(1, w), std::max(1, h), QImage::Format_RGB32);
    ImageLock lock(image);
    if (!lock) {
        picture.fill(Qt::gray);
        return picture;
    }
    const Settings& set = settings();
    QColor back = colour_of(set.alpha_color);
    QColor check = colour_of(set.alpha_check);
    bool checker = show_alpha && set.checker_alpha != 0;
    const int br = back.red(), bg = back.green(), bb = back.blue();
    const int cr = check.red(), cg = check.green(), cb = check.blue();
    for (int y = 0; y < h; ++y) {
        const uint8_t* px = image->row(y);
        auto* out = reinterpret_cast<QRgb*>(picture.scanLine(y));
        for (int x = 0; x < w; ++x, px += 4) {
            if (!show_alpha) {
                out[x] = qRgb(px[0], px[1], px[2]);
                continue;
            }
            int ur = br, ug = bg, ub = bb;
            if (checker) {
                bool dark = ((x >> 3) + (y >> 3)) & 1;
                ur = dark ? cr : 255;
                ug = dark ? cg : 255;
                ub = dark ? cb : 255;
            }
            int a = px[3];
            out[x] = qRgb((px[0] * a + ur * (255 - a)) / 255, (px[1] * a + ug * (255 - a)) / 255,
                          (px[2] * a + ub * (255 - a)) / 255);
        }
    }
    return picture;
}

QImage image_thumbnail(Image* image, int size)
{
    QImage thumb(size, size, QImage::Format_ARGB32);
    thumb.fill(Qt::transparent);
    if (!image || image->width == 0 || image->height <= 0)
        return thumb;
    double scale = std::min(static_cast<double>(size) / image->width, static_cast<double>(size) / image->height);
    int tw = std::max(1, static_cast<int>(image->width * scale)), th = std::max(1, static_cast<int>(image->height * scale));
    int ox = (size - tw) / 2, oy = (size - th) / 2;
    ImageLock lock(image);
    if (!lock)
        return thumb;
    for (int y = 0; y < th; ++y) {
        int sy = std::min(image->height - 1, static_cast<int>(y / scale));
        auto* out = reinterpret_cast<QRgb*>(thumb.scanLine(oy + y)) + ox;
        for (int x = 0; x < tw; ++x) {
            int sx = std::min(static_cast<int>(image->width) - 1, static_cast<int>(x / scale));
            const uint8_t* p = image->pixel(sx, sy);
            int under = ((x >> 2) + (y >> 2)) & 1 ? 200 : 255;
            int a = image->alpha ? p[3] : 255;
            out[x] = qRgb((p[0] * a + under * (255 - a)) / 255, (p[1] * a + under * (255 - a)) / 255,
                          (p[2] * a + under * (255 - a)) / 255);
        }
    }
    return thumb;
}

void ImageView::set_overlay(const QPainterPath& path, bool closed)
{
    overlay_ = path;
    overlay_closed_ = closed;
    canvas_->update();
}

void ImageView::timerEvent(QTimerEvent* event)
{
    if (event->timerId() == ants_timer_ && !overlay_.isEmpty()) {
        ants_phase_ = (ants_phase_ + 1) % 8;
        canvas_->update();
    }
}

} // namespace ws
