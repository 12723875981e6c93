// Where a generated sequence goes: numbered image files written through the
// save entry with the sequence save settings, the FLC, GIF, MNG and AVI
// animation writers, a film file, and the film strip.
#pragma once

#include "timeline/sequence.h"

#include <memory>
#include <string>

struct Image;

class SequenceWriter {
public:
    virtual ~SequenceWriter() = default;
    // Writes the frame `index` of the output (from 0), timeline frame `frame`
    // (from 0).  0, else after telling the user why.
    virtual int frame(Image* image, long index, long frame) = 0;
    // Ends the output.  `complete` is false when the run stopped early: the
    // frames written so far are kept.  0, else after telling the user why.
    virtual int finish(bool complete) = 0;
    // The file written last, "" when none.
    const std::string& written() const { return written_; }

protected:
    std::string written_;
};

// A writer for `count` frames; null after telling the user why.
std::unique_ptr<SequenceWriter> sequence_writer(const SequenceOutput& output, long count);

bool sequence_output_parse(const std::string& name, SequenceOutput& out, std::string& error);

// The file timeline frame `number` (from 1) is written to.
std::string sequence_output_file(const SequenceOutput& output, long number);

// Puts a frame into the film strip at `frame` (from 0) when `always` or when
// the film-strip window is open.  0, else after telling the user why.
int sequence_film_place(Image* image, long frame, bool always);
