// The program's version as it names itself to others (mail headers and the like).
#pragma once

// Must match project(Orvik VERSION ...) in CMakeLists.txt.
inline constexpr const char* kOrvikVersion = "0.1";
