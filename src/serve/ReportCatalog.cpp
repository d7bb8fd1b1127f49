#include "serve/ReportCatalog.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <stdexcept>
#include <system_error>

namespace orvik::serve {
namespace {

constexpr std::string_view kExtension = ".ovk";
// Deep trees are walked no further: a folder of reports is a few levels deep at most.
constexpr int kMaxDepth = 16;

std::string VersionOf(const struct stat& info) {
    return std::to_string(info.st_dev) + "." + std::to_string(info.st_ino) + "." +
           std::to_string(info.st_size) + "." + std::to_string(info.st_mtim.tv_sec) + "." +
           std::to_string(info.st_mtim.tv_nsec);
}

}  // namespace

std::string ReportFile::Folder() const {
    const size_t slash = name.rfind('/');
    return slash == std::string::npos ? std::string() : name.substr(0, slash);
}

bool IsPlainRelativeName(std::string_view name) {
    if (name.empty() || name.size() > 1024) return false;
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = name.find('/', start);
        if (end == std::string_view::npos) end = name.size();
        const std::string_view part = name.substr(start, end - start);
        if (part.empty() || part.front() == '.') return false;
        for (const char c : part) {
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f || c == '\\') return false;
        }
        start = end + 1;
    }
    return true;
}

ReportCatalog::ReportCatalog(const std::string& folder) {
    std::error_code error;
    const std::filesystem::path canonical = std::filesystem::canonical(folder, error);
    if (error || !std::filesystem::is_directory(canonical, error))
        throw std::runtime_error("the reports folder " + folder +
                                 " cannot be read: " + (error ? error.message() : "not a folder"));
    folder_ = canonical.string();
    if (folder_.back() != '/') folder_ += '/';
}

std::optional<ReportFile> ReportCatalog::Resolve(std::string_view name) const {
    if (!IsPlainRelativeName(name)) return std::nullopt;
    // Every component is looked at without following it: a link, even one that points inside,
    // is not served, so what is served is exactly the tree the folder holds.
    std::string path = folder_;
    size_t start = 0;
    struct stat info {};
    while (true) {
        const size_t slash = name.find('/', start);
        const bool last = slash == std::string_view::npos;
        path += name.substr(start, last ? std::string_view::npos : slash - start);
        if (last) path += kExtension;
        if (lstat(path.c_str(), &info) != 0) return std::nullopt;
        if (last ? !S_ISREG(info.st_mode) : !S_ISDIR(info.st_mode)) return std::nullopt;
        if (last) break;
        path += '/';
        start = slash + 1;
    }
    return ReportFile{std::string(name), path, VersionOf(info)};
}

std::vector<ReportFile> ReportCatalog::List() const {
    std::vector<ReportFile> reports;
    std::error_code error;
    std::filesystem::recursive_directory_iterator walk(
        folder_, std::filesystem::directory_options::skip_permission_denied, error);
    for (; !error && walk != std::filesystem::recursive_directory_iterator();
         walk.increment(error)) {
        const std::string leaf = walk->path().filename().string();
        const bool hidden = !leaf.empty() && leaf.front() == '.';
        if (walk->is_symlink(error) || hidden) {
            if (walk->is_directory(error)) walk.disable_recursion_pending();
            continue;
        }
        if (walk->is_directory(error)) {
            if (walk.depth() >= kMaxDepth) walk.disable_recursion_pending();
            continue;
        }
        const std::string path = walk->path().string();
        if (path.size() <= folder_.size() + kExtension.size() ||
            path.compare(path.size() - kExtension.size(), kExtension.size(), kExtension) != 0)
            continue;
        const std::string name =
            path.substr(folder_.size(), path.size() - folder_.size() - kExtension.size());
        if (auto report = Resolve(name)) reports.push_back(std::move(*report));
    }
    std::sort(reports.begin(), reports.end(),
              [](const ReportFile& a, const ReportFile& b) { return a.name < b.name; });
    return reports;
}

}  // namespace orvik::serve
