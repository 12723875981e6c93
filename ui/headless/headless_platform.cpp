#include "ui/headless/headless_platform.h"

#include <cstdio>
#include <iostream>
#include <unistd.h>

namespace ui {

namespace {

// A box is one line on the console: line breaks inside it become blanks.
std::string one_line(const char* text)
{
    std::string s = text ? text : "";
    for (char& c : s)
        if (c == '\n' || c == '\r')
            c = ' ';
    return s;
}

const char* ask_name(Ask kind)
{
    switch (kind) {
    case Ask::Proceed: return "proceed";
    case Ask::Replace: return "replace";
    case Ask::SaveDiscardCancel: return "save/discard/cancel";
    }
    return "?";
}

const char* answer_name(Answer a)
{
    switch (a) {
    case Answer::Yes: return "yes";
    case Answer::No: return "no";
    case Answer::Save: return "save";
    case Answer::Discard: return "discard";
    case Answer::Cancel: return "cancel";
    }
    return "?";
}

} // namespace

HeadlessPlatform::HeadlessPlatform()
{
    progress_on_tty_ = isatty(STDERR_FILENO) != 0;
}

void HeadlessPlatform::set_screen(int width, int height)
{
    screen_w_ = width > 0 ? width : 1024;
    screen_h_ = height > 0 ? height : 768;
}

void HeadlessPlatform::set_input(const std::string& text)
{
    use_input_ = true;
    input_ = text;
    input_pos_ = 0;
}

void HeadlessPlatform::record(const std::string& line)
{
    if (recording_)
        transcript_.push_back(line);
}

void HeadlessPlatform::message_box(const char* title, const char* text, BoxIcon icon)
{
    std::string line = std::string(title ? title : "") + ": " + one_line(text);
    record(line);
    if (quiet_ && icon == BoxIcon::Information)
        return;
    if (progress_line_open_) {
        std::fputc('\n', stderr);
        progress_line_open_ = false;
    }
    std::fprintf(stderr, "%s\n", line.c_str());
}

Answer HeadlessPlatform::ask(Ask kind, const char* title, const char* text)
{
    Answer a = Answer::Yes;
    switch (policy_) {
    case Policy::Default:
        a = kind == Ask::SaveDiscardCancel ? Answer::Discard : Answer::Yes;
        break;
    case Policy::Yes:
        a = kind == Ask::SaveDiscardCancel ? Answer::Save : Answer::Yes;
        break;
    case Policy::No:
        a = kind == Ask::SaveDiscardCancel ? Answer::Discard : Answer::No;
        break;
    case Policy::Cancel:
        a = kind == Ask::SaveDiscardCancel ? Answer::Cancel : Answer::No;
        break;
    }
    std::string line = std::string(title ? title : "") + ": " + one_line(text) + " [" +
                       ask_name(kind) + "] -> " + answer_name(a);
    record(line);
    if (!quiet_)
        std::fprintf(stderr, "%s\n", line.c_str());
    return a;
}

void HeadlessPlatform::beep()
{
    ++beeps_;
    record("(beep)");
}

void HeadlessPlatform::progress_show(const ProgressDisplay& d)
{
    if (!progress_on_tty_ || quiet_)
        return;
    if (d.percent < 0) {
        if (progress_line_open_) {
            std::fputs("\r\033[K", stderr);
            progress_line_open_ = false;
        }
        return;
    }
    if (d.overall_percent >= 0)
        std::fprintf(stderr, "\r\033[K[%3d%%] %s %3d%%", d.overall_percent, d.caption, d.percent);
    else
        std::fprintf(stderr, "\r\033[K%s %3d%%", d.caption, d.percent);
    std::fflush(stderr);
    progress_line_open_ = true;
}

void HeadlessPlatform::set_frame_title(const char* title)
{
    title_ = title ? title : "";
}

void HeadlessPlatform::pump_messages()
{
    // No event queue: Ctrl-C reaches the meter through its signal handler.
}

bool HeadlessPlatform::wait_while_paused()
{
    // Nothing can lift a pause from a console: stop waiting and carry on.
    return false;
}

void HeadlessPlatform::redraw(Image*, const Rect*)
{
}

std::string HeadlessPlatform::choose_file(bool, const char*, const char*, const std::string& suggested)
{
    return suggested;
}

void HeadlessPlatform::output_box(const char* text)
{
    record(std::string("Script Output: ") + (text ? text : ""));
    std::fputs(text ? text : "", stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void HeadlessPlatform::console_write(const char* text)
{
    record(std::string("console: ") + (text ? text : ""));
    std::fputs(text ? text : "", stderr);
}

bool HeadlessPlatform::console_read_line(std::string& line)
{
    if (use_input_) {
        if (input_pos_ >= input_.size())
            return false;
        size_t nl = input_.find('\n', input_pos_);
        if (nl == std::string::npos)
            nl = input_.size();
        line = input_.substr(input_pos_, nl - input_pos_);
        input_pos_ = nl + 1;
        return true;
    }
    std::fflush(stdout);
    return static_cast<bool>(std::getline(std::cin, line));
}

HeadlessPlatform& headless()
{
    static HeadlessPlatform instance;
    return instance;
}

namespace {
Platform* g_installed = nullptr;
}

Platform& platform()
{
    return g_installed ? *g_installed : headless();
}

void platform_install(Platform* p)
{
    g_installed = p;
}

int HeadlessPlatform::open_document(const char* path)
{
    if (!path || access(path, R_OK) != 0)
        return 2;  // the shell's "file not found"
    std::string line = std::string("Document: ") + path;
    record(line);
    std::fprintf(stdout, "%s\n", line.c_str());
    return 42;
}

} // namespace ui
