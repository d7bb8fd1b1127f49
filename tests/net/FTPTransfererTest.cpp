// Uploads against a real FTP server (pyftpdlib) on loopback. The server stores ASCII uploads as
// they came over the wire, so the line ends the client sends are visible in the stored file.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

#include "TestSupport.h"
#include "net/FTPTransferer.h"
#include "net/NetPeers.h"

namespace {

using orvik::test::PeerProcess;
using orvik::test::TempDir;

// A transferer that keeps what it reports along the way.
class RecordingTransferer : public UxFTPTransferer {
  public:
    std::vector<std::uint64_t> Progress;
    std::vector<int> Statuses;
    std::uint64_t Total = 0;

  protected:
    void SetStatus(int messageId) override { Statuses.push_back(messageId); }
    void OnProgress(std::uint64_t bytesSoFar, std::uint64_t totalBytes) override {
        Progress.push_back(bytesSoFar);
        Total = totalBytes;
    }
};

class FTPUpload : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(server_.Started()) << server_.Problem(); }

    // A transferer set up the way the delivery step sets it up.
    void Prepare(RecordingTransferer& ftp, const std::string& localName, const std::string& data,
                 const std::string& remote) {
        ftp.Download = false;
        ftp.Server = server_.Address();
        ftp.LocalFile = local_.Write(localName, data);
        ftp.RemoteFile = remote;
    }
    std::string Stored(const std::string& home, const std::string& name) const {
        return orvik::test::ReadFileBytes(root_.Path() + home + "/" + name);
    }
    bool Exists(const std::string& home, const std::string& name) const {
        return std::filesystem::exists(root_.Path() + home + "/" + name);
    }

    orvik::test::TestProgram program_{false};
    TempDir root_;
    TempDir local_;
    PeerProcess server_{"ftp_server.py", {root_.Path()}};
};

TEST_F(FTPUpload, AnonymousPassiveBinaryUploadGoesInChunksOf1024) {
    std::mt19937 random(7);
    std::string data(2500, '\0');
    for (char& c : data) c = static_cast<char>(random());
    RecordingTransferer ftp;
    Prepare(ftp, "data.bin", data, "data.bin");
    ftp.Passive = true;
    ASSERT_TRUE(ftp.Upload()) << ftp.ErrorText;
    EXPECT_EQ(Stored("anonymous", "data.bin"), data);
    EXPECT_EQ(ftp.Progress, (std::vector<std::uint64_t>{1024, 2048, 2500}));
    EXPECT_EQ(ftp.Total, 2500u);
    EXPECT_EQ(ftp.Statuses, std::vector<int>{314});
    EXPECT_EQ(ftp.ErrorText, "");
}

TEST_F(FTPUpload, NamedLoginInActiveModeIntoASubfolderAndUnderAnAwkwardName) {
    std::filesystem::create_directories(root_.Path() + "orvik/site");
    RecordingTransferer ftp;
    Prepare(ftp, "Orvik.htm", "<html>page</html>", "site/Daily report #1.htm");
    ftp.UserName = "orvik";
    ftp.Password = "secret";
    ftp.Passive = false;
    ASSERT_TRUE(ftp.Upload()) << ftp.ErrorText;
    EXPECT_EQ(Stored("orvik", "site/Daily report #1.htm"), "<html>page</html>");

    // The same object serves the next file; an empty password is a password too.
    RecordingTransferer second;
    Prepare(second, "logo.gif", "GIF89a", "logo.gif");
    second.UserName = "nopass";
    ASSERT_TRUE(second.Upload()) << second.ErrorText;
    EXPECT_EQ(Stored("nopass", "logo.gif"), "GIF89a");
}

TEST_F(FTPUpload, AsciiSendsCrLfLineEndsAndBinarySendsTheBytes) {
    // The first CRLF straddles two chunks of 1024 bytes.
    const std::string text = std::string(1023, 'a') + "\r\none\ntwo\r\nthree\n\nlast";
    RecordingTransferer ascii;
    Prepare(ascii, "page.htm", text, "ascii.htm");
    ascii.Binary = false;
    ascii.Passive = true;
    ASSERT_TRUE(ascii.Upload()) << ascii.ErrorText;
    EXPECT_EQ(Stored("anonymous", "ascii.htm"),
              std::string(1023, 'a') + "\r\none\r\ntwo\r\nthree\r\n\r\nlast");

    RecordingTransferer binary;
    Prepare(binary, "page2.htm", text, "binary.htm");
    ASSERT_TRUE(binary.Upload()) << binary.ErrorText;
    EXPECT_EQ(Stored("anonymous", "binary.htm"), text);
}

TEST_F(FTPUpload, AnEmptyFileCreatesAnEmptyRemoteFile) {
    for (bool passive : {true, false}) {
        RecordingTransferer ftp;
        const std::string name = passive ? "empty-passive.txt" : "empty-active.txt";
        Prepare(ftp, name, "", name);
        ftp.Passive = passive;
        ASSERT_TRUE(ftp.Upload()) << ftp.ErrorText;
        ASSERT_TRUE(Exists("anonymous", name));
        EXPECT_EQ(Stored("anonymous", name), "");
    }
}

TEST_F(FTPUpload, AWrongPasswordReportsTheServersReplyOnOneLine) {
    RecordingTransferer ftp;
    Prepare(ftp, "x.txt", "x", "x.txt");
    ftp.UserName = "orvik";
    ftp.Password = "wrong-secret";
    ftp.Passive = true;
    EXPECT_FALSE(ftp.Upload());
    EXPECT_EQ(ftp.ErrorText.rfind("An error occurred connecting to the server, Error:530", 0), 0u)
        << ftp.ErrorText;
    EXPECT_NE(ftp.ErrorText.find("Authentication failed"), std::string::npos) << ftp.ErrorText;
    EXPECT_EQ(ftp.ErrorText.find_first_of("\r\n"), std::string::npos);
    EXPECT_EQ(ftp.ErrorText.find("wrong-secret"), std::string::npos);
    EXPECT_TRUE(ftp.Statuses.empty());
    EXPECT_FALSE(Exists("orvik", "x.txt"));
}

TEST_F(FTPUpload, AMissingRemoteFolderFailsOpeningTheRemoteFile) {
    RecordingTransferer ftp;
    Prepare(ftp, "x.txt", "x", "no/such/folder/x.txt");
    ftp.Passive = true;
    EXPECT_FALSE(ftp.Upload());
    EXPECT_EQ(ftp.ErrorText.rfind(
                  "An error occurred while attempting to open the remote file, Error:550", 0),
              0u)
        << ftp.ErrorText;
}

TEST_F(FTPUpload, AServerFailingDuringTheDataReportsAnUploadError) {
    RecordingTransferer ftp;
    Prepare(ftp, "big.bin", std::string(300000, 'x'), "big.bin");
    ftp.UserName = "full";
    ftp.Password = "secret";
    ftp.Passive = true;
    EXPECT_FALSE(ftp.Upload());
    EXPECT_EQ(ftp.ErrorText.rfind("An error occurred while uploading the file, Error:", 0), 0u)
        << ftp.ErrorText;
    // The server's 426 reply, or the broken connection when the client sees that first.
    EXPECT_TRUE(ftp.ErrorText.find("Error:426 ") != std::string::npos ||
                ftp.ErrorText.find("Send failure") != std::string::npos)
        << ftp.ErrorText;
    EXPECT_EQ(ftp.Statuses, std::vector<int>{314});
}

// A copy already on the server is replaced only by a complete upload: a broken one leaves it as it
// was, and a complete one leaves nothing but the file itself.
TEST_F(FTPUpload, ARemoteFileIsReplacedOnlyByACompleteUpload) {
    std::filesystem::create_directories(root_.Path() + "full");
    std::ofstream(root_.Path() + "full/page.htm") << "yesterday's page";
    RecordingTransferer broken;
    Prepare(broken, "page.htm", std::string(300000, 'x'), "page.htm");
    broken.UserName = "full";
    broken.Password = "secret";
    EXPECT_FALSE(broken.Upload());
    EXPECT_EQ(Stored("full", "page.htm"), "yesterday's page");

    std::filesystem::create_directories(root_.Path() + "orvik");
    std::ofstream(root_.Path() + "orvik/page.htm") << "yesterday's page";
    RecordingTransferer whole;
    Prepare(whole, "page.htm", "today's page", "page.htm");
    whole.UserName = "orvik";
    whole.Password = "secret";
    EXPECT_TRUE(whole.Upload()) << whole.ErrorText;
    EXPECT_EQ(Stored("orvik", "page.htm"), "today's page");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(root_.Path() + "orvik"),
                            std::filesystem::directory_iterator()),
              1);
}

TEST_F(FTPUpload, LocalAndConnectionFailuresHaveTheirOwnTexts) {
    RecordingTransferer missing;
    missing.Server = server_.Address();
    missing.LocalFile = local_.Path() + "nothing-here.htm";
    missing.RemoteFile = "nothing-here.htm";
    EXPECT_FALSE(missing.Upload());
    EXPECT_EQ(missing.ErrorText,
              "An error occured while opening the file to be uploaded, Error:No such file or "
              "directory");

    RecordingTransferer folder;
    folder.Server = server_.Address();
    folder.LocalFile = local_.Path();
    EXPECT_FALSE(folder.Upload());
    EXPECT_EQ(folder.ErrorText,
              "An error occured while opening the file to be uploaded, Error:Is a directory");

    RecordingTransferer refused;
    Prepare(refused, "x.txt", "x", "x.txt");
    refused.Server = "127.0.0.1:1";
    EXPECT_FALSE(refused.Upload());
    EXPECT_EQ(refused.ErrorText.rfind("An error occurred connecting to the server, Error:", 0), 0u)
        << refused.ErrorText;
    EXPECT_NE(refused.ErrorText.find("onnect"), std::string::npos) << refused.ErrorText;
}

// A server that greets and then goes quiet must not hold an unattended run.
TEST(FTPSilentServer, AReplyThatNeverComesEndsTheUploadAfterTheTimeOut) {
    orvik::test::TestProgram program(false);
    TempDir local;
    TempDir logs;
    PeerProcess server("scripted_server.py",
                       {logs.Path() + "received", "send:220 ready\\r\\n", "recv", "sleep:30"});
    ASSERT_TRUE(server.Started()) << server.Problem();
    RecordingTransferer ftp;
    ftp.Download = false;
    ftp.Server = server.Address();
    ftp.LocalFile = local.Write("page.htm", "<html></html>");
    ftp.ReplyTimeoutSeconds = 1;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(ftp.Upload());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(15));
    EXPECT_EQ(ftp.ErrorText.rfind("An error occurred connecting to the server, Error:", 0), 0u)
        << ftp.ErrorText;
    EXPECT_NE(ftp.ErrorText.find("imeout"), std::string::npos) << ftp.ErrorText;
    EXPECT_EQ(orvik::test::ReadFileBytes(logs.Path() + "received").rfind("USER anonymous\r\n", 0),
              0u);
}

// A server whose packets are dropped costs the connect time-out, and the error says so.
TEST(FTPSilentServer, AConnectThatIsNeverAnsweredEndsAfterTheConnectTimeOut) {
    orvik::test::TestProgram program(false);
    TempDir local;
    orvik::test::UnansweredPort port;
    ASSERT_NE(port.Port(), 0);
    RecordingTransferer ftp;
    ftp.Download = false;
    ftp.Server = port.Address();
    ftp.LocalFile = local.Write("page.htm", "<html></html>");
    ftp.ConnectTimeoutMs = 700;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(ftp.Upload());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(ftp.ErrorText,
              "An error occurred connecting to the server, Error:no answer within "
              "700 ms (the connect time-out); server ftp://" +
                  port.Address());
}

}  // namespace
