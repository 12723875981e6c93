#include "ui/qt/timeline_window.h"

#include "core/image.h"
#include "core/messages.h"
#include "core/settings.h"
#include "ops/catalogue.h"
#include "ops/framework.h"
#include "timeline/project.h"
#include "timeline/sequence.h"
#include "ui/qt/image_view.h"
#include "ui/qt/main_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QPushButton>
#include <QScrollArea>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace ws {

namespace {

constexpr int kLabelWidth = 72;
constexpr int kHeaderHeight = 20;
constexpr int kCellWidth = 40;
constexpr int kRowHeight = 18;
// The grids of a level, top to bottom, in the order the file writes them.
constexpr Grid kRows[kGridCount] = {Grid::Source, Grid::Brush, Grid::Area, Grid::Op, Grid::Action};

QPointer<TimelineWindow> g_window;

// The view that shows the frames of a sequence as they are made: its image
// is the workstation's own, a copy of each finished frame.
Image* g_sequence_image = nullptr;

bool sequence_image_shown(MainWindow* w)
{
    return g_sequence_image && image_store_contains(g_sequence_image) && !w->views_of(g_sequence_image).empty();
}

void show_sequence_frame(Image* frame, long index)
{
    MainWindow* w = main_window();
    if (!w || !frame)
        return;
    ImageLock from(frame);
    if (!from)
        return;
    if (!sequence_image_shown(w) || g_sequence_image->width != frame->width ||
        g_sequence_image->height != frame->height) {
        Image* img = image_new(frame->width, frame->height, "iseq");
        if (!img) {
            message_show(msg::NoMemoryNewImage);
            return;
        }
        std::snprintf(img->name, sizeof img->name, "Sequence");
        g_sequence_image = img;
        w->add_view(img);
    }
    ImageLock to(g_sequence_image);
    if (!to)
        return;
    std::memcpy(g_sequence_image->pixels, frame->pixels, static_cast<size_t>(frame->width) * static_cast<size_t>(frame->height) * 4);
    g_sequence_image->alpha = frame->alpha;
    std::snprintf(g_sequence_image->name, sizeof g_sequence_image->name, "Sequence frame %ld", index + 1);
    to.release();
    w->redraw(g_sequence_image, nullptr);
    for (ImageView* v : w->views_of(g_sequence_image))
        Q_EMIT v->title_changed();
}

void sequence_running(bool on)
{
    if (TimelineWindow* t = g_window)
        t->grid()->setEnabled(!on);
}

// The save types a sequence can be written as, with the animation forms.
struct SeqTypeChoice {
    long type;
    const char* label;
};
const SeqTypeChoice kSeqTypes[] = {
    {11, "PNG files"},   {0, "BMP files"},        {5, "Targa files"},     {2, "IFF files"},
    {4, "PCX files"},    {3, "JPEG files"},       {6, "TIFF files"},      {10, "GIF files"},
    {23, "GIF animation"}, {22, "MNG animation"}, {1, "FLC animation"},   {8, "AVI file"},
};

QColor grid_colour(Grid g)
{
    switch (g) {
    case Grid::Source: return QColor(120, 170, 230);
    case Grid::Brush: return QColor(150, 200, 140);
    case Grid::Area: return QColor(230, 190, 110);
    case Grid::Op: return QColor(220, 130, 130);
    case Grid::Action: return QColor(180, 150, 220);
    }
    return Qt::gray;
}

// What a record shows in its cells.
QString record_text(Grid g, Cell c)
{
    if (g == Grid::Op) {
        const OpDescriptor* d = op_by_command(cell_record<TimelineOp>(c)->command);
        return QString::fromLatin1(d ? d->name : "?");
    }
    if (g == Grid::Area) {
        const char* mode = timeline_area_mode_name(cell_record<TimelineArea>(c)->mode);
        return QString::fromLatin1(mode ? mode : "?");
    }
    return QFileInfo(QString::fromLocal8Bit(cell_record<TimelineFile>(c)->name)).fileName();
}

// The last frame of the entry whose record is at `first`.
long span_end(long level, Grid g, long first)
{
    long f = first;
    while (f + 1 < timeline().frames) {
        Cell next = timeline_cell(level, f + 1, g);
        if (next != CELL_CONTINUE && next != CELL_END)
            break;
        ++f;
        if (next == CELL_END)
            break;
    }
    return f;
}

void forget_trend_window(Trend* t)
{
    auto* w = static_cast<TrendWindow*>(t->window);
    t->window = nullptr;
    if (w)
        w->trend_gone();
}

void redraw_trend_window(Trend* t)
{
    if (auto* w = static_cast<TrendWindow*>(t->window))
        w->trend_changed();
}

void set_geometry_from(QWidget* w, const long pos[4])
{
    if (pos[2] > 50 && pos[3] > 50)
        w->setGeometry(static_cast<int>(pos[0]), static_cast<int>(pos[1]), static_cast<int>(pos[2]),
                       static_cast<int>(pos[3]));
}

std::string folder_of(const std::string& path)
{
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

} // namespace

// ---------------------------------------------------------------- the grid

TimelineGrid::TimelineGrid(TimelineWindow* window) : QWidget(window), window_(window)
{
    setObjectName("timeline_grid");
    setMouseTracking(false);
    setFocusPolicy(Qt::StrongFocus);
    refresh();
}

int TimelineGrid::rows() const
{
    // The levels in use and one more to start a new level on.
    return std::min(timeline_levels_in_use() + 1, kTimelineLevels) * kGridCount;
}

QSize TimelineGrid::sizeHint() const
{
    return {kLabelWidth + static_cast<int>(timeline().frames) * kCellWidth + 1, kHeaderHeight + rows() * kRowHeight + 1};
}

void TimelineGrid::refresh()
{
    setFixedSize(sizeHint());
    update();
}

GridPlace TimelineGrid::place_at(QPoint p) const
{
    GridPlace at;
    if (p.x() < kLabelWidth || p.y() < kHeaderHeight)
        return at;
    long frame = (p.x() - kLabelWidth) / kCellWidth;
    int row = (p.y() - kHeaderHeight) / kRowHeight;
    if (frame >= timeline().frames || row >= rows())
        return at;
    at.level = row / kGridCount;
    at.grid = kRows[row % kGridCount];
    at.frame = frame;
    return at;
}

QPoint TimelineGrid::centre_of(long level, Grid grid, long frame) const
{
    int sub = 0;
    while (kRows[sub] != grid)
        ++sub;
    int row = static_cast<int>(level) * kGridCount + sub;
    return {kLabelWidth + static_cast<int>(frame) * kCellWidth + kCellWidth / 2,
            kHeaderHeight + row * kRowHeight + kRowHeight / 2};
}

void TimelineGrid::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), palette().base());
    const long frames = timeline().frames;
    const int n = rows();
    QFontMetrics fm(font());
    // Frame numbers.
    p.setPen(palette().text().color());
    for (long f = 0; f < frames; ++f)
        p.drawText(QRect(kLabelWidth + static_cast<int>(f) * kCellWidth, 0, kCellWidth, kHeaderHeight),
                   Qt::AlignCenter, QString::number(f + 1));
    for (int row = 0; row < n; ++row) {
        const long level = row / kGridCount;
        const Grid g = kRows[row % kGridCount];
        const int y = kHeaderHeight + row * kRowHeight;
        if (row % kGridCount == 0) {
            p.fillRect(QRect(0, y, width(), kRowHeight * kGridCount), (level % 2) ? palette().alternateBase()
                                                                                 : palette().base());
            p.setPen(QPen(palette().text().color(), 1));
            p.drawLine(0, y, width(), y);
            p.drawText(QRect(2, y, 28, kRowHeight), Qt::AlignLeft | Qt::AlignVCenter, QString::number(level + 1));
        }
        p.setPen(palette().text().color());
        p.drawText(QRect(30, y, kLabelWidth - 32, kRowHeight), Qt::AlignLeft | Qt::AlignVCenter, grid_word(g));
        p.setPen(QPen(palette().mid().color(), 1, Qt::DotLine));
        p.drawLine(kLabelWidth, y + kRowHeight, width(), y + kRowHeight);
        // The entries of the row.
        for (long f = 0; f < frames; ++f) {
            Cell c = timeline_cell(level, f, g);
            QRect cell(kLabelWidth + static_cast<int>(f) * kCellWidth, y, kCellWidth, kRowHeight);
            if (cell_is_record(c)) {
                long end = span_end(level, g, f);
                QRect span(cell.left() + 1, y + 2, static_cast<int>(end - f + 1) * kCellWidth - 2, kRowHeight - 4);
                p.setPen(QPen(grid_colour(g).darker(150), 1));
                p.setBrush(grid_colour(g));
                p.drawRoundedRect(span, 3, 3);
                p.setPen(Qt::black);
                p.drawText(span.adjusted(3, 0, -3, 0), Qt::AlignLeft | Qt::AlignVCenter,
                           fm.elidedText(record_text(g, c), Qt::ElideRight, span.width() - 6));
                f = end;
            } else if (c == CELL_CONTINUE || c == CELL_END) {
                // Markers without their record (left by an older file).
                p.setPen(QPen(grid_colour(g).darker(150), 2));
                p.drawLine(cell.left(), cell.center().y(), cell.right(), cell.center().y());
                if (c == CELL_END)
                    p.drawLine(cell.right() - 1, y + 3, cell.right() - 1, y + kRowHeight - 3);
            }
        }
    }
    // Frame columns.
    p.setPen(QPen(palette().mid().color(), 1));
    for (long f = 0; f <= frames; ++f) {
        int x = kLabelWidth + static_cast<int>(f) * kCellWidth;
        p.drawLine(x, kHeaderHeight, x, kHeaderHeight + n * kRowHeight);
    }
    // The frames a drag covers.
    if (dragging_ && pressed_.valid() && current_.valid()) {
        long a = std::min(pressed_.frame, current_.frame), b = std::max(pressed_.frame, current_.frame);
        QPoint c = centre_of(pressed_.level, pressed_.grid, a);
        QRect r(kLabelWidth + static_cast<int>(a) * kCellWidth, c.y() - kRowHeight / 2,
                static_cast<int>(b - a + 1) * kCellWidth, kRowHeight);
        p.setPen(QPen(palette().highlight().color(), 2));
        p.setBrush(Qt::NoBrush);
        p.drawRect(r.adjusted(1, 1, -1, -1));
    } else if (current_.valid() && hasFocus()) {
        QPoint c = centre_of(current_.level, current_.grid, current_.frame);
        p.setPen(QPen(palette().highlight().color(), 1, Qt::DashLine));
        p.setBrush(Qt::NoBrush);
        p.drawRect(QRect(c.x() - kCellWidth / 2, c.y() - kRowHeight / 2, kCellWidth - 1, kRowHeight - 1));
    }
}

void TimelineGrid::mousePressEvent(QMouseEvent* event)
{
    GridPlace at = place_at(event->position().toPoint());
    if (!at.valid())
        return;
    current_ = at;
    if (event->button() == Qt::RightButton) {
        update();
        window_->context_menu(at, event->globalPosition().toPoint());
        return;
    }
    if (event->button() != Qt::LeftButton)
        return;
    pressed_ = at;
    dragging_ = true;
    update();
}

void TimelineGrid::track(QPoint p)
{
    // The drag stays on its row: only the frame follows the mouse.
    long frame = std::clamp<long>((p.x() - kLabelWidth) / kCellWidth, 0, timeline().frames - 1);
    if (p.x() < kLabelWidth)
        frame = 0;
    if (frame != current_.frame || current_.level != pressed_.level || current_.grid != pressed_.grid) {
        current_ = pressed_;
        current_.frame = frame;
        update();
    }
}

void TimelineGrid::mouseMoveEvent(QMouseEvent* event)
{
    if (dragging_)
        track(event->position().toPoint());
}

void TimelineGrid::mouseReleaseEvent(QMouseEvent* event)
{
    if (!dragging_ || event->button() != Qt::LeftButton)
        return;
    track(event->position().toPoint());
    dragging_ = false;
    GridPlace from = pressed_;
    long last = current_.frame;
    pressed_ = GridPlace{};
    window_->set_from_current(from.level, from.grid, std::min(from.frame, last), std::max(from.frame, last));
    current_ = from;
    update();
}

void TimelineGrid::mouseDoubleClickEvent(QMouseEvent* event)
{
    GridPlace at = place_at(event->position().toPoint());
    if (at.valid() && timeline_effective(at.level, at.frame, at.grid) >= 0)
        window_->edit_entry(at.level, at.grid, at.frame);
}

void TimelineGrid::keyPressEvent(QKeyEvent* event)
{
    if ((event->key() == Qt::Key_Delete || event->key() == Qt::Key_Backspace) && current_.valid()) {
        window_->clear_entry(current_.level, current_.grid, current_.frame);
        return;
    }
    QWidget::keyPressEvent(event);
}

// ---------------------------------------------------------------- trend windows

TrendPlot::TrendPlot(TrendWindow* window) : QWidget(window), window_(window)
{
    setObjectName("trend_plot");
    setMinimumSize(320, 160);
}

QSize TrendPlot::sizeHint() const
{
    return {480, 220};
}

QRect TrendPlot::area() const
{
    return rect().adjusted(48, 10, -12, -22);
}

void TrendPlot::range(double& low, double& high) const
{
    const Trend* t = window_->trend();
    low = t->limit_low;
    high = t->limit_high;
    // Very wide ranges are drawn around what the trend uses.
    if (high - low > 2000) {
        double a = t->key_values[0], b = a;
        for (int k = 0; k < t->key_count; ++k)
            a = std::min<double>(a, t->key_values[k]), b = std::max<double>(b, t->key_values[k]);
        for (long f = 0; f < t->frames; ++f)
            a = std::min<double>(a, t->values[f]), b = std::max<double>(b, t->values[f]);
        double pad = std::max(10.0, (b - a) / 4);
        low = std::max<double>(low, a - pad);
        high = std::min<double>(high, b + pad);
    }
    if (high <= low)
        high = low + 1;
}

QPoint TrendPlot::point_of(long frame, double value) const
{
    const Trend* t = window_->trend();
    QRect a = area();
    double low, high;
    range(low, high);
    double fx = t->frames > 1 ? static_cast<double>(frame) / static_cast<double>(t->frames - 1) : 0;
    double fy = (value - low) / (high - low);
    return {a.left() + static_cast<int>(std::lround(fx * a.width())),
            a.bottom() - static_cast<int>(std::lround(fy * a.height()))};
}

long TrendPlot::frame_at(int x) const
{
    const Trend* t = window_->trend();
    QRect a = area();
    double fx = static_cast<double>(x - a.left()) / std::max(1, a.width());
    return std::clamp<long>(std::lround(fx * static_cast<double>(t->frames - 1)), 0, t->frames - 1);
}

int32_t TrendPlot::value_at(int y) const
{
    const Trend* t = window_->trend();
    QRect a = area();
    double low, high;
    range(low, high);
    double fy = static_cast<double>(a.bottom() - y) / std::max(1, a.height());
    double v = std::clamp(low + fy * (high - low), static_cast<double>(t->limit_low), static_cast<double>(t->limit_high));
    return static_cast<int32_t>(std::lround(v));
}

int TrendPlot::key_near(QPoint p) const
{
    const Trend* t = window_->trend();
    int best = -1, best_d = 8 * 8;
    for (int k = 0; t && k < t->key_count; ++k) {
        QPoint q = point_of(t->key_frames[k], t->key_values[k]);
        int d = (q.x() - p.x()) * (q.x() - p.x()) + (q.y() - p.y()) * (q.y() - p.y());
        if (d <= best_d)
            best = k, best_d = d;
    }
    return best;
}

void TrendPlot::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), palette().base());
    const Trend* t = window_->trend();
    if (!t)
        return;
    QRect a = area();
    double low, high;
    range(low, high);
    p.setPen(palette().mid().color());
    p.drawRect(a);
    p.setPen(palette().text().color());
    p.drawText(QRect(0, a.top() - 6, a.left() - 4, 14), Qt::AlignRight, QString::number(std::lround(high)));
    p.drawText(QRect(0, a.bottom() - 8, a.left() - 4, 14), Qt::AlignRight, QString::number(std::lround(low)));
    p.drawText(QRect(a.left(), a.bottom() + 4, 40, 14), Qt::AlignLeft, "1");
    p.drawText(QRect(a.right() - 40, a.bottom() + 4, 40, 14), Qt::AlignRight, QString::number(t->frames));
    // The values of every frame, then the keys.
    QPainterPath path;
    for (long f = 0; f < t->frames; ++f) {
        QPoint q = point_of(f, t->values[f]);
        if (f == 0)
            path.moveTo(q);
        else
            path.lineTo(q);
    }
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(40, 90, 200), 2));
    p.drawPath(path);
    for (int k = 0; k < t->key_count; ++k) {
        QPoint q = point_of(t->key_frames[k], t->key_values[k]);
        p.setPen(Qt::black);
        p.setBrush(k == window_->selected() ? QColor(230, 60, 40) : QColor(250, 250, 250));
        p.drawRect(q.x() - 4, q.y() - 4, 8, 8);
    }
}

void TrendPlot::mousePressEvent(QMouseEvent* event)
{
    Trend* t = window_->trend();
    if (!t)
        return;
    int k = key_near(event->position().toPoint());
    if (event->button() == Qt::RightButton) {
        if (k >= 0 && trend_remove_key(t, k) == 0) {
            window_->select_key(-1);
            window_->trend_changed();
            timeline_mark_changed();
            if (TimelineWindow* w = g_window)
                w->refresh();
        }
        return;
    }
    if (event->button() == Qt::LeftButton) {
        window_->select_key(k);
        dragging_ = k;
    }
}

void TrendPlot::mouseMoveEvent(QMouseEvent* event)
{
    Trend* t = window_->trend();
    if (!t || dragging_ < 0)
        return;
    QPoint p = event->position().toPoint();
    trend_move_key(t, dragging_, frame_at(p.x()), value_at(p.y()));
    timeline_mark_changed();
    window_->select_key(dragging_);
}

void TrendPlot::mouseReleaseEvent(QMouseEvent* event)
{
    if (dragging_ >= 0 && event->button() == Qt::LeftButton) {
        mouseMoveEvent(event);
        dragging_ = -1;
        if (TimelineWindow* w = g_window)
            w->refresh();
    }
}

void TrendPlot::mouseDoubleClickEvent(QMouseEvent* event)
{
    Trend* t = window_->trend();
    if (!t || event->button() != Qt::LeftButton)
        return;
    QPoint p = event->position().toPoint();
    long frame = frame_at(p.x());
    if (trend_add_key(t, frame, value_at(p.y())) == 0) {
        timeline_mark_changed();
        window_->select_key(trend_key_at(t, frame));
    }
}

TrendWindow::TrendWindow(QWidget* parent, Trend* trend) : QWidget(parent, Qt::Tool), trend_(trend)
{
    setObjectName("trendClass");
    setAttribute(Qt::WA_DeleteOnClose);
    trend->window = this;
    const OpDescriptor* d = trend->owner ? op_by_command(static_cast<int32_t>(trend->owner)) : nullptr;
    setWindowTitle(d ? QString("Trend - %1: %2 (Level: %3)").arg(d->name, trend->name).arg(trend->level + 1)
                     : QString("Trend - %1 (Level: %2)").arg(trend->name).arg(trend->level + 1));
    auto* layout = new QVBoxLayout(this);
    plot_ = new TrendPlot(this);
    layout->addWidget(plot_, 1);
    auto* row = new QHBoxLayout;
    spline_ = new QCheckBox("Splined", this);
    spline_->setObjectName("trend_splined");
    frame_ = new QSpinBox(this);
    frame_->setObjectName("trend_frame");
    value_ = new QSpinBox(this);
    value_->setObjectName("trend_value");
    value_->setRange(trend->limit_low, trend->limit_high);
    remove_ = new QPushButton("Remove Key", this);
    remove_->setObjectName("trend_remove");
    row->addWidget(spline_);
    row->addWidget(new QLabel("Key frame:", this));
    row->addWidget(frame_);
    row->addWidget(new QLabel("Value:", this));
    row->addWidget(value_);
    row->addWidget(remove_);
    row->addStretch(1);
    layout->addLayout(row);
    info_ = new QLabel(this);
    info_->setObjectName("trend_info");
    info_->setText("Drag a key; double-click adds one; the right button takes one away.");
    layout->addWidget(info_);
    set_geometry_from(this, settings().pos_trend);

    connect(spline_, &QCheckBox::toggled, this, [this](bool on) {
        if (updating_ || !trend_)
            return;
        trend_->splined = on ? 1 : 0;
        trend_recompute(trend_);
        edited();
    });
    auto key_edited = [this] {
        if (updating_ || !trend_ || selected_ < 0)
            return;
        long frame = frame_->value() - 1;
        trend_move_key(trend_, selected_, frame, value_->value());
        edited();
    };
    connect(frame_, &QSpinBox::valueChanged, this, key_edited);
    connect(value_, &QSpinBox::valueChanged, this, key_edited);
    connect(remove_, &QPushButton::clicked, this, [this] {
        if (trend_ && selected_ >= 0 && trend_remove_key(trend_, selected_) == 0) {
            selected_ = -1;
            edited();
        }
    });
    select_key(0);
    trend_changed();
}

TrendWindow::~TrendWindow()
{
    if (trend_ && trend_->window == this)
        trend_->window = nullptr;
}

void TrendWindow::edited()
{
    timeline_mark_changed();
    trend_changed();
    if (TimelineWindow* w = g_window)
        w->refresh();
}

void TrendWindow::select_key(int index)
{
    selected_ = trend_ && index >= 0 && index < trend_->key_count ? index : -1;
    trend_changed();
}

void TrendWindow::trend_changed()
{
    if (!trend_)
        return;
    updating_ = true;
    spline_->setChecked(trend_->splined != 0);
    frame_->setRange(1, static_cast<int>(trend_->frames));
    bool key = selected_ >= 0 && selected_ < trend_->key_count;
    frame_->setEnabled(key);
    value_->setEnabled(key);
    remove_->setEnabled(key && selected_ > 0 && selected_ < trend_->key_count - 1);
    if (key) {
        frame_->setValue(trend_->key_frames[selected_] + 1);
        value_->setValue(trend_->key_values[selected_]);
    }
    updating_ = false;
    plot_->update();
}

void TrendWindow::trend_gone()
{
    trend_ = nullptr;
    close();
}

// ---------------------------------------------------------------- the window

TimelineWindow::TimelineWindow(MainWindow* window) : QWidget(window, Qt::Tool), window_(window)
{
    setObjectName("timeClass");
    setWindowTitle("Time Line");
    auto* layout = new QVBoxLayout(this);
    auto* buttons = new QHBoxLayout;
    struct ButtonDef {
        const char* name;
        const char* text;
        void (TimelineWindow::*job)();
    };
    const ButtonDef defs[] = {
        {"tl_new", "New", &TimelineWindow::new_timeline}, {"tl_load", "Load", &TimelineWindow::load},
        {"tl_save", "Save", &TimelineWindow::save},       {"tl_generate", "Generate", nullptr},  // connected below
        {"tl_sizing", "Sizing", &TimelineWindow::sizing}, {"tl_setup", "Setup", &TimelineWindow::setup},
        {"tl_close", "Close", nullptr},
    };
    for (const ButtonDef& d : defs) {
        auto* b = new QPushButton(d.text, this);
        b->setObjectName(d.name);
        b->setAutoDefault(false);
        buttons->addWidget(b);
        if (d.job)
            connect(b, &QPushButton::clicked, this, [this, job = d.job] { (this->*job)(); });
    }
    connect(button("tl_generate"), &QPushButton::clicked, this, [this] { generate(); });
    button("tl_generate")->setToolTip("Generate the frames to generate (Setup) into the film strip and the sequence output.");
    connect(button("tl_close"), &QPushButton::clicked, this, &QWidget::close);
    buttons->addStretch(1);
    layout->addLayout(buttons);
    grid_ = new TimelineGrid(this);
    scroll_ = new QScrollArea(this);
    scroll_->setWidget(grid_);
    layout->addWidget(scroll_, 1);
    status_ = new QLabel(this);
    status_->setObjectName("tl_status");
    layout->addWidget(status_);
    auto* hint = new QLabel("Drag along a row to hold the current image, area or operation over the frames; "
                            "the right button clears an entry and opens trends.",
                            this);
    hint->setWordWrap(true);
    layout->addWidget(hint);
    set_geometry_from(this, settings().pos_time);
    if (width() < 480)
        resize(640, 360);
    refresh();
}

QPushButton* TimelineWindow::button(const char* name) const
{
    return findChild<QPushButton*>(name);
}

void TimelineWindow::refresh()
{
    grid_->refresh();
    const TimelineState& tl = timeline();
    QString file = tl.path.empty() ? QString("untitled") : QFileInfo(QString::fromLocal8Bit(tl.path.c_str())).fileName();
    status_->setText(QString("%1: %2 frames, %3 levels in use%4")
                         .arg(file)
                         .arg(tl.frames)
                         .arg(timeline_levels_in_use())
                         .arg(tl.changed ? ", changed" : ""));
}

bool TimelineWindow::refuse_while_generating()
{
    if (!timeline().generating)
        return false;
    message_show(msg::OperationInProgress);
    return true;
}

bool TimelineWindow::set_from_current(long level, Grid grid, long first, long last)
{
    Cell record = CELL_EMPTY;
    if (grid == Grid::Op) {
        int32_t command = op_state().current;
        if (!command || !op_by_command(command)) {
            error_box("There is no current operation to put in the Time Line.");
            return false;
        }
        record = as_cell(timeline_op_capture(command));
    } else if (grid == Grid::Area) {
        record = area_state().present ? as_cell(timeline_area_capture(area_settings(), area_state().shape.name.c_str()))
                                      : as_cell(timeline_area_new());
    } else {
        Image* image = nullptr;
        if (grid == Grid::Source)
            image = image_role(ImageRole::Source);
        else if (grid == Grid::Brush)
            image = image_role(ImageRole::Brush);
        if (!image) {
            ImageView* v = window_->active_view();
            image = v ? v->image() : image_role(ImageRole::Target);
        }
        if (!image) {
            message_show(msg::NoImagesLoaded, "To put in the Time Line.");
            return false;
        }
        if (!image->path[0]) {
            error_box("Save the image first: the Time Line names images by their files.", image->name);
            return false;
        }
        record = as_cell(timeline_file_new(image->path));
    }
    if (record == CELL_EMPTY) {
        message_show(msg::NoMemoryOperation);
        return false;
    }
    bool ok = timeline_hold(level, first, last, grid, record) == 0;
    refresh();
    return ok;
}

void TimelineWindow::clear_entry(long level, Grid grid, long frame)
{
    long from = timeline_effective(level, frame, grid);
    if (from >= 0)
        timeline_clear_cells(level, from, span_end(level, grid, from), grid);
    else
        timeline_clear_cells(level, frame, frame, grid);
    refresh();
}

TrendWindow* TimelineWindow::open_trend(long level, int32_t command, int slot)
{
    Trend* t = timeline_var_trend(level, command, slot);
    if (!t)
        return nullptr;
    auto* w = static_cast<TrendWindow*>(t->window);
    if (!w)
        w = new TrendWindow(this, t);
    w->show();
    w->raise();
    refresh();
    return w;
}

TrendWindow* TimelineWindow::open_level_trend(long level, int variable)
{
    Trend* t = timeline_level_trend(level, variable);
    if (!t)
        return nullptr;
    auto* w = static_cast<TrendWindow*>(t->window);
    if (!w)
        w = new TrendWindow(this, t);
    w->show();
    w->raise();
    refresh();
    return w;
}

void TimelineWindow::context_menu(const GridPlace& at, QPoint global)
{
    QMenu menu(this);
    const long from = timeline_effective(at.level, at.frame, at.grid);
    menu.addAction("Set From Current", this,
                   [this, at] { set_from_current(at.level, at.grid, at.frame, at.frame); });
    QAction* clear = menu.addAction("Clear Entry", this, [this, at] { clear_entry(at.level, at.grid, at.frame); });
    clear->setEnabled(from >= 0 || timeline_cell(at.level, at.frame, at.grid) != CELL_EMPTY);
    QAction* edit = menu.addAction("Entry Values...", this, [this, at] { edit_entry(at.level, at.grid, at.frame); });
    edit->setEnabled(from >= 0 && at.grid != Grid::Area);
    if (at.grid == Grid::Op && from >= 0) {
        const TimelineOp* op = cell_record<TimelineOp>(timeline_cell(at.level, from, Grid::Op));
        QMenu* trends = menu.addMenu("Trend");
        for (const TimelineVar& v : op->vars)
            if (v.slot >= 0) {
                int32_t command = v.command;
                int slot = v.slot;
                trends->addAction(QString::fromLatin1(timeline_var_name(v)), this,
                                  [this, at, command, slot] { open_trend(at.level, command, slot); });
            }
    }
    QMenu* level = menu.addMenu("Level Trend");
    for (int i = 0; i < kLevelVariables; ++i)
        level->addAction(QString::fromLatin1(level_variable_info(i).name), this,
                         [this, at, i] { open_level_trend(at.level, i); });
    menu.exec(global);
}

void TimelineWindow::edit_entry(long level, Grid grid, long frame)
{
    long from = timeline_effective(level, frame, grid);
    if (from < 0 || grid == Grid::Area)
        return;
    Cell c = timeline_cell(level, from, grid);
    QDialog dialog(this);
    dialog.setWindowTitle(QString("Level %1, Frame %2").arg(level + 1).arg(from + 1));
    auto* form = new QFormLayout(&dialog);
    auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    connect(box, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    connect(box, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    if (grid == Grid::Op) {
        auto* op = cell_record<TimelineOp>(c);
        auto* interpolate = new QCheckBox(&dialog);
        interpolate->setChecked(op->interpolate != 0);
        auto* pfile = new QLineEdit(QString::fromLocal8Bit(op->pfile), &dialog);
        pfile->setMaxLength(kTimelinePfileMax);
        form->addRow("Interpolate:", interpolate);
        form->addRow("Parameter file:", pfile);
        form->addRow(box);
        if (dialog.exec() != QDialog::Accepted)
            return;
        op->interpolate = interpolate->isChecked() ? 1 : 0;
        QByteArray p = pfile->text().remove('"').toLocal8Bit();
        std::snprintf(op->pfile, sizeof op->pfile, "%s", p.constData());
    } else {
        auto* r = cell_record<TimelineFile>(c);
        auto* name = new QLineEdit(QString::fromLocal8Bit(r->name), &dialog);
        name->setMaxLength(kTimelineNameMax);
        auto* reload = new QCheckBox(&dialog);
        reload->setChecked(r->reload != 0);
        auto* start = new QSpinBox(&dialog);
        start->setRange(1, 100000);
        start->setValue(r->start);
        auto* increment = new QSpinBox(&dialog);
        increment->setRange(-100000, 100000);
        increment->setValue(r->increment);
        form->addRow("File or Level(n):", name);
        form->addRow("Re-load each frame:", reload);
        form->addRow("Start frame:", start);
        form->addRow("Increment:", increment);
        form->addRow(box);
        if (dialog.exec() != QDialog::Accepted)
            return;
        QByteArray n = name->text().remove('"').toLocal8Bit();
        if (!n.isEmpty())
            std::snprintf(r->name, sizeof r->name, "%s", n.constData());
        r->reload = reload->isChecked() ? 1 : 0;
        r->start = start->value();
        r->increment = increment->value();
    }
    timeline_mark_changed();
    refresh();
}

QString TimelineWindow::suggested_name() const
{
    if (!timeline().path.empty())
        return QString::fromLocal8Bit(timeline().path.c_str());
    if (!last_file_.empty())
        return QString::fromLocal8Bit(last_file_.c_str());
    QString folder = QString::fromLocal8Bit(settings().timeline_path.c_str());
    return folder.isEmpty() ? QString("TIMELINE.tml") : folder + "/TIMELINE.tml";
}

void TimelineWindow::new_timeline()
{
    if (refuse_while_generating() || timeline_ask_save() != 0)
        return;
    timeline_new(timeline().frames);
    refresh();
}

void TimelineWindow::load()
{
    if (refuse_while_generating() || timeline_ask_save() != 0)
        return;
    std::string path = ui::platform().choose_file(false, "Load TimeLine", "TimeLine (*.tml)",
                                                  suggested_name().toLocal8Bit().toStdString());
    if (path.empty())
        return;
    timeline_load(path.c_str());
    last_file_ = path;
    settings().timeline_path = folder_of(path);
    refresh();
}

void TimelineWindow::save()
{
    std::string path = ui::platform().choose_file(true, "Save TimeLine", "TimeLine (*.tml)",
                                                  suggested_name().toLocal8Bit().toStdString());
    if (path.empty())
        return;
    if (timeline_save(path.c_str()) == 0) {
        last_file_ = path;
        settings().timeline_path = folder_of(path);
    }
    refresh();
}

bool TimelineWindow::resize_to(long frames)
{
    if (refuse_while_generating())
        return false;
    bool ok = timeline_set_frames(frames) == 0;
    refresh();
    return ok;
}

void TimelineWindow::sizing()
{
    if (refuse_while_generating())
        return;
    bool ok = false;
    int frames = QInputDialog::getInt(this, "Sizing", "Frames in the Time Line:", static_cast<int>(timeline().frames),
                                      2, static_cast<int>(kTimelineMaxFrames), 1, &ok);
    if (ok)
        resize_to(frames);
}

void TimelineWindow::setup()
{
    if (refuse_while_generating())
        return;
    TimelineState& tl = timeline();
    QDialog dialog(this);
    dialog.setWindowTitle("Time Line Setup");
    auto* form = new QFormLayout(&dialog);
    auto* first = new QSpinBox(&dialog);
    auto* last = new QSpinBox(&dialog);
    first->setRange(1, static_cast<int>(tl.frames));
    last->setRange(1, static_cast<int>(tl.frames));
    first->setValue(static_cast<int>(std::clamp(tl.first_frame, 1L, tl.frames)));
    last->setValue(static_cast<int>(std::clamp(tl.last_frame, 1L, tl.frames)));
    auto* per_level = new QCheckBox(&dialog);
    per_level->setChecked(trend_list().per_level);
    form->addRow("First frame to generate:", first);
    form->addRow("Last frame to generate:", last);
    form->addRow("Trends per level:", per_level);
    // The sequence output: the folder "OutPath", the base name "OutName" and the type "SeqType".
    Settings& s = settings();
    auto* output = new QCheckBox(&dialog);
    output->setObjectName("tl_output");
    output->setChecked(s.save_result != 0);
    std::string base = s.out_path;
    if (!base.empty() && base.back() != '/')
        base += '/';
    base += s.out_name.empty() ? std::string("frame") : s.out_name;
    auto* name = new QLineEdit(QString::fromLocal8Bit(base.c_str()), &dialog);
    name->setObjectName("tl_output_name");
    auto* type = new QComboBox(&dialog);
    type->setObjectName("tl_output_type");
    for (const SeqTypeChoice& c : kSeqTypes) {
        type->addItem(c.label, static_cast<int>(c.type));
        if (c.type == s.seq_type)
            type->setCurrentIndex(type->count() - 1);
    }
    form->addRow("Write the frames to files:", output);
    form->addRow("Folder and base name:", name);
    form->addRow("File type:", type);
    auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    connect(box, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    connect(box, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    form->addRow(box);
    if (dialog.exec() != QDialog::Accepted)
        return;
    tl.first_frame = std::min(first->value(), last->value());
    tl.last_frame = std::max(first->value(), last->value());
    trend_list().per_level = per_level->isChecked();
    s.save_result = output->isChecked() ? 1 : 0;
    std::string chosen = name->text().trimmed().toLocal8Bit().toStdString();
    size_t slash = chosen.rfind('/');
    s.out_path = slash == std::string::npos ? std::string() : chosen.substr(0, slash);
    s.out_name = slash == std::string::npos ? chosen : chosen.substr(slash + 1);
    s.seq_type = type->currentData().toInt();
    refresh();
}

int TimelineWindow::generate()
{
    if (refuse_while_generating())
        return SEQ_REFUSED;
    SequenceRequest rq;
    rq.output = sequence_output_from_settings();
    SequenceHooks hooks;
    hooks.frame_done = show_sequence_frame;
    hooks.running = sequence_running;
    sequence_set_hooks(hooks);
    SequenceReport report;
    int rc = sequence_generate(rq, &report);
    sequence_set_hooks({});
    if (rc == SEQ_DONE || rc == SEQ_STOPPED || rc == SEQ_FAILED)
        status_->setText(QString("%1 of frames %2 to %3 generated%4")
                             .arg(report.frames)
                             .arg(report.first)
                             .arg(report.last)
                             .arg(report.written.empty() ? QString()
                                                         : QString(", last written: %1").arg(QString::fromLocal8Bit(
                                                               report.written.c_str()))));
    return rc;
}

Image* TimelineWindow::sequence_image()
{
    MainWindow* w = main_window();
    return w && sequence_image_shown(w) ? g_sequence_image : nullptr;
}

TimelineWindow* timeline_window(MainWindow* window, bool make)
{
    if (!g_window && make && window)
        g_window = new TimelineWindow(window);
    return g_window;
}

void install_timeline_menu()
{
    MainWindow::add_menu_builder([](MainWindow& w) {
        trend_list().hooks.redraw = redraw_trend_window;
        trend_list().hooks.forget_window = forget_trend_window;
        QMenu* menu = w.add_menu("&Sequence");
        menu->setObjectName("sequence_menu");
        QAction* open = menu->addAction("&Time Line...");
        open->setObjectName("timeline_window");
        QObject::connect(open, &QAction::triggered, &w, [&w] {
            TimelineWindow* t = timeline_window(&w);
            t->refresh();
            t->show();
            t->raise();
        });
        menu->addSeparator();
        QAction* load = menu->addAction("&Load Project...");
        load->setObjectName("project_load");
        QObject::connect(load, &QAction::triggered, &w, [&w] {
            if (timeline_ask_save() != 0)
                return;
            std::string path = ui::platform().choose_file(false, "Load Project", "Projects (*.VQP)",
                                                          settings().project_path);
            if (path.empty())
                return;
            project_load(path.c_str(), [](const char* file) -> Image* {
                MainWindow* m = main_window();
                return m ? m->open_file(QString::fromLocal8Bit(file)) : nullptr;
            });
            settings().project_path = folder_of(path);
            if (TimelineWindow* t = timeline_window(&w, false))
                t->refresh();
        });
        QAction* save = menu->addAction("&Save Project...");
        save->setObjectName("project_save");
        QObject::connect(save, &QAction::triggered, &w, [] {
            std::string path = ui::platform().choose_file(true, "Save Project", "Projects (*.VQP)",
                                                          settings().project_path);
            if (path.empty())
                return;
            if (project_save(path.c_str()) == 0)
                settings().project_path = folder_of(path);
        });
    });
}

} // namespace ws
