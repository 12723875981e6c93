// Area files ("*.ASF") and shape files ("*.ISH").
#pragma once

// Writes the current area settings as an area file.  0 done; 1 the file
// could not be opened (message 71 with its name).
int area_save(const char* path);
// Reads an area file into the current area settings and selects the area.
// 0 done; 1 not opened (71) or not an area file (42).
int area_load(const char* path);

// Writes the current freehand or polygon points as a shape file, which then
// becomes the current shape.  0 done; 1 nothing to write or not opened (71).
int shape_save(const char* path);
// Reads a shape file into the current shape.  0 done; 1 not found (63), not
// a shape file (42) or without points (64).
int shape_load(const char* path);
