#include "ui/qt/dialogs.h"
#include "ui/qt/command_server.h"
#include "ui/qt/main_window.h"

#include "core/image.h"
#include "core/settings.h"
#include "core/undo.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QInputDialog>
#include <QLabel>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace ws {

bool ask_new_image_size(QWidget* parent, long& width, long& height)
{
    Settings& s = settings();
    const long* sizes[] = {s.newcust1, s.newcust2, s.newcust3, s.newcust4};
    QDialog dialog(parent);
    dialog.setWindowTitle("New Image");
    auto* layout = new QVBoxLayout(&dialog);
    auto* group = new QButtonGroup(&dialog);
    for (int i = 0; i < 4; ++i) {
        auto* radio = new QRadioButton(QStringLiteral("%1 x %2").arg(sizes[i][0]).arg(sizes[i][1]), &dialog);
        radio->setObjectName(QStringLiteral("size%1").arg(i + 1));
        group->addButton(radio, i);
        layout->addWidget(radio);
    }
    auto* custom = new QRadioButton("Custom:", &dialog);
    custom->setObjectName("custom");
    group->addButton(custom, 4);
    auto* w = new QSpinBox(&dialog);
    auto* h = new QSpinBox(&dialog);
    w->setObjectName("width");
    h->setObjectName("height");
    for (QSpinBox* b : {w, h})
        b->setRange(1, 40000);
    w->setValue(static_cast<int>(s.new_image[0] > 0 ? s.new_image[0] : 320));
    h->setValue(static_cast<int>(s.new_image[1] > 0 ? s.new_image[1] : 200));
    auto* row = new QHBoxLayout;
    row->addWidget(custom);
    row->addWidget(w);
    row->addWidget(new QLabel("x", &dialog));
    row->addWidget(h);
    layout->addLayout(row);
    group->button(0)->setChecked(true);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(buttons);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    int chosen = group->checkedId();
    if (chosen >= 0 && chosen < 4) {
        width = sizes[chosen][0];
        height = sizes[chosen][1];
    } else {
        width = w->value();
        height = h->value();
        s.new_image[0] = width;
        s.new_image[1] = height;
    }
    return width > 0 && height > 0;
}

long choose_undo_entry(QWidget* parent, Image* image, bool redo)
{
    QStringList items;
    std::vector<long> slots;
    for (long i = 0; i < undo_slot_count(); ++i) {
        Image* capture = undo_slot(i);
        if (!capture || capture->parent != image || (capture->undo_applied != 0) != redo)
            continue;
        items << QStringLiteral("%1: %2").arg(i).arg(QString::fromLocal8Bit(capture->path));
        slots.push_back(i);
    }
    if (items.isEmpty())
        return -1;
    bool ok = false;
    QString item = QInputDialog::getItem(parent, redo ? "De-Undo" : "Undo",
                                         redo ? "Redo up to:" : "Undo down to:", items, 0, false, &ok);
    if (!ok)
        return -1;
    return slots[static_cast<size_t>(items.indexOf(item))];
}

PreferencesDialog::PreferencesDialog(QWidget* parent) : QDialog(parent)
{
    setWindowTitle("Preferences");
    setObjectName("Preferences");
    const Settings& s = settings();
    auto* layout = new QVBoxLayout(this);
    auto* boxes = new QGroupBox("Options", this);
    auto* grid = new QGridLayout(boxes);
    for (int i = 1; i <= kUserPrefCount; ++i) {
        prefs_[i] = new QCheckBox(kUserPrefNames[i], boxes);
        prefs_[i]->setObjectName(QStringLiteral("UserPrefs%1").arg(i, 3, 10, QChar('0')));
        prefs_[i]->setChecked(s.pref(i));
        grid->addWidget(prefs_[i], (i - 1) % 11, (i - 1) / 11);
    }
    layout->addWidget(boxes);

    auto* form = new QFormLayout;
    mod_alpha_ = new QComboBox(this);
    mod_alpha_->setObjectName("ModAlpha");
    mod_alpha_->addItems({"Colour channels only", "Alpha channel always", "Alpha when the view shows alpha"});
    mod_alpha_->setCurrentIndex(static_cast<int>(std::clamp<long>(s.mod_alpha, 0, 2)));
    form->addRow("Operations change:", mod_alpha_);
    with_alpha_ = new QCheckBox("Alpha channel masks operations", this);
    with_alpha_->setObjectName("WithAlpha");
    with_alpha_->setChecked(s.with_alpha != 0);
    form->addRow(with_alpha_);
    checker_alpha_ = new QCheckBox("Show alpha on a checkerboard", this);
    checker_alpha_->setObjectName("CheckerAlpha");
    checker_alpha_->setChecked(s.checker_alpha != 0);
    form->addRow(checker_alpha_);
    command_server_ = new QCheckBox("Serve other programs (command server)", this);
    command_server_->setObjectName("CommandServer");
    command_server_->setChecked(s.command_server != 0);
    form->addRow(command_server_);
    undo_levels_ = new QSpinBox(this);
    undo_levels_->setObjectName("UndoWant");
    undo_levels_->setRange(0, static_cast<int>(kUndoMaxLevels));
    undo_levels_->setValue(static_cast<int>(s.undo_want));
    form->addRow("Undo levels:", undo_levels_);
    layout->addLayout(form);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

void PreferencesDialog::accept()
{
    Settings& s = settings();
    for (int i = 1; i <= kUserPrefCount; ++i)
        s.user_prefs[i] = prefs_[i]->isChecked() ? 1 : 0;
    s.mod_alpha = mod_alpha_->currentIndex();
    s.with_alpha = with_alpha_->isChecked() ? 1 : 0;
    s.checker_alpha = checker_alpha_->isChecked() ? 1 : 0;
    s.command_server = command_server_->isChecked() ? 1 : 0;
    if (s.command_server && !command_server_running())
        command_server_start(main_window());
    else if (!s.command_server && command_server_running())
        command_server_stop();
    long levels = undo_levels_->value();
    if (levels != s.undo_want && undo_set_levels(s.undo_want, levels) == 0)
        s.undo_want = levels;
    QDialog::accept();
}

} // namespace ws
