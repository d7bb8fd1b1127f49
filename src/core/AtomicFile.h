// A file replaced whole or not at all: written under a temporary name beside its target and
// renamed over it only when every byte is out. A killed run, a full disk or a second run never
// leaves a torn file, and a link planted where the file goes is replaced rather than followed.
//
// A temporary file is named ".orvik-tmp-<name>.XXXXXX" and locked (flock) while its writer lives.
// A run that is killed leaves it behind; the first AtomicFile a process makes in a folder removes
// such leftovers there, and nothing else: only regular files of this user with exactly that name
// pattern, that no living writer holds and that nobody has written to for a few seconds.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace orvik {

class AtomicFile {
  public:
    // Creates the temporary file beside `path`; Stream() is null when it cannot be made (the
    // reason is in Error()).
    explicit AtomicFile(std::string path);
    // Removes the temporary file unless Commit succeeded.
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    FILE* Stream() const { return stream_; }
    // The temporary file's path, for a library that writes a file by its name ("" when none was
    // made). Commit puts what was written there in place.
    const std::string& TemporaryPath() const { return temporary_; }
    // Empties what was written so far (to start again in another form); false on failure.
    bool Restart();
    // Flushes, closes and renames the file over its target; false (with Error()) when any of it
    // failed, the target then left as it was.
    bool Commit();
    // Notes that a write failed, with errno's reason.
    void NoteWriteError();
    // Why the file could not be written ("" while nothing failed).
    const std::string& Error() const { return error_; }

  private:
    void Fail(const char* what);

    std::string path_;
    std::string temporary_;
    FILE* stream_ = nullptr;
    int lock_ = -1;  // holds the temporary file's lock until it is renamed or removed
    std::string error_;
    bool committed_ = false;
};

// True when `name` (a file name without folder) is one an AtomicFile gives its temporary file.
bool IsAtomicTemporaryName(std::string_view name);

// Removes from `folder` the temporary files that AtomicFiles of ended processes left there, as
// described above; returns how many went. Links, folders and other people's files stay.
int RemoveAtomicLeftovers(const std::string& folder);

}  // namespace orvik
