// The command server inside the workstation: its sockets watched by the
// event loop, its verbs reaching the frame window.
#pragma once

#include <string>

namespace ws {

class MainWindow;

// Starts listening (the default socket unless `path` names one); false,
// with the reason logged and on stderr, when it cannot.
bool command_server_start(MainWindow* window, const std::string& path = {});
void command_server_stop();
bool command_server_running();

} // namespace ws
