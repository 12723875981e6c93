// The script window: edit, load, save, run and stop a script program.  A run
// works on the active image as the Script operation (one undo for all of
// it); its console output goes where the interpreter sends it.
#pragma once

#include <QString>
#include <QWidget>

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace ws {

class MainWindow;

class ScriptWindow : public QWidget {
    Q_OBJECT
public:
    explicit ScriptWindow(MainWindow* window);

    // The jobs of the buttons (tests call them too).  load and save return
    // false when nothing was done (refused, cancelled or failed: reported).
    bool load(const QString& path_or_empty);
    bool save(bool ask_name);
    // Runs the text (saved first when it came from a file, else from a
    // scratch file): 0 done, else the run failed or was broken off.
    int run();
    void stop();

    QPlainTextEdit* editor() const { return editor_; }
    const QString& path() const { return path_; }
    bool running() const { return running_; }

private:
    void update_state();
    MainWindow* window_;
    QPlainTextEdit* editor_;
    QLabel* status_;
    QPushButton* run_;
    QPushButton* stop_;
    QString path_;
    bool running_ = false;
};

// The window (made on first use).
ScriptWindow* script_window(MainWindow* window);
// Enters "Script Window..." and "Plug-ins..." in the menus.
void install_script_menu();

} // namespace ws
