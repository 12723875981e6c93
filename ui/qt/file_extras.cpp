#include "ui/qt/file_extras.h"

#include "core/image.h"
#include "core/messages.h"
#include "core/settings.h"
#include "formats/codecs.h"
#include "formats/load_save.h"
#include "layers/elf.h"
#include "layers/layer_manage.h"
#include "render/reduce.h"
#include "ui/qt/history_window.h"
#include "ui/qt/image_view.h"
#include "ui/qt/layers_window.h"
#include "ui/qt/main_window.h"
#include "ui/qt/qt_platform.h"

#include <QAction>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace ws {

namespace {

// The writable type a file name's extension names, or -1.
int type_for_path(const QString& path)
{
    QString ext = "*." + QFileInfo(path).suffix().toLower();
    for (int type : save_as_types(true)) {
        const Codec* c = codec_for_save_type(type);
        if (c && c->pattern && QString::fromLatin1(c->pattern).toLower() == ext)
            return type;
    }
    if (ext == "*.jpeg")
        return FMT_JPG;
    if (ext == "*.tiff")
        return FMT_TIFF;
    return -1;
}

const int kDepths[] = {32, 24, 16, 8, 4, 1};

} // namespace

bool export_image(Image* image, const QString& path, const ExportOptions& o)
{
    if (!image || path.isEmpty())
        return false;
    const Codec* codec = codec_for_save_type(o.type);
    if (!codec || !codec->write) {
        error_box("This file type cannot be written:", path.toLocal8Bit().constData());
        return false;
    }
    SaveSettingsScope kept;
    Settings& s = settings();
    s.save_type = o.type;
    int depth = save_depth_for_bits(o.depth);
    s.save_depth = depth >= 0 ? depth : save_depth_for_bits(image->alpha ? 32 : 24);
    s.save_compress = o.compress;
    s.jpeg_quality = o.quality;
    s.ordered = o.ordered ? 1 : 0;
    render_state().palette_mode = o.reduce;
    render_state().strength = o.strength;
    char name[kImagePathMax];
    std::snprintf(name, sizeof name, "%s", path.toLocal8Bit().constData());
    // The save entry marks the image saved (and names an unnamed one): an
    // export leaves it as it was.
    const int16_t changes = image->changes, compress = image->saved_compress, quality = image->saved_quality;
    const uint16_t bits = image->bits;
    char own_path[sizeof image->path];
    std::memcpy(own_path, image->path, sizeof own_path);
    int rc = SaveImageFile(image, name);
    image->changes = changes;
    image->saved_compress = compress;
    image->saved_quality = quality;
    image->bits = bits;
    std::memcpy(image->path, own_path, sizeof own_path);
    return rc == 0;
}

int save_layered(Image* image, const char* name)
{
    Image* master = layer_master_of(image);
    if (!master)
        return 1;
    if (elf_save(name, master, 1) != 0) {
        const char* why = elf_last_error();
        std::string text = std::string(name) + (why && why[0] ? std::string("\n") + why : std::string());
        message_show(msg::ProblemWriting, text.c_str());
        return 1;
    }
    const char* slash = std::strrchr(name, '/');
    std::snprintf(master->name, sizeof master->name, "%s", slash ? slash + 1 : name);
    if (master->path != name)
        std::snprintf(master->path, sizeof master->path, "%s", name);
    image_set_format(master, FMT_ELF);
    master->changes = 0;
    return 0;
}

bool save_layers_as(MainWindow* window, Image* image)
{
    Image* master = layer_master_of(image);
    if (!window || !master)
        return false;
    // Beside the image's file, with the layered file's extension.
    QString start = QString::fromLocal8Bit(master->path[0] ? master->path : master->name);
    QFileInfo info(start);
    if (info.suffix().compare("elf", Qt::CaseInsensitive) != 0)
        start = (master->path[0] ? info.absolutePath() + "/" : QString()) + info.completeBaseName() + ".elf";
    QString path = QString::fromStdString(window->platform().choose_file(
        true, "Save Extended Layer Files", "GX Layers (*.ELF)|*.ELF|", start.toLocal8Bit().toStdString()));
    if (path.isEmpty())
        return false;
    if (QFileInfo(path).suffix().isEmpty())
        path += ".elf";
    return window->save_image_to(master, path);
}

Image* revert_image(MainWindow* window, Image* image)
{
    if (!image || !image->path[0])
        return nullptr;
    if (image->changes != 0) {
        QString text = QStringLiteral("Revert \"%1\" to the saved file? Its changes are lost.")
                           .arg(QString::fromLocal8Bit(image->name));
        if (window->platform().ask(ui::Ask::Proceed, "Revert", text.toLocal8Bit().constData()) != ui::Answer::Yes)
            return nullptr;
    }
    char name[kImagePathMax];
    std::snprintf(name, sizeof name, "%s", image->path);
    Image* fresh = LoadImageFile(name);
    if (!fresh)
        return nullptr;
    // The views keep their places and zoom; the roles move with them.
    for (ImageView* v : window->views_of(image))
        v->set_image(fresh);
    ImageRoles& roles = image_roles();
    for (Image** role : {&roles.target, &roles.source, &roles.brush})
        if (*role == image || (*role && (*role)->is_layer && (*role)->owner == image))
            *role = fresh;
    image_free(image);
    if (LayersWindow* lw = layers_window())
        lw->set_image(fresh);
    if (HistoryWindow* hw = history_window())
        hw->set_image(fresh);
    window->redraw(fresh, nullptr);
    return fresh;
}

ExportDialog::ExportDialog(QWidget* parent, Image* image) : QDialog(parent)
{
    setObjectName("export_dialog");
    setWindowTitle("Export");
    const Settings& s = settings();
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;

    path_ = new QLineEdit(this);
    path_->setObjectName("path");
    // Beside the image's file, else in the folder last saved to.
    const bool has_file = image && image->path[0];
    QString base = has_file ? QFileInfo(QString::fromLocal8Bit(image->path)).completeBaseName()
                            : QString::fromLocal8Bit(image ? image->name : "export");
    QString folder = has_file ? QFileInfo(QString::fromLocal8Bit(image->path)).absolutePath()
                              : QString::fromLocal8Bit(s.save_path.c_str());
    path_->setText((folder.isEmpty() ? QString() : folder + "/") + base);
    auto* browse_button = new QPushButton("&Browse...", this);
    connect(browse_button, &QPushButton::clicked, this, &ExportDialog::browse);
    auto* row = new QHBoxLayout;
    row->addWidget(path_, 1);
    row->addWidget(browse_button);
    auto* file_label = new QLabel("&File", this);
    file_label->setBuddy(path_);
    form->addRow(file_label, row);

    type_ = new QComboBox(this);
    type_->setObjectName("type");
    for (int type : save_as_types(true))
        if (const Codec* c = codec_for_save_type(type))
            type_->addItem(QString::fromLatin1(c->load_label ? c->load_label : c->title), type);
    // The image's own type when it can be written, else PNG.
    int own = image ? type_->findData(static_cast<int>(image->file_format)) : -1;
    if (!has_file)
        own = -1;
    type_->setCurrentIndex(own >= 0 ? own : std::max(0, type_->findData(static_cast<int>(FMT_PNG))));
    form->addRow("&Type", type_);

    depth_ = new QComboBox(this);
    depth_->setObjectName("depth");
    for (int bits : kDepths)
        depth_->addItem(bits == 32 ? QStringLiteral("32 bits (with alpha)") : QStringLiteral("%1 bits").arg(bits), bits);
    depth_->setCurrentIndex(depth_->findData(image && image->alpha ? 32 : 24));
    form->addRow("&Depth", depth_);

    compress_ = new QComboBox(this);
    compress_->setObjectName("compress");
    compress_->addItem("None", 0);
    compress_->addItem("Run-length (Targa, IFF) or LZW (TIFF)", 1);
    compress_->addItem("Deflate (TIFF)", 2);
    compress_->setCurrentIndex(std::clamp(static_cast<int>(s.save_compress), 0, 2));
    form->addRow("&Compression", compress_);

    quality_ = new QSpinBox(this);
    quality_->setObjectName("quality");
    quality_->setRange(1, 100);
    quality_->setValue(std::clamp(static_cast<int>(s.jpeg_quality), 1, 100));
    form->addRow("JPEG &quality", quality_);

    reduce_ = new QComboBox(this);
    reduce_->setObjectName("reduce");
    for (const char* mode : {"Fixed palette", "Greys", "Colours chosen for the image", "Current palette"})
        reduce_->addItem(mode);
    reduce_->setCurrentIndex(std::clamp(render_state().palette_mode, 0, 3));
    form->addRow("&Reduction", reduce_);
    dither_ = new QComboBox(this);
    dither_->setObjectName("dither");
    dither_->addItem("Error diffusion", 0);
    dither_->addItem("Ordered", 1);
    dither_->setCurrentIndex(s.ordered ? 1 : 0);
    form->addRow("D&ithering", dither_);
    strength_ = new QSpinBox(this);
    strength_->setObjectName("strength");
    strength_->setRange(0, 100);
    strength_->setSuffix("%");
    strength_->setValue(std::clamp(render_state().strength, 0, 100));
    form->addRow("Dither &strength", strength_);
    layout->addLayout(form);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
    QPushButton* ok = buttons->addButton("E&xport", QDialogButtonBox::AcceptRole);
    ok->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);

    connect(type_, &QComboBox::currentIndexChanged, this, &ExportDialog::type_changed);
    connect(depth_, &QComboBox::currentIndexChanged, this, &ExportDialog::type_changed);
    type_changed();
    setMinimumWidth(420);
}

void ExportDialog::type_changed()
{
    int type = type_->currentData().toInt();
    int bits = depth_->currentData().toInt();
    // Only what the chosen type and depth use can be set.
    quality_->setEnabled(type == FMT_JPG);
    compress_->setEnabled(type == FMT_TIFF || type == FMT_TGA || type == FMT_IFF);
    bool indexed = bits <= 8;
    reduce_->setEnabled(indexed);
    dither_->setEnabled(indexed);
    strength_->setEnabled(indexed);
    // The name takes the type's extension.
    const Codec* c = codec_for_save_type(type);
    if (c && c->extension) {
        QString p = path_->text();
        QFileInfo info(p);
        if (!info.suffix().isEmpty())
            p.chop(info.suffix().size() + 1);
        path_->setText(p + QString::fromLatin1(c->extension).toLower());
    }
}

void ExportDialog::browse()
{
    QString chosen;
    if (MainWindow* w = main_window())
        chosen = QString::fromStdString(
            w->platform().choose_file(true, "Export", save_as_filter(true).c_str(), path_->text().toStdString()));
    if (chosen.isEmpty())
        return;
    path_->setText(chosen);
    int type = type_for_path(chosen);
    if (type >= 0 && type_->findData(type) >= 0)
        type_->setCurrentIndex(type_->findData(type));
}

QString ExportDialog::path() const
{
    return path_->text().trimmed();
}

ExportOptions ExportDialog::options() const
{
    ExportOptions o;
    o.type = type_->currentData().toInt();
    o.depth = depth_->currentData().toInt();
    o.compress = compress_->currentData().toInt();
    o.quality = quality_->value();
    o.reduce = reduce_->currentIndex();
    o.ordered = dither_->currentData().toInt() == 1;
    o.strength = strength_->value();
    return o;
}

void install_file_extras()
{
    MainWindow::add_menu_builder([](MainWindow& w) {
        QMenu* file = w.menu_named("File");
        QAction* save_as = w.action("file_save_as");
        if (!file || !save_as)
            return;
        QList<QAction*> items = file->actions();
        int at = static_cast<int>(items.indexOf(save_as));
        QAction* before = at >= 0 && at + 1 < items.size() ? items[at + 1] : nullptr;

        auto* copy = new QAction("Save a Cop&y...", &w);
        copy->setObjectName("file_save_copy");
        QObject::connect(copy, &QAction::triggered, &w, [&w] {
            ImageView* v = w.active_view();
            if (!v)
                return;
            Image* image = v->image();
            QString suggested = QString::fromLocal8Bit(image->path[0] ? image->path : image->name);
            QString path = QString::fromStdString(
                w.platform().choose_file(true, "Save a Copy", save_as_filter(true).c_str(), suggested.toStdString()));
            if (path.isEmpty())
                return;
            ExportOptions o;
            o.type = type_for_path(path);
            if (o.type < 0)
                o.type = static_cast<int>(settings().save_type);
            o.depth = image->alpha ? 32 : 24;
            o.compress = static_cast<int>(settings().save_compress);
            o.quality = static_cast<int>(settings().jpeg_quality);
            export_image(image, path, o);
        });

        auto* exp = new QAction("&Export...", &w);
        exp->setObjectName("file_export");
        QObject::connect(exp, &QAction::triggered, &w, [&w] {
            ImageView* v = w.active_view();
            if (!v)
                return;
            ExportDialog dialog(&w, v->image());
            if (dialog.exec() != QDialog::Accepted || !image_store_contains(v->image()) || dialog.path().isEmpty())
                return;
            // The path was typed, not chosen in a file dialog that asks: an
            // export must not replace a file (the image's own, say) unasked.
            if (QFileInfo::exists(dialog.path())) {
                QString text = QStringLiteral("%1 exists already. Replace it?").arg(dialog.path());
                if (w.platform().ask(ui::Ask::Replace, "Export", text.toLocal8Bit().constData()) != ui::Answer::Yes)
                    return;
            }
            export_image(v->image(), dialog.path(), dialog.options());
        });

        auto* revert = new QAction("&Revert", &w);
        revert->setObjectName("file_revert");
        QObject::connect(revert, &QAction::triggered, &w, [&w] {
            if (ImageView* v = w.active_view())
                revert_image(&w, v->image());
        });

        auto* layers = new QAction("Save &Layers...", &w);
        layers->setObjectName("file_save_layers");
        layers->setShortcut(QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_S));
        QObject::connect(layers, &QAction::triggered, &w, [&w] {
            if (ImageView* v = w.active_view())
                save_layers_as(&w, v->image());
        });

        file->insertAction(before, copy);
        file->insertAction(before, layers);
        file->insertAction(before, exp);
        file->insertAction(before, revert);
        // What needs an image follows the active view.
        QObject::connect(file, &QMenu::aboutToShow, &w, [&w, copy, layers, exp, revert] {
            ImageView* v = w.active_view();
            copy->setEnabled(v);
            layers->setEnabled(v && layer_master_of(v->image()));
            exp->setEnabled(v);
            revert->setEnabled(v && v->image()->path[0]);
        });
    });
}

} // namespace ws
