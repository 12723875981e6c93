// What a desktop user expects of the frame window beyond the menus of the
// subsystems: the tool windows (layers, tools, history) in docks, the View
// menu (zoom and the tool windows), the status fields, the operation
// finder, the File menu's extras, the desktop's shortcuts and their list in
// Help, and the dock layout kept between runs.
#pragma once

class QDialog;
class QWidget;

namespace ws {

class MainWindow;

// Registers the builders; called once, after the subsystems' menus.
void install_desktop();

// The dock layout of the frame window, kept in "GLIMVQ.ini" under
// "DockState" beside the window positions.
void remember_tool_layout(MainWindow& window);
void restore_tool_layout(MainWindow& window);

// Help > Keyboard Shortcuts: every shortcut of the menus, and the view's
// mouse gestures.
QDialog* keyboard_shortcuts_dialog(QWidget* parent);

} // namespace ws
