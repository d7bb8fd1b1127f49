#include "core/MarkupEscape.h"

namespace orvik {

std::string EscapeMarkup(std::string_view text, bool apostrophe) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += apostrophe ? "&apos;" : "'";
                break;
            default:
                out += c;
        }
    }
    return out;
}

}  // namespace orvik
