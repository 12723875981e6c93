// Start-up, message loop and shut-down of the workstation.
#pragma once

#include <string>

namespace ws {

class MainWindow;

// Makes the frame window, runs the system's start-up with the command line
// ("/icon", files to open), then the message loop.  Returns the quit code.
int run_workstation(int argc, char** argv);

// The pieces of run_workstation, for tests: start-up (false when it failed)
// and shut-down (false when cancelled).
MainWindow* workstation_start(const std::string& home, bool unattended, int argc = 0, char** argv = nullptr);
bool workstation_stop();

} // namespace ws
