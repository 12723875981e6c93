// The console implementation of the platform seam, used by `vq` and the tests.
#pragma once

#include "core/platform.h"

#include <string>
#include <vector>

namespace ui {

class HeadlessPlatform : public Platform {
public:
    // How questions are answered: the policy of `vq --yes / --no`.
    enum class Policy { Default, Yes, No, Cancel };

    HeadlessPlatform();

    void set_policy(Policy policy) { policy_ = policy; }
    Policy policy() const { return policy_; }
    void set_screen(int width, int height);
    // Quiet: boxes that are not errors are not printed.
    void set_quiet(bool quiet) { quiet_ = quiet; }
    // Keep a transcript of every box, question and console line (tests).
    void set_recording(bool on) { recording_ = on; }
    const std::vector<std::string>& transcript() const { return transcript_; }
    void clear_transcript() { transcript_.clear(); }
    const std::string& frame_title() const { return title_; }
    int beeps() const { return beeps_; }
    // Where console input comes from (default stdin).
    void set_input(const std::string& text);

    void message_box(const char* title, const char* text, BoxIcon icon) override;
    Answer ask(Ask kind, const char* title, const char* text) override;
    void beep() override;
    void progress_show(const ProgressDisplay& display) override;
    void set_frame_title(const char* title) override;
    bool frame_minimised() const override { return minimised_; }
    void set_minimised(bool minimised) { minimised_ = minimised; }
    void busy_cursor(int band) override { cursor_band_ = band; }
    int cursor_band() const { return cursor_band_; }
    void pump_messages() override;
    bool wait_while_paused() override;
    void redraw(Image* image, const Rect* rect) override;
    Image* first_viewed_image() override { return nullptr; }
    bool view_shows_alpha(Image*) override { return false; }
    std::string choose_file(bool save, const char* title, const char* filter,
                            const std::string& suggested) override;
    void output_box(const char* text) override;
    void console_write(const char* text) override;
    bool console_read_line(std::string& line) override;
    int screen_width() const override { return screen_w_; }
    int screen_height() const override { return screen_h_; }
    // Headless, a document is "opened" by naming it on the console.
    int open_document(const char* path) override;

private:
    void record(const std::string& line);

    Policy policy_ = Policy::Default;
    bool quiet_ = false;
    bool recording_ = false;
    bool minimised_ = false;
    bool progress_on_tty_ = false;
    bool progress_line_open_ = false;
    int cursor_band_ = -1;
    int beeps_ = 0;
    int screen_w_ = 1024, screen_h_ = 768;
    std::string title_ = "Glimmerix:V/q";
    std::vector<std::string> transcript_;
    bool use_input_ = false;
    std::string input_;
    size_t input_pos_ = 0;
};

// The headless platform `vq` and the tests run on (installed by default).
HeadlessPlatform& headless();

} // namespace ui
