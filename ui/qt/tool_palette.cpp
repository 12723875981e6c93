#include "ui/qt/tool_palette.h"

#include "core/image.h"
#include "core/settings.h"
#include "ui/qt/image_view.h"
#include "ui/qt/main_window.h"

#include <QAction>
#include <QColorDialog>
#include <QDockWidget>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QScrollArea>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <vector>

namespace ws {

namespace {

ToolPalette* g_palette = nullptr;
QDockWidget* g_dock = nullptr;
constexpr int kRoleThumb = 48;

// The tools' pictures, drawn rather than loaded so they scale with the screen.
QIcon tool_icon(const QString& name)
{
    QPixmap pix(64, 64);
    pix.fill(Qt::transparent);
    QPainter p(&pix);
    p.setRenderHint(QPainter::Antialiasing);
    QPen pen(QColor(40, 40, 40), 4);
    pen.setCapStyle(Qt::RoundCap);
    pen.setJoinStyle(Qt::RoundJoin);
    p.setPen(pen);
    if (name == "area_rectangle") {
        pen.setStyle(Qt::DashLine);
        p.setPen(pen);
        p.drawRect(10, 16, 44, 32);
    } else if (name == "area_roundrect") {
        pen.setStyle(Qt::DashLine);
        p.setPen(pen);
        p.drawRoundedRect(10, 16, 44, 32, 10, 10);
    } else if (name == "area_ellipse") {
        pen.setStyle(Qt::DashLine);
        p.setPen(pen);
        p.drawEllipse(8, 14, 48, 36);
    } else if (name == "area_polygon") {
        QPolygon poly({QPoint(10, 50), QPoint(20, 12), QPoint(54, 22), QPoint(44, 54)});
        p.drawPolygon(poly);
    } else if (name == "area_freehand") {
        QPainterPath path(QPointF(10, 40));
        path.cubicTo(14, 4, 40, 10, 52, 24);
        path.cubicTo(60, 40, 30, 60, 22, 48);
        p.drawPath(path);
    } else if (name == "area_wand") {
        p.drawLine(12, 54, 40, 26);
        p.setPen(QPen(QColor(230, 160, 0), 4));
        for (auto [x, y] : {std::pair{46, 10}, {54, 20}, {38, 12}, {52, 32}})
            p.drawPoint(x, y);
    } else if (name == "area_key") {
        p.drawEllipse(8, 20, 22, 22);
        p.drawLine(30, 31, 56, 31);
        p.drawLine(48, 31, 48, 42);
        p.drawLine(56, 31, 56, 40);
    } else if (name == "area_entire") {
        p.fillRect(10, 14, 44, 36, QColor(120, 160, 220));
        p.drawRect(10, 14, 44, 36);
    } else if (name == "work_method_0") {
        p.setBrush(QColor(200, 80, 60));
        p.drawEllipse(18, 18, 28, 28);
    } else if (name == "work_method_1") {
        pen.setStyle(Qt::DashLine);
        p.setPen(pen);
        p.drawRect(12, 12, 40, 40);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(200, 80, 60));
        p.drawEllipse(24, 24, 16, 16);
    }
    return QIcon(pix);
}

QIcon swatch(const long rgb[3])
{
    QPixmap pix(32, 32);
    pix.fill(QColor(std::clamp<long>(rgb[0], 0, 255), std::clamp<long>(rgb[1], 0, 255), std::clamp<long>(rgb[2], 0, 255)));
    QPainter p(&pix);
    p.setPen(Qt::black);
    p.drawRect(0, 0, 31, 31);
    return QIcon(pix);
}

} // namespace

ToolPalette* tool_palette()
{
    return g_palette;
}

QDockWidget* tool_dock()
{
    return g_dock;
}

ToolPalette::ToolPalette(MainWindow* window) : QWidget(window), window_(window)
{
    setObjectName("tool_palette");
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);

    auto* area = new QGroupBox("Area", this);
    auto* grid = new QGridLayout(area);
    grid->setSpacing(2);
    int n = 0;
    for (const char* name : {"area_rectangle", "area_roundrect", "area_ellipse", "area_polygon", "area_freehand",
                             "area_wand", "area_key", "area_entire"}) {
        QAction* a = window_->action(name);
        if (!a)
            continue;
        a->setIcon(tool_icon(name));
        auto* b = new QToolButton(area);
        b->setObjectName(QStringLiteral("tool_%1").arg(name));
        b->setDefaultAction(a);
        b->setToolTip(a->text().remove('&'));
        b->setIconSize(QSize(24, 24));
        b->setAutoRaise(true);
        grid->addWidget(b, n / 4, n % 4);
        if (n == 0)
            setFocusProxy(b);
        ++n;
    }
    layout->addWidget(area);

    auto* method = new QGroupBox("Working method", this);
    auto* mrow = new QVBoxLayout(method);
    for (const char* name : {"work_method_0", "work_method_1"}) {
        QAction* a = window_->action(name);
        if (!a)
            continue;
        a->setIcon(tool_icon(name));
        auto* b = new QToolButton(method);
        b->setObjectName(QStringLiteral("tool_%1").arg(name));
        b->setDefaultAction(a);
        b->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        b->setIconSize(QSize(20, 20));
        b->setAutoRaise(true);
        b->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        mrow->addWidget(b);
    }
    layout->addWidget(method);

    auto* roles = new QGroupBox("Images", this);
    auto* rgrid = new QGridLayout(roles);
    source_ = role_button(1);
    brush_ = role_button(2);
    source_name_ = new QLabel(roles);
    brush_name_ = new QLabel(roles);
    for (QLabel* l : {source_name_, brush_name_}) {
        l->setWordWrap(true);
        l->setMinimumWidth(40);
    }
    rgrid->addWidget(new QLabel("Source", roles), 0, 0);
    rgrid->addWidget(new QLabel("Brush", roles), 0, 1);
    rgrid->addWidget(source_, 1, 0);
    rgrid->addWidget(brush_, 1, 1);
    rgrid->addWidget(source_name_, 2, 0);
    rgrid->addWidget(brush_name_, 2, 1);
    layout->addWidget(roles);

    auto* colours = new QGroupBox("Colours", this);
    auto* crow = new QHBoxLayout(colours);
    foreground_ = new QToolButton(colours);
    foreground_->setObjectName("foreground");
    foreground_->setToolTip("Foreground: the colour text is drawn in");
    background_ = new QToolButton(colours);
    background_->setObjectName("background");
    background_->setToolTip("Background: the colour new images are filled with");
    auto* swap = new QToolButton(colours);
    swap->setObjectName("swap_colours");
    swap->setText("\u21c4");
    swap->setToolTip("Swap the two colours");
    for (QToolButton* b : {foreground_, background_})
        b->setIconSize(QSize(24, 24));
    connect(foreground_, &QToolButton::clicked, this, [this] { choose_colour(true); });
    connect(background_, &QToolButton::clicked, this, [this] { choose_colour(false); });
    connect(swap, &QToolButton::clicked, this, [this] {
        Settings& s = settings();
        std::swap(s.font_color, s.back_color);
        refresh();
    });
    crow->addWidget(foreground_);
    crow->addWidget(background_);
    crow->addWidget(swap);
    crow->addStretch(1);
    layout->addWidget(colours);
    layout->addStretch(1);

    // The roles change from menus, choosers and scripts alike: the palette
    // looks at them while it is shown.
    auto* timer = new QTimer(this);
    timer->setInterval(400);
    connect(timer, &QTimer::timeout, this, [this] {
        if (isVisible())
            refresh();
    });
    timer->start();
    connect(window_, &MainWindow::view_activated, this, &ToolPalette::refresh);
    refresh();
}

QToolButton* ToolPalette::role_button(int role)
{
    auto* b = new QToolButton(this);
    b->setObjectName(role == 1 ? "source" : "brush");
    b->setIconSize(QSize(kRoleThumb, kRoleThumb));
    b->setToolTip(role == 1 ? "The source image: click to choose another" : "The brush image: click to choose another");
    connect(b, &QToolButton::clicked, this, [this, role] { choose_role(role); });
    return b;
}

void ToolPalette::choose_role(int role)
{
    QMenu menu(this);
    std::vector<Image*> seen;
    for (ImageView* v : window_->views()) {
        Image* img = v->image();
        if (std::find(seen.begin(), seen.end(), img) != seen.end())
            continue;
        seen.push_back(img);
        QAction* a = menu.addAction(QIcon(QPixmap::fromImage(image_thumbnail(img, 32))), QString::fromLocal8Bit(img->name));
        connect(a, &QAction::triggered, this, [this, role, img] {
            if (image_store_contains(img))
                window_->assign_role(role, img);
            refresh();
        });
    }
    if (seen.empty())
        menu.addAction("No images are open")->setEnabled(false);
    QToolButton* b = role == 1 ? source_ : brush_;
    menu.exec(b->mapToGlobal(QPoint(0, b->height())));
}

void ToolPalette::choose_colour(bool foreground)
{
    Settings& s = settings();
    long* rgb = foreground ? s.font_color : s.back_color;
    QColor c = QColorDialog::getColor(QColor(static_cast<int>(rgb[0]), static_cast<int>(rgb[1]), static_cast<int>(rgb[2])),
                                      this, foreground ? "Foreground Colour" : "Background Colour");
    if (!c.isValid())
        return;
    rgb[0] = c.red();
    rgb[1] = c.green();
    rgb[2] = c.blue();
    refresh();
}

void ToolPalette::refresh()
{
    const ImageRoles& r = image_roles();
    auto show = [](QToolButton* button, QLabel* label, Image* img, Image*& shown, int& changes) {
        if (img && !image_store_contains(img))
            img = nullptr;
        int now = img ? img->changes : -1;
        if (img == shown && now == changes && !button->icon().isNull())
            return;
        shown = img;
        changes = now;
        const qreal ratio = button->devicePixelRatioF();
        QPixmap pix = QPixmap::fromImage(image_thumbnail(img, static_cast<int>(std::lround(kRoleThumb * ratio))));
        pix.setDevicePixelRatio(ratio);
        button->setIcon(QIcon(pix));
        label->setText(img ? QString::fromLocal8Bit(img->name) : QStringLiteral("(none)"));
    };
    show(source_, source_name_, r.source, shown_source_, source_changes_);
    show(brush_, brush_name_, r.brush, shown_brush_, brush_changes_);
    foreground_->setIcon(swatch(settings().font_color));
    background_->setIcon(swatch(settings().back_color));
}

void install_tool_palette()
{
    MainWindow::add_menu_builder([](MainWindow& w) {
        auto* dock = new QDockWidget("Tools", &w);
        dock->setObjectName("tool_dock");
        auto* palette = new ToolPalette(&w);
        // A short screen scrolls the palette rather than growing the frame.
        auto* scroll = new QScrollArea(dock);
        scroll->setWidget(palette);
        scroll->setWidgetResizable(true);
        scroll->setFrameShape(QFrame::NoFrame);
        scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        scroll->setMinimumWidth(palette->minimumSizeHint().width());
        scroll->setFocusProxy(palette);
        dock->setWidget(scroll);
        w.addDockWidget(Qt::LeftDockWidgetArea, dock);
        dock->show();  // the frame is shown already: a new dock is not
        g_palette = palette;
        g_dock = dock;
        QObject::connect(palette, &QObject::destroyed, [palette] {
            if (g_palette == palette) {
                g_palette = nullptr;
                g_dock = nullptr;
            }
        });
    });
}

} // namespace ws
