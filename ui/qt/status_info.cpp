#include "ui/qt/status_info.h"

#include "core/image.h"
#include "formats/codecs.h"
#include "ui/qt/image_view.h"
#include "ui/qt/main_window.h"

#include <QFontMetrics>
#include <QLabel>
#include <QStatusBar>

#include <algorithm>
#include <cmath>

namespace ws {

namespace {

StatusInfo* g_info = nullptr;

QLabel* field(QWidget* parent, const char* name, const QString& widest, const QString& tip)
{
    auto* l = new QLabel(parent);
    l->setObjectName(name);
    l->setToolTip(tip);
    // Wide enough not to jitter as the pointer moves, not so wide that the
    // frame window cannot be made narrow.
    l->setMinimumWidth(std::min(l->fontMetrics().horizontalAdvance(widest) + 8, 110));
    l->setAlignment(Qt::AlignCenter);
    return l;
}

QString type_of(const Image* image)
{
    QString kind = image->alpha ? QStringLiteral("RGBA") : QStringLiteral("RGB");
    const char* tag = codec_type_name(image->file_format);
    QString text = QStringLiteral("%1 \u00d7 %2  %3").arg(image->width).arg(image->height).arg(kind);
    if (image->path[0] && tag)
        text += QStringLiteral("  %1").arg(QString::fromLatin1(tag));
    if (image->has_layers)
        text += QStringLiteral("  layered");
    return text;
}

} // namespace

StatusInfo* status_info()
{
    return g_info;
}

StatusInfo::StatusInfo(MainWindow* window) : QObject(window), window_(window)
{
    QStatusBar* bar = window->statusBar();
    position_ = field(bar, "status_position", "00000, 00000", "Pointer position in image pixels");
    swatch_ = new QLabel(bar);
    swatch_->setObjectName("status_swatch");
    swatch_->setFixedSize(14, 14);
    colour_ = field(bar, "status_colour", "255 255 255 255", "Colour under the pointer: red, green, blue, alpha");
    zoom_ = field(bar, "status_zoom", "1600%", "Zoom of the view");
    size_ = field(bar, "status_size", "00000 \u00d7 00000  RGBA  TIFF  layered", "Size and type of the image");
    size_->setMinimumWidth(1);  // the first field to give way in a narrow window
    for (QWidget* w : {static_cast<QWidget*>(position_), static_cast<QWidget*>(swatch_), static_cast<QWidget*>(colour_),
                       static_cast<QWidget*>(zoom_), static_cast<QWidget*>(size_)})
        bar->addPermanentWidget(w);
    swatch_->setVisible(false);

    // Views opened from the command line exist before the status fields.
    for (ImageView* v : window->views())
        attach(v);
    connect(window, &MainWindow::view_added, this, &StatusInfo::attach);
    connect(window, &MainWindow::view_activated, this, &StatusInfo::show_view);
}

void StatusInfo::attach(ImageView* view)
{
    connect(view->canvas(), &ImageCanvas::mouse_moved, this,
            [this, view](QPoint p, Qt::MouseButtons) { pointer_at(view, p); });
    connect(view, &ImageView::zoom_changed, this, [this, view] { show_view(view); });
    connect(view, &ImageView::title_changed, this, [this, view] {
        if (view == window_->active_view())
            show_view(view);
    });
    show_view(view);
}

void StatusInfo::pointer_at(ImageView* view, QPoint p)
{
    Image* img = view->image();
    if (!image_store_contains(img) || p.x() < 0 || p.y() < 0 || p.x() >= static_cast<int>(img->width) ||
        p.y() >= img->height) {
        position_->clear();
        colour_->clear();
        swatch_->setVisible(false);
        return;
    }
    position_->setText(QStringLiteral("%1, %2").arg(p.x()).arg(p.y()));
    ImageLock lock(img);
    if (!lock) {
        colour_->clear();
        return;
    }
    const uint8_t* px = img->pixel(p.x(), p.y());
    colour_->setText(QStringLiteral("%1 %2 %3 %4").arg(px[0]).arg(px[1]).arg(px[2]).arg(px[3]));
    QPixmap chip(swatch_->size());
    chip.fill(QColor(px[0], px[1], px[2]));
    swatch_->setPixmap(chip);
    swatch_->setVisible(true);
}

void StatusInfo::show_view(ImageView* view)
{
    if (!view || !image_store_contains(view->image())) {
        zoom_->clear();
        size_->clear();
        return;
    }
    zoom_->setText(QStringLiteral("%1%").arg(std::lround(view->zoom() * 100)));
    size_->setText(type_of(view->image()));
}

void install_status_info()
{
    MainWindow::add_menu_builder([](MainWindow& w) {
        g_info = new StatusInfo(&w);
        QObject::connect(g_info, &QObject::destroyed, [] { g_info = nullptr; });
        if (ImageView* v = w.active_view())
            g_info->show_view(v);
    });
}

} // namespace ws
