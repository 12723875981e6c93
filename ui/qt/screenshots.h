// "/shots=DIR": pictures of the workstation for the documentation, taken
// from the running program with the image it was given, then it ends.
#pragma once

#include <QString>

namespace ws {

class MainWindow;

// Sets the scene up (layers, a selection of tools, a previewed effect),
// saves one picture per window into `folder` and closes the program.
void take_screenshots(MainWindow* window, const QString& folder);

} // namespace ws
