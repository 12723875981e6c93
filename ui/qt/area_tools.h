// The area tools on the image views: rectangle, rounded rectangle, ellipse,
// polygon, freehand, colour wand, colour key and entire, drawn with the
// mouse and shown with marching ants; the combination settings; area and
// shape files; the working method (Immediate Painting or Draw First).
#pragma once

#include <QObject>
#include <QPoint>
#include <vector>

struct Image;

namespace ws {

class ImageView;
class MainWindow;

enum class AreaTool { Rectangle, RoundRect, Ellipse, Polygon, Freehand, ColorWand, ColorKey };

class AreaTools : public QObject {
    Q_OBJECT
public:
    explicit AreaTools(MainWindow* window);
    AreaTool tool() const { return tool_; }
    void set_tool(AreaTool tool);

    // The drawing gestures in image coordinates (the views' mouse events
    // come here; tests call them directly).
    void press(ImageView* view, QPoint p);
    void move(ImageView* view, QPoint p);
    void release(ImageView* view, QPoint p);
    void double_click(ImageView* view, QPoint p);

    // Makes the current area settings the selection and shows it.
    void select_current(ImageView* view);
    void select_entire();
    // The marching ants of every view follow the selection.
    void show_selection();

    void attach(ImageView* view);

private:
    MainWindow* window_;
    AreaTool tool_ = AreaTool::Rectangle;
    bool dragging_ = false;
    QPoint start_;
    std::vector<QPoint> points_;
};

AreaTools* area_tools();
// The Area menu (tools, combinations, files, working method).
void install_area_menu();

} // namespace ws
