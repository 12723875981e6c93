// The workstation driven through its socket, offscreen: clients on threads
// of their own set roles from files and timeline levels, apply operations,
// read rows, and minimise and bring up the frame window while the event
// loop serves.
#include "core/app.h"
#include "core/image.h"
#include "core/settings.h"
#include "formats/load_save.h"
#include "ops/appliers.h"
#include "ops/catalogue.h"
#include "server/client.h"
#include "server/server.h"
#include "timeline/sequence.h"
#include "timeline/timeline.h"
#include "ui/qt/command_server.h"
#include "ui/qt/dialogs.h"
#include "ui/qt/image_view.h"
#include "ui/qt/main_window.h"
#include "ui/qt/qt_platform.h"
#include "ui/qt/workstation.h"

#include <QCheckBox>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <functional>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

using namespace ws;

class CommandServerTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;
    std::string home() const { return (dir_.path() + "/home").toStdString(); }
    QString file(const char* name) const { return dir_.path() + "/" + name; }

    // Runs `job` as a client while the event loop serves it.
    static bool as_client(const std::function<void()>& job)
    {
        std::atomic<bool> done {false};
        std::thread t([&] {
            job();
            done = true;
        });
        bool finished = QTest::qWaitFor([&] { return done.load(); }, 10000);
        t.join();
        return finished;
    }

    // A picture file of `w` x `h` whose colours vary in x and y.
    QString picture(const char* name, long w, long h, int shift)
    {
        Image* img = image_new_locked(w, h, "test");
        for (long y = 0; y < h; ++y)
            for (long x = 0; x < w; ++x)
                pixel_store(img->pixel(static_cast<int>(x), static_cast<int>(y)),
                            pixel_make(static_cast<uint8_t>(x * 9 + shift), static_cast<uint8_t>(y * 13),
                                       static_cast<uint8_t>(x * y + shift), 255));
        image_unlock(img);
        settings().save_type = FMT_PNG;
        settings().save_depth = 2;
        QString path = file(name);
        bool ok = save_image(img, path.toLocal8Bit().constData()) == 0;
        image_free(img);
        return ok ? path : QString();
    }

    // The commands, each from a client on a thread of its own; the
    // reason of the first refusal in `error`.
    static bool send_all(const std::vector<std::string>& commands, std::string& error)
    {
        bool ok = false;
        bool ran = as_client([&] {
            server::Client c;
            if (!c.open(server::server_socket_path())) {
                error = c.error();
                return;
            }
            for (const std::string& command : commands)
                if (!c.execute(command)) {
                    error = command + ": " + c.error();
                    return;
                }
            ok = true;
        });
        return ran && ok;
    }

    static QByteArray pixels(Image* image)
    {
        ImageLock lock(image);
        if (!lock)
            return {};
        return QByteArray(reinterpret_cast<const char*>(image->pixels),
                          static_cast<qsizetype>(image->width) * image->height * 4);
    }

private Q_SLOTS:
    void initTestCase() { qputenv("XDG_RUNTIME_DIR", dir_.path().toLocal8Bit()); }

    // Apply from another program works as the workstation's own Apply:
    // the pixels vq apply makes of the same file.
    void apply_gives_the_pixels_of_vq_apply()
    {
        const QString vq = qEnvironmentVariable("GLIMVQ_BIN_DIR") + "/vq";
        if (!QFile::exists(vq))
            QSKIP("GLIMVQ_BIN_DIR does not name the vq program");
        MainWindow* w = workstation_start(home(), true);
        QVERIFY(w);
        const QString in = picture("swirl-in.png", 40, 30, 0);
        QVERIFY(!in.isEmpty());
        std::string error;
        QVERIFY2(send_all({"Target: " + in.toStdString(), "Apply: Swirl, amount = 150",
                           "Apply: Brightness, amount=-25"},
                          error),
                 error.c_str());
        Image* target = image_role(ImageRole::Target);
        QVERIFY(target);
        QCOMPARE(w->views_of(target).size(), size_t(1));
        QVERIFY(target->changes != 0);
        // Values out of range refuse the whole command.
        QVERIFY(!send_all({"Apply: Swirl, amount=1000000"}, error));
        QVERIFY2(error.find("amount must lie in") != std::string::npos, error.c_str());

        const QString out = file("swirl-vq.png");
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("GLIMVQ_HOME", file("vqhome"));
        p.setProcessEnvironment(env);
        p.start(vq, {"apply", in, out, "Swirl", "amount=150", "--then", "Brightness", "amount=-25"});
        QVERIFY(p.waitForFinished(60000));
        QCOMPARE(p.exitCode(), 0);
        Image* expected = load_image(out.toLocal8Bit().constData());
        QVERIFY(expected);
        QVERIFY(pixels(expected) == pixels(target));
        image_free(expected);

        w->platform().set_unattended(true, ui::Answer::Discard);
        QVERIFY(workstation_stop());
    }

    // A client that promised acknowledgements and sends none: the box
    // "Server" says so, and the workstation goes on serving.
    void a_missing_acknowledgement_shows_the_box()
    {
        MainWindow* w = workstation_start(home(), true);
        QVERIFY(w);
        server::server_set_ack_wait(100);
        Image* img = image_new(4, 4, "test");
        // The box as the platform shows it (unattended: recorded, not waited for).
        w->platform().clear_transcript();
        int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un addr {};
        addr.sun_family = AF_UNIX;
        std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", server::server_socket_path().c_str());
        QCOMPARE(::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
        auto message = [](char kind, const std::string& payload) {
            std::string m = {'\0', '\0', '\0', static_cast<char>(payload.size() + 1), kind};
            return m + payload;
        };
        std::string messages = message('I', std::string("Glimvq\0Vq\0Ack", 13)) + message('R', "");
        QCOMPARE(::send(fd, messages.data(), messages.size(), 0), static_cast<ssize_t>(messages.size()));
        QTRY_VERIFY_WITH_TIMEOUT(w->platform().transcript().contains("Server: DDE send data failed"), 5000);
        QCOMPARE(server::server_timer_ms(), -1);  // stopped
        ::close(fd);

        std::string error;
        QVERIFY2(send_all({"Front"}, error), error.c_str());
        server::server_set_ack_wait(-1);
        image_free(img);
        w->platform().set_unattended(true, ui::Answer::Discard);
        QVERIFY(workstation_stop());
    }

    // "Level(n)" takes level n's result of the frame a "Sheet" made, and
    // is shown like any new target.
    void level_names_take_the_last_generated_frame()
    {
        MainWindow* w = workstation_start(home(), true);
        QVERIFY(w);
        w->platform().set_unattended(true, ui::Answer::Yes);
        sequence_forget_levels();  // nothing kept from another test
        const QString in = picture("level-in.png", 6, 5, 0);
        timeline_new(3);
        QCOMPARE(timeline_hold(0, 0, 2, Grid::Action, as_cell(timeline_file_new(in.toLocal8Bit().constData()))), 0);
        QCOMPARE(timeline_hold(1, 0, 2, Grid::Op, as_cell(timeline_op_capture(opcmd::Negative))), 0);
        const QString tml = file("levels.tml");
        QCOMPARE(timeline_save(tml.toLocal8Bit().constData()), 0);
        timeline_new(3);

        std::string error;
        QVERIFY(!send_all({"Target: Level(1)"}, error));
        QVERIFY2(error.find("Level(1): no frame") != std::string::npos, error.c_str());
        QVERIFY2(send_all({"Sheet: " + tml.toStdString() + ", 2", "Target: Level(2)"}, error), error.c_str());
        Image* two = image_role(ImageRole::Target);
        QVERIFY(two);
        QCOMPARE(QString(two->name), QString("Level(2)"));
        QCOMPARE(w->views_of(two).size(), size_t(1));
        {
            ImageLock lock(two);
            QCOMPARE(int(two->pixel(3, 2)[0]), 255 - 3 * 9);
        }
        QVERIFY(!send_all({"Target: Level(3)"}, error));
        QVERIFY2(error.find("Level(3): the timeline's frame 2 has 2 levels") != std::string::npos, error.c_str());
        QCOMPARE(image_role(ImageRole::Target), two);

        timeline().changed = false;
        w->platform().set_unattended(true, ui::Answer::Discard);
        QVERIFY(workstation_stop());
    }

    // A role's new image takes the views of its previous one.
    void views_follow_the_role_to_its_new_image()
    {
        MainWindow* w = workstation_start(home(), true);
        QVERIFY(w);
        const QString a = picture("a.png", 8, 6, 0), b = picture("b.png", 9, 5, 40), c = picture("c.png", 7, 7, 80);
        std::string error;
        QVERIFY2(send_all({"Target: " + a.toStdString()}, error), error.c_str());
        Image* first = image_role(ImageRole::Target);
        QVERIFY(first);
        std::vector<ImageView*> shown = w->views_of(first);
        QCOMPARE(shown.size(), size_t(1));
        ImageView* view = shown.front();

        // An image as its file holds it is closed once its view shows the new target.
        QVERIFY2(send_all({"Target: " + b.toStdString()}, error), error.c_str());
        Image* second = image_role(ImageRole::Target);
        QVERIFY(second && second != first);
        QVERIFY(!image_store_contains(first));
        QCOMPARE(view->image(), second);
        QCOMPARE(w->views().size(), size_t(1));

        // One with changes keeps a view of its own; nothing is lost.
        QVERIFY2(send_all({"Apply: Negative", "Target: " + c.toStdString()}, error), error.c_str());
        Image* third = image_role(ImageRole::Target);
        QCOMPARE(view->image(), third);
        QVERIFY(image_store_contains(second));
        QCOMPARE(w->views_of(second).size(), size_t(1));
        QCOMPARE(w->views().size(), size_t(2));

        // A source from a file gets a view, and the target stays what it was.
        QVERIFY2(send_all({"Source: " + a.toStdString()}, error), error.c_str());
        Image* source = image_role(ImageRole::Source);
        QVERIFY(source);
        QCOMPARE(w->views_of(source).size(), size_t(1));
        QCOMPARE(image_role(ImageRole::Target), third);
        // The target as the new source: the old source's view shows it too,
        // and the target keeps its own.
        QVERIFY2(send_all({"Source: " + c.toStdString()}, error), error.c_str());
        QCOMPARE(image_role(ImageRole::Source), third);
        QCOMPARE(w->views_of(third).size(), size_t(2));
        QVERIFY(!image_store_contains(source));

        w->platform().set_unattended(true, ui::Answer::Discard);
        QVERIFY(workstation_stop());
    }

    void a_client_drives_the_workstation()
    {
        MainWindow* w = workstation_start(home(), true);
        QVERIFY(w);
        w->show();
        QVERIFY(command_server_running());
        std::string socket = server::server_socket_path();
        QCOMPARE(QString::fromStdString(socket), dir_.path() + "/glimvq/Glimvq.Vq");

        Image* img = image_new_locked(5, 3, "test");
        for (int i = 0; i < 15; ++i)
            pixel_store(img->pixels + 4 * i, pixel_make(static_cast<uint8_t>(i * 10), 20, 30, 255));
        image_unlock(img);
        settings().save_type = 0;
        settings().save_depth = 2;
        QString path = file("pic.bmp");
        QCOMPARE(save_image(img, path.toLocal8Bit().constData()), 0);
        image_free(img);

        bool target_ok = false, empty_first = false, rows_ok = false, bad_refused = false;
        std::string rgba, error;
        QVERIFY(as_client([&] {
            server::Client c;
            if (!c.open(socket))
                return;
            std::string text, bytes;
            empty_first = c.request(text, bytes) && text == "Empty";
            target_ok = c.execute("Target: " + path.toStdString());
            long width = 0, height = 0;
            rows_ok = server::client_read_rows(c, width, height, rgba, error) && width == 5 && height == 3;
            bad_refused = !c.execute("Target: " + path.toStdString() + ".missing");
            c.execute("Iconify");
        }));
        QVERIFY(empty_first);
        QVERIFY(target_ok);
        QVERIFY2(rows_ok, error.c_str());
        QCOMPARE(static_cast<uint8_t>(rgba[4 * 7]), uint8_t(70));
        QVERIFY(bad_refused);
        Image* target = image_role(ImageRole::Target);
        QVERIFY(target);
        QCOMPARE(w->views_of(target).size(), size_t(1));  // the new target is shown
        QTRY_VERIFY(w->isMinimized());

        // "Front" by poke brings the window up again.
        QVERIFY(as_client([&] {
            server::Client c;
            if (c.open(socket))
                c.poke("Front");
        }));
        QTRY_VERIFY(!w->isMinimized());

        // The preference turns the server off and on at once.
        {
            PreferencesDialog prefs(w);
            auto* box = prefs.findChild<QCheckBox*>("CommandServer");
            QVERIFY(box);
            QVERIFY(box->isChecked());
            box->setChecked(false);
            prefs.accept();
        }
        QVERIFY(!command_server_running());
        QCOMPARE(settings().command_server, 0L);
        {
            PreferencesDialog prefs(w);
            prefs.findChild<QCheckBox*>("CommandServer")->setChecked(true);
            prefs.accept();
        }
        QVERIFY(command_server_running());

        w->platform().set_unattended(true, ui::Answer::Discard);
        QVERIFY(workstation_stop());
        QVERIFY(!command_server_running());
    }
};

QTEST_MAIN(CommandServerTest)
#include "command_server_test.moc"
