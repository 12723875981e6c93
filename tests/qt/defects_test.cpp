// What a new user meets in the workstation: Save keeps the file's own type,
// the modified mark follows undo past a save, menus have unique mnemonics,
// windows come back on the screen, boxes do not hold a running job.
#include "core/app.h"
#include "core/image.h"
#include "core/messages.h"
#include "core/settings.h"
#include "formats/codecs.h"
#include "formats/load_save.h"
#include "layers/elf.h"
#include "layers/layer_manage.h"
#include "ops/catalogue.h"
#include "ops/collage/collage.h"
#include "ops/tone/tone.h"
#include "raytrace/raytrace.h"
#include "ui/qt/image_view.h"
#include "ui/qt/main_window.h"
#include "ui/qt/param_dialog.h"
#include "ui/qt/qt_platform.h"
#include "ui/qt/workstation.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <QFile>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <fstream>

using namespace ws;

class DefectsTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;
    std::string home() const { return (dir_.path() + "/home").toStdString(); }
    QString file(const char* name) const { return dir_.path() + "/" + name; }

    // A 6x4 picture written as `type` (a save type) at 24 bits.
    QString make_picture(const char* name, int type)
    {
        Image* img = image_new_locked(6, 4, "test");
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 6; ++x) {
                uint8_t* p = img->pixel(x, y);
                p[0] = static_cast<uint8_t>(x * 40), p[1] = static_cast<uint8_t>(y * 60), p[2] = 90, p[3] = 255;
            }
        image_unlock(img);
        QString path = file(name);
        settings().save_type = type;
        settings().save_depth = 2;
        save_image(img, path.toLocal8Bit().constData());
        image_free(img);
        return path;
    }

    static QByteArray head(const QString& path, int n)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.read(n) : QByteArray();
    }

    // The mnemonic of a menu text ("Zoom &In" -> 'i'), 0 when none.
    static QChar mnemonic(const QString& text)
    {
        for (int i = 0; i + 1 < text.size(); ++i) {
            if (text[i] != '&')
                continue;
            if (text[i + 1] == '&') {
                ++i;
                continue;
            }
            return text[i + 1].toLower();
        }
        return QChar();
    }

    // Every mnemonic unique among the menu's items; submenus likewise.
    static void check_menu(QMenu* menu, QStringList& clashes)
    {
        Q_EMIT menu->aboutToShow();  // menus made when shown fill themselves
        QMap<QChar, QString> seen;
        for (QAction* a : menu->actions()) {
            if (a->isSeparator())
                continue;
            QChar m = mnemonic(a->text());
            if (!m.isNull()) {
                if (seen.contains(m))
                    clashes << menu->title() + ": \"" + seen[m] + "\" and \"" + a->text() + "\"";
                seen[m] = a->text();
            }
            if (a->menu())
                check_menu(a->menu(), clashes);
        }
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(dir_.isValid()); }

    void save_writes_the_own_file_in_its_own_format()
    {
        MainWindow* w = workstation_start(home(), true);
        QString png = make_picture("c.png", FMT_PNG);
        settings().save_type = FMT_BMP;  // the save settings say BMP: Save keeps PNG all the same
        Image* img = w->open_file(png);
        QVERIFY(img);
        QCOMPARE(operation_dialog(w, opcmd::Negative)->apply(), 0);
        QVERIFY(w->active_view()->title().endsWith(" *"));
        QVERIFY(w->action("file_save")->isEnabled());
        w->action("file_save")->trigger();
        QCOMPARE(img->changes, static_cast<int16_t>(0));
        QVERIFY(!QFile::exists(png + ".bmp"));
        QCOMPARE(head(png, 4), QByteArray("\x89PNG", 4));
        QCOMPARE(QString::fromLocal8Bit(img->name), QString("c.png"));
        QCOMPARE(settings().save_type, static_cast<long>(FMT_BMP));
        Image* again = load_image(png.toLocal8Bit().constData());
        QVERIFY(again);
        image_lock(again);
        QCOMPARE(static_cast<int>(again->pixel(0, 0)[0]), 255);  // the negative was saved
        image_unlock(again);
        image_free(again);

        // Save As starts on the image's own type and offers only writable ones.
        QStringList offer = w->save_as_offer(img);
        QVERIFY(!offer.isEmpty());
        QVERIFY2(offer.first().contains("PNG", Qt::CaseInsensitive), qPrintable(offer.join(", ")));
        for (int type : save_as_types(true))
            QVERIFY(codec_for_save_type(type) && codec_for_save_type(type)->write);
        w->platform().set_unattended_answer(ui::Answer::Discard);
        QVERIFY(workstation_stop());
    }

    void undo_past_a_save_marks_the_image_changed()
    {
        MainWindow* w = workstation_start(home(), true);
        Image* img = w->open_file(make_picture("u.bmp", FMT_BMP));
        QVERIFY(img);
        QVERIFY(!w->action("edit_undo")->isEnabled());  // nothing to undo yet
        QVERIFY(!w->action("edit_deundo")->isEnabled());
        QCOMPARE(operation_dialog(w, opcmd::Negative)->apply(), 0);
        QVERIFY(w->action("edit_undo")->isEnabled());
        QVERIFY(!w->action("edit_deundo")->isEnabled());
        QVERIFY(w->save_active(file("saved.bmp")));
        QVERIFY(!w->active_view()->title().endsWith(" *"));
        w->action("edit_undo")->trigger();
        QVERIFY(img->changes != 0);
        QVERIFY(w->active_view()->title().endsWith(" *"));
        QVERIFY(w->action("edit_deundo")->isEnabled());
        // De-Undo comes back to the saved state: no mark.
        w->action("edit_deundo")->trigger();
        QCOMPARE(img->changes, static_cast<int16_t>(0));
        QVERIFY(!w->active_view()->title().endsWith(" *"));
        // Undone again, closing asks.
        w->action("edit_undo")->trigger();
        w->platform().clear_transcript();
        w->platform().set_unattended_answer(ui::Answer::Discard);
        QVERIFY(w->close_view(w->active_view()));
        QVERIFY(w->platform().transcript().join("\n").contains("has changed. Save it?"));
        QVERIFY(workstation_stop());
    }

    void layered_and_missing_files_on_the_command_line()
    {
        QByteArray gone = file("gone/missing.png").toLocal8Bit();
        QByteArray rel = QByteArray("no-such-picture.png");
        char prog[] = "glimvq";
        char* argv[] = {prog, gone.data(), rel.data(), nullptr};
        MainWindow* w = workstation_start(home(), true, 3, argv);
        QVERIFY(w);
        QString said = w->platform().transcript().join("\n");
        QVERIFY2(said.contains("Could not open the image file. " + file("gone/missing.png")), qPrintable(said));
        QVERIFY2(said.contains("Could not open the image file. no-such-picture.png"), qPrintable(said));
        // Numbered messages are titled with the program's name, the number in the text.
        QVERIFY2(said.contains("Glimmerix:V/q: Message 006: "), qPrintable(said));
        QCOMPARE(static_cast<int>(w->views().size()), 0);
        QVERIFY(app_word_is_option("/icon"));
        QVERIFY(app_word_is_option("/shots=/tmp/x"));
        QVERIFY(!app_word_is_option("/tmp/gone.png"));
        QVERIFY(workstation_stop());
    }

    void layered_files_open_from_a_drop_and_the_open_dialog()
    {
        MainWindow* w = workstation_start(home(), true);
        Image* master = load_image(make_picture("drop.bmp", FMT_BMP).toLocal8Bit().constData());
        QVERIFY(master);
        QCOMPARE(layer_make_master(master), 0);
        QString elf = file("drop.elf");
        QCOMPARE(elf_save(elf.toLocal8Bit().constData(), master, 1), 0);
        image_free(master);
        QVERIFY(QString::fromStdString(load_filter(true)).contains("*.ELF", Qt::CaseInsensitive));
        auto* mime = new QMimeData;
        mime->setUrls({QUrl::fromLocalFile(elf)});
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(w, &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(10, 10), Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(w, &drop);
        QVERIFY2(w->views().size() == 1, qPrintable(w->platform().transcript().join("\n")));
        QCOMPARE(static_cast<int>(w->active_view()->image()->width), 6);
        delete mime;
        QVERIFY(workstation_stop());
    }

    void boxes_are_titled_by_the_program()
    {
        QString t, b;
        box_texts("Message 018", "Image file type is not recognized.", t, b);
        QCOMPARE(t, QString("Glimmerix:V/q"));
        QCOMPARE(b, QString("Message 018: Image file type is not recognized."));
        box_texts("Note!", "text", t, b);
        QCOMPARE(t, QString("Note!"));
        QCOMPARE(b, QString("text"));
    }

    void a_box_during_a_running_job_does_not_hold_it()
    {
        MainWindow* w = workstation_start(home(), true);
        w->platform().set_unattended(false);
        bool returned = false;
        // The job pumps messages; a box opened meanwhile must not run a
        // loop of its own under the job.
        QTimer::singleShot(0, w, [&] {
            w->platform().message_box("Message 065", "The settings for this operation will produce no change.",
                                      ui::BoxIcon::Exclamation);
            returned = true;
        });
        w->platform().pump_messages();
        QTest::qWait(5);
        QVERIFY(returned);
        int boxes = 0;
        for (QWidget* top : QApplication::topLevelWidgets())
            if (auto* box = qobject_cast<QMessageBox*>(top); box && box->isVisible()) {
                ++boxes;
                QCOMPARE(box->windowTitle(), QString("Glimmerix:V/q"));
                box->close();
            }
        QCOMPARE(boxes, 1);
        w->platform().set_unattended(true);
        QVERIFY(workstation_stop());
    }

    void every_mnemonic_is_unique_in_its_menu()
    {
        MainWindow* w = workstation_start(home(), true);
        for (int i = 0; i < 11; ++i)  // window list entries past 9 have none
            w->new_image(16, 16);
        QStringList clashes;
        QMap<QChar, QString> top;
        for (QAction* a : w->menuBar()->actions()) {
            QChar m = mnemonic(a->text());
            if (!m.isNull()) {
                if (top.contains(m))
                    clashes << "menu bar: \"" + top[m] + "\" and \"" + a->text() + "\"";
                top[m] = a->text();
            }
            if (a->menu())
                check_menu(a->menu(), clashes);
        }
        QVERIFY2(clashes.isEmpty(), qPrintable(clashes.join("\n")));
        QVERIFY(top.size() >= 6);
        w->platform().set_unattended_answer(ui::Answer::Discard);
        QVERIFY(workstation_stop());
    }

    void windows_come_back_on_the_screen()
    {
        QCOMPARE(fit_on_screen(QRect(1800, 1200, 800, 600), QRect(0, 0, 1400, 900)), QRect(600, 300, 800, 600));
        QCOMPARE(fit_on_screen(QRect(-50, 20, 3000, 500), QRect(0, 0, 1400, 900)), QRect(0, 20, 1400, 500));
        QCOMPARE(fit_on_screen(QRect(10, 10, 300, 200), QRect(0, 0, 1400, 900)), QRect(10, 10, 300, 200));

        std::string h = home() + "-pos";
        QDir().mkpath(QString::fromStdString(h));
        QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        std::ofstream(h + "/GLIMVQ.ini") << "[Glimvq]\nPosMain=" << screen.width() + 400 << " " << screen.height() + 300
                                         << " " << screen.width() / 2 << " " << screen.height() / 2 << "\n";
        MainWindow* w = workstation_start(h, true);
        QVERIFY(w);
        QVERIFY2(screen.contains(w->geometry()), qPrintable(QStringLiteral("%1,%2 %3x%4")
                                                                .arg(w->geometry().x()).arg(w->geometry().y())
                                                                .arg(w->width()).arg(w->height())));
        // Large images open with their view's title bar in the workspace.
        auto* mdi = w->findChild<QMdiArea*>();
        QVERIFY(mdi);
        for (int i = 0; i < 6; ++i)
            w->new_image(3000, 2000);
        for (QMdiSubWindow* sub : mdi->subWindowList()) {
            QVERIFY(sub->y() >= 0 && sub->x() >= 0);
            QVERIFY2(sub->y() + 20 <= mdi->viewport()->height(), qPrintable(QString::number(sub->y())));
        }
        w->platform().set_unattended_answer(ui::Answer::Discard);
        QVERIFY(workstation_stop());
    }

    void dialogs_name_choices_and_browse_for_files()
    {
        MainWindow* w = workstation_start(home(), true);
        ParamDialog* mono = operation_dialog(w, opcmd::Monochrome);
        mono->refresh();
        auto* method = mono->findChild<QComboBox*>("method");
        QVERIFY(method);
        QCOMPARE(method->count(), 9);
        QCOMPARE(method->itemText(1), QString("Luminance"));
        method->setCurrentIndex(2);
        QCOMPARE(tone_params().mono_method, 2);
        // The Help button carries no placeholder icon.
        auto* help = mono->findChild<QPushButton*>("help");
        QVERIFY(help);
        QVERIFY(help->icon().isNull());

        ParamDialog* rt = operation_dialog(w, opcmd::RayTrace);
        rt->refresh();
        auto* browse = rt->findChild<QPushButton*>("scene_browse");
        QVERIFY(browse);
        auto* folder = rt->findChild<QLineEdit*>("folder");
        auto* scene = rt->findChild<QLineEdit*>("scene");
        QVERIFY(folder && scene);
        QCOMPARE(scene->text(), QString(kRaytraceDefaultScene));
        // Unattended, the chooser returns the name it starts on.
        folder->setText(QString(GLIMVQ_SOURCE_DIR) + "/data/scenes/../scenes");
        scene->setText("orbit.w3d");
        browse->click();
        QCOMPARE(QString(raytrace_state().scene_file), QString("orbit.w3d"));
        QCOMPARE(QDir(folder->text()).canonicalPath(), QDir(QString(GLIMVQ_SOURCE_DIR) + "/data/scenes").canonicalPath());
        QVERIFY(!folder->text().contains(".."));
        QVERIFY(workstation_stop());
    }

    void colour_parameters_show_a_swatch_and_take_hex()
    {
        MainWindow* w = workstation_start(home(), true);
        ParamDialog* d = operation_dialog(w, opcmd::Extend);
        collage_params().ext_colour = 0x102030;
        d->refresh();
        auto* swatch = d->findChild<QPushButton*>("colour");
        auto* text = d->findChild<QLineEdit*>("colour_text");
        QVERIFY(swatch && text);
        QCOMPARE(text->text(), QString("#102030"));
        QVERIFY(swatch->styleSheet().contains("#102030"));
        text->setText("#ff8000");
        Q_EMIT text->editingFinished();
        QCOMPARE(collage_params().ext_colour, 0xFF8000);
        QCOMPARE(text->text(), QString("#FF8000"));
        // Text that is no colour goes back to the colour held.
        text->setText("#12");
        Q_EMIT text->editingFinished();
        QCOMPARE(collage_params().ext_colour, 0xFF8000);
        QCOMPARE(text->text(), QString("#FF8000"));
        QVERIFY(workstation_stop());
    }

    void parameter_dialogs_fit_the_screen()
    {
        // Stroke has the most parameters: its dialog scrolls rather than
        // running off a small screen; shorter ones show all at once.
        MainWindow* w = workstation_start(home(), true);
        const int room = w->screen()->availableGeometry().height();
        for (int32_t command : {opcmd::Stroke, opcmd::Landscape, opcmd::Monochrome}) {
            ParamDialog* d = operation_dialog(w, command);
            d->refresh();
            d->adjustSize();
            QVERIFY2(d->height() <= room, qPrintable(QString("%1: %2 of %3").arg(command).arg(d->height()).arg(room)));
            if (command != opcmd::Landscape)
                QCOMPARE(d->findChild<QWidget*>("parameters") != nullptr, command == opcmd::Stroke);
            if (command == opcmd::Stroke)
                QVERIFY(d->findChild<QWidget*>("barrel_shade"));
        }
        QVERIFY(workstation_stop());
    }
};

QTEST_MAIN(DefectsTest)
#include "defects_test.moc"
