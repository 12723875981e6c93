// The plain-text log "VQLOG.txt", open for the whole run when "KeepLog" is set.
// Every writer checks that the log is open; nothing is written otherwise.
#pragma once

#include <cstdarg>
#include <ctime>
#include <string>

// Folder the log lives in: the folder current at start-up unless set.
void log_set_folder(const std::string& folder);
std::string log_path();

// Opens the log and writes its header (create mode replaces the file,
// append mode adds to it).  Returns false when the file cannot be opened;
// the program then runs without a log.
bool log_open(bool append);
void log_close();
bool log_is_open();

void log_printf(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
void log_vprintf(const char* fmt, va_list args);
void log_write(const char* text);
void log_flush();

// The clock the header lines read (tests fix it).
void log_set_clock(std::time_t (*clock)());
