// One operation model: one operation of each applier kind gives the same
// pixels from the workstation's parameter dialog, from a timeline frame
// generated in the workstation and from `vq apply`, byte for byte.
#include "core/app.h"
#include "core/image.h"
#include "core/settings.h"
#include "formats/load_save.h"
#include "ops/catalogue.h"
#include "ops/framework.h"
#include "ops/op_settings.h"
#include "timeline/sequence.h"
#include "timeline/timeline.h"
#include "ui/qt/image_view.h"
#include "ui/qt/main_window.h"
#include "ui/qt/param_dialog.h"
#include "ui/qt/qt_platform.h"
#include "ui/qt/workstation.h"

#include <QCheckBox>
#include <QFile>
#include <QProcess>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>

#include <cstring>
#include <vector>

using namespace ws;

namespace {

struct Route {
    const char* kind;
    int32_t command;
    std::vector<std::pair<const char*, int>> values;
    bool source;    // the operation reads a source image
    bool settings;  // its curve comes from a settings file
};

const Route kRoutes[] = {
    {"pixel map", opcmd::Negative, {{"mode", 1}}, false, false},
    {"pixel map xy", opcmd::Combine, {{"percent", 70}}, true, false},
    {"pixel in place", opcmd::Brightness, {{"amount", 35}}, false, false},
    {"pixel in place xy", opcmd::Asterize, {{"arms", 5}, {"length", 60}}, false, false},
    {"multi-pass", opcmd::MotionBlur, {{"angle", 45}, {"distance", 6}}, false, false},
    {"geometric", opcmd::Swirl, {{"amount", 140}}, false, false},
    {"whole image", opcmd::Relief, {{"angle", 45}}, false, false},
    {"whole image, no undo", opcmd::Histogram, {{"measure", 0}}, false, true},
};

std::vector<uint8_t> g_frame;

void keep_frame(Image* image, long)
{
    ImageLock lock(image);
    g_frame.assign(image->pixels, image->pixels + static_cast<size_t>(image->width) * image->height * 4);
}

std::vector<uint8_t> pixels_of(Image* image)
{
    ImageLock lock(image);
    if (!lock)
        return {};
    return std::vector<uint8_t>(image->pixels, image->pixels + static_cast<size_t>(image->width) * image->height * 4);
}

} // namespace

class OperationRoutesTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;
    std::string home() const { return (dir_.path() + "/home").toStdString(); }
    QString file(const QString& name) const { return dir_.path() + "/" + name; }

    // A picture with something for every operation to change: a gradient with a bright disc.
    void write_picture(const QString& name, int seed)
    {
        Image* img = image_new_locked(64, 48, "test");
        for (int y = 0; y < 48; ++y)
            for (int x = 0; x < 64; ++x) {
                uint8_t* p = img->pixel(x, y);
                bool disc = (x - 32) * (x - 32) + (y - 24) * (y - 24) < 80;
                p[0] = disc ? 255 : static_cast<uint8_t>((x * 4 + seed) & 255);
                p[1] = disc ? 255 : static_cast<uint8_t>((y * 5 + seed * 3) & 255);
                p[2] = disc ? 255 : static_cast<uint8_t>((x * y + seed) & 255);
                p[3] = 255;
            }
        image_unlock(img);
        settings().save_type = FMT_PNG;
        settings().save_depth = 2;
        QCOMPARE(save_image(img, file(name).toLocal8Bit().constData()), 0);
        image_free(img);
    }

    // A settings file with Histogram's curve turned upside down.
    void write_curve(const QString& name)
    {
        QFile f(file(name));
        QVERIFY(f.open(QIODevice::WriteOnly));
        QByteArray text = "VQOPSET Glimmerix:V/q File\n\nHistogram: 0\nHisto 0 200 0 255\n";
        for (int i = 0; i <= 200; ++i) {
            text += " " + QByteArray::number(255 - i * 255 / 200);
            if (i % 20 == 19 || i == 200)
                text += "\n";
        }
        f.write(text);
    }

    // `vq apply` in a process of its own.
    bool vq_apply(const Route& r, const QString& out)
    {
        QString vq = qEnvironmentVariable("GLIMVQ_BIN_DIR") + "/vq";
        if (!QFile::exists(vq))
            return false;
        QStringList args{"apply", file("in.png"), out, QString::fromLatin1(op_by_command(r.command)->name)};
        for (auto& [key, value] : r.values)
            args << QString("%1=%2").arg(key).arg(value);
        if (r.source)
            args << "--source" << file("src.png");
        if (r.settings)
            args << "--settings" << file("curve.vqs");
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("GLIMVQ_HOME", file("vqhome"));
        p.setProcessEnvironment(env);
        p.start(vq, args);
        return p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    }

private Q_SLOTS:
    void each_applier_kind_gives_the_same_pixels_on_every_route()
    {
        if (!QFile::exists(qEnvironmentVariable("GLIMVQ_BIN_DIR") + "/vq"))
            QSKIP("GLIMVQ_BIN_DIR does not name the vq program");
        MainWindow* w = workstation_start(home(), true);
        QVERIFY(w);
        write_picture("in.png", 0);
        write_picture("src.png", 77);
        write_curve("curve.vqs");
        Image* source = w->open_file(file("src.png"));
        QVERIFY(source);
        for (const Route& r : kRoutes) {
            const QString out = file(QString("apply_%1.png").arg(r.command));
            QVERIFY2(vq_apply(r, out), r.kind);
            Image* expected = load_image(out.toLocal8Bit().constData());
            QVERIFY(expected);
            const std::vector<uint8_t> want = pixels_of(expected);
            image_free(expected);

            // The workstation: the image in a view, the values typed into the dialog, Apply.
            Image* img = w->open_file(file("in.png"));
            QVERIFY(img);
            const std::vector<uint8_t> before = pixels_of(img);
            if (r.source)
                w->assign_role(1, source);
            ParamDialog* d = operation_dialog(w, r.command);
            QVERIFY(d);
            if (r.settings) {
                QCOMPARE(load_op_settings(file("curve.vqs").toLocal8Bit().constData()), 0);
                d->refresh();
            }
            for (auto& [key, value] : r.values) {
                if (auto* spin = d->findChild<QSpinBox*>(key))
                    spin->setValue(value);
                else if (auto* box = d->findChild<QCheckBox*>(key))
                    box->setChecked(value != 0);
                else
                    QFAIL(key);
            }
            QCOMPARE(d->apply(), 0);
            const std::vector<uint8_t> got = pixels_of(img);
            QVERIFY2(got != before, r.kind);
            QVERIFY2(got == want, r.kind);

            // A timeline frame generated in the workstation, with the values as the dialog left them.
            timeline_new(3);
            QCOMPARE(timeline_hold(0, 0, 2, Grid::Action, as_cell(timeline_file_new(file("in.png").toLocal8Bit().constData()))), 0);
            if (r.source)
                QCOMPARE(timeline_hold(0, 0, 2, Grid::Source, as_cell(timeline_file_new(file("src.png").toLocal8Bit().constData()))), 0);
            TimelineOp* op = timeline_op_capture(r.command);
            QVERIFY(op);
            if (r.settings)
                std::snprintf(op->pfile, sizeof op->pfile, "%s", file("curve.vqs").toLocal8Bit().constData());
            QCOMPARE(timeline_hold(0, 0, 2, Grid::Op, as_cell(op)), 0);
            SequenceHooks hooks;
            hooks.frame_done = keep_frame;
            sequence_set_hooks(hooks);
            g_frame.clear();
            SequenceRequest rq;
            rq.first = rq.last = 2;
            QCOMPARE(sequence_generate(rq), static_cast<int>(SEQ_DONE));
            sequence_set_hooks({});
            QVERIFY2(g_frame == want, r.kind);
            timeline_new(7);
        }
        w->platform().set_unattended_answer(ui::Answer::Discard);
        QVERIFY(workstation_stop());
    }
};

QTEST_MAIN(OperationRoutesTest)
#include "operation_routes_test.moc"
