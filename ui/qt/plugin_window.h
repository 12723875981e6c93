// The plug-in list window: the registered plug-ins, loading a new one
// ("Load Glimmerix Plug-in"), selecting one, its parameters dialog built
// from the record's limits and switches, and applying it to the active
// image as the Plugin operation.
#pragma once

#include <QDialog>
#include <QWidget>

class QListWidget;
class QPushButton;
struct PluginEntry;

namespace ws {

class MainWindow;

class PluginWindow : public QWidget {
    Q_OBJECT
public:
    explicit PluginWindow(MainWindow* window);
    // The list from the host.
    void refresh();
    // The buttons' jobs (tests call them too).  False when nothing was done.
    bool load(const QString& path_or_empty);
    bool select_row(int row);
    bool remove_selected();
    bool apply();
    // The parameters dialog of the selected plug-in (null when none).
    QDialog* parameters_dialog();
    QListWidget* list() const { return list_; }

private:
    PluginEntry* current() const;
    MainWindow* window_;
    QListWidget* list_;
};

// The parameters of a plug-in, edited in its record's terms: the integers
// that have limits, the switches, the radio groups, the numbers and texts.
class PluginParamDialog : public QDialog {
    Q_OBJECT
public:
    PluginParamDialog(QWidget* parent, PluginEntry* entry);
    // Writes the controls into the plug-in operation's parameters (and the
    // plug-in's record).
    void take();

private:
    PluginEntry* entry_;
};

PluginWindow* plugin_window(MainWindow* window);

} // namespace ws
