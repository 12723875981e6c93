// The timeline window ("timeClass"): the grid of levels by frames with the
// five grids of each level, cells set from the current image, area and
// operation (a drag along a row holds the entry over the frames), and the
// buttons Load, Save, Generate, Sizing, Setup, Close and New.  Trend windows
// ("trendClass") draw a trend's keys and values and let the user drag keys,
// switch the spline and type values.
#pragma once

#include "timeline/timeline.h"

#include <QDialog>
#include <QPoint>
#include <QString>
#include <QWidget>

class QCheckBox;
class QLabel;
class QPushButton;
class QScrollArea;
class QSpinBox;
struct Image;

namespace ws {

class MainWindow;
class TimelineWindow;

// Where a point of the grid lies: a level, one of its grids and a frame.
struct GridPlace {
    long level = -1;
    Grid grid = Grid::Source;
    long frame = -1;
    bool valid() const { return level >= 0 && frame >= 0; }
};

class TimelineGrid : public QWidget {
    Q_OBJECT
public:
    explicit TimelineGrid(TimelineWindow* window);
    QSize sizeHint() const override;
    // The place under a point, and the centre of a place (tests drive the
    // mouse with it).
    GridPlace place_at(QPoint p) const;
    QPoint centre_of(long level, Grid grid, long frame) const;
    void refresh();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    int rows() const;
    void track(QPoint p);
    TimelineWindow* window_;
    GridPlace pressed_, current_;
    bool dragging_ = false;
};

class TrendWindow;

// The drawing of a trend: frames across, values up, the keys as squares.  A
// key is dragged with the left button; a double-click puts a key there; the
// right button takes a key away.
class TrendPlot : public QWidget {
public:
    explicit TrendPlot(TrendWindow* window);
    QSize sizeHint() const override;
    QPoint point_of(long frame, double value) const;
    long frame_at(int x) const;
    int32_t value_at(int y) const;
    int key_near(QPoint p) const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    // The value range drawn: the limits, widened to the keys.
    void range(double& low, double& high) const;
    QRect area() const;
    TrendWindow* window_;
    int dragging_ = -1;
};

class TrendWindow : public QWidget {
    Q_OBJECT
public:
    TrendWindow(QWidget* parent, Trend* trend);
    ~TrendWindow() override;
    Trend* trend() const { return trend_; }
    TrendPlot* plot() const { return plot_; }
    QCheckBox* spline_box() const { return spline_; }
    QSpinBox* frame_box() const { return frame_; }
    QSpinBox* value_box() const { return value_; }
    int selected() const { return selected_; }
    void select_key(int index);
    // The trend changed (keys, spline, size): redraw and show the key.
    void trend_changed();
    // The trend is going: the window closes.
    void trend_gone();

private:
    void edited();
    Trend* trend_;
    TrendPlot* plot_;
    QCheckBox* spline_;
    QSpinBox* frame_;
    QSpinBox* value_;
    QPushButton* remove_;
    QLabel* info_;
    int selected_ = -1;
    bool updating_ = false;
};

class TimelineWindow : public QWidget {
    Q_OBJECT
public:
    explicit TimelineWindow(MainWindow* window);
    MainWindow* main() const { return window_; }
    TimelineGrid* grid() const { return grid_; }
    QPushButton* button(const char* name) const;

    // The entry a drag made: frames first .. last of a level's grid from
    // the current image (source, brush, action), area or operation.  False
    // (reported) when there is nothing to take.
    bool set_from_current(long level, Grid grid, long first, long last);
    // Empties the entry in force at a frame (or the frame alone).
    void clear_entry(long level, Grid grid, long frame);
    // The trend window of an operation variable or a level setting.
    TrendWindow* open_trend(long level, int32_t command, int slot);
    TrendWindow* open_level_trend(long level, int variable);
    // The entry's own values: a file's re-load, start and increment, an
    // operation's interpolation and parameter file.
    void edit_entry(long level, Grid grid, long frame);
    void context_menu(const GridPlace& at, QPoint global);

    // The buttons' jobs.
    void new_timeline();
    void load();
    void save();
    void sizing();
    void setup();
    // Sizing without asking: the new frame count.
    bool resize_to(long frames);
    // Generate: the frames to generate into the film strip and the sequence
    // output, shown in the "Sequence" view as they are made; the progress
    // meter's cancel stops it.  A SequenceResult.
    int generate();
    // The image of the view that shows the frames, null when none.
    static Image* sequence_image();

    // The grid and the status line follow the timeline.
    void refresh();

private:
    bool refuse_while_generating();
    QString suggested_name() const;

    MainWindow* window_;
    TimelineGrid* grid_;
    QScrollArea* scroll_;
    QLabel* status_;
    std::string last_file_;
};

// The window (made on first use when `make`); null when none.
TimelineWindow* timeline_window(MainWindow* window, bool make = true);
// The Sequence menu: the timeline window and project files.
void install_timeline_menu();

} // namespace ws
