// The encoders and the message building that need no server: exact encodings where the standard
// leaves no choice, properties where it does.
#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>
#include <set>

#include "TestSupport.h"
#include "net/Mime.h"
#include "net/ServerAddress.h"
#include "net/ZelSMTPMessage.h"

namespace {

using namespace orvik::mime;

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
        lines.push_back(text.substr(start, end - start));
    }
    lines.push_back(text.substr(start));
    return lines;
}

TEST(Mime, Base64MatchesTheStandardVectorsAndBreaksLinesAt76) {
    EXPECT_EQ(Base64Encode(""), "");
    EXPECT_EQ(Base64Encode("f"), "Zg==");
    EXPECT_EQ(Base64Encode("fo"), "Zm8=");
    EXPECT_EQ(Base64Encode("foo"), "Zm9v");
    EXPECT_EQ(Base64Encode("foobar"), "Zm9vYmFy");
    EXPECT_EQ(Base64Encode(std::string("\xff\xfe\x00", 3)), "//4A");

    const std::string line(57, 'x');
    std::string fullLine;
    for (int i = 0; i < 19; ++i) fullLine += "eHh4";
    EXPECT_EQ(Base64Encode(line), fullLine + "\r\n");
    const std::string longer = Base64Encode(line + "yz");
    EXPECT_EQ(longer.substr(76, 2), "\r\n");
    EXPECT_EQ(longer.substr(78), "eXo=");

    // Pieces of whole lines give the same text as the whole input.
    std::string data;
    for (int i = 0; i < 1000; ++i) data += static_cast<char>(i * 7);
    std::string pieces;
    for (size_t at = 0; at < data.size(); at += kBase64LineInput * 3) {
        AppendBase64(pieces, std::string_view(data).substr(at, kBase64LineInput * 3));
    }
    EXPECT_EQ(pieces, Base64Encode(data));
}

TEST(Mime, QuotedPrintableKeepsLinesShortAndEncodesWhatMustBe) {
    EXPECT_EQ(QuotedPrintableEncode("a=b"), "a=3Db");
    EXPECT_EQ(QuotedPrintableEncode("end \r\ntab\t\r\nmid dle"), "end=20\r\ntab=09\r\nmid dle");
    EXPECT_EQ(QuotedPrintableEncode("\xcf\xf0\r\n"), "=CF=F0\r\n");
    EXPECT_EQ(QuotedPrintableEncode("lone\rcr"), "lone=0Dcr");

    // Long lines get soft breaks; Python's decoder checks the round trip in the mail tests.
    const std::vector<std::string> lines =
        Lines(QuotedPrintableEncode(std::string(100, 'a') + "=" + std::string(100, 'b') + " "));
    ASSERT_GT(lines.size(), 2u);
    for (size_t i = 0; i < lines.size(); ++i) {
        EXPECT_LE(lines[i].size(), 76u) << lines[i];
        if (i + 1 < lines.size()) {
            EXPECT_EQ(lines[i].back(), '=');
        }
    }
    EXPECT_EQ(lines.back().substr(lines.back().size() - 3), "=20");
}

TEST(Mime, EncodedWordsUseTheCharsetWhenTheTextFitsElseUtf8) {
    EXPECT_EQ(QEncodeWords("Привет мир", "windows-1251"),
              "=?windows-1251?Q?=CF=F0=E8=E2=E5=F2_=EC=E8=F0?=");
    EXPECT_EQ(QEncodeWords("Grüße", "iso-8859-1"), "=?iso-8859-1?Q?Gr=FC=DFe?=");
    EXPECT_EQ(QEncodeWords("a,b\"c", "iso-8859-1"), "=?iso-8859-1?Q?a=2Cb=22c?=");
    EXPECT_EQ(QEncodeWords("Привет", "iso-8859-1"),
              "=?UTF-8?Q?=D0=9F=D1=80=D0=B8=D0=B2=D0=B5=D1=82?=");
    EXPECT_EQ(QEncodeWords("x", "no-such-charset"), "=?UTF-8?Q?x?=");
    EXPECT_EQ(QEncodeWords("", "UTF-8"), "");

    // Long texts become several short words; no UTF-8 character is cut between two of them.
    std::string text;
    for (int i = 0; i < 40; ++i) text += "Ж✓";
    const std::vector<std::string> words = Lines(QEncodeWords(text, "UTF-8"));
    ASSERT_GT(words.size(), 3u);
    for (size_t i = 0; i < words.size(); ++i) {
        std::string word = words[i];
        if (i > 0) {
            ASSERT_EQ(word[0], ' ');
            word.erase(0, 1);
        }
        EXPECT_LE(word.size(), 66u);
        ASSERT_EQ(word.substr(0, 10), "=?UTF-8?Q?");
        // Each word starts with a lead byte: Ж is =D0=96, ✓ is =E2=9C=93.
        EXPECT_TRUE(word.substr(10, 3) == "=D0" || word.substr(10, 3) == "=E2") << word;
    }
}

TEST(Mime, DotStuffingAndLineEnds) {
    EXPECT_EQ(DotStuff(".a\r\n.b\r\nc.\r\n..d"), "..a\r\n..b\r\nc.\r\n...d");
    EXPECT_EQ(DotStuff("no dots"), "no dots");
    EXPECT_EQ(NormaliseLineEnds("a\r\nb\rc\nd\r\r\ne\n\n"), "a\r\nb\r\nc\r\nd\r\n\r\ne\r\n\r\n");
}

TEST(Mime, BoundariesAreFreshVersion4Uuids) {
    std::set<std::string> seen;
    for (int i = 0; i < 200; ++i) {
        const std::string uuid = NewUuid();
        ASSERT_EQ(uuid.size(), 36u);
        EXPECT_EQ(uuid[8], '-');
        EXPECT_EQ(uuid[14], '4');
        EXPECT_NE(std::string("89ab").find(uuid[19]), std::string::npos) << uuid;
        seen.insert(uuid);
    }
    EXPECT_EQ(seen.size(), 200u);
}

TEST(Mime, ServerNamesMayCarryAPort) {
    const auto check = [](const char* text, const char* host, int port) {
        const orvik::ServerAddress address = orvik::SplitServerAddress(text, 25);
        EXPECT_EQ(address.Host, host) << text;
        EXPECT_EQ(address.Port, port) << text;
    };
    check("mail.example.com", "mail.example.com", 25);
    check(" mail.example.com:2525 ", "mail.example.com", 2525);
    check("[::1]:2525", "::1", 2525);
    check("[::1]", "::1", 25);
    check("::1", "::1", 25);
    check("host:0", "host:0", 25);
    check("host:http", "host:http", 25);
    check("host:70000", "host:70000", 25);
}

TEST(Mime, MailServersMayBeWrittenAsUrlsWhoseSchemeChoosesThePort) {
    const auto check = [](const char* text, const char* host, int port, const char* scheme) {
        const orvik::ServerAddress address = orvik::ParseMailServer(text);
        EXPECT_EQ(address.Host, host) << text;
        EXPECT_EQ(address.Port, port) << text;
        EXPECT_EQ(address.Scheme, scheme) << text;
    };
    check("mail.example.com", "mail.example.com", 25, "");
    check("mail.example.com:587", "mail.example.com", 587, "");
    check("smtp://mail.example.com", "mail.example.com", 25, "smtp");
    check("SMTP://mail.example.com:587/", "mail.example.com", 587, "smtp");
    check(" smtps://mail.example.com", "mail.example.com", 465, "smtps");
    check("smtps://[::1]:2465", "::1", 2465, "smtps");
    // Not a scheme this program speaks: left for name resolution to refuse.
    check("http://mail.example.com", "http://mail.example.com", 25, "");
    check("smtps://", "", 465, "smtps");
}

TEST(Mime, MailDatesCarryTheZoneOffsetEastOfUtc) {
    const char* saved = std::getenv("TZ");
    const std::string previous = saved ? saved : "";
    const auto dateIn = [](const char* zone, std::time_t when) {
        setenv("TZ", zone, 1);
        tzset();
        return FormatMailDate(when);
    };
    EXPECT_EQ(dateIn("UTC0", 0), "Thu, 1 Jan 1970 00:00:00 +0000");
    EXPECT_EQ(dateIn("IST-5:30", 1709629623), "Tue, 5 Mar 2024 14:37:03 +0530");
    EXPECT_EQ(dateIn("NST+3:30", 0), "Wed, 31 Dec 1969 20:30:00 -0330");
    // Less than an hour west: the sign must not get lost with the zero hours.
    EXPECT_EQ(dateIn("XST+0:30", 0), "Wed, 31 Dec 1969 23:30:00 -0030");
    if (saved) {
        setenv("TZ", previous.c_str(), 1);
    } else {
        unsetenv("TZ");
    }
    tzset();
}

TEST(ZelSMTPMessage, RecipientListsSplitOutsideQuotes) {
    std::vector<CZelSMTPAddress> list{CZelSMTPAddress("stale@example.com")};
    EXPECT_EQ(CZelSMTPMessage::ParseRecipients(
                  "\"Smith, John\" <john@example.com>; ann@example.com,  ,Bob<bob@x.org>;", list),
              3);
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].FriendlyName, "Smith, John");
    EXPECT_EQ(list[0].EmailAddress, "john@example.com");
    EXPECT_EQ(list[1].GetRegularFormat(), "ann@example.com");
    EXPECT_EQ(list[2].GetRegularFormat(), "Bob <bob@x.org>");
    EXPECT_EQ(CZelSMTPMessage::ParseRecipients(" ; ", list), 0);
    EXPECT_TRUE(list.empty());
}

TEST(ZelSMTPMessage, MimeTurnsTheTextIntoAPartAndBodiesAreReplacedNotDoubled) {
    CZelSMTPMessage message;
    message.AddTextBody("before mime");
    EXPECT_THROW(message.AddHTMLBody("<p>x</p>"), std::logic_error);
    message.SetCharset("windows-1251");
    message.SetMime(true);
    CZelSMTPBodyPart& root = message.GetRootPart();
    EXPECT_EQ(root.GetText(), "This is a multi-part message in MIME format");
    EXPECT_EQ(root.GetContentType(), "multipart/mixed");
    ASSERT_EQ(root.GetNumberOfChildBodyParts(), 1u);
    EXPECT_EQ(root.GetChildBodyPart(0).GetText(), "before mime");
    EXPECT_EQ(root.GetChildBodyPart(0).GetCharset(), "windows-1251");

    message.AddHTMLBody("<p>one</p>\n", "http://base/");
    message.AddHTMLBody("<p>two</p>");
    ASSERT_EQ(root.GetNumberOfChildBodyParts(), 2u);
    EXPECT_EQ(root.GetChildBodyPart(1).GetContentType(), "text/html");
    EXPECT_EQ(root.GetChildBodyPart(1).GetText(), "<p>two</p>");
    EXPECT_EQ(root.GetChildBodyPart(1).GetContentBase(), "http://base/");

    EXPECT_EQ(message.AddAttachments(" a.pdf ;b.csv,, "), 2);
    EXPECT_EQ(root.GetChildBodyPart(3).GetFilename(), "b.csv");
    EXPECT_EQ(root.GetChildBodyPart(3).GetTitle(), "b.csv");
}

TEST(ZelSMTPMessage, HeaderFieldsComeInTheirOrder) {
    CZelSMTPMessage message;
    message.From = CZelSMTPAddress("Sender", "from@example.com");
    message.To = {CZelSMTPAddress("a@example.com"), CZelSMTPAddress("b@example.com")};
    message.Cc = {CZelSMTPAddress("c@example.com")};
    message.Bcc = {CZelSMTPAddress("hidden@example.com")};
    message.ReplyTo = CZelSMTPAddress("reply@example.com");
    message.Subject = "Daily";
    message.SetMime(true);
    message.AddTextBody("x");
    const std::string header = message.GetHeader(0);
    const std::vector<std::string> lines = Lines(header);
    std::vector<std::string> names;
    for (const std::string& line : lines) {
        if (!line.empty() && line[0] != ' ') names.push_back(line.substr(0, line.find(':')));
    }
    EXPECT_EQ(names,
              (std::vector<std::string>{"From", "To", "Cc", "Subject", "X-Mailer", "MIME-Version",
                                        "Content-Type", "Reply-To", "Date"}));
    EXPECT_NE(header.find("To: a@example.com,\r\n b@example.com\r\n"), std::string::npos);
    EXPECT_EQ(header.find("hidden"), std::string::npos);
    EXPECT_NE(header.find("Content-Type: multipart/mixed; boundary=\"" +
                          message.GetRootPart().GetBoundary() + "\"\r\n"),
              std::string::npos);

    CZelSMTPMessage plain;
    plain.To = {CZelSMTPAddress("a@example.com")};
    plain.AddTextBody("Grüße");
    EXPECT_NE(plain.GetHeader(0).find("Content-Type: text/plain;\r\n\tcharset=iso-8859-1\r\n"),
              std::string::npos);
}

TEST(ZelSMTPMessage, TheMailerIsTheProgramWithTheVersionItIsBuiltAs) {
    const char* sourceDir = std::getenv("ORVIK_TEST_SOURCE_DIR");
    ASSERT_NE(sourceDir, nullptr);
    const std::string cmake =
        orvik::test::ReadFileBytes(std::string(sourceDir) + "/CMakeLists.txt");
    std::smatch version;
    ASSERT_TRUE(
        std::regex_search(cmake, version, std::regex(R"(project\(Orvik VERSION ([0-9.]+))")));

    CZelSMTPMessage message;
    message.To = {CZelSMTPAddress("a@example.com")};
    EXPECT_NE(message.GetHeader(0).find("\r\nX-Mailer: Orvik " + version[1].str() + "\r\n"),
              std::string::npos)
        << message.GetHeader(0);
    message.XMailer.clear();
    EXPECT_EQ(message.GetHeader(0).find("X-Mailer"), std::string::npos);
}

TEST(ZelSMTPMessage, MimeHeaderLinesAreFoldedOnlyPastTheLimitOfAMailLine) {
    const auto lines = [](std::string_view field) {
        std::string out;
        CZelSMTPBodyPart::AppendHeaderLine(out, field);
        EXPECT_EQ(out.substr(out.size() - 2), "\r\n");
        return Lines(out.substr(0, out.size() - 2));
    };
    const std::string value(100, 'v');
    EXPECT_EQ(lines("Content-Type: text/html; name=\"" + value + "\""),
              std::vector<std::string>{"Content-Type: text/html; name=\"" + value + "\""});
    // Exactly 998 characters is still one line.
    std::string full = "X-Long: ";
    while (full.size() < 998) full += full.size() % 10 == 9 ? ' ' : 'a';
    ASSERT_EQ(full.size(), 998u);
    EXPECT_EQ(lines(full), std::vector<std::string>{full});

    // Longer: broken at the last blank that keeps a line within 998, and no text lost.
    std::string words = "Content-Location: ";
    while (words.size() < 2600) words += "word" + std::to_string(words.size()) + " ";
    const std::vector<std::string> folded = lines(words);
    ASSERT_GE(folded.size(), 3u);
    std::string unfolded;
    for (size_t i = 0; i < folded.size(); ++i) {
        EXPECT_LE(folded[i].size(), 998u);
        if (i > 0) {
            EXPECT_EQ(folded[i][0], ' ');
        }
        if (i + 1 < folded.size()) {
            // The next word would not have fitted.
            EXPECT_GT(folded[i].size() + folded[i + 1].find(' ', 1), 998u) << i;
        }
        unfolded += folded[i];
    }
    EXPECT_EQ(unfolded, words);

    // Without a blank past the field name nothing can be folded; lines already folded stay so.
    const std::string solid = "Content-Base: " + std::string(1200, 'u');
    EXPECT_EQ(lines(solid), std::vector<std::string>{solid});
    // A first blank beyond the limit is still the place to break: a long line beats a lost one.
    EXPECT_EQ(lines(solid + " tail"), (std::vector<std::string>{solid, " tail"}));
    EXPECT_EQ(lines("A: b\r\n c"), (std::vector<std::string>{"A: b", " c"}));
}

TEST(ZelSMTPMessage, TheTopLevelTypeAndPlainAttachmentNamesAreWrittenWhole) {
    orvik::test::TempDir folder;
    const std::string name = "a-long-but-plain-attachment-name-for-the-monthly-report.pdf";
    CZelSMTPMessage message;
    message.SetMime(true);
    message.AddHTMLBody("<p>x</p>");
    message.AddAttachments(folder.Write(name, "%PDF"));
    message.AddAttachments(folder.Write("Отчёт о продажах за первый квартал.pdf", "%PDF"));
    message.SetContentType("multipart/alternative");
    EXPECT_NE(message.GetHeader(0).find("\r\nMIME-Version: 1.0\r\nContent-Type: "
                                        "multipart/alternative; boundary=\"" +
                                        message.GetRootPart().GetBoundary() + "\"\r\n"),
              std::string::npos);

    std::string body;
    message.GetRootPart().Write([&](std::string_view piece) { body.append(piece); });
    EXPECT_NE(body.find("\r\n\r\n--" + message.GetRootPart().GetBoundary() +
                        "\r\nContent-Type: application/octet-stream; name=\"" + name +
                        "\"\r\nContent-Transfer-Encoding: base64\r\n"
                        "Content-Disposition: attachment; filename=\"" +
                        name + "\"\r\n\r\n"),
              std::string::npos)
        << body;
    // A name that travels as encoded words keeps its lines short, as such lines must.
    const size_t encoded = body.find("name=\"=?");
    ASSERT_NE(encoded, std::string::npos);
    for (const std::string& line : Lines(body.substr(body.rfind("\r\n", encoded)))) {
        EXPECT_LE(line.size(), 78u) << line;
    }
}

}  // namespace
