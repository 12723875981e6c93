#include "ui/qt/particle_dialogs.h"

#include "core/image.h"
#include "core/messages.h"
#include "core/settings.h"
#include "ops/catalogue.h"
#include "ops/framework.h"
#include "particles/palette.h"
#include "particles/particles.h"
#include "ui/qt/image_view.h"
#include "ui/qt/main_window.h"
#include "ui/qt/param_dialog.h"
#include "ui/qt/qt_platform.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPixmap>
#include <QPointer>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace ws {

namespace {

constexpr int kPreviewW = 320, kPreviewH = 240;

// The area modes by number, for the dialog.
const char* const kAreaModes[] = {
    "0: inside the emitter",   "1: evenly over the emitter", "2: along the emitter's width",
    "3: along the emitter's height", "4: over the whole picture",  "5: over the area rectangle",
    "6: inside the area",
};

bool file_exists(const std::string& path)
{
    struct stat st {};
    return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string folder_of(const std::string& path)
{
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string name_of(const std::string& path)
{
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Nothing of the preview's drawing reaches the user as a box.
struct QuietMessages {
    bool was = messages_quiet();
    QuietMessages() { messages_set_quiet(true); }
    ~QuietMessages() { messages_set_quiet(was); }
};

} // namespace

// ---- fields -------------------------------------------------------------------

QWidget* FieldBinder::number(float* field, const char* key, double lo, double hi, int decimals)
{
    auto* spin = new QDoubleSpinBox(owner_);
    spin->setObjectName(key);
    spin->setDecimals(decimals);
    spin->setRange(lo, hi);
    spin->setSingleStep(decimals >= 3 ? 0.01 : 1.0);
    spin->setMinimumWidth(80);
    QObject::connect(spin, &QDoubleSpinBox::valueChanged, owner_, [this, field](double v) {
        *field = static_cast<float>(v);
        changed_();
    });
    refreshers_.push_back([spin, field] {
        QSignalBlocker b(spin);
        spin->setValue(*field);
    });
    return spin;
}

QWidget* FieldBinder::integer(int32_t* field, const char* key, int lo, int hi)
{
    auto* spin = new QSpinBox(owner_);
    spin->setObjectName(key);
    spin->setRange(lo, hi);
    QObject::connect(spin, &QSpinBox::valueChanged, owner_, [this, field](int v) {
        *field = v;
        changed_();
    });
    refreshers_.push_back([spin, field] {
        QSignalBlocker b(spin);
        spin->setValue(*field);
    });
    return spin;
}

QWidget* FieldBinder::check(int32_t* field, const char* key, const char* label)
{
    auto* box = new QCheckBox(QString::fromLatin1(label), owner_);
    box->setObjectName(key);
    QObject::connect(box, &QCheckBox::toggled, owner_, [this, field](bool on) {
        *field = on ? 1 : 0;
        changed_();
    });
    refreshers_.push_back([box, field] {
        QSignalBlocker b(box);
        box->setChecked(*field != 0);
    });
    return box;
}

QWidget* FieldBinder::triple(float* a, float* b, float* c, const char* ka, const char* kb, const char* kc)
{
    auto* row = new QWidget(owner_);
    auto* h = new QHBoxLayout(row);
    h->setContentsMargins(0, 0, 0, 0);
    h->addWidget(number(a, ka));
    h->addWidget(number(b, kb));
    h->addWidget(number(c, kc));
    return row;
}

void FieldBinder::refresh()
{
    for (auto& r : refreshers_)
        r();
}

// ---- FRCE_DLG -----------------------------------------------------------------

ForceDialog::ForceDialog(QWidget* parent, const Force& force)
    : QDialog(parent), force_(force), fields_(this, [] {})
{
    setObjectName("FRCE_DLG");
    setWindowTitle("Force");
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    auto* type = new QComboBox(this);
    type->setObjectName("ftype");
    // In the dialog's order; the data is the file's type number.
    const std::pair<const char*, int> types[] = {
        {"Linear", FORCE_LINEAR}, {"Constant", FORCE_CONSTANT}, {"Radial", FORCE_RADIAL}, {"Vortex", FORCE_VORTEX}};
    for (const auto& [name, value] : types) {
        type->addItem(QString::fromLatin1(name), value);
        if (value == force_.ftype)
            type->setCurrentIndex(type->count() - 1);
    }
    connect(type, &QComboBox::currentIndexChanged, this,
            [this, type](int) { force_.ftype = type->currentData().toInt(); });
    form->addRow("Type", type);
    form->addRow(fields_.check(&force_.enable, "enable", "Enabled"));
    auto pair = [this](float* a, float* b, const char* ka, const char* kb) {
        auto* row = new QWidget(this);
        auto* h = new QHBoxLayout(row);
        h->setContentsMargins(0, 0, 0, 0);
        h->addWidget(fields_.number(a, ka));
        h->addWidget(fields_.number(b, kb));
        return row;
    };
    form->addRow("Acts from, to (particle time)", pair(&force_.fbegin, &force_.fend, "fbegin", "fend"));
    form->addRow("Centre x, y, z", fields_.triple(&force_.fxw, &force_.fyw, &force_.fzw, "fxw", "fyw", "fzw"));
    form->addRow("Push or axis x, y, z", fields_.triple(&force_.fxv, &force_.fyv, &force_.fzv, "fxv", "fyv", "fzv"));
    form->addRow("Reach, strength", pair(&force_.ftr, &force_.fta, "ftr", "fta"));
    form->addRow("Decay a frame", fields_.number(&force_.fdecay, "fdecay", 0, 1, 4));
    form->addRow("Size from, to", pair(&force_.sizestart, &force_.sizeend, "sizestart", "sizeend"));
    form->addRow("Fade from, to", pair(&force_.fadestart, &force_.fadeend, "fadestart", "fadeend"));
    form->addRow("Turbulence from, to", pair(&force_.turbstart, &force_.turbend, "turbstart", "turbend"));
    form->addRow("Palette advance from, to", pair(&force_.pastart, &force_.paend, "pastart", "paend"));
    form->addRow("Velocity scale from, to", pair(&force_.vsstart, &force_.vsend, "vsstart", "vsend"));
    layout->addLayout(form);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    fields_.refresh();
}

// ---- PSYS_DLG2 ----------------------------------------------------------------

SystemDialog::SystemDialog(MainWindow* window, QWidget* parent)
    : QDialog(parent ? parent : window), window_(window), fields_(this, [this] { changed(); })
{
    psys_defaults(sys_);
    setObjectName("PSYS_DLG2");
    setWindowTitle("Particle System");
    setModal(false);
    scratch_ = (QDir::tempPath() + QStringLiteral("/glimvq-psys-preview-%1.psy").arg(getpid())).toStdString();

    auto* outer = new QVBoxLayout(this);
    auto* columns = new QHBoxLayout;
    outer->addLayout(columns);

    auto* left = new QVBoxLayout;
    columns->addLayout(left);
    auto* emitter = new QGroupBox("Emitter", this);
    auto* ef = new QFormLayout(emitter);
    ef->addRow("Particles", fields_.integer(&sys_.particlecount, "particlecount", 0,
                                             static_cast<int>(psys_limits().max_particles)));
    ef->addRow("Position x, y, z", fields_.triple(&sys_.x, &sys_.y, &sys_.z, "x", "y", "z"));
    ef->addRow("Extent x, y, z", fields_.triple(&sys_.xw, &sys_.yw, &sys_.zw, "xw", "yw", "zw"));
    auto* dist = new QComboBox(this);
    dist->setObjectName("dist");
    dist->addItem("square");
    dist->addItem("circular");
    connect(dist, &QComboBox::currentIndexChanged, this, [this](int i) {
        sys_.circular = i;
        changed();
    });
    ef->addRow("Distribution", dist);
    ef->addRow("Hollow to (0 to 1)", fields_.number(&sys_.minsrad, "minsrad", 0, 1, 3));
    auto* area = new QComboBox(this);
    area->setObjectName("areamode");
    for (const char* mode : kAreaModes)
        area->addItem(QString::fromLatin1(mode));
    connect(area, &QComboBox::currentIndexChanged, this, [this](int i) {
        sys_.areamode = i;
        changed();
    });
    ef->addRow("Placed", area);
    ef->addRow("Seed", fields_.integer(&sys_.seed, "seed", INT32_MIN, INT32_MAX));
    left->addWidget(emitter);

    auto* motion = new QGroupBox("Motion", this);
    auto* mf = new QFormLayout(motion);
    mf->addRow("Velocity x, y, z", fields_.triple(&sys_.xv, &sys_.yv, &sys_.zv, "xv", "yv", "zv"));
    mf->addRow("Start advance up to", fields_.number(&sys_.advancerange, "advancerange", -1e5, 1e5, 2));
    mf->addRow("Time advance up to", fields_.number(&sys_.timeadvancerange, "timeadvancerange", -1e5, 1e5, 2));
    mf->addRow("Born again at age (0 never)", fields_.integer(&sys_.agewrap, "agewrap", 0, 1000000));
    left->addWidget(motion);

    auto* middle = new QVBoxLayout;
    columns->addLayout(middle);
    auto* drawing = new QGroupBox("Drawing", this);
    auto* df = new QFormLayout(drawing);
    df->addRow("Size from", fields_.number(&sys_.minsize, "minsize", 0, 1e4, 3));
    df->addRow("Size to", fields_.number(&sys_.maxsize, "maxsize", 0, 1e4, 3));
    df->addRow("Depth scale", fields_.number(&sys_.zscale, "zscale", -1, 1, 5));
    df->addRow(fields_.check(&sys_.twodee, "twodee", "Flat (2-D)"));
    df->addRow(fields_.check(&sys_.additive, "additive", "Added to the picture"));
    df->addRow(fields_.check(&sys_.clip, "clip", "Clipped at the edges (else wrapped)"));
    auto* pal_row = new QWidget(this);
    auto* ph = new QHBoxLayout(pal_row);
    ph->setContentsMargins(0, 0, 0, 0);
    palette_ = new QLineEdit(this);
    palette_->setObjectName("palette");
    palette_->setMaxLength(kPsysName - 1);
    connect(palette_, &QLineEdit::textChanged, this, [this](const QString& t) {
        std::snprintf(sys_.palette, sizeof sys_.palette, "%s", t.toLocal8Bit().constData());
        changed();
    });
    auto* browse = new QPushButton("Browse...", this);
    connect(browse, &QPushButton::clicked, this, [this] { choose_palette(); });
    ph->addWidget(palette_, 1);
    ph->addWidget(browse);
    df->addRow("Palette", pal_row);
    df->addRow(fields_.check(&sys_.palettewrap, "palettewrap", "Palette wraps round"));
    df->addRow(fields_.check(&sys_.stickypalette, "stickypalette", "Each particle its own colour"));
    middle->addWidget(drawing);

    auto* forces = new QGroupBox("Forces", this);
    auto* fl = new QVBoxLayout(forces);
    forces_ = new QListWidget(this);
    forces_->setObjectName("forces");
    fl->addWidget(forces_);
    auto* fb = new QHBoxLayout;
    auto* add = new QPushButton("Add", this);
    add->setObjectName("force_add");
    auto* edit = new QPushButton("Edit...", this);
    edit->setObjectName("force_edit");
    auto* remove = new QPushButton("Remove", this);
    remove->setObjectName("force_remove");
    fb->addWidget(add);
    fb->addWidget(edit);
    fb->addWidget(remove);
    fl->addLayout(fb);
    connect(add, &QPushButton::clicked, this, [this] { add_force(); });
    connect(edit, &QPushButton::clicked, this, [this] { edit_force(forces_->currentRow()); });
    connect(forces_, &QListWidget::itemDoubleClicked, this, [this] { edit_force(forces_->currentRow()); });
    connect(remove, &QPushButton::clicked, this, [this] { remove_force(forces_->currentRow()); });
    middle->addWidget(forces);

    auto* right = new QVBoxLayout;
    columns->addLayout(right);
    preview_ = new QLabel(this);
    preview_->setObjectName("preview");
    preview_->setFixedSize(kPreviewW, kPreviewH);
    preview_->setAlignment(Qt::AlignCenter);
    preview_->setStyleSheet("background: black; color: #ccc;");
    right->addWidget(preview_);
    auto* fr = new QHBoxLayout;
    fr->addWidget(new QLabel("Frame", this));
    frame_slider_ = new QSlider(Qt::Horizontal, this);
    frame_slider_->setRange(0, 120);
    frame_ = new QSpinBox(this);
    frame_->setObjectName("frame");
    frame_->setRange(0, 100000);
    connect(frame_slider_, &QSlider::valueChanged, frame_, &QSpinBox::setValue);
    connect(frame_, &QSpinBox::valueChanged, this, [this](int v) {
        QSignalBlocker b(frame_slider_);
        frame_slider_->setValue(v);
        timer_->start();
    });
    fr->addWidget(frame_slider_, 1);
    fr->addWidget(frame_);
    right->addLayout(fr);
    status_ = new QLabel(this);
    status_->setObjectName("status");
    status_->setWordWrap(true);
    right->addWidget(status_);
    right->addStretch(1);

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* load = buttons->addButton("Load...", QDialogButtonBox::ActionRole);
    load->setObjectName("load");
    QPushButton* save = buttons->addButton("Save...", QDialogButtonBox::ActionRole);
    save->setObjectName("save");
    QPushButton* close = buttons->addButton(QDialogButtonBox::Close);
    connect(load, &QPushButton::clicked, this, [this] { choose_load(); });
    connect(save, &QPushButton::clicked, this, [this] { choose_save(); });
    connect(close, &QPushButton::clicked, this, &QDialog::hide);
    outer->addWidget(buttons);

    timer_ = new QTimer(this);
    timer_->setSingleShot(true);
    timer_->setInterval(150);
    connect(timer_, &QTimer::timeout, this, [this] { preview_now(); });

    // The frame of the sequence being generated, else the first.
    frame_->setValue(op_state().generating ? static_cast<int>(op_state().frame) : 0);
    refresh();
}

SystemDialog::~SystemDialog()
{
    psys_free(sys_);
    std::remove(scratch_.c_str());
}

void SystemDialog::refresh()
{
    last_min_ = sys_.minsize;
    fields_.refresh();
    if (auto* dist = findChild<QComboBox*>("dist")) {
        QSignalBlocker b(dist);
        dist->setCurrentIndex(sys_.circular ? 1 : 0);
    }
    if (auto* area = findChild<QComboBox*>("areamode")) {
        QSignalBlocker b(area);
        area->setCurrentIndex(std::clamp(static_cast<int>(sys_.areamode), 0, 6));
    }
    {
        QSignalBlocker b(palette_);
        palette_->setText(QString::fromLocal8Bit(sys_.palette));
    }
    fill_forces();
    setWindowTitle(path_.empty() ? QStringLiteral("Particle System")
                                 : QStringLiteral("Particle System - %1").arg(QString::fromLocal8Bit(name_of(path_).c_str())));
    timer_->start();
}

void SystemDialog::changed()
{
    // The sizes are kept in order as the reader keeps them: the one changed
    // moves the other.
    if (sys_.maxsize < sys_.minsize) {
        if (sys_.minsize != last_min_)
            sys_.maxsize = sys_.minsize;
        else
            sys_.minsize = sys_.maxsize;
        fields_.refresh();
    }
    last_min_ = sys_.minsize;
    timer_->start();
}

void SystemDialog::fill_forces()
{
    int keep = forces_->currentRow();
    forces_->clear();
    for (int i = 0; i < sys_.forcecount; ++i) {
        const Force& f = sys_.forces[i];
        QString name = QStringLiteral("%1. %2").arg(i + 1).arg(QString::fromStdString(force_display_name(f)));
        if (!f.enable)
            name += " (off)";
        forces_->addItem(name);
    }
    if (sys_.forcecount > 0)
        forces_->setCurrentRow(std::clamp(keep, 0, sys_.forcecount - 1));
}

void SystemDialog::add_force()
{
    if (!psys_add_force(sys_)) {
        message_show(msg::NoMemoryOperation, "For another force");
        return;
    }
    fill_forces();
    forces_->setCurrentRow(sys_.forcecount - 1);
    timer_->start();
}

void SystemDialog::edit_force(int index)
{
    if (index < 0 || index >= sys_.forcecount)
        return;
    ForceDialog d(this, sys_.forces[index]);
    if (d.exec() != QDialog::Accepted)
        return;
    sys_.forces[index] = d.force();
    fill_forces();
    timer_->start();
}

void SystemDialog::remove_force(int index)
{
    if (psys_remove_force(sys_, index)) {
        fill_forces();
        timer_->start();
    }
}

void SystemDialog::set_frame(int frame)
{
    frame_->setValue(frame);
}

int SystemDialog::frame() const
{
    return frame_->value();
}

bool SystemDialog::load(const std::string& path)
{
    ParticleSystem read;
    psys_defaults(read);
    if (psys_read(path.c_str(), read, false) != PSL_OK)
        return false;
    psys_free(sys_);
    sys_ = read;
    path_ = path;
    refresh();
    return true;
}

bool SystemDialog::save(const std::string& path)
{
    // A palette named from the old folder that the new one would not find
    // is written with its whole path.
    if (sys_.palette[0] && sys_.palette[0] != '/') {
        std::string found = psys_palette_path(sys_.palette, path_.c_str());
        if (!file_exists(psys_palette_path(sys_.palette, path.c_str())) && file_exists(found)) {
            char* full = realpath(found.c_str(), nullptr);
            std::snprintf(sys_.palette, sizeof sys_.palette, "%s", full ? full : found.c_str());
            std::free(full);
        }
    }
    if (psys_write(path.c_str(), sys_) != 0)
        return false;
    path_ = path;
    std::snprintf(particles_state().file, sizeof particles_state().file, "%s", path.c_str());
    settings().parti_path = folder_of(path);
    settings().particle_system = name_of(path);
    refresh();
    Q_EMIT saved(QString::fromLocal8Bit(path.c_str()));
    return true;
}

void SystemDialog::choose_load()
{
    std::string start = path_.empty() ? settings().parti_path : path_;
    std::string path = ui::platform().choose_file(false, "Load Particle System", "PartSys (*.PSY)|*.PSY|", start);
    if (!path.empty())
        load(path);
}

void SystemDialog::choose_save()
{
    std::string start = path_;
    if (start.empty())
        start = (settings().parti_path.empty() ? std::string(".") : settings().parti_path) + "/system.psy";
    std::string path = ui::platform().choose_file(true, "Save Particle System", "P-Sys (*.PSY)|*.PSY|", start);
    if (!path.empty())
        save(path);
}

void SystemDialog::choose_palette()
{
    std::string start = sys_.palette[0] ? psys_palette_path(sys_.palette, path_.c_str()) : settings().parti_pal_path;
    std::string path = ui::platform().choose_file(false, "Particle Palette", "Palettes (*.pal;*.gpl;*.act)|*.pal;*.gpl;*.act|", start);
    if (path.empty())
        return;
    // Beside the system file a palette is named without its folder.
    std::string folder = folder_of(path_);
    if (!folder.empty() && folder_of(path) == folder)
        path = name_of(path);
    palette_->setText(QString::fromLocal8Bit(path.c_str()));
}

QImage SystemDialog::preview_now()
{
    timer_->stop();
    // The scratch file names the palette as found from the system's own
    // folder, so that it is found from the scratch file's too.
    ParticleSystem copy;
    psys_defaults(copy);
    psys_copy(copy, sys_);
    if (copy.palette[0]) {
        std::string found = psys_palette_path(copy.palette, path_.c_str());
        if (!file_exists(found)) {
            note_ = QStringLiteral("No preview: the palette %1 is not found.").arg(QString::fromLocal8Bit(found.c_str()));
            status_->setText(note_);
            preview_->setPixmap(QPixmap());
            psys_free(copy);
            return QImage();
        }
        std::snprintf(copy.palette, sizeof copy.palette, "%s", found.c_str());
    }
    bool written;
    {
        QuietMessages quiet;
        written = psys_write(scratch_.c_str(), copy) == 0;
    }
    psys_free(copy);

    // Drawn over the picture the operation would draw into, or black.
    ImageView* view = window_ ? window_->active_view() : nullptr;
    Image* under = view ? view->image() : nullptr;
    long w = under ? under->width : kPreviewW, h = under ? under->height : kPreviewH;
    Image* img = written ? image_new(w, h, "iHrgba") : nullptr;
    int code = 1;
    if (img) {
        {
            ImageLock a(img);
            ImageLock b;
            if (under)
                b.acquire(under);
            for (int y = 0; a && y < img->height; ++y)
                for (uint32_t x = 0; x < img->width; ++x) {
                    uint8_t* p = img->pixel(static_cast<int>(x), y);
                    if (b) {
                        std::memcpy(p, under->pixel(static_cast<int>(x), y), 4);
                    } else {
                        p[0] = p[1] = p[2] = 0;
                        p[3] = 255;
                    }
                }
        }
        QuietMessages quiet;
        code = particles_render(img, scratch_.c_str(), frame());
    }
    QImage picture;
    if (code == 0) {
        ImageLock lock(img);
        if (lock) {
            QImage full(img->pixels, static_cast<int>(w), static_cast<int>(h), static_cast<int>(4 * w),
                        QImage::Format_RGBA8888);
            picture = full.convertToFormat(QImage::Format_RGB32)
                          .scaled(kPreviewW, kPreviewH, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        }
        note_ = QStringLiteral("Frame %1, %2 particles").arg(frame()).arg(sys_.particlecount);
    } else {
        note_ = QStringLiteral("No preview: the system could not be drawn (the log says why).");
    }
    if (img)
        image_free(img);
    status_->setText(note_);
    preview_->setPixmap(picture.isNull() ? QPixmap() : QPixmap::fromImage(picture));
    return picture;
}

SystemDialog* particle_system_dialog(MainWindow* window)
{
    static QPointer<SystemDialog> dialog;
    if (!dialog || dialog->parent() != window)
        dialog = new SystemDialog(window);
    return dialog;
}

namespace {

void extend_particles_dialog(ParamDialog& dialog, QVBoxLayout* layout)
{
    auto* button = new QPushButton("Particle System...", &dialog);
    button->setObjectName("particle_system");
    layout->addWidget(button);
    ParamDialog* d = &dialog;
    QObject::connect(button, &QPushButton::clicked, d, [d] {
        SystemDialog* s = particle_system_dialog(d->owner());
        std::string file = particles_file();
        if (!file.empty() && file != s->path() && file_exists(file))
            s->load(file);
        QObject::connect(s, &SystemDialog::saved, d, &ParamDialog::refresh, Qt::UniqueConnection);
        s->show();
        s->raise();
    });
}

} // namespace

void install_particle_dialogs()
{
    set_dialog_extension(opcmd::Particles, extend_particles_dialog);
}

void particle_screenshots(MainWindow* window, const QString& folder, const QString& system,
                          std::function<void()> done)
{
    SystemDialog* s = particle_system_dialog(window);
    std::string path = system.toLocal8Bit().toStdString();
    if (!file_exists(path) || !s->load(path)) {
        done();
        return;
    }
    s->set_frame(20);
    s->show();
    QTimer::singleShot(300, window, [s, folder, done] {
        s->preview_now();
        s->grab().save(folder + "/particle-system.png");
        s->hide();
        if (s->system().forcecount < 1) {
            done();
            return;
        }
        auto* force = new ForceDialog(s, s->system().forces[0]);
        force->show();
        QTimer::singleShot(300, s, [force, folder, done] {
            force->grab().save(folder + "/particle-force.png");
            force->deleteLater();
            done();
        });
    });
}

} // namespace ws
