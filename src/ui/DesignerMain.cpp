// orvik with its designer: an unattended run (or --help, or a conversion) goes straight to the
// runner and never touches a display; everything else opens the designer's window.
#include <string>
#include <vector>

#include "app/OrvikApp.h"
#include "ui/DesignerApp.h"

int main(int argc, char** argv) {
    std::vector<std::string> arguments(argv + 1, argv + argc);
    if (!COrvikApp::WantsDesigner(arguments)) {
        COrvikApp app(std::move(arguments));
        return app.Run();
    }
    return orvik::ui::RunDesigner(argc, argv);
}
