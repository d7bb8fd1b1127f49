// The reports a server offers: the .ovk files under its reports folder. A name from a request is
// turned into a file only through Resolve, which refuses everything that could reach outside the
// folder ("..", hidden names, backslashes, control characters, links anywhere on the way).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orvik::serve {

// One report file as it is now. Version changes whenever the file is replaced or written.
struct ReportFile {
    std::string name;  // relative to the reports folder, without ".ovk": "finance/Daily"
    std::string path;  // the file
    std::string version;

    // The folder part of the name ("" at the top).
    std::string Folder() const;
};

class ReportCatalog {
  public:
    // Throws std::runtime_error when `folder` is no folder that can be read.
    explicit ReportCatalog(const std::string& folder);

    const std::string& Folder() const { return folder_; }
    // The report called `name` (see ReportFile::name), or nothing when there is none or the name
    // is not one a report of this folder can have.
    std::optional<ReportFile> Resolve(std::string_view name) const;
    // Every report now, sorted by name. Links are not followed.
    std::vector<ReportFile> List() const;

  private:
    std::string folder_;  // canonical, with trailing "/"
};

// Whether `name` is made of plain path components only (no "", ".", "..", hidden names,
// backslashes or control characters).
bool IsPlainRelativeName(std::string_view name);

}  // namespace orvik::serve
