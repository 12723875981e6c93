// Operation settings files ("*.VQS"): the parameter values of an operation,
// its palettes and its curve profiles, as text.
#pragma once

#include <cstdint>

// Writes the settings of an operation (0: the current one).  0 done; 1 when
// the file cannot be made (message 71) or the operation is unknown.
int save_op_settings(const char* file_name, int32_t command = 0);
// Reads a settings file (or the settings lines of a project file) into the
// operations' variables.  0 done; 1 when the file does not open (message
// 71) or is of another type (message 42).  `command_read`, when given,
// receives the operation whose values the file held (0 when none).
int load_op_settings(const char* file_name, int32_t* command_read = nullptr);

// Lines of a project file naming images and the timeline ("SOURCE",
// "BRUSH", "TARGET", "IMAGE", "TIMELINE"), and lines nothing else knows
// (offered to the plug-in settings reader), go to these readers.
void op_settings_set_project_reader(void (*reader)(const char* line));
void op_settings_set_plugin_reader(void (*reader)(const char* line));
