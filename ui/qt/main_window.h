// The frame window "Glimmerix:V/q": an MDI area of image views, the menus,
// the status bar with the progress meter and its pause and cancel controls.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

class QAction;
class QLabel;
class QMdiArea;
class QMdiSubWindow;
class QMenu;
class QPlainTextEdit;
class QProgressBar;
class QToolButton;
class QTextBrowser;
class QDockWidget;
struct Image;

namespace ws {

class ImageView;
class QtPlatform;

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    MainWindow();
    ~MainWindow() override;

    QtPlatform& platform() { return *platform_; }

    // ---- views ---------------------------------------------------------
    ImageView* add_view(Image* image);
    std::vector<ImageView*> views() const;
    std::vector<ImageView*> views_of(const Image* image) const;
    ImageView* active_view() const;
    void activate_view(ImageView* view);
    // Redraws every view of the image (null: all views).
    void redraw(Image* image, const QRect* rect);

    // ---- the jobs of the menus (also called by tests) --------------------
    Image* new_image(long width, long height);
    Image* open_file(const QString& path);
    bool save_active(const QString& path_or_empty);
    bool save_image_to(Image* image, const QString& path);
    // The file types Save As offers for the image, its own first.
    QStringList save_as_offer(const Image* image) const;
    // Closes a view; the image goes with its last view (asking to save it
    // when it changed and "Unsaved Image" is on).  False when cancelled.
    bool close_view(ImageView* view);
    // Shut-down: the views go without a question (their images are gone).
    void destroy_views();
    void undo();
    void redo();

    // ---- the status bar ---------------------------------------------------
    void show_progress(const QString& caption, int percent, int overall, bool active);
    QToolButton* pause_button() const { return pause_; }
    QToolButton* cancel_button() const { return cancel_; }
    QProgressBar* progress_bar() const { return bar_; }
    QLabel* caption_label() const { return caption_; }

    // ---- console (script output stream) ------------------------------------
    void console_append(const QString& text);
    void close_tool_windows();
    // The help window showing an HTML page.
    void show_help(const QString& path);
    // The page of a topic (an operation's or group's name); null: the index.
    void show_help_topic(const char* topic);
    QWidget* help_window() const;

    // Image roles from the views' menu and the choosers.
    void assign_role(int role, Image* image);

    // Menus a subsystem adds (operation groups, areas...) are built by
    // functions registered here before the window is made.
    using MenuBuilder = std::function<void(MainWindow&)>;
    static void add_menu_builder(MenuBuilder builder);
    // Runs the builders once the system is up (the catalogue exists then).
    void build_subsystem_menus();
    // A top-level menu placed before Options.
    QMenu* add_menu(const QString& title);
    QMenu* menu_named(const QString& title);

    // The quit posted by shut-down: the window closes for good.
    void quit_posted() { quit_posted_ = true; }
    bool shutdown_done() const { return quit_posted_; }

    QAction* action(const QString& name) const;

Q_SIGNALS:
    void view_activated(ImageView* view);
    void view_added(ImageView* view);

protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void build_menus();
    void build_status_bar();
    void update_actions();
    void update_recent_menu();
    void update_window_menu();
    void remember_recent(const QString& path);
    void on_subwindow_activated(QMdiSubWindow* sub);
    QAction* add_action(QMenu* menu, const QString& name, const QString& text, std::function<void()> fn,
                        const QKeySequence& key = {});
    void file_new();
    void file_open();
    void file_save_as();
    void show_preferences();
    void show_memory_report();
    void toggle_log(bool on);
    void about();

    QtPlatform* platform_;
    QMdiArea* mdi_;
    QLabel* caption_;
    QProgressBar* bar_;
    QProgressBar* overall_;
    QToolButton* pause_;
    QToolButton* cancel_;
    QMenu* recent_menu_ = nullptr;
    QMenu* window_menu_ = nullptr;
    QAction* options_menu_ = nullptr;
    bool subsystem_menus_built_ = false;
    QDockWidget* console_dock_ = nullptr;
    QPlainTextEdit* console_ = nullptr;
    QTextBrowser* help_ = nullptr;
    bool quit_posted_ = false;
};

// The frame window of the running workstation (null before it is made).
MainWindow* main_window();

} // namespace ws
