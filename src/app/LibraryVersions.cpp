#include "app/LibraryVersions.h"

#include <curl/curl.h>
#include <libxml/xmlversion.h>
#include <microhttpd.h>
#include <muParserDef.h>
#include <openssl/crypto.h>
#include <sqlite3.h>

#include "core/Version.h"

namespace orvik {

std::vector<std::pair<std::string, std::string>> LibraryVersions() {
    std::string muParser(mu::ParserVersion.begin(), mu::ParserVersion.end());
    if (const size_t blank = muParser.find(' '); blank != std::string::npos) muParser.resize(blank);
    // The versions of the libraries loaded, not of the headers built against, where the library
    // can say so.
    return {
        {"Orvik", kOrvikVersion},
        {"SQLite", sqlite3_libversion()},
        {"libxml2", LIBXML_DOTTED_VERSION},
        {"libcurl", curl_version_info(CURLVERSION_NOW)->version},
        {"OpenSSL", OpenSSL_version(OPENSSL_VERSION_STRING)},
        {"libmicrohttpd", MHD_get_version()},
        {"muParser", muParser},
    };
}

}  // namespace orvik
