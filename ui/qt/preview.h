// Live preview of an operation in its parameter dialog.  The operation runs
// on a copy of the image (a reduced copy when the whole image would take too
// long), never on the image itself: the image's pixels, change count and
// undo stack stay exactly as they were, and boxes the operation would show
// are kept for the dialog instead of popping up while the sliders move.
#pragma once

#include <QImage>
#include <QSize>
#include <QString>

#include <cstdint>

struct Image;

namespace ws {

class QtPlatform;

// Whether a dialog offers the Preview switch, and its starting state.
enum class PreviewOffer { None, Off, On };
PreviewOffer preview_offer(int32_t command);

struct PreviewPicture {
    QImage picture;       // as the view would show it; null when none could be made
    QSize logical;        // the image pixels the picture stands for
    bool reduced = false; // made on a reduced copy
    int result = 0;       // the framework's result on the copy
    QString note;         // what the operation told the user, if anything
    long pixels = 0;      // pixels of the copy worked on
    double millis = 0;    // how long the operation took on it
};

// Runs `command` with its current parameters on a copy of `target` and
// renders the result as a view of `shown` shows it.  `target` is `shown`
// itself, or one of its layers (the stack is then composited with the
// changed copy in the layer's place).  Images above `pixel_budget` pixels are
// previewed on a copy reduced to about that many.
PreviewPicture preview_operation(int32_t command, Image* target, Image* shown, bool show_alpha, QtPlatform& platform,
                                 long pixel_budget);

// A copy of an image reduced by area averaging to `width` x `height` (the
// preview's copy of a large image); null when memory is short.
Image* reduced_copy(Image* image, long width, long height);

} // namespace ws
