// The generic parameter dialog of an operation, built from its parameter
// slots: a slider over the slider range beside a typed field over the typed
// range, check boxes for switches, a palette editor and a curve editor for
// those kinds, a line for text.  The controls write straight into the
// operation's variables, the same ones scripts, settings files and the
// timeline use.  Apply runs the operation on the active view (or the layer
// chosen in the layers window); while the dialog is open the Preview switch
// shows the result in the view as the values change, worked out on a copy.
#pragma once

#include <QDialog>
#include <QPointer>
#include <functional>
#include <vector>

struct Image;
struct OpDescriptor;
struct OpSlot;
class QCheckBox;
class QLabel;
class QFormLayout;
class QVBoxLayout;
class QTimer;

namespace ws {

class ImageView;
class MainWindow;

class ParamDialog : public QDialog {
    Q_OBJECT
public:
    ParamDialog(MainWindow* window, int32_t command);
    int32_t command() const { return command_; }
    // Runs the operation on the active view once; the framework's result.
    int apply();
    // Reads the variables into the controls again (after Load).
    void refresh();
    MainWindow* owner() const { return window_; }

    // The preview: on when the switch is on and the dialog shown.
    bool previewing() const;
    void set_preview(bool on);
    // Works the preview out now rather than after the pause that gathers
    // slider moves; true when a picture is shown.
    bool update_preview();
    // The last preview's remark (a reduced copy, the operation's message).
    QString preview_note() const;

    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void add_slot(QFormLayout* form, OpSlot& slot);
    void load_settings();
    void save_settings();
    // A value changed: the preview follows after a short pause.
    void changed();
    void schedule_preview();
    void clear_preview();

    MainWindow* window_;
    int32_t command_;
    const OpDescriptor* op_;
    std::vector<std::function<void()>> refreshers_;
    QLabel* result_;
    QCheckBox* preview_box_ = nullptr;
    QTimer* preview_timer_ = nullptr;
    std::vector<QPointer<ImageView>> preview_views_;
    std::vector<QMetaObject::Connection> preview_watch_;
    bool in_preview_ = false;
    bool after_apply_ = false;  // the image shows the applied result until a value changes
    double ns_per_pixel_ = 0;   // measured on the last preview
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
// Opens an operation as its menu item does: the dialog, or at once when it
// has no parameters.
void open_operation(MainWindow* window, int32_t command);

} // namespace ws
