// An FTP step against real servers (pyftpdlib with FTPS, OpenSSH's sshd with SFTP): the session
// settings taken from the step or the program, the step's own login first, a password from a
// command, and what reaches the log: a certificate check turned off, a password sent in clear,
// a refused host key.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "TestSupport.h"
#include "model/Registries.h"
#include "model/Report.h"
#include "net/NetPeers.h"
#include "net/SftpPeer.h"
#include "tasks/Delivery.h"
#include "tasks/FtpSession.h"

namespace orvik {
namespace {

constexpr char kPage[] = "<HTML><BODY><P>page</P></BODY></HTML>";

size_t Count(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

class FtpSessionTest : public ::testing::Test {
  protected:
    void SetUp() override {
        Report().StartNew();
        program_.Context().Page.Text = kPage;
    }

    CReport& Report() { return program_.Context().Report(); }
    std::string& Setting(const char* name) {
        return program_.Context().Registries().FindSetting(name)->Value;
    }
    COvInfoAct& Step(const std::string& server) {
        Report().Tasks.push_back(
            std::make_unique<COvInfoAct>(&program_.Context().Registries(), GroupId::Task));
        COvInfoAct& step = *Report().Tasks.back();
        step.Name.Value = "Daily";
        step.AType.Value = "FTP";
        program_.Context().Registries().PrepareNewCombo(step.AType, step.Props, true);
        step.GetPropByName("Srv")->Value = server;
        return step;
    }
    std::string& Prop(COvInfoAct& step, const char* name) {
        return step.GetPropByName(name)->Value;
    }
    std::string LastMessage() {
        return program_.Front().Messages.empty() ? "" : program_.Front().Messages.back().Text;
    }

    test::TestProgram program_;
    test::TempDir root_;
};

TEST_F(FtpSessionTest, TheWayTheServerIsWrittenChoosesTheProtocolUnlessASettingDoes) {
    COvInfoAct& step = Step("");
    EXPECT_EQ(ResolveFtpSession(program_.Context(), step, "files.example.org").Security,
              FtpSecurity::None);
    EXPECT_EQ(ResolveFtpSession(program_.Context(), step, "ftp://files.example.org").Security,
              FtpSecurity::None);
    EXPECT_EQ(ResolveFtpSession(program_.Context(), step, "FTPS://files.example.org").Security,
              FtpSecurity::Implicit);
    EXPECT_EQ(ResolveFtpSession(program_.Context(), step, "sftp://files.example.org:2222").Security,
              FtpSecurity::Sftp);
    Setting("FtpSecurity") = " Explicit ";
    EXPECT_EQ(ResolveFtpSession(program_.Context(), step, "ftps://files.example.org").Security,
              FtpSecurity::Explicit);
    Prop(step, "FtpSecurity") = "sftp";
    EXPECT_EQ(ResolveFtpSession(program_.Context(), step, "files.example.org").Security,
              FtpSecurity::Sftp);
    Prop(step, "FtpSecurity") = "tls\nX";
    try {
        ResolveFtpSession(program_.Context(), step, "files.example.org");
        ADD_FAILURE() << "accepted";
    } catch (const FtpSessionError& error) {
        EXPECT_STREQ(error.what(),
                     "FtpSecurity 'tls?X' is not one of none, explicit, implicit, sftp");
    }
    Prop(step, "FtpSecurity").clear();
    Setting("FtpSecurity").clear();
    // An FtpUser login goes to a plain FTP server over explicit FTPS; the step's own User keeps
    // the plain FTP it always had, and an anonymous login has no secret to protect.
    Setting("FtpUser") = "reports";
    EXPECT_EQ(ResolveFtpSession(program_.Context(), step, "files.example.org").Security,
              FtpSecurity::Explicit);
    EXPECT_EQ(ResolveFtpSession(program_.Context(), step, "ftp://files.example.org").Security,
              FtpSecurity::Explicit);
    EXPECT_EQ(ResolveFtpSession(program_.Context(), step, "ftps://files.example.org").Security,
              FtpSecurity::Implicit);
    Setting("FtpSecurity") = "none";
    EXPECT_EQ(ResolveFtpSession(program_.Context(), step, "files.example.org").Security,
              FtpSecurity::None);
    Setting("FtpSecurity").clear();
    Setting("FtpUser") = "Anonymous";
    EXPECT_EQ(ResolveFtpSession(program_.Context(), step, "files.example.org").Security,
              FtpSecurity::None);
    Prop(step, "User") = "orvik";
    EXPECT_EQ(ResolveFtpSession(program_.Context(), step, "files.example.org").Security,
              FtpSecurity::None);
    Prop(step, "User").clear();
    Setting("FtpUser").clear();
    // The connect time-out, in whole seconds.
    EXPECT_EQ(ResolveFtpSession(program_.Context(), step, "h").ConnectTimeoutMs, 30000u);
    Prop(step, "FtpConnectTimeout") = "2";
    EXPECT_EQ(ResolveFtpSession(program_.Context(), step, "h").ConnectTimeoutMs, 2000u);
    Prop(step, "FtpConnectTimeout") = "2s";
    EXPECT_THROW(ResolveFtpSession(program_.Context(), step, "h"), FtpSessionError);
    Prop(step, "FtpConnectTimeout").clear();
    Setting("FtpVerify") = "no";
    EXPECT_THROW(ResolveFtpSession(program_.Context(), step, "h"), FtpSessionError);
}

TEST_F(FtpSessionTest, TheStepsLoginComesFirstAndTheSettingsStandIn) {
    Setting("FtpUser") = "reports";
    Setting("FtpPassword") = "stored";
    COvInfoAct& step = Step("");
    FtpSession session = ResolveFtpSession(program_.Context(), step, "h");
    EXPECT_EQ(session.User + "/" + session.Secret, "reports/stored");
    Prop(step, "User") = "orvik";
    Prop(step, "Password") = "own";
    session = ResolveFtpSession(program_.Context(), step, "h");
    EXPECT_EQ(session.User + "/" + session.Secret, "orvik/own");
    // A user of its own without a password takes the command's.
    Prop(step, "Password").clear();
    Setting("FtpPasswordCommand") = "printf 'from-command\\r\\nsecond\\n'; echo noise >&2";
    session = ResolveFtpSession(program_.Context(), step, "h");
    EXPECT_EQ(session.User + "/" + session.Secret, "orvik/from-command");
    Prop(step, "FtpPasswordCommand") = "exit 3";
    try {
        ResolveFtpSession(program_.Context(), step, "h");
        ADD_FAILURE() << "accepted";
    } catch (const FtpSessionError& error) {
        EXPECT_STREQ(error.what(), "The FTP password command failed with exit status 3");
    }
    EXPECT_TRUE(
        program_.Context().Registries().FindSetting("FtpPassword")->IsOption(PropFlag::Secret));
    EXPECT_TRUE(step.GetPropByName("FtpPassword")->IsOption(PropFlag::Secret));
}

TEST_F(FtpSessionTest, AnUncheckedCertificateIsLoggedAtEveryUseAndACheckedOneRefused) {
    test::TempDir certificates;
    ASSERT_TRUE(test::MakeTestCertificates(certificates.Path()));
    const std::string base = certificates.Path() + "expired";
    test::PeerProcess server("ftp_server.py", {root_.Path(), "--tls", "explicit", "--cert",
                                               base + ".pem", "--key", base + ".key"});
    ASSERT_TRUE(server.Started()) << server.Problem();
    Setting("FtpSecurity") = "explicit";
    Setting("FtpVerify") = "0";
    Setting("FtpCAFile") = certificates.Path() + "ca.pem";
    Setting("FtpUser") = "orvik";
    Setting("FtpPasswordCommand") = "echo secret";
    SendExport(program_.Context(), Step(server.Address()));
    SendExport(program_.Context(), Step(server.Address()));
    EXPECT_NE(test::ReadFileBytes(root_.Path() + "orvik/Orvik.htm").find(kPage), std::string::npos);
    const std::string log = program_.ReadLog();
    EXPECT_EQ(Count(log, "Warning: the certificate of FTP server ftp://" + server.Address() +
                             " was not checked (FtpVerify=0); the check says: certificate has "
                             "expired"),
              2u)
        << log;
    EXPECT_EQ(log.find("unencrypted"), std::string::npos) << log;
    EXPECT_EQ(program_.Context().ErrorCount(), 0);

    Setting("FtpVerify") = "1";
    SendExport(program_.Context(), Step(server.Address()));
    EXPECT_NE(LastMessage().find("certificate has expired; server ftp://" + server.Address()),
              std::string::npos)
        << LastMessage();
    EXPECT_EQ(program_.Context().ErrorCount(), 1);
}

TEST_F(FtpSessionTest, APasswordInClearIsWarnedOfOncePerStepAndAnAnonymousLoginNot) {
    test::PeerProcess server("ftp_server.py", {root_.Path()});
    ASSERT_TRUE(server.Started()) << server.Problem();
    test::TempDir files;
    COvInfoAct& named = Step(server.Address());
    Prop(named, "User") = "orvik";
    Prop(named, "Password") = "secret";
    Prop(named, "Files") = files.Write("a.txt", "a") + ";" + files.Write("b.txt", "b");
    SendExport(program_.Context(), named);
    EXPECT_EQ(test::ReadFileBytes(root_.Path() + "orvik/b.txt"), "b");
    const std::string warning =
        "Warning: the password of FTP user orvik goes to " + server.Address() + " unencrypted";
    EXPECT_EQ(Count(program_.ReadLog(), warning), 1u) << program_.ReadLog();
    EXPECT_EQ(program_.ReadLog().find("secret"), std::string::npos);

    SendExport(program_.Context(), Step(server.Address()));
    EXPECT_NE(test::ReadFileBytes(root_.Path() + "anonymous/Orvik.htm").find(kPage),
              std::string::npos);
    EXPECT_EQ(Count(program_.ReadLog(), "Warning: the password"), 1u);
    EXPECT_EQ(program_.Context().ErrorCount(), 0);
}

// A server without AUTH TLS (or one whose offer is stripped on the way) never sees an FtpUser
// login unless FtpSecurity says none.
TEST_F(FtpSessionTest, AnFtpUserLoginGoesToAPlainServerOnlyWithSecurityNone) {
    const std::string commands = root_.Path() + "commands.log";
    test::PeerProcess server("ftp_server.py", {root_.Path(), "--commands", commands});
    ASSERT_TRUE(server.Started()) << server.Problem();
    Setting("FtpUser") = "orvik";
    Setting("FtpPassword") = "secret";
    for (const std::string& written : {server.Address(), "ftp://" + server.Address()}) {
        SendExport(program_.Context(), Step(written));
        EXPECT_NE(LastMessage().find("the server refused AUTH TLS"), std::string::npos)
            << LastMessage();
    }
    EXPECT_EQ(program_.Context().ErrorCount(), 2);
    const std::string refused = test::ReadFileBytes(commands);
    EXPECT_EQ(refused.find("USER"), std::string::npos) << refused;
    EXPECT_EQ(refused.find("PASS"), std::string::npos) << refused;
    EXPECT_FALSE(std::filesystem::exists(root_.Path() + "orvik/Orvik.htm"));

    Setting("FtpSecurity") = "none";
    SendExport(program_.Context(), Step(server.Address()));
    EXPECT_NE(test::ReadFileBytes(root_.Path() + "orvik/Orvik.htm").find(kPage), std::string::npos);
    EXPECT_NE(program_.ReadLog().find("Warning: the password of FTP user orvik goes to " +
                                      server.Address() + " unencrypted"),
              std::string::npos)
        << program_.ReadLog();
}

TEST_F(FtpSessionTest, AnSftpStepLogsInWithTheKeyAndStopsAtAnUnknownHostKey) {
    test::TempDir folder;
    test::SftpPeer server(folder.Path());
    ASSERT_TRUE(server.Started()) << server.Problem();
    const std::string address = "sftp://127.0.0.1:" + std::to_string(server.Port());
    Setting("FtpUser") = server.User();
    Setting("FtpKeyFile") = server.KeyFile();
    Setting("FtpKnownHosts") = server.KnownHosts();
    SendExport(program_.Context(), Step(address));
    EXPECT_NE(test::ReadFileBytes(server.Home() + "Orvik.htm").find(kPage), std::string::npos)
        << LastMessage() << "\n"
        << server.Log();
    EXPECT_EQ(program_.Context().ErrorCount(), 0);

    // Two files, one refusal: the step stops at the first.
    test::TempDir files;
    COvInfoAct& step = Step(address);
    Prop(step, "FtpKnownHosts") = files.Write("known_hosts", "");
    Prop(step, "Files") = files.Write("a.txt", "a") + ";" + files.Write("b.txt", "b");
    SendExport(program_.Context(), step);
    EXPECT_NE(LastMessage().find("is not in FtpKnownHosts (" + files.Path() + "known_hosts)"),
              std::string::npos)
        << LastMessage();
    EXPECT_EQ(program_.Context().ErrorCount(), 1);
    EXPECT_FALSE(std::filesystem::exists(server.Home() + "a.txt"));
}

}  // namespace
}  // namespace orvik
