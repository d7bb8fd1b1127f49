// The designer's application object: brings up the toolkit and the main window around the same
// start-up an unattended run goes through, and takes them down again.
#pragma once

namespace orvik::ui {

// Runs the designer with the program's command line; returns the exit status. Without a display
// it says so on standard error and returns 2, as a build without the designer does.
int RunDesigner(int argc, char** argv);

}  // namespace orvik::ui
