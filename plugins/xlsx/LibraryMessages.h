// libxlsxwriter tells of its failures by printing them on standard error. An unattended run must
// show a scheduler one line there, and the log is where a run's story is kept; so while a
// LibraryMessages lives, what the library prints on its thread is caught for the log instead.
// Lines printed on other threads meanwhile (a stop or crash notice) still reach the terminal.
#pragma once

#include <string>
#include <vector>

namespace xlsx {

class LibraryMessages {
  public:
    // Starts catching what this thread prints through the C library's stderr.
    LibraryMessages();
    // Stops catching; stderr is the terminal's stream again.
    ~LibraryMessages();
    LibraryMessages(const LibraryMessages&) = delete;
    LibraryMessages& operator=(const LibraryMessages&) = delete;

    // The lines caught so far, without their line breaks, the library's source locations taken
    // out ("[ERROR][workbook.c:1234]: x" becomes "[ERROR] x").
    std::vector<std::string> Lines() const;
};

}  // namespace xlsx
