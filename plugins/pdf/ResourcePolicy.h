// What a page being printed may load. The page is ours, but what it shows comes from data and
// from a layout anyone with the report may have edited, so every request the renderer makes is
// put to this policy first: local files inside the folders a report may take pictures from, and
// inline data, load; anything else (the web, other machines, files elsewhere on this one, links
// that lead out of an allowed folder) does not.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace pdf {

class ResourcePolicy {
  public:
    // `folders` are the allowed folders; each is resolved (links, "..") once here.
    explicit ResourcePolicy(const std::vector<std::string>& folders);

    // True when the renderer may load `url`.
    bool Allows(const std::string& url) const;

    // The allowed folders as resolved, for messages.
    const std::vector<std::filesystem::path>& Folders() const { return folders_; }

    // The local file a file: URL names, percent escapes undone; "" for a file on another host or
    // a URL of another scheme.
    static std::string FileUrlPath(const std::string& url);
    // The file: URL of a local path.
    static std::string FileUrl(const std::string& path);

  private:
    std::vector<std::filesystem::path> folders_;
};

}  // namespace pdf
