// The workstation driven through its real windows, offscreen.
#include "core/app.h"
#include "core/image.h"
#include "core/progress.h"
#include "core/settings.h"
#include "core/undo.h"
#include "formats/load_save.h"
#include "layers/composite.h"
#include "layers/elf.h"
#include "layers/layer_manage.h"
#include "ops/catalogue.h"
#include "ops/framework.h"
#include "ui/qt/area_tools.h"
#include "ui/qt/dialogs.h"
#include "areas/area.h"
#include "ui/qt/image_view.h"
#include "ui/qt/main_window.h"
#include "ui/qt/param_dialog.h"
#include "ui/qt/qt_platform.h"
#include "ui/qt/workstation.h"

#include <QAction>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <QProgressBar>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

using namespace ws;

class WorkstationTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;
    std::string home() const { return (dir_.path() + "/home").toStdString(); }
    QString file(const char* name) const { return dir_.path() + "/" + name; }

    // A 4x3 image with a known pattern, written as a BMP.
    QString make_bmp(const char* name)
    {
        Image* img = image_new_locked(4, 3, "test");
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 4; ++x) {
                uint8_t* p = img->pixel(x, y);
                p[0] = static_cast<uint8_t>(x * 60);
                p[1] = static_cast<uint8_t>(y * 100);
                p[2] = 30;
            }
        image_unlock(img);
        QString path = file(name);
        settings().save_type = 0;
        settings().save_depth = 2;  // 24 bits
        save_image(img, path.toLocal8Bit().constData());
        image_free(img);
        return path;
    }

private Q_SLOTS:
    void start_shows_the_frame()
    {
        MainWindow* w = workstation_start(home(), true);
        QVERIFY(w);
        QCOMPARE(w->windowTitle(), QString("Glimmerix:V/q"));
        QVERIFY(w->menu_named("File"));
        QVERIFY(w->menu_named("Edit"));
        QVERIFY(w->menu_named("Window"));
        QVERIFY(workstation_stop());
    }

    void files_on_the_command_line_open()
    {
        QString path = make_bmp("cmd.bmp");
        QByteArray p = path.toLocal8Bit();
        char prog[] = "glimvq";
        char* argv[] = {prog, p.data(), nullptr};
        MainWindow* w = workstation_start(home(), true, 2, argv);
        QVERIFY(w);
        QCOMPARE(static_cast<int>(w->views().size()), 1);
        QCOMPARE(static_cast<int>(w->active_view()->image()->width), 4);
        QVERIFY(workstation_stop());
    }

    void new_image_opens_a_view_and_becomes_the_target()
    {
        MainWindow* w = workstation_start(home(), true);
        Image* img = w->new_image(64, 48);
        QVERIFY(img);
        QCOMPARE(static_cast<int>(w->views().size()), 1);
        QCOMPARE(w->active_view()->image(), img);
        QCOMPARE(image_role(ImageRole::Target), img);
        QVERIFY(QString(img->name).startsWith("NEW_"));
        QVERIFY(w->active_view()->title().endsWith(" *"));
        w->action("view_new")->trigger();
        QCOMPARE(static_cast<int>(w->views_of(img).size()), 2);
        QVERIFY(workstation_stop());
    }

    void open_save_as_and_reload_keep_the_pixels()
    {
        MainWindow* w = workstation_start(home(), true);
        QString src = make_bmp("in.bmp");
        Image* img = w->open_file(src);
        QVERIFY(img);
        QCOMPARE(static_cast<int>(img->width), 4);
        QString out = file("out.bmp");
        QVERIFY(w->save_active(out));
        QCOMPARE(img->changes, static_cast<int16_t>(0));
        Image* again = w->open_file(out);
        QVERIFY(again);
        image_lock(img);
        image_lock(again);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 4; ++x)
                for (int c = 0; c < 3; ++c)
                    QCOMPARE(again->pixel(x, y)[c], img->pixel(x, y)[c]);
        image_unlock(img);
        image_unlock(again);
        QCOMPARE(QString::fromStdString(settings().last_file[1]), out);
        QVERIFY(workstation_stop());
    }

    void a_layered_file_opens_as_its_composite()
    {
        MainWindow* w = workstation_start(home(), true);
        Image* master = load_image(make_bmp("base.bmp").toLocal8Bit().constData());
        QVERIFY(master);
        QCOMPARE(layer_make_master(master), 0);
        Image* top = image_new_locked(2, 2, "top");
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 2; ++x) {
                uint8_t* p = top->pixel(x, y);
                p[0] = 0, p[1] = 0, p[2] = 255, p[3] = 255;
            }
        image_unlock(top);
        QCOMPARE(layer_attach(master, top), 0);
        QCOMPARE(composite_layers(master), 0);
        QString path = file("stack.elf");
        QCOMPARE(elf_save(path.toLocal8Bit().constData(), master, 1), 0);
        image_free(master);

        Image* img = w->open_file(path);
        QVERIFY(img);
        QCOMPARE(static_cast<int>(img->width), 4);
        image_lock(img);
        QVERIFY(img->pixel(0, 0)[2] >= 250 && img->pixel(0, 0)[0] <= 5);  // under the blue layer
        QCOMPARE(static_cast<int>(img->pixel(3, 2)[2]), 30);   // the base shows beside it
        image_unlock(img);
        QVERIFY(workstation_stop());
    }

    void closing_a_changed_image_asks_and_cancel_keeps_it()
    {
        MainWindow* w = workstation_start(home(), true);
        Image* img = w->new_image(8, 8);
        w->platform().set_unattended_answer(ui::Answer::Cancel);
        QVERIFY(!w->close_view(w->active_view()));
        QCOMPARE(static_cast<int>(w->views().size()), 1);
        QVERIFY(image_store_contains(img));
        // Shut-down asks the same and cancel keeps the program running.
        QVERIFY(!workstation_stop());
        QVERIFY(app_running());
        w->platform().set_unattended_answer(ui::Answer::Discard);
        QVERIFY(workstation_stop());
    }

    void window_position_persists()
    {
        MainWindow* w = workstation_start(home(), true);
        w->showNormal();
        w->setGeometry(30, 40, 700, 500);
        QVERIFY(workstation_stop());
        w = workstation_start(home(), true);
        QCOMPARE(settings().pos_main[2], 700L);
        QCOMPARE(settings().pos_main[3], 500L);
        QVERIFY(workstation_stop());
    }

    void progress_controls_follow_the_meter()
    {
        MainWindow* w = workstation_start(home(), true);
        progress_open("Testing", 10);
        QVERIFY(w->cancel_button()->isEnabled());
        QCOMPARE(w->caption_label()->text(), QString("Testing"));
        progress_update(5);
        QCOMPARE(w->progress_bar()->value(), 50);
        QTimer::singleShot(0, w->cancel_button(), &QToolButton::click);
        QTest::qWait(10);
        QVERIFY(progress_update(6));
        progress_close();
        QVERIFY(!w->cancel_button()->isEnabled());
        QVERIFY(!progress_cancel_requested());
        QVERIFY(workstation_stop());
    }

    void apply_from_the_menu_then_undo_and_deundo()
    {
        MainWindow* w = workstation_start(home(), true);
        Image* img = w->new_image(16, 16);  // black, opaque
        QAction* negative = w->findChild<QAction*>("op_3115");
        QVERIFY(negative);
        negative->trigger();
        auto* dialog = w->findChild<ParamDialog*>();
        QVERIFY(dialog && dialog->isVisible());
        auto* mode = dialog->findChild<QSpinBox*>("mode");
        QVERIFY(mode);
        mode->setValue(1);  // grey negative
        QTest::mouseClick(dialog->findChild<QPushButton*>("apply"), Qt::LeftButton);
        image_lock(img);
        QCOMPARE(static_cast<int>(img->pixel(5, 5)[0]), 255);
        QCOMPARE(static_cast<int>(img->pixel(5, 5)[3]), 255);
        image_unlock(img);
        QCOMPARE(img->changes, static_cast<int16_t>(2));

        w->action("edit_undo")->trigger();
        image_lock(img);
        QCOMPARE(static_cast<int>(img->pixel(5, 5)[0]), 0);
        image_unlock(img);
        w->action("edit_deundo")->trigger();
        image_lock(img);
        QCOMPARE(static_cast<int>(img->pixel(15, 15)[1]), 255);
        image_unlock(img);
        // Repeat applies the current operation again: back to black.
        w->action("op_repeat")->trigger();
        image_lock(img);
        QCOMPARE(static_cast<int>(img->pixel(0, 0)[2]), 0);
        image_unlock(img);
        w->platform().set_unattended_answer(ui::Answer::Discard);
        QVERIFY(workstation_stop());
    }

    void an_ellipse_drawn_on_a_view_limits_the_operation()
    {
        MainWindow* w = workstation_start(home(), true);
        Image* img = w->new_image(100, 80);
        ImageView* v = w->active_view();
        AreaTools* tools = area_tools();
        QVERIFY(tools);
        w->action("area_ellipse")->trigger();
        tools->press(v, QPoint(20, 20));
        tools->move(v, QPoint(50, 40));
        tools->release(v, QPoint(80, 60));
        QVERIFY(area_state().present);
        QVERIFY(!v->overlay().isEmpty());  // marching ants
        ParamDialog* d = operation_dialog(w, 3115);  // Negative
        QCOMPARE(d->apply(), 0);
        image_lock(img);
        QCOMPARE(static_cast<int>(img->pixel(50, 40)[0]), 255);  // centre: inside
        QCOMPARE(static_cast<int>(img->pixel(22, 22)[0]), 0);    // box corner: outside the ellipse
        QCOMPARE(static_cast<int>(img->pixel(5, 5)[0]), 0);
        image_unlock(img);

        // Entire image again: the next operation reaches the corner.
        w->action("area_entire")->trigger();
        QVERIFY(v->overlay().isEmpty());
        QCOMPARE(d->apply(), 0);
        image_lock(img);
        QCOMPARE(static_cast<int>(img->pixel(5, 5)[0]), 255);
        QCOMPARE(static_cast<int>(img->pixel(50, 40)[0]), 0);
        image_unlock(img);
        w->platform().set_unattended_answer(ui::Answer::Discard);
        QVERIFY(workstation_stop());
    }

    void polygon_and_colour_wand()
    {
        MainWindow* w = workstation_start(home(), true);
        Image* img = w->new_image(40, 40);
        ImageView* v = w->active_view();
        AreaTools* tools = area_tools();
        w->action("area_polygon")->trigger();
        tools->press(v, QPoint(0, 0));
        tools->press(v, QPoint(39, 0));
        tools->double_click(v, QPoint(0, 39));  // a triangle over the top-left half
        QCOMPARE(operation_dialog(w, 3115)->apply(), 0);
        image_lock(img);
        QCOMPARE(static_cast<int>(img->pixel(5, 5)[0]), 255);
        QCOMPARE(static_cast<int>(img->pixel(35, 35)[0]), 0);
        image_unlock(img);
        // The wand on the still black corner takes the black half only.
        w->action("area_wand")->trigger();
        tools->press(v, QPoint(35, 35));
        QCOMPARE(operation_dialog(w, 3115)->apply(), 0);
        image_lock(img);
        QCOMPARE(static_cast<int>(img->pixel(35, 35)[0]), 255);
        QCOMPARE(static_cast<int>(img->pixel(5, 5)[0]), 255);
        image_unlock(img);
        w->platform().set_unattended_answer(ui::Answer::Discard);
        QVERIFY(workstation_stop());
    }

    void help_pages_open_by_topic()
    {
        MainWindow* w = workstation_start(home(), true);
        w->show_help_topic("Negative");
        QVERIFY(w->help_window() && w->help_window()->isVisible());
        QVERIFY(w->platform().transcript().last().endsWith("html_docs/f_op_negative.html"));
        w->show_help_topic("No Such Operation");
        QVERIFY(w->platform().transcript().last().contains("No help index: \"No Such Operation\""));
        QVERIFY(workstation_stop());
    }

    void roles_and_closing_during_an_operation()
    {
        MainWindow* w = workstation_start(home(), true);
        Image* a = w->new_image(8, 8);
        Image* b = w->new_image(8, 8);
        QCOMPARE(image_role(ImageRole::Target), b);
        w->assign_role(1, a);
        QCOMPARE(image_role(ImageRole::Source), a);
        // While an operation runs (a handler entered from its progress
        // pump), no view may close under it.
        op_state().running = true;
        QVERIFY(!w->close_view(w->views_of(a).front()));
        QVERIFY(w->platform().transcript().last().startsWith("Message 086"));
        op_state().running = false;
        w->platform().set_unattended_answer(ui::Answer::Discard);
        QVERIFY(w->close_view(w->views_of(a).front()));
        QCOMPARE(image_role(ImageRole::Source), b);  // fell back to the image still shown
        QVERIFY(workstation_stop());
    }

    void cancelling_a_long_operation_leaves_the_image_as_it_was()
    {
        MainWindow* w = workstation_start(home(), true);
        Image* img = w->new_image(600, 2000);
        // The cancel control is pressed from inside the operation's message pump.
        QTimer::singleShot(0, w, [w] { w->cancel_button()->click(); });
        ParamDialog* d = operation_dialog(w, 3115);
        QCOMPARE(d->apply(), 1);
        image_lock(img);
        for (int y : {0, 999, 1999})
            QCOMPARE(static_cast<int>(img->pixel(300, y)[0]), 0);
        image_unlock(img);
        QVERIFY(!progress_cancel_requested());
        w->platform().set_unattended_answer(ui::Answer::Discard);
        QVERIFY(workstation_stop());
    }

    void menus_offer_available_operations_only()
    {
        MainWindow* w = workstation_start(home(), true);
        QVERIFY(w->menu_named("Effects"));
        QVERIFY(w->findChild<QAction*>("op_3182"));  // Brightness
        int offered = 0;
        for (int i = 0; i < op_count(); ++i) {
            const OpDescriptor* op = op_at(i);
            bool has_action = w->findChild<QAction*>(QStringLiteral("op_%1").arg(op->command)) != nullptr;
            QCOMPARE(has_action, op->available != 0);
            offered += has_action;
        }
        QVERIFY(offered >= 15);
        QVERIFY(workstation_stop());
    }
};

QTEST_MAIN(WorkstationTest)
#include "workstation_test.moc"
