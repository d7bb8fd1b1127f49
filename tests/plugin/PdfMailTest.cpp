// A mail step with BodyPictures and AttachPdf, run by the real program against the loopback mail
// sink: the mailed HTML keeps its tables but no SVG, each chart travels as an inline PNG of its
// own size, the page travels as a PDF rendered once however many steps attach it, and without
// the plug-in the mail is not sent and the log says what is missing.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <regex>

#include "PdfProgram.h"
#include "net/NetPeers.h"

namespace orvik {
namespace {

namespace fs = std::filesystem;

std::string Unhex(const std::string& hex) {
    std::string bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    return bytes;
}

unsigned BigEndian(const std::string& bytes, size_t at) {
    unsigned value = 0;
    for (size_t i = 0; i < 4; ++i) value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

// The parts of a saved message by content type, each part's summary keyed without its prefix.
std::multimap<std::string, std::map<std::string, std::string>> Parts(const std::string& eml) {
    const std::map<std::string, std::string> summary = test::MimeSummary(eml);
    std::multimap<std::string, std::map<std::string, std::string>> parts;
    const int count = std::stoi(summary.at("parts"));
    for (int i = 0; i < count; ++i) {
        const std::string prefix = "part." + std::to_string(i) + ".";
        std::map<std::string, std::string> part;
        for (const auto& [key, value] : summary) {
            if (key.rfind(prefix, 0) == 0) part[key.substr(prefix.size())] = value;
        }
        parts.emplace(part["content_type"], part);
    }
    return parts;
}

class PdfMailTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (const std::string missing = test::MissingPdfTools(); !missing.empty())
            GTEST_SKIP() << "missing " << missing;
        sink_ = std::make_unique<test::PeerProcess>("smtp_sink.py",
                                                    std::vector<std::string>{mailbox_.Path()});
        ASSERT_TRUE(sink_->Started()) << sink_->Problem();
    }

    // The example report with a second chart sheet and the task Mail: the page, a mail with its
    // charts as pictures and the PDF attached, and a second mail with the PDF only.
    std::string Report() const {
        std::string report =
            test::ReadFileBytes(std::string(ORVIK_SOURCE_DIR) + "/examples/sales/Sales.ovk");
        report.insert(report.find("<PRM>"),
                      "<SHEET><Name>Share</Name><cDS>Products</cDS><tpVW>CHART</tpVW>"
                      "<ChartType>pie</ChartType><ChartWidth>400</ChartWidth>"
                      "<ChartHeight>250</ChartHeight></SHEET>\n");
        const std::string mail =
            "<Srv>" + sink_->Address() +
            "</Srv><Adr>boss@example.com</Adr><MailSecurity>none</MailSecurity>";
        return test::WithTask(report, "Mail",
                              test::Step("Page", "HTML") +
                                  test::Step("Pictures", "SMTP",
                                             mail + "<BodyPictures>1</BodyPictures>"
                                                    "<AttachPdf>1</AttachPdf>") +
                                  test::Step("Plain", "SMTP", mail + "<AttachPdf>1</AttachPdf>"));
    }

    test::TempDir mailbox_;
    std::unique_ptr<test::PeerProcess> sink_;
    test::PdfProgram program;
};

TEST_F(PdfMailTest, ChartsGoAsPicturesAndThePageAsOnePdf) {
    const test::ShellResult run = program.Run(Report(), "Mail");
    ASSERT_EQ(run.Status, 0) << run.Output << program.Log();
    ASSERT_TRUE(fs::exists(mailbox_.Path() + "002.eml")) << program.Log();

    // The charts as the page draws them: the size each was drawn for is its picture's size (one
    // fills its placeholder, width="100%", the other has a size of its own).
    const std::string page = test::ReadFileBytes(program.WorkFile("Orvik.htm"));
    std::vector<std::pair<unsigned, unsigned>> sizes;
    static const std::regex svg("<svg[^>]* viewBox=\"0 0 (\\d+) (\\d+)\"", std::regex::icase);
    for (std::sregex_iterator it(page.begin(), page.end(), svg), end; it != end; ++it)
        sizes.emplace_back(std::stoul((*it)[1]), std::stoul((*it)[2]));
    ASSERT_EQ(sizes.size(), 2u);

    const auto pictures = Parts(mailbox_.Path() + "001.eml");
    ASSERT_EQ(pictures.count("text/html"), 1u);
    const std::string html = pictures.find("text/html")->second.at("text");
    EXPECT_EQ(html.find("<svg"), std::string::npos);
    EXPECT_EQ(html.find("<SVG"), std::string::npos);
    for (const std::string& cell : test::SheetCells(page, "OrvikSheet1"))
        EXPECT_NE(html.find(cell), std::string::npos) << "the table stays HTML: " << cell;
    const auto [first, last] = pictures.equal_range("image/png");
    ASSERT_EQ(std::distance(first, last), 2);
    std::vector<std::pair<unsigned, unsigned>> pngSizes;
    for (auto part = first; part != last; ++part) {
        const std::string bytes = Unhex(part->second.at("hex"));
        ASSERT_EQ(bytes.compare(0, 8, "\x89PNG\r\n\x1a\n"), 0);
        pngSizes.emplace_back(BigEndian(bytes, 16), BigEndian(bytes, 20));
        EXPECT_NE(html.find("cid:" + part->second.at("content_id")
                                         .substr(1, part->second.at("content_id").size() - 2)),
                  std::string::npos);
    }
    std::sort(pngSizes.begin(), pngSizes.end());
    std::sort(sizes.begin(), sizes.end());
    EXPECT_EQ(pngSizes, sizes);

    // Both mails carry the page as PDF; it was rendered once.
    for (const char* eml : {"001.eml", "002.eml"}) {
        bool attached = false;
        for (const auto& [type, part] : Parts(mailbox_.Path() + eml)) {
            if (part.at("filename") != "Orvik.pdf") continue;
            attached = true;
            const std::string pdf =
                mailbox_.Write(std::string(eml) + ".pdf", Unhex(part.at("hex")));
            EXPECT_GE(std::stoi(test::PdfInfo(pdf, "Pages")), 1) << eml;
            EXPECT_EQ(test::PdfInfo(pdf, "Title"), "Daily sales");
        }
        EXPECT_TRUE(attached) << eml;
    }
    const std::string log = program.Log();
    size_t renders = 0;
    for (size_t at = log.find("/mail/rendered/Orvik.pdf: "); at != std::string::npos;
         at = log.find("/mail/rendered/Orvik.pdf: ", at + 1))
        ++renders;
    EXPECT_EQ(renders, 1u) << log;
    EXPECT_NE(log.find("2 charts go as pictures (BodyPictures)"), std::string::npos) << log;
    // The second mail keeps its charts as they are.
    const auto plain = Parts(mailbox_.Path() + "002.eml");
    EXPECT_NE(plain.find("text/html")->second.at("text").find("<svg"), std::string::npos);
    EXPECT_EQ(plain.count("image/png"), 0u);
}

TEST_F(PdfMailTest, WithoutThePlugInTheMailIsNotSentAndTheLogSaysWhy) {
    fs::remove(program.Home().Path() + "Pdf.rll");
    const test::ShellResult run = program.Run(Report(), "Mail");
    EXPECT_EQ(run.Status, 1);
    EXPECT_NE(program.Log().find("BodyPictures of the step Pictures needs the plug-in Pdf.rll"),
              std::string::npos)
        << program.Log();
    EXPECT_FALSE(fs::exists(mailbox_.Path() + "001.eml"));
}

}  // namespace
}  // namespace orvik
