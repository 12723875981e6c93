// Initialisation files: lines of "[section]" and "key=value".
//
// The profile service reads and writes one key of a section the way the
// desktop's profile functions did: keys and sections match without regard
// to case, blanks around keys and values do not count, a missing file or key
// gives the default, and a write keeps every other line of the file as it
// was.  Lines that are neither a section nor a key (no '=', junk) are
// skipped on reading and kept on writing.
//
// The fast reader and writer serve the files the system writes whole in one
// go ("GLIMVQpu.ini", "GLIMVQtv.ini"): the writer streams one section, the
// reader loads the file once into a block ("ini_dat_tmp") and answers every
// look-up from an index of it.
//
// A file name without a '/' lies in the settings folder (app_config_folder).
#pragma once

#include <string>

// The path a file name stands for.
std::string profile_path(const char* file);

// Copies the value (or `fallback`) into buffer, at most length - 1
// characters and a terminating zero; returns the number of characters.
long profile_read(const char* section, const char* key, const char* fallback, char* buffer, long length,
                  const char* file);
// The same as a string, cut to `max_length` characters.
std::string profile_get(const char* section, const char* key, const char* fallback, long max_length,
                        const char* file);
// Sets a key (a null value removes it; a null key removes the section).
// Line breaks in the value end it.  false when the file cannot be written.
bool profile_write(const char* section, const char* key, const char* value, const char* file);

// Between hold and release, writes to the file are kept in memory and
// written out once, at release (preferences write three hundred keys).
// release returns false when the file could not be written.
void profile_hold(const char* file);
bool profile_release();
// Forgets the cached copy (the next read loads the file again).
void profile_forget();

// ---- fast writer ------------------------------------------------------
// The first call for a file creates it and writes "[section]\n"; each call
// writes "key=value\n".  0 done; 1 the file cannot be created or written.
int fast_ini_write(const char* section, const char* key, const char* value, const char* file);
// Ends the file: it replaces the old one only now, complete.  0 done, 1 failed.
int fast_ini_write_close();

// ---- fast reader ------------------------------------------------------
// As profile_read; the file is loaded on the first look-up.
long fast_ini_read(const char* section, const char* key, const char* fallback, char* buffer, long length,
                   const char* file);
// Releases the loaded file.
void fast_ini_read_close();
