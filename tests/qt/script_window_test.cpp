// The script window and the plug-in list window driven through their real
// widgets, offscreen: a program run on the active image (one undo takes it
// back), stop, and a plug-in loaded, given parameters and applied.
#include "core/app.h"
#include "core/image.h"
#include "core/settings.h"
#include "core/undo.h"
#include "formats/load_save.h"
#include "ops/appliers.h"
#include "plugins/plugins.h"
#include "script/script.h"
#include "ui/qt/main_window.h"
#include "ui/qt/plugin_window.h"
#include "ui/qt/script_window.h"
#include "ui/qt/workstation.h"

#include <QAction>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>

using namespace ws;

class ScriptWindowTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;
    std::string home() const { return (dir_.path() + "/home").toStdString(); }
    QString file(const char* name) const { return dir_.path() + "/" + name; }

    Image* open_image(MainWindow* w)
    {
        Image* img = image_new_locked(6, 4, "test");
        for (int i = 0; i < 24; ++i)
            pixel_store(img->pixels + 4 * i, pixel_make(200, 100, 50, 255));
        image_unlock(img);
        settings().save_type = 0;
        settings().save_depth = 2;
        QString path = file("pic.bmp");
        save_image(img, path.toLocal8Bit().constData());
        image_free(img);
        return w->open_file(path);
    }
    static uint32_t px(Image* img, int x, int y)
    {
        ImageLock lock(img);
        return pixel_load(img->pixel(x, y));
    }

private Q_SLOTS:
    void a_program_runs_on_the_active_image_as_one_operation()
    {
        MainWindow* w = workstation_start(home(), true);
        QVERIFY(w);
        Image* img = open_image(w);
        QVERIFY(img);
        QAction* open = w->action("script_window_open");
        QVERIFY(open);
        open->trigger();
        ScriptWindow* sw = script_window(w);
        QVERIFY(sw->isVisible());
        sw->editor()->setPlainText("10 X = NEGATIVE(0, 1, 1, 1, 0)\n20 X = PUTBLUE(0, 0, 9)\n");
        QTest::mouseClick(sw->findChild<QPushButton*>("script_run"), Qt::LeftButton);
        QCOMPARE(px(img, 1, 1), pixel_make(55, 155, 205, 255));
        QCOMPARE(pixel_b(px(img, 0, 0)), 9);
        QVERIFY(!sw->running());
        if (qEnvironmentVariableIsSet("GLIMVQ_SHOTS"))
            sw->grab().save(qEnvironmentVariable("GLIMVQ_SHOTS") + "/script-window.png");
        // One undo takes the whole script back.
        w->undo();
        QCOMPARE(px(img, 1, 1), pixel_make(200, 100, 50, 255));
        QCOMPARE(pixel_b(px(img, 0, 0)), 50);

        // Saved, loaded again, and an error shown in the window's status.
        QString path = file("prog.gxs");
        sw->editor()->setPlainText("10 PRINT 1/0\n");
        std::string p = path.toLocal8Bit().toStdString();
        std::string text = sw->editor()->toPlainText().toLocal8Bit().toStdString();
        QCOMPARE(script_editor_save(p, text), 0);
        QVERIFY(sw->load(path));
        QCOMPARE(sw->path(), path);
        QVERIFY(sw->run() != 0);
        QVERIFY(sw->findChild<QLabel*>("script_status")->text().startsWith("Error in line 10"));
        QVERIFY(workstation_stop());
    }

    void a_plugin_is_loaded_set_and_applied_from_its_window()
    {
        MainWindow* w = workstation_start(home(), true);
        QVERIFY(w);
        Image* img = open_image(w);
        QVERIFY(img);
        w->action("plugin_window_open")->trigger();
        PluginWindow* pw = plugin_window(w);
        QVERIFY(pw->isVisible());
        QString sample = qEnvironmentVariable("GLIMVQ_BIN_DIR") + "/chanmix.gxp";
        QVERIFY(pw->load(sample));
        QCOMPARE(pw->list()->count(), 1);
        QCOMPARE(pw->list()->currentRow(), 0);
        // The dialog shows the integers the plug-in gave limits.
        QDialog* d = pw->parameters_dialog();
        QVERIFY(d);
        auto* red = d->findChild<QSpinBox*>("i0");
        QVERIFY(red);
        QCOMPARE(red->maximum(), 200);
        red->setValue(0);
        d->findChild<QSpinBox*>("i3")->setValue(100);
        if (qEnvironmentVariableIsSet("GLIMVQ_SHOTS")) {
            d->grab().save(qEnvironmentVariable("GLIMVQ_SHOTS") + "/plugin-params.png");
            pw->grab().save(qEnvironmentVariable("GLIMVQ_SHOTS") + "/plugin-window.png");
        }
        static_cast<PluginParamDialog*>(d)->take();
        delete d;
        QVERIFY(pw->apply());
        QCOMPARE(pixel_r(px(img, 2, 2)), 100);  // red from green
        QVERIFY(workstation_stop());
    }
};

QTEST_MAIN(ScriptWindowTest)
#include "script_window_test.moc"
