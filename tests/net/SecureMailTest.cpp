// The mail client against an encrypting, login-checking aiosmtpd on loopback, with a CA and
// certificates made for the test: STARTTLS, TLS from the first byte, the login mechanisms, and
// the refusals a user will meet (wrong password, no STARTTLS, expired or foreign certificate).
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "TestSupport.h"
#include "core/Log.h"
#include "net/NetPeers.h"
#include "net/ZelSMTPConnection.h"
#include "net/ZelSMTPException.h"

namespace {

using orvik::test::PeerProcess;
using orvik::test::TempDir;

const std::string kUser = "reports";
const std::string kPassword = "s3cret-Pa55";

class SecureMail : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        certificates_ = new TempDir;
        if (orvik::test::MissingTlsPeers().empty())
            made_ = orvik::test::MakeTestCertificates(certificates_->Path());
    }
    static void TearDownTestSuite() {
        delete certificates_;
        certificates_ = nullptr;
    }

    void SetUp() override {
        // The connection's warnings go to the run's log, as the mail step has them.
        connection_.SetLog([this](const std::string& line) {
            UxSaveLog(program_.Context(), line, __FILE__, __LINE__);
        });
        if (const std::string missing = orvik::test::MissingTlsPeers(); !missing.empty()) {
            if (orvik::test::UnderCi()) FAIL() << "missing under CI: " << missing;
            GTEST_SKIP() << "needs " << missing;
        }
        ASSERT_TRUE(made_) << "openssl could not make the test certificates";
        connection_.SetHeloHostname("client.test");
    }

    // Starts the server in `mode` with certificate `certificate`, taking kUser/kPassword and
    // the token "tok123".
    void Serve(const std::string& mode, const std::string& certificate = "good") {
        const std::string base = certificates_->Path() + certificate;
        server_ = std::make_unique<PeerProcess>(
            "smtp_secure.py",
            std::vector<std::string>{mailbox_.Path(), mode, "--cert", base + ".pem", "--key",
                                     base + ".key", "--user", kUser, "--password", kPassword,
                                     "--token", "tok123"});
        ASSERT_TRUE(server_->Started()) << server_->Problem();
    }

    static TlsOptions Trusting() { return TlsOptions{certificates_->Path() + "ca.pem", true}; }

    static CZelSMTPMessage Message(const std::string& subject) {
        CZelSMTPMessage message;
        message.SetMime(true);
        message.From = CZelSMTPAddress("reports@example.org");
        message.To = {CZelSMTPAddress("boss@example.org")};
        message.Subject = subject;
        message.AddTextBody("Body of " + subject);
        return message;
    }

    // Connects, sends, says goodbye.
    void Deliver(const CZelSMTPMessage& message) {
        connection_.Connect(server_->Address());
        connection_.SendMessage(message);
        connection_.Disconnect();
    }

    // The message id of the CZelSMTPException `Connect` raises (0 when none), its text kept.
    int ConnectError() {
        try {
            connection_.Connect(server_->Address());
        } catch (const CZelSMTPException& error) {
            error_ = error.what();
            return error.GetMessageId();
        }
        return 0;
    }

    std::string Envelope(int number) {
        char name[16];
        std::snprintf(name, sizeof name, "%03d.json", number);
        return orvik::test::ReadFileBytes(mailbox_.Path() + name);
    }
    std::string MailCommands() {
        return orvik::test::ReadFileBytes(mailbox_.Path() + "mail-commands.log");
    }

    static TempDir* certificates_;
    static bool made_;
    orvik::test::TestProgram program_{false};
    TempDir mailbox_;
    std::unique_ptr<PeerProcess> server_;
    CZelSMTPConnection connection_;
    std::string error_;
};

TempDir* SecureMail::certificates_ = nullptr;
bool SecureMail::made_ = false;

// --- sessions that work ---

TEST_F(SecureMail, ABareHostAndPortStaysPlainAndDeclaresSizeAnd8BitText) {
    Serve("plain");
    Deliver(Message("plain"));
    CZelSMTPMessage raw = Message("raw");
    CZelSMTPBodyPart part;
    part.SetCharset("UTF-8");
    part.SetText("Итоги без кодирования");
    part.SetQuotedPrintable(false);
    raw.AddBodyPart(part);
    Deliver(raw);
    EXPECT_TRUE(connection_.GetCapabilities().Extended);
    EXPECT_FALSE(connection_.GetCapabilities().StartTls);
    EXPECT_EQ(connection_.GetCapabilities().SizeLimit, 10u * 1024 * 1024);
    const std::string envelope = Envelope(1);
    EXPECT_NE(envelope.find("\"tls\": false"), std::string::npos) << envelope;
    EXPECT_NE(envelope.find("\"login\": null"), std::string::npos) << envelope;
    // Quoted-printable text needs no 8BITMIME; the size is declared because it is offered.
    EXPECT_NE(envelope.find("\"mail_options\": [\"SIZE="), std::string::npos) << envelope;
    EXPECT_EQ(envelope.find("8BITMIME"), std::string::npos) << envelope;
    EXPECT_NE(Envelope(2).find("\"BODY=8BITMIME\""), std::string::npos) << Envelope(2);
}

TEST_F(SecureMail, StartTlsThenAuthPlainDeliversAndParses) {
    Serve("starttls-required");
    connection_.SetSecurity(MailSecurity::StartTls);
    connection_.SetTlsOptions(Trusting());
    connection_.SetLogin(kUser, kPassword, MailAuthMethod::Auto);
    CZelSMTPMessage message = Message("Отчёт за март");
    Deliver(message);
    EXPECT_EQ(connection_.GetAuthMechanism(), "PLAIN");
    // The second EHLO, inside TLS, is the one that counts: it offers AUTH, no longer STARTTLS.
    EXPECT_FALSE(connection_.GetCapabilities().StartTls);
    const std::string envelope = Envelope(1);
    EXPECT_NE(envelope.find("\"tls\": true"), std::string::npos) << envelope;
    EXPECT_NE(envelope.find("\"login\": \"reports\""), std::string::npos) << envelope;
    auto facts = orvik::test::MimeSummary(mailbox_.Path() + "001.eml");
    EXPECT_EQ(facts["defects"], "0");
    EXPECT_EQ(facts["decoded.Subject"], "Отчёт за март");
}

TEST_F(SecureMail, TlsFromTheFirstByteWithAuthLogin) {
    Serve("tls");
    connection_.SetSecurity(MailSecurity::Tls);
    connection_.SetTlsOptions(Trusting());
    connection_.SetLogin(kUser, kPassword, MailAuthMethod::Login);
    Deliver(Message("implicit"));
    EXPECT_EQ(connection_.GetAuthMechanism(), "LOGIN");
    const std::string envelope = Envelope(1);
    EXPECT_NE(envelope.find("\"tls\": true"), std::string::npos) << envelope;
    EXPECT_NE(envelope.find("\"login\": \"reports\""), std::string::npos) << envelope;
}

TEST_F(SecureMail, ALoginInClearOnlyWithSecurityNoneAndThenWithAWarning) {
    Serve("plain-auth");
    const std::string warning =
        "Warning: the mail password goes unencrypted (AUTH PLAIN) to mail "
        "server " +
        server_->Address() + ": ";
    connection_.SetLogin(kUser, kPassword, MailAuthMethod::Auto);
    Deliver(Message("none"));
    connection_.SetLogin(kUser, "tok123", MailAuthMethod::XOAuth2);
    Deliver(Message("token"));
    EXPECT_NE(Envelope(2).find("\"login\": \"reports\""), std::string::npos) << Envelope(2);
    std::string log = program_.ReadLog();
    EXPECT_NE(log.find(warning + "the session is not encrypted (MailSecurity none)"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("Warning: the mail token goes unencrypted (AUTH XOAUTH2) to mail server " +
                       server_->Address() + ": the session is not encrypted (MailSecurity none)"),
              std::string::npos)
        << log;
    EXPECT_EQ(log.find(kPassword), std::string::npos) << log;

    // STARTTLS merely preferred does not stretch to a login the server would read in clear.
    connection_.SetSecurity(MailSecurity::StartTls);
    for (MailAuthMethod method : {MailAuthMethod::Auto, MailAuthMethod::XOAuth2}) {
        connection_.SetLogin(kUser, kPassword, method);
        EXPECT_EQ(ConnectError(), ZEL_SMTP_LOGIN_NOT_PROTECTED);
        EXPECT_NE(error_.find("The mail server " + server_->Address() +
                              " does not offer STARTTLS, so the login was not sent"),
                  std::string::npos)
            << error_;
        EXPECT_FALSE(connection_.IsConnected());
    }
    EXPECT_FALSE(std::filesystem::exists(mailbox_.Path() + "003.json"));
    EXPECT_EQ(program_.ReadLog(), log);

    // Once the session is encrypted there is nothing to warn about.
    Serve("starttls");
    connection_.SetTlsOptions(Trusting());
    connection_.SetLogin(kUser, kPassword, MailAuthMethod::Auto);
    Deliver(Message("encrypted"));
    EXPECT_EQ(program_.ReadLog(), log);
}

// --- refusals: each names the server and what it said, and no mail goes out ---

TEST_F(SecureMail, AWrongPasswordIsRefusedWithoutTheSecretInTheError) {
    Serve("starttls");
    connection_.SetSecurity(MailSecurity::StartTlsRequired);
    connection_.SetTlsOptions(Trusting());
    for (MailAuthMethod method : {MailAuthMethod::Plain, MailAuthMethod::Login}) {
        connection_.SetLogin(kUser, "not-the-password", method);
        EXPECT_EQ(ConnectError(), ZEL_SMTP_AUTH_RESPONSE);
        EXPECT_NE(error_.find("Login to the mail server " + server_->Address() + " failed"),
                  std::string::npos)
            << error_;
        EXPECT_NE(error_.find("535"), std::string::npos) << error_;
        EXPECT_EQ(error_.find("not-the-password"), std::string::npos);
        EXPECT_FALSE(connection_.IsConnected());
    }
    // A token the server refuses: its details arrive as a challenge the client answers empty.
    connection_.SetLogin(kUser, "stale-token", MailAuthMethod::XOAuth2);
    EXPECT_EQ(ConnectError(), ZEL_SMTP_AUTH_RESPONSE);
    EXPECT_NE(error_.find("334 "), std::string::npos) << error_;
    EXPECT_NE(error_.find("535"), std::string::npos) << error_;
    EXPECT_EQ(MailCommands(), "");
}

TEST_F(SecureMail, RequiredStartTlsThatIsNotOfferedSendsNothing) {
    Serve("plain");
    connection_.SetSecurity(MailSecurity::StartTlsRequired);
    connection_.SetLogin(kUser, kPassword, MailAuthMethod::Auto);
    EXPECT_EQ(ConnectError(), ZEL_SMTP_STARTTLS_NOT_OFFERED);
    EXPECT_NE(error_.find(server_->Address() + " does not offer STARTTLS"), std::string::npos)
        << error_;
    EXPECT_FALSE(connection_.IsConnected());
    EXPECT_EQ(MailCommands(), "");
    // Merely preferred, it falls back to plain text, but only without a login.
    connection_.SetSecurity(MailSecurity::StartTls);
    EXPECT_EQ(ConnectError(), ZEL_SMTP_LOGIN_NOT_PROTECTED);
    EXPECT_EQ(MailCommands(), "");
    connection_.SetLogin("", "", MailAuthMethod::Auto);
    Deliver(Message("fallback"));
    EXPECT_NE(Envelope(1).find("\"tls\": false"), std::string::npos);
}

TEST_F(SecureMail, CertificatesThatDoNotHoldAreRefusedBeforeAnythingIsSent) {
    struct Case {
        const char* certificate;
        std::string host;
        bool trustCa;
        const char* reason;
    };
    for (const Case& c : {Case{"expired", "", true, "certificate has expired"},
                          Case{"other", "", true, "IP address mismatch"},
                          Case{"other", "localhost", true, "hostname mismatch"},
                          Case{"good", "", false, "unable to get local issuer certificate"}}) {
        SCOPED_TRACE(c.reason);
        Serve("starttls", c.certificate);
        connection_.SetSecurity(MailSecurity::StartTls);
        connection_.SetTlsOptions(c.trustCa ? Trusting() : TlsOptions{});
        connection_.SetLogin(kUser, kPassword, MailAuthMethod::Auto);
        const std::string server =
            c.host.empty() ? server_->Address() : c.host + ":" + std::to_string(server_->Port());
        try {
            connection_.Connect(server);
            ADD_FAILURE() << "connected";
        } catch (const CZelSMTPException& error) {
            EXPECT_EQ(error.GetMessageId(), ZEL_SMTP_TLS_FAILURE);
            const std::string text = error.what();
            EXPECT_NE(text.find("TLS with the mail server " + server), std::string::npos) << text;
            EXPECT_NE(text.find(c.reason), std::string::npos) << text;
        }
        EXPECT_FALSE(connection_.IsConnected());
        EXPECT_EQ(MailCommands(), "");
    }
}

TEST_F(SecureMail, ACaFileThatCannotBeReadFailsClearly) {
    Serve("tls");
    connection_.SetSecurity(MailSecurity::Tls);
    connection_.SetTlsOptions(TlsOptions{mailbox_.Path() + "missing-ca.pem", true});
    EXPECT_EQ(ConnectError(), ZEL_SMTP_TLS_FAILURE);
    EXPECT_NE(error_.find("Cannot read the CA file"), std::string::npos) << error_;
    EXPECT_NE(error_.find("missing-ca.pem"), std::string::npos) << error_;
}

}  // namespace
