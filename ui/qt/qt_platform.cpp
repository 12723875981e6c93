#include "ui/qt/qt_platform.h"

#include "core/settings.h"
#include "ui/qt/desktop.h"
#include "ui/qt/image_view.h"
#include "ui/qt/main_window.h"

#include <QApplication>
#include <QCursor>

#include <algorithm>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QSplashScreen>
#include <QTimer>

namespace ws {

namespace {

QMessageBox::Icon qt_icon(ui::BoxIcon icon)
{
    switch (icon) {
    case ui::BoxIcon::Stop: return QMessageBox::Critical;
    case ui::BoxIcon::Information: return QMessageBox::Information;
    case ui::BoxIcon::Exclamation: return QMessageBox::Warning;
    case ui::BoxIcon::Question: return QMessageBox::Question;
    }
    return QMessageBox::NoIcon;
}

// "Bitmap (*.BMP)|*.BMP|..." as Qt filters, matching either case.
QString qt_filters(const char* list)
{
    if (!list || !*list)
        return {};
    QStringList parts = QString::fromLatin1(list).split('|');
    QStringList filters;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString label = parts[i];
        QString pattern = parts[i + 1];
        int paren = label.indexOf('(');
        if (paren > 0)
            label = label.left(paren).trimmed();
        QString both = pattern == "*.*" ? QStringLiteral("*") : pattern + " " + pattern.toLower();
        filters << QStringLiteral("%1 (%2)").arg(label, both);
    }
    return filters.join(";;");
}

QPixmap splash_picture()
{
    QPixmap pix(420, 220);
    QPainter p(&pix);
    QLinearGradient g(0, 0, 420, 220);
    g.setColorAt(0, QColor(20, 20, 80));
    g.setColorAt(1, QColor(160, 60, 140));
    p.fillRect(pix.rect(), g);
    p.setPen(Qt::white);
    QFont f = p.font();
    f.setPointSize(26);
    f.setBold(true);
    p.setFont(f);
    p.drawText(pix.rect().adjusted(0, 0, 0, -40), Qt::AlignCenter, "Glimmerix:V/q");
    f.setPointSize(10);
    f.setBold(false);
    p.setFont(f);
    p.drawText(pix.rect().adjusted(0, 80, 0, 0), Qt::AlignCenter, "image effects and animation  7.50");
    return pix;
}

} // namespace

QtPlatform::QtPlatform(MainWindow* window) : window_(window) {}

void QtPlatform::set_unattended(bool on, ui::Answer answer)
{
    unattended_ = on;
    answer_ = answer;
}

void QtPlatform::message_box(const char* title, const char* text, ui::BoxIcon icon)
{
    QString t = QString::fromLocal8Bit(title ? title : "");
    QString body = QString::fromLocal8Bit(text ? text : "");
    if (quiet_) {
        quiet_note_ = QString(body).replace('\n', ' ');
        return;
    }
    transcript_ << t + ": " + QString(body).replace('\n', ' ');
    if (unattended_)
        return;
    QMessageBox box(qt_icon(icon), t, body, QMessageBox::Ok, window_);
    box.exec();
}

ui::Answer QtPlatform::ask(ui::Ask kind, const char* title, const char* text)
{
    QString t = QString::fromLocal8Bit(title ? title : "");
    QString body = QString::fromLocal8Bit(text ? text : "");
    if (quiet_)
        return kind == ui::Ask::SaveDiscardCancel ? ui::Answer::Cancel : ui::Answer::No;
    if (unattended_) {
        ui::Answer a = answer_;
        if (kind != ui::Ask::SaveDiscardCancel && (a == ui::Answer::Save || a == ui::Answer::Discard))
            a = a == ui::Answer::Save ? ui::Answer::Yes : ui::Answer::No;
        if (kind != ui::Ask::SaveDiscardCancel && a == ui::Answer::Cancel)
            a = ui::Answer::No;
        if (kind == ui::Ask::SaveDiscardCancel && (a == ui::Answer::Yes || a == ui::Answer::No))
            a = a == ui::Answer::Yes ? ui::Answer::Save : ui::Answer::Discard;
        transcript_ << t + ": " + QString(body).replace('\n', ' ') + " ?";
        return a;
    }
    QMessageBox box(QMessageBox::Question, t, body, QMessageBox::NoButton, window_);
    if (kind == ui::Ask::SaveDiscardCancel) {
        box.setStandardButtons(QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel);
        box.setDefaultButton(QMessageBox::Save);
        switch (box.exec()) {
        case QMessageBox::Save: return ui::Answer::Save;
        case QMessageBox::Discard: return ui::Answer::Discard;
        default: return ui::Answer::Cancel;
        }
    }
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    box.setDefaultButton(kind == ui::Ask::Replace ? QMessageBox::No : QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes ? ui::Answer::Yes : ui::Answer::No;
}

void QtPlatform::beep()
{
    if (quiet_)
        return;
    transcript_ << "(beep)";
    if (!unattended_)
        QApplication::beep();
}

void QtPlatform::progress_show(const ui::ProgressDisplay& d)
{
    window_->show_progress(QString::fromLocal8Bit(d.caption ? d.caption : ""), d.percent, d.overall_percent,
                           d.active);
}

void QtPlatform::set_frame_title(const char* title)
{
    window_->setWindowTitle(QString::fromLocal8Bit(title ? title : ""));
}

bool QtPlatform::frame_minimised() const
{
    return window_->isMinimized();
}

// The busy cursor of a percentage band (0..7): a clock face filling up.
static QCursor band_cursor(int band)
{
    static QCursor cursors[8];
    static bool made = false;
    if (!made) {
        made = true;
        for (int b = 0; b < 8; ++b) {
            QPixmap pix(32, 32);
            pix.fill(Qt::transparent);
            QPainter p(&pix);
            p.setRenderHint(QPainter::Antialiasing);
            p.setPen(QPen(Qt::black, 2));
            p.setBrush(Qt::white);
            p.drawEllipse(3, 3, 26, 26);
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(40, 90, 200));
            p.drawPie(5, 5, 22, 22, 90 * 16, -(b + 1) * 45 * 16);
            cursors[b] = QCursor(pix, 16, 16);
        }
    }
    return cursors[std::clamp(band, 0, 7)];
}

void QtPlatform::busy_cursor(int band)
{
    if (band >= 0) {
        if (cursor_busy_)
            QApplication::changeOverrideCursor(band_cursor(band));
        else
            QApplication::setOverrideCursor(band_cursor(band));
        cursor_busy_ = true;
    } else if (cursor_busy_) {
        QApplication::restoreOverrideCursor();
        cursor_busy_ = false;
    }
}

void QtPlatform::pump_messages()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

bool QtPlatform::wait_while_paused()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    return !quitting_;
}

void QtPlatform::redraw(Image* image, const ui::Rect* rect)
{
    if (rect) {
        QRect r(rect->x0, rect->y0, rect->x1 - rect->x0 + 1, rect->y1 - rect->y0 + 1);
        window_->redraw(image, &r);
    } else {
        window_->redraw(image, nullptr);
    }
}

Image* QtPlatform::first_viewed_image()
{
    auto views = window_->views();
    return views.empty() ? nullptr : views.front()->image();
}

bool QtPlatform::view_shows_alpha(Image* image)
{
    if (image && image == stand_in_copy_)
        image = stand_in_for_;
    ImageView* v = window_->active_view();
    if (v && v->image() == image)
        return v->shows_alpha();
    for (ImageView* other : window_->views_of(image))
        return other->shows_alpha();
    return false;
}

std::string QtPlatform::choose_file(bool save, const char* title, const char* filter, const std::string& suggested)
{
    if (quiet_)
        return {};
    if (unattended_)
        return suggested;
    QString t = QString::fromLocal8Bit(title ? title : "");
    QString f = qt_filters(filter);
    QString start = QString::fromLocal8Bit(suggested.c_str());
    QString path = save ? QFileDialog::getSaveFileName(window_, t, start, f)
                        : QFileDialog::getOpenFileName(window_, t, start, f);
    return path.toLocal8Bit().toStdString();
}

void QtPlatform::output_box(const char* text)
{
    message_box("Script Output", text, ui::BoxIcon::Information);
}

void QtPlatform::console_write(const char* text)
{
    window_->console_append(QString::fromLocal8Bit(text ? text : ""));
}

bool QtPlatform::console_read_line(std::string& line)
{
    if (unattended_ || quiet_)
        return false;
    bool ok = false;
    QString text = QInputDialog::getText(window_, "Input", "?", QLineEdit::Normal, {}, &ok);
    if (!ok)
        return false;
    line = text.toLocal8Bit().toStdString();
    return true;
}

int QtPlatform::screen_width() const
{
    QScreen* s = QGuiApplication::primaryScreen();
    return s ? s->geometry().width() : 1024;
}

int QtPlatform::screen_height() const
{
    QScreen* s = QGuiApplication::primaryScreen();
    return s ? s->geometry().height() : 768;
}

bool QtPlatform::create_frame(const long pos[4], bool minimised, bool maximised)
{
    window_->setGeometry(static_cast<int>(pos[0]), static_cast<int>(pos[1]), static_cast<int>(pos[2]),
                         static_cast<int>(pos[3]));
    if (minimised)
        window_->showMinimized();
    else if (maximised)
        window_->showMaximized();
    else
        window_->show();
    return true;
}

bool QtPlatform::create_tool_windows(bool splash)
{
    if (splash && !unattended_) {
        auto* screen = new QSplashScreen(splash_picture());
        screen->setAttribute(Qt::WA_DeleteOnClose);
        screen->show();
        QTimer::singleShot(1800, screen, &QSplashScreen::close);
    }
    return true;
}

void QtPlatform::close_tool_windows()
{
    // The layout as the user left it, before the windows close.
    remember_tool_layout(*window_);
    window_->close_tool_windows();
}

void QtPlatform::take_window_positions(Settings& s)
{
    QRect g = window_->isMaximized() || window_->isMinimized() ? window_->normalGeometry() : window_->geometry();
    if (window_->isMaximized())
        g = QRect(0, 0, screen_width(), screen_height());
    s.pos_main[0] = g.x();
    s.pos_main[1] = g.y();
    s.pos_main[2] = g.width();
    s.pos_main[3] = g.height();
}

void QtPlatform::destroy_frame()
{
    window_->destroy_views();
}

void QtPlatform::post_quit(int code)
{
    quitting_ = true;
    window_->quit_posted();
    QCoreApplication::exit(code);
}

int QtPlatform::open_document(const char* path)
{
    // Help pages live beside the program ("html_docs/..."); shown in the
    // workstation's own help window.  Like the shell: above 32 is success,
    // 2 is "file not found".
    QString p = QString::fromLocal8Bit(path ? path : "");
    QFileInfo info(p);
    if (info.isRelative() && !info.exists())
        info = QFileInfo(QCoreApplication::applicationDirPath() + "/" + p);
    if (!info.exists())
        return 2;
    transcript_ << "open: " + info.absoluteFilePath();
    window_->show_help(info.absoluteFilePath());
    return 42;
}

bool QtPlatform::image_in_view(Image* image)
{
    return !window_->views_of(image).empty();
}

} // namespace ws
