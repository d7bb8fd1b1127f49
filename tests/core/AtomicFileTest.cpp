// AtomicFile: a file replaced whole or not at all, and the temporary files a killed writer leaves
// swept from the folder by the next one, without touching anything else there.
#include "core/AtomicFile.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include <cstdio>
#include <filesystem>
#include <string>

#include "TestSupport.h"

namespace orvik {
namespace {

namespace fs = std::filesystem;
using test::ReadFileBytes;
using test::TempDir;

constexpr uid_t kNobody = 65534;

// The names in `folder` that an AtomicFile gives its temporary files.
std::vector<std::string> Temporaries(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (IsAtomicTemporaryName(name)) names.push_back(name);
    }
    return names;
}

// Makes `path` look last written an hour ago, as a killed run's file would by the next run.
void Age(const std::string& path) {
    const struct timespec times[2] = {{time(nullptr) - 3600, 0}, {time(nullptr) - 3600, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0) << path;
}

bool Exists(const std::string& path) {
    struct stat status;
    return lstat(path.c_str(), &status) == 0;
}

TEST(AtomicFileTest, TheTargetIsReplacedOnlyByACommittedFile) {
    TempDir dir;
    const std::string target = dir.Write("page.htm", "old");
    {
        AtomicFile file(target);
        ASSERT_NE(file.Stream(), nullptr) << file.Error();
        std::fputs("half", file.Stream());
        // Dropped without Commit: the old file stays, nothing else is left.
    }
    EXPECT_EQ(ReadFileBytes(target), "old");
    {
        AtomicFile file(target);
        std::fputs("first try", file.Stream());
        ASSERT_TRUE(file.Restart());
        std::fputs("new", file.Stream());
        // Until Commit a reader sees the old file.
        EXPECT_EQ(ReadFileBytes(target), "old");
        ASSERT_TRUE(file.Commit()) << file.Error();
    }
    EXPECT_EQ(ReadFileBytes(target), "new");
    {
        AtomicFile file(target);
        std::fputs("torn", file.Stream());
        errno = ENOSPC;
        file.NoteWriteError();
        EXPECT_FALSE(file.Commit());
        EXPECT_NE(file.Error().find("No space left"), std::string::npos) << file.Error();
    }
    EXPECT_EQ(ReadFileBytes(target), "new");
    EXPECT_TRUE(Temporaries(dir.Path()).empty());
}

TEST(AtomicFileTest, ALinkPlantedWhereTheFileGoesIsReplacedNotFollowed) {
    TempDir dir;
    const std::string elsewhere = dir.Write("precious", "keep");
    const std::string target = dir.Path() + "page.htm";
    ASSERT_EQ(symlink(elsewhere.c_str(), target.c_str()), 0);
    AtomicFile file(target);
    std::fputs("page", file.Stream());
    ASSERT_TRUE(file.Commit());
    EXPECT_EQ(ReadFileBytes(elsewhere), "keep");
    EXPECT_FALSE(fs::is_symlink(target));
    EXPECT_EQ(ReadFileBytes(target), "page");
}

// A library that writes a file by its name (the workbook's) writes the temporary file, and
// Commit puts what it wrote in place.
TEST(AtomicFileTest, AFileWrittenByItsTemporaryNameIsPutInPlace) {
    TempDir dir;
    const std::string target = dir.Path() + "book.xlsx";
    AtomicFile file(target);
    ASSERT_FALSE(file.TemporaryPath().empty());
    EXPECT_EQ(fs::path(file.TemporaryPath()).parent_path(), fs::path(target).parent_path());
    FILE* other = std::fopen(file.TemporaryPath().c_str(), "wb");
    ASSERT_NE(other, nullptr);
    std::fputs("workbook", other);
    std::fclose(other);
    ASSERT_TRUE(file.Commit()) << file.Error();
    EXPECT_EQ(ReadFileBytes(target), "workbook");
}

// A name as long as a file system takes leaves no room for the temporary name's additions; the
// temporary name keeps only the start of it, and never half a character.
TEST(AtomicFileTest, TheLongestFileNameCanStillBeWritten) {
    TempDir dir;
    std::string name;
    while (name.size() < 250) name += "\xC3\xA9";  // é
    const std::string target = dir.Path() + name;
    AtomicFile file(target);
    ASSERT_NE(file.Stream(), nullptr) << file.Error();
    const std::string temporary = fs::path(file.TemporaryPath()).filename().string();
    EXPECT_TRUE(IsAtomicTemporaryName(temporary)) << temporary;
    EXPECT_EQ(temporary.find("\xC3."), std::string::npos) << "a character was cut in half";
    std::fputs("x", file.Stream());
    ASSERT_TRUE(file.Commit()) << file.Error();
    EXPECT_EQ(ReadFileBytes(target), "x");
}

TEST(AtomicFileTest, OnlyTheExactTemporaryPatternIsOurs) {
    for (const char* name :
         {".orvik-tmp-page.htm.AbC123", ".orvik-tmp-.zzzzzz", ".orvik-tmp-a.000000"})
        EXPECT_TRUE(IsAtomicTemporaryName(name)) << name;
    for (const char* name :
         {"orvik-tmp-page.htm.AbC123", ".orvik-tmp-page.htm", ".orvik-tmp-page.htm.AbC12",
          ".orvik-tmp-page.htm.AbC1234", ".orvik-tmp-page.htm.AbC_23", ".orvik-tmp-page.htmxAbC123",
          ".Orvik-tmp-page.htm.AbC123", ".page.htm.AbC123", ".orvik-tmp", ""})
        EXPECT_FALSE(IsAtomicTemporaryName(name)) << name;
}

// What a run killed while writing leaves goes at the next write into that folder; a user's file
// that only looks like one, a link, a folder, someone else's file and a file being written right
// now all stay.
TEST(AtomicFileTest, TheFirstWriteIntoAFolderSweepsOnlyLeftTemporaries) {
    TempDir dir, outside;
    const std::string folder = dir.Path() + "out/";
    fs::create_directory(folder);
    const auto plant = [&](const std::string& name) {
        const std::string path = folder + name;
        std::FILE* file = std::fopen(path.c_str(), "wb");
        std::fputs("x", file);
        std::fclose(file);
        Age(path);
        return path;
    };
    const std::string leftover = plant(".orvik-tmp-Sales.xlsx.q1W2e3");
    const std::string leftover2 = plant(".orvik-tmp-Orvik.htm.ZZZZZZ");
    const std::string lookalike = plant(".orvik-tmp-notes.txt");
    const std::string lookalike2 = plant("orvik-tmp-Sales.xlsx.q1W2e3");
    const std::string lookalike3 = plant(".Sales.xlsx.q1W2e3");
    const std::string fresh = plant(".orvik-tmp-Fresh.xlsx.a1b2c3");
    // Written a moment ago: its writer may have made it and not yet locked it.
    ASSERT_EQ(utimensat(AT_FDCWD, fresh.c_str(), nullptr, 0), 0);
    const std::string target = outside.Write("precious", "keep");
    const std::string link = folder + ".orvik-tmp-link.xlsx.L1nk00";
    ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);
    Age(link);
    const std::string subfolder = folder + ".orvik-tmp-dir.xlsx.D1r000";
    fs::create_directory(subfolder);
    Age(subfolder);
    std::string foreign;
    if (geteuid() == 0) {
        foreign = plant(".orvik-tmp-theirs.xlsx.N0b0dy");
        ASSERT_EQ(lchown(foreign.c_str(), kNobody, kNobody), 0);
    }

    AtomicFile file(folder + "page.htm");
    ASSERT_NE(file.Stream(), nullptr);
    EXPECT_FALSE(Exists(leftover));
    EXPECT_FALSE(Exists(leftover2));
    for (const std::string& kept : {lookalike, lookalike2, lookalike3, fresh, link, subfolder})
        EXPECT_TRUE(Exists(kept)) << kept;
    if (!foreign.empty()) {
        EXPECT_TRUE(Exists(foreign));
    }
    EXPECT_EQ(ReadFileBytes(target), "keep");
}

// Another process writing into the same folder holds its temporary file: however old it looks,
// a sweep leaves it alone, and takes it once its writer was killed without putting it in place.
TEST(AtomicFileTest, ATemporaryBeingWrittenIsNeverSwept) {
    TempDir dir;
    int channel[2];
    ASSERT_EQ(pipe(channel), 0);
    const pid_t writer = fork();
    ASSERT_GE(writer, 0);
    if (writer == 0) {
        AtomicFile file(dir.Path() + "big.xlsx");
        const std::string& name = file.TemporaryPath();
        if (write(channel[1], name.data(), name.size()) != static_cast<ssize_t>(name.size()))
            _exit(1);
        close(channel[1]);
        pause();
        _exit(0);
    }
    close(channel[1]);
    // One write of less than a pipe's buffer arrives whole.
    char buffer[1024];
    const ssize_t got = read(channel[0], buffer, sizeof buffer);
    ASSERT_GT(got, 0);
    const std::string temporary(buffer, static_cast<size_t>(got));
    close(channel[0]);
    ASSERT_TRUE(Exists(temporary)) << temporary;
    Age(temporary);
    EXPECT_EQ(RemoveAtomicLeftovers(dir.Path()), 0);
    EXPECT_TRUE(Exists(temporary));

    kill(writer, SIGKILL);
    int status = 0;
    waitpid(writer, &status, 0);
    ASSERT_TRUE(Exists(temporary));
    EXPECT_EQ(RemoveAtomicLeftovers(dir.Path()), 1);
    EXPECT_FALSE(Exists(temporary));
}

}  // namespace
}  // namespace orvik
