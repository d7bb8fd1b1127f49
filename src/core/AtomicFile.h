// A file replaced whole or not at all: written under a temporary name beside its target and
// renamed over it only when every byte is out. A killed run, a full disk or a second run never
// leaves a torn file, and a link planted where the file goes is replaced rather than followed.
#pragma once

#include <cstdio>
#include <string>

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
    std::string error_;
    bool committed_ = false;
};

}  // namespace orvik
