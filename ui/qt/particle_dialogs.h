// The particle system's dialogs: "PSYS_DLG2" edits a whole system (every
// field, its forces, load and save) beside a preview of the current frame;
// "FRCE_DLG" edits one force.  The Particles operation's dialog reaches
// them through its "Particle System..." button.
#pragma once

#include "particles/psystem.h"

#include <QDialog>
#include <QImage>
#include <functional>
#include <string>
#include <vector>

class QFormLayout;
class QLabel;
class QLineEdit;
class QListWidget;
class QSlider;
class QSpinBox;
class QTimer;

namespace ws {

class MainWindow;

// Binds the controls of a form to fields of a record: each control writes
// its field when changed and is read back by refresh().
class FieldBinder {
public:
    explicit FieldBinder(QWidget* owner, std::function<void()> changed) : owner_(owner), changed_(std::move(changed)) {}
    QWidget* number(float* field, const char* key, double lo = -1e7, double hi = 1e7, int decimals = 4);
    QWidget* integer(int32_t* field, const char* key, int lo, int hi);
    QWidget* check(int32_t* field, const char* key, const char* label);
    // Three numbers in a row ("x y z").
    QWidget* triple(float* a, float* b, float* c, const char* ka, const char* kb, const char* kc);
    void refresh();

private:
    QWidget* owner_;
    std::function<void()> changed_;
    std::vector<std::function<void()>> refreshers_;
};

class ForceDialog : public QDialog {
    Q_OBJECT
public:
    ForceDialog(QWidget* parent, const Force& force);
    const Force& force() const { return force_; }

private:
    Force force_;
    FieldBinder fields_;
};

class SystemDialog : public QDialog {
    Q_OBJECT
public:
    SystemDialog(MainWindow* window, QWidget* parent = nullptr);
    ~SystemDialog() override;

    ParticleSystem& system() { return sys_; }
    const std::string& path() const { return path_; }
    void set_path(const std::string& path) { path_ = path; }
    // Reads a file into the dialog; false when it could not be read (the
    // reader has said why, and the dialog keeps what it held).
    bool load(const std::string& path);
    // Writes the system and makes the file the operation's; false on failure.
    bool save(const std::string& path);
    // The controls from the record again.
    void refresh();
    // Adds a force / opens the force dialog on force `index`.
    void add_force();
    void edit_force(int index);
    void remove_force(int index);
    // The frame the preview shows.
    void set_frame(int frame);
    int frame() const;
    // Draws the preview now (it is otherwise drawn a moment after a change);
    // the picture, null when the system could not be drawn.
    QImage preview_now();
    const QString& preview_note() const { return note_; }

Q_SIGNALS:
    void saved(const QString& path);

private:
    void changed();
    void fill_forces();
    void choose_load();
    void choose_save();
    void choose_palette();

    MainWindow* window_;
    ParticleSystem sys_{};
    std::string path_;
    std::string scratch_;
    FieldBinder fields_;
    QListWidget* forces_ = nullptr;
    QLabel* preview_ = nullptr;
    QLabel* status_ = nullptr;
    QSpinBox* frame_ = nullptr;
    QSlider* frame_slider_ = nullptr;
    QTimer* timer_ = nullptr;
    QString note_;
    QLineEdit* palette_ = nullptr;
    float last_min_ = 1;
};

// The system dialog of the workstation, made on first use and kept.
SystemDialog* particle_system_dialog(MainWindow* window);
// The "Particle System..." button of the Particles operation's dialog.
void install_particle_dialogs();
// Pictures for the documentation: the system dialog showing `system` and
// the force dialog on its first force, saved as particle-system.png and
// particle-force.png in `folder`; `done` runs afterwards.
void particle_screenshots(MainWindow* window, const QString& folder, const QString& system,
                          std::function<void()> done);

} // namespace ws
