// The one way in for image files and the one way out: the load dispatch
// that identifies a file by its leading bytes (and, for a few formats, by
// its name) and the save entry that writes with the current save settings.
#pragma once

#include "formats/codecs.h"

#include <cstddef>
#include <string>

struct Image;

// Loads the image file named in `name`, a writable buffer of kImagePathMax
// bytes: when the file is found in the project or the image folder instead,
// that path replaces the name.  Returns a new unlocked image, or null after
// telling the user why.
Image* LoadImageFile(char* name);
// What the load dispatch makes of a file, without the pixels where the
// codec's row has a header reader (else the image is read and released).
struct FileInfo {
    ImageInfo image;
    int code = -1;          // the format code a load would give
    char type_name[5] = {}; // its type name, as the loaded image would show it ("" for codes without one)
    bool header_only = false;
    const char* codec = nullptr; // the title of the codec that read the header
};
// `name` as for LoadImageFile.  0 done; 1 after telling the user why.
int ImageFileInfo(char* name, FileInfo* out);

// The save settings ("SaveType", "SaveDepth", "SaveCompress", "JPEGQuality",
// "Ordered") and the colour reduction's palette mode and strength as they
// were, put back when the scope ends: the choices of one command, export
// or generated frame do not become the user's preferences.
class SaveSettingsScope {
public:
    SaveSettingsScope();
    // Keeps the settings and puts these four in their place meanwhile.
    SaveSettingsScope(long type, long depth, long compress, long quality);
    ~SaveSettingsScope();
    SaveSettingsScope(const SaveSettingsScope&) = delete;
    SaveSettingsScope& operator=(const SaveSettingsScope&) = delete;

private:
    long type_, depth_, compress_, quality_, ordered_;
    int palette_mode_, strength_;
};

// Saves with "SaveType", "SaveDepth", "SaveCompress" and "JPEGQuality".
// `name` is a buffer of kImagePathMax bytes that receives the format's
// extension when it lacks it.  0 on success, else the writer's code or 1.
int SaveImageFile(Image* image, char* name);

// Save Image As: SaveImageFile, and on success the image takes the new
// name as its title and path, the bits of "SaveDepth" and the format code
// of "SaveType".
int save_image_as(Image* image, char* name);

// The same with a path that need not be writable (tests, the command line).
Image* load_image(const char* path);
int save_image(Image* image, const char* path);

// Runs an external loader or saver library (the JPEG and TIFF codecs).
Image* LoadViaDll(const char* name, const char* library);
int SaveViaDll(Image* image, const char* name, const char* library, long parameter);
// Where a separately loaded library is looked for: "VQLDJPEG.DLL" is
// vqldjpeg.so beside the programs (or in $GLIMVQ_LIB_DIR).
std::string loader_library_path(const char* library);
// The header of a file through a loader library's "ImageInfo" export.
// 0 done; 1 after telling the user why.
int InfoViaDll(const char* name, const char* library, ImageInfo* info);

// The import plug-ins' turn before any built-in test; null when none took
// the file (or no plug-in host is installed).
Image* ImportViaPlugins(const char* name);

// Appends `extension` (".bmp") unless the name ends with it, in any case.
// `size` is the size of the buffer; a name that would overflow is left as it is.
void EnsureExtension(char* name, size_t size, const char* extension);

// "SaveDepth" to bits per pixel: 0, 1 → 32; 2, 3 → 24; 4 → 16; 5 → 8; 6 → 4; 7 → 1; else 0.
int save_depth_bits(long save_depth);
// The reverse for the command line: 32 → 0, 24 → 2, 16 → 4, 8 → 5, 4 → 6, 1 → 7; -1 otherwise.
int save_depth_for_bits(int bits);

// The extension of a name as the dispatch sees it (with its dot), or "".
const char* file_extension(const char* name);

// A new image for a reader, refused (null, nothing shown) when it would
// need more memory than the machine holds: a hostile header must not
// make the system allocate gigabytes for a file of a few bytes.
Image* codec_new_image(long width, long height, const char* label);

// What a file can hold, checked before a reader allocates: a hostile header
// must not make the system allocate gigabytes for a file of a few bytes.
// Uncompressed pixel data must all be present (the reader compares);
// compressed data may stand for at most `pixels_per_byte` pixels a byte, a
// generous bound of what the coding can do at best.  Images of up to
// kAlwaysPlausiblePixels pass whatever their data, so that only headers far
// beyond their files are refused.
constexpr long kAlwaysPlausiblePixels = 1L << 22;
bool codec_size_plausible(long width, long height, double data_bytes, double pixels_per_byte);
// The damaged-file message for such a header: "<kind> file is damaged (it
// declares W x H pixels, more than its N bytes of data can hold):" and the name.
void codec_refuse_declared_size(const char* kind, const char* name, long width, long height, double data_bytes);

// ---- the subsystem's state --------------------------------------------------
struct FlicState;
struct GifAnimation;
struct FormatsState {
    bool loading;             // a load is under way (the re-entrancy guard)
    bool diagnostics;         // BMP palette-usage statistics in the log
    unsigned bmp_usage[256];  // the last 8-bit BMP's palette-index counts
    long max_image_bytes;     // the largest pixel block a reader may ask for
    // Hooks of subsystems above this folder, null when absent.
    Image* (*import_plugins)(const char* name);  // the plug-in host's import passes
    void (*chrono_start)(const char* label);     // the timing window
    void (*chrono_stop)();

    // Animation files (FLI/FLC, GIF).  The frame a load reads: 1 the first,
    // beyond the last the last; 0 leaves the choice to `choose_frame` when
    // the workstation installs it, else the first frame.
    long read_frame;
    // The workstation's frame dialog "SelFrame": given the frame count and
    // a frame's duration in seconds, the 0-based frame to read, negative
    // when the user cancels.
    long (*choose_frame)(long frames, double seconds);
    // The frame position of the sequence in progress: an FLC save writes
    // its image as frame position + 1 (0 makes a new one-frame file, more
    // adds a frame to the file named).  Sequence generation sets it before
    // each frame's save and puts it back to 0 when done.
    long frame_position;
    FlicState* flic_kept;          // the decoding state kept between reads of one FLIC file
    GifAnimation* gif_animation;   // the GIF animation being written, null when none
};
FormatsState& formats_state();
// The setters of the animation fields above.
void formats_set_read_frame(long frame);
void formats_set_frame_position(long position);
