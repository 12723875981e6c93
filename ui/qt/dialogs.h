// The workstation's own dialogs: New image, Preferences, the undo choosers.
#pragma once

#include <QDialog>

class QCheckBox;
class QComboBox;
class QSpinBox;
struct Image;

namespace ws {

// New image: the four custom sizes ("newcust1".."newcust4") or a size of
// the user's.  False when cancelled.
bool ask_new_image_size(QWidget* parent, long& width, long& height);

// "UndoChoose" / "DeUndoChoose": the captures of the image that can be
// undone (or redone); the chosen slot, -1 when cancelled or none.
long choose_undo_entry(QWidget* parent, Image* image, bool redo);

// The preferences: the 21 check boxes in dialog order, alpha mode, alpha
// masking, alpha display and undo levels.  OK writes them to the settings.
class PreferencesDialog : public QDialog {
    Q_OBJECT
public:
    explicit PreferencesDialog(QWidget* parent);
    void accept() override;

private:
    QCheckBox* prefs_[22] = {};
    QComboBox* mod_alpha_;
    QCheckBox* with_alpha_;
    QCheckBox* checker_alpha_;
    QCheckBox* command_server_;
    QSpinBox* undo_levels_;
};

} // namespace ws
