#include "core/LogText.h"

#include <cstdio>

#include "core/TextEncoding.h"

namespace orvik {

std::string EscapeForLog(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else if (byte < 0x20 || byte == 0x7F) {
            char code[8];
            std::snprintf(code, sizeof code, "\\x%02X", byte);
            out += code;
        } else {
            out += c;
        }
    }
    return out;
}

bool IsSecretName(std::string_view name) {
    const std::string upper = ToUpperAscii(name);
    for (const char* word : {"PASSWORD", "PASSWD", "PWD", "SECRET", "TOKEN"}) {
        if (upper.find(word) != std::string::npos) return true;
    }
    return false;
}

}  // namespace orvik
