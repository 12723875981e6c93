#include "ui/qt/plugin_window.h"

#include "core/app.h"
#include "core/image.h"
#include "core/messages.h"
#include "ops/catalogue.h"
#include "ops/framework.h"
#include "plugins/plugins.h"
#include "ui/qt/image_view.h"
#include "ui/qt/main_window.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QVBoxLayout>

#include <cstring>

namespace ws {

namespace {

PluginWindow* g_window = nullptr;

void list_changed()
{
    if (g_window)
        g_window->refresh();
}

} // namespace

PluginWindow::PluginWindow(MainWindow* window) : QWidget(window, Qt::Tool), window_(window)
{
    setObjectName("plugin_window");
    setWindowTitle("Plug-ins");
    list_ = new QListWidget(this);
    list_->setObjectName("plugin_list");
    connect(list_, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row >= 0 && plugin_at(row) != plugin_host().selected)
            select_row(row);
    });
    auto* buttons = new QVBoxLayout;
    auto button = [&](const char* name, const char* text, auto fn) {
        auto* b = new QPushButton(text, this);
        b->setObjectName(name);
        connect(b, &QPushButton::clicked, this, fn);
        buttons->addWidget(b);
    };
    button("plugin_load", "&Load Plug-in...", [this] { load({}); });
    button("plugin_params", "&Parameters...", [this] {
        if (QDialog* d = parameters_dialog()) {
            d->exec();
            delete d;
        }
    });
    button("plugin_apply", "&Apply", [this] { apply(); });
    button("plugin_remove", "&Remove", [this] { remove_selected(); });
    buttons->addStretch();
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(list_, 1);
    layout->addLayout(buttons);
    resize(420, 260);
    plugins_set_list_changed(list_changed);
    refresh();
}

void PluginWindow::refresh()
{
    QSignalBlocker block(list_);
    list_->clear();
    int selected = -1;
    for (int i = 0; i < plugin_count(); ++i) {
        PluginEntry* e = plugin_at(i);
        if (!e)
            continue;
        const GxpRecord& r = *e->record;
        list_->addItem(QString("%1  v%2.%3").arg(QString::fromLocal8Bit(r.name)).arg(r.version).arg(r.revision));
        list_->item(list_->count() - 1)->setToolTip(QString::fromLocal8Bit(e->path));
        if (e == plugin_host().selected)
            selected = i;
    }
    list_->setCurrentRow(selected);
}

PluginEntry* PluginWindow::current() const
{
    int row = list_->currentRow();
    return row >= 0 ? plugin_at(row) : nullptr;
}

bool PluginWindow::load(const QString& path_or_empty)
{
    QString path = path_or_empty;
    if (path.isEmpty()) {
        path = QFileDialog::getOpenFileName(this, "Load Glimmerix Plug-in", QString::fromLocal8Bit(plugin_folder().c_str()),
                                            "Glimmerix Plug-ins (*.gxp *.GXP);;All Files (*)");
        if (path.isEmpty())
            return false;
    }
    if (plugin_add_file(path.toLocal8Bit().constData()) != 0)
        return false;  // the host has said why
    // Registration is kept at once: the settings file is written now.
    plugins_save_settings();
    refresh();
    return true;
}

bool PluginWindow::select_row(int row)
{
    PluginEntry* e = plugin_at(row);
    if (!e || plugin_select(e) != 0)
        return false;
    refresh();
    return true;
}

bool PluginWindow::remove_selected()
{
    PluginEntry* e = current();
    if (!e)
        return false;
    plugin_remove(e);
    plugins_save_settings();
    refresh();
    return true;
}

bool PluginWindow::apply()
{
    ImageView* view = window_->active_view();
    if (!view || !view->image()) {
        message_show(msg::NoImagesLoaded, "To apply the effect.");
        return false;
    }
    PluginEntry* e = current();
    GxpRecord& p = plugin_host().params;
    if (e)
        std::memcpy(p.name, e->record->name, sizeof p.name);
    const int32_t previous = op_state().current;
    set_current_operation(opcmd::Plugin);
    int result = perform_operation(view->image(), 0);
    if (previous && op_by_command(previous))
        set_current_operation(previous);
    return result == 0;
}

QDialog* PluginWindow::parameters_dialog()
{
    PluginEntry* e = current();
    if (!e) {
        error_box("No Plugin Selected");
        return nullptr;
    }
    // The plug-in hears that its dialog opens, before its own settings.
    plugin_command(GXP_SETUP);
    return new PluginParamDialog(this, e);
}

PluginParamDialog::PluginParamDialog(QWidget* parent, PluginEntry* entry) : QDialog(parent), entry_(entry)
{
    const GxpRecord& r = *entry->record;
    const GxpRecord& p = plugin_host().params;
    setObjectName("plugin_params");
    setWindowTitle(QString("%1 Parameters").arg(QString::fromLocal8Bit(r.name)));
    auto* form = new QFormLayout;
    for (int i = 0; i < 8; ++i) {
        if (r.cmin[i] >= r.cmax[i])
            continue;  // the plug-in gave this integer no range: not its parameter
        auto* row = new QHBoxLayout;
        auto* slider = new QSlider(Qt::Horizontal, this);
        slider->setRange(r.cmin[i], r.cmax[i]);
        auto* spin = new QSpinBox(this);
        spin->setObjectName(QString("i%1").arg(i));
        if (r.amin[i] < r.amax[i])
            spin->setRange(std::min(r.amin[i], r.cmin[i]), std::max(r.amax[i], r.cmax[i]));
        else
            spin->setRange(r.cmin[i], r.cmax[i]);
        spin->setValue(p.longs[i]);
        slider->setValue(p.longs[i]);
        connect(slider, &QSlider::valueChanged, spin, &QSpinBox::setValue);
        connect(spin, qOverload<int>(&QSpinBox::valueChanged), slider, [slider](int v) {
            QSignalBlocker b(slider);
            slider->setValue(v);
        });
        row->addWidget(slider, 1);
        row->addWidget(spin);
        form->addRow(QString("Integer %1").arg(i), row);
    }
    for (int i = 0; i < 8; ++i) {
        auto* f = new QDoubleSpinBox(this);
        f->setObjectName(QString("f%1").arg(i));
        f->setRange(-1e9, 1e9);
        f->setDecimals(4);
        f->setValue(static_cast<double>(p.floats[i]));
        if (p.floats[i] != 0.0f)
            form->addRow(QString("Number %1").arg(i), f);
        else
            f->hide();
    }
    auto* switches = new QHBoxLayout;
    for (int i = 0; i < 8; ++i) {
        auto* c = new QCheckBox(QString::number(i), this);
        c->setObjectName(QString("c%1").arg(i));
        c->setChecked(p.switches[i] != 0);
        switches->addWidget(c);
    }
    form->addRow("Switches", switches);
    auto* radios = new QHBoxLayout;
    for (int i = 0; i < 5; ++i) {
        auto* s = new QSpinBox(this);
        s->setObjectName(QString("r%1").arg(i));
        s->setRange(0, 255);
        s->setValue(p.radios[i]);
        radios->addWidget(s);
    }
    form->addRow("Choices", radios);
    auto* s0 = new QLineEdit(QString::fromLocal8Bit(p.str1), this);
    s0->setObjectName("s0");
    s0->setMaxLength(199);
    form->addRow("Text", s0);
    auto* s1 = new QLineEdit(QString::fromLocal8Bit(p.str2), this);
    s1->setObjectName("s1");
    s1->setMaxLength(199);
    form->addRow("Second text", s1);

    auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    QPushButton* reset = box->addButton("&Reset", QDialogButtonBox::ResetRole);
    QPushButton* about = box->addButton("About Plug-in...", QDialogButtonBox::HelpRole);
    connect(box, &QDialogButtonBox::accepted, this, [this] {
        take();
        accept();
    });
    connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(reset, &QPushButton::clicked, this, [this] {
        plugin_command(GXP_RESET);
        reject();
    });
    connect(about, &QPushButton::clicked, this, [this] {
        const GxpRecord& rec = *entry_->record;
        QMessageBox::information(this, "About Plug-in",
                                 QString("%1\nVersion %2, revision %3\nDeveloper key %4\n%5")
                                     .arg(QString::fromLocal8Bit(rec.name))
                                     .arg(rec.version)
                                     .arg(rec.revision)
                                     .arg(rec.dev_key)
                                     .arg(QString::fromLocal8Bit(entry_->path)));
    });
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(box);
}

void PluginParamDialog::take()
{
    GxpRecord& p = plugin_host().params;
    for (int i = 0; i < 8; ++i) {
        if (auto* s = findChild<QSpinBox*>(QString("i%1").arg(i)))
            p.longs[i] = s->value();
        if (auto* f = findChild<QDoubleSpinBox*>(QString("f%1").arg(i)))
            p.floats[i] = static_cast<float>(f->value());
        if (auto* c = findChild<QCheckBox*>(QString("c%1").arg(i)))
            p.switches[i] = c->isChecked() ? 1 : 0;
    }
    for (int i = 0; i < 5; ++i)
        if (auto* s = findChild<QSpinBox*>(QString("r%1").arg(i)))
            p.radios[i] = s->value();
    if (auto* s = findChild<QLineEdit*>("s0"))
        std::snprintf(p.str1, sizeof p.str1, "%s", s->text().toLocal8Bit().constData());
    if (auto* s = findChild<QLineEdit*>("s1"))
        std::snprintf(p.str2, sizeof p.str2, "%s", s->text().toLocal8Bit().constData());
    std::memcpy(p.name, entry_->record->name, sizeof p.name);
    // The curves are the profile table's; the record keeps its own until an apply.
    std::memcpy(p.profiles, entry_->record->profiles, sizeof p.profiles);
    plugin_params_to_record(p, *entry_->record);
}

PluginWindow* plugin_window(MainWindow* window)
{
    if (!g_window) {
        g_window = new PluginWindow(window);
        QObject::connect(g_window, &QObject::destroyed, [] {
            g_window = nullptr;
            plugins_set_list_changed(nullptr);
        });
    }
    return g_window;
}

} // namespace ws
