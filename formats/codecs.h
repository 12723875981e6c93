// The file formats the system knows: one table with one reader and one
// writer per format.  A new codec is registered by filling its row in
// codecs.cpp (or, for a codec that lives above this folder, by calling
// codec_register at start-up).  The load dispatch finds a reader through the
// identification tests, which name rows of this table; the save entry finds
// the writer by the "SaveType" code.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

struct Image;

// Every path buffer handed to the load and save entries holds this many bytes.
constexpr int kImagePathMax = 301;

// What a reader is given.  The stream is a fresh binary stream at offset 0,
// owned by the dispatcher: a reader never closes it.
struct LoadRequest {
    const char* name;  // the file's path
    FILE* stream;
    long file_size;    // bytes in the file
};

// What a writer is given besides the image and the name.
struct SaveRequest {
    int bits;      // bits per pixel, from "SaveDepth"
    int compress;  // "SaveCompress"
    int quality;   // "JPEGQuality"
    // The file the user named.  Writers are handed a temporary file beside
    // it that replaces it only when the writer succeeds; a writer that adds
    // to an existing file (a further animation frame) reads the old one here.
    const char* target = nullptr;
};

using ReadFn = Image* (*)(const LoadRequest& request);

// What a file holds, read from its header without decoding the pixels.
struct ImageInfo {
    long width = 0, height = 0;
    int bits = 0;        // bits per pixel as stored
    bool alpha = false;
    double hres = 0, vres = 0;  // dots per inch; 0 when the file gives none
    long frames = 0;     // frames of an animation or film; 0 for a still image
    long frame = 0;      // the frame a load reads (from 1); 0: as the dispatch chooses
    int code = -1;       // the format code, from a reader that chooses among codes (ILBM 2, TRIM 7)
};
// 0 done; else the reader's code after telling the user why.
using InfoFn = int (*)(const LoadRequest& request, ImageInfo* info);
// 0 on success, else the writer's code; the writer reports its own failures.
using WriteFn = int (*)(Image* image, const char* name, const SaveRequest& request);

enum CodecId : int {
    CODEC_BMP,
    CODEC_FLC,
    CODEC_IFF,
    CODEC_JPEG,
    CODEC_PCX,
    CODEC_TGA,
    CODEC_TIFF,
    CODEC_TRIM,
    CODEC_AVI,
    CODEC_FS,
    CODEC_GIF,
    CODEC_PNG,
    CODEC_FILM,
    CODEC_PPM,
    CODEC_RGB,
    CODEC_RAW,
    CODEC_SGI,
    CODEC_PSD,
    CODEC_SOFTIMAGE,
    CODEC_RLA,
    CODEC_ALIAS,
    CODEC_LAYERED,
    CODEC_MNG,
    CODEC_IRAW,
    CODEC_PIX,
    CODEC_PDX,
    CODEC_JPEG_STREAM,  // recognised only to be refused
    CODEC_MPEG,         // recognised only to be refused
    CODEC_COUNT
};

// What the identification tests look at.  The headers are read a little
// longer than the 12 bytes the tests name, because the ".orf" test looks at
// bytes 6 to 13; bytes beyond the end of the file read as 0.
struct ProbeHeader {
    const char* name;
    const char* ext;
    FILE* stream;
    uint8_t h[16];
    char s82[9];
    uint8_t g[16];
};
using ProbeFn = bool (*)(const ProbeHeader& header);

// One identification test of a codec: the step of the dispatch at which it
// is tried (the first test that matches wins), and, for a format that is
// recognised only to be refused, the message text ("%s" takes the name).
struct CodecProbe {
    int step;  // 0: no test
    ProbeFn test;
    const char* refusal;
};

// One row per format: how the dispatch recognises it, who reads and writes
// it, and how the open and save dialogs list it.
struct Codec {
    CodecId id;
    const char* title;      // "Targa", for messages
    const char* tag;        // the type name of its format code ("TGA"); null when another row names the code
    int code;               // the format code a loaded image gets
    bool reader_sets_code;  // the reader chooses among codes (ILBM 2, TRIM 7; I-RAW keeps a new record's)
    int save_type;          // the "SaveType" that selects the writer; -1: none
    const char* extension;  // what a saved file's name is given (".tga")
    ReadFn read;            // null: the format is recognised, but not read
    WriteFn write;          // null: not savable
    CodecProbe probes[3];
    // The dialogs' lists; null when the row is not listed there.
    const char* load_label;      // "Targa (*.TGA)", in the load list (in code order)
    const char* pattern;         // "*.TGA"
    bool save_as;                // offered by Save Image As, with the load label
    const char* save_type_label; // in the list of save types (code order); "" keeps an empty place
    const char* timeline_label;  // in the timeline's image pickers
    int timeline_order;          // their place there
    InfoFn info = nullptr;       // the header alone; null: the dispatch reads the whole image
};

const Codec& codec(CodecId id);
// All rows, in code order.
const Codec* codec_rows(int* count);
// The codec whose writer serves a "SaveType"; null for an unknown type.
const Codec* codec_for_save_type(int save_type);
// The title of the codec that gives images a format code ("Layered (ELF)"); null when none does.
const char* codec_title_for_code(int code);
// The type name of a format code ("TGA"; "MNG" and "GIF" for the animated
// forms 22 and 23); null when no row names the code.
const char* codec_type_name(int code);
// Fills a row for a codec that lives outside this folder (the layered file).
// Returns the row as it was, so that a caller can put it back.
Codec codec_register(CodecId id, ReadFn read, WriteFn write, InfoFn info = nullptr);
void codec_restore(const Codec& row);

// The identification tests, in the order the dispatch tries them.
struct DispatchProbe {
    const CodecProbe* probe;
    const Codec* codec;
};
const DispatchProbe* dispatch_probes(int* count);

// ---- the identification tests (probes.cpp) ---------------------------------
bool is_avi(const ProbeHeader&);
bool is_iraw(const ProbeHeader&);
bool is_mng(const ProbeHeader&);
bool is_bmp(const ProbeHeader&);
bool is_sgi(const ProbeHeader&);
bool is_gif(const ProbeHeader&);
bool is_iff(const ProbeHeader&);
bool is_tiff(const ProbeHeader&);
bool is_film(const ProbeHeader&);
bool is_ppm(const ProbeHeader&);
bool is_psd(const ProbeHeader&);
bool is_layered(const ProbeHeader&);
bool is_softimage(const ProbeHeader&);
bool is_rla(const ProbeHeader&);
bool is_alias(const ProbeHeader&);
bool is_flic(const ProbeHeader&);
bool is_pcx(const ProbeHeader&);
bool is_jfif(const ProbeHeader&);
bool is_exif(const ProbeHeader&);
bool is_jpeg_stream(const ProbeHeader&);
bool is_mpeg(const ProbeHeader&);
bool is_targa(const ProbeHeader&);
bool is_pix(const ProbeHeader&);
bool is_pdx(const ProbeHeader&);
bool is_png(const ProbeHeader&);
bool is_raw(const ProbeHeader&);
bool is_late_jpeg(const ProbeHeader&);
// Reads count bytes at offset (zeros past the end); false when they are not all there.
bool probe_read_at(FILE* stream, long offset, uint8_t* out, size_t count);

// ---- the readers and writers of this folder --------------------------------
// `name` (when given) is named in the messages.
Image* ReadBmp(FILE* stream, const char* name = nullptr);
int InfoBmp(FILE* stream, const char* name, ImageInfo* info);
int WriteBmp(Image* image, const char* name, int bits);
Image* ReadPng(FILE* stream, const char* name);
int InfoPng(FILE* stream, const char* name, ImageInfo* info);
// "SaveCompress" 3 to 9 is zlib's level (9 the smallest files, slowly);
// 0, 1 and 2 (the TIFF codings) give the default, level 3: a few percent
// larger than libpng's default of 6, several times faster on photographs.
constexpr int kPngDefaultLevel = 3;
int png_level_for(int compress);
int WritePng(Image* image, const char* name, int bits, int compress = 1);
Image* read_iraw(FILE* stream, long file_size, const char* name = nullptr);
int info_iraw(FILE* stream, long file_size, const char* name, ImageInfo* info);
Image* read_ppm(FILE* stream, long file_size, const char* name = nullptr);
int info_ppm(FILE* stream, long file_size, const char* name, ImageInfo* info);
// The 4-bit picture files: 128 x 128 (".pix") and 260 x 256 (".pdx").
Image* read_picture4(FILE* stream, bool pdx, long file_size, const char* name = nullptr);
int info_picture4(bool pdx, long file_size, const char* name, ImageInfo* info);

// ---- the open and save dialogs ----------------------------------------------
// The filter lists, fields separated by "|" as in the resources, made from
// the rows.  `readable_only` / `writable_only` leave out formats whose reader
// or writer is not built, as the dialogs want them; the full lists are the
// resources' texts.
std::string load_filter(bool readable_only = false);      // resource 21122
std::string save_as_filter(bool writable_only = false);   // resource 21121
std::string save_type_filter();                          // resource 21112, the save types in code order
extern const char* const kSaveAsTitle;                   // "Save Image As..."
// The timeline's image pickers: label and pattern pairs.
struct FilterPair {
    const char* label;
    const char* pattern;
};
std::vector<FilterPair> timeline_filters();
// The save types of the Save Image As list, in its order (what a filter
// index picks); with `writable_only` the shorter list the dialogs show.
std::vector<int> save_as_types(bool writable_only = false);

// Save Image As: one-based filter index to "SaveType" and back.
int save_type_from_filter(int filter_index);
int filter_from_save_type(int save_type);
// The list with "|" turned into NUL, as the file dialogs want it.  `out`
// receives the list and a final extra NUL; false when it does not fit.
bool filter_list_for_dialog(const char* list, char* out, size_t size);
