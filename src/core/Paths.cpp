#include "core/Paths.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "core/AtomicFile.h"

namespace orvik {

std::string ExecutableFolder() {
    std::error_code error;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) return {};
    return WithTrailingSlash(exe.parent_path().string());
}

std::string ResolveProgramFolder() {
    if (const char* home = std::getenv("ORVIK_HOME"); home && *home) {
        std::error_code error;
        auto absolute = std::filesystem::absolute(home, error);
        return WithTrailingSlash(error ? std::string(home) : absolute.lexically_normal().string());
    }
    return ExecutableFolder();
}

std::string ResolveTempFolder() {
    const char* tmp = std::getenv("TMPDIR");
    return WithTrailingSlash(tmp && *tmp ? tmp : "/tmp");
}

std::string ToNativePath(std::string_view path) {
    std::string native(path);
    for (char& c : native) {
        if (c == '\\') c = '/';
    }
    return native;
}

bool IsAbsolutePath(std::string_view path) {
    return !path.empty() && (path[0] == '/' || path[0] == '\\');
}

std::string WithTrailingSlash(std::string_view folder) {
    std::string result(folder);
    if (!result.empty() && result.back() != '/') result += '/';
    return result;
}

std::string FileNameOf(std::string_view path) {
    const size_t slash = path.find_last_of("/\\");
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

void RemoveFilesIn(const std::string& folder) {
    std::error_code error;
    for (const auto& item : std::filesystem::directory_iterator(folder, error)) {
        if (!item.is_directory(error)) std::filesystem::remove(item.path(), error);
    }
}

bool ReadWholeFile(const std::string& path, std::string& contents) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream buffer;
    buffer << in.rdbuf();
    if (in.bad()) return false;
    contents = std::move(buffer).str();
    return true;
}

std::string WriteFileAtomically(const std::string& path, std::string_view contents) {
    // One way to replace a file whole: a link planted beside it is never followed, and what a
    // killed writer leaves is swept by the next.
    AtomicFile file(path);
    if (!file.Stream()) return file.Error();
    if (std::fwrite(contents.data(), 1, contents.size(), file.Stream()) != contents.size())
        file.NoteWriteError();
    if (!file.Commit()) return file.Error();
    return {};
}

}  // namespace orvik
