// The servers' users file: its form, its permissions, and bcrypt checks.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>

#include "TestSupport.h"
#include "http/UsersFile.h"

using namespace orvik;
using namespace orvik::test;
using namespace orvik::http;

namespace {

std::string WriteUsers(const TempDir& dir, const std::string& text, mode_t mode = 0600) {
    const std::string path = dir.Path() + "users";
    std::ofstream(path) << text;
    chmod(path.c_str(), mode);
    return path;
}

std::string LoadError(const std::string& path) {
    try {
        UsersFile::Load(path);
    } catch (const std::runtime_error& error) {
        return error.what();
    }
    return "";
}

}  // namespace

TEST(UsersFile, UsersTheirListsAndTheirPasswords) {
    const std::string anna = HashPassword("anna's secret");
    const std::string bo = HashPassword("bo");
    EXPECT_EQ(anna.rfind("$2b$12$", 0), 0u);
    EXPECT_NE(anna, HashPassword("anna's secret"));  // salted
    TempDir dir;
    const UsersFile users = UsersFile::Load(WriteUsers(
        dir, "# who may see what\n\nanna:" + anna + ":Sales, Finance:Daily\n  bo:" + bo + ":*:\n"));
    ASSERT_EQ(users.Users().size(), 2u);
    const UserEntry* found = users.Find("anna");
    ASSERT_NE(found, nullptr);
    EXPECT_TRUE(found->ListAllows(0, "Finance"));
    EXPECT_FALSE(found->ListAllows(0, "HR"));
    EXPECT_TRUE(found->ListAllows(1, "Daily"));
    EXPECT_FALSE(found->ListAllows(2, "anything"));
    EXPECT_TRUE(users.Find("bo")->ListAllows(0, "HR"));
    EXPECT_FALSE(users.Find("bo")->ListAllows(1, "Daily"));  // empty: none

    EXPECT_EQ(users.Authenticate("anna", "anna's secret"), found);
    // Twice: the second check is the remembered one, and must still tell passwords apart.
    EXPECT_EQ(users.Authenticate("anna", "anna's secret"), found);
    EXPECT_EQ(users.Authenticate("anna", "anna's secreT"), nullptr);
    EXPECT_EQ(users.Authenticate("anna", ""), nullptr);
    EXPECT_EQ(users.Authenticate("bo", "anna's secret"), nullptr);
    EXPECT_EQ(users.Authenticate("carl", "bo"), nullptr);
    EXPECT_EQ(users.Authenticate("anna", std::string("anna's secret\0x", 15)), nullptr);

    EXPECT_FALSE(PasswordMatches("x", "plain text"));
    EXPECT_FALSE(PasswordMatches("x", "$1$abc$defghijk"));  // md5-crypt: not what we accept
}

TEST(UsersFile, AFileOthersCanReadOrABadLineIsRefusedWithItsPlace) {
    TempDir dir;
    const std::string hash = HashPassword("pw");
    EXPECT_NE(LoadError(WriteUsers(dir, "a:" + hash + ":*:\n", 0644))
                  .find("readable or writable by others"),
              std::string::npos);
    EXPECT_NE(LoadError(WriteUsers(dir, "a:" + hash + ":*:\n", 0602)).find("by others"),
              std::string::npos);
    EXPECT_EQ(LoadError(WriteUsers(dir, "a:" + hash + ":*:\n", 0640)), "");
    EXPECT_NE(LoadError(WriteUsers(dir, "# ok\na:" + hash + "\nb:plaintext:*\n")).find("line 3"),
              std::string::npos);
    EXPECT_NE(LoadError(WriteUsers(dir, "a:" + hash + "\na:" + hash + "\n")).find("named twice"),
              std::string::npos);
    EXPECT_NE(LoadError(WriteUsers(dir, ":" + hash + "\n")).find("no name"), std::string::npos);
    EXPECT_NE(LoadError(WriteUsers(dir, "justaname\n")).find("line 1"), std::string::npos);
    EXPECT_NE(LoadError(dir.Path() + "missing").find("Cannot read"), std::string::npos);
}
