// The designer's application object: brings up the toolkit and the main window around the same
// start-up an unattended run goes through, and takes them down again.
#pragma once

namespace orvik::ui {

// Runs the designer with the program's command line (a display is there); returns the exit
// status, 2 when the toolkit could not start.
int RunDesigner(int argc, char** argv);

}  // namespace orvik::ui

// The entry the program looks up when it loads the designer's library.
extern "C" __attribute__((visibility("default"))) int OrvikRunDesigner(int argc, char** argv);
