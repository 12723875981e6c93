// The film-strip window ("filmClass"): the current frame large, the slots
// as thumbnails scaled to the window, playback on a timer with the Frame
// and Speed controls, the frame counter and the time, and a Film menu with
// New, Load, Save, Place Frame (from the active view), the four exports and
// Close.  Operations refresh its current frame from their target while it
// is open.
#pragma once

#include <QDialog>
#include <QWidget>

struct FilmExportOptions;

class QCheckBox;
class QLabel;
class QLineEdit;
class QMenuBar;
class QPushButton;
class QScrollArea;
class QSpinBox;
class QTimer;

namespace ws {

class MainWindow;
class FilmWindow;

// The slots side by side, each scaled to the strip's height; a click makes
// a slot the current frame.
class FilmStrip : public QWidget {
public:
    explicit FilmStrip(FilmWindow* window);
    QSize sizeHint() const override;
    // The slot under a point, -1 none; the rectangle of a slot.
    long slot_at(QPoint p) const;
    QRect slot_rect(long index) const;
    void relayout();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    int cell_width() const;
    FilmWindow* window_;
};

// The current frame, scaled to fit.
class FilmPicture : public QWidget {
public:
    explicit FilmPicture(FilmWindow* window);
    QSize sizeHint() const override { return {320, 240}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    FilmWindow* window_;
};

class FilmWindow : public QWidget {
    Q_OBJECT
public:
    explicit FilmWindow(MainWindow* main);
    ~FilmWindow() override;

    // The frame shown (0-based) and the playback.
    long current() const;
    void set_current(long index);
    void play(bool on);
    bool playing() const;
    // Advances one frame as the timer does (forward, back at the ends with ping-pong).
    void step();
    // "%3ld /%3ld" and "%02ld:%02ld.%03ld" as shown.
    QString counter_text() const;
    QString time_text() const;

    // Everything after the film changed (`relayout` when its length or size did).
    void film_changed(bool relayout);
    // The picture of a slot, scaled to `size` (cached per frame until it changes).
    QImage frame_picture(long index) const;

    // The menu's jobs.
    void new_film();
    void place_frame();
    void load_film();
    void save_film();
    void export_film(int kind);  // 0 FLIC, 1 GIF, 2 MNG, 3 AVI

    QSpinBox* frame_box() const { return frame_; }
    QSpinBox* speed_box() const { return speed_; }
    QPushButton* play_button() const { return play_; }
    QLabel* counter_label() const { return counter_; }
    QLabel* time_label() const { return time_; }
    FilmStrip* strip() const { return strip_; }
    QMenuBar* menu_bar() const { return menu_; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void update_controls();
    MainWindow* main_;
    QMenuBar* menu_;
    FilmPicture* picture_;
    FilmStrip* strip_;
    QScrollArea* scroll_;
    QSpinBox* frame_;
    QSpinBox* speed_;
    QCheckBox* pong_;
    QPushButton* play_;
    QLabel* counter_;
    QLabel* time_;
    QTimer* timer_;
    int direction_ = 1;
    bool updating_ = false;
};

// The animation settings dialog "GIFPARMS": the frame delay (0 to 9999
// hundredths of a second; other input is refused and the field reset), loop,
// ping-pong and common palette.
class GifParamsDialog : public QDialog {
    Q_OBJECT
public:
    GifParamsDialog(QWidget* parent, const FilmExportOptions& options);
    // The options as the dialog holds them; false while the delay is not valid.
    bool take(FilmExportOptions& options) const;
    QLineEdit* delay_field() const { return delay_; }
    QCheckBox* loop_box() const { return loop_; }
    QCheckBox* pingpong_box() const { return pingpong_; }
    QCheckBox* palette_box() const { return palette_; }

private:
    void check_delay();
    QLineEdit* delay_;
    QCheckBox* loop_;
    QCheckBox* pingpong_;
    QCheckBox* palette_;
    QString last_good_;
};

// The window, made on first use when `make`.
FilmWindow* film_window(MainWindow* window, bool make = true);
// The menu entry and the hooks (start-up).
void install_film_menu();

} // namespace ws
