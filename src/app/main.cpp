// orvik: the report designer and unattended report runner. An unattended run (or --help, or a
// conversion) goes straight to the runner and never loads the windowing toolkit; `orvik serve`
// goes straight to the report server; everything else opens the designer.
#include <string>
#include <vector>

#include "app/OrvikApp.h"
#include "serve/ServeCommand.h"

int main(int argc, char** argv) {
    std::vector<std::string> arguments(argv + 1, argv + argc);
    if (!arguments.empty() && arguments.front() == "serve")
        return orvik::serve::RunServeCommand({arguments.begin() + 1, arguments.end()});
    if (ORVIK_GUI && COrvikApp::WantsDesigner(arguments)) return COrvikApp::RunDesigner(argc, argv);
    COrvikApp app(std::move(arguments));
    return app.Run();
}
