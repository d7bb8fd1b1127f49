#include "ResourcePolicy.h"

#include <algorithm>
#include <cctype>

namespace pdf {
namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string LowerScheme(const std::string& url) {
    const size_t colon = url.find(':');
    if (colon == std::string::npos) return {};
    std::string scheme = url.substr(0, colon);
    for (char& c : scheme) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return scheme;
}

}  // namespace

ResourcePolicy::ResourcePolicy(const std::vector<std::string>& folders) {
    for (const std::string& folder : folders) {
        if (folder.empty()) continue;
        std::error_code error;
        const std::filesystem::path resolved = std::filesystem::weakly_canonical(folder, error);
        if (!error && resolved.is_absolute()) folders_.push_back(resolved);
    }
}

std::string ResourcePolicy::FileUrlPath(const std::string& url) {
    if (LowerScheme(url) != "file") return {};
    std::string rest = url.substr(url.find(':') + 1);
    rest = rest.substr(0, rest.find_first_of("?#"));
    if (rest.compare(0, 2, "//") == 0) {
        const size_t pathStart = rest.find('/', 2);
        std::string host =
            pathStart == std::string::npos ? rest.substr(2) : rest.substr(2, pathStart - 2);
        for (char& c : host) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (!host.empty() && host != "localhost") return {};
        rest = pathStart == std::string::npos ? std::string() : rest.substr(pathStart);
    }
    std::string path;
    for (size_t i = 0; i < rest.size(); ++i) {
        if (rest[i] == '%' && i + 2 < rest.size() && HexValue(rest[i + 1]) >= 0 &&
            HexValue(rest[i + 2]) >= 0) {
            const char decoded =
                static_cast<char>(HexValue(rest[i + 1]) * 16 + HexValue(rest[i + 2]));
            // A NUL would cut the name short where the system reads it, naming another file.
            if (decoded == '\0') return {};
            path += decoded;
            i += 2;
        } else {
            path += rest[i];
        }
    }
    return path;
}

std::string ResourcePolicy::FileUrl(const std::string& path) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string url = "file://";
    for (const char c : path) {
        const unsigned char byte = static_cast<unsigned char>(c);
        if (std::isalnum(byte) || std::string_view("/-._~").find(c) != std::string_view::npos) {
            url += c;
        } else {
            url += '%';
            url += kHex[byte >> 4];
            url += kHex[byte & 15];
        }
    }
    return url;
}

bool ResourcePolicy::Allows(const std::string& url) const {
    const std::string scheme = LowerScheme(url);
    // Inline pictures and fonts, and the empty page a tab starts on, carry nothing from outside.
    if (scheme == "data" || url == "about:blank") return true;
    if (scheme != "file") return false;
    const std::string path = FileUrlPath(url);
    if (path.empty() || path.front() != '/') return false;
    std::error_code error;
    const std::filesystem::path file = std::filesystem::weakly_canonical(path, error);
    if (error) return false;
    for (const std::filesystem::path& folder : folders_) {
        const auto [end, at] =
            std::mismatch(folder.begin(), folder.end(), file.begin(), file.end());
        // The folder itself is no file to load; a trailing "/" leaves an empty last element.
        if (end == folder.end() || (std::next(end) == folder.end() && end->empty())) {
            if (at != file.end()) return true;
        }
    }
    return false;
}

}  // namespace pdf
