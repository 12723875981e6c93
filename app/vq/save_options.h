// The save options every `vq` command that writes an image takes:
// --type T, --depth BITS, --compress N, --quality Q, and for the indexed
// depths --reduce MODE, --dither ordered|diffusion, --strength N.
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
    long reduce = -1;    // palette mode of the colour reduction; -1: as it is
    int ordered = -1;    // "Ordered": 1 ordered, 0 diffusion; -1: the setting
    long strength = -1;  // dither strength in percent; -1: as it is
};

// When the word at args.peek() is a save option, takes it with its value.
// Returns 1 when one was taken, 0 when the word is none, EXIT_USAGE after a
// usage error was reported.
int take_save_option(const char* command, Args& args, SaveOptions& options);

// "--raw WxH[,CHANNELS[,OFFSET]]" of the commands that read images: the
// layout of raw files, which have no header.  When the word at args.peek()
// is the option, takes it and presets the layout: 1 taken, 0 none,
// EXIT_USAGE after a usage error was reported.
int take_raw_option(const char* command, Args& args);
extern const Option kRawOption;

// Puts the options into the save settings for writing `image` to `out`.
// EXIT_DONE, or EXIT_USAGE after a usage error was reported.
int apply_save_options(const char* command, const SaveOptions& options, const std::string& out, const Image* image);

// Saves through the save entry.  The entry gives the name the type's
// extension when it lacks it ("out.jpeg" becomes "out.jpeg.jpg"); the user
// is told the name then.  EXIT_DONE or EXIT_FAILED (the message is shown).
int save_output(const char* command, Image* image, const std::string& out);

// Loads an input image through the load dispatch.  A file missing where it
// was named may be found in the project or image folder ("ProjPath",
// "ImagePath"); the user is told which file was read then.
Image* load_input(const std::string& path);

// The save type a file name's extension stands for, -1 when none.
long save_type_for_name(const std::string& name);

} // namespace vq
