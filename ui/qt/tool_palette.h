// The tool palette (dockable): the area tools, Entire Image, the working
// method (Immediate Painting or Draw First), the source and brush images
// with their thumbnails, and the foreground and background colours.  The
// buttons stand for the Area menu's items, so both always agree.
#pragma once

#include <QWidget>

class QDockWidget;
class QLabel;
class QToolButton;
struct Image;

namespace ws {

class MainWindow;

class ToolPalette : public QWidget {
    Q_OBJECT
public:
    explicit ToolPalette(MainWindow* window);
    // Shows the roles and colours as they are now.
    void refresh();

private:
    QToolButton* role_button(int role);
    void choose_role(int role);
    void choose_colour(bool foreground);

    MainWindow* window_;
    QToolButton* source_;
    QToolButton* brush_;
    QLabel* source_name_;
    QLabel* brush_name_;
    QToolButton* foreground_;
    QToolButton* background_;
    Image* shown_source_ = nullptr;
    Image* shown_brush_ = nullptr;
    int source_changes_ = -1, brush_changes_ = -1;
};

ToolPalette* tool_palette();
QDockWidget* tool_dock();
void install_tool_palette();

} // namespace ws
