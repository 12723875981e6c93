// The file formats the system knows: one table with one reader and one
// writer per format.  A new codec is registered by filling its row in
// codecs.cpp (or, for a codec that lives above this folder, by calling
// codec_register at start-up).  The load dispatch finds a reader through the
// identification tests, which name rows of this table; the save entry finds
// the writer by the "SaveType" code.
#pragma once

#include <cstdio>

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
};

using ReadFn = Image* (*)(const LoadRequest& request);
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
    CODEC_RAW,
    CODEC_SGI,
    CODEC_PSD,
    CODEC_SOFTIMAGE,
    CODEC_RLA,
    CODEC_ALIAS,
    CODEC_LAYERED,
    CODEC_IRAW,
    CODEC_PIX,
    CODEC_PDX,
    CODEC_COUNT
};

struct Codec {
    CodecId id;
    const char* title;      // "Targa", for messages
    int code;               // the format code a loaded image gets; -1: the reader sets it
    int save_type;          // the "SaveType" that selects the writer; -1: none
    const char* extension;  // what a saved file's name is given (".tga")
    ReadFn read;            // null: the format is recognised, but not read
    WriteFn write;          // null: not savable
};

const Codec& codec(CodecId id);
// The codec whose writer serves a "SaveType"; null for an unknown type.
const Codec* codec_for_save_type(int save_type);
// The title of the codec that gives images a format code ("Layered (ELF)"); null when none does.
const char* codec_title_for_code(int code);
// Fills a row for a codec that lives outside this folder (the layered file).
void codec_register(CodecId id, ReadFn read, WriteFn write);

// ---- the readers and writers of this folder --------------------------------
Image* ReadBmp(FILE* stream);
int WriteBmp(Image* image, const char* name, int bits);
Image* ReadPng(FILE* stream, const char* name);
int WritePng(Image* image, const char* name, int bits);
Image* read_iraw(FILE* stream, long file_size);
Image* read_ppm(FILE* stream, long file_size);
// The 4-bit picture files: 128 x 128 (".pix") and 260 x 256 (".pdx").
Image* read_picture4(FILE* stream, bool pdx);

// ---- the open and save dialogs ----------------------------------------------
// The filter lists, fields separated by "|" as in the resources.
extern const char* const kLoadFilter;      // resource 21122
extern const char* const kSaveAsFilter;    // resource 21121
extern const char* const kSaveTypeFilter;  // resource 21112, the save types in code order
extern const char* const kSaveAsTitle;     // "Save Image As..."
// The timeline's image pickers: label and pattern pairs, ended by a null label.
struct FilterPair {
    const char* label;
    const char* pattern;
};
extern const FilterPair kTimelineFilters[];

// Save Image As: one-based filter index to "SaveType" and back.
int save_type_from_filter(int filter_index);
int filter_from_save_type(int save_type);
// The list with "|" turned into NUL, as the file dialogs want it.  `out`
// receives the list and a final extra NUL; false when it does not fit.
bool filter_list_for_dialog(const char* list, char* out, size_t size);
