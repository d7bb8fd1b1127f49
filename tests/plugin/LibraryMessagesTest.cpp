// The workbook plug-in's catcher of libxlsxwriter's messages: what its own thread prints goes to
// the log, what any other thread prints meanwhile (a stop or crash notice) still reaches the
// terminal, and afterwards everything does again.
#include "LibraryMessages.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "TestSupport.h"

namespace xlsx {
namespace {

// Standard error (the descriptor) sent to a file while it lives.
class TerminalInFile {
  public:
    explicit TerminalInFile(const std::string& path)
        : saved_(dup(2)), file_(open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600)) {
        dup2(file_, 2);
    }
    ~TerminalInFile() {
        std::fflush(stderr);
        dup2(saved_, 2);
        close(saved_);
        close(file_);
    }

  private:
    int saved_;
    int file_;
};

TEST(LibraryMessagesTest, CatchesItsThreadsLinesAndPassesOthersOn) {
    orvik::test::TempDir dir;
    const std::string terminal = dir.Path() + "stderr";
    std::vector<std::string> caught;
    {
        const TerminalInFile redirect(terminal);
        {
            const LibraryMessages messages;
            std::fprintf(stderr, "[ERROR][src/workbook.c:%d]: Error creating '%s'.\n", 12, "x");
            std::thread([] { std::fputs("orvik: terminated by signal 15\n", stderr); }).join();
            std::fputs("[WARNING]: half ", stderr);
            std::fputs("a line\n\n", stderr);
            caught = messages.Lines();
        }
        std::fputs("after\n", stderr);
        // A second catcher starts empty.
        const LibraryMessages again;
        EXPECT_TRUE(again.Lines().empty());
    }
    EXPECT_EQ(caught,
              (std::vector<std::string>{"[ERROR] Error creating 'x'.", "[WARNING]: half a line"}));
    EXPECT_EQ(orvik::test::ReadFileBytes(terminal), "orvik: terminated by signal 15\nafter\n");
}

}  // namespace
}  // namespace xlsx
