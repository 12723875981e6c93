#include "ui/qt/param_dialog.h"

#include "core/image.h"
#include "core/messages.h"
#include "core/settings.h"
#include "ops/catalogue.h"
#include "ops/framework.h"
#include "ops/op_settings.h"
#include "ops/op_values.h"
#include "ui/qt/image_view.h"
#include "ui/qt/layers_window.h"
#include "ui/qt/main_window.h"
#include "ui/qt/preview.h"
#include "ui/qt/qt_platform.h"

#include <QCheckBox>
#include <QComboBox>
#include <QColorDialog>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QShortcut>
#include <QSlider>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>

namespace ws {

namespace {

std::map<int32_t, ParamDialog*>& dialogs()
{
    static std::map<int32_t, ParamDialog*> d;
    return d;
}

std::map<int32_t, DialogExtension>& extensions()
{
    static std::map<int32_t, DialogExtension> e;
    return e;
}

int clamp_int(double v, double lo, double hi)
{
    return static_cast<int>(std::lround(std::clamp(v, lo, hi)));
}

// A curve profile: 201 values from 0 to `high`, drawn and edited with the mouse.
class CurveEditor : public QWidget {
public:
    CurveEditor(int16_t* values, int high, std::function<void()> changed, QWidget* parent)
        : QWidget(parent), values_(values), high_(high), changed_(std::move(changed))
    {
        setMinimumSize(240, 120);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.fillRect(rect(), QColor(30, 30, 30));
        p.setPen(QColor(70, 70, 70));
        for (int i = 1; i < 4; ++i) {
            p.drawLine(width() * i / 4, 0, width() * i / 4, height());
            p.drawLine(0, height() * i / 4, width(), height() * i / 4);
        }
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(QColor(255, 200, 60), 2));
        QPointF last;
        for (int i = 0; i < kProfilePoints; ++i) {
            QPointF pt(i * (width() - 1) / 200.0, (height() - 1) * (1.0 - static_cast<double>(values_[i]) / high_));
            if (i)
                p.drawLine(last, pt);
            last = pt;
        }
    }
    void mousePressEvent(QMouseEvent* e) override
    {
        last_ = -1;
        edit(e->position());
    }
    void mouseMoveEvent(QMouseEvent* e) override
    {
        if (e->buttons() & Qt::LeftButton)
            edit(e->position());
    }

private:
    // Sets the values between the last point and this one, so fast strokes leave no gaps.
    void edit(QPointF pos)
    {
        int i = std::clamp(static_cast<int>(std::lround(pos.x() * 200.0 / std::max(1, width() - 1))), 0, 200);
        double v = std::clamp(1.0 - pos.y() / std::max(1, height() - 1), 0.0, 1.0) * high_;
        int from = last_ < 0 ? i : last_;
        double from_v = last_ < 0 ? v : last_value_;
        int step = from <= i ? 1 : -1;
        for (int k = from;; k += step) {
            double t = i == from ? 1.0 : static_cast<double>(k - from) / (i - from);
            values_[k] = static_cast<int16_t>(std::lround(from_v + (v - from_v) * t));
            if (k == i)
                break;
        }
        last_ = i;
        last_value_ = v;
        update();
        if (changed_)
            changed_();
    }
    int16_t* values_;
    int high_;
    std::function<void()> changed_;
    int last_ = -1;
    double last_value_ = 0;
};

// A palette: its colours in a list; add, change, remove.
void edit_palette(QWidget* parent, OpPalette* pal, const QString& title)
{
    QDialog d(parent);
    d.setWindowTitle(title);
    auto* layout = new QVBoxLayout(&d);
    auto* list = new QListWidget(&d);
    auto fill = [&] {
        list->clear();
        for (int i = 0; i < pal->count; ++i) {
            QColor c(pal->red[i], pal->green[i], pal->blue[i]);
            QPixmap swatch(24, 16);
            swatch.fill(c);
            list->addItem(new QListWidgetItem(QIcon(swatch), QStringLiteral("%1: %2 %3 %4")
                                                                  .arg(i)
                                                                  .arg(c.red())
                                                                  .arg(c.green())
                                                                  .arg(c.blue())));
        }
    };
    fill();
    layout->addWidget(list);
    auto* row = new QHBoxLayout;
    auto* add = new QPushButton("Add...", &d);
    auto* change = new QPushButton("Change...", &d);
    auto* remove = new QPushButton("Remove", &d);
    row->addWidget(add);
    row->addWidget(change);
    row->addWidget(remove);
    layout->addLayout(row);
    QObject::connect(add, &QPushButton::clicked, &d, [&] {
        if (pal->count >= kPaletteColours)
            return;
        QColor c = QColorDialog::getColor(Qt::white, &d, "Add Colour");
        if (!c.isValid())
            return;
        pal->red[pal->count] = static_cast<uint8_t>(c.red());
        pal->green[pal->count] = static_cast<uint8_t>(c.green());
        pal->blue[pal->count] = static_cast<uint8_t>(c.blue());
        pal->count += 1;
        fill();
    });
    QObject::connect(change, &QPushButton::clicked, &d, [&] {
        int i = list->currentRow();
        if (i < 0)
            return;
        QColor c = QColorDialog::getColor(QColor(pal->red[i], pal->green[i], pal->blue[i]), &d, "Change Colour");
        if (!c.isValid())
            return;
        pal->red[i] = static_cast<uint8_t>(c.red());
        pal->green[i] = static_cast<uint8_t>(c.green());
        pal->blue[i] = static_cast<uint8_t>(c.blue());
        fill();
    });
    QObject::connect(remove, &QPushButton::clicked, &d, [&] {
        int i = list->currentRow();
        if (i < 0)
            return;
        for (int k = i; k + 1 < pal->count; ++k) {
            pal->red[k] = pal->red[k + 1];
            pal->green[k] = pal->green[k + 1];
            pal->blue[k] = pal->blue[k + 1];
        }
        pal->count -= 1;
        fill();
    });
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, &d);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &d, &QDialog::accept);
    layout->addWidget(buttons);
    d.resize(320, 360);
    d.exec();
}

} // namespace

ParamDialog::ParamDialog(MainWindow* window, int32_t command)
    : QDialog(window), window_(window), command_(command), op_(op_by_command(command))
{
    setWindowTitle(QString::fromLatin1(op_ ? op_->name : "Operation"));
    setObjectName(QString::fromLatin1(op_ && op_->dialog ? op_->dialog : "OpDlg"));
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    if (op_) {
        auto* op = const_cast<OpDescriptor*>(op_);
        for (OpSlot& slot : op->slots)
            if (slot.used())
                add_slot(form, slot);
    }
    // A long list of parameters scrolls instead of running off the screen.
    auto* body = new QWidget(this);
    form->setContentsMargins(0, 0, 0, 0);
    body->setLayout(form);
    const QScreen* screen = window ? window->screen() : nullptr;
    const int room = screen ? screen->availableGeometry().height() * 3 / 5 : 600;
    if (body->sizeHint().height() <= room) {
        layout->addWidget(body);
    } else {
        auto* scroll = new QScrollArea(this);
        scroll->setObjectName("parameters");
        scroll->setFrameShape(QFrame::NoFrame);
        scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        scroll->setWidgetResizable(true);
        scroll->setWidget(body);
        scroll->setMinimumWidth(body->sizeHint().width() + scroll->verticalScrollBar()->sizeHint().width());
        scroll->setMinimumHeight(room);
        layout->addWidget(scroll, 1);
    }
    if (auto it = extensions().find(command); it != extensions().end())
        it->second(*this, layout);
    if (PreviewOffer offer = preview_offer(command); offer != PreviewOffer::None) {
        preview_box_ = new QCheckBox("&Preview", this);
        preview_box_->setObjectName("preview");
        preview_box_->setToolTip("Show the result in the view as the values change; the image itself is left as it is "
                                 "until Apply.");
        preview_box_->setChecked(offer == PreviewOffer::On);
        connect(preview_box_, &QCheckBox::toggled, this, [this](bool on) {
            if (on)
                schedule_preview();
            else
                clear_preview();
        });
        layout->addWidget(preview_box_);
    }
    // Slider moves are gathered for a moment before the preview is worked out.
    preview_timer_ = new QTimer(this);
    preview_timer_->setSingleShot(true);
    preview_timer_->setInterval(120);
    connect(preview_timer_, &QTimer::timeout, this, [this] { update_preview(); });
    connect(window_, &MainWindow::view_activated, this, [this] {
        clear_preview();
        schedule_preview();
    });
    result_ = new QLabel(this);
    result_->setObjectName("result");
    result_->setWordWrap(true);
    layout->addWidget(result_);
    auto* buttons = new QDialogButtonBox(this);
    QPushButton* apply_button = buttons->addButton("Apply", QDialogButtonBox::ActionRole);
    apply_button->setObjectName("apply");
    apply_button->setDefault(true);
    QPushButton* load = buttons->addButton("Load...", QDialogButtonBox::ActionRole);
    QPushButton* save = buttons->addButton("Save...", QDialogButtonBox::ActionRole);
    QPushButton* help = buttons->addButton(QDialogButtonBox::Help);
    help->setObjectName("help");
    help->setIcon(QIcon());  // the style's help icon is a placeholder on most desktops
    connect(help, &QPushButton::clicked, this, [this] {
        if (op_)
            window_->show_help_topic(op_->name);
    });
    QPushButton* cancel = buttons->addButton(QDialogButtonBox::Cancel);
    cancel->setObjectName("cancel");
    load->setObjectName("load");
    save->setObjectName("save");
    connect(apply_button, &QPushButton::clicked, this, [this] { apply(); });
    connect(load, &QPushButton::clicked, this, [this] { load_settings(); });
    connect(save, &QPushButton::clicked, this, [this] { save_settings(); });
    connect(cancel, &QPushButton::clicked, this, &ParamDialog::reject);
    // F1 opens the operation's help topic, as the Help button does.
    auto* f1 = new QShortcut(QKeySequence::HelpContents, this);
    connect(f1, &QShortcut::activated, help, &QPushButton::click);
    layout->addWidget(buttons);
    setMinimumWidth(360);
    setModal(false);
}

void ParamDialog::add_slot(QFormLayout* form, OpSlot& slot)
{
    QString label = QString::fromLatin1(slot.label ? slot.label : slot.key ? slot.key : "Value");
    QString key = QString::fromLatin1(slot.key ? slot.key : "");
    if (slot.kind == SLOT_INT && slot.slider_min == 0 && slot.slider_max == 1 && slot.typed_max == 1) {
        auto* box = new QCheckBox(label, this);
        box->setObjectName(key);
        auto* var = static_cast<int32_t*>(slot.var);
        connect(box, &QCheckBox::toggled, this, [this, var](bool on) {
            *var = on ? 1 : 0;
            changed();
        });
        refreshers_.push_back([box, var] {
            QSignalBlocker b(box);
            box->setChecked(*var != 0);
        });
        form->addRow(box);
    } else if (slot.kind == SLOT_INT && slot.choices) {
        // A choice: its names, value slider_min first.
        auto* var = static_cast<int32_t*>(slot.var);
        auto* combo = new QComboBox(this);
        combo->setObjectName(key);
        combo->addItems(QString::fromLatin1(slot.choices).split('|'));
        const int low = static_cast<int>(slot.slider_min);
        connect(combo, &QComboBox::currentIndexChanged, this, [var, low](int i) {
            if (i >= 0)
                *var = low + i;
        });
        refreshers_.push_back([combo, var, low] {
            QSignalBlocker b(combo);
            combo->setCurrentIndex(std::clamp(*var - low, 0, combo->count() - 1));
        });
        form->addRow(label, combo);
    } else if (slot_is_colour(slot)) {
        // A colour: a swatch that opens the colour chooser, and its #RRGGBB to type.
        auto* var = static_cast<int32_t*>(slot.var);
        auto* swatch = new QPushButton(this);
        swatch->setObjectName(key);
        swatch->setFixedWidth(56);
        swatch->setToolTip(tr("Choose the colour"));
        auto* text = new QLineEdit(this);
        text->setObjectName(key + QStringLiteral("_text"));
        text->setMaxLength(7);
        auto show = [swatch, text, var] {
            const QColor c(static_cast<QRgb>(*var & 0xFFFFFF));
            swatch->setStyleSheet(QStringLiteral("background-color: %1").arg(c.name()));
            QSignalBlocker b(text);
            text->setText(c.name().toUpper());
        };
        connect(swatch, &QPushButton::clicked, this, [this, var, show, label] {
            const QColor c = QColorDialog::getColor(QColor(static_cast<QRgb>(*var & 0xFFFFFF)), this, label);
            if (!c.isValid())
                return;
            *var = static_cast<int32_t>(c.rgb() & 0xFFFFFF);
            show();
            changed();
        });
        connect(text, &QLineEdit::editingFinished, this, [this, text, var, show] {
            QString t = text->text().trimmed();
            if (t.startsWith('#'))
                t.remove(0, 1);
            bool ok = false;
            const uint v = t.toUInt(&ok, 16);
            if (ok && t.size() == 6 && static_cast<int32_t>(v) != *var) {
                *var = static_cast<int32_t>(v);
                changed();
            }
            show();  // a text that is no colour goes back to the colour
        });
        refreshers_.push_back(show);
        auto* row = new QHBoxLayout;
        row->addWidget(swatch);
        row->addWidget(text, 1);
        form->addRow(label, row);
    } else if (slot.kind == SLOT_INT) {
        auto* var = static_cast<int32_t*>(slot.var);
        auto* slider = new QSlider(Qt::Horizontal, this);
        slider->setRange(static_cast<int>(slot.slider_min), static_cast<int>(slot.slider_max));
        auto* spin = new QSpinBox(this);
        spin->setObjectName(key);
        spin->setRange(static_cast<int>(slot.typed_min), static_cast<int>(slot.typed_max));
        connect(spin, &QSpinBox::valueChanged, this, [this, var, slider](int v) {
            *var = v;
            QSignalBlocker b(slider);
            slider->setValue(v);
            changed();
        });
        connect(slider, &QSlider::valueChanged, spin, &QSpinBox::setValue);
        refreshers_.push_back([spin, slider, var] {
            QSignalBlocker b(spin), c(slider);
            spin->setValue(*var);
            slider->setValue(*var);
        });
        auto* row = new QHBoxLayout;
        row->addWidget(slider, 1);
        row->addWidget(spin);
        form->addRow(label, row);
    } else if (slot.kind == SLOT_FLOAT) {
        auto* var = static_cast<float*>(slot.var);
        double lo = slot.slider_min, hi = slot.slider_max;
        auto* slider = new QSlider(Qt::Horizontal, this);
        slider->setRange(0, 1000);
        auto* spin = new QDoubleSpinBox(this);
        spin->setObjectName(key);
        spin->setDecimals(3);
        spin->setRange(slot.typed_min, slot.typed_max);
        spin->setSingleStep((hi - lo) / 100.0);
        connect(spin, &QDoubleSpinBox::valueChanged, this, [this, var, slider, lo, hi](double v) {
            *var = static_cast<float>(v);
            QSignalBlocker b(slider);
            slider->setValue(hi > lo ? clamp_int((v - lo) * 1000.0 / (hi - lo), 0, 1000) : 0);
            changed();
        });
        connect(slider, &QSlider::valueChanged, spin, [spin, lo, hi](int s) { spin->setValue(lo + (hi - lo) * s / 1000.0); });
        refreshers_.push_back([spin, slider, var, lo, hi] {
            QSignalBlocker b(spin), c(slider);
            spin->setValue(*var);
            slider->setValue(hi > lo ? clamp_int((*var - lo) * 1000.0 / (hi - lo), 0, 1000) : 0);
        });
        auto* row = new QHBoxLayout;
        row->addWidget(slider, 1);
        row->addWidget(spin);
        form->addRow(label, row);
    } else if (slot_is_palette(slot.kind)) {
        auto* pal = static_cast<OpPalette*>(slot.var);
        auto* button = new QPushButton(this);
        button->setObjectName(key);
        auto caption = [pal] { return QStringLiteral("Edit palette (%1 colours)...").arg(pal->count); };
        connect(button, &QPushButton::clicked, this, [this, pal, button, label, caption] {
            edit_palette(this, pal, label);
            button->setText(caption());
            changed();
        });
        refreshers_.push_back([button, caption] { button->setText(caption()); });
        form->addRow(label, button);
    } else if (slot_is_profile(slot.kind)) {
        auto* editor = new CurveEditor(static_cast<int16_t*>(slot.var), std::max(1, static_cast<int>(slot.profile_high)),
                                       [this] { changed(); }, this);
        editor->setObjectName(key);
        refreshers_.push_back([editor] { editor->update(); });
        form->addRow(label, editor);
    } else if (slot_is_text(slot.kind)) {
        auto* text = static_cast<char*>(slot.var);
        int size = std::max(1, static_cast<int>(slot.text_size));
        auto* line = new QLineEdit(this);
        line->setObjectName(key);
        line->setMaxLength(size - 1);
        connect(line, &QLineEdit::textChanged, this, [this, text, size](const QString& t) {
            std::snprintf(text, static_cast<size_t>(size), "%s", t.toLocal8Bit().constData());
            changed();
        });
        refreshers_.push_back([line, text] {
            QSignalBlocker b(line);
            line->setText(QString::fromLocal8Bit(text));
        });
        if (!slot.browse) {
            form->addRow(label, line);
            return;
        }
        // A file: Browse picks it; a folder slot just before it takes the
        // folder, this one the name.
        QLineEdit* folder = nullptr;
        if (form->rowCount() > 0)
            if (QLayoutItem* item = form->itemAt(form->rowCount() - 1, QFormLayout::FieldRole))
                if (auto* before = qobject_cast<QLineEdit*>(item->widget()); before && before->objectName() == "folder")
                    folder = before;
        auto* browse = new QPushButton("&Browse...", this);
        browse->setObjectName(key + "_browse");
        const char* filter = slot.browse;
        connect(browse, &QPushButton::clicked, this, [this, line, folder, filter] {
            QString start = folder && !folder->text().isEmpty() ? folder->text() + "/" + line->text() : line->text();
            std::string path = window_->platform().choose_file(false, "Choose File", filter, start.toStdString());
            if (path.empty())
                return;
            QFileInfo chosen(QString::fromLocal8Bit(path.c_str()));
            if (folder) {
                folder->setText(chosen.absolutePath());
                line->setText(chosen.fileName());
            } else {
                line->setText(chosen.absoluteFilePath());
            }
        });
        auto* row = new QHBoxLayout;
        row->addWidget(line, 1);
        row->addWidget(browse);
        form->addRow(label, row);
    }
}

void ParamDialog::refresh()
{
    for (auto& r : refreshers_)
        r();
}

int ParamDialog::apply()
{
    // The view shows the image itself again before the real run.
    preview_timer_->stop();
    clear_preview();
    ImageView* view = window_->active_view();
    Image* target = operation_target(window_);
    if (layer_is_locked(target)) {
        error_box("The layer is locked:", target->name);
        return 1;
    }
    set_current_operation(command_);
    int result = perform_operation(target, 0);
    result_->setText(result == 0 ? QString() : QStringLiteral("Not applied (%1)").arg(result));
    if (view)
        window_->redraw(view->image(), nullptr);
    after_apply_ = true;
    if (result == 0 && isVisible() && settings().pref(PREF_AUTO_CLOSE_OP_WINDOW))
        hide();
    return result;
}

bool ParamDialog::previewing() const
{
    return preview_box_ && preview_box_->isChecked() && isVisible();
}

void ParamDialog::set_preview(bool on)
{
    if (preview_box_)
        preview_box_->setChecked(on);
}

void ParamDialog::changed()
{
    after_apply_ = false;
    schedule_preview();
}

void ParamDialog::schedule_preview()
{
    if (previewing() && !in_preview_ && !after_apply_)
        preview_timer_->start();
}

void ParamDialog::clear_preview()
{
    for (const QMetaObject::Connection& c : preview_watch_)
        disconnect(c);
    preview_watch_.clear();
    for (const QPointer<ImageView>& v : preview_views_)
        if (v)
            v->clear_preview();
    preview_views_.clear();
}

QString ParamDialog::preview_note() const
{
    return result_->text();
}

bool ParamDialog::update_preview()
{
    preview_timer_->stop();
    if (!previewing() || in_preview_ || after_apply_)
        return false;
    ImageView* view = window_->active_view();
    if (!view) {
        clear_preview();
        return false;
    }
    in_preview_ = true;
    // About a tenth of a second's work, from what the last preview took.
    long budget = 512L * 512L;
    if (ns_per_pixel_ > 0)
        budget = std::clamp(static_cast<long>(120e6 / ns_per_pixel_), 64L * 64L, 64L * 1024L * 1024L);
    Image* shown = view->image();
    Image* target = operation_target(window_);
    if (layer_is_locked(target)) {
        clear_preview();
        result_->setText(QStringLiteral("The layer is locked."));
        in_preview_ = false;
        return false;
    }
    PreviewPicture p = preview_operation(command_, target, shown, view->shows_alpha(), window_->platform(), budget);
    if (p.pixels > 0 && p.millis > 0)
        ns_per_pixel_ = p.millis * 1e6 / static_cast<double>(p.pixels);
    clear_preview();
    if (!p.picture.isNull()) {
        for (ImageView* v : window_->views_of(shown)) {
            v->set_preview(p.picture, p.logical);
            preview_views_.emplace_back(v);
            // The image changed meanwhile (an undo, a script): the preview follows it.
            preview_watch_.push_back(connect(v, &ImageView::title_changed, this, [this] {
                if (!in_preview_)
                    schedule_preview();
            }));
        }
    }
    QString note = p.note;
    if (note.isEmpty() && p.result != 0)
        note = QStringLiteral("No preview (%1)").arg(p.result);
    if (note.isEmpty() && p.reduced)
        note = QStringLiteral("Preview on a reduced copy");
    result_->setText(note);
    in_preview_ = false;
    return !p.picture.isNull();
}

void ParamDialog::reject()
{
    // Cancel: the view shows the image as it is; nothing was applied.
    preview_timer_->stop();
    clear_preview();
    hide();
}

void ParamDialog::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    after_apply_ = false;
    schedule_preview();
}

void ParamDialog::hideEvent(QHideEvent* event)
{
    preview_timer_->stop();
    clear_preview();
    QDialog::hideEvent(event);
}

void ParamDialog::load_settings()
{
    std::string start = settings().settings_path;
    std::string path = window_->platform().choose_file(false, "Load Op. Settings", "Op. Settings (*.VQS)|*.VQS|", start);
    if (path.empty())
        return;
    load_op_settings(path.c_str());
    refresh();
    changed();
}

void ParamDialog::save_settings()
{
    std::string start = settings().settings_path;
    std::string path =
        window_->platform().choose_file(true, "Save Op. Settings", "Settings Files (*.VQS)|*.VQS|", start);
    if (path.empty())
        return;
    save_op_settings(path.c_str(), command_);
}

void set_dialog_extension(int32_t command, DialogExtension extension)
{
    extensions()[command] = extension;
}

ParamDialog* operation_dialog(MainWindow* window, int32_t command)
{
    auto& all = dialogs();
    auto it = all.find(command);
    if (it != all.end() && it->second->parent() == window)
        return it->second;
    auto* d = new ParamDialog(window, command);
    QObject::connect(d, &QObject::destroyed, [command] { dialogs().erase(command); });
    all[command] = d;
    d->refresh();
    return d;
}

void open_operation(MainWindow* window, int32_t command)
{
    const OpDescriptor* op = op_by_command(command);
    if (!op)
        return;
    ParamDialog* d = operation_dialog(window, command);
    if (op->slot_count() > 0) {
        d->refresh();
        d->show();
        d->raise();
        d->activateWindow();
    } else {
        d->apply();
    }
}

void install_operation_menus()
{
    MainWindow::add_menu_builder([](MainWindow& w) {
        QMenu* effects = w.add_menu("Effe&cts");
        effects->setObjectName("effects");
        QAction* repeat = effects->addAction("&Repeat Last");
        repeat->setObjectName("op_repeat");
        repeat->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F));
        QObject::connect(repeat, &QAction::triggered, &w, [&w] {
            int32_t current = op_state().current;
            if (current && op_by_command(current))
                operation_dialog(&w, current)->apply();
        });
        // The item names what it repeats.
        QObject::connect(effects, &QMenu::aboutToShow, repeat, [repeat] {
            const OpDescriptor* op = op_by_command(op_state().current);
            repeat->setText(op ? QStringLiteral("&Repeat %1").arg(QString::fromLatin1(op->name))
                               : QStringLiteral("&Repeat Last"));
        });
        effects->addSeparator();
        int count = 0;
        const OpGroup* groups = op_groups(&count);
        for (int g = 0; g < count; ++g) {
            QString name = QString::fromLatin1(groups[g].name);
            name.remove(QStringLiteral(" Group"));
            QMenu* menu = nullptr;
            for (int i = 0; i < op_count(); ++i) {
                OpDescriptor* op = op_at(i);
                if (op->group != groups[g].command || !op->available)
                    continue;
                if (!menu) {
                    menu = effects->addMenu(name);
                    menu->setObjectName(QStringLiteral("group_%1").arg(groups[g].command));
                }
                QAction* a = menu->addAction(QString::fromLatin1(op->name) + (op->slot_count() ? "..." : ""));
                a->setObjectName(QStringLiteral("op_%1").arg(op->command));
                int32_t command = op->command;
                QObject::connect(a, &QAction::triggered, &w, [&w, command] { open_operation(&w, command); });
            }
        }
    });
}

} // namespace ws
