// The save options every `vq` command that writes an image takes:
// --type T, --depth BITS, --compress N, --quality Q.
#pragma once

#include "app/vq/command.h"

#include <string>

struct Image;

namespace vq {

struct SaveOptions {
    long type = -1;      // "SaveType"; -1: from the output's extension
    long depth = -1;     // bits per pixel; -1: 32 for an image with alpha, else 24
    long compress = -1;  // "SaveCompress"; -1: the setting
    long quality = -1;   // "JPEGQuality"; -1: the setting
};

// When the word at args.peek() is a save option, takes it with its value.
// Returns 1 when one was taken, 0 when the word is none, EXIT_USAGE after a
// usage error was reported.
int take_save_option(const char* command, Args& args, SaveOptions& options);

// Puts the options into the save settings for writing `image` to `out`.
// EXIT_DONE, or EXIT_USAGE after a usage error was reported.
int apply_save_options(const char* command, const SaveOptions& options, const std::string& out, const Image* image);

// The save type a file name's extension stands for, -1 when none.
long save_type_for_name(const std::string& name);

} // namespace vq
