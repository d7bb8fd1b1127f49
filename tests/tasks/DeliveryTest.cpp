#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "TestSupport.h"
#include "core/Paths.h"
#include "core/TextEncoding.h"
#include "core/Version.h"
#include "model/Registries.h"
#include "model/Report.h"
#include "net/NetPeers.h"
#include "net/ZelSMTPException.h"
#include "persist/ReportLifecycle.h"
#include "tasks/Delivery.h"
#include "tasks/HtmlExport.h"

namespace orvik {
namespace {

namespace fs = std::filesystem;
using test::Hex;

class DeliveryTest : public ::testing::Test {
  protected:
    DeliveryTest() {
        Report().StartNew();
        auto prm = std::make_unique<COvInfoPrm>(&program.Context().Registries(), GroupId::Param);
        prm->Name.Value = "Region";
        prm->PrmVal.Value = "Север";
        prm->PrmVal.Caption = "Region";
        Report().ReportObject->Props.push_back(&prm->PrmVal);
        Report().Params.push_back(std::move(prm));
    }

    CReport& Report() { return program.Context().Report(); }
    std::string HtmlFolder() { return program.Context().Registries().HtmlFolder; }

    std::string Write(const std::string& name, const std::string& bytes) {
        const std::string path = HtmlFolder() + name;
        fs::create_directories(fs::path(path).parent_path());
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }

    COvInfoAct& Step(const char* type) {
        Report().Tasks.push_back(
            std::make_unique<COvInfoAct>(&program.Context().Registries(), GroupId::Task));
        COvInfoAct& step = *Report().Tasks.back();
        step.Name.Value = "Daily";
        step.AType.Value = type;
        program.Context().Registries().PrepareNewCombo(step.AType, step.Props, true);
        return step;
    }

    // The messages the sink received, in order.
    std::vector<std::map<std::string, std::string>> Received() {
        std::vector<std::string> files;
        for (const auto& entry : fs::directory_iterator(mailbox.Path())) {
            if (entry.path().extension() == ".eml") files.push_back(entry.path().string());
        }
        std::sort(files.begin(), files.end());
        std::vector<std::map<std::string, std::string>> messages;
        for (const std::string& file : files) messages.push_back(test::MimeSummary(file));
        return messages;
    }

    std::string Envelope(int number) {
        std::string text;
        char name[16];
        std::snprintf(name, sizeof name, "%03d.json", number);
        ReadWholeFile(mailbox.Path() + name, text);
        return text;
    }

    test::TestProgram program;
    test::TempDir mailbox;
};

// Both pictures hold LF bytes: an upload in ASCII mode would turn them into CR LF, so a byte-exact
// comparison proves the binary mode.
const std::string kGif = std::string("GIF89a\x0a\x00\x01\x00\x00\x00\x00;", 13);
const std::string kPng = std::string("\x89PNG\r\n\x1a\n\0\0\0\0IEND", 16);

TEST_F(DeliveryTest, MailCarriesPicturesInlineOnceAndFilesAttached) {
    test::PeerProcess sink("smtp_sink.py", {mailbox.Path()});
    ASSERT_TRUE(sink.Started()) << sink.Problem();
    Write("img/logo.gif", kGif);
    Write("chart.png", kPng);
    Write("att1.txt", "first\n");
    Write("att2.txt", "second\n");
    program.Context().Page.Text =
        "<HTML><HEAD><META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; CHARSET=windows-1251\">"
        "</HEAD><BODY><IMG src=\"img/logo.gif\"><P>Север</P><IMG src=\"img/logo.gif\">"
        "<TABLE><TR><TD background=\"chart.png\">x</TD></TR></TABLE></BODY></HTML>";
    program.Context().Registries().FindSetting("DefAdrFrom")->Value = "reports@example.org";
    COvInfoAct& step = Step("SMTP");
    step.GetPropByName("Srv")->Value = sink.Address();
    step.GetPropByName("Adr")->Value = "boss@example.org;ann@example.org; ;bob@example.org";
    step.GetPropByName("Subj")->Value = "Sales `Region";
    step.GetPropByName("Files")->Value = "att*.txt";
    SendExport(program.Context(), step);

    const auto messages = Received();
    ASSERT_EQ(messages.size(), 1u);
    auto m = messages[0];
    EXPECT_EQ(m["defects"], "0");
    EXPECT_EQ(m["part.0.content_type"], "multipart/alternative");
    EXPECT_EQ(m["addresses.To"], "boss@example.org");
    EXPECT_EQ(m["addresses.Cc"], "ann@example.org,bob@example.org");
    EXPECT_EQ(m["decoded.Subject"], "Sales Север");
    EXPECT_EQ(m["header.X-Mailer"], std::string("Orvik ") + kOrvikVersion);
    EXPECT_NE(Envelope(1).find("reports@example.org"), std::string::npos);
    // One inline part per distinct picture, the page pointing at them by content id.
    std::string html, ids, attachments;
    for (int i = 1; m.count("part." + std::to_string(i) + ".content_type"); ++i) {
        const std::string key = "part." + std::to_string(i) + ".";
        if (m[key + "content_type"] == "text/html") html = m[key + "text"];
        if (!m[key + "content_id"].empty())
            ids += m[key + "content_id"] + "=" + m[key + "hex"] + ";";
        if (m[key + "content_type"] == "text/plain" || m[key + "filename"].rfind("att", 0) == 0) {
            attachments += m[key + "filename"] + ":" + m[key + "hex"] + m[key + "text"] + ";";
        }
    }
    EXPECT_NE(html.find("<IMG src=\"cid:OrvikID0\"><P>Север</P><IMG src=\"cid:OrvikID0\">"),
              std::string::npos)
        << html;
    EXPECT_NE(html.find("background=\"cid:OrvikID1\""), std::string::npos);
    EXPECT_NE(ids.find("OrvikID0>=4749463839"), std::string::npos) << ids;  // the GIF's bytes
    EXPECT_NE(ids.find("OrvikID1>=89504e47"), std::string::npos) << ids;
    EXPECT_NE(attachments.find("att1.txt:"), std::string::npos) << attachments;
    EXPECT_NE(attachments.find("att2.txt:"), std::string::npos) << attachments;
    EXPECT_NE(program.ReadLog().find("Zel Sended Mail Sales Север <"), std::string::npos);
    EXPECT_TRUE(fs::exists(HtmlFolder() + "att1.txt"));  // a list of files is kept
}

TEST_F(DeliveryTest, PlainPagesFilesInPlaceOfContentAndThePlaceholderSender) {
    test::PeerProcess sink("smtp_sink.py", {mailbox.Path()});
    ASSERT_TRUE(sink.Started()) << sink.Problem();
    program.Context().Page.Text = "<HTML><BODY>no pictures</BODY></HTML>";
    COvInfoAct& plain = Step("SMTP");
    plain.GetPropByName("Srv")->Value = sink.Address();
    plain.GetPropByName("Adr")->Value = "a@example.org, b@example.org";
    SendExport(program.Context(), plain);

    const std::string csv = Write("report.csv", "a;b\n1;2\n");
    COvInfoAct& file = Step("SMTP");
    file.GetPropByName("Srv")->Value = sink.Address();
    file.GetPropByName("Adr")->Value = "a@example.org";
    file.GetPropByName("Cont")->Value = "file = report.csv";
    SendExport(program.Context(), file);

    auto messages = Received();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0]["part.0.content_type"], "multipart/mixed");
    EXPECT_EQ(messages[0]["addresses.To"], "a@example.org,b@example.org");
    EXPECT_EQ(messages[0]["part.1.content_type"], "text/html");
    EXPECT_NE(messages[0]["decoded.Subject"].find("Daily '"), std::string::npos);
    EXPECT_NE(Envelope(1).find("orvik-report@localhost.localdomain"), std::string::npos);
    EXPECT_NE(
        program.ReadLog().find("Error SendMail: no From Adres! to a@example.org, b@example.org"),
        std::string::npos);
    // The file named in place of content is attached and then removed.
    bool attached = false;
    for (const auto& [key, value] : messages[1]) attached |= value == "report.csv";
    EXPECT_TRUE(attached);
    EXPECT_FALSE(fs::exists(csv));
}

// The parts of a received message, as content type or file name -> decoded text or hex bytes.
std::map<std::string, std::string> PartsByName(std::map<std::string, std::string>& m) {
    std::map<std::string, std::string> parts;
    for (int i = 1; m.count("part." + std::to_string(i) + ".content_type"); ++i) {
        const std::string key = "part." + std::to_string(i) + ".";
        const std::string name = !m[key + "content_id"].empty() ? m[key + "content_id"]
                                 : !m[key + "filename"].empty() ? m[key + "filename"]
                                                                : m[key + "content_type"];
        parts[name] = m[key + "text"] + m[key + "hex"];
    }
    return parts;
}

// Every part of a received message, the root included, as PartsByName names them.
std::map<std::string, std::string> AllParts(std::map<std::string, std::string>& m) {
    std::map<std::string, std::string> parts = PartsByName(m);
    parts[m["part.0.content_type"]] += m["part.0.text"] + m["part.0.hex"];
    return parts;
}

TEST_F(DeliveryTest, OnlyLocalPicturesGoInlineAndASenderMayCarryAName) {
    test::PeerProcess sink("smtp_sink.py", {mailbox.Path()});
    ASSERT_TRUE(sink.Started()) << sink.Problem();
    test::TempDir elsewhere;  // outside the HTML folder: reached by an absolute file URL
    elsewhere.Write("pé x.gif", kGif);
    // Pictures go out only from the report's folders and those the setting names.
    program.Context().Registries().FindSetting("PictureFolders")->Value = elsewhere.Path();
    const std::string fileUrl = "file://" + elsewhere.Path() + "p%C3%A9%20x.gif";
    Write("img/chart.png", kPng);
    program.Context().Page.Text =
        "<HTML><BODY><IMG src=\"http://cdn.example.org/logo.png\"><IMG src=\"" + fileUrl +
        "\"><IMG src=\"img/chart.png\"><IMG src=\"data:image/gif;base64,R0lGODlh\">"
        "<IMG src=\"cid:kept@example.org\"><IMG src=\"//cdn.example.org/x.gif\">"
        "<TABLE><TR><TD background=\"HTTPS://cdn.example.org/bg.png\">x</TD></TR></TABLE>"
        "</BODY></HTML>";
    program.Context().Registries().FindSetting("DefAdrFrom")->Value =
        "Reports <reports@example.org>";
    COvInfoAct& step = Step("SMTP");
    step.GetPropByName("Srv")->Value = sink.Address();
    step.GetPropByName("Adr")->Value = "boss@example.org";
    SendExport(program.Context(), step);

    auto messages = Received();
    ASSERT_EQ(messages.size(), 1u);
    auto& m = messages[0];
    EXPECT_EQ(m["defects"], "0");
    EXPECT_EQ(m["names.From"], "Reports");
    EXPECT_EQ(m["addresses.From"], "reports@example.org");
    EXPECT_NE(Envelope(1).find("\"mail_from\": \"reports@example.org\""), std::string::npos);
    EXPECT_EQ(m["part.0.content_type"], "multipart/alternative");
    auto parts = PartsByName(m);
    const std::string html = parts["text/html"];
    EXPECT_NE(html.find("<IMG src=\"http://cdn.example.org/logo.png\"><IMG src=\"cid:OrvikID0\">"
                        "<IMG src=\"cid:OrvikID1\"><IMG src=\"data:image/gif;base64,R0lGODlh\">"
                        "<IMG src=\"cid:kept@example.org\"><IMG src=\"//cdn.example.org/x.gif\">"),
              std::string::npos)
        << html;
    EXPECT_NE(html.find("background=\"HTTPS://cdn.example.org/bg.png\""), std::string::npos);
    // Two inline parts, and nothing for the addresses that are not files here.
    EXPECT_EQ(parts["<OrvikID0>"], Hex(kGif));
    EXPECT_EQ(parts["<OrvikID1>"], Hex(kPng));
    EXPECT_EQ(parts.size(), 3u);
    EXPECT_EQ(program.Context().ErrorCount(), 0);
}

// A mail that names a file it does not carry is not sent: the step fails naming the file. A step
// that says missing files are optional sends the others and logs what it left out.
TEST_F(DeliveryTest, AMissingAttachmentStopsTheMailUnlessMissingFilesAreOptional) {
    test::PeerProcess sink("smtp_sink.py", {mailbox.Path()});
    ASSERT_TRUE(sink.Started()) << sink.Problem();
    const std::string sales = Write("Sales, March.csv", "region;amount\n");
    const std::string notes = Write("notes.txt", "kept\n");
    Write("later.txt", "second\n");
    program.Context().Page.Text = "<HTML><BODY>see the files</BODY></HTML>";
    COvInfoAct& step = Step("SMTP");
    step.GetPropByName("Srv")->Value = sink.Address();
    step.GetPropByName("Adr")->Value = "boss@example.org";
    // Every relative entry lies in the work folder, the last as much as the first.
    step.GetPropByName("Files")->Value = "Sales, March.csv;" + HtmlFolder() + "gone.pdf; " + notes +
                                         ";" + HtmlFolder() + "none*.xls;later.txt";
    SendExport(program.Context(), step);
    EXPECT_TRUE(Received().empty());
    EXPECT_EQ(program.Context().ErrorCount(), 1);
    ASSERT_EQ(program.Front().Messages.size(), 1u);
    EXPECT_EQ(program.Front().Messages[0].Text,
              "Error: the mail to boss@example.org was not sent: the attachments '" + HtmlFolder() +
                  "gone.pdf', '" + HtmlFolder() +
                  "none*.xls' are missing (MissingFilesOptional=1 would send it without)");
    EXPECT_EQ(program.ReadLog().find("Zel Sended Mail"), std::string::npos);

    step.GetPropByName("MissingFilesOptional")->Value = "1";
    SendExport(program.Context(), step);
    auto messages = Received();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0]["defects"], "0");
    auto parts = PartsByName(messages[0]);
    EXPECT_EQ(parts["Sales, March.csv"], Hex("region;amount\n"));
    EXPECT_EQ(parts["notes.txt"], Hex("kept\n"));
    EXPECT_EQ(parts["later.txt"], Hex("second\n"));
    EXPECT_EQ(parts.count("text/plain"), 0u);
    EXPECT_EQ(program.Context().ErrorCount(), 1);
    const std::string log = program.ReadLog();
    EXPECT_NE(
        log.find("Mail to boss@example.org: the missing attachments '" + HtmlFolder() +
                 "gone.pdf', '" + HtmlFolder() + "none*.xls' are left out (MissingFilesOptional)"),
        std::string::npos)
        << log;
    // The log names what went out, not what was asked for.
    EXPECT_NE(log.find("<" + sales + ";" + notes + ";" + HtmlFolder() + "later.txt> to boss"),
              std::string::npos)
        << log;
    // A list is not a file made for this mail: everything stays.
    EXPECT_TRUE(fs::exists(sales));
    EXPECT_TRUE(fs::exists(notes));
}

// The file names attached to a received message.
std::string AttachedNames(std::map<std::string, std::string>& m) {
    std::string names;
    for (int i = 1; m.count("part." + std::to_string(i) + ".content_type"); ++i) {
        const std::string name = m["part." + std::to_string(i) + ".filename"];
        if (!name.empty()) names += name + ";";
    }
    return names;
}

// Text the page's declared set cannot hold ("Café" in windows-1251, Cyrillic in iso-8859-1, an
// emoji in any of them) reaches the reader whole in the subject, the sender's name, the page and
// the file name, and the page then declares the set its part travels in.
TEST_F(DeliveryTest, CharactersTheDeclaredSetCannotHoldArriveWhole) {
    test::PeerProcess sink("smtp_sink.py", {mailbox.Path()});
    ASSERT_TRUE(sink.Started()) << sink.Problem();
    const std::string text = "Café Привет 🎉 ü";
    program.Context().Registries().FindSetting("DefAdrFrom")->Value =
        "Отчёты Café 📊 <reports@example.org>";
    test::TempDir own;  // a user's file: not removed after the first mail
    const std::string file = own.Write("Café 📊.csv", "a;b\n");
    const std::vector<std::string> charsets = {"windows-1251", "iso-8859-1", "koi8-r", "utf-8",
                                               "x-unknown-set"};
    for (const std::string& charset : charsets) {
        program.Context().Page.Text =
            "<HTML><HEAD><META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; "
            "CHARSET=" +
            charset + "\"></HEAD><BODY><P>" + text + "</P></BODY></HTML>";
        COvInfoAct& step = Step("SMTP");
        step.GetPropByName("Srv")->Value = sink.Address();
        step.GetPropByName("Adr")->Value = "boss@example.org";
        step.GetPropByName("Subj")->Value = "Sales " + text;
        step.GetPropByName("Files")->Value = file;
        SendExport(program.Context(), step);
    }
    auto messages = Received();
    ASSERT_EQ(messages.size(), charsets.size()) << program.ReadLog();
    for (auto& m : messages) {
        EXPECT_EQ(m["defects"], "0");
        EXPECT_EQ(m["decoded.Subject"], "Sales " + text);
        EXPECT_EQ(m["decoded.From"], "Отчёты Café 📊 <reports@example.org>");
        std::string html, charset;
        for (int i = 1; m.count("part." + std::to_string(i) + ".content_type"); ++i) {
            const std::string key = "part." + std::to_string(i) + ".";
            if (m[key + "content_type"] == "text/html") {
                html = m[key + "text"];
                charset = m[key + "charset"];
            }
        }
        EXPECT_NE(html.find("<P>" + text + "</P>"), std::string::npos) << html;
        EXPECT_EQ(charset, "utf-8");
        EXPECT_NE(ToUpperAscii(html).find("CHARSET=" + ToUpperAscii(charset)), std::string::npos)
            << html;
        EXPECT_EQ(AttachedNames(m), "Café 📊.csv;");
    }
    EXPECT_EQ(program.Context().ErrorCount(), 0) << program.ReadLog();
}

TEST_F(DeliveryTest, AUserFileSentByMailIsKeptHoweverItIsNamed) {
    test::PeerProcess sink("smtp_sink.py", {mailbox.Path()});
    ASSERT_TRUE(sink.Started()) << sink.Problem();
    test::TempDir srv;
    const std::string price = srv.Write("price-list.pdf", "%PDF-1.4 prices\n");
    const std::string own = program.Home().Path() + "own.csv";  // beside the work folder
    std::ofstream(own) << "a;b\n";
    fs::create_symlink(price, HtmlFolder() + "link.pdf");
    fs::create_directory_symlink(srv.Path(), HtmlFolder() + "shared");
    program.Context().Page.Text = "<HTML><BODY>today's prices</BODY></HTML>";
    const auto send = [&](const char* property, const std::string& value) {
        COvInfoAct& step = Step("SMTP");
        step.GetPropByName("Srv")->Value = sink.Address();
        step.GetPropByName("Adr")->Value = "shop@example.org";
        step.GetPropByName(property)->Value = value;
        SendExport(program.Context(), step);
    };
    send("Files", price);                          // the report that mails a price list daily
    send("Files", srv.Path() + "*.pdf");           // a pattern that finds just that file
    send("Cont", "file = " + price);               // in place of the page
    send("Cont", "file = ../own.csv");             // out of the work folder by ".."
    send("Cont", "file = link.pdf");               // a link in the work folder to the file
    send("Cont", "file = shared/price-list.pdf");  // through a linked folder

    auto messages = Received();
    ASSERT_EQ(messages.size(), 6u);
    const std::vector<std::string> expected = {"price-list.pdf;", "price-list.pdf;",
                                               "price-list.pdf;", "own.csv;",
                                               "link.pdf;",       "price-list.pdf;"};
    for (size_t i = 0; i < messages.size(); ++i) {
        EXPECT_EQ(AttachedNames(messages[i]), expected[i]) << "message " << i + 1;
    }
    EXPECT_EQ(test::ReadFileBytes(price), "%PDF-1.4 prices\n");
    EXPECT_EQ(test::ReadFileBytes(own), "a;b\n");
    EXPECT_TRUE(fs::is_symlink(HtmlFolder() + "link.pdf"));  // the link stays with its target
    EXPECT_EQ(program.Context().ErrorCount(), 0);
}

TEST_F(DeliveryTest, AFileTheProgramMadeForTheMailIsRemovedAfterIt) {
    test::PeerProcess sink("smtp_sink.py", {mailbox.Path()});
    ASSERT_TRUE(sink.Started()) << sink.Problem();
    const auto send = [&](const std::string& content) {
        COvInfoAct& step = Step("SMTP");
        step.GetPropByName("Srv")->Value = sink.Address();
        step.GetPropByName("Adr")->Value = "boss@example.org";
        step.GetPropByName("Cont")->Value = content;
        SendExport(program.Context(), step);
    };
    // The page an HTML file export left in the work folder goes as the attachment.
    Report().NewSheet("Empty");
    ASSERT_EQ(DoExport(program.Context(), Step("HTMFile")), 1);
    ASSERT_TRUE(fs::exists(PageFilePath(program.Context())));
    send("");
    // A file an export wrote outside the work folder for this report counts as made here too.
    test::TempDir elsewhere;
    const std::string made = elsewhere.Path() + "made.htm";
    UxWriteFile(program.Context(), made, "<HTML><BODY>made</BODY></HTML>");
    send("file = " + made);
    // One written for the report before this one does not.
    const std::string earlier = elsewhere.Path() + "earlier.htm";
    UxWriteFile(program.Context(), earlier, "<HTML><BODY>earlier</BODY></HTML>");
    ASSERT_TRUE(InitOVK(program.Context()));
    send("file = " + earlier);

    auto messages = Received();
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_EQ(AttachedNames(messages[0]), "Orvik.htm;");
    EXPECT_EQ(AttachedNames(messages[1]), "made.htm;");
    EXPECT_EQ(AttachedNames(messages[2]), "earlier.htm;");
    EXPECT_FALSE(fs::exists(PageFilePath(program.Context())));
    EXPECT_FALSE(fs::exists(made));
    EXPECT_TRUE(fs::exists(earlier));
}

TEST_F(DeliveryTest, MissingServerOrRecipientsSendNothingAndServerErrorsEndTheStep) {
    COvInfoAct& noServer = Step("SMTP");
    SendExport(program.Context(), noServer);
    COvInfoAct& noRecipients = Step("SMTP");
    noRecipients.GetPropByName("Srv")->Value = "127.0.0.1:1";
    SendExport(program.Context(), noRecipients);
    ASSERT_EQ(program.Front().Messages.size(), 2u);
    EXPECT_EQ(program.Front().Messages[0].Text, "Error: SendExport Empty ExportServer !");
    EXPECT_EQ(program.Front().Messages[1].Text, "Error: SendExport Empty ExportAdres !");
    EXPECT_EQ(program.Context().ErrorCount(), 2);

    program.Context().Page.Text = "<HTML><BODY>page</BODY></HTML>";
    COvInfoAct& refused = Step("SMTP");
    refused.GetPropByName("Srv")->Value = "127.0.0.1:1";  // nothing listens there
    refused.GetPropByName("Adr")->Value = "a@example.org";
    // Not handled here: the error ends the run in order, one level up.
    EXPECT_THROW(SendExport(program.Context(), refused), std::runtime_error);
}

TEST_F(DeliveryTest, FtpUploadsThePageWithItsPicturesByBareName) {
    test::TempDir root;
    test::PeerProcess server("ftp_server.py", {root.Path()});
    ASSERT_TRUE(server.Started()) << server.Problem();
    Write("img/logo.gif", kGif);
    Write("photo.bmp", "BMbitmap\n");
    const std::string jpg = std::string("\xFF\xD8\xFF\xE0\n\r\n\x00JFIF\n", 13);
    Write("shot.jpg", jpg);
    program.Context().Page.Text =
        "<HTML><BODY><IMG src=\"img/logo.gif\"><IMG src=\"photo.bmp\"><IMG src=\"shot.jpg\">"
        "</BODY></HTML>";
    COvInfoAct& step = Step("FTP");
    step.GetPropByName("Srv")->Value = server.Address();
    step.GetPropByName("User")->Value = "orvik";
    step.GetPropByName("Password")->Value = "secret";
    SendExport(program.Context(), step);

    std::string page, gif, bmp, shot;
    ReadWholeFile(root.Path() + "orvik/Orvik.htm", page);
    ReadWholeFile(root.Path() + "orvik/logo.gif", gif);
    ReadWholeFile(root.Path() + "orvik/photo.bmp", bmp);
    ReadWholeFile(root.Path() + "orvik/shot.jpg", shot);
    EXPECT_NE(page.find("<IMG src=\"logo.gif\"><IMG src=\"photo.bmp\"><IMG src=\"shot.jpg\">"),
              std::string::npos)
        << page;
    EXPECT_EQ(gif, kGif);            // binary
    EXPECT_EQ(shot, jpg);            // binary
    EXPECT_EQ(bmp, "BMbitmap\r\n");  // ASCII: the line end went over the wire as CR LF
    ASSERT_FALSE(program.Front().Messages.empty());
    EXPECT_EQ(program.Front().Messages.back().Text.rfind(
                  "FTP UpLoad to '" + server.Address() + "' files:'", 0),
              0u);
    EXPECT_EQ(program.Context().ErrorCount(), 0);
    EXPECT_EQ(program.ReadLog().find("secret"), std::string::npos);

    COvInfoAct& wrong = Step("FTP");
    wrong.GetPropByName("Srv")->Value = server.Address();
    wrong.GetPropByName("User")->Value = "orvik";
    wrong.GetPropByName("Password")->Value = "wrong";
    wrong.GetPropByName("Files")->Value = "img/logo.gif";
    SendExport(program.Context(), wrong);
    EXPECT_EQ(program.Front().Messages.back().Text.rfind(
                  "Error FTP UpLoad of file '" + HtmlFolder() + "img/logo.gif'\n'", 0),
              0u)
        << program.Front().Messages.back().Text;
    EXPECT_EQ(program.Context().ErrorCount(), 1);
}

TEST_F(DeliveryTest, FtpAfterAnHtmlFileExportUploadsThatPageAndOnlyItsLocalPictures) {
    test::TempDir root;
    test::PeerProcess server("ftp_server.py", {root.Path()});
    ASSERT_TRUE(server.Started()) << server.Problem();
    test::TempDir elsewhere;
    elsewhere.Write("chart 1.png", kPng);
    program.Context().Registries().FindSetting("PictureFolders")->Value =
        "/nonexistent; " + elsewhere.Path();
    Write("img/logo.gif", kGif);
    Report().NewSheet("Empty");
    Report().ReportObject->GetPropByName("HTMLayout")->Value =
        "<HTML><HEAD><META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; "
        "CHARSET=windows-1251\"></HEAD><BODY><P>Отчёт</P>"
        "<IMG src=\"https://cdn.example.org/logo.png\"><IMG src=\"file://" +
        elsewhere.Path() +
        "chart%201.png\"><TABLE><TR><TD background=\"img/logo.gif\">x</TD>"
        "</TR></TABLE><DIV id=OrvikParam0></DIV></BODY></HTML>";
    ASSERT_EQ(DoExport(program.Context(), Step("HTMFile")), 1);
    ASSERT_TRUE(program.Context().Page.Text.empty());

    COvInfoAct& step = Step("FTP");
    step.GetPropByName("Srv")->Value = server.Address();
    step.GetPropByName("User")->Value = "orvik";
    step.GetPropByName("Password")->Value = "secret";
    SendExport(program.Context(), step);

    std::string bytes, png, gif;
    ReadWholeFile(root.Path() + "orvik/Orvik.htm", bytes);
    const std::string page = Cp1251ToUtf8(bytes);
    EXPECT_NE(page.find("<P>Отчёт</P><IMG src=\"https://cdn.example.org/logo.png\">"
                        "<IMG src=\"chart 1.png\"><TABLE><TR><TD background=\"logo.gif\">"),
              std::string::npos)
        << page;
    EXPECT_NE(page.find("Север"), std::string::npos);  // the parameter panel the export placed
    ReadWholeFile(root.Path() + "orvik/chart 1.png", png);
    ReadWholeFile(root.Path() + "orvik/logo.gif", gif);
    EXPECT_EQ(png, kPng);
    EXPECT_EQ(gif, kGif);
    EXPECT_FALSE(fs::exists(root.Path() + "orvik/logo.png"));
    EXPECT_EQ(program.Context().ErrorCount(), 0);

    // Without the page file there is nothing to upload, and that is an error, not a blank page.
    fs::remove(HtmlFolder() + "Orvik.htm");
    SendExport(program.Context(), step);
    ASSERT_FALSE(program.Front().Messages.empty());
    EXPECT_EQ(program.Front().Messages.back().Text, "Error FTP UpLoad of file '" + HtmlFolder() +
                                                        "Orvik.htm'\n'No such file or directory'");
    EXPECT_EQ(program.Context().ErrorCount(), 1);
    std::string kept;
    ReadWholeFile(root.Path() + "orvik/Orvik.htm", kept);
    EXPECT_EQ(kept, bytes);
}

}  // namespace
}  // namespace orvik

namespace orvik {
namespace {

// A page can name any file as a picture, a database value `<img src="/etc/...">` included: only
// pictures from the report's own folders and those the setting names are sent; any other stays
// a link, and the log says why.
TEST_F(DeliveryTest, PicturesOutsideTheAllowedFoldersAreNotSent) {
    test::PeerProcess sink("smtp_sink.py", {mailbox.Path()});
    ASSERT_TRUE(sink.Started()) << sink.Problem();
    test::TempDir outside;
    const std::string secret = outside.Write("secret.gif", kGif);
    Write("inside.png", kPng);
    // A link from the work folder to the outside file is outside too.
    std::filesystem::create_symlink(secret, HtmlFolder() + "link.gif");
    program.Context().Page.Text = "<HTML><BODY><IMG src=\"" + secret +
                                  "\"><IMG src=\"inside.png\">"
                                  "<IMG src=\"link.gif\"><IMG src=\"../../../../../../.." +
                                  secret + "\"></BODY></HTML>";
    program.Context().Registries().FindSetting("DefAdrFrom")->Value = "reports@example.org";
    COvInfoAct& step = Step("SMTP");
    step.GetPropByName("Srv")->Value = sink.Address();
    step.GetPropByName("Adr")->Value = "boss@example.org";
    SendExport(program.Context(), step);

    auto messages = Received();
    ASSERT_EQ(messages.size(), 1u) << program.ReadLog();
    auto parts = AllParts(messages[0]);
    const std::string& html = parts["text/html"];
    EXPECT_NE(html.find("<IMG src=\"" + secret +
                        "\"><IMG src=\"cid:OrvikID0\">"
                        "<IMG src=\"link.gif\">"),
              std::string::npos)
        << html;
    EXPECT_EQ(parts["<OrvikID0>"], Hex(kPng));
    EXPECT_EQ(parts.count("<OrvikID1>"), 0u) << "the outside file went out";
    EXPECT_NE(program.ReadLog().find("Picture '" + secret + "' is outside the folders"),
              std::string::npos)
        << program.ReadLog();
}

// A server that accepted the message and then hangs up instead of answering QUIT has the mail:
// the step succeeds with a warning, so that no retry sends the mail a second time.
TEST_F(DeliveryTest, AMailAcceptedButNotSaidGoodbyeToCountsAsSent) {
    const std::string log = mailbox.Path() + "session.log";
    test::PeerProcess server(
        "scripted_server.py",
        {log, "send:220 ready\\r\\n", "recv", "send:250 hello\\r\\n", "recv",
         "send:250 sender ok\\r\\n", "recv", "send:250 recipient ok\\r\\n", "recv",
         "send:354 go ahead\\r\\n", "recvdata", "send:250 queued as 42\\r\\n", "recv", "close"});
    ASSERT_TRUE(server.Started()) << server.Problem();
    program.Context().Page.Text = "<HTML><BODY><P>page</P></BODY></HTML>";
    program.Context().Registries().FindSetting("DefAdrFrom")->Value = "reports@example.org";
    COvInfoAct& step = Step("SMTP");
    step.GetPropByName("Srv")->Value = server.Address();
    step.GetPropByName("Adr")->Value = "boss@example.org";
    EXPECT_NO_THROW(SendExport(program.Context(), step));
    EXPECT_EQ(program.Context().ErrorCount(), 0) << program.ReadLog();
    EXPECT_NE(program.ReadLog().find("Zel Sended Mail"), std::string::npos);
    EXPECT_NE(program.ReadLog().find("Warning: the mail was sent, but the server did not close"),
              std::string::npos)
        << program.ReadLog();
    EXPECT_TRUE(server.WaitForExit(5000));
    EXPECT_NE(test::ReadFileBytes(log).find("\r\n.\r\nQUIT\r\n"), std::string::npos);
}

// A run that wrote its page straight to the file keeps no page text; the mail step still sends
// the page itself as the mail's HTML, read back from that file, not as an attachment.
TEST_F(DeliveryTest, APageWrittenStraightToItsFileIsMailedAsThePage) {
    test::PeerProcess sink("smtp_sink.py", {mailbox.Path()});
    ASSERT_TRUE(sink.Started()) << sink.Problem();
    const std::string page =
        "<HTML><HEAD><META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; CHARSET=windows-1251\">"
        "</HEAD><BODY><P>Север: 42</P></BODY></HTML>";
    Write("Orvik.htm", *Utf8ToCp1251(page));
    program.Context().Page.Text.clear();
    program.Context().Page.TextInFile = true;
    program.Context().Registries().FindSetting("DefAdrFrom")->Value = "reports@example.org";
    COvInfoAct& step = Step("SMTP");
    step.GetPropByName("Srv")->Value = sink.Address();
    step.GetPropByName("Adr")->Value = "boss@example.org";
    SendExport(program.Context(), step);

    auto messages = Received();
    ASSERT_EQ(messages.size(), 1u) << program.ReadLog();
    auto parts = AllParts(messages[0]);
    EXPECT_EQ(parts.count("Orvik.htm"), 0u);  // not an attachment
    EXPECT_NE(parts["text/html"].find("Север: 42"), std::string::npos) << parts["text/html"];
}

}  // namespace
}  // namespace orvik
