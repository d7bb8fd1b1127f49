// File-system helpers for paths that may come from reports made on Windows: backslashes are
// accepted and turned into "/", and "absolute" means rooted, not "has a drive letter".
#pragma once

#include <string>
#include <string_view>

namespace orvik {

// The folder the running executable lies in, with a trailing "/"; empty when it cannot be read.
std::string ExecutableFolder();

// The program folder: $ORVIK_HOME when set (made absolute), else the executable's folder. Always
// ends with "/". Language files, Images/, plug-ins, the HTML/ work folder and the log live here.
std::string ResolveProgramFolder();

// The user's temporary folder ($TMPDIR or /tmp) with a trailing "/".
std::string ResolveTempFolder();

// `path` with every backslash turned into "/".
std::string ToNativePath(std::string_view path);

// True when `path` (after ToNativePath) starts at the root.
bool IsAbsolutePath(std::string_view path);

// `folder` with a trailing "/" added when missing (an empty folder stays empty).
std::string WithTrailingSlash(std::string_view folder);

// The last component of `path` (everything after the last "/" or backslash).
std::string FileNameOf(std::string_view path);

// Deletes every file directly inside `folder` (sub-folders stay); files that cannot be deleted,
// such as ones in use, are left without complaint.
void RemoveFilesIn(const std::string& folder);

// Reads a whole file; false when it cannot be opened or read.
bool ReadWholeFile(const std::string& path, std::string& contents);

// Writes `contents` to a temporary file beside `path` and renames it over `path`, so a reader never
// sees a half-written file and a failed write keeps the old one. Returns an empty text on success,
// else the reason (with the system's error text).
std::string WriteFileAtomically(const std::string& path, std::string_view contents);

}  // namespace orvik
