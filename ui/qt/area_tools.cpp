#include "ui/qt/area_tools.h"

#include "areas/area.h"
#include "areas/area_file.h"
#include "areas/area_mask.h"
#include "core/image.h"
#include "core/settings.h"
#include "ui/qt/image_view.h"
#include "ui/qt/main_window.h"
#include "ui/qt/qt_platform.h"

#include <QActionGroup>
#include <QBitmap>
#include <QInputDialog>
#include <QMenu>
#include <QPainterPath>
#include <QRegion>

#include <algorithm>

namespace ws {

namespace {

AreaTools* g_tools = nullptr;

// The outline of the mask's selected pixels (weight 128 and above).
QPainterPath mask_outline(const Image* image)
{
    const AreaMask& m = area_mask();
    QPainterPath path;
    if (!m.block || m.width != static_cast<long>(image->width) || m.height != image->height)
        return path;
    uint8_t* bytes = mask_lock();
    if (!bytes)
        return path;
    QImage bits(static_cast<int>(m.width), static_cast<int>(m.height), QImage::Format_MonoLSB);
    bits.setColor(0, qRgb(255, 255, 255));
    bits.setColor(1, qRgb(0, 0, 0));
    bits.fill(0);
    bool any = false;
    for (long y = 0; y < m.height; ++y)
        for (long x = 0; x < m.width; ++x)
            if (bytes[y * m.width + x] >= 128) {
                bits.setPixel(static_cast<int>(x), static_cast<int>(y), 1);
                any = true;
            }
    mask_unlock();
    if (!any)
        return path;
    QRegion region(QBitmap::fromImage(bits));
    path.addRegion(region);
    return path.simplified();
}

QRect box_of(QPoint a, QPoint b)
{
    return QRect(QPoint(std::min(a.x(), b.x()), std::min(a.y(), b.y())),
                 QPoint(std::max(a.x(), b.x()), std::max(a.y(), b.y())));
}

} // namespace

AreaTools* area_tools()
{
    return g_tools;
}

AreaTools::AreaTools(MainWindow* window) : QObject(window), window_(window)
{
    g_tools = this;
    connect(this, &QObject::destroyed, [] { g_tools = nullptr; });
}

void AreaTools::set_tool(AreaTool tool)
{
    tool_ = tool;
    points_.clear();
    dragging_ = false;
}

void AreaTools::attach(ImageView* view)
{
    ImageCanvas* c = view->canvas();
    connect(c, &ImageCanvas::mouse_pressed, this, [this, view](QPoint p, Qt::MouseButton b, Qt::KeyboardModifiers) {
        if (b == Qt::LeftButton)
            press(view, p);
    });
    connect(c, &ImageCanvas::mouse_moved, this, [this, view](QPoint p, Qt::MouseButtons) { move(view, p); });
    connect(c, &ImageCanvas::mouse_released, this, [this, view](QPoint p, Qt::MouseButton b) {
        if (b == Qt::LeftButton)
            release(view, p);
    });
    connect(c, &ImageCanvas::mouse_double_clicked, this, [this, view](QPoint p) { double_click(view, p); });
}

void AreaTools::press(ImageView* view, QPoint p)
{
    window_->activate_view(view);
    switch (tool_) {
    case AreaTool::Rectangle:
    case AreaTool::RoundRect:
    case AreaTool::Ellipse:
    case AreaTool::Freehand:
        dragging_ = true;
        start_ = p;
        points_ = {p};
        break;
    case AreaTool::Polygon:
        points_.push_back(p);
        break;
    case AreaTool::ColorWand:
    case AreaTool::ColorKey: {
        Image* img = view->image();
        if (p.x() < 0 || p.y() < 0 || p.x() >= static_cast<int>(img->width) || p.y() >= img->height)
            return;
        AreaSettings& s = area_settings();
        s.src_width = img->width;
        s.src_height = img->height;
        const Settings& set = settings();
        for (int c = 0; c < 3; ++c)
            s.range[c] = set.rgb_range[c];
        if (tool_ == AreaTool::ColorWand) {
            s.mode = AreaMode::FLOOD;
            s.pos_x = p.x();
            s.pos_y = p.y();
            s.pos_set = true;
        } else {
            s.mode = AreaMode::KEY;
            if (image_lock(img) == 0) {
                const uint8_t* px = img->pixel(p.x(), p.y());
                for (int c = 0; c < 3; ++c)
                    s.key[c] = px[c];
            }
            image_unlock(img);
        }
        select_current(view);
        break;
    }
    }
}

void AreaTools::move(ImageView* view, QPoint p)
{
    if (!dragging_) {
        if (tool_ == AreaTool::Polygon && !points_.empty()) {
            QPainterPath path;
            path.moveTo(points_.front());
            for (const QPoint& q : points_)
                path.lineTo(q);
            path.lineTo(p);
            view->set_overlay(path, false);
        }
        return;
    }
    QPainterPath path;
    switch (tool_) {
    case AreaTool::Rectangle: path.addRect(box_of(start_, p)); break;
    case AreaTool::RoundRect: {
        double r = static_cast<double>(area_settings().roundness);
        path.addRoundedRect(box_of(start_, p), r, r);
        break;
    }
    case AreaTool::Ellipse: path.addEllipse(box_of(start_, p)); break;
    case AreaTool::Freehand:
        points_.push_back(p);
        path.moveTo(points_.front());
        for (const QPoint& q : points_)
            path.lineTo(q);
        break;
    default: break;
    }
    view->set_overlay(path, false);
}

void AreaTools::release(ImageView* view, QPoint p)
{
    if (!dragging_)
        return;
    dragging_ = false;
    Image* img = view->image();
    AreaSettings& s = area_settings();
    s.src_width = img->width;
    s.src_height = img->height;
    if (tool_ == AreaTool::Freehand) {
        points_.push_back(p);
        if (points_.size() < 3)
            return show_selection();
        s.mode = AreaMode::FREEHAND;
        s.points.clear();
        for (const QPoint& q : points_)
            s.points.push_back({q.x(), q.y(), static_cast<int16_t>(s.points.empty() ? 0 : 255)});
        points_.clear();
        return select_current(view);
    }
    QRect box = box_of(start_, p);
    if (box.width() < 2 && box.height() < 2)
        return show_selection();
    s.mode = tool_ == AreaTool::Ellipse ? AreaMode::ELLIPSE
             : tool_ == AreaTool::RoundRect ? AreaMode::ROUNDRECT
                                            : AreaMode::RECT;
    s.pos_x = (box.left() + box.right()) / 2;
    s.pos_y = (box.top() + box.bottom()) / 2;
    s.pos_set = true;
    s.rad_x = std::max(1, box.width() / 2);
    s.rad_y = std::max(1, box.height() / 2);
    select_current(view);
}

void AreaTools::double_click(ImageView* view, QPoint p)
{
    if (tool_ != AreaTool::Polygon)
        return;
    if (points_.empty() || points_.back() != p)
        points_.push_back(p);
    if (points_.size() < 3) {
        points_.clear();
        return show_selection();
    }
    Image* img = view->image();
    AreaSettings& s = area_settings();
    s.src_width = img->width;
    s.src_height = img->height;
    s.mode = AreaMode::POLYGON;
    s.points.clear();
    for (const QPoint& q : points_)
        s.points.push_back({q.x(), q.y(), static_cast<int16_t>(s.points.empty() ? 0 : 255)});
    points_.clear();
    select_current(view);
}

void AreaTools::select_current(ImageView* view)
{
    if (area_select() != 0)
        return;
    // Draw First keeps the mask built now; Immediate Painting builds it again
    // when an operation runs.  Either way the view shows what is selected.
    Image* img = view->image();
    build_area_mask(img, settings().with_alpha != 0);
    show_selection();
}

void AreaTools::select_entire()
{
    area_clear();
    for (ImageView* v : window_->views())
        v->set_overlay({}, false);
}

void AreaTools::show_selection()
{
    for (ImageView* v : window_->views()) {
        if (!area_state().present) {
            v->set_overlay({}, false);
            continue;
        }
        v->set_overlay(mask_outline(v->image()), true);
    }
}

void install_area_menu()
{
    MainWindow::add_menu_builder([](MainWindow& w) {
        auto* tools = new AreaTools(&w);
        for (ImageView* v : w.views())
            tools->attach(v);
        QObject::connect(&w, &MainWindow::view_added, tools, &AreaTools::attach);

        QMenu* menu = w.add_menu("&Area");
        menu->setObjectName("area_menu");
        auto* group = new QActionGroup(menu);
        struct ToolItem {
            const char* name;
            const char* text;
            AreaTool tool;
        };
        const ToolItem items[] = {
            {"area_rectangle", "&Rectangle", AreaTool::Rectangle},
            {"area_roundrect", "R&ound Rect", AreaTool::RoundRect},
            {"area_ellipse", "&Ellipse", AreaTool::Ellipse},
            {"area_polygon", "&Polygon (double-click closes)", AreaTool::Polygon},
            {"area_freehand", "&Freehand", AreaTool::Freehand},
            {"area_wand", "Color &Wand", AreaTool::ColorWand},
            {"area_key", "Color &Key", AreaTool::ColorKey},
        };
        for (const ToolItem& item : items) {
            QAction* a = menu->addAction(item.text);
            a->setObjectName(item.name);
            a->setCheckable(true);
            a->setChecked(item.tool == AreaTool::Rectangle);
            group->addAction(a);
            AreaTool tool = item.tool;
            QObject::connect(a, &QAction::triggered, tools, [tools, tool] { tools->set_tool(tool); });
        }
        QAction* entire = menu->addAction("E&ntire Image");
        entire->setObjectName("area_entire");
        QObject::connect(entire, &QAction::triggered, tools, [tools] { tools->select_entire(); });
        menu->addSeparator();

        QMenu* combine = menu->addMenu("&Combine");
        auto* cgroup = new QActionGroup(combine);
        const std::pair<const char*, int16_t> modes[] = {
            {"Replace", COMBINE_NONE}, {"Union", COMBINE_UNION}, {"Intersection", COMBINE_INTERSECTION},
            {"Exclude", COMBINE_EXCLUDE}};
        for (auto [text, value] : modes) {
            QAction* a = combine->addAction(text);
            a->setObjectName(QStringLiteral("area_combine_%1").arg(value));
            a->setCheckable(true);
            a->setChecked(area_settings().combination1 == value);
            cgroup->addAction(a);
            int16_t v = value;
            QObject::connect(a, &QAction::triggered, [v] { area_settings().combination1 = v; });
        }
        QAction* complement = combine->addAction("Co&mplement");
        complement->setObjectName("area_complement");
        complement->setCheckable(true);
        QObject::connect(complement, &QAction::toggled, [](bool on) { area_settings().combination2 = on ? 1 : 0; });

        QAction* feather = menu->addAction("Fea&ther...");
        feather->setObjectName("area_feather");
        QObject::connect(feather, &QAction::triggered, &w, [&w] {
            bool ok = false;
            int v = QInputDialog::getInt(&w, "Feather", "Soft edge inside the outline (pixels):",
                                         static_cast<int>(area_settings().feather), 0,
                                         static_cast<int>(kAreaMaxWidth), 1, &ok);
            if (ok) {
                area_settings().feather = v;
                settings().feathering = v;
            }
        });
        menu->addSeparator();
        QAction* load = menu->addAction("&Load Area Selection...");
        QObject::connect(load, &QAction::triggered, &w, [&w, tools] {
            std::string path = w.platform().choose_file(false, "Load Area Selection", "Area Files (*.ASF)|*.ASF|",
                                                        settings().area_path);
            if (!path.empty() && area_load(path.c_str()) == 0) {
                if (ImageView* v = w.active_view())
                    build_area_mask(v->image(), settings().with_alpha != 0);
                tools->show_selection();
            }
        });
        QAction* save = menu->addAction("&Save Area Selection...");
        QObject::connect(save, &QAction::triggered, &w, [&w] {
            std::string path = w.platform().choose_file(true, "Save Area Selection", "Area Files (*.ASF)|*.ASF|",
                                                        settings().area_path);
            if (!path.empty())
                area_save(path.c_str());
        });
        QAction* load_shape = menu->addAction("Load Sh&ape...");
        QObject::connect(load_shape, &QAction::triggered, &w, [&w] {
            std::string path =
                w.platform().choose_file(false, "Load Shape", "I-Shapes (*.ISH)|*.ISH|", settings().ishape_path);
            if (!path.empty())
                shape_load(path.c_str());
        });
        QAction* save_shape = menu->addAction("Save S&hape...");
        QObject::connect(save_shape, &QAction::triggered, &w, [&w] {
            std::string path =
                w.platform().choose_file(true, "Save Shape", "I-Shapes (*.ISH)|*.ISH|", settings().ishape_path);
            if (!path.empty())
                shape_save(path.c_str());
        });
        menu->addSeparator();
        QMenu* method = menu->addMenu("Working &Method");
        auto* mgroup = new QActionGroup(method);
        const std::pair<const char*, long> methods[] = {{"&Immediate Painting", 0}, {"&Draw First", 1}};
        for (auto [text, value] : methods) {
            QAction* a = method->addAction(text);
            a->setObjectName(QStringLiteral("work_method_%1").arg(value));
            a->setCheckable(true);
            a->setChecked(settings().work_method == value);
            mgroup->addAction(a);
            long v = value;
            QObject::connect(a, &QAction::triggered, [v] { settings().work_method = v; });
        }
    });
}

} // namespace ws
