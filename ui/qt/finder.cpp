#include "ui/qt/finder.h"

#include "ops/catalogue.h"
#include "ui/qt/main_window.h"
#include "ui/qt/param_dialog.h"

#include <QAction>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QVBoxLayout>

namespace ws {

namespace {

constexpr int kCommandRole = Qt::UserRole;
constexpr int kSearchRole = Qt::UserRole + 1;

QString group_name(int32_t group)
{
    const OpGroup* g = op_group(group);
    QString name = g ? QString::fromLatin1(g->name) : QString();
    name.remove(QStringLiteral(" Group"));
    return name;
}

} // namespace

OperationFinder::OperationFinder(MainWindow* window) : QDialog(window), window_(window)
{
    setObjectName("operation_finder");
    setWindowTitle("Find Operation");
    auto* layout = new QVBoxLayout(this);
    search_ = new QLineEdit(this);
    search_->setObjectName("search");
    search_->setPlaceholderText("Type part of an operation's or group's name");
    search_->setClearButtonEnabled(true);
    search_->installEventFilter(this);
    layout->addWidget(search_);
    list_ = new QListWidget(this);
    list_->setObjectName("operations");
    layout->addWidget(list_, 1);
    note_ = new QLabel(this);
    note_->setObjectName("note");
    note_->setWordWrap(true);
    layout->addWidget(note_);

    for (int i = 0; i < op_count(); ++i) {
        const OpDescriptor* op = op_at(i);
        QString group = group_name(op->group);
        auto* item = new QListWidgetItem(QStringLiteral("%1  \u2014  %2").arg(QString::fromLatin1(op->name), group), list_);
        item->setData(kCommandRole, op->command);
        item->setData(kSearchRole, QStringLiteral("%1 %2 %3")
                                       .arg(QString::fromLatin1(op->name), QString::fromLatin1(op->keyword ? op->keyword : ""),
                                            group)
                                       .toLower());
        if (!op->available) {
            item->setForeground(palette().brush(QPalette::Disabled, QPalette::Text));
            item->setToolTip(QString::fromLatin1(op->unavailable ? op->unavailable : "Not available"));
        }
    }
    connect(search_, &QLineEdit::textChanged, this, &OperationFinder::filter);
    connect(search_, &QLineEdit::returnPressed, this, [this] { open_chosen(); });
    connect(list_, &QListWidget::itemActivated, this, [this] { open_chosen(); });
    connect(list_, &QListWidget::currentItemChanged, this, [this](QListWidgetItem* item) {
        note_->setText(item ? item->toolTip() : QString());
    });
    resize(420, 460);
    setMinimumSize(300, 240);
}

void OperationFinder::filter(const QString& text)
{
    const QStringList words = text.toLower().split(' ', Qt::SkipEmptyParts);
    QListWidgetItem* first = nullptr;
    for (int i = 0; i < list_->count(); ++i) {
        QListWidgetItem* item = list_->item(i);
        const QString hay = item->data(kSearchRole).toString();
        bool match = true;
        for (const QString& w : words)
            match = match && hay.contains(w);
        item->setHidden(!match);
        // Names that begin with what was typed come first to the cursor.
        if (match && (!first || (!words.isEmpty() && hay.startsWith(words.first()) &&
                                 !first->data(kSearchRole).toString().startsWith(words.first()))))
            first = item;
    }
    list_->setCurrentItem(first);
}

bool OperationFinder::open_chosen()
{
    QListWidgetItem* item = list_->currentItem();
    if (!item || item->isHidden())
        return false;
    int32_t command = item->data(kCommandRole).toInt();
    const OpDescriptor* op = op_by_command(command);
    if (!op)
        return false;
    if (!op->available) {
        note_->setText(QStringLiteral("%1 cannot be applied yet: %2")
                           .arg(QString::fromLatin1(op->name), QString::fromLatin1(op->unavailable ? op->unavailable : "")));
        return false;
    }
    hide();
    open_operation(window_, command);
    return true;
}

bool OperationFinder::eventFilter(QObject* watched, QEvent* event)
{
    // Up and down in the search box move through the list.
    if (watched == search_ && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Down || key->key() == Qt::Key_Up || key->key() == Qt::Key_PageDown ||
            key->key() == Qt::Key_PageUp) {
            QCoreApplication::sendEvent(list_, event);
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

OperationFinder* show_operation_finder(MainWindow* window)
{
    auto* finder = window->findChild<OperationFinder*>("operation_finder");
    if (!finder)
        finder = new OperationFinder(window);
    finder->search()->clear();
    finder->filter({});
    finder->show();
    finder->raise();
    finder->activateWindow();
    finder->search()->setFocus();
    return finder;
}

void install_operation_finder()
{
    MainWindow::add_menu_builder([](MainWindow& w) {
        QMenu* effects = w.menu_named("Effects");
        QAction* find = new QAction("F&ind Operation...", &w);
        find->setObjectName("op_find");
        find->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_K), QKeySequence(Qt::Key_Slash)});
        QObject::connect(find, &QAction::triggered, &w, [&w] { show_operation_finder(&w); });
        if (effects) {
            QList<QAction*> items = effects->actions();
            effects->insertAction(items.size() > 1 ? items[1] : nullptr, find);
        } else {
            w.addAction(find);
        }
    });
}

} // namespace ws
