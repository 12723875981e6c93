#include "ui/qt/image_view.h"

#include "core/image.h"
#include "core/settings.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScrollBar>
#include <QTimerEvent>

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
}

QSize ImageCanvas::sizeHint() const
{
    Image* img = view_->image();
    return QSize(std::max(1, static_cast<int>(std::lround(img->width * view_->zoom()))),
                 std::max(1, static_cast<int>(std::lround(img->height * view_->zoom()))));
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
    // Only the exposed part of the image is scaled.
    QRectF target = QRectF(event->rect()).intersected(QRectF(0, 0, pic.width() * z, pic.height() * z));
    if (!target.isEmpty()) {
        QRectF source(target.x() / z, target.y() / z, target.width() / z, target.height() / z);
        painter.setRenderHint(QPainter::SmoothPixmapTransform, z < 1.0);
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
    Q_EMIT mouse_pressed(to_image(event->position()), event->button(), event->modifiers());
}

void ImageCanvas::mouseMoveEvent(QMouseEvent* event)
{
    Q_EMIT mouse_moved(to_image(event->position()), event->buttons());
}

void ImageCanvas::mouseReleaseEvent(QMouseEvent* event)
{
    Q_EMIT mouse_released(to_image(event->position()), event->button());
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
    ants_timer_ = startTimer(150);
}

ImageView::~ImageView() = default;

void ImageView::set_zoom(double zoom)
{
    zoom = std::clamp(zoom, kZoomSteps[0], kZoomSteps[std::size(kZoomSteps) - 1]);
    if (zoom == zoom_)
        return;
    // Keep the centre of the viewport where it was.
    double cx = (horizontalScrollBar()->value() + viewport()->width() / 2.0) / zoom_;
    double cy = (verticalScrollBar()->value() + viewport()->height() / 2.0) / zoom_;
    zoom_ = zoom;
    canvas_->resize(canvas_->sizeHint());
    horizontalScrollBar()->setValue(static_cast<int>(cx * zoom_ - viewport()->width() / 2.0));
    verticalScrollBar()->setValue(static_cast<int>(cy * zoom_ - viewport()->height() / 2.0));
    canvas_->update();
    Q_EMIT title_changed();
}

void ImageView::zoom_in()
{
    for (double step : kZoomSteps)
        if (step > zoom_ + 1e-9) {
            set_zoom(step);
            return;
        }
}

void ImageView::zoom_out()
{
    for (size_t i = std::size(kZoomSteps); i-- > 0;)
        if (kZoomSteps[i] < zoom_ - 1e-9) {
            set_zoom(kZoomSteps[i]);
            return;
        }
}

void ImageView::zoom_fit()
{
    QSize room = viewport()->size();
    double zx = static_cast<double>(room.width()) / image_->width;
    double zy = static_cast<double>(room.height()) / image_->height;
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
    if (dirty_)
        rebuild();
    return picture_;
}

void ImageView::rebuild()
{
    dirty_ = false;
    int w = static_cast<int>(image_->width), h = image_->height;
    if (picture_.width() != w || picture_.height() != h)
        picture_ = QImage(w, h, QImage::Format_RGB32);
    ImageLock lock(image_);
    if (!lock) {
        picture_.fill(Qt::gray);
        return;
    }
    const Settings& set = settings();
    QColor back = colour_of(set.alpha_color);
    QColor check = colour_of(set.alpha_check);
    bool checker = show_alpha_ && set.checker_alpha != 0;
    for (int y = 0; y < h; ++y) {
        const uint8_t* px = image_->row(y);
        auto* out = reinterpret_cast<QRgb*>(picture_.scanLine(y));
        for (int x = 0; x < w; ++x, px += 4) {
            if (!show_alpha_) {
                out[x] = qRgb(px[0], px[1], px[2]);
                continue;
            }
            QColor under = back;
            if (checker)
                under = ((x >> 3) + (y >> 3)) & 1 ? check : QColor(255, 255, 255);
            int a = px[3];
            out[x] = qRgb((px[0] * a + under.red() * (255 - a)) / 255, (px[1] * a + under.green() * (255 - a)) / 255,
                          (px[2] * a + under.blue() * (255 - a)) / 255);
        }
    }
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
