#include "ui/qt/layers_window.h"

#include "core/image.h"
#include "core/list.h"
#include "core/messages.h"
#include "core/settings.h"
#include "layers/blend_modes.h"
#include "layers/composite.h"
#include "layers/layer_manage.h"
#include "ui/qt/file_extras.h"
#include "ui/qt/docked_window.h"
#include "ui/qt/image_view.h"
#include "ui/qt/main_window.h"

#include <QComboBox>
#include <QCompleter>
#include <QDockWidget>
#include <QDropEvent>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QSlider>
#include <QSpinBox>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <vector>

namespace ws {

namespace {

LayersWindow* g_layers = nullptr;
QDockWidget* g_dock = nullptr;

enum Column { ColVisible, ColLock, ColName, ColCount };
constexpr int kThumb = 40;

// The stack nearest first, as the rows show it.
std::vector<Image*> rows_of(Image* image)
{
    std::vector<Image*> out;
    if (image && image->has_layers && image->layer_list)
        for (ListNode* n = image->layer_list->tail; n; n = n->ln_pred)
            if (n->key == kNodeKey && n->element)
                out.push_back(static_cast<Image*>(n->element));
    return out;
}

// A thumbnail sharp on a high-density screen.
QIcon thumb_icon(Image* image, const QWidget* on)
{
    const qreal ratio = on->devicePixelRatioF();
    QPixmap pix = QPixmap::fromImage(image_thumbnail(image, static_cast<int>(std::lround(kThumb * ratio))));
    pix.setDevicePixelRatio(ratio);
    return QIcon(pix);
}

QString mode_text(const Image* layer)
{
    return QStringLiteral("%1, %2%").arg(QString::fromLatin1(blend_mode_name(layer->layer_mode))).arg(layer->layer_opacity);
}

// Rows are dragged onto the gaps between rows, never onto a row.
class LayerTree : public QTreeWidget {
public:
    std::function<void(Image*, int, int)> dropped;
    explicit LayerTree(QWidget* parent) : QTreeWidget(parent) {}

protected:
    void dropEvent(QDropEvent* event) override
    {
        QTreeWidgetItem* moving = currentItem();
        auto* layer = moving ? reinterpret_cast<Image*>(moving->data(ColName, Qt::UserRole).value<quintptr>()) : nullptr;
        int from = moving ? indexOfTopLevelItem(moving) : -1;
        QTreeWidget::dropEvent(event);
        int to = -1;
        for (int i = 0; i < topLevelItemCount(); ++i)
            if (reinterpret_cast<Image*>(topLevelItem(i)->data(ColName, Qt::UserRole).value<quintptr>()) == layer)
                to = i;
        if (dropped && layer && from >= 0 && to >= 0)
            dropped(layer, from, to);
    }
};

QToolButton* tool_button(QWidget* parent, const char* name, const QString& text, const QString& tip)
{
    auto* b = new QToolButton(parent);
    b->setObjectName(name);
    b->setText(text);
    b->setToolTip(tip);
    b->setToolButtonStyle(Qt::ToolButtonTextOnly);
    b->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    return b;
}

} // namespace

bool layer_is_locked(const Image* image)
{
    return image && image->is_layer && (image->layer_flags & kLayerLocked) != 0;
}

Image* operation_target(MainWindow* window)
{
    ImageView* view = window ? window->active_view() : nullptr;
    if (!view)
        return nullptr;
    Image* shown = view->image();
    Image* target = image_role(ImageRole::Target);
    if (target && target != shown && image_store_contains(target) && target->is_layer && target->owner == shown)
        return target;
    return shown;
}

LayersWindow* layers_window()
{
    return g_layers;
}

QDockWidget* layers_dock()
{
    return g_dock;
}

LayersWindow::LayersWindow(MainWindow* window) : QWidget(window), window_(window)
{
    setObjectName("layers_window");
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);

    auto* tree = new LayerTree(this);
    tree_ = tree;
    tree_->setObjectName("layers");
    tree_->setColumnCount(ColCount);
    tree_->setHeaderLabels({"Visible", "Lock", "Layer"});
    tree_->setRootIsDecorated(false);
    tree_->setIconSize(QSize(kThumb, kThumb));
    tree_->setDragDropMode(QAbstractItemView::InternalMove);
    tree_->setDefaultDropAction(Qt::MoveAction);
    tree_->setSelectionMode(QAbstractItemView::SingleSelection);
    tree_->header()->setStretchLastSection(true);
    tree_->header()->setSectionResizeMode(ColVisible, QHeaderView::ResizeToContents);
    tree_->header()->setSectionResizeMode(ColLock, QHeaderView::ResizeToContents);
    tree_->setMinimumHeight(90);
    tree->dropped = [this](Image* layer, int from, int to) { on_dropped(layer, from, to); };
    connect(tree_, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
        if (updating_)
            return;
        if (Image* layer = layer_of(item))
            image_set_role(ImageRole::Target, layer);
        show_properties();
    });
    connect(tree_, &QTreeWidget::itemChanged, this, &LayersWindow::on_item_changed);
    connect(tree_, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item, int column) {
        if (column == ColName)
            rename_layer(layer_of(item));
    });
    layout->addWidget(tree_, 1);
    setFocusProxy(tree_);

    auto* form = new QFormLayout;
    mode_ = new QComboBox(this);
    mode_->setObjectName("mode");
    mode_->setEditable(true);
    mode_->setInsertPolicy(QComboBox::NoInsert);
    mode_->setMaxVisibleItems(20);
    mode_->setToolTip("The blend mode; type part of a name to find it");
    fill_modes();
    connect(mode_, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (!updating_ && index >= 0)
            set_mode(mode_->itemData(index).toInt());
    });
    form->addRow("&Mode", mode_);

    opacity_ = new QSlider(Qt::Horizontal, this);
    opacity_->setObjectName("opacity_slider");
    opacity_->setRange(0, 100);
    opacity_spin_ = new QSpinBox(this);
    opacity_spin_->setObjectName("opacity");
    opacity_spin_->setRange(0, 100);
    opacity_spin_->setSuffix("%");
    connect(opacity_, &QSlider::valueChanged, opacity_spin_, &QSpinBox::setValue);
    connect(opacity_spin_, &QSpinBox::valueChanged, this, [this](int v) {
        QSignalBlocker b(opacity_);
        opacity_->setValue(v);
        if (!updating_)
            set_opacity(v);
    });
    auto* opacity_row = new QHBoxLayout;
    opacity_row->addWidget(opacity_, 1);
    opacity_row->addWidget(opacity_spin_);
    auto* opacity_label = new QLabel("&Opacity", this);
    opacity_label->setBuddy(opacity_spin_);
    form->addRow(opacity_label, opacity_row);

    factor_ = new QSpinBox(this);
    factor_->setObjectName("factor");
    factor_->setRange(0, 30000);
    factor_->setToolTip("The mode's parameter; 100 is neutral");
    connect(factor_, &QSpinBox::valueChanged, this, [this](int v) {
        if (!updating_)
            set_factor(v);
    });
    factor_label_ = new QLabel("&Factor", this);
    factor_label_->setBuddy(factor_);
    form->addRow(factor_label_, factor_);
    layout->addLayout(form);

    auto* grid = new QGridLayout;
    grid->setSpacing(2);
    QToolButton* create = tool_button(this, "layer_create", "Create", "A new transparent layer on top");
    QToolButton* duplicate = tool_button(this, "layer_duplicate", "Duplicate", "A copy of the layer above it");
    QToolButton* destroy = tool_button(this, "layer_destroy", "Destroy", "Delete the layer");
    QToolButton* nearer = tool_button(this, "layer_nearer", "Nearer", "One place nearer the viewer");
    QToolButton* deeper = tool_button(this, "layer_deeper", "Deeper", "One place deeper");
    QToolButton* save = tool_button(this, "layer_save", "Save", "Save the image with its layers in a layered file");
    QToolButton* shadow = tool_button(this, "layer_shadow", "Shadow", "A soft shadow layer under this one");
    QToolButton* glow = tool_button(this, "layer_glow", "Glow", "A glow layer around this one");
    QToolButton* emboss = tool_button(this, "layer_emboss", "Emboss", "A layer above this one that lights its edges");
    connect(create, &QToolButton::clicked, this, [this] { create_layer(); });
    connect(duplicate, &QToolButton::clicked, this, [this] { duplicate_layer(); });
    connect(destroy, &QToolButton::clicked, this, [this] { destroy_layer(); });
    connect(nearer, &QToolButton::clicked, this, [this] { move_layer(-1); });
    connect(deeper, &QToolButton::clicked, this, [this] { move_layer(1); });
    connect(save, &QToolButton::clicked, this, [this] { save_layers_as(window_, image()); });
    connect(shadow, &QToolButton::clicked, this, [this] { add_effect(Effect::Shadow); });
    connect(glow, &QToolButton::clicked, this, [this] { add_effect(Effect::Glow); });
    connect(emboss, &QToolButton::clicked, this, [this] { add_effect(Effect::Emboss); });
    grid->addWidget(create, 0, 0);
    grid->addWidget(duplicate, 0, 1);
    grid->addWidget(destroy, 0, 2);
    grid->addWidget(nearer, 1, 0);
    grid->addWidget(deeper, 1, 1);
    grid->addWidget(save, 1, 2);
    grid->addWidget(shadow, 2, 0);
    grid->addWidget(glow, 2, 1);
    grid->addWidget(emboss, 2, 2);
    layout->addLayout(grid);

    // Operations on a layer change its thumbnail; they are made again once
    // the changes settle.
    thumbs_timer_ = new QTimer(this);
    thumbs_timer_->setSingleShot(true);
    thumbs_timer_->setInterval(150);
    connect(thumbs_timer_, &QTimer::timeout, this, &LayersWindow::update_thumbnails);

    connect(window_, &MainWindow::view_activated, this, [this](ImageView* view) { set_image(view->image()); });
    auto attach = [this](ImageView* view) {
        connect(view, &ImageView::title_changed, this, [this, view] {
            if (!updating_ && view->image() == image())
                thumbs_timer_->start();
        });
        // Afterwards: the view is half gone while it is destroyed.
        connect(view, &QObject::destroyed, this, [this] {
            QTimer::singleShot(0, this, [this] {
                ImageView* active = window_->active_view();
                set_image(active ? active->image() : nullptr);
            });
        });
    };
    for (ImageView* v : window_->views())
        attach(v);
    connect(window_, &MainWindow::view_added, this, attach);
    setMinimumWidth(180);
    set_image(nullptr);
}

void LayersWindow::fill_modes()
{
    QSignalBlocker b(mode_);
    mode_->clear();
    std::vector<const BlendMode*> modes;
    for (int i = 0; i < kBlendModeCount; ++i)
        modes.push_back(&blend_modes()[i]);
    // "Alphabetic Layer-modes" off lists them by their numbers.
    if (!settings().pref(PREF_ALPHABETIC_LAYER_MODES))
        std::sort(modes.begin(), modes.end(), [](const BlendMode* a, const BlendMode* b) { return a->code < b->code; });
    for (const BlendMode* m : modes)
        mode_->addItem(QString::fromLatin1(m->name), m->code);
    auto* completer = new QCompleter(mode_->model(), mode_);
    completer->setCaseSensitivity(Qt::CaseInsensitive);
    completer->setFilterMode(Qt::MatchContains);
    completer->setCompletionMode(QCompleter::PopupCompletion);
    mode_->setCompleter(completer);
}

Image* LayersWindow::image() const
{
    return image_ && image_store_contains(image_) ? image_ : nullptr;
}

void LayersWindow::set_image(Image* image)
{
    if (image && !image_store_contains(image))
        image = nullptr;
    Image* keep = image == image_ ? selected_layer() : nullptr;
    image_ = image;
    rebuild();
    // A master's operations go to a layer: the one chosen before, else the nearest.
    if (keep && image_store_contains(keep))
        select_layer(keep);
    else if (tree_->topLevelItemCount() > 0)
        select_layer(layer_of(tree_->topLevelItem(0)));
}

Image* LayersWindow::layer_of(QTreeWidgetItem* item) const
{
    if (!item)
        return nullptr;
    auto* layer = reinterpret_cast<Image*>(item->data(ColName, Qt::UserRole).value<quintptr>());
    return layer && image_store_contains(layer) ? layer : nullptr;
}

Image* LayersWindow::selected_layer() const
{
    return layer_of(tree_->currentItem());
}

void LayersWindow::select_layer(Image* layer)
{
    for (int i = 0; i < tree_->topLevelItemCount(); ++i)
        if (layer_of(tree_->topLevelItem(i)) == layer) {
            tree_->setCurrentItem(tree_->topLevelItem(i));
            image_set_role(ImageRole::Target, layer);
            show_properties();
            return;
        }
}

void LayersWindow::rebuild()
{
    updating_ = true;
    tree_->clear();
    Image* img = image();
    std::vector<Image*> rows = rows_of(img);
    bool plain = img && rows.empty();
    if (plain)
        rows.push_back(img);
    for (Image* layer : rows) {
        auto* item = new QTreeWidgetItem(tree_);
        item->setData(ColName, Qt::UserRole, QVariant::fromValue(reinterpret_cast<quintptr>(layer)));
        item->setIcon(ColName, thumb_icon(layer, tree_));
        item->setText(ColName, QString::fromLocal8Bit(layer->name) + (plain ? QString() : "\n" + mode_text(layer)));
        item->setToolTip(ColName, plain ? QStringLiteral("An image without layers: Create adds its first layer")
                                        : QStringLiteral("Double-click to rename; drag to reorder"));
        Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
        if (!plain)
            flags |= Qt::ItemIsUserCheckable | Qt::ItemIsDragEnabled;
        item->setFlags(flags);
        if (!plain) {
            item->setCheckState(ColVisible, (layer->layer_flags & LAYER_VISIBLE) ? Qt::Checked : Qt::Unchecked);
            item->setToolTip(ColVisible, "Visible");
            item->setCheckState(ColLock, layer_is_locked(layer) ? Qt::Checked : Qt::Unchecked);
            item->setToolTip(ColLock, "Locked: operations leave the layer's pixels alone");
        }
    }
    updating_ = false;
    show_properties();
}

void LayersWindow::update_thumbnails()
{
    updating_ = true;
    for (int i = 0; i < tree_->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = tree_->topLevelItem(i);
        if (Image* layer = layer_of(item)) {
            item->setIcon(ColName, thumb_icon(layer, tree_));
            if (layer->is_layer)
                item->setText(ColName, QString::fromLocal8Bit(layer->name) + "\n" + mode_text(layer));
        }
    }
    updating_ = false;
}

void LayersWindow::show_properties()
{
    Image* layer = selected_layer();
    bool is_layer = layer && layer->is_layer;
    updating_ = true;
    mode_->setEnabled(is_layer);
    opacity_->setEnabled(is_layer);
    opacity_spin_->setEnabled(is_layer);
    const BlendMode* mode = is_layer ? blend_mode_by_code(layer->layer_mode) : nullptr;
    if (is_layer) {
        mode_->setCurrentIndex(mode_->findData(layer->layer_mode));
        opacity_spin_->setValue(layer->layer_opacity);
        opacity_->setValue(layer->layer_opacity);
        factor_->setValue(layer->layer_factor);
    }
    // The factor means something for the modes that use it only.
    bool factor = mode && mode->uses_factor;
    factor_->setEnabled(factor);
    factor_label_->setEnabled(factor);
    for (const char* name : {"layer_duplicate", "layer_destroy", "layer_nearer", "layer_deeper", "layer_shadow",
                             "layer_glow", "layer_emboss"})
        if (auto* b = findChild<QToolButton*>(name))
            b->setEnabled(is_layer);
    if (auto* b = findChild<QToolButton*>("layer_create"))
        b->setEnabled(image() != nullptr);
    if (auto* b = findChild<QToolButton*>("layer_save"))
        b->setEnabled(layer_master_of(image()) != nullptr);
    updating_ = false;
}

Image* LayersWindow::master_for_change()
{
    Image* img = image();
    if (!img)
        return nullptr;
    if (layer_make_master(img) != 0)
        return nullptr;
    return img;
}

// The stack changed: the view shows the new composite and the rows follow.
void LayersWindow::changed_stack(Image* select)
{
    Image* master = image();
    // A layer made, copied, moved or removed is a change that closing asks about.
    if (master && master->changes < INT16_MAX)
        master->changes = static_cast<int16_t>(master->changes + 1);
    if (master)
        window_->redraw(master, nullptr);
    rebuild();
    if (select)
        select_layer(select);
}

// One layer's settings changed: composite at once so the view follows the slider.
void LayersWindow::changed_layer(Image* layer)
{
    Image* master = layer ? layer->owner : nullptr;
    if (!master)
        return;
    if (master->changes < INT16_MAX)
        master->changes = static_cast<int16_t>(master->changes + 1);
    composite_layers(master);
    window_->redraw(master, nullptr);
    updating_ = true;
    for (int i = 0; i < tree_->topLevelItemCount(); ++i)
        if (layer_of(tree_->topLevelItem(i)) == layer)
            tree_->topLevelItem(i)->setText(ColName, QString::fromLocal8Bit(layer->name) + "\n" + mode_text(layer));
    updating_ = false;
}

Image* LayersWindow::create_layer()
{
    Image* master = master_for_change();
    if (!master)
        return nullptr;
    Image* layer = layer_create(master, master->width, master->height);
    changed_stack(layer);
    return layer;
}

Image* LayersWindow::duplicate_layer()
{
    Image* layer = selected_layer();
    if (!layer || !layer->is_layer)
        return nullptr;
    Image* copy = layer_duplicate(layer);
    changed_stack(copy ? copy : layer);
    return copy;
}

bool LayersWindow::destroy_layer()
{
    Image* layer = selected_layer();
    if (!layer || !layer->is_layer)
        return false;
    if (layer_is_locked(layer)) {
        error_box("The layer is locked:", layer->name);
        return false;
    }
    int row = tree_->indexOfTopLevelItem(tree_->currentItem());
    if (layer_destroy(layer) != 0)
        return false;
    std::vector<Image*> rows = rows_of(image());
    changed_stack(rows.empty() ? nullptr : rows[static_cast<size_t>(std::min<int>(row, static_cast<int>(rows.size()) - 1))]);
    return true;
}

bool LayersWindow::move_layer(int rows)
{
    Image* layer = selected_layer();
    if (!layer || !layer->is_layer || rows == 0)
        return false;
    for (int i = 0; i < std::abs(rows); ++i)
        if ((rows < 0 ? layer_nearer(layer) : layer_deeper(layer)) != 0)
            break;
    changed_stack(layer);
    return true;
}

void LayersWindow::on_dropped(Image* layer, int from, int to)
{
    // The rows were reordered by the drag; the stack follows, then the rows
    // are made again from it.
    select_layer(layer);
    QTimer::singleShot(0, this, [this, layer, from, to] {
        if (image_store_contains(layer))
            move_layer(to - from);
    });
}

Image* LayersWindow::add_effect(Effect effect)
{
    Image* layer = selected_layer();
    if (!layer || !layer->is_layer)
        return nullptr;
    Image* made = nullptr;
    switch (effect) {
    case Effect::Shadow: made = layer_shadow(layer, shadow_parms()); break;
    case Effect::Glow: made = layer_glow(layer, glow_parms()); break;
    case Effect::Emboss: made = layer_emboss(layer, emboss_parms()); break;
    }
    changed_stack(made ? made : layer);
    return made;
}

void LayersWindow::set_mode(int code)
{
    Image* layer = selected_layer();
    if (!layer || !layer->is_layer || !blend_mode_by_code(code) || layer->layer_mode == code)
        return;
    layer->layer_mode = code;
    changed_layer(layer);
    show_properties();
}

void LayersWindow::set_opacity(int percent)
{
    Image* layer = selected_layer();
    if (!layer || !layer->is_layer || layer->layer_opacity == percent)
        return;
    layer->layer_opacity = std::clamp(percent, 0, 100);
    changed_layer(layer);
}

void LayersWindow::set_factor(int factor)
{
    Image* layer = selected_layer();
    if (!layer || !layer->is_layer || layer->layer_factor == factor)
        return;
    layer->layer_factor = std::clamp(factor, 0, 30000);
    changed_layer(layer);
}

void LayersWindow::set_visible(Image* layer, bool on)
{
    if (!layer || !layer->is_layer || ((layer->layer_flags & LAYER_VISIBLE) != 0) == on)
        return;
    layer->layer_flags = on ? layer->layer_flags | LAYER_VISIBLE : layer->layer_flags & ~LAYER_VISIBLE;
    changed_layer(layer);
    rebuild();
    select_layer(layer);
}

void LayersWindow::set_locked(Image* layer, bool on)
{
    if (!layer || !layer->is_layer)
        return;
    layer->layer_flags = on ? layer->layer_flags | kLayerLocked : layer->layer_flags & ~kLayerLocked;
}

void LayersWindow::on_item_changed(QTreeWidgetItem* item, int column)
{
    if (updating_)
        return;
    Image* layer = layer_of(item);
    if (!layer || !layer->is_layer)
        return;
    if (column == ColVisible) {
        // Rebuilding the rows inside their own signal would delete the item.
        bool on = item->checkState(ColVisible) == Qt::Checked;
        QTimer::singleShot(0, this, [this, layer, on] {
            if (image_store_contains(layer))
                set_visible(layer, on);
        });
    } else if (column == ColLock) {
        set_locked(layer, item->checkState(ColLock) == Qt::Checked);
    }
}

void LayersWindow::rename_layer(Image* layer)
{
    if (!layer || !layer->is_layer)
        return;
    bool ok = false;
    QString name = QInputDialog::getText(this, "Rename Layer", "Name:", QLineEdit::Normal,
                                         QString::fromLocal8Bit(layer->name), &ok)
                       .trimmed();
    if (!ok || name.isEmpty() || !image_store_contains(layer))
        return;
    layer_rename(layer, name.toLocal8Bit().constData());
    update_thumbnails();
}

void install_layers_window()
{
    install_docked_window("Layers", "layers_dock", g_layers, g_dock);
}

} // namespace ws
