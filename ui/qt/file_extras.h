// The File menu's Revert, Save a Copy and Export.  Export writes with the
// save options `vq` takes (type, depth, compression, quality and the colour
// reduction of indexed depths) without renaming the image or changing its
// saved state; the user's save settings are left as they were.
#pragma once

#include <QDialog>
#include <QString>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QSpinBox;
struct Image;

namespace ws {

class MainWindow;

// Options of one export, as `vq convert` takes them.
struct ExportOptions {
    int type = -1;        // "SaveType"
    int depth = 24;       // bits per pixel: 32, 24, 16, 8, 4 or 1
    int compress = 1;     // "SaveCompress"
    int quality = 75;     // "JPEGQuality"
    int reduce = 2;       // palette of indexed depths: 0 fixed, 1 greys, 2 chosen, 3 current
    bool ordered = false; // ordered dithering rather than error diffusion
    int strength = 100;   // dither strength, percent
};

// Writes the image to `path` with the options; the image keeps its name,
// path and change count.  True when written.
bool export_image(Image* image, const QString& path, const ExportOptions& options);

// Writes a layered image's master and its stack to the layered file `name`
// and makes that the image's file (its name, path and type follow).  0
// done; otherwise the failure and its reason have been reported.
int save_layered(Image* image, const char* name);

// File > Save Layers: asks for a layered file and writes the stack there.
// True when saved.
bool save_layers_as(MainWindow* window, Image* image);

// Goes back to the image's file: the views show it as it was saved and the
// changes and their undo captures are gone.  The new image; null when the
// image has no file, the user declined, or the file could not be read.
Image* revert_image(MainWindow* window, Image* image);

class ExportDialog : public QDialog {
    Q_OBJECT
public:
    ExportDialog(QWidget* parent, Image* image);
    QString path() const;
    ExportOptions options() const;

private:
    void type_changed();
    void browse();

    QLineEdit* path_;
    QComboBox* type_;
    QComboBox* depth_;
    QComboBox* compress_;
    QSpinBox* quality_;
    QComboBox* reduce_;
    QComboBox* dither_;
    QSpinBox* strength_;
};

void install_file_extras();

} // namespace ws
