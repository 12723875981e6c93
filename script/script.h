// The script engine as the rest of the system sees it: the run entry that
// executes one script file, the break request, the current image of the
// image commands, the script editor's file rules and the function-key
// script table.
#pragma once

#include <string>

struct Image;

// Runs a script: argv[1] is the path (tried again with ".gxs" appended);
// further arguments are handed to the program (COMMAND$, ARGC, ARGV$(n)).
// 0 when it ended (END, STOP or its last line), 1 after an error that no
// handler caught (already shown through the "Script Output" path), 2 when
// it was broken off.
int script_run(int argc, const char* const* argv);
// The message of the error that ended the last run ("" when none).
const std::string& script_last_error();
// Breaks off the running script at its next line ("Program break at line
// N").  Safe to call from a signal handler.
void script_request_break();
bool script_running();

// The image the image commands work on: the active image when the script
// was started.  Null when there is none.
void script_set_image(Image* image);
Image* script_image();

// The path of the current script: "ScriptPath", a separator when the folder
// lacks one, and "ScriptFilename".
std::string script_current_path();

// ---- the script editor's file rules ------------------------------------
// Reads a script for editing.  Files of 64000 bytes or more are refused with
// "Script larger than 64k!" (caption "Edit Error"); 0 done, 1 refused.
int script_editor_load(const std::string& path, std::string& text);
// Saves the editor's text.  An empty `path` asks for one ("Save Script
// File", "*.GXS"); `path` receives the name used.  0 done, 1 failed.
int script_editor_save(std::string& path, const std::string& text);
// Asks for a script to load ("Load Script File", "*.GXS"); "" = cancelled.
std::string script_editor_choose(const std::string& suggested);
constexpr long kScriptEditLimit = 64000;

// ---- function-key scripts -----------------------------------------------
constexpr int kFunctionKeys = 10;
// Start-up and shut-down of the table (filled from and written back to the
// preferences "F1".."F9" and "PF1".."PF9"); registered as a subsystem.
bool fkeys_init();
void fkeys_release();
// Key n is 1..10.
const char* fkey_file(int n);
const char* fkey_folder(int n);
void fkey_set(int n, const char* file, const char* folder);
// The "FNKEYS" dialog works on the table and restores the backup on cancel.
void fkeys_backup();
void fkeys_restore();
// Runs key n's script on the active image.  `draw_first` tells whether the
// area mode draws the selection before an operation; without it nothing
// runs and the "Script Engine Error" box explains why.  0 done, 1 failed or
// refused.
int fkey_run(int n, bool draw_first);
// How a function-key script is run on the active image: the workstation's
// script operation (undo capture, progress) when one is installed, else the
// run entry directly.
void script_set_operation_runner(int (*runner)(const std::string& path));
