#include "ui/qt/desktop.h"

#include "core/prefs.h"
#include "core/profile.h"
#include "ops/catalogue.h"
#include "ops/framework.h"
#include "ui/qt/file_extras.h"
#include "ui/qt/finder.h"
#include "ui/qt/history_window.h"
#include "ui/qt/image_view.h"
#include "ui/qt/layers_window.h"
#include "ui/qt/main_window.h"
#include "ui/qt/status_info.h"
#include "ui/qt/tool_palette.h"

#include <QAction>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDockWidget>
#include <QHeaderView>
#include <QMenu>
#include <QMenuBar>
#include <QTableWidget>
#include <QVBoxLayout>

namespace ws {

namespace {

constexpr const char* kDockStateKey = "DockState";

ImageView* active(MainWindow& w)
{
    return w.active_view();
}

// The View menu, placed after Edit as desktops place it.
void build_view_menu(MainWindow& w)
{
    auto* view = new QMenu("&View", w.menuBar());
    view->setObjectName("view_menu");
    QAction* before = nullptr;
    const QList<QAction*> bar = w.menuBar()->actions();
    for (int i = 0; i + 1 < bar.size(); ++i)
        if (bar[i]->menu() && bar[i]->text().remove('&') == "Edit")
            before = bar[i + 1];
    w.menuBar()->insertMenu(before, view);

    auto add = [&](const char* name, const QString& text, QList<QKeySequence> keys, auto fn) {
        QAction* a = view->addAction(text);
        a->setObjectName(name);
        a->setShortcuts(keys);
        QObject::connect(a, &QAction::triggered, &w, [&w, fn] {
            if (ImageView* v = active(w))
                fn(v);
        });
        return a;
    };
    add("view_zoom_in", "Zoom &In", {QKeySequence(Qt::CTRL | Qt::Key_Plus), QKeySequence(Qt::CTRL | Qt::Key_Equal)},
        [](ImageView* v) { v->zoom_in(); });
    add("view_zoom_out", "Zoom &Out", {QKeySequence(Qt::CTRL | Qt::Key_Minus)}, [](ImageView* v) { v->zoom_out(); });
    add("view_zoom_1", "&Actual Pixels (1:1)", {QKeySequence(Qt::CTRL | Qt::Key_1)},
        [](ImageView* v) { v->set_zoom(1.0); });
    add("view_zoom_fit", "Zoom to &Fit", {QKeySequence(Qt::CTRL | Qt::Key_0)}, [](ImageView* v) { v->zoom_fit(); });
    view->addSeparator();
    // The tool windows, shown and hidden.
    struct Tool {
        QDockWidget* dock;
        const char* text;
        QKeySequence key;
    };
    const Tool tools[] = {
        {tool_dock(), "&Tools", QKeySequence(Qt::Key_F6)},
        {layers_dock(), "&Layers", QKeySequence(Qt::Key_F7)},
        {history_dock(), "&History", QKeySequence(Qt::Key_F8)},
    };
    for (const Tool& t : tools) {
        if (!t.dock)
            continue;
        QAction* toggle = t.dock->toggleViewAction();
        toggle->setText(t.text);
        toggle->setObjectName(QStringLiteral("view_%1").arg(t.dock->objectName()));
        toggle->setShortcut(t.key);
        view->addAction(toggle);
        // Shown from the keyboard, the window takes the keyboard too.
        QDockWidget* dock = t.dock;
        QObject::connect(toggle, &QAction::triggered, dock, [dock](bool on) {
            if (on && dock->widget()) {
                dock->raise();
                dock->widget()->setFocus(Qt::ShortcutFocusReason);
            }
        });
    }
}

// The desktop's keys for the frame window's own items.
void set_desktop_shortcuts(MainWindow& w)
{
    struct Key {
        const char* action;
        QList<QKeySequence> keys;
    };
    const Key keys[] = {
        {"file_new", {QKeySequence(Qt::CTRL | Qt::Key_N)}},
        {"file_open", {QKeySequence(Qt::CTRL | Qt::Key_O)}},
        {"file_save", {QKeySequence(Qt::CTRL | Qt::Key_S)}},
        {"file_save_as", {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S)}},
        {"file_close", {QKeySequence(Qt::CTRL | Qt::Key_W)}},
        {"file_exit", {QKeySequence(Qt::CTRL | Qt::Key_Q)}},
        {"edit_undo", {QKeySequence(Qt::CTRL | Qt::Key_Z)}},
        {"edit_deundo", {QKeySequence(Qt::CTRL | Qt::Key_Y), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)}},
        // F1 is the help of the operation at hand (below), not the topic list.
        {"help_topic", {}},
    };
    for (const Key& k : keys)
        if (QAction* a = w.action(k.action))
            a->setShortcuts(k.keys);
}

void add_help_items(MainWindow& w)
{
    QMenu* help = w.menu_named("Help");
    if (!help)
        return;
    QList<QAction*> items = help->actions();
    QAction* before = nullptr;
    for (QAction* a : items)
        if (a->isSeparator()) {
            before = a;
            break;
        }
    auto* context = new QAction("Help on the &Current Operation", &w);
    context->setObjectName("help_context");
    context->setShortcut(QKeySequence(Qt::Key_F1));
    QObject::connect(context, &QAction::triggered, &w, [&w] {
        // The operation last applied, else the list of operations.
        const OpDescriptor* op = op_by_command(op_state().current);
        w.show_help_topic(op ? op->name : nullptr);
    });
    auto* keys = new QAction("&Keyboard Shortcuts", &w);
    keys->setObjectName("help_keys");
    QObject::connect(keys, &QAction::triggered, &w, [&w] {
        QDialog* d = keyboard_shortcuts_dialog(&w);
        d->setAttribute(Qt::WA_DeleteOnClose);
        d->show();
    });
    help->insertAction(before, context);
    help->insertAction(before, keys);
}

// Rows of (where, item, keys) for every menu item with a shortcut.
void collect_shortcuts(QMenu* menu, const QString& path, QList<QStringList>& rows)
{
    for (QAction* a : menu->actions()) {
        if (a->isSeparator())
            continue;
        QString text = a->text().remove('&');
        if (a->menu()) {
            collect_shortcuts(a->menu(), path + " > " + text, rows);
            continue;
        }
        QStringList keys;
        for (const QKeySequence& k : a->shortcuts())
            keys << k.toString(QKeySequence::NativeText);
        if (!keys.isEmpty())
            rows << QStringList{path, text, keys.join(", ")};
    }
}

} // namespace

QDialog* keyboard_shortcuts_dialog(QWidget* parent)
{
    auto* dialog = new QDialog(parent);
    dialog->setObjectName("keyboard_shortcuts");
    dialog->setWindowTitle("Keyboard Shortcuts");
    QList<QStringList> rows;
    if (auto* w = qobject_cast<MainWindow*>(parent))
        for (QAction* a : w->menuBar()->actions())
            if (a->menu())
                collect_shortcuts(a->menu(), a->text().remove('&'), rows);
    rows << QStringList{"Parameter dialogs", "Help on the operation", "F1"}
         << QStringList{"Parameter dialogs", "Cancel (the image stays as it was)", "Esc"}
         << QStringList{"Views", "Zoom about the pointer", "Ctrl+Wheel"}
         << QStringList{"Views", "Pan", "Space+Drag, Middle button drag"}
         << QStringList{"Find Operation", "Open the chosen operation", "Enter"};
    auto* table = new QTableWidget(static_cast<int>(rows.size()), 3, dialog);
    table->setObjectName("shortcuts");
    table->setHorizontalHeaderLabels({"Where", "Command", "Keys"});
    table->verticalHeader()->setVisible(false);
    table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().height() + 8);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    for (int r = 0; r < rows.size(); ++r)
        for (int c = 0; c < 3; ++c)
            table->setItem(r, c, new QTableWidgetItem(rows[r][c]));
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    table->horizontalHeader()->setStretchLastSection(true);
    auto* layout = new QVBoxLayout(dialog);
    layout->addWidget(table);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, dialog);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    layout->addWidget(buttons);
    dialog->resize(560, 520);
    dialog->setMinimumSize(360, 240);
    return dialog;
}

void remember_tool_layout(MainWindow& window)
{
    QByteArray state = window.saveState().toBase64();
    profile_write(kPrefsSection, kDockStateKey, state.constData(), kPrefsFile);
}

void restore_tool_layout(MainWindow& window)
{
    std::string text = profile_get(kPrefsSection, kDockStateKey, "", 1 << 16, kPrefsFile);
    if (!text.empty())
        window.restoreState(QByteArray::fromBase64(QByteArray::fromStdString(text)));
}

void install_desktop()
{
    install_tool_palette();
    install_layers_window();
    install_history_window();
    install_status_info();
    install_operation_finder();
    install_file_extras();
    MainWindow::add_menu_builder([](MainWindow& w) {
        // The layers above the history in the right-hand area, the tools on the left.
        if (layers_dock() && history_dock())
            w.splitDockWidget(layers_dock(), history_dock(), Qt::Vertical);
        build_view_menu(w);
        set_desktop_shortcuts(w);
        add_help_items(w);
        restore_tool_layout(w);
    });
}

} // namespace ws
