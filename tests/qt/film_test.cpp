// The film-strip window driven offscreen: a film made from its menu, a frame
// placed from the active view, playback stepping with ping-pong, the counter
// and the time, an operation refreshing the current frame, save and export.
#include "core/image.h"
#include "core/settings.h"
#include "formats/film.h"
#include "formats/load_save.h"
#include "ops/catalogue.h"
#include "ops/framework.h"
#include "ui/qt/film_window.h"
#include "ui/qt/main_window.h"
#include "ui/qt/qt_platform.h"
#include "ui/qt/workstation.h"

#include <QAction>
#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>

using namespace ws;

class FilmWindowTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;
    std::string home() const { return (dir_.path() + "/home").toStdString(); }
    QString file(const char* name) const { return dir_.path() + "/" + name; }

    static QAction* menu_action(FilmWindow* f, const char* name)
    {
        return f->menu_bar()->findChild<QAction*>(name);
    }

private Q_SLOTS:
    void the_window_places_plays_and_exports()
    {
        MainWindow* w = workstation_start(home(), true);
        QVERIFY(w);
        QAction* open = w->action("film_window");
        QVERIFY(open);
        open->trigger();
        FilmWindow* f = film_window(w, false);
        QVERIFY(f && f->isVisible());
        QCOMPARE(f->objectName(), QString("filmClass"));

        settings().film_size[0] = 40;
        settings().film_size[1] = 30;
        menu_action(f, "film_new")->trigger();
        QCOMPARE(film_state().frames, 30L);
        QCOMPARE(film_state().width, 40L);
        QCOMPARE(f->counter_label()->text(), QString("  1 / 30"));
        QCOMPARE(f->time_label()->text(), QString("00:00.000"));

        // A red image in a view, placed at frame 3.
        Image* red = w->new_image(80, 60);
        QVERIFY(red);
        image_lock(red);
        for (int y = 0; y < 60; ++y)
            for (int x = 0; x < 80; ++x) {
                uint8_t* p = red->pixel(x, y);
                p[0] = 255, p[1] = 0, p[2] = 0, p[3] = 255;
            }
        image_unlock(red);
        QVERIFY(w->add_view(red));
        f->frame_box()->setValue(3);
        QCOMPARE(f->current(), 2L);
        menu_action(f, "film_place")->trigger();
        QVERIFY(film_frame(2));
        QImage thumb = f->frame_picture(2);
        QCOMPARE(thumb.pixel(20, 15), qRgb(255, 0, 0));
        f->speed_box()->setValue(100);
        QCOMPARE(f->time_label()->text(), QString("00:00.200"));
        QCOMPARE(f->counter_label()->text(), QString("  3 / 30"));

        // An operation on the target refreshes the current frame.
        image_set_role(ImageRole::Target, red);
        QCOMPARE(set_current_operation(opcmd::Negative), 0);
        QCOMPARE(perform_operation(red), 0);
        QCOMPARE(f->frame_picture(2).pixel(20, 15), qRgb(0, 255, 255));

        // Playback: the timer's step, back at the end with ping-pong.
        f->findChild<QCheckBox*>("film_pong")->setChecked(true);
        f->set_current(29);
        f->step();
        QCOMPARE(f->current(), 28L);
        f->findChild<QCheckBox*>("film_pong")->setChecked(false);
        f->set_current(29);
        f->step();
        f->step();
        QCOMPARE(f->current(), 1L);
        f->play_button()->click();
        QVERIFY(f->playing());
        QTest::qWait(250);
        QVERIFY(f->current() != 1L);
        f->play_button()->click();
        QVERIFY(!f->playing());

        // FILM_SHOT=file.png keeps a picture of the window (for a look at it).
        if (qEnvironmentVariableIsSet("FILM_SHOT")) {
            f->resize(520, 380);
            f->set_current(2);
            QTest::qWait(50);
            f->grab().save(qEnvironmentVariable("FILM_SHOT"));
        }

        // Save and export go where the (unattended) dialogs point.
        settings().film_path = file("strip.flm").toStdString();
        menu_action(f, "film_save")->trigger();
        QVERIFY(QFile::exists(file("strip.flm")));
        QCOMPARE(QFile(file("strip.flm")).size(), qint64(16 + 30 * 40 * 30 * 3));
        settings().film_mng_path = file("strip").toStdString();
        menu_action(f, "film_export_mng")->trigger();
        QVERIFY(QFile::exists(file("strip.mng")));
        f->close();
        QVERIFY(!f->isVisible());
        delete w;
    }

    void the_delay_field_refuses_what_is_not_0_to_9999()
    {
        FilmExportOptions options;
        options.delay = 12;
        GifParamsDialog dialog(nullptr, options);
        dialog.delay_field()->setText("10000");
        Q_EMIT dialog.delay_field()->editingFinished();
        QCOMPARE(dialog.delay_field()->text(), QString("12"));
        dialog.delay_field()->setText("abc");
        Q_EMIT dialog.delay_field()->editingFinished();
        QCOMPARE(dialog.delay_field()->text(), QString("12"));
        dialog.delay_field()->setText("250");
        Q_EMIT dialog.delay_field()->editingFinished();
        dialog.pingpong_box()->setChecked(true);
        FilmExportOptions out;
        QVERIFY(dialog.take(out));
        QCOMPARE(out.delay, 250);
        QVERIFY(out.pingpong);
    }
};

QTEST_MAIN(FilmWindowTest)
#include "film_test.moc"
