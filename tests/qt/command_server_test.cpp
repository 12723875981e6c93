// The workstation driven through its socket, offscreen: a client on a
// thread of its own sets the target from a file, reads its rows, and
// minimises and brings up the frame window while the event loop serves.
#include "core/app.h"
#include "core/image.h"
#include "core/settings.h"
#include "formats/load_save.h"
#include "ops/appliers.h"
#include "server/client.h"
#include "server/server.h"
#include "ui/qt/command_server.h"
#include "ui/qt/dialogs.h"
#include "ui/qt/main_window.h"
#include "ui/qt/qt_platform.h"
#include "ui/qt/workstation.h"

#include <QCheckBox>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <functional>
#include <thread>

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

private Q_SLOTS:
    void initTestCase() { qputenv("XDG_RUNTIME_DIR", dir_.path().toLocal8Bit()); }

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
