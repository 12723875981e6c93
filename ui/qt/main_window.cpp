#include "ui/qt/main_window.h"

#include "core/app.h"
#include "core/image.h"
#include "core/log.h"
#include "core/mem.h"
#include "core/messages.h"
#include "core/progress.h"
#include "core/settings.h"
#include "core/undo.h"
#include "ops/catalogue.h"
#include "ops/framework.h"
#include "ops/help.h"
#include "formats/codecs.h"
#include "formats/load_save.h"
#include "layers/layer_manage.h"
#include "ui/qt/dialogs.h"
#include "ui/qt/file_extras.h"
#include "ui/qt/history_window.h"
#include "ui/qt/image_view.h"
#include "ui/qt/qt_platform.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDockWidget>
#include <QDragEnterEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QStatusBar>
#include <QTextBrowser>
#include <QUrl>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cstring>

namespace ws {

namespace {

MainWindow* g_window = nullptr;

std::vector<MainWindow::MenuBuilder>& menu_builders()
{
    static std::vector<MainWindow::MenuBuilder> builders;
    return builders;
}

// Closing a view's window goes through MainWindow::close_view, which may
// ask to save and may refuse.
class ViewWindow : public QMdiSubWindow {
public:
    ViewWindow(MainWindow* main, ImageView* view) : main_(main), view_(view)
    {
        setWidget(view);
        setAttribute(Qt::WA_DeleteOnClose);
    }
    ImageView* view() const { return view_; }
    void force_close()
    {
        forced_ = true;
        close();
    }

protected:
    void closeEvent(QCloseEvent* event) override
    {
        if (forced_ || main_->close_view(view_))
            event->accept();
        else
            event->ignore();
    }

private:
    MainWindow* main_;
    ImageView* view_;
    bool forced_ = false;
};

} // namespace

MainWindow* main_window()
{
    return g_window;
}

void MainWindow::add_menu_builder(MenuBuilder builder)
{
    menu_builders().push_back(std::move(builder));
}

MainWindow::MainWindow()
{
    g_window = this;
    setObjectName("mainClass");
    setWindowTitle("Glimmerix:V/q");
    setAcceptDrops(true);
    platform_ = new QtPlatform(this);
    mdi_ = new QMdiArea(this);
    mdi_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    mdi_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setCentralWidget(mdi_);
    connect(mdi_, &QMdiArea::subWindowActivated, this, &MainWindow::on_subwindow_activated);
    build_status_bar();
    build_menus();
    update_actions();
}

MainWindow::~MainWindow()
{
    if (g_window == this)
        g_window = nullptr;
    delete platform_;
}

// ---------------------------------------------------------------- menus

QAction* MainWindow::add_action(QMenu* menu, const QString& name, const QString& text, std::function<void()> fn,
                                const QKeySequence& key)
{
    QAction* a = menu->addAction(text);
    a->setObjectName(name);
    if (!key.isEmpty())
        a->setShortcut(key);
    connect(a, &QAction::triggered, this, [fn]() { fn(); });
    return a;
}

QAction* MainWindow::action(const QString& name) const
{
    return findChild<QAction*>(name);
}

QMenu* MainWindow::menu_named(const QString& title)
{
    for (QAction* a : menuBar()->actions())
        if (a->menu() && a->text().remove('&') == title)
            return a->menu();
    return nullptr;
}

void MainWindow::build_menus()
{
    QMenu* file = menuBar()->addMenu("&File");
    add_action(file, "file_new", "&New...", [this] { file_new(); }, QKeySequence::New);
    add_action(file, "file_open", "&Open...", [this] { file_open(); }, QKeySequence::Open);
    add_action(file, "file_save", "&Save", [this] { save_active({}); }, QKeySequence::Save);
    add_action(file, "file_save_as", "Save &As...", [this] { file_save_as(); }, QKeySequence::SaveAs);
    file->addSeparator();
    recent_menu_ = file->addMenu("Recent &Files");
    recent_menu_->setObjectName("recent_menu");
    connect(recent_menu_, &QMenu::aboutToShow, this, &MainWindow::update_recent_menu);
    file->addSeparator();
    add_action(file, "file_close", "&Close View", [this] {
        if (QMdiSubWindow* sub = mdi_->activeSubWindow())
            sub->close();
    });
    add_action(file, "file_exit", "E&xit", [this] { close(); }, QKeySequence::Quit);

    QMenu* edit = menuBar()->addMenu("&Edit");
    add_action(edit, "edit_undo", "&Undo", [this] { undo(); }, QKeySequence::Undo);
    add_action(edit, "edit_deundo", "&De-Undo", [this] { redo(); }, QKeySequence::Redo);
    edit->addSeparator();
    add_action(edit, "edit_assign_source", "Assign as &Source", [this] {
        if (ImageView* v = active_view())
            assign_role(1, v->image());
    });
    add_action(edit, "edit_assign_brush", "Assign as &Brush", [this] {
        if (ImageView* v = active_view())
            assign_role(2, v->image());
    });
    add_action(edit, "edit_select_source", "Select Source Image...", [this] {
        std::vector<ImageView*> all = views();
        QStringList names;
        std::vector<Image*> images;
        for (ImageView* v : all)
            if (std::find(images.begin(), images.end(), v->image()) == images.end()) {
                images.push_back(v->image());
                names << QString::fromLocal8Bit(v->image()->name);
            }
        if (images.empty())
            return;
        bool ok = false;
        QString chosen = QInputDialog::getItem(this, "Select Source Image", "Source:", names, 0, false, &ok);
        if (ok)
            assign_role(1, images[static_cast<size_t>(names.indexOf(chosen))]);
    });
    edit->addSeparator();
    add_action(edit, "edit_undo_choose", "Undo to...", [this] {
        if (ImageView* v = active_view())
            if (long entry = choose_undo_entry(this, v->image(), false); entry >= 0) {
                undo_apply(v->image(), entry);
                redraw(v->image(), nullptr);
            }
    });
    add_action(edit, "edit_deundo_choose", "De-Undo to...", [this] {
        if (ImageView* v = active_view())
            if (long entry = choose_undo_entry(this, v->image(), true); entry >= 0) {
                undo_redo(v->image(), static_cast<int>(entry));
                redraw(v->image(), nullptr);
            }
    });

    QMenu* options = menuBar()->addMenu("&Options");
    options_menu_ = options->menuAction();
    add_action(options, "options_prefs", "&Preferences...", [this] { show_preferences(); });
    QAction* log = add_action(options, "options_log", "Keep &Log", [] {});
    log->setCheckable(true);
    log->setChecked(settings().keep_log != 0);
    connect(log, &QAction::toggled, this, &MainWindow::toggle_log);
    add_action(options, "options_memory", "&Memory Report", [this] { show_memory_report(); });

    window_menu_ = menuBar()->addMenu("&Window");
    connect(window_menu_, &QMenu::aboutToShow, this, &MainWindow::update_window_menu);
    update_window_menu();

    QMenu* help = menuBar()->addMenu("&Help");
    add_action(help, "help_index", "&Operations", [this] { show_help_topic(nullptr); });
    add_action(help, "help_topic", "Help on a &Topic...", [this] {
        QStringList topics;
        for (int i = 0; i < op_count(); ++i)
            topics << QString::fromLatin1(op_at(i)->name);
        int groups = 0;
        const OpGroup* g = op_groups(&groups);
        for (int k = 0; k < groups; ++k)
            topics << QString::fromLatin1(g[k].name);
        bool ok = false;
        QString topic = QInputDialog::getItem(this, "Help", "Topic:", topics, 0, true, &ok);
        if (ok)
            op_help(topic.toLatin1().constData());
    }, QKeySequence::HelpContents);
    help->addSeparator();
    add_action(help, "help_about", "&About Glimmerix:V/q", [this] { about(); });
}

QMenu* MainWindow::add_menu(const QString& title)
{
    auto* menu = new QMenu(title, menuBar());
    menuBar()->insertMenu(options_menu_, menu);
    return menu;
}

void MainWindow::build_subsystem_menus()
{
    if (subsystem_menus_built_)
        return;
    subsystem_menus_built_ = true;
    for (const MenuBuilder& builder : menu_builders())
        builder(*this);
}

void MainWindow::update_window_menu()
{
    window_menu_->clear();
    add_action(window_menu_, "view_new", "&New View", [this] {
        if (ImageView* v = active_view())
            add_view(v->image());
    });
    QAction* alpha = add_action(window_menu_, "view_alpha", "Show &Alpha", [] {});
    alpha->setCheckable(true);
    alpha->setChecked(active_view() && active_view()->shows_alpha());
    connect(alpha, &QAction::toggled, this, [this](bool on) {
        if (ImageView* v = active_view())
            v->set_show_alpha(on);
    });
    window_menu_->addSeparator();
    add_action(window_menu_, "window_cascade", "&Cascade", [this] { mdi_->cascadeSubWindows(); });
    add_action(window_menu_, "window_tile", "&Tile", [this] { mdi_->tileSubWindows(); });
    window_menu_->addSeparator();
    int n = 1;
    for (QMdiSubWindow* sub : mdi_->subWindowList()) {
        // Digits 1 to 9 are the mnemonics; later windows have none.
        QString title = sub->windowTitle().replace('&', "&&");
        QAction* a = window_menu_->addAction(n <= 9 ? QStringLiteral("&%1 %2").arg(n).arg(title)
                                                    : QStringLiteral("%1 %2").arg(n).arg(title));
        ++n;
        a->setCheckable(true);
        a->setChecked(sub == mdi_->activeSubWindow());
        connect(a, &QAction::triggered, this, [this, sub] { mdi_->setActiveSubWindow(sub); });
    }
    update_actions();
}

void MainWindow::update_recent_menu()
{
    recent_menu_->clear();
    for (int i = 1; i <= 9; ++i) {
        const std::string& path = settings().last_file[i];
        if (path.empty())
            continue;
        QString p = QString::fromLocal8Bit(path.c_str());
        QAction* a = recent_menu_->addAction(QStringLiteral("&%1 %2").arg(i).arg(QFileInfo(p).fileName()));
        a->setToolTip(p);
        connect(a, &QAction::triggered, this, [this, p] { open_file(p); });
    }
    if (recent_menu_->isEmpty())
        recent_menu_->addAction("(none)")->setEnabled(false);
}

void MainWindow::remember_recent(const QString& path)
{
    std::string p = path.toLocal8Bit().toStdString();
    Settings& s = settings();
    int found = 9;
    for (int i = 1; i <= 9; ++i)
        if (s.last_file[i] == p) {
            found = i;
            break;
        }
    for (int i = found; i > 1; --i)
        s.last_file[i] = s.last_file[i - 1];
    s.last_file[1] = p;
}

namespace {

// Whether the image has a capture to undo (or, `undone`, one to take back).
bool has_undo(const Image* image, bool undone)
{
    for (long i = 0; image && i < undo_slot_count(); ++i)
        if (const Image* c = undo_slot(i); c && c->parent == image && (c->undo_applied != 0) == undone)
            return true;
    return false;
}

// Whether Save can write the image's own file in its own format.
bool own_format_writable(const Image* image)
{
    const Codec* c = image && image->path[0] ? codec_for_save_type(image->file_format) : nullptr;
    return c && c->write;
}

} // namespace

void MainWindow::update_actions()
{
    ImageView* view = active_view();
    bool have = view != nullptr;
    for (const char* name : {"file_save", "file_save_as", "file_close", "edit_assign_source", "edit_assign_brush"})
        if (QAction* a = action(name))
            a->setEnabled(have);
    Image* image = have ? view->image() : nullptr;
    for (const char* name : {"edit_undo", "edit_undo_choose"})
        if (QAction* a = action(name))
            a->setEnabled(has_undo(image, false));
    for (const char* name : {"edit_deundo", "edit_deundo_choose"})
        if (QAction* a = action(name))
            a->setEnabled(has_undo(image, true));
}

// ---------------------------------------------------------------- status bar

void MainWindow::build_status_bar()
{
    caption_ = new QLabel(this);
    caption_->setObjectName("progress_caption");
    caption_->setMinimumWidth(160);
    bar_ = new QProgressBar(this);
    bar_->setObjectName("progress_bar");
    bar_->setRange(0, 100);
    bar_->setMaximumWidth(220);
    bar_->setVisible(false);
    overall_ = new QProgressBar(this);
    overall_->setObjectName("progress_overall");
    overall_->setRange(0, 100);
    overall_->setMaximumWidth(120);
    overall_->setVisible(false);
    pause_ = new QToolButton(this);
    pause_->setObjectName("progress_pause");
    pause_->setText("Pause");
    pause_->setCheckable(true);
    pause_->setEnabled(false);
    cancel_ = new QToolButton(this);
    cancel_->setObjectName("progress_cancel");
    cancel_->setText("Cancel");
    cancel_->setEnabled(false);
    connect(pause_, &QToolButton::clicked, this, [] { progress_toggle_pause(); });
    connect(cancel_, &QToolButton::clicked, this, [] { progress_request_cancel(); });
    statusBar()->addWidget(caption_, 1);
    statusBar()->addPermanentWidget(overall_);
    statusBar()->addPermanentWidget(bar_);
    statusBar()->addPermanentWidget(pause_);
    statusBar()->addPermanentWidget(cancel_);
}

void MainWindow::show_progress(const QString& caption, int percent, int overall, bool active)
{
    caption_->setText(caption);
    bar_->setVisible(percent >= 0);
    if (percent >= 0)
        bar_->setValue(percent);
    overall_->setVisible(overall >= 0);
    if (overall >= 0)
        overall_->setValue(overall);
    pause_->setEnabled(active);
    cancel_->setEnabled(active);
    if (!active) {
        QSignalBlocker block(pause_);
        pause_->setChecked(false);
    }
}

// ---------------------------------------------------------------- views

ImageView* MainWindow::add_view(Image* image)
{
    auto* view = new ImageView(image);
    view->canvas()->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(view->canvas(), &QWidget::customContextMenuRequested, this, [this, view](const QPoint& at) {
        QMenu menu;
        menu.addAction("Assign as Source", this, [this, view] { assign_role(1, view->image()); });
        menu.addAction("Assign as Brush", this, [this, view] { assign_role(2, view->image()); });
        menu.addSeparator();
        menu.addAction("New View", this, [this, view] { add_view(view->image()); });
        menu.exec(view->canvas()->mapToGlobal(at));
    });
    auto* sub = new ViewWindow(this, view);
    sub->setObjectName("viewClass");
    mdi_->addSubWindow(sub);
    sub->setWindowTitle(view->title());
    connect(view, &ImageView::title_changed, sub, [sub, view] { sub->setWindowTitle(view->title()); });
    long w = std::min<long>(image->width + 40, std::max(200, mdi_->width() - 40));
    long h = std::min<long>(image->height + 60, std::max(150, mdi_->height() - 40));
    sub->resize(static_cast<int>(w), static_cast<int>(h));
    sub->show();
    // The cascade may place a large view past the workspace: its title
    // bar stays inside, where it can be taken.
    QRect area = mdi_->viewport()->rect();
    QRect g = sub->geometry();
    if (g.right() > area.right())
        g.moveLeft(std::max(0, area.right() + 1 - g.width()));
    if (g.bottom() > area.bottom())
        g.moveTop(std::max(0, area.bottom() + 1 - g.height()));
    sub->move(g.topLeft());
    mdi_->setActiveSubWindow(sub);
    image_set_role(ImageRole::Target, image);
    update_actions();
    Q_EMIT view_added(view);
    return view;
}

std::vector<ImageView*> MainWindow::views() const
{
    std::vector<ImageView*> out;
    for (QMdiSubWindow* sub : mdi_->subWindowList())
        if (auto* vw = dynamic_cast<ViewWindow*>(sub))
            out.push_back(vw->view());
    return out;
}

std::vector<ImageView*> MainWindow::views_of(const Image* image) const
{
    std::vector<ImageView*> out;
    for (ImageView* v : views())
        if (v->image() == image)
            out.push_back(v);
    return out;
}

ImageView* MainWindow::active_view() const
{
    if (auto* vw = dynamic_cast<ViewWindow*>(mdi_->activeSubWindow()))
        return vw->view();
    // Offscreen and minimised, no sub-window counts as active: take the last.
    auto all = views();
    return all.empty() ? nullptr : all.back();
}

void MainWindow::activate_view(ImageView* view)
{
    for (QMdiSubWindow* sub : mdi_->subWindowList())
        if (auto* vw = dynamic_cast<ViewWindow*>(sub); vw && vw->view() == view)
            mdi_->setActiveSubWindow(sub);
}

void MainWindow::on_subwindow_activated(QMdiSubWindow* sub)
{
    if (auto* vw = dynamic_cast<ViewWindow*>(sub)) {
        image_set_role(ImageRole::Target, vw->view()->image());
        Q_EMIT view_activated(vw->view());
    }
    update_actions();
}

void MainWindow::redraw(Image* image, const QRect* rect)
{
    for (ImageView* v : views())
        if (!image || v->image() == image)
            v->image_changed(rect);
    update_actions();  // an operation or an undo changes what can be undone
}

bool MainWindow::close_view(ImageView* view)
{
    Image* image = view->image();
    if (op_state().running) {
        message_show(msg::OperationInProgress);
        return false;
    }
    bool last = views_of(image).size() == 1;
    if (last && image->changes != 0 && settings().pref(PREF_UNSAVED_IMAGE)) {
        QString text = QStringLiteral("The image \"%1\" has changed. Save it?").arg(QString::fromLocal8Bit(image->name));
        ui::Answer a = platform_->ask(ui::Ask::SaveDiscardCancel, "Glimmerix:V/q", text.toLocal8Bit().constData());
        if (a == ui::Answer::Cancel)
            return false;
        if (a == ui::Answer::Save) {
            ImageView* keep = active_view();
            activate_view(view);
            bool saved = save_active({}) && image->changes == 0;
            if (keep && keep != view)
                activate_view(keep);
            if (!saved)
                return false;
        }
    }
    // The window goes first, so that the image's roles do not fall back to it.
    for (QMdiSubWindow* sub : mdi_->subWindowList())
        if (auto* vw = dynamic_cast<ViewWindow*>(sub); vw && vw->view() == view) {
            mdi_->removeSubWindow(sub);
            sub->deleteLater();
        }
    if (last)
        image_free(image);
    update_actions();
    return true;
}

void MainWindow::destroy_views()
{
    for (QMdiSubWindow* sub : mdi_->subWindowList()) {
        mdi_->removeSubWindow(sub);
        delete sub;
    }
}

// ---------------------------------------------------------------- file jobs

Image* MainWindow::new_image(long width, long height)
{
    Image* image = image_new(width, height, "inew");
    if (!image)
        return nullptr;
    image_next_new_name(image->name, sizeof image->name);
    const Settings& s = settings();
    if (image_lock(image) == 0) {
        uint8_t r = static_cast<uint8_t>(s.back_color[0]), g = static_cast<uint8_t>(s.back_color[1]),
                b = static_cast<uint8_t>(s.back_color[2]);
        uint8_t a = s.trans_new_image ? 0 : 255;
        for (int y = 0; y < image->height; ++y) {
            uint8_t* px = image->row(y);
            for (uint32_t x = 0; x < image->width; ++x, px += 4) {
                px[0] = r;
                px[1] = g;
                px[2] = b;
                px[3] = a;
            }
        }
        image->alpha = s.trans_new_image ? 1 : 0;
    }
    image_unlock(image);
    image->changes = 1;
    add_view(image);
    return image;
}

Image* MainWindow::open_file(const QString& path)
{
    char name[kImagePathMax];
    std::snprintf(name, sizeof name, "%s", path.toLocal8Bit().constData());
    Image* image = LoadImageFile(name);
    if (!image)
        return nullptr;
    remember_recent(QString::fromLocal8Bit(name));
    settings().image_path = QFileInfo(QString::fromLocal8Bit(name)).absolutePath().toLocal8Bit().toStdString();
    ImageView* view = add_view(image);
    // "Small Image 1:1 Load": large images open fitted to the window.
    if (!settings().pref(PREF_SMALL_IMAGE_1TO1_LOAD) ||
        static_cast<int>(image->width) > mdi_->width() || image->height > mdi_->height())
        view->zoom_fit();
    return image;
}

bool MainWindow::save_image_to(Image* image, const QString& path)
{
    if (path.isEmpty()) {
        ImageView* keep = active_view();
        for (ImageView* v : views_of(image))
            activate_view(v);
        file_save_as();
        if (keep)
            activate_view(keep);
        return image->changes == 0;
    }
    char name[kImagePathMax];
    std::snprintf(name, sizeof name, "%s", path.toLocal8Bit().constData());
    // A layer stack goes whole into a layered file; the flat writers would
    // keep only its composite.
    if (Image* master = layer_master_of(image); master && QFileInfo(path).suffix().compare("elf", Qt::CaseInsensitive) == 0) {
        if (save_layered(master, name) != 0)
            return false;
        image = master;
    } else if (const int16_t unsaved = image->changes; save_image_as(image, name) != 0) {
        return false;
    } else if (layer_master_of(image)) {
        // The file holds the composite only: the layers are still unsaved,
        // and closing asks for them.
        image->changes = unsaved ? unsaved : 1;
        remember_recent(QString::fromLocal8Bit(name));
        return true;
    }
    image->changes = 0;
    remember_recent(QString::fromLocal8Bit(name));
    redraw(image, nullptr);
    return true;
}

bool MainWindow::save_active(const QString& path_or_empty)
{
    ImageView* v = active_view();
    if (!v)
        return false;
    Image* image = v->image();
    if (!path_or_empty.isEmpty())
        return save_image_to(image, path_or_empty);
    // A layer stack is saved whole: into its own layered file, or one the
    // user names beside the picture it came from.
    if (Image* master = layer_master_of(image)) {
        if (QFileInfo(QString::fromLocal8Bit(master->path)).suffix().compare("elf", Qt::CaseInsensitive) == 0)
            return save_image_to(master, QString::fromLocal8Bit(master->path));
        return save_layers_as(this, image);
    }
    // Save writes the image's own file in its own format, as every editor
    // does; a format that cannot be written goes to Save As.
    if (!own_format_writable(image)) {
        file_save_as();
        return image->changes == 0;
    }
    Settings& s = settings();
    const long type = s.save_type, depth = s.save_depth, compress = s.save_compress, quality = s.jpeg_quality;
    s.save_type = image->file_format;
    int bits = image->alpha ? 32 : image->bits;
    if (save_depth_for_bits(bits) >= 0)
        s.save_depth = save_depth_for_bits(bits);
    if (image->saved_compress >= 0 && image->path[0])
        s.save_compress = image->saved_compress;
    if (image->file_format == FMT_JPG && image->saved_quality > 0)
        s.jpeg_quality = image->saved_quality;
    bool done = save_image_to(image, QString::fromLocal8Bit(image->path));
    s.save_type = type;
    s.save_depth = depth;
    s.save_compress = compress;
    s.jpeg_quality = quality;
    return done;
}

QStringList MainWindow::save_as_offer(const Image* image) const
{
    std::vector<int> types = save_as_types(true);
    QStringList parts = QString::fromLatin1(save_as_filter(true).c_str()).split('|');
    QStringList labels;
    for (int i = 0; i + 1 < parts.size(); i += 2)
        labels << parts[i];
    if (own_format_writable(image))
        for (size_t n = 0; n < types.size() && static_cast<int>(n) < labels.size(); ++n)
            if (types[n] == image->file_format)
                labels.move(static_cast<int>(n), 0);
    return labels;
}

void MainWindow::file_new()
{
    long w = 0, h = 0;
    if (ask_new_image_size(this, w, h))
        new_image(w, h);
}

void MainWindow::file_open()
{
    QString start = QString::fromLocal8Bit(settings().image_path.c_str());
    QString path = QString::fromStdString(platform_->choose_file(false, "Load Image", load_filter(true).c_str(), start.toStdString()));
    if (path.isEmpty() || QFileInfo(path).isDir())
        return;
    open_file(path);
}

void MainWindow::file_save_as()
{
    ImageView* v = active_view();
    if (!v)
        return;
    Image* image = v->image();
    QString suggested = image->path[0] ? QString::fromLocal8Bit(image->path)
                                       : QString::fromLocal8Bit(settings().save_path.c_str()) + "/" +
                                             QString::fromLocal8Bit(image->name);
    // Only the types that can be written are offered, the image's own first.
    std::vector<int> types = save_as_types(true);
    QStringList parts = QString::fromLatin1(save_as_filter(true).c_str()).split('|');
    if (own_format_writable(image))
        for (size_t n = 0; n < types.size() && static_cast<int>(2 * n + 1) < parts.size(); ++n)
            if (types[n] == image->file_format) {
                const int at = static_cast<int>(2 * n);
                parts.move(at, 0);
                parts.move(at + 1, 1);
                types.insert(types.begin(), types[n]);
                types.erase(types.begin() + static_cast<long>(n) + 1);
                settings().save_type = image->file_format;
                break;
            }
    const std::string filter_list = parts.join('|').toStdString();
    QString path =
        QString::fromStdString(platform_->choose_file(true, kSaveAsTitle, filter_list.c_str(), suggested.toStdString()));
    if (path.isEmpty())
        return;
    // The type follows the chosen file's extension when it names one.
    QString ext = QFileInfo(path).suffix().toLower();
    for (int i = 1, n = 0; i < parts.size() && n < static_cast<int>(types.size()); i += 2, ++n)
        if (parts[i].toLower() == "*." + ext)
            settings().save_type = types[static_cast<size_t>(n)];
    if (save_image_to(image, path))
        settings().save_path = QFileInfo(path).absolutePath().toLocal8Bit().toStdString();
}

// The image's own captures and its layers' count as one history.
void MainWindow::undo()
{
    if (ImageView* v = active_view())
        undo_step(v->image());
}

void MainWindow::redo()
{
    if (ImageView* v = active_view())
        redo_step(v->image());
}

// ---------------------------------------------------------------- options

void MainWindow::show_preferences()
{
    PreferencesDialog dialog(this);
    dialog.exec();
}

void MainWindow::show_memory_report()
{
    QString text = QString::fromLocal8Bit(mem_report_text().c_str());
    QDialog dialog(this);
    dialog.setWindowTitle("Memory Report");
    auto* edit = new QPlainTextEdit(text, &dialog);
    edit->setReadOnly(true);
    edit->setFont(QFont("Monospace"));
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(edit);
    dialog.resize(560, 420);
    dialog.exec();
}

void MainWindow::toggle_log(bool on)
{
    if (on) {
        settings().keep_log = 1;
        log_set_folder(app_start_folder());
        if (!log_open(true))
            error_box("The log could not be opened:", log_path().c_str());
    } else {
        settings().keep_log = 0;
        log_close();
    }
}

void MainWindow::about()
{
    QMessageBox::about(this, "About Glimmerix:V/q",
                       "Glimmerix:V/q 7.50\n\nAn image-effects and animation workstation.");
}

// ---------------------------------------------------------------- console

void MainWindow::console_append(const QString& text)
{
    if (!console_) {
        console_dock_ = new QDockWidget("Console", this);
        console_dock_->setObjectName("console");
        console_ = new QPlainTextEdit(console_dock_);
        console_->setReadOnly(true);
        console_->setFont(QFont("Monospace"));
        console_dock_->setWidget(console_);
        addDockWidget(Qt::BottomDockWidgetArea, console_dock_);
    }
    console_dock_->show();
    console_->moveCursor(QTextCursor::End);
    console_->insertPlainText(text);
}

void MainWindow::close_tool_windows()
{
    if (console_dock_)
        console_dock_->close();
    for (const char* tool : {"trendClass", "timeClass"})
        for (QWidget* w : findChildren<QWidget*>(tool))
            w->close();
    if (help_)
        help_->window()->close();
}

void MainWindow::show_help_topic(const char* topic)
{
    if (topic) {
        op_help(topic);
        return;
    }
    if (platform_->open_document("html_docs/index.html") < 33)
        error_box("The help pages were not found:", "html_docs/index.html");
}

void MainWindow::show_help(const QString& path)
{
    if (!help_) {
        auto* dialog = new QDialog(this);
        dialog->setObjectName("help");
        dialog->setWindowTitle("Glimmerix:V/q Help");
        help_ = new QTextBrowser(dialog);
        help_->setOpenLinks(true);
        auto* layout = new QVBoxLayout(dialog);
        layout->addWidget(help_);
        dialog->resize(560, 480);
    }
    help_->setSource(QUrl::fromLocalFile(path));
    help_->window()->show();
    help_->window()->raise();
}

QWidget* MainWindow::help_window() const
{
    return help_ ? help_->window() : nullptr;
}

void MainWindow::assign_role(int role, Image* image)
{
    if (!image)
        return;
    image_set_role(role == 1 ? ImageRole::Source : ImageRole::Brush, image);
    statusBar()->showMessage(QStringLiteral("%1 is the %2 image")
                                 .arg(QString::fromLocal8Bit(image->name), role == 1 ? "source" : "brush"),
                             4000);
}

// ---------------------------------------------------------------- events

void MainWindow::closeEvent(QCloseEvent* event)
{
    if (quit_posted_ || !app_running()) {
        event->accept();
        return;
    }
    if (op_state().running) {
        message_show(msg::OperationInProgress);
        event->ignore();
        return;
    }
    if (app_shutdown() != 0) {
        event->ignore();  // cancelled: everything stays as it was
        return;
    }
    event->accept();
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event)
{
    for (const QUrl& url : event->mimeData()->urls())
        if (url.isLocalFile())
            open_file(url.toLocalFile());
}

} // namespace ws
