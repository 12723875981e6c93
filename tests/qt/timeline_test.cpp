// The timeline window driven through its real widgets, offscreen: cells set
// by dragging along rows, a trend edited in its window, save, new and load.
#include "core/app.h"
#include "core/image.h"
#include "core/settings.h"
#include "formats/load_save.h"
#include "ops/catalogue.h"
#include "ops/framework.h"
#include "ops/tone/tone.h"
#include "timeline/sequence.h"
#include "timeline/timeline.h"
#include "formats/film.h"
#include "ui/qt/film_window.h"
#include "ui/qt/main_window.h"
#include "ui/qt/qt_platform.h"
#include "ui/qt/timeline_window.h"
#include "ui/qt/workstation.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QFile>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimer>
#include <QTest>

using namespace ws;

class TimelineWindowTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;
    std::string home() const { return (dir_.path() + "/home").toStdString(); }
    QString file(const char* name) const { return dir_.path() + "/" + name; }
    static QString text_of(const QString& path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(f.readAll()) : QString();
    }

    // A saved image open in a view: the current image for the action grid.
    Image* open_image(MainWindow* w, const char* name)
    {
        Image* img = image_new_locked(6, 4, "test");
        image_unlock(img);
        settings().save_type = 0;
        settings().save_depth = 2;
        QString path = file(name);
        save_image(img, path.toLocal8Bit().constData());
        image_free(img);
        return w->open_file(path);
    }

    static void hold(long level, long first, long last, Grid g, const QString& name)
    {
        QCOMPARE(timeline_hold(level, first, last, g, as_cell(timeline_file_new(name.toLocal8Bit().constData()))), 0);
    }

    // A press on one cell, a move through the cells between, a release on the last.
    static void drag(TimelineGrid* grid, long level, Grid g, long from, long to)
    {
        QTest::mousePress(grid, Qt::LeftButton, {}, grid->centre_of(level, g, from));
        long mid = (from + to) / 2;
        QPoint p = grid->centre_of(level, g, mid) + QPoint(0, 7);  // a little off the row: it stays on it
        QMouseEvent move(QEvent::MouseMove, p, grid->mapToGlobal(p), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(grid, &move);
        QTest::mouseRelease(grid, Qt::LeftButton, {}, grid->centre_of(level, g, to));
    }

private Q_SLOTS:
    void the_window_opens_edits_and_saves_a_timeline()
    {
        MainWindow* w = workstation_start(home(), true);
        QVERIFY(w);
        Image* img = open_image(w, "frame.bmp");
        QVERIFY(img);
        QAction* open = w->action("timeline_window");
        QVERIFY(open);
        open->trigger();
        TimelineWindow* tw = timeline_window(w, false);
        QVERIFY(tw && tw->isVisible());
        QCOMPARE(tw->objectName(), QString("timeClass"));
        QVERIFY(tw->button("tl_generate")->isEnabled());

        // A drag along the action row holds the image over frames 1 to 3;
        // one along the operation row the current operation over 2 to 5.
        TimelineGrid* grid = tw->grid();
        drag(grid, 0, Grid::Action, 0, 2);
        const auto* act = cell_record<TimelineFile>(timeline_cell(0, 0, Grid::Action));
        QVERIFY(act);
        QCOMPARE(QString(act->name), file("frame.bmp"));
        QCOMPARE(timeline_cell(0, 1, Grid::Action), CELL_CONTINUE);
        QCOMPARE(timeline_cell(0, 2, Grid::Action), CELL_END);
        QCOMPARE(set_current_operation(opcmd::Negative), 0);
        tone_params().negative_mode = 2;
        drag(grid, 0, Grid::Op, 4, 1);  // dragged right to left
        QVERIFY(cell_record<TimelineOp>(timeline_cell(0, 1, Grid::Op)));
        QCOMPARE(timeline_cell(0, 4, Grid::Op), CELL_END);
        // The next level is offered below the ones in use.
        drag(grid, 1, Grid::Area, 3, 3);
        QVERIFY(cell_record<TimelineArea>(timeline_cell(1, 3, Grid::Area)));
        QCOMPARE(timeline_levels_in_use(), 2);
        QVERIFY(timeline().changed);

        // A trend of the operation's mode: a key dragged, one typed, the spline on.
        TrendWindow* trend = tw->open_trend(0, opcmd::Negative, 0);
        QVERIFY(trend && trend->isVisible());
        QCOMPARE(trend->objectName(), QString("trendClass"));
        QCOMPARE(trend->windowTitle(), QString("Trend - Negative: Mode (Level: 1)"));
        Trend* t = trend->trend();
        QCOMPARE(t->key_count, 3);  // the ends and the cell at frame 2 that sets it
        TrendPlot* plot = trend->plot();
        trend->resize(500, 300);
        QTest::qWait(1);
        QPoint last = plot->point_of(t->key_frames[2], t->key_values[2]);
        QPoint target = plot->point_of(t->frames - 1, 5);
        QTest::mousePress(plot, Qt::LeftButton, {}, last);
        QMouseEvent move(QEvent::MouseMove, target, plot->mapToGlobal(target), Qt::NoButton, Qt::LeftButton,
                         Qt::NoModifier);
        QApplication::sendEvent(plot, &move);
        QTest::mouseRelease(plot, Qt::LeftButton, {}, target);
        QCOMPARE(t->key_values[2], 5);
        QCOMPARE(trend->selected(), 2);
        trend->select_key(0);
        trend->value_box()->setValue(1);
        QCOMPARE(t->key_values[0], 1);
        trend->spline_box()->setChecked(true);
        QCOMPARE(t->splined, static_cast<int16_t>(1));
        QCOMPARE(trend_value(t, 6), 5);

        // Save writes the file the unattended chooser names.
        timeline().path = file("edited.tml").toStdString();
        QTest::mouseClick(tw->button("tl_save"), Qt::LeftButton);
        QVERIFY(!timeline().changed);
        QString saved = text_of(file("edited.tml"));
        QVERIFY(saved.startsWith("TIMELINE - edited.tml\nFrames:7\n"));
        QVERIFY(saved.contains("OP L:1 F:2 \"Negative\"\n- Interpolate:0\n- Var:\"Mode\",2\n"
                               "- Trend Var:\"Mode\" Splined:1 0,1 1,2 6,5\n"));
        QVERIFY(saved.contains("ACT L:1 F:1 V:0 S:1 I:0 \"" + file("frame.bmp") + "\"\n"));
        QVERIFY(saved.contains("AREA L:2 F:4\n- Mode:Entire\n"));

        // New empties it (and the trend window goes); Load brings it back.
        QTest::mouseClick(tw->button("tl_new"), Qt::LeftButton);
        QCOMPARE(timeline_levels_in_use(), 0);
        QTest::qWait(1);
        QVERIFY(!w->findChild<TrendWindow*>());
        QTest::mouseClick(tw->button("tl_load"), Qt::LeftButton);
        QCOMPARE(timeline_levels_in_use(), 2);
        QVERIFY(cell_record<TimelineOp>(timeline_cell(0, 1, Grid::Op)));
        Trend* back = trend_find_at(&tone_params().negative_mode, 0);
        QVERIFY(back);
        QCOMPARE(back->splined, static_cast<int16_t>(1));

        // Sizing to 10 frames holds nothing that ended before the old end.
        QVERIFY(tw->resize_to(10));
        QCOMPARE(timeline().frames, 10L);
        QCOMPARE(timeline_cell(0, 4, Grid::Op), CELL_END);
        QCOMPARE(grid->sizeHint().width(), grid->width());

        // A changed timeline asks before New; cancel keeps it.
        w->platform().set_unattended_answer(ui::Answer::Cancel);
        w->platform().clear_transcript();
        QTest::mouseClick(tw->button("tl_new"), Qt::LeftButton);
        QVERIFY(w->platform().transcript().join("\n").contains("Time Line has changed."));
        QCOMPARE(timeline_levels_in_use(), 2);

        // While a sequence is generated, Load refuses.
        timeline().generating = true;
        w->platform().clear_transcript();
        QTest::mouseClick(tw->button("tl_load"), Qt::LeftButton);
        QVERIFY(w->platform().transcript().join("\n").contains("This cannot be done while an operation is in progress."));
        timeline().generating = false;

        // Shut-down asks the same question; discarding ends the program.
        QVERIFY(!workstation_stop());
        w->platform().set_unattended_answer(ui::Answer::Discard);
        QVERIFY(workstation_stop());
    }

    void generate_shows_the_frames_and_writes_the_sequence_output()
    {
        MainWindow* w = workstation_start(home(), true);
        Image* img = open_image(w, "black.bmp");  // 6 x 4, black
        QVERIFY(img);
        TimelineWindow* tw = timeline_window(w);
        tw->show();
        hold(0, 0, 4, Grid::Action, file("black.bmp"));
        TimelineOp* op = timeline_op_capture(opcmd::Negative);
        QVERIFY(op);
        QCOMPARE(timeline_hold(0, 0, 4, Grid::Op, as_cell(op)), 0);
        Trend* t = timeline_var_trend(0, opcmd::Negative, 0);  // Mode: 0 for frames 1-4, then 1
        const int32_t kf[] = {0, 3, 4, 6}, kv[] = {0, 0, 1, 1};
        QCOMPARE(trend_set_keys(t, kf, kv, 4), 0);

        // Setup's values: frames 2 to 5, written as numbered PNG files.  (The
        // dialog's own loop cannot run once an earlier test has quit.)
        timeline().first_frame = 2;
        timeline().last_frame = 5;
        settings().save_result = 1;
        settings().out_path = file("seq").toStdString();
        settings().out_name = QString("f").toStdString();
        settings().seq_type = 11;
        QCOMPARE(timeline().first_frame, 2L);
        QCOMPARE(timeline().last_frame, 5L);
        QCOMPARE(settings().seq_type, 11L);

        // The film-strip window is open: it fills as the frames arrive.
        w->action("film_window")->trigger();
        FilmWindow* film = film_window(w, false);
        QVERIFY(film && film->isVisible());
        settings().film_size[0] = 12;
        settings().film_size[1] = 8;

        tw->button("tl_generate")->click();
        QVERIFY(!timeline().generating);
        QVERIFY(tw->grid()->isEnabled());
        QCOMPARE(film_state().frames, timeline().frames);
        QCOMPARE(film_filled(), 4L);
        QVERIFY(!film_frame(0) && film_frame(1) && film_frame(4));
        QCOMPARE(film->counter_label()->text().simplified(), QString("5 / %1").arg(timeline().frames));
        image_lock(film_frame(4));
        QCOMPARE(static_cast<int>(film_frame(4)->pixel(6, 4)[0]), 255);
        image_unlock(film_frame(4));
        Image* shown = TimelineWindow::sequence_image();
        QVERIFY(shown);
        QCOMPARE(QString(shown->name), QString("Sequence frame 5"));
        QVERIFY(!w->views_of(shown).empty());
        image_lock(shown);
        QCOMPARE(static_cast<int>(shown->pixel(2, 2)[0]), 255);  // mode 1 (grey) on black
        image_unlock(shown);
        for (const char* f : {"seq/f0002.png", "seq/f0003.png", "seq/f0004.png", "seq/f0005.png"})
            QVERIFY2(QFile::exists(file(f)), f);
        QVERIFY(!QFile::exists(file("seq/f0001.png")));
        QVERIFY(tw->findChild<QLabel*>("tl_status")->text().contains("4 of frames 2 to 5 generated"));
        // The view's own image was not touched.
        image_lock(img);
        QCOMPARE(static_cast<int>(img->pixel(2, 2)[0]), 0);
        image_unlock(img);

        // A second Generate asks before it writes over the last file; no keeps it.
        w->platform().set_unattended_answer(ui::Answer::No);
        w->platform().clear_transcript();
        tw->button("tl_generate")->click();
        QVERIFY(w->platform().transcript().join("\n").contains("The sequence output file already exists."));
        w->platform().set_unattended_answer(ui::Answer::Discard);
        QVERIFY(workstation_stop());
    }

    void an_unsaved_image_cannot_go_in_the_timeline()
    {
        MainWindow* w = workstation_start(home(), true);
        w->new_image(8, 8);
        TimelineWindow* tw = timeline_window(w);
        w->platform().clear_transcript();
        QVERIFY(!tw->set_from_current(0, Grid::Source, 0, 1));
        QVERIFY(w->platform().transcript().join("\n").contains("Save the image first"));
        QCOMPARE(timeline_levels_in_use(), 0);
        w->platform().set_unattended_answer(ui::Answer::Discard);
        QVERIFY(workstation_stop());
    }
};

QTEST_MAIN(TimelineWindowTest)
#include "timeline_test.moc"
