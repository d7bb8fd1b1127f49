#include "xmlaserver/XmlaServerOptions.h"

#include <strings.h>

#include <charconv>
#include <map>

namespace orvik::xmla {
namespace {

unsigned long long Number(const std::string& option, const std::string& text,
                          unsigned long long low, unsigned long long high) {
    unsigned long long value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < low || value > high)
        throw OptionsError(option + " takes a whole number from " + std::to_string(low) + " to " +
                           std::to_string(high) + ", not '" + text + "'");
    return value;
}

void AddCatalog(ServerOptions& options, const std::string& text) {
    const size_t equals = text.find('=');
    if (equals == std::string::npos || equals == 0 || equals + 1 == text.size())
        throw OptionsError(
            "--catalog takes NAME=CONNECTION (for example Sales=\"Data "
            "Source=sales.db;Catalog=sales-cube.xml\"), not '" +
            text + "'");
    std::string name = text.substr(0, equals);
    for (const auto& [known, connection] : options.Catalogs)
        if (strcasecmp(known.c_str(), name.c_str()) == 0)
            throw OptionsError("The catalog '" + name + "' is named twice");
    options.Catalogs.emplace_back(std::move(name), text.substr(equals + 1));
}

}  // namespace

ServerOptions ParseServerOptions(const std::vector<std::string>& arguments) {
    ServerOptions options;
    using Setter = void (*)(ServerOptions&, const std::string&);
    static const std::map<std::string, Setter> valued = {
        {"--listen", [](ServerOptions& o, const std::string& v) { o.Listen = v; }},
        {"--catalog", [](ServerOptions& o, const std::string& v) { AddCatalog(o, v); }},
        {"--users", [](ServerOptions& o, const std::string& v) { o.UsersFile = v; }},
        {"--threads",
         [](ServerOptions& o, const std::string& v) {
             o.Threads = static_cast<unsigned>(Number("--threads", v, 1, 256));
         }},
        {"--cert", [](ServerOptions& o, const std::string& v) { o.CertFile = v; }},
        {"--key", [](ServerOptions& o, const std::string& v) { o.KeyFile = v; }},
        {"--max-request",
         [](ServerOptions& o, const std::string& v) {
             o.MaxRequestBytes = Number("--max-request", v, 1024, 1ull << 30);
         }},
        {"--log", [](ServerOptions& o, const std::string& v) { o.LogFile = v; }},
    };
    for (size_t i = 0; i < arguments.size(); ++i) {
        std::string option = arguments[i];
        std::string value;
        bool hasValue = false;
        // --name=value as well as --name value; a catalog's own '=' stays in its value.
        if (const size_t equals = option.find('=');
            option.rfind("--", 0) == 0 && equals != std::string::npos) {
            value = option.substr(equals + 1);
            option.resize(equals);
            hasValue = true;
        }
        if (option == "--help" || option == "-h") {
            options.Help = true;
            continue;
        }
        const auto setter = valued.find(option);
        if (setter == valued.end())
            throw OptionsError("Unknown option '" + arguments[i] + "' (see --help)");
        if (!hasValue) {
            if (i + 1 >= arguments.size()) throw OptionsError(option + " needs a value");
            value = arguments[++i];
        }
        setter->second(options, value);
    }
    if (options.Help) return options;
    if (options.Catalogs.empty())
        throw OptionsError("Name at least one catalog to serve with --catalog NAME=CONNECTION");
    if (options.CertFile.empty() != options.KeyFile.empty())
        throw OptionsError("--cert and --key go together: HTTPS needs both");
    return options;
}

std::string ServerUsage() {
    return R"(Usage: orvik-xmla --catalog NAME=CONNECTION [--catalog ...] [options]

Serves the cubes of each catalog to XMLA clients (Discover and Execute over SOAP/HTTP) at
http://ADDR:PORT/xmla. CONNECTION is a cube connection string:
  "Data Source=<SQLite file or quoted ODBC string>;Catalog=<cube schema file>"

Options:
  --listen ADDR:PORT     where to listen (default 127.0.0.1:8080; loopback unless told)
  --catalog NAME=CONN    a catalog to serve; the first is the default of requests naming none
  --users FILE           users who may log in (HTTP basic authentication), one a line:
                         name:bcrypt-hash:catalogs:   (catalogs comma-separated, * for all)
                         Refused on a non-loopback address without --cert/--key.
  --threads N            worker threads, each with its own connection per catalog (default 4)
  --cert FILE --key FILE serve HTTPS with this PEM certificate and key
  --max-request BYTES    largest request body accepted (default 1048576)
  --log FILE             the log file (default: the program's log, Orvik18.log)
  --help                 this text

SIGTERM or SIGINT stop the server after the requests it is answering.
)";
}

}  // namespace orvik::xmla
