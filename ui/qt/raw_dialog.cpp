#include "ui/qt/raw_dialog.h"

#include "formats/raw.h"
#include "ui/qt/main_window.h"
#include "ui/qt/qt_platform.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>

namespace ws {

bool ask_raw_layout(const char* name, long file_size, RawLayout& layout)
{
    MainWindow* w = main_window();
    if (w && w->platform().unattended())
        return raw_layout_problem(layout, file_size).empty();

    QDialog dialog(QApplication::activeWindow());
    dialog.setWindowTitle("Raw Image");
    auto* form = new QFormLayout(&dialog);
    form->addRow(new QLabel(QStringLiteral("%1 holds %2 bytes without a header.")
                                .arg(QFileInfo(QString::fromLocal8Bit(name)).fileName())
                                .arg(file_size),
                            &dialog));
    auto* width = new QSpinBox(&dialog);
    auto* height = new QSpinBox(&dialog);
    auto* offset = new QSpinBox(&dialog);
    width->setObjectName("width");
    height->setObjectName("height");
    offset->setObjectName("offset");
    for (QSpinBox* b : {width, height})
        b->setRange(1, 40000);
    offset->setRange(0, file_size > 0x7fffffffL ? 0x7fffffff : static_cast<int>(file_size));
    width->setValue(static_cast<int>(layout.width));
    height->setValue(static_cast<int>(layout.height));
    offset->setValue(static_cast<int>(layout.offset));
    auto* channels = new QComboBox(&dialog);
    channels->setObjectName("channels");
    channels->addItems({"1: grey", "2: grey and alpha", "3: red, green, blue", "4: red, green, blue, alpha"});
    channels->setCurrentIndex(layout.channels - 1);
    form->addRow("Width:", width);
    form->addRow("Height:", height);
    form->addRow("Channels:", channels);
    form->addRow("Header bytes to skip:", offset);
    auto* verdict = new QLabel(&dialog);
    verdict->setObjectName("verdict");
    form->addRow(verdict);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    form->addRow(buttons);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);

    // The layout as the dialog shows it, and whether the file can hold it.
    auto current = [&] {
        RawLayout l;
        l.width = width->value();
        l.height = height->value();
        l.channels = channels->currentIndex() + 1;
        l.offset = offset->value();
        return l;
    };
    auto check = [&] {
        std::string problem = raw_layout_problem(current(), file_size);
        verdict->setText(problem.empty() ? QString("The file holds these pixels.") : QString::fromStdString(problem));
        buttons->button(QDialogButtonBox::Ok)->setEnabled(problem.empty());
    };
    for (QSpinBox* b : {width, height, offset})
        QObject::connect(b, &QSpinBox::valueChanged, &dialog, check);
    QObject::connect(channels, &QComboBox::currentIndexChanged, &dialog, check);
    check();
    if (dialog.exec() != QDialog::Accepted)
        return false;
    layout = current();
    return true;
}

} // namespace ws
