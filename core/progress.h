// The progress meter every long task reports through: a task meter (with
// one saved outer meter for nesting), an overall meter for batches, pause
// and cancel.  The display is the platform's; this is the logic.
#pragma once

// Opens a task meter; a meter already open is saved as the outer meter.
void progress_open(const char* caption, long total, int step = 1);
// Reports a position; true when the user asked to cancel.  False when no
// meter is open.
bool progress_update(long position);
// Ends the current meter, restoring the outer one when one was saved.
void progress_close();
// Switches between paused and running (ignored when no meter is open).
void progress_toggle_pause();

// The overall meter of a batch (a sequence of frames).
void progress_overall_total(long total);
void progress_overall_position(long position);
void progress_overall_end();

// The cancel control (and Ctrl-C in `vq`).  Safe to call from a signal
// handler.
void progress_request_cancel();
bool progress_cancel_requested();
// Ctrl-C (SIGINT) asks the running job to stop at its next Update; pressed
// again while that request is still pending, it ends the program at once.
void progress_install_interrupt();
// Whether Ctrl-C was pressed since the handler was installed.
bool progress_interrupted();
// Batch work switches message pumping off: Update then neither pumps nor
// reports a cancel.
void progress_set_batch(bool batch);
// Whether the busy cursor follows the percentage.
void progress_set_busy_cursor(bool enabled);

struct ProgressState {
    int depth;
    const char* caption;
    long total, position;
    int step;
    int last_percent;
    bool paused;
    bool overall_running;
    long overall_total, overall_pos;
    bool title_shows_percent;
    int pumping;
};
ProgressState progress_state();
