// The command server: other programs drive the system over a Unix-domain
// socket.  A connection is a conversation under the service "Glimvq" and
// the topic "Vq"; execute and poke carry command lines (command_line.h),
// request hands out the first open image row by row.  docs/server.md gives
// the wire format.
//
// Everything runs on the thread that calls server_poll: the front end's
// interface thread.  A command runs to its end before the next message is
// read, and no socket call ever waits.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct Image;

namespace server {

// Message kinds: the byte after the length.
constexpr char kInitiate = 'I';
constexpr char kAcknowledge = 'A';
constexpr char kRequest = 'R';
constexpr char kPoke = 'P';
constexpr char kExecute = 'E';
constexpr char kTerminate = 'T';
constexpr char kData = 'D';

// The largest message read whole (kind and payload); longer ones are
// skipped and answered with a negative acknowledgement.
constexpr size_t kMaxMessage = 1u << 20;

// What the front end does for the verbs that touch its windows, and the
// work the extensions hand to it.  Unset entries: the verb does nothing
// (Front, Iconify, Restore) or the library does the work itself.
struct ServerHooks {
    void (*front)() = nullptr;     // to the top, restored when minimised
    void (*iconify)() = nullptr;
    void (*restore)() = nullptr;
    void (*close)() = nullptr;     // as if the user closed the program
    // The role left `old_image` (null: none) for `new_image`: views switch over; a
    // front end without views may release an image that lost its last role.
    void (*role_changed)(Image* old_image, Image* new_image) = nullptr;
    // "Apply: OPERATION, NAME=VALUE...": the current operation (its values
    // set) applied to the target.  0 done; otherwise `error` says why (when
    // the system did not say).  Unset: perform_operation on the target.
    int (*apply)(Image* target, std::string& error) = nullptr;
    // "Save: PATH": the target written with the save settings.
    int (*save)(Image* image, const std::string& path, std::string& error) = nullptr;
    // "e"/"Sheet": the timeline is loaded; generate frame `frame` (from 1).
    // Without a hook the frame is generated as the workstation's Generate
    // button would, to the sequence output the settings name.
    int (*render_frame)(long frame, std::string& error) = nullptr;
};
void server_set_hooks(const ServerHooks& hooks);

// The socket the server listens on unless told otherwise:
// $XDG_RUNTIME_DIR/glimvq/Glimvq.Vq, else the settings folder.
std::string server_default_socket_path();

// Listens on `path` (empty: the default).  The folder of the default path
// is made with mode 0700; the socket gets mode 0600.  A socket left by a
// crashed server is replaced; a live one refuses.  0, or 1 with the reason
// in `error`.
int server_start(const std::string& path, std::string& error);
// Closes every conversation and removes the socket.
void server_stop();
bool server_running();
const std::string& server_socket_path();

// One round: accepts, reads, answers, writes what the sockets take, with
// at most one command per conversation, and checks the acknowledgement
// timers.  Waits at most `timeout_ms` for something to happen (-1: until
// something does or a timer runs out; an interrupting signal ends the
// wait).  Returns true while the server runs.
bool server_poll(int timeout_ms);
// The sockets to watch: the listening one and each conversation's, with
// whether it waits to write.  A front end with an event loop watches them
// and calls server_poll(0) when one is ready; `busy` tells it to call
// again without waiting (commands already read are pending).
struct WatchedSocket {
    int fd;
    bool read, write;
};
std::vector<WatchedSocket> server_sockets(bool* busy = nullptr);

// After a data answer the server waits for the client's acknowledgement
// when the client asked for acknowledgements in its initiate ("Ack").  A
// negative one, or none within the wait, shows "DDE send data failed" in a
// box titled "Server".  The wait in milliseconds: -1 takes the setting
// "ServerAckWait" (seconds, 5 unless set); 0 runs no timer.
void server_set_ack_wait(int ms);
int server_ack_wait_ms();
// Milliseconds until the first running timer runs out (-1: none runs); a
// front end with an event loop calls server_poll(0) then.
int server_timer_ms();
// Data sends that failed since the program started.
unsigned long server_send_failures();

// "Close" asked the headless loop to end (the hook, when set, ran instead).
bool server_close_requested();

// The state the verbs keep between commands.
long server_row_counter();
const std::string& server_last_argument();
size_t server_conversations();
unsigned long server_commands();

// The handling of one command line, as execute (poke: as poke).  Used by
// the socket layer and by tests.  True: positive acknowledgement; false:
// negative, with the reason in `reason`.
bool server_command(const char* text, size_t length, bool poke, std::string& reason);

// One request's answer: "Line %ld", NUL, the row's bytes; or "Empty", NUL.
std::string server_row_answer();
// The request of the item "Size" (an extension): "Size W H", NUL; or "Empty", NUL.
std::string server_size_answer();

} // namespace server
