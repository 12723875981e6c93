// The seam between the core and the desktop.
//
// The core never talks to a toolkit, a terminal or a file chooser directly:
// every service the system needs from its windowing platform goes through
// the one Platform object installed at start-up.  `vq` and the tests install
// the headless implementation (ui/headless), the workstation its Qt one.
#pragma once

#include <cstdint>
#include <string>

struct Image;
struct Settings;

namespace ui {

// Icons of message boxes, as the system names them.
enum class BoxIcon { Stop, Information, Exclamation, Question };

// What a question offers.
enum class Ask {
    Proceed,          // yes / no: "go on?"
    Replace,          // yes / no: "replace the existing file?"
    SaveDiscardCancel // save / discard / cancel
};

enum class Answer { Yes, No, Save, Discard, Cancel };

// The progress display as the meter wants it shown (status-bar meter).
struct ProgressDisplay {
    const char* caption = "";  // task caption, "PAUSED" while paused, "" when idle
    int percent = -1;          // task bar, -1 = cleared
    int overall_percent = -1;  // overall bar, -1 = not running
    bool active = false;       // a meter is open: pause and cancel controls live
};

// A rectangle in image coordinates, inclusive corners.
struct Rect {
    int x0 = 0, y0 = 0, x1 = -1, y1 = -1;
};

class Platform {
public:
    virtual ~Platform() = default;

    // ---- boxes -------------------------------------------------------
    // A modal message box; `title` is the caption ("Note!", "Message 065",
    // "Script Output", ...). Headless: one line on stderr.
    virtual void message_box(const char* title, const char* text, BoxIcon icon) = 0;
    // A question; headless it is answered by the policy (--yes / --no).
    virtual Answer ask(Ask kind, const char* title, const char* text) = 0;
    // The quiet-mode signal that replaces a box.
    virtual void beep() = 0;

    // ---- progress ----------------------------------------------------
    virtual void progress_show(const ProgressDisplay& display) = 0;
    // The frame window's title ("Glimmerix:V/q", or with a percentage).
    virtual void set_frame_title(const char* title) = 0;
    virtual bool frame_minimised() const = 0;
    // Busy cursor band 0..7 while a meter runs, -1 restores the pointer.
    virtual void busy_cursor(int band) = 0;
    // Dispatch pending interface events (the meter's message pump).
    virtual void pump_messages() = 0;
    // Block, processing events, until the pause is lifted or the program
    // quits.  Returns false when the program is quitting.
    virtual bool wait_while_paused() = 0;

    // ---- views -------------------------------------------------------
    // Redraw the views of `image` (null: all views); `rect` null = whole image.
    virtual void redraw(Image* image, const Rect* rect) = 0;
    // The first image shown in a view, or null (image-role fall-back).
    virtual Image* first_viewed_image() = 0;
    // Does the view being worked on display the alpha channel?
    virtual bool view_shows_alpha(Image* image) = 0;

    // ---- files -------------------------------------------------------
    // Choose a file to open or save.  Headless returns `suggested`
    // (the path given on the command line); empty = cancelled.
    virtual std::string choose_file(bool save, const char* title, const char* filter,
                                    const std::string& suggested) = 0;

    // ---- console -----------------------------------------------------
    // One "Script Output" box (a finished line of the script console device).
    virtual void output_box(const char* text) = 0;
    // The console stream (script LIST, TRON/TROFF), not the message boxes.
    virtual void console_write(const char* text) = 0;
    // A line of console input (script INPUT); false at end of input.
    virtual bool console_read_line(std::string& line) = 0;

    // ---- screen ------------------------------------------------------
    virtual int screen_width() const = 0;
    virtual int screen_height() const = 0;

    // ---- frame and tool windows (start-up and shut-down) ---------------
    // Headless there are no windows: these do nothing and succeed.
    //
    // The frame window "Glimmerix:V/q" at `pos` (x y width height) with its
    // multiple-document client, minimised for "/icon", else maximised when
    // asked; it accepts dropped files.  False ends start-up.
    virtual bool create_frame(const long pos[4], bool minimised, bool maximised)
    {
        (void)pos, (void)minimised, (void)maximised;
        return true;
    }
    // The splash page (when asked) and the tool windows.  False ends start-up.
    virtual bool create_tool_windows(bool splash)
    {
        (void)splash;
        return true;
    }
    // Shut-down: the timeline and tool windows close.
    virtual void close_tool_windows() {}
    // Shut-down: the frame and tool window positions go into the settings.
    virtual void take_window_positions(Settings& settings) { (void)settings; }
    // Shut-down: the multiple-document client and the frame go.
    virtual void destroy_frame() {}
    // The message loop ends with `code`.
    virtual void post_quit(int code) { (void)code; }
    // Is the image shown in a view?  Only those are asked about at shut-down.
    virtual bool image_in_view(Image* image)
    {
        (void)image;
        return false;
    }

    // ---- shell ---------------------------------------------------------
    // Opens a document (a help page) with the desktop's "open" verb; like
    // the shell, a result above 32 means it opened, below is the error.
    virtual int open_document(const char* path)
    {
        (void)path;
        return 0;
    }
};

// The installed platform.  Before anything is installed, a headless platform
// that answers "proceed" is used, so the core can always reach the user.
Platform& platform();
// Install `p` (not owned); null restores the built-in headless platform.
void platform_install(Platform* p);

} // namespace ui
