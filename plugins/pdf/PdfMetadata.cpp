#include "PdfMetadata.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string_view>

namespace pdf {
namespace {

// The text as a PDF text string: UTF-16BE with its byte-order mark, in hex, so that no character
// of a title (a parenthesis, a backslash, Cyrillic) needs escaping. Bytes that are not UTF-8
// become U+FFFD.
std::string TextString(const std::string& text) {
    std::string out = "<FEFF";
    const auto unit = [&](unsigned value) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "%04X", value & 0xFFFF);
        out += hex;
    };
    for (size_t i = 0; i < text.size();) {
        const unsigned char lead = static_cast<unsigned char>(text[i]);
        unsigned code = 0xFFFD;
        size_t length = lead < 0x80                   ? 1
                        : lead >= 0xC2 && lead < 0xE0 ? 2
                        : lead >= 0xE0 && lead < 0xF0 ? 3
                        : lead >= 0xF0 && lead < 0xF5 ? 4
                                                      : 0;
        if (length == 0 || i + length > text.size()) {
            length = 1;
        } else {
            code = length == 1 ? lead : lead & (0xFF >> (length + 1));
            for (size_t k = 1; k < length; ++k) {
                const unsigned char next = static_cast<unsigned char>(text[i + k]);
                if ((next & 0xC0) != 0x80) {
                    code = 0xFFFD;
                    length = k;
                    break;
                }
                code = (code << 6) | (next & 0x3F);
            }
        }
        if (code >= 0x10000) {
            code -= 0x10000;
            unit(0xD800 + (code >> 10));
            unit(0xDC00 + (code & 0x3FF));
        } else {
            unit(code);
        }
        i += length;
    }
    return out + ">";
}

// The text after `key` in `dictionary` up to the next "/" or ">": "1046 0 R", "1055".
std::string ValueOf(std::string_view dictionary, std::string_view key) {
    size_t at = dictionary.find(key);
    while (at != std::string_view::npos) {
        const size_t end = at + key.size();
        // "/Info" must not match "/InfoX".
        if (end < dictionary.size() &&
            (dictionary[end] == ' ' || dictionary[end] == '\n' || dictionary[end] == '\r'))
            break;
        at = dictionary.find(key, end);
    }
    if (at == std::string_view::npos) return {};
    const size_t start = at + key.size();
    const size_t stop = dictionary.find_first_of("/>", start);
    std::string value(dictionary.substr(start, stop - start));
    while (!value.empty() &&
           (value.front() == ' ' || value.front() == '\n' || value.front() == '\r'))
        value.erase(0, 1);
    while (!value.empty() && (value.back() == ' ' || value.back() == '\n' || value.back() == '\r'))
        value.pop_back();
    return value;
}

}  // namespace

bool SetDocumentInfo(std::string& pdf, const std::string& title, const std::string& subject) {
    const size_t startxref = pdf.rfind("startxref");
    const size_t trailer = pdf.rfind("trailer");
    if (startxref == std::string::npos || trailer == std::string::npos || trailer > startxref)
        return false;
    const std::string_view dictionary = std::string_view(pdf).substr(trailer, startxref - trailer);
    const long previous = std::atol(pdf.c_str() + startxref + 9);
    const long size = std::atol(ValueOf(dictionary, "/Size").c_str());
    const std::string root = ValueOf(dictionary, "/Root");
    if (previous <= 0 || size <= 0 || root.empty()) return false;

    char date[32];
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    std::strftime(date, sizeof date, "(D:%Y%m%d%H%M%SZ)", &utc);

    std::string update = pdf.back() == '\n' ? "" : "\n";
    const size_t objectAt = pdf.size() + update.size();
    update += std::to_string(size) + " 0 obj\n<</Title " + TextString(title) + " /Subject " +
              TextString(subject) + " /Creator (Orvik) /Producer (Orvik with Chromium)" +
              " /CreationDate " + date + " /ModDate " + date + ">>\nendobj\n";
    const size_t xrefAt = pdf.size() + update.size();
    char entry[32];
    std::snprintf(entry, sizeof entry, "%010zu 00000 n \n", objectAt);
    update += "xref\n0 1\n0000000000 65535 f \n" + std::to_string(size) + " 1\n" + entry;
    update += "trailer\n<</Size " + std::to_string(size + 1) + " /Root " + root + " /Info " +
              std::to_string(size) + " 0 R /Prev " + std::to_string(previous) + ">>\nstartxref\n" +
              std::to_string(xrefAt) + "\n%%EOF\n";
    pdf += update;
    return true;
}

}  // namespace pdf
