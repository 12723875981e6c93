#include "core/messages.h"

#include "core/log.h"
#include "core/safe_write.h"

#include <cstdio>
#include <string>

namespace {

struct MessageText {
    int number;
    const char* text;
};

// The message catalogue: string resources 5000 + n.  Message 92 is left
// empty on purpose; its box shows only the file's name.
const MessageText kMessages[] = {
    {1, "Not enough real memory for film."},
    {2, "Could not lock the source image."},
    {3, "Not enough real memory for film insertion."},
    {4, "Not enough memory for new film."},
    {6, "Could not open the image file."},
    {7, "Not enough memory for new image."},
    {8, "Could not write the file header."},
    {9, "Could not write the palette."},
    {10, "Could not write the first frame."},
    {11, "No images loaded."},
    {14, "File is empty."},
    {17, "Incorrect file type."},
    {18, "Image file type is not recognized."},
    {19, "No Film strip loaded or created."},
    {22, "Not enough memory for operation."},
    {23, "Help is not available for this topic."},
    {24, "Could not get the file header."},
    {25, "File is truncated."},
    {26, "Problem writing file."},
    {27, "Not enough real memory for image."},
    {37, "Could not create the new image file."},
    {38, "Not enough memory for the undo required for this operation."},
    {39, "Not enough memory to get an undo."},
    {42, "File does not match the type requested."},
    {43, "Not enough memory for I/O buffer."},
    {44, "Not enough memory for decompression buffer."},
    {50, "Not enough memory for new film frame."},
    {51, "Cannot add a different sized image to an animation file."},
    {52, "Not enough real memory to undo."},
    {53, "Unable to create FLC/FLI file."},
    {59, "Not enough virtual memory for operation."},
    {60, "Not enough real memory for operation."},
    {62, "Not enough real memory for mask."},
    {63, "I-Shape file was not found."},
    {64, "The I-Shape file holds no points."},
    {65, "The settings for this operation will produce no change."},
    {71, "Could not open the requested file."},
    {74, "Animation file is being saved with incomplete frames."},
    {75, "The loader for this file type was not found."},
    {76, "The loader for this file type was corrupted."},
    {79, "The image file was too small to ID."},
    {82, "There are no operations in the Time Line."},
    {83, "Two load operations have been requested simultaneously."},
    {84, "Could not create the requested file."},
    {85, "Time Line has changed."},
    {86, "This cannot be done while an operation is in progress."},
    {87, "There is no image loaded or specified in the Time Line."},
    {91, "The sequence output file already exists."},
    {92, "The film strip file is damaged or not a film strip."},
    {103, "Cannot save in this file type."},
    {106, "This Undo Layer belongs to an image which has been closed."},
};

bool g_quiet = false;
unsigned long g_reported = 0;

std::string joined(const char* text, const char* extra)
{
    std::string s = text ? text : "";
    if (extra && *extra) {
        if (!s.empty())
            s += '\n';
        s += extra;
    }
    return s;
}

void log_message(int n, const char* text, const char* extra)
{
    log_printf("MESSAGE(%03d): \"%s\"\n", n, text);
    if (extra)
        log_printf("%s\n", extra);
}

} // namespace

const char* message_text(int n)
{
    for (const MessageText& m : kMessages)
        if (m.number == n)
            return m.text;
    return "";
}

const char* string_resource(int id)
{
    return message_text(id - kMessageResourceBase);
}

int message_show(int n, const char* extra_text)
{
    g_reported += 1;
    const char* text = message_text(n);
    const std::string shown = safe_write_shown(extra_text);
    const char* extra = extra_text ? shown.c_str() : nullptr;
    log_message(n, text, extra);
    if (g_quiet)
        return 0;
    char title[32];
    std::snprintf(title, sizeof title, "Message %03d", n);
    ui::platform().message_box(title, joined(text, extra).c_str(), ui::BoxIcon::Exclamation);
    return 0;
}

ui::Answer message_ask(int n, ui::Ask kind, const char* extra)
{
    const char* text = message_text(n);
    log_message(n, text, extra);
    char title[32];
    std::snprintf(title, sizeof title, "Message %03d", n);
    return ui::platform().ask(kind, title, joined(text, extra).c_str());
}

int error_box(const char* text, const char* text2)
{
    g_reported += 1;
    std::string s = text ? text : "";
    if (text2) {
        s += '\n';
        s += text2;
    }
    s = safe_write_shown(s.c_str());
    log_printf("MESSAGE: \"%s\"\n", s.c_str());
    if (!g_quiet)
        ui::platform().message_box("Note!", s.c_str(), ui::BoxIcon::Stop);
    return 0;
}

int note(const char* text)
{
    return error_box(text);
}

void messages_set_quiet(bool quiet)
{
    g_quiet = quiet;
}

bool messages_quiet()
{
    return g_quiet;
}

unsigned long messages_reported()
{
    return g_reported;
}
