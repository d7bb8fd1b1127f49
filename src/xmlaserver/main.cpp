#include <string>
#include <vector>

#include "xmlaserver/XmlaServerProgram.h"

int main(int argc, char** argv) {
    return orvik::xmla::RunXmlaServer(std::vector<std::string>(argv + 1, argv + argc));
}
