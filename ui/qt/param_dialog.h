// The generic parameter dialog of an operation, built from its parameter
// slots: a slider over the slider range beside a typed field over the typed
// range, check boxes for switches, a palette editor and a curve editor for
// those kinds, a line for text.  The controls write straight into the
// operation's variables, the same ones scripts, settings files and the
// timeline use.  Apply runs the operation on the active view.
#pragma once

#include <QDialog>
#include <functional>
#include <vector>

struct OpDescriptor;
struct OpSlot;
class QLabel;
class QFormLayout;
class QVBoxLayout;

namespace ws {

class MainWindow;

class ParamDialog : public QDialog {
    Q_OBJECT
public:
    ParamDialog(MainWindow* window, int32_t command);
    int32_t command() const { return command_; }
    // Runs the operation on the active view; the framework's result.
    int apply();
    // Reads the variables into the controls again (after Load).
    void refresh();
    MainWindow* owner() const { return window_; }

private:
    void add_slot(QFormLayout* form, OpSlot& slot);
    void load_settings();
    void save_settings();

    MainWindow* window_;
    int32_t command_;
    const OpDescriptor* op_;
    std::vector<std::function<void()>> refreshers_;
    QLabel* result_;
};

// An operation whose parameters need more than its slots give (the particle
// system's own dialogs) adds controls below them when its dialog is made.
using DialogExtension = void (*)(ParamDialog& dialog, QVBoxLayout* layout);
void set_dialog_extension(int32_t command, DialogExtension extension);

// The Effects menu: one submenu per operation group, available operations
// only, each opening its parameter dialog (or applying at once when the
// operation has no parameters); "Repeat" applies the current operation again.
void install_operation_menus();
// The dialog of an operation, made on first use and kept.
ParamDialog* operation_dialog(MainWindow* window, int32_t command);

} // namespace ws
