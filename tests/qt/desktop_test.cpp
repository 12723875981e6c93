// The desktop side of the workstation, driven through its real windows
// offscreen: preview, layers, status bar, shortcuts, finder, history, files.
#include "areas/area.h"
#include "core/list.h"
#include "core/image.h"
#include "core/settings.h"
#include "core/undo.h"
#include "formats/load_save.h"
#include "layers/blend_modes.h"
#include "layers/composite.h"
#include "layers/elf.h"
#include "layers/layer_manage.h"
#include "ops/catalogue.h"
#include "ops/framework.h"
#include "ui/qt/area_tools.h"
#include "ui/qt/desktop.h"
#include "ui/qt/file_extras.h"
#include "ui/qt/finder.h"
#include "ui/qt/history_window.h"
#include "ui/qt/image_view.h"
#include "ui/qt/layers_window.h"
#include "ui/qt/main_window.h"
#include "ui/qt/param_dialog.h"
#include "ui/qt/qt_platform.h"
#include "ui/qt/status_info.h"
#include "ui/qt/tool_palette.h"
#include "ui/qt/workstation.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCompleter>
#include <QDockWidget>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QStatusBar>
#include <QProcess>
#include <QPushButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>

#include <vector>

using namespace ws;

namespace {

// Every pixel of an image, RGBA, row by row.
std::vector<uint8_t> pixels_of(Image* img)
{
    std::vector<uint8_t> out;
    ImageLock lock(img);
    if (!lock)
        return out;
    for (int y = 0; y < img->height; ++y)
        out.insert(out.end(), img->row(y), img->row(y) + 4 * static_cast<size_t>(img->width));
    return out;
}

// A pattern nothing is neutral on: red across, green down, blue mixed.
void paint_pattern(Image* img)
{
    ImageLock lock(img);
    for (int y = 0; y < img->height; ++y)
        for (int x = 0; x < static_cast<int>(img->width); ++x) {
            uint8_t* p = img->pixel(x, y);
            p[0] = static_cast<uint8_t>(x * 255 / std::max(1u, img->width - 1));
            p[1] = static_cast<uint8_t>(y * 255 / std::max(1, img->height - 1));
            p[2] = static_cast<uint8_t>((x * 7 + y * 13) & 255);
            p[3] = 255;
        }
}

void fill(Image* img, uint8_t r, uint8_t g, uint8_t b, uint8_t a)
{
    ImageLock lock(img);
    for (int y = 0; y < img->height; ++y)
        for (int x = 0; x < static_cast<int>(img->width); ++x) {
            uint8_t* p = img->pixel(x, y);
            p[0] = r, p[1] = g, p[2] = b, p[3] = a;
        }
}

QRgb shown_at(ImageView* v, int x, int y)
{
    return v->picture().pixel(x, y);
}

} // namespace

class DesktopTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;
    std::string home() const { return (dir_.path() + "/home").toStdString(); }
    QString file(const char* name) const { return dir_.path() + "/" + name; }

    MainWindow* start()
    {
        MainWindow* w = workstation_start(home(), true);
        if (w) {
            // Earlier cases in this process leave a selection behind.
            area_tools()->select_entire();
            settings().work_method = 0;
        }
        return w;
    }
    void stop(MainWindow* w)
    {
        w->platform().set_unattended_answer(ui::Answer::Discard);
        QVERIFY(workstation_stop());
    }

private Q_SLOTS:
    void preview_then_cancel_leaves_the_image_and_its_undo_alone()
    {
        MainWindow* w = start();
        settings().undo_want = 1;  // one level: a preview's capture would push the real one out
        undo_release();
        Image* img = w->new_image(40, 30);
        paint_pattern(img);
        ImageView* v = w->active_view();
        QCOMPARE(operation_dialog(w, opcmd::Brightness)->apply(), 0);
        const std::vector<uint8_t> before = pixels_of(img);
        const int16_t changes = img->changes;
        const Image* capture = undo_slot(0);
        QVERIFY(capture && capture->parent == img);
        const int32_t last_op = op_state().current;

        w->findChild<QAction*>(QStringLiteral("op_%1").arg(opcmd::Negative))->trigger();
        auto* d = operation_dialog(w, opcmd::Negative);
        QVERIFY(d->isVisible());
        auto* box = d->findChild<QCheckBox*>("preview");
        QVERIFY(box && box->isChecked());  // on by default for a quick operation
        QVERIFY(d->update_preview());
        QVERIFY(v->has_preview());
        // The view shows the negative, the image is untouched.
        const uint8_t* p = before.data() + 4 * (5 * 40 + 7);
        QCOMPARE(shown_at(v, 7, 5), qRgb(255 - p[0], 255 - p[1], 255 - p[2]));
        QCOMPARE(pixels_of(img), before);
        QCOMPARE(img->changes, changes);
        QCOMPARE(undo_slot(0), capture);
        QCOMPARE(undo_slot(0)->undo_applied, int16_t(0));
        QCOMPARE(op_state().current, last_op);  // Ctrl+F still repeats what was applied

        // A value changed: the preview follows, still on the side.
        auto* mode = d->findChild<QComboBox*>("mode");  // a choice: its values by name
        QVERIFY(mode);
        mode->setCurrentIndex(1);
        QVERIFY(d->update_preview());
        QCOMPARE(pixels_of(img), before);

        QTest::mouseClick(d->findChild<QPushButton*>("cancel"), Qt::LeftButton);
        QVERIFY(!d->isVisible());
        QVERIFY(!v->has_preview());
        QCOMPARE(pixels_of(img), before);
        QCOMPARE(img->changes, changes);
        // The real capture survived: undo still takes Brightness back.
        QCOMPARE(undo_slot(0), capture);
        w->undo();
        QCOMPARE(img->changes, static_cast<int16_t>(changes - 1));
        QVERIFY(pixels_of(img) != before);
        stop(w);
    }

    void a_large_image_previews_on_a_reduced_copy()
    {
        MainWindow* w = start();
        Image* img = w->new_image(1600, 1200);
        paint_pattern(img);
        const std::vector<uint8_t> before = pixels_of(img);
        ImageView* v = w->active_view();
        ParamDialog* d = operation_dialog(w, opcmd::Negative);
        d->show();
        QVERIFY(d->update_preview());
        QVERIFY(d->preview_note().contains("reduced"));
        QVERIFY(v->picture().width() < 1600);
        QCOMPARE(v->shown_size(), QSize(1600, 1200));
        QCOMPARE(pixels_of(img), before);
        d->reject();
        QVERIFY(!v->has_preview());
        stop(w);
    }

    void preview_then_apply_equals_vq_apply()
    {
        const QString vq = qEnvironmentVariable("GLIMVQ_BIN_DIR", "build/bin") + "/vq";
        if (!QFileInfo::exists(vq))
            QSKIP("vq is not built beside the tests");
        MainWindow* w = start();
        Image* pattern = image_new_locked(48, 36, "test");
        paint_pattern(pattern);
        image_unlock(pattern);
        const QString in = file("apply_in.png");
        settings().save_type = FMT_PNG;
        settings().save_depth = 0;
        QCOMPARE(save_image(pattern, in.toLocal8Bit().constData()), 0);
        image_free(pattern);

        struct Case {
            int32_t command;
            const char* key;
            double value;
        };
        for (Case c : {Case{opcmd::Swirl, "amount", 140}, Case{opcmd::Brightness, nullptr, 0}}) {
            Image* img = w->open_file(in);
            QVERIFY(img);
            w->findChild<QAction*>(QStringLiteral("op_%1").arg(c.command))->trigger();
            ParamDialog* d = operation_dialog(w, c.command);
            if (c.key)
                d->findChild<QSpinBox*>(c.key)->setValue(static_cast<int>(c.value));
            QVERIFY(d->update_preview());
            const QImage preview = w->active_view()->picture().copy();
            QCOMPARE(d->apply(), 0);
            QVERIFY(!w->active_view()->has_preview());
            // The preview showed what Apply made.
            QCOMPARE(render_picture(img, false), preview);

            // The same operation with every value the dialog holds, through vq.
            QStringList args{"--home", dir_.path() + "/vqhome", "apply", in, file("apply_vq.png"),
                             QString::fromLatin1(op_by_command(c.command)->name)};
            for (const OpSlot& slot : op_by_command(c.command)->slots)
                if (slot.used() && (slot.kind == SLOT_INT || slot.kind == SLOT_FLOAT) && slot.key)
                    args << QStringLiteral("%1=%2").arg(QString::fromLatin1(slot.key)).arg(slot_get(slot), 0, 'g', 9);
            args << "--depth" << "32";
            QProcess run;
            run.start(vq, args);
            QVERIFY(run.waitForFinished(60000));
            QVERIFY2(run.exitCode() == 0, run.readAllStandardError().constData());
            Image* theirs = load_image(file("apply_vq.png").toLocal8Bit().constData());
            QVERIFY(theirs);
            QCOMPARE(pixels_of(theirs), pixels_of(img));
            image_free(theirs);
        }
        stop(w);
    }

    void a_view_showing_alpha_previews_the_alpha_change()
    {
        MainWindow* w = start();
        const long mod_alpha = settings().mod_alpha;
        settings().mod_alpha = 2;  // the alpha channel when the view shows it
        Image* img = w->new_image(12, 10);
        paint_pattern(img);
        img->alpha = 1;
        ImageView* v = w->active_view();
        v->set_show_alpha(true);
        ParamDialog* d = operation_dialog(w, opcmd::Negative);
        d->show();
        QVERIFY(d->update_preview());
        const QImage preview = v->picture().copy();
        QCOMPARE(d->apply(), 0);
        ImageLock lock(img);
        QCOMPARE(int(img->pixel(3, 3)[3]), 0);  // the alpha was negated, not the colour
        lock.release();
        QCOMPARE(render_picture(img, true), preview);
        settings().mod_alpha = mod_alpha;
        stop(w);
    }

    void a_mode_change_in_the_layers_window_recomposites_the_view()
    {
        MainWindow* w = start();
        Image* img = w->new_image(8, 6);
        fill(img, 100, 100, 100, 255);
        ImageView* v = w->active_view();
        LayersWindow* lw = layers_window();
        QVERIFY(lw && lw->image() == img);
        Image* layer = lw->create_layer();
        QVERIFY(layer && img->has_layers);
        QCOMPARE(lw->tree()->topLevelItemCount(), 2);
        QCOMPARE(lw->selected_layer(), layer);
        QCOMPARE(operation_target(w), layer);
        fill(layer, 200, 50, 0, 255);
        composite_layers(img);
        w->redraw(img, nullptr);
        // Normal over the opaque base: each channel D + f(255 (S - D)).
        QCOMPARE(shown_at(v, 3, 3), qRgb(199, 50, 0));

        QComboBox* mode = lw->mode_box();
        QCOMPARE(mode->count(), kBlendModeCount);
        const int16_t changes = img->changes;
        mode->setCurrentIndex(mode->findData(int(MODE_DARKEN)));
        QCOMPARE(layer->layer_mode, int32_t(MODE_DARKEN));
        QCOMPARE(shown_at(v, 3, 3), qRgb(100, 50, 0));
        QVERIFY(img->changes > changes);
        // Opacity 0 and the base shows alone.
        lw->findChild<QSpinBox*>("opacity")->setValue(0);
        QCOMPARE(shown_at(v, 3, 3), qRgb(100, 100, 100));
        lw->findChild<QSpinBox*>("opacity")->setValue(100);
        // Hidden, then shown again from its row's Visible box.
        lw->tree()->topLevelItem(0)->setCheckState(0, Qt::Unchecked);
        QTest::qWait(1);
        QCoreApplication::processEvents();
        QCOMPARE(shown_at(v, 3, 3), qRgb(100, 100, 100));
        lw->set_visible(layer, true);
        QCOMPARE(shown_at(v, 3, 3), qRgb(100, 50, 0));
        stop(w);
    }

    void the_stack_commands_of_the_layers_window()
    {
        MainWindow* w = start();
        Image* img = w->new_image(8, 6);
        fill(img, 100, 100, 100, 255);
        ImageView* v = w->active_view();
        LayersWindow* lw = layers_window();
        Image* red = lw->create_layer();
        fill(red, 255, 0, 0, 255);
        Image* blue = lw->create_layer();
        fill(blue, 0, 0, 255, 255);
        composite_layers(img);
        w->redraw(img, nullptr);
        auto row_names = [lw] {
            QStringList names;
            for (int i = 0; i < lw->tree()->topLevelItemCount(); ++i)
                names << lw->tree()->topLevelItem(i)->text(2).section('\n', 0, 0);
            return names;
        };
        QCOMPARE(row_names(), QStringList({blue->name, red->name, img->name}));
        QVERIFY(qBlue(shown_at(v, 2, 2)) >= 254 && qRed(shown_at(v, 2, 2)) <= 1);
        // Blue one place deeper: red is on top and shows.
        QCOMPARE(lw->selected_layer(), blue);
        QVERIFY(lw->move_layer(1));
        QCOMPARE(row_names(), QStringList({red->name, blue->name, img->name}));
        QCOMPARE(lw->selected_layer(), blue);
        QVERIFY(qRed(shown_at(v, 2, 2)) >= 254 && qBlue(shown_at(v, 2, 2)) <= 1);
        // Duplicate goes just above; Destroy takes the chosen layer away.
        Image* copy = lw->duplicate_layer();
        QVERIFY(copy);
        QCOMPARE(row_names(), QStringList({red->name, copy->name, blue->name, img->name}));
        QVERIFY(lw->destroy_layer());
        QCOMPARE(lw->tree()->topLevelItemCount(), 3);
        QVERIFY(!image_store_contains(copy));
        // The effect layers are made from the chosen layer's alpha.
        lw->select_layer(red);
        Image* shadow = lw->add_effect(LayersWindow::Effect::Shadow);
        QVERIFY(shadow);
        QCOMPARE(QString::fromLocal8Bit(shadow->name), QString::fromLocal8Bit(red->name) + "_shadow");
        QCOMPARE(lw->tree()->topLevelItemCount(), 4);
        // The blend modes are found by part of their names.
        QCompleter* completer = lw->mode_box()->completer();
        completer->setCompletionPrefix("light");
        QVERIFY(completer->completionCount() >= 6);  // Hard, Soft, Hot, Linear, Pin light, Lighten...
        stop(w);
    }

    void an_operation_on_a_layer_undoes_from_the_history()
    {
        MainWindow* w = start();
        Image* img = w->new_image(8, 6);
        fill(img, 10, 20, 30, 255);
        ImageView* v = w->active_view();
        LayersWindow* lw = layers_window();
        Image* base = lw->selected_layer();  // the image itself before it has layers
        QCOMPARE(base, img);
        Image* layer = lw->create_layer();
        fill(layer, 0, 0, 0, 255);
        composite_layers(img);
        // Negative goes to the chosen layer; the master shows it.
        QCOMPARE(operation_dialog(w, opcmd::Negative)->apply(), 0);
        QCOMPARE(shown_at(v, 1, 1), qRgb(254, 254, 254));
        // A locked layer refuses.
        lw->set_locked(layer, true);
        QCOMPARE(operation_dialog(w, opcmd::Negative)->apply(), 1);
        lw->set_locked(layer, false);

        HistoryWindow* hw = history_window();
        QVERIFY(hw);
        QCoreApplication::processEvents();
        hw->rebuild();
        QCOMPARE(hw->list()->count(), 2);
        QVERIFY(hw->list()->item(1)->text().startsWith("Negative"));
        QVERIFY(hw->list()->item(1)->text().contains(QString::fromLocal8Bit(layer->name)));
        QTest::mouseClick(hw->list()->viewport(), Qt::LeftButton, {},
                          hw->list()->visualItemRect(hw->list()->item(0)).center());
        QCOMPARE(shown_at(v, 1, 1), qRgb(0, 0, 0));
        // And forward again with Ctrl+Y's command.
        w->redo();
        QCOMPARE(shown_at(v, 1, 1), qRgb(254, 254, 254));
        stop(w);
    }

    void the_status_bar_shows_the_pixel_under_the_pointer()
    {
        MainWindow* w = start();
        w->resize(900, 700);
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        Image* img = w->new_image(60, 40);
        paint_pattern(img);
        ImageView* v = w->active_view();
        v->set_zoom(2.0);
        QTest::qWait(20);
        // Straight to the canvas: at any screen scale the window may be
        // larger than the offscreen screen, and the hit test is not what is tried.
        const QPointF at(2 * 17 + 1.5, 2 * 9 + 1.5);
        QMouseEvent move(QEvent::MouseMove, at, v->canvas()->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                         Qt::NoModifier);
        QApplication::sendEvent(v->canvas(), &move);
        StatusInfo* info = status_info();
        QVERIFY(info);
        QCOMPARE(info->position()->text(), QString("17, 9"));
        ImageLock lock(img);
        const uint8_t* p = img->pixel(17, 9);
        QCOMPARE(info->colour()->text(), QStringLiteral("%1 %2 %3 %4").arg(p[0]).arg(p[1]).arg(p[2]).arg(p[3]));
        lock.release();
        QCOMPARE(info->zoom()->text(), QString("200%"));
        QVERIFY(info->size()->text().startsWith(QString::fromUtf8("60 \u00d7 40")));
        stop(w);
    }

    void ctrl_f_repeats_the_last_operation_with_its_settings()
    {
        MainWindow* w = start();
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        Image* img = w->new_image(10, 10);
        fill(img, 100, 100, 100, 255);
        ParamDialog* d = operation_dialog(w, opcmd::Brightness);
        d->findChild<QSpinBox*>("amount")->setValue(40);
        QCOMPARE(d->apply(), 0);
        const std::vector<uint8_t> once = pixels_of(img);
        const int16_t changes = img->changes;
        w->activateWindow();
        QApplication::setActiveWindow(w);
        QTest::keyClick(w, Qt::Key_F, Qt::ControlModifier);
        QCOMPARE(img->changes, static_cast<int16_t>(changes + 1));
        QVERIFY(pixels_of(img) != once);
        // Ctrl+Z and Ctrl+Y take it back and bring it again.
        QTest::keyClick(w, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(pixels_of(img), once);
        QTest::keyClick(w, Qt::Key_Y, Qt::ControlModifier);
        QVERIFY(pixels_of(img) != once);
        stop(w);
    }

    void the_finder_opens_the_dialog_it_names()
    {
        MainWindow* w = start();
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        w->new_image(10, 10);
        w->activateWindow();
        QApplication::setActiveWindow(w);
        QTest::keyClick(w, Qt::Key_K, Qt::ControlModifier);
        auto* finder = w->findChild<OperationFinder*>("operation_finder");
        QVERIFY(finder && finder->isVisible());
        QCOMPARE(finder->list()->count(), op_count());
        QTest::keyClicks(finder->search(), "swirl");
        QTest::keyClick(finder->search(), Qt::Key_Return);
        QVERIFY(!finder->isVisible());
        ParamDialog* d = operation_dialog(w, opcmd::Swirl);
        QVERIFY(d->isVisible());
        d->reject();
        // A group's name finds its operations; "/" opens the finder too.
        w->activateWindow();
        QApplication::setActiveWindow(w);
        QTest::keyClick(w, Qt::Key_Slash);
        QVERIFY(finder->isVisible());
        finder->search()->setText("blur");
        int shown = 0;
        for (int i = 0; i < finder->list()->count(); ++i)
            shown += !finder->list()->item(i)->isHidden();
        QVERIFY(shown > 3 && shown < op_count());
        finder->hide();
        stop(w);
    }

    void zoom_keys_and_the_wheel_about_the_pointer()
    {
        MainWindow* w = start();
        w->resize(900, 700);
        w->new_image(400, 300);
        ImageView* v = w->active_view();
        v->set_zoom(1.0);
        QTest::qWait(20);
        w->action("view_zoom_1")->trigger();
        QCOMPARE(v->zoom(), 1.0);
        w->action("view_zoom_in")->trigger();
        QCOMPARE(v->zoom(), 1.5);
        QCOMPARE(w->action("view_zoom_fit")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_0));
        // Ctrl+wheel keeps the image point under the pointer where it was.
        v->set_zoom(2.0);
        QTest::qWait(20);
        QPointF at(100, 80);
        QPointF canvas_at = v->canvas()->mapFrom(v->viewport(), at.toPoint());
        QPointF image_point = canvas_at / v->zoom();
        QWheelEvent wheel(at, v->viewport()->mapToGlobal(at), QPoint(), QPoint(0, 120), Qt::NoButton,
                          Qt::ControlModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(v->viewport(), &wheel);
        QCOMPARE(v->zoom(), 3.0);
        QPointF after = QPointF(v->canvas()->mapFrom(v->viewport(), at.toPoint())) / v->zoom();
        QVERIFY(std::abs(after.x() - image_point.x()) < 1.0);
        QVERIFY(std::abs(after.y() - image_point.y()) < 1.0);
        // The middle button drags the picture.
        int x0 = v->horizontalScrollBar()->value();
        QTest::mousePress(v->canvas(), Qt::MiddleButton, {}, QPoint(300, 200));
        QMouseEvent drag(QEvent::MouseMove, QPointF(250, 200), v->canvas()->mapToGlobal(QPointF(250, 200)),
                         Qt::NoButton, Qt::MiddleButton, Qt::NoModifier);
        QApplication::sendEvent(v->canvas(), &drag);
        QTest::mouseRelease(v->canvas(), Qt::MiddleButton, {}, QPoint(250, 200));
        QCOMPARE(v->horizontalScrollBar()->value(), x0 + 50);
        stop(w);
    }

    void revert_and_export()
    {
        MainWindow* w = start();
        Image* pattern = image_new_locked(20, 16, "test");
        paint_pattern(pattern);
        image_unlock(pattern);
        const QString in = file("revert.png");
        settings().save_type = FMT_PNG;
        settings().save_depth = 2;
        QCOMPARE(save_image(pattern, in.toLocal8Bit().constData()), 0);
        image_free(pattern);
        Image* img = w->open_file(in);
        const std::vector<uint8_t> saved = pixels_of(img);
        QCOMPARE(operation_dialog(w, opcmd::Negative)->apply(), 0);

        // Export writes another file; the image keeps its name and its changes.
        ExportOptions o;
        o.type = FMT_BMP;
        o.depth = 8;
        QVERIFY(export_image(img, file("export.bmp"), o));
        QCOMPARE(QString::fromLocal8Bit(img->path), in);
        QVERIFY(img->changes != 0);
        Image* exported = load_image(file("export.bmp").toLocal8Bit().constData());
        QVERIFY(exported);
        QCOMPARE(static_cast<int>(exported->bits), 8);
        image_free(exported);

        // Export from the menu asks before it replaces a file: its default
        // is the image's own file, which a No leaves as it was.
        const QByteArray before = [&] { QFile f(in); f.open(QIODevice::ReadOnly); return f.readAll(); }();
        w->platform().set_unattended_answer(ui::Answer::No);
        QTimer::singleShot(0, w, [w] {
            if (auto* d = w->findChild<ExportDialog*>("export_dialog"))
                d->accept();
        });
        w->action("file_export")->trigger();
        QFile again(in);
        QVERIFY(again.open(QIODevice::ReadOnly));
        QCOMPARE(again.readAll(), before);
        QVERIFY(img->changes != 0);

        w->platform().set_unattended_answer(ui::Answer::Yes);
        Image* fresh = revert_image(w, img);
        QVERIFY(fresh);
        QCOMPARE(w->active_view()->image(), fresh);
        QCOMPARE(pixels_of(fresh), saved);
        QCOMPARE(fresh->changes, int16_t(0));
        QCOMPARE(history_count(fresh), 0);
        stop(w);
    }

    void the_layers_are_saved_whole_in_a_layered_file()
    {
        MainWindow* w = start();
        Image* pattern = image_new_locked(12, 10, "test");
        paint_pattern(pattern);
        image_unlock(pattern);
        const QString png = file("stack.png");
        settings().save_type = FMT_PNG;
        settings().save_depth = 2;
        QCOMPARE(save_image(pattern, png.toLocal8Bit().constData()), 0);
        image_free(pattern);
        Image* img = w->open_file(png);
        QVERIFY(img);
        LayersWindow* lw = layers_window();
        auto* save = lw->findChild<QToolButton*>("layer_save");
        QVERIFY(save && !save->isEnabled());
        Image* layer = lw->create_layer();
        QVERIFY(layer && save->isEnabled());
        fill(layer, 200, 40, 0, 255);
        lw->set_mode(MODE_SCREEN);

        // The Save button offers the layered file beside the picture and
        // makes it the image's file.
        w->platform().set_unattended_answer(ui::Answer::Yes);
        save->click();
        const QString elf = file("stack.elf");
        QVERIFY(QFileInfo::exists(elf));
        QCOMPARE(QString::fromLocal8Bit(img->path), elf);
        QCOMPARE(img->file_format, int16_t(FMT_ELF));
        QCOMPARE(img->changes, int16_t(0));

        // Ctrl+S after a change writes the layered file again, never a
        // flat picture that would keep only the composite.
        lw->set_opacity(40);
        QVERIFY(img->changes != 0);
        w->action("file_save")->trigger();
        QCOMPARE(img->changes, int16_t(0));
        QVERIFY(!QFileInfo::exists(elf + ".png"));
        Image* back = elf_load(elf.toLocal8Bit().constData());
        QVERIFY(back && back->has_layers);
        QCOMPARE(list_count(back->layer_list), 2);
        auto* top = static_cast<Image*>(back->layer_list->tail->element);
        QCOMPARE(top->layer_mode, int32_t(MODE_SCREEN));
        QCOMPARE(top->layer_opacity, layer->layer_opacity);
        QCOMPARE(pixels_of(back), pixels_of(img));
        layers_close(back);
        stop(w);
    }

    void save_on_a_picture_with_layers_keeps_the_layers()
    {
        MainWindow* w = start();
        Image* pattern = image_new_locked(12, 10, "test");
        paint_pattern(pattern);
        image_unlock(pattern);
        const QString png = file("flat.png");
        settings().save_type = FMT_PNG;
        settings().save_depth = 2;
        QCOMPARE(save_image(pattern, png.toLocal8Bit().constData()), 0);
        image_free(pattern);
        QFile f(png);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray before = f.readAll();
        f.close();
        Image* img = w->open_file(png);
        QVERIFY(img);
        Image* layer = layers_window()->create_layer();
        QVERIFY(layer);
        fill(layer, 0, 90, 200, 255);

        // A flat copy holds the composite only: the image stays unsaved.
        QVERIFY(w->save_active(file("copy.png")));
        QVERIFY(QFileInfo::exists(file("copy.png")));
        QVERIFY(img->changes != 0);

        // Ctrl+S writes a layered file beside the picture (now the copy),
        // and no picture is written over.
        w->platform().set_unattended_answer(ui::Answer::Yes);
        w->action("file_save")->trigger();
        QVERIFY(QFileInfo::exists(file("copy.elf")));
        QCOMPARE(QString::fromLocal8Bit(img->path), file("copy.elf"));
        QCOMPARE(img->changes, int16_t(0));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), before);
        stop(w);
    }

    void the_dock_layout_is_kept_between_runs()
    {
        MainWindow* w = start();
        QVERIFY(layers_dock() && tool_dock() && history_dock());
        history_dock()->hide();
        QVERIFY(!history_dock()->isVisibleTo(w));
        QVERIFY(workstation_stop());
        w = start();
        QVERIFY(!history_dock()->isVisibleTo(w));
        QVERIFY(layers_dock()->isVisibleTo(w));
        w->action("view_history_dock")->trigger();
        QVERIFY(history_dock()->isVisibleTo(w));
        stop(w);
    }

    void keyboard_shortcuts_are_listed()
    {
        MainWindow* w = start();
        QDialog* d = keyboard_shortcuts_dialog(w);
        auto* table = d->findChild<QTableWidget*>("shortcuts");
        QStringList rows;
        for (int r = 0; r < table->rowCount(); ++r)
            rows << table->item(r, 1)->text() + " = " + table->item(r, 2)->text();
        const QString all = rows.join('\n');
        for (const char* key : {"Ctrl+O", "Ctrl+S", "Ctrl+Shift+S", "Ctrl+Z", "Ctrl+Y, Ctrl+Shift+Z", "Ctrl+W",
                                "Ctrl+F", "Ctrl+K", "F1", "Ctrl+0", "Ctrl+1"})
            QVERIFY2(all.contains(QLatin1String(key)), key);
        delete d;
        stop(w);
    }
};

QTEST_MAIN(DesktopTest)
#include "desktop_test.moc"
