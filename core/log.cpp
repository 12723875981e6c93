#include "core/log.h"

#include <cstdio>
#include <unistd.h>

namespace {

struct LogState {
    std::FILE* file = nullptr;
    std::string folder;
    std::time_t (*clock)() = nullptr;
};

LogState g_log;

std::time_t now()
{
    return g_log.clock ? g_log.clock() : std::time(nullptr);
}

void date_and_time(char* date, size_t date_len, char* time_text, size_t time_len)
{
    std::time_t t = now();
    std::tm tm{};
    localtime_r(&t, &tm);
    std::strftime(date, date_len, "%m/%d/%y", &tm);
    std::strftime(time_text, time_len, "%H:%M:%S", &tm);
}

const char* const kPlatformName = "Intel NT4+/95/98/Me/2000/XP";
const char* const kProgramName = "Glimmerix:V/q";

} // namespace

void log_set_folder(const std::string& folder)
{
    g_log.folder = folder;
}

std::string log_path()
{
    if (g_log.folder.empty())
        return "VQLOG.txt";
    std::string p = g_log.folder;
    if (p.back() != '/')
        p += '/';
    return p + "VQLOG.txt";
}

bool log_open(bool append)
{
    if (g_log.file)
        return true;
    g_log.file = std::fopen(log_path().c_str(), append ? "a" : "w");
    if (!g_log.file)
        return false;
    char date[16], time_text[16];
    date_and_time(date, sizeof date, time_text, sizeof time_text);
    std::fprintf(g_log.file, "%s %s v%dr%d%s Log File\n", kPlatformName, kProgramName, 7, 50, "[i]");
    if (append) {
        std::fprintf(g_log.file, "\n    %s LOG appended on %s at %s\n", kProgramName, date, time_text);
        std::fprintf(g_log.file, "    ---------------------------------------------------\n\n");
    } else {
        std::fprintf(g_log.file, "\n");
        std::fprintf(g_log.file, "            Created on  %s  at  %s\n\n", date, time_text);
    }
    std::fflush(g_log.file);
    return true;
}

void log_close()
{
    if (g_log.file) {
        std::fclose(g_log.file);
        g_log.file = nullptr;
    }
}

bool log_is_open()
{
    return g_log.file != nullptr;
}

void log_vprintf(const char* fmt, va_list args)
{
    if (!g_log.file)
        return;
    std::vfprintf(g_log.file, fmt, args);
}

void log_printf(const char* fmt, ...)
{
    if (!g_log.file)
        return;
    va_list args;
    va_start(args, fmt);
    std::vfprintf(g_log.file, fmt, args);
    va_end(args);
}

void log_write(const char* text)
{
    if (g_log.file && text)
        std::fputs(text, g_log.file);
}

void log_flush()
{
    if (g_log.file)
        std::fflush(g_log.file);
}

void log_set_clock(std::time_t (*clock)())
{
    g_log.clock = clock;
}
