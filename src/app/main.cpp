// orvik: the report designer and unattended report runner.
#include <string>
#include <vector>

#include "app/OrvikApp.h"

int main(int argc, char** argv) {
    std::vector<std::string> arguments(argv + 1, argv + argc);
    COrvikApp app(std::move(arguments));
    return app.Run();
}
