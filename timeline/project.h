// Project files ("*.VQP"): a settings file that begins "VQPROJ" and names,
// besides the current operation's settings, the open images by their role
// ("TARGET", "SOURCE", "BRUSH", other images as "IMAGE") and the timeline
// ("TIMELINE").
#pragma once

struct Image;

// Writes the project: the images with a file (the others cannot be named
// and are left out), the timeline's file when it has one, and the current
// operation's settings.  0 done; 1 the file could not be made (message 84)
// or written (26).
int project_save(const char* path);

// Reads a project: the operation settings, then opens the images it names
// with `open` (the load dispatch when null; an image named twice is opened
// once), gives them their roles and loads the timeline.  Paths that are not
// absolute are taken from the project's folder.  0 done; 1 when the file is
// not a settings file or an image or the timeline failed (each reported).
int project_load(const char* path, Image* (*open)(const char* path) = nullptr);
