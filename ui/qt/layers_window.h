// The layers window (dockable): the layer stack of the active view's image,
// nearest layer on top, each with its thumbnail, Visible and lock switches
// and name; the chosen layer's blend mode (all 93, searchable), opacity and
// factor; Create, Duplicate, Destroy, Nearer, Deeper (or drag a row), and
// the Shadow, Glow and Emboss effect layers.  The chosen layer is the target
// operations work on; the view is composited again after every change.
#pragma once

#include <QPointer>
#include <QWidget>

#include <cstdint>

class QComboBox;
class QDockWidget;
class QLabel;
class QSlider;
class QSpinBox;
class QTimer;
class QTreeWidget;
class QTreeWidgetItem;
struct Image;

namespace ws {

class ImageView;
class MainWindow;

// A layer flag of the workstation's: the layer's pixels are kept from
// operations (stored in layered files with the other flags).
constexpr uint32_t kLayerLocked = 1u << 4;
bool layer_is_locked(const Image* image);

// The image operations work on: the layer chosen in the layers window when
// the active view shows its master, else the active view's image.
Image* operation_target(MainWindow* window);

class LayersWindow : public QWidget {
    Q_OBJECT
public:
    explicit LayersWindow(MainWindow* window);

    // The image whose stack is shown (a master, or an ordinary image).
    Image* image() const;
    void set_image(Image* image);
    // The chosen layer (the image itself when it has no layers).
    Image* selected_layer() const;
    void select_layer(Image* layer);
    // The rows again from the stack (after a change made elsewhere).
    void rebuild();

    // The commands of the buttons.
    Image* create_layer();
    Image* duplicate_layer();
    bool destroy_layer();
    // Moves the chosen layer by rows: negative nearer, positive deeper.
    bool move_layer(int rows);
    enum class Effect { Shadow, Glow, Emboss };
    Image* add_effect(Effect effect);
    // Blend mode, opacity and factor of the chosen layer.
    void set_mode(int code);
    void set_opacity(int percent);
    void set_factor(int factor);
    void set_visible(Image* layer, bool on);
    void set_locked(Image* layer, bool on);
    void rename_layer(Image* layer);

    QTreeWidget* tree() const { return tree_; }
    QComboBox* mode_box() const { return mode_; }

private:
    void fill_modes();
    void show_properties();
    void changed_stack(Image* select);
    void changed_layer(Image* layer);
    void on_item_changed(QTreeWidgetItem* item, int column);
    void on_dropped(Image* layer, int from_row, int to_row);
    Image* layer_of(QTreeWidgetItem* item) const;
    Image* master_for_change();
    void update_thumbnails();

    MainWindow* window_;
    Image* image_ = nullptr;
    QTreeWidget* tree_;
    QComboBox* mode_;
    QSlider* opacity_;
    QSpinBox* opacity_spin_;
    QSpinBox* factor_;
    QLabel* factor_label_;
    QTimer* thumbs_timer_;
    bool updating_ = false;
};

// The window of the running workstation (null before its dock is made).
LayersWindow* layers_window();
QDockWidget* layers_dock();
// Makes the dock when the frame window's menus are built.
void install_layers_window();

} // namespace ws
