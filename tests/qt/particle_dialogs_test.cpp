// The particle system's dialogs driven through their real widgets,
// offscreen: reached from the Particles operation's dialog, every kind of
// field edited, forces added, edited and removed, the preview drawn at two
// frames, saved (the file becomes the operation's) and loaded again.
#include "core/image.h"
#include "core/settings.h"
#include "ops/catalogue.h"
#include "particles/particles.h"
#include "ui/qt/main_window.h"
#include "ui/qt/param_dialog.h"
#include "ui/qt/particle_dialogs.h"
#include "ui/qt/qt_platform.h"
#include "ui/qt/workstation.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cstring>

using namespace ws;

class ParticleDialogsTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;
    std::string home() const { return (dir_.path() + "/home").toStdString(); }
    std::string file(const char* name) const { return (dir_.path() + "/" + name).toStdString(); }
    // The demo systems of the source tree this file is in.
    static std::string demo(const char* name)
    {
        std::string here = __FILE__;
        std::string root = here.substr(0, here.rfind("/tests/qt/"));
        return root + "/data/particles/" + name + ".psy";
    }

    SystemDialog* open_from_operation(MainWindow* w, ParamDialog** op_dialog = nullptr)
    {
        ParamDialog* d = operation_dialog(w, opcmd::Particles);
        if (op_dialog)
            *op_dialog = d;
        auto* button = d->findChild<QPushButton*>("particle_system");
        if (!button)
            return nullptr;
        button->click();
        return particle_system_dialog(w);
    }

private Q_SLOTS:
    // First: once a workstation has shut down, the application has been told
    // to quit and no modal loop (the force dialog's) runs again.
    void every_field_and_force_is_edited_saved_and_read_back()
    {
        MainWindow* w = workstation_start(home(), true);
        QVERIFY(w);
        ParamDialog* op = nullptr;
        SystemDialog* s = open_from_operation(w, &op);
        QVERIFY(s);
        QVERIFY(s->path().empty());
        s->findChild<QSpinBox*>("particlecount")->setValue(250);
        s->findChild<QDoubleSpinBox*>("yv")->setValue(-2.5);
        s->findChild<QDoubleSpinBox*>("maxsize")->setValue(3);
        s->findChild<QDoubleSpinBox*>("minsize")->setValue(4);  // raises the largest size with it
        s->findChild<QComboBox*>("dist")->setCurrentIndex(0);
        s->findChild<QComboBox*>("areamode")->setCurrentIndex(5);
        s->findChild<QCheckBox*>("twodee")->setChecked(true);
        s->findChild<QLineEdit*>("palette")->setText("no such.pal");
        const ParticleSystem& sys = s->system();
        QCOMPARE(sys.particlecount, 250);
        QCOMPARE(sys.yv, -2.5f);
        QCOMPARE(sys.minsize, 4.0f);
        QCOMPARE(sys.maxsize, 4.0f);
        QCOMPARE(sys.circular, 0);
        QCOMPARE(sys.areamode, 5);
        QCOMPARE(sys.twodee, 1);
        QCOMPARE(QString(sys.palette), QString("no such.pal"));
        // A palette that is not there: no preview, and the dialog says why.
        QVERIFY(s->preview_now().isNull());
        QVERIFY(s->preview_note().contains("no such.pal"));
        s->findChild<QLineEdit*>("palette")->setText("");

        // Forces: two added, the second made a vortex with turbulence, the first removed.
        s->findChild<QPushButton*>("force_add")->click();
        s->findChild<QPushButton*>("force_add")->click();
        auto* list = s->findChild<QListWidget*>("forces");
        QCOMPARE(list->count(), 2);
        bool edited = false;
        QTimer::singleShot(0, [&] {
            auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            QVERIFY(d);
            QCOMPARE(d->objectName(), QString("FRCE_DLG"));
            auto* type = d->findChild<QComboBox*>("ftype");
            type->setCurrentIndex(type->findText("Vortex"));
            d->findChild<QDoubleSpinBox*>("fta")->setValue(12);
            d->findChild<QDoubleSpinBox*>("turbend")->setValue(0.5);
            d->findChild<QCheckBox*>("enable")->setChecked(false);
            edited = true;
            d->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
        });
        s->edit_force(1);
        QVERIFY(edited);
        QCOMPARE(sys.forces[1].ftype, static_cast<int32_t>(FORCE_VORTEX));
        QCOMPARE(sys.forces[1].fta, 12.0f);
        QCOMPARE(sys.forces[1].enable, 0);
        QCOMPARE(list->item(1)->text(), QString("2. Vortex (w/Turbulence) (off)"));
        // A cancelled edit changes nothing.
        QTimer::singleShot(0, [] {
            auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            d->findChild<QDoubleSpinBox*>("fta")->setValue(99);
            d->reject();
        });
        s->edit_force(1);
        QCOMPARE(sys.forces[1].fta, 12.0f);
        list->setCurrentRow(0);
        s->findChild<QPushButton*>("force_remove")->click();
        QCOMPARE(sys.forcecount, 1);
        QCOMPARE(sys.forces[0].ftype, static_cast<int32_t>(FORCE_VORTEX));

        // Save (unattended, the file chooser takes the suggested name): the
        // file becomes the operation's and its dialog shows it.
        std::string path = file("edited.psy");
        s->set_path(path);
        s->findChild<QPushButton*>("save")->click();
        QVERIFY(QFile::exists(QString::fromStdString(path)));
        QCOMPARE(QString(particles_state().file), QString::fromStdString(path));
        QCOMPARE(op->findChild<QLineEdit*>("file")->text(), QString::fromStdString(path));
        QCOMPARE(settings().particle_system, std::string("edited.psy"));

        ParticleSystem back;
        psys_defaults(back);
        QCOMPARE(psys_read(path.c_str(), back, false), 0);
        QCOMPARE(psys_format(back), psys_format(sys));
        psys_free(back);

        // Loaded again over other settings; a bad file keeps what is there.
        s->findChild<QSpinBox*>("particlecount")->setValue(7);
        s->findChild<QPushButton*>("load")->click();
        QCOMPARE(s->system().particlecount, 250);
        QCOMPARE(s->findChild<QSpinBox*>("particlecount")->value(), 250);
        QFile bad(QString::fromStdString(file("bad.psy")));
        QVERIFY(bad.open(QIODevice::WriteOnly));
        bad.write("vqpsystem 1 forcecount 3 force 1");
        bad.close();
        QVERIFY(!s->load(file("bad.psy")));
        QCOMPARE(s->system().forcecount, 1);
        QVERIFY(w->platform().transcript().join("\n").contains("PSL Error #24"));

        // Applied through the operation's dialog onto an open image.
        Image* img = w->new_image(120, 90);
        QVERIFY(img);
        s->findChild<QCheckBox*>("additive")->setChecked(true);
        s->findChild<QComboBox*>("areamode")->setCurrentIndex(0);
        QVERIFY(s->save(path));
        int16_t before = img->changes;
        QCOMPARE(op->apply(), 0);
        QCOMPARE(img->changes, static_cast<int16_t>(before + 1));
        // The new image is not saved at shut-down.
        w->platform().set_unattended_answer(ui::Answer::Discard);
        QVERIFY(workstation_stop());
        std::memset(particles_state().file, 0, sizeof particles_state().file);
    }

    void the_operation_dialog_opens_the_system_with_its_file()
    {
        MainWindow* w = workstation_start(home(), true);
        QVERIFY(w);
        std::snprintf(particles_state().file, sizeof particles_state().file, "%s", demo("vortex").c_str());
        SystemDialog* s = open_from_operation(w);
        QVERIFY(s);
        QVERIFY(s->isVisible());
        QCOMPARE(s->objectName(), QString("PSYS_DLG2"));
        QCOMPARE(s->path(), demo("vortex"));
        QCOMPARE(s->system().particlecount, 6000);
        QCOMPARE(s->findChild<QSpinBox*>("particlecount")->value(), 6000);
        QCOMPARE(s->findChild<QComboBox*>("areamode")->currentIndex(), 2);
        QCOMPARE(s->findChild<QListWidget*>("forces")->count(), 3);
        QCOMPARE(s->findChild<QListWidget*>("forces")->item(1)->text(), QString("2. Constant (w/Turbulence)"));
        QCOMPARE(s->findChild<QLineEdit*>("palette")->text(), QString("../palettes/nebula.pal"));

        // The preview: the system over black, moving between frames.
        QImage f0 = s->preview_now();
        QVERIFY(!f0.isNull());
        s->set_frame(20);
        QImage f20 = s->preview_now();
        QVERIFY(!f20.isNull());
        QVERIFY(f0 != f20);
        QVERIFY(s->preview_note().contains("Frame 20"));
        if (!qgetenv("GLIMVQ_SHOTS").isEmpty()) {
            QTest::qWait(50);
            s->grab().save(QString::fromLocal8Bit(qgetenv("GLIMVQ_SHOTS")) + "/particle-system.png");
        }
        QVERIFY(workstation_stop());
        std::memset(particles_state().file, 0, sizeof particles_state().file);
    }

    void saving_elsewhere_keeps_the_palette_found()
    {
        MainWindow* w = workstation_start(home(), true);
        QVERIFY(w);
        SystemDialog* s = particle_system_dialog(w);
        QVERIFY(s->load(demo("fountain")));
        QVERIFY(s->save(file("moved.psy")));
        QVERIFY(QString(s->system().palette).endsWith("data/palettes/water.pal"));
        QVERIFY(QString(s->system().palette).startsWith("/"));
        QVERIFY(!s->preview_now().isNull());
        QVERIFY(workstation_stop());
        std::memset(particles_state().file, 0, sizeof particles_state().file);
    }
};

QTEST_MAIN(ParticleDialogsTest)
#include "particle_dialogs_test.moc"
