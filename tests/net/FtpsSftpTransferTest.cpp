// Encrypted uploads against real servers on loopback: pyftpdlib speaking FTPS (AUTH TLS, or TLS
// from the first byte) with the throw-away CA's certificates, and OpenSSH's sshd serving SFTP.
// What arrives is read from the servers' folders; the FTPS server also notes every command it
// received and whether the control connection was encrypted by then.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>

#include "TestSupport.h"
#include "net/FTPTransferer.h"
#include "net/NetPeers.h"
#include "net/SftpPeer.h"

namespace {

using orvik::test::PeerProcess;
using orvik::test::ReadFileBytes;
using orvik::test::TempDir;

// The commands the server's log shows as received before TLS, each followed by a blank.
std::string ClearCommands(const std::string& log) {
    std::string clear;
    for (size_t line = 0; line < log.size(); line = log.find('\n', line) + 1) {
        const std::string text = log.substr(line, log.find('\n', line) - line);
        if (text.ends_with(" tls=False")) clear += text.substr(0, text.find(' ') + 1);
    }
    return clear;
}

class FtpsUpload : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        certificates_ = new TempDir;
        made_ = orvik::test::MakeTestCertificates(certificates_->Path());
    }
    static void TearDownTestSuite() {
        delete certificates_;
        certificates_ = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(made_) << "openssl could not make the certificates"; }

    // Starts an FTPS server in `mode` ("explicit", "implicit", or "" for plain FTP) showing
    // `certificate`.
    void Serve(const std::string& mode, const std::string& certificate = "good") {
        std::vector<std::string> arguments{root_.Path(), "--commands", Commands()};
        if (!mode.empty()) {
            const std::string base = certificates_->Path() + certificate;
            arguments.insert(arguments.end(),
                             {"--tls", mode, "--cert", base + ".pem", "--key", base + ".key"});
        }
        server_ = std::make_unique<PeerProcess>("ftp_server.py", arguments);
        ASSERT_TRUE(server_->Started()) << server_->Problem();
    }
    // A transferer for the server, trusting the test CA, logged in as "orvik".
    void Prepare(UxFTPTransferer& ftp, FtpSecurity security, const std::string& name,
                 const std::string& data) {
        ftp.Download = false;
        ftp.Server = server_->Address();
        ftp.Security = security;
        ftp.Tls.CAFile = certificates_->Path() + "ca.pem";
        ftp.UserName = "orvik";
        ftp.Password = "secret";
        ftp.Passive = true;
        ftp.LocalFile = local_.Write(name, data);
    }
    std::string Commands() const { return root_.Path() + "commands.log"; }
    std::string Stored(const std::string& name) const {
        return ReadFileBytes(root_.Path() + "orvik/" + name);
    }

    static TempDir* certificates_;
    static bool made_;
    TempDir root_;
    TempDir local_;
    std::unique_ptr<PeerProcess> server_;
};

TempDir* FtpsUpload::certificates_ = nullptr;
bool FtpsUpload::made_ = false;

TEST_F(FtpsUpload, ExplicitAndImplicitTlsCarryTheLoginAndTheDataEncrypted) {
    const std::string page = "<html>\xD0\x9E\xD1\x82\xD1\x87\xD1\x91\xD1\x82\n</html>";
    for (const char* mode : {"explicit", "implicit"}) {
        SCOPED_TRACE(mode);
        Serve(mode);
        const bool implicit = std::string(mode) == "implicit";
        for (bool passive : {true, false}) {
            UxFTPTransferer ftp;
            Prepare(ftp, implicit ? FtpSecurity::Implicit : FtpSecurity::Explicit, "page.htm",
                    page);
            ftp.Passive = passive;
            ftp.RemoteFile = std::string(mode) + (passive ? "-passive.htm" : "-active.htm");
            ftp.Binary = false;
            ASSERT_TRUE(ftp.Upload()) << ftp.ErrorText;
            EXPECT_EQ(ftp.TlsVerification, "ok");
            EXPECT_EQ(Stored(ftp.RemoteFile),
                      "<html>\xD0\x9E\xD1\x82\xD1\x87\xD1\x91\xD1\x82\r\n</html>");
        }
        // Nothing but the request for TLS went in clear, and the data connections were
        // passive even when active ones were asked for.
        const std::string commands = ReadFileBytes(Commands());
        EXPECT_EQ(commands.find("EPRT"), std::string::npos) << commands;
        EXPECT_EQ(commands.find("PORT"), std::string::npos) << commands;
        EXPECT_NE(commands.find("STOR tls=True"), std::string::npos) << commands;
        EXPECT_EQ(ClearCommands(commands), implicit ? "" : "AUTH AUTH ") << commands;
        std::filesystem::remove(Commands());
    }
    // The scheme alone asks for implicit TLS.
    UxFTPTransferer written;
    Prepare(written, FtpSecurity::Auto, "x.txt", "x");
    written.Server = "ftps://" + server_->Address();
    ASSERT_TRUE(written.Upload()) << written.ErrorText;
    EXPECT_EQ(Stored("x.txt"), "x");
}

TEST_F(FtpsUpload, AServerWithoutTlsGetsNoLoginWhenTlsIsRequired) {
    Serve("");
    UxFTPTransferer ftp;
    Prepare(ftp, FtpSecurity::Explicit, "x.txt", "x");
    EXPECT_FALSE(ftp.Upload());
    EXPECT_EQ(ftp.LastMessageId, FTP_CONNECT_FAILED);
    EXPECT_EQ(ftp.ErrorText.rfind("An error occurred connecting to the server, Error:the server "
                                  "refused AUTH TLS: 5",
                                  0),
              0u)
        << ftp.ErrorText;
    EXPECT_NE(ftp.ErrorText.find("; server ftp://" + server_->Address()), std::string::npos)
        << ftp.ErrorText;
    // Asked for TLS (one way, then the other), and for nothing else.
    const std::string commands = ReadFileBytes(Commands());
    EXPECT_EQ(commands.find("tls=True"), std::string::npos) << commands;
    EXPECT_EQ(ClearCommands(commands).substr(0, 5), "AUTH ") << commands;
    EXPECT_EQ(ClearCommands(commands).find_first_not_of("AUTH "), std::string::npos) << commands;
}

TEST_F(FtpsUpload, CertificatesThatDoNotProveTheServerAreRefusedUnlessTheCheckIsOff) {
    struct Case {
        const char* certificate;
        bool trustCa;
        const char* reason;
    };
    for (const Case& c : {Case{"expired", true, "certificate has expired"},
                          Case{"other", true, "host name '127.0.0.1'"},
                          Case{"good", false, "unable to get local issuer certificate"}}) {
        SCOPED_TRACE(c.certificate);
        Serve("implicit", c.certificate);
        UxFTPTransferer ftp;
        Prepare(ftp, FtpSecurity::Implicit, "x.txt", "x");
        if (!c.trustCa) ftp.Tls.CAFile.clear();
        EXPECT_FALSE(ftp.Upload());
        EXPECT_EQ(ftp.LastMessageId, FTP_CONNECT_FAILED);
        EXPECT_NE(ftp.ErrorText.find(c.reason), std::string::npos) << ftp.ErrorText;
        EXPECT_NE(ftp.ErrorText.find("server ftps://" + server_->Address()), std::string::npos)
            << ftp.ErrorText;
        EXPECT_EQ(ReadFileBytes(Commands()), "");
    }
    // With the check off the expired certificate passes, and what the check found is kept.
    Serve("explicit", "expired");
    UxFTPTransferer unchecked;
    Prepare(unchecked, FtpSecurity::Explicit, "y.txt", "y");
    unchecked.Tls.Verify = false;
    ASSERT_TRUE(unchecked.Upload()) << unchecked.ErrorText;
    EXPECT_EQ(unchecked.TlsVerification, "certificate has expired");
    EXPECT_EQ(Stored("y.txt"), "y");
}

TEST_F(FtpsUpload, AWrongPasswordOverTlsAndAnUnreadableCaFileAreNamed) {
    Serve("explicit");
    UxFTPTransferer ftp;
    Prepare(ftp, FtpSecurity::Explicit, "x.txt", "x");
    ftp.Password = "wrong-secret";
    EXPECT_FALSE(ftp.Upload());
    EXPECT_EQ(ftp.ErrorText.rfind("An error occurred connecting to the server, Error:530 ", 0), 0u)
        << ftp.ErrorText;
    EXPECT_EQ(ftp.ErrorText.find("wrong-secret"), std::string::npos);

    UxFTPTransferer badCa;
    Prepare(badCa, FtpSecurity::Explicit, "x.txt", "x");
    badCa.Tls.CAFile = local_.Path() + "no-such-ca.pem";
    EXPECT_FALSE(badCa.Upload());
    EXPECT_NE(badCa.ErrorText.find("cannot read the CA file '" + local_.Path() + "no-such-ca.pem'"),
              std::string::npos)
        << badCa.ErrorText;
}

class SftpUpload : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(server_.Started()) << server_.Problem(); }

    void Prepare(UxFTPTransferer& sftp, const std::string& name, const std::string& data) {
        sftp.Download = false;
        sftp.Server = "sftp://127.0.0.1:" + std::to_string(server_.Port());
        sftp.UserName = server_.User();
        sftp.KeyFile = server_.KeyFile();
        sftp.KnownHosts = server_.KnownHosts();
        sftp.LocalFile = local_.Write(name, data);
    }

    TempDir folder_;
    TempDir local_;
    orvik::test::SftpPeer server_{folder_.Path()};
};

TEST_F(SftpUpload, AKeyLoginUploadsTheBytesAsTheyAreIntoTheLoginFolderOrAnAbsolutePath) {
    const std::string page = "<html>line\nline\r\n\x00\xFF</html>";
    UxFTPTransferer relative;
    Prepare(relative, "page.htm", page);
    relative.RemoteFile = "Daily report.htm";
    relative.Binary = false;  // SFTP has no ASCII mode: nothing is converted
    ASSERT_TRUE(relative.Upload()) << relative.ErrorText << "\n" << server_.Log();
    EXPECT_EQ(ReadFileBytes(server_.Home() + "Daily report.htm"), page);

    std::filesystem::create_directories(folder_.Path() + "site");
    UxFTPTransferer absolute;
    Prepare(absolute, "logo.gif", "GIF89a");
    absolute.RemoteFile = folder_.Path() + "site/logo.gif";
    // The security setting turns a bare "host:port" into SFTP.
    absolute.Server = "127.0.0.1:" + std::to_string(server_.Port());
    absolute.Security = FtpSecurity::Sftp;
    ASSERT_TRUE(absolute.Upload()) << absolute.ErrorText << "\n" << server_.Log();
    EXPECT_EQ(ReadFileBytes(folder_.Path() + "site/logo.gif"), "GIF89a");
}

TEST_F(SftpUpload, WithNeitherKeyNorPasswordTheAgentLogsIn) {
    UxFTPTransferer sftp;
    Prepare(sftp, "x.txt", "by agent");
    sftp.KeyFile.clear();
    {
        // No agent: nothing to log in with.
        const char* previous = std::getenv("SSH_AUTH_SOCK");
        const std::string kept = previous ? previous : "";
        unsetenv("SSH_AUTH_SOCK");
        EXPECT_FALSE(sftp.Upload());
        if (previous) setenv("SSH_AUTH_SOCK", kept.c_str(), 1);
    }
    orvik::test::SshAgent agent(folder_.Path(), server_.KeyFile());
    ASSERT_TRUE(agent.Started()) << agent.Problem();
    ASSERT_TRUE(sftp.Upload()) << sftp.ErrorText << "\n" << server_.Log();
    EXPECT_EQ(ReadFileBytes(server_.Home() + "x.txt"), "by agent");
}

TEST_F(SftpUpload, AnUnknownOrChangedHostKeyIsRefusedWithHowToAcceptIt) {
    const std::string port = std::to_string(server_.Port());
    UxFTPTransferer unknown;
    Prepare(unknown, "x.txt", "x");
    unknown.KnownHosts = local_.Write("known_hosts", "[127.0.0.1]:1 ssh-ed25519 AAAA\n");
    EXPECT_FALSE(unknown.Upload());
    EXPECT_EQ(unknown.LastMessageId, FTP_CONNECT_FAILED);
    EXPECT_NE(unknown.ErrorText.find("the host key of 127.0.0.1 port " + port +
                                     " is not in FtpKnownHosts (" + unknown.KnownHosts + ")"),
              std::string::npos)
        << unknown.ErrorText;
    EXPECT_NE(
        unknown.ErrorText.find("ssh-keyscan -p " + port + " 127.0.0.1 >> " + unknown.KnownHosts),
        std::string::npos)
        << unknown.ErrorText;
    EXPECT_FALSE(std::filesystem::exists(server_.Home() + "x.txt"));
    // Nothing was added to the file on the way.
    EXPECT_EQ(ReadFileBytes(unknown.KnownHosts), "[127.0.0.1]:1 ssh-ed25519 AAAA\n");

    // Another server's key under this one's name.
    std::string other = ReadFileBytes(server_.KeyFile() + ".pub");
    other = "[127.0.0.1]:" + port + " " + other.substr(0, other.find(' ', other.find(' ') + 1));
    UxFTPTransferer changed;
    Prepare(changed, "x.txt", "x");
    changed.KnownHosts = local_.Write("changed_hosts", other + "\n");
    EXPECT_FALSE(changed.Upload());
    EXPECT_NE(changed.ErrorText.find("differs from the one in FtpKnownHosts"), std::string::npos)
        << changed.ErrorText;
    EXPECT_FALSE(std::filesystem::exists(server_.Home() + "x.txt"));
}

TEST_F(SftpUpload, ARefusedLoginNamesTheServer) {
    UxFTPTransferer sftp;
    Prepare(sftp, "x.txt", "x");
    // A key sshd was not told about.
    sftp.KeyFile = folder_.Path() + "host_key";
    EXPECT_FALSE(sftp.Upload());
    EXPECT_EQ(sftp.LastMessageId, FTP_CONNECT_FAILED);
    EXPECT_NE(sftp.ErrorText.find("; server sftp://127.0.0.1:" + std::to_string(server_.Port())),
              std::string::npos)
        << sftp.ErrorText;
    EXPECT_FALSE(std::filesystem::exists(server_.Home() + "x.txt"));
}

}  // namespace
