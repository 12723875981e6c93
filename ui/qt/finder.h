// The operation finder (Ctrl+K or /): a search box over every operation of
// the catalogue and its group; Enter opens the chosen operation as its menu
// item would.
#pragma once

#include <QDialog>

#include <cstdint>

class QLabel;
class QLineEdit;
class QListWidget;

namespace ws {

class MainWindow;

class OperationFinder : public QDialog {
    Q_OBJECT
public:
    explicit OperationFinder(MainWindow* window);
    // Shows the operations whose name, keyword or group hold every word typed.
    void filter(const QString& text);
    // Opens the chosen operation (or says why it cannot run); false when none is chosen.
    bool open_chosen();
    QLineEdit* search() const { return search_; }
    QListWidget* list() const { return list_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    MainWindow* window_;
    QLineEdit* search_;
    QListWidget* list_;
    QLabel* note_;
};

// Opens the finder (made once per frame window) with an empty search.
OperationFinder* show_operation_finder(MainWindow* window);
void install_operation_finder();

} // namespace ws
