#include "ui/qt/screenshots.h"

#include "core/image.h"
#include "core/list.h"
#include "layers/layer_manage.h"
#include "layers/blend_modes.h"
#include "layers/composite.h"
#include "ops/catalogue.h"
#include "ui/qt/desktop.h"
#include "ui/qt/dialogs.h"
#include "ui/qt/file_extras.h"
#include "ui/qt/finder.h"
#include "ui/qt/history_window.h"
#include "ui/qt/image_view.h"
#include "ui/qt/layers_window.h"
#include "ui/qt/main_window.h"
#include "ui/qt/param_dialog.h"
#include "ui/qt/particle_dialogs.h"
#include "ui/qt/qt_platform.h"
#include "ui/qt/script_window.h"
#include "ui/qt/timeline_window.h"
#include "ui/qt/tool_palette.h"

#include <QComboBox>
#include <QDir>
#include <QDockWidget>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSpinBox>
#include <QTimer>

#include <cmath>
#include <functional>
#include <memory>
#include <vector>

namespace ws {

namespace {

// A soft disc of light on a transparent layer, so the stack has something
// to blend.
void paint_disc(Image* layer)
{
    ImageLock lock(layer);
    if (!lock)
        return;
    const double cx = layer->width * 0.62, cy = layer->height * 0.4, r = std::min<double>(layer->width, layer->height) * 0.3;
    for (int y = 0; y < layer->height; ++y)
        for (int x = 0; x < static_cast<int>(layer->width); ++x) {
            double d = std::hypot(x - cx, y - cy) / r;
            uint8_t* p = layer->pixel(x, y);
            double a = d >= 1 ? 0 : d < 0.7 ? 1 : (1 - d) / 0.3;
            p[0] = 255;
            p[1] = static_cast<uint8_t>(170 + 60 * (1 - d > 0 ? 1 - d : 0));
            p[2] = 60;
            p[3] = static_cast<uint8_t>(std::lround(a * 230));
        }
}

// Runs the steps one after another, a moment apart, so each window is drawn
// before it is taken.
void run_steps(MainWindow* window, std::shared_ptr<std::vector<std::function<void()>>> steps, size_t at)
{
    if (at >= steps->size())
        return;
    QTimer::singleShot(at == 0 ? 800 : 350, window, [window, steps, at] {
        (*steps)[at]();
        run_steps(window, steps, at + 1);
    });
}

} // namespace

void take_screenshots(MainWindow* window, const QString& folder)
{
    QDir().mkpath(folder);
    auto steps = std::make_shared<std::vector<std::function<void()>>>();
    auto shot = [folder](QWidget* w, const char* name) {
        if (w)
            w->grab().save(folder + "/" + name);
    };
    auto state = std::make_shared<ParamDialog*>(nullptr);

    steps->push_back([window] {
        window->resize(1280, 800);
        ImageView* v = window->active_view();
        LayersWindow* lw = layers_window();
        if (!v || !lw)
            return;
        if (QWidget* sub = v->parentWidget()) {
            sub->move(12, 12);
            sub->resize(700, 560);
        }
        v->zoom_fit();
        Image* img = v->image();
        window->assign_role(1, img);
        // A disc of light screened over the picture with its glow, and a
        // Swirl on the base layer.
        lw->set_image(img);
        if (Image* layer = lw->create_layer()) {
            paint_disc(layer);
            layer_rename(layer, "Sun");
            lw->select_layer(layer);
            lw->set_mode(MODE_SCREEN);
            lw->add_effect(LayersWindow::Effect::Glow);
            if (img->layer_list && img->layer_list->head)
                lw->select_layer(static_cast<Image*>(img->layer_list->head->element));
            operation_dialog(window, opcmd::Swirl)->apply();
            composite_layers(img);
        }
        window->redraw(img, nullptr);
        if (HistoryWindow* hw = history_window())
            hw->rebuild();
    });
    steps->push_back([window, state] {
        // The base layer takes a previewed Colorize.
        ParamDialog* d = operation_dialog(window, opcmd::Colorize);
        *state = d;
        d->refresh();
        d->show();
        d->move(window->geometry().center() - QPoint(d->width() / 2, 0));
    });
    steps->push_back([window, state] {
        (*state)->update_preview();
    });
    steps->push_back([window, shot, state] {
        shot(window, "main-window.png");
        shot(*state, "parameter-dialog.png");
        shot(layers_dock(), "layers-window.png");
        shot(tool_dock(), "tool-palette.png");
        shot(history_dock(), "history-window.png");
        (*state)->reject();
    });
    steps->push_back([window, state] {
        OperationFinder* finder = show_operation_finder(window);
        finder->search()->setText("blur");
    });
    steps->push_back([window, shot] {
        auto* finder = window->findChild<OperationFinder*>("operation_finder");
        shot(finder, "finder.png");
        if (finder)
            finder->hide();
        ImageView* v = window->active_view();
        auto* exp = new ExportDialog(window, v ? v->image() : nullptr);
        exp->setObjectName("export_shot");
        exp->show();
    });
    steps->push_back([window, shot] {
        auto* exp = window->findChild<ExportDialog*>("export_shot");
        shot(exp, "export-dialog.png");
        if (exp)
            exp->deleteLater();
        QDialog* keys = keyboard_shortcuts_dialog(window);
        keys->setObjectName("keys_shot");
        keys->show();
    });
    steps->push_back([window, shot] {
        auto* keys = window->findChild<QDialog*>("keys_shot");
        shot(keys, "keyboard-shortcuts.png");
        if (keys)
            keys->deleteLater();
        // The windows of the Sequence and Script menus with a little in them:
        // the picture through the timeline with the last operation over part
        // of it, and a short script.
        if (TimelineWindow* tw = timeline_window(window)) {
            tw->resize_to(30);
            tw->set_from_current(0, Grid::Source, 0, 29);
            tw->set_from_current(0, Grid::Op, 6, 23);
            tw->show();
        }
        if (ScriptWindow* sw = script_window(window)) {
            sw->editor()->setPlainText("10 X = NEGATIVE(0, 1, 1, 1, 0)\n20 X = PUTBLUE(0, 0, 9)\n");
            sw->show();
        }
    });
    steps->push_back([window, shot] {
        if (TimelineWindow* tw = timeline_window(window, false)) {
            shot(tw, "timeline-window.png");
            tw->hide();
        }
        if (ScriptWindow* sw = script_window(window)) {
            shot(sw, "script-window.png");
            sw->hide();
        }
        auto* prefs = new PreferencesDialog(window);
        prefs->setObjectName("prefs_shot");
        prefs->show();
    });
    steps->push_back([window, shot, folder] {
        auto* prefs = window->findChild<QDialog*>("prefs_shot");
        shot(prefs, "preferences.png");
        if (prefs)
            prefs->deleteLater();
        particle_screenshots(window, folder, QDir::current().absoluteFilePath("data/particles/vortex.psy"), [window] {
            window->platform().set_unattended(true, ui::Answer::Discard);
            window->close();
        });
    });
    run_steps(window, steps, 0);
}

} // namespace ws
