#include "ui/qt/workstation.h"

#include "core/app.h"
#include "core/image.h"
#include "core/settings.h"
#include "core/progress.h"
#include "ops/ops.h"
#include "ui/qt/area_tools.h"
#include "ui/qt/command_server.h"
#include "ui/qt/desktop.h"
#include "ui/qt/main_window.h"
#include "ui/qt/param_dialog.h"
#include "ui/qt/particle_dialogs.h"
#include "ui/qt/qt_platform.h"
#include "ui/qt/raw_dialog.h"
#include "ui/qt/film_window.h"
#include "ui/qt/screenshots.h"
#include "ui/qt/timeline_window.h"
#include "ui/qt/script_window.h"

#include "formats/raw.h"
#include "ops/catalogue.h"
#include "ui/qt/dialogs.h"

#include <QApplication>
#include <QDir>
#include <QTimer>

#include <cstring>

namespace ws {

namespace {

int open_from_command_line(const char* path)
{
    MainWindow* w = main_window();
    return w && w->open_file(QString::fromLocal8Bit(path)) ? 0 : 1;
}

int save_at_shutdown(Image* image)
{
    MainWindow* w = main_window();
    return w && w->save_image_to(image, QString::fromLocal8Bit(image->path)) ? 0 : 1;
}

} // namespace

MainWindow* workstation_start(const std::string& home, bool unattended, int argc, char** argv)
{
    static bool installed = false;
    if (!installed) {
        installed = true;
        ops_install();
        install_operation_menus();
        install_particle_dialogs();
        install_area_menu();
        install_timeline_menu();
        install_film_menu();
        install_script_menu();
        install_desktop();
    }
    auto* window = new MainWindow;
    window->platform().set_unattended(unattended);
    ui::platform_install(&window->platform());
    AppOptions options;
    options.home = home;
    if (argv)
        app_parse_command_line(argc, argv, options);
    app_hooks().open_file = open_from_command_line;
    app_hooks().save_image = save_at_shutdown;
    raw_state().ask = ask_raw_layout;
    if (app_init_instance(options) != 0) {
        ui::platform_install(nullptr);
        delete window;
        return nullptr;
    }
    window->build_subsystem_menus();
    progress_set_busy_cursor(true);
    if (settings().command_server)
        command_server_start(window);
    return window;
}

bool workstation_stop()
{
    MainWindow* w = main_window();
    if (!w)
        return true;
    if (app_running() && app_shutdown() != 0)
        return false;
    command_server_stop();
    raw_state().ask = nullptr;
    ui::platform_install(nullptr);
    delete w;
    return true;
}

int run_workstation(int argc, char** argv)
{
    MainWindow* window = workstation_start({}, false, argc, argv);
    if (!window)
        return 0;
    for (int i = 1; i < argc; ++i)
        if (std::strncmp(argv[i], "/shots=", 7) == 0)
            take_screenshots(window, QString::fromLocal8Bit(argv[i] + 7));
    int code = QApplication::exec();
    command_server_stop();
    // The frame is closed: shut-down has run (closeEvent), the platform goes.
    ui::platform_install(nullptr);
    delete window;
    return code;
}

} // namespace ws
