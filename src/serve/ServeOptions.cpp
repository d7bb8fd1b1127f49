#include "serve/ServeOptions.h"

#include <charconv>
#include <functional>
#include <map>
#include <stdexcept>

namespace orvik::serve {
namespace {

unsigned ReadCount(const std::string& key, const std::string& text, unsigned low, unsigned high) {
    unsigned value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < low || value > high)
        throw std::invalid_argument(key + " takes a whole number from " + std::to_string(low) +
                                    " to " + std::to_string(high) + ", not '" + text + "'");
    return value;
}

using Setter = std::function<void(ServeOptions&, const std::string& key, const std::string&)>;

// The keys that take a value, each with what it sets.
const std::map<std::string, Setter>& ValueKeys() {
    static const std::map<std::string, Setter> keys = {
        {"--reports", [](ServeOptions& o, auto&, auto& v) { o.reportsFolder = v; }},
        {"--listen", [](ServeOptions& o, auto&, auto& v) { o.listen = v; }},
        {"--users", [](ServeOptions& o, auto&, auto& v) { o.usersFile = v; }},
        {"--cert", [](ServeOptions& o, auto&, auto& v) { o.certFile = v; }},
        {"--key", [](ServeOptions& o, auto&, auto& v) { o.keyFile = v; }},
        {"--threads",
         [](ServeOptions& o, auto& k, auto& v) { o.threads = ReadCount(k, v, 1, 256); }},
        {"--cache",
         [](ServeOptions& o, auto& k, auto& v) { o.cacheSeconds = ReadCount(k, v, 0, 86400); }},
        {"--keep",
         [](ServeOptions& o, auto& k, auto& v) { o.keepSeconds = ReadCount(k, v, 1, 86400); }},
        {"--wait",
         [](ServeOptions& o, auto& k, auto& v) { o.waitSeconds = ReadCount(k, v, 0, 600); }},
        {"--grace",
         [](ServeOptions& o, auto& k, auto& v) { o.graceSeconds = ReadCount(k, v, 0, 3600); }},
    };
    return keys;
}

}  // namespace

ServeOptions ParseServeOptions(const std::vector<std::string>& arguments) {
    ServeOptions options;
    for (size_t i = 0; i < arguments.size(); ++i) {
        std::string key = arguments[i];
        std::string value;
        bool inlineValue = false;
        if (const size_t equals = key.find('=');
            key.rfind("--", 0) == 0 && equals != std::string::npos) {
            value = key.substr(equals + 1);
            key.resize(equals);
            inlineValue = true;
        }
        if (key == "--help" || key == "-h") {
            options.help = true;
            continue;
        }
        if (key == "--hash-password") {
            options.hashPassword = true;
            continue;
        }
        const auto setter = ValueKeys().find(key);
        if (setter == ValueKeys().end())
            throw std::invalid_argument("unknown argument '" + arguments[i] +
                                        "' (orvik serve --help lists them)");
        if (!inlineValue) {
            if (i + 1 >= arguments.size()) throw std::invalid_argument(key + " needs a value");
            value = arguments[++i];
        }
        setter->second(options, key, value);
    }
    if (options.help || options.hashPassword) return options;
    if (options.reportsFolder.empty())
        throw std::invalid_argument("--reports DIR is needed: the folder of the reports to serve");
    if (options.certFile.empty() != options.keyFile.empty())
        throw std::invalid_argument("--cert and --key go together: HTTPS needs both");
    return options;
}

std::string ServeUsageText() {
    return "Usage: orvik serve --reports DIR [--listen ADDR:PORT] [--users FILE]\n"
           "                   [--threads N] [--cache SECONDS] [--grace SECONDS]\n"
           "                   [--wait SECONDS] [--keep SECONDS]\n"
           "                   [--cert FILE --key FILE]\n"
           "       orvik serve --hash-password\n"
           "\n"
           "Serves every .ovk report under DIR (subfolders too) to web browsers: a list of the\n"
           "reports, a form for each report's parameters, the rendered page with its\n"
           "workbook, CSV and (with the PDF plug-in) PDF downloads.\n"
           "\n"
           "  --reports DIR      the folder of the reports; nothing outside it is served\n"
           "  --listen ADDR:PORT where to listen (default 127.0.0.1:8080); an address other\n"
           "                     than loopback needs --users\n"
           "  --users FILE       who may log in: one user a line, name:hash:folders:tasks\n"
           "                     (folders relative to DIR, '/' or '*' for all; tasks the\n"
           "                     names of the tasks the user may run, '*' all, empty none);\n"
           "                     the file must not be readable by others\n"
           "  --threads N        reports rendered at once (default 4)\n"
           "  --cache SECONDS    how long a rendered page is reused for the same report and\n"
           "                     values (default 0: every request renders)\n"
           "  --grace SECONDS    on SIGTERM, how long running reports may finish before\n"
           "                     they are stopped (default 20)\n"
           "  --wait SECONDS     how long a page waits for its report before it shows a\n"
           "                     progress page that reloads until the report is ready\n"
           "                     (default 3)\n"
           "  --keep SECONDS     how long a rendered page's pictures and downloads stay\n"
           "                     reachable by the links on it (default 300)\n"
           "  --cert F --key F   serve HTTPS with this PEM certificate and key\n"
           "  --hash-password    read a password from standard input and print its hash\n"
           "                     for the users file\n"
           "\n"
           "One line per request goes to standard error. /health answers \"ok\".\n";
}

}  // namespace orvik::serve
