#include "ui/qt/film_window.h"

#include "core/image.h"
#include "core/messages.h"
#include "core/platform.h"
#include "core/settings.h"
#include "formats/film.h"
#include "ops/framework.h"
#include "ui/qt/image_view.h"
#include "ui/qt/main_window.h"
#include "ui/qt/qt_platform.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace ws {

namespace {

FilmWindow* g_film_window = nullptr;
constexpr int kLabelHeight = 14;

void film_changed_hook(bool relayout)
{
    if (g_film_window)
        g_film_window->film_changed(relayout);
}

// After an operation: the current frame takes the target's picture.
void refresh_from_target(Image* target)
{
    if (!g_film_window || !g_film_window->isVisible() || !film_state().slots || !target)
        return;
    PlaceFrame(target, g_film_window->current());
}

bool ask_parameters(FilmExportOptions& options)
{
    auto* platform = dynamic_cast<QtPlatform*>(&ui::platform());
    if (platform && platform->unattended())
        return true;
    GifParamsDialog dialog(g_film_window, options);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    return dialog.take(options);
}

} // namespace

// ---------------------------------------------------------------- the strip

FilmStrip::FilmStrip(FilmWindow* window) : QWidget(window), window_(window)
{
    setObjectName("film_strip");
    setMinimumHeight(48);
}

int FilmStrip::cell_width() const
{
    const FilmState& f = film_state();
    int h = std::max(8, height() - kLabelHeight - 4);
    if (f.width < 1 || f.height < 1)
        return h;
    return std::max(8, static_cast<int>(h * f.width / f.height)) + 4;
}

QSize FilmStrip::sizeHint() const
{
    return {static_cast<int>(std::max(1L, film_state().frames)) * cell_width(), 96};
}

void FilmStrip::relayout()
{
    setMinimumWidth(static_cast<int>(std::max(1L, film_state().frames)) * cell_width());
    updateGeometry();
    update();
}

QRect FilmStrip::slot_rect(long index) const
{
    int w = cell_width();
    return {static_cast<int>(index) * w, 0, w, height()};
}

long FilmStrip::slot_at(QPoint p) const
{
    long i = p.x() / std::max(1, cell_width());
    return i >= 0 && i < film_state().frames ? i : -1;
}

void FilmStrip::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    painter.fillRect(event->rect(), palette().window());
    const FilmState& f = film_state();
    if (!f.slots)
        return;
    long first = std::max(0L, static_cast<long>(event->rect().left() / std::max(1, cell_width())));
    long last = std::min(f.frames - 1, static_cast<long>(event->rect().right() / std::max(1, cell_width())));
    for (long i = first; i <= last; ++i) {
        QRect cell = slot_rect(i).adjusted(2, 2, -2, -kLabelHeight - 2);
        QImage picture = window_->frame_picture(i);
        if (picture.isNull())
            painter.fillRect(cell, QColor(60, 60, 60));
        else
            painter.drawImage(cell, picture);
        if (i == window_->current()) {
            painter.setPen(QPen(QColor(255, 200, 0), 2));
            painter.drawRect(cell.adjusted(-1, -1, 1, 1));
        }
        painter.setPen(palette().text().color());
        painter.drawText(QRect(cell.left(), cell.bottom() + 2, cell.width(), kLabelHeight), Qt::AlignCenter,
                         QString::number(i + 1));
    }
}

void FilmStrip::mousePressEvent(QMouseEvent* event)
{
    long i = slot_at(event->position().toPoint());
    if (i >= 0)
        window_->set_current(i);
}

FilmPicture::FilmPicture(FilmWindow* window) : QWidget(window), window_(window)
{
    setObjectName("film_picture");
    setMinimumSize(96, 72);
}

void FilmPicture::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    QImage picture = window_->frame_picture(window_->current());
    if (picture.isNull())
        return;
    QSize fitted = picture.size().scaled(size(), Qt::KeepAspectRatio);
    QRect target(QPoint((width() - fitted.width()) / 2, (height() - fitted.height()) / 2), fitted);
    painter.drawImage(target, picture);
}

// ---------------------------------------------------------------- the window

FilmWindow::FilmWindow(MainWindow* main) : QWidget(main, Qt::Tool), main_(main)
{
    setObjectName("filmClass");
    setWindowTitle("Film Strip");
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);

    menu_ = new QMenuBar(this);
    QMenu* film = menu_->addMenu("&Film");
    auto add = [this, film](const char* name, const char* text, auto fn) {
        QAction* a = film->addAction(text);
        a->setObjectName(name);
        connect(a, &QAction::triggered, this, fn);
        return a;
    };
    add("film_new", "&New Film...", [this] { new_film(); });
    add("film_load", "&Load Film strip...", [this] { load_film(); });
    add("film_save", "&Save Film strip...", [this] { save_film(); });
    film->addSeparator();
    add("film_place", "&Place Frame", [this] { place_frame(); });
    film->addSeparator();
    add("film_export_flic", "Export &FLIC...", [this] { export_film(0); });
    add("film_export_gif", "Export &GIF...", [this] { export_film(1); });
    add("film_export_mng", "Export &MNG...", [this] { export_film(2); });
    add("film_export_avi", "Export &AVI...", [this] { export_film(3); });
    film->addSeparator();
    add("film_close", "&Close", [this] { close(); });
    layout->setMenuBar(menu_);

    picture_ = new FilmPicture(this);
    layout->addWidget(picture_, 1);

    strip_ = new FilmStrip(this);
    scroll_ = new QScrollArea(this);
    scroll_->setWidget(strip_);
    scroll_->setWidgetResizable(true);
    scroll_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll_->setFixedHeight(110);
    layout->addWidget(scroll_);

    auto* controls = new QHBoxLayout;
    play_ = new QPushButton("Play", this);
    play_->setObjectName("film_play");
    play_->setCheckable(true);
    connect(play_, &QPushButton::toggled, this, [this](bool on) { play(on); });
    controls->addWidget(play_);
    controls->addWidget(new QLabel("Frame", this));
    frame_ = new QSpinBox(this);
    frame_->setObjectName("film_frame");
    frame_->setRange(1, 1);
    connect(frame_, &QSpinBox::valueChanged, this, [this](int v) {
        if (!updating_)
            set_current(v - 1);
    });
    controls->addWidget(frame_);
    controls->addWidget(new QLabel("Speed", this));
    speed_ = new QSpinBox(this);
    speed_->setObjectName("film_speed");
    speed_->setRange(10, 5000);
    speed_->setSuffix(" ms");
    speed_->setValue(static_cast<int>(std::clamp(settings().film_speed, 10L, 5000L)));
    connect(speed_, &QSpinBox::valueChanged, this, [this](int v) {
        settings().film_speed = v;
        timer_->setInterval(v);
        update_controls();
    });
    controls->addWidget(speed_);
    pong_ = new QCheckBox("Ping-pong", this);
    pong_->setObjectName("film_pong");
    pong_->setChecked(settings().film_pong != 0);
    connect(pong_, &QCheckBox::toggled, this, [this](bool on) {
        settings().film_pong = on ? 1 : 0;
        direction_ = settings().film_reverse ? -1 : 1;
    });
    controls->addWidget(pong_);
    controls->addStretch(1);
    counter_ = new QLabel(this);
    counter_->setObjectName("film_counter");
    time_ = new QLabel(this);
    time_->setObjectName("film_time");
    QFont mono("Monospace");
    mono.setStyleHint(QFont::TypeWriter);
    counter_->setFont(mono);
    time_->setFont(mono);
    controls->addWidget(counter_);
    controls->addWidget(time_);
    layout->addLayout(controls);

    direction_ = settings().film_reverse ? -1 : 1;
    timer_ = new QTimer(this);
    timer_->setInterval(speed_->value());
    connect(timer_, &QTimer::timeout, this, [this] { step(); });

    const long* pos = settings().pos_film;
    if (pos[2] > 50 && pos[3] > 50)
        setGeometry(static_cast<int>(pos[0]), static_cast<int>(pos[1]), static_cast<int>(pos[2]),
                    std::max(static_cast<int>(pos[3]), 260));
    else
        resize(420, 320);
    film_state().changed = film_changed_hook;
    film_changed(true);
}

FilmWindow::~FilmWindow()
{
    if (film_state().changed == film_changed_hook)
        film_state().changed = nullptr;
    if (g_film_window == this)
        g_film_window = nullptr;
}

void FilmWindow::closeEvent(QCloseEvent* event)
{
    play(false);
    QRect g = geometry();
    long* pos = settings().pos_film;
    pos[0] = g.x(), pos[1] = g.y(), pos[2] = g.width(), pos[3] = g.height();
    event->accept();
}

long FilmWindow::current() const
{
    return film_state().current;
}

void FilmWindow::set_current(long index)
{
    FilmState& f = film_state();
    if (f.frames < 1)
        return;
    f.current = std::clamp(index, 0L, f.frames - 1);
    update_controls();
    picture_->update();
    strip_->update();
    scroll_->ensureVisible(strip_->slot_rect(f.current).center().x(), 10, strip_->slot_rect(0).width(), 0);
}

bool FilmWindow::playing() const
{
    return timer_->isActive();
}

void FilmWindow::play(bool on)
{
    if (on && film_state().frames > 0)
        timer_->start();
    else
        timer_->stop();
    if (play_->isChecked() != timer_->isActive()) {
        QSignalBlocker block(play_);
        play_->setChecked(timer_->isActive());
    }
    play_->setText(timer_->isActive() ? "Stop" : "Play");
}

void FilmWindow::step()
{
    const long n = film_state().frames;
    if (n < 1)
        return;
    long next = current() + direction_;
    if (next >= n || next < 0) {
        if (pong_->isChecked() && n > 1) {
            direction_ = -direction_;
            next = current() + direction_;
        } else {
            next = direction_ > 0 ? 0 : n - 1;
        }
    }
    set_current(next);
}

QString FilmWindow::counter_text() const
{
    char text[32];
    std::snprintf(text, sizeof text, "%3ld /%3ld", film_state().frames > 0 ? current() + 1 : 0L, film_state().frames);
    return QString::fromLatin1(text);
}

QString FilmWindow::time_text() const
{
    long ms = current() * static_cast<long>(speed_->value());
    char text[32];
    std::snprintf(text, sizeof text, "%02ld:%02ld.%03ld", ms / 60000, ms / 1000 % 60, ms % 1000);
    return QString::fromLatin1(text);
}

void FilmWindow::update_controls()
{
    updating_ = true;
    const long n = film_state().frames;
    frame_->setRange(1, static_cast<int>(std::max(1L, n)));
    frame_->setValue(static_cast<int>(current() + 1));
    updating_ = false;
    counter_->setText(counter_text());
    time_->setText(time_text());
}

void FilmWindow::film_changed(bool relayout)
{
    FilmState& f = film_state();
    if (f.current >= f.frames)
        f.current = 0;
    if (relayout)
        strip_->relayout();
    f.redraw = false;
    f.last_drawn = f.current;
    update_controls();
    picture_->update();
    strip_->update();
}

QImage FilmWindow::frame_picture(long index) const
{
    Image* frame = film_frame(index);
    if (!frame)
        return {};
    ImageLock lock(frame);
    if (!lock)
        return {};
    QImage out(static_cast<int>(frame->width), frame->height, QImage::Format_RGB32);
    for (int y = 0; y < frame->height; ++y) {
        const uint8_t* px = frame->row(y);
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (uint32_t x = 0; x < frame->width; ++x, px += 4)
            line[x] = qRgb(px[0], px[1], px[2]);
    }
    return out;
}

void FilmWindow::new_film()
{
    long frames = film_state().frames > 0 ? film_state().frames : 30;
    long width = film_state().width > 0 ? film_state().width : std::max(1L, settings().film_size[0]);
    long height = film_state().height > 0 ? film_state().height : std::max(1L, settings().film_size[1]);
    auto* platform = dynamic_cast<QtPlatform*>(&ui::platform());
    if (!platform || !platform->unattended()) {
        QDialog dialog(this);
        dialog.setWindowTitle("New Film");
        auto* form = new QFormLayout(&dialog);
        auto* count = new QSpinBox(&dialog);
        count->setRange(1, static_cast<int>(kFilmMaxFrames));
        count->setValue(static_cast<int>(frames));
        auto* w = new QSpinBox(&dialog);
        w->setRange(1, static_cast<int>(kFilmMaxSide));
        w->setValue(static_cast<int>(std::min(width, kFilmMaxSide)));
        auto* h = new QSpinBox(&dialog);
        h->setRange(1, static_cast<int>(kFilmMaxSide));
        h->setValue(static_cast<int>(std::min(height, kFilmMaxSide)));
        form->addRow("Frames", count);
        form->addRow("Width", w);
        form->addRow("Height", h);
        auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
        connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
        connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
        form->addRow(buttons);
        if (dialog.exec() != QDialog::Accepted)
            return;
        frames = count->value();
        width = w->value();
        height = h->value();
    }
    play(false);
    film_create(frames, width, height);
    settings().film_size[0] = width;
    settings().film_size[1] = height;
}

void FilmWindow::place_frame()
{
    ImageView* view = main_ ? main_->active_view() : nullptr;
    if (!view || !view->image()) {
        message_show(msg::NoImagesLoaded);
        return;
    }
    if (!film_state().slots) {
        message_show(msg::NoFilmStrip);
        return;
    }
    PlaceFrame(view->image(), current());
}

void FilmWindow::load_film()
{
    play(false);
    film_load_dialog(settings().film_path.c_str());
}

void FilmWindow::save_film()
{
    film_save_dialog(settings().film_path.c_str());
}

void FilmWindow::export_film(int kind)
{
    play(false);
    FilmExportOptions options;
    options.pingpong = settings().film_pong != 0;
    const Settings& s = settings();
    switch (kind) {
    case 0: ExportFilmFlic(s.film_flc_path.c_str(), options); break;
    case 1: ExportFilmGif(s.film_gif_path.c_str(), options); break;
    case 2: ExportFilmMng(s.film_mng_path.c_str(), options); break;
    default: ExportFilmAvi(s.film_avi_path.c_str(), options); break;
    }
}

// ---------------------------------------------------------------- GIFPARMS

GifParamsDialog::GifParamsDialog(QWidget* parent, const FilmExportOptions& options) : QDialog(parent)
{
    setObjectName("GIFPARMS");
    setWindowTitle("Animation Settings");
    auto* form = new QFormLayout(this);
    delay_ = new QLineEdit(QString::number(film_delay(options)), this);
    delay_->setObjectName("gif_delay");
    last_good_ = delay_->text();
    connect(delay_, &QLineEdit::editingFinished, this, [this] { check_delay(); });
    form->addRow("Frame delay (1/100 s)", delay_);
    loop_ = new QCheckBox("Loop", this);
    loop_->setChecked(options.loop);
    pingpong_ = new QCheckBox("Ping-pong", this);
    pingpong_->setChecked(options.pingpong);
    palette_ = new QCheckBox("Common palette", this);
    palette_->setChecked(options.common_palette);
    form->addRow(loop_);
    form->addRow(pingpong_);
    form->addRow(palette_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] {
        check_delay();
        accept();
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    form->addRow(buttons);
}

void GifParamsDialog::check_delay()
{
    bool ok = false;
    int v = delay_->text().trimmed().toInt(&ok);
    if (ok && v >= 0 && v <= 9999) {
        last_good_ = QString::number(v);
        delay_->setText(last_good_);
    } else {
        // Other input is refused and the field put back.
        QApplication::beep();
        delay_->setText(last_good_);
    }
}

bool GifParamsDialog::take(FilmExportOptions& options) const
{
    bool ok = false;
    int v = last_good_.toInt(&ok);
    if (!ok)
        return false;
    options.delay = v;
    options.loop = loop_->isChecked();
    options.pingpong = pingpong_->isChecked();
    options.common_palette = palette_->isChecked();
    return true;
}

// ---------------------------------------------------------------- installing

FilmWindow* film_window(MainWindow* window, bool make)
{
    if (!g_film_window && make && window)
        g_film_window = new FilmWindow(window);
    return g_film_window;
}

void install_film_menu()
{
    op_set_film_hook(refresh_from_target);
    film_set_parameters_dialog(ask_parameters);
    MainWindow::add_menu_builder([](MainWindow& w) {
        QMenu* menu = w.menu_named("Sequence");
        if (!menu)
            menu = w.add_menu("&Film");
        menu->addSeparator();
        QAction* open = menu->addAction("&Film Strip...");
        open->setObjectName("film_window");
        QObject::connect(open, &QAction::triggered, &w, [&w] {
            FilmWindow* f = film_window(&w);
            f->film_changed(true);
            f->show();
            f->raise();
        });
    });
}

} // namespace ws
