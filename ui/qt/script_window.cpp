#include "ui/qt/script_window.h"

#include "core/app.h"
#include "core/image.h"
#include "core/settings.h"
#include "ops/catalogue.h"
#include "ops/framework.h"
#include "script/script.h"
#include "ui/qt/main_window.h"
#include "ui/qt/image_view.h"
#include "ui/qt/plugin_window.h"

#include <QFileInfo>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <cstring>

namespace ws {

namespace {
ScriptWindow* g_window = nullptr;
}

ScriptWindow::ScriptWindow(MainWindow* window) : QWidget(window, Qt::Tool), window_(window)
{
    setObjectName("script_window");
    setWindowTitle("Script");
    editor_ = new QPlainTextEdit(this);
    editor_->setObjectName("script_text");
    editor_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    editor_->setLineWrapMode(QPlainTextEdit::NoWrap);
    auto* buttons = new QHBoxLayout;
    auto button = [&](const char* name, const char* text, auto fn) {
        auto* b = new QPushButton(text, this);
        b->setObjectName(name);
        connect(b, &QPushButton::clicked, this, fn);
        buttons->addWidget(b);
        return b;
    };
    button("script_load", "&Load...", [this] { load({}); });
    button("script_save", "&Save", [this] { save(false); });
    button("script_save_as", "Save &As...", [this] { save(true); });
    run_ = button("script_run", "&Run", [this] { run(); });
    stop_ = button("script_stop", "S&top", [this] { stop(); });
    buttons->addStretch();
    status_ = new QLabel(this);
    status_->setObjectName("script_status");
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(editor_);
    layout->addLayout(buttons);
    layout->addWidget(status_);
    resize(560, 420);
    update_state();
}

void ScriptWindow::update_state()
{
    run_->setEnabled(!running_);
    stop_->setEnabled(running_);
    setWindowTitle(path_.isEmpty() ? QString("Script") : QString("Script - %1").arg(QFileInfo(path_).fileName()));
}

bool ScriptWindow::load(const QString& path_or_empty)
{
    std::string path = path_or_empty.toLocal8Bit().toStdString();
    if (path.empty())
        path = script_editor_choose(script_current_path());
    if (path.empty())
        return false;
    std::string text;
    if (script_editor_load(path, text) != 0)
        return false;
    editor_->setPlainText(QString::fromLocal8Bit(text.c_str()));
    editor_->document()->setModified(false);
    path_ = QString::fromLocal8Bit(path.c_str());
    status_->setText("Loaded " + path_);
    update_state();
    return true;
}

bool ScriptWindow::save(bool ask_name)
{
    std::string path = ask_name ? std::string() : path_.toLocal8Bit().toStdString();
    std::string text = editor_->toPlainText().toLocal8Bit().toStdString();
    if (script_editor_save(path, text) != 0)
        return false;
    path_ = QString::fromLocal8Bit(path.c_str());
    editor_->document()->setModified(false);
    status_->setText("Saved " + path_);
    update_state();
    return true;
}

int ScriptWindow::run()
{
    if (running_ || script_running())
        return 1;
    std::string path;
    if (!path_.isEmpty()) {
        if (editor_->document()->isModified() && !save(false))
            return 1;
        path = path_.toLocal8Bit().toStdString();
    } else {
        // Text never saved runs from a scratch file in the settings folder.
        path = app_config_folder() + "/script-window.gxs";
        std::string text = editor_->toPlainText().toLocal8Bit().toStdString();
        if (script_editor_save(path, text) != 0)
            return 1;
    }
    running_ = true;
    update_state();
    status_->setText("Running...");
    int status;
    ImageView* view = window_->active_view();
    Image* image = view ? view->image() : nullptr;
    if (image) {
        // The Script operation on the active image: one undo takes it back.
        const OpDescriptor* d = op_by_command(opcmd::Script);
        const int32_t previous = op_state().current;
        if (d && d->slots[0].var && d->slots[0].text_size > 0)
            std::snprintf(static_cast<char*>(d->slots[0].var), static_cast<size_t>(d->slots[0].text_size), "%s",
                          path.c_str());
        set_current_operation(opcmd::Script);
        status = perform_operation(image, 0);
        if (previous && op_by_command(previous))
            set_current_operation(previous);
    } else {
        script_set_image(nullptr);
        const char* argv[] = {"script", path.c_str()};
        status = script_run(2, argv);
    }
    running_ = false;
    const std::string& why = script_last_error();
    status_->setText(status == 0 ? QString("Ended") : QString::fromLocal8Bit(why.empty() ? "Stopped" : why.c_str()));
    update_state();
    return status;
}

void ScriptWindow::stop()
{
    if (script_running())
        script_request_break();
}

ScriptWindow* script_window(MainWindow* window)
{
    if (!g_window) {
        g_window = new ScriptWindow(window);
        QObject::connect(g_window, &QObject::destroyed, [] { g_window = nullptr; });
    }
    return g_window;
}

void install_script_menu()
{
    MainWindow::add_menu_builder([](MainWindow& w) {
        QMenu* menu = w.add_menu("Sc&ript");
        menu->setObjectName("script_menu");
        QAction* open = menu->addAction("Script &Window...");
        open->setObjectName("script_window_open");
        QObject::connect(open, &QAction::triggered, &w, [&w] {
            ScriptWindow* s = script_window(&w);
            s->show();
            s->raise();
        });
        QAction* plugins = menu->addAction("&Plug-ins...");
        plugins->setObjectName("plugin_window_open");
        QObject::connect(plugins, &QAction::triggered, &w, [&w] {
            PluginWindow* p = plugin_window(&w);
            p->refresh();
            p->show();
            p->raise();
        });
    });
}

} // namespace ws
