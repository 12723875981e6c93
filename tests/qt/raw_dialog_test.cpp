// The raw reader's dialog: it proposes a layout, tells whether the file
// holds it, and hands back what the user set.
#include "formats/raw.h"
#include "ui/qt/raw_dialog.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <QtTest>

class RawDialogTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void proposesChecksAndReturnsTheLayout()
    {
        RawLayout layout = raw_guess(300);  // 10 x 10, three channels
        QCOMPARE(layout.width, 10L);
        bool checked = false;
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            auto* ok = dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok);
            QVERIFY(ok->isEnabled());
            // Four channels do not fit in 300 bytes: OK is refused and the verdict says why.
            dialog->findChild<QComboBox*>("channels")->setCurrentIndex(3);
            QVERIFY(!ok->isEnabled());
            QVERIFY(dialog->findChild<QLabel*>("verdict")->text().contains("needs 400"));
            dialog->findChild<QComboBox*>("channels")->setCurrentIndex(0);
            dialog->findChild<QSpinBox*>("width")->setValue(20);
            dialog->findChild<QSpinBox*>("height")->setValue(14);
            dialog->findChild<QSpinBox*>("offset")->setValue(20);
            QVERIFY(ok->isEnabled());
            checked = true;
            ok->click();
        });
        QVERIFY(ws::ask_raw_layout("/tmp/scan.raw", 300, layout));
        QVERIFY(checked);
        QCOMPARE(layout.width, 20L);
        QCOMPARE(layout.height, 14L);
        QCOMPARE(layout.channels, 1);
        QCOMPARE(layout.offset, 20L);

        QTimer::singleShot(0, [] { QApplication::activeModalWidget()->close(); });
        QVERIFY(!ws::ask_raw_layout("/tmp/scan.raw", 300, layout));
    }
};

QTEST_MAIN(RawDialogTest)
#include "raw_dialog_test.moc"
