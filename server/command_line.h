// The command line of the command server: a verb and up to three
// arguments, as other programs send them ("Target: /tmp/a.png",
// "SHEET film.tml, 3").
#pragma once

#include <cstddef>
#include <string>

// At most this many characters of a command are used.
constexpr size_t kServerCommandMax = 256;

struct CommandLine {
    std::string verb;    // up to the first ":" or blank, a "/" skipped
    std::string first;   // up to the first ",", blanks removed
    std::string second;  // up to the next ",", blanks removed
    std::string third;   // the rest, blanks removed (the "last argument")
    std::string rest;    // everything after the verb, trimmed, blanks kept
};

// Splits `text` (at most kServerCommandMax characters of it, up to a NUL).
CommandLine parse_command_line(const char* text, size_t length);

enum class ServerVerb {
    None,     // matches nothing: the command does nothing
    Sheet,    // "e" / "Sheet": render a frame of a timeline file
    Close,
    Iconify,  // "Icon" / "Minim"
    Restore,  // "Deicon" / "Restore"
    Source,   // "Actor" / "Source"
    Brush,
    Target,   // "Backg" / "Target"
    Front,
    // Extensions: whole words, case ignored.
    Apply,
    Save,
    Script,
};

// The verb a command's first word names: compared by its leading
// characters, case ignored, in the order of the verb table.
ServerVerb server_verb(const std::string& verb);
const char* server_verb_name(ServerVerb verb);
