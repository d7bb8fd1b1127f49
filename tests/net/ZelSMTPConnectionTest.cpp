// The mail client against real servers on loopback: a mail server from aiosmtpd that saves what
// it receives (read back with Python's email package, a MIME parser of its own), and a scripted
// server for the replies a real one will not give. The scripted server logs every byte the
// client sends, so the command dialogue is checked exactly.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>

#include "TestSupport.h"
#include "core/Log.h"
#include "core/Version.h"
#include "net/NetPeers.h"
#include "net/ZelSMTPConnection.h"
#include "net/ZelSMTPException.h"

namespace {

using orvik::test::Hex;
using orvik::test::MimeSummary;
using orvik::test::PeerProcess;
using orvik::test::TempDir;

std::string RandomBytes(size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes) c = static_cast<char>(random());
    return bytes;
}

std::string Unix(std::string text) {
    for (size_t at; (at = text.find("\r\n")) != std::string::npos;) text.erase(at, 1);
    return text;
}

// The lines of `text` longer than 78 characters, the length a header line should keep to.
std::vector<std::string> LongLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; start < text.size(); start = end + 2) {
        end = text.find("\r\n", start);
        if (end == std::string::npos) end = text.size();
        if (end - start > 78) lines.push_back(text.substr(start, end - start));
    }
    return lines;
}

CZelSMTPMessage SimpleMessage() {
    CZelSMTPMessage message;
    message.From = CZelSMTPAddress("from@example.com");
    message.To = {CZelSMTPAddress("to@example.com")};
    message.Subject = "Hello";
    message.AddTextBody("Body");
    return message;
}

// A mail server that keeps everything it receives.
class MailSink : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(sink_.Started()) << sink_.Problem(); }

    std::string MessagePath(int number) const {
        char name[16];
        std::snprintf(name, sizeof name, "%03d", number);
        return mailbox_.Path() + name;
    }
    size_t Delivered() const {
        size_t count = 0;
        for (const auto& entry : std::filesystem::directory_iterator(mailbox_.Path())) {
            if (entry.path().extension() == ".eml") ++count;
        }
        return count;
    }

    orvik::test::TestProgram program_{false};
    TempDir mailbox_;
    TempDir files_;
    PeerProcess sink_{"smtp_sink.py", {mailbox_.Path()}};
};

TEST_F(MailSink, AnHtmlMailWithInlinePicturesAndAnAttachmentArrivesIntact) {
    const std::string gif = RandomBytes(300, 1);
    const std::string png = RandomBytes(5000, 2) + ".\r\n.\r\n";
    std::string table;
    for (int i = 0; i < 256 * 40; ++i) table += static_cast<char>(i);
    const std::string gifPath = files_.Write("img/logo.gif", gif);
    const std::string pngPath = files_.Write("chart.png", png);
    const std::string csvPath = files_.Write("Отчёт за март.csv", table);
    const std::string longName = "quarterly-sales-report-for-the-northern-region-march-2024.csv";
    const std::string longPath = files_.Write(longName, "plain name\n");
    const std::string html =
        "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; "
        "charset=windows-1251\"></head>\n<body>\n.a line with a leading dot\n"
        "<p class=\"x\">Итоги: 100% = план</p>  \n" +
        std::string(300, 'w') + "\n<img src=\"cid:OrvikID0\"><img src=\"cid:OrvikID1\">" +
        "<img src=\"cid:OrvikID0\">\n</body></html>";
    const std::string subject =
        "Ежедневный отчёт по продажам за период с первого по тридцать первое марта";

    CZelSMTPMessage message;
    message.SetCharset("WINDOWS-1251");
    message.SetMime(true);
    message.From = CZelSMTPAddress("Иван Петров", "ivan@example.com");
    CZelSMTPMessage::ParseRecipients("Anna <anna@example.com>", message.To);
    CZelSMTPMessage::ParseRecipients("cc1@example.com; \"Boss, Big\" <boss@example.com>",
                                     message.Cc);
    message.Bcc = {CZelSMTPAddress("archive@example.com")};
    message.Subject = subject;
    int id = 0;
    for (const std::string& path : {gifPath, pngPath}) {
        CZelSMTPBodyPart picture;
        picture.SetFilename(path);
        picture.SetContentType(id == 0 ? "image/gif" : "image/png");
        picture.SetContentID("OrvikID" + std::to_string(id++));
        message.AddBodyPart(picture);
    }
    message.AddHTMLBody(html);
    message.SetContentType("multipart/alternative");
    ASSERT_EQ(message.AddAttachments(csvPath + ";" + longPath), 2);

    CZelSMTPConnection connection;
    connection.Connect(sink_.Address());
    connection.SendMessage(message);
    EXPECT_EQ(connection.GetLastCommandResponseCode(), 250);
    connection.Disconnect();
    EXPECT_FALSE(connection.IsConnected());

    const std::string envelope = orvik::test::ReadFileBytes(MessagePath(1) + ".json");
    EXPECT_NE(envelope.find("\"mail_from\": \"ivan@example.com\""), std::string::npos);
    EXPECT_NE(envelope.find("[\"anna@example.com\", \"cc1@example.com\", \"boss@example.com\", "
                            "\"archive@example.com\"]"),
              std::string::npos)
        << envelope;
    EXPECT_NE(envelope.find("\"helo\": \"" + connection.GetHeloHostname() + "\""),
              std::string::npos);

    auto facts = MimeSummary(MessagePath(1) + ".eml");
    EXPECT_EQ(facts["defects"], "0");
    EXPECT_EQ(facts["header.From"], "Иван Петров <ivan@example.com>");
    EXPECT_EQ(facts["addresses.To"], "anna@example.com");
    EXPECT_EQ(facts["addresses.Cc"], "cc1@example.com,boss@example.com");
    EXPECT_EQ(facts["names.Cc"], "|Boss, Big");
    EXPECT_EQ(facts.count("header.Bcc"), 0u);
    EXPECT_EQ(facts["header.Subject"], subject);
    EXPECT_EQ(facts["header.X-Mailer"], std::string("Orvik ") + kOrvikVersion);
    EXPECT_EQ(facts["header.MIME-Version"], "1.0");
    EXPECT_EQ(facts["header.lines_without_name_or_fold"], "0");
    // Lines over 78 characters: only the MIME lines written whole, each exactly so; the
    // addresses, the subject and a name that needed encoded words are folded.
    const std::string raw = orvik::test::ReadFileBytes(MessagePath(1) + ".eml");
    const std::string typeLine = "Content-Type: multipart/alternative; boundary=\"" +
                                 message.GetRootPart().GetBoundary() + "\"";
    EXPECT_NE(raw.find("\r\nMIME-Version: 1.0\r\n" + typeLine + "\r\n"), std::string::npos);
    const std::string nameLine =
        "Content-Type: application/octet-stream; name=\"" + longName + "\"";
    const std::string dispositionLine =
        "Content-Disposition: attachment; filename=\"" + longName + "\"";
    EXPECT_NE(
        raw.find(nameLine + "\r\nContent-Transfer-Encoding: base64\r\n" + dispositionLine + "\r\n"),
        std::string::npos);
    const size_t headerEnd = raw.find("\r\n\r\n");
    EXPECT_EQ(LongLines(raw.substr(0, headerEnd)), std::vector<std::string>{typeLine});
    EXPECT_EQ(LongLines(raw.substr(headerEnd)),
              (std::vector<std::string>{nameLine, dispositionLine}));
    const long sentAt = std::time(nullptr);
    EXPECT_NEAR(std::stol(facts["date.epoch"]), sentAt, 120);
    std::tm local{};
    localtime_r(&sentAt, &local);
    EXPECT_EQ(facts["date.offset_minutes"], std::to_string(local.tm_gmtoff / 60));

    EXPECT_EQ(facts["part.0.content_type"], "multipart/alternative");
    // An attachment's boundary line follows an empty line, which the part before it keeps.
    EXPECT_EQ(facts["preamble"], "This is a multi-part message in MIME format\r\n");
    ASSERT_EQ(facts["parts"], "6");
    EXPECT_EQ(facts["part.1.content_type"], "image/gif");
    EXPECT_EQ(facts["part.1.content_id"], "<OrvikID0>");
    EXPECT_EQ(facts["part.1.filename"], "logo.gif");
    EXPECT_EQ(facts["part.1.hex"], Hex(gif));
    EXPECT_EQ(facts["part.2.content_type"], "image/png");
    EXPECT_EQ(facts["part.2.content_id"], "<OrvikID1>");
    EXPECT_EQ(facts["part.2.hex"], Hex(png));
    EXPECT_EQ(facts["part.3.content_type"], "text/html");
    EXPECT_EQ(facts["part.3.charset"], "windows-1251");
    EXPECT_EQ(facts["part.3.cte"], "quoted-printable");
    EXPECT_EQ(Unix(facts["part.3.text"]), html + "\n");
    EXPECT_EQ(facts["part.4.disposition"], "attachment");
    EXPECT_EQ(facts["part.4.filename"], "Отчёт за март.csv");
    EXPECT_EQ(facts["part.4.content_type"], "application/octet-stream");
    EXPECT_EQ(facts["part.4.hex"], Hex(table));
    EXPECT_EQ(facts["part.5.filename"], longName);
    EXPECT_EQ(facts["part.5.hex"], Hex("plain name\n"));
}

TEST_F(MailSink, APlainMessageKeepsItsLeadingDotsAndTakesUtf8WhenItsCharsetCannotHoldIt) {
    CZelSMTPMessage plain;
    plain.From = CZelSMTPAddress("from@example.com");
    plain.To = {CZelSMTPAddress("to@example.com")};
    plain.Subject = "Grüße";
    plain.AddTextBody(".first\n..second\r\nthird\r.\rlast");
    CZelSMTPMessage wide = plain;
    wide.Subject = "Привет ✓";
    wide.AddTextBody(".Привет, мир ✓\n.");
    wide.From.FriendlyName = std::string(40, 'N') + " " + std::string(60, 'M');

    CZelSMTPConnection connection;
    connection.Connect(sink_.Address());
    connection.SendMessage(plain);
    connection.SendMessage(wide);
    connection.Disconnect();
    ASSERT_EQ(Delivered(), 2u);

    auto facts = MimeSummary(MessagePath(1) + ".eml");
    EXPECT_EQ(facts["defects"], "0");
    EXPECT_EQ(facts["part.0.charset"], "iso-8859-1");
    EXPECT_EQ(facts["header.Subject"], "Grüße");
    // The line end before the final dot belongs to the last line.
    EXPECT_EQ(Unix(facts["part.0.text"]), ".first\n..second\nthird\n.\nlast\n");

    facts = MimeSummary(MessagePath(2) + ".eml");
    EXPECT_EQ(facts["defects"], "0");
    EXPECT_EQ(facts["part.0.charset"], "utf-8");
    EXPECT_EQ(facts["header.Subject"], "Привет ✓");
    EXPECT_EQ(facts["decoded.From"], wide.From.FriendlyName + " <from@example.com>");
    EXPECT_LE(std::stoi(facts["header.longest_line"]), 78);
    EXPECT_EQ(Unix(facts["part.0.text"]), ".Привет, мир ✓\n.\n");
}

TEST_F(MailSink, AnEmptyAttachmentIsSentAndAnUnreadableOneRefusedBeforeAnythingIsSent) {
    CZelSMTPMessage missing = SimpleMessage();
    missing.SetMime(true);
    missing.AddAttachments(files_.Path() + "no-such-file.pdf");
    CZelSMTPMessage empty = SimpleMessage();
    empty.SetMime(true);
    // A path written on Windows still finds its file.
    std::string windowsPath = files_.Write("sub/empty.txt", "");
    windowsPath.replace(windowsPath.rfind('/'), 1, "\\");
    empty.AddAttachments(windowsPath);

    CZelSMTPConnection connection;
    connection.Connect(sink_.Address());
    try {
        connection.SendMessage(missing);
        FAIL() << "a missing attachment was not noticed";
    } catch (const CZelSMTPException& error) {
        EXPECT_EQ(error.GetSystemError(), ENOENT);
        EXPECT_NE(std::string(error.what()).find("no-such-file.pdf"), std::string::npos);
    }
    CZelSMTPMessage injected = SimpleMessage();
    injected.Cc = {CZelSMTPAddress("x@example.com>\r\nRCPT TO:<evil@example.com")};
    EXPECT_THROW(connection.SendMessage(injected), CZelSMTPException);
    EXPECT_THROW(connection.SendMessage(CZelSMTPMessage()), CZelSMTPException);
    ASSERT_TRUE(connection.IsConnected());
    connection.SendMessage(empty);
    connection.Disconnect();

    ASSERT_EQ(Delivered(), 1u);
    auto facts = MimeSummary(MessagePath(1) + ".eml");
    EXPECT_EQ(facts["defects"], "0");
    EXPECT_EQ(facts["part.2.filename"], "empty.txt");
    EXPECT_EQ(facts["part.2.size"], "0");
    EXPECT_EQ(orvik::test::ReadFileBytes(MessagePath(1) + ".json").find("evil"), std::string::npos);
}

TEST_F(MailSink, UnreachableServersRaiseSocketErrors) {
    CZelSMTPConnection connection;
    try {
        connection.Connect("127.0.0.1:1");
        FAIL();
    } catch (const CWSocketException& error) {
        EXPECT_EQ(error.GetErrorCode(), ECONNREFUSED);
    }
    EXPECT_THROW(connection.Connect("no-such-host.invalid"), CWSocketException);
    EXPECT_FALSE(connection.IsConnected());
    connection.Connect("127.0.0.1", sink_.Port());
    EXPECT_THROW(connection.Connect(sink_.Address()), std::logic_error);
}

// A server following a script; Log() is everything the client sent once the server has ended.
class ScriptedServer : public ::testing::Test {
  protected:
    ScriptedServer() {
        // The connection's warnings go to the run's log, as the mail step has them.
        connection_.SetLog([this](const std::string& line) {
            UxSaveLog(program_.Context(), line, __FILE__, __LINE__);
        });
    }
    void Start(std::vector<std::string> steps) {
        steps.insert(steps.begin(), logPath_);
        peer_ = std::make_unique<PeerProcess>("scripted_server.py", steps);
        ASSERT_TRUE(peer_->Started()) << peer_->Problem();
        connection_.SetHeloHostname("client.test");
    }
    std::string Log() {
        EXPECT_TRUE(peer_->WaitForExit(5000));
        return orvik::test::ReadFileBytes(logPath_);
    }
    // The id of the CZelSMTPException `action` raises (0 when it raises none).
    template <typename Action>
    int ErrorOf(Action action) {
        try {
            action();
        } catch (const CZelSMTPException& error) {
            lastError_ = error.what();
            lastReply_ = error.GetLastResponse();
            return error.GetMessageId();
        }
        return 0;
    }

    orvik::test::TestProgram program_{false};
    TempDir folder_;
    std::string logPath_ = folder_.Path() + "sent.log";
    std::unique_ptr<PeerProcess> peer_;
    CZelSMTPConnection connection_;
    std::string lastError_;
    std::string lastReply_;
};

const std::string kGreet = "send:220 scripted ready\\r\\n";
const std::string kOk = "send:250 OK\\r\\n";
const std::string kBye = "send:221 bye\\r\\n";

TEST_F(ScriptedServer, AGreetingOtherThan220Raises412AndSaysQuit) {
    Start({"send:421 4.3.2 Service not available\\r\\n", "recv", kBye});
    EXPECT_EQ(ErrorOf([&] { connection_.Connect(peer_->Address()); }), 412);
    EXPECT_EQ(lastError_,
              "Unexpected SMTP Login response, Last Response: 421 4.3.2 Service not available\r\n");
    EXPECT_EQ(connection_.GetLastCommandResponseCode(), 421);
    EXPECT_FALSE(connection_.IsConnected());
    EXPECT_EQ(Log(), "QUIT\r\n");
}

TEST_F(ScriptedServer, MultiLineRepliesArrivingInPiecesAreOneReply) {
    Start({"send:220-first line\\r\\n", "sleep:0.2", "send:220 second line\\r\\n", "recv",
           "send:250-scripted\\r\\n250", "sleep:0.2", "send: HELP\\r\\n", "recv",
           "send:221\\r\\n"});
    connection_.Connect(peer_->Address());
    EXPECT_EQ(connection_.GetLastCommandResponse(), "250-scripted\r\n250 HELP\r\n");
    EXPECT_EQ(connection_.GetLastCommandResponseCode(), 250);
    // A reply may be a bare code without text.
    connection_.Disconnect();
    EXPECT_EQ(connection_.GetLastCommandResponse(), "221\r\n");
    EXPECT_EQ(Log(), "EHLO client.test\r\nQUIT\r\n");
}

// A server that does not know EHLO is greeted with HELO; its refusal of that is the failure.
TEST_F(ScriptedServer, EhloRefusedFallsBackToHeloAndARejectedHeloRaises417) {
    Start({kGreet, "recv", "send:500 5.5.1 Command unrecognized\\r\\n", "recv",
           "send:501 5.5.4 Invalid domain name\\r\\n", "recv", kBye});
    EXPECT_EQ(ErrorOf([&] { connection_.Connect(peer_->Address()); }), 417);
    EXPECT_EQ(lastReply_, "501 5.5.4 Invalid domain name\r\n");
    EXPECT_FALSE(connection_.IsConnected());
    EXPECT_EQ(Log(), "EHLO client.test\r\nHELO client.test\r\nQUIT\r\n");
}

// Old servers write "AUTH=" and a SIZE without a limit; the login dialogue is checked byte for
// byte, since nothing of it can be seen on a real server.
TEST_F(ScriptedServer, OldStyleCapabilitiesAndTheLoginDialoguesAsSent) {
    Start({kGreet, "recv", "send:250-old.test\\r\\n250-AUTH=LOGIN\\r\\n250 SIZE\\r\\n", "recv",
           "send:334 VXNlcm5hbWU6\\r\\n", "recv", "send:334 UGFzc3dvcmQ6\\r\\n", "recv",
           "send:235 ok\\r\\n", "recv", kOk, "recv", "send:550 no such user\\r\\n", "recv", kBye});
    connection_.SetLogin("reports", "pa55", MailAuthMethod::Auto);
    connection_.Connect(peer_->Address());
    EXPECT_EQ(connection_.GetAuthMechanism(), "LOGIN");
    EXPECT_TRUE(connection_.GetCapabilities().Size);
    EXPECT_EQ(connection_.GetCapabilities().SizeLimit, 0u);
    EXPECT_EQ(ErrorOf([&] { connection_.SendMessage(SimpleMessage()); }), 424);
    connection_.Disconnect();
    const std::string log = Log();
    EXPECT_EQ(log.substr(0, log.find("MAIL FROM")),
              "EHLO client.test\r\nAUTH LOGIN\r\ncmVwb3J0cw==\r\ncGE1NQ==\r\n");
    EXPECT_NE(log.find("MAIL FROM:<from@example.com> SIZE="), std::string::npos) << log;
}

TEST_F(ScriptedServer, ARefusedStartTlsOrEhloFailsNamingTheServer) {
    Start({kGreet, "recv", "send:250-x\\r\\n250 STARTTLS\\r\\n", "recv",
           "send:454 4.7.0 TLS not available\\r\\n", "recv", kBye});
    connection_.SetSecurity(MailSecurity::StartTls);
    connection_.SetLogin("reports", "pa55", MailAuthMethod::Auto);
    EXPECT_EQ(ErrorOf([&] { connection_.Connect(peer_->Address()); }), 453);
    EXPECT_EQ(lastError_, "The mail server " + peer_->Address() +
                              " refused STARTTLS, Last Response: 454 4.7.0 TLS not available");
    // Nothing after the refusal but the farewell: above all no login in clear.
    EXPECT_EQ(Log(), "EHLO client.test\r\nSTARTTLS\r\nQUIT\r\n");
}

// Someone between client and server strips STARTTLS from the capabilities and offers a login
// in clear: the client hangs up without a word of the secret, whichever way it was asked to
// secure the session short of "none". Only "none", chosen on purpose, logs in in clear.
TEST_F(ScriptedServer, AStrippedStartTlsNeverGetsTheLoginInClear) {
    const std::string stripped = "send:250-mitm.test\\r\\n250-AUTH PLAIN LOGIN\\r\\n250 SIZE\\r\\n";
    for (const MailSecurity security : {MailSecurity::StartTls, MailSecurity::StartTlsRequired}) {
        Start({kGreet, "recv", stripped, "recv", kBye});
        connection_.SetSecurity(security);
        connection_.SetLogin("reports", "pa55", MailAuthMethod::Plain);
        const int error = ErrorOf([&] { connection_.Connect(peer_->Address()); });
        EXPECT_TRUE(error == ZEL_SMTP_LOGIN_NOT_PROTECTED || error == ZEL_SMTP_STARTTLS_NOT_OFFERED)
            << error;
        EXPECT_EQ(Log(), "EHLO client.test\r\nQUIT\r\n");
        std::filesystem::remove(logPath_);
    }
    // A server that does not even know EHLO tells nothing of STARTTLS either.
    Start({kGreet, "recv", "send:500 what\\r\\n", "recv", kOk, "recv", kBye});
    connection_.SetSecurity(MailSecurity::StartTls);
    connection_.SetLogin("reports", "pa55", MailAuthMethod::Auto);
    EXPECT_EQ(ErrorOf([&] { connection_.Connect(peer_->Address()); }),
              ZEL_SMTP_LOGIN_NOT_PROTECTED);
    EXPECT_EQ(Log(), "EHLO client.test\r\nHELO client.test\r\nQUIT\r\n");
    std::filesystem::remove(logPath_);

    Start({kGreet, "recv", stripped, "recv", "send:235 ok\\r\\n", "recv", kBye});
    connection_.SetSecurity(MailSecurity::None);
    connection_.SetLogin("reports", "pa55", MailAuthMethod::Plain);
    connection_.Connect(peer_->Address());
    connection_.Disconnect();
    EXPECT_NE(Log().find("AUTH PLAIN"), std::string::npos);
    EXPECT_NE(program_.ReadLog().find("the session is not encrypted (MailSecurity none)"),
              std::string::npos);
}

TEST_F(ScriptedServer, AnEhloAnsweredWithATemporaryFailureIsNotRetriedAsHelo) {
    Start({kGreet, "recv", "send:421 4.3.0 busy\\r\\n", "recv", kBye});
    EXPECT_EQ(ErrorOf([&] { connection_.Connect(peer_->Address()); }), 451);
    EXPECT_EQ(lastError_, "Unexpected EHLO response from " + peer_->Address() +
                              ", Last Response: 421 4.3.0 busy");
    EXPECT_EQ(Log(), "EHLO client.test\r\nQUIT\r\n");
}

TEST_F(ScriptedServer, ASilentServerFailsNamingTheWaitAndTheCommand) {
    Start({kGreet, "recv", kOk});
    connection_.Connect(peer_->Address());
    connection_.SetTimeout(300);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(ErrorOf([&] { connection_.SendMessage(SimpleMessage()); }), ZEL_SMTP_NO_ANSWER);
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(300));
    EXPECT_LT(waited, std::chrono::seconds(5));
    EXPECT_EQ(lastError_, "The mail server " + peer_->Address() +
                              " gave no answer within 300 ms (waiting for the reply to MAIL FROM)");
    // Once silent for a whole time-out the server is not asked to say goodbye: that would only
    // wait out a second time-out.
    EXPECT_FALSE(connection_.IsConnected());
    EXPECT_EQ(ErrorOf([&] { connection_.Disconnect(); }), 0);
    EXPECT_EQ(Log(), "EHLO client.test\r\nMAIL FROM:<from@example.com>\r\n");
}

TEST_F(ScriptedServer, AServerThatNeverGreetsOrNeverEndsTheMessageIsNamedSo) {
    Start({});
    connection_.SetTimeout(1000);
    EXPECT_EQ(ErrorOf([&] { connection_.Connect(peer_->Address()); }), ZEL_SMTP_NO_ANSWER);
    EXPECT_EQ(lastError_, "The mail server " + peer_->Address() +
                              " gave no answer within 1 s (waiting for the reply to the greeting)");
    EXPECT_EQ(Log(), "");

    Start({kGreet, "recv", kOk, "recv", kOk, "recv", kOk, "recv", "send:354 go ahead\\r\\n",
           "recvdata"});
    connection_.SetTimeout(500);
    connection_.Connect(peer_->Address());
    EXPECT_EQ(ErrorOf([&] { connection_.SendMessage(SimpleMessage()); }), ZEL_SMTP_NO_ANSWER);
    EXPECT_NE(lastError_.find("(waiting for the reply to the end of the message)"),
              std::string::npos)
        << lastError_;
}

// A server that took the message and then ignores QUIT is not waited for as long as a command
// that matters would be.
TEST_F(ScriptedServer, AQuitThatIsNeverAnsweredIsGivenUpAfterAFewSeconds) {
    Start({kGreet, "recv", kOk, "recv"});
    connection_.Connect(peer_->Address());
    ASSERT_EQ(connection_.GetTimeout(), CZelSMTPConnection::kDefaultTimeoutMs);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(ErrorOf([&] { connection_.Disconnect(); }), ZEL_SMTP_NO_ANSWER);
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(CZelSMTPConnection::kQuitTimeoutMs));
    EXPECT_LT(waited, std::chrono::milliseconds(CZelSMTPConnection::kQuitTimeoutMs + 3000));
    EXPECT_NE(lastError_.find("gave no answer within 5 s (waiting for the reply to QUIT)"),
              std::string::npos)
        << lastError_;
    EXPECT_FALSE(connection_.IsConnected());
}

// A server whose packets are dropped (here: a listener whose backlog is full never answers the
// SYN) costs the connect time-out, not the kernel's two minutes of retries.
TEST(MailConnectTimeout, AServerThatNeverTakesTheConnectionIsGivenUpInTime) {
    orvik::test::UnansweredPort port;
    ASSERT_NE(port.Port(), 0);
    CZelSMTPConnection connection;
    EXPECT_EQ(connection.GetConnectTimeout(), 30000);
    connection.SetConnectTimeout(700);
    const auto start = std::chrono::steady_clock::now();
    try {
        connection.Connect(port.Address());
        FAIL() << "connected";
    } catch (const CWSocketException& error) {
        EXPECT_EQ(error.GetErrorCode(), ETIMEDOUT);
        EXPECT_STREQ(error.what(),
                     ("Cannot connect to 127.0.0.1 port " + std::to_string(port.Port()) +
                      ": no answer within 700 ms (MailConnectTimeout)")
                         .c_str());
    }
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(700));
    EXPECT_LT(waited, std::chrono::seconds(3));
    EXPECT_FALSE(connection.IsConnected());
}

TEST_F(ScriptedServer, RecipientsGoToThenCcAndARefusedOneRaises424) {
    Start({kGreet, "recv", kOk, "recv", kOk, "recv", kOk, "recv", "send:251 forwarded\\r\\n",
           "recv", "send:550 5.1.1 No such user\\r\\n", "recv", kBye});
    CZelSMTPMessage message = SimpleMessage();
    message.Cc = {CZelSMTPAddress("cc1@example.com"), CZelSMTPAddress("cc2@example.com")};
    connection_.Connect(peer_->Address());
    EXPECT_EQ(ErrorOf([&] { connection_.SendMessage(message); }), 424);
    EXPECT_EQ(lastError_, "Unexpected RCPT TO response, Last Response: 550 5.1.1 No such user\r\n");
    EXPECT_TRUE(connection_.IsConnected());
    connection_.Disconnect();
    EXPECT_EQ(Log(),
              "EHLO client.test\r\nMAIL FROM:<from@example.com>\r\nRCPT TO:<to@example.com>\r\n"
              "RCPT TO:<cc1@example.com>\r\nRCPT TO:<cc2@example.com>\r\nQUIT\r\n");
}

TEST_F(ScriptedServer, DataAndEndOfMessageRepliesAreChecked) {
    Start({kGreet, "recv", kOk, "recv", kOk, "recv", kOk, "recv", "send:451 try later\\r\\n",
           "recv", kOk, "recv", kOk, "recv", "send:354 go ahead\\r\\n", "recvdata",
           "send:552 too big\\r\\n", "recv", kBye});
    connection_.Connect(peer_->Address());
    EXPECT_EQ(ErrorOf([&] { connection_.SendMessage(SimpleMessage()); }), 420);
    EXPECT_EQ(ErrorOf([&] { connection_.SendMessage(SimpleMessage()); }), 421);
    EXPECT_EQ(lastReply_, "552 too big\r\n");
    connection_.Disconnect();
    const std::string log = Log();
    const size_t data = log.rfind("DATA\r\n");
    ASSERT_NE(data, std::string::npos);
    EXPECT_EQ(log.substr(data + 6, 6), "From: ");
    EXPECT_NE(log.find("\r\n\r\nBody\r\n.\r\nQUIT\r\n"), std::string::npos) << log;
}

TEST_F(ScriptedServer, AServerHangingUpAfterTheDataRaises448) {
    Start({kGreet, "recv", kOk, "recv", kOk, "recv", kOk, "recv", "send:354 go ahead\\r\\n",
           "recvdata", "close"});
    connection_.Connect(peer_->Address());
    EXPECT_EQ(ErrorOf([&] { connection_.SendMessage(SimpleMessage()); }), 448);
    EXPECT_EQ(lastError_, "A graceful disconnect had occurred, Last Response: ");
    EXPECT_FALSE(connection_.IsConnected());
    EXPECT_EQ(Log().find("QUIT"), std::string::npos);
}

TEST_F(ScriptedServer, AServerHangingUpInTheMiddleOfTheDataNeverSeesTheEndMark) {
    Start({kGreet, "recv", kOk, "recv", kOk, "recv", kOk, "recv", "send:354 go ahead\\r\\n",
           "recvbytes:1000", "close"});
    TempDir files;
    CZelSMTPMessage message = SimpleMessage();
    message.SetMime(true);
    message.AddAttachments(files.Write("big.bin", RandomBytes(8 << 20, 3)));
    connection_.Connect(peer_->Address());
    bool failed = false;
    try {
        connection_.SendMessage(message);
    } catch (const CWSocketException& error) {
        failed = true;
        EXPECT_TRUE(error.GetErrorCode() == EPIPE || error.GetErrorCode() == ECONNRESET)
            << error.what();
    } catch (const CZelSMTPException& error) {
        failed = true;
        EXPECT_EQ(error.GetMessageId(), 448);
    }
    EXPECT_TRUE(failed);
    EXPECT_FALSE(connection_.IsConnected());
}

}  // namespace
