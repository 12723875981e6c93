// Preferences: every setting read from "GLIMVQ.ini" (section "Glimvq") once
// at start-up and written back at shut-down, and the image manager's list
// of folders in "GLIMVQtv.ini" (section "GlimvqTv").
#pragma once

#include <string>

struct Settings;

constexpr const char* kPrefsFile = "GLIMVQ.ini";
constexpr const char* kPrefsSection = "Glimvq";
constexpr const char* kNameListFile = "GLIMVQtv.ini";
constexpr const char* kNameListSection = "GlimvqTv";
constexpr int kNameListMax = 99;        // "TnaCount" 0 to 99
constexpr int kNameListLength = 259;    // characters of a "TnaName%d"

// Reads every key into the settings (defaults for what is missing) and keeps
// the window positions on the screen.  A missing or damaged file is not an
// error: its good lines count, the rest give defaults.  Returns 0.
int prefs_load();
// Writes every key back.  0; 1 when the file cannot be written (reported).
int prefs_save();

// A negative x or y becomes 0, a width or height beyond the screen the
// screen's; a main window less than 41 pixels high goes to y 0 with the
// screen's height.
void prefs_clamp_positions(Settings& s, long screen_width, long screen_height);

// The image manager's saved folders, kept when "Save Manager Path" is on.
struct NameList {
    int count;
    std::string names[kNameListMax];
};
NameList& name_list();
// Reads the list (a count outside 0 to 99 reads as an empty list).  Returns 0.
int name_list_load();
// Writes the list.  0; 1 when the file cannot be written.
int name_list_save();
void name_list_clear();
