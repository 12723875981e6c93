// Numbered messages and the error box, the two ways every subsystem tells
// the user that something went wrong.
//
// Message n is the text of string resource 5000 + n.  It is shown in a box
// titled "Message %03d" and logged as "MESSAGE(%03d): \"%s\"\n", followed by
// the extra line (a file or library name) when one is given.
#pragma once

#include "core/platform.h"

constexpr int kMessageResourceBase = 5000;

// The text of message n; "" for a number the catalogue does not hold.
const char* message_text(int n);
// The text of string resource id (5000 + n for message n); "" when absent.
const char* string_resource(int id);

// Shows message n with an optional second line; returns 0.
int message_show(int n, const char* extra = nullptr);
// Asks message n as a question; the answer comes from the platform.
ui::Answer message_ask(int n, ui::Ask kind, const char* extra = nullptr);

// The box titled "Note!" with the stop icon; the texts are joined by a line
// break and logged as "MESSAGE: \"%s\"\n".  Returns 0.
int error_box(const char* text, const char* text2 = nullptr);
// A note to the user: an error box that reports a failure of some step.
int note(const char* text);

// Quiet mode: no box is shown (the image manager's thumbnail builder and
// other batch work); messages are still logged.
void messages_set_quiet(bool quiet);
bool messages_quiet();
// How many messages and error boxes were reported so far (quiet or not):
// a caller tells a refusal that was explained from a silent one.
unsigned long messages_reported();

// Numbers the subsystems refer to by name.
namespace msg {
enum : int {
    FilmNoRealMemory = 1,
    SourceNoLock = 2,
    FilmInsertNoRealMemory = 3,
    FilmNoMemory = 4,
    CannotOpenImage = 6,
    NoMemoryNewImage = 7,
    CannotWriteHeader = 8,
    CannotWritePalette = 9,
    CannotWriteFirstFrame = 10,
    NoImagesLoaded = 11,
    FileEmpty = 14,
    IncorrectFileType = 17,
    TypeNotRecognized = 18,
    NoFilmStrip = 19,
    NoMemoryOperation = 22,
    NoHelpIndex = 23,
    NoFileHeader = 24,
    FileTruncated = 25,
    ProblemWriting = 26,
    NoRealMemoryImage = 27,
    CannotCreateImageFile = 37,
    NoMemoryUndoRequired = 38,
    NoMemoryUndo = 39,
    FileTypeMismatch = 42,
    NoMemoryIoBuffer = 43,
    NoMemoryDecompression = 44,
    NoMemoryFilmFrame = 50,
    DifferentSizedFrame = 51,
    NoRealMemoryUndo = 52,
    CannotCreateFlc = 53,
    NoVirtualMemoryOperation = 59,  // the mask cannot be allocated
    NoMemoryMask = 59,
    NoRealMemoryOperation = 60,
    NoRealMemoryMask = 62,
    IShapeNotFound = 63,
    IShapeNoPoints = 64,
    NoChange = 65,
    CannotOpenRequested = 71,
    IncompleteFrames = 74,
    LoaderNotFound = 75,
    LoaderCorrupted = 76,
    FileTooSmall = 79,
    NoTimelineOperations = 82,
    TwoLoads = 83,
    CannotCreateRequested = 84,
    TimelineChanged = 85,
    OperationInProgress = 86,
    NoTimelineImage = 87,
    SequenceFileExists = 91,
    FilmFileDamaged = 92,
    CannotSaveType = 103,
    UndoImageClosed = 106,
};
} // namespace msg
