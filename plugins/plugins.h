// The plug-in host: registered plug-ins, the calls into their libraries, the
// plug-in operation and the settings file of their parameters.
//
// A plug-in library is never resident: every call loads it, calls its entry
// with the services and its parameter record, and unloads it.  Whatever the
// plug-in took through the services (images, memory) is given back after
// the call.
#pragma once

#include "plugins/sdk/gxp.h"

#include <string>

struct List;

// A registered plug-in: its record ("plug struct", 18032 bytes) and the
// library file it came from.
struct PluginEntry {
    GxpRecord* record;
    char path[4096];
};

struct PluginHost {
    List* plugins;       // "plugin_list": PluginEntry elements
    List* sockets;       // "socket_list": images opened during a call
    List* blocks;        // "pmem_list": memory taken during a call
    PluginEntry* selected;
    // The plug-in operation's parameters: what its dialog, `vq apply` and the
    // script's "PU" commands set.  Only the parameter fields are used.
    GxpRecord params;
    bool in_call;
};
PluginHost& plugin_host();

// The subsystem's start-up and shut-down, registered with the application at
// static initialisation (a program that uses the host or the script engine
// links this module).
bool plugins_init();
void plugins_release();

int plugin_count();
PluginEntry* plugin_at(int index);
// By name, case ignored; null when none is registered under it.
PluginEntry* plugin_find(const char* name);

// Loads the library, calls its entry with `code` and unloads it; releases what
// the plug-in took and shows an error text it left.  0 when the call was made
// (its result in *result); 1 when the library could not be loaded or has no
// entry (reported under "Plug-in Error").
int plugin_call(const char* path, GxpRecord* record, int code, int* result);
// Identify (code 3): 0 when the library answered with the handshake, 1 when
// it did not, 2 when it could not be called (reported).  The handshake is
// cleared afterwards.
int plugin_identify(const char* path, GxpRecord* record);

// Registers a plug-in file: identify, the developer-key rule, then the list
// (a plug-in of the same name is replaced, its parameters kept) and code 4;
// the registered plug-in becomes the selected one.  0 done; 1 refused
// (reported).
int plugin_add_file(const char* path, PluginEntry** added = nullptr);
// Removes a plug-in from the list.
void plugin_remove(PluginEntry* entry);
// Makes a registered plug-in the selected one: identify, code 4, and its
// parameters copied into the plug-in operation.  0 done; 1 refused.
int plugin_select(PluginEntry* entry);
// Selects by name, registering a file when `name` is a path.  0 done.
int plugin_load(const char* name);
// Sends a call code to the operation's plug-in with the operation's
// parameters, which take what it leaves in them.  The plug-in's result, or -1
// when nothing was called (code 2 is refused: applying goes through the
// plug-in operation, which has an image and its area).
int plugin_command(int code);

// The plug-in operation's parameters to the record and back.
void plugin_params_to_record(const GxpRecord& from, GxpRecord& to);

// ---- settings file "GLIMVQpu.ini", section "GlimvqPu" ----------------------
constexpr const char* kPluginSettingsFile = "GLIMVQpu.ini";
// Reads the registered plug-ins (replacing the list).  A missing file is an
// empty list.  Bad entries are skipped.  Returns the number read.
int plugins_load_settings(const char* file = kPluginSettingsFile);
// Writes every registered plug-in.  0 done; 1 not written (reported).
int plugins_save_settings(const char* file = kPluginSettingsFile);

// The folder plug-in files are looked for in ("PlugPath", else the settings
// folder's "plugins").
std::string plugin_folder();

// Shows a text under "Plug-in Error" (a beep in quiet mode) and logs it.
void plugin_error(const char* text);

// ---- import plug-ins ("import_list") -----------------------------------------
// File readers (key kind GXP_KIND_IMPORT) found in this folder ("ImporterPath",
// else the settings folder's "importers").  The list is read again whenever
// the folder or its contents change.
std::string importer_folder();
int importer_count();
PluginEntry* importer_at(int index);
// The dispatch's import passes: the readers asked for confidence 2, then 1,
// then 0; the first that fills a new image of its size gives the result.
// Null when none did (the built-in readers come next).
struct Image;
Image* plugins_import(const char* name);
bool importers_init();
void importers_release();

// The workstation's plug-in list window refreshes through this (null: none).
void plugins_set_list_changed(void (*changed)());
