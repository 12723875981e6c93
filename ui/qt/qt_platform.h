// The platform seam on Qt: boxes, questions, the progress meter in the
// status bar, the message pump, view redraws, file choosers, the console.
#pragma once

#include "core/platform.h"

#include <QString>
#include <QStringList>

namespace ws {

class MainWindow;

class QtPlatform : public ui::Platform {
public:
    explicit QtPlatform(MainWindow* window);

    // Unattended (tests, scripted demos): boxes are recorded, not shown;
    // questions get `answer`; file choosers return the suggested name.
    void set_unattended(bool on, ui::Answer answer = ui::Answer::Yes);
    bool unattended() const { return unattended_; }
    void set_unattended_answer(ui::Answer a) { answer_ = a; }
    const QStringList& transcript() const { return transcript_; }
    void clear_transcript() { transcript_.clear(); }
    bool quitting() const { return quitting_; }

    // While an operation is previewed: boxes are kept (the last one for the
    // dialog to show), questions are declined and no file chooser opens.
    void set_quiet(bool on)
    {
        quiet_ = on;
        if (on)
            quiet_note_.clear();
    }
    bool quiet() const { return quiet_; }
    // The preview's copy stands for the image in the view: it is shown as
    // that image is (alpha or colour), so it is worked on the same way.
    void set_stand_in(Image* copy, Image* image)
    {
        stand_in_copy_ = copy;
        stand_in_for_ = image;
    }
    const QString& quiet_note() const { return quiet_note_; }

    void message_box(const char* title, const char* text, ui::BoxIcon icon) override;
    ui::Answer ask(ui::Ask kind, const char* title, const char* text) override;
    void beep() override;
    void progress_show(const ui::ProgressDisplay& display) override;
    void set_frame_title(const char* title) override;
    bool frame_minimised() const override;
    void busy_cursor(int band) override;
    void pump_messages() override;
    bool wait_while_paused() override;
    void redraw(Image* image, const ui::Rect* rect) override;
    Image* first_viewed_image() override;
    bool view_shows_alpha(Image* image) override;
    std::string choose_file(bool save, const char* title, const char* filter,
                            const std::string& suggested) override;
    void output_box(const char* text) override;
    void console_write(const char* text) override;
    bool console_read_line(std::string& line) override;
    int screen_width() const override;
    int screen_height() const override;

    bool create_frame(const long pos[4], bool minimised, bool maximised) override;
    bool create_tool_windows(bool splash) override;
    void close_tool_windows() override;
    void take_window_positions(Settings& settings) override;
    void destroy_frame() override;
    void post_quit(int code) override;
    bool image_in_view(Image* image) override;
    int open_document(const char* path) override;

private:
    MainWindow* window_;
    bool unattended_ = false;
    ui::Answer answer_ = ui::Answer::Yes;
    QStringList transcript_;
    bool cursor_busy_ = false;
    bool quitting_ = false;
    bool quiet_ = false;
    Image* stand_in_copy_ = nullptr;
    Image* stand_in_for_ = nullptr;
    QString quiet_note_;
};

} // namespace ws
