// Sequence generation: the timeline run over a range of frames.  For every
// frame, level by level, the entries in force load or pick their images,
// select the area and apply the operation with the values their trends give
// for that frame; the frame's image then goes to the film strip and, when
// sequence output is on, to a numbered image file or an animation file.
//
// A frame depends only on the timeline, the files it names and the state the
// run started from: the operation parameters, the area selection and the
// image roles are put back before every level, so that frames rendered on
// their own (a range, another process) equal the same frames of a full run.
#pragma once

#include <string>

struct Image;

// Where the frames go besides the film strip.
enum class SequenceOutputKind : int {
    None,
    Numbered,  // one image file per frame, its name made from a pattern
    Flic,      // one FLC file, frame after frame
    Gif,       // a GIF animation
    Mng,       // an MNG animation
    Avi,       // an AVI file
    Film,      // a film file (FLM) of the frames generated
};

struct SequenceOutput {
    SequenceOutputKind kind = SequenceOutputKind::None;
    // Numbered: a pattern with one number conversion ("out/f%04d.png") that
    // takes the frame number from 1; otherwise the file to write.
    std::string name;
    // Numbered files: the save type, the "SaveDepth" index, compression and
    // JPEG quality; -1 takes "SeqType", "SeqDepth", "SeqCompress", "SeqQuality".
    long type = -1, depth = -1, compress = -1, quality = -1;
    int delay = -1;    // animations: hundredths of a second a frame; -1: "FilmSpeed"
    bool loop = true;  // animations play for ever
};

// The output a file name stands for: a name with one number conversion
// (%d, %4d, %04d) is a numbered pattern; otherwise ".gif", ".mng", ".flc" or
// ".fli", ".avi" and ".flm" name an animation or a film file.  False, with
// the reason in `error`, for anything else.
bool sequence_output_for_name(const std::string& name, SequenceOutput& out, std::string& error);

// The file a numbered pattern gives frame `number` (from 1); "" when the
// pattern has no single number conversion.
std::string sequence_frame_name(const std::string& pattern, long number);

// The workstation's sequence output from the preferences: off unless
// "SaveResult" is set; then the folder "OutPath", the base name "OutName",
// the extension "OutExtn" and the type "SeqType" (1 FLC, 8 AVI, 22 MNG,
// 23 GIF animation, and 10 with "Timeline: GIF=Animated"; the other types
// write numbered files).
SequenceOutput sequence_output_from_settings();

struct SequenceRequest {
    long first = 0, last = 0;  // frames to generate, from 1; 0 takes the timeline's range
    SequenceOutput output;
    // Place every frame into the film strip.  The strip is also filled
    // whenever the film-strip window is open.
    bool film = false;
};

enum SequenceResult : int {
    SEQ_DONE = 0,
    SEQ_FAILED = 1,   // a loader, an operation or a writer failed (the user was told)
    SEQ_REFUSED = 2,  // a question was answered no, or a run is already going
    SEQ_STOPPED = 3,  // the user or a stop request ended the run
};

struct SequenceReport {
    long first = 0, last = 0;  // the range run, from 1
    long frames = 0;           // frames finished and handed on
    std::string written;       // the output file (or the last numbered file) written
};

// Generates the range.  Frames finished before a failure or a stop stay in
// the film strip and in the output files.
int sequence_generate(const SequenceRequest& request, SequenceReport* report = nullptr);

// Asks the run in progress to stop after the level it is in (an external
// stop request: the command server, a signal).  Safe from a signal handler.
void sequence_request_stop();

// The results of the levels of the last frame finished (by any run, stopped
// or not) are kept until the next frame is finished.  A new image, named
// "Level(n)", holding level `level`'s result (from 1) of that frame; null
// with the reason in `error` (no frame generated, no such level, the level
// made no image).
Image* sequence_level_image(long level, std::string& error);
// The frame (from 1) whose level results are kept; 0 when none is.
long sequence_kept_frame();
// Drops them: they belong to a timeline no longer loaded.
void sequence_forget_levels();

// What the workstation contributes.
struct SequenceHooks {
    // A frame is finished: the view of the sequence shows it.
    void (*frame_done)(Image* image, long frame) = nullptr;
    // The run starts or ends (the timeline window greys its grid).
    void (*running)(bool on) = nullptr;
};
void sequence_set_hooks(const SequenceHooks& hooks);
