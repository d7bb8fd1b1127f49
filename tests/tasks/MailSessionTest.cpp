// An SMTP step against an encrypting, login-checking mail server: the session settings taken from
// the step or the program, a password or token from a command, the secret setting kept
// protected, and what reaches the log.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "TestSupport.h"
#include "core/SettingsStore.h"
#include "model/Registries.h"
#include "model/Report.h"
#include "net/NetPeers.h"
#include "net/ZelSMTPException.h"
#include "params/ParamSubstitution.h"
#include "tasks/Delivery.h"
#include "tasks/MailSession.h"

namespace orvik {
namespace {

class MailSessionTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (const std::string missing = test::MissingTlsPeers(); !missing.empty()) {
            if (test::UnderCi()) FAIL() << "missing under CI: " << missing;
            GTEST_SKIP() << "needs " << missing;
        }
        ASSERT_TRUE(test::MakeTestCertificates(certificates_.Path()));
        Report().StartNew();
        program_.Context().Page.Text = "<HTML><BODY><P>page</P></BODY></HTML>";
        Setting("DefAdrFrom") = "reports@example.org";
        Setting("MailCAFile") = certificates_.Path() + "ca.pem";
    }

    CReport& Report() { return program_.Context().Report(); }
    std::string& Setting(const char* name) {
        return program_.Context().Registries().FindSetting(name)->Value;
    }

    void Serve(const std::string& mode, const std::string& certificate = "good") {
        const std::string base = certificates_.Path() + certificate;
        server_ = std::make_unique<test::PeerProcess>(
            "smtp_secure.py",
            std::vector<std::string>{mailbox_.Path(), mode, "--cert", base + ".pem", "--key",
                                     base + ".key", "--user", "reports", "--password", "right-pass",
                                     "--token", "tok123"});
        ASSERT_TRUE(server_->Started()) << server_->Problem();
    }

    COvInfoAct& Step(const std::string& server) {
        Report().Tasks.push_back(
            std::make_unique<COvInfoAct>(&program_.Context().Registries(), GroupId::Task));
        COvInfoAct& step = *Report().Tasks.back();
        step.Name.Value = "Daily";
        step.AType.Value = "SMTP";
        program_.Context().Registries().PrepareNewCombo(step.AType, step.Props, true);
        step.GetPropByName("Srv")->Value = server;
        step.GetPropByName("Adr")->Value = "boss@example.org";
        return step;
    }

    std::string Envelope() { return test::ReadFileBytes(mailbox_.Path() + "001.json"); }
    bool Delivered() { return std::filesystem::exists(mailbox_.Path() + "001.eml"); }

    test::TestProgram program_;
    test::TempDir certificates_;
    test::TempDir mailbox_;
    std::unique_ptr<test::PeerProcess> server_;
};

TEST_F(MailSessionTest, AnOAuthTokenFromTheCommandLogsInOverStartTlsAndStaysOutOfTheLog) {
    Serve("starttls-required");
    Setting("MailUser") = "reports";
    Setting("MailPassword") = "never-used";
    Setting("MailPasswordCommand") = "echo tok123; echo second line; echo noise >&2";
    COvInfoAct& step = Step("smtp://127.0.0.1:" + std::to_string(server_->Port()));
    step.GetPropByName("MailAuth")->Value = "xoauth2";
    SendExport(program_.Context(), step);
    ASSERT_TRUE(Delivered()) << program_.ReadLog();
    EXPECT_NE(Envelope().find("\"tls\": true"), std::string::npos) << Envelope();
    EXPECT_NE(Envelope().find("\"login\": \"reports\""), std::string::npos) << Envelope();
    EXPECT_EQ(program_.ReadLog().find("tok123"), std::string::npos) << program_.ReadLog();
}

TEST_F(MailSessionTest, TheStepsOwnValuesOverrideTheSettings) {
    Serve("tls");
    Setting("MailSecurity") = "starttls-required";  // this server would refuse that
    Setting("MailUser") = "someone-else";
    Setting("MailPassword") = "wrong";
    COvInfoAct& step = Step("127.0.0.1:" + std::to_string(server_->Port()));
    step.GetPropByName("MailSecurity")->Value = "tls";
    step.GetPropByName("MailUser")->Value = "reports";
    step.GetPropByName("MailPassword")->Value = "right-pass";
    step.GetPropByName("MailAuth")->Value = "LOGIN";
    SendExport(program_.Context(), step);
    ASSERT_TRUE(Delivered()) << program_.ReadLog();
    EXPECT_NE(Envelope().find("\"login\": \"reports\""), std::string::npos) << Envelope();
}

TEST_F(MailSessionTest, TheWayTheServerIsWrittenChoosesTheSecurityUnlessASettingDoes) {
    Serve("tls");
    SendExport(program_.Context(), Step("smtps://127.0.0.1:" + std::to_string(server_->Port())));
    ASSERT_TRUE(Delivered()) << program_.ReadLog();
    COvInfoAct& step = Step("");
    EXPECT_EQ(ResolveMailSession(program_.Context(), step, "mail.example.org").Security,
              MailSecurity::None);
    EXPECT_EQ(ResolveMailSession(program_.Context(), step, "smtp://mail.example.org").Security,
              MailSecurity::StartTls);
    EXPECT_EQ(ResolveMailSession(program_.Context(), step, "smtps://mail.example.org").Security,
              MailSecurity::Tls);
    // A login asks for STARTTLS however the server is written (the connection insists on it).
    Setting("MailUser") = "reports";
    EXPECT_EQ(ResolveMailSession(program_.Context(), step, "mail.example.org").Security,
              MailSecurity::StartTls);
    EXPECT_EQ(ResolveMailSession(program_.Context(), step, "smtp://mail.example.org").Security,
              MailSecurity::StartTls);
    EXPECT_EQ(ResolveMailSession(program_.Context(), step, "smtps://mail.example.org").Security,
              MailSecurity::Tls);
    Setting("MailUser").clear();
    Setting("MailSecurity") = " STARTTLS-Required ";
    EXPECT_EQ(ResolveMailSession(program_.Context(), step, "mail.example.org").Security,
              MailSecurity::StartTlsRequired);
    // A value that means nothing is refused by name, shown safely.
    Setting("MailSecurity") = "ssl\nX";
    try {
        ResolveMailSession(program_.Context(), step, "mail.example.org");
        ADD_FAILURE() << "accepted";
    } catch (const MailSessionError& error) {
        EXPECT_STREQ(error.what(),
                     "MailSecurity 'ssl?X' is not one of none, starttls, starttls-required, tls");
    }
}

// A server that offers no STARTTLS (or has it stripped on the way) but a login in clear: the
// login goes nowhere unless MailSecurity says none, whatever form the server name has.
TEST_F(MailSessionTest, ALoginIsSentInClearOnlyWhenMailSecurityIsNone) {
    Serve("plain-auth");
    Setting("MailUser") = "reports";
    Setting("MailPassword") = "right-pass";
    const std::string port = std::to_string(server_->Port());
    for (const auto& [server, security] : std::vector<std::pair<std::string, std::string>>{
             {"127.0.0.1:" + port, ""},
             {"smtp://127.0.0.1:" + port, ""},
             {"127.0.0.1:" + port, "starttls"},
             {"smtp://127.0.0.1:" + port, "StartTLS"}}) {
        Setting("MailSecurity") = security;
        try {
            SendExport(program_.Context(), Step(server));
            ADD_FAILURE() << server << " " << security << ": sent";
        } catch (const CZelSMTPException& error) {
            EXPECT_EQ(error.GetMessageId(), ZEL_SMTP_LOGIN_NOT_PROTECTED) << error.what();
        }
    }
    EXPECT_FALSE(Delivered());
    EXPECT_EQ(test::ReadFileBytes(mailbox_.Path() + "mail-commands.log"), "");
    EXPECT_EQ(program_.ReadLog().find("unencrypted"), std::string::npos);

    Setting("MailSecurity") = "none";
    SendExport(program_.Context(), Step("127.0.0.1:" + port));
    ASSERT_TRUE(Delivered()) << program_.ReadLog();
    EXPECT_NE(Envelope().find("\"login\": \"reports\""), std::string::npos) << Envelope();
    EXPECT_NE(program_.ReadLog().find("Warning: the mail password goes unencrypted"),
              std::string::npos);

    // Without a login a bare host stays plain SMTP, as it always was.
    Setting("MailSecurity").clear();
    Setting("MailUser").clear();
    SendExport(program_.Context(), Step("127.0.0.1:" + port));
    EXPECT_TRUE(std::filesystem::exists(mailbox_.Path() + "002.eml")) << program_.ReadLog();
}

TEST_F(MailSessionTest, TheConnectTimeOutIsASettingInWholeSeconds) {
    COvInfoAct& step = Step("");
    EXPECT_EQ(ResolveMailSession(program_.Context(), step, "h").ConnectTimeoutMs, 30000);
    Setting("MailConnectTimeout") = " 5 ";
    EXPECT_EQ(ResolveMailSession(program_.Context(), step, "h").ConnectTimeoutMs, 5000);
    step.GetPropByName("MailConnectTimeout")->Value = "0";
    EXPECT_LT(ResolveMailSession(program_.Context(), step, "h").ConnectTimeoutMs,
              0);  // the system's own
    for (const char* bad : {"abc", "-1", "1.5", "86401", "99999999999"}) {
        step.GetPropByName("MailConnectTimeout")->Value = bad;
        try {
            ResolveMailSession(program_.Context(), step, "h");
            ADD_FAILURE() << bad << " accepted";
        } catch (const MailSessionError& error) {
            EXPECT_EQ(std::string(error.what()),
                      "MailConnectTimeout '" + std::string(bad) +
                          "' is not a number of seconds from 0 to 86400");
        }
    }
}

TEST_F(MailSessionTest, TurningTheCheckOffIsLoggedAtEveryUse) {
    Serve("starttls", "expired");
    Setting("MailVerify") = "0";
    const std::string server = "smtp://127.0.0.1:" + std::to_string(server_->Port());
    SendExport(program_.Context(), Step(server));
    SendExport(program_.Context(), Step(server));
    ASSERT_TRUE(Delivered()) << program_.ReadLog();
    const std::string log = program_.ReadLog();
    const std::string warning = "Warning: the certificate of mail server " + server +
                                " was not checked (MailVerify=0); the check says: certificate "
                                "has expired";
    const size_t first = log.find(warning);
    ASSERT_NE(first, std::string::npos) << log;
    EXPECT_NE(log.find(warning, first + 1), std::string::npos) << log;
    // With the check on, the same server is refused.
    Setting("MailVerify") = "1";
    EXPECT_THROW(SendExport(program_.Context(), Step(server)), CZelSMTPException);
}

TEST_F(MailSessionTest, APasswordCommandThatFailsOrSaysNothingStopsTheStep) {
    Serve("starttls");
    Setting("MailUser") = "reports";
    const std::string server = "smtp://127.0.0.1:" + std::to_string(server_->Port());
    const auto failure = [&](const std::string& command) -> std::string {
        Setting("MailPasswordCommand") = command;
        try {
            SendExport(program_.Context(), Step(server));
        } catch (const MailSessionError& error) {
            return error.what();
        }
        return "no error";
    };
    EXPECT_EQ(failure("echo right-pass; exit 3"),
              "The mail password command failed with exit status 3");
    EXPECT_EQ(failure("printf '\\n'"), "The mail password command printed no password");
    EXPECT_EQ(failure("echo only on stderr >&2"), "The mail password command printed no password");
    Setting("CmdTimeout") = "1";
    EXPECT_EQ(failure("sleep 30"),
              "The mail password command was stopped after 1 s (time-out "
              "CmdTimeout)");
    EXPECT_FALSE(Delivered());
    EXPECT_EQ(test::ReadFileBytes(mailbox_.Path() + "mail-commands.log"), "");
    Setting("MailPasswordCommand") = "printf 'right-pass\\r\\n'";
    SendExport(program_.Context(), Step(server));
    EXPECT_TRUE(Delivered()) << program_.ReadLog();
}

TEST_F(MailSessionTest, TheMailPasswordSettingIsStoredProtected) {
    COvInfoProp* password = program_.Context().Registries().FindSetting("MailPassword");
    ASSERT_NE(password, nullptr);
    EXPECT_TRUE(password->IsOption(PropFlag::Secret));
    password->Value = "plain-text-would-show";
    SettingsStore store(program_.SettingsPath());
    ASSERT_TRUE(CRegistries::WriteSetting(store, *password));
    const std::string file = test::ReadFileBytes(program_.SettingsPath());
    EXPECT_NE(file.find("MailPassword"), std::string::npos) << file;
    EXPECT_EQ(file.find("plain-text-would-show"), std::string::npos) << file;
    password->Value.clear();
    program_.Context().Registries().ReadSettings(SettingsStore(program_.SettingsPath()));
    EXPECT_EQ(password->Value, "plain-text-would-show");
    // Settings stand in for "~Name~" in texts; the secret one must not.
    Setting("MailUser") = "reports";
    EXPECT_EQ(
        DSetParam(program_.Context(), "~MailUser~ ~MailPassword~", SubstitutionTarget::MailHeader),
        "reports ~MailPassword~");
}

}  // namespace
}  // namespace orvik
